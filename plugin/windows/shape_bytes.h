// Little-endian byte access for the shape library and the shape files.
#pragma once

#include <cstdint>
#include <cstring>

namespace shape_bytes {
inline uint32_t GetLE32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void PutLE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline float GetLEFloat(const uint8_t* p)
{
    const uint32_t bits = GetLE32(p);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

inline void PutLEFloat(uint8_t* p, float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    PutLE32(p, bits);
}
}  // namespace shape_bytes
