// The piece export over the cutting engine's pieces of a real picture: files for the independent
// readers of tests/scripts/piece_export.sh, each item's pixels and description beside them, and
// the pieces and the document image exactly as before once the export has ended.
#include "plugin/main/export_dialogs.h"
#include "plugin/main/export_engine_source.h"
#include "plugin/main/piece_export.h"

#include "platform/qw_paths.h"
#include "plugin/core/jigcrafter.h"
#include "support/test_support.h"
#include "tools/makesample/sample_layout.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int32_t kW = 240;
constexpr int32_t kH = 180;

// Cuts the sample picture into 8 x 6 pieces with the showcase effects and renders every piece.
bool CutSample(CJigcrafter& engine, std::vector<uint8_t>& picture)
{
    qwsample::CRecordList records;
    qwsample::AddShowcaseRecords(records);
    std::vector<uint8_t> blob;
    if (!qwsample::MakeLayoutBlob(kW, kH, 8, 6, true, &records, blob)) return false;
    CQWF_Mem block;
    if (!block.Alloc(blob.size())) return false;
    std::memcpy(block.GetData(), blob.data(), blob.size());
    bool layoutMode = true;
    uint32_t count = 0;
    uint8_t* recs = nullptr;
    if (!engine.LoadLayout(&block, layoutMode, count, recs)) return false;
    qwsample::MakePicture(kW, kH, picture);
    const size_t area = size_t(kW) * kH;
    const uint8_t* planes[3] = {picture.data(), picture.data() + area, picture.data() + 2 * area};
    engine.SetColourLayout(1);
    if (!engine.Cut(kW, kH, nullptr, 0, planes, kW, 3, 0, 100, false)) return false;
    for (int32_t i = 0; i < engine.GetPieceCount(); ++i) {
        const JigPiece* p = engine.GetPiece(i);
        for (uint32_t k = 0; k < count; ++k) {
            PieceEffectRecord r;
            qwpiece::Load(recs + size_t(k) * qwpiece::kRecordSize, r);
            if (r.row == p->row && r.column == p->column) engine.RecordToPiece(r, i);
        }
        if (!engine.RenderPiece(i)) return false;
    }
    return true;
}

// What the readers must find: one entry per item, its pixels in a raw file beside it.
struct Describer {
    std::string dir;
    std::string json = "[\n";
    int raws = 0;

    void Export(const std::string& kind, const std::string& file, double resolution,
                const CPieceExport& ex, const std::vector<std::string>& files)
    {
        if (json.size() > 2) json += ",\n";
        char head[256];
        std::snprintf(head, sizeof(head),
                      "{\"kind\": \"%s\", \"file\": \"%s\", \"resolution\": %.3f, "
                      "\"width\": %d, \"height\": %d, \"preserve\": %d, \"items\": [",
                      kind.c_str(), file.c_str(), resolution, kW, kH,
                      int(ex.GetOptions().preservePosition));
        json += head;
        for (uint32_t i = 0; i < ex.GetItemCount(); ++i) {
            const ExportItem& it = ex.GetItems()[i];
            const std::string raw = "raw" + std::to_string(raws++) + ".rgba";
            std::ofstream out(dir + "/" + raw, std::ios::binary);
            for (int c = 0; c < 4; ++c)
                for (int y = 0; y < it.height; ++y)
                    out.write(reinterpret_cast<const char*>(it.planes[c] + y * it.stride), it.width);
            char line[512];
            std::snprintf(line, sizeof(line),
                          "%s{\"name\": \"%s\", \"left\": %d, \"top\": %d, \"width\": %d, "
                          "\"height\": %d, \"visible\": %d, \"opacity\": %d, \"raw\": \"%s\", "
                          "\"file\": \"%s\"}",
                          i ? ", " : "", it.name, it.left, it.top, it.width, it.height,
                          it.visible, it.opacity, raw.c_str(),
                          i < files.size() ? files[i].c_str() : "");
            json += line;
        }
        json += "]}";
    }
    void Finish() { qwtest::WriteWholeFile(dir + "/exports.json", json + "\n]\n"); }
};

struct PieceState {
    uint8_t shown, bevel, selected;
    bool operator==(const PieceState&) const = default;
};

