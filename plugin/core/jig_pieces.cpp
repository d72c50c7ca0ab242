// Piece storage: the cut masks kept as runs, the store of rendered piece images, and the run
// that renders and composites the pieces with only a few rows of them alive at a time.
//
// A cut mask is stored as (box height + 1) 32-bit offsets of its rows, then the rows: each a
// list of runs, every run a LEB128 number (length x 4 + kind; kind 0: bytes 0, 1: bytes 255,
// 2: that many literal bytes follow). The zeros that end a row are not stored.
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>

#include "plugin/core/jigcrafter.h"

#include "platform/qw_cpu.h"
#include "platform/qw_threads.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QW_PIECES_X86 1
#endif

namespace {

constexpr int kRunZero = 0;
constexpr int kRunFull = 1;
constexpr int kRunLiteral = 2;

// Rows ahead of the row being encoded whose bytes are fetched early.
constexpr int64_t kEncodeAhead = 3;

// Render store blocks are this large at least; up to kKeepRenderBytes stay for the next cut.
constexpr size_t kRenderBlockBytes = size_t{8} << 20;
constexpr size_t kKeepRenderBytes = size_t{256} << 20;

inline uint8_t* PutRun(uint8_t* out, int kind, uint64_t length)
{
    uint64_t v = length * 4 + static_cast<uint64_t>(kind);
    while (v >= 0x80) {
        *out++ = static_cast<uint8_t>(v | 0x80);
        v >>= 7;
    }
    *out++ = static_cast<uint8_t>(v);
    return out;
}

inline const uint8_t* GetRun(const uint8_t* in, int& kind, uint64_t& length)
{
    uint64_t v = 0;
    int shift = 0;
    for (;;) {
        const uint8_t b = *in++;
        v |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) break;
        shift += 7;
    }
    kind = static_cast<int>(v & 3);
    length = v >> 2;
    return in;
}

inline uint32_t GetU32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Cut masks as runs.

namespace {

// Bits of 64 bytes (bit i: byte i) that are 0, and that are 255.
inline void ClassMasks(const uint8_t* p, uint64_t& zero, uint64_t& full)
{
    zero = 0;
    full = 0;
#if defined(__SSE2__)
    const __m128i z = _mm_setzero_si128();
    const __m128i f = _mm_set1_epi8(-1);
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        zero |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, z))))
                << (16 * k);
        full |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, f))))
                << (16 * k);
    }
#else
    for (int i = 0; i < 64; ++i) {
        zero |= static_cast<uint64_t>(p[i] == 0) << i;
        full |= static_cast<uint64_t>(p[i] == 255) << i;
    }
#endif
}

// The classifiers of EncodeRow: Masks(p, zero, full) gives ClassMasks of the 64 bytes at p,
// ShortMasks(p, n, ...) those of the n (< 64) bytes at p followed by zeros.
struct ClassPlain {
    static void Masks(const uint8_t* p, uint64_t& zero, uint64_t& full) { ClassMasks(p, zero, full); }
    static void ShortMasks(const uint8_t* p, int64_t n, uint64_t& zero, uint64_t& full)
    {
        uint8_t tail[64];
        std::memcpy(tail, p, static_cast<size_t>(n));
        std::memset(tail + n, 0, static_cast<size_t>(64 - n));
        ClassMasks(tail, zero, full);
    }
};

#if defined(QW_PIECES_X86)


// One load and two compares into mask registers for the 64 bytes.
struct ClassAvx512 {
    QW_AVX512 static void Masks(const uint8_t* p, uint64_t& zero, uint64_t& full)
    {
        const __m512i v = _mm512_loadu_si512(p);
        zero = _mm512_testn_epi8_mask(v, v);
        full = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(-1));
    }
    QW_AVX512 static void ShortMasks(const uint8_t* p, int64_t n, uint64_t& zero, uint64_t& full)
    {
        const __m512i v = _mm512_maskz_loadu_epi8((__mmask64{1} << n) - 1, p);
        zero = _mm512_testn_epi8_mask(v, v);
        full = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(-1));
    }
};


#endif  // QW_PIECES_X86

// The runs of one row of w bytes: the maximal runs of zeros, of 255 and of other bytes, found
// 64 bytes at a time where the kind of byte changes; the zeros that end the row are not
// stored. count grows by the non-zero bytes; first and end receive the first non-zero byte
// (-1 for none) and the end of the last non-zero run.
template <typename Class>
uint8_t* EncodeRow(const uint8_t* row, int64_t w, uint8_t* out, int64_t& count, int64_t& first,
                   int64_t& end)
{
    int64_t start = 0;
    int kind = kRunZero;
    uint64_t zeroBefore = 0, fullBefore = 0;  // the kind of the byte before a block
    auto kindAt = [](uint64_t zero, uint64_t full, int i) {
        return (zero >> i) & 1 ? kRunZero : (full >> i) & 1 ? kRunFull : kRunLiteral;
    };
    auto put = [&](int64_t to) {
        const uint64_t n = static_cast<uint64_t>(to - start);
        out = PutRun(out, kind, n);
        if (kind == kRunZero) return;
        if (first < 0) first = start;
        if (kind == kRunLiteral) {
#if defined(__SSE2__)
            // Literals are mostly a few edge pixels: within the row they are copied 16 bytes
            // at a time (the output has room for 16 bytes past its worst case).
            if (to + 15 < w) {
                const uint8_t* from = row + start;
                for (uint64_t k = 0; k < n; k += 16)
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k),
                                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k)));
            } else {
                std::memcpy(out, row + start, n);
            }
#else
            std::memcpy(out, row + start, n);
