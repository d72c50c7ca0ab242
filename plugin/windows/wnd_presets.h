// The presets manager: the knife-shape library "ckss.data" shown as thumbnails (eight small or
// two large cells with names) and as a list of names whose selection is the library's. Its
// buttons send a shape to the Cutter, rename, delete and sort, load a knife-shape file into the
// library and exchange shape sets; the library in memory is written back when it closes, and a
// failure to write it is reported.
#pragma once

#include "framework/imaging/qwf_2dmath.h"
#include "framework/imaging/qwf_layer.h"
#include "plugin/windows/dialog_window.h"
#include "plugin/windows/presets_model.h"
#include "plugin/windows/shape_messages.h"

// The window a shape from the library goes to (the Cutter's shape editor).
class CShapeReceiver {
public:
    virtual ~CShapeReceiver() = default;
    virtual void SetShape(const KnifeShape& shape, bool clone) = 0;
};

class CWnd_PresetsManager : public CDialogWindow {
public:
    static constexpr const char* kSkinName = "PresMng";
    static constexpr const char* kPositionGroup = "Cutter";
    static constexpr const char* kPositionName = "Pres Mng";
    // The colours of the thumbnails (0xAABBGGRR): the curves, the selected cells' fill.
    static constexpr uint32_t kCurveColour = 0xFFEBE8E6u;
    static constexpr uint32_t kSelectionColour = 0x60288CF2u;

    CWnd_PresetsManager(CDialogHost* host, CShapeReceiver* cutter);
    ~CWnd_PresetsManager() override;

    // The full path of "ckss.data" (before Run).
    void SetLibraryPath(const char* path) { m_model.SetLibraryPath(CQWF_String(path)); }
    CPresetsManagerModel& Model() { return m_model; }
    int32_t Run(CQWF_Window* owner);

    bool Close() override;
    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnLButtonDown(int32_t x, int32_t y, uint32_t flags) override;
    bool OnDoubleClick(int32_t x, int32_t y, uint32_t flags) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool OnChar(uint32_t character, uint32_t modifiers) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;

    // The cell at a window point, or -1.
    int CellAt(int32_t x, int32_t y) const;

protected:
    const char* HintWindowName() const override { return "PresetsManager"; }

private:
    class Messages : public CShapeMessageSink {
    public:
        explicit Messages(CWnd_PresetsManager* w) : m_window(w) {}
        void ShowError(const char* text) override;
        void ShowStatus(const char* text) override;

    private:
        CWnd_PresetsManager* m_window;
    };

    QWF_Rect CellRect(int cell, bool selection) const;
    // The list rebuilt from the library; the selection of the list from the model's.
    void FillList();
    void ShowSelection();
    void TakeListSelection();
    void EnableButtons();
    void UpdateScroll();
    void DrawCells();
    // After any change of the library or its selection: list, buttons, scroll bar, cells.
    void ShowLibrary(bool rebuildList);
    void SendToCutter(bool close);
    void Rename();
    void LoadShape();
    void LoadSet(bool replace);
    void SaveSet();
    static bool WriteSetFile(CQWF_StdFile* file, void* context);

    CShapeReceiver* m_cutter;
    Messages m_messages{this};
    CPresetsManagerModel m_model;
    CQWF_2DMath m_math;
    CQWF_Mem m_flat;
    CQWF_Layer m_selection;
    CQWF_Layer m_curves;
    QWF_Rect m_preview{0, 0, 0, 0};
    QWF_Rect m_small[8] = {};
    QWF_Rect m_smallSel[8] = {};
    QWF_Rect m_big[2] = {};
    QWF_Rect m_bigSel[2] = {};
    int32_t m_list = -1, m_hscroll = -1, m_status = -1, m_help = -1;
    int32_t m_smallBg = -1, m_bigBg = -1, m_name[2] = {-1, -1};
    int32_t m_sico = -1, m_lico = -1;
    int32_t m_saveSet = -1, m_rename = -1, m_delete = -1, m_toCutter = -1, m_toCutterClose = -1;
    bool m_open = false;
    bool m_syncing = false;
};
