#include "framework/ui/qwf_uiscript.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "framework/core/qwf_file.h"
#include "framework/imaging/qwf_png.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_static.h"
#include "framework/ui/qwf_window.h"
#include "platform/qw_clock.h"
#include "platform/qw_paths.h"
#include "platform/qw_winsys_headless.h"
#include "platform/qw_winsys_x11.h"

namespace {

// Steps of the virtual clock while a "wait" runs, so that every timer tick is seen.
constexpr uint64_t kWaitStep = 10;

struct Verb {
    const char* name;
    size_t least;
    size_t most;
};
constexpr Verb kVerbs[] = {
    {"click", 2, 4}, {"move", 2, 2},   {"drag", 3, 10},      {"wheel", 3, 3},  {"key", 1, 1},
    {"type", 1, 1},  {"wait", 1, 1},   {"box", 2, 2},       {"menu", 1, 1},   {"file", 1, 1},
    {"window", 1, 1}, {"no-window", 1, 1}, {"text", 3, 3},  {"close", 1, 1},  {"screenshot", 1, 1},
    {"color", 1, 1},
};

struct Answer {
    const char* name;
    int32_t id;
};
constexpr Answer kAnswers[] = {{"ok", qwp::kIdOk},       {"cancel", qwp::kIdCancel}, {"abort", qwp::kIdAbort},
                               {"retry", qwp::kIdRetry}, {"ignore", qwp::kIdIgnore}, {"yes", qwp::kIdYes},
                               {"no", qwp::kIdNo}};

struct NamedKey {
    const char* name;
    uint32_t key;
};
constexpr NamedKey kKeys[] = {
    {"Enter", qwp::vk::Return},   {"Return", qwp::vk::Return}, {"Escape", qwp::vk::Escape},
    {"Esc", qwp::vk::Escape},     {"Tab", qwp::vk::Tab},       {"Back", qwp::vk::Back},
    {"Backspace", qwp::vk::Back}, {"Delete", qwp::vk::Delete}, {"Insert", qwp::vk::Insert},
    {"Home", qwp::vk::Home},      {"End", qwp::vk::End},       {"PageUp", qwp::vk::PageUp},
    {"PageDown", qwp::vk::PageDown}, {"Up", qwp::vk::Up},      {"Down", qwp::vk::Down},
    {"Left", qwp::vk::Left},      {"Right", qwp::vk::Right},   {"Space", qwp::vk::Space},
    {"Plus", qwp::vk::Add},       {"Minus", qwp::vk::Minus},   {"=", qwp::vk::Equals},
    {"-", qwp::vk::Minus},        {",", qwp::vk::Comma},       {".", qwp::vk::Period},
    {"[", qwp::vk::BracketLeft},  {"]", qwp::vk::BracketRight}, {"/", qwp::vk::Slash},
};

bool SameText(const std::string& a, const char* b)
{
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

bool Number(const std::string& s, long& out)
{
    if (s.empty()) return false;
    char* end = nullptr;
    out = std::strtol(s.c_str(), &end, 10);
    return end && *end == 0;
}

// "X,Y" (signed whole numbers).
bool Point(const std::string& s, int32_t& x, int32_t& y)
{
    const size_t comma = s.find(',');
    long a = 0, b = 0;
    if (comma == std::string::npos || !Number(s.substr(0, comma), a) || !Number(s.substr(comma + 1), b))
        return false;
    x = static_cast<int32_t>(a);
    y = static_cast<int32_t>(b);
    return true;
}

// A control named in a script: "NAME", or "KIND:NAME" where one name stands for controls of
// several kinds (a slider and its edit line); the first matching control, null when none.
constexpr struct {
    const char* name;
    uint8_t kind;
} kKinds[] = {{"slider", QWF_CTRL_SLIDER},   {"image", QWF_CTRL_STATIC_IMAGE}, {"text", QWF_CTRL_STATIC_TEXT},
              {"progress", QWF_CTRL_PROGRESS}, {"button", QWF_CTRL_BUTTON},   {"radio", QWF_CTRL_RADIO},
              {"check", QWF_CTRL_CHECKBOX},  {"edit", QWF_CTRL_EDIT},         {"scrollbar", QWF_CTRL_SCROLLBAR},
              {"list", QWF_CTRL_LIST},       {"preview", QWF_CTRL_PREVIEW},   {"ruler", QWF_CTRL_RULER}};

CQWF_Control* NamedControl(const CQWF_Window& w, const std::string& place)
{
    std::string name = place;
    int kind = -1;
    if (const size_t colon = place.find(':'); colon != std::string::npos) {
        for (const auto& k : kKinds)
            if (place.compare(0, colon, k.name) == 0 && std::strlen(k.name) == colon) kind = k.kind;
        if (kind < 0) return nullptr;
        name = place.substr(colon + 1);
    }
    for (int32_t i = 0; i < w.GetControlCount(); ++i) {
        CQWF_Control* c = w.GetControl(i);
        if (name == c->GetName() && (kind < 0 || c->GetKind() == kind)) return c;
    }
    return nullptr;
}

// Modifier keys held through a click or a drag ("Ctrl", "Shift+Alt"); false for anything else.
bool ParseHeld(const std::string& text, bool& ctrl, bool& shift, bool& alt)
{
    ctrl = shift = alt = false;
    size_t from = 0;
    for (;;) {
        const size_t plus = text.find('+', from);
        const std::string mod = text.substr(from, plus == std::string::npos ? std::string::npos : plus - from);
        if (SameText(mod, "Ctrl")) ctrl = true;
        else if (SameText(mod, "Shift")) shift = true;
        else if (SameText(mod, "Alt")) alt = true;
        else return false;
        if (plus == std::string::npos) return true;
        from = plus + 1;
    }
}

// A key with its modifiers ("Ctrl+Shift+Z"); false for an unknown key.
bool ParseKey(const std::string& text, uint32_t& key, bool& ctrl, bool& shift, bool& alt)
{
    ctrl = shift = alt = false;
    std::string rest = text;
    for (;;) {
        const size_t plus = rest.find('+');
        if (plus == std::string::npos || plus + 1 >= rest.size()) break;
        const std::string mod = rest.substr(0, plus);
        if (SameText(mod, "Ctrl")) ctrl = true;
        else if (SameText(mod, "Shift")) shift = true;
        else if (SameText(mod, "Alt")) alt = true;
        else return false;
        rest = rest.substr(plus + 1);
    }
    if (rest.size() == 1) {
        const char c = rest[0];
        if (c >= 'a' && c <= 'z') key = static_cast<uint32_t>(c - 32);
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) key = static_cast<uint32_t>(c);
        else key = 0;
        if (key) return true;
    }
    if (rest.size() >= 2 && (rest[0] == 'F' || rest[0] == 'f')) {
        long n = 0;
        if (Number(rest.substr(1), n) && n >= 1 && n <= 12) {
            key = qwp::vk::F1 + static_cast<uint32_t>(n - 1);
            return true;
        }
    }
    for (const NamedKey& k : kKeys)
        if (SameText(rest, k.name)) {
            key = k.key;
            return true;
        }
    return false;
}

// Splits a line into words and quoted texts; false with the reason on a broken quote. A "#" that
// starts a word starts a comment to the end of the line.
bool Words(const std::string& line, std::vector<std::string>& out, std::string& why)
{
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        if (line[i] == '#') break;
        std::string word;
        if (line[i] != '"') {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
            out.push_back(word);
            continue;
        }
        ++i;
        bool closed = false;
        while (i < line.size()) {
            char c = line[i++];
            if (c == '"') {
                closed = true;
                break;
            }
            if (c != '\\') {
                word += c;
                continue;
            }
            if (i >= line.size()) break;
            c = line[i++];
            if (c == 'n') word += '\n';
            else if (c == 'x' && i + 2 <= line.size()) {
                word += static_cast<char>(std::strtol(line.substr(i, 2).c_str(), nullptr, 16));
                i += 2;
            } else word += c;
        }
        if (!closed) {
            why = "a text is not closed with \"";
            return false;
        }
        out.push_back(word);
    }
    return true;
}

