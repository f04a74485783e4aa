// The viewer's command line: every option's effect, every usage fault with the line it prints, and the exit
// code each outcome leads to.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/options.h"
#include "support/md2Builder.h"
#include "support/testModel.h"

namespace {

struct OptionsCase {
    const char* label;
    std::vector<std::string> args;
    OptionsAction action;
    int exitCode;
    // The usage fault's line must contain this; for other actions the message is checked elsewhere.
    const char* messagePart;
    std::function<void(const ViewerOptions&)> check;
};

void defaults(const ViewerOptions& o)
{
    EXPECT_EQ(o.modelPath, "");
    EXPECT_EQ(o.skinPath, "");
    EXPECT_EQ(o.skinIndex, 0);
    EXPECT_FALSE(o.noSkin);
    EXPECT_FALSE(o.hasFrame);
    EXPECT_EQ(o.animation, "");
    EXPECT_EQ(o.fps, 10.0);
    EXPECT_EQ(o.weaponPath, "");
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.height, 480);
    EXPECT_EQ(o.screenshotPath, "");
    EXPECT_EQ(o.maxFrameRate, viewerDefaultFrameRate);
    EXPECT_FALSE(o.background.transparent);
    EXPECT_EQ(o.background.red + o.background.green + o.background.blue, 0);
    EXPECT_FALSE(o.info);
}

const OptionsAction run = OptionsAction::run;
const OptionsAction fault = OptionsAction::usageFault;

