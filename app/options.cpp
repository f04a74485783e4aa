// Viewer mode's command line into ViewerOptions; see options.h.
// Each option is one row of optionRows, usage line included, so withdrawing an option is deleting its row.
#include "app/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "app/info.h"

// The build passes the project's version, so it is written in one place only.
#ifndef BREVANT_VERSION
#error "BREVANT_VERSION is defined by the build from the project's version"
#endif

namespace {

constexpr int32_t maxWindowSide = 16384;
// Far beyond any display's refresh; it only keeps a typo like 1e9 from making the clock meaningless.
constexpr double maxFps = 1000.0;

// Empty when the value was applied, else the usage fault. help and version say so through action.
using OptionHandler = std::string (*)(const std::string& value, ViewerOptions& options, OptionsAction& action);

struct OptionRow {
    const char* name;       // with its leading dashes
    const char* shortName;  // "-h", or nullptr
    const char* valueName;  // nullptr: a switch that takes no value
    const char* help;
    OptionHandler apply;
};

std::string quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

// The whole of text as a finite double; from_chars ignores the locale, unlike strtod.
bool parseNumber(const std::string& text, double& value)
{
    const char* end = text.data() + text.size();
    const auto [stop, status] = std::from_chars(text.data(), end, value);
    return status == std::errc{} && stop == end && std::isfinite(value);
}

// The whole of text as a decimal int32 without sign.
bool parseCount(std::string_view text, int32_t& value)
{
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return false;
    }
    const char* end = text.data() + text.size();
    const auto [stop, status] = std::from_chars(text.data(), end, value);
    return status == std::errc{} && stop == end;
}

std::string applySkin(const std::string& value, ViewerOptions& options, OptionsAction&)
{
    options.skinPath = value;
    return {};
}

std::string applySkinIndex(const std::string& value, ViewerOptions& options, OptionsAction&)
{
    if (!parseCount(value, options.skinIndex)) {
        return "--skin-index needs a whole number from 0 up, not " + quoted(value);
    }
    options.hasSkinIndex = true;
    return {};
}

std::string applyNoSkin(const std::string&, ViewerOptions& options, OptionsAction&)
{
    options.noSkin = true;
    return {};
}

std::string applyFrame(const std::string& value, ViewerOptions& options, OptionsAction&)
{
    double frame = 0.0;
    if (!parseNumber(value, frame) || frame < 0.0) {
        return "--frame needs a keyframe number from 0 up, like 10 or 10.25, not " + quoted(value);
    }
    options.hasFrame = true;
    options.frame = frame + 0.0;  // -0 becomes 0
    return {};
}

std::string applyAnim(const std::string& value, ViewerOptions& options, OptionsAction&)
{
    options.animation = value;
    return {};
}

std::string applyFps(const std::string& value, ViewerOptions& options, OptionsAction&)
{
    double fps = 0.0;
    if (!parseNumber(value, fps) || fps <= 0.0 || fps > maxFps) {
        return "--fps needs a number above 0 and at most 1000, like 10, not " + quoted(value);
    }
    options.fps = fps;
    return {};
}

std::string applyWeapon(const std::string& value, ViewerOptions& options, OptionsAction&)
{
    options.weaponPath = value;
    return {};
}

std::string applyGameDir(const std::string& value, ViewerOptions& options, OptionsAction&)
{
    options.gameDir = value;
    return {};
}

