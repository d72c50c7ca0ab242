#include <gtest/gtest.h>

#include "installer/installer_test_support.h"
#include "installer/setup/setup_window_model.h"

using qwsetup::CSetupWindowModel;
using qwtest::Entry;
using qwtest::Machine;

namespace {
// The window as the model sees it: control states, texts, the field, timers on a clock of its
// own and the answers of the message boxes (the real window's tests pick folders).
class FakeFace : public qwsetup::CSetupFace {
public:
    CSetupWindowModel* model = nullptr;
    std::map<std::string, std::pair<bool, uint8_t>> controls;
    std::map<std::string, std::string> texts;
    std::map<int, std::pair<uint64_t, uint32_t>> timers;  // id -> due, period
    uint64_t now = 0;
    int beeps = 0;
    bool closed = false, fieldShown = false, fieldEnabled = true, addIcons = false, barVisible = false;
    std::string field;
    int scrollTotal = 0, scrollPage = 0, scrollPos = 0;
    qwtest::ScriptedUI boxes;

    void SetControl(const char* name, bool enabled, uint8_t opacity) override { controls[name] = {enabled, opacity}; }
    void SetText(const char* name, const CQWF_String& text) override { texts[name] = text.GetBuffer(); }
    void SetOpacity(const char*, uint8_t) override {}
    void SetCheck(const char*, bool checked) override { addIcons = checked; }
    bool GetCheck(const char*) override { return addIcons; }
    void SetScrollRange(int total, int page, int position) override
    {
        scrollTotal = total;
        scrollPage = page;
        scrollPos = position;
    }
    void SetProgressBarVisible(bool visible) override { barVisible = visible; }
    void ShowField(bool shown) override { fieldShown = shown; }
    void EnableField(bool enabled) override { fieldEnabled = enabled; }
    void SetFieldText(const CQWF_String& text) override { field = text.GetBuffer(); }
    CQWF_String GetFieldText() override { return field.c_str(); }
    bool BrowseForFolder(const CQWF_String&, CQWF_String&) override { return false; }
    void SetTimer(int id, uint32_t ms) override { timers[id] = {now + ms, ms}; }
    void KillTimer(int id) override { timers.erase(id); }
    void Beep() override { ++beeps; }
    void DiscardPendingInput() override {}
    void CloseWindow() override { closed = true; }
    int MessageBox(const char* text, const char* caption, Buttons b, Icon i) override
    {
        return boxes.MessageBox(text, caption, b, i);
    }
    void SetProgress(double percent) override { texts["Progress"] = std::to_string(static_cast<int>(percent)); }

    // Lets the window's timers run for the given time, in order.
    void Run(uint64_t ms)
    {
        uint64_t end = now + ms;
        for (;;) {
            int next = 0;
            uint64_t due = end + 1;
            for (auto& [id, t] : timers)
                if (t.first < due) {
                    due = t.first;
                    next = id;
                }
            if (due > end) break;
            now = due;
            timers[next].first += timers[next].second;
            model->OnTimer(next);
        }
        now = end;
    }
    bool Shown(const char* name) { return controls[name].first; }
    std::vector<std::string> ShownControls()
    {
        std::vector<std::string> out;
        for (auto& [name, state] : controls)
            if (state.first) out.push_back(name);
        return out;
    }
};

struct Window {
    std::string bytes;
    CQWF_Storage package;
    qwsetup::CDeployList list;
    FakeFace face;
    CSetupWindowModel model{package, list, face};

    Window(const std::map<std::string, std::string>& texts, const std::vector<Entry>& entries)
        : bytes(qwtest::MakePackage(texts, entries))
    {
        EXPECT_TRUE(package.OpenMemory(bytes.data(), bytes.size()));
        EXPECT_TRUE(list.LoadDeployList(package));
        face.model = &model;
        model.Create();
    }
};

std::string Lines(int n)
{
    std::string text;
    for (int i = 0; i < n; ++i) text += "line " + std::to_string(i) + "\r\n";
    return text;
}
}  // namespace

