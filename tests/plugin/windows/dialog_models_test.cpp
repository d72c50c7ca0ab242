// The auto layout and custom mutations dialogs without their windows.
#include "plugin/windows/auto_layout_model.h"
#include "plugin/windows/custom_mutations_model.h"
#include "plugin/windows/knife_shape_editor.h"

#include "framework/core/qwf_storage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
struct Prefs {
    qwtest::TempDir dir;
    CQWF_Storage s;
    Prefs() { EXPECT_TRUE(s.OpenFile(("Z:" + dir.File("plugin.conf")).c_str(), CQWF_Storage::kModeCreate)); }
};

struct RecordingBuilder : CAutoLayoutBuilder {
    std::vector<std::string> calls;
    bool BuildTriangularLayout(int rows, int columns, bool regular) override
    {
        calls.push_back("tri " + std::to_string(rows) + " " + std::to_string(columns) +
                        (regular ? " regular" : ""));
        return true;
    }
    bool BuildHexagonalLayout(int rows, int columns, bool regular) override
    {
        calls.push_back("hex " + std::to_string(rows) + " " + std::to_string(columns) +
                        (regular ? " regular" : ""));
        return true;
    }
};
}  // namespace

TEST(AutoLayoutDialog, ValuesClampToTheShapesBounds)
{
    using A = CAutoLayoutModel;
    A d;
    d.Show();
    EXPECT_EQ(d.GetRows(), 2);
    EXPECT_STREQ(d.GetEditText(A::kColumns), "2");
    EXPECT_EQ(d.GetMaximum(A::kRows), 98);
    EXPECT_EQ(d.GetMaximum(A::kColumns), 97);
    // "0", "-5" and "abc" give 1; the text stays as typed until the edit is left.
    for (const char* text : {"0", "-5", "abc"}) {
        d.OnEditChanged(A::kRows, text);
        EXPECT_EQ(d.GetRows(), 1) << text;
        EXPECT_STREQ(d.GetEditText(A::kRows), text);
    }
    d.OnEditDone(A::kRows);
    EXPECT_STREQ(d.GetEditText(A::kRows), "1");
    // Hexagons: "150" columns give 48, and leaving the edit shows it.
    d.SetShape(A::kHexagonal);
    d.OnEditChanged(A::kColumns, "150");
    EXPECT_EQ(d.GetColumns(), 48);
    EXPECT_STREQ(d.GetEditText(A::kColumns), "150");
    d.OnEditDone(A::kColumns);
    EXPECT_STREQ(d.GetEditText(A::kColumns), "48");
    // Triangles with 90 columns, then hexagons: the columns are held to 48, rows within 97.
    d.SetShape(A::kTriangular);
    d.OnSlider(A::kColumns, 90);
    d.OnSlider(A::kRows, 98);
    EXPECT_STREQ(d.GetEditText(A::kColumns), "90");
    d.SetShape(A::kHexagonal);
    EXPECT_EQ(d.GetColumns(), 48);
    EXPECT_EQ(d.GetRows(), 97);
    EXPECT_STREQ(d.GetEditText(A::kRows), "97");
    d.OnSlider(A::kRows, 500);
    EXPECT_EQ(d.GetRows(), 97);
}

