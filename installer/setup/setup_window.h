// The setup program's window and application object. CWndMain is the skinned window "Main" of the
// setup package: it creates the controls by their skin names, implements the face its model
// (CSetupWindowModel) drives, and routes timers, notifications, keys and close requests to it.
// The destination field is the toolkit's edit line "Destination", the folder picker and the
// message boxes are the window system's.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "framework/ui/qwf_app.h"
#include "framework/ui/qwf_window.h"
#include "installer/setup/setup_package.h"
#include "installer/setup/setup_window_model.h"

namespace qwsetup {

// Skin names of the window that are not the model's.
extern const char* const kFieldName;  // "Destination", the edit line of the destination
extern const char* const kWindowTitle;  // "Quarrow. Setup Tool"
extern const char* const kFolderPickerTitle;  // "Please, choose destination folder..."

class CWndMain : public CQWF_Window, public CSetupFace {
public:
    CWndMain(CQWF_Storage& package, CDeployList& list);
    ~CWndMain() override;

    CSetupWindowModel& Model() { return m_model; }

    // --- the window ---
    bool Close() override;
    bool IsInDragArea(int32_t x, int32_t y) override;
    bool OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height) override;
    bool OnTimer(uint32_t id) override;
    bool OnLButtonDown(int32_t x, int32_t y, uint32_t flags) override;
    bool OnMouseWheel(int32_t x, int32_t y, uint32_t flags, int32_t steps) override;
    bool OnKeyDown(uint32_t code, uint32_t modifiers) override;
    bool OnNotify(int32_t code, int32_t index, const char* name, uint8_t kind, void* data) override;

    // --- the face the model drives ---
    int MessageBox(const char* text, const char* caption, Buttons buttons, Icon icon) override;
    void SetProgress(double percent) override;
    void SetControl(const char* name, bool enabled, uint8_t disabledOpacity) override;
    void SetText(const char* name, const CQWF_String& text) override;
    void SetOpacity(const char* name, uint8_t opacity) override;
    void SetCheck(const char* name, bool checked) override;
    bool GetCheck(const char* name) override;
    void SetScrollRange(int total, int page, int position) override;
    void SetProgressBarVisible(bool visible) override;
    void ShowField(bool shown) override;
    void EnableField(bool enabled) override;
    void SetFieldText(const CQWF_String& text) override;
    CQWF_String GetFieldText() override;
    bool BrowseForFolder(const CQWF_String& start, CQWF_String& picked) override;
    void SetTimer(int id, uint32_t milliseconds) override;
    void KillTimer(int id) override;
    void Beep() override;
    void DiscardPendingInput() override;
    void CloseWindow() override;

    // Whether a control's layers are drawn now (false once it is hidden).
    bool IsShown(const char* name) const;

private:
    struct Placed {
        int32_t index = -1;
        int64_t firstLayer = 0;  // the face layers the control added: [firstLayer, endLayer)
        int64_t endLayer = 0;
    };
    bool Add(const char* name, uint8_t kind, const char* font = nullptr);
    CQWF_Control* Find(const char* name) const;
    // Shows or hides the layers of a control and repaints them.
    void ShowLayers(const char* name, bool shown);
    void UpdateField();

    CSetupWindowModel m_model;
    std::map<std::string, Placed> m_placed;
    bool m_fieldShown = false;
    bool m_fieldEnabled = true;
    bool m_scrolling = false;  // the model is setting the scroll bar: its notification is not a user's
    bool m_closedForGood = false;
};

// The setup program: its package (the program's own "qws4" resource), the deploy list and the
// window.
class CApp : public CQWF_App {
public:
    CApp();
    ~CApp() override;

    // Opens the package and the deploy list, shows the window and runs the message loop; -1 when
    // the package or its deploy list cannot be used (after the "Corrupt Setup File!" box).
    int32_t InitInstance();
    // The steps before the message loop: false when the program ends at once.
    bool Open();
    // The first of them: the program's own package (its digest checked) and its deploy list; on
    // failure the "Corrupt Setup File!" box, and GetRefusal tells why.
    bool OpenPackage();
    const CQWF_String& GetRefusal() const { return m_refusal; }

    CDeployList& GetDeployList() { return m_list; }
    CWndMain& GetWindow() { return m_window; }

private:
    CDeployList m_list;
    CWndMain m_window;
    CQWF_String m_refusal;
    std::string m_systemDriveFolders;  // the folders Open made for drive C, a folder log's text
};

}  // namespace qwsetup
