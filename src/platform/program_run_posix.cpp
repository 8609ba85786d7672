// The POSIX twin of platform/program_run.h: the system programs it runs are Windows programs,
// which are not here; a test answers for them (program_run_stand_in.h).
#include <mutex>

#include "platform/program_run.h"
#include "platform/program_run_stand_in.h"

namespace kestrine::platform {

namespace {

std::mutex g_lock;
ProgramRunAnswer g_answer;

}  // namespace

void SetProgramRunAnswer(ProgramRunAnswer answer) {
    const std::lock_guard<std::mutex> hold(g_lock);
    g_answer = std::move(answer);
}

ProgramRun RunHiddenAndWait(const std::string& programPath, const std::string& commandLine) {
    ProgramRunAnswer answer;
    {
        const std::lock_guard<std::mutex> hold(g_lock);
        answer = g_answer;
    }
    return answer ? answer(programPath, commandLine) : ProgramRun{};
}

}  // namespace kestrine::platform
