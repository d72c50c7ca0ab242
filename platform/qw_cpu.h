// The vector level the program's kernels may use: one query for the whole program.
//
// The level is what the processor supports, lowered by the environment variable QW_ISA
// ("plain", "avx2" or "avx512"; read once, on the first query) and by a limit the tests set.
// Kernels are chosen from it once per call of an effect.
#pragma once

namespace qwp {

enum CpuLevel : int {
    kCpuPlain = 0,   // no vector extension beyond the base instruction set
    kCpuAvx2 = 1,    // AVX2
    kCpuAvx512 = 2,  // AVX-512 F, VL and BW
};

// The level in force: min(supported, QW_ISA, test limit).
CpuLevel GetCpuLevel();
// What the processor supports, whatever the limits.
CpuLevel GetCpuSupportedLevel();
// Test hook: no level above `limit` is used from now on (kCpuAvx512 lifts the limit). QW_ISA
// still applies.
void SetCpuLevelLimit(CpuLevel limit);
// "plain", "avx2" or "avx512".
const char* CpuLevelName(CpuLevel level);

}  // namespace qwp
