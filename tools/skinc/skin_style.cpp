#include "tools/skinc/skin_style.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <set>

#include "platform/qw_fontraster.h"

namespace skinc {

namespace {

bool ParseHexColour(const std::string& digits, Colour& out)
{
    auto byte = [&](size_t i) { return std::strtol(digits.substr(i, 2).c_str(), nullptr, 16) / 255.0; };
    out.r = byte(0);
    out.g = byte(2);
    out.b = byte(4);
    out.a = digits.size() == 8 ? byte(6) : 1.0;
    return true;
}

// Points of an icon stroke: "x,y" lists.
bool PointList(const std::vector<Value>& args, size_t from, std::vector<double>& out)
{
    for (size_t i = from; i < args.size(); ++i) {
        const Value& v = args[i];
        if (v.kind != Value::List || v.items.size() != 2 || v.items[0].kind != Value::Number ||
            v.items[1].kind != Value::Number)
            return false;
        out.push_back(v.items[0].number);
        out.push_back(v.items[1].number);
    }
    return true;
}

}  // namespace

bool Style::Take(const Node& node)
{
    const std::string& k = node.keyword;
    if (k == "palette") return TakePalette(node);
    if (k == "metrics") return TakeMetrics(node);
    if (k == "font") return TakeFont(node);
    if (k == "look") return TakeLook(node);
    if (k == "icon") return TakeIcon(node);
    if (k == "cursor") return TakeCursor(node);
    if (k == "accelerator") return TakeAccelerator(node);
    if (k == "command") return TakeCommand(node);
    return false;
}

bool Style::TakePalette(const Node& node)
{
    if (!node.args.empty() || !node.attrs.empty()) m_diag.Error(node.where, "palette takes no values; list the colours below it");
    for (const Node& c : node.children) {
        if (c.args.size() != 1 || !c.attrs.empty() || !c.children.empty()) {
            m_diag.Error(c.where, "a palette line is: NAME COLOUR");
            continue;
        }
        if (m_paletteSource.count(c.keyword)) {
            m_diag.Error(c.where, "colour " + c.keyword + " is defined twice (first at " +
                                       m_paletteSource[c.keyword].second.Text() + ")");
            continue;
        }
        m_paletteSource[c.keyword] = {c.args[0], c.where};
    }
    return true;
}

bool Style::TakeMetrics(const Node& node)
{
    if (!node.args.empty() || !node.attrs.empty()) m_diag.Error(node.where, "metrics takes no values; list them below it");
    for (const Node& c : node.children) {
        if (c.args.size() != 1 || c.args[0].kind != Value::Number || !c.attrs.empty() || !c.children.empty()) {
            m_diag.Error(c.where, "a metrics line is: NAME NUMBER");
            continue;
        }
        if (m_metrics.count(c.keyword)) {
            m_diag.Error(c.where, "metric " + c.keyword + " is defined twice (first at " +
                                       m_metrics[c.keyword].second.Text() + ")");
            continue;
        }
        m_metrics[c.keyword] = {c.args[0].number, c.where};
    }
    return true;
}

bool Style::TakeFont(const Node& node)
{
    if (node.args.size() != 1 || (node.args[0].kind != Value::String && node.args[0].kind != Value::Word)) {
        m_diag.Error(node.where, "a font is: font NAME face=\"FACE\" size=PIXELS [store=no]");
        return true;
    }
    auto def = std::make_unique<FontDef>();
    def->name = node.args[0].text;
    def->where = node.where;
    const Attr* face = node.Find("face");
    const Attr* size = node.Find("size");
    const Attr* store = node.Find("store");
    if (!face || face->value.kind != Value::String) {
        m_diag.Error(node.where, "font " + def->name + " needs face=\"...\" (one of: DejaVu Sans, DejaVu Sans Bold, DejaVu Sans Mono)");
        return true;
    }
    def->face = face->value.text;
    if (!size || size->value.kind != Value::Number || size->value.number != std::floor(size->value.number) ||
        size->value.number < 4 || size->value.number > 64) {
        m_diag.Error(node.where, "font " + def->name + " needs size=PIXELS, a whole number from 4 to 64");
        return true;
    }
    def->size = static_cast<uint32_t>(size->value.number);
    if (store) {
        if (store->value.kind != Value::Word || (store->value.text != "yes" && store->value.text != "no")) {
            m_diag.Error(node.where, "store is yes or no");
            return true;
        }
        def->store = store->value.text == "yes";
    }
    if (m_fonts.count(def->name)) {
        m_diag.Error(node.where, "font " + def->name + " is defined twice (first at " + m_fonts[def->name]->where.Text() + ")");
        return true;
    }
    for (const Attr& a : node.attrs) {
        if (!a.used) m_diag.Error(node.where, "font has no attribute " + a.name);
    }
    if (def->store) m_storedOrder.push_back(def.get());
    m_fonts[def->name] = std::move(def);
    return true;
}

bool Style::TakeLook(const Node& node)
{
    if (node.args.size() != 1 || node.args[0].kind != Value::Word) {
        m_diag.Error(node.where, "a look is: look NAME [from=OTHER], its states below it");
        return true;
    }
    LookDef look;
    look.name = node.args[0].text;
    look.where = node.where;
    if (const Attr* from = node.Find("from")) look.from = from->value.text;
    for (const Attr& a : node.attrs) {
        if (!a.used) m_diag.Error(node.where, "look has no attribute " + a.name);
    }
    if (m_looks.count(look.name)) {
        m_diag.Error(node.where, "look " + look.name + " is defined twice (first at " + m_looks[look.name].where.Text() + ")");
        return true;
    }
    for (const Node& s : node.children) {
        if (!s.args.empty() || !s.children.empty()) {
            m_diag.Error(s.where, "a look's state line is: STATE property=value ...");
            continue;
        }
        if (s.attrs.empty()) {
            m_diag.Error(s.where, "the state " + s.keyword + " of look " + look.name + " says nothing");
            continue;
        }
        auto& props = look.states[s.keyword];
        for (const Attr& a : s.attrs) props[a.name] = a;
    }
    m_looks[look.name] = look;
    return true;
}

bool Style::TakeIcon(const Node& node)
{
    if (node.args.size() != 1 || node.args[0].kind != Value::Word || !node.attrs.empty()) {
        m_diag.Error(node.where, "an icon is: icon NAME, its strokes below it");
        return true;
    }
    IconDef icon;
    icon.name = node.args[0].text;
    icon.where = node.where;
    TakeStrokes(node, icon);
    if (m_icons.count(icon.name)) {
        m_diag.Error(node.where, "icon " + icon.name + " is defined twice (first at " + m_icons[icon.name].where.Text() + ")");
        return true;
    }
    m_icons[icon.name] = icon;
    return true;
}

bool Style::TakeCursor(const Node& node)
{
    const Attr* hot = node.Find("hot");
    std::vector<double> spot;
    if (node.args.size() != 1 || node.args[0].kind != Value::Number || node.args[0].number < 100 ||
        node.args[0].number > 32767 || node.args[0].number != static_cast<int>(node.args[0].number) || !hot ||
        !PointList({hot->value}, 0, spot) || spot[0] < 0 || spot[0] > 16 || spot[1] < 0 || spot[1] > 16 ||
        node.attrs.size() != 1) {
        m_diag.Error(node.where, "a cursor is: cursor NUMBER hot=X,Y (100 or more; the hot spot in the 16 x 16 box), its strokes below it");
        return true;
    }
    CursorDef cursor;
    cursor.id = static_cast<int>(node.args[0].number);
    cursor.hotX = spot[0];
    cursor.hotY = spot[1];
    cursor.icon.name = "cursor " + std::to_string(cursor.id);
    cursor.icon.where = node.where;
    TakeStrokes(node, cursor.icon);
    for (const CursorDef& c : m_cursors)
        if (c.id == cursor.id) {
            m_diag.Error(node.where, "cursor " + std::to_string(c.id) + " is defined twice (first at " + c.icon.where.Text() + ")");
            return true;
        }
    m_cursors.push_back(cursor);
    return true;
}

void Style::TakeStrokes(const Node& node, IconDef& icon)
{
    for (const Node& s : node.children) {
        IconStroke st;
        bool ok = true;
        if (const Attr* w = s.Find("width")) {
            ok = w->value.kind == Value::Number && w->value.number > 0 && w->value.number <= 8;
            st.width = w->value.number;
        }
        auto number = [&](size_t i, double& out) {
            if (i >= s.args.size() || s.args[i].kind != Value::Number) return false;
            out = s.args[i].number;
            return true;
        };
        if (s.keyword == "line" || s.keyword == "shape") {
            st.kind = IconStroke::Polyline;
            st.closed = s.keyword == "shape";
            ok = ok && s.args.size() >= 2 && PointList(s.args, 0, st.points);
        } else if (s.keyword == "circle" || s.keyword == "dot" || s.keyword == "arc") {
            st.kind = s.keyword == "circle" ? IconStroke::Circle : s.keyword == "dot" ? IconStroke::Dot : IconStroke::Arc;
            const size_t want = st.kind == IconStroke::Arc ? 4 : 2;
            double r = 0, a0 = 0, a1 = 0;
            const std::vector<Value> centre(s.args.begin(), s.args.begin() + std::min<size_t>(1, s.args.size()));
            ok = ok && s.args.size() == want && PointList(centre, 0, st.points) && number(1, r) && r > 0 &&
                 (want == 2 || (number(2, a0) && number(3, a1)));
            st.points.push_back(r);
            if (want == 4) {
                st.points.push_back(a0);
                st.points.push_back(a1);
            }
        } else if (s.keyword == "box") {
            st.kind = IconStroke::Box;
            ok = ok && s.args.size() == 2 && PointList(s.args, 0, st.points);
        } else {
            m_diag.Error(s.where, "an icon stroke is line, shape, circle, arc, dot or box, not " + s.keyword);
            continue;
        }
        for (const Attr& a : s.attrs) {
            if (!a.used) ok = false;
        }
        if (!ok) {
            m_diag.Error(s.where, "ill-formed " + s.keyword +
                                      " (line/shape x,y x,y...; circle/dot x,y r; arc x,y r from to; box x,y w,h; width=N)");
            continue;
        }
        icon.strokes.push_back(st);
    }
    if (icon.strokes.empty()) m_diag.Error(node.where, icon.name + " has no strokes");
}

namespace {
// A command id: a whole number that fits the table's 16 bits.
bool CommandId(const Value& v, int16_t& out)
{
    if (v.kind != Value::Number || v.number != std::floor(v.number) || v.number < -32768 || v.number > 32767)
        return false;
    out = static_cast<int16_t>(v.number);
    return true;
}

bool IsIdentifier(const std::string& name)
{
    if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}
}  // namespace

bool Style::TakeCommand(const Node& node)
{
    CommandDef cmd;
    cmd.where = node.where;
    if (node.args.size() != 2 || node.args[0].kind != Value::Word || !IsIdentifier(node.args[0].text) ||
        !node.attrs.empty() || !node.children.empty()) {
        m_diag.Error(node.where, "a command is: command NAME ID (the name letters and digits)");
        return true;
    }
    cmd.name = node.args[0].text;
    if (!CommandId(node.args[1], cmd.id)) {
        m_diag.Error(node.where, "the command id is a whole number from -32768 to 32767");
        return true;
    }
    for (const CommandDef& other : m_commands) {
        if (other.name == cmd.name)
            m_diag.Error(node.where, "command " + cmd.name + " is defined twice (first at " + other.where.Text() + ")");
        else if (other.id == cmd.id)
            m_diag.Error(node.where, "command id " + std::to_string(cmd.id) + " is already " + other.name + " (at " +
                                         other.where.Text() + ")");
    }
    m_commands.push_back(cmd);
    return true;
}

bool Style::TakeAccelerator(const Node& node)
{
    AcceleratorDef acc;
    acc.where = node.where;
    const bool named = node.args.size() == 2 && node.args[1].kind == Value::Word;
    if (node.args.size() != 2 || (!named && node.args[1].kind != Value::Number) || !node.attrs.empty()) {
        m_diag.Error(node.where, "an accelerator is: accelerator [Ctrl+][Alt+][Shift+]KEY COMMAND (a name or an id)");
        return true;
    }
    if (named) {
        acc.commandName = node.args[1].text;
    } else if (!CommandId(node.args[1], acc.command)) {
        m_diag.Error(node.where, "the command id is a whole number from -32768 to 32767");
        return true;
    }
    std::string keys = node.args[0].text;
    std::string key;
    // Modifiers are split off from the left; the rest is the key (which may itself be "+").
    for (;;) {
        size_t plus = keys.find('+');
        if (plus == std::string::npos || plus == 0) break;
        const std::string mod = keys.substr(0, plus);
        if (mod == "Ctrl") acc.ctrl = true;
        else if (mod == "Alt") acc.alt = true;
        else if (mod == "Shift") acc.shift = true;
        else break;
        keys = keys.substr(plus + 1);
    }
    key = keys;
    if (key.size() == 1 && key[0] > 32 && key[0] < 127) {
        acc.key = static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(key[0])));
    } else if (key.size() >= 2 && key[0] == 'F' && std::isdigit(static_cast<unsigned char>(key[1])) &&
               std::atoi(key.c_str() + 1) >= 1 && std::atoi(key.c_str() + 1) <= 12 &&
               key == "F" + std::to_string(std::atoi(key.c_str() + 1))) {
        acc.key = static_cast<uint8_t>(219 + std::atoi(key.c_str() + 1));  // F1..F12 are key codes 220..231
    } else {
        m_diag.Error(node.where, "the key is one printable character or F1 to F12, not '" + key + "'");
        return true;
    }
    for (const AcceleratorDef& other : m_accelerators) {
        if (other.ctrl == acc.ctrl && other.alt == acc.alt && other.shift == acc.shift && other.key == acc.key)
            m_diag.Error(node.where, "this key is already given to command " +
                                         (other.commandName.empty() ? std::to_string(other.command) : other.commandName) +
                                         " at " + other.where.Text());
    }
    m_accelerators.push_back(acc);
    return true;
}

