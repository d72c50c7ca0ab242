// The plug-in object's run without a dialog, in process over the fake host: the working
// rectangle and its mask, the Layout-mode and piece write-backs, record matching, image
// overlays from document layers, cancels and failures that leave the image untouched, and the
// window positions of the settings store.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "framework/core/qwf_storage.h"
#include "framework/imaging/qwf_image.h"
#include "platform/qw_module.h"
#include "platform/qw_paths.h"
#include "platform/qw_threads.h"
#include "plugin/core/jigcrafter_test_support.h"
#include "plugin/core/qw_pluginentry.h"
#include "plugin/core/qw_pluginmain.h"
#include "plugin/core/piece_effect_record.h"
#include "support/test_support.h"
#include "tests/plugin/core/fake_host.h"
#include "tools/makesample/sample_layout.h"

namespace {

using Planes = std::vector<std::vector<uint8_t>>;

class Run : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A run whose folders could not be found (an injected allocation failure) works in
        // the current folder: the temporary one.
        ASSERT_TRUE(getcwd(cwd, sizeof cwd));
        ASSERT_EQ(chdir(dir.Path().c_str()), 0);
        folder = qwp::ToWindowsPath(dir.Path().c_str());
        qwp::SetModuleFileNameForTesting((folder + "\\QWJigcrafter30.8bf").c_str());
    }
    void TearDown() override
    {
        qwp::SetModuleFileNameForTesting(nullptr);
        qwf::SetAllocFailureAfter(-1);
        EXPECT_EQ(chdir(cwd), 0);
    }
    // A document of the mode; `alpha` adds a transparency plane (filter case 4, editable).
    void Doc(int32_t w, int32_t h, int16_t mode, int colourPlanes, bool alpha = false)
    {
        fakehost::Reset(rec, w, h, mode, colourPlanes + (alpha ? 1 : 0));
        if (alpha) rec.filterCase = filterCaseEditableTransparencyNoSelection;
        rec.maxSpace = 4096;  // many strips
        uint8_t white[4] = {255, 255, 255, 255};
        std::memcpy(rec.backColor, white, 4);
    }
    void SetMask(const std::vector<uint8_t>& mask)
    {
        fakehost::S().mask = mask;
        rec.haveMask = 1;
    }
    void SaveLast(const std::vector<uint8_t>& blob)
    {
        ASSERT_TRUE(qwtest::WriteWholeFile(dir.Path() + "/last.data",
                                           std::string(blob.begin(), blob.end())));
    }
    int16_t Call(int16_t selector)
    {
        result = 12345;
        QW_Dispatch(plugin, selector, &rec, &data, &result);
        // The host takes over the last strip written.
        fakehost::S().record = &rec;
        fakehost::Advance();
        return result;
    }
    int16_t Start() { return Call(filterSelectorStart); }
    // Allocation n of a run on the document made afresh fails, for n = 0, step, 2 x step, ...
    // below `count`: some are tolerated (the run succeeds), the others end it with -108 or
    // -128 without writing; the host is called on its own thread only.
    template <typename Document>
    void ExpectFailedAllocationsLeaveTheImage(Document document, long count, long step)
    {
        bool finished = false, outOfMemory = false;
        for (long n = 0; n < count; n += step) {
            document();
            const Planes before = Doc();
            qwf::SetAllocFailureAfter(n);
            const int16_t r = Start();
            qwf::SetAllocFailureAfter(-1);
            if (r == noErr) {
                finished = true;
            } else {
                ASSERT_TRUE(r == memFullErr || r == userCanceledErr) << n << ": " << r;
                outOfMemory |= r == memFullErr;
                ASSERT_TRUE(Doc() == before) << "allocation " << n;
            }
            ASSERT_EQ(fakehost::g_offThreadCalls.load(), 0) << "allocation " << n;
        }
        EXPECT_TRUE(finished);
        EXPECT_TRUE(outOfMemory);
    }
    Planes& Doc() { return fakehost::S().planes; }
    uint8_t At(int p, int x, int y) { return Doc()[size_t(p)][size_t(y) * size_t(fakehost::S().width) + size_t(x)]; }

    qwtest::TempDir dir;
    char cwd[4096] = {};
    std::string folder;
    FilterRecord rec{};
    intptr_t data = 0;
    int16_t result = 0;
    CPluginMain plugin;
};

