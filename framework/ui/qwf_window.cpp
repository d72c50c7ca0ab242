// Window creation from the skin, the outline and the shadow, the face and its painting, fonts,
// controls and rectangles.
#include "framework/ui/qwf_window.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "framework/core/qwf_storage.h"
#include "framework/imaging/qwf_font.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_uiscript.h"
#include "platform/qw_surface.h"

namespace {
CQWF_Storage* AppStorage()
{
    CQWF_App* app = CQWF_App::GetApp();
    return app ? app->GetStorage() : nullptr;
}

constexpr int32_t kWhole = QWF_WHOLE;
}  // namespace

namespace {
std::vector<CQWF_Window*>& LiveWindows()
{
    static std::vector<CQWF_Window*> windows;
    return windows;
}
}  // namespace

const std::vector<CQWF_Window*>& QWF_LiveWindows() { return LiveWindows(); }

CQWF_Window::CQWF_Window()
{
    LiveWindows().push_back(this);
    m_doubleClickTime = qwp::WS().DoubleClickTime();
    if (CQWF_App* app = CQWF_App::GetApp()) m_doubleClickTime = app->GetDoubleClickTime();
    m_canBlend = qwp::WS().CanBlend();
}

CQWF_Window::~CQWF_Window()
{
    std::vector<CQWF_Window*>& live = LiveWindows();
    for (size_t i = live.size(); i-- > 0;)
        if (live[i] == this) {
            live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    for (size_t i = 0; i < m_controls.GetCount(); ++i) {
        if (m_attached.GetAt(i)) continue;
        delete static_cast<CQWF_Control*>(m_controls.GetAt(i));
    }
    m_controls.RemoveAll();
    for (size_t i = 0; i < m_fonts.GetCount(); ++i) delete static_cast<CQWF_Font*>(m_fonts.GetAt(i));
    m_fonts.RemoveAll();
    if (m_hwnd) {
        m_closing = 1;
        qwp::WindowHandle h = m_hwnd;
        m_hwnd = 0;
        qwp::WS().DestroyWindow(h);
    }
    m_face.Clear();
}

bool CQWF_Window::LoadSkinLayer(CQWF_Storage* storage, const char* key, CQWF_Layer& layer)
{
    CQWF_Mem element;
    QWF_Rect r;
    if (!QWF_ReadSkinElement(storage, key, 4, element, r) || r.right == r.left || r.bottom == r.top ||
        r.right > 32767 || r.bottom > 32767) {
        SetError(QWF_ERR_SKIN);
        return false;
    }
    if (!layer.Create(static_cast<int16_t>(r.left), static_cast<int16_t>(r.top),
                      static_cast<uint16_t>(r.right - r.left), static_cast<uint16_t>(r.bottom - r.top),
                      QWF_IMAGE_RGBA)) {
        SetError(layer.GetError());
        return false;
    }
    std::memcpy(layer.GetData(), element.GetData() + 8, layer.GetDataSize());
    return true;
}

bool CQWF_Window::CreateFromSkin(const char* name, int32_t x, int32_t y, CQWF_Window* owner,
                                 uint8_t user)
{
    ClearError();
    CQWF_Storage* storage = AppStorage();
    if (!storage || !name) {
        SetError(QWF_ERR_EMPTY);
        return false;
    }
    CQWF_String folder;
    folder.Format("UIResources>Windows>%s", name);
    CQWF_String key = folder + ">Background";
    if (!LoadSkinLayer(storage, key.GetBuffer(), m_background)) return false;
    SetRegionFromAlpha(&m_background);
    QWF_Rect bg;
    m_background.GetRect(bg);
    const int32_t width = bg.right + bg.left, height = bg.bottom + bg.top;
    if (width > 32767 || height > 32767) {
        SetError(QWF_ERR_SKIN);
        return false;
    }
    if (!Create(name, x, y, static_cast<uint16_t>(width), static_cast<uint16_t>(height),
                CQWF_App::GetApp()->m_shadow, owner, user, false))
        return false;
    if (!m_background.ConvertType(QWF_IMAGE_RGB)) {
        SetError(m_background.GetError());
        return false;
    }
    AddLayer(&m_background);
    key = folder + ">Caption_Active";
    if (storage->GetKind(key) != CQWF_Storage::kKindMissing) {
        m_captionActivePresent = 1;
        if (!LoadSkinLayer(storage, key.GetBuffer(), m_captionActive)) return false;
        m_captionActiveIndex = AddLayer(&m_captionActive);
        m_dragLayer = m_captionActiveIndex;
        key = folder + ">Caption_Inactive";
        if (storage->GetKind(key) != CQWF_Storage::kKindMissing) {
            m_captionInactivePresent = 1;
            if (!LoadSkinLayer(storage, key.GetBuffer(), m_captionInactive)) return false;
            m_captionInactive.SetVisible(0);
            m_captionInactiveIndex = AddLayer(&m_captionInactive);
        }
    }
    // A drag area that cannot be read is left out; the window opens without it.
    key = folder + ">Drag_Area";
    QWF_Rect r;
    if (QWF_ReadSkinElement(storage, key.GetBuffer(), 1, m_dragMem, r)) {
        m_dragRect = r;
        m_dragMask = m_dragMem.GetData() + 8;
    }
    return OnCreate(&m_face, m_width, m_height);
}

bool CQWF_Window::Create(const char* title, int32_t x, int32_t y, uint16_t width, uint16_t height,
                         uint8_t shadow, CQWF_Window* owner, uint8_t user, bool callOnCreate)
{
    ClearError();
    qwp::WindowSystem& ws = qwp::WS();
    m_owner = owner;
    m_hasShadow = shadow;
    m_width = width;
    m_height = height;
    m_title = title ? title : "";
    m_name = m_title;
    m_userByte = user;
    if (!width || !height) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    // Position: centred in the primary work area, or kept at least partly on the nearest one.
    if (x == kWhole && y == kWhole) {
        const qwp::ScreenRect work = ws.WorkArea();
        x = work.left + (work.right - width - work.left) / 2;
        y = work.top + (work.bottom - height - work.top) / 2;
    } else {
        const qwp::ScreenRect work = ws.NearestWorkArea({x + 20, y, x + width - 40, y + 20});
        if (y < work.top)
            y = work.top;
        else if (y > work.bottom - 20)
            y = work.bottom - 20;
        if (x < work.left - width + 20)
            x = work.left - width + 20;
        else if (x > work.right - 20)
            x = work.right - 20;
    }
    if (m_hwnd) {
        SetError(QWF_ERR_WINDOW_EXISTS);
        return false;
    }
    if (!m_canBlend) m_hasShadow = 0;
    if (!m_face.Create(width, height)) {
        SetError(m_face.GetError());
        return false;
    }
    if (!m_offscreen.Create(width, height)) {
        SetError(m_offscreen.GetError());
        return false;
    }
    qwp::WindowParams params;
    params.x = x;
    params.y = y;
    params.width = width;
    params.height = height;
    params.title = m_title.GetBuffer();
    params.className = QWF_WINDOW_CLASS;
    params.client = &m_client;
    if (m_foreignParent) {
        params.owner = m_foreignParent;
    } else if (owner && owner->GetHWND()) {
        params.owner = owner->GetHWND();
        params.toolWindow = true;
    }
    m_hwnd = ws.CreateWindow(params);
    if (!m_hwnd) {
        SetError(QWF_ERR_WINDOW_NATIVE);
        return false;
    }
    // A shadow needs a screen that blends; without one the window goes without it.
    if (m_hasShadow && !ws.CanBlend()) m_hasShadow = 0;
    if (m_hasShadow) {
        const int32_t extra = 4 * m_shadowSize + 6;
        m_shadowWidth = static_cast<uint16_t>(width + extra);
        m_shadowHeight = static_cast<uint16_t>(height + extra);
        qwp::WindowParams s;
        s.kind = qwp::WindowKind::Overlay;
        s.owner = m_hwnd;
        s.toolWindow = true;
        s.x = x - m_shadowOffsetX;
        s.y = y - m_shadowOffsetY;
        s.width = m_shadowWidth;
        s.height = m_shadowHeight;
        s.title = "Quarrow. Shadow.";
        s.className = QWF_SHADOW_CLASS;
        s.client = &m_shadowClient;
        m_shadowHwnd = ws.CreateWindow(s);
        if (!m_shadowHwnd) m_hasShadow = 0;
    }
    if (!m_hasRegion) {
        m_region.assign(1, qwp::ScreenRect{0, 0, width, height});
        m_hasRegion = true;
    }
    if (m_shadowHwnd) {
        if (!MakeShadowRegion() || !ws.SetShape(m_shadowHwnd, m_shadowRegion) ||
            !ws.SetInputTransparent(m_shadowHwnd, true) || !BuildShadow()) {
            SetError(QWF_ERR_WINDOW_NATIVE);
            return false;
        }
    }
    if (!ws.SetShape(m_hwnd, m_region)) {
        SetError(QWF_ERR_WINDOW_NATIVE);
        return false;
    }
    return callOnCreate ? OnCreate(&m_face, width, height) : true;
}

bool CQWF_Window::SetRegionFromAlpha(CQWF_Layer* layer)
{
    if (!layer || layer->GetType() != QWF_IMAGE_RGBA || m_hasRegion) return false;
    const int32_t w = layer->GetWidth(), h = layer->GetHeight();
    const uint8_t* alpha = layer->GetPlane(3);
    std::vector<qwp::ScreenRect> runs;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = alpha + static_cast<size_t>(y) * w;
        for (int32_t x = 0; x < w;) {
            if (row[x] <= 128) {
                ++x;
                continue;
            }
            int32_t x0 = x;
            while (x < w && row[x] > 128) ++x;
            if (runs.size() == kMaxRegionRuns) {
                // Too many runs for an outline: the window stays rectangular.
                return true;
            }
            runs.push_back({x0, y, x, y + 1});
        }
    }
    m_region = std::move(runs);
    m_hasRegion = true;
    m_regionFromAlpha = true;
    return true;
}

