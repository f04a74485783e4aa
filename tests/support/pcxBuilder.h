// Writes PCX file bytes from a plain description for the skin tests and the fuzz seeds, laid out from the PCX
// format itself (ZSoft's 128-byte header, run-length data, a 12 and the 256-colour palette at the end).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct PcxDescription {
    uint8_t manufacturer = 10;
    uint8_t version = 5;
    uint8_t encoding = 1;
    uint8_t bitsPerPixel = 8;
    uint8_t planes = 1;
    uint16_t xMin = 0, yMin = 0, xMax = 1, yMax = 1;  // inclusive bounds
    uint16_t bytesPerLine = 0;                        // 0: the width
    // The decoded stream, one palette index per byte, bytesPerLine per line; run-length encoded by buildPcx.
    std::vector<uint8_t> indices;
    // Image data as it goes in the file, used instead of indices when not empty.
    std::vector<uint8_t> data;
    std::vector<uint8_t> gap;  // bytes between the image data and the palette marker
    uint8_t paletteMarker = 12;
    bool withPalette = true;       // false leaves off the marker and the palette
    std::vector<uint8_t> palette;  // 768 bytes; empty means pcxTestColour for every entry
    size_t keptBytes = SIZE_MAX;   // cut the file short to this many bytes
};

struct PcxColour {
    uint8_t r, g, b;
};

// A distinct colour for each palette index, so a wrong index or a wrong channel shows.
inline PcxColour pcxTestColour(int index)
{
    return {static_cast<uint8_t>(index), static_cast<uint8_t>(255 - index), static_cast<uint8_t>(index * 7 + 1)};
}

// Run-length encodes a whole stream with runs of up to 63 that ignore line ends; a single byte with both top
// bits set has to go as a run of one.
inline std::vector<uint8_t> pcxRunLength(const std::vector<uint8_t>& stream)
{
    std::vector<uint8_t> data;
    for (size_t i = 0; i < stream.size();) {
        size_t run = 1;
        while (i + run < stream.size() && stream[i + run] == stream[i] && run < 63) {
            ++run;
        }
        if (run > 1 || stream[i] >= 0xc0) {
            data.push_back(static_cast<uint8_t>(0xc0 | run));
        }
        data.push_back(stream[i]);
        i += run;
    }
    return data;
}

inline void appendPcxU16(std::vector<uint8_t>& bytes, uint16_t value)
{
    bytes.push_back(static_cast<uint8_t>(value & 0xff));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

inline std::vector<uint8_t> buildPcx(const PcxDescription& pcx)
{
    const uint16_t width = static_cast<uint16_t>(pcx.xMax - pcx.xMin + 1);
    std::vector<uint8_t> bytes;
    bytes.push_back(pcx.manufacturer);
    bytes.push_back(pcx.version);
    bytes.push_back(pcx.encoding);
    bytes.push_back(pcx.bitsPerPixel);
    appendPcxU16(bytes, pcx.xMin);
    appendPcxU16(bytes, pcx.yMin);
    appendPcxU16(bytes, pcx.xMax);
    appendPcxU16(bytes, pcx.yMax);
    appendPcxU16(bytes, 72);  // horizontal and vertical resolution
    appendPcxU16(bytes, 72);
    bytes.insert(bytes.end(), 48, uint8_t{0});  // the 16-colour palette, unused at 8 bits
    bytes.push_back(0);                         // reserved
    bytes.push_back(pcx.planes);
    appendPcxU16(bytes, pcx.bytesPerLine != 0 ? pcx.bytesPerLine : width);
    appendPcxU16(bytes, 1);  // palette type: colour
    bytes.insert(bytes.end(), 128 - bytes.size(), uint8_t{0});

    const std::vector<uint8_t> data = pcx.data.empty() ? pcxRunLength(pcx.indices) : pcx.data;
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.insert(bytes.end(), pcx.gap.begin(), pcx.gap.end());
    if (pcx.withPalette) {
        bytes.push_back(pcx.paletteMarker);
        if (pcx.palette.empty()) {
            for (int i = 0; i < 256; ++i) {
                const PcxColour colour = pcxTestColour(i);
                bytes.insert(bytes.end(), {colour.r, colour.g, colour.b});
            }
        } else {
            bytes.insert(bytes.end(), pcx.palette.begin(), pcx.palette.end());
        }
    }
    if (pcx.keptBytes < bytes.size()) {
        bytes.resize(pcx.keptBytes);
    }
    return bytes;
}
