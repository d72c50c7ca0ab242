// Runs arbitrary text as the uninstall's batch file through the platform's batch runner, as the
// started process runs it: in a throwaway prefix folder with the guard of destructive calls on
// and the virtual clock (retry loops wait no real time). A text the runner does not understand
// runs no line; a file or folder goes only when the text names it; nothing outside the prefix
// folder goes, also not through a link that points out of it.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "platform/qw_batch.h"
#include "platform/qw_clock.h"
#include "platform/qw_guard.h"
#include "tests/fuzz/fuzz_support.h"

using qwfuzz::Check;

namespace {
// Drive C's host folder.
std::string C() { return qwfuzz::Folder() + "/drives/c"; }

// The files and folders on drive C before each run (host paths below C), the folder outside the
// prefix and the link to it.
const char* const kFiles[] = {"A/one.txt", "A/B/two.txt", "A/QWUninstall.exe", "Keep/keep.txt"};
const char* const kFolders[] = {"A", "A/B", "E", "Keep"};

bool Exists(const std::string& hostPath)
{
    struct stat st;
    return lstat(hostPath.c_str(), &st) == 0;
}

void MakeFixture()
{
    for (const char* folder : kFolders) std::filesystem::create_directories(C() + "/" + folder);
    for (const char* file : kFiles) Check(qwfuzz::WriteFile(C() + "/" + file, nullptr, 0));
    const std::string outside = qwfuzz::Folder() + "/outside";
    std::filesystem::create_directories(outside + "/folder");
    Check(qwfuzz::WriteFile(outside + "/precious", nullptr, 0));
    if (!Exists(C() + "/link")) Check(symlink(outside.c_str(), (C() + "/link").c_str()) == 0);
}

std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The last part of a path.
std::string LastPart(const std::string& path) { return path.substr(path.rfind('/') + 1); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool once = [] {
        qwp::SetDriveRoot((qwfuzz::Folder() + "/drives").c_str());
        qwp::SetPrefixGuard(true);
        qwp::UseVirtualClock(true);
        return true;
    }();
    (void)once;
    MakeFixture();
    const std::string text(reinterpret_cast<const char*>(data), size);
    Check(qwfuzz::WriteFile(C() + "/QWRemover.bat", data, size));

    std::string error;
    const bool ran = qwp::RunBatchFile("C:\\QWRemover.bat", &error);
    Check(ran || !error.empty());

    // Nothing outside the prefix folder, whatever the text says.
    Check(Exists(qwfuzz::Folder() + "/outside/precious") && Exists(qwfuzz::Folder() + "/outside/folder"));
    const bool understood = ran || error.find("not understood") == std::string::npos;
    const std::string lower = Lower(text);
    for (const char* file : kFiles) {
        if (Exists(C() + "/" + file)) continue;
        Check(understood && lower.find(Lower(LastPart(file))) != std::string::npos);
    }
    for (const char* folder : kFolders) {
        if (Exists(C() + "/" + folder)) continue;
        Check(understood && lower.find(Lower(LastPart(folder))) != std::string::npos);
    }
    if (!understood) Check(Exists(C() + "/QWRemover.bat"));
    return 0;
}
