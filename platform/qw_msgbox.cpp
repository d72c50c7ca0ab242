// The program's own message box: a small window with a caption, an icon, the text and a row of
// buttons, drawn with the toolkit font in the program's palette and run modally over its owner.
#include <algorithm>
#include <cctype>

#include "platform/qw_uidraw.h"

namespace qwp {

namespace {

constexpr int32_t kCaption = 28;
constexpr int32_t kMargin = 12;
constexpr int32_t kButtonHeight = 24;
constexpr int32_t kButtonGap = 8;
constexpr int32_t kIcon = 32;
constexpr int32_t kMaxTextWidth = 440;
constexpr int32_t kRadius = 8;

struct Button {
    const char* label;
    int32_t id;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

std::vector<Button> ButtonsOf(MessageButtons kind)
{
    switch (kind) {
    case MessageButtons::OkCancel: return {{"OK", kIdOk}, {"Cancel", kIdCancel}};
    case MessageButtons::AbortRetryIgnore: return {{"Abort", kIdAbort}, {"Retry", kIdRetry}, {"Ignore", kIdIgnore}};
    case MessageButtons::YesNoCancel: return {{"Yes", kIdYes}, {"No", kIdNo}, {"Cancel", kIdCancel}};
    case MessageButtons::YesNo: return {{"Yes", kIdYes}, {"No", kIdNo}};
    case MessageButtons::RetryCancel: return {{"Retry", kIdRetry}, {"Cancel", kIdCancel}};
    default: return {{"OK", kIdOk}};
    }
}

// Breaks the text at its line feeds and between words so that no line is wider than the limit.
std::vector<std::string> WrapText(const std::string& text, const UiFont& font, int32_t limit)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        std::string para = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!para.empty() && para.back() == '\r') para.pop_back();
        std::string line;
        size_t at = 0;
        while (at <= para.size()) {
            size_t space = para.find(' ', at);
            std::string word = para.substr(at, space == std::string::npos ? std::string::npos : space - at);
            std::string candidate = line.empty() ? word : line + " " + word;
            if (!line.empty() && font.Width(candidate) > limit) {
                lines.push_back(line);
                line = word;
            } else {
                line = candidate;
            }
            if (space == std::string::npos) break;
            at = space + 1;
        }
        lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

class MessageBoxWindow : public WindowClient {
public:
    MessageBoxWindow(WindowSystem& ws, const MessageBoxRequest& request)
        : m_ws(ws), m_request(request), m_buttons(ButtonsOf(request.buttons))
    {
        const UiFont& font = ToolkitFont(false);
        m_lines = WrapText(request.text, font, kMaxTextWidth);
        int32_t textWidth = 0;
        for (const std::string& l : m_lines) textWidth = std::max(textWidth, font.Width(l));
        const int32_t textHeight = static_cast<int32_t>(m_lines.size()) * font.LineHeight();
        const int32_t iconWidth = request.icon == MessageIcon::None ? 0 : kIcon + kMargin;
        int32_t buttonsWidth = 0;
        for (Button& b : m_buttons) {
            const int32_t w = std::max(80, ToolkitFont(true).Width(b.label) + 24);
            b.right = w;  // width for now
            buttonsWidth += w + (buttonsWidth ? kButtonGap : 0);
        }
        m_width = std::max({240, 2 * kMargin + iconWidth + textWidth, 2 * kMargin + buttonsWidth,
                            kMargin + ToolkitFont(true).Width(request.caption) + 48});
        m_bodyHeight = std::max(textHeight, iconWidth ? kIcon : 0);
        m_height = kCaption + 16 + m_bodyHeight + 16 + kButtonHeight + kMargin;
        int32_t x = m_width - kMargin - buttonsWidth;
        for (Button& b : m_buttons) {
            const int32_t w = b.right;
            b.left = x;
            b.right = x + w;
            b.top = m_height - kMargin - kButtonHeight;
            b.bottom = b.top + kButtonHeight;
            x += w + kButtonGap;
        }
        m_closeBox = {"", MessageBoxCancelResult(request.buttons), m_width - 28, 4, m_width - 8, 24};
    }

