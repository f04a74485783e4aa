// MD2 loading: decoding of well-formed files built by the test writer, rejection of malformed ones,
// and the real third-party models in the shared fixtures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/md2.h"
#include "support/md2Builder.h"

namespace {

struct ModelRelease {
    void operator()(Md2Model* model) const { freeMd2Model(model); }
};
using ModelPtr = std::unique_ptr<Md2Model, ModelRelease>;

ModelPtr parse(const std::vector<uint8_t>& bytes)
{
    return ModelPtr(parseMd2Model(bytes.data(), bytes.size()));
}

std::string fixturePath(const char* name)
{
    return std::string(BREVANT_FIXTURES) + "/fixtures/md2/" + name;
}

// Two frames of four vertices, two triangles, four texture coordinates, one skin and a few GL words.
Md2Description smallModel()
{
    Md2Description d;
    d.skinWidth = 32;
    d.skinHeight = 16;
    d.skins = {"models/test/skin.pcx"};
    d.texCoords = {{0, 0}, {32, 0}, {32, 16}, {0, 16}};
    d.triangles = {{{0, 1, 2}, {0, 1, 2}}, {{0, 2, 3}, {0, 2, 3}}};
    Md2BuildFrame first;
    first.name = "stand01";
    first.scale[0] = 2.0f;
    first.scale[1] = 3.0f;
    first.scale[2] = 4.0f;
    first.translate[0] = 0.5f;
    first.translate[1] = -1.0f;
    first.translate[2] = 7.0f;
    first.vertices = {{1, 2, 3, 0}, {255, 0, 0, 1}, {0, 255, 0, 2}, {0, 0, 255, 161}};
    Md2BuildFrame second = first;
    second.name = "stand02";
    second.translate[0] = 100.0f;
    d.frames = {first, second};
    d.glCommands = {3, 7, -2, 0};
    return d;
}

void expectVec3(const Vec3& actual, float x, float y, float z)
{
    EXPECT_EQ(actual.x, x);
    EXPECT_EQ(actual.y, y);
    EXPECT_EQ(actual.z, z);
}

void expectTableNormal(const Vec3& actual, int index)
{
    expectVec3(actual, md2VertexNormals[index][0], md2VertexNormals[index][1], md2VertexNormals[index][2]);
}

TEST(Md2Parse, KeepsHeaderAndSectionsAndDecodesEveryFrame)
{
    const std::vector<uint8_t> bytes = buildMd2(smallModel());
    ModelPtr model = parse(bytes);
    ASSERT_NE(model, nullptr);

    EXPECT_EQ(model->ident, 0x32504449);
    EXPECT_EQ(model->version, 8);
    EXPECT_EQ(model->skinWidth, 32);
    EXPECT_EQ(model->skinHeight, 16);
    EXPECT_EQ(model->frameSize, 40 + 4 * 4);
    EXPECT_EQ(model->numSkins, 1);
    EXPECT_EQ(model->numVertices, 4);
    EXPECT_EQ(model->numTexCoords, 4);
    EXPECT_EQ(model->numTriangles, 2);
    EXPECT_EQ(model->numGlCommands, 4);
    EXPECT_EQ(model->numFrames, 2);
    EXPECT_EQ(model->offsetSkins, 68);
    EXPECT_EQ(model->offsetEnd, static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(model->offsetGlCommands, getS32le(bytes, md2Field::offsetGlCommands));

    ASSERT_TRUE(model->skins);
    EXPECT_STREQ(reinterpret_cast<const char*>(model->skins.get()), "models/test/skin.pcx");
    ASSERT_TRUE(model->texCoords);
    EXPECT_EQ(model->texCoords[2].s, 32);
    EXPECT_EQ(model->texCoords[2].t, 16);
    ASSERT_TRUE(model->triangles);
    EXPECT_EQ(model->triangles[1].vertex[2], 3);
    EXPECT_EQ(model->triangles[1].texCoord[1], 2);
    ASSERT_TRUE(model->glCommands);
    EXPECT_EQ(model->glCommands[0], 3);
    EXPECT_EQ(model->glCommands[2], -2);

    ASSERT_TRUE(model->frames);
    EXPECT_STREQ(model->frames[0].name, "stand01");
    EXPECT_STREQ(model->frames[1].name, "stand02");
    // x = b0 * sx + tx, y = b2 * sz + tz, z = -(b1 * sy + ty), in float.
    const ModelVertex* first = model->frames[0].vertices.get();
    expectVec3(first[0].position, 1 * 2.0f + 0.5f, 3 * 4.0f + 7.0f, -(2 * 3.0f - 1.0f));
    expectVec3(first[1].position, 255 * 2.0f + 0.5f, 7.0f, 1.0f);
    expectVec3(first[2].position, 0.5f, 7.0f, -(255 * 3.0f - 1.0f));
    expectVec3(first[3].position, 0.5f, 255 * 4.0f + 7.0f, 1.0f);
    expectTableNormal(first[1].normal, 1);
    expectTableNormal(first[2].normal, 2);
    const ModelVertex* second = model->frames[1].vertices.get();
    expectVec3(second[1].position, 255 * 2.0f + 100.0f, 7.0f, 1.0f);
}

TEST(Md2Parse, DecodesPositionsIntoProgramAxesAndCopiesTableNormals)
{
    Md2Description d;
    Md2BuildFrame frame;
    frame.translate[0] = 10.0f;
    frame.translate[1] = 20.0f;
    frame.translate[2] = 30.0f;
    frame.vertices = {{0, 0, 0, 0}, {0, 0, 0, 161}};
    d.frames = {frame};
    ModelPtr model = parse(buildMd2(d));
    ASSERT_NE(model, nullptr);

    const ModelVertex* vertices = model->frames[0].vertices.get();
    expectVec3(vertices[0].position, 10.0f, 30.0f, -20.0f);
    // Kept in the file's axes: converted only when drawn.
    expectVec3(vertices[0].normal, -0.525731f, 0.0f, 0.850651f);
    expectVec3(vertices[1].normal, -0.688191f, -0.587785f, -0.425325f);
}

TEST(Md2Parse, NormalIndexPastTheTableGivesZeroNormal)
{
    Md2Description d = smallModel();
    d.frames[0].vertices[0].normal = 162;
    d.frames[0].vertices[1].normal = 255;
    ModelPtr model = parse(buildMd2(d));
    ASSERT_NE(model, nullptr);
    const ModelVertex* vertices = model->frames[0].vertices.get();
    expectVec3(vertices[0].normal, 0.0f, 0.0f, 0.0f);
    expectVec3(vertices[1].normal, 0.0f, 0.0f, 0.0f);
    expectTableNormal(vertices[2].normal, 2);
}

TEST(Md2Parse, FrameNameStopsAtItsTerminatorOrAfterFifteenCharacters)
{
    Md2Description d = smallModel();
    d.frames[0].name = std::string("run1\0garbage!", 13);
    d.frames[1].name = "ABCDEFGHIJKLMNOPQRS";  // 16 bytes written, no terminator
    ModelPtr model = parse(buildMd2(d));
    ASSERT_NE(model, nullptr);

    const char* terminated = model->frames[0].name;
    EXPECT_STREQ(terminated, "run1");
    for (size_t i = 4; i < sizeof model->frames[0].name; ++i) {
        EXPECT_EQ(terminated[i], '\0') << "byte " << i;
    }
    EXPECT_EQ(std::string(model->frames[1].name, 16), std::string("ABCDEFGHIJKLMNO\0", 16));
}

TEST(Md2Parse, ZeroCountsGiveAbsentArraysButEveryFrameGetsVertices)
{
    ModelPtr empty = parse(buildMd2(Md2Description{}));
    ASSERT_NE(empty, nullptr);
    EXPECT_FALSE(empty->skins);
    EXPECT_FALSE(empty->texCoords);
    EXPECT_FALSE(empty->triangles);
    EXPECT_FALSE(empty->frames);
    EXPECT_FALSE(empty->glCommands);

    Md2Description d;
    d.frames.resize(3);  // frames with no vertices at all
    ModelPtr vertexless = parse(buildMd2(d));
    ASSERT_NE(vertexless, nullptr);
    EXPECT_EQ(vertexless->numVertices, 0);
    ASSERT_TRUE(vertexless->frames);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(vertexless->frames[i].vertices) << "frame " << i;
    }
}

TEST(Md2Parse, WithoutTexCoordsTheTriangleTexCoordIndicesAreNotChecked)
{
    Md2Description d = smallModel();
    d.texCoords.clear();
    d.triangles[0].texCoord[0] = 99;
    d.triangles[1].texCoord[2] = -5;
    ModelPtr model = parse(buildMd2(d));
    ASSERT_NE(model, nullptr);
    EXPECT_FALSE(model->texCoords);
    EXPECT_EQ(model->triangles[0].texCoord[0], 99);
}

TEST(Md2Parse, FrameRecordsOfAnySizeAreDecodedWhole)
{
    // 2,100 vertices make an 8,440-byte record, beyond room for 2,070 packed vertices.
    Md2Description big;
    Md2BuildFrame frame;
    frame.vertices.resize(2100);
    frame.vertices.back() = {9, 8, 7, 5};
    big.frames = {frame, frame};
    big.frames[1].vertices.back().x = 200;
    ModelPtr bigModel = parse(buildMd2(big));
    ASSERT_NE(bigModel, nullptr);
    EXPECT_EQ(bigModel->frameSize, 40 + 4 * 2100);
    expectVec3(bigModel->frames[0].vertices[2099].position, 9.0f, 7.0f, -8.0f);
    expectTableNormal(bigModel->frames[0].vertices[2099].normal, 5);
    expectVec3(bigModel->frames[1].vertices[2099].position, 200.0f, 7.0f, -8.0f);

    // Records padded past their vertices: each frame starts frameSize bytes after the last.
    Md2Description padded = smallModel();
    padded.framePadding = 9000;
    ModelPtr paddedModel = parse(buildMd2(padded));
    ASSERT_NE(paddedModel, nullptr);
    EXPECT_STREQ(paddedModel->frames[1].name, "stand02");
    expectVec3(paddedModel->frames[1].vertices[1].position, 255 * 2.0f + 100.0f, 7.0f, 1.0f);
}

struct MalformedCase {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> corrupt;
};

// The byte offset of one int16 index field of triangle 0: corner k of the vertex or texcoord indices.
size_t triangleField(const std::vector<uint8_t>& bytes, bool texCoord, int corner)
{
    return static_cast<size_t>(getS32le(bytes, md2Field::offsetTriangles)) + (texCoord ? 6 : 0) + 2 * corner;
}

TEST(Md2Parse, MalformedFilesGiveNoModel)
{
    auto setField = [](size_t field, int32_t value) {
        return [field, value](std::vector<uint8_t>& bytes) { putS32le(bytes, field, value); };
    };
    auto addToField = [](size_t field, int32_t delta) {
        return [field, delta](std::vector<uint8_t>& bytes) {
            putS32le(bytes, field, getS32le(bytes, field) + delta);
        };
    };
    const MalformedCase cases[] = {
        {"ident is not IDP2", [](std::vector<uint8_t>& b) { b[3] = '3'; }},
        {"empty file", [](std::vector<uint8_t>& b) { b.clear(); }},
        {"header cut short", [](std::vector<uint8_t>& b) { b.resize(67); }},
        {"file ends inside the last section", [](std::vector<uint8_t>& b) { b.pop_back(); }},
        {"negative numSkins", setField(md2Field::numSkins, -1)},
        {"negative numVertices", setField(md2Field::numVertices, -1)},
        {"negative numTexCoords", setField(md2Field::numTexCoords, -1)},
        {"negative numTriangles", setField(md2Field::numTriangles, -1)},
        {"negative numFrames", setField(md2Field::numFrames, -1)},
        {"negative numGlCommands", setField(md2Field::numGlCommands, -1)},
        {"skins run past the end", setField(md2Field::numSkins, 1000)},
        {"texcoords run past the end", setField(md2Field::numTexCoords, 100000)},
        {"triangles run past the end", setField(md2Field::numTriangles, 100000)},
        {"one frame more than the file holds", addToField(md2Field::numFrames, 1)},
        {"gl commands run past the end", addToField(md2Field::numGlCommands, 1)},
        {"skins offset negative", setField(md2Field::offsetSkins, -64)},
        {"triangles offset negative", setField(md2Field::offsetTriangles, -12)},
        {"frames offset past the end", setField(md2Field::offsetFrames, 0x7fffff00)},
        {"gl command offset plus length wraps in 32 bits", setField(md2Field::offsetGlCommands, 0x7ffffffc)},
        {"numFrames x frameSize wraps to 0 in 32 bits",
         [](std::vector<uint8_t>& b) {
             putS32le(b, md2Field::numFrames, 0x10000);
             putS32le(b, md2Field::frameSize, 0x10000);
         }},
        {"frameSize too small for its vertices", addToField(md2Field::frameSize, -1)},
        {"numVertices x 4 wraps to 0 in 32 bits", setField(md2Field::numVertices, 0x40000000)},
        {"triangle vertex index equals numVertices",
         [](std::vector<uint8_t>& b) { putS16le(b, triangleField(b, false, 1), 4); }},
        {"triangle vertex index negative",
         [](std::vector<uint8_t>& b) { putS16le(b, triangleField(b, false, 2), -1); }},
        {"triangle texcoord index equals numTexCoords",
         [](std::vector<uint8_t>& b) { putS16le(b, triangleField(b, true, 0), 4); }},
        {"triangle texcoord index negative",
         [](std::vector<uint8_t>& b) { putS16le(b, triangleField(b, true, 1), -32768); }},
    };

    const std::vector<uint8_t> sound = buildMd2(smallModel());
    ASSERT_NE(parse(sound), nullptr);
    for (const MalformedCase& c : cases) {
        std::vector<uint8_t> bytes = sound;
        c.corrupt(bytes);
        EXPECT_EQ(parse(bytes), nullptr) << c.what;
    }
}

// Every frame's normals are recomputed from every triangle at start-up; a file whose frames times
// triangles would keep that busy for minutes is refused, one step past the bound and not at it.
TEST(Md2Parse, RefusesModelsWhosePreparationWouldRunForMinutes)
{
    for (const auto& [triangles, loads] : {std::pair{4095, true}, std::pair{4096, false}}) {
        Md2Description d;
        d.triangles.assign(static_cast<size_t>(triangles), Md2BuildTriangle{});
        Md2BuildFrame frame;
        frame.vertices = {Md2BuildVertex{}};
        d.frames.assign(65536, frame);
        const std::vector<uint8_t> bytes = buildMd2(d);
        Md2Model* model = parseMd2Model(bytes.data(), bytes.size());
        EXPECT_EQ(model != nullptr, loads) << triangles << " triangles in 65536 one-vertex frames";
        freeMd2Model(model);
    }
}

struct FixtureCounts {
    const char* file;
    int32_t frames, vertices, triangles, texCoords, glCommands, frameSize, skinWidth, skinHeight;
};

TEST(Md2Load, RealModelsLoadWithTheirCounts)
{
    const FixtureCounts fixtures[] = {
        {"dolphin.md2", 59, 324, 500, 293, 2285, 1336, 256, 256},
        {"flag.md2", 10, 106, 204, 612, 2041, 464, 212, 243},
        {"horse.md2", 12, 346, 690, 2070, 6901, 1424, 468, 151},
    };
    for (const FixtureCounts& f : fixtures) {
        SCOPED_TRACE(f.file);
        ModelPtr model(loadMd2Model(fixturePath(f.file).c_str()));
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(model->numFrames, f.frames);
        EXPECT_EQ(model->numVertices, f.vertices);
        EXPECT_EQ(model->numTriangles, f.triangles);
        EXPECT_EQ(model->numTexCoords, f.texCoords);
        EXPECT_EQ(model->numGlCommands, f.glCommands);
        EXPECT_EQ(model->frameSize, f.frameSize);
        EXPECT_EQ(model->skinWidth, f.skinWidth);
        EXPECT_EQ(model->skinHeight, f.skinHeight);
        EXPECT_TRUE(model->texCoords && model->triangles && model->frames && model->glCommands);
        for (int32_t i = 0; i < model->numFrames; ++i) {
            EXPECT_GT(std::strlen(model->frames[i].name), 0u) << "frame " << i;
            for (int32_t j = 0; j < model->numVertices; ++j) {
                const ModelVertex& v = model->frames[i].vertices[j];
                ASSERT_TRUE(std::isfinite(v.position.x) && std::isfinite(v.position.y) &&
                            std::isfinite(v.position.z));
                const float length = std::sqrt(v.normal.x * v.normal.x + v.normal.y * v.normal.y +
                                               v.normal.z * v.normal.z);
                ASSERT_NEAR(length, 1.0f, 1e-4f) << "frame " << i << " vertex " << j;
            }
        }
    }
}

TEST(Md2Load, TriangleIndexingMissingVerticesIsAbsent)
{
    EXPECT_EQ(loadMd2Model(fixturePath("zero_vertices.md2").c_str()), nullptr);
}

TEST(Md2Load, ReadsTheWholeFileLikeTheBytesItHolds)
{
    EXPECT_EQ(loadMd2Model(fixturePath("no_such_model.md2").c_str()), nullptr);

    const std::vector<uint8_t> bytes = buildMd2(smallModel());
    const std::string path = testing::TempDir() + "md2LoadTests_small.md2";
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);

    ModelPtr loaded(loadMd2Model(path.c_str()));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->numFrames, 2);
    expectVec3(loaded->frames[1].vertices[1].position, 255 * 2.0f + 100.0f, 7.0f, 1.0f);
    EXPECT_EQ(loaded->glCommands[3], 0);

    // The same file one byte short is refused.
    file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size() - 1, file);
    std::fclose(file);
    EXPECT_EQ(loadMd2Model(path.c_str()), nullptr);
    std::remove(path.c_str());
}

}  // namespace
