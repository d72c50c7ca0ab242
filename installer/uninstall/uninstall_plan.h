// The uninstall program without its window: finds and reads the uninstall record, asks its
// question, and removes what the setup recorded: the shortcuts it made, its uninstall registry
// entry, and through the batch file "QWRemover.bat" the installed files and the created folders.
//
// It deletes only what the record lists, only inside the recorded destination and data folders:
// file paths outside them (compared as the system compares names), below a link to a folder, with
// ".." parts or in any other form are left out of the batch file; only the links the setup
// recorded in the product's own shortcut group, that are links to the installation's files, are
// deleted, and the group folder only when the setup made it and it is empty; the registry entry
// only when it names this uninstall program, with the keys the setup made on the way to it while
// they are empty. The record is the one beside the uninstall program, taken only when its
// destination is that folder; its data folder is trusted only as the product's own data folder
// in the user's application data (or inside the destination). The batch file is written in
// place of whatever stands at its name, never through a link.
#pragma once

#include "framework/core/qwf_storage.h"
#include "framework/core/qwf_string.h"

namespace qwuninstall {

extern const char* const kQuestionFormat;   // "Do you want to uninstall\n%s?"
extern const char* const kNoRecordText;     // "Cannot open uninstall script..."
extern const char* const kWindowTitle;      // "Quarrow. Setup 2.5 (Uninstall)"
extern const char* const kBatchName;        // "QWRemover.bat"
extern const char* const kStartErrorFormat; // "Error!\n\nError starting \"%s\""

// 0 when the last 15 characters of the path are "QWUninstall.exe" in any case.
int IsUninstallerFile(const char* lastFifteen);
// Deletes the key under the root (1, 2, 3 as the registry helpers number them) with every key
// below it, depth first. A key that does not open counts as gone; a key that will not go ends the
// walk and is left with what remains. False when anything remains; an empty path deletes nothing.
bool DeleteRegistryKeyTree(int root, const CQWF_String& key);

class CUninstaller : public CQWF_FrameWork {
public:
    // What the uninstall knows of its product from its own package, never from the record: the
    // name of the data folder the setup makes in the user's application data and the name of the
    // product's shortcut group (the setup package's "Product>DefaultAdditionalFolder" and
    // "Product>DefaultShortcutGroupName", under the same keys). An empty name trusts nothing of
    // its kind.
    void SetProductNames(const CQWF_String& dataFolder, const CQWF_String& shortcutGroup);
    void ReadProductNames(CQWF_Storage& package);

    // Opens "Uninstall.conf" beside the program's own file (a Windows-style path); false when it
    // does not open or does not belong to the program's folder.
    bool OpenRecord(const CQWF_String& programFile);
    bool HasRecord() const { return m_record.IsOpen(); }
    // The dialog's text: the question with the product (or "program"), or kNoRecordText.
    CQWF_String GetInfoText();

    // The whole removal: the batch file written, the shortcuts, the registry entry, the batch
    // started. False, with the message for the user, when the batch file cannot be written
    // (nothing is removed then) or started.
    bool Uninstall(CQWF_String* failure = nullptr);

    // The steps, each usable alone.
    void RemoveShortcuts();
    bool RemoveRegistryEntry();
    // The batch text and the path it is written to: "QWRemover.bat" in the destination.
    void BuildBatch(CQWF_String& text, CQWF_String& path);
    // What stopped runs left beside the recorded files (the new files of a replacement, earlier
    // files under their hidden names).
    void RemoveLeftovers();

    const CQWF_String& GetDestination() const { return m_destination; }
    const CQWF_String& GetDataFolder() const { return m_dataFolder; }

private:
    bool TakeRecord(const CQWF_String& file, const CQWF_String& programFolder);
    bool MayDelete(const CQWF_String& path) const;
    // A link file the setup writes for the installation: its target is an installed file.
    bool IsInstallationLink(const CQWF_String& link) const;
    bool MayRemoveFolder(const CQWF_String& folder) const;
    // How far the keys of a family ("File_%u", "Shortcut_%u") are looked for: the count the
    // record gives, but no further than the record has keys.
    uint32_t KeyBound(const char* countKey);

    CQWF_Storage m_record;
    CQWF_String m_destination;  // the recorded destination, else the program's own folder
    CQWF_String m_dataFolder;   // the recorded data folder, may be empty
    CQWF_String m_dataFolderName;
    CQWF_String m_groupName;
};

}  // namespace qwuninstall
