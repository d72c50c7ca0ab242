// Motion blur: straight along rows or columns through the blur's line filter, at any other
// angle along lines that run across the image, sixteen lines filtered side by side.
#include <cmath>
#include <cstring>

#include "framework/imaging/qwf_imagefx.h"
#include "framework/imaging/qwf_imagefx_internal.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

using namespace qwf_fx;

namespace {
#if defined(__x86_64__)
// The write of the angled motion blur over columns uLo..uHi where sixteen lines run side by
// side (see MotionBlurAngled), sixteen lines per vector step: each line's limited value to its
// own byte, then the blend of each line into the pixel the line before it wrote, which holds
// that line's byte. The pixels of a column are all different, so only the final bytes need
// writing.
// (Zero-masked forms with every lane set: the plain ones trip a false warning.)
__attribute__((target("avx512f,avx512vl"))) static void
AngledWriteSideBySide(const double* buf, const int64_t* valOff, int64_t uLo, int64_t uHi,
                      const double* frac, const int64_t* tu, const int64_t* off, int64_t v0,
                      const int64_t* tc, uint8_t* tp)
{
    typedef double VD __attribute__((vector_size(64)));
    typedef float VF __attribute__((vector_size(32)));
    typedef int32_t VI __attribute__((vector_size(32), aligned(4)));
    const __m512i off0 = _mm512_loadu_si512(valOff), off1 = _mm512_loadu_si512(valOff + 8);
    for (int64_t u = uLo; u <= uHi; ++u) {
        const double f = frac[u];
        const int64_t tb = tu[u];
        const int64_t c0 = v0 - off[u];
        const __m512i step = _mm512_set1_epi64(u * kLanes);
        VD val[2];
        val[0] = reinterpret_cast<VD>(_mm512_mask_i64gather_pd(_mm512_setzero_pd(), 0xFF,
                                                               _mm512_add_epi64(off0, step), buf, 8));
        val[1] = reinterpret_cast<VD>(_mm512_mask_i64gather_pd(_mm512_setzero_pd(), 0xFF,
                                                               _mm512_add_epi64(off1, step), buf, 8));
        int32_t own[kLanes + 1];  // own[1 + l]: line l's byte
        own[0] = 0;
        for (int h = 0; h < 2; ++h) {
            VD x = val[h];
            x = x < 0.0 ? VD{} : (x > 255.0 ? VD{} + 255.0 : x);
            val[h] = x;
            VF fl = reinterpret_cast<VF>(_mm512_maskz_cvtpd_ps(0xFF, reinterpret_cast<__m512d>(x)));
            fl = fl > 0.0f ? fl : VF{};
            fl = fl >= 255.0f ? VF{} + 255.0f : fl;
            *reinterpret_cast<VI*>(own + 1 + 8 * h) = __builtin_convertvector(fl, VI);
        }
        const double g = 1 - f;
        uint8_t px[kLanes];
        for (int h = 0; h < 2; ++h) {
            // Lane l blends into the byte of lane l - 1 (lane 0's partner is patched below).
            const VD prev = __builtin_convertvector(*reinterpret_cast<const VI*>(own + 8 * h), VD);
            const VD r = g * prev + f * val[h];
            VF fl = reinterpret_cast<VF>(_mm512_maskz_cvtpd_ps(0xFF, reinterpret_cast<__m512d>(r)));
            fl = fl > 0.0f ? fl : VF{};
            fl = fl >= 255.0f ? VF{} + 255.0f : fl;
            const VI b = __builtin_convertvector(fl, VI);
            for (int i = 0; i < 8; ++i) {
                const int l = 8 * h + i;
                if (l > 0) px[l - 1] = static_cast<uint8_t>(b[i]);
            }
        }
        px[kLanes - 1] = static_cast<uint8_t>(own[kLanes]);
        const int64_t* tcol = tc + c0;
        for (int l = 0; l < kLanes; ++l) tp[tb + tcol[l]] = px[l];
        if (c0 > 0) {
            uint8_t& p = tp[tb + tc[c0 - 1]];
            p = ToByte(g * p + f * val[0][0]);
        }
    }
}
#endif
}  // namespace

