// The effect windows: the shared frame of the nine per-piece effect windows (sample preview,
// value 1 and value 2, the spread over the pieces, live preview in the main window, OK, Cancel
// and Reset) and the windows whose parameters are numbers on slider pairs. The numbers, the
// targets and the per-piece settings live in the effect model; a window routes its controls to
// it and draws what it holds.
#pragma once

#include "framework/core/qwf_string.h"
#include "framework/imaging/qwf_image.h"
#include "framework/imaging/qwf_imagefx.h"
#include "framework/imaging/qwf_layer.h"
#include "framework/ui/qwf_window.h"
#include "plugin/main/status_line.h"
#include "plugin/main/view_preferences.h"
#include "plugin/windows/effect_model.h"

#include <cstdint>

class CQWF_Storage;
namespace qwjig {
enum ColourForm : uint8_t;
}
class CPluginMain;
class CQWF_CtrlEditLine;
class CQWF_CtrlSlider;

// What an effect window needs of the main window that opens it.
class CEffectHost {
public:
    virtual ~CEffectHost() = default;
    virtual CJigcrafter* GetEngine() = 0;
    // Every piece's record as it stood when the window opened (the undo state of the change the
    // window makes), and their count.
    virtual const PieceEffectRecord* GetSnapshots(int32_t& count) = 0;
    virtual int32_t GetCurrentPiece() = 0;
    virtual uint8_t GetColourMode() = 0;  // 0 grayscale, 1 RGB, 2 CMYK
    // The main window renders (the window may not end meanwhile).
    virtual bool IsRendering() = 0;
    // Renders the pieces with their settings to apply: final after OK and Cancel, live while the
    // window is open (a newer request restarts a running live render).
    virtual void RenderPieces(const int32_t* pieces, int32_t count, bool final) = 0;
    // The window ended (OK or not): the main window takes its controls back.
    virtual void EndEffectPreview(bool ok) = 0;
    // The settings store, null when it is not loaded.
    virtual CQWF_Storage* GetPreferences() = 0;
    virtual void SaveWindowPosition(const char* name, const char* group, int32_t x, int32_t y) = 0;
    // The two colours (0xAABBGGRR) of the transparency checker under the sample.
    virtual void GetCheckerColours(uint32_t& first, uint32_t& second) = 0;
    // The hint of a control (an empty name: the window's own) for the status line.
    virtual void GetHintText(const char* control, const char* window, bool enabled, uint8_t kind,
                             CQWF_String& text) = 0;
    virtual void ShowHelpMenu(CQWF_Window& window, int32_t x, int32_t y) = 0;
    // An accelerator command handed on to the main window; true when it handled it.
    virtual bool ForwardCommand(int32_t id) = 0;
    // The host's colour picker over a colour record (8 bytes); false when cancelled.
    virtual bool PickColour(uint8_t colour[8]) = 0;
    // A Help menu item chosen.
    virtual void OnHelpCommand(uint16_t id, CQWF_Window& window) { (void)id, (void)window; }
    // The plug-in object (the document's layers for the image overlay), null when none.
    virtual CPluginMain* GetPlugin() { return nullptr; }
    // Where the filtered picture lies in the document.
    virtual void GetDocumentOrigin(int32_t& x, int32_t& y) { x = y = 0; }
    // The main window's viewing preferences (the layer picker's backgrounds).
    virtual void GetViewPreferences(ViewPreferences& out) { out = ViewPreferences(); }
};

// The edit lines' ten drawing colours in the toolkit's style (0xAABBGGRR).
extern const uint32_t kEffectEditColours[10];

class CWndFX_Base : public CQWF_Window {
public:
    static constexpr uint32_t kStatusTimer = 1;
    static constexpr uint32_t kRecomputeTimer = 5;
    static constexpr uint32_t kBusyTimer = 6;
    static constexpr uint16_t kStandardDelay = 0xFFFF;

    CWndFX_Base(qwfx::Effect effect, CEffectHost* host);
    ~CWndFX_Base() override;

