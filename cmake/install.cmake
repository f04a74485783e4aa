# Installing and packaging: a normal Unix tree (cmake --install), a Debian package through CPack, and on the
# Windows build a .zip with the executable, the font, the default model and a short README.
include(GNUInstallDirs)

if(WIN32)
  # Everything at the top of the archive, beside brevant.exe, where the viewer looks first.
  install(TARGETS brevant RUNTIME DESTINATION .)
  install(FILES ${CMAKE_BINARY_DIR}/font.tga ${CMAKE_BINARY_DIR}/tris.md2 DESTINATION .)
  install(FILES ${CMAKE_SOURCE_DIR}/res/README-windows.txt DESTINATION . RENAME README.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  install(TARGETS brevant RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_BINARY_DIR}/font.tga ${CMAKE_BINARY_DIR}/tris.md2
    DESTINATION ${CMAKE_INSTALL_DATADIR}/brevant)
  install(FILES ${CMAKE_SOURCE_DIR}/res/brevant.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  # File managers' previews: the MIME type the desktop entry and the thumbnailer name, and the thumbnailer.
  install(FILES ${CMAKE_SOURCE_DIR}/res/brevant-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
    RENAME brevant.xml)
  install(FILES ${CMAKE_SOURCE_DIR}/res/brevant.thumbnailer DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
  install(FILES ${CMAKE_BINARY_DIR}/icons/brevant.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
  set(BREVANT_VERSION ${PROJECT_VERSION})
  # The page names the version; its paths are relative to the program, so one page serves every prefix.
  configure_file(${CMAKE_SOURCE_DIR}/docs/brevant.1 ${CMAKE_BINARY_DIR}/brevant.1 @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/brevant.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # SDL opens libGL.so.1 itself for GLX, so no link line shows it to dpkg-shlibdeps; the computed list is added.
  # libegl1 (with Mesa's EGL behind it) draws the runs that show no window, thumbnails among them.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1")
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://brevant.example.org")
endif()

set(CPACK_PACKAGE_NAME brevant)
set(CPACK_PACKAGE_VENDOR "Brevant")
set(CPACK_PACKAGE_CONTACT "Brevant developers <dev@brevant.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small, fast OpenGL viewer for keyframed MD2 models")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME brevant-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
# The packages ship the program without its debugging information.
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
if(NOT WIN32)
  unset(CPACK_PACKAGE_FILE_NAME)
endif()
include(CPack)
