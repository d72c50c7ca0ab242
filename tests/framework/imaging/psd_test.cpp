#include "framework/imaging/qwf_psd.h"

#include <gtest/gtest.h>
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

// Planes of one test layer, owned by the test, each at the end of a guarded allocation.
struct Planes {
    int w = 0, h = 0;
    qwtest::GuardedBytes p[4];  // R, G, B, A
    const uint8_t* ptr[5] = {};
    void Make(int width, int height, int seed, bool alphaRamp)
    {
        w = width;
        h = height;
        for (auto& v : p) v = qwtest::GuardedBytes(static_cast<size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                size_t i = static_cast<size_t>(y) * w + x;
                // Flat stretches and noisy ones, so both PackBits runs and literals occur.
                p[0][i] = static_cast<uint8_t>(x < w / 2 ? seed * 17 : (x * 7 + y * 3 + seed));
                p[1][i] = static_cast<uint8_t>((x ^ y) + seed * 5);
                p[2][i] = static_cast<uint8_t>(255 - p[0][i]);
                p[3][i] = alphaRamp ? static_cast<uint8_t>((x * 16 + y * 8) & 255) : 255;
            }
        for (int k = 0; k < 4; ++k) ptr[k] = p[k].data();
    }
};

// MD5 of byte runs, in the order given, as lower-case hex.
class Digest {
public:
    void Add(const uint8_t* p, size_t n) { m_bytes.append(reinterpret_cast<const char*>(p), n); }
    std::string Hex() const { return qwtest::Md5Hex(m_bytes); }

private:
    std::string m_bytes;
};

