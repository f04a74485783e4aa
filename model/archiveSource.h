// Archives as file sources: one open archive read by name, a game's search path of archives and loose files, and
// the file system with any archive on a path entered as a folder. GL-free; names are UTF-8.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/fileSource.h"
#include "model/archive.h"

// An archive on disk with its directory; the entries' bytes are read when asked for.
struct OpenArchive {
    std::string path;
    ArchiveReader reader;
    ArchiveDirectory directory;
    OpenArchive() = default;
    OpenArchive(const OpenArchive&) = delete;
    OpenArchive& operator=(const OpenArchive&) = delete;
    ~OpenArchive();
};

// Opens path and reads its directory only; reason says why not ("cannot open: No such file or directory",
// "not an archive", "directory past the end of the file").
std::unique_ptr<OpenArchive> openArchive(const std::string& path, std::string& reason);

// Names are paths from the archive's root, compared without case, '/' and '\' alike. The archive must outlive
// the record.
FileSource archiveSource(OpenArchive& archive);

// A game's search path: every .pak then every .pk3 in the folder in name order (names compared without case),
// then the folder's loose files; a name is read from the last of these that holds it.
struct GameFolder {
    std::string folder;
    std::vector<std::unique_ptr<OpenArchive>> archives;  // in search order
};

// Opens every archive in folder; on a fault faultPath is the file at fault (the folder or an archive).
bool openGameFolder(const std::string& folder, GameFolder& game, std::string& faultPath, std::string& reason);

// Names are game paths ("models/monsters/tank/tris.md2"). The game folder must outlive the record.
FileSource gameFolderSource(GameFolder& game);

// The file system, where a path running on past an archive's file name ("pak0.pak/models/x/tris.md2", with '/'
// or '\') is read inside it, and an archive lists as a folder. Archives are opened once and kept open.
struct ArchivePaths {
    std::vector<std::unique_ptr<OpenArchive>> open;
};
FileSource archivePathSource(ArchivePaths& paths);

// Whether path names an archive file itself: a regular file with an archive's first bytes or extension.
bool isArchiveFile(const std::string& path);

// Every MD2 model (by its .md2 extension, without case) under folder in source, folders entered, as names in
// source sorted without case: path order.
std::vector<std::string> modelsUnder(const FileSource& source, const std::string& folder);

// The models in the archive at path, in path order, through source (which enters archives as folders); false
// with the reason when it does not open or holds none.
bool archiveModels(const FileSource& source, const std::string& path, std::vector<std::string>& models,
                   std::string& reason);

// The other models a model can be swapped for: with the model inside an archive, every model in that archive (or
// the game's search path); otherwise those beside it in its folder. Sorted without case, the model among them.
std::vector<std::string> neighbourModels(const FileSource& source, const std::string& modelPath);
