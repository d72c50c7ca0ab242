#include "platform/qw_chooser.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/qw_paths.h"
#include "platform/qw_winsys_x11.h"

extern char** environ;

namespace qwp {

namespace {

std::string FindOnPath(const char* name)
{
    const char* path = std::getenv("PATH");
    if (!path || !*path) return std::string();
    const std::string list(path);
    size_t start = 0;
    for (;;) {
        const size_t end = list.find(':', start);
        std::string folder = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (folder.empty()) folder = ".";
        const std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        if (end == std::string::npos) return std::string();
        start = end + 1;
    }
}

bool ContainsNoCase(const char* text, const char* word)
{
    if (!text) return false;
    std::string t(text), w(word);
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t.find(w) != std::string::npos;
}

// "png" -> "*.[pP][nN][gG]": the choosers match patterns by case, the system's dialog does not.
std::string Pattern(const std::string& extension)
{
    std::string p = "*.";
    for (char ch : extension) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (std::isalpha(c)) {
            p += '[';
            p += static_cast<char>(std::tolower(c));
            p += static_cast<char>(std::toupper(c));
            p += ']';
        } else if (ch == '*' || ch == '?' || ch == '[' || ch == ']' || ch == '\\') {
            p += '[';
            p += ch;
            p += ']';
        } else {
            p += ch;
        }
    }
    return p;
}

std::string Patterns(const FileFilter& filter)
{
    std::string list;
    for (const std::string& e : filter.extensions) {
        if (e.empty()) continue;
        if (!list.empty()) list += ' ';
        list += Pattern(e);
    }
    return list.empty() ? std::string("*") : list;
}

// A description without the character that separates it from the patterns.
std::string Description(const std::string& text)
{
    std::string d = Cp1252ToUtf8(text);
    for (char& c : d)
        if (c == '|' || c == '\n') c = '/';
    return d;
}

std::string HostFolder(const std::string& windowsFolder)
{
    if (windowsFolder.empty()) return std::string();
    std::string host = ToHostPath(windowsFolder.c_str());
    if (host.empty() || host.back() != '/') host += '/';
    return host;
}

// The save dialog's starting file: the folder and the initial name.
std::string HostStart(const FileChoiceRequest& request)
{
    std::string start = HostFolder(request.folder);
    if (!request.save || request.fileName.empty()) return start;
    std::string name = request.fileName;
    for (char& c : name)
        if (c == '\\') c = '/';
    if (name.find('/') != std::string::npos) return ToHostPath(request.fileName.c_str());
    return start + name;
}

}  // namespace

ChooserProgram FindChooser()
{
    const bool kde = ContainsNoCase(std::getenv("XDG_CURRENT_DESKTOP"), "kde") || std::getenv("KDE_FULL_SESSION");
    const char* order[2] = {"zenity", "kdialog"};
    if (kde) std::swap(order[0], order[1]);
    for (const char* name : order) {
        ChooserProgram p;
        p.path = FindOnPath(name);
        if (p.path.empty()) continue;
        p.kind = std::strcmp(name, "zenity") == 0 ? ChooserKind::Zenity : ChooserKind::Kdialog;
        return p;
    }
    return ChooserProgram();
}

std::vector<std::string> FileChooserArguments(ChooserKind kind, const FileChoiceRequest& request)
{
    std::vector<std::string> args;
    const std::string start = HostStart(request);
    if (kind == ChooserKind::Zenity) {
        args.push_back("--file-selection");
        if (request.save) {
            args.push_back("--save");
            args.push_back("--confirm-overwrite");
        }
        if (!request.title.empty()) args.push_back("--title=" + Cp1252ToUtf8(request.title));
        if (!start.empty()) args.push_back("--filename=" + start);
        for (const FileFilter& f : request.filters)
            args.push_back("--file-filter=" + Description(f.description) + " | " + Patterns(f));
    } else if (kind == ChooserKind::Kdialog) {
        if (!request.title.empty()) {
            args.push_back("--title");
            args.push_back(Cp1252ToUtf8(request.title));
        }
        args.push_back(request.save ? "--getsavefilename" : "--getopenfilename");
        args.push_back(start.empty() ? std::string(".") : start);
        std::string filters;
        for (const FileFilter& f : request.filters) {
            if (!filters.empty()) filters += '\n';
            filters += Patterns(f) + "|" + Description(f.description);
        }
        if (!filters.empty()) args.push_back(filters);
    }
    return args;
}