bool WriteScreenPng(const std::string& path, const std::vector<uint8_t>& rgb, int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return false;
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<uint8_t> planes(n * 4, 255);
    for (size_t i = 0; i < n; ++i)
        for (size_t c = 0; c < 3; ++c) planes[c * n + i] = rgb[i * 3 + c];
    QWF_PNGSettings settings;
    settings.width = static_cast<int16_t>(width);
    settings.height = static_cast<int16_t>(height);
    for (size_t c = 0; c < 4; ++c) settings.planes[c] = planes.data() + c * n;
    settings.stride = width;
    CQWF_StdFile file;
    if (!file.Open(CQWF_String(qwp::ToWindowsPath(path.c_str()).c_str()), CQWF_StdFile::kModeWrite)) return false;
    CQWF_ImagePNG png;
    png.AttachFile(&file);
    const bool written = png.Write(settings);
    png.Release();
    return file.Close() && written;
}

}  // namespace

CQWF_UiScript::CQWF_UiScript() = default;
CQWF_UiScript::~CQWF_UiScript() = default;

bool CQWF_UiScript::Parse(const std::string& text)
{
    m_commands.clear();
    m_failed = false;
    m_error.clear();
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::vector<std::string> words;
        std::string why;
        if (!Words(line, words, why)) {
            m_error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
        if (words.empty()) continue;
        const Verb* verb = nullptr;
        for (const Verb& v : kVerbs)
            if (words[0] == v.name) verb = &v;
        if (!verb) {
            m_error = "line " + std::to_string(number) + ": unknown command \"" + words[0] + "\"";
            return false;
        }
        const size_t n = words.size() - 1;
        if (n < verb->least || n > verb->most) {
            m_error = "line " + std::to_string(number) + ": \"" + words[0] + "\" takes " +
                      std::to_string(verb->least) +
                      (verb->most > verb->least ? (verb->most == verb->least + 1 ? " or " : " to ") + std::to_string(verb->most)
                                                 : std::string()) +
                      " argument" + (verb->most > 1 ? "s" : "") + ", not " + std::to_string(n);
            return false;
        }
        Command c;
        c.line = number;
        c.verb = words[0];
        c.args.assign(words.begin() + 1, words.end());
        // What can be checked before the run is checked now.
        std::string bad;
        long value = 0;
        uint32_t key = 0;
        bool ctrl = false, shift = false, alt = false;
        if (c.verb == "key" && !ParseKey(c.args[0], key, ctrl, shift, alt)) bad = "unknown key \"" + c.args[0] + "\"";
        if ((c.verb == "wait" && (!Number(c.args[0], value) || value < 0)) ||
            (c.verb == "wheel" && !Number(c.args[2], value)) ||
            (c.verb == "menu" && c.args[0] != "none" && (!Number(c.args[0], value) || value < 0)))
            bad = "\"" + c.args.back() + "\" is not a number here";
        if (c.verb == "click") {
            for (size_t i = 2; i < c.args.size(); ++i) {
                const bool right = i == 2 && c.args[i] == "right";
                if (!right && !ParseHeld(c.args[i], ctrl, shift, alt))
                    bad = "click takes \"right\" and held keys (\"Ctrl+Shift\") after the place";
            }
        }
        if (c.verb == "color" && c.args[0] != "cancel" &&
            (c.args[0].size() != 6 ||
             c.args[0].find_first_not_of("0123456789abcdefABCDEF") != std::string::npos))
            bad = "\"" + c.args[0] + "\" is not a color (RRGGBB) or cancel";
        if (c.verb == "box") {
            bool known = false;
            for (const Answer& a : kAnswers) known = known || SameText(c.args[1], a.name);
            if (!known) bad = "unknown answer \"" + c.args[1] + "\" (ok, cancel, yes, no, abort, retry, ignore)";
        }
        if (!bad.empty()) {
            m_error = "line " + std::to_string(number) + ": " + bad;
            return false;
        }
        m_commands.push_back(c);
    }
    return true;
}

