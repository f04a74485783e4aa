// Archives as file sources: one archive read by name without case, paths running through an archive on disk, a
// game folder's override order, the models listed in path order, and the skin found at the archive's root.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/archiveSource.h"
#include "model/skinLookup.h"
#include "support/archiveBuilder.h"
#include "support/tempFolder.h"

namespace {

constexpr uint64_t cap = 1u << 20;

std::string readText(const FileSource& source, const std::string& name, FileReadFault* faultOut = nullptr)
{
    FileBytes file;
    FileReadFault fault;
    if (!readSourceFile(source, name, cap, file, fault)) {
        if (faultOut != nullptr) {
            *faultOut = fault;
        }
        return "<" + std::string(fault.text) + ">";
    }
    return std::string(reinterpret_cast<const char*>(file.bytes.get()), file.size);
}

std::vector<ArchiveBuildEntry> entries(bool deflate)
{
    return {{"models/tank/tris.md2", textBytes("tank model"), deflate, ""},
            {"models/tank/skin.pcx", textBytes("tank skin"), deflate, ""},
            {"models/Ogre/Tris.MD2", textBytes("ogre model"), deflate, ""},
            {"players/male/tris.md2", textBytes("male model"), deflate, ""},
            {"pics/colormap.pcx", textBytes("colours"), deflate, ""}};
}

TEST(ArchiveSource, ReadsByNameWithoutCaseEitherSeparatorAndListsFolders)
{
    TempFolder folder;
    for (const bool zip : {false, true}) {
        for (const bool deflate : {false, true}) {
            if (!zip && deflate) {
                continue;
            }
            SCOPED_TRACE(zip ? (deflate ? "zip deflated" : "zip stored") : "pak");
            const std::string path = folder.at(zip ? "a.pk3" : "a.pak");
            ASSERT_TRUE(
                folder.write(zip ? "a.pk3" : "a.pak", zip ? buildZip(entries(deflate)) : buildPak(entries(false))));
            std::string reason;
            std::unique_ptr<OpenArchive> archive = openArchive(path, reason);
            ASSERT_TRUE(archive) << reason;
            const FileSource source = archiveSource(*archive);

            EXPECT_EQ(readText(source, "models/tank/tris.md2"), "tank model");
            EXPECT_EQ(readText(source, "MODELS\\TANK\\SKIN.PCX"), "tank skin");
            EXPECT_EQ(readText(source, "models/ogre/tris.md2"), "ogre model");
            FileReadFault fault;
            EXPECT_EQ(readText(source, "models/nope.md2", &fault), "<cannot open: no such file in the archive>");
            EXPECT_EQ(fault.kind, FileReadFaultKind::cannotOpen);

            // Against the cap: refused with the entry's size, before it is read.
            FileBytes file;
            EXPECT_FALSE(readSourceFile(source, "models/tank/tris.md2", 4, file, fault));
            EXPECT_EQ(fault.kind, FileReadFaultKind::tooLarge);
            EXPECT_EQ(fault.fileSize, 10u);

            std::vector<SourceEntry> listed;
            ASSERT_TRUE(listSourceFolder(source, "models/", listed));
            ASSERT_EQ(listed.size(), 2u);
            EXPECT_EQ(listed[0].name, "Ogre");
            EXPECT_TRUE(listed[0].folder);
            EXPECT_EQ(listed[1].name, "tank");
            ASSERT_TRUE(listSourceFolder(source, "Models\\Tank", listed));
            ASSERT_EQ(listed.size(), 2u);
            EXPECT_FALSE(listed[0].folder);
            EXPECT_FALSE(listSourceFolder(source, "models/none", listed));

            EXPECT_EQ(modelsUnder(source, ""), (std::vector<std::string>{"models/Ogre/Tris.MD2", "models/tank/tris.md2",
                                                                         "players/male/tris.md2"}));
        }
    }
}

TEST(ArchiveSource, TheStartOfAnEntryReadsNoFurtherThanAsked)
{
    std::vector<uint8_t> long_(5000);
    for (size_t i = 0; i < long_.size(); ++i) {
        long_[i] = static_cast<uint8_t>(i * 31 % 251);
    }
    for (const bool deflate : {false, true}) {
        SCOPED_TRACE(deflate ? "deflated" : "stored");
        const std::vector<uint8_t> zip =
            buildZip({{"a.md2", long_, deflate, ""}, {"b.md2", textBytes("ab"), deflate, ""}});
        const ArchiveBytes bytes{zip.data(), zip.size()};
        const ArchiveReader reader = archiveReaderOverBytes(bytes);
        ArchiveDirectory directory;
        ArchiveFault fault;
        ASSERT_TRUE(readArchiveDirectory(reader, directory, fault)) << fault.text;
        FileBytes start;
        ASSERT_TRUE(readArchiveEntryStart(reader, directory, 0, 68, start, fault)) << fault.text;
        ASSERT_EQ(start.size, 68u);
        EXPECT_TRUE(std::equal(long_.begin(), long_.begin() + 68, start.bytes.get()));
        // Shorter than asked: the whole entry.
        ASSERT_TRUE(readArchiveEntryStart(reader, directory, 1, 68, start, fault)) << fault.text;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(start.bytes.get()), start.size), "ab");
    }
}

