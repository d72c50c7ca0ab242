// Effect frame (plane sets) and the per-pixel colour effects.
#include "framework/imaging/qwf_imagefx.h"
#include "platform/qw_cpu.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <immintrin.h>

// GCC 12 takes the undefined upper halves inside its 512-bit intrinsics for uninitialised values.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "framework/imaging/qwf_image.h"
#include "platform/qw_muldiv.h"

CQWF_ImageFX::CQWF_ImageFX() = default;
CQWF_ImageFX::~CQWF_ImageFX() = default;

bool CQWF_ImageFX::SetPlanes(QWF_PlaneSet& set, uint8_t* const planes[5], int32_t stride,
                             uint8_t count, uint8_t alpha, int32_t width, int32_t height)
{
    set = QWF_PlaneSet();
    if (planes) {
        for (int k = 0; k < 5; ++k) set.planes[k] = planes[k];
    }
    set.first = set.planes[0];
    set.stride = stride;
    set.count = count;
    set.alpha = alpha;
    set.width = width;
    set.height = height;
    return true;
}

bool CQWF_ImageFX::SetBuffer(QWF_PlaneSet& set, uint8_t* first, int32_t stride, uint8_t count,
                             uint8_t alpha, int32_t width, int32_t height)
{
    if (!first) { SetError(QWF_ERR_ARGUMENT); return false; }
    uint8_t* planes[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
    // Planes follow each other every stride x height bytes (64-bit offsets).
    const int64_t step = static_cast<int64_t>(stride) * height;
    for (int k = 0; k < 5 && k < count; ++k) planes[k] = first + step * k;
    return SetPlanes(set, planes, stride, count, alpha, width, height);
}

bool CQWF_ImageFX::SetImage(QWF_PlaneSet& set, CQWF_Image* image)
{
    if (!image) { SetError(QWF_ERR_ARGUMENT); return false; }
    uint8_t count = 0, alpha = 0;
    switch (image->GetType()) {
    case 1: count = 3; alpha = 0; break;
    case 2: count = 4; alpha = 1; break;
    case 3: count = 4; alpha = 0; break;
    case 4: count = 5; alpha = 1; break;
    case 5: count = 1; alpha = 0; break;
    case 6: count = 2; alpha = 0; break;
    default: SetError(QWF_ERR_ARGUMENT); return false;
    }
    const int32_t w = image->GetWidth(), h = image->GetHeight();
    uint8_t* first = (w > 0 && h > 0) ? image->GetData() : nullptr;
    if (!first) { SetError(QWF_ERR_ARGUMENT); return false; }
    return SetBuffer(set, first, w, count, alpha, w, h);
}

bool CQWF_ImageFX::SetSourcePlanes(uint8_t* const planes[5], int32_t stride, uint8_t count,
                                   uint8_t alpha, uint16_t width, uint16_t height)
{
    return SetPlanes(m_source, planes, stride, count, alpha, width, height);
}

bool CQWF_ImageFX::SetTargetPlanes(uint8_t* const planes[5], int32_t stride, uint8_t count,
                                   uint8_t alpha, uint16_t width, uint16_t height)
{
    return SetPlanes(m_target, planes, stride, count, alpha, width, height);
}

void CQWF_ImageFX::GetTargetPlanes(uint8_t* planes[5], int32_t* stride, uint8_t* count,
                                   uint8_t* alpha, uint16_t* width, uint16_t* height) const
{
    if (planes) {
        for (int k = 0; k < 5; ++k) planes[k] = m_target.planes[k];
    }
    if (stride) *stride = m_target.stride;
    if (count) *count = m_target.count;
    if (alpha) *alpha = m_target.alpha;
    if (width) *width = static_cast<uint16_t>(m_target.width);
    if (height) *height = static_cast<uint16_t>(m_target.height);
}

bool CQWF_ImageFX::SetSourceBuffer(uint8_t* first, int32_t stride, uint8_t count, uint8_t alpha,
                                   uint16_t width, uint16_t height)
{
    return SetBuffer(m_source, first, stride, count, alpha, width, height);
}

bool CQWF_ImageFX::SetTargetBuffer(uint8_t* first, int32_t stride, uint8_t count, uint8_t alpha,
                                   uint16_t width, uint16_t height)
{
    return SetBuffer(m_target, first, stride, count, alpha, width, height);
}

bool CQWF_ImageFX::SetSourceImage(CQWF_Image* image) { return SetImage(m_source, image); }
bool CQWF_ImageFX::SetTargetImage(CQWF_Image* image) { return SetImage(m_target, image); }

namespace {
// A plane set that can be read safely: 1-5 planes, rows at least as long as the width and a
// plane address for every plane whenever there are pixels.
bool UsableSet(const QWF_PlaneSet& s)
{
    if (s.count < 1 || s.count > 5) return false;
    if (s.width == 0 || s.height == 0) return true;
    if (s.stride < s.width) return false;
    for (int k = 0; k < s.count; ++k)
        if (!s.planes[k]) return false;
    return true;
}

inline uint8_t* Row(const QWF_PlaneSet& s, int plane, int64_t y)
{
    return s.planes[plane] + y * static_cast<int64_t>(s.stride);
}

inline int ColourPlanes(const QWF_PlaneSet& s) { return s.count - (s.alpha ? 1 : 0); }

inline uint8_t Clamp255(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// t[x] = table[s[x]] for a row of n bytes, eight at a time (a loop of one byte a step runs at
// half its speed where it happens to straddle a block of the instruction fetch).
void LookUpRow(const uint8_t* table, const uint8_t* s, uint8_t* t, size_t n)
{
    size_t x = 0;
    for (; x + 8 <= n; x += 8) {
        uint8_t v[8];
        for (int i = 0; i < 8; ++i) v[i] = table[s[x + i]];
        std::memcpy(t + x, v, 8);
    }
    for (; x < n; ++x) t[x] = table[s[x]];
}
}  // namespace

bool CQWF_ImageFX::CheckSameShape()
{
    if (!UsableSet(m_source) || !UsableSet(m_target) || m_source.count != m_target.count ||
        m_source.width != m_target.width || m_source.height != m_target.height) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    return true;
}

bool CQWF_ImageFX::CheckUsable()
{
    if (!UsableSet(m_source) || !UsableSet(m_target)) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    return true;
}

void CQWF_ImageFX::CopyPlane(int plane)
{
    const size_t w = static_cast<size_t>(m_source.width);
    for (int64_t y = 0; y < m_source.height; ++y) {
        const uint8_t* s = Row(m_source, plane, y);
        uint8_t* t = Row(m_target, plane, y);
        if (s != t) std::memmove(t, s, w);
    }
}

void CQWF_ImageFX::CopyAlpha()
{
    if (m_source.alpha && m_source.count > 0) CopyPlane(m_source.count - 1);
}

bool CQWF_ImageFX::Invert()
{
    if (!CheckSameShape()) return false;
    const int nc = ColourPlanes(m_source);
    const size_t w = static_cast<size_t>(m_source.width);
    for (int k = 0; k < nc; ++k) {
        for (int64_t y = 0; y < m_source.height; ++y) {
            const uint8_t* s = Row(m_source, k, y);
            uint8_t* t = Row(m_target, k, y);
            for (size_t x = 0; x < w; ++x) t[x] = static_cast<uint8_t>(255 - s[x]);
        }
    }
    CopyAlpha();
    return true;
}

bool CQWF_ImageFX::BlendSource(uint8_t opacity)
{
    if (!CheckSameShape()) return false;
    const int nc = ColourPlanes(m_source);
    const size_t w = static_cast<size_t>(m_source.width);
    const bool alpha = m_source.alpha != 0;
    const int ap = m_target.count - 1;
    for (int64_t y = 0; y < m_source.height; ++y) {
        const uint8_t* ta = alpha ? Row(m_target, ap, y) : nullptr;
        for (int k = 0; k < nc; ++k) {
            const uint8_t* s = Row(m_source, k, y);
            uint8_t* t = Row(m_target, k, y);
            for (size_t x = 0; x < w; ++x) {
                const unsigned o = alpha ? (ta[x] * static_cast<unsigned>(opacity)) / 255u : opacity;
                t[x] = static_cast<uint8_t>(((255u - o) * s[x] + t[x] * o) / 255u);
            }
        }
    }
    CopyAlpha();
    return true;
}

bool CQWF_ImageFX::ColorOverlay(const uint8_t* colour, uint8_t opacity)
{
    if (!CheckSameShape()) return false;
    const int nc = ColourPlanes(m_source);
    if (nc > 0 && !colour) { SetError(QWF_ERR_ARGUMENT); return false; }
    const size_t w = static_cast<size_t>(m_source.width);
    uint8_t table[256];
    for (int k = 0; k < nc; ++k) {
        for (int s = 0; s < 256; ++s) {
            table[s] = opacity == 255
                ? colour[k]
                : static_cast<uint8_t>((opacity * colour[k] + (255 - opacity) * s) >> 8);
        }
        for (int64_t y = 0; y < m_source.height; ++y) {
            const uint8_t* s = Row(m_source, k, y);
            uint8_t* t = Row(m_target, k, y);
            LookUpRow(table, s, t, w);
        }
    }
    CopyAlpha();
    return true;
}

bool CQWF_ImageFX::BrightnessContrast(int8_t brightness, int8_t contrast, uint8_t midpoint)
{
    if (!CheckSameShape()) return false;
    uint8_t table[256];
    const int k = contrast, m = midpoint;
    int d = 0;
    if (k > 0 && k < 100) d = static_cast<int>(static_cast<double>(k) / (100 - k) * 10000.0);
    for (int s = 0; s < 256; ++s) {
        int v = Clamp255(s + brightness);
        int t = v;
        if (k < 0) {
            t = Clamp255(v + qwp::MulDiv(m - v, -k, 100));
        } else if (k >= 100) {
            t = v >= m ? 255 : 0;
        } else if (k > 0) {
            const int64_t r = static_cast<int64_t>(v) + qwp::MulDiv(v - m, d, 10000);
            t = static_cast<int>(std::clamp<int64_t>(r, 0, 255));
        }
        table[s] = static_cast<uint8_t>(t);
    }
    const int nc = ColourPlanes(m_source);
    const size_t w = static_cast<size_t>(m_source.width);
    for (int p = 0; p < nc; ++p) {
        for (int64_t y = 0; y < m_source.height; ++y) {
            const uint8_t* s = Row(m_source, p, y);
            uint8_t* t = Row(m_target, p, y);
            LookUpRow(table, s, t, w);
        }
    }
    CopyAlpha();
    return true;
}

namespace {
struct HslParams {
    double hue;
    int sat;  // -100..100
    double satFactor;  // sat / 100.0 at or below 0, sat / (100 - sat) above
};

// One colour through RGB -> HSL, the adjustment and back.
inline void HslStep(uint8_t& R, uint8_t& G, uint8_t& B, const HslParams& p)
{
    const double r = R / 255.0, g = G / 255.0, b = B / 255.0;
    const int maxB = std::max({R, G, B});
    const int minB = std::min({R, G, B});
    const double mx = maxB / 255.0, mn = minB / 255.0;
    const double L = (mx + mn) / 2;
    double H = 0, S = 0;
    if (maxB != minB) {
        const double d = mx - mn;
        S = L <= 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
        if (B == maxB) H = (r - g) / d + 4;
        else if (G == maxB) H = (b - r) / d + 2;
        else H = (g - b) / d;
        H = H * 60;
        if (H < 0) H += 360;
    }
    H = H + p.hue;
    if (p.sat <= 0) S = S + (p.sat / 100.0) * S;
    else if (p.sat < 100) S = S + (static_cast<double>(p.sat) / (100 - p.sat)) * S;
    else S = 1;
    if (S > 1) S = 1;
    if (S <= 0) {
        const uint8_t v = static_cast<uint8_t>(static_cast<int>(L * 255));
        R = G = B = v;
        return;
    }
    if (H > 360) H -= 360;
    else if (H < 0) H += 360;
    const double q = L <= 0.5 ? L * (1 + S) : L + S - L * S;
    const double pp = 2 * L - q;
    auto f = [&](double x) -> uint8_t {
        if (x > 360) x -= 360;
        else if (x < 0) x += 360;
        double v;
        if (x < 60) v = pp + (q - pp) * x / 60;
        else if (x < 180) v = q;
        else if (x < 240) v = pp + (q - pp) * (240 - x) / 60;
        else v = pp;
        v = v * 255;
        if (v < 0) v = 0;
        if (v > 255) v = 255;
        return static_cast<uint8_t>(static_cast<int>(v));
    };
    R = f(H + 120);
    G = f(H);
    B = f(H - 120);
}

// The HSL step of AVX2 and of the plain level: rows in chunks of G groups of VW colours, each
// lane through exactly the operations of HslStep (as the AVX-512 step below: every channel's
// value from one ramp when no colour of the chunk has two channels on a ramp). Each statement is
// done for every group in turn so that the groups' long chains of dependent steps run side by
// side.
template <int VW>
struct HslVec {
    typedef double D __attribute__((vector_size(VW * 8)));
    typedef int64_t M __attribute__((vector_size(VW * 8)));
    typedef int32_t I __attribute__((vector_size(VW * 4)));
    typedef uint8_t B __attribute__((vector_size(VW)));
};

// VW bytes as doubles, with the level's own instructions (GCC turns a conversion of byte vectors
// into one byte at a time).
template <int VW>
struct HslLoad;

template <>
struct HslLoad<2> {
    static inline __attribute__((always_inline)) void Doubles(const uint8_t* p, HslVec<2>::D& v)
    {
        uint16_t word;
        std::memcpy(&word, p, 2);
        const __m128i z = _mm_setzero_si128();
        const __m128i i = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), z), z);
        const __m128d d = _mm_cvtepi32_pd(i);
        std::memcpy(&v, &d, sizeof v);
    }
};

