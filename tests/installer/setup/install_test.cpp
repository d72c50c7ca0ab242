#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <set>

#include "installer/installer_test_support.h"
#include "installer/setup/qw_installhelpers.h"
#include "installer/setup/setup_install.h"
#include "platform/qw_shelllink.h"

using qwsetup::CInstallation;
using qwsetup::CInstallerUI;
using qwtest::Entry;
using qwtest::Machine;
using qwtest::ScriptedUI;

namespace {
using qwtest::NewerProduct;
using qwtest::Product;
using qwtest::SetupRun;
using qwtest::Texts;

std::string RecordString(CQWF_Storage& record, const char* key)
{
    CQWF_String s = "(missing)";
    record.GetString(key, s);
    return s.GetBuffer();
}
}  // namespace

// A whole installation: every entry in its folder, the record, SPath.conf, the registry entry
// and the shortcuts; the folder log lists exactly the folders made, parents first.
TEST(Install, InstallsRecordsAndRegistersTheProduct)
{
    Machine m;
    SetupRun s(Texts(), Product());
    ASSERT_EQ(s.Install("c:\\ Tools \\Jig"), CInstallation::kInstalled);
    EXPECT_TRUE(s.ui.boxes.empty());
    EXPECT_EQ(s.ui.progress.back(), 100.0);
    EXPECT_EQ(m.Read("C:\\Tools\\Jig\\Jig.8bf"), std::string(70000, 'm'));
    EXPECT_EQ(m.Read("C:\\Tools\\Jig\\QWUninstall.exe"), "uninstaller");
    EXPECT_TRUE(m.Exists("C:\\Tools\\Jig\\Docs\\Deep\\Empty.txt"));
    EXPECT_EQ(m.Read("C:\\Tools\\Jig\\Docs\\Deep\\Empty.txt"), "");
    EXPECT_EQ(m.Read("C:\\Users\\me\\AppData\\Jig\\Shapes.qwjk"), "shapes");
    EXPECT_EQ(m.Read("C:\\Users\\me\\AppData\\Jig\\Samples\\Sample.qwjd"), "sample");
    EXPECT_FALSE(m.Exists("C:\\Users\\me\\AppData\\Jig\\plugin.conf"));

    CQWF_Storage spath;
    ASSERT_TRUE(spath.OpenFile("C:\\Tools\\Jig\\SPath.conf", CQWF_Storage::kModeRead));
    EXPECT_EQ(RecordString(spath, "SPath"), "C:\\Users\\me\\AppData\\Jig\\");

    CQWF_Storage record;
    ASSERT_TRUE(record.OpenFile("C:\\Tools\\Jig\\Uninstall.conf", CQWF_Storage::kModeRead));
    EXPECT_EQ(RecordString(record, "Product"), "Jig 3");
    EXPECT_EQ(RecordString(record, "PathLog"),
              "C:\\Tools\\\nC:\\Tools\\Jig\\\nC:\\Users\\me\\AppData\\Jig\\\nC:\\Tools\\Jig\\Docs\\\n"
              "C:\\Tools\\Jig\\Docs\\Deep\\\nC:\\Users\\me\\AppData\\Jig\\Samples\\\n");
    const char* files[] = {"C:\\Tools\\Jig\\Jig.8bf", "C:\\Tools\\Jig\\QWUninstall.exe",
                           "C:\\Tools\\Jig\\Docs\\Deep\\Empty.txt", "C:\\Users\\me\\AppData\\Jig\\Shapes.qwjk",
                           "C:\\Users\\me\\AppData\\Jig\\Samples\\Sample.qwjd", "C:\\Users\\me\\AppData\\Jig\\plugin.conf",
                           "C:\\Tools\\Jig\\Uninstall.conf", "C:\\Tools\\Jig\\SPath.conf"};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(RecordString(record, ("File_" + std::to_string(i)).c_str()), files[i]);
    uint32_t total = 0, links = 0;
    EXPECT_TRUE(record.GetDWord("TotalFiles", total) && record.GetDWord("ShortcutCount", links));
    EXPECT_EQ(total * 10 + links, 83u);
    std::string group = "C:\\Users\\me\\Start Menu\\Programs\\Quarrow\\";
    for (const auto& [key, value] : {std::pair<const char*, std::string>{"File_8", "(missing)"}, {"ShortcutGroup", "Quarrow"},
                                     {"Destination", "C:\\Tools\\Jig\\"}, {"DataFolder", "C:\\Users\\me\\AppData\\Jig\\"},
                                     {"Shortcut_1", group + "Empty.desktop"}})
        EXPECT_EQ(RecordString(record, key), value) << key;
    qwp::ShellLink link;
    ASSERT_TRUE(qwp::ReadShellLink((group + "Sample.desktop").c_str(), link));
    EXPECT_EQ(link.target, "C:\\Users\\me\\AppData\\Jig\\Samples\\Sample.qwjd");
    EXPECT_EQ(link.workingFolder, "C:\\Users\\me\\AppData\\Jig\\Samples\\");

    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Jig 3\\";
    for (const auto& [name, want] : {std::pair{"DisplayName", "Jig 3 (Remove Only)"}, {"DisplayIcon", "C:\\Tools\\Jig\\QWUninstall.exe,0"},
                                     {"UninstallString", "C:\\Tools\\Jig\\QWUninstall.exe"}}) {
        CQWF_String value;
        EXPECT_TRUE(RegReadString((key + name).c_str(), kRegLocalMachine, value)) << name;
        EXPECT_STREQ(value.GetBuffer(), want);
    }
    // The highest key the setup made on the way to its entry (the uninstall list was there).
    EXPECT_EQ(RecordString(record, "UninstallKeyCreated"), key.substr(0, key.size() - 1));
    record.Close();

    // Installed again over it: the record still names the keys, folders and group the first run
    // made, which only the uninstall takes away.
    SetupRun again(Texts(), Product());
    ASSERT_EQ(again.Install("C:\\Tools\\Jig"), CInstallation::kInstalled);
    ASSERT_TRUE(record.OpenFile("C:\\Tools\\Jig\\Uninstall.conf", CQWF_Storage::kModeRead));
    EXPECT_EQ(RecordString(record, "UninstallKeyCreated"), key.substr(0, key.size() - 1));
    EXPECT_EQ(RecordString(record, "PathLog"),
              "C:\\Tools\\\nC:\\Tools\\Jig\\\nC:\\Users\\me\\AppData\\Jig\\\nC:\\Tools\\Jig\\Docs\\\n"
              "C:\\Tools\\Jig\\Docs\\Deep\\\nC:\\Users\\me\\AppData\\Jig\\Samples\\\n");
    uint8_t created = 0;
    EXPECT_TRUE(record.GetByte("ShortcutGroupCreated", created) && created == 1);
    // Neither a made key the record names off the entry's way, nor a shortcut it names past its
    // count, is taken on.
    record.Close();
    m.Write(group + "Extra.desktop", "[Desktop Entry]\n");
    ASSERT_TRUE(record.OpenFile("C:\\Tools\\Jig\\Uninstall.conf", CQWF_Storage::kModeReadWrite));
    record.SetString("UninstallKeyCreated", "SOFTWARE\\Microsoft\\Other");
    record.SetString("Shortcut_3", (group + "Extra.desktop").c_str());
    ASSERT_TRUE(record.Close());
    SetupRun third(Texts(), Product());
    ASSERT_EQ(third.Install("C:\\Tools\\Jig"), CInstallation::kInstalled);
    ASSERT_TRUE(record.OpenFile("C:\\Tools\\Jig\\Uninstall.conf", CQWF_Storage::kModeRead));
    for (const char* key : {"UninstallKeyCreated", "Shortcut_3"}) EXPECT_EQ(RecordString(record, key), "(missing)") << key;
}

