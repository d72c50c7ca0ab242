// Knife-shape files, the drawings, the shape library "ckss.data", shape sets and the built-in
// shape list.
#include "plugin/windows/knife_shape_files.h"
#include "plugin/windows/presets_model.h"
#include "plugin/windows/shape_library.h"
#include "plugin/windows/shape_history.h"
#include "plugin/windows/shape_list.h"

#include "framework/core/qwf_storage.h"
#include "framework/imaging/qwf_2dmath.h"
#include "platform/qw_paths.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace {
struct Messages : CShapeMessageSink {
    std::vector<std::string> errors;
    std::vector<std::string> statuses;
    void ShowError(const char* text) override { errors.push_back(text); }
    void ShowStatus(const char* text) override { statuses.push_back(text); }
    std::string Last() const { return errors.empty() ? "" : errors.back(); }
};

std::string Win(const std::string& hostPath) { return "Z:" + hostPath; }

KnifeShape Shape(std::vector<std::array<double, 3>> nodes)  // U, H, S
{
    KnifeShape k{};
    k.nodeCount = static_cast<uint8_t>(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        k.U[i] = nodes[i][0];
        k.H[i] = nodes[i][1];
        k.S[i] = nodes[i][2];
    }
    return k;
}

KnifeShape DefaultShape()
{
    return Shape({{0.434, 0, 0.5}, {0.3515, -0.165, 0.5}, {0.5, -0.297, 0.5},
                  {0.6485, -0.165, 0.5}, {0.566, 0, 0.5}});
}

// A package file written key by key, for the reader's refusals.
struct PackageWriter {
    CQWF_Storage s;
    explicit PackageWriter(const std::string& path)
    {
        EXPECT_TRUE(s.OpenFile(Win(path).c_str(), CQWF_Storage::kModeCreate));
    }
    ~PackageWriter() { s.Close(); }
};

void WriteShapePackage(const std::string& path, const char* version, uint8_t nodes, int written,
                       double value = 0.25, double h = -0.1, double s = 0.5)
{
    PackageWriter w(path);
    w.s.SetString("Version", version);
    w.s.SetByte("Nodes", nodes);
    for (int i = 0; i < written; ++i) {
        const std::string n = std::to_string(i);
        w.s.SetDouble(("Node_U_" + n).c_str(), value);
        w.s.SetDouble(("Node_H_" + n).c_str(), h);
        w.s.SetDouble(("Node_S_" + n).c_str(), s);
    }
}

bool LoadFile(const std::string& path, KnifeShape& shape, Messages& m)
{
    CQWF_StdFile f;
    if (!f.Open(CQWF_String(Win(path).c_str()), CQWF_StdFile::kModeRead))
        return false;
    return LoadKnifeShapeFile(f, shape, &m);
}

std::string OldFile(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f)
{
    std::string bytes = "Quarrow. Jigcrafter Shape 1.2";
    for (int32_t v : {a, b, c, d, e, f})
        for (int k = 0; k < 4; ++k)
            bytes += static_cast<char>((static_cast<uint32_t>(v) >> (8 * k)) & 0xFF);
    return bytes;
}

std::string Drawing(const KnifeShape& k, bool eps)
{
    CQWF_Mem text;
    size_t length = 0;
    if (!BuildKnifeShapeDrawing(k, eps, text, length))
        return "";
    return std::string(reinterpret_cast<const char*>(text.GetData()), length);
}

// Two segments cross each other (each one's ends lie strictly on both sides of the other).
bool Cross(const double* a, const double* b, const double* c, const double* d)
{
    auto side = [](const double* p, const double* q, const double* r) {
        return (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0]);
    };
    return side(a, b, c) * side(a, b, d) < 0 && side(c, d, a) * side(c, d, b) < 0;
}

std::string FileBytes(const std::string& path)
{
    std::string bytes;
    qwtest::ReadWholeFile(path, bytes);
    return bytes;
}
}  // namespace

TEST(KnifeShapeFile, WrittenAndReadBackIdentical)
{
    qwtest::TempDir dir;
    KnifeShape full{};
    full.nodeCount = 64;
    for (int i = 0; i < 64; ++i) {
        full.U[i] = i / 63.0 + (i % 3 == 0 ? 1e-9 : 0.0);
        full.H[i] = std::sin(i * 0.7) * 2.5 - 0.1;  // stored as they are, beyond any range
        full.S[i] = (i % 5) / 4.0;
    }
    for (const KnifeShape& k : {full, Shape({}), DefaultShape()}) {
        Messages m;
        const std::string path = dir.File("shape.qwjh");
        {
            CQWF_StdFile f;
            ASSERT_TRUE(f.Open(CQWF_String(Win(path).c_str()), CQWF_StdFile::kModeCreateReadWrite));
            ASSERT_TRUE(SaveKnifeShapeFile(f, k, &m));
        }
        KnifeShape back{};
        for (int i = 0; i < 64; ++i)
            back.selected[i] = static_cast<uint8_t>(i & 1);
        ASSERT_TRUE(LoadFile(path, back, m));
        ASSERT_EQ(back.nodeCount, k.nodeCount);
        for (int i = 0; i < k.nodeCount; ++i) {
            EXPECT_EQ(back.U[i], k.U[i]);
            EXPECT_EQ(back.H[i], k.H[i]);
            EXPECT_EQ(back.S[i], k.S[i]);
        }
        EXPECT_EQ(back.selected[1], 1);  // selection flags stay as they were
        EXPECT_TRUE(m.errors.empty());
    }
}

