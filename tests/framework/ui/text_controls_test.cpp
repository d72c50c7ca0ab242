// The edit line and the list of the compiled Demo window, headless on the virtual clock and
// through the X11 backend: keys, numeric mode, clipboard, undo, clicks, caret, selection rules,
// scrolling and what each shows.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/imaging/qwf_font.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_list.h"
#include "framework/ui/qwf_scrollbar.h"
#include "platform/qw_paths.h"
#include "demo_controls.h"
#include "support/test_support.h"
#include "ui_test_windows.h"

using namespace uitest;
using qwtest::HeadlessUi;
using qwtest::X11Ui;

namespace {

constexpr uint32_t Rgba(uint32_t rgb, uint32_t a) { return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16 | a << 24; }

// The skin's colours for the edit line (skin/README.md).
void SkinColours(CQWF_CtrlEditLine& edit)
{
    edit.SetDrawParams(Rgba(0x24272C, 255), Rgba(0x292C32, 255), Rgba(0x24272C, 255), Rgba(0xF28C28, 255),
                       Rgba(0x24272C, 120), Rgba(0xE6E8EB, 255), Rgba(0xE6E8EB, 255), Rgba(0xFFFFFF, 255),
                       Rgba(0x1C1E22, 255), Rgba(0x6B717A, 255));
}

// Demo places: the edit line's frame, its inside (the control) and text area; the list's text
// rectangle and its scroll bar.
constexpr QWF_Rect kEdit{524, 175, 744, 193};
constexpr int32_t kTextLeft = 525, kEditY = 184;
constexpr QWF_Rect kListText{461, 293, 735, 423};
constexpr QWF_Rect kListBar{735, 293, 747, 423};

// The window records the text of every 288 and counts the 352s.
class TextWindow : public RecordingWindow {
public:
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override
    {
        if (code == QWF_NOTIFY_TEXT) texts.push_back(static_cast<CQWF_String*>(data)->GetBuffer());
        if (code == QWF_NOTIFY_SELECTION) ++selections;
        return RecordingWindow::OnNotify(code, index, name, kind, data);
    }
    std::vector<std::string> texts;
    int selections = 0;
};

// Where each character of a text starts when the line shows it from `first`, counted from the
// font's glyph records: the pen starts at the text area's left and moves by offset, width and
// spacing.
std::vector<int32_t> CharStarts(CQWF_Font* font, const std::string& text, size_t first = 0)
{
    std::vector<int32_t> xs;
    int32_t pen = kTextLeft;
    for (size_t i = first; i < text.size(); ++i) {
        int8_t left, spacing, top;
        uint8_t w, h;
        font->GetGlyph(static_cast<uint8_t>(text[i]), left, spacing, top, w, h);
        xs.push_back(pen + left);
        pen += left + w + spacing;
    }
    xs.push_back(pen);
    return xs;
}

// The pixel of a layer (window coordinates) as 0xAABBGGRR.
uint32_t LayerPixel(CQWF_Layer* layer, int32_t x, int32_t y)
{
    QWF_Rect r;
    layer->GetRect(r);
    const size_t at = static_cast<size_t>(y - r.top) * layer->GetWidth() + (x - r.left);
    return layer->GetPlane(0)[at] | layer->GetPlane(1)[at] << 8 | layer->GetPlane(2)[at] << 16 |
           static_cast<uint32_t>(layer->GetPlane(3)[at]) << 24;
}

// Which items of a list are selected.
std::vector<int32_t> SelectedItems(const CQWF_CtrlList& list)
{
    std::vector<int32_t> out;
    for (int32_t i = 0; i < list.GetCount(); ++i) {
        bool on = false;
        list.GetItem(i, nullptr, &on, nullptr);
        if (on) out.push_back(i);
    }
    return out;
}

struct Held {
    Held(qwp::HeadlessWindowSystem& ws, uint32_t key) : ws(ws), key(key) { ws.KeyDown(key); }
    ~Held() { ws.KeyUp(key); }
    qwp::HeadlessWindowSystem& ws;
    uint32_t key;
};

struct TextControls : ::testing::Test {
    HeadlessUi ui;
    TextWindow demo;
    CQWF_CtrlScrollBar* bar = nullptr;
    CQWF_CtrlEditLine* edit = nullptr;
    CQWF_CtrlList* list = nullptr;
    CQWF_Font* editFont = nullptr;
    int32_t barIndex = -1;

