// TGA images: GL-free decoding of uncompressed 32-bit true-colour files into RGBA pixels (tgaDecode.cpp),
// and the loader that uploads them as a mipmapped texture or shows why it cannot (tgaTexture.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/rgbaImage.h"

enum class TgaFault {
    none,
    fileNotFound,
    incompatibleFormat,
    formatBad,
    sizeNotPowerOfTwo,
    bitDepthNot32,
    noMemory,
    dataSizeMismatch,
};

// The notice text of a fault, e.g. "TGA: Format bad"; nullptr for none.
const char* tgaFaultText(TgaFault fault);

// RGBA pixels, first stored row first.
using TgaImage = RgbaImage;

bool isPowerOfTwo(int32_t n);

// Decodes a whole file's bytes; on success image holds RGBA pixels. Anything after the pixels is ignored.
TgaFault decodeTgaImage(const uint8_t* bytes, size_t size, TgaImage& image);

// The same from an open file, reading only the header and the pixels it calls for. Never closes file.
TgaFault readTgaImage(FILE* file, TgaImage& image);

// A texture name, 0 when the file cannot be opened, or all bits set after any other fault.
// Every fault shows its text in a notice captioned "TGA: ERROR" first. Needs a current context.
unsigned loadTgaTexture(const char* path, int filter);

// A mipmapped, repeating, modulating texture of width x height RGBA pixels, rows in the order given, left bound
// to GL_TEXTURE_2D. Needs a current context; any size works (the mipmap build scales to powers of two).
unsigned uploadTexture(const uint8_t* pixels, int32_t width, int32_t height, int magFilter, int minFilter);
