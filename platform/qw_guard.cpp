#include "platform/qw_guard.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "platform/qw_paths.h"

namespace qwp {
namespace {
int g_guard = -1;  // -1: not set, follow the environment

// The path with "." and ".." parts folded and repeated slashes dropped (absolute paths only).
std::string Lexical(const std::string& path)
{
    std::string out;
    size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && path[i] == '/') ++i;
        size_t end = path.find('/', i);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(i, end - i);
        i = end;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            size_t cut = out.rfind('/');
            out.erase(cut == std::string::npos ? 0 : cut);
            continue;
        }
        out += '/';
        out += part;
    }
    return out.empty() ? "/" : out;
}

// Resolves the links of the folder that holds the path; the last part stays as it is, because
// deleting a link deletes the link and not its target.
std::string Resolved(const std::string& path)
{
    std::string lexical = Lexical(path);
    size_t cut = lexical.rfind('/');
    std::string folder = cut == 0 ? "/" : lexical.substr(0, cut);
    std::string last = lexical.substr(cut + 1);
    char buffer[PATH_MAX];
    if (!realpath(folder.c_str(), buffer)) return std::string();
    std::string out = buffer;
    if (out != "/") out += '/';
    return out + last;
}
}  // namespace

void SetPrefixGuard(bool on) { g_guard = on ? 1 : 0; }

bool IsPrefixGuardOn()
{
    if (g_guard >= 0) return g_guard == 1;
    const char* env = std::getenv("QW_PREFIX_GUARD");
    return env && std::strcmp(env, "1") == 0;
}

bool MayDestroy(const std::string& hostPath)
{
    if (!IsPrefixGuardOn()) return true;
    bool ok = false;
    std::string path = hostPath;
    char buffer[PATH_MAX];
    if (!path.empty() && path[0] != '/' && getcwd(buffer, sizeof buffer)) path = std::string(buffer) + "/" + path;
    if (!path.empty() && path[0] == '/') {
        std::string root = DriveRoot();
        if (realpath(root.c_str(), buffer)) {
            std::string prefix = buffer;
            std::string target = Resolved(path);
            ok = !target.empty() && prefix != "/" && target.size() > prefix.size() + 1 &&
                 target.compare(0, prefix.size(), prefix) == 0 && target[prefix.size()] == '/';
        }
    }
    if (!ok) std::fprintf(stderr, "refused: %s lies outside the prefix folder\n", hostPath.c_str());
    return ok;
}
}  // namespace qwp