TEST(ArchiveSource, OpenRefusesWithTheReaderReason)
{
    TempFolder folder;
    ASSERT_TRUE(folder.write("text.pak", textBytes("just some text, no archive")));
    std::vector<uint8_t> cut = buildPak(entries(false));
    cut.resize(cut.size() - 10);
    ASSERT_TRUE(folder.write("cut.pak", cut));
    std::string reason;
    EXPECT_FALSE(openArchive(folder.at("missing.pak"), reason));
    EXPECT_EQ(reason.rfind("cannot open: ", 0), 0u) << reason;
    EXPECT_FALSE(openArchive(folder.at("text.pak"), reason));
    EXPECT_NE(reason.find("not an archive"), std::string::npos) << reason;
    EXPECT_FALSE(openArchive(folder.at("cut.pak"), reason));
    EXPECT_EQ(reason, "directory past the end of the file");
}

TEST(ArchivePaths, PathsRunThroughArchivesOnDisk)
{
    TempFolder folder;
    ASSERT_TRUE(folder.write("game/pak0.pak", buildPak(entries(false))));
    ASSERT_TRUE(folder.write("game/loose/tris.md2", textBytes("loose")));
    ASSERT_TRUE(folder.write("game/loose/other.md2", textBytes("other")));
    ASSERT_TRUE(folder.write("game/note.txt", textBytes("not an archive")));
    ArchivePaths paths;
    const FileSource source = archivePathSource(paths);
    const std::string pak = folder.at("game/pak0.pak");

    EXPECT_EQ(readText(source, pak + "/models/tank/tris.md2"), "tank model");
    EXPECT_EQ(readText(source, pak + "\\Models\\Tank\\Skin.pcx"), "tank skin");
    EXPECT_EQ(readText(source, folder.at("game/loose/tris.md2")), "loose");
    EXPECT_EQ(paths.open.size(), 1u);  // opened once, kept open

    FileReadFault fault;
    const std::string note = folder.at("game/note.txt");
    EXPECT_EQ(readText(source, note + "/tris.md2", &fault), "<" + note + ": not an archive (neither PAK nor ZIP)>");

    std::vector<SourceEntry> listed;
    ASSERT_TRUE(listSourceFolder(source, pak, listed));
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].name, "models");
    ASSERT_TRUE(listSourceFolder(source, pak + "/models/tank", listed));
    EXPECT_EQ(listed.size(), 2u);

    std::string root;
    EXPECT_TRUE(sourceArchiveRoot(source, pak + "/models/tank/tris.md2", root));
    EXPECT_EQ(root, pak + "/");
    EXPECT_FALSE(sourceArchiveRoot(source, folder.at("game/loose/tris.md2"), root));

    EXPECT_EQ(modelsUnder(source, pak).front(), pak + "/models/Ogre/Tris.MD2");
    // Tab's list: the whole archive for a model inside one, the folder's models for a loose one.
    EXPECT_EQ(neighbourModels(source, pak + "/models/tank/tris.md2").size(), 3u);
    EXPECT_EQ(neighbourModels(source, folder.at("game/loose/tris.md2")),
              (std::vector<std::string>{folder.at("game/loose/other.md2"), folder.at("game/loose/tris.md2")}));
    EXPECT_TRUE(isArchiveFile(pak));
    EXPECT_FALSE(isArchiveFile(note));
    EXPECT_FALSE(isArchiveFile(folder.at("game")));
}

