// Piece export: the rendered pieces as one layered PSD file or as one PNG file per piece.
//
// The export reads the pieces through CRenderedPieceSource, a narrow view of the cutting engine's
// piece table (bounds, rendered planes, grid cell, selection, visibility, opacity, bevel) and of
// the main window's rendered document image. CPieceExport chooses and orders the pieces, builds
// one item per layer or file and restores every piece it changed; its two writers are the
// callbacks the save dialogs (or qwexport::WriteFile / WriteFileSeries) run on the chosen files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_fileseries.h"
#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_string.h"
#include "framework/imaging/qwf_image.h"
#include "plugin/main/export_files.h"

class CQWF_ImagePNG;
class CQWF_Progress;
class CQWF_StdFile;
class CQWF_Storage;

// ---------------------------------------------------------------------------------------------
// Options, as the Export window and the settings store hold them.

struct PieceExportOptions {
    uint8_t exportWhat = 2;        // 1 merged image, 2 selected pieces, 3 all pieces
    uint8_t exportTo = 1;          // 1 one layered PSD file, any other value PNG files
    uint8_t namingMode = 2;        // 1 simple, any other value extended
    uint8_t includeComposite = 1;  // the remaining shown pieces as one extra layer or file
    uint8_t withoutBevel = 0;      // pieces written without their bevel
    uint8_t includeHidden = 0;     // hidden pieces too (PSD only)
    uint8_t preservePosition = 1;  // PNG files of the document's size, the piece at its place
};

namespace qwexport {
// "Export Settings>..." keys; a missing key keeps the value already in the options.
void LoadPieceExportOptions(CQWF_Storage* store, PieceExportOptions& options);
// Creates the folder and writes the seven bytes in the order of the settings table.
void SavePieceExportOptions(CQWF_Storage* store, const PieceExportOptions& options);
// The printf format of the item numbers of an export of count items: as many digits as the
// count has, zero-padded.
const char* NumberFormat(uint32_t count);
}  // namespace qwexport

// ---------------------------------------------------------------------------------------------
// The pieces as the export sees them.

struct RenderedPiece {
    int32_t left = 0;  // bounds in document pixels, right and bottom exclusive
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    const uint8_t* planes[4] = {};  // red, green, blue, alpha of the rendered piece at (left, top)
    int64_t stride = 0;
    int32_t row = 0;     // grid cell, 1-based
    int32_t column = 0;
    uint8_t selected = 0;
    uint8_t shown = 1;
    uint8_t opacityOn = 0;   // the opacity applied by the last rendering
    uint8_t opacity = 255;
    uint8_t bevelRendered = 0;  // the last rendering had a bevel
};

// The document image the merged and the composite item take: red, green, blue and alpha planes
// of width x height pixels.
struct DocumentImage {
    const uint8_t* planes[4] = {};
    int64_t stride = 0;
    int32_t width = 0;
    int32_t height = 0;
};

class CRenderedPieceSource {
public:
    virtual ~CRenderedPieceSource() = default;
    virtual int32_t GetPieceCount() const = 0;
    // False for an index outside the table or a piece without rendered RGB planes.
    virtual bool GetPiece(int32_t index, RenderedPiece& out) const = 0;
    virtual void SetShown(int32_t index, bool shown) = 0;
    // Switches the bevel of the piece's settings to apply and renders it again.
    virtual bool RenderWithBevel(int32_t index, bool bevelOn) = 0;
    // The rendered document image; false when it cannot be had.
    virtual bool GetDocumentImage(DocumentImage& out) = 0;
    // Lays the shown pieces inside the rectangle over the document image again, reporting into
    // [from, to] percent of the sink.
    virtual bool Recomposite(int32_t left, int32_t top, int32_t right, int32_t bottom,
                             CQWF_Progress* progress, uint8_t from, uint8_t to) = 0;
};

// Counts over the whole piece table, for the Export window.
struct PieceCounts : ExportCounts {
    bool notAllSelected = false;
    bool someUnselectedShown = false;
    bool someHidden = false;
};

namespace qwexport {
PieceCounts CountPieces(const CRenderedPieceSource& source);
}

// ---------------------------------------------------------------------------------------------
// Export items.

struct ExportItem {
    char name[61];  // layer name, at most 60 characters
    const uint8_t* planes[4];
    int64_t stride;
    int16_t left;
    int16_t top;
    uint16_t width;
    uint16_t height;
    uint8_t visible;
    uint8_t opacity;
};

// What the writers need of the document besides its rendered image (whose size is the
// document's size).
struct ExportDocument {
    double resolution = 72.0;  // pixels per inch; 0 or less is taken as 72
    const uint8_t* profile = nullptr;  // colour profile, may be null
    uint32_t profileSize = 0;
};

