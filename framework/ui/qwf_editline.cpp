#include "framework/ui/qwf_editline.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "framework/core/qwf_storage.h"
#include "framework/imaging/qwf_font.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_controlhover.h"
#include "framework/ui/qwf_window.h"

namespace {

constexpr uint32_t Rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return r | g << 8 | b << 16 | a << 24; }

constexpr uint32_t kDefaultColours[CQWF_CtrlEditLine::kColourCount] = {
    Rgba(217, 217, 217, 128),  // normal background
    Rgba(223, 200, 235, 255),  // hover background
    Rgba(255, 255, 255, 255),  // focused background
    Rgba(11, 32, 235, 130),    // selection background
    Rgba(175, 175, 175, 80),   // disabled background
    Rgba(77, 77, 77, 255),     // normal text
    Rgba(30, 30, 30, 255),     // hover text
    Rgba(0, 0, 0, 255),        // focused text
    Rgba(255, 255, 255, 255),  // selected text
    Rgba(0, 0, 0, 80),         // disabled text
};

bool IsWordChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Whether a numeric line takes the character.
bool NumericAccepts(char c, bool real, bool negatives)
{
    return (c >= '0' && c <= '9') || (real && c == '.') || (negatives && c == '-');
}

// The leading number of a text, as the C library reads it in the C locale (0 when none).
double ReadDecimal(const char* text)
{
    while (*text == ' ' || *text == '\t') ++text;
    if (*text == '+') ++text;
    double value = 0;
    const char* end = text;
    while (*end) ++end;
    std::from_chars(text, end, value, std::chars_format::general);
    return std::isfinite(value) ? value : 0;
}

int64_t ReadInteger(const char* text)
{
    while (*text == ' ' || *text == '\t') ++text;
    if (*text == '+') ++text;
    int64_t value = 0;
    const char* end = text;
    while (*end) ++end;
    const auto result = std::from_chars(text, end, value);
    if (result.ec == std::errc::result_out_of_range)
        value = *text == '-' ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
    return std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
}

uint8_t Blend(uint8_t plane, uint32_t inverse, uint32_t k, uint8_t colour)
{
    return static_cast<uint8_t>((inverse * plane + k * colour) / 256);
}

}  // namespace

CQWF_CtrlEditLine::CQWF_CtrlEditLine()
{
    m_kind = QWF_CTRL_EDIT;
    std::copy(std::begin(kDefaultColours), std::end(kDefaultColours), m_colours);
    if (CQWF_App* app = CQWF_App::GetApp()) m_blinkPeriod = static_cast<uint16_t>(std::min<uint32_t>(app->GetCaretBlinkTime(), 65535));
}

CQWF_CtrlEditLine::~CQWF_CtrlEditLine()
{
    if (m_created && m_focused) KillTimer(kCaretSlot);
    if (m_hoverTimer) KillTimer(kHoverSlot);
}

bool CQWF_CtrlEditLine::Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage)
{
    if (!CQWF_Control::Create(window, index, name, storage)) return false;
    CQWF_String folder;
    folder.Format("UIResources>Edits>%s", GetName());
    static const char* const kSides[4] = {">Rect Left", ">Rect Top", ">Rect Right", ">Rect Bottom"};
    int32_t sides[4];
    for (int i = 0; i < 4; ++i) {
        uint16_t word = 0;
        if (!m_storage || !m_storage->GetWord(CQWF_String::Concat(folder, kSides[i]).GetBuffer(), word)) {
            SetError(QWF_ERR_SKIN);
            return false;
        }
        sides[i] = word;
    }
    const QWF_Rect r{sides[0], sides[1], sides[2], sides[3]};
    if (r.right <= r.left || r.bottom <= r.top) {
        SetError(QWF_ERR_SKIN);
        return false;
    }
    if (!m_layer.Create(static_cast<int16_t>(r.left), static_cast<int16_t>(r.top), static_cast<uint16_t>(r.right - r.left),
                        static_cast<uint16_t>(r.bottom - r.top), QWF_IMAGE_RGBA)) {
        SetError(m_layer.GetError());
        return false;
    }
    m_layer.Fill(0);
    if (m_window && m_window->AddLayer(&m_layer) < 0) {
        SetError(m_window->GetError() ? m_window->GetError() : static_cast<int16_t>(QWF_ERR_MEMORY));
        return false;
    }
    m_rect = r;
    m_textArea = {r.left + m_marginLeft, r.top + m_marginTop, r.right - m_marginRight, r.bottom - m_marginBottom};
    m_created = true;
    SetVisualState(QWF_STATE_NORMAL);
    return true;
}

