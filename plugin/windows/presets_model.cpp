#include "plugin/windows/presets_model.h"

#include "plugin/main/main_commands.h"  // made from skin/accelerators.skin
#include "plugin/windows/shape_library.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string_view>
#include <vector>

using namespace shape_library;

void CPresetsManagerModel::Report(const char* text) const
{
    if (m_messages)
        m_messages->ShowError(text);
}

// ---------------------------------------------------------------------------------------------
// Library file

void CPresetsManagerModel::LoadDefaultSet(const uint8_t* defaultSet, size_t defaultSetSize)
{
    CQWF_Mem block;
    size_t count = 0;
    // Only a missing library falls back to the built-in set: an unreadable one is the user's.
    if (ReadCustomShapes(m_path, block, count) != LibraryRead::kMissing || !defaultSet)
        return;
    ReadShapeSet(defaultSet, defaultSetSize, true);
}

void CPresetsManagerModel::Open(const uint8_t* defaultSet, size_t defaultSetSize)
{
    LoadDefaultSet(defaultSet, defaultSetSize);
    ReadLibrary();
}

bool CPresetsManagerModel::ReadLibrary()
{
    CQWF_Mem block;
    size_t count = 0;
    const LibraryRead read = ReadCustomShapes(m_path, block, count);
    const bool selection = read == LibraryRead::kOk && m_selected.AllocZeroed(count ? count : 1);
    // A library that is in the file but not in memory must not be written over on closing.
    m_unreadable = read == LibraryRead::kUnreadable || (read == LibraryRead::kOk && !selection);
    if (!selection) {
        m_records.Free();
        m_count = 0;
        m_first = 0;
        if (m_unreadable)
            Report(read == LibraryRead::kOk ? shape_text::kMemory : shape_text::kReadError);
        return false;
    }
    m_records.Swap(block);
    m_count = count;
    m_first = std::min(m_first, m_count ? m_count - 1 : 0);
    return true;
}

bool CPresetsManagerModel::WriteLibrary(const uint8_t* records, size_t count)
{
    if (!WriteCustomShapes(m_path, records, count)) {
        Report(shape_text::kCannotUpdate);
        return false;
    }
    m_unreadable = false;
    return true;
}

bool CPresetsManagerModel::Close()
{
    if (m_unreadable)
        return false;
    return WriteLibrary(m_records.GetData(), m_count);
}

// ---------------------------------------------------------------------------------------------
// Records and selection

const uint8_t* CPresetsManagerModel::GetRecord(size_t i) const
{
    return i < m_count ? m_records.GetData() + i * kRecordSize : nullptr;
}

void CPresetsManagerModel::GetName(size_t i, CQWF_String& name) const
{
    if (const uint8_t* r = GetRecord(i))
        GetRecordName(r, name);
    else
        name = "";
}

bool CPresetsManagerModel::GetShape(size_t i, KnifeShape& shape) const
{
    const uint8_t* r = GetRecord(i);
    return r && RecordToShape(r, shape);
}

bool CPresetsManagerModel::IsSelected(size_t i) const
{
    return i < m_count && m_selected.GetData()[i] != 0;
}

void CPresetsManagerModel::SetSelected(size_t i, bool selected)
{
    if (i < m_count)
        m_selected.GetData()[i] = selected ? 1 : 0;
}

size_t CPresetsManagerModel::GetSelectedCount() const
{
    size_t n = 0;
    for (size_t i = 0; i < m_count; ++i)
        n += IsSelected(i) ? 1 : 0;
    return n;
}

int64_t CPresetsManagerModel::GetFirstSelected() const
{
    for (size_t i = 0; i < m_count; ++i)
        if (IsSelected(i))
            return static_cast<int64_t>(i);
    return -1;
}

void CPresetsManagerModel::SelectAll()
{
    for (size_t i = 0; i < m_count; ++i)
        SetSelected(i, true);
}

void CPresetsManagerModel::SelectNone()
{
    for (size_t i = 0; i < m_count; ++i)
        SetSelected(i, false);
}

bool CPresetsManagerModel::ClickCell(int cell, bool ctrl)
{
    const int64_t record = GetCellRecord(cell);
    if (record < 0)
        return false;
    if (!ctrl)
        SelectNone();
    SetSelected(static_cast<size_t>(record), true);
    return true;
}

bool CPresetsManagerModel::RunAccelerator(int id)
{
    if (id == qwcmd::kSelectAll) {
        SelectAll();
    } else if (id == qwcmd::kDeselect) {
        SelectNone();
    } else {
        return false;
    }
    KeepSelectionInView();
    return true;
}

PresetsButtons CPresetsManagerModel::GetButtons() const
{
    const size_t s = GetSelectedCount();
    return PresetsButtons{s >= 1, s >= 1, s == 1, s == 1, s == 1};
}

// ---------------------------------------------------------------------------------------------
// Cells

void CPresetsManagerModel::SetBigIcons(bool big)
{
    m_big = big;
    KeepSelectionInView();
}