bool CQWF_Window::MakeShadowRegion()
{
    // The shadow's rectangle without the window's own outline (the window sits at the shadow
    // offsets inside it): row by row, the gaps between the outline's runs.
    m_shadowRegion.clear();
    const int32_t sw = m_shadowWidth, sh = m_shadowHeight;
    const int32_t ox = m_shadowOffsetX, oy = m_shadowOffsetY;
    std::vector<std::pair<int32_t, int32_t>> spans;
    for (int32_t y = 0; y < sh; ++y) {
        spans.clear();
        const int32_t wy = y - oy;
        for (const qwp::ScreenRect& r : m_region)
            if (wy >= r.top && wy < r.bottom) spans.emplace_back(r.left + ox, r.right + ox);
        std::sort(spans.begin(), spans.end());
        int32_t x = 0;
        for (const auto& s : spans) {
            if (s.first > x) m_shadowRegion.push_back({x, y, std::min(s.first, sw), y + 1});
            x = std::max(x, s.second);
        }
        if (x < sw) m_shadowRegion.push_back({x, y, sw, y + 1});
    }
    return true;
}

void CQWF_Window::ShadowKernel(int32_t size, std::vector<uint32_t>& weights)
{
    int32_t n = 2 + static_cast<int32_t>(3.3 * size);
    if (n % 2 == 0) ++n;
    n = std::max(n, 3);
    weights.assign(static_cast<size_t>(n), 0);
    const double scale = 640.0 / std::sqrt(2.0 * M_PI);
    const double centre = (n - 1) / 2.0;
    for (int32_t i = 0; i < n; ++i) {
        const double d = i - centre;
        double v = std::trunc(scale * std::exp(-(d * d) / (2.0 * size * size)));
        weights[static_cast<size_t>(i)] = static_cast<uint32_t>(std::min(v, 255.0));
    }
}

