// The window icon: a 32 x 32 picture in 16 colours of a little figure standing on a floor under a night sky.
// The SDL backend turns it into the window icon; the Windows build makes icon resource 101 from it.
#pragma once

#include <cstdint>

struct IconColour {
    uint8_t red, green, blue;
};

inline constexpr int iconSize = 32;

inline constexpr IconColour iconPalette[16] = {
    {0x00, 0x00, 0x00},  // 0 black: eyes, boots, shadow
    {0x0c, 0x12, 0x2e},  // 1 night sky
    {0x18, 0x26, 0x5c},  // 2 floor
    {0x2c, 0x4c, 0xa8},  // 3 floor lines
    {0x78, 0xa8, 0xf0},  // 4 pale stars
    {0xff, 0xff, 0xff},  // 5 bright stars
    {0x70, 0x10, 0x10},  // 6 hair, shaded cloth
    {0xc8, 0x24, 0x20},  // 7 tunic
    {0xf0, 0x78, 0x28},  // 8 lit cloth
    {0xf8, 0xd0, 0x48},  // 9 belt
    {0xf4, 0xc8, 0xa0},  // a skin
    {0xb0, 0x7c, 0x58},  // b shaded skin
    {0x38, 0x38, 0x44},  // c trousers
    {0x78, 0x78, 0x88},  // d lit trousers
    {0xc0, 0xc0, 0xcc},  // e (spare)
    {0x30, 0xa0, 0x48},  // f (spare)
};

// Top row first; each hex digit is a palette index. One row a line, so the source shows the picture.
// clang-format off
inline constexpr const char* iconPicture[iconSize] = {
    "11111111111111111111111111111111",
    "11111111111111111111141111111111",
    "11111111111111111111111111141111",
    "11141111111116666661111111111111",
    "11111111111166666666111111111111",
    "1111111111116aaaaab6111111115111",
    "1111111111116a0aa0b6111111111111",
    "1111111111111aaaaab1111111111111",
    "1111111111111aabbab1111111111111",
    "1111111111111aaaaab1111114111111",
    "111111111111111bb111111111111111",
    "11111111117777777777771111111111",
    "11111141117678877776761111111111",
    "11111111117678877776761111111111",
    "11115111117678877776761111111111",
    "11111111117678877776761111111111",
    "11111111117678877776761111111411",
    "11111111117678877776761111111111",
    "1141111111aa99988999aa1111111111",
    "1111111111abcdc11cdcab1111111111",
    "111111111111cdc11cdc111111111111",
    "111111111111cdc11cdc111111111111",
    "333333333333cdc33cdc333333333333",
    "222222222222cdc22cdc222222222222",
    "333333333333cdc33cdc333333333333",
    "222222222222cdc22cdc222222222222",
    "222222222222cdc22cdc222222222222",
    "33333333333000033000033333333333",
    "22222222222000022000022222222222",
    "22222222220000000000002222222222",
    "22222222222200000000222222222222",
    "33333333333333333333333333333333",
};
// clang-format on

// The palette index of the pixel at column x of row y, counted from the top; -1 where the picture is not a hex
// digit. Both the window icon and the icon resource read the picture through this.
constexpr int iconPaletteIndex(int x, int y)
{
    const char* row = iconPicture[y];
    for (int column = 0; column < x; ++column) {
        if (row[column] == '\0') {
            return -1;
        }
    }
    const char digit = row[x];
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    return -1;
}

constexpr bool iconPictureIsWellFormed()
{
    for (int y = 0; y < iconSize; ++y) {
        for (int x = 0; x < iconSize; ++x) {
            if (iconPaletteIndex(x, y) < 0) {
                return false;
            }
        }
        if (iconPicture[y][iconSize] != '\0') {
            return false;
        }
    }
    return true;
}

static_assert(iconPictureIsWellFormed(), "every row of the icon picture is 32 lower-case hex digits");
