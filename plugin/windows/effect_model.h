// The per-piece effect windows without their windows: which effect a window edits and where its
// setting lies in the piece record, its parameters with their ranges, the two values (value 1
// and value 2) with the parameter boxes, the adjust switch and the gradient direction, the
// target pieces and their centre box, and the per-target settings spread between the two values
// at random or along a gradient. The windows route their controls to this model and draw what
// it holds; the conversions the windows show (percent, slider offsets, the bevel's light, the
// range bands) live here as well.
//
// A setting is kept as the effect's bytes of a PieceEffectRecord (host order), so the values,
// the engine's defaults, the snapshots and the per-target settings are all records of one kind.
#pragma once

#include "framework/core/qwf_mem.h"
#include "plugin/core/piece_effect_record.h"

#include <cstddef>
#include <cstdint>

class CJigcrafter;

namespace qwfx {

enum Effect : uint8_t {
    kBlur = 0,
    kBevel,
    kHsl,
    kColourOverlay,
    kBrightContrast,
    kMotionBlur,
    kOpacity,
    kStroke,
    kImageOverlay,
    kEffectCount
};

enum FieldType : uint8_t { kU8 = 0, kS8, kS16, kU16 };

// One number of a setting: its place in the record, its width and its range.
struct Field {
    uint8_t offset;
    uint8_t type;
    int32_t min;
    int32_t max;
    bool percent;  // an opacity byte, shown and typed in percent 0..100
};

// A parameter: one number (or the eight bytes of a colour) with a value-1 and a value-2 end.
struct Param {
    const char* name;  // the skin suffix of its parameter box ("ASize"), or null: no box
    uint8_t firstField;
    uint8_t fieldCount;
};

inline constexpr int kMaxParams = 3;

struct EffectInfo {
    const char* name;    // "blur", "bevel", ...: the skin prefix is "FX" + name
    uint16_t bit;        // the effect's bit in the main window's effect mask
    uint8_t offset;      // the setting's first byte in the record (its on byte)
    uint8_t size;        // the setting's bytes
    uint8_t paramCount;
    Param params[kMaxParams];
    const Field* fields;
    // Effects whose single parameter always varies and that take nothing from the pieces'
    // snapshots: blur, opacity, image overlay.
    bool noBoxes;
};

const EffectInfo& GetEffectInfo(Effect effect);

// ---- conversions ----------------------------------------------------------------------------
// Percent 0..100 to an opacity byte: percent x 255 / 100 (integer division), the percent clamped.
uint8_t PercentToByte(int32_t percent);
// An opacity byte to percent: tenths byte x 1000 / 255, rounded up above a tenths digit of 5.
int32_t ByteToPercent(uint8_t byte);
// The motion blur's angle slider (0..359, around the circle) folded onto the line direction
// -90..90, and back (a negative angle sits at a + 360).
int32_t AngleFromSlider(int32_t position);
int32_t SliderFromAngle(int32_t angle);
// a + (b - a) x t + 0.5 truncated toward zero, clamped to min..max; t at or below 0 (or not a
// number) gives a, t at or above 1 gives b, and equal ends give that value.
int32_t Interpolate(int32_t a, int32_t b, double t, int32_t min, int32_t max);
// The position of a random draw (0..32767): draw / 32766, and 1 above that.
double RandomPosition(int draw);

// The centre box of the targets (y grows downwards).
struct CentreBox {
    double minX, minY, maxX, maxY;
};
// The position 0..1 of a centre along direction 1..8 over the box (value 1 at 0, value 2 at
// 1). When every centre shares the coordinate the direction measures (a gradient line of no
// length), every target lies at 0 and takes value 1.
double GradientPosition(int direction, const CentreBox& box, double cx, double cy);

// The columns of a range band of width w that the two slider positions span, lo up to hi
// (exclusive), for a band whose positions run 0..divisor (the bevel's depth band uses its
// split scale when divisor is 999). An empty band (w < 1) spans nothing.
void BandColumns(int32_t p1, int32_t p2, int32_t divisor, int32_t width, int32_t& lo,
                 int32_t& hi);

// ---- the bevel's light ------------------------------------------------------------------------
// Scales the vector to length 1 in single precision; a vector the bevel cannot use (of length 0
// or with a component that is not finite) becomes the light it lights with in its place, the
// light straight from the front. True when it was usable.
bool NormaliseLight(float light[3]);
// The light of a point dx, dy (window pixels, y downwards) from the light zone's centre, the
// distance held to r - 1 (a zone of radius r < 1 gives the light straight from the front).
void LightFromPoint(double dx, double dy, double r, float light[3]);
// The ball's point for a light in a zone of centre cx, cy and radius r.
void PointFromLight(const float light[3], double cx, double cy, double r, int32_t& x,
                    int32_t& y);
// Angle 0..359 and altitude 1..90 in degrees to a light, and back to the nearest degree, so that
// the angles of a light made from angles are those angles (as the edit lines show them: the
// angle held to 0..359, the altitude below 1 raised to 1, above 89 set to 90).
void LightFromAngles(int32_t angle, int32_t altitude, float light[3]);
void AnglesFromLight(const float light[3], int32_t& angle, int32_t& altitude);

// The end points of the motion blur dial's line for an angle in a dial of width w.
void DialSegment(int32_t angle, int32_t width, double& x0, double& y0, double& x1, double& y1);

// ---- the model --------------------------------------------------------------------------------
class CEffectModel {
public:
    explicit CEffectModel(Effect effect);