const OptionsCase optionsCases[] = {
    {"nothing", {}, run, 0, "", defaults},
    {"model", {"models/ogro.md2"}, run, 0, "", [](auto& o) { EXPECT_EQ(o.modelPath, "models/ogro.md2"); }},
    {"lone dash is a model", {"-"}, run, 0, "", [](auto& o) { EXPECT_EQ(o.modelPath, "-"); }},
    {"dash model after --", {"--", "-x.md2"}, run, 0, "", [](auto& o) { EXPECT_EQ(o.modelPath, "-x.md2"); }},
    {"option-like model after --",
     {"--fps", "5", "--", "--info"},
     run,
     0,
     "",
     [](auto& o) {
         EXPECT_EQ(o.modelPath, "--info");
         EXPECT_FALSE(o.info);
         EXPECT_EQ(o.fps, 5.0);
     }},
    {"skin",
     {"--skin", "a b/é.pcx", "m.md2"},
     run,
     0,
     "",
     [](auto& o) {
         EXPECT_EQ(o.skinPath, "a b/é.pcx");
         EXPECT_EQ(o.modelPath, "m.md2");
     }},
    {"skin with equals keeps later equals",
     {"--skin=x=y.png"},
     run,
     0,
     "",
     [](auto& o) { EXPECT_EQ(o.skinPath, "x=y.png"); }},
    {"skin starting with dashes through equals",
     {"--skin=--odd.pcx"},
     run,
     0,
     "",
     [](auto& o) { EXPECT_EQ(o.skinPath, "--odd.pcx"); }},
    {"skin starting with one dash",
     {"--skin", "-odd.pcx"},
     run,
     0,
     "",
     [](auto& o) { EXPECT_EQ(o.skinPath, "-odd.pcx"); }},
    {"skin index",
     {"--skin-index", "3"},
     run,
     0,
     "",
     [](auto& o) {
         EXPECT_EQ(o.skinIndex, 3);
         EXPECT_TRUE(o.hasSkinIndex);
     }},
    {"skin index zero", {"--skin-index=0"}, run, 0, "", [](auto& o) { EXPECT_EQ(o.skinIndex, 0); }},
    {"no skin", {"--no-skin"}, run, 0, "", [](auto& o) { EXPECT_TRUE(o.noSkin); }},
    {"frame whole",
     {"--frame", "12"},
     run,
     0,
     "",
     [](auto& o) {
         EXPECT_TRUE(o.hasFrame);
         EXPECT_EQ(o.frame, 12.0);
     }},
    {"frame fraction",
     {"--frame=10.25"},
     run,
     0,
     "",
     [](auto& o) {
         EXPECT_TRUE(o.hasFrame);
         EXPECT_EQ(o.frame, 10.25);
     }},
    {"frame zero", {"--frame", "0"}, run, 0, "", [](auto& o) { EXPECT_TRUE(o.hasFrame); }},
    {"anim", {"--anim", "run"}, run, 0, "", [](auto& o) { EXPECT_EQ(o.animation, "run"); }},
    {"fps fraction", {"--fps", "2.5"}, run, 0, "", [](auto& o) { EXPECT_EQ(o.fps, 2.5); }},
    {"fps at the cap", {"--fps=1000"}, run, 0, "", [](auto& o) { EXPECT_EQ(o.fps, 1000.0); }},
    {"weapon", {"--weapon", "w_shotgun.md2"}, run, 0, "", [](auto& o) { EXPECT_EQ(o.weaponPath, "w_shotgun.md2"); }},
    {"game dir",
     {"--game-dir", "baseq2", "models/tank/tris.md2"},
     run,
     0,
     "",
     [](auto& o) {
         EXPECT_EQ(o.gameDir, "baseq2");
         EXPECT_EQ(o.modelPath, "models/tank/tris.md2");
     }},
    {"size",
     {"--size", "800x600"},
     run,
     0,
     "",
     [](auto& o) {
         EXPECT_EQ(o.width, 800);
         EXPECT_EQ(o.height, 600);
     }},
    {"size capital X and limits",
     {"--size=1X16384"},
     run,
     0,
     "",
     [](auto& o) {
         EXPECT_EQ(o.width, 1);
         EXPECT_EQ(o.height, 16384);
     }},
    {"screenshot", {"--screenshot", "out.png"}, run, 0, "", [](auto& o) { EXPECT_EQ(o.screenshotPath, "out.png"); }},
    {"later value wins", {"--fps", "5", "--fps", "20"}, run, 0, "", [](auto& o) { EXPECT_EQ(o.fps, 20.0); }},
    {"later file and name win",
     {"--skin", "a.png", "--weapon", "w1.md2", "--anim", "run", "--screenshot", "a.png", "--skin=b.png", "--weapon",
      "w2.md2", "--anim=pain", "--screenshot", "b.tga"},
     run,
     0,
     "",
     [](auto& o) {
         EXPECT_EQ(o.skinPath, "b.png");
         EXPECT_EQ(o.weaponPath, "w2.md2");
         EXPECT_EQ(o.animation, "pain");
         EXPECT_EQ(o.screenshotPath, "b.tga");
     }},
    {"screenshot formats by extension",
     {"--screenshot", "shots/Out.JPEG"},
     run,
     0,
     "",
     [](auto& o) { EXPECT_EQ(o.screenshotPath, "shots/Out.JPEG"); }},
    {"info",
     {"m.md2", "--info"},
     OptionsAction::info,
     0,
     "",
     [](auto& o) {
         EXPECT_TRUE(o.info);
         EXPECT_EQ(o.modelPath, "m.md2");
     }},
    {"help", {"--help"}, OptionsAction::help, 0, "", nullptr},
    {"version", {"m.md2", "--version"}, OptionsAction::version, 0, "", nullptr},
    {"short help", {"-h"}, OptionsAction::help, 0, "", nullptr},
    {"short version", {"-V", "m.md2"}, OptionsAction::version, 0, "", nullptr},
    {"first of help and version", {"--version", "-h"}, OptionsAction::version, 0, "", nullptr},

    {"unknown option", {"--bogus"}, fault, 2, "unknown option '--bogus'", nullptr},
    {"unknown option with value", {"--bogus=1"}, fault, 2, "unknown option '--bogus'", nullptr},
    {"unknown short option", {"-x"}, fault, 2, "unknown option '-x'", nullptr},
    {"fault before help", {"--bogus", "--help"}, fault, 2, "unknown option '--bogus'", nullptr},
    {"fault after help", {"--help", "--bogus"}, fault, 2, "unknown option '--bogus'", nullptr},
    {"fault after version", {"--version", "--bogus"}, fault, 2, "unknown option '--bogus'", nullptr},
    {"fault after short version", {"-V", "--fps", "0"}, fault, 2, "--fps needs", nullptr},
    {"conflict after help", {"-h", "--no-skin", "--skin", "a.pcx"}, fault, 2, "--skin and --no-skin", nullptr},
    {"short help with a value", {"-h=1"}, fault, 2, "--help takes no value", nullptr},
    {"screenshot of no known format", {"--screenshot", "x.gif"}, fault, 2, "not 'x.gif'", nullptr},
    {"screenshot without extension", {"--screenshot", "shot"}, fault, 2, ".png, .jpg, .jpeg, .bmp or .tga", nullptr},
    {"screenshot dot in folder only", {"--screenshot", "a.png/shot"}, fault, 2, "--screenshot needs", nullptr},
    {"info and screenshot", {"--info", "--screenshot", "a.png"}, fault, 2, "--info and --screenshot", nullptr},
    {"prefix of an option", {"--sk", "a.pcx"}, fault, 2, "unknown option '--sk'", nullptr},
    {"missing value at end", {"m.md2", "--skin"}, fault, 2, "--skin needs a value", nullptr},
    {"missing value before option", {"--skin", "--no-skin"}, fault, 2, "--skin needs a value", nullptr},
    {"empty value", {"--weapon="}, fault, 2, "--weapon needs a value", nullptr},
    {"empty separate value", {"--anim", ""}, fault, 2, "--anim needs a value", nullptr},
    {"switch given a value", {"--no-skin=yes"}, fault, 2, "--no-skin takes no value", nullptr},
    {"frame rate flat out",
     {"--max-frame-rate", "0"},
     run,
     0,
     "",
     [](const ViewerOptions& o) { EXPECT_EQ(o.maxFrameRate, 0); }},
    {"frame rate capped",
     {"--max-frame-rate=60"},
     run,
     0,
     "",
     [](const ViewerOptions& o) { EXPECT_EQ(o.maxFrameRate, 60); }},
    {"frame rate negative", {"--max-frame-rate", "-1"}, fault, 2, "--max-frame-rate needs a whole number", nullptr},
    {"frame rate fraction", {"--max-frame-rate", "59.9"}, fault, 2, "--max-frame-rate needs a whole number", nullptr},
    {"frame rate too high", {"--max-frame-rate", "1001"}, fault, 2, "from 0 to 1000", nullptr},
    {"background colour",
     {"--background", "#20a0Ff"},
     run,
     0,
     "",
     [](const ViewerOptions& o) {
         EXPECT_EQ(o.background.red, 0x20);
         EXPECT_EQ(o.background.green, 0xa0);
         EXPECT_EQ(o.background.blue, 0xff);
         EXPECT_FALSE(o.background.transparent);
     }},
    {"background transparent",
     {"--background=transparent"},
     run,
     0,
     "",
     [](const ViewerOptions& o) { EXPECT_TRUE(o.background.transparent); }},
    {"background without hash", {"--background", "203040"}, fault, 2, "--background needs #RRGGBB", nullptr},
    {"background short", {"--background", "#fff"}, fault, 2, "--background needs #RRGGBB", nullptr},
    {"background not hex", {"--background", "#12345g"}, fault, 2, "not '#12345g'", nullptr},
    {"background a name", {"--background", "black"}, fault, 2, "--background needs #RRGGBB", nullptr},
    {"size without cross", {"--size", "800"}, fault, 2, "--size needs WxH, like 800x600, not '800'", nullptr},
    {"size missing height", {"--size", "800x"}, fault, 2, "--size needs WxH", nullptr},
    {"size signed", {"--size", "-800x600"}, fault, 2, "--size needs WxH", nullptr},
    {"size with spaces", {"--size", "800 x 600"}, fault, 2, "--size needs WxH", nullptr},
    {"size zero", {"--size", "0x600"}, fault, 2, "from 1 to 16384, not '0x600'", nullptr},
    {"size too large", {"--size", "800x16385"}, fault, 2, "from 1 to 16384", nullptr},
    {"size beyond int", {"--size", "99999999999x2"}, fault, 2, "from 1 to 16384", nullptr},
    {"fps zero", {"--fps", "0"}, fault, 2, "--fps needs a number above 0", nullptr},
    {"fps negative", {"--fps", "-3"}, fault, 2, "--fps needs a number above 0", nullptr},
    {"fps infinite", {"--fps", "inf"}, fault, 2, "--fps", nullptr},
    {"fps not a number", {"--fps", "nan"}, fault, 2, "--fps", nullptr},
    {"fps above the cap", {"--fps", "1000.5"}, fault, 2, "at most 1000", nullptr},
    {"fps trailing text", {"--fps", "10fps"}, fault, 2, "not '10fps'", nullptr},
    {"fps overflows double", {"--fps", "1e999"}, fault, 2, "--fps", nullptr},
    {"skin index negative", {"--skin-index", "-1"}, fault, 2, "--skin-index needs a whole number", nullptr},
    {"skin index fraction", {"--skin-index", "1.5"}, fault, 2, "--skin-index needs a whole number", nullptr},
    {"skin index plus sign", {"--skin-index", "+1"}, fault, 2, "--skin-index", nullptr},
    {"skin index beyond int", {"--skin-index", "3000000000"}, fault, 2, "--skin-index", nullptr},
    {"frame negative", {"--frame", "-1"}, fault, 2, "--frame needs a keyframe number from 0 up", nullptr},
    {"frame not a number", {"--frame", "ten"}, fault, 2, "not 'ten'", nullptr},
    {"frame infinite", {"--frame", "inf"}, fault, 2, "--frame", nullptr},
    {"skin and no skin", {"--no-skin", "--skin", "a.pcx"}, fault, 2, "--skin and --no-skin", nullptr},
    {"frame and anim", {"--anim", "run", "--frame", "2"}, fault, 2, "--frame and --anim", nullptr},
    {"two models", {"a.md2", "b.md2"}, fault, 2, "one model at most, but both 'a.md2' and 'b.md2'", nullptr},
    {"two models across --", {"a.md2", "--", "b.md2"}, fault, 2, "one model at most", nullptr},
    {"empty model name", {""}, fault, 2, "empty", nullptr},
    {"export takes several models, before or after it",
     {"a.md2", "--export", "out/", "b.md2", "c.md2"},
     run,
     0,
     "",
     [](auto& o) {
         EXPECT_EQ(o.exportPath, "out/");
         EXPECT_EQ(o.modelPath, "a.md2");
         EXPECT_EQ(o.modelPaths, (std::vector<std::string>{"a.md2", "b.md2", "c.md2"}));
     }},
    {"export with info", {"--export", "a.glb", "--info"}, fault, 2, "--export cannot be used with --info", nullptr},
    {"export with screenshot", {"--screenshot", "a.png", "--export=a.glb"}, fault, 2, "with --screenshot", nullptr},
    {"export with weapon",
     {"--export", "a.glb", "--weapon", "w.md2"},
     fault,
     2,
     "cannot be used with --weapon",
     nullptr},
    {"export without a value", {"--export"}, fault, 2, "--export needs a value", nullptr},
};

