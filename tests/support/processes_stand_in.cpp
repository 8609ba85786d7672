#include "processes_stand_in.h"

#include <atomic>
#include <mutex>

#include "base/path.h"
#include "base/text.h"
#include "platform/posix_hooks.h"

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

std::vector<std::string> Running(const std::string& name) {
    Session& session = TheSession();
    const std::lock_guard lock(session.mutex);
    std::vector<std::string> paths;
    for (const auto& process : session.running)
        if (Named(process, name)) paths.push_back(process.path);
    return paths;
}

int End(const std::string& name) {
    Session& session = TheSession();
    const std::lock_guard lock(session.mutex);
    return static_cast<int>(std::erase_if(
        session.running, [&](const StandInProcess& process) { return Named(process, name); }));
}

bool Start(const std::string& commandLine) {
    Session& session = TheSession();
    const std::lock_guard lock(session.mutex);
    session.started.push_back(commandLine);
    return true;
}

[[maybe_unused]] const bool kInstalled = [] {
    PosixHooks& hooks = Hooks();
    hooks.runningInSession = Running;
    hooks.endPrograms = End;
    hooks.startProgram = Start;
    hooks.sessionEnded = [] { return TheSession().ended.load(); };
    return true;
}();

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

void EndStandInSession(bool ended) {
    TheSession().ended = ended;
}

}  // namespace kestrine::platform