    Effect GetEffect() const { return m_effect; }
    const EffectInfo& Info() const { return GetEffectInfo(m_effect); }

    // The targets: the selected pieces, or every piece when none is selected, in table order.
    // snapshots holds the record of every piece as it stood when the window opened (the
    // main window's undo state of the change), count of them; the model keeps the pointer.
    // Each target's settings to apply take its snapshot setting. False, with no targets, when
    // the engine has no pieces, the snapshots do not cover the table or memory runs out.
    bool CollectTargets(CJigcrafter& engine, const PieceEffectRecord* snapshots, int32_t count);
    int32_t GetTargetCount() const { return m_targetCount; }
    int32_t GetTarget(int32_t i) const;
    const CentreBox& GetCentreBox() const { return m_box; }

    // Value 1 from the reference piece's snapshot (the current piece when it is a piece of the
    // table, else the first target), value 2 from the engine's defaults; numbers outside their
    // ranges are clamped, opacities pass through percent as the sliders hold them, the bevel's
    // light stays as stored (one the bevel cannot use lights as the renderer lights it). Adjust
    // off, no direction, value 1 active, values not computed.
    void LoadFromPiece(int32_t currentPiece);

    // The values: which 0 or 1.
    const PieceEffectRecord& GetValue(int which) const { return m_values[which & 1]; }
    PieceEffectRecord& Value(int which) { return m_values[which & 1]; }
    int32_t GetNumber(int which, int param) const;  // the parameter's first field
    // Clamped to the field's range; a colour parameter takes the eight bytes of a colour.
    void SetNumber(int which, int param, int32_t number);
    void SetColour(int which, int param, const uint8_t colour[8]);

    bool GetAdjust() const { return m_adjust; }
    // Off also clears the direction and the boxes and makes value 1 active; on checks every box.
    void SetAdjust(bool on);
    bool GetBox(int param) const;
    void SetBox(int param, bool checked);
    int GetDirection() const { return m_direction; }
    void SetDirection(int direction);
    int GetActive() const { return m_active; }
    void SetActive(int which) { m_active = which & 1; }

    // The per-target settings (ComputePieceValues): adjust off gives every target value 1 with
    // its on byte set; adjust on spreads each varying parameter between the two values and keeps
    // the snapshot's value of a parameter whose box is unchecked. draw gives the random numbers
    // 0..32767 (the system's generator when null).
    using Draw = int (*)(void* context);
    void Compute(Draw draw = nullptr, void* context = nullptr);
    bool IsComputed() const { return m_computed; }
    void Invalidate() { m_computed = false; }
    // The setting computed for target i as a record (only the effect's bytes are meaningful).
    void GetEntry(int32_t i, PieceEffectRecord& out) const;

    // The setting the window's own preview shows: the active value, where adjust is on each
    // parameter whose box is unchecked taking the engine default's value.
    void GetPreviewSetting(PieceEffectRecord& out) const;

    // Into the targets' settings to apply: the computed settings (computed first when needed)
    // or the snapshots. False when a target is no longer a piece of the engine.
    bool WriteComputed(CJigcrafter& engine);
    bool WriteSnapshots(CJigcrafter& engine);

    // The range a parameter's number is shown and typed in (percent for an opacity), and a typed
    // text clamped to it (text that is no number reads as 0).
    void ShownRange(int param, int32_t& min, int32_t& max) const;
    int32_t ClampTyped(int param, const char* text) const;

private:
    const Field& FieldOf(int param, int k = 0) const;
    void Sanitise(PieceEffectRecord& r) const;
    bool WriteSettings(CJigcrafter& engine, bool computed);

    Effect m_effect;
    PieceEffectRecord m_values[2];
    PieceEffectRecord m_defaults;
    const PieceEffectRecord* m_snapshots = nullptr;
    int32_t m_snapshotCount = 0;
    int32_t m_pieceCount = 0;
    CQWF_Mem m_targets;  // int32_t piece indexes
    CQWF_Mem m_centres;  // two doubles per target
    CQWF_Mem m_entries;  // the effect's bytes per target
    int32_t m_targetCount = 0;
    CentreBox m_box{};
    bool m_adjust = false;
    bool m_boxes[kMaxParams] = {};
    int m_direction = 0;
    int m_active = 0;
    bool m_computed = false;
};

// Reads a field of a record / writes it (the value clamped to the field's range).
int32_t ReadField(const PieceEffectRecord& r, const Field& f);
void WriteField(PieceEffectRecord& r, const Field& f, int32_t value);

}  // namespace qwfx