    qwfx::CEffectModel& Model() { return m_model; }
    const CQWF_String& GetName() const { return m_name; }
    uint8_t GetResult() const { return m_result; }
    // "FX" + name: the skin window, the position's name and the settings key's start.
    CQWF_String SkinName() const;

    // --- CQWF_Window ---
    bool Close() override;
    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnTimer(uint32_t id) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool OnHoverControl(int32_t index) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;

    // --- the effect window's own operations ---
    virtual void Commit();
    virtual void Revert();
    virtual void Reset() { LoadFromPiece(); }
    virtual void EnableParams(bool on);
    virtual void OnAdjustToggled(bool checked);
    virtual void ApplyToPreview() {}
    virtual void ShowValues(int which) { (void)which; }
    virtual void LivePreview(bool forced);
    // Value 1 from the reference piece, value 2 from the engine's defaults, the controls showing
    // them (ShowLoaded), the adjust box cleared and a recompute scheduled.
    virtual void LoadFromPiece();
    virtual void ShowLoaded() {}
    virtual void OnDirectionChanged(int direction);

    void ScheduleUpdate(uint16_t delay);
    int GetDirection() const;
    void ClearDirections();
    void SetActiveValue(int which);
    int GetActiveValue() const { return m_model.GetActive(); }
    void SelectValue(int which);
    void EnableCloseButtons(bool on);
    void RedrawPreview();
    void SetStatusText(const char* text);
    // The status line's text (the one fading in, or still to come).
    const char* GetStatusText() const { return m_statusLine.GetText(); }
    bool IsLivePreviewChecked() const;

protected:
    // The member's own controls, layers and rectangles; false when one is missing.
    virtual bool CreateMember() = 0;
    // The member's notifications; true when handled.
    virtual bool OnMemberNotify(int32_t code, const char* name, uint8_t kind, void* data)
    {
        (void)code, (void)name, (void)kind, (void)data;
        return false;
    }

    // "FX" + name + suffix.
    CQWF_String Skin(const char* suffix) const;
    int32_t Add(const char* suffix, uint8_t kind);
    CQWF_Control* Ctl(int32_t index) const { return GetControl(index); }
    void Check(int32_t index, bool checked, bool notify);
    bool Checked(int32_t index) const;
    void Enable(int32_t index, bool on);
    // A layer over a skin rectangle, added to the face, filled with a colour (0xAABBGGRR).
    bool AddRectLayer(const char* suffix, CQWF_Layer& layer, QWF_Rect& rect, uint32_t colour);
    void RepaintRect(const QWF_Rect& r);
    // Binds the preview effects from the sample into the preview layer; false when unusable.
    bool BindPreview();
    // Sets up an edit line with the windows' font, numeric entry and colours.
    void SetUpEdit(int32_t index, bool negatives);
    // The targets rendered in the main window.
    void RenderTargets(bool final);
    // The sample copied into the preview unchanged (an effect that could not run).
    void CopySample();
    // The form the sample's colours take: grey in a grey document, else red, green and blue
    // (also for a CMYK document, whose sample is shown in RGB).
    qwjig::ColourForm SampleColours() const;

    qwfx::CEffectModel m_model;
    CEffectHost* m_host;
    CQWF_String m_name;
    uint8_t m_result = 0;
    uint8_t m_created = 0;
    uint8_t m_colourMode = 1;
    uint32_t m_checker[2] = {0, 0};
    int32_t m_infoFont = -1;
    int32_t m_editFont = -1;
    int32_t m_gfrm = -1, m_object = -1, m_closeX = -1, m_cancel = -1, m_ok = -1, m_help = -1,
            m_reset = -1, m_previewButton = -1, m_random = -1, m_livePreview = -1,
            m_adjust = -1, m_status = -1;
    int32_t m_radios[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    QWF_Rect m_previewRect{0, 0, 0, 0};
    QWF_Rect m_sampleRect{0, 0, 0, 0};
    CQWF_Layer m_checkerLayer;
    CQWF_Layer m_previewLayer;
    int64_t m_previewLayerIndex = -1;
    CQWF_ImageFX m_fx;
    CStatusLine m_statusLine;
};

// A window whose parameters are numbers, each on a value-1 and a value-2 slider with an edit line
// for the active value's number and a range band: brightness/contrast, Gaussian blur, opacity,
// hue/saturation/lightness.
class CWndFX_Ranged : public CWndFX_Base {
public:
    // One parameter's controls and its slider scale: position = number + offset, or percent.
    // A colour has a swatch for each value (a static image and a rectangle of the same name in
    // place of the sliders) and no edit line or band.
    struct Control {
        const char* box;  // suffix of the parameter box, null: none
        const char* edit;
        const char* slider1;
        const char* slider2;
        const char* range;  // null: no range band
        int32_t offset;
        int32_t divisor;  // slider positions 0..divisor
        bool negatives;
        bool colour;
    };