bool CQWF_Window::BuildShadow()
{
    const int32_t sw = m_shadowWidth, sh = m_shadowHeight;
    std::vector<uint8_t> px(static_cast<size_t>(sw) * sh * 4, 0);
    const int32_t ox = (sw - m_width) / 2, oy = (sh - m_height) / 2;
    for (const qwp::ScreenRect& r : m_region)
        for (int32_t y = r.top; y < r.bottom; ++y)
            for (int32_t x = r.left; x < r.right; ++x) {
                uint8_t* p = &px[(static_cast<size_t>(y + oy) * sw + (x + ox)) * 4];
                p[0] = p[1] = p[2] = 200;
            }
    std::vector<uint32_t> k;
    ShadowKernel(m_shadowSize, k);
    const int32_t n = static_cast<int32_t>(k.size());
    uint32_t sum = 0;
    for (uint32_t v : k) sum += v;
    if (!sum) return false;
    for (int32_t y = 0; y < sh; ++y)
        for (int32_t x = 0; x < sw; ++x) {
            uint32_t acc = 0;
            for (int32_t i = 0; i < n; ++i) {
                const int32_t sx = x - n / 2 + i;
                if (sx >= 0 && sx < sw) acc += k[static_cast<size_t>(i)] * px[(static_cast<size_t>(y) * sw + sx) * 4];
            }
            px[(static_cast<size_t>(y) * sw + x) * 4 + 1] = static_cast<uint8_t>(acc / sum);
        }
    for (int32_t y = 0; y < sh; ++y)
        for (int32_t x = 0; x < sw; ++x) {
            uint32_t acc = 0;
            for (int32_t i = 0; i < n; ++i) {
                const int32_t sy = y - n / 2 + i;
                if (sy >= 0 && sy < sh) acc += k[static_cast<size_t>(i)] * px[(static_cast<size_t>(sy) * sw + x) * 4 + 1];
            }
            px[(static_cast<size_t>(y) * sw + x) * 4 + 3] = static_cast<uint8_t>(acc / sum);
        }
    for (size_t i = 0; i < px.size(); i += 4) px[i] = px[i + 1] = px[i + 2] = 0;
    return qwp::WS().UpdateOverlay(m_shadowHwnd, px.data(), sw, sh);
}

