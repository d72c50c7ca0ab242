#include "framework/core/qwf_bereader.h"
#include "framework/core/qwf_endian.h"
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_test_support.h"
#include "plugin/core/jigcrafter_test_support.h"

#include "platform/qw_random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {
using layouttest::Bytes;
using layouttest::Serialize;

using jigtest::Blob;

struct VectorSource : CPieceRecordSource {
    std::vector<PieceEffectRecord> recs;
    size_t GetPieceRecordCount() const override { return recs.size(); }
    void GetPieceRecord(size_t i, PieceEffectRecord& out) const override { out = recs[i]; }
};

PieceEffectRecord SampleRecord(int i)
{
    PieceEffectRecord r;
    qwpiece::DefaultRecord(r);
    r.brightness = static_cast<int8_t>(-10 * i);
    r.light[0] = 0.125f * i;
    r.bevelDepth = static_cast<uint16_t>(0x0102 + i);
    r.layerId = i == 0 ? -1 : i;
    r.hue = static_cast<int16_t>(-180 + i);
    r.mbAngle = -45;
    r.selected = i & 1;
    r.row = static_cast<uint8_t>(1 + i / 2);
    r.column = static_cast<uint8_t>(1 + i % 2);
    return r;
}

// A layout with every kind of content: moved lines, jittered knots, shaped and flagged knives and
// extra knives.
void BuildRichLayout(CLayoutModel& m, CutterState& cutter)
{
    qwp::SeedRandom(11);
    m.SetImageSize(640, 480);
    m.SetKnotAmplitude(0.4f);
    ASSERT_TRUE(m.SetGridSize(5, 4, true, true));
    m.XLines()[1] = 0.37f;
    cutter = CutterState{};
    cutter.shape.nodeCount = 7;
    for (int i = 0; i < 7; ++i) {
        cutter.shape.U[i] = 0.1 + 0.12 * i;
        cutter.shape.H[i] = std::sin(i) * 0.4;
        cutter.shape.S[i] = 0.3;
    }
    cutter.tipsSize = 80;
    cutter.thickness = 4;
    cutter.ampSmooth = 0.3f;
    cutter.ampAcross = 0.5f;
    cutter.ampAlong = 0.2f;
    m.SetCutter(&cutter);
    m.CloneShapeToKnives(false, 0.3f, 0.5f, 0.2f, false);
    m.RowKnives()[2].hidden = 1;
    m.RowKnives()[3].flipAlong = 1;
    m.ColumnKnives()[1].flipAcross = 1;
    m.ColumnKnives()[4].selected = 1;
    m.ColumnKnives()[5].nodeCount = 0;  // a straight knife among shaped ones
    m.AddExtraKnife(0, 7);
    m.AddExtraKnife(8, 20);
    m.AddExtraKnife(29, 15);
    ASSERT_EQ(m.GetExtraKnifeCount(), 3);
    m.ExtraKnives()[1].knife.selected = 1;
    m.SetFlag(CLayoutModel::kFlagRazor, 0);
    m.SetFlag(CLayoutModel::kFlagAntiAlias, 1);
    m.UpdateSelectionState();
}

// The layout a fresh model builds by default, serialised (knot amplitude 0: no randomness).
Bytes DefaultBlob(int w, int h)
{
    CLayoutModel d;
    d.SetImageSize(w, h);
    EXPECT_TRUE(d.DefaultLayout());
    return Serialize(d);
}
}  // namespace

TEST(LayoutBlob, SizesOfTheSmallestParts)
{
    CLayoutModel m;  // razor cut and anti-aliasing on from the start
    ASSERT_TRUE(m.SetGridSize(1, 1, true, true));
    Bytes b = Serialize(m);
    ASSERT_EQ(b.size(), 60u);
    EXPECT_EQ(b, Blob().grid(0, 0, 0, 0).u32(0).u8(1).u8(1).b);

    ASSERT_TRUE(m.SetGridSize(2, 1, true, true));  // one straight row knife
    EXPECT_EQ(Serialize(m).size(), 60u + 4 + 2 * 8 + 5);
    EXPECT_GE(m.SerializeReserve(), 85u);
}

