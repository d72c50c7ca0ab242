// The Cutter's own undo history of the knife shape: up to 201 snapshots (indices 0..200) of the
// node count and, per node, H, U, S and the selection flag. Entries past the newest reachable
// one stay allocated and are reused.
#pragma once

#include "framework/core/qwf_array.h"
#include "plugin/main/layout_model.h"

#include <cstdint>

class CShapeHistory : public CQWF_FrameWork {
public:
    static constexpr uint32_t kMaxIndex = 200;

    CShapeHistory() = default;
    ~CShapeHistory() override;
    CShapeHistory(const CShapeHistory&) = delete;
    CShapeHistory& operator=(const CShapeHistory&) = delete;

    // Stores the shape as a new entry and cuts off the redo tail. With compare set, a shape equal
    // to the current entry stores nothing; false then, and when no entry could be allocated.
    bool Push(const KnifeShape& shape, bool compare);
    // The shape becomes entry 0 and the only reachable entry.
    void Reset(const KnifeShape& shape);
    // Step back or forward and copy the entry reached into the shape; false (nothing changes)
    // at either end.
    bool Undo(KnifeShape& shape);
    bool Redo(KnifeShape& shape);
    // Copies the entry at the current index into the shape; false when there is none.
    bool Restore(KnifeShape& shape) const;

    bool CanUndo() const { return m_current != 0 && m_current <= kMaxIndex; }
    bool CanRedo() const { return m_current < m_last; }
    uint32_t GetCurrentIndex() const { return m_current; }
    uint32_t GetLastIndex() const { return m_last; }
    size_t GetEntryCount() const { return m_entries.GetCount(); }

    // Equal node count and equal H, U, S and selection flag of every node.
    static bool SameShape(const KnifeShape& a, const KnifeShape& b);
    // Copies the count and the node values (at most 64 nodes).
    static void CopyShape(KnifeShape& to, const KnifeShape& from);

private:
    KnifeShape* EntryAt(uint32_t index) const;
    // The entry at the index, allocated and appended when there is none yet; null when out of
    // memory.
    KnifeShape* ProvideEntry(uint32_t index);

    CQWF_PtrArray m_entries;  // owned KnifeShape records
    uint32_t m_current = 0;
    uint32_t m_last = 0;
};
