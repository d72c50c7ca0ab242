// The shared style of every window: palette, metrics, fonts, looks (the state rules) and icons.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/imaging/qwf_font.h"
#include "tools/skinc/skin_source.h"

namespace skinc {

// Straight (not premultiplied) colour, each channel 0..1.
struct Colour {
    double r = 0, g = 0, b = 0, a = 0;
    bool operator==(const Colour& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

// A font: stored in the package as "UIResources>Fonts>NAME" unless it serves drawing only.
struct FontDef {
    std::string name;
    std::string face;
    uint32_t size = 0;
    bool store = true;
    Where where;
    std::vector<uint8_t> block;            // unpacked "QWF2", once rasterised
    std::unique_ptr<CQWF_Font> font;       // the same, indexed for drawing
};

// One stroke of an icon, in the icon's 16 x 16 design box.
struct IconStroke {
    enum Kind { Polyline, Circle, Arc, Dot, Box } kind = Polyline;
    std::vector<double> points;  // polyline: x, y pairs; circle/dot: cx, cy, r; arc: cx, cy, r, a0, a1
                                 // (degrees, clockwise from 3 o'clock); box: x, y, w, h
    double width = 1.5;
    bool closed = false;
};

struct IconDef {
    std::string name;
    std::vector<IconStroke> strokes;
    Where where;
};

// A pointer shape: strokes in the 16 x 16 box, drawn black with a white rim, and its hot spot.
struct CursorDef {
    int id = 0;
    double hotX = 0, hotY = 0;
    IconDef icon;
};

// A look: per state, property values; see Style::LookValue for how states fall back.
struct LookDef {
    std::string name;
    std::string from;
    std::map<std::string, std::map<std::string, Attr>> states;
    Where where;
};

struct AcceleratorDef {
    bool ctrl = false, alt = false, shift = false;
    uint8_t key = 0;
    int16_t command = 0;
    std::string commandName;  // the command as written, when it is a name (resolved by Finish)
    Where where;
};

// A named command id ("command NAME ID").
struct CommandDef {
    std::string name;
    int16_t id = 0;
    Where where;
};

class Style {
public:
    explicit Style(Diagnostics& diag) : m_diag(diag) {}

    // Takes one top-level statement that belongs to the style; false when it is not a style
    // statement (the caller tries others).
    bool Take(const Node& node);
    // Checks what the statements refer to once all are read.
    void Finish();

    // Colour from a value: "#RRGGBB[AA]", a palette name, "none" (transparent); with an
    // optional "/NN" suffix on names giving an alpha in percent ("accent/40").
    bool ColourOf(const Value& v, const Where& where, Colour& out);
    // Number from a value: a number or a metric name.
    bool NumberOf(const Value& v, const Where& where, double& out);
    bool Metric(const std::string& name, double& out) const;

    // A font by name, rasterised on first use; null with an error when unknown or broken.
    FontDef* Font(const std::string& name, const Where& where);
    const IconDef* Icon(const std::string& name, const Where& where);
    bool HasLook(const std::string& name) const { return m_looks.count(name) != 0; }

    // The value of a property in a state of a look. The look's own state wins, then its
    // "normal" state, then the look it is made from (by the same rule). Null when none says.
    const Attr* LookValue(const std::string& look, const std::string& state, const std::string& prop) const;
    // Typed forms; `fallback` when no state says. False only on an ill-formed value.
    bool LookColour(const std::string& look, const std::string& state, const std::string& prop,
                    const Colour& fallback, Colour& out);
    bool LookNumber(const std::string& look, const std::string& state, const std::string& prop,
                    double fallback, double& out);
    bool LookWord(const std::string& look, const std::string& state, const std::string& prop,
                  const std::string& fallback, std::string& out);
    bool LookIsSet(const std::string& look, const std::string& state, const std::string& prop) const
    {
        return LookValue(look, state, prop) != nullptr;
    }

    const std::vector<FontDef*>& StoredFonts() const { return m_storedOrder; }
    const std::vector<AcceleratorDef>& Accelerators() const { return m_accelerators; }
    const std::vector<CursorDef>& Cursors() const { return m_cursors; }

    Diagnostics& Diag() { return m_diag; }

private:
    bool TakePalette(const Node& node);
    bool TakeMetrics(const Node& node);
    bool TakeFont(const Node& node);
    bool TakeLook(const Node& node);
    bool TakeIcon(const Node& node);
    bool TakeCursor(const Node& node);
    void TakeStrokes(const Node& node, IconDef& icon);
    bool TakeAccelerator(const Node& node);
    bool TakeCommand(const Node& node);
    void ResolveAccelerators();
    bool ResolveColour(const std::string& name, const Where& where, int depth, Colour& out);

    Diagnostics& m_diag;
    std::map<std::string, std::pair<Value, Where>> m_paletteSource;
    std::map<std::string, Colour> m_palette;
    std::map<std::string, std::pair<double, Where>> m_metrics;
    std::map<std::string, std::unique_ptr<FontDef>> m_fonts;
    std::vector<FontDef*> m_storedOrder;
    std::map<std::string, IconDef> m_icons;
    std::map<std::string, LookDef> m_looks;
    std::vector<AcceleratorDef> m_accelerators;
    std::vector<CommandDef> m_commands;
    std::vector<CursorDef> m_cursors;
};

}  // namespace skinc
