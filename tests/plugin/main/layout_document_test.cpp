// Layout documents through real files: what is saved loads back to the identical blob, older
// documents load, and damaged or foreign files are refused with the user's message.
#include "plugin/main/layout_document.h"
#include "plugin/main/layout_model.h"
#include "plugin/main/layout_test_support.h"

#include "framework/core/qwf_file.h"
#include "platform/qw_paths.h"
#include "support/test_support.h"
#include "tools/makesample/sample_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Messages : CUserMessageSink {
    std::vector<std::string> shown;
    void ShowMessage(const char* text, const char* caption) override
    {
        shown.push_back(std::string(caption) + ": " + text);
    }
};

using layouttest::Serialize;

bool SaveDocument(const std::string& path, CLayoutModel& m, CUserMessageSink* sink)
{
    struct Context {
        CLayoutModel* model;
        CUserMessageSink* sink;
    } ctx{&m, sink};
    return qwexport::WriteFile(
        qwp::ToWindowsPath(path.c_str()).c_str(),
        [](CQWF_StdFile* f, void* c) {
            auto* x = static_cast<Context*>(c);
            return qwdoc::WriteDocumentFile(f, x->model, x->sink);
        },
        &ctx, sink);
}

bool Load(const std::string& path, CLayoutModel& m, Messages& msgs, uint8_t** recs = nullptr,
          uint32_t* count = nullptr, qwdoc::LayoutDocument* keep = nullptr)
{
    qwdoc::LayoutDocument local;
    qwdoc::LayoutDocument& doc = keep ? *keep : local;
    return qwdoc::ReadDocument(qwp::ToWindowsPath(path.c_str()).c_str(), doc, &msgs) &&
           qwdoc::ApplyDocument(m, doc, recs, count, &msgs);
}

// A layout with jittered knots, flipped tabs, mixed tips and thickness, hidden and selected
// knives, extra knives, and razor cut off.
void RichLayout(CLayoutModel& m, CutterState& cutter, bool puzzle, qwsample::CRecordList* records)
{
    std::vector<uint8_t> blob;
    ASSERT_TRUE(qwsample::MakeLayoutBlob(640, 480, 7, 5, false, nullptr, blob, false, true, 3));
    m.SetImageSize(640, 480);
    ASSERT_TRUE(m.ReadLayoutV3(blob.data(), blob.size(), nullptr, nullptr, false));
    cutter = CutterState{};
    cutter.shape.nodeCount = 5;
    for (int i = 0; i < 5; ++i) {
        cutter.shape.U[i] = 0.2 + 0.15 * i;
        cutter.shape.H[i] = 0.1 * (i - 2);
        cutter.shape.S[i] = 0.4;
    }
    cutter.tipsSize = 70;
    cutter.thickness = 6;
    m.SetCutter(&cutter);
    m.AddExtraKnife(0, 9);
    m.AddExtraKnife(10, 20);
    ASSERT_EQ(m.GetExtraKnifeCount(), 2);
    m.RowKnives()[1].hidden = 1;
    m.RowKnives()[2].tipsSize = 55;
    m.ColumnKnives()[3].selected = 1;
    m.ColumnKnives()[4].thickness = 9;
    m.SetFlag(CLayoutModel::kFlagRazor, 0);
    m.UpdateSelectionState();
    if (puzzle) {
        for (int r = 1; r <= 5; ++r)
            for (int c = 1; c <= 7; ++c) records->records.push_back(qwsample::CellRecord(r, c));
        records->records[3].opOn = 1;
        records->records[3].opValue = 99;
        records->records[4].layerId = 0x01020304;
        m.SetPieceSource(records);
        m.SetLayoutMode(false);
    }
}

}  // namespace

// Saved and loaded again, a document gives the identical layout blob; in Puzzle mode the effect
// records come back byte for byte.
TEST(LayoutDocument, SavedAndLoadedGivesTheIdenticalBlob)
{
    qwtest::TempDir tmp;
    for (int puzzle = 0; puzzle < 2; ++puzzle) {
        CLayoutModel a;
        CutterState cutter;
        qwsample::CRecordList records;
        RichLayout(a, cutter, puzzle != 0, &records);
        const std::vector<uint8_t> blob = Serialize(a);
        const std::string path = tmp.File("layout" + std::to_string(puzzle) + ".qwjd");
        Messages msgs;
        ASSERT_TRUE(SaveDocument(path, a, &msgs));
        std::string bytes;
        ASSERT_TRUE(qwtest::ReadWholeFile(path, bytes));
        ASSERT_EQ(bytes.size(), blob.size() + 6);
        EXPECT_EQ(bytes.substr(0, 6), "QWJW30");
        EXPECT_EQ(std::memcmp(bytes.data() + 6, blob.data(), blob.size()), 0);

        CLayoutModel b;
        b.SetImageSize(1000, 700);
        uint8_t* recs = nullptr;
        uint32_t count = 0;
        qwdoc::LayoutDocument doc;
        ASSERT_TRUE(Load(path, b, msgs, &recs, &count, &doc));
        EXPECT_TRUE(msgs.shown.empty());
        b.SetLayoutMode(puzzle == 0);
        qwsample::CRecordList loaded;
        for (uint32_t i = 0; i < count; ++i) {
            PieceEffectRecord r;
            qwpiece::Load(recs + size_t(i) * qwpiece::kRecordSize, r);
            loaded.records.push_back(r);
        }
        b.SetPieceSource(&loaded);
        EXPECT_EQ(count, puzzle ? records.records.size() : 0u);
        EXPECT_EQ(Serialize(b), blob) << (puzzle ? "Puzzle mode" : "Layout mode");
    }
}