bool CQWF_ImageFX::MotionBlur(double angle, double distance, uint8_t alphaFlag, uint8_t maskFlag)
{
    if (!CheckSameShape()) return false;
    if (!(distance >= 0.1) || !std::isfinite(angle) || !std::isfinite(distance)) {
        // A distance that is not a number blurs nothing either.
        for (int k = 0; k < m_source.count; ++k) CopyPlane(k);
        return true;
    }
    if (m_source.width == 0 || m_source.height == 0) return true;
    angle = std::fmod(angle, 180.0);
    if (angle < 0) angle += 180;
    QWF_Gaussian g;
    InitGaussian(distance, g, &m_workBlock, 0, 0);
    const QWF_PlaneSet* mask = (maskFlag && m_source.alpha) ? &m_source : nullptr;
    const int kind = (angle < 0.1 || angle > 179.9) ? 0 : ((angle > 89.9 && angle < 90.1) ? 1 : 2);
    for (int k = 0; k < m_source.count; ++k) {
        if (m_source.alpha && k == m_source.count - 1 && !alphaFlag) {
            CopyPlane(k);
            continue;
        }
        bool ok;
        if (kind == 0) ok = FilterRows(g, m_source, m_target, k, mask);
        else if (kind == 1) ok = FilterColumns(g, m_source, m_target, k, mask);
        else ok = MotionBlurAngled(g, k, angle, mask != nullptr);
        if (!ok) return false;
    }
    return true;
}

