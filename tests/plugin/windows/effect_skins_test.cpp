// The compiled skin package gives the effect windows' sliders the ranges their code works in.
// That it holds every object the windows create their own tests see: each window, the two
// pickers too, is made from it and refuses to open without one of its objects.
#include "framework/core/qwf_storage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(EffectSkins, TheSlidersRunOverTheRangesTheWindowsWorkIn)
{
    CQWF_Storage package;
    ASSERT_TRUE(package.OpenFile(("Z:" + qwtest::BinaryDir() + "/bin/resource_jw30.qws4").c_str(),
                                 CQWF_Storage::kModeRead));
    struct Range {
        const char* name;
        uint32_t start, end;
    };
    for (const Range& r : std::vector<Range>{{"FXbc_Bright1", 0, 200},  {"FXbc_Contrast2", 0, 200},
                                             {"FXbevel_Size1", 0, 200}, {"FXbevel_Depth2", 0, 999},
                                             {"FXbevel_Soften1", 0, 20}, {"FXbevel_HLOpacity", 0, 100},
                                             {"FXblur_Radius2", 0, 100}, {"FXhsl_H1", 0, 360},
                                             {"FXhsl_L2", 0, 200},      {"FXmblur_Dir2", 0, 359},
                                             {"FXmblur_Radius1", 0, 100}, {"FXstroke_Size2", 0, 100},
                                             {"FXcovr_Opacity", 0, 100}, {"FXiovr_Opacity2", 0, 100},
                                             {"FXopac_Opacity", 0, 100}}) {
        const std::string folder = std::string("UIResources>Sliders>") + r.name;
        uint32_t start = 99, end = 99;
        EXPECT_TRUE(package.GetDWord((folder + ">Data_ValueStart").c_str(), start)) << r.name;
        EXPECT_TRUE(package.GetDWord((folder + ">Data_ValueEnd").c_str(), end)) << r.name;
        EXPECT_EQ(start, r.start) << r.name;
        EXPECT_EQ(end, r.end) << r.name;
    }
    // The depth slider puts 100 in the middle of its track.
    uint32_t middle = 0;
    EXPECT_TRUE(package.GetDWord("UIResources>Sliders>FXbevel_Depth1>Data_Value_1", middle));
    EXPECT_EQ(middle, 100u);
}