TEST(KnifeShapeFile, OlderFixedSizeFile)
{
    qwtest::TempDir dir;
    const std::string path = dir.File("old.qwjh");
    Messages m;
    KnifeShape k{};
    // t = 1.65: the outer nodes reach the ends, the shoulders -3 after clamping, S held to 1.
    qwtest::WriteWholeFile(path, OldFile(1000, 100, 10, 100, 20, 150));
    ASSERT_TRUE(LoadFile(path, k, m));
    ASSERT_EQ(k.nodeCount, 5);
    EXPECT_EQ(k.U[0], 0.0);
    EXPECT_EQ(k.U[4], 1.0);
    EXPECT_EQ(k.H[1], -3.0);
    EXPECT_EQ(k.H[3], -3.0);
    EXPECT_DOUBLE_EQ(k.H[2], -2 * 1.65 * 20 / 100);
    EXPECT_DOUBLE_EQ(k.U[1], 0.5 - 1.65 * 10 / 100);
    EXPECT_EQ(k.U[2], 0.5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(k.S[i], 1.0);
    qwtest::WriteWholeFile(path, OldFile(200, 50, 30, 40, 60, -20));
    ASSERT_TRUE(LoadFile(path, k, m));
    EXPECT_DOUBLE_EQ(k.U[0], 0.5 - 0.33 * 50 / 100);
    EXPECT_DOUBLE_EQ(k.H[2], -2 * 0.33 * 60 / 100);
    EXPECT_EQ(k.S[3], 0.0);
    qwtest::WriteWholeFile(path, OldFile(0, 100, 100, 100, 100, 50));
    ASSERT_TRUE(LoadFile(path, k, m));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(k.H[i], 0.0);
        EXPECT_EQ(k.U[i], 0.5);
    }
    EXPECT_TRUE(m.errors.empty());
}

TEST(KnifeShapeFile, RefusedFilesLeaveTheShape)
{
    qwtest::TempDir dir;
    const std::string path = dir.File("bad.qwjh");
    const KnifeShape start = DefaultShape();
    struct Case {
        const char* what;
        std::string bytes;  // empty: the package written below
        const char* message;
    };
    std::string wrongMagic = OldFile(1000, 100, 10, 100, 20, 150);
    wrongMagic[0] = 'q';
    auto expectRefused = [&](const char* what, const char* message) {
        Messages m;
        KnifeShape k = start;
        EXPECT_FALSE(LoadFile(path, k, m)) << what;
        EXPECT_EQ(m.Last(), message) << what;
        EXPECT_EQ(m.errors.size(), 1u) << what;
        EXPECT_TRUE(CShapeHistory::SameShape(k, start)) << what;
    };
    qwtest::WriteWholeFile(path, "");
    expectRefused("empty", shape_text::kEmptyFile);
    qwtest::WriteWholeFile(path, wrongMagic);
    expectRefused("53 bytes without the older magic", shape_text::kUnknownFormat);
    WriteShapePackage(path, "Quarrow. Jigcrafter Shape Set 2.0", 1, 1);
    expectRefused("a shape set", shape_text::kUnknownFormat);
    WriteShapePackage(path, "quarrow. jigcrafter shape 2.0", 1, 1);
    expectRefused("version in other case", shape_text::kUnknownFormat);
    WriteShapePackage(path, knife_file::kVersion, 65, 65);
    expectRefused("65 nodes", shape_text::kUnknownFormat);
    WriteShapePackage(path, knife_file::kVersion, 5, 4);
    expectRefused("a node missing", shape_text::kUnknownFormat);
    WriteShapePackage(path, knife_file::kVersion, 2, 2, std::numeric_limits<double>::quiet_NaN());
    expectRefused("not a number", shape_text::kUnknownFormat);
    WriteShapePackage(path, knife_file::kVersion, 2, 2, std::numeric_limits<double>::infinity());
    expectRefused("infinite", shape_text::kUnknownFormat);
    // Values the shape editor cannot give a node (its curve would run far beyond any picture):
    // more than 5 edge lengths across, more than 2 before or beyond the edge, a smoothness
    // outside 0..1.
    WriteShapePackage(path, knife_file::kVersion, 5, 5, 0.5, 1e5);
    expectRefused("H = 1e5", shape_text::kUnknownFormat);
    for (const auto& [u, h, sm] : std::vector<std::array<double, 3>>{
             {0.5, 5.001, 0.5}, {0.5, -5.001, 0.5}, {-2.001, 0, 0.5}, {3.001, 0, 0.5}, {0.5, 0, -0.001}, {0.5, 0, 1.001}}) {
        WriteShapePackage(path, knife_file::kVersion, 1, 1, u, h, sm);
        expectRefused(("U, H, S = " + std::to_string(u) + ", " + std::to_string(h) + ", " + std::to_string(sm)).c_str(),
                      shape_text::kUnknownFormat);
    }
    for (const auto& [u, h, sm] : std::vector<std::array<double, 3>>{{-2, 5, 0}, {3, -5, 1}}) {
        WriteShapePackage(path, knife_file::kVersion, 1, 1, u, h, sm);
        Messages m;
        KnifeShape k = start;
        EXPECT_TRUE(LoadFile(path, k, m)) << u;
        EXPECT_EQ(k.U[0], u);
        EXPECT_EQ(k.H[0], h);
    }
    WriteShapePackage(path, knife_file::kVersion, 2, 2);
    std::string bytes = FileBytes(path);
    bytes[bytes.size() - 20] ^= 1;
    qwtest::WriteWholeFile(path, bytes);
    expectRefused("damaged digest", shape_text::kUnknownFormat);
    qwtest::WriteWholeFile(path, bytes.substr(0, 30));
    expectRefused("cut short", shape_text::kUnknownFormat);

    // "Nodes" = 0 is a shape without nodes.
    WriteShapePackage(path, knife_file::kVersion, 0, 0);
    Messages m;
    KnifeShape k = start;
    ASSERT_TRUE(LoadFile(path, k, m));
    EXPECT_EQ(k.nodeCount, 0);
}

