// Skin pictures as RGBA pixels: PCX through pcx.cpp, PNG, JPEG, TGA and BMP through stb_image, all from bytes in
// memory. GL-free; the texture upload that pairs with it takes the rows as they come here, top row first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/rgbaImage.h"

// Neither side may exceed this; a larger picture is refused from its header, before its pixels are allocated.
inline constexpr int32_t maxSkinSide = 4096;

// RGBA pixels, top row first.
using SkinImage = RgbaImage;

enum class SkinFault {
    none,
    badPcx,       // looked like a PCX file but the PCX decoder refused it; the reason says why
    notAnImage,   // stb_image could not read the header (unknown format, or a damaged one)
    tooLarge,     // a side over maxSkinSide, or a file over 2 GB
    undecodable,  // the header was fine but the pixels could not be decoded
    cutShort,     // a BMP or TGA whose pixels, as its header lays them out, run past the end of the file
};

// A short fixed text for a fault, e.g. "image too large"; nullptr for none.
const char* skinFaultText(SkinFault fault);

// Decodes a whole image file held in memory. PCX is recognised by its first bytes; anything else goes to
// stb_image. On a fault image is left empty, and reason (when given) gets a one-line explanation such as
// "PCX: the file ends before the image does" or "image too large: 60000 x 60000 (at most 4096 x 4096)".
SkinFault decodeSkinImage(const uint8_t* bytes, size_t size, SkinImage& image, std::string* reason = nullptr);
