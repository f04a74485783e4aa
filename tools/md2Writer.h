// Writes MD2 model bytes from a plain in-memory model (Md2Source): quantises every frame into bytes, picks each
// vertex's normal from md2VertexNormals, and can build the GL command strips and fans from the triangles.
#pragma once

#include "model/md2.h"

#include <cstdint>
#include <string>
#include <vector>

// Both vectors in the file's own axes (Z up). The normal need not be unit length.
struct Md2SourceVertex {
    Vec3 position;
    Vec3 normal;
};

struct Md2SourceFrame {
    std::string name;  // at most 15 characters
    std::vector<Md2SourceVertex> vertices;
};

// Triangles wind clockwise seen from outside, as MD2 files do. Every frame has the same vertex count.
struct Md2Source {
    int32_t skinWidth = 0;
    int32_t skinHeight = 0;
    std::vector<std::string> skins;  // each at most 63 characters
    std::vector<Md2TexCoord> texCoords;
    std::vector<Md2Triangle> triangles;
    std::vector<Md2SourceFrame> frames;
    std::vector<int32_t> glCommands;  // written as given, terminator included; see buildGlCommands
};

// The index of the table normal closest in direction to the given vector.
uint8_t nearestMd2Normal(Vec3 normal);

// Sets every vertex normal of every frame to the area-weighted average of the outward normals of the
// triangles around it (outward for the clockwise MD2 winding).
void computeSourceNormals(Md2Source& source);

// Greedy triangle strips and fans over the triangles, each vertex as (float s, float t, int index) with
// s = (texel + 0.5) / skinWidth, keeping each triangle's winding; a run of n strip vertices is counted n,
// a fan -n, and the list ends with 0. Neighbours join only where vertex and texture coordinate both match.
std::vector<int32_t> buildGlCommands(const Md2Source& source);

// The whole file, or an empty vector when the source cannot be written (frames of different sizes,
// an index out of range, a name too long, more vertices than the format holds).
std::vector<uint8_t> writeMd2Bytes(const Md2Source& source);

// Writes writeMd2Bytes to path; false when the source is unsound or the file cannot be written.
bool writeMd2File(const char* path, const Md2Source& source);
