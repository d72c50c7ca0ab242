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
// Every file is written beside its place and put there when all of them are written (files that
// stood there wait aside until the run ends; links in the files' places are replaced, never
// written through, and a link in a sub-folder's place is refused). A run that fails takes away
// what it wrote and made (files, shortcuts, its registry entry and values, the folders) and puts
// back what stood there, so that an earlier installation is as it was; without a record nothing
// could remove them later.
//
// A record that an earlier run left in the destination (of an installation there, or of a run
// that was stopped) hands on what that run made: its folders, its shortcuts and group, its
// registry keys; so one uninstall removes all of it. While a run makes folders, a group, keys,
// files or links that no record names, it keeps the record in the destination up to date before
// it goes on.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_storage.h"
#include "framework/core/qwf_string.h"
#include "installer/setup/setup_destination.h"
#include "installer/setup/setup_files.h"
#include "installer/setup/setup_package.h"
#include "platform/qw_registry.h"

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

    // The folders the program made before the run (a folder log's text): those that hold the
    // destination are named in the record first, as folders the setup made; a run that fails
    // leaves them to the program.
    void SetFoldersMadeBefore(const CQWF_String& log) { m_madeBefore = log; }
    // Runs the installation into the destination field's text, with or without shortcuts.
    Result Install(const CQWF_String& destinationText, bool addIcons);

    // What the last run did.
    const CQWF_String& GetDestination() const { return m_destination; }

    // Bytes written per write call for a total size: T / 25 + 1, at most 5,000,000.
    static uint64_t ChunkSize(uint64_t total);

private:
    // What an earlier record in the destination hands on (checked against this run's folders).
    struct Earlier {
        CQWF_String log;          // its folders that still stand
        CQWF_StringArray files;   // its files inside the destination or the data folder
        CQWF_StringArray links;   // its links that still stand in this run's group folder
        bool groupCreated = false;
        CQWF_String createdKey;   // its highest registry key made on the way to the entry
    };

    Result Run(const CQWF_String& destinationText, bool addIcons);
    // Takes away what the run wrote and made, the last first, and puts back what it replaced.
    void Undo();
    // Makes a folder tree (refused when a folder on the way below `within` is a link), the folders
    // it is to make named in the record first; kInstalled when made, else the run's end (the
    // folder error told, or the record's).
    Result MakeTree(const CQWF_String& folder, CQWF_String& normal, const CQWF_String* within, bool recordFirst);
    void ReadEarlierRecord();
    // The record as it is to stand now, when it does not yet name all the run made; false (told)
    // when it cannot be written.
    bool KeepRecord();
    bool Register();
    void RestoreRegistry();
    bool MakeShortcuts(const CQWF_StringArray& targets);
    int WriteEntry(const CQWF_Mem& data, const CQWF_String& path);
    bool WritePackageFiles();
    bool WriteStorageFile(const CQWF_String& path, bool uninstallRecord, bool final);
    bool FillUninstallRecord(CQWF_Storage& conf, bool final);
    CQWF_String RecordLog() const;
    CQWF_String EntryKey() const;
    void ShowFormatted(const char* format, const CQWF_String& path, CInstallerUI::Buttons buttons,
                       CInstallerUI::Icon icon, int* answer = nullptr);

    CQWF_Storage& m_package;
    CDeployList& m_list;
    const CDestinationChoice& m_choice;
    CInstallerUI& m_ui;

    CReplacedFiles m_files;
    Earlier m_earlier;
    CQWF_String m_destination;
    CQWF_String m_userFolder;
    CQWF_String m_madeBefore;
    CQWF_String m_log;  // the folders this run made, after those made before it that it names
    size_t m_logKept = 0;  // the length of the folders made before it
    CQWF_String m_product;
    CQWF_StringArray m_links;
    CQWF_String m_groupFolder;  // the shortcut group folder, when the run made it
    CQWF_String m_entryKey;     // the uninstall entry's key, when the run made it
    CQWF_String m_createdKey;   // the highest registry key the run made
    bool m_groupCreated = false;
    bool m_shortcutMade = false;
    // The uninstall entry's values before the run wrote them, to be put back.
    static constexpr int kEntryValues = 3;
    bool m_registered = false;
    bool m_hadValue[kEntryValues] = {};
    qwp::RegValue m_oldValue[kEntryValues];
    // Folders and the group about to be made: the record names them first.
    CQWF_String m_pending;
    bool m_groupPending = false;
    // What the record in the destination names already (KeepRecord).
    size_t m_recordedLog = 0;
    size_t m_recordedFiles = 0;
    bool m_linkPending = false;
    bool m_recordedGroup = false;
    bool m_recordedKey = false;
    uint64_t m_chunk = 0;
    uint64_t m_written = 0;
};

}  // namespace qwsetup
