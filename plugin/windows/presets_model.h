// The presets manager without its window: the library of named shapes read from "ckss.data",
// its selection (the list's selection), the cells that show the records as thumbnails, and the
// operations the window's buttons, keys and list run on it. A library file that exists but
// cannot be read is never written over by this model: neither the built-in set, nor the empty
// library in memory, nor an appended set replaces it (only an explicit "replace by a set" does).
#pragma once

#include "framework/core/qwf_file.h"
#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_string.h"
#include "plugin/main/layout_model.h"
#include "plugin/windows/shape_messages.h"

#include <cstddef>
#include <cstdint>

// Which of the window's selection-dependent buttons are enabled.
struct PresetsButtons {
    bool saveSet;      // "PresMng_SaveSet": one or more selected
    bool deleteShape;  // "PresMng_DelShape"
    bool rename;       // "PresMng_RenShape": exactly one selected
    bool toCutter;     // "PresMng_ToCutter"
    bool toCutterClose;
};

class CPresetsManagerModel : public CQWF_FrameWork {
public:
    static constexpr int kSmallCells = 8;
    static constexpr int kBigCells = 2;

    CPresetsManagerModel() = default;
    ~CPresetsManagerModel() override = default;
    CPresetsManagerModel(const CPresetsManagerModel&) = delete;
    CPresetsManagerModel& operator=(const CPresetsManagerModel&) = delete;

    void SetMessages(CShapeMessageSink* messages) { m_messages = messages; }
    // The full path of "ckss.data" in the data folder.
    void SetLibraryPath(const CQWF_String& path) { m_path = path; }

    // When the window is created: a missing library file becomes the built-in set (the
    // "DefSet" value, which may be null), then the library is read.
    void Open(const uint8_t* defaultSet, size_t defaultSetSize);
    // Replaces the library file by the built-in set when the file is missing.
    void LoadDefaultSet(const uint8_t* defaultSet, size_t defaultSetSize);
    // Reads "ckss.data" into memory; the library is empty when that fails.
    bool ReadLibrary();
    // When the window closes: the library in memory becomes "ckss.data" ("Cannot update presets
    // file..." when that fails). Nothing is written over a library file that could not be read.
    bool Close();

    // --- the records ---
    size_t GetCount() const { return m_count; }
    const uint8_t* GetRecord(size_t i) const;
    void GetName(size_t i, CQWF_String& name) const;
    // False for a missing or damaged record (RecordToShape).
    bool GetShape(size_t i, KnifeShape& shape) const;
    bool IsLibraryUnreadable() const { return m_unreadable; }

    // --- selection ---
    bool IsSelected(size_t i) const;
    void SetSelected(size_t i, bool selected);
    size_t GetSelectedCount() const;
    // The first selected record, or -1.
    int64_t GetFirstSelected() const;
    void SelectAll();
    void SelectNone();
    // A click in a cell: the cell's record is selected, the others deselected unless ctrl.
    // False when the cell shows no record.
    bool ClickCell(int cell, bool ctrl);
    bool RunAccelerator(int id);
    PresetsButtons GetButtons() const;

    // --- cells ---
    bool IsBigIcons() const { return m_big; }
    int GetCellCount() const { return m_big ? kBigCells : kSmallCells; }
    void SetBigIcons(bool big);
    size_t GetFirstShown() const { return m_first; }
    // The record shown in a cell, or -1.
    int64_t GetCellRecord(int cell) const;
    // The horizontal scroll bar moved: first shown = min(value, count - 1).
    void ScrollTo(int64_t value);
    // The first selected record before the first shown one or past the last cell becomes the
    // first shown; then the first shown is limited to count - 1.
    void KeepSelectionInView();

    // --- operations ---
    // Sorts by name, byte by byte (a name that begins another comes first); equal names keep
    // their order and every record keeps its selection.
    bool Sort();
    // Removes the selected records; nothing is selected afterwards.
    bool DeleteSelected();
    // The first selected record takes the name (cut to 63 characters).
    bool RenameSelected(const char* name);
    // The first selected record as the Cutter's new shape; false without a selection, and with
    // "Error reading data file..." when the record is damaged.
    bool GetShapeForCutter(KnifeShape& shape) const;
    // A shape loaded from a knife-shape file and named: the library in memory is written, the
    // shape appended and the library read again.
    bool AddShape(const char* name, const KnifeShape& shape);
    // A shape set read from a file: replaces the library or is appended to it, then the library
    // is read again.
    bool ReadShapeSet(const uint8_t* data, size_t size, bool replace);
    // The writer of "Save Set As...": the selected records as a set.
    bool WriteShapeSetFile(CQWF_StdFile& file);

private:
    bool WriteLibrary(const uint8_t* records, size_t count);
    void Report(const char* text) const;

    CShapeMessageSink* m_messages = nullptr;
    CQWF_String m_path;
    CQWF_Mem m_records;
    size_t m_count = 0;
    CQWF_Mem m_selected;  // one byte per record
    bool m_unreadable = false;
    bool m_big = false;
    size_t m_first = 0;
};
