// Big-endian byte access for the file formats (package, compressed block, PSD, layout blob,
// scripting parameters). The one set of big-endian helpers: readers of untrusted bytes go through
// CQW_BEReader (qwf_bereader.h), which tests the bounds and then decodes with these.
#pragma once

#include <cstdint>
#include <cstring>

namespace qwf {
inline uint16_t GetBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

inline uint32_t GetBE32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

inline uint64_t GetBE64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

// A 32-bit IEEE single from its big-endian bit pattern (returned as stored, NaN included).
inline float GetBEF32(const uint8_t* p)
{
    const uint32_t bits = GetBE32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

// True when the big-endian single at p is neither NaN nor infinite.
inline bool IsFiniteBEF32(const uint8_t* p) { return (GetBE32(p) & 0x7F800000u) != 0x7F800000u; }

// Writers store at p and return the address after the value. The caller sizes the target.
inline uint8_t* PutU8(uint8_t* p, uint8_t v)
{
    *p = v;
    return p + 1;
}

inline uint8_t* PutBE16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
    return p + 2;
}

inline uint8_t* PutBE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
    return p + 4;
}

inline uint8_t* PutBE64(uint8_t* p, uint64_t v)
{
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    std::memcpy(p, &v, 8);
    return p + 8;
}

inline uint8_t* PutBEF32(uint8_t* p, float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return PutBE32(p, bits);
}
}  // namespace qwf
