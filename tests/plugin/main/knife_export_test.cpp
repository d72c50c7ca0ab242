// Knife-path files: which knives are written, the file's frame and line ends, the page in points,
// and a full disk. KnifeSamples writes files for tests/scripts/knife_export.sh, which renders them
// with Ghostscript against the cutting engine's own drawing of the same knives.
#include "plugin/main/knife_export.h"
#include "plugin/main/layout_model.h"

#include "framework/core/qwf_file.h"
#include "platform/qw_paths.h"
#include "plugin/core/jigcrafter.h"
#include "support/test_support.h"
#include "tools/makesample/sample_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Messages : CUserMessageSink {
    std::vector<std::string> shown;
    void ShowMessage(const char* text, const char*) override { shown.push_back(text); }
};

std::string Text(const CLayoutModel& m, const KnifePathSettings& s)
{
    CQWF_Mem mem;
    size_t len = 0;
    EXPECT_TRUE(qwexport::BuildKnifePathText(m, s, mem, len, nullptr, nullptr));
    return std::string(reinterpret_cast<const char*>(mem.GetData()), len);
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// The four numbers after a comment such as "%%BoundingBox:".
std::vector<double> Box(const std::string& text, const std::string& key)
{
    std::vector<double> v(4, NAN);
    const size_t p = text.find(key);
    if (p != std::string::npos)
        std::sscanf(text.c_str() + p + key.size(), "%lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3]);
    return v;
}

// A 7 x 5 layout of tab knives with flips, several tips sizes and thicknesses, a hidden knife
// and two extra knives.
void Layout(CLayoutModel& m, CutterState& cutter, int32_t w, int32_t h, bool razor)
{
    std::vector<uint8_t> blob;
    ASSERT_TRUE(qwsample::MakeLayoutBlob(w, h, 7, 5, false, nullptr, blob, razor, true, 5));
    m.SetImageSize(w, h);
    ASSERT_TRUE(m.ReadLayoutV3(blob.data(), blob.size(), nullptr, nullptr, false));
    cutter = CutterState{};
    cutter.shape.nodeCount = 3;
    cutter.shape.U[0] = 0.3; cutter.shape.U[1] = 0.5; cutter.shape.U[2] = 0.7;
    cutter.shape.H[0] = 0.0; cutter.shape.H[1] = 0.25; cutter.shape.H[2] = 0.0;
    cutter.shape.S[0] = cutter.shape.S[1] = cutter.shape.S[2] = 0.5;
    cutter.tipsSize = 100;
    cutter.thickness = 5;
    m.SetCutter(&cutter);
    m.AddExtraKnife(0, 9);   // from the top left corner across the first cell
    m.AddExtraKnife(10, 20);
    m.SetCutter(nullptr);
    ASSERT_EQ(m.GetExtraKnifeCount(), 2);
    m.RowKnives()[4].tipsSize = 50;
    m.RowKnives()[5].flipAlong = 1;
    m.RowKnives()[6].flipAlong = 1;
    m.RowKnives()[6].flipAcross = 1;
    m.RowKnives()[6].tipsSize = 70;
    m.ColumnKnives()[2].thickness = 8;
    m.ColumnKnives()[7].hidden = 1;
    m.ColumnKnives()[9].nodeCount = 0;  // straight
    m.UpdateSelectionState();
}

}  // namespace

// Which knives are written, the frame of both kinds of file, and the page in points.
TEST(KnifePaths, KnivesWrittenAndTheFileFrame)
{
    CLayoutModel m;
    CutterState cutter;
    Layout(m, cutter, 3000, 2000, true);
    const uint32_t all = uint32_t(m.GetRowKnifeCount() + m.GetColumnKnifeCount() + 2);
    const KnifeCounts c = qwexport::CountKnives(m);
    EXPECT_EQ(c.total, all);
    EXPECT_EQ(c.hidden, 1u);
    EXPECT_FALSE(c.someSelected);

    KnifePathSettings s;
    s.width = 3000;
    s.height = 2000;
    s.resolution = 300;
    // Nothing selected: every shown knife.
    std::string eps = Text(m, s);
    EXPECT_EQ(Count(eps, "stroke\n"), all - 1);
    EXPECT_EQ(eps.find('\r'), std::string::npos);
    const std::string head = "%!PS-Adobe-3.0 EPSF-3.0\n%%Creator: Quarrow. Jigcrafter 3.0\n";
    EXPECT_EQ(eps.rfind(head, 0), 0u);
    EXPECT_NE(eps.find("\n%%LanguageLevel: 2\n%%Pages: 1\n%%DocumentData: Clean7Bit\nnewpath\n"),
              std::string::npos);
    EXPECT_EQ(eps.substr(eps.size() - 6), "%%EOF\n");
    // 3000 pixels at 300 per inch are 720 points; the whole-number box holds the exact one,
    // which holds the page and the strokes' width.
    const std::vector<double> box = Box(eps, "%%BoundingBox: ");
    const std::vector<double> hires = Box(eps, "%%HiResBoundingBox: ");
    for (int i = 0; i < 4; ++i) EXPECT_EQ(box[size_t(i)], std::floor(box[size_t(i)]));
    EXPECT_LE(box[0], hires[0]);
    EXPECT_LE(box[1], hires[1]);
    EXPECT_GE(box[2], hires[2]);
    EXPECT_GE(box[3], hires[3]);
    EXPECT_GT(hires[0], box[0] - 1);
    EXPECT_LT(hires[2], box[2] + 1);
    EXPECT_LE(hires[0], -0.12);  // half the 0.24-point razor line at the image's left edge
    EXPECT_NEAR(hires[2], 720.12, 1e-6);
    EXPECT_NEAR(hires[3], 480.12, 1e-6);
    EXPECT_NE(eps.find("0.240000 setlinewidth"), std::string::npos);

    // Some selected: only those that are shown, unless all are asked for.
    m.RowKnives()[0].selected = 1;
    m.RowKnives()[1].selected = 1;
    m.ColumnKnives()[7].selected = 1;  // hidden
    m.ExtraKnives()[1].knife.selected = 1;
    m.UpdateSelectionState();
    EXPECT_EQ(Count(Text(m, s), "stroke\n"), 3u);
    s.all = true;
    EXPECT_EQ(Count(Text(m, s), "stroke\n"), all - 1);
    s.all = false;

    // Illustrator 3: carriage returns only, one stroke per knife, the template box is the page.
    s.eps = false;
    const std::string ai = Text(m, s);
    EXPECT_EQ(ai.find('\n'), std::string::npos);
    EXPECT_EQ(Count(ai, "\rS\r"), 3u);
    EXPECT_EQ(ai.rfind("%!PS-Adobe-3.0\r%%Creator: Quarrow. Jigcrafter 3.0\r%%BoundingBox: ", 0), 0u);
    EXPECT_NE(ai.find("%%AI3_TemplateBox: 0 0 720.000000 480.000000\r"), std::string::npos);
    EXPECT_NE(ai.find("%%DocumentNeededResources: procset Adobe_packedarray 2.0 0\r"
                      "%%+ procset Adobe_cshow 1.1 0\r"),
              std::string::npos);
    EXPECT_NE(ai.find("\r%%PageTrailer\rgsave annotatepage grestore showpage\r%%Trailer\r"
                      "Adobe_Illustrator_AI3 /terminate get exec\r"),
              std::string::npos);
    EXPECT_EQ(ai.substr(ai.size() - 6), "%%EOF\r");

    // No resolution from the host: 72 pixels per inch, points equal pixels.
    s.resolution = 0;
    EXPECT_NE(Text(m, s).find("%%AI3_TemplateBox: 0 0 3000.000000 2000.000000\r"),
              std::string::npos);

    // A layout without knives: the frame around an empty body.
    CLayoutModel empty;
    empty.SetImageSize(100, 100);
    ASSERT_TRUE(empty.SetGridSize(1, 1, true, true));
    s.eps = true;
    s.width = s.height = 100;
    EXPECT_EQ(Text(empty, s),
              "%!PS-Adobe-3.0 EPSF-3.0\n%%Creator: Quarrow. Jigcrafter 3.0\n"
              "%%BoundingBox: 0 0 100 100\n"
              "%%HiResBoundingBox: 0.000000 0.000000 100.000000 100.000000\n"
              "%%LanguageLevel: 2\n%%Pages: 1\n%%DocumentData: Clean7Bit\n%%EOF\n");
}

// A knife-path file that is written only in part is a failure with "Cannot write file...".
TEST(KnifePaths, FullDiskIsAFailure)
{
    CLayoutModel m;
    CutterState cutter;
    Layout(m, cutter, 3000, 2000, false);
    CQWF_StdFile full;
    if (!full.Open("Z:\\dev\\full", CQWF_StdFile::kModeWrite)) GTEST_SKIP() << "no /dev/full";
    Messages msgs;
    KnifePathSettings s;
    s.width = 3000;
    s.height = 2000;
    EXPECT_FALSE(qwexport::WriteLayoutPostScript(&full, m, s, nullptr, &msgs));
    EXPECT_EQ(msgs.shown, std::vector<std::string>{"Cannot write file..."});
}

// Files for the Ghostscript check: the EPS and Illustrator files of one layout at 72 pixels per
// inch, and the engine's own drawing of the same knives as a PGM image.
TEST(KnifeSamples, WriteFilesForGhostscript)
{
    const std::string dir = qwtest::OutputDir("knives");
    const int32_t w = 420, h = 300;
    CLayoutModel m;
    CutterState cutter;
    Layout(m, cutter, w, h, false);
    KnifePathSettings s;
    s.width = w;
    s.height = h;
    s.resolution = 72;
    for (int eps = 0; eps < 2; ++eps) {
        s.eps = eps != 0;
        const std::string name = dir + (eps ? "/knives.eps" : "/knives.ai");
        struct Ctx {
            CLayoutModel* m;
            KnifePathSettings* s;
        } ctx{&m, &s};
        ASSERT_TRUE(qwexport::WriteFile(
            qwp::ToWindowsPath(name.c_str()).c_str(),
            [](CQWF_StdFile* f, void* c) {
                auto* x = static_cast<Ctx*>(c);
                return qwexport::WriteLayoutPostScript(f, *x->m, *x->s, nullptr, nullptr);
            },
            &ctx, nullptr));
    }
    // The engine reads the same layout from its blob and draws its knives.
    CQWF_Mem blob;
    size_t length = 0;
    ASSERT_TRUE(m.SerializeLayout(blob, length));
    ASSERT_TRUE(blob.Resize(length));
    CJigcrafter engine;
    bool layoutMode = false;
    uint32_t count = 0;
    uint8_t* records = nullptr;
    ASSERT_TRUE(engine.LoadLayout(&blob, layoutMode, count, records));
    engine.SetAntiAliasing(false);
    std::vector<uint8_t> mask(size_t(w) * h);
    ASSERT_TRUE(engine.DrawSplitterMask(w, h, mask.data(), w, 0, 100));
    std::ofstream pgm(dir + "/knives-engine.pgm", std::ios::binary);
    pgm << "P5\n" << w << " " << h << "\n255\n";
    pgm.write(reinterpret_cast<const char*>(mask.data()), static_cast<std::streamsize>(mask.size()));
    ASSERT_TRUE(static_cast<bool>(pgm));
}
