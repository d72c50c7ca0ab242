#include "platform/qw_winsys_x11.h"

// The platform's own headers first: X11 defines names such as None and Cursor as macros.
#include "platform/qw_chooser.h"
#include "platform/qw_clock.h"
#include "platform/qw_fontraster.h"
#include "platform/qw_menu.h"
#include "platform/qw_paths.h"
#include "platform/qw_surface.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>

namespace qwp {

// --- text ---

std::string Cp1252ToUtf8(const std::string& text)
{
    std::string out;
    for (char ch : text) {
        const uint8_t c = static_cast<uint8_t>(ch);
        uint32_t u = c < 0x80 ? c : Cp1252ToUnicode(c);
        if (!u && c) u = '?';
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (u >> 6)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (u >> 12)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
    return out;
}

namespace {
uint8_t UnicodeToCp1252(uint32_t u)
{
    if (u < 0x80) return static_cast<uint8_t>(u);
    for (int c = 0x80; c <= 0xFF; ++c)
        if (Cp1252ToUnicode(static_cast<uint8_t>(c)) == u) return static_cast<uint8_t>(c);
    return 0;
}
}  // namespace

std::string Utf8ToCp1252(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const uint8_t c = static_cast<uint8_t>(text[i]);
        uint32_t u = c;
        size_t n = 1;
        if (c >= 0xF0) u = c & 0x07, n = 4;
        else if (c >= 0xE0) u = c & 0x0F, n = 3;
        else if (c >= 0xC0) u = c & 0x1F, n = 2;
        else if (c >= 0x80) u = 0xFFFD;
        for (size_t k = 1; k < n; ++k)
            u = i + k < text.size() ? (u << 6) | (static_cast<uint8_t>(text[i + k]) & 0x3F) : 0xFFFD;
        i += n;
        const uint8_t b = UnicodeToCp1252(u);
        out.push_back(b ? static_cast<char>(b) : '?');
    }
    return out;
}

// --- the backend ---

namespace {
int g_lastError = 0;
int RecordError(Display*, XErrorEvent* e)
{
    g_lastError = e->error_code;
    return 0;
}

struct XWin {
    Window xid = 0;
    Window frame = 0;  // the child of the root that holds the window (itself, or a window manager's frame); 0: not known
    GC gc = nullptr;
    XImage* image = nullptr;
    bool argb = false;
    Colormap colormap = 0;
};

uint32_t ShiftOf(unsigned long mask)
{
    uint32_t s = 0;
    while (mask && !(mask & 1)) mask >>= 1, ++s;
    return s;
}

// A client-side picture of w x h pixels, 32 bits each, zeroed; null when it cannot be made.
XImage* CreateImage(Display* dpy, Visual* visual, int depth, int32_t w, int32_t h)
{
    char* data = static_cast<char*>(std::calloc(static_cast<size_t>(w) * h, 4));
    XImage* image = data ? XCreateImage(dpy, visual, static_cast<unsigned>(depth), ZPixmap, 0, data,
                                        static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0)
                         : nullptr;
    if (!image) std::free(data);
    return image;
}

struct KeyMap {
    KeySym sym;
    uint32_t key;
};
constexpr KeyMap kKeys[] = {
    {XK_BackSpace, vk::Back}, {XK_Tab, vk::Tab}, {XK_ISO_Left_Tab, vk::Tab}, {XK_Return, vk::Return},
    {XK_KP_Enter, vk::Return}, {XK_Escape, vk::Escape}, {XK_space, vk::Space}, {XK_Prior, vk::PageUp},
    {XK_KP_Prior, vk::PageUp}, {XK_Next, vk::PageDown}, {XK_KP_Next, vk::PageDown}, {XK_End, vk::End},
    {XK_KP_End, vk::End}, {XK_Home, vk::Home}, {XK_KP_Home, vk::Home}, {XK_Left, vk::Left},
    {XK_KP_Left, vk::Left}, {XK_Up, vk::Up}, {XK_KP_Up, vk::Up}, {XK_Right, vk::Right},
    {XK_KP_Right, vk::Right}, {XK_Down, vk::Down}, {XK_KP_Down, vk::Down}, {XK_Insert, vk::Insert},
    {XK_KP_Insert, vk::Insert}, {XK_Delete, vk::Delete}, {XK_KP_Delete, vk::Delete},
    {XK_Shift_L, vk::Shift}, {XK_Shift_R, vk::Shift}, {XK_Control_L, vk::Control},
    {XK_Control_R, vk::Control}, {XK_Alt_L, vk::Alt}, {XK_Alt_R, vk::Alt}, {XK_Meta_L, vk::Alt},
    {XK_KP_Multiply, vk::Multiply}, {XK_KP_Add, vk::Add}, {XK_KP_Subtract, vk::Subtract},
    {XK_KP_Decimal, vk::Decimal}, {XK_KP_Divide, vk::Divide}, {XK_semicolon, vk::Semicolon},
    {XK_equal, vk::Equals}, {XK_comma, vk::Comma}, {XK_minus, vk::Minus}, {XK_period, vk::Period},
    {XK_slash, vk::Slash}, {XK_grave, vk::Grave}, {XK_bracketleft, vk::BracketLeft},
    {XK_backslash, vk::Backslash}, {XK_bracketright, vk::BracketRight}, {XK_apostrophe, vk::Quote},
};

uint32_t KeyOfSym(KeySym sym)
{
    if (sym >= XK_a && sym <= XK_z) return static_cast<uint32_t>(sym - XK_a + 'A');
    if (sym >= XK_A && sym <= XK_Z) return static_cast<uint32_t>(sym - XK_A + 'A');
    if (sym >= XK_0 && sym <= XK_9) return static_cast<uint32_t>(sym - XK_0 + '0');
    if (sym >= XK_KP_0 && sym <= XK_KP_9) return static_cast<uint32_t>(vk::Numpad0 + (sym - XK_KP_0));
    if (sym >= XK_F1 && sym <= XK_F12) return static_cast<uint32_t>(vk::F1 + (sym - XK_F1));
    for (const KeyMap& k : kKeys)
        if (k.sym == sym) return k.key;
    return 0;
}

KeySym SymOfKey(uint32_t key)
{
    if (key >= 'A' && key <= 'Z') return XK_a + (key - 'A');
    if (key >= '0' && key <= '9') return XK_0 + (key - '0');
    if (key >= vk::Numpad0 && key <= vk::Numpad0 + 9) return XK_KP_0 + (key - vk::Numpad0);
    if (key >= vk::F1 && key <= vk::F12) return XK_F1 + (key - vk::F1);
    for (const KeyMap& k : kKeys)
        if (k.key == key) return k.sym;
    return NoSymbol;
}

// The character a key press gives, as a keyboard's translation would (0: none).
uint8_t CharOfSym(KeySym sym, const char* text, int length, unsigned int state)
{
    if (sym == XK_Delete || sym == XK_KP_Delete) return 0;
    if (length == 1 && (static_cast<uint8_t>(text[0]) < 0x20) && (state & ControlMask)) return static_cast<uint8_t>(text[0]);
    if (sym == XK_Return || sym == XK_KP_Enter) return '\r';
    if (sym == XK_BackSpace) return 8;
    if (sym == XK_Tab || sym == XK_ISO_Left_Tab) return '\t';
    if (sym == XK_Escape) return 27;
    uint32_t u = 0;
    if ((sym >= 0x20 && sym <= 0x7E) || (sym >= 0xA0 && sym <= 0xFF))
        u = static_cast<uint32_t>(sym);
    else if ((sym & 0xFF000000) == 0x01000000)
        u = static_cast<uint32_t>(sym & 0x00FFFFFF);
    else if (sym == XK_EuroSign)
        u = 0x20AC;
    else if (sym >= XK_KP_0 && sym <= XK_KP_9)
        u = static_cast<uint32_t>('0' + (sym - XK_KP_0));
    else if (sym == XK_KP_Multiply) u = '*';
    else if (sym == XK_KP_Add) u = '+';
    else if (sym == XK_KP_Subtract) u = '-';
    else if (sym == XK_KP_Decimal) u = '.';
    else if (sym == XK_KP_Divide) u = '/';
    if (!u) return 0;
    return UnicodeToCp1252(u);
}
}  // namespace

struct X11WindowSystem::Impl {
    Display* dpy = nullptr;
    int screen = 0;
    Window root = 0;
    Visual* visual = nullptr;
    int depth = 24;
    Visual* argbVisual = nullptr;
    uint32_t rShift = 16, gShift = 8, bShift = 0;
    bool shape = false;
    bool xtest = false;
    std::map<Window, WindowHandle> byXid;
    std::map<int32_t, ::Cursor> cursors;
    ::Cursor current = 0;
    Window selection = 0;
    bool ownClipboard = false;
    std::string clipboard;
    unsigned long focusSerial = 0;
    bool keysDown[256] = {};
    // While a menu or a chooser is open: sees every event first and answers whether it took it.
    std::function<bool(XEvent&)> modal;
    Window menu = 0;
    Window closedMenu = 0;  // input still on its way to it is dropped
    ScreenRect menuRect;
    Atom wmProtocols, wmDelete, motifHints, netWmState, skipTaskbar, skipPager, netWmName, utf8,
        windowType, typeNormal, typeDialog, clipboardAtom, targets, textAtom, workArea, transfer,
        compositor, wmCheck, frameExtents, requestFrameExtents;
    // The root's children changed their stacking since the owned windows were last looked at.
    bool stackingChanged = false;
    // Owned windows put back above their owners in the second that began at repairSecond.
    uint64_t repairSecond = 0;
    int repairs = 0;
};

std::unique_ptr<WindowSystem> CreateX11WindowSystem(const char* display)
{
    return X11WindowSystem::Open(display);
}

X11WindowSystem::X11WindowSystem() : m(std::make_unique<Impl>()) {}

std::unique_ptr<X11WindowSystem> X11WindowSystem::Open(const char* display)
{
    Display* dpy = XOpenDisplay(display);
    if (!dpy) return nullptr;
    std::unique_ptr<X11WindowSystem> ws(new X11WindowSystem());
    Impl& m = *ws->m;
    m.dpy = dpy;
    XSetErrorHandler(&RecordError);
    m.screen = DefaultScreen(dpy);
    m.root = RootWindow(dpy, m.screen);
    m.visual = DefaultVisual(dpy, m.screen);
    m.depth = DefaultDepth(dpy, m.screen);
    m.rShift = ShiftOf(m.visual->red_mask);
    m.gShift = ShiftOf(m.visual->green_mask);
    m.bShift = ShiftOf(m.visual->blue_mask);
    XVisualInfo vi;
    if (XMatchVisualInfo(dpy, m.screen, 32, TrueColor, &vi)) m.argbVisual = vi.visual;
    int event = 0, error = 0, major = 0, minor = 0;
    m.shape = XShapeQueryExtension(dpy, &event, &error);
    m.xtest = XTestQueryExtension(dpy, &event, &error, &major, &minor);
    Bool detectable = False;
    XkbSetDetectableAutoRepeat(dpy, True, &detectable);
    auto atom = [&](const char* name) { return XInternAtom(dpy, name, False); };
    m.wmProtocols = atom("WM_PROTOCOLS");
    m.wmDelete = atom("WM_DELETE_WINDOW");
    m.motifHints = atom("_MOTIF_WM_HINTS");
    m.netWmState = atom("_NET_WM_STATE");
    m.skipTaskbar = atom("_NET_WM_STATE_SKIP_TASKBAR");
    m.skipPager = atom("_NET_WM_STATE_SKIP_PAGER");
    m.netWmName = atom("_NET_WM_NAME");
    m.utf8 = atom("UTF8_STRING");
    m.windowType = atom("_NET_WM_WINDOW_TYPE");
    m.typeNormal = atom("_NET_WM_WINDOW_TYPE_NORMAL");
    m.typeDialog = atom("_NET_WM_WINDOW_TYPE_DIALOG");
    m.clipboardAtom = atom("CLIPBOARD");
    m.targets = atom("TARGETS");
    m.textAtom = atom("TEXT");
    m.workArea = atom("_NET_WORKAREA");
    m.transfer = atom("QW_SELECTION");
    char cm[32];
    std::snprintf(cm, sizeof cm, "_NET_WM_CM_S%d", m.screen);
    m.compositor = atom(cm);
    m.wmCheck = atom("_NET_SUPPORTING_WM_CHECK");
    m.frameExtents = atom("_NET_FRAME_EXTENTS");
    m.requestFrameExtents = atom("_NET_REQUEST_FRAME_EXTENTS");
    m.selection = XCreateWindow(dpy, m.root, -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent, 0, nullptr);
    XSelectInput(dpy, m.selection, PropertyChangeMask);
    // The stacking of the root's children: a window manager may raise an owner over its windows.
    XSelectInput(dpy, m.root, SubstructureNotifyMask);
    return ws;
}

X11WindowSystem::~X11WindowSystem()
{
    if (!m->dpy) return;
    for (WindowHandle h : AllWindows()) {
        Win* w = Find(h);
        if (w && w->native) {
            XWin* x = static_cast<XWin*>(w->native);
            if (x->image) XDestroyImage(x->image);
            if (x->gc) XFreeGC(m->dpy, x->gc);
            delete x;
            w->native = nullptr;
        }
    }
    for (auto& c : m->cursors) XFreeCursor(m->dpy, c.second);
    XCloseDisplay(m->dpy);
}

WindowHandle X11WindowSystem::HandleOf(unsigned long xid) const
{
    auto it = m->byXid.find(static_cast<Window>(xid));
    return it == m->byXid.end() ? 0 : it->second;
}

bool X11WindowSystem::CanBlend() const
{
    return m->argbVisual && (m_forceBlend || XGetSelectionOwner(m->dpy, m->compositor) != None);
}

bool X11WindowSystem::NativeCreate(Win& win)
{
    Impl& i = *m;
    auto x = std::make_unique<XWin>();
    const bool overlay = win.params.kind == WindowKind::Overlay;
    const bool child = win.params.kind == WindowKind::Child;
    Window parent = i.root;
    int32_t px = win.rect.left, py = win.rect.top;
    if (child) {
        const Win* p = Find(win.params.owner);
        if (!p || !p->native) return false;
        parent = static_cast<XWin*>(p->native)->xid;
        px -= p->rect.left;
        py -= p->rect.top;
    }
    const int32_t w = win.rect.right - win.rect.left, h = win.rect.bottom - win.rect.top;
    XSetWindowAttributes a{};
    unsigned long mask = CWBackPixmap | CWBorderPixel | CWEventMask;
    a.background_pixmap = None;
    a.border_pixel = 0;
    Visual* visual = i.visual;
    int depth = i.depth;
    if (overlay) {
        if (!i.argbVisual) return false;
        visual = i.argbVisual;
        depth = 32;
        x->argb = true;
        x->colormap = XCreateColormap(i.dpy, i.root, visual, AllocNone);
        a.colormap = x->colormap;
        a.override_redirect = True;
        a.event_mask = ExposureMask;
        mask |= CWColormap | CWOverrideRedirect;
    } else {
        a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                       KeyPressMask | KeyReleaseMask | StructureNotifyMask | FocusChangeMask;
        if (i.current) {
            a.cursor = i.current;
            mask |= CWCursor;
        }
    }
    g_lastError = 0;
    x->xid = XCreateWindow(i.dpy, parent, px, py, static_cast<unsigned>(w), static_cast<unsigned>(h), 0, depth,
                           InputOutput, visual, mask, &a);
    XSync(i.dpy, False);
    if (!x->xid || g_lastError) return false;
    if (!child && !overlay) {
        const std::string utf8Title = Cp1252ToUtf8(win.params.title);
        XChangeProperty(i.dpy, x->xid, i.netWmName, i.utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(utf8Title.data()), static_cast<int>(utf8Title.size()));
        XStoreName(i.dpy, x->xid, win.params.title.c_str());
        XClassHint hint;
        std::string resName = "qwjigcrafter", resClass = win.params.className.empty() ? "Quarrow" : win.params.className;
        hint.res_name = resName.data();
        hint.res_class = resClass.data();
        XSetClassHint(i.dpy, x->xid, &hint);
        XSetWMProtocols(i.dpy, x->xid, &i.wmDelete, 1);
        long motif[5] = {2, 0, 0, 0, 0};  // decorations: none
        XChangeProperty(i.dpy, x->xid, i.motifHints, i.motifHints, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(motif), 5);
        XSizeHints size{};
        size.flags = USPosition | PPosition | PSize | PMinSize | PMaxSize;
        size.x = px;
        size.y = py;
        size.width = size.min_width = size.max_width = w;
        size.height = size.min_height = size.max_height = h;
        XSetWMNormalHints(i.dpy, x->xid, &size);
        XWMHints wm{};
        wm.flags = InputHint | StateHint;
        wm.input = True;
        wm.initial_state = NormalState;
        XSetWMHints(i.dpy, x->xid, &wm);
        const Win* owner = Find(win.params.owner);
        if (owner && owner->native) XSetTransientForHint(i.dpy, x->xid, static_cast<XWin*>(owner->native)->xid);
        Atom type = owner ? i.typeDialog : i.typeNormal;
        XChangeProperty(i.dpy, x->xid, i.windowType, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&type), 1);
        if (win.params.toolWindow) {
            Atom state[2] = {i.skipTaskbar, i.skipPager};
            XChangeProperty(i.dpy, x->xid, i.netWmState, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(state), 2);
        }
    }
    x->gc = XCreateGC(i.dpy, x->xid, 0, nullptr);
    x->image = CreateImage(i.dpy, visual, depth, w, h);
    if (!x->image) {
        XFreeGC(i.dpy, x->gc);
        XDestroyWindow(i.dpy, x->xid);
        return false;
    }
    i.byXid[x->xid] = win.handle;
    win.native = x.release();
    return true;
}

