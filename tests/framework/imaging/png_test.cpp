#include "framework/imaging/qwf_png.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_file.h"
#include "framework/core/qwf_progress.h"
#include "platform/qw_paths.h"
#include "support/test_support.h"

namespace {

// Planes whose last row ends at a guarded page.
struct Picture {
    int w = 0, h = 0, stride = 0;
    qwtest::GuardedBytes p[4];
    void Make(int width, int height, int pad, bool alphaRamp)
    {
        w = width;
        h = height;
        stride = width + pad;
        for (auto& v : p) v = qwtest::GuardedBytes(static_cast<size_t>(stride) * (h - 1) + w, 0xEE);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                size_t i = static_cast<size_t>(y) * stride + x;
                p[0][i] = static_cast<uint8_t>(x * 9 + y);
                p[1][i] = static_cast<uint8_t>(y * 13);
                p[2][i] = static_cast<uint8_t>(x ^ y);
                p[3][i] = alphaRamp ? static_cast<uint8_t>(x * 255 / (w > 1 ? w - 1 : 1)) : 255;
            }
    }
};

QWF_PNGSettings Settings(const Picture& pic, uint8_t mode, double resolution)
{
    QWF_PNGSettings s;
    s.width = static_cast<int16_t>(pic.w);
    s.height = static_cast<int16_t>(pic.h);
    s.mode = mode;
    if (mode == QWF_PNG_RGBA) {
        for (int k = 0; k < 4; ++k) s.planes[k] = pic.p[k].data();
    } else {
        s.planes[0] = pic.p[0].data();
        s.planes[1] = pic.p[3].data();
    }
    s.stride = pic.stride;
    s.product = "Quarrow. Jigcrafter 3.0";
    s.resolution = resolution;
    return s;
}

bool WritePng(const std::string& path, const QWF_PNGSettings& s, CQWF_ImagePNG& png)
{
    CQWF_StdFile f;
    if (!f.Open(qwp::ToWindowsPath(path.c_str()).c_str(), CQWF_StdFile::kModeWrite)) return false;
    if (!png.AttachFile(&f)) return false;
    bool ok = png.Write(s);
    f.Close();
    return ok;
}

using qwtest::BE32;

// Chunk types in file order with their data.
std::vector<std::pair<std::string, std::string>> Chunks(const std::string& d)
{
    std::vector<std::pair<std::string, std::string>> out;
    size_t p = 8;
    while (p + 12 <= d.size()) {
        uint32_t len = BE32(d, p);
        if (p + 12 + len > d.size()) break;
        out.emplace_back(d.substr(p + 4, 4), d.substr(p + 8, len));
        p += 12 + len;
    }
    return out;
}

// A PNG of another kind than ours, written straight through libpng into memory.
std::string EncodeOther(int w, int h, int colorType, int depth, bool interlaced,
                        const std::vector<uint8_t>& rows, bool trns = false)
{
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t n) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), n);
        },
        nullptr);
    png_set_IHDR(png, info, w, h, depth, colorType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette, 4);
    png_byte alphas[4] = {0, 128, 255, 255};
    png_color_16 grayKey{};
    grayKey.gray = 3;
    if (trns)
        png_set_tRNS(png, info, alphas, 4,
                     colorType == PNG_COLOR_TYPE_PALETTE ? nullptr : &grayKey);
    png_write_info(png, info);
    const size_t rowBytes = rows.size() / h;
    std::vector<png_bytep> ptrs(h);
    for (int y = 0; y < h; ++y) ptrs[y] = const_cast<png_bytep>(rows.data() + y * rowBytes);
    png_write_image(png, ptrs.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// The bytes a zlib stream inflates to, when it ends where it should (its sum checked by zlib)
// after exactly `size` bytes; empty otherwise.
std::vector<uint8_t> Inflate(const std::string& stream, size_t size)
{
    std::vector<uint8_t> out(size + 1);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return {};
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const bool ended = inflate(&z, Z_FINISH) == Z_STREAM_END && z.avail_in == 0 && z.total_out == size;
    inflateEnd(&z);
    if (!ended) return {};
    out.resize(size);
    return out;
}

class CancelAfter : public CQWF_Progress {
public:
    explicit CancelAfter(int p) : m_at(p) {}
    void SetPercent(uint8_t p) override
    {
        if (p > m_at) Cancel();
    }

private:
    int m_at;
};

}  // namespace

