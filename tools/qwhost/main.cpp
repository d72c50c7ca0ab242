// qwhost: loads a filter module with dlopen and runs its selectors against a document read
// from image files, the way an image editor does. See `qwhost --help`.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>

#include "platform/qw_envcheck.h"
#include "qwhost.h"

namespace fs = std::filesystem;

namespace qwhost {
bool WriteSPathConf(const std::string& folder, const std::string& dataDir, std::string& error);
}

using namespace qwhost;

static const char kHelp[] =
    "usage: qwhost --module FILE --input IN.png --output OUT.png [options]\n"
    "\n"
    "Loads the filter module and calls its entry with each selector of the sequence, serving\n"
    "the document through advanceState in strips within maxSpace. The last line printed is\n"
    "'result: N', the first non-zero result of the sequence (0 when all succeed); what a result\n"
    "other than 0 means is said on stderr (for -128 with the layout replayed). The exit status\n"
    "is 0 exactly when N is 0 and the host saw no protocol fault, 1 for a non-zero result, 2 for\n"
    "a usage or input error or an output the host could not write (said on stderr), 3 for\n"
    "protocol faults (leaked or twice-freed handles, requests beyond maxSpace or the document,\n"
    "unreleased suites), and 4 when the UI script failed. Headless, the filter's message boxes\n"
    "are told on stderr.\n"
    "\n"
    "Document:\n"
    "  --input FILE[,FILE...]   PNG: grey, RGB or RGBA (alpha becomes the transparency plane);\n"
    "                           with --mode cmyk also four grey PNGs C,M,Y,K\n"
    "  --raw FILE --size WxH    raw planar 8-bit planes (count from --mode), plane after plane\n"
    "  --mode M                 gray|rgb|cmyk, or an unsupported lab|indexed|bitmap|\n"
    "                           multichannel|duotone (default: from the input)\n"
    "  --mask FILE              grey PNG of the document's size: the selection mask\n"
    "  --layer NAME=FILE[@X,Y]  a document layer from a PNG at offset X,Y (repeatable);\n"
    "                           without any, the image is one layer named \"Background\"\n"
    "  --no-document-info       offer no document information (no layers)\n"
    "  --filter-case N          filter case 0..8 (default 1/2 flat, 4/5 with alpha)\n"
    "  --rect L,T,R,B           filter rectangle (default: the whole image)\n"
    "  --fore HEX, --back HEX   colours as the record holds them, bytes in plane order\n"
    "                           (e.g. FF0000 for red in RGB, 00000000FF for black in CMYK)\n"
    "  --resolution H[,V]       pixels per inch (default 72)\n"
    "  --ruler-unit N           value of the ruler-units property (default 0)\n"
    "  --channel-names A,B,...  channel-name properties; an empty name is not answered\n"
    "                           (default: the mode's channel names)\n"
    "  --icc FILE               colour profile handed to the filter\n"
    "  --host-sig XXXX          host signature (default 8BIM)\n"
    "  --no-absolute            the host does not support absolute requests\n"
    "  --no-color-services      offer no colour services\n"
    "  --pick-color RRGGBB      the colour picker's answer (default: the desktop's colour chooser,\n"
    "                           zenity or kdialog; headless: a UI script's color command, else\n"
    "                           the user cancels)\n"
    "\n"
    "Run:\n"
    "  --module FILE            the filter module (.8bf)\n"
    "  --selectors LIST         selector sequence, e.g. 1,2,3,5 (default 2,3,5); the\n"
    "                           sequence stops at the first non-zero result\n"
    "  --data-dir DIR           data folder for the module: the module is run from a private\n"
    "                           folder whose SPath.conf names DIR\n"
    "  --descriptors FILE       scripting descriptors kept between runs: read before the run\n"
    "                           when the file exists, written when the filter records one\n"
    "  --layout FILE            a layout blob recorded as scripting parameters to replay\n"
    "  --play N                 playInfo of the scripting parameters (0 silent, 1 dialog)\n"
    "  --max-space N            maxSpace in bytes (default 1048576); small values force many\n"
    "                           strips\n"
    "  --max-text N             refuse descriptor text items longer than N bytes\n"
    "  --abort-after N          the abort callback answers yes from its N-th call on\n"
    "  --fail KIND:N            the N-th call of KIND and every later one fails; KIND is\n"
    "                           advance, alloc, property, color, put, get, open-read,\n"
    "                           open-write, suite or pixels (repeatable)\n"
    "  --output FILE            the resulting image as PNG (CMYK shown as RGB)\n"
    "  --output-raw FILE        the resulting planes, raw and planar\n"
    "  --output-always          write the outputs after a failed run too (the document as\n"
    "                           the filter left it)\n"
    "\n"
    "Windows: the filter's windows run over a host window that shows the document.\n"
    "  --ui headless|x11        the window system (default headless: nobody answers, the\n"
    "                           windows close as cancelled unless a UI script acts)\n"
    "  --ui-script FILE         a UI script plays the user (also QW_UI_SCRIPT); with x11 by\n"
    "                           synthetic input through the server; its commands are\n"
    "                           described in framework/ui/qwf_uiscript.h\n"
    "\n"
    "  --verbose                trace every callback on stderr\n"
    "  --help                   this text\n";

