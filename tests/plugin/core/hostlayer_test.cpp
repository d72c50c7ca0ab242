// Host layer: host information, strips, callbacks, layers, colours, properties and files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "framework/core/qwf_file.h"
#include "framework/core/qwf_storage.h"
#include "platform/qw_paths.h"
#include "platform/qw_threads.h"
#include "platform/qw_winsys_headless.h"
#include "plugin/core/qw_8bfplugin.h"
#include "support/test_support.h"
#include "tests/plugin/core/fake_host.h"

namespace {

using fakehost::S;

class HostLayer : public ::testing::Test {
protected:
    void SetUpDoc(int32_t w, int32_t h, int16_t mode, int planes)
    {
        fakehost::Reset(rec, w, h, mode, planes);
        plugin.SetHostPointers(&rec, &data, &result);
    }
    void SetUp() override { SetUpDoc(40, 30, plugInModeRGBColor, 3); }

    FilterRecord rec{};
    intptr_t data = 0;
    int16_t result = 0;
    CQWF_8BFPluginVirtual plugin;
};

TEST_F(HostLayer, ModesGiveLayoutAndPlanesAndOthersFailWith48)
{
    struct { int16_t mode; uint8_t layout, planes; } ok[] = {
        {plugInModeGrayScale, 0, 1}, {plugInModeRGBColor, 1, 3}, {plugInModeCMYKColor, 2, 4}};
    for (auto& c : ok) {
        rec.imageMode = c.mode;
        ASSERT_TRUE(plugin.ReadHostInfo());
        EXPECT_EQ(plugin.GetHostInfo()->layout, c.layout);
        EXPECT_EQ(plugin.GetHostInfo()->planes, c.planes);
        EXPECT_EQ(plugin.GetHostInfo()->depth, 8);
    }
    for (int16_t bad : {plugInModeBitmap, plugInModeIndexedColor, plugInModeLabColor,
                        plugInModeMultichannel, plugInModeDuotone}) {
        rec.imageMode = bad;
        EXPECT_FALSE(plugin.ReadHostInfo());
        EXPECT_EQ(plugin.GetError(), 48);
    }
    plugin.SetHostPointers(nullptr, &data, &result);
    EXPECT_FALSE(plugin.ReadHostInfo());
    EXPECT_EQ(plugin.GetError(), 1);
}

TEST_F(HostLayer, FilterCaseTable)
{
    struct { int16_t fc; uint8_t present, editable, selection, planes; } cases[] = {
        {1, 0, 0, 0, 3}, {2, 0, 0, 1, 3}, {3, 1, 1, 1, 4}, {4, 1, 1, 0, 4},
        {5, 1, 1, 1, 4}, {6, 1, 0, 0, 4}, {7, 1, 0, 1, 4}};
    for (auto& c : cases) {
        rec.filterCase = c.fc;
        ASSERT_TRUE(plugin.ReadHostInfo()) << c.fc;
        const QWF_HostInfo& i = *plugin.GetHostInfo();
        EXPECT_EQ(i.transparencyPresent, c.present) << c.fc;
        EXPECT_EQ(i.transparencyEditable, c.editable) << c.fc;
        EXPECT_EQ(i.selection, c.selection) << c.fc;
        EXPECT_EQ(i.planes, c.planes) << c.fc;
    }
    // An older host gives no case: the selection follows haveMask.
    rec.filterCase = 0;
    rec.haveMask = 1;
    ASSERT_TRUE(plugin.ReadHostInfo());
    EXPECT_EQ(plugin.GetHostInfo()->selection, 1);
    EXPECT_EQ(plugin.GetHostInfo()->hostMask, 1);
    EXPECT_EQ(plugin.GetHostInfo()->planes, 3);
    rec.filterCase = 8;
    EXPECT_FALSE(plugin.ReadHostInfo());
    EXPECT_EQ(plugin.GetError(), 48);
    rec.filterCase = -1;
    EXPECT_FALSE(plugin.ReadHostInfo());
}

TEST_F(HostLayer, OtherHostsSignalTransparencyThroughTheMaskCounts)
{
    rec.filterCase = 1;
    rec.inTransparencyMask = 1;
    rec.outTransparencyMask = 1;
    ASSERT_TRUE(plugin.ReadHostInfo());
    EXPECT_EQ(plugin.GetHostInfo()->transparencyPresent, 0);  // '8BIM' ignores them
    rec.hostSig = QWH_FourCC("OTHR");
    ASSERT_TRUE(plugin.ReadHostInfo());
    EXPECT_EQ(plugin.GetHostInfo()->transparencyPresent, 1);
    EXPECT_EQ(plugin.GetHostInfo()->transparencyEditable, 1);
    EXPECT_EQ(plugin.GetHostInfo()->planes, 4);
}

TEST_F(HostLayer, SizesResolutionColoursAndDocumentRectangle)
{
    rec.filterRect = QWH_Rect{5, 6, 25, 20};
    rec.floatCoord = QWH_Point{100, 200};
    rec.imageHRes = 0;
    rec.imageVRes = 150 << 16;
    std::memcpy(rec.foreColor, "\x01\x02\x03\x04", 4);
    std::memcpy(rec.backColor, "\x05\x06\x07\x08", 4);
    ASSERT_TRUE(plugin.ReadHostInfo());
    const QWF_HostInfo& i = *plugin.GetHostInfo();
    EXPECT_EQ(i.wholeWidth, 40);
    EXPECT_EQ(i.imageHeight, 30);
    EXPECT_EQ(i.floatX, 100);
    EXPECT_DOUBLE_EQ(i.hResolution, 150.0);
    EXPECT_DOUBLE_EQ(i.vResolution, 150.0);
    EXPECT_EQ(i.foreground[3], 4);
    EXPECT_EQ(i.background[0], 5);
    EXPECT_EQ(i.docLeft, 105);
    EXPECT_EQ(i.docBottom, 220);
    // Without a whole size the filter rectangle gives every size and there is no float.
    rec.wholeSize = QWH_Point{0, 30};
    ASSERT_TRUE(plugin.ReadHostInfo());
    EXPECT_EQ(plugin.GetHostInfo()->wholeWidth, 20);
    EXPECT_EQ(plugin.GetHostInfo()->imageHeight, 14);
    EXPECT_EQ(plugin.GetHostInfo()->floatX, 0);
    EXPECT_EQ(plugin.GetHostInfo()->docLeft, 5);
}

TEST_F(HostLayer, RulerUnitsAndChannelNames)
{
    struct { intptr_t host; uint8_t unit; } units[] = {{0, 0}, {3, 3}, {5, 0}, {6, 4}, {-1, 0}, {9, 0}};
    for (auto& u : units) {
        S().rulerUnit = u.host;
        ASSERT_TRUE(plugin.ReadHostInfo());
        EXPECT_EQ(plugin.GetHostInfo()->rulerUnits, u.unit) << u.host;
    }
    S().channelNames = {"Red", "", "Blue"};
    ASSERT_TRUE(plugin.ReadHostInfo());
    EXPECT_EQ(plugin.GetHostInfo()->channelNamesPresent, 1);
    EXPECT_EQ(plugin.GetHostInfo()->channelCount, 3);
    ASSERT_EQ(plugin.GetChannelNames().GetCount(), 3u);
    EXPECT_STREQ(plugin.GetChannelNames().GetAt(0).GetBuffer(), "Red");
    EXPECT_STREQ(plugin.GetChannelNames().GetAt(1).GetBuffer(), "Channel 2");
    EXPECT_STREQ(plugin.GetChannelNames().GetAt(2).GetBuffer(), "Blue");
    EXPECT_EQ(fakehost::LiveHandles(), 0u);  // every name handle was disposed
    // Names are asked only from hosts that support absolute requests.
    rec.supportsAbsolute = 0;
    ASSERT_TRUE(plugin.ReadHostInfo());
    EXPECT_EQ(plugin.GetChannelNames().GetCount(), 0u);
    EXPECT_EQ(plugin.GetHostInfo()->channelNamesPresent, 0);
    // A failing property call leaves the defaults.
    rec.supportsAbsolute = 1;
    S().propertiesFail = true;
    S().rulerUnit = 2;
    ASSERT_TRUE(plugin.ReadHostInfo());
    EXPECT_EQ(plugin.GetHostInfo()->rulerUnits, 0);
    EXPECT_EQ(plugin.GetChannelNames().GetCount(), 0u);
}

TEST_F(HostLayer, ColourProfileIsCopiedAndNeverOverread)
{
    std::vector<uint8_t> icc(300);
    for (size_t i = 0; i < icc.size(); ++i) icc[i] = uint8_t(i * 7);
    Handle h = fakehost::MakeHandle(icc.data(), icc.size());
    rec.iCCprofileData = h;
    rec.iCCprofileSize = 300;
    ASSERT_TRUE(plugin.ReadHostInfo());
    EXPECT_EQ(plugin.GetHostInfo()->profile, nullptr);  // the host cannot use profiles
    rec.canUseICCProfiles = 1;
    ASSERT_TRUE(plugin.ReadHostInfo());
    ASSERT_NE(plugin.GetHostInfo()->profile, nullptr);
    EXPECT_EQ(plugin.GetHostInfo()->profileSize, 300);
    EXPECT_EQ(0, std::memcmp(plugin.GetHostInfo()->profile, icc.data(), 300));
    EXPECT_EQ(fakehost::Block(h)->locks, 0);
    // A declared size beyond the handle copies what the handle holds.
    rec.iCCprofileSize = 5000;
    ASSERT_TRUE(plugin.ReadHostInfo());
    EXPECT_EQ(plugin.GetHostInfo()->profileSize, 300);
}

TEST_F(HostLayer, StripsStayWithinMaxSpaceAndMoveTheRightBytes)
{
    rec.maxSpace = 85;  // two rows of 40 per strip
    std::vector<uint8_t> buf(20 * 10, 0);
    ASSERT_TRUE(plugin.ReadPlane(1, 10, 5, 30, 15, buf.data(), 20));
    EXPECT_EQ(S().advanceCalls, 3);  // 85 / 20 = 4 rows per strip: 4 + 4 + 2
    EXPECT_FALSE(S().violation);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(buf[size_t(y * 20 + x)], uint8_t(64 + 10 + x + 5 + y));
    EXPECT_EQ(rec.inRect.right, 0);  // requests cleared afterwards
    EXPECT_EQ(rec.wantsAbsolute, 0);

    // Write with a wider caller stride, then read back.
    std::vector<uint8_t> w(25 * 10);
    for (size_t i = 0; i < w.size(); ++i) w[i] = uint8_t(i * 3);
    ASSERT_TRUE(plugin.WritePlane(2, 10, 5, 30, 15, w.data(), 25));
    plugin.ReadPlane(0, 0, 0, 1, 1, buf.data(), 1);  // the host commits on the next request
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(S().planes[2][size_t((5 + y) * 40 + 10 + x)], w[size_t(y * 25 + x)]);
    ASSERT_TRUE(plugin.FillPlane(0, 0, 0, 40, 30, 9));
    std::vector<uint8_t> whole(40 * 30);
    ASSERT_TRUE(plugin.ReadPlaneAbsolute(0, 0, 0, 40, 30, whole.data(), 40));
    EXPECT_EQ(rec.wantsAbsolute, 1);
    EXPECT_EQ(S().planes[0][size_t(29 * 40 + 39)], 9);
    EXPECT_FALSE(S().violation);
}

// Strips of many rows move their rows on several threads: reading, writing, writing rows made
// by a callback and filling give every byte as on one thread, whatever the host's rows (padded
// here), and the host is called on its own thread only.
TEST_F(HostLayer, LargeStripsMoveTheirRowsOnSeveralThreads)
{
    struct Restore {
        ~Restore() { qwp::SetThreadCountForTesting(0); }
    } restore;
    for (int threads : {1, 8}) {
        SCOPED_TRACE(threads);
        qwp::SetThreadCountForTesting(threads);
        const int32_t w = 700, h = 420;
        SetUpDoc(w, h, plugInModeGrayScale, 1);
        rec.maxSpace = 150 * w;  // strips of 150 rows
        std::vector<uint8_t> read(size_t(w) * h, 0);
        ASSERT_TRUE(plugin.ReadPlane(0, 0, 0, w, h, read.data(), w));
        EXPECT_TRUE(read == S().planes[0]);
        std::vector<uint8_t> written(size_t(w + 3) * h);
        for (size_t i = 0; i < written.size(); ++i) written[i] = uint8_t(i * 7 + (i >> 11));
        ASSERT_TRUE(plugin.WritePlane(0, 0, 0, w, h, written.data(), w + 3));
        plugin.ReadPlane(0, 0, 0, 1, 1, read.data(), 1);  // the host commits on the next request
        for (int32_t y = 0; y < h; ++y)
            ASSERT_EQ(std::memcmp(S().planes[0].data() + size_t(y) * w, written.data() + size_t(y) * (w + 3), size_t(w)), 0) << y;
        auto row = [](void*, int64_t y, uint8_t* out, int64_t n) {
            for (int64_t x = 0; x < n; ++x) out[x] = uint8_t(x ^ (y * 5));
        };
        ASSERT_TRUE(plugin.WritePlaneRows(0, 0, 0, w, h, row, nullptr));
        plugin.ReadPlane(0, 0, 0, 1, 1, read.data(), 1);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                ASSERT_EQ(S().planes[0][size_t(y) * w + x], uint8_t(x ^ (y * 5))) << x << "," << y;
        ASSERT_TRUE(plugin.FillPlane(0, 0, 100, w, h, 9));
        plugin.ReadPlane(0, 0, 0, 1, 1, read.data(), 1);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                ASSERT_EQ(S().planes[0][size_t(y) * w + x], y < 100 ? uint8_t(x ^ (y * 5)) : 9) << x << "," << y;
        EXPECT_FALSE(S().violation);
        EXPECT_EQ(fakehost::g_offThreadCalls.load(), 0);
        // A strip read is shared out in rows of whole large pages (2 MiB): strips of 4.2 MB
        // and 2.1 MB, the first in two such parts.
        SetUpDoc(3000, 2100, plugInModeGrayScale, 1);
        rec.maxSpace = 1400 * 3000;
        std::vector<uint8_t> large(size_t(3000) * 2100, 0);
        ASSERT_TRUE(plugin.ReadPlane(0, 0, 0, 3000, 2100, large.data(), 3000));
        EXPECT_TRUE(large == S().planes[0]);
        EXPECT_EQ(fakehost::g_offThreadCalls.load(), 0);
    }
}

TEST_F(HostLayer, StripFailures)
{
    std::vector<uint8_t> buf(40 * 30);
    // Less room than one row.
    rec.maxSpace = 39;
    EXPECT_FALSE(plugin.ReadPlane(0, 0, 0, 40, 30, buf.data(), 40));
    EXPECT_EQ(result, filterBadParameters);
    EXPECT_EQ(plugin.GetError(), 1);
    rec.maxSpace = 0;
    EXPECT_FALSE(plugin.WritePlane(0, 0, 0, 40, 30, buf.data(), 40));
    EXPECT_EQ(result, filterBadParameters);
    // Empty rectangles.
    rec.maxSpace = 1000;
    EXPECT_FALSE(plugin.ReadPlane(0, 5, 5, 5, 10, buf.data(), 40));
    EXPECT_EQ(plugin.GetError(), 1);
    EXPECT_EQ(result, noErr);
    // A cancel in the host ends the transfer as cancelled.
    S().failAdvanceAt = 2;
    EXPECT_FALSE(plugin.ReadPlane(0, 0, 0, 40, 30, buf.data(), 40));
    EXPECT_EQ(result, userCanceledErr);
    S().failAdvanceAt = 0;
    // A mask read without a host mask gets no data.
    EXPECT_FALSE(plugin.ReadPlane(-1, 0, 0, 40, 30, buf.data(), 40));
    EXPECT_EQ(result, filterBadParameters);
    // Absolute reads need host support.
    rec.supportsAbsolute = 0;
    EXPECT_FALSE(plugin.ReadPlaneAbsolute(0, 0, 0, 40, 30, buf.data(), 40));
    EXPECT_EQ(plugin.GetError(), 1);
    // No record at all.
    plugin.SetHostPointers(nullptr, &data, &result);
    EXPECT_FALSE(plugin.ReadPlane(0, 0, 0, 40, 30, buf.data(), 40));
    EXPECT_EQ(plugin.GetError(), 1);
}

TEST_F(HostLayer, MaskIsReadThroughTheMaskRectangle)
{
    S().mask.assign(40 * 30, 0);
    for (size_t i = 0; i < S().mask.size(); ++i) S().mask[i] = uint8_t(i % 251);
    std::vector<uint8_t> buf(40 * 30);
    ASSERT_TRUE(plugin.ReadPlane(-1, 0, 0, 40, 30, buf.data(), 40));
    EXPECT_EQ(buf, S().mask);
}

TEST_F(HostLayer, CallbacksWithoutTheHostsProcedures)
{
    EXPECT_TRUE(plugin.AdvanceState());
    S().abortAfter = 1;
    EXPECT_TRUE(plugin.HostAbort());
    EXPECT_TRUE(plugin.HostProgress(100, 42));
    ASSERT_EQ(S().progress.size(), 1u);
    EXPECT_EQ(S().progress[0], std::make_pair(42, 100));
    rec.advanceState = nullptr;
    rec.abortProc = nullptr;
    rec.progressProc = nullptr;
    EXPECT_FALSE(plugin.AdvanceState());
    EXPECT_EQ(result, filterBadParameters);
    EXPECT_FALSE(plugin.HostAbort());
    EXPECT_FALSE(plugin.HostProgress(100, 1));
    plugin.SetHostPointers(nullptr, nullptr, nullptr);
    EXPECT_FALSE(plugin.AdvanceState());
    EXPECT_EQ(plugin.GetResult(), 0);
}

TEST_F(HostLayer, SelectorsOfTheBase)
{
    rec.inRect = rec.outRect = rec.maskRect = QWH_Rect{1, 2, 3, 4};
    plugin.Parameters();
    EXPECT_EQ(plugin.GetShowDialog(), 1);
    plugin.Continue();
    EXPECT_EQ(rec.inRect.right, 0);
    rec.outRect = QWH_Rect{1, 2, 3, 4};
    plugin.Finish();
    EXPECT_EQ(rec.outRect.bottom, 0);
    EXPECT_EQ(plugin.GetShowDialog(), 0);
}

TEST_F(HostLayer, LayerTableClipsAndNarrowsToOpaquePixels)
{
    std::vector<uint8_t> alpha(20 * 10, 0);
    alpha[size_t(3 * 20 + 4)] = 1;
    alpha[size_t(7 * 20 + 15)] = 255;
    fakehost::AddLayer(rec, "Top", QWH_Rect{10, 10, 30, 20}, {std::vector<uint8_t>(200, 50)}, alpha, 7);
    fakehost::AddLayer(rec, "Clear", QWH_Rect{0, 0, 5, 5}, {std::vector<uint8_t>(25, 1)},
                       std::vector<uint8_t>(25, 0), 8);
    fakehost::AddLayer(rec, "Flat", QWH_Rect{0, 0, 40, 30}, {std::vector<uint8_t>(1200, 9)}, {}, 9);
    fakehost::FinishLayers();
    S().doc.mergedCompositeChannels = S().layers[2]->compositeChannelsList;
    rec.imageMode = plugInModeGrayScale;
    ASSERT_TRUE(plugin.ReadHostInfo());
    EXPECT_EQ(plugin.GetHostInfo()->layersAvailable, 1);
    ASSERT_TRUE(plugin.BuildLayerTable(-32000, -32000, -32000, -32000, false));
    size_t n = 0;
    const QWF_LayerEntry* t = plugin.GetLayerTable(n);
    ASSERT_EQ(n, 4u);
    EXPECT_EQ(t[0].id, 7);
    EXPECT_STREQ(t[0].name, "Top");
    EXPECT_EQ(std::vector<int>({t[0].left, t[0].top, t[0].right, t[0].bottom}), std::vector<int>({14, 13, 26, 18}));
    EXPECT_EQ(t[1].left, -32000);  // nothing opaque
    EXPECT_EQ(t[1].bottom, -32000);
    EXPECT_EQ(t[2].right, 40);
    EXPECT_EQ(t[3].id, -1);
    EXPECT_STREQ(t[3].name, "--COMPOSITE--");
    // A requested rectangle clips; an empty clip is -32000.
    ASSERT_TRUE(plugin.BuildLayerTable(0, 0, 12, 12, false));  // kept without rebuild
    EXPECT_EQ(plugin.GetLayerTable(n)[0].left, 14);
    ASSERT_TRUE(plugin.BuildLayerTable(0, 0, 12, 12, true));
    t = plugin.GetLayerTable(n);
    EXPECT_EQ(t[0].left, -32000);
    EXPECT_EQ(t[2].right, 12);
    EXPECT_EQ(t[2].bottom, 12);
}

TEST_F(HostLayer, LayerPlanesFillColourAndTransparency)
{
    std::vector<uint8_t> alpha(4, 200);
    fakehost::AddLayer(rec, "Grey", QWH_Rect{0, 0, 2, 2}, {std::vector<uint8_t>{1, 2, 3, 4}}, alpha, 1);
    fakehost::AddLayer(rec, "CMYK", QWH_Rect{0, 0, 2, 2},
                       {std::vector<uint8_t>(4, 100), std::vector<uint8_t>(4, 200),
                        std::vector<uint8_t>(4, 255), std::vector<uint8_t>(4, 128)},
                       {}, 2);
    fakehost::FinishLayers();
    ASSERT_TRUE(plugin.AcquireChannelPorts());
    std::vector<uint8_t> p[4] = {std::vector<uint8_t>(4), std::vector<uint8_t>(4),
                                 std::vector<uint8_t>(4), std::vector<uint8_t>(4)};
    uint8_t* planes[4] = {p[0].data(), p[1].data(), p[2].data(), p[3].data()};
    ASSERT_TRUE(plugin.ReadLayerPlanes(1, planes, 2, 2, 4, 0, 0, 2, 2));
    EXPECT_EQ(p[1], (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(p[2], (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(p[3], std::vector<uint8_t>(4, 200));
    ASSERT_TRUE(plugin.ReadLayerPlanes(2, planes, 2, 2, 4, 0, 0, 2, 2));
    EXPECT_EQ(p[0][0], (100 * 128) >> 8);
    EXPECT_EQ(p[2][0], (255 * 128) >> 8);
    EXPECT_EQ(p[3][0], 255);  // no transparency channel
    EXPECT_FALSE(plugin.ReadLayerPlanes(3, planes, 2, 2, 4, 0, 0, 2, 2));   // no such layer
    EXPECT_FALSE(plugin.ReadLayerPlanes(1, planes, 3, 2, 4, 0, 0, 2, 2));   // size mismatch
    EXPECT_FALSE(plugin.ReadLayerPlanes(-1, planes, 2, 2, 4, 0, 0, 2, 2));  // no composite
}

TEST_F(HostLayer, SuiteIsAcquiredOnceAndReleasedByTheDestructor)
{
    fakehost::AddLayer(rec, "L", QWH_Rect{0, 0, 1, 1}, {std::vector<uint8_t>(1)}, {}, 1);
    fakehost::FinishLayers();
    {
        CQWF_8BFPluginVirtual other;
        int16_t r = 0;
        other.SetHostPointers(&rec, nullptr, &r);
        ASSERT_TRUE(other.AcquireChannelPorts());
        ASSERT_TRUE(other.AcquireChannelPorts());
        EXPECT_EQ(S().suiteAcquired[kPSChannelPortsSuite], 1);
    }
    EXPECT_EQ(S().suiteAcquired[kPSChannelPortsSuite], 0);
    rec.sSPBasic = nullptr;
    CQWF_8BFPluginVirtual none;
    none.SetHostPointers(&rec, nullptr, nullptr);
    EXPECT_FALSE(none.AcquireChannelPorts());
}

TEST_F(HostLayer, Colours)
{
    QWF_ColorRecord c{0, 30, 60, 90, 0, 0, 0, 0};
    ASSERT_TRUE(plugin.ConvertColor(c));
    EXPECT_EQ(c.gray, 77);
    EXPECT_EQ(c.cyan, 1);
    EXPECT_EQ(c.black, 4);
    S().convertFails = true;
    ASSERT_TRUE(plugin.ConvertColor(c));
    EXPECT_EQ(c.gray, 60);
    EXPECT_EQ(c.cyan, 225);
    EXPECT_EQ(c.yellow, 165);
    EXPECT_EQ(c.black, 0);
    S().convertFails = false;
    ASSERT_TRUE(plugin.PickColor(c));
    EXPECT_EQ(c.red, 10);
    EXPECT_EQ(c.blue, 30);
    EXPECT_EQ(c.gray, 77);
    S().pickAnswers = false;
    c.red = 5;
    EXPECT_FALSE(plugin.PickColor(c));
    EXPECT_EQ(c.red, 5);
    // Without colour services the system's colour dialog asks, from the colour, over the host's
    // window (no main window is open): OK gives the colour with alpha 255, cancel leaves it.
    rec.colorServices = nullptr;
    qwp::HeadlessWindowSystem ws;
    qwp::WindowSystem* before = qwp::SetWindowSystem(&ws);
    qwp::WindowParams params;
    const qwp::WindowHandle hostWindow = ws.CreateWindow(params);
    plugin.SetHostWindow(hostWindow);
    ws.AnswerColor("0A141E");
    ws.AnswerColor("");
    uint8_t rgba[4] = {1, 2, 3, 4};
    EXPECT_TRUE(plugin.PickColorRGB(rgba));
    EXPECT_EQ(std::vector<uint8_t>(rgba, rgba + 4), (std::vector<uint8_t>{10, 20, 30, 255}));
    EXPECT_FALSE(plugin.PickColorRGB(rgba));
    EXPECT_EQ(std::vector<uint8_t>(rgba, rgba + 4), (std::vector<uint8_t>{10, 20, 30, 255}));
    qwp::SetWindowSystem(before);
    ASSERT_EQ(ws.ColorChoices().size(), 2u);
    EXPECT_EQ(ws.ColorChoices()[0].owner, hostWindow);
    EXPECT_EQ(ws.ColorChoices()[0].title, "");
    EXPECT_EQ(ws.ColorChoices()[0].red, 1);
    EXPECT_EQ(ws.ColorChoices()[0].green, 2);
    EXPECT_EQ(ws.ColorChoices()[0].blue, 3);
    EXPECT_EQ(ws.ColorChoices()[1].red, 10);

    // Rows made RGB: grey copies its row thrice, RGB its three, CMYK scales the colours by black
    // (c x k >> 8). The row tables end where reading on faults.
    const uint8_t rows[4][2] = {{100, 7}, {200, 9}, {255, 11}, {128, 255}};
    const struct {
        int16_t mode;
        int planes;
        uint8_t want[3][2];
    } modes[] = {{plugInModeGrayScale, 1, {{100, 7}, {100, 7}, {100, 7}}},
                 {plugInModeRGBColor, 3, {{100, 7}, {200, 9}, {255, 11}}},
                 {plugInModeCMYKColor, 4, {{50, 6}, {100, 8}, {127, 10}}}};
    for (const auto& m : modes) {
        rec.imageMode = m.mode;
        ASSERT_TRUE(plugin.ReadHostInfo());
        uint8_t out[3][2] = {};
        qwtest::GuardedBytes source(m.planes * sizeof(uint8_t*)), target(3 * sizeof(uint8_t*));
        for (int k = 0; k < m.planes; ++k) reinterpret_cast<const uint8_t**>(source.data())[k] = rows[k];
        for (int k = 0; k < 3; ++k) reinterpret_cast<uint8_t**>(target.data())[k] = out[k];
        ASSERT_TRUE(plugin.MakeRGBRows(reinterpret_cast<const uint8_t* const*>(source.data()),
                                       reinterpret_cast<uint8_t* const*>(target.data()), 2));
        EXPECT_EQ(0, std::memcmp(out, m.want, sizeof out)) << m.mode;
    }
}

TEST_F(HostLayer, FilesInTheFoldersAndTheSettingsStore)
{
    qwtest::TempDir dir;
    std::string folder = qwp::ToWindowsPath(dir.Path().c_str());
    plugin.GetPluginFolder() = (folder + "\\").c_str();
    ASSERT_TRUE(plugin.WriteWholeFile("", 0, "empty.bin"));
    CQWF_Mem mem;
    mem.Alloc(10);
    ASSERT_TRUE(plugin.ReadWholeFile(mem, "empty.bin"));
    EXPECT_EQ(mem.GetSize(), 0u);
    ASSERT_TRUE(plugin.WriteWholeFile("abc", 3, "x.bin", folder.c_str()));  // backslash added
    ASSERT_TRUE(plugin.ReadWholeFile(mem, "x.bin"));
    ASSERT_EQ(mem.GetSize(), 3u);
    EXPECT_EQ(0, std::memcmp(mem.GetData(), "abc", 3));
    // A block's bytes replace the whole file.
    CQWF_Mem block(2);
    std::memcpy(block.GetData(), "yz", 2);
    ASSERT_TRUE(plugin.WriteMemFile(block, "x.bin", folder.c_str()));
    ASSERT_TRUE(plugin.ReadWholeFile(mem, "x.bin"));
    ASSERT_EQ(mem.GetSize(), 2u);
    EXPECT_EQ(0, std::memcmp(mem.GetData(), "yz", 2));
    EXPECT_FALSE(plugin.ReadWholeFile(mem, "missing.bin"));
    EXPECT_NE(plugin.GetError(), 0);
    // A folder with a file's name is refused as it stands (its "size" is near 2^63).
    ASSERT_TRUE(qwp::CreateFolder((folder + "\\last.data").c_str()));
    EXPECT_FALSE(plugin.ReadWholeFile(mem, "last.data"));
    EXPECT_EQ(plugin.GetError(), QWF_ERR_FILE_OPEN);

    // The settings store is created in the data folder, or the plug-in folder without one.
    EXPECT_EQ(plugin.GetPreferences(), nullptr);
    ASSERT_TRUE(plugin.LoadPreferences("plugin.conf"));
    ASSERT_NE(plugin.GetPreferences(), nullptr);
    EXPECT_TRUE(plugin.GetPreferences()->SetDWord("Answer", 42));
    qwtest::TempDir data;
    plugin.GetDataFolder() = qwp::ToWindowsPath(data.Path().c_str()).c_str();
    // New files of the data folder's files that writers stopped mid-write left (nobody holds
    // them) go when the store opens.
    for (const char* name : {".last.data.~qw1a2b3c", ".plugin.conf.~qwXYZ789"})
        ASSERT_TRUE(qwtest::WriteWholeFile(data.File(name), "left"));
    ASSERT_TRUE(plugin.LoadPreferences("plugin.conf"));  // closes the first store
    EXPECT_EQ(qwtest::FolderNames(data.Path()), std::vector<std::string>{"plugin.conf"});
    EXPECT_TRUE(qwp::FileExists((qwp::ToWindowsPath(data.Path().c_str()) + "\\plugin.conf").c_str()));
    CQWF_Storage check;
    ASSERT_TRUE(check.OpenFile((folder + "\\plugin.conf").c_str(), CQWF_Storage::kModeRead));
    uint32_t v = 0;
    EXPECT_TRUE(check.GetDWord("Answer", v));
    EXPECT_EQ(v, 42u);
    plugin.GetDataFolder() = (folder + "\\missing\\deeper").c_str();
    EXPECT_FALSE(plugin.LoadPreferences("plugin.conf"));
    EXPECT_EQ(plugin.GetPreferences(), nullptr);
}

// The files the filter keeps in its data folder are its own: a link planted at one of their
// names (to a file, to a settings store, to nothing) is replaced by a file, and what it names
// stays as it was. The store takes a copy of what the link named, so its settings stay.
TEST_F(HostLayer, TheDataFolderFilesReplaceALinkNeverWhatItNames)
{
    qwtest::TempDir data, elsewhere;
    plugin.GetDataFolder() = qwp::ToWindowsPath(data.Path().c_str()).c_str();
    const std::string store = elsewhere.File("store.conf");
    {
        CQWF_Storage s;
        ASSERT_TRUE(s.OpenFile(qwp::ToWindowsPath(store.c_str()).c_str(), CQWF_Storage::kModeCreate));
        ASSERT_TRUE(s.SetDWord("Answer", 42) && s.Close());
    }
    ASSERT_TRUE(qwtest::WriteWholeFile(elsewhere.File("mine.txt"), "mine"));
    const std::string storeBytes = qwtest::FileBytes(store);
    auto plant = [&](const char* name, const std::string& target) {
        ASSERT_EQ(::symlink(target.c_str(), data.File(name).c_str()), 0) << name;
    };
    auto isFile = [&](const char* name) {
        struct stat st;
        return ::lstat(data.File(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    };

    plant("last.data", elsewhere.File("mine.txt"));
    ASSERT_TRUE(plugin.WriteWholeFile("layout", 6, "last.data", plugin.GetDataFolder().GetBuffer()));
    EXPECT_EQ(qwtest::FileBytes(elsewhere.File("mine.txt")), "mine");
    EXPECT_TRUE(isFile("last.data"));
    EXPECT_EQ(qwtest::FileBytes(data.File("last.data")), "layout");

    plant("plugin.conf", store);
    ASSERT_TRUE(plugin.LoadPreferences("plugin.conf"));
    uint32_t answer = 0;
    EXPECT_TRUE(plugin.GetPreferences()->GetDWord("Answer", answer));
    EXPECT_EQ(answer, 42u);
    ASSERT_TRUE(plugin.GetPreferences()->SetDWord("Answer", 7) && plugin.GetPreferences()->Close());
    EXPECT_EQ(qwtest::FileBytes(store), storeBytes);
    EXPECT_TRUE(isFile("plugin.conf"));
    CQWF_Storage check;
    ASSERT_TRUE(check.OpenFile(qwp::ToWindowsPath(data.File("plugin.conf").c_str()).c_str(), CQWF_Storage::kModeRead));
    EXPECT_TRUE(check.GetDWord("Answer", answer));
    EXPECT_EQ(answer, 7u);
    check.Close();

    // A link to nothing: the store is made in its place, not where it points.
    ASSERT_EQ(::unlink(data.File("plugin.conf").c_str()), 0);
    plant("plugin.conf", elsewhere.File("new.conf"));
    ASSERT_TRUE(plugin.LoadPreferences("plugin.conf"));
    ASSERT_TRUE(plugin.GetPreferences()->SetDWord("Answer", 8) && plugin.GetPreferences()->Close());
    EXPECT_FALSE(qwp::PathExists(qwp::ToWindowsPath(elsewhere.File("new.conf").c_str()).c_str()));
    EXPECT_TRUE(isFile("plugin.conf"));
}

}  // namespace
