// Quake-style PAK directories: "PACK", the directory's offset and length, then 64-byte entries of a 56-byte
// name, the data's offset and its length. Entries are stored, never compressed, and carry no CRC.
#include <cstring>

#include "model/archive.h"
#include "model/archiveInternal.h"

namespace {

constexpr uint64_t pakHeaderSize = 12;
constexpr uint64_t pakEntrySize = 64;
constexpr size_t pakNameSize = 56;

bool readPakEntries(const ArchiveReader& reader, uint64_t directoryOffset, uint64_t count, ArchiveDirectory& directory,
                    ArchiveFault& fault)
{
    directory.entries.reserve(static_cast<size_t>(count));
    // A piece of the directory at a time: its memory is the entries' own, not a copy of the whole.
    uint8_t piece[64 * pakEntrySize];
    for (uint64_t first = 0; first < count; first += 64) {
        const uint64_t inPiece = count - first < 64 ? count - first : 64;
        if (!archiveReadAt(reader, directoryOffset + first * pakEntrySize, piece,
                           static_cast<size_t>(inPiece * pakEntrySize), fault)) {
            return false;
        }
        for (uint64_t i = 0; i < inPiece; ++i) {
            const uint8_t* at = piece + i * pakEntrySize;
            const unsigned long long number = first + i;
            const void* end = std::memchr(at, 0, pakNameSize);
            if (end == nullptr) {
                return archiveFault(fault, ArchiveFaultKind::badName, "entry %llu has no end to its name", number);
            }
            const size_t nameLength = static_cast<size_t>(static_cast<const uint8_t*>(end) - at);
            if (nameLength == 0) {
                return archiveFault(fault, ArchiveFaultKind::badName, "entry %llu has no name", number);
            }
            ArchiveEntry entry;
            entry.name.assign(reinterpret_cast<const char*>(at), nameLength);
            entry.offset = archiveU32(at + pakNameSize);
            entry.storedSize = archiveU32(at + pakNameSize + 4);
            entry.size = entry.storedSize;
            if (entry.offset > reader.size || entry.storedSize > reader.size - entry.offset) {
                return archiveFault(fault, ArchiveFaultKind::entryPastEnd, "entry %llu runs past the end of the file",
                                    number);
            }
            directory.entries.push_back(std::move(entry));
        }
    }
    return true;
}

}  // namespace

bool readPakDirectory(const ArchiveReader& reader, ArchiveDirectory& directory, ArchiveFault& fault)
{
    directory = ArchiveDirectory{};
    fault = ArchiveFault{};
    uint8_t header[pakHeaderSize] = {};
    if (reader.size < 4) {
        return archiveFault(fault, ArchiveFaultKind::notArchive, "not a PAK file");
    }
    const size_t headerLength = reader.size < pakHeaderSize ? static_cast<size_t>(reader.size) : pakHeaderSize;
    if (!archiveReadAt(reader, 0, header, headerLength, fault)) {
        return false;
    }
    if (std::memcmp(header, "PACK", 4) != 0) {
        return archiveFault(fault, ArchiveFaultKind::notArchive, "not a PAK file");
    }
    if (headerLength < pakHeaderSize) {
        return archiveFault(fault, ArchiveFaultKind::headerCutShort, "the file ends inside the PAK header");
    }
    // Quake writes both as signed 32-bit numbers; read unsigned, a negative one is simply past the end.
    const uint64_t directoryOffset = archiveU32(header + 4);
    const uint64_t directoryLength = archiveU32(header + 8);
    if (directoryLength % pakEntrySize != 0) {
        return archiveFault(fault, ArchiveFaultKind::badDirectory,
                            "directory length %llu is not a whole number of entries",
                            static_cast<unsigned long long>(directoryLength));
    }
    const uint64_t count = directoryLength / pakEntrySize;
    if (count > maxArchiveEntries) {
        return archiveFault(fault, ArchiveFaultKind::tooManyEntries,
                            "directory claims %llu entries, over the %llu allowed",
                            static_cast<unsigned long long>(count), static_cast<unsigned long long>(maxArchiveEntries));
    }
    if (directoryOffset > reader.size || directoryLength > reader.size - directoryOffset) {
        return archiveFault(fault, ArchiveFaultKind::directoryPastEnd, "directory past the end of the file");
    }
    directory.kind = ArchiveKind::pak;
    if (!readPakEntries(reader, directoryOffset, count, directory, fault)) {
        directory = ArchiveDirectory{};
        return false;
    }
    return true;
}
