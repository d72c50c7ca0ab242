// The channel and layer pickers without their windows.
#include "plugin/windows/picker_models.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace qwpick;

namespace {
std::vector<std::string> Items(const CQWF_StringArray& a, std::vector<int32_t>* tags = nullptr)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < a.GetCount(); ++i) {
        const CQWF_String* s = a.GetStringPtr(i);
        out.push_back(s ? s->GetData() : "");
        if (tags) tags->push_back(s ? static_cast<int32_t>(s->GetTag()) : -99);
    }
    return out;
}

QWF_LayerEntry Layer(int32_t id, int32_t l, int32_t t, int32_t r, int32_t b, const char* name)
{
    QWF_LayerEntry e{};
    e.id = id;
    e.left = l, e.top = t, e.right = r, e.bottom = b;
    std::strncpy(e.name, name, sizeof e.name - 1);
    return e;
}
}  // namespace

TEST(ChannelPicker, ListsTheDocumentsChannelsByMode)
{
    QWF_HostInfo info{};
    CQWF_StringArray names, out;
    std::vector<int32_t> tags;
    info.layout = 1;
    info.planes = 3;
    ASSERT_TRUE(BuildChannelList(info, names, out));
    EXPECT_EQ(Items(out, &tags), (std::vector<std::string>{"Red", "Green", "Blue"}));
    EXPECT_EQ(tags, (std::vector<int32_t>{0, 1, 2}));

    info.planes = 4;
    info.transparencyPresent = 1;
    info.selection = 1;
    tags.clear();
    ASSERT_TRUE(BuildChannelList(info, names, out));
    EXPECT_EQ(Items(out, &tags), (std::vector<std::string>{"- Current Selection", "Red", "Green",
                                                           "Blue", "Layer Transparency"}));
    EXPECT_EQ(tags.front(), -1);
    EXPECT_EQ(tags.back(), 3);

    info.layout = 2;
    info.transparencyPresent = 0;
    info.selection = 0;
    ASSERT_TRUE(BuildChannelList(info, names, out));
    EXPECT_EQ(Items(out), (std::vector<std::string>{"Cyan", "Magenta", "Yellow", "Black"}));
    info.layout = 0;
    ASSERT_TRUE(BuildChannelList(info, names, out));
    EXPECT_EQ(Items(out), (std::vector<std::string>{"Gray"}));

    // Named channels: the host's names and identifiers.
    CQWF_String a, b;
    a = "Red";
    b = "Alpha 1";
    names.Add(a, 0);
    names.Add(b, 4);
    info.channelNamesPresent = 1;
    tags.clear();
    ASSERT_TRUE(BuildChannelList(info, names, out));
    EXPECT_EQ(Items(out, &tags), (std::vector<std::string>{"Red", "Alpha 1"}));
    EXPECT_EQ(tags, (std::vector<int32_t>{0, 4}));
}

TEST(ChannelPicker, EachEntryIsReadItsOwnWay)
{
    QWF_HostInfo info{};
    info.layout = 1;
    info.planes = 4;
    info.selection = 1;
    info.hostMask = 1;
    EXPECT_EQ(ChannelReadFor(info, -1), kReadSelection);
    info.hostMask = 0;
    EXPECT_EQ(ChannelReadFor(info, -1), kFillWhole);  // selects nothing unless inverted
    EXPECT_EQ(ChannelReadFor(info, 3), kReadPlane);
    EXPECT_EQ(ChannelReadFor(info, 4), kReadNothing);
    info.channelNamesPresent = 1;
    EXPECT_EQ(ChannelReadFor(info, 7), kReadAbsolute);
    EXPECT_EQ(CombineMode(false, false, false), 0);
    EXPECT_EQ(CombineMode(false, true, true), 2);
}

