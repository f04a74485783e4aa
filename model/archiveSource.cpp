// The archive file sources: one archive by name, a game folder's search path, and paths that run through
// archives on disk. Only directories are read on open; entries are read whole when asked for, against the cap.
#include "model/archiveSource.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path pathFromUtf8(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

char lowerChar(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string text)
{
    for (char& c : text) {
        c = lowerChar(c);
    }
    return text;
}

bool lessWithoutCase(const std::string& a, const std::string& b)
{
    const std::string la = lowerAscii(a);
    const std::string lb = lowerAscii(b);
    return la != lb ? la < lb : a < b;
}

bool endsWithoutCase(const std::string& name, const char* ending)
{
    const size_t length = std::strlen(ending);
    return name.size() > length && lowerAscii(name.substr(name.size() - length)) == ending;
}

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

bool isRegularFile(const std::string& path)
{
    std::error_code error;
    return !path.empty() && fs::is_regular_file(pathFromUtf8(path), error);
}

void setReadFault(FileReadFault& fault, FileReadFaultKind kind, const char* text)
{
    fault.kind = kind;
    std::snprintf(fault.text, sizeof fault.text, "%s", text);
}

bool readFromArchive(OpenArchive& archive, const std::string& name, uint64_t maxSize, FileBytes& file,
                     FileReadFault& fault)
{
    const long index = findArchiveEntry(archive.directory, name);
    if (index < 0) {
        setReadFault(fault, FileReadFaultKind::cannotOpen, "cannot open: no such file in the archive");
        return false;
    }
    const ArchiveEntry& entry = archive.directory.entries[size_t(index)];
    if (entry.size > maxSize) {
        char sizeText[32];
        char text[sizeof fault.text];
        formatByteSize(entry.size, sizeText, sizeof sizeText);
        char capText[32];
        formatByteSize(maxSize, capText, sizeof capText);
        std::snprintf(text, sizeof text, "file is %s, over the %s allowed", sizeText, capText);
        setReadFault(fault, FileReadFaultKind::tooLarge, text);
        fault.fileSize = entry.size;
        return false;
    }
    ArchiveFault archiveFault;
    if (!readArchiveEntry(archive.reader, archive.directory, size_t(index), maxSize, file, archiveFault)) {
        setReadFault(fault,
                     archiveFault.kind == ArchiveFaultKind::noMemory ? FileReadFaultKind::noMemory
                                                                     : FileReadFaultKind::readError,
                     archiveFault.text);
        fault.fileSize = entry.size;
        return false;
    }
    return true;
}

void listFromArchive(const OpenArchive& archive, const std::string& folder, std::vector<SourceEntry>& entries)
{
    for (const std::string& name : listArchiveFolder(archive.directory, folder)) {
        const bool isFolder = !name.empty() && name.back() == '/';
        entries.push_back({isFolder ? name.substr(0, name.size() - 1) : name, isFolder});
    }
}

// Whether folder is a folder in the archive: the root, or a prefix of some entry's name.
bool archiveHasFolder(const OpenArchive& archive, const std::string& folder)
{
    std::string trimmed = folder;
    while (!trimmed.empty() && isSeparator(trimmed.back())) {
        trimmed.pop_back();
    }
    if (trimmed.empty()) {
        return true;
    }
    const size_t slash = trimmed.find_last_of("/\\");
    const std::string parent = slash == std::string::npos ? std::string() : trimmed.substr(0, slash);
    const std::string leaf = lowerAscii(slash == std::string::npos ? trimmed : trimmed.substr(slash + 1)) + "/";
    const std::vector<std::string> names = listArchiveFolder(archive.directory, parent);
    return std::any_of(names.begin(), names.end(), [&](const std::string& name) { return lowerAscii(name) == leaf; });
}

bool archiveRead(void* context, const std::string& name, uint64_t maxSize, FileBytes& file, FileReadFault& fault)
{
    return readFromArchive(*static_cast<OpenArchive*>(context), name, maxSize, file, fault);
}

bool archiveList(void* context, const std::string& folder, std::vector<SourceEntry>& entries)
{
    const OpenArchive& archive = *static_cast<OpenArchive*>(context);
    if (!archiveHasFolder(archive, folder)) {
        return false;
    }
    listFromArchive(archive, folder, entries);
    return true;
}

bool archiveRootOfArchive(void*, const std::string&, std::string& root)
{
    root.clear();
    return true;
}

// The loose files of a game folder: game paths joined to the folder, with the file system's own case.
std::string looseName(const GameFolder& game, const std::string& name)
{
    return game.folder.empty() ? name : game.folder + "/" + name;
}

bool gameRead(void* context, const std::string& name, uint64_t maxSize, FileBytes& file, FileReadFault& fault)
{
    GameFolder& game = *static_cast<GameFolder*>(context);
    if (isRegularFile(looseName(game, name))) {
        return folderSource().read(nullptr, looseName(game, name), maxSize, file, fault);
    }
    for (auto it = game.archives.rbegin(); it != game.archives.rend(); ++it) {
        if (findArchiveEntry((*it)->directory, name) >= 0) {
            return readFromArchive(**it, name, maxSize, file, fault);
        }
    }
    setReadFault(fault, FileReadFaultKind::cannotOpen, "cannot open: no such file in the game folder");
    return false;
}