// Latin-1 bytes as UTF-8 (layer names are in the system code page).
std::string Utf8(const char* s)
{
    std::string out;
    for (; *s; ++s) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (c < 0x80) {
            if (c == '"' || c == '\\') out += '\\';
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool OpenForWrite(CQWF_StdFile& f, const std::string& hostPath)
{
    return f.Open(qwp::ToWindowsPath(hostPath.c_str()).c_str(), CQWF_StdFile::kModeCreateReadWrite);
}

using qwtest::BE32;
using qwtest::BE16;

QWF_PSDLayer Describe(const Planes& pl, int left, int top, const char* name, uint8_t visible = 1,
                      uint8_t opacity = 255)
{
    QWF_PSDLayer l;
    l.width = static_cast<int16_t>(pl.w);
    l.height = static_cast<int16_t>(pl.h);
    l.left = static_cast<int16_t>(left);
    l.top = static_cast<int16_t>(top);
    l.visible = visible;
    l.opacity = opacity;
    std::snprintf(l.name, sizeof l.name, "%s", name);
    for (int k = 0; k < 5; ++k) l.planes[k] = pl.ptr[k];
    l.stride = pl.w;
    return l;
}

// Writes a document of the layers into a file and gives the file's bytes; "" when the writer
// fails.
std::string WriteDocument(const std::string& path, const QWF_PSDSettings& s, const std::vector<QWF_PSDLayer>& layers,
                          CQWF_Progress* progress = nullptr)
{
    CQWF_StdFile f;
    CQWF_ImagePSD psd;
    if (!OpenForWrite(f, path) || !psd.AttachFile(&f)) return "";
    psd.SetWriteSettings(s);
    psd.SetProgress(progress);
    for (const auto& l : layers)
        if (!psd.AddLayer(l)) return "";
    if (!psd.Write() || !f.Close()) return "";
    return qwtest::FileBytes(path);
}

// Writes a sample file and its description for the independent readers of tests/scripts.
void WriteSample(const std::string& name, const QWF_PSDSettings& s,
                 const std::vector<QWF_PSDLayer>& layers)
{
    const std::string dir = qwtest::OutputDir("psd");
    const std::string bytes = WriteDocument(dir + "/" + name + ".psd", s, layers);
    ASSERT_FALSE(bytes.empty());

    // Merged image as our reader sees it, for the readers to agree with.
    CQWF_ImagePSD reader;
    ASSERT_TRUE(reader.ReadImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    Digest merged;
    for (int k = 0; k < 3; ++k)
        merged.Add(reader.GetPlaneData(k), size_t(s.width) * size_t(s.height));

    std::string json = "{\"width\": " + std::to_string(s.width) +
                       ", \"height\": " + std::to_string(s.height) +
                       ", \"icc\": " + std::to_string(s.profile ? s.profileSize : 0) +
                       ", \"merged\": \"" + merged.Hex() + "\", \"layers\": [";
    for (size_t j = 0; j < layers.size(); ++j) {
        const QWF_PSDLayer& l = layers[j];
        Digest h;
        for (int k = 0; k < 4; ++k)
            for (int y = 0; y < l.height; ++y)
                h.Add(l.planes[k] + static_cast<int64_t>(y) * l.stride,
                      static_cast<size_t>(l.width));
        json += std::string(j ? ", " : "") + "{\"name\": \"" + Utf8(l.name) +
                "\", \"left\": " + std::to_string(l.left) + ", \"top\": " + std::to_string(l.top) +
                ", \"width\": " + std::to_string(l.width) +
                ", \"height\": " + std::to_string(l.height) +
                ", \"visible\": " + std::to_string(l.visible) +
                ", \"opacity\": " + std::to_string(l.opacity) + ", \"hash\": \"" + h.Hex() + "\"}";
    }
    json += "]}\n";
    ASSERT_TRUE(qwtest::WriteWholeFile(dir + "/" + name + ".json", json));
}

class CountingProgress : public CQWF_Progress {
public:
    void SetPercent(uint8_t p) override
    {
        seen.push_back(p);
        if (cancelAt >= 0 && p >= cancelAt) Cancel();
    }
    std::vector<int> seen;
    int cancelAt = -1;
};

}  // namespace

namespace {
// Packs a row read from guarded bytes into exactly `room` guarded bytes: reading past the row or
// writing past the room faults.
std::vector<uint8_t> Packed(const std::vector<uint8_t>& row, size_t room)
{
    qwtest::GuardedBytes in(row.size()), out(room);
    std::copy(row.begin(), row.end(), in.begin());
    const size_t n = CQWF_ImagePSD::PackRow(in.data(), row.size(), out.data());
    EXPECT_EQ(n, room);
    return out.Copy();
}
}  // namespace

TEST(PackBits, RunsLiteralsAndLimits)
{
    using V = std::vector<uint8_t>;
    // Two equal bytes start a run; the literal before them ends there. A run of two, and a single
    // last byte as a literal of one.
    EXPECT_EQ(Packed({1, 2, 3, 3, 3, 4}, 7), (V{1, 1, 2, 0xFE, 3, 0, 4}));
    EXPECT_EQ(Packed({7, 7, 9}, 4), (V{0xFF, 7, 0, 9}));
    EXPECT_EQ(Packed({}, 0), V{});
    // 300 equal bytes: runs of 128, 128 and 44.
    EXPECT_EQ(Packed(V(300, 5), 6), (V{0x81, 5, 0x81, 5, 0xD5, 5}));
    // 130 distinct bytes: a literal of 128 and one of 2.
    V ramp(130), want{127};
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(i);
    want.insert(want.end(), ramp.begin(), ramp.begin() + 128);
    want.insert(want.end(), {1, 128, 129});
    EXPECT_EQ(Packed(ramp, 132), want);
    // The worst case: a single byte before every pair, 3 bytes become 4.
    V worst;
    for (int i = 0; i < 150; ++i) worst.insert(worst.end(), {uint8_t(2 * i), uint8_t(2 * i + 1), uint8_t(2 * i + 1)});
    EXPECT_EQ(Packed(worst, 600).size(), 600u);

    // Round trips of mixed data, row by row, with the row boundary inside a run.
    uint8_t out[1024];
    uint32_t seed = 12345;
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> row(static_cast<size_t>(round * 3 + 1));
        for (auto& v : row) {
            seed = seed * 1103515245u + 12345u;
            v = static_cast<uint8_t>((seed >> 16) % 4 == 0 ? (seed >> 20) : 42);
        }
        const size_t n = CQWF_ImagePSD::PackRow(row.data(), row.size(), out);
        ASSERT_LE(n, row.size() + row.size() / 2 + 2);
        qwtest::GuardedBytes back(row.size());
        const uint8_t* p = out;
        ASSERT_TRUE(CQWF_ImagePSD::UnpackRow(p, out + n, back.data(), back.size()));
        EXPECT_EQ(p, out + n);
        EXPECT_EQ(back.Copy(), row);
    }
    // Broken streams (read from guarded bytes) are refused: a literal longer than the data, a run
    // longer than the row, data that ends before the row is full or before a run's byte.
    for (const V& broken : {V{5, 1, 2}, V{0xF0, 1}, V{0, 7}, V{0xFF}}) {
        qwtest::GuardedBytes in(broken.size()), dst(8);
        std::copy(broken.begin(), broken.end(), in.begin());
        const uint8_t* p = in.data();
        EXPECT_FALSE(CQWF_ImagePSD::UnpackRow(p, in.end(), dst.data(), dst.size())) << int(broken[0]);
    }
}

TEST(PsdWrite, FileLayoutAndRoundTrip)
{
    qwtest::TempDir tmp;
    Planes a, b;
    a.Make(3, 2, 1, true);
    b.Make(4, 3, 2, false);
    QWF_PSDSettings s;
    s.width = 5;
    s.height = 4;
    s.resolution = 300.5;
    s.lightAngle = 130;
    CountingProgress progress;
    const std::string d =
        WriteDocument(tmp.File("a.psd"), s, {Describe(a, -1, 1, "abc", 0, 200), Describe(b, 2, 2, "abcd")}, &progress);
    EXPECT_EQ(progress.seen, (std::vector<int>{0, 2, 2, 6, 10, 35, 60, 60, 73, 86, 100}));
    ASSERT_GT(d.size(), 100u);
    EXPECT_EQ(d.substr(0, 4), "8BPS");
    EXPECT_EQ(BE16(d, 12), 3u);   // channels
    EXPECT_EQ(BE32(d, 14), 4u);   // height
    EXPECT_EQ(BE32(d, 18), 5u);   // width
    EXPECT_EQ(BE16(d, 24), 3u);   // RGB
    EXPECT_EQ(BE32(d, 26), 0u);
    EXPECT_EQ(BE32(d, 30), 44u);  // resources
    EXPECT_EQ(BE16(d, 34 + 4), 1005u);
    EXPECT_EQ(BE16(d, 34 + 12), 300u);
    EXPECT_EQ(BE16(d, 34 + 14), 32768u);
    EXPECT_EQ(BE16(d, 34 + 28 + 4), 1037u);
    EXPECT_EQ(BE32(d, 34 + 28 + 12), 130u);
    size_t sec = 34 + 44;
    const uint32_t sectionLen = BE32(d, sec);
    const uint32_t infoLen = BE32(d, sec + 4);
    EXPECT_EQ(sectionLen, infoLen + 8);
    EXPECT_EQ(infoLen % 2, 0u);
    EXPECT_EQ(BE16(d, sec + 8), 2u);
    size_t r = sec + 10;
    EXPECT_EQ(static_cast<int32_t>(BE32(d, r)), 1);       // top
    EXPECT_EQ(static_cast<int32_t>(BE32(d, r + 4)), -1);  // left
    EXPECT_EQ(BE32(d, r + 8), 3u);
    EXPECT_EQ(BE32(d, r + 12), 2u);
    EXPECT_EQ(BE16(d, r + 16), 4u);
    EXPECT_EQ(BE16(d, r + 18 + 18), 0xFFFFu);  // transparency id last
    size_t blend = r + 18 + 24;
    EXPECT_EQ(d.substr(blend, 8), "8BIMnorm");
    EXPECT_EQ(uint8_t(d[blend + 8]), 200);
    EXPECT_EQ(uint8_t(d[blend + 10]), 2);  // hidden
    // Extra data: 8 + 4 (name "abc" padded) + 18 + 2 * 3.
    EXPECT_EQ(BE32(d, blend + 12), 8u + 4u + 24u);
    EXPECT_EQ(uint8_t(d[blend + 24]), 3);
    EXPECT_EQ(d.substr(blend + 28, 8), "8BIMluni");
    // The second record: "abcd" takes 8 bytes as a padded name.
    size_t r2 = blend + 16 + 8 + 4 + 24;
    EXPECT_EQ(BE32(d, r2 + 18 + 24 + 12), 8u + 8u + 26u);

    // Our reader gets back exactly what was written.
    CQWF_ImagePSD reader;
    ASSERT_TRUE(reader.Read(reinterpret_cast<const uint8_t*>(d.data()), d.size()));
    ASSERT_EQ(reader.GetReadLayerCount(), 2);
    const QWF_PSDLayer* l0 = reader.GetReadLayer(0);
    EXPECT_STREQ(l0->name, "abc");
    EXPECT_EQ(l0->left, -1);
    EXPECT_EQ(l0->top, 1);
    EXPECT_EQ(l0->visible, 0);
    EXPECT_EQ(l0->opacity, 200);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(std::memcmp(l0->planes[k], a.p[k].data(), 6), 0) << k;
    const QWF_PSDLayer* l1 = reader.GetReadLayer(1);
    EXPECT_STREQ(l1->name, "abcd");
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(std::memcmp(l1->planes[k], b.p[k].data(), 12), 0) << k;
    EXPECT_EQ(reader.GetReadLayer(2), nullptr);

    // Merged: white where no layer is; the hidden layer a leaves no trace, as the document
    // shows it.
    ASSERT_TRUE(reader.ReadImage(reinterpret_cast<const uint8_t*>(d.data()), d.size()));
    const uint8_t* red = reader.GetPlaneData(0);
    EXPECT_EQ(red[0], 255);
    // Document (0,1) lies under layer a (1,0) only.
    EXPECT_EQ(red[5], 255);
    // Document (3,3) is layer b (1,1), opaque.
    EXPECT_EQ(red[3 * 5 + 3], b.p[0][4 + 1]);
    EXPECT_EQ(reader.GetPlaneData(QWF_PLANE_ALPHA), nullptr);
    EXPECT_EQ(reader.GetPlaneData(3), nullptr);
    EXPECT_EQ(reader.GetPlaneData(4), nullptr);
    uint16_t w, h;
    reader.GetSize(w, h);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 4);
}

