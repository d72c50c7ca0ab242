#include "installer/setup/setup_destination.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "installer/setup/qw_installhelpers.h"
#include "platform/qw_userfolders.h"

namespace qwsetup {
namespace {

// The text at `at` compared over the word's width without regard to case.
bool SameAt(const CQWF_String& text, size_t at, const char* word)
{
    const size_t width = std::strlen(word);
    return at + width <= text.GetLength() && text.Mid(at, width).CompareNoCase(word) == 0;
}

// The version a sub-key name stands for: its leading digits and point as a decimal number.
double VersionOf(const CQWF_String& name)
{
    const char* p = name.GetBuffer();
    double value = 0, scale = 0;
    for (; *p; ++p) {
        if (*p >= '0' && *p <= '9') {
            if (scale == 0) {
                value = value * 10 + (*p - '0');
            } else {
                value += (*p - '0') * scale;
                scale /= 10;
            }
        } else if (*p == '.' && scale == 0) {
            scale = 0.1;
        } else {
            break;
        }
    }
    return value;
}

uint8_t HostCode(const CQWF_String& code)
{
    if (code.CompareNoCase("PS") == 0) return CDestinationChoice::kHostPhotoshop;
    if (code.CompareNoCase("PE") == 0) return CDestinationChoice::kHostElements;
    if (code.CompareNoCase("JP") == 0) return CDestinationChoice::kHostJasc;
    return 0;
}

}  // namespace

void CDestinationChoice::LoadDefaults(CQWF_Storage& package)
{
    m_addIcons = 1;
    m_pathMode = kPathDriveC;
    m_hostPriority[0] = kHostPhotoshop;
    m_hostPriority[1] = kHostElements;
    m_hostPriority[2] = kHostJasc;
    m_shortcutGroupName = "Quarrow";
    package.GetString("Product>DefaultShortcutGroupName", m_shortcutGroupName);
    CQWF_String defaults;
    if (!package.GetString("Product>Defaults", defaults)) return;

    int64_t at = defaults.Find("Path:");
    if (at >= 0) {
        if (SameAt(defaults, static_cast<size_t>(at) + 5, "PL")) m_pathMode = kPathHostPlugins;
        else if (SameAt(defaults, static_cast<size_t>(at) + 5, "PF")) m_pathMode = kPathProgramFiles;
        else m_pathMode = kPathDriveC;
    }
    at = defaults.Find("AddIcons:");
    if (at >= 0) m_addIcons = SameAt(defaults, static_cast<size_t>(at) + 9, "YES") ? 1 : 0;
    at = defaults.Find("HostPriority:");
    if (at >= 0) {
        // The listed hosts first, in their order; the hosts not listed follow in the default
        // order, so that every host is tried once.
        uint8_t order[3];
        size_t n = 0;
        auto seen = [&](uint8_t code) { return std::find(order, order + n, code) != order + n; };
        size_t pos = static_cast<size_t>(at) + 13;
        for (;;) {
            uint8_t code = pos + 2 <= defaults.GetLength() ? HostCode(defaults.Mid(pos, 2)) : 0;
            if (code && !seen(code)) order[n++] = code;  // three hosts: a fourth code was seen
            if (pos + 2 >= defaults.GetLength() || defaults.GetBuffer()[pos + 2] != ',') break;
            pos += 3;
        }
        for (uint8_t code : {kHostPhotoshop, kHostElements, kHostJasc})
            if (!seen(code)) order[n++] = code;
        std::memcpy(m_hostPriority, order, 3);
    }
}

bool CDestinationChoice::GetProgramFilesFolder()
{
    CQWF_String folder;
    if (!RegReadString("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir", kRegLocalMachine, folder))
        folder = "C:\\Program Files";
    m_defaultDestination = folder;
    return CQWWIN32FileSystem().FileExists(folder);
}

bool CDestinationChoice::FindAdobeHost(const char* root, const char* format)
{
    CQWWIN32FileSystem fs;
    double best = 0;
    bool found = false;
    CQWF_String name;
    for (uint32_t i = 0; RegEnumSubKey(root, kRegLocalMachine, name, i); ++i) {
        CQWF_String key, folder;
        key.Format(format, name.GetBuffer());
        if (!RegReadString(key, kRegLocalMachine, folder) || !fs.FileExists(folder)) continue;
        double version = VersionOf(name);
        if (version > best) {
            best = version;
            m_defaultDestination = folder;
            found = true;
        }
    }
    return found;
}

bool CDestinationChoice::FindJascHost()
{
    CQWWIN32FileSystem fs;
    CQWF_String name;
    for (uint32_t i = 0; RegEnumSubKey("Software\\Jasc", kRegCurrentUser, name, i); ++i) {
        for (int d = 1; d <= 9; ++d) {
            CQWF_String key, folder;
            key.Format("Software\\Jasc\\%s\\ImageProcessingFilter\\Directory%d", name.GetBuffer(), d);
            if (RegReadString(key, kRegCurrentUser, folder) && fs.FileExists(folder)) {
                m_defaultDestination = folder;
                return true;
            }
        }
    }
    return false;
}

bool CDestinationChoice::FindHostPluginFolder()
{
    for (uint8_t host : m_hostPriority) {
        bool found = false;
        if (host == kHostPhotoshop)
            found = FindAdobeHost("SOFTWARE\\Adobe\\Photoshop", "SOFTWARE\\Adobe\\Photoshop\\%s\\PluginPath\\");
        else if (host == kHostElements)
            found = FindAdobeHost("SOFTWARE\\Adobe\\Photoshop Elements",
                                  "SOFTWARE\\Adobe\\Photoshop Elements\\%s\\PluginPath\\");
        else if (host == kHostJasc)
            found = FindJascHost();
        if (found) return true;
    }
    return false;
}

bool CDestinationChoice::GetUserDataFolder()
{
    std::string folder = qwp::SpecialFolderPath(qwp::SpecialFolder::AppData);
    m_userDataFolder = folder.empty() ? m_defaultDestination : CQWF_String(folder.c_str());
    return true;
}

CQWF_String CDestinationChoice::ComposePath(const CQWF_String& base, const CQWF_String& sub)
{
    CQWF_String out = qwinstall::WithBackslash(base);
    if (sub.GetLength() == 0) return out;
    // The base's last folder name: between its last two backslashes.
    int64_t before = out.GetLength() >= 2 ? out.Left(out.GetLength() - 1).FindChar('\\', 0, false) : -1;
    if (before >= 0) {
        size_t start = out.GetLength() - 1 - static_cast<size_t>(before);
        CQWF_String last = out.Mid(start, out.GetLength() - 1 - start);
        if (last.CompareNoCase(sub) == 0) return out;
    }
    out += sub;
    out += '\\';
    return out;
}

void CDestinationChoice::Propose(CQWF_Storage& package, uint64_t totalSize)
{
    LoadDefaults(package);
    m_defaultDestination = "C:\\";
    if (m_pathMode == kPathProgramFiles || m_pathMode == kPathHostPlugins) {
        if (!GetProgramFilesFolder()) m_defaultDestination = "C:\\";
    }
    if (m_pathMode == kPathHostPlugins && !FindHostPluginFolder()) m_defaultDestination = "C:\\";
    m_additionalFolder = "";
    package.GetString("Product>DefaultAdditionalFolder", m_additionalFolder);
    m_defaultDestination = ComposePath(m_defaultDestination, m_additionalFolder);
    GetUserDataFolder();
    m_requiredKB = totalSize / 1024;
    m_pathChanged = true;
}

bool CDestinationChoice::SpaceText(const CQWF_String& destination, CQWF_String& text) const
{
    int64_t freeMB = CQWWIN32FileSystem().GetFreeSpaceMB(destination);
    CQWF_String available, required;
    if (freeMB < 0) available = "???";
    else if (freeMB > 9999) available.Format("%.1f GB", static_cast<double>(freeMB) / 1024.0);
    else available.Format("%d MB", static_cast<int>(freeMB));
    if (m_requiredKB > 9999) required.Format("%.1f MB", static_cast<double>(m_requiredKB) / 1024.0);
    else required.Format("%d KB", static_cast<int>(m_requiredKB));
    text.Format("Space Required: %s\nSpace Available: %s", required.GetBuffer(), available.GetBuffer());
    return freeMB >= 0 && m_requiredKB <= static_cast<uint64_t>(freeMB) * 1024;
}

}  // namespace qwsetup