template <>
struct HslLoad<4> {
    QW_AVX2 static inline void Doubles(const uint8_t* p, HslVec<4>::D& v)
    {
        int32_t word;
        std::memcpy(&word, p, 4);
        const __m256d d = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(word)));
        std::memcpy(&v, &d, sizeof v);
    }
};

// v / 255.0 for VW bytes, correctly rounded, without a division: the 64-bit number of eight
// copies of v (u 2^32 + u, u = v 0x01010101), rounded once and scaled by 2^-64 (UnitOfBytes);
// u (2^32 + 1) 2^-64 is that in one rounding, 2^-32 + 2^-64 being a double and u exact.
template <int VW>
inline __attribute__((always_inline)) void UnitOf(const uint8_t* p, typename HslVec<VW>::D& v)
{
    HslLoad<VW>::Doubles(p, v);
    v = v * 16843009.0 * 0x1.00000001p-32;
}

// A chunk of C colours prepared as bytes, as for the AVX-512 step: the largest and smallest
// channel, the two channels whose difference is the hue's numerator (r - g where blue is
// largest, b - r where green is, g - b otherwise: the precedence of HslStep) and the hue's
// offset (4, 2 or 0).
template <int C>
struct HslBytes {
    uint8_t mx[C], mn[C], a[C], c[C], off[C];
};

