// Array growth, sorting and sorted lookup on the sizes the package directory and piece lists reach.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "framework/core/qwf_array.h"
#include "platform/qw_random.h"

namespace {
void BM_DWordAppend(benchmark::State& state)
{
    const size_t n = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        CQWF_DWordArray a;
        for (size_t i = 0; i < n; ++i) a.Add(static_cast<uint32_t>(i));
        benchmark::DoNotOptimize(a.GetPtr(0));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
}
BENCHMARK(BM_DWordAppend)->Arg(1000)->Arg(100000);

void BM_DWordSort(benchmark::State& state)
{
    const size_t n = static_cast<size_t>(state.range(0));
    const uint32_t distinct = static_cast<uint32_t>(state.range(1));
    qwp::SeedRandom(42);
    std::vector<uint32_t> values(n);
    for (uint32_t& v : values)
        v = static_cast<uint32_t>((qwp::Random15() << 15) | qwp::Random15()) % distinct;
    for (auto _ : state) {
        state.PauseTiming();
        CQWF_DWordArray a;
        for (uint32_t v : values) a.Add(v);
        state.ResumeTiming();
        a.Sort(true);
        benchmark::DoNotOptimize(a.GetPtr(0));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
}
BENCHMARK(BM_DWordSort)->Args({100000, 1u << 30})->Args({100000, 100})->Args({100000, 1});

void BM_StringSortAndFind(benchmark::State& state)
{
    const size_t n = static_cast<size_t>(state.range(0));
    qwp::SeedRandom(7);
    std::vector<CQWF_String> keys;
    keys.reserve(n);
    char text[32];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(text, sizeof(text), "Folder>Key %05d", qwp::Random15());
        keys.emplace_back(text);
    }
    for (auto _ : state) {
        CQWF_StringArray a;
        for (size_t i = 0; i < n; ++i) a.Add(keys[i], static_cast<uint32_t>(i));
        a.Sort(true);
        int64_t found = 0;
        for (size_t i = 0; i < n; ++i) found += a.FindSorted(keys[i]) >= 0;
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
}
BENCHMARK(BM_StringSortAndFind)->Arg(10000);
}  // namespace
