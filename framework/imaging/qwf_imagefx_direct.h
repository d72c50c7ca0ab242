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
// q[k] in 16 bits (P from 16 to 21), and S = sum q[k] s[k] (exact in 32 bits: the q[k] sum to at
// most 2^(P - 1) + 9, so |S| <= 255 2^P + 4590). The steps add a[0] 2^P to S as one more term
// of the same multiply-adds, (a[0] 2^(P - 14)) 2^14, whose factors fit 16 bits for P <= 21;
// S + a[0] 2^P then holds m below in its high bits and r in its low ones.
// Since |c[k] 2^P - q[k]| <= 1/2 (plus 2^-31 for c[k] in doubles), with A = sum |s[k]|:
//   |2^P v - (2^P a[0] + S)| <= A / 2 + 2^-12,  so  |2^P D - (2^P a[0] + S)| < A / 2 + 2^-11.
// Let S = n 2^P + r (0 <= r < 2^P) and m = a[0] + n. ToByte gives m (limited to 0-255) for every
// D in [m - h(m), m + 1 - h(m + 1)), h(j) half the spacing of the floats just below j (a float
// rounds those D to m .. m + 1 - ulp, ties going to the integer): 2^-25 <= h(j) <= 2^-17 for j
// from 1 to 256, and for m <= 0 the lower end does not matter, nor the upper for m >= 255. So
// m is the byte where both
//   2 r >= A                           (r - A / 2 - 2^-11 >= -2^(P - 25) since P >= 16) and
//   2 r + A <= 2^(P + 1) - 2^(P - 16) - 1   (r + A / 2 + 2^-11 < 2^P (1 - 2^-17)).
// Flat stretches and straight ramps have A = 0 and r = 0 and pass. A fits 16 bits (at most
// 18 510), and so does the smaller of 2 r and the upper bound less 2 r, limited to 16 bits: the
// tests are made in 16-bit lanes.
//
// A position that fails either test (a sum of tap differences that lands close to a byte's edge)
// is computed again in 64-bit integers with F = 48 fractional bits: Q[k] = round(c[k] 2^F) (c[k]
// in doubles, so within 1/2 + 2^-6 of the exact c[k] 2^F) and T = a[0] 2^F + sum Q[k] s[k]
// (below 2^58). Then |2^F v - T| <= A (1/2 + 2^-6) + 255 z 2^F < 2^14, and with D within 2^-36
// of v, |2^F D - T| < 2^14 + 2^12 < 2^15. Let T = n 2^F + r (0 <= r < 2^F) and m = n: as
// above, ToByte gives m where r - 2^15 >= -h(m) 2^F (always: h(m) 2^F >= 2^23) and
// r + 2^15 < 2^F (1 - 2^-17), which holds for every r up to 2^F - 2^32. Only the rare position
// beyond that is computed as the double kernel computes it.
//
// A level's Ops: kN positions a step; Weights(k0, k1) writes the pair of weights of two terms
// for Step (the terms s[1] .. s[K - 1], then a[0] 2^(P - 14), paired in that order);
// MakeBounds(shift, limit) the step's constants for the bounds above; Step<kTaps>(taps,
// weights, bounds, t, stride, x, out) the positions x .. x + kN - 1 to bytes, the sample k taps
// on from position x at t[k * stride + x], returning the positions left open as bits
// (OpenPosition turns a bit into a position); Widen(in, out, n) n bytes to 16-bit samples; VW
// the doubles of a vector of the level.
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
// Samples before and after a row in its work space: more than K - 1 and a vector of doubles.
constexpr size_t kRowMargin = 32;

// The integer weights of a kernel, or none (shift 0) where they do not fit the bounds above.
struct ByteWeights {
    int shift = 0;
    int32_t limit = 0;
    int16_t q[kMaxTaps] = {};
    int64_t fine[kMaxTaps] = {};  // Q[k] of the 64-bit computation
};
constexpr int kFineBits = 48;

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
    typedef int64_t VL __attribute__((vector_size(VW * 8)));
};

