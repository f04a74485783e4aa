// Runs arbitrary bytes through a file loader the way the viewer would, touching everything drawing would touch.
// Shared by the fuzz targets and the unit test that replays their findings.
#pragma once

#include <cstddef>
#include <cstdint>

// Parses the bytes as a model, runs both preparation passes and walks every index a frame draw follows.
// Returns true when the bytes gave a model.
bool exerciseMd2Bytes(const uint8_t* bytes, size_t size);

// Decodes the bytes as a TGA image up to its RGBA pixels. Returns true when the image was accepted.
bool exerciseTgaBytes(const uint8_t* bytes, size_t size);

// Decodes the bytes as a PCX skin up to its RGBA pixels. Returns true when the image was accepted.
bool exercisePcxBytes(const uint8_t* bytes, size_t size);

// Decodes the bytes as any skin picture (PCX or through stb_image). Returns true when the image was accepted.
bool exerciseSkinImageBytes(const uint8_t* bytes, size_t size);

// Reads the bytes as a PAK or a ZIP directory, then every entry (stored or inflated, CRC checked) under a small
// cap, and looks each name up and lists its folder. Returns true when the directory was accepted.
bool exercisePakBytes(const uint8_t* bytes, size_t size);
bool exerciseZipBytes(const uint8_t* bytes, size_t size);
