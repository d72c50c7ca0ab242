#include "framework/core/qwf_array.h"

#include <cstring>
#include <new>

// ---------------------------------------------------------------------------------------------
// CQWF_Array

CQWF_Array::~CQWF_Array() { FreeStorage(); }

void CQWF_Array::FreeStorage()
{
    m_storage.Free();
    m_capacity = 0;
    m_count = 0;
}

void CQWF_Array::RemoveAll() { FreeStorage(); }

int CQWF_Array::Compare(const void* a, const void* b) { return a == b ? 1 : 0; }

bool CQWF_Array::SetCapacity(size_t n)
{
    // The capacity callers see follows the growth rules exactly (appends add 10 slots), but the
    // storage underneath grows geometrically so that appending N elements costs O(N), not O(N^2)
    // copies. Slots that come into the capacity always read as zero bytes.
    if (n > SIZE_MAX / 512) { SetError(QWF_ERR_MEMORY); return false; }
    const size_t physical = m_storage.GetSize() / m_elementSize;
    if (n == 0) {
        m_storage.Free();
    } else if (n > physical || n < physical / 4) {
        size_t target = n;
        if (n > physical && n > kGrowBy) {
            size_t doubled = physical + physical / 2;
            if (doubled > target) target = doubled;
        }
        if (!m_storage.Resize(target * m_elementSize)) {
            SetError(m_storage.GetError());
            return false;
        }
    }
    if (n > m_capacity) {
        size_t start = m_capacity < physical ? m_capacity : physical;  // beyond physical: already 0
        if (start < n) m_storage.FillRange(0, start * m_elementSize, (n - start) * m_elementSize);
    }
    m_storage.ClearError();
    m_capacity = n;
    if (m_count > n) m_count = n;
    return true;
}

int64_t CQWF_Array::AddPtr(const void* element)
{
    if (m_count + 1 > m_capacity && !SetCapacity(m_capacity + kGrowBy)) return -1;
    std::memcpy(m_storage.GetData() + m_count * m_elementSize, element, m_elementSize);
    return static_cast<int64_t>(m_count++);
}

bool CQWF_Array::SetAtPtr(size_t index, const void* element)
{
    if (index >= m_capacity) {
        if (index > SIZE_MAX / 512 - kGrowBy) { SetError(QWF_ERR_MEMORY); return false; }
        if (!SetCapacity(index + kGrowBy)) return false;
    }
    std::memcpy(m_storage.GetData() + index * m_elementSize, element, m_elementSize);
    if (index >= m_count) m_count = index + 1;
    return true;
}

void* CQWF_Array::GetPtr(size_t index) const
{
    if (index >= m_capacity) return nullptr;
    return m_storage.GetData() + index * m_elementSize;
}

bool CQWF_Array::GetAtChecked(size_t index, void* out) const
{
    const void* slot = GetPtr(index);
    if (!slot || !out) return false;
    std::memcpy(out, slot, m_elementSize);
    return true;
}

void CQWF_Array::RemoveAt(size_t index)
{
    if (index >= m_count) return;
    uint8_t* data = m_storage.GetData();
    std::memmove(data + index * m_elementSize, data + (index + 1) * m_elementSize,
                 (m_count - index - 1) * m_elementSize);
    --m_count;
}

// Sort
//
// The order the array has always produced is that of an exchange sort: for each i, for each
// j > i, slots i and j are exchanged when slot j sorts strictly before slot i (for a descending
// sort, strictly after). Elements that compare equal are never exchanged with each other, yet
// their relative order still changes, because an element carried along in an exchange jumps over
// its equals. That order is observable wherever equal elements differ: strings with the same text
// but different tags, and index arrays whose Compare looks at only part of what an index stands
// for. So the result below is that exact permutation, computed in O(n log n) instead of the
// exchange sort's O(n^2) comparisons.
//
// How the order of equal elements arises. Fix one key v and call the elements with key v "E" and
// those that sort strictly before v "L"; elements after v never change how the E elements are
// ordered among themselves. Each pass i exchanges along the chain of strict running minima
// starting at slot i; the chain holds at most one E, the first E of the unsorted rest, and only
// when no L precedes it. That E moves to the slot of the first L after it (the next link of the
// chain) and so jumps over the E elements in between. When no L is left, the first E is the next
// one fixed in place. Reading the E and L elements in their original order, this is a deque of
// E elements: an E is appended at the back; each L rotates the deque by one (front to back) once
// the deque is not empty; the final deque is the final order of the E elements. The rotations
// are counted with a Fenwick tree over positions (how many smaller elements precede each
// element), and the appends-after-rotations are resolved offline as insertions at an index of a
// cyclic list (a second Fenwick tree, processed in reverse). The result requires only that
// Compare orders consistently, as the exchange sort's result already did for it to be sorted.

