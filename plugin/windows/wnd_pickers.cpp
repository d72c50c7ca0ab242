#include "plugin/windows/wnd_pickers.h"

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_list.h"
#include "framework/ui/qwf_popupmenu.h"
#include "framework/ui/qwf_scrollbar.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/filter_app.h"
#include "plugin/main/wnd_main.h"

#include <cstring>

namespace {
constexpr uint16_t kLineHeight = 16;

bool Inside(const QWF_Rect& r, int32_t x, int32_t y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// The list with its three scroll-bar parts; false when the list or its bar is missing.
bool AddList(CDialogWindow& w, int32_t list, int32_t bar, int32_t up, int32_t down, int32_t font)
{
    auto* l = static_cast<CQWF_CtrlList*>(w.GetControl(list));
    auto* b = static_cast<CQWF_CtrlScrollBar*>(w.GetControl(bar));
    if (!l || !b)
        return false;
    l->SetFont(w.GetFont(font));
    l->AttachScrollBar(false, true, kLineHeight, 4, 1, bar);
    b->AttachButtons(up, down);
    return true;
}
// The Help menu at a point of the window.
void HelpMenuAt(CDialogHost& host, CQWF_Window& window, int32_t x, int32_t y)
{
    CQWF_PlatformPopupMenu menu;
    if (!menu.Create())
        return;
    host.BuildHelpMenu(menu);
    menu.Track(&window, x, y, true);
}
}  // namespace

// ---- channel picker ---------------------------------------------------------------------------

bool CWnd_ChannelList::OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height)
{
    if (!CQWF_Window::OnCreate(face, width, height) || !m_plugin)
        return false;
    if (!LoadRect("ChannelList_Preview", m_previewRect) ||
        m_previewRect.right <= m_previewRect.left || m_previewRect.bottom <= m_previewRect.top)
        return false;
    const int32_t listFont = LoadFont("List Font");
    const int32_t infoFont = LoadFont("Info Font");
    if (listFont < 0 || infoFont < 0)
        return false;
    m_closeX = Add("ChannelList_CloseX", QWF_CTRL_BUTTON);
    m_cancel = Add("ChannelList_Cancel", QWF_CTRL_BUTTON);
    m_ok = Add("ChannelList_Ok", QWF_CTRL_BUTTON);
    m_help = AddHelp("ChannelList_Help");
    m_list = Add("ChannelList_List", QWF_CTRL_LIST);
    const int32_t down = Add("ChannelList_ScrollV_Bottom", QWF_CTRL_BUTTON);
    const int32_t up = Add("ChannelList_ScrollV_TopNR", QWF_CTRL_BUTTON);
    const int32_t bar = Add("ChannelList_ScrollV_NR", QWF_CTRL_SCROLLBAR);
    static const char* const kRadios[4] = {"ChannelList_SelNew", "ChannelList_SelAdd",
                                           "ChannelList_SelSub", "ChannelList_SelInter"};
    for (int k = 0; k < 4; ++k)
        m_radios[k] = Add(kRadios[k], QWF_CTRL_RADIO);
    AddText("ChannelList_Status", infoFont, 3, 0, 12, true);
    m_invertBox = Add("ChannelList_Invert", QWF_CTRL_CHECKBOX);
    if (!AllAdded() || !AddList(*this, m_list, bar, up, down, listFont))
        return false;
    GetControl(m_invertBox)->SetCheck(m_invert != 0, true);
    GetControl(m_radios[0])->SetCheck(true, false);
    if (!m_selectionExists)
        for (int k = 1; k < 4; ++k)
            GetControl(m_radios[k])->SetEnabled(false);
    const QWF_Rect& p = m_previewRect;
    if (!m_preview.SetRect(p.left, p.top, p.right, p.bottom, QWF_IMAGE_RGBA))
        return false;
    m_preview.Fill(0);
    if (AddLayer(&m_preview) < 0)
        return false;
    const QWF_HostInfo* info = m_plugin->GetHostInfo();
    m_width = info->right - info->left;
    m_height = info->bottom - info->top;
    if (m_width <= 0 || m_height <= 0 ||
        !m_map.Alloc(static_cast<size_t>(m_width) * static_cast<size_t>(m_height)))
        return false;
    std::memset(m_map.GetData(), 255, m_map.GetSize());
    FillChannelList();
    auto* list = Ctl<CQWF_CtrlList>(m_list);
    if (list->GetCount() > 0)
        list->SelectItem(0, 0, true, false, true, true, true);
    StartStatus();
    return true;
}

