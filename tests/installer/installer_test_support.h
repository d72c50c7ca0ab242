// What the setup and uninstall tests share: a machine in a temporary prefix folder (drive C, a
// registry file, the special folders, the guard of destructive calls on, the virtual clock), a
// scripted message-box answerer, and setup packages made in memory.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_storage.h"
#include "installer/setup/setup_destination.h"
#include "installer/setup/setup_install.h"
#include "installer/setup/setup_package.h"
#include "platform/qw_clock.h"
#include "platform/qw_diskspace.h"
#include "platform/qw_guard.h"
#include "platform/qw_paths.h"
#include "platform/qw_registry.h"
#include "platform/qw_userfolders.h"
#include "support/test_support.h"

namespace qwtest {

namespace fs = std::filesystem;

// A machine of its own: "C:\" with a Program Files folder, an application-data folder and a
// Programs menu, a registry that has the uninstall list, nothing else.
class Machine {
public:
    Machine()
    {
        m_prefix = m_dir.Path() + "/drives";
        fs::create_directories(Host("C:\\Program Files"));
        fs::create_directories(Host("C:\\Users\\me\\AppData"));
        fs::create_directories(Host("C:\\Users\\me\\Start Menu\\Programs"));
        m_outer = s_current;
        s_current = this;
        Apply();
        qwp::RegCreateKey(qwp::RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    }
    ~Machine()
    {
        qwp::UseVirtualClock(false);
        qwp::SetFileSyncForTesting(true);
        qwp::SetPrefixGuard(false);
        qwp::SetRegistryDeniedKey(qwp::RegRoot::LocalMachine, nullptr);
        qwp::SetRegistryFileForTesting(nullptr);
        for (auto which : {qwp::SpecialFolder::AppData, qwp::SpecialFolder::Programs, qwp::SpecialFolder::CommonPrograms})
            qwp::SetSpecialFolderForTesting(which, nullptr);
        qwp::SetFreeSpaceForTesting(-1);
        qwp::SetFreeSpace(nullptr, -1);
        qwp::SetNewerFreeSpaceLookupMissing(false);
        qwp::SetCreateFolderFailureAfter(-1);
        qwp::SetOpenFailureAfter(-1);
        qwp::SetDriveRoot(nullptr);
        // A machine made inside another one's life hands the paths back to the outer one, which
        // would otherwise go on in the user's own folders.
        s_current = m_outer;
        if (m_outer) m_outer->Apply();
    }
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    const std::string& Prefix() const { return m_prefix; }
    // The host path of a Windows-style path on this machine.
    std::string Host(const std::string& windowsPath) const
    {
        std::string p = windowsPath;
        std::string out = m_prefix + "/" + static_cast<char>(std::tolower(static_cast<unsigned char>(p[0])));
        for (size_t i = 2; i < p.size(); ++i) out += p[i] == '\\' ? '/' : p[i];
        while (out.size() > 1 && out.back() == '/') out.pop_back();
        return out;
    }
    bool Exists(const std::string& windowsPath) const { return fs::exists(Host(windowsPath)); }
    std::string Read(const std::string& windowsPath) const
    {
        std::string bytes;
        ReadWholeFile(Host(windowsPath), bytes);
        return bytes;
    }
    void Write(const std::string& windowsPath, const std::string& bytes) const
    {
        fs::create_directories(fs::path(Host(windowsPath)).parent_path());
        ASSERT_TRUE(WriteWholeFile(Host(windowsPath), bytes));
    }
    // Every file and folder below the prefix with the contents of the files (links as what they
    // point at, not followed), for comparisons.
    std::map<std::string, std::string> Snapshot() const { return SnapshotOf(m_prefix); }
    // A folder that another process is changing meanwhile is taken as far as it can be read.
    static std::map<std::string, std::string> SnapshotOf(const std::string& folder)
    {
        std::map<std::string, std::string> all;
        std::error_code ec;
        for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::directory_entry& e = *it;
            std::string rel = e.path().string().substr(folder.size());
            std::error_code gone;
            if (e.is_symlink(gone)) {
                all[rel] = "link to " + fs::read_symlink(e.path(), gone).string();
            } else if (e.is_directory(gone)) {
                all[rel + "/"] = "";
            } else {
                std::string bytes;
                ReadWholeFile(e.path().string(), bytes);
                all[rel] = bytes;
            }
        }
        return all;
    }

private:
    // Points the platform's paths, registry and special folders at this machine.
    void Apply() const
    {
        qwp::SetDriveRoot(m_prefix.c_str());
        qwp::SetRegistryFileForTesting((m_prefix + "/registry.txt").c_str());
        qwp::SetSpecialFolderForTesting(qwp::SpecialFolder::AppData, "C:\\Users\\me\\AppData");
        qwp::SetSpecialFolderForTesting(qwp::SpecialFolder::Programs, "C:\\Users\\me\\Start Menu\\Programs");
        qwp::SetSpecialFolderForTesting(qwp::SpecialFolder::CommonPrograms, "");
        qwp::SetPrefixGuard(true);
        qwp::UseVirtualClock(true);
        // Nothing of the machine outlives the test: its files need not reach the disk.
        qwp::SetFileSyncForTesting(false);
    }

