#include "platform/qw_shell.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/qw_paths.h"
#include "platform/qw_winsys.h"

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

// xdg-open runs detached (in a session of its own, its streams on /dev/null, below a watcher that
// init reaps), so that a viewer it starts holds nothing of ours; the watcher waits for it and
// writes its exit status into a pipe, which is the answer: 0 shown, anything else refused.
class XdgOpener : public ShellOpener {
public:
    ~XdgOpener() override { Forget(); }

    bool Start(const std::string& target) override
    {
        Forget();
        m_state = ShellAnswer::Waiting;
        std::string opener = FindOnPath("xdg-open");
        if (opener.empty()) return false;
        char* argv[] = {const_cast<char*>(opener.c_str()), const_cast<char*>(target.c_str()), nullptr};
        int answer[2];
        if (pipe2(answer, O_CLOEXEC) != 0) return false;
        pid_t child = fork();
        if (child < 0) {
            close(answer[0]);
            close(answer[1]);
            return false;
        }
        if (child == 0) {
            setsid();
            int devnull = open("/dev/null", O_RDWR);
            if (devnull >= 0) {
                dup2(devnull, 0);
                dup2(devnull, 1);
                dup2(devnull, 2);
                if (devnull > 2) close(devnull);
            }
            pid_t watcher = fork();
            if (watcher != 0) _exit(watcher < 0 ? 1 : 0);
            close(answer[0]);
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigaction(SIGPIPE, &ignore, nullptr);  // nobody listens any more: the write fails
            pid_t run = fork();
            if (run == 0) {
                execv(argv[0], argv);  // the answer pipe closes on exec
                _exit(127);
            }
            int status = 0;
            while (run > 0 && waitpid(run, &status, 0) < 0 && errno == EINTR) {
            }
            const unsigned char code = run > 0 && WIFEXITED(status) ? static_cast<unsigned char>(WEXITSTATUS(status)) : 255;
            ssize_t written = write(answer[1], &code, 1);
            (void)written;
            _exit(0);
        }
        close(answer[1]);
        int status = 0;
        while (waitpid(child, &status, 0) < 0) {
            if (errno != EINTR) {
                close(answer[0]);
                return false;
            }
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            close(answer[0]);
            return false;
        }
        fcntl(answer[0], F_SETFL, fcntl(answer[0], F_GETFL) | O_NONBLOCK);
        m_answer = answer[0];
        return true;
    }

    ShellAnswer Answer() override
    {
        if (m_answer < 0) return m_state;
        unsigned char code = 0;
        const ssize_t n = read(m_answer, &code, 1);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return m_state;
        // A watcher gone without a word has not heard a refusal.
        m_state = n == 1 && code != 0 ? ShellAnswer::Refused : ShellAnswer::Shown;
        close(m_answer);
        m_answer = -1;
        return m_state;
    }

    int AnswerDescriptor() const override { return m_answer; }

    void Forget() override
    {
        if (m_answer >= 0) close(m_answer);
        m_answer = -1;
        if (m_state == ShellAnswer::Waiting) m_state = ShellAnswer::Shown;
    }

private:
    int m_answer = -1;
    ShellAnswer m_state = ShellAnswer::Shown;
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
    if (!opener->Start(target)) return false;
    if (opener->Answer() == ShellAnswer::Waiting)
        WS().ServeWindowsWhile([opener] { return opener->Answer() != ShellAnswer::Waiting; },
                               opener->AnswerDescriptor(), kShellAnswerWait);
    const ShellAnswer answer = opener->Answer();
    opener->Forget();
    return answer != ShellAnswer::Refused;
}

ShellOpener* SetShellOpener(ShellOpener* opener)
{
    ShellOpener* previous = g_opener;
    g_opener = opener;
    return previous;
}

}  // namespace qwp
