#include "framework/ui/qwf_control.h"

#include <algorithm>
#include <cstring>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_storage.h"
#include "framework/imaging/qwf_layer.h"
#include "framework/ui/qwf_window.h"

bool QWF_ReadSkinElement(CQWF_Storage* storage, const char* key, size_t bytesPerPixel,
                         CQWF_Mem& memory, QWF_Rect& rect)
{
    if (!storage || !key || storage->GetKind(key) != CQWF_Storage::kKindBinary) return false;
    CQWF_Mem packed;
    if (!storage->GetBinary(key, packed)) return false;
    CQWF_Mem unpacked;
    CQWF_ZipBlock zip;
    zip.SetMode(0);
    zip.SetInputMem(packed);
    zip.SetOutputMem(&unpacked);
    if (!zip.Process() || unpacked.GetSize() < 8) return false;
    const uint8_t* p = unpacked.GetData();
    QWF_Rect r;
    r.left = (p[0] << 8) | p[1];
    r.top = (p[2] << 8) | p[3];
    r.right = (p[4] << 8) | p[5];
    r.bottom = (p[6] << 8) | p[7];
    if (r.right < r.left || r.bottom < r.top) return false;
    const size_t pixels = static_cast<size_t>(r.right - r.left) * static_cast<size_t>(r.bottom - r.top);
    if (unpacked.GetSize() - 8 < pixels * bytesPerPixel) return false;
    memory.Swap(unpacked);
    rect = r;
    return true;
}

bool QWF_SkinElement::Contains(int32_t x, int32_t y) const
{
    if (!pixels) return false;
    const int16_t px = static_cast<int16_t>(x), py = static_cast<int16_t>(y);
    return px >= static_cast<int16_t>(rect.left) && px < static_cast<int16_t>(rect.right) &&
           py >= static_cast<int16_t>(rect.top) && py < static_cast<int16_t>(rect.bottom);
}

uint8_t QWF_SkinElement::MaskAt(int32_t x, int32_t y) const
{
    if (!pixels || x < rect.left || x >= rect.right || y < rect.top || y >= rect.bottom) return 0;
    return pixels[static_cast<size_t>(y - rect.top) * Width() + (x - rect.left)];
}

const QWF_SkinElement* QWF_ChooseStateElement(const QWF_SkinElement* e, uint8_t state)
{
    const QWF_SkinElement* order[3] = {&e[0], nullptr, nullptr};
    switch (state) {
    case QWF_STATE_HIGHLIGHTED: order[0] = &e[1], order[1] = &e[0]; break;
    case QWF_STATE_PRESSED: order[0] = &e[2], order[1] = &e[1], order[2] = &e[0]; break;
    case QWF_STATE_DISABLED: order[0] = &e[3], order[1] = &e[0]; break;
    default: break;
    }
    for (const QWF_SkinElement* c : order)
        if (c && c->Present()) return c;
    return nullptr;
}

void QWF_UniteRect(QWF_Rect& into, bool& any, const QWF_Rect& r)
{
    if (!any) {
        into = r;
        any = true;
        return;
    }
    into.left = std::min(into.left, r.left);
    into.top = std::min(into.top, r.top);
    into.right = std::max(into.right, r.right);
    into.bottom = std::max(into.bottom, r.bottom);
}

void QWF_EmptyRectToNone(QWF_Rect& r)
{
    if (QWF_RectIsEmpty(r)) r = QWF_WHOLE_RECT;
}

CQWF_Control::CQWF_Control() = default;

CQWF_Control::~CQWF_Control() = default;

void CQWF_Control::SetEnabled(bool enabled) { m_enabled = enabled; }

void CQWF_Control::SetFocus(bool focus)
{
    if (!m_parent) {
        // The window tells every control to lose the focus before it records this one, so the
        // flag is stored after the request.
        if (focus) RequestFocus();
        m_focused = focus;
        return;
    }
    if (focus && !IsRootFocused()) m_parent->SetFocus(true);
}

void CQWF_Control::SetCheck(bool, bool) {}

bool CQWF_Control::Create(CQWF_Window* window, int32_t index, const char* name, CQWF_Storage* storage)
{
    m_window = window;
    m_index = index;
    m_name = name ? name : "";
    m_storage = storage;
    return true;
}

