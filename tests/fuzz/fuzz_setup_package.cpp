// Starts the setup program on arbitrary bytes as the package it carries: the program's own
// start-up (package, product texts, deploy list, its window from the package's skin) on the
// headless window system. A package that starts is installed as the window's Install button
// installs it, in a throwaway prefix folder with the guard of destructive calls on and the
// virtual clock. A package that does not start ends with the "Corrupt Setup File!" box; one that
// installs writes every deploy entry whole where the list says and records it for the uninstall;
// the files already on the machine stay as they were.
//
// The package's digest bytes (8 to 23, which the target seals) choose what else happens: links
// to the machine's own files planted where the setup writes its files, a link in the place of an
// entry's folder, a second setup over the first (with links in the places of the first one's
// files). Nothing is ever written through a link, and the second record still names the folders
// the first one made.
#include <filesystem>
#include <string>
#include <vector>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_storage.h"
#include "installer/setup/qw_installhelpers.h"
#include "framework/ui/qwf_static.h"
#include "installer/setup/setup_window.h"
#include "platform/qw_clock.h"
#include "platform/qw_guard.h"
#include "platform/qw_registry.h"
#include "platform/qw_resource.h"
#include "platform/qw_userfolders.h"
#include "platform/qw_winsys_headless.h"
#include "tests/fuzz/fuzz_support.h"

using qwfuzz::Check;
namespace fs = std::filesystem;

namespace {
// Files of the machine that the setup must leave alone.
const char* const kKept[] = {"C:\\Keep.txt", "C:\\Program Files\\Other\\other.txt",
                             "C:\\Users\\me\\Start Menu\\Programs\\Quarrow\\Other.lnk"};

std::string Host(const char* windowsPath) { return qwp::ToHostPath(windowsPath); }

void MakeMachine()
{
    std::error_code ec;
    fs::remove_all(Host("C:\\"), ec);
    fs::remove(qwfuzz::Folder() + "/drives/registry.txt", ec);
    for (const char* folder : {"C:\\Program Files", "C:\\Users\\me\\AppData", "C:\\Users\\me\\Start Menu\\Programs"})
        fs::create_directories(Host(folder));
    for (const char* file : kKept) {
        fs::create_directories(fs::path(Host(file)).parent_path());
        Check(qwfuzz::WriteFile(Host(file), reinterpret_cast<const uint8_t*>(file), std::strlen(file)));
    }
}

// The data of a deploy entry as the package holds it.
bool Unpacked(CQWF_Storage& package, const CQWF_String& key, std::vector<uint8_t>& data)
{
    CQWF_Mem packed, out;
    if (!package.GetBinary(key, packed)) return false;
    CQWF_ZipBlock zip;
    zip.SetMode(0);
    zip.SetInputMem(packed);
    zip.SetOutputMem(&out);
    if (!zip.Process()) return false;
    data.assign(out.GetData(), out.GetData() + out.GetSize());
    return true;
}

// After "Setup complete": every entry whole at its path (a later entry of the same path, or the
// record files, win), and the record lists every installed path.
void CheckInstalled(qwsetup::CApp& app)
{
    qwsetup::CWndMain& window = app.GetWindow();
    CQWF_Storage& package = *app.GetStorage();
    qwsetup::CDeployList& list = app.GetDeployList();
    const CQWF_StringArray& paths = list.GetInstalledPaths();
    Check(paths.GetCount() == list.GetEntryCount());
    // The destination as the installation made it (the folder exists: nothing is created).
    CQWF_String destination;
    Check(CQWWIN32FileSystem().CreateFolderTree(nullptr, qwinstall::WithBackslash(window.GetFieldText()), &destination));
    auto written = [&list](uint32_t i) { return !qwsetup::HasPrefix(*list.GetNames().GetStringPtr(i), "{u}"); };
    for (uint32_t i = 0; i < paths.GetCount(); ++i) {
        const CQWF_String& path = *paths.GetStringPtr(i);
        bool later = false;
        for (uint32_t k = i + 1; k < paths.GetCount(); ++k) later = later || (written(k) && path.Compare(*paths.GetStringPtr(k)) == 0);
        if (!written(i) || later || path.Compare(destination + "Uninstall.conf") == 0 ||
            path.Compare(destination + "SPath.conf") == 0)
            continue;
        std::vector<uint8_t> expected, found;
        Check(Unpacked(package, *list.GetDataKeys().GetStringPtr(i), expected));
        Check(qwfuzz::ReadFile(Host(path.GetBuffer()), found) && found == expected);
    }
    CQWF_Storage record;
    Check(record.OpenFile(destination + "Uninstall.conf", CQWF_Storage::kModeRead));
    uint32_t total = 0;
    Check(record.GetDWord("TotalFiles", total) && total == paths.GetCount() + 2);
    for (uint32_t i = 0; i < paths.GetCount(); ++i) {
        CQWF_String key, path;
        key.Format("File_%u", i);
        Check(record.GetString(key, path) && path.Compare(*paths.GetStringPtr(i)) == 0);
    }
}
}  // namespace

