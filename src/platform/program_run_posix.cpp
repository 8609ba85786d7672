// The POSIX twin of platform/program_run.h: the system programs it runs are Windows programs,
// which are not here.
#include "platform/program_run.h"

namespace kestrine::platform {

ProgramRun RunHiddenAndWait(const std::string&, const std::string&) {
    return {};
}

}  // namespace kestrine::platform
