// Replacing a file whole (qw_paths.h): the new file keeps the target's permissions, and the new
// files that writers leave when they are killed mid-write go at the next write of their target or
// when a program cleans its folders at start, while a writer that still runs keeps its own.
#include "platform/qw_paths.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/test_support.h"

namespace {

// Replaces the host file `target` by `text`; true when the new file took its place.
bool Replace(const std::string& target, const std::string& text, bool commit = true)
{
    qwp::FileReplacement* r = nullptr;
    FILE* f = qwp::BeginHostReplacement(target, "wb", 0, r);
    if (!f) return false;
    const bool written = qwp::WriteStream(f, text.data(), text.size()) == text.size();
    return qwp::EndReplacement(f, r, commit && written);
}

unsigned ModeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
}

// A writer in a child process: it begins replacing `target`, writes half of its text (or all of
// it, closing the new file, when `closed`), tells the parent through a pipe, and waits for one
// byte: 'c' commits, anything else (or a kill) not.
struct Writer {
    pid_t pid = -1;
    int toChild = -1;

    Writer(const std::string& target, const std::string& text, bool closed = false)
    {
        int up[2], down[2];
        if (::pipe(up) != 0 || ::pipe(down) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::close(up[0]);
            ::close(down[1]);
            qwp::FileReplacement* r = nullptr;
            FILE* f = qwp::BeginHostReplacement(target, "wb", 0, r);
            if (!f) ::_exit(2);
            const size_t half = closed ? text.size() : text.size() / 2;
            qwp::WriteStream(f, text.data(), half);
            std::fflush(f);
            if (closed) {
                if (!qwp::CloseReplacement(f, r)) ::_exit(4);
                f = nullptr;
            }
            char c = 'w';
            if (::write(up[1], &c, 1) != 1 || ::read(down[0], &c, 1) != 1) ::_exit(3);
            if (f) qwp::WriteStream(f, text.data() + half, text.size() - half);
            ::_exit(qwp::EndReplacement(f, r, c == 'c') ? 0 : 1);
        }
        ::close(up[1]);
        ::close(down[0]);
        toChild = down[1];
        char c = 0;
        if (::read(up[0], &c, 1) != 1) pid = -1;  // the child could not begin
        ::close(up[0]);
    }
    // The child's exit status after the byte `c`, or -1 when it did not exit normally.
    int Finish(char c)
    {
        if (::write(toChild, &c, 1) != 1) return -1;
        return Wait();
    }
    void Kill()
    {
        ::kill(pid, SIGKILL);
        Wait();
    }
    int Wait()
    {
        ::close(toChild);
        int status = 0;
        if (::waitpid(pid, &status, 0) != pid) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

// The hidden new files beside the targets in a folder.
std::vector<std::string> Hidden(const std::string& folder)
{
    std::vector<std::string> out;
    for (const std::string& name : qwtest::FolderNames(folder))
        if (name[0] == '.') out.push_back(name);
    return out;
}

}  // namespace

TEST(Replacement, TheNewFileKeepsTheTargetsPermissions)
{
    qwtest::TempDir dir;
    for (const unsigned mode : {0755u, 0600u}) {
        SCOPED_TRACE(mode);
        const std::string target = dir.File("file" + std::to_string(mode));
        ASSERT_TRUE(qwtest::WriteWholeFile(target, "old"));
        ASSERT_EQ(::chmod(target.c_str(), mode), 0);
        ASSERT_TRUE(Replace(target, "new"));
        EXPECT_EQ(qwtest::FileBytes(target), "new");
        EXPECT_EQ(ModeOf(target), mode);
        // Given up: the target as it was, nothing of the new file left.
        EXPECT_FALSE(Replace(target, "lost", false));
        EXPECT_EQ(qwtest::FileBytes(target), "new");
        EXPECT_EQ(ModeOf(target), mode);
    }
    EXPECT_TRUE(Hidden(dir.Path()).empty());
}

TEST(Replacement, NewFilesOfKilledWritersGoWhileLiveOnesStay)
{
    qwtest::TempDir dir;
    const std::string target = dir.File("pieces.psd");
    ASSERT_TRUE(qwtest::WriteWholeFile(target, "old document"));
    const std::string big(200000, 'k');

    // A writer that still runs (its new file written whole and closed, to take its name next); a
    // writer killed mid-write leaves its new file beside the intact old one and the live writer's.
    Writer live(target, "live writer's document", true);
    ASSERT_GT(live.pid, 0);
    for (int i = 0; i < 2; ++i) {
        Writer killed(target, big);
        ASSERT_GT(killed.pid, 0);
        killed.Kill();
        // The second writer removed what the first left.
        ASSERT_EQ(Hidden(dir.Path()).size(), 2u);
    }
    EXPECT_EQ(qwtest::FileBytes(target), "old document");

    // A user's hidden files that only look alike.
    const std::vector<std::string> lookalikes = {".pieces.psd.~qw12345", ".pieces.psd.~qw1234567",
                                                 ".pieces.psd.~qwab-def", ".pieces.psd.backup",
                                                 ".other.psd.~qw123456x"};
    for (const std::string& name : lookalikes) ASSERT_TRUE(qwtest::WriteWholeFile(dir.File(name), "user's"));

    // The next write of the target removes what the killed writers left, and nothing else.
    ASSERT_TRUE(Replace(target, "new document"));
    EXPECT_EQ(qwtest::FileBytes(target), "new document");
    std::vector<std::string> left = Hidden(dir.Path());
    ASSERT_EQ(left.size(), 1u + lookalikes.size());
    for (const std::string& name : lookalikes) EXPECT_EQ(qwtest::FileBytes(dir.File(name)), "user's") << name;

    // The live writer still ends its replacement.
    EXPECT_EQ(live.Finish('c'), 0);
    EXPECT_EQ(qwtest::FileBytes(target), "live writer's document");
    EXPECT_EQ(Hidden(dir.Path()).size(), lookalikes.size());
}

TEST(Replacement, AProgramCleansItsFoldersAtStart)
{
    qwtest::TempDir dir;
    const std::string folder = dir.File("data");
    ASSERT_TRUE(qwp::CreateFolder(qwp::ToWindowsPath(folder.c_str()).c_str()));
    Writer live(folder + "/last.data", "live");
    ASSERT_GT(live.pid, 0);
    for (const char* name : {"last.data", "plugin.conf", "registry.txt"}) {
        ASSERT_TRUE(qwtest::WriteWholeFile(folder + "/" + name, "old"));
        Writer killed(folder + "/" + name, std::string(5000, 'x'));
        ASSERT_GT(killed.pid, 0);
        killed.Kill();
    }
    ASSERT_EQ(Hidden(folder).size(), 4u);

    qwp::RemoveStaleReplacements(qwp::ToWindowsPath(folder.c_str()).c_str());
    EXPECT_EQ(Hidden(folder).size(), 1u);
    for (const char* name : {"last.data", "plugin.conf", "registry.txt"}) EXPECT_EQ(qwtest::FileBytes(folder + "/" + name), "old");
    EXPECT_EQ(live.Finish('c'), 0);
    EXPECT_EQ(qwtest::FileBytes(folder + "/last.data"), "live");
    EXPECT_TRUE(Hidden(folder).empty());
}
