#include "framework/imaging/qwf_font.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_storage.h"
#include "support/test_support.h"

namespace {

struct Glyph {
    int8_t left, spacing, top;
    uint8_t w, h;
    uint8_t cover;  // every coverage byte
};

std::string Block(uint8_t first, uint8_t last, const std::vector<Glyph>& glyphs)
{
    std::string b = "QWF2";
    b += static_cast<char>(first);
    b += static_cast<char>(last);
    for (const Glyph& g : glyphs) {
        b += static_cast<char>(g.left);
        b += static_cast<char>(g.spacing);
        b += static_cast<char>(g.top);
        b += static_cast<char>(g.w);
        b += static_cast<char>(g.h);
        b.append(static_cast<size_t>(g.w) * g.h, static_cast<char>(g.cover));
    }
    return b;
}

bool Load(CQWF_Font& f, const std::string& b)
{
    return f.LoadBlock(reinterpret_cast<const uint8_t*>(b.data()), b.size());
}

}  // namespace

TEST(Font, MetricsOfOneGlyph)
{
    CQWF_Font f;
    ASSERT_TRUE(Load(f, Block(65, 65, {{0, 1, -10, 3, 2, 200}})));
    int16_t base, bottom;
    f.GetLineMetrics(base, bottom);
    EXPECT_EQ(base, 10);
    EXPECT_EQ(bottom, -8);
    EXPECT_EQ(f.GetLineHeight(), 3);
    EXPECT_EQ(f.GetFirstChar(), 65);
    EXPECT_EQ(f.GetLastChar(), 65);

    int8_t l, s, t;
    uint8_t w, h;
    const uint8_t* g = f.GetGlyph('A', l, s, t, w, h);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(t, -10);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(g[5], 200);
    EXPECT_EQ(f.GetGlyph('@', l, s, t, w, h), nullptr);
    EXPECT_EQ(f.GetError(), QWF_ERR_FONT_RANGE);
    EXPECT_EQ(f.GetGlyph('B', l, s, t, w, h), nullptr);
    EXPECT_EQ(f.GetError(), QWF_ERR_FONT_RANGE);
}

TEST(Font, MeasureText)
{
    CQWF_Font f;
    int32_t w = -1, h = -1;
    EXPECT_FALSE(f.MeasureText("A", 16, w, h));
    EXPECT_EQ(f.GetError(), QWF_ERR_EMPTY);

    // 'A' 5 wide, top -7, 7 high, spacing 1; 'B' starts 2 left of the pen.
    ASSERT_TRUE(Load(f, Block('A', 'B', {{0, 1, -7, 5, 7, 255}, {-2, 0, -3, 4, 3, 255}})));
    ASSERT_TRUE(f.MeasureText("A", 16, w, h));
    EXPECT_EQ(w, 5);  // no spacing after the last character
    EXPECT_EQ(h, 7);
    int32_t w2, h2;
    ASSERT_TRUE(f.MeasureText("A\nA", 16, w2, h2));
    EXPECT_EQ(w2, w);
    EXPECT_EQ(h2, h + 16);
    ASSERT_TRUE(f.MeasureText("AA", 16, w, h));
    EXPECT_EQ(w, 11);
    // At a line start a negative left offset is taken back: pen 2, then 2 - 2 + 4.
    ASSERT_TRUE(f.MeasureText("B", 16, w, h));
    EXPECT_EQ(w, 4);
    ASSERT_TRUE(f.MeasureText("AB", 16, w, h));
    EXPECT_EQ(w, 6 - 2 + 4);
    // Characters outside the range add nothing.
    ASSERT_TRUE(f.MeasureText("zA~", 16, w, h));
    EXPECT_EQ(w, 5);
    ASSERT_TRUE(f.MeasureText("", 16, w, h));
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
}

