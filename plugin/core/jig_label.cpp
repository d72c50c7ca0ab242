// Labelling of the regions the knives enclose: the working state of one cut, the closing of
// single holes in the knife mask and the flood fill that turns each region into a piece.
//
// The labelling runs the scan-line fill of the plane geometry (seed stack, span by span, seeds at
// the rightmost pixel of every free run above and below, last in first out) on 64-pixel words of
// the mask, so it visits the spans in exactly the order of CQWF_2DMath::FloodFill with the
// IsKnifePixel / IsKnifeBit / FillSpan callbacks, which the reference fill still uses.
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>

#include "plugin/core/jigcrafter.h"

#include "framework/core/qwf_endian.h"
#include "platform/qw_memhint.h"
#include "platform/qw_threads.h"
#include "plugin/core/jig_objects.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Working buffers up to this size stay allocated between cuts.
constexpr size_t kKeepBuffersBytes = size_t{1} << 30;

// Rows ahead of (and behind) the current span whose words the fill fetches early: far enough
// for the fetch to land before the fill walks there. The sub-pixel rows of the 1-bit mask are
// short and walked quickly, so that fill looks further ahead.
constexpr int32_t kPrefetchRowsBits = 8;
constexpr int32_t kPrefetchRowsBytes = 2;
constexpr int32_t kPrefetchRowsRuns = 10;
constexpr int32_t kPrefetchLabelRows = 8;

using qwf::GetBE64;
using qwf::PutBE64;

// Bit order of a 64-pixel word. 1-bit masks store the first pixel in the most significant bit
// (kMsb); the free masks built from byte masks keep it in the least significant bit.
template <bool kMsb>
struct Ori;

template <>
struct Ori<true> {
    static uint64_t Bit(int k) { return 1ULL << (63 - k); }
    static int First(uint64_t m) { return __builtin_clzll(m); }
    static int Last(uint64_t m) { return 63 - __builtin_ctzll(m); }
    static uint64_t From(int k) { return k >= 64 ? 0 : (~0ULL >> k); }
    static uint64_t Below(int k) { return k <= 0 ? 0 : (~0ULL << (64 - k)); }
    // Bit of pixel k holds the value of pixel k + 1 (carry: pixel 64).
    static uint64_t Next(uint64_t f, uint64_t carry) { return (f << 1) | carry; }
    static uint64_t FirstPixel(uint64_t f) { return f >> 63; }
};

template <>
struct Ori<false> {
    static uint64_t Bit(int k) { return 1ULL << k; }
    static int First(uint64_t m) { return __builtin_ctzll(m); }
    static int Last(uint64_t m) { return 63 - __builtin_clzll(m); }
    static uint64_t From(int k) { return k >= 64 ? 0 : (~0ULL << k); }
    static uint64_t Below(int k) { return k >= 64 ? ~0ULL : ((1ULL << k) - 1); }
    static uint64_t Next(uint64_t f, uint64_t carry) { return (f >> 1) | (carry << 63); }
    static uint64_t FirstPixel(uint64_t f) { return f & 1; }
};

inline uint8_t AddCoverage(uint8_t v, uint32_t add)
{
    const uint32_t t = static_cast<uint32_t>(v) + add;
    return t >= 240 ? 255 : static_cast<uint8_t>(t);
}

// For a 64-pixel word of a 1-bit row (first pixel in the most significant bit): bit g is set
// when any of the pixels 4g..4g+3 is set.
inline uint32_t GroupMask(uint64_t msbWord)
{
#if defined(__SSE2__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Back in memory order, byte j holds groups 2j (high nibble) and 2j + 1 (low nibble).
    const __m128i v = _mm_cvtsi64_si128(static_cast<long long>(__builtin_bswap64(msbWord)));
    const __m128i zero = _mm_setzero_si128();
    const __m128i hi = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xF0))), zero);
    const __m128i lo = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(0x0F)), zero);
    return ~static_cast<uint32_t>(_mm_movemask_epi8(_mm_unpacklo_epi8(hi, lo))) & 0xFFFFu;
#endif
    uint64_t x = msbWord | (msbWord << 1) | (msbWord << 2) | (msbWord << 3);
    // Bit 63 - 4g now tells group g; gather those bits (g = 0 first) into the low 16 bits.
    x = (x >> 3) & 0x1111111111111111ULL;  // group g at bit 60 - 4g
    x = (x | (x >> 3)) & 0x0303030303030303ULL;
    x = (x | (x >> 6)) & 0x000F000F000F000FULL;
    x = (x | (x >> 12)) & 0x000000FF000000FFULL;
    x = (x | (x >> 24)) & 0xFFFFULL;  // group g at bit 15 - g
    uint32_t r = static_cast<uint32_t>(x);
    // Reverse the 16 bits.
    r = ((r >> 1) & 0x5555u) | ((r & 0x5555u) << 1);
    r = ((r >> 2) & 0x3333u) | ((r & 0x3333u) << 2);
    r = ((r >> 4) & 0x0F0Fu) | ((r & 0x0F0Fu) << 4);
    r = ((r >> 8) & 0x00FFu) | ((r & 0x00FFu) << 8);
    return r;
}

// Four sub-pixels (64) more for each of n labels, 240 or more becoming 255.
inline void AddFullCoverage(uint8_t* lab, int32_t n)
{
    int32_t i = 0;
#if defined(__SSE2__)
    const __m128i add = _mm_set1_epi8(64);
    const __m128i limit = _mm_set1_epi8(static_cast<char>(240));
    auto raise = [&](__m128i v) {
        v = _mm_adds_epu8(v, add);
        return _mm_or_si128(v, _mm_cmpeq_epi8(_mm_max_epu8(v, limit), v));
    };
    if (n >= 16) {
        // The last 16 labels are raised from their old values first and stored last, so
        // the chunk overlapping the loop's last one gets the same bytes.
        const __m128i tail =
            raise(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lab + n - 16)));
        for (; i + 16 <= n; i += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(lab + i),
                             raise(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lab + i))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lab + n - 16), tail);
        return;
    }
#endif
    for (; i < n; ++i) lab[i] = AddCoverage(lab[i], 64);
}

// True when all 32 bytes are 0xFF.
inline bool AllSet32(const uint8_t* p)
{
#if defined(__SSE2__)
    const __m128i v = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(-1))) == 0xFFFF;
#else
    for (int i = 0; i < 32; ++i)
        if (p[i] != 0xFF) return false;
    return true;
#endif
}

// Bytes of a 16-byte chunk (bit i = byte i) equal to value.
inline uint32_t MatchBytes(const uint8_t* p, uint8_t value)
{
#if defined(__SSE2__)
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(value)))));
#else
    uint32_t m = 0;
    for (int i = 0; i < 16; ++i)
        if (p[i] == value) m |= 1u << i;
    return m;
#endif
}

// Free sub-pixels [l, r) of a row of the 1-bit knife mask; below and above: the first run of
// the next and the last row that does not end left of l.
struct SubRun {
    int32_t l;
    int32_t r;
    int32_t below;
    int32_t above;
};

}  // namespace

// Working state of one cut, shared by the fill callbacks.
struct CJigcrafter::CutState {
    int32_t width = 0;  // image
    int32_t height = 0;
    int32_t maskW = 0;  // knife mask (four times the image in the 1-bit mode)
    int32_t maskH = 0;
    bool bitMode = false;
    bool aa = false;
    bool razor = false;
    uint8_t* mask = nullptr;
    int64_t stride = 0;  // bytes per mask row (a whole number of 64-pixel words)
    int64_t words = 0;   // 64-pixel words per mask row
    uint8_t* labels = nullptr;  // width x height, stride width
    // The run labelling of one region on a worker thread writes the labels of its box only,
    // into a buffer of its own: label (x, y) of the picture lies at (x - labelLeft,
    // y - labelTop) of it, `width` its row stride.
    int32_t labelLeft = 0;
    int32_t labelTop = 0;
    bool boxLabels = false;
    // The label row of a pixel row, and the place of a pixel column in it (kBox: labels of a
    // box; else the picture's labels, where the offsets are 0 and left out).
    template <bool kBox>
    uint8_t* LabelRow(int32_t pixelRow) const
    {
        return labels + static_cast<int64_t>(kBox ? pixelRow - labelTop : pixelRow) * width;
    }
    template <bool kBox>
    int32_t LabelColumn(int32_t pixelColumn) const
    {
        return kBox ? pixelColumn - labelLeft : pixelColumn;
    }
    int32_t minX = 0, minY = 0, maxX = 0, maxY = 0;  // region box, image pixels, max exclusive
    CQWF_Mem stack;
    CQWF_Mem runBuffer;  // seeds of the row below one span, before they are pushed
    int64_t stackCap = 0;
    int64_t stackTop = 0;
    bool stackFailed = false;

    void ResetBox()
    {
        minX = minY = 1000000;
        maxX = maxY = -1000000;
    }
    void Extend(int32_t x0, int32_t x1, int32_t y)  // [x0, x1) on row y
    {
        if (x0 < minX) minX = x0;
        if (x1 > maxX) maxX = x1;
        if (y < minY) minY = y;
        if (y + 1 > maxY) maxY = y + 1;
    }

    bool IsBarrier(int32_t x, int32_t y) const
    {
        if (x < 0 || y < 0 || x >= maskW || y >= maskH) return true;
        const uint8_t* row = mask + y * stride;
        if (bitMode) return ((row[x >> 3] >> (7 - (x & 7))) & 1) != 0;
        return row[x] != 0;
    }

    // Free pixels (1) of word wi of a row; pixels beyond the mask width are not free.
    uint64_t FreeWord(const uint8_t* row, int64_t wi) const
    {
        const int64_t base = wi * 64;
        const int64_t valid = maskW - base;
        if (bitMode) {
            uint64_t f = ~GetBE64(row + wi * 8);
            if (valid < 64) f &= valid <= 0 ? 0 : (~0ULL << (64 - valid));
            return f;
        }
        const uint8_t* p = row + base;
        uint64_t f = static_cast<uint64_t>(MatchBytes(p, 0)) |
                     (static_cast<uint64_t>(MatchBytes(p + 16, 0)) << 16) |
                     (static_cast<uint64_t>(MatchBytes(p + 32, 0)) << 32) |
                     (static_cast<uint64_t>(MatchBytes(p + 48, 0)) << 48);
        if (valid < 64) f &= valid <= 0 ? 0 : ((1ULL << valid) - 1);
        return f;
    }

    bool Push(int32_t x, int32_t y)
    {
        if (stackTop >= stackCap) {
            const int64_t cap = stackCap ? stackCap * 2 : 512;
            if (!stack.Resize(static_cast<size_t>(cap) * 2 * sizeof(int32_t))) {
                stackFailed = true;
                return false;
            }
            stackCap = cap;
        }
        int32_t* s = reinterpret_cast<int32_t*>(stack.GetData());
        s[2 * stackTop] = x;
        s[2 * stackTop + 1] = y;
        ++stackTop;
        return true;
    }

