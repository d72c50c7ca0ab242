// The direct Gaussian filter on rows and columns of bytes, without lanes: rows are filtered
// along the row, columns a strip of neighbouring columns at a time down the rows, both in vector
// steps over neighbouring positions. Each vector level compiles the bodies below in a unit of its
// own (qwf_imagefx_direct_<level>.cpp) with its own step of integer arithmetic (`Ops`); every
// result is the byte of the lane kernels' double arithmetic (DirectLanesBody) through ToByte.
//
// A byte result is ToByte(D), D the double computation (taps in their fixed order, the sum
// divided by the full weight sum fs). With c[k] = w[k] / fs, the exact quotient is
//   v = a[0] (1 + z) + sum over k >= 1 of c[k] s[k],   s[k] = a[k] + a[-k] - 2 a[0],
// z the distance of the weights' quotients from summing to 1 (below 2^-47), and D lies within
// 2^-36 of v (2K - 1 products and sums and a division of values below 256 in doubles).
//
// Each position is first computed in integers: q[k] = round(c[k] 2^P), P as large as keeps every
// q[k] in 16 bits (P from 16 to 22), and S = sum q[k] s[k] (exact in 32 bits: the q[k] sum to at
// most 2^(P - 1) + 9, so |S| <= 255 2^P + 4590).
// Since |c[k] 2^P - q[k]| <= 1/2 (plus 2^-31 for c[k] in doubles), with A = sum |s[k]|:
//   |2^P v - (2^P a[0] + S)| <= A / 2 + 2^-12,  so  |2^P D - (2^P a[0] + S)| < A / 2 + 2^-11.
// Let S = n 2^P + r (0 <= r < 2^P) and m = a[0] + n. ToByte gives m (limited to 0-255) for every
// D in [m - h(m), m + 1 - h(m + 1)), h(j) half the spacing of the floats just below j (a float
// rounds those D to m .. m + 1 - ulp, ties going to the integer): 2^-25 <= h(j) <= 2^-17 for j
// from 1 to 256, and for m <= 0 the lower end does not matter, nor the upper for m >= 255. So
// m is the byte where both
//   2 r >= A                           (r - A / 2 - 2^-11 >= -2^(P - 25) since P >= 16) and
//   2 r + A <= 2^(P + 1) - 2^(P - 16) - 1   (r + A / 2 + 2^-11 < 2^P (1 - 2^-17)).
// Flat stretches and straight ramps have A = 0 and r = 0 and pass. The positions that fail
// either test (a sum of tap differences that lands close to a byte's edge) are computed as the
// double kernel computes them.
//
// A level's Ops: kN positions a step; Weights(k0, k1) writes the pair of weights of two taps for Step;
// Step<kTaps>(taps, weights, shift, limit, t, x, n, out) the positions x .. x + n - 1 (n = kN but
// at the end of AVX-512 rows, which load and store masked: kMasked) to bytes, returning the
// positions left open as bits (OpenPosition turns a bit into a position); Widen(in, out, n) n
// bytes to 16-bit samples; VW the doubles of a vector of the level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "framework/imaging/qwf_imagefx_internal.h"

