// The batch runner: runs the batch files our programs write (the uninstall's clean-up) without a
// command interpreter. It understands exactly these lines, with keywords in any case, lines ending
// in a carriage return and line feed or a line feed alone, and paths in double quotes with "%"
// written as "%%":
//   :LABEL                           a label
//   del "PATH"                       deletes a file (not a folder; no wildcards)
//   rmdir "PATH"                     removes an empty folder
//   if exist "PATH" goto LABEL       jumps to the label when the path exists
// A failing del or rmdir goes on with the next line, as the command interpreter does. A goto looks
// for its label below the line first, then from the top. A jump back is retried at most
// `kMaxRetries` times, about 50 ms apart; after that the condition counts as false so that the
// rest of the file still runs. Any other line ends the run with an error before it does anything.
#pragma once

#include <string>

namespace qwp {
constexpr int kMaxBatchRetries = 600;

// Runs the batch file at the Windows-style path. False, with the reason and the line number, when
// the file cannot be read or holds a line the runner does not understand (nothing is run then),
// or a goto names a missing label (the run ends there).
bool RunBatchFile(const char* windowsPath, std::string* error = nullptr);
// The same over the text of a file.
bool RunBatchText(const std::string& text, std::string* error = nullptr);
}  // namespace qwp
