// The main window's menu items: the table from each item id (qwmenu, main_menu_items.h) to the
// operation that runs it, and those operations. An item of one mode does nothing in the other;
// items that change pieces, open windows or end the run are refused while an effect window is
// open. Several items are forwarded: to a keyboard command, or as a press of the button that
// does the same, so that each action has one implementation.
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/main_commands.h"  // made from skin/accelerators.skin
#include "plugin/main/main_menu_items.h"
#include "plugin/main/wnd_main.h"

using namespace qwmenu;

namespace {
// The effect windows' items as the keyboard commands that open them.
int32_t CommandOfEffectItem(uint16_t id)
{
    switch (id) {
    case kBevel: return qwcmd::kBevel;
    case kGaussianBlur: return qwcmd::kGaussianBlur;
    case kMotionBlur: return qwcmd::kMotionBlur;
    case kOpacity: return qwcmd::kOpacity;
    case kHueSaturation: return qwcmd::kHueSaturation;
    case kBrightnessContrast: return qwcmd::kBrightnessContrast;
    case kColourOverlay: return qwcmd::kColourOverlay;
    case kStroke: return qwcmd::kStroke;
    case kImageOverlay: return qwcmd::kImageOverlay;
    default: return -1;
    }
}

// The effect-enabling check items (and Invert) as effect types.
int TypeOfEnableItem(uint16_t id)
{
    switch (id) {
    case kEnableBevel: return kEffectBevel;
    case kEnableGaussianBlur: return kEffectBlur;
    case kEnableMotionBlur: return kEffectMotionBlur;
    case kEnableOpacity: return kEffectOpacity;
    case kEnableHueSaturation: return kEffectHsl;
    case kEnableBrightnessContrast: return kEffectBrightContrast;
    case kEnableColourOverlay: return kEffectColourOverlay;
    case kEnableStroke: return kEffectStroke;
    case kEnableImageOverlay: return kEffectImageOverlay;
    case kInvert: return kEffectInvert;
    default: return -1;
    }
}
}  // namespace

