// Start-up preparation of a loaded MD2 model: reverse the triangles' winding for back-face culling, then
// rebuild every frame's normals as smooth area-weighted vertex normals, stored in the file's axes.
#include "model/md2Prepare.h"

#include <cmath>
#include <utility>

void flipWinding(Md2Model* model)
{
    if (model == nullptr || model->triangles == nullptr) {
        return;
    }
    // Texture indices follow their corners only when the model has coordinates to follow.
    const bool hasTexCoords = model->numTexCoords != 0;
    for (int32_t i = 0; i < model->numTriangles; ++i) {
        Md2Triangle& triangle = model->triangles[i];
        std::swap(triangle.vertex[0], triangle.vertex[2]);
        if (hasTexCoords) {
            std::swap(triangle.texCoord[0], triangle.texCoord[2]);
        }
    }
}

namespace {

// Left unnormalised: its length is twice the area, so bigger faces weigh more at shared corners. Apart from
// faceNormal so the normals' loop, which runs for every triangle of every keyframe, has it inline.
inline Vec3 cornersNormal(const ModelVertex* vertices, const Md2Triangle& triangle)
{
    const Vec3& p0 = vertices[triangle.vertex[0]].position;
    const Vec3& p1 = vertices[triangle.vertex[1]].position;
    const Vec3& p2 = vertices[triangle.vertex[2]].position;
    const Vec3 e1 = {p1.x - p0.x, p1.y - p0.y, p1.z - p0.z};
    const Vec3 e2 = {p2.x - p0.x, p2.y - p0.y, p2.z - p0.z};
    return {e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
}

inline void normalizeInPlace(Vec3& vector)
{
    const float length = std::sqrt(vector.x * vector.x + vector.y * vector.y + vector.z * vector.z);
    // Unused and degenerate-only vertices must stay (0, 0, 0) rather than turn into NaN.
    if (length == 0.0f || std::isnan(length)) {
        return;
    }
    vector = {vector.x / length, vector.y / length, vector.z / length};
}

}  // namespace

Vec3 faceNormal(const Md2Model* model, const Md2Triangle& triangle, int32_t frameIndex)
{
    return cornersNormal(model->frames[frameIndex].vertices.get(), triangle);
}

void normalize(Vec3& vector)
{
    normalizeInPlace(vector);
}

void computeVertexNormals(Md2Model* model)
{
    if (model == nullptr || model->frames == nullptr) {
        return;
    }
    const int32_t triangleCount = model->triangles != nullptr ? model->numTriangles : 0;
    for (int32_t f = 0; f < model->numFrames; ++f) {
        ModelVertex* vertices = model->frames[f].vertices.get();
        for (int32_t v = 0; v < model->numVertices; ++v) {
            vertices[v].normal = {0.0f, 0.0f, 0.0f};
        }
        // Each face goes into its corners as (x, -z, y): the file's axes (Z up), which drawModelFrame
        // converts back. A corner sums its faces in triangle order.
        for (int32_t t = 0; t < triangleCount; ++t) {
            const Md2Triangle& triangle = model->triangles[t];
            const Vec3 g = cornersNormal(vertices, triangle);
            for (int k = 0; k < 3; ++k) {
                Vec3& normal = vertices[triangle.vertex[k]].normal;
                normal.x += g.x;
                normal.y -= g.z;
                normal.z += g.y;
            }
        }
        for (int32_t v = 0; v < model->numVertices; ++v) {
            normalizeInPlace(vertices[v].normal);
        }
    }
}
