// Hardened big-endian reader over an untrusted byte block (layout blobs and the like).
//
// Every read first tests the bytes that remain. A failed test sets the fault flag, returns zero
// and leaves the position where it was; once faulted, every later read fails too, so a caller may
// run a whole sequence of reads and test Ok() once at the end. Nothing ever reads outside the block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class CQW_BEReader {
public:
    CQW_BEReader() = default;
    CQW_BEReader(const uint8_t* data, size_t size) { Reset(data, size); }

    void Reset(const uint8_t* data, size_t size);

    bool Ok() const { return !m_fault; }
    bool Failed() const { return m_fault; }
    // Marks the read as faulty (a value read was out of range, a count did not match, ...).
    bool Fail() { m_fault = true; return false; }

    size_t Position() const { return m_pos; }
    size_t Size() const { return m_size; }
    size_t Remaining() const { return m_fault ? 0 : m_size - m_pos; }
    const uint8_t* Data() const { return m_data; }
    // Address of the current position (null for an empty block).
    const uint8_t* Current() const { return m_data ? m_data + m_pos : nullptr; }

    // True when n more bytes are present; otherwise faults. Counts multiplied by a record size
    // are tested with NeedItems so that the product never wraps.
    bool Need(size_t n);
    bool NeedItems(uint64_t count, size_t itemSize);
    bool Skip(size_t n);
    // The address of the next n bytes, which the read then passes; null (and faulted) when they
    // are missing. For callers that decode a tested run of values themselves.
    const uint8_t* Take(size_t n);

    uint8_t U8();
    int8_t I8() { return static_cast<int8_t>(U8()); }
    uint16_t U16();
    int16_t I16() { return static_cast<int16_t>(U16()); }
    uint32_t U32();
    int32_t I32() { return static_cast<int32_t>(U32()); }
    // A 32-bit IEEE single from its big-endian bit pattern (returned as stored, NaN included).
    float F32();
    // As F32, but a NaN or infinite value faults the read and gives 0.
    float FiniteF32();

    // Reads n big-endian floats into out (out must hold n values). False (and faulted) when the
    // bytes are missing; nothing is written then.
    bool F32Array(float* out, size_t n);

    // Big-endian decoding of single values at a given address (no bounds test: callers have one).
    static uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
    static uint32_t LoadU32(const uint8_t* p)
    {
        return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
               (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
    }
    static float LoadF32(const uint8_t* p)
    {
        const uint32_t bits = LoadU32(p);
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    // True when the big-endian float at p is neither NaN nor infinite.
    static bool IsFiniteF32(const uint8_t* p) { return (LoadU32(p) & 0x7F800000u) != 0x7F800000u; }

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_pos = 0;
    bool m_fault = false;
};

// Big-endian writer helpers for the same formats. The caller sizes the target.
namespace qwbe {
inline uint8_t* PutU8(uint8_t* p, uint8_t v) { *p = v; return p + 1; }
inline uint8_t* PutU16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
    return p + 2;
}
inline uint8_t* PutU32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
    return p + 4;
}
uint8_t* PutF32(uint8_t* p, float v);
// In-place swaps between big-endian storage and host values (used by the piece records).
void StoreHostU16(uint8_t* p, uint16_t v);   // host order
void StoreHostF32(uint8_t* p, float v);      // host order
}  // namespace qwbe