TEST(PngWrite, ChunksResolutionAndRoundTrip)
{
    EXPECT_EQ(CQWF_ImagePNG::PixelsPerMetre(72), 2834u);
    EXPECT_EQ(CQWF_ImagePNG::PixelsPerMetre(300), 11811u);
    EXPECT_EQ(CQWF_ImagePNG::PixelsPerMetre(-5), 0u);

    qwtest::TempDir tmp;
    Picture pic;
    pic.Make(7, 5, 3, true);
    CQWF_ImagePNG png;
    ASSERT_TRUE(WritePng(tmp.File("a.png"), Settings(pic, QWF_PNG_RGBA, 72), png));
    std::string d = qwtest::FileBytes(tmp.File("a.png"));
    auto chunks = Chunks(d);
    ASSERT_GE(chunks.size(), 6u);
    EXPECT_EQ(chunks[0].first, "IHDR");
    EXPECT_EQ(uint8_t(chunks[0].second[8]), 8);  // bit depth
    EXPECT_EQ(uint8_t(chunks[0].second[9]), 6);  // RGB with alpha
    EXPECT_EQ(uint8_t(chunks[0].second[12]), 0);  // not interlaced
    int text = 0, phys = 0;
    for (auto& c : chunks) {
        if (c.first == "tEXt") {
            EXPECT_EQ(c.second, text == 0 ? std::string("Generator\0Quarrow. FrameWork", 28)
                                          : std::string("Product\0Quarrow. Jigcrafter 3.0", 31));
            ++text;
        }
        if (c.first == "pHYs") {
            ++phys;
            EXPECT_EQ(BE32(c.second, 0), 2834u);
            EXPECT_EQ(BE32(c.second, 4), 2834u);
            EXPECT_EQ(c.second[8], 1);
        }
    }
    EXPECT_EQ(text, 2);
    EXPECT_EQ(phys, 1);
    EXPECT_EQ(chunks.back().first, "IEND");

    CQWF_ImagePNG reader;
    ASSERT_TRUE(reader.ReadInfo(reinterpret_cast<const uint8_t*>(d.data()), d.size()));
    EXPECT_EQ(reader.GetColorMode(), QWF_MODE_RGB);
    EXPECT_EQ(reader.GetDepth(), 8);
    // The format's two texts stay empty: the text chunks are not read into them.
    EXPECT_EQ(reader.GetText1().GetLength(), 0);
    EXPECT_EQ(reader.GetText2().GetLength(), 0);
    ASSERT_TRUE(reader.ReadImage(reinterpret_cast<const uint8_t*>(d.data()), d.size()));
    uint16_t w, h;
    reader.GetSize(w, h);
    ASSERT_EQ(w, 7);
    ASSERT_EQ(h, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            EXPECT_EQ(reader.GetPlaneData(0)[y * 7 + x], pic.p[0][y * pic.stride + x]);
            EXPECT_EQ(reader.GetPlaneData(2)[y * 7 + x], pic.p[2][y * pic.stride + x]);
            EXPECT_EQ(reader.GetPlaneData(QWF_PLANE_ALPHA)[y * 7 + x], pic.p[3][y * pic.stride + x]);
        }

    // Grey with alpha: two bytes per pixel.
    ASSERT_TRUE(WritePng(tmp.File("g.png"), Settings(pic, QWF_PNG_GRAYA, 300), png));
    d = qwtest::FileBytes(tmp.File("g.png"));
    chunks = Chunks(d);
    EXPECT_EQ(uint8_t(chunks[0].second[9]), 4);
    ASSERT_TRUE(reader.ReadImage(reinterpret_cast<const uint8_t*>(d.data()), d.size()));
    EXPECT_EQ(reader.GetColorMode(), QWF_MODE_GRAY);
    EXPECT_EQ(reader.GetPlaneData(0)[8], pic.p[0][pic.stride + 1]);
    EXPECT_EQ(reader.GetPlaneData(QWF_PLANE_ALPHA)[8], pic.p[3][pic.stride + 1]);
    EXPECT_EQ(reader.GetPlaneData(1), nullptr);
}