TEST(SetupWindow, LineStartsOfTheTexts)
{
    auto starts = [](const char* text) { return CSetupWindowModel::SplitLines(text); };
    EXPECT_EQ(starts("a\r\nb\n\nc"), (std::vector<size_t>{0, 3, 6}));
    EXPECT_EQ(starts("a\n"), (std::vector<size_t>{0}));
    EXPECT_EQ(starts(""), (std::vector<size_t>{0}));
    EXPECT_EQ(starts("a\rb\n\rc"), (std::vector<size_t>{0, 2, 5}));
    std::string many = Lines(1500);
    auto s = CSetupWindowModel::SplitLines(many.c_str());
    ASSERT_EQ(s.size(), 1000u);
    EXPECT_EQ(many.substr(s.back(), 8), "line 999");  // the last start carries the rest of the text
}

// The intro refuses to close, then the agreement page; Enter agrees; the destination page with
// its space text; the read-me page and back; Escape leads to the closing animation and the end.
TEST(SetupWindow, PagesFromTheIntroToTheEnd)
{
    Machine m;
    qwp::SetFreeSpaceForTesting(int64_t(500) << 20);
    Window w({{"FullSetupName", "Jig Setup"}, {"Agreement", Lines(60)}, {"ReadMe", "read me"},
              {"DefaultAdditionalFolder", "Jig"}, {"Notes", "notes"}},
             {Entry{"a.dat", "", "", std::string(3000, 'a')}});
    EXPECT_EQ(w.face.ShownControls(), (std::vector<std::string>{"x86"}));
    EXPECT_EQ(w.face.field, "C:\\Jig\\");
    w.face.Run(1000);
    w.model.Close();
    EXPECT_TRUE(w.model.OnKeyDown(QWF_KEY_ESCAPE, 0));
    EXPECT_EQ(w.face.beeps, 2);
    EXPECT_FALSE(w.model.IsAgreementShown());
    w.face.Run(5000);
    ASSERT_TRUE(w.model.IsAgreementShown());
    EXPECT_EQ(w.face.ShownControls(), (std::vector<std::string>{"Agree", "AgreementScroll", "BigText", "Cancel",
                                                                "Cooler", "Header", "LCD", "LineBottom", "LineTop",
                                                                "x86"}));
    EXPECT_EQ(w.face.texts["Header"], "Jig Setup");
    EXPECT_EQ(w.face.scrollTotal, 60);
    // A page is 21 lines; the last page starts at 60 - 21.
    EXPECT_TRUE(w.model.OnKeyDown(QWF_KEY_PAGEDOWN, 0));
    EXPECT_EQ(w.model.GetFirstLine(), 21);
    EXPECT_EQ(w.face.texts["BigText"].substr(0, 8), "line 21\r");
    EXPECT_TRUE(w.model.OnKeyDown(QWF_KEY_DOWN, 0));
    EXPECT_TRUE(w.model.OnKeyDown(QWF_KEY_PAGEUP, 0));
    EXPECT_EQ(w.model.GetFirstLine(), 1);
    EXPECT_TRUE(w.model.OnKeyDown(QWF_KEY_PAGEDOWN, 0));
    EXPECT_EQ(w.model.GetFirstLine(), 22);
    EXPECT_TRUE(w.model.OnKeyDown(QWF_KEY_PAGEDOWN, 0));
    EXPECT_EQ(w.model.GetFirstLine(), 39);  // clamped
    EXPECT_EQ(w.face.texts["BigText"].substr(0, 8), "line 39\r");
    w.model.OnCommand("AgreementScroll", 3);
    EXPECT_EQ(w.face.texts["BigText"].substr(0, 6), "line 3");
    EXPECT_FALSE(w.model.OnKeyDown(QWF_KEY_ENTER, 4));  // with Ctrl: not ours

    // Enter agrees; the next tick draws the space text and enables Install.
    EXPECT_TRUE(w.model.OnKeyDown(QWF_KEY_ENTER, 0));
    EXPECT_TRUE(w.face.fieldShown);
    w.face.Run(100);
    EXPECT_EQ(w.face.texts["SetupTxtSpace"], "Space Required: 2 KB\nSpace Available: 500 MB");
    EXPECT_TRUE(w.face.Shown("Install"));
    EXPECT_EQ(w.face.texts["SetupTxtNotes"], "notes");
    // Enter does nothing here; a destination on a drive that does not exist dims Install.
    w.model.OnKeyDown(QWF_KEY_ENTER, 0);
    EXPECT_FALSE(w.face.closed);
    w.face.field = "Q:\\Jig";
    w.model.OnFieldChanged();
    w.face.Run(100);
    EXPECT_EQ(w.face.texts["SetupTxtSpace"], "Space Required: 2 KB\nSpace Available: ???");
    EXPECT_EQ(w.face.controls["Install"], std::make_pair(false, uint8_t(80)));
    // The read-me page hides the dimmed Install; back, it is dimmed again.
    w.model.OnCommand("ReadMe");
    EXPECT_EQ(w.face.controls["Install"], std::make_pair(false, uint8_t(0)));
    EXPECT_FALSE(w.face.fieldShown);
    EXPECT_EQ(w.face.texts["BigText"], "read me");
    EXPECT_TRUE(w.model.OnKeyDown(QWF_KEY_BACK, 0));
    EXPECT_EQ(w.face.controls["Install"], std::make_pair(false, uint8_t(80)));

    // Escape: the closing animation, then the window closes for good about 1.7 s later.
    EXPECT_TRUE(w.model.OnKeyDown(QWF_KEY_ESCAPE, 0));
    EXPECT_FALSE(w.face.fieldShown);
    w.face.Run(1500);
    EXPECT_FALSE(w.face.closed);
    w.face.Run(400);
    EXPECT_TRUE(w.face.closed);
    EXPECT_EQ(w.face.ShownControls(), (std::vector<std::string>{"x86"}));
    EXPECT_FALSE(m.Exists("C:\\Jig"));
}

