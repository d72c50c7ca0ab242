#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "installer/installer_test_support.h"
#include "installer/setup/qw_installhelpers.h"
#include "installer/uninstall/uninstall_plan.h"
#include "platform/qw_batch.h"
#include "platform/qw_drives.h"
#include "platform/qw_process.h"
#include "platform/qw_shelllink.h"

using qwtest::Machine;

namespace {
// The uninstall program of a product whose data folder is "Jig" and whose group is "Quarrow", as
// its package names them.
class CUninstaller : public qwuninstall::CUninstaller {
public:
    CUninstaller() { SetProductNames("Jig", "Quarrow"); }
};

// Writes an uninstall record with the given keys (strings; "TotalFiles", "ShortcutCount" as
// numbers; "ShortcutGroupCreated" as a byte).
void WriteRecord(const std::string& path, const std::vector<std::pair<std::string, std::string>>& keys)
{
    CQWF_Storage s;
    ASSERT_TRUE(s.OpenFile(path.c_str(), CQWF_Storage::kModeCreate));
    for (auto& [k, v] : keys) {
        if (k == "TotalFiles" || k == "ShortcutCount") s.SetDWord(k.c_str(), static_cast<uint32_t>(std::stoul(v)));
        else if (k == "ShortcutGroupCreated") s.SetByte(k.c_str(), static_cast<uint8_t>(std::stoul(v)));
        else s.SetString(k.c_str(), v.c_str());
    }
    ASSERT_TRUE(s.Close());
}

// A shortcut file as the setup writes it, to the target.
void Link(const std::string& path, const std::string& target)
{
    qwp::ShellLink link;
    link.target = target;
    ASSERT_TRUE(qwp::WriteShellLink(path.c_str(), link)) << path;
}

std::string Batch(CUninstaller& u, std::string* path = nullptr)
{
    CQWF_String text, where;
    u.BuildBatch(text, where);
    if (path) *path = where.GetBuffer();
    return text.GetBuffer();
}
}  // namespace

// The batch file byte for byte: files in record order, the folders that do not hold the
// installation from the last logged to the first (children before their parents), the retry loop
// for the uninstall program (any case, also a longer name that ends so), the batch deleting
// itself, then the folders that hold it; "%" doubled. The batch lies in the uninstall program's
// own folder, which the user who installed can write.
TEST(Uninstall, BatchFileLinesByteForByte)
{
    Machine m;
    std::filesystem::create_directories(m.Host("C:\\Jig 100%"));
    WriteRecord("C:\\Jig 100%\\Uninstall.conf",
                {{"Product", "Jig"},
                 {"PathLog", "C:\\Jig 100%\\\nC:\\Jig 100%\\B\\\nC:\\Users\\me\\AppData\\Jig\\\n"},
                 {"File_0", "C:\\Jig 100%\\Jig.8bf"},
                 {"File_1", "C:\\Jig 100%\\qwuninstall.EXE"},
                 {"File_3", "C:\\Jig 100%\\MyQWUninstall.exe"},
                 {"File_4", "C:\\Users\\me\\AppData\\Jig\\plugin.conf"},
                 {"File_5", "C:\\Jig 100%\\Beyond.txt"},  // past the count: not deleted
                 {"TotalFiles", "5"},
                 {"Destination", "C:\\Jig 100%\\"},
                 {"DataFolder", "C:\\Users\\me\\AppData\\Jig\\"}});
    CUninstaller u;
    ASSERT_TRUE(u.OpenRecord("C:\\Elsewhere\\QWUninstall.exe") == false);
    ASSERT_TRUE(u.OpenRecord("C:\\Jig 100%\\QWUninstall.exe"));
    EXPECT_STREQ(u.GetInfoText().GetBuffer(), "Do you want to uninstall\nJig?");
    std::string path;
    EXPECT_EQ(Batch(u, &path),
              "del \"C:\\Jig 100%%\\Jig.8bf\"\r\n"
              "del \"C:\\Users\\me\\AppData\\Jig\\plugin.conf\"\r\n"
              "rmdir \"C:\\Users\\me\\AppData\\Jig\"\r\nrmdir \"C:\\Jig 100%%\\B\"\r\n"
              ":Repeat\r\ndel \"C:\\Jig 100%%\\qwuninstall.EXE\"\r\nif exist \"C:\\Jig 100%%\\qwuninstall.EXE\" goto Repeat\r\n"
              ":Repeat\r\ndel \"C:\\Jig 100%%\\MyQWUninstall.exe\"\r\nif exist \"C:\\Jig 100%%\\MyQWUninstall.exe\" goto Repeat\r\n"
              "del \"C:\\Jig 100%%\\QWRemover.bat\"\r\n"
              "rmdir \"C:\\Jig 100%%\"\r\n");
    EXPECT_EQ(path, "C:\\Jig 100%\\QWRemover.bat");
    EXPECT_EQ(qwuninstall::IsUninstallerFile("qwUNINSTALL.exe"), 0);
    EXPECT_NE(qwuninstall::IsUninstallerFile("QWUninstall.ex_"), 0);

    // Started from another folder the record is still found beside the program, also when the
    // current folder holds another installation's record; from the program's own folder too.
    std::filesystem::create_directories(m.Host("C:\\Other"));
    WriteRecord("C:\\Other\\Uninstall.conf", {{"Product", "Other"}, {"Destination", "C:\\Other\\"}});
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    CUninstaller elsewhere, here;
    ASSERT_EQ(chdir(m.Host("C:\\Other").c_str()), 0);
    bool openedElsewhere = elsewhere.OpenRecord("C:\\Jig 100%\\QWUninstall.exe");
    ASSERT_EQ(chdir(m.Host("C:\\Jig 100%").c_str()), 0);
    bool openedHere = here.OpenRecord("C:\\Jig 100%\\QWUninstall.exe");
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_TRUE(openedElsewhere && openedHere);
    EXPECT_STREQ(elsewhere.GetInfoText().GetBuffer(), "Do you want to uninstall\nJig?");
    EXPECT_STREQ(here.GetInfoText().GetBuffer(), "Do you want to uninstall\nJig?");
}

