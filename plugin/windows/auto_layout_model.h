// The auto layout dialog without its window: the shape of the layout (triangles or hexagons),
// the rows and columns held to that shape's bounds, the regular switch, the texts of the two edit
// lines, and the settings under "Auto Layout Settings". On OK the Cutter stores the values and
// hands them to the main window's builder of the chosen shape.
#pragma once

#include "framework/core/qwf_string.h"

#include <cstdint>

class CLayoutModel;
class CQWF_Storage;

// The main window's builders of the two automatic layouts.
class CAutoLayoutBuilder {
public:
    virtual ~CAutoLayoutBuilder() = default;
    virtual bool BuildTriangularLayout(int rows, int columns, bool regular) = 0;
    virtual bool BuildHexagonalLayout(int rows, int columns, bool regular) = 0;
};

// The layout model's builders.
class CLayoutAutoBuilder : public CAutoLayoutBuilder {
public:
    explicit CLayoutAutoBuilder(CLayoutModel& model) : m_model(model) {}
    bool BuildTriangularLayout(int rows, int columns, bool regular) override;
    bool BuildHexagonalLayout(int rows, int columns, bool regular) override;

private:
    CLayoutModel& m_model;
};

class CAutoLayoutModel {
public:
    enum Shape : uint8_t { kTriangular = 0, kHexagonal = 1 };
    enum Field : int { kRows = 0, kColumns = 1 };

    // Values of a new dialog: 2 rows, 2 columns, triangles, not regular.
    CAutoLayoutModel();

    // Presets the values from the settings that exist ("Rows", "Cols", "Shape", "Regular").
    void LoadSettings(CQWF_Storage* prefs);
    // Shows the values as the dialog does when it is created: the shape's bounds, each value held
    // to 1..maximum, the edits showing the values.
    void Show();

    int32_t GetRows() const { return m_rows; }
    int32_t GetColumns() const { return m_columns; }
    int32_t GetValue(int field) const { return field == kRows ? m_rows : m_columns; }
    int32_t GetMaximum(int field) const { return field == kRows ? m_maxRows : m_maxColumns; }
    uint8_t GetShape() const { return m_shape; }
    bool IsRegular() const { return m_regular != 0; }
    const char* GetEditText(int field) const { return m_text[field == kRows ? 0 : 1].GetBuffer(); }

    // A slider moved to v (held to 1..maximum); its edit shows the value.
    void OnSlider(int field, int32_t v);
    // The edit's text changed: the number (0 or below, or no number, gives 1) held to the
    // maximum moves the slider; the text stays as typed.
    void OnEditChanged(int field, const char* text);
    // The edit lost the focus: as a change, and the text is rewritten as the value.
    void OnEditDone(int field);
    // One of the two radio buttons: the shape's bounds, then both edits held again (columns
    // first).
    void SetShape(uint8_t shape);
    void SetRegular(bool regular) { m_regular = regular ? 1 : 0; }

    // OK: stores the values and runs the builder of the shape.
    bool Apply(CQWF_Storage* prefs, CAutoLayoutBuilder* builder) const;
    bool SaveSettings(CQWF_Storage* prefs) const;

    static int32_t MaxRows(uint8_t shape) { return shape == kHexagonal ? 97 : 98; }
    static int32_t MaxColumns(uint8_t shape) { return shape == kHexagonal ? 48 : 97; }

private:
    void SetValue(int field, int32_t v);
    void TakeBounds();

    int32_t m_rows = 2;
    int32_t m_columns = 2;
    uint8_t m_regular = 0;
    uint8_t m_shape = kTriangular;
    int32_t m_maxRows = 98;
    int32_t m_maxColumns = 97;
    CQWF_String m_text[2];
};