    template <bool kMsb>
    int32_t FindLeft(int32_t x, int32_t y) const
    {
        using O = Ori<kMsb>;
        const uint8_t* row = mask + y * stride;
        int64_t wi = x >> 6;
        uint64_t b = ~FreeWord(row, wi) & O::Below(x & 63);
        for (;;) {
            if (b) return static_cast<int32_t>(wi * 64 + O::Last(b) + 1);
            if (--wi < 0) return 0;
            if (kMsb) {
                // Words left of the start lie wholly inside the mask: all-free words need no
                // byte swap, and are passed over two at a time.
                uint64_t pair[2];
                while (wi >= 1) {
                    std::memcpy(pair, row + (wi - 1) * 8, 16);
                    if (pair[0] | pair[1]) break;
                    wi -= 2;
                }
                if (wi < 0) return 0;
                uint64_t raw;
                std::memcpy(&raw, row + wi * 8, 8);
                if (!raw) continue;
            }
            b = ~FreeWord(row, wi);
        }
    }

    template <bool kMsb>
    int32_t FindRight(int32_t x, int32_t y) const
    {
        using O = Ori<kMsb>;
        const uint8_t* row = mask + y * stride;
        int64_t wi = x >> 6;
        uint64_t b = ~FreeWord(row, wi) & O::From((x & 63) + 1);
        for (;;) {
            if (b) {
                const int64_t r = wi * 64 + O::First(b);
                return static_cast<int32_t>(r < maskW ? r : maskW);
            }
            if (++wi >= words) return maskW;
            b = ~FreeWord(row, wi);
        }
    }

    // Seeds at the rightmost pixel of every free run of row y within [l, r), right to left.
    template <bool kMsb>
    bool PushRuns(int32_t y, int32_t l, int32_t r)
    {
        using O = Ori<kMsb>;
        if (y < 0 || y >= maskH || l >= r) return true;
        const uint8_t* row = mask + y * stride;
        const int64_t wl = l >> 6;
        const int64_t wr = (r - 1) >> 6;
        uint64_t carry = 0;
        for (int64_t wi = wr; wi >= wl; --wi) {
            uint64_t f = FreeWord(row, wi);
            if (wi == wr) f &= O::Below(static_cast<int>(r - wi * 64));
            if (wi == wl) f &= O::From(static_cast<int>(l - wi * 64));
            uint64_t e = f & ~O::Next(f, carry);
            carry = O::FirstPixel(f);
            while (e) {
                const int k = O::Last(e);
                e &= ~O::Bit(k);
                if (!Push(static_cast<int32_t>(wi * 64 + k), y)) return false;
            }
        }
        return true;
    }

    // Closes the single holes in word wi of row k of the 1-bit mask: a free pixel whose four
    // neighbours are barriers becomes a knife pixel. The labelling calls this for each word
    // just before it scans it. The fill changes the mask before then, but only by setting
    // pixels of regions that a still-free pixel does not belong to, so every still-free pixel
    // sees the neighbours it had before the fill; and no fill ever reads or sets a hole.
    void CloseHoleWord(int32_t k, int64_t wi)
    {
        using O = Ori<true>;
        uint8_t* row = mask + k * stride;
        const uint8_t* up = k > 0 ? row - stride : nullptr;
        const uint8_t* down = k + 1 < maskH ? row + stride : nullptr;
        if (wi < maskW / 64) {
            // A hole needs a free pixel with barriers above and below; the test holds in any
            // bit order, so the bytes need no swapping for it.
            uint64_t b, bu = ~0ULL, bd = ~0ULL;
            std::memcpy(&b, row + wi * 8, 8);
            if (up) std::memcpy(&bu, up + wi * 8, 8);
            if (down) std::memcpy(&bd, down + wi * 8, 8);
            if (!(~b & bu & bd)) return;
        }
        const uint64_t cur = FreeWord(row, wi);
        if (!cur) return;
        const uint64_t u = up ? FreeWord(up, wi) : 0;
        const uint64_t d = down ? FreeWord(down, wi) : 0;
        const uint64_t prev = wi > 0 ? FreeWord(row, wi - 1) : 0;
        const uint64_t next = wi + 1 < words ? FreeWord(row, wi + 1) : 0;
        const uint64_t leftFree = (cur >> 1) | ((prev & 1) << 63);
        const uint64_t rightFree = O::Next(cur, O::FirstPixel(next));
        const uint64_t hole = cur & ~u & ~d & ~leftFree & ~rightFree;
        if (hole) PutBE64(row + wi * 8, GetBE64(row + wi * 8) | hole);
    }

    // Sets the bits [x0, x1) of a 1-bit row (x0 < x1), a whole word at a time: the next span's
    // word loads of this row then take the stored words as they are.
    static void SetBitRange(uint8_t* row, int32_t x0, int32_t x1)
    {
        const int64_t w0 = x0 >> 6;
        const int64_t w1 = (x1 - 1) >> 6;
        const uint64_t first = Ori<true>::From(static_cast<int>(x0 - w0 * 64));
        const uint64_t last = Ori<true>::Below(static_cast<int>(x1 - w1 * 64));
        if (w0 == w1) {
            PutBE64(row + w0 * 8, GetBE64(row + w0 * 8) | (first & last));
            return;
        }
        PutBE64(row + w0 * 8, GetBE64(row + w0 * 8) | first);
        PutBE64(row + w1 * 8, GetBE64(row + w1 * 8) | last);
        // Plain stores rather than a call to memset: spans are short, and a string store
        // would hold up the loads of the next span.
        int64_t wi = w0 + 1;
#if defined(__SSE2__)
        const __m128i ones = _mm_set1_epi8(-1);
        for (; wi + 2 <= w1; wi += 2)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + wi * 8), ones);