std::vector<PieceState> States(CJigcrafter& e)
{
    std::vector<PieceState> s;
    for (int32_t i = 0; i < e.GetPieceCount(); ++i) {
        const JigPiece* p = e.GetPiece(i);
        s.push_back({p->shown, p->bevel[kJigApplied].on, p->selected});
    }
    return s;
}

}  // namespace

TEST(PieceExportSamples, WriteFilesForIndependentReaders)
{
    const std::string dir = qwtest::OutputDir("export");
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    CJigcrafter engine;
    std::vector<uint8_t> picture;
    ASSERT_TRUE(CutSample(engine, picture));
    ASSERT_EQ(engine.GetPieceCount(), 48);
    // A scattered selection, one of them the hidden piece.
    for (int32_t i = 0; i < engine.GetPieceCount(); ++i) {
        JigPiece* p = engine.GetPiece(i);
        p->selected = (p->row + 2 * p->column) % 5 == 0 || (p->row == 3 && p->column == 3) ||
                      (p->row == 5 && p->column == 5);
    }
    CEngineExportSource source(engine);
    ASSERT_TRUE(source.BuildDocumentImage(kW, kH, false));
    DocumentImage image;
    ASSERT_TRUE(source.GetDocumentImage(image));
    const std::vector<uint8_t> document(image.planes[0], image.planes[0] + 4 * size_t(kW) * kH);
    const std::vector<PieceState> before = States(engine);

    Describer desc{dir};
    struct Case {
        const char* file;  // relative to dir
        uint8_t what, to, naming, composite, woBevel, hidden, preserve;
        double resolution;
    };
    const Case cases[] = {
        {"all.psd", 3, 1, 2, 0, 0, 1, 0, 150},
        {"selected.psd", 2, 1, 1, 1, 1, 0, 0, 0},
        {"merged.psd", 1, 1, 2, 0, 0, 0, 0, 72},
        {"sel/Puzzle.png", 2, 2, 2, 1, 0, 0, 1, 0},
        {"all/P", 3, 2, 1, 0, 1, 0, 0, 300},
        {"merged/M.png", 1, 2, 1, 0, 0, 0, 1, 96},
    };
    for (const Case& c : cases) {
        const std::string path = dir + "/" + c.file;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        CExportDialogModel dlg;
        dlg.counts = qwexport::CountPieces(source);
        dlg.options = PieceExportOptions{c.what, c.to, c.naming, c.composite, c.woBevel, c.hidden,
                                         c.preserve};
        dlg.Update();
        ASSERT_TRUE(dlg.exportEnabled) << c.file;
        CPieceExport ex(source, nullptr, nullptr);
        ExportDocument doc;
        doc.resolution = c.resolution;
        ASSERT_TRUE(ex.Prepare(dlg.itemCount, dlg.options, doc)) << c.file;
        const CQWF_String chosen(qwp::ToWindowsPath(path.c_str()).c_str());
        std::vector<std::string> files;
        uint32_t written = 0;
        if (c.to == 1) {
            ASSERT_TRUE(qwexport::WriteFile(chosen, &CPieceExport::WritePsd, &ex, nullptr));
        } else {
            CQWF_String base, ext;
            qwexport::SplitFileName(path.c_str(), "png", base, ext);
            for (size_t i = 0; i < ex.GetSuffixes().GetCount(); ++i)
                files.push_back(std::filesystem::relative(std::string(base.GetBuffer()) +
                                                              ex.GetSuffixes().GetAt(i).GetBuffer() +
                                                              ext.GetBuffer(),
                                                          dir)
                                    .string());
            ASSERT_TRUE(qwexport::WriteFileSeries(chosen, "png", ex.GetSuffixes(), ex, nullptr, &written));
            EXPECT_EQ(written, ex.GetItemCount());
        }
        desc.Export(c.to == 1 ? "psd" : "png", c.file, c.resolution > 0 ? c.resolution : 72.0, ex,
                    files);
        ASSERT_TRUE(ex.Finish());
        // Everything is back: bevels, shown flags and the document image.
        EXPECT_TRUE(States(engine) == before) << c.file;
        EXPECT_EQ(std::memcmp(image.planes[0], document.data(), document.size()), 0) << c.file;
    }
    desc.Finish();
}
