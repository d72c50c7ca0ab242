// The vector level the program's kernels may use: one query for the whole program, and the one
// way a kernel names the instructions of its level.
//
// The level is what the processor supports, lowered by the environment variable QW_ISA
// ("plain", "avx2" or "avx512"; read once, on the first query) and by a limit the tests set.
// Kernels are chosen from it once per call of an effect, from the table of their family.
#pragma once

#include <string>

namespace qwp {

enum CpuLevel : int {
    kCpuPlain = 0,   // no vector extension beyond the base instruction set
    kCpuAvx2 = 1,    // the features of QW_AVX2_FEATURES
    kCpuAvx512 = 2,  // the features of QW_AVX512_FEATURES
};

// The features a level's kernels are compiled for, in the compiler's target names. A level is
// supported only where the processor has every one of them.
#define QW_AVX2_FEATURES "avx2"
#define QW_AVX512_FEATURES "avx512f,avx512vl,avx512bw,avx512dq"

// A kernel of the AVX2 or the AVX-512 level: QW_AVX2 void Kernel(...).
#define QW_TARGET(features) __attribute__((target(features)))
#define QW_AVX2 QW_TARGET(QW_AVX2_FEATURES)
#define QW_AVX512 QW_TARGET(QW_AVX512_FEATURES)

// The error of QW_ISA when it names no level ("" when it is unset, empty or a level's name). A
// program refuses to run with it (qw_envcheck.h); elsewhere it is said on stderr on the first
// query of the level, which it then does not limit.
std::string CpuLevelSettingError();
// The level in force: min(supported, QW_ISA, test limit).
CpuLevel GetCpuLevel();
// What the processor supports, whatever the limits.
CpuLevel GetCpuSupportedLevel();
// Test hook: no level above `limit` is used from now on (kCpuAvx512 lifts the limit). QW_ISA
// still applies.
void SetCpuLevelLimit(CpuLevel limit);
// "plain", "avx2" or "avx512".
const char* CpuLevelName(CpuLevel level);
// The features the processor is checked for at a level, comma-separated as QW_AVX2_FEATURES
// and QW_AVX512_FEATURES ("" for the plain level).
const char* CpuLevelFeatures(CpuLevel level);

// The kernels of one family at each level, filled once (a constant table); a caller takes
// those of the level in force once per call, and runs them for the whole call.
template <class Kernels>
struct KernelTable {
    Kernels plain, avx2, avx512;

    const Kernels& At(CpuLevel level) const
    {
        return level >= kCpuAvx512 ? avx512 : (level >= kCpuAvx2 ? avx2 : plain);
    }
    const Kernels& InForce() const { return At(GetCpuLevel()); }
};

}  // namespace qwp
