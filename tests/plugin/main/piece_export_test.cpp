// The piece export over a scripted piece table: which pieces become items, in which order, with
// which names and suffixes; what the Export window counts; and that every piece the export
// changes is given back, also when a render fails.
#include "plugin/main/export_dialogs.h"
#include "plugin/main/piece_export.h"

#include "framework/core/qwf_file.h"
#include "framework/core/qwf_progress.h"
#include "framework/imaging/qwf_png.h"
#include "platform/qw_paths.h"
#include "platform/qw_threads.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Messages : CUserMessageSink {
    std::vector<std::string> shown;
    void ShowMessage(const char* text, const char*) override { shown.push_back(text); }
};

// A piece table held in plain vectors. Rendering only switches the bevel; a chosen render fails.
class FakeSource : public CRenderedPieceSource {
public:
    struct Piece {
        RenderedPiece p;
        std::vector<uint8_t> pixels;  // four planes of width x height
    };
    std::vector<Piece> pieces;
    std::vector<uint8_t> document;
    int32_t width = 64;
    int32_t height = 48;
    int renders = 0;
    int failRender = -1;  // the render call (from 1) that fails
    int noRed = -1;       // this piece has no red plane
    std::vector<std::vector<int32_t>> recomposites;
    std::vector<std::vector<uint8_t>> shownAtRecomposite;

    void Add(int32_t left, int32_t top, int32_t w, int32_t h, int row, int column)
    {
        Piece piece;
        piece.p.left = left;
        piece.p.top = top;
        piece.p.right = left + w;
        piece.p.bottom = top + h;
        piece.p.row = row;
        piece.p.column = column;
        piece.pixels.assign(static_cast<size_t>(w * h * 4 + 1), static_cast<uint8_t>(pieces.size()));
        pieces.push_back(piece);
    }
    int32_t GetPieceCount() const override { return static_cast<int32_t>(pieces.size()); }
    bool GetPiece(int32_t i, RenderedPiece& out) const override
    {
        if (i < 0 || i >= GetPieceCount()) return false;
        out = pieces[size_t(i)].p;
        const size_t area = static_cast<size_t>(out.right - out.left) * (out.bottom - out.top);
        for (int c = 0; c < 4; ++c) out.planes[c] = pieces[size_t(i)].pixels.data() + area * c;
        if (i == noRed) out.planes[0] = nullptr;
        out.stride = out.right - out.left;
        return true;
    }
    void SetShown(int32_t i, bool shown) override { pieces[size_t(i)].p.shown = shown; }
    bool RenderWithBevel(int32_t i, bool on) override
    {
        if (++renders == failRender) return false;
        pieces[size_t(i)].p.bevelRendered = on;
        return true;
    }
    bool GetDocumentImage(DocumentImage& out) override
    {
        document.resize(static_cast<size_t>(width * height * 4));
        for (int c = 0; c < 4; ++c) out.planes[c] = document.data() + size_t(width * height * c);
        out.stride = width;
        out.width = width;
        out.height = height;
        return true;
    }
    bool Recomposite(int32_t l, int32_t t, int32_t r, int32_t b, CQWF_Progress*, uint8_t,
                     uint8_t) override
    {
        recomposites.push_back({l, t, r, b});
        std::vector<uint8_t> shown;
        for (const Piece& p : pieces) shown.push_back(p.p.shown);
        shownAtRecomposite.push_back(shown);
        return true;
    }
    std::vector<uint8_t> States() const
    {
        std::vector<uint8_t> s;
        for (const Piece& p : pieces) {
            s.push_back(p.p.shown);
            s.push_back(p.p.bevelRendered);
        }
        return s;
    }
};

std::string Fmt(const char* format, int a, int b = 0, int c = 0, int d = 0)
{
    char buf[128];
    std::snprintf(buf, sizeof(buf), format, a, b, c, d);
    return buf;
}

