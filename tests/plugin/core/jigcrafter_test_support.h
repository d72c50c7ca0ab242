// Helpers of the cutting-engine tests: layouts built straight into an engine, and layout blobs.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "plugin/core/jigcrafter.h"
#include "framework/core/qwf_bereader.h"

namespace jigtest {

// A small fixed sequence for test data.
struct Lcg {
    uint32_t s;
    uint32_t Next()
    {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    }
    float Unit() { return static_cast<float>(Next() & 0xFFFF) / 65535.0f; }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
};


// The bytes of a piece's cut mask (box width x height).
inline std::vector<uint8_t> CutMask(const CJigcrafter& e, int32_t index)
{
    const JigPiece* p = e.GetPiece(index);
    std::vector<uint8_t> m(p ? static_cast<size_t>(p->Width()) * p->Height() : 0);
    if (p) e.ReadPieceMask(index, m.data(), p->Width());
    return m;
}

// The default knife shape of new layouts (a tab).
inline void SetTabShape(JigKnife& k, float scale = 1.0f)
{
    static const float u[5] = {0.434f, 0.3515f, 0.5f, 0.6485f, 0.566f};
    static const float h[5] = {0.0f, -0.165f, -0.297f, -0.165f, 0.0f};
    k.thickness = 3;
    k.nodeCount = 5;
    for (int i = 0; i < 5; ++i) {
        k.u[i] = u[i];
        k.h[i] = h[i] * scale;
        k.s[i] = 0.5f;
    }
}

inline void SetStraight(JigKnife& k, int thickness = 1)
{
    std::memset(&k, 0, sizeof k);
    k.thickness = thickness;
    k.nodeCount = 0;
}

// A crowded random layout: jittered lattice, tabs of random size and side, knives of random
// thickness, hidden knives and extra knives across the lattice. Thin tabs close to each other
// leave single-pixel holes and one-pixel regions.
inline bool BuildRandomLayout(CJigcrafter& e, uint32_t seed)
{
    Lcg r{seed};
    const int columns = 2 + r.Below(6);
    const int rows = 2 + r.Below(5);
    const int extra = r.Below(6);
    if (!e.SetGrid(columns, rows, extra)) return false;
    for (int i = 0; i < e.GetXLineCount(); ++i)
        e.GetXLines()[i] = (static_cast<float>(i) + 0.6f + 0.8f * r.Unit()) /
                           static_cast<float>(e.GetXLineCount() + 1);
    for (int i = 0; i < e.GetYLineCount(); ++i)
        e.GetYLines()[i] = (static_cast<float>(i) + 0.6f + 0.8f * r.Unit()) /
                           static_cast<float>(e.GetYLineCount() + 1);
    for (int i = 0; i < 2 * e.GetKnotCount(); ++i) e.GetKnots()[i] = 0.3f * (2 * r.Unit() - 1);
    auto shape = [&](JigKnife& k) {
        const int kind = r.Below(8);
        if (kind == 0) {
            jigtest::SetStraight(k, 1 + r.Below(4));
            if (r.Below(2)) k.nodeCount = -1;  // hidden
            return;
        }
        if (kind == 1) {
            jigtest::SetStraight(k, 1 + r.Below(4));
            return;
        }
        jigtest::SetTabShape(k, (r.Below(2) ? 1.0f : -1.0f) * (0.3f + 2.5f * r.Unit()));
        k.thickness = 1 + r.Below(5);
    };
    for (int i = 0; i < e.GetRowKnifeCount(); ++i) shape(e.GetRowKnives()[i]);
    for (int i = 0; i < e.GetColumnKnifeCount(); ++i) shape(e.GetColumnKnives()[i]);
    for (int i = 0; i < e.GetExtraKnifeCount(); ++i) {
        JigExtraKnife& x = e.GetExtraKnives()[i];
        shape(x);
        x.knotA = r.Below(e.GetKnotCount());
        x.knotB = r.Below(e.GetKnotCount());
    }
    return true;
}

inline uint64_t Fnv(uint64_t h, const void* data, size_t n)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ULL;
    return h;
}

