// The one picture record every decoder fills and every upload takes: RGBA pixels, four bytes each.
#pragma once

#include <cstdint>
#include <memory>

// width * height pixels, row after row, left to right. Which row comes first is the decoder's to say: skins come
// top row first, TGA files in the order they store their rows.
struct RgbaImage {
    int32_t width = 0;
    int32_t height = 0;
    std::unique_ptr<uint8_t[]> pixels;
};
