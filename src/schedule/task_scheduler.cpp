#include "schedule/task_scheduler.h"

#include "app/run_folder.h"
#include "base/path.h"
#include "outlook/inventory.h"
#include "platform/file_stream.h"
#include "platform/program_run.h"
#include "platform/system.h"
#include "schedule/scheduled_task.h"
#include "schedule/task_commands.h"
#include "schedule/task_password.h"

namespace kestrine::schedule {

namespace {

namespace fileio = platform::fileio;

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

TaskOutcome RegisterTask(const std::string& taskName, const std::string& definitionFile,
                         const std::string& tempFolder) {
    TaskOutcome outcome;
    RunFolder folder(tempFolder);
    const std::string path =
        folder.Path().empty() ? std::string() : base::JoinPath(folder.Path(), "task.xml");
    bool written = false;
    if (!path.empty()) {
        auto file = fileio::CreateNew(path);
        written =
            file && file->Write(definitionFile.data(), definitionFile.size()) && file->Flush();
    }
    if (!written) {
        if (!path.empty()) fileio::RemoveFile(path);
        outcome.written = false;
        return outcome;
    }
    const platform::ProgramRun create = RunSchtasks(CreateFromDefinitionCommand(taskName, path));
    fileio::RemoveFile(path);
    outcome = {create.started && create.exitCode == 0, create.started, true, create.exitCode,
               create.output};
    if (outcome.done && taskName != kSharedTaskName) RemoveOwnSharedTask();
    return outcome;
}

TaskOutcome RunTaskNow(const std::string& taskName) {
    const platform::ProgramRun run = RunSchtasks(RunTaskCommand(taskName));
    return {run.started && run.exitCode == 0, run.started, true, run.exitCode, run.output};
}

TaskOutcome RemoveTask(const std::string& taskName) {
    RemoveOwnSharedTask();
    RunSchtasks(EndTaskCommand(taskName));
    const platform::ProgramRun last = RunSchtasks(DeleteTaskCommand(taskName));
    return {true, last.started, true, last.exitCode, last.output};
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
            ProtectForCurrentUser,
            paths.TempFolder,
            platform::CurrentUserSid().empty() ? platform::UserName() : platform::CurrentUserSid(),
            ReadPolicies(paths.Policy)};
}

}  // namespace kestrine::schedule
