// The main window's effect windows and the channel picker.
#include "plugin/main/wnd_main.h"

bool CWnd_Main::OpenEffectWindow(uint8_t effectType)
{
    (void)effectType;
    return false;
}

void CWnd_Main::BeginEffectPreview()
{
    m_effectOpen = 1;
}

void CWnd_Main::EndEffectPreview()
{
    m_effectOpen = 0;
}

bool CWnd_Main::SelectPiecesByChannel()
{
    return false;
}

bool CWnd_Main::SelectKnivesByChannel()
{
    return false;
}
