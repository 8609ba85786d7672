// The POSIX twin of platform/program_run.h: the system programs it runs are Windows programs,
// which are not here; a test answers for them (program_run_stand_in.h).
#include "platform/program_run.h"
#include "platform/program_run_stand_in.h"
#include "platform/stand_in_answer.h"

namespace kestrine::platform {

namespace {

StandInAnswer<ProgramRunAnswer> g_answer;

}  // namespace

void SetProgramRunAnswer(ProgramRunAnswer answer) {
    g_answer.Set(std::move(answer));
}

ProgramRun RunHiddenAndWait(const std::string& programPath, const std::string& commandLine) {
    const ProgramRunAnswer answer = g_answer.Get();
    return answer ? answer(programPath, commandLine) : ProgramRun{};
}

}  // namespace kestrine::platform
