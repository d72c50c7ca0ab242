#include "tools/skinc/skin_compiler.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "platform/qw_fontraster.h"
#include "platform/qw_paths.h"
#include "tools/skinc/skin_window.h"

namespace skinc {

namespace {

bool ReadFile(const std::string& hostPath, std::string& out)
{
    std::ifstream in(hostPath, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return static_cast<bool>(in) || in.eof();
}

std::string FolderOf(const std::string& path)
{
    const size_t cut = path.rfind('/');
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

bool CollectSkinFiles(const std::string& dir, std::vector<std::string>& out)
{
    struct Ctx {
        std::vector<std::pair<std::string, bool>> names;
    } ctx;
    const std::string win = qwp::ToWindowsPath(dir.c_str());
    if (!qwp::ListFolder(win.c_str(),
                         [](const char* name, bool isFolder, void* c) {
                             static_cast<Ctx*>(c)->names.emplace_back(name, isFolder);
                             return true;
                         },
                         &ctx))
        return false;
    std::sort(ctx.names.begin(), ctx.names.end());
    for (const auto& [name, isFolder] : ctx.names) {
        const std::string path = dir + "/" + name;
        if (isFolder) {
            if (!CollectSkinFiles(path, out)) return false;
        } else if (name.size() > 5 && name.compare(name.size() - 5, 5, ".skin") == 0) {
            out.push_back(path);
        }
    }
    return true;
}

}  // namespace

bool ReadSources(const std::vector<std::string>& paths, std::vector<SourceText>& out, Diagnostics& diag)
{
    std::vector<std::string> files;
    for (const std::string& p : paths) {
        const std::string win = qwp::ToWindowsPath(p.c_str());
        if (qwp::FolderExists(win.c_str())) {
            if (!CollectSkinFiles(p, files)) diag.Error(p + ": cannot list the folder");
        } else {
            files.push_back(p);
        }
    }
    for (const std::string& f : files) {
        SourceText s;
        s.path = f;
        if (!ReadFile(f, s.text)) {
            diag.Error(f + ": cannot read the file");
            continue;
        }
        out.push_back(std::move(s));
    }
    if (out.empty() && diag.Ok()) diag.Error("no skin sources (*.skin) found");
    return diag.Ok();
}

Compiler::Compiler()
    : m_style(std::make_unique<Style>(m_diag)), m_package(std::make_unique<PackageBuilder>(m_diag))
{
}

Compiler::~Compiler() = default;

void Compiler::BuildEntry(const Node& node, const std::string& sourcePath)
{
    // entry "KEY" [text="..." | byte=N | word=N | dword=N | colour=C | double=X | file="PATH" [compress=yes]]
    if (node.args.size() != 1 || node.args[0].kind != Value::String || !node.children.empty()) {
        m_diag.Error(node.where, "an entry is: entry \"KEY\" text=|byte=|word=|dword=|colour=|double=|file= VALUE");
        return;
    }
    const std::string& key = node.args[0].text;
    auto whole = [&](const Attr* a, double lo, double hi, double& out) {
        if (a->value.kind != Value::Number || a->value.number != std::floor(a->value.number) || a->value.number < lo ||
            a->value.number > hi) {
            m_diag.Error(node.where, a->name + " needs a whole number from " + std::to_string(static_cast<long long>(lo)) +
                                         " to " + std::to_string(static_cast<long long>(hi)));
            return false;
        }
        out = a->value.number;
        return true;
    };
    double v = 0;
    const Attr* a;
    if ((a = node.Find("text"))) {
        if (a->value.kind != Value::String) m_diag.Error(node.where, "text needs a quoted string");
        else m_package->Text(key, a->value.text, node.where);
    } else if ((a = node.Find("byte"))) {
        if (whole(a, 0, 255, v)) m_package->Byte(key, static_cast<uint8_t>(v), node.where);
    } else if ((a = node.Find("word"))) {
        if (whole(a, -32768, 65535, v)) m_package->Word(key, static_cast<uint16_t>(static_cast<int32_t>(v)), node.where);
    } else if ((a = node.Find("dword"))) {
        if (whole(a, -2147483648.0, 4294967295.0, v))
            m_package->DWord(key, static_cast<uint32_t>(static_cast<int64_t>(v)), node.where);
    } else if ((a = node.Find("colour"))) {
        // A colour of the style as one 32-bit value, 0xAABBGGRR.
        Colour c;
        if (m_style->ColourOf(a->value, node.where, c)) {
            auto byte = [](double v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
            m_package->DWord(key, byte(c.a) << 24 | byte(c.b) << 16 | byte(c.g) << 8 | byte(c.r), node.where);
        }
    } else if ((a = node.Find("double"))) {
        if (a->value.kind != Value::Number) m_diag.Error(node.where, "double needs a number");
        else m_package->Double(key, a->value.number, node.where);
    } else if ((a = node.Find("file"))) {
        bool compress = false;
        if (const Attr* c = node.Find("compress")) {
            if (c->value.kind != Value::Word || (c->value.text != "yes" && c->value.text != "no"))
                m_diag.Error(node.where, "compress is yes or no");
            compress = c->value.text == "yes";
        }
        const std::string path = a->value.text.size() && a->value.text[0] == '/' ? a->value.text
                                                                                  : FolderOf(sourcePath) + "/" + a->value.text;
        std::string bytes;
        if (a->value.kind != Value::String || !ReadFile(path, bytes)) {
            m_diag.Error(node.where, "cannot read the file " + path);
        } else {
            m_extraInputs.push_back(path);
            m_package->Blob(key, std::vector<uint8_t>(bytes.begin(), bytes.end()), compress, node.where);
        }
    } else if (node.attrs.empty()) {
        m_package->Folder(key, node.where);
    } else {
        m_diag.Error(node.where, "an entry takes one of text=, byte=, word=, dword=, colour=, double=, file=");
        return;
    }
    for (const Attr& at : node.attrs) {
        if (!at.used) m_diag.Error(node.where, "entry has no attribute " + at.name + " here");
    }
}

bool Compiler::Compile(const std::vector<SourceText>& sources)
{
    // Parse everything first, so that definitions may come in any file and any order.
    std::vector<std::pair<const SourceText*, std::vector<Node>>> parsed;
    for (const SourceText& s : sources) {
        std::vector<Node> nodes;
        ParseSource(s.path, s.text, nodes, m_diag);
        parsed.emplace_back(&s, std::move(nodes));
    }
    if (!m_diag.Ok()) return false;

    std::vector<std::pair<const Node*, const SourceText*>> windows, entries;
    for (const auto& [src, nodes] : parsed) {
        for (const Node& n : nodes) {
            if (m_style->Take(n)) continue;
            if (n.keyword == "window") windows.emplace_back(&n, src);
            else if (n.keyword == "entry") entries.emplace_back(&n, src);
            else
                m_diag.Error(n.where, "unknown statement '" + n.keyword +
                                          "' (palette, metrics, font, look, icon, cursor, command, accelerator, window, entry)");
        }
    }
    m_style->Finish();
    if (!m_diag.Ok()) return false;

    const Where here{"(compiler)", 0};
    m_package->Folder("UIResources", here);

    // Fonts, in the order written.
    for (FontDef* f : m_style->StoredFonts()) {
        if (f->name.find('>') != std::string::npos) {
            m_diag.Error(f->where, "a font name cannot hold '>'");
            continue;
        }
        if (!m_style->Font(f->name, f->where)) continue;
        m_package->Blob("UIResources>Fonts>" + f->name, f->block, true, f->where);
        const std::string face = qwp::FontFacePath(f->face);
        if (std::find(m_extraInputs.begin(), m_extraInputs.end(), face) == m_extraInputs.end())
            m_extraInputs.push_back(face);
    }

    // Accelerators: 108-byte records, the command id little-endian.
    if (!m_style->Accelerators().empty()) {
        std::vector<uint8_t> table;
        for (const AcceleratorDef& a : m_style->Accelerators()) {
            uint8_t rec[108] = {};
            rec[0] = a.ctrl;
            rec[1] = a.alt;
            rec[2] = a.shift;
            rec[4] = a.key;
            const uint16_t id = static_cast<uint16_t>(a.command);
            rec[6] = static_cast<uint8_t>(id & 0xFF);
            rec[7] = static_cast<uint8_t>(id >> 8);
            table.insert(table.end(), rec, rec + sizeof rec);
        }
        m_package->Blob("UIResources>Accelerators", table, true, m_style->Accelerators().front().where);
    }

    // Cursors: black strokes on a white rim, 24 x 24 pixels, with the hot spot beside them.
    for (const CursorDef& c : m_style->Cursors()) {
        constexpr int kSize = 24;
        constexpr double kScale = kSize / 16.0;
        IconDef rim = c.icon;
        for (IconStroke& st : rim.strokes) {
            st.width += 1.6;
            if (st.kind == IconStroke::Dot) st.points[2] += 0.8;
        }
        Canvas canvas(Rect{0, 0, kSize, kSize});
        canvas.Icon(rim, 0, 0, kSize, Colour{1, 1, 1, 1});
        canvas.Icon(c.icon, 0, 0, kSize, Colour{0, 0, 0, 1});
        const std::string key = "UIResources>Cursors>" + std::to_string(c.id);
        m_package->Element(key + ">Image", canvas, c.icon.where);
        m_package->Word(key + ">Hot X", static_cast<uint16_t>(std::lround(c.hotX * kScale)), c.icon.where);
        m_package->Word(key + ">Hot Y", static_cast<uint16_t>(std::lround(c.hotY * kScale)), c.icon.where);
    }

    for (const auto& [node, src] : windows) {
        WindowBuilder w(*this, *m_style, *node);
        if (w.Build()) m_windows.push_back(w.Summary());
    }
    for (const auto& [node, src] : entries) BuildEntry(*node, src->path);
    return m_diag.Ok();
}

}  // namespace skinc