static bool Usage(const std::string& msg) {
    std::fprintf(stderr, "qwhost: %s (see qwhost --help)\n", msg.c_str());
    return false;
}

static std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::string cur;
    std::istringstream in(s);
    while (std::getline(in, cur, sep)) out.push_back(cur);
    if (!s.empty() && s.back() == sep) out.push_back("");
    return out;
}

static bool ParseInt(const std::string& s, long& v) {
    char* end = nullptr;
    errno = 0;
    v = std::strtol(s.c_str(), &end, 10);
    return !s.empty() && end && *end == 0 && errno == 0;
}

// The options that take a value (the word after them).
static bool TakesValue(const std::string& a) {
    static const char* const kWithValue[] = {
        "--module", "--input", "--raw", "--size", "--output", "--output-raw", "--mode", "--mask", "--layer",
        "--filter-case", "--rect", "--fore", "--back", "--resolution", "--ruler-unit", "--channel-names", "--icc",
        "--host-sig", "--pick-color", "--data-dir", "--descriptors", "--layout", "--play", "--ui", "--ui-script",
        "--selectors", "--max-space", "--max-text", "--abort-after", "--fail"};
    return std::find_if(std::begin(kWithValue), std::end(kWithValue), [&](const char* k) { return a == k; }) !=
           std::end(kWithValue);
}

