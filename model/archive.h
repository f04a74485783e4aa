// Game archives read as folders: Quake-style PAK files and ZIP files (.pk3, .pkz, .zip). Only the directory is
// read on open; an entry's bytes are read when asked for, against a size cap. GL-free, through a reader that
// fetches bytes at an offset, so a 4 GB archive costs no more memory than its directory and the entry used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/fileBytes.h"

// Random access to an archive's bytes: readAt fills length bytes from offset, or returns false.
struct ArchiveReader {
    void* context = nullptr;
    uint64_t size = 0;
    bool (*readAt)(void* context, uint64_t offset, void* out, size_t length) = nullptr;
};

// Bytes in memory as an archive; the record must outlive every reader made over it.
struct ArchiveBytes {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
};
ArchiveReader archiveReaderOverBytes(const ArchiveBytes& bytes);

// Opens a UTF-8 path as an archive, with 64-bit seeks; false with errno set when it cannot be opened or sized.
// The reader owns the open file until closeArchiveFile.
bool openArchiveFile(const char* utf8Path, ArchiveReader& reader);
void closeArchiveFile(ArchiveReader& reader);

enum class ArchiveKind { none, pak, zip };

// What the first bytes say: "PACK" is a PAK, a ZIP local header or end record is a ZIP.
ArchiveKind archiveKindOf(const uint8_t* bytes, size_t size);

// An archive holding more is refused rather than read: the largest game archives hold tens of thousands of
// files, and a hostile header claiming millions would otherwise cost memory before a byte of it is checked.
constexpr uint64_t maxArchiveEntries = 262144;
constexpr uint64_t maxArchiveDirectoryBytes = 64u << 20;

enum class ArchiveMethod : uint16_t { stored = 0, deflate = 8 };

struct ArchiveEntry {
    std::string name;         // as the archive spells it, '/' or '\' between folders
    uint64_t offset = 0;      // PAK: where the data starts; ZIP: where the entry's local header starts
    uint64_t storedSize = 0;  // bytes in the archive
    uint64_t size = 0;        // bytes once read (inflated)
    uint16_t method = 0;      // ZIP compression method as recorded; 0 stored, 8 deflate, any other is refused on read
    bool encrypted = false;   // refused on read
    bool hasCrc = false;      // ZIP entries carry a CRC-32; PAK entries have none
    uint32_t crc = 0;
};

struct ArchiveDirectory {
    ArchiveKind kind = ArchiveKind::none;
    std::vector<ArchiveEntry> entries;  // in the archive's own order; ZIP folder records are left out
};

enum class ArchiveFaultKind {
    none,
    readError,          // "cannot read the archive at byte 1234"
    notArchive,         // "not a PAK file", "not a ZIP file", "not an archive"
    headerCutShort,     // "the file ends inside the PAK header"
    directoryPastEnd,   // "directory past the end of the file"
    badDirectory,       // "directory length 70 is not a whole number of entries", "entry 3 is not a directory record"
    tooManyEntries,     // "directory claims 10000000 entries, over the 262144 allowed"
    directoryTooLarge,  // "directory is 100 MB, over the 64 MB allowed"
    entryPastEnd,       // "entry 12 runs past the end of the file"
    badName,            // "entry 4 has no end to its name"
    zip64,              // "ZIP64 archives are not supported"
    multiDisk,          // "archives split over several disks are not supported"
    noEntry,            // an entry index outside the directory
    encrypted,          // "entry is encrypted: models/x/tris.md2"
    unsupportedMethod,  // "compression method 14 is not supported: models/x/tris.md2"
    badLocalHeader,     // "no local header for models/x/tris.md2"
    tooLarge,           // "models/x/tris.md2 is 4.0 GB, over the 32 MB allowed"
    badData,            // "models/x/tris.md2 does not inflate: invalid stored block lengths"
    sizeMismatch,       // "models/x/tris.md2 inflates to other than its 1234 bytes"
    crcMismatch,        // "CRC mismatch in models/x/tris.md2"
    noMemory,
};

struct ArchiveFault {
    ArchiveFaultKind kind = ArchiveFaultKind::none;
    char text[192] = {};
};

// Entry numbers in fault texts count from 0 in the directory's order.
// Each reads the header or end record and the directory through the reader, checking every offset and length in
// 64 bits against the file's size and the caps above before anything is allocated or read. On a fault the
// directory is left empty.
bool readPakDirectory(const ArchiveReader& reader, ArchiveDirectory& directory, ArchiveFault& fault);
bool readZipDirectory(const ArchiveReader& reader, ArchiveDirectory& directory, ArchiveFault& fault);
// Picks the reader by the first bytes.
bool readArchiveDirectory(const ArchiveReader& reader, ArchiveDirectory& directory, ArchiveFault& fault);

// The index of the first entry named name, compared without case and with '/' and '\' alike; -1 when none.
long findArchiveEntry(const ArchiveDirectory& directory, const std::string& name);

// The names directly inside folder ("" for the root; with or without a trailing separator), each once, sorted
// without case: files by their own name, folders by theirs followed by '/'.
std::vector<std::string> listArchiveFolder(const ArchiveDirectory& directory, const std::string& folder);

// Reads one entry whole: stored bytes as they are, deflate through zlib, CRC-32 checked for ZIP entries. An entry
// whose size is over cap is refused before anything is allocated, and inflating never writes past that size.
// On a fault bytes is left empty.
bool readArchiveEntry(const ArchiveReader& reader, const ArchiveDirectory& directory, size_t entry, uint64_t cap,
                      FileBytes& bytes, ArchiveFault& fault);

// Reads the first length bytes of an entry (all of it when shorter), inflating no further than that: a header
// without the cost of the whole entry. No CRC can be checked on part of an entry.
bool readArchiveEntryStart(const ArchiveReader& reader, const ArchiveDirectory& directory, size_t entry, size_t length,
                           FileBytes& bytes, ArchiveFault& fault);
