// The default model written at build time (tris.md2), and the MD2 writer that makes it, read back through
// the viewer's own loader.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "model/md2.h"
#include "support/testModel.h"
#include "tools/md2Writer.h"

namespace {

const char* const defaultModelPath = BREVANT_BUILD_DIR "/tris.md2";

// A triangle corner as drawn: the vertex and the texel its texture coordinate points at.
using Corner = std::tuple<int32_t, int32_t, int32_t>;
using TriangleKey = std::array<Corner, 3>;

// The same triangle whichever corner it starts from, but not with its winding reversed.
TriangleKey canonical(TriangleKey key)
{
    std::rotate(key.begin(), std::min_element(key.begin(), key.end()), key.end());
    return key;
}

// Walks the GL command words as a reader of MD2 files would and returns the triangles they draw, each corner
// with the texel its (s, t) floats point at. Records a failure for anything a reader could trip on.
std::vector<TriangleKey> walkGlCommands(const Md2Model& model)
{
    std::vector<TriangleKey> drawn;
    const int32_t* words = model.glCommands.get();
    const int32_t count = model.numGlCommands;
    int32_t i = 0;
    for (;;) {
        if (i >= count) {
            ADD_FAILURE() << "GL commands end without their 0 terminator";
            return drawn;
        }
        const int32_t run = words[i++];
        if (run == 0) break;
        const int32_t corners = std::abs(run);
        if (corners < 3 || count - i < 3 * corners) {
            ADD_FAILURE() << "GL command run of " << run << " at word " << i - 1 << " does not fit";
            return drawn;
        }
        std::vector<Corner> runCorners;
        for (int32_t k = 0; k < corners; ++k, i += 3) {
            const float s = std::bit_cast<float>(words[i]) * static_cast<float>(model.skinWidth) - 0.5f;
            const float t = std::bit_cast<float>(words[i + 1]) * static_cast<float>(model.skinHeight) - 0.5f;
            const int32_t vertex = words[i + 2];
            EXPECT_TRUE(vertex >= 0 && vertex < model.numVertices) << "vertex " << vertex << " at word " << i + 2;
            EXPECT_NEAR(s, std::round(s), 1e-3) << "s is not a texel centre at word " << i;
            EXPECT_NEAR(t, std::round(t), 1e-3) << "t is not a texel centre at word " << i + 1;
            runCorners.emplace_back(vertex, static_cast<int32_t>(std::lround(s)), static_cast<int32_t>(std::lround(t)));
        }
        for (int32_t k = 0; k + 2 < corners; ++k) {
            if (run < 0) {
                drawn.push_back({runCorners[0], runCorners[k + 1], runCorners[k + 2]});
            } else if (k % 2 == 0) {
                drawn.push_back({runCorners[k], runCorners[k + 1], runCorners[k + 2]});
            } else {
                drawn.push_back({runCorners[k + 1], runCorners[k], runCorners[k + 2]});
            }
        }
    }
    EXPECT_EQ(i, count) << "words follow the terminator";
    return drawn;
}

// Every triangle of the list is drawn exactly once by the GL commands, with the same winding and texels.
void expectGlCommandsDrawTheTriangles(const Md2Model& model)
{
    std::map<TriangleKey, int> listed;
    for (int32_t i = 0; i < model.numTriangles; ++i) {
        const Md2Triangle& triangle = model.triangles[i];
        TriangleKey key;
        for (int k = 0; k < 3; ++k) {
            const Md2TexCoord& texCoord = model.texCoords[triangle.texCoord[k]];
            key[k] = {triangle.vertex[k], texCoord.s, texCoord.t};
        }
        ++listed[canonical(key)];
    }
    int unlisted = 0;
    for (const TriangleKey& key : walkGlCommands(model)) {
        auto found = listed.find(canonical(key));
        if (found == listed.end()) {
            ++unlisted;
        } else {
            --found->second;
        }
    }
    EXPECT_EQ(unlisted, 0) << "GL command triangles that the triangle list does not hold with that winding";
    const auto leftOver =
        std::count_if(listed.begin(), listed.end(), [](const auto& entry) { return entry.second != 0; });
    EXPECT_EQ(leftOver, 0) << "triangles drawn other than once by the GL commands";
}

ModelPtr loadDefaultModel()
{
    return ModelPtr(loadMd2Model(defaultModelPath));
}

TEST(DefaultModel, IsAStandingLoopWithOneSkinTexCoordsAndSectionsInFileOrder)
{
    ModelPtr model = loadDefaultModel();
    ASSERT_NE(model, nullptr) << defaultModelPath;

    EXPECT_EQ(model->version, 8);
    ASSERT_GE(model->numFrames, 40);
    for (int32_t f = 0; f < model->numFrames; ++f) {
        char expected[16];
        std::snprintf(expected, sizeof expected, "stand%02d", f + 1);
        EXPECT_STREQ(model->frames[f].name, expected);
    }
    EXPECT_GT(model->numVertices, 0);
    EXPECT_LT(model->numVertices, 2048);
    EXPECT_GT(model->numTriangles, 0);
    EXPECT_LT(model->numTriangles, 4096);
    EXPECT_EQ(model->frameSize, 40 + 4 * model->numVertices);

    ASSERT_EQ(model->numSkins, 1);
    const char* skin = reinterpret_cast<const char*>(model->skins.get());
    EXPECT_GT(strnlen(skin, 64), 0u);
    EXPECT_LT(strnlen(skin, 64), 64u) << "skin name without its terminator";

    ASSERT_GT(model->numTexCoords, 0);
    EXPECT_GT(model->skinWidth, 0);
    EXPECT_GT(model->skinHeight, 0);
    for (int32_t i = 0; i < model->numTexCoords; ++i) {
        const Md2TexCoord& texCoord = model->texCoords[i];
        EXPECT_TRUE(texCoord.s >= 0 && texCoord.s < model->skinWidth && texCoord.t >= 0 &&
                    texCoord.t < model->skinHeight)
            << "texture coordinate " << i << " is off the skin";
    }

    EXPECT_EQ(model->offsetSkins, 68);
    EXPECT_EQ(model->offsetTexCoords, model->offsetSkins + 64 * model->numSkins);
    EXPECT_EQ(model->offsetTriangles, model->offsetTexCoords + 4 * model->numTexCoords);
    EXPECT_EQ(model->offsetFrames, model->offsetTriangles + 12 * model->numTriangles);
    EXPECT_EQ(model->offsetGlCommands, model->offsetFrames + model->frameSize * model->numFrames);
    EXPECT_EQ(model->offsetEnd, model->offsetGlCommands + 4 * model->numGlCommands);
    EXPECT_EQ(static_cast<uintmax_t>(model->offsetEnd), std::filesystem::file_size(defaultModelPath));
}

TEST(DefaultModel, GlCommandsDrawEveryTriangleOnceWithItsWindingAndTexels)
{
    ModelPtr model = loadDefaultModel();
    ASSERT_NE(model, nullptr) << defaultModelPath;
    ASSERT_GT(model->numGlCommands, 1);
    expectGlCommandsDrawTheTriangles(*model);
}

TEST(DefaultModel, StandsAboutFiftyUnitsTallAroundItsOriginFacingTheViewerAndMovesGently)
{
    ModelPtr model = loadDefaultModel();
    ASSERT_NE(model, nullptr) << defaultModelPath;
    ASSERT_GE(model->numFrames, 40);
    ASSERT_GT(model->numVertices, 0);

    Vec3 low = model->frames[0].vertices[0].position;
    Vec3 high = low;
    for (int32_t f = 0; f < model->numFrames; ++f) {
        for (int32_t v = 0; v < model->numVertices; ++v) {
            const Vec3& p = model->frames[f].vertices[v].position;
            low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
            high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
        }
    }
    // Program axes: Y up, the viewer on +Z.
    EXPECT_NEAR(high.y - low.y, 50.0f, 3.0f) << "height";
    EXPECT_NEAR((high.y + low.y) / 2, 0.0f, 1.0f) << "the origin is not halfway up";
    EXPECT_NEAR((high.x + low.x) / 2, 0.0f, 2.0f) << "the origin is off to the side";
    EXPECT_NEAR((high.z + low.z) / 2, 0.0f, 2.0f) << "the origin is off to the front or back";
    EXPECT_LT(high.x - low.x, high.y - low.y) << "wider than tall";

    // The feet point their toes at the viewer: near the ground the figure reaches further towards +Z.
    float toes = -INFINITY;
    float heels = INFINITY;
    for (int32_t v = 0; v < model->numVertices; ++v) {
        const Vec3& p = model->frames[0].vertices[v].position;
        if (p.y < low.y + 3.0f) {
            toes = std::max(toes, p.z);
            heels = std::min(heels, p.z);
        }
    }
    EXPECT_GT(toes, -heels + 1.0f) << "the feet do not point towards +Z";

    auto largestMove = [&](int32_t from, int32_t to) {
        float largest = 0;
        for (int32_t v = 0; v < model->numVertices; ++v) {
            const Vec3& a = model->frames[from].vertices[v].position;
            const Vec3& b = model->frames[to].vertices[v].position;
            largest = std::max(largest, std::hypot(a.x - b.x, a.y - b.y, a.z - b.z));
        }
        return largest;
    };
    EXPECT_GT(largestMove(0, 20), 1.0f) << "frame 20 looks like frame 0";
    for (int32_t f = 0; f < model->numFrames; ++f) {
        const int32_t next = (f + 1) % model->numFrames;
        EXPECT_LT(largestMove(f, next), 1.5f) << "the loop jumps between frames " << f << " and " << next;
    }
}

// A closed tetrahedron in the MD2 winding: two frames apart and one flat along Z, one skin, all corners textured.
Md2Source tetrahedron()
{
    Md2Source source;
    source.skinWidth = 64;
    source.skinHeight = 32;
    source.skins = {std::string(63, 's')};
    source.texCoords = {{0, 0}, {63, 0}, {0, 31}, {40, 20}};
    // Counter-clockwise from outside would be (0 2 1), (0 1 3), (0 3 2), (1 2 3); stored clockwise.
    source.triangles = {{{1, 2, 0}, {1, 2, 0}}, {{3, 1, 0}, {3, 1, 0}}, {{2, 3, 0}, {2, 3, 0}}, {{3, 2, 1}, {3, 2, 1}}};
    const Vec3 corners[4] = {{0, 0, 0}, {10, 0, 0}, {0, 20, 0}, {0, 0, 30}};
    for (int f = 0; f < 3; ++f) {
        Md2SourceFrame frame;
        frame.name = f == 0 ? "fifteen_chars_0" : "pose" + std::to_string(f);
        for (int v = 0; v < 4; ++v) {
            Vec3 p = corners[v];
            if (f == 1) p = {p.x * 0.5f - 3.25f, p.y * 1.5f + 100.0f, p.z - 7.0f};
            if (f == 2) p.z = 5.0f;
            // Table directions at three times their length: the writer must still find them.
            const float* n = md2VertexNormals[(v * 41 + f * 7) % md2NormalCount];
            frame.vertices.push_back({p, {3 * n[0], 3 * n[1], 3 * n[2]}});
        }
        source.frames.push_back(frame);
    }
    source.glCommands = buildGlCommands(source);
    return source;
}

TEST(Md2Writer, ReadsBackThroughTheLoaderWithinQuantisation)
{
    const Md2Source source = tetrahedron();
    const std::vector<uint8_t> bytes = writeMd2Bytes(source);
    ASSERT_FALSE(bytes.empty());
    ModelPtr model(parseMd2Model(bytes.data(), bytes.size()));
    ASSERT_NE(model, nullptr);

    EXPECT_EQ(model->skinWidth, 64);
    EXPECT_EQ(model->skinHeight, 32);
    EXPECT_EQ(model->numSkins, 1);
    EXPECT_EQ(model->numVertices, 4);
    EXPECT_EQ(model->numTexCoords, 4);
    EXPECT_EQ(model->numTriangles, 4);
    EXPECT_EQ(model->numFrames, 3);
    EXPECT_EQ(model->frameSize, 40 + 4 * 4);
    EXPECT_EQ(model->numGlCommands, static_cast<int32_t>(source.glCommands.size()));
    EXPECT_EQ(model->offsetGlCommands, model->offsetFrames + 3 * model->frameSize);
    EXPECT_EQ(static_cast<size_t>(model->offsetEnd), bytes.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(model->skins.get()), 64), std::string(63, 's') + '\0');

    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(model->texCoords[i].s, source.texCoords[i].s);
        EXPECT_EQ(model->texCoords[i].t, source.texCoords[i].t);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(model->triangles[i].vertex[k], source.triangles[i].vertex[k]);
            EXPECT_EQ(model->triangles[i].texCoord[k], source.triangles[i].texCoord[k]);
        }
    }
    for (int f = 0; f < 3; ++f) {
        const Md2SourceFrame& written = source.frames[f];
        EXPECT_EQ(std::string(model->frames[f].name), written.name);
        Vec3 low = written.vertices[0].position;
        Vec3 high = low;
        for (const Md2SourceVertex& vertex : written.vertices) {
            low = {std::min(low.x, vertex.position.x), std::min(low.y, vertex.position.y),
                   std::min(low.z, vertex.position.z)};
            high = {std::max(high.x, vertex.position.x), std::max(high.y, vertex.position.y),
                    std::max(high.z, vertex.position.z)};
        }
        // Half a quantisation step per axis, and a flat axis exactly.
        const Vec3 step = {(high.x - low.x) / 255 / 2 + 1e-4f, (high.y - low.y) / 255 / 2 + 1e-4f,
                           (high.z - low.z) / 255 / 2 + 1e-4f};
        for (int v = 0; v < 4; ++v) {
            const Vec3 p = written.vertices[v].position;
            const ModelVertex& read = model->frames[f].vertices[v];
            EXPECT_NEAR(read.position.x, p.x, step.x) << "frame " << f << " vertex " << v;
            EXPECT_NEAR(read.position.y, p.z, step.z) << "frame " << f << " vertex " << v;
            EXPECT_NEAR(read.position.z, -p.y, step.y) << "frame " << f << " vertex " << v;
            const float* n = md2VertexNormals[(v * 41 + f * 7) % md2NormalCount];
            EXPECT_EQ(read.normal.x, n[0]);
            EXPECT_EQ(read.normal.y, n[1]);
            EXPECT_EQ(read.normal.z, n[2]);
        }
    }
    EXPECT_EQ(model->frames[2].vertices[0].position.y, 5.0f);
    expectGlCommandsDrawTheTriangles(*model);
}

