// Filter entry: selector dispatch, results, requested rectangles and the module's folders.
#include <gtest/gtest.h>

#include <string>

#include "framework/core/qwf_storage.h"
#include "platform/qw_module.h"
#include "platform/qw_paths.h"
#include "plugin/core/qw_pluginentry.h"
#include "plugin/core/qw_pluginmain.h"
#include "support/test_support.h"
#include "tests/plugin/core/fake_host.h"

namespace {

// A plug-in object that records which operations ran.
class Recorder : public CQWF_8BFPluginVirtual {
public:
    void About() override
    {
        calls += "A";
        aboutRecordSeen = GetFilterRecord() != nullptr;
    }
    void Prepare() override { calls += "P"; }
    void Start() override
    {
        calls += "S";
        SetResult(startResult);
    }
    std::string calls;
    bool aboutRecordSeen = false;
    int16_t startResult = 0;
};

class Entry : public ::testing::Test {
protected:
    void SetUp() override
    {
        fakehost::Reset(rec, 16, 16, plugInModeRGBColor, 3);
        std::string folder = qwp::ToWindowsPath(dir.Path().c_str());
        module = folder + "\\QWJigcrafter30.8bf";
        qwp::SetModuleFileNameForTesting(module.c_str());
    }
    void TearDown() override { qwp::SetModuleFileNameForTesting(nullptr); }
    int16_t Call(int16_t selector, void* block)
    {
        result = 12345;
        QW_Dispatch(plugin, selector, block, &data, &result);
        return result;
    }
    void OpenRects() { rec.inRect = rec.outRect = rec.maskRect = QWH_Rect{0, 0, 16, 16}; }
    bool RectsEmpty() const
    {
        auto empty = [](const QWH_Rect& r) { return !r.left && !r.top && !r.right && !r.bottom; };
        return empty(rec.inRect) && empty(rec.outRect) && empty(rec.maskRect);
    }

