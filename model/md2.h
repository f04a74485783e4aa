// The MD2 keyframe model in memory: records, loading from a file or from bytes, release, and drawing one frame.
// Loading is GL-free (md2Load.cpp); drawing (md2Draw.cpp) is the only part that needs a GL context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/fileSource.h"

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

// Why a model was refused: one kind per check, and a short lower-case text with the numbers that failed it,
// e.g. "triangle 12 uses vertex 4000 of 358". Callers that only need the model pass no fault.
enum class Md2FaultKind {
    none,
    cannotOpen,               // "cannot open: No such file or directory"
    readError,                // "cannot read: the file ended early"
    tooLarge,                 // "file is 3.0 GB, larger than any MD2 model"
    noMemory,                 // "not enough memory for the model"
    notMd2,                   // "not an MD2 file"
    headerCutShort,           // "cut short: 40 bytes, less than the 68-byte header"
    negativeVertexCount,      // "negative vertex count -5"
    negativeGlCommandCount,   // "negative gl command count -3"
    frameTooSmall,            // "frame size 55 cannot hold 4 vertices, which need 56"
    tooMuchPreparation,       // "65536 frames x (4096 triangles + 1 vertices) is too much to prepare"
    sectionBeforeStart,       // "skins start at offset -64, before the file"
    sectionCutShort,          // "cut short: frames end past the end of the file"
    vertexIndexOutOfRange,    // "triangle 12 uses vertex 4000 of 358"
    texCoordIndexOutOfRange,  // "triangle 0 uses texture coordinate 4 of 4"
};

struct Md2Fault {
    Md2FaultKind kind = Md2FaultKind::none;
    char text[160] = {};
};

// Well above any real model: 512 keyframes of 2,048 vertices and 4,096 triangles, the format's usual limits,
// come to under 5 MB. A larger file is refused before anything is read.
inline constexpr uint64_t md2MaxFileSize = uint64_t{32} << 20;

// A whole model, or nullptr when the bytes are not a sound MD2 file. Never a partial model.
// Counts of skins, texture coordinates, triangles or frames that are zero or negative leave that array absent.
Md2Model* parseMd2Model(const uint8_t* bytes, size_t size, Md2Fault* fault = nullptr);

// Reads the file and parses it; nullptr when it cannot be read or is not a sound MD2 file.
Md2Model* loadMd2Model(const char* path, Md2Fault* fault = nullptr);
// The same for a name in a file source.
Md2Model* readMd2Model(const FileSource& source, const std::string& name, Md2Fault* fault = nullptr);

// Releases the model and everything it owns; nullptr is ignored.
void freeMd2Model(Md2Model* model);

// Whether frameIndex names one of the model's decoded keyframes.
inline bool md2HasFrame(const Md2Model& model, int32_t frameIndex)
{
    return model.frames != nullptr && frameIndex >= 0 && frameIndex < model.numFrames;
}

// Hands visit(const ModelVertex&, const Md2TexCoord*) every triangle corner in drawing order, its vertex taken
// from vertices (numVertices of them: a keyframe's, or a blend of two); the texture coordinate is nullptr when
// the model has none. Drawing and the fuzz harness both walk a frame through this, so the harness reads exactly
// what drawing reads.
template <typename Visit>
inline void forEachCorner(const Md2Model& model, const ModelVertex* vertices, Visit&& visit)
{
    if (vertices == nullptr || model.triangles == nullptr) {
        return;
    }
    const Md2TexCoord* texCoords = model.texCoords.get();
    for (int32_t i = 0; i < model.numTriangles; ++i) {
        const Md2Triangle& triangle = model.triangles[i];
        for (int k = 0; k < 3; ++k) {
            visit(vertices[triangle.vertex[k]], texCoords != nullptr ? &texCoords[triangle.texCoord[k]] : nullptr);
        }
    }
}

// The corners of keyframe frameIndex; a frame the model lacks visits nothing.
template <typename Visit>
inline void forEachFrameCorner(const Md2Model& model, int32_t frameIndex, Visit&& visit)
{
    if (md2HasFrame(model, frameIndex)) {
        forEachCorner(model, model.frames[frameIndex].vertices.get(), visit);
    }
}

// Draws keyframe frameIndex as lit triangles; an index outside the model's frames draws nothing.
void drawModelFrame(const Md2Model* model, int32_t frameIndex);

// Draws the model's triangles over the given vertices (numVertices of them), texture coordinates divided by the
// skin size given.
void drawModelVertices(const Md2Model& model, const ModelVertex* vertices, float skinWidth, float skinHeight);