// Smaller runs: without shortcuts, without an uninstall program, without a product name, with
// nothing to install.
TEST(Install, OptionalPartsAndEmptyPackages)
{
    Machine m;
    {
        SetupRun s(Texts(), Product());
        ASSERT_EQ(s.Install("C:\\NoIcons\\", false), CInstallation::kInstalled);
        CQWF_Storage record;
        ASSERT_TRUE(record.OpenFile("C:\\NoIcons\\Uninstall.conf", CQWF_Storage::kModeRead));
        EXPECT_EQ(RecordString(record, "ShortcutGroup"), "(missing)");
        EXPECT_FALSE(m.Exists("C:\\Users\\me\\Start Menu\\Programs\\Quarrow"));
    }
    {
        SetupRun s({}, {Entry{"a.txt", "", "", "a"}});
        std::string before, after;
        qwtest::ReadWholeFile(qwp::RegistryFile(), before);
        ASSERT_EQ(s.Install("C:\\Plain"), CInstallation::kInstalled);
        qwtest::ReadWholeFile(qwp::RegistryFile(), after);
        EXPECT_EQ(after, before);
        EXPECT_TRUE(m.Exists("C:\\Plain\\SPath.conf") && m.Exists("C:\\Plain\\Uninstall.conf"));
    }
    {
        SetupRun s({}, {Entry{"QWUNINSTALL.EXE", "", "", "u"}});
        ASSERT_EQ(s.Install("C:\\Nameless"), CInstallation::kInstalled);
        CQWF_String value;
        ASSERT_TRUE(RegReadString("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\product\\DisplayName",
                                  kRegLocalMachine, value));
        EXPECT_STREQ(value.GetBuffer(), "product (Remove Only)");
    }
    {
        SetupRun s({}, {});
        ASSERT_EQ(s.Install("C:\\Nothing"), CInstallation::kInstalled);
        CQWF_Storage record;
        ASSERT_TRUE(record.OpenFile("C:\\Nothing\\Uninstall.conf", CQWF_Storage::kModeRead));
        uint32_t total = 0;
        EXPECT_TRUE(record.GetDWord("TotalFiles", total));
        EXPECT_EQ(total, 2u);
        EXPECT_EQ(s.ui.progress, (std::vector<double>{99, 100}));
    }
    {
        // Only empty entries: progress is defined (no division by a total of 0).
        SetupRun s({}, {Entry{"e1", "", "", ""}, Entry{"e2", "", "", ""}});
        ASSERT_EQ(s.Install("C:\\Empties"), CInstallation::kInstalled);
        EXPECT_EQ(s.ui.progress, (std::vector<double>{98, 98, 99, 100}));
    }
}

