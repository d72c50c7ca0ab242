// The settings the export and preferences keep in the settings store, through a real store file:
// what is written reads back, what is missing or malformed keeps its default, and colours are
// four bytes.
#include "plugin/main/knife_export.h"
#include "plugin/main/piece_export.h"
#include "plugin/main/view_preferences.h"

#include "framework/core/qwf_storage.h"
#include "platform/qw_paths.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(ExportSettings, StoredValuesReadBackAndMissingOnesKeepTheirDefaults)
{
    qwtest::TempDir tmp;
    const std::string path = qwp::ToWindowsPath(tmp.File("plugin.conf").c_str());
    {
        CQWF_Storage store;
        ASSERT_TRUE(store.OpenFile(path.c_str(), CQWF_Storage::kModeCreate));
        // Nothing stored yet: the defaults stand.
        ViewPreferences prefs;
        qwpref::ReadPreferences(&store, prefs);
        EXPECT_EQ(prefs.delKnifeOpacity, 70);
        EXPECT_EQ(prefs.alphaColor2, 0xFFC0C0C0u);
        PieceExportOptions pieces;
        qwexport::LoadPieceExportOptions(&store, pieces);
        EXPECT_EQ(pieces.exportWhat, 2);
        EXPECT_EQ(pieces.preservePosition, 1);

        prefs.onLoadZoom = 0;
        prefs.delKnifeOpacity = 127;
        prefs.alphaSolid = 1;
        prefs.alphaColorSolid = 0x80112233u;  // alpha 0x80, blue 0x11, green 0x22, red 0x33
        prefs.extAlphaColor2 = 0xFF010203u;
        qwpref::WritePreferences(&store, prefs);
        pieces = PieceExportOptions{1, 2, 1, 0, 1, 1, 0};
        qwexport::SavePieceExportOptions(&store, pieces);
        qwexport::SaveKnifeExportOptions(&store, KnifeExportOptions{3, 2});
        ASSERT_TRUE(store.Close());
    }
    CQWF_Storage store;
    ASSERT_TRUE(store.OpenFile(path.c_str(), CQWF_Storage::kModeReadWrite));
    ViewPreferences prefs;
    qwpref::ReadPreferences(&store, prefs);
    uint32_t a, b, c, d;
    qwpref::TransparencyColours(prefs, a, b);
    qwpref::OutsideColours(prefs, c, d);
    EXPECT_EQ(std::vector<uint32_t>({prefs.onLoadZoom, prefs.delKnifeOpacity, prefs.alphaSolid, prefs.alphaColorSolid,
                                     prefs.extAlphaColor2, prefs.alphaColor1, a, b, c, d}),
              std::vector<uint32_t>({0, 127, 1, 0x80112233u, 0xFF010203u, 0xFFFFFFFFu, 0x80112233u, 0x80112233u,
                                     0xFFCCCCCCu, 0xFF010203u}));

    // Four bytes of the alpha-red-green-blue value, low byte first.
    CQWF_Mem raw;
    ASSERT_TRUE(store.GetBinary("Preferences>AlphaColorSolid", raw));
    ASSERT_EQ(raw.GetSize(), 4u);
    const uint8_t want[4] = {0x11, 0x22, 0x33, 0x80};
    EXPECT_EQ(std::memcmp(raw.GetData(), want, 4), 0);
    // A colour of another length, or of another kind, keeps what the caller had.
    ASSERT_TRUE(store.SetBinary("Preferences>AlphaColor1", want, 3));
    ASSERT_TRUE(store.SetDWord("Preferences>AlphaColor2", 0x12345678u));
    ViewPreferences fresh;
    qwpref::ReadPreferences(&store, fresh);
    EXPECT_EQ(fresh.alphaColor1, 0xFFFFFFFFu);
    EXPECT_EQ(fresh.alphaColor2, 0xFFC0C0C0u);

    PieceExportOptions p;
    qwexport::LoadPieceExportOptions(&store, p);
    KnifeExportOptions k;
    qwexport::LoadKnifeExportOptions(&store, k);
    EXPECT_EQ(std::vector<int>({p.exportWhat, p.exportTo, p.namingMode, p.includeComposite, p.withoutBevel,
                                p.includeHidden, p.preservePosition, k.exportWhat, k.exportTo}),
              std::vector<int>({1, 2, 1, 0, 1, 1, 0, 3, 2}));
}

// The hidden-knife opacity as the preferences window shows and takes it.
TEST(ExportSettings, HiddenKnifeOpacityPercent)
{
    EXPECT_EQ(qwpref::OpacityToPercent(127), 50);
    EXPECT_EQ(qwpref::OpacityToPercent(25), 10);
    EXPECT_EQ(qwpref::OpacityToPercent(51), 20);
    // The text as a decimal integer limited to 10..50; the opacity is that x 255 / 100.
    const std::pair<const char*, int> texts[] = {{"5", 10},  {"80", 50}, {"30", 30}, {" +30", 30},
                                                 {"-7", 10}, {"", 10},   {"99999999999999999999", 50}};
    for (const auto& [text, percent] : texts) {
        EXPECT_EQ(qwpref::LimitPercent(text), percent) << text;
        EXPECT_EQ(qwpref::OpacityFromPercentText(text), percent * 255 / 100) << text;
    }
}
