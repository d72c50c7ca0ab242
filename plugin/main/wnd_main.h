// The filter's main window: owner of the layout model, the piece view and the Cutter. It builds
// its controls from the skin "Main", shows the picture with the layout or the pieces over it,
// switches between Layout and Puzzle mode, and ends the run with Apply (the layout committed
// and handed to the engine) or Cancel.
#pragma once

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_string.h"
#include "framework/imaging/qwf_layer.h"
#include "framework/ui/qwf_preview.h"
#include "framework/ui/qwf_window.h"
#include "plugin/core/qw_windowprogress.h"
#include "plugin/main/cutter_link.h"
#include "plugin/main/effect_link.h"
#include "plugin/main/layout_drawing.h"
#include "plugin/main/layout_host.h"
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_mouse.h"
#include "plugin/main/main_info.h"
#include "plugin/main/piece_view.h"
#include "plugin/main/status_line.h"
#include "plugin/main/view_preferences.h"

#include <cstdint>
#include <memory>

class CPluginMain;

class CWnd_Main : public CQWF_Window,
                  public CCutterOwner,
                  public CMainProgressTarget,
                  public CPieceViewSink {
public:
    enum Mode : uint8_t { kPuzzleMode = 0, kLayoutMode = 1 };

    CWnd_Main();
    ~CWnd_Main() override;
    void SetPlugin(CPluginMain* plugin);

    // --- the window ---
    bool Close() override;
    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnTimer(uint32_t id) override;
    bool OnChar(uint32_t character, uint32_t modifiers) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool OnHoverControl(int32_t index) override;
    int32_t ReleaseFocus(int32_t index) override;
    bool OnMouseMove(int32_t x, int32_t y, uint32_t flags) override;
    bool OnLButtonDown(int32_t x, int32_t y, uint32_t flags) override;
    bool OnLButtonUp(int32_t x, int32_t y, uint32_t flags) override;
    bool OnRButtonUp(int32_t x, int32_t y, uint32_t flags) override;
    bool OnSetCursor(int32_t x, int32_t y) override;  // wnd_main_cursor.cpp

    // --- commands: every control, keyboard command (QWF_NOTIFY_COMMAND, the ids of qwcmd) and
    // menu item (QWF_NOTIFY_MENU, the ids of qwmenu) of the window; true when handled, false
    // when refused (an effect window is open, the other mode) ---
    bool OnCommand(int32_t code, int32_t index, const char* name, uint8_t kind, void* data);
    bool RunKeyCommand(int32_t id);
    bool RunMenuItem(uint16_t id);
    // The pop-up menus the window builds: 0 Main, 1 Select, 2 Adjust at their buttons; the
    // preview pop-up at a client point (fixed: without the items of the point).
    void ShowMainMenu(int which);
    void ShowContextMenu(int32_t x, int32_t y, bool fixedPlace);
    // The fixed place of the preview pop-up (the ruler button and its keyboard command).
    static constexpr int32_t kContextMenuX = 32, kContextMenuY = 59;
    // The ruler pop-ups of Layout mode (true when the point lies on a splitter ruler).
    bool ShowRulerMenu(int32_t x, int32_t y);
    void ShowUnitsMenu(int32_t x, int32_t y);

    // --- pieces ---
    // Renders the listed pieces with their settings to apply and composites them into the
    // preview; live lets a newer request from an open effect window restart it. False when the
    // engine fails on a piece; an empty list returns at once.
    bool RenderPieces(const int32_t* list, int32_t count, bool redraw, bool live);
    bool RenderPieces(const CQWF_DWordArray& list, bool redraw, bool live);
    bool IsRendering() const;
    void BeginPiecesChange();
    // Keeps the undo state when the pieces changed and shows their effects in the boxes;
    // renders nothing.
    void EndPiecesChange();
    void SetPiecesEffectEnabled(int type, bool explicitValue, bool on);
    // The Reset command: the engine's default effects on the selection (every piece when none
    // is selected), hidden pieces shown again, rendered; one undo step.
    void ResetEffects();
    void RecompositePieces(const QWF_Rect& rect);
    // The knot randomness 0..100 % from the slider or the edit line.
    void SetRandomnessPercent(const char* text);
    void CommitRandomnessEdit();
    void SetKnotRandomness(float amplitude);

    // --- modes and the end of the run ---
    int Relayout();
    void LeaveLayoutMode() override;
    void UpdateControls();
    // Recalculates and redraws the layout over the picture with the rulers' marks.
    void RedrawLayout();
    void CloseWindow();
    bool CommitLayout();
    bool TransferKnives() override;
    uint8_t GetMode() const { return m_mode; }
    uint8_t GetReady() const { return m_ready; }
    void SetReady(uint8_t ready) { m_ready = ready; }
    bool IsEffectWindowOpen() const { return m_effectOpen != 0; }
    CQWF_Image& GetPreviewSource() { return m_source; }
    // The pieces' image, composited in Puzzle mode.
    CQWF_Image& GetPiecesImage() { return m_piecesImage; }
    void ReleaseImages();
    CCutterLink* GetCutter() { return m_cutter; }
    // The layout as drawn over the preview (knives and knot markers), in preview pixels.
    CQWF_Image& GetLayoutOverlay() { return m_drawing.GetOverlay(); }
    CPieceView* GetPieceView() { return m_pieces; }

    // --- windows opened over the main window ---
    // The modeless window of an effect type (0 Gaussian blur .. 9 image overlay) over the
    // selected pieces; false when it cannot open or another one is open.
    bool OpenEffectWindow(uint8_t effectType);
    // Called when an effect window has opened and by the effect window when it closes.
    void BeginEffectPreview();
    void EndEffectPreview();
    // The channel picker, then the selection of pieces or knives by the picked map.
    bool SelectPiecesByChannel();
    bool SelectKnivesByChannel();
    // The viewing preferences (the effect windows' and the layer picker's backgrounds).
    const ViewPreferences& GetViewPreferences() const { return m_prefs; }
    CEffectWindowLink* GetEffectWindow() { return m_effectWindow.get(); }
    void ShowExportDialog();
    void ShowExportLMDialog();
    bool SaveDocument();
    bool LoadDocument();
    void ShowPreferences();

    // --- status and information ---
    void SetStatusText(const char* text);
    void SetProgressText(const char* message, uint8_t percent) override;
    void PumpMessages() override;
    void UpdateInfoText(int32_t x, int32_t y, bool imageSize);
    // The info line again in the form it shows, for the current mode.
    void RefreshInfoText();
    const char* GetStatusText() const { return m_statusLine.GetText(); }
    const char* GetInfoText() const { return m_info.GetBuffer(); }
    uint8_t GetUnits() const { return m_units; }
    void SetUnits(uint8_t units);
    // The info line's tab stops for the picture and the unit.
    void SetInfoTabStops();
    CQWF_CtrlPreview& GetPreview() { return m_preview; }

    // --- CCutterOwner ---
    CQWF_Window* GetOwnerWindow() override { return this; }
    CPluginMain* GetPlugin() override { return m_plugin; }
    CLayoutModel& GetLayout() override { return m_layout; }
    bool ResizeGrid(int rows, int columns) override;
    void PreviewGridSize(int rows, int columns) override;
    void SetKnifeThickness(int thickness, bool razor) override;
    void SetTipsSize(int tips) override;
    void SetAntiAliasing(bool on) override;
    bool GetCutPicture(int32_t& width, int32_t& height, const uint8_t*& mask, int64_t& maskStride,
                       const uint8_t* planes[3]) override;
    void ForgetPiecesUndo() override;
    void PumpOwnerMessages() override;

    // --- CPieceViewSink ---
    void SetCheck(const char* name, bool checked) override;
    void EnableControl(const char* name, bool enabled) override;
    void ShowExtrasButtons(bool on) override;
    void SetPreviewMarks(const uint8_t* marks, int32_t width) override;
    void DispatchDuringRender() override;
    void RenderPreview() override;
    void RepaintPreview() override;
    CQWF_Progress* BeginProgress(const char* text) override;
    void EndProgress(CQWF_Progress* progress) override;
    void FadeStatus() override;

private:
    class CLayoutSink;
    friend class CLayoutSink;
    class CMouseSink;
    friend class CMouseSink;

    // Menu items (wnd_main_items.cpp): the table from item id to the operation that runs it;
    // an operation takes the id it runs (one serves several items) and returns false when the
    // item is refused.
    using ItemHandler = bool (CWnd_Main::*)(uint16_t id);
    struct MenuItemRoute {
        uint16_t id;
        ItemHandler run;
    };
    static const MenuItemRoute kMenuItems[];
    bool ItemUnits(uint16_t id);
    bool ItemSelectAll(uint16_t id);
    bool ItemInverseSelection(uint16_t id);
    bool ItemSelectShown(uint16_t id);
    bool ItemSelectKnifeFamily(uint16_t id);
    bool ItemLoadSelection(uint16_t id);
    bool ItemSelectRandom(uint16_t id);
    bool ItemSelectSplitter(uint16_t id);
    bool ItemShowExtras(uint16_t id);
    bool ItemZoom(uint16_t id);
    bool ItemArrangeLines(uint16_t id);
    bool ItemInsertLine(uint16_t id);
    bool ItemDeleteLine(uint16_t id);
    bool ItemSelectLine(uint16_t id);
    bool ItemUndo(uint16_t id);
    bool ItemPreferences(uint16_t id);
    bool ItemSave(uint16_t id);
    bool ItemCancel(uint16_t id);
    bool ItemApply(uint16_t id);
    bool ItemLoad(uint16_t id);
    bool ItemExport(uint16_t id);
    bool ItemRelayout(uint16_t id);
    bool ItemPressShowHide(uint16_t id);
    bool ItemFlip(uint16_t id);
    bool ItemCopy(uint16_t id);
    bool ItemPaste(uint16_t id);
    bool ItemEffectWindow(uint16_t id);
    bool ItemEnableEffect(uint16_t id);
    bool ItemResetEffects(uint16_t id);
    bool ItemPressKnifeButton(uint16_t id);
    bool ItemEqualizeKnobs(uint16_t id);
    bool ItemKnivesSelect(uint16_t id);
    bool ItemKnivesFlip(uint16_t id);
    bool ItemKnivesShow(uint16_t id);
    bool ItemResetKnot(uint16_t id);
    bool ItemKnifeCopy(uint16_t id);
    bool ItemKnifePaste(uint16_t id);
    bool ItemKnivesDelete(uint16_t id);
    bool ItemPiece(uint16_t id);
    // The ids of the knives under the pointer when the preview pop-up opened (null: none).
    const uint32_t* MenuKnives(size_t& count) const;

    bool OnControl(int32_t code, int32_t index, uint8_t kind, void* data);
    bool OnButton(int32_t index, uint32_t modifiers);
    bool OnEffectCheck(int32_t index);
    bool Press(int32_t index);
    void ZoomTo(int level);
    // Layout mode: a change of knife flags as one light undo step; a structural change after a
    // full undo state of the kind.
    template <typename Fn> void KnifeFlagsChange(Fn fn)
    {
        m_layout.TakeUndoSnapshot(CLayoutModel::kUndoKnifeFlags);
        fn();
        m_layout.RecordUndo(CLayoutModel::kUndoKnifeFlags, 0);
    }
    template <typename Fn> void PiecesChange(Fn fn)
    {
        BeginPiecesChange();
        fn();
        EndPiecesChange();
    }
    void UndoCommand();
    void ShowKnotsOrExtras(bool on);
    void ToggleExtras();
    bool ImageOverlayOffered() const;
    uint32_t SelectedEffectMask();
    void HoverTick();
    void UpdateMouseGeometry();
    void DrawKnotMarker(const KnotHit& hit, double x, double y, bool picked);
    void ShowRandomness(int percent);
    void CreateMouse();
    void DestroyMouse();

    int32_t Find(const char* name, uint8_t kind) const;
    void ShowLayoutInCutter();
    // Where the pop-up of a menu button opens: under the button; the given point when the skin
    // has no such button.
    void MenuPlace(const char* button, int32_t& x, int32_t& y) const;
    void Vanish(int32_t index, bool hidden);
    void ShowPicture();
    bool BuildPiecesImage();
    bool BuildPreviewThumbnail();
    int FitZoom() const;
    LayoutView View() const;
    void ErrorMessage(const char* text);

    CPluginMain* m_plugin = nullptr;
    CCutterLink* m_cutter = nullptr;
    uint8_t m_ready = 0;
    uint8_t m_mode = kPuzzleMode;
    uint8_t m_effectOpen = 0;
    std::unique_ptr<CEffectWindowLink> m_effectWindow;
    uint8_t m_units = kUnitPixels;
    uint8_t m_created = 0;
    ViewPreferences m_prefs;
    CLayoutModel m_layout;
    CLayoutSink* m_layoutSink = nullptr;
    CJigcrafterPieceSource m_pieceSource;
    CPieceView* m_pieces = nullptr;
    CLayoutDrawing m_drawing;
    CQWF_Image m_source;
    CQWF_Image m_piecesImage;
    CQWF_String m_status;
    CStatusLine m_statusLine;
    CQWF_String m_info;
    // The knot randomness the controls show and Randomize applies (0..1); the layout keeps the
    // amplitude its knots were last drawn with.
    float m_randomness = 0.0f;
    int32_t m_lastX = 2147483647;
    int32_t m_lastY = 2147483647;
    bool m_infoSizeForm = true;  // the info line shows the image size, not a position
    int m_zoom = 4;

    QWF_Rect m_previewRect = {0, 0, 0, 0};
    QWF_Rect m_hRulerRect = {0, 0, 0, 0};
    QWF_Rect m_vRulerRect = {0, 0, 0, 0};
    CQWF_CtrlPreview m_preview;
    CQWF_Layer m_layoutLayer;  // knives and grid lines over the picture
    CQWF_Layer m_selectionLayer;  // the rubber band or lasso over the dimmed preview
    CQWF_Layer m_hRuler;
    CQWF_Layer m_vRuler;

    // The context of the last pop-up menu.
    int32_t m_contextPiece = -1;
    int64_t m_effectMask = -1;
    CQWF_DWordArray m_menuKnives;
    int32_t m_menuKnot = -1;
    int m_menuLine = -1;
    bool m_menuLineHorizontal = false;
    int32_t m_menuX = 0;
    int32_t m_menuY = 0;
    // Hover tracking: the zone whose hint the status line shows (a CLayoutMouse zone, 255 while
    // a control is under the pointer) and the hint mode it was shown in.
    uint8_t HintMode() const;
    void ShowZoneHint(int32_t x, int32_t y);
    uint8_t m_hoverZone = 255;
    uint8_t m_hoverHintMode = 0;
    uint8_t m_tick = 0;
    int32_t m_hoverX = -1;
    int32_t m_hoverY = -1;
    CMouseSink* m_mouseSink = nullptr;
    CLayoutMouse* m_mouse = nullptr;

    int32_t m_cInfo = -1, m_cStatus = -1, m_cNavigator = -1, m_cModeL = -1, m_cModeP = -1;
    int32_t m_cApply = -1, m_cApplyLM = -1, m_cCancel = -1, m_cCloseX = -1, m_cAdd = -1,
            m_cDel = -1;
};
