// MD2 loading: decoding of well-formed files built by the test writer, rejection of malformed ones,
// and the real third-party models in the shared fixtures.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/md2.h"
#include "support/loaderExercise.h"
#include "support/md2Builder.h"
#include "support/testFiles.h"
#include "support/testModel.h"

namespace {

ModelPtr parse(const std::vector<uint8_t>& bytes)
{
    return parseModel(bytes);
}

std::string md2Fixture(const char* name)
{
    return fixturePath(std::string("md2/") + name);
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
    Md2FaultKind kind;
    const char* text;
};

// The byte offset of one int16 index field of a triangle: corner k of the vertex or texcoord indices.
size_t triangleField(const std::vector<uint8_t>& bytes, int triangle, bool texCoord, int corner)
{
    return static_cast<size_t>(getS32le(bytes, md2Field::offsetTriangles)) + 12 * triangle + (texCoord ? 6 : 0) +
           2 * corner;
}

// Each case must be refused for its own reason: the kind, and the text with the numbers that failed.
TEST(Md2Parse, MalformedFilesGiveNoModelAndSayWhy)
{
    auto setField = [](size_t field, int32_t value) {
        return [field, value](std::vector<uint8_t>& bytes) { putS32le(bytes, field, value); };
    };
    auto addToField = [](size_t field, int32_t delta) {
        return [field, delta](std::vector<uint8_t>& bytes) { putS32le(bytes, field, getS32le(bytes, field) + delta); };
    };
    auto setIndex = [](int triangle, bool texCoord, int corner, int16_t value) {
        return [=](std::vector<uint8_t>& b) { putS16le(b, triangleField(b, triangle, texCoord, corner), value); };
    };
    using K = Md2FaultKind;
    const MalformedCase cases[] = {
        {"ident is not IDP2", [](std::vector<uint8_t>& b) { b[3] = '3'; }, K::notMd2, "not an MD2 file"},
        {"empty file", [](std::vector<uint8_t>& b) { b.clear(); }, K::notMd2, "not an MD2 file"},
        {"header cut short", [](std::vector<uint8_t>& b) { b.resize(67); }, K::headerCutShort,
         "cut short: 67 bytes, less than the 68-byte header"},
        {"file ends inside the last section", [](std::vector<uint8_t>& b) { b.pop_back(); }, K::sectionCutShort,
         "cut short: gl commands end past the end of the file"},
        {"negative numVertices", setField(md2Field::numVertices, -5), K::negativeVertexCount,
         "negative vertex count -5"},
        {"negative numGlCommands", setField(md2Field::numGlCommands, -3), K::negativeGlCommandCount,
         "negative gl command count -3"},
        {"skins run past the end", setField(md2Field::numSkins, 1000), K::sectionCutShort,
         "cut short: skins end past the end of the file"},
        {"texcoords run past the end", setField(md2Field::numTexCoords, 100000), K::sectionCutShort,
         "cut short: texture coordinates end past the end of the file"},
        {"triangles run past the end", setField(md2Field::numTriangles, 100000), K::sectionCutShort,
         "cut short: triangles end past the end of the file"},
        {"one frame more than the file holds", addToField(md2Field::numFrames, 1), K::sectionCutShort,
         "cut short: frames end past the end of the file"},
        {"gl commands run past the end", addToField(md2Field::numGlCommands, 1), K::sectionCutShort,
         "cut short: gl commands end past the end of the file"},
        {"skins offset negative", setField(md2Field::offsetSkins, -64), K::sectionBeforeStart,
         "skins start at offset -64, before the file"},
        {"triangles offset negative", setField(md2Field::offsetTriangles, -12), K::sectionBeforeStart,
         "triangles start at offset -12, before the file"},
        {"frames offset past the end", setField(md2Field::offsetFrames, 0x7fffff00), K::sectionCutShort,
         "cut short: frames end past the end of the file"},
        {"gl command offset plus length wraps in 32 bits", setField(md2Field::offsetGlCommands, 0x7ffffffc),
         K::sectionCutShort, "cut short: gl commands end past the end of the file"},
        {"numFrames x frameSize wraps to 0 in 32 bits",
         [](std::vector<uint8_t>& b) {
             putS32le(b, md2Field::numFrames, 0x10000);
             putS32le(b, md2Field::frameSize, 0x10000);
         },
         K::sectionCutShort, "cut short: frames end past the end of the file"},
        {"frameSize too small for its vertices", addToField(md2Field::frameSize, -1), K::frameTooSmall,
         "frame size 55 cannot hold 4 vertices, which need 56"},
        {"numVertices x 4 wraps to 0 in 32 bits", setField(md2Field::numVertices, 0x40000000), K::frameTooSmall,
         "frame size 56 cannot hold 1073741824 vertices, which need 4294967336"},
        {"triangle vertex index equals numVertices", setIndex(0, false, 1, 4), K::vertexIndexOutOfRange,
         "triangle 0 uses vertex 4 of 4"},
        {"triangle vertex index negative", setIndex(0, false, 2, -1), K::vertexIndexOutOfRange,
         "triangle 0 uses vertex -1 of 4"},
        {"second triangle's vertex far out", setIndex(1, false, 0, 4000), K::vertexIndexOutOfRange,
         "triangle 1 uses vertex 4000 of 4"},
        {"triangle texcoord index equals numTexCoords", setIndex(0, true, 0, 4), K::texCoordIndexOutOfRange,
         "triangle 0 uses texture coordinate 4 of 4"},
        {"triangle texcoord index negative", setIndex(1, true, 1, -32768), K::texCoordIndexOutOfRange,
         "triangle 1 uses texture coordinate -32768 of 4"},
    };

    const std::vector<uint8_t> sound = buildMd2(smallModel());
    Md2Fault fault;
    fault.kind = Md2FaultKind::notMd2;
    ASSERT_NE(parseModel(sound, &fault), nullptr);
    EXPECT_EQ(fault.kind, Md2FaultKind::none) << "a sound model clears the fault";
    EXPECT_STREQ(fault.text, "");
    for (const MalformedCase& c : cases) {
        std::vector<uint8_t> bytes = sound;
        c.corrupt(bytes);
        Md2Fault caseFault;
        EXPECT_EQ(parseModel(bytes, &caseFault), nullptr) << c.what;
        EXPECT_EQ(caseFault.kind, c.kind) << c.what << ": " << caseFault.text;
        EXPECT_STREQ(caseFault.text, c.text) << c.what;
        EXPECT_EQ(parse(bytes), nullptr) << c.what << ", without a fault record";
    }
}

// Skins, texture coordinates, triangles and frames with a count of zero or less are simply absent; the rest
// of the model loads as written, and the preparation passes and the frame walk take it as it is.
TEST(Md2Parse, NegativeSectionCountsLeaveThatArrayOutAndTheRestIntact)
{
    const size_t fields[] = {md2Field::numSkins, md2Field::numTexCoords, md2Field::numTriangles, md2Field::numFrames};
    for (size_t field : fields) {
        for (int32_t count : {-1, INT32_MIN}) {
            SCOPED_TRACE("field at " + std::to_string(field) + " set to " + std::to_string(count));
            std::vector<uint8_t> bytes = buildMd2(smallModel());
            putS32le(bytes, field, count);
            Md2Fault fault;
            ModelPtr model = parseModel(bytes, &fault);
            ASSERT_NE(model, nullptr) << fault.text;
            EXPECT_EQ(fault.kind, Md2FaultKind::none);

            EXPECT_EQ(model->skins != nullptr, field != md2Field::numSkins);
            EXPECT_EQ(model->texCoords != nullptr, field != md2Field::numTexCoords);
            EXPECT_EQ(model->triangles != nullptr, field != md2Field::numTriangles);
            EXPECT_EQ(model->frames != nullptr, field != md2Field::numFrames);
            ASSERT_TRUE(model->glCommands);
            EXPECT_EQ(model->glCommands[2], -2);
            if (model->skins) {
                EXPECT_STREQ(reinterpret_cast<const char*>(model->skins.get()), "models/test/skin.pcx");
            }
            if (model->texCoords) {
                EXPECT_EQ(model->texCoords[2].s, 32);
            }
            if (model->triangles) {
                EXPECT_EQ(model->triangles[1].vertex[2], 3);
            }
            if (model->frames) {
                EXPECT_STREQ(model->frames[1].name, "stand02");
                expectVec3(model->frames[1].vertices[1].position, 255 * 2.0f + 100.0f, 7.0f, 1.0f);
            }
            EXPECT_TRUE(exerciseMd2Bytes(bytes.data(), bytes.size())) << "flip, normals and the frame walk";
        }
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
        Md2Fault fault;
        ModelPtr model = parseModel(buildMd2(d), &fault);
        EXPECT_EQ(model != nullptr, loads) << triangles << " triangles in 65536 one-vertex frames";
        if (!loads) {
            EXPECT_EQ(fault.kind, Md2FaultKind::tooMuchPreparation);
            EXPECT_STREQ(fault.text, "65536 frames x (4096 triangles + 1 vertices) is too much to prepare");
        }
    }
}

// A header of garbage counts names the fault the file has: one whose frames would not fit is cut short, never
// "too much to prepare" over a negative count that only means an absent array.
TEST(Md2Parse, GarbageCountsAreReportedAsTheFileCutShort)
{
    Md2Description d;
    Md2BuildFrame frame;
    frame.vertices = {Md2BuildVertex{}};
    d.frames = {frame, frame};
    std::vector<uint8_t> bytes = buildMd2(d);
    putS32le(bytes, md2Field::numTriangles, -1074855936);
    putS32le(bytes, md2Field::numFrames, 1000);
    putS32le(bytes, md2Field::numVertices, 500000);
    putS32le(bytes, md2Field::frameSize, 40 + 4 * 500000);
    Md2Fault fault;
    EXPECT_EQ(parseModel(bytes, &fault), nullptr);
    EXPECT_EQ(fault.kind, Md2FaultKind::sectionCutShort);
    EXPECT_STREQ(fault.text, "cut short: frames end past the end of the file");
}

struct FixtureCounts {
    const char* file;
    int32_t frames, vertices, triangles, texCoords, glCommands, frameSize, skinWidth, skinHeight;
};

TEST(Md2Load, RealModelsLoadWithTheirCounts)
{
    SKIP_WITHOUT_FIXTURES();
    const FixtureCounts fixtures[] = {
        {"dolphin.md2", 59, 324, 500, 293, 2285, 1336, 256, 256},
        {"flag.md2", 10, 106, 204, 612, 2041, 464, 212, 243},
        {"horse.md2", 12, 346, 690, 2070, 6901, 1424, 468, 151},
    };
    for (const FixtureCounts& f : fixtures) {
        SCOPED_TRACE(f.file);
        ModelPtr model(loadMd2Model(md2Fixture(f.file).c_str()));
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
                ASSERT_TRUE(std::isfinite(v.position.x) && std::isfinite(v.position.y) && std::isfinite(v.position.z));
                const float length =
                    std::sqrt(v.normal.x * v.normal.x + v.normal.y * v.normal.y + v.normal.z * v.normal.z);
                ASSERT_NEAR(length, 1.0f, 1e-4f) << "frame " << i << " vertex " << j;
            }
        }
    }
}