// Random pieces with distinct cells, in random table order.
void RandomTable(std::mt19937& rng, FakeSource& src)
{
    const int n = static_cast<int>(rng() % 30);
    std::vector<int> cells(100);
    for (int i = 0; i < 100; ++i) cells[size_t(i)] = i;
    std::shuffle(cells.begin(), cells.end(), rng);
    for (int i = 0; i < n; ++i) {
        const int row = cells[size_t(i)] / 10 + 1;
        const int col = cells[size_t(i)] % 10 + 1;
        src.Add((col - 1) * 6, (row - 1) * 4, 1 + int(rng() % 8), 1 + int(rng() % 6), row, col);
        RenderedPiece& p = src.pieces.back().p;
        p.selected = rng() % 2;
        p.shown = rng() % 4 != 0;
        p.bevelRendered = rng() % 3 != 0;
        p.opacityOn = rng() % 3 == 0;
        p.opacity = static_cast<uint8_t>(rng() % 256);
    }
}

}  // namespace

// For random tables and options, the item count the window computes is the one the export
// accepts, and the items follow the plain rules: the pieces taken, row-then-column order, numbers
// from 1 after the composite, names, suffixes, opacity and visibility. Afterwards every piece is
// as it was.
TEST(PieceExport, ItemsFollowTheWindowsCountAndThePlainRules)
{
    std::mt19937 rng(11);
    int exported = 0;
    for (int round = 0; round < 600; ++round) {
        FakeSource src;
        RandomTable(rng, src);
        const std::vector<uint8_t> before = src.States();
        CExportDialogModel dlg;
        dlg.counts = qwexport::CountPieces(src);
        dlg.options.exportWhat = static_cast<uint8_t>(1 + rng() % 3);
        dlg.options.exportTo = static_cast<uint8_t>(1 + rng() % 2);
        dlg.options.namingMode = static_cast<uint8_t>(1 + rng() % 2);
        dlg.options.includeComposite = rng() % 2;
        dlg.options.withoutBevel = rng() % 2;
        dlg.options.includeHidden = rng() % 2;
        dlg.options.preservePosition = rng() % 2;
        dlg.Update();
        if (!dlg.exportEnabled) continue;
        const PieceExportOptions& o = dlg.options;

        // The plain computation.
        const bool psd = o.exportTo == 1;
        std::vector<int> taken;
        bool remainder = false;
        for (size_t i = 0; i < src.pieces.size(); ++i) {
            const RenderedPiece& p = src.pieces[i].p;
            remainder = remainder || (p.shown && !p.selected);
            if ((p.shown || (o.includeHidden && psd)) && (o.exportWhat == 3 || p.selected))
                taken.push_back(int(i));
        }
        std::stable_sort(taken.begin(), taken.end(), [&](int a, int b) {
            const RenderedPiece& pa = src.pieces[size_t(a)].p;
            const RenderedPiece& pb = src.pieces[size_t(b)].p;
            return pa.row != pb.row ? pa.row < pb.row : pa.column < pb.column;
        });
        const bool composite = o.exportWhat == 2 && o.includeComposite && remainder;
        struct Want {
            std::string name, suffix;
            int piece;  // -1: the document image
        };
        std::vector<Want> want;
        if (o.exportWhat == 1) {
            want.push_back({"Merged", "", -1});
        } else {
            if (composite) want.push_back({"Composite", "_Composite", -1});
            const uint32_t count = uint32_t(taken.size() + (composite ? 1 : 0));
            const char* num = count < 10 ? "%d" : count < 100 ? "%02d" : "%03d";
            for (size_t k = 0; k < taken.size(); ++k) {
                const int j = int(k) + 1, i = taken[k];
                const RenderedPiece& p = src.pieces[size_t(i)].p;
                if (o.namingMode == 1)
                    want.push_back({Fmt("Layer %d", j), "_" + Fmt(num, j), i});
                else
                    want.push_back({Fmt("L%d - Piece: %d (R: %d / C: %d)", j, i, p.row, p.column),
                                    "_F" + Fmt(num, j) + Fmt("-Piece%d_R%d_C%d", i, p.row, p.column),
                                    i});
            }
        }
        ASSERT_EQ(dlg.itemCount, want.size()) << "round " << round;

        Messages msgs;
        {
            CPieceExport ex(src, nullptr, &msgs);
            ExportDocument doc;
            ASSERT_TRUE(ex.Prepare(dlg.itemCount, o, doc)) << "round " << round;
            ++exported;
            ASSERT_EQ(ex.GetItemCount(), want.size());
            ASSERT_EQ(ex.GetSuffixes().GetCount(), want.size());
            for (size_t k = 0; k < want.size(); ++k) {
                const ExportItem& it = ex.GetItems()[k];
                EXPECT_EQ(std::string(it.name), want[k].name);
                EXPECT_EQ(std::string(ex.GetSuffixes().GetAt(k).GetBuffer()), want[k].suffix);
                if (want[k].piece < 0) {
                    EXPECT_EQ(it.left, 0);
                    EXPECT_EQ(it.width, src.width);
                    EXPECT_EQ(it.visible, 1);
                    EXPECT_EQ(it.opacity, 255);
                    continue;
                }
                const size_t i = size_t(want[k].piece);
                const RenderedPiece& p = src.pieces[i].p;
                EXPECT_EQ(it.left, p.left);
                EXPECT_EQ(it.top, p.top);
                EXPECT_EQ(it.width, p.right - p.left);
                EXPECT_EQ(it.planes[0], src.pieces[i].pixels.data());
                EXPECT_EQ(it.opacity, p.opacityOn ? p.opacity : 255);
                EXPECT_EQ(it.visible, before[2 * i]);
                // While the items live, exported pieces are without their bevel when asked, and
                // hidden from the document image when a composite is made.
                EXPECT_EQ(p.bevelRendered, before[2 * i + 1] && !o.withoutBevel);
                if (composite) {
                    EXPECT_EQ(p.shown, 0);
                }
            }
            if (composite && !taken.empty()) {
                ASSERT_EQ(src.recomposites.size(), 1u);
                for (int i : taken) EXPECT_EQ(src.shownAtRecomposite[0][size_t(i)], 0);
            }
        }
        EXPECT_EQ(src.States(), before) << "round " << round;
        EXPECT_TRUE(msgs.shown.empty());
        // Only pieces that had a bevel were rendered, once off and once on again.
        int beveled = 0;
        if (o.withoutBevel && o.exportWhat != 1)
            for (int i : taken) beveled += before[2 * size_t(i) + 1];
        EXPECT_EQ(src.renders, 2 * beveled);
    }
    EXPECT_GT(exported, 300);
}