// Only what the record lists, only inside the recorded folders: other paths are left out of the
// batch; without a log the batch lies at the destination's drive root.
TEST(Uninstall, OnlyRecordedPathsInsideTheRecordedFolders)
{
    Machine m;
    std::filesystem::create_directories(m.Host("D:\\Jig"));
    WriteRecord("D:\\Jig\\Uninstall.conf",
                {{"PathLog", "C:\\Windows\\\nrelative\\\nD:\\Jig\\Sub"},  // the last line without its line feed
                 {"File_0", "C:\\Windows\\system.ini"},
                 {"File_1", "D:\\Jig\\..\\Other\\file"},
                 {"File_2", "D:\\Jig\\Sub\\ok.txt"},
                 {"File_3", "D:\\Jigsaw\\neighbour.txt"},
                 {"File_4", "D:\\Jig\\*.*"},
                 {"File_5", "D:\\Jig\\a\"b"},
                 {"File_6", "D:\\Jig"},
                 {"TotalFiles", "7"}});
    CUninstaller u;
    ASSERT_TRUE(u.OpenRecord("D:\\Jig\\QWUninstall.exe"));
    EXPECT_STREQ(u.GetDestination().GetBuffer(), "D:\\Jig\\");  // the program's own folder
    std::string path;
    EXPECT_EQ(Batch(u, &path),
              "del \"D:\\Jig\\Sub\\ok.txt\"\r\nrmdir \"D:\\Jig\\Sub\"\r\ndel \"D:\\Jig\\QWRemover.bat\"\r\n");
    EXPECT_STREQ(u.GetInfoText().GetBuffer(), "Do you want to uninstall\nprogram?");
    WriteRecord("D:\\Jig\\Uninstall.conf", {{"Destination", "D:\\Jig\\"}});
    ASSERT_TRUE(u.OpenRecord("D:\\Jig\\QWUninstall.exe"));
    EXPECT_EQ(Batch(u, &path), "del \"D:\\Jig\\QWRemover.bat\"\r\n");
    EXPECT_EQ(path, "D:\\Jig\\QWRemover.bat");

    std::filesystem::remove(m.Host("D:\\Jig\\Uninstall.conf"));
    CUninstaller none;
    EXPECT_FALSE(none.OpenRecord("D:\\Jig\\QWUninstall.exe"));
    EXPECT_FALSE(none.OpenRecord("NoFolder"));
    EXPECT_STREQ(none.GetInfoText().GetBuffer(), "Cannot open uninstall script...");
}

