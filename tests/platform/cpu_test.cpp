#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "platform/qw_cpu.h"
#include "platform/qw_envcheck.h"
#include "platform/qw_threads.h"
#include "platform/qw_winsys.h"
#include "support/test_support.h"

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

// QW_ISA and QW_WINDOW_SYSTEM take their values, QW_THREADS a whole number from 1 up, or
// nothing; anything else is an error that says what the setting takes, which a program prints
// after its name and then refuses to run.
TEST(EnvironmentSettings, UnknownValuesAreErrorsThatNameTheValues)
{
    {
        qwtest::EnvGuard isa("QW_ISA", nullptr), ws("QW_WINDOW_SYSTEM", ""), threads("QW_THREADS", nullptr);
        EXPECT_EQ(qwp::EnvironmentSettingErrors(), "");
        EXPECT_TRUE(qwp::CheckEnvironmentSettings("prog"));
    }
    for (const char* ok : {"plain", "avx2", "avx512"}) {
        qwtest::EnvGuard isa("QW_ISA", ok);
        EXPECT_EQ(qwp::CpuLevelSettingError(), "") << ok;
    }
    for (const char* ok : {"headless", "x11"}) {
        qwtest::EnvGuard ws("QW_WINDOW_SYSTEM", ok);
        EXPECT_EQ(qwp::WindowSystemSettingError(), "") << ok;
    }
    for (const char* ok : {"", "1", "8", "012", "100000", "99999999999999999999999"}) {
        qwtest::EnvGuard threads("QW_THREADS", ok);
        EXPECT_EQ(qwp::ThreadCountSettingError(), "") << ok;
    }
    for (const char* bad : {"avx512f", "sse", " plain"}) {
        qwtest::EnvGuard isa("QW_ISA", bad);
        EXPECT_NE(qwp::CpuLevelSettingError(), "") << bad;
    }
    for (const char* bad : {"0", "00", "-1", "+3", " 3", "3 ", "4x", "2.5", "0x10"}) {
        qwtest::EnvGuard threads("QW_THREADS", bad);
        EXPECT_NE(qwp::ThreadCountSettingError(), "") << bad;
    }
    qwtest::EnvGuard isa("QW_ISA", "AVX2"), ws("QW_WINDOW_SYSTEM", "wayland"), threads("QW_THREADS", "abc");
    EXPECT_EQ(qwp::CpuLevelSettingError(),
              "QW_ISA is \"AVX2\", which is not a vector level: use plain, avx2 or avx512, or leave it unset");
    EXPECT_EQ(qwp::WindowSystemSettingError(),
              "QW_WINDOW_SYSTEM is \"wayland\", which is not a window system: use headless or x11, or "
              "leave it unset");
    EXPECT_EQ(qwp::ThreadCountSettingError(),
              "QW_THREADS is \"abc\", which is not a thread count: use a whole number from 1 up, or leave "
              "it unset");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(qwp::CheckEnvironmentSettings("prog"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "prog: " + qwp::CpuLevelSettingError() + "\nprog: " + qwp::WindowSystemSettingError() +
                  "\nprog: " + qwp::ThreadCountSettingError() + "\n");
}

// QW_ISA limits the level a program uses, fixed at its first query: each value is seen by a fresh
// run of this program of its own.
TEST(CpuLevel, QwIsaLimitsTheLevelInForce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const auto& [isa, limit] : {std::pair{"plain", qwp::kCpuPlain}, {"avx2", qwp::kCpuAvx2}, {"avx512", qwp::kCpuAvx512}}) {
        qwtest::EnvGuard env("QW_ISA", isa);
        const qwp::CpuLevel want = std::min(qwp::GetCpuSupportedLevel(), limit);
        EXPECT_EXIT(std::exit(qwp::GetCpuLevel() == want ? 42 : 43), testing::ExitedWithCode(42), "") << isa;
    }
}
