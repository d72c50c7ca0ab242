#include "framework/core/qwf_array.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/qw_random.h"

TEST(Array, GrowthAndBounds)
{
    CQWF_DWordArray a;
    EXPECT_EQ(a.GetCapacity(), 0u);
    EXPECT_EQ(a.Add(1), 0);
    EXPECT_EQ(a.GetCapacity(), 10u);
    for (uint32_t i = 2; i <= 10; ++i) a.Add(i);
    EXPECT_EQ(a.GetCapacity(), 10u);
    EXPECT_EQ(a.Add(11), 10);
    EXPECT_EQ(a.GetCapacity(), 20u);
    EXPECT_EQ(a.GetCount(), 11u);
    // Bounds are the capacity: a slot past the count reads its stored bytes.
    EXPECT_EQ(a.GetAt(11), 0u);
    EXPECT_EQ(a.GetAt(20), 0u);
    EXPECT_EQ(a.GetPtr(20), nullptr);
    uint32_t out = 99;
    EXPECT_TRUE(a.GetAtChecked(19, &out));
    EXPECT_EQ(out, 0u);
    EXPECT_FALSE(a.GetAtChecked(20, &out));

    CQWF_SDWordArray s;
    EXPECT_TRUE(s.SetAt(25, -4));
    EXPECT_EQ(s.GetCapacity(), 35u);
    EXPECT_EQ(s.GetCount(), 26u);
    for (size_t i = 0; i < 25; ++i) EXPECT_EQ(s.GetAt(i), 0);
    EXPECT_EQ(s.GetAt(25), -4);
    EXPECT_TRUE(s.SetAt(3, 7));
    EXPECT_EQ(s.GetCount(), 26u);
    // Shrinking cuts the count; slots that come back into the capacity read zero.
    EXPECT_TRUE(s.SetCapacity(5));
    EXPECT_EQ(s.GetCount(), 5u);
    EXPECT_EQ(s.GetPtr(5), nullptr);
    EXPECT_TRUE(s.SetCapacity(30));
    EXPECT_EQ(s.GetAt(3), 7);
    EXPECT_EQ(s.GetAt(25), 0);
    s.RemoveAll();
    EXPECT_EQ(s.GetCount(), 0u);
    EXPECT_EQ(s.GetCapacity(), 0u);

    CQWF_ByteArray b;
    b.Add(200);
    EXPECT_EQ(b.GetElementSize(), 1u);
    EXPECT_EQ(b.GetAt(0), 200);
    CQWF_WordArray w;
    w.Add(60000);
    EXPECT_EQ(w.GetElementSize(), 2u);
    EXPECT_EQ(w.GetAt(0), 60000);
    EXPECT_EQ(w.GetAt(50), 0);
    CQWF_PtrArray p;
    EXPECT_EQ(p.GetElementSize(), sizeof(void*));
    int x = 0;
    p.Add(&x);
    EXPECT_EQ(p.GetAt(0), &x);
}

TEST(Array, RemoveAtAndGrowthFailure)
{
    CQWF_DWordArray a;
    a.Add(5);
    a.Add(6);
    a.Add(7);
    a.RemoveAt(0);
    ASSERT_EQ(a.GetCount(), 2u);
    EXPECT_EQ(a.GetAt(0), 6u);
    EXPECT_EQ(a.GetAt(1), 7u);
    a.RemoveAt(3);
    a.RemoveAt(2);
    EXPECT_EQ(a.GetCount(), 2u);

    CQWF_DWordArray full;
    for (uint32_t i = 0; i < 10; ++i) full.Add(i);
    qwf::SetAllocFailureAfter(0);
    EXPECT_EQ(full.Add(10), -1);
    qwf::SetAllocFailureAfter(0);
    EXPECT_FALSE(full.SetAt(40, 1));
    qwf::SetAllocFailureAfter(-1);
    EXPECT_EQ(full.GetError(), QWF_ERR_MEMORY);
    EXPECT_EQ(full.GetCount(), 10u);
    EXPECT_EQ(full.GetCapacity(), 10u);
    EXPECT_EQ(full.GetAt(9), 9u);
}

