// Knife-path export: the knives of the layout as stroked Bezier paths in an Encapsulated
// PostScript file or an Adobe Illustrator 3 file, with the options of the knife export.
#pragma once

#include <cstdint>

#include "plugin/main/export_files.h"

class CLayoutModel;
class CQWF_Progress;
class CQWF_StdFile;
class CQWF_Storage;

struct KnifeExportOptions {
    uint8_t exportWhat = 2;  // 2 selected knives, 3 all knives
    uint8_t exportTo = 1;    // 1 Encapsulated PostScript, 2 Adobe Illustrator 3
};

// Counts over the column, row and extra knives of the layout.
struct KnifeCounts : ExportCounts {};

// What the knife-path writer reads besides the layout.
struct KnifePathSettings {
    bool eps = true;       // false: Illustrator 3
    bool all = false;      // every shown knife, whatever is selected
    double resolution = 72.0;  // pixels per inch of the document; 0 or less is taken as 72
    int32_t width = 0;     // document size in pixels
    int32_t height = 0;
};

namespace qwexport {

// "Export LM Settings>ExportWhat" and "Export LM Settings>ExportTo"; a missing key keeps the value
// in the options. Saving creates the folder and writes ExportWhat, then ExportTo.
void LoadKnifeExportOptions(CQWF_Storage* store, KnifeExportOptions& options);
void SaveKnifeExportOptions(CQWF_Storage* store, const KnifeExportOptions& options);

KnifeCounts CountKnives(const CLayoutModel& model);

// Builds the whole file text of the knives that are written: every knife that is not hidden and
// is selected, or every knife that is not hidden when none is selected or `all` is set. The
// bounding box covers the page and every stroke. False (with a message) when a curve or the text
// cannot be built.
bool BuildKnifePathText(const CLayoutModel& model, const KnifePathSettings& settings,
                        CQWF_Mem& text, size_t& length, CQWF_Progress* progress,
                        CUserMessageSink* messages);

// The writer of the knife export: the text above written whole into the file and flushed; a
// file that is written only in part shows "Cannot write file...".
bool WriteLayoutPostScript(CQWF_StdFile* file, const CLayoutModel& model,
                           const KnifePathSettings& settings, CQWF_Progress* progress,
                           CUserMessageSink* messages);

}  // namespace qwexport
