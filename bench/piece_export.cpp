// The piece export of 300 rendered pieces of a 4000 x 3000 picture: one layered PSD file, and 300
// PNG files (on the document's canvas, as by default, and at the pieces' own sizes), each series
// as new files (into an empty folder) and over an earlier series of the same names. The cut and
// the rendering happen once, outside the timing; each iteration chooses, orders and names the
// items, writes the files and gives the pieces back. For figures that compare the rows, run them
// interleaved: --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/qw_paths.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/main/export_dialogs.h"
#include "plugin/main/export_engine_source.h"
#include "plugin/main/piece_export.h"
#include "tools/makesample/sample_layout.h"

namespace {

// The smoke run of ctest only shows that every export runs: 300 pieces of a small picture.
const bool kSmoke = std::getenv("QW_BENCH_SMOKE") != nullptr;
const int32_t kW = kSmoke ? 600 : 4000;
const int32_t kH = kSmoke ? 450 : 3000;

struct Sample {
    CJigcrafter engine;
    CEngineExportSource source{engine};
    std::string folder;
    bool ok = false;

    Sample()
    {
        std::vector<uint8_t> blob;
        if (!qwsample::MakeLayoutBlob(kW, kH, 20, 15, true, nullptr, blob)) return;
        CQWF_Mem block;
        if (!block.Alloc(blob.size())) return;
        std::memcpy(block.GetData(), blob.data(), blob.size());
        bool layoutMode = true;
        uint32_t count = 0;
        uint8_t* records = nullptr;
        if (!engine.LoadLayout(&block, layoutMode, count, records)) return;
        std::vector<uint8_t> picture;
        qwsample::MakePicture(kW, kH, picture);
        const size_t area = size_t(kW) * kH;
        const uint8_t* planes[3] = {picture.data(), picture.data() + area,
                                    picture.data() + 2 * area};
        engine.SetColourLayout(1);
        if (!engine.Cut(kW, kH, nullptr, 0, planes, kW, 3, 0, 100, false)) return;
        for (int32_t i = 0; i < engine.GetPieceCount(); ++i)
            if (!engine.RenderPiece(i)) return;
        if (!source.BuildDocumentImage(kW, kH, false)) return;
        char tmpl[] = "/tmp/qwbench-export.XXXXXX";
        if (!mkdtemp(tmpl)) return;
        folder = tmpl;
        ok = true;
    }
    ~Sample()
    {
        std::error_code ec;
        if (!folder.empty()) std::filesystem::remove_all(folder, ec);
    }
};

Sample& GetSample()
{
    static Sample sample;
    return sample;
}

// Every file of the folder goes (outside the timing).
void Empty(const std::string& folder)
{
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) std::filesystem::remove(e.path(), ec);
}

void Export(benchmark::State& state, uint8_t exportTo, uint8_t preserve, bool over)
{
    Sample& s = GetSample();
    if (!s.ok) {
        state.SkipWithError("no sample");
        return;
    }
    CExportDialogModel dlg;
    dlg.counts = qwexport::CountPieces(s.source);
    dlg.options.exportWhat = 3;
    dlg.options.exportTo = exportTo;
    dlg.options.preservePosition = preserve;
    dlg.Update();
    const std::string folder = s.folder + "/" + std::to_string(exportTo) + std::to_string(preserve) + (over ? "over" : "new");
    const std::string path = folder + (exportTo == 1 ? "/pieces.psd" : "/P.png");
    std::filesystem::create_directories(folder);
    const CQWF_String chosen(qwp::ToWindowsPath(path.c_str()).c_str());
    auto run = [&] {
        CPieceExport ex(s.source, nullptr, nullptr);
        uint32_t written = 0;
        return ex.ExportTo(chosen, dlg.itemCount, dlg.options, ExportDocument(), &written) &&
               written == (exportTo == 1 ? 1 : dlg.itemCount);
    };
    // The earlier series the timed ones replace.
    if (over && !run()) {
        state.SkipWithError("the export failed");
        return;
    }
    for (auto _ : state) {
        if (!over) {
            state.PauseTiming();
            Empty(folder);
            state.ResumeTiming();
        }
        if (!run()) {
            state.SkipWithError("the export failed");
            break;
        }
    }
    uint64_t bytes = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        if (e.is_regular_file()) bytes += e.file_size();
    Empty(folder);
    state.counters["pieces"] = s.engine.GetPieceCount();
    state.counters["items"] = dlg.itemCount;
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_ExportPsd(benchmark::State& state) { Export(state, 1, 0, state.range(0) != 0); }
void BM_ExportPngCanvas(benchmark::State& state) { Export(state, 2, 1, state.range(0) != 0); }
void BM_ExportPngPieces(benchmark::State& state) { Export(state, 2, 0, state.range(0) != 0); }

}  // namespace

// Argument 0: new files; 1: over an earlier series.
BENCHMARK(BM_ExportPsd)->ArgName("over")->Arg(0)->Arg(1)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportPngCanvas)->ArgName("over")->Arg(0)->Arg(1)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(kSmoke ? 1 : 5);
BENCHMARK(BM_ExportPngPieces)->ArgName("over")->Arg(0)->Arg(1)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(kSmoke ? 1 : 5);
