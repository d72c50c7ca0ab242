#include "plugin/windows/shape_list.h"

#include "plugin/main/layout_model.h"
#include "plugin/windows/shape_library.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {
// A line of the text without its comment and surrounding blanks.
struct Line {
    const char* begin;
    const char* end;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

Line Trim(const char* begin, const char* end)
{
    for (const char* p = begin; p < end; ++p) {
        if (*p == '#') {
            end = p;
            break;
        }
    }
    while (begin < end && IsBlank(*begin))
        ++begin;
    while (end > begin && IsBlank(end[-1]))
        --end;
    return Line{begin, end};
}

bool Is(const Line& l, const char* word)
{
    const size_t n = std::strlen(word);
    return static_cast<size_t>(l.end - l.begin) == n && std::memcmp(l.begin, word, n) == 0;
}

// Three numbers U, H, S in the C locale.
bool ReadNode(const Line& l, double v[3])
{
    const char* p = l.begin;
    for (int i = 0; i < 3; ++i) {
        while (p < l.end && IsBlank(*p))
            ++p;
        const auto r = std::from_chars(p, l.end, v[i]);
        if (r.ec != std::errc() || !std::isfinite(v[i]))
            return false;
        p = r.ptr;
        if (p < l.end && !IsBlank(*p))
            return false;
    }
    while (p < l.end && IsBlank(*p))
        ++p;
    return p == l.end;
}

bool Fail(CQWF_String& error, int line, const char* what)
{
    error.Format("line %d: %s", line, what);
    return false;
}
}  // namespace

bool ParseShapeList(const char* text, size_t length, CQWF_Mem& records, size_t& count,
                    CQWF_String& error)
{
    using shape_library::kRecordSize;
    count = 0;
    CQWF_Mem block;
    size_t shapes = 0;
    bool open = false;
    KnifeShape shape{};
    char name[shape_library::kNameBytes] = {};
    int lineNumber = 0;
    const char* end = text + length;
    for (const char* p = text; p < end;) {
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!eol)
            eol = end;
        const Line l = Trim(p, eol);
        p = eol < end ? eol + 1 : end;
        ++lineNumber;
        if (l.begin == l.end)
            continue;
        if (!open) {
            const size_t n = static_cast<size_t>(l.end - l.begin);
            if (n < 9 || std::memcmp(l.begin, "shape", 5) != 0 || !IsBlank(l.begin[5]))
                return Fail(error, lineNumber, "expected: shape \"Name\"");
            const char* q = l.begin + 5;
            while (IsBlank(*q))
                ++q;
            const size_t nameLength = static_cast<size_t>(l.end - q) - 2;
            if (*q != '"' || l.end[-1] != '"' || l.end - q < 3 || nameLength > shape_library::kNameMax ||
                std::memchr(q + 1, '"', nameLength))
                return Fail(error, lineNumber, "the name must be 1 to 63 characters in quotes");
            std::memset(name, 0, sizeof name);
            std::memcpy(name, q + 1, nameLength);
            shape = KnifeShape{};
            open = true;
        } else if (Is(l, "end")) {
            if (!block.Resize((shapes + 1) * kRecordSize))
                return Fail(error, lineNumber, "out of memory");
            ShapeToRecord(shape, name, block.GetData() + shapes * kRecordSize);
            ++shapes;
            open = false;
        } else {
            double v[3];
            if (!ReadNode(l, v))
                return Fail(error, lineNumber, "expected a node: U H S");
            if (v[0] < 0 || v[0] > 1 || v[2] < 0 || v[2] > 1 || v[1] < -3 || v[1] > 3)
                return Fail(error, lineNumber, "U and S must lie in 0..1, H in -3..3");
            if (shape.nodeCount >= kKnifeMaxNodes)
                return Fail(error, lineNumber, "more than 64 nodes");
            shape.U[shape.nodeCount] = v[0];
            shape.H[shape.nodeCount] = v[1];
            shape.S[shape.nodeCount] = v[2];
            ++shape.nodeCount;
        }
    }
    if (open)
        return Fail(error, lineNumber, "the last shape has no end");
    records.Swap(block);
    count = shapes;
    return true;
}

bool WriteShapeListSet(const char* text, size_t length, CQWF_StdFile& file, CQWF_String& error)
{
    CQWF_Mem records;
    size_t count = 0;
    if (!ParseShapeList(text, length, records, count, error))
        return false;
    if (count == 0) {
        error = "no shapes";
        return false;
    }
    if (!WriteShapeSetFile(file, records.GetData(), count, nullptr, nullptr)) {
        error = "cannot write the shape set";
        return false;
    }
    return true;
}

bool BuildShapeSetFile(const char* listPath, const char* setPath, CQWF_String& error)
{
    CQWF_StdFile in;
    CQWF_Mem text;
    const int64_t size = in.Open(CQWF_String(listPath), CQWF_StdFile::kModeRead) ? in.GetSize() : -1;
    if (size < 0 || !text.Alloc(static_cast<size_t>(size) + 1) ||
        (size > 0 && in.Read(text.GetData(), static_cast<size_t>(size)) != size)) {
        error.Format("cannot read %s", listPath);
        return false;
    }
    CQWF_StdFile out;
    if (!out.Open(CQWF_String(setPath), CQWF_StdFile::kModeCreateReadWrite)) {
        error.Format("cannot create %s", setPath);
        return false;
    }
    return WriteShapeListSet(reinterpret_cast<const char*>(text.GetData()),
                             static_cast<size_t>(size), out, error);
}
