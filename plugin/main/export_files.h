// Writing export files the way the save dialogs do once the user has chosen a name: one file, or
// a series of files whose names add a suffix before the extension. Every file is written as a new
// file that replaces the one of its name only once it was stored whole; after a failure the
// earlier file stays as it was and nothing new is left behind.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_fileseries.h"
#include "framework/core/qwf_string.h"

// Where the export and document code shows its failures (the main window's message box). The
// default shows nothing, so that the code runs without a window.
class CUserMessageSink {
public:
    virtual ~CUserMessageSink() = default;
    virtual void ShowMessage(const char* /*text*/, const char* /*caption*/) {}
};

// What the export windows count of the pieces or knives: all of them, the selected ones, the
// selected ones that are hidden, and the hidden ones.
struct ExportCounts {
    uint32_t total = 0;
    uint32_t selected = 0;
    uint32_t selectedHidden = 0;
    uint32_t hidden = 0;
    bool someSelected = false;
};

namespace qwexport {

inline constexpr const char* kErrorCaption = "Error!";
inline constexpr const char* kCannotWrite = "Cannot write file...";
inline constexpr const char* kNoMemory = "Memory allocation problem...";
inline constexpr const char* kCannotOpen = "Can't Open file for writing.\nChoose another location.";

// Writer callbacks: the opened file and the caller's context (and, for a series, the file's index).
using FileWriter = bool (*)(CQWF_StdFile* file, void* context);
using SeriesWriter = bool (*)(CQWF_StdFile* file, void* context, uint32_t index);

// Splits a Windows-style path at its last "." when that lies after the last folder separator
// ("\" or "/"): "C:\out\Puzzle.png" gives "C:\out\Puzzle" and ".png". Without such a "." the whole
// path is the base and the extension is "." and the default extension ("" when none is given).
void SplitFileName(const char* path, const char* defaultExtension, CQWF_String& base,
                   CQWF_String& extension);

// Shows a message when a sink is given.
void Tell(CUserMessageSink* sink, const char* text, const char* caption = kErrorCaption);

// Runs the writer on a new file that replaces the one at path. A file that cannot be created
// shows kCannotOpen; bytes that cannot all be stored show kCannotWrite; after any failure the
// earlier file is as it was. True when the file was written whole.
bool WriteFile(const CQWF_String& path, FileWriter writer, void* context, CUserMessageSink* sink);

// Writes one file per suffix: base + suffix i + extension (SplitFileName with the default
// extension), in order, stopping at the first file that cannot be created or written (its
// earlier file stays as it was; files already written stay). `written` receives the number of files written whole.
bool WriteFileSeries(const CQWF_String& path, const char* defaultExtension,
                     const CQWF_StringArray& suffixes, SeriesWriter writer, void* context,
                     CUserMessageSink* sink, uint32_t* written = nullptr);
// The same with a job that may write several files at once (qwf_fileseries.h); the series ends
// as it ends written one file after the other.
bool WriteFileSeries(const CQWF_String& path, const char* defaultExtension,
                     const CQWF_StringArray& suffixes, CQWF_FileSeriesJob& job,
                     CUserMessageSink* sink, uint32_t* written = nullptr);

}  // namespace qwexport
