#include "plugin/windows/knife_shape_files.h"

#include "framework/core/qwf_storage.h"
#include "framework/imaging/qwf_2dmath.h"
#include "platform/qw_format.h"
#include "plugin/windows/shape_bytes.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>

namespace {
void Report(CShapeMessageSink* messages, const char* text)
{
    if (messages)
        messages->ShowError(text);
}

int32_t GetLE32(const uint8_t* p) { return static_cast<int32_t>(shape_bytes::GetLE32(p)); }

void NodeKey(char* key, size_t size, char which, int i)
{
    qwp::Format(key, size, "Node_%c_%d", which, i);
}

}  // namespace

bool IsSoundKnifeNode(double u, double h, double s)
{
    return u >= knife_file::kMinAlong && u <= knife_file::kMaxAlong && h >= -knife_file::kMaxAcross &&
           h <= knife_file::kMaxAcross && s >= 0.0 && s <= knife_file::kMaxSmoothness;
}

namespace {
// Reads the package form; false for anything that is not a complete, sound knife shape.
bool ParsePackage(const uint8_t* data, size_t size, KnifeShape& shape)
{
    CQWF_Storage package;
    if (!package.VerifyChecksum(data, size) || !package.OpenMemory(data, size))
        return false;
    CQWF_String version;
    uint8_t count = 0;
    if (!package.GetString("Version", version) || version.Compare(knife_file::kVersion) != 0 ||
        !package.GetByte("Nodes", count) || count > kKnifeMaxNodes)
        return false;
    shape.nodeCount = count;
    char key[32];
    for (int i = 0; i < count; ++i) {
        double u = 0.0, h = 0.0, s = 0.0;
        NodeKey(key, sizeof key, 'U', i);
        bool ok = package.GetDouble(key, u);
        NodeKey(key, sizeof key, 'H', i);
        ok = ok && package.GetDouble(key, h);
        NodeKey(key, sizeof key, 'S', i);
        ok = ok && package.GetDouble(key, s);
        // A node without all three values would leave the shape half read; values the editor
        // cannot make (or no numbers at all) are no shape of ours.
        if (!ok || !IsSoundKnifeNode(u, h, s))
            return false;
        shape.U[i] = u;
        shape.H[i] = h;
        shape.S[i] = s;
    }
    package.Close();
    return true;
}

// Grows as text is added; every number is formatted in the C locale.
class CTextBuilder {
public:
    bool Add(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        if (!m_ok)
            return false;
        va_list args;
        va_start(args, format);
        va_list measure;
        va_copy(measure, args);
        const int n = qwp::FormatV(nullptr, 0, format, measure);
        va_end(measure);
        if (n < 0 || !Reserve(static_cast<size_t>(n) + 1)) {
            va_end(args);
            m_ok = false;
            return false;
        }
        qwp::FormatV(reinterpret_cast<char*>(m_text.GetData()) + m_used, static_cast<size_t>(n) + 1,
                     format, args);
        va_end(args);
        m_used += static_cast<size_t>(n);
        return true;
    }
    bool Ok() const { return m_ok; }
    CQWF_Mem& Text() { return m_text; }
    size_t Length() const { return m_used; }

private:
    bool Reserve(size_t extra)
    {
        if (m_used + extra <= m_text.GetSize())
            return true;
        const size_t want = std::max(m_used + extra, m_text.GetSize() * 2 + 256);
        return m_text.Resize(want);
    }

    CQWF_Mem m_text;
    size_t m_used = 0;
    bool m_ok = true;
};

constexpr double kEdge = 144.0;     // points from one end of the edge to the other
constexpr double kMargin = 4.0;     // points around the curve
constexpr double kDensity = 2.0;    // flattening step for the bounding box
constexpr double kLineWidth = 2.0;

struct Procset {
    const char* name;
    const char* version;
};
constexpr Procset kProcsets[5] = {
    {"Adobe_packedarray", "2.0 0"},       {"Adobe_cshow", "1.1 0"},
    {"Adobe_customcolor", "1.0 0"},       {"Adobe_pattern_AI3", "1.0 0"},
    {"Adobe_Illustrator_AI3", "1.0 1"},
};
}  // namespace