#endif
        for (; wi < w1; ++wi) {
            const uint64_t all = ~0ULL;
            std::memcpy(row + wi * 8, &all, 8);
        }
    }

    // The span callback, 1-bit mode at four times the resolution.
    void SpanBits(int32_t start, int32_t y, int32_t len)
    {
        const int32_t end = start + len;
        // Knife bits directly above and below the span give their image pixel the coverage 16
        // while that pixel has no label yet.
        for (int32_t yy = y - 1; yy <= y + 1; yy += 2) {
            if (yy < 0 || yy >= maskH) continue;
            const uint8_t* row = mask + yy * stride;
            uint8_t* lab = labels + static_cast<int64_t>(yy >> 2) * width;
            for (int64_t wi = start >> 6; wi <= (end - 1) >> 6; ++wi) {
                const int64_t base = wi * 64;
                // Image pixels (groups of four sub-pixels) of the word with no label yet that
                // hold a knife bit; usually none, the row having been filled by this region.
                uint64_t b = GetBE64(row + wi * 8);
                if (start > base) b &= Ori<true>::From(static_cast<int>(start - base));
                if (end < base + 64) b &= Ori<true>::Below(static_cast<int>(end - base));
                if (!b) continue;
                const uint32_t zero = MatchBytes(lab + (base >> 2), 0);
                if (!zero) continue;
                uint32_t hits = GroupMask(b) & zero;
                while (hits) {
                    const int32_t ix = static_cast<int32_t>((base >> 2) + __builtin_ctz(hits));
                    hits &= hits - 1;
                    lab[ix] = 16;
                    Extend(ix, ix + 1, yy >> 2);
                }
            }
        }
        // The span widened by one sub-pixel each side is filled and counted.
        FillWidenedSpan(y, start, end);
    }

    // Sub-pixels [start - 1, end + 1) of row y (within the mask) are set in the mask and their
    // coverage is added to the labels of the pixels they fall in.
    void FillWidenedSpan(int32_t y, int32_t start, int32_t end)
    {
        SetBitRange(mask + y * stride, start > 0 ? start - 1 : 0, end < maskW ? end + 1 : maskW);
        AddWidenedCoverage<false>(y, start, end);
    }

    // The coverage of the sub-pixels [start - 1, end + 1) of row y (within the mask) is added
    // to the labels of the pixels they fall in.
    template <bool kBox>
    void AddWidenedCoverage(int32_t y, int32_t start, int32_t end)
    {
        const int32_t wl = start > 0 ? start - 1 : 0;
        const int32_t wr = end < maskW ? end + 1 : maskW;
        uint8_t* lab = LabelRow<kBox>(y >> 2);
        const int32_t ix0 = wl >> 2;
        const int32_t ix1 = (wr - 1) >> 2;
        const int32_t b0 = LabelColumn<kBox>(ix0), b1 = LabelColumn<kBox>(ix1);
        if (ix0 == ix1) {
            lab[b0] = AddCoverage(lab[b0], 16u * static_cast<uint32_t>(wr - wl));
        } else {
            lab[b0] = AddCoverage(lab[b0], 16u * static_cast<uint32_t>(4 * ix0 + 4 - wl));
            lab[b1] = AddCoverage(lab[b1], 16u * static_cast<uint32_t>(wr - 4 * ix1));
            AddFullCoverage(lab + b0 + 1, ix1 - ix0 - 1);
        }
        Extend(ix0, ix1 + 1, y >> 2);
    }

    // Knife pixels of value 255 in [x0, x1) of row yy are taken (254) with label 255.
    void TakeRazorPixels(int32_t yy, int32_t x0, int32_t x1)
    {
        if (yy < 0 || yy >= maskH) return;
        if (x0 < 0) x0 = 0;
        if (x1 > maskW) x1 = maskW;
        uint8_t* row = mask + yy * stride;
        uint8_t* lab = labels + static_cast<int64_t>(yy) * width;
        int32_t x = x0;
        for (; x + 16 <= x1; x += 16) {
            uint32_t m = MatchBytes(row + x, 255);
            while (m) {
                const int i = __builtin_ctz(m);
                m &= m - 1;
                row[x + i] = 254;
                lab[x + i] = 255;
                Extend(x + i, x + i + 1, yy);
            }
        }
        for (; x < x1; ++x)
            if (row[x] == 255) {
                row[x] = 254;
                lab[x] = 255;
                Extend(x, x + 1, yy);
            }
    }

    // Partly covered knife pixels in [x0, x1) of row yy get the label 255 - coverage.
    void LabelPartialPixels(int32_t yy, int32_t x0, int32_t x1)
    {
        if (yy < 0 || yy >= maskH) return;
        if (x0 < 0) x0 = 0;
        if (x1 > maskW) x1 = maskW;
        const uint8_t* row = mask + yy * stride;
        uint8_t* lab = labels + static_cast<int64_t>(yy) * width;
        int32_t x = x0;
        for (; x + 16 <= x1; x += 16) {
            uint32_t m = ~(MatchBytes(row + x, 0) | MatchBytes(row + x, 255)) & 0xFFFFu;
            while (m) {
                const int i = __builtin_ctz(m);
                m &= m - 1;
                lab[x + i] = static_cast<uint8_t>(255 - row[x + i]);
                Extend(x + i, x + i + 1, yy);
            }
        }
        for (; x < x1; ++x) {
            const uint8_t v = row[x];
            if (v != 0 && v != 255) {
                lab[x] = static_cast<uint8_t>(255 - v);
                Extend(x, x + 1, yy);
            }
        }
    }

    // The span callback, 8-bit mask at image resolution.
    void SpanBytes(int32_t start, int32_t y, int32_t len)
    {
        uint8_t* row = mask + y * stride;
        uint8_t* lab = labels + static_cast<int64_t>(y) * width;
        const int32_t end = start + len;
        std::memset(row + start, aa ? 255 : 1, static_cast<size_t>(len));
        std::memset(lab + start, 255, static_cast<size_t>(len));
        Extend(start, end, y);
        if (!aa) {
            if (!razor) return;
            // Each knife pixel joins the first piece that reaches it.
            TakeRazorPixels(y - 1, start - 1, end + 1);
            TakeRazorPixels(y + 1, start - 1, end + 1);
            TakeRazorPixels(y, start - 1, start);
            TakeRazorPixels(y, end, end + 1);
        } else {
            LabelPartialPixels(y - 1, start, end);
            LabelPartialPixels(y + 1, start, end);
            LabelPartialPixels(y, start - 1, start);
            LabelPartialPixels(y, end, end + 1);
        }
    }

    void Span(int32_t start, int32_t y, int32_t len)
    {
        if (y < 0 || y >= maskH) return;
        if (start < 0) {
            len += start;
            start = 0;
        }
        if (start + len > maskW) len = maskW - start;
        if (len <= 0) return;
        if (bitMode)
            SpanBits(start, y, len);
        else
            SpanBytes(start, y, len);
    }

    // ---- The run table (1-bit mode): CJigcrafter::BuildRunTable.
    int32_t RowRuns(int32_t y, SubRun* runs, int32_t first) const;
    // Links between the runs [a0, a1) of a row and the runs [a1, b1) of the row below it.
    static void LinkRuns(SubRun* runs, int32_t a0, int32_t a1, int32_t b1);
    // The table is built over bands of rows, on several threads: each band's rows are scanned
    // once, their runs written (and linked within the band) into a block of the band's own,
    // the first band's block being the table; then the other blocks are copied in after it.
    // With `clear` the scan clears the rows of the engine's own mask that it reads no more (all
    // but each band's first and last).
    struct TableBuild : qwp::OrderedWork {
        CutState* st = nullptr;
        CQWF_Mem* blocks = nullptr;  // blocks[0]: the table
        int64_t* bandRuns = nullptr;  // runs of each band, -1 when its scan failed
        int64_t* bandBase = nullptr;  // first run of each band in the table
        int32_t* bandScanned = nullptr;  // rows each band scanned
        int32_t* rowStart = nullptr;  // first run of each row, within its band until the copy
        size_t maxRuns = 0;
        int32_t bandRows = 0;
        int32_t bands = 0;
        bool clear = false;
        bool copy = false;  // the second pass
        bool Work(int64_t band, int participant) override;
    };
    bool ScanBand(TableBuild& b, int32_t band);
    // The knives of the rows a failed build cleared, drawn again from their runs for the bit
    // fill (the holes closed, as the bit fill closes them).
    void RedrawCleared(const TableBuild& b);

    // ---- The labelling on runs (1-bit mode).
    //
    // The span fill only ever fills whole runs of free sub-pixels (a span is the free run
    // around its seed, and a run is filled all at once), seeds one pixel of each unfilled run
    // that meets the span in the row above or below, and visits the runs in the order of its
    // seed stack. So the labelling works on the runs of the knife mask (holes dropped, as the
    // hole closing would) instead of its bits: the same stack of seeds, now one per run, visits
    // the runs in the same order, and the bits of the rows around a span that the fill reads
    // are the knives between the runs of those rows.
    const SubRun* runs = nullptr;
    const int32_t* runRows = nullptr;  // first run of each row, then the end
    uint8_t* runDone = nullptr;
    int32_t runCount = 0;
    // A worker's fill (kBox) marks the runs it labels in bits of its own: a byte of the shared
    // flags holds the flags of runs of neighbouring regions, filled at the same time by other
    // threads, and every write would take the cache line from them. A region's fill reads the
    // flags of its own runs only, so each fill sees what it would see in the shared ones.
    uint64_t* doneBits = nullptr;
    template <bool kBox>
    bool Done(int32_t i) const
    {
        if constexpr (kBox) return (doneBits[i >> 6] >> (i & 63)) & 1;
        else return runDone[i] != 0;
    }
    template <bool kBox>
    void SetDone(int32_t i)
    {
        if constexpr (kBox) doneBits[i >> 6] |= uint64_t{1} << (i & 63);
        else runDone[i] = 1;
    }

    // Knife sub-pixels [a, b) of row yy lie under (or over) a span: their pixels with no label
    // yet get the coverage 16. Pixels with a label already lie in the box, and so do the
    // columns of these: the span's own coverage reaches them.
    template <bool kBox>
    void CoverKnifeRange(int32_t yy, int32_t a, int32_t b)
    {
        // Pixel columns of the range, counted from the label row's start.
        uint8_t* lab = LabelRow<kBox>(yy >> 2);
        const int32_t ix0 = LabelColumn<kBox>(a >> 2);
        const int32_t ix1 = LabelColumn<kBox>((b - 1) >> 2);
#if defined(__SSE2__)
        // 16 labels at a time, the last chunk cut to the range by a mask but written whole:
        // the label buffer has 16 bytes to spare after its last row.
        alignas(16) static const uint8_t kFirst[32] = {
            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0,    0,    0,    0,    0,    0,
            0,    0,    0,    0,    0,    0,    0,    0,    0,    0};
        const __m128i zero = _mm_setzero_si128();
        const __m128i cover = _mm_set1_epi8(16);
        for (int32_t ix = ix0; ix <= ix1; ix += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lab + ix));
            __m128i hit = _mm_cmpeq_epi8(v, zero);
            if (ix1 - ix < 15)
                hit = _mm_and_si128(hit, _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                             kFirst + 16 - (ix1 - ix + 1))));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(lab + ix),
                             _mm_or_si128(v, _mm_and_si128(hit, cover)));
        }
#else
        for (int32_t ix = ix0; ix <= ix1; ++ix)
            if (!lab[ix]) lab[ix] = 16;