namespace {
// Index of the 0-based k-th set position in a Fenwick tree of counts (1-based tree, n entries).
size_t FenwickFindKth(size_t* tree, size_t n, size_t k)
{
    size_t pos = 0;
    size_t step = 1;
    while (step * 2 <= n) step *= 2;
    size_t remaining = k + 1;
    for (; step; step /= 2) {
        if (pos + step <= n && tree[pos + step] < remaining) {
            pos += step;
            remaining -= tree[pos];
        }
    }
    return pos;  // 0-based slot index (the 1-based answer is pos + 1)
}

void FenwickAdd(size_t* tree, size_t n, size_t index, long delta)
{
    for (size_t i = index + 1; i <= n; i += i & (~i + 1)) tree[i] = static_cast<size_t>(static_cast<long>(tree[i]) + delta);
}

size_t FenwickPrefix(const size_t* tree, size_t index)  // count of set positions < index
{
    size_t sum = 0;
    for (size_t i = index; i > 0; i -= i & (~i + 1)) sum += tree[i];
    return sum;
}
}  // namespace

bool CQWF_Array::Sort(bool ascending)
{
    ClearError();
    const size_t n = m_count;
    if (n < 2) return true;
    if (n > SIZE_MAX / (8 * sizeof(size_t))) { SetError(QWF_ERR_MEMORY); return false; }

    // Work areas: order, merge scratch, smaller-before counts, Fenwick tree, group list, result.
    CQWF_Mem work;
    if (!work.AllocZeroed((6 * n + 2) * sizeof(size_t))) { SetError(work.GetError()); return false; }
    size_t* order = reinterpret_cast<size_t*>(work.GetData());
    size_t* scratch = order + n;
    size_t* smallerBefore = scratch + n;
    size_t* tree = smallerBefore + n;  // n + 1 entries
    size_t* list = tree + n + 1;
    size_t* result = list + n;  // n + 1 entries, the last unused

    const uint8_t* data = m_storage.GetData();
    const size_t size = m_elementSize;
    // x sorts strictly before y, asked the way the exchange sort asks: Compare(y, x).
    auto before = [&](size_t x, size_t y) -> bool {
        if (x == y) return false;
        int c = Compare(data + y * size, data + x * size);
        return ascending ? c > 0 : c < 0;
    };

    // Stable bottom-up merge sort of the indices; equal elements stay in their original order.
    for (size_t i = 0; i < n; ++i) order[i] = i;
    size_t* from = order;
    size_t* to = scratch;
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            size_t mid = lo + width < n ? lo + width : n;
            size_t hi = lo + 2 * width < n ? lo + 2 * width : n;
            size_t a = lo, b = mid, k = lo;
            while (a < mid && b < hi) to[k++] = before(from[b], from[a]) ? from[b++] : from[a++];
            while (a < mid) to[k++] = from[a++];
            while (b < hi) to[k++] = from[b++];
        }
        size_t* t = from;
        from = to;
        to = t;
    }
    if (from != order) std::memcpy(order, from, n * sizeof(size_t));

    // Smaller elements before each position: groups in sorted order, each marks its positions
    // after it has been counted.
    size_t groupStart = 0;
    while (groupStart < n) {
        size_t groupEnd = groupStart + 1;
        while (groupEnd < n && !before(order[groupEnd - 1], order[groupEnd])) ++groupEnd;
        for (size_t k = groupStart; k < groupEnd; ++k) smallerBefore[order[k]] = FenwickPrefix(tree, order[k]);
        for (size_t k = groupStart; k < groupEnd; ++k) FenwickAdd(tree, n, order[k], 1);
        scratch[groupStart] = groupEnd;  // remember where the group ends
        groupStart = groupEnd;
    }

    // The order within each group.
    groupStart = 0;
    while (groupStart < n) {
        const size_t groupEnd = scratch[groupStart];
        const size_t m = groupEnd - groupStart;
        const size_t* members = order + groupStart;  // ascending original positions
        size_t* insertAt = list + groupStart;
        size_t head = 0;
        for (size_t k = 0; k < m; ++k) {
            if (k == 0) {
                insertAt[0] = 0;
                head = 0;
                continue;
            }
            size_t rotations = smallerBefore[members[k]] - smallerBefore[members[k - 1]];
            head = (head + rotations) % k;
            insertAt[k] = head;
            head += 1;
        }
        head = (head + (groupStart - smallerBefore[members[m - 1]])) % m;

        // Resolve the insertions backwards: each takes the insertAt-th free slot.
        size_t* groupTree = tree;  // reused: m + 1 entries
        groupTree[0] = 0;
        for (size_t i = 1; i <= m; ++i) groupTree[i] = i & (~i + 1);
        size_t* slots = result + groupStart;
        for (size_t k = m; k-- > 0;) {
            size_t slot = FenwickFindKth(groupTree, m, insertAt[k]);
            slots[slot] = members[k];
            FenwickAdd(groupTree, m, slot, -1);
        }
        // Read the cyclic list from its head into the group's place of the order.
        for (size_t t = 0; t < m; ++t) insertAt[t] = slots[(head + t) % m];
        groupStart = groupEnd;
    }

    // Move the elements; slots past the count keep their bytes.
    CQWF_Mem sorted;
    if (!sorted.Alloc(m_storage.GetSize())) { SetError(sorted.GetError()); return false; }
    std::memcpy(sorted.GetData(), data, m_storage.GetSize());
    for (size_t k = 0; k < n; ++k) std::memcpy(sorted.GetData() + k * size, data + list[k] * size, size);
    m_storage.Swap(sorted);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Typed kinds

