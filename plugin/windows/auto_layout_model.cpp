#include "plugin/windows/auto_layout_model.h"

#include "framework/core/qwf_storage.h"
#include "plugin/main/layout_model.h"
#include "plugin/windows/whole_number.h"

#include <algorithm>

namespace {
constexpr const char* kFolder = "Auto Layout Settings";
constexpr const char* kRowsKey = "Auto Layout Settings>Rows";
constexpr const char* kColsKey = "Auto Layout Settings>Cols";
constexpr const char* kShapeKey = "Auto Layout Settings>Shape";
constexpr const char* kRegularKey = "Auto Layout Settings>Regular";
}  // namespace

bool CLayoutAutoBuilder::BuildTriangularLayout(int rows, int columns, bool regular)
{
    return m_model.BuildTriangularLayout(rows, columns, regular);
}

bool CLayoutAutoBuilder::BuildHexagonalLayout(int rows, int columns, bool regular)
{
    return m_model.BuildHexagonalLayout(rows, columns, regular);
}

CAutoLayoutModel::CAutoLayoutModel()
{
    m_text[0].Format("%d", m_rows);
    m_text[1].Format("%d", m_columns);
}

void CAutoLayoutModel::LoadSettings(CQWF_Storage* prefs)
{
    if (!prefs)
        return;
    uint32_t v = 0;
    if (prefs->GetDWord(kRowsKey, v))
        m_rows = static_cast<int32_t>(v);
    if (prefs->GetDWord(kColsKey, v))
        m_columns = static_cast<int32_t>(v);
    uint8_t b = 0;
    // A stored shape that is neither triangles nor hexagons would leave no radio checked and an
    // OK that builds nothing: it is taken as triangles.
    if (prefs->GetByte(kShapeKey, b))
        m_shape = b == kHexagonal ? kHexagonal : kTriangular;
    if (prefs->GetByte(kRegularKey, b))
        m_regular = b ? 1 : 0;
}

void CAutoLayoutModel::TakeBounds()
{
    m_maxRows = MaxRows(m_shape);
    m_maxColumns = MaxColumns(m_shape);
}

void CAutoLayoutModel::SetValue(int field, int32_t v)
{
    (field == kRows ? m_rows : m_columns) = v;
}

void CAutoLayoutModel::Show()
{
    TakeBounds();
    OnSlider(kRows, m_rows);
    OnSlider(kColumns, m_columns);
}

void CAutoLayoutModel::OnSlider(int field, int32_t v)
{
    v = std::clamp(v, int32_t{1}, GetMaximum(field));
    SetValue(field, v);
    m_text[field == kRows ? 0 : 1].Format("%d", v);
}

void CAutoLayoutModel::OnEditChanged(int field, const char* text)
{
    int32_t v = ReadWholeNumber(text);
    if (v <= 0)
        v = 1;
    v = std::min(v, GetMaximum(field));
    SetValue(field, v);
    m_text[field == kRows ? 0 : 1] = text ? text : "";
}

void CAutoLayoutModel::OnEditDone(int field)
{
    OnEditChanged(field, GetEditText(field));
    m_text[field == kRows ? 0 : 1].Format("%d", GetValue(field));
}

void CAutoLayoutModel::SetShape(uint8_t shape)
{
    m_shape = shape == kHexagonal ? kHexagonal : kTriangular;
    TakeBounds();
    OnEditDone(kColumns);
    OnEditDone(kRows);
}

bool CAutoLayoutModel::SaveSettings(CQWF_Storage* prefs) const
{
    if (!prefs)
        return false;
    if (prefs->GetKind(kFolder) != CQWF_Storage::kKindFolder)
        prefs->CreateFolder(kFolder);
    return prefs->SetDWord(kRowsKey, static_cast<uint32_t>(m_rows)) &&
           prefs->SetDWord(kColsKey, static_cast<uint32_t>(m_columns)) &&
           prefs->SetByte(kShapeKey, m_shape) && prefs->SetByte(kRegularKey, m_regular ? 1 : 0);
}

bool CAutoLayoutModel::Apply(CQWF_Storage* prefs, CAutoLayoutBuilder* builder) const
{
    SaveSettings(prefs);
    if (!builder)
        return false;
    if (m_shape == kHexagonal)
        return builder->BuildHexagonalLayout(m_rows, m_columns, m_regular != 0);
    return builder->BuildTriangularLayout(m_rows, m_columns, m_regular != 0);
}