// Everything the cut makes of the pieces, in one number.
inline uint64_t TableHash(const CJigcrafter& e)
{
    uint64_t h = 1469598103934665603ULL;
    const int32_t n = e.GetPieceCount();
    h = Fnv(h, &n, sizeof n);
    for (int32_t i = 0; i < n; ++i) {
        const JigPiece* p = e.GetPiece(i);
        const int32_t v[7] = {p->left, p->top, p->right, p->bottom, p->column, p->row,
                              p->pixelCount};
        h = Fnv(h, v, sizeof v);
        const std::vector<uint8_t> mask = CutMask(e, i);
        h = Fnv(h, mask.data(), mask.size());
    }
    return h;
}

// A selection mask: 255 in a disc around the centre, a pattern of every value around it.
inline std::vector<uint8_t> MaskPlane(int32_t w, int32_t h)
{
    std::vector<uint8_t> m(static_cast<size_t>(w) * h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const int32_t d = (x - w / 2) * (x - w / 2) + (y - h / 2) * (y - h / 2);
            m[static_cast<size_t>(y) * w + x] =
                d < w * h / 5 ? 255 : static_cast<uint8_t>((x * 37 + y * 11) & 0xFF);
        }
    return m;
}

// Mode 0 razor cut and anti-aliasing, 1 razor cut, 2 neither, 3 anti-aliasing.
inline void Configure(CJigcrafter& e, int mode)
{
    e.SetRazorCut(mode < 2);
    e.SetAntiAliasing(mode == 0 || mode == 3);
}

// An evenly spaced grid of straight knives (or tabs), knot offsets from a simple sequence when
// jitter is above 0.
inline bool BuildGrid(CJigcrafter& e, int columns, int rows, bool tabs, float jitter = 0.0f,
                      int thickness = 1, int extra = 0)
{
    if (!e.SetGrid(columns, rows, extra)) return false;
    for (int i = 0; i < e.GetXLineCount(); ++i)
        e.GetXLines()[i] = static_cast<float>(i + 1) / static_cast<float>(e.GetXLineCount() + 1);
    for (int i = 0; i < e.GetYLineCount(); ++i)
        e.GetYLines()[i] = static_cast<float>(i + 1) / static_cast<float>(e.GetYLineCount() + 1);
    uint32_t seed = 12345;
    for (int i = 0; i < 2 * e.GetKnotCount(); ++i) {
        seed = seed * 1103515245u + 12345u;
        const float r = static_cast<float>((seed >> 16) & 0x7FFF) / 32767.0f;
        e.GetKnots()[i] = jitter * (2.0f * r - 1.0f);
    }
    for (int i = 0; i < e.GetRowKnifeCount(); ++i) {
        SetStraight(e.GetRowKnives()[i], thickness);
        if (tabs) SetTabShape(e.GetRowKnives()[i], (i & 1) ? 1.0f : -1.0f);
        e.GetRowKnives()[i].thickness = thickness;
    }
    for (int i = 0; i < e.GetColumnKnifeCount(); ++i) {
        SetStraight(e.GetColumnKnives()[i], thickness);
        if (tabs) SetTabShape(e.GetColumnKnives()[i], (i & 1) ? -1.0f : 1.0f);
        e.GetColumnKnives()[i].thickness = thickness;
    }
    return true;
}

// A synthetic RGB image: three planes of width x height.
struct Planes {
    std::vector<uint8_t> data;
    const uint8_t* ptr[3];
    Planes(int32_t w, int32_t h)
        : data(static_cast<size_t>(w) * h * 3)
    {
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
        for (int p = 0; p < 3; ++p) ptr[p] = data.data() + static_cast<size_t>(p) * w * h;
    }
};

