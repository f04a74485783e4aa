// Where the viewer's files come from: a small record of functions over a context, so a plain folder, an archive
// or a list of them (a game's search path) all hand over bytes the same way. GL-free; names are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/fileBytes.h"

struct SourceEntry {
    std::string name;  // as the source stores it, without the folder
    bool folder = false;
};

// read: the whole of `name`, refused before any allocation when larger than maxSize; fault (never null) says why.
// list: the regular files and folders directly in `folder` ("" for the top), in no particular order; false when
// there is no such folder. Either may be called from one thread at a time only.
struct FileSource {
    void* context = nullptr;
    bool (*read)(void* context, const std::string& name, uint64_t maxSize, FileBytes& file,
                 FileReadFault& fault) = nullptr;
    bool (*list)(void* context, const std::string& folder, std::vector<SourceEntry>& entries) = nullptr;
    // Optional. When name lies inside an archive, the name of that archive's root as a prefix for paths from it
    // ("pak0.pak/", or "" for a game's search path); false, or no function, when it does not.
    bool (*archiveRoot)(void* context, const std::string& name, std::string& root) = nullptr;
};

// The file system as it is: names are paths, relative to the working folder or absolute. Wide-character file
// functions on Windows, as readFileBytes uses. Needs no context, so the record can be copied freely.
FileSource folderSource();

bool readSourceFile(const FileSource& source, const std::string& name, uint64_t maxSize, FileBytes& file,
                    FileReadFault& fault);
bool listSourceFolder(const FileSource& source, const std::string& folder, std::vector<SourceEntry>& entries);
bool sourceArchiveRoot(const FileSource& source, const std::string& name, std::string& root);