namespace {
template <typename T>
int CompareValues(const void* a, const void* b)
{
    T x, y;
    std::memcpy(&x, a, sizeof(T));
    std::memcpy(&y, b, sizeof(T));
    return x < y ? -1 : (x > y ? 1 : 0);
}

template <typename T>
T ValueAt(const CQWF_Array& array, size_t index)
{
    T value{};
    array.GetAtChecked(index, &value);
    return value;
}
}  // namespace

int CQWF_ByteArray::Compare(const void* a, const void* b) { return CompareValues<uint8_t>(a, b); }
uint8_t CQWF_ByteArray::GetAt(size_t index) const { return ValueAt<uint8_t>(*this, index); }

int CQWF_WordArray::Compare(const void* a, const void* b) { return CompareValues<uint16_t>(a, b); }
uint16_t CQWF_WordArray::GetAt(size_t index) const { return ValueAt<uint16_t>(*this, index); }

int CQWF_DWordArray::Compare(const void* a, const void* b) { return CompareValues<uint32_t>(a, b); }
uint32_t CQWF_DWordArray::GetAt(size_t index) const { return ValueAt<uint32_t>(*this, index); }

int CQWF_SDWordArray::Compare(const void* a, const void* b) { return CompareValues<int32_t>(a, b); }
int32_t CQWF_SDWordArray::GetAt(size_t index) const { return ValueAt<int32_t>(*this, index); }

int CQWF_PtrArray::Compare(const void*, const void*) { return 0; }
void* CQWF_PtrArray::GetAt(size_t index) const { return ValueAt<void*>(*this, index); }

// ---------------------------------------------------------------------------------------------
// CQWF_StringArray

CQWF_StringArray::~CQWF_StringArray() { CQWF_StringArray::RemoveAll(); }

