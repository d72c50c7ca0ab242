#include "plugin/windows/effect_host.h"

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_popupmenu.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/filter_app.h"
#include "plugin/main/wnd_main.h"
#include "plugin/windows/wnd_pickers.h"

#include <new>

namespace {
CEffectWindowLink* MakeEffectWindow(CWnd_Main& main, uint8_t effectType)
{
    return CMainEffectHost::Make(main, effectType);
}

// The filter module makes its effect windows and runs its channel picker here from the start.
[[maybe_unused]] const bool g_installed = (InstallEffectWindows(), true);

CApp* FilterApp() { return dynamic_cast<CApp*>(CQWF_App::GetApp()); }
}  // namespace

void InstallEffectWindows()
{
    SetEffectWindowFactory(&MakeEffectWindow);
    SetChannelPickerRunner(&RunChannelPicker);
}

CMainEffectHost* CMainEffectHost::Make(CWnd_Main& main, uint8_t effectType)
{
    std::unique_ptr<CMainEffectHost> host(new (std::nothrow) CMainEffectHost(main));
    if (!host)
        return nullptr;
    CEffectHost* h = host.get();
    CWndFX_Base* w = nullptr;
    switch (effectType) {
    case kEffectBlur: w = new (std::nothrow) CWndFX_Blur(h); break;
    case kEffectBevel: w = new (std::nothrow) CWndFX_Bevel(h); break;
    case kEffectHsl: w = new (std::nothrow) CWndFX_HSL(h); break;
    case kEffectColourOverlay: w = new (std::nothrow) CWndFX_ColorOverlay(h); break;
    case kEffectBrightContrast: w = new (std::nothrow) CWndFX_BC(h); break;
    case kEffectMotionBlur: w = new (std::nothrow) CWndFX_MBlur(h); break;
    case kEffectOpacity: w = new (std::nothrow) CWndFX_Opacity(h); break;
    case kEffectStroke: w = new (std::nothrow) CWndFX_Stroke(h); break;
    case kEffectImageOverlay: w = new (std::nothrow) CWndFX_ImageOverlay(h); break;
    default: break;
    }
    if (!w)
        return nullptr;
    host->m_window.reset(w);
    host->m_skin = w->SkinName();
    return host.release();
}

CMainEffectHost::~CMainEffectHost() = default;

bool CMainEffectHost::Open(int32_t x, int32_t y)
{
    return m_window &&
           m_window->CreateFromSkin(m_skin.GetBuffer(), x, y, &m_main, 0);
}

CJigcrafter* CMainEffectHost::GetEngine()
{
    return m_main.GetPlugin() ? &m_main.GetPlugin()->GetEngine() : nullptr;
}

const PieceEffectRecord* CMainEffectHost::GetSnapshots(int32_t& count)
{
    count = 0;
    CPieceView* view = m_main.GetPieceView();
    return view ? view->GetUndo().GetSnapshot(count) : nullptr;
}

int32_t CMainEffectHost::GetCurrentPiece()
{
    CPieceView* view = m_main.GetPieceView();
    return view ? view->GetCurrentPiece() : -1;
}

uint8_t CMainEffectHost::GetColourMode()
{
    return m_main.GetPlugin() ? m_main.GetPlugin()->GetHostInfo()->layout : 1;
}

bool CMainEffectHost::IsRendering() { return m_main.IsRendering(); }

void CMainEffectHost::RenderPieces(const int32_t* pieces, int32_t count, bool final)
{
    // A live render lets the window's changes in and starts again on a newer request.
    m_main.RenderPieces(pieces, count, true, !final);
}

void CMainEffectHost::EndEffectPreview(bool ok)
{
    (void)ok;
    m_main.EndEffectPreview();
}

CQWF_Storage* CMainEffectHost::GetPreferences()
{
    return m_main.GetPlugin() ? m_main.GetPlugin()->GetPreferences() : nullptr;
}

void CMainEffectHost::SaveWindowPosition(const char* name, const char* group, int32_t x,
                                         int32_t y)
{
    if (m_main.GetPlugin())
        m_main.GetPlugin()->SaveWindowPosition(group, name, x, y);
}

void CMainEffectHost::GetCheckerColours(uint32_t& first, uint32_t& second)
{
    const ViewPreferences& p = m_main.GetViewPreferences();
    first = p.alphaSolid ? p.alphaColorSolid : p.alphaColor1;
    second = p.alphaSolid ? p.alphaColorSolid : p.alphaColor2;
}

void CMainEffectHost::GetHintText(const char* control, const char* window, bool enabled,
                                  uint8_t kind, CQWF_String& text)
{
    text = CApp::GetHintText(control, window, enabled ? 1 : 0, kind);
}

void CMainEffectHost::ShowHelpMenu(CQWF_Window& window, int32_t x, int32_t y)
{
    CApp* app = FilterApp();
    CQWF_PlatformPopupMenu menu;
    if (!app || !menu.Create())
        return;
    app->BuildHelpMenu(menu);
    menu.Track(&window, x, y, true);
}

void CMainEffectHost::OnHelpCommand(uint16_t id, CQWF_Window& window)
{
    if (CApp* app = FilterApp())
        app->OnHelpCommand(id, &window);
}

bool CMainEffectHost::ForwardCommand(int32_t id)
{
    return m_main.OnNotify(QWF_NOTIFY_COMMAND, id, "", 0, nullptr);
}

bool CMainEffectHost::PickColour(uint8_t colour[8])
{
    CPluginMain* plugin = m_main.GetPlugin();
    if (!plugin)
        return false;
    QWF_ColorRecord c{colour[0], colour[1], colour[2], colour[3],
                      colour[4], colour[5], colour[6], colour[7]};
    if (!plugin->PickColor(c))
        return false;
    const uint8_t out[8] = {c.gray, c.red, c.green, c.blue, c.cyan, c.magenta, c.yellow, c.black};
    for (int k = 0; k < 8; ++k)
        colour[k] = out[k];
    return true;
}

CPluginMain* CMainEffectHost::GetPlugin() { return m_main.GetPlugin(); }

void CMainEffectHost::GetDocumentOrigin(int32_t& x, int32_t& y)
{
    x = y = 0;
    if (CPluginMain* plugin = m_main.GetPlugin()) {
        x = plugin->GetHostInfo()->left;
        y = plugin->GetHostInfo()->top;
    }
}

void CMainEffectHost::GetViewPreferences(ViewPreferences& out)
{
    out = m_main.GetViewPreferences();
}