bool CQWF_UiScript::LoadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        m_error = "cannot read the UI script " + path;
        return false;
    }
    std::stringstream all;
    all << f.rdbuf();
    if (!Parse(all.str())) {
        m_error = path + ": " + m_error;
        return false;
    }
    return true;
}

CQWF_Window* CQWF_UiScript::FindWindow(const char* skinName)
{
    const std::vector<CQWF_Window*>& all = QWF_LiveWindows();
    for (size_t i = all.size(); i-- > 0;) {
        CQWF_Window* w = all[i];
        if (w->GetHWND() && !w->IsClosing() && w->GetName().CompareNoCase(skinName) == 0) return w;
    }
    return nullptr;
}

void CQWF_UiScript::Start(qwp::X11WindowSystem& ws)
{
    m_x11 = &ws;
    m_ws = nullptr;
    m_next = 0;
    m_boxes.clear();
    m_boxesDue = 0;
    m_waiting = false;
    ArmBoxes();
    ws.SetIdleHook([this] { Step(); });
}

void CQWF_UiScript::Start(qwp::HeadlessWindowSystem& ws)
{
    m_ws = &ws;
    m_x11 = nullptr;
    m_next = 0;
    m_boxes.clear();
    m_boxesDue = 0;
    m_waiting = false;
    ArmBoxes();
    if (m_next < m_commands.size()) ws.PushIdleAction([this] { Step(); });
}

