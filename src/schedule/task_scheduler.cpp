#include "schedule/task_scheduler.h"

#include "outlook/inventory.h"
#include "platform/program_run.h"
#include "platform/system.h"
#include "schedule/scheduled_task.h"
#include "schedule/task_commands.h"
#include "schedule/task_password.h"

namespace kestrine::schedule {

namespace {

platform::ProgramRun RunSchtasks(const std::string& commandLine) {
    return platform::RunHiddenAndWait(platform::SystemFolder() + "\\schtasks.exe", commandLine);
}

}  // namespace

void RemoveOwnSharedTask() {
    const auto query = RunSchtasks(QueryTaskCommand(kSharedTaskName));
    if (!query.started || query.exitCode != 0 ||
        !TaskBelongsTo(query.output, platform::UserName(), platform::CurrentUserSid()))
        return;
    RunSchtasks(EndTaskCommand(kSharedTaskName));
    RunSchtasks(DeleteTaskCommand(kSharedTaskName));
}

TaskOutcome AddTask(const std::vector<std::string>& commands) {
    RemoveOwnSharedTask();
    platform::ProgramRun last;
    for (const auto& command : commands) last = RunSchtasks(command);
    return {last.started && last.exitCode == 0, last.started, last.exitCode, last.output};
}

TaskOutcome RemoveTask(const std::string& taskName) {
    RemoveOwnSharedTask();
    RunSchtasks(EndTaskCommand(taskName));
    const platform::ProgramRun last = RunSchtasks(DeleteTaskCommand(taskName));
    return {true, last.started, last.exitCode, last.output};
}

TaskQuery QueryScheduledTask(const std::string& taskName) {
    const platform::ProgramRun query = RunSchtasks(ListTaskCommand(taskName));
    // A task that does not exist is a failed query; so is a Task Scheduler that cannot answer.
    const bool exists = query.started && query.exitCode == 0;
    return {query.started, exists, exists ? ReadTaskQuery(query.output) : ScheduledTask{}};
}

SchedulerSetup SchedulerSetupFor(const outlook::Environment& env, const ProgramPaths& paths) {
    return {env.ProfileNames,
            paths.DefaultBackupFolder,
            paths.SettingsFile,
            platform::RunningProgramPath(),
            [&env](const std::string& profile) { return outlook::TakeInventory(env, profile); },
            TaskNameFor(platform::UserName()),
            ProtectForCurrentUser};
}

}  // namespace kestrine::schedule