static bool ParseArgs(int argc, char** argv, Options& o, bool& help) {
    help = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (!TakesValue(a)) return Usage("unknown option " + a);
            if (i + 1 >= argc) return Usage("missing value after " + a);
            out = argv[++i];
            return true;
        };
        std::string v;
        long n = 0;
        if (a == "--help" || a == "-h") {
            help = true;
            return true;
        } else if (a == "--verbose") {
            o.verbose = true;
        } else if (a == "--no-document-info") {
            o.noDocumentInfo = true;
        } else if (a == "--no-color-services") {
            o.noColorServices = true;
        } else if (a == "--no-absolute") {
            o.noAbsolute = true;
        } else if (a == "--output-always") {
            o.outputAlways = true;
        } else if (!value(v)) {
            return false;
        } else if (a == "--module") {
            o.module = v;
        } else if (a == "--input") {
            o.inputs = Split(v, ',');
        } else if (a == "--raw") {
            o.raw = v;
        } else if (a == "--size") {
            int w = 0, h = 0;
            if (std::sscanf(v.c_str(), "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0 || w > 30000 ||
                h > 30000)
                return Usage("bad --size " + v);
            o.rawWidth = w;
            o.rawHeight = h;
        } else if (a == "--output") {
            o.output = v;
        } else if (a == "--output-raw") {
            o.outputRaw = v;
        } else if (a == "--mode") {
            o.mode = v;
        } else if (a == "--mask") {
            o.mask = v;
        } else if (a == "--layer") {
            o.layerArgs.push_back(v);
        } else if (a == "--filter-case") {
            if (!ParseInt(v, n) || n < -1 || n > 100) return Usage("bad --filter-case " + v);
            o.filterCase = int(n);
        } else if (a == "--rect") {
            QWH_Rect r{};
            if (std::sscanf(v.c_str(), "%d,%d,%d,%d", &r.left, &r.top, &r.right, &r.bottom) != 4)
                return Usage("bad --rect " + v);
            o.rect = r;
            o.haveRect = true;
        } else if (a == "--fore") {
            o.fore = v;
        } else if (a == "--back") {
            o.back = v;
        } else if (a == "--resolution") {
            double h = 0, vv = 0;
            int k = std::sscanf(v.c_str(), "%lf,%lf", &h, &vv);
            if (k < 1) return Usage("bad --resolution " + v);
            o.hres = h;
            o.vres = k == 2 ? vv : h;
        } else if (a == "--ruler-unit") {
            if (!ParseInt(v, n)) return Usage("bad --ruler-unit " + v);
            o.rulerUnit = int(n);
        } else if (a == "--channel-names") {
            o.channelNames = Split(v, ',');
            o.haveChannelNames = true;
        } else if (a == "--icc") {
            o.icc = v;
        } else if (a == "--host-sig") {
            if (v.size() != 4) return Usage("--host-sig needs four characters");
            o.hostSig = v;
        } else if (a == "--pick-color") {
            o.pickColor = v;
        } else if (a == "--data-dir") {
            o.dataDir = v;
        } else if (a == "--descriptors") {
            o.descriptors = v;
        } else if (a == "--layout") {
            o.layout = v;
        } else if (a == "--play") {
            if (!ParseInt(v, n)) return Usage("bad --play " + v);
            o.playInfo = int(n);
        } else if (a == "--ui") {
            if (v != "headless" && v != "x11") return Usage("--ui is headless or x11");
            o.ui = v;
        } else if (a == "--ui-script") {
            o.uiScript = v;
        } else if (a == "--selectors") {
            o.selectors.clear();
            for (const std::string& s : Split(v, ',')) {
                if (!ParseInt(s, n) || n < -32768 || n > 32767) return Usage("bad selector " + s);
                o.selectors.push_back(int(n));
            }
        } else if (a == "--max-space") {
            if (!ParseInt(v, n) || n < 0 || n > 0x7fffffff) return Usage("bad --max-space " + v);
            o.maxSpace = int32_t(n);
        } else if (a == "--max-text") {
            if (!ParseInt(v, n) || n < 0 || n > 0x7fffffff) return Usage("bad --max-text " + v);
            o.maxText = int32_t(n);
        } else if (a == "--abort-after") {
            if (!ParseInt(v, n) || n < 0) return Usage("bad --abort-after " + v);
            o.abortAfter = n;
        } else if (a == "--fail") {
            size_t colon = v.find(':');
            if (colon == std::string::npos || !ParseInt(v.substr(colon + 1), n) || n < 1)
                return Usage("bad --fail " + v);
            std::string kind = v.substr(0, colon);
            static const char* kinds[] = {"advance", "alloc", "property", "color", "put", "get",
                                          "open-read", "open-write", "suite", "pixels"};
            if (std::find_if(std::begin(kinds), std::end(kinds),
                             [&](const char* k) { return kind == k; }) == std::end(kinds))
                return Usage("unknown failure kind " + kind);
            o.failAfter[kind] = n;
        } else {
            return Usage("unknown option " + a);
        }
    }
    return true;
}

static bool ReadFile(const std::string& path, std::vector<uint8_t>& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return !f.bad();
}

static int ModeValue(const std::string& m, int& planes) {
    struct M {
        const char* name;
        int mode;
        int planes;
    } modes[] = {{"gray", plugInModeGrayScale, 1},     {"rgb", plugInModeRGBColor, 3},
                 {"cmyk", plugInModeCMYKColor, 4},     {"lab", plugInModeLabColor, 3},
                 {"indexed", plugInModeIndexedColor, 1}, {"bitmap", plugInModeBitmap, 1},
                 {"multichannel", plugInModeMultichannel, 2}, {"duotone", plugInModeDuotone, 1}};
    for (const M& x : modes)
        if (m == x.name) {
            planes = x.planes;
            return x.mode;
        }
    return -1;
}

// Converts RGB pixels into the planes of the document's mode.
static void PlanesFromPixels(const PngImage& img, int mode, int colorPlanes,
                             std::vector<std::vector<uint8_t>>& planes,
                             std::vector<uint8_t>* alpha) {
    size_t n = size_t(img.width) * size_t(img.height);
    planes.assign(size_t(colorPlanes), std::vector<uint8_t>(n, 0));
    bool colour = img.channels >= 3;
    bool hasAlpha = img.channels == 2 || img.channels == 4;
    if (alpha) alpha->clear();
    if (alpha && hasAlpha) alpha->resize(n);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = img.pixels.get() + i * size_t(img.channels);
        int r = p[0], g = colour ? p[1] : p[0], b = colour ? p[2] : p[0];
        if (alpha && hasAlpha) (*alpha)[i] = p[img.channels - 1];
        if (mode == plugInModeCMYKColor) {
            int k = 255 - std::max({r, g, b});
            planes[0][i] = uint8_t(255 - r - k);
            planes[1][i] = uint8_t(255 - g - k);
            planes[2][i] = uint8_t(255 - b - k);
            planes[3][i] = uint8_t(k);
        } else if (colorPlanes >= 3) {
            planes[0][i] = uint8_t(r);
            planes[1][i] = uint8_t(g);
            planes[2][i] = uint8_t(b);
        } else {
            int grey = colour ? (r * 30 + g * 59 + b * 11) / 100 : r;
            for (auto& pl : planes) pl[i] = uint8_t(grey);
        }
    }
}

