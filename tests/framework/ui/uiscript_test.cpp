// UI scripts on the Demo window: every kind of command drives the window as a user would, a
// command that does not hold stops the script with its line and the windows close as
// cancelled, and scripts with faults are refused before they run.
#include <gtest/gtest.h>

#include "demo_controls.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_uiscript.h"
#include "platform/qw_clock.h"

using namespace democtl;

namespace {

std::string Script(std::initializer_list<const char*> lines)
{
    std::string s;
    for (const char* l : lines) s += std::string(l) + "\n";
    return s;
}

}  // namespace

TEST_F(DemoWindow, UiScriptDrivesTheWindow)
{
    Add<CQWF_Control>("Demo_Check", QWF_CTRL_CHECKBOX);
    auto* edit = Add<CQWF_CtrlEditLine>("Demo_Edit", QWF_CTRL_EDIT);
    edit->SetFont(w.GetFont(w.LoadFont("Edit Font")));
    Add<CQWF_Control>("Demo_Slider", QWF_CTRL_SLIDER);
    Add<CQWF_Control>("Demo_OK", QWF_CTRL_BUTTON);
    const std::string shot = qwtest::OutputDir("screens") + "/uiscript_demo.png";
    CQWF_UiScript script;
    script.SetReport(nullptr);
    ASSERT_TRUE(script.Parse(Script({
        "# every command that acts on a window; a \"#\" that starts a word outside a text starts a comment",
        "window Demo   # the window must be open",
        "no-window Other",
        "click Demo Demo_Check",
        "wait 600",
        "click Demo Demo_Edit",
        "type \"a #bc\"\t# a text keeps its \"#\"",
        "key Back #",
        "text Demo Demo_Edit \"a #b\"",
        "drag Demo 526,248 +60,0",
        "move Demo Demo_Check",
        "wait 500",
        ("screenshot \"" + shot + "\"").c_str(),
        "click Demo Demo_OK right",
        "color 0a141E   # the next colour choices: this colour, then cancelled",
        "color cancel",
        "close Demo",
    }))) << script.GetError();
    EXPECT_EQ(script.GetCommandCount(), 16u);
    w.Show();
    const uint64_t start = qwp::TickCount64();
    script.Start(ui.Ws());
    EXPECT_EQ(w.RunModal(), 0);
    EXPECT_TRUE(script.Finish()) << script.GetError();
    EXPECT_EQ(w.Values("Demo_Check", QWF_NOTIFY_CLICK), std::vector<int64_t>{1});
    EXPECT_EQ(std::string(edit->GetText().GetBuffer()), "a #b");
    EXPECT_FALSE(w.Of("Demo_Slider", QWF_NOTIFY_VALUE).empty());
    EXPECT_TRUE(w.Of("Demo_OK", QWF_NOTIFY_CLICK).empty()) << "a right click is no click of a button";
    EXPECT_GE(qwp::TickCount64() - start, 1100u);
    std::string png;
    ASSERT_TRUE(qwtest::ReadWholeFile(shot, png));
    EXPECT_EQ(png.substr(1, 3), "PNG");
    uint8_t rgb[3] = {1, 2, 3};
    EXPECT_TRUE(ui.Ws().ChooseColor(qwp::ColorChoiceRequest(), rgb));
    EXPECT_EQ(std::vector<uint8_t>(rgb, rgb + 3), (std::vector<uint8_t>{10, 20, 30}));
    EXPECT_FALSE(ui.Ws().ChooseColor(qwp::ColorChoiceRequest(), rgb));
}

TEST_F(DemoWindow, UiScriptStopsAtTheFirstCommandThatDoesNotHold)
{
    Add<CQWF_CtrlEditLine>("Demo_Edit", QWF_CTRL_EDIT)->SetFont(w.GetFont(w.LoadFont("Edit Font")));
    CQWF_UiScript script;
    script.SetReport(nullptr);
    ASSERT_TRUE(script.Parse(Script({"click Demo edit:Demo_Edit", "type \"x\"", "text Demo Demo_Edit \"y\"",
                                     "close Demo"})));
    w.Show();
    script.Start(ui.Ws());
    // Nobody closes the window after the failure but the headless system, as a cancelling user.
    EXPECT_EQ(w.RunModal(), 0);
    EXPECT_FALSE(script.Finish());
    EXPECT_EQ(script.GetError(), "line 3 (text): control \"Demo_Edit\" shows \"x\", not \"y\"");

    // Places that are neither a point nor a control of the window (of the kind named); a box that
    // never came, its text read with the escapes \n, \xHH and \".
    std::vector<std::pair<std::string, std::string>> stops;
    for (const char* place : {"Demo_Nothing", "check:Demo_Edit", "edits:Demo_Edit", "edi:Demo_Edit", "1,x", "1;2"})
        stops.emplace_back(std::string("wheel Demo ") + place + " 2\n",
                           std::string("line 1 (wheel): no control \"") + place + "\" in window \"Demo\"");
    stops.emplace_back("box \"Two\\nlines \\x41\\\"\" ok\n", "line 1 (box): no message box appeared (expected \"Two\nlines A\"\")");
    for (const auto& [text, error] : stops) {
        CQWF_UiScript missing;
        missing.SetReport(nullptr);
        ASSERT_TRUE(missing.Parse(text)) << text;
        CQWF_Window other;
        ASSERT_TRUE(other.CreateFromSkin("Demo", 100, 100, nullptr, 0));
        missing.Start(ui.Ws());
        other.RunModal();
        EXPECT_FALSE(missing.Finish());
        EXPECT_EQ(missing.GetError(), error);
    }
}