std::string applySize(const std::string& value, ViewerOptions& options, OptionsAction&)
{
    const size_t cross = value.find_first_of("xX");
    if (cross == std::string::npos) {
        return "--size needs WxH, like 800x600, not " + quoted(value);
    }
    const std::string_view text(value);
    int32_t width = 0;
    int32_t height = 0;
    const std::string_view widthText = text.substr(0, cross);
    const std::string_view heightText = text.substr(cross + 1);
    const auto allDigits = [](std::string_view part) {
        return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (!allDigits(widthText) || !allDigits(heightText)) {
        return "--size needs WxH, like 800x600, not " + quoted(value);
    }
    // Digits that overflow int32 are out of range like any other large side.
    if (!parseCount(widthText, width) || !parseCount(heightText, height) || width < 1 || height < 1 ||
        width > maxWindowSide || height > maxWindowSide) {
        return "--size needs a width and height from 1 to 16384, not " + quoted(value);
    }
    options.width = width;
    options.height = height;
    options.hasSize = true;
    return {};
}

std::string applyMaxFrameRate(const std::string& value, ViewerOptions& options, OptionsAction&)
{
    int32_t rate = 0;
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos || !parseCount(value, rate) ||
        rate > maxFrameRateCap) {
        return "--max-frame-rate needs a whole number from 0 to 1000 (0: flat out), not " + quoted(value);
    }
    options.maxFrameRate = rate;
    return {};
}

std::string applyBackground(const std::string& value, ViewerOptions& options, OptionsAction&)
{
    if (!parseBackground(value, options.background)) {
        return "--background needs #RRGGBB, like #203040, or transparent, not " + quoted(value);
    }
    options.background.given = true;
    return {};
}

std::string applyScreenshot(const std::string& value, ViewerOptions& options, OptionsAction&)
{
    if (pictureFormatFor(value) == PictureFormat::none) {
        return "--screenshot needs a name ending in .png, .jpg, .jpeg, .bmp or .tga, not " + quoted(value);
    }
    options.screenshotPath = value;
    return {};
}

std::string applySheet(const std::string& value, ViewerOptions& options, OptionsAction&)
{
    if (pictureFormatFor(value) != PictureFormat::png) {
        return "--sheet needs a name ending in .png, not " + quoted(value);
    }
    options.sheetPath = value;
    return {};
}

// SIZE only; the model and the picture's name are the two words that follow, taken once every option is read.
std::string applyThumbnail(const std::string& value, ViewerOptions& options, OptionsAction&)
{
    int32_t size = 0;
    if (!parseCount(value, size) || size < 1 || size > maxThumbnailSide) {
        return "--thumbnail needs a size from 1 to 4096 pixels, not " + quoted(value);
    }
    options.thumbnailSize = size;
    return {};
}

std::string applyExport(const std::string& value, ViewerOptions& options, OptionsAction&)
{
    options.exportPath = value;
    return {};
}

std::string applyInfo(const std::string&, ViewerOptions& options, OptionsAction&)
{
    options.info = true;
    return {};
}

// The first of --help and --version given is what is printed, once every other option has been checked.
std::string applyHelp(const std::string&, ViewerOptions&, OptionsAction& action)
{
    if (action == OptionsAction::run) {
        action = OptionsAction::help;
    }
    return {};
}

std::string applyVersion(const std::string&, ViewerOptions&, OptionsAction& action)
{
    if (action == OptionsAction::run) {
        action = OptionsAction::version;
    }
    return {};
}

// The usage text spells out the default size the options record opens with.
static_assert(viewerDefaultWidth == 640 && viewerDefaultHeight == 480, "--size's help names the default size");

