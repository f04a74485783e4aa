// Whole-file reading with the size checked first, and UTF-8 file names on every platform. See fileBytes.h.
// The only platform-specific code is opening and sizing: _wfopen/_fstati64 on Windows, fopen/fstat elsewhere.
#include "base/fileBytes.h"

#include <cerrno>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>

#ifdef _WIN32
#include <windows.h>

#include <io.h>
#include <sys/stat.h>
#else
#include <sys/stat.h>
#endif

namespace {

void setFault(FileReadFault* fault, FileReadFaultKind kind, uint64_t fileSize, const char* format, const char* detail)
{
    if (fault == nullptr) {
        return;
    }
    fault->kind = kind;
    fault->fileSize = fileSize;
    std::snprintf(fault->text, sizeof fault->text, format, detail);
}

}  // namespace

namespace {

#ifdef _WIN32
// The UTF-8 name as the wide-character file functions take it; empty (errno set) when it is not UTF-8.
std::unique_ptr<wchar_t[]> widePathOf(const char* utf8Path)
{
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path, -1, nullptr, 0);
    if (length <= 0) {
        errno = EINVAL;
        return nullptr;
    }
    std::unique_ptr<wchar_t[]> widePath(new (std::nothrow) wchar_t[length]);
    if (!widePath) {
        errno = ENOMEM;
        return nullptr;
    }
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path, -1, widePath.get(), length);
    return widePath;
}
#endif

FILE* openFile(const char* utf8Path, const char* mode, const wchar_t* wideMode)
{
    if (utf8Path == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
#ifdef _WIN32
    const std::unique_ptr<wchar_t[]> widePath = widePathOf(utf8Path);
    return widePath ? _wfopen(widePath.get(), wideMode) : nullptr;
#else
    (void)wideMode;
    return std::fopen(utf8Path, mode);
#endif
}

}  // namespace

FILE* openFileForReading(const char* utf8Path)
{
    return openFile(utf8Path, "rb", L"rb");
}

FILE* openFileForWriting(const char* utf8Path)
{
    return openFile(utf8Path, "wb", L"wb");
}

bool replaceFile(const char* utf8From, const char* utf8To)
{
#ifdef _WIN32
    const std::unique_ptr<wchar_t[]> from = widePathOf(utf8From);
    const std::unique_ptr<wchar_t[]> to = widePathOf(utf8To);
    if (!from || !to) {
        return false;
    }
    if (!MoveFileExW(from.get(), to.get(), MOVEFILE_REPLACE_EXISTING)) {
        errno = EACCES;
        return false;
    }
    return true;
#else
    return std::rename(utf8From, utf8To) == 0;
#endif
}

void removeFile(const char* utf8Path)
{
#ifdef _WIN32
    const std::unique_ptr<wchar_t[]> path = widePathOf(utf8Path);
    if (path) {
        _wremove(path.get());
    }
#else
    std::remove(utf8Path);
#endif
}

bool fileSizeOf(FILE* file, uint64_t& size)
{
#ifdef _WIN32
    struct _stati64 status = {};
    if (_fstati64(_fileno(file), &status) != 0 || status.st_size < 0) {
        return false;
    }
#else
    struct stat status = {};
    if (fstat(fileno(file), &status) != 0 || status.st_size < 0) {
        return false;
    }
#endif
    size = static_cast<uint64_t>(status.st_size);
    return true;
}

bool readFileBytes(const char* utf8Path, uint64_t maxSize, FileBytes& file, FileReadFault* fault)
{
    file = FileBytes{};
    FILE* stream = openFileForReading(utf8Path);
    if (stream == nullptr) {
        setFault(fault, FileReadFaultKind::cannotOpen, 0, "cannot open: %s", std::strerror(errno));
        return false;
    }
    uint64_t size = 0;
    if (!fileSizeOf(stream, size)) {
        setFault(fault, FileReadFaultKind::readError, 0, "cannot read: %s", std::strerror(errno));
        std::fclose(stream);
        return false;
    }
    char sizeText[32];
    formatByteSize(size, sizeText, sizeof sizeText);
    if (size > maxSize || size > SIZE_MAX) {
        char limitText[32];
        formatByteSize(maxSize, limitText, sizeof limitText);
        if (fault != nullptr) {
            fault->kind = FileReadFaultKind::tooLarge;
            fault->fileSize = size;
            std::snprintf(fault->text, sizeof fault->text, "file is %s, over the %s allowed", sizeText, limitText);
        }
        std::fclose(stream);
        return false;
    }
    // Uninitialised on purpose: the read fills it, and zeroing a large file first would double the cost.
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size > 0 ? size_t(size) : 1]);
    if (!bytes) {
        setFault(fault, FileReadFaultKind::noMemory, size, "not enough memory to read %s", sizeText);
        std::fclose(stream);
        return false;
    }
    const size_t got = std::fread(bytes.get(), 1, size_t(size), stream);
    // A file that grows while it is read keeps the size it had; one that shrinks is a read fault.
    const bool complete = got == size_t(size);
    const int readErrno = errno;
    const bool failed = std::ferror(stream) != 0;
    std::fclose(stream);
    if (!complete) {
        setFault(fault, FileReadFaultKind::readError, size, "cannot read: %s",
                 failed ? std::strerror(readErrno) : "the file ended early");
        return false;
    }
    file.bytes = std::move(bytes);
    file.size = size_t(size);
    return true;
}

void formatByteSize(uint64_t size, char* text, size_t textSize)
{
    if (size < 1024) {
        std::snprintf(text, textSize, "%llu bytes", static_cast<unsigned long long>(size));
        return;
    }
    const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(size) / 1024.0;
    size_t unit = 0;
    while (value >= 1023.95 && unit + 1 < std::size(units)) {
        value /= 1024.0;
        ++unit;
    }
    if (value < 9.95) {
        std::snprintf(text, textSize, "%.1f %s", value, units[unit]);
    } else {
        std::snprintf(text, textSize, "%.0f %s", value, units[unit]);
    }
}
