// Moving bytes in and out of groups of 16 interleaved lines of doubles.
#include <cstring>
#include <type_traits>

#include "framework/imaging/qwf_imagefx_internal.h"
#include "platform/qw_cpu.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qwf_fx {

static_assert(kLanes == 16, "the byte transposes below move 16 lines at a time");

#if defined(__SSE2__)
namespace {
// Transposes a 16 x 16 block of bytes held in 16 registers (r[i] = row i).
inline void Transpose16(__m128i r[16])
{
    __m128i a[16], b[16];
    for (int i = 0; i < 8; ++i) {
        a[2 * i] = _mm_unpacklo_epi8(r[2 * i], r[2 * i + 1]);
        a[2 * i + 1] = _mm_unpackhi_epi8(r[2 * i], r[2 * i + 1]);
    }
    for (int i = 0; i < 4; ++i) {
        b[4 * i + 0] = _mm_unpacklo_epi16(a[4 * i + 0], a[4 * i + 2]);
        b[4 * i + 1] = _mm_unpackhi_epi16(a[4 * i + 0], a[4 * i + 2]);
        b[4 * i + 2] = _mm_unpacklo_epi16(a[4 * i + 1], a[4 * i + 3]);
        b[4 * i + 3] = _mm_unpackhi_epi16(a[4 * i + 1], a[4 * i + 3]);
    }
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 4; ++j) {
            a[8 * i + 2 * j] = _mm_unpacklo_epi32(b[8 * i + j], b[8 * i + 4 + j]);
            a[8 * i + 2 * j + 1] = _mm_unpackhi_epi32(b[8 * i + j], b[8 * i + 4 + j]);
        }
    }
    for (int j = 0; j < 8; ++j) {
        r[2 * j] = _mm_unpacklo_epi64(a[j], a[8 + j]);
        r[2 * j + 1] = _mm_unpackhi_epi64(a[j], a[8 + j]);
    }
}

}  // namespace
#endif

void BytesToLanes(const uint8_t* const rows[kLanes], size_t count, double* out)
{
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= count; i += 16) {
        __m128i r[16];
        for (int l = 0; l < 16; ++l) r[l] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[l] + i));
        Transpose16(r);
        for (int j = 0; j < 16; ++j) Widen16(r[j], out + (i + j) * kLanes);
    }
#endif
    for (; i < count; ++i)
        for (int l = 0; l < kLanes; ++l) out[i * kLanes + l] = rows[l][i];
}

void LanesToBytes(const double* in, size_t count, uint8_t* const rows[kLanes], int lanes)
{
    size_t i = 0;
#if defined(__SSE2__)
    if (lanes == kLanes) {
        for (; i + 16 <= count; i += 16) {
            __m128i r[16];
            for (int j = 0; j < 16; ++j) r[j] = Narrow16(in + (i + j) * kLanes);
            Transpose16(r);
            for (int l = 0; l < 16; ++l) _mm_storeu_si128(reinterpret_cast<__m128i*>(rows[l] + i), r[l]);
        }
    }
#endif
    for (; i < count; ++i)
        for (int l = 0; l < lanes; ++l) rows[l][i] = ToByte(in[i * kLanes + l]);
}

void RowsToInterleaved(const uint8_t* const rows[kLanes], size_t count, uint8_t* out)
{
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= count; i += 16) {
        __m128i r[16];
        for (int l = 0; l < 16; ++l) r[l] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[l] + i));
        Transpose16(r);
        for (int j = 0; j < 16; ++j) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (i + j) * kLanes), r[j]);
    }
#endif
    for (; i < count; ++i)
        for (int l = 0; l < kLanes; ++l) out[i * kLanes + l] = rows[l][i];
}