void CQWF_UiScript::Again()
{
    // On X11 the idle hook calls Step at every wait; it is asked to come back soon even when
    // the last command caused no event.
    if (m_ws) m_ws->PushIdleAction([this] { Step(); });
    else m_x11->WakeIdleHookAfter(1);
}

void CQWF_UiScript::Step()
{
    if (m_failed || (!m_ws && !m_x11)) return;
    // On X11 a chooser program may be open: the next command waits for its answer.
    if (m_x11 && m_x11->ChooserRunning()) {
        m_x11->WakeIdleHookAfter(20);
        return;
    }
    if (m_stepHook) m_stepHook();
    if (m_waiting) {
        const uint64_t now = qwp::TickCount64();
        if (now < m_waitUntil) {
            if (m_x11) {
                m_x11->WakeIdleHookAfter(static_cast<uint32_t>(m_waitUntil - now));
                return;
            }
            m_ws->AdvanceTime(m_waitUntil - now < kWaitStep ? m_waitUntil - now : kWaitStep);
            Again();
            return;
        }
        m_waiting = false;
    }
    if (!CheckBoxes(false)) return;
    if (m_next >= m_commands.size()) return;
    const Command& c = m_commands[m_next++];
    // The boxes armed before this command are due once it has run.
    m_boxesDue = m_boxes.size();
    if (!Run(c)) return;
    // What the server does with synthetic input is queued before the program waits again.
    if (m_x11) m_x11->Sync();
    ArmBoxes();
    if (m_waiting || m_next < m_commands.size() || m_boxesDue) Again();
}

bool CQWF_UiScript::Fail(const Command& c, const std::string& why)
{
    m_failed = true;
    m_error = "line " + std::to_string(c.line) + " (" + c.verb + "): " + why;
    if (m_report) {
        std::fprintf(m_report, "UI script failed: %s\n", m_error.c_str());
        std::fflush(m_report);
    }
    // On a real display nobody else would end the run: the windows are asked to close, the
    // newest first, as a user who cancels would.
    if (m_x11) {
        const std::vector<CQWF_Window*>& all = QWF_LiveWindows();
        for (size_t i = all.size(); i-- > 0;) {
            if (!all[i]->GetHWND() || all[i]->IsClosing()) continue;
            qwp::Event close;
            close.window = all[i]->GetHWND();
            close.type = qwp::EventType::Close;
            m_x11->Post(close);
        }
    }
    return false;
}

void CQWF_UiScript::ArmBoxes()
{
    while (m_next < m_commands.size() && m_commands[m_next].verb == "box") {
        const Command& c = m_commands[m_next++];
        if (!m_ws) {
            Fail(c, "message boxes are answered only on the headless window system");
            return;
        }
        if (m_boxes.empty()) m_boxBase = m_ws->MessageBoxes().size();
        for (const Answer& answer : kAnswers)
            if (SameText(c.args[1], answer.name)) m_ws->AnswerMessageBox(answer.id);
        m_boxes.push_back(&c);
    }
}

bool CQWF_UiScript::CheckBoxes(bool all)
{
    if (!m_ws) return true;
    const size_t due = all ? m_boxes.size() : m_boxesDue;
    const auto& shown = m_ws->MessageBoxes();
    for (size_t k = 0; k < due; ++k) {
        const Command& c = *m_boxes[k];
        if (shown.size() <= m_boxBase + k)
            return Fail(c, "no message box appeared (expected \"" + c.args[0] + "\")");
        const std::string& text = shown[m_boxBase + k].request.text;
        if (text != c.args[0] && text.find(c.args[0]) == std::string::npos)
            return Fail(c, "the message box says \"" + text + "\", not \"" + c.args[0] + "\"");
    }
    m_boxes.erase(m_boxes.begin(), m_boxes.begin() + static_cast<std::ptrdiff_t>(due));
    m_boxBase += due;
    m_boxesDue = 0;
    return true;
}

