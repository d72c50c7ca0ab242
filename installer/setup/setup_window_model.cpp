#include "installer/setup/setup_window_model.h"

#include <cstring>
#include <initializer_list>

namespace qwsetup {
namespace {

// Every control of the window, in the order the window creates them.
const char* const kControls[] = {"Cooler", "LCD", "TestingMsg", "StartingMsg", "Logo", "x86", "x64", "Header",
                                 "BigText", "Cancel", "Agree", "Install", "ReadMe", "Back", "LineTop", "LineBottom",
                                 "AgreementScroll", "EditPlace", "LineMiddle", "SetupTxtDest", "SetupTxtSpace",
                                 "SetupTxtAddIcons", "SetupTxtNotes", "AddIcons", "Browse", "Finish", "Progress",
                                 "ProgCover", "InstStatus"};

// The controls of the destination page besides Install, ReadMe, the field and Browse.
const char* const kDestinationControls[] = {"EditPlace", "LineMiddle", "SetupTxtDest", "SetupTxtSpace",
                                            "SetupTxtAddIcons", "SetupTxtNotes", "AddIcons"};

enum Timer : int {
    kTimerCooler = 1,    // 1500 ms once: the cooler appears
    kTimerIntro = 2,     // 700 ms once: the LCD and the logo appear
    kTimerCoolerOff = 3, // 700 ms once: closing
    kTimerLcdOff = 4,    // 300 ms once: closing
    kTimerPages = 5,     // 100 ms: the agreement, the blinking cooler, the space text, the end
    kTimerEnd = 6,       // 1000 ms once: the window closes for good
    kTimerTesting = 7,   // 50 ms: the blinking test message
    kTimerLogo = 8,      // 50 ms: the logo fades out
};

bool IsBreak(char c) { return c == '\r' || c == '\n'; }
}  // namespace

std::vector<size_t> CSetupWindowModel::SplitLines(const CQWF_String& text)
{
    std::vector<size_t> starts;
    const char* p = text.GetBuffer();
    size_t n = text.GetLength();
    starts.push_back(0);
    for (size_t i = 0; i < n && starts.size() < kMaxLines; ++i) {
        if (!IsBreak(p[i])) continue;
        if (i + 1 < n && IsBreak(p[i + 1])) ++i;  // a pair counts as one break
        if (i + 1 < n) starts.push_back(i + 1);
    }
    return starts;
}

void CSetupWindowModel::Enable(const char* name, bool enabled)
{
    ControlState& c = m_controls[name];
    c.enabled = enabled;
    m_face.SetControl(name, c.enabled, c.disabledOpacity);
}

void CSetupWindowModel::Show(const char* name) { Enable(name, true); }

void CSetupWindowModel::Hide(const char* name)
{
    ControlState& c = m_controls[name];
    c.enabled = false;
    c.disabledOpacity = 0;
    m_face.SetControl(name, false, 0);
}

void CSetupWindowModel::Dim(const char* name)
{
    ControlState& c = m_controls[name];
    c.enabled = false;
    c.disabledOpacity = 80;
    m_face.SetControl(name, false, 80);
}

bool CSetupWindowModel::IsEnabled(const char* name) const
{
    auto it = m_controls.find(name);
    return it != m_controls.end() && it->second.enabled;
}

void CSetupWindowModel::Create()
{
    m_choice.Propose(m_package, m_list.GetTotalSize());
    m_face.SetFieldText(m_choice.GetDefaultDestination());
    CQWF_String text;
    m_package.GetString("Product>FullSetupName", text);
    m_face.SetText("Header", text);
    m_face.SetText("SetupTxtDest", "Destination Folder:");
    m_face.SetText("SetupTxtAddIcons", "Add Start Menu Icons");
    text = "";
    m_package.GetString("Product>Notes", text);
    m_face.SetText("SetupTxtNotes", text);
    m_face.SetCheck("AddIcons", m_choice.GetAddIcons());
    m_face.SetProgress(0);
    m_face.SetProgressBarVisible(false);
    for (const char* name : kControls) {
        if (std::strcmp(name, "x86") == 0) Show(name);
        else Hide(name);
    }
    m_face.ShowField(false);
    m_fieldShown = false;
    m_face.SetTimer(kTimerIntro, 700);
    m_face.SetTimer(kTimerPages, 100);
}

void CSetupWindowModel::OnTimer(int id)
{
    switch (id) {
    case kTimerIntro:
        m_face.KillTimer(kTimerIntro);
        Show("LCD");
        Show("Logo");
        m_lcdOn = true;
        m_face.SetTimer(kTimerTesting, 50);
        break;
    case kTimerTesting:
        if (!IsEnabled("TestingMsg")) {
            if (m_testingCount <= 10) ++m_testingCount;
            else Show("TestingMsg");
        } else {
            Hide("TestingMsg");
            if (++m_testingCount >= 20) {
                m_face.KillTimer(kTimerTesting);
                Show("StartingMsg");
                m_face.SetTimer(kTimerCooler, 1500);
            }
        }
        break;
    case kTimerCooler:
        m_face.KillTimer(kTimerCooler);
        Show("Cooler");
        Hide("StartingMsg");
        m_coolerOn = true;
        m_face.SetTimer(kTimerLogo, 50);
        break;
    case kTimerLogo:
        if (m_logoOpacity > 20) {
            m_logoOpacity -= 20;
            m_face.SetOpacity("Logo", static_cast<uint8_t>(m_logoOpacity));
        } else {
            m_face.KillTimer(kTimerLogo);
            Hide("Logo");
            m_logoGone = true;
        }
        break;
    case kTimerPages:
        if (!m_agreementShown) {
            if (m_lcdOn && m_coolerOn && m_logoGone) {
                m_agreementShown = true;
                ShowAgreement();
            }
        } else {
            if (m_coolerOn && ++m_coolerBlink > 50) {
                m_coolerBlink = 0;
                if (IsEnabled("Cooler")) Hide("Cooler");
                else Show("Cooler");
            }
            if (m_lcdOff && m_coolerOff) {
                m_face.SetTimer(kTimerEnd, 1000);
                m_agreementShown = false;
                m_face.KillTimer(kTimerPages);
            }
        }
        UpdateSpaceLabel();
        break;
    case kTimerCoolerOff:
        m_face.KillTimer(kTimerCoolerOff);
        Hide("Cooler");
        m_coolerOff = true;
        break;
    case kTimerLcdOff:
        m_face.KillTimer(kTimerLcdOff);
        Hide("LCD");
        m_lcdOff = true;
        break;
    case kTimerEnd:
        m_face.KillTimer(kTimerEnd);
        m_face.CloseWindow();
        break;
    default:
        break;
    }
}

void CSetupWindowModel::LoadText(const char* key)
{
    m_text = "";
    m_package.GetString(key, m_text);
    m_firstLine = 0;
    m_lines = SplitLines(m_text);
    m_face.SetText("BigText", m_text);
    m_face.SetScrollRange(static_cast<int>(m_lines.size()), kPageLines, 0);
}

void CSetupWindowModel::ScrollTo(int line)
{
    int last = static_cast<int>(m_lines.size()) - kPageLines;
    if (line > last) line = last;
    if (line < 0) line = 0;
    m_firstLine = line;
    m_face.SetScrollRange(static_cast<int>(m_lines.size()), kPageLines, line);
    m_face.SetText("BigText", m_text.Mid(m_lines[static_cast<size_t>(line)], m_text.GetLength()));
}

void CSetupWindowModel::ShowAgreement()
{
    for (const char* name : {"Header", "Cancel", "Agree", "LineTop", "LineBottom", "AgreementScroll"}) Show(name);
    LoadText("Product>Agreement");
    Show("BigText");
}

void CSetupWindowModel::ShowDestinationPage()
{
    for (const char* name : {"AgreementScroll", "BigText", "Back"}) Hide(name);
    if (m_installState) Show("Install");
    else Dim("Install");
    Show("ReadMe");
    for (const char* name : kDestinationControls) Show(name);
    m_face.ShowField(true);
    m_fieldShown = true;
    Show("Browse");
}

void CSetupWindowModel::ShowReadMe()
{
    LoadText("Product>ReadMe");
    m_installState = IsEnabled("Install");
    Hide("Install");
    Hide("ReadMe");
    for (const char* name : kDestinationControls) Hide(name);
    m_face.ShowField(false);
    m_fieldShown = false;
    Hide("Browse");
    for (const char* name : {"AgreementScroll", "BigText", "Back"}) Show(name);
}

void CSetupWindowModel::UpdateSpaceLabel()
{
    if (!m_choice.m_pathChanged || !IsEnabled("SetupTxtSpace")) return;
    CQWF_String text;
    bool enough = m_choice.SpaceText(m_face.GetFieldText(), text);
    m_face.SetText("SetupTxtSpace", text);
    m_choice.m_pathChanged = false;
    if (enough) Show("Install");
    else Dim("Install");
}

void CSetupWindowModel::Browse()
{
    CQWF_String picked;
    if (m_face.BrowseForFolder(m_face.GetFieldText(), picked)) {
        m_face.SetFieldText(m_choice.PickedFolder(picked));
        m_choice.m_pathChanged = true;
    }
}

void CSetupWindowModel::StartInstall()
{
    m_busy = true;
    Hide("Install");
    Enable("ReadMe", false);
    Enable("Cancel", false);
    for (const char* name : {"EditPlace", "SetupTxtDest", "SetupTxtSpace", "SetupTxtAddIcons", "SetupTxtNotes",
                             "AddIcons", "Browse", "Finish"}) {
        m_controls[name].disabledOpacity = 80;
        Enable(name, false);
    }
    m_face.EnableField(false);
    Show("ProgCover");
    m_face.SetProgressBarVisible(true);
    Show("Progress");
    m_face.SetProgress(0);
    Show("InstStatus");
    m_face.SetText("InstStatus", "Setup is in progress...");

    CInstallation install(m_package, m_list, m_choice, m_face);
    install.SetFoldersMadeBefore(m_systemDriveFolders);
    CInstallation::Result result = install.Install(m_face.GetFieldText(), m_face.GetCheck("AddIcons"));
    if (result == CInstallation::kFolderError) {
        for (const char* name : {"Finish", "ProgCover", "InstStatus", "Progress"}) Hide(name);
        m_face.SetProgressBarVisible(false);
        m_face.SetProgress(0);
        for (const char* name : {"Install", "ReadMe", "Cancel", "EditPlace", "SetupTxtDest", "SetupTxtSpace",
                                 "SetupTxtAddIcons", "SetupTxtNotes", "AddIcons", "Browse"})
            Show(name);
        m_face.EnableField(true);
    } else {
        m_face.SetText("InstStatus", result == CInstallation::kInstalled ? "Setup complete" : "Setup has been aborted");
        Show("Finish");
    }
    m_face.DiscardPendingInput();
    m_busy = false;
}

void CSetupWindowModel::OnCommand(const char* name, int data)
{
    if (!name) return;
    std::string n = name;
    if (n == "Cancel" || n == "Finish") Close();
    else if (n == "Agree") {
        Hide("Agree");
        ShowDestinationPage();
    } else if (n == "ReadMe") ShowReadMe();
    else if (n == "Back") ShowDestinationPage();
    else if (n == "Install") StartInstall();
    else if (n == "Browse") Browse();
    else if (n == "AgreementScroll") ScrollTo(data);
}

bool CSetupWindowModel::OnKeyDown(int key, int modifiers)
{
    if (modifiers) return false;
    switch (key) {
    case QWF_KEY_UP:
    case QWF_KEY_DOWN:
    case QWF_KEY_PAGEUP:
    case QWF_KEY_PAGEDOWN:
        if (IsEnabled("AgreementScroll")) {
            int step = (key == QWF_KEY_UP || key == QWF_KEY_DOWN) ? 1 : kPageLines;
            ScrollTo(m_firstLine + ((key == QWF_KEY_UP || key == QWF_KEY_PAGEUP) ? -step : step));
        }
        return true;
    case QWF_KEY_BACK:
        if (IsEnabled("Back")) ShowDestinationPage();
        return true;
    case QWF_KEY_ENTER:
        if (IsEnabled("Agree")) OnCommand("Agree");
        else if (IsEnabled("Finish")) Close();
        return true;
    case QWF_KEY_ESCAPE:
        // During the intro this is a close request that is refused.
        if (IsEnabled("Cancel") || !m_agreementShown) Close();
        return true;
    default:
        return false;
    }
}

void CSetupWindowModel::Close()
{
    if (!m_agreementShown || m_busy) {
        m_face.Beep();
        return;
    }
    for (const char* name : {"Header", "Cancel", "Agree", "LineTop", "LineBottom", "AgreementScroll", "BigText",
                             "Install", "ReadMe", "Back", "Browse", "Finish", "Progress", "ProgCover", "InstStatus"})
        Hide(name);
    for (const char* name : kDestinationControls) Hide(name);
    m_face.ShowField(false);
    m_fieldShown = false;
    m_face.SetProgressBarVisible(false);
    m_face.SetTimer(kTimerCoolerOff, 700);
    m_face.SetTimer(kTimerLcdOff, 300);
    m_coolerOn = false;
}

}  // namespace qwsetup
