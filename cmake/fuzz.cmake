# libFuzzer targets for the loaders that read files from anywhere: MD2 models, TGA images, PCX skins, skin
# pictures of any format (our use of stb_image), and PAK and ZIP archives (directories and inflate).
# Configure with clang (CXX=clang++); scripts/fuzz.sh builds and runs them.
set(brevant_fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
foreach(format md2 tga pcx image pak zip)
  add_executable(fuzz_${format} tests/fuzz/fuzz_${format}.cpp tests/support/loaderExercise.cpp)
  target_include_directories(fuzz_${format} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(fuzz_${format} PRIVATE ${brevant_fuzz_flags})
  target_link_options(fuzz_${format} PRIVATE ${brevant_fuzz_flags})
  target_link_libraries(fuzz_${format} PRIVATE brevant_core)
endforeach()

# Small valid seeds from the test builders.
# brevant_core's stb_image_write writes the PNG, JPEG and BMP seeds.
add_executable(makeFuzzSeeds tests/fuzz/makeSeeds.cpp tests/support/md2Builder.cpp)
target_include_directories(makeFuzzSeeds PRIVATE ${CMAKE_SOURCE_DIR}/tests)
# zlib for the ZIP builder's deflated entries.
target_link_libraries(makeFuzzSeeds PRIVATE brevant_core ZLIB::ZLIB)
target_link_options(makeFuzzSeeds PRIVATE -fsanitize=address,undefined)
