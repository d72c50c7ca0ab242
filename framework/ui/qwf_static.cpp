#include "framework/ui/qwf_static.h"

#include <algorithm>
#include <cmath>

#include "framework/ui/qwf_window.h"

// --- what the static image and the static text share ---

CQWF_CtrlStatic::CQWF_CtrlStatic() : m_text("") {}

CQWF_CtrlStatic::~CQWF_CtrlStatic() = default;

bool CQWF_CtrlStatic::Build(const char* folderFormat)
{
    CQWF_String folder;
    if (!SkinFolder(folderFormat, folder)) return false;
    // Without its Normal image the control would have no place: refused like the other kinds.
    if (!LoadElement(folder, "Normal", m_normal)) {
        SetError(QWF_ERR_SKIN);
        return false;
    }
    bool any = false;
    QWF_UniteRect(m_rect, any, m_normal.rect);
    if (LoadElement(folder, "Disabled", m_disabled)) QWF_UniteRect(m_rect, any, m_disabled.rect);
    QWF_EmptyRectToNone(m_rect);
    const int32_t w = m_rect.right - m_rect.left, h = m_rect.bottom - m_rect.top;
    if (QWF_IsWholeRect(m_rect) || w > 65535 || h > 65535 ||
        !m_layer.Create(static_cast<int16_t>(m_rect.left), static_cast<int16_t>(m_rect.top), 1, static_cast<uint16_t>(w),
                        static_cast<uint16_t>(h))) {
        SetError(m_layer.GetError() ? m_layer.GetError() : QWF_ERR_SKIN);
        return false;
    }
    if (m_window && m_window->AddLayer(&m_layer) < 0) {
        SetError(m_window->GetError());
        return false;
    }
    m_created = true;
    DrawState(kNormal, false);
    return true;
}

void CQWF_CtrlStatic::DrawState(uint8_t state, bool force)
{
    if (!m_created) return;
    const QWF_SkinElement* element = &m_normal;
    m_disabledLook = false;
    if (state == kDisabled) {
        if (m_disabled.Present())
            element = &m_disabled;
        else
            m_disabledLook = true;
    } else if (state != kNormal) {
        return;
    }
    m_layer.SetOpacity(m_disabledLook ? m_disabledOpacity : 255);
    if (state == m_state && !force) return;
    DrawElement(&m_layer, *element, m_rect);
    m_state = state;
    if (m_carriesText) {
        if (m_layer.m_font)
            m_layer.SetText(m_text.GetBuffer(), 0, m_lineHeight, m_textX, m_textY);
        else if (m_kind == QWF_CTRL_STATIC_TEXT)
            m_layer.Fill(0, 8);  // no font yet: no letters, nothing shows
    }
    Redraw();
}

void CQWF_CtrlStatic::Redraw()
{
    if (!m_created) return;
    if (m_disabledLook) m_layer.SetOpacity(m_disabledOpacity);
    QWF_Rect r;
    m_layer.GetRect(r);
    RepaintRect(r);
}

void CQWF_CtrlStatic::SetEnabled(bool enabled)
{
    CQWF_Control::SetEnabled(enabled);
    DrawState(enabled ? kNormal : kDisabled, false);
}

void CQWF_CtrlStatic::SetTextAt(const char* text, int16_t x, int16_t y, int16_t lineHeight)
{
    if (!text) return;
    m_text = text;
    m_textX = x;
    m_textY = y;
    m_lineHeight = lineHeight;
    m_carriesText = true;
    DrawState(m_state, true);
}

void CQWF_CtrlStatic::SetText(const char* text) { SetTextAt(text, m_textX, m_textY, m_lineHeight); }

void CQWF_CtrlStatic::SetTextFont(CQWF_Font* font)
{
    m_layer.m_font = font;
    if (m_carriesText) DrawState(m_state, true);
}

void CQWF_CtrlStatic::AddTabStop(uint32_t x) { m_layer.AddTabStop(x); }

void CQWF_CtrlStatic::SetOpacity(uint8_t opacity)
{
    m_layer.SetOpacity(opacity);
    QWF_Rect r;
    m_layer.GetRect(r);
    if (m_created) RepaintRect(r);
}

// --- the static image ---

CQWF_CtrlStaticImage::CQWF_CtrlStaticImage() { m_kind = QWF_CTRL_STATIC_IMAGE; }

CQWF_CtrlStaticImage::~CQWF_CtrlStaticImage() = default;

bool CQWF_CtrlStaticImage::Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage)
{
    return CQWF_Control::Create(window, index, name, storage) && Build("UIResources>Static Images>%s");
}

QWF_Rect CQWF_CtrlStaticImage::GetRect()
{
    if (m_layer.IsEmpty()) return QWF_WHOLE_RECT;
    QWF_Rect r;
    m_layer.GetRect(r);
    return r;
}

bool CQWF_CtrlStaticImage::HitTest(int32_t x, int32_t y)
{
    if (!m_created) return false;
    if (m_state == kNormal || (m_state == kDisabled && !m_disabled.Present())) return m_normal.Contains(x, y);
    if (m_state == kDisabled) return m_disabled.Contains(x, y);
    return false;
}

