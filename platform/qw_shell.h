// Opening a document or a link "with the verb open": the desktop's opener is started detached.
#pragma once

#include <string>
#include <vector>

namespace qwp {

// What actually starts the opener; tests install a recording double.
class ShellOpener {
public:
    virtual ~ShellOpener() = default;
    // `target` is a host path or a link. True when the opener was started.
    virtual bool Open(const std::string& target) = 0;
};

// Records every request and answers with `result`.
class RecordingShellOpener : public ShellOpener {
public:
    bool Open(const std::string& target) override
    {
        targets.push_back(target);
        return result;
    }
    std::vector<std::string> targets;
    bool result = true;
};

// Opens a Windows-style path (mapped to the host path) or a link ("scheme:..." such as
// "https://..." or "mailto:..."), which passes unchanged. True when the opener was started.
bool ShellOpen(const char* pathOrLink);
// The link/path split used by ShellOpen: the target handed to the opener.
std::string ShellTarget(const char* pathOrLink);

// Installs an opener (null: the real one, which runs xdg-open detached). Returns the previous.
ShellOpener* SetShellOpener(ShellOpener* opener);

}  // namespace qwp