TEST(PsdWrite, EmptyDocumentAndRefusals)
{
    qwtest::TempDir tmp;
    QWF_PSDSettings s;
    s.width = 3;
    s.height = 2;
    const std::string d = WriteDocument(tmp.File("empty.psd"), s, {});
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(BE16(d, 34 + 44 + 8), 0u);
    CQWF_ImagePSD reader;
    ASSERT_TRUE(reader.ReadImage(reinterpret_cast<const uint8_t*>(d.data()), d.size()));
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 6; ++i) EXPECT_EQ(reader.GetPlaneData(k)[i], 255);
    ASSERT_TRUE(reader.Read(reinterpret_cast<const uint8_t*>(d.data()), d.size()));
    EXPECT_EQ(reader.GetReadLayerCount(), 0);

    CQWF_ImagePSD psd;
    EXPECT_FALSE(psd.Write());  // no file
    EXPECT_EQ(psd.GetError(), 0);
    CQWF_StdFile closed;
    EXPECT_FALSE(psd.AttachFile(&closed));
    EXPECT_EQ(psd.GetError(), QWF_ERR_ARGUMENT);

    // More layers than the signed 16-bit count holds: refused before a byte is written.
    CQWF_StdFile f;
    ASSERT_TRUE(OpenForWrite(f, tmp.File("many.psd")));
    ASSERT_TRUE(psd.AttachFile(&f));
    psd.SetWriteSettings(s);
    Planes one;
    one.Make(1, 1, 0, false);
    for (int i = 0; i < 32768; ++i) ASSERT_TRUE(psd.AddLayer(Describe(one, 0, 0, "x")));
    EXPECT_FALSE(psd.Write());
    EXPECT_EQ(psd.GetError(), QWF_ERR_IMAGE_FORMAT);
    f.Flush();
    EXPECT_EQ(f.GetSize(), 0);
    psd.Release();
    EXPECT_EQ(psd.GetLayerCount(), 0);

    // A colour mode outside the table.
    s.colorMode = 4;
    psd.SetWriteSettings(s);
    EXPECT_FALSE(psd.Write());
    EXPECT_EQ(psd.GetError(), QWF_ERR_ARGUMENT);

    // Sections beyond the format's 32-bit lengths are refused (limit lowered for the test).
    s.colorMode = QWF_MODE_RGB;
    psd.SetWriteSettings(s);
    Planes big;
    big.Make(64, 64, 3, true);
    ASSERT_TRUE(psd.AddLayer(Describe(big, 0, 0, "big")));
    qwf::SetPsdSectionLimit(1000);
    EXPECT_FALSE(psd.Write());
    qwf::SetPsdSectionLimit(0xFFFFFFFFull);
    EXPECT_EQ(psd.GetError(), QWF_ERR_IMAGE_FORMAT);

    // A layer described field by field: a name of 70 characters keeps its first 63.
    psd.Release();
    CQWF_StdFile g;
    ASSERT_TRUE(OpenForWrite(g, tmp.File("long.psd")) && psd.AttachFile(&g));
    ASSERT_TRUE(psd.AddLayer(1, 1, 0, 0, 1, 255, std::string(70, 'n').c_str(), one.ptr, 1));
    ASSERT_TRUE(psd.Write() && g.Close());
    const std::string bytes = qwtest::FileBytes(tmp.File("long.psd"));
    const size_t luni = bytes.find("8BIMluni");
    ASSERT_NE(luni, std::string::npos);
    EXPECT_EQ(BE32(bytes, luni + 12), 63u);  // its full length
}

