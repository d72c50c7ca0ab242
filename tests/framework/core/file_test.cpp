#include "framework/core/qwf_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/qw_paths.h"
#include "platform/qw_shell.h"
#include "support/test_support.h"

namespace {
CQWF_String WinPath(const std::string& hostPath) { return CQWF_String(qwp::ToWindowsPath(hostPath.c_str()).c_str()); }
}  // namespace

TEST(StdFile, ModesAndDirections)
{
    qwtest::TempDir dir;
    CQWF_String path = WinPath(dir.File("a.bin"));
    ASSERT_EQ(path.GetAt(0), 'Z');

    CQWF_StdFile f;
    EXPECT_FALSE(f.Open(path, 0));
    EXPECT_EQ(f.GetError(), QWF_ERR_ARGUMENT);
    EXPECT_FALSE(f.IsOpen());
    EXPECT_FALSE(f.Open(path, 5));
    EXPECT_EQ(f.GetError(), QWF_ERR_ARGUMENT);
    EXPECT_FALSE(f.Open(path, 1));  // does not exist yet
    EXPECT_EQ(f.GetError(), QWF_ERR_FILE_OPEN);
    EXPECT_FALSE(f.IsWritable());

    ASSERT_TRUE(f.Open(path, 2));
    EXPECT_FALSE(f.HasError());
    EXPECT_TRUE(f.IsWritable());
    EXPECT_FALSE(f.IsReadable());
    char buffer[16];
    EXPECT_EQ(f.Read(buffer, 4), -1);
    EXPECT_EQ(f.GetError(), QWF_ERR_FILE_DIRECTION);
    EXPECT_EQ(f.Write("0123456789", 10), 10);
    EXPECT_EQ(f.Write("x", 0), 0);
    EXPECT_EQ(f.WriteBytes("ab", 2), 2);
    EXPECT_TRUE(f.Flush());
    EXPECT_TRUE(f.Close());
    EXPECT_FALSE(f.IsOpen());
    EXPECT_TRUE(f.Close());  // closing a closed file is harmless

    ASSERT_TRUE(f.Open(path, 1));
    EXPECT_FALSE(f.IsWritable());
    EXPECT_EQ(f.Write("x", 1), -1);
    EXPECT_EQ(f.GetError(), QWF_ERR_FILE_DIRECTION);
    EXPECT_EQ(f.GetSize(), 12);
    EXPECT_EQ(f.Seek(8), 8);
    EXPECT_EQ(f.GetSize(), 12);
    EXPECT_EQ(f.Tell(), 8);  // GetSize leaves the position where it was
    EXPECT_EQ(f.Read(buffer, 10), 4);  // short read reports the smaller count
    EXPECT_EQ(std::memcmp(buffer, "89ab", 4), 0);
    f.ClearError();
    EXPECT_EQ(f.Read(buffer, 10), -1);  // at the end
    EXPECT_EQ(f.GetError(), QWF_ERR_FILE_READ);
    EXPECT_EQ(f.Seek(-1), -1);
    EXPECT_EQ(f.GetError(), QWF_ERR_FILE_SEEK);

    CQWF_Mem block(5);
    EXPECT_EQ(f.Seek(0), 0);
    EXPECT_EQ(f.ReadToMem(block), 5);
    EXPECT_EQ(std::memcmp(block.GetData(), "01234", 5), 0);
    EXPECT_EQ(f.ReadToMem(block, 2), 2);
    EXPECT_EQ(std::memcmp(block.GetData(), "56234", 5), 0);
    f.Close();

    // Read-write modes: mixing reads and writes on one stream.
    ASSERT_TRUE(f.Open(path, 3));
    EXPECT_TRUE(f.IsReadable() && f.IsWritable());
    EXPECT_EQ(f.Read(buffer, 2), 2);
    EXPECT_EQ(f.Write("XY", 2), 2);
    EXPECT_EQ(f.Read(buffer, 2), 2);
    EXPECT_EQ(std::memcmp(buffer, "45", 2), 0);
    f.Close();
    std::string bytes;
    ASSERT_TRUE(qwtest::ReadWholeFile(dir.File("a.bin"), bytes));
    EXPECT_EQ(bytes, "01XY456789ab");

    ASSERT_TRUE(f.Open(path, 4));  // truncates
    EXPECT_EQ(f.GetSize(), 0);
    EXPECT_EQ(f.Write("hello", 5), 5);
    EXPECT_EQ(f.Seek(1), 1);
    EXPECT_EQ(f.Read(buffer, 3), 3);
    EXPECT_EQ(std::memcmp(buffer, "ell", 3), 0);

    // A replacement is written in mode 2 or 4 (read back before it takes the name), nothing else.
    for (int mode : {1, 3}) EXPECT_FALSE(f.OpenReplacement(path, mode)) << mode;
    EXPECT_EQ(f.GetError(), QWF_ERR_ARGUMENT);
    for (int mode : {2, 4}) {
        ASSERT_TRUE(f.OpenReplacement(path, mode)) << mode;
        EXPECT_EQ(f.Write("new", 3), 3);
        EXPECT_EQ(f.Seek(1), 1);
        EXPECT_EQ(f.Read(buffer, 2), mode == 4 ? 2 : -1) << mode;
        EXPECT_TRUE(mode == 2 || std::memcmp(buffer, "ew", 2) == 0);
        ASSERT_TRUE(f.Commit());
        ASSERT_TRUE(qwtest::ReadWholeFile(dir.File("a.bin"), bytes));
        EXPECT_EQ(bytes, "new");
    }
}