template <int C>
inline __attribute__((always_inline)) void HslPrepare(const uint8_t (*in)[C], HslBytes<C>& ch)
{
    typedef uint8_t V __attribute__((vector_size(16)));
    static_assert(C % 16 == 0, "chunks of whole vectors of bytes");
    for (int i = 0; i < C; i += 16) {
        V r, g, b;
        std::memcpy(&r, in[0] + i, 16);
        std::memcpy(&g, in[1] + i, 16);
        std::memcpy(&b, in[2] + i, 16);
        V mx = r > g ? r : g, mn = r < g ? r : g;
        mx = mx > b ? mx : b;
        mn = mn < b ? mn : b;
        const V bMax = b == mx, gMax = (g == mx) & ~bMax;
        const V a = bMax ? r : (gMax ? b : g), c = bMax ? g : (gMax ? r : b);
        const V off = (bMax & 4) | (gMax & 2);
        std::memcpy(ch.mx + i, &mx, 16);
        std::memcpy(ch.mn + i, &mn, 16);
        std::memcpy(ch.a + i, &a, 16);
        std::memcpy(ch.c + i, &c, 16);
        std::memcpy(ch.off + i, &off, 16);
    }
}

// G groups of VW colours from colour `at` of the chunk, each lane through exactly the
// operations of HslStep; out[ch][at + i] receives channel ch's byte value.
#define HSL_EACH _Pragma("GCC unroll 4") for (int k = 0; k < G; ++k)
template <int VW, int G, int C>
inline __attribute__((always_inline)) void HslGroups(const HslBytes<C>& ch, int at,
                                                     int32_t (*out)[C], const HslParams& p)
{
    typedef typename HslVec<VW>::D D;
    typedef typename HslVec<VW>::M M;
    typedef typename HslVec<VW>::I I;
    const D zero = D{}, one = zero + 1.0;
    D L[G], S[G], H[G], q[G], pp[G], x[G][3];
    M lowL[G], grey[G];
    HSL_EACH {
        const int o = at + VW * k;
        D mx, mn, a, c, off;
        UnitOf<VW>(ch.mx + o, mx);
        UnitOf<VW>(ch.mn + o, mn);
        UnitOf<VW>(ch.a + o, a);
        UnitOf<VW>(ch.c + o, c);
        HslLoad<VW>::Doubles(ch.off + o, off);
        const M grey0 = mx == mn;
        const D sum = mx + mn, d = mx - mn;
        L[k] = sum / 2.0;
        lowL[k] = L[k] <= 0.5;
        S[k] = d / (lowL[k] ? sum : 2.0 - mx - mn);
        // hq + 0 is hq but for the sign of a zero, which no byte below depends on.
        H[k] = (a - c) / d + off;
        H[k] = H[k] * 60.0;
        H[k] = H[k] < 0.0 ? H[k] + 360.0 : H[k];
        H[k] = grey0 ? zero : H[k];
        S[k] = grey0 ? zero : S[k];
    }
    HSL_EACH {
        H[k] = H[k] + p.hue;
        if (p.sat < 100) S[k] = S[k] + p.satFactor * S[k];
        else S[k] = one;
        S[k] = S[k] > 1.0 ? one : S[k];
        grey[k] = S[k] <= 0.0;
        H[k] = H[k] > 360.0 ? H[k] - 360.0 : (H[k] < 0.0 ? H[k] + 360.0 : H[k]);
        q[k] = lowL[k] ? L[k] * (1.0 + S[k]) : L[k] + S[k] - L[k] * S[k];
        pp[k] = 2.0 * L[k] - q[k];
        // H lies in 0..360, so H + 120 can only pass 360 and H - 120 only fall below 0.
        x[k][0] = H[k] + 120.0;
        x[k][0] = x[k][0] > 360.0 ? x[k][0] - 360.0 : x[k][0];
        x[k][1] = H[k];
        x[k][2] = H[k] - 120.0;
        x[k][2] = x[k][2] < 0.0 ? x[k][2] + 360.0 : x[k][2];
    }
    // Each channel is on its rising ramp (below 60), q (below 180), on its falling ramp (below
    // 240) or pp; a grey colour takes L, whose L * 255 lies in 0..255 (limiting it changes
    // nothing). The value times 255, limited and truncated.
    HSL_EACH {
        const D span = q[k] - pp[k];
        for (int c = 0; c < 3; ++c) {
            const D xc = x[k][c];
            const M below60 = xc < 60.0;
            const D ramp = pp[k] + span * (below60 ? xc : 240.0 - xc) / 60.0;
            D v = xc < 240.0 ? ramp : pp[k];
            v = xc < 180.0 ? q[k] : v;
            v = below60 ? ramp : v;
            v = grey[k] ? L[k] : v;
            v = v * 255.0;
            v = v < 0.0 ? D{} : v;
            v = v > 255.0 ? D{} + 255.0 : v;
            const I i = __builtin_convertvector(v, I);
            std::memcpy(out[c] + at + VW * k, &i, sizeof i);
        }
    }
}
#undef HSL_EACH

