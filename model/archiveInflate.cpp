// The one unit that uses zlib: raw inflate of a ZIP entry's deflate stream and the CRC-32 of what came out.
#include <zlib.h>

#include <algorithm>

#include "model/archiveInternal.h"

bool inflateArchiveData(const ArchiveReader& reader, uint64_t offset, uint64_t storedSize, uint8_t* out, size_t size,
                        const char* name, ArchiveFault& fault)
{
    z_stream stream = {};
    // Negative window bits: a raw stream, as ZIP stores it, with no zlib header or trailer.
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        return archiveFault(fault, ArchiveFaultKind::noMemory, "not enough memory to inflate %s", name);
    }
    uint8_t piece[16384];
    uint64_t done = 0;
    stream.next_out = out;
    // zlib counts in 32 bits; the cap keeps an entry far below that, but a piece at a time keeps it honest.
    uint64_t outLeft = size;
    int result = Z_OK;
    bool ended = false;
    while (!ended) {
        if (stream.avail_in == 0 && done < storedSize) {
            const size_t length = static_cast<size_t>(std::min<uint64_t>(sizeof piece, storedSize - done));
            if (!archiveReadAt(reader, offset + done, piece, length, fault)) {
                inflateEnd(&stream);
                return false;
            }
            done += length;
            stream.next_in = piece;
            stream.avail_in = static_cast<uInt>(length);
        }
        if (stream.avail_out == 0) {
            const uint64_t take = std::min<uint64_t>(outLeft, 1u << 30);
            stream.avail_out = static_cast<uInt>(take);
            outLeft -= take;
        }
        const uInt inBefore = stream.avail_in;
        const uInt outBefore = stream.avail_out;
        result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            ended = true;
        } else if (result == Z_BUF_ERROR ||
                   (result == Z_OK && inBefore == stream.avail_in && outBefore == stream.avail_out)) {
            // No progress: either the output is full with more to come, or the input ran out early.
            if (stream.avail_out == 0 && outLeft == 0) {
                inflateEnd(&stream);
                return archiveFault(fault, ArchiveFaultKind::sizeMismatch, "%s inflates past its %llu bytes", name,
                                    static_cast<unsigned long long>(size));
            }
            if (stream.avail_in == 0 && done >= storedSize) {
                inflateEnd(&stream);
                return archiveFault(fault, ArchiveFaultKind::badData, "%s does not inflate: the data ends early", name);
            }
        } else if (result != Z_OK) {
            const char* why = stream.msg != nullptr ? stream.msg : "corrupt data";
            inflateEnd(&stream);
            return archiveFault(fault, result == Z_MEM_ERROR ? ArchiveFaultKind::noMemory : ArchiveFaultKind::badData,
                                "%s does not inflate: %s", name, why);
        }
    }
    const uint64_t produced = stream.total_out;
    inflateEnd(&stream);
    if (produced != size) {
        return archiveFault(fault, ArchiveFaultKind::sizeMismatch, "%s inflates to other than its %llu bytes", name,
                            static_cast<unsigned long long>(size));
    }
    return true;
}

bool inflateArchivePrefix(const ArchiveReader& reader, uint64_t offset, uint64_t storedSize, uint8_t* out, size_t size,
                          const char* name, ArchiveFault& fault)
{
    z_stream stream = {};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        return archiveFault(fault, ArchiveFaultKind::noMemory, "not enough memory to inflate %s", name);
    }
    uint8_t piece[4096];
    uint64_t done = 0;
    stream.next_out = out;
    stream.avail_out = static_cast<uInt>(size);
    while (stream.avail_out > 0) {
        if (stream.avail_in == 0) {
            if (done >= storedSize) {
                break;
            }
            const size_t length = static_cast<size_t>(std::min<uint64_t>(sizeof piece, storedSize - done));
            if (!archiveReadAt(reader, offset + done, piece, length, fault)) {
                inflateEnd(&stream);
                return false;
            }
            done += length;
            stream.next_in = piece;
            stream.avail_in = static_cast<uInt>(length);
        }
        const int result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            break;
        }
        if (result != Z_OK && result != Z_BUF_ERROR) {
            const char* why = stream.msg != nullptr ? stream.msg : "corrupt data";
            inflateEnd(&stream);
            return archiveFault(fault, ArchiveFaultKind::badData, "%s does not inflate: %s", name, why);
        }
    }
    const bool whole = stream.avail_out == 0;
    inflateEnd(&stream);
    return whole ? true
                 : archiveFault(fault, ArchiveFaultKind::badData, "%s does not inflate: the data ends early", name);
}

uint32_t archiveCrc32(const uint8_t* bytes, size_t size)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    while (size > 0) {
        const uInt piece = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        crc = crc32(crc, bytes, piece);
        bytes += piece;
        size -= piece;
    }
    return static_cast<uint32_t>(crc);
}