    static inline Machine* s_current = nullptr;
    Machine* m_outer = nullptr;
    TempDir m_dir;
    std::string m_prefix;
};

// The differences between two snapshots, by path ("" when there are none).
inline std::string Differences(const std::map<std::string, std::string>& a, const std::map<std::string, std::string>& b)
{
    std::string out;
    for (auto& [path, bytes] : a) {
        auto it = b.find(path);
        if (it == b.end()) out += "gone: " + path + "\n";
        else if (it->second != bytes) out += "changed: " + path + "\n";
    }
    for (auto& [path, bytes] : b)
        if (!a.count(path)) out += "new: " + path + "\n";
    return out;
}

// Message boxes answered from a script; every box shown is recorded.
class ScriptedUI : public qwsetup::CInstallerUI {
public:
    struct Box {
        std::string text, caption;
        Buttons buttons;
        Icon icon;
    };
    int MessageBox(const char* text, const char* caption, Buttons buttons, Icon icon) override
    {
        boxes.push_back(Box{text, caption, buttons, icon});
        if (answers.empty()) return buttons == kButtonsOK ? kAnswerOK : kAnswerAbort;
        int a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    void SetProgress(double percent) override
    {
        EXPECT_GE(percent, last);  // the bar never moves back
        EXPECT_LE(percent, 100.0);
        last = percent;
        progress.push_back(percent);
    }
    std::vector<Box> boxes;
    std::vector<int> answers;
    std::vector<double> progress;
    double last = 0;
};

// A host image editor with its plug-in folder, as the setup looks for one.
inline void RegisterPhotoshop(Machine& m)
{
    const char* key = "SOFTWARE\\Adobe\\Photoshop\\10.0\\PluginPath";
    const std::string folder = "C:\\Program Files\\Adobe\\Photoshop 10\\Plug-ins";
    ASSERT_TRUE(qwp::RegCreateKey(qwp::RegRoot::LocalMachine, key));
    ASSERT_TRUE(qwp::RegSetValue(qwp::RegRoot::LocalMachine, key, "", qwp::RegType::String, folder.data(), folder.size()));
    fs::create_directories(m.Host(folder));
}

// Where the setup installs the product's own package on such a machine, and its data folder.
inline const char* const kProductDestination = "C:\\Program Files\\Adobe\\Photoshop 10\\Plug-ins\\Jigcrafter 3.0\\";
inline const char* const kProductDataFolder = "C:\\Users\\me\\AppData\\Jigcrafter 3.0\\";

struct Entry {
    std::string name, folder, icon, data;
    bool withData = true;  // false: the "file_" key is missing
};

// A setup package: product texts and deploy entries, as qwsetuppack writes them.
inline std::string MakePackage(const std::map<std::string, std::string>& texts, const std::vector<Entry>& entries)
{
    TempDir dir;
    std::string win = qwp::ToWindowsPath(dir.File("p.qws4").c_str());
    {
        CQWF_Storage s;
        EXPECT_TRUE(s.OpenFile(win.c_str(), CQWF_Storage::kModeCreate));
        s.CreateFolder("Product");
        s.CreateFolder("Product>Deploy");
        for (auto& [k, v] : texts) s.SetString(("Product>" + k).c_str(), v.c_str());
        s.SetDWord("Product>Deploy>TotalFiles", static_cast<uint32_t>(entries.size()));
        for (size_t i = 0; i < entries.size(); ++i) {
            char key[64];
            unsigned n = static_cast<unsigned>(i + 1);
            const Entry& e = entries[i];
            std::snprintf(key, sizeof key, "Product>Deploy>size_%02u", n);
            s.SetDWord(key, static_cast<uint32_t>(e.data.size()));
            if (e.withData) {
                // Packed as the build packs it; an empty entry is the header and an empty stream.
                CQWF_Mem packed;
                static const uint8_t kEmpty[] = {'Q', 'W', 'C', 'V', '2', '-', '0', '1', 0, 0, 0, 0, 0, 0, 0, 8,
                                                 0x78, 0xda, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
                if (e.data.empty()) {
                    packed.Alloc(sizeof kEmpty);
                    std::memcpy(packed.GetData(), kEmpty, sizeof kEmpty);
                } else {
                    CQWF_ZipBlock zip;
                    zip.SetMode(1);
                    zip.SetInput(e.data.data(), e.data.size());
                    zip.SetOutputMem(&packed);
                    EXPECT_TRUE(zip.Process());
                }
                std::snprintf(key, sizeof key, "Product>Deploy>file_%02u", n);
                s.SetBinary(key, packed.GetData(), packed.GetSize());
            }
            std::snprintf(key, sizeof key, "Product>Deploy>name_%02u", n);
            s.SetString(key, e.name.c_str());
            std::snprintf(key, sizeof key, "Product>Deploy>folder_%02u", n);
            s.SetString(key, e.folder.c_str());
            std::snprintf(key, sizeof key, "Product>Deploy>icon_%02u", n);
            s.SetString(key, e.icon.c_str());
        }
        EXPECT_TRUE(s.Close());
    }
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(dir.File("p.qws4"), bytes));
    return bytes;
}

// One setup: the package opened from memory, its deploy list and the proposal.
struct SetupRun {
    std::string bytes;
    CQWF_Storage package;
    qwsetup::CDeployList list;
    qwsetup::CDestinationChoice choice;
    ScriptedUI ui;