void CQWF_Window::SetTitle(const CQWF_String& title)
{
    m_title = title;
    if (m_hwnd) qwp::WS().SetTitle(m_hwnd, title.GetBuffer());
}

bool CQWF_Window::Show()
{
    if (!m_hwnd) return false;
    qwp::WindowSystem& ws = qwp::WS();
    m_face.Render();
    ws.ShowWindow(m_hwnd, qwp::ShowMode::Show);
    PaintNow(kWhole, kWhole, kWhole, kWhole);
    ShowShadow(true);
    return true;
}

void CQWF_Window::ShowShadow(bool show)
{
    if (!m_shadowHwnd) return;
    qwp::WindowSystem& ws = qwp::WS();
    ws.PlaceBehind(m_shadowHwnd, m_hwnd);
    if (!show) {
        ws.ShowWindow(m_shadowHwnd, qwp::ShowMode::Hide);
    } else if (ws.IsVisible(m_hwnd)) {
        ws.ShowWindow(m_shadowHwnd, qwp::ShowMode::ShowNoActivate);
    }
}

void CQWF_Window::MoveShadow()
{
    if (!m_shadowHwnd) return;
    qwp::ScreenRect r;
    if (!qwp::WS().GetWindowRect(m_hwnd, r)) return;
    qwp::WS().MoveWindow(m_shadowHwnd, r.left - m_shadowOffsetX, r.top - m_shadowOffsetY);
}

