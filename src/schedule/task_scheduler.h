#pragma once
// Registering and removing the weekly task through the system's schtasks.exe, and what the
// scheduled-backup dialog needs to know of the profiles.
#include <string>
#include <vector>

#include "app/program_paths.h"
#include "outlook/environment.h"
#include "ui/scheduler_model.h"
#include "ui/main_window_model.h"
#include "ui/message.h"

namespace kestrine::schedule {

struct TaskOutcome {
    bool done = false;  // the create command succeeded (a removal is always done)
    ui::Message message;
};

// Removes the user's task of the shared name of earlier versions, then runs `commands` (end,
// delete, create) one after the other, each to its end; the outcome is the create command's: the
// task `taskName` exists only when it succeeded.
TaskOutcome AddTask(const std::vector<std::string>& commands, const std::string& taskName);
// Ends and deletes the task `taskName`, and the user's task of the shared name of earlier versions;
// the commands fail harmlessly when there is no task.
TaskOutcome RemoveTask(const std::string& taskName);
// Ends and deletes the task of the shared name only when it runs as the current user: on a computer
// that several people share it may be another user's.
void RemoveOwnSharedTask();

// What the Task Scheduler says of the task `taskName` now: the text the dialog shows.
// `newFileEachRun` is what the runs do with the archive name.
std::string DescribeScheduledTask(const std::string& taskName, bool newFileEachRun);

// The items the profile inventory offers for `profile`, as the backup list shows them.
ui::ItemBoxes OfferedItems(const outlook::Environment& env, const std::string& profile);

// What the dialog opens with in the running program: the profiles of `env` (which must outlive
// the dialog), the settings file and default backup folder of `paths`, the running executable
// as the program the task starts, the current user's task name and password protection.
SchedulerSetup SchedulerSetupFor(const outlook::Environment& env, const ProgramPaths& paths);

}  // namespace kestrine::schedule