TEST(KnifeShapeFile, WritersReportAFullDiskAndAShortWrite)
{
    KnifeShape wide{};
    wide.nodeCount = 64;
    for (int i = 0; i < 64; ++i) {
        wide.U[i] = i / 64.0;
        wide.H[i] = (i % 2) ? -0.2 : 0.1;
        wide.S[i] = 0.5;
    }
    for (int which = 0; which < 3; ++which) {
        Messages m;
        CQWF_StdFile f;
        ASSERT_TRUE(f.Open(CQWF_String("Z:/dev/full"), CQWF_StdFile::kModeCreateReadWrite));
        const bool ok = which == 0   ? SaveKnifeShapeFile(f, wide, &m)
                        : which == 1 ? WriteKnifeShapeEPS(f, wide, &m)
                                     : WriteKnifeShapeAI(f, wide, &m);
        EXPECT_FALSE(ok) << which;
        EXPECT_EQ(m.Last(), shape_text::kCannotWrite) << which;
    }

    // A file-size limit cuts the write short part way.
    qwtest::TempDir dir;
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool results[3];
    Messages m;
    for (int which = 0; which < 3; ++which) {
        CQWF_StdFile f;
        const std::string path = dir.File("short" + std::to_string(which));
        results[which] = f.Open(CQWF_String(Win(path).c_str()), CQWF_StdFile::kModeCreateReadWrite) &&
                         (which == 0   ? SaveKnifeShapeFile(f, wide, &m)
                          : which == 1 ? WriteKnifeShapeEPS(f, wide, &m)
                                       : WriteKnifeShapeAI(f, wide, &m));
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    for (int which = 0; which < 3; ++which)
        EXPECT_FALSE(results[which]) << which;
    EXPECT_EQ(m.errors.size(), 3u);
}

TEST(KnifeShapeDrawing, BoundsLinesAndTheIllustratorForm)
{
    // No nodes: the straight edge in a box 8 x 152.
    const std::string none = Drawing(Shape({}), true);
    EXPECT_EQ(none,
              "%!PS-Adobe-3.0 EPSF-3.0\n%%Creator: Quarrow. Jigcrafter 2.0\n"
              "%%BoundingBox: 0 0 8.000000 152.000000\n%%LanguageLevel: 2\n%%Pages: 1\n"
              "%%DocumentData: Clean7Bit\nnewpath\n4.000000 4.000000 moveto\n"
              "4.000000 148.000000 lineto\n2.000000 setlinewidth 1 setlinecap 1 setlinejoin\n"
              "stroke\n%%EOF\n");
    // Nodes all on the edge: a vertical path, still 8 points wide, one curveto per segment.
    const std::string flat = Drawing(Shape({{0.25, 0, 0.5}, {0.5, 0, 0.5}, {0.75, 0, 0.5}}), true);
    EXPECT_NE(flat.find("%%BoundingBox: 0 0 8.000000 152.000000\n"), std::string::npos);
    size_t curves = 0;
    for (size_t p = flat.find("curveto"); p != std::string::npos; p = flat.find("curveto", p + 1))
        ++curves;
    EXPECT_EQ(curves, 4u);
    // The default shape's knob lies on the right (x = -144 H), its box follows it.
    const std::string tab = Drawing(DefaultShape(), true);
    double W = 0, Hb = 0;
    ASSERT_EQ(std::sscanf(tab.c_str() + tab.find("%%BoundingBox:"), "%%%%BoundingBox: 0 0 %lf %lf", &W, &Hb), 2);
    EXPECT_GT(W, 144 * 0.297 + 8);
    EXPECT_LT(W, 144 * 0.4 + 8);
    EXPECT_EQ(tab.find(','), std::string::npos);

    const std::string ai = Drawing(DefaultShape(), false);
    EXPECT_EQ(ai.find('\n'), std::string::npos);
    EXPECT_EQ(ai.compare(0, 15, "%!PS-Adobe-3.0\r"), 0);
    for (const char* line :
         {"\r%%AI3_TemplateBox: 0 0 ", "\r%%DocumentNeededResources: procset Adobe_packedarray 2.0 0\r",
          "\r%%+ procset Adobe_Illustrator_AI3 1.0 1\r",
          "\r%%IncludeResource: procset Adobe_cshow 1.1 0\r",
          "\rAdobe_pattern_AI3 /initialize get exec\r", "\r2.000000 w\r1 J\r1 j\r1.00 1.00 1.00 1.00 K\r",
          "\rS\r%%PageTrailer\rgsave annotatepage grestore showpage\r%%Trailer\r"
          "Adobe_Illustrator_AI3 /terminate get exec\rAdobe_pattern_AI3 /terminate get exec\r"}) {
        EXPECT_NE(ai.find(line), std::string::npos) << line;
    }
    const std::string tail = "\rAdobe_packedarray /terminate get exec\r%%EOF\r";
    EXPECT_EQ(ai.substr(ai.size() - tail.size()), tail);
    // Values that are no numbers make no drawing.
    KnifeShape bad = DefaultShape();
    bad.H[2] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(Drawing(bad, true), "");
}

TEST(ShapeLibraryRecords, ConversionsNamesAndCounts)
{
    uint8_t record[shape_library::kRecordSize];
    const std::string longName(100, 'n');
    ShapeToRecord(DefaultShape(), longName.c_str(), record);
    EXPECT_EQ(record[63], 0);
    EXPECT_EQ(record[64], 5);
    CQWF_String name;
    GetRecordName(record, name);
    EXPECT_EQ(name.GetLength(), 63u);
    KnifeShape k{};
    RecordToShape(record, k);
    EXPECT_EQ(k.nodeCount, 5);
    EXPECT_EQ(k.H[2], static_cast<double>(-0.297f));
    // A count of 70 reaches the Cutter as 64 nodes; a name without its zero stops at 63.
    record[64] = 70;
    std::memset(record, 'x', 64);
    ASSERT_TRUE(RecordToShape(record, k));
    EXPECT_EQ(k.nodeCount, 64);
    GetRecordName(record, name);
    EXPECT_EQ(name.GetLength(), 63u);
    // Values a knife-shape file may not hold make a damaged record: no number, or beyond 5 edge
    // lengths across, -2 to 3 along, 0 to 1 smooth; the bounds themselves are sound.
    struct Value {
        size_t offset;
        float value;
        bool sound;
    };
    for (const Value& v : {Value{shape_library::kHOffset, std::numeric_limits<float>::quiet_NaN(), false},
                           Value{shape_library::kHOffset, 3.4e38f, false}, Value{shape_library::kHOffset, -5.0f, true},
                           Value{shape_library::kHOffset, 5.01f, false}, Value{shape_library::kUOffset, 1e30f, false},
                           Value{shape_library::kUOffset, -2.0f, true}, Value{shape_library::kUOffset, 3.01f, false},
                           Value{shape_library::kSOffset, -0.01f, false}, Value{shape_library::kSOffset, 1.0f, true}}) {
        uint8_t damaged[shape_library::kRecordSize];
        std::memcpy(damaged, record, sizeof damaged);
        std::memcpy(damaged + v.offset + 4 * 63, &v.value, 4);
        KnifeShape got = DefaultShape();
        EXPECT_EQ(RecordToShape(damaged, got), v.sound) << v.offset << " " << v.value;
        EXPECT_EQ(got.nodeCount, v.sound ? 64 : 0);
    }
}

namespace {
// A library of named default-like shapes in a temporary data folder.
struct Library {
    qwtest::TempDir dir;
    Messages m;
    CPresetsManagerModel model;
    std::string path = dir.File("ckss.data");
    Library()
    {
        model.SetMessages(&m);
        model.SetLibraryPath(CQWF_String(Win(path).c_str()));
    }
    void WriteRecords(const std::vector<std::string>& names, size_t extraBytes = 0)
    {
        std::string bytes;
        for (size_t i = 0; i < names.size(); ++i) {
            uint8_t r[shape_library::kRecordSize];
            KnifeShape k = DefaultShape();
            k.nodeCount = static_cast<uint8_t>(1 + i % 5);
            ShapeToRecord(k, names[i].c_str(), r);
            bytes.append(reinterpret_cast<const char*>(r), sizeof r);
        }
        bytes.append(extraBytes, '\x7f');
        qwtest::WriteWholeFile(path, bytes);
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (size_t i = 0; i < model.GetCount(); ++i) {
            CQWF_String n;
            model.GetName(i, n);
            names.push_back(n.GetBuffer());
        }
        return names;
    }
    // A set file of the given names written through the set writer.
    std::string SetBytes(const std::vector<std::string>& names)
    {
        Library source;
        source.WriteRecords(names);
        source.model.ReadLibrary();
        source.model.SelectAll();
        const std::string setPath = dir.File("set.qwjk");
        {
            CQWF_StdFile f;
            EXPECT_TRUE(f.Open(CQWF_String(Win(setPath).c_str()), CQWF_StdFile::kModeCreateReadWrite));
            EXPECT_TRUE(source.model.WriteShapeSetFile(f));
        }
        return FileBytes(setPath);
    }
    bool ReadSet(const std::string& bytes, bool replace)
    {
        return model.ReadShapeSet(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                  replace);
    }
};

std::string DefaultSetBytes()
{
    qwtest::TempDir dir;
    CQWF_String error;
    const std::string setPath = dir.File("defset.qwjk");
    EXPECT_TRUE(BuildShapeSetFile(Win(qwtest::SourceDir() + "/skin/shapes/defset.txt").c_str(),
                                  Win(setPath).c_str(), error))
        << error.GetBuffer();
    return FileBytes(setPath);
}
}  // namespace

TEST(ShapeLibrary, ReadingTheFileAndTheBuiltInSet)
{
    const std::string defSet = DefaultSetBytes();
    const auto* def = reinterpret_cast<const uint8_t*>(defSet.data());
    {
        // 1000 bytes hold one record; the rest is ignored.
        Library t;
        t.WriteRecords({"one"}, 164);
        t.model.Open(def, defSet.size());
        EXPECT_EQ(t.Names(), std::vector<std::string>{"one"});
    }
    {
        // An empty file is an empty library: the built-in set is not loaded.
        Library t;
        qwtest::WriteWholeFile(t.path, "");
        t.model.Open(def, defSet.size());
        EXPECT_EQ(t.model.GetCount(), 0u);
        EXPECT_EQ(FileBytes(t.path), "");
    }
    {
        // Without the file the built-in set becomes the library and the file.
        Library t;
        t.model.Open(def, defSet.size());
        ASSERT_EQ(t.model.GetCount(), 12u);
        EXPECT_EQ(t.Names()[0], "Classic Round Tab");
        EXPECT_EQ(FileBytes(t.path).size(), 12 * shape_library::kRecordSize);
        EXPECT_TRUE(t.m.errors.empty());
    }
    {
        // A file that exists but cannot be read is never replaced: not by the built-in set, not
        // by the empty library when the window closes, not by an appended set or shape.
        Library t;
        t.WriteRecords({"mine", "precious"});
        const std::string before = FileBytes(t.path);
        qwp::SetOpenFailureAfter(0);
        t.model.LoadDefaultSet(def, defSet.size());
        qwp::SetOpenFailureAfter(0);
        EXPECT_FALSE(t.model.ReadLibrary());
        EXPECT_TRUE(t.model.IsLibraryUnreadable());
        EXPECT_EQ(t.m.Last(), shape_text::kReadError);
        EXPECT_FALSE(t.ReadSet(defSet, false));
        EXPECT_FALSE(t.model.AddShape("new", DefaultShape()));
        EXPECT_FALSE(t.model.Close());
        EXPECT_EQ(FileBytes(t.path), before);
        qwp::SetOpenFailureAfter(0);
        EXPECT_FALSE(AppendCustomShape(CQWF_String(Win(t.path).c_str()), "x", DefaultShape(), &t.m));
        EXPECT_EQ(FileBytes(t.path), before);
        // Replacing by a set is what the user asked for.
        EXPECT_TRUE(t.ReadSet(defSet, true));
        EXPECT_EQ(t.model.GetCount(), 12u);
        EXPECT_FALSE(t.model.IsLibraryUnreadable());
    }
}

TEST(ShapeLibrary, AMemoryFailureWhileReadingNeverLosesTheFile)
{
    // Whichever allocation fails while the library is read, closing the window afterwards
    // leaves the user's file as it was.
    Library t;
    t.WriteRecords({"one", "two", "three"});
    const std::string before = FileBytes(t.path);
    for (long n = 0; n < 40; ++n) {
        qwf::SetAllocFailureAfter(n);
        t.model.ReadLibrary();
        qwf::SetAllocFailureAfter(-1);
        t.model.Close();
        ASSERT_EQ(FileBytes(t.path), before) << n;
    }
}

TEST(ShapeLibrary, EditingTheLibrary)
{
    Library t;
    t.WriteRecords({"b", "A", "a", "c"});
    t.model.ReadLibrary();
    // Sorting "b", "A", "a" byte by byte gives "A", "a", "b"; selections travel with them.
    t.model.SetSelected(0, true);
    ASSERT_TRUE(t.model.Sort());
    EXPECT_EQ(t.Names(), (std::vector<std::string>{"A", "a", "b", "c"}));
    EXPECT_TRUE(t.model.IsSelected(2));
    EXPECT_EQ(t.model.GetSelectedCount(), 1u);
    // Renaming keeps 63 characters.
    ASSERT_TRUE(t.model.RenameSelected(std::string(100, 'r').c_str()));
    EXPECT_EQ(t.Names()[2], std::string(63, 'r'));
    // The selected shape goes to the Cutter.
    KnifeShape k{};
    ASSERT_TRUE(t.model.GetShapeForCutter(k));
    EXPECT_EQ(k.nodeCount, 1);  // "b" was written with one node
    // A damaged entry of the file (H of 3.4e38) does not: told as the file's reading error.
    {
        Library damaged;
        damaged.WriteRecords({"huge"});
        std::string bytes = FileBytes(damaged.path);
        const float huge = 3.4e38f;
        std::memcpy(&bytes[shape_library::kHOffset], &huge, 4);
        qwtest::WriteWholeFile(damaged.path, bytes);
        damaged.model.ReadLibrary();
        damaged.model.SetSelected(0, true);
        KnifeShape kept = DefaultShape();
        EXPECT_FALSE(damaged.model.GetShapeForCutter(kept));
        EXPECT_EQ(damaged.m.Last(), shape_text::kReadError);
        // It stays in the library as it is.
        ASSERT_TRUE(damaged.model.Close());
        EXPECT_EQ(FileBytes(damaged.path), bytes);
    }
    // Buttons follow the selection.
    t.model.SetSelected(3, true);
    PresetsButtons b = t.model.GetButtons();
    EXPECT_TRUE(b.saveSet && b.deleteShape);
    EXPECT_FALSE(b.rename || b.toCutter || b.toCutterClose);
    // Delete removes the selected records without a question; nothing stays selected.
    ASSERT_TRUE(t.model.DeleteSelected());
    EXPECT_EQ(t.Names(), (std::vector<std::string>{"A", "a"}));
    EXPECT_EQ(t.model.GetSelectedCount(), 0u);
    // Closing writes the library in memory.
    ASSERT_TRUE(t.model.Close());
    t.model.ReadLibrary();
    EXPECT_EQ(t.Names(), (std::vector<std::string>{"A", "a"}));
    // A failed write on closing is reported.
    t.model.SetLibraryPath(CQWF_String(Win(t.dir.File("missing/ckss.data")).c_str()));
    EXPECT_FALSE(t.model.Close());
    EXPECT_EQ(t.m.Last(), shape_text::kCannotUpdate);
}

TEST(ShapeLibrary, CellsAndTheSelectionInView)
{
    Library t;
    std::vector<std::string> names;
    for (int i = 0; i < 20; ++i)
        names.push_back("s" + std::to_string(i));
    t.WriteRecords(names);
    t.model.ReadLibrary();
    EXPECT_EQ(t.model.GetCellRecord(7), 7);
    EXPECT_EQ(t.model.GetCellRecord(8), -1);
    t.model.SetSelected(12, true);
    t.model.KeepSelectionInView();
    EXPECT_EQ(t.model.GetFirstShown(), 12u);
    ASSERT_TRUE(t.model.ClickCell(3, false));  // record 15
    EXPECT_TRUE(t.model.IsSelected(15));
    EXPECT_FALSE(t.model.IsSelected(12));
    t.model.ClickCell(0, true);
    EXPECT_EQ(t.model.GetSelectedCount(), 2u);
    t.model.ScrollTo(15);
    EXPECT_FALSE(t.model.ClickCell(5, false));  // record 20 does not exist
    EXPECT_EQ(t.model.GetSelectedCount(), 2u);
    t.model.ScrollTo(100);
    EXPECT_EQ(t.model.GetFirstShown(), 19u);
    t.model.SetBigIcons(true);  // first selected (12) lies before: it becomes the first shown
    EXPECT_EQ(t.model.GetFirstShown(), 12u);
    EXPECT_EQ(t.model.GetCellRecord(1), 13);
    EXPECT_EQ(t.model.GetCellRecord(2), -1);
}

TEST(ShapeSets, SavingAppendingReplacingAndRefusing)
{
    Library t;
    // Three selected of ten are written as Shape_0..2 in library order, TotalShapes 3.
    std::vector<std::string> ten;
    for (int i = 0; i < 10; ++i)
        ten.push_back("shape " + std::to_string(i));
    t.WriteRecords(ten);
    t.model.ReadLibrary();
    for (size_t i : {7u, 2u, 4u})
        t.model.SetSelected(i, true);
    const std::string setPath = t.dir.File("three.qwjk");
    {
        CQWF_StdFile f;
        ASSERT_TRUE(f.Open(CQWF_String(Win(setPath).c_str()), CQWF_StdFile::kModeCreateReadWrite));
        ASSERT_TRUE(t.model.WriteShapeSetFile(f));
    }
    EXPECT_EQ(t.m.statuses, (std::vector<std::string>{"Writing shape 1 of 3", "Writing shape 2 of 3",
                                                      "Writing shape 3 of 3", "Writing complete"}));
    {
        CQWF_Storage s;
        ASSERT_TRUE(s.OpenFile(Win(setPath).c_str(), CQWF_Storage::kModeRead));
        uint32_t total = 0;
        ASSERT_TRUE(s.GetDWord("TotalShapes", total));
        EXPECT_EQ(total, 3u);
        CQWF_Mem v;
        ASSERT_TRUE(s.GetBinary("Shape_1", v));
        EXPECT_STREQ(reinterpret_cast<const char*>(v.GetData()), "shape 4");
        EXPECT_EQ(v.GetSize(), 68u + 12u * (1 + 4 % 5));
        EXPECT_FALSE(s.GetBinary("Shape_3", v));
    }
    // Nothing selected: nothing written.
    t.model.SelectNone();
    {
        CQWF_StdFile f;
        ASSERT_TRUE(f.Open(CQWF_String(Win(t.dir.File("none.qwjk")).c_str()), CQWF_StdFile::kModeCreateReadWrite));
        EXPECT_FALSE(t.model.WriteShapeSetFile(f));
    }

    // Appending five to four gives nine, the new ones last; replacing gives five.
    const std::string five = t.SetBytes({"f0", "f1", "f2", "f3", "f4"});
    t.WriteRecords({"l0", "l1", "l2", "l3"});
    t.model.ReadLibrary();
    ASSERT_TRUE(t.ReadSet(five, false));
    EXPECT_EQ(t.Names(), (std::vector<std::string>{"l0", "l1", "l2", "l3", "f0", "f1", "f2", "f3", "f4"}));
    ASSERT_TRUE(t.ReadSet(five, true));
    EXPECT_EQ(t.model.GetCount(), 5u);
    KnifeShape k{};
    ASSERT_TRUE(t.model.GetShape(4, k));
    EXPECT_EQ(k.nodeCount, 5);
    EXPECT_EQ(k.U[2], static_cast<double>(0.5f));

    // "TotalShapes" = 0 changes nothing and reports nothing.
    const std::string before = FileBytes(t.path);
    {
        PackageWriter w(t.dir.File("empty.qwjk"));
        w.s.SetString("Version", shape_library::kSetVersion);
        w.s.SetDWord("TotalShapes", 0);
    }
    t.m.errors.clear();
    EXPECT_TRUE(t.ReadSet(FileBytes(t.dir.File("empty.qwjk")), false));
    EXPECT_TRUE(t.m.errors.empty());
    EXPECT_EQ(FileBytes(t.path), before);

    // Untrusted values: each refused with "Error reading data file...", the library unchanged.
    auto value = [](uint32_t count, size_t length, float fill) {
        std::string v(length, '\0');
        std::memcpy(&v[0], "evil", 4);
        for (int k = 0; k < 4; ++k)
            v[64 + k] = static_cast<char>((count >> (8 * k)) & 0xFF);
        for (size_t p = 68; p + 4 <= length; p += 4)
            std::memcpy(&v[p], &fill, 4);
        return v;
    };
    struct Bad {
        const char* what;
        std::string shape;
        uint32_t total;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const Bad bad[] = {
        {"65 nodes", value(65, 68 + 12 * 65, 0.5f), 1},
        {"count 261 whose low byte is 5", value(261, 68 + 12 * 5, 0.5f), 1},
        {"shorter than its nodes", value(5, 68 + 12 * 4, 0.5f), 1},
        {"longer than its nodes", value(5, 68 + 12 * 6, 0.5f), 1},
        {"shorter than the header", std::string(40, 'x'), 1},
        {"infinite values", value(2, 68 + 24, inf), 1},
        {"not a number", value(2, 68 + 24, std::numeric_limits<float>::quiet_NaN()), 1},
        {"values beyond the knife-shape file's bounds", value(2, 68 + 24, 3.4e38f), 1},
        {"more shapes than entries", value(1, 68 + 12, 0.5f), 1000000},
        {"a shape missing", value(1, 68 + 12, 0.5f), 2},
    };
    for (const Bad& b : bad) {
        const std::string file = t.dir.File("bad.qwjk");
        {
            PackageWriter w(file);
            w.s.SetString("Version", shape_library::kSetVersion);
            w.s.SetBinary("Shape_0", b.shape.data(), b.shape.size());
            w.s.SetDWord("TotalShapes", b.total);
        }
        t.m.errors.clear();
        for (bool replace : {false, true}) {
            EXPECT_FALSE(t.ReadSet(FileBytes(file), replace)) << b.what;
            EXPECT_EQ(t.m.Last(), shape_text::kReadError) << b.what;
        }
        EXPECT_EQ(FileBytes(t.path), before) << b.what;
        EXPECT_EQ(t.model.GetCount(), 5u) << b.what;
    }
    // Not a package at all: reported.
    t.m.errors.clear();
    EXPECT_FALSE(t.ReadSet("QWCPSv40 and some more bytes than forty of them........", true));
    EXPECT_EQ(t.m.Last(), shape_text::kUnknownFormat);
    // A package whose "Version" is another's, or missing, or without "TotalShapes": refused
    // without a message.
    t.m.errors.clear();
    WriteShapePackage(t.dir.File("shape.qwjh"), knife_file::kVersion, 1, 1);
    EXPECT_FALSE(t.ReadSet(FileBytes(t.dir.File("shape.qwjh")), true));
    {
        PackageWriter w(t.dir.File("noversion.qwjk"));
        w.s.SetDWord("TotalShapes", 0);
    }
    EXPECT_FALSE(t.ReadSet(FileBytes(t.dir.File("noversion.qwjk")), false));
    {
        PackageWriter w(t.dir.File("nototal.qwjk"));
        w.s.SetString("Version", shape_library::kSetVersion);
    }
    EXPECT_FALSE(t.ReadSet(FileBytes(t.dir.File("nototal.qwjk")), true));
    EXPECT_TRUE(t.m.errors.empty()) << t.m.Last();
    EXPECT_EQ(FileBytes(t.path), before);
    EXPECT_EQ(t.model.GetCount(), 5u);
}

TEST(ShapeLibrary, AppendingShapesToTheFile)
{
    Library t;
    const CQWF_String path(Win(t.path).c_str());
    // The first append creates the file.
    ASSERT_TRUE(AppendCustomShape(path, "first", DefaultShape(), &t.m));
    ASSERT_TRUE(AppendCustomShape(path, std::string(80, 'z').c_str(), Shape({}), &t.m));
    t.model.ReadLibrary();
    EXPECT_EQ(t.Names(), (std::vector<std::string>{"first", std::string(63, 'z')}));
    // A shape loaded from a file goes in after the library in memory was written.
    t.model.SetSelected(0, true);
    t.model.RenameSelected("renamed");
    ASSERT_TRUE(t.model.AddShape("loaded", DefaultShape()));
    EXPECT_EQ(t.Names(), (std::vector<std::string>{"renamed", std::string(63, 'z'), "loaded"}));
    // A library that cannot be written reports it.
    const CQWF_String nowhere(Win(t.dir.File("no/such/ckss.data")).c_str());
    EXPECT_FALSE(AppendCustomShape(nowhere, "x", DefaultShape(), &t.m));
    EXPECT_EQ(t.m.Last(), shape_text::kCannotUpdate);
    // A link planted at the library's name is replaced by the library (read through it, the
    // file it names holds no whole record); that file stays as it was.
    const std::string mine = t.dir.File("mine.txt");
    ASSERT_TRUE(qwtest::WriteWholeFile(mine, "mine"));
    std::filesystem::remove(t.path);
    std::filesystem::create_symlink(mine, t.path);
    ASSERT_TRUE(AppendCustomShape(path, "after", DefaultShape(), &t.m));
    EXPECT_EQ(FileBytes(mine), "mine");
    EXPECT_FALSE(std::filesystem::is_symlink(t.path));
    EXPECT_EQ(FileBytes(t.path).size(), 836u);
}

TEST(ShapeList, TheBuiltInSetIsSoundAndTheParserStrict)
{
    std::string text;
    ASSERT_TRUE(qwtest::ReadWholeFile(qwtest::SourceDir() + "/skin/shapes/defset.txt", text));
    CQWF_Mem records;
    size_t count = 0;
    CQWF_String error;
    // Each text ends where reading on faults, so that no line is read past its end, the last
    // one without its line break too.
    auto parse = [&](const std::string& t) {
        qwtest::GuardedBytes bytes(t.size());
        std::memcpy(bytes.data(), t.data(), t.size());
        return ParseShapeList(reinterpret_cast<const char*>(bytes.data()), t.size(), records, count, error);
    };
    ASSERT_TRUE(parse(text)) << error.GetBuffer();
    ASSERT_EQ(count, 12u);
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* r = records.GetData() + i * shape_library::kRecordSize;
        CQWF_String name;
        GetRecordName(r, name);
        names.push_back(name.GetBuffer());
        KnifeShape k{};
        RecordToShape(r, k);
        ASSERT_GE(k.nodeCount, 3) << names.back();
        // A good puzzle edge: the smooth curve through the nodes (edge 0..1 along, H across)
        // never crosses itself and stays within the edge's ends and 0.4 of an edge across.
        QWF_PolyPoint chain[66];
        chain[0] = {0, 0, 0};
        for (int n = 0; n < k.nodeCount; ++n)
            chain[n + 1] = {k.U[n] * 400, k.H[n] * 400, static_cast<float>(k.S[n])};
        chain[k.nodeCount + 1] = {400, 0, 0};
        CQWF_2DMath math;
        CQWF_Mem flat;
        int64_t points = 0;
        ASSERT_TRUE(math.BezierToPolyline(chain, k.nodeCount + 2, 2.0, &flat, points));
        const double* p = reinterpret_cast<const double*>(flat.GetData());
        double deepest = 0;
        for (int64_t a = 0; a < points; ++a) {
            EXPECT_GE(p[2 * a], -1e-9) << names.back();
            EXPECT_LE(p[2 * a], 400 + 1e-9) << names.back();
            EXPECT_LT(std::fabs(p[2 * a + 1]), 0.4 * 400) << names.back();
            deepest = std::min(deepest, p[2 * a + 1]);
            for (int64_t b = a + 2; b + 1 < points; ++b) {
                if (a == 0 && b + 2 == points)
                    continue;
                ASSERT_FALSE(Cross(p + 2 * a, p + 2 * a + 2, p + 2 * b, p + 2 * b + 2))
                    << names.back() << " crosses itself";
            }
        }
        EXPECT_LT(deepest, -0.07 * 400) << names.back() << " has no knob or wave";
    }
    EXPECT_EQ(names[0], "Classic Round Tab");
    EXPECT_NE(std::find(names.begin(), names.end(), "Wave Without Knob"), names.end());

    for (const char* t : {"shape \"a\"\n 0.5 0.1\nend\n", "shape \"a\"\n 0.5 0.1 0.5 7\nend\n",
                          "shape \"a\"\n 1.5 0.1 0.5\nend\n", "shape \"a\"\n 0.5 0.1 -0.5\nend\n",
                          "shape \"a\"\n 0,5 0.1 0.5\nend\n", "shape \"\"\nend\n", "shape a\nend\n",
                          "0.5 0.1 0.5\n", "shape \"a\"\n 0.5 0.1 0.5\n", "shape \"a\"\n 0.5 nan 0.5\nend\n",
                          "shape \"a\"\n 0.5 0.1", "shape \"a\"\n 0.5 0.1 0.5", "shape \"a\"\n0.5 0.1 0.5 #", "shape \"a\""})
        EXPECT_FALSE(parse(t)) << t;
    for (const char* t : {"shape \"a\"\n0.5 0.1 0.5\nend", "shape \"a\"\n0.5 0.1 0.5 \nend\n \t", "shape \"a\" # b\nend #"}) {
        EXPECT_TRUE(parse(t)) << t;
        EXPECT_EQ(count, 1u) << t;
    }
    std::string tooMany = "shape \"many\"\n";
    for (int i = 0; i < 65; ++i)
        tooMany += "0.5 0 0.5\n";
    tooMany += "end\n";
    EXPECT_FALSE(ParseShapeList(tooMany.data(), tooMany.size(), records, count, error));
    EXPECT_STREQ(error.GetBuffer(), "line 66: more than 64 nodes");
}

TEST(ShapeList, TheSkinPackageHoldsTheBuiltInSet)
{
    // skin/shapes/defset.qwjk is the shape list written as a set; a changed list needs a fresh
    // copy, which this test leaves in the test output.
    const std::string fresh = DefaultSetBytes();
    const std::string committed = FileBytes(qwtest::SourceDir() + "/skin/shapes/defset.qwjk");
    if (fresh != committed) {
        const std::string copy = qwtest::OutputDir("shapes-fresh") + "/defset.qwjk";
        qwtest::WriteWholeFile(copy, fresh);
        FAIL() << "skin/shapes/defset.qwjk does not hold skin/shapes/defset.txt; copy " << copy;
    }
    // The compiled skin package carries it as "DefSet", and it reads as the twelve shapes.
    CQWF_Storage package;
    ASSERT_TRUE(package.OpenFile(Win(qwtest::BinaryDir() + "/bin/resource_jw30.qws4").c_str(),
                                 CQWF_Storage::kModeRead));
    CQWF_Mem value;
    ASSERT_TRUE(package.GetBinary("DefSet", value));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(value.GetData()), value.GetSize()), committed);
    CQWF_Mem records;
    size_t count = 0;
    Messages m;
    ASSERT_TRUE(ParseShapeSet(value.GetData(), value.GetSize(), records, count, &m));
    EXPECT_EQ(count, 12u);
}