// The union of every layer's listing, each name once without case, the latest layer's spelling kept.
bool gameList(void* context, const std::string& folder, std::vector<SourceEntry>& entries)
{
    GameFolder& game = *static_cast<GameFolder*>(context);
    bool found = false;
    auto add = [&](const std::vector<SourceEntry>& layer) {
        for (const SourceEntry& entry : layer) {
            const std::string lower = lowerAscii(entry.name);
            auto same = std::find_if(entries.begin(), entries.end(), [&](const SourceEntry& known) {
                return known.folder == entry.folder && lowerAscii(known.name) == lower;
            });
            if (same == entries.end()) {
                entries.push_back(entry);
            } else {
                *same = entry;
            }
        }
    };
    for (const std::unique_ptr<OpenArchive>& archive : game.archives) {
        if (archiveHasFolder(*archive, folder)) {
            std::vector<SourceEntry> layer;
            listFromArchive(*archive, folder, layer);
            add(layer);
            found = true;
        }
    }
    std::vector<SourceEntry> loose;
    if (folderSource().list(nullptr, folder.empty() ? game.folder : looseName(game, folder), loose)) {
        if (folder.empty()) {
            // The archives themselves are the search path, not files in it.
            loose.erase(std::remove_if(loose.begin(), loose.end(),
                                       [](const SourceEntry& entry) {
                                           return !entry.folder && (endsWithoutCase(entry.name, ".pak") ||
                                                                    endsWithoutCase(entry.name, ".pk3"));
                                       }),
                        loose.end());
        }
        add(loose);
        found = true;
    }
    return found;
}

// Where name runs on past an archive's file name: the archive's length in name, or 0 when no leading part of name
// is a regular file.
size_t archivePrefixLength(const std::string& name)
{
    for (size_t i = 1; i < name.size(); ++i) {
        if (isSeparator(name[i]) && isRegularFile(name.substr(0, i))) {
            return i;
        }
    }
    return 0;
}

OpenArchive* findOrOpen(ArchivePaths& paths, const std::string& archivePath, std::string& reason)
{
    for (const std::unique_ptr<OpenArchive>& archive : paths.open) {
        if (archive->path == archivePath) {
            return archive.get();
        }
    }
    std::unique_ptr<OpenArchive> archive = openArchive(archivePath, reason);
    if (!archive) {
        return nullptr;
    }
    paths.open.push_back(std::move(archive));
    return paths.open.back().get();
}

bool pathsRead(void* context, const std::string& name, uint64_t maxSize, FileBytes& file, FileReadFault& fault)
{
    ArchivePaths& paths = *static_cast<ArchivePaths*>(context);
    const size_t prefix = archivePrefixLength(name);
    if (prefix == 0) {
        return folderSource().read(nullptr, name, maxSize, file, fault);
    }
    std::string reason;
    OpenArchive* archive = findOrOpen(paths, name.substr(0, prefix), reason);
    if (archive == nullptr) {
        setReadFault(fault, FileReadFaultKind::cannotOpen, (name.substr(0, prefix) + ": " + reason).c_str());
        return false;
    }
    return readFromArchive(*archive, name.substr(prefix + 1), maxSize, file, fault);
}

bool pathsList(void* context, const std::string& folder, std::vector<SourceEntry>& entries)
{
    ArchivePaths& paths = *static_cast<ArchivePaths*>(context);
    std::string archivePath;
    std::string inside;
    if (isRegularFile(folder)) {
        archivePath = folder;
    } else if (const size_t prefix = archivePrefixLength(folder)) {
        archivePath = folder.substr(0, prefix);
        inside = folder.substr(prefix + 1);
    } else {
        return folderSource().list(nullptr, folder, entries);
    }
    std::string reason;
    OpenArchive* archive = findOrOpen(paths, archivePath, reason);
    if (archive == nullptr || !archiveHasFolder(*archive, inside)) {
        return false;
    }
    listFromArchive(*archive, inside, entries);
    return true;
}

bool pathsArchiveRoot(void* context, const std::string& name, std::string& root)
{
    ArchivePaths& paths = *static_cast<ArchivePaths*>(context);
    const size_t prefix = archivePrefixLength(name);
    std::string reason;
    if (prefix == 0 || findOrOpen(paths, name.substr(0, prefix), reason) == nullptr) {
        return false;
    }
    root = name.substr(0, prefix + 1);
    return true;
}

bool gameArchiveRoot(void*, const std::string&, std::string& root)
{
    root.clear();
    return true;
}

void collectModels(const FileSource& source, const std::string& folder, std::vector<std::string>& models, int depth)
{
    std::vector<SourceEntry> entries;
    if (depth > 32 || !listSourceFolder(source, folder, entries)) {
        return;
    }
    for (const SourceEntry& entry : entries) {
        const std::string name = folder.empty() ? entry.name : folder + "/" + entry.name;
        if (entry.folder) {
            collectModels(source, name, models, depth + 1);
        } else if (endsWithoutCase(entry.name, ".md2")) {
            models.push_back(name);
        }
    }
}

}  // namespace

