// The main window's one command routing: controls, keyboard commands (336) and menu items
// (304). Commands that change pieces, open windows or end the run are refused while an effect
// window is open; every change is wrapped for undo (knife flags as a light step, structural
// layout changes after a full state, piece changes between BeginPiecesChange and
// EndPiecesChange).
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_popupmenu.h"
#include "framework/ui/qwf_slider.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/filter_app.h"
#include "plugin/main/wnd_main.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr uint8_t kSlider = 1, kButton = 5, kCheck = 7, kEdit = 8;

// The effect controls: button and check box name, the command that opens its window and the
// effect type its check box switches.
struct EffectControl {
    const char* name;
    int32_t command;
    int type;
};
const EffectControl kEffectControls[9] = {
    {"Main_FXBevel", 24, 1},   {"Main_FXHSL", 27, 2},     {"Main_FXBC", 31, 4},
    {"Main_FXBlur", 26, 0},    {"Main_FXMBlur", 30, 5},   {"Main_FXOpacity", 25, 6},
    {"Main_FXCOver", 29, 3},   {"Main_FXIOver", 45, 9},   {"Main_FXStroke", 44, 8},
};

// Keyboard commands that open an effect window, with the effect type.
int EffectOfCommand(int32_t id)
{
    switch (id) {
    case 24: return 1;
    case 25: return 6;
    case 26: return 0;
    case 27: return 2;
    case 29: return 3;
    case 30: return 5;
    case 31: return 4;
    case 44: return 8;
    case 45: return 9;
    default: return -1;
    }
}

// Menu items 112..118, 126, 128 as keyboard commands.
int32_t CommandOfEffectItem(uint16_t id)
{
    switch (id) {
    case 112: return 24;
    case 113: return 26;
    case 114: return 30;
    case 115: return 25;
    case 116: return 27;
    case 117: return 31;
    case 118: return 29;
    case 126: return 44;
    case 128: return 45;
    default: return -1;
    }
}

// Menu items 119..125, 127, 129, 130 as effect types.
int TypeOfEnableItem(uint16_t id)
{
    switch (id) {
    case 119: return 1;
    case 120: return 0;
    case 121: return 5;
    case 122: return 6;
    case 123: return 2;
    case 124: return 4;
    case 125: return 3;
    case 127: return 8;
    case 129: return 9;
    case 130: return 7;
    default: return -1;
    }
}
}  // namespace

bool CWnd_Main::OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data)
{
    return OnCommand(code, index, name, kind, data);
}

bool CWnd_Main::OnCommand(int32_t code, int32_t index, const char* name, uint8_t kind, void* data)
{
    (void)name;
    if (code == QWF_NOTIFY_COMMAND)
        return RunKeyCommand(index);
    if (code == QWF_NOTIFY_MENU && kind == QWF_MENU_KIND && data) {
        const uint16_t id = *static_cast<const uint16_t*>(data);
        if (auto* app = dynamic_cast<CApp*>(CQWF_App::GetApp()); app && app->OnHelpCommand(id, this))
            return true;
        return RunMenuItem(id);
    }
    return OnControl(code, index, kind, data);
}