QWF_Rect CQWF_CtrlEditLine::GetRect()
{
    if (!m_created) return QWF_WHOLE_RECT;
    QWF_Rect r;
    m_layer.GetRect(r);
    return r;
}

void CQWF_CtrlEditLine::Redraw()
{
    if (!m_created || !m_window) return;
    const QWF_Rect r = GetRect();
    m_window->InvalidateRect(r.left, r.top, r.right, r.bottom);
    m_window->Redraw(r);
}

bool CQWF_CtrlEditLine::HitTest(int32_t x, int32_t y)
{
    if (!m_created) return false;
    const QWF_Rect r = GetRect();
    const int16_t px = static_cast<int16_t>(x), py = static_cast<int16_t>(y);
    return px >= static_cast<int16_t>(r.left) && px < static_cast<int16_t>(r.right) && py >= static_cast<int16_t>(r.top) &&
           py < static_cast<int16_t>(r.bottom);
}

// --- operations of the owner ---

void CQWF_CtrlEditLine::SetText(const char* text, bool notify)
{
    SaveUndo();
    m_text = text ? text : "";
    ClearSelection();
    m_caret = 0;
    ApplyChange(notify);
}

void CQWF_CtrlEditLine::SetCaretPos(int32_t index)
{
    m_caret = std::clamp(index, 0, Length());
    Layout();
    Redraw();
}

void CQWF_CtrlEditLine::SetNumeric(bool numeric, bool negativesAllowed, bool real, bool readOnly, int16_t verticalOffset,
                                   bool tabEndsEditing)
{
    m_step = 0;
    m_numeric = numeric;
    m_negatives = negativesAllowed;
    m_real = real;
    m_editable = !readOnly;
    m_tabEnds = tabEndsEditing;
    m_verticalOffset = verticalOffset;
    if (numeric) m_step = real ? 0.1 : 1.0;
}

void CQWF_CtrlEditLine::SetDrawParams(uint32_t backNormal, uint32_t backHover, uint32_t backFocused, uint32_t backSelection,
                                      uint32_t backDisabled, uint32_t textNormal, uint32_t textHover, uint32_t textFocused,
                                      uint32_t textSelected, uint32_t textDisabled)
{
    const uint32_t colours[kColourCount] = {backNormal, backHover,   backFocused, backSelection, backDisabled,
                                            textNormal, textHover,   textFocused, textSelected,  textDisabled};
    std::copy(std::begin(colours), std::end(colours), m_colours);
    Redraw();
}

void CQWF_CtrlEditLine::SetFont(CQWF_Font* font)
{
    m_font = font;
    Layout();
    Redraw();
}

void CQWF_CtrlEditLine::SetTextVisible(bool visible)
{
    m_layer.SetVisible(visible ? 1 : 0);
    Layout();
    Redraw();
}

bool CQWF_CtrlEditLine::GetSelection(int32_t& start, int32_t& end) const
{
    start = m_selStart;
    end = m_selEnd;
    return HasSelection();
}

void CQWF_CtrlEditLine::StepValue(int32_t n)
{
    if (!m_numeric || m_step == 0) return;
    if (m_real) {
        double value = ReadDecimal(m_text.GetBuffer()) + n * m_step;
        if (!m_negatives && value < 0) value = 0;
        const int64_t hundredths = static_cast<int64_t>(std::fabs(m_step) * 100);
        const char* format = hundredths >= 100 ? "%.0f" : hundredths >= 10 ? "%.1f" : "%.2f";
        CQWF_String text;
        text.Format(format, value);
        SetText(text.GetBuffer(), true);
        return;
    }
    int64_t value = ReadInteger(m_text.GetBuffer()) + static_cast<int64_t>(n) * static_cast<int64_t>(m_step);
    value = std::clamp<int64_t>(value, m_negatives ? std::numeric_limits<int32_t>::min() : 0, std::numeric_limits<int32_t>::max());
    CQWF_String text;
    text.Format("%d", static_cast<int>(value));
    SetText(text.GetBuffer(), true);
}

// --- state, focus, enabling ---

