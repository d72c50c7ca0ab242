#include "platform/qw_cpu.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/qw_envcheck.h"

namespace qwp {
namespace {

// One feature of a level: its target name and the processor's answer.
struct Feature {
    const char* name;
    bool (*present)();
};

#if defined(__x86_64__) || defined(__i386__)
#define QW_FEATURE(name) {name, [] { return __builtin_cpu_supports(name) != 0; }}
#else
#define QW_FEATURE(name) {name, [] { return false; }}
#endif

// Every feature the kernels of a level are compiled for (QW_AVX2_FEATURES and
// QW_AVX512_FEATURES, name for name); a level also needs those of the level below.
const Feature kAvx2Features[] = {QW_FEATURE("avx2")};
const Feature kAvx512Features[] = {QW_FEATURE("avx512f"), QW_FEATURE("avx512vl"),
                                   QW_FEATURE("avx512bw"), QW_FEATURE("avx512dq")};
#undef QW_FEATURE

template <size_t N>
bool HasAll(const Feature (&features)[N])
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
#endif
    for (const Feature& f : features)
        if (!f.present()) return false;
    return true;
}

template <size_t N>
std::string Names(const Feature (&features)[N])
{
    std::string s;
    for (const Feature& f : features) {
        if (!s.empty()) s += ',';
        s += f.name;
    }
    return s;
}

CpuLevel DetectLevel()
{
    if (!HasAll(kAvx2Features)) return kCpuPlain;
    if (!HasAll(kAvx512Features)) return kCpuAvx2;
    return kCpuAvx512;
}

// QW_ISA as a level; a missing value limits nothing, nor does an unknown one, which is said.
CpuLevel EnvironmentLimit()
{
    const std::string error = CpuLevelSettingError();
    if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
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
        const CpuLevel s = GetCpuSupportedLevel(), e = EnvironmentLimit();
        return s < e ? s : e;
    }();
    return base;
}

std::atomic<int> g_limit{kCpuAvx512};

}  // namespace

std::string CpuLevelSettingError()
{
    return SettingValueError("QW_ISA", "a vector level", {"plain", "avx2", "avx512"});
}

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

const char* CpuLevelFeatures(CpuLevel level)
{
    static const std::string avx2 = Names(kAvx2Features), avx512 = Names(kAvx512Features);
    switch (level) {
    case kCpuPlain: return "";
    case kCpuAvx2: return avx2.c_str();
    default: return avx512.c_str();
    }
}

}  // namespace qwp