const uint8_t* CQWF_CtrlStaticImage::GetStateRect(uint8_t state, QWF_Rect& rect) const
{
    const QWF_SkinElement* e = nullptr;
    if (state == kNormal)
        e = &m_normal;
    else if (state == kDisabled)
        e = m_disabled.Present() ? &m_disabled : &m_normal;
    if (!e || !e->Present()) return nullptr;
    rect = e->rect;
    return e->pixels;
}

bool CQWF_CtrlStaticImage::Forward(int32_t code, void* data)
{
    if (!m_notifyParent || !m_parent) return false;
    return m_parent->OnChildNotify(code, m_index, GetName(), m_kind, data);
}

bool CQWF_CtrlStaticImage::OnMouseMove(int32_t x, int32_t y, uint32_t)
{
    Point p{x, y};
    return Forward(kForwardMove, &p);
}

bool CQWF_CtrlStaticImage::OnMouseDown(int32_t x, int32_t y, uint32_t)
{
    Point p{x, y};
    return Forward(kForwardDown, &p);
}

bool CQWF_CtrlStaticImage::OnMouseUp(int32_t x, int32_t y, uint32_t)
{
    Point p{x, y};
    return Forward(kForwardUp, &p);
}

bool CQWF_CtrlStaticImage::OnMouseWheel(int32_t x, int32_t y, uint32_t, int32_t steps)
{
    WheelPoint p{x, y, static_cast<int16_t>(steps)};
    return Forward(kForwardWheel, &p);
}

// --- the static text ---

CQWF_CtrlStaticText::CQWF_CtrlStaticText()
{
    m_kind = QWF_CTRL_STATIC_TEXT;
    m_carriesText = true;
}

CQWF_CtrlStaticText::~CQWF_CtrlStaticText() = default;

bool CQWF_CtrlStaticText::Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage)
{
    return CQWF_Control::Create(window, index, name, storage) && Build("UIResources>Static Texts>%s");
}

// --- the progress bar ---

CQWF_CtrlProgress::CQWF_CtrlProgress() { m_kind = QWF_CTRL_PROGRESS; }

CQWF_CtrlProgress::~CQWF_CtrlProgress() = default;

bool CQWF_CtrlProgress::Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage)
{
    if (!CQWF_Control::Create(window, index, name, storage)) return false;
    CQWF_String folder;
    if (!SkinFolder("UIResources>Progresses>%s", folder)) return false;
    if (!LoadElement(folder, "Normal", m_normal) || !LoadElement(folder, "Data", m_data)) {
        SetError(QWF_ERR_SKIN);
        return false;
    }
    m_rect = m_normal.rect;
    if (!CreateLayer(m_layer, m_rect)) return false;
    m_created = true;
    SetPos(50.0);
    return true;
}

void CQWF_CtrlProgress::SetRange(double minimum, double maximum)
{
    m_min = minimum;
    m_max = maximum;
}

void CQWF_CtrlProgress::SetPos(double position)
{
    const double low = std::min(m_min, m_max), high = std::max(m_min, m_max);
    m_pos = std::isnan(position) ? m_min : std::clamp(position, low, high);
    // Scaled before dividing, so that whole positions of a 0 to 100 range give whole percents;
    // an empty range shows nothing rather than dividing by zero.
    const double span = m_max - m_min;
    const double t = span != 0.0 ? (m_pos - m_min) * 255.0 / span : 0.0;
    const double percent = span != 0.0 ? (m_pos - m_min) * 100.0 / span : 0.0;
    const int32_t threshold = static_cast<int32_t>(std::clamp(std::trunc(t), 0.0, 255.0));
    if (!m_layer.IsEmpty() && m_normal.Present()) {
        DrawElement(&m_layer, m_normal, m_rect);
        // Every pixel whose threshold lies above t is hidden; the others keep their alpha.
        const int32_t left = std::max(m_data.rect.left, m_rect.left), right = std::min(m_data.rect.right, m_rect.right);
        const int32_t top = std::max(m_data.rect.top, m_rect.top), bottom = std::min(m_data.rect.bottom, m_rect.bottom);
        uint8_t* alpha = m_layer.GetPlane(3);
        const int32_t w = m_layer.GetWidth();
        for (int32_t y = top; y < bottom; ++y)
            for (int32_t x = left; x < right; ++x)
                if (m_data.MaskAt(x, y) > threshold)
                    alpha[static_cast<size_t>(y - m_rect.top) * w + (x - m_rect.left)] = 0;
        RepaintRect(m_rect);
    }
    int32_t value = static_cast<int32_t>(std::clamp(std::trunc(percent), 0.0, 100.0));
    Notify(QWF_NOTIFY_VALUE, &value);
}

void CQWF_CtrlProgress::SetBarVisible(bool visible)
{
    m_layer.SetVisible(visible ? 1 : 0);
    if (m_created) RepaintRect(m_rect);
}