void DecodeOldKnifeShape(const uint8_t* data, KnifeShape& shape)
{
    const double A = GetLE32(data + 29);
    const double B = GetLE32(data + 33);
    const double C = GetLE32(data + 37);
    const double D = GetLE32(data + 41);
    const double E = GetLE32(data + 45);
    const double F = GetLE32(data + 49);
    const double t = A * 0.33 / 200.0;
    const double H[5] = {0.0, -2.0 * t * D / 100.0, -2.0 * t * E / 100.0, -2.0 * t * D / 100.0, 0.0};
    const double U[5] = {0.5 - t * B / 100.0, 0.5 - t * C / 100.0, 0.5, 0.5 + t * C / 100.0,
                         0.5 + t * B / 100.0};
    shape.nodeCount = 5;
    for (int i = 0; i < 5; ++i) {
        shape.S[i] = std::clamp(F / 100.0, 0.0, 1.0);
        shape.H[i] = std::clamp(H[i], -3.0, 3.0);
        shape.U[i] = std::clamp(U[i], 0.0, 1.0);
    }
}

bool ParseKnifeShapeFile(const uint8_t* data, size_t size, KnifeShape& shape,
                         CShapeMessageSink* messages)
{
    if (size == 0) {
        Report(messages, shape_text::kEmptyFile);
        return false;
    }
    KnifeShape read{};
    if (size == knife_file::kOldSize &&
        std::memcmp(data, knife_file::kOldMagic, knife_file::kOldMagicLength) == 0) {
        DecodeOldKnifeShape(data, read);
    } else if (!ParsePackage(data, size, read)) {
        Report(messages, shape_text::kUnknownFormat);
        return false;
    }
    shape.nodeCount = read.nodeCount;
    for (int i = 0; i < read.nodeCount; ++i) {
        shape.H[i] = read.H[i];
        shape.U[i] = read.U[i];
        shape.S[i] = read.S[i];
    }
    return true;
}

