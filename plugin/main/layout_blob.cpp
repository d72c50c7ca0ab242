// The layout blob: writer, the version-3.0 and version-2.0 readers, and the last layout.
//
// The blob is untrusted input (documents, "last.data", the host's scripting parameters): every
// read is bounds-tested by CQW_BEReader, and a blob a reader refuses leaves the layout as it
// stood, never a half-read one.
#include "framework/core/qwf_bereader.h"
#include "framework/core/qwf_endian.h"
#include "plugin/main/layout_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr size_t kKnifeReserve = 5 + 12 * kKnifeMaxNodes;  // 773
constexpr size_t kExtraReserve = kKnifeReserve + 8;          // 781
constexpr const char* kLastDataName = "last.data";

uint8_t ClampByte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

uint8_t* PutKnife(uint8_t* p, const KnifeRecord& k)
{
    const int n = std::clamp(k.nodeCount, 0, kKnifeMaxNodes);
    const uint8_t flags = static_cast<uint8_t>((k.flipAcross ? 1 : 0) | (k.flipAlong ? 2 : 0) |
                                               (k.hidden ? 4 : 0) | (k.selected ? 8 : 0));
    p = qwf::PutU8(p, flags);
    p = qwf::PutBE16(p, static_cast<uint16_t>(n));
    p = qwf::PutU8(p, ClampByte(k.tipsSize));
    p = qwf::PutU8(p, ClampByte(k.thickness));
    for (int i = 0; i < n; ++i)
        p = qwf::PutBEF32(p, k.U[i]);
    for (int i = 0; i < n; ++i)
        p = qwf::PutBEF32(p, k.H[i]);
    for (int i = 0; i < n; ++i)
        p = qwf::PutBEF32(p, k.S[i]);
    return p;
}

float ClampF(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }
}  // namespace

size_t CLayoutModel::SerializeReserve() const
{
    size_t n = static_cast<size_t>(m_rowCount + m_colCount) * kKnifeReserve +
               (static_cast<size_t>(m_xLineCount) + 2 * static_cast<size_t>(m_knotCount) +
                m_yLineCount) * 4 +
               static_cast<size_t>(m_extraCount) * kExtraReserve + 30;
    if (!m_layoutMode)
        n += (m_pPieces ? m_pPieces->GetPieceRecordCount() : 0) * qwpiece::kRecordSize + 4;
    return n + 20;
}

bool CLayoutModel::SerializeLayout(CQWF_Mem& block, size_t& length)
{
    length = 0;
    const size_t reserve = SerializeReserve();
    if (block.GetSize() < reserve && !block.Alloc(reserve)) {
        m_pSink->ShowMessage("Memory allocation problem...", "Error!");
        return false;
    }
    const bool puzzle = !m_layoutMode;
    uint8_t* const start = block.GetData();
    uint8_t* p = start;
    p = qwf::PutU8(p, puzzle ? 1 : 0);
    p = qwf::PutU8(p, puzzle ? 1 : 0);
    p = qwf::PutBE16(p, m_yLineCount);
    p = qwf::PutBE16(p, m_xLineCount);
    p = qwf::PutBE32(p, static_cast<uint32_t>(m_extraCount));
    for (int i = 0; i < m_yLineCount; ++i)
        p = qwf::PutBEF32(p, m_yLines[i]);
    for (int i = 0; i < m_xLineCount; ++i)
        p = qwf::PutBEF32(p, m_xLines[i]);
    p = qwf::PutBE32(p, static_cast<uint32_t>(m_knotCount));
    const KnotRecord* knots = Knots();
    for (int32_t i = 0; i < m_knotCount; ++i) {
        p = qwf::PutBEF32(p, knots[i].x);
        p = qwf::PutBEF32(p, knots[i].y);
    }
    p = qwf::PutBE32(p, static_cast<uint32_t>(m_rowCount));
    for (int32_t i = 0; i < m_rowCount; ++i)
        p = PutKnife(p, RowKnives()[i]);
    p = qwf::PutBE32(p, static_cast<uint32_t>(m_colCount));
    for (int32_t i = 0; i < m_colCount; ++i)
        p = PutKnife(p, ColumnKnives()[i]);
    p = qwf::PutBE32(p, static_cast<uint32_t>(m_extraCount));
    for (int32_t i = 0; i < m_extraCount; ++i) {
        const ExtraKnifeRecord& x = ExtraKnives()[i];
        p = PutKnife(p, x.knife);
        p = qwf::PutBE32(p, static_cast<uint32_t>(x.knotA));
        p = qwf::PutBE32(p, static_cast<uint32_t>(x.knotB));
    }
    p = qwf::PutU8(p, m_flags[kFlagRazor] ? 1 : 0);
    p = qwf::PutU8(p, m_flags[kFlagAntiAlias] ? 1 : 0);
    if (puzzle) {
        const size_t count = m_pPieces ? m_pPieces->GetPieceRecordCount() : 0;
        p = qwf::PutBE32(p, static_cast<uint32_t>(count));
        PieceEffectRecord rec;
        for (size_t i = 0; i < count; ++i) {
            m_pPieces->GetPieceRecord(i, rec);
            qwpiece::ToBlob(rec, p);
            p += qwpiece::kRecordSize;
        }
    }
    length = static_cast<size_t>(p - start);
    return true;
}

