#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/qw_clock.h"
#include "platform/qw_module.h"
#include "platform/qw_paths.h"
#include "platform/qw_shell.h"
#include "support/test_support.h"

TEST(Clock, VirtualClockMovesOnlyWhenTold)
{
    qwp::UseVirtualClock(true);
    EXPECT_TRUE(qwp::IsVirtualClock());
    qwp::SetVirtualTime(1000);
    EXPECT_EQ(qwp::TickCount64(), 1000u);
    qwp::AdvanceVirtualTime(250);
    EXPECT_EQ(qwp::TickCount(), 1250u);
    qwp::SleepMs(50);  // advances instead of waiting
    EXPECT_EQ(qwp::TickCount64(), 1300u);
    qwp::SetVirtualTime(0x100000005ull);
    EXPECT_EQ(qwp::TickCount(), 5u);  // the 32-bit tick count wraps
    qwp::UseVirtualClock(false);
    EXPECT_FALSE(qwp::IsVirtualClock());

    uint64_t a = qwp::TickCount64();
    qwp::SleepMs(2);
    EXPECT_GE(qwp::TickCount64(), a + 2);
}

TEST(Module, ProgramFileNameIsAWindowsPath)
{
    std::string host = qwp::ModuleHostPath();
    ASSERT_FALSE(host.empty());
    EXPECT_NE(host.find("test_platform"), std::string::npos);
    EXPECT_EQ(access(host.c_str(), X_OK), 0);
    std::string win = qwp::ModuleFileName();
    ASSERT_GE(win.size(), 3u);
    EXPECT_EQ(qwp::ToHostPath(win.c_str()), host);

    qwp::SetModuleFileNameForTesting("C:\\Plug-ins\\filter.8bf");
    EXPECT_EQ(qwp::ModuleFileName(), "C:\\Plug-ins\\filter.8bf");
    qwp::SetModuleFileNameForTesting(nullptr);
    EXPECT_EQ(qwp::ModuleFileName(), win);
}

TEST(Shell, TargetsAndTheRecordingDouble)
{
    qwp::SetDriveRoot("/r");
    EXPECT_EQ(qwp::ShellTarget("C:\\a b\\c.pdf"), "/r/c/a b/c.pdf");
    EXPECT_EQ(qwp::ShellTarget("Z:\\tmp\\x"), "/tmp/x");
    EXPECT_EQ(qwp::ShellTarget("http://example.invalid/"), "http://example.invalid/");
    EXPECT_EQ(qwp::ShellTarget("mailto:someone@example.invalid"), "mailto:someone@example.invalid");
    EXPECT_EQ(qwp::ShellTarget(""), "");
    qwp::SetDriveRoot(nullptr);

    qwp::RecordingShellOpener recorder;
    qwp::ShellOpener* previous = qwp::SetShellOpener(&recorder);
    EXPECT_TRUE(qwp::ShellOpen("https://example.invalid/"));
    EXPECT_FALSE(qwp::ShellOpen(nullptr));
    EXPECT_EQ(qwp::SetShellOpener(previous), &recorder);
    ASSERT_EQ(recorder.targets.size(), 1u);
}

namespace {
class PathGuard {
public:
    PathGuard() : m_path(std::getenv("PATH") ? std::getenv("PATH") : "") {}
    ~PathGuard() { setenv("PATH", m_path.c_str(), 1); }

private:
    std::string m_path;
};
}  // namespace

// The real opener with a stand-in "xdg-open" on PATH that records its argument.
TEST(Shell, RealOpenerStartsTheDesktopOpenerDetached)
{
    PathGuard guard;
    qwtest::TempDir dir;
    std::string out = dir.File("opened.txt");
    std::string script = "#!/bin/sh\nprintf '%s' \"$1\" > '" + out + ".part' && mv '" + out + ".part' '" + out + "'\n";
    ASSERT_TRUE(qwtest::WriteWholeFile(dir.File("xdg-open"), script));
    ASSERT_EQ(chmod(dir.File("xdg-open").c_str(), 0755), 0);

    setenv("PATH", (dir.Path() + ":/usr/bin:/bin").c_str(), 1);
    EXPECT_TRUE(qwp::ShellOpen("Z:\\tmp\\some file.txt"));
    std::string got;
    for (int i = 0; i < 500 && !qwtest::ReadWholeFile(out, got); ++i) usleep(10000);
    EXPECT_EQ(got, "/tmp/some file.txt");

    setenv("PATH", "/nonexistent-folder", 1);
    EXPECT_FALSE(qwp::ShellOpen("Z:\\tmp\\x"));  // no opener installed
}