TEST(LayerPicker, ListsCoveringLayersLastFirstAndKeepsTheChoice)
{
    const Rect target = {10, 10, 50, 40};
    std::vector<QWF_LayerEntry> table = {
        Layer(3, 0, 0, 100, 100, "Sky"),   Layer(5, 20, 20, 30, 30, "Spot"),
        Layer(7, 10, 10, 50, 40, "Exact"), Layer(8, -32000, -32000, -32000, -32000, "Empty"),
        Layer(-1, 0, 0, 100, 100, "--COMPOSITE--")};
    EXPECT_TRUE(CoversTarget(table[0], target));
    EXPECT_FALSE(CoversTarget(table[1], target));
    EXPECT_TRUE(CoversTarget(table[2], target));
    EXPECT_FALSE(CoversTarget(table[3], target));
    EXPECT_FALSE(CoversTarget(table[0], Rect{-32000, -32000, -32000, -32000}));

    CQWF_StringArray out;
    std::vector<int32_t> tags;
    int32_t chosen = 7, selected = -5;
    ASSERT_TRUE(BuildLayerList(table.data(), table.size(), target, true, chosen, out, selected));
    EXPECT_EQ(Items(out, &tags),
              (std::vector<std::string>{"+\t| --COMPOSITE--", "+\t| Exact", "+\t| Sky"}));
    EXPECT_EQ(tags, (std::vector<int32_t>{4, 2, 0}));
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(chosen, 7);

    // Every layer, the uncovering ones with a blank; a choice that is not listed is dropped.
    chosen = 5;
    ASSERT_TRUE(BuildLayerList(table.data(), table.size(), target, false, chosen, out, selected));
    EXPECT_EQ(out.GetCount(), 5u);
    EXPECT_EQ(Items(out)[1], " \t| Empty");
    EXPECT_EQ(selected, 3);
    chosen = 5;
    ASSERT_TRUE(BuildLayerList(table.data(), table.size(), target, true, chosen, out, selected));
    EXPECT_EQ(chosen, -2);
    EXPECT_EQ(selected, 0);
    ASSERT_TRUE(BuildLayerList(table.data(), 0, target, true, chosen, out, selected));
    EXPECT_EQ(selected, -1);
}

TEST(LayerPicker, PreviewGeometryKeepsTheAspectAndRefusesEmptySources)
{
    Rect pic;
    ASSERT_TRUE(PictureRect(Rect{0, 0, 400, 100}, 200, 200, pic));
    EXPECT_EQ(pic.left, 0);
    EXPECT_EQ(pic.right, 200);
    EXPECT_EQ(pic.top, 75);
    EXPECT_EQ(pic.bottom, 125);
    ASSERT_TRUE(PictureRect(Rect{0, 0, 1, 10000}, 200, 100, pic));
    EXPECT_EQ(pic.right - pic.left, 1);  // at least a pixel
    // A layer without pixels, or a preview without room, gives the failure picture.
    EXPECT_FALSE(PictureRect(Rect{-32000, -32000, -32000, -32000}, 200, 200, pic));
    EXPECT_FALSE(PictureRect(Rect{5, 5, 5, 9}, 200, 200, pic));
    EXPECT_FALSE(PictureRect(Rect{0, 0, 10, 10}, 0, 200, pic));

    // The marker: the target inside the layer's picture, at least 2 pixels, clipped.
    Rect marker;
    ASSERT_TRUE(PictureRect(Rect{0, 0, 100, 100}, 100, 100, pic));
    ASSERT_TRUE(MarkerRect(Rect{10, 20, 11, 21}, Rect{0, 0, 100, 100}, pic, 100, 100, marker));
    EXPECT_EQ(marker.right - marker.left, 2);
    EXPECT_EQ(marker.bottom - marker.top, 2);
    ASSERT_TRUE(MarkerRect(Rect{50, 50, 300, 300}, Rect{0, 0, 100, 100}, pic, 100, 100, marker));
    EXPECT_EQ(marker.right, 100);
    EXPECT_FALSE(MarkerRect(Rect{500, 500, 600, 600}, Rect{0, 0, 100, 100}, pic, 100, 100,
                            marker));
    EXPECT_FALSE(MarkerRect(Rect{0, 0, 10, 10}, Rect{3, 3, 3, 3}, pic, 100, 100, marker));
    EXPECT_EQ(BlendOver(255, 255, 0), 254);
    EXPECT_EQ(BlendOver(0, 0, 200), 199);
}
