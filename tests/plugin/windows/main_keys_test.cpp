// The keyboard of the filter's windows over the fake host, headless, with every shortcut played
// as a script plays it (the modifiers travel in the key events): each accelerator of the skin
// reaches the main window, the Cutter or an effect window and the command it names, every
// shortcut a menu shows runs that menu item's command, an edit line keeps its own keys, and the
// keyboard comes back to the window below a message box.
#include "plugin/main/wnd_main.h"

#include "framework/core/qwf_block.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_editline.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/windows/effect_host.h"
#include "plugin/windows/wnd_cutter.h"
#include "support/ui_test_support.h"
#include "tests/plugin/windows/main_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

using qwtest::HeadlessUi;

namespace {

// The main window noting every keyboard command (336) that reaches it; unless `run` is set it
// only notes them.
class NotingMain : public CWnd_Main {
public:
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override
    {
        if (code == QWF_NOTIFY_COMMAND) {
            commands.push_back(index);
            if (!run)
                return true;
        }
        return CWnd_Main::OnNotify(code, index, name, kind, data);
    }
    // The commands noted since the last call.
    std::vector<int32_t> Take()
    {
        std::vector<int32_t> out;
        out.swap(commands);
        return out;
    }
    std::vector<int32_t> commands;
    bool run = false;
};

struct Accelerator {
    bool ctrl, alt, shift;
    uint8_t key;
    int16_t id;
    std::string Name() const
    {
        return std::string(ctrl ? "Ctrl+" : "") + (alt ? "Alt+" : "") + (shift ? "Shift+" : "") +
               static_cast<char>(key) + " (" + std::to_string(id) + ")";
    }
};

// The records of the skin package's accelerator table.
std::vector<Accelerator> SkinAccelerators()
{
    std::vector<Accelerator> out;
    CQWF_Mem packed, table;
    CQWF_Storage* skin = CQWF_App::GetApp()->GetStorage();
    if (!skin || !skin->GetBinary("UIResources>Accelerators", packed))
        return out;
    CQWF_ZipBlock zip;
    zip.SetMode(0);
    zip.SetInputMem(packed);
    zip.SetOutputMem(&table);
    if (!zip.Process())
        return out;
    for (size_t at = 0; at + 108 <= table.GetSize(); at += 108) {
        const uint8_t* r = table.GetData() + at;
        out.push_back({r[0] != 0, r[1] != 0, r[2] != 0, r[4], static_cast<int16_t>(r[6] | r[7] << 8)});
    }
    return out;
}

// The key that gives an accelerator character: letters and digits are their own keys, '+' and
// '_' the keypad's plus and minus, the other characters the keys that print them.
uint32_t KeyOf(uint8_t c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return c;
    switch (c) {
    case '+': return qwp::vk::Add;
    case '_': return qwp::vk::Subtract;
    case '=': return qwp::vk::Equals;
    case '-': return qwp::vk::Minus;
    case '[': return qwp::vk::BracketLeft;
    case ']': return qwp::vk::BracketRight;
    case ';': return qwp::vk::Semicolon;
    case ',': return qwp::vk::Comma;
    case '.': return qwp::vk::Period;
    case '/': return qwp::vk::Slash;
    default: break;
    }
    return c >= QWF_KEY_F1 && c <= QWF_KEY_F12 ? qwp::vk::F1 + (c - QWF_KEY_F1) : 0;
}

void Press(HeadlessUi& ui, const Accelerator& a)
{
    ui.Chord(KeyOf(a.key), a.ctrl, a.shift, a.alt);
}

// The main window with the Cutter beside it over a 240 x 180 picture, in a 3 x 4 grid.
struct Keys : ::testing::Test {
    HeadlessUi ui;
    maintest::Host* host = nullptr;
    NotingMain w;
    CWnd_Cutter* cutter = nullptr;
    std::vector<Accelerator> table;

