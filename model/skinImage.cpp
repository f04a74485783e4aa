// Picks the decoder for a skin file by its content and guards stb_image: the size is read from the header and
// judged before any pixel is decoded, so a header claiming a huge picture never gets its buffer.
#include "model/skinImage.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "model/pcx.h"
#include "stb_image.h"

namespace {

void explain(std::string* reason, std::string text)
{
    if (reason != nullptr) {
        *reason = std::move(text);
    }
}

std::string sizeText(int64_t width, int64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height) + " (at most " + std::to_string(maxSkinSide) + " x " +
           std::to_string(maxSkinSide) + ")";
}

const char* stbReason()
{
    const char* text = stbi_failure_reason();
    return text != nullptr ? text : "unknown reason";
}

// stb_image as Debian ships it (2.27) trusts the code counts of a JPEG Huffman table (a DHT segment): counts adding
// up to more than 256 write past its 256-entry tables. stb reads a DHT wherever it meets the bytes FF C4 as a
// marker, so every FF C4 in the file is read the way stb would read a DHT there (bytes past the end read as 0, as
// in stb), and one table over 256 codes refuses the file before stb sees it. Real files hold a few small tables;
// the work is bounded so that a file of many overlapping fake segments cannot stall here instead.
bool jpegHuffmanCountsFit(const uint8_t* bytes, size_t size)
{
    auto byteAt = [&](size_t at) -> int32_t { return at < size ? bytes[at] : 0; };
    int64_t budget = 64 * int64_t(size) + (int64_t{1} << 20);
    for (size_t marker = 0; marker + 1 < size; ++marker) {
        if (bytes[marker] != 0xff || bytes[marker + 1] != 0xc4) {
            continue;
        }
        size_t at = marker + 4;
        int64_t left = (byteAt(marker + 2) << 8 | byteAt(marker + 3)) - 2;
        while (left > 0 && at < size) {
            int32_t codes = 0;
            for (size_t i = 1; i <= 16; ++i) {
                codes += byteAt(at + i);
            }
            if (codes > 256) {
                return false;
            }
            at += 17 + size_t(codes);
            left -= 17 + codes;
            budget -= 17;
            if (budget < 0) {
                return false;
            }
        }
    }
    return true;
}

uint32_t readU32le(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

uint32_t readU16le(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8;
}

// stb_image fills whatever lies past the end of an uncompressed BMP or TGA with zeros, so a cut-short file would
// draw black without a word. Their pixels' extent follows from the header: "BMP" or "TGA" when the file ends before
// it, nullptr otherwise (other formats, compressed data, which stb refuses or checks itself, and headers stb will
// refuse anyway). width and height are the sides stb reported.
const char* formatCutShort(const uint8_t* bytes, size_t size, int64_t width, int64_t height)
{
    if (size >= 30 && bytes[0] == 'B' && bytes[1] == 'M') {
        const uint32_t infoSize = readU32le(bytes + 14);
        // The oldest header (12 bytes) keeps its bit count at 24, the later ones at 28, with the compression at 30.
        const uint32_t bits = infoSize == 12 ? readU16le(bytes + 24) : readU16le(bytes + 28);
        const uint32_t compression = infoSize == 12 || size < 34 ? 0 : readU32le(bytes + 30);
        // 0: none; 3 and 6: bit fields, still uncompressed. RLE (1, 2) stb_image does not decode at all.
        if (compression != 0 && compression != 3 && compression != 6) {
            return nullptr;
        }
        const int64_t rowBytes = (width * bits + 31) / 32 * 4;
        const int64_t end = int64_t{readU32le(bytes + 10)} + rowBytes * height;
        return end > static_cast<int64_t>(size) ? "BMP" : nullptr;
    }
    // TGA has no signature; stb has already taken the header, so only its uncompressed types are measured.
    if (size >= 18 && (bytes[2] == 1 || bytes[2] == 2 || bytes[2] == 3)) {
        const int64_t mapBytes = bytes[1] != 0 ? int64_t{readU16le(bytes + 5)} * ((bytes[7] + 7) / 8) : 0;
        const int64_t end = 18 + int64_t{bytes[0]} + mapBytes + width * height * ((bytes[16] + 7) / 8);
        return end > static_cast<int64_t>(size) ? "TGA" : nullptr;
    }
    return nullptr;
}

}  // namespace

