// ZIP directories (.pk3, .pkz, .zip): the end of central directory record, found by searching back over the
// archive's comment, then the central directory. Local headers are read only when an entry is opened.
#include <cstring>
#include <memory>
#include <new>

#include "model/archive.h"
#include "model/archiveInternal.h"

namespace {

constexpr uint32_t endSignature = 0x06054b50;
constexpr uint32_t zip64LocatorSignature = 0x07064b50;
constexpr uint32_t centralSignature = 0x02014b50;
constexpr uint64_t endSize = 22;
constexpr uint64_t zip64LocatorSize = 20;
constexpr uint64_t centralSize = 46;
constexpr uint64_t localHeaderSize = 30;
constexpr uint64_t maxCommentSize = 65535;

// Finds the end record in the last bytes of the file: the last signature whose comment fits in what follows.
bool findEndRecord(const ArchiveReader& reader, uint64_t& endOffset, uint8_t record[endSize], ArchiveFault& fault)
{
    const uint64_t tailSize = reader.size < endSize + maxCommentSize ? reader.size : endSize + maxCommentSize;
    if (tailSize < endSize) {
        return archiveFault(fault, ArchiveFaultKind::notArchive, "not a ZIP file");
    }
    const uint64_t tailStart = reader.size - tailSize;
    std::unique_ptr<uint8_t[]> tail(new (std::nothrow) uint8_t[tailSize]);
    if (!tail) {
        return archiveFault(fault, ArchiveFaultKind::noMemory, "not enough memory to read the ZIP end record");
    }
    if (!archiveReadAt(reader, tailStart, tail.get(), static_cast<size_t>(tailSize), fault)) {
        return false;
    }
    for (uint64_t at = tailSize - endSize + 1; at-- > 0;) {
        const uint8_t* candidate = tail.get() + at;
        if (archiveU32(candidate) == endSignature && at + endSize + archiveU16(candidate + 20) <= tailSize) {
            endOffset = tailStart + at;
            std::memcpy(record, candidate, endSize);
            return true;
        }
    }
    return archiveFault(fault, ArchiveFaultKind::notArchive, "not a ZIP file (no end of central directory)");
}

bool readCentralEntries(const uint8_t* central, uint64_t centralLength, uint64_t count, uint64_t archiveSize,
                        ArchiveDirectory& directory, ArchiveFault& fault)
{
    directory.entries.reserve(static_cast<size_t>(count));
    uint64_t at = 0;
    for (uint64_t number = 0; number < count; ++number) {
        const unsigned long long shown = number;
        if (centralLength - at < centralSize || archiveU32(central + at) != centralSignature) {
            return archiveFault(fault, ArchiveFaultKind::badDirectory, "entry %llu is not a directory record", shown);
        }
        const uint8_t* record = central + at;
        const uint64_t nameLength = archiveU16(record + 28);
        const uint64_t recordLength = centralSize + nameLength + archiveU16(record + 30) + archiveU16(record + 32);
        if (centralLength - at < recordLength) {
            return archiveFault(fault, ArchiveFaultKind::badDirectory, "entry %llu runs past the directory's end",
                                shown);
        }
        const uint32_t storedSize = archiveU32(record + 20);
        const uint32_t size = archiveU32(record + 24);
        const uint32_t offset = archiveU32(record + 42);
        // The 32-bit fields all ones mean the real value is in a ZIP64 extra field.
        if (storedSize == 0xffffffffu || size == 0xffffffffu || offset == 0xffffffffu ||
            archiveU16(record + 34) == 0xffff) {
            return archiveFault(fault, ArchiveFaultKind::zip64, "ZIP64 archives are not supported");
        }
        if (archiveU16(record + 34) != 0) {
            return archiveFault(fault, ArchiveFaultKind::multiDisk,
                                "archives split over several disks are not supported");
        }
        if (nameLength == 0) {
            return archiveFault(fault, ArchiveFaultKind::badName, "entry %llu has no name", shown);
        }
        if (offset > archiveSize || localHeaderSize + nameLength + storedSize > archiveSize - offset) {
            return archiveFault(fault, ArchiveFaultKind::entryPastEnd, "entry %llu runs past the end of the file",
                                shown);
        }
        at += recordLength;
        const char* name = reinterpret_cast<const char*>(record + centralSize);
        const char last = name[nameLength - 1];
        if ((last == '/' || last == '\\') && size == 0) {
            continue;  // a folder's own record: the folder shows through the names inside it
        }
        ArchiveEntry entry;
        entry.name.assign(name, static_cast<size_t>(nameLength));
        entry.offset = offset;
        entry.storedSize = storedSize;
        entry.size = size;
        entry.method = archiveU16(record + 10);
        // Bit 0: encrypted; bit 6: strong encryption, which also sets bit 0 but is named for clarity.
        entry.encrypted = (archiveU16(record + 8) & 0x41) != 0;
        entry.hasCrc = true;
        entry.crc = archiveU32(record + 16);
        directory.entries.push_back(std::move(entry));
    }
    return true;
}

}  // namespace

