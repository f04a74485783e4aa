// The --info report on real models and on built ones that show its edge cases, the escaping of text taken
// from a file, the status line and the window title.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/info.h"
#include "model/md2.h"
#include "model/skinLookup.h"
#include "support/md2Builder.h"
#include "support/testFiles.h"

namespace {

using ModelPtr = std::unique_ptr<Md2Model, void (*)(Md2Model*)>;

ModelPtr parse(const std::vector<uint8_t>& bytes)
{
    return ModelPtr(parseMd2Model(bytes.data(), bytes.size()), freeMd2Model);
}

std::vector<uint8_t> readBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The counts, size and skin names of the report, read straight from the file's header and skin entries.
std::string expectedHeadLines(const std::string& path, const std::vector<uint8_t>& bytes)
{
    auto field = [&](size_t offset) { return std::to_string(getS32le(bytes, offset)); };
    std::string text = "file: " + path + "\n";
    text += "vertices: " + field(md2Field::numVertices) + "  triangles: " + field(md2Field::numTriangles) +
            "  texcoords: " + field(md2Field::numTexCoords) + "  frames: " + field(md2Field::numFrames) +
            "  skin size: " + field(md2Field::skinWidth) + "x" + field(md2Field::skinHeight) + "\n";
    const int32_t numSkins = getS32le(bytes, md2Field::numSkins);
    const int32_t offsetSkins = getS32le(bytes, md2Field::offsetSkins);
    text += "skins: ";
    if (numSkins == 0) {
        text += "none";
    }
    for (int32_t i = 0; i < numSkins; ++i) {
        const char* entry = reinterpret_cast<const char*>(bytes.data() + offsetSkins + 64 * i);
        text += (i > 0 ? ", " : "") + std::string(entry, std::string(entry, 64).find('\0'));
    }
    return text + "\n";
}

TEST(Info, ReportsTheHorseFixture)
{
    SKIP_WITHOUT_FIXTURES();
    const std::string path = std::string(BREVANT_FIXTURES) + "/fixtures/md2/horse.md2";
    const std::vector<uint8_t> bytes = readBytes(path);
    ASSERT_GT(bytes.size(), 68u);
    const ModelPtr model = parse(bytes);
    ASSERT_NE(model, nullptr);

    // Twelve frames stand01..stand12 and no skin entries.
    EXPECT_EQ(formatModelInfo(path, *model, nullptr),
              expectedHeadLines(path, bytes) + "animations:\n  stand 0-11 (12)\n");
    EXPECT_NE(expectedHeadLines(path, bytes).find("skins: none\n"), std::string::npos);
}

TEST(Info, ReportsTheDolphinFixtureWithTheSkinFound)
{
    SKIP_WITHOUT_FIXTURES();
    const std::string path = std::string(BREVANT_FIXTURES) + "/fixtures/md2/dolphin.md2";
    const std::vector<uint8_t> bytes = readBytes(path);
    ASSERT_GT(bytes.size(), 68u);
    const ModelPtr model = parse(bytes);
    ASSERT_NE(model, nullptr);

    // glide1..glide14 then jump01..jump45: the run ends where the prefix changes.
    EXPECT_EQ(formatModelInfo(path, *model, "skins/dolphin.png"),
              expectedHeadLines(path, bytes) +
                  "skin found: skins/dolphin.png\nanimations:\n  glide 0-13 (14)\n  jump 14-58 (45)\n");
    EXPECT_EQ(md2SkinName(*model, 0), "settings/elias1/desktop/frames/dolphin_f.bmp");
}

Md2BuildFrame frameNamed(const std::string& name)
{
    Md2BuildFrame frame;
    frame.name = name;
    frame.vertices = {{0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}};
    return frame;
}

TEST(Info, ShowsBytesFromTheFileOnlyAsPrintableAscii)
{
    Md2Description d;
    d.skinWidth = -4;
    d.skinHeight = 0;
    const std::string unterminated(64, 's');
    d.skins = {"\x1b]0;owned\x07.pcx", "", unterminated, "caf\xc3\xa9.pcx"};
    d.texCoords = {{0, 0}};
    d.triangles = {{{0, 1, 2}, {0, 0, 0}}};
    d.frames = {frameNamed("\x1b[2J1"), frameNamed("\x1b[2J2"), frameNamed("9"), frameNamed("~\x7f")};
    const ModelPtr model = parse(buildMd2(d));
    ASSERT_NE(model, nullptr);

    // The paths are the user's: UTF-8 stays, control characters do not.
    EXPECT_EQ(formatModelInfo("m\x1b[0m\xc3\xa9.md2", *model, "skins/a\nb.png"),
              "file: m?[0m\xc3\xa9.md2\n"
              "vertices: 3  triangles: 1  texcoords: 1  frames: 4  skin size: -4x0\n"
              "skins: ?]0;owned?.pcx, (empty), " +
                  unterminated +
                  ", caf??.pcx\n"
                  "skin found: skins/a?b.png\n"
                  "animations:\n"
                  "  ?[2J 0-1 (2)\n"
                  "  (no name) 2-2 (1)\n"
                  "  ~? 3-3 (1)\n");
    EXPECT_EQ(md2SkinName(*model, 0), "\x1b]0;owned\x07.pcx");
    EXPECT_EQ(md2SkinName(*model, 2), unterminated);
    EXPECT_EQ(md2SkinName(*model, 4), "");
    EXPECT_EQ(md2SkinName(*model, -1), "");
}

TEST(Info, SaysNoneWithoutSkinsOrFrames)
{
    Md2Description d;
    const ModelPtr model = parse(buildMd2(d));
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(formatModelInfo("empty.md2", *model, nullptr),
              "file: empty.md2\n"
              "vertices: 0  triangles: 0  texcoords: 0  frames: 0  skin size: 64x64\n"
              "skins: none\n"
              "animations: none\n");
    EXPECT_EQ(md2SkinName(*model, 0), "");
}

struct StatusCase {
    const char* fileName;
    const char* animation;
    int32_t keyframe;
    int32_t runLength;
    const char* skin;
    const char* line;
};

TEST(Info, StatusLineNamesModelAnimationAndSkin)
{
    const StatusCase cases[] = {
        {"sydney.md2", "run", 3, 6, "", "sydney.md2  run 3/6  no skin"},
        {"models/sydney/tris.md2", "stand", 1, 40, "models/sydney/skins/blue.pcx", "tris.md2  stand 1/40  blue.pcx"},
        {"C:\\games\\ogro.md2", "pain", 4, 4, "C:\\games\\ogro.png", "ogro.md2  pain 4/4  ogro.png"},
        {"empty.md2", "", 0, 0, "", "empty.md2  no frames  no skin"},
        {"digits.md2", "", 2, 3, "", "digits.md2  (no name) 2/3  no skin"},
        {"caf\xc3\xa9.md2", "\x1b[1m", 1, 1, "x\ty.pcx", "caf?.md2  ?[1m 1/1  x?y.pcx"},
        // One '?' per character the font lacks, not per UTF-8 byte: e-grave (2 bytes), a CJK character (3), an
        // emoji (4); the animation comes from the file, byte by byte.
        {"mod\xc3\xa8le \xe4\xb8\xad \xf0\x9f\x98\x80.md2", "\xc3\xa8", 1, 2, "", "mod?le ? ?.md2  ?? 1/2  no skin"},
    };
    // The viewer writes each frame's line over the last one's.
    std::string reused = "the line of the frame before, longer than any below";
    for (const StatusCase& c : cases) {
        EXPECT_EQ(formatStatusLine(c.fileName, c.animation, c.keyframe, c.runLength, c.skin), c.line);
        formatStatusLine(reused, c.fileName, c.animation, c.keyframe, c.runLength, c.skin);
        EXPECT_EQ(reused, c.line);
    }
}

TEST(Info, StatusLineAddsTheKeyframesOwnNameAndWhichSkinOfHowMany)
{
    std::string line;
    formatStatusLine(line, "grok.md2", "pain_2", 3, 4, "skins/grok.pcx", StatusDetails{"pain203", 2, 3});
    EXPECT_EQ(line, "grok.md2  pain_2 3/4 pain203  grok.pcx 2/3");
    formatStatusLine(line, "grok.md2", "pain_2", 3, 4, "", StatusDetails{"pa\tin", 2, 3});
    EXPECT_EQ(line, "grok.md2  pain_2 3/4 pa?in  no skin") << "no skin has no count; the name is made printable";
}

TEST(Info, ALineTooLongForTheWindowEndsInDots)
{
    struct Case {
        const char* line;
        int32_t maxChars;
        const char* fitted;
    };
    const Case cases[] = {
        {"tris.md2  stand 1/2", 19, "tris.md2  stand 1/2"},
        {"tris.md2  stand 1/2", 18, "tris.md2  stand..."},
        {"abcdef", 4, "a..."},
        {"abcdef", 3, "..."},
        {"abcdef", 1, "."},
        {"abcdef", 0, ""},
        {"", 5, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fitLine(c.line, c.maxChars), c.fitted) << c.line << " in " << c.maxChars;
    }
    // The last character's quad is wider than the pen's step.
    EXPECT_EQ(overlayCharsThatFit(15), 0);
    EXPECT_EQ(overlayCharsThatFit(16), 1);
    EXPECT_EQ(overlayCharsThatFit(27), 1);
    EXPECT_EQ(overlayCharsThatFit(28), 2);
    EXPECT_EQ(overlayCharsThatFit(320), 26);
}

// Bytes that are not UTF-8 still take one '?' each, and never swallow the characters after them.
TEST(Info, NamesAreDecodedAsUtf8OneCharacterAtATime)
{
    const std::pair<const char*, const char*> names[] = {
        {"plain.md2", "plain.md2"},
        {"\xc3\xa9t\xc3\xa9", "?t?"},
        {"\xe9t\xe9", "?t?"},                     // Latin-1 bytes, not UTF-8
        {"a\xc3", "a?"},                          // cut short at the end
        {"\xe4\xb8x", "??x"},                     // cut short before an ASCII letter
        {"\xc0\xaf", "??"},                       // an overlong '/'
        {"\xed\xa0\x80", "???"},                  // a surrogate
        {"\xf4\x90\x80\x80", "????"},             // past U+10FFFF
        {"\x80\xbf.pcx", "??.pcx"},               // stray continuations
        {"tab\tnew\nline\x7f", "tab?new?line?"},  // control characters
    };
    for (const auto& [name, shown] : names) {
        EXPECT_EQ(printableName(name), shown) << name;
    }
    EXPECT_EQ(latin1FromUtf8("mod\xc3\xa8le \xe4\xb8\xad.md2 - Brevant"), "mod\xe8le ?.md2 - Brevant");
    EXPECT_EQ(latin1FromUtf8("\xc2\xa0\xc3\xbf\xc4\x80\xc2\x85\xe9"), "\xa0\xff???");
}

TEST(Info, WindowTitleIsTheFileNameAndTheProgram)
{
    EXPECT_EQ(windowTitleFor("sydney.md2"), "sydney.md2 - Brevant");
    EXPECT_EQ(windowTitleFor("models/players/sydney.md2"), "sydney.md2 - Brevant");
    EXPECT_EQ(windowTitleFor("C:\\models\\a b\\\xc3\xa9t\xc3\xa9.md2"), "\xc3\xa9t\xc3\xa9.md2 - Brevant");
    EXPECT_EQ(windowTitleFor("mixed\\dir/last.md2"), "last.md2 - Brevant");
    EXPECT_EQ(windowTitleFor("folder/"), "Brevant");
}

}  // namespace