    void SetUp() override
    {
        InstallEffectWindows();
        host = new maintest::Host;
        ASSERT_NO_FATAL_FAILURE(maintest::OpenMainWindowOnGrid(ui, *host, w));
        cutter = maintest::CutterOf(w);
        table = SkinAccelerators();
        ASSERT_GT(table.size(), 30u);
    }
    void TearDown() override
    {
        if (w.GetHWND())
            w.Close();
        ui.Pump();
        delete host;
    }
    void Activate(CQWF_Window& window)
    {
        ui.Ws().SetActiveWindow(window.GetHWND());
        ASSERT_EQ(ui.Ws().GetActiveWindow(), window.GetHWND());
    }
    void Cut()
    {
        ASSERT_NO_FATAL_FAILURE(maintest::Cut(ui, w));
        cutter = nullptr;
    }
};

}  // namespace

TEST_F(Keys, EveryAcceleratorReachesTheCommandItNamesInEachWindow)
{
    // The main window: every record, those with Alt and with Ctrl and Alt among them.
    Activate(w);
    for (const Accelerator& a : table) {
        Press(ui, a);
        EXPECT_EQ(w.Take(), std::vector<int32_t>{a.id}) << a.Name();
    }
    // Some of them run for real: zoom out, then Actual Pixels (Ctrl+Alt+0) back to 1:1; Flip HU
    // (Ctrl+Shift+Alt+F) on every knife.
    w.run = true;
    w.GetPreview().SetZoom(3, -1, -1, true);
    ui.Chord(qwp::vk::Minus, true);
    EXPECT_EQ(w.GetPreview().GetZoom(), 2);
    ui.Chord('0', true, false, true);
    EXPECT_EQ(w.GetPreview().GetZoom(), 4);
    const KnifeRecord before = w.GetLayout().RowKnives()[0];
    ui.Chord('F', true, true, true);
    EXPECT_NE(w.GetLayout().RowKnives()[0].flipAcross, before.flipAcross);
    EXPECT_NE(w.GetLayout().RowKnives()[0].flipAlong, before.flipAlong);
    w.Take();
    w.run = false;

    // The Cutter keeps the commands of its shape editor (Show Extras, the node selections) and
    // passes every other on to the main window.
    Activate(*cutter);
    CKnifeShapeEditor& editor = cutter->GetEditor();
    ui.Chord('D', true);
    EXPECT_EQ(editor.GetSelectedCount(), 0);
    ui.Chord('A', true);
    EXPECT_EQ(editor.GetSelectedCount(), editor.GetShape().nodeCount);
    const std::set<int32_t> own{1, 2, 5, 8, 9, 10, 11, 36};
    for (const Accelerator& a : table) {
        Press(ui, a);
        EXPECT_EQ(w.Take(), own.count(a.id) ? std::vector<int32_t>{} : std::vector<int32_t>{a.id}) << a.Name();
    }

    // Puzzle mode: Ctrl+B opens the bevel window, which passes on Show Extras and the zoom
    // commands alone.
    Cut();
    Activate(w);
    w.run = true;
    ui.Chord('B', true);
    ASSERT_NE(w.GetEffectWindow(), nullptr);
    CQWF_Window* bevel = w.GetEffectWindow()->GetWindow();
    ASSERT_NE(bevel, nullptr);
    EXPECT_STREQ(w.GetEffectWindow()->GetSkinName(), "FXbevel");
    EXPECT_EQ(ui.Ws().GetActiveWindow(), bevel->GetHWND());
    w.Take();
    w.run = false;
    const std::set<int32_t> passed{1, 9, 13, 14, 15, 16, 17};
    for (const Accelerator& a : table) {
        Press(ui, a);
        EXPECT_EQ(w.Take(), passed.count(a.id) ? std::vector<int32_t>{a.id} : std::vector<int32_t>{}) << a.Name();
    }
    // Passed on, they run in the main window: Ctrl+H hides the extras.
    w.run = true;
    const bool extras = w.GetPieceView()->GetShowExtras();
    ui.Chord('H', true);
    EXPECT_NE(w.GetPieceView()->GetShowExtras(), extras);
    ui.Key(qwp::vk::Escape);
    EXPECT_EQ(bevel->GetHWND(), 0);
}