// An older document gives every knife the tips size and thickness it stores once, and no extra
// knives; damaged and foreign files are refused with their messages and change nothing.
TEST(LayoutDocument, OlderDocumentsAndRefusals)
{
    qwtest::TempDir tmp;
    CLayoutModel m;
    CutterState cutter;
    RichLayout(m, cutter, false, nullptr);
    const std::vector<uint8_t> before = Serialize(m);
    Messages msgs;

    auto file = [&](const std::string& name, const std::string& bytes) {
        const std::string p = tmp.File(name);
        EXPECT_TRUE(qwtest::WriteWholeFile(p, bytes));
        return p;
    };
    const std::string valid(reinterpret_cast<const char*>(before.data()), before.size());
    const std::string refused[] = {
        file("nine.qwjd", std::string("QWJW30abc")),    // 9 bytes
        file("lower.qwjd", "qwjw30" + valid),           // wrong case
        file("other.qwjd", "QWJW31" + valid),           // unknown version
        file("empty.qwjd", ""),
    };
    for (const std::string& p : refused) {
        msgs.shown.clear();
        EXPECT_FALSE(Load(p, m, msgs)) << p;
        EXPECT_EQ(msgs.shown,
                  std::vector<std::string>{"Error!: Unknow file format or file corrupt..."});
        EXPECT_EQ(Serialize(m), before);
    }
    // A file that cannot be opened: no message of the load's own.
    msgs.shown.clear();
    EXPECT_FALSE(Load(tmp.File("missing.qwjd"), m, msgs));
    EXPECT_TRUE(msgs.shown.empty());

    // A blob cut short after a right magic, of either version, is a failed load: the message,
    // and the layout as it was.
    std::string damaged = "QWJW30" + valid;
    damaged.resize(40);
    std::string damagedV2 = "QWJW20" + valid.substr(0, 30);
    for (const std::string& p : {file("damaged.qwjd", damaged), file("damaged2.qwjd", damagedV2)}) {
        msgs.shown.clear();
        EXPECT_FALSE(Load(p, m, msgs)) << p;
        EXPECT_EQ(msgs.shown, std::vector<std::string>{"Error!: Error reading data file..."}) << p;
        EXPECT_EQ(Serialize(m), before) << p;
    }
    msgs.shown.clear();

    // "QWJW20": one row line and one column line (2 x 2 cells), straight knives, thickness 0
    // (razor cut), tips 80, anti-aliasing on.
    RichLayout(m, cutter, false, nullptr);
    std::string v2 = "QWJW20";
    auto u8 = [&](int v) { v2.push_back(static_cast<char>(v)); };
    auto u16 = [&](int v) { u8(v >> 8); u8(v & 255); };
    auto u32 = [&](uint32_t v) { u16(int(v >> 16)); u16(int(v & 0xFFFF)); };
    auto f32 = [&](float f) { uint32_t v; std::memcpy(&v, &f, 4); u32(v); };
    u16(0); u16(1); u16(1);
    f32(0.4f); f32(0.6f);
    u32(9);
    for (int i = 0; i < 18; ++i) f32(0.0f);
    u32(2); u8(0); u16(0); u8(4); u16(0);  // row knives, the second hidden
    u32(2); u8(8); u16(0); u8(0); u16(0);  // column knives, the first selected
    u16(0); u16(80); u8(1);
    ASSERT_TRUE(Load(file("old.qwjd", v2), m, msgs));
    EXPECT_TRUE(msgs.shown.empty());
    EXPECT_EQ(m.GetExtraKnifeCount(), 0);
    EXPECT_EQ(m.GetFlag(CLayoutModel::kFlagRazor), 1);
    EXPECT_EQ(m.GetFlag(CLayoutModel::kFlagAntiAlias), 1);
    ASSERT_EQ(m.GetRowKnifeCount(), 2);
    EXPECT_FLOAT_EQ(m.GetYLines()[0], 0.4f);
    EXPECT_EQ(m.RowKnives()[1].hidden, 1);
    EXPECT_EQ(m.ColumnKnives()[0].selected, 1);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(m.RowKnives()[i].tipsSize, 80);
        EXPECT_EQ(m.ColumnKnives()[i].thickness, 0);
    }
}

// A document that reaches the disk only in part is a failure with "Cannot write file...".
TEST(LayoutDocument, FullDiskIsAFailure)
{
    CLayoutModel m;
    CutterState cutter;
    RichLayout(m, cutter, false, nullptr);
    CQWF_StdFile full;
    if (!full.Open("Z:\\dev\\full", CQWF_StdFile::kModeWrite)) GTEST_SKIP() << "no /dev/full";
    Messages msgs;
    EXPECT_FALSE(qwdoc::WriteDocumentFile(&full, &m, &msgs));
    EXPECT_EQ(msgs.shown, std::vector<std::string>{"Error!: Cannot write file..."});
}
