#include <gtest/gtest.h>

#include <tuple>

#include "installer/installer_test_support.h"
#include "installer/setup/qw_installhelpers.h"
#include "platform/qw_drives.h"
#include "platform/qw_shelllink.h"

using qwtest::Machine;

// Folder trees: normalised, logged in order of creation, undone on failure, refused for paths of
// another form.
TEST(InstallHelpers, FolderTreesAreNormalisedLoggedAndUndone)
{
    Machine m;
    CQWWIN32FileSystem files;
    std::filesystem::create_directories(m.Host("C:\\A"));
    CQWF_String log = "C:\\Earlier\\\n", out;
    ASSERT_TRUE(files.CreateFolderTree(&log, "c:\\A\\ B \\\\C", &out));
    EXPECT_STREQ(out.GetBuffer(), "C:\\A\\B\\C\\");
    EXPECT_STREQ(log.GetBuffer(), "C:\\Earlier\\\nC:\\A\\B\\\nC:\\A\\B\\C\\\n");
    EXPECT_TRUE(m.Exists("C:\\A\\B\\C"));

    // A drive that does not exist, a network path, a path without a drive and one with ".."
    // fail without touching the log; "." parts are dropped.
    for (const char* bad : {"Q:\\New", "\\\\server\\share\\x", "A\\B", "C:", "C:\\A\\..\\Up"}) {
        CQWF_String before = log;
        EXPECT_FALSE(files.CreateFolderTree(&log, bad, &out)) << bad;
        EXPECT_STREQ(log.GetBuffer(), before.GetBuffer());
    }
    EXPECT_FALSE(m.Exists("C:\\Up"));
    ASSERT_TRUE(files.CreateFolderTree(nullptr, "C:\\A\\.\\D", &out));
    EXPECT_STREQ(out.GetBuffer(), "C:\\A\\D\\");

    // The third of three new folders cannot be made: the first two go again.
    qwp::SetCreateFolderFailureAfter(2);
    CQWF_String before = log;
    EXPECT_FALSE(files.CreateFolderTree(&log, "C:\\X\\Y\\Z", &out));
    EXPECT_FALSE(m.Exists("C:\\X"));
    // A file where a folder should be is a failure too.
    m.Write("C:\\File", "x");
    EXPECT_FALSE(files.CreateFolderTree(&log, "C:\\File\\Sub", &out));
    EXPECT_STREQ(log.GetBuffer(), (before + "C:\\X\\\nC:\\X\\Y\\\n").GetBuffer())
        << "the log keeps what the failed call wrote; the caller stops there";

    // Without a log too, only the folders the call made go again, not one it found.
    std::filesystem::create_directories(m.Host("C:\\Empty"));
    qwp::SetCreateFolderFailureAfter(1);
    EXPECT_FALSE(files.CreateFolderTree(nullptr, "C:\\Empty\\N\\M", &out));
    EXPECT_TRUE(m.Exists("C:\\Empty") && !m.Exists("C:\\Empty\\N"));

    // A path longer than the programs' path buffers.
    EXPECT_FALSE(files.CreateFolderTree(nullptr, CQWF_String("C:\\") + std::string(260, 'n').c_str(), &out));
}

// Free space: the nearest existing folder, the older look-up as the fall-back (in 64 bits), and
// unknown for a drive that does not exist.
TEST(InstallHelpers, FreeSpaceOfTheNearestExistingFolder)
{
    Machine m;
    CQWWIN32FileSystem files;
    qwp::SetFreeSpaceForTesting(int64_t(10240) << 20);
    EXPECT_EQ(files.GetFreeSpaceMB("C:\\Not\\Yet\\Made\\"), 10240);
    qwp::SetNewerFreeSpaceLookupMissing(true);
    qwp::SetFreeSpaceForTesting(int64_t(6000) << 20);  // beyond 4 GB: 32-bit products wrap
    EXPECT_EQ(files.GetFreeSpaceMB("C:\\Program Files"), 6000);
    EXPECT_EQ(files.GetFreeSpaceMB("Q:\\Nowhere"), -1);
    EXPECT_EQ(files.GetFreeSpaceMB("relative"), -1);
    CQWF_String folder;
    ASSERT_TRUE(files.FolderOfPathExists("C:\\Program Files\\New\\Sub", folder));
    EXPECT_STREQ(folder.GetBuffer(), "C:\\Program Files");
    qwp::SetFreeSpaceForTesting(-1);
    qwp::SetNewerFreeSpaceLookupMissing(false);
    EXPECT_GT(files.GetFreeSpaceMB("C:\\"), 0);  // the real file system
    EXPECT_TRUE(qwp::IsLogicalDrive('c') && qwp::IsLogicalDrive('Z') && !qwp::IsLogicalDrive('D'));
}

