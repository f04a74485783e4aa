// The skin lookup on folder layouts made in a temporary folder: the order of names, places and extensions,
// matching without case, the skins/ folder, each fallback, what it reports when nothing fits, and accented names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/skinLookup.h"
#include "support/md2Builder.h"
#include "support/tempFolder.h"

TEST(SkinLookup, FirstMatchWinsOverNamesThenPlacesThenExtensions)
{
    struct Case {
        const char* what;
        std::vector<std::string> files;  // beside the model (ogro/ogro.md2) unless under skins/
        const char* skinName;            // as stored in the model
        const char* expected;            // relative to the model's folder; empty for none
    };
    const Case cases[] = {
        {"stored name beside the model", {"igdosh.pcx", "ogro.pcx"}, "players/ogro/igdosh.pcx", "igdosh.pcx"},
        {"stored name in skins/, another format", {"skins/igdosh.png"}, "players/ogro/igdosh.pcx", "skins/igdosh.png"},
        {"case differs in file and in stored name", {"IGDOSH.Pcx"}, "players\\ogro\\Igdosh.PCX", "IGDOSH.Pcx"},
        // Beside a second picture, so the only-picture fallback cannot find it whatever the names do.
        {"capitals in the stored name only", {"igdosh.pcx", "other.png"}, "players/ogro/IGDOSH.PCX", "igdosh.pcx"},
        {"capitals in the file name only", {"IgDosh.PCX", "other.png"}, "players/ogro/igdosh.pcx", "IgDosh.PCX"},
        {"beside before skins/ whatever the extension", {"skins/igdosh.pcx", "igdosh.bmp"}, "igdosh.pcx", "igdosh.bmp"},
        {"extensions in their order",
         {"igdosh.bmp", "igdosh.jpeg", "igdosh.jpg", "igdosh.tga", "igdosh.png"},
         "igdosh.pcx",
         "igdosh.png"},
        {"jpg before jpeg", {"igdosh.jpeg", "igdosh.jpg"}, "igdosh", "igdosh.jpg"},
        {"stored name in skins/ before the model's name beside",
         {"skins/igdosh.tga", "ogro.pcx"},
         "igdosh.pcx",
         "skins/igdosh.tga"},
        {"model's own name when the stored one is missing", {"ogro.bmp", "skin.pcx"}, "igdosh.pcx", "ogro.bmp"},
        {"model's own name when there is no stored one", {"skins/OGRO.jpeg", "skin.pcx"}, "", "skins/OGRO.jpeg"},
        {"skin.* after both names", {"skins/Skin.TGA", "notes.txt"}, "igdosh.pcx", "skins/Skin.TGA"},
        {"the only picture beside the model",
         {"anything.JPG", "notes.txt", "skins/other.png"},
         "igdosh.pcx",
         "anything.JPG"},
        {"two pictures beside: none chosen", {"one.png", "two.bmp"}, "igdosh.pcx", ""},
        {"the viewer's font is no skin", {"Font.tga"}, "igdosh.pcx", ""},
        {"the only picture besides the viewer's font", {"font.tga", "knight.png"}, "igdosh.pcx", "knight.png"},
        {"the viewer's screenshots are no skins", {"brevant-0001.png", "Brevant-0002.PNG"}, "igdosh.pcx", ""},
        {"a lone picture only in skins/ is not chosen", {"skins/other.png"}, "igdosh.pcx", ""},
        {"other extensions do not count", {"igdosh.gif", "igdosh.pcx.txt", "igdoshpcx"}, "igdosh.pcx", ""},
        {"a Skins folder in capitals", {"Skins/igdosh.png"}, "igdosh.pcx", "Skins/igdosh.png"},
        {"nothing at all", {}, "igdosh.pcx", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        ASSERT_TRUE(folder.write("ogro/ogro.md2"));
        for (const std::string& file : c.files) {
            ASSERT_TRUE(folder.write("ogro/" + file));
        }
        const SkinSearch search = findSkinFile(folder.at("ogro/ogro.md2"), c.skinName);
        EXPECT_EQ(search.path, std::string(c.expected).empty() ? "" : folder.at("ogro/" + std::string(c.expected)));
    }
}

TEST(SkinLookup, DirectoriesNamedLikePicturesAreNotSkins)
{
    TempFolder folder;
    ASSERT_TRUE(folder.write("m/model.md2"));
    ASSERT_TRUE(folder.write("m/skin.pcx/inside.txt"));
    ASSERT_TRUE(folder.write("m/model.png/inside.txt"));
    ASSERT_TRUE(folder.write("m/skin.bmp"));
    EXPECT_EQ(findSkinFile(folder.at("m/model.md2"), "").path, folder.at("m/skin.bmp"));
}

TEST(SkinLookup, ReportsTheNamesTriedOnceEach)
{
    TempFolder folder;
    ASSERT_TRUE(folder.write("ogro.md2"));
    ASSERT_TRUE(folder.write("a.png"));
    ASSERT_TRUE(folder.write("b.png"));

    const SkinSearch search = findSkinFile(folder.at("ogro.md2"), "players/ogro/igdosh.pcx");
    EXPECT_EQ(search.path, "");
    EXPECT_EQ(search.tried, (std::vector<std::string>{"igdosh", "ogro", "skin"}));
    EXPECT_EQ(search.imagesBeside, 2);
    EXPECT_EQ(describeSkinSearch(search),
              "no skin: tried igdosh, ogro, skin beside the model and in skins/; 2 other pictures beside it, so "
              "none chosen");

    // A stored name that is the model's own, or "skin", is tried once.
    EXPECT_EQ(findSkinFile(folder.at("ogro.md2"), "OGRO.pcx").tried, (std::vector<std::string>{"OGRO", "skin"}));
    EXPECT_EQ(findSkinFile(folder.at("ogro.md2"), "skins/skin.pcx").tried, (std::vector<std::string>{"skin", "ogro"}));

    TempFolder empty;
    ASSERT_TRUE(empty.write("sydney.md2"));
    const SkinSearch none = findSkinFile(empty.at("sydney.md2"), "");
    EXPECT_EQ(describeSkinSearch(none), "no skin: tried sydney, skin beside the model and in skins/");
}

// The literals are UTF-8, as the viewer receives paths.
TEST(SkinLookup, AccentedNamesMatch)
{
    TempFolder folder;
    ASSERT_TRUE(folder.write("modèles/Ünïcode.md2"));
    ASSERT_TRUE(folder.write("modèles/skins/Ünïcode.PNG"));
    EXPECT_EQ(findSkinFile(folder.at("modèles/Ünïcode.md2"), "").path, folder.at("modèles/skins/Ünïcode.PNG"));

    // Two pictures beside the model, so no fallback picks one.
    ASSERT_TRUE(folder.write("modèles/Ärger.pcx"));
    ASSERT_TRUE(folder.write("modèles/Ökonomie.bmp"));
    ASSERT_TRUE(std::filesystem::remove(folder.at("modèles/skins/Ünïcode.PNG")));
    EXPECT_EQ(findSkinFile(folder.at("modèles/Ünïcode.md2"), "x/ärger.pcx").path, "")
        << "only ASCII letters are matched without case";
    EXPECT_EQ(findSkinFile(folder.at("modèles/Ünïcode.md2"), "x/Ärger.pcx").path, folder.at("modèles/Ärger.pcx"));
}

TEST(SkinLookup, StoredSkinNamesAndTheirStems)
{
    Md2Description description;
    description.skins = {"players/ogro/igdosh.pcx", std::string(64, 'k')};
    Md2BuildFrame frame;
    frame.vertices = {{0, 0, 0, 0}};
    description.frames = {frame};
    const std::vector<uint8_t> bytes = buildMd2(description);
    Md2Model* model = parseMd2Model(bytes.data(), bytes.size());
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(md2SkinName(*model, 0), "players/ogro/igdosh.pcx");
    EXPECT_EQ(md2SkinName(*model, 1), std::string(64, 'k'));  // no terminator: the whole entry
    EXPECT_EQ(md2SkinName(*model, 2), "");
    EXPECT_EQ(md2SkinName(*model, -1), "");
    freeMd2Model(model);

    const std::pair<const char*, const char*> stems[] = {
        {"players/ogro/igdosh.pcx", "igdosh"},
        {"players\\ogro\\igdosh.PCX", "igdosh"},
        {"igdosh", "igdosh"},
        {"a.b.pcx", "a.b"},
        {"dir.v2/skin", "skin"},
        {".body", "body"},
        {"models/.body.pcx", "body"},
        {".pcx", "pcx"},
        {"...", ""},
        {"", ""},
    };
    for (const auto& [name, stem] : stems) {
        EXPECT_EQ(skinNameStem(name), stem) << name;
    }
}

TEST(SkinLookup, EverySkinNameInOrderThenIconsLeftOutOfTheOnlyPicture)
{
    struct Case {
        const char* what;
        std::vector<std::string> files;  // beside ogro/ogro.md2 unless under skins/
        std::vector<std::string> skinNames;
        const char* expected;  // relative to the model's folder; empty for none
    };
    const std::vector<std::string> eightNames = {"a/s0.pcx", "a/s1.pcx", "a/s2.pcx", "a/s3.pcx",
                                                 "a/s4.pcx", "a/s5.pcx", "a/s6.pcx", "a/s7.pcx"};
    const Case cases[] = {
        {"only the eighth skin exists, in skins/", {"skins/s7.pcx", "x.png", "y.png"}, eightNames, "skins/s7.pcx"},
        {"an earlier name wins over a later one", {"s7.pcx", "skins/s2.tga"}, eightNames, "skins/s2.tga"},
        {"a skin and its icon", {"grok.pcx", "grok_i.pcx"}, {"missing.pcx"}, "grok.pcx"},
        {"an icon without its picture counts", {"grok_i.pcx", "other.png"}, {"missing.pcx"}, ""},
        {"a dot-prefixed name", {"body.pcx", "head.pcx"}, {".body"}, "body.pcx"},
        {"skins named before the model's own name",
         {"ogro.pcx", "skins/second.png"},
         {"", "second"},
         "skins/second.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        ASSERT_TRUE(folder.write("ogro/ogro.md2"));
        for (const std::string& file : c.files) {
            ASSERT_TRUE(folder.write("ogro/" + file));
        }
        const SkinSearch search = findSkinFile(folder.at("ogro/ogro.md2"), c.skinNames);
        EXPECT_EQ(search.path, std::string(c.expected).empty() ? "" : folder.at("ogro/" + std::string(c.expected)));
    }
}

TEST(SkinLookup, SkinsToCycleAreTheNamedOnesThenEveryOtherPicture)
{
    TempFolder folder;
    for (const char* file : {"m.md2", "b.png", "a.pcx", "a_i.pcx", "font.tga", "skins/z.tga", "skins/c.bmp"}) {
        ASSERT_TRUE(folder.write(std::string("ogro/") + file));
    }
    const std::vector<std::string> choices =
        listSkinChoices(folder.at("ogro/m.md2"), {"gone.pcx", "players/ogro/z.pcx", "b"});
    const std::vector<std::string> expected = {folder.at("ogro/skins/z.tga"), folder.at("ogro/b.png"),
                                               folder.at("ogro/a.pcx"), folder.at("ogro/skins/c.bmp")};
    EXPECT_EQ(choices, expected);
}
