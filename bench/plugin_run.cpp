// The whole run without the dialog: the layout replayed from "last.data", the host's planes read
// in strips, the cut, every piece rendered with the default effects (the bevel), the composite
// and the write-back, at 4000 x 3000, 12000 x 9000 and (opt-in: QW_BENCH_HUGE=1) 30000 x 30000.
//
// Each size runs on one thread and then on all the processor's threads (vs_one_thread: the
// second's time over the first's). Counters: first_ms the first run of the size (fresh pages), service_ms the host's strip service
// within a run (the filter's own time is the run's less this), peak_MB the resident peak of the
// process over the runs of the size (run each size alone for its own), host_MB the host's
// document (its planes and strip buffers), B_per_px the peak over the image's pixels, run_B_per_px the
// peak less the host's document over the pixels, faults_per_run the page faults of a run after
// the first (fresh memory in steady state), digest 24 bits of a hash of the written planes.
//
// BM_FreshHostRun starts the test host (qwhost, beside this program; QW_BENCH_BIN names another
// folder holding qwhost and the module) for each round on a picture of the size, with the
// layout as "last.data" in its data folder, and has it run the filter three times: fresh_ms is
// the filter time of the first run (a fresh process: every page new), steady_ms that of the two
// runs after it in the same process, ratio fresh_ms / steady_ms. The host's own strip service is
// left out of both (qwhost's "filter time").
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/qw_module.h"
#include "platform/qw_threads.h"
#include "platform/qw_paths.h"
#include "plugin/core/qw_pluginentry.h"
#include "plugin/core/qw_pluginmain.h"
#include "tests/plugin/core/fake_host.h"
#include "tools/makesample/sample_layout.h"

namespace {

// The smoke run of ctest only shows that every benchmark runs: one round of the host.
const bool kSmoke = std::getenv("QW_BENCH_SMOKE") != nullptr;

// Resident peak and current size of the process (VmHWM, VmRSS) in MB.
double StatusMegabytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(key);
    while (std::getline(status, line))
        if (line.compare(0, n, key) == 0) return std::atof(line.c_str() + n) / 1024.0;
    return 0.0;
}

// Minor page faults of the process so far.
long MinorFaults()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