TEST(Font, MalformedBlocksLeaveTheFontEmpty)
{
    CQWF_Font f;
    ASSERT_TRUE(Load(f, Block('A', 'A', {{0, 1, -5, 2, 2, 9}})));
    // A glyph whose coverage runs past the end.
    std::string b = Block('A', 'B', {{0, 1, -5, 2, 2, 9}, {0, 1, -5, 3, 3, 9}});
    b.resize(b.size() - 1);
    EXPECT_FALSE(Load(f, b));
    EXPECT_EQ(f.GetError(), QWF_ERR_FONT_MALFORMED);
    EXPECT_EQ(f.GetLineHeight(), 0);
    EXPECT_EQ(f.GetFirstChar(), 0);
    EXPECT_EQ(f.GetLastChar(), 0);
    int8_t l, s, t;
    uint8_t w, h;
    EXPECT_EQ(f.GetGlyph(0, l, s, t, w, h), nullptr);
    int32_t mw, mh;
    EXPECT_FALSE(f.MeasureText("A", 10, mw, mh));
    // A glyph header cut short, a block shorter than its header, a wrong magic.
    b = Block('A', 'B', {{0, 1, -5, 1, 1, 9}});
    b += "\x01\x02";
    EXPECT_FALSE(Load(f, b));
    EXPECT_EQ(f.GetError(), QWF_ERR_FONT_MALFORMED);
    EXPECT_FALSE(Load(f, "QWF2A"));
    EXPECT_EQ(f.GetError(), QWF_ERR_FONT_MALFORMED);
    EXPECT_FALSE(Load(f, Block('A', 'A', {}).replace(0, 4, "QWF1") + "\0\0\0\0\0"));
    EXPECT_EQ(f.GetError(), QWF_ERR_FONT_MALFORMED);

    // A range ending at 255 loads its last glyph.
    std::vector<Glyph> tail(6, Glyph{0, 0, -1, 1, 1, 7});
    tail.back() = Glyph{0, 0, -2, 2, 1, 99};
    ASSERT_TRUE(Load(f, Block(250, 255, tail)));
    const uint8_t* g = f.GetGlyph(255, l, s, t, w, h);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(g[1], 99);
    EXPECT_EQ(f.GetLineHeight(), 3);  // tops -1 and -2, bottoms 0 and -1

    // An empty range (last below first) loads with the metrics of the starting values.
    ASSERT_TRUE(Load(f, Block('B', 'A', {})));
    int16_t base, bottom;
    f.GetLineMetrics(base, bottom);
    EXPECT_EQ(base, -10000);
    EXPECT_EQ(bottom, -10000);
}

TEST(Font, LoadsFromAPackageEntry)
{
    qwtest::TempDir tmp;
    std::string block = Block('a', 'b', {{1, 1, -4, 2, 4, 50}, {0, 2, -6, 3, 6, 60}});
    CQWF_Mem raw, packed;
    raw.Alloc(block.size());
    raw.Write(0, block.data(), block.size());
    CQWF_ZipBlock zip;
    zip.SetInputMem(raw);
    zip.SetOutputMem(&packed);
    zip.SetMode(1);
    ASSERT_TRUE(zip.Process());

    std::string path = "Z:" + tmp.File("fonts.qws");
    for (auto& c : path)
        if (c == '/') c = '\\';
    {
        CQWF_Storage pkg;
        ASSERT_TRUE(pkg.OpenFile(path.c_str(), CQWF_Storage::kModeCreate));
        ASSERT_TRUE(pkg.CreateFolder("Fonts"));
        ASSERT_TRUE(pkg.SetValue("Fonts>Small", CQWF_Storage::kKindBinary, packed.GetData(),
                                 packed.GetSize()));
        ASSERT_TRUE(pkg.Close());
    }
    CQWF_Storage pkg;
    ASSERT_TRUE(pkg.OpenFile(path.c_str(), CQWF_Storage::kModeRead));
    CQWF_Font f;
    ASSERT_TRUE(f.Load(pkg, "Fonts>Small"));
    EXPECT_EQ(f.GetLineHeight(), 7);
    EXPECT_EQ(f.GetLastChar(), 'b');
    EXPECT_FALSE(f.Load(pkg, "Fonts>Missing"));
    EXPECT_EQ(f.GetError(), pkg.GetError());
    EXPECT_NE(f.GetError(), 0);
    EXPECT_EQ(f.GetLineHeight(), 0);
}