int64_t CQWF_Window::AddLayer(CQWF_Layer* layer)
{
    int64_t index = m_face.AddLayer(layer);
    if (index < 0) SetError(m_face.GetError());
    return index;
}

CQWF_Layer* CQWF_Window::GetLayer(int64_t index)
{
    CQWF_Layer* layer = m_face.GetLayer(index);
    if (!layer) SetError(QWF_ERR_LAYER_INDEX);
    return layer;
}

bool CQWF_Window::InvalidateRect(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (m_closing || m_drawingSuspended) return true;
    if (!m_face.Render({left, top, right, bottom})) {
        SetError(m_face.GetError());
        return false;
    }
    return true;
}

bool CQWF_Window::InvalidateLayer(int64_t index)
{
    CQWF_Layer* layer = GetLayer(index);
    if (!layer) return false;
    QWF_Rect r;
    layer->GetRect(r);
    return InvalidateRect(r.left, r.top, r.right, r.bottom);
}

void CQWF_Window::PaintNow(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    qwp::WindowSystem& ws = qwp::WS();
    qwp::DrawContext* dc = ws.GetWindowContext(m_hwnd);
    if (!dc) return;
    Paint(dc, left, top, right, bottom);
    ws.ReleaseWindowContext(dc);
}

bool CQWF_Window::Redraw(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (m_closing || m_drawingSuspended) return true;
    if (!m_hwnd) return false;
    PaintNow(left, top, right, bottom);
    return true;
}

bool CQWF_Window::RedrawLayer(int64_t index)
{
    CQWF_Layer* layer = GetLayer(index);
    if (!layer) return false;
    QWF_Rect r;
    layer->GetRect(r);
    return Redraw(r.left, r.top, r.right, r.bottom);
}

bool CQWF_Window::RedrawWindow(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    return Redraw(left, top, right, bottom);
}

bool CQWF_Window::Paint(qwp::DrawContext* dc, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (m_closing || m_drawingSuspended) return true;
    const QWF_Rect r{left, top, right, bottom};
    const QWF_Rect at = QWF_IsWholeRect(r) ? QWF_Rect{0, 0, m_width, m_height} : r;
    m_offscreen.CopyImage(m_face.GetImage(), at.left, at.top, r);
    if (!m_offscreen.Blit(dc, at.left, at.top, r)) {
        SetError(m_offscreen.GetError());
        return false;
    }
    return true;
}

bool CQWF_Window::DrawImage(const CQWF_Image* image, int32_t left, int32_t top, int32_t right,
                            int32_t bottom)
{
    if (m_closing || m_drawingSuspended || !m_hwnd) return !m_hwnd ? false : true;
    const QWF_Rect r{left, top, right, bottom};
    const QWF_Rect at = QWF_IsWholeRect(r) ? QWF_Rect{0, 0, m_width, m_height} : r;
    m_offscreen.CopyImage(image, at.left, at.top, r);
    qwp::WindowSystem& ws = qwp::WS();
    qwp::DrawContext* dc = ws.GetWindowContext(m_hwnd);
    bool ok = dc && m_offscreen.Blit(dc, at.left, at.top, r);
    ws.ReleaseWindowContext(dc);
    if (!ok) SetError(m_offscreen.GetError() ? m_offscreen.GetError() : QWF_ERR_WINDOW_NATIVE);
    return ok;
}

