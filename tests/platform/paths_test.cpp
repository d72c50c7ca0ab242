#include "platform/qw_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <unistd.h>

#include "platform/qw_drives.h"
#include "platform/qw_userfolders.h"
#include "support/test_support.h"

namespace {
// Restores QW_ROOT and the root override when a test ends.
struct RootGuard {
    qwtest::EnvGuard root{"QW_ROOT", std::getenv("QW_ROOT")};
    ~RootGuard() { qwp::SetDriveRoot(nullptr); }
};
}  // namespace

TEST(Paths, WindowsToHostAndBack)
{
    RootGuard guard;
    qwp::SetDriveRoot("/data/drives/");
    EXPECT_EQ(qwp::DriveRoot(), "/data/drives");
    for (const auto& [win, host] : std::initializer_list<std::pair<const char*, const char*>>{
             {"Z:\\tmp\\a", "/tmp/a"}, {"z:\\", "/"}, {"Z:", "/"},
             {"C:\\Program Files\\x.8bf", "/data/drives/c/Program Files/x.8bf"},
             {"d:/mixed\\seps", "/data/drives/d/mixed/seps"}, {"C:\\", "/data/drives/c"}, {"C:", "/data/drives/c"},
             {"rel\\file.txt", "rel/file.txt"}, {"\\rooted\\x", "/rooted/x"}, {"", ""}})
        EXPECT_EQ(qwp::ToHostPath(win), host) << win;
    EXPECT_EQ(qwp::ToHostPath(nullptr), "");

    qwp::SetDriveRoot("/data/drives");
    for (const auto& [host, win] : std::initializer_list<std::pair<const char*, const char*>>{
             {"/tmp/a", "Z:\\tmp\\a"}, {"/", "Z:\\"}, {"/data/drives/c/x/y", "C:\\x\\y"}, {"/data/drives/c", "C:\\"},
             {"/data/drives/cc/x", "Z:\\data\\drives\\cc\\x"}, {"/data/drivesx/c/x", "Z:\\data\\drivesx\\c\\x"},
             {"a/b", "a\\b"}})
        EXPECT_EQ(qwp::ToWindowsPath(host), win) << host;
    for (const char* host : {"/tmp/a b/c.txt", "/data/drives/e/f", "/"}) {
        std::string win = qwp::ToWindowsPath(host);
        EXPECT_EQ(qwp::ToHostPath(win.c_str()), std::string(host)) << win;
    }
}

TEST(Paths, RootFromTheEnvironment)
{
    RootGuard guard;
    qwp::SetDriveRoot(nullptr);
    setenv("QW_ROOT", "/env/root//", 1);
    EXPECT_EQ(qwp::ToHostPath("C:\\a"), "/env/root/c/a");
    unsetenv("QW_ROOT");
    std::string root = qwp::DriveRoot();
    EXPECT_EQ(root.front(), '/');
    EXPECT_NE(root.find("qwjigcrafter/drives"), std::string::npos);
}

namespace {
bool Collect(const char* name, bool isFolder, void* context)
{
    static_cast<std::vector<std::pair<std::string, bool>>*>(context)->emplace_back(name, isFolder);
    return true;
}
bool StopAtFirst(const char*, bool, void* context)
{
    ++*static_cast<int*>(context);
    return false;
}
}  // namespace

