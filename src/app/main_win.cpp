// The program's entry. A non-empty command-line tail is the scheduled task's unattended backup;
// an empty one is the interactive program.
#include "platform/system.h"
#include "schedule/command_line.h"
#include "schedule/unattended.h"

int main() {
    using namespace kestrine;
    const std::string tail = schedule::CommandLineTail(platform::CommandLineText());
    if (!tail.empty()) return schedule::RunUnattendedProgram(tail, platform::ExeFolder());
    return 0;
}
