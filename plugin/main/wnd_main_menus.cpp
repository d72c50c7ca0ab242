// The pop-up menus the main window builds itself: Main, Select and Adjust under their buttons,
// the preview pop-up (with the knives, knot or piece under the pointer), the splitter rulers'
// pop-ups and the units pop-up. The chosen item comes back as a menu notification.
#include "framework/ui/qwf_popupmenu.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/main_menu_items.h"
#include "plugin/main/wnd_main.h"

#include <cmath>

namespace {
// One menu under construction; a menu the platform cannot make is simply not shown.
class Menu {
public:
    Menu() { m_ok = m_menu.Create(); }
    void Item(const char* text, uint16_t id, bool greyed = false, bool checked = false)
    {
        if (m_ok)
            m_menu.AddItem(text, id, checked, greyed);
    }
    void Key(const char* text, uint16_t id, bool greyed, bool ctrl, bool shift, bool alt,
             const char* key, bool checked = false)
    {
        if (m_ok)
            m_menu.AddItemWithKey(text, id, checked, greyed, ctrl, shift, alt, key);
    }
    void Separator()
    {
        if (m_ok)
            m_menu.AddSeparator();
    }
    void Show(CQWF_Window* w, int32_t x, int32_t y, bool left)
    {
        if (m_ok)
            m_menu.Track(w, x, y, left);
    }

private:
    CQWF_PlatformPopupMenu m_menu;
    bool m_ok = false;
};

// The nine effect-enabling items and Invert, checked by the mask's bits.
void AddEnableItems(Menu& m, uint32_t mask, bool rgb, bool overlay)
{
    m.Item("Enable Bevel", qwmenu::kEnableBevel, false, (mask & kFxBevel) != 0);
    m.Item("Enable Hue/Saturation", qwmenu::kEnableHueSaturation, !rgb, (mask & kFxHsl) != 0);
    m.Item("Enable Brightness/Contrast", qwmenu::kEnableBrightnessContrast, false, (mask & kFxBrightContrast) != 0);
    m.Item("Enable Gaussian Blur", qwmenu::kEnableGaussianBlur, false, (mask & kFxBlur) != 0);
    m.Item("Enable Motion Blur", qwmenu::kEnableMotionBlur, false, (mask & kFxMotionBlur) != 0);
    m.Item("Enable Opacity", qwmenu::kEnableOpacity, false, (mask & kFxOpacity) != 0);
    m.Item("Enable Color Overlay", qwmenu::kEnableColourOverlay, false, (mask & kFxColourOverlay) != 0);
    m.Item("Enable Image Overlay", qwmenu::kEnableImageOverlay, !overlay, (mask & kFxImageOverlay) != 0);
    m.Item("Enable Stroke", qwmenu::kEnableStroke, false, (mask & kFxStroke) != 0);
    m.Separator();
    m.Key("Invert", qwmenu::kInvert, false, true, false, false, "I", (mask & kFxInvert) != 0);
}
}  // namespace