// A count that does not match the pieces taken is an internal error; a count of 0 or above
// 100,000 is refused at once; nothing is changed either way.
TEST(PieceExport, CountMismatchAndLimits)
{
    FakeSource src;
    src.Add(0, 0, 4, 4, 1, 1);
    src.Add(4, 0, 4, 4, 1, 2);
    src.pieces[0].p.selected = 1;
    Messages msgs;
    CPieceExport ex(src, nullptr, &msgs);
    PieceExportOptions o;
    o.exportWhat = 2;
    EXPECT_FALSE(ex.Prepare(1 + 2, o, ExportDocument()));
    EXPECT_EQ(msgs.shown, std::vector<std::string>{"Internal Error."});
    EXPECT_FALSE(ex.Prepare(0, o, ExportDocument()));
    EXPECT_FALSE(ex.Prepare(100001, o, ExportDocument()));
    EXPECT_EQ(msgs.shown.size(), 1u);
    EXPECT_FALSE(ex.Prepare(100000, o, ExportDocument()));  // within the limit: compared, and told
    EXPECT_EQ(msgs.shown.size(), 2u);
    EXPECT_TRUE(src.recomposites.empty());
    EXPECT_EQ(src.pieces[0].p.shown, 1);
}

// A render that fails while the bevels are taken off stops the export with a message and gives
// every piece back its bevel and its place in the document image.
TEST(PieceExport, FailedRenderStopsAndRestores)
{
    for (int fail = 1; fail <= 4; ++fail) {
        FakeSource src;
        for (int i = 0; i < 6; ++i) {
            src.Add(i * 8, 0, 8, 8, 1, 6 - i);
            src.pieces.back().p.bevelRendered = 1;
            src.pieces.back().p.selected = i < 4;
        }
        const std::vector<uint8_t> before = src.States();
        src.failRender = fail;
        Messages msgs;
        CPieceExport ex(src, nullptr, &msgs);
        PieceExportOptions o;
        o.exportWhat = 2;
        o.withoutBevel = 1;
        o.includeComposite = 1;
        EXPECT_FALSE(ex.Prepare(5, o, ExportDocument()));
        EXPECT_EQ(msgs.shown, std::vector<std::string>{"Memory allocation problem..."});
        EXPECT_EQ(src.States(), before) << "failing render " << fail;
        // The composite was taken away and laid back again.
        ASSERT_EQ(src.recomposites.size(), 2u);
        EXPECT_EQ(src.recomposites[0], src.recomposites[1]);
        EXPECT_EQ(src.shownAtRecomposite[1], std::vector<uint8_t>(6, 1));
    }
}

