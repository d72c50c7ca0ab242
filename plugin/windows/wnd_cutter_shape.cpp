// The Cutter's shape area and the buttons around it: the mouse, keys and node menu of the knife
// shape, its drawing, the shape files, the presets library, cloning and the auto layout.
#include "plugin/windows/wnd_cutter.h"

#include <cmath>
#include <cstring>

#include "framework/core/qwf_file.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_filedialog.h"
#include "framework/ui/qwf_popupmenu.h"
#include "framework/ui/qwf_static.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/windows/auto_layout_model.h"
#include "plugin/windows/knife_shape_files.h"
#include "plugin/windows/shape_library.h"
#include "plugin/windows/wnd_autolayout.h"
#include "plugin/windows/wnd_custommutations.h"
#include "plugin/windows/wnd_shapename.h"

namespace {
constexpr const char* kShapeFilter = "Quarrow. Jigcrafter Knife Shape (.qwjh)";
constexpr const char* kGroup = "Cutter";
constexpr uint32_t kNodeColour = 0xFFFFFFFFu;
constexpr uint32_t kBoxColour = 0x5A0C8706u;     // the box and handles
constexpr uint32_t kGuideColour = 0xC80000B4u;   // the two ends of the edge when zoomed
constexpr uint32_t kBandFill = 0x40F28C28u;
constexpr uint32_t kBandEdge = 0xFFF28C28u;
constexpr int kMenuSaveShape = 32, kMenuSaveEps = 33, kMenuSaveAi = 34;

struct ShapeWrite {
    KnifeShape shape;
    CShapeMessageSink* messages;
    int kind;
};

bool WriteShape(CQWF_StdFile* file, void* context)
{
    auto* w = static_cast<ShapeWrite*>(context);
    if (!w || !file)
        return false;
    if (w->kind == kMenuSaveEps)
        return WriteKnifeShapeEPS(*file, w->shape, w->messages);
    if (w->kind == kMenuSaveAi)
        return WriteKnifeShapeAI(*file, w->shape, w->messages);
    return SaveKnifeShapeFile(*file, w->shape, w->messages);
}

// A rectangle's outline, one pixel wide, clipped by the layer.
void Outline(CQWF_Layer& layer, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t colour)
{
    if (r <= l || b <= t)
        return;
    layer.Fill(colour, 255, QWF_Rect{l, t, r, t + 1});
    layer.Fill(colour, 255, QWF_Rect{l, b - 1, r, b});
    layer.Fill(colour, 255, QWF_Rect{l, t, l + 1, b});
    layer.Fill(colour, 255, QWF_Rect{r - 1, t, r, b});
}

void Circle(CQWF_Layer& layer, double cx, double cy, double radius, uint32_t colour)
{
    const int steps = std::max(16, static_cast<int>(radius * 6.3));
    for (int i = 0; i < steps; ++i) {
        const double a = 6.283185307179586 * i / steps;
        const int32_t x = static_cast<int32_t>(std::lround(cx + radius * std::cos(a)));
        const int32_t y = static_cast<int32_t>(std::lround(cy + radius * std::sin(a)));
        layer.Fill(colour, 255, QWF_Rect{x, y, x + 1, y + 1});
    }
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Surroundings.

CQWF_Storage* CWnd_Cutter::Prefs() const
{
    CPluginMain* plugin = m_owner ? m_owner->GetPlugin() : nullptr;
    return plugin ? plugin->GetPreferences() : nullptr;
}

CQWF_String CWnd_Cutter::GetLibraryPath() const
{
    CPluginMain* plugin = m_owner ? m_owner->GetPlugin() : nullptr;
    CQWF_String path;
    if (!plugin)
        return path;
    path = plugin->GetDataFolder();
    if (path.GetLength() && path.GetBuffer()[path.GetLength() - 1] != '\\')
        path += '\\';
    path += "ckss.data";
    return path;
}

void CWnd_Cutter::ShowError(const char* text)
{
    m_host->ShowError(text, this);
}

void CWnd_Cutter::Beep()
{
    if (CQWF_App* app = CQWF_App::GetApp())
        app->Beep();
}

uint32_t CWnd_Cutter::PreviewMods(uint32_t flags) const
{
    return (flags & (QWF_MOD_SHIFT | QWF_MOD_CTRL)) | (GetModifierKeys() & (QWF_MOD_ALT | QWF_MOD_SPACE));
}

// ---------------------------------------------------------------------------------------------
// Mouse and keys of the shape.

bool CWnd_Cutter::OnMouseMove(int32_t x, int32_t y, uint32_t flags)
{
    ShowZoneHint(x, y);
    if (!m_cutting && x >= m_preview.left && y >= m_preview.top && (m_editor.IsDragging() ||
        (x < m_preview.right && y < m_preview.bottom)))
        m_editor.OnMouseMove(x - m_preview.left, y - m_preview.top, PreviewMods(flags));
    return CQWF_Window::OnMouseMove(x, y, flags);
}

bool CWnd_Cutter::OnLButtonDown(int32_t x, int32_t y, uint32_t flags)
{
    if (!m_cutting && x >= m_preview.left && y >= m_preview.top && x < m_preview.right &&
        y < m_preview.bottom) {
        m_editor.OnLButtonDown(x - m_preview.left, y - m_preview.top, PreviewMods(flags));
        return true;
    }
    return CQWF_Window::OnLButtonDown(x, y, flags);
}

bool CWnd_Cutter::OnLButtonUp(int32_t x, int32_t y, uint32_t flags)
{
    if (!m_cutting && m_editor.IsDragging()) {
        m_editor.OnLButtonUp(x - m_preview.left, y - m_preview.top, PreviewMods(flags));
        return true;
    }
    return CQWF_Window::OnLButtonUp(x, y, flags);
}

bool CWnd_Cutter::OnRButtonDown(int32_t x, int32_t y, uint32_t flags)
{
    if (!m_cutting && x >= m_preview.left && y >= m_preview.top && x < m_preview.right &&
        y < m_preview.bottom) {
        ShowNodeMenu(x, y);
        return true;
    }
    return CQWF_Window::OnRButtonDown(x, y, flags);
}

bool CWnd_Cutter::OnSetCursor(int32_t x, int32_t y)
{
    if (m_cutting || !(m_editor.IsDragging() || (x >= m_preview.left && y >= m_preview.top &&
                                                  x < m_preview.right && y < m_preview.bottom)))
        return CQWF_Window::OnSetCursor(x, y);
    SetCursor(m_editor.GetCursor(x - m_preview.left, y - m_preview.top, GetModifierKeys()));
    return true;
}

bool CWnd_Cutter::OnHoverControl(int32_t index)
{
    if (m_cutting || index == m_hoverIndex)
        return CQWF_Window::OnHoverControl(index);
    m_hoverIndex = index;
    const CQWF_Control* c = index >= 0 ? GetControl(index) : nullptr;
    if (c && (index == m_cCover || index == m_cAbort || index == m_cProgress))
        return CQWF_Window::OnHoverControl(index);
    const CQWF_String hint = m_host->GetHintText(c ? c->GetName() : "", "Cutter",
                                                 c && c->IsEnabled() ? 1 : 0, c ? c->GetKind() : 0);
    SetStatus(hint.GetBuffer());
    return CQWF_Window::OnHoverControl(index);
}

void CWnd_Cutter::ShowZoneHint(int32_t x, int32_t y)
{
    // Where no control is, the shape's area has a hint of its own, the rest the window's.
    if (m_cutting || GetHoverIndex() >= 0) {
        m_hoverZone = -1;
        return;
    }
    const int8_t zone = x >= m_preview.left && y >= m_preview.top && x < m_preview.right && y < m_preview.bottom;
    if (zone == m_hoverZone)
        return;
    m_hoverZone = zone;
    SetStatus(m_host->GetHintText(zone ? "Zone_Preview" : "", "Cutter", 1, 0).GetBuffer());
}

void CWnd_Cutter::ShowNodeMenu(int32_t x, int32_t y)
{
    CQWF_PlatformPopupMenu menu;
    if (!menu.Create())
        return;
    NodeMenuItem items[CKnifeShapeEditor::kNodeMenuItems];
    m_editor.GetNodeMenu(items);
    for (const NodeMenuItem& it : items) {
        if (it.id == 0)
            menu.AddSeparator();
        else if (it.key)
            menu.AddItemWithKey(it.text, static_cast<uint16_t>(it.id), it.checked, !it.enabled, true,
                                it.shift, false, it.key);
        else
            menu.AddItem(it.text, static_cast<uint16_t>(it.id), it.checked, !it.enabled);
    }
    menu.Track(this, x, y, false);
}

// ---------------------------------------------------------------------------------------------
// Drawing the shape.

void CWnd_Cutter::RedrawKnife()
{
    if (m_knifeLayer.IsEmpty())
        return;
    uint8_t* alpha = m_knifeLayer.GetPlane(3);
    const int32_t w = m_knifeLayer.GetWidth();
    const int32_t h = m_knifeLayer.GetHeight();
    std::memset(alpha, 0, static_cast<size_t>(w) * static_cast<size_t>(h));
    CQWF_ImageDrawing d;
    d.SetTarget(alpha, w, w, h);
    d.m_antiAlias = 1;
    d.m_value = 255;
    const int zoom = m_editor.GetZoom();
    const double width = zoom == 0 ? 1.5 : (zoom == 1 ? 1.2 : 1.0);
    const int64_t n = m_editor.GetCurvePointCount();
    if (n >= 2 && m_editor.IsCurveValid()) {
        d.DrawPolyline(m_editor.GetCurvePoints(), n, width, 1, 1, 1, zoom == 0 ? 4.0 : (zoom == 1 ? 2.0 : 1.0));
    } else if (m_editor.IsCurveValid()) {
        const QWF_DPoint a = m_editor.GetEdgeStart();
        const QWF_DPoint b = m_editor.GetEdgeEnd();
        d.DrawSegment(a.x, a.y, b.x, b.y, width, 1, 1, 1);
    }
    if (m_editor.IsCurveValid())
        DrawOverlayLayer();
    InvalidateRect(m_preview.left, m_preview.top, m_preview.right, m_preview.bottom);
    Redraw(m_preview);
}

void CWnd_Cutter::DrawOverlayLayer()
{
    if (m_overlayLayer.IsEmpty())
        return;
    m_overlayLayer.Fill(0);
    m_overlayLayer.SetVisible(m_editor.GetShowExtras() ? 1 : 0);
    const int32_t w = m_overlayLayer.GetWidth();
    if (m_editor.GetZoom() != 0) {
        m_overlayLayer.Fill(kGuideColour, 255, QWF_Rect{0, m_editor.GetEdgeTop(), w, m_editor.GetEdgeTop() + 1});
        m_overlayLayer.Fill(kGuideColour, 255,
                            QWF_Rect{0, m_editor.GetEdgeBottom(), w, m_editor.GetEdgeBottom() + 1});
    }
    if (m_editor.GetShowAnchors()) {
        for (int i = 0; i < m_editor.GetNodeCount(); ++i) {
            const ShapeRect r = m_editor.GetNodeSquare(i);
            if (m_editor.GetShape().selected[i])
                m_overlayLayer.Fill(kNodeColour, 255, QWF_Rect{r.left, r.top, r.right, r.bottom});
            else
                Outline(m_overlayLayer, r.left, r.top, r.right, r.bottom, kNodeColour);
        }
    }
    if (m_editor.IsRotating()) {
        const QWF_DPoint c = m_editor.GetRotationCentre();
        const double radius = m_editor.GetRotationRadius();
        Circle(m_overlayLayer, c.x, c.y, radius, kBoxColour | 0xFF000000u);
        Circle(m_overlayLayer, c.x, c.y, radius - 8, kBoxColour);
        Circle(m_overlayLayer, c.x, c.y, 4, kBoxColour | 0xFF000000u);
        const int32_t cx = static_cast<int32_t>(std::lround(c.x));
        const int32_t cy = static_cast<int32_t>(std::lround(c.y));
        m_overlayLayer.Fill(kBoxColour | 0xFF000000u, 255, QWF_Rect{cx - 6, cy, cx + 7, cy + 1});
        m_overlayLayer.Fill(kBoxColour | 0xFF000000u, 255, QWF_Rect{cx, cy - 6, cx + 1, cy + 7});
        const QWF_DPoint hnd = m_editor.GetRotationHandle();
        const int32_t hx = static_cast<int32_t>(std::lround(hnd.x));
        const int32_t hy = static_cast<int32_t>(std::lround(hnd.y));
        m_overlayLayer.Fill(kBoxColour | 0xFF000000u, 255, QWF_Rect{hx - 3, hy - 3, hx + 4, hy + 4});
    } else if (m_editor.HasSelectionBox() && m_editor.GetSelectedCount() >= 2) {
        const ShapeRect b = m_editor.GetSelectionBox();
        Outline(m_overlayLayer, b.left, b.top, b.right, b.bottom, kBoxColour);
        for (int i = 0; i < CKnifeShapeEditor::kHandleCount; ++i) {
            if (!m_editor.IsHandleShown(i))
                continue;
            const ShapeRect r = m_editor.GetHandle(i);
            m_overlayLayer.Fill(kBoxColour, 255, QWF_Rect{r.left, r.top, r.right, r.bottom});
        }
    }
    if (m_editor.IsRubberBand()) {
        const ShapeRect r = m_editor.GetRubberBand();
        m_overlayLayer.Fill(kBandFill, 255, QWF_Rect{r.left, r.top, r.right, r.bottom});
        Outline(m_overlayLayer, r.left, r.top, r.right, r.bottom, kBandEdge);
    }
}

void CWnd_Cutter::RedrawOverlay(bool immediate)
{
    DrawOverlayLayer();
    if (immediate) {
        m_overlayLayer.SetVisible(1);
        InvalidateRect(m_preview.left, m_preview.top, m_preview.right, m_preview.bottom);
        Redraw(m_preview);
    } else {
        InvalidateRect(m_preview.left, m_preview.top, m_preview.right, m_preview.bottom);
    }
}

void CWnd_Cutter::ShowSmoothness(const SmoothnessDisplay& display)
{
    if (!m_created)
        return;
    m_updating = true;
    SetSlider(m_sSmooth, display.value);
    if (display.mixed)
        SetEdit(m_eSmooth, " ???");
    else
        SetEditNumber(m_eSmooth, display.value);
    Enable(m_sSmooth, display.enabled);
    Enable(m_eSmooth, display.enabled);
    m_updating = false;
}

void CWnd_Cutter::EnableUndoRedo(bool undo, bool redo)
{
    Enable(m_cUndo, undo);
    Enable(m_cRedo, redo);
}

void CWnd_Cutter::EnableReClone(bool enabled)
{
    Enable(m_cReClone, enabled);
}

void CWnd_Cutter::ShowCloningText(const char* text)
{
    if (CQWF_Control* c = GetControl(m_tClone))
        static_cast<CQWF_CtrlStaticText*>(c)->SetText(text ? text : "");
}

// ---------------------------------------------------------------------------------------------
// Menus of the buttons.

void CWnd_Cutter::ShowHelpMenu()
{
    CQWF_PlatformPopupMenu menu;
    if (!menu.Create())
        return;
    m_host->BuildHelpMenu(menu);
    menu.Track(this, 328, 30, true);
}

void CWnd_Cutter::ShowSaveMenu()
{
    CQWF_PlatformPopupMenu menu;
    if (!menu.Create())
        return;
    menu.AddItem("Save as Quarrow. Knife Shape 2.0...", kMenuSaveShape, false, false);
    menu.AddSeparator();
    menu.AddItem("Export as Encapsulated PostScript (.eps)...", kMenuSaveEps, false, false);
    menu.AddItem("Export as Adobe Illustrator (.ai)...", kMenuSaveAi, false, false);
    menu.Track(this, 300, 109, true);
}

void CWnd_Cutter::ShowCloningMenu()
{
    CQWF_PlatformPopupMenu menu;
    if (!menu.Create())
        return;
    const int32_t mode = m_editor.GetCloning().GetMode();
    auto item = [&](int32_t m) {
        menu.AddItem(CShapeCloning::GetMenuText(m), static_cast<uint16_t>(CShapeCloning::kMenuFirst + m),
                     mode == m, false);
    };
    item(CShapeCloning::kNoCloning);
    menu.AddSeparator();
    item(CShapeCloning::kWithoutMutation);
    menu.AddSeparator();
    for (int32_t m = CShapeCloning::kLow; m <= CShapeCloning::kExtreme; ++m)
        item(m);
    menu.AddSeparator();
    item(CShapeCloning::kCustom);
    menu.Track(this, 77, 384, true);
}

bool CWnd_Cutter::OnMenuCommand(int id)
{
    if (m_host->OnHelpCommand(id, this))
        return true;
    if (id == CShapeCloning::kMenuFirst + CShapeCloning::kCustom) {
        RunCustomMutations();
        return true;
    }
    if (m_editor.ChooseCloningMenu(id))
        return true;
    if (id == kMenuSaveShape || id == kMenuSaveEps || id == kMenuSaveAi) {
        SaveShapeAs(id);
        return true;
    }
    return m_editor.RunNodeCommand(id);
}

// ---------------------------------------------------------------------------------------------
// Shape files.

void CWnd_Cutter::SaveShapeAs(int id)
{
    ShapeWrite write{m_editor.GetShape(), this, id};
    CQWF_PlatformFileDialog dialog;
    dialog.SetTitle("Save Knife Shape As...");
    uint32_t type = 0x51576A68;  // 'QWjh'
    if (id == kMenuSaveEps) {
        dialog.AddFilter("Encapsulated PostScript (.eps)", "eps");
        dialog.SetFileName("Untitled.eps");
        type = 0x45505346;
    } else if (id == kMenuSaveAi) {
        dialog.AddFilter("Adobe Illustrator (.ai)", "ai");
        dialog.SetFileName("Untitled.ai");
        type = 0x41492020;
    } else {
        dialog.AddFilter(kShapeFilter, "qwjh");
        dialog.SetFileName("Untitled.qwjh");
        dialog.SetInitialDirToModule("shapes");
    }
    dialog.Save(&WriteShape, &write, this, type);
}

void CWnd_Cutter::LoadShapeFile()
{
    CQWF_PlatformFileDialog dialog;
    dialog.SetTitle("Load Knife Shape...");
    dialog.AddFilter(kShapeFilter, "qwjh");
    dialog.SetInitialDirToModule("shapes");
    if (!dialog.Open(this, 0x51576A68))
        return;
    CQWF_StdFile file;
    if (!dialog.OpenChosenFile(file, CQWF_StdFile::kModeRead)) {
        ShowError(shape_text::kReadError);
        return;
    }
    KnifeShape shape{};
    const bool loaded = LoadKnifeShapeFile(file, shape, this);
    file.Close();
    if (loaded)
        SetShape(shape, true);
}

// ---------------------------------------------------------------------------------------------
// The presets library.

void CWnd_Cutter::SetShape(const KnifeShape& shape, bool clone)
{
    m_editor.SetShape(shape, clone);
    m_editor.ShowSmoothness();
}

void CWnd_Cutter::RunPresetsManager()
{
    CWnd_PresetsManager manager(m_host, this);
    const CQWF_String path = GetLibraryPath();
    manager.SetLibraryPath(path.GetBuffer());
    if (manager.Run(this) < 0)
        SetStatus("The presets manager could not be opened.");
}

void CWnd_Cutter::AddShapeToPresets()
{
    CWnd_ShapeName naming(m_host);
    naming.SetName("");
    naming.SetPositionGroup(kGroup);
    if (naming.Run(this) != CDialogWindow::kOk)
        return;
    // A failure is reported by the library.
    AppendCustomShape(GetLibraryPath(), naming.GetName(), m_editor.GetShape(), this);
}

// ---------------------------------------------------------------------------------------------
// Cloning and the auto layout.

void CWnd_Cutter::RunCustomMutations()
{
    CWnd_CustomMutations dialog(m_host);
    CQWF_Storage* prefs = Prefs();
    dialog.Model().LoadSettings(prefs);
    if (dialog.Run(this) != CDialogWindow::kOk)
        return;
    const CCustomMutationsModel& m = dialog.Model();
    m_editor.ApplyCustomMutations(m.GetAmount(CCustomMutationsModel::kS), m.GetAmount(CCustomMutationsModel::kU),
                                  m.GetAmount(CCustomMutationsModel::kH), prefs);
}

void CWnd_Cutter::RunAutoLayout()
{
    if (!m_owner)
        return;
    CWnd_AutoLayout dialog(m_host);
    CQWF_Storage* prefs = Prefs();
    dialog.Model().LoadSettings(prefs);
    if (dialog.Run(this) != CDialogWindow::kOk)
        return;
    CLayoutAutoBuilder builder(m_owner->GetLayout());
    if (!dialog.Model().Apply(prefs, &builder)) {
        SetStatus("The layout could not be built.");
        return;
    }
    CLayoutModel& layout = m_owner->GetLayout();
    ShowRows(layout.GetYLineCount() + 1);
    ShowColumns(layout.GetXLineCount() + 1);
}
