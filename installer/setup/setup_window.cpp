#include "installer/setup/setup_window.h"

#include <cstdio>
#include <cstring>

#include "framework/ui/qwf_button.h"
#include "framework/ui/qwf_control.h"
#include "framework/ui/qwf_editline.h"
#include "framework/ui/qwf_scrollbar.h"
#include "framework/ui/qwf_static.h"
#include "platform/qw_drives.h"
#include "platform/qw_paths.h"
#include "platform/qw_winsys.h"

namespace qwsetup {

const char* const kFieldName = "Destination";
const char* const kWindowTitle = "Quarrow. Setup Tool";
const char* const kFolderPickerTitle = "Please, choose destination folder...";

namespace {

// The controls in the order of creation, with their kinds and the fonts of the texts.
struct ControlDef {
    const char* name;
    uint8_t kind;
    const char* font;
};
const ControlDef kControls[] = {
    {"Cooler", QWF_CTRL_STATIC_IMAGE, nullptr},
    {"LCD", QWF_CTRL_STATIC_IMAGE, nullptr},
    {"TestingMsg", QWF_CTRL_STATIC_IMAGE, nullptr},
    {"StartingMsg", QWF_CTRL_STATIC_IMAGE, nullptr},
    {"Logo", QWF_CTRL_STATIC_IMAGE, nullptr},
    {"x86", QWF_CTRL_STATIC_IMAGE, nullptr},
    {"x64", QWF_CTRL_STATIC_IMAGE, nullptr},
    {"Header", QWF_CTRL_STATIC_TEXT, "FG_14"},
    {"BigText", QWF_CTRL_STATIC_TEXT, "Vdn_10_Regular"},
    {"Cancel", QWF_CTRL_BUTTON, nullptr},
    {"Agree", QWF_CTRL_BUTTON, nullptr},
    {"Install", QWF_CTRL_BUTTON, nullptr},
    {"ReadMe", QWF_CTRL_BUTTON, nullptr},
    {"Back", QWF_CTRL_BUTTON, nullptr},
    {"LineTop", QWF_CTRL_STATIC_IMAGE, nullptr},
    {"LineBottom", QWF_CTRL_STATIC_IMAGE, nullptr},
    {"AgreementScroll", QWF_CTRL_SCROLLBAR, nullptr},
    {"EditPlace", QWF_CTRL_STATIC_IMAGE, nullptr},
    {"LineMiddle", QWF_CTRL_STATIC_IMAGE, nullptr},
    {"SetupTxtDest", QWF_CTRL_STATIC_TEXT, "Vdn_10_Bold"},
    {"SetupTxtSpace", QWF_CTRL_STATIC_TEXT, "Vdn_10_Bold"},
    {"SetupTxtAddIcons", QWF_CTRL_STATIC_TEXT, "Vdn_10_Bold"},
    {"SetupTxtNotes", QWF_CTRL_STATIC_TEXT, "Vdn_10_Regular"},
    {"AddIcons", QWF_CTRL_CHECKBOX, nullptr},
    {"Browse", QWF_CTRL_BUTTON, nullptr},
    {"Finish", QWF_CTRL_BUTTON, nullptr},
    {"Progress", QWF_CTRL_PROGRESS, nullptr},
    {"ProgCover", QWF_CTRL_STATIC_IMAGE, nullptr},
    {"InstStatus", QWF_CTRL_STATIC_TEXT, "Vdn_10_Bold"},
};

// Where the texts stand in their controls: the first line's top and the line height.
struct TextPlace {
    const char* name;
    int16_t y;
    int16_t lineHeight;
};
const TextPlace kTextPlaces[] = {
    {"Header", 5, 18},       {"BigText", 0, 14},        {"SetupTxtDest", 2, 16},  {"SetupTxtSpace", 2, 17},
    {"SetupTxtAddIcons", 2, 16}, {"SetupTxtNotes", 2, 16}, {"InstStatus", 5, 16},
};

// The destination field's colours (0xAABBGGRR): backgrounds normal, hover, focused, selection,
// disabled; texts normal, hover, focused, selected, disabled.
constexpr uint32_t kFieldColours[10] = {0xFF332D2A, 0xFF38322F, 0xFF332D2A, 0xFF288CF2, 0x78332D2A,
                                        0xFFEBE8E6, 0xFFEBE8E6, 0xFFFFFFFF, 0xFF221E1C, 0xFF7A716B};

bool IsInputEvent(qwp::EventType t)
{
    return (t >= qwp::EventType::KeyDown && t <= qwp::EventType::Char) ||
           (t >= qwp::EventType::MouseMove && t <= qwp::EventType::MouseWheel);
}
}  // namespace

CWndMain::CWndMain(CQWF_Storage& package, CDeployList& list) : m_model(package, list, *this) {}

CWndMain::~CWndMain() = default;

bool CWndMain::Add(const char* name, uint8_t kind, const char* font)
{
    Placed p;
    p.firstLayer = GetFace()->GetLayerCount();
    p.index = AddControl(name, kind);
    p.endLayer = GetFace()->GetLayerCount();
    if (p.index < 0) return false;
    m_placed[name] = p;
    if (font) {
        const int32_t f = LoadFont(font);
        if (f < 0) return false;
        static_cast<CQWF_CtrlStatic*>(GetControl(p.index))->SetTextFont(GetFont(f));
    }
    return true;
}

CQWF_Control* CWndMain::Find(const char* name) const
{
    auto it = m_placed.find(name);
    return it == m_placed.end() ? nullptr : GetControl(it->second.index);
}

bool CWndMain::OnCreate(CQWF_LayerSet* face, uint16_t width, uint16_t height)
{
    if (!CQWF_Window::OnCreate(face, width, height)) return false;
    // The face is drawn once, when the window is shown, not for every control made and hidden.
    struct Suspended {
        CWndMain& w;
        explicit Suspended(CWndMain& window) : w(window) { w.SetDrawingSuspended(true); }
        ~Suspended() { w.SetDrawingSuspended(false); }
    } suspended(*this);
    // Every control the pages use must be there: a window without one of them would fail the
    // user somewhere along the way.
    for (const ControlDef& c : kControls)
        if (!Add(c.name, c.kind, c.font)) return false;
    // The destination field lies over its frame, so it comes last.
    if (!Add(kFieldName, QWF_CTRL_EDIT)) return false;
    auto* field = static_cast<CQWF_CtrlEditLine*>(Find(kFieldName));
    const int32_t editFont = LoadFont("Edit Font");
    if (editFont < 0) return false;
    field->SetFont(GetFont(editFont));
    field->SetDrawParams(kFieldColours[0], kFieldColours[1], kFieldColours[2], kFieldColours[3], kFieldColours[4],
                         kFieldColours[5], kFieldColours[6], kFieldColours[7], kFieldColours[8], kFieldColours[9]);
    for (const TextPlace& t : kTextPlaces)
        static_cast<CQWF_CtrlStatic*>(Find(t.name))->SetTextAt("", 0, t.y, t.lineHeight);
    m_model.Create();
    return true;
}

bool CWndMain::IsShown(const char* name) const
{
    auto it = m_placed.find(name);
    if (it == m_placed.end()) return false;
    for (int64_t i = it->second.firstLayer; i < it->second.endLayer; ++i)
        if (CQWF_Layer* l = const_cast<CWndMain*>(this)->GetFace()->GetLayer(i); l && l->IsVisible()) return true;
    return false;
}

void CWndMain::ShowLayers(const char* name, bool shown)
{
    auto it = m_placed.find(name);
    if (it == m_placed.end()) return;
    for (int64_t i = it->second.firstLayer; i < it->second.endLayer; ++i) {
        CQWF_Layer* l = GetFace()->GetLayer(i);
        if (!l || (l->IsVisible() != 0) == shown) continue;
        l->SetVisible(shown ? 1 : 0);
        QWF_Rect r;
        l->GetRect(r);
        InvalidateRect(r.left, r.top, r.right, r.bottom);
        Redraw(r);
    }
}

// --- the face ---

void CWndMain::SetControl(const char* name, bool enabled, uint8_t disabledOpacity)
{
    if (std::strcmp(name, "Progress") == 0) {
        // The bar comes and goes with its own switch; its track belongs to the cover.
        if (CQWF_Control* c = Find(name)) c->SetEnabled(enabled);
        ShowLayers(name, enabled || disabledOpacity != 0);
        return;
    }
    CQWF_Control* c = Find(name);
    if (!c) return;
    // Hidden (disabled with opacity 0) means not drawn at all, whatever disabled image the
    // skin has; dimmed shows the disabled look.
    const bool shown = enabled || disabledOpacity != 0;
    if (shown) ShowLayers(name, true);
    c->SetDisabledOpacity(disabledOpacity);
    if (c->IsEnabled() != enabled) c->SetEnabled(enabled);
    else c->Redraw();
    if (!shown) ShowLayers(name, false);
    if (!enabled && GetFocusIndex() == c->GetIndex()) SetFocusControl(-1);
}

void CWndMain::SetText(const char* name, const CQWF_String& text)
{
    CQWF_Control* c = Find(name);
    if (c && (c->GetKind() == QWF_CTRL_STATIC_TEXT || c->GetKind() == QWF_CTRL_STATIC_IMAGE))
        static_cast<CQWF_CtrlStatic*>(c)->SetText(text.GetBuffer());
}

void CWndMain::SetOpacity(const char* name, uint8_t opacity)
{
    CQWF_Control* c = Find(name);
    if (c && c->GetKind() == QWF_CTRL_STATIC_IMAGE) static_cast<CQWF_CtrlStatic*>(c)->SetOpacity(opacity);
}

void CWndMain::SetCheck(const char* name, bool checked)
{
    if (CQWF_Control* c = Find(name)) c->SetCheck(checked, false);
}

bool CWndMain::GetCheck(const char* name)
{
    CQWF_Control* c = Find(name);
    return c && c->GetCheck();
}

void CWndMain::SetScrollRange(int total, int page, int position)
{
    auto* bar = static_cast<CQWF_CtrlScrollBar*>(Find("AgreementScroll"));
    if (!bar) return;
    m_scrolling = true;
    bar->SetRange(static_cast<uint32_t>(total < 0 ? 0 : total), static_cast<uint32_t>(page));
    bar->SetPos(static_cast<uint32_t>(position < 0 ? 0 : position));
    m_scrolling = false;
}

void CWndMain::SetProgress(double percent)
{
    if (CQWF_Control* c = Find("Progress")) static_cast<CQWF_CtrlProgress*>(c)->SetPos(percent);
}

void CWndMain::SetProgressBarVisible(bool visible)
{
    if (CQWF_Control* c = Find("Progress")) static_cast<CQWF_CtrlProgress*>(c)->SetBarVisible(visible);
    ShowLayers("Progress", visible);
}

void CWndMain::UpdateField()
{
    SetControl(kFieldName, m_fieldShown && m_fieldEnabled, m_fieldShown ? 80 : 0);
}

void CWndMain::ShowField(bool shown)
{
    m_fieldShown = shown;
    UpdateField();
}

void CWndMain::EnableField(bool enabled)
{
    m_fieldEnabled = enabled;
    UpdateField();
}

void CWndMain::SetFieldText(const CQWF_String& text)
{
    if (auto* field = static_cast<CQWF_CtrlEditLine*>(Find(kFieldName))) field->SetText(text.GetBuffer(), false);
}

CQWF_String CWndMain::GetFieldText()
{
    auto* field = static_cast<CQWF_CtrlEditLine*>(Find(kFieldName));
    if (!field) return CQWF_String("");
    CQWF_String text = field->GetText();
    // At most 999 characters are taken from the field.
    if (text.GetLength() > 999) text = text.Left(999);
    return text;
}

bool CWndMain::BrowseForFolder(const CQWF_String& start, CQWF_String& picked)
{
    qwp::FolderChoiceRequest request;
    request.owner = GetHWND();
    request.title = kFolderPickerTitle;
    request.startFolder = start.GetBuffer();
    if (request.startFolder.size() > 259) request.startFolder.resize(259);
    std::string path;
    if (!qwp::WS().ChooseFolder(request, path) || path.empty()) return false;
    if (path.size() > 259) path.resize(259);
    picked = path.c_str();
    return true;
}

int CWndMain::MessageBox(const char* text, const char* caption, Buttons buttons, Icon icon)
{
    qwp::MessageBoxRequest request;
    request.owner = GetHWND();
    request.text = text ? text : "";
    request.caption = caption ? caption : "";
    request.buttons = buttons == kButtonsAbortRetryIgnore ? qwp::MessageButtons::AbortRetryIgnore : qwp::MessageButtons::Ok;
    request.icon = icon == kIconWarning ? qwp::MessageIcon::Warning : qwp::MessageIcon::Error;
    return qwp::WS().MessageBox(request);
}

void CWndMain::SetTimer(int id, uint32_t milliseconds) { CQWF_Window::SetTimer(milliseconds, static_cast<uint32_t>(id)); }

void CWndMain::KillTimer(int id) { CQWF_Window::KillTimer(static_cast<uint32_t>(id)); }

void CWndMain::Beep()
{
    if (CQWF_App* app = CQWF_App::GetApp()) app->Beep();
}

void CWndMain::DiscardPendingInput()
{
    // Every queued event but the mouse and keyboard input stays where it is.
    std::vector<qwp::EventType> keep;
    for (int t = 1; t <= static_cast<int>(qwp::EventType::Quit); ++t)
        if (!IsInputEvent(static_cast<qwp::EventType>(t))) keep.push_back(static_cast<qwp::EventType>(t));
    qwp::Event e;
    while (qwp::WS().TakeEvent(e, 0, keep)) {
    }
}

void CWndMain::CloseWindow()
{
    if (m_closedForGood) return;
    m_closedForGood = true;
    CQWF_Window::Close();
    qwp::WS().PostQuit(0);
}

// --- the window ---

bool CWndMain::Close()
{
    // Every close request, the system's too, goes through the model: refused during the intro
    // and the installation, else the closing animation ends the window.
    if (!m_closedForGood) m_model.Close();
    return true;
}

bool CWndMain::IsInDragArea(int32_t x, int32_t y)
{
    // The window is dragged by any point that is neither on the screen nor on a control that
    // takes the pointer.
    for (int32_t i = 0; i < GetControlCount(); ++i) {
        CQWF_Control* c = GetControl(i);
        if (c->GetKind() == QWF_CTRL_STATIC_IMAGE) {
            if (std::strcmp(c->GetName(), "LCD") == 0 && c->HitTest(x, y)) return false;
            continue;
        }
        if (c->GetKind() != QWF_CTRL_STATIC_TEXT && c->HitTestIfEnabled(x, y)) return false;
    }
    return true;
}

bool CWndMain::OnTimer(uint32_t id)
{
    m_model.OnTimer(static_cast<int>(id));
    return true;
}

bool CWndMain::OnLButtonDown(int32_t, int32_t, uint32_t)
{
    // A press outside the destination field takes the keyboard from it (the window does that
    // before it calls here).
    return true;
}

bool CWndMain::OnMouseWheel(int32_t x, int32_t y, uint32_t flags, int32_t steps)
{
    CQWF_Control* bar = Find("AgreementScroll");
    if (!bar || !bar->IsEnabled()) return false;
    return bar->OnMouseWheel(x, y, flags, steps);
}

bool CWndMain::OnKeyDown(uint32_t code, uint32_t modifiers)
{
    return m_model.OnKeyDown(static_cast<int>(code), static_cast<int>(modifiers & (QWF_MOD_ALT | QWF_MOD_SHIFT | QWF_MOD_CTRL)));
}

bool CWndMain::OnNotify(int32_t code, int32_t, const char* name, uint8_t kind, void* data)
{
    if (!name) return false;
    if (kind == QWF_CTRL_BUTTON && code == QWF_NOTIFY_CLICK) {
        m_model.OnCommand(name);
        return true;
    }
    if (kind == QWF_CTRL_SCROLLBAR) {  // the bar tells its value alone, moving and moved
        if (!m_scrolling && data) m_model.OnCommand(name, static_cast<int>(*static_cast<uint32_t*>(data)));
        return true;
    }
    if (kind == QWF_CTRL_EDIT && code == QWF_NOTIFY_TEXT) {
        m_model.OnFieldChanged();
        return true;
    }
    // The images pass the pointer on (the wheel reaches the window).
    return false;
}

// --- the program ---

CApp::CApp() : m_window(m_package, m_list) {}

CApp::~CApp() = default;

int32_t CApp::InitInstance()
{
    const int32_t result = Open() ? Run() : -1;
    // The folders made for drive C go again, the deepest first, while nothing was installed into
    // them.
    std::vector<std::string> made;
    for (size_t start = 0, end; (end = m_systemDriveFolders.find('\n', start)) != std::string::npos; start = end + 1)
        made.push_back(m_systemDriveFolders.substr(start, end - start));
    for (size_t i = made.size(); i-- > 0;) qwp::RemoveFolder(made[i].c_str());
    return result;
}

bool CApp::OpenPackage()
{
    m_refusal = "";
    bool ok = LoadPackageFromResource(true);
    if (!ok) m_refusal = "the program carries no package, or it is damaged";
    ok = ok && CheckSetupPackage(m_package, m_list, &m_refusal);
    if (!ok) ShowCorruptSetup(m_refusal.GetBuffer());
    return ok;
}

bool CApp::Open()
{
    if (!OpenPackage()) return false;
    // The proposal lies on drive C, which a fresh machine has from the start.
    m_systemDriveFolders.clear();
    qwp::PrepareSystemDrive(&m_systemDriveFolders);
    m_window.Model().SetSystemDriveFolders(m_systemDriveFolders.c_str());
    SetMainWindow(&m_window);
    m_shadow = 1;
    if (!m_window.CreateFromSkin("Main", QWF_WHOLE, QWF_WHOLE, nullptr, 0)) {
        // A package that passed its checks but cannot make the window is damaged all the same.
        CQWF_String why;
        why.Format("the setup window cannot be made from the package, error %d", m_window.GetError());
        ShowCorruptSetup(why.GetBuffer());
        return false;
    }
    m_window.SetTitle(kWindowTitle);
    m_window.InvalidateRect(0, 0, m_window.GetWidth(), m_window.GetHeight());
    m_window.Show();
    return true;
}

}  // namespace qwsetup