namespace {
// The keyboard command a menu item's shortcut gives: the item's own (or either of two that do
// the same).
const std::map<std::string, std::set<int32_t>> kItemCommands = {
    {"Undo", {3, 4}},
    {"Save...", {32}},
    {"Load...", {33}},
    {"Export...", {34}},
    {"Select All Knives", {2}},
    {"Select All Pieces", {2}},
    {"Deselect Knives", {11}},
    {"Deselect Pieces", {11}},
    {"Inverse Selection", {10}},
    {"Select All Extra Knives", {35}},
    {"Add Randomly Selected Knives", {37}},
    {"Add Randomly Selected Pieces", {37}},
    {"Deselect Random Knives", {38}},
    {"Deselect Random Pieces", {38}},
    {"Add Splitter to Selection", {39}},
    {"Deselect Splitter", {40}},
    {"Show Extras", {1, 8}},
    {"Copy Knife", {41}},
    {"Paste Knife", {42}},
    {"Copy Effects", {41}},
    {"Paste Effects", {42}},
    {"Flip H", {18}},
    {"Flip U", {19}},
    {"Flip HU", {20}},
    {"Flip H (Random)", {21}},
    {"Flip U (Random)", {22}},
    {"Flip HU (Random)", {23}},
    {"Bevel...", {24}},
    {"Hue/Saturation...", {27}},
    {"Brightness/Contrast...", {31}},
    {"Gaussian Blur...", {26}},
    {"Motion Blur...", {30}},
    {"Opacity...", {25}},
    {"Color Overlay...", {29}},
    {"Image Overlay...", {45}},
    {"Stroke...", {44}},
    {"Invert", {43}},
    {"Actual Pixels", {12}},
    {"Fit on Preview", {13}},
    {"Zoom In", {14, 15}},
    {"Zoom Out", {16, 17}},
};

struct Shown {
    std::string item;
    bool ctrl = false, alt = false, shift = false;
    std::string key;
};

// The items of the menus shown so far that show a shortcut ("Text\tCtrl+Alt+Shift+'K'").
std::vector<Shown> ShortcutsShown(HeadlessUi& ui)
{
    std::vector<Shown> out;
    for (const qwp::MenuRequest& menu : ui.Ws().Menus())
        for (const qwp::MenuItem& it : menu.items) {
            const size_t tab = it.text.find('\t');
            if (tab == std::string::npos)
                continue;
            Shown s;
            s.item = it.text.substr(0, tab);
            std::string keys = it.text.substr(tab + 1);
            for (const auto& [mod, flag] : {std::pair<const char*, bool*>{"Ctrl+", &s.ctrl}, {"Alt+", &s.alt},
                                            {"Shift+", &s.shift}})
                if (keys.rfind(mod, 0) == 0) {
                    *flag = true;
                    keys = keys.substr(std::strlen(mod));
                }
            s.key = keys.size() >= 3 && keys.front() == '\'' && keys.back() == '\'' ? keys.substr(1, keys.size() - 2) : keys;
            out.push_back(s);
        }
    return out;
}
}  // namespace