#endif
            out += n;
        }
        count += to - start;
        end = to;
    };
    for (int64_t x0 = 0; x0 < w; x0 += 64) {
        const int64_t n = w - x0 < 64 ? w - x0 : 64;
        uint64_t zero, full;
        if (n == 64) {
            Class::Masks(row + x0, zero, full);
        } else if (w >= 64) {
            // The last 64 bytes of the row, their masks moved down to the block's start.
            Class::Masks(row + w - 64, zero, full);
            zero >>= 64 - n;
            full >>= 64 - n;
        } else {
            Class::ShortMasks(row, n, zero, full);
        }
        uint64_t change = (zero ^ ((zero << 1) | zeroBefore)) | (full ^ ((full << 1) | fullBefore));
        if (n < 64) change &= (1ULL << n) - 1;
        if (x0 == 0) {
            kind = kindAt(zero, full, 0);
            change &= ~1ULL;
        }
        while (change) {
            const int i = __builtin_ctzll(change);
            change &= change - 1;
            put(x0 + i);
            start = x0 + i;
            kind = kindAt(zero, full, i);
        }
        zeroBefore = zero >> 63;
        fullBefore = full >> 63;
    }
    if (w > 0 && kind != kRunZero) put(w);
    return out;
}

// The runs of rows [0, h) of `bytes` (w bytes a row) into buf from its start, buf grown as
// needed; count receives the non-zero bytes, which become 0 with clear set. The bytes used, 0
// when memory runs out.
template <typename Class>
size_t EncodeRunsWith(uint8_t* bytes, int64_t stride, int64_t w, int64_t h, bool clear,
                      CQWF_Mem& buf, int64_t& count)
{
    const size_t head = static_cast<size_t>(h + 1) * 4;
    // Worst case of one row: a run of five bytes and a literal byte for every pixel.
    const size_t rowBound = static_cast<size_t>(w) * 6 + 16;
    if (buf.GetSize() < head + rowBound && !buf.Alloc(head + rowBound + (size_t{1} << 16)))
        return 0;
    size_t used = head;
    count = 0;
    for (int64_t y = 0; y < h; ++y) {
        if (buf.GetSize() - used < rowBound) {
            size_t grow = buf.GetSize() * 2;
            if (grow < used + rowBound) grow = used + rowBound;
            if (!buf.Resize(grow)) return 0;
        }
        uint8_t* base = buf.GetData();
        const uint32_t offset = static_cast<uint32_t>(used - head);
        std::memcpy(base + y * 4, &offset, 4);
        uint8_t* out = base + used;
        uint8_t* row = bytes + y * stride;
        // Rows lie a whole image row apart, and those of a piece's box that its region does
        // not reach were last touched long ago: they are fetched a few rows ahead.
        if (y + kEncodeAhead < h)
            for (int64_t x = 0; x < w + 63; x += 64)
                __builtin_prefetch(row + kEncodeAhead * stride + (x < w ? x : w - 1), 1);
        int64_t first = -1;  // first non-zero byte
        int64_t x = 0;       // end of the last non-zero run
        out = EncodeRow<Class>(row, w, out, count, first, x);
        // Everything from the first non-zero byte to the zeros that end the row, in one go.
        if (clear && first >= 0) std::memset(row + first, 0, static_cast<size_t>(x - first));
        used = static_cast<size_t>(out - base);
    }
    const uint32_t end = static_cast<uint32_t>(used - head);
    std::memcpy(buf.GetData() + h * 4, &end, 4);
    return used;
}

#if defined(QW_PIECES_X86)

// The whole encoding flattened into code of this level, the classifier inlined.
QW_AVX512 __attribute__((flatten)) size_t EncodeRunsAvx512(
    uint8_t* bytes, int64_t stride, int64_t w, int64_t h, bool clear, CQWF_Mem& buf,
                                                           int64_t& count)
{
    const size_t used = EncodeRunsWith<ClassAvx512>(bytes, stride, w, h, clear, buf, count);
    _mm256_zeroupper();
    return used;
}

#endif  // QW_PIECES_X86

size_t EncodeRunsPlain(uint8_t* bytes, int64_t stride, int64_t w, int64_t h, bool clear,
                       CQWF_Mem& buf, int64_t& count)
{
    return EncodeRunsWith<ClassPlain>(bytes, stride, w, h, clear, buf, count);
}

// EncodeRunsWith with the classifier of each level: all give the same bytes.
using EncodeRunsFn = size_t (*)(uint8_t* bytes, int64_t stride, int64_t w, int64_t h, bool clear,
                                CQWF_Mem& buf, int64_t& count);
#if defined(QW_PIECES_X86)
const qwp::KernelTable<EncodeRunsFn> kEncodeRuns = {EncodeRunsPlain, EncodeRunsPlain, EncodeRunsAvx512};
#else
const qwp::KernelTable<EncodeRunsFn> kEncodeRuns = {EncodeRunsPlain, EncodeRunsPlain, EncodeRunsPlain};
#endif

size_t EncodeRuns(uint8_t* bytes, int64_t stride, int64_t w, int64_t h, bool clear,
                  CQWF_Mem& buf, int64_t& count)
{
    return kEncodeRuns.InForce()(bytes, stride, w, h, clear, buf, count);
}

}  // namespace

size_t CJigcrafter::EncodeBoxRuns(const uint8_t* labels, int64_t labelStride, const QWF_Rect& box,
                                  bool clear, CQWF_Mem& out, int64_t& count)
{
    uint8_t* first = const_cast<uint8_t*>(labels) + box.top * labelStride + box.left;
    return EncodeRuns(first, labelStride, box.right - box.left, box.bottom - box.top, clear, out,
                      count);
}