// Chunks: T / 25 + 1 bytes, at most 5,000,000; each chunk takes at least 50 ms; the bar climbs to
// 98 over the files.
TEST(Install, WritesInChunksWithAVisibleProgress)
{
    Machine m;
    EXPECT_EQ(CInstallation::ChunkSize(0), 1u);
    EXPECT_EQ(CInstallation::ChunkSize(2500), 101u);
    EXPECT_EQ(CInstallation::ChunkSize(uint64_t(10) << 30), 5000000u);
    SetupRun s({}, {Entry{"a", "", "", std::string(2400, 'a')}, Entry{"b", "", "", std::string(100, 'b')}});
    uint64_t before = qwp::TickCount64();
    ASSERT_EQ(s.Install("C:\\Chunks"), CInstallation::kInstalled);
    // 2400 bytes in chunks of 101: 24 chunks; 100 bytes: 1 chunk.
    ASSERT_EQ(s.ui.progress.size(), 25u + 2);
    EXPECT_DOUBLE_EQ(s.ui.progress[0], 101.0 * 98 / 2500);
    EXPECT_DOUBLE_EQ(s.ui.progress[24], 98.0);
    EXPECT_GE(qwp::TickCount64() - before, 25u * 50);
}

// Failures: each ends with its message and its result, and a failed run takes away what it
// wrote: files, folders, shortcuts and the registry entry (it left no record to remove them by).
TEST(Install, FailuresEndWithTheirMessages)
{
    Machine m;
    auto before = m.Snapshot();
    // A destination that is no drive path: the folder error, back to the destination page.
    for (const char* bad : {"\\\\server\\share\\Jig", "Jig", "Q:\\Jig"}) {
        SetupRun s(Texts(), Product());
        EXPECT_EQ(s.Install(bad), CInstallation::kFolderError) << bad;
        ASSERT_EQ(s.ui.boxes.size(), 1u);
        EXPECT_EQ(s.ui.boxes[0].text, std::string("Error!\n\nError creating folder \"") + bad + "\\\"");
        EXPECT_EQ(s.ui.boxes[0].caption, "Error!");
    }
    EXPECT_EQ(qwtest::Differences(before, m.Snapshot()), "");
    // An entry's folder cannot be made: result 2, and what the run wrote is gone (the folder it
    // found is the user's); a second run into another folder records only its own files.
    {
        SetupRun s(Texts(), Product());
        m.Write("C:\\First\\Docs", "a file where the folder should be");
        auto first = m.Snapshot();
        EXPECT_EQ(s.Install("C:\\First"), CInstallation::kFolderError);
        EXPECT_EQ(s.ui.boxes.back().text, "Error!\n\nError creating folder \"C:\\First\\Docs\\Deep\\\"");
        EXPECT_EQ(qwtest::Differences(first, m.Snapshot()), "");
        ASSERT_EQ(s.Install("C:\\Second"), CInstallation::kInstalled);
        CQWF_Storage record;
        ASSERT_TRUE(record.OpenFile("C:\\Second\\Uninstall.conf", CQWF_Storage::kModeRead));
        EXPECT_EQ(RecordString(record, "File_0"), "C:\\Second\\Jig.8bf");
        EXPECT_FALSE(m.Exists("C:\\First\\Jig.8bf"));
    }
    before = m.Snapshot();
    // A failing folder creation of the data folder.
    {
        SetupRun s(Texts(), Product());
        qwp::SetCreateFolderFailureAfter(1);  // the destination, then the data folder fails
        EXPECT_EQ(s.Install("C:\\Third"), CInstallation::kFolderError);
        EXPECT_EQ(s.ui.boxes.back().text, "Error!\n\nError creating folder \"C:\\Users\\me\\AppData\\Jig\\\"");
        EXPECT_EQ(qwtest::Differences(before, m.Snapshot()), "");
    }
    // Missing data: the internal error, aborted.
    {
        SetupRun s(Texts(), {Entry{"a", "", "", "a"}, Entry{"b", "", "", "b", false}});
        EXPECT_EQ(s.Install("C:\\Fourth"), CInstallation::kAborted);
        EXPECT_EQ(s.ui.boxes.back().text, "Internal Error. Please, report to Quarrow.");
        EXPECT_EQ(s.ui.boxes.back().caption, "Internal Error");
        EXPECT_EQ(qwtest::Differences(before, m.Snapshot()), "");
    }
    // A file that cannot be opened: Retry opens again, Abort ends; Ignore leads to the write error.
    {
        SetupRun s(Texts(), Product());
        s.ui.answers = {CInstallerUI::kAnswerRetry};
        qwp::SetOpenFailureAfter(1);  // the record of the folders made, then the first entry
        EXPECT_EQ(s.Install("C:\\Fifth"), CInstallation::kInstalled);
        ASSERT_EQ(s.ui.boxes.size(), 1u);
        EXPECT_EQ(s.ui.boxes[0].text, "Error!\n\nFile \"C:\\Fifth\\Jig.8bf\" cannot be created.");
        EXPECT_EQ(s.ui.boxes[0].buttons, CInstallerUI::kButtonsAbortRetryIgnore);
        EXPECT_EQ(s.ui.boxes[0].icon, CInstallerUI::kIconWarning);

        s.ui.boxes.clear();
        s.ui.answers = {CInstallerUI::kAnswerIgnore};
        qwp::SetOpenFailureAfter(1);
        EXPECT_EQ(s.Install("C:\\Sixth"), CInstallation::kAborted);
        ASSERT_EQ(s.ui.boxes.size(), 2u);
        EXPECT_EQ(s.ui.boxes[1].text, "Error!\n\nError writing to file \"C:\\Sixth\\Jig.8bf\"");
        EXPECT_FALSE(m.Exists("C:\\Sixth"));

        before = m.Snapshot();
        s.ui.boxes.clear();
        s.ui.answers = {CInstallerUI::kAnswerAbort};
        qwp::SetOpenFailureAfter(2);  // the second entry
        EXPECT_EQ(s.Install("C:\\Seventh"), CInstallation::kAborted);
        EXPECT_EQ(s.ui.boxes.size(), 1u);
        EXPECT_EQ(qwtest::Differences(before, m.Snapshot()), "");
    }
}

