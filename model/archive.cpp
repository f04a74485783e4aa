// Archive readers over memory and over files, recognising an archive, lookup without case, folder listings and
// reading one entry against its cap. The PAK and ZIP directories are in pak.cpp and zip.cpp, inflate in
// archiveInflate.cpp.
#include "model/archive.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "model/archiveInternal.h"

bool archiveFault(ArchiveFault& fault, ArchiveFaultKind kind, const char* format, ...)
{
    fault.kind = kind;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(fault.text, sizeof fault.text, format, arguments);
    va_end(arguments);
    return false;
}

bool archiveReadAt(const ArchiveReader& reader, uint64_t offset, void* out, size_t length, ArchiveFault& fault)
{
    if (length == 0) {
        return true;
    }
    if (reader.readAt == nullptr || !reader.readAt(reader.context, offset, out, length)) {
        return archiveFault(fault, ArchiveFaultKind::readError, "cannot read the archive at byte %llu",
                            static_cast<unsigned long long>(offset));
    }
    return true;
}

namespace {

bool readBytesAt(void* context, uint64_t offset, void* out, size_t length)
{
    const auto* bytes = static_cast<const ArchiveBytes*>(context);
    if (offset > bytes->size || length > bytes->size - offset) {
        return false;
    }
    std::memcpy(out, bytes->bytes + offset, length);
    return true;
}

bool readFileAt(void* context, uint64_t offset, void* out, size_t length)
{
    FILE* file = static_cast<FILE*>(context);
#ifdef _WIN32
    if (offset > static_cast<uint64_t>(INT64_MAX) || _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) != 0) {
        return false;
    }
#else
    static_assert(sizeof(off_t) >= 8, "64-bit file offsets are needed for archives over 2 GB");
    if (offset > static_cast<uint64_t>(INT64_MAX) || fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        return false;
    }
#endif
    return std::fread(out, 1, length, file) == length;
}

}  // namespace

ArchiveReader archiveReaderOverBytes(const ArchiveBytes& bytes)
{
    ArchiveReader reader;
    reader.context = const_cast<ArchiveBytes*>(&bytes);
    reader.size = bytes.size;
    reader.readAt = readBytesAt;
    return reader;
}

bool openArchiveFile(const char* utf8Path, ArchiveReader& reader)
{
    reader = ArchiveReader{};
    FILE* file = openFileForReading(utf8Path);
    if (file == nullptr) {
        return false;
    }
    uint64_t size = 0;
    if (!fileSizeOf(file, size)) {
        const int sizeErrno = errno;
        std::fclose(file);
        errno = sizeErrno;
        return false;
    }
    reader.context = file;
    reader.size = size;
    reader.readAt = readFileAt;
    return true;
}

void closeArchiveFile(ArchiveReader& reader)
{
    if (reader.context != nullptr && reader.readAt == readFileAt) {
        std::fclose(static_cast<FILE*>(reader.context));
    }
    reader = ArchiveReader{};
}

ArchiveKind archiveKindOf(const uint8_t* bytes, size_t size)
{
    if (size < 4) {
        return ArchiveKind::none;
    }
    if (std::memcmp(bytes, "PACK", 4) == 0) {
        return ArchiveKind::pak;
    }
    // A local header starts every ZIP with entries; an empty one is its end record alone.
    if (std::memcmp(bytes, "PK\3\4", 4) == 0 || std::memcmp(bytes, "PK\5\6", 4) == 0) {
        return ArchiveKind::zip;
    }
    return ArchiveKind::none;
}

