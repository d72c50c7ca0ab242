#include "platform/qw_batch.h"

#include <cstdio>
#include <vector>

#include "platform/qw_clock.h"
#include "platform/qw_hostfile.h"
#include "platform/qw_paths.h"

namespace qwp {
namespace {

enum class Op { Label, Del, Rmdir, IfExistGoto };

struct Line {
    Op op;
    std::string path;   // the path, "%%" undone
    std::string label;  // label of a label line or of a goto
    size_t number;      // 1-based line number in the file
};

bool SameWord(const std::string& text, size_t at, const char* word)
{
    size_t i = 0;
    for (; word[i]; ++i) {
        if (at + i >= text.size()) return false;
        char c = text[at + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != word[i]) return false;
    }
    return true;
}

void SkipBlanks(const std::string& text, size_t& at)
{
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
}

// A keyword followed by at least one blank.
bool Keyword(const std::string& text, size_t& at, const char* word)
{
    size_t n = std::char_traits<char>::length(word);
    if (!SameWord(text, at, word) || at + n >= text.size() || (text[at + n] != ' ' && text[at + n] != '\t'))
        return false;
    at += n;
    SkipBlanks(text, at);
    return true;
}

// A quoted path: "%%" stands for "%", a lone "%" and wildcards are refused.
bool QuotedPath(const std::string& text, size_t& at, std::string& path)
{
    if (at >= text.size() || text[at] != '"') return false;
    size_t end = text.find('"', at + 1);
    if (end == std::string::npos) return false;
    path.clear();
    for (size_t i = at + 1; i < end; ++i) {
        char c = text[i];
        if (c == '*' || c == '?') return false;
        if (c == '%') {
            if (i + 1 >= end || text[i + 1] != '%') return false;
            ++i;
        }
        path += c;
    }
    at = end + 1;
    return !path.empty();
}

bool LabelName(const std::string& text, size_t at, std::string& label)
{
    label = text.substr(at);
    while (!label.empty() && (label.back() == ' ' || label.back() == '\t')) label.pop_back();
    if (label.empty()) return false;
    for (char c : label)
        if (c == ' ' || c == '\t' || c == '"') return false;
    return true;
}

bool ParseLine(const std::string& text, Line& line)
{
    size_t at = 0;
    SkipBlanks(text, at);
    if (at < text.size() && text[at] == ':') {
        line.op = Op::Label;
        return LabelName(text, at + 1, line.label);
    }
    if (Keyword(text, at, "del")) {
        line.op = Op::Del;
    } else if (Keyword(text, at, "rmdir")) {
        line.op = Op::Rmdir;
    } else if (Keyword(text, at, "if") && Keyword(text, at, "exist")) {
        line.op = Op::IfExistGoto;
        if (!QuotedPath(text, at, line.path)) return false;
        SkipBlanks(text, at);
        return Keyword(text, at, "goto") && LabelName(text, at, line.label);
    } else {
        return false;
    }
    if (!QuotedPath(text, at, line.path)) return false;
    SkipBlanks(text, at);
    return at == text.size();
}

bool SameLabel(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

bool Fail(std::string* error, const std::string& why)
{
    if (error) *error = why;
    return false;
}

}  // namespace

bool RunBatchText(const std::string& text, std::string* error)
{
    std::vector<Line> lines;
    size_t number = 0;
    for (const std::string& raw : SplitLines(text)) {
        ++number;
        size_t first = raw.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        Line line;
        line.number = number;
        if (!ParseLine(raw, line))
            return Fail(error, "line " + std::to_string(number) + " not understood: " + raw);
        lines.push_back(line);
    }
    int retries = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        switch (line.op) {
        case Op::Label:
            break;
        case Op::Del:
            RemoveFile(line.path.c_str());
            break;
        case Op::Rmdir:
            RemoveFolder(line.path.c_str());
            break;
        case Op::IfExistGoto: {
            if (!PathExists(line.path.c_str())) break;
            size_t target = lines.size();
            for (size_t k = 1; k <= lines.size() && target == lines.size(); ++k) {
                size_t j = (i + k) % lines.size();
                if (lines[j].op == Op::Label && SameLabel(lines[j].label, line.label)) target = j;
            }
            if (target == lines.size())
                return Fail(error, "line " + std::to_string(line.number) + ": no label " + line.label);
            if (target <= i) {
                if (retries >= kMaxBatchRetries) break;  // give up waiting; go on below
                ++retries;
                SleepMs(50);
            }
            i = target;  // the label line itself does nothing
            break;
        }
        }
    }
    return true;
}

bool RunBatchFile(const char* windowsPath, std::string* error)
{
    std::string text;
    if (!windowsPath || !ReadHostFile(ToHostPath(windowsPath), text))
        return Fail(error, std::string("cannot read ") + (windowsPath ? windowsPath : ""));
    return RunBatchText(text, error);
}
}  // namespace qwp