TEST(GameFolder, PaksThenPk3sInNameOrderThenLooseFilesLaterOverridingEarlier)
{
    TempFolder folder;
    // Name order without case: PAK0 before pak1 before pak10; every .pak before any .pk3.
    ASSERT_TRUE(folder.write("base/pak1.pak", buildPak({{"models/a.md2", textBytes("pak1 a"), false, ""},
                                                        {"models/b.md2", textBytes("pak1 b"), false, ""},
                                                        {"models/c.md2", textBytes("pak1 c"), false, ""},
                                                        {"models/d.md2", textBytes("pak1 d"), false, ""}})));
    ASSERT_TRUE(folder.write("base/PAK0.pak", buildPak({{"models/a.md2", textBytes("pak0 a"), false, ""},
                                                        {"models/e.md2", textBytes("pak0 e"), false, ""}})));
    ASSERT_TRUE(folder.write("base/pak10.pak", buildPak({{"models/b.md2", textBytes("pak10 b"), false, ""}})));
    ASSERT_TRUE(folder.write("base/aaa.pk3", buildZip({{"Models/C.md2", textBytes("pk3 c"), true, ""},
                                                       {"models/b.md2", textBytes("pk3 b"), false, ""}})));
    ASSERT_TRUE(folder.write("base/models/d.md2", textBytes("loose d")));
    ASSERT_TRUE(folder.write("base/models/b.md2", textBytes("loose b")));

    GameFolder game;
    std::string faultPath;
    std::string reason;
    ASSERT_TRUE(openGameFolder(folder.at("base"), game, faultPath, reason)) << faultPath << ": " << reason;
    ASSERT_EQ(game.archives.size(), 4u);
    const FileSource source = gameFolderSource(game);

    EXPECT_EQ(readText(source, "models/a.md2"), "pak1 a");   // pak1 after PAK0
    EXPECT_EQ(readText(source, "models/b.md2"), "loose b");  // loose files over every archive
    EXPECT_EQ(readText(source, "models/c.md2"), "pk3 c");    // a .pk3 over every .pak, names without case
    EXPECT_EQ(readText(source, "models/d.md2"), "loose d");
    EXPECT_EQ(readText(source, "MODELS/E.MD2"), "pak0 e");
    FileReadFault fault;
    EXPECT_EQ(readText(source, "models/z.md2", &fault), "<cannot open: no such file in the game folder>");

    // One search path: each model once, the archives themselves not among the files.
    EXPECT_EQ(modelsUnder(source, "").size(), 5u);
    std::vector<SourceEntry> top;
    ASSERT_TRUE(listSourceFolder(source, "", top));
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].name, "models");

    // An archive in the folder that is not one stops the opening, naming it.
    ASSERT_TRUE(folder.write("base/pak2.pak", textBytes("broken")));
    EXPECT_FALSE(openGameFolder(folder.at("base"), game, faultPath, reason));
    EXPECT_EQ(faultPath, folder.at("base") + "/pak2.pak");
    EXPECT_NE(reason.find("not a"), std::string::npos) << reason;
    EXPECT_FALSE(openGameFolder(folder.at("nowhere"), game, faultPath, reason));
    EXPECT_EQ(faultPath, folder.at("nowhere"));
}

TEST(ArchiveSkins, TheFullPathFromTheArchiveRootComesFirstThenBesideTheModel)
{
    TempFolder folder;
    ASSERT_TRUE(folder.write("root.pak", buildPak({{"models/x/tris.md2", textBytes("m"), false, ""},
                                                   {"models/x/beside.pcx", textBytes("b"), false, ""},
                                                   {"skins/Shared/Body.PCX", textBytes("s"), false, ""}})));
    ASSERT_TRUE(folder.write("beside.pak", buildPak({{"models/x/tris.md2", textBytes("m"), false, ""},
                                                     {"models/x/body.pcx", textBytes("b"), false, ""}})));
    ArchivePaths paths;
    const FileSource source = archivePathSource(paths);
    const std::string root = folder.at("root.pak");
    EXPECT_EQ(findSkinFile(root + "/models/x/tris.md2", "skins/shared/body.pcx", source).path,
              root + "/skins/shared/Body.PCX");
    // Not at the root: the lookup beside the model inside the archive, by the name's stem.
    const std::string beside = folder.at("beside.pak");
    EXPECT_EQ(findSkinFile(beside + "/models/x/tris.md2", "skins/shared/body.pcx", source).path,
              beside + "/models/x/body.pcx");

    // In a game's search path the root is the path's own.
    GameFolder game;
    std::string faultPath;
    std::string reason;
    ASSERT_TRUE(folder.write("game/pak0.pak", buildPak({{"models/x/tris.md2", textBytes("m"), false, ""},
                                                        {"skins/body.pcx", textBytes("s"), false, ""}})));
    ASSERT_TRUE(openGameFolder(folder.at("game"), game, faultPath, reason));
    EXPECT_EQ(findSkinFile("models/x/tris.md2", "skins/body.pcx", gameFolderSource(game)).path, "skins/body.pcx");
}

}  // namespace
