#include "program_run_stand_in.h"

#include "platform/posix_hooks.h"
#include "stand_in_answer.h"

namespace kestrine::platform {

namespace {

StandInAnswer<ProgramRunAnswer> g_answer;

[[maybe_unused]] const bool kInstalled = [] {
    Hooks().runHiddenAndWait = [](const std::string& programPath, const std::string& commandLine) {
        const ProgramRunAnswer answer = g_answer.Get();
        return answer ? answer(programPath, commandLine) : ProgramRun{};
    };
    return true;
}();

}  // namespace

void SetProgramRunAnswer(ProgramRunAnswer answer) {
    g_answer.Set(std::move(answer));
}

}  // namespace kestrine::platform