namespace {
enum Option : uint8_t {
    kFileLinks = 1,       // links to the kept files where the entries go
    kFolderLink = 2,      // a link to a kept folder in the place of the first entry folder
    kSecondSetup = 4,     // the setup once more after one that completed
    kLinksOverFirst = 8,  // before it, links in the places of the first setup's files
};

// A link at the host path of a Windows-style path to a kept file or folder (whatever stood there
// goes; a folder in the way is left).
void Plant(const CQWF_String& windowsPath, const char* target)
{
    std::error_code ec;
    const std::string host = Host(windowsPath.GetBuffer());
    if (fs::is_directory(fs::symlink_status(host, ec))) return;
    fs::create_directories(fs::path(host).parent_path(), ec);
    fs::remove(host, ec);
    fs::create_symlink(Host(target), host, ec);
}

// The destination the window proposes, as the installation normalises it.
CQWF_String Destination(qwsetup::CApp& app)
{
    CQWF_String destination;
    CQWWIN32FileSystem().CreateFolderTree(nullptr, qwinstall::WithBackslash(app.GetWindow().GetFieldText()), &destination);
    return destination;
}

bool Completed(qwsetup::CApp& app)
{
    const int32_t status = app.GetWindow().FindControl("InstStatus");
    const char* text = status < 0 ? nullptr : static_cast<CQWF_CtrlStatic*>(app.GetWindow().GetControl(status))->GetText();
    return text && std::strcmp(text, "Setup complete") == 0;
}

std::string RecordedLog(const CQWF_String& destination)
{
    CQWF_Storage record;
    CQWF_String log;
    if (record.OpenFile(destination + "Uninstall.conf", CQWF_Storage::kModeRead)) record.GetString("PathLog", log);
    return log.GetBuffer();
}

// One setup on the window system: started, its links planted, installed. Whether it completed;
// the destination and its record's folder log.
bool RunSetup(uint8_t options, bool second, CQWF_String& destination, std::string& log)
{
    qwp::HeadlessWindowSystem ws;
    // The shadow is drawing only, and the most of a run's time.
    ws.SetCanBlend(false);
    qwp::WindowSystem* previous = qwp::SetWindowSystem(&ws);
    auto* app = new qwsetup::CApp;
    CQWF_App::SetApp(app);
    bool completed = false;
    if (app->Open()) {
        qwsetup::CDeployList& list = app->GetDeployList();
        Check(list.GetNames().GetCount() == list.GetEntryCount() &&
              list.GetFolders().GetCount() == list.GetEntryCount() &&
              list.GetIconNames().GetCount() == list.GetEntryCount());
        destination = Destination(*app);
        const uint8_t links = second ? (options & kLinksOverFirst ? kFileLinks : 0) : options & (kFileLinks | kFolderLink);
        for (uint32_t i = 0; i < list.GetEntryCount() && destination.GetLength() > 0; ++i) {
            CQWF_String folder = *list.GetFolders().GetStringPtr(i), name = *list.GetNames().GetStringPtr(i);
            if (qwsetup::HasPrefix(folder, "{a}") || qwsetup::HasPrefix(name, "{u}")) continue;
            if (folder.GetLength() > 0 && (links & kFolderLink)) {
                Plant(destination + folder, "C:\\Program Files\\Other");
                break;
            }
            if (folder.GetLength() == 0 && (links & kFileLinks)) Plant(destination + name, "C:\\Keep.txt");
        }
        // The package files' places: only before the first setup (the second one reads the first
        // record, which a link would hide).
        if ((links & kFileLinks) && !second) {
            Plant(destination + "Uninstall.conf", "C:\\Keep.txt");
            Plant(destination + "SPath.conf", "C:\\Keep.txt");
        }
        app->GetWindow().Model().OnCommand("Install");
        completed = Completed(*app);
        if (completed) {
            CheckInstalled(*app);
            log = RecordedLog(destination);
        }
    }
    CQWF_App::SetApp(nullptr);
    delete app;
    qwp::SetWindowSystem(previous);
    return completed;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool once = [] {
        qwp::SetDriveRoot((qwfuzz::Folder() + "/drives").c_str());
        qwp::SetRegistryFileForTesting((qwfuzz::Folder() + "/drives/registry.txt").c_str());
        qwp::SetSpecialFolderForTesting(qwp::SpecialFolder::AppData, "C:\\Users\\me\\AppData");
        qwp::SetSpecialFolderForTesting(qwp::SpecialFolder::Programs, "C:\\Users\\me\\Start Menu\\Programs");
        qwp::SetSpecialFolderForTesting(qwp::SpecialFolder::CommonPrograms, "");
        qwp::SetPrefixGuard(true);
        return true;
    }();
    (void)once;
    MakeMachine();
    const uint8_t options = size > 24 ? data[8] : 0;
    std::vector<uint8_t> bytes(data, data + size);
    qwfuzz::SealPackage(bytes);
    qwp::RegisterResource("qws4", "qws4", bytes.data(), bytes.size());

    CQWF_String destination;
    std::string firstLog, secondLog;
    if (RunSetup(options, false, destination, firstLog) && (options & kSecondSetup) &&
        RunSetup(options, true, destination, secondLog)) {
        // What the first setup made and still stands is named in the second record too.
        size_t start = 0;
        for (size_t end = firstLog.find('\n'); end != std::string::npos; start = end + 1, end = firstLog.find('\n', start)) {
            const std::string folder = firstLog.substr(start, end + 1 - start);
            if (fs::is_directory(Host(folder.c_str()))) Check(secondLog.find(folder) != std::string::npos);
        }
    }
    qwp::RegisterResource("qws4", "qws4", nullptr, 0);

    for (const char* file : kKept) {
        std::vector<uint8_t> now;
        Check(qwfuzz::ReadFile(Host(file), now) && now == std::vector<uint8_t>(file, file + std::strlen(file)));
    }
    // Nothing was made where a link pointed.
    size_t inOther = 0;
    for (auto it = fs::directory_iterator(Host("C:\\Program Files\\Other")); it != fs::directory_iterator(); ++it) ++inOther;
    Check(inOther == 1);
    return 0;
}
