// Writes MD2 bytes for tests from a plain description, plus little-endian field helpers to corrupt one field.
// Laid out from the file format itself, independently of the loader, so a shared mistake cannot pass both sides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Byte offsets of the seventeen int32 header fields.
namespace md2Field {
inline constexpr size_t ident = 0;
inline constexpr size_t version = 4;
inline constexpr size_t skinWidth = 8;
inline constexpr size_t skinHeight = 12;
inline constexpr size_t frameSize = 16;
inline constexpr size_t numSkins = 20;
inline constexpr size_t numVertices = 24;
inline constexpr size_t numTexCoords = 28;
inline constexpr size_t numTriangles = 32;
inline constexpr size_t numGlCommands = 36;
inline constexpr size_t numFrames = 40;
inline constexpr size_t offsetSkins = 44;
inline constexpr size_t offsetTexCoords = 48;
inline constexpr size_t offsetTriangles = 52;
inline constexpr size_t offsetFrames = 56;
inline constexpr size_t offsetGlCommands = 60;
inline constexpr size_t offsetEnd = 64;
}  // namespace md2Field

struct Md2BuildVertex {
    uint8_t x = 0, y = 0, z = 0, normal = 0;
};

struct Md2BuildFrame {
    float scale[3] = {1.0f, 1.0f, 1.0f};
    float translate[3] = {0.0f, 0.0f, 0.0f};
    // Written as raw bytes into the 16-byte field, zero-padded; 16 or more bytes leave no terminator.
    std::string name = "frame";
    std::vector<Md2BuildVertex> vertices;
};

struct Md2BuildTriangle {
    int16_t vertex[3] = {0, 0, 0};
    int16_t texCoord[3] = {0, 0, 0};
};

struct Md2BuildTexCoord {
    int16_t s = 0, t = 0;
};

struct Md2Description {
    int32_t version = 8;
    int32_t skinWidth = 64;
    int32_t skinHeight = 64;
    std::vector<std::string> skins;  // each written into a zero-padded 64-byte entry
    std::vector<Md2BuildTexCoord> texCoords;
    std::vector<Md2BuildTriangle> triangles;
    std::vector<Md2BuildFrame> frames;  // every frame should hold the same number of vertices
    std::vector<int32_t> glCommands;
    int32_t framePadding = 0;  // extra zero bytes after each frame's packed vertices
};

// The whole file: header, skins, texture coordinates, triangles, frames, GL commands, in that order.
std::vector<uint8_t> buildMd2(const Md2Description& description);

void putS32le(std::vector<uint8_t>& bytes, size_t offset, int32_t value);
void putS16le(std::vector<uint8_t>& bytes, size_t offset, int16_t value);
void putF32le(std::vector<uint8_t>& bytes, size_t offset, float value);
int32_t getS32le(const std::vector<uint8_t>& bytes, size_t offset);