void CWnd_Main::ShowMainMenu(int which)
{
    // Their buttons are disabled while an effect window is open.
    if (m_effectOpen)
        return;
    const bool layout = m_mode == kLayoutMode;
    Menu m;
    if (which == 0) {
        const bool noUndo = layout ? m_layout.IsUndoEmpty() : !m_pieces->GetUndo().HasState();
        m.Key("Undo", qwmenu::kUndo, noUndo, true, false, false, "Z");
        m.Separator();
        m.Key("Save...", qwmenu::kSave, false, true, false, false, "S");
        m.Key("Load...", qwmenu::kLoad, false, true, false, false, "L");
        m.Separator();
        m.Key("Export...", qwmenu::kExport, false, true, true, false, "S");
        m.Separator();
        m.Item("Relayout...", qwmenu::kRelayout, layout);
        m.Separator();
        if (layout)
            m.Item("Apply (Draw Splitter)", qwmenu::kApplySplitter);
        else
            m.Item("Apply", qwmenu::kApply);
        m.Item("Cancel", qwmenu::kCancel);
        m.Separator();
        m.Item("Preferences...", qwmenu::kPreferences);
        {
        int32_t x = 422, y = 30;
        MenuPlace("Main_Main", x, y);
        m.Show(this, x, y, true);
    }
        return;
    }
    if (which == 1) {
        const int state = layout ? m_layout.GetKnivesSelectionState() : m_pieces->GetPiecesFlagState();
        const bool all = state == 1, none = state == 0;
        m.Key(layout ? "Select All Knives" : "Select All Pieces", qwmenu::kSelectAll, all, true, false, false, "A");
        m.Key(layout ? "Deselect Knives" : "Deselect Pieces", qwmenu::kDeselect, none, true, false, false, "D");
        m.Key("Inverse Selection", qwmenu::kInverseSelection, false, true, true, false, "I");
        m.Separator();
        m.Item(layout ? "Select All Hidden Knives" : "Select All Hidden Pieces", qwmenu::kSelectHidden);
        m.Item(layout ? "Select All Shown Knives" : "Select All Shown Pieces", qwmenu::kSelectShown);
        m.Separator();
        if (layout) {
            m.Item("Select All Columns Splitters", qwmenu::kSelectColumnKnives);
            m.Item("Select All Rows Splitters", qwmenu::kSelectRowKnives);
            m.Key("Select All Extra Knives", qwmenu::kSelectExtraKnives, m_layout.GetExtraKnifeCount() == 0, true, false,
                  true, "A");
            m.Separator();
        }
        m.Key(layout ? "Add Randomly Selected Knives" : "Add Randomly Selected Pieces", qwmenu::kAddRandom, all,
              true, false, false, "[");
        m.Key(layout ? "Deselect Random Knives" : "Deselect Random Pieces", qwmenu::kDeselectRandom, none, true, false,
              false, "]");
        m.Separator();
        if (!layout) {
            const bool razor = m_plugin->GetEngine().GetRazorCut();
            m.Key("Add Splitter to Selection", qwmenu::kAddSplitter, razor, true, false, false, "P");
            m.Key("Deselect Splitter", qwmenu::kDeselectSplitter, razor, true, false, true, "P");
            m.Separator();
        }
        m.Item("Load Selection...", qwmenu::kLoadSelection);
        if (!layout) {
            m.Separator();
            m.Key("Show Extras", qwmenu::kShowExtras, false, true, false, false, "H", m_pieces->GetShowExtras());
        }
        {
        int32_t x = 484, y = 30;
        MenuPlace("Main_Select", x, y);
        m.Show(this, x, y, true);
    }
        return;
    }
    auto disabled = [this](const char* name) {
        const CQWF_Control* c = GetControl(Find(name, QWF_CTRL_BUTTON));
        return !c || !c->IsEnabled();
    };
    if (layout) {
        m.Item("Turn ON (Show) Knives", qwmenu::kShow, disabled("Main_Show"));
        m.Item("Turn OFF (Hide) Knives", qwmenu::kHide, disabled("Main_Hide"));
        m.Item("Reverse On<->Off", qwmenu::kReverseShowHide);
        m.Separator();
        m.Item("Add Extra Knife", qwmenu::kAddExtraKnife, disabled("Main_AddKnives"));
        m.Item("Delete Extra Knife", qwmenu::kDeleteExtraKnife, disabled("Main_DelKnives"));
        m.Separator();
        m.Key("Copy Knife", qwmenu::kCopy, false, true, false, false, "C");
        m.Key("Paste Knife", qwmenu::kPaste, m_layout.IsClipboardEmpty(), true, false, false, "V");
        m.Separator();
        m.Item("Equalize Knobs Size", qwmenu::kEqualizeKnobs, !m_layout.CanEqualizeKnobs(true));
        m.Separator();
        m.Key("Flip H", qwmenu::kFlipH, false, true, false, false, "F");
        m.Key("Flip U", qwmenu::kFlipU, false, true, true, false, "F");
        m.Key("Flip HU", qwmenu::kFlipHU, false, true, true, true, "F");
        m.Separator();
        const bool extra = m_layout.GetFlag(CLayoutModel::kFlagExtraOnly) != 0;
        m.Item("Flip H (Interleaved)", qwmenu::kFlipHInterleaved, extra);
        m.Item("Flip U (Interleaved)", qwmenu::kFlipUInterleaved, extra);
        m.Item("Flip HU (Interleaved)", qwmenu::kFlipHUInterleaved, extra);
        m.Separator();
        m.Item("Flip H (Non-Interleaved)", qwmenu::kFlipHNonInterleaved, extra);
        m.Item("Flip U (Non-Interleaved)", qwmenu::kFlipUNonInterleaved, extra);
        m.Item("Flip HU (Non-Interleaved)", qwmenu::kFlipHUNonInterleaved, extra);
        m.Separator();
        m.Key("Flip H (Random)", qwmenu::kFlipHRandom, false, true, false, false, "M");
        m.Key("Flip U (Random)", qwmenu::kFlipURandom, false, true, true, false, "M");
        m.Key("Flip HU (Random)", qwmenu::kFlipHURandom, false, true, true, true, "M");
        {
        int32_t x = 559, y = 30;
        MenuPlace("Main_Adjust", x, y);
        m.Show(this, x, y, true);
    }
        return;
    }
    m_effectMask = -1;
    const uint32_t mask = SelectedEffectMask();
    const bool rgb = m_plugin->GetHostInfo()->layout == 1;
    const bool overlay = ImageOverlayOffered();
    m.Item("Turn ON (Show) Pieces", qwmenu::kShow, (mask & kFxSomeHidden) == 0);
    m.Item("Turn OFF (Hide) Pieces", qwmenu::kHide, (mask & kFxSomeShown) == 0);
    m.Separator();
    m.Item("Reverse On<->Off", qwmenu::kReverseShowHide);
    m.Separator();
    m.Key("Copy Effects", qwmenu::kCopy, false, true, false, false, "C");
    m.Key("Paste Effects", qwmenu::kPaste, !m_pieces->HasCopiedEffects(), true, false, false, "V");
    m.Separator();
    m.Item("Reset Effects", qwmenu::kResetEffects);
    m.Separator();
    m.Key("Bevel...", qwmenu::kBevel, false, true, false, false, "B");
    m.Key("Hue/Saturation...", qwmenu::kHueSaturation, !rgb, true, false, false, "U");
    m.Key("Brightness/Contrast...", qwmenu::kBrightnessContrast, false, true, true, false, "U");
    m.Key("Gaussian Blur...", qwmenu::kGaussianBlur, false, true, false, false, "R");
    m.Key("Motion Blur...", qwmenu::kMotionBlur, false, true, true, false, "R");
    m.Key("Opacity...", qwmenu::kOpacity, false, true, false, false, "O");
    m.Key("Color Overlay...", qwmenu::kColourOverlay, false, true, false, false, "E");
    m.Key("Image Overlay...", qwmenu::kImageOverlay, !overlay, true, true, false, "O");
    m.Key("Stroke...", qwmenu::kStroke, false, true, true, false, "E");
    m.Separator();
    AddEnableItems(m, mask, rgb, overlay);
    {
        int32_t x = 559, y = 30;
        MenuPlace("Main_Adjust", x, y);
        m.Show(this, x, y, true);
    }
}

