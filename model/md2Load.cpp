// MD2 bytes into an Md2Model: header, sections and every keyframe decoded once into program-axis positions.
// GL-free; a file is first read whole into memory, so every section is checked against its length before use.
#include <bit>
#include <cstdio>
#include <cstring>
#include <new>

#include "model/md2.h"

namespace {

constexpr size_t headerSize = 68;
constexpr int64_t skinEntrySize = 64;
constexpr int64_t texCoordEntrySize = 4;
constexpr int64_t triangleEntrySize = 12;
constexpr int64_t frameHeadSize = 40;
constexpr int64_t packedVertexSize = 4;
constexpr int64_t glCommandSize = 4;
// Preparing a model recomputes every frame's normals from all its triangles, so start-up work grows with
// frames times triangles, which the file's size does not bound: a few megabytes of one-vertex frames and
// degenerate triangles would keep start-up busy for minutes. Real models stay far below this: 512 frames
// of 4,096 triangles and 2,048 vertices come to about 3 million.
constexpr int64_t maxPreparationWork = int64_t{1} << 28;

uint32_t readU32le(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

int32_t readS32le(const uint8_t* at)
{
    return static_cast<int32_t>(readU32le(at));
}

int16_t readS16le(const uint8_t* at)
{
    return static_cast<int16_t>(uint16_t(at[0]) | uint16_t(at[1]) << 8);
}

float readF32le(const uint8_t* at)
{
    return std::bit_cast<float>(readU32le(at));
}

// A section of count entries of entrySize bytes at offset must lie wholly inside the bytes. An empty
// section is never read, so where it claims to start does not matter.
bool sectionFits(int32_t offset, int64_t count, int64_t entrySize, size_t size)
{
    const int64_t length = count * entrySize;
    if (length == 0) {
        return true;
    }
    return offset >= 0 && int64_t(offset) + length <= static_cast<int64_t>(size);
}

void readHeader(const uint8_t* bytes, Md2Model& model)
{
    int32_t* const fields[] = {
        &model.ident,           &model.version,         &model.skinWidth,    &model.skinHeight,
        &model.frameSize,       &model.numSkins,        &model.numVertices,  &model.numTexCoords,
        &model.numTriangles,    &model.numGlCommands,   &model.numFrames,    &model.offsetSkins,
        &model.offsetTexCoords, &model.offsetTriangles, &model.offsetFrames, &model.offsetGlCommands,
        &model.offsetEnd,
    };
    for (size_t i = 0; i < std::size(fields); ++i) {
        *fields[i] = readS32le(bytes + 4 * i);
    }
}

// Everything the decode and the draw will follow must be inside the bytes or inside its arrays:
// the checks all happen before anything is allocated, in 64-bit arithmetic so no product can wrap.
bool headerIsSound(const Md2Model& model, size_t size)
{
    if (model.numSkins < 0 || model.numVertices < 0 || model.numTexCoords < 0 || model.numTriangles < 0 ||
        model.numGlCommands < 0 || model.numFrames < 0) {
        return false;
    }
    if (model.numFrames > 0 && frameHeadSize + packedVertexSize * model.numVertices > model.frameSize) {
        return false;
    }
    if (int64_t{model.numFrames} * (int64_t{model.numTriangles} + model.numVertices) > maxPreparationWork) {
        return false;
    }
    return sectionFits(model.offsetSkins, model.numSkins, skinEntrySize, size) &&
           sectionFits(model.offsetTexCoords, model.numTexCoords, texCoordEntrySize, size) &&
           sectionFits(model.offsetTriangles, model.numTriangles, triangleEntrySize, size) &&
           sectionFits(model.offsetFrames, model.numFrames, model.frameSize, size) &&
           sectionFits(model.offsetGlCommands, model.numGlCommands, glCommandSize, size);
}

// Reads the triangles and rejects any corner that would index past the vertices or a present texCoords.
bool readTriangles(const uint8_t* bytes, Md2Model& model)
{
    const bool checkTexCoords = model.numTexCoords > 0;
    const uint8_t* at = bytes + model.offsetTriangles;
    for (int32_t i = 0; i < model.numTriangles; ++i, at += triangleEntrySize) {
        Md2Triangle& triangle = model.triangles[i];
        for (int k = 0; k < 3; ++k) {
            triangle.vertex[k] = readS16le(at + 2 * k);
            triangle.texCoord[k] = readS16le(at + 6 + 2 * k);
            if (triangle.vertex[k] < 0 || triangle.vertex[k] >= model.numVertices) {
                return false;
            }
            if (checkTexCoords && (triangle.texCoord[k] < 0 || triangle.texCoord[k] >= model.numTexCoords)) {
                return false;
            }
        }
    }
    return true;
}

void decodeFrame(const uint8_t* record, int32_t numVertices, Md2Frame& frame)
{
    const float scaleX = readF32le(record + 0);
    const float scaleY = readF32le(record + 4);
    const float scaleZ = readF32le(record + 8);
    const float translateX = readF32le(record + 12);
    const float translateY = readF32le(record + 16);
    const float translateZ = readF32le(record + 20);

    // An unterminated name keeps what fits before the terminator frame.name already ends with.
    const char* name = reinterpret_cast<const char*>(record + 24);
    for (size_t i = 0; i + 1 < sizeof frame.name && name[i] != '\0'; ++i) {
        frame.name[i] = name[i];
    }

    const uint8_t* packed = record + frameHeadSize;
    ModelVertex* out = frame.vertices.get();
    for (int32_t j = 0; j < numVertices; ++j, packed += packedVertexSize, ++out) {
        out->position.x = float(packed[0]) * scaleX + translateX;
        out->position.y = float(packed[2]) * scaleZ + translateZ;
        out->position.z = -(float(packed[1]) * scaleY + translateY);
        const uint8_t n = packed[3];
        if (n < md2NormalCount) {
            out->normal = {md2VertexNormals[n][0], md2VertexNormals[n][1], md2VertexNormals[n][2]};
        } else {
            out->normal = {0.0f, 0.0f, 0.0f};
        }
    }
}

bool readFrames(const uint8_t* bytes, Md2Model& model)
{
    model.frames.reset(new (std::nothrow) Md2Frame[model.numFrames]);
    if (!model.frames) {
        return false;
    }
    const uint8_t* record = bytes + model.offsetFrames;
    for (int32_t i = 0; i < model.numFrames; ++i, record += model.frameSize) {
        Md2Frame& frame = model.frames[i];
        // Present even when empty: numVertices 0 still gives every frame a vertex array.
        frame.vertices.reset(new (std::nothrow) ModelVertex[model.numVertices]);
        if (!frame.vertices) {
            return false;
        }
        decodeFrame(record, model.numVertices, frame);
    }
    return true;
}

bool readSections(const uint8_t* bytes, Md2Model& model)
{
    if (model.numSkins > 0) {
        model.skins.reset(new (std::nothrow) uint8_t[size_t(model.numSkins) * skinEntrySize]);
        if (!model.skins) {
            return false;
        }
        std::memcpy(model.skins.get(), bytes + model.offsetSkins, size_t(model.numSkins) * skinEntrySize);
    }
    if (model.numTexCoords > 0) {
        model.texCoords.reset(new (std::nothrow) Md2TexCoord[model.numTexCoords]);
        if (!model.texCoords) {
            return false;
        }
        const uint8_t* at = bytes + model.offsetTexCoords;
        for (int32_t i = 0; i < model.numTexCoords; ++i, at += texCoordEntrySize) {
            model.texCoords[i] = {readS16le(at), readS16le(at + 2)};
        }
    }
    if (model.numTriangles > 0) {
        model.triangles.reset(new (std::nothrow) Md2Triangle[model.numTriangles]);
        if (!model.triangles || !readTriangles(bytes, model)) {
            return false;
        }
    }
    if (model.numFrames > 0 && !readFrames(bytes, model)) {
        return false;
    }
    if (model.numGlCommands > 0) {
        model.glCommands.reset(new (std::nothrow) int32_t[model.numGlCommands]);
        if (!model.glCommands) {
            return false;
        }
        const uint8_t* at = bytes + model.offsetGlCommands;
        for (int32_t i = 0; i < model.numGlCommands; ++i, at += glCommandSize) {
            model.glCommands[i] = readS32le(at);
        }
    }
    return true;
}

}  // namespace

Md2Model* parseMd2Model(const uint8_t* bytes, size_t size)
{
    if (bytes == nullptr || size < headerSize || std::memcmp(bytes, "IDP2", 4) != 0) {
        return nullptr;
    }
    Md2Model* model = new (std::nothrow) Md2Model{};
    if (model == nullptr) {
        return nullptr;
    }
    readHeader(bytes, *model);
    if (!headerIsSound(*model, size) || !readSections(bytes, *model)) {
        freeMd2Model(model);
        return nullptr;
    }
    return model;
}

Md2Model* loadMd2Model(const char* path)
{
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return nullptr;
    }
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        length = std::ftell(file);
    }
    if (length < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return nullptr;
    }
    const size_t size = static_cast<size_t>(length);
    // Uninitialised on purpose: fread fills it, and zeroing a large file first would double the cost.
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
    const bool complete = bytes && std::fread(bytes.get(), 1, size, file) == size;
    std::fclose(file);
    if (!complete) {
        return nullptr;
    }
    return parseMd2Model(bytes.get(), size);
}

void freeMd2Model(Md2Model* model)
{
    // The record owns its arrays, and each frame its vertices, so releasing the record releases them all.
    delete model;
}