TEST(PsdWrite, ColourProfileResource)
{
    qwtest::TempDir tmp;
    const uint8_t icc[5] = {1, 2, 3, 4, 5};
    QWF_PSDSettings s;
    s.width = 2;
    s.height = 2;
    s.profile = icc;
    s.profileSize = 0;  // a pointer without a size: no resource
    for (int round = 0; round < 3; ++round) {
        if (round == 1) { s.profile = nullptr; s.profileSize = 5; }
        if (round == 2) { s.profile = icc; s.profileSize = 5; }
        const std::string d = WriteDocument(tmp.File("p.psd"), s, {});
        ASSERT_FALSE(d.empty());
        if (round < 2) {
            EXPECT_EQ(BE32(d, 30), 44u);
            continue;
        }
        EXPECT_EQ(BE32(d, 30), 56u + 6u);  // padded to an even length
        size_t p = 34 + 44;
        EXPECT_EQ(d.substr(p, 4), "8BIM");
        EXPECT_EQ(BE16(d, p + 4), 1039u);
        EXPECT_EQ(BE32(d, p + 8), 5u);
        EXPECT_EQ(d[p + 12 + 4], 5);
        EXPECT_EQ(d[p + 12 + 5], 0);
        CQWF_ImagePSD reader;
        EXPECT_TRUE(reader.ReadImage(reinterpret_cast<const uint8_t*>(d.data()), d.size()));
    }
}

