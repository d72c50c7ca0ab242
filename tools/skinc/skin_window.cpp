#include "tools/skinc/skin_window.h"

#include <algorithm>
#include <cmath>

namespace skinc {

namespace {

const Colour kWhite{1, 1, 1, 1};
const Colour kNone{0, 0, 0, 0};

// The mask as the four planes of a "Data" element: every plane holds the mask.
std::vector<uint8_t> MaskPlanes(const std::vector<uint8_t>& mask)
{
    std::vector<uint8_t> out;
    out.reserve(mask.size() * 4);
    for (int k = 0; k < 4; ++k) out.insert(out.end(), mask.begin(), mask.end());
    return out;
}

std::vector<uint8_t> Solid(const Rect& r, const Colour& c)
{
    Canvas canvas(r);
    canvas.RoundRect(r.left, r.top, r.Width(), r.Height(), 0, c, c);
    return canvas.Planes();
}

Rect Union(const Rect& a, const Rect& b)
{
    if (a.Empty()) return b;
    if (b.Empty()) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

Rect Inset(const Rect& r, int d) { return {r.left + d, r.top + d, r.right - d, r.bottom - d}; }

// Element states of buttons and the look state each is drawn in.
struct StateName {
    const char* element;
    const char* look;
};
constexpr StateName kButtonStates[] = {
    {"Normal", "normal"}, {"Highlighted", "hover"}, {"Pressed", "pressed"}, {"Pressed Mouse Out", "outside"},
    {"Disabled", "disabled"},
};
// Sliders and scroll bars.
constexpr StateName kBarStates[] = {
    {"Normal", "normal"}, {"Highlighted", "hover"}, {"Pressed", "pressed"}, {"Disabled", "disabled"},
};

}  // namespace

WindowBuilder::WindowBuilder(Compiler& compiler, Style& style, const Node& node)
    : m_compiler(compiler), m_style(style), m_package(*compiler.m_package), m_diag(compiler.m_diag), m_node(node)
{
}

// ---------------------------------------------------------------------------------------------
// Reading statements

int WindowBuilder::Metric(const char* name, const Where& where)
{
    double v = 0;
    if (!m_style.Metric(name, v)) {
        m_diag.Error(where, std::string("the style has no metric ") + name);
        return 0;
    }
    return static_cast<int>(std::lround(v));
}

bool WindowBuilder::Numbers(const Node& n, size_t from, size_t count, std::vector<int>& out, const char* usage)
{
    out.clear();
    for (size_t i = from; i < from + count; ++i) {
        if (i >= n.args.size()) {
            m_diag.Error(n.where, std::string("too few values; write: ") + usage);
            return false;
        }
        double v;
        if (!m_style.NumberOf(n.args[i], n.where, v)) return false;
        if (v != std::floor(v) || v < -32768 || v > 32767) {
            m_diag.Error(n.where, "positions and sizes are whole pixels, not " + n.args[i].text);
            return false;
        }
        out.push_back(static_cast<int>(v));
    }
    return true;
}

bool WindowBuilder::Geometry(const Node& n, int defaultH, Rect& out, const char* usage)
{
    const size_t have = n.args.size() > 1 ? n.args.size() - 1 : 0;
    const size_t want = defaultH > 0 && have == 3 ? 3 : 4;
    if (have != want) {
        m_diag.Error(n.where, std::string("wrong number of values; write: ") + usage);
        return false;
    }
    std::vector<int> v;
    if (!Numbers(n, 1, want, v, usage)) return false;
    if (want == 3) v.push_back(defaultH);
    if (v[2] <= 0 || v[3] <= 0) {
        m_diag.Error(n.where, "width and height must be above 0");
        return false;
    }
    out = Rect::XYWH(v[0], v[1], v[2], v[3]);
    return Inside(out, n.where, n.keyword);
}

bool WindowBuilder::Name(const Node& n, std::string& out)
{
    if (n.args.empty() || (n.args[0].kind != Value::Word && n.args[0].kind != Value::String) || n.args[0].text.empty() ||
        n.args[0].text.find('>') != std::string::npos) {
        m_diag.Error(n.where, n.keyword + " needs a skin name first (no '>' in it)");
        return false;
    }
    out = n.args[0].text;
    return true;
}

std::string WindowBuilder::ControlFolder(const std::string& kindFolder, const std::string& name, const Where& where)
{
    const std::string key = "UIResources>" + kindFolder + ">" + name;
    auto it = m_compiler.m_controlFolders.find(key);
    if (it != m_compiler.m_controlFolders.end()) {
        m_diag.Error(where, "\"" + name + "\" is already a name under " + kindFolder + " (at " + it->second.Text() + ")");
        return {};
    }
    m_compiler.m_controlFolders[key] = where;
    m_package.Folder(key, where);
    return key;
}

bool WindowBuilder::WordAttr(const Node& n, const char* attr, const std::string& fallback, std::string& out)
{
    const Attr* a = n.Find(attr);
    if (!a) {
        out = fallback;
        return true;
    }
    if (a->value.kind != Value::Word && a->value.kind != Value::String) {
        m_diag.Error(n.where, std::string(attr) + " needs a name, not " + a->value.Describe());
        return false;
    }
    out = a->value.text;
    return true;
}

bool WindowBuilder::StringAttr(const Node& n, const char* attr, std::string& out)
{
    const Attr* a = n.Find(attr);
    if (!a) return true;
    if (a->value.kind != Value::String) {
        m_diag.Error(n.where, std::string(attr) + " needs a quoted text, not " + a->value.Describe());
        return false;
    }
    out = a->value.text;
    return true;
}

bool WindowBuilder::Inside(const Rect& r, const Where& where, const std::string& what)
{
    if (r.left < 0 || r.top < 0 || r.right > m_width || r.bottom > m_height) {
        m_diag.Error(where, what + " (" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " +
                                std::to_string(r.Width()) + " x " + std::to_string(r.Height()) +
                                ") does not lie inside the window's " + std::to_string(m_width) + " x " +
                                std::to_string(m_height));
        return false;
    }
    return true;
}

void WindowBuilder::ReportUnused(const Node& n)
{
    for (const Attr& a : n.attrs) {
        if (!a.used) m_diag.Error(n.where, n.keyword + " has no attribute " + a.name);
    }
}

// ---------------------------------------------------------------------------------------------
// Looks

Colour WindowBuilder::LookColour(const std::string& look, const std::string& state, const char* prop,
                                 const Colour& fallback)
{
    Colour c;
    if (!m_style.LookColour(look, state, prop, fallback, c)) return fallback;
    return c;
}

double WindowBuilder::LookNumber(const std::string& look, const std::string& state, const char* prop, double fallback)
{
    double v;
    if (!m_style.LookNumber(look, state, prop, fallback, v)) return fallback;
    return v;
}

BoxPaint WindowBuilder::LookBox(const std::string& look, const std::string& state)
{
    BoxPaint p;
    p.radius = LookNumber(look, state, "radius", 0);
    p.fill = LookColour(look, state, "fill", kNone);
    p.hasGradient = m_style.LookIsSet(look, state, "fill2");
    p.fill2 = LookColour(look, state, "fill2", p.fill);
    p.border = LookColour(look, state, "border", kNone);
    p.highlight = LookColour(look, state, "highlight", kNone);
    return p;
}

FontDef* WindowBuilder::LookFont(const std::string& look, const std::string& state, const Where& where)
{
    std::string name;
    if (!m_style.LookWord(look, state, "font", "", name)) return nullptr;
    if (name.empty()) {
        m_diag.Error(where, "look " + look + " names no font (font=NAME in its normal state)");
        return nullptr;
    }
    return m_style.Font(name, where);
}

// ---------------------------------------------------------------------------------------------
// Drawing

void WindowBuilder::Label(Canvas& canvas, const Rect& box, const std::string& text, FontDef* font,
                          const Colour& colour, const std::string& align, const Where& where)
{
    if (!font) return;
    const int w = TextWidth(*font, text);
    if (w > box.Width()) {
        m_diag.Error(where, "the text \"" + text + "\" is " + std::to_string(w) + " px wide and does not fit in " +
                                std::to_string(box.Width()) + " px");
        return;
    }
    int x = box.left;
    if (align == "center") x = box.left + (box.Width() - w) / 2;
    else if (align == "right") x = box.right - w;
    const int baseline = box.top + (box.Height() + CapHeight(*font)) / 2;
    canvas.Text(*font, x, baseline, text, colour);
}

void WindowBuilder::Primitive(const Node& n, Canvas& canvas, int dx, int dy)
{
    const std::string& k = n.keyword;
    std::vector<int> v;
    if (k == "panel" || k == "field" || k == "box") {
        const char* usage = "panel|field|box X Y W H [look=NAME] [fill= fill2= border= highlight= radius=]";
        if (n.args.size() != 4 || !Numbers(n, 0, 4, v, usage)) {
            if (n.args.size() != 4) m_diag.Error(n.where, std::string("write: ") + usage);
            return;
        }
        std::string look;
        if (!WordAttr(n, "look", k == "box" ? "panel" : k, look)) return;
        if (!m_style.HasLook(look)) {
            m_diag.Error(n.where, "no look named " + look);
            return;
        }
        BoxPaint p = LookBox(look, "normal");
        auto colour = [&](const char* attr, Colour& out) {
            if (const Attr* a = n.Find(attr)) m_style.ColourOf(a->value, n.where, out);
        };
        colour("fill", p.fill);
        if (const Attr* a = n.Find("fill2")) {
            p.hasGradient = true;
            m_style.ColourOf(a->value, n.where, p.fill2);
        } else if (!p.hasGradient) {
            p.fill2 = p.fill;
        }
        colour("border", p.border);
        colour("highlight", p.highlight);
        if (const Attr* a = n.Find("radius")) m_style.NumberOf(a->value, n.where, p.radius);
        canvas.Box(v[0] + dx, v[1] + dy, v[2], v[3], p);
    } else if (k == "label") {
        // label X Y [W [H]] "TEXT"
        const char* usage = "label X Y [W [H]] \"TEXT\" [font=NAME] [color=COLOUR] [align=left|center|right]";
        if (n.args.size() < 3 || n.args.size() > 5 || n.args.back().kind != Value::String) {
            m_diag.Error(n.where, std::string("write: ") + usage);
            return;
        }
        const size_t count = n.args.size() - 1;
        if (!Numbers(n, 0, count, v, usage)) return;
        std::string fontName, align;
        if (!WordAttr(n, "font", "", fontName) || !WordAttr(n, "align", "left", align)) return;
        if (align != "left" && align != "center" && align != "right") {
            m_diag.Error(n.where, "align is left, center or right");
            return;
        }
        FontDef* font = fontName.empty() ? LookFont("label", "normal", n.where) : m_style.Font(fontName, n.where);
        if (!font) return;
        Colour colour = LookColour("label", "normal", "text", kWhite);
        if (const Attr* a = n.Find("color")) m_style.ColourOf(a->value, n.where, colour);
        const std::string& text = n.args.back().text;
        const int w = count >= 3 ? v[2] : TextWidth(*font, text);
        const int h = count >= 4 ? v[3] : Metric("label.height", n.where);
        Label(canvas, Rect::XYWH(v[0] + dx, v[1] + dy, w, h), text, font, colour, align, n.where);
    } else if (k == "separator" || k == "vseparator") {
        const char* usage = "separator X Y W | vseparator X Y H [color=COLOUR]";
        if (n.args.size() != 3 || !Numbers(n, 0, 3, v, usage)) {
            if (n.args.size() != 3) m_diag.Error(n.where, std::string("write: ") + usage);
            return;
        }
        Colour c = LookColour("separator", "normal", "border", kWhite);
        if (const Attr* a = n.Find("color")) m_style.ColourOf(a->value, n.where, c);
        const Colour hl = LookColour("separator", "normal", "highlight", kNone);
        if (k == "separator") {
            canvas.RoundRect(v[0] + dx, v[1] + dy, v[2], 1, 0, c, c);
            canvas.RoundRect(v[0] + dx, v[1] + dy + 1, v[2], 1, 0, hl, hl);
        } else {
            canvas.RoundRect(v[0] + dx, v[1] + dy, 1, v[2], 0, c, c);
            canvas.RoundRect(v[0] + dx + 1, v[1] + dy, 1, v[2], 0, hl, hl);
        }
    } else if (k == "icon") {
        const char* usage = "icon NAME X Y [size=PIXELS] [color=COLOUR]";
        if (n.args.size() != 3 || n.args[0].kind != Value::Word || !Numbers(n, 1, 2, v, usage)) {
            if (n.args.size() != 3) m_diag.Error(n.where, std::string("write: ") + usage);
            return;
        }
        const IconDef* icon = m_style.Icon(n.args[0].text, n.where);
        double size = Metric("icon.size", n.where);
        if (const Attr* a = n.Find("size")) m_style.NumberOf(a->value, n.where, size);
        Colour c = LookColour("label", "normal", "text", kWhite);
        if (const Attr* a = n.Find("color")) m_style.ColourOf(a->value, n.where, c);
        if (icon) canvas.Icon(*icon, v[0] + dx, v[1] + dy, size, c);
    } else {
        m_diag.Error(n.where, "unknown drawing '" + k + "' (panel, field, box, label, separator, vseparator, icon)");
        return;
    }
    ReportUnused(n);
}

void WindowBuilder::ButtonFace(Canvas& c, const Rect& r, const std::string& look, const std::string& state,
                               const std::string& label, const IconDef* icon, const Where& where)
{
    c.Box(r.left, r.top, r.Width(), r.Height(), LookBox(look, state));
    const int offset = static_cast<int>(std::lround(LookNumber(look, state, "offset", 0)));
    const Colour ink = LookColour(look, state, "text", kWhite);
    FontDef* font = label.empty() ? nullptr : LookFont(look, state, where);
    const int iconSize = icon ? std::min(Metric("icon.size", where), std::min(r.Width(), r.Height())) : 0;
    const int textW = font ? TextWidth(*font, label) : 0;
    const int gap = icon && font ? 6 : 0;
    const int total = iconSize + gap + textW;
    if (total > r.Width() - (font ? 4 : 0)) {
        m_diag.Error(where, "the button's content is " + std::to_string(total) + " px wide and does not fit in " +
                                std::to_string(r.Width()) + " px");
        return;
    }
    int x = r.left + (r.Width() - total) / 2;
    if (icon) {
        c.Icon(*icon, x, r.top + (r.Height() - iconSize) / 2 + offset, iconSize, ink);
        x += iconSize + gap;
    }
    if (font) c.Text(*font, x, r.top + (r.Height() + CapHeight(*font)) / 2 + offset, label, ink);
}

void WindowBuilder::Track(Canvas& c, const Rect& r, const std::string& look, const std::string& state)
{
    BoxPaint p = LookBox(look, state);
    p.radius = std::min<double>(p.radius, std::min(r.Width(), r.Height()) / 2.0);
    c.Box(r.left, r.top, r.Width(), r.Height(), p);
}

// ---------------------------------------------------------------------------------------------
// Controls

void WindowBuilder::Control(const Node& n)
{
    const std::string& k = n.keyword;
    if (k == "button") Button(n);
    else if (k == "check") CheckBox(n, false);
    else if (k == "radio") CheckBox(n, true);
    else if (k == "edit") Edit(n);
    else if (k == "list") List(n);
    else if (k == "slider") Slider(n);
    else if (k == "scrollbar") ScrollBarStatement(n);
    else if (k == "progress") Progress(n);
    else if (k == "text") StaticText(n);
    else if (k == "image") StaticImage(n);
    else if (k == "navigator") Navigator(n);
    else if (k == "preview") Preview(n);
    else if (k == "ruler" || k == "rect") {
        std::string name, look;
        Rect r;
        const char* usage = k == "ruler" ? "ruler NAME X Y W H [look=NAME]" : "rect NAME X Y W H";
        if (!Name(n, name) || !Geometry(n, 0, r, usage)) return;
        if (k == "ruler") {
            if (!WordAttr(n, "look", "ruler", look)) return;
            Ruler(name, r, look, n.where);
        } else {
            RectEntry(name, r, n.where);
        }
        ReportUnused(n);
    } else {
        m_diag.Error(n.where, "unknown window item '" + k +
                                  "' (drawings: panel field box label separator vseparator icon drag; controls: button "
                                  "check radio edit list slider scrollbar progress text image ruler navigator rect preview)");
    }
}

void WindowBuilder::ButtonElements(const std::string& folder, const Rect& r, const std::string& look,
                                   const std::string& label, const IconDef* icon, const Where& where,
                                   bool withDisabled)
{
    for (const StateName& s : kButtonStates) {
        if (!withDisabled && std::string(s.element) == "Disabled") continue;
        Canvas c(r);
        ButtonFace(c, r, look, s.look, label, icon, where);
        m_package.Element(folder + ">" + s.element, c, where);
    }
    Canvas shape(r);
    BoxPaint solid;
    solid.radius = LookNumber(look, "normal", "radius", 0);
    solid.fill = kWhite;
    shape.Box(r.left, r.top, r.Width(), r.Height(), solid);
    m_package.Element(folder + ">Data", r, MaskPlanes(shape.Mask()), where);
    AddHit(r);
    Rest(folder + ">Normal");
}

void WindowBuilder::Button(const Node& n)
{
    const char* usage = "button NAME X Y W [H] [label=\"TEXT\"] [icon=NAME] [look=NAME] [disabled=no]";
    std::string name, look, label, iconName, disabled;
    Rect r;
    if (!Name(n, name) || !Geometry(n, Metric("button.height", n.where), r, usage)) return;
    if (!WordAttr(n, "look", "button", look) || !StringAttr(n, "label", label) || !WordAttr(n, "icon", "", iconName) ||
        !WordAttr(n, "disabled", "yes", disabled))
        return;
    if (disabled != "yes" && disabled != "no") {
        m_diag.Error(n.where, "disabled is yes or no");
        return;
    }
    ReportUnused(n);
    if (!m_style.HasLook(look)) {
        m_diag.Error(n.where, "no look named " + look);
        return;
    }
    const IconDef* icon = iconName.empty() ? nullptr : m_style.Icon(iconName, n.where);
    if (!iconName.empty() && !icon) return;
    if (label.empty() && !icon) {
        m_diag.Error(n.where, "a button shows a label=\"...\", an icon=NAME or both");
        return;
    }
    const std::string folder = ControlFolder("Buttons", name, n.where);
    if (!folder.empty()) ButtonElements(folder, r, look, label, icon, n.where, disabled == "yes");
}

void WindowBuilder::CheckBox(const Node& n, bool radio)
{
    const char* usage = radio ? "radio NAME X Y [W] label=\"TEXT\" [group=N] [look=NAME]"
                              : "check NAME X Y [W] label=\"TEXT\" [look=NAME]";
    std::string name, look, label;
    if (!Name(n, name)) return;
    if (!WordAttr(n, "look", radio ? "radio" : "check", look) || !StringAttr(n, "label", label)) return;
    const std::string onLook = look + ".on";
    if (!m_style.HasLook(look) || !m_style.HasLook(onLook)) {
        m_diag.Error(n.where, "looks " + look + " and " + onLook + " are needed");
        return;
    }
    int group = 0;
    if (radio) {
        if (const Attr* a = n.Find("group")) {
            if (a->value.kind != Value::Number || a->value.number != std::floor(a->value.number) || a->value.number < 0 ||
                a->value.number > 254) {
                m_diag.Error(n.where, "group is a whole number from 0 to 254");
                return;
            }
            group = static_cast<int>(a->value.number);
        }
    }
    ReportUnused(n);
    const int row = Metric("row.height", n.where);
    const int box = Metric(radio ? "radio.size" : "check.size", n.where);
    const int gap = Metric("check.gap", n.where);
    FontDef* font = label.empty() ? nullptr : LookFont(look, "normal", n.where);
    std::vector<int> v;
    const size_t have = n.args.size() - 1;
    if ((have != 2 && have != 3) || !Numbers(n, 1, have, v, usage)) {
        if (have != 2 && have != 3) m_diag.Error(n.where, std::string("write: ") + usage);
        return;
    }
    const int width = have == 3 ? v[2] : box + (font ? gap + TextWidth(*font, label) + 2 : 0);
    const Rect r = Rect::XYWH(v[0], v[1], width, row);
    if (!Inside(r, n.where, n.keyword)) return;
    const std::string folder = ControlFolder(radio ? "Radio Buttons" : "Check Boxes", name, n.where);
    if (folder.empty()) return;
    const Rect boxRect = Rect::XYWH(r.left, r.top + (row - box) / 2, box, box);
    const Rect labelRect{boxRect.right + gap, r.top, r.right, r.bottom};

    auto draw = [&](bool on, const char* state) {
        const std::string& lk = on ? onLook : look;
        Canvas c(r);
        BoxPaint p = LookBox(lk, state);
        if (radio) p.radius = box / 2.0;
        c.Box(boxRect.left, boxRect.top, box, box, p);
        if (on) {
            const Colour mark = LookColour(lk, state, "mark", kWhite);
            if (radio) {
                c.Circle(boxRect.left + box / 2.0, boxRect.top + box / 2.0, LookNumber(lk, state, "dot", 3), mark);
            } else {
                std::string iconName;
                m_style.LookWord(lk, state, "icon", "check", iconName);
                if (const IconDef* icon = m_style.Icon(iconName, n.where)) c.Icon(*icon, boxRect.left, boxRect.top, box, mark);
            }
        }
        if (font) Label(c, labelRect, label, font, LookColour(lk, state, "text", kWhite), "left", n.where);
        return c;
    };
    if (radio) {
        m_package.Element(folder + ">Normal On", draw(true, "normal"), n.where);
        m_package.Element(folder + ">Normal Off", draw(false, "normal"), n.where);
        m_package.Element(folder + ">Disabled On", draw(true, "disabled"), n.where);
        m_package.Element(folder + ">Disabled Off", draw(false, "disabled"), n.where);
        m_package.Element(folder + ">Highlighted", draw(false, "hover"), n.where);
        m_package.Element(folder + ">Pressed", draw(false, "pressed"), n.where);
        m_package.Element(folder + ">Pressed Mouse Out", draw(false, "outside"), n.where);
    } else {
        for (const StateName& s : kButtonStates) {
            m_package.Element(folder + ">" + s.element + " On", draw(true, s.look), n.where);
            m_package.Element(folder + ">" + s.element + " Off", draw(false, s.look), n.where);
        }
    }
    // The whole row takes the click, label included.
    m_package.Element(folder + ">Data", r, MaskPlanes(std::vector<uint8_t>(r.Width() * r.Height(), 255)), n.where);
    if (radio) m_package.Byte(folder + ">Group ID", static_cast<uint8_t>(group), n.where);
    AddHit(r);
    Rest(folder + ">Normal Off");
}

void WindowBuilder::Edit(const Node& n)
{
    std::string name, look, fontName;
    Rect r;
    if (!Name(n, name) || !Geometry(n, Metric("row.height", n.where), r, "edit NAME X Y W [H] [font=NAME] [look=NAME]"))
        return;
    if (!WordAttr(n, "look", "field", look) || !WordAttr(n, "font", "Edit Font", fontName)) return;
    ReportUnused(n);
    const std::string folder = ControlFolder("Edits", name, n.where);
    if (folder.empty()) return;
    FontDef* font = m_style.Font(fontName, n.where);
    if (!font || !font->font) return;
    // The frame is drawn on the window; the line itself fills a band of the inside with its own
    // colours. It draws its text from the top of that band, one pixel in, so the band is as high
    // as a line of its font and a pixel above and below, centred in the frame, and keeps off the
    // frame's sides.
    m_background->Box(r.left, r.top, r.Width(), r.Height(), LookBox(look, "normal"));
    Rect inner = Inset(r, 1);
    const int band = font->font->GetLineHeight() + 2;
    if (band > inner.Height()) {
        m_diag.Error(n.where, "the edit line is " + std::to_string(r.Height()) + " px high; a line of " + fontName +
                                  " needs " + std::to_string(band + 2));
        return;
    }
    inner.top += (inner.Height() - band + 1) / 2;
    inner.bottom = inner.top + band;
    inner.left += 3;
    inner.right -= 3;
    RectWords(folder, inner, n.where);
    AddHit(r);
}

void WindowBuilder::List(const Node& n)
{
    std::string name, look, scroll;
    Rect r;
    if (!Name(n, name) || !Geometry(n, 0, r, "list NAME X Y W H [scroll=NAME] [look=NAME]")) return;
    if (!WordAttr(n, "look", "list", look) || !WordAttr(n, "scroll", "", scroll)) return;
    ReportUnused(n);
    const std::string selection = look + ".selection";
    if (!m_style.HasLook(look) || !m_style.HasLook(selection)) {
        m_diag.Error(n.where, "looks " + look + " and " + selection + " are needed");
        return;
    }
    const std::string folder = ControlFolder("Lists", name, n.where);
    if (folder.empty()) return;
    const int s = scroll.empty() ? 0 : Metric("scroll.size", n.where);
    const Rect bar{r.right - 1 - s, r.top + 1, r.right - 1, r.bottom - 1};
    const Rect text{r.left + 1, r.top + 1, r.right - 1 - s, r.bottom - 1};
    if (text.Width() < 8 || text.Height() < 8) {
        m_diag.Error(n.where, "the list is too small for its text");
        return;
    }
    // Background states: the frame, clear where the scroll bar stands (whatever lies on top).
    const StateName states[] = {{"Normal", "normal"}, {"Highlighted", "hover"}, {"Working", "focus"}, {"Disabled", "disabled"}};
    for (const StateName& st : states) {
        Canvas c(r);
        c.Box(r.left, r.top, r.Width(), r.Height(), LookBox(look, st.look));
        if (s) c.Clear(bar);
        m_package.Element(folder + ">Background_" + st.element, c, n.where);
        m_package.Element(folder + ">Foreground_" + st.element, text, Solid(text, LookColour(look, st.look, "text", kWhite)),
                          n.where);
    }
    {
        Canvas c(text);
        c.RoundRect(text.left, text.top, text.Width(), text.Height(), 0, LookColour(selection, "normal", "fill", kWhite),
                    LookColour(selection, "normal", "fill", kWhite));
        m_package.Element(folder + ">Background_Selected", c, n.where);
        m_package.Element(folder + ">Foreground_Selected", text,
                          Solid(text, LookColour(selection, "normal", "text", kWhite)), n.where);
    }
    RectWords(folder, text, n.where);
    AddHit(r);
    Rest(folder + ">Background_Normal");
    if (s) ScrollBar(scroll, bar, true, "scroll", "", "", n.where);
}

void WindowBuilder::Slider(const Node& n)
{
    const char* usage = "slider NAME X Y W [H] values=START,END [points=N] [anchors=I:VALUE,...] [path=X,Y,X,Y...] [look=NAME]";
    std::string name, look;
    Rect r;
    if (!Name(n, name) || !Geometry(n, Metric("slider.height", n.where), r, usage)) return;
    if (!WordAttr(n, "look", "slider", look)) return;
    const std::string trackLook = look + ".track", thumbLook = look + ".thumb";
    if (!m_style.HasLook(trackLook) || !m_style.HasLook(thumbLook)) {
        m_diag.Error(n.where, "looks " + trackLook + " and " + thumbLook + " are needed");
        return;
    }
    // Values.
    const Attr* values = n.Find("values");
    double start = 0, end = 0;
    if (!values || values->value.kind != Value::List || values->value.items.size() != 2 ||
        !m_style.NumberOf(values->value.items[0], n.where, start) || !m_style.NumberOf(values->value.items[1], n.where, end) ||
        start != std::floor(start) || end != std::floor(end)) {
        m_diag.Error(n.where, "a slider needs values=START,END (whole numbers)");
        return;
    }
    const int thumb = Metric("slider.thumb", n.where);
    // Path: given, or along the middle of the box with room for the thumb at both ends.
    std::vector<double> path;
    if (const Attr* p = n.Find("path")) {
        if (p->value.kind != Value::List || p->value.items.size() < 4 || p->value.items.size() % 2) {
            m_diag.Error(n.where, "path=X,Y,X,Y... needs two points or more");
            return;
        }
        for (const Value& item : p->value.items) {
            double d;
            if (!m_style.NumberOf(item, n.where, d)) return;
            path.push_back(d);
        }
    } else if (r.Height() > r.Width()) {
        const double x = r.left + r.Width() / 2;
        path = {x, double(r.bottom - thumb / 2 - 1), x, double(r.top + thumb / 2 + 1)};
    } else {
        const double y = r.top + r.Height() / 2;
        path = {double(r.left + thumb / 2 + 1), y, double(r.right - thumb / 2 - 1), y};
    }
    std::vector<double> lengths{0};
    for (size_t i = 2; i + 1 < path.size(); i += 2)
        lengths.push_back(lengths.back() + std::hypot(path[i] - path[i - 2], path[i + 1] - path[i - 1]));
    const double total = lengths.back();
    if (total < 2) {
        m_diag.Error(n.where, "the slider's path is too short");
        return;
    }
    int count = static_cast<int>(std::min(std::floor(total) + 1, std::fabs(end - start) + 1));
    if (const Attr* p = n.Find("points")) {
        double d;
        if (!m_style.NumberOf(p->value, n.where, d)) return;
        count = static_cast<int>(d);
    }
    if (count < 2 || count > 4000) {
        m_diag.Error(n.where, "a slider has 2 to 4000 points");
        return;
    }
    // Anchors: point index -> value.
    std::vector<std::pair<int, int64_t>> anchors;
    if (const Attr* a = n.Find("anchors")) {
        std::vector<Value> items = a->value.kind == Value::List ? a->value.items : std::vector<Value>{a->value};
        for (const Value& item : items) {
            const size_t colon = item.text.find(':');
            char* e1 = nullptr;
            char* e2 = nullptr;
            const long index = colon == std::string::npos ? -1 : std::strtol(item.text.c_str(), &e1, 10);
            const long long value = colon == std::string::npos ? 0 : std::strtoll(item.text.c_str() + colon + 1, &e2, 10);
            if (colon == std::string::npos || *e1 != ':' || *e2 || index < 0 || index >= count ||
                (!anchors.empty() && index <= anchors.back().first)) {
                m_diag.Error(n.where, "anchors=INDEX:VALUE,... with point indices rising from 0 to " + std::to_string(count - 1));
                return;
            }
            anchors.emplace_back(static_cast<int>(index), value);
        }
    }
    ReportUnused(n);
    // Points spread evenly along the path, on whole pixels.
    std::vector<std::pair<int, int>> points;
    for (int i = 0; i < count; ++i) {
        const double at = total * i / (count - 1);
        size_t seg = 1;
        while (seg + 1 < lengths.size() && lengths[seg] < at) ++seg;
        const double segLen = lengths[seg] - lengths[seg - 1];
        const double t = segLen > 0 ? (at - lengths[seg - 1]) / segLen : 0;
        const double x = path[2 * seg - 2] + (path[2 * seg] - path[2 * seg - 2]) * t;
        const double y = path[2 * seg - 1] + (path[2 * seg + 1] - path[2 * seg - 1]) * t;
        points.emplace_back(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
        if (!Inside(Rect::XYWH(points.back().first, points.back().second, 1, 1), n.where, "a slider point")) return;
    }
    const std::string folder = ControlFolder("Sliders", name, n.where);
    if (folder.empty()) return;

    m_package.Word(folder + ">Data_NumPoints", static_cast<uint16_t>(count), n.where);
    std::vector<uint8_t> coords;
    size_t anchorAt = 0;
    for (int i = 0; i < count; ++i) {
        coords.push_back(static_cast<uint8_t>(points[i].first >> 8));
        coords.push_back(static_cast<uint8_t>(points[i].first));
        coords.push_back(static_cast<uint8_t>(points[i].second >> 8));
        coords.push_back(static_cast<uint8_t>(points[i].second));
        const bool anchor = anchorAt < anchors.size() && anchors[anchorAt].first == i;
        coords.push_back(anchor ? 1 : 0);
        if (anchor) ++anchorAt;
    }
    m_package.Blob(folder + ">Data_Coors", coords, false, n.where);
    m_package.DWord(folder + ">Data_ValueStart", static_cast<uint32_t>(static_cast<int64_t>(start)), n.where);
    m_package.DWord(folder + ">Data_ValueEnd", static_cast<uint32_t>(static_cast<int64_t>(end)), n.where);
    for (size_t k = 0; k < anchors.size(); ++k)
        m_package.DWord(folder + ">Data_Value_" + std::to_string(k), static_cast<uint32_t>(anchors[k].second), n.where);

    // Background: the track along the path.
    const double trackWidth = Metric("slider.track", n.where);
    for (const StateName& s : kBarStates) {
        Canvas c(r);
        c.Polyline(path, false, trackWidth, LookColour(trackLook, s.look, "fill", kWhite));
        m_package.Element(folder + ">Background_" + s.element, c, n.where);
    }
    // Thumb: a disc centred on the first point; the hot spot is that point.
    const Rect thumbRect = Rect::XYWH(points[0].first - thumb / 2 - 1, points[0].second - thumb / 2 - 1, thumb + 2, thumb + 2);
    for (const StateName& s : kBarStates) {
        Canvas c(thumbRect);
        BoxPaint p = LookBox(thumbLook, s.look);
        p.radius = thumb / 2.0;
        c.Box(points[0].first - thumb / 2.0, points[0].second - thumb / 2.0, thumb, thumb, p);
        m_package.Element(folder + ">Thumb_" + s.element, c, n.where);
    }
    m_package.Word(folder + ">HotSpot_X", static_cast<uint16_t>(points[0].first), n.where);
    m_package.Word(folder + ">HotSpot_Y", static_cast<uint16_t>(points[0].second), n.where);
    // Hot zone: everything within reach of the path (half the box's thickness or the thumb).
    Canvas zone(r);
    zone.Polyline(path, false, std::max<double>(thumb, std::min(r.Width(), r.Height())), kWhite);
    m_package.Element(folder + ">Data_HotZone", r, MaskPlanes(zone.Mask()), n.where);
    AddHit(r);
    Rest(folder + ">Background_Normal");
    Rest(folder + ">Thumb_Normal");
}

void WindowBuilder::ScrollBarStatement(const Node& n)
{
    std::string name, look, buttons[2];
    Rect r;
    if (!Name(n, name) || !Geometry(n, 0, r, "scrollbar NAME X Y W H [buttons=FIRST,SECOND] [look=NAME]")) return;
    if (!WordAttr(n, "look", "scroll", look)) return;
    if (const Attr* b = n.Find("buttons")) {
        if (b->value.kind != Value::List || b->value.items.size() != 2) {
            m_diag.Error(n.where, "buttons=FIRST,SECOND names the two step buttons");
            return;
        }
        buttons[0] = b->value.items[0].text;
        buttons[1] = b->value.items[1].text;
    }
    ReportUnused(n);
    ScrollBar(name, r, r.Height() > r.Width(), look, buttons[0], buttons[1], n.where);
}

void WindowBuilder::ScrollBar(const std::string& name, const Rect& r, bool vertical, const std::string& look,
                              const std::string& firstButton, const std::string& secondButton, const Where& where)
{
    const std::string trackLook = look + ".track", thumbLook = look + ".thumb", buttonLook = look + ".button";
    for (const std::string& l : {trackLook, thumbLook}) {
        if (!m_style.HasLook(l)) {
            m_diag.Error(where, "look " + l + " is needed");
            return;
        }
    }
    const int s = vertical ? r.Width() : r.Height();
    const bool withButtons = !firstButton.empty();
    Rect track = r;
    if (withButtons) {
        if (!m_style.HasLook(buttonLook)) {
            m_diag.Error(where, "look " + buttonLook + " is needed");
            return;
        }
        const Rect b1 = vertical ? Rect::XYWH(r.left, r.top, s, s) : Rect::XYWH(r.left, r.top, s, s);
        const Rect b2 = vertical ? Rect::XYWH(r.left, r.bottom - s, s, s) : Rect::XYWH(r.right - s, r.top, s, s);
        const IconDef* i1 = m_style.Icon(vertical ? "arrow_up" : "arrow_left", where);
        const IconDef* i2 = m_style.Icon(vertical ? "arrow_down" : "arrow_right", where);
        if (!i1 || !i2) return;
        const std::string f1 = ControlFolder("Buttons", firstButton, where);
        const std::string f2 = ControlFolder("Buttons", secondButton, where);
        if (f1.empty() || f2.empty()) return;
        ButtonElements(f1, b1, buttonLook, "", i1, where);
        ButtonElements(f2, b2, buttonLook, "", i2, where);
        if (vertical) track.top += s, track.bottom -= s;
        else track.left += s, track.right -= s;
    }
    const int inset = static_cast<int>(LookNumber(thumbLook, "normal", "inset", 2));
    const int thick = s - 2 * inset;
    const int head = (thick + 1) / 2, middle = 1, tail = head;
    const int length = head + middle + tail;
    const int trackLength = vertical ? track.Height() : track.Width();
    if (thick < 2 || trackLength < length) {
        m_diag.Error(where, "the scroll bar " + name + " is too small for its thumb");
        return;
    }
    const std::string folder = ControlFolder("Scroll Bars", name, where);
    if (folder.empty()) return;
    m_package.Byte(folder + ">Is Vertical", vertical ? 1 : 0, where);
    for (const StateName& st : kBarStates) {
        Canvas c(track);
        Track(c, track, trackLook, st.look);
        m_package.Element(folder + ">Background_" + st.element, c, where);
    }
    // The thumb art: a capsule whose head and tail are its round ends and whose middle is one
    // straight line across; the toolkit repeats the middle to the length it needs.
    const Rect thumb = vertical ? Rect::XYWH(r.left + inset, track.top, thick, length)
                                : Rect::XYWH(track.left, r.top + inset, length, thick);
    for (const StateName& st : kBarStates) {
        Canvas c(thumb);
        BoxPaint p = LookBox(thumbLook, st.look);
        p.radius = thick / 2.0;
        c.Box(thumb.left, thumb.top, thumb.Width(), thumb.Height(), p);
        m_package.Element(folder + ">Thumb_" + st.element, c, where);
    }
    // Thumb_Data: along the axis, pure red marks the head, pure blue the middle, pure green the tail.
    {
        const size_t w = thumb.Width(), h = thumb.Height(), plane = w * h;
        std::vector<uint8_t> planes(plane * 4, 0);
        for (size_t y = 0; y < h; ++y) {
            for (size_t x = 0; x < w; ++x) {
                const int along = static_cast<int>(vertical ? y : x);
                const int channel = along < head ? 0 : along < head + middle ? 2 : 1;
                planes[channel * plane + y * w + x] = 255;
                planes[3 * plane + y * w + x] = 255;
            }
        }
        m_package.Element(folder + ">Thumb_Data", thumb, planes, where);
    }
    RectWords(folder, track, where);
    AddHit(r);
    Rest(folder + ">Background_Normal");
    Rest(folder + ">Thumb_Normal");
}

void WindowBuilder::Progress(const Node& n)
{
    std::string name, look;
    Rect r;
    if (!Name(n, name) || !Geometry(n, Metric("progress.height", n.where), r, "progress NAME X Y W [H] [look=NAME]")) return;
    if (!WordAttr(n, "look", "progress", look)) return;
    ReportUnused(n);
    const std::string trackLook = look + ".track", barLook = look + ".bar";
    if (!m_style.HasLook(trackLook) || !m_style.HasLook(barLook)) {
        m_diag.Error(n.where, "looks " + trackLook + " and " + barLook + " are needed");
        return;
    }
    const std::string folder = ControlFolder("Progresses", name, n.where);
    if (folder.empty()) return;
    Track(*m_background, r, trackLook, "normal");
    Canvas bar(r);
    Track(bar, r, barLook, "normal");
    m_package.Element(folder + ">Normal", bar, n.where);
    // Data: thresholds rising along the bar from 1 to 255; column x shows once the progress
    // reaches (x + 1) / width, so 0 % shows nothing and 100 % everything.
    const bool vertical = r.Height() > r.Width();
    const int length = vertical ? r.Height() : r.Width();
    std::vector<uint8_t> ramp(static_cast<size_t>(r.Width()) * r.Height());
    for (int y = 0; y < r.Height(); ++y) {
        for (int x = 0; x < r.Width(); ++x) {
            const int along = vertical ? r.Height() - 1 - y : x;
            ramp[static_cast<size_t>(y) * r.Width() + x] = static_cast<uint8_t>(((along + 1) * 255 + length - 1) / length);
        }
    }
    m_package.Element(folder + ">Data", r, MaskPlanes(ramp), n.where);
    Rest(folder + ">Normal");
}

void WindowBuilder::StaticText(const Node& n)
{
    std::string name, look;
    Rect r;
    if (!Name(n, name) || !Geometry(n, Metric("label.height", n.where), r, "text NAME X Y W [H] [color=COLOUR] [look=NAME]"))
        return;
    if (!WordAttr(n, "look", "label", look)) return;
    Colour normal = LookColour(look, "normal", "text", kWhite);
    if (const Attr* a = n.Find("color")) m_style.ColourOf(a->value, n.where, normal);
    ReportUnused(n);
    const std::string folder = ControlFolder("Static Texts", name, n.where);
    if (folder.empty()) return;
    // The element is the colour of the letters; the text layer takes their shape from the font.
    m_package.Element(folder + ">Normal", r, Solid(r, normal), n.where);
    m_package.Element(folder + ">Disabled", r, Solid(r, LookColour(look, "disabled", "text", normal)), n.where);
}

void WindowBuilder::StaticImage(const Node& n)
{
    std::string name;
    Rect r;
    if (!Name(n, name) || !Geometry(n, 0, r, "image NAME X Y W H, its drawing below it")) return;
    ReportUnused(n);
    if (n.children.empty()) {
        m_diag.Error(n.where, "an image is drawn by the lines below it (panel, label, icon, ...)");
        return;
    }
    const std::string folder = ControlFolder("Static Images", name, n.where);
    if (folder.empty()) return;
    Canvas c(r);
    for (const Node& child : n.children) Primitive(child, c, r.left, r.top);
    m_package.Element(folder + ">Normal", c, n.where);
    AddHit(r);
    Rest(folder + ">Normal");
}

void WindowBuilder::Ruler(const std::string& name, const Rect& r, const std::string& look, const Where& where)
{
    if (!m_style.HasLook(look)) {
        m_diag.Error(where, "no look named " + look);
        return;
    }
    const std::string folder = ControlFolder("Static Images", name, where);
    if (folder.empty()) return;
    // The strip and its edge towards the picture are the window's; the ruler draws its marks
    // into the element's alpha, whose colour is the ink.
    m_background->Box(r.left, r.top, r.Width(), r.Height(), LookBox(look, "normal"));
    const Colour edge = LookColour(look, "normal", "edge", kNone);
    if (r.Width() >= r.Height()) m_background->RoundRect(r.left, r.bottom - 1, r.Width(), 1, 0, edge, edge);
    else m_background->RoundRect(r.right - 1, r.top, 1, r.Height(), 0, edge, edge);
    m_package.Element(folder + ">Normal", r, Solid(r, LookColour(look, "normal", "text", kWhite)), where);
    AddHit(r);
}

void WindowBuilder::Navigator(const Node& n)
{
    std::string name, look;
    Rect r;
    if (!Name(n, name) || !Geometry(n, 0, r, "navigator NAME X Y W H [look=NAME]")) return;
    if (!WordAttr(n, "look", "navigator", look)) return;
    ReportUnused(n);
    if (!m_style.HasLook(look)) {
        m_diag.Error(n.where, "no look named " + look);
        return;
    }
    const std::string folder = ControlFolder("Static Images", name, n.where);
    if (folder.empty()) return;
    m_background->Box(r.left, r.top, r.Width(), r.Height(), LookBox(look, "normal"));
    // The preview repaints the whole element (frame and veil); it starts as the veil.
    const Rect inner = Inset(r, 1);
    m_package.Element(folder + ">Normal", inner, Solid(inner, LookColour(look, "normal", "veil", kNone)), n.where);
    AddHit(r);
}

void WindowBuilder::RectWords(const std::string& folder, const Rect& r, const Where& where)
{
    m_package.Word(folder + ">Rect Left", static_cast<uint16_t>(r.left), where);
    m_package.Word(folder + ">Rect Top", static_cast<uint16_t>(r.top), where);
    m_package.Word(folder + ">Rect Right", static_cast<uint16_t>(r.right), where);
    m_package.Word(folder + ">Rect Bottom", static_cast<uint16_t>(r.bottom), where);
}

void WindowBuilder::RectEntry(const std::string& name, const Rect& r, const Where& where)
{
    const std::string folder = ControlFolder("Rects", name, where);
    if (folder.empty()) return;
    m_package.DWord(folder + ">Rect Left", static_cast<uint32_t>(r.left), where);
    m_package.DWord(folder + ">Rect Top", static_cast<uint32_t>(r.top), where);
    m_package.DWord(folder + ">Rect Right", static_cast<uint32_t>(r.right), where);
    m_package.DWord(folder + ">Rect Bottom", static_cast<uint32_t>(r.bottom), where);
}

void WindowBuilder::Preview(const Node& n)
{
    std::string name, look;
    Rect r;
    if (!Name(n, name) ||
        !Geometry(n, 0, r, "preview NAME X Y W H [rulers=HORIZONTAL,VERTICAL] [scrolls=HORIZONTAL,VERTICAL] [look=NAME]"))
        return;
    if (!WordAttr(n, "look", "preview", look)) return;
    std::string rulers[2], scrolls[2];
    for (auto [attr, out] : {std::pair<const char*, std::string*>{"rulers", rulers}, {"scrolls", scrolls}}) {
        if (const Attr* a = n.Find(attr)) {
            if (a->value.kind != Value::List || a->value.items.size() != 2) {
                m_diag.Error(n.where, std::string(attr) + "=HORIZONTAL,VERTICAL names two controls");
                return;
            }
            out[0] = a->value.items[0].text;
            out[1] = a->value.items[1].text;
        }
    }
    ReportUnused(n);
    if (!m_style.HasLook(look)) {
        m_diag.Error(n.where, "no look named " + look);
        return;
    }
    const int rs = rulers[0].empty() ? 0 : Metric("ruler.size", n.where);
    const int ss = scrolls[0].empty() ? 0 : Metric("scroll.size", n.where);
    // The frame holds rulers (top, left), picture and scroll bars (right, bottom).
    const Rect all{r.left - rs - 1, r.top - rs - 1, r.right + ss + 1, r.bottom + ss + 1};
    if (!Inside(all, n.where, "the preview with its rulers, scroll bars and frame")) return;
    m_background->Box(all.left, all.top, all.Width(), all.Height(), LookBox(look, "normal"));
    RectEntry(name, r, n.where);
    AddHit(r);
    if (rs) {
        std::string rulerLook = "ruler";
        const BoxPaint corner = LookBox(rulerLook, "normal");
        m_background->RoundRect(r.left - rs, r.top - rs, rs, rs, 0, corner.fill, corner.fill);
        Ruler(rulers[0], Rect::XYWH(r.left, r.top - rs, r.Width(), rs), rulerLook, n.where);
        Ruler(rulers[1], Rect::XYWH(r.left - rs, r.top, rs, r.Height()), rulerLook, n.where);
    }
    if (ss) {
        const Colour corner = LookColour("scroll.track", "normal", "fill", kNone);
        m_background->RoundRect(r.right, r.bottom, ss, ss, 0, corner, corner);
        ScrollBar(scrolls[0], Rect::XYWH(r.left, r.bottom, r.Width(), ss), false, "scroll", "", "", n.where);
        ScrollBar(scrolls[1], Rect::XYWH(r.right, r.top, ss, r.Height()), true, "scroll", "", "", n.where);
    }
}

// ---------------------------------------------------------------------------------------------
// The window

bool WindowBuilder::Build()
{
    const Node& n = m_node;
    if (!Name(n, m_name)) return false;
    m_title = m_name;
    const Attr* size = n.Find("size");
    double w = 0, h = 0;
    if (!size || size->value.kind != Value::List || size->value.items.size() != 2 ||
        !m_style.NumberOf(size->value.items[0], n.where, w) || !m_style.NumberOf(size->value.items[1], n.where, h) ||
        w < 32 || h < 32 || w > 4000 || h > 4000) {
        m_diag.Error(n.where, "a window needs size=WIDTH,HEIGHT (32 to 4000 pixels)");
        return false;
    }
    m_width = static_cast<int>(w);
    m_height = static_cast<int>(h);
    std::string caption = "yes", closeName;
    if (!StringAttr(n, "title", m_title) || !WordAttr(n, "caption", "yes", caption) || !WordAttr(n, "close", "", closeName) ||
        !WordAttr(n, "look", "window", m_look))
        return false;
    if (caption != "yes" && caption != "no") {
        m_diag.Error(n.where, "caption is yes or no");
        return false;
    }
    m_caption = caption == "yes";
    ReportUnused(n);
    if (n.args.size() != 1) m_diag.Error(n.where, "write: window NAME size=W,H [title=\"TEXT\"] [caption=no] [close=NAME]");
    if (m_width + Compiler::kShadowExtra > Compiler::kScreenWidth || m_height + Compiler::kShadowExtra > Compiler::kScreenHeight) {
        m_diag.Error(n.where, "window " + m_name + " (" + std::to_string(m_width) + " x " + std::to_string(m_height) +
                                  ") with its shadow does not fit a " + std::to_string(Compiler::kScreenWidth) + " x " +
                                  std::to_string(Compiler::kScreenHeight) + " screen (at most " +
                                  std::to_string(Compiler::kScreenWidth - Compiler::kShadowExtra) + " x " +
                                  std::to_string(Compiler::kScreenHeight - Compiler::kShadowExtra) + ")");
        return false;
    }
    if (!m_style.HasLook(m_look) || (m_caption && !m_style.HasLook("caption"))) {
        m_diag.Error(n.where, "looks " + m_look + " and caption are needed");
        return false;
    }
    const size_t errors = m_diag.Errors().size();
    m_summary.name = m_name;
    m_summary.width = m_width;
    m_summary.height = m_height;
    const std::string folder = "UIResources>Windows>" + m_name;
    if (m_compiler.m_controlFolders.count(folder)) {
        m_diag.Error(n.where, "window " + m_name + " is defined twice (first at " + m_compiler.m_controlFolders[folder].Text() + ")");
        return false;
    }
    m_compiler.m_controlFolders[folder] = n.where;
    m_package.Folder(folder, n.where);

    // Left = top = 0: the background is the whole window.
    m_background = std::make_unique<Canvas>(Rect{0, 0, m_width, m_height});
    m_background->Box(0, 0, m_width, m_height, LookBox(m_look, "normal"));
    if (m_caption) Caption();
    if (m_caption && !closeName.empty()) {
        const int s = Metric("close.size", n.where);
        const Rect r = Rect::XYWH(m_width - 1 - (m_captionHeight - s) / 2 - s, (m_captionHeight - s) / 2, s, s);
        const std::string f = ControlFolder("Buttons", closeName, n.where);
        std::string iconName;
        m_style.LookWord("close", "normal", "icon", "close", iconName);
        const IconDef* icon = m_style.Icon(iconName, n.where);
        if (!f.empty() && icon) ButtonElements(f, r, "close", "", icon, n.where);
    } else if (!closeName.empty()) {
        m_diag.Error(n.where, "a close box sits on the caption; this window has none");
    }
    for (const Node& child : n.children) {
        if (child.keyword == "drag") {
            std::vector<int> v;
            if (child.args.size() != 4 || !Numbers(child, 0, 4, v, "drag X Y W H")) {
                if (child.args.size() != 4) m_diag.Error(child.where, "write: drag X Y W H");
                continue;
            }
            const Rect r = Rect::XYWH(v[0], v[1], v[2], v[3]);
            if (Inside(r, child.where, "the drag area")) m_drags.push_back(r);
            ReportUnused(child);
        } else if (child.keyword == "panel" || child.keyword == "field" || child.keyword == "box" ||
                   child.keyword == "label" || child.keyword == "separator" || child.keyword == "vseparator" ||
                   child.keyword == "icon") {
            Primitive(child, *m_background, 0, 0);
        } else {
            Control(child);
        }
    }
    if (m_diag.Errors().size() != errors) return false;
    Finish();
    return m_diag.Errors().size() == errors;
}

void WindowBuilder::Caption()
{
    m_captionHeight = Metric("caption.height", m_node.where);
    // The strip fills the inside of the window's outline down to the caption's bottom line.
    Canvas strip(Rect{0, 0, m_width, m_captionHeight});
    const BoxPaint window = LookBox(m_look, "normal");
    BoxPaint p = LookBox("caption", "normal");
    p.border = kNone;
    p.radius = std::max(0.0, window.radius - 1);
    strip.Box(1, 1, m_width - 2, m_height - 2, p);
    const Colour line = LookColour("caption", "normal", "border", kNone);
    strip.RoundRect(1, m_captionHeight - 1, m_width - 2, 1, 0, line, line);
    m_background->Over(strip);
    m_drags.push_back(Rect{0, 0, m_width, m_captionHeight});
}

void WindowBuilder::Finish()
{
    const Where& where = m_node.where;
    const std::string folder = "UIResources>Windows>" + m_name;
    // The shape: runs of opaque pixels, row by row.
    const std::vector<uint8_t> planes = m_background->Planes();
    const size_t plane = static_cast<size_t>(m_width) * m_height;
    int runs = 0;
    for (int y = 0; y < m_height; ++y) {
        bool in = false;
        for (int x = 0; x < m_width; ++x) {
            const bool opaque = planes[3 * plane + static_cast<size_t>(y) * m_width + x] > 128;
            if (opaque && !in) ++runs;
            in = opaque;
        }
    }
    if (runs > Compiler::kMaxShapeRuns)
        m_diag.Error(where, "the window's shape has " + std::to_string(runs) + " runs; the toolkit takes at most " +
                                std::to_string(Compiler::kMaxShapeRuns));
    m_package.Element(folder + ">Background", Rect{0, 0, m_width, m_height}, planes, where);
    m_summary.restingLayers.push_back(folder + ">Background");

    if (m_caption) {
        // Both caption layers: the strip with the title, transparent under every control so that
        // pressing a control never drags the window.
        const Rect strip{0, 0, m_width, m_captionHeight};
        for (const StateName& s : {StateName{"Caption_Active", "normal"}, StateName{"Caption_Inactive", "inactive"}}) {
            Canvas c(strip);
            c.CopyFrom(*m_background);
            if (FontDef* font = LookFont("caption", s.look, where)) {
                const int x = Metric("caption.title.x", where);
                const int right = m_width - x;
                std::string title = m_title;
                while (!title.empty() && x + TextWidth(*font, title) > right) title.pop_back();
                if (title.size() != m_title.size()) m_diag.Error(where, "the title does not fit on the caption");
                c.Text(*font, x, (m_captionHeight + CapHeight(*font)) / 2, title,
                       LookColour("caption", s.look, "text", kWhite));
            }
            for (const Rect& hit : m_hits) c.Clear(hit);
            m_package.Element(folder + ">" + s.element, c, where);
        }
        m_summary.restingLayers.push_back(folder + ">Caption_Active");
    }
    m_summary.restingLayers.insert(m_summary.restingLayers.end(), m_rest.begin(), m_rest.end());

    // Drag area: the caption and the areas marked for dragging, without controls, inside the shape.
    if (!m_drags.empty()) {
        Rect box;
        for (const Rect& d : m_drags) box = Union(box, d);
        std::vector<uint8_t> mask(static_cast<size_t>(box.Width()) * box.Height(), 0);
        for (int y = box.top; y < box.bottom; ++y) {
            for (int x = box.left; x < box.right; ++x) {
                bool drag = planes[3 * plane + static_cast<size_t>(y) * m_width + x] > 128;
                bool inDrag = false;
                for (const Rect& d : m_drags) inDrag = inDrag || (x >= d.left && x < d.right && y >= d.top && y < d.bottom);
                for (const Rect& hit : m_hits) drag = drag && !(x >= hit.left && x < hit.right && y >= hit.top && y < hit.bottom);
                mask[static_cast<size_t>(y - box.top) * box.Width() + (x - box.left)] = drag && inDrag ? 255 : 0;
            }
        }
        m_package.MaskElement(folder + ">Drag_Area", box, mask, where);
    }
}

}  // namespace skinc