bool CWnd_Main::Press(int32_t index)
{
    return index >= 0 && OnCommand(0, index, "", kButton, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Controls.

bool CWnd_Main::OnControl(int32_t code, int32_t index, uint8_t kind, void* data)
{
    CQWF_Control* c = GetControl(index);
    if (!c)
        return false;
    if (c == &m_preview) {
        if (code == QWF_NOTIFY_POINTER && data) {
            const auto* p = static_cast<const CQWF_CtrlPreview::Point*>(data);
            UpdateInfoText(p->x, p->y, false);
        } else if (code == QWF_NOTIFY_FINAL_RENDER || code == QWF_NOTIFY_DRAFT_RENDER) {
            RedrawLayout();
            UpdateMouseGeometry();
        } else if (code == QWF_NOTIFY_ZOOM && data) {
            static_cast<CQWF_CtrlSlider*>(GetControl(Find("Main_Zoom", kSlider)))
                ->SetValue(*static_cast<uint8_t*>(data), false);
        }
        return true;
    }
    const char* cname = c->GetName();
    if (kind == kSlider && data) {
        const uint32_t value = *static_cast<const uint32_t*>(data);
        const bool dragging = code == QWF_NOTIFY_VALUE_CHANGING;
        if (std::strcmp(cname, "Main_Zoom") == 0) {
            m_preview.SetZoom(static_cast<uint8_t>(std::min<uint32_t>(value, 8)), -1, -1, !dragging);
            return true;
        }
        if (std::strcmp(cname, "Main_RndKnots") == 0) {
            char text[16];
            std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
            if (auto* e = static_cast<CQWF_CtrlEditLine*>(GetControl(Find("Main_RndKnots", kEdit))))
                e->SetText(text, false);
            m_randomness = static_cast<float>(std::min<uint32_t>(value, 100)) / 100.0f;
            if (!dragging)
                SetKnotRandomness(m_randomness);
            return true;
        }
        return false;
    }
    if (kind == kEdit && code == QWF_NOTIFY_TEXT && std::strcmp(cname, "Main_RndKnots") == 0) {
        const CQWF_String text = static_cast<CQWF_CtrlEditLine*>(c)->GetText();
        SetRandomnessPercent(text.GetBuffer());
        return true;
    }
    if (kind == kCheck && code == QWF_NOTIFY_CLICK)
        return OnEffectCheck(index);
    if (kind == kButton && (code == 0 || code == QWF_NOTIFY_CLICK))
        // A click carries the keys held with it; a press forwarded without them takes the keys
        // held now.
        return OnButton(index, data ? *static_cast<const uint32_t*>(data) : GetModifierKeys());
    return false;
}

bool CWnd_Main::OnEffectCheck(int32_t index)
{
    CQWF_Control* c = GetControl(index);
    for (const EffectControl& fx : kEffectControls) {
        if (std::strcmp(c->GetName(), fx.name) != 0)
            continue;
        if (m_effectOpen || m_mode != kPuzzleMode)
            return false;
        if (fx.type == 9 && !ImageOverlayOffered())
            return false;
        m_effectMask = -1;
        m_contextPiece = -1;
        const bool on = c->GetCheck();
        PiecesChange([&] { SetPiecesEffectEnabled(fx.type, true, on); });
        return true;
    }
    return false;
}

bool CWnd_Main::OnButton(int32_t index, uint32_t modifiers)
{
    CQWF_Control* c = GetControl(index);
    const char* n = c->GetName();
    auto is = [n](const char* name) { return std::strcmp(n, name) == 0; };
    const bool layout = m_mode == kLayoutMode;
    if (is("Main_Apply") || is("Main_ApplyLM")) {
        if (m_effectOpen)
            return false;
        m_ready = 1;
        CloseWindow();
        return true;
    }
    if (is("Main_Cancel") || is("Main_CloseX")) {
        if (m_effectOpen)
            return false;
        CloseWindow();
        return true;
    }
    if (is("Main_Help")) {
        if (auto* app = dynamic_cast<CApp*>(CQWF_App::GetApp())) {
            CQWF_PlatformPopupMenu menu;
            if (menu.Create()) {
                app->BuildHelpMenu(menu);
                int32_t x = 672, y = 30;
                MenuPlace("Main_Help", x, y);
                menu.Track(this, x, y, true);
            }
        }
        return true;
    }
    if (is("Main_Main") || is("Main_Select") || is("Main_Adjust")) {
        ShowMainMenu(is("Main_Main") ? 0 : is("Main_Select") ? 1 : 2);
        return true;
    }
    if (is("Main_Ruler")) {
        ShowContextMenu(32, 59, true);
        return true;
    }
    if (is("Main_ShowExtras") || is("Main_HideExtras")) {
        ShowKnotsOrExtras(is("Main_ShowExtras"));
        return true;
    }
    if (is("Main_Relayout")) {
        if (m_effectOpen || layout)
            return false;
        Relayout();
        return true;
    }
    if (is("Main_Show") || is("Main_Hide")) {
        if (m_effectOpen)
            return false;
        const bool show = is("Main_Show");
        if (layout) {
            KnifeFlagsChange([&] { m_layout.ShowKnives(show, true); });
            RedrawLayout();
        } else {
            PiecesChange([&] { RecompositePieces(m_pieces->ShowSelectedPieces(show)); });
        }
        return true;
    }
    if (is("Main_RevShowHide")) {
        if (m_effectOpen)
            return false;
        if (layout) {
            KnifeFlagsChange([&] { m_layout.ReverseKnivesVisibility(true); });
            RedrawLayout();
        } else {
            PiecesChange([&] { RecompositePieces(m_pieces->ReverseVisibility()); });
        }
        return true;
    }
    if (is("Main_Export")) {
        if (layout) {
            ShowExportLMDialog();
            return true;
        }
        if (m_effectOpen)
            return false;
        ShowExportDialog();
        return true;
    }
    if (is("Main_AddKnives") || is("Main_DelKnives")) {
        if (!layout || m_effectOpen)
            return false;
        if (is("Main_AddKnives")) {
            m_layout.RecordUndo(0, CLayoutModel::kFullAddExtra);
            m_layout.AddPickedExtraKnife(true);
        } else {
            m_layout.RecordUndo(0, CLayoutModel::kFullDeleteExtra);
            m_layout.DeleteExtraKnives(true, nullptr, 0, false, true);
        }
        RedrawLayout();
        return true;
    }
    if (is("Main_ResetKnots")) {
        if (!layout)
            return false;
        if (auto* s = static_cast<CQWF_CtrlSlider*>(GetControl(Find("Main_RndKnots", kSlider))))
            s->SetValue(0, true);
        return true;
    }
    if (is("Main_RndKnots")) {
        if (!layout)
            return false;
        SetKnotRandomness(m_randomness);
        return true;
    }
    for (const EffectControl& fx : kEffectControls) {
        if (!is(fx.name))
            continue;
        if (modifiers & QWF_MOD_SHIFT) {
            CQWF_Control* box = GetControl(Find(fx.name, kCheck));
            if (!box || m_effectOpen || layout)
                return false;
            box->SetCheck(!box->GetCheck(), true);
            return true;
        }
        return RunKeyCommand(fx.command);
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Keyboard commands.

void CWnd_Main::ZoomTo(int level)
{
    level = std::clamp(level, 0, 8);
    m_preview.SetZoom(static_cast<uint8_t>(level), -1, -1, true);
    if (auto* s = static_cast<CQWF_CtrlSlider*>(GetControl(Find("Main_Zoom", kSlider))))
        s->SetValue(static_cast<uint32_t>(level), false);
}

void CWnd_Main::ShowKnotsOrExtras(bool on)
{
    if (m_mode == kLayoutMode) {
        m_layout.ShowKnots(on, false);
        RedrawLayout();
    } else {
        m_pieces->ShowExtras(on, true);
    }
}

void CWnd_Main::ToggleExtras()
{
    ShowKnotsOrExtras(m_mode == kLayoutMode ? !m_layout.GetKnotsShown() : !m_pieces->GetShowExtras());
}

void CWnd_Main::UndoCommand()
{
    if (m_mode == kLayoutMode) {
        m_layout.Undo();
        RedrawLayout();
    } else {
        m_pieces->UndoPiecesChange();
    }
}

bool CWnd_Main::RunKeyCommand(int32_t id)
{
    const bool layout = m_mode == kLayoutMode;
    const bool fx = m_effectOpen != 0;
    switch (id) {
    case 1:
    case 8:
        ToggleExtras();
        return true;
    case 2: return RunMenuItem(32);
    case 3:
    case 4:
        if (fx)
            return false;
        UndoCommand();
        return true;
    case 10: return fx ? false : RunMenuItem(34);
    case 11: return RunMenuItem(33);
    case 12: ZoomTo(4); return true;
    case 13: ZoomTo(FitZoom()); return true;
    case 14:
    case 15: ZoomTo(m_preview.GetZoom() + 1); return true;
    case 16:
    case 17: ZoomTo(m_preview.GetZoom() - 1); return true;
    case 18: case 19: case 20: case 21: case 22: case 23:
        return layout ? RunMenuItem(static_cast<uint16_t>(98 + id - 18)) : false;
    case 24: case 25: case 26: case 27: case 29: case 30: case 31: case 44: case 45: {
        if (fx || layout)
            return false;
        if (id == 45 && !ImageOverlayOffered())
            return false;
        OpenEffectWindow(static_cast<uint8_t>(EffectOfCommand(id)));
        return true;
    }
    case 32: return RunMenuItem(84);
    case 33: return RunMenuItem(88);
    case 34: return RunMenuItem(89);
    case 35: return fx ? false : RunMenuItem(39);
    case 36: ShowContextMenu(32, 59, true); return true;
    case 37: return fx ? false : RunMenuItem(41);
    case 38: return RunMenuItem(42);
    case 39:
    case 40:
        return (fx || layout) ? false : RunMenuItem(static_cast<uint16_t>(id == 39 ? 43 : 44));
    case 41: return fx ? false : RunMenuItem(110);
    case 42: return fx ? false : RunMenuItem(111);
    case 43:
        if (fx || layout)
            return false;
        m_effectMask = m_pieces->GetPieceEffectFlags(-1);
        m_contextPiece = -1;
        return RunMenuItem(130);
    default: return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Menu items.

bool CWnd_Main::RunMenuItem(uint16_t id)
{
    const bool layout = m_mode == kLayoutMode;
    const bool fx = m_effectOpen != 0;
    const uint32_t* ids = m_menuKnives.GetCount() ? static_cast<const uint32_t*>(m_menuKnives.GetPtr(0)) : nullptr;
    const size_t nids = m_menuKnives.GetCount();
    if (id >= 16 && id <= 20) {
        // Lengths need a resolution: a picture without one keeps its unit (one the host's rulers
        // chose is measured at 72 pixels per inch).
        const uint8_t units = static_cast<uint8_t>(id - 15);
        const QWF_HostInfo* info = m_plugin ? m_plugin->GetHostInfo() : nullptr;
        const bool length = units >= QWF_UNITS_INCHES && units <= QWF_UNITS_MM;
        if (length && !(info && info->hResolution > 0 && info->vResolution > 0))
            return false;
        SetUnits(units);
        return true;
    }
    if (const int32_t command = CommandOfEffectItem(id); command >= 0)
        return RunKeyCommand(command);
    if (const int type = TypeOfEnableItem(id); type >= 0) {
        if (fx || layout)
            return false;
        if (type == 9 && !ImageOverlayOffered())
            return false;
        PiecesChange([&] { SetPiecesEffectEnabled(type, false, false); });
        m_contextPiece = -1;
        m_effectMask = -1;
        return true;
    }
    switch (id) {
    case 32:
    case 33:
        if (fx)
            return false;
        if (layout) {
            KnifeFlagsChange([&] { m_layout.SelectKnives(id == 32 ? 1 : 0, true, true, true, true); });
            RedrawLayout();
        } else {
            PiecesChange([&] {
                if (id == 32)
                    m_pieces->SelectAllPieces(false);
                else
                    m_pieces->DeselectAllPieces(false);
                m_pieces->SetRangeAnchor(-1);
                m_pieces->ShowExtras(true, false);
                RenderPreview();
            });
        }
        return true;
    case 34:
        if (fx)
            return false;
        if (layout) {
            KnifeFlagsChange([&] { m_layout.InvertKnivesSelection(true); });
            RedrawLayout();
        } else {
            PiecesChange([&] { m_pieces->InvertSelection(true); });
        }
        return true;
    case 35:
    case 36:
        if (fx)
            return false;
        if (layout) {
            KnifeFlagsChange([&] { m_layout.SelectShownKnives(id == 35, true); });
            RedrawLayout();
        } else {
            PiecesChange([&] { m_pieces->SelectShownPieces(id == 35, true); });
        }
        return true;
    case 37:
    case 38:
    case 39:
        if (fx || !layout)
            return false;
        KnifeFlagsChange([&] {
            m_layout.SelectKnives(0, false, true, true, true);
            m_layout.SelectKnives(1, true, id == 38, id == 37, id == 39);
        });
        RedrawLayout();
        return true;
    case 40:
        if (fx)
            return false;
        if (layout)
            SelectKnivesByChannel();
        else
            SelectPiecesByChannel();
        return true;
    case 41:
    case 42:
        if (fx)
            return false;
        if (layout) {
            KnifeFlagsChange([&] { m_layout.SelectKnivesRandom(id == 41 ? 1 : 0, true); });
            RedrawLayout();
        } else {
            PiecesChange([&] { m_pieces->SelectRandom(id == 41 ? 1 : 0, true); });
        }
        return true;
    case 43:
    case 44:
        if (fx || layout)
            return false;
        PiecesChange([&] { m_pieces->SelectFirstPiece(id == 43, true); });
        return true;
    case 47: ToggleExtras(); return true;
    case 48: return RunKeyCommand(12);
    case 49: return RunKeyCommand(13);
    case 50: return RunKeyCommand(14);
    case 51: return RunKeyCommand(16);
    case 64:
    case 65:
        if (!layout || (id == 65 && m_menuLine < 0))
            return false;
        if (id == 64)
            m_layout.DistributeGridLines(m_menuLineHorizontal, true);
        else
            m_layout.ArrangeGridLines(m_menuLineHorizontal, m_menuLine, true);
        RedrawLayout();
        return true;
    case 66:
        if (!layout)
            return false;
        m_layout.RecordUndo(0, CLayoutModel::kFullLine);
        m_layout.InsertGridLine(!m_menuLineHorizontal, m_menuX, m_menuY);
        RedrawLayout();
        return true;
    case 67:
        if (!layout || m_menuLine < 0)
            return false;
        m_layout.RecordUndo(0, CLayoutModel::kFullLine);
        m_layout.DeleteGridLine(!m_menuLineHorizontal, m_menuLine);
        RedrawLayout();
        return true;
    case 68:
    case 69:
        if (!layout || m_menuLine < 0)
            return false;
        KnifeFlagsChange([&] { m_layout.SelectKnifeLine(m_menuLine, m_menuLineHorizontal, id == 68 ? 1 : 0, true); });
        RedrawLayout();
        return true;
    case 80:
        // Reached only through the Main pop-up, which an open effect window locks; the pieces
        // behind that window are its own until it closes.
        if (fx)
            return false;
        UndoCommand();
        return true;
    case 81: ShowPreferences(); return true;
    case 84:
        if (fx)
            return false;
        SaveDocument();
        return true;
    case 85: return Press(m_cCancel);
    case 86:
    case 87: return Press(layout ? m_cApplyLM : m_cApply);
    case 88:
        if (fx)
            return false;
        LoadDocument();
        return true;
    case 89:
        if (layout) {
            ShowExportLMDialog();
            return true;
        }
        if (fx)
            return false;
        ShowExportDialog();
        return true;
    case 90:
        if (layout || fx)
            return false;
        Relayout();
        return true;
    case 96: return fx ? false : Press(Find("Main_Show", kButton));
    case 97: return fx ? false : Press(Find("Main_Hide", kButton));
    case 144: return fx ? false : Press(Find("Main_RevShowHide", kButton));
    case 98: case 99: case 100: case 101: case 102: case 103:
    case 104: case 105: case 106: case 107: case 108: case 109: {
        if (!layout)
            return false;
        const int which = (id - 98) % 3;
        const bool h = which != 1, u = which != 0;
        KnifeFlagsChange([&] {
            if (id <= 100)
                m_layout.ToggleKnivesFlip(h, u, true, true);
            else if (id <= 103)
                m_layout.FlipKnivesRandom(h, u, true, true);
            else if (id <= 106)
                m_layout.FlipKnivesInterleaved(h, u, true, true);
            else
                m_layout.ClearKnivesFlip(h, u, true, true);
        });
        RedrawLayout();
        return true;
    }
    case 110:
        if (fx)
            return false;
        if (layout)
            m_layout.CopyKnife(-1, false, false);
        else
            m_pieces->CopyEffects(-1);
        return true;
    case 111:
        if (fx)
            return false;
        if (layout) {
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
    case 143:
        if (fx || layout)
            return false;
        ResetEffects();
        return true;
    case 256:
    case 257:
        if (!layout || !ids)
            return false;
        KnifeFlagsChange([&] { m_layout.SelectKnivesById(true, false, false, ids, nids, true, id == 256 ? 1 : 0, true); });
        RedrawLayout();
        return true;
    case 258:
    case 259:
    case 260:
        if (!layout || !ids)
            return false;
        KnifeFlagsChange([&] {
            if (id != 259)
                m_layout.SelectKnivesById(true, true, false, ids, nids, true, 0, false);
            if (id != 258)
                m_layout.SelectKnivesById(true, true, true, ids, nids, true, 0, false);
        });
        RedrawLayout();
        return true;
    case 261:
    case 262:
        if (!layout || !ids)
            return false;
        KnifeFlagsChange([&] { m_layout.ShowKnivesById(id == 261, ids, nids, true); });
        RedrawLayout();
        return true;
    case 263:
        if (!layout || m_menuKnot < 0)
            return false;
        m_layout.ResetKnot(m_menuKnot);
        RedrawLayout();
        return true;
    case 264:
        if (!layout || nids != 1)
            return false;
        {
            const uint32_t k = ids[0];
            if (k >= static_cast<uint32_t>(kKnifeIdExtra))
                m_layout.CopyKnife(static_cast<int32_t>(k - kKnifeIdExtra), false, true);
            else if (k >= static_cast<uint32_t>(kKnifeIdColumn))
                m_layout.CopyKnife(static_cast<int32_t>(k - kKnifeIdColumn), false, false);
            else
                m_layout.CopyKnife(static_cast<int32_t>(k), true, false);
        }
        return true;
    case 265:
        if (!layout || !ids)
            return false;
        m_layout.RecordUndo(0, CLayoutModel::kFullPaste);
        m_layout.PasteKnifeToKnives(ids, nids);
        RedrawLayout();
        return true;
    case 266:
        if (fx || !layout || !ids)
            return false;
        m_layout.RecordUndo(0, CLayoutModel::kFullDeleteExtra);
        m_layout.DeleteExtraKnives(false, ids, nids, false, true);
        RedrawLayout();
        return true;
    case 272:
    case 273:
    case 274:
    case 275:
    case 276:
    case 277: {
        if (layout || fx || m_contextPiece < 0)
            return false;
        const int32_t piece = m_contextPiece;
        if (id == 276) {
            m_pieces->CopyEffects(piece);
        } else if (id == 277) {
            PiecesChange([&] {
                CQWF_DWordArray changed;
                if (m_pieces->PasteEffects(piece, changed))
                    RenderPieces(changed, true, true);
            });
        } else if (id <= 273) {
            PiecesChange([&] {
                m_pieces->SelectPiece(piece, id == 272 ? 1 : 0, false);
                m_pieces->ShowExtras(true, false);
                RenderPreview();
            });
        } else {
            PiecesChange([&] { RecompositePieces(m_pieces->ShowPiece(piece, id == 274)); });
        }
        m_contextPiece = -1;
        return true;
    }
    case 3936: return (fx || !layout) ? false : Press(m_cAdd);
    case 3937: return (fx || !layout) ? false : Press(m_cDel);
    case 3938:
        if (!layout)
            return false;
        m_layout.EqualizeKnobs(true, true);
        RedrawLayout();
        return true;
    default: return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Pieces.

bool CWnd_Main::ImageOverlayOffered() const
{
    return m_plugin && m_plugin->GetHostInfo()->layersAvailable != 0;
}

uint32_t CWnd_Main::SelectedEffectMask()
{
    if (m_effectMask < 0)
        m_effectMask = m_pieces ? m_pieces->GetPieceEffectFlags(-1) : 0;
    return static_cast<uint32_t>(m_effectMask);
}

void CWnd_Main::BeginPiecesChange()
{
    if (m_pieces)
        m_pieces->BeginPiecesChange();
}

void CWnd_Main::EndPiecesChange()
{
    if (!m_pieces)
        return;
    m_pieces->EndPiecesChange(true);
    // Whatever the change was, the effect boxes show the pieces as they now are.
    m_pieces->UpdateEffectButtons(m_mode == kLayoutMode, m_effectOpen != 0);
}

void CWnd_Main::ResetEffects()
{
    PiecesChange([&] {
        CQWF_DWordArray changed;
        m_pieces->ResetEffects(changed);
        RenderPieces(changed, true, true);
    });
}

void CWnd_Main::SetPiecesEffectEnabled(int type, bool explicitValue, bool on)
{
    if (!m_pieces)
        return;
    CQWF_DWordArray changed;
    m_pieces->SetPiecesEffect(type, explicitValue, on, m_contextPiece, changed);
    if (changed.GetCount())
        RenderPieces(changed, true, true);
    m_pieces->UpdateEffectButtons(false, m_effectOpen != 0);
}

void CWnd_Main::RecompositePieces(const QWF_Rect& rect)
{
    if (m_pieces)
        m_pieces->Recomposite(rect, true);
}

bool CWnd_Main::RenderPieces(const int32_t* list, int32_t count, bool redraw, bool live)
{
    if (!m_pieces || !list || count <= 0)
        return true;
    return m_pieces->RenderPieces(list, count, redraw, live);
}

bool CWnd_Main::RenderPieces(const CQWF_DWordArray& list, bool redraw, bool live)
{
    if (list.GetCount() == 0)
        return true;
    return RenderPieces(static_cast<const int32_t*>(list.GetPtr(0)),
                        static_cast<int32_t>(list.GetCount()), redraw, live);
}

void CWnd_Main::SetPreviewMarks(const uint8_t* marks, int32_t width)
{
    m_preview.SetMarkMask(marks, static_cast<uint32_t>(width > 0 ? width : 0));
}

void CWnd_Main::DispatchDuringRender()
{
    // Only an open effect window sends newer requests meanwhile: its input and its preview timer
    // go through, so that a slider moved meanwhile restarts the render. Its OK and Cancel wait
    // while the render runs; the main window itself only paints and runs its timers.
    if (!m_effectOpen)
        return;
    if (m_effectWindow)
        if (CQWF_Window* w = m_effectWindow->GetWindow())
            if (w->GetHWND())
                CQWF_Window::PumpMessages(w, true, true, true, true);
    PumpMessages();
}

bool CWnd_Main::IsRendering() const
{
    return m_pieces && m_pieces->IsRendering();
}

// ---------------------------------------------------------------------------------------------
// Knot randomness.

void CWnd_Main::SetRandomnessPercent(const char* text)
{
    const int value = std::clamp(text ? std::atoi(text) : 0, 0, 100);
    if (auto* s = static_cast<CQWF_CtrlSlider*>(GetControl(Find("Main_RndKnots", kSlider))))
        s->SetValue(static_cast<uint32_t>(value), false);
    m_randomness = static_cast<float>(value) / 100.0f;
}

void CWnd_Main::CommitRandomnessEdit()
{
    auto* e = static_cast<CQWF_CtrlEditLine*>(GetControl(Find("Main_RndKnots", kEdit)));
    if (!e)
        return;
    const CQWF_String text = e->GetText();
    const int value = std::clamp(std::atoi(text.GetBuffer()), 0, 100);
    char out[16];
    std::snprintf(out, sizeof out, "%d", value);
    e->SetText(out, true);  // the notification moves the slider (SetRandomnessPercent)
    SetKnotRandomness(static_cast<float>(value) / 100.0f);
}

void CWnd_Main::ShowRandomness(int percent)
{
    percent = std::clamp(percent, 0, 100);
    char text[16];
    std::snprintf(text, sizeof text, "%d", percent);
    if (auto* e = static_cast<CQWF_CtrlEditLine*>(GetControl(Find("Main_RndKnots", kEdit))))
        e->SetText(text, false);
    if (auto* s = static_cast<CQWF_CtrlSlider*>(GetControl(Find("Main_RndKnots", kSlider))))
        s->SetValue(static_cast<uint32_t>(percent), false);
    m_randomness = static_cast<float>(percent) / 100.0f;
    if (CQWF_Control* b = GetControl(Find("Main_RndKnots", kButton)))
        b->SetEnabled(percent != 0);
}

void CWnd_Main::SetKnotRandomness(float amplitude)
{
    if (m_mode != kLayoutMode)
        return;
    m_layout.SetKnotRandomness(amplitude);
    if (CQWF_Control* b = GetControl(Find("Main_RndKnots", kButton)))
        b->SetEnabled(m_randomness != 0);
    RedrawLayout();
}
