#include "framework/imaging/qwf_psd.h"

#include "framework/core/qwf_endian.h"
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "framework/core/qwf_file.h"

namespace {
using qwf::GetBE16;
using qwf::GetBE32;
using qwf::PutBE16;
using qwf::PutBE32;

uint64_t g_sectionLimit = 0xFFFFFFFFull;

// The format keeps its layer count in a signed 16-bit field.
constexpr size_t kMaxLayers = 32767;
// Packed merged-image data is handed to the file in chunks of about this size.
constexpr size_t kMergedChunk = 4u << 20;

// A growing big-endian byte buffer over an owned block.
class BEBuffer {
public:
    explicit BEBuffer(CQWF_Mem& mem) : m_mem(mem) {}
    bool Ok() const { return m_ok; }
    size_t Size() const { return m_size; }
    uint8_t* Data() const { return m_mem.GetData(); }
    bool Reserve(size_t n)
    {
        if (!m_ok) return false;
        if (m_size + n <= m_mem.GetSize()) return true;
        size_t cap = m_mem.GetSize() ? m_mem.GetSize() : 256;
        while (cap < m_size + n) cap *= 2;
        if (!m_mem.Resize(cap)) { m_ok = false; return false; }
        return true;
    }
    void Bytes(const void* p, size_t n)
    {
        if (!Reserve(n)) return;
        std::memcpy(m_mem.GetData() + m_size, p, n);
        m_size += n;
    }
    void U8(uint32_t v)
    {
        uint8_t b = static_cast<uint8_t>(v);
        Bytes(&b, 1);
    }
    void U16(uint32_t v)
    {
        uint8_t b[2];
        PutBE16(b, static_cast<uint16_t>(v));
        Bytes(b, 2);
    }
    void U32(uint32_t v)
    {
        uint8_t b[4];
        PutBE32(b, v);
        Bytes(b, 4);
    }
    void Zeros(size_t n)
    {
        if (!Reserve(n)) return;
        std::memset(m_mem.GetData() + m_size, 0, n);
        m_size += n;
    }

private:
    CQWF_Mem& m_mem;
    size_t m_size = 0;
    bool m_ok = true;
};




int ColorChannels(uint8_t mode) { return mode == QWF_MODE_RGB ? 3 : mode == QWF_MODE_GRAY ? 1 : 4; }
uint32_t FileMode(uint8_t mode) { return mode == QWF_MODE_RGB ? 3 : mode == QWF_MODE_GRAY ? 1 : 4; }

// Worst case of PackRow for n bytes: a literal of one before every run of two turns 3 bytes
// into 4.
size_t PackBound(size_t n) { return n + n / 2 + 2; }

// A bounded big-endian reader over the input bytes.
struct Cursor {
    const uint8_t* p;
    const uint8_t* end;
    bool Has(uint64_t n) const { return n <= static_cast<uint64_t>(end - p); }
    // Skips a 32-bit length and that many bytes; false when they are not all there.
    bool SkipBlock()
    {
        if (!Has(4)) return false;
        const uint32_t n = GetBE32(p);
        p += 4;
        if (!Has(n)) return false;
        p += n;
        return true;
    }
};

}  // namespace

namespace qwf {
void SetPsdSectionLimit(uint64_t limit) { g_sectionLimit = limit; }
}

CQWF_ImagePSD::~CQWF_ImagePSD() { Release(); }

bool CQWF_ImagePSD::SetWriteSettings(const QWF_PSDSettings& settings)
{
    m_settings = settings;
    return true;
}

bool CQWF_ImagePSD::AddLayer(const QWF_PSDLayer& layer)
{
    size_t need = (m_layerCount + 1) * sizeof(QWF_PSDLayer);
    if (need > m_layers.GetSize()) {
        size_t cap = m_layers.GetSize() ? m_layers.GetSize() * 2 : 16 * sizeof(QWF_PSDLayer);
        if (!m_layers.Resize(cap)) {
            SetError(m_layers.GetError());
            return false;
        }
    }
    QWF_PSDLayer copy = layer;
    copy.name[63] = 0;
    // A negative size would describe a rectangle with its bottom above its top.
    if (copy.width < 0) copy.width = 0;
    if (copy.height < 0) copy.height = 0;
    std::memcpy(m_layers.GetData() + m_layerCount * sizeof(QWF_PSDLayer), &copy, sizeof copy);
    ++m_layerCount;
    return true;
}

