// Tests of the start-up passes on a loaded model: the winding flip and the smooth vertex normals, on small
// builder-made models and on real and default model files, whose solids must come out closed and facing outward.
#include "model/md2.h"
#include "model/md2Prepare.h"
#include "support/md2Builder.h"
#include "support/testFiles.h"
#include "support/testModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct TriangleSpec {
    int16_t vertex[3];
    int16_t texCoord[3];
};

// Writes the frames through the test builder and loads them, so each model is one the loader really hands out.
// With scale 1 and translate (0, -128, 0) a packed vertex (b0, b1, b2) decodes to (b0, b2, 128 - b1), so whole
// positions from 0 to 255 (z from -127 to 128) come out exactly. Every vertex gets table normal 0, non-zero,
// so the passes must overwrite it.
ModelPtr buildModel(const std::vector<std::vector<Vec3>>& framePositions, const std::vector<TriangleSpec>& triangles,
                    int32_t numTexCoords)
{
    Md2Description d;
    d.skinWidth = 1;
    d.skinHeight = 1;
    d.texCoords.resize(static_cast<size_t>(numTexCoords));
    for (const TriangleSpec& triangle : triangles) {
        Md2BuildTriangle built;
        for (int k = 0; k < 3; ++k) {
            built.vertex[k] = triangle.vertex[k];
            built.texCoord[k] = triangle.texCoord[k];
        }
        d.triangles.push_back(built);
    }
    for (const std::vector<Vec3>& positions : framePositions) {
        Md2BuildFrame frame;
        frame.translate[1] = -128.0f;
        for (const Vec3& p : positions) {
            frame.vertices.push_back(
                {static_cast<uint8_t>(p.x), static_cast<uint8_t>(128.0f - p.z), static_cast<uint8_t>(p.y), 0});
        }
        d.frames.push_back(frame);
    }
    ModelPtr model = parseModel(buildMd2(d));
    if (model == nullptr) {
        ADD_FAILURE() << "the test model did not load";
        return model;
    }
    for (int32_t f = 0; f < model->numFrames; ++f) {
        for (int32_t v = 0; v < model->numVertices; ++v) {
            const Vec3& p = model->frames[f].vertices[v].position;
            const Vec3& wanted = framePositions[f][v];
            if (p.x != wanted.x || p.y != wanted.y || p.z != wanted.z) {
                ADD_FAILURE() << "frame " << f << " vertex " << v << " cannot be written as a packed vertex";
            }
        }
    }
    return model;
}

void expectVec3(const Vec3& actual, const Vec3& expected, const std::string& where)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-5f) << where;
    EXPECT_NEAR(actual.y, expected.y, 1e-5f) << where;
    EXPECT_NEAR(actual.z, expected.z, 1e-5f) << where;
}

// The direction drawModelFrame hands to glNormal3f for a stored normal.
Vec3 drawnNormal(const Vec3& stored)
{
    return {stored.x, stored.z, -stored.y};
}