// Reads one knife: the 5-byte header (3 bytes in the version-2.0 layout), then n U, H and S.
// A node count above what a knife holds, or a value that is not a finite number, is a fault.
// Without a knife the values are only tested.
bool CLayoutModel::ReadKnife(CQW_BEReader& r, KnifeRecord* target, bool shortHeader)
{
    const uint8_t flags = r.U8();
    const uint16_t n = r.U16();
    uint8_t tips = 0;
    uint8_t thick = 0;
    if (!shortHeader) {
        tips = r.U8();
        thick = r.U8();
    }
    if (r.Failed())
        return false;
    if (n > kKnifeMaxNodes)
        return r.Fail();
    const uint8_t* p = r.Take(static_cast<size_t>(n) * 12);
    if (!p)
        return false;
    if (!target) {
        for (int i = 0; i < 3 * n; ++i)
            if (!qwf::IsFiniteBEF32(p + 4 * i))
                return r.Fail();
        return r.Ok();
    }
    // Storing: the testing pass before has found every value finite.
    KnifeRecord& knife = *target;
    FreeOutline(knife);
    knife.flipAcross = flags & 1;
    knife.flipAlong = (flags >> 1) & 1;
    knife.hidden = (flags >> 2) & 1;
    knife.selected = (flags >> 3) & 1;
    if (!shortHeader) {
        knife.tipsSize = tips;
        knife.thickness = thick;
    }
    knife.nodeCount = n;
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) {
        knife.U[i] = ClampF(qwf::GetBEF32(p + 4 * i), 0.0f, 1.0f);
        sum += knife.U[i];
    }
    for (int i = 0; i < n; ++i)
        knife.H[i] = ClampF(qwf::GetBEF32(p + 4 * (n + i)), -3.0f, 3.0f);
    for (int i = 0; i < n; ++i)
        knife.S[i] = ClampF(qwf::GetBEF32(p + 4 * (2 * n + i)), -2.0f, 2.0f);
    knife.meanU = n ? sum / static_cast<float>(n) : 0.0f;
    knife.length = 0.0f;
    knife.marked = 0;
    return r.Ok();
}

namespace {
// Line positions are fractions of the image; knot offsets fractions of the neighbouring cell.
// Values outside those ranges would put knots outside the image, so they are clamped. Without a
// destination the values are only tested.
bool ReadLines(CQW_BEReader& r, float* lines, int count)
{
    if (!r.NeedItems(static_cast<uint64_t>(count), 4))
        return false;
    for (int i = 0; i < count; ++i) {
        const float v = ClampF(r.FiniteF32(), 0.0f, 1.0f);
        if (lines)
            lines[i] = v;
    }
    return r.Ok();
}

bool ReadKnots(CQW_BEReader& r, KnotRecord* knots, int32_t expected)
{
    const uint32_t count = r.U32();
    if (r.Failed() || count != static_cast<uint32_t>(expected))
        return r.Fail();
    if (!r.NeedItems(count, 8))
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        const float x = ClampF(r.FiniteF32(), -1.0f, 1.0f);
        const float y = ClampF(r.FiniteF32(), -1.0f, 1.0f);
        if (knots) {
            knots[i].x = x;
            knots[i].y = y;
        }
    }
    return r.Ok();
}

}  // namespace

