// The layout model of the main window: grid lines, the knot lattice, row, column and extra knives
// with their shapes, and the layout blob that serialises them. The model is window-free; the main
// window owns one and reaches its controls, the Cutter and the host through a CLayoutModelSink.
#pragma once

#include "framework/core/qwf_mem.h"
#include "plugin/core/knot_lattice.h"
#include "plugin/core/piece_effect_record.h"

#include <cstddef>
#include <cstdint>

constexpr int kLayoutMaxExtraKnives = 19999;  // extra knives of one layout
constexpr int32_t kKnifeIdColumn = 1000000;  // knife identifiers across families
constexpr int32_t kKnifeIdExtra = 2000000;

// One knife. The records live in plain memory blocks that are grown and zero-filled, so the record
// stays trivially copyable; the cached outline is owned by the model through the pointer.
struct KnifeRecord {
    uint8_t flipAcross;  // node offsets H negated when drawn or cut
    uint8_t flipAlong;   // nodes reversed, U mirrored
    uint8_t hidden;
    uint8_t selected;
    int32_t tipsSize;   // percent 0..100
    int32_t thickness;  // pixels 1..100 (0 after a razor-cut version-2 layout)
    int32_t nodeCount;  // 0..64, 0 = straight
    float U[kKnifeMaxNodes];
    float H[kKnifeMaxNodes];
    float S[kKnifeMaxNodes];
    float meanU;
    float length;          // drawn length in pixels, 0 after loading
    CQWF_Mem* pOutline;    // cached outline (double x, y pairs), owned by the model
    int64_t outlinePoints;
    uint8_t marked;
};

struct ExtraKnifeRecord {
    KnifeRecord knife;
    int32_t knotA;
    int32_t knotB;
    int32_t reserved;
};

// One knot: its offsets (fractions of the neighbouring cell) and the working position the drawing
// code stores (never saved).
struct KnotRecord {
    float x;
    float y;
    double viewX;
    double viewY;
};

// The Cutter's current knife shape.
struct KnifeShape {
    uint8_t nodeCount;  // at most 64
    double H[kKnifeMaxNodes];
    double U[kKnifeMaxNodes];
    uint8_t selected[kKnifeMaxNodes];
    double S[kKnifeMaxNodes];
};

// What the model reads of the Cutter window while it is open.
struct CutterState {
    KnifeShape shape;
    uint16_t tipsSize;
    uint16_t thickness;
    float ampSmooth;  // mutation amplitudes 0..1
    float ampAcross;
    float ampAlong;
};

// The visible part of the image: in preview pixels and in image pixels (left, top, right, bottom).
struct LayoutView {
    double previewL, previewT, previewR, previewB;
    double imageL, imageT, imageR, imageB;
};

// The piece table the Puzzle-mode blob is built from (the cutting engine's, through an adapter).
class CPieceRecordSource {
public:
    virtual ~CPieceRecordSource() = default;
    virtual size_t GetPieceRecordCount() const = 0;
    // Fills the record of piece i (applied settings, selected, shown, grid row and column).
    virtual void GetPieceRecord(size_t i, PieceEffectRecord& out) const = 0;
};

// What the model asks of the main window, the Cutter and the host. Every operation has a harmless
// default so that the model runs without any window.
class CLayoutModelSink {
public:
    virtual ~CLayoutModelSink() = default;
    virtual void EnableControl(const char* /*name*/, bool /*enabled*/) {}
    virtual void CutterShowTipsSize(int /*value*/, bool /*mixed*/) {}
    virtual void CutterShowKnifeThickness(int /*value*/, bool /*mixed*/, bool /*razor*/) {}
    virtual void CutterSetShape(const KnifeShape& /*shape*/) {}
    virtual void ShowMessage(const char* /*text*/, const char* /*caption*/) {}
    // Redraw after a layout was read (overlay, preview area, add-extra-knife control).
    virtual void RedrawLayout() {}
    virtual void CloseWindow() {}
    // Host scripting parameters and files of the data folder.
    virtual bool ReadScriptParameters(CQWF_Mem& /*blob*/) { return false; }
    virtual bool WriteScriptParameters(const uint8_t* /*data*/, size_t /*size*/) { return false; }
    virtual bool ReadWholeFile(CQWF_Mem& /*blob*/, const char* /*name*/) { return false; }
    virtual bool WriteWholeFile(const uint8_t* /*data*/, size_t /*size*/, const char* /*name*/)
    {
        return false;
    }
};