TEST_F(Keys, EveryShortcutAMenuShowsRunsTheCommandOfItsItem)
{
    auto openMenus = [&] {
        w.ShowMainMenu(0);
        w.ShowMainMenu(1);
        w.ShowMainMenu(2);
        w.ShowContextMenu(32, 59, true);
    };
    openMenus();
    Cut();
    openMenus();
    const std::vector<Shown> shown = ShortcutsShown(ui);
    ASSERT_GT(shown.size(), 40u);
    Activate(w);
    for (const Shown& s : shown) {
        const auto want = kItemCommands.find(s.item);
        if (want == kItemCommands.end()) {
            ADD_FAILURE() << "a shortcut on \"" << s.item << "\"";
            continue;
        }
        // The keys that type the character: "+" is the keypad's plus or Shift with the "=" key,
        // "-" the minus key or the keypad's minus.
        std::vector<std::pair<uint32_t, bool>> presses;
        if (s.key == "+")
            presses = {{qwp::vk::Add, false}, {qwp::vk::Equals, true}};
        else if (s.key == "-")
            presses = {{qwp::vk::Minus, false}, {qwp::vk::Subtract, false}};
        else if (s.key.size() == 1)
            presses = {{KeyOf(static_cast<uint8_t>(s.key[0])), false}};
        ASSERT_FALSE(presses.empty()) << s.item << ": " << s.key;
        for (const auto& [key, shift] : presses) {
            ui.Chord(key, s.ctrl, s.shift || shift, s.alt);
            const std::vector<int32_t> got = w.Take();
            EXPECT_TRUE(got.size() == 1 && want->second.count(got[0]))
                << s.item << " (" << (s.ctrl ? "Ctrl+" : "") << (s.alt ? "Alt+" : "") << (s.shift ? "Shift+" : "")
                << s.key << ", key " << key << (shift ? " with Shift" : "") << ") gave "
                << (got.empty() ? std::string("nothing") : std::to_string(got[0]));
        }
    }
}

TEST_F(Keys, EveryShortcutTheCuttersNodeMenuShowsRunsItsItem)
{
    Activate(*cutter);
    CKnifeShapeEditor& editor = cutter->GetEditor();
    const int nodes = editor.GetShape().nodeCount;
    ASSERT_GE(nodes, 3);
    cutter->ShowNodeMenu(0, 0);
    const std::vector<Shown> shown = ShortcutsShown(ui);
    ASSERT_EQ(shown.size(), 5u);
    for (const Shown& s : shown) {
        ASSERT_EQ(s.key.size(), 1u) << s.item;
        // Deselect from every node selected, the others from none.
        editor.RunAccelerator(s.item == "Deselect" ? 2 : 11);
        const bool extras = editor.GetShowExtras();
        ui.Chord(KeyOf(static_cast<uint8_t>(s.key[0])), s.ctrl, s.shift, s.alt);
        EXPECT_TRUE(w.Take().empty()) << s.item << " went to the main window";
        if (s.item == "Select All")
            EXPECT_EQ(editor.GetSelectedCount(), nodes);
        else if (s.item == "Deselect")
            EXPECT_EQ(editor.GetSelectedCount(), 0);
        else if (s.item == "Inverse Selection")
            EXPECT_EQ(editor.GetSelectedCount(), nodes);
        else if (s.item == "Show Extras" || s.item == "Show Anchor Points")
            EXPECT_NE(editor.GetShowExtras(), extras) << s.item;
        else
            ADD_FAILURE() << "a shortcut on \"" << s.item << "\"";
        if (editor.GetShowExtras() != extras)
            editor.RunAccelerator(1);
    }
}

