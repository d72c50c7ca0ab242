// Layout replay: the engine's reader of the layout blob. It bakes the flips and the tips size into
// the knife nodes and refuses the whole blob on any fault.
#include <cmath>

#include "plugin/core/jigcrafter.h"
#include "framework/core/qwf_bereader.h"
#include "plugin/core/piece_effect_record.h"

namespace {

float Clamp(float v, float lo, float hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

// Reads n finite floats; false (reader faulted) on a missing byte or a NaN or infinite value.
bool ReadFinite(CQW_BEReader& in, float* out, size_t n)
{
    if (!in.NeedItems(n, 4)) return false;
    for (size_t i = 0; i < n; ++i) {
        out[i] = in.FiniteF32();
        if (in.Failed()) return false;
    }
    return true;
}

// One knife of the blob (5-byte header, then n U, n H, n S) into an engine knife.
bool ReadKnife(CQW_BEReader& in, JigKnife& k)
{
    const uint8_t flags = in.U8();
    const uint16_t n = in.U16();
    const uint8_t tips = in.U8();
    const uint8_t thickness = in.U8();
    if (in.Failed()) return false;
    // The engine knife holds 64 nodes; the writer never stores more.
    if (n > kKnifeMaxNodes) return in.Fail();
    if (!in.NeedItems(n, 12)) return false;

    float u[kKnifeMaxNodes], h[kKnifeMaxNodes], s[kKnifeMaxNodes];
    if (!ReadFinite(in, u, n) || !ReadFinite(in, h, n) || !ReadFinite(in, s, n)) return false;

    CJigcrafter::BakeKnife(k, flags, n, tips, thickness, u, h, s);
    return true;
}

}  // namespace

float CJigcrafter::ClampLine(float v)
{
    return Clamp(v, 0.0f, 1.0f);
}

float CJigcrafter::ClampKnotOffset(float v)
{
    return Clamp(v, -1.0f, 1.0f);
}

void CJigcrafter::BakeKnife(JigKnife& k, uint8_t flags, int32_t n, int32_t tips,
                            int32_t thickness, const float* u, const float* h, const float* s)
{
    if (n < 0) n = 0;
    if (n > kKnifeMaxNodes) n = kKnifeMaxNodes;
    const bool flipAcross = (flags & 1) != 0;
    const bool flipAlong = (flags & 2) != 0;
    const bool hidden = (flags & 4) != 0;

    k.thickness = thickness;
    k.nodeCount = n;
    for (int j = 0; j < n; ++j) {
        const int to = flipAlong ? n - 1 - j : j;
        float uu = Clamp(u[j], 0.0f, 1.0f);
        if (flipAlong) uu = 1.0f - uu;
        float hh = Clamp(h[j], -3.0f, 3.0f);
        if (flipAcross) hh = -hh;
        k.u[to] = uu;
        k.h[to] = hh;
        k.s[to] = Clamp(s[j], -2.0f, 2.0f);
    }
    for (int j = n; j < kKnifeMaxNodes; ++j) k.u[j] = k.h[j] = k.s[j] = 0.0f;

    if (hidden) {
        k.nodeCount = -1;
    } else if (tips != 100 && n != 0) {
        const float e = static_cast<float>(tips) / 100.0f;
        float sum = 0.0f;
        for (int j = 0; j < n; ++j) sum += k.u[j];
        const float m = sum / static_cast<float>(n);
        for (int j = 0; j < n; ++j) {
            k.u[j] = m - e * (m - k.u[j]);
            k.h[j] = e * k.h[j];
        }
    }
}

bool CJigcrafter::LoadLayout(CQWF_Mem* blob, bool& layoutMode, uint32_t& recordCount,
                             uint8_t*& records)
{
    layoutMode = true;
    recordCount = 0;
    records = nullptr;
    if (!blob || !blob->GetData() || blob->GetSize() < 10) return false;

    CQW_BEReader in(blob->GetData(), blob->GetSize());
    const uint8_t withRecords = in.U8();
    const uint8_t mode = in.U8();
    const uint16_t yCount = in.U16();
    const uint16_t xCount = in.U16();
    const uint32_t extraCount = in.U32();
    if (in.Failed()) return false;
    const bool isLayoutMode = (mode == 0);

    // The engine holds at most 100 lines a direction; a larger count cannot match its lattice.
    if (xCount > kGridMaxLines || yCount > kGridMaxLines) return false;
    if (extraCount > static_cast<uint32_t>(kJigMaxExtraKnives)) return false;
    if (!SetGrid(xCount + 1, yCount + 1, extraCount)) return false;

    // Lines are fractions of the image and knot offsets fractions of a neighbouring cell: values
    // outside those ranges come only from damaged blobs and are clamped so that every knot stays
    // within reach of the image.
    if (!ReadFinite(in, m_yLines, yCount) || !ReadFinite(in, m_xLines, xCount)) return false;
    for (int i = 0; i < yCount; ++i) m_yLines[i] = Clamp(m_yLines[i], 0.0f, 1.0f);
    for (int i = 0; i < xCount; ++i) m_xLines[i] = Clamp(m_xLines[i], 0.0f, 1.0f);

    const uint32_t knots = in.U32();
    if (in.Failed() || knots != static_cast<uint32_t>(m_knotCount)) return false;
    float* kv = GetKnots();
    if (!ReadFinite(in, kv, static_cast<size_t>(knots) * 2)) return false;
    for (size_t i = 0; i < static_cast<size_t>(knots) * 2; ++i) kv[i] = Clamp(kv[i], -1.0f, 1.0f);

    const uint32_t rowCount = in.U32();
    if (in.Failed() || rowCount != static_cast<uint32_t>(m_rowKnifeCount)) return false;
    JigKnife* rows = GetRowKnives();
    for (uint32_t i = 0; i < rowCount; ++i)
        if (!ReadKnife(in, rows[i])) return false;

    const uint32_t columnCount = in.U32();
    if (in.Failed() || columnCount != static_cast<uint32_t>(m_columnKnifeCount)) return false;
    JigKnife* columns = GetColumnKnives();
    for (uint32_t i = 0; i < columnCount; ++i)
        if (!ReadKnife(in, columns[i])) return false;

    const uint32_t extras = in.U32();
    if (in.Failed() || extras != extraCount) return false;
    JigExtraKnife* ex = GetExtraKnives();
    for (uint32_t i = 0; i < extras; ++i) {
        if (!ReadKnife(in, ex[i])) return false;
        const uint32_t a = in.U32();
        const uint32_t b = in.U32();
        if (in.Failed()) return false;
        // Knot indices outside the lattice would address knots that do not exist.
        if (a >= knots || b >= knots) return false;
        ex[i].knotA = static_cast<int32_t>(a);
        ex[i].knotB = static_cast<int32_t>(b);
    }

    const uint8_t razor = in.U8();
    const uint8_t aa = in.U8();
    if (in.Failed()) return false;
    m_razorCut = (razor == 1);
    m_antiAliasing = (aa == 1);

    if (withRecords != 1) {
        layoutMode = isLayoutMode;
        return true;
    }

    const uint32_t count = in.U32();
    if (in.Failed() || !in.NeedItems(count, qwpiece::kRecordSize)) return false;
    uint8_t* first = blob->GetData() + in.Position();
    for (uint32_t i = 0; i < count; ++i) qwpiece::FromBlobInPlace(first + i * qwpiece::kRecordSize);
    layoutMode = isLayoutMode;
    if (!isLayoutMode && count) {
        recordCount = count;
        records = first;
    }
    return true;
}
