// --export as the command line runs it: where a batch writes, the faults that write nothing, a batch that
// skips a bad model and writes the rest, and models and skins read through a source other than the disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include <zlib.h>

#include "app/exportRun.h"
#include "model/exportMesh.h"
#include "support/md2Builder.h"
#include "support/memorySource.h"
#include "support/tempFolder.h"
#include "support/tgaBuilder.h"

namespace {

struct MirrorCase {
    const char* label;
    std::vector<std::string> models;
    std::vector<std::string> outputs;
};

const MirrorCase mirrorCases[] = {
    {"one model", {"players/ogro/tris.md2"}, {"out/tris.glb"}},
    {"shared folders dropped",
     {"q2/players/male/tris.md2", "q2/players/female/tris.md2"},
     {"out/male/tris.glb", "out/female/tris.glb"}},
    {"a model above the others", {"a/b.md2", "a/c/d.md2"}, {"out/b.glb", "out/c/d.glb"}},
    {"absolute paths and backslashes", {"/m/x/a.MD2", "/m/y\\b.md2"}, {"out/x/a.glb", "out/y/b.glb"}},
    {"dots", {"./a/./x.md2", "../b/y.md2"}, {"out/a/x.glb", "out/up/b/y.glb"}},
    {"no extension", {"models/thing"}, {"out/thing.glb"}},
};

class MirrorTable : public testing::TestWithParam<MirrorCase> {};

TEST_P(MirrorTable, MirrorsBelowTheSharedFolder)
{
    EXPECT_EQ(mirroredOutputs(GetParam().models, "out/"), GetParam().outputs);
}

INSTANTIATE_TEST_SUITE_P(Export, MirrorTable, testing::ValuesIn(mirrorCases),
                         [](const testing::TestParamInfo<MirrorCase>& info) {
                             std::string name;
                             for (const char* c = info.param.label; *c; ++c) {
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             }
                             return name;
                         });

std::vector<uint8_t> boxModel(int frames = 3, bool triangles = true)
{
    Md2Description d;
    d.skinWidth = 8;
    d.skinHeight = 8;
    d.skins = {"box.pcx"};
    d.texCoords = {{0, 0}, {8, 0}, {0, 8}};
    if (triangles) {
        d.triangles = {{{0, 1, 2}, {0, 1, 2}}, {{0, 3, 1}, {0, 2, 1}}};
    }
    for (int f = 0; f < frames; ++f) {
        Md2BuildFrame frame;
        frame.name = "stand" + std::to_string(f + 1);
        frame.vertices = {{0, 0, 0}, {uint8_t(10 + f), 0, 0}, {0, 10, 0}, {0, 0, 10}};
        d.frames.push_back(frame);
    }
    return buildMd2(d);
}

std::set<std::string> filesIn(const TempFolder& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.path)) {
        if (entry.is_regular_file()) {
            names.insert(std::filesystem::relative(entry.path(), folder.path).generic_string());
        }
    }
    return names;
}

ExportOutcome exportTo(const std::string& out, const std::vector<std::string>& models,
                       const std::string& animation = {})
{
    ViewerOptions options;
    options.exportPath = out;
    options.animation = animation;
    options.noSkin = true;
    return runExport(options, folderSource(), models);
}

struct FaultCase {
    const char* label;
    std::vector<uint8_t> model;
    const char* out;
    const char* animation;
    int exitCode;
    const char* message;
};

TEST(ExportRun, FaultsWriteNothing)
{
    const FaultCase cases[] = {
        {"unknown extension", boxModel(), "out.fbx", "", 2, "--export writes .glb or .obj files"},
        {"no extension", boxModel(), "out", "", 2, "or into a folder, not '"},
        {"folder missing", boxModel(), "missing/out.glb", "", 1, "cannot write: No such file or directory"},
        {"no triangles", boxModel(3, false), "out.glb", "", 1, "it has no triangles"},
        {"no keyframes", boxModel(0, false), "out.obj", "", 1, "it has no keyframes"},
        {"not a model", {'I', 'D', 'P', '3'}, "out.glb", "", 1, "not an MD2 file"},
        {"unknown animation", boxModel(), "out.glb", "RUN", 2,
         "no animation \"RUN\" in box.md2; its animations: stand"},
    };
    for (const FaultCase& c : cases) {
        TempFolder folder;
        ASSERT_TRUE(folder.write("box.md2", c.model));
        const std::string out = folder.at(c.out);
        const ExportOutcome outcome = exportTo(out, {folder.at("box.md2")}, c.animation);
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.label;
        EXPECT_NE(outcome.message.find(c.message), std::string::npos) << c.label << ": " << outcome.message;
        EXPECT_EQ(filesIn(folder), std::set<std::string>{"box.md2"}) << c.label;
    }
}

