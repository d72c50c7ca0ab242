// Package writing and reopening, and the block processors it rests on.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_storage.h"
#include "platform/qw_paths.h"

namespace {

std::string BenchFile()
{
    static std::string path = [] {
        std::filesystem::path p = std::filesystem::temp_directory_path() /
                                  ("qw_bench_storage_" + std::to_string(::getpid()) + ".qws4");
        return p.string();
    }();
    return path;
}

// n entries: folders of 100 values each, a mix of kinds, as a settings or skin package has.
bool WritePackage(const std::string& winPath, int n)
{
    CQWF_Storage s;
    if (!s.OpenFile(winPath.c_str(), CQWF_Storage::kModeCreate)) return false;
    char key[64];
    int folder = -1;
    for (int i = 0; i < n; ++i) {
        if (i % 100 == 0) {
            std::snprintf(key, sizeof(key), "Folder %d", ++folder);
            if (!s.CreateFolder(key)) return false;
            continue;
        }
        std::snprintf(key, sizeof(key), "Folder %d>Key %d", folder, i);
        bool ok = false;
        switch (i % 3) {
        case 0: ok = s.SetDWord(key, static_cast<uint32_t>(i)); break;
        case 1: ok = s.SetString(key, "a text value of moderate length"); break;
        default: ok = s.SetDouble(key, i * 0.5); break;
        }
        if (!ok) return false;
    }
    return s.Close();
}

void BM_WritePackage(benchmark::State& state)
{
    std::string win = qwp::ToWindowsPath(BenchFile().c_str());
    for (auto _ : state) {
        if (!WritePackage(win, static_cast<int>(state.range(0)))) state.SkipWithError("write");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::remove(BenchFile().c_str());
}
BENCHMARK(BM_WritePackage)->Arg(1000)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

void BM_ReopenPackage(benchmark::State& state)
{
    std::string win = qwp::ToWindowsPath(BenchFile().c_str());
    int n = static_cast<int>(state.range(0));
    if (!WritePackage(win, n)) state.SkipWithError("write");
    for (auto _ : state) {
        CQWF_Storage s;
        if (!s.OpenFile(win.c_str(), CQWF_Storage::kModeRead)) state.SkipWithError("open");
        uint32_t v = 0;
        benchmark::DoNotOptimize(s.GetDWord("Folder 1>Key 102", v));
        s.Close();
    }
    state.SetItemsProcessed(state.iterations() * n);
    std::remove(BenchFile().c_str());
}
BENCHMARK(BM_ReopenPackage)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_VerifyAndOpenMemory(benchmark::State& state)
{
    std::string win = qwp::ToWindowsPath(BenchFile().c_str());
    if (!WritePackage(win, 10000)) state.SkipWithError("write");
    std::string bytes;
    if (FILE* f = std::fopen(BenchFile().c_str(), "rb")) {
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) bytes.append(buf, n);
        std::fclose(f);
    }
    for (auto _ : state) {
        CQWF_Storage s;
        if (!s.VerifyChecksum(bytes.data(), bytes.size()) ||
            !s.OpenMemory(bytes.data(), bytes.size())) {
            state.SkipWithError("open");
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
    std::remove(BenchFile().c_str());
}
BENCHMARK(BM_VerifyAndOpenMemory)->Unit(benchmark::kMillisecond);

void BM_LookupKeys(benchmark::State& state)
{
    std::string win = qwp::ToWindowsPath(BenchFile().c_str());
    if (!WritePackage(win, 10000)) state.SkipWithError("write");
    CQWF_Storage s;
    if (!s.OpenFile(win.c_str(), CQWF_Storage::kModeRead)) state.SkipWithError("open");
    char key[64];
    int i = 1;
    for (auto _ : state) {
        std::snprintf(key, sizeof(key), "Folder %d>Key %d", i / 100, i);
        benchmark::DoNotOptimize(s.GetKind(key));
        if (++i % 100 == 0) ++i;
        if (i >= 10000) i = 1;
    }
    s.Close();
    std::remove(BenchFile().c_str());
}
BENCHMARK(BM_LookupKeys);

std::string Sample(size_t n)
{
    std::string s(n, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>('a' + (x >> 16) % 16);
    }
    return s;
}

void BM_MD5(benchmark::State& state)
{
    std::string data = Sample(1 << 20);
    CQWF_Mem out;
    for (auto _ : state) {
        CQWF_MD5Block md5;
        md5.SetInput(data.data(), data.size());
        md5.SetOutputMem(&out);
        benchmark::DoNotOptimize(md5.Process());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_MD5);

void BM_ZipPackUnpack(benchmark::State& state)
{
    std::string data = Sample(1 << 20);
    CQWF_Mem packed, back;
    for (auto _ : state) {
        CQWF_ZipBlock pack;
        pack.SetMode(static_cast<uint8_t>(state.range(0)));
        pack.SetInput(data.data(), data.size());
        pack.SetOutputMem(&packed);
        CQWF_ZipBlock unpack;
        unpack.SetMode(0);
        unpack.SetInputMem(packed);
        unpack.SetOutputMem(&back);
        benchmark::DoNotOptimize(pack.Process() && unpack.Process());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_ZipPackUnpack)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace
