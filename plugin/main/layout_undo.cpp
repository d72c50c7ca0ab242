// The one-level undo of Layout mode. Structural edits record the whole layout as a blob (a full
// state) before they change it; the frequent edits of lines, knots and knife flags take a light
// snapshot of just that part before the change and keep it only when the change altered
// something. Undo exchanges the stored state with the current one, so a second Undo redoes.
#include "plugin/main/layout_model.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr const char* kNoMemory = "Memory allocation problem...";
constexpr const char* kErrorCaption = "Error!";
}  // namespace

size_t CLayoutModel::UndoContentSize(int kind) const
{
    switch (kind) {
    case kUndoLines:
        return (static_cast<size_t>(m_yLineCount) + m_xLineCount) * 4;
    case kUndoKnots:
        return static_cast<size_t>(std::max(m_knotCount, 0)) * 8;
    case kUndoKnifeFlags:
        return (static_cast<size_t>(m_rowCount) + m_colCount + m_extraCount) * 4;
    default:
        return 0;
    }
}

void CLayoutModel::WriteUndoContent(int kind, uint8_t* out) const
{
    if (kind == kUndoLines) {
        std::memcpy(out, m_yLines, static_cast<size_t>(m_yLineCount) * 4);
        std::memcpy(out + static_cast<size_t>(m_yLineCount) * 4, m_xLines,
                    static_cast<size_t>(m_xLineCount) * 4);
    } else if (kind == kUndoKnots) {
        const KnotRecord* k = Knots();
        for (int32_t i = 0; i < m_knotCount; ++i) {
            std::memcpy(out + 8 * static_cast<size_t>(i), &k[i].x, 4);
            std::memcpy(out + 8 * static_cast<size_t>(i) + 4, &k[i].y, 4);
        }
    } else if (kind == kUndoKnifeFlags) {
        uint8_t* p = out;
        auto put = [&](const KnifeRecord& k) {
            p[0] = k.flipAcross;
            p[1] = k.flipAlong;
            p[2] = k.selected;
            p[3] = k.hidden;
            p += 4;
        };
        for (int32_t i = 0; i < m_rowCount; ++i)
            put(RowKnives()[i]);
        for (int32_t i = 0; i < m_colCount; ++i)
            put(ColumnKnives()[i]);
        for (int32_t i = 0; i < m_extraCount; ++i)
            put(ExtraKnives()[i].knife);
    }
}

bool CLayoutModel::TakeUndoSnapshot(int kind)
{
    if (kind < kUndoLines || kind > kUndoKnifeFlags)
        return false;
    const size_t size = UndoContentSize(kind);
    m_snapKind = 0;
    if (m_snapshot.GetSize() < size && !m_snapshot.Alloc(size)) {
        m_pSink->ShowMessage(kNoMemory, kErrorCaption);
        m_pSink->CloseWindow();
        return false;
    }
    WriteUndoContent(kind, m_snapshot.GetData());
    m_snapKind = kind;
    m_snapSize = size;
    if (kind == kUndoKnots)
        m_snapAmplitude = m_knotAmplitude;
    if (kind == kUndoKnifeFlags) {
        m_snapLast[0] = m_lastKnife;
        m_snapLast[1] = m_lastKnifeRow;
        m_snapLast[2] = m_lastKnifeExtra;
    }
    return true;
}

void CLayoutModel::RecordUndo(int mode, int kind)
{
    if (mode == 0) {
        // A run of edits of one kind keeps the state from before the first of them.
        if (!m_undoEmpty && m_undoLight == 0 && !m_undoBarrier && kind == m_undoFull)
            return;
        size_t length = 0;
        // Serialised aside first: a failure leaves the stored state whole.
        if (!SerializeLayout(m_undoScratch, length))
            return;
        m_undo.Swap(m_undoScratch);
        m_undoSize = length;
        m_undoFull = kind;
        m_undoLight = 0;
        m_undoEmpty = false;
        m_undoBarrier = false;
        return;
    }
    if (mode < kUndoLines || mode > kUndoKnifeFlags)
        return;
    // The snapshot must be of this kind and of the layout as it is now counted.
    const size_t size = UndoContentSize(mode);
    if (m_snapKind != mode || m_snapSize != size)
        return;
    m_snapKind = 0;
    CQWF_Mem current;
    if (size > 0 && !current.Alloc(size)) {
        m_pSink->ShowMessage(kNoMemory, kErrorCaption);
        m_pSink->CloseWindow();
        return;
    }
    if (size > 0)
        WriteUndoContent(mode, current.GetData());
    if (size == 0 || std::memcmp(current.GetData(), m_snapshot.GetData(), size) == 0)
        return;
    if (m_undo.GetSize() < size && !m_undo.Alloc(size)) {
        m_undoEmpty = true;
        m_pSink->ShowMessage(kNoMemory, kErrorCaption);
        m_pSink->CloseWindow();
        return;
    }
    std::memcpy(m_undo.GetData(), m_snapshot.GetData(), size);
    m_undoSize = size;
    if (mode == kUndoKnots)
        m_undoAmplitude = m_snapAmplitude;
    if (mode == kUndoKnifeFlags)
        std::copy(m_snapLast, m_snapLast + 3, m_undoLast);
    m_undoLight = mode;
    m_undoBarrier = true;
    m_undoFull = 0;
    m_undoEmpty = false;
}