void CQWF_CtrlEditLine::SetVisualState(uint8_t state)
{
    if (!m_created || state == m_state) return;
    m_state = state;
    Layout();
    Redraw();
}

void CQWF_CtrlEditLine::StartHover()
{
    if (!m_hoverTimer) m_hoverTimer = SetTimer(50, kHoverSlot);
}

void CQWF_CtrlEditLine::StopHover()
{
    if (m_hoverTimer) KillTimer(kHoverSlot);
    m_hoverTimer = false;
}

void CQWF_CtrlEditLine::SetFocus(bool focus)
{
    if (focus) {
        if (m_focused) return;
        RequestFocus();
        m_focused = true;
        StopHover();
        SelectRange(0, Length());
        m_caret = 0;
        m_firstVisible = 0;
        m_clickReady = false;
        m_state = 255;
        SetVisualState(QWF_STATE_PRESSED);
        SetTimer(m_blinkPeriod, kCaretSlot);
        m_escapeText = m_text;
        m_undoText = m_text;
        m_undoSaved = false;
        return;
    }
    if (!m_focused) return;
    DropFocus();
    m_focused = false;
    KillTimer(kCaretSlot);
    m_firstVisible = 0;
    m_dragSelecting = false;
    int32_t x = 0, y = 0;
    if (GetCursorPos(x, y) && HitTestIfEnabled(x, y)) {
        SetVisualState(QWF_STATE_HIGHLIGHTED);
        StartHover();
    } else {
        SetVisualState(m_enabled ? QWF_STATE_NORMAL : QWF_STATE_DISABLED);
    }
}

void CQWF_CtrlEditLine::SetEnabled(bool enabled)
{
    CQWF_Control::SetEnabled(enabled);
    if (enabled) {
        int32_t x = 0, y = 0;
        if (!GetCursorPos(x, y)) x = y = QWF_WHOLE;
        OnMouseMove(x, y, 0);
        return;
    }
    // A disabled line takes no keys: it gives up the focus first.
    if (m_focused) SetFocus(false);
    StopHover();
    SetVisualState(QWF_STATE_DISABLED);
}

void CQWF_CtrlEditLine::HoverCheck()
{
    if (!m_focused && QWF_PointerOverControl(this)) return;
    StopHover();
    if (!m_focused) SetVisualState(m_enabled ? QWF_STATE_NORMAL : QWF_STATE_DISABLED);
}

bool CQWF_CtrlEditLine::OnTimer(uint32_t slot)
{
    if (slot == kHoverSlot) {
        HoverCheck();
    } else if (slot == kCaretSlot) {
        DrawCaret();
        Redraw();
    }
    return true;
}

// --- layout and drawing ---

void CQWF_CtrlEditLine::Measure()
{
    m_charX.RemoveAll();
    m_charWidth.RemoveAll();
    int32_t x = m_textArea.left;
    int32_t count = 0;
    const char* text = m_text.GetBuffer();
    for (int32_t i = m_firstVisible; i < Length(); ++i) {
        int8_t left = 0, spacing = 0, top = 0;
        uint8_t width = 0, height = 0;
        const uint8_t c = static_cast<uint8_t>(text[i]);
        if (c < m_font->GetFirstChar() || c > m_font->GetLastChar() ||
            !m_font->GetGlyph(c, left, spacing, top, width, height)) {
            left = spacing = 0;
            width = 0;
        }
        const int32_t at = x + left;
        if (at + width + spacing > m_textArea.right) break;
        m_charX.Add(at);
        m_charWidth.Add(width);
        x = at + width + spacing;
        ++count;
    }
    m_charX.Add(x);
    m_charWidth.Add(5);
    m_visibleCount = m_firstVisible >= Length() ? 0 : count;
}

