// The program's own popup menu: its layout and place, the keyboard and pointer rules that choose
// or dismiss it, and what it draws; the drawing of the program's own boxes and menus: blending by
// coverage, fills and round boxes clipped to the canvas (right and bottom exclusive), and texts in
// the toolkit font.
#include <gtest/gtest.h>

#include "platform/qw_menu.h"
#include "platform/qw_uidraw.h"

using namespace qwp;

namespace {

MenuRequest Sample(bool leftButton = true)
{
    MenuRequest r;
    r.screenX = 100;
    r.screenY = 50;
    r.leftButton = leftButton;
    r.items = {{"Greyed first", false, false, true},
               {"Undo\tCtrl+'Z'"},
               {"", true},
               {"Show extras", false, true, false},
               {"Greyed", false, false, true},
               {"Select all pieces\tCtrl+Shift+'A'"},
               {"Greyed last", false, false, true}};
    return r;
}

// The centre of an item's row.
void CentreOf(const PopupMenuView& v, int32_t item, int32_t& x, int32_t& y)
{
    x = v.Width() / 2;
    for (y = 0; y < v.Height(); ++y)
        if (v.ItemAt(x, y) == item) break;
    int32_t bottom = y;
    while (v.ItemAt(x, bottom) == item) ++bottom;
    y = (y + bottom) / 2;
}

}  // namespace

TEST(PopupMenuView, LayoutPlaceAndKeyboard)
{
    PopupMenuView v(Sample());
    // Every item has its row, in order, and the shortcut column leaves room for the texts.
    int32_t last = -1;
    for (int32_t y = 0; y < v.Height(); ++y) {
        const int32_t item = v.ItemAt(v.Width() / 2, y);
        if (item < 0) continue;
        EXPECT_GE(item, last);
        last = item;
    }
    EXPECT_EQ(last, 6);
    EXPECT_EQ(v.ItemAt(-1, 10), -1);
    EXPECT_EQ(v.ItemAt(v.Width(), 10), -1);
    EXPECT_GT(v.Width(), ToolkitFont(false).Width("Select all pieces") + ToolkitFont(false).Width("Ctrl+Shift+'A'"));

    // Place: below and right of the point; flipped where the area ends; kept inside.
    const ScreenRect area{0, 0, 1366, 728};
    ScreenRect r = v.Place(area);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(r.right - r.left, v.Width());
    MenuRequest corner = Sample();
    corner.screenX = 1360;
    corner.screenY = 720;
    r = PopupMenuView(corner).Place(area);
    EXPECT_EQ(r.right, 1360);
    EXPECT_EQ(r.bottom, 720);
    corner.screenY = 5;
    r = PopupMenuView(corner).Place({0, 0, 1366, v.Height() + 3});
    EXPECT_EQ(r.bottom, v.Height() + 3);  // fits neither above nor below: moved up into the area

    // Up and Down skip separators and greyed items and wrap; Home and End; Return chooses.
    EXPECT_EQ(v.Hover(), -1);
    const int32_t downs[] = {1, 3, 5, 1};
    for (int32_t want : downs) {
        EXPECT_TRUE(v.Key(vk::Down));
        EXPECT_EQ(v.Hover(), want);
    }
    EXPECT_TRUE(v.Key(vk::Up));
    EXPECT_EQ(v.Hover(), 5);
    EXPECT_TRUE(v.Key(vk::Home));
    EXPECT_EQ(v.Hover(), 1);
    EXPECT_TRUE(v.Key(vk::End));
    EXPECT_EQ(v.Hover(), 5);
    EXPECT_FALSE(v.Key('X'));
    v.Key(vk::Return);
    EXPECT_EQ(v.GetState(), PopupMenuView::State::Chosen);
    EXPECT_EQ(v.Choice(), 5);

    PopupMenuView esc(Sample());
    esc.Key(vk::Return);  // nothing highlighted: nothing chosen
    EXPECT_EQ(esc.GetState(), PopupMenuView::State::Open);
    esc.Key(vk::Escape);
    EXPECT_EQ(esc.GetState(), PopupMenuView::State::Cancelled);

    MenuRequest none;
    none.items = {{"", true}, {"Off", false, false, true}};
    PopupMenuView empty(none);
    EXPECT_FALSE(empty.Key(vk::Down));
    EXPECT_EQ(empty.Hover(), -1);
}