// The angled motion blur: lines run across the image at the angle; each filtered value is
// written to its pixel and blended, by the fraction of its column, into the pixel one step back
// across the walk.
bool CQWF_ImageFX::MotionBlurAngled(const QWF_Gaussian& g, int plane, double angle, bool useMask)
{
    const bool mirrored = angle > 90;
    if (mirrored) angle = 180 - angle;
    const bool transposed = angle > 45;
    const int64_t W = m_source.width, H = m_source.height;
    // Along the walk: u (x, or y when transposed); across: c (row, or column when transposed).
    const int64_t nU = transposed ? H : W;
    const int64_t nC = transposed ? W : H;
    const double pi = 3.14159265358979323846;
    const double t = transposed ? -std::tan((angle - 90) * pi / 180) : std::tan(angle * pi / 180);
    const size_t need = static_cast<size_t>(nU);
    const size_t tableCount = 3 * need + 2 * static_cast<size_t>(nC);
    if (m_offsetBlock.GetSize() < tableCount * sizeof(int64_t) &&
        !m_offsetBlock.Alloc(tableCount * sizeof(int64_t))) {
        SetError(m_offsetBlock.GetError());
        return false;
    }
    if (!GrowDoubles(m_fractionBlock, need) || !GrowDoubles(m_motionLines, need)) return false;
    if (m_motionMasks.GetSize() < need * 2 && !m_motionMasks.Alloc(need * 2)) {
        SetError(m_motionMasks.GetError());
        return false;
    }
    int64_t* off = reinterpret_cast<int64_t*>(m_offsetBlock.GetData());
    double* frac = reinterpret_cast<double*>(m_fractionBlock.GetData());
    double* line = reinterpret_cast<double*>(m_motionLines.GetData());
    uint8_t* bytes = m_motionMasks.GetData();
    uint8_t* maskBytes = bytes + need;
    for (int64_t u = 0; u < nU; ++u) {
        const double p = t * static_cast<double>(u);
        off[u] = static_cast<int64_t>(static_cast<float>(p));
        frac[u] = p - static_cast<double>(off[u]);
    }
    const ptrdiff_t ss = m_source.stride, ts = m_target.stride;
    const uint8_t* sp = m_source.planes[plane];
    const uint8_t* ap = m_source.alpha ? m_source.planes[m_source.count - 1] : nullptr;
    uint8_t* tp = m_target.planes[plane];
    // Byte offsets of pixel (u, c): su[u] + sc[c] in the source, tu[u] + tc[c] in the target.
    int64_t* su = off + nU;
    int64_t* tu = su + nU;
    int64_t* sc = tu + nU;
    int64_t* tc = sc + nC;
    auto physRow = [&](int64_t r) { return mirrored ? H - 1 - r : r; };
    for (int64_t u = 0; u < nU; ++u) {
        su[u] = transposed ? physRow(u) * ss : u;
        tu[u] = transposed ? physRow(u) * ts : u;
    }
    for (int64_t c = 0; c < nC; ++c) {
        sc[c] = transposed ? c : physRow(c) * ss;
        tc[c] = transposed ? c : physRow(c) * ts;
    }
    QWF_Gaussian lg = g;
    // The level's writer of the columns where sixteen lines run side by side.
    const bool sideBySide512 = g.level >= qwp::kCpuAvx512;
    const int64_t vEnd = nC + off[nU - 1];
    int64_t ua = 0, ub = -1;  // the walk's columns: ua..ub
    if (!g.direct) {
        // Recursive filter: sixteen consecutive lines at a time, each of its own length.
        const size_t P = RecursivePad(g.sigma), left = P / 2;
        const size_t need = (static_cast<size_t>(nU) + P) * kLanes * sizeof(double);
        if (m_workBlock.GetSize() < need && !m_workBlock.Alloc(need)) {
            SetError(m_workBlock.GetError());
            return false;
        }
        double* buf = reinterpret_cast<double*>(m_workBlock.GetData());
        // Each lane's bytes (and alpha) of one line, lane after lane.
        const size_t laneStride = static_cast<size_t>(nU) + 64;
        if (m_motionMasks.GetSize() < laneStride * 2 * kLanes &&
            !m_motionMasks.Alloc(laneStride * 2 * kLanes)) {
            SetError(m_motionMasks.GetError());
            return false;
        }
        uint8_t* laneBytes = m_motionMasks.GetData();
        uint8_t* laneMasks = laneBytes + laneStride * kLanes;
        int64_t v = 0;
        while (v < vEnd) {
            int64_t lineV[kLanes], lineA[kLanes];
            size_t lineN[kLanes], padded[kLanes];
            int lanes = 0;
            for (; v < vEnd && lanes < kLanes; ++v) {
                while (ua < nU && v - off[ua] >= nC) ++ua;
                while (ub + 1 < nU && v - off[ub + 1] >= 0) ++ub;
                if (ua > ub) continue;
                lineV[lanes] = v;
                lineA[lanes] = ua;
                lineN[lanes] = static_cast<size_t>(ub - ua + 1);
                ++lanes;
            }
            if (lanes == 0) break;
            size_t maxN = 0;
            for (int l = 0; l < kLanes; ++l) {
                const size_t n = l < lanes ? lineN[l] : lineN[0];
                padded[l] = n + P;
                if (padded[l] > maxN) maxN = padded[l];
            }
            // Gathered column by column across the sixteen lines: neighbouring lines touch
            // neighbouring rows of the same columns.
            int64_t uMin = nU, uMax = -1;
            for (int l = 0; l < lanes; ++l) {
                if (lineA[l] < uMin) uMin = lineA[l];
                const int64_t e = lineA[l] + static_cast<int64_t>(lineN[l]) - 1;
                if (e > uMax) uMax = e;
            }
            // Columns where all sixteen lines run side by side, one cross position apart, go
            // without the per-line tests: uLo..uHi (empty otherwise).
            int64_t uLo = 0, uHi = -1;
            if (lanes == kLanes) {
                bool together = true;
                uLo = lineA[0];
                uHi = lineA[0] + static_cast<int64_t>(lineN[0]) - 1;
                for (int l = 1; l < kLanes; ++l) {
                    together = together && lineV[l] == lineV[0] + l;
                    if (lineA[l] > uLo) uLo = lineA[l];
                    const int64_t e = lineA[l] + static_cast<int64_t>(lineN[l]) - 1;
                    if (e < uHi) uHi = e;
                }
                if (!together) uHi = uLo - 1;
            }
            int64_t laneOff[kLanes];  // lane l's byte of column u at laneOff[l] + u
            for (int l = 0; l < kLanes; ++l)
                laneOff[l] = static_cast<int64_t>(static_cast<size_t>(l) * laneStride) - (l < lanes ? lineA[l] : 0);
            auto gatherChecked = [&](int64_t u) {
                const int64_t base = su[u], ou = off[u];
                for (int l = 0; l < lanes; ++l) {
                    const int64_t i = u - lineA[l];
                    if (i < 0 || i >= static_cast<int64_t>(lineN[l])) continue;
                    const int64_t o = base + sc[lineV[l] - ou];
                    laneBytes[laneOff[l] + u] = sp[o];
                    if (useMask) laneMasks[laneOff[l] + u] = ap[o];
                }
            };
            const bool fast = uLo <= uHi;  // then uMin <= uLo and uHi <= uMax
            for (int64_t u = uMin; u <= (fast ? uLo - 1 : uMax); ++u) gatherChecked(u);
            for (int64_t u = uLo; u <= uHi; ++u) {
                const int64_t base = su[u];
                const int64_t* scol = sc + (lineV[0] - off[u]);
                if (useMask) {
                    for (int l = 0; l < kLanes; ++l) {
                        const int64_t o = base + scol[l];
                        laneBytes[laneOff[l] + u] = sp[o];
                        laneMasks[laneOff[l] + u] = ap[o];
                    }
                } else {
                    for (int l = 0; l < kLanes; ++l) laneBytes[laneOff[l] + u] = sp[base + scol[l]];
                }
            }
            if (fast)
                for (int64_t u = uHi + 1; u <= uMax; ++u) gatherChecked(u);
            for (int l = 0; l < kLanes; ++l) {
                const int src = l < lanes ? l : 0;
                const size_t n = lineN[src];
                const uint8_t* lb = laneBytes + static_cast<size_t>(src) * laneStride;
                double* dst = buf + left * kLanes + l;
                if (useMask) {
                    FillOpaqueStrided(lb, 1, laneMasks + static_cast<size_t>(src) * laneStride, 1, n,
                                      dst, kLanes);
                } else {
                    for (size_t i = 0; i < n; ++i) dst[i * kLanes] = lb[i];
                }
                const double firstV = dst[0], lastV = dst[(n - 1) * kLanes];
                for (size_t i = 0; i < left; ++i) buf[i * kLanes + l] = firstV;
                for (size_t i = left + n; i < maxN; ++i) buf[i * kLanes + l] = lastV;
            }
            RaggedRecursive(g, buf, padded, maxN);
            // Written column by column too: a pixel's write by one line always comes before the
            // next line's blend into it, as in the line-by-line order.
            size_t base[kLanes];
            for (int l = 0; l < lanes; ++l) base[l] = maxN - padded[l] + left;
            auto writeChecked = [&](int64_t u) {
                const double f = frac[u];
                const int64_t tb = tu[u], ou = off[u];
                for (int l = 0; l < lanes; ++l) {
                    const int64_t i = u - lineA[l];
                    if (i < 0 || i >= static_cast<int64_t>(lineN[l])) continue;
                    double val = buf[(base[l] + static_cast<size_t>(i)) * kLanes + l];
                    val = val < 0 ? 0 : (val > 255 ? 255 : val);
                    const int64_t c = lineV[l] - ou;
                    tp[tb + tc[c]] = ToByte(val);
                    if (c > 0) {
                        uint8_t& prev = tp[tb + tc[c - 1]];
                        prev = ToByte((1 - f) * prev + f * val);
                    }
                }
            };
            for (int64_t u = uMin; u <= (fast ? uLo - 1 : uMax); ++u) writeChecked(u);
            if (fast) {
                // The same steps without the tests; the pixel each line blends into is the one
                // the line before it has just written, so its byte is still at hand.
                int64_t valOff[kLanes];  // lane l's value for column u at valOff[l] + u * kLanes
                for (int l = 0; l < kLanes; ++l)
                    valOff[l] = (static_cast<int64_t>(base[l]) - lineA[l]) * kLanes + l;
#if defined(__x86_64__)
                if (sideBySide512) {
                    AngledWriteSideBySide(buf, valOff, uLo, uHi, frac, tu, off, lineV[0], tc, tp);
                    for (int64_t u = uHi + 1; u <= uMax; ++u) writeChecked(u);
                    continue;
                }
#endif
                for (int64_t u = uLo; u <= uHi; ++u) {
                    const double f = frac[u];
                    const int64_t tb = tu[u];
                    const int64_t c0 = lineV[0] - off[u];
                    const int64_t* tcol = tc + c0;
                    uint8_t written = 0;
                    for (int l = 0; l < kLanes; ++l) {
                        double val = buf[valOff[l] + u * kLanes];
                        val = val < 0 ? 0 : (val > 255 ? 255 : val);
                        const uint8_t byte = ToByte(val);
                        tp[tb + tcol[l]] = byte;
                        if (l > 0) {
                            tp[tb + tcol[l - 1]] = ToByte((1 - f) * written + f * val);
                        } else if (c0 > 0) {
                            uint8_t& prev = tp[tb + tc[c0 - 1]];
                            prev = ToByte((1 - f) * prev + f * val);
                        }
                        written = byte;
                    }
                }
                for (int64_t u = uHi + 1; u <= uMax; ++u) writeChecked(u);
            }
        }
        return true;
    }
    for (int64_t v = 0; v < vEnd; ++v) {
        // Columns whose cross position v - off(u) lies in 0..nC-1 form one run.
        while (ua < nU && v - off[ua] >= nC) ++ua;
        while (ub + 1 < nU && v - off[ub + 1] >= 0) ++ub;
        if (ua > ub) continue;
        const size_t n = static_cast<size_t>(ub - ua + 1);
        for (int64_t u = ua; u <= ub; ++u) {
            const size_t i = static_cast<size_t>(u - ua);
            bytes[i] = sp[su[u] + sc[v - off[u]]];
            if (useMask) maskBytes[i] = ap[su[u] + sc[v - off[u]]];
        }
        if (useMask) {
            FillOpaqueStrided(bytes, 1, maskBytes, 1, n, line, 1);
        } else {
            for (size_t i = 0; i < n; ++i) line[i] = bytes[i];
        }
        if (!FilterLanes<1>(lg, line, n, m_workBlock)) {
            SetError(m_workBlock.GetError());
            return false;
        }
        for (int64_t u = ua; u <= ub; ++u) {
            const double val = line[u - ua];
            const int64_t c = v - off[u];
            tp[tu[u] + tc[c]] = ToByte(val);
            if (c > 0) {
                uint8_t& prev = tp[tu[u] + tc[c - 1]];
                prev = ToByte((1 - frac[u]) * prev + frac[u] * val);
            }
        }
    }
    return true;
}