TEST(Md2Load, TriangleIndexingMissingVerticesIsAbsent)
{
    SKIP_WITHOUT_FIXTURES();
    EXPECT_EQ(loadMd2Model(md2Fixture("zero_vertices.md2").c_str()), nullptr);
}

TEST(Md2Load, ReadsTheWholeFileLikeTheBytesItHolds)
{
    Md2Fault fault;
    EXPECT_EQ(loadMd2Model(md2Fixture("no_such_model.md2").c_str(), &fault), nullptr);
    EXPECT_EQ(fault.kind, Md2FaultKind::cannotOpen);
    EXPECT_STREQ(fault.text, "cannot open: No such file or directory");

    const std::vector<uint8_t> bytes = buildMd2(smallModel());
    const std::string path = testing::TempDir() + "md2LoadTests_small.md2";
    ASSERT_TRUE(writeBytesToFile(path, bytes));
    ModelPtr loaded(loadMd2Model(path.c_str(), &fault));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(fault.kind, Md2FaultKind::none);
    EXPECT_EQ(loaded->numFrames, 2);
    expectVec3(loaded->frames[1].vertices[1].position, 255 * 2.0f + 100.0f, 7.0f, 1.0f);
    EXPECT_EQ(loaded->glCommands[3], 0);

    // The same file one byte short is refused for what the bytes lack.
    ASSERT_TRUE(writeBytesToFile(path, std::vector<uint8_t>(bytes.begin(), bytes.end() - 1)));
    EXPECT_EQ(loadMd2Model(path.c_str(), &fault), nullptr);
    EXPECT_EQ(fault.kind, Md2FaultKind::sectionCutShort);
    std::remove(path.c_str());

    // A folder opens on some systems but never reads.
    EXPECT_EQ(loadMd2Model(testing::TempDir().c_str(), &fault), nullptr);
    EXPECT_TRUE(fault.kind == Md2FaultKind::readError || fault.kind == Md2FaultKind::cannotOpen) << fault.text;
}

