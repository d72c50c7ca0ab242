// Reading skin sources: lines become statements, indentation makes children.
//
//   keyword positional... name=value...      # a comment
//       child-keyword ...                     (more indented: a child of the line above)
//
// A value is a number (12, -3, 1.5), a quoted string ("OK", with \" \\ \n \xHH; UTF-8 text is
// turned into Windows-1252), a colour (#RRGGBB or #RRGGBBAA), a word (letters, digits, "_", ".",
// "-", "+", ":") or a list of these joined by commas without spaces (1,2,3). A "#" that starts a
// token and is not a colour starts a comment. A line ending in "\" continues on the next line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skinc {

// Where something was written, for messages.
struct Where {
    std::string file;
    int line = 0;
    std::string Text() const { return file + ":" + std::to_string(line); }
};

struct Value {
    enum Kind { Word, Number, String, Colour, List };
    Kind kind = Word;
    std::string text;          // word, string (Windows-1252 bytes), colour digits, number as written
    double number = 0;         // numbers
    std::vector<Value> items;  // lists
    std::string Describe() const;
};

struct Attr {
    std::string name;
    Value value;
    Where where;
    mutable bool used = false;
};

struct Node {
    std::string keyword;
    std::vector<Value> args;
    std::vector<Attr> attrs;
    std::vector<Node> children;
    Where where;

    // The attribute of that name, or null; marks it used.
    const Attr* Find(const std::string& name) const;
};

// Collected error messages, "file:line: text".
class Diagnostics {
public:
    void Error(const Where& where, const std::string& text);
    void Error(const std::string& text);
    bool Ok() const { return m_errors.empty(); }
    const std::vector<std::string>& Errors() const { return m_errors; }

private:
    std::vector<std::string> m_errors;
};

// Parses one file's text into its top-level statements.
bool ParseSource(const std::string& file, const std::string& text, std::vector<Node>& out, Diagnostics& diag);

// UTF-8 text to Windows-1252 bytes; false when a character has no Windows-1252 code.
bool Utf8ToCp1252(const std::string& in, std::string& out);

}  // namespace skinc
