// Keyframe blending for playback: a linear blend of two prepared keyframes into a caller's scratch array.
// Runs once per drawn frame over every vertex, so it allocates nothing and keeps to plain loops.
#include "model/md2Blend.h"

#include <cmath>
#include <cstring>

static_assert(sizeof(ModelVertex) == 6 * sizeof(float), "ModelVertex is copied as six packed floats");

int32_t clampKeyframe(int32_t keyframe, int32_t frameCount)
{
    if (frameCount <= 0) {
        return 0;
    }
    if (keyframe >= frameCount) {
        keyframe = frameCount - 1;
    }
    return keyframe < 0 ? 0 : keyframe;
}

void blendFrames(const Md2Model& model, int32_t from, int32_t to, float blend, ModelVertex* out)
{
    const int32_t count = model.numVertices;
    if (out == nullptr || count <= 0) {
        return;
    }
    const ModelVertex* a = nullptr;
    const ModelVertex* b = nullptr;
    if (model.frames != nullptr && model.numFrames > 0) {
        a = model.frames[clampKeyframe(from, model.numFrames)].vertices.get();
        b = model.frames[clampKeyframe(to, model.numFrames)].vertices.get();
    }
    if (a == nullptr || b == nullptr) {
        std::memset(out, 0, sizeof(ModelVertex) * size_t(count));
        return;
    }
    // The ends are copies, not arithmetic: a -0 position or a normal normalised twice would differ in the last
    // bit, and a paused keyframe must draw exactly as the keyframe itself does.
    if (!(blend > 0.0f) || a == b) {
        std::memcpy(out, a, sizeof(ModelVertex) * size_t(count));
        return;
    }
    if (blend >= 1.0f) {
        std::memcpy(out, b, sizeof(ModelVertex) * size_t(count));
        return;
    }
    // Two passes: the blend has no branch and vectorises; the square root's error path (the build keeps errno)
    // would stop that, so the normalising has a loop of its own.
    const float t = blend;
    for (int32_t v = 0; v < count; ++v) {
        // a + t * (b - a) leaves a vertex that does not move between the keyframes exactly where it is.
        out[v].position.x = a[v].position.x + t * (b[v].position.x - a[v].position.x);
        out[v].position.y = a[v].position.y + t * (b[v].position.y - a[v].position.y);
        out[v].position.z = a[v].position.z + t * (b[v].position.z - a[v].position.z);
        out[v].normal.x = a[v].normal.x + t * (b[v].normal.x - a[v].normal.x);
        out[v].normal.y = a[v].normal.y + t * (b[v].normal.y - a[v].normal.y);
        out[v].normal.z = a[v].normal.z + t * (b[v].normal.z - a[v].normal.z);
    }
    for (int32_t v = 0; v < count; ++v) {
        Vec3& n = out[v].normal;
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        // The preparation's rule: a length of zero or not a number leaves the vector as it is, so opposite
        // normals blend to (0, 0, 0) halfway. Dividing by 1 keeps it bit for bit.
        const float divisor = length > 0.0f ? length : 1.0f;
        n = {n.x / divisor, n.y / divisor, n.z / divisor};
    }
}
