// The POSIX twin of platform/processes.h: the session's programs are stand-ins a test sets
// (platform/processes_stand_in.h), so the engine's closing and starting of Outlook runs natively
// without touching a real process. Process ids are real.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "base/path.h"
#include "base/text.h"
#include "platform/processes.h"
#include "platform/processes_stand_in.h"

namespace kestrine::platform {

namespace {

struct Session {
    std::mutex mutex;
    std::vector<StandInProcess> running;
    std::vector<std::string> started;
    std::atomic<bool> ended{false};  // the user's session ended
};

Session& TheSession() {
    static Session session;
    return session;
}

bool Named(const StandInProcess& process, const std::string& name) {
    return base::EqualsNoCase(base::BaseName(process.path), name);
}

// Ends the stand-ins named `name` that `ends` picks; how many ended.
template <class Ends>
int EndWhere(const std::string& name, Ends ends) {
    Session& session = TheSession();
    const std::lock_guard lock(session.mutex);
    int ended = 0;
    std::erase_if(session.running, [&](const StandInProcess& process) {
        const bool end = Named(process, name) && ends(process);
        ended += end ? 1 : 0;
        return end;
    });
    return ended;
}

}  // namespace

void SetStandInProcesses(std::vector<StandInProcess> processes) {
    Session& session = TheSession();
    const std::lock_guard lock(session.mutex);
    session.running = std::move(processes);
    session.started.clear();
}

std::vector<StandInProcess> StandInProcesses() {
    Session& session = TheSession();
    const std::lock_guard lock(session.mutex);
    return session.running;
}

std::vector<std::string> StartedPrograms() {
    Session& session = TheSession();
    const std::lock_guard lock(session.mutex);
    return session.started;
}

bool StartProgram(const std::string& commandLine, ShowMode) {
    Session& session = TheSession();
    const std::lock_guard lock(session.mutex);
    session.started.push_back(commandLine);
    return true;
}

std::vector<std::string> RunningInSession(const std::string& name) {
    Session& session = TheSession();
    const std::lock_guard lock(session.mutex);
    std::vector<std::string> paths;
    for (const auto& process : session.running)
        if (Named(process, name)) paths.push_back(process.path);
    return paths;
}

int KillProcessByName(const std::string& name, uint32_t) {
    return EndWhere(name, [](const StandInProcess&) { return true; });
}

int WaitForProcessesToEnd(const std::string& name, uint32_t) {
    return static_cast<int>(RunningInSession(name).size());
}

void EndStandInSession(bool ended) {
    TheSession().ended = ended;
}

bool SleepUnlessSessionEnds(uint32_t waitMs) {
    // Short steps, so that a session ended meanwhile is seen soon.
    for (uint32_t slept = 0; !TheSession().ended; slept += 10) {
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