// Piece indices ordered by the pieces' rows, then columns.
class CExportPiecesIDS : public CQWF_DWordArray {
public:
    explicit CExportPiecesIDS(const CRenderedPieceSource* source) : m_pSource(source) {}
    int Compare(const void* a, const void* b) override;

private:
    const CRenderedPieceSource* m_pSource;
};

// As a series job (qwf_fileseries.h) it writes the PNG files, several at once: the files go
// through their own PNG writers on worker threads, while the progress, the cancel query and the
// messages stay on the calling thread.
class CPieceExport : public CQWF_FileSeriesJob {
public:
    CPieceExport(CRenderedPieceSource& source, CQWF_Progress* progress, CUserMessageSink* messages);
    ~CPieceExport() override;
    CPieceExport(const CPieceExport&) = delete;
    CPieceExport& operator=(const CPieceExport&) = delete;

    // Chooses, orders and numbers the items (count: the number of layers or files the Export
    // window computed). Pieces whose bevel is switched off and pieces hidden for the composite are
    // restored by Finish (also run by the destructor). False, with a message where the user must
    // know, when the export cannot go on; nothing is then left changed.
    bool Prepare(uint32_t count, const PieceExportOptions& options, const ExportDocument& document);
    // Gives back the bevels and shown flags and composites the document image again.
    bool Finish();

    // Writer callbacks; context is the CPieceExport. WritePng writes one PNG file of the
    // series at a time, on the calling thread.
    static bool WritePsd(CQWF_StdFile* file, void* context);
    static bool WritePng(CQWF_StdFile* file, void* context, uint32_t index);

    // The PNG series as a job: as many files at once as there are worker threads (at most one
    // a file); each file's failure is told when the series reaches it; the progress moves from
    // 40 to 90 percent as the files take their names, and a cancelling sink ends the series
    // before the file at hand takes its name.
    uint32_t GetThreads() const override { return m_slots; }
    bool WriteFile(CQWF_StdFile& file, uint32_t index, uint32_t slot) override;
    bool Next(uint32_t index) override;
    void TellFailure(uint32_t index) override;

    // Prepare, the file (PSD) or files (PNG) at the chosen path, Finish. `written` counts the
    // files written whole.
    bool ExportTo(const CQWF_String& path, uint32_t count, const PieceExportOptions& options,
                  const ExportDocument& document, uint32_t* written = nullptr);

    uint32_t GetItemCount() const { return m_count; }
    const ExportItem* GetItems() const
    {
        return reinterpret_cast<const ExportItem*>(m_items.GetData());
    }
    const CQWF_StringArray& GetSuffixes() const { return m_suffixes; }
    const PieceExportOptions& GetOptions() const { return m_options; }

private:
    // The steps of Prepare; each tells what the user must know, and false ends the export.
    bool AllocateItems(uint32_t count);
    bool TakeDocument(const ExportDocument& document, DocumentImage& image);
    static void DocumentItem(ExportItem& item, const char* name, const DocumentImage& image);
    bool TakePieces(bool& remainder);
    bool AddComposite(DocumentImage& image);
    bool AddPieceItems(uint32_t count, bool composite);

    bool WritePsdFile(CQWF_StdFile* file);
    bool WritePngFile(CQWF_StdFile* file, uint32_t index);
    // How writing an item's PNG file ended.
    enum : uint8_t { kWritten, kFailed, kTellCannotWrite };
    // Writes item `index` with the writer; touches nothing of the export's.
    uint8_t WritePngItem(CQWF_StdFile* file, uint32_t index, CQWF_ImagePNG& png) const;
    // One PNG writer per worker thread and a failure byte per item.
    bool PrepareWriters();
    void SetPercent(int percent);
    void Fail(const char* text);
    ExportItem* Items() { return reinterpret_cast<ExportItem*>(m_items.GetData()); }
    void RestoreShown();
    void DropEmptyItems();

    CRenderedPieceSource& m_source;
    CQWF_Progress* m_progress;
    CUserMessageSink* m_messages;

    PieceExportOptions m_options;
    ExportDocument m_document;
    int32_t m_width = 0;   // document size
    int32_t m_height = 0;
    bool m_prepared = false;  // Finish has something to give back
    CQWF_Mem m_items;
    uint32_t m_count = 0;
    CQWF_StringArray m_suffixes;

    // The taken pieces in order, with what Finish must give back.
    CQWF_Mem m_taken;        // int32_t piece indices
    uint32_t m_takenCount = 0;
    CQWF_Mem m_wasShown;     // byte per taken piece
    CQWF_Mem m_hadBevel;     // byte per taken piece
    CQWF_Mem m_bevelOff;     // byte per taken piece: its bevel is switched off now
    bool m_shownChanged = false;
    int32_t m_union[4] = {};  // rectangle recomposited for the composite

    // The PNG series: one writer per worker, and what each item's file failed with.
    CQWF_ImagePNG* m_writers = nullptr;
    uint32_t m_slots = 1;
    CQWF_Mem m_failures;     // byte per item: how its file ended
};
