#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/qw_clock.h"
#include "platform/qw_module.h"
#include "platform/qw_paths.h"
#include "platform/qw_shell.h"
#include "platform/qw_winsys_headless.h"
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

// The real opener with a stand-in "xdg-open" on PATH that records its argument and ends with a
// status: 0 shows the document, any other (3: no program for it, 4: the action failed) refuses
// it. An opener still running when the wait ends counts as shown. The windows are headless, so
// the wait runs on the virtual clock while it watches the opener.
TEST(Shell, RealOpenerIsAskedForItsAnswer)
{
    qwtest::EnvGuard path("PATH", std::getenv("PATH"));
    qwtest::TempDir dir;
    qwp::HeadlessWindowSystem ws;
    qwp::WindowSystem* previous = qwp::SetWindowSystem(&ws);
    const std::string out = dir.File("opened.txt"), go = dir.File("go");
    auto opener = [&](const std::string& ending) {
        const std::string script = "#!/bin/sh\nprintf '%s' \"$1\" > '" + out + ".part' && mv '" + out + ".part' '" +
                                   out + "'\n" + ending + "\n";
        ASSERT_TRUE(qwtest::WriteWholeFile(dir.File("xdg-open"), script));
        ASSERT_EQ(chmod(dir.File("xdg-open").c_str(), 0755), 0);
        unlink(out.c_str());
    };
    // Each answer is asked for from a process of its own, which ends with 42 only when the answer
    // came back to it as `shown` within the wait: a start that ended its caller would end that
    // process instead.
    auto expect = [&](const char* target, bool shown) {
        EXPECT_EXIT(
            {
                const uint64_t before = qwp::TickCount64();
                const bool answer = qwp::ShellOpen(target);
                std::exit(answer == shown && qwp::TickCount64() - before <= qwp::kShellAnswerWait ? 42 : 43);
            },
            testing::ExitedWithCode(42), "")
            << target;
    };
    setenv("PATH", (dir.Path() + ":/usr/bin:/bin").c_str(), 1);
    opener("exit 0");
    expect("Z:\\tmp\\some file.txt", true);
    std::string got;
    EXPECT_TRUE(qwtest::ReadWholeFile(out, got));  // it had ended before the answer came
    EXPECT_EQ(got, "/tmp/some file.txt");
    for (const char* refusal : {"exit 3", "exit 4", "exit 2"}) {
        opener(refusal);
        expect("https://example.invalid/", false);
        EXPECT_TRUE(qwtest::ReadWholeFile(out, got)) << refusal;
        EXPECT_EQ(got, "https://example.invalid/");
    }
    // Still running: shown, after the wait; then it is let go. (Asked here, as the opener outlives
    // the answer; a start that ended its caller has failed above.)
    ASSERT_FALSE(HasFailure());
    opener("while [ ! -e '" + go + "' ] && [ -d '" + dir.Path() + "' ]; do sleep 0.05; done; exit 4");
    const uint64_t before = qwp::TickCount64();
    EXPECT_TRUE(qwp::ShellOpen("Z:\\tmp\\x"));
    EXPECT_GE(qwp::TickCount64() - before, qwp::kShellAnswerWait);
    EXPECT_TRUE(qwtest::WriteWholeFile(go, ""));

    setenv("PATH", "/nonexistent-folder", 1);
    EXPECT_FALSE(qwp::ShellOpen("Z:\\tmp\\x"));  // no opener installed
    qwp::SetWindowSystem(previous);
}

// The opener behind the interface tests install: its answer comes on the program's clock, and the
// wait for it serves the windows' timers; an answer that never comes ends the wait as shown.
TEST(Shell, TheWaitForTheAnswerRunsTheWindowsAndEnds)
{
    qwp::HeadlessWindowSystem ws;
    qwp::WindowSystem* previousSystem = qwp::SetWindowSystem(&ws);
    struct Ticks : qwp::WindowClient {
        int ticks = 0;
        intptr_t HandleEvent(const qwp::Event& e) override
        {
            if (e.type == qwp::EventType::Timer) ++ticks;
            return qwp::WS().DefaultHandling(e);
        }
    } client;
    const qwp::WindowHandle window =
        ws.CreateWindow({.width = 100, .height = 100, .title = {}, .className = {}, .client = &client});
    ASSERT_NE(window, 0);
    ASSERT_TRUE(ws.SetTimer(window, 1, 100));
    qwp::RecordingShellOpener recorder;
    qwp::ShellOpener* previous = qwp::SetShellOpener(&recorder);

    recorder.answer = qwp::ShellAnswer::Refused;
    recorder.answerAfter = 500;
    uint64_t before = qwp::TickCount64();
    EXPECT_FALSE(qwp::ShellOpen("https://example.invalid/"));
    EXPECT_EQ(qwp::TickCount64() - before, 500u);
    EXPECT_EQ(client.ticks, 5);

    recorder.answerAfter = UINT64_MAX;
    before = qwp::TickCount64();
    EXPECT_TRUE(qwp::ShellOpen("https://example.invalid/"));
    EXPECT_EQ(qwp::TickCount64() - before, qwp::kShellAnswerWait);
    EXPECT_EQ(client.ticks, 5 + 20);

    // An opener that does not start, or says at once, does not wait.
    recorder.result = false;
    before = qwp::TickCount64();
    EXPECT_FALSE(qwp::ShellOpen("https://example.invalid/"));
    recorder.result = true;
    recorder.answerAfter = 0;
    EXPECT_FALSE(qwp::ShellOpen("https://example.invalid/"));
    recorder.answer = qwp::ShellAnswer::Shown;
    EXPECT_TRUE(qwp::ShellOpen("https://example.invalid/"));
    EXPECT_EQ(qwp::TickCount64(), before);
    EXPECT_EQ(recorder.targets.size(), 5u);

    qwp::SetShellOpener(previous);
    ws.DestroyWindow(window);
    qwp::SetWindowSystem(previousSystem);
}