TEST(Paths, FileSystemCallsTakeWindowsPaths)
{
    RootGuard guard;
    qwtest::TempDir dir;
    qwp::SetDriveRoot(dir.Path().c_str());

    EXPECT_FALSE(qwp::FolderExists("C:\\"));
    EXPECT_TRUE(qwp::CreateFolders("C:\\one\\two\\three\\"));
    EXPECT_TRUE(qwp::FolderExists("C:\\one\\two\\three"));
    EXPECT_TRUE(qwp::CreateFolder("C:\\one\\two\\three"));  // already there
    EXPECT_FALSE(qwp::CreateFolder("C:\\missing\\child"));
    EXPECT_TRUE(qwp::CreateFolder("C:\\one\\side"));

    ASSERT_TRUE(qwtest::WriteWholeFile(dir.File("c/one/f.txt"), "12345"));
    EXPECT_TRUE(qwp::FileExists("C:\\one\\f.txt"));
    EXPECT_FALSE(qwp::FileExists("C:\\one\\two"));
    EXPECT_FALSE(qwp::FolderExists("C:\\one\\f.txt"));
    EXPECT_TRUE(qwp::PathExists("C:\\one\\f.txt"));
    EXPECT_TRUE(qwp::PathExists("C:\\one\\two"));
    EXPECT_FALSE(qwp::PathExists("C:\\nothing"));
    EXPECT_FALSE(qwp::PathExists(""));
    EXPECT_EQ(qwp::FileSize("C:\\one\\f.txt"), 5);
    EXPECT_EQ(qwp::FileSize("C:\\one\\two"), -1);
    EXPECT_EQ(qwp::FileSize("C:\\nothing"), -1);
    FILE* five = qwp::OpenFile("C:\\one\\f.txt", "rb");
    EXPECT_EQ(qwp::StreamFileSize(five), 5);
    std::fclose(five);
    EXPECT_EQ(qwp::StreamFileSize(nullptr), -1);
    FILE* folder = qwp::OpenFile("C:\\one\\two", "rb");  // a folder has no size
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(qwp::StreamFileSize(folder), -1);
    std::fclose(folder);

    std::vector<std::pair<std::string, bool>> entries;
    EXPECT_TRUE(qwp::ListFolder("C:\\one", &Collect, &entries));
    std::sort(entries.begin(), entries.end());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], std::make_pair(std::string("f.txt"), false));
    EXPECT_EQ(entries[1], std::make_pair(std::string("side"), true));
    EXPECT_EQ(entries[2], std::make_pair(std::string("two"), true));
    int visits = 0;
    EXPECT_TRUE(qwp::ListFolder("C:\\one", &StopAtFirst, &visits));
    EXPECT_EQ(visits, 1);
    EXPECT_FALSE(qwp::ListFolder("C:\\nothing", &Collect, &entries));

    EXPECT_TRUE(qwp::RenamePath("C:\\one\\f.txt", "C:\\one\\side\\g.txt"));
    EXPECT_FALSE(qwp::FileExists("C:\\one\\f.txt"));
    EXPECT_TRUE(qwp::FileExists("C:\\one\\side\\g.txt"));
    EXPECT_FALSE(qwp::RenamePath("C:\\one\\f.txt", "C:\\one\\h.txt"));

    EXPECT_FALSE(qwp::RemoveFolder("C:\\one\\side"));  // not empty
    EXPECT_TRUE(qwp::RemoveFile("C:\\one\\side\\g.txt"));
    EXPECT_FALSE(qwp::RemoveFile("C:\\one\\side\\g.txt"));
    EXPECT_TRUE(qwp::RemoveFolder("C:\\one\\side"));
    EXPECT_FALSE(qwp::FolderExists("C:\\one\\side"));

    FILE* f = qwp::OpenFile("C:\\one\\new.bin", "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(qwp::FileExists("C:\\one\\new.bin"));
    qwp::SetOpenFailureAfter(1);
    f = qwp::OpenFile("C:\\one\\new.bin", "rb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(qwp::OpenFile("C:\\one\\new.bin", "rb"), nullptr);  // the injected failure
    f = qwp::OpenFile("C:\\one\\new.bin", "rb");                   // then back to normal
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(qwp::OpenFile(nullptr, "rb"), nullptr);

    // Names compare as this system compares them: case matters, drive letters and separators
    // do not.
    for (const auto& [a, b, same] : {std::tuple{"c:\\One/two", "C:/One\\two", true}, {"c:", "C:", true},
                                     {"C:\\One", "C:\\ONE", false}, {"C:\\One", "C:\\One\\", false},
                                     {"C:\\ab", "C:xab", false}, {"ab", "Ab", false}})
        EXPECT_EQ(qwp::SamePathText(a, b), same) << a << " " << b;
    // A link is seen as a link, and one folder by two paths as one.
    ASSERT_EQ(::symlink(dir.File("c/one").c_str(), dir.File("c/alias").c_str()), 0);
    entries.clear();
    EXPECT_TRUE(qwp::ListFolder("C:\\", &Collect, &entries));  // the link is listed as the folder it names
    EXPECT_NE(std::find(entries.begin(), entries.end(), std::make_pair(std::string("alias"), true)), entries.end());
    EXPECT_TRUE(qwp::IsSymbolicLink("C:\\alias") && qwp::IsSymbolicLink("C:\\alias\\"));
    EXPECT_FALSE(qwp::IsSymbolicLink("C:\\one") || qwp::IsSymbolicLink("C:\\nothing"));
    EXPECT_TRUE(qwp::IsSameFile("C:\\alias", "C:\\one\\"));
    EXPECT_FALSE(qwp::IsSameFile("C:\\one", "C:\\one\\two") || qwp::IsSameFile("C:\\nothing", "C:\\nothing"));

    // A fresh prefix gets its drive C, and the drive is there.
    qwp::SetDriveRoot(dir.File("fresh/drives").c_str());
    EXPECT_FALSE(qwp::IsLogicalDrive('C'));
    EXPECT_TRUE(qwp::PrepareSystemDrive());
    EXPECT_TRUE(qwp::FolderExists("C:\\") && qwp::IsLogicalDrive('C'));
    EXPECT_TRUE(qwp::PrepareSystemDrive());
}

// A replacement follows a link at its target unless the link itself is to be replaced: then the
// new file takes the link's place, and the file the link names keeps its bytes, also when the
// replacement is given up.
TEST(Paths, AReplacementWritesThroughALinkOnlyWhenToldTo)
{
    RootGuard guard;
    qwtest::TempDir dir;
    qwp::SetDriveRoot(dir.Path().c_str());
    ASSERT_TRUE(qwp::CreateFolders("C:\\docs\\"));
    ASSERT_TRUE(qwtest::WriteWholeFile(dir.File("c/docs/letter.txt"), "letter"));
    ASSERT_EQ(::symlink(dir.File("c/docs/letter.txt").c_str(), dir.File("c/target").c_str()), 0);
    auto replace = [](qwp::LinkAtTarget how, bool commit) {
        qwp::FileReplacement* r = nullptr;
        FILE* f = qwp::BeginReplacement("C:\\target", "wb", r, how);
        if (!f) return false;
        std::fputs("new", f);
        return qwp::EndReplacement(f, r, commit);
    };
    std::string bytes;
    EXPECT_FALSE(replace(qwp::LinkAtTarget::Replace, false));
    EXPECT_TRUE(qwp::IsSymbolicLink("C:\\target"));
    EXPECT_TRUE(replace(qwp::LinkAtTarget::Replace, true));
    EXPECT_FALSE(qwp::IsSymbolicLink("C:\\target"));
    EXPECT_TRUE(qwtest::ReadWholeFile(dir.File("c/target"), bytes) && bytes == "new");
    EXPECT_TRUE(qwtest::ReadWholeFile(dir.File("c/docs/letter.txt"), bytes) && bytes == "letter");
    EXPECT_EQ(std::count_if(std::filesystem::directory_iterator(dir.File("c")), {}, [](auto&) { return true; }), 2);

    ASSERT_EQ(::unlink(dir.File("c/target").c_str()), 0);
    ASSERT_EQ(::symlink(dir.File("c/docs/letter.txt").c_str(), dir.File("c/target").c_str()), 0);
    EXPECT_TRUE(replace(qwp::LinkAtTarget::Follow, true));
    EXPECT_TRUE(qwp::IsSymbolicLink("C:\\target"));
    EXPECT_TRUE(qwtest::ReadWholeFile(dir.File("c/docs/letter.txt"), bytes) && bytes == "new");
}

// The special folders come from an override, else from the environment: a host path becomes a
// Windows-style one, a Windows-style path stays, trailing separators go but a drive's root keeps
// its own, and an empty one is none. Only a folder that exists has a path.
TEST(Paths, SpecialFoldersFromTheEnvironment)
{
    using qwp::SpecialFolder;
    RootGuard guard;
    qwtest::TempDir dir;
    qwp::SetDriveRoot(dir.Path().c_str());
    ASSERT_TRUE(qwp::CreateFolders("C:\\Users\\me\\AppData"));
    const std::string appData = dir.File("c/Users/me/AppData/");
    qwtest::EnvGuard data("QW_APPDATA", appData.c_str()), programs("QW_PROGRAMS", "D:\\Start\\Programs\\\\"),
        common("QW_COMMON_PROGRAMS", "C:\\");
    EXPECT_EQ(qwp::SpecialFolderPath(SpecialFolder::AppData), "C:\\Users\\me\\AppData");
    EXPECT_EQ(qwp::SpecialFolderLocation(SpecialFolder::Programs), "D:\\Start\\Programs");
    EXPECT_EQ(qwp::SpecialFolderPath(SpecialFolder::Programs), "");
    EXPECT_EQ(qwp::SpecialFolderLocation(SpecialFolder::CommonPrograms), "C:\\");
    qwp::SetSpecialFolderForTesting(SpecialFolder::Programs, "E:\\Menu\\");
    EXPECT_EQ(qwp::SpecialFolderLocation(SpecialFolder::Programs), "E:\\Menu");
    qwp::SetSpecialFolderForTesting(SpecialFolder::Programs, nullptr);
    qwtest::EnvGuard none("QW_APPDATA", "");
    EXPECT_EQ(qwp::SpecialFolderLocation(SpecialFolder::AppData), "");
}