// A PNG item that would leave an empty file is not counted and leaves no file; the other files
// take their names from the chosen name split at its last "." after the last separator.
TEST(PieceExport, PngSeriesNamesAndEmptyItems)
{
    qwtest::TempDir tmp;
    std::filesystem::create_directories(tmp.File("out.d"));
    FakeSource src;
    src.Add(0, 0, 5, 4, 1, 1);
    src.Add(5, 0, 0, 4, 1, 2);  // nothing to write
    src.Add(10, 0, 5, 4, 1, 3);
    for (auto& p : src.pieces) p.p.selected = 1;
    PieceExportOptions o;
    o.exportWhat = 3;
    o.exportTo = 2;
    o.namingMode = 1;
    for (int preserve = 0; preserve < 2; ++preserve) {
        o.preservePosition = static_cast<uint8_t>(preserve);
        const std::string folder = tmp.File("out.d/" + std::to_string(preserve));
        std::filesystem::create_directories(folder);
        CPieceExport ex(src, nullptr, nullptr);
        uint32_t written = 0;
        // No extension: the default one is added after the suffix.
        const std::string chosen = qwp::ToWindowsPath((folder + "/Puzzle").c_str());
        ASSERT_TRUE(ex.ExportTo(chosen.c_str(), 3, o, ExportDocument(), &written));
        EXPECT_EQ(written, 2u);
        std::vector<std::string> names;
        for (auto& e : std::filesystem::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"Puzzle_1.png", "Puzzle_3.png"}));
    }

    CQWF_String base, ext;
    qwexport::SplitFileName("C:\\out\\Puzzle.png", "png", base, ext);
    EXPECT_STREQ(base.GetBuffer(), "C:\\out\\Puzzle");
    EXPECT_STREQ(ext.GetBuffer(), ".png");
    qwexport::SplitFileName("C:\\out.d\\Puzzle", "png", base, ext);
    EXPECT_STREQ(base.GetBuffer(), "C:\\out.d\\Puzzle");
    EXPECT_STREQ(ext.GetBuffer(), ".png");
    qwexport::SplitFileName("C:\\out\\a.b.PNG", "png", base, ext);
    EXPECT_STREQ(base.GetBuffer(), "C:\\out\\a.b");
    EXPECT_STREQ(ext.GetBuffer(), ".PNG");
}

// A full disk makes the PSD and every PNG a failure with "Cannot write file...", and a series
// stops at the file that could not be created.
TEST(PieceExport, WriteFailuresAreReported)
{
    FakeSource src;
    src.Add(0, 0, 30, 20, 1, 1);
    src.Add(30, 0, 30, 20, 1, 2);
    Messages msgs;
    CPieceExport ex(src, nullptr, &msgs);
    PieceExportOptions o;
    o.exportWhat = 3;
    CQWF_StdFile full;
    if (!full.Open("Z:\\dev\\full", CQWF_StdFile::kModeWrite)) GTEST_SKIP() << "no /dev/full";
    ASSERT_TRUE(ex.Prepare(2, o, ExportDocument()));
    EXPECT_FALSE(CPieceExport::WritePsd(&full, &ex));
    o.exportTo = 2;
    ASSERT_TRUE(ex.Prepare(2, o, ExportDocument()));
    EXPECT_FALSE(CPieceExport::WritePng(&full, &ex, 1));
    EXPECT_EQ(msgs.shown, (std::vector<std::string>{"Cannot write file...", "Cannot write file..."}));

    msgs.shown.clear();
    qwtest::TempDir tmp;
    uint32_t written = 9;
    const std::string missing = qwp::ToWindowsPath(tmp.File("no/such/folder/x.png").c_str());
    EXPECT_FALSE(ex.ExportTo(missing.c_str(), 2, o, ExportDocument(), &written));
    EXPECT_EQ(written, 0u);
    // A PSD is one file written, or none.
    o.exportTo = 1;
    EXPECT_FALSE(ex.ExportTo(missing.c_str(), 2, o, ExportDocument(), &written));
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(ex.ExportTo(qwp::ToWindowsPath(tmp.File("x.psd").c_str()).c_str(), 2, o, ExportDocument(), &written));
    EXPECT_EQ(written, 1u);
    EXPECT_EQ(msgs.shown, std::vector<std::string>(2, "Can't Open file for writing.\nChoose another location."));
}