    int32_t Run()
    {
        WindowHandle owner = m_ws.IsWindow(m_request.owner) ? m_request.owner : 0;
        ScreenRect area = m_ws.WorkArea();
        ScreenRect over = area;
        if (owner) m_ws.GetWindowRect(owner, over);
        int32_t x = over.left + (over.right - over.left - m_width) / 2;
        int32_t y = over.top + (over.bottom - over.top - m_height) / 2;
        x = std::clamp(x, area.left, std::max(area.left, area.right - m_width));
        y = std::clamp(y, area.top, std::max(area.top, area.bottom - m_height));
        WindowParams params;
        params.owner = owner;
        params.toolWindow = owner != 0;
        params.x = x;
        params.y = y;
        params.width = m_width;
        params.height = m_height;
        params.title = m_request.caption;
        params.className = "Quarrow. Message";
        params.client = this;
        m_window = m_ws.CreateWindow(params);
        if (!m_window) return MessageBoxCancelResult(m_request.buttons);
        std::vector<ScreenRect> shape;
        for (int32_t row = 0; row < m_height; ++row) {
            int32_t left = 0;
            while (left < m_width && RoundCoverage(left, row, 0, 0, m_width, m_height, kRadius) < 128) ++left;
            shape.push_back({left, row, m_width - left, row + 1});
        }
        m_ws.SetShape(m_window, shape);
        const bool disabled = owner && m_ws.IsEnabled(owner);
        if (disabled) m_ws.EnableWindow(owner, false);
        Draw();
        m_ws.ShowWindow(m_window, ShowMode::Show);
        while (!m_done && m_ws.IsWindow(m_window)) {
            Event e;
            if (!m_ws.GetEvent(e)) {
                // A quit request belongs to the loop outside: it ends the box and goes on.
                m_ws.PostQuit(static_cast<int32_t>(e.param));
                break;
            }
            m_ws.Dispatch(e);
        }
        if (disabled && m_ws.IsWindow(owner)) m_ws.EnableWindow(owner, true);
        if (owner && m_ws.IsWindow(owner) && m_ws.IsVisible(owner)) m_ws.SetActiveWindow(owner);
        if (m_ws.IsWindow(m_window)) m_ws.DestroyWindow(m_window);
        return m_done ? m_result : MessageBoxCancelResult(m_request.buttons);
    }

