// The window system: native windows, their pixels and shapes, input, timers, the event queue and
// a few modal system services (message box, popup menu, file and folder choice), with two
// backends: a headless one that tests drive (qw_winsys_headless.h) and one on X11.
//
// The model is that of a classic desktop message queue, so that the toolkit above keeps all of
// its own logic (routing, click chains, key codes, the shadow blur, region runs, modal loops and
// pumping):
// - every window has a client that receives its events; posted events wait in one queue until
//   the program takes and dispatches them, sent events reach the client at once (destruction,
//   moves, activation, capture changes, cursor and hit-test questions);
// - paint requests and due timers are made when the queue is asked for its next event;
// - a quit request ends the loop that takes it.
// Coordinates are screen pixels; client coordinates are relative to a window's top-left corner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qwp {

struct Bitmap;
struct DrawContext;

// A native window; 0 is none. Windows of other code in the process (a host's window) are
// native windows of the same system.
using WindowHandle = intptr_t;

struct ScreenRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;   // exclusive
    int32_t bottom = 0;  // exclusive
};

// Key identifiers, numbered as the classic virtual-key codes: letters and digits are their
// upper-case characters.
namespace vk {
inline constexpr uint32_t Back = 0x08;
inline constexpr uint32_t Tab = 0x09;
inline constexpr uint32_t Return = 0x0D;
inline constexpr uint32_t Shift = 0x10;
inline constexpr uint32_t Control = 0x11;
inline constexpr uint32_t Alt = 0x12;
inline constexpr uint32_t Escape = 0x1B;
inline constexpr uint32_t Space = 0x20;
inline constexpr uint32_t PageUp = 0x21;
inline constexpr uint32_t PageDown = 0x22;
inline constexpr uint32_t End = 0x23;
inline constexpr uint32_t Home = 0x24;
inline constexpr uint32_t Left = 0x25;
inline constexpr uint32_t Up = 0x26;
inline constexpr uint32_t Right = 0x27;
inline constexpr uint32_t Down = 0x28;
inline constexpr uint32_t Insert = 0x2D;
inline constexpr uint32_t Delete = 0x2E;
inline constexpr uint32_t Numpad0 = 0x60;
inline constexpr uint32_t Multiply = 0x6A;
inline constexpr uint32_t Add = 0x6B;
inline constexpr uint32_t Subtract = 0x6D;
inline constexpr uint32_t Decimal = 0x6E;
inline constexpr uint32_t Divide = 0x6F;
inline constexpr uint32_t F1 = 0x70;
inline constexpr uint32_t F10 = 0x79;
inline constexpr uint32_t F12 = 0x7B;
inline constexpr uint32_t Semicolon = 0xBA;
inline constexpr uint32_t Equals = 0xBB;
inline constexpr uint32_t Comma = 0xBC;
inline constexpr uint32_t Minus = 0xBD;
inline constexpr uint32_t Period = 0xBE;
inline constexpr uint32_t Slash = 0xBF;
inline constexpr uint32_t Grave = 0xC0;
inline constexpr uint32_t BracketLeft = 0xDB;
inline constexpr uint32_t Backslash = 0xDC;
inline constexpr uint32_t BracketRight = 0xDD;
inline constexpr uint32_t Quote = 0xDE;
}

// Held modifier keys (LiveModifiers, key events).
inline constexpr uint32_t kModAlt = 1;
inline constexpr uint32_t kModShift = 2;
inline constexpr uint32_t kModCtrl = 4;
inline constexpr uint32_t kModSpace = 16;
// Mouse event flags: the buttons and keys held while the event happened.
inline constexpr uint32_t kMouseLeft = 1;
inline constexpr uint32_t kMouseRight = 2;
inline constexpr uint32_t kMouseShift = 4;
inline constexpr uint32_t kMouseCtrl = 8;
inline constexpr uint32_t kMouseMiddle = 16;

