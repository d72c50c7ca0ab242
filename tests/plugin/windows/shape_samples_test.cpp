// Writes knife-shape files, shape sets, a library and drawings with a manifest of what they
// hold; tests/scripts/shape_files.sh reads them back with an independent reader and renders the
// drawings with Ghostscript.
#include "plugin/windows/knife_shape_files.h"
#include "plugin/windows/presets_model.h"
#include "plugin/windows/shape_library.h"
#include "plugin/windows/shape_list.h"

#include "platform/qw_format.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {
std::string Win(const std::string& hostPath) { return "Z:" + hostPath; }

std::string Number(double v)
{
    char text[64];
    qwp::Format(text, sizeof text, "%.17g", v);
    return text;
}

std::string Quoted(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string Nodes(const KnifeShape& k)
{
    std::string out = "[";
    for (int i = 0; i < k.nodeCount; ++i)
        out += (i ? ",[" : "[") + Number(k.U[i]) + "," + Number(k.H[i]) + "," + Number(k.S[i]) + "]";
    return out + "]";
}

// The shapes of a library or set as the records hold them (single precision).
std::string Records(const CPresetsManagerModel& model)
{
    std::string out = "[";
    for (size_t i = 0; i < model.GetCount(); ++i) {
        CQWF_String name;
        model.GetName(i, name);
        KnifeShape k{};
        model.GetShape(i, k);
        out += (i ? ",{" : "{") + std::string("\"name\":") + Quoted(name.GetBuffer()) +
               ",\"nodes\":" + Nodes(k) + "}";
    }
    return out + "]";
}

KnifeShape Zigzag(int n)
{
    KnifeShape k{};
    k.nodeCount = static_cast<uint8_t>(n);
    for (int i = 0; i < n; ++i) {
        k.U[i] = (i + 0.5) / n;
        k.H[i] = (i % 2 ? -0.04 : 0.03) + 0.001 * i;
        k.S[i] = (i % 4) / 3.0;
    }
    return k;
}

bool OpenForWriting(CQWF_StdFile& f, const std::string& path)
{
    return f.Open(CQWF_String(Win(path).c_str()), CQWF_StdFile::kModeCreateReadWrite);
}
}  // namespace

TEST(ShapeSamples, WriteFilesForTheIndependentReaders)
{
    // The script runs this in a locale whose decimal point is a comma: the files must not care.
    std::setlocale(LC_ALL, "");
    const bool comma = std::localeconv()->decimal_point[0] == ',';
    const std::string dir = qwtest::OutputDir("shapes");
    std::string manifest = "{\"comma_locale\":" + std::string(comma ? "true" : "false");

    // The built-in set, and a library made from it with one more shape appended.
    CQWF_String error;
    ASSERT_TRUE(BuildShapeSetFile(Win(qwtest::SourceDir() + "/skin/shapes/defset.txt").c_str(),
                                  Win(dir + "/defset.qwjk").c_str(), error))
        << error.GetBuffer();
    std::string defSet;
    ASSERT_TRUE(qwtest::ReadWholeFile(dir + "/defset.qwjk", defSet));
    std::remove((dir + "/ckss.data").c_str());
    CPresetsManagerModel library;
    library.SetLibraryPath(CQWF_String(Win(dir + "/ckss.data").c_str()));
    library.Open(reinterpret_cast<const uint8_t*>(defSet.data()), defSet.size());
    ASSERT_EQ(library.GetCount(), 12u);
    manifest += ",\"sets\":[{\"file\":\"defset.qwjk\",\"shapes\":" + Records(library) + "}";
    ASSERT_TRUE(library.AddShape("Zigzag \"64\"", Zigzag(64)));

    // Three of the library's shapes as a set of their own.
    for (size_t i : {1u, 5u, 12u})
        library.SetSelected(i, true);
    {
        CQWF_StdFile f;
        ASSERT_TRUE(OpenForWriting(f, dir + "/three.qwjk"));
        ASSERT_TRUE(library.WriteShapeSetFile(f));
    }
    CPresetsManagerModel three;
    three.SetLibraryPath(CQWF_String(Win(dir + "/three.data").c_str()));
    std::string threeBytes;
    ASSERT_TRUE(qwtest::ReadWholeFile(dir + "/three.qwjk", threeBytes));
    ASSERT_TRUE(three.ReadShapeSet(reinterpret_cast<const uint8_t*>(threeBytes.data()),
                                   threeBytes.size(), true));
    manifest += ",{\"file\":\"three.qwjk\",\"shapes\":" + Records(three) + "}]";
    library.ReadLibrary();
    manifest += ",\"libraries\":[{\"file\":\"ckss.data\",\"shapes\":" + Records(library) + "}]";

    // Knife-shape files and drawings of shapes from the library and a few edge cases.
    std::vector<KnifeShape> shapes;
    shapes.push_back(KnifeShape{});
    KnifeShape flat = Zigzag(3);
    for (int i = 0; i < 3; ++i)
        flat.H[i] = 0;
    shapes.push_back(flat);
    for (size_t i = 0; i < library.GetCount(); ++i) {
        KnifeShape k{};
        library.GetShape(i, k);
        shapes.push_back(k);
    }
    KnifeShape precise = Zigzag(7);
    precise.U[3] = 1.0 / 3.0;
    precise.H[1] = -1e-300;
    shapes.push_back(precise);
    std::string files = ",\"knife_files\":[";
    std::string drawings = ",\"drawings\":[";
    for (size_t i = 0; i < shapes.size(); ++i) {
        const std::string base = "shape" + std::to_string(i);
        CQWF_StdFile f, eps, ai;
        ASSERT_TRUE(OpenForWriting(f, dir + "/" + base + ".qwjh"));
        ASSERT_TRUE(SaveKnifeShapeFile(f, shapes[i], nullptr));
        ASSERT_TRUE(OpenForWriting(eps, dir + "/" + base + ".eps"));
        ASSERT_TRUE(WriteKnifeShapeEPS(eps, shapes[i], nullptr));
        ASSERT_TRUE(OpenForWriting(ai, dir + "/" + base + ".ai"));
        ASSERT_TRUE(WriteKnifeShapeAI(ai, shapes[i], nullptr));
        files += (i ? ",{" : "{") + std::string("\"file\":") + Quoted(base + ".qwjh") +
                 ",\"nodes\":" + Nodes(shapes[i]) + "}";
        drawings += (i ? ",{" : "{") + std::string("\"eps\":") + Quoted(base + ".eps") +
                    ",\"ai\":" + Quoted(base + ".ai") + ",\"nodes\":" + Nodes(shapes[i]) + "}";
    }
    manifest += files + "]" + drawings + "]}\n";
    std::setlocale(LC_ALL, "C");
    ASSERT_TRUE(qwtest::WriteWholeFile(dir + "/manifest.json", manifest));
}
