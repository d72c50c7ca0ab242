#include "plugin/windows/effect_model.h"

#include "platform/qw_random.h"
#include "plugin/core/jigcrafter.h"
#include "plugin/core/piece_effects.h"
#include "plugin/windows/whole_number.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace qwfx {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Field tables: each number where the record holds it.
using R = PieceEffectRecord;
constexpr Field kBlurFields[] = {{offsetof(R, blurRadius), kU8, 0, 100, false}};
constexpr Field kBevelFields[] = {{offsetof(R, bevelSize), kU8, 0, 200, false},
                                  {offsetof(R, bevelDepth), kU16, 0, 999, false},
                                  {offsetof(R, bevelSoften), kU8, 0, 20, false}};
constexpr Field kHslFields[] = {{offsetof(R, hue), kS16, -180, 180, false},
                                {offsetof(R, saturation), kS8, -100, 100, false},
                                {offsetof(R, lightness), kS8, -100, 100, false}};
// A colour is its eight bytes grey, red, green, blue, cyan, magenta, yellow, black.
constexpr Field kOverlayFields[] = {
    {offsetof(R, ovGrey), kU8, 0, 255, false},       {offsetof(R, ovRGB) + 0, kU8, 0, 255, false},
    {offsetof(R, ovRGB) + 1, kU8, 0, 255, false},    {offsetof(R, ovRGB) + 2, kU8, 0, 255, false},
    {offsetof(R, ovCMYK) + 0, kU8, 0, 255, false},   {offsetof(R, ovCMYK) + 1, kU8, 0, 255, false},
    {offsetof(R, ovCMYK) + 2, kU8, 0, 255, false},   {offsetof(R, ovCMYK) + 3, kU8, 0, 255, false},
    {offsetof(R, ovOpacity), kU8, 0, 255, true}};
constexpr Field kBcFields[] = {{offsetof(R, brightness), kS8, -100, 100, false},
                               {offsetof(R, contrast), kS8, -100, 100, false}};
constexpr Field kMotionFields[] = {{offsetof(R, mbAngle), kS8, -90, 90, false},
                                   {offsetof(R, mbDistance), kU8, 0, 100, false}};
constexpr Field kOpacityFields[] = {{offsetof(R, opValue), kU8, 0, 255, true}};
constexpr Field kStrokeFields[] = {
    {offsetof(R, stGrey), kU8, 0, 255, false},       {offsetof(R, stRGB) + 0, kU8, 0, 255, false},
    {offsetof(R, stRGB) + 1, kU8, 0, 255, false},    {offsetof(R, stRGB) + 2, kU8, 0, 255, false},
    {offsetof(R, stCMYK) + 0, kU8, 0, 255, false},   {offsetof(R, stCMYK) + 1, kU8, 0, 255, false},
    {offsetof(R, stCMYK) + 2, kU8, 0, 255, false},   {offsetof(R, stCMYK) + 3, kU8, 0, 255, false},
    {offsetof(R, stOpacity), kU8, 0, 255, true},     {offsetof(R, stSize), kU8, 0, 100, false}};
constexpr Field kImageFields[] = {{offsetof(R, imgOpacity), kU8, 0, 255, true}};

// Each setting is its group of the record: from its on byte, so many bytes.
const EffectInfo kInfo[kEffectCount] = {
    {"blur", 1, offsetof(R, blurOn), 2, 1, {{nullptr, 0, 1}}, kBlurFields, true},
    {"bevel", 2, offsetof(R, bevelOn), 40, 3, {{"ASize", 0, 1}, {"ADepth", 1, 1}, {"ASoften", 2, 1}},
     kBevelFields, false},
    {"hsl", 4, offsetof(R, hslOn), 6, 3, {{"AH", 0, 1}, {"AS", 1, 1}, {"AL", 2, 1}}, kHslFields, false},
    {"covr", 8, offsetof(R, ovOn), 10, 2, {{"AColor", 0, 8}, {"AOpacity", 8, 1}}, kOverlayFields, false},
    {"bc", 16, offsetof(R, bcOn), 3, 2, {{"ABrightness", 0, 1}, {"AContrast", 1, 1}}, kBcFields, false},
    {"mblur", 32, offsetof(R, mbOn), 3, 2, {{"AAngle", 0, 1}, {"ARadius", 1, 1}}, kMotionFields, false},
    {"opac", 64, offsetof(R, opOn), 2, 1, {{nullptr, 0, 1}}, kOpacityFields, true},
    {"stroke", 256, offsetof(R, stOn), 11, 3, {{"AColor", 0, 8}, {"AOpacity", 8, 1}, {"ASize", 9, 1}},
     kStrokeFields, false},
    {"iovr", 512, offsetof(R, imgOn), 8, 1, {{nullptr, 0, 1}}, kImageFields, true},
};