namespace {
// A shape of n nodes, different for each seed.
KnifeShape NumberedShape(int n, int seed)
{
    KnifeShape s{};
    s.nodeCount = static_cast<uint8_t>(n);
    for (int i = 0; i < n; ++i) {
        s.U[i] = 0.01 + 0.015 * i;
        s.H[i] = 0.001 * (i + 1) * (seed + 1);
        s.S[i] = 0.5;
        s.selected[i] = 1;
    }
    return s;
}

bool SameNodes(const KnifeShape& a, const KnifeShape& b)
{
    if (a.nodeCount != b.nodeCount) return false;
    for (int i = 0; i < a.nodeCount; ++i)
        if (a.U[i] != b.U[i] || a.H[i] != b.H[i] || a.S[i] != b.S[i]) return false;
    return true;
}

// The last shape the store on the disk holds ("none" when it holds no sound one).
KnifeShape StoredLastShape(const std::string& path)
{
    CQWF_Storage store;
    KnifeShape shape{};
    shape.nodeCount = 99;
    EXPECT_TRUE(store.OpenFile(Win(path).c_str(), CQWF_Storage::kModeRead));
    if (!ReadLastShape(store, shape)) shape.nodeCount = 99;
    return shape;
}

bool WriteStored(const std::string& path, const KnifeShape& shape)
{
    CQWF_Storage store;
    const bool exists = std::filesystem::exists(path);
    EXPECT_TRUE(store.OpenFile(Win(path).c_str(), exists ? CQWF_Storage::kModeReadWrite : CQWF_Storage::kModeCreate));
    const bool written = WriteLastShape(store, shape);
    return store.Close() && written;
}
}  // namespace

