// The drawing of the program's own boxes and menus: blending by coverage, fills and round boxes
// clipped to the canvas (right and bottom exclusive), and texts in the toolkit font.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/qw_uidraw.h"

using namespace qwp;

namespace {

// The canvas as one letter a pixel, row by row: the colours named in `names`, '?' for others.
std::vector<std::string> Letters(const Canvas& c, const std::vector<std::pair<char, uint32_t>>& names)
{
    std::vector<std::string> rows;
    for (int32_t y = 0; y < c.height; ++y) {
        std::string row;
        for (int32_t x = 0; x < c.width; ++x) {
            const uint8_t* p = &c.rgb[(static_cast<size_t>(y) * c.width + x) * 3];
            const uint32_t colour = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
            char letter = '?';
            for (const auto& [l, named] : names) letter = named == colour ? l : letter;
            row += letter;
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

TEST(Canvas, BlendsAndFillsStayWithinTheCanvas)
{
    Canvas c(5, 4, 0x102030);
    // Coverage 0 keeps the pixel, 255 (or more) replaces it, 128 mixes rounding to the nearest:
    // (0x10 x 127 + 0xF0 x 128 + 127) / 255 = 128, likewise 136 and 144.
    c.Blend(0, 0, 0xF0F0F0, 0);
    c.Blend(4, 3, 0xF0F0F0, 300);
    c.Blend(1, 0, 0xF0F0F0, 128);
    // Points just off each edge change nothing.
    for (const auto& [x, y] : {std::pair{-1, 0}, std::pair{0, -1}, std::pair{5, 0}, std::pair{0, 4}})
        c.Blend(x, y, 0xFFFFFF, 255);
    // Fills reaching past the edges cover what lies inside.
    c.Fill(-2, 2, 2, 9, 0x0000FF);
    c.Fill(3, -1, 9, 1, 0x00FF00);
    EXPECT_EQ(Letters(c, {{'.', 0x102030}, {'w', 0xF0F0F0}, {'m', 0x808890}, {'b', 0x0000FF}, {'g', 0x00FF00}}),
              (std::vector<std::string>{".m.gg", ".....", "bb...", "bb..w"}));
}

// The coverage of a 10 x 8 box with corners of radius 3: 255 inside, 0 outside and at the corner
// pixels (whose centres lie 2.5 x sqrt 2 from the corner circle's centre), r + 0.5 - d between.
TEST(Canvas, RoundBoxesCoverTheirPixelsByTheDistanceFromTheCornerCircles)
{
    const struct {
        int32_t x, y;
        uint32_t coverage;
    } points[] = {
        {-1, 4, 0},  {0, 4, 255}, {9, 4, 255}, {10, 4, 0},  {4, -1, 0}, {4, 0, 255}, {4, 7, 255}, {4, 8, 0},
        {0, 0, 0},   {1, 1, 255}, {0, 1, 149}, {9, 7, 0},   {8, 6, 255}, {9, 6, 149}, {8, 7, 149}, {9, 0, 0},
    };
    for (const auto& p : points) EXPECT_EQ(RoundCoverage(p.x, p.y, 0, 0, 10, 8, 3), p.coverage) << p.x << "," << p.y;
    Canvas c(12, 10, 0);
    c.FillRound(1, 1, 11, 9, 3, 0xFFFFFF);
    EXPECT_EQ(Letters(c, {{'.', 0}, {'#', 0xFFFFFF}})[5], ".##########.");
}

// Characters before the font's first one (controls) neither draw nor move the pen; the blank,
// its first, moves it.
TEST(UiFont, SkipsCharactersOutsideItsRangeAndAdvancesByEachGlyph)
{
    UiFont font;
    ASSERT_TRUE(font.Load("DejaVu Sans", 12));
    EXPECT_GT(font.Width(" "), 0);
    EXPECT_EQ(font.Width("A B"), font.Width("A") + font.Width(" ") + font.Width("B"));
    EXPECT_EQ(font.Width("A\tB\x1F"), font.Width("AB"));
    auto drawn = [&](int32_t x, const std::string& text) {
        Canvas c(40, 20, 0);
        font.Draw(c, x, 15, text, 0xFFFFFF);
        return c.rgb;
    };
    EXPECT_EQ(drawn(0, " A\t"), drawn(font.Width(" "), "A"));
    EXPECT_NE(drawn(0, "A"), drawn(0, ""));
    UiFont none;
    EXPECT_EQ(none.Width("abc"), 21);  // an unloaded font measures 7 a character
}