CQWF_Window* CQWF_UiScript::Window(const Command& c, const std::string& name)
{
    CQWF_Window* w = FindWindow(name.c_str());
    if (!w) {
        std::string open;
        for (CQWF_Window* x : QWF_LiveWindows())
            if (x->GetHWND() && !x->IsClosing()) open += std::string(open.empty() ? "" : ", ") + x->GetName().GetBuffer();
        Fail(c, "no window \"" + name + "\" is open (open: " + (open.empty() ? "none" : open) + ")");
    }
    return w;
}

bool CQWF_UiScript::Place(const Command& c, CQWF_Window& w, const std::string& place, int32_t& x, int32_t& y)
{
    if (Point(place, x, y)) return true;
    CQWF_Control* control = NamedControl(w, place);
    if (!control) return Fail(c, "no control \"" + place + "\" in window \"" + w.GetName().GetBuffer() + "\"");
    const QWF_Rect r = control->GetRect();
    if (QWF_IsWholeRect(r)) return Fail(c, "control \"" + place + "\" has no place of its own");
    x = (r.left + r.right) / 2;
    y = (r.top + r.bottom) / 2;
    return true;
}

void CQWF_UiScript::PointerTo(int32_t x, int32_t y)
{
    if (m_ws) m_ws->MovePointer(x, y);
    else m_x11->FakeMotion(x, y);
}

void CQWF_UiScript::Button(int button, bool down)
{
    if (m_ws) {
        if (down) m_ws->PressButton(button);
        else m_ws->ReleaseButton(button);
    } else {
        m_x11->FakeButton(button == 0 ? 1 : 3, down);
    }
}

void CQWF_UiScript::Key(uint32_t key, bool down)
{
    if (m_ws) {
        if (down) m_ws->KeyDown(key);
        else m_ws->KeyUp(key);
    } else {
        m_x11->FakeKey(key, down);
    }
}

bool CQWF_UiScript::Type(const Command& c, const std::string& text)
{
    if (m_ws) {
        m_ws->TypeText(text);
        return true;
    }
    // On X11 the keys of a US keyboard that make the text: letters, digits, blank, . , -
    for (const char ch : text) {
        uint32_t key = 0;
        bool shift = false;
        if (ch >= 'a' && ch <= 'z') key = static_cast<uint32_t>(ch - 32);
        else if (ch >= 'A' && ch <= 'Z') key = static_cast<uint32_t>(ch), shift = true;
        else if (ch >= '0' && ch <= '9') key = static_cast<uint32_t>(ch);
        else if (ch == ' ') key = qwp::vk::Space;
        else if (ch == '.') key = qwp::vk::Period;
        else if (ch == ',') key = qwp::vk::Comma;
        else if (ch == '-') key = qwp::vk::Minus;
        else return Fail(c, std::string("the character '") + ch + "' cannot be typed on X11");
        if (shift) Key(qwp::vk::Shift, true);
        Key(key, true);
        Key(key, false);
        if (shift) Key(qwp::vk::Shift, false);
    }
    return true;
}

