// PCX pictures as MD2 skins use them (version 5, run-length encoded, 8 bits in one plane, 256-colour palette at
// the end) decoded from bytes into RGBA pixels, top row first. GL-free; skinImage.cpp picks it for PCX files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/skinImage.h"

enum class PcxFault {
    none,
    notPcx,          // the first byte is not the PCX manufacturer mark, 10
    headerCutShort,  // fewer than 128 bytes
    notVersion5,     // only version 5 files carry the 256-colour palette
    notRunLength,    // encoding other than 1
    notPaletted,     // 24-bit or planar: bits per pixel not 8 or planes not 1
    badSize,         // a side 0, negative, or over maxSkinSide
    shortLines,      // bytes per line less than the width
    noPalette,       // no 12 before the last 768 bytes
    dataCutShort,    // the image data ends before the image does
    runPastImage,    // a run goes on past the last byte of the image
    noMemory,
};

// A short text for a fault, e.g. "PCX: the file ends before the image does"; nullptr for none.
const char* pcxFaultText(PcxFault fault);

// True when the first bytes look like a PCX header: manufacturer 10, a known version, encoding 0 or 1. A TGA
// can also start with 10 (a ten-byte image ID), but then its second and third bytes never match all three.
bool looksLikePcx(const uint8_t* bytes, size_t size);

// Decodes the whole file. The image data is one run-length stream of height * bytesPerLine bytes: a run may
// carry on from the end of one scan line into the next, as real encoders write them, but never past the last
// line nor past the image data. Of each line the first width bytes are pixels, the rest is padding.
// On a fault image is left empty.
PcxFault decodePcxImage(const uint8_t* bytes, size_t size, SkinImage& image);