void CWnd_Main::ShowContextMenu(int32_t x, int32_t y, bool fixedPlace)
{
    const bool layout = m_mode == kLayoutMode;
    const bool fx = m_effectOpen != 0;
    m_menuKnives.RemoveAll();
    m_menuKnot = -1;
    m_contextPiece = -1;
    Menu m;
    const int32_t px = x - m_previewRect.left;
    const int32_t py = y - m_previewRect.top;
    if (!fixedPlace && layout) {
        bool added = false;
        if (m_layout.CollectKnivesAt(px, py, m_menuKnives)) {
            bool allSel = true, anySel = false, anyHidden = false, anyShown = false, extra = false;
            for (size_t i = 0; i < m_menuKnives.GetCount(); ++i) {
                const uint32_t id = m_menuKnives.GetAt(i);
                const KnifeRecord* k = m_layout.GetKnifeById(id);
                if (!k)
                    continue;
                allSel = allSel && k->selected;
                anySel = anySel || k->selected;
                anyHidden = anyHidden || k->hidden;
                anyShown = anyShown || !k->hidden;
                extra = extra || id >= static_cast<uint32_t>(kKnifeIdExtra);
            }
            m.Item("Add to Selection", qwmenu::kKnivesSelect, allSel);
            m.Item("Deselect", qwmenu::kKnivesDeselect, !anySel);
            m.Item("Flip H", qwmenu::kKnivesFlipH);
            m.Item("Flip U", qwmenu::kKnivesFlipU);
            m.Item("Flip HU", qwmenu::kKnivesFlipHU);
            m.Item("On", qwmenu::kKnivesOn, !anyHidden);
            m.Item("Off", qwmenu::kKnivesOff, !anyShown);
            m.Item("Delete", qwmenu::kKnivesDelete, !extra);
            m.Item("Copy Knife", qwmenu::kKnifeCopy, m_menuKnives.GetCount() != 1);
            m.Item("Paste Knife", qwmenu::kKnifePaste, m_layout.IsClipboardEmpty());
            added = true;
        }
        if (m_layout.GetKnotsShown()) {
            const KnotHit* hits = m_layout.GetKnotHits();
            for (size_t i = 0; i < m_layout.GetKnotHitCount(); ++i) {
                const KnotHit& h = hits[i];
                if (h.left <= px && px <= h.right && h.top <= py && py <= h.bottom) {
                    m_menuKnot = h.knot;
                    break;
                }
            }
        }
        if (m_menuKnot >= 0) {
            if (added)
                m.Separator();
            m.Item("Reset Knot Position", qwmenu::kResetKnot);
            added = true;
        }
        if (added)
            m.Separator();
    } else if (!fixedPlace && !fx && m_pieces) {
        const CQWF_CtrlPreview::Point ip = m_preview.WindowToImage(px, py);
        m_contextPiece = m_pieces->PieceAtPoint(ip.x, ip.y);
        if (m_contextPiece >= 0) {
            const JigPiece* p = m_plugin->GetEngine().GetPiece(m_contextPiece);
            const uint32_t mask = m_pieces->GetPieceEffectFlags(m_contextPiece);
            if (p->selected)
                m.Item("Deselect", qwmenu::kPieceDeselect);
            else
                m.Item("Add to Selection", qwmenu::kPieceSelect);
            if (p->shown)
                m.Item("Hide", qwmenu::kPieceHide);
            else
                m.Item("Show", qwmenu::kPieceShow);
            m.Separator();
            m.Item("Copy Effects", qwmenu::kPieceCopyEffects);
            m.Item("Paste Effects", qwmenu::kPiecePasteEffects, !m_pieces->HasCopiedEffects());
            m.Separator();
            AddEnableItems(m, mask, m_plugin->GetHostInfo()->layout == 1, ImageOverlayOffered());
            m.Separator();
        }
    }
    m.Key("Actual Pixels", qwmenu::kActualPixels, false, true, false, true, "0");
    m.Key("Fit on Preview", qwmenu::kFitOnPreview, false, true, false, false, "0");
    m.Key("Zoom In", qwmenu::kZoomIn, false, true, false, false, "+");
    m.Key("Zoom Out", qwmenu::kZoomOut, false, true, false, false, "-");
    if (!fx) {
        const int state = layout ? m_layout.GetKnivesSelectionState() : m_pieces->GetPiecesFlagState();
        m.Separator();
        m.Key(layout ? "Select All Knives" : "Select All Pieces", qwmenu::kSelectAll, state == 1, true, false, false, "A");
        m.Key(layout ? "Deselect Knives" : "Deselect Pieces", qwmenu::kDeselect, state == 0, true, false, false, "D");
        m.Key("Inverse Selection", qwmenu::kInverseSelection, false, true, false, true, "I");
        if (!layout) {
            const bool razor = m_plugin->GetEngine().GetRazorCut();
            m.Key("Add Splitter to Selection", qwmenu::kAddSplitter, razor, true, false, false, "P");
            m.Key("Deselect Splitter", qwmenu::kDeselectSplitter, razor, true, false, true, "P");
        }
        m.Key(layout ? "Add Randomly Selected Knives" : "Add Randomly Selected Pieces", qwmenu::kAddRandom,
              state == 1, true, false, false, "[");
        m.Key(layout ? "Deselect Random Knives" : "Deselect Random Pieces", qwmenu::kDeselectRandom, state == 0, true,
              false, false, "]");
        if (!layout) {
            m.Separator();
            m.Key("Show Extras", qwmenu::kShowExtras, false, true, false, false, "H", m_pieces->GetShowExtras());
        }
    }
    m.Show(this, x, y, fixedPlace);
}