class OptionsTable : public testing::TestWithParam<OptionsCase> {};

TEST_P(OptionsTable, ParsesToItsOutcome)
{
    const OptionsCase& c = GetParam();
    ViewerOptions options;
    const OptionsOutcome outcome = parseOptions(c.args, options);
    EXPECT_EQ(outcome.action, c.action) << outcome.message;
    EXPECT_EQ(exitCodeFor(outcome), c.exitCode);
    if (c.action == OptionsAction::usageFault) {
        EXPECT_NE(outcome.message.find(c.messagePart), std::string::npos) << outcome.message;
        EXPECT_EQ(outcome.message.find('\n'), std::string::npos) << "a fault is one line: " << outcome.message;
    }
    if (c.check) {
        c.check(options);
    }
}

INSTANTIATE_TEST_SUITE_P(Options, OptionsTable, testing::ValuesIn(optionsCases),
                         [](const testing::TestParamInfo<OptionsCase>& info) {
                             std::string name;
                             for (const char* c = info.param.label; *c; ++c) {
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             }
                             return name;
                         });

TEST(Options, HelpAndVersionCarryTheirText)
{
    ViewerOptions options;
    EXPECT_EQ(parseOptions({"--help"}, options).message, usageText());
    const OptionsOutcome version = parseOptions({"--version"}, options);
    EXPECT_EQ(version.message, versionText());
    EXPECT_EQ(version.message.rfind("brevant ", 0), 0u);
}

