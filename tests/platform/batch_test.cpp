#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/qw_batch.h"
#include "platform/qw_clock.h"
#include "platform/qw_guard.h"
#include "platform/qw_paths.h"
#include "platform/qw_process.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {
// A prefix folder with drive C and the guard on.
struct Prefix {
    qwtest::TempDir dir;
    Prefix()
    {
        fs::create_directories(dir.Path() + "/drives/c");
        qwp::SetDriveRoot((dir.Path() + "/drives").c_str());
        qwp::SetPrefixGuard(true);
    }
    ~Prefix()
    {
        qwp::SetPrefixGuard(false);
        qwp::SetDriveRoot(nullptr);
        qwp::UseVirtualClock(false);
    }
    std::string Host(const std::string& rel) const { return dir.Path() + "/drives/c/" + rel; }
    void Touch(const std::string& rel) const { ASSERT_TRUE(qwtest::WriteWholeFile(Host(rel), "x")); }
    bool Exists(const std::string& rel) const { return fs::exists(Host(rel)); }
};
}  // namespace

// The lines the uninstall writes: files, a retry loop on a file that exists, folders deepest
// first, a "%" in a name, and the batch deleting itself.
TEST(Batch, RunsTheCleanUpLinesAndOnlyThose)
{
    Prefix p;
    fs::create_directories(p.Host("A/B 100%"));
    p.Touch("A/B 100%/one.txt");
    p.Touch("A/QWUninstall.exe");
    p.Touch("A/keep.txt");  // not listed: its folder stays
    fs::create_directories(p.Host("E"));
    p.Touch("QWRemover.bat");
    std::string text = "del \"C:\\A\\B 100%%\\one.txt\"\r\n"
                       ":Repeat\r\ndel \"C:\\A\\QWUninstall.exe\"\r\nif exist \"C:\\A\\QWUninstall.exe\" goto Repeat\r\n"
                       "del \"C:\\A\\missing.txt\"\r\n"
                       "rmdir \"C:\\A\\B 100%%\"\r\nrmdir \"C:\\A\"\r\nRMDIR \"C:\\E\"\r\n"
                       "del \"C:\\QWRemover.bat\"\r\n";
    ASSERT_TRUE(qwtest::WriteWholeFile(p.Host("QWRemover.bat"), text));
    std::string error;
    ASSERT_TRUE(qwp::RunBatchFile("C:\\QWRemover.bat", &error)) << error;
    EXPECT_FALSE(p.Exists("A/B 100%"));
    EXPECT_FALSE(p.Exists("A/QWUninstall.exe"));
    EXPECT_TRUE(p.Exists("A/keep.txt"));
    EXPECT_FALSE(p.Exists("E"));
    EXPECT_FALSE(p.Exists("QWRemover.bat"));

    // Anything else is refused before a single line runs.
    p.Touch("f.txt");
    for (const char* bad : {"del \"C:\\f.txt\"\r\necho off\r\n", "del \"C:\\f.txt\"\r\ndel C:\\f.txt\r\n",
                            "del \"C:\\*.txt\"\r\n", "del \"C:\\%f.txt\"\r\n", "del \"C:\\f.txt\" extra\r\n",
                            "if exist \"C:\\f.txt\" goto\r\n", "del \"C:\\f.txt\"\r\nrd \"C:\\A\"\r\n"}) {
        EXPECT_FALSE(qwp::RunBatchText(bad, &error)) << bad;
        EXPECT_TRUE(p.Exists("f.txt")) << bad;
    }
    // A goto to a missing label ends the run there.
    EXPECT_FALSE(qwp::RunBatchText("if exist \"C:\\f.txt\" goto Nowhere\r\ndel \"C:\\f.txt\"\r\n", &error));
    EXPECT_TRUE(p.Exists("f.txt"));
}