// A full disk wherever it strikes: the write fails (in the write or, for data still buffered, when
// the file is stored), the run stops with the write error naming the file, and nothing of the
// product stays: no file, folder, shortcut or registry entry (the record that could remove them
// is what failed, or was never written). Every file of the run meets the full disk at some room.
TEST(Install, FullDiskStopsTheInstallation)
{
    Machine m;
    // Without the uninstall program and shortcuts (their faults are those of the registry and
    // of links, passed over): a run is quick.
    const std::vector<Entry> product = {Entry{"Jig.8bf", "", "", std::string(150, 'm')},
                                        Entry{"Tool.exe", "", "", std::string(150, 'u')},
                                        Entry{"Shapes.qwjk", "{a}", "", std::string(150, 's')},
                                        Entry{"Sample.qwjd", "{a}Samples", "Sample", std::string(150, 'd')}};
    auto before = m.Snapshot();
    const std::string start = "Error!\n\nError writing to file \"";
    std::set<std::string> met;
    for (int64_t room = 0;; room += 61) {
        SetupRun s(Texts(), product);
        qwp::SetFreeSpace("C:\\", room);
        const CInstallation::Result result = s.Install("C:\\Full", false);
        qwp::SetFreeSpace(nullptr, -1);
        if (result == CInstallation::kInstalled) break;
        ASSERT_LT(room, 1 << 16);
        EXPECT_EQ(result, CInstallation::kAborted) << room;
        ASSERT_EQ(s.ui.boxes.size(), 1u) << room;
        const std::string& text = s.ui.boxes[0].text;
        ASSERT_EQ(text.rfind(start, 0), 0u) << text;
        met.insert(text.substr(start.size(), text.size() - start.size() - 1));
        EXPECT_NE(s.ui.progress.empty() ? 0.0 : s.ui.progress.back(), 100.0);
        EXPECT_EQ(qwtest::Differences(before, m.Snapshot()), "") << room;
    }
    EXPECT_EQ(met, (std::set<std::string>{"C:\\Full\\Jig.8bf", "C:\\Full\\Tool.exe",
                                          "C:\\Users\\me\\AppData\\Jig\\Shapes.qwjk",
                                          "C:\\Users\\me\\AppData\\Jig\\Samples\\Sample.qwjd",
                                          "C:\\Full\\SPath.conf", "C:\\Full\\Uninstall.conf"}));
}

