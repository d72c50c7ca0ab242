// The skin compiler against what the toolkit reads: the package the build compiled from skin/,
// checked with our package reader, and small sources compiled here for the language's rules.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_storage.h"
#include "framework/imaging/qwf_font.h"
#include "platform/qw_paths.h"
#include "support/test_support.h"
#include "tools/skinc/skin_compiler.h"
#include "tools/skinc/skin_preview.h"
#include "support/ui_test_support.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_window.h"
#include "plugin/main/layout_drawing.h"

namespace {

std::string PackagePath() { return qwtest::BinaryDir() + "/bin/resource_jw30.qws4"; }
std::string Win(const std::string& host) { return qwp::ToWindowsPath(host.c_str()); }

struct Element {
    int left = 0, top = 0, right = 0, bottom = 0;
    std::vector<uint8_t> pixels;  // what follows the rectangle
    int W() const { return right - left; }
    int H() const { return bottom - top; }
    uint8_t At(int plane, int x, int y) const { return pixels[static_cast<size_t>(plane) * W() * H() + (y - top) * W() + (x - left)]; }
};

// Reads an image element the way the toolkit does: blob, unpack, big-endian rectangle.
bool ReadElement(CQWF_Storage& pkg, const std::string& key, Element& out, size_t planes = 4)
{
    CQWF_Mem blob, raw;
    if (!pkg.GetBinary(key.c_str(), blob)) return false;
    CQWF_ZipBlock zip;
    zip.SetMode(0);
    zip.SetInputMem(blob);
    zip.SetOutputMem(&raw);
    if (!zip.Process() || raw.GetSize() < 8) return false;
    const uint8_t* p = raw.GetData();
    out.left = p[0] << 8 | p[1];
    out.top = p[2] << 8 | p[3];
    out.right = p[4] << 8 | p[5];
    out.bottom = p[6] << 8 | p[7];
    out.pixels.assign(p + 8, p + raw.GetSize());
    return out.pixels.size() == planes * out.W() * out.H() && out.W() > 0 && out.H() > 0;
}

uint16_t Word(CQWF_Storage& pkg, const std::string& key)
{
    uint16_t v = 0;
    EXPECT_TRUE(pkg.GetWord(key.c_str(), v)) << key;
    return v;
}

// Every key of a package with its kind, walked from the raw entries.
std::map<std::string, uint8_t> Keys(const std::string& path)
{
    std::string bytes;
    EXPECT_TRUE(qwtest::ReadWholeFile(path, bytes));
    std::map<uint32_t, std::string> folders{{0xFFFFFFFFu, ""}};
    std::map<std::string, uint8_t> keys;
    const auto be32 = [&](size_t at) {
        return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
               uint32_t(uint8_t(bytes[at + 2])) << 8 | uint8_t(bytes[at + 3]);
    };
    const uint32_t count = be32(24);
    size_t at = 32;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t rest = be32(at);
        const uint8_t kind = uint8_t(bytes[at + 4]);
        const uint32_t parent = be32(at + 5), id = be32(at + 9);
        const size_t n = uint8_t(bytes[at + 13]) << 8 | uint8_t(bytes[at + 14]);
        const std::string name = bytes.substr(at + 15, n);
        EXPECT_TRUE(folders.count(parent)) << name << ": its folder comes first";
        const std::string key = folders[parent].empty() ? name : folders[parent] + ">" + name;
        keys[key] = kind;
        if (kind == 0) folders[id] = key;
        at += rest + 4;
    }
    return keys;
}

// The accelerator table of a package as the toolkit reads it: 108-byte records, Ctrl, Alt and
// Shift in bytes 0 to 2, the key in byte 4, the command id little-endian in bytes 6 and 7;
// "Ctrl+Alt+Z" -> id.
std::map<std::string, int> Accelerators(CQWF_Storage& pkg)
{
    std::map<std::string, int> out;
    CQWF_Mem packed, table;
    EXPECT_TRUE(pkg.GetBinary("UIResources>Accelerators", packed));
    CQWF_ZipBlock zip;
    zip.SetMode(0);
    zip.SetInputMem(packed);
    zip.SetOutputMem(&table);
    EXPECT_TRUE(zip.Process());
    EXPECT_EQ(table.GetSize() % 108, 0u);
    for (size_t at = 0; at + 108 <= table.GetSize(); at += 108) {
        const uint8_t* r = table.GetData() + at;
        std::string keys = std::string(r[0] ? "Ctrl+" : "") + (r[1] ? "Alt+" : "") + (r[2] ? "Shift+" : "");
        keys += r[4] >= 220 && r[4] <= 231 ? "F" + std::to_string(r[4] - 219) : std::string(1, char(r[4]));
        out[keys] = static_cast<int16_t>(r[6] | r[7] << 8);
    }
    return out;
}

