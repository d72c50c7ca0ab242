// The main window's one command routing: controls, keyboard commands (QWF_NOTIFY_COMMAND) and
// menu items (QWF_NOTIFY_MENU, run by wnd_main_items.cpp). Commands that change pieces, open
// windows or end the run are refused while an effect window is open; every change is wrapped
// for undo (knife flags as a light step, structural layout changes after a full state, piece
// changes between BeginPiecesChange and EndPiecesChange).
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_popupmenu.h"
#include "framework/ui/qwf_slider.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/main/filter_app.h"
#include "plugin/main/main_commands.h"  // made from skin/accelerators.skin
#include "plugin/main/main_menu_items.h"
#include "plugin/main/wnd_main.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// The effect controls: button and check box name, the command that opens its window and the
// effect type its check box switches.
struct EffectControl {
    const char* name;
    int32_t command;
    int type;
};
const EffectControl kEffectControls[9] = {
    {"Main_FXBevel", qwcmd::kBevel, kEffectBevel},
    {"Main_FXHSL", qwcmd::kHueSaturation, kEffectHsl},
    {"Main_FXBC", qwcmd::kBrightnessContrast, kEffectBrightContrast},
    {"Main_FXBlur", qwcmd::kGaussianBlur, kEffectBlur},
    {"Main_FXMBlur", qwcmd::kMotionBlur, kEffectMotionBlur},
    {"Main_FXOpacity", qwcmd::kOpacity, kEffectOpacity},
    {"Main_FXCOver", qwcmd::kColourOverlay, kEffectColourOverlay},
    {"Main_FXIOver", qwcmd::kImageOverlay, kEffectImageOverlay},
    {"Main_FXStroke", qwcmd::kStroke, kEffectStroke},
};