bool Style::ResolveColour(const std::string& name, const Where& where, int depth, Colour& out)
{
    std::string base = name;
    double alpha = -1;
    if (size_t slash = name.find('/'); slash != std::string::npos) {
        base = name.substr(0, slash);
        char* end = nullptr;
        alpha = std::strtod(name.c_str() + slash + 1, &end);
        if (!end || *end || alpha < 0 || alpha > 100) {
            m_diag.Error(where, "colour " + name + ": the part after / is an opacity in percent");
            return false;
        }
    }
    if (base == "none") {
        out = Colour{};
        return true;
    }
    auto cached = m_palette.find(base);
    if (cached == m_palette.end()) {
        auto src = m_paletteSource.find(base);
        if (src == m_paletteSource.end()) {
            m_diag.Error(where, "no colour named " + base + " in the palette");
            return false;
        }
        if (depth > 16) {
            m_diag.Error(src->second.second, "colour " + base + " refers to itself");
            return false;
        }
        Colour c;
        const Value& v = src->second.first;
        if (v.kind == Value::Colour) {
            ParseHexColour(v.text, c);
        } else if (v.kind == Value::Word) {
            if (!ResolveColour(v.text, src->second.second, depth + 1, c)) return false;
        } else {
            m_diag.Error(src->second.second, "a palette colour is #RRGGBB, #RRGGBBAA or another colour's name");
            return false;
        }
        cached = m_palette.emplace(base, c).first;
    }
    out = cached->second;
    if (alpha >= 0) out.a *= alpha / 100.0;
    return true;
}

