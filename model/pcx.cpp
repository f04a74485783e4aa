// Decodes PCX skins from bytes: the 128-byte header, the run-length image data, the palette in the last 768 bytes.
// Every field is read with explicit little-endian helpers and every byte index is checked against the size first.
#include "model/pcx.h"

#include <new>

#include "base/littleEndian.h"

namespace {

constexpr size_t headerSize = 128;
constexpr size_t paletteSize = 768;
constexpr uint8_t paletteMarker = 12;
constexpr uint8_t manufacturerMark = 10;

// Header offsets.
constexpr size_t versionAt = 1;
constexpr size_t encodingAt = 2;
constexpr size_t bitsPerPixelAt = 3;
constexpr size_t xMinAt = 4;
constexpr size_t yMinAt = 6;
constexpr size_t xMaxAt = 8;
constexpr size_t yMaxAt = 10;
constexpr size_t planesAt = 65;
constexpr size_t bytesPerLineAt = 66;

// A byte with both top bits set counts the repeats of the byte after it.
constexpr uint8_t runMark = 0xc0;
constexpr uint8_t runCountMask = 0x3f;

}  // namespace

const char* pcxFaultText(PcxFault fault)
{
    switch (fault) {
    case PcxFault::none:
        return nullptr;
    case PcxFault::notPcx:
        return "PCX: not a PCX file";
    case PcxFault::headerCutShort:
        return "PCX: the file ends inside the header";
    case PcxFault::notVersion5:
        return "PCX: not version 5 (only version 5 has a 256-colour palette)";
    case PcxFault::notRunLength:
        return "PCX: not run-length encoded";
    case PcxFault::notPaletted:
        return "PCX: not 8 bits per pixel in one plane (24-bit and planar files are not supported)";
    case PcxFault::badSize:
        return "PCX: image size out of range (1 to 4096 on each side)";
    case PcxFault::shortLines:
        return "PCX: bytes per line less than the width";
    case PcxFault::noPalette:
        return "PCX: no 256-colour palette at the end of the file";
    case PcxFault::dataCutShort:
        return "PCX: the file ends before the image does";
    case PcxFault::runPastImage:
        return "PCX: a run goes past the end of the image";
    case PcxFault::noMemory:
        return "PCX: could not allocate memory";
    }
    return nullptr;
}

bool looksLikePcx(const uint8_t* bytes, size_t size)
{
    if (size < 3 || bytes[0] != manufacturerMark) {
        return false;
    }
    const uint8_t version = bytes[versionAt];
    const bool knownVersion = version == 0 || (version >= 2 && version <= 5);
    return knownVersion && bytes[encodingAt] <= 1;
}

PcxFault decodePcxImage(const uint8_t* bytes, size_t size, SkinImage& image)
{
    image = SkinImage{};
    if (size < 1 || bytes[0] != manufacturerMark) {
        return PcxFault::notPcx;
    }
    if (size < headerSize) {
        return PcxFault::headerCutShort;
    }
    if (bytes[versionAt] != 5) {
        return PcxFault::notVersion5;
    }
    if (bytes[encodingAt] != 1) {
        return PcxFault::notRunLength;
    }
    if (bytes[bitsPerPixelAt] != 8 || bytes[planesAt] != 1) {
        return PcxFault::notPaletted;
    }
    // Bounds are inclusive; a maximum below its minimum makes a side of 0 or less.
    const int32_t width = readU16le(bytes + xMaxAt) - readU16le(bytes + xMinAt) + 1;
    const int32_t height = readU16le(bytes + yMaxAt) - readU16le(bytes + yMinAt) + 1;
    if (width < 1 || height < 1 || width > maxSkinSide || height > maxSkinSide) {
        return PcxFault::badSize;
    }
    const int32_t bytesPerLine = readU16le(bytes + bytesPerLineAt);
    if (bytesPerLine < width) {
        return PcxFault::shortLines;
    }
    if (size < headerSize + 1 + paletteSize || bytes[size - paletteSize - 1] != paletteMarker) {
        return PcxFault::noPalette;
    }

    const uint8_t* palette = bytes + size - paletteSize;
    const uint8_t* data = bytes + headerSize;
    const size_t dataSize = size - paletteSize - 1 - headerSize;
    const uint64_t streamSize = uint64_t(height) * uint64_t(bytesPerLine);
    // Two bytes make at most 63: data that cannot fill the image is refused before its pixels are allocated.
    if (uint64_t(dataSize / 2) * runCountMask + dataSize % 2 < streamSize) {
        return PcxFault::dataCutShort;
    }

    const size_t pixelCount = size_t(width) * size_t(height);
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[pixelCount * 4]);
    if (!pixels) {
        return PcxFault::noMemory;
    }

    // Walks the decoded stream once, tracking the column inside the current line; only the first width
    // bytes of a line become pixels.
    uint64_t produced = 0;
    int32_t column = 0;
    uint8_t* out = pixels.get();
    size_t at = 0;
    while (produced < streamSize) {
        if (at >= dataSize) {
            return PcxFault::dataCutShort;
        }
        uint32_t count = 1;
        uint8_t value = data[at++];
        if ((value & runMark) == runMark) {
            count = value & runCountMask;
            if (at >= dataSize) {
                return PcxFault::dataCutShort;
            }
            value = data[at++];
        }
        // A run of 0 (0xc0) makes nothing; some encoders write one, and skipping it is harmless.
        if (produced + count > streamSize) {
            return PcxFault::runPastImage;
        }
        produced += count;
        const uint8_t* colour = palette + 3 * size_t(value);
        for (; count > 0; --count) {
            if (column < width) {
                out[0] = colour[0];
                out[1] = colour[1];
                out[2] = colour[2];
                out[3] = 255;
                out += 4;
            }
            if (++column == bytesPerLine) {
                column = 0;
            }
        }
    }

    image.width = width;
    image.height = height;
    image.pixels = std::move(pixels);
    return PcxFault::none;
}
