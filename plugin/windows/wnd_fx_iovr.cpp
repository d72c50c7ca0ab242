#include "framework/core/qwf_storage.h"
#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_popupmenu.h"
#include "framework/ui/qwf_static.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/windows/effect_window.h"
#include "plugin/windows/wnd_pickers.h"

#include <string_view>

using namespace qwfx;

namespace {
constexpr const char* kShowFilteredKey = "DocLayers Settings>ShowFiltered";
}

CWndFX_ImageOverlay::CWndFX_ImageOverlay(CEffectHost* host)
    : CWndFX_Ranged(kImageOverlay, host)
{
}

bool CWndFX_ImageOverlay::CreateMember()
{
    if (!CWndFX_Ranged::CreateMember())
        return false;
    m_choose = Add("_ChooseImage", QWF_CTRL_BUTTON);
    m_object2 = Add("_Object2", QWF_CTRL_STATIC_IMAGE);
    m_current = Add("_CurrentImage", QWF_CTRL_STATIC_TEXT);
    if (m_choose < 0 || m_object2 < 0 || m_current < 0)
        return false;
    static_cast<CQWF_CtrlButton*>(Ctl(m_choose))->SetNotifyOnPress(true);
    auto* text = static_cast<CQWF_CtrlStaticText*>(Ctl(m_current));
    text->SetTextFont(GetFont(m_infoFont));
    text->SetTextAt("", 3, 0, 12);
    // The window's own preview is the sample with the sample overlay above it.
    m_previewLayer.SetVisible(0);
    static_cast<CQWF_CtrlStaticImage*>(Ctl(m_object))->GetLayer()->SetVisible(1);
    static_cast<CQWF_CtrlStaticImage*>(Ctl(m_object2))->GetLayer()->SetVisible(1);

    // The region the pieces cover, in document pixels.
    CJigcrafter* e = m_host->GetEngine();
    bool any = false;
    for (int32_t i = 0; i < m_model.GetTargetCount(); ++i) {
        const JigPiece* p = e ? e->GetPiece(m_model.GetTarget(i)) : nullptr;
        if (!p)
            continue;
        if (!any) {
            m_region[0] = p->left, m_region[1] = p->top, m_region[2] = p->right,
            m_region[3] = p->bottom;
            any = true;
            continue;
        }
        m_region[0] = p->left < m_region[0] ? p->left : m_region[0];
        m_region[1] = p->top < m_region[1] ? p->top : m_region[1];
        m_region[2] = p->right > m_region[2] ? p->right : m_region[2];
        m_region[3] = p->bottom > m_region[3] ? p->bottom : m_region[3];
    }
    if (!any || m_region[2] <= m_region[0] || m_region[3] <= m_region[1]) {
        m_region[0] = m_region[1] = m_region[2] = m_region[3] = -32000;
    } else {
        int32_t x = 0, y = 0;
        m_host->GetDocumentOrigin(x, y);
        m_region[0] += x, m_region[2] += x;
        m_region[1] += y, m_region[3] += y;
    }
    return true;
}

void CWndFX_ImageOverlay::GetTargetRegion(int32_t& left, int32_t& top, int32_t& right,
                                          int32_t& bottom) const
{
    left = m_region[0], top = m_region[1], right = m_region[2], bottom = m_region[3];
}

void CWndFX_ImageOverlay::ApplyToPreview()
{
    if (auto* o = static_cast<CQWF_CtrlStaticImage*>(Ctl(m_object)))
        o->GetLayer()->SetOpacity(255);
    if (auto* o2 = static_cast<CQWF_CtrlStaticImage*>(Ctl(m_object2)))
        o2->GetLayer()->SetOpacity(m_model.GetValue(GetActiveValue()).imgOpacity);
    RedrawPreview();
}

void CWndFX_ImageOverlay::ShowSource()
{
    if (auto* text = static_cast<CQWF_CtrlStaticText*>(Ctl(m_current)))
        text->SetText(m_model.GetValue(0).imgLayerChoice ? "From Manually Selected Layer"
                                                         : "From Auto-Selected Layers");
}

void CWndFX_ImageOverlay::ShowLoaded()
{
    CWndFX_Ranged::ShowLoaded();
    ShowSource();
}

void CWndFX_ImageOverlay::ChooseSource(uint16_t item)
{
    if (item == kAutomatic) {
        m_model.Value(0).imgLayerChoice = 0;
        m_model.Value(1).imgLayerChoice = 0;
        m_model.Invalidate();
        ScheduleUpdate(kStandardDelay);
        ShowSource();
    } else if (item == kFromLayer) {
        RunLayerPicker();
    }
}

void CWndFX_ImageOverlay::RunLayerPicker()
{
    CPluginMain* plugin = m_host->GetPlugin();
    if (!plugin)
        return;
    CQWF_Storage* prefs = m_host->GetPreferences();
    uint8_t filtered = 1;
    if (prefs && !prefs->GetByte(kShowFilteredKey, filtered))
        filtered = 1;
    ViewPreferences colours;
    m_host->GetViewPreferences(colours);
    CFilterDialogHost dialogs(plugin);
    CWnd_LayersList picker(&dialogs, plugin, colours);
    picker.SetTarget(m_region[0], m_region[1], m_region[2], m_region[3]);
    const PieceEffectRecord& v = m_model.GetValue(0);
    picker.SetChosen(v.imgLayerChoice ? v.layerId : -2);
    picker.SetShowFiltered(filtered != 0);
    int32_t x = -32000, y = -32000;
    plugin->GetWindowPosition("IOVR", "Layers", x, y);
    if (!picker.CreateFromSkin("Layers", x, y, this, 0))
        return;
    picker.InvalidateRect(0, 0, 32767, 32767);
    if (picker.RunModal() != CDialogWindow::kOk)
        return;
    if (prefs) {
        prefs->CreateFolder("DocLayers Settings");
        prefs->SetByte(kShowFilteredKey, picker.GetShowFiltered() ? 1 : 0);
    }
    const int32_t id = picker.GetChosen();
    if (id == -2)
        return;
    for (int k = 0; k < 2; ++k) {
        m_model.Value(k).imgLayerChoice = 1;
        m_model.Value(k).layerId = id;
    }
    m_model.Invalidate();
    ScheduleUpdate(kStandardDelay);
    ShowSource();
}

bool CWndFX_ImageOverlay::OnMemberNotify(int32_t code, const char* name, uint8_t kind, void* data)
{
    if (code == QWF_NOTIFY_MENU) {
        const uint16_t item = data ? *static_cast<uint16_t*>(data) : 0;
        if (item != kAutomatic && item != kFromLayer)
            return false;
        ChooseSource(item);
        return true;
    }
    if (CWndFX_Ranged::OnMemberNotify(code, name, kind, data))
        return true;
    const CQWF_Control* choose = Ctl(m_choose);
    if (choose && kind == QWF_CTRL_BUTTON && code == QWF_NOTIFY_CLICK &&
        std::string_view(name) == choose->GetName()) {
        CQWF_PlatformPopupMenu menu;
        if (menu.Create()) {
            const bool manual = m_model.GetValue(0).imgLayerChoice != 0;
            menu.AddItem("From Document Layer (Auto)", kAutomatic, !manual, false);
            menu.AddItem("From Document Layer...", kFromLayer, manual, false);
            menu.Track(this, 87, 209, true);
        }
        return true;
    }
    return false;
}