void X11WindowSystem::NativeDestroy(Win& win)
{
    XWin* x = static_cast<XWin*>(win.native);
    if (!x) return;
    m->byXid.erase(x->xid);
    XDestroyImage(x->image);
    XFreeGC(m->dpy, x->gc);
    XDestroyWindow(m->dpy, x->xid);
    if (x->colormap) XFreeColormap(m->dpy, x->colormap);
    XFlush(m->dpy);
    delete x;
    win.native = nullptr;
}

bool X11WindowSystem::IsOnScreen(WindowHandle window)
{
    const Win* w = Find(window);
    if (!w || !w->native) return false;
    XWindowAttributes a;
    return XGetWindowAttributes(m->dpy, static_cast<XWin*>(w->native)->xid, &a) && a.map_state == IsViewable;
}

void X11WindowSystem::NativeShow(Win& win, ShowMode mode)
{
    XWin* x = static_cast<XWin*>(win.native);
    if (mode == ShowMode::Hide) {
        if (win.params.kind == WindowKind::TopLevel)
            XWithdrawWindow(m->dpy, x->xid, m->screen);
        else
            XUnmapWindow(m->dpy, x->xid);
        XFlush(m->dpy);
        return;
    }
    XMapWindow(m->dpy, x->xid);
    // A window must be viewable before it can take the focus; a window manager maps it a little
    // later.
    const uint64_t until = TickCount64() + 1000;
    do {
        XSync(m->dpy, False);
        if (IsOnScreen(win.handle)) break;
        struct pollfd p{ConnectionNumber(m->dpy), POLLIN, 0};
        poll(&p, 1, 2);
    } while (TickCount64() < until && !IsVirtualClock());
    // Windows it owns that were shown before it: a window manager takes them for its own (and
    // keeps them above it) once they are named anew now that it manages the owner.
    if (win.params.kind != WindowKind::TopLevel) return;
    for (WindowHandle h : TopLevelWindows()) {
        const Win* o = Find(h);
        if (o && o->params.owner == win.handle && o->params.kind == WindowKind::TopLevel && o->visible && o->native)
            XSetTransientForHint(m->dpy, static_cast<XWin*>(o->native)->xid, x->xid);
    }
    XFlush(m->dpy);
}

