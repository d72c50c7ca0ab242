// The destination folder choice of the setup window, without the window: the defaults of the
// package, the proposal (a host's plug-in folder, Program Files or "C:\", followed by the
// additional folder), composing a picked folder, and the space text that decides whether Install
// is enabled.
#pragma once

#include <cstdint>

#include "framework/core/qwf_storage.h"
#include "framework/core/qwf_string.h"

namespace qwsetup {

class CDestinationChoice : public CQWF_FrameWork {
public:
    // Path modes.
    enum : uint8_t { kPathDriveC = 0, kPathProgramFiles = 1, kPathHostPlugins = 2 };
    // Host codes.
    enum : uint8_t { kHostPhotoshop = 1, kHostJasc = 2, kHostElements = 3 };

    // Reads "Product>DefaultShortcutGroupName" and "Product>Defaults" (tokens "Path:",
    // "AddIcons:", "HostPriority:"); resets everything else to the defaults first.
    void LoadDefaults(CQWF_Storage& package);
    // The default destination becomes "ProgramFilesDir" of the local machine's
    // SOFTWARE\Microsoft\Windows\CurrentVersion, else "C:\Program Files"; true when it exists.
    bool GetProgramFilesFolder();
    // The default destination becomes the plug-in folder of the first host in priority order that
    // has one; false when none has.
    bool FindHostPluginFolder();
    // The user data folder becomes the user's application-data folder, else the default
    // destination.
    bool GetUserDataFolder();
    // The base with a backslash, then the sub-folder and a backslash unless the sub-folder is
    // empty or the base's last folder name already equals it (without regard to case).
    static CQWF_String ComposePath(const CQWF_String& base, const CQWF_String& sub);

    // The proposal made while the window is created: defaults, the default destination composed
    // with the additional folder, the user data folder and the required space.
    void Propose(CQWF_Storage& package, uint64_t totalSize);
    // The destination field's text after the user picked a folder.
    CQWF_String PickedFolder(const CQWF_String& picked) const { return ComposePath(picked, m_additionalFolder); }
    // "Space Required: %s\nSpace Available: %s" for the destination text; answers whether Install
    // may be enabled (the free space is known and suffices).
    bool SpaceText(const CQWF_String& destination, CQWF_String& text) const;

    const CQWF_String& GetDefaultDestination() const { return m_defaultDestination; }
    const CQWF_String& GetAdditionalFolder() const { return m_additionalFolder; }
    const CQWF_String& GetUserDataFolderPath() const { return m_userDataFolder; }
    const CQWF_String& GetShortcutGroupName() const { return m_shortcutGroupName; }
    bool GetAddIcons() const { return m_addIcons != 0; }
    const uint8_t* GetHostPriority() const { return m_hostPriority; }

    // The window's path-changed flag: set by every change of the destination field's text and at
    // creation, cleared when the space text is redrawn.
    bool m_pathChanged = true;

private:
    bool FindAdobeHost(const char* root, const char* format);
    bool FindJascHost();

    CQWF_String m_defaultDestination;
    CQWF_String m_additionalFolder;
    CQWF_String m_userDataFolder;
    CQWF_String m_shortcutGroupName = "Quarrow";
    uint8_t m_addIcons = 1;
    uint8_t m_pathMode = kPathDriveC;
    uint8_t m_hostPriority[3] = {kHostPhotoshop, kHostElements, kHostJasc};
    uint64_t m_requiredKB = 0;
};

}  // namespace qwsetup
