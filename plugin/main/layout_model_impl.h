// Templates shared by the layout model's source files.
#pragma once

#include "plugin/main/layout_model.h"

template <typename Fn> void CLayoutModel::ForEachConsidered(bool onlySelected, Fn fn) const
{
    const bool sel = onlySelected && m_flags[kFlagSelected];
    KnifeRecord* rows = RowKnives();
    for (int32_t i = 0; i < m_rowCount; ++i)
        if (!sel || rows[i].selected)
            fn(rows[i], false);
    KnifeRecord* cols = ColumnKnives();
    for (int32_t i = 0; i < m_colCount; ++i)
        if (!sel || cols[i].selected)
            fn(cols[i], false);
    ExtraKnifeRecord* extras = ExtraKnives();
    for (int32_t i = 0; i < m_extraCount; ++i)
        if (!sel || extras[i].knife.selected)
            fn(extras[i].knife, true);
}

// family 0 rows, 1 columns, 2 extras.
template <typename Fn> void CLayoutModel::ForEachInFamily(int family, bool onlySelected, Fn fn) const
{
    const bool sel = onlySelected && m_flags[kFlagSelected];
    const int32_t n = family == 0 ? m_rowCount : (family == 1 ? m_colCount : m_extraCount);
    for (int32_t i = 0; i < n; ++i) {
        KnifeRecord& k = family == 0   ? RowKnives()[i]
                         : family == 1 ? ColumnKnives()[i]
                                       : ExtraKnives()[i].knife;
        if (!sel || k.selected)
            fn(k, i);
    }
}