TEST(Array, SortOrdersEachKind)
{
    CQWF_SDWordArray s;
    s.Add(3);
    s.Add(-1);
    s.Add(2);
    ASSERT_TRUE(s.Sort(true));
    EXPECT_EQ(s.GetAt(0), -1);
    EXPECT_EQ(s.GetAt(1), 2);
    EXPECT_EQ(s.GetAt(2), 3);
    ASSERT_TRUE(s.Sort(false));
    EXPECT_EQ(s.GetAt(0), 3);
    EXPECT_EQ(s.GetAt(2), -1);

    CQWF_DWordArray d;
    d.Add(0xFFFFFFFFu);
    d.Add(1);
    d.Sort(true);
    EXPECT_EQ(d.GetAt(0), 1u);
    EXPECT_EQ(d.GetAt(1), 0xFFFFFFFFu);

    // Pointer and plain arrays have no order: nothing moves.
    int v[3];
    CQWF_PtrArray p;
    p.Add(&v[2]);
    p.Add(&v[0]);
    p.Add(&v[1]);
    p.Sort(true);
    EXPECT_EQ(p.GetAt(0), &v[2]);
    EXPECT_EQ(p.GetAt(1), &v[0]);
    CQWF_Array plain;
    uint8_t bytes[] = {9, 3, 9, 1};
    for (uint8_t b : bytes) plain.AddPtr(&b);
    plain.Sort(true);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(*static_cast<uint8_t*>(plain.GetPtr(i)), bytes[i]);

    // Slots past the count keep their bytes.
    CQWF_DWordArray tail;
    tail.SetAt(5, 9);
    tail.RemoveAt(5);
    tail.SetAt(1, 4);
    tail.Sort(false);
    EXPECT_EQ(tail.GetAt(0), 4u);
    EXPECT_EQ(tail.GetAt(5), 9u);
}

namespace {
// An index array ordered by a key table, as programs derive from the 32-bit array: equal keys
// with different indices make the order of equal elements visible.
class KeyedIndices : public CQWF_DWordArray {
public:
    explicit KeyedIndices(const std::vector<int>& keys) : m_keys(keys) {}
    int Compare(const void* a, const void* b) override
    {
        uint32_t x = *static_cast<const uint32_t*>(a);
        uint32_t y = *static_cast<const uint32_t*>(b);
        ++calls;
        return m_keys[x] < m_keys[y] ? -1 : (m_keys[x] > m_keys[y] ? 1 : 0);
    }
    long calls = 0;

private:
    const std::vector<int>& m_keys;
};

// The plain exchange sort whose order the array keeps.
std::vector<uint32_t> ExchangeSort(std::vector<uint32_t> v, const std::vector<int>& keys, bool ascending)
{
    for (size_t i = 0; i + 1 < v.size(); ++i)
        for (size_t j = i + 1; j < v.size(); ++j) {
            int c = keys[v[i]] < keys[v[j]] ? -1 : (keys[v[i]] > keys[v[j]] ? 1 : 0);
            if (ascending ? c > 0 : c < 0) std::swap(v[i], v[j]);
        }
    return v;
}
}  // namespace

TEST(Array, SortKeepsTheExchangeSortOrderOfEqualElements)
{
    qwp::SeedRandom(1234);
    for (int round = 0; round < 400; ++round) {
        size_t n = 1 + static_cast<size_t>(qwp::Random15() % 40);
        int distinct = 1 + qwp::Random15() % 6;
        std::vector<int> keys(n);
        for (int& k : keys) k = qwp::Random15() % distinct;
        for (bool ascending : {true, false}) {
            KeyedIndices a(keys);
            std::vector<uint32_t> start(n);
            for (size_t i = 0; i < n; ++i) {
                start[i] = static_cast<uint32_t>(i);
                a.Add(start[i]);
            }
            ASSERT_TRUE(a.Sort(ascending));
            std::vector<uint32_t> expect = ExchangeSort(start, keys, ascending);
            for (size_t i = 0; i < n; ++i)
                ASSERT_EQ(a.GetAt(i), expect[i]) << "round " << round << " n " << n << " at " << i;
        }
    }
}

TEST(Array, SortOfManyElementsIsNotQuadratic)
{
    const size_t n = 100000;
    std::vector<int> keys(n);
    qwp::SeedRandom(7);
    for (int& k : keys) k = qwp::Random15() % 100;
    KeyedIndices a(keys);
    for (size_t i = 0; i < n; ++i) a.Add(static_cast<uint32_t>(n - 1 - i));
    ASSERT_TRUE(a.Sort(true));
    EXPECT_LT(a.calls, 40L * static_cast<long>(n));
    for (size_t i = 1; i < n; ++i) ASSERT_LE(keys[a.GetAt(i - 1)], keys[a.GetAt(i)]);
}