    qwtest::TempDir dir;
    std::string module;
    FilterRecord rec{};
    intptr_t data = 0;
    int16_t result = 0;
    Recorder plugin;
};

TEST_F(Entry, SelectorsAnswerAndClearTheRequests)
{
    EXPECT_EQ(Call(filterSelectorParameters, &rec), noErr);
    EXPECT_EQ(plugin.GetShowDialog(), 1);
    rec.bufferSpace = 999;
    EXPECT_EQ(Call(filterSelectorPrepare, &rec), noErr);
    EXPECT_EQ(rec.bufferSpace, 0);
    OpenRects();
    EXPECT_EQ(Call(filterSelectorStart, &rec), noErr);
    EXPECT_TRUE(RectsEmpty());
    EXPECT_EQ(plugin.GetHostWindow(), 1234);
    OpenRects();
    EXPECT_EQ(Call(filterSelectorContinue, &rec), noErr);
    EXPECT_TRUE(RectsEmpty());
    OpenRects();
    EXPECT_EQ(Call(filterSelectorFinish, &rec), noErr);
    EXPECT_TRUE(RectsEmpty());
    EXPECT_EQ(plugin.GetShowDialog(), 0);
    EXPECT_EQ(plugin.calls, "PS");
    // What Start sets is the call's result.
    plugin.startResult = userCanceledErr;
    EXPECT_EQ(Call(filterSelectorStart, &rec), userCanceledErr);
}

TEST_F(Entry, UnknownSelectorsAreBadParametersAndDoNothing)
{
    for (int16_t s : {int16_t(6), int16_t(7), int16_t(100), int16_t(-1), int16_t(32767)}) {
        OpenRects();
        EXPECT_EQ(Call(s, &rec), filterBadParameters) << s;
        EXPECT_FALSE(RectsEmpty());
    }
    EXPECT_EQ(plugin.calls, "");
}

TEST_F(Entry, UnsupportedModeOrCaseEndsStartWithEmptyRequests)
{
    rec.imageMode = plugInModeLabColor;
    OpenRects();
    EXPECT_EQ(Call(filterSelectorStart, &rec), filterBadMode);
    EXPECT_TRUE(RectsEmpty());
    rec.imageMode = plugInModeGrayScale;
    rec.filterCase = 8;
    OpenRects();
    EXPECT_EQ(Call(filterSelectorStart, &rec), filterBadMode);
    EXPECT_TRUE(RectsEmpty());
    EXPECT_EQ(plugin.calls, "");
    // No record at all: bad parameters.
    EXPECT_EQ(Call(filterSelectorStart, nullptr), filterBadParameters);
}

// A host that loads the module with a setting the module does not know gets an error for the
// calls that would run anything, with the reason on stderr, and keeps its image; the other
// calls answer as ever.
TEST_F(Entry, UnknownEnvironmentSettingsRefuseAboutAndStart)
{
    qwtest::EnvGuard isa("QW_ISA", "avx3");
    testing::internal::CaptureStderr();
    OpenRects();
    EXPECT_EQ(Call(filterSelectorStart, &rec), filterBadParameters);
    EXPECT_TRUE(RectsEmpty());
    PlatformData window{77};
    AboutRecord about{&window, nullptr, nullptr};
    EXPECT_EQ(Call(filterSelectorAbout, &about), filterBadParameters);
    EXPECT_EQ(Call(filterSelectorPrepare, &rec), noErr);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(plugin.calls, "P");
    EXPECT_NE(said.find("QWJigcrafter30.8bf: QW_ISA is \"avx3\", which is not a vector level: use plain, avx2 or avx512"),
              std::string::npos)
        << said;
}

TEST_F(Entry, AboutRecordIsNeverTakenForAFilterRecord)
{
    // Make the previous call's filter record current, then About with its own small record.
    Call(filterSelectorPrepare, &rec);
    PlatformData window{77};
    AboutRecord about{&window, nullptr, nullptr};
    OpenRects();
    EXPECT_EQ(Call(filterSelectorAbout, &about), noErr);
    EXPECT_EQ(plugin.calls, "PA");
    EXPECT_FALSE(plugin.aboutRecordSeen);
    EXPECT_EQ(plugin.GetFilterRecord(), nullptr);
    EXPECT_EQ(plugin.GetHostWindow(), 77);
    // ClearRects after About touches no record.
    plugin.ClearRects();
    EXPECT_FALSE(RectsEmpty());
    EXPECT_EQ(Call(filterSelectorAbout, nullptr), noErr);
    EXPECT_EQ(plugin.GetHostWindow(), 0);
}

TEST_F(Entry, FoldersComeFromTheModuleAndSPathConf)
{
    std::string folder = qwp::ToWindowsPath(dir.Path().c_str()) + "\\";
    Call(filterSelectorPrepare, &rec);
    EXPECT_STREQ(plugin.GetPluginFolder().GetBuffer(), folder.c_str());
    EXPECT_STREQ(plugin.GetDataFolder().GetBuffer(), folder.c_str());

    // A configuration without the key keeps the module folder.
    {
        CQWF_Storage conf;
        ASSERT_TRUE(conf.OpenFile((folder + "SPath.conf").c_str(), CQWF_Storage::kModeCreate));
        ASSERT_TRUE(conf.SetString("Other", "C:\\elsewhere"));
        ASSERT_TRUE(conf.Close());
    }
    Call(filterSelectorPrepare, &rec);
    EXPECT_STREQ(plugin.GetDataFolder().GetBuffer(), folder.c_str());
    {
        CQWF_Storage conf;
        ASSERT_TRUE(conf.OpenFile((folder + "SPath.conf").c_str(), CQWF_Storage::kModeReadWrite));
        ASSERT_TRUE(conf.SetString("SPath", "C:\\Data\\Jigcrafter"));
        ASSERT_TRUE(conf.Close());
    }
    Call(filterSelectorPrepare, &rec);
    EXPECT_STREQ(plugin.GetDataFolder().GetBuffer(), "C:\\Data\\Jigcrafter");
    EXPECT_STREQ(plugin.GetPluginFolder().GetBuffer(), folder.c_str());
    // A file that is not a package is ignored.
    ASSERT_TRUE(qwtest::WriteWholeFile(dir.File("SPath.conf"), "not a package"));
    Call(filterSelectorPrepare, &rec);
    EXPECT_STREQ(plugin.GetDataFolder().GetBuffer(), folder.c_str());
    EXPECT_EQ(plugin.GetError(), 0);

    // Without a module name the folders keep what they had.
    qwp::SetModuleFileNameForTesting("");
    Call(filterSelectorPrepare, &rec);
    EXPECT_STREQ(plugin.GetPluginFolder().GetBuffer(), folder.c_str());
    qwp::SetModuleFileNameForTesting("NoBackslash.8bf");
    Call(filterSelectorPrepare, &rec);
    EXPECT_STREQ(plugin.GetPluginFolder().GetBuffer(), folder.c_str());
}

TEST_F(Entry, ModuleInAFolderBeyondAsciiFindsItsFolders)
{
    std::string host = dir.Path() + "/Fïltres ünd Ébenen";
    ASSERT_TRUE(qwp::CreateFolder(qwp::ToWindowsPath(host.c_str()).c_str()));
    std::string folder = qwp::ToWindowsPath(host.c_str()) + "\\";
    qwp::SetModuleFileNameForTesting((folder + "QWJigcrafter30.8bf").c_str());
    {
        CQWF_Storage conf;
        ASSERT_TRUE(conf.OpenFile((folder + "SPath.conf").c_str(), CQWF_Storage::kModeCreate));
        ASSERT_TRUE(conf.SetString("SPath", folder.c_str()));
        ASSERT_TRUE(conf.Close());
    }
    Call(filterSelectorPrepare, &rec);
    EXPECT_STREQ(plugin.GetPluginFolder().GetBuffer(), folder.c_str());
    EXPECT_STREQ(plugin.GetDataFolder().GetBuffer(), folder.c_str());
    ASSERT_TRUE(plugin.LoadPreferences("plugin.conf"));
    EXPECT_TRUE(qwp::FileExists((folder + "plugin.conf").c_str()));
}

}  // namespace