TEST(AutoLayoutDialog, SettingsAndTheBuilder)
{
    using A = CAutoLayoutModel;
    Prefs p;
    RecordingBuilder builder;
    {
        // Nothing stored: the dialog's own values; Cancel stores nothing.
        A d;
        d.LoadSettings(&p.s);
        d.Show();
        d.OnSlider(A::kRows, 40);
        EXPECT_EQ(p.s.GetKind("Auto Layout Settings"), CQWF_Storage::kKindMissing);
    }
    p.s.CreateFolder("Auto Layout Settings");
    p.s.SetDWord("Auto Layout Settings>Rows", 200);
    p.s.SetDWord("Auto Layout Settings>Cols", 7);
    p.s.SetByte("Auto Layout Settings>Shape", 1);
    p.s.SetByte("Auto Layout Settings>Regular", 5);
    A d;
    d.LoadSettings(&p.s);
    d.Show();
    EXPECT_EQ(d.GetShape(), A::kHexagonal);
    EXPECT_TRUE(d.IsRegular());  // any non-zero byte
    EXPECT_EQ(d.GetRows(), 97);
    EXPECT_STREQ(d.GetEditText(A::kRows), "97");
    ASSERT_TRUE(d.Apply(&p.s, &builder));
    EXPECT_EQ(builder.calls, std::vector<std::string>{"hex 97 7 regular"});
    uint8_t regular = 0;
    uint32_t rows = 0;
    ASSERT_TRUE(p.s.GetByte("Auto Layout Settings>Regular", regular));
    ASSERT_TRUE(p.s.GetDWord("Auto Layout Settings>Rows", rows));
    EXPECT_EQ(regular, 1);
    EXPECT_EQ(rows, 97u);
    d.SetShape(A::kTriangular);
    d.SetRegular(false);
    d.Apply(&p.s, &builder);
    EXPECT_EQ(builder.calls.back(), "tri 97 7");
    // A stored shape that names neither layout is taken as triangles.
    p.s.SetByte("Auto Layout Settings>Shape", 9);
    A odd;
    odd.LoadSettings(&p.s);
    EXPECT_EQ(odd.GetShape(), A::kTriangular);
}

TEST(CustomMutationsDialog, NegativeTextAndTheSettings)
{
    // The percentages and sliders are driven through the window (small_dialogs_test.cpp).
    using C = CCustomMutationsModel;
    Prefs p;
    C d;
    d.Show();
    d.OnEditChanged(C::kU, "-3");
    EXPECT_EQ(d.GetAmount(C::kU), 0.0f);
    d.OnSlider(C::kS, 40, true);
    ASSERT_TRUE(d.SaveSettings(&p.s));
    C again;
    again.LoadSettings(&p.s);
    again.Show();
    EXPECT_EQ(again.GetSlider(C::kU), 40);
    double stored = 0;
    ASSERT_TRUE(p.s.GetDouble("Custom Mutations Settings>MutH", stored));
    EXPECT_FLOAT_EQ(static_cast<float>(stored), 0.4f);
}

TEST(AutoLayoutDialog, OkBuildsTheMeshWithTheCuttersShape)
{
    using A = CAutoLayoutModel;
    Prefs p;
    CLayoutModel layout;
    CKnifeShapeEditor cutter;
    layout.SetImageSize(1000, 1000);
    layout.SetGridSize(3, 3, true, true);
    layout.SetCutter(&cutter.GetCutterState());
    CLayoutAutoBuilder builder(layout);

    // Regular triangles, 4 rows and 3 columns on a square image: margins left and right.
    A d;
    d.LoadSettings(&p.s);
    d.Show();
    d.OnSlider(A::kRows, 4);
    d.OnSlider(A::kColumns, 3);
    d.SetRegular(true);
    ASSERT_TRUE(d.Apply(&p.s, &builder));
    EXPECT_NEAR(layout.GetXLines()[0], 0.2113, 1e-4);
    ASSERT_GT(layout.GetExtraKnifeCount(), 0);
    for (int32_t i = 0; i < layout.GetRowKnifeCount(); ++i) {
        EXPECT_TRUE(layout.RowKnives()[i].hidden);
        EXPECT_FALSE(layout.RowKnives()[i].selected);
    }
    for (int32_t i = 0; i < layout.GetExtraKnifeCount(); ++i) {
        const KnifeRecord& k = layout.ExtraKnives()[i].knife;
        EXPECT_TRUE(k.selected);
        ASSERT_EQ(k.nodeCount, cutter.GetNodeCount());
        EXPECT_EQ(k.H[2], static_cast<float>(cutter.GetShape().H[2]));
    }
    uint8_t shape = 9;
    ASSERT_TRUE(p.s.GetByte("Auto Layout Settings>Shape", shape));
    EXPECT_EQ(shape, 0);

    // Hexagons: every shown knife is selected afterwards.
    d.SetShape(A::kHexagonal);
    ASSERT_TRUE(d.Apply(&p.s, &builder));
    int shown = 0;
    for (int32_t i = 0; i < layout.GetExtraKnifeCount(); ++i) {
        const KnifeRecord& k = layout.ExtraKnives()[i].knife;
        EXPECT_EQ(k.selected, k.hidden ? 0 : 1);
        shown += k.hidden ? 0 : 1;
    }
    EXPECT_GT(shown, 0);
}