std::vector<uint8_t> Record(int row, int column, bool bevel, bool invert)
{
    PieceEffectRecord r = qwsample::CellRecord(row, column);
    r.bevelOn = bevel;
    r.invert = invert;
    std::vector<uint8_t> out(qwpiece::kRecordSize);
    qwpiece::ToBlob(r, out.data());
    return out;
}

// Two cells side by side cut by one straight knife at x = w / 2.
std::vector<uint8_t> TwoCells(const std::vector<std::vector<uint8_t>>& records, bool puzzle = true)
{
    std::vector<uint8_t> all;
    for (const auto& r : records) all.insert(all.end(), r.begin(), r.end());
    return jigtest::MakeBlob(2, 1, {}, {}, {}, 1, 1, puzzle, all, uint32_t(records.size()));
}

// ---------------------------------------------------------------------------------------------

TEST_F(Run, PuzzleReplayMatchesRecordsByCellAndWritesEveryPlane)
{
    Doc(64, 32, plugInModeRGBColor, 3);
    const Planes before = Doc();
    // Out of table order, so the records are found by row and column.
    SaveLast(TwoCells({Record(1, 2, false, true), Record(1, 1, false, false)}));
    ASSERT_EQ(Start(), noErr);
    for (int y = 0; y < 32; ++y)
        for (int p = 0; p < 3; ++p) {
            ASSERT_EQ(At(p, 5, y), before[size_t(p)][size_t(y) * 64 + 5]);
            ASSERT_EQ(At(p, 60, y), 255 - before[size_t(p)][size_t(y) * 64 + 60]);
        }
    // Progress reached the host, ending at 100.
    ASSERT_FALSE(fakehost::S().progress.empty());
    EXPECT_EQ(fakehost::S().progress.back(), std::make_pair(100, 100));
    EXPECT_FALSE(fakehost::S().violation);
}

TEST_F(Run, RecordsOfTheSameCountAndCellsGoByIndex)
{
    Doc(64, 32, plugInModeGrayScale, 1);
    const Planes before = Doc();
    SaveLast(TwoCells({Record(1, 1, false, true), Record(1, 2, false, false)}));
    ASSERT_EQ(Start(), noErr);
    EXPECT_EQ(At(0, 5, 7), 255 - before[0][7 * 64 + 5]);
    EXPECT_EQ(At(0, 60, 7), before[0][7 * 64 + 60]);
}

TEST_F(Run, CmykAndTransparencyWriteBack)
{
    // CMYK: the background (no ink) shows where no piece is: the unselected half.
    Doc(48, 24, plugInModeCMYKColor, 4);
    uint8_t noInk[4] = {0, 0, 0, 0};
    std::memcpy(rec.backColor, noInk, 4);
    std::vector<uint8_t> mask(48 * 24, 255);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) mask[size_t(y) * 48 + x] = 0;
    SetMask(mask);
    SaveLast(TwoCells({}));
    ASSERT_EQ(Start(), noErr);
    for (int p = 0; p < 4; ++p) EXPECT_EQ(At(p, 3, 3), 0);
    EXPECT_NE(At(0, 40, 12), 0);

    // Editable transparency: the rendered alpha becomes the transparency.
    Doc(48, 24, plugInModeRGBColor, 3, true);
    for (size_t i = 0; i < Doc()[3].size(); ++i) Doc()[3][i] = 255;
    Doc()[3][0] = 0;  // the working rectangle still spans the whole image
    SaveLast(TwoCells({}));
    ASSERT_EQ(Start(), noErr);
    EXPECT_EQ(At(3, 0, 0), 0);
    EXPECT_EQ(At(3, 20, 12), 255);
}