TEST(LayoutBlob, RoundTripWithExtraKnivesIsByteIdentical)
{
    CLayoutModel a;
    CutterState cutter;
    BuildRichLayout(a, cutter);
    const Bytes first = Serialize(a);

    CLayoutModel b;
    Bytes copy = first;
    uint8_t* recs = reinterpret_cast<uint8_t*>(1);
    uint32_t count = 7;
    ASSERT_TRUE(b.ReadLayoutV3(copy.data(), copy.size(), &recs, &count, false));
    EXPECT_EQ(recs, nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(b.GetExtraKnifeCount(), 3);
    EXPECT_EQ(b.ExtraKnives()[2].knotA, 29);
    EXPECT_EQ(b.RowKnives()[2].hidden, 1);
    EXPECT_EQ(b.GetFlag(CLayoutModel::kFlagSelected), 1);
    EXPECT_EQ(b.GetFlag(CLayoutModel::kFlagAntiAlias), 1);
    EXPECT_EQ(b.RowKnives()[0].length, 0.0f);
    EXPECT_EQ(Serialize(b), first);

    // Reading into a model that already holds a layout of the same size gives the same bytes.
    Bytes again = first;
    ASSERT_TRUE(a.ReadLayoutV3(again.data(), again.size(), nullptr, nullptr, false));
    EXPECT_EQ(Serialize(a), first);
}

TEST(LayoutBlob, PuzzleRecordsRoundTripWithLittleEndianLayerId)
{
    CLayoutModel a;
    CutterState cutter;
    BuildRichLayout(a, cutter);
    VectorSource src;
    for (int i = 0; i < 4; ++i)
        src.recs.push_back(SampleRecord(i));
    src.recs[2].reserved43 = 9;  // reserved bytes are not carried
    a.SetPieceSource(&src);
    a.SetLayoutMode(false);
    const Bytes first = Serialize(a);
    ASSERT_EQ(first[0], 1);
    ASSERT_EQ(first[1], 1);
    const size_t recStart = first.size() - 4 * 92;
    EXPECT_EQ(qwf::GetBE32(&first[recStart - 4]), 4u);
    // {record, offset, byte}: the layer ids little-endian (-1 and 1), record 1's depth 0x0103
    // and hue -179 (0xFF4D) big-endian, record 0's bevel on, angle -45 and shown, record 2's
    // reserved byte not carried.
    const int bytes[][3] = {{0, 60, 0xFF}, {0, 63, 0xFF}, {1, 60, 0x01}, {1, 61, 0x00}, {1, 63, 0x00},
                            {1, 40, 0x01}, {1, 41, 0x03}, {1, 78, 0xFF}, {1, 79, 0x4D}, {0, 4, 1},
                            {0, 83, 0xD3}, {0, 89, 1},    {2, 43, 0}};
    for (const auto& b : bytes) EXPECT_EQ(first[recStart + 92 * b[0] + b[1]], b[2]) << b[0] << "/" << b[1];
    EXPECT_EQ(qwf::GetBEF32(&first[recStart + 92 + 8]), 0.125f);

    CLayoutModel b;
    b.SetLayoutMode(false);
    Bytes copy = first;
    uint8_t* recs = nullptr;
    uint32_t count = 0;
    ASSERT_TRUE(b.ReadLayoutV3(copy.data(), copy.size(), &recs, &count, false));
    ASSERT_EQ(count, 4u);
    ASSERT_EQ(recs, copy.data() + recStart);
    VectorSource back;
    for (uint32_t i = 0; i < count; ++i) {
        PieceEffectRecord r;
        qwpiece::Load(recs + 92 * i, r);
        EXPECT_EQ(r.layerId, src.recs[i].layerId);
        EXPECT_EQ(r.bevelDepth, src.recs[i].bevelDepth);
        EXPECT_EQ(r.hue, src.recs[i].hue);
        EXPECT_EQ(r.light[0], src.recs[i].light[0]);
        EXPECT_EQ(r.row, src.recs[i].row);
        back.recs.push_back(r);
    }
    b.SetPieceSource(&back);
    EXPECT_EQ(Serialize(b), first);
}

TEST(LayoutBlob, DefaultRecordMatchesNewPiece)
{
    PieceEffectRecord r;
    qwpiece::DefaultRecord(r);
    uint8_t out[92];
    qwpiece::ToBlob(r, out);
    // {offset, byte}; 37 is the shadow's black.
    const int bytes[][2] = {{4, 1},    {20, 191}, {37, 255}, {38, 2},  {41, 3}, {47, 255},
                            {48, 85},  {49, 255}, {66, 3},   {83, 45}, {86, 255}};
    for (const auto& b : bytes) EXPECT_EQ(out[b[0]], b[1]) << b[0];
    EXPECT_NEAR(qwf::GetBEF32(out + 12), 0.8 / std::sqrt(1.14), 1e-6);
}

TEST(LayoutBlob, NodeValuesAreClampedAndSwitchesNeedExactlyOne)
{
    Blob bl;
    bl.u8(0).u8(0).u16(0).u16(1).u32(0);
    bl.f32(0.5f).u32(6);
    for (int i = 0; i < 12; ++i) bl.f32(0.0f);
    bl.u32(1).knife(0x0F, {1.7f, 0.2f, -0.5f}, {-4.0f, 0.5f, 3.5f}, {2.5f, -3.0f, 1.0f}, 60, 7);
    bl.u32(0).u32(0).u8(2).u8(1);
    CLayoutModel m;
    ASSERT_TRUE(m.ReadLayoutV3(bl.b.data(), bl.b.size(), nullptr, nullptr, false));
    const KnifeRecord& k = m.RowKnives()[0];
    ASSERT_EQ(k.nodeCount, 3);
    EXPECT_EQ(std::vector<float>({k.U[0], k.U[2], k.H[0], k.H[2], k.S[0], k.S[1]}),
              std::vector<float>({1.0f, 0.0f, -3.0f, 3.0f, 2.0f, -2.0f}));
    EXPECT_FLOAT_EQ(k.meanU, 1.2f / 3.0f);
    EXPECT_EQ(std::vector<int>({k.flipAcross, k.flipAlong, k.hidden, k.selected, k.tipsSize, k.thickness,
                                m.GetFlag(CLayoutModel::kFlagRazor), m.GetFlag(CLayoutModel::kFlagAntiAlias),
                                m.GetFlag(CLayoutModel::kFlagSelected)}),
              std::vector<int>({1, 1, 1, 1, 60, 7, 0, 1, 1}));
}

TEST(LayoutBlob, ARefusedBlobLeavesTheLayoutAsItStands)
{
    const int w = 600, h = 300;  // default grid: 4 x 2 cells (3 x lines, 1 y line)

    // A blob with the grid counts of the layout standing, moved lines and flagged knives, refused
    // at its end: nothing read before the fault may reach the layout.
    Blob good;
    good.u8(0).u8(0).u16(1).u16(3).u32(0);
    good.f32(0.9f).f32(0.1f).f32(0.2f).f32(0.3f);
    good.u32(5 * 3);
    for (int i = 0; i < 30; ++i) good.f32(0.25f);
    good.u32(6);
    for (int i = 0; i < 6; ++i) good.knife(0x0C, {0.5f}, {0.1f}, {0.1f}, 50, 9);
    good.u32(4);
    for (int i = 0; i < 4; ++i) good.knife(0x04, {}, {}, {}, 50, 9);
    const Bytes prefix = good.b;
    good.u32(0).u8(0).u8(0);

    // The layout standing: the default grid with a moved line, a selected knife and an extra knife.
    auto standing = [&](CLayoutModel& m) {
        m.SetImageSize(w, h);
        ASSERT_TRUE(m.DefaultLayout());
        m.XLines()[0] = 0.2f;
        m.RowKnives()[1].selected = 1;
        m.AddExtraKnife(0, 6);
        m.UpdateSelectionState();
    };
    CLayoutModel first;
    standing(first);
    const Bytes before = Serialize(first);
    ASSERT_EQ(first.GetExtraKnifeCount(), 1);

    auto expectKept = [&](Bytes blob, const char* what) {
        CLayoutModel m;
        standing(m);
        uint8_t* recs = nullptr;
        uint32_t count = 9;
        EXPECT_FALSE(m.ReadLayoutV3(blob.data(), blob.size(), &recs, &count, true)) << what;
        EXPECT_EQ(count, 0u) << what;
        EXPECT_EQ(recs, nullptr) << what;
        EXPECT_EQ(Serialize(m), before) << what;
        EXPECT_EQ(m.GetFlag(CLayoutModel::kFlagSelected), 1) << what;
    };

    {  // the good one is taken
        CLayoutModel m;
        standing(m);
        Bytes g = good.b;
        ASSERT_TRUE(m.ReadLayoutV3(g.data(), g.size(), nullptr, nullptr, false));
        EXPECT_EQ(Serialize(m), good.b);
    }
    expectKept(Bytes(good.b.begin(), good.b.begin() + 9), "9 bytes");
    expectKept(Bytes(), "empty");
    // Every prefix that ends before the switch bytes is refused whole.
    for (size_t len = 10; len < good.b.size(); ++len)
        expectKept(Bytes(good.b.begin(), good.b.begin() + len), "prefix");

    Bytes extraMismatch = prefix;
    Blob tail;
    tail.u32(1).u8(1).u8(1);
    extraMismatch.insert(extraMismatch.end(), tail.b.begin(), tail.b.end());
    expectKept(extraMismatch, "extra count differs from the header");

    Bytes knotsOff = good.b;
    knotsOff[10 + 16 + 3] = 14;  // knot count 14 instead of 15
    expectKept(knotsOff, "knot count");

    Bytes rowsOff = good.b;
    rowsOff[10 + 16 + 4 + 120 + 3] = 5;
    expectKept(rowsOff, "row-knife count");

    Bytes nanLine = good.b;
    nanLine[10] = 0x7F;
    nanLine[11] = 0xC0;
    expectKept(nanLine, "NaN line");

    Bytes infKnot = good.b;
    Blob inf;
    inf.f32(std::numeric_limits<float>::infinity());
    std::copy(inf.b.begin(), inf.b.end(), infKnot.begin() + 10 + 16 + 4);
    expectKept(infKnot, "infinite knot offset");

    // Another grid, refused at its end, does not resize the one standing.
    Blob other = Blob().grid(0, 3, 5, 0);
    expectKept(other.b, "a 6 x 4 grid without its extra-knife list");
}

TEST(LayoutBlob, UntrustedCountsAndIndicesAreRefused)
{
    const Bytes def = DefaultBlob(200, 200);
    auto refused = [&](Blob blob, const char* what) {
        CLayoutModel m;
        m.SetImageSize(200, 200);
        ASSERT_TRUE(m.DefaultLayout());
        EXPECT_FALSE(m.ReadLayoutV3(blob.b.data(), blob.b.size(), nullptr, nullptr, false)) << what;
        EXPECT_EQ(Serialize(m), def) << what;
        EXPECT_LE(m.GetExtraKnifeCount(), 0) << what;
    };
    // A node count above the 64 a knife holds.
    std::vector<float> many(65, 0.5f);
    Blob b1;
    b1.u8(0).u8(0).u16(0).u16(1).u32(0).f32(0.5f).u32(6);
    for (int i = 0; i < 12; ++i) b1.f32(0.0f);
    b1.u32(1).knife(0, many, many, many).u32(0).u32(0).u8(0).u8(0);
    refused(b1, "65 nodes");

    // More extra knives than a layout holds, and a count larger than the remaining bytes.
    refused(Blob().grid(0, 0, 0, 20000).u32(20000).u8(0).u8(0), "20000 extras");
    refused(Blob().grid(0, 0, 0, 19999).u32(19999).u8(0).u8(0), "19999 extras, no bytes");
    refused(Blob().grid(0, 0, 0, 0xFFFFFFFFu).u32(0xFFFFFFFFu).u8(0).u8(0), "huge count");

    // Extra-knife knot indices outside the lattice (4 knots).
    refused(Blob().grid(0, 0, 0, 1).u32(1).knife(0, {}, {}, {}).u32(0).u32(4).u8(0).u8(0),
            "knot index 4");
    refused(Blob().grid(0, 0, 0, 1).u32(1).knife(0, {}, {}, {}).u32(0xFFFFFFFFu).u32(1).u8(0).u8(0),
            "knot index -1");
    refused(Blob().grid(0, 0, 1, 0).u32(0), "no switch bytes");

    // NaN in a node value.
    Blob b2;
    b2.u8(0).u8(0).u16(0).u16(1).u32(0).f32(0.5f).u32(6);
    for (int i = 0; i < 12; ++i) b2.f32(0.0f);
    b2.u32(1).knife(0, {std::numeric_limits<float>::quiet_NaN()}, {0.0f}, {0.0f});
    b2.u32(0).u32(0).u8(0).u8(0);
    refused(b2, "NaN node");

    // An accepted extra knife at the lattice's last knot.
    CLayoutModel ok;
    Blob b3 = Blob().grid(0, 0, 0, 1).u32(1).knife(0, {}, {}, {}).u32(0).u32(3).u8(0).u8(0);
    ASSERT_TRUE(ok.ReadLayoutV3(b3.b.data(), b3.b.size(), nullptr, nullptr, false));
    EXPECT_EQ(ok.GetExtraKnifeCount(), 1);
    EXPECT_EQ(ok.ExtraKnives()[0].knotB, 3);
}

TEST(LayoutBlob, LinesAndKnotOffsetsOutOfRangeAreClamped)
{
    Blob b;
    b.u8(0).u8(0).u16(1).u16(1).u32(0).f32(7.5f).f32(-2.0f).u32(9);
    for (int i = 0; i < 9; ++i) b.f32(3.0e38f).f32(-0.5f);
    b.u32(2).knife(0, {}, {}, {}).knife(0, {}, {}, {});
    b.u32(2).knife(0, {}, {}, {}).knife(0, {}, {}, {});
    b.u32(0).u8(0).u8(0);
    CLayoutModel m;
    ASSERT_TRUE(m.ReadLayoutV3(b.b.data(), b.b.size(), nullptr, nullptr, false));
    EXPECT_EQ(m.GetYLines()[0], 1.0f);
    EXPECT_EQ(m.GetXLines()[0], 0.0f);
    EXPECT_EQ(m.Knots()[4].x, 1.0f);
    EXPECT_EQ(m.Knots()[4].y, -0.5f);
    double x, y;
    m.GetKnotPosition(1, 1, 100, 100, 0, 0, x, y);
    EXPECT_GE(x, 0.0);
    EXPECT_LE(x, 100.0);
}

TEST(LayoutBlob, ShortOrOverlongRecordListsLoadTheLayoutWithoutRecords)
{
    CLayoutModel a;
    CutterState cutter;
    BuildRichLayout(a, cutter);
    const Bytes layout = Serialize(a);  // Layout mode
    a.SetLayoutMode(false);
    VectorSource src;
    src.recs = {SampleRecord(0), SampleRecord(1)};
    a.SetPieceSource(&src);
    const Bytes puzzle = Serialize(a);

    auto load = [&](Bytes blob, uint32_t& count) {
        CLayoutModel m;
        uint8_t* recs = nullptr;
        EXPECT_TRUE(m.ReadLayoutV3(blob.data(), blob.size(), &recs, &count, false));
        EXPECT_EQ(count == 0, recs == nullptr);
        // The layout itself stands: it serialises as the Layout-mode blob.
        EXPECT_EQ(Serialize(m), layout);
    };
    uint32_t count = 1;
    Bytes endsAtSwitches(puzzle.begin(), puzzle.begin() + layout.size());
    load(endsAtSwitches, count);
    EXPECT_EQ(count, 0u);
    Bytes lastCutShort(puzzle.begin(), puzzle.end() - 1);
    load(lastCutShort, count);
    EXPECT_EQ(count, 0u);
    Bytes overPromise = puzzle;
    overPromise[layout.size() + 3] = 0xFF;  // count 255
    load(overPromise, count);
    EXPECT_EQ(count, 0u);
    load(puzzle, count);
    EXPECT_EQ(count, 2u);
}

namespace {
// A version-2.0 blob of a (xl + 1) x (yl + 1) grid with one node on every knife.
Blob V2(uint16_t yl, uint16_t xl, uint16_t thick, uint16_t tips, uint8_t aa)
{
    Blob b;
    b.u16(0xABCD).u16(yl).u16(xl);
    for (int i = 0; i < yl; ++i) b.f32(0.5f);
    for (int i = 0; i < xl; ++i) b.f32(0.5f);
    const uint32_t knots = (xl + 2u) * (yl + 2u);
    b.u32(knots);
    for (uint32_t i = 0; i < knots; ++i) b.f32(0.1f).f32(-0.1f);
    for (uint32_t n : {xl * (yl + 1u), yl * (xl + 1u)}) {
        b.u32(n);
        for (uint32_t i = 0; i < n; ++i)
            b.u8(0x02).u16(1).f32(1.5f).f32(0.2f).f32(0.3f);
    }
    b.u16(thick).u16(tips).u8(aa);
    return b;
}
}  // namespace

TEST(LayoutBlobV2, ReadsTheOlderLayout)
{
    CLayoutModel m;
    m.SetImageSize(300, 300);
    CutterState cutter;
    BuildRichLayout(m, cutter);
    ASSERT_EQ(m.GetXLineCount(), 4);
    ASSERT_EQ(m.GetYLineCount(), 3);
    ASSERT_GT(m.GetExtraKnifeCount(), 0);

    // Same grid size as before: the extra knives go all the same.
    Blob b = V2(3, 4, 0, 80, 1);
    uint8_t* recs = reinterpret_cast<uint8_t*>(1);
    uint32_t count = 5;
    ASSERT_TRUE(m.ReadLayoutV2(b.b.data(), b.b.size(), &recs, &count, false));
    EXPECT_EQ(recs, nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(m.GetExtraKnifeCount(), 0);
    EXPECT_EQ(m.GetFlag(CLayoutModel::kFlagRazor), 1);
    EXPECT_EQ(m.GetFlag(CLayoutModel::kFlagAntiAlias), 1);
    for (int i = 0; i < m.GetRowKnifeCount(); ++i) {
        EXPECT_EQ(m.RowKnives()[i].thickness, 0);
        EXPECT_EQ(m.RowKnives()[i].tipsSize, 80);
        EXPECT_EQ(m.RowKnives()[i].flipAlong, 1);
        EXPECT_EQ(m.RowKnives()[i].U[0], 1.0f);
        EXPECT_EQ(m.RowKnives()[i].meanU, 1.0f);
    }
    EXPECT_EQ(m.ColumnKnives()[0].tipsSize, 80);
    EXPECT_FLOAT_EQ(m.Knots()[3].x, 0.1f);

    // Thickness and tips beyond what a knife holds are kept to 0..100; AA on only for 1.
    Blob big = V2(1, 1, 700, 300, 2);
    ASSERT_TRUE(m.ReadLayoutV2(big.b.data(), big.b.size(), nullptr, nullptr, false));
    EXPECT_EQ(m.RowKnives()[0].thickness, 100);
    EXPECT_EQ(m.RowKnives()[0].tipsSize, 100);
    EXPECT_EQ(m.GetFlag(CLayoutModel::kFlagRazor), 0);
    EXPECT_EQ(m.GetFlag(CLayoutModel::kFlagAntiAlias), 0);
}

TEST(LayoutBlobV2, AFaultLeavesTheLayoutAsItStands)
{
    const Blob good = V2(1, 2, 3, 100, 1);
    CLayoutModel rich;
    CutterState cutter;
    BuildRichLayout(rich, cutter);
    const Bytes before = Serialize(rich);
    for (size_t len = 0; len < good.b.size(); ++len) {
        Bytes cut(good.b.begin(), good.b.begin() + len);
        EXPECT_FALSE(rich.ReadLayoutV2(cut.data(), cut.size(), nullptr, nullptr, false)) << len;
        EXPECT_EQ(Serialize(rich), before) << len;
    }
}

namespace {
struct FakeHost : CLayoutModelSink {
    Bytes script;
    bool hasScript = false;
    Bytes file;
    bool hasFile = false;
    bool fileWriteOk = true;
    Bytes writtenScript;
    Bytes writtenFile;
    std::string writtenName;
    int closes = 0;
    int messages = 0;
    int redraws = 0;
    bool ReadScriptParameters(CQWF_Mem& blob) override
    {
        if (!hasScript)
            return false;
        blob.Alloc(script.size());
        std::memcpy(blob.GetData(), script.data(), script.size());
        return true;
    }
    bool WriteScriptParameters(const uint8_t* d, size_t n) override
    {
        writtenScript.assign(d, d + n);
        return true;
    }
    bool ReadWholeFile(CQWF_Mem& blob, const char* name) override
    {
        if (!hasFile || std::string(name) != "last.data")
            return false;
        blob.Alloc(file.size());
        if (!file.empty())
            std::memcpy(blob.GetData(), file.data(), file.size());
        return true;
    }
    bool WriteWholeFile(const uint8_t* d, size_t n, const char* name) override
    {
        writtenFile.assign(d, d + n);
        writtenName = name;
        return fileWriteOk;
    }
    void CloseWindow() override { ++closes; }
    void ShowMessage(const char*, const char*) override { ++messages; }
    void RedrawLayout() override { ++redraws; }
};
}  // namespace

TEST(LastLayout, SaveWritesScriptParametersAndFile)
{
    FakeHost host;
    CLayoutModel a;
    CutterState cutter;
    BuildRichLayout(a, cutter);
    a.SetSink(&host);
    const Bytes blob = Serialize(a);
    EXPECT_TRUE(a.SaveLastData());
    EXPECT_EQ(host.writtenScript, blob);
    EXPECT_EQ(host.writtenFile, blob);
    EXPECT_EQ(host.writtenName, "last.data");
    host.fileWriteOk = false;
    EXPECT_FALSE(a.SaveLastData());

    // Allocation failure of the blob: message and false.
    qwf::SetAllocFailureAfter(0);
    CQWF_Mem block;
    size_t len = 1;
    EXPECT_FALSE(a.SerializeLayout(block, len));
    qwf::SetAllocFailureAfter(-1);
    EXPECT_EQ(host.messages, 1);
    EXPECT_EQ(len, 0u);
}

TEST(LastLayout, LoadPrefersScriptParametersThenFileThenDefault)
{
    CLayoutModel a;
    CutterState cutter;
    BuildRichLayout(a, cutter);
    VectorSource src;
    src.recs = {SampleRecord(0), SampleRecord(1), SampleRecord(2)};
    a.SetPieceSource(&src);
    a.SetLayoutMode(false);
    const Bytes puzzle = Serialize(a);
    a.SetLayoutMode(true);
    const Bytes layout = Serialize(a);
    const Bytes def = DefaultBlob(640, 480);

    FakeHost host;
    host.hasScript = true;
    host.script = puzzle;
    host.hasFile = true;
    host.file = def;
    CLayoutModel m;
    m.SetImageSize(640, 480);
    m.SetSink(&host);
    ASSERT_TRUE(m.LoadLastData());
    EXPECT_EQ(Serialize(m), layout);
    ASSERT_EQ(m.GetPendingRecordCount(), 3u);
    EXPECT_EQ(m.GetPendingRecords()[1].layerId, 1);
    EXPECT_EQ(m.GetPendingRecords()[2].bevelDepth, 0x0104);
    EXPECT_EQ(host.redraws, 0);

    host.hasScript = false;
    host.file = layout;
    ASSERT_TRUE(m.LoadLastData());
    EXPECT_EQ(m.GetPendingRecordCount(), 0u);
    EXPECT_EQ(Serialize(m), layout);

    // A last layout the reader refuses: the window opens on the default layout, from the script
    // parameters (which are not passed over for the file) as from the file.
    const Bytes damaged(puzzle.begin(), puzzle.begin() + 40);
    for (const bool script : {true, false}) {
        FakeHost from;
        (script ? from.hasScript : from.hasFile) = true;
        (script ? from.script : from.file) = damaged;
        from.hasFile = true;
        if (script)
            from.file = layout;
        CLayoutModel f;
        f.SetImageSize(640, 480);
        f.SetSink(&from);
        ASSERT_TRUE(f.LoadLastData()) << script;
        EXPECT_EQ(Serialize(f), def) << script;
        EXPECT_EQ(f.GetPendingRecordCount(), 0u) << script;
    }

    host.file.clear();  // an empty file counts as none
    // The switches are not part of the fall-back: those of a fresh window.
    m.SetFlag(CLayoutModel::kFlagRazor, 1);
    m.SetFlag(CLayoutModel::kFlagAntiAlias, 1);
    ASSERT_TRUE(m.LoadLastData());
    EXPECT_EQ(Serialize(m), def);
    host.hasFile = false;
    ASSERT_TRUE(m.LoadLastData());
    EXPECT_EQ(Serialize(m), def);

    // No room for the pending records: the window closes.
    host.hasScript = true;
    CLayoutModel n;
    n.SetImageSize(640, 480);
    n.SetSink(&host);
    // Allocations: the script block, the knot lattice, two knife blocks, the extra-knife block,
    // then the pending records.
    qwf::SetAllocFailureAfter(5);
    EXPECT_FALSE(n.LoadLastData());
    qwf::SetAllocFailureAfter(-1);
    EXPECT_EQ(host.closes, 1);
    EXPECT_EQ(n.GetPendingRecordCount(), 0u);
}