static bool LoadDocument(Host& h, std::string& err) {
    Options& o = h.opt;
    Document& d = h.doc;
    int planes = 0;
    if (!o.raw.empty()) {
        if (o.mode.empty() || o.rawWidth <= 0) return (err = "--raw needs --mode and --size"), false;
        d.mode = int16_t(ModeValue(o.mode, planes));
        if (d.mode < 0) return (err = "unknown mode " + o.mode), false;
        std::vector<uint8_t> bytes;
        if (!ReadFile(o.raw, bytes)) return (err = "cannot read " + o.raw), false;
        size_t n = size_t(o.rawWidth) * size_t(o.rawHeight);
        if (bytes.size() != n * size_t(planes) && bytes.size() != n * size_t(planes + 1))
            return (err = o.raw + ": size does not match --size and --mode"), false;
        d.width = o.rawWidth;
        d.height = o.rawHeight;
        d.colorPlanes = planes;
        d.hasAlpha = bytes.size() == n * size_t(planes + 1);
        for (size_t p = 0; p < bytes.size() / n; ++p)
            d.planes.emplace_back(bytes.begin() + long(p * n), bytes.begin() + long((p + 1) * n));
    } else {
        if (o.inputs.empty()) return (err = "no --input"), false;
        std::vector<PngImage> imgs(o.inputs.size());
        for (size_t i = 0; i < imgs.size(); ++i)
            if (!ReadPng(o.inputs[i], imgs[i], err)) return false;
        if (o.mode.empty()) o.mode = imgs[0].channels >= 3 ? "rgb" : "gray";
        d.mode = int16_t(ModeValue(o.mode, planes));
        if (d.mode < 0) return (err = "unknown mode " + o.mode), false;
        d.width = imgs[0].width;
        d.height = imgs[0].height;
        d.colorPlanes = planes;
        if (imgs.size() == 4 && d.mode == plugInModeCMYKColor) {
            for (const PngImage& img : imgs) {
                if (img.width != d.width || img.height != d.height)
                    return (err = "the CMYK planes differ in size"), false;
                std::vector<std::vector<uint8_t>> one;
                PlanesFromPixels(img, plugInModeGrayScale, 1, one, nullptr);
                d.planes.push_back(std::move(one[0]));
            }
        } else if (imgs.size() == 1) {
            std::vector<uint8_t> alpha;
            PlanesFromPixels(imgs[0], d.mode, planes, d.planes, &alpha);
            if (!alpha.empty()) {
                d.hasAlpha = true;
                d.planes.push_back(std::move(alpha));
            }
        } else {
            return (err = "give one input, or four grey inputs with --mode cmyk"), false;
        }
    }
    if (!o.mask.empty()) {
        PngImage m;
        if (!ReadPng(o.mask, m, err)) return false;
        if (m.width != d.width || m.height != d.height)
            return (err = "the mask differs in size from the image"), false;
        std::vector<std::vector<uint8_t>> one;
        PlanesFromPixels(m, plugInModeGrayScale, 1, one, nullptr);
        d.mask = std::move(one[0]);
    }
    for (const std::string& layerArg : o.layerArgs) {
        LayerSpec l;
        size_t eq = layerArg.find('=');
        if (eq == std::string::npos) return (err = "bad --layer " + layerArg), false;
        l.name = layerArg.substr(0, eq);
        std::string file = layerArg.substr(eq + 1);
        size_t at = file.rfind('@');
        if (at != std::string::npos) {
            if (std::sscanf(file.c_str() + at + 1, "%d,%d", &l.x, &l.y) != 2)
                return (err = "bad layer offset in " + layerArg), false;
            file.resize(at);
        }
        PngImage img;
        if (!ReadPng(file, img, err)) return false;
        l.width = img.width;
        l.height = img.height;
        PlanesFromPixels(img, d.mode, d.colorPlanes, l.planes, &l.alpha);
        h.layers.push_back(std::move(l));
    }
    if (o.layerArgs.empty()) {
        LayerSpec l;
        l.name = "Background";
        l.width = d.width;
        l.height = d.height;
        for (int p = 0; p < d.colorPlanes; ++p) l.planes.push_back(d.planes[size_t(p)]);
        if (d.hasAlpha) l.alpha = d.planes[size_t(d.colorPlanes)];
        h.layers.push_back(std::move(l));
    }
    if (!o.haveChannelNames) {
        if (d.mode == plugInModeGrayScale) o.channelNames = {"Gray"};
        else if (d.mode == plugInModeCMYKColor) o.channelNames = {"Cyan", "Magenta", "Yellow", "Black"};
        else if (d.mode == plugInModeRGBColor) o.channelNames = {"Red", "Green", "Blue"};
        else for (int p = 0; p < d.colorPlanes; ++p) o.channelNames.push_back("Alpha " + std::to_string(p + 1));
    }
    return true;
}