    intptr_t HandleEvent(const Event& e) override
    {
        switch (e.type) {
        case EventType::Paint: Draw(); return 1;
        case EventType::HitTest: {
            ScreenRect r;
            m_ws.GetWindowRect(m_window, r);
            const int32_t x = e.screenX - r.left, y = e.screenY - r.top;
            return y < kCaption && !Inside(m_closeBox, x, y);
        }
        case EventType::SetCursor: m_ws.SetCursorShape(kCursorArrow); return 1;
        case EventType::Close: Finish(MessageBoxCancelResult(m_request.buttons)); return 0;
        case EventType::MouseMove: SetHover(ButtonAt(e.x, e.y)); return 0;
        case EventType::LButtonDown:
            m_pressed = ButtonAt(e.x, e.y);
            if (m_pressed >= 0) {
                if (m_pressed < static_cast<int32_t>(m_buttons.size())) m_focus = m_pressed;
                m_ws.SetCapture(m_window);
            }
            Draw();
            return 0;
        case EventType::LButtonUp: {
            const int32_t pressed = m_pressed;
            m_pressed = -1;
            if (m_ws.GetCapture() == m_window) m_ws.ReleaseCapture();
            if (pressed >= 0 && pressed == ButtonAt(e.x, e.y)) Activate(pressed);
            Draw();
            return 0;
        }
        case EventType::CaptureChanged: m_pressed = -1; return 0;
        case EventType::KeyDown: OnKey(e.code, e.flags); return 0;
        case EventType::Char: OnChar(static_cast<uint8_t>(e.code)); return 0;
        default: return m_ws.DefaultHandling(e);
        }
    }

private:
    static bool Inside(const Button& b, int32_t x, int32_t y)
    {
        return x >= b.left && x < b.right && y >= b.top && y < b.bottom;
    }
    // Index of the button under the point; the close box is the index after the buttons.
    int32_t ButtonAt(int32_t x, int32_t y) const
    {
        for (size_t i = 0; i < m_buttons.size(); ++i)
            if (Inside(m_buttons[i], x, y)) return static_cast<int32_t>(i);
        return Inside(m_closeBox, x, y) ? static_cast<int32_t>(m_buttons.size()) : -1;
    }
    void SetHover(int32_t hover)
    {
        if (hover == m_hover) return;
        m_hover = hover;
        Draw();
    }
    void Activate(int32_t index)
    {
        if (index == static_cast<int32_t>(m_buttons.size()))
            Finish(m_closeBox.id);
        else if (index >= 0 && index < static_cast<int32_t>(m_buttons.size()))
            Finish(m_buttons[static_cast<size_t>(index)].id);
    }
    void Finish(int32_t result)
    {
        if (m_done) return;
        m_done = true;
        m_result = result;
    }
    void OnKey(uint32_t key, uint32_t mods)
    {
        const int32_t n = static_cast<int32_t>(m_buttons.size());
        switch (key) {
        case vk::Left:
        case vk::Up: m_focus = (m_focus + n - 1) % n; break;
        case vk::Right:
        case vk::Down: m_focus = (m_focus + 1) % n; break;
        case vk::Tab: m_focus = (mods & kModShift) ? (m_focus + n - 1) % n : (m_focus + 1) % n; break;
        case vk::Return:
        case vk::Space: Activate(m_focus); return;
        case vk::Escape:
            // Escape cancels where the box has a way to cancel.
            for (const Button& b : m_buttons)
                if (b.id == kIdCancel || (n == 1 && b.id == kIdOk)) Finish(b.id);
            return;
        default: return;
        }
        Draw();
    }
    void OnChar(uint8_t c)
    {
        for (size_t i = 0; i < m_buttons.size(); ++i)
            if (std::toupper(c) == m_buttons[i].label[0]) {
                Activate(static_cast<int32_t>(i));
                return;
            }
    }

    void DrawIcon(Canvas& canvas, int32_t left, int32_t top) const
    {
        const double cx = left + kIcon / 2.0, cy = top + kIcon / 2.0;
        const UiFont& bold = ToolkitFont(true);
        uint32_t disc = palette::TextSecondary, mark = palette::OnAccent;
        const char* symbol = "i";
        switch (m_request.icon) {
        case MessageIcon::Error: disc = palette::Danger, mark = 0xFFFFFF, symbol = nullptr; break;
        case MessageIcon::Warning: disc = palette::Accent, symbol = "!"; break;
        case MessageIcon::Question: disc = palette::Accent, symbol = "?"; break;
        default: break;
        }
        canvas.FillDisc(cx, cy, kIcon / 2.0, disc);
        if (!symbol) {
            canvas.Line(cx - 6, cy - 6, cx + 6, cy + 6, 2.5, mark);
            canvas.Line(cx + 6, cy - 6, cx - 6, cy + 6, 2.5, mark);
        } else if (symbol[0] == '!') {
            canvas.Line(cx, cy - 8, cx, cy + 3, 3, mark);
            canvas.FillDisc(cx, cy + 8, 1.8, mark);
        } else if (symbol[0] == 'i') {
            canvas.FillDisc(cx, cy - 8, 1.8, mark);
            canvas.Line(cx, cy - 3, cx, cy + 8, 3, mark);
        } else {
            bold.Draw(canvas, static_cast<int32_t>(cx) - bold.Width(symbol) / 2,
                      static_cast<int32_t>(cy) + bold.Ascent() / 2, symbol, mark);
        }
    }

