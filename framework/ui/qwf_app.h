// The application object: the one per program that owns the skin package and its accelerator
// table, runs the message loop and the modal run against a host's window, and wraps the
// clipboard, the message box, the beep and the clocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_storage.h"
#include "framework/core/qwf_string.h"

class CQWF_Window;

class CQWF_App : public CQWF_FrameWork {
public:
    // Bytes of one accelerator record.
    static constexpr size_t kAcceleratorSize = 108;

    CQWF_App();
    ~CQWF_App() override;
    CQWF_App(const CQWF_App&) = delete;
    CQWF_App& operator=(const CQWF_App&) = delete;

    // The single instance every window and control reaches; set by whoever creates it.
    static CQWF_App* GetApp() { return s_app; }
    static void SetApp(CQWF_App* app) { s_app = app; }

    // Runs the message loop until the quit request, the main window's in-loop byte set
    // meanwhile; returns 0.
    virtual int32_t Run();
    // The main window closes: the owner that RunModal disabled is enabled again.
    virtual void OnWindowClosed(CQWF_Window* window);

    // Disables the host's window (its top-level owner), runs Run, enables and activates it again.
    int32_t RunModal(intptr_t instance, intptr_t hostWindow);
    // The top-level window of the given one (of the active window for 0): its root's last
    // active popup; outRoot receives the root when it differs from the answer.
    intptr_t FindOwnerWindow(intptr_t window, intptr_t* outRoot = nullptr);

    bool LoadPackageFromResource(bool verify);
    bool LoadPackageFromFile(const char* path, bool verify);
    CQWF_Storage* GetStorage() { return m_packageLoaded ? &m_package : nullptr; }
    void LoadAccelerators();
    int32_t FindAccelerator(uint8_t key, bool ctrl, bool alt, bool shift) const;
    // Runs the accelerator of a key pressed with the modifiers (QWF_MOD_* bits) that came with
    // it: a match reaches the window as notification 336 with the command id.
    void HandleKey(uint8_t key, CQWF_Window* window, uint32_t modifiers);
    size_t GetAcceleratorCount() const { return m_accelCount; }

    void SetMainWindow(CQWF_Window* window) { m_mainWindow = window; }
    CQWF_Window* GetMainWindow() const { return m_mainWindow; }

    bool IsClipboardTextAvailable();
    bool GetClipboardText(CQWF_String& text);
    bool SetClipboardText(const char* text);
    int32_t MessageBox(const char* text, const char* caption, CQWF_Window* window);
    void Beep();
    bool IsWindowsPlatform() const { return true; }
    uint32_t GetDoubleClickTime() const;
    uint32_t GetCaretBlinkTime() const;
    uint32_t GetTime() const;

    void SetInstance(intptr_t instance) { m_instance = instance; }
    intptr_t GetInstance() const { return m_instance; }
    intptr_t GetOwnerWindow() const { return m_ownerWindow; }

    // Windows created from skins get a drop shadow when set (before the window is created).
    uint8_t m_shadow = 0;

protected:
    intptr_t m_instance = 0;
    intptr_t m_ownerWindow = 0;
    const uint8_t* m_resource = nullptr;
    CQWF_Window* m_mainWindow = nullptr;
    CQWF_Storage m_package;
    uint8_t m_packageLoaded = 0;
    uint8_t m_ownerDisabled = 0;
    intptr_t m_disabledOwner = 0;
    CQWF_Mem m_accelMem;
    const uint8_t* m_accel = nullptr;
    uint32_t m_accelCount = 0;

private:
    static CQWF_App* s_app;
};
