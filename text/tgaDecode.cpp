// Decodes an uncompressed 32-bit true-colour TGA file into RGBA pixels, or names the fault that stops it.
// GL-free: tgaTexture.cpp uploads what this produces.
#include "text/tga.h"

#include <cstring>
#include <new>
#include <utility>

#include "base/littleEndian.h"

namespace {

constexpr size_t headerSize = 18;
// Offsets of the fields the checks look at. Everything between them (the colour-map fields, the
// origin, the descriptor) is ignored.
constexpr size_t idLengthAt = 0;
constexpr size_t colourMapTypeAt = 1;
constexpr size_t imageTypeAt = 2;
constexpr size_t widthAt = 12;
constexpr size_t heightAt = 14;
constexpr size_t depthAt = 16;

constexpr uint8_t uncompressedTrueColour = 2;

// Judges the first size bytes of a file as a header. A short file's missing bytes count as zero, as a header
// record filled by unchecked reads would hold them.
TgaFault checkHeader(const uint8_t* bytes, size_t size, int32_t& width, int32_t& height)
{
    uint8_t header[headerSize] = {};
    for (size_t i = 0; i < size && i < headerSize; ++i) {
        header[i] = bytes[i];
    }
    if (header[idLengthAt] != 0) {
        return TgaFault::incompatibleFormat;
    }
    if (header[colourMapTypeAt] != 0 || header[imageTypeAt] != uncompressedTrueColour) {
        return TgaFault::formatBad;
    }
    width = readU16le(header + widthAt);
    height = readU16le(header + heightAt);
    if (!isPowerOfTwo(width) || !isPowerOfTwo(height)) {
        return TgaFault::sizeNotPowerOfTwo;
    }
    if (header[depthAt] != 32) {
        return TgaFault::bitDepthNot32;
    }
    return TgaFault::none;
}

size_t pixelByteCount(int32_t width, int32_t height)
{
    return static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
}

// Stored blue, green, red, alpha; OpenGL gets red, green, blue, alpha.
void swapRedAndBlue(uint8_t* pixels, size_t byteCount)
{
    for (size_t i = 0; i < byteCount; i += 4) {
        const uint8_t blue = pixels[i];
        pixels[i] = pixels[i + 2];
        pixels[i + 2] = blue;
    }
}

}  // namespace

const char* tgaFaultText(TgaFault fault)
{
    switch (fault) {
    case TgaFault::none:
        return nullptr;
    case TgaFault::fileNotFound:
        return "TGA: File not found";
    case TgaFault::incompatibleFormat:
        return "TGA: Incompatible format";
    case TgaFault::formatBad:
        return "TGA: Format bad";
    case TgaFault::sizeNotPowerOfTwo:
        return "TGA: Image size not power of 2";
    case TgaFault::bitDepthNot32:
        return "TGA: Image bit depth not 32";
    case TgaFault::noMemory:
        return "TGA: Could not allocate memory";
    case TgaFault::dataSizeMismatch:
        return "TGA: Data size does not match";
    }
    return nullptr;
}

// 2 to 2048 only: 4096 is past the texture limit of many OpenGL 1.1 drivers, and a 1-texel side holds no glyph grid.
bool isPowerOfTwo(int32_t n)
{
    for (int32_t size = 2; size <= 2048; size *= 2) {
        if (n == size) {
            return true;
        }
    }
    return false;
}

namespace {

// What both readers share: the header's checks, the pixel buffer, and BGRA turned into RGBA. fill(pixels, count)
// supplies the pixel bytes, false when there are not that many.
template <typename Fill>
TgaFault decodeWith(const uint8_t* header, size_t headerBytes, TgaImage& image, Fill&& fill)
{
    image = TgaImage{};
    int32_t width = 0;
    int32_t height = 0;
    const TgaFault fault = checkHeader(header, headerBytes, width, height);
    if (fault != TgaFault::none) {
        return fault;
    }
    const size_t byteCount = pixelByteCount(width, height);
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[byteCount]);
    if (!pixels) {
        return TgaFault::noMemory;
    }
    if (!fill(pixels.get(), byteCount)) {
        return TgaFault::dataSizeMismatch;
    }
    swapRedAndBlue(pixels.get(), byteCount);
    image.width = width;
    image.height = height;
    image.pixels = std::move(pixels);
    return TgaFault::none;
}

}  // namespace

TgaFault decodeTgaImage(const uint8_t* bytes, size_t size, TgaImage& image)
{
    if (bytes == nullptr) {
        size = 0;
    }
    return decodeWith(bytes, size, image, [&](uint8_t* pixels, size_t count) {
        if (size < headerSize || size - headerSize < count) {
            return false;
        }
        std::memcpy(pixels, bytes + headerSize, count);
        return true;
    });
}

// Reads no more than a sound image needs, the header and then the pixels straight into their buffer, so
// whatever follows them in the file, however large, is never read.
TgaFault readTgaImage(FILE* file, TgaImage& image)
{
    uint8_t header[headerSize];
    const size_t headerRead = std::fread(header, 1, headerSize, file);
    return decodeWith(header, headerRead, image,
                      [&](uint8_t* pixels, size_t count) { return std::fread(pixels, 1, count, file) == count; });
}
