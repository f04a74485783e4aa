// Folder checks and creation; see folders.h. The only platform-specific parts are stat and mkdir.
#include "base/folders.h"

#include <cerrno>
#include <memory>

#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>

#include <direct.h>
#endif

namespace {

#ifdef _WIN32
std::wstring widePathOf(const std::string& utf8Path)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8Path.c_str(), -1, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8Path.c_str(), -1, wide.data(), length);
    wide.resize(size_t(length - 1));
    return wide;
}
#endif

bool makeOneFolder(const std::string& path)
{
#ifdef _WIN32
    return _wmkdir(widePathOf(path).c_str()) == 0 || errno == EEXIST;
#else
    return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
#endif
}

}  // namespace

bool isFolder(const std::string& utf8Path)
{
    if (utf8Path.empty()) {
        return false;
    }
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(widePathOf(utf8Path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
    struct stat info;
    return stat(utf8Path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
#endif
}

bool makeFolders(const std::string& utf8Path)
{
    if (utf8Path.empty() || isFolder(utf8Path)) {
        return true;
    }
    // Each prefix ending before a separator, then the whole path; "/" and a drive's "C:" are never made.
    for (size_t at = utf8Path.find_first_of("/\\", 1); at != std::string::npos;
         at = utf8Path.find_first_of("/\\", at + 1)) {
        const std::string prefix = utf8Path.substr(0, at);
        if (!prefix.empty() && prefix.back() != ':' && !isFolder(prefix) && !makeOneFolder(prefix)) {
            return false;
        }
    }
    if (!makeOneFolder(utf8Path)) {
        return false;
    }
    if (!isFolder(utf8Path)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}
