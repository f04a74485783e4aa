// Tests of keyframe blending on small built models: positions and normals between two prepared keyframes,
// the exact ends, opposite normals and keyframes outside the model.
#include "model/md2Blend.h"
#include "model/md2Prepare.h"
#include "support/md2Builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct ModelDeleter {
    void operator()(Md2Model* model) const { freeMd2Model(model); }
};
using ModelPtr = std::unique_ptr<Md2Model, ModelDeleter>;

Md2BuildFrame frameOf(std::vector<Md2BuildVertex> vertices)
{
    Md2BuildFrame frame;
    frame.vertices = std::move(vertices);
    return frame;
}

// One triangle over vertices 0-2 and a vertex 3 no triangle uses, loaded and prepared as the viewer does.
ModelPtr preparedModel(std::vector<Md2BuildFrame> frames)
{
    Md2Description description;
    Md2BuildTriangle triangle;
    triangle.vertex[0] = 0;
    triangle.vertex[1] = 1;
    triangle.vertex[2] = 2;
    description.triangles = {triangle};
    description.frames = std::move(frames);
    const std::vector<uint8_t> bytes = buildMd2(description);
    ModelPtr model(parseMd2Model(bytes.data(), bytes.size()));
    if (model) {
        flipWinding(model.get());
        computeVertexNormals(model.get());
    }
    return model;
}

// Keyframe 0 lies flat in the file's XY plane; keyframe 1 has vertex 1 swung up the file's Z axis, so the
// triangle stands in the YZ plane and its normal has turned a right angle. The X scales differ by a factor of a
// million, so that vertex 3's x (7000 to 0.007) is not reached exactly by stepping from one to the other.
ModelPtr turningModel()
{
    Md2BuildFrame flat = frameOf({{0, 0, 0, 0}, {2, 0, 0, 0}, {0, 2, 0, 0}, {7, 0, 0, 0}});
    Md2BuildFrame standing = frameOf({{0, 0, 0, 0}, {0, 0, 2, 0}, {0, 2, 0, 0}, {7, 0, 0, 0}});
    flat.scale[0] = 1000.0f;
    standing.scale[0] = 0.001f;
    return preparedModel({flat, standing});
}

