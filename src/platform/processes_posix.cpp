// The POSIX twin of platform/processes.h: no Windows session here, so the session's programs are
// what platform/posix_hooks.h says (none when it says nothing), and the engine's closing and
// starting of Outlook runs natively without touching a real process. Process ids are real.
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix_hooks.h"
#include "platform/processes.h"

namespace kestrine::platform {

bool StartProgram(const std::string& commandLine, ShowMode) {
    const auto& start = Hooks().startProgram;
    return start && start(commandLine);
}

std::vector<std::string> RunningInSession(const std::string& name) {
    const auto& running = Hooks().runningInSession;
    return running ? running(name) : std::vector<std::string>{};
}

int KillProcessByName(const std::string& name, uint32_t) {
    const auto& end = Hooks().endPrograms;
    return end ? end(name) : 0;
}

int WaitForProcessesToEnd(const std::string& name, uint32_t) {
    return static_cast<int>(RunningInSession(name).size());
}

bool SleepUnlessSessionEnds(uint32_t waitMs) {
    const auto& ended = Hooks().sessionEnded;
    // Short steps, so that a session ended meanwhile is seen soon.
    for (uint32_t slept = 0; !(ended && ended()); slept += 10) {
        if (slept >= waitMs) return true;
        ::usleep(10000);
    }
    return false;
}

void SessionEndRecorded() {}

uint32_t CurrentProcessId() {
    return static_cast<uint32_t>(::getpid());
}

bool ProcessIsRunning(uint32_t pid) {
    return pid != 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

}  // namespace kestrine::platform
