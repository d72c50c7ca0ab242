// The product's own setup package, as the built QWSetup carries it, installed and removed again
// on a machine in a temporary prefix folder, with the filter module run by the test host from
// where it was installed.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

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

// Runs the test host; its last line of output and its exit status.
std::string RunHost(const std::string& arguments, const std::string& prefix, const std::string& work)
{
    std::string command = "QW_ROOT=" + Quoted(prefix) + " " + Quoted(Bin("qwhost")) + " " + arguments + " > " +
                          Quoted(work + "/host.out") + " 2>&1";
    int status = std::system(command.c_str());
    std::string out;
    qwtest::ReadWholeFile(work + "/host.out", out);
    return "exit " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + "\n" + out;
}

// Runs an installer program headless on the machine with its UI script; its exit status and
// what it said on its error stream.
std::string RunProgram(const std::string& program, const std::string& steps, Machine& m, const std::string& work)
{
    const std::string script = work + "/steps.uis", out = work + "/program.out";
    EXPECT_TRUE(qwtest::WriteWholeFile(script, steps));
    std::string command = "QW_WINDOW_SYSTEM=headless QW_PREFIX_GUARD=1 QW_ROOT=" + Quoted(m.Prefix()) +
                          " QW_APPDATA='C:\\Users\\me\\AppData' QW_PROGRAMS='C:\\Users\\me\\Start Menu\\Programs'"
                          " QW_COMMON_PROGRAMS= QW_UI_SCRIPT=" + Quoted(script) + " " + Quoted(program) + " > " +
                          Quoted(out) + " 2>&1";
    int status = std::system(command.c_str());
    std::string said;
    qwtest::ReadWholeFile(out, said);
    return "exit " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + "\n" + said;
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

TEST(InstallerEndToEnd, InstallRunTheFilterAndUninstallToTheStateBefore)
{
    Machine m;
    RegisterPhotoshop(m);
    const std::string group = "C:\\Users\\me\\Start Menu\\Programs\\Quarrow\\";
    m.Write(group + "Other Product.lnk", "[Desktop Entry]\nType=Application\nName=Other Product\nExec=other\n");
    auto before = m.Snapshot();

    // The destination page: the host's plug-in folder with the product's folder, space enough.
    RealSetup setup;
    ASSERT_TRUE(setup.started);
    const std::string dest = "C:\\Program Files\\Adobe\\Photoshop 10\\Plug-ins\\Jigcrafter 3.0\\";
    EXPECT_STREQ(setup.choice.GetDefaultDestination().GetBuffer(), dest.c_str());
    CQWF_String space;
    EXPECT_TRUE(setup.choice.SpaceText(setup.choice.GetDefaultDestination(), space)) << space.GetBuffer();
    EXPECT_TRUE(setup.choice.GetAddIcons());

    // Install.
    CInstallation install(setup.Package(), setup.List(), setup.choice, setup.ui);
    ASSERT_EQ(install.Install(setup.choice.GetDefaultDestination(), setup.choice.GetAddIcons()), CInstallation::kInstalled);
    EXPECT_TRUE(setup.ui.boxes.empty());
    std::string module, uninstaller;
    ASSERT_TRUE(qwtest::ReadWholeFile(Bin("QWJigcrafter30.8bf"), module));
    ASSERT_TRUE(qwtest::ReadWholeFile(Bin("QWUninstall"), uninstaller));
    EXPECT_TRUE(m.Read(dest + "QWJigcrafter30.8bf") == module);
    EXPECT_TRUE(m.Read(dest + "QWUninstall.exe") == uninstaller);
    const std::string data = "C:\\Users\\me\\AppData\\Jigcrafter 3.0\\";
    CQWF_Storage spath;
    CQWF_String value;
    ASSERT_TRUE(spath.OpenFile((dest + "SPath.conf").c_str(), CQWF_Storage::kModeRead));
    ASSERT_TRUE(spath.GetString("SPath", value));
    EXPECT_STREQ(value.GetBuffer(), data.c_str());
    spath.Close();
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
    CQWF_Storage record;
    ASSERT_TRUE(record.OpenFile((dest + "Uninstall.conf").c_str(), CQWF_Storage::kModeRead));
    uint32_t total = 0;
    EXPECT_TRUE(record.GetDWord("TotalFiles", total));
    EXPECT_EQ(total, setup.List().GetEntryCount() + 2);
    record.Close();

    // The test host loads the installed module from there; its data folder is the SPath one: the
    // layout put there as "last.data" is replayed exactly as when it is handed over directly.
    qwtest::TempDir work;
    std::string sample = qwtest::SourceDir() + "/samples/";
    m.Write(data + "last.data", [&] {
        std::string layout;
        qwtest::ReadWholeFile(sample + "sample.layout", layout);
        return layout;
    }());
    std::string installed = RunHost("--module " + Quoted(m.Host(dest + "QWJigcrafter30.8bf")) + " --input " +
                                        Quoted(sample + "sample.png") + " --output " + Quoted(work.File("installed.png")),
                                    m.Prefix(), work.Path());
    EXPECT_NE(installed.find("result: 0"), std::string::npos) << installed;
    EXPECT_NE(installed.find("faults: 0"), std::string::npos) << installed;
    std::string direct = RunHost("--module " + Quoted(Bin("QWJigcrafter30.8bf")) + " --input " +
                                     Quoted(sample + "sample.png") + " --layout " + Quoted(sample + "sample.layout") +
                                     " --data-dir " + Quoted(work.File("data")) + " --output " +
                                     Quoted(work.File("direct.png")),
                                 m.Prefix(), work.Path());
    EXPECT_NE(direct.find("result: 0"), std::string::npos) << direct;
    std::string a, b, original;
    ASSERT_TRUE(qwtest::ReadWholeFile(work.File("installed.png"), a));
    ASSERT_TRUE(qwtest::ReadWholeFile(work.File("direct.png"), b));
    EXPECT_TRUE(a == b) << "the installed module did not replay the layout of its data folder";
    // A filter run that changes the picture (no replay would leave it as it was).
    std::string plain = RunHost("--module " + Quoted(Bin("QWJigcrafter30.8bf")) + " --input " +
                                    Quoted(sample + "sample.png") + " --data-dir " + Quoted(work.File("empty")) +
                                    " --output-always --output " + Quoted(work.File("plain.png")),
                                m.Prefix(), work.Path());
    ASSERT_TRUE(qwtest::ReadWholeFile(work.File("plain.png"), original));
    EXPECT_TRUE(a != original);

    // Uninstall, as the uninstall program does it from the installed folder: the batch runs in a
    // process of its own; the test waits until it has removed the installed folder, the last
    // thing it does (a bounded wait).
    qwuninstall::CUninstaller uninstall;
    ASSERT_TRUE(uninstall.OpenRecord((dest + "QWUninstall.exe").c_str()));
    EXPECT_STREQ(uninstall.GetInfoText().GetBuffer(), "Do you want to uninstall\nQuarrow. Jigcrafter 3.0?");
    EXPECT_TRUE(uninstall.Uninstall());
    for (int i = 0; i < 6000 && m.Exists(dest); ++i) usleep(10000);
    auto after = m.Snapshot();
    EXPECT_EQ(Differences(before, after), "");
    EXPECT_TRUE(m.Exists(group + "Other Product.lnk"));
}

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
        const char* fullFile;  // the file that lands on a full device
        CInstallation::Result result;
        const char* message;  // the start of the message
    };
    for (Fault f : {Fault{"full disk", kFullDisk, "QWUninstall.exe", CInstallation::kAborted, "Error!\n\nError writing to file \""},
                    Fault{"full disk at the end", kFullDisk, "SPath.conf", CInstallation::kAborted,
                          "Error!\n\nError writing to file \""},
                    Fault{"failing folder creation", kFolder, nullptr, CInstallation::kFolderError,
                          "Error!\n\nError creating folder \""},
                    Fault{"denied registry key", kRegistry, nullptr, CInstallation::kAborted,
                          "Error!\n\nError writing registry key \""}}) {
        RealSetup setup;
        ASSERT_TRUE(setup.started);
        std::string dest = std::string("C:\\") + f.name + "\\";
        if (f.fullFile) std::filesystem::create_directories(m.Host(dest));
        auto before = m.Snapshot();
        if (f.fullFile) std::filesystem::create_symlink("/dev/full", m.Host(dest + f.fullFile));
        if (f.kind == kFolder) qwp::SetCreateFolderFailureAfter(1);
        if (f.kind == kRegistry)
            qwp::SetRegistryDeniedKey(qwp::RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
        CInstallation install(setup.Package(), setup.List(), setup.choice, setup.ui);
        EXPECT_EQ(install.Install(dest.c_str(), true), f.result) << f.name;
        qwp::SetRegistryDeniedKey(qwp::RegRoot::LocalMachine, nullptr);
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
    // The program itself says so and ends.
    std::string out = dir.File("out.txt");
    int status = std::system((Quoted(dir.File("QWSetup")) + " 2> " + Quoted(out)).c_str());
    std::string said;
    qwtest::ReadWholeFile(out, said);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0);
    EXPECT_EQ(said.rfind("Corrupt Setup File!\n\nPlease, download file again.", 0), 0u) << said;
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

    const std::string dest = qwtest::kProductDestination, data = qwtest::kProductDataFolder;
    std::string module;
    ASSERT_TRUE(qwtest::ReadWholeFile(Bin("QWJigcrafter30.8bf"), module));
    EXPECT_TRUE(m.Read(dest + "QWJigcrafter30.8bf") == module);
    EXPECT_TRUE(m.Exists(dest + "resource_jw30.qws4") && m.Exists(dest + "QWUninstall.exe"));
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
    record.Close();
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
    std::string direct = RunHost("--module " + Quoted(Bin("QWJigcrafter30.8bf")) + " --input " +
                                     Quoted(sample + "sample.png") + " --layout " + Quoted(sample + "sample.layout") +
                                     " --data-dir " + Quoted(work.File("data")) + " --output " +
                                     Quoted(work.File("direct.png")),
                                 m.Prefix(), work.Path());
    std::string a, b;
    ASSERT_TRUE(qwtest::ReadWholeFile(work.File("installed.png"), a));
    ASSERT_TRUE(qwtest::ReadWholeFile(work.File("direct.png"), b));
    EXPECT_TRUE(a == b) << "the installed module did not replay the layout of its data folder";

    // QWUninstall, started as the uninstall list starts it (from another folder), asked Yes; its
    // batch runs on in a process of its own after the program ended (a bounded wait for it).
    std::string uninstall =
        RunProgram(m.Host(dest + "QWUninstall.exe"), "window Info\nwait 200\nclick Info Info_YES\n", m, work.Path());
    EXPECT_EQ(uninstall, "exit 0\n");
    for (int i = 0; i < 6000 && m.Exists(dest); ++i) usleep(10000);
    EXPECT_EQ(Differences(before, m.Snapshot()), "");
    EXPECT_TRUE(m.Exists(group + "Other Product.lnk"));
}