CQWF_String* CQWF_StringArray::GetStringPtr(size_t index) const
{
    CQWF_String* s = nullptr;
    GetAtChecked(index, &s);
    return s;
}

void CQWF_StringArray::RemoveAll()
{
    for (size_t i = 0; i < GetCount(); ++i) delete GetStringPtr(i);
    FreeStorage();
}

int CQWF_StringArray::Compare(const void* a, const void* b)
{
    const CQWF_String* sa = nullptr;
    const CQWF_String* sb = nullptr;
    std::memcpy(&sa, a, sizeof(sa));
    std::memcpy(&sb, b, sizeof(sb));
    static const CQWF_String empty;
    const CQWF_String& x = sa ? *sa : empty;
    const CQWF_String& y = sb ? *sb : empty;
    return y.Compare(x);
}

void CQWF_StringArray::RemoveAt(size_t index)
{
    if (index >= GetCount()) return;
    delete GetStringPtr(index);
    CQWF_Array::RemoveAt(index);
    // The vacated slot would still hold the last string's pointer; slots past the count are
    // readable, so it must not dangle or be deleted twice.
    CQWF_String* none = nullptr;
    std::memcpy(GetPtr(GetCount()), &none, sizeof(none));
}

bool CQWF_StringArray::SetCapacity(size_t n)
{
    if (n >= GetCount()) return CQWF_Array::SetCapacity(n);
    // Shrinking below the count drops strings: they are deleted, and only once the storage has
    // been resized successfully.
    CQWF_StringArray dropped;
    for (size_t i = n; i < GetCount(); ++i) {
        CQWF_String* s = GetStringPtr(i);
        if (s && dropped.AddPtr(&s) < 0) {
            SetError(dropped.GetError());
            return false;
        }
    }
    if (!CQWF_Array::SetCapacity(n)) {
        CQWF_String* none = nullptr;
        for (size_t i = 0; i < dropped.GetCount(); ++i) dropped.SetAtPtr(i, &none);
        return false;
    }
    return true;  // `dropped` deletes them
}

int64_t CQWF_StringArray::Add(const CQWF_String& text, uint32_t tag)
{
    CQWF_String* copy = new (std::nothrow) CQWF_String(text);
    if (!copy || copy->HasError()) {
        delete copy;
        SetError(QWF_ERR_MEMORY);
        return -1;
    }
    copy->SetTag(tag);
    int64_t index = AddPtr(&copy);
    if (index < 0) delete copy;
    return index;
}

bool CQWF_StringArray::SetAt(size_t index, const CQWF_String& text, uint32_t tag)
{
    CQWF_String* copy = new (std::nothrow) CQWF_String(text);
    if (!copy || copy->HasError()) {
        delete copy;
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    copy->SetTag(tag);
    CQWF_String* old = index < GetCount() ? GetStringPtr(index) : nullptr;
    if (!SetAtPtr(index, &copy)) {
        delete copy;
        return false;
    }
    delete old;
    return true;
}

bool CQWF_StringArray::GetAtInto(size_t index, CQWF_String& out) const
{
    const CQWF_String* s = GetStringPtr(index);
    if (s) {
        out.AssignString(*s);
    } else {
        out.Assign("");
    }
    return true;
}

CQWF_String CQWF_StringArray::GetAt(size_t index) const
{
    const CQWF_String* s = GetStringPtr(index);
    return s ? CQWF_String(*s) : CQWF_String();
}

int64_t CQWF_StringArray::FindSorted(const CQWF_String& key, bool caseSensitive) const
{
    if (GetCount() == 0) return -1;
    // "below the key": the stored string sorts before the key, i.e. Compare answers +1.
    auto compare = [&](const CQWF_String& s) {
        return caseSensitive ? s.Compare(key) : s.CompareNoCase(key);
    };
    size_t lo = 0;
    size_t hi = GetCount() - 1;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        const CQWF_String* s = GetStringPtr(mid);
        if (!s) return -1;
        if (compare(*s) > 0) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    const CQWF_String* s = GetStringPtr(lo);
    if (!s) return -1;
    return compare(*s) == 0 ? static_cast<int64_t>(lo) : -1;
}
