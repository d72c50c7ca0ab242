#include "installer/uninstall/uninstall_window.h"

#include <cstdio>

#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_static.h"
#include "installer/setup/setup_install.h"
#include "installer/setup/setup_package.h"
#include "platform/qw_module.h"
#include "platform/qw_winsys.h"

namespace qwuninstall {

CWndMain::CWndMain() = default;

CWndMain::~CWndMain() = default;

bool CWndMain::OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height)
{
    if (!CQWF_Window::OnCreate(face, width, height)) return false;
    const int32_t font = LoadFont("Font");
    m_text = AddControl("Info_Text", QWF_CTRL_STATIC_TEXT);
    m_cancel = AddControl("Info_Cancel", QWF_CTRL_BUTTON);
    if (font < 0 || m_text < 0 || m_cancel < 0) return false;
    auto* text = static_cast<CQWF_CtrlStaticText*>(GetControl(m_text));
    text->SetTextFont(GetFont(font));
    // The product's own names come with the program, not with the record.
    if (CQWF_App* app = CQWF_App::GetApp())
        if (CQWF_Storage* package = app->GetStorage()) m_uninstaller.ReadProductNames(*package);
    m_uninstaller.OpenRecord(qwp::ModuleFileName().c_str());
    text->SetTextAt(m_uninstaller.GetInfoText().GetBuffer(), 0, 4, 18);
    if (m_uninstaller.HasRecord()) {
        m_yes = AddControl("Info_YES", QWF_CTRL_BUTTON);
        if (m_yes < 0) return false;
    }
    return true;
}

const char* CWndMain::GetText() const
{
    return m_text < 0 ? "" : static_cast<CQWF_CtrlStaticText*>(GetControl(m_text))->GetText();
}

bool CWndMain::IsInDragArea(int32_t x, int32_t y)
{
    for (int32_t index : {m_cancel, m_yes})
        if (index >= 0 && GetControl(index)->HitTest(x, y)) return false;
    return true;
}

bool CWndMain::OnTimer(uint32_t) { return false; }

bool CWndMain::OnMouseMove(int32_t, int32_t, uint32_t) { return true; }

bool CWndMain::OnLButtonDown(int32_t, int32_t, uint32_t) { return true; }

bool CWndMain::OnMouseWheel(int32_t, int32_t, uint32_t, int32_t) { return false; }

bool CWndMain::OnNotify(int32_t code, int32_t index, const char*, uint8_t, void*)
{
    if (code != QWF_NOTIFY_CLICK) return false;
    if (index == m_cancel) return Close();
    if (index == m_yes) {
        CQWF_String failure;
        if (!m_uninstaller.Uninstall(&failure) && failure.GetLength() > 0) {
            // Nothing was removed, or the removal could not start: the user must know.
            std::fprintf(stderr, "%s\n", failure.GetBuffer());
            qwp::MessageBoxRequest request;
            request.owner = GetHWND();
            request.text = failure.GetBuffer();
            request.caption = qwsetup::kErrorCaption;
            request.buttons = qwp::MessageButtons::Ok;
            request.icon = qwp::MessageIcon::Error;
            qwp::WS().MessageBox(request);
        }
        return Close();
    }
    return false;
}

bool CWndMain::Close()
{
    if (m_closed) return true;
    m_closed = true;
    CQWF_Window::Close();
    qwp::WS().PostQuit(0);
    return true;
}

CApp::CApp() = default;

CApp::~CApp() = default;

int32_t CApp::RunDialog() { return Open() ? Run() : -1; }

bool CApp::Open()
{
    if (!LoadPackageFromResource(true)) {
        qwsetup::ShowCorruptSetup(nullptr);
        return false;
    }
    SetMainWindow(&m_window);
    m_shadow = 1;
    if (!m_window.CreateFromSkin("Info", QWF_WHOLE, QWF_WHOLE, nullptr, 0)) {
        // A package that opened but cannot make the dialog is damaged all the same.
        CQWF_String why;
        why.Format("the uninstall dialog cannot be made from the package, error %d", m_window.GetError());
        qwsetup::ShowCorruptSetup(why.GetBuffer());
        return false;
    }
    m_window.SetTitle(kWindowTitle);
    m_window.InvalidateRect(0, 0, m_window.GetWidth(), m_window.GetHeight());
    m_window.Show();
    return true;
}

}  // namespace qwuninstall