uint8_t* Bytes(PieceEffectRecord& r) { return reinterpret_cast<uint8_t*>(&r); }
const uint8_t* Bytes(const PieceEffectRecord& r) { return reinterpret_cast<const uint8_t*>(&r); }

int SystemDraw(void*) { return qwp::Random15(); }

}  // namespace

const EffectInfo& GetEffectInfo(Effect effect)
{
    return kInfo[effect < kEffectCount ? effect : 0];
}

int32_t ReadField(const PieceEffectRecord& r, const Field& f)
{
    const uint8_t* p = Bytes(r) + f.offset;
    switch (f.type) {
    case kS8: return static_cast<int8_t>(p[0]);
    case kS16: {
        int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    case kU16: {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    default: return p[0];
    }
}

void WriteField(PieceEffectRecord& r, const Field& f, int32_t value)
{
    value = std::clamp(value, f.min, f.max);
    uint8_t* p = Bytes(r) + f.offset;
    switch (f.type) {
    case kS16: {
        const int16_t v = static_cast<int16_t>(value);
        std::memcpy(p, &v, 2);
        break;
    }
    case kU16: {
        const uint16_t v = static_cast<uint16_t>(value);
        std::memcpy(p, &v, 2);
        break;
    }
    default: p[0] = static_cast<uint8_t>(value); break;
    }
}

// ---- conversions ------------------------------------------------------------------------------

uint8_t PercentToByte(int32_t percent)
{
    return static_cast<uint8_t>(std::clamp(percent, 0, 100) * 255 / 100);
}

int32_t ByteToPercent(uint8_t byte)
{
    const int32_t tenths = byte * 1000 / 255;
    return tenths / 10 + (tenths % 10 > 5 ? 1 : 0);
}

int32_t AngleFromSlider(int32_t position)
{
    position = std::clamp(position, 0, 359);
    if (position <= 90)
        return position;
    if (position <= 270)
        return position - 180;
    return position - 360;
}

int32_t SliderFromAngle(int32_t angle)
{
    angle = std::clamp(angle, -90, 90);
    return angle >= 0 ? angle : angle + 360;
}

int32_t Interpolate(int32_t a, int32_t b, double t, int32_t min, int32_t max)
{
    // Every position, the ends too, adds a half and truncates toward zero.
    if (!(t > 0.0))
        t = 0.0;
    if (t > 1.0)
        t = 1.0;
    const double v = std::trunc(a + (static_cast<double>(b) - a) * t + 0.5);
    return static_cast<int32_t>(std::clamp(v, static_cast<double>(min), static_cast<double>(max)));
}

double RandomPosition(int draw)
{
    const double t = draw / 32766.0;
    return std::clamp(t, 0.0, 1.0);
}

double GradientPosition(int direction, const CentreBox& b, double cx, double cy)
{
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    switch (direction) {
    case 1: x1 = b.maxX, y1 = b.maxY, x2 = b.minX, y2 = b.minY; break;
    case 2: y1 = b.maxY, y2 = b.minY; break;
    case 3: x1 = b.minX, y1 = b.maxY, x2 = b.maxX, y2 = b.minY; break;
    case 4: x1 = b.minX, x2 = b.maxX; break;
    case 5: x1 = b.minX, y1 = b.minY, x2 = b.maxX, y2 = b.maxY; break;
    case 6: y1 = b.minY, y2 = b.maxY; break;
    case 7: x1 = b.maxX, y1 = b.minY, x2 = b.minX, y2 = b.maxY; break;
    case 8: x1 = b.maxX, x2 = b.minX; break;
    default: return 0.0;
    }
    // The coordinate a direction leaves out is the same at both ends: take the centre's own.
    if (direction == 2 || direction == 6)
        cx = 0;
    if (direction == 4 || direction == 8)
        cy = 0;
    const double dx = x2 - x1, dy = y2 - y1;
    const double length2 = dx * dx + dy * dy;
    if (!(length2 > 0.0) || !std::isfinite(length2))
        return 0.0;
    const double t = ((cx - x1) * dx + (cy - y1) * dy) / length2;
    if (!(t > 0.0))
        return 0.0;
    return t > 1.0 ? 1.0 : t;
}

void BandColumns(int32_t p1, int32_t p2, int32_t divisor, int32_t width, int32_t& lo,
                 int32_t& hi)
{
    lo = hi = 0;
    if (width < 1 || divisor < 1)
        return;
    const int64_t w1 = width - 1;
    auto x = [&](int32_t p) -> int64_t {
        p = std::clamp(p, 0, divisor);
        if (divisor == 999) {
            if (p <= 100)
                return p * w1 / 200;
            return ((p - 100) / 2) * w1 / 899 + (100 * w1) / 200;
        }
        return p * w1 / divisor;
    };
    const int32_t a = p1 < p2 ? p1 : p2;
    const int32_t b = p1 < p2 ? p2 : p1;
    lo = static_cast<int32_t>(x(a));
    hi = static_cast<int32_t>(x(b) + 1);
}

// ---- the bevel's light --------------------------------------------------------------------------

bool NormaliseLight(float light[3])
{
    // A light the bevel cannot use is the one it lights with in its place.
    const bool usable = qwjig::BevelLight(light, light);
    const float x = light[0], y = light[1], z = light[2];
    const float length = std::sqrt(x * x + y * y + z * z);
    if (std::isfinite(length) && length > 0.0f) {
        light[0] = x / length;
        light[1] = y / length;
        light[2] = z / length;
    } else {
        // Components too large or too small to square in single precision.
        const double d = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
        for (int i = 0; i < 3; ++i)
            light[i] = static_cast<float>(light[i] / d);
    }
    return usable;
}

void LightFromPoint(double dx, double dy, double r, float light[3])
{
    if (!(r >= 1.0) || !std::isfinite(dx) || !std::isfinite(dy)) {
        light[0] = 0.0f, light[1] = 0.0f, light[2] = 1.0f;
        return;
    }
    const double phi = std::atan2(dy, dx);
    double d = std::sqrt(dx * dx + dy * dy);
    if (d > r - 1)
        d = r - 1;
    light[0] = static_cast<float>(std::cos(phi) * d / r);
    light[1] = static_cast<float>(-(std::sin(phi) * d / r));
    light[2] = static_cast<float>(1 - d / r);
    NormaliseLight(light);
}

void PointFromLight(const float in[3], double cx, double cy, double r, int32_t& x, int32_t& y)
{
    float v[3] = {in[0], in[1], in[2]};
    NormaliseLight(v);
    // A light from behind the piece puts the ball on the rim, where a grazing light sits.
    double theta = std::acos(v[2] < 0.0f ? 0.0 : (v[2] > 1.0f ? 1.0 : double(v[2])));
    if (theta > kPi / 2)
        theta = kPi / 2;
    const double f = std::sin(theta) * std::sin(kPi / 4) * r / std::sin(kPi - theta - kPi / 4);
    const double phi = std::atan2(double(v[1]), double(v[0]));
    x = static_cast<int32_t>(static_cast<float>(std::cos(phi) * f + cx));
    y = static_cast<int32_t>(static_cast<float>(cy - std::sin(phi) * f));
}

void LightFromAngles(int32_t angle, int32_t altitude, float light[3])
{
    const double a = angle * kPi / 180, h = altitude * kPi / 180;
    light[0] = static_cast<float>(std::cos(a) * std::cos(h));
    light[1] = static_cast<float>(std::sin(a) * std::cos(h));
    light[2] = static_cast<float>(std::cos(kPi / 2 - h));
    NormaliseLight(light);
}

void AnglesFromLight(const float in[3], int32_t& angle, int32_t& altitude)
{
    float v[3] = {in[0], in[1], in[2]};
    NormaliseLight(v);
    const double x = v[0], y = v[1];
    const double z = v[2] < -1.0f ? -1.0 : (v[2] > 1.0f ? 1.0 : double(v[2]));
    // To the nearest degree: the light of a typed angle, held in floats, comes back a hair off
    // it (359.99... or 45.0001), and must read as that angle again. 360 is 0.
    const double phi = y >= 0 ? std::atan2(y, x) : std::atan2(-y, -x) + kPi;
    angle = static_cast<int32_t>(std::lround(phi * 180 / kPi)) % 360;
    angle = std::clamp(angle, 0, 359);
    altitude = static_cast<int32_t>(std::lround((kPi / 2 - std::acos(z)) * 180 / kPi));
    if (altitude < 1)
        altitude = 1;
    else if (altitude > 89)
        altitude = 90;
}

void DialSegment(int32_t angle, int32_t width, double& x0, double& y0, double& x1, double& y1)
{
    const double h = width / 2;
    const double r = h - 10;
    const double t = angle * kPi / 180;
    x0 = h + r * std::cos(t);
    y0 = h - r * std::sin(t);
    x1 = h - r * std::cos(t);
    y1 = h + r * std::sin(t);
}

// ---- the model ----------------------------------------------------------------------------------

CEffectModel::CEffectModel(Effect effect) : m_effect(effect < kEffectCount ? effect : kBlur)
{
    std::memset(m_values, 0, sizeof m_values);
    std::memset(&m_defaults, 0, sizeof m_defaults);
}

const Field& CEffectModel::FieldOf(int param, int k) const
{
    const EffectInfo& info = Info();
    if (param < 0 || param >= info.paramCount)
        param = 0;
    const Param& p = info.params[param];
    if (k < 0 || k >= p.fieldCount)
        k = 0;
    return info.fields[p.firstField + k];
}

int32_t CEffectModel::GetTarget(int32_t i) const
{
    if (i < 0 || i >= m_targetCount)
        return -1;
    return reinterpret_cast<const int32_t*>(m_targets.GetData())[i];
}

bool CEffectModel::CollectTargets(CJigcrafter& engine, const PieceEffectRecord* snapshots,
                                  int32_t count)
{
    m_targetCount = 0;
    m_computed = false;
    m_snapshots = nullptr;
    m_snapshotCount = 0;
    m_pieceCount = 0;
    const int32_t pieces = engine.GetPieceCount();
    if (pieces <= 0 || !snapshots || count < pieces)
        return false;
    if (!m_targets.Alloc(static_cast<size_t>(pieces) * sizeof(int32_t)) ||
        !m_centres.Alloc(static_cast<size_t>(pieces) * 2 * sizeof(double)))
        return false;
    int32_t* targets = reinterpret_cast<int32_t*>(m_targets.GetData());
    double* centres = reinterpret_cast<double*>(m_centres.GetData());
    m_box = {1000000.0, 1000000.0, -1000000.0, -1000000.0};
    int32_t n = 0;
    for (int pass = 0; pass < 2 && n == 0; ++pass) {
        for (int32_t i = 0; i < pieces; ++i) {
            const JigPiece* p = engine.GetPiece(i);
            if (pass == 0 && !p->selected)
                continue;
            const double cx = (p->left + p->right) * 0.5, cy = (p->top + p->bottom) * 0.5;
            centres[2 * n] = cx;
            centres[2 * n + 1] = cy;
            targets[n++] = i;
            if (cx < m_box.minX) m_box.minX = cx;
            if (cy < m_box.minY) m_box.minY = cy;
            if (cx > m_box.maxX) m_box.maxX = cx;
            if (cy > m_box.maxY) m_box.maxY = cy;
        }
    }
    if (!m_entries.Alloc(static_cast<size_t>(n) * Info().size))
        return false;
    m_targetCount = n;
    m_snapshots = snapshots;
    m_snapshotCount = count;
    m_pieceCount = pieces;
    engine.DefaultsToRecord(m_defaults);
    return WriteSnapshots(engine);
}

void CEffectModel::Sanitise(PieceEffectRecord& r) const
{
    const EffectInfo& info = Info();
    const int fields = info.params[info.paramCount - 1].firstField +
                       info.params[info.paramCount - 1].fieldCount;
    for (int k = 0; k < fields; ++k)
        WriteField(r, info.fields[k], ReadField(r, info.fields[k]));
    uint8_t* b = Bytes(r);
    b[info.offset] = b[info.offset] ? 1 : 0;
    if (m_effect == kImageOverlay)
        r.imgLayerChoice = r.imgLayerChoice ? 1 : 0;
}

void CEffectModel::LoadFromPiece(int32_t currentPiece)
{
    std::memset(m_values, 0, sizeof m_values);
    int32_t ref = currentPiece >= 0 && currentPiece < m_pieceCount ? currentPiece
                                                                   : GetTarget(0);
    if (ref >= 0 && m_snapshots)
        m_values[0] = m_snapshots[ref];
    Sanitise(m_values[0]);
    m_values[1] = m_defaults;
    Sanitise(m_values[1]);
    // The opacity sliders hold percent: value 1's opacity comes back from its slider.
    switch (m_effect) {
    case kColourOverlay: m_values[0].ovOpacity = PercentToByte(ByteToPercent(m_values[0].ovOpacity)); break;
    case kStroke: m_values[0].stOpacity = PercentToByte(ByteToPercent(m_values[0].stOpacity)); break;
    case kOpacity: m_values[0].opValue = PercentToByte(ByteToPercent(m_values[0].opValue)); break;
    case kImageOverlay:
        m_values[0].imgOpacity = PercentToByte(ByteToPercent(m_values[0].imgOpacity));
        break;
    case kBevel:
        // The two opacity sliders serve both values.
        m_values[0].hlOpacity = PercentToByte(ByteToPercent(m_values[0].hlOpacity));
        m_values[0].shOpacity = PercentToByte(ByteToPercent(m_values[0].shOpacity));
        m_values[1].hlOpacity = m_values[0].hlOpacity;
        m_values[1].shOpacity = m_values[0].shOpacity;
        break;
    default: break;
    }
    SetAdjust(false);
    m_computed = false;
}

int32_t CEffectModel::GetNumber(int which, int param) const
{
    return ReadField(m_values[which & 1], FieldOf(param));
}

void CEffectModel::SetNumber(int which, int param, int32_t number)
{
    WriteField(m_values[which & 1], FieldOf(param), number);
    m_computed = false;
}

void CEffectModel::SetColour(int which, int param, const uint8_t colour[8])
{
    const Param& p = Info().params[param < 0 || param >= Info().paramCount ? 0 : param];
    if (p.fieldCount != 8)
        return;
    for (int k = 0; k < 8; ++k)
        WriteField(m_values[which & 1], Info().fields[p.firstField + k], colour[k]);
    m_computed = false;
}

void CEffectModel::SetAdjust(bool on)
{
    m_adjust = on;
    if (!on) {
        m_active = 0;
        m_direction = 0;
    }
    for (bool& box : m_boxes)
        box = on;
    m_computed = false;
}

bool CEffectModel::GetBox(int param) const
{
    if (param < 0 || param >= Info().paramCount)
        return false;
    return Info().noBoxes ? m_adjust : m_boxes[param];
}

void CEffectModel::SetBox(int param, bool checked)
{
    if (param < 0 || param >= kMaxParams)
        return;
    m_boxes[param] = checked;
    m_computed = false;
}

void CEffectModel::SetDirection(int direction)
{
    m_direction = direction >= 0 && direction <= 8 ? direction : 0;
    m_computed = false;
}

void CEffectModel::Compute(Draw draw, void* context)
{
    if (!draw)
        draw = SystemDraw;
    const EffectInfo& info = Info();
    uint8_t* entries = m_entries.GetData();
    Bytes(m_values[0])[info.offset] = 1;
    for (int32_t i = 0; i < m_targetCount; ++i) {
        PieceEffectRecord r = m_values[0];
        if (m_adjust) {
            const double* centre =
                reinterpret_cast<const double*>(m_centres.GetData()) + 2 * static_cast<size_t>(i);
            const double t = m_direction == 0
                                 ? RandomPosition(draw(context))
                                 : GradientPosition(m_direction, m_box, centre[0], centre[1]);
            PieceEffectRecord snapshot = m_snapshots[GetTarget(i)];
            Sanitise(snapshot);
            for (int p = 0; p < info.paramCount; ++p) {
                const Param& param = info.params[p];
                const bool varies = info.noBoxes || m_boxes[p];
                for (int k = 0; k < param.fieldCount; ++k) {
                    const Field& f = info.fields[param.firstField + k];
                    const int32_t v = varies ? Interpolate(ReadField(m_values[0], f),
                                                           ReadField(m_values[1], f), t, f.min,
                                                           f.max)
                                             : ReadField(snapshot, f);
                    WriteField(r, f, v);
                }
            }
            Bytes(r)[info.offset] = 1;
        }
        std::memcpy(entries + static_cast<size_t>(i) * info.size, Bytes(r) + info.offset,
                    info.size);
    }
    m_computed = true;
}

void CEffectModel::GetEntry(int32_t i, PieceEffectRecord& out) const
{
    std::memset(&out, 0, sizeof out);
    if (i < 0 || i >= m_targetCount || !m_computed)
        return;
    const EffectInfo& info = Info();
    std::memcpy(Bytes(out) + info.offset, m_entries.GetData() + static_cast<size_t>(i) * info.size,
                info.size);
}

void CEffectModel::GetPreviewSetting(PieceEffectRecord& out) const
{
    out = m_values[m_active];
    const EffectInfo& info = Info();
    if (!m_adjust || info.noBoxes)
        return;
    for (int p = 0; p < info.paramCount; ++p) {
        if (m_boxes[p])
            continue;
        const Param& param = info.params[p];
        for (int k = 0; k < param.fieldCount; ++k) {
            const Field& f = info.fields[param.firstField + k];
            WriteField(out, f, ReadField(m_defaults, f));
        }
    }
}

bool CEffectModel::WriteSettings(CJigcrafter& engine, bool computed)
{
    if (computed && !m_computed)
        Compute();
    const EffectInfo& info = Info();
    bool ok = true;
    for (int32_t i = 0; i < m_targetCount; ++i) {
        const int32_t piece = GetTarget(i);
        PieceEffectRecord r;
        if (!engine.PieceToRecord(piece, r, kJigToApply)) {
            ok = false;
            continue;
        }
        if (computed) {
            std::memcpy(Bytes(r) + info.offset,
                        m_entries.GetData() + static_cast<size_t>(i) * info.size, info.size);
        } else {
            PieceEffectRecord snapshot = m_snapshots[piece];
            std::memcpy(Bytes(r) + info.offset, Bytes(snapshot) + info.offset, info.size);
        }
        ok = engine.RecordToPiece(r, piece) && ok;
    }
    return ok;
}

bool CEffectModel::WriteComputed(CJigcrafter& engine) { return WriteSettings(engine, true); }

bool CEffectModel::WriteSnapshots(CJigcrafter& engine) { return WriteSettings(engine, false); }

void CEffectModel::ShownRange(int param, int32_t& min, int32_t& max) const
{
    const Field& f = FieldOf(param);
    min = f.percent ? 0 : f.min;
    max = f.percent ? 100 : f.max;
}

int32_t CEffectModel::ClampTyped(int param, const char* text) const
{
    int32_t min, max;
    ShownRange(param, min, max);
    return std::clamp(ReadWholeNumber(text), min, max);
}

}  // namespace qwfx
