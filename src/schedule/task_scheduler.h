#pragma once
// Registering and removing the weekly task through the system's schtasks.exe, what the Task
// Scheduler says of it, and what the scheduled-backup dialog is opened with. It reports plain
// facts; the dialog words them.
#include <string>
#include <vector>

#include "app/program_paths.h"
#include "outlook/environment.h"
#include "schedule/scheduled_task.h"
#include "schedule/scheduler_setup.h"

namespace kestrine::schedule {

// What the Task Scheduler answered to the last command.
struct TaskOutcome {
    bool done = false;     // the command succeeded (a removal is always done)
    bool started = false;  // schtasks.exe could be started
    bool written = true;   // the task's definition could be written for schtasks to read
    unsigned long exitCode = 0;
    std::string output;  // what it printed
};

// What the Task Scheduler says of a task.
struct TaskQuery {
    bool queried = false;  // the Task Scheduler could be asked
    bool exists = false;   // it knows the task
    ScheduledTask task;
};

// Registers the task `taskName` from `definitionFile` (its definition's bytes), replacing a task
// of that name in one step: the file is written into a run folder of `tempFolder` (only the user
// can open it), handed to schtasks and removed again, also when registering failed. Only once the
// task is registered is the user's task of the shared name of earlier versions removed; when
// registering failed, every task stays as it was.
TaskOutcome RegisterTask(const std::string& taskName, const std::string& definitionFile,
                         const std::string& tempFolder);
// Starts the task `taskName` now.
TaskOutcome RunTaskNow(const std::string& taskName);
// Ends and deletes the task `taskName`, and the user's task of the shared name of earlier versions;
// the commands fail harmlessly when there is no task.
TaskOutcome RemoveTask(const std::string& taskName);
// Ends and deletes the task of the shared name only when it runs as the current user: on a computer
// that several people share it may be another user's.
void RemoveOwnSharedTask();

// What the Task Scheduler says of the task `taskName` now.
TaskQuery QueryScheduledTask(const std::string& taskName);

// What the dialog opens with in the running program: the profiles of `env` (which must outlive
// the dialog), the settings file and default backup folder of `paths`, the running executable
// as the program the task starts, the folder its definition is written in, the current user's
// task name, identity and password protection.
SchedulerSetup SchedulerSetupFor(const outlook::Environment& env, const ProgramPaths& paths);

}  // namespace kestrine::schedule
