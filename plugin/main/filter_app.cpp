#include "plugin/main/filter_app.h"

#include <new>
#include <string>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_storage.h"
#include "framework/ui/qwf_popupmenu.h"
#include "plugin/core/qw_pluginmain.h"
#include "platform/qw_shell.h"

namespace {

constexpr int32_t kWhole = -32000;
// At most this many openings and closings of link segments are looked for.
constexpr size_t kMaxMarkers = 20;
constexpr char kSeparator[] = "---";

CPluginApp* MakeFilterApp()
{
    return new (std::nothrow) CApp();
}

// The filter module registers its application when it is loaded.
[[maybe_unused]] const bool g_registered = (RegisterFilterApp(), true);

// Positions of up to kMaxMarkers occurrences of the marker, each search going on two characters
// after the last hit.
size_t FindMarkers(const CQWF_String& text, const char* marker, int64_t* out)
{
    size_t count = 0;
    size_t from = 0;
    while (count < kMaxMarkers) {
        const int64_t at = text.Find(marker, from);
        if (at < 0) break;
        out[count++] = at;
        from = static_cast<size_t>(at) + 2;
    }
    return count;
}

// A link starts with its scheme: two or more letters, digits, "+", "-" or "." and a colon (a
// drive letter alone is a path).
bool HasScheme(const CQWF_String& link)
{
    const char* t = link.GetBuffer();
    size_t n = 0;
    while ((t[n] >= 'a' && t[n] <= 'z') || (t[n] >= 'A' && t[n] <= 'Z') ||
           (n > 0 && ((t[n] >= '0' && t[n] <= '9') || t[n] == '+' || t[n] == '-' || t[n] == '.')))
        ++n;
    return n >= 2 && t[n] == ':';
}

// A link without a scheme names a document in the plug-in folder, optionally followed by
// "#" and a place in it: the file link of that document, the place kept.
CQWF_String DocumentLink(const CQWF_String& folder, const CQWF_String& link)
{
    const int64_t hash = link.FindChar('#');
    const CQWF_String name = hash < 0 ? link : link.Left(static_cast<size_t>(hash));
    CQWF_String path = folder;
    path += name;
    const std::string host = qwp::ShellTarget(path.GetBuffer());
    CQWF_String out("file://");
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : host) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    if (hash >= 0) out += link.Mid(static_cast<size_t>(hash), link.GetLength() - static_cast<size_t>(hash)).GetBuffer();
    return out;
}

}  // namespace

void RegisterFilterApp()
{
    SetPluginAppMaker(&MakeFilterApp);
}

CApp::CApp() = default;

CApp::~CApp()
{
    m_links.RemoveAll();
}

bool CApp::SelectWindow(const char* name)
{
    CQWF_String n(name ? name : "");
    if (n.CompareNoCase("About") == 0) {
        m_current = &m_about;
        m_windowName = "About";
        return true;
    }
    if (n.CompareNoCase("Main") == 0) {
        m_current = &m_main;
        m_windowName = "Main";
        return true;
    }
    return false;
}

bool CApp::GetMainResult(bool& ready, bool& layoutMode, CQWF_Image*& rendered)
{
    if (m_current != &m_main)
        return false;
    ready = m_main.GetReady() == 1;
    layoutMode = m_main.GetMode() == CWnd_Main::kLayoutMode;
    rendered = m_main.GetPiecesImage().IsEmpty() ? nullptr : &m_main.GetPiecesImage();
    return true;
}

void CApp::SetPlugin(CPluginMain* plugin)
{
    m_plugin = plugin;
    m_about.SetPlugin(plugin);
    m_main.SetPlugin(plugin);
}

int32_t CApp::Run()
{
    if (!m_current) return -1;
    SetMainWindow(m_current);
    LoadHelpLinks();
    m_current->SetForeignParent(GetOwnerWindow());
    if (!m_current->CreateFromSkin(m_windowName.GetBuffer(), m_x, m_y, nullptr, 0)) {
        SetError(m_current->GetError());
        return -1;
    }
    m_current->Show();
    // Once a run: settings that cannot be saved are told as the dialog opens.
    if (m_current == &m_main && m_plugin && m_plugin->ArePreferencesReadOnly())
        MessageBox(CPluginMain::kSettingsReadOnlyText, "Error!", m_current);
    return CQWF_App::Run();
}

