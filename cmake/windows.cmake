# The Windows executable: the Win32/WGL shell over the shared libraries, with icon resource 101.
# Cross-built through cmake/mingw-w64.cmake; the icon and the default assets come from a host build's generators.
enable_language(RC)

set(BREVANT_HOST_BUILD_DIR "${CMAKE_SOURCE_DIR}/build" CACHE PATH
  "Host build folder whose generators wrote brevant.ico, tris.md2 and font.tga")
if(NOT EXISTS ${BREVANT_HOST_BUILD_DIR}/CMakeCache.txt)
  message(FATAL_ERROR "No host build in ${BREVANT_HOST_BUILD_DIR}: the generators of the icon and the assets run "
    "there. `make windows` makes one first; or set BREVANT_HOST_BUILD_DIR.")
endif()

# Copies beside the executable, so it runs from its own folder as the Linux viewer does from its.
set(brevant_windows_files)
foreach(file brevant.ico tris.md2 font.tga builtinFont.cpp)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${file}
    COMMAND ${CMAKE_COMMAND} -E copy ${BREVANT_HOST_BUILD_DIR}/${file} ${CMAKE_BINARY_DIR}/${file}
    DEPENDS ${BREVANT_HOST_BUILD_DIR}/${file}
    COMMENT "Copying ${file} from the host build")
  list(APPEND brevant_windows_files ${CMAKE_BINARY_DIR}/${file})
endforeach()
add_custom_target(windows_assets ALL DEPENDS ${brevant_windows_files})

add_executable(brevant WIN32
  app/win32/winMain.cpp
  app/win32/winPlatform.cpp
  app/win32/winViewer.cpp
  ${CMAKE_BINARY_DIR}/builtinFont.cpp
  res/brevant.rc)
target_link_libraries(brevant PRIVATE brevant_gl opengl32 glu32 gdi32 user32 shell32)
# windres looks for the icon named in the script in the include folders.
target_include_directories(brevant PRIVATE ${CMAKE_BINARY_DIR})
set_source_files_properties(res/brevant.rc PROPERTIES OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/brevant.ico)
# One self-contained .exe: no libgcc, libstdc++ or winpthread DLLs to ship beside it.
target_link_options(brevant PRIVATE -static-libgcc -static-libstdc++ -static)
add_dependencies(brevant windows_assets)