// A canvas of repeated transparent rows, empty rows and a piece in between: the written pixel
// stream (filter bytes included) is the one libpng's own adaptive choice gives row by row.
TEST(PngWrite, RepeatedAndEmptyRowsFilterAsTheFullTrial)
{
    for (int w : {1, 2, 64}) {
        Picture pic;
        pic.Make(w, 40, 3, true);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < w; ++x) {
                const size_t i = static_cast<size_t>(y) * pic.stride + x;
                const bool canvas = y < 10 || y >= 26;
                const bool empty = y >= 10 && y < 15;
                const bool copy = y == 20 || y == 21;  // equal to row 19
                const int sy = copy ? 19 : y;
                for (int c = 0; c < 3; ++c)
                    pic.p[c][i] = canvas ? 255 : empty ? 0 : static_cast<uint8_t>(x * (c + 3) + sy * 7);
                pic.p[3][i] = canvas || empty ? 0 : static_cast<uint8_t>(40 + x + sy);
            }
        std::vector<uint8_t> rows;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 4; ++c) rows.push_back(pic.p[c][static_cast<size_t>(y) * pic.stride + x]);
        qwtest::TempDir tmp;
        CQWF_ImagePNG png;
        ASSERT_TRUE(WritePng(tmp.File("c.png"), Settings(pic, QWF_PNG_RGBA, 72), png));
        std::string ours, theirs;
        for (auto& c : Chunks(qwtest::FileBytes(tmp.File("c.png"))))
            if (c.first == "IDAT") ours += c.second;
        for (auto& c : Chunks(EncodeOther(w, 40, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, rows)))
            if (c.first == "IDAT") theirs += c.second;
        EXPECT_FALSE(ours.empty());
        EXPECT_EQ(ours, theirs) << "width " << w;
    }
}