TEST(FlipWinding, SwapsCornersZeroAndTwoAndTexCoordsOnlyWhenPresent)
{
    struct Case {
        const char* name;
        int32_t numTexCoords;
        int16_t expectedTexCoord[3];
    };
    const Case cases[] = {
        {"with texture coordinates", 6, {5, 4, 3}},
        {"without texture coordinates", 0, {3, 4, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModelPtr model(buildModel({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}, {{{0, 1, 2}, {3, 4, 5}}, {{2, 0, 1}, {1, 2, 0}}},
                                  c.numTexCoords));
        ASSERT_NE(model, nullptr);
        flipWinding(model.get());
        const Md2Triangle& first = model->triangles[0];
        EXPECT_EQ(first.vertex[0], 2);
        EXPECT_EQ(first.vertex[1], 1);
        EXPECT_EQ(first.vertex[2], 0);
        EXPECT_EQ(first.texCoord[0], c.expectedTexCoord[0]);
        EXPECT_EQ(first.texCoord[1], c.expectedTexCoord[1]);
        EXPECT_EQ(first.texCoord[2], c.expectedTexCoord[2]);
        EXPECT_EQ(model->triangles[1].vertex[0], 1) << "every triangle is flipped, not just the first";
        EXPECT_EQ(model->triangles[1].vertex[2], 2);

        flipWinding(model.get());
        const int16_t loaded[2][2][3] = {{{0, 1, 2}, {3, 4, 5}}, {{2, 0, 1}, {1, 2, 0}}};
        for (int t = 0; t < 2; ++t) {
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(model->triangles[t].vertex[k], loaded[t][0][k]) << "twice restores the loaded order";
                EXPECT_EQ(model->triangles[t].texCoord[k], loaded[t][1][k]) << "twice restores the loaded order";
            }
        }
    }
}

// Each case is loaded as written, then goes through both passes in the viewer's order.
TEST(VertexNormals, AfterBothPassesMatchTheGeometryOfEachFrame)
{
    const float r17 = 1.0f / std::sqrt(17.0f);
    struct Case {
        const char* name;
        std::vector<std::vector<Vec3>> frames;
        std::vector<TriangleSpec> triangles;
        std::vector<std::vector<Vec3>> expectedStored;
    };
    const Case cases[] = {
        // Loaded (2, 1, 0): after the flip the corners are (0,0,0), (1,0,0), (0,1,0), facing +Z.
        {"single triangle",
         {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}},
         {{{2, 1, 0}, {0, 0, 0}}},
         {{{0, -1, 0}, {0, -1, 0}, {0, -1, 0}}}},
        // A shared corner sums the faces weighted by area: (0,0,1) from the small face and (0,4,0) from the
        // large one give (0,4,1) in the program's axes, stored as (0,-1,4); an unweighted mean would give (0,-1,1).
        {"shared corner is area-weighted",
         {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 2}, {2, 0, 0}}},
         {{{2, 1, 0}, {0, 0, 0}}, {{4, 3, 0}, {0, 0, 0}}},
         {{{0, -r17, 4 * r17}, {0, -1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, 1}}}},
        // Each frame uses its own positions: the second frame is mirrored and faces -Z.
        {"each frame from its own geometry",
         {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}},
         {{{2, 1, 0}, {0, 0, 0}}},
         {{{0, -1, 0}, {0, -1, 0}, {0, -1, 0}}, {{0, 1, 0}, {0, 1, 0}, {0, 1, 0}}}},
        // Corners 0 and 1 coincide; vertex 3 belongs to no triangle.
        {"degenerate triangle and unused vertex",
         {{{1, 1, 1}, {1, 1, 1}, {0, 1, 0}, {5, 5, 5}}},
         {{{0, 1, 2}, {0, 0, 0}}},
         {{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}}},
        {"frames but no triangles",
         {{{0, 0, 0}, {1, 0, 0}}, {{0, 1, 0}, {1, 1, 0}}},
         {},
         {{{0, 0, 0}, {0, 0, 0}}, {{0, 0, 0}, {0, 0, 0}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModelPtr model(buildModel(c.frames, c.triangles, 0));
        ASSERT_NE(model, nullptr);
        flipWinding(model.get());
        computeVertexNormals(model.get());
        for (int pass = 0; pass < 2; ++pass) {  // the second pass shows the normals do not accumulate
            for (size_t f = 0; f < c.frames.size(); ++f) {
                for (size_t v = 0; v < c.frames[f].size(); ++v) {
                    const ModelVertex& vertex = model->frames[f].vertices[v];
                    const std::string where =
                        "pass " + std::to_string(pass) + " frame " + std::to_string(f) + " vertex " + std::to_string(v);
                    expectVec3(vertex.normal, c.expectedStored[f][v], where);
                    expectVec3(vertex.position, c.frames[f][v], where + " position untouched");
                }
            }
            computeVertexNormals(model.get());
        }
    }
}

TEST(VertexNormals, SingleTriangleIsDrawnFacingPlusZ)
{
    ModelPtr model(buildModel({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}, {{{2, 1, 0}, {0, 0, 0}}}, 0));
    ASSERT_NE(model, nullptr);
    flipWinding(model.get());
    expectVec3(faceNormal(model.get(), model->triangles[0], 0), {0, 0, 1}, "face normal of the flipped corners");
    computeVertexNormals(model.get());
    expectVec3(drawnNormal(model->frames[0].vertices[0].normal), {0, 0, 1}, "drawn normal");
}

TEST(VertexNormals, FaceNormalIsUnnormalisedAndNormalizeSparesZeroAndNan)
{
    ModelPtr model(buildModel({{{1, 1, 1}, {4, 1, 1}, {1, 3, 1}}}, {{{0, 1, 2}, {0, 0, 0}}}, 0));
    ASSERT_NE(model, nullptr);
    expectVec3(faceNormal(model.get(), model->triangles[0], 0), {0, 0, 6}, "twice the area of a 3 x 2 right triangle");

    Vec3 v = {3, 0, -4};
    normalize(v);
    expectVec3(v, {0.6f, 0, -0.8f}, "unit length");
    Vec3 zero = {0, 0, 0};
    normalize(zero);
    expectVec3(zero, {0, 0, 0}, "zero stays zero");
    Vec3 nan = {NAN, 1, 0};
    normalize(nan);
    EXPECT_TRUE(std::isnan(nan.x));
    EXPECT_EQ(nan.y, 1.0f) << "a NaN vector is left unchanged";
    EXPECT_EQ(nan.z, 0.0f);
}

TEST(PrepareModel, AbsentModelIsIgnored)
{
    flipWinding(nullptr);
    computeVertexNormals(nullptr);
    SUCCEED();
}

// Solid checks on a whole model after both passes. Positions are in the program's axes; the stored normals are
// turned back the way drawing turns them.
void expectClosedAndOutward(const char* path)
{
    SCOPED_TRACE(path);
    ASSERT_TRUE(std::filesystem::exists(path)) << "missing model file";
    ModelPtr model(loadMd2Model(path));
    ASSERT_NE(model, nullptr) << "the model did not load";
    ASSERT_GT(model->numFrames, 0);
    ASSERT_GT(model->numTriangles, 0);
    flipWinding(model.get());
    computeVertexNormals(model.get());

    for (int32_t f = 0; f < model->numFrames; ++f) {
        const ModelVertex* vertices = model->frames[f].vertices.get();
        double volume = 0.0;
        std::vector<bool> used(model->numVertices, false);
        for (int32_t t = 0; t < model->numTriangles; ++t) {
            const Md2Triangle& triangle = model->triangles[t];
            const Vec3& p0 = vertices[triangle.vertex[0]].position;
            const Vec3& p1 = vertices[triangle.vertex[1]].position;
            const Vec3& p2 = vertices[triangle.vertex[2]].position;
            const double cx = double(p1.y) * p2.z - double(p1.z) * p2.y;
            const double cy = double(p1.z) * p2.x - double(p1.x) * p2.z;
            const double cz = double(p1.x) * p2.y - double(p1.y) * p2.x;
            volume += (p0.x * cx + p0.y * cy + p0.z * cz) / 6.0;
            for (int k = 0; k < 3; ++k) {
                used[triangle.vertex[k]] = true;
            }
        }
        double centroid[3] = {0, 0, 0};
        int32_t usedCount = 0;
        for (int32_t v = 0; v < model->numVertices; ++v) {
            if (used[v]) {
                centroid[0] += vertices[v].position.x;
                centroid[1] += vertices[v].position.y;
                centroid[2] += vertices[v].position.z;
                ++usedCount;
            }
        }
        ASSERT_GT(usedCount, 0);
        for (double& c : centroid) {
            c /= usedCount;
        }
        double outward = 0.0;
        for (int32_t v = 0; v < model->numVertices; ++v) {
            if (used[v]) {
                const Vec3 n = drawnNormal(vertices[v].normal);
                outward += n.x * (vertices[v].position.x - centroid[0]) + n.y * (vertices[v].position.y - centroid[1]) +
                           n.z * (vertices[v].position.z - centroid[2]);
            }
        }
        EXPECT_GT(volume, 0.0) << "frame " << f << ": triangles must wind counter-clockwise seen from outside";
        EXPECT_GT(outward, 0.0) << "frame " << f << ": vertex normals must point outward";
    }
}

TEST(PrepareModel, RealModelsEncloseVolumeWithOutwardNormals)
{
    SKIP_WITHOUT_FIXTURES();
    expectClosedAndOutward(fixturePath("md2/dolphin.md2").c_str());
    expectClosedAndOutward(fixturePath("md2/horse.md2").c_str());
}

// The default model is written at build time; its generator and these passes must agree on the winding.
TEST(PrepareModel, DefaultModelEnclosesVolumeWithOutwardNormals)
{
    expectClosedAndOutward(BREVANT_BUILD_DIR "/tris.md2");
}

}  // namespace