    void SetUp() override
    {
        ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true)) << "build the skin package first";
        ASSERT_TRUE(demo.CreateFromSkin("Demo", 100, 60, nullptr, 0));
        demo.Show();
        const int32_t e = demo.AddControl("Demo_Edit", QWF_CTRL_EDIT);
        const int32_t l = demo.AddControl("Demo_List", QWF_CTRL_LIST);
        ASSERT_GE(e, 0);
        ASSERT_GE(l, 0);
        barIndex = demo.AddControl("Demo_ListScroll", QWF_CTRL_SCROLLBAR);
        ASSERT_GE(barIndex, 0);
        bar = static_cast<CQWF_CtrlScrollBar*>(demo.GetControl(barIndex));
        edit = static_cast<CQWF_CtrlEditLine*>(demo.GetControl(e));
        list = static_cast<CQWF_CtrlList*>(demo.GetControl(l));
        editFont = demo.GetFont(demo.LoadFont("Edit Font"));
        ASSERT_NE(editFont, nullptr);
        edit->SetFont(editFont);
        SkinColours(*edit);
        list->SetFont(demo.GetFont(demo.LoadFont("List Font")));
        ui.Pump();
    }
    // A click into the line that starts a new click chain.
    void ClickEdit(int32_t x = 600)
    {
        ui.Advance(600);
        ui.Click(demo, x, kEditY);
    }
    void Ctrl(uint32_t key)
    {
        Held ctrl(ui.Ws(), qwp::vk::Control);
        ui.Key(key);
    }
    void Shifted(uint32_t key)
    {
        Held shift(ui.Ws(), qwp::vk::Shift);
        ui.Key(key);
    }
    std::string Text() const { return edit->GetText().GetBuffer(); }
    std::pair<int32_t, int32_t> Selection() const
    {
        int32_t s, e;
        edit->GetSelection(s, e);
        return {s, e};
    }
    std::vector<int32_t> Selected() const { return SelectedItems(*list); }
    void ClickItem(int32_t line, uint32_t modifierKey = 0, uint32_t secondKey = 0)
    {
        const int32_t y = kListText.top + list->GetTextOffsetY() + list->GetLineHeight() * line + list->GetLineHeight() / 2;
        if (modifierKey) ui.Ws().KeyDown(modifierKey);
        if (secondKey) ui.Ws().KeyDown(secondKey);
        ui.Advance(600);  // no double clicks
        ui.Click(demo, 520, y);
        if (secondKey) ui.Ws().KeyUp(secondKey);
        if (modifierKey) ui.Ws().KeyUp(modifierKey);
    }
    void Fill(int32_t n)
    {
        list->RemoveAll(false, false);
        for (int32_t i = 0; i < n; ++i) list->AddItem(("Item " + std::to_string(i)).c_str(), false, 100 + i, i + 1 < n);
    }
};

}  // namespace

