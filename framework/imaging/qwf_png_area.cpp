#include "framework/imaging/qwf_png_area.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "framework/imaging/qwf_png.h"

namespace {

constexpr int kRuns = 8;                 // runs of 1, 2, 4, ... 128 rows
constexpr size_t kOutBytes = 65536;
constexpr size_t kBpp = 4;               // bytes a pixel
// The compression: zlib's run-length strategy (matches at distance 1 only, made for PNG image
// data), a 32 KB window. The rows of one colour around a piece cost it a compare per byte where
// the string matching of libpng's level 6 costs a hash insertion per byte, and the pieces'
// rows come out about as small.
constexpr int kLevel = 6;
constexpr int kWindowBits = 15;
constexpr int kMemLevel = 8;
// The zlib header of such a stream (32 KB window, the fastest kind of compression), and the
// last block: empty, fixed codes, final.
constexpr uint8_t kHeader[2] = {0x78, 0x01};
constexpr uint8_t kLastBlock[2] = {0x03, 0x00};

enum : uint8_t { kNone, kSub, kUp, kAverage, kPaeth };

// A block of at least n bytes, kept when it is large enough.

// A filtered byte's weight in libpng's choice: its distance from zero read as a signed byte.
inline size_t Weight(uint8_t v) { return static_cast<size_t>(std::abs(static_cast<int8_t>(v))); }

inline uint8_t Paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

}  // namespace

struct CQWF_PNGAreaCoder::Stream {
    z_stream z{};
};

CQWF_PNGAreaCoder::CQWF_PNGAreaCoder() = default;

CQWF_PNGAreaCoder::~CQWF_PNGAreaCoder()
{
    if (m_stream) deflateEnd(&m_stream->z);
    delete m_stream;
}

bool CQWF_PNGAreaCoder::Ready()
{
    if (m_stream) return true;
    m_stream = new (std::nothrow) Stream;
    if (!m_stream) return false;
    if (deflateInit2(&m_stream->z, kLevel, Z_DEFLATED, -kWindowBits, kMemLevel, Z_RLE) != Z_OK) {
        delete m_stream;
        m_stream = nullptr;
        return false;
    }
    return m_out.Alloc(kOutBytes);
}

bool CQWF_PNGAreaCoder::Deflate(int flush, Sink sink, void* context)
{
    z_stream& z = m_stream->z;
    do {
        z.next_out = m_out.GetData();
        z.avail_out = static_cast<uInt>(kOutBytes);
        const int r = deflate(&z, flush);
        if (r != Z_OK && r != Z_BUF_ERROR) return false;
        const size_t produced = kOutBytes - z.avail_out;
        if (produced && sink && !sink(m_out.GetData(), produced, context)) return false;
    } while (z.avail_out == 0 || z.avail_in != 0);
    return true;
}