bool Style::ColourOf(const Value& v, const Where& where, Colour& out)
{
    if (v.kind == Value::Colour) return ParseHexColour(v.text, out);
    if (v.kind == Value::Word) return ResolveColour(v.text, where, 0, out);
    m_diag.Error(where, "expected a colour, found " + v.Describe());
    return false;
}

bool Style::Metric(const std::string& name, double& out) const
{
    auto it = m_metrics.find(name);
    if (it == m_metrics.end()) return false;
    out = it->second.first;
    return true;
}

bool Style::NumberOf(const Value& v, const Where& where, double& out)
{
    if (v.kind == Value::Number) {
        out = v.number;
        return true;
    }
    if (v.kind == Value::Word && Metric(v.text, out)) return true;
    if (v.kind == Value::Word) m_diag.Error(where, "no metric named " + v.text);
    else m_diag.Error(where, "expected a number, found " + v.Describe());
    return false;
}

FontDef* Style::Font(const std::string& name, const Where& where)
{
    auto it = m_fonts.find(name);
    if (it == m_fonts.end()) {
        m_diag.Error(where, "no font named " + name);
        return nullptr;
    }
    FontDef* f = it->second.get();
    if (!f->font) {
        qwp::FontRasterRequest req;
        req.face = f->face;
        req.pixelSize = f->size;
        std::string error;
        if (!qwp::RasteriseFont(req, f->block, error)) {
            m_diag.Error(f->where, "font " + name + ": " + error);
            return nullptr;
        }
        f->font = std::make_unique<CQWF_Font>();
        if (!f->font->LoadBlock(f->block.data(), f->block.size())) {
            m_diag.Error(f->where, "font " + name + " does not load");
            f->font.reset();
            return nullptr;
        }
    }
    return f;
}

