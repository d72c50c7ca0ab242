#include "framework/ui/qwf_ruler.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "framework/imaging/qwf_font.h"

namespace {

constexpr double kEpsilon = 0.000001;

// One tick level of a unit: its tick length and how many ticks of the level below make one of
// it.
struct Level {
    uint8_t length;
    int32_t multiple;
};

struct UnitTable {
    double base;      // units per inch, or 100 for percent
    double finest;    // spacing of the finest level
    int levels;
    Level level[6];
    bool percent;
};

constexpr UnitTable kInches{1.0, 0.03125, 6, {{2, 1}, {3, 2}, {4, 2}, {5, 2}, {6, 2}, {7, 2}}, false};
constexpr UnitTable kCentimetres{2.54, 0.1, 3, {{3, 1}, {5, 5}, {7, 2}}, false};
constexpr UnitTable kMillimetres{25.4, 0.5, 4, {{3, 1}, {5, 2}, {6, 5}, {7, 2}}, false};
constexpr UnitTable kPercent{100.0, 0.1, 3, {{3, 1}, {5, 5}, {7, 2}}, true};

const UnitTable* TableOf(uint8_t units)
{
    switch (units) {
    case QWF_UNITS_INCHES: return &kInches;
    case QWF_UNITS_CM: return &kCentimetres;
    case QWF_UNITS_MM: return &kMillimetres;
    case QWF_UNITS_PERCENT: return &kPercent;
    default: return nullptr;
    }
}

constexpr int64_t kNoLabel = INT64_MIN;

}  // namespace

CQWF_CtrlRuler::CQWF_CtrlRuler() { m_kind = QWF_CTRL_RULER; }

CQWF_CtrlRuler::~CQWF_CtrlRuler() = default;

bool CQWF_CtrlRuler::IsVertical() const { return m_normal.Width() < m_normal.Height(); }

int32_t CQWF_CtrlRuler::GetLength() const { return IsVertical() ? m_normal.Height() : m_normal.Width(); }

int32_t CQWF_CtrlRuler::GetBreadth() const { return IsVertical() ? m_normal.Width() : m_normal.Height(); }

uint8_t* CQWF_CtrlRuler::Alpha()
{
    const size_t plane = static_cast<size_t>(m_normal.Width()) * m_normal.Height();
    return m_normal.block.GetData() + 8 + 3 * plane;
}

uint8_t& CQWF_CtrlRuler::At(int32_t line, int32_t across)
{
    const int32_t w = m_normal.Width();
    return IsVertical() ? Alpha()[static_cast<size_t>(line) * w + across] : Alpha()[static_cast<size_t>(across) * w + line];
}

uint8_t CQWF_CtrlRuler::AlphaAt(int32_t line, int32_t across) const
{
    if (!m_normal.Present() || line < 0 || across < 0 || line >= GetLength() || across >= GetBreadth()) return 0;
    return const_cast<CQWF_CtrlRuler*>(this)->At(line, across);
}

void CQWF_CtrlRuler::SetView(const QWF_RulerView& view, bool redraw)
{
    m_view = view;
    m_hasView = true;
    if (redraw) Redraw();
}

void CQWF_CtrlRuler::Redraw()
{
    if (!m_created || !m_normal.Present()) return;
    DrawMarks();
    DrawElement(&m_layer, m_state == kDisabled && m_disabled.Present() ? m_disabled : m_normal, m_rect);
    CQWF_CtrlStatic::Redraw();
}

void CQWF_CtrlRuler::PixelTicks(int32_t count, uint8_t* ticks, int64_t* labels) const
{
    const int32_t shift = m_view.zoomShift;
    if (shift <= 0) {
        // Each line covers 2^-shift image pixels.
        const int32_t k = std::min(-shift, 30);
        const int64_t start = static_cast<int64_t>(m_view.first >> k);
        for (int32_t i = 0; i < count; ++i) {
            const int64_t c = start + i;
            if (c % 50 == 0) {
                ticks[i] = kLabelTick;
                labels[i] = static_cast<int64_t>(m_view.first) + (static_cast<int64_t>(i) << k);
            } else {
                ticks[i] = c % 10 == 0 ? 7 : c % 5 == 0 ? 4 : 0;
            }
        }
        return;
    }
    // Each image pixel covers v lines.
    const int64_t v = int64_t{1} << std::min(shift, 30);
    const int64_t period = (shift == 1 ? 50 : shift == 2 ? 20 : 10) * v;
    const int64_t start = m_view.phase + static_cast<int64_t>(m_view.first) * v;
    for (int32_t i = 0; i < count; ++i) {
        const int64_t c = start + i;
        if (c % period == 0) {
            ticks[i] = kLabelTick;
            labels[i] = c / v;
        } else {
            ticks[i] = c % (10 * v) == 0 ? 7 : c % v == 0 ? 4 : 0;
        }
    }
}

