#include "platform/qw_module.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <link.h>
#include <unistd.h>

#include "platform/qw_paths.h"

namespace qwp {
namespace {
std::string g_override;
bool g_hasOverride = false;

struct Search {
    uintptr_t address;
    bool found;
    bool mainProgram;
    std::string name;
};

int FindObject(struct dl_phdr_info* info, size_t, void* data)
{
    Search* search = static_cast<Search*>(data);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD) continue;
        uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        if (search->address >= start && search->address < start + ph.p_memsz) {
            search->found = true;
            search->mainProgram = !info->dlpi_name || !info->dlpi_name[0];
            if (!search->mainProgram) search->name = info->dlpi_name;
            return 1;
        }
    }
    return 0;
}

std::string RealPath(const char* path)
{
    char buffer[PATH_MAX];
    if (realpath(path, buffer)) return buffer;
    return path;
}

std::string SelfExe()
{
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (n <= 0) return std::string();
    buffer[n] = 0;
    return buffer;
}

// The file of the loaded object that holds the address.
std::string HostPathOf(uintptr_t address)
{
    Search search{address, false, false, std::string()};
    dl_iterate_phdr(&FindObject, &search);
    if (search.found && !search.mainProgram && !search.name.empty()) return RealPath(search.name.c_str());
    return SelfExe();
}
}  // namespace

// The module is the caller's: the program that loads a module may lend it this very code (a
// test host shares its platform layer with the filter), so the code's own place would name the
// program.
__attribute__((noinline)) std::string ModuleHostPath()
{
    if (g_hasOverride) return ToHostPath(g_override.c_str());
    return HostPathOf(reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}

__attribute__((noinline)) std::string ModuleFileName()
{
    if (g_hasOverride) return g_override;
    std::string host = HostPathOf(reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
    if (host.empty()) return host;
    return ToWindowsPath(host.c_str());
}

void SetModuleFileNameForTesting(const char* windowsPath)
{
    g_hasOverride = windowsPath != nullptr;
    g_override = windowsPath ? windowsPath : "";
}
}  // namespace qwp