void CLayoutModel::ResetUndo()
{
    m_undoEmpty = true;
    m_snapKind = 0;
}

void CLayoutModel::Undo()
{
    if (m_undoEmpty)
        return;
    const int kind = m_undoLight;
    if (kind == kUndoLines) {
        TakeUndoSnapshot(kUndoLines);
        if (m_undoSize == UndoContentSize(kUndoLines)) {
            const uint8_t* p = m_undo.GetData();
            std::memcpy(m_yLines, p, static_cast<size_t>(m_yLineCount) * 4);
            std::memcpy(m_xLines, p + static_cast<size_t>(m_yLineCount) * 4,
                        static_cast<size_t>(m_xLineCount) * 4);
        }
        RecordUndo(kUndoLines, 0);
        RefreshOverlay();
        return;
    }
    if (kind == kUndoKnots) {
        // The amplitude goes back with the knots it drew.
        const float amplitude = std::clamp(m_undoAmplitude, 0.0f, 1.0f);
        TakeUndoSnapshot(kUndoKnots);
        m_knotAmplitude = amplitude;
        if (m_undoSize == UndoContentSize(kUndoKnots)) {
            const uint8_t* p = m_undo.GetData();
            KnotRecord* k = Knots();
            for (int32_t i = 0; i < m_knotCount; ++i) {
                std::memcpy(&k[i].x, p + 8 * static_cast<size_t>(i), 4);
                std::memcpy(&k[i].y, p + 8 * static_cast<size_t>(i) + 4, 4);
            }
        }
        RecordUndo(kUndoKnots, 0);
        RefreshOverlay();
        m_pSink->ShowRandomness(std::min(100, static_cast<int>(amplitude * 100.0f + 0.5f)));
        return;
    }
    if (kind == kUndoKnifeFlags) {
        TakeUndoSnapshot(kUndoKnifeFlags);
        if (m_undoSize == UndoContentSize(kUndoKnifeFlags)) {
            const uint8_t* p = m_undo.GetData();
            auto get = [&](KnifeRecord& k) {
                k.flipAcross = p[0];
                k.flipAlong = p[1];
                k.selected = p[2];
                k.hidden = p[3];
                p += 4;
            };
            for (int32_t i = 0; i < m_rowCount; ++i)
                get(RowKnives()[i]);
            for (int32_t i = 0; i < m_colCount; ++i)
                get(ColumnKnives()[i]);
            for (int32_t i = 0; i < m_extraCount; ++i)
                get(ExtraKnives()[i].knife);
            SetLastKnife(m_undoLast[0], m_undoLast[1] != 0, m_undoLast[2] != 0);
        }
        UpdateSelectionState();
        RecordUndo(kUndoKnifeFlags, 0);
        RefreshOverlay();
        return;
    }

    // A full state: the layout before the Undo becomes the stored state.
    size_t length = 0;
    if (!SerializeLayout(m_undoScratch, length))
        return;
    ReadLayoutV3(m_undo.GetData(), m_undoSize, nullptr, nullptr, false);
    if (m_layoutMode && m_pCutter) {
        bool mixedA = false;
        bool mixedB = false;
        const int tips = GetKnivesCommonA(true, mixedA);
        const int thick = GetKnivesCommonB(true, mixedB);
        m_pSink->CutterShowLayout(m_xLineCount + 1, m_yLineCount + 1, thick, mixedB,
                                  m_flags[kFlagRazor] != 0, tips, mixedA,
                                  m_flags[kFlagAntiAlias] != 0);
    }
    m_undo.Swap(m_undoScratch);
    m_undoSize = length;
    m_undoBarrier = true;
    RefreshOverlay();
    UpdateAddExtraButton();
}
