// An MD2 model rearranged for the export formats: one vertex per distinct (vertex, texture coordinate) pair,
// triangles counter-clockwise seen from outside, and positions and normals in glTF's axes. GL-free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/md2.h"

// Why a model or its output was refused; text is one short line such as "it has no triangles".
enum class ExportFaultKind {
    none,
    noKeyframes,  // the model holds no keyframe to export
    noTriangles,  // nothing to draw: no triangles
    badSkin,      // the skin named or found could not be read or encoded
    cannotWrite,  // the output (or its temporary) could not be written or renamed
};

struct ExportFault {
    ExportFaultKind kind = ExportFaultKind::none;
    std::string text;
};

struct ExportMesh {
    std::vector<int32_t> sourceVertex;  // per exported vertex: the model's vertex it copies
    std::vector<float> texCoords;       // per exported vertex (u, v); empty when the model has none to divide
    std::vector<uint32_t> indices;      // three per triangle, in drawing order
};

// The model as prepared for drawing (flipWinding and computeVertexNormals done), its texture coordinates divided
// by skinWidth and skinHeight as drawing divides them; a size of 0 or less leaves texCoords empty. Vertices are
// listed in the order the triangles first use them, so vertices no triangle uses are left out.
ExportMesh buildExportMesh(const Md2Model& model, float skinWidth, float skinHeight);

// The sizes drawing divides texture coordinates by: the header's, or the skin picture's where the header says
// 0 or less; 0 when neither is known.
float skinDivisor(int32_t headerSize, int32_t imageSize);

// The program's axes (Y up, the model's front along +X) into glTF's (Y up, front along +Z), a rotation about Y,
// so both handedness and winding are kept and every coordinate is copied exactly (negation is exact).
// Inline, as both run for every vertex of every keyframe.
inline Vec3 gltfPosition(const Vec3& position)
{
    return {-position.z, position.y, position.x};
}
// Normals are held in the file's axes (Z up); the same rotation from there. A zero normal (a vertex only in
// degenerate triangles) becomes straight up, since glTF requires unit normals.
inline Vec3 gltfNormal(const Vec3& fileNormal)
{
    if (fileNormal.x == 0.0f && fileNormal.y == 0.0f && fileNormal.z == 0.0f) {
        return {0.0f, 1.0f, 0.0f};
    }
    // File (x, y, z) is program (x, z, -y), which glTF's rotation turns into (y, z, x).
    return {fileNormal.y, fileNormal.z, fileNormal.x};
}

// The morph delta from base to target: the float d near target - base for which base + d (in float) lands
// nearest target: exactly on it whenever any d does, which is always so when the two are of one sign and
// within a factor of two of each other, and else as near as the floats around target - base allow.
// The first difference lands exactly for almost every coordinate, so that case is inline and the search apart.
float morphDeltaSearch(float base, float target);
inline float morphDelta(float base, float target)
{
    const float first = target - base;
    return base + first == target ? first : morphDeltaSearch(base, target);
}

// Refuses a model the formats cannot hold: no keyframes or no triangles.
bool exportable(const Md2Model& model, ExportFault* fault);

// The stem of a path: its file name without folders (either slash) or extension.
std::string exportStem(const std::string& path);

// RGBA rows (top first) as PNG file bytes; false when the encoder fails.
bool encodePng(const uint8_t* pixels, int32_t width, int32_t height, std::vector<uint8_t>& png);