class CLayoutModel : public CQWF_FrameWork {
public:
    // Layout flag bytes.
    enum Flag {
        kFlagSelected = 0,      // a knife is selected
        kFlagExtraOnly = 1,     // the selection lies among the extra knives only
        kFlagRazor = 2,
        kFlagAntiAlias = 3,
        kFlagSomeShown = 4,     // among the considered knives one is not hidden
        kFlagSomeHidden = 5,
        kFlagSomeExtra = 6,
        kFlagCount = 7
    };

    CLayoutModel();
    ~CLayoutModel() override;
    CLayoutModel(const CLayoutModel&) = delete;
    CLayoutModel& operator=(const CLayoutModel&) = delete;

    // Surroundings.
    void SetSink(CLayoutModelSink* sink) { m_pSink = sink ? sink : &m_nullSink; }
    void SetCutter(const CutterState* cutter) { m_pCutter = cutter; }  // null: Cutter closed
    void SetPieceSource(const CPieceRecordSource* source) { m_pPieces = source; }
    void SetImageSize(int32_t width, int32_t height) { m_imageW = width; m_imageH = height; }
    void SetLayoutMode(bool layoutMode) { m_layoutMode = layoutMode; }
    bool IsLayoutMode() const { return m_layoutMode; }
    void SetView(const LayoutView& view) { m_view = view; }

    // Grid and defaults.
    bool SetGridSize(int columns, int rows, bool force, bool clearExtras);
    int ColumnsForRows(int rows) const;
    int RowsForColumns(int columns) const;
    bool DefaultLayout();
    static void DefaultKnifeShape(KnifeRecord& knife);

    // Knots.
    void RandomizeKnots(bool all);
    void GetKnotPosition(int column, int row, double width, double height, double originX,
                         double originY, double& x, double& y) const;
    void GetKnotPositionByIndex(int32_t index, double width, double height, double originX,
                                double originY, double& x, double& y) const;
    int32_t RemapKnotIndex(int32_t index, bool inserting, bool vertical, int line) const;
    bool CanInsertGridLine(bool vertical, double x, double y) const;

    // Knife parameters.
    void SetKnivesThickness(int value, bool razor, bool onlySelected);
    void SetKnivesTips(int value, bool onlySelected);
    int GetKnivesCommonA(bool onlySelected, bool& mixed) const;
    int GetKnivesCommonB(bool onlySelected, bool& mixed) const;
    int SetKnifeShape(KnifeRecord& knife, float amplitudeS, float amplitudeH, float amplitudeU,
                      bool onlySelectedNodes, bool flip, bool flipAcross, bool takeSizes);
    void CloneShapeToKnives(bool onlySelected, float a, float b, float c, bool onlySelectedNodes);
    void FlipKnivesAcross(bool onlySelected, float a, float b, float c);
    void FlipKnivesAlong(bool onlySelected, float a, float b, float c);
    static void GetKnifeExtent(const KnifeRecord& knife, float& extentU, float& extentH);
    static void EqualizeKnob(KnifeRecord& knife, double width, double height, double scale);
    bool CanEqualizeKnobs(bool onlySelected) const;

    // Knife clipboard and the Cutter.
    void CopyKnife(int32_t index, bool rowFamily, bool extraFamily);
    void PasteKnifeShape(int32_t index, bool rowFamily, bool extraFamily);
    void SendKnifeToCutter(const KnifeRecord& knife);
    bool IsClipboardEmpty() const { return m_clipboardEmpty; }
    const KnifeRecord& GetClipboard() const { return m_clipboard; }

    // Selection.
    int GetKnivesSelectionState() const;
    void UpdateSelectionState();
    void UpdateKnifeButtons();
    void SelectKnifeRange(uint8_t value, int32_t fromIndex, bool fromIsRow, int32_t toIndex,
                          bool toIsRow);

    // Extra knives.
    bool ReserveExtraKnives(int64_t n);
    bool CanAddExtraKnife(int32_t a, int32_t b) const;
    void AddExtraKnife(int32_t a, int32_t b);
    void UpdateAddExtraButton();
    void UpdateExtrasButtons();
    void ReleaseKnifeCaches();

    // Layout blob.
    bool SerializeLayout(CQWF_Mem& block, size_t& length);
    bool ReadLayoutV3(uint8_t* data, size_t size, uint8_t** records, uint32_t* count, bool redraw);
    bool ReadLayoutV2(uint8_t* data, size_t size, uint8_t** records, uint32_t* count, bool redraw);
    bool SaveLastData();
    bool LoadLastData();
    // The reserve SerializeLayout makes for the current layout.
    size_t SerializeReserve() const;

    // Pending piece records of the last layout (host order, 92 bytes each).
    uint32_t GetPendingRecordCount() const { return m_pendingCount; }
    const PieceEffectRecord* GetPendingRecords() const
    {
        return reinterpret_cast<const PieceEffectRecord*>(m_pending.GetData());
    }
    void ClearPendingRecords();

