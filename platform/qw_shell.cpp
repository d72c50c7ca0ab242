#include "platform/qw_shell.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/qw_paths.h"

namespace qwp {
namespace {

// Finds an executable on PATH (before forking: the child then only calls exec).
std::string FindOnPath(const char* program)
{
    const char* path = std::getenv("PATH");
    if (!path || !*path) path = "/usr/local/bin:/usr/bin:/bin";
    const char* start = path;
    for (;;) {
        const char* end = std::strchr(start, ':');
        size_t n = end ? static_cast<size_t>(end - start) : std::strlen(start);
        std::string full;
        if (n == 0) {
            full.push_back('.');
        } else {
            full.append(start, n);
        }
        full.push_back('/');
        full.append(program);
        if (access(full.c_str(), X_OK) == 0) return full;
        if (!end) break;
        start = end + 1;
    }
    return std::string();
}

class XdgOpener : public ShellOpener {
public:
    bool Open(const std::string& target) override
    {
        std::string opener = FindOnPath("xdg-open");
        if (opener.empty()) return false;
        char* argv[] = {const_cast<char*>(opener.c_str()), const_cast<char*>(target.c_str()), nullptr};
        pid_t child = fork();
        if (child < 0) return false;
        if (child == 0) {
            // Detach: a new session, and a grandchild that the init process reaps.
            setsid();
            pid_t grandchild = fork();
            if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
            int devnull = open("/dev/null", O_RDWR);
            if (devnull >= 0) {
                dup2(devnull, 0);
                dup2(devnull, 1);
                dup2(devnull, 2);
                if (devnull > 2) close(devnull);
            }
            execv(argv[0], argv);
            _exit(127);
        }
        int status = 0;
        while (waitpid(child, &status, 0) < 0) {
            if (errno != EINTR) return false;
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
};

XdgOpener g_xdgOpener;
ShellOpener* g_opener = nullptr;

bool IsLink(const char* text)
{
    // "scheme:" of two or more letters (a single letter is a drive).
    size_t i = 0;
    if (!std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    while (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '+' || text[i] == '-' ||
           text[i] == '.')
        ++i;
    return i >= 2 && text[i] == ':';
}
}  // namespace

std::string ShellTarget(const char* pathOrLink)
{
    if (!pathOrLink || !*pathOrLink) return std::string();
    if (IsLink(pathOrLink)) return pathOrLink;
    return ToHostPath(pathOrLink);
}

bool ShellOpen(const char* pathOrLink)
{
    std::string target = ShellTarget(pathOrLink);
    if (target.empty()) return false;
    ShellOpener* opener = g_opener ? g_opener : &g_xdgOpener;
    return opener->Open(target);
}

ShellOpener* SetShellOpener(ShellOpener* opener)
{
    ShellOpener* previous = g_opener;
    g_opener = opener;
    return previous;
}

}  // namespace qwp
