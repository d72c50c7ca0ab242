#include "support/ui_test_support.h"

#include <png.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_storage.h"
#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_window.h"
#include "platform/qw_paths.h"
#include "platform/qw_resource.h"
#include "support/test_support.h"

namespace qwtest {

uint32_t Picture::At(int32_t x, int32_t y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
}

bool ReadPngRgba(const std::string& path, int32_t& width, int32_t& height, std::vector<uint8_t>& rgba)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    rgba.assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    width = static_cast<int32_t>(image.width);
    height = static_cast<int32_t>(image.height);
    return true;
}

bool WritePng(const std::string& path, const Picture& picture)
{
    if (picture.width <= 0 || picture.height <= 0) return false;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, f);
        png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
                     static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int32_t y = 0; y < picture.height; ++y)
            png_write_row(png, const_cast<png_bytep>(&picture.rgb[static_cast<size_t>(y) * picture.width * 3]));
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0 && ok;
}

namespace {
void ToScreen(CQWF_Window& window, int32_t& x, int32_t& y)
{
    QWF_Rect r{0, 0, 0, 0};
    window.GetWindowRect(r);
    x += r.left;
    y += r.top;
}
}  // namespace

// --- the driver ---

void UiDriver::Install(qwp::WindowSystem* system, CQWF_App* app)
{
    m_system = system;
    m_previousSystem = qwp::SetWindowSystem(system);
    m_previousApp = CQWF_App::GetApp();
    if (!app) {
        m_ownApp = std::make_unique<CQWF_App>();
        app = m_ownApp.get();
    }
    m_app = app;
    CQWF_App::SetApp(app);
}

void UiDriver::Uninstall()
{
    if (!m_system) return;
    CQWF_App::SetApp(m_previousApp);
    m_ownApp.reset();
    qwp::SetWindowSystem(m_previousSystem);
    m_system = nullptr;
}

UiDriver::~UiDriver() { Uninstall(); }

void UiDriver::MoveTo(CQWF_Window& window, int32_t x, int32_t y)
{
    ToScreen(window, x, y);
    PointerTo(x, y);
    Pump();
}

void UiDriver::Press(CQWF_Window& window, int32_t x, int32_t y, int button)
{
    MoveTo(window, x, y);
    Button(button, true);
    Pump();
}

void UiDriver::Release(CQWF_Window& window, int32_t x, int32_t y, int button)
{
    MoveTo(window, x, y);
    Button(button, false);
    Pump();
}

void UiDriver::Click(CQWF_Window& window, int32_t x, int32_t y, int button)
{
    Press(window, x, y, button);
    Button(button, false);
    Pump();
}

void UiDriver::Drag(CQWF_Window& window, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int steps)
{
    // Screen points are fixed at the start: the window may move under the pointer.
    int32_t sx = x0, sy = y0, ex = x1, ey = y1;
    ToScreen(window, sx, sy);
    ToScreen(window, ex, ey);
    PointerTo(sx, sy);
    Pump();
    Button(0, true);
    Pump();
    for (int i = 1; i <= steps; ++i) {
        PointerTo(sx + (ex - sx) * i / steps, sy + (ey - sy) * i / steps);
        Pump();
    }
    Button(0, false);
    Pump();
}

