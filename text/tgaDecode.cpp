// Decodes an uncompressed 32-bit true-colour TGA file into RGBA pixels, or names the fault that stops it.
// GL-free: tgaTexture.cpp uploads what this produces.
#include "text/tga.h"

#include <new>

namespace {

// The 18-byte header as it is read: three one-byte fields, the 5 colour-map bytes, then the 10 image bytes
// (origin, size, depth, descriptor). Zero-filled first, so fields past the end of a short file read as 0.
struct TgaHeader {
    uint8_t idLength = 0;
    uint8_t colourMapType = 0;
    uint8_t imageType = 0;
    uint8_t colourMapFields[5] = {};
    uint8_t imageFields[10] = {};
};

// Offsets inside the image bytes (file offsets 8 to 17).
constexpr int widthAt = 4;
constexpr int heightAt = 6;
constexpr int depthAt = 8;

constexpr uint8_t uncompressedTrueColour = 2;

int32_t readU16le(const uint8_t* bytes)
{
    return static_cast<int32_t>(bytes[0]) + 256 * static_cast<int32_t>(bytes[1]);
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

bool isPowerOfTwo(int32_t n)
{
    for (int32_t size = 2; size <= 2048; size *= 2) {
        if (n == size) {
            return true;
        }
    }
    return false;
}

TgaFault readTgaImage(FILE* file, TgaImage& image)
{
    image = TgaImage{};

    // Five reads, none checked: whatever a short file lacks stays zero and is judged by the checks below.
    TgaHeader header;
    std::fread(&header.idLength, 1, 1, file);
    std::fread(&header.colourMapType, 1, 1, file);
    std::fread(&header.imageType, 1, 1, file);
    std::fread(header.colourMapFields, 1, sizeof header.colourMapFields, file);
    std::fread(header.imageFields, 1, sizeof header.imageFields, file);

    if (header.idLength != 0) {
        return TgaFault::incompatibleFormat;
    }
    if (header.colourMapType != 0 || header.imageType != uncompressedTrueColour) {
        return TgaFault::formatBad;
    }
    const int32_t width = readU16le(header.imageFields + widthAt);
    const int32_t height = readU16le(header.imageFields + heightAt);
    const int32_t depth = header.imageFields[depthAt];
    if (!isPowerOfTwo(width) || !isPowerOfTwo(height)) {
        return TgaFault::sizeNotPowerOfTwo;
    }
    if (depth != 32) {
        return TgaFault::bitDepthNot32;
    }

    const size_t byteCount = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[byteCount]);
    if (!pixels) {
        return TgaFault::noMemory;
    }
    if (std::fread(pixels.get(), 1, byteCount, file) != byteCount) {
        return TgaFault::dataSizeMismatch;
    }

    // Stored blue, green, red, alpha; OpenGL gets red, green, blue, alpha.
    for (size_t i = 0; i < byteCount; i += 4) {
        const uint8_t blue = pixels[i];
        pixels[i] = pixels[i + 2];
        pixels[i + 2] = blue;
    }

    image.width = width;
    image.height = height;
    image.pixels = std::move(pixels);
    return TgaFault::none;
}