static bool ParseColor(const std::string& hex, uint8_t out[4]) {
    if (hex.empty() || hex.size() > 8 || hex.size() % 2) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        unsigned v = 0;
        if (std::sscanf(hex.substr(i, 2).c_str(), "%2x", &v) != 1) return false;
        out[i / 2] = uint8_t(v);
    }
    return true;
}

static bool SaveOutput(const Host& h, std::string& err) {
    const Document& d = h.doc;
    size_t n = size_t(d.width) * size_t(d.height);
    if (!h.opt.outputRaw.empty()) {
        std::vector<uint8_t> all;
        for (const auto& p : d.planes) all.insert(all.end(), p.begin(), p.end());
        if (!WriteOutputFile(h.opt.outputRaw, all, err)) return false;
    }
    if (h.opt.output.empty()) return true;
    int colour = d.colorPlanes >= 3 ? 3 : 1;
    int ch = colour + (d.hasAlpha ? 1 : 0);
    std::vector<uint8_t> px(n * size_t(ch));
    for (size_t i = 0; i < n; ++i) {
        uint8_t* q = px.data() + i * size_t(ch);
        if (d.mode == plugInModeCMYKColor) {
            int k = d.planes[3][i];
            for (int c = 0; c < 3; ++c) q[c] = uint8_t((255 - d.planes[size_t(c)][i]) * (255 - k) / 255);
        } else {
            for (int c = 0; c < colour; ++c) q[c] = d.planes[size_t(c)][i];
        }
        if (d.hasAlpha) q[colour] = d.planes[size_t(d.colorPlanes)][i];
    }
    return WritePng(h.opt.output, d.width, d.height, ch, px, err);
}

// A picture larger than the memory left: the host's own failure, said as such, not an abort.
template <typename Work>
static bool WithinMemory(Work work, const char* what, std::string& err) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        err = std::string("out of memory ") + what;
        return false;
    }
}

static std::string WindowsPath(const std::string& posix) {
    std::string abs = fs::absolute(posix).lexically_normal().string();
    std::string out = "Z:";
    for (char c : abs) out.push_back(c == '/' ? '\\' : c);
    if (out.back() != '\\') out.push_back('\\');
    return out;
}

// With --data-dir the module runs from a private folder beside its own resources, whose
// SPath.conf names the data folder; nothing is written next to the original module.
static bool StageModule(const std::string& module, const std::string& dataDir, std::string& staged,
                        std::string& folder, int& lock, std::string& err) {
    if (!MakeStagingFolder(folder, lock, err)) return false;
    std::error_code ec;
    fs::path src(module);
    staged = folder + "/" + src.filename().string();
    fs::copy_file(src, staged, ec);
    if (ec) return (err = "cannot copy the module: " + ec.message()), false;
    for (const char* extra : {"resource_jw30.qws4", "EnableWindowShadows.txt",
                              "Quarrow. Jigcrafter 3.0 Help.pdf"}) {
        fs::path p = src.parent_path() / extra;
        if (fs::exists(p)) fs::create_symlink(fs::absolute(p), fs::path(folder) / extra, ec);
    }
    fs::create_directories(dataDir, ec);
    return WriteSPathConf(folder, WindowsPath(dataDir), err);
}

