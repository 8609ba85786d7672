#include "schedule/unattended.h"

#include "app/activity_log.h"
#include "app/app_state.h"
#include "app/startup.h"
#include "outlook/detection.h"
#include "outlook/environment.h"
#include "platform/messages.h"
#include "platform/system.h"
#include "schedule/auto_backup.h"
#include "schedule/failure_notice.h"
#include "schedule/task_password.h"

namespace kestrine::schedule {

int RunUnattendedProgram(const std::string& commandLine, const std::string& appFolder) {
    // A scheduled run must never wait on a dialog: every message is answered at once.
    platform::SetMessageHandler(
        [](const platform::MessageRequest&) { return platform::MessageAnswer::Ok; });
    AppState state;
    GatherStartupFacts(state, appFolder);
    state.CommandLine = commandLine;
    outlook::DetectEnvironment(state.environment);
    if (state.environment.NoProfiles) {
        // The interactive program shows this; the unattended one leaves it in the log instead.
        WriteLog(state.paths.LogFile, platform::NowText() + " " + outlook::kNoProfileText + "\n");
    }
    const archive::ZipOptions zip;
    const int status = RunAutoBackup(state, zip).exitStatus;
    Wipe(state.CommandLine);  // a task of an earlier version has its password in it
    NoticeFailedRun(state.paths, status);
    return status;
}

}  // namespace kestrine::schedule