TEST(Options, UsageDocumentsEveryOptionAndTheKeys)
{
    const std::string usage = usageText();
    EXPECT_EQ(usage.rfind("usage: brevant [OPTIONS] [MODEL]\n", 0), 0u);
    for (const char* option : {"--skin FILE", "--skin-index N", "--no-skin", "--frame F", "--anim NAME", "--fps N",
                               "--weapon FILE", "--size WxH", "--max-frame-rate N", "--background COLOR",
                               "--screenshot FILE", "--info", "-h, --help", "-V, --version"}) {
        EXPECT_NE(usage.find(std::string("  ") + option + " "), std::string::npos) << option;
    }
    for (const char* key : {"Space", "Page Up", "F12", "Esc", "Home", "wheel", "[ / ]", "L "}) {
        EXPECT_NE(usage.find(key), std::string::npos) << key;
    }
    EXPECT_EQ(usage.back(), '\n');
}

}  // namespace

namespace {

// Three skin names and the runs stand 0-1 and Run 2-4.
ModelPtr threeSkinModel()
{
    Md2Description d;
    d.skins = {"a.pcx", "b.pcx", "c.pcx"};
    Md2BuildFrame frame;
    frame.vertices = {Md2BuildVertex{}};
    for (const char* name : {"stand01", "stand02", "Run1", "Run2", "Run3"}) {
        frame.name = name;
        d.frames.push_back(frame);
    }
    return parseModel(buildMd2(d));
}

struct ModelOptionsCase {
    std::vector<std::string> args;
    const char* faultPart;  // empty: the options suit the model
};

TEST(ModelOptions, AreCheckedAgainstTheModelRead)
{
    ModelPtr model = threeSkinModel();
    ASSERT_NE(model, nullptr);
    const ModelOptionsCase cases[] = {
        {{}, ""},
        {{"--skin-index", "2"}, ""},
        {{"--skin-index", "3"}, "--skin-index 3 is outside m.md2's skin names (it has 3, 0-2)"},
        {{"--skin-index", "99"}, "--skin-index 99 is outside m.md2's skin names (it has 3, 0-2)"},
        {{"--frame", "4"}, ""},
        {{"--frame", "4.5"}, "--frame 4.5 is outside m.md2's keyframes (0-4)"},
        {{"--anim", "run"}, ""},
        {{"--anim", "STAND"}, ""},
        {{"--anim", "walk"}, "no animation \"walk\" in m.md2; its animations: stand, Run"},
    };
    for (const ModelOptionsCase& c : cases) {
        ViewerOptions options;
        ASSERT_EQ(parseOptions(c.args, options).action, OptionsAction::run);
        const std::string fault = modelOptionsFault(options, *model, "models/m.md2");
        SCOPED_TRACE(c.args.empty() ? std::string("no options") : c.args[0] + " " + c.args[1]);
        EXPECT_EQ(fault, c.faultPart);
    }
}

// A model without skins or keyframes (negative counts included) refuses any index and any frame, and says so.
TEST(ModelOptions, AModelWithoutSkinsOrFramesRefusesAnyIndexOrFrame)
{
    for (const int32_t count : {0, -1, INT32_MIN}) {
        SCOPED_TRACE(count);
        Md2Description d;
        d.skins = {"a.pcx"};
        Md2BuildFrame frame;
        frame.vertices = {Md2BuildVertex{}};
        d.frames = {frame};
        std::vector<uint8_t> bytes = buildMd2(d);
        putS32le(bytes, md2Field::numSkins, count);
        putS32le(bytes, md2Field::numFrames, count);
        ModelPtr model = parseModel(bytes);
        ASSERT_NE(model, nullptr);
        ViewerOptions options;
        ASSERT_EQ(parseOptions({"--skin-index", "0"}, options).action, OptionsAction::run);
        EXPECT_EQ(modelOptionsFault(options, *model, "m.md2"),
                  "--skin-index 0 is outside m.md2's skin names (it has none)");
        ViewerOptions framed;
        ASSERT_EQ(parseOptions({"--frame", "0"}, framed).action, OptionsAction::run);
        EXPECT_EQ(modelOptionsFault(framed, *model, "m.md2"),
                  "--frame 0 is outside m.md2's keyframes (it has no keyframes)");
        ViewerOptions plain;
        EXPECT_EQ(modelOptionsFault(plain, *model, "m.md2"), "") << "the default index names no skin, and is no fault";
    }
}

TEST(ModelOptions, AnimationsAreFoundWithoutCase)
{
    const std::vector<Md2Animation> animations = {{"stand", 0, 1}, {"Run", 2, 4}, {"run", 5, 6}};
    EXPECT_EQ(findAnimationNamed(animations, "RUN"), 1) << "the first run of that name";
    EXPECT_EQ(findAnimationNamed(animations, "Stand"), 0);
    EXPECT_EQ(findAnimationNamed(animations, "stan"), -1);
    EXPECT_EQ(findAnimationNamed({}, "stand"), -1);
}

TEST(PictureFormat, ComesFromTheExtensionWithoutCase)
{
    const std::pair<const char*, PictureFormat> cases[] = {
        {"a.png", PictureFormat::png},       {"a.PNG", PictureFormat::png},       {"a.jpg", PictureFormat::jpeg},
        {"a.b/c.Jpeg", PictureFormat::jpeg}, {"a.bmp", PictureFormat::bmp},       {"a.tga", PictureFormat::tga},
        {"a.gif", PictureFormat::none},      {"png", PictureFormat::none},        {"a.png/b", PictureFormat::none},
        {"a.png\\b", PictureFormat::none},   {"a.png.part", PictureFormat::none}, {"a.", PictureFormat::none},
    };
    for (const auto& [path, format] : cases) {
        EXPECT_EQ(pictureFormatFor(path), format) << path;
    }
}

}  // namespace