// The effect type of a command that opens an effect window; -1 for other commands.
int EffectOfCommand(int32_t id)
{
    for (const EffectControl& fx : kEffectControls)
        if (fx.command == id)
            return fx.type;
    return -1;
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
    return index >= 0 && OnCommand(0, index, "", QWF_CTRL_BUTTON, nullptr);
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
            static_cast<CQWF_CtrlSlider*>(GetControl(Find("Main_Zoom", QWF_CTRL_SLIDER)))
                ->SetValue(*static_cast<uint8_t*>(data), false);
        }
        return true;
    }
    const char* cname = c->GetName();
    if (kind == QWF_CTRL_SLIDER && data) {
        const uint32_t value = *static_cast<const uint32_t*>(data);
        const bool dragging = code == QWF_NOTIFY_VALUE_CHANGING;
        if (std::strcmp(cname, "Main_Zoom") == 0) {
            m_preview.SetZoom(static_cast<uint8_t>(std::min<uint32_t>(value, 8)), -1, -1, !dragging);
            return true;
        }
        if (std::strcmp(cname, "Main_RndKnots") == 0) {
            char text[16];
            std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
            if (auto* e = static_cast<CQWF_CtrlEditLine*>(GetControl(Find("Main_RndKnots", QWF_CTRL_EDIT))))
                e->SetText(text, false);
            m_randomness = static_cast<float>(std::min<uint32_t>(value, 100)) / 100.0f;
            if (!dragging)
                SetKnotRandomness(m_randomness);
            return true;
        }
        return false;
    }
    if (kind == QWF_CTRL_EDIT && code == QWF_NOTIFY_TEXT && std::strcmp(cname, "Main_RndKnots") == 0) {
        const CQWF_String text = static_cast<CQWF_CtrlEditLine*>(c)->GetText();
        SetRandomnessPercent(text.GetBuffer());
        return true;
    }
    if (kind == QWF_CTRL_CHECKBOX && code == QWF_NOTIFY_CLICK)
        return OnEffectCheck(index);
    if (kind == QWF_CTRL_BUTTON && (code == 0 || code == QWF_NOTIFY_CLICK))
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
        if (fx.type == kEffectImageOverlay && !ImageOverlayOffered())
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
        ShowContextMenu(kContextMenuX, kContextMenuY, true);
        return true;
    }
    if (is("Main_ShowExtras") || is("Main_HideExtras")) {
        ShowKnotsOrExtras(is("Main_ShowExtras"));
        return true;
    }
    if (is("Main_Relayout"))
        return ItemRelayout(qwmenu::kRelayout);
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
    if (is("Main_Export"))
        return ItemExport(qwmenu::kExport);
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
        if (auto* s = static_cast<CQWF_CtrlSlider*>(GetControl(Find("Main_RndKnots", QWF_CTRL_SLIDER))))
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
            CQWF_Control* box = GetControl(Find(fx.name, QWF_CTRL_CHECKBOX));
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
    if (auto* s = static_cast<CQWF_CtrlSlider*>(GetControl(Find("Main_Zoom", QWF_CTRL_SLIDER))))
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
    case qwcmd::kShowExtras:
    case qwcmd::kShowExtras2: ToggleExtras(); return true;
    case qwcmd::kSelectAll: return RunMenuItem(qwmenu::kSelectAll);
    case qwcmd::kUndo:
    case qwcmd::kUndo2:
        if (fx)
            return false;
        UndoCommand();
        return true;
    case qwcmd::kInverseSelection: return fx ? false : RunMenuItem(qwmenu::kInverseSelection);
    case qwcmd::kDeselect: return RunMenuItem(qwmenu::kDeselect);
    case qwcmd::kActualPixels: ZoomTo(4); return true;
    case qwcmd::kFitOnPreview: ZoomTo(FitZoom()); return true;
    case qwcmd::kZoomIn:
    case qwcmd::kZoomInKeypad: ZoomTo(m_preview.GetZoom() + 1); return true;
    case qwcmd::kZoomOut:
    case qwcmd::kZoomOutKeypad: ZoomTo(m_preview.GetZoom() - 1); return true;
    case qwcmd::kFlipH: return layout ? RunMenuItem(qwmenu::kFlipH) : false;
    case qwcmd::kFlipU: return layout ? RunMenuItem(qwmenu::kFlipU) : false;
    case qwcmd::kFlipHU: return layout ? RunMenuItem(qwmenu::kFlipHU) : false;
    case qwcmd::kFlipHRandom: return layout ? RunMenuItem(qwmenu::kFlipHRandom) : false;
    case qwcmd::kFlipURandom: return layout ? RunMenuItem(qwmenu::kFlipURandom) : false;
    case qwcmd::kFlipHURandom: return layout ? RunMenuItem(qwmenu::kFlipHURandom) : false;
    case qwcmd::kBevel:
    case qwcmd::kOpacity:
    case qwcmd::kGaussianBlur:
    case qwcmd::kHueSaturation:
    case qwcmd::kColourOverlay:
    case qwcmd::kMotionBlur:
    case qwcmd::kBrightnessContrast:
    case qwcmd::kStroke:
    case qwcmd::kImageOverlay:
        if (fx || layout)
            return false;
        if (id == qwcmd::kImageOverlay && !ImageOverlayOffered())
            return false;
        OpenEffectWindow(static_cast<uint8_t>(EffectOfCommand(id)));
        return true;
    case qwcmd::kSave: return RunMenuItem(qwmenu::kSave);
    case qwcmd::kLoad: return RunMenuItem(qwmenu::kLoad);
    case qwcmd::kExport: return RunMenuItem(qwmenu::kExport);
    case qwcmd::kSelectExtraKnives: return fx ? false : RunMenuItem(qwmenu::kSelectExtraKnives);
    case qwcmd::kContextMenu: ShowContextMenu(kContextMenuX, kContextMenuY, true); return true;
    case qwcmd::kAddRandom: return fx ? false : RunMenuItem(qwmenu::kAddRandom);
    case qwcmd::kDeselectRandom: return RunMenuItem(qwmenu::kDeselectRandom);
    case qwcmd::kAddSplitter: return RunMenuItem(qwmenu::kAddSplitter);
    case qwcmd::kDeselectSplitter: return RunMenuItem(qwmenu::kDeselectSplitter);
    case qwcmd::kCopy: return fx ? false : RunMenuItem(qwmenu::kCopy);
    case qwcmd::kPaste: return fx ? false : RunMenuItem(qwmenu::kPaste);
    case qwcmd::kInvert:
        if (fx || layout)
            return false;
        m_effectMask = m_pieces->GetPieceEffectFlags(-1);
        m_contextPiece = -1;
        return RunMenuItem(qwmenu::kInvert);
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
    if (auto* s = static_cast<CQWF_CtrlSlider*>(GetControl(Find("Main_RndKnots", QWF_CTRL_SLIDER))))
        s->SetValue(static_cast<uint32_t>(value), false);
    m_randomness = static_cast<float>(value) / 100.0f;
}

void CWnd_Main::CommitRandomnessEdit()
{
    auto* e = static_cast<CQWF_CtrlEditLine*>(GetControl(Find("Main_RndKnots", QWF_CTRL_EDIT)));
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
    if (auto* e = static_cast<CQWF_CtrlEditLine*>(GetControl(Find("Main_RndKnots", QWF_CTRL_EDIT))))
        e->SetText(text, false);
    if (auto* s = static_cast<CQWF_CtrlSlider*>(GetControl(Find("Main_RndKnots", QWF_CTRL_SLIDER))))
        s->SetValue(static_cast<uint32_t>(percent), false);
    m_randomness = static_cast<float>(percent) / 100.0f;
    if (CQWF_Control* b = GetControl(Find("Main_RndKnots", QWF_CTRL_BUTTON)))
        b->SetEnabled(percent != 0);
}

void CWnd_Main::SetKnotRandomness(float amplitude)
{
    if (m_mode != kLayoutMode)
        return;
    m_layout.SetKnotRandomness(amplitude);
    if (CQWF_Control* b = GetControl(Find("Main_RndKnots", QWF_CTRL_BUTTON)))
        b->SetEnabled(m_randomness != 0);
    RedrawLayout();
}
