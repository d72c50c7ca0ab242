#include "plugin/main/message_box.h"

#include "framework/imaging/qwf_font.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_static.h"

namespace {

constexpr int32_t kWhole = -32000;

// The buttons in the order they are made; the close box comes last.
constexpr const char* kButtonNames[] = {"MessageBox_OKl",     "MessageBox_OKr", "MessageBox_YESl",
                                        "MessageBox_YESr",    "MessageBox_CANCEL",
                                        "MessageBox_NO",      "MessageBox_CloseX"};
enum { kOkLeft, kOkRight, kYesLeft, kYesRight, kCancelButton, kNoButton, kCloseBox };

}  // namespace

CWnd_MessageBox::CWnd_MessageBox() = default;
CWnd_MessageBox::~CWnd_MessageBox() = default;

void CWnd_MessageBox::SetMessage(const char* header, const char* text, uint8_t left, uint8_t right)
{
    m_header = header ? header : "";
    m_text = text ? text : "";
    m_left = left;
    m_right = right;
}

int32_t CWnd_MessageBox::Ask(CQWF_Window* owner, const char* header, const char* text,
                             uint8_t left, uint8_t right)
{
    CWnd_MessageBox box;
    box.SetMessage(header, text, left, right);
    if (!box.CreateFromSkin("MessageBox", kWhole, kWhole, owner, 0)) return -1;
    return box.RunModal();
}

bool CWnd_MessageBox::HasButton() const
{
    return m_left == kOk || m_left == kYes || (m_right >= kOk && m_right <= kCancel);
}

bool CWnd_MessageBox::OnCreate(CQWF_LayerSet*, uint16_t, uint16_t)
{
    m_headerFont = LoadFont("Message Font");
    m_textFont = LoadFont("List Font");
    if (m_headerFont < 0 || m_textFont < 0) {
        SetError(QWF_ERR_SKIN);
        return false;
    }
    for (int i = 0; i < 7; ++i) {
        m_buttons[i] = AddControl(kButtonNames[i], QWF_CTRL_BUTTON);
        if (m_buttons[i] < 0) {
            SetError(QWF_ERR_SKIN);
            return false;
        }
        if (i == kCloseBox) break;
        CQWF_Control* c = GetControl(m_buttons[i]);
        c->SetDisabledOpacity(0);
        c->SetEnabled(false);
    }
    int shown[2] = {-1, -1};
    if (m_left == kOk) shown[0] = kOkLeft;
    if (m_left == kYes) shown[0] = kYesLeft;
    if (m_right == kOk) shown[1] = kOkRight;
    if (m_right == kYes) shown[1] = kYesRight;
    if (m_right == kNo) shown[1] = kNoButton;
    if (m_right == kCancel) shown[1] = kCancelButton;
    for (int s : shown)
        if (s >= 0) GetControl(m_buttons[s])->SetEnabled(true);

    m_textControl = AddControl("MessageBox_Text", QWF_CTRL_STATIC_TEXT);
    m_headerControl = AddControl("MessageBox_TextHDR", QWF_CTRL_STATIC_TEXT);
    if (m_textControl < 0 || m_headerControl < 0) {
        SetError(QWF_ERR_SKIN);
        return false;
    }
    return PlaceText(m_headerControl, m_headerFont, m_header.GetBuffer()) &&
           PlaceText(m_textControl, m_textFont, m_text.GetBuffer());
}

// Centres the text in its control: x at least 3, y at least 0; a text that cannot be measured
// starts at (3, 0).
bool CWnd_MessageBox::PlaceText(int32_t control, int32_t fontIndex, const char* text)
{
    auto* c = static_cast<CQWF_CtrlStaticText*>(GetControl(control));
    CQWF_Font* font = GetFont(fontIndex);
    if (!c || !font) return false;
    c->SetTextFont(font);
    const QWF_Rect box = c->GetRect();
    const int32_t step = font->GetLineHeight() + 3;
    int32_t w = 0, h = 0;
    int32_t x = 3, y = 0;
    if (font->MeasureText(text, step, w, h) && w > 0 && h > 0) {
        x = (box.right - box.left - w) / 2;
        y = (box.bottom - box.top - h) / 2;
        if (x < 3) x = 3;
        if (y < 0) y = 0;
    }
    c->SetTextAt(text, static_cast<int16_t>(x), static_cast<int16_t>(y), static_cast<int16_t>(step));
    return true;
}

bool CWnd_MessageBox::OnKeyDown(uint32_t code, uint32_t modifiers)
{
    if (code == QWF_KEY_ESCAPE && !HasButton()) {
        EndModal(0);
        return true;
    }
    if (code == QWF_KEY_ENTER || code == QWF_KEY_ESCAPE) return true;
    return CQWF_Window::OnKeyDown(code, modifiers);
}

bool CWnd_MessageBox::OnNotify(int32_t code, int32_t index, const char*, uint8_t, void*)
{
    if (code != QWF_NOTIFY_CLICK) return false;
    int32_t result = -1;
    if (index == m_buttons[kOkLeft] || index == m_buttons[kOkRight] || index == m_buttons[kYesLeft] ||
        index == m_buttons[kYesRight])
        result = 1;
    else if (index == m_buttons[kNoButton] || index == m_buttons[kCancelButton] ||
             index == m_buttons[kCloseBox])
        result = 0;
    if (result < 0) return false;
    if (IsModal())
        EndModal(result);
    else
        Close();
    return true;
}
