#include "framework/imaging/qwf_textlayer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A font of 'A' (3 x 2, coverage 100, top -2, spacing 1), 'B' (2 x 2, left -2, coverage
// 0 / 200 in a checker, top -2), 'C' (no columns, 12 rows) and 'W' (255 wide, 1 high, top -1).
void MakeFont(CQWF_Font& f)
{
    std::string b = "QWF2";
    b += 'A';
    b += 'W';
    for (int c = 'A'; c <= 'W'; ++c) {
        if (c == 'A') {
            b += std::string("\x00\x01\xFE\x03\x02", 5);
            b.append(6, static_cast<char>(100));
        } else if (c == 'B') {
            b += std::string("\xFE\x00\xFE\x02\x02", 5);
            b += std::string("\x00\xC8\xC8\x00", 4);
        } else if (c == 'C') {
            b += std::string("\x00\x00\x00\x00\x0C", 5);
        } else if (c == 'W') {
            b += std::string("\x00\x00\xFF\xFF\x01", 5);
            b.append(255, static_cast<char>(1));
        } else {
            b += std::string("\x00\x00\x00\x00\x00", 5);
        }
    }
    ASSERT_TRUE(f.LoadBlock(reinterpret_cast<const uint8_t*>(b.data()), b.size()));
}

uint8_t Alpha(CQWF_TextLayer& t, int x, int y) { return t.GetPlane(3)[y * t.GetWidth() + x]; }

}  // namespace

TEST(TextLayer, GrowsToTheTextAndDrawsCoverage)
{
    CQWF_Font font;
    MakeFont(font);
    CQWF_TextLayer t;
    ASSERT_TRUE(t.Create(4, 5, 0, 0, 0));
    EXPECT_EQ(t.GetWidth(), 10);
    EXPECT_EQ(t.GetHeight(), 10);
    EXPECT_FALSE(t.SetText("A", 0xFF102030, 15, 0, 0));  // no font yet
    EXPECT_EQ(t.GetError(), QWF_ERR_ARGUMENT);
    t.m_font = &font;

    // "AAAA" measures 4 * 3 + 3 = 15 wide, so the layer grows.
    ASSERT_TRUE(t.SetText("AAAA", 0xFF102030, 15, 7, 7));
    EXPECT_EQ(t.GetWidth(), 15);
    EXPECT_EQ(t.GetHeight(), 10);
    int16_t x, y;
    t.GetPosition(x, y);
    EXPECT_EQ(x, 4);
    EXPECT_EQ(y, 5);
    // Colour planes hold the flat colour; alpha the coverage, from (0, 0) whatever the origins.
    EXPECT_EQ(t.GetPlane(0)[0], 0x30);
    EXPECT_EQ(t.GetPlane(2)[14], 0x10);
    EXPECT_EQ(Alpha(t, 0, 0), 100);
    EXPECT_EQ(Alpha(t, 2, 1), 100);
    EXPECT_EQ(Alpha(t, 3, 0), 0);  // spacing
    EXPECT_EQ(Alpha(t, 4, 0), 100);
    EXPECT_EQ(Alpha(t, 0, 2), 0);
    // Characters outside the font's range are skipped: the pen stays, no glyph is asked for
    // (the font keeps no error).
    ASSERT_TRUE(t.SetText("A@Z\x7F" "A", 0xFF102030, 15, 0, 0));
    EXPECT_EQ(Alpha(t, 4, 0), 100);
    EXPECT_EQ(Alpha(t, 8, 0), 0);
    EXPECT_EQ(font.GetError(), 0);

    // A shorter text keeps the size; the old coverage is cleared.
    ASSERT_TRUE(t.SetText("A", 0xFF102030, 15, 0, 0));
    EXPECT_EQ(t.GetWidth(), 15);
    EXPECT_EQ(Alpha(t, 4, 0), 0);

    // An empty text gives the colour with alpha 0 everywhere.
    ASSERT_TRUE(t.SetText("", 0xFF445566, 15, 0, 0));
    for (int i = 0; i < 15 * 10; ++i) {
        EXPECT_EQ(t.GetPlane(0)[i], 0x66);
        EXPECT_EQ(t.GetPlane(3)[i], 0);
    }
    // A text 0 wide but 12 high only fills the background: the layer does not grow.
    ASSERT_TRUE(t.SetText("C", 0xFF445566, 15, 0, 0));
    EXPECT_EQ(t.GetHeight(), 10);
    // Colour 0 refills only the alpha plane, also for a text exactly as wide as the layer (which
    // is not recreated).
    ASSERT_TRUE(t.SetText("", 0, 15, 0, 0));
    EXPECT_EQ(t.GetPlane(0)[0], 0x66);
    ASSERT_TRUE(t.SetText("AAAA", 0, 15, 0, 0));
    EXPECT_EQ(t.GetPlane(0)[0], 0x66);
    EXPECT_EQ(Alpha(t, 4, 0), 100);

    // A second line moves by the line height; at the line start 'B' is moved right by 2.
    ASSERT_TRUE(t.SetText("A\nBA", 0xFF000000, 3, 0, 0));
    EXPECT_EQ(t.GetHeight(), 10);
    EXPECT_EQ(Alpha(t, 0, 3), 0);
    EXPECT_EQ(Alpha(t, 1, 3), 200);
    EXPECT_EQ(Alpha(t, 0, 4), 200);

    // Overlapping glyphs: later non-zero coverage replaces, zero coverage leaves the old value.
    // In "AB" the 'B' box starts at 4 - 2 = 2, over A's last column.
    ASSERT_TRUE(t.SetText("AB", 0xFF000000, 15, 0, 0));
    EXPECT_EQ(Alpha(t, 2, 0), 100);
    EXPECT_EQ(Alpha(t, 2, 1), 200);
    EXPECT_EQ(Alpha(t, 3, 0), 200);
    EXPECT_EQ(Alpha(t, 3, 1), 0);
}