// Compiles the repository's style with extra sources; returns the messages.
std::vector<std::string> CompileWith(const std::string& text, skinc::Compiler& c)
{
    std::vector<skinc::SourceText> sources;
    EXPECT_TRUE(skinc::ReadSources({qwtest::SourceDir() + "/skin/style"}, sources, c.Diag()));
    sources.push_back({"test.skin", text});
    c.Compile(sources);
    return c.Diag().Errors();
}

std::string Joined(const std::vector<std::string>& v)
{
    std::string s;
    for (const std::string& e : v) s += e + "\n";
    return s;
}

// Compiles the style with the extra source into a package in the folder and opens it. Call it
// through ASSERT_NO_FATAL_FAILURE.
void CompileAndOpen(const std::string& text, skinc::Compiler& c, const qwtest::TempDir& dir, CQWF_Storage& pkg)
{
    const std::vector<std::string> errors = CompileWith(text, c);
    ASSERT_TRUE(errors.empty()) << Joined(errors);
    ASSERT_TRUE(c.Package().Write(dir.File("test.qws4"))) << Joined(c.Diag().Errors());
    ASSERT_TRUE(pkg.OpenFile(Win(dir.File("test.qws4")).c_str(), CQWF_Storage::kModeRead));
}

}  // namespace

// The package the build wrote: its controls' images and values hold the geometry the toolkit
// relies on.
TEST(SkinPackage, ControlsHoldTheGeometryTheToolkitReliesOn)
{
    CQWF_Storage pkg;
    ASSERT_TRUE(pkg.VerifyFile(Win(PackagePath()).c_str())) << "run the build first: " << PackagePath();
    ASSERT_TRUE(pkg.OpenFile(Win(PackagePath()).c_str(), CQWF_Storage::kModeRead));
    const std::map<std::string, uint8_t> keys = Keys(PackagePath());

    std::map<std::string, std::vector<std::string>> folders;  // kind folder -> names
    for (const auto& [key, kind] : keys) {
        const size_t a = key.find('>'), b = key.find('>', a + 1), c = key.find('>', b + 1);
        if (key.rfind("UIResources>", 0) == 0 && b != std::string::npos && c == std::string::npos && kind == 0)
            folders[key.substr(a + 1, b - a - 1)].push_back(key.substr(b + 1));
    }
    ASSERT_FALSE(folders["Buttons"].empty());

    // The independent reader (tests/scripts/skin_package.py) checks that each folder holds the
    // entries its kind reads, of the kinds the getters insist on; here, what the values mean.
    for (const auto& [kindFolder, names] : folders) {
        for (const std::string& name : names) {
            const std::string f = "UIResources>" + kindFolder + ">" + name;
            if (kindFolder == "Scroll Bars") {
                uint8_t vertical = 9;
                ASSERT_TRUE(pkg.GetByte((f + ">Is Vertical").c_str(), vertical));
                Element data;
                ASSERT_TRUE(ReadElement(pkg, f + ">Thumb_Data", data));
                // Along the first column (row): pure red head, then pure blue middle, then pure green tail.
                std::string marks;
                const int n = vertical ? data.H() : data.W();
                for (int i = 0; i < n; ++i) {
                    const int x = data.left + (vertical ? 0 : i), y = data.top + (vertical ? i : 0);
                    const int r = data.At(0, x, y), g = data.At(1, x, y), b = data.At(2, x, y);
                    ASSERT_TRUE((r == 255) + (g == 255) + (b == 255) == 1 && r + g + b == 255) << f;
                    const char m = r ? 'h' : b ? 'm' : 't';
                    if (marks.empty() || marks.back() != m) marks += m;
                }
                EXPECT_EQ(marks, "hmt") << f;
                // The thumb fits across the track, and the track holds a whole thumb.
                const int tl = Word(pkg, f + ">Rect Left"), tt = Word(pkg, f + ">Rect Top");
                const int tr = Word(pkg, f + ">Rect Right"), tb = Word(pkg, f + ">Rect Bottom");
                EXPECT_GE(vertical ? tb - tt : tr - tl, n) << f;
                EXPECT_TRUE(vertical ? data.left >= tl && data.right <= tr : data.top >= tt && data.bottom <= tb) << f;
            }
            if (kindFolder == "Progresses") {
                Element data, bar;
                ASSERT_TRUE(ReadElement(pkg, f + ">Data", data));
                ASSERT_TRUE(ReadElement(pkg, f + ">Normal", bar));
                EXPECT_EQ(std::vector<int>({data.left, data.top, data.right, data.bottom}),
                          std::vector<int>({bar.left, bar.top, bar.right, bar.bottom}));
                // 1 at the start, 255 at the end, never falling: 0 % shows nothing, 100 % all.
                const int y = data.top + data.H() / 2;
                EXPECT_GE(data.At(0, data.left, y), 1);
                EXPECT_EQ(data.At(0, data.right - 1, y), 255);
                for (int x = data.left + 1; x < data.right; ++x) EXPECT_GE(data.At(0, x, y), data.At(0, x - 1, y));
            }
            if (kindFolder == "Lists") {
                const int l = Word(pkg, f + ">Rect Left"), t = Word(pkg, f + ">Rect Top");
                const int r = Word(pkg, f + ">Rect Right"), b = Word(pkg, f + ">Rect Bottom");
                for (const char* e : {"Foreground_Normal", "Foreground_Highlighted", "Foreground_Working",
                                      "Foreground_Disabled", "Foreground_Selected"}) {
                    Element el;
                    ASSERT_TRUE(ReadElement(pkg, f + ">" + e, el)) << e;
                    EXPECT_EQ(el.W(), r - l) << e;
                    EXPECT_EQ(el.H(), b - t) << e;
                }
                Element sel;
                ASSERT_TRUE(ReadElement(pkg, f + ">Background_Selected", sel));
                EXPECT_EQ(sel.top, t);
                EXPECT_GE(sel.bottom, b);
            }
            if (kindFolder == "Sliders") {
                const uint16_t count = Word(pkg, f + ">Data_NumPoints");
                CQWF_Mem coords;
                ASSERT_TRUE(pkg.GetBinary((f + ">Data_Coors").c_str(), coords));
                ASSERT_EQ(coords.GetSize(), 5u * count) << f;
                Element zone;
                ASSERT_TRUE(ReadElement(pkg, f + ">Data_HotZone", zone));
                for (int i = 0; i < count; ++i) {
                    const uint8_t* p = coords.GetData() + 5 * i;
                    const int x = p[0] << 8 | p[1], y = p[2] << 8 | p[3];
                    ASSERT_TRUE(x >= zone.left && x < zone.right && y >= zone.top && y < zone.bottom) << f;
                    EXPECT_GT(zone.At(0, x, y), 128) << f << ": point " << i << " lies outside the hot zone";
                }
                // The thumb's hot spot lies on the first point.
                const uint8_t* p = coords.GetData();
                EXPECT_EQ(Word(pkg, f + ">HotSpot_X"), p[0] << 8 | p[1]);
                EXPECT_EQ(Word(pkg, f + ">HotSpot_Y"), p[2] << 8 | p[3]);
            }
        }
    }
}