namespace {

// The plug-in object with its replay recorded instead of run.
class ReplayProbe : public CPluginMain {
public:
    std::vector<uint8_t> replayed;
    bool replayResult = true;

protected:
    bool ReplayLayout(const CQWF_Mem& blob) override
    {
        replayed.assign(blob.GetData(), blob.GetData() + blob.GetSize());
        return replayResult;
    }
};

class StartRun : public Entry {
protected:
    int16_t Start()
    {
        result = 12345;
        QW_Dispatch(main, filterSelectorStart, &rec, &data, &result);
        return result;
    }
    ReplayProbe main;
};

TEST_F(StartRun, ReplaysTheRecordedLayoutElseTheLastOne)
{
    std::vector<uint8_t> recorded{1, 2, 3, 4, 5};
    main.SetHostPointers(&rec, &data, &result);
    ASSERT_TRUE(main.WriteScriptParameters(recorded.data(), recorded.size()));
    fakehost::DisposeH(rec.descriptorParameters->descriptor);
    fakehost::S().readItems = fakehost::S().written;
    rec.descriptorParameters->descriptor = fakehost::MakeHandle("d", 1);
    ASSERT_TRUE(qwtest::WriteWholeFile(dir.File("last.data"), "LAST"));

    EXPECT_EQ(Start(), noErr);
    EXPECT_EQ(main.replayed, recorded);
    // Without a recorded layout the last layout of the data folder replays.
    EXPECT_EQ(Start(), noErr);
    EXPECT_EQ(main.replayed, (std::vector<uint8_t>{'L', 'A', 'S', 'T'}));
    // A replay that fails leaves the run cancelled.
    main.replayResult = false;
    EXPECT_EQ(Start(), userCanceledErr);
    // A cancel in the host while reading does not fall back to the last layout.
    main.replayResult = true;
    main.replayed.clear();
    fakehost::S().cancelGets = true;
    rec.descriptorParameters->descriptor = fakehost::MakeHandle("d", 1);
    EXPECT_EQ(Start(), userCanceledErr);
    EXPECT_TRUE(main.replayed.empty());
    fakehost::S().cancelGets = false;
    // Nothing to replay at all.
    ASSERT_TRUE(qwp::RemoveFile((qwp::ToWindowsPath(dir.Path().c_str()) + "\\last.data").c_str()));
    EXPECT_EQ(Start(), userCanceledErr);
    EXPECT_TRUE(main.replayed.empty());
    EXPECT_TRUE(qwp::FileExists((qwp::ToWindowsPath(dir.Path().c_str()) + "\\plugin.conf").c_str()));
}

}  // namespace
