#include "plugin/windows/dialog_window.h"

#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_popupmenu.h"
#include "framework/ui/qwf_static.h"

bool CDialogWindow::Close()
{
    if (m_statusRunning) KillTimer(CStatusLine::kTimerId);
    m_statusRunning = false;
    return CQWF_Window::Close();
}

bool CDialogWindow::OnTimer(uint32_t id)
{
    if (id == CStatusLine::kTimerId) m_status.Tick();
    return true;
}

bool CDialogWindow::OnHoverControl(int32_t index)
{
    if (!*HintWindowName()) return true;
    CQWF_Control* c = GetControl(index);
    if (c) {
        m_zone = "";
        ShowHint(c->GetName(), c->GetKind());
    } else {
        int32_t x = 0, y = 0;
        const char* zone = GetCursorPos(x, y) ? ZoneAt(x, y) : "";
        m_zone = zone;
        ShowHint(zone, 0);
    }
    return true;
}

bool CDialogWindow::OnMouseMove(int32_t x, int32_t y, uint32_t)
{
    if (!*HintWindowName() || GetHoverIndex() >= 0) return true;
    const char* zone = ZoneAt(x, y);
    if (m_zone == zone) return true;
    m_zone = zone;
    ShowHint(zone, 0);
    return true;
}

bool CDialogWindow::OnNotify(int32_t code, int32_t, const char*, uint8_t, void* data)
{
    if (code == QWF_NOTIFY_MENU && data && m_host)
        m_host->OnHelpCommand(*static_cast<uint16_t*>(data), this);
    return true;
}

void CDialogWindow::SetEditColours(CQWF_CtrlEditLine* edit)
{
    if (!edit) return;
    edit->SetDrawParams(0xFF2C2724u, 0xFF322C29u, 0xFF2C2724u, 0xFF288CF2u, 0x782C2724u, 0xFFEBE8E6u,
                        0xFFEBE8E6u, 0xFFFFFFFFu, 0xFF221E1Cu, 0xFF7A716Bu);
}

int32_t CDialogWindow::Add(const char* name, uint8_t kind)
{
    const int32_t index = AddControl(name, kind);
    if (index < 0) m_missing = true;
    return index;
}

int32_t CDialogWindow::AddEdit(const char* name, int32_t font, bool numeric, bool endKeysToDialog)
{
    const int32_t index = Add(name, QWF_CTRL_EDIT);
    auto* edit = Ctl<CQWF_CtrlEditLine>(index);
    if (!edit) return index;
    edit->SetFont(GetFont(font));
    SetEditColours(edit);
    edit->SetEndKeysReachWindow(endKeysToDialog);
    if (numeric) edit->SetNumeric(true, false, false, false, 0, true);
    return index;
}

int32_t CDialogWindow::AddText(const char* name, int32_t font, int16_t x, int16_t y, int16_t lineHeight,
                               bool status)
{
    const int32_t index = Add(name, QWF_CTRL_STATIC_TEXT);
    auto* text = Ctl<CQWF_CtrlStaticText>(index);
    if (!text) return index;
    text->SetTextFont(GetFont(font));
    text->SetTextAt("", x, y, lineHeight);
    if (status) m_status.Attach(text);
    return index;
}

int32_t CDialogWindow::AddHelp(const char* name)
{
    const int32_t index = Add(name, QWF_CTRL_BUTTON);
    if (auto* button = Ctl<CQWF_CtrlButton>(index)) button->SetNotifyOnPress(true);
    return index;
}

void CDialogWindow::StartStatus()
{
    m_statusRunning = SetTimer(CStatusLine::kTickMs, CStatusLine::kTimerId);
    ShowHint("", 0);
}

void CDialogWindow::ShowHint(const char* control, uint8_t kind)
{
    if (!m_host || !*HintWindowName()) return;
    CQWF_Control* c = GetControl(FindControl(control));
    const uint8_t state = c && c->IsEnabled() ? 1 : 0;
    m_status.SetText(m_host->GetHintText(control, HintWindowName(), state, kind).GetBuffer());
}

void CDialogWindow::ShowHelpMenu(int32_t helpIndex)
{
    if (!m_host) return;
    CQWF_PlatformPopupMenu menu;
    if (!menu.Create()) return;
    m_host->BuildHelpMenu(menu);
    CQWF_Control* help = GetControl(helpIndex);
    const QWF_Rect r = help ? help->GetRect() : QWF_Rect{0, 0, 0, 0};
    menu.Track(this, r.left, r.bottom + 2, true);
}

void CDialogWindow::SavePosition(const char* group, const char* name)
{
    QWF_Rect r;
    if (m_host && GetWindowRect(r)) m_host->SaveWindowPosition(group, name, r.left, r.top);
}

int32_t CDialogWindow::RunAtStoredPosition(const char* skinName, const char* group, const char* name,
                                           CQWF_Window* owner)
{
    int32_t x = -32000, y = -32000;
    if (m_host) m_host->GetWindowPosition(group, name, x, y);
    if (!CreateFromSkin(skinName, x, y, owner, 0)) return -1;
    return RunModal();
}

bool CDialogWindow::OkCancelKey(uint32_t code, int32_t okIndex, const char* group, const char* name,
                                bool evenWhenDisabled)
{
    if (code == QWF_KEY_ENTER) {
        if (evenWhenDisabled || GetControl(okIndex)->IsEnabled()) {
            SavePosition(group, name);
            EndModal(kOk);
        }
        return true;
    }
    if (code == QWF_KEY_ESCAPE) {
        EndModal(kCancel);
        return true;
    }
    return false;
}
