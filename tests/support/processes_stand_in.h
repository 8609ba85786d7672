#pragma once
// The native tests' session: no program of the user's session runs and none is started, unless
// a test says otherwise. Tests set the programs that run, see which were ended and which command
// lines were started, and end the user's session. The POSIX twin of platform/processes.h asks
// these through platform/posix_hooks.h.
#include <string>
#include <vector>

namespace kestrine::platform {

struct StandInProcess {
    std::string path;  // the executable's full path
};

// Replaces the running programs (and forgets the started command lines).
void SetStandInProcesses(std::vector<StandInProcess> processes);
// The programs that still run.
std::vector<StandInProcess> StandInProcesses();
// The command lines StartProgram was given, in order.
std::vector<std::string> StartedPrograms();
// SleepUnlessSessionEnds answers false at once from now on (until told false again).
void EndStandInSession(bool ended = true);

}  // namespace kestrine::platform