namespace qwf_fx {
namespace direct {

// Columns of one strip of the column filter: its rows of samples stay in the first level cache.
constexpr size_t kStrip = 256;
// Rows ahead of the one read that the column filter asks for early.
constexpr int64_t kAheadRows = 4;
// Rows of one strip filtered before the next strip's turn when strips go side by side.
constexpr int64_t kBandRows = 32;
// Taps each side of the direct filter: at most 19 (10 below the sigma where the recursive filter
// takes over, each count of those with its own unrolled loop).
constexpr int kMaxTaps = 19;
constexpr int kUnrolledTaps = 10;

// The integer weights of a kernel, or none (shift 0) where they do not fit the bounds above.
struct ByteWeights {
    int shift = 0;
    int32_t limit = 0;
    int16_t q[kMaxTaps] = {};
};

// The weight sum of a position whose taps all lie inside the line, summed as the lane kernels do.
double FullSum(const QWF_Gaussian& g);
ByteWeights MakeByteWeights(const QWF_Gaussian& g, double fs);

// The kernels of one vector level.
struct DirectKernels {
    void (*row)(const QWF_Gaussian& g, const ByteWeights& b, const uint8_t* in, uint8_t* out,
                size_t count, int16_t* work);
    void (*columns)(const QWF_Gaussian& g, const ByteWeights& b, const uint8_t* from,
                    ptrdiff_t fromStride, uint8_t* to, ptrdiff_t toStride, size_t w, size_t h,
                    int16_t* ring, size_t rings);
};
extern const DirectKernels kDirectPlain, kDirectAvx2, kDirectAvx512;

template <int VW>
struct DirectVec {
    typedef double VD __attribute__((vector_size(VW * 8)));
    typedef float VF __attribute__((vector_size(VW * 4)));
    typedef int32_t VI __attribute__((vector_size(VW * 4)));
    typedef uint8_t VB __attribute__((vector_size(VW)));
    typedef int16_t VS __attribute__((vector_size(VW * 2)));
};

// Position i of a line of n samples with taps reaching past an end: sample(j) reads sample j.
// With every tap inside, the arithmetic of PositionSum divided by the full sum.
template <class Sample>
inline double EdgePosition(const QWF_Gaussian& g, int64_t i, int64_t n, Sample sample)
{
    const int K = g.kernelCount;
    const double* w = g.kernel;
    const bool edge = g.edgeFlag != 0;
    const double ev = g.edgeValue;
    double sum = w[0] * sample(i);
    double ws = w[0];
    for (int k = 1; k < K; ++k) {
        if (i + k < n) {
            sum += w[k] * sample(i + k);
            ws += w[k];
        } else if (edge) {
            sum += w[k] * ev;
            ws += w[k];
        }
    }
    for (int k = 1; k < K; ++k) {
        if (i - k >= 0) {
            sum += w[k] * sample(i - k);
            ws += w[k];
        } else if (edge) {
            sum += w[k] * ev;
            ws += w[k];
        }
    }
    return sum / ws;
}

// The sum of position x's taps in their fixed order (t[k][x]: the sample k positions on), the
// one order every path of the direct filter keeps.
inline double PositionSum(const double* w, int K, const int16_t* const* t, size_t x)
{
    double sum = w[0] * static_cast<double>(t[0][x]);
    for (int k = 1; k < K; ++k) sum += w[k] * static_cast<double>(t[k][x]);
    for (int k = 1; k < K; ++k) sum += w[k] * static_cast<double>(t[-k][x]);
    return sum;
}

// VW neighbouring doubles to bytes as ToByte turns each.
template <int VW>
inline __attribute__((always_inline)) void StoreBytes(const typename DirectVec<VW>::VD& v,
                                                      uint8_t* out)
{
    typedef typename DirectVec<VW>::VF VF;
    typedef typename DirectVec<VW>::VI VI;
    typedef typename DirectVec<VW>::VB VB;
    VF f = __builtin_convertvector(v, VF);
    f = f > 0.0f ? f : VF{};  // NaN and anything not above 0 become 0
    f = f >= 255.0f ? VF{} + 255.0f : f;
    const VB b = __builtin_convertvector(__builtin_convertvector(f, VI), VB);
    std::memcpy(out, &b, VW);
}

// Positions [from, to) whose taps all lie inside (t[k][x]: the sample k positions on from x).
template <class Ops, int kTaps>
inline __attribute__((always_inline)) void BytePositions(const QWF_Gaussian& g,
                                                         const ByteWeights& b,
                                                         const int16_t* const* t, double fs,
                                                         size_t from, size_t to, uint8_t* out)
{
    typedef typename Ops::V V;
    constexpr size_t N = Ops::kN;
    const int K = kTaps ? kTaps : g.kernelCount;
    constexpr int kHeld = kTaps ? kTaps : kMaxTaps;
    // Weights and tap rows in local copies: the stores of results could otherwise reach them.
    V qp[kHeld];
    const int16_t* tap[2 * kHeld - 1];
    for (int k = 1; k < K; k += 2) Ops::Weights(qp + k, b.q[k], k + 1 < K ? b.q[k + 1] : 0);
    for (int k = -(K - 1); k <= K - 1; ++k) tap[kHeld - 1 + k] = t[k];
    const int16_t* const* r = tap + (kHeld - 1);
    auto exact = [&](size_t at) { out[at] = ToByte(PositionSum(g.kernel, K, r, at) / fs); };
    if (!Ops::kMasked && to - from < N) {
        for (size_t x = from; x < to; ++x) exact(x);
        return;
    }
    size_t x = from;
    while (x < to) {
        size_t n = to - x < N ? to - x : N;
        // Without masked steps the last one ends at `to`, over positions done before.
        if (!Ops::kMasked && n < N) {
            x = to - N;
            n = N;
        }
        uint64_t open = Ops::template Step<kTaps>(K, qp, b.shift, b.limit, r, x, n, out);
        if (__builtin_expect(open != 0, 0)) {
            for (; open; open &= open - 1) {
                const size_t at = x + Ops::OpenPosition(__builtin_ctzll(open));
                if (at < to) exact(at);
            }
        }
        x += n;
    }
}

template <class Ops, int K = 2>
inline __attribute__((always_inline)) void BytePositionsOf(const QWF_Gaussian& g,
                                                           const ByteWeights& b,
                                                           const int16_t* const* t, double fs,
                                                           size_t from, size_t to, uint8_t* out)
{
    if constexpr (K > kUnrolledTaps) {
        BytePositions<Ops, 0>(g, b, t, fs, from, to, out);
    } else if (g.kernelCount == K) {
        BytePositions<Ops, K>(g, b, t, fs, from, to, out);
    } else {
        BytePositionsOf<Ops, K + 1>(g, b, t, fs, from, to, out);
    }
}

// One row: its samples go into the work space d first as 16-bit samples.
template <class Ops>
inline __attribute__((always_inline)) void RowBody(const QWF_Gaussian& g, const ByteWeights& b,
                                                   const uint8_t* in, uint8_t* out, size_t count,
                                                   int16_t* d)
{
    const int K = g.kernelCount;
    const int64_t n = static_cast<int64_t>(count);
    Ops::Widen(in, d, count);
    auto sample = [&](int64_t j) { return static_cast<double>(d[j]); };
    const int64_t innerFrom = K - 1, innerTo = n - (K - 1);  // [innerFrom, innerTo)
    if (innerFrom >= innerTo) {
        for (int64_t i = 0; i < n; ++i) out[i] = ToByte(EdgePosition(g, i, n, sample));
        return;
    }
    for (int64_t i = 0; i < innerFrom; ++i) out[i] = ToByte(EdgePosition(g, i, n, sample));
    const int16_t* taps[2 * kMaxTaps - 1];
    for (int k = -(K - 1); k <= K - 1; ++k) taps[kMaxTaps - 1 + k] = d + k;
    BytePositionsOf<Ops>(g, b, taps + (kMaxTaps - 1), FullSum(g), static_cast<size_t>(innerFrom),
                         static_cast<size_t>(innerTo), out);
    for (int64_t i = innerTo; i < n; ++i) out[i] = ToByte(EdgePosition(g, i, n, sample));
}

// Row y of the column filter when its taps reach past the top or the bottom (up[k]: the row k
// on, null outside the grid): the terms of EdgePosition, which are the same for the whole row,
// in vector steps along it.
template <int VW>
inline __attribute__((always_inline)) void EdgeRow(const QWF_Gaussian& g, int64_t y, int64_t n,
                                                   const int16_t* const* up, size_t count,
                                                   uint8_t* out)
{
    typedef typename DirectVec<VW>::VD VD;
    typedef typename DirectVec<VW>::VS VS;
    const int K = g.kernelCount;
    const double* w = g.kernel;
    const bool edge = g.edgeFlag != 0;
    const double ev = g.edgeValue;
    // The terms after the centre's, in order: a weight and its row (null: the edge value).
    double tw[2 * kMaxTaps];
    const int16_t* tr[2 * kMaxTaps];
    int terms = 0;
    double ws = w[0];
    for (int side = 1; side >= -1; side -= 2) {
        for (int k = 1; k < K; ++k) {
            const int64_t j = y + side * k;
            if (j >= 0 && j < n) {
                tw[terms] = w[k];
                tr[terms++] = up[side * k];
                ws += w[k];
            } else if (edge) {
                tw[terms] = w[k];
                tr[terms++] = nullptr;
                ws += w[k];
            }
        }
    }
    const int16_t* centre = up[0];
    size_t x = 0;
    for (; x + VW <= count; x += VW) {
        VS s;
        std::memcpy(&s, centre + x, sizeof s);
        VD sum = (VD{} + w[0]) * __builtin_convertvector(s, VD);
        for (int i = 0; i < terms; ++i) {
            if (tr[i]) {
                std::memcpy(&s, tr[i] + x, sizeof s);
                sum += (VD{} + tw[i]) * __builtin_convertvector(s, VD);
            } else {
                sum += VD{} + tw[i] * ev;
            }
        }
        StoreBytes<VW>(sum / ws, out + x);
    }
    for (; x < count; ++x) {
        double sum = w[0] * static_cast<double>(centre[x]);
        for (int i = 0; i < terms; ++i) sum += tr[i] ? tw[i] * static_cast<double>(tr[i][x]) : tw[i] * ev;
        out[x] = ToByte(sum / ws);
    }
}

// The columns: the ring holds 16-bit samples of 2K - 1 rows of each strip.
template <class Ops>
inline __attribute__((always_inline)) void ColumnsBody(const QWF_Gaussian& g,
                                                       const ByteWeights& b, const uint8_t* from,
                                                       ptrdiff_t fromStride, uint8_t* to,
                                                       ptrdiff_t toStride, size_t w, size_t h,
                                                       int16_t* ring, size_t rings)
{
    const int K = g.kernelCount;
    const int64_t R = 2 * K - 1;  // rows held: K - 1 above and below the one filtered
    const int64_t n = static_cast<int64_t>(h);
    const double fs = FullSum(g);
    const size_t strips = (w + kStrip - 1) / kStrip;
    // `rings` neighbouring strips side by side, each with a ring of its own, a band of rows of
    // one strip after the band of the one before: the pages of a band's rows stay in the
    // address translation caches for all the strips (a strip alone down the whole grid meets a
    // page of its own in every row).
    const int64_t band = rings > 1 ? kBandRows : n;
    for (size_t s0 = 0; s0 < strips; s0 += rings) {
        const size_t group = strips - s0 < rings ? strips - s0 : rings;
        // Row y of strip s in slot y % R of its ring.
        auto slotAt = [&](size_t s, int64_t y) {
            return ring + ((s - s0) * static_cast<size_t>(R) + static_cast<size_t>(y % R)) * kStrip;
        };
        auto load = [&](size_t s, int64_t y) {
            const size_t x0 = s * kStrip, sw = w - x0 < kStrip ? w - x0 : kStrip;
            // The strip's part of a row a few rows on asked for early: each row lies on pages
            // of its own, where the processor does not fetch ahead by itself.
            if (y + kAheadRows < n) {
                const uint8_t* ahead = from + (y + kAheadRows) * fromStride + static_cast<ptrdiff_t>(x0);
                for (size_t c = 0; c < sw; c += 64) __builtin_prefetch(ahead + c);
            }
            Ops::Widen(from + y * fromStride + static_cast<ptrdiff_t>(x0), slotAt(s, y), sw);
        };
        // Row y is read before any row at or above it is written (and strips share no sample),
        // so from and to may be the same grid.
        for (size_t s = s0; s < s0 + group; ++s)
            for (int64_t y = 0; y < n && y < K - 1; ++y) load(s, y);
        for (int64_t y0 = 0; y0 < n; y0 += band) {
            const int64_t y1 = n - y0 < band ? n : y0 + band;
            for (size_t s = s0; s < s0 + group; ++s) {
                const size_t x0 = s * kStrip, sw = w - x0 < kStrip ? w - x0 : kStrip;
                for (int64_t y = y0; y < y1; ++y) {
                    if (y + K - 1 < n) load(s, y + K - 1);
                    uint8_t* t = to + y * toStride + static_cast<ptrdiff_t>(x0);
                    // The ring's slots from row y - (K - 1) on, one remainder for the row.
                    const int16_t* taps[2 * kMaxTaps];
                    int16_t* const ringOf = ring + (s - s0) * static_cast<size_t>(R) * kStrip;
                    int64_t slot = (y + K) % R;  // y - (K - 1) + R, never negative
                    for (int k = -(K - 1); k <= K - 1; ++k) {
                        taps[K - 1 + k] = y + k >= 0 && y + k < n ? ringOf + static_cast<size_t>(slot) * kStrip : nullptr;
                        if (++slot == R) slot = 0;
                    }
                    if (y - (K - 1) >= 0 && y + (K - 1) < n)
                        BytePositionsOf<Ops>(g, b, taps + (K - 1), fs, 0, sw, t);
                    else
                        EdgeRow<Ops::VW>(g, y, n, taps + (K - 1), sw, t);
                }
            }
        }
    }
}

}  // namespace direct
}  // namespace qwf_fx