// A sparse file of the given size whose first bytes are a sound model; the rest reads as zeros.
std::string writeSparseModel(const char* name, uint64_t size)
{
    const std::string path = testing::TempDir() + name;
    if (!writeBytesToFile(path, buildMd2(smallModel())) || truncate(path.c_str(), static_cast<off_t>(size)) != 0) {
        ADD_FAILURE() << "cannot make " << path;
    }
    return path;
}

long peakResidentKilobytes()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(Md2Load, HugeFileIsRefusedBeforeAnythingIsRead)
{
    const std::string path = writeSparseModel("md2LoadTests_huge.md2", uint64_t{3} << 30);
    const long peakBefore = peakResidentKilobytes();
    Md2Fault fault;
    EXPECT_EQ(loadMd2Model(path.c_str(), &fault), nullptr);
    const long grownKilobytes = peakResidentKilobytes() - peakBefore;
    std::remove(path.c_str());

    EXPECT_EQ(fault.kind, Md2FaultKind::tooLarge);
    EXPECT_STREQ(fault.text, "file is 3.0 GB, larger than any MD2 model");
    EXPECT_LT(grownKilobytes, 4 * 1024) << "the peak resident size grew by " << grownKilobytes << " KB";
}

TEST(Md2Load, FileOfExactlyTheCapIsReadAndOneByteMoreIsNot)
{
    const std::string path = writeSparseModel("md2LoadTests_cap.md2", md2MaxFileSize);
    Md2Fault fault;
    ModelPtr atCap(loadMd2Model(path.c_str(), &fault));
    EXPECT_NE(atCap, nullptr) << fault.text;

    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(md2MaxFileSize + 1)), 0);
    EXPECT_EQ(loadMd2Model(path.c_str(), &fault), nullptr);
    EXPECT_EQ(fault.kind, Md2FaultKind::tooLarge);
    EXPECT_STREQ(fault.text, "file is 32 MB, larger than any MD2 model");
    std::remove(path.c_str());
}

}  // namespace
