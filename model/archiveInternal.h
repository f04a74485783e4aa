// Shared by the archive readers' own files: little-endian fields, fault texts and the inflate step.
// Not for callers outside model/archive*.cpp, model/pak.cpp and model/zip.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/archive.h"

inline uint16_t archiveU16(const uint8_t* at)
{
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

inline uint32_t archiveU32(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

// Sets the fault with a printf-style text; always returns false, so a refusal is one return statement.
bool archiveFault(ArchiveFault& fault, ArchiveFaultKind kind, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Reads length bytes at offset, or sets a read fault; offset + length is already checked against the size.
bool archiveReadAt(const ArchiveReader& reader, uint64_t offset, void* out, size_t length, ArchiveFault& fault);

// Inflates the raw deflate stream of storedSize bytes at offset into exactly size bytes of out. Reads the
// stream in small pieces, so only out is as large as the entry.
bool inflateArchiveData(const ArchiveReader& reader, uint64_t offset, uint64_t storedSize, uint8_t* out, size_t size,
                        const char* name, ArchiveFault& fault);

// Inflates only the first size bytes of the stream into out; false when it ends or fails before them.
bool inflateArchivePrefix(const ArchiveReader& reader, uint64_t offset, uint64_t storedSize, uint8_t* out, size_t size,
                          const char* name, ArchiveFault& fault);

uint32_t archiveCrc32(const uint8_t* bytes, size_t size);
