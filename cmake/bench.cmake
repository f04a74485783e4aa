# Benchmarks, built with -DBREVANT_BENCH=ON and run by `make bench` (bench/run.py): in-process load timings
# against the read floor and assimp, and the whole-process figures of the shipped viewer against an empty loop.
option(BREVANT_BENCH "Build the benchmark programs (make bench)" OFF)
if(NOT BREVANT_BENCH OR CMAKE_CROSSCOMPILING)
  return()
endif()

find_package(benchmark REQUIRED)
find_package(assimp REQUIRED)
find_package(SDL2 REQUIRED)
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
target_link_libraries(empty_loop PRIVATE SDL2::SDL2 OpenGL::GL)

# The frame timer and allocation counter, preloaded into the shipped viewer and the empty loop alike. It takes
# SDL's headers only: the SDL functions it wraps and calls are the ones the program has already loaded.
add_library(frame_report MODULE EXCLUDE_FROM_ALL bench/frameReport.cpp)
set_target_properties(frame_report PROPERTIES PREFIX "")
target_include_directories(frame_report PRIVATE $<TARGET_PROPERTY:SDL2::SDL2,INTERFACE_INCLUDE_DIRECTORIES>)
target_link_libraries(frame_report PRIVATE ${CMAKE_DL_LIBS})

# Opening the surfaceless EGL context and drawing one frame in it, timed in-process and printed.
if(TARGET brevant_egl)
  add_executable(offscreen_bench EXCLUDE_FROM_ALL bench/offscreenBench.cpp)
  target_link_libraries(offscreen_bench PRIVATE brevant_egl)
endif()

add_custom_target(bench_programs DEPENDS load_bench empty_loop frame_report ${CMAKE_BINARY_DIR}/bench/limits.md2)
foreach(measured brevant assets offscreen_bench)
  if(TARGET ${measured})
    add_dependencies(bench_programs ${measured})
  endif()
endforeach()
