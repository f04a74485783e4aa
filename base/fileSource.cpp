// The plain-folder file source over readFileBytes and std::filesystem, and the calls through any source.
#include "base/fileSource.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// std::filesystem::path(std::string) reads the narrow string in the system code page on Windows; as char8_t it
// is UTF-8 everywhere.
fs::path pathFromUtf8(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string utf8FromPath(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool readFromFolder(void*, const std::string& name, uint64_t maxSize, FileBytes& file, FileReadFault& fault)
{
    return readFileBytes(name.c_str(), maxSize, file, &fault);
}

// Links are followed, so a linked file or folder counts as what it points to; anything else is left out.
bool listFolder(void*, const std::string& folder, std::vector<SourceEntry>& entries)
{
    entries.clear();
    std::error_code error;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : pathFromUtf8(folder), error);
    if (error) {
        return false;
    }
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        const bool isFile = it->is_regular_file(typeError);
        const bool isFolder = !isFile && it->is_directory(typeError);
        if (isFile || isFolder) {
            entries.push_back({utf8FromPath(it->path().filename()), isFolder});
        }
    }
    return true;
}

}  // namespace

FileSource folderSource()
{
    FileSource source;
    source.read = readFromFolder;
    source.list = listFolder;
    return source;
}

bool readSourceFile(const FileSource& source, const std::string& name, uint64_t maxSize, FileBytes& file,
                    FileReadFault& fault)
{
    file = FileBytes{};
    fault = FileReadFault{};
    return source.read(source.context, name, maxSize, file, fault);
}

bool listSourceFolder(const FileSource& source, const std::string& folder, std::vector<SourceEntry>& entries)
{
    entries.clear();
    return source.list(source.context, folder, entries);
}

bool sourceArchiveRoot(const FileSource& source, const std::string& name, std::string& root)
{
    root.clear();
    return source.archiveRoot != nullptr && source.archiveRoot(source.context, name, root);
}