QWF_Rect CQWF_Control::GetRect() { return QWF_WHOLE_RECT; }

void CQWF_Control::Redraw() {}

bool CQWF_Control::OnTimer(uint32_t) { return true; }

bool CQWF_Control::OnMouseMove(int32_t, int32_t, uint32_t) { return false; }

bool CQWF_Control::OnMouseDown(int32_t, int32_t, uint32_t) { return false; }

bool CQWF_Control::OnMouseUp(int32_t, int32_t, uint32_t) { return false; }

bool CQWF_Control::OnMouseWheel(int32_t, int32_t, uint32_t, int32_t) { return false; }

bool CQWF_Control::OnKeyDown(uint32_t, uint32_t) { return false; }

bool CQWF_Control::OnKeyUp(uint32_t, uint32_t) { return false; }

bool CQWF_Control::OnChar(uint32_t, uint32_t) { return false; }

bool CQWF_Control::OnDoubleClick(int32_t, int32_t, uint32_t) { return false; }

bool CQWF_Control::OnTripleClick(int32_t, int32_t, uint32_t) { return false; }

bool CQWF_Control::HitTestIfEnabled(int32_t x, int32_t y) { return m_enabled ? HitTest(x, y) : false; }

bool CQWF_Control::HitTest(int32_t, int32_t) { return false; }

bool CQWF_Control::OnChildNotify(int32_t, int32_t, const char*, uint8_t, void*) { return false; }

void CQWF_Control::SetDisabledOpacity(uint8_t opacity)
{
    m_disabledOpacity = opacity;
    Redraw();
}

const uint8_t* CQWF_Control::LoadSkinElement(const char* key, QWF_Rect& rect, CQWF_Mem& memory)
{
    QWF_Rect r;
    CQWF_Mem m;
    if (!QWF_ReadSkinElement(m_storage, key, 4, m, r)) return nullptr;
    memory.Swap(m);
    rect = r;
    return memory.GetData() + 8;
}

bool CQWF_Control::BlitSkinElement(CQWF_Layer* layer, int32_t x, int32_t y, const uint8_t* pixels,
                                   const QWF_Rect& rect, int32_t firstRow, int32_t rowCount)
{
    if (!layer || !pixels || layer->IsEmpty()) return true;
    const int32_t W = layer->GetWidth(), H = layer->GetHeight();
    const int32_t w = rect.right - rect.left, h = rect.bottom - rect.top;
    uint8_t* dst = layer->GetData();
    const size_t layerPlane = static_cast<size_t>(W) * H;
    const size_t elementPlane = static_cast<size_t>(w) * h;
    const int planes = std::min(4, CQWF_Image::PlaneCount(layer->GetType()));
    if (firstRow == 0 && rowCount == 0) {
        std::memset(dst, 0, layer->GetDataSize());
        rowCount = h;
        if (w == W && h == H && x == 0 && y == 0 && planes == 4) {
            std::memcpy(dst, pixels, 4 * layerPlane);
            return true;
        }
    }
    if (firstRow < 0) firstRow = 0;
    // Parts left or above the layer are cut away as the right and bottom parts are.
    const int32_t skipColumns = std::max(-x, 0), skipRows = std::max(-y, 0);
    x += skipColumns;
    firstRow += skipRows;
    rowCount -= skipRows;
    y += skipRows;
    const int32_t rows = std::min({h - firstRow, H - y, rowCount});
    const int32_t columns = std::min(w - skipColumns, W - x);
    if (rows <= 0 || columns <= 0) return true;
    for (int p = 0; p < planes; ++p) {
        const uint8_t* src = pixels + p * elementPlane;
        uint8_t* to = dst + p * layerPlane;
        for (int32_t r = 0; r < rows; ++r)
            std::memcpy(to + static_cast<size_t>(y + r) * W + x,
                        src + static_cast<size_t>(firstRow + r) * w + skipColumns, static_cast<size_t>(columns));
    }
    return true;
}

bool CQWF_Control::SkinFolder(const char* format, CQWF_String& folder)
{
    if (!m_storage) {
        SetError(QWF_ERR_EMPTY);
        return false;
    }
    folder.Format(format, GetName());
    return true;
}