// One row from src into dst (which may be the same); `first` or `last` (at most one) the
// lightness table applied before or after the HSL step.
template <int VW, int G>
inline __attribute__((always_inline)) void HslRowBody(const uint8_t* const src[3],
                                                      uint8_t* const dst[3], size_t n,
                                                      const HslParams& hp, const uint8_t* first,
                                                      const uint8_t* last)
{
    constexpr int C = 32;
    static_assert(C % (G * VW) == 0, "chunks of whole groups");
    size_t x = 0;
    for (; x + C <= n; x += C) {
        uint8_t in[3][C];
        alignas(16) int32_t values[3][C];
        for (int c = 0; c < 3; ++c) {
            if (first)
                for (int i = 0; i < C; ++i) in[c][i] = first[src[c][x + i]];
            else
                std::memcpy(in[c], src[c] + x, C);
        }
        HslBytes<C> ch;
        HslPrepare<C>(in, ch);
        for (int at = 0; at < C; at += G * VW) HslGroups<VW, G, C>(ch, at, values, hp);
        for (int c = 0; c < 3; ++c) {
            // The values (0..255) to bytes, eight at a time.
            for (int i = 0; i < C; i += 8) {
                const __m128i lo = _mm_load_si128(reinterpret_cast<const __m128i*>(values[c] + i));
                const __m128i hi = _mm_load_si128(reinterpret_cast<const __m128i*>(values[c] + i + 4));
                const __m128i w = _mm_packs_epi32(lo, hi);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(dst[c] + x + i), _mm_packus_epi16(w, w));
            }
            if (last)
                for (int i = 0; i < C; ++i) dst[c][x + i] = last[dst[c][x + i]];
        }
    }
    for (; x < n; ++x) {
        uint8_t v[3];
        for (int c = 0; c < 3; ++c) v[c] = first ? first[src[c][x]] : src[c][x];
        HslStep(v[0], v[1], v[2], hp);
        for (int c = 0; c < 3; ++c) dst[c][x] = last ? last[v[c]] : v[c];
    }
}