const char* skinFaultText(SkinFault fault)
{
    switch (fault) {
    case SkinFault::none:
        return nullptr;
    case SkinFault::badPcx:
        return "bad PCX file";
    case SkinFault::notAnImage:
        return "not a readable image";
    case SkinFault::tooLarge:
        return "image too large";
    case SkinFault::undecodable:
        return "image data cannot be decoded";
    case SkinFault::cutShort:
        return "the file ends before the image does";
    }
    return nullptr;
}

SkinFault decodeSkinImage(const uint8_t* bytes, size_t size, SkinImage& image, std::string* reason)
{
    image = SkinImage{};
    if (reason != nullptr) {
        reason->clear();
    }
    if (looksLikePcx(bytes, size)) {
        const PcxFault fault = decodePcxImage(bytes, size, image);
        if (fault == PcxFault::none) {
            return SkinFault::none;
        }
        explain(reason, pcxFaultText(fault));
        return SkinFault::badPcx;
    }

    // stb_image measures its input in int.
    if (size > size_t(INT_MAX)) {
        explain(reason, "image too large: the file is over 2 GB");
        return SkinFault::tooLarge;
    }
    // Only a file starting with FF can be a JPEG to stb; its header reader builds the tables too, so this goes
    // before even the size is asked for.
    if (size > 0 && bytes[0] == 0xff && !jpegHuffmanCountsFit(bytes, size)) {
        explain(reason, "image data cannot be decoded: a JPEG Huffman table holds more than 256 codes");
        return SkinFault::undecodable;
    }
    const int length = static_cast<int>(size);
    int width = 0;
    int height = 0;
    int channels = 0;
    if (size == 0 || stbi_info_from_memory(bytes, length, &width, &height, &channels) == 0) {
        explain(reason, std::string("not a readable image: ") + (size == 0 ? "the file is empty" : stbReason()));
        return SkinFault::notAnImage;
    }
    // stb's header reader gives a top-down BMP's height as negative (its decoder then takes the magnitude); a
    // side of -2^31 would have no magnitude in int, so sides are judged in 64 bits.
    const int64_t side[2] = {std::llabs(int64_t{width}), std::llabs(int64_t{height})};
    if (side[0] < 1 || side[1] < 1) {
        explain(reason, "not a readable image: it has no pixels");
        return SkinFault::notAnImage;
    }
    if (side[0] > maxSkinSide || side[1] > maxSkinSide) {
        explain(reason, "image too large: " + sizeText(side[0], side[1]));
        return SkinFault::tooLarge;
    }
    width = static_cast<int>(side[0]);
    height = static_cast<int>(side[1]);
    if (const char* format = formatCutShort(bytes, size, width, height)) {
        explain(reason, std::string(format) + ": " + skinFaultText(SkinFault::cutShort));
        return SkinFault::cutShort;
    }

    int loadedWidth = 0;
    int loadedHeight = 0;
    stbi_uc* loaded = stbi_load_from_memory(bytes, length, &loadedWidth, &loadedHeight, &channels, 4);
    if (loaded == nullptr) {
        explain(reason, std::string("image data cannot be decoded: ") + stbReason());
        return SkinFault::undecodable;
    }
    // The pixels must be the size the header promised, or the copy below would read past them.
    if (loadedWidth != width || loadedHeight != height) {
        stbi_image_free(loaded);
        explain(reason, "image data cannot be decoded: its size differs from its header's");
        return SkinFault::undecodable;
    }
    const size_t byteCount = size_t(width) * size_t(height) * 4;
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[byteCount]);
    if (!pixels) {
        stbi_image_free(loaded);
        explain(reason, "image data cannot be decoded: out of memory");
        return SkinFault::undecodable;
    }
    std::memcpy(pixels.get(), loaded, byteCount);
    stbi_image_free(loaded);

    image.width = width;
    image.height = height;
    image.pixels = std::move(pixels);
    return SkinFault::none;
}
