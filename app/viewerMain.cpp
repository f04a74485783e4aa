// Viewer mode before its window: the options, the texts that end the run at once, and the files named on the
// command line opened and checked, each fault worded as "brevant: PATH: REASON" (exit 1) or a usage fault (exit 2).
#include "app/viewerMain.h"

#include <cerrno>
#include <cstdio>

#include "app/exportRun.h"
#include "app/info.h"
#include "app/options.h"
#include "base/fileBytes.h"
#include "base/platform.h"
#include "model/skinLookup.h"
#include "scene/viewerSession.h"

namespace {

void say(const std::string& text)
{
    writeUserText(UserStream::output, text.c_str());
}

ViewerLaunch usageFault(const std::string& message)
{
    writeUserText(UserStream::error, ("brevant: " + message + "\n" + usageText()).c_str());
    return {false, 2};
}

ViewerLaunch fileFault(const std::string& path, const std::string& reason)
{
    writeUserText(UserStream::error, ("brevant: " + path + ": " + reason + "\n").c_str());
    return {false, 1};
}

std::string keyframeText(double keyframe)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", keyframe);
    return text;
}

// What --info reports as the skin: the one named, the one the lookup finds, or none.
std::string skinForInfo(const ViewerSession& session, const std::string& path, const Md2Model& model)
{
    const ViewerOptions& options = session.options;
    if (options.noSkin) {
        return "none";
    }
    if (!options.skinPath.empty()) {
        return options.skinPath;
    }
    const SkinSearch search = findSkinFile(path, md2SkinName(model, options.skinIndex), session.source);
    return search.path.empty() ? "none" : search.path;
}

bool fileIsAbsent(const std::string& path)
{
    FILE* file = openFileForReading(path.c_str());
    if (file != nullptr) {
        std::fclose(file);
        return false;
    }
    return errno == ENOENT;
}

// Without MODEL: tris.md2 in the working folder, else the example installed with the program, so a launch from
// a desktop menu (which starts in the home folder) still shows a model. Any other fault with the working
// folder's file is reported as it is rather than passed over.
std::string defaultModelPath()
{
    const std::string here = "tris.md2";
    const std::string programFolder = executableFolder();
    if (programFolder.empty() || !fileIsAbsent(here)) {
        return here;
    }
    const std::string installed = programFolder + "/../share/brevant/tris.md2";
    return fileIsAbsent(installed) ? here : installed;
}

}  // namespace

ViewerLaunch prepareViewer(ViewerSession& session, const std::vector<std::string>& args)
{
    ViewerOptions& options = session.options;
    const OptionsOutcome outcome = parseOptions(args, options);
    switch (outcome.action) {
    case OptionsAction::help:
        say(outcome.message);
        return {false, 0};
    case OptionsAction::version:
        say(outcome.message + "\n");
        return {false, 0};
    case OptionsAction::usageFault:
        return usageFault(outcome.message);
    case OptionsAction::run:
    case OptionsAction::info:
        break;
    }

    const std::string path = options.modelPath.empty() ? defaultModelPath() : options.modelPath;
    if (!options.exportPath.empty()) {
        const ExportOutcome exported =
            runExport(options, options.modelPaths.empty() ? std::vector<std::string>{path} : options.modelPaths);
        if (exported.exitCode == 2) {
            return usageFault(exported.message);
        }
        if (!exported.message.empty()) {
            writeUserText(UserStream::error, exported.message.c_str());
        }
        return {false, exported.exitCode};
    }
    std::string reason;
    ModelHandle body = openViewerModel(session.source, path, &reason);
    if (!body) {
        return fileFault(path, reason);
    }
    if (outcome.action == OptionsAction::info || options.info) {
        // A skin named on the command line is checked like any file named there, --info or not.
        SkinImage named;
        if (!options.skinPath.empty() && !readSkinImage(session.source, options.skinPath, named, &reason)) {
            return fileFault(options.skinPath, reason);
        }
        const std::string skin = skinForInfo(session, path, *body);
        say(formatModelInfo(path, *body, skin.c_str()));
        return {false, 0};
    }

    const int32_t frames = body->numFrames > 0 ? body->numFrames : 0;
    if (options.hasFrame && (frames == 0 || options.frame > frames - 1)) {
        const std::string range = frames == 0 ? "it has no keyframes" : "0-" + std::to_string(frames - 1);
        return usageFault("--frame " + keyframeText(options.frame) + " is outside " + fileNameOf(path) +
                          "'s keyframes (" + range + ")");
    }
    if (!options.animation.empty()) {
        const std::vector<Md2Animation> animations = findAnimations(*body);
        std::string names;
        bool known = false;
        for (const Md2Animation& animation : animations) {
            known = known || animation.name == options.animation;
            if (names.find(" " + animation.name + ",") == std::string::npos) {
                names += " " + animation.name + ",";
            }
        }
        if (!known) {
            names = names.empty() ? " none" : names.substr(0, names.size() - 1);
            return usageFault("no animation \"" + options.animation + "\" in " + fileNameOf(path) +
                              "; its animations:" + names);
        }
    }
    ModelHandle weapon;
    if (!options.weaponPath.empty()) {
        weapon = openViewerModel(session.source, options.weaponPath, &reason);
        if (!weapon) {
            return fileFault(options.weaponPath, reason);
        }
    }
    if (!options.skinPath.empty()) {
        if (!readSkinImage(session.source, options.skinPath, session.chosenSkinImage, &reason)) {
            return fileFault(options.skinPath, reason);
        }
        session.chosenSkin = true;
    }

    session.body.model = std::move(body);
    session.body.path = path;
    session.weapon.model = std::move(weapon);
    session.weapon.path = options.weaponPath;
    return {true, 0};
}