TEST_F(Keys, AFocusedEditLineKeepsItsOwnKeys)
{
    CLayoutModel& m = w.GetLayout();
    auto layout = [&] {
        CQWF_Mem block;
        size_t length = 0;
        EXPECT_TRUE(m.SerializeLayout(block, length));
        return std::string(reinterpret_cast<const char*>(block.GetData()), length);
    };
    auto edit = [&](CQWF_Window& window, const char* name) {
        for (int32_t i = 0; i < window.GetControlCount(); ++i)
            if (window.GetControl(i)->GetKind() == QWF_CTRL_EDIT && std::strcmp(window.GetControl(i)->GetName(), name) == 0)
                return static_cast<CQWF_CtrlEditLine*>(window.GetControl(i));
        return static_cast<CQWF_CtrlEditLine*>(nullptr);
    };
    // As a person types a shortcut: Ctrl held while the key goes down and up.
    auto ctrl = [&](uint32_t key) {
        ui.Ws().KeyDown(qwp::vk::Control);
        ui.Key(key);
        ui.Ws().KeyUp(qwp::vk::Control);
        ui.Pump();
    };
    auto selection = [](CQWF_CtrlEditLine* e) {
        int32_t s = -1, t = -1;
        e->GetSelection(s, t);
        return std::make_pair(s, t);
    };
    // Each of Ctrl+A, C, V and Z would change the layout as a command: something to undo (all
    // knives flipped), two knots picked (a "+" adds a knife between them).
    w.run = true;
    maintest::Slide(w, "Main_RndKnots", 25);
    EXPECT_TRUE(w.RunKeyCommand(18));
    m.PickKnot(6);
    m.PickKnot(12);
    for (CQWF_Window* window : {static_cast<CQWF_Window*>(&w), static_cast<CQWF_Window*>(cutter)}) {
        const bool main = window == &w;
        // (Leaving the randomness field applies its value: new knot offsets.)
        const std::string before = layout();
        CQWF_CtrlEditLine* e = edit(*window, main ? "Main_RndKnots" : "Cutter_Rows");
        ASSERT_NE(e, nullptr);
        const std::string text = main ? "25" : "3";
        const int32_t n = static_cast<int32_t>(text.size());
        ASSERT_EQ(std::string(e->GetText().GetBuffer()), text);
        cutter->GetEditor().RunAccelerator(11);  // no node selected
        ASSERT_TRUE(ui.ClickControl(*window, e->GetIndex()));
        ASSERT_TRUE(e->IsFocused());
        EXPECT_EQ(selection(e), std::make_pair(0, n));
        std::string clip;
        ctrl('C');
        ui.Ws().GetClipboardText(clip);
        EXPECT_EQ(clip, text);
        ctrl('X');
        EXPECT_EQ(std::string(e->GetText().GetBuffer()), "");
        ctrl('Z');
        EXPECT_EQ(std::string(e->GetText().GetBuffer()), text);
        EXPECT_EQ(selection(e), std::make_pair(-1, -1));
        ctrl('A');
        EXPECT_EQ(selection(e), std::make_pair(0, n));
        ctrl('V');
        EXPECT_EQ(std::string(e->GetText().GetBuffer()), text);
        EXPECT_EQ(selection(e), std::make_pair(0, n));
        ui.Type("+-");
        EXPECT_EQ(std::string(e->GetText().GetBuffer()), text);
        EXPECT_TRUE(e->IsFocused());
        // Nothing of it reached the layout, the knife clipboard or the shape's nodes.
        EXPECT_EQ(layout(), before) << (main ? "main window" : "Cutter");
        EXPECT_EQ(m.GetKnivesSelectionState(), 0);
        EXPECT_EQ(m.GetExtraKnifeCount(), 0);
        EXPECT_EQ(m.GetPickedKnotCount(), 2);
        EXPECT_TRUE(m.IsClipboardEmpty());
        EXPECT_EQ(cutter->GetEditor().GetSelectedCount(), 0);
        ui.Key(qwp::vk::Escape);
        EXPECT_FALSE(e->IsFocused());
    }
    ASSERT_NE(w.GetHWND(), 0);
    EXPECT_NE(cutter->GetHWND(), 0);
}

TEST_F(Keys, TheKeyboardComesBackToTheWindowBelowAMessageBox)
{
    // The system's box, drawn, answered with Enter: over the window, and without an owner (as
    // the knife-shape files tell their failures).
    Activate(w);
    ui.Ws().SetShowMessageBoxes(true);
    for (CQWF_Window* owner : {static_cast<CQWF_Window*>(&w), static_cast<CQWF_Window*>(nullptr)}) {
        ui.Ws().PushIdleAction([&] { ui.Ws().PressKey(qwp::vk::Return); });
        EXPECT_EQ(ui.App().MessageBox("Error reading data file...", "Error!", owner), qwp::kIdOk);
        ui.Chord('L', true);
        EXPECT_EQ(w.Take(), std::vector<int32_t>{33}) << (owner ? "owned box" : "box without owner");
    }
}