const OptionRow optionRows[] = {
    {"--skin", nullptr, "FILE", "this image is the skin (PCX, PNG, TGA, JPEG or BMP)", applySkin},
    {"--skin-index", nullptr, "N", "which of the model's skin names to look up (default 0)", applySkinIndex},
    {"--no-skin", nullptr, nullptr, "untextured and lit", applyNoSkin},
    {"--frame", nullptr, "F", "show keyframe F, paused (10.25 blends 10 and 11)", applyFrame},
    {"--anim", nullptr, "NAME", "play animation NAME, looping (as --info lists them)", applyAnim},
    {"--fps", nullptr, "N", "keyframes per second for playback (default 10)", applyFps},
    {"--weapon", nullptr, "FILE", "also draw a second MD2, such as a weapon, in step", applyWeapon},
    {"--size", nullptr, "WxH", "window client size (default 640x480)", applySize},
    {"--max-frame-rate", nullptr, "N", "at most N frames a second while playing (default 120; 0: flat out)",
     applyMaxFrameRate},
    {"--background", nullptr, "COLOR", "#RRGGBB behind the model, or transparent in pictures saved", applyBackground},
    {"--screenshot", nullptr, "FILE", "draw the first frame, save it (.png .jpg .bmp .tga), exit", applyScreenshot},
    {"--sheet", nullptr, "FILE", "save every keyframe of --anim in one .png grid (cells of --size, 128x128)",
     applySheet},
    {"--thumbnail", nullptr, "SIZE", "--thumbnail SIZE MODEL OUT: a SIZE x SIZE PNG with a clear background",
     applyThumbnail},
    {"--export", nullptr, "FILE",
     "write FILE.glb (every keyframe) or FILE.obj (--frame) and exit; a folder: one .glb each", applyExport},
    {"--game-dir", nullptr, "DIR", "read models and skins by game path from DIR's .pak, .pk3 and files", applyGameDir},
    {"--info", nullptr, nullptr, "print what the model holds and exit; opens no window", applyInfo},
    {"--help", "-h", nullptr, "print this and exit", applyHelp},
    {"--version", "-V", nullptr, "print the version and exit", applyVersion},
};

const OptionRow* findRow(std::string_view name)
{
    for (const OptionRow& row : optionRows) {
        if (name == row.name || (row.shortName != nullptr && name == row.shortName)) {
            return &row;
        }
    }
    return nullptr;
}

// Options that each make sense alone but contradict each other.
std::string conflictIn(const ViewerOptions& options)
{
    if (options.noSkin && !options.skinPath.empty()) {
        return "--skin and --no-skin cannot be used together";
    }
    if (options.hasFrame && !options.animation.empty()) {
        return "--frame and --anim cannot be used together";
    }
    if (!options.exportPath.empty() && (options.info || !options.screenshotPath.empty())) {
        return std::string("--export cannot be used with ") + (options.info ? "--info" : "--screenshot");
    }
    if (!options.exportPath.empty() && !options.weaponPath.empty()) {
        return "--export writes the model alone and cannot be used with --weapon";
    }
    if (options.info && !options.screenshotPath.empty()) {
        return "--info and --screenshot cannot be used together";
    }
    const char* pictures[] = {options.screenshotPath.empty() ? nullptr : "--screenshot",
                              options.sheetPath.empty() ? nullptr : "--sheet",
                              options.thumbnailSize == 0 ? nullptr : "--thumbnail"};
    const char* first = nullptr;
    for (const char* picture : pictures) {
        if (picture != nullptr && first != nullptr) {
            return std::string(first) + " and " + picture + " cannot be used together";
        }
        first = first != nullptr ? first : picture;
    }
    if (first != nullptr && (options.info || !options.exportPath.empty())) {
        return std::string(first) + " cannot be used with " + (options.info ? "--info" : "--export");
    }
    if (options.thumbnailSize != 0 && (options.hasFrame || !options.animation.empty() || options.hasSize)) {
        return "--thumbnail shows the first animation's first keyframe at its own size: no --frame, --anim or --size";
    }
    if (!options.sheetPath.empty() && options.hasFrame) {
        return "--sheet draws every keyframe of the animation and cannot be used with --frame";
    }
    return {};
}

OptionsOutcome fault(std::string message)
{
    return {OptionsAction::usageFault, std::move(message)};
}

