# The tests: GL-free unit tests, GL tests in a real context under a private Xvfb, and end-to-end runs
# of the real viewer. Every test that needs a display starts its own Xvfb through tests/support/xvfb.py.
find_package(GTest REQUIRED)
find_package(SDL2 REQUIRED)
include(GoogleTest)
find_program(BREVANT_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT BREVANT_PYTHON)
  find_program(BREVANT_PYTHON NAMES python3 REQUIRED)
endif()

set(BREVANT_FIXTURES "${CMAKE_SOURCE_DIR}/../shared" CACHE PATH "Reference data: md2_normals.txt and fixtures/")

file(GLOB brevant_unit_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
file(GLOB brevant_support_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
add_executable(brevant_unit_tests ${brevant_unit_sources} ${brevant_support_sources})
target_link_libraries(brevant_unit_tests PRIVATE brevant_core brevant_md2_writer GTest::gtest_main ZLIB::ZLIB)
# The SDL backend's key mapping is plain data over SDL's and X's key names: only their headers, no library.
target_sources(brevant_unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/app/sdl/sdlKeys.cpp)
target_include_directories(brevant_unit_tests PRIVATE $<TARGET_PROPERTY:SDL2::SDL2,INTERFACE_INCLUDE_DIRECTORIES>)
target_include_directories(brevant_unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(brevant_unit_tests PRIVATE
  BREVANT_FIXTURES="${BREVANT_FIXTURES}"
  BREVANT_BUILD_DIR="${CMAKE_BINARY_DIR}"
  BREVANT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
gtest_discover_tests(brevant_unit_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)

file(GLOB brevant_gl_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/gl/*.cpp)
if(brevant_gl_sources)
  # Viewer mode's scene falls back on the built-in font, so the GL tests that open it link the copy too.
  add_executable(brevant_gl_tests ${brevant_gl_sources} ${brevant_support_sources} ${CMAKE_BINARY_DIR}/builtinFont.cpp)
  target_link_libraries(brevant_gl_tests PRIVATE brevant_gl SDL2::SDL2 GTest::gtest)
  target_include_directories(brevant_gl_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(brevant_gl_tests PRIVATE
    BREVANT_FIXTURES="${BREVANT_FIXTURES}"
    BREVANT_BUILD_DIR="${CMAKE_BINARY_DIR}")
  # One Xvfb for the whole GL binary: its tests share one context.
  add_test(NAME gl_tests
    COMMAND ${BREVANT_PYTHON} ${CMAKE_SOURCE_DIR}/tests/support/xvfb.py --timeout 300 --
            $<TARGET_FILE:brevant_gl_tests>)
  set_tests_properties(gl_tests PROPERTIES TIMEOUT 360)
endif()

# The offscreen context's pictures against the window's, for tests/e2e/test_offscreen.py.
if(TARGET brevant_egl)
  add_executable(brevant_frame_picture ${CMAKE_SOURCE_DIR}/tests/egl/framePicture.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/testPlatform.cpp)
  target_link_libraries(brevant_frame_picture PRIVATE brevant_egl SDL2::SDL2)
  target_include_directories(brevant_frame_picture PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  if(TARGET assets)
    add_dependencies(brevant_frame_picture assets)
  endif()
endif()

# End-to-end tests: each tests/e2e/test_*.py is one CTest test run against the real viewer.
file(GLOB brevant_e2e_scripts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/test_*.py)
foreach(script ${brevant_e2e_scripts})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME e2e_${name}
    COMMAND ${BREVANT_PYTHON} ${script}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
  set_tests_properties(e2e_${name} PROPERTIES TIMEOUT 600
    ENVIRONMENT "BREVANT_BUILD_DIR=${CMAKE_BINARY_DIR};BREVANT_FIXTURES=${BREVANT_FIXTURES};BREVANT_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endforeach()

# Tests read the default assets from the build folder.
if(TARGET assets)
  add_dependencies(brevant_unit_tests assets)
  if(TARGET brevant_gl_tests)
    add_dependencies(brevant_gl_tests assets)
  endif()
endif()

# Every C++ file against .clang-format (scripts/check-format.sh), so the style holds without anyone reformatting.
add_test(NAME format COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-format.sh)
set_tests_properties(format PROPERTIES TIMEOUT 120)
