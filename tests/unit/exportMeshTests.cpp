// The export mesh: vertices split only where texture coordinates differ, glTF's axes, counter-clockwise fronts,
// and morph deltas that add back to the very decoded float.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <tuple>

#include "model/exportMesh.h"
#include "model/md2Prepare.h"
#include "model/skinImage.h"
#include "support/md2Builder.h"
#include "support/testModel.h"

namespace {

Md2BuildFrame frameOf(std::vector<Md2BuildVertex> vertices, const char* name = "frame1")
{
    Md2BuildFrame frame;
    frame.name = name;
    frame.vertices = std::move(vertices);
    return frame;
}

// Two triangles over four vertices: vertex 2 has a different texture coordinate in each, vertex 1 two entries
// holding the same values; vertex 4 is used by no triangle.
Md2Description seamModel()
{
    Md2Description d;
    d.skinWidth = 64;
    d.skinHeight = 32;
    d.texCoords = {{0, 0}, {16, 8}, {16, 8}, {32, 16}, {48, 24}, {60, 30}};
    d.triangles = {{{0, 1, 2}, {0, 1, 3}}, {{1, 3, 2}, {2, 5, 4}}};
    d.frames = {frameOf({{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {0, 0, 10}, {5, 5, 5}})};
    return d;
}

TEST(ExportMesh, SplitsAVertexOnlyWhereItsTextureCoordinatesDiffer)
{
    const ModelPtr model = parseModel(buildMd2(seamModel()));
    ASSERT_NE(model, nullptr);
    const ExportMesh mesh = buildExportMesh(*model, 64.0f, 32.0f);
    ASSERT_EQ(mesh.indices.size(), 6u);
    // 0, 1 (one vertex for two equal entries), 2 at (32,16), 3, 2 again at (48,24); 4 is unused.
    EXPECT_EQ(mesh.sourceVertex, (std::vector<int32_t>{0, 1, 2, 3, 2}));
    EXPECT_EQ(mesh.indices, (std::vector<uint32_t>{0, 1, 2, 1, 3, 4}));
    const std::vector<float> expected = {0.0f,          0.0f,          16.0f / 64.0f, 8.0f / 32.0f,  32.0f / 64.0f,
                                         16.0f / 32.0f, 60.0f / 64.0f, 30.0f / 32.0f, 48.0f / 64.0f, 24.0f / 32.0f};
    EXPECT_EQ(mesh.texCoords, expected);
}

TEST(ExportMesh, WithoutTextureCoordinatesOrASizeEachVertexIsOne)
{
    Md2Description noCoords = seamModel();
    noCoords.texCoords.clear();
    const ModelPtr bare = parseModel(buildMd2(noCoords));
    ASSERT_NE(bare, nullptr);
    const ModelPtr seam = parseModel(buildMd2(seamModel()));
    for (const auto& [model, width] : {std::pair{bare.get(), 64.0f}, std::pair{seam.get(), 0.0f}}) {
        const ExportMesh mesh = buildExportMesh(*model, width, 32.0f);
        EXPECT_EQ(mesh.sourceVertex, (std::vector<int32_t>{0, 1, 2, 3}));
        EXPECT_TRUE(mesh.texCoords.empty());
    }
}

TEST(ExportMesh, SkinDivisorIsTheHeaderSizeElseThePictures)
{
    EXPECT_EQ(skinDivisor(64, 128), 64.0f);
    EXPECT_EQ(skinDivisor(0, 128), 128.0f);
    EXPECT_EQ(skinDivisor(-5, 32), 32.0f);
    EXPECT_EQ(skinDivisor(0, 0), 0.0f);
}

TEST(ExportMesh, FrontIsPlusZAndUpIsPlusY)
{
    Md2Description d = seamModel();
    // The file's axes: +X is where the model faces, +Z up, +Y its left.
    d.frames = {frameOf({{200, 0, 0}, {0, 0, 100}, {0, 50, 0}, {0, 0, 0}, {0, 0, 0}})};
    d.frames[0].translate[0] = 0.5f;
    d.frames[0].translate[1] = 0.25f;
    d.frames[0].translate[2] = 0.125f;
    const ModelPtr model = parseModel(buildMd2(d));
    ASSERT_NE(model, nullptr);
    const ModelVertex* v = model->frames[0].vertices.get();
    const Vec3 front = gltfPosition(v[0].position);
    const Vec3 up = gltfPosition(v[1].position);
    const Vec3 left = gltfPosition(v[2].position);
    EXPECT_EQ(std::make_tuple(front.x, front.y, front.z), std::make_tuple(0.25f, 0.125f, 200.5f));
    EXPECT_EQ(std::make_tuple(up.x, up.y, up.z), std::make_tuple(0.25f, 100.125f, 0.5f));
    EXPECT_EQ(std::make_tuple(left.x, left.y, left.z), std::make_tuple(50.25f, 0.125f, 0.5f));
    // Normals are held in the file's axes and turn the same way; a zero one becomes up.
    const Vec3 n = gltfNormal({1.0f, 0.0f, 0.0f});
    EXPECT_EQ(std::make_tuple(n.x, n.y, n.z), std::make_tuple(0.0f, 0.0f, 1.0f));
    const Vec3 none = gltfNormal({0.0f, 0.0f, 0.0f});
    EXPECT_EQ(std::make_tuple(none.x, none.y, none.z), std::make_tuple(0.0f, 1.0f, 0.0f));
}

Vec3 minus(const Vec3& a, const Vec3& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

float dot(const Vec3& a, const Vec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

TEST(ExportMesh, TrianglesAreCounterClockwiseSeenFromOutsideAndNormalsPointOut)
{
    // A tetrahedron wound as MD2 files are, clockwise seen from outside, prepared as the viewer prepares it.
    Md2Description d;
    d.texCoords = {{0, 0}};
    d.frames = {frameOf({{0, 0, 0}, {100, 0, 0}, {0, 100, 0}, {0, 0, 100}})};
    d.triangles = {{{0, 1, 2}, {}}, {{0, 3, 1}, {}}, {{0, 2, 3}, {}}, {{1, 3, 2}, {}}};
    const ModelPtr model = parseModel(buildMd2(d));
    ASSERT_NE(model, nullptr);
    flipWinding(model.get());
    computeVertexNormals(model.get());
    const ExportMesh mesh = buildExportMesh(*model, 64.0f, 64.0f);
    const ModelVertex* v = model->frames[0].vertices.get();
    const Vec3 centre = gltfPosition({25.0f, 25.0f, -25.0f});
    ASSERT_EQ(mesh.indices.size(), 12u);
    for (size_t t = 0; t < 12; t += 3) {
        const Vec3 a = gltfPosition(v[mesh.sourceVertex[mesh.indices[t]]].position);
        const Vec3 b = gltfPosition(v[mesh.sourceVertex[mesh.indices[t + 1]]].position);
        const Vec3 c = gltfPosition(v[mesh.sourceVertex[mesh.indices[t + 2]]].position);
        const Vec3 e1 = minus(b, a);
        const Vec3 e2 = minus(c, a);
        const Vec3 face = {e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
        EXPECT_GT(dot(face, minus(a, centre)), 0.0f) << "triangle " << t / 3;
    }
    for (const int32_t source : mesh.sourceVertex) {
        const Vec3 p = gltfPosition(v[source].position);
        EXPECT_GT(dot(gltfNormal(v[source].normal), minus(p, centre)), 0.0f) << "vertex " << source;
    }
}

// How far base + delta, added in float as a player adds it, lands from target.
double landingError(float base, float delta, float target)
{
    return std::fabs(double(base + delta) - double(target));
}

TEST(ExportMesh, MorphDeltasAddBackToTheTargetAsNearlyAsFloatsAllow)
{
    // Decoded MD2 coordinates: a byte times a scale plus a translation, over the sizes real models use.
    std::mt19937 random(22);
    std::uniform_real_distribution<float> scale(0.001f, 2.0f);
    std::uniform_real_distribution<float> translate(-300.0f, 300.0f);
    std::uniform_int_distribution<int> byte(0, 255);
    int inexactNearby = 0;
    int beaten = 0;
    for (int i = 0; i < 100000; ++i) {
        const float base = float(byte(random)) * scale(random) + translate(random);
        const float target = float(byte(random)) * scale(random) + translate(random);
        const float delta = morphDelta(base, target);
        const double error = landingError(base, delta, target);
        // Of one sign and within a factor of two of each other the difference is exact, so the sum must be too.
        const bool sameSign = (base > 0.0f) == (target > 0.0f);
        if (sameSign && std::fabs(target) >= std::fabs(base) / 2 && std::fabs(target) <= std::fabs(base) * 2 &&
            error != 0.0) {
            ++inexactNearby;
        }
        // No float within eight units in the last place of target - base does better.
        float low = target - base;
        float high = low;
        for (int step = 0; step < 8; ++step) {
            low = std::nextafter(low, -INFINITY);
            high = std::nextafter(high, INFINITY);
            beaten += landingError(base, low, target) < error || landingError(base, high, target) < error;
        }
    }
    EXPECT_EQ(inexactNearby, 0);
    EXPECT_EQ(beaten, 0);
}

TEST(ExportMesh, RefusesModelsWithoutKeyframesOrTriangles)
{
    Md2Description noTriangles = seamModel();
    noTriangles.triangles.clear();
    Md2Description noFrames = seamModel();
    noFrames.frames.clear();
    noFrames.triangles.clear();
    const ModelPtr bare = parseModel(buildMd2(noTriangles));
    const ModelPtr empty = parseModel(buildMd2(noFrames));
    ASSERT_NE(bare, nullptr);
    ASSERT_NE(empty, nullptr);
    ExportFault fault;
    EXPECT_FALSE(exportable(*bare, &fault));
    EXPECT_EQ(fault.kind, ExportFaultKind::noTriangles);
    EXPECT_FALSE(exportable(*empty, &fault));
    EXPECT_EQ(fault.kind, ExportFaultKind::noKeyframes);
    const ModelPtr sound = parseModel(buildMd2(seamModel()));
    EXPECT_TRUE(exportable(*sound, &fault));
}

// The skin's PNG decodes to the very pixels, alpha included, for odd sizes and a single pixel too.
TEST(ExportMesh, SkinPngHoldsThePixelsExactly)
{
    for (const auto& [width, height] : {std::pair{1, 1}, std::pair{3, 5}, std::pair{17, 2}}) {
        std::vector<uint8_t> pixels(size_t(width * height * 4));
        std::mt19937 random(uint32_t(width * 31 + height));
        for (uint8_t& value : pixels) {
            value = uint8_t(random());
        }
        std::vector<uint8_t> png;
        ASSERT_TRUE(encodePng(pixels.data(), width, height, png));
        SkinImage image;
        std::string reason;
        ASSERT_EQ(decodeSkinImage(png.data(), png.size(), image, &reason), SkinFault::none) << reason;
        ASSERT_EQ(image.width, width);
        ASSERT_EQ(image.height, height);
        EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), image.pixels.get())) << width << " x " << height;
    }
    std::vector<uint8_t> png;
    EXPECT_FALSE(encodePng(nullptr, 0, 0, png));
}

}  // namespace