bool CQWF_UiScript::Run(const Command& c)
{
    qwp::WindowSystem& ws = m_ws ? static_cast<qwp::WindowSystem&>(*m_ws) : *m_x11;
    const std::vector<std::string>& a = c.args;
    auto screen = [](CQWF_Window& w, int32_t& x, int32_t& y) {
        QWF_Rect r{0, 0, 0, 0};
        w.GetWindowRect(r);
        x += r.left;
        y += r.top;
    };
    if (c.verb == "click" || c.verb == "move" || c.verb == "wheel" || c.verb == "drag") {
        CQWF_Window* w = Window(c, a[0]);
        int32_t x = 0, y = 0;
        if (!w || !Place(c, *w, a[1], x, y)) return false;
        screen(*w, x, y);
        PointerTo(x, y);
        bool ctrl = false, shift = false, alt = false;
        size_t lastPlace = a.size() - 1;  // of a drag
        if (c.verb == "click") {
            const size_t heldAt = a.size() > 2 && a[2] == "right" ? 3 : 2;
            if (a.size() > heldAt) ParseHeld(a[heldAt], ctrl, shift, alt);
        } else if (c.verb == "drag" && a.size() > 3 && ParseHeld(a.back(), ctrl, shift, alt)) {
            lastPlace = a.size() - 2;
        }
        if (ctrl) Key(qwp::vk::Control, true);
        if (shift) Key(qwp::vk::Shift, true);
        if (alt) Key(qwp::vk::Alt, true);
        auto release = [&] {
            if (alt) Key(qwp::vk::Alt, false);
            if (shift) Key(qwp::vk::Shift, false);
            if (ctrl) Key(qwp::vk::Control, false);
        };
        if (c.verb == "click") {
            const int button = a.size() > 2 && a[2] == "right" ? 1 : 0;
            Button(button, true);
            Button(button, false);
            release();
        } else if (c.verb == "wheel") {
            long n = 0;
            Number(a[2], n);
            if (m_ws) {
                m_ws->Wheel(static_cast<int32_t>(n));
            } else {
                // Buttons 4 and 5 are the wheel's two ways, one click a notch.
                for (long i = 0; i < (n > 0 ? n : -n); ++i) {
                    m_x11->FakeButton(n > 0 ? 4 : 5, true);
                    m_x11->FakeButton(n > 0 ? 4 : 5, false);
                }
            }
        } else if (c.verb == "drag") {
            // Through every waypoint in four steps each; an offset is from the point before.
            Button(0, true);
            for (size_t k = 2; k <= lastPlace; ++k) {
                int32_t ex = 0, ey = 0;
                if (!a[k].empty() && a[k][0] == '+') {
                    if (!Point(a[k].substr(1), ex, ey)) {
                        Button(0, false);
                        release();
                        return Fail(c, "\"" + a[k] + "\" is not an offset +DX,DY");
                    }
                    ex += x;
                    ey += y;
                } else if (!Place(c, *w, a[k], ex, ey)) {
                    Button(0, false);
                    release();
                    return false;
                } else {
                    screen(*w, ex, ey);
                }
                for (int i = 1; i <= 4; ++i) PointerTo(x + (ex - x) * i / 4, y + (ey - y) * i / 4);
                x = ex;
                y = ey;
            }
            Button(0, false);
            release();
        } else {
            release();
        }
        return true;
    }
    if (c.verb == "key") {
        uint32_t key = 0;
        bool ctrl = false, shift = false, alt = false;
        ParseKey(a[0], key, ctrl, shift, alt);
        if (ctrl) Key(qwp::vk::Control, true);
        if (shift) Key(qwp::vk::Shift, true);
        if (alt) Key(qwp::vk::Alt, true);
        Key(key, true);
        Key(key, false);
        if (alt) Key(qwp::vk::Alt, false);
        if (shift) Key(qwp::vk::Shift, false);
        if (ctrl) Key(qwp::vk::Control, false);
        return true;
    }
    if (c.verb == "type") return Type(c, a[0]);
    if (c.verb == "wait") {
        long ms = 0;
        Number(a[0], ms);
        m_waitUntil = qwp::TickCount64() + static_cast<uint64_t>(ms);
        m_waiting = true;
        return true;
    }
    if ((c.verb == "menu" || c.verb == "file" || c.verb == "color") && !m_ws)
        return Fail(c, "menus, file and color choosers are answered only on the headless window system");
    if (c.verb == "menu") {
        long n = -1;
        if (a[0] != "none") Number(a[0], n);
        m_ws->AnswerMenu(static_cast<int32_t>(n));
        return true;
    }
    if (c.verb == "file") {
        m_ws->AnswerFile(a[0] == "cancel" ? std::string() : qwp::ToWindowsPath(a[0].c_str()));
        return true;
    }
    if (c.verb == "color") {
        m_ws->AnswerColor(a[0] == "cancel" ? std::string() : a[0]);
        return true;
    }
    if (c.verb == "window") return Window(c, a[0]) != nullptr;
    if (c.verb == "no-window") {
        if (FindWindow(a[0].c_str())) return Fail(c, "window \"" + a[0] + "\" is open");
        return true;
    }
    if (c.verb == "text") {
        CQWF_Window* w = Window(c, a[0]);
        if (!w) return false;
        CQWF_Control* control = NamedControl(*w, a[1]);
        if (!control) return Fail(c, "no control \"" + a[1] + "\" in window \"" + a[0] + "\"");
        std::string shown;
        if (control->GetKind() == QWF_CTRL_EDIT)
            shown = static_cast<CQWF_CtrlEditLine*>(control)->GetText().GetBuffer();
        else if (control->GetKind() == QWF_CTRL_STATIC_TEXT || control->GetKind() == QWF_CTRL_STATIC_IMAGE)
            shown = static_cast<CQWF_CtrlStatic*>(control)->GetText();
        else
            return Fail(c, "control \"" + a[1] + "\" shows no text");
        if (shown != a[2]) return Fail(c, "control \"" + a[1] + "\" shows \"" + shown + "\", not \"" + a[2] + "\"");
        return true;
    }
    if (c.verb == "close") {
        CQWF_Window* w = Window(c, a[0]);
        if (!w) return false;
        qwp::Event close;
        close.window = w->GetHWND();
        close.type = qwp::EventType::Close;
        ws.Post(close);
        return true;
    }
    if (c.verb == "screenshot") {
        std::vector<uint8_t> rgb;
        int32_t width = 0, height = 0;
        bool captured = false;
        if (m_ws) {
            captured = m_ws->CaptureScreen(rgb, width, height);
        } else {
            const qwp::ScreenRect all = m_x11->WorkArea();
            width = all.right;
            height = all.bottom;
            captured = m_x11->CaptureScreen({0, 0, width, height}, rgb);
        }
        if (!captured || !WriteScreenPng(a[0], rgb, width, height))
            return Fail(c, "cannot write the screenshot " + a[0]);
        return true;
    }
    return Fail(c, "unknown command");
}

