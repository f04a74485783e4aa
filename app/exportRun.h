// --export from the command line: one model to .glb or .obj, or several into a folder as one .glb each on two
// worker threads. GL-free; the caller prints what it returns. Every file is written under a temporary name and
// renamed, so a failed export leaves nothing behind.
#pragma once

#include <string>
#include <vector>

#include "app/options.h"
#include "base/fileSource.h"

struct ExportOutcome {
    int exitCode = 0;     // 0 written, 1 some file could not be used or written, 2 a usage fault
    std::string message;  // usage fault: the one line; otherwise the faults and warnings, one per line
};

// models are the names in source to export (at least one); each model's skin is looked up and read through
// source as the viewer does, and so is --skin. The output, always on the file system, is a folder when
// options.exportPath ends in a slash or names an existing folder, or when several models are given.
ExportOutcome runExport(const ViewerOptions& options, const FileSource& source, const std::vector<std::string>& models);

// Where each model of a batch is written: its path below the folder all the models share, under outFolder,
// with the extension .glb. ".." left in a path becomes "up", so nothing lands outside outFolder.
std::vector<std::string> mirroredOutputs(const std::vector<std::string>& models, const std::string& outFolder);