std::vector<std::string> FolderChooserArguments(ChooserKind kind, const FolderChoiceRequest& request)
{
    std::vector<std::string> args;
    const std::string start = HostFolder(request.startFolder);
    if (kind == ChooserKind::Zenity) {
        args.push_back("--file-selection");
        args.push_back("--directory");
        if (!request.title.empty()) args.push_back("--title=" + Cp1252ToUtf8(request.title));
        if (!start.empty()) args.push_back("--filename=" + start);
    } else if (kind == ChooserKind::Kdialog) {
        if (!request.title.empty()) {
            args.push_back("--title");
            args.push_back(Cp1252ToUtf8(request.title));
        }
        args.push_back("--getexistingdirectory");
        args.push_back(start.empty() ? std::string(".") : start);
    }
    return args;
}

std::vector<std::string> ColorChooserArguments(ChooserKind kind, const ColorChoiceRequest& request)
{
    char start[8];
    std::snprintf(start, sizeof start, "#%02X%02X%02X", request.red, request.green, request.blue);
    // Untitled, the chooser is the system's colour dialog and titled as that is.
    const std::string title = Cp1252ToUtf8(request.title.empty() ? std::string("Color") : request.title);
    std::vector<std::string> args;
    if (kind == ChooserKind::Zenity) {
        args.push_back("--color-selection");
        args.push_back("--title=" + title);
        args.push_back(std::string("--color=") + start);
    } else if (kind == ChooserKind::Kdialog) {
        args.push_back("--title");
        args.push_back(title);
        args.push_back("--getcolor");
        args.push_back("--default");
        args.push_back(start);
    }
    return args;
}

bool ChosenColor(const std::string& output, uint8_t rgb[3])
{
    std::string line = output.substr(0, output.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    int v[3] = {0, 0, 0};
    if (line.size() == 7 && line[0] == '#') {
        for (size_t i = 1; i < 7; ++i)
            if (!std::isxdigit(static_cast<unsigned char>(line[i]))) return false;
        for (int k = 0; k < 3; ++k) v[k] = static_cast<int>(std::strtol(line.substr(1 + 2 * k, 2).c_str(), nullptr, 16));
    } else {
        const bool alpha = line.rfind("rgba(", 0) == 0;
        if (!alpha && line.rfind("rgb(", 0) != 0) return false;
        const char* p = line.c_str() + (alpha ? 5 : 4);
        for (int k = 0; k < 3; ++k) {
            if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
            char* end = nullptr;
            const long n = std::strtol(p, &end, 10);
            if (n > 255) return false;
            v[k] = static_cast<int>(n);
            p = end;
            if (*p != (k < 2 || alpha ? ',' : ')')) return false;
            ++p;
        }
    }
    for (int k = 0; k < 3; ++k) rgb[k] = static_cast<uint8_t>(v[k]);
    return true;
}

std::string ChosenPath(const std::string& output)
{
    std::string line = output.substr(0, output.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] != '/') return std::string();
    return ToWindowsPath(line.c_str());
}

std::string WithDefaultExtension(const std::string& windowsPath, const std::string& extension)
{
    if (extension.empty() || windowsPath.empty()) return windowsPath;
    const size_t slash = windowsPath.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? windowsPath : windowsPath.substr(slash + 1);
    if (name.empty() || name.find('.') != std::string::npos) return windowsPath;
    return windowsPath + "." + extension;
}

// --- the child process ---

ChooserProcess::~ChooserProcess()
{
    Kill();
    if (m_output >= 0) ::close(m_output);
}

bool ChooserProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& display)
{
    if (m_pid > 0) return false;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0 || display.empty()) env.push_back(*e);
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    std::vector<char*> envp;
    for (std::string& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStore;
    argStore.push_back(program);
    argStore.insert(argStore.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& s : argStore) argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return false;
    }
    m_pid = pid;
    m_output = fds[0];
    ::fcntl(m_output, F_SETFL, ::fcntl(m_output, F_GETFL) | O_NONBLOCK);
    m_finished = false;
    m_status = -1;
    m_text.clear();
    return true;
}

bool ChooserProcess::Collect()
{
    if (m_finished) return true;
    if (m_pid <= 0) {
        m_finished = true;
        return true;
    }
    auto drain = [this] {
        char buffer[4096];
        while (m_output >= 0) {
            const ssize_t n = ::read(m_output, buffer, sizeof buffer);
            if (n > 0) {
                // A path is short; a chooser that writes without end is not kept further.
                if (m_text.size() < (1u << 20)) m_text.append(buffer, static_cast<size_t>(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EAGAIN) {
                return;
            } else {
                ::close(m_output);
                m_output = -1;
            }
        }
    };
    drain();
    // The process may end while something it started still holds the pipe open.
    int status = 0;
    pid_t done;
    do {
        done = ::waitpid(m_pid, &status, WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == 0) return false;
    drain();
    m_pid = -1;
    m_status = done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_finished = true;
    return true;
}

void ChooserProcess::Kill()
{
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    m_status = -1;
    m_finished = true;
}

}  // namespace qwp