// The last shape stored over an earlier one is the earlier one or the whole new one, whatever
// write of the store stops it: the process killed before each write in turn (from 5 nodes to 64
// and back), a full disk at every room.
TEST(LastShape, TheEarlierOrTheNewWhereverItsStoringStops)
{
    qwtest::TempDir dir;
    const std::string path = dir.File("plugin.conf");
    const KnifeShape shapes[] = {NumberedShape(5, 0), NumberedShape(64, 1), NumberedShape(5, 2)};
    ASSERT_TRUE(WriteStored(path, shapes[0]));
    for (int k = 1; k < 3; ++k) {
        const KnifeShape& earlier = shapes[k - 1];
        const KnifeShape& next = shapes[k];
        for (long write = 0;; ++write) {
            ASSERT_TRUE(SameNodes(StoredLastShape(path), earlier));
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                qwp::SetExitAtWriteAfter(write);
                WriteStored(path, next);
                _exit(0);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status)) << write;
            const KnifeShape now = StoredLastShape(path);
            EXPECT_TRUE(SameNodes(now, earlier) || SameNodes(now, next)) << "stopped at write " << write;
            if (WEXITSTATUS(status) == 0) {
                EXPECT_TRUE(SameNodes(now, next));
                break;
            }
            ASSERT_EQ(WEXITSTATUS(status), 137);
            if (!SameNodes(now, earlier)) {
                ASSERT_TRUE(WriteStored(path, earlier));
            }
        }
    }
    struct FreeSpaceOff {
        ~FreeSpaceOff() { qwp::SetFreeSpace(nullptr, -1); }
    } off;
    for (int64_t room = 0;; room += 97) {
        ASSERT_TRUE(WriteStored(path, shapes[1]));
        qwp::SetFreeSpace(Win(dir.Path()).c_str(), room);
        const bool stored = WriteStored(path, shapes[0]);
        qwp::SetFreeSpace(nullptr, -1);
        const KnifeShape now = StoredLastShape(path);
        EXPECT_TRUE(SameNodes(now, shapes[1]) || SameNodes(now, shapes[0])) << room;
        if (stored) break;
        ASSERT_LT(room, 1 << 20);
    }
}

