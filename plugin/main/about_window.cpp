#include "plugin/main/about_window.h"

CWnd_About::CWnd_About() = default;
CWnd_About::~CWnd_About() = default;

bool CWnd_About::Close()
{
    return CQWF_Window::Close();
}

bool CWnd_About::OnCreate(CQWF_LayerSet*, uint16_t, uint16_t)
{
    m_font = LoadFont("Info Font");
    if (m_font < 0) {
        SetError(QWF_ERR_SKIN);
        return false;
    }
    return true;
}

void CWnd_About::Dismiss()
{
    if (IsModal())
        EndModal(0);
    else
        Close();
}

bool CWnd_About::OnLButtonDown(int32_t, int32_t, uint32_t)
{
    Dismiss();
    return true;
}

bool CWnd_About::OnRButtonDown(int32_t, int32_t, uint32_t)
{
    Dismiss();
    return true;
}

bool CWnd_About::OnKeyDown(uint32_t, uint32_t)
{
    Dismiss();
    return true;
}

bool CWnd_About::OnKeyUp(uint32_t, uint32_t)
{
    Dismiss();
    return true;
}

bool CWnd_About::OnChar(uint32_t, uint32_t)
{
    Dismiss();
    return true;
}
