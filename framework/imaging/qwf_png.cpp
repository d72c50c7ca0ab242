#include "framework/imaging/qwf_png.h"

#include <png.h>
#include <zlib.h>

#include "framework/core/qwf_endian.h"
#include "framework/imaging/qwf_png_area.h"

#include <csetjmp>
#include <cstring>
#include <new>

namespace {

bool IsZero(const uint8_t* bytes, size_t count)
{
    uint8_t any = 0;
    for (size_t i = 0; i < count; ++i) any |= bytes[i];
    return any == 0;
}
// True when every chunk up to IEND lies inside the bytes: a chunk that claims more than the
// file holds is refused before libpng sizes a buffer by its claim (it clears the whole buffer,
// so a 100-byte file could cost gigabytes).
bool ChunksFit(const uint8_t* bytes, size_t length)
{
    size_t pos = 8;
    while (pos < length) {
        if (length - pos < 12) return false;
        const uint64_t n = qwf::GetBE32(bytes + pos);
        if (n > length - pos - 12) return false;
        if (std::memcmp(bytes + pos + 4, "IEND", 4) == 0) return true;
        pos += 12 + size_t(n);
    }
    return true;  // no IEND: libpng reports the end of the data
}

// png_error without libpng's message on the standard error stream.
void SilentError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void SilentWarning(png_structp, png_const_charp) {}
}  // namespace

CQWF_ImagePNG::~CQWF_ImagePNG() { Release(); }

void CQWF_ImagePNG::Release()
{
    m_row.Free();
    m_pixels.Free();
    delete m_area;
    m_area = nullptr;
}

