// Writes TGA file bytes from a plain description, laid out from the TGA format itself, for the TGA and font tests.
// support/testFiles.h hands them to the decoder as an open FILE* or writes them to disk for the loader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TgaDescription {
    std::string imageId;        // written after the header; its length goes in byte 0
    uint8_t colourMapType = 0;  // 1 writes a colour map of colourMapLength entries
    uint8_t imageType = 2;      // 2 uncompressed true colour, 1 colour-mapped, 10 run-length true colour
    uint16_t colourMapLength = 0;
    uint8_t colourMapEntryBits = 24;
    uint16_t width = 2;
    uint16_t height = 2;
    uint8_t bitsPerPixel = 32;
    uint8_t descriptor = 8;            // 8 alpha bits, bottom-up; add 0x20 for top-down
    std::vector<uint8_t> pixels;       // stored bytes as they go in the file; empty means a zero-filled image
    size_t pixelBytesKept = SIZE_MAX;  // cut the pixel data short to this many bytes
    std::vector<uint8_t> trailer;      // bytes after the pixel data
};

inline void appendU16le(std::vector<uint8_t>& bytes, uint16_t value)
{
    bytes.push_back(static_cast<uint8_t>(value & 0xff));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

inline std::vector<uint8_t> buildTga(const TgaDescription& tga)
{
    std::vector<uint8_t> bytes;
    bytes.push_back(static_cast<uint8_t>(tga.imageId.size()));
    bytes.push_back(tga.colourMapType);
    bytes.push_back(tga.imageType);
    // Colour-map fields: first entry index, entry count, bits per entry.
    appendU16le(bytes, 0);
    appendU16le(bytes, tga.colourMapLength);
    bytes.push_back(tga.colourMapEntryBits);
    // Image fields: x origin, y origin, width, height, bits per pixel, descriptor.
    appendU16le(bytes, 0);
    appendU16le(bytes, 0);
    appendU16le(bytes, tga.width);
    appendU16le(bytes, tga.height);
    bytes.push_back(tga.bitsPerPixel);
    bytes.push_back(tga.descriptor);

    bytes.insert(bytes.end(), tga.imageId.begin(), tga.imageId.end());
    if (tga.colourMapType != 0) {
        bytes.insert(bytes.end(), size_t{tga.colourMapLength} * ((tga.colourMapEntryBits + 7) / 8), uint8_t{0x7f});
    }

    std::vector<uint8_t> pixels = tga.pixels;
    if (pixels.empty()) {
        pixels.assign(size_t{tga.width} * tga.height * ((tga.bitsPerPixel + 7) / 8), uint8_t{0});
    }
    if (tga.pixelBytesKept < pixels.size()) {
        pixels.resize(tga.pixelBytesKept);
    }
    bytes.insert(bytes.end(), pixels.begin(), pixels.end());
    bytes.insert(bytes.end(), tga.trailer.begin(), tga.trailer.end());
    return bytes;
}
