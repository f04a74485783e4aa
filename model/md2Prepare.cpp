// Start-up preparation of a loaded MD2 model: reverse the triangles' winding for back-face culling, then
// rebuild every frame's normals as smooth area-weighted vertex normals, stored in the file's axes.
#include "model/md2Prepare.h"

#include <cmath>
#include <memory>
#include <new>
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

inline Vec3 faceNormalOf(const ModelVertex* vertices, const Md2Triangle& triangle)
{
    const Vec3& p0 = vertices[triangle.vertex[0]].position;
    const Vec3& p1 = vertices[triangle.vertex[1]].position;
    const Vec3& p2 = vertices[triangle.vertex[2]].position;
    const Vec3 e1 = {p1.x - p0.x, p1.y - p0.y, p1.z - p0.z};
    const Vec3 e2 = {p2.x - p0.x, p2.y - p0.y, p2.z - p0.z};
    // Left unnormalised: its length is twice the area, so bigger faces weigh more at shared corners.
    return {e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
}

// The triangles around each vertex, the same in every frame: vertex v's are around[first[v]] up to
// around[first[v + 1]], in triangle order, once per corner, so a vertex's sum adds the same faces in the
// same order as a pass over the triangles would.
struct VertexFans {
    std::unique_ptr<int32_t[]> first;
    std::unique_ptr<int32_t[]> around;
};

bool buildVertexFans(const Md2Triangle* triangles, int32_t triangleCount, int32_t vertexCount, VertexFans& fans)
{
    if (vertexCount < 0) {
        return false;
    }
    fans.first.reset(new (std::nothrow) int32_t[size_t(vertexCount) + 1]());
    fans.around.reset(new (std::nothrow) int32_t[3 * size_t(triangleCount) + 1]);
    std::unique_ptr<int32_t[]> next(new (std::nothrow) int32_t[size_t(vertexCount) + 1]);
    if (!fans.first || !fans.around || !next) {
        return false;
    }
    for (int32_t t = 0; t < triangleCount; ++t) {
        for (int k = 0; k < 3; ++k) {
            ++fans.first[triangles[t].vertex[k] + 1];
        }
    }
    for (int32_t v = 0; v < vertexCount; ++v) {
        fans.first[v + 1] += fans.first[v];
        next[v] = fans.first[v];
    }
    for (int32_t t = 0; t < triangleCount; ++t) {
        for (int k = 0; k < 3; ++k) {
            fans.around[next[triangles[t].vertex[k]]++] = t;
        }
    }
    return true;
}

inline Vec3 normalized(Vec3 vector)
{
    const float length = std::sqrt(vector.x * vector.x + vector.y * vector.y + vector.z * vector.z);
    // Unused and degenerate-only vertices must stay (0, 0, 0) rather than turn into NaN.
    if (length == 0.0f || std::isnan(length)) {
        return vector;
    }
    return {vector.x / length, vector.y / length, vector.z / length};
}

}  // namespace

Vec3 faceNormal(const Md2Model* model, const Md2Triangle& triangle, int32_t frameIndex)
{
    return faceNormalOf(model->frames[frameIndex].vertices.get(), triangle);
}

void normalize(Vec3& vector)
{
    vector = normalized(vector);
}

void computeVertexNormals(Md2Model* model)
{
    if (model == nullptr || model->frames == nullptr) {
        return;
    }
    const int32_t triangleCount = model->triangles != nullptr ? model->numTriangles : 0;
    const int32_t vertexCount = model->numVertices;
    const Md2Triangle* triangles = model->triangles.get();
    // Each vertex gathers its faces from a table of face normals, rather than every face adding itself into
    // its three corners: those scattered adds wait on one another through memory wherever corners are shared.
    // Either way a face goes in as (x, -z, y): the file's axes (Z up), which drawModelFrame converts back.
    VertexFans fans;
    std::unique_ptr<Vec3[]> faces(new (std::nothrow) Vec3[size_t(triangleCount) + 1]);
    const bool gather = faces && buildVertexFans(triangles, triangleCount, vertexCount, fans);
    for (int32_t f = 0; f < model->numFrames; ++f) {
        ModelVertex* vertices = model->frames[f].vertices.get();
        if (vertices == nullptr) {
            continue;
        }
        if (gather) {
            for (int32_t t = 0; t < triangleCount; ++t) {
                faces[t] = faceNormalOf(vertices, triangles[t]);
            }
            for (int32_t v = 0; v < vertexCount; ++v) {
                // Plain locals, so the sums stay in registers.
                float x = 0.0f;
                float y = 0.0f;
                float z = 0.0f;
                for (int32_t i = fans.first[v]; i < fans.first[v + 1]; ++i) {
                    const Vec3& g = faces[fans.around[i]];
                    x += g.x;
                    y -= g.z;
                    z += g.y;
                }
                vertices[v].normal = normalized({x, y, z});
            }
            continue;
        }
        // Out of memory for the tables: the same sums, one triangle at a time.
        for (int32_t v = 0; v < vertexCount; ++v) {
            vertices[v].normal = {0.0f, 0.0f, 0.0f};
        }
        for (int32_t t = 0; t < triangleCount; ++t) {
            const Vec3 g = faceNormalOf(vertices, triangles[t]);
            for (int k = 0; k < 3; ++k) {
                Vec3& normal = vertices[triangles[t].vertex[k]].normal;
                normal.x += g.x;
                normal.y -= g.z;
                normal.z += g.y;
            }
        }
        for (int32_t v = 0; v < vertexCount; ++v) {
            vertices[v].normal = normalized(vertices[v].normal);
        }
    }
}