enum class EventType : uint8_t {
    None = 0,
    // Sent: the client is called at once.
    Destroy,         // the window is being destroyed (its owned windows are gone already)
    Move,            // x, y: the new top-left corner
    Activate,        // flags 1: became the active window, 0: lost it; param: the other window
    ActivateApp,     // flags 1: the program's windows became active, 0: inactive
    Shown,           // the window was shown
    EnterMove,       // an interactive move starts
    ExitMove,        // an interactive move ended
    SetCursor,       // the pointer is over the window (x, y client); code: the mouse event type
                     // that caused it (as uint32_t(EventType)); flags 1: the window is disabled
    HitTest,         // screenX, screenY: answer 1 when the point drags the window
    CaptureChanged,  // the window lost the pointer capture
    // Posted: queued until taken.
    Paint,           // x, y, width, height: the area to paint
    Close,           // a request to close the window
    KeyDown,         // code: key (vk), flags: modifiers; param 1: an automatic repeat
    KeyUp,
    SysKeyDown,      // a key pressed with Alt held and Ctrl not, or F10
    SysKeyUp,
    Char,            // code: the Windows-1252 character (Ctrl+letter gives 1 to 26), flags: modifiers
    Timer,           // code: timer id
    MouseMove,       // x, y client, screenX, screenY, flags: kMouse*
    LButtonDown,
    LButtonUp,
    RButtonDown,
    RButtonUp,
    MButtonDown,
    MButtonUp,
    MouseWheel,      // screenX, screenY, flags, delta: 120 per notch, positive away from the user
    User,            // code, param: the poster's own
    Quit,            // param: the exit code
};

struct Event {
    EventType type = EventType::None;
    WindowHandle window = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t screenX = 0;
    int32_t screenY = 0;
    uint32_t code = 0;
    uint32_t flags = 0;
    int32_t delta = 0;
    intptr_t param = 0;
};

// Receives the events of one window. The answer of a sent event goes back to the sender.
class WindowClient {
public:
    virtual ~WindowClient() = default;
    virtual intptr_t HandleEvent(const Event& event) = 0;
};

enum class WindowKind : uint8_t {
    TopLevel,  // a window of its own; with an owner it stays above it and goes with it
    Child,     // inside its parent (used by hosts for their own views)
    Overlay,   // a translucent window shown through per-pixel alpha (UpdateOverlay); never
               // activated and never hit by the pointer
};

struct WindowParams {
    WindowKind kind = WindowKind::TopLevel;
    WindowHandle owner = 0;     // the owner (TopLevel, Overlay) or parent (Child)
    bool toolWindow = false;    // no taskbar entry
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 1;
    int32_t height = 1;
    std::string title;          // Windows-1252
    std::string className;      // the program's name for the kind of window (X11: WM_CLASS)
    WindowClient* client = nullptr;  // not owned; may be null (events are then dropped)
};

enum class ShowMode : uint8_t { Hide, Show, ShowNoActivate };

// Pointer shapes. The program's own cursors are registered with DefineCursor under their
// resource numbers (107 to 123) and chosen with SetCursorShape(number).
inline constexpr int32_t kCursorArrow = 0;
inline constexpr int32_t kCursorIBeam = 1;

