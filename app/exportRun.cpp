// The command-line export: options checked, each model loaded and prepared as the viewer prepares it, its skin
// found as the viewer finds it, written through a temporary file; a batch on two threads. See exportRun.h.
#include "app/exportRun.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/fileBytes.h"
#include "base/folders.h"
#include "base/workers.h"
#include "model/archiveSource.h"
#include "model/exportMesh.h"
#include "model/gltfExport.h"
#include "model/md2Animations.h"
#include "model/md2Prepare.h"
#include "model/objExport.h"
#include "model/skinImage.h"
#include "model/skinLookup.h"

namespace {

// Pictures up to the largest skin side, with room for a file's headers; a larger one is refused unread.
constexpr uint64_t skinFileLimit = uint64_t{maxSkinSide} * maxSkinSide * 4 + (uint64_t{1} << 20);

enum class Format { glb, obj };

struct ModelRelease {
    void operator()(Md2Model* model) const { freeMd2Model(model); }
};
using ModelPointer = std::unique_ptr<Md2Model, ModelRelease>;

struct OutputFile {
    std::string path;
    std::vector<uint8_t> bytes;
};

// What exporting one model came to: written, or why not.
struct ModelResult {
    int exitCode = 0;
    std::string fault;     // the reason, for "brevant: PATH: REASON"; for a usage fault the whole line
    std::string warnings;  // whole lines
};

std::string lowerAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return text;
}

bool endsWith(const std::string& text, const char* tail)
{
    const size_t length = std::strlen(tail);
    return text.size() >= length && lowerAscii(text.substr(text.size() - length)) == tail;
}

std::string writeFault()
{
    return std::string("cannot write: ") + std::strerror(errno);
}

// Writes every file under a temporary name, then renames them all; on any fault removes what it wrote, so
// either all the files are there or none of them is.
bool writeAll(const std::vector<OutputFile>& files, const std::string& tempTag, std::string& reason)
{
    std::vector<std::string> temporaries;
    bool sound = true;
    for (const OutputFile& file : files) {
        const std::string temporary = file.path + ".part" + tempTag;
        FILE* out = openFileForWriting(temporary.c_str());
        if (out == nullptr) {
            reason = writeFault();
            sound = false;
            break;
        }
        temporaries.push_back(temporary);
        const bool written = std::fwrite(file.bytes.data(), 1, file.bytes.size(), out) == file.bytes.size();
        if (!written) {
            reason = writeFault();
        }
        if (std::fclose(out) != 0 && written) {
            reason = writeFault();
            sound = false;
            break;
        }
        if (!written) {
            sound = false;
            break;
        }
    }
    size_t renamed = 0;
    while (sound && renamed < temporaries.size()) {
        if (!replaceFile(temporaries[renamed].c_str(), files[renamed].path.c_str())) {
            reason = writeFault();
            sound = false;
            break;
        }
        ++renamed;
    }
    if (!sound) {
        for (size_t i = 0; i < temporaries.size(); ++i) {
            removeFile(i < renamed ? files[i].path.c_str() : temporaries[i].c_str());
        }
    }
    return sound;
}

bool readSkin(const FileSource& source, const std::string& path, SkinImage& image, std::string& reason)
{
    FileBytes file;
    FileReadFault fault;
    if (!readSourceFile(source, path, skinFileLimit, file, fault)) {
        reason = fault.text;
        return false;
    }
    return decodeSkinImage(file.bytes.get(), file.size, image, &reason) == SkinFault::none;
}

std::string fileNameIn(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string frameText(double frame)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", frame);
    return text;
}

struct ExportJob {
    const ViewerOptions* options = nullptr;
    const SkinImage* namedSkin = nullptr;  // --skin, read once for every model
    Format format = Format::glb;
    std::string modelPath;
    std::string outPath;
    std::string tempTag;
};

ModelResult usageResult(std::string line)
{
    return {2, std::move(line), {}};
}

ModelResult fileResult(std::string reason, std::string warnings = {})
{
    return {1, std::move(reason), std::move(warnings)};
}

