#include "plugin/windows/custom_mutations_model.h"

#include "plugin/windows/shape_cloning.h"
#include "plugin/windows/whole_number.h"

#include <algorithm>

CCustomMutationsModel::CCustomMutationsModel() { Show(); }

void CCustomMutationsModel::LoadSettings(CQWF_Storage* prefs)
{
    CShapeCloning::LoadCustomAmounts(prefs, m_amount[kS], m_amount[kU], m_amount[kH]);
}

bool CCustomMutationsModel::SaveSettings(CQWF_Storage* prefs) const
{
    return CShapeCloning::SaveCustomAmounts(prefs, m_amount[kS], m_amount[kU], m_amount[kH]);
}

void CCustomMutationsModel::SetAmount(int which, float v)
{
    m_amount[which] = v > 0.0f ? std::min(v, 1.0f) : 0.0f;
}

void CCustomMutationsModel::Show()
{
    for (int i = 0; i < 3; ++i) {
        m_slider[i] = static_cast<int32_t>(m_amount[i] * 100.0f + 0.5f);
        m_text[i].Format("%d", m_slider[i]);
    }
}

void CCustomMutationsModel::OnSlider(int which, int32_t v, bool shift)
{
    v = std::clamp(v, int32_t{0}, int32_t{100});
    m_slider[which] = v;
    m_text[which].Format("%d", v);
    m_amount[which] = static_cast<float>(v) / 100.0f;
    if (!shift)
        return;
    for (int i = 0; i < 3; ++i)
        if (i != which)
            OnEditChanged(i, m_text[which].GetBuffer());
}

void CCustomMutationsModel::OnEditChanged(int which, const char* text)
{
    const int32_t v = std::clamp(ReadWholeNumber(text), int32_t{0}, int32_t{100});
    m_slider[which] = v;
    m_amount[which] = static_cast<float>(v) / 100.0f;
    m_text[which] = text ? text : "";
}

void CCustomMutationsModel::OnEditDone(int which)
{
    OnEditChanged(which, m_text[which].GetBuffer());
    m_text[which].Format("%d", m_slider[which]);
}