TEST_F(TextControls, EditLineKeysClipboardUndoAndEscape)
{
    edit->SetText("Hello world", false);
    EXPECT_TRUE(demo.texts.empty());
    EXPECT_EQ(edit->GetVisualState(), QWF_STATE_NORMAL);

    // The click that gives the focus selects everything; typing replaces it.
    ClickEdit();
    EXPECT_TRUE(edit->IsFocused());
    EXPECT_EQ(demo.GetFocusIndex(), edit->GetIndex());
    EXPECT_EQ(edit->GetVisualState(), QWF_STATE_PRESSED);
    EXPECT_EQ(Selection(), std::make_pair(0, 11));
    // The selection's band runs under the blank and ends where the text does.
    const std::vector<int32_t> hello = CharStarts(editFont, "Hello world");
    EXPECT_EQ(LayerPixel(edit->GetLayer(), (hello[5] + hello[6]) / 2, 177), Rgba(0xF28C28, 255));
    EXPECT_EQ(LayerPixel(edit->GetLayer(), hello[11] + 1, 177), Rgba(0x24272C, 255));
    ui.Type("abc");
    EXPECT_EQ(demo.texts, (std::vector<std::string>{"a", "ab", "abc"}));
    EXPECT_EQ(edit->GetCaretPos(), 3);

    // One-level undo is a swap: twice gives the text back.
    Ctrl('Z');
    EXPECT_EQ(Text(), "Hello world");
    Ctrl('Z');
    EXPECT_EQ(Text(), "abc");

    // Selection by keys, copy and paste; the pasted text becomes the selection, the caret stays.
    ui.Key(qwp::vk::Home);
    Shifted(qwp::vk::End);
    EXPECT_EQ(Selection(), std::make_pair(0, 3));
    Ctrl('C');
    std::string clip;
    ui.Ws().GetClipboardText(clip);
    EXPECT_EQ(clip, "abc");
    ui.Key(qwp::vk::End);
    EXPECT_EQ(Selection(), std::make_pair(-1, -1));
    Ctrl('V');
    EXPECT_EQ(Text(), "abcabc");
    EXPECT_EQ(Selection(), std::make_pair(3, 6));
    EXPECT_EQ(edit->GetCaretPos(), 3);
    // Pasted line breaks and tabs stay out of a one-line field.
    ui.Ws().SetClipboardText("x\ty\r\nz");
    Ctrl('V');
    EXPECT_EQ(Text(), "abcxyz");

    // Word moves and word deletion (words of letters and digits, the first and last of each
    // range among them); Up and Down move like Left and Right outside numeric mode.
    edit->SetText("one Ab1, Z9a0z", true);
    EXPECT_EQ(demo.texts.back(), "one Ab1, Z9a0z");
    ui.Key(qwp::vk::End);
    Ctrl(qwp::vk::Left);
    EXPECT_EQ(edit->GetCaretPos(), 9);
    Ctrl(qwp::vk::Left);
    EXPECT_EQ(edit->GetCaretPos(), 4);
    Ctrl(qwp::vk::Right);
    EXPECT_EQ(edit->GetCaretPos(), 7);
    ui.Key(qwp::vk::Up);
    EXPECT_EQ(edit->GetCaretPos(), 6);
    ui.Key(qwp::vk::Down);
    Ctrl(qwp::vk::Back);
    EXPECT_EQ(Text(), "one , Z9a0z");
    EXPECT_EQ(edit->GetCaretPos(), 4);
    Ctrl(qwp::vk::Delete);
    EXPECT_EQ(Text(), "one ");
    // Backspace at the start and Delete at the end remove nothing, and tell the window all the
    // same (it reads the field again).
    ui.Key(qwp::vk::Home);
    const size_t before = demo.texts.size();
    ui.Key(qwp::vk::Back);
    ui.Key(qwp::vk::End);
    ui.Key(qwp::vk::Delete);
    EXPECT_EQ(demo.texts.size(), before + 2);
    EXPECT_EQ(demo.texts.back(), "one ");
    EXPECT_EQ(edit->GetCaretPos(), 4);
    ui.Key(qwp::vk::Home);
    ui.Key(qwp::vk::Delete);
    EXPECT_EQ(Text(), "ne ");
    // The caret set from outside: typing goes there; past the text it stands at the end.
    edit->SetCaretPos(2);
    ui.Type("w");
    EXPECT_EQ(Text(), "new ");
    edit->SetCaretPos(99);
    EXPECT_EQ(edit->GetCaretPos(), 4);

    // Shift+Left twice selects two characters; cut takes them.
    edit->SetText("ne three", true);
    ui.Key(qwp::vk::End);
    Shifted(qwp::vk::Left);
    Shifted(qwp::vk::Left);
    EXPECT_EQ(Selection(), std::make_pair(6, 8));
    Ctrl('X');
    ui.Ws().GetClipboardText(clip);
    EXPECT_EQ(clip, "ee");
    EXPECT_EQ(Text(), "ne thr");
    Ctrl('A');
    EXPECT_EQ(Selection(), std::make_pair(0, 6));
    // What the focused line does itself stays with it: the characters typed and Ctrl+A, C, X, V
    // and Z never reached the window nor its accelerators (the skin gives Ctrl+A, C, V and Z
    // commands); a shortcut the line has no use for still does.
    EXPECT_TRUE(demo.Only("char").empty()) << demo.Only("char")[0];
    EXPECT_TRUE(demo.Only("notify:336").empty()) << demo.Only("notify:336")[0];
    Ctrl('S');
    EXPECT_EQ(demo.Only("notify:336"), (std::vector<std::string>{"notify:336:32::0"}));
    EXPECT_EQ(Text(), "ne thr");

    // Escape puts back the text from before the focus without telling the window, and ends
    // editing; the pointer still over the line shows the hover look.
    const size_t told = demo.texts.size();
    ui.Key(qwp::vk::Escape);
    EXPECT_EQ(Text(), "Hello world");
    EXPECT_EQ(demo.texts.size(), told);
    EXPECT_FALSE(edit->IsFocused());
    EXPECT_EQ(demo.GetFocusIndex(), -1);
    EXPECT_EQ(edit->GetVisualState(), QWF_STATE_HIGHLIGHTED);
    // The hover watch ends the hover look once the pointer has left without a move reaching the
    // line.
    ui.Ws().MovePointer(5, 5);
    ui.Advance(60);
    EXPECT_EQ(edit->GetVisualState(), QWF_STATE_NORMAL);

    // Enter ends editing; Tab only when asked to.
    ClickEdit();
    ui.Key(qwp::vk::Tab);
    EXPECT_TRUE(edit->IsFocused());
    demo.log.clear();
    ui.Key(qwp::vk::Return);
    EXPECT_FALSE(edit->IsFocused());
    EXPECT_TRUE(demo.Only("keydown").empty());
    // A line told so lets the window have Enter and Escape too, once the editing has ended (a
    // dialog confirms or cancels with them).
    edit->SetEndKeysReachWindow(true);
    ClickEdit();
    ui.Key(qwp::vk::Return);
    EXPECT_FALSE(edit->IsFocused());
    ClickEdit();
    ui.Key(qwp::vk::Escape);
    EXPECT_FALSE(edit->IsFocused());
    EXPECT_EQ(demo.Only("keydown"), (std::vector<std::string>{"keydown:6,0", "keydown:7,0"}));
    edit->SetEndKeysReachWindow(false);
    edit->SetNumeric(false, true, false, false, 0, true);
    ClickEdit();
    ui.Key(qwp::vk::Tab);
    EXPECT_FALSE(edit->IsFocused());

    // A read-only line copies, but neither cuts, pastes (it beeps) nor takes characters.
    edit->SetNumeric(false, true, false, true, 0, false);
    ClickEdit();
    Ctrl('X');
    ui.Ws().GetClipboardText(clip);
    EXPECT_EQ(clip, "Hello world");
    const int beeps = ui.Ws().Beeps();
    Ctrl('V');
    EXPECT_EQ(ui.Ws().Beeps(), beeps + 1);
    ui.Type("q");
    ui.Key(qwp::vk::Delete);
    EXPECT_EQ(Text(), "Hello world");

    // A disabled line gives up the focus and takes no more keys.
    edit->SetNumeric(false, true, false, false, 0, false);
    edit->SetEnabled(false);
    EXPECT_FALSE(edit->IsFocused());
    EXPECT_EQ(edit->GetVisualState(), QWF_STATE_DISABLED);
    ui.Type("q");
    EXPECT_EQ(Text(), "Hello world");
    ClickEdit();
    EXPECT_FALSE(edit->IsFocused());
    edit->SetEnabled(true);
    EXPECT_EQ(edit->GetVisualState(), QWF_STATE_HIGHLIGHTED);
    // With its text hidden the line's layer is not drawn.
    edit->SetTextVisible(false);
    EXPECT_EQ(edit->GetLayer()->IsVisible(), 0);
    edit->SetTextVisible(true);
    EXPECT_NE(edit->GetLayer()->IsVisible(), 0);
}