int32_t CQWF_Window::LoadFont(const char* name)
{
    ClearError();
    CQWF_Storage* storage = AppStorage();
    if (!storage) {
        SetError(QWF_ERR_EMPTY);
        return -1;
    }
    CQWF_String key;
    key.Format("UIResources>Fonts>%s", name ? name : "");
    if (storage->GetKind(key) != CQWF_Storage::kKindBinary) {
        SetError(QWF_ERR_ARGUMENT);
        return -1;
    }
    CQWF_Font* font = new CQWF_Font;
    if (!font->Load(*storage, key.GetBuffer())) {
        SetError(font->GetError());
        delete font;
        return -1;
    }
    int64_t index = m_fonts.Add(font);
    if (index < 0) {
        SetError(m_fonts.GetError());
        delete font;
        return -1;
    }
    return static_cast<int32_t>(index);
}

CQWF_Font* CQWF_Window::GetFont(int32_t index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_fonts.GetCount()) return nullptr;
    return static_cast<CQWF_Font*>(m_fonts.GetAt(static_cast<size_t>(index)));
}

int32_t CQWF_Window::AddControl(const char* name, uint8_t kind)
{
    ClearError();
    CQWF_Storage* storage = AppStorage();
    if (!storage) {
        SetError(QWF_ERR_EMPTY);
        return -1;
    }
    static const char* const kFolders[13] = {
        nullptr, "UIResources>Sliders>%s", "UIResources>Static Images>%s",
        "UIResources>Static Texts>%s", "UIResources>Progresses>%s", "UIResources>Buttons>%s",
        "UIResources>Radio Buttons>%s", "UIResources>Check Boxes>%s", "UIResources>Edits>%s",
        "UIResources>Scroll Bars>%s", "UIResources>Lists>%s", nullptr,
        "UIResources>Static Images>%s"};
    if (kind > 12 || !kFolders[kind]) {
        SetError(QWF_ERR_ARGUMENT);
        return -1;
    }
    CQWF_String folder;
    folder.Format(kFolders[kind], name ? name : "");
    if (storage->GetKind(folder) != CQWF_Storage::kKindFolder) {
        SetError(QWF_ERR_ARGUMENT);
        return -1;
    }
    CQWF_Control* control = QWF_NewControl(kind);
    if (!control) {
        SetError(QWF_ERR_ARGUMENT);
        return -1;
    }
    const int32_t index = AppendControl(control, false, name, storage);
    if (index < 0) delete control;
    return index;
}

int32_t CQWF_Window::AppendControl(CQWF_Control* control, bool attached, const char* name, CQWF_Storage* storage)
{
    const int64_t index = m_controls.Add(control);
    if (index < 0 || m_attached.Add(attached ? 1 : 0) < 0) {
        if (index >= 0) m_controls.RemoveAt(static_cast<size_t>(index));
        SetError(QWF_ERR_MEMORY);
        return -1;
    }
    if (!control->Create(this, static_cast<int32_t>(index), name, storage)) {
        SetError(control->GetError() ? control->GetError() : QWF_ERR_SKIN);
        m_controls.RemoveAt(static_cast<size_t>(index));
        m_attached.RemoveAt(static_cast<size_t>(index));
        return -1;
    }
    return static_cast<int32_t>(index);
}

int32_t CQWF_Window::AttachControl(CQWF_Control* control)
{
    ClearError();
    if (!control) {
        SetError(QWF_ERR_ARGUMENT);
        return -1;
    }
    return AppendControl(control, true, "", nullptr);
}

CQWF_Control* CQWF_Window::GetControl(int32_t index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_controls.GetCount()) return nullptr;
    return static_cast<CQWF_Control*>(m_controls.GetAt(static_cast<size_t>(index)));
}

int32_t CQWF_Window::FindControl(const char* name) const
{
    if (!name) return -1;
    for (int32_t i = 0; i < GetControlCount(); ++i)
        if (!std::strcmp(GetControl(i)->GetName(), name)) return i;
    return -1;
}