// Two retry loops under one label: the second jumps back to the first (looking below first, then
// from the top); a file that will not go is retried a bounded number of times, then the rest of
// the batch runs.
TEST(Batch, RetryLoopsJumpAsTheInterpreterDoesAndEnd)
{
    Prefix p;
    qwp::UseVirtualClock(true);
    p.Touch("a.exe");
    p.Touch("b.exe");
    p.Touch("c.txt");
    std::string loops = ":Repeat\r\ndel \"C:\\a.exe\"\r\nif exist \"C:\\a.exe\" goto Repeat\r\n"
                        ":Repeat\r\ndel \"C:\\b.exe\"\r\nif exist \"C:\\b.exe\" goto Repeat\r\ndel \"C:\\c.txt\"\r\n";
    ASSERT_TRUE(qwp::RunBatchText(loops));
    EXPECT_FALSE(p.Exists("a.exe") || p.Exists("b.exe") || p.Exists("c.txt"));

    // A folder named like the file cannot be deleted with del: the loop gives up after its retries.
    fs::create_directories(p.Host("stuck.exe"));
    p.Touch("c.txt");
    uint64_t before = qwp::TickCount64();
    ASSERT_TRUE(qwp::RunBatchText(":Repeat\r\ndel \"C:\\stuck.exe\"\r\nif exist \"C:\\stuck.exe\" goto repeat\r\n"
                                  "del \"C:\\c.txt\"\r\n"));
    EXPECT_EQ(qwp::TickCount64() - before, uint64_t(qwp::kMaxBatchRetries) * 50);
    EXPECT_FALSE(p.Exists("c.txt"));
}

// With the guard on, nothing outside the prefix folder is deleted, removed or renamed, also not
// through a link inside the prefix that points out of it.
TEST(Batch, GuardRefusesPathsOutsideThePrefix)
{
    Prefix p;
    qwtest::TempDir outside;
    ASSERT_TRUE(qwtest::WriteWholeFile(outside.File("precious"), "keep"));
    fs::create_directories(outside.Path() + "/folder");
    fs::create_directory_symlink(outside.Path(), p.Host("link"));
    std::string win = qwp::ToWindowsPath(outside.File("precious").c_str());
    EXPECT_FALSE(qwp::RemoveFile(win.c_str()));
    EXPECT_FALSE(qwp::RemoveFile("C:\\link\\precious"));
    EXPECT_FALSE(qwp::RemoveFile("C:\\..\\..\\precious"));
    EXPECT_FALSE(qwp::RemoveFolder(qwp::ToWindowsPath((outside.Path() + "/folder").c_str()).c_str()));
    EXPECT_FALSE(qwp::RenamePath(win.c_str(), "C:\\taken"));
    EXPECT_TRUE(qwp::RunBatchText("del \"" + win + "\"\r\n"));
    EXPECT_TRUE(fs::exists(outside.File("precious")));
    EXPECT_TRUE(fs::exists(outside.Path() + "/folder"));
    // The link itself lies inside and may go.
    EXPECT_TRUE(qwp::RemoveFile("C:\\link"));
    EXPECT_TRUE(fs::exists(outside.File("precious")));
}

// The real start: the batch runs detached in its own process at the lowest priority and deletes
// itself; the caller does not wait for it.
TEST(Process, StartsABatchDetachedAtLowPriority)
{
    Prefix p;
    p.Touch("victim.txt");
    ASSERT_TRUE(qwtest::WriteWholeFile(p.Host("run me.bat"),
                                       "del \"C:\\victim.txt\"\r\ndel \"C:\\run me.bat\"\r\n"));
    qwp::ProcessRequest request;
    request.commandLine = "\"C:\\run me.bat\"";
    request.currentFolder = "\\";
    request.lowPriority = true;
    // Started from a process of its own, which ends with 42 only when the start came back to it.
    EXPECT_EXIT(std::exit(qwp::StartProcess(request) ? 42 : 43), testing::ExitedWithCode(42), "");
    // Waits for the other process's work (a bounded wait, not a measurement).
    for (int i = 0; i < 3000 && p.Exists("run me.bat"); ++i) usleep(10000);
    EXPECT_FALSE(p.Exists("victim.txt"));
    EXPECT_FALSE(p.Exists("run me.bat"));

    request.commandLine = "C:\\missing.bat";
    EXPECT_FALSE(qwp::StartProcess(request));
    request.commandLine = "C:\\not-a-program";
    EXPECT_FALSE(qwp::StartProcess(request));

    qwp::RecordingProcessStarter recorder;
    qwp::SetProcessStarter(&recorder);
    request.commandLine = "\"C:\\x y.bat\" arg";
    EXPECT_TRUE(qwp::StartProcess(request));
    qwp::SetProcessStarter(nullptr);
    ASSERT_EQ(recorder.requests.size(), 1u);
    EXPECT_EQ(qwp::SplitCommandLine(recorder.requests[0].commandLine),
              (std::vector<std::string>{"C:\\x y.bat", "arg"}));
}