TEST(TextLayer, FixedSizeOriginsTabsAndLimits)
{
    CQWF_Font font;
    MakeFont(font);
    CQWF_TextLayer t;
    t.m_font = &font;
    ASSERT_TRUE(t.Create(0, 0, 1, 40, 6));
    EXPECT_EQ(t.AddTabStop(10), 0);
    EXPECT_EQ(t.AddTabStop(20), 1);
    // Origin (1, 1): 'A' at column 1 and rows 1..2; tabs jump to 10, 20, then nothing.
    ASSERT_TRUE(t.SetText("A\tA\tA\tA", 0xFF000000, 15, 1, 1));
    EXPECT_EQ(t.GetWidth(), 40);
    EXPECT_EQ(Alpha(t, 0, 1), 0);
    EXPECT_EQ(Alpha(t, 1, 1), 100);
    EXPECT_EQ(Alpha(t, 10, 2), 100);
    EXPECT_EQ(Alpha(t, 9, 2), 0);
    EXPECT_EQ(Alpha(t, 20, 1), 100);
    // The third tab does not move the pen: the last 'A' follows at 20 + 3 + 1.
    EXPECT_EQ(Alpha(t, 24, 1), 100);
    EXPECT_EQ(Alpha(t, 27, 1), 0);
    // Glyphs are clipped at the layer's edges.
    ASSERT_TRUE(t.SetText("A", 0xFF000000, 15, 38, 5));
    EXPECT_EQ(Alpha(t, 39, 5), 100);
    ASSERT_TRUE(t.SetText("A", 0xFF000000, 15, -2, -1));
    EXPECT_EQ(Alpha(t, 0, 0), 100);

    // A measured width beyond 30000 is limited to 30000 pixels.
    CQWF_TextLayer wide;
    wide.m_font = &font;
    ASSERT_TRUE(wide.Create(0, 0, 0, 0, 0));
    std::string many(160, 'W');  // 160 * 255 = 40800
    ASSERT_TRUE(wide.SetText(many.c_str(), 0xFF000000, 15, 0, 0));
    EXPECT_EQ(wide.GetWidth(), 30000);
    EXPECT_EQ(Alpha(wide, 29999, 1), 1);  // row: base offset 2 + top -1
}