void CWnd_ChannelList::FillChannelList()
{
    auto* list = Ctl<CQWF_CtrlList>(m_list);
    list->RemoveAll(false, false);
    CQWF_StringArray items;
    if (!qwpick::BuildChannelList(*m_plugin->GetHostInfo(), m_plugin->GetChannelNames(), items))
        return;
    for (size_t i = 0; i < items.GetCount(); ++i) {
        const CQWF_String* s = items.GetStringPtr(i);
        if (s)
            list->AddItem(s->GetBuffer(), false, s->GetTag(), i + 1 < items.GetCount());
    }
}

void CWnd_ChannelList::ReadChannelPreview()
{
    auto* list = Ctl<CQWF_CtrlList>(m_list);
    const int32_t sel = list ? list->GetSelection() : -1;
    if (sel >= 0) {
        uint32_t data = 0;
        list->GetItem(sel, nullptr, nullptr, &data);
        const auto number = static_cast<int32_t>(data);
        const QWF_HostInfo* info = m_plugin->GetHostInfo();
        const int64_t stride = m_width;
        CQWF_Mem read;
        if (!read.Alloc(m_map.GetSize()))
            return;
        bool ok = true;
        switch (qwpick::ChannelReadFor(*info, number)) {
        case qwpick::kReadSelection:
            ok = m_plugin->ReadPlane(-1, info->left, info->top, info->right, info->bottom,
                                     read.GetData(), stride);
            break;
        case qwpick::kFillWhole: std::memset(read.GetData(), 255, read.GetSize()); break;
        case qwpick::kReadAbsolute:
            ok = m_plugin->ReadPlaneAbsolute(number, info->left, info->top, info->right,
                                             info->bottom, read.GetData(), stride);
            break;
        case qwpick::kReadPlane:
            ok = m_plugin->ReadPlane(number, info->left, info->top, info->right, info->bottom,
                                     read.GetData(), stride);
            break;
        default: std::memcpy(read.GetData(), m_map.GetData(), m_map.GetSize()); break;
        }
        if (!ok)
            return;
        std::memcpy(m_map.GetData(), read.GetData(), m_map.GetSize());
        // The map scaled into the preview's alpha, aspect kept and centred; black shows what
        // the caller will select.
        m_invert = Ctl<CQWF_Control>(m_invertBox)->GetCheck() ? 1 : 0;
        const int32_t pw = m_preview.GetWidth(), ph = m_preview.GetHeight();
        qwpick::Rect pic;
        m_preview.Fill(0);
        if (qwpick::PictureRect(qwpick::Rect{0, 0, m_width, m_height}, pw, ph, pic)) {
            uint8_t* alpha = m_preview.GetPlane(3);
            const int32_t w = pic.right - pic.left, h = pic.bottom - pic.top;
            for (int32_t y = 0; y < h; ++y) {
                const int64_t sy = static_cast<int64_t>(y) * m_height / h;
                const uint8_t* row = m_map.GetData() + sy * m_width;
                uint8_t* out = alpha + static_cast<int64_t>(pic.top + y) * pw + pic.left;
                for (int32_t x = 0; x < w; ++x) {
                    const uint8_t v = row[static_cast<int64_t>(x) * m_width / w];
                    out[x] = m_invert ? v : static_cast<uint8_t>(255 - v);
                }
            }
        }
    }
    InvalidateRect(m_previewRect.left, m_previewRect.top, m_previewRect.right,
                   m_previewRect.bottom);
    Redraw(m_previewRect);
}

const char* CWnd_ChannelList::ZoneAt(int32_t x, int32_t y) const
{
    return Inside(m_previewRect, x, y) ? "Zone_Preview" : "";
}

bool CWnd_ChannelList::OnKeyDown(uint32_t code, uint32_t)
{
    return OkCancelKey(code, m_ok, "MAIN", "ChannelList");
}