OpenArchive::~OpenArchive()
{
    if (reader.readAt != nullptr) {
        closeArchiveFile(reader);
    }
}

std::unique_ptr<OpenArchive> openArchive(const std::string& path, std::string& reason)
{
    auto archive = std::make_unique<OpenArchive>();
    archive->path = path;
    if (!openArchiveFile(path.c_str(), archive->reader)) {
        reason = std::string("cannot open: ") + std::strerror(errno);
        archive->reader = ArchiveReader{};
        return nullptr;
    }
    ArchiveFault fault;
    if (!readArchiveDirectory(archive->reader, archive->directory, fault)) {
        reason = fault.text;
        return nullptr;
    }
    return archive;
}

FileSource archiveSource(OpenArchive& archive)
{
    FileSource source;
    source.context = &archive;
    source.read = archiveRead;
    source.list = archiveList;
    source.archiveRoot = archiveRootOfArchive;
    return source;
}

bool openGameFolder(const std::string& folder, GameFolder& game, std::string& faultPath, std::string& reason)
{
    game = GameFolder{};
    game.folder = folder;
    std::vector<SourceEntry> entries;
    if (!folderSource().list(nullptr, folder, entries)) {
        faultPath = folder;
        reason = "not a folder that can be read";
        return false;
    }
    std::vector<std::string> paks;
    std::vector<std::string> pk3s;
    for (const SourceEntry& entry : entries) {
        if (!entry.folder && endsWithoutCase(entry.name, ".pak")) {
            paks.push_back(entry.name);
        } else if (!entry.folder && endsWithoutCase(entry.name, ".pk3")) {
            pk3s.push_back(entry.name);
        }
    }
    std::sort(paks.begin(), paks.end(), lessWithoutCase);
    std::sort(pk3s.begin(), pk3s.end(), lessWithoutCase);
    paks.insert(paks.end(), pk3s.begin(), pk3s.end());
    for (const std::string& name : paks) {
        const std::string path = looseName(game, name);
        std::unique_ptr<OpenArchive> archive = openArchive(path, reason);
        if (!archive) {
            faultPath = path;
            return false;
        }
        game.archives.push_back(std::move(archive));
    }
    return true;
}

FileSource gameFolderSource(GameFolder& game)
{
    FileSource source;
    source.context = &game;
    source.read = gameRead;
    source.list = gameList;
    source.archiveRoot = gameArchiveRoot;
    return source;
}

FileSource archivePathSource(ArchivePaths& paths)
{
    FileSource source;
    source.context = &paths;
    source.read = pathsRead;
    source.list = pathsList;
    source.archiveRoot = pathsArchiveRoot;
    return source;
}

bool isArchiveFile(const std::string& path)
{
    if (!isRegularFile(path)) {
        return false;
    }
    FILE* file = openFileForReading(path.c_str());
    if (file == nullptr) {
        return false;
    }
    uint8_t head[4] = {};
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    return archiveKindOf(head, got) != ArchiveKind::none || endsWithoutCase(path, ".pak") ||
           endsWithoutCase(path, ".pk3") || endsWithoutCase(path, ".pkz") || endsWithoutCase(path, ".zip");
}

std::vector<std::string> modelsUnder(const FileSource& source, const std::string& folder)
{
    std::vector<std::string> models;
    std::string start = folder;
    while (!start.empty() && isSeparator(start.back())) {
        start.pop_back();
    }
    collectModels(source, start, models, 0);
    std::sort(models.begin(), models.end(), lessWithoutCase);
    return models;
}

bool archiveModels(const FileSource& source, const std::string& path, std::vector<std::string>& models,
                   std::string& reason)
{
    models.clear();
    if (!openArchive(path, reason)) {
        return false;
    }
    models = modelsUnder(source, path);
    if (models.empty()) {
        reason = "the archive holds no MD2 model";
        return false;
    }
    return true;
}

std::vector<std::string> neighbourModels(const FileSource& source, const std::string& modelPath)
{
    std::string root;
    if (sourceArchiveRoot(source, modelPath, root)) {
        return modelsUnder(source, root);
    }
    const size_t slash = modelPath.find_last_of(fs::path::preferred_separator == '\\' ? "/\\" : "/");
    const std::string folder = slash == std::string::npos ? std::string() : modelPath.substr(0, slash);
    std::vector<SourceEntry> entries;
    std::vector<std::string> models;
    if (listSourceFolder(source, folder, entries)) {
        for (const SourceEntry& entry : entries) {
            if (!entry.folder && endsWithoutCase(entry.name, ".md2")) {
                models.push_back(folder.empty() ? entry.name : modelPath.substr(0, slash + 1) + entry.name);
            }
        }
    }
    std::sort(models.begin(), models.end(), lessWithoutCase);
    return models;
}
