#include "plugin/windows/cutter_cut.h"

bool RunCut(CJigcrafter& engine, CCutSite& site, CQWF_Progress& progress,
            const CutPicture& picture, const uint8_t* records, uint32_t recordCount,
            CutOutcome& outcome)
{
    outcome = CutOutcome{};
    site.PumpMessages();
    if (!site.TransferKnives())
        return false;
    CQWF_Progress* before = engine.GetProgress();
    engine.SetProgressSink(&progress);
    progress.SetPercent(5);
    engine.FreePieces();
    const bool cut = engine.Cut(picture.width, picture.height, picture.mask, picture.maskStride,
                                picture.planes, picture.width, 3, 5, 80, false);
    if (!cut) {
        engine.SetProgressSink(before);
        return false;
    }
    progress.SetPercent(80);
    const int32_t n = engine.GetPieceCount();
    if (!records)
        recordCount = 0;

    bool inOrder = recordCount > 0 && recordCount == static_cast<uint32_t>(n);
    PieceEffectRecord rec;
    for (int32_t i = 0; inOrder && i < n; ++i) {
        qwpiece::Load(records + static_cast<size_t>(i) * qwpiece::kRecordSize, rec);
        const JigPiece* p = engine.GetPiece(i);
        inOrder = rec.row == p->row && rec.column == p->column;
    }
    // Without memory for the index the records are simply not matched by cell.
    qwpiece::CRecordIndex index;
    if (recordCount > 0 && !inOrder)
        index.Build(records, recordCount);

    const double step = n > 0 ? 20.0 / n : 0.0;
    double percent = 80.0;
    int lastWhole = 80;
    for (int32_t i = 0; i < n; ++i) {
        if (static_cast<int>(percent) != lastWhole) {
            lastWhole = static_cast<int>(percent);
            progress.SetPercent(static_cast<uint8_t>(lastWhole));
        }
        site.PumpMessages();
        percent += step;
        int32_t match = -1;
        if (recordCount > 0) {
            if (inOrder) {
                match = i;
            } else {
                const JigPiece* p = engine.GetPiece(i);
                const int32_t j = index.Find(p->row, p->column);
                if (j >= 0 && static_cast<uint32_t>(j) < recordCount)
                    match = j;
            }
        }
        if (match >= 0) {
            qwpiece::Load(records + static_cast<size_t>(match) * qwpiece::kRecordSize, rec);
            engine.RecordToPiece(rec, i);
        }
        if (!engine.RenderPiece(i)) {
            engine.SetProgressSink(before);
            return false;
        }
    }
    progress.SetPercent(100);
    engine.SetProgressSink(before);
    outcome.layoutChanged = recordCount > 0 && !inOrder;
    return true;
}