// The skin picture for a model: --skin, else the lookup's find; none with --no-skin or when nothing is found or
// what was found cannot be read (a warning, as in the viewer).
const SkinImage* chooseSkin(const ExportJob& job, const FileSource& source, const Md2Model& model, SkinImage& found,
                            std::string& warnings)
{
    if (job.options->noSkin) {
        return nullptr;
    }
    if (job.namedSkin != nullptr) {
        return job.namedSkin;
    }
    const SkinSearch search = findSkinFile(job.modelPath, md2SkinName(model, job.options->skinIndex), source);
    if (search.path.empty()) {
        warnings += "brevant: " + job.modelPath + ": " + describeSkinSearch(search) + "\n";
        return nullptr;
    }
    std::string reason;
    if (!readSkin(source, search.path, found, reason)) {
        warnings += "brevant: " + search.path + ": " + reason + "\n";
        return nullptr;
    }
    return &found;
}

ModelResult exportModel(const ExportJob& job)
{
    const ViewerOptions& options = *job.options;
    // Each job its own, so the worker threads share no open archive; a path may run into one.
    ArchivePaths archives;
    const FileSource source = archivePathSource(archives);
    Md2Fault loadFault;
    ModelPointer model(readMd2Model(source, job.modelPath, &loadFault));
    if (!model) {
        return fileResult(loadFault.text);
    }
    ExportFault fault;
    if (!exportable(*model, &fault)) {
        return fileResult(fault.text);
    }
    // As the viewer prepares it: counter-clockwise fronts and smooth normals per keyframe.
    flipWinding(model.get());
    computeVertexNormals(model.get());

    std::vector<Md2Animation> animations = findAnimations(*model);
    if (!options.animation.empty()) {
        std::vector<Md2Animation> chosen;
        std::string names;
        for (const Md2Animation& run : animations) {
            names += (names.empty() ? " " : ", ") + run.name;
            if (lowerAscii(run.name) == lowerAscii(options.animation)) {
                chosen.push_back(run);
            }
        }
        if (chosen.empty()) {
            return usageResult("no animation \"" + options.animation + "\" in " + fileNameIn(job.modelPath) +
                               "; its animations:" + names);
        }
        animations = std::move(chosen);
    }
    if (job.format == Format::obj && options.hasFrame && options.frame > double(model->numFrames - 1)) {
        return usageResult("--frame " + frameText(options.frame) + " is outside " + fileNameIn(job.modelPath) +
                           "'s keyframes (0-" + std::to_string(model->numFrames - 1) + ")");
    }

    std::string warnings;
    SkinImage found;
    const SkinImage* skin = chooseSkin(job, source, *model, found, warnings);
    std::vector<uint8_t> png;
    if (skin != nullptr && !encodePng(skin->pixels.get(), skin->width, skin->height, png)) {
        return fileResult("cannot encode the skin as PNG", warnings);
    }
    const float skinWidth = skinDivisor(model->skinWidth, skin != nullptr ? skin->width : 0);
    const float skinHeight = skinDivisor(model->skinHeight, skin != nullptr ? skin->height : 0);

    std::vector<OutputFile> files;
    if (job.format == Format::glb) {
        GltfExportInput input;
        input.model = model.get();
        input.name = exportStem(job.modelPath);
        input.animations = std::move(animations);
        input.fps = options.fps;
        input.skinPng = std::move(png);
        input.skinWidth = skinWidth;
        input.skinHeight = skinHeight;
        OutputFile glb{job.outPath, {}};
        if (!writeGltfBinary(input, glb.bytes, &fault)) {
            return fileResult(fault.text, warnings);
        }
        files.push_back(std::move(glb));
    } else {
        const std::string base = job.outPath.substr(0, job.outPath.size() - 4);
        ObjExportInput input;
        input.model = model.get();
        input.frame = options.frame;
        input.mtlName = exportStem(base) + ".mtl";
        input.skinName = png.empty() ? std::string() : exportStem(base) + ".png";
        input.skinWidth = skinWidth;
        input.skinHeight = skinHeight;
        ObjFiles text;
        if (!writeObj(input, text, &fault)) {
            return fileResult(fault.text, warnings);
        }
        files.push_back({job.outPath, std::vector<uint8_t>(text.obj.begin(), text.obj.end())});
        files.push_back({base + ".mtl", std::vector<uint8_t>(text.mtl.begin(), text.mtl.end())});
        if (!input.skinName.empty()) {
            files.push_back({base + ".png", std::move(png)});
        }
    }
    std::string reason;
    if (!writeAll(files, job.tempTag, reason)) {
        return fileResult(job.outPath + ": " + reason, warnings);
    }
    return {0, {}, warnings};
}