// Stores written before the whole shape had one value still give their shape: a count above 64
// reads 64 nodes; a missing value, or one a knife-shape file may not hold (as a library entry may
// not), gives none, and the Cutter its default shape.
TEST(LastShape, TheSeparateValuesOfEarlierStores)
{
    qwtest::TempDir dir;
    const std::string path = dir.File("plugin.conf");
    auto write = [&](uint16_t count, int nodes, int missingS, double h3) {
        CQWF_Storage store;
        ASSERT_TRUE(store.OpenFile(Win(path).c_str(), CQWF_Storage::kModeCreate));
        store.CreateFolder("LastShape");
        store.SetWord("LastShape>NodesCount", count);
        for (int i = 0; i < nodes; ++i) {
            store.SetDouble(("LastShape>U" + std::to_string(i)).c_str(), 0.01 * i);
            store.SetDouble(("LastShape>H" + std::to_string(i)).c_str(), i == 3 ? h3 : 0.1);
            if (i != missingS) store.SetDouble(("LastShape>S" + std::to_string(i)).c_str(), 0.5);
        }
        ASSERT_TRUE(store.Close());
    };
    write(80, 64, -1, 0.1);
    EXPECT_EQ(StoredLastShape(path).nodeCount, 64);
    write(5, 5, -1, -0.25);
    const KnifeShape five = StoredLastShape(path);
    ASSERT_EQ(five.nodeCount, 5);
    EXPECT_EQ(five.H[3], -0.25);
    EXPECT_EQ(five.U[4], 0.04);
    EXPECT_TRUE(five.selected[4]);
    write(5, 5, 3, 0.1);
    EXPECT_EQ(StoredLastShape(path).nodeCount, 99);
    write(5, 5, -1, 3.4e38);
    EXPECT_EQ(StoredLastShape(path).nodeCount, 99);
    write(5, 5, -1, 5.0);
    EXPECT_EQ(StoredLastShape(path).nodeCount, 5);
}