const IconDef* Style::Icon(const std::string& name, const Where& where)
{
    auto it = m_icons.find(name);
    if (it == m_icons.end()) {
        m_diag.Error(where, "no icon named " + name);
        return nullptr;
    }
    return &it->second;
}

const Attr* Style::LookValue(const std::string& look, const std::string& state, const std::string& prop) const
{
    std::string name = look;
    for (int depth = 0; depth < 16; ++depth) {
        auto it = m_looks.find(name);
        if (it == m_looks.end()) return nullptr;
        for (const std::string& s : {state, std::string("normal")}) {
            auto st = it->second.states.find(s);
            if (st != it->second.states.end()) {
                auto p = st->second.find(prop);
                if (p != st->second.end()) return &p->second;
            }
        }
        if (it->second.from.empty()) return nullptr;
        name = it->second.from;
    }
    return nullptr;
}

bool Style::LookColour(const std::string& look, const std::string& state, const std::string& prop,
                       const Colour& fallback, Colour& out)
{
    const Attr* a = LookValue(look, state, prop);
    if (!a) {
        out = fallback;
        return true;
    }
    return ColourOf(a->value, a->where, out);
}

bool Style::LookNumber(const std::string& look, const std::string& state, const std::string& prop,
                       double fallback, double& out)
{
    const Attr* a = LookValue(look, state, prop);
    if (!a) {
        out = fallback;
        return true;
    }
    return NumberOf(a->value, a->where, out);
}

