// Writes MD2 bytes for tests from a plain description; see md2Builder.h.
#include "support/md2Builder.h"

#include <algorithm>
#include <cstring>

namespace {

void appendS32le(std::vector<uint8_t>& bytes, int32_t value)
{
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<uint8_t>(bits >> shift));
    }
}

void appendS16le(std::vector<uint8_t>& bytes, int16_t value)
{
    const auto bits = static_cast<uint16_t>(value);
    bytes.push_back(static_cast<uint8_t>(bits));
    bytes.push_back(static_cast<uint8_t>(bits >> 8));
}

void appendF32le(std::vector<uint8_t>& bytes, float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    appendS32le(bytes, static_cast<int32_t>(bits));
}

void appendPadded(std::vector<uint8_t>& bytes, const std::string& text, size_t width)
{
    for (size_t i = 0; i < width; ++i) {
        bytes.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
    }
}

}  // namespace

std::vector<uint8_t> buildMd2(const Md2Description& description)
{
    const int32_t numVertices =
        description.frames.empty() ? 0 : static_cast<int32_t>(description.frames.front().vertices.size());
    const int32_t frameSize = 40 + 4 * numVertices + description.framePadding;
    const auto numSkins = static_cast<int32_t>(description.skins.size());
    const auto numTexCoords = static_cast<int32_t>(description.texCoords.size());
    const auto numTriangles = static_cast<int32_t>(description.triangles.size());
    const auto numFrames = static_cast<int32_t>(description.frames.size());
    const auto numGlCommands = static_cast<int32_t>(description.glCommands.size());

    const int32_t offsetSkins = 68;
    const int32_t offsetTexCoords = offsetSkins + 64 * numSkins;
    const int32_t offsetTriangles = offsetTexCoords + 4 * numTexCoords;
    const int32_t offsetFrames = offsetTriangles + 12 * numTriangles;
    const int32_t offsetGlCommands = offsetFrames + frameSize * numFrames;
    const int32_t offsetEnd = offsetGlCommands + 4 * numGlCommands;

    std::vector<uint8_t> bytes = {'I', 'D', 'P', '2'};
    for (int32_t field : {description.version, description.skinWidth, description.skinHeight, frameSize, numSkins,
                          numVertices, numTexCoords, numTriangles, numGlCommands, numFrames, offsetSkins,
                          offsetTexCoords, offsetTriangles, offsetFrames, offsetGlCommands, offsetEnd}) {
        appendS32le(bytes, field);
    }
    for (const std::string& skin : description.skins) {
        appendPadded(bytes, skin, 64);
    }
    for (const Md2BuildTexCoord& coord : description.texCoords) {
        appendS16le(bytes, coord.s);
        appendS16le(bytes, coord.t);
    }
    for (const Md2BuildTriangle& triangle : description.triangles) {
        for (int16_t index : triangle.vertex) {
            appendS16le(bytes, index);
        }
        for (int16_t index : triangle.texCoord) {
            appendS16le(bytes, index);
        }
    }
    for (const Md2BuildFrame& frame : description.frames) {
        for (float value : frame.scale) {
            appendF32le(bytes, value);
        }
        for (float value : frame.translate) {
            appendF32le(bytes, value);
        }
        appendPadded(bytes, frame.name, 16);
        for (const Md2BuildVertex& vertex : frame.vertices) {
            bytes.insert(bytes.end(), {vertex.x, vertex.y, vertex.z, vertex.normal});
        }
        bytes.insert(bytes.end(), static_cast<size_t>(std::max(description.framePadding, 0)), uint8_t{0});
    }
    for (int32_t word : description.glCommands) {
        appendS32le(bytes, word);
    }
    return bytes;
}

void putS32le(std::vector<uint8_t>& bytes, size_t offset, int32_t value)
{
    const auto bits = static_cast<uint32_t>(value);
    for (size_t i = 0; i < 4; ++i) {
        bytes.at(offset + i) = static_cast<uint8_t>(bits >> (8 * i));
    }
}

void putS16le(std::vector<uint8_t>& bytes, size_t offset, int16_t value)
{
    const auto bits = static_cast<uint16_t>(value);
    bytes.at(offset) = static_cast<uint8_t>(bits);
    bytes.at(offset + 1) = static_cast<uint8_t>(bits >> 8);
}

void putF32le(std::vector<uint8_t>& bytes, size_t offset, float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    putS32le(bytes, offset, static_cast<int32_t>(bits));
}

int32_t getS32le(const std::vector<uint8_t>& bytes, size_t offset)
{
    uint32_t bits = 0;
    for (size_t i = 0; i < 4; ++i) {
        bits |= uint32_t(bytes.at(offset + i)) << (8 * i);
    }
    return static_cast<int32_t>(bits);
}
