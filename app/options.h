// Viewer mode's command line: the arguments after the program name into a ViewerOptions record, or the
// one-line usage fault that explains why not. GL-free and platform-free; the backends print what it returns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/viewerEvent.h"

struct ViewerOptions {
    std::string modelPath;                // empty: tris.md2 in the working folder
    std::vector<std::string> modelPaths;  // every model named, modelPath first; several only with --export
    std::string skinPath;
    int32_t skinIndex = 0;
    bool noSkin = false;
    bool hasFrame = false;
    double frame = 0.0;  // keyframe, a fraction blends its two neighbours; the caller checks it against the model
    std::string animation;
    double fps = 10.0;
    std::string weaponPath;
    int32_t width = viewerDefaultWidth;
    int32_t height = viewerDefaultHeight;
    std::string screenshotPath;
    bool info = false;
    std::string exportPath;  // a .glb or .obj file, or a folder for one .glb per model
};

enum class OptionsAction { run, info, help, version, usageFault };

// help: message is the usage text; version: the version line; usageFault: the one line saying what is wrong,
// without the program's name, which the caller prints as "brevant: MESSAGE" followed by the usage.
struct OptionsOutcome {
    OptionsAction action = OptionsAction::run;
    std::string message;
};

// The arguments without the program's name. Options are parsed left to right: --help, --version or the first
// fault ends parsing there, so "--help --bogus" is help and "--bogus --help" is a fault.
OptionsOutcome parseOptions(const std::vector<std::string>& args, ViewerOptions& options);

// 0 for help and version, 2 for a usage fault; 0 for run and info, whose real status comes from doing them.
int exitCodeFor(const OptionsOutcome& outcome);

// Every option and the keys, for --help and after a usage fault; ends with a newline.
const char* usageText();

// "brevant VERSION" without a newline.
const char* versionText();