TEST(StringArray, OwnsTaggedStrings)
{
    CQWF_StringArray a;
    EXPECT_EQ(a.GetElementSize(), sizeof(void*));
    EXPECT_EQ(a.Add(CQWF_String("one"), 11), 0);
    EXPECT_EQ(a.Add(CQWF_String("two"), 22), 1);
    CQWF_String out;
    EXPECT_TRUE(a.GetAtInto(1, out));
    EXPECT_STREQ(out.GetBuffer(), "two");
    EXPECT_EQ(out.GetTag(), 22u);
    EXPECT_TRUE(a.GetAtInto(5, out));  // an empty slot reads as ""
    EXPECT_STREQ(out.GetBuffer(), "");
    EXPECT_EQ(a.GetAt(0).GetTag(), 11u);
    EXPECT_STREQ(a.GetString(0).GetBuffer(), "one");
    EXPECT_STREQ(a.GetAt(30).GetBuffer(), "");

    EXPECT_TRUE(a.SetAt(0, CQWF_String("uno"), 1));
    EXPECT_STREQ(a.GetAt(0).GetBuffer(), "uno");
    EXPECT_TRUE(a.SetAt(4, CQWF_String("five"), 5));
    EXPECT_EQ(a.GetCount(), 5u);
    EXPECT_EQ(a.GetStringPtr(3), nullptr);
    a.RemoveAt(0);  // deletes the string (the sanitizer run would see a leak otherwise)
    EXPECT_STREQ(a.GetAt(0).GetBuffer(), "two");
    EXPECT_EQ(a.GetCount(), 4u);
    // Slots past the count stay readable: the slot vacated by a removal reads as no string.
    a.RemoveAt(3);
    EXPECT_EQ(a.GetCount(), 3u);
    EXPECT_EQ(a.GetStringPtr(3), nullptr);
    EXPECT_STREQ(a.GetAt(3).GetBuffer(), "");
    EXPECT_TRUE(a.SetAt(3, CQWF_String("again")));
    EXPECT_TRUE(a.SetCapacity(1));  // deletes the strings that no longer fit
    EXPECT_EQ(a.GetCount(), 1u);
    EXPECT_STREQ(a.GetAt(0).GetBuffer(), "two");
    // A copy that cannot be made is not added.
    const CQWF_String text("copy");
    qwf::SetAllocFailureAfter(0);
    EXPECT_EQ(a.Add(text, 3), -1);
    qwf::SetAllocFailureAfter(-1);
    EXPECT_EQ(a.GetError(), QWF_ERR_MEMORY);
    EXPECT_EQ(a.GetCount(), 1u);
    a.RemoveAll();
    EXPECT_EQ(a.GetCount(), 0u);
}

TEST(StringArray, SortAndFindSorted)
{
    CQWF_StringArray a;
    const char* texts[] = {"b", "a", "B", "A", "AB", "a"};
    for (uint32_t i = 0; i < 6; ++i) a.Add(CQWF_String(texts[i]), i);
    a.SetAt(7, CQWF_String("0"));  // leaves slot 6 without a string: it sorts as ""
    ASSERT_TRUE(a.Sort(true));
    const char* sorted[] = {"", "0", "A", "AB", "B", "a", "a", "b"};
    for (size_t i = 0; i < 8; ++i) EXPECT_STREQ(a.GetAt(i).GetBuffer(), sorted[i]) << i;
    EXPECT_EQ(a.GetAt(5).GetTag(), 1u);
    EXPECT_EQ(a.GetAt(6).GetTag(), 5u);
    // Equal strings carried along in an exchange jump over each other.
    CQWF_StringArray e;
    const char* mixed[] = {"a", "0", "a", "1"};
    for (uint32_t i = 0; i < 4; ++i) e.Add(CQWF_String(mixed[i]), i);
    ASSERT_TRUE(e.Sort(true));
    EXPECT_EQ(e.GetAt(2).GetTag(), 2u);
    EXPECT_EQ(e.GetAt(3).GetTag(), 0u);

    CQWF_StringArray f;
    for (const char* t : {"A", "B", "a", "b"}) f.Add(CQWF_String(t));
    EXPECT_EQ(f.FindSorted(CQWF_String("a"), true), 2);
    EXPECT_EQ(f.FindSorted(CQWF_String("A"), true), 0);
    EXPECT_EQ(f.FindSorted(CQWF_String("b"), true), 3);
    EXPECT_EQ(f.FindSorted(CQWF_String("c"), true), -1);
    EXPECT_EQ(f.FindSorted(CQWF_String("AB"), true), -1);
    EXPECT_EQ(f.FindSorted(CQWF_String("b"), false), 1);  // lowest equal without case

    CQWF_StringArray dup;
    for (const char* t : {"k", "k", "k", "m"}) dup.Add(CQWF_String(t));
    EXPECT_EQ(dup.FindSorted(CQWF_String("k")), 0);
    CQWF_StringArray none;
    EXPECT_EQ(none.FindSorted(CQWF_String("k")), -1);
}
