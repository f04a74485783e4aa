// The MD2 keyframe model in memory: records, loading from a file or from bytes, release, and drawing one frame.
// Loading is GL-free (md2Load.cpp); drawing (md2Draw.cpp) is the only part that needs a GL context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct Vec3 {
    float x, y, z;
};

// Position in the program's axes (Y up); normal in the file's axes (Z up), converted when drawn.
struct ModelVertex {
    Vec3 position;
    Vec3 normal;
};

struct Md2TexCoord {
    int16_t s, t;
};

struct Md2Triangle {
    int16_t vertex[3];
    int16_t texCoord[3];
};

struct Md2Frame {
    char name[16] = {};
    std::unique_ptr<ModelVertex[]> vertices;
};

struct Md2Model {
    int32_t ident = 0;
    int32_t version = 0;
    int32_t skinWidth = 0;
    int32_t skinHeight = 0;
    int32_t frameSize = 0;
    int32_t numSkins = 0;
    int32_t numVertices = 0;
    int32_t numTexCoords = 0;
    int32_t numTriangles = 0;
    int32_t numGlCommands = 0;
    int32_t numFrames = 0;
    int32_t offsetSkins = 0;
    int32_t offsetTexCoords = 0;
    int32_t offsetTriangles = 0;
    int32_t offsetFrames = 0;
    int32_t offsetGlCommands = 0;
    int32_t offsetEnd = 0;

    std::unique_ptr<uint8_t[]> skins;  // numSkins entries of 64 bytes
    std::unique_ptr<Md2TexCoord[]> texCoords;
    std::unique_ptr<Md2Triangle[]> triangles;
    std::unique_ptr<Md2Frame[]> frames;
    std::unique_ptr<int32_t[]> glCommands;
};

inline constexpr int md2NormalCount = 162;
extern const float md2VertexNormals[md2NormalCount][3];

// A whole model, or nullptr when the bytes are not a sound MD2 file. Never a partial model.
Md2Model* parseMd2Model(const uint8_t* bytes, size_t size);

// Reads the file and parses it; nullptr when it cannot be read or is not a sound MD2 file.
Md2Model* loadMd2Model(const char* path);

// Releases the model and everything it owns; nullptr is ignored.
void freeMd2Model(Md2Model* model);

// Draws keyframe frameIndex as lit triangles; an index outside the model's frames draws nothing.
void drawModelFrame(const Md2Model* model, int32_t frameIndex);
