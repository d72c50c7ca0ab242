// UI scripts: a small text format that drives a program's skinned windows on the headless
// window system, for end-to-end runs of the programs (the test host runs the filter's dialog
// with one; the setup program can run with one too).
//
// One command a line; words are separated by blanks; a text is quoted ("...", with \" \\ \n and
// \xHH); a "#" that starts a word outside a text starts a comment to the end of the line (a whole
// line, or after a command). WINDOW is a window's skin name, CONTROL a control's skin name in it,
// written KIND:NAME where the name stands for controls of several kinds (KIND: slider, image, text,
// progress, button, radio, check, edit, scrollbar, list, preview, ruler); a PLACE is a CONTROL (its
// centre) or a point X,Y in window coordinates.
//
//   click WINDOW PLACE [right] [HELD]  press and release a mouse button there; HELD names
//                                   modifier keys held meanwhile ("Ctrl", "Shift+Alt")
//   move WINDOW PLACE               move the pointer there
//   drag WINDOW PLACE PLACE|+DX,DY ... [HELD]  drag with the left button through one or more
//                                   points (places, or offsets from the point before), the
//                                   HELD modifier keys held meanwhile
//   wheel WINDOW PLACE N            N wheel notches there (positive: away from the user)
//   key KEY                         press and release a key: a letter, a digit, Enter, Escape,
//                                   Tab, Back, Delete, Insert, Home, End, PageUp, PageDown,
//                                   Up, Down, Left, Right, Space, Plus (the keypad's), = - , .
//                                   [ ] / or F1-F12, after Ctrl+, Shift+ and Alt+ as wanted; the
//                                   key carries those modifiers, so "key Ctrl+Alt+0" plays the
//                                   shortcut
//   type "TEXT"                     type the text
//   wait MS                         let MS milliseconds of the virtual clock pass
//   box "TEXT" ANSWER               the next system message box shows TEXT and is answered ok,
//                                   cancel, yes, no, abort, retry or ignore; the answer is ready
//                                   as soon as the command before it has run (so a box that the
//                                   program shows at once is answered too), and the box must
//                                   have appeared once the command after it has run
//   menu N                          the next popup menu chooses its N-th item (from 0); none
//   file "PATH"                     the next file chooser answers PATH (a host path); cancel
//   color RRGGBB                    the next color chooser answers the color (hexadecimal); cancel
//   window WINDOW                   WINDOW must be open (by the name it was created under)
//   no-window WINDOW                WINDOW must not be open
//   text WINDOW CONTROL "TEXT"      the control (static text or edit line) must show TEXT
//   close WINDOW                    ask the window to close, as its system close box does
//   screenshot "PATH"               write the screen as a PNG file
//
// Each command runs when the program next waits for input with nothing pending, so whatever
// the previous one started (a window that opens, a modal box) has happened by then; on X11 a
// chooser program that the previous one opened has answered by then. A command
// that fails stops the script; the headless system then closes the windows as a user who
// cancels would, so a failing script never hangs the program.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace qwp {
class HeadlessWindowSystem;
class X11WindowSystem;
}

class CQWF_Window;

// A program's own scripted run: QW_UI_SCRIPT names a UI script that plays the user on the
// program's window system (headless or X11). Nothing without the variable; false (said on the
// error stream) when the script cannot be read or started.
bool QWF_StartProgramScript();
// After the run: false (said on the error stream) when a command failed or did not run.
bool QWF_FinishProgramScript();
// Whether nobody answers the program's windows: it runs on the headless window system without a
// script. Then the program (its name and what its window is, "the setup window") is told on the
// error stream why it ended as cancelled, and how to run it otherwise.
bool QWF_NobodyAnswered(const char* program, const char* window);

// Every window object alive, in the order they were made (the window base keeps the list).
const std::vector<CQWF_Window*>& QWF_LiveWindows();

class CQWF_UiScript {
public:
    CQWF_UiScript();
    ~CQWF_UiScript();
    CQWF_UiScript(const CQWF_UiScript&) = delete;
    CQWF_UiScript& operator=(const CQWF_UiScript&) = delete;

    // Reads the commands; false with the line and the fault in the error.
    bool Parse(const std::string& text);
    bool LoadFile(const std::string& path);
    size_t GetCommandCount() const { return m_commands.size(); }

    // Failures are also written here (null: nowhere) when they happen.
    void SetReport(std::FILE* report) { m_report = report; }
    // Called each time the script is about to act, so that the caller can watch the program.
    void SetStepHook(std::function<void()> hook) { m_stepHook = std::move(hook); }

    // Runs the commands on the window system, one each time the program waits. On X11 the
    // input is synthetic, through the server, and time is real; box, menu, file and color need
    // the headless system; a failing script asks the windows to close.
    void Start(qwp::HeadlessWindowSystem& ws);
    void Start(qwp::X11WindowSystem& ws);
    // After the run: true when every command ran and held; else the error says which did not.
    bool Finish();
    const std::string& GetError() const { return m_error; }

    // The open window with the skin name (the one created last), null when none is open.
    static CQWF_Window* FindWindow(const char* skinName);

private:
    struct Command {
        int line = 0;
        std::string verb;
        std::vector<std::string> args;
    };

    void Step();
    void Again();
    bool Run(const Command& c);
    void PointerTo(int32_t x, int32_t y);
    void Button(int button, bool down);
    void Key(uint32_t key, bool down);
    bool Type(const Command& c, const std::string& text);
    bool CheckBoxes(bool all);
    void ArmBoxes();
    bool Fail(const Command& c, const std::string& why);
    bool Place(const Command& c, CQWF_Window& w, const std::string& place, int32_t& x, int32_t& y);
    CQWF_Window* Window(const Command& c, const std::string& name);

    std::vector<Command> m_commands;
    size_t m_next = 0;
    qwp::HeadlessWindowSystem* m_ws = nullptr;
    qwp::X11WindowSystem* m_x11 = nullptr;
    bool m_failed = false;
    std::string m_error;
    std::FILE* m_report = stderr;
    // Armed "box" commands: the box each expects is the one shown at m_boxBase plus its place
    // in the list; they are checked once the command after them has run (due), or at the end.
    std::vector<const Command*> m_boxes;
    size_t m_boxBase = 0;
    size_t m_boxesDue = 0;
    uint64_t m_waitUntil = 0;
    bool m_waiting = false;
    std::function<void()> m_stepHook;
};