bool CQWF_ImagePSD::AddLayer(int16_t width, int16_t height, int16_t left, int16_t top,
                             uint8_t visible, uint8_t opacity, const char* name,
                             const uint8_t* const planes[5], int32_t stride)
{
    QWF_PSDLayer l;
    l.width = width;
    l.height = height;
    l.left = left;
    l.top = top;
    l.visible = visible;
    l.opacity = opacity;
    if (name) std::strncpy(l.name, name, sizeof l.name - 1);
    for (int i = 0; i < 5; ++i) l.planes[i] = planes ? planes[i] : nullptr;
    l.stride = stride;
    return AddLayer(l);
}

void CQWF_ImagePSD::Release()
{
    m_layers.Free();
    m_layerCount = 0;
    m_work.Free();
    m_row.Free();
}

const QWF_PSDLayer* CQWF_ImagePSD::GetReadLayer(int64_t index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_readCount) return nullptr;
    return reinterpret_cast<const QWF_PSDLayer*>(m_readLayers.GetData()) + index;
}

// ---------------------------------------------------------------------------------------------
// PackBits

size_t CQWF_ImagePSD::PackRow(const uint8_t* row, size_t n, uint8_t* out)
{
    size_t i = 0, o = 0;
    while (i < n) {
        if (i + 1 < n && row[i] == row[i + 1]) {
            size_t run = 2;
            while (i + run < n && run < 128 && row[i + run] == row[i]) ++run;
            out[o++] = static_cast<uint8_t>(1 - static_cast<int>(run));
            out[o++] = row[i];
            i += run;
        } else {
            size_t start = i, len = 0;
            while (i < n && len < 128) {
                if (i + 1 < n && row[i] == row[i + 1]) break;
                ++i;
                ++len;
            }
            out[o++] = static_cast<uint8_t>(len - 1);
            std::memcpy(out + o, row + start, len);
            o += len;
        }
    }
    return o;
}