void X11WindowSystem::NativeMove(Win& win)
{
    XWin* x = static_cast<XWin*>(win.native);
    int32_t px = win.rect.left, py = win.rect.top;
    if (win.params.kind == WindowKind::Child)
        if (const Win* p = Find(win.params.owner)) px -= p->rect.left, py -= p->rect.top;
    XMoveWindow(m->dpy, x->xid, px, py);
    XFlush(m->dpy);
}

void X11WindowSystem::NativeRestack()
{
    std::vector<Window> order;
    for (WindowHandle h : m_stack) {
        const Win* w = Find(h);
        if (w && w->native && w->params.kind != WindowKind::Child) order.push_back(static_cast<XWin*>(w->native)->xid);
    }
    if (!order.empty()) XRestackWindows(m->dpy, order.data(), static_cast<int>(order.size()));
    XFlush(m->dpy);
}

void X11WindowSystem::NativeShape(Win& win)
{
    if (!m->shape) return;
    XWin* x = static_cast<XWin*>(win.native);
    if (win.shape.empty()) {
        XShapeCombineMask(m->dpy, x->xid, ShapeBounding, 0, 0, None, ShapeSet);
    } else {
        std::vector<XRectangle> rects;
        rects.reserve(win.shape.size());
        for (const ScreenRect& r : win.shape)
            rects.push_back({static_cast<short>(r.left), static_cast<short>(r.top),
                             static_cast<unsigned short>(r.right - r.left), static_cast<unsigned short>(r.bottom - r.top)});
        XShapeCombineRectangles(m->dpy, x->xid, ShapeBounding, 0, 0, rects.data(), static_cast<int>(rects.size()),
                                ShapeSet, Unsorted);
    }
    XFlush(m->dpy);
}

void X11WindowSystem::NativeTitle(Win& win)
{
    XWin* x = static_cast<XWin*>(win.native);
    if (!x || !x->xid || win.params.kind != WindowKind::TopLevel) return;
    const std::string utf8Title = Cp1252ToUtf8(win.params.title);
    XChangeProperty(m->dpy, x->xid, m->netWmName, m->utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8Title.data()), static_cast<int>(utf8Title.size()));
    XStoreName(m->dpy, x->xid, win.params.title.c_str());
    XFlush(m->dpy);
}