// Every window fits the screen with its shadow, keeps its controls off the drag layer, and
// has a shape the toolkit takes.
TEST(SkinPackage, WindowsFitAndTheirCaptionsNeverSwallowAControl)
{
    CQWF_Storage pkg;
    ASSERT_TRUE(pkg.OpenFile(Win(PackagePath()).c_str(), CQWF_Storage::kModeRead));
    const std::map<std::string, uint8_t> keys = Keys(PackagePath());
    std::set<std::string> windows;
    for (const auto& [key, kind] : keys) {
        const std::string prefix = "UIResources>Windows>";
        if (key.rfind(prefix, 0) == 0 && key.find('>', prefix.size()) == std::string::npos) windows.insert(key);
    }
    ASSERT_TRUE(windows.count("UIResources>Windows>Demo"));
    // Control rectangles, from every control's first image or its rectangle words, with the
    // control's skin name (the window's name, "_", the control's).
    std::vector<std::pair<std::string, Element>> allControls;
    for (const auto& [key, kind] : keys) {
        for (const char* e : {">Normal", ">Normal Off", ">Background_Normal", ">Data_HotZone"}) {
            const std::string tail(e);
            if (key.size() > tail.size() && key.compare(key.size() - tail.size(), tail.size(), tail) == 0 &&
                key.find(">Windows>") == std::string::npos) {
                Element el;
                const size_t end = key.size() - tail.size();
                const std::string name = key.substr(key.rfind('>', end - 1) + 1, end - key.rfind('>', end - 1) - 1);
                if (ReadElement(pkg, key, el)) allControls.emplace_back(name, el);
            }
        }
    }
    for (const std::string& w : windows) {
        // The window's own controls: those of other windows lie elsewhere on the screen.
        const std::string own = w.substr(std::string("UIResources>Windows>").size()) + "_";
        std::vector<Element> controls;
        for (const auto& [name, el] : allControls)
            if (name.rfind(own, 0) == 0) controls.push_back(el);
        // (Where it lies and that it fits the screen with its shadow: the independent reader.)
        Element bg;
        ASSERT_TRUE(ReadElement(pkg, w + ">Background", bg)) << w;
        int runs = 0;
        for (int y = 0; y < bg.H(); ++y) {
            for (int x = 0; x < bg.W(); ++x) runs += bg.At(3, x, y) > 128 && (x == 0 || bg.At(3, x - 1, y) <= 128);
        }
        EXPECT_LT(runs, 3999) << w;
        EXPECT_LE(bg.At(3, 0, 0), 128) << w << ": rounded corners";
        EXPECT_GT(bg.At(3, bg.W() / 2, bg.H() / 2), 128) << w;

        Element active, inactive;
        if (!ReadElement(pkg, w + ">Caption_Active", active)) continue;
        ASSERT_TRUE(ReadElement(pkg, w + ">Caption_Inactive", inactive)) << w;
        EXPECT_EQ(active.right, inactive.right);
        // Active and inactive differ (the title), and both drag by the free strip.
        EXPECT_NE(active.pixels, inactive.pixels) << w;
        EXPECT_GT(active.At(3, active.right / 2, active.bottom - 2), 128) << w;
        for (const Element& c : controls) {
            for (int y = std::max(c.top, active.top); y < std::min(c.bottom, active.bottom); ++y) {
                for (int x = std::max(c.left, active.left); x < std::min(c.right, active.right); ++x) {
                    ASSERT_LE(active.At(3, x, y), 128) << w << ": a control at " << x << "," << y << " lies under the drag layer";
                    ASSERT_LE(inactive.At(3, x, y), 128) << w;
                }
            }
        }
        Element drag;
        if (ReadElement(pkg, w + ">Drag_Area", drag, 1)) {
            for (const Element& c : controls) {
                for (int y = std::max(c.top, drag.top); y < std::min(c.bottom, drag.bottom); ++y)
                    for (int x = std::max(c.left, drag.left); x < std::min(c.right, drag.right); ++x)
                        ASSERT_LE(drag.At(0, x, y), 128) << w;
            }
        }
    }
}

