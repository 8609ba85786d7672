// The program's entry. A non-empty command-line tail is the scheduled task's unattended backup;
// an empty one is the interactive program with its main window.
#include "app/app_state.h"
#include "app/startup.h"
#include "outlook/environment.h"
#include "platform/system.h"
#include "schedule/command_line.h"
#include "schedule/unattended.h"
#include "ui/win/main_window.h"

int main() {
    using namespace kestrine;
    std::string tail = schedule::CommandLineTail(platform::CommandLineText());
    State().CommandLine = tail;
    if (!tail.empty()) return schedule::RunUnattendedProgram(tail);
    return ui::win::RunMainWindow({State(), [](AppState& state) {
                                       GatherStartupFacts(state);
                                       outlook::DetectEnvironment(state);
                                   }});
}