void X11WindowSystem::NativeInputTransparent(Win& win)
{
    if (!m->shape) return;
    XWin* x = static_cast<XWin*>(win.native);
    if (win.inputTransparent)
        XShapeCombineRectangles(m->dpy, x->xid, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    else
        XShapeCombineMask(m->dpy, x->xid, ShapeInput, 0, 0, None, ShapeSet);
    XFlush(m->dpy);
}

bool X11WindowSystem::ServerShape(WindowHandle window, std::vector<ScreenRect>& rects)
{
    const Win* w = Find(window);
    if (!w || !w->native || !m->shape) return false;
    int count = 0, ordering = 0;
    XRectangle* r = XShapeGetRectangles(m->dpy, static_cast<XWin*>(w->native)->xid, ShapeBounding, &count, &ordering);
    rects.clear();
    for (int k = 0; k < count; ++k) rects.push_back({r[k].x, r[k].y, r[k].x + r[k].width, r[k].y + r[k].height});
    if (r) XFree(r);
    return true;
}

void X11WindowSystem::NativePresent(Win& win, int32_t x0, int32_t y0, int32_t w, int32_t h)
{
    XWin* x = static_cast<XWin*>(win.native);
    if (!x || x->argb) return;
    const int32_t width = BitmapWidth(win.backing), height = BitmapHeight(win.backing);
    const uint32_t stride = BitmapStride(static_cast<uint32_t>(width));
    const uint8_t* bits = BitmapBits(win.backing);
    for (int32_t y = y0; y < y0 + h && y < height; ++y) {
        const uint8_t* src = bits + static_cast<size_t>(height - 1 - y) * stride;
        uint32_t* dst = reinterpret_cast<uint32_t*>(x->image->data + static_cast<size_t>(y) * x->image->bytes_per_line);
        for (int32_t c = x0; c < x0 + w && c < width; ++c)
            dst[c] = (uint32_t(src[3 * c + 2]) << m->rShift) | (uint32_t(src[3 * c + 1]) << m->gShift) |
                     (uint32_t(src[3 * c]) << m->bShift);
    }
    XPutImage(m->dpy, x->xid, x->gc, x->image, x0, y0, x0, y0, static_cast<unsigned>(w), static_cast<unsigned>(h));
    XFlush(m->dpy);
}

bool X11WindowSystem::NativeUpdateOverlay(Win& win)
{
    XWin* x = static_cast<XWin*>(win.native);
    if (!x || !x->argb) return false;
    const int32_t w = win.rect.right - win.rect.left, h = win.rect.bottom - win.rect.top;
    for (int32_t y = 0; y < h; ++y) {
        uint32_t* dst = reinterpret_cast<uint32_t*>(x->image->data + static_cast<size_t>(y) * x->image->bytes_per_line);
        const uint8_t* s = &win.overlay[static_cast<size_t>(y) * w * 4];
        for (int32_t c = 0; c < w; ++c, s += 4)
            dst[c] = (uint32_t(s[3]) << 24) | (uint32_t(s[2]) << 16) | (uint32_t(s[1]) << 8) | s[0];
    }
    XPutImage(m->dpy, x->xid, x->gc, x->image, 0, 0, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h));
    XFlush(m->dpy);
    return true;
}

void X11WindowSystem::NativeActivate(Win* win)
{
    if (!win || !win->native || !IsOnScreen(win->handle)) return;
    m->focusSerial = NextRequest(m->dpy);
    XSetInputFocus(m->dpy, static_cast<XWin*>(win->native)->xid, RevertToParent, CurrentTime);
    XFlush(m->dpy);
}

void X11WindowSystem::NativeCapture(Win* win)
{
    if (win && win->native)
        XGrabPointer(m->dpy, static_cast<XWin*>(win->native)->xid, False,
                     ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync, GrabModeAsync, None,
                     None, CurrentTime);
    else
        XUngrabPointer(m->dpy, CurrentTime);
    XFlush(m->dpy);
}

void X11WindowSystem::NativeCursor(const Cursor* cursor)
{
    Impl& i = *m;
    const int32_t id = cursor ? cursor->id : GetCursorShape();
    auto it = i.cursors.find(id);
    ::Cursor xc = 0;
    if (it != i.cursors.end()) {
        xc = it->second;
    } else if (!cursor) {
        xc = XCreateFontCursor(i.dpy, id == kCursorIBeam ? XC_xterm : XC_left_ptr);
        i.cursors[id] = xc;
    } else {
        // Two colours from the picture: dark pixels black, light ones white, alpha >= 128 shown.
        const int32_t w = cursor->width, h = cursor->height, bytes = (w + 7) / 8;
        std::vector<char> source(static_cast<size_t>(bytes) * h, 0), mask(source.size(), 0);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* p = &cursor->bgra[(static_cast<size_t>(y) * w + x) * 4];
                const size_t at = static_cast<size_t>(y) * bytes + x / 8;
                if (p[3] >= 128) mask[at] = static_cast<char>(mask[at] | (1 << (x % 8)));
                if (p[0] + 2 * p[1] + p[2] < 512) source[at] = static_cast<char>(source[at] | (1 << (x % 8)));
            }
        Pixmap sp = XCreateBitmapFromData(i.dpy, i.root, source.data(), static_cast<unsigned>(w), static_cast<unsigned>(h));
        Pixmap mp = XCreateBitmapFromData(i.dpy, i.root, mask.data(), static_cast<unsigned>(w), static_cast<unsigned>(h));
        XColor black{}, white{};
        white.red = white.green = white.blue = 0xFFFF;
        xc = XCreatePixmapCursor(i.dpy, sp, mp, &black, &white, static_cast<unsigned>(cursor->hotX),
                                 static_cast<unsigned>(cursor->hotY));
        XFreePixmap(i.dpy, sp);
        XFreePixmap(i.dpy, mp);
        i.cursors[id] = xc;
    }
    i.current = xc;
    for (auto& entry : i.byXid) {
        const Win* w = Find(entry.second);
        if (w && w->params.kind != WindowKind::Overlay) XDefineCursor(i.dpy, entry.first, xc);
    }
    XFlush(i.dpy);
}

void X11WindowSystem::NativePoll()
{
    while (XPending(m->dpy)) {
        XEvent e;
        XNextEvent(m->dpy, &e);
        HandleXEvent(&e);
    }
    if (m->stackingChanged) KeepOwnedAbove();
}

namespace {
// The child of the root that holds the window: the window itself, or the frame a window manager
// put it in; 0 when the server cannot say.
Window RootChildOf(Display* dpy, Window root, Window window)
{
    for (int depth = 0; window && depth < 16; ++depth) {
        Window rootReturn = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(dpy, window, &rootReturn, &parent, &children, &count)) return 0;
        if (children) XFree(children);
        if (parent == root) return window;
        window = parent;
    }
    return 0;
}
}  // namespace

std::vector<WindowHandle> X11WindowSystem::ServerStacking()
{
    Impl& i = *m;
    std::vector<WindowHandle> order;
    Window rootReturn = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(i.dpy, i.root, &rootReturn, &parent, &children, &count)) return order;
    std::vector<std::pair<unsigned int, WindowHandle>> placed;
    for (WindowHandle h : TopLevelWindows()) {
        Win* w = Find(h);
        if (!w || !w->visible || w->params.kind != WindowKind::TopLevel || !w->native) continue;
        XWin* x = static_cast<XWin*>(w->native);
        if (!x->frame) x->frame = RootChildOf(i.dpy, i.root, x->xid);
        for (unsigned int k = 0; k < count; ++k)
            if (children[k] == x->frame) placed.emplace_back(k, h);
    }
    if (children) XFree(children);
    std::sort(placed.begin(), placed.end());
    for (const auto& p : placed) order.push_back(p.second);
    return order;
}