void InterleavedToRows(const uint8_t* in, size_t count, uint8_t* const rows[kLanes], int lanes)
{
    size_t i = 0;
#if defined(__SSE2__)
    if (lanes == kLanes) {
        for (; i + 16 <= count; i += 16) {
            __m128i r[16];
            for (int j = 0; j < 16; ++j) r[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + (i + j) * kLanes));
            Transpose16(r);
            for (int l = 0; l < 16; ++l) _mm_storeu_si128(reinterpret_cast<__m128i*>(rows[l] + i), r[l]);
        }
    }
#endif
    for (; i < count; ++i)
        for (int l = 0; l < lanes; ++l) rows[l][i] = in[i * kLanes + l];
}

void ColumnsToLines(const uint8_t* src, ptrdiff_t stride, size_t h, uint8_t* out, size_t outStride)
{
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= h; i += 16) {
        __m128i r[16];
        for (int j = 0; j < 16; ++j)
            r[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + static_cast<ptrdiff_t>(i + j) * stride));
        Transpose16(r);
        for (int l = 0; l < 16; ++l)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + static_cast<size_t>(l) * outStride + i), r[l]);
    }
#endif
    for (; i < h; ++i)
        for (int l = 0; l < kLanes; ++l)
            out[static_cast<size_t>(l) * outStride + i] = src[static_cast<ptrdiff_t>(i) * stride + l];
}

namespace {
// Each position takes its own byte; then each run without mask takes the masked bytes around it
// (the left half from the left, the rest from the right; 128 when nothing is masked).
template <typename T>
void FillOpaqueRuns(const uint8_t* bytes, ptrdiff_t bstep, const uint8_t* mask, ptrdiff_t mstep,
                    size_t count, T* out, ptrdiff_t ostep)
{
    constexpr bool kBytes = std::is_same_v<T, uint8_t>;
    if (kBytes && bstep == 1 && ostep == 1) {
        if constexpr (kBytes) {
            if (out != bytes) std::memmove(out, bytes, count);
        }
    } else {
        for (size_t i = 0; i < count; ++i)
            out[static_cast<ptrdiff_t>(i) * ostep] = bytes[static_cast<ptrdiff_t>(i) * bstep];
    }
    auto fill = [&](size_t a, size_t b, uint8_t v) {
        if constexpr (kBytes) {
            if (ostep == 1) {
                std::memset(out + a, v, b - a);
                return;
            }
        }
        for (size_t j = a; j < b; ++j) out[static_cast<ptrdiff_t>(j) * ostep] = v;
    };
    size_t i = 0;
    size_t prev = SIZE_MAX;  // last position with a mask
    while (i < count) {
        if (mask[static_cast<ptrdiff_t>(i) * mstep]) {
            prev = i++;
            // Eight masked positions at a time while no byte of them is 0.
            if (mstep == 1) {
                while (i + 8 <= count) {
                    uint64_t word;
                    std::memcpy(&word, mask + i, 8);
                    const uint64_t ones = 0x0101010101010101ull;
                    if ((word - ones) & ~word & (ones << 7)) break;
                    prev = i + 7;
                    i += 8;
                }
            }
            continue;
        }
        size_t e = i;  // the run without mask: i..e-1
        if (mstep == 1) {
            while (e + 8 <= count) {
                uint64_t word;
                std::memcpy(&word, mask + e, 8);
                if (word) break;
                e += 8;
            }
        }
        while (e < count && !mask[static_cast<ptrdiff_t>(e) * mstep]) ++e;
        if (prev == SIZE_MAX && e == count) {
            fill(0, count, 128);
            return;
        }
        if (prev == SIZE_MAX) {
            fill(i, e, bytes[static_cast<ptrdiff_t>(e) * bstep]);
        } else if (e == count) {
            fill(i, e, bytes[static_cast<ptrdiff_t>(prev) * bstep]);
        } else {
            const size_t half = (e - i) / 2;
            fill(i, i + half, bytes[static_cast<ptrdiff_t>(prev) * bstep]);
            fill(i + half, e, bytes[static_cast<ptrdiff_t>(e) * bstep]);
        }
        i = e;
    }
}
}  // namespace

