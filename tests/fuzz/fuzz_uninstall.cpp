// Opens arbitrary bytes as the uninstall record "Uninstall.conf" of an installation, the way the
// uninstall program opens it, and runs the whole removal as its "Yes" does: shortcuts, registry
// entry, and the batch file, run here as the started process would run it. All of it happens in
// a throwaway prefix folder with the guard of destructive calls on and the virtual clock. Beside
// the installation lie another product's files, link and registry entry, and a key of the
// system's. A file, link or folder goes only when the record names it; the batch file the
// uninstall writes is always understood by the runner; the other product's registry entry and
// the system's key stay.
//
// The record's digest bytes (8 to 23, which the uninstall does not read) choose what else lies
// there: a "QWRemover.bat" link to a file of the machine, a link to another product's folder
// inside the installation, a second installation of the product elsewhere (which its registry
// entry names now). Whatever the record says, the other product's files and link, the machine's
// files and the second installation stay, and nothing is written through a link.
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "framework/core/qwf_storage.h"
#include "installer/uninstall/uninstall_plan.h"
#include "platform/qw_batch.h"
#include "platform/qw_clock.h"
#include "platform/qw_guard.h"
#include "platform/qw_process.h"
#include "platform/qw_registry.h"
#include "platform/qw_shelllink.h"
#include "platform/qw_userfolders.h"
#include "tests/fuzz/fuzz_support.h"

using qwfuzz::Check;
namespace fs = std::filesystem;

namespace {
const char* const kProgram = "C:\\Program Files\\Jig\\QWUninstall.exe";
const char* const kRecord = "C:\\Program Files\\Jig\\Uninstall.conf";
const char* const kPrograms = "C:\\Users\\me\\Start Menu\\Programs";
const char* const kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// What lies on drive C before each run; the record is written in between.
const char* const kFiles[] = {
    "C:\\Program Files\\Jig\\Jig.8bf",
    "C:\\Program Files\\Jig\\QWUninstall.exe",
    "C:\\Program Files\\Jig\\Sub\\a.txt",
    "C:\\Users\\me\\AppData\\Jig\\plugin.conf",
    "C:\\Program Files\\Other\\other.txt",
    "C:\\Users\\me\\Start Menu\\Programs\\Quarrow\\Jig.lnk",
    "C:\\Users\\me\\Start Menu\\Programs\\Quarrow\\Other.lnk",
    "C:\\Keep.txt",
    "C:\\Second\\Jig\\Jig.8bf",
};
// Of these, the files that are not the installation's: they always stay, with their bytes.
const char* const kOthers[] = {"C:\\Program Files\\Other\\other.txt",
                               "C:\\Users\\me\\Start Menu\\Programs\\Quarrow\\Other.lnk", "C:\\Keep.txt",
                               "C:\\Second\\Jig\\Jig.8bf"};
enum Option : uint8_t {
    kBatchLink = 1,     // "QWRemover.bat" is a link to C:\Keep.txt
    kFolderLink = 2,    // "Docs" in the installation is a link to the other product's folder
    kSecondInstall = 4, // the product's registry entry names the installation in C:\Second\Jig
};
const char* const kFolders[] = {
    "C:\\Program Files", "C:\\Program Files\\Jig\\Sub", "C:\\Users\\me\\AppData",
    "C:\\Program Files\\Other", "C:\\Users\\me\\Start Menu\\Programs\\Quarrow",
};
const char* const kRegistry =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep]\n"
    "@=sz:system\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Jig]\n"
    "UninstallString=sz:C:\\Program Files\\Jig\\QWUninstall.exe\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Jig\\Sub]\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other]\n"
    "UninstallString=sz:\"C:\\Program Files\\Other\\QWUninstall.exe\" /x\n";

std::string Host(const std::string& windowsPath) { return fs::path(qwp::ToHostPath(windowsPath.c_str())).lexically_normal().string(); }

// The batch file started by the uninstall runs at once, here.
struct InProcess : qwp::ProcessStarter {
    int started = 0;
    bool ran = false;
    std::string error;
    bool Start(const qwp::ProcessRequest& request) override
    {
        ++started;
        const std::vector<std::string> args = qwp::SplitCommandLine(request.commandLine);
        Check(args.size() == 1);
        ran = qwp::RunBatchFile(args[0].c_str(), &error);
        return true;
    }
};

// The host paths the record names under a key family ("File_%u", "Shortcut_%u"), as far as its
// count goes (bounded: the record cannot hold more entries than it has).
void Named(CQWF_Storage& record, const char* countKey, const char* format, std::vector<std::string>& out)
{
    uint32_t count = 0;
    if (!record.GetDWord(countKey, count)) return;
    for (uint32_t i = 0; i < count && i <= record.GetEntryCount(); ++i) {
        char key[32];
        std::snprintf(key, sizeof key, format, i);
        CQWF_String path;
        if (record.GetString(key, path)) out.push_back(Host(path.GetBuffer()));
    }
}