bool CWnd_ChannelList::OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind,
                                void* data)
{
    if (code == QWF_NOTIFY_MENU)
        return CDialogWindow::OnNotify(code, index, name, kind, data);
    if (index == m_cancel || index == m_closeX) {
        EndModal(kCancel);
    } else if (index == m_ok) {
        SavePosition("MAIN", "ChannelList");
        EndModal(kOk);
    } else if (index == m_help) {
        if (m_host)
            HelpMenuAt(*m_host, *this, 376, 30);
    } else if (kind == QWF_CTRL_RADIO) {
        m_mode = qwpick::CombineMode(Ctl<CQWF_Control>(m_radios[1])->GetCheck(),
                                     Ctl<CQWF_Control>(m_radios[2])->GetCheck(),
                                     Ctl<CQWF_Control>(m_radios[3])->GetCheck());
        if (Ctl<CQWF_Control>(m_radios[0])->GetCheck())
            m_mode = 0;
    } else if (index == m_invertBox || index == m_list) {
        ReadChannelPreview();
    }
    return true;
}

bool RunChannelPicker(CWnd_Main& main, bool selectionExists, uint8_t target, ChannelPick& out)
{
    CPluginMain* plugin = main.GetPlugin();
    if (!plugin)
        return false;
    CFilterDialogHost host(plugin, target == 1 ? 1 : 2);
    CWnd_ChannelList picker(&host, plugin, selectionExists, target);
    int32_t x = -32000, y = -32000;
    plugin->GetWindowPosition("MAIN", "ChannelList", x, y);
    if (!picker.CreateFromSkin("ChannelList", x, y, &main, 0))
        return false;
    picker.InvalidateRect(0, 0, 32767, 32767);
    if (picker.RunModal() != CDialogWindow::kOk)
        return false;
    const CQWF_Mem& map = picker.GetMap();
    if (!out.map.Alloc(map.GetSize()))
        return false;
    std::memcpy(out.map.GetData(), map.GetData(), map.GetSize());
    out.width = picker.GetMapWidth();
    out.height = picker.GetMapHeight();
    out.mode = picker.GetMode();
    out.invert = picker.GetInvert();
    return true;
}

// ---- layer picker -----------------------------------------------------------------------------

bool CWnd_LayersList::Close()
{
    KillTimer(kBlinkTimer);
    return CDialogWindow::Close();
}

bool CWnd_LayersList::OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height)
{
    if (!CQWF_Window::OnCreate(face, width, height) || !m_plugin)
        return false;
    if (!LoadRect("Layers_Preview", m_previewRect) ||
        m_previewRect.right <= m_previewRect.left || m_previewRect.bottom <= m_previewRect.top)
        return false;
    const int32_t listFont = LoadFont("List Font");
    const int32_t infoFont = LoadFont("Info Font");
    if (listFont < 0 || infoFont < 0)
        return false;
    Add("Layers_CloseX", QWF_CTRL_BUTTON);
    Add("Layers_Cancel", QWF_CTRL_BUTTON);
    m_ok = Add("Layers_Ok", QWF_CTRL_BUTTON);
    m_help = AddHelp("Layers_Help");
    m_list = Add("Layers_List", QWF_CTRL_LIST);
    const int32_t down = Add("Layers_ScrollV_Bottom", QWF_CTRL_BUTTON);
    const int32_t up = Add("Layers_ScrollV_TopNR", QWF_CTRL_BUTTON);
    const int32_t bar = Add("Layers_ScrollV_NR", QWF_CTRL_SCROLLBAR);
    m_all = Add("Layers_ShowAll", QWF_CTRL_RADIO);
    m_filtered = Add("Layers_ShowFiltered", QWF_CTRL_RADIO);
    AddText("Layers_Status", infoFont, 3, 0, 12, true);
    if (!AllAdded() || !AddList(*this, m_list, bar, up, down, listFont))
        return false;
    GetControl(m_showFiltered ? m_filtered : m_all)->SetCheck(true, false);
    const QWF_Rect& p = m_previewRect;
    for (CQWF_Layer* layer : {&m_picture, &m_marker}) {
        if (!layer->SetRect(p.left, p.top, p.right, p.bottom, QWF_IMAGE_RGBA))
            return false;
        layer->Fill(0);
        if (AddLayer(layer) < 0)
            return false;
    }
    m_marker.SetOpacity(255);
    const size_t plane = static_cast<size_t>(m_picture.GetWidth()) * m_picture.GetHeight();
    if (!m_planes.Alloc(plane * 4))
        return false;
    const QWF_HostInfo* info = m_plugin->GetHostInfo();
    if (!m_plugin->BuildLayerTable(info->left, info->top, info->right, info->bottom, true))
        return false;
    FillLayerList();
    ReadLayerPreview();
    StartStatus();
    SetTimer(500, kBlinkTimer);
    return true;
}