void CApp::LoadHelpLinks()
{
    m_links.RemoveAll();
    CQWF_Storage* storage = GetStorage();
    CQWF_Mem packed;
    if (!storage || !storage->GetBinary("InfoM", packed)) return;
    CQWF_Mem bytes;
    CQWF_ZipBlock zip;
    zip.SetMode(0);
    zip.SetInputMem(packed);
    zip.SetOutputMem(&bytes);
    if (!zip.Process()) return;
    CQWF_String text;
    if (bytes.GetSize() && !text.AssignBytes(bytes)) return;

    int64_t opens[kMaxMarkers];
    int64_t closes[kMaxMarkers];
    const size_t openCount = FindMarkers(text, "{|", opens);
    const size_t closeCount = FindMarkers(text, "|}", closes);
    if (openCount != closeCount || openCount == 0) return;

    // Segment m lies between the m-th opening and the m-th closing. A closing before its
    // opening, or an opening inside the segment before it, ends the walk.
    auto segment = [&](size_t m, CQWF_String& out) {
        const int64_t start = opens[m] + 2;
        if (closes[m] < start) return false;
        if (m > 0 && opens[m] < closes[m - 1] + 2) return false;
        out = text.Mid(static_cast<size_t>(start), static_cast<size_t>(closes[m] - start));
        return true;
    };
    for (size_t m = 0; m < openCount; ++m) {
        CQWF_String caption;
        if (!segment(m, caption)) break;
        if (caption == kSeparator) {
            m_links.Add(CQWF_String(kSeparator));
            m_links.Add(CQWF_String(kSeparator));
            continue;
        }
        CQWF_String url;
        if (m + 1 >= openCount || !segment(m + 1, url)) break;
        ++m;
        m_links.Add(caption);
        m_links.Add(url);
    }
}

void CApp::BuildHelpMenu(CQWF_PlatformPopupMenu& menu)
{
    menu.AddItem("Help...", QW_HELP_FILE, false, false);
    menu.AddSeparator();
    const size_t pairs = m_links.GetCount() / 2;
    // Only the links that a command can reach are offered.
    for (size_t k = 0; k < pairs && QW_HELP_FIRST_LINK + k <= QW_HELP_LAST_LINK; ++k) {
        const CQWF_String caption = m_links.GetAt(2 * k);
        if (caption == kSeparator)
            menu.AddSeparator();
        else
            menu.AddItem(caption.GetBuffer(), static_cast<uint16_t>(QW_HELP_FIRST_LINK + k), false, false);
    }
    menu.AddSeparator();
    menu.AddItem("About Plug-in...", QW_HELP_ABOUT, false, false);
}

bool CApp::OnHelpCommand(uint16_t id, CQWF_Window* window)
{
    if (id == QW_HELP_ABOUT) {
        ShowAbout(window);
        return true;
    }
    if (id == QW_HELP_FILE) {
        ShowHelpFile();
        return true;
    }
    if (id < QW_HELP_FIRST_LINK || id > QW_HELP_LAST_LINK) return false;
    const size_t k = id - QW_HELP_FIRST_LINK;
    if (2 * k + 1 >= m_links.GetCount()) return false;
    const CQWF_String url = m_links.GetAt(2 * k + 1);
    if (m_links.GetAt(2 * k) == kSeparator) return false;
    OpenURL(url.GetBuffer());
    return true;
}

void CApp::ShowHelpFile()
{
    if (m_plugin && m_plugin->OpenFile(QW_HELP_DOCUMENT)) return;
    CQWF_String text;
    text.Format("Cannot show \"%s\" file.", QW_HELP_DOCUMENT);
    MessageBox(text.GetBuffer(), "Error!", GetMainWindow());
}

void CApp::OpenURL(const char* text)
{
    CQWF_String link(text ? text : "");
    if (m_plugin && !HasScheme(link)) link = DocumentLink(m_plugin->GetPluginFolder(), link);
    if (m_plugin && link.GetLength() && m_plugin->OpenURL(link.GetBuffer())) return;
    MessageBox("Cannot show URL.", "Error!", GetMainWindow());
}

void CApp::ShowAbout(CQWF_Window* parent)
{
    CWnd_About about;
    about.SetPlugin(m_plugin);
    if (!about.CreateFromSkin("About", kWhole, kWhole, parent, 0)) return;
    about.RunModal();
}