// The AVX-512 HSL step: rows in chunks of 64 colours (the row's end through masked loads and
// stores), the lightness table applied to the chunk's bytes before or after, and the HSL step in
// groups of eight colours, each lane through exactly the operations of HslStep. Sums and
// products are written with explicit rounding so that the compiler can never fuse them.
QW_AVX512 inline __m512d Add(__m512d a, __m512d b)
{
    return _mm512_add_round_pd(a, b, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
}
QW_AVX512 inline __m512d Sub(__m512d a, __m512d b)
{
    return _mm512_sub_round_pd(a, b, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
}
QW_AVX512 inline __m512d Mul(__m512d a, __m512d b)
{
    return _mm512_mul_round_pd(a, b, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
}
QW_AVX512 inline __m512d Splat(double v) { return _mm512_set1_pd(v); }

// v / 255.0 for the eight bytes at p, correctly rounded, without a division: v / 255 is the
// byte v repeated without end after the binary point, so the 64-bit number of eight copies of v,
// rounded to a double and scaled by 2^-64, is it (the tail beyond 64 bits can never make a tie;
// the colour tests check all 256).
QW_AVX512 inline __m512d UnitOfBytes(const uint8_t* p)
{
    const __m512i one = _mm512_cvtepu8_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
    const __m512i spread = _mm512_shuffle_epi8(one, _mm512_set_epi64(
        0x0808080808080808, 0, 0x0808080808080808, 0, 0x0808080808080808, 0,
        0x0808080808080808, 0));
    return Mul(_mm512_cvtepu64_pd(spread), Splat(0x1p-64));
}

// x > 360 ? x - 360 : (x < 0 ? x + 360 : x), for x above 0 and below 0 only.
QW_AVX512 inline __m512d WrapAbove360(__m512d x)
{
    const __m512d full = Splat(360.0);
    return _mm512_mask_sub_round_pd(x, _mm512_cmp_pd_mask(x, full, _CMP_GT_OQ), x, full,
                                    _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
}
QW_AVX512 inline __m512d WrapBelow0(__m512d x)
{
    return _mm512_mask_add_round_pd(x, _mm512_cmp_pd_mask(x, _mm512_setzero_pd(), _CMP_LT_OQ),
                                    x, Splat(360.0), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
}

struct HslVectorParams {
    __m512d hue, satFactor;
    bool satFull;  // saturation 100: S becomes 1
};

// A chunk of 64 colours prepared as bytes: the largest and smallest channel, the two channels
// whose difference is the hue's numerator (r - g where blue is largest, b - r where green is,
// g - b otherwise; the same order of precedence as HslStep) and the masks of blue largest, green
// largest (blue not) and grey.
struct HslChunk {
    alignas(64) uint8_t mx[64], mn[64], a[64], c[64];
    uint64_t bMax, gMax, grey;
};

// x * 255 limited to 0..255 and truncated.
QW_AVX512 inline __m256i ToByteValue(__m512d x)
{
    const __m512d v = Mul(x, Splat(255.0));
    return _mm512_cvttpd_epi32(_mm512_min_pd(_mm512_max_pd(v, _mm512_setzero_pd()),
                                              Splat(255.0)));
}

// G groups of eight colours starting at colour `at` of the chunk, each step done for every group
// in turn so that the groups' long chains of dependent steps run side by side; every lane goes
// through exactly the operations of HslStep. out[c] + at receives channel c.
#define HSL_EACH _Pragma("GCC unroll 4") for (int k = 0; k < G; ++k)
template <int G>
QW_AVX512 inline __attribute__((always_inline)) void HslGroups8(const HslChunk& ch, int at,
                                                                uint8_t (*out)[64],
                                                                const HslVectorParams& p)
{
    constexpr int kRn = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;
    const __m512d zero = _mm512_setzero_pd(), one = Splat(1.0), half = Splat(0.5);
    __m512d mx[G], mn[G], L[G], sum[G], d[G], S[G], H[G], q[G], pp[G], x[G][3];
    __mmask8 lowL[G], bMax[G], gMax[G], grey0[G], grey[G];
    __m256i gv[G];
    HSL_EACH {
        const int o = at + 8 * k;
        bMax[k] = static_cast<__mmask8>(ch.bMax >> o);
        gMax[k] = static_cast<__mmask8>(ch.gMax >> o);
        grey0[k] = static_cast<__mmask8>(ch.grey >> o);
        mx[k] = UnitOfBytes(ch.mx + o);
        mn[k] = UnitOfBytes(ch.mn + o);
        sum[k] = Add(mx[k], mn[k]);
        L[k] = Mul(sum[k], half);  // (mx + mn) / 2, exactly
        d[k] = Sub(mx[k], mn[k]);
        lowL[k] = _mm512_cmp_pd_mask(L[k], half, _CMP_LE_OQ);
    }
    HSL_EACH {
        const __m512d den =
            _mm512_mask_mov_pd(Sub(Sub(Splat(2.0), mx[k]), mn[k]), lowL[k], sum[k]);
        S[k] = _mm512_div_pd(d[k], den);
        const __m512d num = Sub(UnitOfBytes(ch.a + at + 8 * k), UnitOfBytes(ch.c + at + 8 * k));
        H[k] = _mm512_div_pd(num, d[k]);
    }
    HSL_EACH {
        const __m512d hq = H[k];
        H[k] = _mm512_mask_add_round_pd(hq, bMax[k], hq, Splat(4.0), kRn);
        H[k] = _mm512_mask_add_round_pd(H[k], gMax[k], hq, Splat(2.0), kRn);
        H[k] = WrapBelow0(Mul(H[k], Splat(60.0)));
        H[k] = _mm512_maskz_mov_pd(static_cast<__mmask8>(~grey0[k]), H[k]);
        S[k] = _mm512_maskz_mov_pd(static_cast<__mmask8>(~grey0[k]), S[k]);
        H[k] = WrapBelow0(WrapAbove360(Add(H[k], p.hue)));
        if (p.satFull) S[k] = one;
        else S[k] = Add(S[k], Mul(p.satFactor, S[k]));
        S[k] = _mm512_mask_mov_pd(S[k], _mm512_cmp_pd_mask(S[k], one, _CMP_GT_OQ), one);
        grey[k] = _mm512_cmp_pd_mask(S[k], zero, _CMP_LE_OQ);
    }
    HSL_EACH {
        q[k] = _mm512_mask_mov_pd(Sub(Add(L[k], S[k]), Mul(L[k], S[k])), lowL[k],
                                  Mul(L[k], Add(one, S[k])));
        pp[k] = Sub(Mul(Splat(2.0), L[k]), q[k]);
        gv[k] = _mm512_cvttpd_epi32(Mul(L[k], Splat(255.0)));
        // H lies in 0..360, so H + 120 can only pass 360 and H - 120 only fall below 0.
        x[k][0] = WrapAbove360(Add(H[k], Splat(120.0)));
        x[k][1] = H[k];
        x[k][2] = WrapBelow0(Sub(H[k], Splat(120.0)));
    }
    const __m512d sixty = Splat(60.0), c180 = Splat(180.0), c240 = Splat(240.0);
    __mmask8 mid[G][3], on[G][3];
    __m512d n[G][3];
    unsigned two = 0;
    HSL_EACH {
        const __m512d span = Sub(q[k], pp[k]);
        for (int c = 0; c < 3; ++c) {
            const __mmask8 below60 = _mm512_cmp_pd_mask(x[k][c], sixty, _CMP_LT_OQ);
            const __mmask8 below180 = _mm512_cmp_pd_mask(x[k][c], c180, _CMP_LT_OQ);
            const __mmask8 below240 = _mm512_cmp_pd_mask(x[k][c], c240, _CMP_LT_OQ);
            mid[k][c] = static_cast<__mmask8>(below180 & ~below60);
            on[k][c] = static_cast<__mmask8>(below60 | (below240 & ~below180));
            n[k][c] = Mul(span, _mm512_mask_mov_pd(Sub(c240, x[k][c]), below60, x[k][c]));
        }
        two |= (on[k][0] & on[k][1]) | (on[k][0] & on[k][2]) | (on[k][1] & on[k][2]);
    }
    // Each channel is q, pp or on its ramp pp + n / 60, then times 255, limited and truncated.
    // The hues lie 120 degrees apart, so (but for rounding at a sector's edge) at most one
    // channel of a colour is on a ramp: one ramp value serves all three then.
    __m256i qi[G], pi[G], ri[G][3];
    if (two == 0) {
        HSL_EACH {
            const __m512d pick = _mm512_mask_mov_pd(
                _mm512_mask_mov_pd(n[k][2], on[k][1], n[k][1]), on[k][0], n[k][0]);
            ri[k][0] = ri[k][1] = ri[k][2] = ToByteValue(Add(pp[k], _mm512_div_pd(pick, sixty)));
        }
    } else {
        HSL_EACH for (int c = 0; c < 3; ++c)
            ri[k][c] = ToByteValue(Add(pp[k], _mm512_div_pd(n[k][c], sixty)));
    }
    HSL_EACH {
        qi[k] = ToByteValue(q[k]);
        pi[k] = ToByteValue(pp[k]);
        for (int c = 0; c < 3; ++c) {
            __m256i v = _mm256_mask_mov_epi32(pi[k], mid[k][c], qi[k]);
            v = _mm256_mask_mov_epi32(v, on[k][c], ri[k][c]);
            v = _mm256_mask_mov_epi32(v, grey[k], gv[k]);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out[c] + at + 8 * k),
                             _mm256_cvtepi32_epi8(v));
        }
    }
}
#undef HSL_EACH

// A byte table as eight vectors of 32 words each.
struct ByteTable512 {
    __m512i part[8];
};

QW_AVX512 inline void LoadByteTable(const uint8_t* table, ByteTable512& t)
{
    for (int k = 0; k < 8; ++k)
        t.part[k] = _mm512_cvtepu8_epi16(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(table + 32 * k)));
}

// 32 bytes through the table.
QW_AVX512 inline __m256i LookUp32(__m256i bytes, const ByteTable512& t)
{
    const __m512i idx = _mm512_cvtepu8_epi16(bytes);
    const __m512i a = _mm512_permutex2var_epi16(t.part[0], idx, t.part[1]);
    const __m512i b = _mm512_permutex2var_epi16(t.part[2], idx, t.part[3]);
    const __m512i c = _mm512_permutex2var_epi16(t.part[4], idx, t.part[5]);
    const __m512i d = _mm512_permutex2var_epi16(t.part[6], idx, t.part[7]);
    const __mmask32 bit6 = _mm512_test_epi16_mask(idx, _mm512_set1_epi16(64));
    const __mmask32 bit7 = _mm512_test_epi16_mask(idx, _mm512_set1_epi16(128));
    const __m512i lo = _mm512_mask_mov_epi16(a, bit6, b), hi = _mm512_mask_mov_epi16(c, bit6, d);
    return _mm512_cvtepi16_epi8(_mm512_mask_mov_epi16(lo, bit7, hi));
}

QW_AVX512 inline __m512i LookUp64(__m512i bytes, const ByteTable512& t)
{
    const __m256i lo = LookUp32(_mm512_castsi512_si256(bytes), t);
    const __m256i hi = LookUp32(_mm512_extracti64x4_epi64(bytes, 1), t);
    return _mm512_inserti64x4(_mm512_castsi256_si512(lo), hi, 1);
}

// One row from src into dst (which may be the same); `first` or `last` (at most one) the
// lightness table applied before or after the HSL step.
QW_AVX512 void HslRowAvx512(const uint8_t* const src[3], uint8_t* const dst[3], size_t n,
                            const HslParams& hp, const uint8_t* first, const uint8_t* last)
{
    ByteTable512 table;
    if (first || last) LoadByteTable(first ? first : last, table);
    HslVectorParams p;
    p.hue = Splat(hp.hue);
    p.satFactor = Splat(hp.satFactor);
    p.satFull = hp.sat >= 100;
    HslChunk ch;
    alignas(64) uint8_t out[3][64];
    for (size_t x = 0; x < n; x += 64) {
        const size_t count = n - x < 64 ? n - x : 64;
        const __mmask64 m = count == 64 ? ~__mmask64{0} : (__mmask64{1} << count) - 1;
        __m512i v[3];
        for (int c = 0; c < 3; ++c) {
            v[c] = _mm512_maskz_loadu_epi8(m, src[c] + x);
            if (first) v[c] = LookUp64(v[c], table);
        }
        const __m512i mx = _mm512_max_epu8(_mm512_max_epu8(v[0], v[1]), v[2]);
        const __m512i mn = _mm512_min_epu8(_mm512_min_epu8(v[0], v[1]), v[2]);
        const __mmask64 bMax = _mm512_cmpeq_epi8_mask(v[2], mx);
        const __mmask64 gMax = _mm512_cmpeq_epi8_mask(v[1], mx) & ~bMax;
        _mm512_store_si512(ch.mx, mx);
        _mm512_store_si512(ch.mn, mn);
        // r - g where blue is largest, b - r where green is, g - b otherwise.
        _mm512_store_si512(ch.a, _mm512_mask_mov_epi8(_mm512_mask_mov_epi8(v[1], gMax, v[2]),
                                                      bMax, v[0]));
        _mm512_store_si512(ch.c, _mm512_mask_mov_epi8(_mm512_mask_mov_epi8(v[2], gMax, v[0]),
                                                      bMax, v[1]));
        ch.bMax = _cvtmask64_u64(bMax);
        ch.gMax = _cvtmask64_u64(gMax);
        ch.grey = _cvtmask64_u64(_mm512_cmpeq_epi8_mask(mx, mn));
        int at = 0;
        for (; at + 32 <= static_cast<int>(count); at += 32) HslGroups8<4>(ch, at, out, p);
        if (at + 16 <= static_cast<int>(count)) {
            HslGroups8<2>(ch, at, out, p);
            at += 16;
        }
        if (at < static_cast<int>(count)) HslGroups8<1>(ch, at, out, p);
        if (at + 8 < static_cast<int>(count)) HslGroups8<1>(ch, at + 8, out, p);
        for (int c = 0; c < 3; ++c) {
            __m512i o = _mm512_load_si512(out[c]);
            if (last) o = LookUp64(o, table);
            _mm512_mask_storeu_epi8(dst[c] + x, m, o);
        }
    }
    _mm256_zeroupper();
}

QW_AVX2 __attribute__((flatten)) void HslRowAvx2(const uint8_t* const src[3],
                                                 uint8_t* const dst[3], size_t n,
                                                 const HslParams& hp, const uint8_t* first,
                                                 const uint8_t* last)
{
    HslRowBody<4, 2>(src, dst, n, hp, first, last);
}

__attribute__((flatten)) void HslRowPlain(const uint8_t* const src[3], uint8_t* const dst[3],
                                          size_t n, const HslParams& hp, const uint8_t* first,
                                          const uint8_t* last)
{
    HslRowBody<2, 4>(src, dst, n, hp, first, last);
}

// The HSL step over a row with the lightness table before or after it, at each level.
typedef void (*HslRowKernel)(const uint8_t* const src[3], uint8_t* const dst[3], size_t n,
                             const HslParams& hp, const uint8_t* first, const uint8_t* last);
const qwp::KernelTable<HslRowKernel> kHslRows = {HslRowPlain, HslRowAvx2, HslRowAvx512};
}  // namespace

bool CQWF_ImageFX::AdjustHSL(int16_t hue, int16_t saturation, int16_t lightness,
                             uint8_t lightnessFirst)
{
    if (!CheckSameShape()) return false;
    const bool layoutOk = (m_source.count == 3 && !m_source.alpha) ||
                          (m_source.count == 4 && m_source.alpha);
    if (!layoutOk || hue < -180 || hue > 180 || saturation < -100 || saturation > 100 ||
        lightness < -100 || lightness > 100) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    const size_t w = static_cast<size_t>(m_source.width);
    if (hue == 0 && saturation == 0 && lightness == 0) {
        for (int k = 0; k < m_source.count; ++k) CopyPlane(k);
        return true;
    }
    CopyAlpha();
    uint8_t light[256];
    for (int v = 0; v < 256; ++v) {
        int r = v;
        if (lightness > 0) r = v + qwp::MulDiv(255 - v, lightness, 100);
        else if (lightness < 0) r = v + qwp::MulDiv(v, lightness, 100);
        light[v] = Clamp255(r);
    }
    const bool doHsl = hue != 0 || saturation != 0;
    HslParams hp;
    hp.hue = static_cast<double>(hue);
    hp.sat = saturation;
    hp.satFactor = saturation <= 0 ? saturation / 100.0
                   : saturation < 100 ? static_cast<double>(saturation) / (100 - saturation)
                                      : 0.0;
    if (doHsl) {
        const HslRowKernel row = kHslRows.InForce();
        const uint8_t* first = lightness != 0 && lightnessFirst ? light : nullptr;
        const uint8_t* last = lightness != 0 && !lightnessFirst ? light : nullptr;
        for (int64_t y = 0; y < m_source.height; ++y) {
            const uint8_t* src[3] = {Row(m_source, 0, y), Row(m_source, 1, y),
                                     Row(m_source, 2, y)};
            uint8_t* const dst[3] = {Row(m_target, 0, y), Row(m_target, 1, y),
                                     Row(m_target, 2, y)};
            row(src, dst, w, hp, first, last);
        }
        return true;
    }
    // The lightness alone: its table over the colour planes.
    for (int k = 0; k < 3; ++k)
        for (int64_t y = 0; y < m_source.height; ++y) {
            const uint8_t* s = Row(m_source, k, y);
            uint8_t* t = Row(m_target, k, y);
            LookUpRow(light, s, t, w);
        }
    return true;
}

bool CQWF_ImageFX::Desaturate()
{
    const QWF_PlaneSet& s = m_source;
    if (!UsableSet(s) || ColourPlanes(s) != 3) return false;
    const size_t w = static_cast<size_t>(s.width);
    for (int64_t y = 0; y < s.height; ++y) {
        uint8_t* r = Row(s, 0, y);
        uint8_t* g = Row(s, 1, y);
        uint8_t* b = Row(s, 2, y);
        for (size_t x = 0; x < w; ++x) {
            const uint8_t v = static_cast<uint8_t>((r[x] + g[x] + b[x]) / 3u);
            r[x] = g[x] = b[x] = v;
        }
    }
    return true;
}