void X11WindowSystem::KeepOwnedAbove()
{
    Impl& i = *m;
    i.stackingChanged = false;
    const std::vector<WindowHandle> order = ServerStacking();
    auto place = [&](WindowHandle h) { return std::find(order.begin(), order.end(), h) - order.begin(); };
    // Whether the window's chain of owners reaches the owner.
    auto ownedBy = [&](WindowHandle h, WindowHandle owner) {
        for (const Win* w = Find(h); w && w->params.kind == WindowKind::TopLevel; w = Find(w->params.owner))
            if (w->params.owner == owner) return true;
        return false;
    };
    for (WindowHandle owner : order) {
        std::vector<WindowHandle> owned;
        bool below = false;
        for (WindowHandle h : order)
            if (ownedBy(h, owner)) {
                owned.push_back(h);
                below = below || place(h) < place(owner);
            }
        if (!below) continue;
        // A window manager that keeps raising the owner is not fought for long.
        const uint64_t now = TickCount64();
        if (now - i.repairSecond >= 1000) i.repairSecond = now, i.repairs = 0;
        if (++i.repairs > 10) return;
        ++m_ownedRepairs;
        // Each of them directly above the one before, the first above the owner, in the order they
        // had; a window manager is asked (the request goes to it when the windows are in its frames).
        Window sibling = static_cast<XWin*>(Find(owner)->native)->xid;
        for (WindowHandle h : owned) {
            const Window xid = static_cast<XWin*>(Find(h)->native)->xid;
            XWindowChanges changes{};
            changes.sibling = sibling;
            changes.stack_mode = Above;
            XReconfigureWMWindow(i.dpy, xid, i.screen, CWSibling | CWStackMode, &changes);
            sibling = xid;
        }
        XFlush(i.dpy);
        // What the restack changes is looked at again when the server reports it.
        return;
    }
}

bool X11WindowSystem::WindowManagerRunning()
{
    Impl& i = *m;
    auto checkWindow = [&](Window on) -> Window {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        Window named = 0;
        if (XGetWindowProperty(i.dpy, on, i.wmCheck, 0, 1, False, XA_WINDOW, &type, &format, &count, &after, &data) ==
                Success &&
            data && format == 32 && count == 1)
            named = static_cast<Window>(*reinterpret_cast<const long*>(data));
        if (data) XFree(data);
        return named;
    };
    const Window check = checkWindow(i.root);
    g_lastError = 0;
    const bool running = check && checkWindow(check) == check;
    XSync(i.dpy, False);
    g_lastError = 0;  // a check window that is gone answers with an error
    return running;
}

bool X11WindowSystem::SyncWindowManager(uint32_t milliseconds)
{
    Impl& i = *m;
    if (!WindowManagerRunning()) {
        XSync(i.dpy, False);
        return true;
    }
    XDeleteProperty(i.dpy, i.selection, i.frameExtents);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = i.selection;
    e.xclient.message_type = i.requestFrameExtents;
    e.xclient.format = 32;
    XSendEvent(i.dpy, i.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    const uint64_t until = TickCount64() + milliseconds;
    for (;;) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const bool answered = XGetWindowProperty(i.dpy, i.selection, i.frameExtents, 0, 4, False, AnyPropertyType,
                                                 &type, &format, &count, &after, &data) == Success &&
                              type != None;
        if (data) XFree(data);
        if (answered) return true;
        if (TickCount64() >= until) return false;
        poll(nullptr, 0, 2);
    }
}

void X11WindowSystem::RaiseFromOutside(WindowHandle window)
{
    const Win* w = Find(window);
    if (!w || !w->native) return;
    XRaiseWindow(m->dpy, static_cast<XWin*>(w->native)->xid);
    XFlush(m->dpy);
}

bool X11WindowSystem::NativeWait(uint64_t until)
{
    XFlush(m->dpy);
    if (RunIdleHook()) {
        NativePoll();
        if (HasPendingEvents()) return true;
        const uint64_t wake = NextTimerDue();
        if (wake && (!until || wake < until)) until = wake;
    }
    const uint64_t start = TickCount64();
    for (;;) {
        if (XEventsQueued(m->dpy, QueuedAfterReading)) return true;
        const uint64_t now = TickCount64();
        if (until && now >= until) return true;
        if (m_waitLimit && now - start >= m_waitLimit) return false;
        int64_t timeout = until ? static_cast<int64_t>(until - now) : -1;
        if (m_waitLimit) {
            const int64_t left = static_cast<int64_t>(m_waitLimit - (now - start));
            timeout = timeout < 0 ? left : std::min(timeout, left);
        }
        struct pollfd p{ConnectionNumber(m->dpy), POLLIN, 0};
        poll(&p, 1, static_cast<int>(std::min<int64_t>(timeout, 1000000)));
    }
}

void X11WindowSystem::HandleXEvent(void* ev)
{
    XEvent& e = *static_cast<XEvent*>(ev);
    Impl& i = *m;
    if (e.xany.window == i.root) {
        // What happens to the root's children: only a change in the stacking of one that holds a
        // window of the program counts.
        Window child = 0;
        if (e.type == ConfigureNotify) child = e.xconfigure.window;
        else if (e.type == MapNotify) child = e.xmap.window;
        else if (e.type == CirculateNotify) child = e.xcirculate.window;
        if (!child) return;
        for (WindowHandle h : TopLevelWindows()) {
            const Win* w = Find(h);
            const XWin* x = w && w->visible && w->params.kind == WindowKind::TopLevel && w->native
                                ? static_cast<XWin*>(w->native)
                                : nullptr;
            if (x && (!x->frame || x->frame == child)) i.stackingChanged = true;
        }
        return;
    }
    if (i.modal && i.modal(e)) return;
    if (i.closedMenu && e.xany.window == i.closedMenu) return;
    switch (e.type) {
    case Expose: {
        const WindowHandle h = HandleOf(e.xexpose.window);
        Win* w = Find(h);
        if (!w) return;
        if (static_cast<XWin*>(w->native)->argb) {
            if (!w->overlay.empty()) NativeUpdateOverlay(*w);
            return;
        }
        AddPaint(h, {e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width, e.xexpose.y + e.xexpose.height});
        return;
    }
    case ConfigureNotify: {
        const WindowHandle h = HandleOf(e.xconfigure.window);
        Win* w = Find(h);
        if (!w || w->params.kind != WindowKind::TopLevel) return;
        int x = e.xconfigure.x, y = e.xconfigure.y;
        if (!e.xconfigure.send_event) {
            Window child;
            XTranslateCoordinates(i.dpy, e.xconfigure.window, i.root, 0, 0, &x, &y, &child);
        }
        if (x != w->rect.left || y != w->rect.top) NoteMoved(h, x, y);
        return;
    }
    case ButtonPress:
    case ButtonRelease: {
        const bool press = e.type == ButtonPress;
        unsigned int state = e.xbutton.state;
        const unsigned int b = e.xbutton.button;
        if (b == 4 || b == 5) {
            if (press) {
                uint32_t flags = ((state & ShiftMask) ? kMouseShift : 0) | ((state & ControlMask) ? kMouseCtrl : 0);
                DeliverPointer(EventType::MouseWheel, e.xbutton.x_root, e.xbutton.y_root, flags, b == 4 ? 120 : -120);
            }
            return;
        }
        const unsigned int bit = b == 1 ? Button1Mask : b == 2 ? Button2Mask : b == 3 ? Button3Mask : 0;
        if (!bit) return;
        state = press ? (state | bit) : (state & ~bit);
        uint32_t flags = ((state & Button1Mask) ? kMouseLeft : 0) | ((state & Button3Mask) ? kMouseRight : 0) |
                         ((state & Button2Mask) ? kMouseMiddle : 0) | ((state & ShiftMask) ? kMouseShift : 0) |
                         ((state & ControlMask) ? kMouseCtrl : 0);
        EventType type = b == 1 ? (press ? EventType::LButtonDown : EventType::LButtonUp)
                         : b == 3 ? (press ? EventType::RButtonDown : EventType::RButtonUp)
                                  : (press ? EventType::MButtonDown : EventType::MButtonUp);
        DeliverPointer(type, e.xbutton.x_root, e.xbutton.y_root, flags);
        return;
    }
    case MotionNotify: {
        // Only the newest of several queued moves counts.
        while (XCheckTypedWindowEvent(i.dpy, e.xmotion.window, MotionNotify, &e)) {
        }
        const unsigned int s = e.xmotion.state;
        uint32_t flags = ((s & Button1Mask) ? kMouseLeft : 0) | ((s & Button3Mask) ? kMouseRight : 0) |
                         ((s & Button2Mask) ? kMouseMiddle : 0) | ((s & ShiftMask) ? kMouseShift : 0) |
                         ((s & ControlMask) ? kMouseCtrl : 0);
        DeliverPointer(EventType::MouseMove, e.xmotion.x_root, e.xmotion.y_root, flags);
        return;
    }
    case KeyPress:
    case KeyRelease: {
        bool* down = i.keysDown;
        const unsigned int code = e.xkey.keycode & 0xFF;
        const bool press = e.type == KeyPress;
        const bool repeat = press && down[code];
        down[code] = press;
        char text[16];
        KeySym sym = NoSymbol;
        const int n = XLookupString(&e.xkey, text, sizeof text, &sym, nullptr);
        const KeySym base = XLookupKeysym(&e.xkey, 0);
        const uint32_t key = KeyOfSym(base) ? KeyOfSym(base) : KeyOfSym(sym);
        const uint8_t c = press ? CharOfSym(sym, text, n, e.xkey.state) : 0;
        const uint32_t mods = ((e.xkey.state & ShiftMask) ? kModShift : 0) |
                              ((e.xkey.state & ControlMask) ? kModCtrl : 0) |
                              ((e.xkey.state & Mod1Mask) ? kModAlt : 0);
        if (key || c) DeliverKey(press, key, c, mods, repeat);
        return;
    }
    case FocusIn:
        if (e.xfocus.serial < i.focusSerial || e.xfocus.detail == NotifyPointer) return;
        NoteFocus(HandleOf(e.xfocus.window));
        return;
    case FocusOut: {
        if (e.xfocus.serial < i.focusSerial || e.xfocus.detail == NotifyInferior || e.xfocus.detail == NotifyPointer)
            return;
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(i.dpy, &focus, &revert);
        if (!HandleOf(focus) && HandleOf(e.xfocus.window) == m_active) NoteFocus(0);
        return;
    }
    case ClientMessage:
        if (e.xclient.message_type == i.wmProtocols && static_cast<Atom>(e.xclient.data.l[0]) == i.wmDelete)
            NoteCloseRequest(HandleOf(e.xclient.window));
        return;
    case SelectionRequest: ServeSelection(&e); return;
    case SelectionClear:
        if (e.xselectionclear.selection == i.clipboardAtom) i.ownClipboard = false;
        return;
    case ReparentNotify:
        // A window manager framed the window, or gave it back to the root.
        if (Win* w = Find(HandleOf(e.xreparent.window)); w && w->native) {
            static_cast<XWin*>(w->native)->frame = 0;
            i.stackingChanged = true;
        }
        return;
    case MappingNotify: XRefreshKeyboardMapping(&e.xmapping); return;
    default: return;
    }
}