bool CJigcrafter::EncodePieceMask(const uint8_t* bytes, int64_t stride, int32_t width,
                                  int32_t height, CQWF_Mem& out)
{
    if (!bytes || width <= 0 || height <= 0) return false;
    // The bytes are only read: nothing is cleared.
    int64_t count = 0;
    return EncodeRuns(const_cast<uint8_t*>(bytes), stride, width, height, false, out, count) != 0;
}

uint8_t CJigcrafter::PieceMaskAt(const JigPiece& p, int32_t x, int32_t y)
{
    if (!p.maskRuns || x < p.left || x >= p.right || y < p.top || y >= p.bottom) return 0;
    const int64_t h = p.Height();
    const int64_t row = y - p.top;
    const uint8_t* tokens = p.maskRuns + (h + 1) * 4;
    const uint8_t* t = tokens + GetU32(p.maskRuns + row * 4);
    const uint8_t* end = tokens + GetU32(p.maskRuns + (row + 1) * 4);
    int64_t at = x - p.left;
    while (t < end) {
        int kind;
        uint64_t n;
        t = GetRun(t, kind, n);
        if (at < static_cast<int64_t>(n))
            return kind == kRunLiteral ? t[at] : kind == kRunFull ? 255 : 0;
        at -= static_cast<int64_t>(n);
        if (kind == kRunLiteral) t += n;
    }
    return 0;
}

namespace {

// The runs [t, end) of one mask row as its bytes dst[0, w).
using MaskRowFn = void (*)(const uint8_t* t, const uint8_t* end, uint8_t* dst, int64_t w);

void MaskRowPlain(const uint8_t* t, const uint8_t* end, uint8_t* dst, int64_t w)
{
    int64_t x = 0;
    while (t < end) {
        int kind;
        uint64_t n;
        t = GetRun(t, kind, n);
        if (static_cast<int64_t>(n) > w - x) n = static_cast<uint64_t>(w - x);
        if (kind == kRunLiteral) {
            std::memcpy(dst + x, t, n);
            t += n;
        } else {
            std::memset(dst + x, kind == kRunFull ? 255 : 0, n);
        }
        x += static_cast<int64_t>(n);
    }
    if (x < w) std::memset(dst + x, 0, static_cast<size_t>(w - x));
}

#if defined(QW_PIECES_X86)


// Lanes [0, n) of a 64-byte step (n at most 64).
QW_AVX512 inline __mmask64 Lanes(int64_t n)
{
    return n >= 64 ? ~__mmask64{0} : (__mmask64{1} << n) - 1;
}

// The n bytes of v at p: a masked store, or with kSlack a whole 64-byte store (the bytes after
// the n may be overwritten).
template <bool kSlack>
QW_AVX512 inline void StoreLanes(uint8_t* p, int64_t n, __m512i v)
{
    if constexpr (kSlack)
        _mm512_storeu_si512(p, v);
    else
        _mm512_mask_storeu_epi8(p, Lanes(n), v);
}

// The plain kernel's bytes without a library call per run: runs are mostly a few bytes long
// (the anti-aliased edge) and each is one or two stores here. With kSlack the stores are whole
// 64-byte ones: the kMaskRowSlack bytes after the row may be overwritten (the caller's rows are
// decoded in order and its buffer has that slack after the last row).
template <bool kSlack>
QW_AVX512 inline void MaskRowLanes(const uint8_t* t, const uint8_t* end, uint8_t* dst, int64_t w)
{
    const __m512i zero = _mm512_setzero_si512();
    const __m512i full = _mm512_set1_epi8(-1);
    int64_t x = 0;
    while (t < end && x < w) {
        int kind;
        uint64_t length;
        t = GetRun(t, kind, length);
        const int64_t n = length > static_cast<uint64_t>(w - x) ? w - x
                                                                 : static_cast<int64_t>(length);
        uint8_t* out = dst + x;
        if (kind == kRunLiteral) {
            // The runs' bytes are read only as far as they go.
            for (int64_t k = 0; k < n; k += 64)
                StoreLanes<kSlack>(out + k, n - k, _mm512_maskz_loadu_epi8(Lanes(n - k), t + k));
            t += n;
        } else {
            const __m512i v = kind == kRunFull ? full : zero;
            for (int64_t k = 0; k < n; k += 64) StoreLanes<kSlack>(out + k, n - k, v);
        }
        x += n;
    }
    for (; x < w; x += 64) StoreLanes<kSlack>(dst + x, w - x, zero);
    _mm256_zeroupper();
}

QW_AVX512 void MaskRowAvx512(const uint8_t* t, const uint8_t* end, uint8_t* dst, int64_t w)
{
    MaskRowLanes<false>(t, end, dst, w);
}

QW_AVX512 void MaskRowSlackAvx512(const uint8_t* t, const uint8_t* end, uint8_t* dst, int64_t w)
{
    MaskRowLanes<true>(t, end, dst, w);
}


#endif  // QW_PIECES_X86

// A mask row's kernels of each level: exactly the row's bytes, and the row with slack (the
// kMaskRowSlack bytes after it may be overwritten).
struct MaskRowKernels {
    MaskRowFn exact, slack;
};
#if defined(QW_PIECES_X86)
const qwp::KernelTable<MaskRowKernels> kMaskRows = {
    {MaskRowPlain, MaskRowPlain}, {MaskRowPlain, MaskRowPlain}, {MaskRowAvx512, MaskRowSlackAvx512}};
#else
const qwp::KernelTable<MaskRowKernels> kMaskRows = {
    {MaskRowPlain, MaskRowPlain}, {MaskRowPlain, MaskRowPlain}, {MaskRowPlain, MaskRowPlain}};
#endif

// Rows [0, h) of the piece's mask, row y at dst + y x stride.
void ReadMaskRows(const JigPiece& p, uint8_t* dst, int64_t stride, MaskRowFn fn)
{
    const int64_t w = p.Width();
    const int64_t h = p.Height();
    if (w <= 0) return;
    if (!p.maskRuns) {
        for (int64_t y = 0; y < h; ++y) std::memset(dst + y * stride, 0, static_cast<size_t>(w));
        return;
    }
    const uint8_t* tokens = p.maskRuns + (h + 1) * 4;
    for (int64_t y = 0; y < h; ++y)
        fn(tokens + GetU32(p.maskRuns + y * 4), tokens + GetU32(p.maskRuns + (y + 1) * 4),
           dst + y * stride, w);
}

}  // namespace

