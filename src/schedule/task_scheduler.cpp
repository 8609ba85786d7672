#include "schedule/task_scheduler.h"

#include "outlook/inventory.h"
#include "platform/program_run.h"
#include "platform/system.h"
#include "schedule/scheduled_task.h"
#include "schedule/task_commands.h"
#include "schedule/task_password_win.h"
#include "ui/backup_presenter.h"

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

TaskOutcome AddTask(const std::vector<std::string>& commands, const std::string& taskName) {
    RemoveOwnSharedTask();
    platform::ProgramRun last;
    for (const auto& command : commands) last = RunSchtasks(command);
    TaskOutcome outcome;
    outcome.done = last.started && last.exitCode == 0;
    if (outcome.done)
        outcome.message = {ScheduledMessage(taskName), platform::MessageIcon::Information};
    else
        outcome.message = {NotScheduledMessage(taskName, last.started, last.exitCode, last.output),
                           platform::MessageIcon::Critical};
    return outcome;
}

TaskOutcome RemoveTask(const std::string& taskName) {
    RemoveOwnSharedTask();
    RunSchtasks(EndTaskCommand(taskName));
    RunSchtasks(DeleteTaskCommand(taskName));
    return {true, {DeletedMessage(taskName), platform::MessageIcon::Information}};
}

std::string DescribeScheduledTask(const std::string& taskName, bool newFileEachRun) {
    const platform::ProgramRun query = RunSchtasks(ListTaskCommand(taskName));
    // A task that does not exist is a failed query; so is a Task Scheduler that cannot answer.
    const bool exists = query.started && query.exitCode == 0;
    return ScheduledTaskText(query.started, exists,
                             exists ? ReadTaskQuery(query.output) : ScheduledTask{},
                             newFileEachRun);
}

ui::ItemBoxes OfferedItems(const outlook::Environment& env, const std::string& profile) {
    ui::BackupTabModel tab;
    ui::ShowInventory(tab, outlook::TakeInventory(env, profile));
    return tab.items;
}

SchedulerSetup SchedulerSetupFor(const outlook::Environment& env, const ProgramPaths& paths) {
    return {env.ProfileNames,
            paths.DefaultBackupFolder,
            paths.SettingsFile,
            platform::RunningProgramPath(),
            [&env](const std::string& profile) { return OfferedItems(env, profile); },
            TaskNameFor(platform::UserName()),
            ProtectForCurrentUser};
}

}  // namespace kestrine::schedule