void X11WindowSystem::GetPointerPosition(int32_t& x, int32_t& y) const
{
    Window root, child;
    int rx = 0, ry = 0, wx, wy;
    unsigned int mask;
    XQueryPointer(m->dpy, m->root, &root, &child, &rx, &ry, &wx, &wy, &mask);
    x = rx;
    y = ry;
}

uint32_t X11WindowSystem::LiveModifiers() const
{
    char keys[32];
    XQueryKeymap(m->dpy, keys);
    auto held = [&](KeySym sym) {
        const KeyCode c = XKeysymToKeycode(m->dpy, sym);
        return c && (keys[c / 8] & (1 << (c % 8)));
    };
    uint32_t mods = 0;
    if (held(XK_Alt_L) || held(XK_Alt_R)) mods |= kModAlt;
    if (held(XK_Shift_L) || held(XK_Shift_R)) mods |= kModShift;
    if (held(XK_Control_L) || held(XK_Control_R)) mods |= kModCtrl;
    if (held(XK_space)) mods |= kModSpace;
    return mods;
}

ScreenRect X11WindowSystem::WorkArea() const
{
    ScreenRect r{0, 0, DisplayWidth(m->dpy, m->screen), DisplayHeight(m->dpy, m->screen)};
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(m->dpy, m->root, m->workArea, 0, 4, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data && format == 32 && count >= 4) {
        const long* v = reinterpret_cast<const long*>(data);
        if (v[2] > 0 && v[3] > 0) r = {static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]),
                                       static_cast<int32_t>(v[0] + v[2]), static_cast<int32_t>(v[1] + v[3])};
    }
    if (data) XFree(data);
    return r;
}

void X11WindowSystem::Beep()
{
    XBell(m->dpy, 0);
    XFlush(m->dpy);
}

// --- clipboard ---

void X11WindowSystem::ServeSelection(void* request)
{
    const XSelectionRequestEvent& r = static_cast<XEvent*>(request)->xselectionrequest;
    Impl& i = *m;
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = r.requestor;
    reply.xselection.selection = r.selection;
    reply.xselection.target = r.target;
    reply.xselection.time = r.time;
    reply.xselection.property = None;
    const Atom property = r.property != None ? r.property : r.target;
    if (r.selection == i.clipboardAtom && i.ownClipboard) {
        if (r.target == i.targets) {
            Atom list[4] = {i.targets, i.utf8, XA_STRING, i.textAtom};
            XChangeProperty(i.dpy, r.requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(list), i.clipboard.empty() ? 1 : 4);
            reply.xselection.property = property;
        } else if (!i.clipboard.empty() && (r.target == i.utf8 || r.target == i.textAtom || r.target == XA_STRING)) {
            std::string bytes;
            if (r.target == XA_STRING) {
                // Latin-1: the Windows-1252 letters outside it become '?'.
                for (char ch : i.clipboard) {
                    const uint8_t c = static_cast<uint8_t>(ch);
                    bytes.push_back(c >= 0x80 && c < 0xA0 ? '?' : ch);
                }
            } else {
                bytes = Cp1252ToUtf8(i.clipboard);
            }
            XChangeProperty(i.dpy, r.requestor, property, r.target == XA_STRING ? XA_STRING : i.utf8, 8,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(bytes.data()),
                            static_cast<int>(bytes.size()));
            reply.xselection.property = property;
        }
    }
    XSendEvent(i.dpy, r.requestor, False, 0, &reply);
    XFlush(i.dpy);
}

bool X11WindowSystem::FetchSelection(unsigned long target, std::vector<uint8_t>& data, unsigned long& type)
{
    Impl& i = *m;
    if (XGetSelectionOwner(i.dpy, i.clipboardAtom) == None) return false;
    XDeleteProperty(i.dpy, i.selection, i.transfer);
    XConvertSelection(i.dpy, i.clipboardAtom, static_cast<Atom>(target), i.transfer, i.selection, CurrentTime);
    XFlush(i.dpy);
    const uint64_t until = TickCount64() + 1000;
    XEvent e;
    for (;;) {
        if (XCheckTypedWindowEvent(i.dpy, i.selection, SelectionNotify, &e)) break;
        if (TickCount64() >= until || IsVirtualClock()) return false;
        struct pollfd p{ConnectionNumber(i.dpy), POLLIN, 0};
        poll(&p, 1, 10);
    }
    if (e.xselection.property == None) return false;
    Atom actual;
    int format;
    unsigned long count, after;
    unsigned char* bytes = nullptr;
    if (XGetWindowProperty(i.dpy, i.selection, i.transfer, 0, 1 << 20, True, AnyPropertyType, &actual, &format,
                           &count, &after, &bytes) != Success)
        return false;
    type = actual;
    const size_t unit = format == 32 ? sizeof(long) : static_cast<size_t>(format / 8);
    data.assign(bytes, bytes + count * unit);
    XFree(bytes);
    // Transfers in pieces are not taken.
    return actual != XInternAtom(i.dpy, "INCR", False);
}