TEST_F(TextControls, EditLineNumericMode)
{
    auto wheel = [&](int32_t notches, bool shift) {
        if (shift) ui.Ws().KeyDown(qwp::vk::Shift);
        ui.Wheel(demo, 600, kEditY, notches);
        if (shift) ui.Ws().KeyUp(qwp::vk::Shift);
    };
    const struct {
        std::function<void()> act;
        const char* text;
    } steps[] = {
        // An integer line without negatives takes only digits; Up and Down step 1, with Shift
        // 10, Page Up and Down 10, a wheel notch 1 (with Shift 10); 0 does not step below 0,
        // and a number past the integer range is held at its end.
        {[&] { edit->SetNumeric(true, false, false, false, 0, false), ClickEdit(); }, ""},
        {[&] { ui.Type("12a.5-"); }, "125"},
        {[&] { ui.Key(qwp::vk::Up); }, "126"},
        {[&] { Shifted(qwp::vk::Up); }, "136"},
        {[&] { ui.Key(qwp::vk::PageDown); }, "126"},
        {[&] { wheel(2, false); }, "128"},
        {[&] { wheel(-1, true); }, "118"},
        {[&] { edit->SetText("0", false), ui.Key(qwp::vk::Down); }, "0"},
        {[&] { edit->SetText("99999999999999999999", false), ui.Key(qwp::vk::Up); }, "2147483647"},
        // With negatives, past the range's other end.
        {[&] {
             edit->SetNumeric(true, true, false, false, 0, false);
             edit->SetText("-99999999999999999999", false);
             ui.Key(qwp::vk::Down);
         },
         "-2147483648"},
        // A real line steps by 0.1 and shows one decimal; paste keeps only what it would take.
        {[&] { edit->SetNumeric(true, true, true, false, 0, false), edit->SetText("1.0", false), wheel(1, true); }, "2.0"},
        {[&] { ui.Ws().SetClipboardText("x-1.5y"), Ctrl('A'), Ctrl('V'); }, "-1.5"},
        {[&] { ui.Key(qwp::vk::PageUp); }, "-0.5"},
        {[&] { ui.Key(qwp::vk::Down); }, "-0.6"},
        // The wheel steps only a focused line; otherwise the window has it.
        {[&] { ui.Key(qwp::vk::Return), wheel(1, false); }, "-0.6"},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_EQ(Text(), step.text) << "step " << &step - steps;
    }
}

TEST_F(TextControls, EditLineMouseCaretAndScrolling)
{
    const std::string text = "alpha beta42 gamma";
    edit->SetText(text.c_str(), false);
    std::vector<int32_t> xs = CharStarts(editFont, text);
    const int32_t inBeta = (xs[7] + xs[8]) / 2;  // over the "e" of beta42

    // Focusing click: everything selected. A double click selects exactly the word's letters
    // and digits, a triple click everything.
    ui.Click(demo, inBeta, kEditY);
    EXPECT_EQ(Selection(), std::make_pair(0, 18));
    ui.Advance(600);
    ui.Click(demo, inBeta, kEditY);
    EXPECT_EQ(Selection(), std::make_pair(-1, -1));
    ui.Click(demo, inBeta, kEditY);
    EXPECT_EQ(Selection(), std::make_pair(6, 12));
    ui.Click(demo, inBeta, kEditY);
    EXPECT_EQ(Selection(), std::make_pair(0, 18));
    // A double click between separators takes the previous word and the gap.
    edit->SetText("ab,  cd", false);
    xs = CharStarts(editFont, "ab,  cd");
    ui.Advance(600);
    ui.Click(demo, xs[4], kEditY);
    EXPECT_EQ(edit->GetCaretPos(), 4);
    ui.Click(demo, xs[4], kEditY);
    EXPECT_EQ(Selection(), std::make_pair(0, 4));

    // Click, then Shift-click: the range between them.
    edit->SetText(text.c_str(), false);
    xs = CharStarts(editFont, text);
    ui.Advance(600);
    ui.Click(demo, xs[2], kEditY);
    EXPECT_EQ(edit->GetCaretPos(), 2);
    ui.Advance(600);
    {
        Held shift(ui.Ws(), qwp::vk::Shift);
        ui.Click(demo, xs[9] + 1, kEditY);
    }
    EXPECT_EQ(Selection(), std::make_pair(2, 9));
    // The letter after the selection keeps the focused text's light colour.
    bool light = false;
    for (int32_t x = xs[9]; x < xs[10]; ++x)
        for (int32_t y = kEdit.top; y < kEdit.bottom; ++y) light = light || (LayerPixel(edit->GetLayer(), x, y) & 0xFF) > 0x80;
    EXPECT_TRUE(light);

    // The caret blinks on the window's timers: the column before the caret is inverted and
    // comes back after one blink period.
    ui.Advance(600);
    ui.Click(demo, xs[5], kEditY);
    EXPECT_EQ(edit->GetCaretPos(), 5);
    ASSERT_TRUE(edit->IsCaretDrawn());
    const int32_t column = xs[5] - 1;
    EXPECT_TRUE(Near(ui.Pixels(demo).At(column, 177), 0xFFFFFF ^ 0x24272Cu));
    ui.Advance(530);
    EXPECT_FALSE(edit->IsCaretDrawn());
    EXPECT_TRUE(Near(ui.Pixels(demo).At(column, 177), 0x24272Cu));
    ui.Advance(530);
    EXPECT_TRUE(edit->IsCaretDrawn());

    // A long text scrolls to keep the caret visible while editing and shows from its start
    // otherwise; the layer holds the focused background and the selection band.
    std::string longText;
    for (int i = 0; i < 12; ++i) longText += "word" + std::to_string(i) + " ";
    edit->SetText(longText.c_str(), false);
    ui.Key(qwp::vk::End);
    EXPECT_GT(edit->GetFirstVisible(), 0);
    EXPECT_GE(edit->GetFirstVisible() + edit->GetVisibleCount(), static_cast<int32_t>(longText.size()));
    const int32_t first = edit->GetFirstVisible();
    const std::vector<int32_t> tail = CharStarts(editFont, longText, static_cast<size_t>(first));
    EXPECT_LE(tail[longText.size() - first], kEdit.right - 1);
    // Drag selecting left past the line scrolls back one character per move outside it (the
    // last three of six steps from 700 to 400).
    ui.Advance(600);
    ui.Drag(demo, 700, kEditY, 400, kEditY, 6);
    EXPECT_EQ(edit->GetFirstVisible(), first - 3);
    int32_t s, e;
    ASSERT_TRUE(edit->GetSelection(s, e));
    EXPECT_EQ(s, first - 3);
    EXPECT_EQ(LayerPixel(edit->GetLayer(), 600, 177), Rgba(0xF28C28, 255));
    EXPECT_EQ(LayerPixel(edit->GetLayer(), kEdit.right - 1, 177), Rgba(0x24272C, 255));
    ui.Key(qwp::vk::Return);
    EXPECT_EQ(edit->GetFirstVisible(), 0);
    ui.MoveTo(demo, 700, kEditY);
    EXPECT_EQ(LayerPixel(edit->GetLayer(), kEdit.right - 1, 177), Rgba(0x292C32, 255));  // hover
}

