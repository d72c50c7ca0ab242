#include "plugin/core/piece_effect_record.h"

#include "framework/core/qwf_endian.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qwpiece {

namespace {
uint32_t LoadLE32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void PutLE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Stores a value over its big-endian bytes in host order.
template <typename T>
void StoreHost(uint8_t* p, T v)
{
    std::memcpy(p, &v, sizeof v);
}
}  // namespace

void DefaultRecord(PieceEffectRecord& r)
{
    std::memset(&r, 0, sizeof r);
    r.bevelOn = 1;
    // Light (-0.5, 0.8, 0.5) normalised, computed in single precision.
    const float len = std::sqrt(1.14f);
    r.light[0] = -0.5f / len;
    r.light[1] = 0.8f / len;
    r.light[2] = 0.5f / len;
    r.hlOpacity = 191;
    SetColour(r.hlGrey, r.hlRGB, r.hlCMYK, 255, 255, 255, 255, 255, 255, 255, 255);
    r.shOpacity = 191;
    SetColour(r.shGrey, r.shRGB, r.shCMYK, 0, 0, 0, 0, 0, 0, 0, 255);
    r.bevelSize = 2;
    r.bevelDepth = 3;
    r.bevelSoften = 0;
    r.ovOpacity = 255;
    SetColour(r.ovGrey, r.ovRGB, r.ovCMYK, 85, 255, 0, 0, 255, 0, 0, 255);
    r.imgOpacity = 255;
    r.layerId = -1;
    r.stOpacity = 255;
    r.stSize = 3;
    SetColour(r.stGrey, r.stRGB, r.stCMYK, 85, 255, 0, 0, 255, 0, 0, 255);
    r.mbAngle = 45;
    r.opValue = 255;
    r.shown = 1;
}

void ToBlob(const PieceEffectRecord& r, uint8_t* out)
{
    PieceEffectRecord c;
    std::memcpy(&c, &r, sizeof c);  // bit-exact, whatever the float fields hold
    c.reserved3 = 0;
    std::memset(c.reserved5, 0, sizeof c.reserved5);
    c.reserved39 = 0;
    c.reserved43 = 0;
    c.reserved59 = 0;
    c.reserved75 = 0;
    c.reserved77 = 0;
    std::memcpy(out, &c, kRecordSize);
    qwf::PutBEF32(out + 8, c.light[0]);
    qwf::PutBEF32(out + 12, c.light[1]);
    qwf::PutBEF32(out + 16, c.light[2]);
    qwf::PutBE16(out + 40, c.bevelDepth);
    PutLE32(out + 60, static_cast<uint32_t>(c.layerId));
    qwf::PutBE16(out + 78, static_cast<uint16_t>(c.hue));
}

void FromBlobInPlace(uint8_t* p)
{
    for (int off = 8; off <= 16; off += 4)
        StoreHost(p + off, qwf::GetBEF32(p + off));
    StoreHost(p + 40, qwf::GetBE16(p + 40));
    StoreHost(p + 78, qwf::GetBE16(p + 78));
    uint32_t id = LoadLE32(p + 60);
    std::memcpy(p + 60, &id, 4);
}

void Load(const uint8_t* p, PieceEffectRecord& r) { std::memcpy(&r, p, kRecordSize); }


bool CRecordIndex::Build(const uint8_t* records, uint32_t count)
{
    constexpr size_t kCells = 100 * 100;
    if (!m_table.GetData() && !m_table.Alloc(kCells * sizeof(int32_t)))
        return false;
    int32_t* t = reinterpret_cast<int32_t*>(m_table.GetData());
    std::fill_n(t, kCells, -1);
    for (uint32_t j = 0; records && j < count; ++j) {
        const uint8_t* r = records + static_cast<size_t>(j) * kRecordSize;
        const uint8_t row = r[offsetof(PieceEffectRecord, row)];
        const uint8_t column = r[offsetof(PieceEffectRecord, column)];
        if (row >= 1 && row <= 100 && column >= 1 && column <= 100)
            t[(row - 1) * 100 + (column - 1)] = static_cast<int32_t>(j);
    }
    return true;
}

int32_t CRecordIndex::Find(int32_t row, int32_t column) const
{
    if (!m_table.GetData() || row < 1 || row > 100 || column < 1 || column > 100)
        return -1;
    return reinterpret_cast<const int32_t*>(m_table.GetData())[(row - 1) * 100 + (column - 1)];
}

}  // namespace qwpiece