// Lines, knots, then the row and column knives, whose counts must match the grid. Storing, the
// model's grid has already been sized to g; otherwise the values are read into a scratch.
bool CLayoutModel::ReadGridBody(CQW_BEReader& r, bool shortHeader, const GridCounts& g, bool store)
{
    bool ok = ReadLines(r, store ? m_yLines : nullptr, g.yl) &&
              ReadLines(r, store ? m_xLines : nullptr, g.xl) &&
              ReadKnots(r, store ? Knots() : nullptr, g.knots);
    if (ok) {
        const uint32_t rows = r.U32();
        ok = r.Ok() && rows == static_cast<uint32_t>(g.rows);
        for (int32_t i = 0; ok && i < g.rows; ++i)
            ok = ReadKnife(r, store ? &RowKnives()[i] : nullptr, shortHeader);
    }
    if (ok) {
        const uint32_t cols = r.U32();
        ok = r.Ok() && cols == static_cast<uint32_t>(g.columns);
        for (int32_t i = 0; ok && i < g.columns; ++i)
            ok = ReadKnife(r, store ? &ColumnKnives()[i] : nullptr, shortHeader);
    }
    return ok;
}

// A version-3.0 blob up to and with its switch bytes. Without store nothing is stored: the pass
// only tells whether the blob is taken whole. Storing, it can fail only for want of memory.
bool CLayoutModel::ReadBlobV3(CQW_BEReader& r, bool store)
{
    if (!r.Need(10))
        return false;
    r.Skip(2);
    const uint16_t yl = r.U16();
    const uint16_t xl = r.U16();
    const uint32_t headerExtras = r.U32();
    const GridCounts g = CountsOfGrid(xl, yl);
    if (store) {
        if (!SetGridSize(xl + 1, yl + 1, false, true))
            return false;
        ReleaseKnifeCaches();
    }
    if (!ReadGridBody(r, false, g, store))
        return false;
    // The count must match the header, stay within what a layout holds, and the bytes for that
    // many extra knives (13 at least each) must remain before any room is made.
    const uint32_t extras = r.U32();
    if (!r.Ok() || extras != headerExtras || extras > kLayoutMaxExtraKnives ||
        !r.NeedItems(extras, 13))
        return false;
    if (store) {
        SetExtraCount(0);
        if (!ReserveExtraKnives(extras))
            return false;
        m_extraCount = static_cast<int32_t>(extras);
    }
    for (uint32_t i = 0; i < extras; ++i) {
        ExtraKnifeRecord* x = store ? &ExtraKnives()[i] : nullptr;
        if (x)
            std::memset(x, 0, sizeof *x);
        const bool knife = ReadKnife(r, x ? &x->knife : nullptr, false);
        const uint32_t a = r.U32();
        const uint32_t b = r.U32();
        if (!knife || !r.Ok() || a >= static_cast<uint32_t>(g.knots) ||
            b >= static_cast<uint32_t>(g.knots))
            return false;
        if (x) {
            x->knotA = static_cast<int32_t>(a);
            x->knotB = static_cast<int32_t>(b);
        }
    }
    if (!r.Need(2))
        return false;
    const uint8_t razor = r.U8();
    const uint8_t antiAlias = r.U8();
    if (store) {
        m_flags[kFlagRazor] = razor == 1 ? 1 : 0;
        m_flags[kFlagAntiAlias] = antiAlias == 1 ? 1 : 0;
        UpdateSelectionState();
    }
    return true;
}

bool CLayoutModel::AcceptsBlob(const uint8_t* data, size_t size, bool version2)
{
    CQW_BEReader r(data, size);
    return version2 ? ReadBlobV2(r, false) : ReadBlobV3(r, false);
}

// Both readers: no records yet; a refused blob leaves the layout as it stands, since it is read
// through once before anything of it is stored.
bool CLayoutModel::TakeBlob(CQW_BEReader& r, const uint8_t* data, size_t size, bool version2,
                            uint8_t** records, uint32_t* count)
{
    if (records)
        *records = nullptr;
    if (count)
        *count = 0;
    if (!AcceptsBlob(data, size, version2))
        return false;
    r.Reset(data, size);
    return version2 ? ReadBlobV2(r, true) : ReadBlobV3(r, true);
}