bool CQWF_UiScript::Finish()
{
    if (m_failed) return false;
    if ((m_ws || m_x11) && !CheckBoxes(true)) return false;
    if (m_next < m_commands.size()) {
        const Command& c = m_commands[m_next];
        m_failed = true;
        m_error = "line " + std::to_string(c.line) + " (" + c.verb +
                  "): the program's windows had closed before it could run";
        if (m_report) {
            std::fprintf(m_report, "UI script failed: %s\n", m_error.c_str());
            std::fflush(m_report);
        }
        return false;
    }
    return true;
}

namespace {
CQWF_UiScript* g_programScript = nullptr;
}

bool QWF_StartProgramScript()
{
    const char* path = std::getenv("QW_UI_SCRIPT");
    if (!path || !*path) return true;
    qwp::WindowSystem& ws = qwp::WS();
    static CQWF_UiScript script;
    if (!script.LoadFile(path)) {
        std::fprintf(stderr, "QW_UI_SCRIPT: %s\n", script.GetError().c_str());
        return false;
    }
    if (std::strcmp(ws.Name(), "headless") == 0) {
        script.Start(static_cast<qwp::HeadlessWindowSystem&>(ws));
    } else if (std::strcmp(ws.Name(), "x11") == 0) {
        script.Start(static_cast<qwp::X11WindowSystem&>(ws));
    } else {
        std::fprintf(stderr, "QW_UI_SCRIPT: the %s window system takes no script\n", ws.Name());
        return false;
    }
    g_programScript = &script;
    return true;
}

bool QWF_NobodyAnswered(const char* program, const char* window)
{
    const char* path = std::getenv("QW_UI_SCRIPT");
    if ((path && *path) || std::strcmp(qwp::WS().Name(), "headless") != 0) return false;
    std::fprintf(stderr,
                 "%s: nobody answered %s (it ran headless without QW_UI_SCRIPT), so it closed as cancelled; "
                 "QW_UI_SCRIPT=FILE plays the user, QW_WINDOW_SYSTEM=x11 shows it on a display\n",
                 program, window);
    return true;
}

bool QWF_FinishProgramScript()
{
    if (!g_programScript) return true;
    // A failure is reported on the error stream when it happens.
    return g_programScript->Finish();
}