// A registry that refuses the entry (a denied key, or a file with a key deeper than a registry
// holds): the message names the key, the run is not reported complete, and what it wrote is
// gone again; a registry file that could not be read is left as it was.
TEST(Install, RegistryFailuresAreReported)
{
    Machine m;
    std::string deep = "[HKEY_LOCAL_MACHINE";
    for (int i = 0; i < 60000; ++i) deep += "\\k";
    deep += "]\n";
    for (bool denied : {true, false}) {
        SetupRun s(Texts(), Product());
        if (denied) qwp::SetRegistryDeniedKey(qwp::RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
        else ASSERT_TRUE(qwtest::WriteWholeFile(m.Prefix() + "/registry.txt", deep));
        auto before = m.Snapshot();
        EXPECT_EQ(s.Install("C:\\Denied"), CInstallation::kAborted);
        qwp::SetRegistryDeniedKey(qwp::RegRoot::LocalMachine, nullptr);
        ASSERT_EQ(s.ui.boxes.size(), 1u);
        EXPECT_EQ(s.ui.boxes[0].text,
                  "Error!\n\nError writing registry key \"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Jig 3\"");
        EXPECT_NE(s.ui.progress.back(), 100.0);
        EXPECT_EQ(qwtest::Differences(before, m.Snapshot()), "") << denied;
    }
}


// A re-install over a working installation that fails or is aborted anywhere leaves it exactly
// as it was, byte for byte: its files (also one whose place holds a folder now), its record and
// SPath.conf, its shortcuts, its registry entry, the folders. Faults: an open that fails (each
// one of the run in turn, answered Abort), a full disk (at every room up to the run's end), a
// denied registry key. A re-install that succeeds has replaced every file.
TEST(Install, AReinstallThatFailsLeavesTheEarlierInstallationAsItWas)
{
    const char* const dest = "C:\\Jig";
    auto installed = [&](Machine& m) {
        SetupRun first(Texts(), Product());
        EXPECT_EQ(first.Install(dest), CInstallation::kInstalled);
        return m.Snapshot();
    };
    auto expectNewer = [](Machine& m) {
        EXPECT_EQ(m.Read("C:\\Jig\\Jig.8bf"), "newer " + std::string(70000, 'm'));
        EXPECT_EQ(m.Read("C:\\Jig\\Docs\\Deep\\Empty.txt"), "now with text");
    };
    {
        // The help file's place holds a folder: Abort.
        Machine m;
        installed(m);
        std::filesystem::remove(m.Host("C:\\Jig\\Docs\\Deep\\Empty.txt"));
        std::filesystem::create_directory(m.Host("C:\\Jig\\Docs\\Deep\\Empty.txt"));
        auto before = m.Snapshot();
        SetupRun again(Texts(), NewerProduct());
        again.ui.answers = {CInstallerUI::kAnswerAbort};
        EXPECT_EQ(again.Install(dest), CInstallation::kAborted);
        ASSERT_EQ(again.ui.boxes.size(), 1u);
        EXPECT_EQ(again.ui.boxes[0].text, "Error!\n\nFile \"C:\\Jig\\Docs\\Deep\\Empty.txt\" cannot be created.");
        EXPECT_EQ(qwtest::Differences(before, m.Snapshot()), "");
    }
    // Every open of the run fails in turn (the earlier record's reading too, which only loses
    // what it would have handed on), into the same folder and into another one (which shares the
    // data folder, the shortcuts and the registry entry with the earlier installation).
    for (const char* into : {dest, "C:\\Other"}) {
        // Until the failure falls past the run's last open (a link that cannot be written is
        // passed over: a run may succeed before that).
        // A run that fails leaves the machine as it was: the next one starts from there.
        auto m = std::make_unique<Machine>();
        auto before = installed(*m);
        for (long open = 0;; ++open) {
            SetupRun again(Texts(), NewerProduct());
            qwp::SetOpenFailureAfter(open);
            const CInstallation::Result result = again.Install(into);
            const bool past = qwp::OpenFailurePending();
            qwp::SetOpenFailureAfter(-1);
            if (result == CInstallation::kInstalled) {
                if (past) break;
                m.reset();
                m = std::make_unique<Machine>();
                before = installed(*m);
                continue;
            }
            ASSERT_LT(open, 100);
            EXPECT_EQ(result, CInstallation::kAborted) << into << " " << open;
            EXPECT_EQ(qwtest::Differences(before, m->Snapshot()), "") << into << " " << open;
        }
    }
    {
        Machine m;
        auto before = installed(m);
        for (int64_t room = 0;; room += 4999) {
            SetupRun again(Texts(), NewerProduct());
            qwp::SetFreeSpace("C:\\", room);
            const CInstallation::Result result = again.Install(dest);
            qwp::SetFreeSpace(nullptr, -1);
            if (result == CInstallation::kInstalled) break;
            ASSERT_LT(room, 1 << 20);
            EXPECT_EQ(qwtest::Differences(before, m.Snapshot()), "") << room;
        }
        expectNewer(m);
    }
    {
        Machine m;
        auto before = installed(m);
        SetupRun again(Texts(), NewerProduct());
        qwp::SetRegistryDeniedKey(qwp::RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Jig 3");
        EXPECT_EQ(again.Install(dest), CInstallation::kAborted);
        qwp::SetRegistryDeniedKey(qwp::RegRoot::LocalMachine, nullptr);
        EXPECT_EQ(qwtest::Differences(before, m.Snapshot()), "");
    }
}

// Links planted in the installation's folders are never written through: links in the places of
// files (the uninstall program and the record in the folder a first setup is given, then the
// module, the record, SPath.conf, a data file and a shortcut before a second one) are replaced by
// the files themselves; a link in the place of an entry's folder (the samples folder, or a folder
// on the way to one) is refused as a folder that cannot be made, with nothing made or written
// where it points; a link in the place of the shortcut group makes no shortcuts there.
TEST(Install, LinksInTheInstallationAreNeverWrittenThrough)
{
    namespace fs = std::filesystem;
    Machine m;
    const std::string docs = "C:\\Users\\me\\Documents", group = "C:\\Users\\me\\Start Menu\\Programs\\Quarrow";
    m.Write(docs + "\\letter.txt", "letter");
    auto documents = [&] { return Machine::SnapshotOf(m.Host(docs)); };
    const auto letters = documents();
    auto plant = [&](const std::string& path) {
        fs::remove(m.Host(path));
        fs::create_symlink(m.Host(docs + "\\letter.txt"), m.Host(path));
    };
    fs::create_directories(m.Host("C:\\Jig"));
    plant("C:\\Jig\\QWUninstall.exe");
    plant("C:\\Jig\\Uninstall.conf");
    SetupRun first(Texts(), Product());
    ASSERT_EQ(first.Install("C:\\Jig"), CInstallation::kInstalled);
    EXPECT_EQ(qwtest::Differences(letters, documents()), "");
    EXPECT_FALSE(fs::is_symlink(m.Host("C:\\Jig\\QWUninstall.exe")));
    EXPECT_EQ(m.Read("C:\\Jig\\QWUninstall.exe"), "uninstaller");

    for (const std::string& path : {std::string("C:\\Jig\\Jig.8bf"), std::string("C:\\Jig\\Uninstall.conf"),
                                    std::string("C:\\Jig\\SPath.conf"), std::string("C:\\Users\\me\\AppData\\Jig\\Shapes.qwjk"),
                                    group + "\\Sample.desktop"})
        plant(path);
    SetupRun second(Texts(), NewerProduct());
    ASSERT_EQ(second.Install("C:\\Jig"), CInstallation::kInstalled);
    EXPECT_EQ(qwtest::Differences(letters, documents()), "");
    EXPECT_EQ(m.Read("C:\\Jig\\Jig.8bf"), "newer " + std::string(70000, 'm'));
    EXPECT_EQ(m.Read("C:\\Users\\me\\AppData\\Jig\\Shapes.qwjk"), "newer shapes");
    for (const std::string& path : {std::string("C:\\Jig\\Uninstall.conf"), std::string("C:\\Jig\\SPath.conf"), group + "\\Sample.desktop"})
        EXPECT_FALSE(fs::is_symlink(m.Host(path))) << path;

    // Folders.
    struct FolderLink {
        const char* folder;     // replaced by a link to the documents
        const char* refused;    // the folder the message names
    };
    for (const FolderLink& f : {FolderLink{"C:\\Users\\me\\AppData\\Jig\\Samples", "C:\\Users\\me\\AppData\\Jig\\Samples\\"},
                                FolderLink{"C:\\Jig\\Docs", "C:\\Jig\\Docs\\Deep\\"}}) {
        Machine fresh;
        fresh.Write(docs + "\\letter.txt", "letter");
        SetupRun s(Texts(), Product());
        ASSERT_EQ(s.Install("C:\\Jig"), CInstallation::kInstalled);
        fs::remove_all(fresh.Host(f.folder));
        fs::create_directory_symlink(fresh.Host(docs), fresh.Host(f.folder));
        auto before = fresh.Snapshot();
        SetupRun again(Texts(), NewerProduct());
        EXPECT_EQ(again.Install("C:\\Jig"), CInstallation::kFolderError) << f.folder;
        ASSERT_EQ(again.ui.boxes.size(), 1u);
        EXPECT_EQ(again.ui.boxes[0].text, std::string("Error!\n\nError creating folder \"") + f.refused + "\"");
        EXPECT_EQ(qwtest::Differences(before, fresh.Snapshot()), "") << f.folder;
    }
    // The machines made above have ended: the paths are this machine's again.
    ASSERT_EQ(qwp::ToHostPath("C:\\Jig"), m.Host("C:\\Jig"));
    fs::remove_all(m.Host(group));
    fs::create_directory_symlink(m.Host(docs), m.Host(group));
    SetupRun third(Texts(), Product());
    ASSERT_EQ(third.Install("C:\\Jig"), CInstallation::kInstalled);
    EXPECT_EQ(qwtest::Differences(letters, documents()), "");
}