// Message boxes. The results are the classic ones.
enum class MessageButtons : uint8_t { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
enum class MessageIcon : uint8_t { None, Error, Warning, Question, Information };
inline constexpr int32_t kIdOk = 1;
inline constexpr int32_t kIdCancel = 2;
inline constexpr int32_t kIdAbort = 3;
inline constexpr int32_t kIdRetry = 4;
inline constexpr int32_t kIdIgnore = 5;
inline constexpr int32_t kIdYes = 6;
inline constexpr int32_t kIdNo = 7;

struct MessageBoxRequest {
    WindowHandle owner = 0;
    std::string text;     // Windows-1252, "\n" breaks lines
    std::string caption;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
};

// The answer a box gives when it is closed without a choice (close box, Escape where the box
// has a cancelling button, or a headless run nobody scripted).
int32_t MessageBoxCancelResult(MessageButtons buttons);

struct MenuItem {
    std::string text;      // "\t" separates the shortcut text shown at the right
    bool separator = false;
    bool checked = false;
    bool greyed = false;
};

struct MenuRequest {
    WindowHandle owner = 0;
    int32_t screenX = 0;
    int32_t screenY = 0;
    bool leftButton = true;   // tracked with the left button, else the right
    std::vector<MenuItem> items;
};

struct FileFilter {
    std::string description;
    std::vector<std::string> extensions;  // without the dot
};

struct FileChoiceRequest {
    WindowHandle owner = 0;
    bool save = false;
    std::string title;
    std::string folder;    // Windows-style, may be empty
    std::string fileName;  // initial name (save)
    std::string defaultExtension;
    std::vector<FileFilter> filters;
};

struct FolderChoiceRequest {
    WindowHandle owner = 0;
    std::string title;
    std::string startFolder;  // Windows-style
};

struct ColorChoiceRequest {
    WindowHandle owner = 0;
    std::string title;  // Windows-1252; empty: the system's colour dialog's own title
    uint8_t red = 0;    // the colour the chooser starts from
    uint8_t green = 0;
    uint8_t blue = 0;
};

class WindowSystem {
public:
    WindowSystem();
    // Windows still alive go without events: their clients may be gone already.
    virtual ~WindowSystem();
    WindowSystem(const WindowSystem&) = delete;
    WindowSystem& operator=(const WindowSystem&) = delete;

    // "headless" or "x11".
    virtual const char* Name() const = 0;

    // --- windows ---
    WindowHandle CreateWindow(const WindowParams& params);
    // Destroys the window's owned and child windows first, then sends it Destroy.
    bool DestroyWindow(WindowHandle window);
    bool IsWindow(WindowHandle window) const;
    bool ShowWindow(WindowHandle window, ShowMode mode);
    bool IsVisible(WindowHandle window) const;
    // Moves the top-left corner (sends Move).
    bool MoveWindow(WindowHandle window, int32_t x, int32_t y);
    bool GetWindowRect(WindowHandle window, ScreenRect& rect) const;
    // Places the window directly below another in the stacking order (0: at the bottom).
    bool PlaceBehind(WindowHandle window, WindowHandle above);
    bool EnableWindow(WindowHandle window, bool enable);
    bool IsEnabled(WindowHandle window) const;
    // The owner of a top-level window or overlay, the parent of a child; 0 for none.
    WindowHandle GetParent(WindowHandle window) const;
    bool IsChild(WindowHandle window) const;
    // Every window that is not a child, in creation order.
    std::vector<WindowHandle> TopLevelWindows() const;
    // The visible window under a screen point (children before their parent), 0 for none.
    WindowHandle WindowFromPoint(int32_t x, int32_t y) const;
    // A sentinel that stands for the desktop.
    static constexpr WindowHandle kDesktop = -1;

    // Outline: rectangles in client coordinates (right and bottom exclusive). An empty list
    // makes the window its whole rectangle again.
    bool SetShape(WindowHandle window, const std::vector<ScreenRect>& rects);
    // The window lets the pointer through to what lies below.
    bool SetInputTransparent(WindowHandle window, bool transparent);
    // A new title for a window (Windows-1252).
    bool SetTitle(WindowHandle window, const std::string& title);

    // --- pixels ---
    // A drawing context whose copies land in the window and are shown at once (the target
    // bitmap has the window's size). Release it after use.
    DrawContext* GetWindowContext(WindowHandle window);
    void ReleaseWindowContext(DrawContext* dc);
    // Whether overlays can blend with what lies below (otherwise callers skip them).
    virtual bool CanBlend() const = 0;
    // Sets an overlay's pixels: width x height, rows top to bottom, 4 bytes per pixel B, G, R, A,
    // colour premultiplied by alpha. The size must be the window's.
    bool UpdateOverlay(WindowHandle window, const uint8_t* bgra, int32_t width, int32_t height);