TEST(Md2Writer, ComputedNormalsPointOutOfAClockwiseWoundSolid)
{
    Md2Source source = tetrahedron();
    computeSourceNormals(source);
    for (int f = 0; f < 2; ++f) {
        const std::vector<Md2SourceVertex>& vertices = source.frames[f].vertices;
        Vec3 centre = {0, 0, 0};
        for (const Md2SourceVertex& vertex : vertices) {
            centre = {centre.x + vertex.position.x / 4, centre.y + vertex.position.y / 4,
                      centre.z + vertex.position.z / 4};
        }
        for (const Md2SourceVertex& vertex : vertices) {
            const Vec3 out = {vertex.position.x - centre.x, vertex.position.y - centre.y, vertex.position.z - centre.z};
            EXPECT_GT(vertex.normal.x * out.x + vertex.normal.y * out.y + vertex.normal.z * out.z, 0.0f);
            EXPECT_NEAR(std::hypot(vertex.normal.x, vertex.normal.y, vertex.normal.z), 1.0f, 1e-5f);
        }
    }
}

TEST(Md2Writer, RefusesWhatTheFormatCannotHold)
{
    const std::vector<std::pair<const char*, std::function<void(Md2Source&)>>> cases = {
        {"frames of different sizes", [](Md2Source& s) { s.frames[1].vertices.pop_back(); }},
        {"vertex index past the frame", [](Md2Source& s) { s.triangles[2].vertex[1] = 4; }},
        {"negative vertex index", [](Md2Source& s) { s.triangles[0].vertex[0] = -1; }},
        {"texture coordinate index past the list", [](Md2Source& s) { s.triangles[3].texCoord[2] = 4; }},
        {"frame name with no room for its terminator", [](Md2Source& s) { s.frames[0].name = "sixteen_chars_00"; }},
        {"skin name with no room for its terminator", [](Md2Source& s) { s.skins[0] = std::string(64, 's'); }},
        {"more vertices than readers hold",
         [](Md2Source& s) {
             for (Md2SourceFrame& frame : s.frames) frame.vertices.resize(2049, frame.vertices[0]);
         }},
    };
    for (const auto& [name, spoil] : cases) {
        Md2Source source = tetrahedron();
        spoil(source);
        EXPECT_TRUE(writeMd2Bytes(source).empty()) << name;
    }
}

}  // namespace
