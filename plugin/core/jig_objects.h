// An array of objects for the worker threads of one engine call, in a memory block: no
// exception when memory runs out, only a false from Make.
#pragma once

#include <cstdint>
#include <new>

#include "framework/core/qwf_mem.h"

template <typename T>
class JigObjects {
public:
    JigObjects() = default;
    JigObjects(const JigObjects&) = delete;
    JigObjects& operator=(const JigObjects&) = delete;
    ~JigObjects() { Destroy(); }
    // n objects, each made by its default constructor (those there already are kept when
    // there are n or more). False when the memory cannot be had.
    bool Make(int32_t n)
    {
        if (n <= m_count) return true;
        Destroy();
        if (!m_mem.Alloc(static_cast<size_t>(n) * sizeof(T))) return false;
        for (; m_count < n; ++m_count) new (Data() + m_count) T;
        return true;
    }
    void Destroy()
    {
        for (int32_t k = 0; k < m_count; ++k) Data()[k].~T();
        m_count = 0;
        m_mem.Free();
    }
    T* Data() { return reinterpret_cast<T*>(m_mem.GetData()); }
    int32_t Count() const { return m_count; }

private:
    CQWF_Mem m_mem;
    int32_t m_count = 0;
};