    // --- activation and input ---
    WindowHandle GetActiveWindow() const { return m_active; }
    // Activates a visible, enabled window (0 deactivates the program); returns the previous one.
    WindowHandle SetActiveWindow(WindowHandle window);
    // The window of the root's family that was active last (the root itself when none was).
    WindowHandle GetLastActivePopup(WindowHandle root) const;
    WindowHandle SetCapture(WindowHandle window);
    bool ReleaseCapture();
    WindowHandle GetCapture() const { return m_capture; }
    // The pointer position in screen coordinates.
    virtual void GetPointerPosition(int32_t& x, int32_t& y) const = 0;
    // The modifier keys held now (kMod* bits).
    virtual uint32_t LiveModifiers() const = 0;
    // Registers a cursor image (w x h, rows top to bottom, B, G, R, A) under a number >= 100.
    bool DefineCursor(int32_t id, const uint8_t* bgra, int32_t width, int32_t height,
                      int32_t hotX, int32_t hotY);
    bool HasCursor(int32_t id) const;
    // Shows a pointer shape for the window under the pointer; an unknown number gives the arrow.
    void SetCursorShape(int32_t id);
    int32_t GetCursorShape() const { return m_cursor; }

    // --- timers, time and the queue ---
    // Starts or restarts a timer of the window; ticks arrive as Timer events.
    bool SetTimer(WindowHandle window, uint32_t id, uint32_t milliseconds);
    bool KillTimer(WindowHandle window, uint32_t id);
    uint32_t DoubleClickTime() const { return 500; }
    uint32_t CaretBlinkTime() const { return 530; }
    // Waits for the next event; false when it is the quit request (event.param holds its code).
    bool GetEvent(Event& event);
    // Takes the first pending event of the window (of every window and the program when 0)
    // whose type is not kept: kept types stay queued in their places. False when none.
    bool TakeEvent(Event& event, WindowHandle window, const std::vector<EventType>& keep = {});
    // Calls the client of the event's window.
    intptr_t Dispatch(const Event& event);
    // Calls the client at once.
    intptr_t Send(const Event& event);
    bool Post(const Event& event);
    void PostQuit(int32_t code);
    // What happens to an event that the client does not handle itself.
    intptr_t DefaultHandling(const Event& event);

    // --- screen ---
    virtual ScreenRect WorkArea() const = 0;
    // The work area of the monitor nearest to the rectangle.
    virtual ScreenRect NearestWorkArea(const ScreenRect& rect) const { (void)rect; return WorkArea(); }

    // --- system services ---
    virtual void Beep() = 0;
    // The clipboard holds 8-bit (Windows-1252) text.
    virtual bool HasClipboardText() = 0;
    virtual bool GetClipboardText(std::string& text) = 0;
    // An empty text empties the clipboard.
    virtual bool SetClipboardText(const std::string& text) = 0;
    // Modal over the owner (disabled meanwhile); answers kId*.
    int32_t MessageBox(const MessageBoxRequest& request);
    // Shows a popup menu; the chosen item's index, or -1 when none was chosen. A window holding
    // the pointer capture loses it first.
    int32_t TrackPopupMenu(const MenuRequest& request);
    // Runs a file chooser, modal over the owner (disabled meanwhile, active again after); true
    // with the chosen Windows-style path.
    bool ChooseFile(const FileChoiceRequest& request, std::string& path);
    bool ChooseFolder(const FolderChoiceRequest& request, std::string& path);
    // Runs a colour chooser the same way; true with the chosen red, green and blue.
    bool ChooseColor(const ColorChoiceRequest& request, uint8_t rgb[3]);
    // A file, folder or colour chooser runs now (the program's windows wait for its answer).
    bool ChooserRunning() const { return m_choosersRunning > 0; }
    // While the program waits for something else (a program it started): paints, timers and
    // activation reach the windows, their input is dropped. Ends when `ready` answers true
    // (true) or `milliseconds` of the program's clock have passed (false); a descriptor (-1:
    // none) that becomes readable ends a round of waiting early. Headless, the virtual clock
    // runs through the wait.
    bool ServeWindowsWhile(const std::function<bool()>& ready, int descriptor, uint32_t milliseconds);