bool Style::LookWord(const std::string& look, const std::string& state, const std::string& prop,
                     const std::string& fallback, std::string& out)
{
    const Attr* a = LookValue(look, state, prop);
    if (!a) {
        out = fallback;
        return true;
    }
    if (a->value.kind != Value::Word && a->value.kind != Value::String) {
        m_diag.Error(a->where, prop + " is a name, not " + a->value.Describe());
        return false;
    }
    out = a->value.text;
    return true;
}

void Style::ResolveAccelerators()
{
    for (AcceleratorDef& acc : m_accelerators) {
        if (acc.commandName.empty()) continue;
        const auto it = std::find_if(m_commands.begin(), m_commands.end(),
                                     [&](const CommandDef& c) { return c.name == acc.commandName; });
        if (it == m_commands.end())
            m_diag.Error(acc.where, "no command named " + acc.commandName);
        else
            acc.command = it->id;
    }
}

void Style::Finish()
{
    ResolveAccelerators();
    for (auto& [name, look] : m_looks) {
        std::string from = look.from;
        int depth = 0;
        while (!from.empty()) {
            auto it = m_looks.find(from);
            if (it == m_looks.end()) {
                m_diag.Error(look.where, "look " + name + " is made from " + from + ", which is not defined");
                break;
            }
            if (++depth > 15 || from == name) {
                m_diag.Error(look.where, "look " + name + " is made from itself");
                break;
            }
            from = it->second.from;
        }
        // Known states and properties only, and every colour a look names must exist.
        static const std::set<std::string> kStates = {"normal", "hover", "pressed", "outside",
                                                      "disabled", "focus", "inactive"};
        static const std::set<std::string> kColours = {"fill", "fill2", "border", "highlight", "text",
                                                       "mark", "edge", "veil"};
        static const std::set<std::string> kOthers = {"radius", "font", "offset", "icon", "dot", "inset"};
        for (auto& [state, props] : look.states) {
            if (!kStates.count(state)) {
                const Where& w = props.empty() ? look.where : props.begin()->second.where;
                m_diag.Error(w, "look " + name + ": unknown state " + state +
                                    " (normal, hover, pressed, outside, disabled, focus, inactive)");
            }
            for (auto& [prop, attr] : props) {
                if (kColours.count(prop)) {
                    Colour c;
                    ColourOf(attr.value, attr.where, c);
                } else if (!kOthers.count(prop)) {
                    m_diag.Error(attr.where, "look " + name + ": unknown property " + prop);
                }
            }
        }
    }
    for (auto& [name, src] : m_paletteSource) {
        Colour c;
        ResolveColour(name, src.second, 0, c);
    }
}

}  // namespace skinc
