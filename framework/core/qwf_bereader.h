// Hardened big-endian reader over an untrusted byte block (layout blobs, PSD files and the like).
//
// Every read first tests the bytes that remain. A failed test sets the fault flag, returns zero
// and leaves the position where it was; once faulted, every later read fails too, so a caller may
// run a whole sequence of reads and test Ok() once at the end. Nothing ever reads outside the block.
#pragma once

#include <cstddef>
#include <cstdint>

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
    uint16_t U16();
    uint32_t U32();
    // A 32-bit IEEE single from its big-endian bit pattern (returned as stored, NaN included).
    float F32();
    // As F32, but a NaN or infinite value faults the read and gives 0.
    float FiniteF32();

    // Reads n big-endian floats into out (out must hold n values). False (and faulted) when the
    // bytes are missing; nothing is written then.
    bool F32Array(float* out, size_t n);

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_pos = 0;
    bool m_fault = false;
};
