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
    return {false, exitUsageFault};
}

ViewerLaunch fileFault(const std::string& path, const std::string& reason)
{
    writeUserText(UserStream::error, ("brevant: " + path + ": " + reason + "\n").c_str());
    return {false, exitFileFault};
}

ModelHandle readModelOnly(const FileSource& source, const std::string& path, std::string* reason)
{
    Md2Fault fault;
    ModelHandle model(readMd2Model(source, path, &fault));
    if (!model) {
        *reason = fault.text;
    }
    return model;
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
        return {false, exitCodeFor(outcome)};
    case OptionsAction::version:
        say(outcome.message + "\n");
        return {false, exitCodeFor(outcome)};
    case OptionsAction::usageFault:
        return usageFault(outcome.message);
    case OptionsAction::run:
    case OptionsAction::info:
        break;
    }
    const bool info = outcome.action == OptionsAction::info;

    // --info reports the header, the names and the skin lookup, none of which the drawing's preparation
    // (winding, normals) changes, so it reads the models without preparing them.
    const std::string path = options.modelPath.empty() ? defaultModelPath() : options.modelPath;
    if (!options.exportPath.empty()) {
        const ExportOutcome exported = runExport(
            options, session.source, options.modelPaths.empty() ? std::vector<std::string>{path} : options.modelPaths);
        if (exported.exitCode == 2) {
            return usageFault(exported.message);
        }
        if (!exported.message.empty()) {
            writeUserText(UserStream::error, exported.message.c_str());
        }
        return {false, exported.exitCode};
    }
    std::string reason;
    ModelHandle body =
        info ? readModelOnly(session.source, path, &reason) : openViewerModel(session.source, path, &reason);
    if (!body) {
        return fileFault(path, reason);
    }
    const std::string optionsFault = modelOptionsFault(options, *body, path);
    if (!optionsFault.empty()) {
        return usageFault(optionsFault);
    }
    ModelHandle weapon;
    if (!options.weaponPath.empty()) {
        weapon = info ? readModelOnly(session.source, options.weaponPath, &reason)
                      : openViewerModel(session.source, options.weaponPath, &reason);
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
    if (info) {
        session.chosenSkinImage = SkinImage{};
        const std::string skin = skinForInfo(session, path, *body);
        say(formatModelInfo(path, *body, skin.c_str()));
        return {false, exitSuccess};
    }

    session.body.model = std::move(body);
    session.body.path = path;
    session.weapon.model = std::move(weapon);
    session.weapon.path = options.weaponPath;
    return {true, exitSuccess};
}