bool X11WindowSystem::HasClipboardText()
{
    Impl& i = *m;
    if (i.ownClipboard) return !i.clipboard.empty();
    std::vector<uint8_t> data;
    unsigned long type = 0;
    if (!FetchSelection(i.targets, data, type)) return false;
    const long* atoms = reinterpret_cast<const long*>(data.data());
    for (size_t k = 0; k < data.size() / sizeof(long); ++k)
        if (static_cast<Atom>(atoms[k]) == i.utf8 || static_cast<Atom>(atoms[k]) == XA_STRING) return true;
    return false;
}

bool X11WindowSystem::GetClipboardText(std::string& text)
{
    Impl& i = *m;
    if (i.ownClipboard) {
        if (i.clipboard.empty()) return false;
        text = i.clipboard;
        return true;
    }
    std::vector<uint8_t> data;
    unsigned long type = 0;
    if (FetchSelection(i.utf8, data, type) && type == i.utf8) {
        text = Utf8ToCp1252(std::string(data.begin(), data.end()));
        return true;
    }
    if (FetchSelection(XA_STRING, data, type) && type == XA_STRING) {
        text.assign(data.begin(), data.end());
        return true;
    }
    return false;
}

bool X11WindowSystem::SetClipboardText(const std::string& text)
{
    Impl& i = *m;
    XSetSelectionOwner(i.dpy, i.clipboardAtom, i.selection, CurrentTime);
    if (XGetSelectionOwner(i.dpy, i.clipboardAtom) != i.selection) return false;
    i.ownClipboard = true;
    i.clipboard = text;
    return true;
}

namespace {
// Pixels of a drawable as R, G, B rows.
bool ReadPixels(Display* dpy, Drawable drawable, int32_t left, int32_t top, int32_t width, int32_t height,
                std::vector<uint8_t>& rgb)
{
    if (width <= 0 || height <= 0) return false;
    XSync(dpy, False);
    XImage* image = XGetImage(dpy, drawable, left, top, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    if (!image) return false;
    rgb.resize(static_cast<size_t>(width) * height * 3);
    const uint32_t rs = ShiftOf(image->red_mask), gs = ShiftOf(image->green_mask), bs = ShiftOf(image->blue_mask);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t c = 0; c < width; ++c) {
            const unsigned long p = XGetPixel(image, c, y);
            uint8_t* d = &rgb[(static_cast<size_t>(y) * width + c) * 3];
            d[0] = static_cast<uint8_t>((p & image->red_mask) >> rs);
            d[1] = static_cast<uint8_t>((p & image->green_mask) >> gs);
            d[2] = static_cast<uint8_t>((p & image->blue_mask) >> bs);
        }
    XDestroyImage(image);
    return true;
}
}  // namespace

bool X11WindowSystem::CaptureWindow(WindowHandle window, std::vector<uint8_t>& rgb, int32_t& width, int32_t& height)
{
    const Win* w = Find(window);
    if (!w || !w->native) return false;
    width = w->rect.right - w->rect.left;
    height = w->rect.bottom - w->rect.top;
    return ReadPixels(m->dpy, static_cast<XWin*>(w->native)->xid, 0, 0, width, height, rgb);
}

// --- popup menus and choosers ---

namespace {
bool IsInputEvent(int type)
{
    return type == ButtonPress || type == ButtonRelease || type == MotionNotify || type == KeyPress ||
           type == KeyRelease || type == EnterNotify || type == LeaveNotify;
}
}  // namespace

void X11WindowSystem::NativeWaitFor(int descriptor, uint64_t until)
{
    const uint64_t now = TickCount64();
    if (until > now) WaitModal(descriptor, static_cast<int>(std::min<uint64_t>(until - now, 250)));
}

void X11WindowSystem::WaitModal(int descriptor, int bound)
{
    Display* dpy = m->dpy;
    XFlush(dpy);
    if (XEventsQueued(dpy, QueuedAfterReading)) return;
    if (RunIdleHook()) {
        XFlush(dpy);
        if (XEventsQueued(dpy, QueuedAfterReading) || HasPendingEvents()) return;
    }
    const uint64_t now = TickCount64();
    const uint64_t due = NextTimerDue();
    if (due && due <= now) return;
    int64_t timeout = due ? static_cast<int64_t>(due - now) : -1;
    if (bound >= 0) timeout = timeout < 0 ? bound : std::min<int64_t>(timeout, bound);
    struct pollfd p[2] = {{ConnectionNumber(dpy), POLLIN, 0}, {descriptor, POLLIN, 0}};
    poll(p, descriptor >= 0 ? 2 : 1, static_cast<int>(std::min<int64_t>(timeout, 1000000)));
}

bool X11WindowSystem::OpenMenuRect(ScreenRect& rect) const
{
    if (!m->menu) return false;
    rect = m->menuRect;
    return true;
}

int32_t X11WindowSystem::NativePopupMenu(const MenuRequest& request)
{
    Impl& i = *m;
    if (request.items.empty() || i.menu) return -1;
    PopupMenuView view(request);
    const ScreenRect place = view.Place(WorkArea());
    const int32_t w = view.Width(), h = view.Height();
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.save_under = True;
    a.background_pixmap = None;
    a.border_pixel = 0;
    a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask | KeyReleaseMask;
    g_lastError = 0;
    const Window win = XCreateWindow(i.dpy, i.root, place.left, place.top, static_cast<unsigned>(w),
                                     static_cast<unsigned>(h), 0, i.depth, InputOutput, i.visual,
                                     CWOverrideRedirect | CWSaveUnder | CWBackPixmap | CWBorderPixel | CWEventMask, &a);
    XSync(i.dpy, False);
    if (!win || g_lastError) return -1;
    GC gc = XCreateGC(i.dpy, win, 0, nullptr);
    XImage* image = CreateImage(i.dpy, i.visual, i.depth, w, h);
    if (!image) {
        XFreeGC(i.dpy, gc);
        XDestroyWindow(i.dpy, win);
        return -1;
    }
    const ::Cursor arrow = XCreateFontCursor(i.dpy, XC_left_ptr);
    XDefineCursor(i.dpy, win, arrow);
    auto draw = [&] {
        Canvas canvas(w, h, 0);
        view.Draw(canvas);
        for (int32_t y = 0; y < h; ++y) {
            uint32_t* dst = reinterpret_cast<uint32_t*>(image->data + static_cast<size_t>(y) * image->bytes_per_line);
            const uint8_t* src = &canvas.rgb[static_cast<size_t>(y) * w * 3];
            for (int32_t x = 0; x < w; ++x)
                dst[x] = (uint32_t(src[3 * x]) << i.rShift) | (uint32_t(src[3 * x + 1]) << i.gShift) |
                         (uint32_t(src[3 * x + 2]) << i.bShift);
        }
        XPutImage(i.dpy, win, gc, image, 0, 0, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h));
        XFlush(i.dpy);
    };
    XMapRaised(i.dpy, win);
    // Grabs need a viewable window; a client that holds a grab of its own may let go a little later.
    bool pointer = false, keyboard = false;
    const uint64_t grabUntil = TickCount64() + 500;
    for (;;) {
        XWindowAttributes wa;
        XSync(i.dpy, False);
        if (XGetWindowAttributes(i.dpy, win, &wa) && wa.map_state == IsViewable) {
            if (!pointer)
                pointer = XGrabPointer(i.dpy, win, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                                       GrabModeAsync, GrabModeAsync, None, arrow, CurrentTime) == GrabSuccess;
            if (!keyboard)
                keyboard = XGrabKeyboard(i.dpy, win, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
        }
        if ((pointer && keyboard) || TickCount64() >= grabUntil) break;
        poll(nullptr, 0, 5);
    }
    bool redraw = true;
    i.modal = [&](XEvent& e) -> bool {
        if (e.xany.window != win) return IsInputEvent(e.type);  // the program's windows wait
        switch (e.type) {
        case Expose: redraw = true; break;
        case MotionNotify:
            while (XCheckTypedWindowEvent(i.dpy, win, MotionNotify, &e)) {
            }
            redraw = view.PointerMove(e.xmotion.x, e.xmotion.y) || redraw;
            break;
        case ButtonPress:
        case ButtonRelease: {
            const unsigned int b = e.xbutton.button;
            if (b > 3) break;
            const int button = b == 1 ? 0 : b == 3 ? 1 : 2;
            const bool changed = e.type == ButtonPress ? view.PointerDown(button, e.xbutton.x, e.xbutton.y)
                                                       : view.PointerUp(button, e.xbutton.x, e.xbutton.y);
            redraw = changed || redraw;
            break;
        }
        case KeyPress: redraw = view.Key(KeyOfSym(XLookupKeysym(&e.xkey, 0))) || redraw; break;
        default: break;
        }
        return true;
    };
    i.menu = win;
    i.menuRect = place;
    {
        Window rootReturn, child;
        int rx = 0, ry = 0, wx, wy;
        unsigned int mask;
        if (XQueryPointer(i.dpy, i.root, &rootReturn, &child, &rx, &ry, &wx, &wy, &mask))
            view.PointerMove(rx - place.left, ry - place.top);
    }
    const uint64_t start = TickCount64();
    while (view.GetState() == PopupMenuView::State::Open) {
        NativePoll();
        ServeWindows();
        if (view.GetState() != PopupMenuView::State::Open) break;
        if (redraw) {
            draw();
            redraw = false;
        }
        if (m_waitLimit && TickCount64() - start >= m_waitLimit) {
            view.Cancel();
            i.modal = nullptr;
            WatchdogFailure("a popup menu stays open without an answer");
            break;
        }
        WaitModal(-1, 250);
    }
    i.modal = nullptr;
    i.menu = 0;
    i.closedMenu = win;
    if (keyboard) XUngrabKeyboard(i.dpy, CurrentTime);
    if (pointer) XUngrabPointer(i.dpy, CurrentTime);
    XDestroyWindow(i.dpy, win);
    XDestroyImage(image);
    XFreeGC(i.dpy, gc);
    XFreeCursor(i.dpy, arrow);
    XSync(i.dpy, False);
    return view.GetState() == PopupMenuView::State::Chosen ? view.Choice() : -1;
}

