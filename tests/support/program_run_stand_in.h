#pragma once
// The native tests' system programs: none is here, so a test says what each one answers (its
// exit code and output) and sees the command lines it was started with.
#include <functional>
#include <string>

#include "platform/program_run.h"

namespace kestrine::platform {

// Answers RunHiddenAndWait from now on; none (the default) means no program could be started.
using ProgramRunAnswer =
    std::function<ProgramRun(const std::string& programPath, const std::string& commandLine)>;
void SetProgramRunAnswer(ProgramRunAnswer answer);

}  // namespace kestrine::platform
