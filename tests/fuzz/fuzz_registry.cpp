// Reads arbitrary text as the registry file through the registry calls, makes the changes the
// setup and the uninstall make, and reads the file again. A file that is not a registry fails
// every call and is never written over; one that is read is written back whole, and writing it
// once more gives the same file (parse, write, reparse).
#include <string>
#include <vector>

#include "platform/qw_registry.h"
#include "tests/fuzz/fuzz_support.h"

using qwfuzz::Check;
using qwp::RegRoot;

namespace {
const char* const kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char* const kEntry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Fuzz Product";

std::string FileText()
{
    std::vector<uint8_t> bytes;
    Check(qwfuzz::ReadFile(qwfuzz::HostPath("registry.txt"), bytes));
    return std::string(bytes.begin(), bytes.end());
}

// The sub-keys below the key, depth first, by name, each found again by its path (every call
// reads and parses the whole file: the walk keeps to the first levels and keys, which the
// parsing of the rest does not change).
void Walk(RegRoot root, const std::string& key, int depth, size_t& keys)
{
    std::string name;
    for (uint32_t i = 0; depth < 4 && keys < 16 && qwp::RegEnumKey(root, key.c_str(), i, name); ++i) {
        ++keys;
        const std::string path = key.empty() ? name : key + "\\" + name;
        Check(qwp::RegKeyExists(root, path.c_str()));
        Walk(root, path, depth + 1, keys);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool once = [] {
        qwp::SetRegistryFileForTesting(qwfuzz::HostPath("registry.txt").c_str());
        return true;
    }();
    (void)once;
    const std::string original(reinterpret_cast<const char*>(data), size);
    Check(qwfuzz::WriteFile(qwfuzz::HostPath("registry.txt"), data, size));

    size_t keys = 0;
    for (RegRoot root : {RegRoot::ClassesRoot, RegRoot::CurrentUser, RegRoot::LocalMachine}) Walk(root, "", 0, keys);
    if (!qwp::RegCreateKey(RegRoot::LocalMachine, kUninstall)) {
        // Not a registry: nothing reads it, and it stays as it was.
        Check(keys == 0 && !qwp::RegKeyExists(RegRoot::LocalMachine, ""));
        Check(FileText() == original);
        return 0;
    }

    // The uninstall entry as the setup writes it, read back, and deleted as the uninstall does.
    const std::string text = "\"C:\\Program Files\\Fuzz\\QWUninstall.exe\"";
    Check(qwp::RegCreateKey(RegRoot::LocalMachine, kEntry));
    Check(qwp::RegSetValue(RegRoot::LocalMachine, kEntry, "UninstallString", qwp::RegType::String, text.data(),
                           text.size()));
    const uint32_t number = 0x80000001u;
    Check(qwp::RegSetValue(RegRoot::LocalMachine, kEntry, "", qwp::RegType::DWord, &number, 4));
    qwp::RegValue value;
    Check(qwp::RegGetValue(RegRoot::LocalMachine, kEntry, "UninstallString", value));
    Check(value.type == qwp::RegType::String && std::string(value.data.begin(), value.data.end()) == text);
    Check(qwp::RegGetValue(RegRoot::LocalMachine, kEntry, nullptr, value));
    Check(value.type == qwp::RegType::DWord && value.data.size() == 4 && value.data[0] == 1 && value.data[3] == 0x80);

    // Written once more without a change: the same text.
    const std::string written = FileText();
    Check(qwp::RegSetValue(RegRoot::LocalMachine, kEntry, "", qwp::RegType::DWord, &number, 4));
    Check(FileText() == written);

    std::string name;
    if (!qwp::RegEnumKey(RegRoot::LocalMachine, kEntry, 0, name)) Check(qwp::RegDeleteKey(RegRoot::LocalMachine, kEntry));
    return 0;
}