TEST(SkinPackage, FontsAndAcceleratorsAreReadable)
{
    CQWF_Storage pkg;
    ASSERT_TRUE(pkg.OpenFile(Win(PackagePath()).c_str(), CQWF_Storage::kModeRead));
    for (const char* name : {"Info Font", "Edit Font", "List Font", "Message Font", "Small Font", "Small 7 Normal"}) {
        CQWF_Font font;
        ASSERT_TRUE(font.Load(pkg, (std::string("UIResources>Fonts>") + name).c_str())) << name;
        int32_t w, h;
        ASSERT_TRUE(font.MeasureText("Jigcrafter", 16, w, h));
        EXPECT_GT(w, 30);
        EXPECT_GE(font.GetLineHeight(), 8);
    }
    EXPECT_EQ(Accelerators(pkg)["Ctrl+Z"], 3) << "Ctrl+Z gives command 3, little-endian";
}

// An accelerator names its command by the command statement's name, written before or after
// it, or gives the id itself; F1 to F12 are the toolkit's key codes 220 to 231.
TEST(SkinCompiler, AcceleratorsTakeTheirCommandsByName)
{
    skinc::Compiler c;
    qwtest::TempDir dir;
    CQWF_Storage pkg;
    ASSERT_NO_FATAL_FAILURE(CompileAndOpen("accelerator Ctrl+G Go\n"
                                           "command Go 77\n"
                                           "command Stop 300\n"
                                           "accelerator Alt+Shift+F2 Stop\n"
                                           "accelerator F12 5\n",
                                           c, dir, pkg));
    const std::map<std::string, int> expected = {{"Ctrl+G", 77}, {"Alt+Shift+F2", 300}, {"F12", 5}};
    EXPECT_EQ(Accelerators(pkg), expected);
}