const CWnd_Main::MenuItemRoute CWnd_Main::kMenuItems[] = {
    {kPixels, &CWnd_Main::ItemUnits},
    {kInches, &CWnd_Main::ItemUnits},
    {kCentimetres, &CWnd_Main::ItemUnits},
    {kMillimetres, &CWnd_Main::ItemUnits},
    {kPercent, &CWnd_Main::ItemUnits},

    {kSelectAll, &CWnd_Main::ItemSelectAll},
    {kDeselect, &CWnd_Main::ItemSelectAll},
    {kInverseSelection, &CWnd_Main::ItemInverseSelection},
    {kSelectHidden, &CWnd_Main::ItemSelectShown},
    {kSelectShown, &CWnd_Main::ItemSelectShown},
    {kSelectColumnKnives, &CWnd_Main::ItemSelectKnifeFamily},
    {kSelectRowKnives, &CWnd_Main::ItemSelectKnifeFamily},
    {kSelectExtraKnives, &CWnd_Main::ItemSelectKnifeFamily},
    {kLoadSelection, &CWnd_Main::ItemLoadSelection},
    {kAddRandom, &CWnd_Main::ItemSelectRandom},
    {kDeselectRandom, &CWnd_Main::ItemSelectRandom},
    {kAddSplitter, &CWnd_Main::ItemSelectSplitter},
    {kDeselectSplitter, &CWnd_Main::ItemSelectSplitter},
    {kShowExtras, &CWnd_Main::ItemShowExtras},

    {kActualPixels, &CWnd_Main::ItemZoom},
    {kFitOnPreview, &CWnd_Main::ItemZoom},
    {kZoomIn, &CWnd_Main::ItemZoom},
    {kZoomOut, &CWnd_Main::ItemZoom},

    {kArrangeLines, &CWnd_Main::ItemArrangeLines},
    {kCenterLine, &CWnd_Main::ItemArrangeLines},
    {kInsertLine, &CWnd_Main::ItemInsertLine},
    {kDeleteLine, &CWnd_Main::ItemDeleteLine},
    {kSelectLine, &CWnd_Main::ItemSelectLine},
    {kDeselectLine, &CWnd_Main::ItemSelectLine},

    {kUndo, &CWnd_Main::ItemUndo},
    {kPreferences, &CWnd_Main::ItemPreferences},
    {kSave, &CWnd_Main::ItemSave},
    {kCancel, &CWnd_Main::ItemCancel},
    {kApplySplitter, &CWnd_Main::ItemApply},
    {kApply, &CWnd_Main::ItemApply},
    {kLoad, &CWnd_Main::ItemLoad},
    {kExport, &CWnd_Main::ItemExport},
    {kRelayout, &CWnd_Main::ItemRelayout},

    {kShow, &CWnd_Main::ItemPressShowHide},
    {kHide, &CWnd_Main::ItemPressShowHide},
    {kReverseShowHide, &CWnd_Main::ItemPressShowHide},
    {kFlipH, &CWnd_Main::ItemFlip},
    {kFlipU, &CWnd_Main::ItemFlip},
    {kFlipHU, &CWnd_Main::ItemFlip},
    {kFlipHRandom, &CWnd_Main::ItemFlip},
    {kFlipURandom, &CWnd_Main::ItemFlip},
    {kFlipHURandom, &CWnd_Main::ItemFlip},
    {kFlipHInterleaved, &CWnd_Main::ItemFlip},
    {kFlipUInterleaved, &CWnd_Main::ItemFlip},
    {kFlipHUInterleaved, &CWnd_Main::ItemFlip},
    {kFlipHNonInterleaved, &CWnd_Main::ItemFlip},
    {kFlipUNonInterleaved, &CWnd_Main::ItemFlip},
    {kFlipHUNonInterleaved, &CWnd_Main::ItemFlip},
    {kCopy, &CWnd_Main::ItemCopy},
    {kPaste, &CWnd_Main::ItemPaste},

    {kBevel, &CWnd_Main::ItemEffectWindow},
    {kGaussianBlur, &CWnd_Main::ItemEffectWindow},
    {kMotionBlur, &CWnd_Main::ItemEffectWindow},
    {kOpacity, &CWnd_Main::ItemEffectWindow},
    {kHueSaturation, &CWnd_Main::ItemEffectWindow},
    {kBrightnessContrast, &CWnd_Main::ItemEffectWindow},
    {kColourOverlay, &CWnd_Main::ItemEffectWindow},
    {kStroke, &CWnd_Main::ItemEffectWindow},
    {kImageOverlay, &CWnd_Main::ItemEffectWindow},
    {kEnableBevel, &CWnd_Main::ItemEnableEffect},
    {kEnableGaussianBlur, &CWnd_Main::ItemEnableEffect},
    {kEnableMotionBlur, &CWnd_Main::ItemEnableEffect},
    {kEnableOpacity, &CWnd_Main::ItemEnableEffect},
    {kEnableHueSaturation, &CWnd_Main::ItemEnableEffect},
    {kEnableBrightnessContrast, &CWnd_Main::ItemEnableEffect},
    {kEnableColourOverlay, &CWnd_Main::ItemEnableEffect},
    {kEnableStroke, &CWnd_Main::ItemEnableEffect},
    {kEnableImageOverlay, &CWnd_Main::ItemEnableEffect},
    {kInvert, &CWnd_Main::ItemEnableEffect},
    {kResetEffects, &CWnd_Main::ItemResetEffects},

    {kKnivesSelect, &CWnd_Main::ItemKnivesSelect},
    {kKnivesDeselect, &CWnd_Main::ItemKnivesSelect},
    {kKnivesFlipH, &CWnd_Main::ItemKnivesFlip},
    {kKnivesFlipU, &CWnd_Main::ItemKnivesFlip},
    {kKnivesFlipHU, &CWnd_Main::ItemKnivesFlip},
    {kKnivesOn, &CWnd_Main::ItemKnivesShow},
    {kKnivesOff, &CWnd_Main::ItemKnivesShow},
    {kResetKnot, &CWnd_Main::ItemResetKnot},
    {kKnifeCopy, &CWnd_Main::ItemKnifeCopy},
    {kKnifePaste, &CWnd_Main::ItemKnifePaste},
    {kKnivesDelete, &CWnd_Main::ItemKnivesDelete},

    {kPieceSelect, &CWnd_Main::ItemPiece},
    {kPieceDeselect, &CWnd_Main::ItemPiece},
    {kPieceShow, &CWnd_Main::ItemPiece},
    {kPieceHide, &CWnd_Main::ItemPiece},
    {kPieceCopyEffects, &CWnd_Main::ItemPiece},
    {kPiecePasteEffects, &CWnd_Main::ItemPiece},

    {kAddExtraKnife, &CWnd_Main::ItemPressKnifeButton},
    {kDeleteExtraKnife, &CWnd_Main::ItemPressKnifeButton},
    {kEqualizeKnobs, &CWnd_Main::ItemEqualizeKnobs},
};