// Fills the filter record from the document and the options. False (the usage error said) when
// an option does not fit the document.
static bool SetUpFilterRecord(const Options& o, const Document& d, FilterRecord& rec,
                              PlatformData& platform, std::vector<uint8_t>& icc) {
    std::memset(&rec, 0, sizeof rec);
    SetUpRecord(rec, platform);
    rec.imageSize = QWH_Point{d.width, d.height};
    rec.wholeSize = rec.imageSize;
    rec.floatCoord = QWH_Point{0, 0};
    rec.planes = int16_t(d.planes.size());
    rec.filterRect = o.haveRect ? o.rect : QWH_Rect{0, 0, d.width, d.height};
    if (o.haveRect && (o.rect.left < 0 || o.rect.top < 0 || o.rect.right > d.width ||
                       o.rect.bottom > d.height || o.rect.left >= o.rect.right ||
                       o.rect.top >= o.rect.bottom)) {
        std::fprintf(stderr, "qwhost: --rect lies outside the image\n");
        return false;
    }
    rec.maxSpace = o.maxSpace;
    rec.bufferSpace = 0;
    rec.haveMask = d.mask.empty() ? 0 : 1;
    rec.imageMode = d.mode;
    rec.hostSig = 0;
    for (char c : o.hostSig) rec.hostSig = (rec.hostSig << 8) | uint8_t(c);
    rec.imageHRes = QWH_Fixed(o.hres * 65536.0);
    rec.imageVRes = QWH_Fixed(o.vres * 65536.0);
    rec.supportsAbsolute = o.noAbsolute ? 0 : 1;
    int fc = o.filterCase;
    if (fc == -100) fc = d.hasAlpha ? (d.mask.empty() ? 4 : 5) : (d.mask.empty() ? 1 : 2);
    rec.filterCase = int16_t(fc);
    rec.inTransparencyMask = d.hasAlpha ? 1 : 0;
    rec.outTransparencyMask = (d.hasAlpha && (fc == 3 || fc == 4 || fc == 5)) ? 1 : 0;
    // Colours default to black on white in the document's mode.
    uint8_t fore[4] = {0, 0, 0, 0}, back[4] = {255, 255, 255, 255};
    if (d.mode == plugInModeCMYKColor) {
        fore[3] = 255;
        back[0] = back[1] = back[2] = back[3] = 0;
    }
    if (!o.fore.empty() && !ParseColor(o.fore, fore)) return Usage("bad --fore");
    if (!o.back.empty() && !ParseColor(o.back, back)) return Usage("bad --back");
    std::memcpy(rec.foreColor, fore, 4);
    std::memcpy(rec.backColor, back, 4);
    if (!o.icc.empty()) {
        if (!ReadFile(o.icc, icc)) return Usage("cannot read " + o.icc);
        rec.canUseICCProfiles = 1;
        rec.iCCprofileData = NewHostHandle(icc.data(), icc.size(), true);
        rec.iCCprofileSize = int32_t(icc.size());
    }
    return true;
}

// The scripting parameters the filter finds: a layout to replay, or the descriptors recorded by
// an earlier run.
static bool SetUpScriptingParameters(const Options& o, FilterRecord& rec) {
    std::vector<uint8_t> desc;
    std::string err;
    if (!o.layout.empty()) {
        std::vector<uint8_t> blob;
        if (!ReadFile(o.layout, blob)) return Usage("cannot read " + o.layout);
        if (!BuildLayoutDescriptor(blob, desc, err)) return Usage(err);
    } else if (!o.descriptors.empty() && fs::is_regular_file(o.descriptors)) {
        if (!ReadFile(o.descriptors, desc)) return Usage("cannot read " + o.descriptors);
        if (!IsDescriptorList(desc)) return Usage(o.descriptors + " is not a descriptors file");
    }
    if (!desc.empty()) rec.descriptorParameters->descriptor = NewHostHandle(desc.data(), desc.size(), false);
    return true;
}

// The loaded filter module. `path` is the file loaded (the staged copy with --data-dir).
struct Module {
    std::string path;
    void* lib = nullptr;
    PluginMainProc entry = nullptr;
};