    // --- for tests and hosts ---
    // Called when the program waits for events and none is pending; tests act in modal loops
    // from here (inject input, answer, advance the clock).
    void SetIdleHook(std::function<void()> hook) { m_idleHook = std::move(hook); }
    // From the idle hook: wait at most this many milliseconds before calling it again, even
    // when nothing else happens (asked anew at each call).
    void WakeIdleHookAfter(uint32_t milliseconds);
    // Called instead of hanging: a wait that can never end, or one that lasts beyond the
    // watchdog's limit. The default prints the reason and aborts the program.
    void SetWatchdogHandler(std::function<void(const char* reason)> handler)
    {
        m_watchdog = std::move(handler);
    }
    // Number of windows alive.
    size_t WindowCount() const;
    // What the window shows now, rows top to bottom, 3 bytes R, G, B per pixel.
    virtual bool CaptureWindow(WindowHandle window, std::vector<uint8_t>& rgb, int32_t& width,
                               int32_t& height);

protected:
    struct TimerEntry {
        WindowHandle window;
        uint32_t id;
        uint32_t interval;
        uint64_t due;
    };
    struct Win {
        WindowHandle handle = 0;
        WindowParams params;
        ScreenRect rect;
        bool visible = false;
        bool enabled = true;
        bool inputTransparent = false;
        bool everShown = false;
        bool dying = false;
        std::vector<ScreenRect> shape;  // empty: the whole rectangle
        Bitmap* backing = nullptr;      // 24-bit, the presented pixels
        std::vector<uint8_t> overlay;   // B, G, R, A rows (overlays)
        WindowHandle lastActivePopup = 0;
        ScreenRect paint;               // pending paint (empty: none)
        void* native = nullptr;         // the backend's own data
    };

    struct Cursor {
        int32_t id = 0;
        int32_t width = 0, height = 0, hotX = 0, hotY = 0;
        std::vector<uint8_t> bgra;
    };

    // Backend hooks.
    virtual bool NativeCreate(Win& win) = 0;
    virtual void NativeDestroy(Win& win) = 0;
    virtual void NativeShow(Win& win, ShowMode mode) = 0;
    virtual void NativeMove(Win& win) = 0;
    // The stacking order changed (m_stack, top first).
    virtual void NativeRestack() = 0;
    virtual void NativeShape(Win& win) = 0;
    virtual void NativeInputTransparent(Win& win) = 0;
    // The window's title changed (params.title); nothing to do where titles are not shown.
    virtual void NativeTitle(Win& win) { (void)win; }
    virtual void NativePresent(Win& win, int32_t x, int32_t y, int32_t w, int32_t h) = 0;
    virtual bool NativeUpdateOverlay(Win& win) = 0;
    virtual void NativeActivate(Win* win) = 0;
    virtual void NativeCapture(Win* win) = 0;
    virtual void NativeCursor(const Cursor* cursor) = 0;  // null: the arrow or the I-beam

    // Reads whatever input the system has ready into the queue (never blocks).
    virtual void NativePoll() = 0;
    // Nothing is pending: waits for input until the time (TickCount64 milliseconds, 0: no
    // limit); may also return early. False when nothing can ever arrive.
    virtual bool NativeWait(uint64_t until) = 0;
    // Waits until the system has input, a timer is due, the descriptor (-1: none) is readable
    // or the time (TickCount64 milliseconds) has come; may return early. Nothing else runs.
    virtual void NativeWaitFor(int descriptor, uint64_t until) = 0;
    // Takes every pending event: paints, timers and activation are dispatched, input and the
    // rest dropped (quit, close and user events stay queued).
    void ServeWindows();
    // Starts an interactive move the system does itself; false lets the pointer events move it.
    virtual bool NativeBeginMove(Win& win, int32_t screenX, int32_t screenY)
    {
        (void)win, (void)screenX, (void)screenY;
        return false;
    }
    // Modal services the backend answers itself; -2 / false+unhandled: use the common one.
    virtual int32_t NativeMessageBox(const MessageBoxRequest& request, bool& handled);
    virtual int32_t NativePopupMenu(const MenuRequest& request);
    virtual bool NativeChooseFile(const FileChoiceRequest& request, std::string& path);
    virtual bool NativeChooseFolder(const FolderChoiceRequest& request, std::string& path);
    virtual bool NativeChooseColor(const ColorChoiceRequest& request, uint8_t rgb[3]);
    // The program's own box (shown when the backend did not answer) ended with the result.
    virtual void MessageBoxAnswered(int32_t result) { (void)result; }