bool CQWF_CtrlRuler::UnitTicks(int32_t count, uint8_t* ticks, int64_t* labels) const
{
    const UnitTable* table = TableOf(m_view.units);
    if (!table || !(m_view.scale > 0)) return false;
    // Units per line, and the smallest spacing that keeps ticks 5 lines apart.
    const double du = table->base / m_view.scale * std::ldexp(1.0, -m_view.zoomShift);
    const double m = 5 * du;
    if (!std::isfinite(du) || !(du > 0)) return false;

    // Drop fine levels while their ticks would crowd; past the coarsest level, widen its step.
    int first = 0;
    double s = table->finest;
    while (s < m && first + 1 < table->levels) {
        ++first;
        s = table->finest;
        for (int j = 1; j <= first; ++j) s *= table->level[j].multiple;
    }
    if (s < m && !table->percent && s < 1.99) s = 2;
    if (s < m && s < 4.99) s = 5;
    if (s < m) s = std::max(s + 5, 5 * std::ceil(m / 5));
    if (!std::isfinite(s)) return false;
    const int levels = table->levels - first;
    int64_t k[6];
    for (int j = 0; j < levels; ++j) k[j] = j == 0 ? 1 : k[j - 1] * table->level[first + j].multiple;
    const int64_t kLast = k[levels - 1];
    const double majorUnits = std::trunc(static_cast<double>(kLast) * s);
    if (!(majorUnits >= 1) || majorUnits > 1e15) return true;  // nothing further to draw
    const int64_t major = static_cast<int64_t>(majorUnits);

    // Labels at least 50 lines apart.
    const double need = 50.0 / (s / du);
    int64_t c = 1;
    while (static_cast<double>(c * kLast) < need) {
        if (table->percent) c = c == 1 ? 5 : c + 5;
        else c = c == 1 ? 2 : c == 2 ? 5 : c + 5;
    }
    const int64_t labelStep = c * major;

    // Where the first line stands in units, and the first tick.
    const int32_t shift = m_view.zoomShift;
    const uint64_t firstLine = shift >= 0 ? static_cast<uint64_t>(m_view.first) << std::min(shift, 30)
                                          : static_cast<uint64_t>(m_view.first) >> std::min(-shift, 30);
    const double p = static_cast<double>(m_view.phase + firstLine) * du;
    double n = std::trunc(p / s);
    double r = p - n * s;
    if (r > kEpsilon) n += 1;
    int64_t counter[6];
    for (int j = 0; j < levels; ++j) counter[j] = static_cast<int64_t>(std::fmod(n, static_cast<double>(k[j])));
    int64_t value = static_cast<int64_t>(std::trunc(p + static_cast<double>(major) - kEpsilon)) / major * major;
    bool tickLine = r < kEpsilon;

    for (int32_t i = 0; i < count; ++i) {
        ticks[i] = 0;
        if (tickLine) {
            for (int j = 0; j < levels; ++j)
                if (counter[j] == 0) ticks[i] = table->level[first + j].length;
            if (counter[levels - 1] == 0) {
                if (value % labelStep == 0) {
                    ticks[i] = kLabelTick;
                    labels[i] = value;
                }
                value += major;
            }
            for (int j = 0; j < levels; ++j)
                if (++counter[j] >= k[j]) counter[j] = 0;
            tickLine = false;
        }
        r += du;
        if (r >= s - kEpsilon) {
            r -= s;
            tickLine = true;
        }
    }
    return true;
}

void CQWF_CtrlRuler::DrawLabel(int32_t line, int64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    const bool vertical = IsVertical();
    const int32_t length = GetLength(), breadth = GetBreadth();
    int32_t pen = line + 2;
    for (const char* ch = text; *ch; ++ch) {
        int8_t left, spacing, top;
        uint8_t w, h;
        const uint8_t* glyph = m_font->GetGlyph(static_cast<uint8_t>(*ch), left, spacing, top, w, h);
        if (!glyph) continue;
        // Along the ruler the glyph takes its width (horizontal) or height (vertical).
        const int32_t along = vertical ? h : w, across = vertical ? w : h;
        for (int32_t a = 0; a < along && pen + a < length; ++a) {
            for (int32_t b = 0; b < across; ++b) {
                const int32_t at = m_view.innerMargin + b;
                if (at >= breadth) break;
                At(pen + a, at) = vertical ? glyph[static_cast<size_t>(a) * w + b] : glyph[static_cast<size_t>(b) * w + a];
            }
        }
        pen += along + 1;
        if (pen >= length) break;
    }
}

void CQWF_CtrlRuler::DrawMarks()
{
    const int32_t length = GetLength(), breadth = GetBreadth();
    uint8_t* alpha = Alpha();
    std::fill(alpha, alpha + static_cast<size_t>(length) * breadth, 0);
    // Until the preview tells it what to show, the strip stays without marks.
    if (!m_hasView || length <= 0) return;
    const int32_t lead = std::min<int32_t>(m_view.lead, length);
    const int32_t count = std::max(length - lead - m_view.trail, 0);
    std::vector<uint8_t> ticks(static_cast<size_t>(count), 0);
    std::vector<int64_t> labels(static_cast<size_t>(count), kNoLabel);
    const bool units = (m_view.units >= QWF_UNITS_INCHES && m_view.units <= QWF_UNITS_MM && m_view.scale > 0) ||
                       m_view.units == QWF_UNITS_PERCENT;
    if (!units || !UnitTicks(count, ticks.data(), labels.data())) {
        std::fill(labels.begin(), labels.end(), kNoLabel);
        PixelTicks(count, ticks.data(), labels.data());
    }
    const int32_t area = breadth - m_view.innerMargin - m_view.outerMargin;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t t = std::min<int32_t>(ticks[static_cast<size_t>(i)], std::max(area, 0));
        const int32_t end = m_view.innerMargin + std::max(area, 0);
        for (int32_t b = end - t; b < end; ++b) At(lead + i, b) = 255;
    }
    if (m_font) {
        int32_t drawn = 0;
        for (int32_t i = 0; i < count && drawn < kMaxLabels; ++i)
            if (labels[static_cast<size_t>(i)] != kNoLabel) {
                DrawLabel(lead + i, labels[static_cast<size_t>(i)]);
                ++drawn;
            }
    }
    if (m_view.pointer < length)
        for (int32_t b = 0; b < breadth; ++b) At(m_view.pointer, b) = (b & 1) ? 255 : 0;
}
