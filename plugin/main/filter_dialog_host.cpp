#include "plugin/main/filter_dialog_host.h"

#include "framework/ui/qwf_app.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/filter_app.h"
#include "plugin/main/message_box.h"

namespace {
// The filter's application, when one runs (the Help menu needs it).
CApp* FilterApp()
{
    return dynamic_cast<CApp*>(CQWF_App::GetApp());
}
}  // namespace

CQWF_String CFilterDialogHost::GetHintText(const char* control, const char* window, uint8_t state, uint8_t kind)
{
    return CApp::GetHintText(control ? control : "", window ? window : "", m_hintMode ? m_hintMode : state,
                             kind);
}

void CFilterDialogHost::BuildHelpMenu(CQWF_PlatformPopupMenu& menu)
{
    if (CApp* app = FilterApp()) app->BuildHelpMenu(menu);
}

bool CFilterDialogHost::OnHelpCommand(int32_t id, CQWF_Window* window)
{
    CApp* app = FilterApp();
    return app && id >= 0 && id <= 0xFFFF && app->OnHelpCommand(static_cast<uint16_t>(id), window);
}

void CFilterDialogHost::GetWindowPosition(const char* group, const char* name, int32_t& x, int32_t& y)
{
    x = -32000;
    y = -32000;
    if (m_plugin) m_plugin->GetWindowPosition(group, name, x, y);
}

void CFilterDialogHost::SaveWindowPosition(const char* group, const char* name, int32_t x, int32_t y)
{
    if (m_plugin) m_plugin->SaveWindowPosition(group, name, x, y);
}

bool CFilterDialogHost::PickColor(uint32_t& colour)
{
    if (!m_plugin) return false;
    uint8_t rgba[4] = {static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 8),
                       static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 24)};
    if (!m_plugin->PickColorRGB(rgba)) return false;
    // The picker chooses the colour; the alpha stays the caller's.
    colour = (colour & 0xFF000000u) | static_cast<uint32_t>(rgba[0]) |
             (static_cast<uint32_t>(rgba[1]) << 8) | (static_cast<uint32_t>(rgba[2]) << 16);
    return true;
}

int32_t CFilterDialogHost::AskOkCancel(const char* header, const char* text, CQWF_Window* parent)
{
    return CWnd_MessageBox::Ask(parent, header, text, CWnd_MessageBox::kOk, CWnd_MessageBox::kCancel);
}

void CFilterDialogHost::ShowError(const char* text, CQWF_Window* window)
{
    if (CQWF_App* app = CQWF_App::GetApp()) app->MessageBox(text ? text : "", "Error!", window);
}