bool CWnd_LayersList::CoversTarget(size_t tableIndex) const
{
    size_t count = 0;
    const QWF_LayerEntry* table = m_plugin ? m_plugin->GetLayerTable(count) : nullptr;
    return table && tableIndex < count && qwpick::CoversTarget(table[tableIndex], m_target);
}

void CWnd_LayersList::FillLayerList()
{
    auto* list = Ctl<CQWF_CtrlList>(m_list);
    list->RemoveAll(false, false);
    size_t count = 0;
    const QWF_LayerEntry* table = m_plugin->GetLayerTable(count);
    CQWF_StringArray items;
    int32_t selected = -1;
    if (!qwpick::BuildLayerList(table, count, m_target, m_showFiltered, m_chosen, items,
                                selected))
        return;
    for (size_t i = 0; i < items.GetCount(); ++i) {
        const CQWF_String* s = items.GetStringPtr(i);
        if (s)
            list->AddItem(s->GetBuffer(), false, s->GetTag(), i + 1 < items.GetCount());
    }
    if (selected >= 0)
        list->SelectItem(selected, selected, true, false, true, true, false);
    m_remembered = -1;
}

void CWnd_LayersList::PreviewFailed()
{
    GetControl(m_ok)->SetEnabled(false);
    m_picture.Fill(0xFF000000u);
    InvalidateRect(m_previewRect.left, m_previewRect.top, m_previewRect.right,
                   m_previewRect.bottom);
    Redraw(m_previewRect);
}

bool CWnd_LayersList::ReadPicture(int32_t id, const qwpick::Rect& source, const qwpick::Rect& pic)
{
    // Row by row: each picture row reads the source row it samples, scaled across.
    const int32_t sw = source.right - source.left, sh = source.bottom - source.top;
    const int32_t w = pic.right - pic.left, h = pic.bottom - pic.top;
    const int32_t pw = m_picture.GetWidth();
    CQWF_Mem row;
    if (!row.Alloc(static_cast<size_t>(sw) * 4))
        return false;
    uint8_t* in[4];
    for (int k = 0; k < 4; ++k)
        in[k] = row.GetData() + static_cast<size_t>(k) * sw;
    const size_t plane = static_cast<size_t>(pw) * m_picture.GetHeight();
    for (int32_t y = 0; y < h; ++y) {
        const int32_t sy = source.top + static_cast<int32_t>(static_cast<int64_t>(y) * sh / h);
        if (!m_plugin->ReadLayerPlanes(id, in, sw, 1, 4, source.left, sy, source.right, sy + 1))
            return false;
        for (int k = 0; k < 4; ++k) {
            uint8_t* out = m_planes.GetData() + k * plane +
                           static_cast<size_t>(pic.top + y) * pw + pic.left;
            for (int32_t x = 0; x < w; ++x)
                out[x] = in[k][static_cast<int64_t>(x) * sw / w];
        }
    }
    return true;
}

