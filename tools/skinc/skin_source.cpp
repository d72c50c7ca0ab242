#include "tools/skinc/skin_source.h"

#include <cctype>
#include <cstdlib>

#include "platform/qw_fontraster.h"

namespace skinc {

namespace {

struct Line {
    int number = 0;
    int indent = 0;
    std::string text;  // without indentation, comment and continuation marks
};

bool IsWordChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '-' || c == '+' ||
           c == ':' || c == '/' || c == '%' || c == '*' || c == '\'' || c == '!' || c == '?' || c == '<' ||
           c == '>' || c == '[' || c == ']' || c == ';' || c == '@' || c == '&' || c == '$' || c == '^' ||
           c == '~' || c == '`' || c == '|' || c == '(' || c == ')' || c == '{' || c == '}';
}

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// A colour token: "#" and six or eight hex digits, ending the token.
bool ColourAt(const std::string& s, size_t i)
{
    if (s[i] != '#') return false;
    size_t n = 0;
    while (i + 1 + n < s.size() && IsHex(s[i + 1 + n])) ++n;
    const size_t end = i + 1 + n;
    const bool ends = end == s.size() || s[end] == ' ' || s[end] == ',';
    return (n == 6 || n == 8) && ends;
}

// Splits the file into logical lines: comments removed, continuations joined.
bool SplitLines(const std::string& file, const std::string& text, std::vector<Line>& lines, Diagnostics& diag)
{
    size_t pos = 0;
    int number = 0;
    Line pending;
    bool continuing = false;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string raw = text.substr(pos, end - pos);
        pos = end + 1;
        ++number;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        // Cut the comment: a '#' outside quotes that starts a token and is no colour.
        bool quoted = false;
        for (size_t i = 0; i < raw.size(); ++i) {
            const char c = raw[i];
            if (quoted) {
                if (c == '\\') ++i;
                else if (c == '"') quoted = false;
                continue;
            }
            if (c == '"') quoted = true;
            if (c == '#' && (i == 0 || raw[i - 1] == ' ' || raw[i - 1] == '\t') && !ColourAt(raw, i)) {
                raw.resize(i);
                break;
            }
        }
        if (quoted) {
            diag.Error({file, number}, "a string is not closed on this line");
            return false;
        }
        size_t indent = 0;
        while (indent < raw.size() && (raw[indent] == ' ' || raw[indent] == '\t')) {
            if (raw[indent] == '\t') {
                diag.Error({file, number}, "indent with spaces, not tabs");
                return false;
            }
            ++indent;
        }
        std::string body = raw.substr(indent);
        while (!body.empty() && body.back() == ' ') body.pop_back();
        bool continues = !body.empty() && body.back() == '\\';
        if (continues) {
            body.pop_back();
            while (!body.empty() && body.back() == ' ') body.pop_back();
        }
        if (continuing) {
            pending.text += " " + body;
        } else if (!body.empty()) {
            pending = Line{number, static_cast<int>(indent), body};
        }
        continuing = continues && (continuing || !body.empty() || !pending.text.empty());
        if (!continuing && !pending.text.empty()) {
            lines.push_back(pending);
            pending = Line{};
        }
        if (end == text.size()) break;
    }
    if (continuing && !pending.text.empty()) lines.push_back(pending);
    return true;
}

bool ReadString(const std::string& s, size_t& i, std::string& out, std::string& error)
{
    std::string utf8;
    ++i;  // opening quote
    while (i < s.size() && s[i] != '"') {
        char c = s[i++];
        if (c != '\\') {
            utf8 += c;
            continue;
        }
        if (i >= s.size()) break;
        c = s[i++];
        if (c == 'n') {
            utf8 += '\n';
        } else if (c == 't') {
            utf8 += '\t';
        } else if (c == 'x' && i + 1 < s.size() && IsHex(s[i]) && IsHex(s[i + 1])) {
            // A raw Windows-1252 byte; kept apart from the UTF-8 conversion below.
            utf8 += '\x01';
            utf8 += static_cast<char>(std::strtol(s.substr(i, 2).c_str(), nullptr, 16));
            i += 2;
        } else if (c == '"' || c == '\\') {
            utf8 += c;
        } else {
            error = std::string("unknown escape \\") + c;
            return false;
        }
    }
    if (i >= s.size()) {
        error = "a string is not closed";
        return false;
    }
    ++i;  // closing quote
    // Convert the UTF-8 runs; \x01 marks a raw byte that follows.
    out.clear();
    std::string run;
    for (size_t k = 0; k < utf8.size(); ++k) {
        if (utf8[k] == '\x01' && k + 1 < utf8.size()) {
            std::string conv;
            if (!Utf8ToCp1252(run, conv)) {
                error = "the string holds a character without a Windows-1252 code";
                return false;
            }
            out += conv;
            out += utf8[++k];
            run.clear();
        } else {
            run += utf8[k];
        }
    }
    std::string conv;
    if (!Utf8ToCp1252(run, conv)) {
        error = "the string holds a character without a Windows-1252 code";
        return false;
    }
    out += conv;
    return true;
}