#endif
        const int32_t py = yy >> 2;
        if (py < minY) minY = py;
        if (py + 1 > maxY) maxY = py + 1;
    }

    // The runs of row yy meeting [l, r) from run `first` on: the knives between them get
    // their coverage, the runs not labelled yet are listed left to right in `out`.
    template <bool kBox>
    int32_t SideRuns(int32_t yy, int32_t first, int32_t l, int32_t r, int32_t* out)
    {
        const int32_t end = runRows[yy + 1];
        int32_t pos = l;
        int32_t n = 0;
        for (int32_t j = first; j < end && runs[j].l < r; ++j) {
            if (runs[j].l > pos) CoverKnifeRange<kBox>(yy, pos, runs[j].l);
            pos = runs[j].r;
            if (!Done<kBox>(j)) out[n++] = j;
        }
        if (pos < r) CoverKnifeRange<kBox>(yy, pos, r);
        return n;
    }

    // The region of run `seed` in row y: what the span fill does span by span, run by run.
    bool FillRuns(int32_t seed, int32_t y)
    {
        return boxLabels ? FillRunsIn<true>(seed, y) : FillRunsIn<false>(seed, y);
    }
    template <bool kBox>
    bool FillRunsIn(int32_t seed, int32_t y)
    {
        int32_t* side = reinterpret_cast<int32_t*>(runBuffer.GetData());
        stackTop = 0;
        // The run to label next, when the last step knows it: the leftmost new run of the row
        // below would be pushed last and popped at once, so it is taken without the stack.
        int32_t i = seed;
        int32_t ry = y;
        bool next = !Done<kBox>(seed);
        for (;;) {
            if (!next) {
                const int32_t* s = reinterpret_cast<const int32_t*>(stack.GetData());
                do {
                    if (stackTop == 0) return true;
                    --stackTop;
                    i = s[2 * stackTop];
                    ry = s[2 * stackTop + 1];
                } while (Done<kBox>(i));
            }
            SetDone<kBox>(i);
            const int32_t l = runs[i].l;
            const int32_t r = runs[i].r;
            // The fill mostly walks down row by row, each row far from the last in the run
            // table: the run a few rows below, where this run's place in its row suggests, is
            // fetched early, with the runs either side of it (knives that begin or end between
            // the rows move the place by a few runs).
            if (ry + kPrefetchRowsRuns < maskH) {
                const int32_t g = runRows[ry + kPrefetchRowsRuns] + (i - runRows[ry]);
                const int32_t last = runCount - 1;
                __builtin_prefetch(runs + (g < last ? g : last));
                __builtin_prefetch(runs + (g + 4 < last ? g + 4 : last));
                __builtin_prefetch(runs + (g - 4 < 0 ? 0 : g - 4 < last ? g - 4 : last));
            }
            // So are the labels of the image row two rows down: another region (or the last
            // cut) touched them last, and the knife coverage of the row below reads them
            // first, one at a time.
            if (!kBox && (ry & 3) == 0 && ry + kPrefetchLabelRows < maskH) {
                const uint8_t* lab =
                    labels + static_cast<int64_t>((ry + kPrefetchLabelRows) >> 2) * width;
                const uintptr_t last = reinterpret_cast<uintptr_t>(lab + ((r - 1) >> 2));
                for (uintptr_t a = reinterpret_cast<uintptr_t>(lab + ((l > 0 ? l - 1 : 0) >> 2)) &
                                   ~uintptr_t{63};
                     a <= last; a += 64)
                    __builtin_prefetch(reinterpret_cast<const void*>(a), 1);
            }
            // Knife coverage of the rows above and below, the seeds of the row above (right
            // to left), then those of the row below (right to left, its leftmost on top).
            if (ry > 0) {
                const int32_t n = SideRuns<kBox>(ry - 1, runs[i].above, l, r, side);
                for (int32_t k = n - 1; k >= 0; --k)
                    if (!Push(side[k], ry - 1)) return false;
            }
            int32_t n = 0;
            if (ry + 1 < maskH) n = SideRuns<kBox>(ry + 1, runs[i].below, l, r, side);
            AddWidenedCoverage<kBox>(ry, l, r);
            for (int32_t k = n - 1; k > 0; --k)
                if (!Push(side[k], ry + 1)) return false;
            next = n > 0;
            if (next) {
                i = side[0];
                ++ry;
            }
        }
    }

    template <bool kMsb>
    void Fill(int32_t x, int32_t y)
    {
        if (IsBarrier(x, y)) return;
        stackTop = 0;
        if (!Push(x, y)) return;
        while (stackTop > 0) {
            --stackTop;
            const int32_t* s = reinterpret_cast<const int32_t*>(stack.GetData());
            const int32_t sx = s[2 * stackTop];
            const int32_t sy = s[2 * stackTop + 1];
            if (IsBarrier(sx, sy)) continue;
            const int32_t l = FindLeft<kMsb>(sx, sy);
            const int32_t r = FindRight<kMsb>(sx, sy);
            // The fill mostly walks on row by row: fetch the rows kAhead away ahead of
            // time (and their labels when they lie in another image row than this one's).
            const int64_t b0 = (kMsb ? (l >> 3) : l) & ~int64_t{63};
            const int64_t b1 = kMsb ? ((r - 1) >> 3) : r - 1;
            constexpr int32_t kAhead = kMsb ? kPrefetchRowsBits : kPrefetchRowsBytes;
            for (int32_t py = sy - kAhead; py <= sy + kAhead; py += 2 * kAhead) {
                if (py < 0 || py >= maskH) continue;
                const uint8_t* row = mask + py * stride;
                for (int64_t b = b0; b <= b1; b += 64) __builtin_prefetch(row + b);
                if (kMsb && (py >> 2) != (sy >> 2)) {
                    const uint8_t* lab = labels + static_cast<int64_t>(py >> 2) * width;
                    for (int64_t b = (l >> 2) & ~int64_t{63}; b <= (r - 1) >> 2; b += 64)
                        __builtin_prefetch(lab + b, 1);
                }
            }
            if (kMsb) {
                if (!SpanAndSeedsBits(l, sy, r)) return;
                continue;
            }
            Span(l, sy, r - l);
            if (!PushRuns<kMsb>(sy - 1, l, r)) return;
            if (!PushRuns<kMsb>(sy + 1, l, r)) return;
        }
    }

    // One step of the 1-bit fill for the span [l, r) of row y, in one pass over the rows above
    // and below: what SpanBits does (knife coverage first, then the widened span) and the seeds
    // of PushRuns for the row above, then for the row below.
    bool SpanAndSeedsBits(int32_t l, int32_t y, int32_t r)
    {
        using O = Ori<true>;
        const uint8_t* rows[2] = {y > 0 ? mask + (y - 1) * stride : nullptr,
                                  y + 1 < maskH ? mask + (y + 1) * stride : nullptr};
        uint8_t* labs[2] = {y > 0 ? labels + static_cast<int64_t>((y - 1) >> 2) * width : nullptr,
                            y + 1 < maskH ? labels + static_cast<int64_t>((y + 1) >> 2) * width
                                          : nullptr};
        const int32_t labRows[2] = {(y - 1) >> 2, (y + 1) >> 2};
        int32_t* below = reinterpret_cast<int32_t*>(runBuffer.GetData());
        int32_t belowCount = 0;
        uint64_t carry[2] = {0, 0};
        // Knife coverage and seeds of word wi within the span bits m, row above then below.
        auto word = [&](int64_t wi, uint64_t m) -> bool {
            const int64_t base = wi * 64;
            for (int side = 0; side < 2; ++side) {
                if (!rows[side]) continue;
                const uint64_t bits = GetBE64(rows[side] + wi * 8);
                const uint64_t knife = bits & m;
                if (knife) {
                    const uint32_t zero = MatchBytes(labs[side] + (base >> 2), 0);
                    if (zero) {
                        uint32_t hits = GroupMask(knife) & zero;
                        while (hits) {
                            const int32_t ix =
                                static_cast<int32_t>((base >> 2) + __builtin_ctz(hits));
                            hits &= hits - 1;
                            labs[side][ix] = 16;
                            Extend(ix, ix + 1, labRows[side]);
                        }
                    }
                }
                const uint64_t f = ~bits & m;
                uint64_t e = f & ~O::Next(f, carry[side]);
                carry[side] = O::FirstPixel(f);
                while (e) {
                    const int k = O::Last(e);
                    e &= ~O::Bit(k);
                    if (side == 0) {
                        if (!Push(static_cast<int32_t>(base + k), y - 1)) return false;
                    } else {
                        below[belowCount++] = static_cast<int32_t>(base + k);
                    }
                }
            }
            return true;
        };
        // Knife pixels of a whole word of the given side get the coverage 16 where unlabelled.
        auto coverWord = [&](int side, int64_t base) {
            uint32_t hits = MatchBytes(labs[side] + (base >> 2), 0);
            while (hits) {
                const int32_t ix = static_cast<int32_t>((base >> 2) + __builtin_ctz(hits));
                hits &= hits - 1;
                labs[side][ix] = 16;
                Extend(ix, ix + 1, labRows[side]);
            }
        };
        const int64_t wFirst = l >> 6;
        const int64_t wLast = (r - 1) >> 6;
        {
            // The rightmost word, cut at r (and at l when the span lies in one word).
            const int64_t base = wLast * 64;
            uint64_t m = ~0ULL;
            if (l > base) m &= O::From(static_cast<int>(l - base));
            if (r < base + 64) m &= O::Below(static_cast<int>(r - base));
            if (!word(wLast, m)) return false;
        }
        if (rows[0] && rows[1]) {
            for (int64_t wi = wLast - 1; wi > wFirst; --wi) {
                const int64_t base = wi * 64;
                uint64_t above, under;
                std::memcpy(&above, rows[0] + wi * 8, 8);
                std::memcpy(&under, rows[1] + wi * 8, 8);
                if (above == ~0ULL && under == 0) {
                    // The usual word inside a region walked downwards: the row above filled
                    // (or a knife), the row below free; its only seed ends the free run.
                    coverWord(0, base);
                    carry[0] = 0;
                    if (!carry[1]) below[belowCount++] = static_cast<int32_t>(base + 63);
                    carry[1] = 1;
                } else if (above == 0 && under == ~0ULL) {
                    // The same walked upwards.
                    if (!carry[0] && !Push(static_cast<int32_t>(base + 63), y - 1)) return false;
                    carry[0] = 1;
                    coverWord(1, base);
                    carry[1] = 0;
                } else if (!word(wi, ~0ULL)) {
                    return false;
                }
            }
        } else {
            for (int64_t wi = wLast - 1; wi > wFirst; --wi)
                if (!word(wi, ~0ULL)) return false;
        }
        if (wFirst < wLast &&
            !word(wFirst, O::From(static_cast<int>(l - wFirst * 64))))
            return false;
        // The widened span, after every knife coverage of the rows around it.
        FillWidenedSpan(y, l, r);
        for (int32_t i = 0; i < belowCount; ++i)
            if (!Push(below[i], y + 1)) return false;
        return true;
    }
};

// ---------------------------------------------------------------------------------------------
// Flood-fill callbacks.

bool CJigcrafter::IsKnifePixel(int32_t x, int32_t y, void* context)
{
    const CJigcrafter* self = static_cast<const CJigcrafter*>(context);
    if (!self || !self->m_cut) return true;
    const CutState& st = *self->m_cut;
    if (x < 0 || y < 0 || x >= st.maskW || y >= st.maskH) return true;
    return st.mask[y * st.stride + x] != 0;
}

bool CJigcrafter::IsKnifeBit(int32_t x, int32_t y, void* context)
{
    const CJigcrafter* self = static_cast<const CJigcrafter*>(context);
    if (!self || !self->m_cut) return true;
    const CutState& st = *self->m_cut;
    if (x < 0 || y < 0 || x >= st.maskW || y >= st.maskH) return true;
    return ((st.mask[y * st.stride + (x >> 3)] >> (7 - (x & 7))) & 1) != 0;
}

bool CJigcrafter::FillSpan(int32_t start, int32_t y, int32_t length, void* context)
{
    CJigcrafter* self = static_cast<CJigcrafter*>(context);
    if (!self || !self->m_cut) return false;
    CutState& st = *self->m_cut;
    if (y < 0 || y >= st.maskH) return false;
    st.Span(start, y, length);
    return true;
}

void CJigcrafter::FastFill(CutState& st, int32_t x, int32_t y)
{
    if (m_referenceFill) {
        m_pen.geometry.m_test = st.bitMode ? &CJigcrafter::IsKnifeBit : &CJigcrafter::IsKnifePixel;
        m_pen.geometry.m_span = &CJigcrafter::FillSpan;
        m_pen.geometry.FloodFill(this, x, y);
        m_pen.geometry.m_test = nullptr;
        m_pen.geometry.m_span = nullptr;
        return;
    }
    if (st.bitMode)
        st.Fill<true>(x, y);
    else
        st.Fill<false>(x, y);
}

// ---------------------------------------------------------------------------------------------
// The steps of a cut that work on its knife mask and label buffer.

// Sizes the knife mask (four times the image in the 1-bit mode) and the fill's seed buffer.
bool CJigcrafter::PrepareCutMask(CutState& st, int32_t width, int32_t height)
{
    st.width = width;
    st.height = height;
    st.razor = m_razorCut;
    st.aa = m_antiAliasing;
    st.bitMode = m_razorCut && m_antiAliasing;
    st.maskW = st.bitMode ? 4 * width : width;
    st.maskH = st.bitMode ? 4 * height : height;
    st.words = (static_cast<int64_t>(st.maskW) + 63) / 64;
    if (!st.runBuffer.Alloc(static_cast<size_t>(st.maskW / 2 + 2) * sizeof(int32_t))) {
        ReportMemory();
        return false;
    }
    st.stride = st.bitMode ? st.words * 8 : st.words * 64;
    const size_t maskBytes = static_cast<size_t>(st.stride) * static_cast<size_t>(st.maskH);
    if (m_lentMask && m_lentMaskBytes >= maskBytes) {
        m_knifeMask.Free();
        m_knifeMaskClear = false;
        st.mask = m_lentMask;
        return true;
    }
    if (m_knifeMask.GetSize() != maskBytes) {
        m_knifeMaskClear = false;
        if (!m_knifeMask.Alloc(maskBytes)) {
            ReportMemory();
            return false;
        }
        // Large pages make the first touch of the big masks much cheaper.
        qwp::AdviseLargeBlock(m_knifeMask.GetData(), maskBytes);
    }
    st.mask = m_knifeMask.GetData();
    return true;
}

// Draws the knives into the knife mask, in the 1-bit mode without anti-aliasing.
bool CJigcrafter::DrawCutMask(CutState& st)
{
    const bool savedAA = m_antiAliasing;
    const uint8_t savedOneBit = m_pen.drawing.m_oneBit;
    bool drawn;
    if (st.bitMode) {
        if (!CutSetProgress(5)) return false;
        m_pen.drawing.m_oneBit = 1;
        m_antiAliasing = false;
        drawn = DrawSplitterMask(st.maskW, st.maskH, st.mask, st.stride,
                                 m_cutFrom + (m_cutTo - m_cutFrom) * 0.05,
                                 m_cutFrom + (m_cutTo - m_cutFrom) * 0.20);
    } else {
        if (!CutSetProgress(3)) return false;
        m_pen.drawing.m_oneBit = 0;
        drawn = DrawSplitterMask(st.maskW, st.maskH, st.mask, st.stride,
                                 m_cutFrom + (m_cutTo - m_cutFrom) * 0.03,
                                 m_cutFrom + (m_cutTo - m_cutFrom) * 0.20);
    }
    // The drawing mode and the anti-aliasing switch are the engine's again on every path.
    m_antiAliasing = savedAA;
    m_pen.drawing.m_oneBit = savedOneBit;
    return drawn;
}