void FillOpaqueBytes(const uint8_t* bytes, ptrdiff_t bstep, const uint8_t* mask, ptrdiff_t mstep,
                     size_t count, uint8_t* out, ptrdiff_t ostep)
{
    FillOpaqueRuns(bytes, bstep, mask, mstep, count, out, ostep);
}

void FillOpaqueStrided(const uint8_t* bytes, ptrdiff_t bstep, const uint8_t* mask,
                       ptrdiff_t mstep, size_t count, double* out, size_t ostep)
{
    FillOpaqueRuns(bytes, bstep, mask, mstep, count, out, static_cast<ptrdiff_t>(ostep));
}

}  // namespace qwf_fx

namespace qwf_fx {

typedef int32_t V8I __attribute__((vector_size(32), aligned(4)));
typedef uint8_t V8B __attribute__((vector_size(8), aligned(1)));
typedef double V4D __attribute__((vector_size(32), aligned(8)));
typedef int32_t V4I __attribute__((vector_size(16), aligned(4)));

static inline __attribute__((always_inline)) void AccumulateBody(int32_t* acc, const uint8_t* src,
                                                                 int32_t weight, size_t n)
{
    size_t x = 0;
    for (; x + 8 <= n; x += 8) {
        const V8I v = __builtin_convertvector(*reinterpret_cast<const V8B*>(src + x), V8I);
        *reinterpret_cast<V8I*>(acc + x) += weight * v;
    }
    for (; x < n; ++x) acc[x] += weight * static_cast<int32_t>(src[x]);
}

static inline __attribute__((always_inline)) void DivideBody(const int32_t* acc, uint8_t* out,
                                                             size_t n, int32_t weight)
{
    // For integers below 2^31 the correctly rounded quotient never crosses an integer below
    // 256, so truncating it is the exact integer quotient there.
    const double w = weight;
    size_t x = 0;
    for (; x + 4 <= n; x += 4) {
        V4D q = __builtin_convertvector(*reinterpret_cast<const V4I*>(acc + x), V4D) / w;
        q = q < 0.0 ? V4D{0, 0, 0, 0} : q;
        q = q > 255.0 ? V4D{255, 255, 255, 255} : q;
        const V4I r = __builtin_convertvector(q, V4I);
        for (int k = 0; k < 4; ++k) out[x + k] = static_cast<uint8_t>(r[k]);
    }
    for (; x < n; ++x) out[x] = DivClamp(acc[x], weight);
}

QW_AVX2 static void AccumulateAvx2(int32_t* acc, const uint8_t* src,
                                   int32_t weight, size_t n)
{
    AccumulateBody(acc, src, weight, n);
}

static void AccumulatePlain(int32_t* acc, const uint8_t* src, int32_t weight, size_t n)
{
    AccumulateBody(acc, src, weight, n);
}

QW_AVX2 static void DivideAvx2(const int32_t* acc, uint8_t* out, size_t n,
                               int32_t weight)
{
    DivideBody(acc, out, n, weight);
}

static void DividePlain(const int32_t* acc, uint8_t* out, size_t n, int32_t weight)
{
    DivideBody(acc, out, n, weight);
}

static void DivideSumsPlain(const int32_t* acc, uint8_t* out, size_t n, int32_t weight)
{
    if (weight == 0) std::memset(out, 0, n);
    else DividePlain(acc, out, n, weight);
}

static void DivideSumsAvx2(const int32_t* acc, uint8_t* out, size_t n, int32_t weight)
{
    if (weight == 0) std::memset(out, 0, n);
    else DivideAvx2(acc, out, n, weight);
}

// AVX-512 has no kernels of its own here.
const qwp::KernelTable<SumKernels> kSumKernels = {{AccumulatePlain, DivideSumsPlain},
                                                  {AccumulateAvx2, DivideSumsAvx2},
                                                  {AccumulateAvx2, DivideSumsAvx2}};

}  // namespace qwf_fx