std::string buildUsage()
{
    std::string text =
        "usage: brevant [OPTIONS] [MODEL]\n"
        "       brevant --export FOLDER/ [OPTIONS] MODEL...\n"
        "       brevant --thumbnail SIZE [OPTIONS] MODEL OUT.png\n\n"
        "Shows an MD2 model; without MODEL, tris.md2 in the working folder, else the installed example.\n"
        "Options take their value as --name VALUE or --name=VALUE; -- ends the options.\n\n";
    size_t column = 0;
    for (const OptionRow& row : optionRows) {
        const size_t width = std::string_view(row.name).size() +
                             (row.shortName ? 2 + std::string_view(row.shortName).size() : 0) +
                             (row.valueName ? 1 + std::string_view(row.valueName).size() : 0);
        column = std::max(column, width);
    }
    for (const OptionRow& row : optionRows) {
        std::string left = row.shortName != nullptr ? std::string(row.shortName) + ", " + row.name : row.name;
        if (row.valueName) {
            left += std::string(" ") + row.valueName;
        }
        text += "  " + left + std::string(column + 2 - left.size(), ' ') + row.help + "\n";
    }
    text +=
        "\nKeys:\n"
        "  arrows, left-drag     turn the model\n"
        "  A / Z, wheel          move nearer / farther\n"
        "  Home, R               frame the animation shown now\n"
        "  Space                 play or pause\n"
        "  , / .                 one keyframe back / forward, paused\n"
        "  Page Up / Page Down   previous / next animation\n"
        "  S                     skin on or off\n"
        "  [ / ]                 previous / next skin\n"
        "  W                     wireframe\n"
        "  L                     light from the eye on or off\n"
        "  Tab / Shift+Tab       next / previous model in the folder or archive\n"
        "  F12                   save brevant-NNNN.png in the working folder\n"
        "  Esc                   quit\n";
    return text;
}

}  // namespace

OptionsOutcome parseOptions(const std::vector<std::string>& args, ViewerOptions& options)
{
    bool optionsEnded = false;
    bool haveModel = false;
    OptionsAction action = OptionsAction::run;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // A lone "-" is not an option by convention, so it names a model like any other word.
        const bool looksLikeOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
        if (!looksLikeOption) {
            if (arg.empty()) {
                return fault("the model's name is empty");
            }
            if (!haveModel) {
                options.modelPath = arg;
            }
            options.modelPaths.push_back(arg);
            haveModel = true;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string_view name = std::string_view(arg).substr(0, equals);
        const OptionRow* row = findRow(name);
        if (row == nullptr) {
            return fault("unknown option " + quoted(name));
        }
        std::string value;
        if (row->valueName == nullptr) {
            if (equals != std::string::npos) {
                return fault(std::string(row->name) + " takes no value");
            }
        } else if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size() && !(args[i + 1].size() > 1 && args[i + 1].compare(0, 2, "--") == 0)) {
            // A following "--word" is taken for the next option, not a value: "--skin --no-skin" is a
            // missing value. A file whose name starts so is given as --skin=--odd.pcx.
            value = args[++i];
        }
        // No option means anything by an empty value, so "--skin=" is as missing as a bare "--skin".
        if (row->valueName != nullptr && value.empty()) {
            return fault(std::string(row->name) + " needs a value: " + row->name + " " + row->valueName);
        }
        std::string problem = row->apply(value, options, action);
        if (!problem.empty()) {
            return fault(std::move(problem));
        }
    }
    // --thumbnail SIZE IN OUT, as a thumbnailer's command line gives it.
    if (options.thumbnailSize != 0) {
        if (options.modelPaths.size() != 2) {
            return fault("--thumbnail needs a model and the picture to write: --thumbnail SIZE MODEL OUT");
        }
        options.thumbnailPath = options.modelPaths[1];
        options.modelPaths.pop_back();
        options.width = options.thumbnailSize;
        options.height = options.thumbnailSize;
    }
    if (!options.sheetPath.empty() && !options.hasSize) {
        options.width = sheetDefaultCell;
        options.height = sheetDefaultCell;
    }
    // Several models are a batch for --export, which may come after them.
    if (options.modelPaths.size() > 1 && options.exportPath.empty()) {
        return fault("one model at most, but both " + quoted(options.modelPaths[0]) + " and " +
                     quoted(options.modelPaths[1]) + " were given");
    }
    std::string conflict = conflictIn(options);
    if (!conflict.empty()) {
        return fault(std::move(conflict));
    }
    if (action == OptionsAction::help) {
        return {OptionsAction::help, usageText()};
    }
    if (action == OptionsAction::version) {
        return {OptionsAction::version, versionText()};
    }
    return {options.info ? OptionsAction::info : OptionsAction::run, {}};
}

