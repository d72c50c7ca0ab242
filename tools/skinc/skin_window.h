// Building one window of the skin: its background, caption and drag area, and the images and
// values of every control placed on it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/skinc/skin_canvas.h"
#include "tools/skinc/skin_compiler.h"

namespace skinc {

class WindowBuilder {
public:
    WindowBuilder(Compiler& compiler, Style& style, const Node& node);
    bool Build();
    const WindowSummary& Summary() const { return m_summary; }

private:
    // --- reading statements ---
    bool Numbers(const Node& n, size_t from, size_t count, std::vector<int>& out, const char* usage);
    bool Geometry(const Node& n, int defaultH, Rect& out, const char* usage);
    bool Name(const Node& n, std::string& out);
    std::string ControlFolder(const std::string& kindFolder, const std::string& name, const Where& where);
    bool WordAttr(const Node& n, const char* attr, const std::string& fallback, std::string& out);
    bool StringAttr(const Node& n, const char* attr, std::string& out);
    bool Inside(const Rect& r, const Where& where, const std::string& what);
    void ReportUnused(const Node& n);
    int Metric(const char* name, const Where& where);

    // --- looks ---
    BoxPaint LookBox(const std::string& look, const std::string& state);
    Colour LookColour(const std::string& look, const std::string& state, const char* prop, const Colour& fallback);
    double LookNumber(const std::string& look, const std::string& state, const char* prop, double fallback);
    FontDef* LookFont(const std::string& look, const std::string& state, const Where& where);

    // --- drawing ---
    void Primitive(const Node& n, Canvas& canvas, int dx, int dy);
    void Label(Canvas& canvas, const Rect& box, const std::string& text, FontDef* font, const Colour& colour,
               const std::string& align, const Where& where);
    // A button face: box, then icon and label centred.
    void ButtonFace(Canvas& c, const Rect& r, const std::string& look, const std::string& state,
                    const std::string& label, const IconDef* icon, const Where& where);
    void Track(Canvas& c, const Rect& r, const std::string& look, const std::string& state);

    // --- controls ---
    void Control(const Node& n);
    void Button(const Node& n);
    // withDisabled false: no "Disabled" image, so that the disabled button is its normal image
    // at the control's disabled opacity (which may make it vanish).
    void ButtonElements(const std::string& folder, const Rect& r, const std::string& look, const std::string& label,
                        const IconDef* icon, const Where& where, bool withDisabled = true);
    void CheckBox(const Node& n, bool radio);
    void Edit(const Node& n);
    void List(const Node& n);
    void Slider(const Node& n);
    void ScrollBar(const std::string& name, const Rect& r, bool vertical, const std::string& look,
                   const std::string& firstButton, const std::string& secondButton, const Where& where);
    void ScrollBarStatement(const Node& n);
    void Progress(const Node& n);
    void StaticText(const Node& n);
    void StaticImage(const Node& n);
    void Ruler(const std::string& name, const Rect& r, const std::string& look, const Where& where);
    void Navigator(const Node& n);
    void RectEntry(const std::string& name, const Rect& r, const Where& where);
    // A control's rectangle as the four 16-bit "Rect" values of its folder.
    void RectWords(const std::string& folder, const Rect& r, const Where& where);
    void Preview(const Node& n);

    // --- window parts ---
    void Caption();
    void Finish();

    void AddHit(const Rect& r) { m_hits.push_back(r); }
    void Rest(const std::string& key) { m_rest.push_back(key); }

    Compiler& m_compiler;
    Style& m_style;
    PackageBuilder& m_package;
    Diagnostics& m_diag;
    const Node& m_node;

    std::string m_name;
    std::string m_title;
    std::string m_look = "window";
    int m_width = 0, m_height = 0;
    bool m_caption = true;
    int m_captionHeight = 0;
    std::unique_ptr<Canvas> m_background;
    std::vector<Rect> m_hits;   // every control's area: no dragging there
    std::vector<Rect> m_drags;  // areas that drag the window
    std::vector<std::string> m_captionControls;  // buttons placed on the caption
    std::vector<std::string> m_rest;  // controls' images at rest, in the order written
    WindowSummary m_summary;
};

}  // namespace skinc
