// Writes brevant.ico, the Windows icon resource 101, from the window icon's picture in res/iconPicture.h:
// one 32 x 32 image, 4 bits per pixel over the picture's 16-colour palette, with an all-opaque AND mask.
// Given a second name, also the same picture as an opaque 32 x 32 PNG, the icon a Unix desktop shows.
#include <stb_image_write.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "res/iconPicture.h"

namespace {

constexpr int iconSide = iconSize;
static_assert(iconSide == 32, "the icon resource is 32 x 32");
constexpr int paletteSize = 16;
constexpr int headerSize = 40;
constexpr int colourRowBytes = iconSide / 2;  // two pixels a byte; already a multiple of 4
constexpr int maskRowBytes = iconSide / 8;    // one bit a pixel; 32 pixels fill 4 bytes, no padding
constexpr int imageSize = headerSize + paletteSize * 4 + iconSide * colourRowBytes + iconSide * maskRowBytes;
constexpr int directorySize = 6 + 16;

void putU8(std::vector<uint8_t>& bytes, uint32_t value)
{
    bytes.push_back(static_cast<uint8_t>(value));
}

void putU16le(std::vector<uint8_t>& bytes, uint32_t value)
{
    putU8(bytes, value & 0xffu);
    putU8(bytes, (value >> 8) & 0xffu);
}

void putU32le(std::vector<uint8_t>& bytes, uint32_t value)
{
    putU16le(bytes, value & 0xffffu);
    putU16le(bytes, value >> 16);
}

bool encodeIcon(std::vector<uint8_t>& bytes)
{
    // ICONDIR, then its single ICONDIRENTRY.
    putU16le(bytes, 0);
    putU16le(bytes, 1);  // an icon, not a cursor
    putU16le(bytes, 1);
    putU8(bytes, iconSide);
    putU8(bytes, iconSide);
    putU8(bytes, paletteSize);
    putU8(bytes, 0);
    putU16le(bytes, 1);  // planes
    putU16le(bytes, 4);  // bits per pixel
    putU32le(bytes, imageSize);
    putU32le(bytes, directorySize);

    // BITMAPINFOHEADER: the height counts the colour rows and the mask rows together.
    putU32le(bytes, headerSize);
    putU32le(bytes, iconSide);
    putU32le(bytes, iconSide * 2);
    putU16le(bytes, 1);
    putU16le(bytes, 4);
    putU32le(bytes, 0);  // uncompressed
    putU32le(bytes, imageSize - headerSize - paletteSize * 4);
    putU32le(bytes, 0);
    putU32le(bytes, 0);
    putU32le(bytes, paletteSize);
    putU32le(bytes, 0);

    for (const IconColour& colour : iconPalette) {
        putU8(bytes, colour.blue);
        putU8(bytes, colour.green);
        putU8(bytes, colour.red);
        putU8(bytes, 0);
    }

    // Bitmaps are stored bottom row first; the high nibble is the left pixel. res/iconPicture.h checks at compile
    // time that every pixel is a palette index.
    for (int y = iconSide - 1; y >= 0; --y) {
        for (int x = 0; x < iconSide; x += 2) {
            putU8(bytes, static_cast<uint32_t>(iconPaletteIndex(x, y) << 4 | iconPaletteIndex(x + 1, y)));
        }
    }
    for (int y = 0; y < iconSide * maskRowBytes; ++y) {
        putU8(bytes, 0);  // every pixel opaque
    }
    return bytes.size() == static_cast<size_t>(directorySize + imageSize);
}

bool writePng(const char* path)
{
    std::vector<uint8_t> pixels;
    for (int y = 0; y < iconSide; ++y) {
        for (int x = 0; x < iconSide; ++x) {
            const IconColour& colour = iconPalette[iconPaletteIndex(x, y)];
            pixels.insert(pixels.end(), {colour.red, colour.green, colour.blue});
        }
    }
    return stbi_write_png(path, iconSide, iconSide, 3, pixels.data(), iconSide * 3) != 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: makeIcon OUTPUT.ico [OUTPUT.png]\n");
        return 2;
    }
    if (argc == 3 && !writePng(argv[2])) {
        std::fprintf(stderr, "makeIcon: could not write %s\n", argv[2]);
        return 1;
    }
    std::vector<uint8_t> bytes;
    if (!encodeIcon(bytes)) {
        return 1;
    }
    FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "makeIcon: could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
