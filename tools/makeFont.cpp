// Build-time generator of the default font image: renders codes 32-126 of a monospaced TrueType font with
// FreeType into a 16 x 16 grid of 16 x 16 cells and writes it as an uncompressed 32-bit TGA (font.tga).
// Usage: makeFont FONT.ttf OUTPUT.tga
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int imageSide = 256;
constexpr int cellSide = 16;
constexpr int firstDrawnCode = 32;
constexpr int lastDrawnCode = 126;

// A glyph quad shows 0.068 of the image width (about 17.4 texels) and the pen advances 12 pixels. Keeping each
// glyph in columns 2-11 leaves clear both the columns the previous cell's quad reaches into and the part of the
// quad the next glyph overlaps.
constexpr int firstGlyphColumn = 2;
constexpr int glyphColumns = 10;

struct InkBox {
    int left = 0;    // pixels right of the pen
    int right = 0;   // one past the last column
    int top = 0;     // rows above the baseline
    int bottom = 0;  // negative below the baseline
};

// The union of the inked boxes of every drawn glyph at the face's current size.
bool measureInk(FT_Face face, InkBox& box)
{
    bool any = false;
    for (int code = firstDrawnCode; code <= lastDrawnCode; ++code) {
        if (FT_Load_Char(face, code, FT_LOAD_RENDER) != 0) {
            return false;
        }
        const FT_GlyphSlot slot = face->glyph;
        if (slot->bitmap.width == 0 || slot->bitmap.rows == 0) {
            continue;
        }
        const InkBox glyph = {slot->bitmap_left, slot->bitmap_left + static_cast<int>(slot->bitmap.width),
                              slot->bitmap_top, slot->bitmap_top - static_cast<int>(slot->bitmap.rows)};
        if (!any) {
            box = glyph;
            any = true;
        } else {
            box.left = glyph.left < box.left ? glyph.left : box.left;
            box.right = glyph.right > box.right ? glyph.right : box.right;
            box.top = glyph.top > box.top ? glyph.top : box.top;
            box.bottom = glyph.bottom < box.bottom ? glyph.bottom : box.bottom;
        }
    }
    return any;
}

// The largest pixel size at which every glyph fits the glyph columns and the cell's height.
int choosePixelSize(FT_Face face, InkBox& box)
{
    for (int size = 2 * cellSide; size >= 6; --size) {
        if (FT_Set_Pixel_Sizes(face, 0, size) != 0 || !measureInk(face, box)) {
            continue;
        }
        if (box.right - box.left <= glyphColumns && box.top - box.bottom <= cellSide) {
            return size;
        }
    }
    return 0;
}

void putU16le(std::vector<uint8_t>& bytes, int value)
{
    bytes.push_back(static_cast<uint8_t>(value & 0xff));
    bytes.push_back(static_cast<uint8_t>((value >> 8) & 0xff));
}

// Picture rows run top-down in memory; the file stores them bottom-up, blue, green, red, alpha.
std::vector<uint8_t> encodeTga(const std::vector<uint8_t>& coverage)
{
    std::vector<uint8_t> bytes;
    bytes.push_back(0);  // no image ID
    bytes.push_back(0);  // no colour map
    bytes.push_back(2);  // uncompressed true colour
    bytes.insert(bytes.end(), 5, uint8_t{0});
    putU16le(bytes, 0);
    putU16le(bytes, 0);
    putU16le(bytes, imageSide);
    putU16le(bytes, imageSide);
    bytes.push_back(32);
    bytes.push_back(8);  // 8 alpha bits, bottom-left origin
    for (int storedRow = 0; storedRow < imageSide; ++storedRow) {
        const int pictureRow = imageSide - 1 - storedRow;
        for (int column = 0; column < imageSide; ++column) {
            // White everywhere, so filtering and mipmaps blend edges with white rather than black.
            bytes.insert(bytes.end(), {255, 255, 255, coverage[pictureRow * imageSide + column]});
        }
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: makeFont FONT.ttf OUTPUT.tga\n");
        return 2;
    }

    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        std::fprintf(stderr, "makeFont: cannot start FreeType\n");
        return 1;
    }
    if (FT_New_Face(library, argv[1], 0, &face) != 0) {
        std::fprintf(stderr, "makeFont: cannot read the font %s\n", argv[1]);
        FT_Done_FreeType(library);
        return 1;
    }

    InkBox ink;
    const int pixelSize = choosePixelSize(face, ink);
    if (pixelSize == 0) {
        std::fprintf(stderr, "makeFont: no size of %s fits a %d-pixel cell\n", argv[1], cellSide);
        FT_Done_Face(face);
        FT_Done_FreeType(library);
        return 1;
    }
    FT_Set_Pixel_Sizes(face, 0, pixelSize);

    // One pen position and one baseline for every glyph, so the grid prints as an even monospaced line,
    // centred in the room left over.
    const int penColumn = firstGlyphColumn - ink.left + (glyphColumns - (ink.right - ink.left)) / 2;
    const int baselineRow = ink.top + (cellSide - (ink.top - ink.bottom)) / 2;

    std::vector<uint8_t> coverage(imageSide * imageSide, 0);
    for (int code = firstDrawnCode; code <= lastDrawnCode; ++code) {
        if (FT_Load_Char(face, code, FT_LOAD_RENDER) != 0) {
            continue;
        }
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        const int cellLeft = (code % 16) * cellSide;
        const int cellTop = (code / 16) * cellSide;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            for (unsigned column = 0; column < bitmap.width; ++column) {
                const int x = penColumn + slot->bitmap_left + static_cast<int>(column);
                const int y = baselineRow - slot->bitmap_top + static_cast<int>(row);
                if (x < 0 || x >= cellSide || y < 0 || y >= cellSide) {
                    continue;
                }
                const uint8_t ink = bitmap.buffer[static_cast<int>(row) * bitmap.pitch + static_cast<int>(column)];
                coverage[(cellTop + y) * imageSide + cellLeft + x] = ink;
            }
        }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    const std::vector<uint8_t> bytes = encodeTga(coverage);
    FILE* file = std::fopen(argv[2], "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "makeFont: cannot write %s\n", argv[2]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "makeFont: cannot write %s\n", argv[2]);
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}