TEST(InstallHelpers, RegistryTextsAndShortcuts)
{
    Machine m;
    uint32_t ten = 10;
    uint8_t blob[] = {1, 2};
    ASSERT_TRUE(qwp::RegCreateKey(qwp::RegRoot::CurrentUser, "Software\\T"));
    qwp::RegSetValue(qwp::RegRoot::CurrentUser, "Software\\T", "Ten", qwp::RegType::DWord, &ten, 4);
    qwp::RegSetValue(qwp::RegRoot::CurrentUser, "Software\\T", "Blob", qwp::RegType::Binary, blob, 2);
    std::string longText(256, 'x');
    qwp::RegSetValue(qwp::RegRoot::CurrentUser, "Software\\T", "Long", qwp::RegType::String, longText.data(), 256);
    qwp::RegSetValue(qwp::RegRoot::CurrentUser, "Software\\T", "Fits", qwp::RegType::String, longText.data(), 255);
    qwp::RegSetValue(qwp::RegRoot::CurrentUser, "Software\\T", "LongX", qwp::RegType::ExpandString, longText.data(), 256);
    qwp::RegSetValue(qwp::RegRoot::CurrentUser, "Software\\T", "Bytes", qwp::RegType::Binary, longText.data(), 256);
    CQWF_String text;
    ASSERT_TRUE(RegReadString("Software\\T\\Ten", kRegCurrentUser, text));
    EXPECT_STREQ(text.GetBuffer(), "10");
    EXPECT_FALSE(RegReadString("Software\\T\\Blob", kRegCurrentUser, text));
    EXPECT_STREQ(text.GetBuffer(), "Binary data");
    EXPECT_FALSE(RegReadString("Software\\T\\Long", kRegCurrentUser, text));
    EXPECT_FALSE(RegReadString("Software\\T\\LongX", kRegCurrentUser, text));
    EXPECT_TRUE(RegReadString("Software\\T\\Fits", kRegCurrentUser, text));
    EXPECT_FALSE(RegReadString("Software\\T\\Bytes", kRegCurrentUser, text));  // 256 bytes fit: read, and no text
    EXPECT_STREQ(text.GetBuffer(), "Binary data");
    EXPECT_FALSE(RegReadString("Software\\T\\Ten", 4, text));
    ASSERT_TRUE(RegWriteString("SOFTWARE\\New\\Key\\Value", "v"));
    ASSERT_TRUE(RegReadString("SOFTWARE\\New\\Key\\Value", kRegLocalMachine, text));
    EXPECT_STREQ(text.GetBuffer(), "v");

    // Shortcuts are desktop entries, the files desktop menus list: "NAME.desktop", a ".lnk" ending
    // in any case replaced.
    CQWShortcut shortcut;
    CQWF_String link;
    bool created = false;
    ASSERT_TRUE(shortcut.Create("C:\\Jig\\Help.pdf", "Quarrow", "Help.LNK", "C:\\Jig\\", &link, &created));
    EXPECT_STREQ(link.GetBuffer(), "C:\\Users\\me\\Start Menu\\Programs\\Quarrow\\Help.desktop");
    EXPECT_TRUE(created);
    ASSERT_TRUE(shortcut.Create("C:\\Jig\\QWUninstall.exe", "Quarrow", "Uninstall", "C:\\Jig\\", &link, &created));
    EXPECT_STREQ(link.GetBuffer(), "C:\\Users\\me\\Start Menu\\Programs\\Quarrow\\Uninstall.desktop");
    EXPECT_FALSE(created);
    qwp::ShellLink read;
    ASSERT_TRUE(qwp::ReadShellLink(link.GetBuffer(), read));
    EXPECT_EQ(read.target, "C:\\Jig\\QWUninstall.exe");
    EXPECT_EQ(read.workingFolder, "C:\\Jig\\");
    std::string entry = m.Read("C:\\Users\\me\\Start Menu\\Programs\\Quarrow\\Uninstall.desktop");
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(entry.find("Name=Uninstall\n"), std::string::npos);
    EXPECT_FALSE(m.Exists("C:\\Users\\me\\Start Menu\\Programs\\Quarrow\\Uninstall.lnk"));
    EXPECT_NE(entry.find("Exec=xdg-open \"" + m.Host("C:\\Jig\\QWUninstall.exe") + "\"\n"), std::string::npos)
        << entry;

    // Groups and names that would leave the group folder, or are empty, are refused.
    for (const char* group : {"", "..", "A\\B", "C:", "*"})
        EXPECT_FALSE(shortcut.Create("C:\\x", group, "n", "", &link)) << group;
    EXPECT_FALSE(shortcut.Create("C:\\x", "Quarrow", "..\\..\\evil", "", &link));
    qwp::SetShellLinkFailure(true);
    EXPECT_FALSE(shortcut.Create("C:\\x", "Quarrow", "n", "", &link));
    qwp::SetShellLinkFailure(false);

    // An account without its menu folder: the setup makes it where it belongs and logs the
    // folders it made; a look-up alone makes nothing.
    qwp::SetSpecialFolderForTesting(qwp::SpecialFolder::Programs, "C:\\Users\\new\\applications");
    CQWF_String folder, log;
    EXPECT_FALSE(shortcut.GetProgramsFolder(folder));
    EXPECT_FALSE(shortcut.Create("C:\\x", "Quarrow", "n", "", &link));
    EXPECT_FALSE(m.Exists("C:\\Users\\new"));
    ASSERT_TRUE(shortcut.Create("C:\\x", "Quarrow", "n", "", &link, &created, &log));
    EXPECT_STREQ(link.GetBuffer(), "C:\\Users\\new\\applications\\Quarrow\\n.desktop");
    EXPECT_TRUE(m.Exists("C:\\Users\\new\\applications\\Quarrow\\n.desktop"));
    EXPECT_STREQ(log.GetBuffer(), "C:\\Users\\new\\\nC:\\Users\\new\\applications\\\n");
    qwp::SetSpecialFolderForTesting(qwp::SpecialFolder::Programs, "");
    EXPECT_FALSE(shortcut.Create("C:\\x", "Quarrow", "n", "", &link, &created, &log));

    // Paths inside a folder as this system compares names: case matters.
    EXPECT_TRUE(qwinstall::IsInsideFolder("c:\\Program Files\\Jig\\a.txt", "C:\\Program Files\\Jig"));
    EXPECT_FALSE(qwinstall::IsInsideFolder("C:\\PROGRAM FILES\\JIG\\a.txt", "C:\\Program Files\\Jig\\"));
    EXPECT_FALSE(qwinstall::IsInsideFolder("C:\\Program Files\\Jig", "C:\\Program Files\\Jig\\"));
    EXPECT_FALSE(qwinstall::IsInsideFolder("C:\\Program Files\\Jig\\", "C:\\Program Files\\Jig"));
    // A folder holds an installation on the host when the installation is it or lies in it.
    for (const auto& [folder, inner, holds] : {std::tuple{"C:\\Jig", "C:\\Jig\\", true}, {"C:\\", "C:\\Jig\\", true},
                                               {"C:\\Ji", "C:\\Jig\\", false}, {"C:\\Jig\\Sub\\", "C:\\Jig", false},
                                               {"Z:\\Jig", "z:\\Jig\\In\\", true}, {"a:\\Jig", "A:\\Jig\\In", true}})
        EXPECT_EQ(qwinstall::IsHostFolderOf(folder, inner), holds) << folder << " " << inner;
}
