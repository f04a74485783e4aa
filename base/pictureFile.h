// Saving pictures: a PNG written through a temporary name and renamed, and the next free F12 name. GL-free.
#pragma once

#include <string>

#include "base/rgbaImage.h"

// Writes image (top row first) as a PNG; false with the reason ("cannot write: ...") otherwise, leaving nothing
// under path or the temporary name.
bool writePngFile(const std::string& path, const RgbaImage& image, std::string* reason);

// brevant-0001.png, brevant-0002.png, ...: the first name not taken in the working folder; empty when all are.
std::string nextScreenshotName();
