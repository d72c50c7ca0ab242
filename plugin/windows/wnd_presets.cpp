#include "plugin/windows/wnd_presets.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_filedialog.h"
#include "framework/ui/qwf_list.h"
#include "framework/ui/qwf_scrollbar.h"
#include "framework/ui/qwf_static.h"
#include "plugin/windows/knife_shape_files.h"
#include "plugin/windows/wnd_shapename.h"

namespace {

constexpr uint16_t kListLineHeight = 16;
constexpr double kCurveWidth = 1.5;
// Nodes closer than this to the previous point are left out of a thumbnail's curve.
const double kMinNodeDistance = std::sqrt(0.0002);

const char* const kShapeFilter = "Quarrow. Jigcrafter Knife Shape (.qwjh)";
const char* const kSetFilter = "Quarrow. Jigcrafter Shapes Set (.qwjk)";

bool Inside(const QWF_Rect& r, int32_t x, int32_t y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

}  // namespace

void CWnd_PresetsManager::Messages::ShowError(const char* text)
{
    if (m_window->m_host) m_window->m_host->ShowError(text, m_window);
}

void CWnd_PresetsManager::Messages::ShowStatus(const char* text)
{
    if (auto* status = m_window->Ctl<CQWF_CtrlStaticText>(m_window->m_status)) {
        status->SetText(text);
        status->SetOpacity(255);
        status->Redraw();
    }
}

CWnd_PresetsManager::CWnd_PresetsManager(CDialogHost* host, CShapeReceiver* cutter)
    : CDialogWindow(host), m_cutter(cutter)
{
    m_model.SetMessages(&m_messages);
}

CWnd_PresetsManager::~CWnd_PresetsManager() = default;

int32_t CWnd_PresetsManager::Run(CQWF_Window* owner)
{
    return RunAtStoredPosition(kSkinName, kPositionGroup, kPositionName, owner);
}

bool CWnd_PresetsManager::Close()
{
    if (!m_open) return CDialogWindow::Close();
    m_open = false;
    SavePosition(kPositionGroup, kPositionName);
    const bool closed = CDialogWindow::Close();
    // Renames, deletions and sorting reach the file now; a failure is reported.
    m_model.Close();
    return closed;
}

bool CWnd_PresetsManager::OnCreate(CQWF_LayerSet*, uint16_t, uint16_t)
{
    CQWF_String key;
    bool rects = LoadRect("PresMng_Preview", m_preview);
    for (int k = 0; k < 8 && rects; ++k) {
        rects = LoadRect(key.Format("PresMng_SmallIco%d", k + 1), m_small[k]) &&
                LoadRect(key.Format("PresMng_SelSmallIco%d", k + 1), m_smallSel[k]);
    }
    for (int k = 0; k < 2 && rects; ++k) {
        rects = LoadRect(key.Format("PresMng_BigIco%d", k + 1), m_big[k]) &&
                LoadRect(key.Format("PresMng_SelBigIco%d", k + 1), m_bigSel[k]);
    }
    const int32_t infoFont = LoadFont("Info Font");
    const int32_t listFont = LoadFont("List Font");
    const int32_t smallFont = LoadFont("Small 7 Normal");
    if (!rects || infoFont < 0 || listFont < 0 || smallFont < 0) return false;

    m_help = AddHelp("PresMng_Help");
    Add("PresMng_CloseX", QWF_CTRL_BUTTON);
    m_saveSet = Add("PresMng_SaveSet", QWF_CTRL_BUTTON);
    Add("PresMng_ReplaceSet", QWF_CTRL_BUTTON);
    Add("PresMng_LoadSet", QWF_CTRL_BUTTON);
    Add("PresMng_LoadShape", QWF_CTRL_BUTTON);
    m_rename = Add("PresMng_RenShape", QWF_CTRL_BUTTON);
    m_delete = Add("PresMng_DelShape", QWF_CTRL_BUTTON);
    Add("PresMng_Sort", QWF_CTRL_BUTTON);
    m_toCutter = Add("PresMng_ToCutter", QWF_CTRL_BUTTON);
    m_toCutterClose = Add("PresMng_ToCutterClose", QWF_CTRL_BUTTON);
    Add("PresMng_Done", QWF_CTRL_BUTTON);
    m_sico = Add("PresMng_Sico", QWF_CTRL_RADIO);
    m_lico = Add("PresMng_Lico", QWF_CTRL_RADIO);
    m_list = Add("PresMng_List", QWF_CTRL_LIST);
    const int32_t vscroll = Add("PresMng_ScrollV_NR", QWF_CTRL_SCROLLBAR);
    const int32_t up = Add("PresMng_ScrollV_TopNR", QWF_CTRL_BUTTON);
    const int32_t down = Add("PresMng_ScrollV_Bottom", QWF_CTRL_BUTTON);
    m_hscroll = Add("PresMng_ScrollH_NR", QWF_CTRL_SCROLLBAR);
    const int32_t left = Add("PresMng_ScrollH_LeftNR", QWF_CTRL_BUTTON);
    const int32_t right = Add("PresMng_ScrollH_Right", QWF_CTRL_BUTTON);
    m_status = AddText("PresMng_Status", infoFont, 3, 0, 12, true);
    m_bigBg = Add("PresMng_BigIcoBg", QWF_CTRL_STATIC_IMAGE);
    m_smallBg = Add("PresMng_SmallIcoBg", QWF_CTRL_STATIC_IMAGE);
    m_name[0] = AddText("PresMng_BigIcoName1", smallFont, 0, 2, 12, false);
    m_name[1] = AddText("PresMng_BigIcoName2", smallFont, 0, 2, 12, false);
    if (!AllAdded()) return false;

    for (int32_t i : {m_saveSet, m_rename, m_delete, m_toCutter, m_toCutterClose}) GetControl(i)->SetDisabledOpacity(78);
    GetControl(m_sico)->SetCheck(true, false);
    auto* list = Ctl<CQWF_CtrlList>(m_list);
    list->SetFont(GetFont(listFont));
    list->AttachScrollBar(true, true, kListLineHeight, 4, 1, vscroll);
    Ctl<CQWF_CtrlScrollBar>(vscroll)->AttachButtons(up, down);
    Ctl<CQWF_CtrlScrollBar>(m_hscroll)->AttachButtons(left, right);

    const QWF_Rect& p = m_preview;
    for (CQWF_Layer* layer : {&m_selection, &m_curves}) {
        if (!layer->SetRect(p.left, p.top, p.right, p.bottom, QWF_IMAGE_RGBA) || AddLayer(layer) < 0) return false;
        layer->SetOpacity(255);
    }
    m_curves.Fill(kCurveColour & 0x00FFFFFFu);
    m_selection.Fill(0);

    // A missing library becomes the built-in set, then the library is read.
    CQWF_Mem defaultSet;
    CQWF_Storage* storage = CQWF_App::GetApp() ? CQWF_App::GetApp()->GetStorage() : nullptr;
    const bool haveDefault = storage && storage->GetBinary("DefSet", defaultSet);
    m_model.Open(haveDefault ? defaultSet.GetData() : nullptr, haveDefault ? defaultSet.GetSize() : 0);
    m_open = true;
    ShowLibrary(true);
    StartStatus();
    return true;
}

// --- showing the library ------------------------------------------------------------------------

QWF_Rect CWnd_PresetsManager::CellRect(int cell, bool selection) const
{
    if (m_model.IsBigIcons()) return selection ? m_bigSel[cell] : m_big[cell];
    return selection ? m_smallSel[cell] : m_small[cell];
}

int CWnd_PresetsManager::CellAt(int32_t x, int32_t y) const
{
    for (int k = 0; k < m_model.GetCellCount(); ++k)
        if (Inside(CellRect(k, false), x, y)) return k;
    return -1;
}

void CWnd_PresetsManager::FillList()
{
    auto* list = Ctl<CQWF_CtrlList>(m_list);
    m_syncing = true;
    list->RemoveAll(false, false);
    CQWF_String name;
    for (size_t i = 0; i < m_model.GetCount(); ++i) {
        m_model.GetName(i, name);
        list->AddItem(name.GetBuffer(), m_model.IsSelected(i), static_cast<uint32_t>(i), true);
    }
    list->Refresh();
    m_syncing = false;
}

void CWnd_PresetsManager::ShowSelection()
{
    auto* list = Ctl<CQWF_CtrlList>(m_list);
    m_syncing = true;
    for (int32_t i = 0; i < list->GetCount(); ++i) {
        const bool selected = m_model.IsSelected(static_cast<size_t>(i));
        list->SetItem(i, nullptr, &selected, nullptr, false);
    }
    // The first selected record comes into the list's view.
    const int64_t first = m_model.GetFirstSelected();
    if (first >= 0) list->SelectItem(static_cast<int32_t>(first), static_cast<int32_t>(first), false, false, true, false, false);
    list->Refresh();
    m_syncing = false;
}

void CWnd_PresetsManager::TakeListSelection()
{
    auto* list = Ctl<CQWF_CtrlList>(m_list);
    for (int32_t i = 0; i < list->GetCount(); ++i) {
        bool selected = false;
        list->GetItem(i, nullptr, &selected, nullptr);
        m_model.SetSelected(static_cast<size_t>(i), selected);
    }
}

void CWnd_PresetsManager::EnableButtons()
{
    const PresetsButtons b = m_model.GetButtons();
    GetControl(m_saveSet)->SetEnabled(b.saveSet);
    GetControl(m_delete)->SetEnabled(b.deleteShape);
    GetControl(m_rename)->SetEnabled(b.rename);
    GetControl(m_toCutter)->SetEnabled(b.toCutter);
    GetControl(m_toCutterClose)->SetEnabled(b.toCutterClose);
}

void CWnd_PresetsManager::UpdateScroll()
{
    const auto cells = static_cast<uint32_t>(m_model.GetCellCount());
    auto* bar = Ctl<CQWF_CtrlScrollBar>(m_hscroll);
    m_syncing = true;
    bar->SetRange(std::max<uint32_t>(static_cast<uint32_t>(m_model.GetCount()), cells), cells);
    bar->SetPos(static_cast<uint32_t>(m_model.GetFirstShown()));
    m_syncing = false;
}

void CWnd_PresetsManager::ShowLibrary(bool rebuildList)
{
    m_model.KeepSelectionInView();
    if (rebuildList)
        FillList();
    else
        ShowSelection();
    EnableButtons();
    UpdateScroll();
    DrawCells();
}

void CWnd_PresetsManager::DrawCells()
{
    const bool big = m_model.IsBigIcons();
    Ctl<CQWF_CtrlStaticImage>(m_smallBg)->SetOpacity(big ? 0 : 255);
    Ctl<CQWF_CtrlStaticImage>(m_bigBg)->SetOpacity(big ? 255 : 0);
    for (int k = 0; k < 2; ++k) Ctl<CQWF_CtrlStaticText>(m_name[k])->SetOpacity(big ? 255 : 0);
    m_curves.Fill(kCurveColour & 0x00FFFFFFu);
    m_selection.Fill(0);
    CQWF_ImageDrawing pen;
    pen.Attach(&m_curves);
    pen.m_value = 255;
    const QWF_Rect& p = m_preview;
    for (int k = 0; k < m_model.GetCellCount(); ++k) {
        const int64_t record = m_model.GetCellRecord(k);
        if (big) {
            CQWF_String name;
            if (record >= 0) m_model.GetName(static_cast<size_t>(record), name);
            Ctl<CQWF_CtrlStaticText>(m_name[k])->SetText(name.GetBuffer());
        }
        KnifeShape shape;
        if (record < 0 || !m_model.GetShape(static_cast<size_t>(record), shape)) continue;
        if (m_model.IsSelected(static_cast<size_t>(record))) {
            const QWF_Rect s = CellRect(k, true);
            m_selection.Fill(kSelectionColour, 255, {s.left - p.left, s.top - p.top, s.right - p.left, s.bottom - p.top});
        }
        // The edge runs down the cell's middle, as long as the deepest node lets it be.
        const QWF_Rect c = CellRect(k, false);
        const int32_t x0 = c.left - p.left, y0 = c.top - p.top, x1 = c.right - p.left, y1 = c.bottom - p.top;
        const int32_t hw = (x1 - x0) / 2;
        double deepest = 0.51;
        for (int i = 0; i < shape.nodeCount; ++i) deepest = std::max(deepest, std::fabs(shape.H[i]));
        const double length = hw / deepest;
        const double ex = x0 + hw;
        const double ey0 = y0 + static_cast<int32_t>((y1 - y0) - length) / 2;
        const double ey1 = y0 + static_cast<int32_t>((y1 - y0) + length) / 2;
        QWF_PolyPoint chain[kKnifeMaxNodes + 2];
        int n = 0;
        chain[n++] = {ex, ey0, 0.0f};
        for (int i = 0; i < shape.nodeCount; ++i) {
            QWF_DPoint q;
            if (!CQWF_2DMath::PointAtOffset(ex, ey0, ex, ey1, shape.H[i], shape.U[i], q)) continue;
            if (std::hypot(q.x - chain[n - 1].x, q.y - chain[n - 1].y) < kMinNodeDistance) continue;
            chain[n++] = {q.x, q.y, static_cast<float>(shape.S[i])};
        }
        chain[n++] = {ex, ey1, 0.0f};
        if (n == 2) {
            pen.DrawSegment(ex, ey0, ex, ey1, kCurveWidth, 1, 1, 1);
            continue;
        }
        int64_t count = 0;
        m_math.SetCurveReach(CQWF_2DMath::CurveReach(x1 - x0, y1 - y0));
        if (!m_math.BezierToPolyline(chain, n, 2.0, &m_flat, count) || count < 2) continue;
        pen.DrawPolyline(reinterpret_cast<const double*>(m_flat.GetData()), count, kCurveWidth, 1, 1, 1, 1.0);
    }
    InvalidateRect(p.left, p.top, p.right, p.bottom);
    Redraw(p);
}

// --- commands -------------------------------------------------------------------------------------

void CWnd_PresetsManager::SendToCutter(bool close)
{
    KnifeShape shape;
    if (!m_model.GetShapeForCutter(shape)) return;
    for (int i = 0; i < kKnifeMaxNodes; ++i) shape.selected[i] = 0;
    if (m_cutter) m_cutter->SetShape(shape, true);
    if (close) EndModal(kCancel);
}

void CWnd_PresetsManager::Rename()
{
    const int64_t first = m_model.GetFirstSelected();
    if (first < 0) return;
    CQWF_String name;
    m_model.GetName(static_cast<size_t>(first), name);
    CWnd_ShapeName dialog(m_host);
    dialog.SetName(name.GetBuffer());
    dialog.SetPositionGroup(kPositionName);
    if (dialog.Run(this) != kOk) return;
    if (!m_model.RenameSelected(dialog.GetName())) return;
    m_model.GetName(static_cast<size_t>(first), name);
    Ctl<CQWF_CtrlList>(m_list)->SetItem(static_cast<int32_t>(first), name.GetBuffer(), nullptr, nullptr, true);
    // The names under the large cells too.
    DrawCells();
}

void CWnd_PresetsManager::LoadShape()
{
    CQWF_PlatformFileDialog dialog;
    dialog.SetTitle("Load Knife Shape...");
    dialog.AddFilter(kShapeFilter, "qwjh");
    dialog.SetInitialDirToModule("shapes");
    if (!dialog.Open(this)) return;
    CQWF_StdFile file;
    if (!dialog.OpenChosenFile(file, CQWF_StdFile::kModeRead)) {
        m_messages.ShowError(shape_text::kReadError);
        return;
    }
    KnifeShape shape{};
    const bool loaded = LoadKnifeShapeFile(file, shape, &m_messages);
    file.Close();
    if (!loaded) return;
    CWnd_ShapeName naming(m_host);
    naming.SetName("New Shape");
    naming.SetPositionGroup(kPositionName);
    if (naming.Run(this) != kOk) return;
    m_model.AddShape(naming.GetName(), shape);
    ShowLibrary(true);
}

void CWnd_PresetsManager::LoadSet(bool replace)
{
    CQWF_PlatformFileDialog dialog;
    dialog.SetTitle(replace ? "Replace Set..." : "Append Set...");
    dialog.AddFilter(kSetFilter, "qwjk");
    dialog.SetInitialDirToModule("shapes sets");
    if (!dialog.Open(this)) return;
    CQWF_StdFile file;
    if (!dialog.OpenChosenFile(file, CQWF_StdFile::kModeRead)) {
        m_messages.ShowError(shape_text::kReadError);
        return;
    }
    const int64_t size = file.GetSize();
    CQWF_Mem bytes;
    if (size <= 0 || !bytes.AllocZeroed(static_cast<size_t>(size))) {
        m_messages.ShowError(size <= 0 ? shape_text::kUnknownFormat : shape_text::kMemory);
        return;
    }
    const bool read = file.Read(bytes.GetData(), static_cast<size_t>(size)) == size;
    file.Close();
    if (!read) {
        m_messages.ShowError(shape_text::kReadError);
        return;
    }
    m_model.ReadShapeSet(bytes.GetData(), static_cast<size_t>(size), replace);
    ShowLibrary(true);
}

bool CWnd_PresetsManager::WriteSetFile(CQWF_StdFile* file, void* context)
{
    return file && static_cast<CWnd_PresetsManager*>(context)->m_model.WriteShapeSetFile(*file);
}

void CWnd_PresetsManager::SaveSet()
{
    CQWF_PlatformFileDialog dialog;
    dialog.SetTitle("Save Set As...");
    dialog.AddFilter(kSetFilter, "qwjk");
    dialog.SetFileName("Untitled.qwjk");
    dialog.SetInitialDirToModule("shapes sets");
    dialog.Save(&CWnd_PresetsManager::WriteSetFile, this, this);
}

// --- input ----------------------------------------------------------------------------------------

bool CWnd_PresetsManager::OnLButtonDown(int32_t x, int32_t y, uint32_t flags)
{
    const int cell = CellAt(x, y);
    if (cell < 0 || !m_model.ClickCell(cell, (flags & QWF_MOD_CTRL) != 0)) return true;
    ShowLibrary(false);
    return true;
}

bool CWnd_PresetsManager::OnDoubleClick(int32_t x, int32_t y, uint32_t)
{
    const int cell = CellAt(x, y);
    const bool onRecord = cell >= 0 && m_model.GetCellRecord(cell) >= 0;
    CQWF_Control* list = GetControl(m_list);
    const QWF_Rect r = list->GetRect();
    const bool onList = Inside(r, x, y) && Ctl<CQWF_CtrlList>(m_list)->GetSelection() >= 0;
    if (!onRecord && !onList) return true;
    const bool alt = (GetModifierKeys() & QWF_MOD_ALT) != 0;
    if (alt && GetControl(m_toCutterClose)->IsEnabled())
        SendToCutter(true);
    else if (!alt && GetControl(m_toCutter)->IsEnabled())
        SendToCutter(false);
    return true;
}

bool CWnd_PresetsManager::OnKeyDown(uint32_t code, uint32_t modifiers)
{
    switch (code) {
    case QWF_KEY_ESCAPE: EndModal(kCancel); return true;
    case QWF_KEY_ENTER: {
        const bool alt = (modifiers & QWF_MOD_ALT) != 0;
        if (alt && GetControl(m_toCutterClose)->IsEnabled())
            SendToCutter(true);
        else if (!alt && GetControl(m_toCutter)->IsEnabled())
            SendToCutter(false);
        return true;
    }
    case QWF_KEY_DELETE:
        if (GetControl(m_delete)->IsEnabled()) {
            m_model.DeleteSelected();
            ShowLibrary(true);
        }
        return true;
    default: return false;
    }
}

bool CWnd_PresetsManager::OnChar(uint32_t character, uint32_t modifiers)
{
    if ((character == 'R' || character == 'r') && !(modifiers & (QWF_MOD_CTRL | QWF_MOD_ALT)) &&
        GetControl(m_rename)->IsEnabled()) {
        Rename();
        return true;
    }
    return false;
}

bool CWnd_PresetsManager::OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data)
{
    if (m_syncing) return true;
    if (code == QWF_NOTIFY_COMMAND) {
        if (m_model.RunAccelerator(index)) ShowLibrary(false);
        return true;
    }
    if (code == QWF_NOTIFY_SELECTION && index == m_list) {
        TakeListSelection();
        m_model.KeepSelectionInView();
        EnableButtons();
        UpdateScroll();
        DrawCells();
        return true;
    }
    if (index == m_hscroll && (code == QWF_NOTIFY_VALUE || code == QWF_NOTIFY_VALUE_CHANGING)) {
        m_model.ScrollTo(static_cast<int64_t>(Ctl<CQWF_CtrlScrollBar>(m_hscroll)->GetPos()));
        DrawCells();
        return true;
    }
    if (code != QWF_NOTIFY_CLICK) return CDialogWindow::OnNotify(code, index, name, kind, data);
    const std::string_view n = name ? name : "";
    if (kind == QWF_CTRL_RADIO) {
        m_model.SetBigIcons(index == m_lico);
        ShowLibrary(false);
        return true;
    }
    if (kind != QWF_CTRL_BUTTON) return true;
    if (n == "PresMng_Sort") {
        m_model.Sort();
        ShowLibrary(true);
    } else if (n == "PresMng_ToCutter") {
        SendToCutter(false);
    } else if (n == "PresMng_ToCutterClose") {
        SendToCutter(true);
    } else if (n == "PresMng_RenShape") {
        Rename();
    } else if (n == "PresMng_DelShape") {
        m_model.DeleteSelected();
        ShowLibrary(true);
    } else if (n == "PresMng_Done" || n == "PresMng_CloseX") {
        EndModal(kCancel);
    } else if (n == "PresMng_LoadShape") {
        LoadShape();
    } else if (n == "PresMng_LoadSet") {
        LoadSet(false);
    } else if (n == "PresMng_ReplaceSet") {
        LoadSet(true);
    } else if (n == "PresMng_SaveSet") {
        SaveSet();
    } else if (index == m_help) {
        ShowHelpMenu(m_help);
    }
    return true;
}