bool UiDriver::ClickControl(CQWF_Window& window, int32_t index)
{
    CQWF_Control* c = window.GetControl(index);
    if (!c) return false;
    QWF_Rect r = c->GetRect();
    if (QWF_IsWholeRect(r)) return false;
    Click(window, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    return true;
}

bool UiDriver::ClickControl(CQWF_Window& window, const char* name)
{
    return ClickControl(window, window.FindControl(name));
}

void UiDriver::Key(uint32_t key)
{
    KeyEvent(key, true);
    KeyEvent(key, false);
    Pump();
}

Picture UiDriver::Pixels(CQWF_Window& window)
{
    Picture p;
    m_system->CaptureWindow(window.GetHWND(), p.rgb, p.width, p.height);
    return p;
}

bool UiDriver::Screenshot(CQWF_Window& window, const std::string& name)
{
    return WritePng(OutputDir("screens") + "/" + name + ".png", Pixels(window));
}

// --- headless ---

HeadlessUi::HeadlessUi(CQWF_App* app) { Install(&m_ws, app); }

HeadlessUi::~HeadlessUi() = default;

void HeadlessUi::Pump()
{
    qwp::Event e;
    while (m_ws.TakeEvent(e, 0, {qwp::EventType::Quit})) m_ws.Dispatch(e);
}

void HeadlessUi::Button(int button, bool down) { down ? m_ws.PressButton(button) : m_ws.ReleaseButton(button); }

void HeadlessUi::KeyEvent(uint32_t key, bool down) { down ? m_ws.KeyDown(key) : m_ws.KeyUp(key); }

void UiDriver::Wheel(CQWF_Window& window, int32_t x, int32_t y, int32_t notches)
{
    MoveTo(window, x, y);
    WheelEvent(notches);
    Pump();
}

void HeadlessUi::Type(const std::string& text)
{
    m_ws.TypeText(text);
    Pump();
}

void HeadlessUi::Chord(uint32_t key, bool ctrl, bool shift, bool alt)
{
    const uint32_t mods[3] = {ctrl ? qwp::vk::Control : 0u, shift ? qwp::vk::Shift : 0u, alt ? qwp::vk::Alt : 0u};
    for (uint32_t m : mods)
        if (m) m_ws.KeyDown(m);
    m_ws.KeyDown(key);
    m_ws.KeyUp(key);
    for (int i = 2; i >= 0; --i)
        if (mods[i]) m_ws.KeyUp(mods[i]);
    Pump();
}

void HeadlessUi::Advance(uint64_t milliseconds)
{
    m_ws.AdvanceTime(milliseconds);
    Pump();
}

Picture HeadlessUi::Screen()
{
    Picture p;
    m_ws.CaptureScreen(p.rgb, p.width, p.height);
    return p;
}

bool HeadlessUi::ScreenScreenshot(const std::string& name)
{
    return WritePng(OutputDir("screens") + "/" + name + ".png", Screen());
}

// --- X11 ---

namespace {
pid_t g_privateServer = -1;

void StopPrivateServer()
{
    if (g_privateServer <= 0) return;
    ::kill(g_privateServer, SIGTERM);
    ::waitpid(g_privateServer, nullptr, 0);
    g_privateServer = -1;
}

// Without a test display given, a private Xvfb of this program (once, stopped when the program
// ends, or by the system when it dies) named in QW_TEST_DISPLAY: the X11 tests run wherever
// Xvfb is installed, also when the test program runs alone. False when there is none.
bool StartPrivateServer()
{
    static bool tried = false;
    if (tried) return g_privateServer > 0;
    tried = true;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    const std::string fd = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1366x768x24", "-nolisten", "tcp", nullptr};
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(1);
        ::fcntl(fds[1], F_SETFD, 0);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        // Found on the path; without one the display's number never comes.
        ::execvp(argv[0], const_cast<char* const*>(argv));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (pid > 0 && ::poll(&p, 1, 10000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n') number.push_back(c);
    ::close(fds[0]);
    if (pid <= 0) return false;
    g_privateServer = pid;
    std::atexit(StopPrivateServer);
    if (number.empty()) {
        StopPrivateServer();
        return false;
    }
    ::setenv("QW_TEST_DISPLAY", (":" + number).c_str(), 1);
    return true;
}
}  // namespace

X11Ui::X11Ui(CQWF_App* app)
{
    const char* display = std::getenv("QW_TEST_DISPLAY");
    if ((!display || !*display) && StartPrivateServer()) display = std::getenv("QW_TEST_DISPLAY");
    if (!display || !*display) {
        m_why = "no X11 test display (QW_TEST_DISPLAY, or Xvfb to start one)";
        return;
    }
    // One X11 test at a time on a display, across the test programs that ctest runs at once.
    std::string lock = "/tmp/qw-x11-test";
    for (const char* p = display; *p; ++p) lock.push_back(std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_');
    m_lock = ::open((lock + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_lock >= 0) ::flock(m_lock, LOCK_EX);
    // Xvfb refuses a connection now and then while it has not yet accepted the last ones (the
    // socket's backlog is full, EAGAIN): such an open is tried again after a short pause.
    for (int attempt = 0; attempt < 50 && !m_ws; ++attempt) {
        if (attempt) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        m_ws = qwp::X11WindowSystem::Open(display);
    }
    if (!m_ws) {
        m_why = std::string("cannot open the X11 test display ") + display;
        return;
    }
    // A test that waits this long for events has lost its way.
    m_ws->SetWaitLimit(20000);
    Install(m_ws.get(), app);
}

X11Ui::~X11Ui()
{
    Uninstall();
    m_ws.reset();
    if (m_lock >= 0) ::close(m_lock);
}

void X11Ui::Pump()
{
    qwp::Event e;
    for (int round = 0; round < 3; ++round) {
        m_ws->Sync();
        while (m_ws->TakeEvent(e, 0, {qwp::EventType::Quit})) m_ws->Dispatch(e);
    }
}

void X11Ui::PointerTo(int32_t x, int32_t y) { m_ws->FakeMotion(x, y); }

void X11Ui::Button(int button, bool down)
{
    static constexpr int kX11Buttons[3] = {1, 3, 2};
    if (button >= 0 && button < 3) m_ws->FakeButton(kX11Buttons[button], down);
}

void X11Ui::KeyEvent(uint32_t key, bool down) { m_ws->FakeKey(key, down); }

void X11Ui::WheelEvent(int32_t notches)
{
    // Buttons 4 and 5 are the wheel's two ways, one click a notch.
    const int button = notches > 0 ? 4 : 5;
    for (int32_t i = 0; i < (notches > 0 ? notches : -notches); ++i) {
        m_ws->FakeButton(button, true);
        m_ws->FakeButton(button, false);
        Pump();
    }
}

// --- a window manager ---

WindowManager::WindowManager() = default;

WindowManager::~WindowManager() { Stop(); }

bool WindowManager::Start(X11Ui& ui, std::string& why)
{
    Stop();
    std::string program;
    for (const char* folder : {"/usr/bin", "/usr/local/bin"})
        if (::access((std::string(folder) + "/openbox").c_str(), X_OK) == 0) program = std::string(folder) + "/openbox";
    if (program.empty()) return (why = "no window manager (openbox) to test with"), false;
    if (ui.Ws().WindowManagerRunning()) return (why = "another window manager owns the test display"), false;
    m_home = std::make_unique<TempDir>();
    // Everything the child needs, made before it is started.
    std::vector<std::string> env{"DISPLAY=" + std::string(std::getenv("QW_TEST_DISPLAY")), "HOME=" + m_home->Path(),
                                 "XDG_CONFIG_HOME=" + m_home->File("config"), "XDG_CACHE_HOME=" + m_home->File("cache"),
                                 "XDG_DATA_HOME=" + m_home->File("data"), "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string arg0 = "openbox", arg1 = "--sm-disable";
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) return (why = "cannot start openbox"), false;
    if (pid == 0) {
        // Ends with the test program, however it ends.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        ::execve(program.c_str(), argv, envp.data());
        ::_exit(127);
    }
    m_pid = pid;
    m_ui = &ui;
    // It owns the screen once it names its check window on the root.
    for (int round = 0; round < 3000; ++round) {
        if (ui.Ws().WindowManagerRunning()) {
            ui.Pump();
            return true;
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return (why = "openbox ended at its start"), false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Stop();
    return (why = "openbox did not take the screen within 30 seconds"), false;
}

void WindowManager::Stop()
{
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    // The server lets the screen go once it has seen the connection close.
    for (int round = 0; round < 3000 && m_ui->Ws().WindowManagerRunning(); ++round)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    m_ui->Pump();
    m_home.reset();
}

// --- skin packages ---

struct SkinBuilder::Impl {
    TempDir dir;
    std::string file;
    CQWF_Storage storage;
    std::vector<uint8_t> bytes;
    bool finished = false;
};

namespace {
const std::vector<uint8_t>* g_resource = nullptr;
}  // namespace

SkinBuilder::SkinBuilder() : m(std::make_unique<Impl>())
{
    m->file = m->dir.File("skin.qws4");
    m->storage.OpenFile(qwp::ToWindowsPath(m->file.c_str()).c_str(), CQWF_Storage::kModeCreate);
}

SkinBuilder::~SkinBuilder()
{
    if (g_resource == &m->bytes) {
        g_resource = nullptr;
        qwp::RegisterResource("qws4", "qws4", nullptr, 0);
    }
}

void SkinBuilder::Folders(const std::string& key)
{
    for (size_t at = key.find('>'); at != std::string::npos; at = key.find('>', at + 1)) {
        std::string folder = key.substr(0, at);
        if (m->storage.GetKind(folder.c_str()) == CQWF_Storage::kKindMissing)
            m->storage.CreateFolder(folder.c_str());
    }
}

std::vector<uint8_t> SkinBuilder::Pack(const std::vector<uint8_t>& bytes)
{
    CQWF_ZipBlock zip;
    zip.SetMode(1);
    zip.SetInput(bytes.data(), bytes.size());
    CQWF_Mem out;
    zip.SetOutputMem(&out);
    if (!zip.Process()) return {};
    return std::vector<uint8_t>(out.GetData(), out.GetData() + out.GetSize());
}

namespace {
std::vector<uint8_t> Header(const QWF_Rect& r)
{
    return {uint8_t(r.left >> 8), uint8_t(r.left), uint8_t(r.top >> 8), uint8_t(r.top),
            uint8_t(r.right >> 8), uint8_t(r.right), uint8_t(r.bottom >> 8), uint8_t(r.bottom)};
}
}  // namespace

void SkinBuilder::Image(const std::string& key, const QWF_Rect& rect,
                        const std::function<uint32_t(int32_t, int32_t)>& colour)
{
    std::vector<uint8_t> b = Header(rect);
    const int32_t w = rect.right - rect.left, h = rect.bottom - rect.top;
    const size_t plane = static_cast<size_t>(w) * h;
    b.resize(8 + 4 * plane);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t c = colour(rect.left + x, rect.top + y);
            const size_t i = 8 + static_cast<size_t>(y) * w + x;
            b[i] = uint8_t(c >> 16);
            b[i + plane] = uint8_t(c >> 8);
            b[i + 2 * plane] = uint8_t(c);
            b[i + 3 * plane] = uint8_t(c >> 24);
        }
    Blob(key, Pack(b));
}

void SkinBuilder::Mask(const std::string& key, const QWF_Rect& rect,
                       const std::function<uint8_t(int32_t, int32_t)>& value)
{
    std::vector<uint8_t> b = Header(rect);
    for (int32_t y = rect.top; y < rect.bottom; ++y)
        for (int32_t x = rect.left; x < rect.right; ++x) b.push_back(value(x, y));
    Blob(key, Pack(b));
}

void SkinBuilder::Blob(const std::string& key, const std::vector<uint8_t>& bytes)
{
    Folders(key);
    m->storage.SetBinary(key.c_str(), bytes.data(), bytes.size());
}

void SkinBuilder::DWord(const std::string& key, uint32_t value)
{
    Folders(key);
    m->storage.SetDWord(key.c_str(), value);
}

void SkinBuilder::Word(const std::string& key, uint16_t value)
{
    Folders(key);
    m->storage.SetWord(key.c_str(), value);
}

void SkinBuilder::Byte(const std::string& key, uint8_t value)
{
    Folders(key);
    m->storage.SetByte(key.c_str(), value);
}

std::vector<uint8_t> SkinBuilder::Bytes()
{
    if (!m->finished) {
        m->storage.Close();
        std::string s;
        ReadWholeFile(m->file, s);
        m->bytes.assign(s.begin(), s.end());
        m->finished = true;
    }
    return m->bytes;
}

bool SkinBuilder::LoadInto(CQWF_App& app)
{
    Bytes();
    g_resource = &m->bytes;
    qwp::RegisterResource("qws4", "qws4", m->bytes.data(), m->bytes.size());
    return app.LoadPackageFromResource(true);
}

}  // namespace qwtest