bool readArchiveDirectory(const ArchiveReader& reader, ArchiveDirectory& directory, ArchiveFault& fault)
{
    directory = ArchiveDirectory{};
    fault = ArchiveFault{};
    uint8_t start[4] = {};
    const size_t length = reader.size < 4 ? static_cast<size_t>(reader.size) : 4;
    if (!archiveReadAt(reader, 0, start, length, fault)) {
        return false;
    }
    if (archiveKindOf(start, length) == ArchiveKind::pak) {
        return readPakDirectory(reader, directory, fault);
    }
    // Anything else may be a ZIP: its end record is at the end, and data before the first local header (a
    // self-extracting stub, a damaged first entry) does not stop the directory being read.
    if (readZipDirectory(reader, directory, fault)) {
        return true;
    }
    if (fault.kind == ArchiveFaultKind::notArchive && archiveKindOf(start, length) == ArchiveKind::none) {
        return archiveFault(fault, ArchiveFaultKind::notArchive, "not an archive (neither PAK nor ZIP)");
    }
    return false;
}

namespace {

char foldedChar(char c)
{
    if (c == '\\') {
        return '/';
    }
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameFolded(const char* a, size_t aLength, const char* b, size_t bLength)
{
    if (aLength != bLength) {
        return false;
    }
    for (size_t i = 0; i < aLength; ++i) {
        if (foldedChar(a[i]) != foldedChar(b[i])) {
            return false;
        }
    }
    return true;
}

bool lessFolded(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(foldedChar(x)) < static_cast<unsigned char>(foldedChar(y));
    });
}

}  // namespace