// The write-back over the background against the plain formula: the same document and mask
// once with editable transparency (the composite's colour and alpha are written as they are)
// and once with a selection (blended over the background); a mask of every value and the
// default bevel give alphas of every size.
TEST_F(Run, BlendOverTheBackgroundIsThePlainFormula)
{
    const int32_t w = 67, h = 45;
    std::vector<uint8_t> mask(size_t(w) * h);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = static_cast<uint8_t>(1 + (i * 7) % 255);
    auto blob = jigtest::MakeBlob(3, 2, {}, {}, {}, 1, 1, true);
    Doc(w, h, plugInModeRGBColor, 3, true);
    Doc()[3] = mask;
    SaveLast(blob);
    ASSERT_EQ(Start(), noErr);
    const Planes composite = Doc();
    Doc(w, h, plugInModeRGBColor, 3);
    const uint8_t back[4] = {30, 140, 250, 0};
    std::memcpy(rec.backColor, back, 4);
    SetMask(mask);
    SaveLast(blob);
    ASSERT_EQ(Start(), noErr);
    int partial = 0;
    for (int c = 0; c < 3; ++c)
        for (size_t i = 0; i < mask.size(); ++i) {
            const unsigned a = composite[3][i];
            partial += a != 0 && a != 255;
            ASSERT_EQ(Doc()[size_t(c)][i], ((255u - a) * back[c] + composite[size_t(c)][i] * a) / 255u)
                << c << " " << i;
        }
    EXPECT_GT(partial, 1000);
}

TEST_F(Run, NoPieceLeavesOnlyTheBackground)
{
    // A selection of nothing: razor cut makes no piece; every written byte is the background.
    Doc(40, 20, plugInModeRGBColor, 3);
    SetMask(std::vector<uint8_t>(40 * 20, 0));
    SaveLast(TwoCells({}));
    ASSERT_EQ(Start(), noErr);
    for (int p = 0; p < 3; ++p)
        for (uint8_t v : Doc()[size_t(p)]) ASSERT_EQ(v, 255);
}

TEST_F(Run, LayoutModeDrawsTheLinesInTheForegroundColour)
{
    Doc(64, 32, plugInModeRGBColor, 3, true);
    uint8_t fore[4] = {10, 20, 30, 0};
    std::memcpy(rec.foreColor, fore, 4);
    SaveLast(TwoCells({}, false));
    ASSERT_EQ(Start(), noErr);
    // Transparency = the line mask: the knife at x = 32, nothing elsewhere.
    EXPECT_GE(std::max({At(3, 31, 10), At(3, 32, 10), At(3, 33, 10)}), 128);
    EXPECT_EQ(At(3, 5, 10), 0);
    EXPECT_EQ(At(0, 5, 10), 10);
    EXPECT_EQ(At(2, 50, 20), 30);

    // Without transparency: lines over the background colour.
    Doc(64, 32, plugInModeGrayScale, 1);
    rec.foreColor[0] = 0;
    ASSERT_EQ(Start(), noErr);
    EXPECT_LT(At(0, 32, 10), 128);
    EXPECT_EQ(At(0, 5, 10), 255);
}

