#include "framework/ui/qwf_app.h"

#include <string>

#include "framework/core/qwf_block.h"
#include "framework/ui/qwf_window.h"
#include "platform/qw_clock.h"
#include "platform/qw_resource.h"
#include "platform/qw_winsys.h"

CQWF_App* CQWF_App::s_app = nullptr;

CQWF_App::CQWF_App() = default;

CQWF_App::~CQWF_App()
{
    m_accelMem.Free();
    m_package.Close();
    if (s_app == this) s_app = nullptr;
}

int32_t CQWF_App::Run()
{
    qwp::WindowSystem& ws = qwp::WS();
    if (m_mainWindow) m_mainWindow->SetInLoop(1);
    qwp::Event event;
    while (ws.GetEvent(event)) ws.Dispatch(event);
    if (m_mainWindow) m_mainWindow->SetInLoop(0);
    return 0;
}

void CQWF_App::OnWindowClosed(CQWF_Window* window)
{
    if (!window || window != m_mainWindow) return;
    qwp::WindowSystem& ws = qwp::WS();
    if (m_ownerDisabled && m_disabledOwner && ws.IsWindow(m_disabledOwner) &&
        !ws.IsEnabled(m_disabledOwner))
        ws.EnableWindow(m_disabledOwner, true);
}

intptr_t CQWF_App::FindOwnerWindow(intptr_t window, intptr_t* outRoot)
{
    qwp::WindowSystem& ws = qwp::WS();
    intptr_t h = window ? window : ws.GetActiveWindow();
    if (!h || !ws.IsWindow(h)) {
        if (outRoot) *outRoot = 0;
        return 0;
    }
    while (ws.IsChild(h) && ws.GetParent(h)) h = ws.GetParent(h);
    intptr_t root = h;
    while (ws.GetParent(root)) root = ws.GetParent(root);
    intptr_t result = ws.GetLastActivePopup(root);
    if (outRoot) *outRoot = root != result ? root : 0;
    return result;
}

int32_t CQWF_App::RunModal(intptr_t instance, intptr_t hostWindow)
{
    qwp::WindowSystem& ws = qwp::WS();
    intptr_t owner = FindOwnerWindow(hostWindow, nullptr);
    m_ownerDisabled = 0;
    if (owner && owner != qwp::WindowSystem::kDesktop && ws.IsEnabled(owner)) {
        ws.EnableWindow(owner, false);
        m_ownerDisabled = 1;
        m_disabledOwner = owner;
    }
    m_instance = instance;
    m_ownerWindow = owner;
    int32_t result = Run();
    if (m_ownerDisabled && ws.IsWindow(m_disabledOwner) && !ws.IsEnabled(m_disabledOwner))
        ws.EnableWindow(m_disabledOwner, true);
    if (owner && ws.IsWindow(owner)) ws.SetActiveWindow(owner);
    return result;
}

bool CQWF_App::LoadPackageFromResource(bool verify)
{
    ClearError();
    m_packageLoaded = 0;
    const void* found = nullptr;
    size_t size = 0;
    if (!qwp::FindResource("qws4", "qws4", &found, &size) || !found || !size) {
        SetError(QWF_ERR_NO_RESOURCE);
        return false;
    }
    const uint8_t* data = static_cast<const uint8_t*>(found);
    m_resource = data;
    if ((verify && !m_package.VerifyChecksum(data, size)) || !m_package.OpenMemory(data, size)) {
        SetError(m_package.GetError());
        return false;
    }
    m_packageLoaded = 1;
    LoadAccelerators();
    return true;
}

bool CQWF_App::LoadPackageFromFile(const char* path, bool verify)
{
    ClearError();
    m_packageLoaded = 0;
    if ((verify && !m_package.VerifyFile(path)) || !m_package.OpenFile(path, CQWF_Storage::kModeRead)) {
        SetError(m_package.GetError() ? m_package.GetError() : static_cast<int16_t>(QWF_ERR_ARGUMENT));
        return false;
    }
    m_packageLoaded = 1;
    LoadAccelerators();
    return true;
}

void CQWF_App::LoadAccelerators()
{
    m_accel = nullptr;
    m_accelCount = 0;
    if (!m_packageLoaded) return;
    CQWF_Mem blob;
    if (!m_package.GetBinary("UIResources>Accelerators", blob)) return;
    CQWF_ZipBlock zip;
    zip.SetMode(0);
    zip.SetInputMem(blob);
    zip.SetOutputMem(&m_accelMem);
    if (!zip.Process()) return;
    m_accel = m_accelMem.GetData();
    m_accelCount = static_cast<uint32_t>(m_accelMem.GetSize() / kAcceleratorSize);
    if (!m_accelCount) m_accel = nullptr;
}

int32_t CQWF_App::FindAccelerator(uint8_t key, bool ctrl, bool alt, bool shift) const
{
    if (!m_accel) return -1;
    const bool lower = key >= 'a' && key <= 'z';
    for (uint32_t i = 0; i < m_accelCount; ++i) {
        const uint8_t* r = m_accel + static_cast<size_t>(i) * kAcceleratorSize;
        if (r[0] != (ctrl ? 1 : 0) || r[1] != (alt ? 1 : 0) || r[2] != (shift ? 1 : 0)) continue;
        const int recordKey = lower ? r[4] + 32 : r[4];
        if (recordKey != key) continue;
        return static_cast<int16_t>(static_cast<uint16_t>(r[6] | (r[7] << 8)));
    }
    return -1;
}

void CQWF_App::HandleKey(uint8_t key, CQWF_Window* window, uint32_t modifiers)
{
    if (!m_accel || !window) return;
    // The modifiers of the key's own event, not the keyboard's state when it is read: a key
    // queued behind its modifiers' release (typed ahead, or played by a script) keeps them.
    const int32_t id = FindAccelerator(key, (modifiers & QWF_MOD_CTRL) != 0, (modifiers & QWF_MOD_ALT) != 0,
                                       (modifiers & QWF_MOD_SHIFT) != 0);
    if (id != -1) window->OnNotify(QWF_NOTIFY_COMMAND, id, nullptr, 0, nullptr);
}

bool CQWF_App::IsClipboardTextAvailable() { return qwp::WS().HasClipboardText(); }

bool CQWF_App::GetClipboardText(CQWF_String& text)
{
    std::string s;
    if (!qwp::WS().GetClipboardText(s)) return false;
    text = s.c_str();
    return true;
}

bool CQWF_App::SetClipboardText(const char* text)
{
    return qwp::WS().SetClipboardText(text ? std::string(text) : std::string());
}

int32_t CQWF_App::MessageBox(const char* text, const char* caption, CQWF_Window* window)
{
    qwp::MessageBoxRequest request;
    request.owner = window ? window->GetHWND() : 0;
    request.text = text ? text : "";
    request.caption = caption ? caption : "";
    return qwp::WS().MessageBox(request);
}

void CQWF_App::Beep() { qwp::WS().Beep(); }

uint32_t CQWF_App::GetDoubleClickTime() const { return qwp::WS().DoubleClickTime(); }

uint32_t CQWF_App::GetCaretBlinkTime() const { return qwp::WS().CaretBlinkTime(); }

uint32_t CQWF_App::GetTime() const { return qwp::TickCount(); }
