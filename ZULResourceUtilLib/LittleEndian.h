// Little-endian reading and writing of fixed-layout records, byte by byte, so
// that no struct is ever cast over file bytes and alignment never matters.
#pragma once

#include <cstdint>

inline uint16_t ReadLe16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

inline uint32_t ReadLe32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 | static_cast<uint32_t>(bytes[2]) << 16 |
           static_cast<uint32_t>(bytes[3]) << 24;
}

inline uint64_t ReadLe64(const uint8_t* bytes)
{
    return static_cast<uint64_t>(ReadLe32(bytes)) | static_cast<uint64_t>(ReadLe32(bytes + 4)) << 32;
}

inline void WriteLe16(uint8_t* bytes, uint16_t value)
{
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}

inline void WriteLe32(uint8_t* bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void WriteLe64(uint8_t* bytes, uint64_t value)
{
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}