uint32_t CQWF_ImagePNG::PixelsPerMetre(double resolution)
{
    double ppm = resolution * 100.0 / 2.54;
    if (!(ppm >= 0)) return 0;
    if (ppm >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(ppm);
}

void CQWF_ImagePNG::WriteCallback(png_structp png, png_bytep data, size_t length)
{
    auto* self = static_cast<CQWF_ImagePNG*>(png_get_io_ptr(png));
    if (!self->WriteBytes(data, length)) png_error(png, "write failed");
}

void CQWF_ImagePNG::FlushCallback(png_structp png)
{
    auto* self = static_cast<CQWF_ImagePNG*>(png_get_io_ptr(png));
    if (!self->Flush()) png_error(png, "flush failed");
}

void CQWF_ImagePNG::ReadCallback(png_structp png, png_bytep data, size_t length)
{
    auto* self = static_cast<CQWF_ImagePNG*>(png_get_io_ptr(png));
    if (static_cast<size_t>(self->m_readEnd - self->m_readPos) < length)
        png_error(png, "read past the end");
    std::memcpy(data, self->m_readPos, length);
    self->m_readPos += length;
}

bool CQWF_ImagePNG::Write(const QWF_PNGSettings& s)
{
    ClearError();
    if (IsCancelled()) return false;
    ReportPercent(1);
    if (!m_file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    bool ok = WriteStream(png, info, s);
    png_destroy_write_struct(&png, &info);
    if (ok) ReportPercent(100);
    return ok;
}

bool CQWF_ImagePNG::WriteStream(void* pngv, void* infov, const QWF_PNGSettings& s)
{
    png_structp png = static_cast<png_structp>(pngv);
    png_infop info = static_cast<png_infop>(infov);
    if (setjmp(png_jmpbuf(png))) {
        // A failed block write has already taken the file's code.
        if (!HasError()) SetError(QWF_ERR_MEMORY);
        return false;
    }
    if (IsCancelled()) return false;
    ReportPercent(2);
    png_set_write_fn(png, this, &WriteCallback, &FlushCallback);

    int channels, colorType;
    if (s.mode == QWF_PNG_RGBA) {
        channels = 4;
        colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    } else if (s.mode == QWF_PNG_GRAYA) {
        channels = 2;
        colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    } else {
        SetError(QWF_ERR_IMAGE_FORMAT);
        return false;
    }
    // The format has no empty images; an area lies inside its picture.
    const bool area = s.areaWidth != 0;
    if (s.width <= 0 || s.height <= 0 ||
        (area && (s.mode != QWF_PNG_RGBA || s.areaWidth < 0 || s.areaHeight <= 0 || s.areaLeft < 0 ||
                  s.areaTop < 0 || s.areaLeft > s.width - s.areaWidth || s.areaTop > s.height - s.areaHeight))) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    for (int j = 0; j < channels && !area; ++j) {
        if (!s.planes[j]) {
            SetError(QWF_ERR_ARGUMENT);
            return false;
        }
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(s.width), static_cast<png_uint_32>(s.height), 8,
                 colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_text text[2];
    std::memset(text, 0, sizeof text);
    text[0].compression = PNG_TEXT_COMPRESSION_NONE;
    text[0].key = const_cast<char*>("Generator");
    text[0].text = const_cast<char*>("Quarrow. FrameWork");
    text[1].compression = PNG_TEXT_COMPRESSION_NONE;
    text[1].key = const_cast<char*>("Product");
    text[1].text = const_cast<char*>(s.product ? s.product : "");
    png_set_text(png, info, text, 2);
    const uint32_t ppm = PixelsPerMetre(s.resolution);
    png_set_pHYs(png, info, ppm, ppm, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    if (IsCancelled()) return false;
    ReportPercent(10);
    if (area ? !WriteArea(s) : !WriteRows(png, info, s, static_cast<size_t>(channels))) return false;
    // The stream buffers of the file may still hold the tail: a full disk shows here.
    if (!Flush()) return false;
    if (IsCancelled()) return false;
    ReportPercent(98);
    return true;
}

bool CQWF_ImagePNG::WriteRows(void* pngv, void* infov, const QWF_PNGSettings& s, size_t channels)
{
    png_structp png = static_cast<png_structp>(pngv);
    png_infop info = static_cast<png_infop>(infov);
    const size_t width = static_cast<size_t>(s.width);
    const size_t height = static_cast<size_t>(s.height);
    const size_t rowBytes = width * channels;
    if (!m_row.Alloc(rowBytes * 2)) {
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    if (IsCancelled()) return false;
    ReportPercent(12);
    uint8_t* row = m_row.GetData();
    uint8_t* previous = row + rowBytes;
    uint8_t lastFilter = PNG_ALL_FILTERS;
    for (size_t y = 0; y < height; ++y) {
        const int64_t off = static_cast<int64_t>(y) * s.stride;
        for (size_t j = 0; j < channels; ++j) {
            const uint8_t* src = s.planes[j] + off;
            uint8_t* dst = row + j;
            if (j == channels - 1 && s.alphaMap)
                for (size_t x = 0; x < width; ++x, dst += channels) *dst = s.alphaMap[src[x]];
            else
                for (size_t x = 0; x < width; ++x, dst += channels) *dst = src[x];
        }
        // The transparent canvas around a piece repeats one row thousands of times. For such
        // rows the adaptive choice is known without trying every filter: a row of zeros stays
        // unfiltered, a row equal to the one above takes "up" (all zeros, the only zero sum).
        // The bytes written are the ones the full trial would write.
        uint8_t filter = PNG_ALL_FILTERS;
        if (IsZero(row, rowBytes))
            filter = PNG_FILTER_NONE;
        else if (y > 0 && std::memcmp(row, previous, rowBytes) == 0)
            filter = PNG_FILTER_UP;
        if (filter != lastFilter) {
            png_set_filter(png, 0, filter);
            lastFilter = filter;
        }
        std::memcpy(previous, row, rowBytes);
        png_write_row(png, row);
        if (IsCancelled()) return false;
        ReportPercent(static_cast<int>(12 + y * 83 / height));
    }
    if (IsCancelled()) return false;
    ReportPercent(95);
    png_write_end(png, info);
    return true;
}

namespace {
constexpr size_t kIdatBytes = 8192;  // libpng's IDAT chunks
}  // namespace

bool CQWF_ImagePNG::WriteChunk(const char* type, const uint8_t* data, size_t length)
{
    uint8_t head[8];
    qwf::PutBE32(head, static_cast<uint32_t>(length));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0L, head + 4, 4);
    if (length) crc = crc32(crc, data, static_cast<uInt>(length));
    uint8_t tail[4];
    qwf::PutBE32(tail, static_cast<uint32_t>(crc));
    return WriteBytes(head, sizeof head) && (!length || WriteBytes(data, length)) && WriteBytes(tail, sizeof tail);
}

bool CQWF_ImagePNG::WriteArea(const QWF_PNGSettings& s)
{
    if (!m_area) m_area = new (std::nothrow) CQWF_PNGAreaCoder;
    if (!m_area) {
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    struct Output {
        CQWF_ImagePNG* self;
        int32_t height;
        size_t used;
        uint8_t bytes[kIdatBytes];
        static bool Put(const uint8_t* p, size_t n, void* context)
        {
            auto* o = static_cast<Output*>(context);
            while (n) {
                const size_t take = n < kIdatBytes - o->used ? n : kIdatBytes - o->used;
                std::memcpy(o->bytes + o->used, p, take);
                o->used += take;
                p += take;
                n -= take;
                if (o->used == kIdatBytes) {
                    if (!o->self->WriteChunk("IDAT", o->bytes, o->used)) return false;
                    o->used = 0;
                }
            }
            return true;
        }
        static bool Step(int32_t rows, void* context)
        {
            auto* o = static_cast<Output*>(context);
            if (o->self->IsCancelled()) return false;
            o->self->ReportPercent(static_cast<int>(12 + static_cast<int64_t>(rows - 1) * 83 / o->height));
            return true;
        }
    };
    Output out{this, s.height, 0, {}};
    ReportPercent(12);
    const CQWF_PNGAreaCoder::Result r = m_area->Code(s, &Output::Put, &Output::Step, &out);
    if (r == CQWF_PNGAreaCoder::Result::kNoMemory) SetError(QWF_ERR_MEMORY);
    if (r != CQWF_PNGAreaCoder::Result::kDone) return false;
    if (out.used && !WriteChunk("IDAT", out.bytes, out.used)) return false;
    if (IsCancelled()) return false;
    ReportPercent(95);
    return WriteChunk("IEND", nullptr, 0);
}

// ---------------------------------------------------------------------------------------------
// Reading

bool CQWF_ImagePNG::ReadInfo(const uint8_t* bytes, size_t length) { return Read(bytes, length, false); }

bool CQWF_ImagePNG::ReadImage(const uint8_t* bytes, size_t length) { return Read(bytes, length, true); }

bool CQWF_ImagePNG::Read(const uint8_t* bytes, size_t length, bool pixels)
{
    ClearError();
    const size_t sig = length < 8 ? length : 8;
    if (!bytes || length < 4 || png_sig_cmp(bytes, 0, sig) != 0) {
        SetError(QWF_ERR_IMAGE_FORMAT2);
        return false;
    }
    if (!ChunksFit(bytes, length)) {
        SetError(QWF_ERR_IMAGE_FORMAT);
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, &SilentError,
                                             &SilentWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_read_struct(&png, &info, nullptr);
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    // Compressed text and profiles inflate to at most 8 MB (libpng's limit for applications that
    // set their own).
    png_set_chunk_malloc_max(png, 8000000);
    m_readPos = bytes;
    m_readEnd = bytes + length;
    if (pixels) FreePlanes();
    bool ok = ReadStream(png, info, pixels);
    png_destroy_read_struct(&png, &info, nullptr);
    m_pixels.Free();
    m_readPos = m_readEnd = nullptr;
    if (!ok && pixels) FreePlanes();
    return ok;
}

bool CQWF_ImagePNG::ReadStream(void* pngv, void* infov, bool pixels)
{
    png_structp png = static_cast<png_structp>(pngv);
    png_infop info = static_cast<png_infop>(infov);
    if (setjmp(png_jmpbuf(png))) {
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    png_set_read_fn(png, this, &ReadCallback);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
    if (width > 65535 || height > 65535) {
        SetError(QWF_ERR_IMAGE_FORMAT);
        return false;
    }
    m_width = static_cast<uint16_t>(width);
    m_height = static_cast<uint16_t>(height);
    m_depth = 8;
    m_colorMode = (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
                      ? QWF_MODE_GRAY
                      : QWF_MODE_RGB;
    if (!pixels) return true;

    if (colorType == PNG_COLOR_TYPE_PALETTE || (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) ||
        png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_expand(png);
    png_set_strip_16(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t channels = png_get_channels(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    const size_t w = width, h = height, plane = w * h;
    if (!m_pixels.AllocZeroed(rowBytes * h != 0 ? rowBytes * h : 1)) {
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    for (int pass = 0; pass < passes; ++pass) {
        for (size_t y = 0; y < h; ++y) {
            png_read_row(png, m_pixels.GetData() + y * rowBytes, nullptr);
            if (IsCancelled()) return false;
        }
    }
    png_read_end(png, nullptr);

    // Gray (1), gray + alpha (2), RGB (3), RGB + alpha (4).
    const size_t colors = channels >= 3 ? 3 : 1;
    const bool alpha = channels == 2 || channels == 4;
    for (size_t k = 0; k <= colors; ++k) {
        CQWF_Mem& m = k == colors ? m_planes[0] : m_planes[k + 1];
        if (!m.Alloc(plane ? plane : 1)) {
            SetError(QWF_ERR_MEMORY);
            return false;
        }
    }
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* src = m_pixels.GetData() + y * rowBytes;
        for (size_t k = 0; k < colors; ++k) {
            uint8_t* dst = m_planes[k + 1].GetData() + y * w;
            for (size_t x = 0; x < w; ++x) dst[x] = src[x * channels + k];
        }
        uint8_t* a = m_planes[0].GetData() + y * w;
        if (alpha)
            for (size_t x = 0; x < w; ++x) a[x] = src[x * channels + colors];
        else
            std::memset(a, 255, w);
    }
    return true;
}
