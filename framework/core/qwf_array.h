// Growable arrays of fixed-size elements and their typed kinds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_string.h"

class CQWF_Array : public CQWF_FrameWork {
public:
    // Growth step of an append that finds the array full.
    static constexpr size_t kGrowBy = 10;

    CQWF_Array() : m_elementSize(1) {}
    ~CQWF_Array() override;

    CQWF_Array(const CQWF_Array&) = delete;
    CQWF_Array& operator=(const CQWF_Array&) = delete;

    // Frees the storage; capacity and count become 0.
    virtual void RemoveAll();
    // Negative when a sorts before b, 0 when equal, positive after. The plain array answers 1
    // when both pointers are the same and 0 otherwise.
    virtual int Compare(const void* a, const void* b);
    // Removes the element at the index, moving the later ones down; an index at or past the count
    // removes nothing.
    virtual void RemoveAt(size_t index);

    bool SetCapacity(size_t n);
    // Appends a copy of one element; returns its index, or -1 when the array cannot grow.
    int64_t AddPtr(const void* element);
    bool SetAtPtr(size_t index, const void* element);
    // The element slot, null at or past the capacity (bounds are the capacity, not the count).
    void* GetPtr(size_t index) const;
    bool GetAtChecked(size_t index, void* out) const;

    size_t GetCount() const { return m_count; }
    size_t GetCapacity() const { return m_capacity; }
    size_t GetElementSize() const { return m_elementSize; }

    // Orders the elements by Compare, in exactly the order of a plain exchange sort.
    bool Sort(bool ascending = true);

protected:
    explicit CQWF_Array(uint8_t elementSize) : m_elementSize(elementSize) {}
    // Frees the storage without touching what the elements refer to.
    void FreeStorage();

private:
    size_t m_capacity = 0;
    size_t m_count = 0;
    uint8_t m_elementSize;
    CQWF_Mem m_storage;
};

class CQWF_ByteArray : public CQWF_Array {
public:
    CQWF_ByteArray() : CQWF_Array(1) {}
    int Compare(const void* a, const void* b) override;
    uint8_t GetAt(size_t index) const;
    bool SetAt(size_t index, uint8_t value) { return SetAtPtr(index, &value); }
    int64_t Add(uint8_t value) { return AddPtr(&value); }
};

class CQWF_WordArray : public CQWF_Array {
public:
    CQWF_WordArray() : CQWF_Array(2) {}
    int Compare(const void* a, const void* b) override;
    uint16_t GetAt(size_t index) const;
    bool SetAt(size_t index, uint16_t value) { return SetAtPtr(index, &value); }
    int64_t Add(uint16_t value) { return AddPtr(&value); }
};

// Programs derive their own sortable index arrays from this kind by overriding Compare.
class CQWF_DWordArray : public CQWF_Array {
public:
    CQWF_DWordArray() : CQWF_Array(4) {}
    int Compare(const void* a, const void* b) override;
    uint32_t GetAt(size_t index) const;
    bool SetAt(size_t index, uint32_t value) { return SetAtPtr(index, &value); }
    int64_t Add(uint32_t value) { return AddPtr(&value); }
};

class CQWF_SDWordArray : public CQWF_Array {
public:
    CQWF_SDWordArray() : CQWF_Array(4) {}
    int Compare(const void* a, const void* b) override;
    int32_t GetAt(size_t index) const;
    bool SetAt(size_t index, int32_t value) { return SetAtPtr(index, &value); }
    int64_t Add(int32_t value) { return AddPtr(&value); }
};

// Pointers that are not owned; no order (Compare is always 0).
class CQWF_PtrArray : public CQWF_Array {
public:
    CQWF_PtrArray() : CQWF_Array(sizeof(void*)) {}
    int Compare(const void* a, const void* b) override;
    void* GetAt(size_t index) const;
    bool SetAt(size_t index, void* value) { return SetAtPtr(index, &value); }
    int64_t Add(void* value) { return AddPtr(&value); }
};

// Owns heap copies of its strings; each carries a tag.
class CQWF_StringArray : public CQWF_Array {
public:
    CQWF_StringArray() : CQWF_Array(sizeof(CQWF_String*)) {}
    ~CQWF_StringArray() override;

    void RemoveAll() override;
    // Byte-wise unsigned order, a proper prefix first, case-sensitive; a missing string is "".
    int Compare(const void* a, const void* b) override;
    // Also deletes the string that leaves the array.
    void RemoveAt(size_t index) override;
    // Shrinking below the count deletes the strings that no longer fit.
    bool SetCapacity(size_t n);

    int64_t Add(const CQWF_String& text, uint32_t tag = 0);
    bool SetAt(size_t index, const CQWF_String& text, uint32_t tag = 0);
    // Assigns the stored string (text, length and tag), or "" when the slot holds none.
    bool GetAtInto(size_t index, CQWF_String& out) const;
    CQWF_String GetAt(size_t index) const;
    CQWF_String GetString(size_t index) const { return GetAt(index); }
    // The stored string itself (not a copy), or null.
    CQWF_String* GetStringPtr(size_t index) const;
    // Bisection in an ascending array; the lowest index of an equal string, or -1.
    int64_t FindSorted(const CQWF_String& key, bool caseSensitive = true) const;
};
