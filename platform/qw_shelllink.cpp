#include "platform/qw_shelllink.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/qw_hostfile.h"
#include "platform/qw_paths.h"

namespace qwp {
namespace {
bool g_fail = false;

constexpr const char* kTargetKey = "X-Quarrow-Target=";
constexpr const char* kFolderKey = "X-Quarrow-WorkingFolder=";

// A string value of a desktop entry: backslash, line breaks and tabs escaped.
std::string EntryString(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
    return out;
}

std::string EntryStringBack(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char c = text[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == 's' ? ' ' : c;
    }
    return out;
}

// One argument of the Exec key: quoted, with the characters the desktop-entry format reserves escaped,
// and "%" doubled (field codes).
std::string ExecArgument(const std::string& arg)
{
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

constexpr const char* kEntryEnding = ".desktop";

bool EndsWith(const std::string& text, const char* ending)
{
    size_t n = std::strlen(ending);
    return text.size() > n && strcasecmp(text.c_str() + text.size() - n, ending) == 0;
}

// The name the menu shows: the file name without its ending.
std::string LinkName(const std::string& windowsPath)
{
    size_t cut = windowsPath.find_last_of("\\/");
    std::string name = cut == std::string::npos ? windowsPath : windowsPath.substr(cut + 1);
    for (const char* ending : {".lnk", kEntryEnding})
        if (EndsWith(name, ending)) name.resize(name.size() - std::strlen(ending));
    return name;
}
}  // namespace

std::string ShellLinkFilePath(const char* linkWindowsPath)
{
    std::string path = linkWindowsPath ? linkWindowsPath : "";
    if (EndsWith(path, kEntryEnding)) return path;
    if (EndsWith(path, ".lnk")) path.resize(path.size() - 4);
    return path + kEntryEnding;
}

std::string ShellLinkText(const char* linkWindowsPath, const ShellLink& link)
{
    if (!linkWindowsPath || link.target.empty()) return "";
    std::string targetHost = ToHostPath(link.target.c_str());
    struct stat st;
    bool program = ::stat(targetHost.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR);
    std::string exec = program ? ExecArgument(targetHost) : "xdg-open " + ExecArgument(targetHost);
    std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
    text += "Name=" + EntryString(LinkName(linkWindowsPath)) + "\n";
    if (!link.description.empty()) text += "Comment=" + EntryString(link.description) + "\n";
    text += "Exec=" + EntryString(exec) + "\n";
    if (!link.workingFolder.empty()) text += "Path=" + EntryString(ToHostPath(link.workingFolder.c_str())) + "\n";
    text += kTargetKey + EntryString(link.target) + "\n";
    if (!link.workingFolder.empty()) text += kFolderKey + EntryString(link.workingFolder) + "\n";
    return text;
}

bool WriteShellLink(const char* linkWindowsPath, const ShellLink& link)
{
    if (g_fail || !linkWindowsPath || !*linkWindowsPath || link.target.empty()) return false;
    const std::string text = ShellLinkText(linkWindowsPath, link);
    FileReplacement* replacement = nullptr;
    FILE* f = BeginReplacement(linkWindowsPath, "wb", replacement, LinkAtTarget::Replace);
    if (!f) return false;
    return EndReplacement(f, replacement, WriteStream(f, text.data(), text.size()) == text.size());
}

bool ReadShellLink(const char* linkWindowsPath, ShellLink& link)
{
    std::string text;
    if (!linkWindowsPath || !ReadHostFile(ToHostPath(linkWindowsPath), text)) return false;
    if (text.compare(0, 16, "[Desktop Entry]\n") != 0) return false;
    link = ShellLink();
    bool hasTarget = false;
    for (const std::string& line : SplitLines(text)) {
        auto value = [&](const char* key, std::string& out) {
            size_t k = std::strlen(key);
            if (line.compare(0, k, key) != 0) return false;
            out = EntryStringBack(line.substr(k));
            return true;
        };
        if (value(kTargetKey, link.target)) hasTarget = true;
        else if (value(kFolderKey, link.workingFolder)) {
        } else value("Comment=", link.description);
    }
    return hasTarget;
}

void SetShellLinkFailure(bool fail) { g_fail = fail; }
}  // namespace qwp