TEST(StdFile, ClosedFileFailsWith37)
{
    CQWF_StdFile f;
    char buffer[4];
    CQWF_Mem block(4);
    EXPECT_EQ(f.Seek(0), -1);
    EXPECT_EQ(f.GetError(), QWF_ERR_FILE_NOT_OPEN);
    f.ClearError();
    EXPECT_EQ(f.Tell(), -1);
    EXPECT_EQ(f.GetError(), QWF_ERR_FILE_NOT_OPEN);
    f.ClearError();
    EXPECT_EQ(f.GetSize(), -1);
    EXPECT_EQ(f.GetError(), QWF_ERR_FILE_NOT_OPEN);
    f.ClearError();
    EXPECT_FALSE(f.Flush());
    EXPECT_EQ(f.GetError(), QWF_ERR_FILE_NOT_OPEN);
    f.ClearError();
    EXPECT_EQ(f.Read(buffer, 4), -1);
    EXPECT_EQ(f.GetError(), QWF_ERR_FILE_NOT_OPEN);
    f.ClearError();
    EXPECT_EQ(f.Write(buffer, 4), -1);
    EXPECT_EQ(f.GetError(), QWF_ERR_FILE_NOT_OPEN);
    f.ClearError();
    EXPECT_EQ(f.ReadToMem(block), -1);
    EXPECT_EQ(f.GetError(), QWF_ERR_FILE_NOT_OPEN);
}

TEST(StdFile, FullDiskIsReportedByFlushAndClose)
{
    CQWF_StdFile f;
    ASSERT_TRUE(f.Open("Z:\\dev\\full", 2));
    EXPECT_EQ(f.Write("data", 4), 4);  // buffered
    EXPECT_FALSE(f.Flush());
    EXPECT_EQ(f.GetError(), QWF_ERR_FILE_WRITE);

    CQWF_StdFile g;
    ASSERT_TRUE(g.Open("Z:\\dev\\full", 2));
    EXPECT_EQ(g.Write("data", 4), 4);
    EXPECT_FALSE(g.Close());
    EXPECT_EQ(g.GetError(), QWF_ERR_FILE_WRITE);
    EXPECT_FALSE(g.IsOpen());
}

TEST(StdFile, OpensThroughTheDriveMapping)
{
    qwtest::TempDir dir;
    qwp::SetDriveRoot(dir.Path().c_str());
    ASSERT_TRUE(qwp::CreateFolders("C:\\data\\sub"));
    CQWF_StdFile f;
    ASSERT_TRUE(f.Open("C:\\data\\sub\\x.txt", 2));
    EXPECT_EQ(f.Write("mapped", 6), 6);
    EXPECT_TRUE(f.Close());
    std::string bytes;
    EXPECT_TRUE(qwtest::ReadWholeFile(dir.File("c/data/sub/x.txt"), bytes));
    EXPECT_EQ(bytes, "mapped");

    // A failed open leaves the object closed, even when it was open before.
    ASSERT_TRUE(f.Open("c:\\data\\sub\\x.txt", 1));
    qwp::SetOpenFailureAfter(0);
    EXPECT_FALSE(f.Open("C:\\data\\sub\\x.txt", 1));
    EXPECT_EQ(f.GetError(), QWF_ERR_FILE_OPEN);
    EXPECT_FALSE(f.IsOpen());
    qwp::SetDriveRoot(nullptr);
}

TEST(StdFile, ShellOpenMapsPathsAndPassesLinks)
{
    qwp::RecordingShellOpener recorder;
    qwp::ShellOpener* previous = qwp::SetShellOpener(&recorder);
    qwp::SetDriveRoot("/drives");
    EXPECT_TRUE(CQWF_StdFile::ShellOpen("C:\\Help\\manual.pdf"));
    EXPECT_TRUE(CQWF_StdFile::ShellOpen("https://example.invalid/page?a=1"));
    recorder.result = false;
    EXPECT_FALSE(CQWF_StdFile::ShellOpen("Z:\\tmp\\x.html"));
    EXPECT_FALSE(CQWF_StdFile::ShellOpen(""));
    qwp::SetDriveRoot(nullptr);
    qwp::SetShellOpener(previous);
    ASSERT_EQ(recorder.targets.size(), 3u);
    EXPECT_EQ(recorder.targets[0], "/drives/c/Help/manual.pdf");
    EXPECT_EQ(recorder.targets[1], "https://example.invalid/page?a=1");
    EXPECT_EQ(recorder.targets[2], "/tmp/x.html");
}
