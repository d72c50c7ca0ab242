#include "platform/qw_cpu.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace qwp {
namespace {

CpuLevel DetectLevel()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512bw"))
        return kCpuAvx512;
    if (__builtin_cpu_supports("avx2")) return kCpuAvx2;
#endif
    return kCpuPlain;
}

// QW_ISA as a level; an unknown or missing value limits nothing.
CpuLevel EnvironmentLimit()
{
    const char* v = std::getenv("QW_ISA");
    if (!v) return kCpuAvx512;
    if (std::strcmp(v, "plain") == 0) return kCpuPlain;
    if (std::strcmp(v, "avx2") == 0) return kCpuAvx2;
    return kCpuAvx512;
}

// Supported level and QW_ISA, both fixed on the first query.
CpuLevel BaseLevel()
{
    static const CpuLevel base = [] {
        const CpuLevel s = DetectLevel(), e = EnvironmentLimit();
        return s < e ? s : e;
    }();
    return base;
}

std::atomic<int> g_limit{kCpuAvx512};

}  // namespace

CpuLevel GetCpuSupportedLevel()
{
    static const CpuLevel supported = DetectLevel();
    return supported;
}

CpuLevel GetCpuLevel()
{
    const CpuLevel base = BaseLevel();
    const int limit = g_limit.load(std::memory_order_relaxed);
    return limit < base ? static_cast<CpuLevel>(limit) : base;
}

void SetCpuLevelLimit(CpuLevel limit) { g_limit.store(limit, std::memory_order_relaxed); }

const char* CpuLevelName(CpuLevel level)
{
    switch (level) {
    case kCpuPlain: return "plain";
    case kCpuAvx2: return "avx2";
    default: return "avx512";
    }
}

}  // namespace qwp