// Records that would reach beyond what was installed delete nothing there: a path that differs
// in case names another folder here, a folder link inside the installation is not followed (a
// file link goes as the link), a record whose Destination is not the uninstall program's own
// folder is refused, a data folder outside the user's data and the installation is not trusted,
// and counts far beyond the keys present end with the keys.
TEST(Uninstall, RecordsThatReachBeyondTheInstallation)
{
    Machine m;
    const std::string dest = "C:\\Program Files\\Jigcrafter 3.0\\", program = dest + "QWUninstall.exe";
    m.Write(dest + "a.txt", "a");
    m.Write("C:\\PROGRAM FILES\\JIGCRAFTER 3.0\\keep.txt", "keep");
    m.Write("C:\\Users\\me\\Documents\\doc.txt", "doc");
    m.Write("C:\\Users\\me\\Documents\\Deeper\\x.txt", "x");
    std::filesystem::create_symlink(m.Host("C:\\Users\\me\\Documents"), m.Host(dest + "Docs"));
    std::filesystem::create_symlink(m.Host("C:\\Users\\me\\Documents\\doc.txt"), m.Host(dest + "link.txt"));
    const std::string group = "C:\\Users\\me\\Start Menu\\Programs\\Quarrow\\";
    std::filesystem::create_directories(m.Host(group));
    Link(group + "Jig.desktop", dest + "a.txt");
    auto record = [&](const std::string& destination, const std::string& data) {
        WriteRecord(dest + "Uninstall.conf",
                    {{"Product", "Jig"},
                     {"PathLog", dest + "\n" + dest + "Docs\\Deeper\\\n"},
                     {"File_0", "C:\\PROGRAM FILES\\JIGCRAFTER 3.0\\keep.txt"},
                     {"File_1", dest + "Docs\\doc.txt"},
                     {"File_2", dest + "a.txt"},
                     {"File_3", dest + "link.txt"},
                     {"File_4", "C:\\Users\\me\\Documents\\doc.txt"},
                     {"TotalFiles", "4294967295"},
                     {"ShortcutGroup", "Quarrow"},
                     {"ShortcutCount", "4294967295"},
                     {"Shortcut_0", group + "Jig.desktop"},
                     {"Destination", destination},
                     {"DataFolder", data}});
    };

    // The Destination is the program's folder; the data folder is not the user's.
    record(dest, "C:\\Users\\me\\");
    CUninstaller u;
    ASSERT_TRUE(u.OpenRecord(program.c_str()));
    EXPECT_EQ(Batch(u), "del \"" + dest + "a.txt\"\r\ndel \"" + dest + "link.txt\"\r\ndel \"" + dest +
                            "QWRemover.bat\"\r\nrmdir \"" + dest.substr(0, dest.size() - 1) + "\"\r\n");
    qwp::RecordingProcessStarter recorder;
    qwp::SetProcessStarter(&recorder);
    EXPECT_TRUE(u.Uninstall());
    qwp::SetProcessStarter(nullptr);
    EXPECT_FALSE(m.Exists(group + "Jig.desktop"));
    std::string error;
    ASSERT_TRUE(qwp::RunBatchFile((dest + "QWRemover.bat").c_str(), &error)) << error;
    EXPECT_FALSE(m.Exists(dest + "a.txt") || m.Exists(dest + "QWRemover.bat"));
    EXPECT_FALSE(std::filesystem::is_symlink(m.Host(dest + "link.txt")));
    EXPECT_EQ(m.Read("C:\\Users\\me\\Documents\\doc.txt"), "doc");
    EXPECT_TRUE(m.Exists("C:\\Users\\me\\Documents\\Deeper"));
    EXPECT_EQ(m.Read("C:\\PROGRAM FILES\\JIGCRAFTER 3.0\\keep.txt"), "keep");

    // A record whose Destination is another folder, even a parent of the program's, is refused.
    for (const char* other : {"C:\\", "C:\\Program Files\\", "C:\\PROGRAM FILES\\JIGCRAFTER 3.0\\"}) {
        record(other, "");
        CUninstaller refused;
        EXPECT_FALSE(refused.OpenRecord(program.c_str())) << other;
        EXPECT_STREQ(refused.GetInfoText().GetBuffer(), "Cannot open uninstall script...");
    }
}