bool CWnd_Main::RunMenuItem(uint16_t id)
{
    for (const MenuItemRoute& item : kMenuItems)
        if (item.id == id)
            return (this->*item.run)(id);
    return false;
}

// ---------------------------------------------------------------------------------------------
// Units, selection and zoom.

bool CWnd_Main::ItemUnits(uint16_t id)
{
    // The items lie in the order of the unit codes. Lengths need a resolution: a picture
    // without one keeps its unit (one the host's rulers chose is measured at 72 pixels per
    // inch).
    const uint8_t units = static_cast<uint8_t>(kUnitPixels + (id - kPixels));
    const QWF_HostInfo* info = m_plugin ? m_plugin->GetHostInfo() : nullptr;
    const bool length = units >= QWF_UNITS_INCHES && units <= QWF_UNITS_MM;
    if (length && !(info && info->hResolution > 0 && info->vResolution > 0))
        return false;
    SetUnits(units);
    return true;
}

bool CWnd_Main::ItemSelectAll(uint16_t id)
{
    if (m_effectOpen)
        return false;
    const bool all = id == kSelectAll;
    if (m_mode == kLayoutMode) {
        KnifeFlagsChange([&] { m_layout.SelectKnives(all ? 1 : 0, true, true, true, true); });
        RedrawLayout();
    } else {
        PiecesChange([&] {
            if (all)
                m_pieces->SelectAllPieces(false);
            else
                m_pieces->DeselectAllPieces(false);
            m_pieces->SetRangeAnchor(-1);
            m_pieces->ShowExtras(true, false);
            RenderPreview();
        });
    }
    return true;
}

bool CWnd_Main::ItemInverseSelection(uint16_t)
{
    if (m_effectOpen)
        return false;
    if (m_mode == kLayoutMode) {
        KnifeFlagsChange([&] { m_layout.InvertKnivesSelection(true); });
        RedrawLayout();
    } else {
        PiecesChange([&] { m_pieces->InvertSelection(true); });
    }
    return true;
}

bool CWnd_Main::ItemSelectShown(uint16_t id)
{
    if (m_effectOpen)
        return false;
    const bool hidden = id == kSelectHidden;
    if (m_mode == kLayoutMode) {
        KnifeFlagsChange([&] { m_layout.SelectShownKnives(hidden, true); });
        RedrawLayout();
    } else {
        PiecesChange([&] { m_pieces->SelectShownPieces(hidden, true); });
    }
    return true;
}

bool CWnd_Main::ItemSelectKnifeFamily(uint16_t id)
{
    if (m_effectOpen || m_mode != kLayoutMode)
        return false;
    KnifeFlagsChange([&] {
        m_layout.SelectKnives(0, false, true, true, true);
        m_layout.SelectKnives(1, true, id == kSelectRowKnives, id == kSelectColumnKnives,
                              id == kSelectExtraKnives);
    });
    RedrawLayout();
    return true;
}

bool CWnd_Main::ItemLoadSelection(uint16_t)
{
    if (m_effectOpen)
        return false;
    if (m_mode == kLayoutMode)
        SelectKnivesByChannel();
    else
        SelectPiecesByChannel();
    return true;
}