bool CQWF_ImagePSD::UnpackRow(const uint8_t*& data, const uint8_t* end, uint8_t* out, size_t n)
{
    size_t o = 0;
    while (o < n) {
        if (data >= end) return false;
        int h = static_cast<int8_t>(*data++);
        if (h >= 0) {
            size_t len = static_cast<size_t>(h) + 1;
            if (static_cast<size_t>(end - data) < len || len > n - o) return false;
            std::memcpy(out + o, data, len);
            data += len;
            o += len;
        } else if (h != -128) {
            size_t len = static_cast<size_t>(1 - h);
            if (data >= end || len > n - o) return false;
            std::memset(out + o, *data++, len);
            o += len;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Writing

bool CQWF_ImagePSD::Write()
{
    ClearError();
    if (!m_file) return false;
    const QWF_PSDSettings& s = m_settings;
    if (s.colorMode < QWF_MODE_RGB || s.colorMode > QWF_MODE_CMYK || s.width <= 0 ||
        s.height <= 0) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    // Refused before anything is written: the count would not fit the file.
    if (m_layerCount > kMaxLayers) {
        SetError(QWF_ERR_IMAGE_FORMAT);
        return false;
    }
    if (IsCancelled()) return false;
    ReportPercent(0);
    if (!WriteHeaderAndResources()) return false;
    if (IsCancelled()) return false;
    ReportPercent(2);
    if (!WriteLayers()) return false;
    if (IsCancelled()) return false;
    ReportPercent(60);
    if (!WriteMerged()) return false;
    if (!Flush()) return false;
    if (IsCancelled()) return false;
    ReportPercent(100);
    return true;
}

bool CQWF_ImagePSD::WriteHeaderAndResources()
{
    const QWF_PSDSettings& s = m_settings;
    CQWF_Mem mem;
    BEBuffer b(mem);
    b.Bytes("8BPS", 4);
    b.U16(1);
    b.Zeros(6);
    b.U16(static_cast<uint32_t>(ColorChannels(s.colorMode)));
    b.U32(static_cast<uint32_t>(s.height));
    b.U32(static_cast<uint32_t>(s.width));
    b.U16(8);
    b.U16(FileMode(s.colorMode));
    b.U32(0);  // colour mode data

    const bool profile = s.profile != nullptr && s.profileSize != 0;
    const uint64_t profilePadded = profile ? s.profileSize + (s.profileSize & 1u) : 0;
    const uint64_t resources = profile ? 56 + profilePadded : 44;
    if (resources > g_sectionLimit) {
        SetError(QWF_ERR_IMAGE_FORMAT);
        return false;
    }
    b.U32(static_cast<uint32_t>(resources));

    // Resolution as 16.16 fixed point, truncated; out-of-range values are held to the field.
    double res = s.resolution;
    if (!(res >= 0)) res = 0;
    if (res > 65535.0) res = 65535.0;
    uint32_t whole = static_cast<uint32_t>(res);
    uint32_t frac = static_cast<uint32_t>((res - whole) * 65536.0) & 0xFFFF;
    b.Bytes("8BIM", 4);
    b.U16(1005);
    b.U16(0);
    b.U32(16);
    for (int axis = 0; axis < 2; ++axis) {
        b.U16(whole);
        b.U16(frac);
        b.U16(1);
        b.U16(1);
    }
    b.Bytes("8BIM", 4);
    b.U16(1037);
    b.U16(0);
    b.U32(4);
    b.U32(static_cast<uint32_t>(s.lightAngle));
    if (!b.Ok()) {
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    if (!WriteBytes(b.Data(), b.Size())) return false;
    if (profile) {
        uint8_t head[12];
        std::memcpy(head, "8BIM", 4);
        PutBE16(head + 4, 1039);
        PutBE16(head + 6, 0);
        PutBE32(head + 8, s.profileSize);
        if (!WriteBytes(head, sizeof head)) return false;
        if (!WriteBytes(s.profile, s.profileSize)) return false;
        // Resource data is padded to an even length.
        if ((s.profileSize & 1u) && !WriteBytes("", 1)) return false;
    }
    return true;
}

bool CQWF_ImagePSD::PackChannel(const QWF_PSDLayer& layer, int channel, uint64_t& length)
{
    const int colors = ColorChannels(m_settings.colorMode);
    const size_t w = static_cast<size_t>(layer.width);
    const size_t h = static_cast<size_t>(layer.height);
    const size_t bound = 2 + 2 * h + h * PackBound(w);
    if (!m_work.Reserve(bound)) {
        SetError(m_work.GetError());
        return false;
    }
    uint8_t* out = m_work.GetData();
    PutBE16(out, 1);
    uint8_t* table = out + 2;
    size_t pos = 2 + 2 * h;
    const uint8_t* plane = layer.planes[channel];
    if (!plane && w) {
        // A missing plane reads as black colour or as opaque transparency.
        if (!m_row.Reserve(w)) {
            SetError(m_row.GetError());
            return false;
        }
        std::memset(m_row.GetData(), channel == colors ? 255 : 0, w);
    }
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* src =
            plane ? plane + static_cast<int64_t>(y) * layer.stride : m_row.GetData();
        size_t n = PackRow(src, w, out + pos);
        PutBE16(table + 2 * y, static_cast<uint32_t>(n));
        pos += n;
    }
    length = pos;
    return WriteBytes(out, pos);
}

bool CQWF_ImagePSD::WriteLayers()
{
    const int colors = ColorChannels(m_settings.colorMode);
    const int channels = colors + 1;
    const size_t n = m_layerCount;
    const QWF_PSDLayer* layers = reinterpret_cast<const QWF_PSDLayer*>(m_layers.GetData());

    int64_t start = Tell();
    if (start < 0) {
        if (!HasError()) SetError(QWF_ERR_FILE_WRITE);
        return false;
    }

    // The section head and the layer records, with the lengths filled in once the channel data
    // is written; the block goes to the file twice, so the file is patched with a single seek.
    CQWF_Mem recMem;
    BEBuffer rec(recMem);
    CQWF_Mem offsets;  // offset of each layer's first channel entry in rec
    if (n && !offsets.Alloc(n * sizeof(size_t))) {
        SetError(offsets.GetError());
        return false;
    }
    rec.U32(0);  // section length
    rec.U32(0);  // layer information length
    rec.U16(static_cast<uint32_t>(n));
    for (size_t j = 0; j < n; ++j) {
        if (IsCancelled()) return false;
        ReportPercent(static_cast<int>(2 + 8 * j / n));
        const QWF_PSDLayer& l = layers[j];
        rec.U32(static_cast<uint32_t>(int32_t(l.top)));
        rec.U32(static_cast<uint32_t>(int32_t(l.left)));
        rec.U32(static_cast<uint32_t>(int32_t(l.top) + l.height));
        rec.U32(static_cast<uint32_t>(int32_t(l.left) + l.width));
        rec.U16(static_cast<uint32_t>(channels));
        reinterpret_cast<size_t*>(offsets.GetData())[j] = rec.Size();
        for (int c = 0; c < channels; ++c) {
            rec.U16(c == colors ? 0xFFFFu : static_cast<uint32_t>(c));
            rec.U32(0);
        }
        rec.Bytes("8BIMnorm", 8);
        rec.U8(l.opacity);
        rec.U8(0);
        rec.U8(l.visible ? 0 : 2);
        rec.U8(0);
        const size_t len = strnlen(l.name, 63);
        const size_t pascal = len < 55 ? len : 55;
        const size_t nameBytes = pascal - pascal % 4 + 4;
        rec.U32(static_cast<uint32_t>(8 + nameBytes + 18 + 2 * len));
        rec.U32(0);
        rec.U32(0);
        rec.U8(static_cast<uint32_t>(pascal));
        rec.Bytes(l.name, pascal);
        rec.Zeros(nameBytes - 1 - pascal);
        rec.Bytes("8BIMluni", 8);
        rec.U32(static_cast<uint32_t>(2 * len + 6));
        rec.U32(static_cast<uint32_t>(len));
        for (size_t i = 0; i < len; ++i) rec.U16(static_cast<uint8_t>(l.name[i]));
        rec.U16(0);
    }
    if (!rec.Ok()) {
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    if (!WriteBytes(rec.Data(), rec.Size())) return false;

    uint64_t info = rec.Size() - 8;  // from the layer count to the end of the channel data
    for (size_t j = 0; j < n; ++j) {
        if (IsCancelled()) return false;
        ReportPercent(static_cast<int>(10 + 50 * j / n));
        size_t off = reinterpret_cast<const size_t*>(offsets.GetData())[j];
        for (int c = 0; c < channels; ++c) {
            uint64_t length = 0;
            if (!PackChannel(layers[j], c, length)) return false;
            PutBE32(rec.Data() + off + 6 * c + 2, static_cast<uint32_t>(length));
            info += length;
            if (info + 8 > g_sectionLimit) {
                SetError(QWF_ERR_IMAGE_FORMAT);
                return false;
            }
        }
    }
    if (info & 1) {
        if (!WriteBytes("", 1)) return false;
        ++info;
    }
    const uint64_t section = 4 + info + 4;
    if (section > g_sectionLimit) {
        SetError(QWF_ERR_IMAGE_FORMAT);
        return false;
    }
    uint8_t zero[4] = {0, 0, 0, 0};
    if (!WriteBytes(zero, 4)) return false;  // no global layer mask
    PutBE32(rec.Data(), static_cast<uint32_t>(section));
    PutBE32(rec.Data() + 4, static_cast<uint32_t>(info));
    return WriteBytes(rec.Data(), rec.Size(), start);
}

bool CQWF_ImagePSD::WriteMerged()
{
    const int colors = ColorChannels(m_settings.colorMode);
    const size_t W = static_cast<size_t>(m_settings.width);
    const size_t H = static_cast<size_t>(m_settings.height);
    const size_t n = m_layerCount;
    const QWF_PSDLayer* layers = reinterpret_cast<const QWF_PSDLayer*>(m_layers.GetData());

    uint8_t one[2] = {0, 1};
    if (!WriteBytes(one, 2)) return false;
    int64_t tablePos = Tell();
    if (tablePos < 0) {
        if (!HasError()) SetError(QWF_ERR_FILE_WRITE);
        return false;
    }
    CQWF_Mem table;
    const size_t tableBytes = 2 * H * static_cast<size_t>(colors);
    if (!table.AllocZeroed(tableBytes)) {
        SetError(table.GetError());
        return false;
    }
    if (!WriteBytes(table.GetData(), tableBytes)) return false;

    const size_t rowBound = PackBound(W);
    const size_t chunk = rowBound > kMergedChunk ? rowBound : kMergedChunk;
    if (!m_work.Reserve(chunk)) {
        SetError(m_work.GetError());
        return false;
    }
    if (!m_row.Reserve(W)) {
        SetError(m_row.GetError());
        return false;
    }
    uint8_t* row = m_row.GetData();
    uint8_t* out = m_work.GetData();
    const size_t room = m_work.GetSize();

    for (int k = 0; k < colors; ++k) {
        if (IsCancelled()) return false;
        ReportPercent(60 + 40 * k / colors);
        size_t used = 0;
        for (size_t y = 0; y < H; ++y) {
            std::memset(row, 255, W);
            for (size_t j = 0; j < n; ++j) {
                const QWF_PSDLayer& l = layers[j];
                const int64_t ly = static_cast<int64_t>(y) - l.top;
                // The merged image shows what the document shows: hidden layers stay out.
                if (!l.visible || ly < 0 || ly >= l.height) continue;
                int64_t x0 = l.left < 0 ? 0 : l.left;
                int64_t x1 = int64_t(l.left) + l.width;
                if (x1 > static_cast<int64_t>(W)) x1 = static_cast<int64_t>(W);
                if (x0 >= x1) continue;
                const uint8_t* cp = l.planes[k];
                const uint8_t* ap = l.planes[colors];
                const int64_t rowOff = ly * l.stride - l.left;
                const uint32_t op = l.opacity;
                for (int64_t x = x0; x < x1; ++x) {
                    const uint32_t alpha = ap ? ap[rowOff + x] : 255;
                    const uint32_t a = alpha * op / 255;
                    if (!a) continue;
                    const uint32_t v = cp ? cp[rowOff + x] : 0;
                    row[x] = static_cast<uint8_t>(((255 - a) * row[x] + a * v) / 255);
                }
            }
            if (used + rowBound > room) {
                if (!WriteBytes(out, used)) return false;
                used = 0;
            }
            size_t packed = PackRow(row, W, out + used);
            used += packed;
            PutBE16(table.GetData() + 2 * (k * H + y), static_cast<uint32_t>(packed));
        }
        if (used && !WriteBytes(out, used)) return false;
    }
    return WriteBytes(table.GetData(), tableBytes, tablePos);
}

// ---------------------------------------------------------------------------------------------
// Reading

void CQWF_ImagePSD::FreeReadLayers()
{
    m_readLayers.Free();
    m_readPixels.Free();
    m_readCount = 0;
}

bool CQWF_ImagePSD::ParseHeader(const uint8_t* bytes, size_t length)
{
    if (!bytes || length < 26 || std::memcmp(bytes, "8BPS", 4) != 0 || GetBE16(bytes + 4) != 1) {
        SetError(QWF_ERR_IMAGE_FORMAT2);
        return false;
    }
    uint32_t depth = GetBE16(bytes + 22);
    if (depth != 1 && depth != 8 && depth != 16) {
        SetError(QWF_ERR_IMAGE_FORMAT2);
        return false;
    }
    uint32_t mode = GetBE16(bytes + 24);
    uint8_t m;
    if (mode == 0 || mode == 1) m = QWF_MODE_GRAY;
    else if (mode == 3) m = QWF_MODE_RGB;
    else if (mode == 4) m = QWF_MODE_CMYK;
    else {
        SetError(QWF_ERR_IMAGE_FORMAT);
        return false;
    }
    m_height = static_cast<uint16_t>(GetBE32(bytes + 14));
    m_width = static_cast<uint16_t>(GetBE32(bytes + 18));
    m_depth = static_cast<uint8_t>(depth);
    m_colorMode = m;
    return true;
}

bool CQWF_ImagePSD::ReadInfo(const uint8_t* bytes, size_t length)
{
    ClearError();
    return ParseHeader(bytes, length);
}

bool CQWF_ImagePSD::ReadImage(const uint8_t* bytes, size_t length)
{
    ClearError();
    if (!ParseHeader(bytes, length)) return false;
    Cursor c{bytes + 26, bytes + length};
    if (m_depth != 8) {
        SetError(QWF_ERR_IMAGE_FORMAT);
        return false;
    }
    if (!c.Has(4)) { SetError(QWF_ERR_IMAGE_FORMAT2); return false; }
    if (GetBE32(c.p) != 0) {
        SetError(QWF_ERR_IMAGE_FORMAT);
        return false;
    }
    c.p += 4;
    for (int section = 0; section < 2; ++section) {  // image resources, layer and mask
        if (!c.Has(4)) { SetError(QWF_ERR_IMAGE_FORMAT2); return false; }
        uint32_t len = GetBE32(c.p);
        c.p += 4;
        if (!c.Has(len)) { SetError(QWF_ERR_IMAGE_FORMAT2); return false; }
        c.p += len;
    }
    if (!c.Has(2)) { SetError(QWF_ERR_IMAGE_FORMAT2); return false; }
    uint32_t compression = GetBE16(c.p);
    c.p += 2;
    if (compression > 1) {
        SetError(QWF_ERR_IMAGE_FORMAT);
        return false;
    }
    const int colors = ColorChannels(m_colorMode);
    const size_t W = m_width, H = m_height, plane = W * H;
    FreePlanes();
    if (!plane) return true;  // an empty image has no planes
    // The data must be there before the planes are allocated: raw planes whole, packed rows
    // with their table and at least the bytes W values take when packed (two per 128).
    const size_t rows = H * static_cast<size_t>(colors);
    const uint8_t* table = nullptr;
    if (compression == 0) {
        if (!c.Has(uint64_t(plane) * colors)) {
            SetError(QWF_ERR_IMAGE_FORMAT2);
            return false;
        }
    } else {
        if (!c.Has(uint64_t(rows) * 2)) {
            SetError(QWF_ERR_IMAGE_FORMAT2);
            return false;
        }
        table = c.p;
        const uint32_t least = static_cast<uint32_t>(2 * ((W + 127) / 128));
        uint64_t packed = 0;
        for (size_t r = 0; r < rows; ++r) {
            const uint32_t count = GetBE16(table + 2 * r);
            if (count < least) {
                SetError(QWF_ERR_IMAGE_FORMAT2);
                return false;
            }
            packed += count;
        }
        if (!c.Has(uint64_t(rows) * 2 + packed)) {
            SetError(QWF_ERR_IMAGE_FORMAT2);
            return false;
        }
        c.p += rows * 2;
    }
    for (int k = 0; k < colors; ++k) {
        if (!m_planes[k + 1].Alloc(plane)) {
            SetError(m_planes[k + 1].GetError());
            FreePlanes();
            return false;
        }
    }
    if (compression == 0) {
        for (int k = 0; k < colors; ++k) {
            std::memcpy(m_planes[k + 1].GetData(), c.p, plane);
            c.p += plane;
        }
        return true;
    }
    for (size_t r = 0; r < rows; ++r) {
        uint32_t count = GetBE16(table + 2 * r);
        const uint8_t* p = c.p;
        uint8_t* out = m_planes[r / H + 1].GetData() + (r % H) * W;
        if (!UnpackRow(p, c.p + count, out, W)) {
            SetError(QWF_ERR_IMAGE_FORMAT2);
            FreePlanes();
            return false;
        }
        c.p += count;
    }
    return true;
}

bool CQWF_ImagePSD::Read(const CQWF_Mem& block) { return Read(block.GetData(), block.GetSize()); }

bool CQWF_ImagePSD::Read(CQWF_StdFile& file)
{
    ClearError();
    if (!LoadFile(file)) return false;
    return Read();
}

bool CQWF_ImagePSD::Read() { return Read(m_buffer); }

namespace {

// How one part of a layered file read: whole, malformed (error 49), or of a kind this reader
// does not take (error 48).
enum class PsdPart : uint8_t { kRead, kMalformed, kUnsupported };

constexpr int kMostChannels = 100;  // channels of one layer

// The channel list of a layer record: ids and data lengths.
struct LayerChannels {
    int count = 0;
    int64_t id[kMostChannels];
    uint64_t length[kMostChannels];
};

// Skips the colour mode data (which must be empty) and the image resources, and finds the layer
// information in the layer and mask section; `none` when the file has no layers.
PsdPart FindLayerInfo(Cursor& c, Cursor& info, bool& none)
{
    none = false;
    if (!c.Has(4)) return PsdPart::kMalformed;
    if (GetBE32(c.p) != 0) return PsdPart::kUnsupported;
    c.p += 4;
    if (!c.SkipBlock()) return PsdPart::kMalformed;  // the image resources
    if (!c.Has(4)) return PsdPart::kMalformed;
    const uint32_t sectionLen = GetBE32(c.p);
    c.p += 4;
    if (!c.Has(sectionLen)) return PsdPart::kMalformed;
    if (sectionLen < 4 || GetBE32(c.p) == 0) {
        none = true;
        return PsdPart::kRead;
    }
    const uint32_t infoLen = GetBE32(c.p);
    c.p += 4;
    if (infoLen > sectionLen - 4 || infoLen < 2) return PsdPart::kMalformed;
    info = Cursor{c.p, c.p + infoLen};
    return PsdPart::kRead;
}

// A layer record's rectangle and channel list.
PsdPart ReadLayerBounds(Cursor& info, QWF_PSDLayer& l, LayerChannels& channels)
{
    if (!info.Has(18)) return PsdPart::kMalformed;
    const int32_t top = static_cast<int32_t>(GetBE32(info.p));
    const int32_t left = static_cast<int32_t>(GetBE32(info.p + 4));
    const int32_t bottom = static_cast<int32_t>(GetBE32(info.p + 8));
    const int32_t right = static_cast<int32_t>(GetBE32(info.p + 12));
    const int64_t w = int64_t(right) - left, h = int64_t(bottom) - top;
    if (w < 0 || h < 0 || w > 32767 || h > 32767 || top < -32768 || top > 32767 || left < -32768 ||
        left > 32767)
        return PsdPart::kMalformed;
    l.top = static_cast<int16_t>(top);
    l.left = static_cast<int16_t>(left);
    l.width = static_cast<int16_t>(w);
    l.height = static_cast<int16_t>(h);
    l.stride = static_cast<int32_t>(w);
    const int nc = static_cast<int>(GetBE16(info.p + 16));
    info.p += 18;
    if (nc > kMostChannels) return PsdPart::kUnsupported;
    channels.count = nc;
    if (!info.Has(uint64_t(nc) * 6)) return PsdPart::kMalformed;
    for (int k = 0; k < nc; ++k) {
        channels.id[k] = static_cast<int16_t>(GetBE16(info.p));
        channels.length[k] = GetBE32(info.p + 2);
        info.p += 6;
    }
    return PsdPart::kRead;
}

// The layer's extra data: the layer mask and blending ranges (skipped), the name, and the
// additional information, of which the section divider tells the layer's kind.
PsdPart ReadLayerExtra(Cursor ex, QWF_PSDLayer& l)
{
    if (!ex.SkipBlock() || !ex.SkipBlock()) return PsdPart::kMalformed;  // layer mask, blending ranges
    if (!ex.Has(1)) return PsdPart::kMalformed;
    const size_t nameLen = ex.p[0];
    const size_t padded = (nameLen + 1 + 3) / 4 * 4;
    if (!ex.Has(padded)) return PsdPart::kMalformed;
    const size_t keep = nameLen < 63 ? nameLen : 63;
    std::memcpy(l.name, ex.p + 1, keep);
    l.name[keep] = 0;
    if (keep == 0) std::strcpy(l.name, "background");
    ex.p += padded;
    while (ex.Has(12)) {
        if (std::memcmp(ex.p, "8BIM", 4) != 0 && std::memcmp(ex.p, "8B64", 4) != 0) break;
        const uint32_t len = GetBE32(ex.p + 8);
        const uint8_t* data = ex.p + 12;
        if (!ex.Has(uint64_t(len) + 12)) return PsdPart::kMalformed;
        if (std::memcmp(ex.p + 4, "lsct", 4) == 0 && len >= 4) {
            const uint32_t type = GetBE32(data);
            if (type > 3) return PsdPart::kUnsupported;
            l.sectionType = static_cast<uint8_t>(type);
        }
        ex.p += 12 + len;
    }
    return PsdPart::kRead;
}

// A layer record: bounds and channels, blend mode (normal only), opacity, visibility, extra data.
PsdPart ReadLayerRecord(Cursor& info, QWF_PSDLayer& l, LayerChannels& channels)
{
    const PsdPart bounds = ReadLayerBounds(info, l, channels);
    if (bounds != PsdPart::kRead) return bounds;
    if (!info.Has(16)) return PsdPart::kMalformed;
    if (std::memcmp(info.p, "8BIM", 4) != 0) return PsdPart::kMalformed;
    if (std::memcmp(info.p + 4, "norm", 4) != 0) return PsdPart::kUnsupported;
    l.opacity = info.p[8];
    l.visible = (info.p[10] & 2) ? 0 : 1;
    const uint32_t extra = GetBE32(info.p + 12);
    info.p += 16;
    if (!info.Has(extra)) return PsdPart::kMalformed;
    const Cursor ex{info.p, info.p + extra};
    info.p += extra;
    return ReadLayerExtra(ex, l);
}

// One channel's data (after its compression code) into a plane of w x h bytes: raw or packed
// rows.
PsdPart ReadChannelData(Cursor ch, uint8_t* dst, size_t w, size_t h)
{
    const uint32_t comp = GetBE16(ch.p);
    ch.p += 2;
    if (comp == 0) {
        if (!ch.Has(uint64_t(w) * h)) return PsdPart::kMalformed;
        std::memcpy(dst, ch.p, w * h);
        return PsdPart::kRead;
    }
    if (comp != 1) return PsdPart::kUnsupported;
    if (!ch.Has(uint64_t(h) * 2)) return PsdPart::kMalformed;
    const uint8_t* table = ch.p;
    ch.p += 2 * h;
    for (size_t y = 0; y < h; ++y) {
        const uint32_t cnt = GetBE16(table + 2 * y);
        if (!ch.Has(cnt)) return PsdPart::kMalformed;
        const uint8_t* p = ch.p;
        if (!CQWF_ImagePSD::UnpackRow(p, ch.p + cnt, dst + y * w, w)) return PsdPart::kMalformed;
        ch.p += cnt;
    }
    return PsdPart::kRead;
}

}  // namespace

bool CQWF_ImagePSD::Read(const uint8_t* bytes, size_t length)
{
    ClearError();
    FreeReadLayers();
    if (!ParseHeader(bytes, length)) return false;
    if (m_depth != 8) {
        SetError(QWF_ERR_IMAGE_FORMAT);
        return false;
    }
    // Every failure leaves no layers read.
    auto failed = [this](PsdPart part) {
        SetError(part == PsdPart::kMalformed ? QWF_ERR_IMAGE_FORMAT2 : QWF_ERR_IMAGE_FORMAT);
        FreeReadLayers();
        return false;
    };
    auto noMemory = [this](const CQWF_Mem& block) {
        SetError(block.GetError());
        FreeReadLayers();
        return false;
    };

    // 1. The layer information; a file without layers is read as its merged image.
    Cursor c{bytes + 26, bytes + length};
    Cursor info{};
    bool none = false;
    PsdPart part = FindLayerInfo(c, info, none);
    if (part != PsdPart::kRead) return failed(part);
    if (none) return ReadImage(bytes, length);
    int count = static_cast<int16_t>(GetBE16(info.p));
    info.p += 2;
    if (count < 0) count = -count;
    const int colors = ColorChannels(m_colorMode);

    // 2. The layer records, with the channel list of every layer.
    if (count && !m_readLayers.AllocZeroed(size_t(count) * sizeof(QWF_PSDLayer))) return noMemory(m_readLayers);
    QWF_PSDLayer* layers = reinterpret_cast<QWF_PSDLayer*>(m_readLayers.GetData());
    CQWF_Mem channelMem;
    if (count && !channelMem.Alloc(size_t(count) * sizeof(LayerChannels))) return noMemory(channelMem);
    auto* channels = reinterpret_cast<LayerChannels*>(channelMem.GetData());
    uint64_t pixels = 0;
    for (int j = 0; j < count; ++j) {
        part = ReadLayerRecord(info, layers[j], channels[j]);
        if (part != PsdPart::kRead) return failed(part);
        pixels += uint64_t(layers[j].width) * uint64_t(layers[j].height) * 5;
    }

    // 3. The planes: colour planes then transparency, which is opaque unless the file has it.
    // Layer planes cost at most 64 times the bytes that remain for their data (packed rows give
    // two bytes for 128 values), and a little more for layers without data.
    const uint64_t rest = static_cast<uint64_t>(c.end - c.p);
    if (pixels > 5 * 64 * rest + (uint64_t{64} << 20)) return failed(PsdPart::kMalformed);
    if (pixels && !m_readPixels.Alloc(static_cast<size_t>(pixels))) return noMemory(m_readPixels);
    size_t at = 0;
    for (int j = 0; j < count; ++j) {
        QWF_PSDLayer& l = layers[j];
        const size_t plane = size_t(l.width) * size_t(l.height);
        for (int k = 0; k <= colors; ++k) {
            l.planes[k] = plane ? m_readPixels.GetData() + at : nullptr;
            if (plane) std::memset(m_readPixels.GetData() + at, k == colors ? 255 : 0, plane);
            at += plane;
        }
        at += plane * static_cast<size_t>(4 - colors);
    }

    // 4. The channel data, layer by layer in the order of the records; channels the layer's
    // mode has no plane for (masks, extra channels) are skipped.
    for (int j = 0; j < count; ++j) {
        QWF_PSDLayer& l = layers[j];
        for (int k = 0; k < channels[j].count; ++k) {
            const int64_t id = channels[j].id[k];
            const uint64_t len = channels[j].length[k];
            if (!info.Has(len) || len < 2) return failed(PsdPart::kMalformed);
            const Cursor ch{info.p, info.p + len};
            info.p += len;
            if (len == 2) continue;
            const int slot = id == -1 ? colors : (id >= 0 && id < colors ? int(id) : -1);
            if (slot < 0 || !l.planes[slot]) continue;
            part = ReadChannelData(ch, const_cast<uint8_t*>(l.planes[slot]), static_cast<size_t>(l.width),
                                   static_cast<size_t>(l.height));
            if (part != PsdPart::kRead) return failed(part);
        }
    }
    m_readCount = static_cast<size_t>(count);
    return true;
}