    SetupRun(const std::map<std::string, std::string>& texts, const std::vector<Entry>& entries)
        : bytes(qwtest::MakePackage(texts, entries))
    {
        EXPECT_TRUE(package.OpenMemory(bytes.data(), bytes.size()));
        EXPECT_TRUE(list.LoadDeployList(package));
        choice.Propose(package, list.GetTotalSize());
    }
    qwsetup::CInstallation::Result Install(const char* destination, bool icons = true)
    {
        ui.last = 0;
        ui.progress.clear();
        qwsetup::CInstallation run(package, list, choice, ui);
        run.SetFoldersMadeBefore(madeBefore.c_str());
        return run.Install(destination, icons);
    }
    std::string madeBefore;  // the folders the program made before the run
};

// The product of the setup and uninstall tests: "Jig 3", its data folder "Jig", its group
// "Quarrow"; files in the destination, a sub-folder of it, the data folder and a sub-folder of
// that, two shortcuts and the uninstall program.
inline std::map<std::string, std::string> Texts()
{
    return {{"FullProductName", "Jig 3"}, {"DefaultAdditionalFolder", "Jig"}, {"DefaultShortcutGroupName", "Quarrow"}};
}

inline std::vector<Entry> Product()
{
    return {Entry{"Jig.8bf", "", "", std::string(70000, 'm')},
            Entry{"QWUninstall.exe", "", "Uninstall Jig", "uninstaller"},
            Entry{"Empty.txt", "Docs\\Deep", "Empty", ""},
            Entry{"Shapes.qwjk", "{a}", "", "shapes"},
            Entry{"Sample.qwjd", "{a}Samples", "Sample", "sample"},
            Entry{"{u}plugin.conf", "{a}", "", ""}};
}

// A later version of the product: every file has other bytes.
inline std::vector<Entry> NewerProduct()
{
    std::vector<Entry> entries = Product();
    for (Entry& e : entries)
        if (!e.data.empty()) e.data = "newer " + e.data;
    entries[2].data = "now with text";
    return entries;
}

}  // namespace qwtest