TEST(UiScript, FaultsAreRefusedBeforeTheRun)
{
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"window Demo\npress Demo 1,1\n", "line 2: unknown command \"press\""},
        {"click Demo\n", "line 1: \"click\" takes 2 to 4 arguments, not 1"},
        {"drag Demo 1,1\n", "line 1: \"drag\" takes 3 to 10 arguments, not 2"},
        {"key Ctrl+Hyper\n", "line 1: unknown key \"Ctrl+Hyper\""},
        {"wait soon\n", "line 1: \"soon\" is not a number here"},
        {"wait 600#soon\n", "line 1: \"600#soon\" is not a number here"},
        {"type \"abc\n", "line 1: a text is not closed with \""},
        {"box \"Sure?\" maybe\n", "line 1: unknown answer \"maybe\" (ok, cancel, yes, no, abort, retry, ignore)"},
        {"color red\n", "line 1: \"red\" is not a color (RRGGBB) or cancel"},
        {"color 0A141G\n", "line 1: \"0A141G\" is not a color (RRGGBB) or cancel"},
        {"click Demo Demo_OK left\n", "line 1: click takes \"right\" and held keys (\"Ctrl+Shift\") after the place"},
        {"click Demo Demo_OK right Hyper\n", "line 1: click takes \"right\" and held keys (\"Ctrl+Shift\") after the place"},
    };
    for (const Case& c : cases) {
        CQWF_UiScript script;
        EXPECT_FALSE(script.Parse(c.text)) << c.text;
        EXPECT_EQ(script.GetError(), c.error);
    }
    CQWF_UiScript empty;
    EXPECT_TRUE(empty.Parse("# nothing\n\n"));
    EXPECT_EQ(empty.GetCommandCount(), 0u);
    EXPECT_TRUE(empty.Finish());

    // The keys at the ends of each range and in any case, with modifiers; what lies past them.
    const struct {
        const char* key;
        bool known;
    } keys[] = {{"a", true},        {"z", true},          {"A", true},         {"Z", true},
                {"0", true},        {"9", true},          {"@", false},        {"`", false},
                {"F1", true},       {"f12", true},        {"F0", false},       {"F13", false},
                {"Fx", false},      {"ENTER", true},      {"pageup", true},    {"Backspace", true},
                {"Plus", true},     {"-", true},          {"/", true},         {"ctrl+shift+alt+z", true},
                {"CTRL+A", true},   {"Alt+F4", true},     {"Ctrl+", false},    {"+", false},
                {"Ctrl+Hyper+A", false}, {"Meta+A", false}};
    for (const auto& k : keys) {
        CQWF_UiScript script;
        EXPECT_EQ(script.Parse(std::string("key ") + k.key + "\n"), k.known) << k.key;
    }
    // Numbers: waits and menu items from 0, "none" for no menu item, any wheel count.
    const struct {
        const char* line;
        bool valid;
    } numbers[] = {{"wait 0", true},   {"wait -1", false},   {"menu 0", true},          {"menu -1", false},
                   {"menu none", true}, {"menu x", false},   {"wheel Demo 1,1 -3", true}, {"wheel Demo 1,1 x", false},
                   {"box \"Sure?\" RETRY", true}, {"click Demo 1,1 right Ctrl+Shift", true}, {"click Demo 1,1 Alt", true}};
    for (const auto& n : numbers) {
        CQWF_UiScript script;
        EXPECT_EQ(script.Parse(std::string(n.line) + "\n"), n.valid) << n.line;
    }
}

// A program run headless without a script was answered by nobody: it says so (on the error
// stream) and closes as cancelled; with a script it was not.
TEST(UiScript, NobodyAnsweredOnlyAHeadlessRunWithoutAScript)
{
    qwtest::HeadlessUi ui;
    for (const char* script : {static_cast<const char*>(nullptr), "", "run.txt"}) {
        qwtest::EnvGuard env("QW_UI_SCRIPT", script);
        testing::internal::CaptureStderr();
        EXPECT_EQ(QWF_NobodyAnswered("QWSetup", "the window"), !script || !*script) << (script ? script : "none");
        EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("QWSetup: nobody answered the window", 0), script && *script ? std::string::npos : 0u);
    }
}