bool CQWF_PNGAreaCoder::PrepareRuns(int32_t width, uint32_t outside)
{
    if (width == m_runWidth && outside == m_runColour) return true;
    m_runWidth = -1;
    const size_t bytes = static_cast<size_t>(width) * kBpp;
    // The colour's row, and its filtered forms: "sub" for the first row of a run (a run follows
    // any row), "up" for the others (all zeros).
    if (!m_colourRow.Reserve(bytes) || !m_rows.Reserve(2 * (bytes + 1))) return false;
    for (size_t i = 0; i < bytes; ++i) m_colourRow.GetData()[i] = static_cast<uint8_t>(outside >> (8 * (i % kBpp)));
    uint8_t* sub = m_rows.GetData();
    uint8_t* up = sub + bytes + 1;
    std::memset(sub, 0, 2 * (bytes + 1));
    sub[0] = kSub;
    std::memcpy(sub + 1, m_colourRow.GetData(), kBpp < bytes ? kBpp : bytes);
    up[0] = kUp;

    // Collected here, then kept.
    struct Collect {
        CQWF_Mem* mem;
        size_t used;
        static bool Put(const uint8_t* p, size_t n, void* self)
        {
            auto* c = static_cast<Collect*>(self);
            if (c->mem->GetSize() < c->used + n && !c->mem->Resize((c->used + n) * 2)) return false;
            std::memcpy(c->mem->GetData() + c->used, p, n);
            c->used += n;
            return true;
        }
    } collect{&m_runs, 0};
    if (!m_runs.Reserve(4096)) return false;
    z_stream& z = m_stream->z;
    for (int k = 0; k < kRuns; ++k) {
        const int32_t rows = 1 << k;
        if (deflateReset(&z) != Z_OK) return false;
        uint32_t sum = adler32(0L, Z_NULL, 0);
        for (int32_t y = 0; y < rows; ++y) {
            uint8_t* row = y == 0 ? sub : up;
            sum = adler32(sum, row, static_cast<uInt>(bytes + 1));
            z.next_in = row;
            z.avail_in = static_cast<uInt>(bytes + 1);
            if (!Deflate(Z_NO_FLUSH, &Collect::Put, &collect)) return false;
        }
        // Ends on a byte, and nothing after it looks back into it.
        if (!Deflate(Z_FULL_FLUSH, &Collect::Put, &collect)) return false;
        m_runEnd[k] = collect.used;
        m_runSum[k] = static_cast<uint32_t>(sum);
        m_runLength[k] = static_cast<uint64_t>(rows) * (bytes + 1);
    }
    m_runWidth = width;
    m_runColour = outside;
    return true;
}

// A band row is the colour, the area's pixels, the colour again, over a row that is the colour
// (or nothing, above the picture's first row) outside the area's columns. Away from the area's
// edges and the row's first pixel every filter gives one pattern there ("steady" bytes): only the
// first pixel and the area with the pixel after it are filtered byte by byte.
void CQWF_PNGAreaCoder::PrepareBand(const QWF_PNGSettings& s, bool colourAbove)
{
    const size_t bytes = static_cast<size_t>(s.width) * kBpp;
    m_left = static_cast<size_t>(s.areaLeft) * kBpp;
    m_to = static_cast<size_t>(s.areaLeft + s.areaWidth) * kBpp + kBpp;
    if (m_to > bytes) m_to = bytes;
    m_steadyPixels = (m_left > kBpp ? (m_left - kBpp) / kBpp : 0) + (bytes - m_to) / kBpp;
    const size_t stride = bytes + 1;
    for (uint8_t f = kNone; f <= kPaeth; ++f) {
        uint8_t pattern[kBpp];
        size_t weight = 0;
        for (size_t k = 0; k < kBpp; ++k) {
            const int c = static_cast<uint8_t>(s.outside >> (8 * k));
            const int above = colourAbove ? c : 0;
            // The left neighbour is the colour, the one above and the one above left alike.
            const int predicted = f == kNone ? 0 : f == kSub ? c : f == kUp ? above : f == kAverage ? (c + above) >> 1 : Paeth(c, above, above);
            pattern[k] = static_cast<uint8_t>(c - predicted);
            weight += Weight(pattern[k]);
        }
        m_steadyWeight[f] = weight;
        m_steadyZero[f] = (pattern[0] | pattern[1] | pattern[2] | pattern[3]) == 0;
        if (f == kNone) continue;  // the raw row itself
        uint8_t* out = m_trials.GetData() + (f - 1) * stride;
        out[0] = f;
        for (size_t i = kBpp; i < m_left; ++i) out[1 + i] = pattern[i % kBpp];
        for (size_t i = m_to; i < bytes; ++i) out[1 + i] = pattern[i % kBpp];
    }
}

