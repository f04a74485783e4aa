// Viewer mode before its window: the options, the texts that end the run at once, and the files named on the
// command line opened and checked, each fault worded as "brevant: PATH: REASON" (exit 1) or a usage fault (exit 2).
#include "app/viewerMain.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/exportRun.h"
#include "app/info.h"
#include "app/options.h"
#include "base/fileBytes.h"
#include "base/platform.h"
#include "model/archiveSource.h"
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

// Every later read goes through this: the game's search path with --game-dir, else the file system with any
// archive on a path entered as a folder. A source set up beforehand (files in memory) is kept.
bool openViewerSource(ViewerSession& session, std::string& faultPath, std::string& reason)
{
    if (session.source.context != nullptr) {
        return true;
    }
    if (!session.options.gameDir.empty()) {
        auto game = std::make_shared<GameFolder>();
        if (!openGameFolder(session.options.gameDir, *game, faultPath, reason)) {
            return false;
        }
        session.source = gameFolderSource(*game);
        session.sourceState = game;
        return true;
    }
    auto paths = std::make_shared<ArchivePaths>();
    session.source = archivePathSource(*paths);
    session.sourceState = paths;
    return true;
}

// --info for an archive: one line per model in path order with the counts its header gives, then the total. Only
// each model's 68-byte header is read (inflated no further), so a thousand models list in well under a second; a
// model whose header is not an MD2 one is reported as any file is, and makes the run's status 1 once the rest are
// listed.
ViewerLaunch archiveInfo(const std::string& archivePath, const std::vector<std::string>& models)
{
    std::string reason;
    std::unique_ptr<OpenArchive> archive = openArchive(archivePath, reason);
    if (!archive) {
        return fileFault(archivePath, reason);
    }
    constexpr size_t headerSize = 68;
    const auto field = [](const uint8_t* at) {
        const int32_t value =
            static_cast<int32_t>(static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                                 static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24);
        return int64_t{value < 0 ? 0 : value};
    };
    int64_t vertices = 0;
    int64_t triangles = 0;
    int64_t frames = 0;
    size_t listed = 0;
    bool faulted = false;
    std::string text;
    for (const std::string& name : models) {
        const std::string inside = name.substr(archivePath.size() + 1);
        const long index = findArchiveEntry(archive->directory, inside);
        FileBytes header;
        ArchiveFault fault;
        std::string why;
        if (index < 0) {
            why = "cannot open: no such file in the archive";
        } else if (!readArchiveEntryStart(archive->reader, archive->directory, size_t(index), headerSize, header,
                                          fault)) {
            why = fault.text;
        } else if (header.size < headerSize) {
            why = "cut short: " + std::to_string(header.size) + " bytes, less than the 68-byte header";
        } else if (std::memcmp(header.bytes.get(), "IDP2", 4) != 0) {
            why = "not an MD2 file";
        }
        if (!why.empty()) {
            writeUserText(UserStream::error, ("brevant: " + printableName(name) + ": " + why + "\n").c_str());
            faulted = true;
            continue;
        }
        const uint8_t* at = header.bytes.get();
        text += printableName(inside) + "  vertices: " + std::to_string(field(at + 24)) +
                "  triangles: " + std::to_string(field(at + 32)) + "  frames: " + std::to_string(field(at + 40)) +
                "  skins: " + std::to_string(field(at + 20)) + "\n";
        vertices += field(at + 24);
        triangles += field(at + 32);
        frames += field(at + 40);
        ++listed;
    }
    text += "total: " + std::to_string(listed) + (listed == 1 ? " model" : " models") +
            "  vertices: " + std::to_string(vertices) + "  triangles: " + std::to_string(triangles) +
            "  frames: " + std::to_string(frames) + "\n";
    say(text);
    return {false, faulted ? exitFileFault : exitSuccess};
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
    std::string faultPath;
    std::string reason;
    if (!openViewerSource(session, faultPath, reason)) {
        return fileFault(faultPath, reason);
    }
    std::string path = options.modelPath.empty() ? defaultModelPath() : options.modelPath;
    // An archive named as the model: its models in path order, the first one shown.
    if (options.gameDir.empty() && options.exportPath.empty() && isArchiveFile(path)) {
        std::vector<std::string> models;
        std::string archiveReason;
        if (!archiveModels(session.source, path, models, archiveReason)) {
            return fileFault(path, archiveReason);
        }
        if (info) {
            return archiveInfo(path, models);
        }
        path = models.front();
    }
    if (!options.exportPath.empty()) {
        // An archive among the models stands for every model in it.
        std::vector<std::string> models;
        for (const std::string& model :
             options.modelPaths.empty() ? std::vector<std::string>{path} : options.modelPaths) {
            std::vector<std::string> inside;
            if (!isArchiveFile(model)) {
                models.push_back(model);
            } else if (archiveModels(session.source, model, inside, reason)) {
                models.insert(models.end(), inside.begin(), inside.end());
            } else {
                return fileFault(model, reason);
            }
        }
        const ExportOutcome exported = runExport(options, session.source, models);
        if (exported.exitCode == 2) {
            return usageFault(exported.message);
        }
        if (!exported.message.empty()) {
            writeUserText(UserStream::error, exported.message.c_str());
        }
        return {false, exported.exitCode};
    }
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