TEST(PopupMenuView, PointerChoosesDismissesAndDraws)
{
    int32_t x = 0, y = 0;
    {
        // The release of the press that opened the menu, where the pointer was, chooses nothing;
        // moving over an item and releasing there does.
        PopupMenuView v(Sample());
        CentreOf(v, 3, x, y);
        v.PointerMove(x, y);
        v.PointerUp(0, x, y);
        EXPECT_EQ(v.GetState(), PopupMenuView::State::Open);
        EXPECT_EQ(v.Hover(), 3);
        CentreOf(v, 1, x, y);
        EXPECT_TRUE(v.PointerMove(x, y));
        EXPECT_EQ(v.Hover(), 1);
        // Over a greyed item or a separator nothing is highlighted and nothing chosen.
        int32_t gx, gy;
        CentreOf(v, 4, gx, gy);
        v.PointerMove(gx, gy);
        EXPECT_EQ(v.Hover(), -1);
        v.PointerUp(0, gx, gy);
        CentreOf(v, 2, gx, gy);
        v.PointerUp(0, gx, gy);
        EXPECT_EQ(v.GetState(), PopupMenuView::State::Open);
        // The right button does not choose in a menu tracked with the left one.
        v.PointerUp(1, x, y);
        EXPECT_EQ(v.GetState(), PopupMenuView::State::Open);
        v.PointerUp(0, x, y);
        EXPECT_EQ(v.GetState(), PopupMenuView::State::Chosen);
        EXPECT_EQ(v.Choice(), 1);
    }
    {
        // A click (press and release inside) chooses without a move; right-button menus take
        // either button.
        PopupMenuView v(Sample(false));
        CentreOf(v, 5, x, y);
        v.PointerDown(1, x, y);
        v.PointerUp(1, x, y);
        EXPECT_EQ(v.GetState(), PopupMenuView::State::Chosen);
        EXPECT_EQ(v.Choice(), 5);
    }
    {
        // A press outside dismisses; nothing more changes it afterwards.
        PopupMenuView v(Sample());
        v.PointerDown(0, v.Width() + 5, 10);
        EXPECT_EQ(v.GetState(), PopupMenuView::State::Cancelled);
        CentreOf(v, 1, x, y);
        v.PointerDown(0, x, y);
        v.PointerUp(0, x, y);
        EXPECT_EQ(v.GetState(), PopupMenuView::State::Cancelled);
    }
    {
        // The highlighted row is drawn in the accent with its text in the dark on-accent colour;
        // greyed text is dimmed; the rest is the raised face.
        PopupMenuView v(Sample());
        CentreOf(v, 3, x, y);
        v.PointerMove(x, y);
        Canvas c(v.Width(), v.Height(), 0);
        v.Draw(c);
        auto at = [&](int32_t px, int32_t py) {
            const uint8_t* p = &c.rgb[(static_cast<size_t>(py) * c.width + px) * 3];
            return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        };
        EXPECT_EQ(at(v.Width() - 8, y), palette::Accent);
        EXPECT_EQ(at(0, y), palette::BorderOuter);
        int32_t ux, uy;
        CentreOf(v, 1, ux, uy);
        EXPECT_EQ(at(v.Width() - 8, uy), palette::Raised);
        int dark = 0, dimmed = 0;
        for (int32_t px = 0; px < v.Width(); ++px) {
            dark += at(px, y) == palette::OnAccent;
        }
        CentreOf(v, 4, ux, uy);
        for (int32_t py = uy - 6; py < uy + 6; ++py)
            for (int32_t px = 0; px < v.Width(); ++px) dimmed += at(px, py) == 0x6B717A;
        if (ToolkitFont(false).IsLoaded()) {
            EXPECT_GT(dark, 0);
            EXPECT_GT(dimmed, 0);
        }
    }
}

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
    c.rgb.resize(c.rgb.size() + 15, 0x11);  // a row of guard bytes after the picture
    // Fills reaching past the edges cover what lies inside.
    c.Fill(-2, 2, 2, 9, 0x0000FF);
    c.Fill(3, -1, 9, 1, 0x00FF00);
    // Coverage 0 keeps the pixel, 255 (or more) replaces it, 128 mixes rounding to the nearest:
    // (0x10 x 127 + 0xF0 x 128 + 127) / 255 = 128, likewise 136 and 144.
    c.Blend(0, 0, 0xF0F0F0, 0);
    c.Blend(4, 3, 0xF0F0F0, 300);
    c.Blend(0, 3, 0xF0F0F0, 255);
    c.Blend(1, 0, 0xF0F0F0, 128);
    // Points just off each edge change nothing.
    for (const auto& [x, y] : {std::pair{-1, 0}, std::pair{0, -1}, std::pair{5, 0}, std::pair{0, 4}})
        c.Blend(x, y, 0xFFFFFF, 255);
    EXPECT_EQ(Letters(c, {{'.', 0x102030}, {'w', 0xF0F0F0}, {'m', 0x808890}, {'b', 0x0000FF}, {'g', 0x00FF00}}),
              (std::vector<std::string>{".m.gg", ".....", "bb...", "wb..w"}));
    EXPECT_EQ(std::vector<uint8_t>(c.rgb.end() - 15, c.rgb.end()), std::vector<uint8_t>(15, 0x11));
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
    EXPECT_GT(font.Width("\xFF"), 0);  // its last character
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