// Starts a new resident peak from the current size.
void ResetPeak()
{
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

void BM_ReplayRun(benchmark::State& state)
{
    if (state.range(0) * state.range(1) > 200000000 && !std::getenv("QW_BENCH_HUGE")) {
        state.SkipWithError("opt-in: set QW_BENCH_HUGE=1");
        return;
    }
    const int32_t w = static_cast<int32_t>(state.range(0));
    const int32_t h = static_cast<int32_t>(state.range(1));
    const int columns = static_cast<int>(state.range(2));
    const int rows = static_cast<int>(state.range(3));
    // Threads: 1 the one-thread run, 0 all the processor's.
    const int threads = static_cast<int>(state.range(4));
    qwp::SetThreadCountForTesting(threads);
    struct Restore {
        ~Restore() { qwp::SetThreadCountForTesting(0); }
    } restore;

    // The module's folder (and data folder) holds the layout as "last.data".
    char folderTemplate[] = "/tmp/qwbench.XXXXXX";
    if (!mkdtemp(folderTemplate)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string folder = folderTemplate;
    std::vector<uint8_t> blob;
    if (!qwsample::MakeLayoutBlob(w, h, columns, rows, true, nullptr, blob)) {
        state.SkipWithError("no layout");
        return;
    }
    FILE* f = std::fopen((folder + "/last.data").c_str(), "wb");
    if (!f || std::fwrite(blob.data(), 1, blob.size(), f) != blob.size()) {
        if (f) std::fclose(f);
        state.SkipWithError("cannot write last.data");
        return;
    }
    std::fclose(f);
    qwp::SetModuleFileNameForTesting(
        (qwp::ToWindowsPath(folder.c_str()) + "\\QWJigcrafter30.8bf").c_str());

    FilterRecord rec;
    fakehost::Reset(rec, w, h, plugInModeRGBColor, 3);
    std::vector<uint8_t> picture;
    qwsample::MakePicture(w, h, picture);
    const size_t area = static_cast<size_t>(w) * static_cast<size_t>(h);
    for (int p = 0; p < 3; ++p)
        std::memcpy(fakehost::S().planes[size_t(p)].data(), picture.data() + area * p, area);
    picture = std::vector<uint8_t>();
    rec.maxSpace = 16 << 20;
    // A plug-in object of its own: nothing another case kept is counted in this one's memory.
    auto owned = std::make_unique<CPluginMain>();
    CPluginMain& plugin = *owned;
    intptr_t data = 0;
    int16_t result = 0;
    int32_t pieces = 0;
    // Nor is memory the allocator keeps from earlier cases (given back to the system first).
    malloc_trim(0);
    ResetPeak();
    // The host's document and its two strip buffers.
    const double hostMegabytes =
        (3.0 * static_cast<double>(area) + 2.0 * static_cast<double>(rec.maxSpace)) / 1048576.0;
    double firstMs = -1.0, totalMs = 0.0;
    long faultsAfterFirst = 0;
    const double serviceBefore = fakehost::S().serviceMs;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        QW_Dispatch(plugin, filterSelectorStart, &rec, &data, &result);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        totalMs += ms;
        if (firstMs < 0) firstMs = ms;
        if (faultsAfterFirst == 0) faultsAfterFirst = MinorFaults();
        if (result != 0) {
            state.SkipWithError("the run failed");
            break;
        }
    }
    const double peak = StatusMegabytes("VmHWM:");
    // Pages faulted in by a run after the first (fresh memory in steady state).
    if (state.iterations() > 1)
        state.counters["faults_per_run"] = static_cast<double>(MinorFaults() - faultsAfterFirst) /
                                           static_cast<double>(state.iterations() - 1);
    // The host's strip service per run (its copies into and out of its strip buffers).
    state.counters["service_ms"] = benchmark::Counter(
        fakehost::S().serviceMs - serviceBefore, benchmark::Counter::kAvgIterations);
    state.counters["first_ms"] = firstMs;
    // The time of a run against the one-thread run of the same size just before it.
    static std::map<int64_t, double> oneThread;
    const double meanMs = state.iterations() > 0 ? totalMs / static_cast<double>(state.iterations()) : 0;
    if (threads == 1) oneThread[state.range(0)] = meanMs;
    else if (oneThread.count(state.range(0)) && oneThread[state.range(0)] > 0)
        state.counters["vs_one_thread"] = meanMs / oneThread[state.range(0)];
    state.counters["peak_MB"] = peak;
    state.counters["host_MB"] = hostMegabytes;
    state.counters["B_per_px"] = peak * 1048576.0 / static_cast<double>(area);
    state.counters["run_B_per_px"] = (peak - hostMegabytes) * 1048576.0 / static_cast<double>(area);
    // The piece count of one cut, outside the timing.
    {
        CJigcrafter e;
        CQWF_Mem b;
        b.Alloc(blob.size());
        std::memcpy(b.GetData(), blob.data(), blob.size());
        bool layoutMode = false;
        uint32_t count = 0;
        uint8_t* records = nullptr;
        const uint8_t* planes[3] = {fakehost::S().planes[0].data(), fakehost::S().planes[1].data(),
                                    fakehost::S().planes[2].data()};
        if (e.LoadLayout(&b, layoutMode, count, records) &&
            e.Cut(w, h, nullptr, 0, planes, w, 3, 0, 100, false))
            pieces = e.GetPieceCount();
    }
    state.counters["pieces"] = pieces;
    // A digest of the written planes: a change that keeps the result keeps it.
    uint32_t digest = 2166136261u;
    for (int p = 0; p < 3; ++p)
        for (uint8_t v : fakehost::S().planes[size_t(p)]) digest = (digest ^ v) * 16777619u;
    state.counters["digest"] = static_cast<double>(digest >> 8);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(area));
    qwp::SetModuleFileNameForTesting(nullptr);
    std::remove((folder + "/last.data").c_str());
    std::remove((folder + "/plugin.conf").c_str());
    std::remove(folder.c_str());
}
// 300 pieces on 4000 x 3000; 2000 pieces on 12000 x 9000; the largest grid (101 x 101 cells,
// pieces of about 300 x 300 pixels) on the largest picture.
// Each size on one thread, then on all the processor's (the last argument, 0): vs_one_thread
// is the second's time over the first's.
BENCHMARK(BM_ReplayRun)->Args({4000, 3000, 20, 15, 1})->Args({4000, 3000, 20, 15, 0})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplayRun)
    ->Args({12000, 9000, 50, 40, 1})
    ->Args({12000, 9000, 50, 40, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);
BENCHMARK(BM_ReplayRun)
    ->Args({30000, 30000, 101, 101, 1})
    ->Args({30000, 30000, 101, 101, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A folder for the fresh runs: the picture as raw planes, the layout as last.data in the data
// folder. Removed with everything in it.
struct FreshFolder {
    std::string path;
    ~FreshFolder()
    {
        if (path.empty()) return;
        for (const char* name : {"/picture.raw", "/data/last.data", "/data/plugin.conf"})
            std::remove((path + name).c_str());
        std::remove((path + "/data").c_str());
        std::remove(path.c_str());
    }
};

bool WriteBytes(const std::string& path, const uint8_t* bytes, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

void BM_FreshHostRun(benchmark::State& state)
{
    const int32_t w = static_cast<int32_t>(state.range(0));
    const int32_t h = static_cast<int32_t>(state.range(1));
    const char* binEnv = std::getenv("QW_BENCH_BIN");
    const std::string bin = binEnv ? binEnv : QW_BINARY_DIR "/bin";
    FreshFolder folder;
    char folderTemplate[] = "/tmp/qwfresh.XXXXXX";
    if (!mkdtemp(folderTemplate)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    folder.path = folderTemplate;
    std::vector<uint8_t> blob, picture;
    qwsample::MakePicture(w, h, picture);
    if (!qwsample::MakeLayoutBlob(w, h, static_cast<int>(state.range(2)),
                                  static_cast<int>(state.range(3)), true, nullptr, blob) ||
        mkdir((folder.path + "/data").c_str(), 0700) != 0 ||
        !WriteBytes(folder.path + "/data/last.data", blob.data(), blob.size()) ||
        !WriteBytes(folder.path + "/picture.raw", picture.data(), picture.size())) {
        state.SkipWithError("cannot write the picture and layout");
        return;
    }
    picture = std::vector<uint8_t>();
    const std::string command = "\"" + bin + "/qwhost\" --module \"" + bin +
                                "/QWJigcrafter30.8bf\" --data-dir \"" + folder.path +
                                "/data\" --raw \"" + folder.path + "/picture.raw\" --size " +
                                std::to_string(w) + "x" + std::to_string(h) +
                                " --mode rgb --max-space 16777216 --selectors 2,3,5,2,3,5,2,3,5 2>&1";
    double fresh = 0, steady = 0;
    int64_t rounds = 0;
    for (auto _ : state) {
        FILE* out = popen(command.c_str(), "r");
        if (!out) {
            state.SkipWithError("cannot start qwhost");
            break;
        }
        // One "filter time: X ms" line per selector; every third one is a Start.
        std::vector<double> times;
        char line[512];
        while (std::fgets(line, sizeof line, out)) {
            double ms = 0;
            if (std::sscanf(line, "filter time: %lf ms", &ms) == 1) times.push_back(ms);
        }
        const int status = pclose(out);
        if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || times.size() != 9) {
            state.SkipWithError("qwhost failed");
            break;
        }
        state.SetIterationTime(times[1] / 1000.0);
        fresh += times[1];
        steady += (times[4] + times[7]) / 2.0;
        ++rounds;
    }
    if (rounds == 0) return;
    state.counters["fresh_ms"] = fresh / static_cast<double>(rounds);
    state.counters["steady_ms"] = steady / static_cast<double>(rounds);
    state.counters["ratio"] = fresh / steady;
}
BENCHMARK(BM_FreshHostRun)
    ->Args({4000, 3000, 20, 15})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(kSmoke ? 1 : 5);
BENCHMARK(BM_FreshHostRun)
    ->Args({12000, 9000, 50, 40})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

}  // namespace
