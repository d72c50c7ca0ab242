#include "platform/qw_process.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <strings.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/qw_batch.h"
#include "platform/qw_paths.h"

namespace qwp {
namespace {

bool IsBatch(const std::string& program)
{
    return program.size() > 4 && strcasecmp(program.c_str() + program.size() - 4, ".bat") == 0;
}

class RealStarter : public ProcessStarter {
public:
    bool Start(const ProcessRequest& request) override
    {
        std::vector<std::string> args = SplitCommandLine(request.commandLine);
        if (args.empty()) return false;
        bool batch = IsBatch(args[0]);
        // Everything the child needs is prepared before forking.
        std::string program = ToHostPath(args[0].c_str());
        if (!batch && ::access(program.c_str(), X_OK) != 0) return false;
        if (batch && !FileExists(args[0].c_str())) return false;
        std::string folder = request.currentFolder.empty() ? std::string()
                             : request.currentFolder == "\\" ? std::string("/")
                                                             : ToHostPath(request.currentFolder.c_str());
        std::vector<std::string> hostArgs;
        hostArgs.push_back(program);
        for (size_t i = 1; i < args.size(); ++i) hostArgs.push_back(args[i]);
        std::vector<char*> argv;
        for (std::string& a : hostArgs) argv.push_back(a.data());
        argv.push_back(nullptr);

        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
        pid_t child = ::fork();
        if (child < 0) {
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
            return false;
        }
        if (child == 0) {
            ::close(pipeFds[0]);
            ::setsid();
            pid_t grandchild = ::fork();
            if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
            int devnull = ::open("/dev/null", O_RDWR);
            if (devnull >= 0) {
                ::dup2(devnull, 0);
                ::dup2(devnull, 1);
                ::dup2(devnull, 2);
                if (devnull > 2) ::close(devnull);
            }
            // A byte on the pipe tells the caller that the start failed; a pipe closed without
            // one (by the exec, or before the batch runs) that it succeeded.
            char failed = 1;
            if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
                (void)!::write(pipeFds[1], &failed, 1);
                _exit(126);
            }
            if (request.lowPriority) {
                struct sched_param param;
                std::memset(&param, 0, sizeof param);
                ::sched_setscheduler(0, SCHED_IDLE, &param);
                ::setpriority(PRIO_PROCESS, 0, 19);
            }
            if (batch) {
                ::close(pipeFds[1]);
                _exit(RunBatchFile(args[0].c_str()) ? 0 : 1);
            }
            ::execv(argv[0], argv.data());
            (void)!::write(pipeFds[1], &failed, 1);
            _exit(127);
        }
        ::close(pipeFds[1]);
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        bool firstOk = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        char byte = 0;
        ssize_t n = 0;
        if (firstOk) {
            while ((n = ::read(pipeFds[0], &byte, 1)) < 0 && errno == EINTR) {
            }
        }
        ::close(pipeFds[0]);
        return firstOk && n == 0;
    }
};

RealStarter g_real;
ProcessStarter* g_starter = nullptr;

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine)
{
    std::vector<std::string> args;
    std::string current;
    bool quoted = false, any = false;
    for (char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any) args.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any) args.push_back(current);
    return args;
}

bool StartProcess(const ProcessRequest& request)
{
    return (g_starter ? g_starter : &g_real)->Start(request);
}

ProcessStarter* SetProcessStarter(ProcessStarter* starter)
{
    ProcessStarter* previous = g_starter;
    g_starter = starter;
    return previous;
}

}  // namespace qwp
