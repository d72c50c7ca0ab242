// The compiled skin package holds every object the effect windows and the two pickers create,
// with the slider ranges their code assumes.
#include "framework/core/qwf_storage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
struct Object {
    const char* kind;  // the package folder of the control kind
    std::string name;
};

const char* const kButton = "Buttons";
const char* const kCheck = "Check Boxes";
const char* const kRadio = "Radio Buttons";
const char* const kEdit = "Edits";
const char* const kSlider = "Sliders";
const char* const kImage = "Static Images";
const char* const kText = "Static Texts";
const char* const kRect = "Rects";
const char* const kList = "Lists";
const char* const kScroll = "Scroll Bars";

// The objects every effect window shares, then its own.
std::vector<Object> EffectObjects(const std::string& name, std::vector<Object> own)
{
    const std::string p = "FX" + name + "_";
    std::vector<Object> all = {{kImage, p + "GFrm"},    {kImage, p + "Object"},
                               {kButton, p + "CloseX"}, {kButton, p + "Cancel"},
                               {kButton, p + "Ok"},     {kButton, p + "Help"},
                               {kButton, p + "Reset"},  {kButton, p + "Preview"},
                               {kButton, p + "ARND"},   {kCheck, p + "Preview"},
                               {kCheck, p + "AAdjust"}, {kText, p + "Status"},
                               {kRect, p + "Preview"}};
    for (const char* d : {"AT", "ATL", "AL", "ABL", "AB", "ABR", "AR", "ATR"})
        all.push_back({kRadio, p + d});
    for (Object& o : own) {
        if (o.name.rfind("FXBevel_", 0) != 0)
            o.name = p + o.name;
        all.push_back(o);
    }
    return all;
}

struct Window {
    std::string name;
    std::vector<Object> objects;
};

