// The uninstall program without its window: finds and reads the uninstall record, asks its
// question, and removes what the setup recorded: the shortcuts it made, its uninstall registry
// entry, and through the batch file "QWRemover.bat" the installed files and the created folders.
//
// It deletes only what the record lists, only inside the recorded destination and data folders:
// file paths outside them, with ".." parts or in any other form are left out of the batch file;
// only the links the setup recorded are deleted, and their group folder only when the setup made
// it and it is empty; the registry entry only when it names this uninstall program.
#pragma once

#include "framework/core/qwf_storage.h"
#include "framework/core/qwf_string.h"

namespace qwuninstall {

extern const char* const kQuestionFormat;   // "Do you want to uninstall\n%s?"
extern const char* const kNoRecordText;     // "Cannot open uninstall script..."
extern const char* const kWindowTitle;      // "Quarrow. Setup 2.5 (Uninstall)"
extern const char* const kBatchName;        // "QWRemover.bat"

// 0 when the last 15 characters of the path are "QWUninstall.exe" in any case.
int IsUninstallerFile(const char* lastFifteen);
// Deletes the key under the root (1, 2, 3 as the registry helpers number them) with every key
// below it, depth first. A key that does not open counts as gone; a key that will not go ends the
// walk and is left with what remains. False when anything remains; an empty path deletes nothing.
bool DeleteRegistryKeyTree(int root, const CQWF_String& key);

class CUninstaller : public CQWF_FrameWork {
public:
    // Opens "Uninstall.conf" from the current folder, else from the folder of the program's own
    // file (a Windows-style path); false when neither opens.
    bool OpenRecord(const CQWF_String& programFile);
    bool HasRecord() const { return m_record.IsOpen(); }
    // The dialog's text: the question with the product (or "program"), or kNoRecordText.
    CQWF_String GetInfoText();

    // The whole removal: shortcuts, the registry entry, then the batch file written and started.
    void Uninstall();

    // The steps, each usable alone.
    void RemoveShortcuts();
    bool RemoveRegistryEntry();
    // The batch text and the path it is written to.
    void BuildBatch(CQWF_String& text, CQWF_String& path);
    // Writes the batch file and starts it detached at low priority; false when either fails.
    bool WriteAndStartBatch();

    const CQWF_String& GetDestination() const { return m_destination; }
    const CQWF_String& GetDataFolder() const { return m_dataFolder; }

private:
    bool MayDelete(const CQWF_String& path) const;
    bool MayRemoveFolder(const CQWF_String& folder) const;

    CQWF_Storage m_record;
    CQWF_String m_destination;  // the recorded destination, else the record's own folder
    CQWF_String m_dataFolder;   // the recorded data folder, may be empty
};

}  // namespace qwuninstall