TEST_F(Run, ImageOverlayFromALayerInAReplay)
{
    // A small layer that covers only the left cell, and a whole-document one.
    auto document = [&] {
        Doc(40, 20, plugInModeRGBColor, 3);
        fakehost::AddLayer(rec, "whole", QWH_Rect{0, 0, 40, 20},
                           {std::vector<uint8_t>(800, 1), std::vector<uint8_t>(800, 2),
                            std::vector<uint8_t>(800, 3)},
                           {}, 7);
        fakehost::AddLayer(rec, "left", QWH_Rect{0, 0, 21, 20},
                           {std::vector<uint8_t>(420, 101), std::vector<uint8_t>(420, 102),
                            std::vector<uint8_t>(420, 103)},
                           std::vector<uint8_t>(420, 255), 8);
        fakehost::FinishLayers();
    };
    auto overlay = [](int column, int32_t layer) {  // layer -1: chosen automatically
        PieceEffectRecord r = qwsample::CellRecord(1, column);
        r.bevelOn = 0;
        r.imgOn = 1;
        r.imgOpacity = 255;
        r.imgLayerChoice = layer < 0 ? 0 : 1;
        r.layerId = layer;
        std::vector<uint8_t> out(qwpiece::kRecordSize);
        qwpiece::ToBlob(r, out.data());
        return out;
    };
    document();
    SaveLast(TwoCells({overlay(1, -1), overlay(2, -1)}));
    ASSERT_EQ(Start(), noErr);
    // Automatic choice: the smallest layer that holds the whole piece.
    EXPECT_EQ(At(0, 5, 5), 101);
    EXPECT_EQ(At(2, 5, 5), 103);
    EXPECT_EQ(At(1, 35, 5), 2);
    // A layer named by its identifier; one that does not hold the whole piece (the left layer
    // for the right cell), or no layer of that identifier, leaves the piece as it was.
    for (const int32_t id : {8, 99}) {
        document();
        const Planes before = Doc();
        SaveLast(TwoCells({overlay(1, 8), overlay(2, id)}));
        ASSERT_EQ(Start(), noErr);
        EXPECT_EQ(At(0, 5, 5), 101);
        for (int p = 0; p < 3; ++p) EXPECT_EQ(At(p, 35, 5), before[size_t(p)][5 * 40 + 35]) << id;
    }
}

TEST_F(Run, ImageOverlayOnCmyk)
{
    Doc(20, 10, plugInModeCMYKColor, 4);
    std::vector<std::vector<uint8_t>> ink;
    for (uint8_t v : {11, 22, 33, 44}) ink.emplace_back(200, v);
    fakehost::AddLayer(rec, "ink", QWH_Rect{0, 0, 20, 10}, ink, {}, 3);
    fakehost::FinishLayers();
    PieceEffectRecord r = qwsample::CellRecord(1, 1);
    r.bevelOn = 0;
    r.imgOn = 1;
    r.imgOpacity = 255;
    r.imgLayerChoice = 1;
    r.layerId = 3;
    std::vector<uint8_t> one(qwpiece::kRecordSize);
    qwpiece::ToBlob(r, one.data());
    SaveLast(jigtest::MakeBlob(1, 1, {}, {}, {}, 1, 1, true, one, 1));
    ASSERT_EQ(Start(), noErr);
    EXPECT_EQ(At(0, 4, 4), 11);
    EXPECT_EQ(At(3, 4, 4), 44);
}

TEST_F(Run, RenderedImageIsBlendedOverTheBackgroundOrWrittenWithItsAlpha)
{
    CQWF_Image image;
    ASSERT_TRUE(image.Create(8, 4, 2));  // red, green, blue, alpha
    for (int p = 0; p < 3; ++p) std::memset(image.GetPlane(p), 100 + 10 * p, 32);
    std::memset(image.GetPlane(3), 255, 32);
    image.GetPlane(3)[0] = 0;
    image.GetPlane(3)[1] = 128;
    auto prepare = [&]() {
        plugin.SetHostPointers(&rec, &data, &result);
        ASSERT_TRUE(plugin.ReadHostInfo());
        ASSERT_TRUE(plugin.ReadMask(false));
    };
    Doc(8, 4, plugInModeRGBColor, 3);
    rec.backColor[1] = 0;
    prepare();
    ASSERT_TRUE(plugin.ApplyRenderedImage(&image));
    fakehost::Advance();
    EXPECT_EQ(At(0, 0, 0), 255);  // transparent: the background
    EXPECT_EQ(At(1, 0, 0), 0);
    EXPECT_EQ(At(0, 1, 0), (127 * 255 + 100 * 128) / 255);
    EXPECT_EQ(At(2, 5, 2), 120);

    // Editable transparency takes the alpha as it is.
    Doc(8, 4, plugInModeRGBColor, 3, true);
    prepare();
    ASSERT_TRUE(plugin.ApplyRenderedImage(&image));
    fakehost::Advance();
    EXPECT_EQ(At(3, 0, 0), 0);
    EXPECT_EQ(At(3, 1, 0), 128);
    EXPECT_EQ(At(0, 0, 0), 100);

    // Only RGB documents of the working size take a rendered image.
    Doc(8, 4, plugInModeGrayScale, 1);
    prepare();
    EXPECT_FALSE(plugin.ApplyRenderedImage(&image));
    Doc(9, 4, plugInModeRGBColor, 3);
    prepare();
    EXPECT_FALSE(plugin.ApplyRenderedImage(&image));
}