// The label buffer at image resolution, all 0.
bool CJigcrafter::PrepareLabels(CutState& st)
{
    const size_t labelBytes = static_cast<size_t>(st.width) * static_cast<size_t>(st.height) + 16;
    if (!CutSetProgress(20)) return false;
    if (m_lentLabels && m_lentLabelBytes >= labelBytes) {
        qwp::FillParallel(m_lentLabels, labelBytes, 0);
        st.labels = m_lentLabels;
        m_labelBuffer.Free();
        m_labelsClear = false;
        return CutSetProgress(25);
    }
    // A cut that ran to its end leaves every label 0: each region's labels are cleared as
    // soon as they are copied. A new buffer is cleared by writing, before the fill reads it (a
    // fresh page read first is mapped to a shared zero page and copied again on its first
    // write), on all threads.
    if (m_labelBuffer.GetSize() != labelBytes) {
        m_labelsClear = false;
        if (!m_labelBuffer.Alloc(labelBytes)) {
            ReportMemory();
            return false;
        }
    }
    if (!m_labelsClear) qwp::FillParallel(m_labelBuffer.GetData(), labelBytes, 0);
    m_labelsClear = false;
    st.labels = m_labelBuffer.GetData();
    return CutSetProgress(25);
}

// Closing single holes of the byte mask.
bool CJigcrafter::CloseSingleHoles(CutState& st)
{
    // A free pixel whose four neighbours are barriers becomes a knife
    // pixel. Holes are never neighbours of each other, so the order of the rows does not matter.
    // In the 1-bit mode each word is closed by the labelling just before it is scanned, which
    // saves a pass over the large mask; the progress steps stay those of this pass.
    for (int32_t k = 0; st.bitMode && k < st.maskH; ++k)
        if (!CutSetProgress(25.0 + 25.0 * k / st.maskH)) return false;
    for (int32_t k = 0; !st.bitMode && k < st.maskH; ++k) {
        if (!CutSetProgress(25.0 + 25.0 * k / st.maskH)) return false;
        uint8_t* row = st.mask + k * st.stride;
        const uint8_t* up = k > 0 ? row - st.stride : nullptr;
        const uint8_t* down = k + 1 < st.maskH ? row + st.stride : nullptr;
        {
            uint64_t prev = 0;
            uint64_t cur = st.FreeWord(row, 0);
            for (int64_t wi = 0; wi < st.words; ++wi) {
                const uint64_t next = wi + 1 < st.words ? st.FreeWord(row, wi + 1) : 0;
                if (cur) {
                    const uint64_t u = up ? st.FreeWord(up, wi) : 0;
                    const uint64_t d = down ? st.FreeWord(down, wi) : 0;
                    const uint64_t leftFree = (cur << 1) | (prev >> 63);
                    const uint64_t rightFree = (cur >> 1) | ((next & 1) << 63);
                    uint64_t hole = cur & ~u & ~d & ~leftFree & ~rightFree;
                    while (hole) {
                        const int b = __builtin_ctzll(hole);
                        hole &= hole - 1;
                        const int64_t x = wi * 64 + b;
                        uint8_t value = 255;
                        if (st.aa) {
                            int sum = 0, n = 0;
                            if (x > 0) { sum += row[x - 1]; ++n; }
                            if (x + 1 < st.maskW) { sum += row[x + 1]; ++n; }
                            if (up) { sum += up[x]; ++n; }
                            if (down) { sum += down[x]; ++n; }
                            value = n ? static_cast<uint8_t>(sum / n) : 255;
                        }
                        row[x] = value;
                    }
                }
                prev = cur;
                cur = next;
            }
        }
    }
    return true;
}

// Without razor cut the knife strokes are the first piece.
bool CJigcrafter::AddKnifeLinesPiece(CutState& st, const CutSource& src, const CutCells& cells)
{
    m_knifeLines = !m_razorCut;
    if (!m_razorCut) {
        if (src.maskPlane) {
            QWF_Rect box{1000000, 1000000, -1000000, -1000000};
            for (int64_t y = 0; y < st.height; ++y) {
                const uint8_t* m = st.mask + y * st.stride;
                const uint8_t* mp = src.maskPlane + y * src.maskStride;
                uint8_t* lab = st.labels + y * st.width;
                for (int64_t x = 0; x < st.width; ++x) {
                    const uint8_t v = static_cast<uint8_t>((mp[x] * m[x]) / 255);
                    lab[x] = v;
                    if (v) {
                        if (x < box.left) box.left = static_cast<int32_t>(x);
                        if (x + 1 > box.right) box.right = static_cast<int32_t>(x + 1);
                        if (y < box.top) box.top = static_cast<int32_t>(y);
                        if (y + 1 > box.bottom) box.bottom = static_cast<int32_t>(y + 1);
                    }
                }
            }
            if (box.left < box.right &&
                !AddPiece(st.labels, st.width, st.width, st.height, box, true, src, cells))
                return false;
        } else {
            const QWF_Rect whole{0, 0, st.width, st.height};
            if (!AddPiece(st.mask, st.stride, st.width, st.height, whole, false, src, cells))
                return false;
        }
    }
    return true;
}