// A picture that is one colour outside an area (a piece on its transparent canvas), written from
// the area's planes alone: it decodes to the pixels of the whole picture, its zlib stream is whole
// (checksum included), its other chunks are those of the whole picture written row by row, and
// the area's rows are filtered as libpng filters them (so they compress as they did).
TEST(PngWrite, AnAreaOnOneColourDecodesAsTheWholePicture)
{
    struct Case {
        int w, h, left, top, aw, ah;
        bool mapped;     // alpha written through a table (a * 128 / 255)
        bool noGreen;    // no green plane: the outside colour's green inside the area too
        uint32_t outside;
    } cases[] = {
        {64, 300, 10, 140, 20, 5, false, false, 0x00FFFFFFu},  // 140 rows above, 145 below
        {64, 300, 0, 0, 30, 7, true, false, 0x00FFFFFFu},      // at the top left corner
        {64, 300, 40, 290, 24, 10, false, true, 0x80402010u},  // at the bottom right corner
        {64, 300, 0, 129, 64, 1, true, false, 0x00FFFFFFu},    // one row, the whole width
        {64, 30, 3, 1, 50, 28, false, false, 0x00FFFFFFu},     // one row above, one below
        {64, 40, 0, 0, 64, 40, false, false, 0x00FFFFFFu},     // the whole picture
        {1, 9, 0, 5, 1, 1, false, false, 0x00FFFFFFu},
        {3000, 20, 1200, 3, 500, 9, true, false, 0x00FFFFFFu},
    };
    uint8_t map[256];
    for (int a = 0; a < 256; ++a) map[a] = static_cast<uint8_t>(a * 128 / 255);
    qwtest::TempDir tmp;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " area " << c.left << "," << c.top);
        Picture area;
        area.Make(c.aw, c.ah, 5, true);
        // The whole picture as the test builds it.
        Picture whole;
        whole.Make(c.w, c.h, 0, false);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                const size_t i = static_cast<size_t>(y) * c.w + x;
                const bool in = x >= c.left && x < c.left + c.aw && y >= c.top && y < c.top + c.ah;
                const size_t j = in ? static_cast<size_t>(y - c.top) * area.stride + (x - c.left) : 0;
                for (int k = 0; k < 4; ++k) {
                    const uint8_t out = static_cast<uint8_t>(c.outside >> (8 * k));
                    uint8_t v = in && !(k == 1 && c.noGreen) ? area.p[k][j] : out;
                    if (in && k == 3 && c.mapped) v = map[v];
                    whole.p[k][i] = v;
                }
            }
        QWF_PNGSettings s = Settings(area, QWF_PNG_RGBA, 72);
        s.width = static_cast<int16_t>(c.w);
        s.height = static_cast<int16_t>(c.h);
        s.areaLeft = c.left;
        s.areaTop = c.top;
        s.areaWidth = c.aw;
        s.areaHeight = c.ah;
        s.outside = c.outside;
        if (c.mapped) s.alphaMap = map;
        if (c.noGreen) s.planes[1] = nullptr;
        CQWF_ImagePNG png;
        ASSERT_TRUE(WritePng(tmp.File("area.png"), s, png));
        ASSERT_TRUE(WritePng(tmp.File("whole.png"), Settings(whole, QWF_PNG_RGBA, 72), png));
        const std::string a = qwtest::FileBytes(tmp.File("area.png")), b = qwtest::FileBytes(tmp.File("whole.png"));
        ASSERT_EQ(a.compare(0, 8, b, 0, 8), 0);

        std::vector<std::pair<std::string, std::string>> other[2];
        std::string idat;
        for (int f = 0; f < 2; ++f)
            for (auto& chunk : Chunks(f ? b : a)) {
                if (chunk.first != "IDAT") {
                    other[f].push_back(chunk);
                    continue;
                }
                if (f == 0) {
                    EXPECT_LE(chunk.second.size(), 8192u);
                    idat += chunk.second;
                }
            }
        EXPECT_EQ(other[0], other[1]);
        // The stream inflates to its end, where zlib checks the sum, and to one filter byte and
        // four bytes a pixel per row.
        const size_t rowBytes = static_cast<size_t>(c.w) * 4 + 1;
        std::vector<uint8_t> rows = Inflate(idat, rowBytes * c.h);
        ASSERT_EQ(rows.size(), rowBytes * c.h);
        std::vector<uint8_t> pixels;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                for (int k = 0; k < 4; ++k) pixels.push_back(whole.p[k][static_cast<size_t>(y) * c.w + x]);
        std::string theirs;
        for (auto& chunk : Chunks(EncodeOther(c.w, c.h, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, pixels)))
            if (chunk.first == "IDAT") theirs += chunk.second;
        const std::vector<uint8_t> libpngRows = Inflate(theirs, rowBytes * c.h);
        ASSERT_EQ(libpngRows.size(), rows.size());
        EXPECT_TRUE(std::equal(rows.begin() + rowBytes * c.top, rows.begin() + rowBytes * (c.top + c.ah),
                               libpngRows.begin() + rowBytes * c.top));

        CQWF_ImagePNG reader;
        ASSERT_TRUE(reader.ReadImage(reinterpret_cast<const uint8_t*>(a.data()), a.size()));
        uint16_t w = 0, h = 0;
        reader.GetSize(w, h);
        ASSERT_EQ(w, c.w);
        ASSERT_EQ(h, c.h);
        const int planes[4] = {0, 1, 2, QWF_PLANE_ALPHA};
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(std::memcmp(reader.GetPlaneData(planes[k]), whole.p[k].data(), whole.p[k].size()), 0)
                << "channel " << k;
    }
}