int64_t CPresetsManagerModel::GetCellRecord(int cell) const
{
    if (cell < 0 || cell >= GetCellCount())
        return -1;
    const size_t record = m_first + static_cast<size_t>(cell);
    return record < m_count ? static_cast<int64_t>(record) : -1;
}

void CPresetsManagerModel::ScrollTo(int64_t value)
{
    if (value < 0 || m_count == 0)
        value = 0;
    m_first = std::min(static_cast<size_t>(value), m_count ? m_count - 1 : 0);
}

void CPresetsManagerModel::KeepSelectionInView()
{
    const int64_t first = GetFirstSelected();
    if (first >= 0) {
        const size_t f = static_cast<size_t>(first);
        if (f < m_first || f > m_first + static_cast<size_t>(GetCellCount()) - 1)
            m_first = f;
    }
    m_first = std::min(m_first, m_count ? m_count - 1 : 0);
}

// ---------------------------------------------------------------------------------------------
// Operations

bool CPresetsManagerModel::Sort()
{
    std::vector<size_t> order;
    CQWF_Mem sorted;
    CQWF_Mem flags;
    if (m_count == 0)
        return true;
    if (!sorted.Alloc(m_count * kRecordSize) || !flags.Alloc(m_count)) {
        Report(shape_text::kMemory);
        ReadLibrary();
        return false;
    }
    order.resize(m_count);
    std::iota(order.begin(), order.end(), size_t{0});
    // Byte by byte as unsigned bytes, a name that begins another first.
    auto name = [&](size_t i) {
        const char* r = reinterpret_cast<const char*>(GetRecord(i));
        return std::string_view(r, strnlen(r, kNameMax));
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return name(a) < name(b); });
    for (size_t k = 0; k < m_count; ++k) {
        std::memcpy(sorted.GetData() + k * kRecordSize, GetRecord(order[k]), kRecordSize);
        flags.GetData()[k] = m_selected.GetData()[order[k]];
    }
    std::memcpy(m_records.GetData(), sorted.GetData(), m_count * kRecordSize);
    std::memcpy(m_selected.GetData(), flags.GetData(), m_count);
    KeepSelectionInView();
    return true;
}

bool CPresetsManagerModel::DeleteSelected()
{
    size_t kept = 0;
    for (size_t i = 0; i < m_count; ++i) {
        if (IsSelected(i))
            continue;
        if (kept != i)
            std::memmove(m_records.GetData() + kept * kRecordSize, GetRecord(i), kRecordSize);
        ++kept;
    }
    if (kept == m_count)
        return true;
    m_count = kept;
    if (!m_records.Resize(kept * kRecordSize) && kept > 0) {
        Report(shape_text::kMemory);
        ReadLibrary();
        return false;
    }
    SelectNone();
    m_first = std::min(m_first, m_count ? m_count - 1 : 0);
    return true;
}

bool CPresetsManagerModel::RenameSelected(const char* name)
{
    const int64_t i = GetFirstSelected();
    if (i < 0)
        return false;
    SetRecordName(m_records.GetData() + static_cast<size_t>(i) * kRecordSize, name);
    return true;
}

bool CPresetsManagerModel::GetShapeForCutter(KnifeShape& shape) const
{
    const int64_t i = GetFirstSelected();
    if (i < 0)
        return false;
    // A damaged entry of the library file is told as the file's reading error; the Cutter keeps
    // its shape.
    if (!GetShape(static_cast<size_t>(i), shape)) {
        Report(shape_text::kReadError);
        return false;
    }
    return true;
}

bool CPresetsManagerModel::AddShape(const char* name, const KnifeShape& shape)
{
    if (m_unreadable) {
        Report(shape_text::kReadError);
        return false;
    }
    if (!WriteLibrary(m_records.GetData(), m_count))
        return false;
    const bool ok = AppendCustomShape(m_path, name, shape, m_messages);
    ReadLibrary();
    return ok;
}

bool CPresetsManagerModel::ReadShapeSet(const uint8_t* data, size_t size, bool replace)
{
    CQWF_Mem records;
    size_t count = 0;
    if (!ParseShapeSet(data, size, records, count, m_messages))
        return false;
    if (count == 0)
        return true;
    if (replace) {
        if (!WriteLibrary(records.GetData(), count))
            return false;
    } else {
        // Appending to a library that could not be read would write over it.
        if (m_unreadable) {
            Report(shape_text::kReadError);
            return false;
        }
        CQWF_Mem whole;
        if (!whole.Alloc((m_count + count) * kRecordSize)) {
            Report(shape_text::kMemory);
            return false;
        }
        if (m_count)
            std::memcpy(whole.GetData(), m_records.GetData(), m_count * kRecordSize);
        std::memcpy(whole.GetData() + m_count * kRecordSize, records.GetData(), count * kRecordSize);
        if (!WriteLibrary(whole.GetData(), m_count + count))
            return false;
    }
    ReadLibrary();
    return true;
}

bool CPresetsManagerModel::WriteShapeSetFile(CQWF_StdFile& file)
{
    return ::WriteShapeSetFile(file, m_records.GetData(), m_count, m_selected.GetData(),
                               m_messages);
}