TEST(PsdWrite, CancelAndFullDisk)
{
    qwtest::TempDir tmp;
    Planes a;
    a.Make(40, 30, 1, true);
    QWF_PSDSettings s;
    s.width = 40;
    s.height = 30;
    {
        CQWF_StdFile f;
        ASSERT_TRUE(OpenForWrite(f, tmp.File("c.psd")));
        CQWF_ImagePSD psd;
        psd.AttachFile(&f);
        psd.SetWriteSettings(s);
        psd.AddLayer(Describe(a, 0, 0, "a"));
        CountingProgress progress;
        progress.cancelAt = 10;
        psd.SetProgress(&progress);
        EXPECT_FALSE(psd.Write());
        EXPECT_EQ(psd.GetError(), 0);
    }
    CQWF_StdFile full;
    if (!full.Open("Z:\\dev\\full", CQWF_StdFile::kModeWrite)) GTEST_SKIP() << "no /dev/full";
    CQWF_ImagePSD psd;
    ASSERT_TRUE(psd.AttachFile(&full));
    psd.SetWriteSettings(s);
    psd.AddLayer(Describe(a, 0, 0, "a"));
    EXPECT_FALSE(psd.Write());
    EXPECT_NE(psd.GetError(), 0);
}

TEST(PsdRead, MalformedInput)
{
    CQWF_ImagePSD r;
    const uint8_t shortData[10] = {'8', 'B', 'P', 'S'};
    EXPECT_FALSE(r.ReadInfo(shortData, sizeof shortData));
    EXPECT_EQ(r.GetError(), QWF_ERR_IMAGE_FORMAT2);
    uint8_t h[40] = {'8', 'B', 'P', 'S', 0, 1};
    h[23] = 8;
    h[25] = 9;  // mode 9
    EXPECT_FALSE(r.ReadInfo(h, sizeof h));
    EXPECT_EQ(r.GetError(), QWF_ERR_IMAGE_FORMAT);
    h[25] = 1;
    h[23] = 5;  // depth 5
    EXPECT_FALSE(r.ReadInfo(h, sizeof h));
    EXPECT_EQ(r.GetError(), QWF_ERR_IMAGE_FORMAT2);
    h[23] = 8;
    h[17] = 2;
    h[21] = 3;
    ASSERT_TRUE(r.ReadInfo(h, sizeof h));
    EXPECT_EQ(r.GetColorMode(), QWF_MODE_GRAY);
    // A resources length running past the data.
    h[30] = 0x7F;
    EXPECT_FALSE(r.ReadImage(h, sizeof h));
    EXPECT_EQ(r.GetError(), QWF_ERR_IMAGE_FORMAT2);

    // Every truncation of a real file fails cleanly.
    qwtest::TempDir tmp;
    Planes a;
    a.Make(9, 5, 1, true);
    QWF_PSDSettings s;
    s.width = 9;
    s.height = 5;
    const std::string d = WriteDocument(tmp.File("t.psd"), s, {Describe(a, 1, 1, "t")});
    ASSERT_FALSE(d.empty());
    const size_t layersEnd = 34 + 44 + 4 + BE32(d, 34 + 44);
    for (size_t n = 0; n < d.size(); n += 3) {
        if (n < layersEnd) {
            EXPECT_FALSE(r.Read(reinterpret_cast<const uint8_t*>(d.data()), n)) << n;
        }
        EXPECT_FALSE(r.ReadImage(reinterpret_cast<const uint8_t*>(d.data()), n)) << n;
    }
    EXPECT_TRUE(r.Read(reinterpret_cast<const uint8_t*>(d.data()), d.size()));
    // A layer section of 4 bytes whose layer information claims 2 more is refused; empty layer
    // information reads the merged image instead.
    for (const char info : {'\x02', '\0'}) {
        const std::string e = d.substr(0, 34 + 44) + std::string("\0\0\0\x04\0\0\0", 7) + info + d.substr(layersEnd);
        EXPECT_EQ(r.Read(reinterpret_cast<const uint8_t*>(e.data()), e.size()), info == 0);
    }
    // A section block in the layer's extra data: type 3 (a group's end) is read, 4 refused.
    const size_t sec = 34 + 44, blend = sec + 10 + 18 + 6 * BE16(d, sec + 10 + 16);
    for (const char type : {'\3', '\4'}) {
        std::string e = d;
        e.insert(blend + 16 + BE32(d, blend + 12), std::string("8BIMlsct\0\0\0\4\0\0\0", 15) + type);
        for (const size_t at : {sec, sec + 4, blend + 12})
            for (int i = 0; i < 4; ++i) e[at + i] = static_cast<char>((BE32(d, at) + 16) >> (24 - 8 * i));
        ASSERT_EQ(r.Read(reinterpret_cast<const uint8_t*>(e.data()), e.size()), type == 3) << int(type);
        EXPECT_TRUE(type == 4 || r.GetReadLayer(0)->sectionType == 3);
    }
}

