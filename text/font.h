// The bitmap font: 256 display lists over a 16 x 16 glyph grid, and printing a string through them.
// glyphTexCoords is the GL-free part; buildFont and printText need a current context.
#pragma once

#include <cstdint>

struct GlyphTexCoords {
    float left, right, top, bottom;
};

GlyphTexCoords glyphTexCoords(int32_t code);

unsigned buildFont();
void printText(int32_t x, int32_t y, const char* text, unsigned listBase, unsigned texture);
