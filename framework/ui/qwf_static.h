// The display controls: the static image (a skin image in a normal and a disabled look that
// forwards its mouse events to a parent control), the static text (a text whose letters take
// the colours of its skin image) and the progress bar (an image revealed through a threshold
// map over a floating-point range).
#pragma once

#include <cstdint>

#include "framework/core/qwf_string.h"
#include "framework/imaging/qwf_textlayer.h"
#include "framework/ui/qwf_control.h"

class CQWF_Font;

// What the static image and the static text share: the Normal and Disabled images, the layer
// they are drawn into, the two states and the text operations. The layer is a text layer: a
// text given to the control is rendered with colour 0, so the image's pixels are the colour (or
// texture) of the letters and the glyph coverage their alpha.
class CQWF_CtrlStatic : public CQWF_Control {
public:
    static constexpr uint8_t kNormal = 1;
    static constexpr uint8_t kDisabled = 8;

    ~CQWF_CtrlStatic() override;

    void SetEnabled(bool enabled) override;
    void Redraw() override;

    // The text operations. A null text is ignored. The text is placed at (x, y) in the control
    // and breaks lines every line height pixels.
    void SetTextAt(const char* text, int16_t x, int16_t y, int16_t lineHeight);
    void SetText(const char* text);
    const char* GetText() const { return m_text.GetBuffer(); }
    void SetTextFont(CQWF_Font* font);
    void AddTabStop(uint32_t x);
    void ClearTabStops() { m_layer.ClearTabStops(); }
    // The drawing opacity (the layer's); a state change sets it again.
    void SetOpacity(uint8_t opacity);
    uint8_t GetOpacity() const { return m_layer.GetOpacity(); }
    uint8_t GetState() const { return m_state; }

protected:
    CQWF_CtrlStatic();
    // Loads the images of the folder, creates the layer over them, draws state 1. The Normal
    // image is required.
    bool Build(const char* folderFormat);
    // Draws state 1 or 8; the same state again only when forced.
    void DrawState(uint8_t state, bool force);

    QWF_SkinElement m_normal;
    QWF_SkinElement m_disabled;
    CQWF_TextLayer m_layer;
    QWF_Rect m_rect = QWF_WHOLE_RECT;
    uint8_t m_state = 255;
    bool m_disabledLook = false;
    CQWF_String m_text;
    int16_t m_textX = 0;
    int16_t m_textY = 0;
    int16_t m_lineHeight = 15;
    // The control shows a text (static texts always; static images once one is given).
    bool m_carriesText = false;
};

class CQWF_CtrlStaticImage : public CQWF_CtrlStatic {
public:
    // Codes of the mouse events forwarded to the parent control.
    static constexpr int32_t kForwardMove = 336;
    static constexpr int32_t kForwardDown = 337;
    static constexpr int32_t kForwardUp = 338;
    static constexpr int32_t kForwardWheel = 339;

    CQWF_CtrlStaticImage();
    ~CQWF_CtrlStaticImage() override;

    bool Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage) override;
    QWF_Rect GetRect() override;
    using CQWF_CtrlStatic::Redraw;
    // Draws the current state again, forced.
    void Redraw(bool force) { DrawState(m_state, force); }
    bool OnMouseMove(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseDown(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseUp(int32_t x, int32_t y, uint32_t modifiers) override;
    bool OnMouseWheel(int32_t x, int32_t y, uint32_t modifiers, int32_t steps) override;
    // A static image is hit whether enabled or not.
    bool HitTestIfEnabled(int32_t x, int32_t y) override { return HitTest(x, y); }
    bool HitTest(int32_t x, int32_t y) override;

    CQWF_Layer* GetLayer() { return &m_layer; }
    // The pixels of the image that a state (1 or 8) draws, and where it stands in the window;
    // null when there is none.
    const uint8_t* GetStateRect(uint8_t state, QWF_Rect& rect) const;
    // The same pixels to draw into, for an owner that paints the image itself (the preview's
    // navigator); Redraw(true) shows what it drew.
    uint8_t* GetStatePixels(uint8_t state, QWF_Rect& rect) { return const_cast<uint8_t*>(GetStateRect(state, rect)); }

    // What the forwarded mouse events carry to the parent.
    struct Point {
        int32_t x;
        int32_t y;
    };
    struct WheelPoint {
        int32_t x;
        int32_t y;
        int16_t steps;
    };

private:
    bool Forward(int32_t code, void* data);
};

class CQWF_CtrlStaticText : public CQWF_CtrlStatic {
public:
    CQWF_CtrlStaticText();
    ~CQWF_CtrlStaticText() override;

    bool Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage) override;
    QWF_Rect GetRect() override { return m_rect; }
    CQWF_TextLayer* GetLayer() { return &m_layer; }
};

class CQWF_CtrlProgress : public CQWF_Control {
public:
    CQWF_CtrlProgress();
    ~CQWF_CtrlProgress() override;

    bool Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage) override;
    QWF_Rect GetRect() override { return m_rect; }

    // The range; no redraw.
    void SetRange(double minimum, double maximum);
    // Sets the position, kept within the range, draws the bar and reports the percent (256).
    void SetPos(double position);
    double GetPos() const { return m_pos; }
    void SetBarVisible(bool visible);
    CQWF_Layer* GetLayer() { return &m_layer; }

private:
    QWF_SkinElement m_normal;
    QWF_SkinElement m_data;
    CQWF_Layer m_layer;
    QWF_Rect m_rect = QWF_WHOLE_RECT;
    double m_min = 0.0;
    double m_max = 100.0;
    double m_pos = 50.0;
};