// ---------------------------------------------------------------------------------------------
// Failures

TEST_F(Run, AbortAnywhereLeavesTheImageUntouched)
{
    std::vector<uint8_t> blob;
    ASSERT_TRUE(qwsample::MakeLayoutBlob(60, 40, 4, 3, true, nullptr, blob));
    SaveLast(blob);
    bool finished = false;
    for (long n = 1; n < 400 && !finished; ++n) {
        Doc(60, 40, plugInModeRGBColor, 3);
        const Planes before = Doc();
        fakehost::S().abortAfter = n;
        const int16_t r = Start();
        if (r == noErr) {
            finished = true;
            EXPECT_GT(n, 10);
        } else {
            ASSERT_EQ(r, userCanceledErr) << n;
            ASSERT_EQ(Doc(), before) << "abort at poll " << n;
        }
    }
    EXPECT_TRUE(finished);
}

TEST_F(Run, MemoryFailuresNeverWriteAndReportTheirCode)
{
    std::vector<uint8_t> blob;
    ASSERT_TRUE(qwsample::MakeLayoutBlob(60, 40, 4, 3, true, nullptr, blob));
    SaveLast(blob);
    ExpectFailedAllocationsLeaveTheImage([&] { Doc(60, 40, plugInModeRGBColor, 3); }, 400, 1);
}

// The run without a dialog on 1, 2 and 8 threads: the same planes and the same progress
// reports, every call of the host on the host's thread (the image overlays read its layers on
// it), and a cancel, a strip not given or a failed allocation anywhere leaves the image
// untouched.
TEST_F(Run, ThreadsGiveTheOneThreadRunAndCallTheHostOnItsThreadOnly)
{
    struct Restore {
        ~Restore() { qwp::SetThreadCountForTesting(0); }
    } restore;
    const int32_t w = 150, h = 110;
    qwsample::CRecordList list;
    for (int row = 1; row <= 5; ++row)
        for (int column = 1; column <= 6; ++column) {
            PieceEffectRecord r = qwsample::CellRecord(row, column);
            const int k = row * 7 + column;
            r.imgOn = k % 4 == 0;
            r.imgOpacity = 170;
            r.blurOn = k % 3 == 0;
            r.blurRadius = 2;
            r.stOn = k % 5 == 1;
            r.invert = k % 7 == 2;
            r.opOn = k % 6 == 3;
            r.opValue = 99;
            list.records.push_back(r);
        }
    std::vector<uint8_t> blob;
    ASSERT_TRUE(qwsample::MakeLayoutBlob(w, h, 6, 5, true, &list, blob));
    SaveLast(blob);
    auto document = [&] {
        Doc(w, h, plugInModeRGBColor, 3);
        std::vector<std::vector<uint8_t>> layer(3, std::vector<uint8_t>(size_t(w) * h));
        for (size_t i = 0; i < layer[0].size(); ++i)
            for (int c = 0; c < 3; ++c) layer[size_t(c)][i] = uint8_t(i * (c + 3) >> 4);
        fakehost::AddLayer(rec, "whole", QWH_Rect{0, 0, w, h}, layer, {}, 7);
        fakehost::FinishLayers();
    };
    Planes one, oneWithoutLayers;
    std::vector<std::pair<int32_t, int32_t>> progress;
    for (int threads : {1, 2, 8}) {
        qwp::SetThreadCountForTesting(threads);
        document();
        const Planes before = Doc();
        ASSERT_EQ(Start(), noErr) << threads;
        EXPECT_EQ(fakehost::g_offThreadCalls.load(), 0) << threads;
        if (threads == 1) {
            one = Doc();
            progress = fakehost::S().progress;
            ASSERT_NE(one, before);
        } else {
            EXPECT_TRUE(Doc() == one) << threads << " threads";
            EXPECT_EQ(fakehost::S().progress, progress) << threads << " threads";
        }
        // Without layers no piece is the host's thread's own, and a slow host's strips come
        // in while the threads render: a piece rendered before its rows would show it.
        Doc(w, h, plugInModeRGBColor, 3);
        fakehost::S().readMilliseconds = 2;
        ASSERT_EQ(Start(), noErr) << threads;
        if (threads == 1) oneWithoutLayers = Doc();
        else EXPECT_TRUE(Doc() == oneWithoutLayers) << threads << " threads, no layers";
    }
    qwp::SetThreadCountForTesting(8);
    bool finished = false;
    for (long n = 1; n < 2000 && !finished; n += 5) {
        document();
        const Planes before = Doc();
        fakehost::S().abortAfter = n;
        const int16_t r = Start();
        finished = r == noErr;
        if (!finished) {
            ASSERT_EQ(r, userCanceledErr) << n;
            ASSERT_TRUE(Doc() == before) << "abort at poll " << n;
        }
        ASSERT_EQ(fakehost::g_offThreadCalls.load(), 0);
    }
    EXPECT_TRUE(finished);
    // A strip of the colour planes the host does not give (the planes come in while the
    // pieces render): the run is cancelled and the image untouched, on one thread and on
    // several. Three planes in strips of 4096 / w rows are read first.
    const long reads = 3 * ((h + 4096 / w - 1) / (4096 / w));
    for (int threads : {1, 2, 8}) {
        qwp::SetThreadCountForTesting(threads);
        for (long n = 1; n <= reads; ++n) {
            document();
            const Planes before = Doc();
            fakehost::S().failAdvanceAt = n;
            ASSERT_EQ(Start(), userCanceledErr) << threads << " threads, strip call " << n;
            ASSERT_TRUE(Doc() == before) << threads << " threads, strip call " << n;
            ASSERT_EQ(fakehost::g_offThreadCalls.load(), 0);
        }
    }
    ExpectFailedAllocationsLeaveTheImage(document, 300, 3);
}