bool CQWF_Window::LoadRect(const char* name, QWF_Rect& rect)
{
    CQWF_Storage* storage = AppStorage();
    if (!storage || !name) return false;
    static const char* const kSides[4] = {"Rect Left", "Rect Top", "Rect Right", "Rect Bottom"};
    uint32_t v[4];
    CQWF_String key;
    for (int i = 0; i < 4; ++i) {
        key.Format("UIResources>Rects>%s>%s", name, kSides[i]);
        if (!storage->GetDWord(key, v[i])) return false;
    }
    rect = {static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]), static_cast<int32_t>(v[2]),
            static_cast<int32_t>(v[3])};
    return true;
}

bool CQWF_Window::GetWindowRect(QWF_Rect& rect) const
{
    qwp::ScreenRect r;
    if (!qwp::WS().GetWindowRect(m_hwnd, r)) return false;
    rect = {r.left, r.top, r.right, r.bottom};
    return true;
}

qwp::WindowHandle CQWF_Window::WindowFromPoint(int32_t screenX, int32_t screenY)
{
    return qwp::WS().WindowFromPoint(screenX, screenY);
}

void CQWF_Window::SetCursor(int32_t id)
{
    qwp::WindowSystem& ws = qwp::WS();
    // The program's own cursors come from the skin package the first time they are asked for:
    // "UIResources>Cursors>ID>Image" (a skin element) with its "Hot X" and "Hot Y".
    if (id >= 100 && !ws.HasCursor(id)) {
        CQWF_Storage* storage = AppStorage();
        CQWF_String image, keyX, keyY;
        image.Format("UIResources>Cursors>%d>Image", static_cast<int>(id));
        keyX.Format("UIResources>Cursors>%d>Hot X", static_cast<int>(id));
        keyY.Format("UIResources>Cursors>%d>Hot Y", static_cast<int>(id));
        CQWF_Mem element;
        QWF_Rect r;
        uint16_t hotX = 0, hotY = 0;
        if (storage && QWF_ReadSkinElement(storage, image.GetBuffer(), 4, element, r) &&
            storage->GetWord(keyX, hotX) && storage->GetWord(keyY, hotY)) {
            const int32_t w = r.right - r.left, h = r.bottom - r.top;
            const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
            const uint8_t* planes = element.GetData() + 8;
            std::vector<uint8_t> bgra(n * 4);
            for (size_t i = 0; i < n; ++i) {
                bgra[i * 4 + 0] = planes[2 * n + i];
                bgra[i * 4 + 1] = planes[n + i];
                bgra[i * 4 + 2] = planes[i];
                bgra[i * 4 + 3] = planes[3 * n + i];
            }
            ws.DefineCursor(id, bgra.data(), w, h, hotX, hotY);
        }
    }
    ws.SetCursorShape(id);
}

void CQWF_Window::SetArrowCursor() { qwp::WS().SetCursorShape(qwp::kCursorArrow); }

void CQWF_Window::SetIBeamCursor() { qwp::WS().SetCursorShape(qwp::kCursorIBeam); }

bool CQWF_Window::GetCursorPos(int32_t& x, int32_t& y) const
{
    qwp::ScreenRect r;
    if (!qwp::WS().GetWindowRect(m_hwnd, r)) return false;
    int32_t px, py;
    qwp::WS().GetPointerPosition(px, py);
    x = px - r.left;
    y = py - r.top;
    return true;
}

CQWF_Layer* CQWF_Window::GetDragLayer() const
{
    if (m_dragLayer < 0) return nullptr;
    return m_face.GetLayer(m_dragLayer);
}

void CQWF_Window::OnActivate(bool active)
{
    if (m_captionActivePresent && m_captionInactivePresent) {
        m_captionActive.SetVisible(active ? 1 : 0);
        m_captionInactive.SetVisible(active ? 0 : 1);
        InvalidateLayer(m_captionActiveIndex);
        RedrawLayer(m_captionActiveIndex);
    }
    if (!active) SetFocusControl(-1);
}
