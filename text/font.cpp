// The bitmap font's GL side: 256 glyph display lists, and printing a string through them in one call.
// Pairs with glyphs.cpp for the texture coordinates and with tgaTexture.cpp for the font image.
#include "text/font.h"

#include <cstring>

#include "base/glApi.h"

unsigned buildFont()
{
    const GLuint base = glGenLists(256);
    for (int32_t code = 0; code < 256; ++code) {
        const GlyphTexCoords coords = glyphTexCoords(code);
        glNewList(base + code, GL_COMPILE);
        glBegin(GL_QUADS);
        glTexCoord2f(coords.left, coords.bottom);
        glVertex2i(0, 0);
        glTexCoord2f(coords.right, coords.bottom);
        glVertex2i(16, 0);
        glTexCoord2f(coords.right, coords.top);
        glVertex2i(16, 16);
        glTexCoord2f(coords.left, coords.top);
        glVertex2i(0, 16);
        glEnd();
        // The pen moves 12 of the quad's 16 units, so neighbouring quads overlap by 4.
        glTranslated(12, 0, 0);
        glEndList();
    }
    return base;
}

void printText(int32_t x, int32_t y, const char* text, unsigned listBase, unsigned texture)
{
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTranslated(x, y, 0);
    glListBase(listBase);
    // Signed bytes: 128-255 name lists below the base, which do not exist, so they neither draw nor advance.
    glCallLists(static_cast<GLsizei>(std::strlen(text)), GL_BYTE, text);
    glDisable(GL_TEXTURE_2D);
}
