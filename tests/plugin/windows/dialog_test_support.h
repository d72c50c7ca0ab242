// The filter's dialogs on the compiled skin package: a host that records what the dialogs ask of
// it (hints, Help menu, positions, colours, questions, errors) and answers from a script, and
// small helpers to drive a dialog's controls.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_popupmenu.h"
#include "framework/ui/qwf_window.h"
#include "plugin/main/dialog_host.h"
#include "support/test_support.h"
#include "support/ui_test_support.h"

namespace dlgtest {

inline std::string PackagePath() { return qwtest::BinaryDir() + "/bin/resource_jw30.qws4"; }

class RecordingHost : public CDialogHost {
public:
    CQWF_String GetHintText(const char* control, const char* window, uint8_t state, uint8_t kind) override
    {
        std::string hint = std::string(window) + ":" + control + ":" + std::to_string(state) + ":" +
                           std::to_string(kind);
        hints.push_back(hint);
        return CQWF_String(hint.c_str());
    }
    void BuildHelpMenu(CQWF_PlatformPopupMenu& menu) override
    {
        menu.AddItem("Help...", 2, false, false);
        menu.AddSeparator();
        menu.AddItem("About Plug-in...", 1, false, false);
    }
    bool OnHelpCommand(int32_t id, CQWF_Window*) override
    {
        helpCommands.push_back(id);
        return true;
    }
    void GetWindowPosition(const char* group, const char* name, int32_t& x, int32_t& y) override
    {
        auto it = positions.find(std::string(group) + ">" + name);
        x = it == positions.end() ? -32000 : it->second.first;
        y = it == positions.end() ? -32000 : it->second.second;
    }
    void SaveWindowPosition(const char* group, const char* name, int32_t x, int32_t y) override
    {
        positions[std::string(group) + ">" + name] = {x, y};
        saved.push_back(std::string(group) + ">" + name);
    }
    bool PickColor(uint32_t& colour) override
    {
        picked.push_back(colour);
        if (colours.empty()) return false;
        colour = colours.front();
        colours.pop_front();
        return true;
    }
    int32_t AskOkCancel(const char* header, const char* text, CQWF_Window*) override
    {
        questions.push_back(std::string(header) + "|" + text);
        if (answers.empty()) return 0;
        const int32_t a = answers.front();
        answers.pop_front();
        return a;
    }
    void ShowError(const char* text, CQWF_Window*) override { errors.push_back(text); }

    std::vector<std::string> hints;
    std::vector<int32_t> helpCommands;
    std::map<std::string, std::pair<int32_t, int32_t>> positions;
    std::vector<std::string> saved;
    std::deque<uint32_t> colours;  // the picker's answers; none left: cancelled
    std::vector<uint32_t> picked;
    std::deque<int32_t> answers;   // the question box's answers; none left: 0
    std::vector<std::string> questions;
    std::vector<std::string> errors;
};

// The index of the control of a kind with the skin name.
inline int32_t Find(CQWF_Window& w, const char* name, uint8_t kind)
{
    for (int32_t i = 0; i < w.GetControlCount(); ++i) {
        CQWF_Control* c = w.GetControl(i);
        if (c->GetKind() == kind && std::string(c->GetName()) == name) return i;
    }
    return -1;
}

inline CQWF_Control* Get(CQWF_Window& w, const char* name, uint8_t kind) { return w.GetControl(Find(w, name, kind)); }

// Clicks a control of a kind in its middle.
inline void Click(qwtest::UiDriver& ui, CQWF_Window& w, const char* name, uint8_t kind)
{
    const int32_t i = Find(w, name, kind);
    ASSERT_GE(i, 0) << name;
    ui.ClickControl(w, i);
}

// Clicks into an edit line, selects its text and types over it.
inline void TypeInto(qwtest::HeadlessUi& ui, CQWF_Window& w, const char* name, const std::string& text)
{
    Click(ui, w, name, QWF_CTRL_EDIT);
    ui.Ws().KeyDown(qwp::vk::Control);
    ui.Key('A');
    ui.Ws().KeyUp(qwp::vk::Control);
    ui.Pump();
    ui.Type(text);
}

// Colours equal within 1 per channel (the face's blend of an opaque layer keeps 1 of the colour
// below).
inline bool Near(uint32_t a, uint32_t b)
{
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
        if (d < -1 || d > 1) return false;
    }
    return true;
}

// Lets the virtual clock run in steps of the status line's timer, so that every tick is seen.
inline void Wait(qwtest::HeadlessUi& ui, uint64_t milliseconds)
{
    for (uint64_t t = 0; t < milliseconds; t += 30) ui.Advance(30);
}

inline std::string EditText(CQWF_Window& w, const char* name)
{
    auto* e = static_cast<CQWF_CtrlEditLine*>(Get(w, name, QWF_CTRL_EDIT));
    return e ? std::string(e->GetText().GetBuffer()) : std::string("<none>");
}

// The dialogs' fixture: the build's skin package in a headless application, and the recording
// host the dialogs are made with.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ui.App().LoadPackageFromFile(PackagePath().c_str(), true)); }
    // Runs the dialog modally with the script as its first idle action.
    template <class W> int32_t RunWith(W& w, const std::function<void()>& script)
    {
        ui.Ws().PushIdleAction(script);
        return w.Run(nullptr);
    }
    qwtest::HeadlessUi ui;
    RecordingHost host;
};

}  // namespace dlgtest