float lengthOf(const Vec3& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

TEST(BlendFrames, EndsAreTheKeyframesBitForBit)
{
    ModelPtr model = turningModel();
    ASSERT_TRUE(model);
    const size_t bytes = sizeof(ModelVertex) * size_t(model->numVertices);
    // The loader writes -0 for a file y of 0; arithmetic would turn it into +0.
    ASSERT_TRUE(std::signbit(model->frames[0].vertices[0].position.z));
    std::vector<ModelVertex> out(size_t(model->numVertices));
    for (const float blend : {0.0f, -0.5f, NAN}) {
        std::memset(out.data(), 0x7f, bytes);
        blendFrames(*model, 0, 1, blend, out.data());
        EXPECT_EQ(std::memcmp(out.data(), model->frames[0].vertices.get(), bytes), 0) << blend;
    }
    for (const float blend : {1.0f, 1.5f}) {
        std::memset(out.data(), 0x7f, bytes);
        blendFrames(*model, 0, 1, blend, out.data());
        EXPECT_EQ(std::memcmp(out.data(), model->frames[1].vertices.get(), bytes), 0) << blend;
    }
}

TEST(BlendFrames, PositionsBlendLinearlyAndNormalsBlendThenNormalise)
{
    ModelPtr model = turningModel();
    ASSERT_TRUE(model);
    const ModelVertex* a = model->frames[0].vertices.get();
    const ModelVertex* b = model->frames[1].vertices.get();
    // The preparation gave each keyframe one unit normal per corner, at right angles between the keyframes.
    const Vec3 n0 = a[0].normal;
    const Vec3 n1 = b[0].normal;
    ASSERT_NEAR(lengthOf(n0), 1.0f, 1e-6f);
    ASSERT_NEAR(lengthOf(n1), 1.0f, 1e-6f);
    ASSERT_NEAR(n0.x * n1.x + n0.y * n1.y + n0.z * n1.z, 0.0f, 1e-6f);

    std::vector<ModelVertex> out(size_t(model->numVertices));
    struct Case {
        float blend;
        float weight0, weight1;  // the unit normal expected, as a mix of n0 and n1
    };
    const float half = std::sqrt(0.5f);
    const float quarterLength = std::sqrt(0.75f * 0.75f + 0.25f * 0.25f);
    for (const Case& c : {Case{0.5f, half, half}, Case{0.25f, 0.75f / quarterLength, 0.25f / quarterLength}}) {
        SCOPED_TRACE(c.blend);
        blendFrames(*model, 0, 1, c.blend, out.data());
        for (int32_t v = 0; v < model->numVertices; ++v) {
            const Vec3& p = out[v].position;
            const Vec3& pa = a[v].position;
            const Vec3& pb = b[v].position;
            EXPECT_NEAR(p.x, pa.x + c.blend * (pb.x - pa.x), 1e-3f) << v;
            EXPECT_NEAR(p.y, pa.y + c.blend * (pb.y - pa.y), 1e-3f) << v;
            EXPECT_NEAR(p.z, pa.z + c.blend * (pb.z - pa.z), 1e-3f) << v;
        }
        for (int32_t v = 0; v < 3; ++v) {
            const Vec3& n = out[v].normal;
            EXPECT_NEAR(n.x, c.weight0 * n0.x + c.weight1 * n1.x, 1e-6f) << v;
            EXPECT_NEAR(n.y, c.weight0 * n0.y + c.weight1 * n1.y, 1e-6f) << v;
            EXPECT_NEAR(n.z, c.weight0 * n0.z + c.weight1 * n1.z, 1e-6f) << v;
        }
        // The unused vertex has no normal in either keyframe and gains none.
        EXPECT_EQ(out[3].normal.x, 0.0f);
        EXPECT_EQ(out[3].normal.y, 0.0f);
        EXPECT_EQ(out[3].normal.z, 0.0f);
    }
    // Halfway, by hand: vertex 1 goes from file (2000, 0, 0) to (0, 0, 2), so (1000, 0, 1), drawn at
    // (1000, 1, -0); vertices 0 and 2 do not move and stay exactly put.
    blendFrames(*model, 0, 1, 0.5f, out.data());
    EXPECT_FLOAT_EQ(out[1].position.x, 1000.0f);
    EXPECT_FLOAT_EQ(out[1].position.y, 1.0f);
    EXPECT_FLOAT_EQ(out[1].position.z, 0.0f);
    for (const int32_t v : {0, 2}) {
        EXPECT_EQ(out[v].position.x, a[v].position.x) << v;
        EXPECT_EQ(out[v].position.y, a[v].position.y) << v;
        EXPECT_EQ(out[v].position.z, a[v].position.z) << v;
    }
}

TEST(BlendFrames, OppositeNormalsBlendToZeroRatherThanNotANumber)
{
    // Keyframe 1 mirrors the triangle (vertices 1 and 2 trade places), so every corner's normal flips.
    ModelPtr model = preparedModel({frameOf({{0, 0, 0, 0}, {2, 0, 0, 0}, {0, 2, 0, 0}, {1, 1, 1, 0}}),
                                    frameOf({{0, 0, 0, 0}, {0, 2, 0, 0}, {2, 0, 0, 0}, {1, 1, 1, 0}})});
    ASSERT_TRUE(model);
    for (int32_t v = 0; v < 3; ++v) {
        const Vec3& n0 = model->frames[0].vertices[v].normal;
        const Vec3& n1 = model->frames[1].vertices[v].normal;
        ASSERT_NEAR(n0.x * n1.x + n0.y * n1.y + n0.z * n1.z, -1.0f, 1e-6f) << v;
    }
    std::vector<ModelVertex> out(size_t(model->numVertices));
    blendFrames(*model, 0, 1, 0.5f, out.data());
    for (int32_t v = 0; v < 3; ++v) {
        EXPECT_EQ(out[v].normal.x, 0.0f) << v;
        EXPECT_EQ(out[v].normal.y, 0.0f) << v;
        EXPECT_EQ(out[v].normal.z, 0.0f) << v;
    }
    // Either side of halfway the flip is whole: one keyframe's normal or the other's.
    blendFrames(*model, 0, 1, 0.4f, out.data());
    EXPECT_NEAR(out[0].normal.z, model->frames[0].vertices[0].normal.z, 1e-6f);
    blendFrames(*model, 0, 1, 0.6f, out.data());
    EXPECT_NEAR(out[0].normal.z, model->frames[1].vertices[0].normal.z, 1e-6f);
}

TEST(BlendFrames, KeyframesOutsideTheModelUseItsFirstOrLast)
{
    // A weapon of two keyframes beside a body of many: body keyframes past its end draw its last.
    ModelPtr model = turningModel();
    ASSERT_TRUE(model);
    const size_t bytes = sizeof(ModelVertex) * size_t(model->numVertices);
    std::vector<ModelVertex> out(size_t(model->numVertices));
    blendFrames(*model, 30, 31, 0.5f, out.data());
    EXPECT_EQ(std::memcmp(out.data(), model->frames[1].vertices.get(), bytes), 0);
    blendFrames(*model, -4, 1, 0.0f, out.data());
    EXPECT_EQ(std::memcmp(out.data(), model->frames[0].vertices.get(), bytes), 0);
    blendFrames(*model, 1, 40, 0.5f, out.data());
    EXPECT_EQ(std::memcmp(out.data(), model->frames[1].vertices.get(), bytes), 0);

    // A record without keyframes leaves zeros rather than stale or foreign memory.
    Md2Model empty{};
    empty.numVertices = 4;
    std::memset(out.data(), 0x7f, bytes);
    blendFrames(empty, 0, 1, 0.5f, out.data());
    for (const ModelVertex& vertex : out) {
        EXPECT_EQ(vertex.position.x, 0.0f);
        EXPECT_EQ(vertex.normal.z, 0.0f);
    }
}

TEST(ClampKeyframe, StaysInsideTheModel)
{
    struct Case {
        int32_t keyframe, frameCount, expected;
    };
    for (const Case& c : {Case{3, 10, 3}, Case{9, 10, 9}, Case{10, 10, 9}, Case{197, 173, 172}, Case{-1, 10, 0},
                          Case{0, 1, 0}, Case{5, 1, 0}, Case{5, 0, 0}, Case{5, -30, 0}, Case{5, INT32_MIN, 0}}) {
        EXPECT_EQ(clampKeyframe(c.keyframe, c.frameCount), c.expected) << c.keyframe << " of " << c.frameCount;
    }
}

}  // namespace
