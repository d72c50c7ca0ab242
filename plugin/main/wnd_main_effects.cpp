// The main window's effect windows and the channel picker.
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/selection_geometry.h"
#include "plugin/main/wnd_main.h"


namespace {
EffectWindowFactory g_effectFactory = nullptr;
ChannelPickerRunner g_channelPicker = nullptr;
constexpr uint8_t kHslType = 2;
}  // namespace

void SetEffectWindowFactory(EffectWindowFactory factory) { g_effectFactory = factory; }
EffectWindowFactory GetEffectWindowFactory() { return g_effectFactory; }
void SetChannelPickerRunner(ChannelPickerRunner runner) { g_channelPicker = runner; }
ChannelPickerRunner GetChannelPickerRunner() { return g_channelPicker; }

bool CWnd_Main::OpenEffectWindow(uint8_t effectType)
{
    if (m_mode != kPuzzleMode || m_effectOpen || !m_plugin || !m_pieces)
        return false;
    // Hue and saturation only change RGB pictures.
    if (effectType == kHslType && m_plugin->GetHostInfo()->layout != 1)
        return false;
    EffectWindowFactory factory = GetEffectWindowFactory();
    if (!factory)
        return false;
    m_effectWindow.reset();
    m_effectWindow.reset(factory(*this, effectType));
    if (!m_effectWindow)
        return false;
    // The window's targets start from the pieces as they stand now: the undo snapshot of the
    // change is taken before the window is made, so that it can read it.
    m_pieces->BeginPiecesChange();
    int32_t x = -32000, y = -32000;
    m_plugin->GetWindowPosition("MAIN", m_effectWindow->GetSkinName(), x, y);
    if (!m_effectWindow->Open(x, y))
        return false;
    BeginEffectPreview();
    if (CQWF_Window* w = m_effectWindow->GetWindow()) {
        w->InvalidateRect(0, 0, 32767, 32767);
        w->Show();
    }
    return true;
}

void CWnd_Main::BeginEffectPreview()
{
    m_effectOpen = 1;
    UpdateControls();
}

void CWnd_Main::EndEffectPreview()
{
    m_effectOpen = 0;
    UpdateControls();
    if (m_pieces) {
        m_pieces->UpdateEffectButtons(m_mode == kLayoutMode, false);
        m_pieces->EndPiecesChange(true);
    }
}

bool CWnd_Main::SelectPiecesByChannel()
{
    ChannelPickerRunner run = GetChannelPickerRunner();
    if (!run || !m_plugin || !m_pieces || m_mode != kPuzzleMode || m_effectOpen)
        return false;
    CJigcrafter& e = m_plugin->GetEngine();
    ChannelPick pick;
    if (!run(*this, m_pieces->GetPiecesFlagState() != 0, 0, pick) || pick.map.GetSize() == 0)
        return false;
    CQWF_Progress* progress = BeginProgress("Selecting is in progress:");
    m_pieces->BeginPiecesChange();
    if (pick.mode == 0)
        m_pieces->DeselectAllPieces(false);
    // Piece 0 is the knife lines while razor cut is off.
    const int32_t first = e.GetKnifeLinesFlag() ? 1 : 0;
    CQWF_DWordArray on, off;
    const int32_t n = e.GetPieceCount();
    for (int32_t i = first; i < n; ++i) {
        const JigPiece* p = e.GetPiece(i);
        const bool in = qwsel::PieceTouchesMask(*p, pick.map.GetData(), pick.width, pick.height,
                                                128, pick.invert != 0);
        switch (pick.mode) {
        case 0:
        case 1:
            if (in && !p->selected)
                on.Add(static_cast<uint32_t>(i));
            break;
        case 2:
            if (in && p->selected)
                off.Add(static_cast<uint32_t>(i));
            break;
        default:
            if (!in && p->selected)
                off.Add(static_cast<uint32_t>(i));
            break;
        }
        if (progress)
            progress->SetPercent(static_cast<uint8_t>(100.0 * (i + 1) / n));
    }
    m_pieces->SelectPieces(on, 1, false);
    m_pieces->SelectPieces(off, 0, false);
    m_pieces->EndPiecesChange(true);
    EndProgress(progress);
    m_pieces->UpdateEffectButtons(false, false);
    RenderPreview();
    FadeStatus();
    return true;
}

bool CWnd_Main::SelectKnivesByChannel()
{
    ChannelPickerRunner run = GetChannelPickerRunner();
    if (!run || !m_plugin || m_mode != kLayoutMode)
        return false;
    ChannelPick pick;
    if (!run(*this, m_layout.GetKnivesSelectionState() != 0, 1, pick) || pick.map.GetSize() == 0)
        return false;
    KnifeFlagsChange([&] {
        m_layout.SelectKnivesByChannel(pick.mode, pick.invert != 0, pick.map.GetData(), pick.width,
                                       pick.height);
    });
    return true;
}
