// Starting processes. A process is started detached (its own session; nobody waits for it), with
// its standard streams on /dev/null, optionally at the lowest priority. A command whose program is
// a batch file (".bat") runs in the batch runner of qw_batch.h in the new process; any other
// program is executed with the command line's further arguments.
#pragma once

#include <string>
#include <vector>

namespace qwp {

struct ProcessRequest {
    std::string commandLine;    // program path (Windows-style, quoted when it holds blanks), arguments
    std::string currentFolder;  // Windows-style; "\" is the root; empty keeps the caller's
    bool lowPriority = false;   // idle scheduling and the lowest nice value
};

// What actually starts a process; tests install a recording double.
class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    virtual bool Start(const ProcessRequest& request) = 0;
};

// Records every request and answers with `result`.
class RecordingProcessStarter : public ProcessStarter {
public:
    bool Start(const ProcessRequest& request) override
    {
        requests.push_back(request);
        return result;
    }
    std::vector<ProcessRequest> requests;
    bool result = true;
};

// True when the process was started.
bool StartProcess(const ProcessRequest& request);
// Installs a starter (null: the real one). Returns the previous.
ProcessStarter* SetProcessStarter(ProcessStarter* starter);

// The command line split as the system splits it: blanks separate arguments, double quotes group.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace qwp
