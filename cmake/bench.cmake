# Benchmarks, built with -DBREVANT_BENCH=ON and run by `make bench` (bench/run.py): in-process load timings
# against the read floor and assimp, and the whole-process figures of a benchmark viewer against an empty loop.
option(BREVANT_BENCH "Build the benchmark programs (make bench)" OFF)
if(NOT BREVANT_BENCH OR CMAKE_CROSSCOMPILING)
  return()
endif()

find_package(benchmark REQUIRED)
find_package(assimp REQUIRED)
find_package(SDL2 REQUIRED)
set(BREVANT_BENCH_FRAMES 1000 CACHE STRING "Frames the benchmark viewer and the empty loop present before they quit")
set(BREVANT_BENCH_FIXTURES "${CMAKE_SOURCE_DIR}/../shared" CACHE PATH "Reference data holding fixtures/md2/dolphin.md2")

# Nothing here is part of `all`: `make build` and `make test` never compile or run a benchmark.
add_executable(makeLimitModel EXCLUDE_FROM_ALL bench/makeLimitModel.cpp)
target_link_libraries(makeLimitModel PRIVATE brevant_md2_writer)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/bench/limits.md2
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bench
  COMMAND makeLimitModel ${CMAKE_BINARY_DIR}/bench/limits.md2
  DEPENDS makeLimitModel
  COMMENT "Writing the benchmark model bench/limits.md2")

add_executable(load_bench EXCLUDE_FROM_ALL bench/loadBench.cpp)
target_link_libraries(load_bench PRIVATE brevant_core benchmark::benchmark assimp::assimp)
target_compile_definitions(load_bench PRIVATE
  BREVANT_BENCH_DOLPHIN="${BREVANT_BENCH_FIXTURES}/fixtures/md2/dolphin.md2"
  BREVANT_BENCH_LIMIT_MODEL="${CMAKE_BINARY_DIR}/bench/limits.md2")

add_executable(empty_loop EXCLUDE_FROM_ALL bench/emptyLoop.cpp)
target_include_directories(empty_loop PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(empty_loop PRIVATE BREVANT_BENCH_FRAMES=${BREVANT_BENCH_FRAMES})
target_link_libraries(empty_loop PRIVATE SDL2::SDL2 OpenGL::GL)

add_custom_target(bench_programs DEPENDS load_bench empty_loop ${CMAKE_BINARY_DIR}/bench/limits.md2)

# The benchmark viewer: brevant's own sources and libraries, plus app/shell.cpp compiled again with the
# frame report. The linker takes that object first, so brevant_core's plain shell.cpp.o is never pulled in.
if(TARGET brevant)
  get_target_property(brevantSources brevant SOURCES)
  get_target_property(brevantLibraries brevant LINK_LIBRARIES)
  add_executable(brevant_bench EXCLUDE_FROM_ALL ${brevantSources} app/shell.cpp)
  target_link_libraries(brevant_bench PRIVATE ${brevantLibraries})
  target_compile_definitions(brevant_bench PRIVATE BREVANT_BENCH_FRAMES=${BREVANT_BENCH_FRAMES})
  add_dependencies(bench_programs brevant_bench)
  if(TARGET assets)
    add_dependencies(bench_programs assets)
  endif()
endif()
