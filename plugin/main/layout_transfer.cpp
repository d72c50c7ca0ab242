#include "plugin/main/layout_transfer.h"

#include <algorithm>

namespace {
uint8_t KnifeFlags(const KnifeRecord& k)
{
    return static_cast<uint8_t>((k.flipAcross ? 1 : 0) | (k.flipAlong ? 2 : 0) |
                                (k.hidden ? 4 : 0));
}

// The tips size and thickness travel as bytes in a stored layout; the hand-over keeps them to
// the same range so that both ways give one knife.
int32_t ByteRange(int32_t v)
{
    return std::clamp(v, 0, 255);
}

void Bake(JigKnife& out, const KnifeRecord& k)
{
    CJigcrafter::BakeKnife(out, KnifeFlags(k), std::clamp(k.nodeCount, 0, kKnifeMaxNodes),
                           ByteRange(k.tipsSize), ByteRange(k.thickness), k.U, k.H, k.S);
}
}  // namespace

bool TransferKnives(const CLayoutModel& model, CJigcrafter& engine)
{
    const int xCount = model.GetXLineCount();
    const int yCount = model.GetYLineCount();
    if (!engine.SetGrid(xCount + 1, yCount + 1, model.GetExtraKnifeCount()))
        return false;
    if (engine.GetXLineCount() != xCount || engine.GetYLineCount() != yCount)
        return false;
    std::transform(model.GetXLines(), model.GetXLines() + xCount, engine.GetXLines(), CJigcrafter::ClampLine);
    std::transform(model.GetYLines(), model.GetYLines() + yCount, engine.GetYLines(), CJigcrafter::ClampLine);

    if (engine.GetKnotCount() != model.GetKnotCount())
        return false;
    float* kv = engine.GetKnots();
    const KnotRecord* knots = model.Knots();
    for (int32_t i = 0; i < model.GetKnotCount(); ++i) {
        kv[2 * i] = CJigcrafter::ClampKnotOffset(knots[i].x);
        kv[2 * i + 1] = CJigcrafter::ClampKnotOffset(knots[i].y);
    }

    if (engine.GetColumnKnifeCount() != model.GetColumnKnifeCount() ||
        engine.GetRowKnifeCount() != model.GetRowKnifeCount() ||
        engine.GetExtraKnifeCount() != model.GetExtraKnifeCount())
        return false;
    for (int32_t i = 0; i < model.GetColumnKnifeCount(); ++i)
        Bake(engine.GetColumnKnives()[i], model.ColumnKnives()[i]);
    for (int32_t i = 0; i < model.GetRowKnifeCount(); ++i)
        Bake(engine.GetRowKnives()[i], model.RowKnives()[i]);
    const ExtraKnifeRecord* extras = model.ExtraKnives();
    for (int32_t i = 0; i < model.GetExtraKnifeCount(); ++i) {
        // A knot outside the lattice would be read out of bounds by the cut.
        const int32_t knotCount = model.GetKnotCount();
        if (extras[i].knotA < 0 || extras[i].knotA >= knotCount || extras[i].knotB < 0 ||
            extras[i].knotB >= knotCount)
            return false;
        JigExtraKnife& e = engine.GetExtraKnives()[i];
        Bake(e, extras[i].knife);
        e.knotA = extras[i].knotA;
        e.knotB = extras[i].knotB;
    }
    engine.SetRazorCut(model.GetFlag(CLayoutModel::kFlagRazor) != 0);
    engine.SetAntiAliasing(model.GetFlag(CLayoutModel::kFlagAntiAlias) != 0);
    return true;
}
