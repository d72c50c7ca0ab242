#include "installer/setup/setup_package.h"

#include "installer/setup/qw_installhelpers.h"
#include "platform/qw_winsys.h"

#include <cstdio>

namespace qwsetup {

const char* const kCorruptSetupText = "Corrupt Setup File!\n\nPlease, download file again.";
const char* const kCorruptSetupCaption = "Corrupt Setup File!";

void ShowCorruptSetup(const char* why)
{
    if (why && *why)
        std::fprintf(stderr, "%s\n(%s)\n", kCorruptSetupText, why);
    else
        std::fprintf(stderr, "%s\n", kCorruptSetupText);
    qwp::MessageBoxRequest request;
    request.text = kCorruptSetupText;
    request.caption = kCorruptSetupCaption;
    request.buttons = qwp::MessageButtons::Ok;
    request.icon = qwp::MessageIcon::Error;
    qwp::WS().MessageBox(request);
}

namespace {
bool Refuse(CQWF_String* why, const CQWF_String& text)
{
    if (why) *why = text;
    return false;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
}  // namespace

bool HasPrefix(const CQWF_String& text, const char* prefix)
{
    return text.GetLength() >= 3 && text.Left(3).CompareNoCase(prefix) == 0;
}

CQWF_String WithoutPrefix(const CQWF_String& text, const char* prefix)
{
    return HasPrefix(text, prefix) ? text.Mid(3, text.GetLength()) : text;
}

bool CheckDeployName(const CQWF_String& name, CQWF_String* why)
{
    CQWF_String reason;
    if (!IsPlainName(WithoutPrefix(name, "{u}"), &reason)) return Refuse(why, "name \"" + name + "\": " + reason);
    return true;
}

bool CheckDeployFolder(const CQWF_String& folder, CQWF_String* why)
{
    CQWF_String rest = WithoutPrefix(folder, "{a}");
    const char* p = rest.GetBuffer();
    if (rest.GetLength() > 0 && IsSeparator(p[0])) return Refuse(why, "folder \"" + folder + "\": an absolute path");
    size_t start = 0;
    for (size_t i = 0; i <= rest.GetLength(); ++i) {
        if (i < rest.GetLength() && !IsSeparator(p[i])) continue;
        CQWF_String part = rest.Mid(start, i - start);
        start = i + 1;
        if (part.GetLength() == 0) continue;  // "a\\b" and a trailing backslash are harmless
        CQWF_String reason;
        if (!IsPlainName(part, &reason)) return Refuse(why, "folder \"" + folder + "\": " + reason);
    }
    return true;
}

bool CheckShortcutName(const CQWF_String& icon, CQWF_String* why)
{
    CQWF_String reason;
    if (icon.GetLength() > 0 && !IsPlainName(icon, &reason))
        return Refuse(why, "shortcut \"" + icon + "\": " + reason);
    return true;
}

bool CheckProductTexts(CQWF_Storage& package, CQWF_String* why)
{
    static const char* const kKeys[] = {"Product>FullProductName", "Product>DefaultShortcutGroupName"};
    for (const char* key : kKeys) {
        CQWF_String text;
        CQWF_String reason;
        if (package.GetKind(key) == CQWF_Storage::kKindMissing) continue;
        if (!package.GetString(key, text)) return Refuse(why, CQWF_String(key) + " is no text");
        if (!IsPlainName(text, &reason)) return Refuse(why, CQWF_String(key) + ": " + reason);
    }
    return true;
}

void CDeployList::Clear()
{
    m_entryCount = 0;
    m_totalSize = 0;
    m_dataKeys.RemoveAll();
    m_names.RemoveAll();
    m_iconFlags.RemoveAll();
    m_iconNames.RemoveAll();
    m_folders.RemoveAll();
}

bool CDeployList::LoadDeployList(CQWF_Storage& package, CQWF_String* why)
{
    ClearError();
    Clear();
    uint32_t count = 0;
    if (!package.GetDWord("Product>Deploy>TotalFiles", count))
        return Refuse(why, "no Product>Deploy>TotalFiles");
    m_entryCount = count;
    for (uint32_t i = 1; i <= count; ++i) {
        CQWF_String key;
        uint32_t size = 0;
        key.Format("Product>Deploy>size_%02u", i);
        if (!package.GetDWord(key, size)) return Refuse(why, "no " + key);
        m_totalSize += size;
        key.Format("Product>Deploy>file_%02u", i);
        m_dataKeys.Add(key, i);
        CQWF_String name, folder, icon;
        key.Format("Product>Deploy>name_%02u", i);
        if (!package.GetString(key, name)) return Refuse(why, "no " + key);
        if (!CheckDeployName(name, why)) return false;
        m_names.Add(name, i);
        key.Format("Product>Deploy>folder_%02u", i);
        if (!package.GetString(key, folder)) return Refuse(why, "no " + key);
        if (!CheckDeployFolder(folder, why)) return false;
        m_folders.Add(folder, i);
        key.Format("Product>Deploy>icon_%02u", i);
        if (!package.GetString(key, icon)) return Refuse(why, "no " + key);
        if (!CheckShortcutName(icon, why)) return false;
        m_iconFlags.Add(icon.GetLength() > 0 ? 1 : 0);
        m_iconNames.Add(icon, i);
    }
    return true;
}

bool CheckSetupPackage(CQWF_Storage& package, CDeployList& list, CQWF_String* why)
{
    return CheckProductTexts(package, why) && list.LoadDeployList(package, why);
}

}  // namespace qwsetup
