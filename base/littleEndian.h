// Reading the little-endian fields of file formats (MD2, PCX, TGA) from bytes, whatever the machine's order.
#pragma once

#include <bit>
#include <cstdint>

inline uint32_t readU32le(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

inline int32_t readS32le(const uint8_t* at)
{
    return static_cast<int32_t>(readU32le(at));
}

// An unsigned 16-bit field, widened so arithmetic on it cannot wrap.
inline int32_t readU16le(const uint8_t* at)
{
    return static_cast<int32_t>(at[0]) | static_cast<int32_t>(at[1]) << 8;
}

inline int16_t readS16le(const uint8_t* at)
{
    return static_cast<int16_t>(uint16_t(at[0]) | uint16_t(at[1]) << 8);
}

inline float readF32le(const uint8_t* at)
{
    return std::bit_cast<float>(readU32le(at));
}