struct Batch {
    std::vector<ExportJob> jobs;
    std::vector<ModelResult> results;
};

void runBatchJob(int index, void* context)
{
    auto& batch = *static_cast<Batch*>(context);
    ExportJob& job = batch.jobs[size_t(index)];
    const size_t slash = job.outPath.find_last_of("/\\");
    if (slash != std::string::npos && !makeFolders(job.outPath.substr(0, slash))) {
        batch.results[size_t(index)] = fileResult(job.outPath.substr(0, slash) + ": " + writeFault());
        return;
    }
    batch.results[size_t(index)] = exportModel(job);
}

std::vector<std::string> splitPath(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("/\\", start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    return parts;
}

}  // namespace

std::vector<std::string> mirroredOutputs(const std::vector<std::string>& models, const std::string& outFolder)
{
    std::vector<std::vector<std::string>> split;
    for (const std::string& model : models) {
        split.push_back(splitPath(model));
    }
    // The folders every model shares; the file name itself is never shared away.
    size_t shared = 0;
    if (!split.empty()) {
        size_t limit = split[0].empty() ? 0 : split[0].size() - 1;
        for (const std::vector<std::string>& parts : split) {
            limit = std::min(limit, parts.empty() ? size_t(0) : parts.size() - 1);
        }
        while (shared < limit) {
            bool same = true;
            for (const std::vector<std::string>& parts : split) {
                same = same && parts[shared] == split[0][shared];
            }
            if (!same) {
                break;
            }
            ++shared;
        }
    }
    std::string folder = outFolder;
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) {
        folder.pop_back();
    }
    std::vector<std::string> outputs;
    for (const std::vector<std::string>& parts : split) {
        std::string out = folder;
        for (size_t i = shared; i < parts.size(); ++i) {
            const bool last = i + 1 == parts.size();
            const std::string part = parts[i] == ".." ? "up" : last ? exportStem(parts[i]) + ".glb" : parts[i];
            out += (out.empty() || out.back() == '/' ? "" : "/") + part;
        }
        outputs.push_back(std::move(out));
    }
    return outputs;
}

ExportOutcome runExport(const ViewerOptions& options, const std::vector<std::string>& models)
{
    const std::string& out = options.exportPath;
    const bool toFolder = endsWith(out, "/") || endsWith(out, "\\") || isFolder(out);
    Format format = Format::glb;
    if (!toFolder) {
        if (models.size() > 1) {
            return {2, "several models are written to a folder: end --export's value with a slash, like out/"};
        }
        if (endsWith(out, ".obj")) {
            format = Format::obj;
        } else if (!endsWith(out, ".glb")) {
            return {2, "--export writes .glb or .obj files, or into a folder, not '" + out + "'"};
        }
    }
    SkinImage namedSkin;
    if (!options.skinPath.empty()) {
        std::string reason;
        ArchivePaths archives;
        if (!readSkin(archivePathSource(archives), options.skinPath, namedSkin, reason)) {
            return {1, "brevant: " + options.skinPath + ": " + reason + "\n"};
        }
    }

    Batch batch;
    const std::vector<std::string> outputs = toFolder ? mirroredOutputs(models, out) : std::vector<std::string>{out};
    for (size_t i = 0; i < models.size(); ++i) {
        ExportJob job;
        job.options = &options;
        job.namedSkin = options.skinPath.empty() ? nullptr : &namedSkin;
        job.format = format;
        job.modelPath = models[i];
        job.outPath = outputs[i];
        job.tempTag = "-" + std::to_string(i);
        batch.jobs.push_back(std::move(job));
    }
    batch.results.resize(batch.jobs.size());
    if (toFolder) {
        runOnWorkers(2, int(batch.jobs.size()), runBatchJob, &batch);
    } else {
        batch.results[0] = exportModel(batch.jobs[0]);
    }

    ExportOutcome outcome;
    for (size_t i = 0; i < batch.results.size(); ++i) {
        const ModelResult& result = batch.results[i];
        outcome.message += result.warnings;
        if (result.exitCode == 2 && !toFolder) {
            return {2, result.fault};
        }
        if (result.exitCode != 0) {
            outcome.message += "brevant: " + models[i] + ": " + result.fault + "\n";
            outcome.exitCode = 1;
        }
    }
    return outcome;
}