bool CLayoutModel::ReadLayoutV3(uint8_t* data, size_t size, uint8_t** records, uint32_t* count,
                                bool redraw)
{
    CQW_BEReader r;
    if (!TakeBlob(r, data, size, false, records, count))
        return false;

    if (data[0] == 1) {
        const uint32_t n = r.U32();
        if (r.Ok() && r.NeedItems(n, qwpiece::kRecordSize)) {
            uint8_t* first = data + r.Position();
            for (uint32_t i = 0; i < n; ++i)
                qwpiece::FromBlobInPlace(first + static_cast<size_t>(i) * qwpiece::kRecordSize);
            if (records)
                *records = n ? first : nullptr;
            if (count)
                *count = n;
        }
    }
    if (redraw)
        m_pSink->RedrawLayout();
    return true;
}

// The version-2.0 blob in the same two passes.
bool CLayoutModel::ReadBlobV2(CQW_BEReader& r, bool store)
{
    if (!r.Need(6))
        return false;
    r.Skip(2);
    const uint16_t yl = r.U16();
    const uint16_t xl = r.U16();
    const GridCounts g = CountsOfGrid(xl, yl);
    if (store) {
        if (!SetGridSize(xl + 1, yl + 1, false, true))
            return false;
        ReleaseKnifeCaches();
        SetExtraCount(0);  // no extra knives, also when the grid size did not change
    }
    if (!ReadGridBody(r, true, g, store) || !r.Need(5))
        return false;
    // One thickness and tips size for the whole layout; kept to the ranges a knife holds so that
    // a later version-3.0 blob (one byte each) stores the same values.
    const uint16_t thick = r.U16();
    const uint16_t tips = r.U16();
    const uint8_t aa = r.U8();
    if (!store)
        return true;
    const int32_t thickness = std::min<int32_t>(thick, 100);
    const int32_t tipsSize = std::min<int32_t>(tips, 100);
    for (int32_t i = 0; i < m_rowCount; ++i) {
        RowKnives()[i].thickness = thickness;
        RowKnives()[i].tipsSize = tipsSize;
    }
    for (int32_t i = 0; i < m_colCount; ++i) {
        ColumnKnives()[i].thickness = thickness;
        ColumnKnives()[i].tipsSize = tipsSize;
    }
    m_flags[kFlagRazor] = thick == 0 ? 1 : 0;
    m_flags[kFlagAntiAlias] = aa == 1 ? 1 : 0;
    UpdateSelectionState();
    return true;
}

bool CLayoutModel::ReadLayoutV2(uint8_t* data, size_t size, uint8_t** records, uint32_t* count,
                                bool redraw)
{
    CQW_BEReader r;
    if (!TakeBlob(r, data, size, true, records, count))
        return false;
    if (redraw)
        m_pSink->RedrawLayout();
    return true;
}

bool CLayoutModel::SaveLastData()
{
    CQWF_Mem blob;
    size_t length = 0;
    if (!SerializeLayout(blob, length))
        return false;
    m_pSink->WriteScriptParameters(blob.GetData(), length);
    return m_pSink->WriteWholeFile(blob.GetData(), length, kLastDataName);
}

bool CLayoutModel::LoadLastData()
{
    ClearPendingRecords();
    CQWF_Mem blob;
    if (!m_pSink->ReadScriptParameters(blob)) {
        blob.Free();
        if (!m_pSink->ReadWholeFile(blob, kLastDataName) || blob.GetSize() == 0)
            return DefaultLayout();
    }
    uint8_t* records = nullptr;
    uint32_t count = 0;
    // A last layout the reader refuses gives way to the default one (built afresh, whatever a
    // pass that ran out of memory left).
    if (!ReadLayoutV3(blob.GetData(), blob.GetSize(), &records, &count, false))
        return ForcedDefaultLayout();
    if (records && count > 0) {
        const size_t bytes = static_cast<size_t>(count) * qwpiece::kRecordSize;
        if (!m_pending.Alloc(bytes)) {
            m_pSink->CloseWindow();
            return false;
        }
        std::memcpy(m_pending.GetData(), records, bytes);
        m_pendingCount = count;
    }
    return true;
}
