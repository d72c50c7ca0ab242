#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "platform/qw_cpu.h"

namespace {

std::set<std::string> Split(const std::string& text, char sep)
{
    std::set<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, sep))
        if (!part.empty()) parts.insert(part);
    return parts;
}

// The processor's feature flags as the kernel lists them.
std::set<std::string> ProcessorFlags()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("flags", 0) == 0) return Split(line.substr(line.find(':') + 1), ' ');
    return {};
}

}  // namespace

// A level is chosen only where the processor has every feature its kernels are compiled for:
// the names checked are the target names, and the supported level is the one the processor's
// own flags give.
TEST(CpuLevel, EachLevelNeedsExactlyTheFeaturesOfItsKernels)
{
    EXPECT_STREQ(qwp::CpuLevelFeatures(qwp::kCpuPlain), "");
    EXPECT_STREQ(qwp::CpuLevelFeatures(qwp::kCpuAvx2), QW_AVX2_FEATURES);
    EXPECT_STREQ(qwp::CpuLevelFeatures(qwp::kCpuAvx512), QW_AVX512_FEATURES);

    const std::set<std::string> flags = ProcessorFlags();
    if (flags.empty()) GTEST_SKIP() << "no /proc/cpuinfo flags";
    auto has = [&](const char* features) {
        for (const std::string& f : Split(features, ','))
            if (!flags.count(f)) return false;
        return true;
    };
    const qwp::CpuLevel expected = !has(QW_AVX2_FEATURES)     ? qwp::kCpuPlain
                                   : !has(QW_AVX512_FEATURES) ? qwp::kCpuAvx2
                                                              : qwp::kCpuAvx512;
    EXPECT_EQ(qwp::GetCpuSupportedLevel(), expected);
}