TEST_F(Run, WithoutALayoutTheRunIsCancelledAndTheImageUntouched)
{
    Doc(20, 10, plugInModeRGBColor, 3);
    const Planes before = Doc();
    EXPECT_EQ(Start(), userCanceledErr);
    EXPECT_EQ(Doc(), before);
    // A blob the engine refuses: the same.
    SaveLast(std::vector<uint8_t>(12, 0xFF));
    EXPECT_EQ(Start(), userCanceledErr);
    EXPECT_EQ(Doc(), before);
    // Scripting parameters whose blob is cut short: neither a layout of the run's own nor
    // "last.data" takes its place.
    SaveLast(TwoCells({}, false));
    std::vector<uint8_t> cut = TwoCells({}, false);
    cut.resize(cut.size() - 1);
    plugin.SetHostPointers(&rec, &data, &result);
    ASSERT_TRUE(plugin.WriteScriptParameters(cut.data(), cut.size()));
    fakehost::DisposeH(rec.descriptorParameters->descriptor);
    fakehost::S().readItems = fakehost::S().written;
    rec.descriptorParameters->descriptor = fakehost::MakeHandle("d", 1);
    EXPECT_EQ(Start(), userCanceledErr);
    EXPECT_EQ(Doc(), before);
}

TEST_F(Run, FinishClearsTheDialogFlagSoStartReplays)
{
    Doc(40, 20, plugInModeRGBColor, 3);
    SaveLast(TwoCells({}));
    Call(filterSelectorParameters);
    EXPECT_EQ(Start(), userCanceledErr);  // the dialog does not run here
    Call(filterSelectorFinish);
    EXPECT_EQ(Start(), noErr);
}

// ---------------------------------------------------------------------------------------------
// Working rectangle and mask