namespace {

// Filters bytes [from, to) of a row (from at least a pixel into it) with filter F into d; the
// sum of the filtered bytes' weights.
template <uint8_t F>
size_t FilterBytes(const uint8_t* __restrict raw, const uint8_t* __restrict above, uint8_t* __restrict d,
                   size_t from, size_t to)
{
    size_t sum = 0;
    for (size_t i = from; i < to; ++i) {
        const uint8_t a = raw[i - kBpp], b = above[i], c = above[i - kBpp];
        uint8_t predicted;
        if constexpr (F == kSub) predicted = a;
        else if constexpr (F == kUp) predicted = b;
        else if constexpr (F == kAverage) predicted = static_cast<uint8_t>((a + b) >> 1);
        else predicted = Paeth(a, b, c);
        const uint8_t v = static_cast<uint8_t>(raw[i] - predicted);
        d[i] = v;
        const uint8_t negated = static_cast<uint8_t>(0u - v);
        sum += v < negated ? v : negated;  // Weight(v)
    }
    return sum;
}

// The first pixel's bytes [0, to): no pixel on their left.
size_t FilterFirst(uint8_t f, const uint8_t* raw, const uint8_t* above, uint8_t* d, size_t to)
{
    size_t sum = 0;
    for (size_t i = 0; i < to; ++i) {
        const int b = above[i];
        const int predicted = f == kSub ? 0 : f == kUp ? b : f == kAverage ? b >> 1 : Paeth(0, b, 0);
        d[i] = static_cast<uint8_t>(raw[i] - predicted);
        sum += Weight(d[i]);
    }
    return sum;
}

}  // namespace

const uint8_t* CQWF_PNGAreaCoder::FilterRow(const uint8_t* raw, const uint8_t* above, size_t bytes)
{
    // libpng's adaptive choice: the filter whose bytes weigh least, the earlier one of a tie.
    // The bytes filtered one by one: the row's first pixel, and the area with the pixel after it.
    const size_t first = m_left < kBpp ? m_left : kBpp;
    const size_t from = m_left > kBpp ? m_left : kBpp;  // the area's bytes after the first pixel
    m_best = kNone;
    const uint8_t* best = raw - 1;
    size_t least = m_steadyPixels * m_steadyWeight[kNone];
    for (size_t i = 0; i < first; ++i) least += Weight(raw[i]);
    for (size_t i = m_left; i < m_to; ++i) least += Weight(raw[i]);
    const size_t stride = bytes + 1;
    for (uint8_t f = kSub; f <= kPaeth; ++f) {
        uint8_t* d = m_trials.GetData() + (f - 1) * stride + 1;
        size_t sum = m_steadyPixels * m_steadyWeight[f];
        sum += FilterFirst(f, raw, above, d, m_left < kBpp ? (m_to < kBpp ? m_to : kBpp) : kBpp);
        if (from < m_to) {
            switch (f) {
            case kSub: sum += FilterBytes<kSub>(raw, above, d, from, m_to); break;
            case kUp: sum += FilterBytes<kUp>(raw, above, d, from, m_to); break;
            case kAverage: sum += FilterBytes<kAverage>(raw, above, d, from, m_to); break;
            default: sum += FilterBytes<kPaeth>(raw, above, d, from, m_to); break;
            }
        }
        if (sum < least) {
            least = sum;
            best = d - 1;
            m_best = f;
        }
    }
    return best;
}

uint32_t CQWF_PNGAreaCoder::RowSum(uint32_t sum, const uint8_t* row, size_t bytes) const
{
    // The steady bytes of zeros count without reading them.
    auto steady = [&](size_t from, size_t to) {
        if (from >= to) return;
        if (!m_steadyZero[m_best]) {
            sum = static_cast<uint32_t>(adler32(sum, row + 1 + from, static_cast<uInt>(to - from)));
            return;
        }
        const uint32_t zeros = static_cast<uint32_t>(((to - from) % 65521u) << 16 | 1u);
        sum = static_cast<uint32_t>(adler32_combine(sum, zeros, static_cast<z_off_t>(to - from)));
    };
    const size_t first = m_left < kBpp ? m_left : kBpp;
    sum = static_cast<uint32_t>(adler32(sum, row, static_cast<uInt>(1 + first)));
    steady(first, m_left);
    sum = static_cast<uint32_t>(adler32(sum, row + 1 + m_left, static_cast<uInt>(m_to - m_left)));
    steady(m_to, bytes);
    return sum;
}