    // For the backends: input as the system reports it. Pointer events go to the capture
    // window or the window under the point; keys to the active window.
    void DeliverPointer(EventType type, int32_t screenX, int32_t screenY, uint32_t flags,
                        int32_t delta = 0);
    void DeliverKey(bool down, uint32_t key, uint8_t character, uint32_t modifiers, bool repeat);
    // The system moved or resized a window / lost or gained the program's focus.
    void NoteMoved(WindowHandle window, int32_t x, int32_t y);
    void NoteFocus(WindowHandle window);
    void NoteCloseRequest(WindowHandle window);
    void AddPaint(WindowHandle window, const ScreenRect& area);
    // Runs the idle hook once; true when one is set.
    bool RunIdleHook();
    void WatchdogFailure(const char* reason);

    // Something is waiting to be taken (queued, a quit, a paint or a due timer).
    bool HasPendingEvents() const;
    // Every window, children too, in creation order.
    std::vector<WindowHandle> AllWindows() const;
    Win* Find(WindowHandle window);
    const Win* Find(WindowHandle window) const;
    // Windows in stacking order, top first.
    std::vector<WindowHandle> m_stack;
    bool Contains(const Win& win, int32_t x, int32_t y) const;
    uint64_t NextTimerDue() const;

    WindowHandle m_active = 0;
    WindowHandle m_capture = 0;
    int32_t m_cursor = kCursorArrow;
    // Interactive move done by the pointer events.
    WindowHandle m_moving = 0;
    int32_t m_moveDx = 0;
    int32_t m_moveDy = 0;

private:
    bool TakeQueued(Event& event, WindowHandle window, const std::vector<EventType>& keep);
    void PurgeWindow(WindowHandle window);
    void DestroyOne(WindowHandle window);
    void PassActivationFrom(WindowHandle window);
    WindowHandle RootOf(WindowHandle window) const;

    std::vector<std::unique_ptr<Win>> m_windows;
    std::vector<Event> m_queue;
    std::vector<TimerEntry> m_timers;
    std::vector<Cursor> m_cursors;
    bool m_quit = false;
    int32_t m_quitCode = 0;
    WindowHandle m_nextHandle = 0x1000;
    std::function<void()> m_idleHook;
    uint64_t m_idleWake = 0;
    std::function<void(const char*)> m_watchdog;
    int m_choosersRunning = 0;

protected:
    const Cursor* FindCursor(int32_t id) const;
    void Raise(WindowHandle window);
    static void PresentCallback(void* owner, intptr_t tag, int32_t x, int32_t y, int32_t w, int32_t h);
};

// The program's window system: chosen on first use by QW_WINDOW_SYSTEM ("headless" or "x11");
// without it X11 when a display can be opened, else headless.
WindowSystem& WS();
// A program that a person starts (the setup and uninstall programs) chooses its window system
// before its first window: QW_WINDOW_SYSTEM=headless runs it headless; otherwise it needs an X11
// display, and without one this is false with the reason and what to do in the error.
bool OpenProgramWindowSystem(std::string& error);
// Installs a window system (tests; null returns to the chosen one). Returns the previous.
WindowSystem* SetWindowSystem(WindowSystem* system);
// The error of QW_WINDOW_SYSTEM when it names no window system ("" when it is unset, empty,
// "headless" or "x11"). A program refuses to run with it (qw_envcheck.h); elsewhere it is said on
// stderr when the window system is chosen, and does not choose it.
std::string WindowSystemSettingError();
// A new backend by name; null when it cannot start (no display for "x11").
std::unique_ptr<WindowSystem> CreateWindowSystem(const char* name);

}  // namespace qwp