namespace {
struct Progress : CQWF_Progress {
    std::vector<uint8_t> percents;
    int cancelAt = 101;
    void SetPercent(uint8_t p) override { percents.push_back(p); }
    bool IsCancelled() override { return !percents.empty() && percents.back() >= cancelAt; }
};

// The files of a folder and their bytes.
std::vector<std::pair<std::string, std::string>> Files(const std::string& folder)
{
    std::vector<std::pair<std::string, std::string>> out;
    for (const std::string& name : qwtest::FolderNames(folder)) out.emplace_back(name, qwtest::FileBytes(folder + "/" + name));
    return out;
}
}  // namespace

// The PNG series on eight workers (within the filter call's worker scope, as the user runs it)
// gives the files of one thread byte for byte, with the progress
// moving from 40 to 90 percent; a piece on the canvas decodes to the transparent white canvas with
// the piece's part inside it at its place (alpha scaled by the opacity); a cancel and a failed file
// end the series where one thread ends it, the earlier files of the later names kept, the failure
// told once.
TEST(PieceExport, PngSeriesOnWorkersEndsAsOneThreadEndsIt)
{
    struct Threads {
        ~Threads() { qwp::SetThreadCountForTesting(0); }
    } restore;
    FakeSource src;
    src.width = 40;
    src.height = 30;
    for (int i = 0; i < 12; ++i) src.Add(3 * i - 3, 2 * i - 2, 5 + i % 3, 4 + i % 4, 1 + i / 4, 1 + i % 4);
    src.Add(37, 27, 6, 5, 4, 1);  // past the right and bottom edges
    for (size_t i = 0; i < src.pieces.size(); ++i) {
        for (size_t k = 0; k < src.pieces[i].pixels.size(); ++k)
            src.pieces[i].pixels[k] = static_cast<uint8_t>(k * 7 + i * 31);
        src.pieces[i].p.selected = 1;
        src.pieces[i].p.opacityOn = i % 3 == 0;
        src.pieces[i].p.opacity = static_cast<uint8_t>(100 + i);
    }
    const uint32_t count = static_cast<uint32_t>(src.pieces.size());
    PieceExportOptions o;
    o.exportWhat = 3;
    o.exportTo = 2;
    o.namingMode = 1;
    qwtest::TempDir tmp;
    auto run = [&](const std::string& folder, uint32_t threads, Progress* progress, Messages* messages) {
        qwp::SetThreadCountForTesting(static_cast<int>(threads));
        // As the filter call runs it: within its worker scope.
        const qwp::WorkerScope scope(qwp::ThreadCount());
        std::filesystem::create_directories(tmp.File(folder));
        CPieceExport ex(src, progress, messages);
        uint32_t written = 99;
        const bool ok =
            ex.ExportTo(qwp::ToWindowsPath(tmp.File(folder + "/P.png").c_str()).c_str(), count, o, ExportDocument(), &written);
        return std::make_pair(ok, written);
    };
    for (const uint8_t preserve : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "preserve " << int(preserve));
        o.preservePosition = preserve;
        const std::string one = "one" + std::to_string(preserve), eight = "eight" + std::to_string(preserve);
        Progress progress;
        EXPECT_EQ(run(one, 1, nullptr, nullptr), std::make_pair(true, count));
        EXPECT_EQ(run(eight, 8, &progress, nullptr), std::make_pair(true, count));
        EXPECT_EQ(Files(tmp.File(one)), Files(tmp.File(eight)));
        ASSERT_EQ(Files(tmp.File(eight)).size(), count);
        std::vector<uint8_t> series;
        for (uint8_t p : progress.percents)
            if (p >= 40 && p < 90) series.push_back(p);
        EXPECT_TRUE(std::is_sorted(series.begin(), series.end()));
        EXPECT_GE(std::set<uint8_t>(series.begin(), series.end()).size(), 10u);
    }

    // Piece 0 on its canvas: it starts 3 pixels left of and 2 above the canvas.
    const std::string bytes = qwtest::FileBytes(tmp.File("one1/P_01.png"));
    CQWF_ImagePNG png;
    ASSERT_TRUE(png.ReadImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    uint16_t w = 0, h = 0;
    png.GetSize(w, h);
    ASSERT_EQ(w, 40);
    ASSERT_EQ(h, 30);
    const FakeSource::Piece& first = src.pieces[0];
    const int pw = 5, ph = 4;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const int px = x + 3, py = y + 2;
            const bool in = px < pw && py < ph;
            const int planes[4] = {0, 1, 2, QWF_PLANE_ALPHA};
            for (int c = 0; c < 4; ++c) {
                int want = c < 3 ? 255 : 0;
                if (in) want = first.pixels[size_t(c * pw * ph + py * pw + px)];
                if (in && c == 3) want = want * 100 / 255;
                ASSERT_EQ(png.GetPlaneData(planes[c])[y * 40 + x], want) << x << "," << y << " " << c;
            }
        }

    for (const uint32_t threads : {1u, 8u}) {
        SCOPED_TRACE(testing::Message() << threads << " threads");
        o.preservePosition = 0;
        // Over an earlier series: a cancel when file 5 is reached keeps the earlier files from
        // file 5 on.
        const std::string folder = "over" + std::to_string(threads);
        ASSERT_EQ(run(folder, 1, nullptr, nullptr), std::make_pair(true, count));
        const auto earlier = Files(tmp.File(folder));
        for (auto& f : src.pieces) f.pixels[0] ^= 0xFF;
        Progress cancel;
        cancel.cancelAt = 40 + 50 * 5 / int(count);
        Messages messages;
        EXPECT_EQ(run(folder, threads, &cancel, &messages), std::make_pair(false, 5u));
        auto now = Files(tmp.File(folder));
        ASSERT_EQ(now.size(), earlier.size());
        for (size_t i = 0; i < now.size(); ++i) EXPECT_EQ(now[i].second != earlier[i].second, i < 5) << now[i].first;
        EXPECT_TRUE(messages.shown.empty());
        // Piece 7 cannot be written (it has no red plane): files 0 to 6 are new, and that one
        // failure is told.
        src.noRed = 7;
        for (auto& f : src.pieces) f.pixels[0] ^= 0x0F;
        EXPECT_EQ(run(folder, threads, nullptr, &messages), std::make_pair(false, 7u));
        src.noRed = -1;
        EXPECT_EQ(messages.shown, std::vector<std::string>{"Cannot write file..."});
        const auto failed = Files(tmp.File(folder));
        ASSERT_EQ(failed.size(), now.size());
        for (size_t i = 0; i < failed.size(); ++i) EXPECT_EQ(failed[i].second != now[i].second, i < 7) << failed[i].first;
        for (auto& f : src.pieces) f.pixels[0] ^= 0xF0;
    }
}

