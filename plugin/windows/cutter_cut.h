// The Cutter's Cut, without a window: the main window's knives handed to the engine, the image
// cut and every piece rendered behind a progress sink that may cancel, and the effect settings
// the pieces had before the cut given back to the new pieces by their grid cell.
#pragma once

#include "framework/core/qwf_progress.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/core/piece_effect_record.h"

#include <cstdint>

// The picture the pieces are cut from: the working size, the filtered area's mask (row stride 0:
// one row for the whole image; null: none) and three 8-bit planes of width x height bytes.
struct CutPicture {
    int32_t width;
    int32_t height;
    const uint8_t* mask;
    int64_t maskStride;
    const uint8_t* planes[3];
};

// The surroundings of a cut: the hand-over of the knives and the windows' pending messages.
class CCutSite {
public:
    virtual ~CCutSite() = default;
    virtual bool TransferKnives() = 0;
    virtual void PumpMessages() {}
};

struct CutOutcome {
    // The pieces no longer match the records one for one (the user is asked whether to reset
    // their effects).
    bool layoutChanged = false;
};

// The records (92 bytes each, host order) are matched in order when their count and cells equal
// the pieces', else by cell. False when the hand-over, the cut (also a cancel) or a render
// failed; the old pieces are gone then.
bool RunCut(CJigcrafter& engine, CCutSite& site, CQWF_Progress& progress,
            const CutPicture& picture, const uint8_t* records, uint32_t recordCount,
            CutOutcome& outcome);
