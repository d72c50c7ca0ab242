// The product's own setup package, as the built QWSetup carries it, installed and removed again
// on a machine in a temporary prefix folder, with the filter module run by the test host from
// where it was installed.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <set>

#include "framework/ui/qwf_control.h"
#include "installer/installer_test_support.h"
#include "installer/setup/qw_installhelpers.h"
#include "installer/setup/setup_install.h"
#include "installer/setup/setup_package.h"
#include "installer/setup/setup_window.h"
#include "installer/uninstall/uninstall_plan.h"
#include "platform/qw_resource.h"
#include "platform/qw_shelllink.h"
#include "support/ui_test_support.h"

using qwsetup::CInstallation;
using qwtest::Differences;
using qwtest::Machine;
using qwtest::RegisterPhotoshop;

namespace {
std::string Bin(const std::string& name) { return qwtest::BinaryDir() + "/bin/" + name; }

std::string Quoted(const std::string& s)
{
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command with its output streams into the file: "exit N", a line feed and what it
// said.
std::string System(const std::string& command, const std::string& outFile)
{
    int status = std::system((command + " > " + Quoted(outFile) + " 2>&1").c_str());
    std::string out;
    qwtest::ReadWholeFile(outFile, out);
    return "exit " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + "\n" + out;
}

// Runs the test host; its last line of output and its exit status.
std::string RunHost(const std::string& arguments, const std::string& prefix, const std::string& work)
{
    return System("QW_ROOT=" + Quoted(prefix) + " " + Quoted(Bin("qwhost")) + " " + arguments, work + "/host.out");
}

// The installed module, run by the test host, replayed the sample layout that lay in its data
// folder: its picture is the one the module makes when it is handed the layout directly.
// The uninstall registry entry and the menu's uninstall link of a product installed in dest (a
// Windows path ending in a backslash) with its shortcuts in group.
void ExpectUninstallEntry(const std::string& dest, const std::string& group)
{
    CQWF_String value;
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quarrow. Jigcrafter 3.0\\";
    ASSERT_TRUE(RegReadString((key + "DisplayName").c_str(), kRegLocalMachine, value));
    EXPECT_STREQ(value.GetBuffer(), "Quarrow. Jigcrafter 3.0 (Remove Only)");
    ASSERT_TRUE(RegReadString((key + "DisplayIcon").c_str(), kRegLocalMachine, value));
    EXPECT_EQ(std::string(value.GetBuffer()), dest + "QWUninstall.exe,0");
    ASSERT_TRUE(RegReadString((key + "UninstallString").c_str(), kRegLocalMachine, value));
    EXPECT_EQ(std::string(value.GetBuffer()), dest + "QWUninstall.exe");
    qwp::ShellLink link;
    ASSERT_TRUE(qwp::ReadShellLink((group + "Uninstall Jigcrafter 3.0.desktop").c_str(), link));
    EXPECT_EQ(link.target, dest + "QWUninstall.exe");
}

void ExpectDirectReplay(const std::string& installedPicture)
{
    const std::string sample = qwtest::SourceDir() + "/samples/";
    qwtest::TempDir direct;
    std::string out = RunHost("--module " + Quoted(Bin("QWJigcrafter30.8bf")) + " --input " + Quoted(sample + "sample.png") +
                                  " --layout " + Quoted(sample + "sample.layout") + " --data-dir " +
                                  Quoted(direct.File("data")) + " --output " + Quoted(direct.File("direct.png")),
                              direct.Path(), direct.Path());
    EXPECT_NE(out.find("result: 0"), std::string::npos) << out;
    std::string a, b;
    ASSERT_TRUE(qwtest::ReadWholeFile(installedPicture, a));
    ASSERT_TRUE(qwtest::ReadWholeFile(direct.File("direct.png"), b));
    EXPECT_TRUE(a == b) << "the installed module did not replay the layout of its data folder";
}

// Runs an installer program headless on the machine with its UI script; its exit status and
// what it said on its error stream.
std::string RunProgram(const std::string& program, const std::string& steps, Machine& m, const std::string& work)
{
    const std::string script = work + "/steps.uis", out = work + "/program.out";
    EXPECT_TRUE(qwtest::WriteWholeFile(script, steps));
    return System("QW_WINDOW_SYSTEM=headless QW_PREFIX_GUARD=1 QW_ROOT=" + Quoted(m.Prefix()) +
                      " QW_APPDATA='C:\\Users\\me\\AppData' QW_PROGRAMS='C:\\Users\\me\\Start Menu\\Programs'"
                      " QW_COMMON_PROGRAMS= QW_UI_SCRIPT=" + Quoted(script) + " " + Quoted(program),
                  out);
}

// The setup's start-up over the package of the built QWSetup.
struct RealSetup {
    qwsetup::CApp app;
    qwtest::HeadlessUi windows{&app};
    qwsetup::CDestinationChoice choice;
    qwtest::ScriptedUI ui;
    bool started = false;

    RealSetup()
    {
        std::string program = Bin("QWSetup");
        qwp::SetResourceFileForTesting(program.c_str());
        started = app.OpenPackage();
        qwp::SetResourceFileForTesting(nullptr);
        EXPECT_TRUE(started) << app.GetRefusal().GetBuffer();
        if (started) choice.Propose(Package(), List().GetTotalSize());
    }
    CQWF_Storage& Package() { return *app.GetStorage(); }
    qwsetup::CDeployList& List() { return app.GetDeployList(); }
};

}  // namespace

// Fault runs with the product's own package: each ends with its message, nothing is reported as
// installed that is not, and nothing of the product is left (a full disk that takes "SPath.conf"
// too, after every file was written).
TEST(InstallerEndToEnd, FaultRunsEndWithAClearMessage)
{
    Machine m;
    RegisterPhotoshop(m);
    enum Kind { kFullDisk, kFolder, kRegistry };
    struct Fault {
        const char* name;
        Kind kind;
        const char* fullFile;  // the file that meets the full disk
        CInstallation::Result result;
        const char* message;  // the start of the message
    };
    for (Fault f : {Fault{"full disk", kFullDisk, "QWJigcrafter30.8bf", CInstallation::kAborted, "Error!\n\nError writing to file \""},
                    Fault{"full disk at the end", kFullDisk, "Uninstall.conf", CInstallation::kAborted,
                          "Error!\n\nError writing to file \""},
                    Fault{"failing folder creation", kFolder, nullptr, CInstallation::kFolderError,
                          "Error!\n\nError creating folder \""},
                    Fault{"denied registry key", kRegistry, nullptr, CInstallation::kAborted,
                          "Error!\n\nError writing registry key \""}}) {
        RealSetup setup;
        ASSERT_TRUE(setup.started);
        std::string dest = std::string("C:\\") + f.name + "\\";
        auto before = m.Snapshot();
        // The disk fills in the middle of the module, or once every file is written, where the
        // record is kept.
        if (f.fullFile) qwp::SetFreeSpace("C:\\", f.fullFile[0] == 'Q' ? 1 << 20 : int64_t(setup.List().GetTotalSize()) + 4000);
        if (f.kind == kFolder) qwp::SetCreateFolderFailureAfter(1);
        if (f.kind == kRegistry)
            qwp::SetRegistryDeniedKey(qwp::RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
        CInstallation install(setup.Package(), setup.List(), setup.choice, setup.ui);
        EXPECT_EQ(install.Install(dest.c_str(), true), f.result) << f.name;
        qwp::SetRegistryDeniedKey(qwp::RegRoot::LocalMachine, nullptr);
        qwp::SetFreeSpace(nullptr, -1);
        ASSERT_EQ(setup.ui.boxes.size(), 1u) << f.name;
        EXPECT_EQ(setup.ui.boxes[0].text.rfind(f.message, 0), 0u) << setup.ui.boxes[0].text;
        if (f.fullFile) {
            EXPECT_EQ(setup.ui.boxes[0].text, "Error!\n\nError writing to file \"" + dest + f.fullFile + "\"");
        }
        EXPECT_FALSE(setup.ui.progress.empty() ? false : setup.ui.progress.back() == 100.0) << f.name;
        EXPECT_EQ(Differences(before, m.Snapshot()), "") << f.name;
    }

    // A damaged package: refused at start-up.
    std::vector<qwp::ResourceBlock> blocks;
    std::string error;
    ASSERT_TRUE(qwp::ReadResourceTable(Bin("QWSetup").c_str(), blocks, error)) << error;
    ASSERT_EQ(blocks.size(), 1u);
    blocks[0].data[blocks[0].data.size() / 2] ^= 0x20;
    qwtest::TempDir dir;
    ASSERT_TRUE(qwp::WriteProgramWithResources(Bin("QWSetup").c_str(), dir.File("QWSetup").c_str(), blocks, error));
    qwp::SetResourceFileForTesting(dir.File("QWSetup").c_str());
    {
        qwsetup::CApp app;
        qwtest::HeadlessUi windows(&app);
        EXPECT_FALSE(app.OpenPackage());
    }
    qwp::SetResourceFileForTesting(nullptr);
    // The program itself says so, first, and ends with a failure.
    const std::string said = System("QW_WINDOW_SYSTEM=headless " + Quoted(dir.File("QWSetup")), dir.File("out.txt"));
    EXPECT_TRUE(said.rfind("exit 0\n", 0) != 0 && said.rfind("exit -1\n", 0) != 0) << said;
    EXPECT_EQ(said.find("Corrupt Setup File!\n\nPlease, download file again."), said.find('\n') + 1) << said;
}

// A person who starts the programs where no display opens (none named, or one that is not there,
// also when X11 is asked for) is told so and how to run them headless, and they end without
// touching the machine; a headless run whose UI script fails says why once; a headless run
// without a script, where nobody answers the window, says so, fails and leaves nothing, not even
// the machine's drive C in a fresh prefix.
TEST(InstallerEndToEnd, ProgramsThatCannotShowTheirWindowsSayWhy)
{
    Machine m;
    qwtest::TempDir work;
    auto before = m.Snapshot();
    for (const char* name : {"QWSetup", "QWUninstall"}) {
        for (const char* env : {"", "DISPLAY=:9999", "DISPLAY=:9999 QW_WINDOW_SYSTEM=x11"}) {
            const std::string said =
                System("env -u DISPLAY -u QW_WINDOW_SYSTEM -u QW_UI_SCRIPT QW_PREFIX_GUARD=1 QW_ROOT=" + Quoted(m.Prefix()) +
                           " " + env + " " + Quoted(Bin(name)),
                       work.File("out.txt"));
            const std::string where = std::string(name) + " with \"" + env + "\": " + said;
            EXPECT_NE(said.rfind("exit 0\n", 0), 0u) << where;
            EXPECT_NE(said.find(std::string(name) + ": no X11 display could be opened"), std::string::npos) << where;
            EXPECT_NE(said.find("QW_WINDOW_SYSTEM=headless"), std::string::npos) << where;
        }
        const std::string said = RunProgram(Bin(name), "window Nowhere\n", m, work.Path());
        EXPECT_EQ(said.rfind("exit 4\n", 0), 0u) << said;
        const size_t first = said.find("no window \"Nowhere\" is open");
        EXPECT_NE(first, std::string::npos) << said;
        EXPECT_EQ(said.find("no window \"Nowhere\"", first + 1), std::string::npos) << "said twice: " << said;
        const std::string fresh = work.File("fresh");
        const std::string unanswered =
            System("env -u QW_UI_SCRIPT -u QW_PREFIX_GUARD QW_WINDOW_SYSTEM=headless QW_ROOT=" + Quoted(fresh) + " " + Quoted(Bin(name)),
                   work.File("out.txt"));
        EXPECT_EQ(unanswered.rfind("exit 3\n", 0), 0u) << unanswered;
        EXPECT_NE(unanswered.find(std::string(name) + ": nobody answered"), std::string::npos) << unanswered;
        EXPECT_EQ(unanswered.find("nobody answered", unanswered.find("nobody answered") + 1), std::string::npos) << unanswered;
        EXPECT_NE(unanswered.find("QW_UI_SCRIPT"), std::string::npos) << unanswered;
        EXPECT_FALSE(std::filesystem::exists(fresh)) << name;
    }
    EXPECT_EQ(Differences(before, m.Snapshot()), "");
}

// The real programs, headless, driven through their windows: QWSetup through its pages
// (agreement, destination, install, finish), the filter loaded from where it was installed, and
// QWUninstall's Yes: the machine is as before but for a second product's shortcut, which stays.
TEST(InstallerEndToEnd, RealProgramsThroughTheirWindows)
{
    Machine m;
    RegisterPhotoshop(m);
    const std::string group = "C:\\Users\\me\\Start Menu\\Programs\\Quarrow\\";
    m.Write(group + "Other Product.lnk", "[Desktop Entry]\nType=Application\nName=Other Product\nExec=other\n");
    auto before = m.Snapshot();
    qwtest::TempDir work;

    std::string setup = RunProgram(Bin("QWSetup"),
                                   "window Main\nwait 7000\nclick Main Agree\nwait 500\nclick Main Install\n"
                                   "wait 500\nclick Main Finish\n",
                                   m, work.Path());
    EXPECT_EQ(setup, "exit 0\n");

    // The destination the setup proposed: the host's plug-in folder with the product's folder.
    const std::string dest = qwtest::kProductDestination, data = qwtest::kProductDataFolder;
    std::string module, uninstaller;
    ASSERT_TRUE(qwtest::ReadWholeFile(Bin("QWJigcrafter30.8bf"), module));
    ASSERT_TRUE(qwtest::ReadWholeFile(Bin("QWUninstall"), uninstaller));
    EXPECT_TRUE(m.Read(dest + "QWJigcrafter30.8bf") == module);
    EXPECT_TRUE(m.Read(dest + "QWUninstall.exe") == uninstaller);
    EXPECT_TRUE(m.Exists(dest + "resource_jw30.qws4"));
    EXPECT_TRUE(m.Exists(data + "Shape Sets\\Default Shapes.qwjk") && m.Exists(data + "Samples\\Sample Puzzle.qwjd"));
    CQWF_Storage spath;
    CQWF_String value;
    ASSERT_TRUE(spath.OpenFile((dest + "SPath.conf").c_str(), CQWF_Storage::kModeRead));
    ASSERT_TRUE(spath.GetString("SPath", value));
    EXPECT_EQ(std::string(value.GetBuffer()), data);
    spath.Close();
    CQWF_Storage record;
    ASSERT_TRUE(record.OpenFile((dest + "Uninstall.conf").c_str(), CQWF_Storage::kModeRead));
    ASSERT_TRUE(record.GetString("ShortcutGroup", value));
    EXPECT_STREQ(value.GetBuffer(), "Quarrow");
    uint32_t total = 0;
    EXPECT_TRUE(record.GetDWord("TotalFiles", total));
    EXPECT_EQ(total, RealSetup().List().GetEntryCount() + 2);  // the package's files, the record, SPath.conf
    record.Close();
    ASSERT_NO_FATAL_FAILURE(ExpectUninstallEntry(dest, group));
    qwp::ShellLink link;
    ASSERT_TRUE(qwp::ReadShellLink((group + "Sample Puzzle.desktop").c_str(), link));
    EXPECT_EQ(link.target, data + "Samples\\Sample Puzzle.qwjd");

    // The installed module, run by the test host, takes its data folder from "SPath.conf": the
    // layout put there as "last.data" is replayed as when it is handed over directly.
    std::string sample = qwtest::SourceDir() + "/samples/", layout;
    ASSERT_TRUE(qwtest::ReadWholeFile(sample + "sample.layout", layout));
    m.Write(data + "last.data", layout);
    std::string installed = RunHost("--module " + Quoted(m.Host(dest + "QWJigcrafter30.8bf")) + " --input " +
                                        Quoted(sample + "sample.png") + " --output " + Quoted(work.File("installed.png")),
                                    m.Prefix(), work.Path());
    EXPECT_NE(installed.find("result: 0"), std::string::npos) << installed;
    EXPECT_NE(installed.find("faults: 0"), std::string::npos) << installed;
    ExpectDirectReplay(work.File("installed.png"));
    // A replay changes the picture: a run without a layout leaves it as it was.
    RunHost("--module " + Quoted(Bin("QWJigcrafter30.8bf")) + " --input " + Quoted(sample + "sample.png") + " --data-dir " +
                Quoted(work.File("empty")) + " --output-always --output " + Quoted(work.File("plain.png")),
            m.Prefix(), work.Path());
    std::string replayed, plain;
    ASSERT_TRUE(qwtest::ReadWholeFile(work.File("installed.png"), replayed));
    ASSERT_TRUE(qwtest::ReadWholeFile(work.File("plain.png"), plain));
    EXPECT_TRUE(replayed != plain);

    // QWUninstall, started as the uninstall list starts it (from another folder), asked Yes; its
    // batch runs on in a process of its own after the program ended (a bounded wait for it).
    std::string uninstall =
        RunProgram(m.Host(dest + "QWUninstall.exe"), "window Info\nwait 200\nclick Info Info_YES\n", m, work.Path());
    EXPECT_EQ(uninstall, "exit 0\n");
    for (int i = 0; i < 6000 && m.Exists(dest); ++i) usleep(10000);
    EXPECT_EQ(Differences(before, m.Snapshot()), "");
    EXPECT_TRUE(m.Exists(group + "Other Product.lnk"));
}

namespace {
// An ordinary user of this machine: the one running the tests, or, for a test run as root, a user
// id of nobody's (no account needed, one per test process) that the programs run as through
// setpriv. Commands run with a home of their own and nothing of the tests' environment but the
// sanitizers' options.
struct OrdinaryUser {
    uid_t uid = getuid();
    gid_t gid = getgid();
    bool dropped = geteuid() == 0;
    std::string home;

    explicit OrdinaryUser(const std::string& homeFolder) : home(homeFolder)
    {
        if (dropped) {
            // One of this test process's own: test runs beside this one (of other checkouts) own
            // their files under theirs, which the look for files left elsewhere must not count.
            uid = 100000 + static_cast<uid_t>(getpid());
            while (getpwuid(uid) || getgrgid(uid)) ++uid;
            gid = uid;
        }
        std::filesystem::create_directory(home);
        Own(home);
        std::filesystem::permissions(home, std::filesystem::perms::owner_all);
    }
    void Own(const std::string& path) const
    {
        if (dropped) {
            EXPECT_EQ(chown(path.c_str(), uid, gid), 0) << path;
        }
    }
    // The command line as this user runs it from the home, at most two minutes.
    std::string Command(const std::string& program, const std::string& arguments, const std::string& extra = "") const
    {
        std::string env = "env -i HOME=" + Quoted(home) + " PATH=/usr/bin:/bin QW_WINDOW_SYSTEM=headless " + extra;
        for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
            if (const char* value = std::getenv(name)) env += std::string(" ") + name + "=" + Quoted(value);
        std::string as = dropped ? "setpriv --reuid=" + std::to_string(uid) + " --regid=" + std::to_string(gid) +
                                       " --clear-groups -- "
                                 : "";
        return "cd " + Quoted(home) + " && timeout 120 " + env + " " + as + Quoted(program) + " " + arguments;
    }
};

// Every file and folder below a folder, as the Machine's snapshot takes them.
std::map<std::string, std::string> Tree(const std::string& folder) { return Machine::SnapshotOf(folder); }
}  // namespace

// The programs as an ordinary user runs them: not root, a fresh home and the default folders (no
// prefix, registry, data or menu folder named), headless. A setup the user cancels leaves the
// home empty; the next one installs to the folder it proposes on the machine's drive C, the
// product's menu entries are desktop entries, the filter runs from where it was installed, the
// setup runs once more over it, and one uninstall leaves the home empty again: not even the
// folders that stand for drive C stay. A user run by the tests as root owns nothing outside the
// test's folder afterwards.
TEST(InstallerEndToEnd, OrdinaryUserWithAFreshHomeAndTheDefaultFolders)
{
    qwtest::TempDir work;
    using std::filesystem::perms;
    const perms readable =
        perms::owner_all | perms::group_read | perms::group_exec | perms::others_read | perms::others_exec;
    std::filesystem::permissions(work.Path(), readable);
    OrdinaryUser user(work.File("home"));
    // What the user owns where else it could write, before (a run of the tests that ended early
    // may have left something).
    auto ownedElsewhere = [&] {
        std::string found = System("find /tmp /var/tmp /dev/shm -xdev -user " + std::to_string(user.uid) + " -not -path " +
                                       Quoted(work.Path() + "/*") + " -print | sort",
                                   work.File("find.out"));
        return found.substr(found.find('\n') + 1);
    };
    const std::string ownedBefore = user.dropped ? ownedElsewhere() : "";
    // The programs and the picture where the user can read them, whatever the checkout allows.
    for (const char* name : {"QWSetup", "qwhost"}) {
        std::filesystem::copy_file(Bin(name), work.File(name));
        std::filesystem::permissions(work.File(name), readable);
    }
    const std::string sample = qwtest::SourceDir() + "/samples/";
    std::filesystem::copy_file(sample + "sample.png", work.File("sample.png"));
    std::filesystem::permissions(work.File("sample.png"), perms::others_read, std::filesystem::perm_options::add);
    auto runSetup = [&](const std::string& steps) {
        EXPECT_TRUE(qwtest::WriteWholeFile(work.File("steps.uis"), steps));
        std::filesystem::permissions(work.File("steps.uis"), perms::others_read, std::filesystem::perm_options::add);
        return System(user.Command(work.File("QWSetup"), "", "QW_UI_SCRIPT=" + Quoted(work.File("steps.uis"))),
                      work.File("program.out"));
    };

    // A setup cancelled on the agreement page leaves nothing (the machine's drive C it made goes
    // again).
    EXPECT_EQ(runSetup("window Main\nwait 7000\nclick Main Cancel\n"), "exit 0\n");
    const std::string share = "/.local/share/", drives = share + "qwjigcrafter/drives/";
    auto before = Tree(user.home);
    EXPECT_EQ(Differences(before, {}), "");

    // The setup through its pages: the proposal on drive C with the space known, Install.
    const std::string install = "window Main\nwait 7000\nclick Main Agree\nwait 500\n"
                                "text Main Destination \"C:\\\\Jigcrafter 3.0\\\\\"\nclick Main Install\n"
                                "text Main InstStatus \"Setup complete\"\nclick Main Finish\n";
    EXPECT_EQ(runSetup(install), "exit 0\n");
    const std::string dest = user.home + drives + "c/Jigcrafter 3.0/", data = user.home + share + "Jigcrafter 3.0/";
    std::string module, installed;
    ASSERT_TRUE(qwtest::ReadWholeFile(Bin("QWJigcrafter30.8bf"), module));
    ASSERT_TRUE(qwtest::ReadWholeFile(dest + "QWJigcrafter30.8bf", installed));
    EXPECT_TRUE(installed == module);
    EXPECT_TRUE(std::filesystem::exists(data + "Samples/Sample Puzzle.qwjd"));
    // The menu: desktop entries in the group below the user's applications folder.
    const std::string group = user.home + share + "applications/Quarrow/";
    std::set<std::string> entries;
    for (auto& e : std::filesystem::directory_iterator(group)) entries.insert(e.path().filename().string());
    EXPECT_EQ(entries, (std::set<std::string>{"Sample Puzzle.desktop", "Uninstall Jigcrafter 3.0.desktop"}));
    std::string entry;
    ASSERT_TRUE(qwtest::ReadWholeFile(group + "Uninstall Jigcrafter 3.0.desktop", entry));
    EXPECT_EQ(entry.rfind("[Desktop Entry]\nType=Application\n", 0), 0u) << entry;
    EXPECT_NE(entry.find("\nExec=\"" + dest + "QWUninstall.exe\"\n"), std::string::npos) << entry;

    // The test host as the user loads the installed module, which takes its data folder from
    // "SPath.conf": the layout put there is replayed as when it is handed over directly.
    std::string layout;
    ASSERT_TRUE(qwtest::ReadWholeFile(sample + "sample.layout", layout));
    ASSERT_TRUE(qwtest::WriteWholeFile(data + "last.data", layout));
    user.Own(data + "last.data");
    std::filesystem::create_directory(work.File("out"));
    user.Own(work.File("out"));
    std::string host = System(user.Command(work.File("qwhost"), "--module " + Quoted(dest + "QWJigcrafter30.8bf") +
                                                                    " --input " + Quoted(work.File("sample.png")) +
                                                                    " --output " + Quoted(work.File("out/installed.png"))),
                              work.File("host.out"));
    EXPECT_NE(host.find("result: 0"), std::string::npos) << host;
    ExpectDirectReplay(work.File("out/installed.png"));

    // The setup once more over the installation: it installs as before, and what the first run
    // made stays in its record.
    EXPECT_EQ(runSetup(install), "exit 0\n");
    ASSERT_TRUE(qwtest::ReadWholeFile(dest + "QWJigcrafter30.8bf", installed));
    EXPECT_TRUE(installed == module);

    // The uninstall program from the menu's entry, Yes: its batch runs on after it has ended (a
    // bounded wait for the home to be as before).
    EXPECT_TRUE(qwtest::WriteWholeFile(work.File("steps.uis"), "window Info\nwait 200\nclick Info Info_YES\n"));
    EXPECT_EQ(System(user.Command(dest + "QWUninstall.exe", "", "QW_UI_SCRIPT=" + Quoted(work.File("steps.uis"))),
                     work.File("program.out")),
              "exit 0\n");
    for (int i = 0; i < 6000 && !Differences(before, Tree(user.home)).empty(); ++i) usleep(10000);
    EXPECT_EQ(Differences(before, Tree(user.home)), "");

    // Nothing new of the user's anywhere else it could write.
    if (user.dropped) {
        EXPECT_EQ(ownedElsewhere(), ownedBefore);
    }
}
