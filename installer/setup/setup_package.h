// The setup program's package and its deploy list: what the program carries and installs.
//
// Deploy list keys for each entry i from 1 to N ("%02d"):
//   "Product>Deploy>TotalFiles"   32-bit   N
//   "Product>Deploy>size_%02d"    32-bit   unpacked size in bytes
//   "Product>Deploy>file_%02d"    binary   the data as a compressed block (read by the installation)
//   "Product>Deploy>name_%02d"    string   file name; "{u}" first: recorded for removal, not written
//   "Product>Deploy>folder_%02d"  string   "" the destination, "{a}[sub]" the per-user data folder,
//                                           else a sub-folder of the destination
//   "Product>Deploy>icon_%02d"    string   shortcut name, "" for none
#pragma once

#include <cstdint>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_storage.h"
#include "framework/core/qwf_string.h"

namespace qwsetup {

// The message of a package that cannot be used, and its caption.
extern const char* const kCorruptSetupText;
extern const char* const kCorruptSetupCaption;
// Says that the program's package cannot be used: the "Corrupt Setup File!" box with the error
// icon and no owner, and the same on the error stream (a run without a screen has no other way to
// tell); `why`, when given, follows there in brackets.
void ShowCorruptSetup(const char* why);

// Name prefixes of the deploy list (three characters, compared without regard to case).
bool HasPrefix(const CQWF_String& text, const char* prefix);
CQWF_String WithoutPrefix(const CQWF_String& text, const char* prefix);

// Checks of deploy entries, at build and at start-up: a name (after "{u}") must be a plain file
// name; a folder (after "{a}") empty or relative parts without "..", drive letters or wildcards; a
// shortcut name empty or plain. `why` tells what is wrong.
bool CheckDeployName(const CQWF_String& name, CQWF_String* why = nullptr);
bool CheckDeployFolder(const CQWF_String& folder, CQWF_String* why = nullptr);
bool CheckShortcutName(const CQWF_String& icon, CQWF_String* why = nullptr);
// "Product>FullProductName" (a registry key name) and "Product>DefaultShortcutGroupName" (a
// folder name) may be missing (defaults apply) but not empty or unsafe.
bool CheckProductTexts(CQWF_Storage& package, CQWF_String* why = nullptr);

class CDeployList : public CQWF_FrameWork {
public:
    // Fills the per-entry arrays from the package; false when a key is missing or an entry is
    // refused (`why` tells which). The arrays keep the entries read before a failure.
    bool LoadDeployList(CQWF_Storage& package, CQWF_String* why = nullptr);

    uint32_t GetEntryCount() const { return m_entryCount; }
    // The sum of all sizes, in 64 bits.
    uint64_t GetTotalSize() const { return m_totalSize; }
    // Per entry in list order (entry i of the package is index i - 1); strings tagged with i.
    const CQWF_StringArray& GetDataKeys() const { return m_dataKeys; }
    const CQWF_StringArray& GetNames() const { return m_names; }
    const CQWF_ByteArray& GetIconFlags() const { return m_iconFlags; }
    const CQWF_StringArray& GetIconNames() const { return m_iconNames; }
    const CQWF_StringArray& GetFolders() const { return m_folders; }
    // Filled by the installation: the full path of every entry.
    CQWF_StringArray& GetInstalledPaths() { return m_installedPaths; }
    const CQWF_StringArray& GetInstalledPaths() const { return m_installedPaths; }

private:
    void Clear();

    uint32_t m_entryCount = 0;
    uint64_t m_totalSize = 0;
    CQWF_StringArray m_dataKeys;
    CQWF_StringArray m_names;
    CQWF_ByteArray m_iconFlags;
    CQWF_StringArray m_iconNames;
    CQWF_StringArray m_folders;
    CQWF_StringArray m_installedPaths;
};

// The checks of the program's start-up on its opened package: the product texts, then the deploy
// list. False when either is unusable (`why` tells what); the program then shows
// kCorruptSetupText and ends.
bool CheckSetupPackage(CQWF_Storage& package, CDeployList& list, CQWF_String* why = nullptr);

}  // namespace qwsetup