// The same sources give the same bytes, and the build's package is what they give. Writes the
// pictures of every window at rest.
TEST(SkinCompiler, OutputIsReproducible)
{
    qwtest::TempDir dir;
    std::string first, second, built;
    for (std::string* out : {&first, &second}) {
        skinc::Compiler c;
        std::vector<skinc::SourceText> sources;
        ASSERT_TRUE(skinc::ReadSources({qwtest::SourceDir() + "/skin"}, sources, c.Diag()));
        ASSERT_TRUE(c.Compile(sources)) << Joined(c.Diag().Errors());
        const std::string path = dir.File(out == &first ? "a.qws4" : "b.qws4");
        ASSERT_TRUE(c.Package().Write(path)) << Joined(c.Diag().Errors());
        ASSERT_TRUE(qwtest::ReadWholeFile(path, *out));
        // Every window at rest, for reading the look: build/test-output/screens/skin/NAME.png.
        if (out == &first) {
            ASSERT_TRUE(skinc::WritePreviews(c, qwtest::OutputDir("screens/skin"))) << Joined(c.Diag().Errors());
        }
    }
    EXPECT_EQ(first, second);
    ASSERT_TRUE(qwtest::ReadWholeFile(PackagePath(), built));
    EXPECT_EQ(first, built);
}

// Mistakes are reported at their file and line, and nothing is written.
TEST(SkinCompiler, ErrorsNameTheirLine)
{
    struct Case {
        const char* source;
        const char* expected;  // a part of the message, "test.skin:LINE: ..." included
    };
    const Case cases[] = {
        {"window W size=200,100\n    buton B 10 40 50\n", "test.skin:2: unknown window item 'buton'"},
        {"window W size=200,100\n    button B 10 40 50 label=\"Go\" look=shiny\n", "test.skin:2: no look named shiny"},
        {"window W size=200,100\n\n    button B 180 40 50 label=\"Go\"\n", "test.skin:3: button (180, 40, 50 x 24) does not lie inside"},
        {"window W size=200,100\n    button B 10 40 30 label=\"Much too long\"\n", "test.skin:2: the button's content"},
        {"window W size=1400,300\n", "test.skin:1: window W (1400 x 300) with its shadow does not fit"},
        {"window W size=200,100\n    button B 10 40 50 label=\"A\"\nwindow V size=200,100\n    button B 10 40 50 label=\"B\"\n",
         "test.skin:4: \"B\" is already a name under Buttons (at test.skin:2)"},
        {"window W size=200,100\n    label 10 40 \"x\" color=mauve\n", "test.skin:2: no colour named mauve"},
        {"window W size=200,100\n    slider S 10 40 100\n", "test.skin:2: a slider needs values=START,END"},
        {"window W size=200,100\n    edit E 10 40 100 colour=red\n", "test.skin:2: edit has no attribute colour"},
        {"accelerator Ctrl+Enter 4\n", "test.skin:1: the key is one printable character or F1 to F12"},
        {"accelerator Ctrl+Z 3\naccelerator Ctrl+Z 4\n", "test.skin:2: this key is already given to command"},
        {"accelerator Ctrl+Z Undo\n", "test.skin:1: no command named Undo"},
        {"command Undo 3\ncommand Undo 4\n", "test.skin:2: command Undo is defined twice"},
        {"command Undo 3\ncommand Redo 3\n", "test.skin:2: command id 3 is already Undo"},
        {"command Un-do 3\n", "test.skin:1: a command is: command NAME ID"},
        {"window W size=200,100\n\tbutton B 10 40 50 label=\"Go\"\n", "test.skin:2: indent with spaces"},
        {"window W size=200,100 title=\"unclosed\n", "test.skin:1: a string is not closed"},
        {"palette\n    grey #808080\n    grey #909090\n", "test.skin:3: colour grey is defined twice"},
        {"entry \"InfoM>A\" text=\"x\"\nentry \"InfoM>A\" text=\"y\"\n", "test.skin:2: \"InfoM>A\" is written twice"},
        {"frobnicate 3\n", "test.skin:1: unknown statement 'frobnicate'"},
        {"look odd from=button\n    hovr fill=panel\n", "test.skin:2: look odd: unknown state hovr"},
        {"look odd from=button\n    hover fil=panel\n", "test.skin:2: look odd: unknown property fil"},
        {"cursor 99 hot=1,1\n    line 1,1 5,5\n", "test.skin:1: a cursor is: cursor NUMBER hot=X,Y"},
        {"cursor 120 hot=1,20\n    line 1,1 5,5\n", "test.skin:1: a cursor is: cursor NUMBER hot=X,Y"},
        {"cursor 120 hot=1,1\n", "test.skin:1: cursor 120 has no strokes"},
        {"cursor 120 hot=1,1\n    line 1,1 5,5\ncursor 120 hot=2,2\n    dot 3,3 1\n", "test.skin:3: cursor 120 is defined twice"},
        {"entry \"K\" colour=mauve\n", "test.skin:1: no colour named mauve"},
    };
    for (const Case& k : cases) {
        skinc::Compiler c;
        const std::string all = Joined(CompileWith(k.source, c));
        EXPECT_NE(all.find(k.expected), std::string::npos) << "source:\n" << k.source << "messages:\n" << all;
    }
}