bool CJigcrafter::AddRegionPiece(CutState& st, const CutSource& src, const CutCells& cells)
{
    const int32_t width = st.width;
    const int32_t height = st.height;
    QWF_Rect box{st.minX < 0 ? 0 : st.minX, st.minY < 0 ? 0 : st.minY,
                 st.maxX > width ? width : st.maxX, st.maxY > height ? height : st.maxY};
    if (src.maskPlane && !src.maskOpaque) {
        QWF_Rect nb{1000000, 1000000, -1000000, -1000000};
        for (int64_t yy = box.top; yy < box.bottom; ++yy) {
            uint8_t* lab = st.labels + yy * width;
            const uint8_t* mp = src.maskPlane + yy * src.maskStride;
            for (int64_t xx = box.left; xx < box.right; ++xx) {
                if (!lab[xx]) continue;
                const uint8_t v = static_cast<uint8_t>((lab[xx] * mp[xx]) / 255);
                lab[xx] = v;
                if (v) {
                    if (xx < nb.left) nb.left = static_cast<int32_t>(xx);
                    if (xx + 1 > nb.right) nb.right = static_cast<int32_t>(xx + 1);
                    if (yy < nb.top) nb.top = static_cast<int32_t>(yy);
                    if (yy + 1 > nb.bottom) nb.bottom = static_cast<int32_t>(yy + 1);
                }
            }
        }
        // Labels all weighed to 0: no piece, and nothing left to clear.
        if (nb.left >= nb.right) return true;
        box = nb;
    }
    if (!AddPiece(st.labels, width, width, height, box, true, src, cells)) return false;
    if (m_pieceCount > kJigMaxPieces) {
        ReportTooManyPieces();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The run table of the 1-bit labelling: the runs of free sub-pixels of every mask row, single
// holes left out, each linked to the first run of the rows above and below that reaches its
// left end. Built on several threads in two passes over bands of rows (the runs of each row
// counted, then written where the counts put them), the links between the last row of a band
// and the first of the next one after both.

// The runs of row y, written from runs[first] on. Their count.
int32_t CJigcrafter::CutState::RowRuns(int32_t y, SubRun* runs, int32_t first) const
{
    const CutState& st = *this;
    using O = Ori<true>;
    const int32_t maskW = st.maskW;
    const int32_t maskH = st.maskH;
    const int64_t fullWords = maskW / 64;
    const uint8_t* row = st.mask + static_cast<int64_t>(y) * st.stride;
    auto bitSet = [&](int32_t x, int32_t yy) {
        const uint8_t* r = st.mask + static_cast<int64_t>(yy) * st.stride;
        return ((r[x >> 3] >> (7 - (x & 7))) & 1) != 0;
    };
    int32_t count = 0;
    int32_t open = -1;
    auto emit = [&](int32_t l, int32_t r) {
        // A free sub-pixel alone between knives above, below, left and right is a hole: the
        // knife mask closes it.
        if (r - l == 1 && (y == 0 || bitSet(l, y - 1)) && (y + 1 == maskH || bitSet(l, y + 1)))
            return;
        runs[first + count] = SubRun{l, r, 0, 0};
        ++count;
    };
    for (int64_t wi = 0; wi < st.words; ++wi) {
        if (wi < fullWords) {
            uint64_t raw;
            std::memcpy(&raw, row + wi * 8, 8);
            // Inside a run, free words are passed over two at a time.
            if (open >= 0 && !raw) {
                while (wi + 2 < fullWords) {
                    uint64_t pair[2];
                    std::memcpy(pair, row + (wi + 1) * 8, 16);
                    if (pair[0] | pair[1]) break;
                    wi += 2;
                }
                continue;
            }
            if (open < 0 && raw == ~0ULL) continue;
        }
        const uint64_t f = st.FreeWord(row, wi);
        const int32_t base = static_cast<int32_t>(wi * 64);
        int k = 0;
        for (;;) {
            if (open < 0) {
                const uint64_t start = f & O::From(k);
                if (!start) break;
                k = O::First(start);
                open = base + k;
            }
            const uint64_t stop = ~f & O::From(k);
            if (!stop) break;
            k = O::First(stop);
            emit(open, base + k);
            open = -1;
        }
    }
    if (open >= 0) emit(open, maskW);
    return count;
}

// Links between the runs [a0, a1) of a row and the runs [a1, b1) of the row below it.
void CJigcrafter::CutState::LinkRuns(SubRun* runs, int32_t a0, int32_t a1, int32_t b1)
{
    int32_t j = a1;
    for (int32_t i = a0; i < a1; ++i) {
        while (j < b1 && runs[j].r <= runs[i].l) ++j;
        runs[i].below = j;
    }
    int32_t i = a0;
    for (j = a1; j < b1; ++j) {
        while (i < a1 && runs[i].r <= runs[j].l) ++i;
        runs[j].above = i;
    }
}

// The runs of the band's rows into its block, from the block's start, linked within the band;
// false when they are more than the table takes or there is no memory for them.
bool CJigcrafter::CutState::ScanBand(TableBuild& b, int32_t band)
{
    const int32_t y0 = band * b.bandRows;
    const int32_t y1 = y0 + b.bandRows < maskH ? y0 + b.bandRows : maskH;
    CQWF_Mem& block = b.blocks[band];
    // A row holds at most a run at every other sub-pixel.
    const size_t rowMost = static_cast<size_t>(maskW) / 2 + 1;
    size_t n = 0;
    b.bandScanned[band] = 0;
    for (int32_t y = y0; y < y1; ++y) {
        if (n + rowMost > b.maxRuns) return false;
        if (block.GetSize() < (n + rowMost) * sizeof(SubRun)) {
            // Grown twice as large (the runs so far kept), at most to what the table takes.
            size_t cap = block.GetSize() / sizeof(SubRun) * 2;
            if (cap < n + rowMost) cap = n + rowMost;
            if (cap < 4096) cap = 4096;
            if (cap > b.maxRuns) cap = b.maxRuns;
            CQWF_Mem grown;
            if (!grown.Alloc(cap * sizeof(SubRun))) return false;
            if (n) std::memcpy(grown.GetData(), block.GetData(), n * sizeof(SubRun));
            block.Swap(grown);
        }
        SubRun* runs = reinterpret_cast<SubRun*>(block.GetData());
        const int32_t first = static_cast<int32_t>(n);
        b.rowStart[y] = first;
        const int32_t count = RowRuns(y, runs, first);
        if (y > y0) LinkRuns(runs, b.rowStart[y - 1], first, first + count);
        n += static_cast<size_t>(count);
        b.bandScanned[band] = y + 1 - y0;
        // The row above is read no more (but for the band's first, which the band above reads):
        // it is cleared for the next cut while at hand.
        if (b.clear && y - 1 > y0)
            std::memset(mask + static_cast<int64_t>(y - 1) * stride, 0, static_cast<size_t>(stride));
    }
    b.bandRuns[band] = static_cast<int64_t>(n);
    return true;
}

void CJigcrafter::CutState::RedrawCleared(const TableBuild& b)
{
    if (!b.clear) return;
    for (int32_t band = 0; band < b.bands; ++band) {
        const SubRun* runs = reinterpret_cast<const SubRun*>(b.blocks[band].GetData());
        const int32_t y0 = band * b.bandRows;
        for (int32_t y = y0 + 1; y + 1 < y0 + b.bandScanned[band]; ++y) {
            uint8_t* row = mask + static_cast<int64_t>(y) * stride;
            int32_t from = 0;
            for (int32_t i = b.rowStart[y]; i < b.rowStart[y + 1]; ++i) {
                if (runs[i].l > from) SetBitRange(row, from, runs[i].l);
                from = runs[i].r;
            }
            if (from < maskW) SetBitRange(row, from, maskW);
        }
    }
}

bool CJigcrafter::CutState::TableBuild::Work(int64_t unit, int)
{
    const int32_t band = static_cast<int32_t>(unit);
    if (!copy) {
        if (!st->ScanBand(*this, band)) bandRuns[band] = -1;
        return true;
    }
    if (band == 0) return true;  // the table's own runs
    // The band's runs after those of the bands above it, their rows' starts and their links
    // within the band moved by as many runs.
    const int32_t y0 = band * bandRows;
    const int32_t y1 = y0 + bandRows < st->maskH ? y0 + bandRows : st->maskH;
    const int32_t base = static_cast<int32_t>(bandBase[band]);
    const SubRun* from = reinterpret_cast<const SubRun*>(blocks[band].GetData());
    SubRun* to = reinterpret_cast<SubRun*>(blocks[0].GetData()) + base;
    for (int64_t k = 0; k < bandRuns[band]; ++k)
        to[k] = SubRun{from[k].l, from[k].r, from[k].below + base, from[k].above + base};
    for (int32_t y = y0; y < y1; ++y) rowStart[y] += base;
    return true;
}

void CJigcrafter::BuildRunTable(CutState& st, bool& built)
{
    built = false;
    const int32_t maskH = st.maskH;
    const size_t maskBytes = static_cast<size_t>(st.stride) * static_cast<size_t>(maskH);
    // More runs than this (one in 32 sub-pixels: knives almost everywhere) are left to the bit
    // fill, as is a table there is no memory for.
    size_t maxRuns = maskBytes / 4 > 4096 ? maskBytes / 4 : 4096;
    if (maxRuns >= size_t{1} << 31) maxRuns = (size_t{1} << 31) - 1;
    const size_t rowBytes = (static_cast<size_t>(maskH) + 1) * sizeof(int32_t);
    if (m_subRunRows.GetSize() < rowBytes && !m_subRunRows.Alloc(rowBytes)) return;
    int32_t* rowStart = reinterpret_cast<int32_t*>(m_subRunRows.GetData());

    CutState::TableBuild b;
    b.st = &st;
    b.rowStart = rowStart;
    b.maxRuns = maxRuns;
    // The engine's own mask goes back cleared for the next cut, mostly while the scan is at its
    // rows (a lent mask is cleared by its drawing).
    b.clear = st.mask == m_knifeMask.GetData();
    const int32_t threads = qwp::ThreadCount();
    // One band on one thread; else eight bands a thread, none thinner than 32 rows.
    b.bandRows = threads > 1 ? (maskH + 8 * threads - 1) / (8 * threads) : maskH;
    if (b.bandRows < 32) b.bandRows = 32;
    b.bands = (maskH + b.bandRows - 1) / b.bandRows;
    // Per band: its runs, where they begin in the table and the rows scanned.
    CQWF_Mem counts;
    int64_t oneBand[3] = {0, 0, 0};
    if (b.bands == 1) {
        b.blocks = &m_subRuns;
        b.bandRuns = oneBand;
    } else {
        // The first band's block is the table itself, the others are kept for the next cut.
        if (!m_bandRuns.Make(b.bands) ||
            !counts.Alloc(3 * static_cast<size_t>(b.bands) * sizeof(int64_t)))
            return;
        b.blocks = m_bandRuns.Data();
        b.bandRuns = reinterpret_cast<int64_t*>(counts.GetData());
        b.blocks[0].Swap(m_subRuns);
    }
    b.bandBase = b.bandRuns + b.bands;
    b.bandScanned = reinterpret_cast<int32_t*>(b.bandBase + b.bands);
    // The table goes back to the engine however the build ends.
    struct Back {
        CQWF_Mem* first;
        CQWF_Mem& table;
        ~Back()
        {
            if (first != &table) first->Swap(table);
        }
    } back{b.blocks, m_subRuns};
    const int participants = threads < b.bands ? threads : b.bands;
    qwp::RunOrdered(b.bands, participants, b);
    // Where each band's runs begin in the table. Every row must find room for as many runs as
    // a row may hold (a run at every other sub-pixel) after the runs of the rows above it.
    size_t count = 0;
    bool fits = true;
    for (int32_t band = 0; band < b.bands; ++band) {
        b.bandBase[band] = static_cast<int64_t>(count);
        if (b.bandRuns[band] < 0) fits = false;
        else count += static_cast<size_t>(b.bandRuns[band]);
    }
    const size_t tableRuns = count > 0 ? count : 1;
    fits = fits && static_cast<size_t>(b.bandBase[b.bands - 1] + rowStart[maskH - 1]) +
                           static_cast<size_t>(st.maskW) / 2 + 1 <= maxRuns;
    if (fits && b.blocks[0].GetSize() < tableRuns * sizeof(SubRun)) {
        CQWF_Mem grown;
        fits = grown.Alloc(tableRuns * sizeof(SubRun)) != nullptr;
        if (fits && b.bandRuns[0])
            std::memcpy(grown.GetData(), b.blocks[0].GetData(),
                        static_cast<size_t>(b.bandRuns[0]) * sizeof(SubRun));
        if (fits) b.blocks[0].Swap(grown);
    }
    fits = fits && (m_subRunDone.GetSize() >= tableRuns || m_subRunDone.Alloc(tableRuns));
    if (!fits) {
        st.RedrawCleared(b);
        return;
    }
    if (b.bands > 1) {
        b.copy = true;
        qwp::RunOrdered(b.bands, participants, b);
    }
    rowStart[maskH] = static_cast<int32_t>(count);
    SubRun* runs = reinterpret_cast<SubRun*>(b.blocks[0].GetData());
    for (int32_t band = 1; band < b.bands; ++band) {
        const int32_t y = band * b.bandRows;
        CutState::LinkRuns(runs, rowStart[y - 1], rowStart[y], rowStart[y + 1]);
    }
    for (int32_t i = rowStart[maskH - 1]; i < rowStart[maskH]; ++i) runs[i].below = rowStart[maskH];
    qwp::FillParallel(m_subRunDone.GetData(), count, 0);
    // The rows the scan left: the first and last of each band.
    for (int32_t band = 0; b.clear && band < b.bands; ++band) {
        const int32_t y0 = band * b.bandRows;
        const int32_t y1 = y0 + b.bandRows < maskH ? y0 + b.bandRows : maskH;
        std::memset(st.mask + static_cast<int64_t>(y0) * st.stride, 0, static_cast<size_t>(st.stride));
        std::memset(st.mask + static_cast<int64_t>(y1 - 1) * st.stride, 0, static_cast<size_t>(st.stride));
    }
    built = true;
}

// The labelling of the 1-bit mode on the run table (see CutState::FillRuns): the regions in
// scan order.
bool CJigcrafter::LabelRegionRuns(CutState& st, const CutSource& src, const CutCells& cells,
                                  bool& done)
{
    done = false;
    const int32_t maskW = st.maskW;
    const int32_t maskH = st.maskH;
    const bool own = st.mask == m_knifeMask.GetData();
    BuildRunTable(st, done);
    if (!done) return true;
    int32_t* rowStart = reinterpret_cast<int32_t*>(m_subRunRows.GetData());
    SubRun* runs = reinterpret_cast<SubRun*>(m_subRuns.GetData());
    const int32_t count = rowStart[maskH];

    if (!CutSetProgress(55)) return false;
    st.runs = runs;
    st.runRows = rowStart;
    st.runDone = m_subRunDone.GetData();
    st.runCount = count;
    const int32_t threads = qwp::ThreadCount();
    bool shared = false;
    bool ok = threads > 1 && count > 1 ? LabelRegionRunsParallel(st, src, cells, threads, shared) : true;
    for (int32_t y = 0; ok && !shared && y < maskH; ++y) {
        const double rowPercent = 55.0 + 40.0 * (y + 1) / maskH;
        if (!CutSetProgress(rowPercent)) {
            ok = false;
            break;
        }
        for (int32_t i = rowStart[y]; i < rowStart[y + 1]; ++i) {
            if (st.runDone[i]) continue;
            if (!CutSetProgress(rowPercent + 0.4 * (runs[i].l + 1) / maskW)) {
                ok = false;
                break;
            }
            st.ResetBox();
            if (!st.FillRuns(i, y)) {
                ReportMemory();
                ok = false;
                break;
            }
            if (!AddRegionPiece(st, src, cells)) {
                ok = false;
                break;
            }
        }
    }
    st.runs = nullptr;
    st.runRows = nullptr;
    st.runDone = nullptr;
    if (!ok) return false;
    if (own) m_knifeMaskClear = true;
    if (st.labels == m_labelBuffer.GetData()) m_labelsClear = true;
    return true;
}

// ---------------------------------------------------------------------------------------------
// The run labelling on several threads. A region is the set of runs its fill reaches: runs of
// adjacent rows that overlap, found as the connected sets of the run table (joined band by
// band, then across the bands). Each region's labels depend on its own fill alone (a region's
// labels are cleared before the next region is filled), so the regions are filled apart, each
// by any thread into labels of its own box, from the run where the one-thread scan meets it
// first (its first run), with the same fill. The host's thread adds the pieces in the order of
// those first runs, reports the progress steps of the scan and asks about a cancel; a region
// whose box is large is filled by it, in the cut's own labels, as the one-thread scan does.

namespace {

inline int32_t FindRoot(int32_t* parent, int32_t x)
{
    while (parent[x] != x) {
        parent[x] = parent[parent[x]];
        x = parent[x];
    }
    return x;
}

// FindRoot while other threads set the parents of other runs to their roots (each a parent
// further up the same chain): read as atomics, nothing compressed.
inline int32_t FindRootShared(int32_t* parent, int32_t x)
{
    for (;;) {
        const int32_t p = std::atomic_ref<int32_t>(parent[x]).load(std::memory_order_relaxed);
        if (p == x) return x;
        x = p;
    }
}

// v lowers `at` (kLess) or raises it, as an atomic: bands of runs on several threads widen the
// box of one region.
template <bool kLess>
inline void Widen(int32_t& at, int32_t v)
{
    std::atomic_ref<int32_t> a(at);
    int32_t now = a.load(std::memory_order_relaxed);
    while ((kLess ? v < now : v > now) &&
           !a.compare_exchange_weak(now, v, std::memory_order_relaxed)) {
    }
}

// The smaller index becomes the root: a set's root is its first run.
inline void Join(int32_t* parent, int32_t a, int32_t b)
{
    a = FindRoot(parent, a);
    b = FindRoot(parent, b);
    if (a < b) parent[b] = a;
    else if (b < a) parent[a] = b;
}

// Rows of runs a band of the region search spans.
constexpr int32_t kRegionBandRows = 256;

// Regions whose box has more pixels than this are filled by the host's thread.
constexpr int64_t kRegionBoxLimit = int64_t{4} << 20;

// The runs a region has on average, at least, for the regions to be filled on several threads.
constexpr int64_t kRegionRunsToShare = 256;

// Regions each thread may fill ahead of the host's thread adding them: a region is filled in a
// fraction of a millisecond, and threads that run out of regions to fill wait for the host's.
constexpr int32_t kRegionsAheadPerThread = 32;

}  // namespace

struct CJigcrafter::RegionWork : qwp::OrderedWork {
    CJigcrafter& engine;
    const CutState& st;
    const CutSource& src;
    const CutCells& cells;
    const SubRun* runs = nullptr;
    const int32_t* rowStart = nullptr;
    int32_t* parent = nullptr;
    int32_t bands = 0;
    // The units: the bands of the region search in its steps (the runs joined within each
    // band; each run's parent set to its region's first run; the first runs numbered as regions;
    // the regions' boxes), then the regions.
    enum Step { kJoin, kRoots, kFirsts, kBoxes, kFill };
    Step step = kJoin;
    int32_t* bandRegions = nullptr;  // per band: its first runs (kRoots), then the first's index
    // The regions, in the order of their first runs.
    struct Region {
        int32_t seed, row;
        QWF_Rect box;  // every label its fill can write lies in it
        bool hosts;    // filled by the host's thread, in the cut's own labels
        bool piece;    // a piece is made of it (not weighed to nothing)
        QWF_Rect pieceBox;
        int64_t count;
        int32_t cellColumn, cellRow;
        CQWF_Mem encoded;
        size_t bytes;
    };
    Region* regions = nullptr;
    int32_t ahead = 0;
    // Each participant's fill: a cut state over the labels of a region's box.
    struct Seat {
        CutState ws;
        CQWF_Mem labels;
        CQWF_Mem done;  // the fill's run flags (CutState::doneBits)
        bool ready = false, room = false;
    };
    Seat* seats = nullptr;
    int32_t reportedRow = -1;  // the last row whose progress step was reported

    RegionWork(CJigcrafter& e, const CutState& s, const CutSource& so, const CutCells& c)
        : engine(e), st(s), src(so), cells(c) {}

    // The region of run j (after kFirsts).
    int32_t RegionOf(int32_t j) const { return -1 - (parent[j] < 0 ? parent[j] : parent[parent[j]]); }

    // The step's work on a band of rows; false when memory ran out.
    bool Band(int32_t band)
    {
        const int32_t maskH = st.maskH;
        const int32_t y0 = band * kRegionBandRows;
        const int32_t y1 = y0 + kRegionBandRows < maskH ? y0 + kRegionBandRows : maskH;
        switch (step) {
        case kJoin:
            JoinBand(band);
            break;
        case kRoots: {
            // The parents of a run lie before it: its root is found whichever parents above
            // are set already.
            int32_t firsts = 0;
            for (int32_t j = rowStart[y0]; j < rowStart[y1]; ++j) {
                const int32_t root = FindRootShared(parent, j);
                std::atomic_ref<int32_t>(parent[j]).store(root, std::memory_order_relaxed);
                firsts += root == j;
            }
            bandRegions[band] = firsts;
            break;
        }
        case kFirsts: {
            // A first run holds -1 - its region's index, in the order of the first runs.
            int32_t r = bandRegions[band];
            for (int32_t y = y0; y < y1; ++y)
                for (int32_t j = rowStart[y]; j < rowStart[y + 1]; ++j) {
                    if (parent[j] != j) continue;
                    parent[j] = -1 - r;
                    Region& g = regions[r++];
                    g.seed = j;
                    g.row = y;
                    g.box = QWF_Rect{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
                    g.hosts = false;
                }
            break;
        }
        case kBoxes: {
            // The boxes of the regions the band's runs belong to are widened in boxes of the
            // band's own, then the regions' once each: a region reaches over several bands,
            // worked on at the same time.
            int32_t lo = INT32_MAX, hi = -1;
            for (int32_t j = rowStart[y0]; j < rowStart[y1]; ++j) {
                const int32_t g = RegionOf(j);
                if (g < lo) lo = g;
                if (g > hi) hi = g;
            }
            if (hi < 0) break;
            CQWF_Mem mem;
            QWF_Rect* boxes = static_cast<QWF_Rect*>(mem.Alloc(static_cast<size_t>(hi - lo + 1) * sizeof(QWF_Rect)));
            if (!boxes) return false;
            for (int32_t k = 0; k <= hi - lo; ++k) boxes[k] = QWF_Rect{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
            const int32_t maskW = st.maskW;
            for (int32_t y = y0; y < y1; ++y) {
                // A run widens its pixels by a sub-pixel each side, and covers knife pixels in
                // the rows above and below.
                const int32_t top = (y > 0 ? y - 1 : 0) >> 2;
                const int32_t bottom = (y + 1 < maskH ? y + 1 : y) / 4 + 1;
                for (int32_t j = rowStart[y]; j < rowStart[y + 1]; ++j) {
                    const int32_t x0 = (runs[j].l > 0 ? runs[j].l - 1 : 0) >> 2;
                    const int32_t x1 = ((runs[j].r < maskW ? runs[j].r + 1 : maskW) - 1) / 4 + 1;
                    QWF_Rect& box = boxes[RegionOf(j) - lo];
                    if (x0 < box.left) box.left = x0;
                    if (top < box.top) box.top = top;
                    if (x1 > box.right) box.right = x1;
                    if (bottom > box.bottom) box.bottom = bottom;
                }
            }
            for (int32_t k = 0; k <= hi - lo; ++k) {
                if (boxes[k].left == INT32_MAX) continue;
                QWF_Rect& box = regions[lo + k].box;
                Widen<true>(box.left, boxes[k].left);
                Widen<true>(box.top, boxes[k].top);
                Widen<false>(box.right, boxes[k].right);
                Widen<false>(box.bottom, boxes[k].bottom);
            }
            break;
        }
        case kFill:
            break;
        }
        return true;
    }

    // Joins the overlapping runs of the band's rows (each row with the one above, the band's
    // first row excepted).
    void JoinBand(int32_t band)
    {
        const int32_t maskH = st.maskH;
        const int32_t y0 = band * kRegionBandRows;
        const int32_t y1 = y0 + kRegionBandRows < maskH ? y0 + kRegionBandRows : maskH;
        for (int32_t j = rowStart[y0]; j < rowStart[y1]; ++j) parent[j] = j;
        for (int32_t y = y0 + 1; y < y1; ++y) JoinRow(y);
    }
    void JoinRow(int32_t y)
    {
        for (int32_t j = rowStart[y]; j < rowStart[y + 1]; ++j)
            for (int32_t i = runs[j].above; i < rowStart[y] && runs[i].l < runs[j].r; ++i)
                Join(parent, i, j);
    }

    // Fills region g in `ws` (labels in its box) and makes what its piece needs: its box,
    // pixel count, cell and encoded cut mask; false when memory runs out.
    bool Fill(CutState& ws, CQWF_Mem& labels, Region& g)
    {
        const int32_t bw = g.box.right - g.box.left, bh = g.box.bottom - g.box.top;
        // The labels of the box, all 0 (each region's clear leaves them so), 16 bytes to spare.
        const size_t need = static_cast<size_t>(bw) * static_cast<size_t>(bh) + 32;
        if (labels.GetSize() < need && !labels.AllocZeroed(need)) return false;
        ws.labels = labels.GetData();
        ws.width = bw;
        ws.labelLeft = g.box.left;
        ws.labelTop = g.box.top;
        ws.ResetBox();
        if (!ws.FillRuns(g.seed, g.row)) return false;
        const int32_t width = st.width, height = st.height;
        QWF_Rect box{ws.minX < 0 ? 0 : ws.minX, ws.minY < 0 ? 0 : ws.minY,
                     ws.maxX > width ? width : ws.maxX, ws.maxY > height ? height : ws.maxY};
        auto label = [&](int64_t x, int64_t y) {
            return ws.labels + (y - g.box.top) * bw + (x - g.box.left);
        };
        if (src.maskPlane && !src.maskOpaque) {
            QWF_Rect nb{1000000, 1000000, -1000000, -1000000};
            for (int64_t yy = box.top; yy < box.bottom; ++yy) {
                const uint8_t* mp = src.maskPlane + yy * src.maskStride;
                for (int64_t xx = box.left; xx < box.right; ++xx) {
                    uint8_t* lab = label(xx, yy);
                    if (!*lab) continue;
                    const uint8_t v = static_cast<uint8_t>((*lab * mp[xx]) / 255);
                    *lab = v;
                    if (v) {
                        if (xx < nb.left) nb.left = static_cast<int32_t>(xx);
                        if (xx + 1 > nb.right) nb.right = static_cast<int32_t>(xx + 1);
                        if (yy < nb.top) nb.top = static_cast<int32_t>(yy);
                        if (yy + 1 > nb.bottom) nb.bottom = static_cast<int32_t>(yy + 1);
                    }
                }
            }
            if (nb.left >= nb.right) {
                g.piece = false;
                return true;
            }
            box = nb;
        }
        if (box.left >= box.right || box.top >= box.bottom) {
            g.piece = false;
            return true;
        }
        g.piece = true;
        g.pieceBox = box;
        engine.NearestCell((box.left + box.right) / 2.0, (box.top + box.bottom) / 2.0,
                           cells.centres, cells.labels, cells.count, g.cellColumn, g.cellRow);
        const QWF_Rect inBox{box.left - g.box.left, box.top - g.box.top, box.right - g.box.left,
                             box.bottom - g.box.top};
        g.bytes = EncodeBoxRuns(ws.labels, bw, inBox, true, g.encoded, g.count);
        return g.bytes != 0;
    }

    void Prepare(Seat& seat) const
    {
        CutState& ws = seat.ws;
        ws.width = st.width;
        ws.height = st.height;
        ws.maskW = st.maskW;
        ws.maskH = st.maskH;
        ws.bitMode = st.bitMode;
        ws.aa = st.aa;
        ws.razor = st.razor;
        ws.mask = st.mask;
        ws.stride = st.stride;
        ws.words = st.words;
        ws.runs = st.runs;
        ws.runRows = st.runRows;
        ws.runCount = st.runCount;
        ws.boxLabels = true;
        ws.doneBits = static_cast<uint64_t*>(
            seat.done.AllocZeroed((static_cast<size_t>(st.runCount) + 63) / 64 * sizeof(uint64_t)));
        seat.room = ws.doneBits &&
                    ws.runBuffer.Alloc(static_cast<size_t>(st.maskW / 2 + 2) * sizeof(int32_t)) != nullptr;
        seat.ready = true;
    }

    int64_t Window(int64_t taken) override { return step != kFill ? INT64_MAX : taken + ahead; }
    bool Work(int64_t unit, int participant) override
    {
        if (step != kFill) return Band(static_cast<int32_t>(unit));
        Region& g = regions[unit];
        if (g.hosts) return true;
        Seat& seat = seats[participant];
        if (!seat.ready) Prepare(seat);
        return seat.room && Fill(seat.ws, seat.labels, g);
    }

    // The progress steps of the one-thread scan up to row y (each row's step as it starts).
    bool ReportRowsTo(int32_t y)
    {
        for (; reportedRow < y; ++reportedRow)
            if (!engine.CutSetProgress(55.0 + 40.0 * (reportedRow + 2) / st.maskH)) return false;
        return true;
    }

    // Adds the region's piece, in scan order, with the scan's progress steps.
    bool Take(int64_t unit, bool filled) override
    {
        if (step != kFill) return true;
        Region& g = regions[unit];
        if (!ReportRowsTo(g.row)) return false;
        const double rowPercent = 55.0 + 40.0 * (g.row + 1) / st.maskH;
        if (!engine.CutSetProgress(rowPercent + 0.4 * (runs[g.seed].l + 1) / st.maskW)) return false;
        if (g.hosts) {
            CutState& hs = const_cast<CutState&>(st);
            hs.ResetBox();
            if (!hs.FillRuns(g.seed, g.row)) {
                engine.ReportMemory();
                return false;
            }
            return engine.AddRegionPiece(hs, src, cells);
        }
        if (!filled) {
            engine.ReportMemory();
            return false;
        }
        if (!g.piece) return true;
        const bool appended = engine.AppendPiece(g.pieceBox, g.encoded.GetData(), g.bytes, g.count,
                                                 g.cellColumn, g.cellRow, src);
        g.encoded.Free();
        if (!appended) return false;
        if (engine.m_pieceCount > kJigMaxPieces) {
            engine.ReportTooManyPieces();
            return false;
        }
        return true;
    }
};

bool CJigcrafter::LabelRegionRunsParallel(CutState& st, const CutSource& src,
                                          const CutCells& cells, int32_t threads, bool& shared)
{
    shared = false;
    const int32_t maskH = st.maskH;
    const int32_t count = st.runCount;
    RegionWork w(*this, st, src, cells);
    w.runs = st.runs;
    w.rowStart = st.runRows;
    if (m_runParent.GetSize() < static_cast<size_t>(count) * sizeof(int32_t) &&
        !m_runParent.Alloc(static_cast<size_t>(count) * sizeof(int32_t))) {
        ReportMemory();
        return false;
    }
    w.parent = reinterpret_cast<int32_t*>(m_runParent.GetData());
    // The regions: the runs joined band by band, then across the bands; each run's parent
    // then becomes its region's first run, and the regions are numbered in the order of those.
    w.bands = (maskH + kRegionBandRows - 1) / kRegionBandRows;
    CQWF_Mem bandRegions;
    if (!bandRegions.Alloc(static_cast<size_t>(w.bands) * sizeof(int32_t))) {
        ReportMemory();
        return false;
    }
    w.bandRegions = reinterpret_cast<int32_t*>(bandRegions.GetData());
    qwp::RunOrdered(w.bands, threads, w);
    for (int32_t band = 1; band < w.bands; ++band) w.JoinRow(band * kRegionBandRows);
    w.step = RegionWork::kRoots;
    qwp::RunOrdered(w.bands, threads, w);
    int32_t regionCount = 0;
    for (int32_t band = 0; band < w.bands; ++band) {
        const int32_t firsts = w.bandRegions[band];
        w.bandRegions[band] = regionCount;
        regionCount += firsts;
    }
    // Small regions cost more to hand from thread to thread than to fill: the host's thread
    // fills them all, as on one thread.
    if (count < static_cast<int64_t>(regionCount) * kRegionRunsToShare && !s_shareAllWork) return true;
    shared = true;
    JigObjects<RegionWork::Region> regions;
    if (!regions.Make(regionCount)) {
        ReportMemory();
        return false;
    }
    w.regions = regions.Data();
    w.step = RegionWork::kFirsts;
    qwp::RunOrdered(w.bands, threads, w);
    w.step = RegionWork::kBoxes;
    if (!qwp::RunOrdered(w.bands, threads, w)) {
        ReportMemory();
        return false;
    }
    const int32_t width = st.width, height = st.height;
    for (int32_t k = 0; k < regionCount; ++k) {
        RegionWork::Region& g = regions.Data()[k];
        if (g.box.right > width) g.box.right = width;
        if (g.box.bottom > height) g.box.bottom = height;
        const int64_t pixels = static_cast<int64_t>(g.box.right - g.box.left) * (g.box.bottom - g.box.top);
        if (pixels > kRegionBoxLimit) g.hosts = true;
    }
    JigObjects<RegionWork::Seat> seats;
    if (!seats.Make(threads)) {
        ReportMemory();
        return false;
    }
    w.seats = seats.Data();
    w.ahead = kRegionsAheadPerThread * threads;
    w.step = RegionWork::kFill;
    return qwp::RunOrdered(regionCount, threads, w) && w.ReportRowsTo(maskH - 1);
}

// Every free region of the knife mask, in scan order, becomes a piece.
bool CJigcrafter::LabelRegions(CutState& st, const CutSource& src, const CutCells& cells)
{
    if (st.bitMode && !m_referenceFill) {
        bool done = false;
        if (!LabelRegionRuns(st, src, cells, done)) return false;
        if (done) return true;
    }
    if (!CutSetProgress(55)) return false;
    m_cut = &st;
    bool ok = true;
    for (int32_t y = 0; ok && y < st.maskH; ++y) {
        const double rowPercent = 55.0 + 40.0 * (y + 1) / st.maskH;
        if (!CutSetProgress(rowPercent)) {
            ok = false;
            break;
        }
        const uint8_t* row = st.mask + y * st.stride;
        const int64_t fullWords = st.bitMode ? st.maskW / 64 : 0;
        int64_t wi = 0;
        while (wi < st.words) {
            if (wi < fullWords) {
                // Most words of a labelled mask are all set (no free pixel, no hole): skip
                // them four at a time without byte swaps.
                while (wi + 4 <= fullWords && AllSet32(row + wi * 8)) wi += 4;
                if (wi >= st.words) break;
                if (wi < fullWords) {
                    uint64_t raw;
                    std::memcpy(&raw, row + wi * 8, 8);
                    if (raw == ~0ULL) {
                        ++wi;
                        continue;
                    }
                }
            }
            if (st.bitMode) st.CloseHoleWord(y, wi);
            const uint64_t f = st.FreeWord(row, wi);
            if (!f) {
                ++wi;
                continue;
            }
            const int k = st.bitMode ? Ori<true>::First(f) : Ori<false>::First(f);
            const int32_t x = static_cast<int32_t>(wi * 64 + k);
            if (!CutSetProgress(rowPercent + 0.4 * (x + 1) / st.maskW)) {
                ok = false;
                break;
            }
            st.ResetBox();
            FastFill(st, x, y);
            if (st.stackFailed) {
                ReportMemory();
                ok = false;
                break;
            }
            if (st.minX >= st.maxX || st.minY >= st.maxY) {
                // Nothing was filled (cannot happen for a free seed); step over the pixel.
                if (!st.IsBarrier(x, y)) {
                    ok = false;
                    break;
                }
                continue;
            }
            if (!AddRegionPiece(st, src, cells)) {
                ok = false;
                break;
            }
        }
        // Regions found from now on start below row y and read no row above it: the row
        // above is cleared for the next cut while it is at hand.
        if (ok && st.bitMode && y > 0)
            std::memset(st.mask + static_cast<int64_t>(y - 1) * st.stride, 0,
                        static_cast<size_t>(st.stride));
    }
    m_cut = nullptr;
    if (!ok) return false;
    if (st.bitMode) {
        std::memset(st.mask + static_cast<int64_t>(st.maskH - 1) * st.stride, 0,
                    static_cast<size_t>(st.stride));
        m_knifeMaskClear = st.mask == m_knifeMask.GetData();
    }
    if (st.labels == m_labelBuffer.GetData()) m_labelsClear = true;
    return true;
}

bool CJigcrafter::LabelPieces(int32_t width, int32_t height, const CutSource& src,
                              const CutCells& cells)
{
    CutState st;
    if (!PrepareCutMask(st, width, height)) return false;
    // The knife mask and the label buffer are kept for the next cut unless they are large:
    // fresh pages cost far more than clearing warm ones.
    struct Release {
        CJigcrafter* self;
        size_t bytes;
        ~Release()
        {
            if (bytes > kKeepBuffersBytes) {
                self->m_knifeMask.Free();
                self->m_labelBuffer.Free();
                self->m_subRuns.Free();
                self->m_subRunRows.Free();
                self->m_subRunDone.Free();
                self->m_bandRuns.Destroy();
                self->m_knifeMaskClear = false;
                self->m_labelsClear = false;
            }
        }
    } release{this, static_cast<size_t>(st.stride) * static_cast<size_t>(st.maskH) +
                        static_cast<size_t>(width) * static_cast<size_t>(height) + 16};
    if (!DrawCutMask(st) || !PrepareLabels(st) || !CloseSingleHoles(st)) return false;
    if (!CutSetProgress(50)) return false;
    if (!AddKnifeLinesPiece(st, src, cells)) return false;
    return LabelRegions(st, src, cells);
}