// Layout blobs built by hand, big-endian, independently of the writers: each call adds to the
// end.
struct Blob {
    std::vector<uint8_t> b;
    Blob& u8(uint8_t v)
    {
        b.push_back(v);
        return *this;
    }
    Blob& u16(uint16_t v) { return u8(static_cast<uint8_t>(v >> 8)).u8(static_cast<uint8_t>(v)); }
    Blob& u32(uint32_t v) { return u16(static_cast<uint16_t>(v >> 16)).u16(static_cast<uint16_t>(v)); }
    Blob& f32(float f)
    {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return u32(v);
    }
    Blob& knife(uint8_t flags, const std::vector<float>& u, const std::vector<float>& h,
                const std::vector<float>& s, uint8_t tips = 100, uint8_t thick = 3)
    {
        u8(flags).u16(static_cast<uint16_t>(u.size())).u8(tips).u8(thick);
        for (const std::vector<float>* values : {&u, &h, &s})
            for (float f : *values) f32(f);
        return *this;
    }
    // The header and the evenly spaced lines of a grid of (xl + 1) x (yl + 1) cells, and its
    // knots with zero offsets.
    Blob& lattice(uint8_t mode, uint16_t yl, uint16_t xl, uint32_t extras)
    {
        u8(mode).u8(mode).u16(yl).u16(xl).u32(extras);
        for (int i = 0; i < yl; ++i) f32((i + 1.0f) / (yl + 1));
        for (int i = 0; i < xl; ++i) f32((i + 1.0f) / (xl + 1));
        const uint32_t knots = (xl + 2u) * (yl + 2u);
        u32(knots);
        for (uint32_t i = 0; i < 2 * knots; ++i) f32(0.0f);
        return *this;
    }
    // The lattice and straight knives, up to (and without) the extra-knife list.
    Blob& grid(uint8_t mode, uint16_t yl, uint16_t xl, uint32_t extras)
    {
        lattice(mode, yl, xl, extras).u32(xl * (yl + 1u));
        for (uint32_t i = 0; i < xl * (yl + 1u); ++i) knife(0, {}, {}, {});
        u32(yl * (xl + 1u));
        for (uint32_t i = 0; i < yl * (xl + 1u); ++i) knife(0, {}, {}, {});
        return *this;
    }
};

struct BlobKnife {
    uint8_t flags = 0;
    uint8_t tips = 100;
    uint8_t thickness = 3;
    std::vector<float> u, h, s;
    uint32_t a = 0, b = 0;
};

inline void PutKnife(Blob& out, const BlobKnife& k, bool extra)
{
    out.knife(k.flags, k.u, k.h, k.s, k.tips, k.thickness);
    if (extra) out.u32(k.a).u32(k.b);
}

// A whole blob of a grid with evenly spaced lines; knives given per family (missing ones are
// straight). records: raw 92-byte records already in blob order.
inline std::vector<uint8_t> MakeBlob(int columns, int rows, const std::vector<BlobKnife>& rowK,
                                     const std::vector<BlobKnife>& colK,
                                     const std::vector<BlobKnife>& extraK, uint8_t razor,
                                     uint8_t aa, bool puzzle,
                                     const std::vector<uint8_t>& records = {},
                                     uint32_t recordCount = 0)
{
    const int xl = columns - 1, yl = rows - 1;
    Blob o;
    o.lattice(puzzle ? 1 : 0, static_cast<uint16_t>(yl), static_cast<uint16_t>(xl),
              static_cast<uint32_t>(extraK.size()));
    const uint32_t nRow = static_cast<uint32_t>(xl * (yl + 1));
    o.u32(nRow);
    for (uint32_t i = 0; i < nRow; ++i) PutKnife(o, i < rowK.size() ? rowK[i] : BlobKnife{}, false);
    const uint32_t nCol = static_cast<uint32_t>(yl * (xl + 1));
    o.u32(nCol);
    for (uint32_t i = 0; i < nCol; ++i) PutKnife(o, i < colK.size() ? colK[i] : BlobKnife{}, false);
    o.u32(static_cast<uint32_t>(extraK.size()));
    for (const BlobKnife& k : extraK) PutKnife(o, k, true);
    o.u8(razor).u8(aa);
    if (puzzle) {
        o.u32(recordCount);
        o.b.insert(o.b.end(), records.begin(), records.end());
    }
    return o.b;
}

inline void ToMem(const std::vector<uint8_t>& bytes, CQWF_Mem& mem)
{
    mem.Alloc(bytes.size());
    if (!bytes.empty()) std::memcpy(mem.GetData(), bytes.data(), bytes.size());
}

}  // namespace jigtest