namespace {

std::string lowerAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string keyframeText(double keyframe)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", keyframe);
    return text;
}

}  // namespace

bool parseBackground(std::string_view text, ViewerBackground& background)
{
    if (text == "transparent") {
        background = ViewerBackground{0, 0, 0, true};
        return true;
    }
    if (text.size() != 7 || text[0] != '#') {
        return false;
    }
    uint8_t channels[3] = {};
    for (int c = 0; c < 3; ++c) {
        int value = 0;
        for (int k = 1 + 2 * c; k < 3 + 2 * c; ++k) {
            const char ch = text[k];
            const int digit = ch >= '0' && ch <= '9'   ? ch - '0'
                              : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
                              : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10
                                                       : -1;
            if (digit < 0) {
                return false;
            }
            value = value * 16 + digit;
        }
        channels[c] = static_cast<uint8_t>(value);
    }
    background = ViewerBackground{channels[0], channels[1], channels[2], false};
    return true;
}

int32_t findAnimationNamed(const std::vector<Md2Animation>& animations, const std::string& name)
{
    const std::string wanted = lowerAscii(name);
    for (size_t index = 0; index < animations.size(); ++index) {
        if (lowerAscii(animations[index].name) == wanted) {
            return static_cast<int32_t>(index);
        }
    }
    return -1;
}

std::string modelOptionsFault(const ViewerOptions& options, const Md2Model& model, const std::string& path)
{
    const std::string name = fileNameOf(path);
    // Counts below zero mean an absent array, as the loader reads them.
    const int32_t frames = model.frames != nullptr && model.numFrames > 0 ? model.numFrames : 0;
    if (options.hasFrame && (frames == 0 || options.frame > frames - 1)) {
        const std::string range = frames == 0 ? "it has no keyframes" : "0-" + std::to_string(frames - 1);
        return "--frame " + keyframeText(options.frame) + " is outside " + name + "'s keyframes (" + range + ")";
    }
    const int32_t skins = model.skins != nullptr && model.numSkins > 0 ? model.numSkins : 0;
    if (options.hasSkinIndex && options.skinIndex >= skins) {
        const std::string range = skins == 0   ? "it has none"
                                  : skins == 1 ? "it has 1, index 0"
                                               : "it has " + std::to_string(skins) + ", 0-" + std::to_string(skins - 1);
        return "--skin-index " + std::to_string(options.skinIndex) + " is outside " + name + "'s skin names (" + range +
               ")";
    }
    if (!options.animation.empty()) {
        const std::vector<Md2Animation> animations = findAnimations(model);
        if (findAnimationNamed(animations, options.animation) < 0) {
            std::string names;
            for (const Md2Animation& animation : animations) {
                if (names.find(" " + animation.name + ",") == std::string::npos) {
                    names += " " + animation.name + ",";
                }
            }
            names = names.empty() ? " none" : names.substr(0, names.size() - 1);
            return "no animation \"" + options.animation + "\" in " + name + "; its animations:" + names;
        }
    }
    return {};
}

bool optionsDrawOffscreen(const ViewerOptions& options)
{
    return !options.screenshotPath.empty() || !options.sheetPath.empty() || !options.thumbnailPath.empty();
}

int exitCodeFor(const OptionsOutcome& outcome)
{
    return outcome.action == OptionsAction::usageFault ? exitUsageFault : exitSuccess;
}

const char* usageText()
{
    // Built once from the rows; it never changes after that.
    static const std::string text = buildUsage();
    return text.c_str();
}

const char* versionText()
{
    return "brevant " BREVANT_VERSION;
}
