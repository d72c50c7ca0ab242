// Feeds arbitrary bytes to the cutting engine's layout reader; an accepted layout must be
// consistent, its piece records must lie inside the blob, and cutting a small image with it must
// stay within bounds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "plugin/core/jigcrafter.h"

namespace {
void Check(bool ok)
{
    if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CQWF_Mem blob;
    if (!blob.Alloc(size)) return 0;
    if (size) std::memcpy(blob.GetData(), data, size);

    CJigcrafter e;
    bool layoutMode = false;
    uint32_t count = 0;
    uint8_t* records = nullptr;
    if (!e.LoadLayout(&blob, layoutMode, count, records)) return 0;

    Check(e.GetXLineCount() <= 100 && e.GetYLineCount() <= 100);
    Check(e.GetKnotCount() == (e.GetXLineCount() + 2) * (e.GetYLineCount() + 2));
    Check(e.GetRowKnifeCount() == e.GetXLineCount() * (e.GetYLineCount() + 1));
    Check(e.GetColumnKnifeCount() == e.GetYLineCount() * (e.GetXLineCount() + 1));
    Check(e.GetExtraKnifeCount() >= 0 && e.GetExtraKnifeCount() <= 20000);
    for (int32_t i = 0; i < e.GetExtraKnifeCount(); ++i) {
        Check(e.GetExtraKnives()[i].knotA >= 0 && e.GetExtraKnives()[i].knotA < e.GetKnotCount());
        Check(e.GetExtraKnives()[i].knotB >= 0 && e.GetExtraKnives()[i].knotB < e.GetKnotCount());
        Check(e.GetExtraKnives()[i].nodeCount <= 64);
    }
    if (layoutMode) Check(count == 0 && records == nullptr);
    if (count) {
        Check(records >= blob.GetData());
        Check(static_cast<size_t>(records - blob.GetData()) + size_t{92} * count <= size);
    }

    // Cut a small image in the blob's own mode (the 1-bit mode with razor cut and anti-aliasing),
    // then in the 8-bit mode, unless the layout is too large to cut quickly.
    if (e.GetExtraKnifeCount() > 200) return 0;
    const int32_t w = 48, h = 36;
    std::vector<uint8_t> image(static_cast<size_t>(w) * h * 3, 128);
    const uint8_t* planes[3] = {image.data(), image.data() + w * h, image.data() + 2 * w * h};
    std::vector<uint8_t> mask(static_cast<size_t>(w) * h, 200);
    for (int pass = 0; pass < 2; ++pass) {
        if (!e.Cut(w, h, pass ? mask.data() : nullptr, w, planes, w, 3, 0, 100, true)) break;
        for (int32_t i = 0; i < e.GetPieceCount(); ++i) {
            const JigPiece* p = e.GetPiece(i);
            Check(p->left >= 0 && p->top >= 0 && p->right <= w && p->bottom <= h);
            Check(p->left < p->right && p->top < p->bottom);
            Check(p->column >= 1 && p->row >= 1);
        }
        e.SetAntiAliasing(!e.GetAntiAliasing());
    }
    return 0;
}