bool LoadKnifeShapeFile(CQWF_StdFile& file, KnifeShape& shape, CShapeMessageSink* messages)
{
    const int64_t size = file.GetSize();
    if (size < 0) {
        Report(messages, shape_text::kReadError);
        return false;
    }
    if (size == 0) {
        Report(messages, shape_text::kEmptyFile);
        return false;
    }
    if (size > knife_file::kMaxSize) {
        Report(messages, shape_text::kUnknownFormat);
        return false;
    }
    CQWF_Mem bytes;
    if (!bytes.Alloc(static_cast<size_t>(size))) {
        Report(messages, shape_text::kMemory);
        return false;
    }
    if (file.Seek(0) < 0) {
        Report(messages, shape_text::kReadError);
        return false;
    }
    size_t got = 0;
    while (got < static_cast<size_t>(size)) {
        const int64_t n = file.Read(bytes.GetData() + got, static_cast<size_t>(size) - got);
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    if (got != static_cast<size_t>(size)) {
        Report(messages, shape_text::kReadError);
        return false;
    }
    return ParseKnifeShapeFile(bytes.GetData(), got, shape, messages);
}

bool SaveKnifeShapeFile(CQWF_StdFile& file, const KnifeShape& shape, CShapeMessageSink* messages)
{
    const int n = std::min<int>(shape.nodeCount, kKnifeMaxNodes);
    CQWF_Storage package;
    bool ok = package.OpenStdFile(&file, CQWF_Storage::kModeCreate) &&
              package.SetString("Version", knife_file::kVersion) &&
              package.SetByte("Nodes", static_cast<uint8_t>(n));
    char key[32];
    for (int i = 0; ok && i < n; ++i) {
        NodeKey(key, sizeof key, 'U', i);
        ok = package.SetDouble(key, shape.U[i]);
        NodeKey(key, sizeof key, 'H', i);
        ok = ok && package.SetDouble(key, shape.H[i]);
        NodeKey(key, sizeof key, 'S', i);
        ok = ok && package.SetDouble(key, shape.S[i]);
    }
    // The close writes the digest and flushes the file: a full disk shows here.
    ok = package.Close() && ok;
    if (!ok) {
        Report(messages, shape_text::kCannotWrite);
        return false;
    }
    return true;
}

bool BuildKnifeShapeDrawing(const KnifeShape& shape, bool eps, CQWF_Mem& text, size_t& length)
{
    length = 0;
    const int n = std::min<int>(shape.nodeCount, kKnifeMaxNodes);
    QWF_PolyPoint chain[kKnifeMaxNodes + 2];
    chain[0] = QWF_PolyPoint{0.0, 0.0, 0.0f};
    for (int k = 1; k <= n; ++k) {
        const int node = n - k;  // the last node first
        QWF_DPoint p{0, 0};
        CQWF_2DMath::PointAtOffset(0.0, 0.0, 0.0, kEdge, shape.H[node], 1.0 - shape.U[node], p);
        chain[k] = QWF_PolyPoint{p.x, p.y, static_cast<float>(shape.S[node])};
    }
    chain[n + 1] = QWF_PolyPoint{0.0, kEdge, 0.0f};

    CQWF_2DMath math;
    CQWF_Mem flat;
    CQWF_Mem controls;
    int64_t flatCount = 2;
    const double* bounds = nullptr;
    const double ends[4] = {0.0, 0.0, 0.0, kEdge};
    if (n == 0) {
        bounds = ends;
    } else {
        int64_t controlCount = 0;
        math.SetCurveReach(CQWF_2DMath::CurveReach(kEdge, kEdge));
        if (!math.BezierToPolyline(chain, n + 2, kDensity, &flat, flatCount) ||
            !math.PolylineToBezier(chain, n + 2, &controls, controlCount))
            return false;
        bounds = reinterpret_cast<const double*>(flat.GetData());
    }
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (int64_t i = 0; i < flatCount; ++i) {
        minX = std::min(minX, bounds[2 * i]);
        maxX = std::max(maxX, bounds[2 * i]);
        minY = std::min(minY, bounds[2 * i + 1]);
        maxY = std::max(maxY, bounds[2 * i + 1]);
    }
    const double ox = minX - kMargin;
    const double oy = minY - kMargin;
    const double W = (maxX + kMargin) - ox;
    const double Hb = (maxY + kMargin) - oy;
    const double* c = reinterpret_cast<const double*>(controls.GetData());
    const char* nl = eps ? "\n" : "\r";

    CTextBuilder out;
    // The path from the first chain point: one curve per segment, or the straight edge.
    auto path = [&](const char* move, const char* line, const char* curve) {
        out.Add("%f %f %s%s", chain[0].x - ox, chain[0].y - oy, move, nl);
        if (n == 0)
            out.Add("%f %f %s%s", chain[1].x - ox, chain[1].y - oy, line, nl);
        for (int k = 1; n > 0 && k <= n + 1; ++k) {
            const double* q = c + 4 * (k - 1);
            out.Add("%f %f %f %f %f %f %s%s", q[0] - ox, q[1] - oy, q[2] - ox, q[3] - oy,
                    chain[k].x - ox, chain[k].y - oy, curve, nl);
        }
    };
    if (eps) {
        out.Add("%%!PS-Adobe-3.0 EPSF-3.0%s", nl);
        out.Add("%%%%Creator: Quarrow. Jigcrafter 2.0%s", nl);
        out.Add("%%%%BoundingBox: 0 0 %f %f%s", W, Hb, nl);
        out.Add("%%%%LanguageLevel: 2%s", nl);
        out.Add("%%%%Pages: 1%s", nl);
        out.Add("%%%%DocumentData: Clean7Bit%s", nl);
        out.Add("newpath%s", nl);
        path("moveto", "lineto", "curveto");
        out.Add("%f setlinewidth 1 setlinecap 1 setlinejoin%s", kLineWidth, nl);
        out.Add("stroke%s", nl);
        out.Add("%%%%EOF%s", nl);
    } else {
        out.Add("%%!PS-Adobe-3.0%s", nl);
        out.Add("%%%%Creator: Quarrow. Jigcrafter 2.0%s", nl);
        out.Add("%%%%BoundingBox: 0 0 %f %f%s", W, Hb, nl);
        out.Add("%%%%AI3_TemplateBox: 0 0 %f %f%s", W, Hb, nl);
        for (int i = 0; i < 5; ++i)
            out.Add("%s procset %s %s%s", i == 0 ? "%%DocumentNeededResources:" : "%%+",
                    kProcsets[i].name, kProcsets[i].version, nl);
        out.Add("%%%%DocumentProcessColors: Black%s", nl);
        out.Add("%%%%EndComments%s", nl);
        out.Add("%%%%BeginProlog%s", nl);
        for (const Procset& p : kProcsets)
            out.Add("%%%%IncludeResource: procset %s %s%s", p.name, p.version, nl);
        out.Add("%%%%EndProlog%s", nl);
        out.Add("%%%%BeginSetup%s", nl);
        for (const Procset& p : kProcsets)
            out.Add("%s /initialize get exec%s", p.name, nl);
        out.Add("%%%%EndSetup%s", nl);
        out.Add("%f w%s", kLineWidth, nl);
        out.Add("1 J%s1 j%s", nl, nl);
        out.Add("1.00 1.00 1.00 1.00 K%s", nl);
        path("m", "L", "c");
        out.Add("S%s", nl);
        out.Add("%%%%PageTrailer%s", nl);
        out.Add("gsave annotatepage grestore showpage%s", nl);
        out.Add("%%%%Trailer%s", nl);
        for (int i = 4; i >= 0; --i)
            out.Add("%s /terminate get exec%s", kProcsets[i].name, nl);
        out.Add("%%%%EOF%s", nl);
    }
    if (!out.Ok())
        return false;
    text.Swap(out.Text());
    length = out.Length();
    return true;
}

namespace {
bool WriteDrawing(CQWF_StdFile& file, const KnifeShape& shape, bool eps,
                  CShapeMessageSink* messages)
{
    CQWF_Mem text;
    size_t length = 0;
    // A short write is a failure as much as none at all; the flush makes a full disk show.
    if (!BuildKnifeShapeDrawing(shape, eps, text, length) ||
        file.Write(text.GetData(), length) != static_cast<int64_t>(length) || !file.Flush()) {
        Report(messages, shape_text::kCannotWrite);
        return false;
    }
    return true;
}
}  // namespace

bool WriteKnifeShapeEPS(CQWF_StdFile& file, const KnifeShape& shape, CShapeMessageSink* messages)
{
    return WriteDrawing(file, shape, true, messages);
}

bool WriteKnifeShapeAI(CQWF_StdFile& file, const KnifeShape& shape, CShapeMessageSink* messages)
{
    return WriteDrawing(file, shape, false, messages);
}

// ---------------------------------------------------------------------------------------------
// The last shape in the settings store

namespace {
// The whole last shape in one value of the store: the node count (one byte), then U, H and S of
// each node as big-endian doubles.
constexpr const char* kLastShapeKey = "LastShape>Shape";
constexpr size_t kLastShapeNode = 24;

void PutBEDouble(uint8_t* p, double v)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
}

double GetBEDouble(const uint8_t* p)
{
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | p[i];
    double v = 0;
    std::memcpy(&v, &bits, 8);
    return v;
}

// The one value as a shape; false when it is not one (its length, its count, a node a knife-shape
// file may not hold).
bool DecodeLastShape(const CQWF_Mem& value, KnifeShape& shape)
{
    const uint8_t* p = value.GetData();
    const size_t size = value.GetSize();
    if (size < 1 || p[0] > kKnifeMaxNodes || size != 1 + kLastShapeNode * p[0]) return false;
    shape.nodeCount = p[0];
    for (int i = 0; i < shape.nodeCount; ++i) {
        const uint8_t* node = p + 1 + kLastShapeNode * static_cast<size_t>(i);
        shape.U[i] = GetBEDouble(node);
        shape.H[i] = GetBEDouble(node + 8);
        shape.S[i] = GetBEDouble(node + 16);
        if (!IsSoundKnifeNode(shape.U[i], shape.H[i], shape.S[i])) return false;
        shape.selected[i] = 1;
    }
    return true;
}

// The separate values, as the store held the last shape before it held the one value.
bool ReadLastShapeValues(CQWF_Storage& prefs, KnifeShape& shape)
{
    uint16_t count = 0;
    if (!prefs.GetWord("LastShape>NodesCount", count)) return false;
    shape.nodeCount = static_cast<uint8_t>(std::min<uint16_t>(count, kKnifeMaxNodes));
    for (int i = 0; i < shape.nodeCount; ++i) {
        CQWF_String key;
        key.Format("LastShape>H%d", i);
        bool ok = prefs.GetDouble(key, shape.H[i]);
        key.Format("LastShape>U%d", i);
        ok = ok && prefs.GetDouble(key, shape.U[i]);
        key.Format("LastShape>S%d", i);
        ok = ok && prefs.GetDouble(key, shape.S[i]);
        if (!ok || !IsSoundKnifeNode(shape.U[i], shape.H[i], shape.S[i])) return false;
        shape.selected[i] = 1;
    }
    return true;
}
}  // namespace

