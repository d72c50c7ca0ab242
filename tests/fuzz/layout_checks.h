// What every layout the main window's readers leave must be, for the fuzz targets that read
// layouts: counts that agree with the grid, knives and knots in their bounds.
#pragma once

#include "plugin/main/layout_model.h"
#include "tests/fuzz/fuzz_support.h"

namespace qwfuzz {

inline void CheckLayout(const CLayoutModel& m)
{
    Check(m.GetXLineCount() <= kGridMaxLines && m.GetYLineCount() <= kGridMaxLines);
    Check(m.GetKnotCount() == (m.GetXLineCount() + 2) * (m.GetYLineCount() + 2));
    Check(m.GetRowKnifeCount() == m.GetXLineCount() * (m.GetYLineCount() + 1));
    Check(m.GetColumnKnifeCount() == m.GetYLineCount() * (m.GetXLineCount() + 1));
    Check(m.GetExtraKnifeCount() >= 0 && m.GetExtraKnifeCount() <= kLayoutMaxExtraKnives);
    for (int32_t i = 0; i < m.GetExtraKnifeCount(); ++i) {
        const ExtraKnifeRecord& x = m.ExtraKnives()[i];
        Check(x.knotA >= 0 && x.knotA < m.GetKnotCount());
        Check(x.knotB >= 0 && x.knotB < m.GetKnotCount());
        Check(x.knife.nodeCount >= 0 && x.knife.nodeCount <= kKnifeMaxNodes);
    }
    for (int32_t i = 0; i < m.GetRowKnifeCount(); ++i)
        Check(m.RowKnives()[i].nodeCount <= kKnifeMaxNodes);
    for (int32_t i = 0; i < m.GetColumnKnifeCount(); ++i)
        Check(m.ColumnKnives()[i].nodeCount <= kKnifeMaxNodes);
    for (int32_t i = 0; i < m.GetKnotCount(); ++i) {
        double x = 0, y = 0;
        m.GetKnotPositionByIndex(i, 1000.0, 800.0, 0.0, 0.0, x, y);
        Check(x >= 0.0 && x <= 1000.0 && y >= 0.0 && y <= 800.0);
    }
}

}  // namespace qwfuzz
