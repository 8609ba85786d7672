// The POSIX twin of platform/program_run.h: the system programs it runs are Windows programs,
// which are not here; none can be started unless platform/posix_hooks.h answers for it.
#include "platform/posix_hooks.h"
#include "platform/program_run.h"

namespace kestrine::platform {

ProgramRun RunHiddenAndWait(const std::string& programPath, const std::string& commandLine) {
    const auto& run = Hooks().runHiddenAndWait;
    return run ? run(programPath, commandLine) : ProgramRun{};
}

}  // namespace kestrine::platform