void CQWF_CtrlEditLine::Layout()
{
    if (!m_created || !m_font || !m_font->IsLoaded()) return;
    const bool editing = m_state == QWF_STATE_PRESSED;
    if (editing) {
        if (m_caret < m_firstVisible) m_firstVisible = m_caret;
        for (;;) {
            Measure();
            if (m_firstVisible + m_visibleCount >= m_caret) break;
            ++m_firstVisible;
        }
    } else {
        m_firstVisible = 0;
        Measure();
    }

    const uint32_t back = m_state == QWF_STATE_HIGHLIGHTED ? m_colours[kBackHover]
                          : editing                        ? m_colours[kBackFocused]
                          : m_state == QWF_STATE_DISABLED  ? m_colours[kBackDisabled]
                                                           : m_colours[kBackNormal];
    const uint32_t ink = m_state == QWF_STATE_HIGHLIGHTED ? m_colours[kTextHover]
                         : editing                        ? m_colours[kTextFocused]
                         : m_state == QWF_STATE_DISABLED  ? m_colours[kTextDisabled]
                                                          : m_colours[kTextNormal];
    m_layer.Fill(back);

    // Layer coordinates of the text area.
    const int32_t ox = m_rect.left, oy = m_rect.top;
    const QWF_Rect area{m_textArea.left - ox, m_textArea.top - oy, m_textArea.right - ox, m_textArea.bottom - oy};
    const int32_t last = m_firstVisible + m_visibleCount;
    if (editing && HasSelection()) {
        const int32_t from = m_selStart < m_firstVisible ? m_textArea.left
                             : m_selStart > last         ? m_textArea.right
                                                         : m_charX.GetAt(static_cast<size_t>(m_selStart - m_firstVisible));
        const int32_t to = m_selEnd > last ? m_textArea.right : m_charX.GetAt(static_cast<size_t>(std::max(m_selEnd - m_firstVisible, 0)));
        QWF_Rect band{std::max(from - ox, area.left), area.top, std::min(to - ox, area.right), area.bottom};
        if (band.right > band.left) m_layer.Fill(m_colours[kBackSelection], 255, band);
    }

    int16_t baseOffset = 0, bottom = 0;
    m_font->GetLineMetrics(baseOffset, bottom);
    const int32_t W = m_layer.GetWidth();
    uint8_t* planes[4] = {m_layer.GetPlane(0), m_layer.GetPlane(1), m_layer.GetPlane(2), m_layer.GetPlane(3)};
    const char* text = m_text.GetBuffer();
    for (int32_t i = m_firstVisible; i < last; ++i) {
        int8_t left = 0, spacing = 0, top = 0;
        uint8_t gw = 0, gh = 0;
        const uint8_t c = static_cast<uint8_t>(text[i]);
        if (c < m_font->GetFirstChar() || c > m_font->GetLastChar()) continue;
        const uint8_t* cover = m_font->GetGlyph(c, left, spacing, top, gw, gh);
        if (!cover) continue;  // a glyph without width or height blends nothing below
        const uint32_t colour = editing && HasSelection() && i >= m_selStart && i < m_selEnd ? m_colours[kTextSelected] : ink;
        const uint8_t rgb[3] = {static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 8), static_cast<uint8_t>(colour >> 16)};
        const uint32_t alpha = colour >> 24;
        const int32_t x0 = m_charX.GetAt(static_cast<size_t>(i - m_firstVisible)) - ox;
        const int32_t y0 = area.top + baseOffset + m_verticalOffset + top;
        const int32_t cx0 = std::max(x0, area.left), cx1 = std::min(x0 + gw, area.right);
        const int32_t cy0 = std::max(y0, area.top), cy1 = std::min(y0 + gh, area.bottom);
        for (int32_t y = cy0; y < cy1; ++y) {
            const uint8_t* src = cover + static_cast<size_t>(y - y0) * gw;
            for (int32_t x = cx0; x < cx1; ++x) {
                const uint32_t cov = src[x - x0];
                if (!cov) continue;
                const uint32_t k = alpha * cov / 256, inverse = 255 - k;
                const size_t at = static_cast<size_t>(y) * W + x;
                for (int p = 0; p < 3; ++p) planes[p][at] = Blend(planes[p][at], inverse, k, rgb[p]);
                planes[3][at] = static_cast<uint8_t>(255 - ((255 - planes[3][at]) * inverse / 256));
            }
        }
    }
    m_caretDrawn = false;
    DrawCaret();
}