bool Listed(const std::vector<std::string>& named, const std::string& hostPath)
{
    for (const std::string& n : named)
        if (n == hostPath) return true;
    return false;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static InProcess starter;
    static const bool once = [] {
        qwp::SetDriveRoot((qwfuzz::Folder() + "/drives").c_str());
        qwp::SetRegistryFileForTesting((qwfuzz::Folder() + "/drives/registry.txt").c_str());
        qwp::SetSpecialFolderForTesting(qwp::SpecialFolder::AppData, "C:\\Users\\me\\AppData");
        qwp::SetSpecialFolderForTesting(qwp::SpecialFolder::Programs, kPrograms);
        qwp::SetSpecialFolderForTesting(qwp::SpecialFolder::CommonPrograms, "");
        qwp::SetPrefixGuard(true);
        qwp::UseVirtualClock(true);
        qwp::SetProcessStarter(&starter);
        return true;
    }();
    (void)once;

    // The machine as the setup left it, and the record.
    const uint8_t options = size > 24 ? data[8] : 0;
    std::error_code ec;
    fs::remove(Host("C:\\Program Files\\Jig\\QWRemover.bat"), ec);
    fs::remove(Host("C:\\Program Files\\Jig\\Docs"), ec);
    for (const char* folder : kFolders) fs::create_directories(Host(folder));
    for (const char* file : kFiles) {
        fs::create_directories(fs::path(Host(file)).parent_path());
        Check(qwfuzz::WriteFile(Host(file), reinterpret_cast<const uint8_t*>(file), std::strlen(file)));
    }
    // The shortcuts as the setup writes them: the product's, another product's.
    for (const char* link : {"Jig.lnk", "Other.lnk"}) {
        qwp::ShellLink l;
        l.target = link[0] == 'J' ? kFiles[0] : kFiles[4];
        Check(qwp::WriteShellLink((std::string(kPrograms) + "\\Quarrow\\" + link).c_str(), l));
    }
    if (options & kBatchLink) fs::create_symlink(Host("C:\\Keep.txt"), Host("C:\\Program Files\\Jig\\QWRemover.bat"));
    if (options & kFolderLink) fs::create_directory_symlink(Host("C:\\Program Files\\Other"), Host("C:\\Program Files\\Jig\\Docs"));
    std::string registry = kRegistry;
    if (options & kSecondInstall) {
        const size_t at = registry.find("C:\\Program Files\\Jig\\QWUninstall.exe");
        registry.replace(at, std::strlen("C:\\Program Files\\Jig\\QWUninstall.exe"), "C:\\Second\\Jig\\QWUninstall.exe");
    }
    Check(qwfuzz::WriteFile(qwfuzz::Folder() + "/drives/registry.txt", reinterpret_cast<const uint8_t*>(registry.data()),
                            registry.size()));
    std::map<std::string, std::vector<uint8_t>> others;
    for (const char* file : kOthers) Check(qwfuzz::ReadFile(Host(file), others[file]));
    Check(qwfuzz::WriteFile(Host(kRecord), data, size));
    std::vector<std::string> named;
    {
        CQWF_Storage record;
        if (record.OpenFile(kRecord, CQWF_Storage::kModeRead)) {
            Named(record, "TotalFiles", "File_%u", named);
            Named(record, "ShortcutCount", "Shortcut_%u", named);
        }
    }

    // The dialog's text, then "Yes".
    starter.started = 0;
    qwuninstall::CUninstaller uninstaller;
    uninstaller.SetProductNames("Jig", "Quarrow");
    const bool opened = uninstaller.OpenRecord(kProgram);
    Check(uninstaller.GetInfoText().GetLength() > 0);
    if (opened) uninstaller.Uninstall();
    Check(starter.started <= 1);
    if (starter.started) Check(starter.ran || starter.error.find("not understood") == std::string::npos);

    for (const char* file : kFiles)
        if (!fs::exists(Host(file))) Check(Listed(named, Host(file)));
    for (const char* folder : kFolders)
        if (!fs::exists(Host(folder))) Check(opened);
    for (const char* file : kOthers) {
        std::vector<uint8_t> now;
        Check(qwfuzz::ReadFile(Host(file), now) && now == others[file]);
    }
    if (options & kSecondInstall)
        Check(qwp::RegKeyExists(qwp::RegRoot::LocalMachine, (std::string(kUninstallKey) + "\\Jig").c_str()));
    Check(qwp::RegKeyExists(qwp::RegRoot::LocalMachine, "SOFTWARE\\Keep"));
    Check(qwp::RegKeyExists(qwp::RegRoot::LocalMachine, (std::string(kUninstallKey) + "\\Other").c_str()));
    return 0;
}
