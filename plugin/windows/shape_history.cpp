#include "plugin/windows/shape_history.h"

#include <algorithm>
#include <new>

CShapeHistory::~CShapeHistory()
{
    for (size_t i = 0; i < m_entries.GetCount(); ++i)
        delete static_cast<KnifeShape*>(m_entries.GetAt(i));
}

bool CShapeHistory::SameShape(const KnifeShape& a, const KnifeShape& b)
{
    if (a.nodeCount != b.nodeCount)
        return false;
    const int n = std::min<int>(a.nodeCount, kKnifeMaxNodes);
    for (int i = 0; i < n; ++i) {
        if (a.H[i] != b.H[i] || a.U[i] != b.U[i] || a.S[i] != b.S[i] ||
            a.selected[i] != b.selected[i])
            return false;
    }
    return true;
}

void CShapeHistory::CopyShape(KnifeShape& to, const KnifeShape& from)
{
    const int n = std::min<int>(from.nodeCount, kKnifeMaxNodes);
    to.nodeCount = static_cast<uint8_t>(n);
    for (int i = 0; i < n; ++i) {
        to.H[i] = from.H[i];
        to.U[i] = from.U[i];
        to.S[i] = from.S[i];
        to.selected[i] = from.selected[i];
    }
}

KnifeShape* CShapeHistory::EntryAt(uint32_t index) const
{
    if (index >= m_entries.GetCount())
        return nullptr;
    return static_cast<KnifeShape*>(m_entries.GetAt(index));
}

KnifeShape* CShapeHistory::ProvideEntry(uint32_t index)
{
    if (KnifeShape* entry = EntryAt(index))
        return entry;
    if (index != m_entries.GetCount())
        return nullptr;
    KnifeShape* entry = new (std::nothrow) KnifeShape{};
    if (!entry)
        return nullptr;
    if (m_entries.Add(entry) < 0) {
        delete entry;
        return nullptr;
    }
    return entry;
}

bool CShapeHistory::Push(const KnifeShape& shape, bool compare)
{
    if (compare) {
        const KnifeShape* current = EntryAt(m_current);
        if (current && SameShape(*current, shape))
            return false;
    }
    KnifeShape* entry = nullptr;
    if (m_current < kMaxIndex) {
        entry = ProvideEntry(m_current + 1);
        if (!entry)
            return false;
        ++m_current;
    } else {
        // Full: the oldest entry leaves, and its record becomes the newest one.
        entry = EntryAt(0);
        if (!entry)
            return false;
        m_entries.RemoveAt(0);
        if (m_entries.Add(entry) < 0) {
            delete entry;
            return false;
        }
        m_current = static_cast<uint32_t>(m_entries.GetCount() - 1);
    }
    CopyShape(*entry, shape);
    m_last = m_current;
    return true;
}

void CShapeHistory::Reset(const KnifeShape& shape)
{
    m_current = 0;
    m_last = 0;
    if (KnifeShape* entry = ProvideEntry(0))
        CopyShape(*entry, shape);
}

bool CShapeHistory::Restore(KnifeShape& shape) const
{
    const KnifeShape* entry = EntryAt(m_current);
    if (!entry)
        return false;
    CopyShape(shape, *entry);
    return true;
}

bool CShapeHistory::Undo(KnifeShape& shape)
{
    if (!CanUndo())
        return false;
    --m_current;
    Restore(shape);
    return true;
}

bool CShapeHistory::Redo(KnifeShape& shape)
{
    if (!CanRedo())
        return false;
    ++m_current;
    Restore(shape);
    return true;
}
