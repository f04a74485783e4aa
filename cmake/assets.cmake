# The default assets, written at build time by the project's own generators beside the viewer:
# tris.md2 (a small figure with an idle motion) and font.tga (a 16 x 16 glyph grid rendered with FreeType).
add_executable(makeModel tools/makeModel.cpp)
target_link_libraries(makeModel PRIVATE brevant_md2_writer)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/tris.md2
  COMMAND makeModel ${CMAKE_BINARY_DIR}/tris.md2
  DEPENDS makeModel
  COMMENT "Writing the default model tris.md2")

set(brevant_assets ${CMAKE_BINARY_DIR}/tris.md2)

find_package(Freetype REQUIRED)
set(BREVANT_FONT_FILE "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf" CACHE FILEPATH "Monospaced font for font.tga")
add_executable(makeFont tools/makeFont.cpp)
target_include_directories(makeFont PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(makeFont PRIVATE Freetype::Freetype)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/font.tga
  COMMAND makeFont ${BREVANT_FONT_FILE} ${CMAKE_BINARY_DIR}/font.tga
  DEPENDS makeFont ${BREVANT_FONT_FILE}
  COMMENT "Writing the default font image font.tga")
list(APPEND brevant_assets ${CMAKE_BINARY_DIR}/font.tga)

# builtinFont.cpp: font.tga's bytes as source, the copy viewer mode falls back on when it finds no font file.
add_executable(embedFile tools/embedFile.cpp)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/builtinFont.cpp
  COMMAND embedFile ${CMAKE_BINARY_DIR}/font.tga ${CMAKE_BINARY_DIR}/builtinFont.cpp builtinFont
  DEPENDS embedFile ${CMAKE_BINARY_DIR}/font.tga
  COMMENT "Writing the built-in font builtinFont.cpp")
list(APPEND brevant_assets ${CMAKE_BINARY_DIR}/builtinFont.cpp)

# brevant.ico: the window icon's picture as a Windows icon, which the Windows build embeds as resource 101;
# icons/brevant.png: the same picture for the installed desktop entry, in a folder of its own because a lone
# picture beside tris.md2 would be taken for the model's skin. stb_image_write comes with brevant_core.
add_executable(makeIcon tools/makeIcon.cpp)
target_include_directories(makeIcon PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(makeIcon PRIVATE brevant_core)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/brevant.ico ${CMAKE_BINARY_DIR}/icons/brevant.png
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons
  COMMAND makeIcon ${CMAKE_BINARY_DIR}/brevant.ico ${CMAKE_BINARY_DIR}/icons/brevant.png
  DEPENDS makeIcon
  COMMENT "Writing the icons brevant.ico and icons/brevant.png")
list(APPEND brevant_assets ${CMAKE_BINARY_DIR}/brevant.ico ${CMAKE_BINARY_DIR}/icons/brevant.png)

add_custom_target(assets ALL DEPENDS ${brevant_assets})
