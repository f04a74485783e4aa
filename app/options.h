// Viewer mode's command line: the arguments after the program name into a ViewerOptions record, or the
// one-line usage fault that explains why not. GL-free and platform-free; the backends print what it returns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/pictureFile.h"
#include "base/viewerEvent.h"
#include "model/md2.h"
#include "model/md2Animations.h"

// Behind the model: a colour, or for pictures written, nothing (alpha 0); a window shows transparent as black.
struct ViewerBackground {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    bool transparent = false;
    bool given = false;  // named with --background, so sheets take it rather than their transparent default
};

// Playing, viewer mode draws at most this many frames a second unless --max-frame-rate says otherwise.
inline constexpr int32_t viewerDefaultFrameRate = 120;
inline constexpr int32_t maxFrameRateCap = 1000;

struct ViewerOptions {
    std::string modelPath;                // empty: tris.md2 in the working folder
    std::vector<std::string> modelPaths;  // every model named, modelPath first; several only with --export
    std::string skinPath;
    int32_t skinIndex = 0;
    bool hasSkinIndex = false;  // given on the command line, so it must name one of the model's skins
    bool noSkin = false;
    bool hasFrame = false;
    double frame = 0.0;  // keyframe, a fraction blends its two neighbours; the caller checks it against the model
    std::string animation;
    double fps = 10.0;
    std::string weaponPath;
    int32_t width = viewerDefaultWidth;
    int32_t height = viewerDefaultHeight;
    int32_t maxFrameRate = viewerDefaultFrameRate;  // 0: every frame, flat out, paused or not
    ViewerBackground background;
    std::string screenshotPath;
    bool info = false;
    std::string exportPath;     // a .glb or .obj file, or a folder for one .glb per model
    bool hasSize = false;       // --size given, so a sheet's cells take it rather than their own default
    std::string sheetPath;      // every keyframe of the run in one PNG grid
    std::string thumbnailPath;  // a square PNG of thumbnailSize pixels for file managers
    int32_t thumbnailSize = 0;
    std::string gameDir;  // a game's folder: MODEL and skin names are game paths in its archives and files
};

// A sheet's cells without --size, and the largest thumbnail side taken.
inline constexpr int32_t sheetDefaultCell = 128;
inline constexpr int32_t maxThumbnailSide = 4096;

// Runs that only write a picture (--screenshot, --sheet, --thumbnail) draw without showing a window.
bool optionsDrawOffscreen(const ViewerOptions& options);

enum class OptionsAction { run, info, help, version, usageFault };

// help: message is the usage text; version: the version line; usageFault: the one line saying what is wrong,
// without the program's name, which the caller prints as "brevant: MESSAGE" followed by the usage.
struct OptionsOutcome {
    OptionsAction action = OptionsAction::run;
    std::string message;
};

// The arguments without the program's name. Every option is parsed, left to right, before anything is done: the
// first fault ends parsing, and wins over --help and --version wherever they stand ("--help --bogus" is a fault).
// Otherwise the first of --help (-h) and --version (-V) is the outcome.
OptionsOutcome parseOptions(const std::vector<std::string>& args, ViewerOptions& options);

// What the model read shows wrong with the options: --frame past its keyframes, --skin-index past its skin names,
// an --anim it lacks. Empty when none; otherwise the usage fault's line, naming the model by its file name.
std::string modelOptionsFault(const ViewerOptions& options, const Md2Model& model, const std::string& path);

// "#RRGGBB" (either case) or "transparent"; false, leaving background alone, for anything else.
bool parseBackground(std::string_view text, ViewerBackground& background);

// The animation named so, compared without ASCII case; -1 when there is none.
int32_t findAnimationNamed(const std::vector<Md2Animation>& animations, const std::string& name);

// Viewer mode's exit codes, in one place: 0 success, 1 a file that cannot be used, 2 a usage fault.
inline constexpr int exitSuccess = 0;
inline constexpr int exitFileFault = 1;
inline constexpr int exitUsageFault = 2;

// 0 for help and version, 2 for a usage fault; 0 for run and info, whose real status comes from doing them.
int exitCodeFor(const OptionsOutcome& outcome);

// Every option and the keys, for --help and after a usage fault; ends with a newline.
const char* usageText();

// "brevant VERSION" without a newline.
const char* versionText();
