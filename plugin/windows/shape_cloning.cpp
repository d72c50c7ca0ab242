#include "plugin/windows/shape_cloning.h"

#include "framework/core/qwf_storage.h"
#include "plugin/main/layout_model.h"

#include <cmath>

namespace {
struct ModeRow {
    const char* menu;
    const char* display;
    float s;
    float uh;
};
constexpr ModeRow kModes[7] = {
    {"No Cloning", "No Cloning", 0.0f, 0.0f},
    {"Clone Without Mutation", "Cloning WITHOUT mutation", 0.0f, 0.0f},
    {"Clone With Low Mutation", "Cloning with LOW mutation", 0.2f, 0.1f},
    {"Clone With Medium Mutation", "Cloning with MEDIUM mutation", 0.4f, 0.2f},
    {"Clone With High Mutation", "Cloning with HIGH mutation", 0.6f, 0.35f},
    {"Clone With Extreme Mutation", "Cloning with EXTREME mutation", 0.8f, 0.5f},
    {"Clone With Custom Mutation...", "Cloning with CUSTOM mutation", 0.0f, 0.0f},
};

constexpr const char* kFolder = "Custom Mutations Settings";
constexpr const char* kKeyS = "Custom Mutations Settings>MutS";
constexpr const char* kKeyU = "Custom Mutations Settings>MutU";
constexpr const char* kKeyH = "Custom Mutations Settings>MutH";

// A stored amount that is not a number or lies outside 0..1 is held to that range.
float Amount(double v)
{
    if (!(v > 0.0))
        return 0.0f;
    return v >= 1.0 ? 1.0f : static_cast<float>(v);
}
}  // namespace

void CLayoutCloneTarget::ApplyKnifeShape(float s, float h, float u, bool selectedOnly,
                                         bool recordUndo)
{
    m_model.ApplyKnifeShape(s, h, u, selectedOnly, recordUndo);
}

void CLayoutCloneTarget::ApplyKnifeShapeFlipH(float s, float h, float u)
{
    m_model.ApplyKnifeShapeFlipH(s, h, u);
}

void CLayoutCloneTarget::ApplyKnifeShapeFlipU(float s, float h, float u)
{
    m_model.ApplyKnifeShapeFlipU(s, h, u);
}

bool CShapeCloning::SetMode(int32_t mode)
{
    if (mode < kNoCloning || mode > kCustom)
        return false;
    m_mode = mode;
    if (mode >= kWithoutMutation && mode <= kExtreme) {
        m_amountS = kModes[mode].s;
        m_amountU = kModes[mode].uh;
        m_amountH = kModes[mode].uh;
    }
    return true;
}

void CShapeCloning::SetCustom(float s, float u, float h)
{
    m_amountS = Amount(s);
    m_amountU = Amount(u);
    m_amountH = Amount(h);
    m_mode = kCustom;
}

void CShapeCloning::Reset()
{
    m_mode = kWithoutMutation;
    m_amountS = m_amountU = m_amountH = 0.0f;
}

const char* CShapeCloning::GetModeText(int32_t mode)
{
    return kModes[mode].display;
}

const char* CShapeCloning::GetMenuText(int32_t mode)
{
    return kModes[mode].menu;
}

void CShapeCloning::LoadCustomAmounts(CQWF_Storage* prefs, float& s, float& u, float& h)
{
    if (!prefs)
        return;
    double v = 0.0;
    if (prefs->GetDouble(kKeyS, v))
        s = Amount(v);
    if (prefs->GetDouble(kKeyU, v))
        u = Amount(v);
    if (prefs->GetDouble(kKeyH, v))
        h = Amount(v);
}

bool CShapeCloning::SaveCustomAmounts(CQWF_Storage* prefs, float s, float u, float h)
{
    if (!prefs)
        return false;
    if (prefs->GetKind(kFolder) != CQWF_Storage::kKindFolder)
        prefs->CreateFolder(kFolder);
    return prefs->SetDouble(kKeyS, s) && prefs->SetDouble(kKeyU, u) && prefs->SetDouble(kKeyH, h);
}
