// Where each character's glyph sits in the 16 x 16 font grid, as texture coordinates.
// GL-free; font.cpp compiles these into the glyph display lists.
#include "text/font.h"

GlyphTexCoords glyphTexCoords(int32_t code)
{
    GlyphTexCoords coords;
    // Left runs past 1 from code 16 on; the texture's GL_REPEAT brings it back to column code % 16, exactly,
    // because 0.0625 is a power of two.
    coords.left = static_cast<float>(code) * 0.0625f;
    // 0.068 rather than 0.0625: the quad reaches about 1.4 texels into the next cell, so a font image keeps the
    // first columns of each cell clear.
    coords.right = coords.left + 0.068f;
    coords.top = 1.0f - static_cast<float>(code / 16) * 0.0625f;
    coords.bottom = coords.top - 0.0625f;
    return coords;
}