std::vector<Window> Windows()
{
    std::vector<Window> w;
    w.push_back({"FXbc", EffectObjects("bc", {{kRect, "RangeBright"}, {kRect, "RangeContrast"},
                                              {kCheck, "ABrightness"}, {kCheck, "AContrast"},
                                              {kEdit, "Bright"}, {kEdit, "Contrast"},
                                              {kSlider, "Bright1"}, {kSlider, "Bright2"},
                                              {kSlider, "Contrast1"}, {kSlider, "Contrast2"}})});
    w.push_back({"FXbevel",
                 EffectObjects("bevel", {{kRect, "RangeSize"}, {kRect, "RangeDepth"},
                                         {kRect, "RangeSoften"}, {kRect, "HLColor"},
                                         {kRect, "SHColor"}, {kRect, "LightZone"},
                                         {kImage, "FXBevel_LightThumb"}, {kCheck, "ASize"},
                                         {kCheck, "ADepth"}, {kCheck, "ASoften"},
                                         {kEdit, "Size"}, {kEdit, "Depth"}, {kEdit, "Soften"},
                                         {kEdit, "HLOpacity"}, {kEdit, "SHOpacity"},
                                         {kEdit, "Angle"}, {kEdit, "Alt"}, {kSlider, "Size1"},
                                         {kSlider, "Size2"}, {kSlider, "Depth1"},
                                         {kSlider, "Depth2"}, {kSlider, "Soften1"},
                                         {kSlider, "Soften2"}, {kSlider, "HLOpacity"},
                                         {kSlider, "SHOpacity"}})});
    w.push_back({"FXblur", EffectObjects("blur", {{kRect, "RangeRadius"}, {kEdit, "Radius"},
                                                  {kSlider, "Radius"}, {kSlider, "Radius2"}})});
    w.push_back({"FXopac", EffectObjects("opac", {{kRect, "RangeOpacity"}, {kEdit, "Opacity"},
                                                  {kSlider, "Opacity"}, {kSlider, "Opacity2"}})});
    w.push_back({"FXcovr",
                 EffectObjects("covr", {{kRect, "RangeOpacity"}, {kRect, "Color1"},
                                        {kRect, "Color2"}, {kCheck, "AColor"},
                                        {kCheck, "AOpacity"}, {kImage, "Color1"},
                                        {kImage, "Color2"}, {kEdit, "Opacity"},
                                        {kSlider, "Opacity"}, {kSlider, "Opacity2"}})});
    w.push_back({"FXhsl", EffectObjects("hsl", {{kRect, "RangeH"}, {kRect, "RangeS"},
                                                {kRect, "RangeL"}, {kCheck, "AH"}, {kCheck, "AS"},
                                                {kCheck, "AL"}, {kEdit, "H"}, {kEdit, "S"},
                                                {kEdit, "L"}, {kSlider, "H1"}, {kSlider, "H2"},
                                                {kSlider, "S1"}, {kSlider, "S2"}, {kSlider, "L1"},
                                                {kSlider, "L2"}})});
    w.push_back({"FXiovr",
                 EffectObjects("iovr", {{kRect, "RangeOpacity"}, {kEdit, "Opacity"},
                                        {kButton, "ChooseImage"}, {kSlider, "Opacity"},
                                        {kSlider, "Opacity2"}, {kImage, "Object2"},
                                        {kText, "CurrentImage"}})});
    w.push_back({"FXmblur",
                 EffectObjects("mblur", {{kRect, "Dir1"}, {kRect, "Dir2"},
                                         {kRect, "RangeRadius"}, {kCheck, "AAngle"},
                                         {kCheck, "ARadius"}, {kEdit, "Dir1"}, {kEdit, "Dir2"},
                                         {kEdit, "Radius"}, {kSlider, "Dir1"}, {kSlider, "Dir2"},
                                         {kSlider, "Radius1"}, {kSlider, "Radius2"}})});
    w.push_back({"FXstroke",
                 EffectObjects("stroke", {{kRect, "RangeOpacity"}, {kRect, "RangeSize"},
                                          {kRect, "Color1"}, {kRect, "Color2"},
                                          {kCheck, "AColor"}, {kCheck, "AOpacity"},
                                          {kCheck, "ASize"}, {kImage, "Color1"},
                                          {kImage, "Color2"}, {kEdit, "Opacity"},
                                          {kEdit, "Size"}, {kSlider, "Opacity"},
                                          {kSlider, "Opacity2"}, {kSlider, "Size"},
                                          {kSlider, "Size2"}})});
    for (const char* n : {"ChannelList", "Layers"}) {
        const std::string p = std::string(n) + "_";
        Window win{n,
                   {{kButton, p + "CloseX"},
                    {kButton, p + "Cancel"},
                    {kButton, p + "Ok"},
                    {kButton, p + "Help"},
                    {kList, p + "List"},
                    {kButton, p + "ScrollV_Bottom"},
                    {kButton, p + "ScrollV_TopNR"},
                    {kScroll, p + "ScrollV_NR"},
                    {kText, p + "Status"},
                    {kRect, p + "Preview"}}};
        if (p == "ChannelList_") {
            for (const char* r : {"SelNew", "SelAdd", "SelSub", "SelInter"})
                win.objects.push_back({kRadio, p + r});
            win.objects.push_back({kCheck, p + "Invert"});
        } else {
            win.objects.push_back({kRadio, p + "ShowAll"});
            win.objects.push_back({kRadio, p + "ShowFiltered"});
        }
        w.push_back(win);
    }
    return w;
}
}  // namespace

TEST(EffectSkins, ThePackageHoldsEveryObjectTheWindowsCreate)
{
    CQWF_Storage package;
    ASSERT_TRUE(package.OpenFile(("Z:" + qwtest::BinaryDir() + "/bin/resource_jw30.qws4").c_str(),
                                 CQWF_Storage::kModeRead));
    for (const char* font : {"Info Font", "Edit Font", "List Font"})
        EXPECT_NE(package.GetKind((std::string("UIResources>Fonts>") + font).c_str()),
                  CQWF_Storage::kKindMissing)
            << font;
    for (const Window& w : Windows()) {
        EXPECT_EQ(package.GetKind(("UIResources>Windows>" + w.name).c_str()),
                  CQWF_Storage::kKindFolder)
            << w.name;
        for (const Object& o : w.objects) {
            const std::string key =
                std::string("UIResources>") + o.kind + ">" + o.name;
            EXPECT_NE(package.GetKind(key.c_str()), CQWF_Storage::kKindMissing) << key;
        }
    }

    // The slider ranges the windows' code works in.
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