void CJigcrafter::ReadPieceMaskRow(const JigPiece& p, int32_t y, uint8_t* dst)
{
    const int64_t w = p.Width();
    const int64_t h = p.Height();
    if (w <= 0) return;
    if (!p.maskRuns || y < 0 || y >= h) {
        std::memset(dst, 0, static_cast<size_t>(w));
        return;
    }
    const uint8_t* tokens = p.maskRuns + (h + 1) * 4;
    kMaskRows.InForce().exact(tokens + GetU32(p.maskRuns + static_cast<int64_t>(y) * 4),
                              tokens + GetU32(p.maskRuns + static_cast<int64_t>(y + 1) * 4), dst, w);
}

bool CJigcrafter::ReadPieceMask(int32_t index, uint8_t* dst, int64_t stride) const
{
    const JigPiece* p = GetPiece(index);
    if (!p || !dst) return false;
    ReadMaskRows(*p, dst, stride, kMaskRows.InForce().exact);
    return true;
}

bool CJigcrafter::ReadPieceMaskWithSlack(int32_t index, uint8_t* dst, int64_t stride) const
{
    const JigPiece* p = GetPiece(index);
    if (!p || !dst) return false;
    ReadMaskRows(*p, dst, stride, kMaskRows.InForce().slack);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Render store.

uint8_t* CJigcrafter::RenderAlloc(size_t bytes, int32_t& block)
{
    bytes = (bytes + 63) & ~size_t{63};
    if (bytes == 0) bytes = 64;
    RenderBlock** blocks = reinterpret_cast<RenderBlock**>(m_renderBlocks.GetData());
    auto take = [&](int32_t i) {
        RenderBlock* b = blocks[i];
        uint8_t* p = b->mem.GetData() + b->used;
        b->used += bytes;
        ++b->live;
        block = i;
        m_renderCurrent = i;
        return p;
    };
    if (m_renderCurrent >= 0) {
        RenderBlock* b = blocks[m_renderCurrent];
        if (b->mem.GetSize() - b->used >= bytes) return take(m_renderCurrent);
    }
    // A block whose images were all given back, else a new one.
    for (int32_t i = 0; i < m_renderBlockCount; ++i)
        if (blocks[i]->live == 0 && blocks[i]->mem.GetSize() >= bytes) {
            blocks[i]->used = 0;
            return take(i);
        }
    if (static_cast<size_t>(m_renderBlockCount + 1) * sizeof(RenderBlock*) >
        m_renderBlocks.GetSize()) {
        const size_t n = static_cast<size_t>(m_renderBlockCount) + 64;
        if (m_renderBlocks.GetSize() == 0 ? !m_renderBlocks.AllocZeroed(n * sizeof(RenderBlock*))
                                          : !m_renderBlocks.Resize(n * sizeof(RenderBlock*)))
            return nullptr;
        blocks = reinterpret_cast<RenderBlock**>(m_renderBlocks.GetData());
    }
    RenderBlock* b = new (std::nothrow) RenderBlock;
    if (!b || !b->mem.Alloc(bytes > kRenderBlockBytes ? bytes : kRenderBlockBytes)) {
        delete b;
        return nullptr;
    }
    blocks[m_renderBlockCount] = b;
    return take(m_renderBlockCount++);
}

bool CJigcrafter::AllocRender(JigPiece& p)
{
    if (p.work) return true;
    const int32_t planes = m_scratchPlaneCount > 0 ? m_scratchPlaneCount : 1;
    const size_t area = static_cast<size_t>(p.Width()) * static_cast<size_t>(p.Height());
    int32_t block = -1;
    uint8_t* work = RenderAlloc(area * static_cast<size_t>(planes), block);
    if (!work) return false;
    SetWorkImage(p, work, block);
    return true;
}

void CJigcrafter::SetWorkImage(JigPiece& p, uint8_t* work, int32_t block) const
{
    const int32_t planes = m_scratchPlaneCount > 0 ? m_scratchPlaneCount : 1;
    const size_t area = static_cast<size_t>(p.Width()) * static_cast<size_t>(p.Height());
    p.work = work;
    p.renderBlock = block;
    for (int32_t i = 0; i < kJigMaxPlanes; ++i) {
        p.workPlane[i] = i < planes ? work + static_cast<size_t>(i) * area : nullptr;
        p.workStride[i] = i < planes ? p.Width() : 0;
    }
}

void CJigcrafter::ReleaseRender(int32_t index)
{
    JigPiece* p = GetPiece(index);
    if (!p || !p->work) return;
    RenderBlock** blocks = reinterpret_cast<RenderBlock**>(m_renderBlocks.GetData());
    if (p->renderBlock >= 0 && p->renderBlock < m_renderBlockCount) {
        RenderBlock* b = blocks[p->renderBlock];
        if (--b->live <= 0) {
            b->live = 0;
            b->used = 0;
        }
    }
    p->work = nullptr;
    p->renderBlock = -1;
    for (int32_t i = 0; i < kJigMaxPlanes; ++i) {
        p->workPlane[i] = nullptr;
        p->workStride[i] = 0;
    }
}

void CJigcrafter::ReleaseRenderStore(bool keep)
{
    RenderBlock** blocks = reinterpret_cast<RenderBlock**>(m_renderBlocks.GetData());
    size_t total = 0;
    for (int32_t i = 0; i < m_renderBlockCount; ++i) {
        blocks[i]->live = 0;
        blocks[i]->used = 0;
        total += blocks[i]->mem.GetSize();
    }
    if (!keep || total > kKeepRenderBytes) {
        for (int32_t i = 0; i < m_renderBlockCount; ++i) delete blocks[i];
        m_renderBlockCount = 0;
        m_renderBlocks.Free();
    }
    m_renderCurrent = -1;
}

// ---------------------------------------------------------------------------------------------
// Rendering and compositing in one pass.

namespace {

// Whether a piece may be laid over the target once the pieces before `rendered` (in table
// order) are rendered: it is one of them, and so is the last piece reading its box.
inline bool MayLayOver(const int32_t* need, int32_t piece, int32_t rendered)
{
    return piece < rendered && need[piece] < rendered;
}

}  // namespace

bool CJigcrafter::RenderAndComposite(int32_t width, int32_t height, uint8_t* const* planes,
                                     int64_t stride, int32_t planeCount,
                                     const uint8_t* maskPlane, int64_t maskStride, bool unionMode,
                                     double renderFrom, double renderTo, double compositeFrom,
                                     double compositeTo)
{
    const int32_t n = m_pieceCount;
    if (!planes || planeCount < 2 || planeCount > kJigMaxPlanes || width <= 0 || height <= 0)
        return n <= 0;

    const JigPiece* pieces = GetPieces();
    uint8_t* const alphaPlane = planes[planeCount - 1];
    const QWF_Rect whole{0, 0, width, height};
    const int32_t threads = n > 0 ? RenderThreads(width, height) : 1;
    // On one thread the source rows all come in first.
    if (threads <= 1 && m_sourceRows) {
        for (int32_t rows = 0; rows < height;) {
            rows = m_sourceRows->read(m_sourceRows->context);
            if (rows < 0) return false;
        }
    }
    if (n <= 0) return true;
    const double step = (renderTo - renderFrom) / n;
    double progress = renderFrom;
    auto finish = [&]() {
        return FinishRenderComposite(width, height, alphaPlane, stride, maskPlane, maskStride,
                                     compositeFrom, compositeTo);
    };

    // A target apart from every piece's source planes: each piece is laid over it as soon as
    // it is rendered (its image, still in the cache, is given back at once for the next).
    const bool apart = !TargetHoldsSources(planes, stride, planeCount, width, height);
    if (apart && threads <= 1) {
        for (int32_t k = 0; k < n; ++k) {
            if (!RenderPiece(k)) return false;
            progress += step;
            if (SetProgress(progress, 0, 100) && CheckCancel()) return false;
            CompositePiece(pieces[k], whole, planes, stride, planeCount, unionMode);
            ReleaseRender(k);
        }
        return finish();
    }

    // need[c]: the last piece (in table order) that reads pixels of piece c's box, which may
    // be drawn over only once that one is rendered. Over a target apart from the sources, the
    // piece itself. Otherwise the boxes are laid on a grid of square tiles; the last piece on
    // any tile of a box is the last one to render before that box may be drawn over. Tiles a
    // quarter of a typical piece wide keep that close to the last piece whose box really
    // meets it.
    const double side = std::sqrt(static_cast<double>(width) * height / n);
    int32_t tile = 8;
    while (tile < 256 && tile * 8 <= side) tile *= 2;
    const int64_t tilesX = apart ? 0 : (width + tile - 1) / tile;
    const int64_t tilesY = apart ? 0 : (height + tile - 1) / tile;
    const size_t needBytes = static_cast<size_t>(tilesX * tilesY + n) * sizeof(int32_t);
    if (m_compositeNeed.GetSize() < needBytes && !m_compositeNeed.Alloc(needBytes)) {
        ReportMemory();
        return false;
    }
    int32_t* tileLast = reinterpret_cast<int32_t*>(m_compositeNeed.GetData());
    int32_t* need = tileLast + tilesX * tilesY;
    if (apart) {
        for (int32_t c = 0; c < n; ++c) need[c] = c;
    } else {
        std::memset(tileLast, 0xFF, static_cast<size_t>(tilesX * tilesY) * sizeof(int32_t));
        auto tiles = [&](const JigPiece& p, auto&& visit) {
            const int64_t tx0 = (p.left > 0 ? p.left : 0) / tile;
            const int64_t ty0 = (p.top > 0 ? p.top : 0) / tile;
            const int64_t tx1 = ((p.right < width ? p.right : width) - 1) / tile;
            const int64_t ty1 = ((p.bottom < height ? p.bottom : height) - 1) / tile;
            for (int64_t ty = ty0; ty <= ty1; ++ty)
                for (int64_t tx = tx0; tx <= tx1; ++tx) visit(tileLast[ty * tilesX + tx]);
        };
        for (int32_t j = 0; j < n; ++j) tiles(pieces[j], [&](int32_t& t) { t = j; });
        for (int32_t c = 0; c < n; ++c) {
            int32_t last = c;
            tiles(pieces[c], [&](int32_t& t) {
                if (t > last) last = t;
            });
            need[c] = last;
        }
    }
    if (threads > 1) {
        if (!RenderAndCompositeParallel(threads, width, height, planes, stride, planeCount,
                                        unionMode, need, renderFrom, renderTo))
            return false;
        return finish();
    }

    int32_t next = 0;
    for (int32_t k = 0; k < n; ++k) {
        if (!RenderPiece(k)) return false;
        progress += step;
        if (SetProgress(progress, 0, 100) && CheckCancel()) return false;
        while (MayLayOver(need, next, k + 1)) {
            CompositePiece(GetPieces()[next], whole, planes, stride, planeCount, unionMode);
            ReleaseRender(next);
            ++next;
        }
    }
    return finish();
}

// ---------------------------------------------------------------------------------------------
// The parallel render. Pieces are handed out in table order to every thread, the host's
// included, each rendering in a work of its own; the host's thread takes them in table order:
// it reports the progress (the steps of the one-thread run), asks the progress sink about a
// cancel, lays the rendered pieces over the target in table order as soon as every piece
// reading their box is rendered, gives their images back and tells a failure. The pieces whose
// image overlay reads the host's layers are rendered by the host's thread. Images are taken
// from the render store and given back under a lock of their own.

namespace {

// Pieces each thread may render ahead of the composite, beyond those the composite waits for:
// they bound the images alive at a time (a few megabytes), and threads that run out of pieces
// to render wait.
constexpr int32_t kAheadPerThread = 8;
// Pieces rendered ahead, at least: half of them are laid over the target at once. Each lay-over
// shares its strips among the threads and waits for the last, so few large ones keep the
// threads rendering.
constexpr int32_t kAheadLeast = 32;

// The thinnest strip of a group laid over the target by several threads.
constexpr int32_t kStripRows = 16;

}  // namespace

struct CJigcrafter::RenderPipeline : qwp::OrderedWork {
    CJigcrafter& engine;
    int32_t n = 0;
    const int32_t* need = nullptr;
    int32_t ahead = 0;
    int32_t threads = 1;
    std::mutex store;                // the render store: images taken and given back
    CQWF_Mem imageTaken;             // per piece: its image was taken
    int32_t handedOut = 0;           // pieces handed out, in table order
    JigRenderWork* works = nullptr;  // the works of participants 1, 2, ...
    // The composite's target and the progress.
    QWF_Rect whole{};
    uint8_t* const* planes = nullptr;
    int64_t stride = 0;
    int32_t planeCount = 0;
    bool unionMode = false;
    double progress = 0, step = 0;
    int32_t next = 0;  // the next piece to lay over the target
    // The group of pieces [groupBegin, groupEnd) being laid over the target in strips of
    // rows, every piece of the group in table order within each (so every pixel gets its
    // pieces in table order).
    int32_t groupBegin = 0, groupEnd = 0, stripTop = 0, stripRows = 0;

    explicit RenderPipeline(CJigcrafter& e) : engine(e) {}

    // The source rows that come in while the pieces render: those above `rowsIn` are in, and
    // the pieces below `fed` have every row of theirs in.
    const SourceRows* sourceRows = nullptr;
    int32_t height = 0, rowsIn = 0, fed = 0;
    bool readFailed = false;
    // A strip is read ahead of need only every `readEvery` takes (or when this thread would
    // otherwise render, after `readEvery / 4` takes): while it is read no piece is taken, and
    // the renders stop at the window's end; the takes between the strips let them catch up.
    int32_t readEvery = 1, sinceRead = 0;

    // The pieces below this may be rendered while `next` is the next to lay over.
    int32_t Limit() const
    {
        const int32_t wait = next < n ? (need[next] > next ? need[next] : next) + 1 : n;
        return wait + ahead < n ? wait + ahead : n;
    }
    int64_t Window(int64_t) override { return Limit() < fed ? Limit() : fed; }
    // Reads the next strip of the source rows; false when it could not be read.
    bool ReadRows()
    {
        const int32_t rows = sourceRows->read(sourceRows->context);
        if (rows < 0) {
            readFailed = true;
            return false;
        }
        sinceRead = 0;
        rowsIn = rows < height ? rows : height;
        const JigPiece* pieces = engine.GetPieces();
        while (fed < n && (rowsIn >= height || pieces[fed].bottom <= rowsIn)) ++fed;
        return true;
    }
    // Reads rows until the pieces below `k` (at most all) are fed.
    bool FeedTo(int32_t k)
    {
        while (fed < k && fed < n)
            if (!ReadRows()) return false;
        return true;
    }
    bool CallersOwn(int64_t k) override { return engine.ReadsHostLayers(engine.GetPieces()[k]); }
    void HandOut(int64_t k, int) override
    {
        std::lock_guard<std::mutex> held(store);
        imageTaken.GetData()[k] = engine.TakeImage(engine.GetPieces()[k]) ? 1 : 0;
        handedOut = static_cast<int32_t>(k) + 1;
    }
    bool Work(int64_t k, int participant) override
    {
        JigRenderWork& work = participant == 0 ? engine.m_work : works[participant - 1];
        return imageTaken.GetData()[k] && engine.RenderPieceIn(work, static_cast<int32_t>(k), false);
    }
    bool Take(int64_t k, bool rendered) override
    {
        if (readFailed) return false;
        if (!rendered) {
            engine.ReportMemory();
            return false;
        }
        progress += step;
        if (engine.SetProgress(progress, 0, 100) && engine.CheckCancel()) return false;
        // The pieces that may be laid over now: at once when renders of a few threads' worth
        // have become ready, when the renders would soon wait for them, and at the end.
        const int32_t done = static_cast<int32_t>(k) + 1;
        int32_t ready = next;
        while (ready < n && MayLayOver(need, ready, done)) ++ready;
        if (ready > next && (ready - next >= ahead / 2 || done + threads >= Limit() || done == n))
            LayOver(ready);
        // The next piece is always one to hand out; the renders are kept fed ahead of what
        // they may take, a strip at a time, at once when the window reaches the rows not in.
        if (!FeedTo(done + 1)) return false;
        ++sinceRead;
        if (fed < n && (fed < Limit() || (fed < Limit() + 4 * readEvery && sinceRead >= readEvery)) &&
            !ReadRows())
            return false;
        return true;
    }
    // Rather than render a piece itself, the host's thread reads the next strip.
    bool CallerWork() override
    {
        if (readFailed || fed >= n || sinceRead < readEvery / 4) return false;
        ReadRows();
        return true;
    }

    // Lays strip `s` of the group over the target.
    static void Strip(void* context, int64_t s, int)
    {
        RenderPipeline& rp = *static_cast<RenderPipeline*>(context);
        QWF_Rect r = rp.whole;
        r.top = rp.stripTop + static_cast<int32_t>(s) * rp.stripRows;
        r.bottom = r.top + rp.stripRows < rp.whole.bottom ? r.top + rp.stripRows : rp.whole.bottom;
        const JigPiece* pieces = rp.engine.GetPieces();
        for (int32_t k = rp.groupBegin; k < rp.groupEnd; ++k)
            if (pieces[k].top < r.bottom && pieces[k].bottom > r.top)
                rp.engine.CompositePiece(pieces[k], r, rp.planes, rp.stride, rp.planeCount, rp.unionMode);
    }

    // Lays the pieces from `next` up to `ready` over the target: a single piece or a few rows
    // on this thread, else in strips on every thread; then gives their images back.
    void LayOver(int32_t ready)
    {
        const JigPiece* pieces = engine.GetPieces();
        int32_t top = whole.bottom, bottom = whole.top;
        for (int32_t k = next; k < ready; ++k) {
            if (pieces[k].top < top) top = pieces[k].top;
            if (pieces[k].bottom > bottom) bottom = pieces[k].bottom;
        }
        if (top < whole.top) top = whole.top;
        if (bottom > whole.bottom) bottom = whole.bottom;
        const int32_t rows = bottom > top ? bottom - top : 0;
        groupBegin = next;
        groupEnd = ready;
        stripTop = top;
        int32_t strips = rows / kStripRows < 2 * threads ? rows / kStripRows : 2 * threads;
        if (ready - next < 2 || strips < 2) {
            strips = 1;
            stripRows = rows > 0 ? rows : 1;
        } else {
            stripRows = (rows + strips - 1) / strips;
            strips = (rows + stripRows - 1) / stripRows;
        }
        if (strips > 1) ShareParts(strips, Strip, this);
        else Strip(this, 0, 0);
        std::lock_guard<std::mutex> held(store);
        for (int32_t k = groupBegin; k < groupEnd; ++k) engine.GiveBackImage(k);
        next = ready;
    }
};

bool CJigcrafter::RenderAndCompositeParallel(int32_t threads, int32_t width, int32_t height,
                                             uint8_t* const* planes, int64_t stride,
                                             int32_t planeCount, bool unionMode,
                                             const int32_t* need, double renderFrom,
                                             double renderTo)
{
    const int32_t n = m_pieceCount;
    RenderPipeline rp(*this);
    if (!rp.imageTaken.Alloc(static_cast<size_t>(n)) || !m_threadWorks.Make(threads - 1)) {
        ReportMemory();
        return false;
    }
    rp.works = m_threadWorks.Data();
    for (int32_t k = 0; k + 1 < threads; ++k) rp.works[k].readInPlace = false;
    rp.n = n;
    rp.need = need;
    rp.ahead = kAheadPerThread * threads > kAheadLeast ? kAheadPerThread * threads : kAheadLeast;
    rp.threads = threads;
    rp.whole = QWF_Rect{0, 0, width, height};
    rp.planes = planes;
    rp.stride = stride;
    rp.planeCount = planeCount;
    rp.unionMode = unionMode;
    rp.progress = renderFrom;
    rp.step = (renderTo - renderFrom) / n;
    rp.height = height;
    rp.sourceRows = m_sourceRows;
    rp.fed = m_sourceRows ? 0 : n;
    rp.readEvery = rp.ahead / 2;
    // The rows of a first piece for each thread; the others come in as the pieces are taken.
    if (!rp.FeedTo(threads)) return false;
    // The ring holds the most images alive at once: those from the next piece to lay over
    // the target up to the last one that may be handed out meanwhile, and two of the largest
    // image more (the room its end and its start may leave unused: one of them then holds
    // any image).
    const size_t imagePlanes = m_scratchPlaneCount > 0 ? m_scratchPlaneCount : 1;
    auto imageBytes = [&](int32_t k) {
        const JigPiece& p = GetPieces()[k];
        return imagePlanes * static_cast<size_t>(p.Width()) * static_cast<size_t>(p.Height());
    };
    size_t most = 0, largest = 0, window = 0;
    for (int32_t next = 0, end = 0; next < n; ++next) {
        const int32_t wait = (need[next] > next ? need[next] : next) + 1;
        const int32_t limit = wait + rp.ahead < n ? wait + rp.ahead : n;
        for (; end < limit; ++end) {
            window += imageBytes(end);
            if (imageBytes(end) > largest) largest = imageBytes(end);
        }
        if (window > most) most = window;
        window -= imageBytes(next);
    }
    const size_t ringBytes = most + 2 * largest;
    if (m_imageRing.GetSize() < ringBytes && !m_imageRing.Alloc(ringBytes)) m_imageRing.Free();
    m_ringHead = m_ringTail = m_ringEnd = 0;
    m_ringWrapped = false;
    const bool ok = qwp::RunOrdered(n, threads, rp);
    // A failed or cancelled run leaves images out.
    for (int32_t k = 0; k < rp.handedOut; ++k)
        if (GetPieces()[k].work) ReleaseRender(k);
    m_ringHead = m_ringTail = m_ringEnd = 0;
    m_ringWrapped = false;
    return ok;
}

bool CJigcrafter::TakeImage(JigPiece& p)
{
    const int32_t planes = m_scratchPlaneCount > 0 ? m_scratchPlaneCount : 1;
    const size_t area = static_cast<size_t>(p.Width()) * static_cast<size_t>(p.Height());
    const size_t bytes = area * static_cast<size_t>(planes);
    const size_t size = m_imageRing.GetSize();
    size_t at = 0;
    bool fits = false;
    if (!m_ringWrapped) {
        if (size - m_ringHead >= bytes) {
            at = m_ringHead;
            fits = true;
        } else if (m_ringTail > bytes) {
            // On from the start, before the oldest image.
            m_ringEnd = m_ringHead;
            m_ringWrapped = true;
            at = 0;
            fits = true;
        }
    } else if (m_ringTail - m_ringHead > bytes) {
        at = m_ringHead;
        fits = true;
    }
    if (!fits || bytes == 0) return AllocRender(p);
    m_ringHead = at + bytes;
    SetWorkImage(p, m_imageRing.GetData() + at, -2);
    return true;
}

void CJigcrafter::GiveBackImage(int32_t index)
{
    JigPiece* p = GetPiece(index);
    if (!p) return;
    if (p->work && p->renderBlock == -2) {
        // The oldest image out: the ring's tail moves past it.
        const int32_t planes = m_scratchPlaneCount > 0 ? m_scratchPlaneCount : 1;
        m_ringTail = static_cast<size_t>(p->work - m_imageRing.GetData()) +
                     static_cast<size_t>(p->Width()) * static_cast<size_t>(p->Height()) *
                         static_cast<size_t>(planes);
        if (m_ringWrapped && m_ringTail == m_ringEnd) {
            m_ringTail = 0;
            m_ringWrapped = false;
        }
        if (!m_ringWrapped && m_ringTail == m_ringHead) m_ringHead = m_ringTail = 0;
        p->renderBlock = -1;
    }
    ReleaseRender(index);
}

int32_t CJigcrafter::RenderThreads(int32_t width, int32_t height) const
{
    int32_t threads = qwp::ThreadCount();
    if (threads > m_pieceCount) threads = m_pieceCount;
    if (threads <= 1) return 1;
    // Every further thread works in a scratch image and its effects' buffers of its own and
    // renders a few pieces ahead: together no more than an eighth of the picture's planes
    // (or 16 MiB for a small picture).
    const double planes = m_scratchPlaneCount > 0 ? m_scratchPlaneCount : 1;
    const double box = static_cast<double>(m_widest) * m_tallest;
    const double perThread = (3.0 * planes + 16.0) * box;
    double budget = static_cast<double>(width) * height * planes / 8.0;
    if (budget < 16.0 * 1048576.0) budget = 16.0 * 1048576.0;
    const double fit = budget / (perThread > 1.0 ? perThread : 1.0);
    if (fit < threads - 1) threads = static_cast<int32_t>(fit) + 1;
    return threads < 1 ? 1 : threads;
}

bool CJigcrafter::TargetHoldsSources(uint8_t* const* planes, int64_t stride, int32_t planeCount,
                                     int32_t width, int32_t height) const
{
    // Address ranges (as integers: the blocks are unrelated) of the target's planes.
    uintptr_t from[kJigMaxPlanes] = {}, to[kJigMaxPlanes] = {};
    const uintptr_t span = static_cast<uintptr_t>((height - 1) * stride + width);
    for (int32_t i = 0; i < planeCount && i < kJigMaxPlanes; ++i) {
        from[i] = reinterpret_cast<uintptr_t>(planes[i]);
        to[i] = from[i] + span;
    }
    for (int32_t k = 0; k < m_pieceCount; ++k) {
        const JigPiece& p = *GetPiece(k);
        if (p.Width() <= 0 || p.Height() <= 0) continue;
        for (int32_t c = 0; c < kJigMaxPlanes; ++c) {
            if (!p.source[c]) continue;
            const uintptr_t a = reinterpret_cast<uintptr_t>(p.source[c]);
            const uintptr_t b = a + static_cast<uintptr_t>((p.Height() - 1) * p.sourceStride[c] +
                                                          p.Width());
            for (int32_t i = 0; i < planeCount && i < kJigMaxPlanes; ++i)
                if (a < to[i] && from[i] < b) return true;
        }
    }
    return false;
}

bool CJigcrafter::FinishRenderComposite(int32_t width, int32_t height, uint8_t* alphaPlane,
                                        int64_t stride, const uint8_t* maskPlane,
                                        int64_t maskStride, double compositeFrom,
                                        double compositeTo)
{
    // Steps 5 and 6 of Composite.
    if (SetProgress(90, compositeFrom, compositeTo) && CheckCancel()) return false;
    // A mask given as one row of 255 (row stride 0) limits nothing.
    bool opaqueRow = maskPlane && maskStride == 0;
    for (int32_t x = 0; opaqueRow && x < width; ++x) opaqueRow = maskPlane[x] == 255;
    if (maskPlane && !opaqueRow) {
        for (int64_t y = 0; y < height; ++y) {
            uint8_t* da = alphaPlane + y * stride;
            const uint8_t* m = maskPlane + y * maskStride;
            for (int32_t x = 0; x < width; ++x)
                if (m[x] < da[x]) da[x] = m[x];
        }
    }
    SetProgress(100, compositeFrom, compositeTo);
    return !CheckCancel();
}