TEST(ExportRun, SeveralModelsNeedAFolder)
{
    TempFolder folder;
    ASSERT_TRUE(folder.write("a.md2", boxModel()));
    const ExportOutcome outcome = exportTo(folder.at("out.glb"), {folder.at("a.md2"), folder.at("a.md2")});
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_EQ(filesIn(folder), std::set<std::string>{"a.md2"});
}

TEST(ExportRun, ABatchSkipsABadModelAndWritesTheRest)
{
    TempFolder folder;
    std::vector<std::string> models;
    std::set<std::string> expected;
    for (int i = 0; i < 9; ++i) {
        const std::string name = "in/" + std::string(i % 2 ? "odd/" : "even/") + "m" + std::to_string(i) + ".md2";
        ASSERT_TRUE(folder.write(name, i == 4 ? boxModel(2, false) : boxModel()));
        models.push_back(folder.at(name));
        expected.insert(name);
        if (i != 4) {
            expected.insert("out/" + name.substr(3, name.size() - 7) + ".glb");
        }
    }
    const ExportOutcome outcome = exportTo(folder.at("out") + "/", models);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.message, "brevant: " + models[4] + ": it has no triangles to export\n");
    EXPECT_EQ(filesIn(folder), expected);
}

TEST(ExportRun, AnExistingFolderIsABatchAndObjWritesItsMaterialAndSkin)
{
    TempFolder folder;
    ASSERT_TRUE(folder.write("box.md2", boxModel()));
    ASSERT_TRUE(folder.write("box.tga", buildTga(TgaDescription{})));
    ASSERT_TRUE(folder.write("out/.keep"));
    ViewerOptions options;
    options.exportPath = folder.at("out");
    EXPECT_EQ(runExport(options, folderSource(), {folder.at("box.md2")}).exitCode, 0);
    options.exportPath = folder.at("box.obj");
    const ExportOutcome outcome = runExport(options, folderSource(), {folder.at("box.md2")});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.message;
    EXPECT_EQ(filesIn(folder), (std::set<std::string>{"box.md2", "box.tga", "out/.keep", "out/box.glb", "box.obj",
                                                      "box.mtl", "box.png"}));
}

std::vector<uint8_t> fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool holds(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// Nothing of the models or skins is on disk: the batch (on both workers) and --skin read all of it through the
// source, the lookup finds each model's own PNG beside it, and a PNG goes into the file as it came.
TEST(ExportRun, ModelsAndSkinsComeThroughTheSource)
{
    const uint8_t pixels[2 * 2 * 4] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 9, 9, 9, 128};
    std::vector<uint8_t> png;
    ASSERT_TRUE(encodePng(pixels, 2, 2, png));
    // A text chunk of its own before IEND, so the file is not what encoding its pixels again would give.
    const std::vector<uint8_t> chunk = {'t', 'E', 'X', 't', 'b', 0, 'x'};
    const uLong crc = crc32(0L, chunk.data(), uInt(chunk.size()));
    std::vector<uint8_t> text = {0, 0, 0, 3};
    text.insert(text.end(), chunk.begin(), chunk.end());
    text.insert(text.end(), {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
    png.insert(png.end() - 12, text.begin(), text.end());
    MemoryFiles memory;
    std::vector<std::string> models;
    for (int i = 0; i < 6; ++i) {
        const std::string stem = "pak/m" + std::to_string(i);
        memory.files[stem + ".md2"] = boxModel();
        models.push_back(stem + ".md2");
    }
    memory.files["pak/m0.png"] = png;
    memory.files["pak/named.tga"] = buildTga(TgaDescription{});
    const FileSource source{&memory, readMemory, listMemory};

    TempFolder folder;
    ViewerOptions options;
    options.exportPath = folder.at("out") + "/";
    ExportOutcome outcome = runExport(options, source, models);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.message;
    // m0 has its PNG; the others have none of their own and two pictures beside them, so go untextured.
    EXPECT_TRUE(holds(fileBytes(folder.at("out/m0.glb")), png));
    for (int i = 1; i < 6; ++i) {
        EXPECT_TRUE(std::filesystem::exists(folder.at("out/m" + std::to_string(i) + ".glb"))) << i;
    }
    EXPECT_GE(memory.reads.size(), 6u);

    options.exportPath = folder.at("named.glb");
    options.skinPath = "pak/named.tga";
    outcome = runExport(options, source, {"pak/m1.md2"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.message;
    const std::vector<uint8_t> glb = fileBytes(folder.at("named.glb"));
    EXPECT_FALSE(holds(glb, png));
    EXPECT_TRUE(holds(glb, {0x89, 'P', 'N', 'G'}));

    options.skinPath = "pak/absent.tga";
    outcome = runExport(options, source, {"pak/m1.md2"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.message.find("pak/absent.tga"), std::string::npos) << outcome.message;
}

}  // namespace