void CWnd_LayersList::ReadLayerPreview()
{
    auto* list = Ctl<CQWF_CtrlList>(m_list);
    const int32_t sel = list ? list->GetSelection() : -1;
    size_t count = 0;
    const QWF_LayerEntry* table = m_plugin->GetLayerTable(count);
    uint32_t index = 0;
    if (sel < 0 || !table || !list->GetItem(sel, nullptr, nullptr, &index) || index >= count) {
        PreviewFailed();
        return;
    }
    const QWF_LayerEntry& layer = table[index];
    const bool covers = CoversTarget(index);
    GetControl(m_ok)->SetEnabled(covers);
    m_chosen = covers ? layer.id : -2;
    const qwpick::Rect source =
        covers ? m_target : qwpick::Rect{layer.left, layer.top, layer.right, layer.bottom};
    const int32_t pw = m_picture.GetWidth(), ph = m_picture.GetHeight();
    qwpick::Rect pic;
    if (!qwpick::PictureRect(source, pw, ph, pic) || !ReadPicture(layer.id, source, pic)) {
        PreviewFailed();
        return;
    }
    // The area around the picture, then the picture over the transparency background.
    const ViewPreferences& v = m_prefs;
    if (v.extAlphaSolid)
        m_picture.Fill(v.extAlphaColorSolid);
    else
        m_picture.FillChecker(4, 4, v.extAlphaColor1, v.extAlphaColor2);
    const QWF_Rect pr{pic.left, pic.top, pic.right, pic.bottom};
    if (v.alphaSolid)
        m_picture.Fill(v.alphaColorSolid, 255, pr);
    else
        m_picture.FillChecker(4, 4, v.alphaColor1, v.alphaColor2, pr);
    const size_t plane = static_cast<size_t>(pw) * ph;
    const uint8_t* alpha = m_planes.GetData() + 3 * plane;
    for (int k = 0; k < 3; ++k) {
        uint8_t* out = m_picture.GetPlane(k);
        const uint8_t* value = m_planes.GetData() + k * plane;
        for (int32_t y = pic.top; y < pic.bottom; ++y)
            for (int32_t x = pic.left; x < pic.right; ++x) {
                const size_t i = static_cast<size_t>(y) * pw + x;
                out[i] = qwpick::BlendOver(value[i], alpha[i], out[i]);
            }
    }
    // The marker of the target region where the layer does not cover it.
    m_marker.Fill(0x00FFFFFFu);
    if (!covers) {
        qwpick::Rect mark;
        if (!qwpick::MarkerRect(m_target, source, pic, pw, ph, mark)) {
            m_marker.Fill(0x80FF0000u);  // half-transparent blue over everything
        } else {
            m_marker.Fill(0xFF0000FFu,
                          255, QWF_Rect{mark.left - 1, mark.top - 1, mark.right + 1, mark.bottom + 1});
            m_marker.Fill(0xFFFF0000u, 255, QWF_Rect{mark.left, mark.top, mark.right, mark.bottom});
        }
    }
    InvalidateRect(m_previewRect.left, m_previewRect.top, m_previewRect.right,
                   m_previewRect.bottom);
    Redraw(m_previewRect);
}

bool CWnd_LayersList::OnTimer(uint32_t id)
{
    if (id == kBlinkTimer) {
        if (!GetControl(m_ok)->IsEnabled()) {
            m_marker.SetOpacity(static_cast<uint8_t>(255 - m_marker.GetOpacity()));
            InvalidateRect(m_previewRect.left, m_previewRect.top, m_previewRect.right,
                           m_previewRect.bottom);
            Redraw(m_previewRect);
        }
        return true;
    }
    return CDialogWindow::OnTimer(id);
}

const char* CWnd_LayersList::ZoneAt(int32_t x, int32_t y) const
{
    return Inside(m_previewRect, x, y) ? "Zone_Preview" : "";
}

bool CWnd_LayersList::OnKeyDown(uint32_t code, uint32_t)
{
    // Enter ends with 1 even while no covering layer is chosen; the caller then finds -2.
    return OkCancelKey(code, m_ok, "IOVR", "Layers", true);
}

bool CWnd_LayersList::OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind,
                               void* data)
{
    if (code == QWF_NOTIFY_MENU)
        return CDialogWindow::OnNotify(code, index, name, kind, data);
    const char* n = name ? name : "";
    if (std::strcmp(n, "Layers_Cancel") == 0 || std::strcmp(n, "Layers_CloseX") == 0) {
        EndModal(kCancel);
    } else if (index == m_ok) {
        SavePosition("IOVR", "Layers");
        EndModal(kOk);
    } else if (index == m_help) {
        if (m_host)
            HelpMenuAt(*m_host, *this, 441, 30);
    } else if (kind == QWF_CTRL_RADIO) {
        if (GetControl(m_filtered)->GetCheck())
            m_showFiltered = true;
        else if (GetControl(m_all)->GetCheck())
            m_showFiltered = false;
        FillLayerList();
        ReadLayerPreview();
    } else if (index == m_list) {
        auto* list = Ctl<CQWF_CtrlList>(m_list);
        if (list->GetSelection() < 0 && list->GetCount() > 0 && m_remembered >= 0)
            list->SelectItem(m_remembered, m_remembered, true, false, true, true, false);
        else
            m_remembered = list->GetSelection();
        ReadLayerPreview();
    }
    return true;
}
