// Small PAK and ZIP archives for tests and fuzz seeds, written from the formats themselves; deflated entries go
// through zlib with a raw window, as ZIP stores them. Header-only, like the other builders the seed writer uses.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct ArchiveBuildEntry {
    std::string name;
    std::vector<uint8_t> data;
    bool deflate = false;    // ZIP only
    std::string localExtra;  // ZIP only: an extra field in the local header alone, which moves the data start
};

inline void putU16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void putU32(std::vector<uint8_t>& out, uint32_t value)
{
    putU16(out, value & 0xffff);
    putU16(out, value >> 16);
}

inline void setU16(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

inline void setU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    setU16(bytes, at, value & 0xffff);
    setU16(bytes, at + 2, value >> 16);
}

inline uint32_t getU32(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

inline std::vector<uint8_t> textBytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Raw deflate (no zlib header or trailer) at the best compression.
inline std::vector<uint8_t> rawDeflate(const std::vector<uint8_t>& data)
{
    z_stream stream = {};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&stream, static_cast<uLong>(data.size())) + 16);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// "PACK", the directory after the data, 64-byte entries. Entry i's directory record is at
// pakDirectoryOffset(pak) + 64 * i.
inline std::vector<uint8_t> buildPak(const std::vector<ArchiveBuildEntry>& entries)
{
    std::vector<uint8_t> out = {'P', 'A', 'C', 'K', 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint32_t> offsets;
    for (const ArchiveBuildEntry& entry : entries) {
        offsets.push_back(static_cast<uint32_t>(out.size()));
        out.insert(out.end(), entry.data.begin(), entry.data.end());
    }
    const uint32_t directory = static_cast<uint32_t>(out.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        uint8_t name[56] = {};
        std::memcpy(name, entries[i].name.data(), entries[i].name.size() < 56 ? entries[i].name.size() : 56);
        out.insert(out.end(), name, name + 56);
        putU32(out, offsets[i]);
        putU32(out, static_cast<uint32_t>(entries[i].data.size()));
    }
    setU32(out, 4, directory);
    setU32(out, 8, static_cast<uint32_t>(entries.size() * 64));
    return out;
}

inline size_t pakDirectoryOffset(const std::vector<uint8_t>& pak)
{
    return getU32(pak, 4);
}

// Local headers and data, the central directory, then the end record and comment.
inline std::vector<uint8_t> buildZip(const std::vector<ArchiveBuildEntry>& entries, const std::string& comment = "")
{
    std::vector<uint8_t> out;
    std::vector<uint8_t> central;
    for (const ArchiveBuildEntry& entry : entries) {
        const std::vector<uint8_t> stored = entry.deflate ? rawDeflate(entry.data) : entry.data;
        const uint32_t crc = static_cast<uint32_t>(crc32(0, entry.data.data(), static_cast<uInt>(entry.data.size())));
        const uint32_t offset = static_cast<uint32_t>(out.size());
        const uint16_t method = entry.deflate ? 8 : 0;
        putU32(out, 0x04034b50);
        putU16(out, 20);
        putU16(out, 0);
        putU16(out, method);
        putU32(out, 0);  // time and date
        putU32(out, crc);
        putU32(out, static_cast<uint32_t>(stored.size()));
        putU32(out, static_cast<uint32_t>(entry.data.size()));
        putU16(out, static_cast<uint32_t>(entry.name.size()));
        putU16(out, static_cast<uint32_t>(entry.localExtra.size()));
        out.insert(out.end(), entry.name.begin(), entry.name.end());
        out.insert(out.end(), entry.localExtra.begin(), entry.localExtra.end());
        out.insert(out.end(), stored.begin(), stored.end());

        putU32(central, 0x02014b50);
        putU16(central, 20);
        putU16(central, 20);
        putU16(central, 0);
        putU16(central, method);
        putU32(central, 0);
        putU32(central, crc);
        putU32(central, static_cast<uint32_t>(stored.size()));
        putU32(central, static_cast<uint32_t>(entry.data.size()));
        putU16(central, static_cast<uint32_t>(entry.name.size()));
        putU16(central, 0);  // extra
        putU16(central, 0);  // comment
        putU16(central, 0);  // disk
        putU16(central, 0);  // internal attributes
        putU32(central, 0);  // external attributes
        putU32(central, offset);
        central.insert(central.end(), entry.name.begin(), entry.name.end());
    }
    const uint32_t centralOffset = static_cast<uint32_t>(out.size());
    out.insert(out.end(), central.begin(), central.end());
    putU32(out, 0x06054b50);
    putU16(out, 0);
    putU16(out, 0);
    putU16(out, static_cast<uint32_t>(entries.size()));
    putU16(out, static_cast<uint32_t>(entries.size()));
    putU32(out, static_cast<uint32_t>(central.size()));
    putU32(out, centralOffset);
    putU16(out, static_cast<uint32_t>(comment.size()));
    out.insert(out.end(), comment.begin(), comment.end());
    return out;
}

// Where a built ZIP's end record starts (the builder's comment length given) and its central directory starts.
inline size_t zipEndOffset(const std::vector<uint8_t>& zip, size_t commentLength = 0)
{
    return zip.size() - 22 - commentLength;
}

inline size_t zipCentralOffset(const std::vector<uint8_t>& zip, size_t commentLength = 0)
{
    return getU32(zip, zipEndOffset(zip, commentLength) + 16);
}