    // Read access.
    int GetXLineCount() const { return m_xLineCount; }
    int GetYLineCount() const { return m_yLineCount; }
    const float* GetXLines() const { return m_xLines; }
    const float* GetYLines() const { return m_yLines; }
    float* XLines() { return m_xLines; }
    float* YLines() { return m_yLines; }
    int GetKnotsPerRow() const { return m_knotsPerRow; }
    int GetKnotRows() const { return m_knotRows; }
    int32_t GetKnotCount() const { return m_knotCount; }
    KnotRecord* Knots() const { return reinterpret_cast<KnotRecord*>(m_knots.GetData()); }
    float GetKnotAmplitude() const { return m_knotAmplitude; }
    void SetKnotAmplitude(float a) { m_knotAmplitude = a; }
    int32_t GetRowKnifeCount() const { return m_rowCount; }
    int32_t GetColumnKnifeCount() const { return m_colCount; }
    int32_t GetExtraKnifeCount() const { return m_extraCount; }
    KnifeRecord* RowKnives() const { return reinterpret_cast<KnifeRecord*>(m_rowKnives.GetData()); }
    KnifeRecord* ColumnKnives() const
    {
        return reinterpret_cast<KnifeRecord*>(m_colKnives.GetData());
    }
    ExtraKnifeRecord* ExtraKnives() const
    {
        return reinterpret_cast<ExtraKnifeRecord*>(m_extraKnives.GetData());
    }
    // The knife of a family (extraFamily first, then rowFamily, else the column knives); null when
    // the index is out of range.
    KnifeRecord* GetKnife(int32_t index, bool rowFamily, bool extraFamily) const;
    uint8_t GetFlag(int flag) const { return m_flags[flag]; }
    void SetFlag(int flag, uint8_t value) { m_flags[flag] = value; }
    int32_t GetLastKnife() const { return m_lastKnife; }
    void SetLastKnife(int32_t index) { m_lastKnife = index; }
    int GetPickedKnotCount() const { return m_pickedKnotCount; }
    void SetPickedKnots(int count, int32_t a, int32_t b);
    bool GetShowExtras(bool layoutMode) const { return m_showExtras[layoutMode ? 0 : 1] != 0; }
    void SetShowExtras(bool layoutMode, bool on) { m_showExtras[layoutMode ? 0 : 1] = on ? 1 : 0; }

private:
    // Calls fn(knife, isExtra) for every row, column and extra knife that is considered.
    template <typename Fn> void ForEachConsidered(bool onlySelected, Fn fn) const;
    template <typename Field>
    int CommonKnifeValue(bool onlySelected, bool& mixed, Field field, int none, int lo,
                         int hi) const;
    void FreeKnifeBlock(CQWF_Mem& block, int32_t count, size_t stride, size_t offset);
    void FreeOutline(KnifeRecord& knife);
    bool ForcedDefaultLayout();
    bool ReadKnife(class CQW_BEReader& r, KnifeRecord& knife, bool shortHeader);
    bool ReadGridBody(class CQW_BEReader& r, bool shortHeader);
    void SetExtraCount(int32_t n);

    CLayoutModelSink m_nullSink;
    CLayoutModelSink* m_pSink = &m_nullSink;
    const CutterState* m_pCutter = nullptr;
    const CPieceRecordSource* m_pPieces = nullptr;
    int32_t m_imageW = 0;
    int32_t m_imageH = 0;
    bool m_layoutMode = true;
    LayoutView m_view{};

    uint16_t m_xLineCount = 0;
    uint16_t m_yLineCount = 0;
    float m_xLines[kGridMaxLines] = {};
    float m_yLines[kGridMaxLines] = {};

    CQWF_Mem m_knots;
    uint16_t m_knotsPerRow = 0;
    uint16_t m_knotRows = 0;
    int32_t m_knotCount = 0;
    float m_knotAmplitude = 0.0f;

    CQWF_Mem m_rowKnives;
    int32_t m_rowCount = 0;
    CQWF_Mem m_colKnives;
    int32_t m_colCount = 0;
    CQWF_Mem m_extraKnives;
    int32_t m_extraCount = 0;

    uint8_t m_flags[kFlagCount] = {};
    KnifeRecord m_clipboard{};
    bool m_clipboardEmpty = true;
    int32_t m_lastKnife = -1;
    int m_pickedKnotCount = 0;
    int32_t m_pickedKnots[2] = {-1, -1};
    uint8_t m_showExtras[2] = {1, 1};

    CQWF_Mem m_pending;
    uint32_t m_pendingCount = 0;
};
