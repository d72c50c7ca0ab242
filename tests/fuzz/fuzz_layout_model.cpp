// Feeds arbitrary bytes to the main window's layout readers (version 3.0, and 2.0 when the first
// byte is odd), then checks that whatever layout stands is consistent and that
// serialise -> read -> serialise gives the same bytes.
#include "plugin/main/layout_model.h"
#include "tests/fuzz/layout_checks.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using qwfuzz::Check;
using qwfuzz::CheckLayout;

namespace {
std::vector<uint8_t> Serialize(CLayoutModel& m)
{
    CQWF_Mem block;
    size_t len = 0;
    Check(m.SerializeLayout(block, len));
    Check(len <= block.GetSize());
    return std::vector<uint8_t>(block.GetData(), block.GetData() + len);
}

struct Records : CPieceRecordSource {
    const uint8_t* data = nullptr;
    uint32_t count = 0;
    size_t GetPieceRecordCount() const override { return count; }
    void GetPieceRecord(size_t i, PieceEffectRecord& out) const override
    {
        qwpiece::Load(data + i * qwpiece::kRecordSize, out);
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool v2 = data[0] & 1;
    std::vector<uint8_t> blob(data + 1, data + size);

    CLayoutModel m;
    m.SetImageSize(1000, 800);
    Check(m.DefaultLayout());
    const std::vector<uint8_t> standing = Serialize(m);
    uint8_t* recs = nullptr;
    uint32_t count = 0;
    const bool ok = v2 ? m.ReadLayoutV2(blob.data(), blob.size(), &recs, &count, true)
                       : m.ReadLayoutV3(blob.data(), blob.size(), &recs, &count, true);
    // A refused blob leaves the layout as it stood.
    if (!ok)
        Check(count == 0 && Serialize(m) == standing);
    Check((count == 0) == (recs == nullptr));
    if (count)
        Check(recs >= blob.data() &&
              recs + static_cast<size_t>(count) * qwpiece::kRecordSize <= blob.data() + blob.size());
    CheckLayout(m);

    // Whatever stands serialises and reads back to the same bytes, records included.
    Records src;
    src.data = recs;
    src.count = count;
    m.SetPieceSource(&src);
    m.SetLayoutMode(count == 0);
    std::vector<uint8_t> first = Serialize(m);
    std::vector<uint8_t> copy = first;
    CLayoutModel n;
    n.SetImageSize(1000, 800);
    uint8_t* recs2 = nullptr;
    uint32_t count2 = 0;
    Check(n.ReadLayoutV3(copy.data(), copy.size(), &recs2, &count2, false));
    Check(count2 == count);
    Records src2;
    src2.data = recs2;
    src2.count = count2;
    n.SetPieceSource(&src2);
    n.SetLayoutMode(count2 == 0);
    Check(Serialize(n) == first);

    // The model's own operations stay inside the layout.
    m.SetKnotAmplitude(0.5f);
    m.RandomizeKnots(false);
    m.UpdateSelectionState();
    bool mixed = false;
    m.GetKnivesCommonA(true, mixed);
    m.GetKnivesCommonB(false, mixed);
    m.CopyKnife(-1, false, false);
    m.PasteKnifeShape(0, true, false);
    m.SelectKnifeRange(1, 0, true, m.GetColumnKnifeCount() - 1, false);
    CheckLayout(m);
    return 0;
}