bool CWnd_Main::ItemSelectRandom(uint16_t id)
{
    if (m_effectOpen)
        return false;
    const int value = id == kAddRandom ? 1 : 0;
    if (m_mode == kLayoutMode) {
        KnifeFlagsChange([&] { m_layout.SelectKnivesRandom(value, true); });
        RedrawLayout();
    } else {
        PiecesChange([&] { m_pieces->SelectRandom(value, true); });
    }
    return true;
}

bool CWnd_Main::ItemSelectSplitter(uint16_t id)
{
    if (m_effectOpen || m_mode == kLayoutMode)
        return false;
    PiecesChange([&] { m_pieces->SelectFirstPiece(id == kAddSplitter, true); });
    return true;
}

bool CWnd_Main::ItemShowExtras(uint16_t)
{
    ToggleExtras();
    return true;
}

bool CWnd_Main::ItemZoom(uint16_t id)
{
    switch (id) {
    case kActualPixels: return RunKeyCommand(qwcmd::kActualPixels);
    case kFitOnPreview: return RunKeyCommand(qwcmd::kFitOnPreview);
    case kZoomIn: return RunKeyCommand(qwcmd::kZoomIn);
    default: return RunKeyCommand(qwcmd::kZoomOut);
    }
}

// ---------------------------------------------------------------------------------------------
// The splitter rulers' grid lines.

bool CWnd_Main::ItemArrangeLines(uint16_t id)
{
    if (m_mode != kLayoutMode || (id == kCenterLine && m_menuLine < 0))
        return false;
    if (id == kArrangeLines)
        m_layout.DistributeGridLines(m_menuLineHorizontal, true);
    else
        m_layout.ArrangeGridLines(m_menuLineHorizontal, m_menuLine, true);
    RedrawLayout();
    return true;
}

bool CWnd_Main::ItemInsertLine(uint16_t)
{
    if (m_mode != kLayoutMode)
        return false;
    m_layout.RecordUndo(0, CLayoutModel::kFullLine);
    m_layout.InsertGridLine(!m_menuLineHorizontal, m_menuX, m_menuY);
    RedrawLayout();
    return true;
}

bool CWnd_Main::ItemDeleteLine(uint16_t)
{
    if (m_mode != kLayoutMode || m_menuLine < 0)
        return false;
    m_layout.RecordUndo(0, CLayoutModel::kFullLine);
    m_layout.DeleteGridLine(!m_menuLineHorizontal, m_menuLine);
    RedrawLayout();
    return true;
}

