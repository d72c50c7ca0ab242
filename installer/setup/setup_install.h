// The installation, without the window: creates the destination and the per-user data folder,
// unpacks and writes every deploy entry, makes the shortcuts, registers the uninstall entry and
// writes "SPath.conf" and "Uninstall.conf". The window drives it through CInstallerUI, which shows
// its system message boxes and its progress bar.
//
// "Uninstall.conf", in this order of writing:
//   "Product" string, "PathLog" string (every created folder, a backslash and a line feed each),
//   "File_%d" for 0..N+1 (the N entries, then "Uninstall.conf" and "SPath.conf"), "TotalFiles"
//   N + 2, "ShortcutGroup" (only when a shortcut was made), then "Destination" and "DataFolder"
//   (the two folders the uninstall may delete in), "ShortcutCount" and "Shortcut_%d" (the links
//   made), "ShortcutGroupCreated" (1 when the group folder was made by the setup) and
//   "UninstallKeyCreated" (the highest registry key the setup made on the way to its uninstall
//   entry, when it made one).
// "SPath.conf": "SPath" string, the per-user data folder.
//
// A run that fails takes away what it wrote (files, shortcuts, its registry entry, the folders it
// made): without a record nothing could remove them later.
#pragma once

#include <cstdint>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_storage.h"
#include "framework/core/qwf_string.h"
#include "installer/setup/setup_destination.h"
#include "installer/setup/setup_package.h"

namespace qwsetup {

// What the installation needs of its window.
class CInstallerUI {
public:
    enum Buttons { kButtonsOK, kButtonsAbortRetryIgnore };
    enum Icon { kIconError, kIconWarning };
    // The answers, numbered as the system numbers them.
    enum Answer { kAnswerOK = 1, kAnswerAbort = 3, kAnswerRetry = 4, kAnswerIgnore = 5 };

    virtual ~CInstallerUI() = default;
    // A system message box owned by the setup window; returns the button pressed.
    virtual int MessageBox(const char* text, const char* caption, Buttons buttons, Icon icon) = 0;
    // The progress bar, 0 to 100; the window repaints it here.
    virtual void SetProgress(double percent) = 0;
};

// The message texts of the installation.
extern const char* const kErrorCaption;              // "Error!"
extern const char* const kFolderErrorFormat;         // "Error!\n\nError creating folder \"%s\""
extern const char* const kInternalErrorText;         // "Internal Error. Please, report to Quarrow."
extern const char* const kInternalErrorCaption;      // "Internal Error"
extern const char* const kCannotCreateFormat;        // "Error!\n\nFile \"%s\" cannot be created."
extern const char* const kWriteErrorFormat;          // "Error!\n\nError writing to file \"%s\""
extern const char* const kRegistryErrorFormat;       // "Error!\n\nError writing registry key \"%s\""
extern const char* const kUninstallKeyPrefix;        // SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ .

class CInstallation : public CQWF_FrameWork {
public:
    enum Result { kAborted = 0, kInstalled = 1, kFolderError = 2 };

    CInstallation(CQWF_Storage& package, CDeployList& list, const CDestinationChoice& choice, CInstallerUI& ui)
        : m_package(package), m_list(list), m_choice(choice), m_ui(ui)
    {
    }

    // Runs the installation into the destination field's text, with or without shortcuts.
    Result Install(const CQWF_String& destinationText, bool addIcons);

    // What the last run did.
    const CQWF_String& GetDestination() const { return m_destination; }

    // Bytes written per write call for a total size: T / 25 + 1, at most 5,000,000.
    static uint64_t ChunkSize(uint64_t total);

private:
    Result Run(const CQWF_String& destinationText, bool addIcons);
    // Takes away what the run wrote, the last first.
    void Undo();
    bool CreateTree(const CQWF_String& folder, CQWF_String& normal);
    bool Register();
    int WriteEntry(const CQWF_Mem& data, const CQWF_String& path);
    bool WritePackageFiles();
    bool WriteSPathConf(const CQWF_String& path);
    bool WriteUninstallConf(const CQWF_String& path);
    void ShowFormatted(const char* format, const CQWF_String& path, CInstallerUI::Buttons buttons,
                       CInstallerUI::Icon icon, int* answer = nullptr);

    CQWF_Storage& m_package;
    CDeployList& m_list;
    const CDestinationChoice& m_choice;
    CInstallerUI& m_ui;

    CQWF_String m_destination;
    CQWF_String m_userFolder;
    CQWF_String m_log;
    CQWF_String m_product;
    CQWF_StringArray m_links;
    CQWF_StringArray m_opened;  // every file the run opened for writing
    CQWF_String m_groupFolder;  // the shortcut group folder, when the run made it
    CQWF_String m_entryKey;     // the uninstall entry's key, when the run made it
    CQWF_String m_createdKey;   // the highest registry key the run made
    bool m_groupCreated = false;
    bool m_shortcutMade = false;
    uint64_t m_chunk = 0;
    uint64_t m_written = 0;
};

}  // namespace qwsetup