namespace {
const char kNoFileChooser[] = "No file chooser program was found.\nInstall zenity or kdialog to choose files and folders.";
const char kNoColorChooser[] = "No color chooser program was found.\nInstall zenity or kdialog to choose colors.";
}  // namespace

bool X11WindowSystem::NoChooser(WindowHandle owner, const char* text)
{
    MessageBoxRequest box;
    box.owner = owner;
    box.text = text;
    box.caption = "Error";
    box.icon = MessageIcon::Error;
    MessageBox(box);
    return false;
}

bool X11WindowSystem::RunChooser(const std::string& program, const std::vector<std::string>& arguments,
                                 WindowHandle owner, std::string& output, const char* what)
{
    ChooserProcess child;
    bool ended = child.Start(program, arguments, DisplayString(m->dpy));
    if (ended) {
        m->modal = [](XEvent& e) { return IsInputEvent(e.type); };
        const uint64_t start = TickCount64();
        while (!child.Collect()) {
            ServeWindows();
            if (m_waitLimit && TickCount64() - start >= m_waitLimit) {
                child.Kill();
                m->modal = nullptr;
                WatchdogFailure("the file chooser runs without an answer");
                return false;
            }
            // The output may end before the process does; then it is looked at now and then.
            WaitModal(child.OutputDescriptor(), child.OutputDescriptor() < 0 ? 20 : 250);
        }
        m->modal = nullptr;
        if (child.ExitStatus() == 0) {
            output = child.Output();
            return true;
        }
        if (child.ExitStatus() == 1) return false;  // cancelled
    }
    const size_t slash = program.rfind('/');
    MessageBoxRequest box;
    box.owner = owner;
    box.text = std::string("The ") + what + " \"" +
               Utf8ToCp1252(program.substr(slash == std::string::npos ? 0 : slash + 1)) +
               (ended ? "\" ended with an error." : "\" could not be started.");
    box.caption = "Error";
    box.icon = MessageIcon::Error;
    MessageBox(box);
    return false;
}

bool X11WindowSystem::NativeChooseFile(const FileChoiceRequest& request, std::string& path)
{
    const ChooserProgram chooser = FindChooser();
    if (chooser.kind == ChooserKind::Missing) return NoChooser(request.owner, kNoFileChooser);
    FileChoiceRequest run = request;
    for (;;) {
        std::string output;
        if (!RunChooser(chooser.path, FileChooserArguments(chooser.kind, run), request.owner, output)) return false;
        const std::string chosen = ChosenPath(output);
        if (chosen.empty()) return false;
        const std::string named = run.save ? WithDefaultExtension(chosen, run.defaultExtension) : chosen;
        if (named == chosen || !PathExists(named.c_str())) {
            path = named;
            return true;
        }
        // The chooser asked about the name as typed; with the extension it names another file.
        const size_t slash = named.rfind('\\');
        MessageBoxRequest ask;
        ask.owner = request.owner;
        ask.text = named.substr(slash + 1) + " already exists.\nDo you want to replace it?";
        ask.caption = "Confirm Save As";
        ask.buttons = MessageButtons::YesNo;
        ask.icon = MessageIcon::Warning;
        if (MessageBox(ask) == kIdYes) {
            path = named;
            return true;
        }
        run.folder = named.substr(0, slash + 1);
        run.fileName = named.substr(slash + 1);
    }
}

bool X11WindowSystem::NativeChooseFolder(const FolderChoiceRequest& request, std::string& path)
{
    const ChooserProgram chooser = FindChooser();
    if (chooser.kind == ChooserKind::Missing) return NoChooser(request.owner, kNoFileChooser);
    std::string output;
    if (!RunChooser(chooser.path, FolderChooserArguments(chooser.kind, request), request.owner, output)) return false;
    path = ChosenPath(output);
    return !path.empty();
}

bool X11WindowSystem::NativeChooseColor(const ColorChoiceRequest& request, uint8_t rgb[3])
{
    const ChooserProgram chooser = FindChooser();
    if (chooser.kind == ChooserKind::Missing) return NoChooser(request.owner, kNoColorChooser);
    std::string output;
    if (!RunChooser(chooser.path, ColorChooserArguments(chooser.kind, request), request.owner, output,
                    "color chooser"))
        return false;
    return ChosenColor(output, rgb);
}

bool X11WindowSystem::CaptureScreen(const ScreenRect& rect, std::vector<uint8_t>& rgb)
{
    return ReadPixels(m->dpy, m->root, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, rgb);
}

// --- synthetic input ---

bool X11WindowSystem::HasTestInput() const { return m->xtest; }

bool X11WindowSystem::FakeMotion(int32_t x, int32_t y)
{
    if (!m->xtest) return false;
    XTestFakeMotionEvent(m->dpy, m->screen, x, y, CurrentTime);
    XFlush(m->dpy);
    return true;
}

bool X11WindowSystem::FakeButton(int button, bool press)
{
    if (!m->xtest) return false;
    XTestFakeButtonEvent(m->dpy, static_cast<unsigned>(button), press ? True : False, CurrentTime);
    XFlush(m->dpy);
    return true;
}

bool X11WindowSystem::FakeKey(uint32_t key, bool press)
{
    const KeySym sym = SymOfKey(key);
    const KeyCode code = sym != NoSymbol ? XKeysymToKeycode(m->dpy, sym) : 0;
    if (!m->xtest || !code) return false;
    XTestFakeKeyEvent(m->dpy, code, press ? True : False, CurrentTime);
    XFlush(m->dpy);
    return true;
}

void X11WindowSystem::Sync() { XSync(m->dpy, False); }

}  // namespace qwp
