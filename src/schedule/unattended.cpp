#include "schedule/unattended.h"

#include "app/activity_log.h"
#include "app/app_state.h"
#include "app/startup.h"
#include "outlook/environment.h"
#include "platform/messages.h"
#include "platform/system.h"
#include "schedule/auto_backup.h"
#include "schedule/command_line.h"

namespace kestrine::schedule {

int RunUnattendedProgram(const std::string& commandLine) {
    // A scheduled run must never wait on a dialog: every message is answered at once.
    platform::SetMessageHandler(
        [](const platform::MessageRequest&) { return platform::MessageAnswer::Ok; });
    AppState& state = State();
    GatherStartupFacts(state);
    state.CommandLine = commandLine;
    outlook::DetectEnvironment(state);
    if (state.NoProfiles) {
        // The interactive program shows this; the unattended one leaves it in the log instead.
        Log(platform::NowText() +
            " Your Windows System have not install MS Outlook or MS Outlook Error!\n");
    }
    auto command = ParseUnattendedTail(commandLine);
    if (command.ok()) outlook::ComputeLocations(state, command.profile);
    return RunAutoBackup(state).exitStatus;
}

}  // namespace kestrine::schedule