bool CWnd_Main::ShowRulerMenu(int32_t x, int32_t y)
{
    if (m_mode != kLayoutMode || !m_mouse)
        return false;
    const bool top = x >= m_hRulerRect.left && x < m_hRulerRect.right && y >= m_hRulerRect.top &&
                     y < m_hRulerRect.bottom;
    const bool left = x >= m_vRulerRect.left && x < m_vRulerRect.right &&
                      y >= m_vRulerRect.top && y < m_vRulerRect.bottom;
    if (!top && !left)
        return false;
    UpdateMouseGeometry();
    m_menuLineHorizontal = left;
    m_menuLine = -1;
    const int32_t px = x - m_previewRect.left;
    const int32_t py = y - m_previewRect.top;
    const RulerMarker* marks = m_mouse->GetMarkers(top);
    for (size_t i = 0; i < m_mouse->GetMarkerCount(top); ++i) {
        const int32_t d = top ? std::abs(marks[i].x - px) : std::abs(marks[i].y - py);
        if (d <= 3) {
            m_menuLine = marks[i].line;
            break;
        }
    }
    // The point the ruler stands for: across the picture's middle on the other axis.
    const LayoutView& v = m_layout.GetView();
    m_menuX = top ? px : static_cast<int32_t>((v.previewL + v.previewR) / 2);
    m_menuY = top ? static_cast<int32_t>((v.previewT + v.previewB) / 2) : py;
    Menu m;
    if (m_menuLine >= 0) {
        m.Item("Center", qwmenu::kCenterLine);
        m.Separator();
        m.Item("Select", qwmenu::kSelectLine);
        m.Item("Deselect", qwmenu::kDeselectLine);
        m.Separator();
        m.Item("Delete", qwmenu::kDeleteLine);
    } else {
        const int lines = left ? m_layout.GetYLineCount() : m_layout.GetXLineCount();
        m.Item("Arrange", qwmenu::kArrangeLines, lines == 0);
        m.Item("Insert", qwmenu::kInsertLine, !m_layout.CanInsertGridLine(top, m_menuX, m_menuY));
    }
    m.Show(this, x, y, false);
    return true;
}

void CWnd_Main::ShowUnitsMenu(int32_t x, int32_t y)
{
    static const char* const names[5] = {"Pixels", "Inches", "Centimeters", "Millimeters",
                                         "Percent"};
    Menu m;
    for (int i = 0; i < 5; ++i)
        m.Item(names[i], static_cast<uint16_t>(qwmenu::kPixels + i), false, m_units == i + 1);
    m.Show(this, x, y, false);
}

void CWnd_Main::MenuPlace(const char* button, int32_t& x, int32_t& y) const
{
    CQWF_Control* c = GetControl(Find(button, QWF_CTRL_BUTTON));
    if (!c)
        return;
    const QWF_Rect r = c->GetRect();
    x = r.left;
    y = r.bottom;
}