bool CQWF_Control::LoadElement(const CQWF_String& folder, const char* name, QWF_SkinElement& element)
{
    CQWF_String key = folder;
    key += ">";
    key += name;
    element.pixels = LoadSkinElement(key.GetBuffer(), element.rect, element.block);
    return element.pixels != nullptr;
}

uint8_t CQWF_Control::LoadStateElements(const CQWF_String& folder, const char* prefix, QWF_SkinElement* elements,
                                        QWF_Rect& rect)
{
    static const char* const kStates[4] = {"Normal", "Highlighted", "Pressed", "Disabled"};
    uint8_t found = 0;
    bool any = false;
    rect = QWF_WHOLE_RECT;
    for (int s = 0; s < 4; ++s) {
        CQWF_String name = prefix;
        name += kStates[s];
        if (!LoadElement(folder, name.GetBuffer(), elements[s])) continue;
        found |= static_cast<uint8_t>(1u << s);
        QWF_UniteRect(rect, any, elements[s].rect);
    }
    QWF_EmptyRectToNone(rect);
    return found;
}

void CQWF_Control::DrawElement(CQWF_Layer* layer, const QWF_SkinElement& element, const QWF_Rect& origin)
{
    BlitSkinElement(layer, element.rect.left - origin.left, element.rect.top - origin.top, element.pixels,
                    element.rect, 0, 0);
}

bool CQWF_Control::CreateLayer(CQWF_Layer& layer, const QWF_Rect& rect, bool addToFace)
{
    const int32_t w = rect.right - rect.left, h = rect.bottom - rect.top;
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    if (!layer.Create(static_cast<int16_t>(rect.left), static_cast<int16_t>(rect.top), static_cast<uint16_t>(w),
                      static_cast<uint16_t>(h), QWF_IMAGE_RGBA)) {
        SetError(layer.GetError());
        return false;
    }
    return !addToFace || AddToFace(layer);
}

bool CQWF_Control::AddToFace(CQWF_Layer& layer)
{
    if (m_window && m_window->AddLayer(&layer) < 0) {
        SetError(m_window->GetError());
        return false;
    }
    return true;
}

void CQWF_Control::RepaintRect(const QWF_Rect& rect)
{
    if (!m_window || QWF_RectIsEmpty(rect)) return;
    m_window->InvalidateRect(rect.left, rect.top, rect.right, rect.bottom);
    m_window->Redraw(rect.left, rect.top, rect.right, rect.bottom);
}

bool CQWF_Control::MoveAtPointer()
{
    int32_t x = 0, y = 0;
    if (!GetCursorPos(x, y)) return false;
    OnMouseMove(x, y, 0);
    return true;
}

bool CQWF_Control::SetTimer(uint32_t milliseconds, uint32_t slot)
{
    if (slot >= kTimerSlots || !m_window) return false;
    return m_window->SetControlTimer(milliseconds, slot, this);
}

bool CQWF_Control::KillTimer(uint32_t slot)
{
    if (slot >= kTimerSlots || !m_window) return false;
    return m_window->KillControlTimer(slot, this);
}

bool CQWF_Control::GetCursorPos(int32_t& x, int32_t& y) const
{
    return m_window && m_window->GetCursorPos(x, y);
}

bool CQWF_Control::Notify(int32_t code, void* data)
{
    if (m_notifyParent) {
        if (!m_parent) return false;
        return m_parent->OnChildNotify(code, m_index, GetName(), m_kind, data);
    }
    if (!m_window) return false;
    return m_window->OnNotify(code, m_index, GetName(), m_kind, data);
}

bool CQWF_Control::IsRootFocused() const
{
    const CQWF_Control* c = this;
    while (c->m_parent) c = c->m_parent;
    return c->m_focused;
}

void CQWF_Control::RequestFocus()
{
    if (m_window) m_window->SetFocusControl(m_index);
}

int32_t CQWF_Control::DropFocus() { return m_window ? m_window->ReleaseFocus(m_index) : -1; }

void CQWF_Control::UncheckGroup()
{
    if (m_window) m_window->UncheckRadioGroup(m_index, m_radioGroup);
}

CQWF_Control* CQWF_Control::GetSiblingControl(int32_t index) const
{
    return m_window ? m_window->GetControl(index) : nullptr;
}