bool ReadLastShape(CQWF_Storage& prefs, KnifeShape& shape)
{
    CQWF_Mem value;
    KnifeShape read{};
    if (!(prefs.GetBinary(kLastShapeKey, value) ? DecodeLastShape(value, read) : ReadLastShapeValues(prefs, read)))
        return false;
    shape = read;
    return true;
}

bool WriteLastShape(CQWF_Storage& prefs, const KnifeShape& shape)
{
    const int n = std::min<int>(shape.nodeCount, kKnifeMaxNodes);
    uint8_t whole[1 + kLastShapeNode * kKnifeMaxNodes];
    whole[0] = static_cast<uint8_t>(n);
    for (int i = 0; i < n; ++i) {
        uint8_t* node = whole + 1 + kLastShapeNode * static_cast<size_t>(i);
        PutBEDouble(node, shape.U[i]);
        PutBEDouble(node + 8, shape.H[i]);
        PutBEDouble(node + 16, shape.S[i]);
    }
    // The folder exists from the first time on. The whole shape goes first, as one value: a
    // write stopped anywhere (a crash, a full disk) leaves the earlier shape or this one. Then
    // the separate values, for readers that know only those.
    prefs.CreateFolder("LastShape");
    bool ok = prefs.SetBinary(kLastShapeKey, whole, 1 + kLastShapeNode * static_cast<size_t>(n));
    ok = ok && prefs.SetWord("LastShape>NodesCount", static_cast<uint16_t>(n));
    for (int i = 0; ok && i < n; ++i) {
        CQWF_String key;
        key.Format("LastShape>H%d", i);
        ok = prefs.SetDouble(key, shape.H[i]);
        key.Format("LastShape>U%d", i);
        ok = ok && prefs.SetDouble(key, shape.U[i]);
        key.Format("LastShape>S%d", i);
        ok = ok && prefs.SetDouble(key, shape.S[i]);
    }
    return ok;
}