// The sum of position x's taps in their fixed order (t[k * stride + x]: the sample k positions
// on), the one order every path of the direct filter keeps.
inline double PositionSum(const double* w, int K, const int16_t* t, ptrdiff_t stride, size_t x)
{
    const ptrdiff_t at = static_cast<ptrdiff_t>(x);
    double sum = w[0] * static_cast<double>(t[at]);
    for (int k = 1; k < K; ++k) sum += w[k] * static_cast<double>(t[k * stride + at]);
    for (int k = 1; k < K; ++k) sum += w[k] * static_cast<double>(t[-k * stride + at]);
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

// Positions [from, to) of a line of n 16-bit samples d whose taps reach past an end, VW at a
// time in lanes of doubles, each lane with the arithmetic of the lane kernels at its position
// (DirectLanesBody): the centre's term, the taps after it, then those before it, in the sum
// and in the weight sum, a tap outside the line taking the edge value or, without the edge
// flag, left out: the weight 0 and the sample 0, which leave both sums as they are. The
// samples are read in vectors from d + from - (K - 1) to d + to + (K - 1) + VW, which must be
// readable (whatever lies outside the line is not used).
template <int VW>
inline __attribute__((always_inline)) void EdgePositions(const QWF_Gaussian& g, int64_t from,
                                                         int64_t to, int64_t n, const int16_t* d,
                                                         uint8_t* out)
{
    typedef typename DirectVec<VW>::VD VD;
    typedef typename DirectVec<VW>::VS VS;
    typedef typename DirectVec<VW>::VL VL;
    const int K = g.kernelCount;
    const double* w = g.kernel;
    const bool edge = g.edgeFlag != 0;
    const VD ev = VD{} + static_cast<double>(g.edgeValue);
    VL lane = {};
    for (int l = 0; l < VW; ++l) lane[l] = l;
    VS s;
    for (int64_t i0 = from; i0 < to; i0 += VW) {
        const VL i = lane + i0;
        std::memcpy(&s, d + i0, sizeof s);
        VD sum = (VD{} + w[0]) * __builtin_convertvector(s, VD), ws = VD{} + w[0];
        for (int side = 1; side >= -1; side -= 2)
            for (int k = 1; k < K; ++k) {
                const VL j = i + side * k;
                const VL inside = (j >= 0) & (j < n);
                const VD wk = VD{} + w[k];
                std::memcpy(&s, d + i0 + side * k, sizeof s);
                const VD weight = edge ? wk : (inside ? wk : VD{});
                const VD x = inside ? __builtin_convertvector(s, VD) : (edge ? ev : VD{});
                sum += weight * x;
                ws += weight;
            }
        const int64_t lanes = to - i0 < VW ? to - i0 : VW;
        if (lanes == VW) {
            StoreBytes<VW>(sum / ws, out + i0);
        } else {
            uint8_t bytes[VW];
            StoreBytes<VW>(sum / ws, bytes);
            std::memcpy(out + i0, bytes, static_cast<size_t>(lanes));
        }
    }
}

// Position `at` whose taps all lie inside (t[k * stride + at]: the sample k positions on) as
// the 64-bit computation above gives it, or as the double kernel does where that cannot tell.
void ExactPosition(const QWF_Gaussian& g, const ByteWeights& b, const int16_t* t,
                   ptrdiff_t stride, double fs, size_t at, uint8_t* out);

// Positions [from, to) whose taps all lie inside (t[k * stride + x]: the sample k positions on
// from x). The positions a step leaves open are computed on their own after a few steps.
template <class Ops, int kTaps>
inline __attribute__((always_inline)) void BytePositions(const QWF_Gaussian& g,
                                                         const ByteWeights& b, const int16_t* t,
                                                         ptrdiff_t stride, double fs,
                                                         size_t from, size_t to, uint8_t* out)
{
    typedef typename Ops::V V;
    constexpr size_t N = Ops::kN;
    const int K = kTaps ? kTaps : g.kernelCount;
    constexpr int kHeld = kTaps ? kTaps : kMaxTaps;
    auto exact = [&](size_t at) { ExactPosition(g, b, t, stride, fs, at, out); };
    if (to - from < N) {
        for (size_t x = from; x < to; ++x) exact(x);
        return;
    }
    // Weights in local copies: the stores of results could otherwise reach them.
    V qp[kHeld + 1];
    // Term K (the centre) has the weight 2^14, the one after it none.
    auto weight = [&](int k) -> int16_t { return k < K ? b.q[k] : (k == K ? int16_t{1 << 14} : int16_t{0}); };
    for (int k = 1; k <= K; k += 2) Ops::Weights(qp + k, weight(k), weight(k + 1));
    const typename Ops::Bounds bounds = Ops::MakeBounds(b.shift, b.limit);
    // Steps with open positions, a few at a time.
    constexpr int kHeldOpen = 16;
    size_t openAt[kHeldOpen];
    uint64_t openBits[kHeldOpen];
    int opens = 0;
    auto settle = [&] {
        for (int i = 0; i < opens; ++i)
            for (uint64_t open = openBits[i]; open; open &= open - 1) {
                const size_t at = openAt[i] + Ops::OpenPosition(__builtin_ctzll(open));
                if (at < to) exact(at);
            }
        opens = 0;
    };
    auto note = [&](size_t at, uint64_t open) {
        if (__builtin_expect(open != 0, 0)) {
            openAt[opens] = at;
            openBits[opens] = open;
            if (++opens == kHeldOpen) settle();
        }
    };
    size_t x = from;
    for (; x + N <= to; x += N) note(x, Ops::template Step<kTaps>(K, qp, bounds, t, stride, x, out));
    // The last step ends at `to`, over positions done before.
    if (x < to) note(to - N, Ops::template Step<kTaps>(K, qp, bounds, t, stride, to - N, out));
    settle();
}

template <class Ops, int K = 2>
inline __attribute__((always_inline)) void BytePositionsOf(const QWF_Gaussian& g,
                                                           const ByteWeights& b,
                                                           const int16_t* t, ptrdiff_t stride,
                                                           double fs, size_t from, size_t to,
                                                           uint8_t* out)
{
    if constexpr (K > kUnrolledTaps) {
        BytePositions<Ops, 0>(g, b, t, stride, fs, from, to, out);
    } else if (g.kernelCount == K) {
        BytePositions<Ops, K>(g, b, t, stride, fs, from, to, out);
    } else {
        BytePositionsOf<Ops, K + 1>(g, b, t, stride, fs, from, to, out);
    }
}

// One row: its samples go into the work space first as 16-bit samples (kRowMargin zeros before
// and after them, where the vector steps of the ends read past the line).
template <class Ops>
inline __attribute__((always_inline)) void RowBody(const QWF_Gaussian& g, const ByteWeights& b,
                                                   const uint8_t* in, uint8_t* out, size_t count,
                                                   int16_t* work)
{
    const int K = g.kernelCount;
    const int64_t n = static_cast<int64_t>(count);
    int16_t* d = work + kRowMargin;
    std::memset(work, 0, kRowMargin * sizeof(int16_t));
    std::memset(d + count, 0, kRowMargin * sizeof(int16_t));
    Ops::Widen(in, d, count);
    const int64_t innerFrom = K - 1, innerTo = n - (K - 1);  // [innerFrom, innerTo)
    if (innerFrom >= innerTo) {
        EdgePositions<Ops::VW>(g, 0, n, n, d, out);
        return;
    }
    EdgePositions<Ops::VW>(g, 0, innerFrom, n, d, out);
    BytePositionsOf<Ops>(g, b, d, 1, FullSum(g), static_cast<size_t>(innerFrom),
                         static_cast<size_t>(innerTo), out);
    EdgePositions<Ops::VW>(g, innerTo, n, n, d, out);
}

// Row y of the column filter when its taps reach past the top or the bottom (up[k]: the row k
// on, null outside the grid): the terms of the lane kernels at an end (as in EdgePositions),
// which are the same for the whole row, in vector steps along it.
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

// The ring of a strip of the column filter: 2 (2K - 1) slots of kStrip 16-bit samples, row y
// in slots y % (2K - 1) and the one 2K - 1 on, so that the 2K - 1 rows around any row lie in
// slots one after another, kStrip samples apart.
inline size_t StripRingSamples(int K) { return static_cast<size_t>(2 * (2 * K - 1)) * kStrip; }

// Row y of a strip into its ring (both of its slots).
template <class Ops>
inline __attribute__((always_inline)) void RingPut(int16_t* ring, int64_t R, int64_t y,
                                                   const uint8_t* row, size_t count)
{
    int16_t* slot = ring + static_cast<size_t>(y % R) * kStrip;
    Ops::Widen(row, slot, count);
    Ops::Widen(row, slot + static_cast<size_t>(R) * kStrip, count);
}

// Output row y of a strip from its ring: positions [0, count) of the rows y - (K - 1) to
// y + (K - 1) of the grid's n rows.
template <class Ops>
inline __attribute__((always_inline)) void RingRow(const QWF_Gaussian& g, const ByteWeights& b,
                                                   double fs, const int16_t* ring, int64_t y,
                                                   int64_t n, size_t count, uint8_t* t)
{
    const int K = g.kernelCount;
    const int64_t R = 2 * K - 1;
    // The slot of row y - (K - 1) (never negative: y - (K - 1) + R), then row y's.
    const int16_t* centre = ring + static_cast<size_t>((y + K) % R + (K - 1)) * kStrip;
    if (y - (K - 1) >= 0 && y + (K - 1) < n) {
        BytePositionsOf<Ops>(g, b, centre, static_cast<ptrdiff_t>(kStrip), fs, 0, count, t);
        return;
    }
    const int16_t* taps[2 * kMaxTaps];
    for (int k = -(K - 1); k <= K - 1; ++k)
        taps[K - 1 + k] = y + k >= 0 && y + k < n ? centre + k * static_cast<ptrdiff_t>(kStrip) : nullptr;
    EdgeRow<Ops::VW>(g, y, n, taps + (K - 1), count, t);
}

// The columns, a strip of kStrip columns at a time down the rows, each with its ring
// (StripRingSamples(K) samples).
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
    const size_t ringSamples = StripRingSamples(K);
    // `rings` neighbouring strips side by side, each with a ring of its own, a band of rows of
    // one strip after the band of the one before: the pages of a band's rows stay in the
    // address translation caches for all the strips (a strip alone down the whole grid meets a
    // page of its own in every row).
    const int64_t band = rings > 1 ? kBandRows : n;
    for (size_t s0 = 0; s0 < strips; s0 += rings) {
        const size_t group = strips - s0 < rings ? strips - s0 : rings;
        auto ringOf = [&](size_t s) { return ring + (s - s0) * ringSamples; };
        auto load = [&](size_t s, int64_t y) {
            const size_t x0 = s * kStrip, sw = w - x0 < kStrip ? w - x0 : kStrip;
            // The strip's part of a row a few rows on asked for early: each row lies on pages
            // of its own, where the processor does not fetch ahead by itself.
            if (y + kAheadRows < n) {
                const uint8_t* ahead = from + (y + kAheadRows) * fromStride + static_cast<ptrdiff_t>(x0);
                for (size_t c = 0; c < sw; c += 64) __builtin_prefetch(ahead + c);
            }
            RingPut<Ops>(ringOf(s), R, y, from + y * fromStride + static_cast<ptrdiff_t>(x0), sw);
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
                    RingRow<Ops>(g, b, fs, ringOf(s), y, n, sw,
                                 to + y * toStride + static_cast<ptrdiff_t>(x0));
                }
            }
        }
    }
}

}  // namespace direct
}  // namespace qwf_fx