// A file of a few bytes that claims planes of gigabytes is refused before they are allocated:
// a 30000 x 30000 merged image, and a layer of 30000 x 30000 without data. Each read runs in a
// child limited to 1 GB of address space (without the limit under the address sanitizer, which
// reserves far more for itself); an allocation would fail there as a memory error.
TEST(PsdRead, ClaimsBeyondTheDataAllocateNothing)
{
    auto header = [](std::string& b) {
        b = std::string("8BPS\0\1\0\0\0\0\0\0\0\3", 14);
        for (uint32_t v : {30000u, 30000u}) {
            const char be[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
            b.append(be, 4);
        }
        b.append("\0\x08\0\x03", 4);           // 8 bits, RGB
        b.append(std::string("\0\0\0\0", 4));  // colour mode data
        b.append(std::string("\0\0\0\0", 4));  // image resources
    };
    std::string merged;
    header(merged);
    merged.append(std::string("\0\0\0\0\0\x01", 6));  // no layers; packed rows follow
    merged.append(std::string(64, '\x02'));
    std::string layered;
    header(layered);
    std::string info("\0\x01", 2);                                          // one layer
    info.append(std::string("\0\0\0\0\0\0\0\0\0\0\x75\x30\0\0\x75\x30", 16));  // 30000 x 30000
    info.append(std::string("\0\0", 2));                                    // no channels
    info.append("8BIMnorm");
    info.append(std::string("\xff\0\0\0\0\0\0\x0c\0\0\0\0\0\0\0\0\0\0\0\0", 20));
    const uint32_t infoLen = uint32_t(info.size());
    const uint32_t sectionLen = infoLen + 4;
    for (uint32_t v : {sectionLen, infoLen}) {
        const char be[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        layered.append(be, 4);
    }
    layered += info;
    for (const std::string* file : {&merged, &layered}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
#if !defined(__SANITIZE_ADDRESS__)
            rlimit lim{};
            lim.rlim_cur = lim.rlim_max = rlim_t{1} << 30;
            setrlimit(RLIMIT_AS, &lim);
#endif
            CQWF_ImagePSD psd;
            const auto* bytes = reinterpret_cast<const uint8_t*>(file->data());
            const bool read = file == &merged ? psd.ReadImage(bytes, file->size())
                                              : psd.Read(bytes, file->size());
            _exit(!read && psd.GetError() == QWF_ERR_IMAGE_FORMAT2 ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << (file == &merged ? "merged image" : "layer");
    }
}

TEST(PsdSamples, WriteFilesForIndependentReaders)
{
    QWF_PSDSettings s;
    s.resolution = 72;
    s.lightAngle = 130;

    Planes p1, p2, p3;
    p1.Make(3, 2, 1, false);
    s.width = 3;
    s.height = 2;
    WriteSample("rgb_3x2", s, {Describe(p1, 0, 0, "Layer 1")});

    p2.Make(1, 1, 4, false);
    s.width = 1;
    s.height = 1;
    WriteSample("rgb_1x1", s, {Describe(p2, 0, 0, "one")});

    p3.Make(1001, 7, 9, true);
    s.width = 1001;
    s.height = 7;
    WriteSample("transparent_1001x7", s, {Describe(p3, 0, 0, "ramp")});

    Planes q1, q2, q3;
    q1.Make(20, 10, 2, false);
    q2.Make(12, 12, 3, true);
    q3.Make(8, 6, 5, true);
    s.width = 24;
    s.height = 16;
    WriteSample("hidden_and_outside", s,
                {Describe(q1, 0, 0, "base"), Describe(q2, -4, 6, "partly outside", 1, 180),
                 Describe(q3, 14, 2, "hidden", 0, 255)});

    std::vector<uint8_t> icc(3001);
    for (size_t i = 0; i < icc.size(); ++i) icc[i] = static_cast<uint8_t>(i * 7);
    s.profile = icc.data();
    s.profileSize = static_cast<uint32_t>(icc.size());
    WriteSample("icc_profile", s, {Describe(q1, 2, 3, "with profile")});
    s.profile = nullptr;
    s.profileSize = 0;

    // Names beyond ASCII (code-page bytes), a 3-, 4- and a 60-character name.
    s.width = 24;
    s.height = 16;
    WriteSample("names", s,
                {Describe(q1, 0, 0, "St\xFC" "ck \xE9t\xE9 \xA9"), Describe(q3, 1, 1, "abc"),
                 Describe(q3, 2, 2, "abcd"),
                 Describe(q2, 3, 3, "A name that is longer than fifty-five characters, kept whole")});

    // A large document with 300 layers, as the piece export writes them.
    constexpr int kCols = 20, kRows = 15, kPiece = 200;
    std::vector<Planes> pieces(kCols * kRows);
    std::vector<QWF_PSDLayer> layers;
    char name[64];
    for (int j = 0; j < kCols * kRows; ++j) {
        pieces[j].Make(kPiece + 20, kPiece + 20, j, true);
        std::snprintf(name, sizeof name, "Piece %d", j + 1);
        layers.push_back(Describe(pieces[j], (j % kCols) * kPiece - 10, (j / kCols) * kPiece - 10,
                                  name));
    }
    s.width = 4000;
    s.height = 3000;
    WriteSample("large_4000x3000_300", s, layers);
}

TEST(ImageFile, WriterPositionsAndReaderFileForms)
{
    qwtest::TempDir tmp;
    CQWF_StdFile f;
    ASSERT_TRUE(OpenForWrite(f, tmp.File("w.bin")));
    CQWF_ImagePSD w;
    EXPECT_EQ(w.Tell(), -1);
    EXPECT_FALSE(w.WriteBytes("x", 1));
    EXPECT_FALSE(w.Flush());
    ASSERT_TRUE(w.AttachFile(&f));
    ASSERT_TRUE(w.WriteBytes("abcdef", 6));
    // A write at a position patches there and leaves the position at the end.
    ASSERT_TRUE(w.WriteBytes("XY", 2, 1));
    EXPECT_EQ(w.Tell(), 6);
    EXPECT_EQ(w.Tell(2), 2);
    ASSERT_TRUE(w.WriteBytes("Z", 1));
    ASSERT_TRUE(w.Flush());
    f.Close();
    EXPECT_EQ(qwtest::FileBytes(tmp.File("w.bin")), "aXZdef");
    // A closed file is refused and nothing stays attached.
    EXPECT_FALSE(w.AttachFile(&f));
    EXPECT_EQ(w.GetError(), QWF_ERR_ARGUMENT);
    EXPECT_EQ(w.Tell(), -1);

    // The reader's file forms read the whole file into its buffer.
    Planes a;
    a.Make(6, 4, 2, true);
    QWF_PSDSettings s;
    s.width = 6;
    s.height = 4;
    s.colorMode = QWF_MODE_GRAY;
    ASSERT_TRUE(OpenForWrite(f, tmp.File("g.psd")));
    ASSERT_TRUE(w.AttachFile(&f));
    w.SetWriteSettings(s);
    QWF_PSDLayer l = Describe(a, 0, 0, "grey");
    l.planes[1] = a.ptr[3];  // grey, then transparency
    ASSERT_TRUE(w.AddLayer(l));
    ASSERT_TRUE(w.Write());
    f.Close();

    CQWF_StdFile in;
    ASSERT_TRUE(in.Open(qwp::ToWindowsPath(tmp.File("g.psd").c_str()).c_str(),
                        CQWF_StdFile::kModeRead));
    CQWF_ImagePSD r;
    ASSERT_TRUE(r.ReadInfo(in));
    EXPECT_EQ(r.GetColorMode(), QWF_MODE_GRAY);
    EXPECT_EQ(r.GetDepth(), 8);
    ASSERT_TRUE(r.Read(in));
    ASSERT_EQ(r.GetReadLayerCount(), 1);
    EXPECT_EQ(std::memcmp(r.GetReadLayer(0)->planes[0], a.p[0].data(), 24), 0);
    EXPECT_EQ(std::memcmp(r.GetReadLayer(0)->planes[1], a.p[3].data(), 24), 0);
    ASSERT_TRUE(r.ReadImage(in));
    EXPECT_NE(r.GetPlane(0), nullptr);
    EXPECT_EQ(r.GetPlane(1), nullptr);
    EXPECT_EQ(r.GetPlane(QWF_PLANE_ALPHA), nullptr);
    // Merged grey over white: a = alpha, result ((255 - a) * 255 + a * v) / 255.
    const uint32_t av = a.p[3][5], v = a.p[0][5];
    EXPECT_EQ(r.GetPlaneData(0)[5], ((255 - av) * 255 + av * v) / 255);

    CQWF_StdFile empty;
    ASSERT_TRUE(OpenForWrite(empty, tmp.File("empty.bin")));
    EXPECT_FALSE(r.ReadInfo(empty));
    EXPECT_NE(r.GetError(), 0);
}
