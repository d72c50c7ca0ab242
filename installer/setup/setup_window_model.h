// The setup window's logic without the window: its pages (intro, agreement, destination, read-me,
// progress), the intro and closing animations on window timers, keys, buttons, the space text
// and the installation run. The window (its skinned controls, native destination field, folder
// picker and message boxes) implements CSetupFace and routes its timers, notifications and keys
// here.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "framework/core/qwf_storage.h"
#include "framework/core/qwf_string.h"
#include "framework/ui/qwf_codes.h"
#include "installer/setup/setup_destination.h"
#include "installer/setup/setup_install.h"
#include "installer/setup/setup_package.h"

namespace qwsetup {

// What the model needs of the window. Controls are named by their skin names.
class CSetupFace : public CInstallerUI {
public:
    // A control's state: enabled (drawn at full opacity) or disabled, drawn at its disabled
    // opacity (0 hides it, 80 dims it).
    virtual void SetControl(const char* name, bool enabled, uint8_t disabledOpacity) = 0;
    virtual void SetText(const char* name, const CQWF_String& text) = 0;
    // The drawing opacity of a static image (the fading logo).
    virtual void SetOpacity(const char* name, uint8_t opacity) = 0;
    virtual void SetCheck(const char* name, bool checked) = 0;
    virtual bool GetCheck(const char* name) = 0;
    virtual void SetScrollRange(int total, int page, int position) = 0;
    virtual void SetProgressBarVisible(bool visible) = 0;
    // The native destination field.
    virtual void ShowField(bool shown) = 0;
    virtual void EnableField(bool enabled) = 0;
    virtual void SetFieldText(const CQWF_String& text) = 0;
    virtual CQWF_String GetFieldText() = 0;
    // The folder picker, starting at the given folder; false when the user cancels.
    virtual bool BrowseForFolder(const CQWF_String& start, CQWF_String& picked) = 0;
    virtual void SetTimer(int id, uint32_t milliseconds) = 0;
    virtual void KillTimer(int id) = 0;
    virtual void Beep() = 0;
    // Drops the mouse and keyboard input queued while the installation ran.
    virtual void DiscardPendingInput() = 0;
    // Ends the window for good (the message loop ends).
    virtual void CloseWindow() = 0;
};

class CSetupWindowModel : public CQWF_FrameWork {
public:
    static constexpr int kPageLines = 21;
    static constexpr size_t kMaxLines = 1000;

    CSetupWindowModel(CQWF_Storage& package, CDeployList& list, CSetupFace& face)
        : m_package(package), m_list(list), m_face(face)
    {
    }

    // The window's creation: the proposal and the required space, the texts, every control hidden
    // but "x86", the intro timers started.
    void Create();
    void OnTimer(int id);
    // A notification of a control (Cancel, Finish, Agree, ReadMe, Back, Install, Browse, and
    // AgreementScroll with its new position).
    void OnCommand(const char* name, int data = 0);
    // Keys without modifier keys; false when not handled.
    bool OnKeyDown(int key, int modifiers);
    // The destination field's text changed.
    void OnFieldChanged() { m_choice.m_pathChanged = true; }
    // The folders the program made for the machine's drive C before the window opened (a folder
    // log's text): the installation names them in its record.
    void SetSystemDriveFolders(const CQWF_String& made) { m_systemDriveFolders = made; }
    // Every close request, the system's too.
    void Close();

    // The line starts of a text: breaks at carriage returns and line feeds, a pair of them one
    // break, no line after a break at the end, at most kMaxLines starts (the rest of the text
    // belongs to the last line).
    static std::vector<size_t> SplitLines(const CQWF_String& text);

    // For the window and the tests.
    bool IsAgreementShown() const { return m_agreementShown; }
    bool IsBusy() const { return m_busy; }
    bool IsEnabled(const char* name) const;
    size_t GetLineCount() const { return m_lines.size(); }
    int GetFirstLine() const { return m_firstLine; }

private:
    void Show(const char* name);
    void Hide(const char* name);
    void Dim(const char* name);
    void Enable(const char* name, bool enabled);

    void ShowAgreement();
    void ShowReadMe();
    void ShowDestinationPage();
    void LoadText(const char* key);
    void ScrollTo(int line);
    void UpdateSpaceLabel();
    void Browse();
    void StartInstall();

    struct ControlState {
        bool enabled = true;
        uint8_t disabledOpacity = 80;
    };

    CQWF_Storage& m_package;
    CDeployList& m_list;
    CSetupFace& m_face;
    CDestinationChoice m_choice;
    CQWF_String m_systemDriveFolders;
    std::map<std::string, ControlState> m_controls;

    // Intro and closing animation.
    bool m_coolerOn = false, m_coolerOff = false, m_lcdOn = false, m_lcdOff = false, m_logoGone = false;
    int m_coolerBlink = 0;
    int m_testingCount = 0;
    int m_logoOpacity = 255;
    bool m_agreementShown = false;
    bool m_busy = false;
    bool m_installState = true;
    bool m_fieldShown = false;
    // The agreement or read-me text and its lines.
    CQWF_String m_text;
    std::vector<size_t> m_lines;
    int m_firstLine = 0;
};

}  // namespace qwsetup