// A small window, compiled here: the images are what the style says, in the toolkit's form.
TEST(SkinCompiler, BuildsAWindowFromItsSource)
{
    skinc::Compiler c;
    qwtest::TempDir dir;
    CQWF_Storage pkg;
    ASSERT_NO_FATAL_FAILURE(CompileAndOpen("window Tiny size=240,120 title=\"Tiny\" close=Tiny_Close\n"
                                           "    button    Tiny_Go      12 40 60 label=\"Go\"\n"
                                           "    slider    Tiny_S       84 40 144 values=10,30 anchors=5:20\n"
                                           "    scrollbar Tiny_Bar     12 76 216 12 buttons=Tiny_L,Tiny_R\n"
                                           "    drag      0 100 240 20\n"
                                           "entry \"InfoM>Main>Help\" text=\"https://example.org/help\"\n"
                                           "entry \"DefSet\" word=7\n",
                                           c, dir, pkg));

    // The button's mask is its rounded box: corners out, middle in; the face is the style's panel.
    Element data, normal;
    ASSERT_TRUE(ReadElement(pkg, "UIResources>Buttons>Tiny_Go>Data", data));
    ASSERT_TRUE(ReadElement(pkg, "UIResources>Buttons>Tiny_Go>Normal", normal));
    EXPECT_EQ(std::vector<int>({data.left, data.top, data.right, data.bottom}), std::vector<int>({12, 40, 72, 64}));
    EXPECT_EQ(data.At(0, 12, 40), 0);
    EXPECT_EQ(data.At(0, 71, 63), 0);
    EXPECT_EQ(data.At(0, 42, 52), 255);
    EXPECT_EQ(data.At(0, 12, 52), 255);
    EXPECT_EQ(normal.At(0, 14, 60), 0x3A);  // panel #3A3E46, below the highlight, clear of the label
    EXPECT_EQ(normal.At(1, 14, 60), 0x3E);
    EXPECT_EQ(normal.At(3, 14, 60), 255);

    // Slider: one point per value along the track, the anchor flagged, values in order.
    EXPECT_EQ(Word(pkg, "UIResources>Sliders>Tiny_S>Data_NumPoints"), 21);
    CQWF_Mem coords;
    ASSERT_TRUE(pkg.GetBinary("UIResources>Sliders>Tiny_S>Data_Coors", coords));
    ASSERT_EQ(coords.GetSize(), 21u * 5);
    for (int i = 0; i < 21; ++i) EXPECT_EQ(coords.GetData()[5 * i + 4], i == 5 ? 1 : 0) << i;
    const uint8_t* first = coords.GetData();
    const uint8_t* last = coords.GetData() + 100;
    EXPECT_EQ(first[2] << 8 | first[3], 52);  // the middle of the 24-pixel row
    EXPECT_LT(first[0] << 8 | first[1], last[0] << 8 | last[1]);
    uint32_t v;
    ASSERT_TRUE(pkg.GetDWord("UIResources>Sliders>Tiny_S>Data_Value_0", v));
    EXPECT_EQ(v, 20u);
    ASSERT_TRUE(pkg.GetDWord("UIResources>Sliders>Tiny_S>Data_ValueEnd", v));
    EXPECT_EQ(v, 30u);

    // Scroll bar with its step buttons at both ends; the track between them.
    EXPECT_EQ(Word(pkg, "UIResources>Scroll Bars>Tiny_Bar>Rect Left"), 24);
    EXPECT_EQ(Word(pkg, "UIResources>Scroll Bars>Tiny_Bar>Rect Right"), 216);
    Element left, right;
    ASSERT_TRUE(ReadElement(pkg, "UIResources>Buttons>Tiny_L>Data", left));
    ASSERT_TRUE(ReadElement(pkg, "UIResources>Buttons>Tiny_R>Data", right));
    EXPECT_EQ(left.left, 12);
    EXPECT_EQ(right.right, 228);
    uint8_t vertical = 9;
    ASSERT_TRUE(pkg.GetByte("UIResources>Scroll Bars>Tiny_Bar>Is Vertical", vertical));
    EXPECT_EQ(vertical, 0);

    // Drag area: the caption and the marked strip, not the close box.
    Element drag;
    ASSERT_TRUE(ReadElement(pkg, "UIResources>Windows>Tiny>Drag_Area", drag, 1));
    EXPECT_EQ(std::vector<int>({drag.left, drag.top, drag.right, drag.bottom}), std::vector<int>({0, 0, 240, 120}));
    EXPECT_EQ(drag.At(0, 100, 10), 255);
    EXPECT_EQ(drag.At(0, 100, 110), 255);
    EXPECT_EQ(drag.At(0, 100, 50), 0);
    EXPECT_EQ(drag.At(0, 226, 14), 0);  // the close box
    EXPECT_EQ(drag.At(0, 0, 0), 0);      // outside the rounded corner

    CQWF_String text;
    ASSERT_TRUE(pkg.GetString("InfoM>Main>Help", text));
    EXPECT_STREQ(text.GetBuffer(), "https://example.org/help");
    EXPECT_EQ(Word(pkg, "DefSet"), 7);

    // The resting picture: the close box and the button on the face.
    ASSERT_EQ(c.Windows().size(), 1u);
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(skinc::ComposeWindow(c, c.Windows()[0], rgba));
    EXPECT_EQ(rgba.size(), 240u * 120 * 4);
}

