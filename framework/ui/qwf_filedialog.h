// The system's open and save dialogs for the windows of the program: a filter list in the
// system's format, title, initial folder and name; the dialog runs modally over a window (whose
// owner chain is disabled meanwhile), checks the chosen file, or hands a new file in its place,
// opened, to a writer of the caller; the new file replaces the chosen one only when the writer
// succeeded and every byte was stored, so a failed save leaves an earlier file as it was.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_file.h"
#include "framework/core/qwf_fileseries.h"
#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_string.h"

class CQWF_Window;

// Writers get the opened file and the caller's context and answer true on success; a writer
// reports its own failures.
using QWF_FileWriter = bool (*)(CQWF_StdFile* file, void* context);
using QWF_FileSeriesWriter = bool (*)(CQWF_StdFile* file, void* context, int32_t index);

class CQWF_PlatformFileDialog : public CQWF_FrameWork {
public:
    static constexpr size_t kFilterBufferSize = 1000;
    // Longest initial file name of the save dialogs.
    static constexpr size_t kMaxFileName = 259;

    CQWF_PlatformFileDialog();
    ~CQWF_PlatformFileDialog() override;
    CQWF_PlatformFileDialog(const CQWF_PlatformFileDialog&) = delete;
    CQWF_PlatformFileDialog& operator=(const CQWF_PlatformFileDialog&) = delete;

    // Appends a filter (extensions without the dot); a filter that would fill the buffer to 998
    // bytes or more is dropped. The first extension of the last filter added is the default
    // extension.
    void AddFilter(const char* description, const CQWF_StringArray& extensions);
    void AddFilter(const char* description, const char* extension);
    void SetTitle(const char* title) { m_title = title ? title : ""; }
    void SetFileName(const char* name) { m_fileName = name ? name : ""; }
    // The initial folder: the module's folder, the subfolder and a backslash.
    bool SetInitialDirToModule(const char* subfolder);
    // The mode the save dialogs open their files in (CQWF_StdFile modes; 4, reading and
    // writing, unless set).
    void SetWriteMode(int mode) { m_writeMode = mode; }

    // Runs the open dialog; true when an accessible file was chosen (GetChosenPath). The type
    // and creator codes of other systems are not used here.
    bool Open(CQWF_Window* window, uint32_t type = 0, uint32_t creator = 0);
    bool OpenChosenFile(CQWF_StdFile& file, int mode);
    // Runs the save dialog, opens the chosen file and calls the writer; the writer's result.
    bool Save(QWF_FileWriter writer, void* context, CQWF_Window* window, uint32_t type = 0, uint32_t creator = 0);
    // One save dialog, then one file per suffix: the chosen name's part before its extension,
    // the suffix and the extension; writer(file, context, index) for each in order. Stops at a
    // file that cannot be opened or whose writer fails; true when every file was written.
    bool SaveMultiple(const CQWF_StringArray& suffixes, QWF_FileSeriesWriter writer, void* context,
                      CQWF_Window* window, uint32_t type = 0, uint32_t creator = 0);
    // The same with a job that may write several files at once (qwf_fileseries.h); the files
    // take their names in order, and the series ends as it ends written one after the other.
    bool SaveMultiple(const CQWF_StringArray& suffixes, CQWF_FileSeriesJob& job, CQWF_Window* window,
                      uint32_t type = 0, uint32_t creator = 0);

    const CQWF_String& GetChosenPath() const { return m_chosen; }
    const CQWF_String& GetDefaultExtension() const { return m_defaultExtension; }
    const CQWF_String& GetInitialDir() const { return m_initialDir; }
    // The filter list as the system takes it, and its bytes in use.
    const CQWF_Mem& GetFilterBuffer() const { return m_filters; }
    size_t GetFilterBytes() const { return m_filterUsed; }

private:
    bool RunDialog(bool save, CQWF_Window* window);
    // Runs the writer on a new file that replaces the one at path once written whole.
    bool WriteOne(const CQWF_String& path, QWF_FileWriter writer, void* context);

    CQWF_Mem m_filters;
    size_t m_filterUsed = 0;
    CQWF_String m_initialDir;
    CQWF_String m_fileName;
    CQWF_String m_title;
    CQWF_String m_chosen;
    CQWF_String m_defaultExtension;
    int m_writeMode = CQWF_StdFile::kModeCreateReadWrite;
};
