// The desktop's file, folder and colour chooser, run as a program of its own: zenity, or kdialog on a
// KDE desktop (or where zenity is missing). Requests carry Windows-style paths and Windows-1252
// texts; the command gets host paths and UTF-8, and the chosen host path comes back as a
// Windows-style path.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include "platform/qw_winsys.h"

namespace qwp {

enum class ChooserKind { Missing, Zenity, Kdialog };

struct ChooserProgram {
    ChooserKind kind = ChooserKind::Missing;
    std::string path;  // host path of the program
};

// The chooser of this desktop: kdialog first where XDG_CURRENT_DESKTOP names KDE (or
// KDE_FULL_SESSION is set), zenity first elsewhere; each looked up on PATH.
ChooserProgram FindChooser();

// The arguments (after the program's name) that run the chooser for a request.
std::vector<std::string> FileChooserArguments(ChooserKind kind, const FileChoiceRequest& request);
std::vector<std::string> FolderChooserArguments(ChooserKind kind, const FolderChoiceRequest& request);

// The arguments that run the colour chooser from the request's colour, titled "Color" when the
// request has no title, and its answer (zenity
// writes "rgb(R,G,B)" or "rgba(R,G,B,A)", kdialog "#RRGGBB") as red, green and blue; false, the
// bytes untouched, when the answer is none of these.
std::vector<std::string> ColorChooserArguments(ChooserKind kind, const ColorChoiceRequest& request);
bool ChosenColor(const std::string& output, uint8_t rgb[3]);

// The chooser's answer (its standard output) as a Windows-style path: the first line, "" when
// it is empty or not an absolute path.
std::string ChosenPath(const std::string& output);
// A saved file without an extension gets the request's default extension, as the system's save
// dialog does.
std::string WithDefaultExtension(const std::string& windowsPath, const std::string& extension);

// A chooser running as a child process, its standard output read through a pipe; the input is
// /dev/null and error messages are dropped.
class ChooserProcess {
public:
    ChooserProcess() = default;
    ~ChooserProcess();  // a process still running is ended
    ChooserProcess(const ChooserProcess&) = delete;
    ChooserProcess& operator=(const ChooserProcess&) = delete;

    // Starts the program with the arguments and DISPLAY set to `display` (when not empty).
    bool Start(const std::string& program, const std::vector<std::string>& arguments, const std::string& display);
    // The descriptor to wait on while the chooser runs (-1 once its output has ended; the
    // process may still run then).
    int OutputDescriptor() const { return m_output; }
    // Reads what is ready; true once the output has ended and the process has been waited for.
    bool Collect();
    // The exit status (0 chosen, 1 cancelled for both programs; -1 killed or not run).
    int ExitStatus() const { return m_status; }
    const std::string& Output() const { return m_text; }
    void Kill();

private:
    pid_t m_pid = -1;
    int m_output = -1;
    bool m_finished = false;
    int m_status = -1;
    std::string m_text;
};

}  // namespace qwp
