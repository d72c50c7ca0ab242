// The Cutter: the modeless window beside the main window in Layout mode. It shows the knife
// shape (edited by CKnifeShapeEditor), the grid parameters of the Splitter, which it forwards to
// the main window, and runs the Cut with its progress bar and abort button. Closing hands Layout
// mode back to the main window.
#pragma once

#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_string.h"
#include "framework/imaging/qwf_layer.h"
#include "framework/ui/qwf_window.h"
#include "plugin/core/qw_windowprogress.h"
#include "plugin/main/cutter_link.h"
#include "plugin/main/filter_dialog_host.h"
#include "plugin/main/status_line.h"
#include "plugin/windows/cutter_cut.h"
#include "plugin/windows/knife_shape_editor.h"
#include "plugin/windows/shape_cloning.h"
#include "plugin/windows/shape_messages.h"
#include "plugin/windows/wnd_presets.h"

#include <cstdint>

class CWnd_Cutter : public CQWF_Window,
                    public CCutterLink,
                    public CCutterProgressTarget,
                    public CCutSite,
                    public CKnifeShapeView,
                    public CShapeReceiver,
                    public CShapeMessageSink {
public:
    explicit CWnd_Cutter(CCutterOwner* owner);
    ~CWnd_Cutter() override;

    // --- the window ---
    bool Close() override;
    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnTimer(uint32_t id) override;
    bool OnMouseMove(int32_t x, int32_t y, uint32_t flags) override;
    bool OnLButtonDown(int32_t x, int32_t y, uint32_t flags) override;
    bool OnLButtonUp(int32_t x, int32_t y, uint32_t flags) override;
    bool OnRButtonDown(int32_t x, int32_t y, uint32_t flags) override;
    bool OnSetCursor(int32_t x, int32_t y) override;
    bool OnHoverControl(int32_t index) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;
    int32_t ReleaseFocus(int32_t index) override;

    // --- CCutterLink ---
    void SetGrid(int rows, int columns, bool antiAliasing) override;
    void ShowTipsSize(int value, bool mixed) override;
    void ShowKnifeThickness(int value, bool mixed, bool razor) override;
    bool SetHandedRecords(const uint8_t* records, uint32_t count) override;
    bool SetLoadedRecords(const uint8_t* records, uint32_t count) override;
    void RefreshControls() override { UpdateControls(); }
    bool Open(int32_t x, int32_t y) override;
    CQWF_Window* GetWindow() override { return this; }
    const CutterState* GetCutterState() const override { return &m_editor.GetCutterState(); }
    void SetShape(const KnifeShape& shape) override;
    // --- CShapeReceiver: a shape from the presets manager, cloned when asked ---
    void SetShape(const KnifeShape& shape, bool clone) override;
    // The whole shape or nothing (a crash or a full disk at any write leaves the earlier one);
    // false when it could not be stored, or there is no store.
    bool SaveLastShape() override;
    // SaveLastShape, telling a failure of a store that can be written ("Cannot write file...").
    bool StoreLastShape();
    void SavePosition() override;
    bool GetCutDone() const override { return m_cutDone; }
    bool GetLayoutChanged() const override { return m_layoutChanged; }

    // --- the grid parameters and the Cut ---
    void ShowRows(int n);
    void ShowColumns(int n);
    void UpdateControls();
    bool RunCut();
    // The abort button or Escape while a cut runs.
    void RequestAbort() { if (m_cutting) m_abort = true; }
    bool IsCutting() const { return m_cutting; }
    bool GetMayClose() const { return m_mayClose; }
    int GetRows() const { return m_rows; }
    int GetColumns() const { return m_columns; }
    CKnifeShapeEditor& GetEditor() { return m_editor; }
    const char* GetStatusText() const { return m_status.GetBuffer(); }

    // --- the buttons beyond the grid ---
    void ShowHelpMenu();
    void ShowSaveMenu();
    void ShowCloningMenu();
    void ShowNodeMenu(int32_t x, int32_t y);
    void LoadShapeFile();
    // Menu items 32 (knife-shape file), 33 (EPS), 34 (Illustrator).
    void SaveShapeAs(int id);
    void RunPresetsManager();
    void AddShapeToPresets();
    void RunCustomMutations();
    void RunAutoLayout();
    // The library of named shapes in the data folder.
    CQWF_String GetLibraryPath() const;

    // --- CCutterProgressTarget ---
    void SetProgressPercent(uint8_t percent) override;
    void PumpOwnerMessages() override;
    void PumpOwnMessages() override;
    bool IsCancelRequested() const override { return m_abort; }
    // --- CCutSite ---
    bool TransferKnives() override;
    void PumpMessages() override;
    // --- CKnifeShapeView ---
    void RedrawKnife() override;
    void ShowSmoothness(const SmoothnessDisplay& display) override;
    void EnableUndoRedo(bool undo, bool redo) override;
    void ShowCloningText(const char* text) override;
    void RedrawOverlay(bool immediate) override;
    void EnableReClone(bool enabled) override;
    void Beep() override;
    // --- CShapeMessageSink ---
    void ShowError(const char* text) override;

private:
    int32_t Add(const char* name, uint8_t kind);
    void Vanish(int32_t index, bool hidden);
    void Enable(int32_t index, bool enabled);
    void SetSlider(int32_t index, int value);
    void SetEdit(int32_t index, const char* text);
    void SetEditNumber(int32_t index, int value);
    void SetStatus(const char* text);
    void EndCuttingMode();
    void ResetToOpening();
    void LoadLastShape();
    void OnSliderValue(int32_t index, int value, bool final, uint32_t modifiers);
    // A number field left: what it shows acts, held to its range.
    void CommitEdit(int32_t index);
    // A number field and its slider show the value in force.
    void ShowFieldValue(int32_t index);
    void EditTyping(int32_t index, const CQWF_String& text);
    bool LinkRC() const;
    bool OnMenuCommand(int id);
    // The hint of the zone under the pointer where no control is (the shape's area or none).
    void ShowZoneHint(int32_t x, int32_t y);
    void DrawOverlayLayer();
    uint32_t PreviewMods(uint32_t flags) const;
    CQWF_Storage* Prefs() const;

    CCutterOwner* m_owner;
    CKnifeShapeEditor m_editor;
    int m_rows = 1;
    int m_columns = 1;
    int m_thickness = 3;
    bool m_thickMixed = false;
    int m_tips = 100;
    bool m_tipsMixed = false;
    bool m_antiAliasing = true;
    bool m_razor = true;
    bool m_created = false;
    bool m_updating = false;
    bool m_cutting = false;
    bool m_abort = false;
    bool m_mayClose = true;
    bool m_cutDone = false;
    bool m_layoutChanged = false;
    CQWF_Mem m_opening;
    size_t m_openingLength = 0;
    CQWF_Mem m_handed;
    uint32_t m_handedCount = 0;
    CQWF_Mem m_loaded;
    uint32_t m_loadedCount = 0;
    CFilterDialogHost m_filterHost;
    CDialogHost* m_host = &m_filterHost;
    CLayoutCloneTarget* m_cloneTarget = nullptr;
    int32_t m_hoverIndex = -2;
    int8_t m_hoverZone = -1;  // 1 the shape's area, 0 none, -1 a control
    CQWF_String m_status;
    CStatusLine m_statusLine;

    QWF_Rect m_preview = {0, 0, 0, 0};
    CQWF_Layer m_knifeLayer;
    CQWF_Layer m_overlayLayer;
    // Control indices.
    int32_t m_cHelp = -1, m_cCloseX = -1, m_cCancel = -1, m_cFlipH = -1, m_cFlipU = -1;
    int32_t m_cSave = -1, m_cLoad = -1, m_cPresets = -1, m_cAddToPM = -1, m_cReClone = -1;
    int32_t m_cClone = -1, m_cCut = -1, m_cReset = -1, m_cRedo = -1, m_cUndo = -1;
    int32_t m_cAutoLayout = -1;
    int32_t m_cZoom[3] = {-1, -1, -1};
    int32_t m_sSmooth = -1, m_sRows = -1, m_sColumns = -1, m_sThick = -1, m_sTips = -1;
    int32_t m_eSmooth = -1, m_eRows = -1, m_eColumns = -1, m_eThick = -1, m_eTips = -1;
    int32_t m_tStatus = -1, m_tClone = -1;
    int32_t m_cAntiAliasing = -1, m_cRazor = -1, m_cLinkRC = -1;
    int32_t m_cCover = -1, m_cAbort = -1, m_cProgress = -1;
};

// Makes CWnd_Main's Cutters from this layer.
void InstallCutterFactory();
