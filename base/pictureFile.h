// Saving pictures: a PNG, JPEG, BMP or TGA written through a temporary name and renamed, and the next free F12 name.
// GL-free.
#pragma once

#include <string>

#include "base/rgbaImage.h"

// The picture format a file name's extension asks for, without case: .png, .jpg/.jpeg, .bmp, .tga.
enum class PictureFormat { none, png, jpeg, bmp, tga };
PictureFormat pictureFormatFor(const std::string& path);

// Writes image (top row first) in the format path's extension names, PNG for a name that names none; false with
// the reason ("cannot write: ...") otherwise, leaving nothing under path or the temporary name.
bool writePictureFile(const std::string& path, const RgbaImage& image, std::string* reason);

// brevant-0001.png, brevant-0002.png, ...: the first name not taken in the working folder; empty when all are.
std::string nextScreenshotName();