TEST(PngWrite, FailuresReturnFalse)
{
    qwtest::TempDir tmp;
    Picture pic;
    pic.Make(16, 16, 0, false);
    CQWF_ImagePNG png;
    EXPECT_FALSE(png.Write(Settings(pic, QWF_PNG_RGBA, 72)));  // no file

    QWF_PNGSettings bad = Settings(pic, QWF_PNG_RGBA, 72);
    bad.mode = 3;
    EXPECT_FALSE(WritePng(tmp.File("m.png"), bad, png));
    EXPECT_EQ(png.GetError(), QWF_ERR_IMAGE_FORMAT);
    bad = Settings(pic, QWF_PNG_RGBA, 72);
    bad.height = 0;
    EXPECT_FALSE(WritePng(tmp.File("z.png"), bad, png));
    EXPECT_EQ(png.GetError(), QWF_ERR_ARGUMENT);

    // Cancelling after the first row leaves a truncated file and no error code.
    CancelAfter cancel(12);
    png.SetProgress(&cancel);
    EXPECT_FALSE(WritePng(tmp.File("c.png"), Settings(pic, QWF_PNG_RGBA, 72), png));
    EXPECT_EQ(png.GetError(), 0);
    png.SetProgress(nullptr);
    std::string d = qwtest::FileBytes(tmp.File("c.png"));
    EXPECT_GT(d.size(), 8u);
    EXPECT_EQ(d.find("IEND"), std::string::npos);

    // A full disk anywhere in the stream makes the write fail.
    CQWF_StdFile full;
    if (!full.Open("Z:\\dev\\full", CQWF_StdFile::kModeWrite)) GTEST_SKIP() << "no /dev/full";
    ASSERT_TRUE(png.AttachFile(&full));
    EXPECT_FALSE(png.Write(Settings(pic, QWF_PNG_RGBA, 72)));
    EXPECT_NE(png.GetError(), 0);
    Picture big;
    big.Make(2000, 400, 0, true);
    EXPECT_FALSE(png.Write(Settings(big, QWF_PNG_RGBA, 72)));
    EXPECT_NE(png.GetError(), 0);
}

TEST(PngRead, OtherKindsAreExpanded)
{
    CQWF_ImagePNG r;
    // Palette with transparency, 2 bits per pixel, interlaced.
    std::vector<uint8_t> rows = {0x1B, 0xE4};  // 4 x 2: indices 0 1 2 3 / 3 2 1 0
    std::string d = EncodeOther(4, 2, PNG_COLOR_TYPE_PALETTE, 2, true, rows, true);
    ASSERT_TRUE(r.ReadImage(reinterpret_cast<const uint8_t*>(d.data()), d.size()));
    EXPECT_EQ(r.GetColorMode(), QWF_MODE_RGB);
    const uint8_t* red = r.GetPlaneData(0);
    const uint8_t* alpha = r.GetPlaneData(QWF_PLANE_ALPHA);
    EXPECT_EQ(red[1], 255);
    EXPECT_EQ(r.GetPlaneData(2)[3], 255);
    EXPECT_EQ(alpha[0], 0);
    EXPECT_EQ(alpha[1], 128);
    EXPECT_EQ(alpha[4], 255);

    // 16-bit grey without alpha: stripped to 8 bits, opaque.
    rows = {0x12, 0x34, 0xAB, 0xCD};
    d = EncodeOther(2, 1, PNG_COLOR_TYPE_GRAY, 16, false, rows);
    ASSERT_TRUE(r.ReadImage(reinterpret_cast<const uint8_t*>(d.data()), d.size()));
    EXPECT_EQ(r.GetColorMode(), QWF_MODE_GRAY);
    EXPECT_EQ(r.GetPlaneData(0)[0], 0x12);
    EXPECT_EQ(r.GetPlaneData(0)[1], 0xAB);
    EXPECT_EQ(r.GetPlaneData(QWF_PLANE_ALPHA)[1], 255);

    // 2-bit grey with a transparent key.
    rows = {0xA0};
    d = EncodeOther(3, 1, PNG_COLOR_TYPE_GRAY, 2, false, rows, true);
    ASSERT_TRUE(r.ReadImage(reinterpret_cast<const uint8_t*>(d.data()), d.size()));
    EXPECT_EQ(r.GetPlaneData(0)[0], 0xAA);  // value 2 of 3 scaled to 8 bits
    EXPECT_EQ(r.GetPlaneData(QWF_PLANE_ALPHA)[0], 255);

    // Malformed input.
    EXPECT_FALSE(r.ReadInfo(reinterpret_cast<const uint8_t*>("\x89PN"), 3));
    EXPECT_EQ(r.GetError(), QWF_ERR_IMAGE_FORMAT2);
    EXPECT_FALSE(r.ReadInfo(reinterpret_cast<const uint8_t*>("GIF89a.."), 8));
    EXPECT_EQ(r.GetError(), QWF_ERR_IMAGE_FORMAT2);
    for (size_t n = 8; n < d.size(); ++n) {
        EXPECT_FALSE(r.ReadImage(reinterpret_cast<const uint8_t*>(d.data()), n)) << n;
        EXPECT_EQ(r.GetPlaneData(0), nullptr);
    }
}