bool ReadSingle(const std::string& s, size_t& i, Value& v, std::string& error)
{
    if (s[i] == '"') {
        v.kind = Value::String;
        return ReadString(s, i, v.text, error);
    }
    if (ColourAt(s, i)) {
        v.kind = Value::Colour;
        size_t n = 0;
        while (i + 1 + n < s.size() && IsHex(s[i + 1 + n])) ++n;
        v.text = s.substr(i + 1, n);
        i += 1 + n;
        return true;
    }
    const size_t start = i;
    while (i < s.size() && IsWordChar(s[i])) ++i;
    if (i == start) {
        error = std::string("unexpected character '") + s[i] + "'";
        return false;
    }
    v.text = s.substr(start, i - start);
    char* end = nullptr;
    const double d = std::strtod(v.text.c_str(), &end);
    const bool numeric = (std::isdigit(static_cast<unsigned char>(v.text[0])) ||
                          ((v.text[0] == '-' || v.text[0] == '.') && v.text.size() > 1)) &&
                         end && *end == 0;
    if (numeric) {
        v.kind = Value::Number;
        v.number = d;
    } else {
        v.kind = Value::Word;
    }
    return true;
}

// One value, a list when items are joined by commas.
bool ReadValue(const std::string& s, size_t& i, Value& v, std::string& error)
{
    Value first;
    if (!ReadSingle(s, i, first, error)) return false;
    if (i >= s.size() || s[i] != ',') {
        v = first;
        return true;
    }
    v = Value{};
    v.kind = Value::List;
    v.items.push_back(first);
    while (i < s.size() && s[i] == ',') {
        ++i;
        if (i >= s.size() || s[i] == ' ') {
            error = "a list ends with a comma";
            return false;
        }
        Value next;
        if (!ReadSingle(s, i, next, error)) return false;
        v.items.push_back(next);
    }
    return true;
}

bool ParseLine(const std::string& file, const Line& line, Node& node, Diagnostics& diag)
{
    node.where = {file, line.number};
    const std::string& s = line.text;
    size_t i = 0;
    std::string error;
    bool first = true;
    while (i < s.size()) {
        if (s[i] == ' ') {
            ++i;
            continue;
        }
        // name=value
        size_t j = i;
        while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_' || s[j] == '.')) ++j;
        if (!first && j > i && j < s.size() && s[j] == '=') {
            Attr a;
            a.name = s.substr(i, j - i);
            a.where = node.where;
            i = j + 1;
            if (i >= s.size() || s[i] == ' ') {
                diag.Error(node.where, "attribute " + a.name + " has no value");
                return false;
            }
            if (!ReadValue(s, i, a.value, error)) {
                diag.Error(node.where, "attribute " + a.name + ": " + error);
                return false;
            }
            for (const Attr& other : node.attrs) {
                if (other.name == a.name) {
                    diag.Error(node.where, "attribute " + a.name + " is given twice");
                    return false;
                }
            }
            node.attrs.push_back(a);
        } else {
            Value v;
            if (!ReadValue(s, i, v, error)) {
                diag.Error(node.where, error);
                return false;
            }
            if (first) {
                if (v.kind != Value::Word) {
                    diag.Error(node.where, "a statement starts with a keyword, not " + v.Describe());
                    return false;
                }
                node.keyword = v.text;
                first = false;
            } else {
                if (!node.attrs.empty()) {
                    diag.Error(node.where, "plain values come before the name=value attributes (" + v.Describe() + ")");
                    return false;
                }
                node.args.push_back(v);
            }
        }
        if (i < s.size() && s[i] != ' ') {
            diag.Error(node.where, std::string("unexpected character '") + s[i] + "'; separate values with spaces");
            return false;
        }
    }
    return true;
}

}  // namespace

std::string Value::Describe() const
{
    switch (kind) {
    case Word: return "'" + text + "'";
    case Number: return "the number " + text;
    case String: return "the text \"" + text + "\"";
    case Colour: return "the colour #" + text;
    case List: return "a list of " + std::to_string(items.size()) + " values";
    }
    return "a value";
}

const Attr* Node::Find(const std::string& name) const
{
    for (const Attr& a : attrs) {
        if (a.name == name) {
            a.used = true;
            return &a;
        }
    }
    return nullptr;
}

void Diagnostics::Error(const Where& where, const std::string& text)
{
    Error(where.Text() + ": " + text);
}

void Diagnostics::Error(const std::string& text)
{
    // One mistake can be met several times (once per state image); say it once.
    for (const std::string& e : m_errors) {
        if (e == text) return;
    }
    m_errors.push_back(text);
}

bool Utf8ToCp1252(const std::string& in, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < in.size();) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        uint32_t cp;
        size_t n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            n = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            n = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            n = 4;
        } else {
            return false;
        }
        if (i + n > in.size()) return false;
        for (size_t k = 1; k < n; ++k) {
            const unsigned char d = static_cast<unsigned char>(in[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        i += n;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
            continue;
        }
        bool found = false;
        for (unsigned code = 0x80; code <= 0xFF && !found; ++code) {
            if (qwp::Cp1252ToUnicode(static_cast<uint8_t>(code)) == cp) {
                out += static_cast<char>(code);
                found = true;
            }
        }
        if (!found) return false;
    }
    return true;
}

bool ParseSource(const std::string& file, const std::string& text, std::vector<Node>& out, Diagnostics& diag)
{
    std::vector<Line> lines;
    if (!SplitLines(file, text, lines, diag)) return false;
    // Stack of open statements with their indents.
    std::vector<std::pair<int, Node*>> open;
    for (const Line& line : lines) {
        Node node;
        if (!ParseLine(file, line, node, diag)) return false;
        while (!open.empty() && open.back().first >= line.indent) open.pop_back();
        if (open.empty()) {
            if (line.indent != 0) {
                diag.Error({file, line.number}, "a top-level statement starts in the first column");
                return false;
            }
            out.push_back(node);
            open.push_back({line.indent, &out.back()});
        } else {
            Node* parent = open.back().second;
            parent->children.push_back(node);
            open.push_back({line.indent, &parent->children.back()});
        }
    }
    return true;
}

}  // namespace skinc