// The pointer shapes 107 to 123 reach the window system from the package the first time a window
// asks for one: black strokes on a white rim with the hot spot inside; a number the package lacks
// shows the arrow. Colour entries hold the style's colour as 0xAABBGGRR.
TEST(SkinPackage, CursorsAndColourEntries)
{
    qwtest::HeadlessUi ui;
    ASSERT_TRUE(ui.App().LoadPackageFromFile(Win(PackagePath()).c_str(), true));
    CQWF_Window w;
    ASSERT_TRUE(w.CreateFromSkin("Demo", 100, 100, nullptr, 0));
    for (int32_t id = 107; id <= 123; ++id) {
        SCOPED_TRACE(id);
        w.SetCursor(id);
        EXPECT_EQ(ui.Ws().GetCursorShape(), id);
    }
    w.SetCursor(124);
    EXPECT_EQ(ui.Ws().GetCursorShape(), qwp::kCursorArrow);

    CQWF_Storage* storage = ui.App().GetStorage();
    ASSERT_NE(storage, nullptr);
    CQWF_Mem element;
    QWF_Rect r;
    ASSERT_TRUE(QWF_ReadSkinElement(storage, "UIResources>Cursors>115>Image", 4, element, r));
    uint16_t hx = 0, hy = 0;
    ASSERT_TRUE(storage->GetWord("UIResources>Cursors>115>Hot X", hx));
    ASSERT_TRUE(storage->GetWord("UIResources>Cursors>115>Hot Y", hy));
    const int32_t width = r.right - r.left, height = r.bottom - r.top;
    ASSERT_LT(hx, width);
    ASSERT_LT(hy, height);
    const size_t n = static_cast<size_t>(width) * height;
    const uint8_t* px = element.GetData() + 8;
    int black = 0, white = 0;
    for (size_t i = 0; i < n; ++i) {
        if (px[3 * n + i] < 128) continue;
        black += px[i] < 64 && px[n + i] < 64 && px[2 * n + i] < 64;
        white += px[i] > 192 && px[n + i] > 192 && px[2 * n + i] > 192;
    }
    EXPECT_GT(black, 20);
    EXPECT_GT(white, 20);  // the rim

    // The main window's layout colours as its skin gives them (the palette's, 0xAABBGGRR).
    const LayoutColours colours = ReadLayoutColours(storage);
    EXPECT_EQ(colours.rulerLayout, 0xFF1F8ED5u);
    EXPECT_EQ(colours.rulerPuzzle, 0xFFC8C8C8u);
    EXPECT_EQ(colours.selectedKnife, 0xFF288CF2u);
    EXPECT_EQ(colours.marking, 0xFF00FFFFu);
    EXPECT_EQ(ReadLayoutColours(nullptr).knife, LayoutColours().knife);

    skinc::Compiler c;
    ASSERT_TRUE(CompileWith("palette\n    tint #102030\nentry \"K\" colour=tint/50\n", c).empty());
    const skinc::PackageEntry* e = c.Package().Find("K");
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->kind, 3);
    ASSERT_EQ(e->value.size(), 4u);
    uint32_t v = 0;
    std::memcpy(&v, e->value.data(), 4);  // stored as the machine holds it
    EXPECT_EQ(v, 0x80302010u);
}