    CWndFX_Ranged(qwfx::Effect effect, CEffectHost* host);

    int32_t ReleaseFocus(int32_t index) override;
    bool OnLButtonDown(int32_t x, int32_t y, uint32_t flags) override;
    void EnableParams(bool on) override;
    void ApplyToPreview() override;
    void ShowValues(int which) override;
    void ShowLoaded() override;

    // The slider position of a number and back (opacities in percent). A number is held as it
    // was typed or opened with; its slider shows the nearest position it has and changes the
    // number only when the user moves it.
    virtual int32_t PositionOf(int param, int32_t number) const;
    virtual int32_t NumberOf(int param, int32_t position) const;
    // The number an edit line shows for a number (opacities in percent).
    int32_t Shown(int param, int32_t number) const;
    bool IsPercent(int param) const;

protected:
    bool CreateMember() override;
    bool OnMemberNotify(int32_t code, const char* name, uint8_t kind, void* data) override;
    void DrawBands();
    void DrawSwatches();
    void SliderMoved(int param, int which, bool dragging);
    // The parameter's edit line shows the number of value 1 (0) or value 2 (1).
    void ShowNumber(int param, int which);
    // After the numbers on the controls changed (a slider, a typed number, the values loaded or
    // shown, a parameter box): a member's own drawings of them.
    virtual void NumbersShown() {}
    CQWF_CtrlSlider* Slider(int param, int which) const;
    CQWF_CtrlEditLine* Edit(int param) const;

    const Control* m_controls;
    int m_count;
    struct Parts {
        int32_t box = -1, edit = -1, slider[2] = {-1, -1};  // a colour: the two swatches
        QWF_Rect rangeRect{0, 0, 0, 0};
        CQWF_Layer band;
        QWF_Rect swatchRect[2] = {{0, 0, 0, 0}, {0, 0, 0, 0}};
        CQWF_Layer swatch[2];
    } m_parts[qwfx::kMaxParams];
};

class CWndFX_BC : public CWndFX_Ranged {
public:
    explicit CWndFX_BC(CEffectHost* host) : CWndFX_Ranged(qwfx::kBrightContrast, host) {}
};
class CWndFX_Blur : public CWndFX_Ranged {
public:
    explicit CWndFX_Blur(CEffectHost* host) : CWndFX_Ranged(qwfx::kBlur, host) {}
};
class CWndFX_Opacity : public CWndFX_Ranged {
public:
    explicit CWndFX_Opacity(CEffectHost* host) : CWndFX_Ranged(qwfx::kOpacity, host) {}
};
class CWndFX_HSL : public CWndFX_Ranged {
public:
    explicit CWndFX_HSL(CEffectHost* host) : CWndFX_Ranged(qwfx::kHsl, host) {}
};
class CWndFX_ColorOverlay : public CWndFX_Ranged {
public:
    explicit CWndFX_ColorOverlay(CEffectHost* host) : CWndFX_Ranged(qwfx::kColourOverlay, host) {}
};
class CWndFX_Stroke : public CWndFX_Ranged {
public:
    explicit CWndFX_Stroke(CEffectHost* host) : CWndFX_Ranged(qwfx::kStroke, host) {}
};

// The bevel: size, depth and soften on slider pairs, the light dragged in a circular zone or
// typed as angle and altitude, the highlight and shadow colours picked on their swatches and
// their opacities; every target takes value 1's light, colours and opacities.
class CWndFX_Bevel : public CWndFX_Ranged {
public:
    explicit CWndFX_Bevel(CEffectHost* host);