TEST_F(Run, TransparencyNarrowsTheWorkingRectangleAndCombinesWithTheSelection)
{
    Doc(50, 30, plugInModeRGBColor, 3, true);
    std::vector<uint8_t>& alpha = Doc()[3];
    std::fill(alpha.begin(), alpha.end(), 0);
    for (int y = 4; y < 20; ++y)
        for (int x = 10; x < 41; ++x) alpha[size_t(y) * 50 + x] = 128;
    plugin.SetHostPointers(&rec, &data, &result);
    ASSERT_TRUE(plugin.ReadHostInfo());
    ASSERT_TRUE(plugin.ReadMask(true));
    EXPECT_EQ(plugin.GetWorkingWidth(), 31);
    EXPECT_EQ(plugin.GetWorkingHeight(), 16);
    EXPECT_EQ(plugin.GetHostInfo()->left, 10);
    EXPECT_EQ(plugin.GetHostInfo()->docTop, 4);
    EXPECT_EQ(plugin.GetMask()[0], 128);

    // With a selection the rectangle stays; transparency 128 under selection 128 is 64.
    rec.filterCase = filterCaseEditableTransparencyWithSelection;
    SetMask(std::vector<uint8_t>(50 * 30, 128));
    ASSERT_TRUE(plugin.ReadHostInfo());
    ASSERT_TRUE(plugin.ReadMask(true));
    EXPECT_EQ(plugin.GetWorkingWidth(), 50);
    EXPECT_EQ(plugin.GetMask()[5 * 50 + 12], 64);
    EXPECT_EQ(plugin.GetMask()[0], 0);

    // No opaque pixel at all: nothing to cut, the mask read fails.
    rec.filterCase = filterCaseEditableTransparencyNoSelection;
    rec.haveMask = 0;
    std::fill(alpha.begin(), alpha.end(), 0);
    ASSERT_TRUE(plugin.ReadHostInfo());
    EXPECT_FALSE(plugin.ReadMask(true));
}

TEST_F(Run, OpaqueBoxWiderThan30000PixelsFailsTheRun)
{
    Doc(30001, 2, plugInModeGrayScale, 1, true);
    rec.maxSpace = 1 << 20;
    std::fill(Doc()[1].begin(), Doc()[1].end(), 255);
    SaveLast(TwoCells({}));
    const Planes before = Doc();
    EXPECT_EQ(Start(), userCanceledErr);
    EXPECT_EQ(Doc(), before);
}

// ---------------------------------------------------------------------------------------------
// Window positions

TEST_F(Run, WindowPositionsAreClampedAndKeyedByTrimmedUpperCaseNames)
{
    Doc(4, 4, plugInModeRGBColor, 3);
    Call(filterSelectorPrepare);  // the folders: the temporary one
    int32_t x = 0, y = 0;
    plugin.GetWindowPosition("Main", "ROOT", x, y);
    EXPECT_EQ(x, -32000);  // the store is not open yet
    plugin.SaveWindowPosition("Main", "ROOT", 1, 2);
    ASSERT_TRUE(plugin.LoadPreferences("plugin.conf"));
    plugin.GetWindowPosition("Main", "ROOT", x, y);
    EXPECT_EQ(x, -32000);
    EXPECT_EQ(y, -32000);

    // Positions are saved when a window closes and read at the next run (the store reopened).
    // Each case keeps its own store.
    plugin.SaveWindowPosition(" main ", "root", 8000, -50);
    ASSERT_TRUE(plugin.LoadPreferences("plugin.conf"));
    plugin.GetWindowPosition("MAIN", "ROOT", x, y);
    EXPECT_EQ(x, 7000);
    EXPECT_EQ(y, -10);
    uint32_t raw = 0;
    ASSERT_TRUE(plugin.GetPreferences()->GetDWord("Windows Positions>MAIN>ROOT>Left", raw));
    EXPECT_EQ(int32_t(raw), 8000);

    ASSERT_TRUE(plugin.LoadPreferences("spaces.conf"));
    plugin.SaveWindowPosition("   ", "", 120, 130);
    ASSERT_TRUE(plugin.LoadPreferences("spaces.conf"));
    EXPECT_TRUE(plugin.GetPreferences()->GetDWord("Windows Positions>-->-->Top", raw));
    plugin.GetWindowPosition("", " ", x, y);
    EXPECT_EQ(x, 120);
    EXPECT_EQ(y, 130);

    // Left without Top is no position.
    ASSERT_TRUE(plugin.LoadPreferences("left.conf"));
    CQWF_Storage* store = plugin.GetPreferences();
    ASSERT_TRUE(store->CreateFolder("Windows Positions") && store->CreateFolder("Windows Positions>A") &&
                store->CreateFolder("Windows Positions>A>B"));
    ASSERT_TRUE(store->SetDWord("Windows Positions>A>B>Left", 5));
    ASSERT_TRUE(plugin.LoadPreferences("left.conf"));
    plugin.GetWindowPosition("a", "b", x, y);
    EXPECT_EQ(x, -32000);
    EXPECT_EQ(y, -32000);
}

