// Opening a document or a link "with the verb open": the desktop's opener is started detached,
// and its answer (shown or refused) is heard for a short while.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/qw_clock.h"

namespace qwp {

// What the desktop's opener said about a document or link it was given.
enum class ShellAnswer { Waiting, Shown, Refused };

// How long (milliseconds of the program's clock) the opener's answer is waited for; an opener
// still running then counts as having shown the target.
inline constexpr uint32_t kShellAnswerWait = 2000;

// What actually starts the opener and hears its answer; tests install a recording double.
class ShellOpener {
public:
    virtual ~ShellOpener() = default;
    // Starts the opener for `target`, a host path or a link; false when it could not start.
    virtual bool Start(const std::string& target) = 0;
    // The answer about the target last started, as far as it has come.
    virtual ShellAnswer Answer() = 0;
    // A descriptor that becomes readable when the answer may have come (-1: none).
    virtual int AnswerDescriptor() const { return -1; }
    // The answer is no longer waited for.
    virtual void Forget() {}
};

// Records every target and answers: `result` whether the opener starts, then `answer` once
// `answerAfter` milliseconds of the program's clock have passed since the start.
class RecordingShellOpener : public ShellOpener {
public:
    bool Start(const std::string& target) override
    {
        targets.push_back(target);
        m_started = TickCount64();
        return result;
    }
    ShellAnswer Answer() override
    {
        return TickCount64() - m_started >= answerAfter ? answer : ShellAnswer::Waiting;
    }
    std::vector<std::string> targets;
    bool result = true;
    ShellAnswer answer = ShellAnswer::Shown;
    uint64_t answerAfter = 0;

private:
    uint64_t m_started = 0;
};

// Opens a Windows-style path (mapped to the host path) or a link ("scheme:..." such as
// "https://..." or "mailto:..."), which passes unchanged. The opener's answer is waited for
// (kShellAnswerWait at most) while the windows are served (WindowSystem::ServeWindowsWhile).
// False when no opener could start or it refused the target.
bool ShellOpen(const char* pathOrLink);
// The link/path split used by ShellOpen: the target handed to the opener.
std::string ShellTarget(const char* pathOrLink);

// Installs an opener (null: the real one, which runs xdg-open detached). Returns the previous.
ShellOpener* SetShellOpener(ShellOpener* opener);

}  // namespace qwp