// The toolkit builds the compiled Demo window: its face at rest is the compiler's own picture of
// the window (background and active caption), its caption drags but not its close box.
TEST(SkinPackage, TheToolkitShowsTheDemoWindowAsCompiled)
{
    skinc::Compiler c;
    std::vector<skinc::SourceText> sources;
    ASSERT_TRUE(skinc::ReadSources({qwtest::SourceDir() + "/skin"}, sources, c.Diag()));
    ASSERT_TRUE(c.Compile(sources)) << Joined(c.Diag().Errors());
    const skinc::WindowSummary* demo = nullptr;
    for (const skinc::WindowSummary& w : c.Windows()) demo = w.name == "Demo" ? &w : demo;
    ASSERT_NE(demo, nullptr);
    skinc::WindowSummary bare = *demo;
    bare.restingLayers.resize(2);  // background and caption: the window without its controls
    std::vector<uint8_t> expected;
    ASSERT_TRUE(skinc::ComposeWindow(c, bare, expected));

    qwtest::HeadlessUi ui;
    ASSERT_TRUE(ui.App().LoadPackageFromFile(Win(PackagePath()).c_str(), true));
    CQWF_Window w;
    ASSERT_TRUE(w.CreateFromSkin("Demo", 100, 100, nullptr, 0));
    ASSERT_TRUE(w.Show());
    ui.Pump();
    const qwtest::Picture p = ui.Pixels(w);
    ASSERT_EQ(p.width, demo->width);
    ASSERT_EQ(p.height, demo->height);
    const size_t plane = static_cast<size_t>(p.width) * p.height;
    int differ = 0;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const size_t i = static_cast<size_t>(y) * p.width + x;
            if (!expected[3 * plane + i]) continue;  // outside the shape
            const uint32_t want = uint32_t(expected[i]) << 16 | uint32_t(expected[plane + i]) << 8 | expected[2 * plane + i];
            differ += p.At(x, y) != want;
        }
    }
    EXPECT_EQ(differ, 0);
    EXPECT_TRUE(w.IsInDragArea(300, 14));
    EXPECT_FALSE(w.IsInDragArea(demo->width - 15, 14));  // the close box
    EXPECT_FALSE(w.IsInDragArea(300, 200));
    ui.Screenshot(w, "skin_demo_window_headless");
    w.OnActivate(false);
    ui.Pump();
    EXPECT_NE(ui.Pixels(w).rgb, p.rgb);  // the inactive caption's title
}

// What the windows and the guide show spells "Color" as the system's own texts do (the menus,
// the hints, "Unsupported Color mode for Export!"): no quoted text of a window's source and no
// line of the guide says "Colour". Package keys ("entry" lines) are names, not texts.
TEST(SkinSources, TextsSpellColorAsTheSystemDoes)
{
    std::vector<std::string> files;
    for (const char* window : {"Cutter", "FXbc", "FXbevel", "FXblur", "FXcovr", "FXhsl", "FXiovr", "FXmblur",
                               "FXopac", "FXstroke", "Main", "Pref", "Export", "ExportLM", "ChannelList", "Layers",
                               "AutoLayout", "CMuts", "PresMng", "ShapeName", "MessageBox", "About"})
        files.push_back(qwtest::SourceDir() + "/skin/windows/" + window + ".skin");
    files.push_back(qwtest::SourceDir() + "/help/guide.ms");
    for (const std::string& file : files) {
        std::string text;
        ASSERT_TRUE(qwtest::ReadWholeFile(file, text)) << file;
        const bool guide = file.size() > 3 && file.compare(file.size() - 3, 3, ".ms") == 0;
        size_t start = 0, line = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            const std::string row = text.substr(start, end - start);
            start = end + 1;
            ++line;
            const size_t first = row.find_first_not_of(' ');
            if (first == std::string::npos || row[first] == '#' || row.compare(first, 5, "entry") == 0 ||
                row.compare(first, 3, ".\\\"") == 0)
                continue;
            // Quoted texts of the window sources, the whole line of the guide.
            for (size_t q = guide ? 0 : row.find('"'); q != std::string::npos;) {
                const size_t close = guide ? row.size() : row.find('"', q + 1);
                if (close == std::string::npos) break;
                const std::string shown = row.substr(q, close - q);
                EXPECT_EQ(shown.find("olour"), std::string::npos) << file << ":" << line << ": " << shown;
                q = guide ? std::string::npos : row.find('"', close + 1);
            }
        }
    }
}