long findArchiveEntry(const ArchiveDirectory& directory, const std::string& name)
{
    for (size_t i = 0; i < directory.entries.size(); ++i) {
        const std::string& entryName = directory.entries[i].name;
        if (sameFolded(entryName.data(), entryName.size(), name.data(), name.size())) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

std::vector<std::string> listArchiveFolder(const ArchiveDirectory& directory, const std::string& folder)
{
    size_t folderLength = folder.size();
    while (folderLength > 0 && foldedChar(folder[folderLength - 1]) == '/') {
        --folderLength;
    }
    std::vector<std::string> names;
    for (const ArchiveEntry& entry : directory.entries) {
        const std::string& name = entry.name;
        size_t start = 0;
        if (folderLength > 0) {
            if (name.size() <= folderLength + 1 || foldedChar(name[folderLength]) != '/' ||
                !sameFolded(name.data(), folderLength, folder.data(), folderLength)) {
                continue;
            }
            start = folderLength + 1;
        }
        size_t end = start;
        while (end < name.size() && foldedChar(name[end]) != '/') {
            ++end;
        }
        if (end == start) {
            continue;
        }
        std::string inside = name.substr(start, end - start);
        if (end < name.size()) {
            inside += '/';
        }
        const bool seen = std::any_of(names.begin(), names.end(), [&inside](const std::string& known) {
            return sameFolded(known.data(), known.size(), inside.data(), inside.size());
        });
        if (!seen) {
            names.push_back(std::move(inside));
        }
    }
    std::sort(names.begin(), names.end(), lessFolded);
    return names;
}

namespace {

// Where a ZIP entry's data starts: past its local header, whose own name and extra lengths may differ from the
// central directory's.
bool zipDataStart(const ArchiveReader& reader, const ArchiveEntry& entry, uint64_t& start, ArchiveFault& fault)
{
    const char* name = entry.name.c_str();
    uint8_t header[30];
    if (entry.offset > reader.size || reader.size - entry.offset < sizeof header) {
        return archiveFault(fault, ArchiveFaultKind::badLocalHeader, "no local header for %s", name);
    }
    if (!archiveReadAt(reader, entry.offset, header, sizeof header, fault)) {
        return false;
    }
    if (archiveU32(header) != 0x04034b50) {
        return archiveFault(fault, ArchiveFaultKind::badLocalHeader, "no local header for %s", name);
    }
    start = entry.offset + sizeof header + archiveU16(header + 26) + archiveU16(header + 28);
    if (start > reader.size || entry.storedSize > reader.size - start) {
        return archiveFault(fault, ArchiveFaultKind::entryPastEnd, "%s runs past the end of the file", name);
    }
    return true;
}

}  // namespace

namespace {

// The whole entry, or with prefix below its size only its first prefix bytes (no CRC then).
bool readEntryBytes(const ArchiveReader& reader, const ArchiveDirectory& directory, size_t index, uint64_t cap,
                    size_t prefix, FileBytes& bytes, ArchiveFault& fault)
{
    bytes = FileBytes{};
    fault = ArchiveFault{};
    if (index >= directory.entries.size()) {
        return archiveFault(fault, ArchiveFaultKind::noEntry, "no entry %llu in the archive",
                            static_cast<unsigned long long>(index));
    }
    const ArchiveEntry& entry = directory.entries[index];
    const char* name = entry.name.c_str();
    if (entry.encrypted) {
        return archiveFault(fault, ArchiveFaultKind::encrypted, "entry is encrypted: %s", name);
    }
    const bool stored = entry.method == static_cast<uint16_t>(ArchiveMethod::stored);
    if (!stored && entry.method != static_cast<uint16_t>(ArchiveMethod::deflate)) {
        return archiveFault(fault, ArchiveFaultKind::unsupportedMethod, "compression method %u is not supported: %s",
                            static_cast<unsigned>(entry.method), name);
    }
    if (entry.size > cap || entry.size > SIZE_MAX) {
        char sizeText[32];
        char capText[32];
        formatByteSize(entry.size, sizeText, sizeof sizeText);
        formatByteSize(cap, capText, sizeof capText);
        return archiveFault(fault, ArchiveFaultKind::tooLarge, "%s is %s, over the %s allowed", name, sizeText,
                            capText);
    }
    if (stored && entry.storedSize != entry.size) {
        return archiveFault(fault, ArchiveFaultKind::sizeMismatch, "%s is stored in %llu bytes but claims %llu", name,
                            static_cast<unsigned long long>(entry.storedSize),
                            static_cast<unsigned long long>(entry.size));
    }
    uint64_t start = entry.offset;
    if (directory.kind == ArchiveKind::zip) {
        if (!zipDataStart(reader, entry, start, fault)) {
            return false;
        }
    } else if (start > reader.size || entry.storedSize > reader.size - start) {
        return archiveFault(fault, ArchiveFaultKind::entryPastEnd, "%s runs past the end of the file", name);
    }
    const size_t size = static_cast<size_t>(entry.size);
    if (prefix < size) {
        std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[prefix > 0 ? prefix : 1]);
        if (!data ||
            !(stored ? archiveReadAt(reader, start, data.get(), prefix, fault)
                     : inflateArchivePrefix(reader, start, entry.storedSize, data.get(), prefix, name, fault))) {
            return data ? false : archiveFault(fault, ArchiveFaultKind::noMemory, "not enough memory to read %s", name);
        }
        bytes.bytes = std::move(data);
        bytes.size = prefix;
        return true;
    }
    // Uninitialised on purpose: the read or inflate fills every byte or the entry is refused.
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
    if (!data) {
        return archiveFault(fault, ArchiveFaultKind::noMemory, "not enough memory to read %s", name);
    }
    if (stored ? !archiveReadAt(reader, start, data.get(), size, fault)
               : !inflateArchiveData(reader, start, entry.storedSize, data.get(), size, name, fault)) {
        return false;
    }
    if (entry.hasCrc && archiveCrc32(data.get(), size) != entry.crc) {
        return archiveFault(fault, ArchiveFaultKind::crcMismatch, "CRC mismatch in %s", name);
    }
    bytes.bytes = std::move(data);
    bytes.size = size;
    return true;
}

}  // namespace

bool readArchiveEntry(const ArchiveReader& reader, const ArchiveDirectory& directory, size_t index, uint64_t cap,
                      FileBytes& bytes, ArchiveFault& fault)
{
    return readEntryBytes(reader, directory, index, cap, SIZE_MAX, bytes, fault);
}

bool readArchiveEntryStart(const ArchiveReader& reader, const ArchiveDirectory& directory, size_t index, size_t length,
                           FileBytes& bytes, ArchiveFault& fault)
{
    return readEntryBytes(reader, directory, index, UINT64_MAX, length, bytes, fault);
}