bool readZipDirectory(const ArchiveReader& reader, ArchiveDirectory& directory, ArchiveFault& fault)
{
    directory = ArchiveDirectory{};
    fault = ArchiveFault{};
    uint64_t endOffset = 0;
    uint8_t end[endSize] = {};
    if (!findEndRecord(reader, endOffset, end, fault)) {
        return false;
    }
    if (endOffset >= zip64LocatorSize) {
        uint8_t locator[4];
        if (!archiveReadAt(reader, endOffset - zip64LocatorSize, locator, sizeof locator, fault)) {
            return false;
        }
        if (archiveU32(locator) == zip64LocatorSignature) {
            return archiveFault(fault, ArchiveFaultKind::zip64, "ZIP64 archives are not supported");
        }
    }
    const uint64_t disk = archiveU16(end + 4);
    const uint64_t centralDisk = archiveU16(end + 6);
    const uint64_t countOnDisk = archiveU16(end + 8);
    const uint64_t count = archiveU16(end + 10);
    const uint64_t centralLength = archiveU32(end + 12);
    const uint64_t centralOffset = archiveU32(end + 16);
    if (count == 0xffff || centralLength == 0xffffffffu || centralOffset == 0xffffffffu) {
        return archiveFault(fault, ArchiveFaultKind::zip64, "ZIP64 archives are not supported");
    }
    if (disk != 0 || centralDisk != 0 || countOnDisk != count) {
        return archiveFault(fault, ArchiveFaultKind::multiDisk, "archives split over several disks are not supported");
    }
    // A 16-bit count cannot pass maxArchiveEntries; the check stays for when the cap is lowered.
    if (count > maxArchiveEntries) {
        return archiveFault(fault, ArchiveFaultKind::tooManyEntries,
                            "directory claims %llu entries, over the %llu allowed",
                            static_cast<unsigned long long>(count), static_cast<unsigned long long>(maxArchiveEntries));
    }
    if (centralLength > maxArchiveDirectoryBytes) {
        char sizeText[32];
        char capText[32];
        formatByteSize(centralLength, sizeText, sizeof sizeText);
        formatByteSize(maxArchiveDirectoryBytes, capText, sizeof capText);
        return archiveFault(fault, ArchiveFaultKind::directoryTooLarge, "directory is %s, over the %s allowed",
                            sizeText, capText);
    }
    if (centralOffset > endOffset || centralLength > endOffset - centralOffset) {
        return archiveFault(fault, ArchiveFaultKind::directoryPastEnd, "directory past the end of the file");
    }
    if (count * centralSize > centralLength) {
        return archiveFault(fault, ArchiveFaultKind::badDirectory, "directory of %llu bytes cannot hold %llu entries",
                            static_cast<unsigned long long>(centralLength), static_cast<unsigned long long>(count));
    }
    std::unique_ptr<uint8_t[]> central(new (std::nothrow) uint8_t[centralLength > 0 ? centralLength : 1]);
    if (!central) {
        return archiveFault(fault, ArchiveFaultKind::noMemory, "not enough memory to read the directory");
    }
    if (!archiveReadAt(reader, centralOffset, central.get(), static_cast<size_t>(centralLength), fault)) {
        return false;
    }
    directory.kind = ArchiveKind::zip;
    if (!readCentralEntries(central.get(), centralLength, count, reader.size, directory, fault)) {
        directory = ArchiveDirectory{};
        return false;
    }
    return true;
}