// A settings store that no longer opens is kept aside under a name of its own when the filter
// starts, and the run goes on with a new, empty one; a second damaged store does not take the
// first one's place.
TEST_F(Run, ADamagedSettingsStoreIsKeptAsideWhenTheFilterStarts)
{
    Doc(4, 4, plugInModeRGBColor, 3);
    SaveLast(TwoCells({}, false));
    std::string good;
    {
        CQWF_Storage store;
        ASSERT_TRUE(store.OpenFile((folder + "\\good.conf").c_str(), CQWF_Storage::kModeCreate));
        ASSERT_TRUE(store.CreateFolder("Preferences") && store.SetByte("Preferences>AlphaSolid", 1));
        ASSERT_TRUE(store.Close());
        ASSERT_TRUE(qwtest::ReadWholeFile(dir.File("good.conf"), good));
    }
    // The end magic broken, and the file cut short.
    const std::string damaged[2] = {good.substr(0, good.size() - 3) + "v41", good.substr(0, good.size() - 20)};
    const char* const aside[2] = {"plugin.conf.damaged", "plugin.conf.damaged-2"};
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_TRUE(qwtest::WriteWholeFile(dir.File("plugin.conf"), damaged[run]));
        EXPECT_EQ(Start(), noErr);
        ASSERT_NE(plugin.GetPreferences(), nullptr);
        EXPECT_EQ(plugin.GetPreferences()->GetEntryCount(), 0u);
        for (int kept = 0; kept <= run; ++kept) {
            std::string bytes;
            ASSERT_TRUE(qwtest::ReadWholeFile(dir.File(aside[kept]), bytes));
            EXPECT_EQ(bytes, damaged[kept]);
        }
        Call(filterSelectorFinish);
        // The host quits (the module's store is closed) before the file is damaged again.
        ASSERT_TRUE(plugin.GetPreferences()->Close());
    }
}

TEST(HostProgress, ReportsEveryPercentAndAsksTheHostToAbort)
{
    FilterRecord rec{};
    fakehost::Reset(rec, 4, 4, plugInModeRGBColor, 3);
    CPluginMain plugin;
    intptr_t data = 0;
    int16_t result = 0;
    plugin.SetHostPointers(&rec, &data, &result);
    CHostProgress& sink = plugin.GetHostProgress();
    sink.SetPercent(37);
    sink.SetPercent(37);
    ASSERT_EQ(fakehost::S().progress.size(), 2u);
    EXPECT_EQ(fakehost::S().progress[0], std::make_pair(37, 100));
    EXPECT_EQ(sink.GetLastPercent(), 37);
    EXPECT_FALSE(sink.IsCancelled());
    fakehost::S().abortAfter = 1;
    EXPECT_TRUE(sink.IsCancelled());
    EXPECT_TRUE(sink.CancelSeen());
    // A host without an abort callback never cancels.
    rec.abortProc = nullptr;
    sink.ResetCancelSeen();
    EXPECT_FALSE(sink.IsCancelled());
    EXPECT_FALSE(sink.CancelSeen());
}

}  // namespace