// Install from the window: the progress state, then Finish alone; a folder error brings the
// destination page back.
TEST(SetupWindow, InstallRunsFromTheDestinationPage)
{
    Machine m;
    Window w({{"DefaultAdditionalFolder", "Jig"}, {"Defaults", "AddIcons:NO"}}, {Entry{"a.dat", "", "Icon", "a"}});
    w.face.Run(6000);
    w.model.OnCommand("Agree");
    w.face.field = "Q:\\Nowhere";
    w.model.OnCommand("Install");
    ASSERT_EQ(w.face.boxes.boxes.size(), 1u);
    EXPECT_TRUE(w.face.Shown("Install") && w.face.Shown("Cancel") && w.face.Shown("Browse") && w.face.fieldEnabled);
    EXPECT_FALSE(w.face.Shown("Finish") || w.face.Shown("ProgCover") || w.face.barVisible);
    EXPECT_FALSE(w.model.IsBusy());

    w.face.field = "C:\\Jig";
    w.model.OnCommand("Install");
    EXPECT_EQ(w.face.texts["InstStatus"], "Setup complete");
    EXPECT_TRUE(m.Exists("C:\\Jig\\a.dat"));
    EXPECT_FALSE(m.Exists("C:\\Users\\me\\Start Menu\\Programs\\Quarrow"));  // AddIcons unchecked
    EXPECT_TRUE(w.face.Shown("Finish"));
    for (const char* off : {"Install", "ReadMe", "Cancel", "Browse", "AddIcons"}) EXPECT_FALSE(w.face.Shown(off)) << off;
    EXPECT_EQ(w.face.controls["ReadMe"].second, 0);  // disabled at its hidden opacity: gone
    EXPECT_EQ(w.face.controls["Browse"].second, 80);
    EXPECT_FALSE(w.face.fieldEnabled);
    EXPECT_TRUE(w.model.OnKeyDown(QWF_KEY_ENTER, 0));  // closes through Finish
    w.face.Run(2000);
    EXPECT_TRUE(w.face.closed);
}