// Shortcuts: only the recorded links to the installation's files go, and the group only when the
// setup made it and it is empty; another product's link in the same group survives, recorded or
// not.
TEST(Uninstall, ShortcutsAndRegistryEntryOfThisInstallationOnly)
{
    Machine m;
    std::string group = "C:\\Users\\me\\Start Menu\\Programs\\Quarrow\\";
    std::filesystem::create_directories(m.Host(group));
    Link(group + "Other Product.lnk", "C:\\Other\\Other.exe");
    Link(group + "Uninstall.lnk", "C:\\Jig\\QWUninstall.exe");
    Link(group + "Help.lnk", "C:\\Jig\\Help.pdf");
    Link(group + "Beyond.lnk", "C:\\Jig\\Help.pdf");  // named past the record's count
    Link("C:\\Users\\me\\Start Menu\\Programs\\Outside.lnk", "C:\\Jig\\QWUninstall.exe");
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Jig";
    ASSERT_TRUE(RegWriteString((key + "\\UninstallString").c_str(), "C:\\Jig\\QWUninstall.exe"));
    ASSERT_TRUE(qwp::RegCreateKey(qwp::RegRoot::LocalMachine, (key + "\\Sub\\Deeper").c_str()));
    std::filesystem::create_directories(m.Host("C:\\Jig"));
    WriteRecord("C:\\Jig\\Uninstall.conf", {{"Product", "Jig"},
                                            {"ShortcutGroup", "Quarrow"},
                                            {"ShortcutCount", "4"},
                                            {"Shortcut_0", group + "Uninstall.lnk"},
                                            {"Shortcut_1", group + "Help.lnk"},
                                            {"Shortcut_2", "C:\\Users\\me\\Start Menu\\Programs\\Outside.lnk"},
                                            {"Shortcut_3", group + "Other Product.lnk"},
                                            {"Shortcut_4", group + "Beyond.lnk"},
                                            {"ShortcutGroupCreated", "1"},
                                            {"Destination", "C:\\Jig\\"}});
    CUninstaller u;
    ASSERT_TRUE(u.OpenRecord("C:\\Jig\\QWUninstall.exe"));
    u.RemoveShortcuts();
    EXPECT_FALSE(m.Exists(group + "Uninstall.lnk") || m.Exists(group + "Help.lnk"));
    EXPECT_TRUE(m.Exists(group + "Other Product.lnk") && m.Exists(group + "Beyond.lnk"));
    EXPECT_TRUE(m.Exists("C:\\Users\\me\\Start Menu\\Programs\\Outside.lnk"));
    for (const char* other : {"Other Product.lnk", "Beyond.lnk"}) std::filesystem::remove(m.Host(group + other));
    u.RemoveShortcuts();
    EXPECT_FALSE(m.Exists(group));  // made by the setup and now empty

    // The registry entry with its sub-keys goes; one that names another installation stays.
    ASSERT_TRUE(u.RemoveRegistryEntry());
    EXPECT_FALSE(qwp::RegKeyExists(qwp::RegRoot::LocalMachine, key.c_str()));
    EXPECT_TRUE(qwp::RegKeyExists(qwp::RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
    ASSERT_TRUE(RegWriteString((key + "\\UninstallString").c_str(), "D:\\Other\\QWUninstall.exe"));
    EXPECT_FALSE(u.RemoveRegistryEntry());
    EXPECT_TRUE(qwp::RegKeyExists(qwp::RegRoot::LocalMachine, key.c_str()));

    // A key that will not go ends the walk instead of looping.
    ASSERT_TRUE(qwp::RegCreateKey(qwp::RegRoot::LocalMachine, (key + "\\A").c_str()));
    ASSERT_TRUE(qwp::RegCreateKey(qwp::RegRoot::LocalMachine, (key + "\\B").c_str()));
    qwp::SetRegistryDeniedKey(qwp::RegRoot::LocalMachine, (key + "\\A").c_str());
    EXPECT_FALSE(qwuninstall::DeleteRegistryKeyTree(kRegLocalMachine, key.c_str()));
    qwp::SetRegistryDeniedKey(qwp::RegRoot::LocalMachine, nullptr);
    EXPECT_TRUE(qwp::RegKeyExists(qwp::RegRoot::LocalMachine, (key + "\\A").c_str()));
    EXPECT_TRUE(qwuninstall::DeleteRegistryKeyTree(kRegLocalMachine, key.c_str()));
    EXPECT_TRUE(qwuninstall::DeleteRegistryKeyTree(kRegLocalMachine, ""));
    // The first root takes the walk too; numbers that name no root touch nothing.
    ASSERT_TRUE(qwp::RegCreateKey(qwp::RegRoot::ClassesRoot, "Jig\\Sub"));
    EXPECT_FALSE(qwuninstall::DeleteRegistryKeyTree(0, "Jig") || qwuninstall::DeleteRegistryKeyTree(4, "Jig"));
    EXPECT_TRUE(qwuninstall::DeleteRegistryKeyTree(kRegClassesRoot, "Jig"));
    EXPECT_FALSE(qwp::RegKeyExists(qwp::RegRoot::ClassesRoot, "Jig"));

    // Without a group or product in the record nothing of the menu or the registry is touched.
    std::filesystem::create_directories(m.Host(group));
    Link(group + "Uninstall.lnk", "C:\\Jig\\QWUninstall.exe");
    WriteRecord("C:\\Jig\\Uninstall.conf", {{"Destination", "C:\\Jig\\"}, {"Shortcut_0", group + "Uninstall.lnk"},
                                            {"ShortcutCount", "1"}});
    ASSERT_TRUE(u.OpenRecord("C:\\Jig\\QWUninstall.exe"));
    u.RemoveShortcuts();
    EXPECT_TRUE(m.Exists(group + "Uninstall.lnk"));
    EXPECT_FALSE(u.RemoveRegistryEntry());

    // The keys the setup made on the way to its entry go with it while nothing else is in them;
    // a registry left with nothing is no file, as before the setup.
    auto entryWithRecord = [&](const char* created) {
        ASSERT_TRUE(RegWriteString((key + "\\UninstallString").c_str(), "C:\\Jig\\QWUninstall.exe"));
        WriteRecord("C:\\Jig\\Uninstall.conf", {{"Product", "Jig"}, {"Destination", "C:\\Jig\\"}, {"UninstallKeyCreated", created}});
        ASSERT_TRUE(u.OpenRecord("C:\\Jig\\QWUninstall.exe"));
        EXPECT_TRUE(u.RemoveRegistryEntry());
        EXPECT_FALSE(qwp::RegKeyExists(qwp::RegRoot::LocalMachine, key.c_str()));
    };
    std::filesystem::remove(m.Prefix() + "/registry.txt");
    entryWithRecord("software");
    EXPECT_FALSE(std::filesystem::exists(m.Prefix() + "/registry.txt"));
    // Another program's key keeps the keys above it; a "created" key off the entry's way is not
    // heeded.
    ASSERT_TRUE(RegWriteString("SOFTWARE\\Microsoft\\Other\\Value", "x"));
    entryWithRecord("SOFTWARE\\Microsoft\\Other");
    EXPECT_TRUE(qwp::RegKeyExists(qwp::RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
    entryWithRecord("SOFTWARE");
    EXPECT_FALSE(qwp::RegKeyExists(qwp::RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows"));
    EXPECT_TRUE(qwp::RegKeyExists(qwp::RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Other"));
}

// The whole removal starts the batch file it wrote, detached at low priority from the root. A
// batch file that cannot be written, or started, is a failure the program tells: the message
// names the batch file, and the installation is left whole (the shortcuts and the registry entry
// too, when the batch cannot even be written), so that the uninstall can run again.
TEST(Uninstall, StartsTheBatchFileItWroteOrSaysWhyNot)
{
    Machine m;
    const std::string group = "C:\\Users\\me\\Start Menu\\Programs\\Quarrow\\";
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Jig";
    m.Write("C:\\Jig\\a.txt", "a");
    std::filesystem::create_directories(m.Host(group));
    Link(group + "Jig.desktop", "C:\\Jig\\a.txt");
    ASSERT_TRUE(RegWriteString((key + "\\UninstallString").c_str(), "C:\\Jig\\QWUninstall.exe"));
    WriteRecord("C:\\Jig\\Uninstall.conf", {{"Product", "Jig"}, {"PathLog", "C:\\Jig\\\n"},
                                            {"File_0", "C:\\Jig\\a.txt"}, {"File_1", "C:\\Jig\\Uninstall.conf"},
                                            {"TotalFiles", "2"}, {"ShortcutGroup", "Quarrow"},
                                            {"ShortcutCount", "1"}, {"Shortcut_0", group + "Jig.desktop"}});
    // A folder where the batch file would go: it cannot be written.
    std::filesystem::create_directories(m.Host("C:\\Jig\\QWRemover.bat"));
    auto before = m.Snapshot();
    qwp::RecordingProcessStarter recorder;
    qwp::SetProcessStarter(&recorder);
    CUninstaller u;
    ASSERT_TRUE(u.OpenRecord("C:\\Jig\\QWUninstall.exe"));
    CQWF_String failure;
    EXPECT_FALSE(u.Uninstall(&failure));
    EXPECT_STREQ(failure.GetBuffer(), "Error!\n\nError writing to file \"C:\\Jig\\QWRemover.bat\"");
    EXPECT_TRUE(recorder.requests.empty());
    EXPECT_EQ(qwtest::Differences(before, m.Snapshot()), "");

    // It is written but does not start: said so, and the batch file is not left behind.
    std::filesystem::remove(m.Host("C:\\Jig\\QWRemover.bat"));
    recorder.result = false;
    EXPECT_FALSE(u.Uninstall(&failure));
    EXPECT_STREQ(failure.GetBuffer(), "Error!\n\nError starting \"C:\\Jig\\QWRemover.bat\"");
    EXPECT_EQ(recorder.requests.size(), 1u);
    EXPECT_FALSE(m.Exists("C:\\Jig\\QWRemover.bat"));
    EXPECT_TRUE(m.Exists("C:\\Jig\\a.txt"));

    // It starts: the shortcut and the entry are gone, and the batch takes the rest.
    recorder.result = true;
    EXPECT_TRUE(u.Uninstall(&failure));
    EXPECT_STREQ(failure.GetBuffer(), "");
    qwp::SetProcessStarter(nullptr);
    EXPECT_FALSE(m.Exists(group + "Jig.desktop") || qwp::RegKeyExists(qwp::RegRoot::LocalMachine, key.c_str()));
    ASSERT_EQ(recorder.requests.size(), 2u);
    EXPECT_EQ(recorder.requests[1].commandLine, "\"C:\\Jig\\QWRemover.bat\"");
    EXPECT_EQ(recorder.requests[1].currentFolder, "\\");
    EXPECT_TRUE(recorder.requests[1].lowPriority);
    EXPECT_EQ(m.Read("C:\\Jig\\QWRemover.bat"), "del \"C:\\Jig\\a.txt\"\r\ndel \"C:\\Jig\\QWRemover.bat\"\r\n"
                                                "del \"C:\\Jig\\Uninstall.conf\"\r\nrmdir \"C:\\Jig\"\r\n");
    std::string error;
    ASSERT_TRUE(qwp::RunBatchFile("C:\\Jig\\QWRemover.bat", &error)) << error;
    EXPECT_FALSE(m.Exists("C:\\Jig"));
}

namespace {
// The uninstall program of the installation in `dest`, asked Yes, and its batch run to the end.
void RunUninstall(const std::string& dest)
{
    CUninstaller u;
    ASSERT_TRUE(u.OpenRecord((dest + "QWUninstall.exe").c_str()));
    qwp::RecordingProcessStarter recorder;
    qwp::SetProcessStarter(&recorder);
    const bool started = u.Uninstall();
    qwp::SetProcessStarter(nullptr);
    ASSERT_TRUE(started);
    std::string error;
    ASSERT_TRUE(qwp::RunBatchFile((dest + "QWRemover.bat").c_str(), &error)) << error;
}

// One more file in a record.
void AddFile(CQWF_Storage& record, const std::string& path)
{
    uint32_t total = 0;
    record.GetDWord("TotalFiles", total);
    record.SetString(("File_" + std::to_string(total)).c_str(), path.c_str());
    record.SetDWord("TotalFiles", total + 1);
}

// A machine without the folders and keys a first setup makes: no programs menu, no registry.
void WithoutMenuAndRegistry(Machine& m)
{
    std::filesystem::remove_all(m.Host("C:\\Users\\me\\Start Menu"));
    std::filesystem::remove(m.Prefix() + "/registry.txt");
}
}  // namespace

namespace {
// Runs `step` in a process of its own that ends as a killed one ends where the platform's hook
// `stop`, given `n`, says; whether it ended there. What the step needs is made before (a setup's
// package is written to a file first).
template <typename Step>
bool StoppedIn(void (*stop)(long), long n, Step step)
{
    const pid_t child = fork();
    if (child == 0) {
        stop(n);
        step();
        _exit(0);
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    return WIFEXITED(status) && WEXITSTATUS(status) == 137;
}

// The whole of a step's run, and how many renames, links and unlinks it made.
template <typename Step>
long NameChangesOf(Step step)
{
    const long before = qwp::NameChangesMade();
    step();
    return qwp::NameChangesMade() - before;
}

// A first installation into C:\Jig on a machine without the menu folders and the registry; the
// machine as it was before.
std::map<std::string, std::string> InstalledOnce(Machine& m)
{
    WithoutMenuAndRegistry(m);
    auto before = m.Snapshot();
    qwtest::SetupRun first(qwtest::Texts(), qwtest::Product());
    EXPECT_EQ(first.Install("C:\\Jig"), qwsetup::CInstallation::kInstalled);
    return before;
}

void InstallInto(qwtest::SetupRun& run)
{
    EXPECT_EQ(run.Install("C:\\Jig"), qwsetup::CInstallation::kInstalled);
}
}  // namespace

namespace {
// The files of a machine as they are now, to be put back where they were (its links name its own
// folders).
class SavedMachine {
public:
    explicit SavedMachine(const Machine& m) : m_prefix(m.Prefix())
    {
        std::filesystem::copy(m_prefix, m_dir.File("prefix"),
                              std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks);
    }
    void Restore() const
    {
        std::filesystem::remove_all(m_prefix);
        std::filesystem::copy(m_dir.File("prefix"), m_prefix,
                              std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks);
    }

private:
    qwtest::TempDir m_dir;
    std::string m_prefix;
};

// A setup stopped at any rename, link or removal of its run, over a working installation or as
// the first one. Over an installation it loses none of its files: each is there whole, as it was
// or as the new run writes it (the record one that opens), also when a second run over what the
// first left is stopped at the same point. What the stopped run left is swept by the uninstall
// alone (when the run left the uninstall program and its record), and by a setup and the
// uninstall: the machine is as before the first setup (but for the destination folder, where a
// first setup stopped before its record stood).
void StopASetupAtEveryNameChange(bool over)
{
    const std::vector<qwtest::Entry> product = over ? qwtest::NewerProduct() : qwtest::Product();
    std::map<std::string, std::string> newer;
    std::string newerPrefix;
    long changes = 0;
    {
        Machine m;
        if (over) InstalledOnce(m);
        else WithoutMenuAndRegistry(m);
        qwtest::SetupRun run(qwtest::Texts(), product);
        changes = NameChangesOf([&] { InstallInto(run); });
        newer = m.Snapshot();
        newerPrefix = m.Prefix();
    }
    ASSERT_GT(changes, 12);
    for (long stop = 0; stop < changes; ++stop) {
        const std::string when = std::string(over ? "a re-install" : "a first setup") + " stopped at name change " +
                                 std::to_string(stop) + " of " + std::to_string(changes);
        Machine m;
        const auto before = over ? InstalledOnce(m) : [&] {
            WithoutMenuAndRegistry(m);
            return m.Snapshot();
        }();
        const auto earlier = m.Snapshot();
        auto stopAndCheck = [&] {
            qwtest::SetupRun stopped(qwtest::Texts(), product);
            ASSERT_TRUE(StoppedIn(qwp::SetExitAtNameChangeAfter, stop, [&] { InstallInto(stopped); })) << when;
            const auto now = m.Snapshot();
            for (const auto& [path, bytes] : earlier) {
                if (path.back() == '/' || path == "/registry.txt") continue;
                const auto found = now.find(path);
                if (found == now.end()) {
                    ADD_FAILURE() << "gone: " << path << ", " << when;
                } else if (path == "/c/Jig/Uninstall.conf") {
                    CQWF_Storage record;
                    EXPECT_TRUE(record.OpenFile("C:\\Jig\\Uninstall.conf", CQWF_Storage::kModeRead)) << when;
                } else {
                    // Shortcuts name the machine's own folders.
                    std::string rewritten = newer[path];
                    for (size_t at; (at = rewritten.find(newerPrefix)) != std::string::npos;)
                        rewritten.replace(at, newerPrefix.size(), m.Prefix());
                    EXPECT_TRUE(found->second == bytes || found->second == rewritten) << "not whole: " << path << ", " << when;
                }
            }
        };
        ASSERT_NO_FATAL_FAILURE(stopAndCheck());
        const bool recorded = m.Exists("C:\\Jig\\Uninstall.conf");
        const std::string left = recorded ? "" : "new: /c/Jig/\n";
        const SavedMachine stopped(m);
        if (recorded && m.Exists("C:\\Jig\\QWUninstall.exe")) {
            RunUninstall("C:\\Jig\\");
            EXPECT_EQ(qwtest::Differences(before, m.Snapshot()), left) << when << ", uninstalled";
            stopped.Restore();
        }
        // A second run stopped as well, over what the first left, loses nothing either.
        if (over) {
            ASSERT_NO_FATAL_FAILURE(stopAndCheck());
        }
        qwtest::SetupRun again(qwtest::Texts(), product);
        InstallInto(again);
        RunUninstall("C:\\Jig\\");
        EXPECT_EQ(qwtest::Differences(before, m.Snapshot()), left) << when << ", set up again";
    }
}
}  // namespace

TEST(Uninstall, AReinstallStoppedAtAnyNameChangeLosesNoFile) { StopASetupAtEveryNameChange(true); }

TEST(Uninstall, AFirstSetupStoppedAtAnyNameChangeIsRemovedWhole) { StopASetupAtEveryNameChange(false); }

// An uninstall stopped at any rename, link or removal of a file or folder (the program's or its
// batch's) is finished by a second uninstall while the uninstall program stands, and by a setup
// and the uninstall in any case: the machine is as before the setup, but for the destination
// folder, empty, where the uninstall was stopped after its record went (the record goes last but
// for the folders that held it).
TEST(Uninstall, AnUninstallStoppedAtAnyNameChangeCanBeFinished)
{
    long changes = 0;
    {
        Machine m;
        InstalledOnce(m);
        changes = NameChangesOf([] { RunUninstall("C:\\Jig\\"); });
    }
    ASSERT_GT(changes, 10);
    for (long stop = 0; stop < changes; ++stop) {
        const std::string when = "stopped at name change " + std::to_string(stop) + " of " + std::to_string(changes);
        Machine m;
        const auto before = InstalledOnce(m);
        ASSERT_TRUE(StoppedIn(qwp::SetExitAtNameChangeAfter, stop, [] { RunUninstall("C:\\Jig\\"); })) << when;
        const bool recorded = m.Exists("C:\\Jig\\Uninstall.conf");
        const std::string left = recorded ? "" : "new: /c/Jig/\n";
        const SavedMachine stopped(m);
        if (m.Exists("C:\\Jig\\QWUninstall.exe")) {
            RunUninstall("C:\\Jig\\");
            EXPECT_EQ(qwtest::Differences(before, m.Snapshot()), left) << when << ", uninstalled again";
            stopped.Restore();
        }
        qwtest::SetupRun again(qwtest::Texts(), qwtest::Product());
        ASSERT_EQ(again.Install("C:\\Jig"), qwsetup::CInstallation::kInstalled) << when;
        RunUninstall("C:\\Jig\\");
        EXPECT_EQ(qwtest::Differences(before, m.Snapshot()), left) << when << ", set up again";
    }
}

// The folders the setup program made for the machine's drive C hold the installation: a run that
// fails leaves them to the program, the next one names them in its record first, and the
// uninstall removes them with the rest.
TEST(Uninstall, TheFoldersMadeForTheSystemDriveGoWithTheInstallation)
{
    Machine m;
    std::filesystem::remove_all(m.Host("C:\\"));
    const auto before = m.Snapshot();
    qwtest::SetupRun s(qwtest::Texts(), qwtest::Product());
    ASSERT_TRUE(qwp::PrepareSystemDrive(&s.madeBefore));
    EXPECT_EQ(s.madeBefore, "C:\\\n");
    s.madeBefore += "C:\\Elsewhere\\\n";  // made too, but not on the installation's way: not named
    std::filesystem::create_directories(m.Host("C:\\Elsewhere"));
    qwp::SetFreeSpace("C:\\", 1000);
    EXPECT_EQ(s.Install("C:\\Jig"), qwsetup::CInstallation::kAborted);
    qwp::SetFreeSpace(nullptr, -1);
    EXPECT_TRUE(m.Exists("C:\\"));
    ASSERT_EQ(s.Install("C:\\Jig"), qwsetup::CInstallation::kInstalled);
    CQWF_Storage record;
    CQWF_String log;
    ASSERT_TRUE(record.OpenFile("C:\\Jig\\Uninstall.conf", CQWF_Storage::kModeRead));
    ASSERT_TRUE(record.GetString("PathLog", log));
    EXPECT_EQ(std::string(log.GetBuffer()).rfind("C:\\\nC:\\Jig\\\n", 0), 0u) << log.GetBuffer();
    record.Close();
    std::filesystem::remove(m.Host("C:\\Elsewhere"));
    RunUninstall("C:\\Jig\\");
    EXPECT_EQ(qwtest::Differences(before, m.Snapshot()), "");
}

// Crafted records and planted links make the uninstall delete or write nothing outside what the
// setup made: a data folder of another program in the application data (or the menu folder
// there), another product's group (with the user's copy of the product's link in it), another
// product's link in the product's own group, a
// "QWRemover.bat" link to a document, a record in the folder the uninstall is started from.
TEST(Uninstall, CraftedRecordsAndPlantedLinksTouchNothingOutsideTheInstallation)
{
    const std::string dest = "C:\\Jig\\", data = "C:\\Users\\me\\AppData\\", programs = "C:\\Users\\me\\Start Menu\\Programs\\";
    const std::vector<std::string> others = {"C:\\Users\\me\\Documents\\letter.txt", data + "OtherApp\\settings.ini",
                                             data + "applications\\other.desktop", programs + "Other\\Other.desktop",
                                             programs + "Quarrow\\Other Product.desktop", "C:\\Foreign\\Uninstall.conf",
                                             programs + "Other\\Jig copy.desktop"};
    enum Plant { kNothing, kBatchLink, kRecordInTheCurrentFolder };
    struct Case {
        const char* name;
        void (*craft)(CQWF_Storage& record);
        Plant plant;
        const char* dataFolder = nullptr;  // the record's data folder, with a file of it and in its log
        const char* dataFile = nullptr;
    };
    const Case cases[] = {
        {"another program's data folder", nullptr, kNothing, "C:\\Users\\me\\AppData\\OtherApp\\", "settings.ini"},
        {"the menu folder as the data folder", nullptr, kNothing, "C:\\Users\\me\\AppData\\applications\\",
         "other.desktop"},
        {"another product's group",
         [](CQWF_Storage& r) {
             r.SetString("ShortcutGroup", "Other");
             r.SetByte("ShortcutGroupCreated", 1);
             r.SetDWord("ShortcutCount", 2);
             r.SetString("Shortcut_0", "C:\\Users\\me\\Start Menu\\Programs\\Other\\Other.desktop");
             r.SetString("Shortcut_1", "C:\\Users\\me\\Start Menu\\Programs\\Other\\Jig copy.desktop");
         },
         kNothing},
        {"another product's link in the group",
         [](CQWF_Storage& r) {
             uint32_t count = 0;
             r.GetDWord("ShortcutCount", count);
             r.SetString(("Shortcut_" + std::to_string(count)).c_str(),
                         "C:\\Users\\me\\Start Menu\\Programs\\Quarrow\\Other Product.desktop");
             r.SetDWord("ShortcutCount", count + 1);
         },
         kNothing},
        {"a batch file link", nullptr, kBatchLink},
        {"a record in the current folder", nullptr, kRecordInTheCurrentFolder},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        auto snapshotOthers = [&] {
            std::map<std::string, std::string> all;
            for (const std::string& path : others) all[path] = m.Exists(path) ? m.Read(path) : "(missing)";
            return all;
        };
        m.Write(others[0], "letter");
        m.Write(others[1], "settings");
        m.Write(others[2], "[Desktop Entry]\n");
        std::filesystem::create_directories(m.Host(programs + "Other"));
        std::filesystem::create_directories(m.Host(programs + "Quarrow"));
        Link(others[3], "C:\\OtherApp\\other.exe");
        Link(others[4], "C:\\OtherApp\\other.exe");
        Link(others[6], dest + "QWUninstall.exe");  // the user's own copy of the product's link
        std::filesystem::create_directories(m.Host("C:\\Foreign"));
        WriteRecord(others[5], {{"Product", "Jig 3"}, {"File_0", others[0]}, {"TotalFiles", "1"}});
        qwtest::SetupRun s(qwtest::Texts(), qwtest::Product());
        ASSERT_EQ(s.Install(dest.c_str()), qwsetup::CInstallation::kInstalled);
        if (c.craft || c.dataFolder) {
            CQWF_Storage record;
            ASSERT_TRUE(record.OpenFile((dest + "Uninstall.conf").c_str(), CQWF_Storage::kModeReadWrite));
            if (c.craft) c.craft(record);
            if (c.dataFolder) {
                record.SetString("DataFolder", c.dataFolder);
                AddFile(record, std::string(c.dataFolder) + c.dataFile);
                record.SetString("PathLog", (std::string(c.dataFolder) + "\n").c_str());
            }
            ASSERT_TRUE(record.Close());
        }
        if (c.plant == kBatchLink) std::filesystem::create_symlink(m.Host(others[0]), m.Host(dest + "QWRemover.bat"));
        const auto before = snapshotOthers();
        char cwd[4096];
        ASSERT_TRUE(getcwd(cwd, sizeof cwd));
        ASSERT_EQ(chdir(m.Host(c.plant == kRecordInTheCurrentFolder ? "C:\\Foreign" : dest).c_str()), 0);
        RunUninstall(dest);
        ASSERT_EQ(chdir(cwd), 0);
        EXPECT_EQ(qwtest::Differences(before, snapshotOthers()), "");
        // The product's own record was taken: its program and its entry are gone.
        EXPECT_FALSE(m.Exists(dest + "QWUninstall.exe"));
        EXPECT_FALSE(qwp::RegKeyExists(qwp::RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Jig 3"));
    }
}
