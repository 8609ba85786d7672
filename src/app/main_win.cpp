// The program's entry. A non-empty command-line tail is the scheduled task's unattended backup;
// an empty one is the interactive program.
#include "app/app_state.h"
#include "platform/system.h"
#include "schedule/command_line.h"
#include "schedule/unattended.h"

int main() {
    std::string tail = kestrine::schedule::CommandLineTail(kestrine::platform::CommandLineText());
    kestrine::State().CommandLine = tail;
    if (!tail.empty()) return kestrine::schedule::RunUnattendedProgram(tail);
    return 0;
}