// A chunk whose length claims far more than the file holds is not given that memory: a
// 100-byte file with a text chunk of 1.8 GB. The read runs in a child whose peak memory the
// parent then reads.
TEST(PngRead, ChunkLengthsDoNotBuyMemory)
{
    std::string d = EncodeOther(3, 1, PNG_COLOR_TYPE_GRAY, 8, false, {1, 2, 3});
    const size_t iend = d.size() - 12;
    std::string text = std::string("\x6E\x00\x00\x1F", 4) + "tEXtComment";
    text += std::string(40, 'x');
    d.insert(33, text);  // after the signature and IHDR; the chunk runs past the end
    ASSERT_GT(d.size(), iend);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CQWF_ImagePNG r;
        const bool info = r.ReadInfo(reinterpret_cast<const uint8_t*>(d.data()), d.size());
        const bool image = r.ReadImage(reinterpret_cast<const uint8_t*>(d.data()), d.size());
        _exit(info || image ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the damaged file was read";
    rusage use{};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &use), 0);
    EXPECT_LT(use.ru_maxrss, 600L * 1024) << "peak KiB of the reading child";
}

TEST(PngSamples, WriteFilesForIndependentReaders)
{
    const std::string dir = qwtest::OutputDir("png");
    struct Sample {
        const char* name;
        int w, h;
        uint8_t mode;
        bool ramp;
        double res;
    } samples[] = {
        {"grey", 33, 17, QWF_PNG_GRAYA, false, 72},
        {"rgb", 64, 48, QWF_PNG_RGBA, false, 96},
        {"rgba", 120, 80, QWF_PNG_RGBA, true, 150.5},
        {"resolution_300", 5, 3, QWF_PNG_RGBA, true, 300},
    };
    for (const Sample& s : samples) {
        Picture pic;
        pic.Make(s.w, s.h, 2, s.ramp);
        CQWF_ImagePNG png;
        QWF_PNGSettings set = Settings(pic, s.mode, s.res);
        ASSERT_TRUE(WritePng(dir + "/" + s.name + ".png", set, png)) << s.name;
        const int channels = s.mode == QWF_PNG_RGBA ? 4 : 2;
        std::string pixels;
        for (int y = 0; y < s.h; ++y)
            for (int x = 0; x < s.w; ++x)
                for (int j = 0; j < channels; ++j)
                    pixels += static_cast<char>(set.planes[j][y * pic.stride + x]);
        char json[512];
        std::snprintf(json, sizeof json,
                      "{\"width\": %d, \"height\": %d, \"channels\": %d, \"ppm\": %u, "
                      "\"product\": \"Quarrow. Jigcrafter 3.0\", \"hash\": \"%s\"}\n",
                      s.w, s.h, channels, CQWF_ImagePNG::PixelsPerMetre(s.res),
                      qwtest::Md5Hex(pixels).c_str());
        ASSERT_TRUE(qwtest::WriteWholeFile(dir + "/" + s.name + ".json", json));
    }
}