    void Draw()
    {
        if (!m_window) return;
        const UiFont& font = ToolkitFont(false);
        const UiFont& bold = ToolkitFont(true);
        Canvas c(m_width, m_height, palette::BorderOuter);
        c.FillRound(1, 1, m_width - 1, m_height - 1, kRadius - 1, palette::Face);
        // Caption strip with the title and the close box.
        for (int32_t y = 1; y < kCaption; ++y)
            for (int32_t x = 1; x < m_width - 1; ++x)
                c.Blend(x, y, palette::Sunken, RoundCoverage(x, y, 1, 1, m_width - 1, m_height - 1, kRadius - 1));
        c.Fill(1, kCaption, m_width - 1, kCaption + 1, palette::BorderOuter);
        bold.Draw(c, kMargin, (kCaption + bold.Ascent()) / 2, m_request.caption, palette::CaptionTitle);
        const Button& x = m_closeBox;
        const bool closeHot = m_hover == static_cast<int32_t>(m_buttons.size());
        if (closeHot) c.FillRound(x.left, x.top, x.right, x.bottom, 4, palette::RaisedHover);
        const double mx = (x.left + x.right) / 2.0, my = (x.top + x.bottom) / 2.0;
        c.Line(mx - 4.5, my - 4.5, mx + 4.5, my + 4.5, 1.5, closeHot ? palette::Text : palette::TextSecondary);
        c.Line(mx + 4.5, my - 4.5, mx - 4.5, my + 4.5, 1.5, closeHot ? palette::Text : palette::TextSecondary);
        // Icon and text.
        int32_t textLeft = kMargin;
        const int32_t bodyTop = kCaption + 16;
        if (m_request.icon != MessageIcon::None) {
            DrawIcon(c, kMargin, bodyTop + (m_bodyHeight - kIcon) / 2);
            textLeft += kIcon + kMargin;
        }
        const int32_t textHeight = static_cast<int32_t>(m_lines.size()) * font.LineHeight();
        int32_t baseline = bodyTop + (m_bodyHeight - textHeight) / 2 + font.Ascent() + 1;
        for (const std::string& line : m_lines) {
            font.Draw(c, textLeft, baseline, line, palette::Text);
            baseline += font.LineHeight();
        }
        // Buttons: the first is the default one, in the accent.
        for (size_t i = 0; i < m_buttons.size(); ++i) {
            const Button& b = m_buttons[i];
            const bool pressed = m_pressed == static_cast<int32_t>(i) && m_hover == m_pressed;
            const bool primary = i == 0;
            uint32_t face = primary ? palette::Accent : palette::Raised;
            if (!primary && m_hover == static_cast<int32_t>(i)) face = palette::RaisedHover;
            if (pressed) face = primary ? 0xD97A1F : palette::RaisedPressed;
            if (m_focus == static_cast<int32_t>(i)) {
                c.FillRound(b.left - 2, b.top - 2, b.right + 2, b.bottom + 2, 6, palette::Accent);
                c.FillRound(b.left - 1, b.top - 1, b.right + 1, b.bottom + 1, 5, palette::Face);
            }
            c.FillRound(b.left, b.top, b.right, b.bottom, 4, palette::BorderOuter);
            c.FillRound(b.left + 1, b.top + 1, b.right - 1, b.bottom - 1, 3, primary ? face : palette::BorderInner);
            c.FillRound(b.left + 1, b.top + 2, b.right - 1, b.bottom - 1, 3, face);
            const int32_t w = bold.Width(b.label);
            bold.Draw(c, (b.left + b.right - w) / 2, (b.top + b.bottom + bold.Ascent()) / 2 + (pressed ? 1 : 0) - 1,
                      b.label, primary ? palette::OnAccent : palette::Text);
        }
        PresentCanvas(m_ws, m_window, c);
    }

    WindowSystem& m_ws;
    MessageBoxRequest m_request;
    std::vector<Button> m_buttons;
    Button m_closeBox{"", 0};
    std::vector<std::string> m_lines;
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_bodyHeight = 0;
    WindowHandle m_window = 0;
    int32_t m_hover = -1;
    int32_t m_pressed = -1;
    int32_t m_focus = 0;
    bool m_done = false;
    int32_t m_result = 0;
};

}  // namespace

int32_t RunDrawnMessageBox(WindowSystem& ws, const MessageBoxRequest& request)
{
    MessageBoxWindow box(ws, request);
    return box.Run();
}

}  // namespace qwp