void CQWF_CtrlEditLine::DrawCaret()
{
    if (!m_created || !m_font || !m_focused || HasSelection()) return;
    if (m_caret < m_firstVisible || m_caret > m_firstVisible + m_visibleCount) return;
    if (static_cast<size_t>(m_caret - m_firstVisible) >= m_charX.GetCount()) return;
    int32_t column = m_charX.GetAt(static_cast<size_t>(m_caret - m_firstVisible)) - (m_caretWidth / 2 + 1);
    column = std::max(column, m_textArea.left) - m_rect.left;
    const int32_t W = m_layer.GetWidth(), H = m_layer.GetHeight();
    const int32_t x0 = std::max(column, 0), x1 = std::min(column + m_caretWidth, W);
    const int32_t y0 = std::max(m_textArea.top - m_rect.top, 0), y1 = std::min(m_textArea.bottom - m_rect.top, H);
    for (int p = 0; p < 3; ++p) {
        uint8_t* plane = m_layer.GetPlane(p);
        for (int32_t y = y0; y < y1; ++y)
            for (int32_t x = x0; x < x1; ++x) plane[static_cast<size_t>(y) * W + x] ^= 0xFF;
    }
    m_caretDrawn = !m_caretDrawn;
}

int32_t CQWF_CtrlEditLine::CharAt(int32_t x) const
{
    int32_t best = 0, bestDistance = std::numeric_limits<int32_t>::max();
    const int32_t positions = std::min<int32_t>(m_visibleCount, static_cast<int32_t>(m_charX.GetCount()) - 1);
    for (int32_t i = 0; i <= positions; ++i) {
        const int32_t d = std::abs(x - m_charX.GetAt(static_cast<size_t>(i)));
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return std::min(m_firstVisible + best, Length());
}

// --- editing ---

void CQWF_CtrlEditLine::SelectRange(int32_t a, int32_t b)
{
    m_selStart = std::min(a, b);
    m_selEnd = std::max(a, b);
    if (m_selStart == m_selEnd) ClearSelection();
}

int32_t CQWF_CtrlEditLine::MoveCaret(Move move)
{
    const int32_t before = m_caret;
    const char* t = m_text.GetBuffer();
    const int32_t n = Length();
    int32_t c = m_caret;
    switch (move) {
    case kCharLeft: c = std::max(c - 1, 0); break;
    case kCharRight: c = std::min(c + 1, n); break;
    case kWordLeft:
        while (c > 0 && !IsWordChar(t[c - 1])) --c;
        while (c > 0 && IsWordChar(t[c - 1])) --c;
        break;
    case kWordRight:
        while (c < n && !IsWordChar(t[c])) ++c;
        while (c < n && IsWordChar(t[c])) ++c;
        break;
    case kHome: c = 0; break;
    case kEnd: c = n; break;
    }
    m_caret = c;
    return before;
}

void CQWF_CtrlEditLine::SaveUndo()
{
    if (m_undoSaved) return;
    m_undoText = m_text;
    m_undoSaved = true;
}

void CQWF_CtrlEditLine::ApplyChange(bool notify)
{
    m_caret = std::clamp(m_caret, 0, Length());
    if (m_firstVisible == m_caret && m_firstVisible > 0) --m_firstVisible;
    if (m_firstVisible >= Length()) m_firstVisible = Length() - 1;
    if (m_firstVisible < 0) m_firstVisible = 0;
    Layout();
    Redraw();
    if (notify) Notify(QWF_NOTIFY_TEXT, &m_text);
}

void CQWF_CtrlEditLine::DeleteSelection()
{
    SaveUndo();
    m_text.Delete(static_cast<size_t>(m_selStart), static_cast<size_t>(m_selEnd - m_selStart));
    m_caret = m_selStart;
    ClearSelection();
}

void CQWF_CtrlEditLine::InsertAt(int32_t position, const CQWF_String& text)
{
    m_text.Insert(static_cast<size_t>(std::clamp(position, 0, Length())), text);
}

void CQWF_CtrlEditLine::SelectAll()
{
    SelectRange(0, Length());
    Layout();
    Redraw();
}

void CQWF_CtrlEditLine::Copy()
{
    if (!HasSelection()) return;
    if (CQWF_App* app = CQWF_App::GetApp())
        app->SetClipboardText(m_text.Mid(static_cast<size_t>(m_selStart), static_cast<size_t>(m_selEnd - m_selStart)).GetBuffer());
}

void CQWF_CtrlEditLine::Cut()
{
    Copy();
    if (!m_editable || !HasSelection()) return;
    SaveUndo();
    m_text.Delete(static_cast<size_t>(m_selStart), static_cast<size_t>(m_selEnd - m_selStart));
    ClearSelection();
    ApplyChange(true);
}

void CQWF_CtrlEditLine::Paste()
{
    CQWF_App* app = CQWF_App::GetApp();
    if (!app || !app->IsClipboardTextAvailable()) return;
    if (!m_editable) {
        app->Beep();
        return;
    }
    CQWF_String clip;
    if (!app->GetClipboardText(clip)) return;
    // A line holds one line of text: control characters (line breaks, tabs) are left out, and a
    // numeric line keeps only what it would take from the keyboard.
    CQWF_String text;
    for (const char* p = clip.GetBuffer(); *p; ++p) {
        if (static_cast<uint8_t>(*p) < 32) continue;
        if (m_numeric && !NumericAccepts(*p, m_real, m_negatives)) continue;
        text += *p;
    }
    int32_t at = m_caret;
    if (HasSelection()) {
        SaveUndo();
        at = m_selStart;
        m_text.Delete(static_cast<size_t>(m_selStart), static_cast<size_t>(m_selEnd - m_selStart));
    }
    InsertAt(at, text);
    SelectRange(at, at + static_cast<int32_t>(text.GetLength()));
    ApplyChange(true);
}

void CQWF_CtrlEditLine::Undo()
{
    if (!m_editable) return;
    CQWF_String swap = m_text;
    m_text = m_undoText;
    m_undoText = swap;
    m_undoSaved = false;
    m_caret = 0;
    ClearSelection();
    ApplyChange(true);
}

// --- keys ---

bool CQWF_CtrlEditLine::OnKeyDown(uint32_t code, uint32_t modifiers)
{
    const bool shift = (modifiers & m_extendMask) != 0;
    const bool word = (modifiers & m_wordMask) != 0;
    const bool stepping = m_numeric && m_step != 0;
    if (!stepping) {
        if (code == QWF_KEY_UP) code = QWF_KEY_LEFT;
        if (code == QWF_KEY_DOWN) code = QWF_KEY_RIGHT;
    }
    switch (code) {
    case QWF_KEY_UP: StepValue(shift ? 10 : 1); break;
    case QWF_KEY_DOWN: StepValue(shift ? -10 : -1); break;
    case QWF_KEY_PAGEUP:
        if (stepping) StepValue(10);
        break;
    case QWF_KEY_PAGEDOWN:
        if (stepping) StepValue(-10);
        break;
    case QWF_KEY_LEFT:
    case QWF_KEY_RIGHT:
    case QWF_KEY_HOME:
    case QWF_KEY_END: {
        const Move move = code == QWF_KEY_LEFT    ? (word ? kWordLeft : kCharLeft)
                          : code == QWF_KEY_RIGHT ? (word ? kWordRight : kCharRight)
                          : code == QWF_KEY_HOME  ? kHome
                                                  : kEnd;
        const bool had = HasSelection();
        const int32_t before = MoveCaret(move);
        if (shift) {
            if (!had) m_anchor = before;
            SelectRange(m_caret, m_anchor);
        } else {
            ClearSelection();
        }
        Layout();
        Redraw();
        break;
    }
    case QWF_KEY_BACK:
    case QWF_KEY_DELETE: {
        if (!m_editable) break;
        if (HasSelection()) {
            DeleteSelection();
            ApplyChange(true);
            break;
        }
        // At either end nothing is removed, and the owner is told all the same (it reads the
        // field again).
        const int32_t before = m_caret;
        MoveCaret(code == QWF_KEY_BACK ? (word ? kWordLeft : kCharLeft) : (word ? kWordRight : kCharRight));
        const int32_t from = std::min(before, m_caret), to = std::max(before, m_caret);
        m_caret = from;
        SaveUndo();
        m_text.Delete(static_cast<size_t>(from), static_cast<size_t>(to - from));
        ApplyChange(true);
        break;
    }
    case QWF_KEY_ENTER:
        SetFocus(false);
        return !m_endKeysReachWindow;
    case QWF_KEY_TAB:
        if (m_tabEnds) SetFocus(false);
        break;
    case QWF_KEY_ESCAPE:
        m_text = m_escapeText;
        ClearSelection();
        m_caret = std::min(m_caret, Length());
        SetFocus(false);
        return !m_endKeysReachWindow;
    default: break;
    }
    return true;
}

bool CQWF_CtrlEditLine::OnKeyUp(uint32_t, uint32_t) { return true; }

bool CQWF_CtrlEditLine::UsesKey(uint8_t key, uint32_t modifiers) const
{
    // Without Alt: Ctrl with Alt types no character, so the line never sees those keys.
    if (!(modifiers & m_clipboardMask) || (modifiers & QWF_MOD_ALT)) return false;
    return key == 'A' || key == 'C' || key == 'V' || key == 'X' || key == 'Z';
}

bool CQWF_CtrlEditLine::OnChar(uint32_t character, uint32_t modifiers)
{
    if (modifiers & m_clipboardMask) {
        switch (character) {
        case 1: SelectAll(); break;
        case 3: Copy(); break;
        case 22: Paste(); break;
        case 24: Cut(); break;
        case 26: Undo(); break;
        default: break;
        }
        return true;
    }
    if (!m_editable || !m_font || character > 255) return true;
    const char c = static_cast<char>(character);
    if (character < m_font->GetFirstChar() || character > m_font->GetLastChar()) return true;
    if (m_numeric && !NumericAccepts(c, m_real, m_negatives)) return true;
    if (HasSelection()) DeleteSelection();
    m_undoSaved = false;
    m_text.InsertChar(static_cast<size_t>(std::clamp(m_caret, 0, Length())), c);
    ++m_caret;
    ApplyChange(true);
    return true;
}

// --- mouse ---

bool CQWF_CtrlEditLine::OnMouseDown(int32_t x, int32_t, uint32_t modifiers)
{
    if (m_clickReady) {
        if (modifiers & m_extendMask) {
            m_caret = CharAt(x);
            SelectRange(m_caret, m_anchor);
            Layout();
            Redraw();
            m_dragSelecting = true;
            return true;
        }
        ClearSelection();
    }
    m_caret = CharAt(x);
    Layout();
    Redraw();
    m_anchor = m_caret;
    m_dragSelecting = true;
    return true;
}

bool CQWF_CtrlEditLine::OnMouseMove(int32_t x, int32_t y, uint32_t)
{
    if (!m_focused) {
        if (HitTestIfEnabled(x, y)) {
            SetVisualState(QWF_STATE_HIGHLIGHTED);
            StartHover();
        } else {
            StopHover();
            SetVisualState(m_enabled ? QWF_STATE_NORMAL : QWF_STATE_DISABLED);
        }
        return true;
    }
    if (!m_dragSelecting) return true;
    const QWF_Rect r = GetRect();
    if (!HitTest(x, y)) {
        if (x < r.left && m_firstVisible > 0) --m_firstVisible;
        if (x >= r.right && m_firstVisible + m_visibleCount < Length()) ++m_firstVisible;
        Measure();
    }
    // A move that leaves the caret at its character selects nothing new: the pointer trembling
    // between the presses of a double click keeps the word, a focusing click its select-all.
    const int32_t caret = CharAt(x);
    if (caret == m_caret) {
        Layout();
        Redraw();
        return true;
    }
    m_caret = caret;
    SelectRange(m_caret, m_anchor);
    Layout();
    Redraw();
    return true;
}

bool CQWF_CtrlEditLine::OnMouseUp(int32_t, int32_t, uint32_t)
{
    m_clickReady = true;
    m_dragSelecting = false;
    return true;
}

bool CQWF_CtrlEditLine::OnDoubleClick(int32_t, int32_t, uint32_t)
{
    const char* t = m_text.GetBuffer();
    const int32_t n = Length();
    int32_t start = m_caret, end = m_caret;
    const bool onWord = (m_caret < n && IsWordChar(t[m_caret])) || (m_caret > 0 && IsWordChar(t[m_caret - 1]));
    if (onWord) {
        while (start > 0 && IsWordChar(t[start - 1])) --start;
        while (end < n && IsWordChar(t[end])) ++end;
    } else {
        // Between separators: back to the start of the previous word.
        while (start > 0 && !IsWordChar(t[start - 1])) --start;
        while (start > 0 && IsWordChar(t[start - 1])) --start;
    }
    SelectRange(start, end);
    Layout();
    Redraw();
    return false;
}

bool CQWF_CtrlEditLine::OnTripleClick(int32_t, int32_t, uint32_t)
{
    SelectAll();
    return true;
}

bool CQWF_CtrlEditLine::OnMouseWheel(int32_t, int32_t, uint32_t modifiers, int32_t steps)
{
    if (!m_focused || !m_numeric || m_step == 0) return false;
    StepValue((modifiers & m_extendMask) ? steps * 10 : steps);
    return true;
}