static bool LoadModule(const Options& o, std::string& stagedFolder, int& stagedLock, Module& m) {
    std::string err;
    m.path = o.module;
    if (!o.dataDir.empty() && !StageModule(o.module, o.dataDir, m.path, stagedFolder, stagedLock, err)) {
        std::fprintf(stderr, "qwhost: %s\n", err.c_str());
        return false;
    }
    m.lib = dlopen(fs::absolute(m.path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m.lib) {
        std::fprintf(stderr, "qwhost: cannot load %s: %s\n", m.path.c_str(), dlerror());
        return false;
    }
    m.entry = reinterpret_cast<PluginMainProc>(dlsym(m.lib, "PluginMain"));
    if (!m.entry) {
        std::fprintf(stderr, "qwhost: %s exports no PluginMain\n", m.path.c_str());
        dlclose(m.lib);
        return false;
    }
    return true;
}

// Keeps the descriptor the filter recorded in a selector call: the host takes it over and
// writes it to --descriptors. A failed write goes to `hostFailure` (the first one only).
static void KeepRecordedDescriptor(const Options& o, FilterRecord& rec, Handle descBefore,
                                   std::string& hostFailure) {
    Handle descAfter = rec.descriptorParameters->descriptor;
    if (!descAfter || descAfter == descBefore) return;
    if (!IsLiveHandle(descAfter)) {
        Fault("the descriptor handed back is not a live handle");
        return;
    }
    ForgetHandle(descAfter);  // the host keeps the recorded descriptor
    std::vector<uint8_t> bytes;
    HandleBytes(descAfter, bytes);
    std::string why;
    if (!o.descriptors.empty() && !WriteOutputFile(o.descriptors, bytes, why) && hostFailure.empty())
        hostFailure = why;
    std::printf("descriptor recorded: %zu bytes, recordInfo %d\n", bytes.size(),
                rec.descriptorParameters->recordInfo);
}

// One selector call, with the strips served until the filter asks for no more data. Returns
// the filter's result.
static int16_t RunSelector(Host& h, const Module& m, int sel, FilterRecord& rec, AboutRecord& about,
                           intptr_t& data, std::string& hostFailure) {
    int16_t result = 0;
    Note("selector %d", sel);
    void* block = sel == filterSelectorAbout ? static_cast<void*>(&about) : &rec;
    Handle descBefore = rec.descriptorParameters->descriptor;
    const auto started = std::chrono::steady_clock::now();
    const double serviceBefore = h.serviceMs;
    InSelector(true);
    m.entry(int16_t(sel), block, &data, &result);
    InSelector(false);
    if (sel != filterSelectorAbout) CommitOutput(rec);
    // The host serves what the filter still requests and continues until it asks for no
    // more data.
    long loops = 0;
    while (result == noErr && (sel == filterSelectorStart || sel == filterSelectorContinue) &&
           (rec.inRect.right > rec.inRect.left || rec.outRect.right > rec.outRect.left ||
            rec.maskRect.right > rec.maskRect.left) && loops++ < 100000) {
        if (rec.advanceState() != noErr) break;
        m.entry(filterSelectorContinue, &rec, &data, &result);
        CommitOutput(rec);
    }
    bool empty = rec.inRect.right <= rec.inRect.left && rec.outRect.right <= rec.outRect.left &&
                 rec.maskRect.right <= rec.maskRect.left;
    std::printf("selector %d: result %d, requests %s\n", sel, result, empty ? "empty" : "open");
    // The selector's own time: without the host's strip service (given apart) and
    // without any PNG coding.
    const double selectorMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    std::printf("filter time: %.1f ms (strip service %.1f ms)\n",
                selectorMs - (h.serviceMs - serviceBefore), h.serviceMs - serviceBefore);
    KeepRecordedDescriptor(h.opt, rec, descBefore, hostFailure);
    return result;
}

// Unloads the module and checks what it left: live handles, and its suites once it is gone.
static void UnloadModule(FilterRecord& rec, const Module& m) {
    if (Handle left = rec.descriptorParameters->descriptor; left && IsLiveHandle(left)) ForgetHandle(left);
    dlclose(m.lib);
    CheckLeaks();
    // The module's static objects release their suites when it unloads; a module that stays
    // loaded (as one with unique symbols does) has not been asked to yet.
    std::string loadedPath = fs::absolute(m.path).string();
    if (void* still = dlopen(loadedPath.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
        dlclose(still);
        Note("the module stays loaded; its suites are not checked");
    } else {
        CheckSuites();
    }
}

// What a result of the filter means, for a person reading the run.
static const char* ResultMeaning(int16_t result) {
    switch (result) {
    case userCanceledErr: return "the filter was cancelled or refused its input";
    case memFullErr: return "the filter ran out of memory";
    case filterBadParameters:
        return "the filter refused the call: a selector or record it does not take, or a setting of the "
               "environment it refuses";
    case filterBadMode: return "the filter does not take the image's mode or filter case (grey, RGB and CMYK are taken)";
    default: return "an error of the filter or of a host callback it called";
    }
}

// Which layout a run without the dialog gave the filter to replay (with a data folder or a
// layout given, as the filter's own runs have them): said when the run was cancelled.
static void SayLayoutReplayed(const Options& o) {
    if (!o.layout.empty()) {
        std::fprintf(stderr, "qwhost: the layout replayed: %s (--layout), which must be a layout blob (a saved "
                             "last.data, or one makesample writes)\n", o.layout.c_str());
    } else if (!o.descriptors.empty() && fs::is_regular_file(o.descriptors)) {
        std::fprintf(stderr, "qwhost: the layout replayed: the one recorded in %s (--descriptors)\n", o.descriptors.c_str());
    } else if (!o.dataDir.empty()) {
        const std::string last = (fs::path(o.dataDir) / "last.data").string();
        if (fs::exists(last))
            std::fprintf(stderr, "qwhost: the layout replayed: %s, the last layout of the data folder\n", last.c_str());
        else
            std::fprintf(stderr, "qwhost: no layout to replay: no --layout was given and the data folder %s holds "
                                 "no last.data\n", o.dataDir.c_str());
    }
}

// The run's last lines and its exit status (see the help text). `replayed`: Start ran without
// the filter's windows waiting for anyone.
static int FinishRun(const Host& h, int16_t result, const std::string& hostFailure, bool replayed) {
    if (const char* state = HostWindowState()) {
        std::printf("host window: %s, %s after the run\n", state, HostWindowEnabled() ? "enabled" : "disabled");
    }
    const bool scriptDone = FinishScript();
    const bool shown = ShowDocument();
    WaitForHostWindow();
    std::printf("strips: %ld, progress calls: %ld, abort polls: %ld, faults: %d\n", h.strips,
                h.progressCalls, h.abortPolls, h.errors);
    std::fflush(stdout);
    // A failure of the host's own is said before the result line, which stays the last.
    const bool failed = !hostFailure.empty() || !shown;
    if (failed) {
        std::fprintf(stderr, "qwhost: host failure: %s\n",
                     hostFailure.empty() ? "out of memory showing the picture" : hostFailure.c_str());
    }
    std::printf("result: %d\n", result);
    std::fflush(stdout);
    if (result != noErr) {
        std::fprintf(stderr, "qwhost: result %d: %s\n", result, ResultMeaning(result));
        if (result == userCanceledErr && replayed) SayLayoutReplayed(h.opt);
    }
    if (failed) return 2;
    // The script said why it failed when it did.
    if (!scriptDone) return 4;
    if (result != noErr) return 1;
    return h.errors ? 3 : 0;
}

int main(int argc, char** argv) {
    if (!qwp::CheckEnvironmentSettings("qwhost")) return 2;
    Host& h = TheHost();
    bool help = false;
    if (!ParseArgs(argc, argv, h.opt, help)) return 2;
    if (help) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    Options& o = h.opt;
    h.verbose = o.verbose;
    for (auto& [kind, n] : o.failAfter) h.inject[kind].failAfter = n;
    if (o.module.empty()) return Usage("no --module"), 2;
    std::string err;
    if (!WithinMemory([&] { return LoadDocument(h, err); }, "loading the picture", err)) {
        std::fprintf(stderr, "qwhost: %s\n", err.c_str());
        return 2;
    }
    FilterRecord rec;
    PlatformData platform{0};
    std::vector<uint8_t> icc;
    if (!SetUpFilterRecord(o, h.doc, rec, platform, icc) || !SetUpScriptingParameters(o, rec)) return 2;

    // The host's windows, before the module: the filter's windows run on the same system.
    if (!StartWindows(err)) {
        std::fprintf(stderr, "qwhost: %s\n", err.c_str());
        return 2;
    }
    platform.hwnd = HostWindowHandle();
    struct Windows {
        ~Windows() { StopWindows(); }
    } windows;

    // The staging folder goes on every way out; those of killed runs go here.
    RemoveAbandonedStagingFolders();
    std::string stagedFolder;
    int stagedLock = -1;
    struct Staged {
        std::string& folder;
        int& lock;
        ~Staged() { RemoveStagingFolder(folder, lock); }
    } staged{stagedFolder, stagedLock};
    Module module;
    if (!LoadModule(o, stagedFolder, stagedLock, module)) return 2;

    // Failures of the host's own outputs: the run ends with exit status 2 and says why.
    std::string hostFailure;
    intptr_t data = 0;
    int16_t result = 0;
    AboutRecord about{&platform, rec.sSPBasic, nullptr};
    bool started = false;
    for (int sel : o.selectors) {
        started = started || sel == filterSelectorStart;
        result = RunSelector(h, module, sel, rec, about, data, hostFailure);
        if (result != noErr) break;
    }
    UnloadModule(rec, module);
    if ((result == noErr || o.outputAlways) &&
        !WithinMemory([&] { return SaveOutput(h, err); }, "writing the picture", err) && hostFailure.empty())
        hostFailure = err;
    const char* state = HostWindowState();
    return FinishRun(h, result, hostFailure, started && (!state || !std::strcmp(state, "no dialog")));
}