CQWF_PNGAreaCoder::Result CQWF_PNGAreaCoder::Code(const QWF_PNGSettings& s, Sink sink, Step step, void* context)
{
    const int32_t width = s.width, height = s.height;
    const size_t bytes = static_cast<size_t>(width) * kBpp;
    if (!Ready() || !PrepareRuns(width, s.outside) || !m_rows.Reserve(2 * (bytes + 1)) ||
        !m_trials.Reserve(4 * (bytes + 1)))
        return Result::kNoMemory;
    if (!sink(kHeader, sizeof kHeader, context)) return Result::kStopped;
    uint32_t sum = adler32(0L, Z_NULL, 0);
    int32_t done = 0;

    // Rows of the colour alone: the longest runs first.
    auto colourRows = [&](int32_t count) {
        while (count > 0) {
            int k = kRuns - 1;
            while ((1 << k) > count) --k;
            const size_t from = k ? m_runEnd[k - 1] : 0;
            if (!sink(m_runs.GetData() + from, m_runEnd[k] - from, context)) return false;
            sum = static_cast<uint32_t>(adler32_combine(sum, m_runSum[k], static_cast<z_off_t>(m_runLength[k])));
            count -= 1 << k;
            done += 1 << k;
            if (step && !step(done, context)) return false;
        }
        return true;
    };
    if (!colourRows(s.areaTop)) return Result::kStopped;

    // The band: the area's pixels between the colour's, each row filtered over the one above
    // (the colour's row, or none above the first row of the picture).
    uint8_t* raw = m_rows.GetData() + 1;
    uint8_t* above = raw + bytes + 1;
    if (s.areaTop > 0) std::memcpy(above, m_colourRow.GetData(), bytes);
    else std::memset(above, 0, bytes);
    std::memcpy(raw, m_colourRow.GetData(), bytes);
    raw[-1] = kNone;
    z_stream& z = m_stream->z;
    if (deflateReset(&z) != Z_OK) return Result::kNoMemory;
    const size_t left = static_cast<size_t>(s.areaLeft) * kBpp;
    PrepareBand(s, s.areaTop > 0);
    for (int32_t y = 0; y < s.areaHeight; ++y) {
        if (y == 1 && s.areaTop == 0) PrepareBand(s, true);
        const int64_t at = static_cast<int64_t>(y) * s.stride;
        for (size_t k = 0; k < kBpp; ++k) {
            uint8_t* d = raw + left + k;
            if (!s.planes[k]) {
                for (int32_t x = 0; x < s.areaWidth; ++x, d += kBpp) *d = static_cast<uint8_t>(s.outside >> (8 * k));
                continue;
            }
            const uint8_t* p = s.planes[k] + at;
            if (k == 3 && s.alphaMap)
                for (int32_t x = 0; x < s.areaWidth; ++x, d += kBpp) *d = s.alphaMap[p[x]];
            else
                for (int32_t x = 0; x < s.areaWidth; ++x, d += kBpp) *d = p[x];
        }
        const uint8_t* row = FilterRow(raw, above, bytes);
        sum = RowSum(sum, row, bytes);
        z.next_in = const_cast<uint8_t*>(row);
        z.avail_in = static_cast<uInt>(bytes + 1);
        if (!Deflate(Z_NO_FLUSH, sink, context)) return Result::kStopped;
        std::memcpy(above, raw, bytes);
        ++done;
        if (step && !step(done, context)) return Result::kStopped;
    }
    if (!Deflate(Z_FULL_FLUSH, sink, context)) return Result::kStopped;

    if (!colourRows(height - s.areaTop - s.areaHeight)) return Result::kStopped;
    const uint8_t tail[4] = {static_cast<uint8_t>(sum >> 24), static_cast<uint8_t>(sum >> 16),
                             static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum)};
    if (!sink(kLastBlock, sizeof kLastBlock, context) || !sink(tail, sizeof tail, context)) return Result::kStopped;
    return Result::kDone;
}