bool CWnd_Main::ItemSelectLine(uint16_t id)
{
    if (m_mode != kLayoutMode || m_menuLine < 0)
        return false;
    KnifeFlagsChange([&] {
        m_layout.SelectKnifeLine(m_menuLine, m_menuLineHorizontal, id == kSelectLine ? 1 : 0, true);
    });
    RedrawLayout();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Main: undo, documents, the end of the run.

bool CWnd_Main::ItemUndo(uint16_t)
{
    // Reached only through the Main pop-up, which an open effect window locks; the pieces
    // behind that window are its own until it closes.
    if (m_effectOpen)
        return false;
    UndoCommand();
    return true;
}

bool CWnd_Main::ItemPreferences(uint16_t)
{
    ShowPreferences();
    return true;
}

bool CWnd_Main::ItemSave(uint16_t)
{
    if (m_effectOpen)
        return false;
    SaveDocument();
    return true;
}

bool CWnd_Main::ItemCancel(uint16_t)
{
    return Press(m_cCancel);
}

bool CWnd_Main::ItemApply(uint16_t)
{
    return Press(m_mode == kLayoutMode ? m_cApplyLM : m_cApply);
}

bool CWnd_Main::ItemLoad(uint16_t)
{
    if (m_effectOpen)
        return false;
    LoadDocument();
    return true;
}

bool CWnd_Main::ItemExport(uint16_t)
{
    if (m_mode == kLayoutMode) {
        ShowExportLMDialog();
        return true;
    }
    if (m_effectOpen)
        return false;
    ShowExportDialog();
    return true;
}

bool CWnd_Main::ItemRelayout(uint16_t)
{
    if (m_mode == kLayoutMode || m_effectOpen)
        return false;
    Relayout();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Adjust: visibility, flips, copy and paste, effects.

bool CWnd_Main::ItemPressShowHide(uint16_t id)
{
    if (m_effectOpen)
        return false;
    const char* button = id == kShow ? "Main_Show" : id == kHide ? "Main_Hide" : "Main_RevShowHide";
    return Press(Find(button, QWF_CTRL_BUTTON));
}

bool CWnd_Main::ItemFlip(uint16_t id)
{
    if (m_mode != kLayoutMode)
        return false;
    // Each family holds H, U and HU in that order.
    const int which = (id - kFlipH) % 3;
    const bool h = which != 1, u = which != 0;
    KnifeFlagsChange([&] {
        if (id <= kFlipHU)
            m_layout.ToggleKnivesFlip(h, u, true, true);
        else if (id <= kFlipHURandom)
            m_layout.FlipKnivesRandom(h, u, true, true);
        else if (id <= kFlipHUInterleaved)
            m_layout.FlipKnivesInterleaved(h, u, true, true);
        else
            m_layout.ClearKnivesFlip(h, u, true, true);
    });
    RedrawLayout();
    return true;
}

bool CWnd_Main::ItemCopy(uint16_t)
{
    if (m_effectOpen)
        return false;
    if (m_mode == kLayoutMode)
        m_layout.CopyKnife(-1, false, false);
    else
        m_pieces->CopyEffects(-1);
    return true;
}

bool CWnd_Main::ItemPaste(uint16_t)
{
    if (m_effectOpen)
        return false;
    if (m_mode == kLayoutMode) {
        m_layout.RecordUndo(0, CLayoutModel::kFullPaste);
        m_layout.PasteKnifeToKnives(nullptr, 0);
        RedrawLayout();
    } else {
        PiecesChange([&] {
            CQWF_DWordArray changed;
            if (m_pieces->PasteEffects(-1, changed))
                RenderPieces(changed, true, true);
        });
    }
    return true;
}

bool CWnd_Main::ItemEffectWindow(uint16_t id)
{
    return RunKeyCommand(CommandOfEffectItem(id));
}

bool CWnd_Main::ItemEnableEffect(uint16_t id)
{
    const int type = TypeOfEnableItem(id);
    if (m_effectOpen || m_mode == kLayoutMode)
        return false;
    if (type == kEffectImageOverlay && !ImageOverlayOffered())
        return false;
    PiecesChange([&] { SetPiecesEffectEnabled(type, false, false); });
    m_contextPiece = -1;
    m_effectMask = -1;
    return true;
}

bool CWnd_Main::ItemResetEffects(uint16_t)
{
    if (m_effectOpen || m_mode == kLayoutMode)
        return false;
    ResetEffects();
    return true;
}

bool CWnd_Main::ItemPressKnifeButton(uint16_t id)
{
    // The buttons refuse outside Layout mode and while an effect window is open.
    return Press(id == kAddExtraKnife ? m_cAdd : m_cDel);
}

bool CWnd_Main::ItemEqualizeKnobs(uint16_t)
{
    if (m_mode != kLayoutMode)
        return false;
    m_layout.EqualizeKnobs(true, true);
    RedrawLayout();
    return true;
}

// ---------------------------------------------------------------------------------------------
// The preview pop-up: the knives and the knot under the pointer.

const uint32_t* CWnd_Main::MenuKnives(size_t& count) const
{
    count = m_menuKnives.GetCount();
    return count ? static_cast<const uint32_t*>(m_menuKnives.GetPtr(0)) : nullptr;
}

bool CWnd_Main::ItemKnivesSelect(uint16_t id)
{
    size_t n = 0;
    const uint32_t* ids = MenuKnives(n);
    if (m_mode != kLayoutMode || !ids)
        return false;
    KnifeFlagsChange([&] {
        m_layout.SelectKnivesById(true, false, false, ids, n, true, id == kKnivesSelect ? 1 : 0, true);
    });
    RedrawLayout();
    return true;
}

bool CWnd_Main::ItemKnivesFlip(uint16_t id)
{
    size_t n = 0;
    const uint32_t* ids = MenuKnives(n);
    if (m_mode != kLayoutMode || !ids)
        return false;
    KnifeFlagsChange([&] {
        if (id != kKnivesFlipU)
            m_layout.SelectKnivesById(true, true, false, ids, n, true, 0, false);
        if (id != kKnivesFlipH)
            m_layout.SelectKnivesById(true, true, true, ids, n, true, 0, false);
    });
    RedrawLayout();
    return true;
}

bool CWnd_Main::ItemKnivesShow(uint16_t id)
{
    size_t n = 0;
    const uint32_t* ids = MenuKnives(n);
    if (m_mode != kLayoutMode || !ids)
        return false;
    KnifeFlagsChange([&] { m_layout.ShowKnivesById(id == kKnivesOn, ids, n, true); });
    RedrawLayout();
    return true;
}

bool CWnd_Main::ItemResetKnot(uint16_t)
{
    if (m_mode != kLayoutMode || m_menuKnot < 0)
        return false;
    m_layout.ResetKnot(m_menuKnot);
    RedrawLayout();
    return true;
}

bool CWnd_Main::ItemKnifeCopy(uint16_t)
{
    size_t n = 0;
    const uint32_t* ids = MenuKnives(n);
    if (m_mode != kLayoutMode || n != 1)
        return false;
    const uint32_t k = ids[0];
    if (k >= static_cast<uint32_t>(kKnifeIdExtra))
        m_layout.CopyKnife(static_cast<int32_t>(k - kKnifeIdExtra), false, true);
    else if (k >= static_cast<uint32_t>(kKnifeIdColumn))
        m_layout.CopyKnife(static_cast<int32_t>(k - kKnifeIdColumn), false, false);
    else
        m_layout.CopyKnife(static_cast<int32_t>(k), true, false);
    return true;
}

bool CWnd_Main::ItemKnifePaste(uint16_t)
{
    size_t n = 0;
    const uint32_t* ids = MenuKnives(n);
    if (m_mode != kLayoutMode || !ids)
        return false;
    m_layout.RecordUndo(0, CLayoutModel::kFullPaste);
    m_layout.PasteKnifeToKnives(ids, n);
    RedrawLayout();
    return true;
}

bool CWnd_Main::ItemKnivesDelete(uint16_t)
{
    size_t n = 0;
    const uint32_t* ids = MenuKnives(n);
    if (m_effectOpen || m_mode != kLayoutMode || !ids)
        return false;
    m_layout.RecordUndo(0, CLayoutModel::kFullDeleteExtra);
    m_layout.DeleteExtraKnives(false, ids, n, false, true);
    RedrawLayout();
    return true;
}

// ---------------------------------------------------------------------------------------------
// The preview pop-up: the piece under the pointer.

bool CWnd_Main::ItemPiece(uint16_t id)
{
    if (m_mode == kLayoutMode || m_effectOpen || m_contextPiece < 0)
        return false;
    const int32_t piece = m_contextPiece;
    switch (id) {
    case kPieceCopyEffects: m_pieces->CopyEffects(piece); break;
    case kPiecePasteEffects:
        PiecesChange([&] {
            CQWF_DWordArray changed;
            if (m_pieces->PasteEffects(piece, changed))
                RenderPieces(changed, true, true);
        });
        break;
    case kPieceSelect:
    case kPieceDeselect:
        PiecesChange([&] {
            m_pieces->SelectPiece(piece, id == kPieceSelect ? 1 : 0, false);
            m_pieces->ShowExtras(true, false);
            RenderPreview();
        });
        break;
    default: PiecesChange([&] { RecompositePieces(m_pieces->ShowPiece(piece, id == kPieceShow)); }); break;
    }
    m_contextPiece = -1;
    return true;
}
