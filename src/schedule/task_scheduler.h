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
    bool done = false;     // the create command succeeded (a removal is always done)
    bool started = false;  // schtasks.exe could be started
    unsigned long exitCode = 0;
    std::string output;  // what it printed
};

// What the Task Scheduler says of a task.
struct TaskQuery {
    bool queried = false;  // the Task Scheduler could be asked
    bool exists = false;   // it knows the task
    ScheduledTask task;
};

// Removes the user's task of the shared name of earlier versions, then runs `commands` (end,
// delete, create) one after the other, each to its end; the outcome is the create command's: the
// task exists only when it succeeded.
TaskOutcome AddTask(const std::vector<std::string>& commands);
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
// as the program the task starts, the current user's task name and password protection.
SchedulerSetup SchedulerSetupFor(const outlook::Environment& env, const ProgramPaths& paths);

}  // namespace kestrine::schedule