TEST_F(TextControls, ListSelectionByMouseAndKeys)
{
    list->AttachScrollBar(true, true, 20, 5, 5, barIndex);
    EXPECT_EQ(list->GetVisibleLines(), 7);  // 130 / 20 + 1
    EXPECT_EQ(list->GetScrollBar(), bar);
    Fill(30);
    EXPECT_EQ(list->GetCount(), 30);
    // The bar's range is the items, its page the six lines that show whole.
    EXPECT_EQ(RangeAndPage(bar), std::make_pair(30u, 6u));
    uint32_t data = 0;
    CQWF_String name;
    ASSERT_TRUE(list->GetItem(29, &name, nullptr, &data));
    EXPECT_STREQ(name.GetBuffer(), "Item 29");
    EXPECT_EQ(data, 129u);
    EXPECT_FALSE(list->GetItem(30, &name, nullptr, &data));
    // The text layer shows the visible items and the one after them.
    EXPECT_STREQ(list->GetLayer()->GetText().GetBuffer(), "Item 0\nItem 1\nItem 2\nItem 3\nItem 4\nItem 5\nItem 6\nItem 7\n");

    // Click 2, Shift-click 5, Ctrl-click 3, Ctrl+Shift-click 0 (from the anchor 3).
    ClickItem(2);
    EXPECT_TRUE(list->IsFocused());
    EXPECT_EQ(Selected(), (std::vector<int32_t>{2}));
    ClickItem(5, qwp::vk::Shift);
    EXPECT_EQ(Selected(), (std::vector<int32_t>{2, 3, 4, 5}));
    ClickItem(3, qwp::vk::Control);
    EXPECT_EQ(Selected(), (std::vector<int32_t>{2, 4, 5}));
    EXPECT_EQ(list->GetAnchor(), 3);
    ClickItem(0, qwp::vk::Control, qwp::vk::Shift);
    EXPECT_EQ(Selected(), (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(list->GetSelection(), 0);
    EXPECT_EQ(demo.selections, 4);

    // Keys from the anchor: each step's keys, then the selection and the top item, which the
    // bar's position follows.
    const struct {
        uint32_t key;
        int times;
        bool shift;
        std::vector<int32_t> selected;
        int32_t top;
    } steps[] = {
        {qwp::vk::Down, 2, false, {2}, 0},
        {qwp::vk::Up, 2, true, {0, 1, 2}, 0},
        {qwp::vk::Down, 7, false, {7}, 2},  // item 7 is the last whole line
        {qwp::vk::End, 1, false, {29}, 24},
        {qwp::vk::Down, 1, false, {29}, 24},
        {qwp::vk::Home, 1, false, {0}, 0},
        {qwp::vk::PageDown, 1, false, {5}, 0},
        {qwp::vk::PageDown, 1, false, {10}, 5},  // the anchor is the last fully visible line
        {qwp::vk::PageUp, 1, false, {5}, 5},
        {qwp::vk::PageUp, 2, false, {0}, 0},
        {qwp::vk::PageDown, 1, true, {0, 1, 2, 3, 4, 5}, 0},
    };
    for (const auto& step : steps) {
        for (int i = 0; i < step.times; ++i) step.shift ? Shifted(step.key) : ui.Key(step.key);
        EXPECT_EQ(Selected(), step.selected) << step.key;
        EXPECT_EQ(list->GetTopItem(), step.top) << step.key;
        EXPECT_EQ(bar->GetPos(), static_cast<uint32_t>(step.top)) << step.key;
    }
    const int told = demo.selections;
    ui.Key(qwp::vk::Left);  // not a list key
    EXPECT_EQ(demo.selections, told);
    EXPECT_EQ(demo.selections, 24);

    // The wheel goes to the scroll bar, whose position is the top item; pressing the track below
    // the thumb pages the list.
    ui.Wheel(demo, 520, 320, -2);
    EXPECT_EQ(bar->GetPos(), 2u);
    EXPECT_EQ(list->GetTopItem(), 2);
    EXPECT_STREQ(list->GetLayer()->GetText().GetBuffer(), "Item 2\nItem 3\nItem 4\nItem 5\nItem 6\nItem 7\nItem 8\nItem 9\n");
    ui.Click(demo, (kListBar.left + kListBar.right) / 2, kListBar.bottom - 2);
    EXPECT_EQ(list->GetTopItem(), 7);
    EXPECT_EQ(bar->GetPos(), 7u);
    // While the thumb is dragged the list follows without setting the bar back: the thumb stays
    // under the pointer rather than snapping to the position's place.
    const QWF_Rect thumb = bar->GetThumbRect();
    const int32_t grabX = (thumb.left + thumb.right) / 2, grabY = thumb.top + 3;
    ui.Press(demo, grabX, grabY);
    ui.MoveTo(demo, grabX, grabY + 31);
    EXPECT_TRUE(bar->IsDragging());
    EXPECT_EQ(bar->GetThumbLayer()->GetY(), thumb.top + 31);
    EXPECT_EQ(list->GetTopItem(), static_cast<int32_t>(bar->GetPos()));
    EXPECT_GT(list->GetTopItem(), 7);
    ui.Release(demo, grabX, grabY + 31);
    EXPECT_FALSE(bar->IsDragging());
    EXPECT_EQ(list->GetTopItem(), static_cast<int32_t>(bar->GetPos()));
    // Notifications of other kinds, or from other controls, are not the list's.
    uint32_t position = 12;
    EXPECT_FALSE(list->OnChildNotify(QWF_NOTIFY_CLICK, barIndex, "Demo_ListScroll", QWF_CTRL_SCROLLBAR, &position));
    EXPECT_FALSE(list->OnChildNotify(QWF_NOTIFY_VALUE, barIndex + 1, "Other", QWF_CTRL_SCROLLBAR, &position));

    // A click below the last item selects nothing and still tells the window.
    // Three items all fit: the bar's range shrinks and takes the list back to its top.
    Fill(3);
    EXPECT_EQ(list->GetTopItem(), 0);
    EXPECT_EQ(bar->GetPos(), 0u);
    ClickItem(1);
    ClickItem(5);
    EXPECT_TRUE(Selected().empty());
    EXPECT_EQ(list->GetSelection(), -1);
    EXPECT_EQ(demo.selections, 26);

    // Single selection: Shift and Ctrl clicks still select one item.
    list->AttachScrollBar(false, true, 20, 5, 5, barIndex);
    ClickItem(0);
    ClickItem(2, qwp::vk::Shift);
    EXPECT_EQ(Selected(), (std::vector<int32_t>{2}));
    ClickItem(1, qwp::vk::Control);
    EXPECT_EQ(Selected(), (std::vector<int32_t>{1}));
    // Code selects without notifying unless asked, and the anchor outlives clearing.
    list->SelectItem(0, 2, true, false, true, true, false);
    EXPECT_EQ(Selected(), (std::vector<int32_t>{0, 1, 2}));
    list->DeselectAll(true, false);
    EXPECT_TRUE(Selected().empty());
    EXPECT_EQ(list->GetAnchor(), 2);
    bool on = true;
    EXPECT_TRUE(list->SetItem(1, "Renamed", &on, nullptr, true));
    EXPECT_FALSE(list->SetItem(3, "None", &on, nullptr, true));
    list->GetItem(1, &name, &on, &data);
    EXPECT_STREQ(name.GetBuffer(), "Renamed");
    EXPECT_EQ(data, 101u);
    EXPECT_EQ(demo.selections, 29);
}

TEST_F(TextControls, ListWithOneVisibleLineKeepsTheAnchorInView)
{
    // A line taller than the text rectangle: no line shows whole.
    list->AttachScrollBar(true, true, 131, 5, 5, barIndex);
    ASSERT_EQ(list->GetVisibleLines(), 1);
    Fill(10);
    ClickItem(0);
    EXPECT_EQ(Selected(), (std::vector<int32_t>{0}));
    for (int32_t i = 1; i <= 3; ++i) {
        ui.Key(qwp::vk::Down);
        EXPECT_EQ(list->GetAnchor(), i);
        EXPECT_EQ(list->GetTopItem(), i);
    }
    ui.Key(qwp::vk::PageDown);
    EXPECT_EQ(list->GetAnchor(), 4);
    EXPECT_EQ(list->GetTopItem(), 4);
    ui.Key(qwp::vk::End);
    EXPECT_EQ(list->GetTopItem(), 9);
    ui.Key(qwp::vk::PageUp);
    EXPECT_EQ(list->GetTopItem(), 8);
    ui.Key(qwp::vk::Home);
    EXPECT_EQ(list->GetTopItem(), 0);
    EXPECT_STREQ(list->GetLayer()->GetText().GetBuffer(), "Item 0\nItem 1\n");
}

TEST_F(TextControls, ListDrawsSelectedRowsAndStates)
{
    list->AttachScrollBar(true, false, 20, 5, 5, barIndex);
    Fill(12);
    list->SelectItem(1, 1, true, false, true, true, false);
    const int32_t rowY = kListText.top + 5 + 20 + 2;  // inside line 1
    const int32_t otherY = kListText.top + 5 + 40 + 2;  // inside line 2
    // Unfocused, with the selection shown only while focused: no selected row.
    EXPECT_EQ(list->GetVisualState(), QWF_STATE_NORMAL);
    EXPECT_EQ(LayerPixel(list->GetLayer(), 700, rowY) & 0xFFFFFF, LayerPixel(list->GetLayer(), 700, otherY) & 0xFFFFFF);
    const qwtest::Picture unfocused = ui.Pixels(demo);

    // Focused: the row takes the selection's background and letter colour.
    ClickItem(1);
    EXPECT_EQ(list->GetVisualState(), QWF_STATE_PRESSED);
    EXPECT_EQ(LayerPixel(list->GetLayer(), 700, rowY) & 0xFFFFFF, Rgba(0x1C1E22, 0) & 0xFFFFFF);
    EXPECT_EQ(LayerPixel(list->GetLayer(), 700, otherY) & 0xFFFFFF, Rgba(0xE6E8EB, 0) & 0xFFFFFF);
    const qwtest::Picture focused = ui.Pixels(demo);
    EXPECT_TRUE(Near(focused.At(700, rowY), 0xF28C28u));
    EXPECT_FALSE(Near(unfocused.At(700, rowY), 0xF28C28u));
    // Letters show on both rows.
    int inkSelected = 0, inkOther = 0;
    for (int32_t x = kListText.left; x < kListText.left + 80; ++x)
        for (int32_t y = 0; y < 20; ++y) {
            inkSelected += !Near(focused.At(x, rowY - 2 + y), 0xF28C28u);
            inkOther += focused.At(x, otherY - 2 + y) != focused.At(kListText.left + 200, otherY);
        }
    EXPECT_GT(inkSelected, 20);
    EXPECT_GT(inkOther, 20);

    // Losing the focus shows the hover look only with the pointer over the text.
    ui.Ws().MovePointer(2, 2);
    list->SetFocus(false);
    EXPECT_EQ(list->GetVisualState(), QWF_STATE_NORMAL);
    list->SetFocus(true);
    ui.MoveTo(demo, 520, otherY);
    list->SetFocus(false);
    EXPECT_EQ(list->GetVisualState(), QWF_STATE_HIGHLIGHTED);
    ClickItem(1);

    // Disabled: the list gives up the focus and shows the disabled letters.
    list->SetEnabled(false);
    EXPECT_FALSE(list->IsFocused());
    EXPECT_EQ(list->GetVisualState(), QWF_STATE_DISABLED);
    // The skin's own disabled background (not the normal one faded) around the text and the bar.
    EXPECT_EQ(democtl::Unlike(ui.Pixels(demo), "UIResources>Lists>Demo_List>Background_Disabled", {461, 293, 748, 423}), 0);
    EXPECT_EQ(LayerPixel(list->GetLayer(), 700, otherY) & 0xFFFFFF, Rgba(0x6B717A, 0) & 0xFFFFFF);
    ui.Key(qwp::vk::Down);
    EXPECT_EQ(Selected(), (std::vector<int32_t>{1}));
    list->SetEnabled(true);
    EXPECT_EQ(list->GetVisualState(), QWF_STATE_NORMAL);
    EXPECT_EQ(LayerPixel(list->GetLayer(), 700, otherY) & 0xFFFFFF, Rgba(0xE6E8EB, 0) & 0xFFFFFF);
    // Hover shows while the pointer is over the text and ends when it leaves the window.
    ui.MoveTo(demo, 520, otherY);
    EXPECT_EQ(list->GetVisualState(), QWF_STATE_HIGHLIGHTED);
    ui.Ws().MovePointer(2, 2);
    ui.Advance(60);
    EXPECT_EQ(list->GetVisualState(), QWF_STATE_NORMAL);

    // Lines start 15 pixels above the text rectangle: 130 / 20 + 1 = 7 visible lines, and the
    // eighth item's row (115 + 5 .. 130) still lies inside, but only the visible lines show a
    // selection.
    list->AttachScrollBar(true, true, 20, 5, -15, barIndex);
    list->SelectItem(7, 7, true, false, false, true, false);
    EXPECT_EQ(LayerPixel(list->GetLayer(), 700, kListText.top + 127) & 0xFFFFFF, Rgba(0xE6E8EB, 0) & 0xFFFFFF);
    list->SelectItem(6, 6, true, false, false, true, false);
    EXPECT_EQ(LayerPixel(list->GetLayer(), 700, kListText.top + 107) & 0xFFFFFF, Rgba(0x1C1E22, 0) & 0xFFFFFF);
}

// --- the X11 backend ---

namespace {
void X11Keys(X11Ui& ui, std::initializer_list<uint32_t> held, uint32_t key)
{
    for (uint32_t k : held) ui.Ws().FakeKey(k, true);
    ui.Ws().FakeKey(key, true);
    ui.Ws().FakeKey(key, false);
    for (uint32_t k : held) ui.Ws().FakeKey(k, false);
    ui.Pump();
}
}  // namespace

TEST(TextControlsX11, TypingClickingSelectingAndWheel)
{
    X11Ui ui;
    QW_REQUIRE_X11_OR_SKIP(ui);
    ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true));
    TextWindow demo;
    ASSERT_TRUE(demo.CreateFromSkin("Demo", 100, 60, nullptr, 0));
    auto* edit = static_cast<CQWF_CtrlEditLine*>(demo.GetControl(demo.AddControl("Demo_Edit", QWF_CTRL_EDIT)));
    auto* list = static_cast<CQWF_CtrlList*>(demo.GetControl(demo.AddControl("Demo_List", QWF_CTRL_LIST)));
    ASSERT_TRUE(edit && list);
    const int32_t barIndex = demo.AddControl("Demo_ListScroll", QWF_CTRL_SCROLLBAR);
    auto* bar = static_cast<CQWF_CtrlScrollBar*>(demo.GetControl(barIndex));
    ASSERT_NE(bar, nullptr);
    edit->SetFont(demo.GetFont(demo.LoadFont("Edit Font")));
    SkinColours(*edit);
    list->SetFont(demo.GetFont(demo.LoadFont("List Font")));
    list->AttachScrollBar(true, true, 20, 5, 5, barIndex);
    for (int i = 0; i < 20; ++i) list->AddItem(("Piece " + std::to_string(i + 1)).c_str(), false, 0, i < 19);
    edit->SetText("Jigsaw", false);
    ASSERT_TRUE(demo.Show());
    ui.Pump();
    ui.Screenshot(demo, "text_controls_x11_rest");

    // Typing into the line: the focusing click selects all, the keys replace it.
    ui.Click(demo, 600, kEditY);
    EXPECT_TRUE(edit->IsFocused());
    EXPECT_EQ(edit->GetVisualState(), QWF_STATE_PRESSED);
    X11Keys(ui, {qwp::vk::Shift}, 'P');
    for (uint32_t k : {'U', 'Z', 'Z', 'L', 'E'}) X11Keys(ui, {}, k);
    X11Keys(ui, {}, qwp::vk::Back);
    EXPECT_STREQ(edit->GetText().GetBuffer(), "Puzzl");
    EXPECT_EQ(demo.texts.back(), "Puzzl");
    X11Keys(ui, {qwp::vk::Shift}, qwp::vk::Home);
    ui.Screenshot(demo, "edit_line_x11_focused_selection");
    X11Keys(ui, {qwp::vk::Control}, 'X');
    EXPECT_STREQ(edit->GetText().GetBuffer(), "");
    X11Keys(ui, {qwp::vk::Control}, 'V');
    EXPECT_STREQ(edit->GetText().GetBuffer(), "Puzzl");
    ui.MoveTo(demo, 700, kEditY);
    X11Keys(ui, {}, qwp::vk::Return);
    EXPECT_FALSE(edit->IsFocused());
    EXPECT_EQ(edit->GetVisualState(), QWF_STATE_HIGHLIGHTED);
    ui.Screenshot(demo, "edit_line_x11_hover");

    // Selecting in the list with clicks, Shift and Ctrl; the wheel reaches its scroll bar.
    const int32_t line = 20, top = kListText.top + 5 + line / 2;
    ui.Click(demo, 520, top + line * 1);
    ui.Ws().FakeKey(qwp::vk::Shift, true);
    ui.Click(demo, 520, top + line * 4);
    ui.Ws().FakeKey(qwp::vk::Shift, false);
    ui.Ws().FakeKey(qwp::vk::Control, true);
    ui.Click(demo, 520, top + line * 2);
    ui.Ws().FakeKey(qwp::vk::Control, false);
    ui.Pump();
    EXPECT_EQ(SelectedItems(*list), (std::vector<int32_t>{1, 3, 4}));
    EXPECT_TRUE(list->IsFocused());
    EXPECT_GE(demo.selections, 3);
    X11Keys(ui, {}, qwp::vk::End);
    EXPECT_EQ(list->GetTopItem(), 14);
    ui.Screenshot(demo, "list_x11_focused_end");
    ui.Ws().FakeButton(4, true);
    ui.Ws().FakeButton(4, false);
    ui.Pump();
    // A notch away from the user scrolls the list up by a line, through its bar.
    EXPECT_EQ(list->GetTopItem(), 13);
    EXPECT_EQ(bar->GetPos(), 13u);
    ui.Screenshot(demo, "list_x11_scrolled");
    // Clicking elsewhere ends the focus; the selection stays shown.
    ui.Click(demo, 300, 460);
    EXPECT_FALSE(list->IsFocused());
    ui.Screenshot(demo, "list_x11_unfocused_selection");
    demo.Close();
}
