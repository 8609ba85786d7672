// The program's entry. A non-empty command-line tail is the scheduled task's unattended backup;
// an empty one is the interactive program with its main window.
#include "app/app_state.h"
#include "app/startup.h"
#include "archive/zip_types.h"
#include "outlook/environment.h"
#include "platform/system.h"
#include "schedule/command_line.h"
#include "schedule/unattended.h"
#include "ui/win/main_window.h"

int main() {
    using namespace kestrine;
    platform::LoadDllsFromSystemFolderOnly();
    const std::string tail = schedule::CommandLineTail(platform::CommandLineText());
    if (!tail.empty()) return schedule::RunUnattendedProgram(tail, platform::ExeFolder());
    AppState state;
    const archive::ZipOptions zip;
    return ui::win::RunMainWindow({state, zip, [](AppState& facts) {
                                       GatherStartupFacts(facts, platform::ExeFolder());
                                       outlook::DetectEnvironment(facts.environment);
                                   }});
}