// The Export window: statistics, naming examples, counts and the warnings before large exports.
// Item numbers have the count's digits: below 10 "%d", below 100 "%02d", ..., from 100000 "%06d".
TEST(PieceExport, NumberFormatsFollowTheCountsDigits)
{
    const char* const formats[] = {"%d", "%02d", "%03d", "%04d", "%05d", "%06d"};
    for (uint32_t digits = 1, low = 1; digits <= 6; ++digits, low = low == 1 ? 10 : low * 10) {
        EXPECT_STREQ(qwexport::NumberFormat(low), formats[digits - 1]) << low;
        EXPECT_STREQ(qwexport::NumberFormat(low * 10 - 1), formats[digits - 1]) << low;
    }
}

TEST(ExportWindowModel, TextsCountsAndWarnings)
{
    CExportDialogModel m;
    m.counts.total = 600;
    m.counts.selected = 0;
    m.counts.hidden = 2;
    m.counts.someHidden = true;
    m.counts.notAllSelected = true;
    m.options = PieceExportOptions();  // selected pieces, PSD, extended names
    m.Update();
    // Nothing selected: all pieces.
    EXPECT_EQ(m.options.exportWhat, 3);
    EXPECT_FALSE(m.selectedEnabled);
    EXPECT_EQ(m.itemCount, 598u);
    EXPECT_TRUE(m.hiddenAllowed);
    EXPECT_STREQ(m.NamingExample(), "L112 - Piece: 95 (R: 8 / C: 12)");
    EXPECT_STREQ(m.StatisticsText().GetBuffer(),
                 "Pieces' Statistics:\n---------------------------------\n Total :\t600\n"
                 " Selected :\t0\n---------------------------------\n Shown...\n"
                 " ...total :\t598\n ...selected :\t0\n\n Hidden...\n ...total :\t2\n"
                 " ...selected :\t0\n---------------------------------\n"
                 "---------------------------------\nResult: 598 layers");

    m.options.includeHidden = 1;
    m.options.exportTo = 2;  // hidden pieces never go to PNG files
    m.Update();
    EXPECT_EQ(m.itemCount, 598u);
    EXPECT_FALSE(m.hiddenAllowed);
    EXPECT_TRUE(m.fullCanvasAllowed);
    m.options.namingMode = 1;
    EXPECT_STREQ(m.NamingExample(), "[file]_0112");

    m.counts.total = 300;
    m.counts.hidden = 300;
    m.Update();
    EXPECT_EQ(m.itemCount, 0u);
    EXPECT_FALSE(m.exportEnabled);
    EXPECT_STREQ(m.NamingExample(), " ---");
    EXPECT_NE(std::string(m.StatisticsText().GetBuffer()).find("Result:  --- "), std::string::npos);

    m.options.exportWhat = 1;
    m.Update();
    EXPECT_EQ(m.itemCount, 1u);
    EXPECT_FALSE(m.namingEnabled);
    EXPECT_FALSE(m.withoutBevelAllowed);
    EXPECT_STREQ(m.NamingExample(), "[file]");
    EXPECT_NE(std::string(m.StatisticsText().GetBuffer()).find("Result: 1 file"), std::string::npos);

    // The warnings: above 100 layers of a PSD file, above 500 PNG files.
    CExportDialogModel::Warning w;
    const char* layers = "You are about to save more than 100 layers!";
    for (const auto& [to, count, header] :
         {std::tuple{1, 100u, ""}, {1, 101u, layers}, {1, 600u, layers}, {2, 101u, ""}, {2, 500u, ""},
          {2, 501u, "You are about to save very many files (501)!"}}) {
        m.options.exportTo = to;
        m.itemCount = count;
        EXPECT_EQ(m.GetWarning(w) ? w.header.GetBuffer() : "", std::string(header)) << to << " " << count;
    }

    // Knives: one visible selected knife.
    CExportLMDialogModel k;
    k.counts.total = 5;
    k.counts.selected = 2;
    k.counts.selectedHidden = 1;
    k.counts.someSelected = true;
    k.Update();
    EXPECT_EQ(k.knifeCount, 1u);
    EXPECT_TRUE(k.exportEnabled);
    const std::string t = k.StatisticsText().GetBuffer();
    EXPECT_EQ(t.rfind("Knives' Statistics:\n", 0), 0u);
    EXPECT_NE(t.find("Result: 1 knife"), std::string::npos);
    k.counts.someSelected = false;
    k.Update();
    EXPECT_EQ(k.options.exportWhat, 3);
    EXPECT_EQ(k.knifeCount, 5u);
}