    bool OnMouseMove(int32_t x, int32_t y, uint32_t flags) override;
    bool OnLButtonDown(int32_t x, int32_t y, uint32_t flags) override;
    bool OnLButtonUp(int32_t x, int32_t y, uint32_t flags) override;
    int32_t ReleaseFocus(int32_t index) override;
    void ApplyToPreview() override;
    void ShowLoaded() override;

    // The ball's point in window pixels and the zone's centre and radius.
    void GetBall(int32_t& x, int32_t& y) const;
    void GetZone(double& cx, double& cy, double& r) const
    {
        cx = m_cx, cy = m_cy, r = m_r;
    }

protected:
    bool CreateMember() override;
    bool OnMemberNotify(int32_t code, const char* name, uint8_t kind, void* data) override;

private:
    void PlaceBall();
    void ShowAngles();
    void DrawLightSwatches();
    void DragTo(int32_t x, int32_t y);
    void SetOpacities(int which, int32_t percent);  // which 0 highlight, 1 shadow
    CQWF_CtrlEditLine* EditAt(int32_t index) const;

    QWF_Rect m_swatchRect[2] = {{0, 0, 0, 0}, {0, 0, 0, 0}};
    CQWF_Layer m_swatch[2];
    QWF_Rect m_zone{0, 0, 0, 0};
    double m_cx = 0, m_cy = 0, m_r = 0;
    CQWF_Layer m_thumb;
    int32_t m_ballX = 0, m_ballY = 0;
    int32_t m_thumbControl = -1;
    int32_t m_opacityEdit[2] = {-1, -1};
    int32_t m_opacitySlider[2] = {-1, -1};
    int32_t m_angleEdit = -1, m_altEdit = -1;
    bool m_dragging = false;
};

// The motion blur: the angle of each value on its own slider, edit line and dial, the distance
// on a slider pair.
class CWndFX_MBlur : public CWndFX_Ranged {
public:
    explicit CWndFX_MBlur(CEffectHost* host);

    int32_t ReleaseFocus(int32_t index) override;
    void EnableParams(bool on) override;
    void ApplyToPreview() override;
    int32_t PositionOf(int param, int32_t number) const override;
    int32_t NumberOf(int param, int32_t position) const override;

protected:
    bool CreateMember() override;
    bool OnMemberNotify(int32_t code, const char* name, uint8_t kind, void* data) override;
    void NumbersShown() override;

private:
    void DrawDials();
    QWF_Rect m_dialRect[2] = {{0, 0, 0, 0}, {0, 0, 0, 0}};
    CQWF_Layer m_dial[2];
    int32_t m_angleEdit[2] = {-1, -1};
};

// The image overlay: a document layer (chosen by the renderer per piece, or one picked in the
// layer picker) laid over the targets at an opacity spread between the two values.
class CWndFX_ImageOverlay : public CWndFX_Ranged {
public:
    static constexpr uint16_t kAutomatic = 32;
    static constexpr uint16_t kFromLayer = 33;

    explicit CWndFX_ImageOverlay(CEffectHost* host);

    void ApplyToPreview() override;
    void ShowLoaded() override;
    // The union of the targets' boxes in document pixels (-32000 four times when empty).
    void GetTargetRegion(int32_t& left, int32_t& top, int32_t& right, int32_t& bottom) const;
    // The source menu's item: the automatic choice, or the layer picker.
    void ChooseSource(uint16_t item);

protected:
    bool CreateMember() override;
    bool OnMemberNotify(int32_t code, const char* name, uint8_t kind, void* data) override;

private:
    void ShowSource();
    void RunLayerPicker();
    int32_t m_choose = -1, m_object2 = -1, m_current = -1;
    int32_t m_region[4] = {-32000, -32000, -32000, -32000};
};
