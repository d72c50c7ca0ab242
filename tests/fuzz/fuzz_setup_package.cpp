// Starts the setup program on arbitrary bytes as the package it carries: the program's own
// start-up (package, product texts, deploy list, its window from the package's skin) on the
// headless window system. A package that starts is installed as the window's Install button
// installs it, in a throwaway prefix folder with the guard of destructive calls on and the
// virtual clock. A package that does not start ends with the "Corrupt Setup File!" box; one that
// installs writes every deploy entry whole where the list says and records it for the uninstall;
// the files already on the machine stay as they were.
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
    const int32_t status = window.FindControl("InstStatus");
    if (status < 0) return;
    const char* text = static_cast<CQWF_CtrlStatic*>(window.GetControl(status))->GetText();
    if (!text || std::strcmp(text, "Setup complete") != 0) return;
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
    std::vector<uint8_t> bytes(data, data + size);
    qwfuzz::SealPackage(bytes);
    qwp::RegisterResource("qws4", "qws4", bytes.data(), bytes.size());

    {
        qwp::HeadlessWindowSystem ws;
        qwp::WindowSystem* previous = qwp::SetWindowSystem(&ws);
        auto* app = new qwsetup::CApp;
        CQWF_App::SetApp(app);
        if (app->Open()) {
            qwsetup::CDeployList& list = app->GetDeployList();
            Check(list.GetNames().GetCount() == list.GetEntryCount() &&
                  list.GetFolders().GetCount() == list.GetEntryCount() &&
                  list.GetIconNames().GetCount() == list.GetEntryCount());
            app->GetWindow().Model().OnCommand("Install");
            CheckInstalled(*app);
        }
        CQWF_App::SetApp(nullptr);
        delete app;
        qwp::SetWindowSystem(previous);
    }
    qwp::RegisterResource("qws4", "qws4", nullptr, 0);

    for (const char* file : kKept) {
        std::vector<uint8_t> now;
        Check(qwfuzz::ReadFile(Host(file), now) && now == std::vector<uint8_t>(file, file + std::strlen(file)));
    }
    return 0;
}
