#pragma once
// What the scheduled-backup dialog says: its refusals, what became of the task, and what the Task
// Scheduler says of it.
#include <string>
#include <string_view>

#include "schedule/task_scheduler.h"
#include "ui/message.h"

namespace kestrine::ui {

inline constexpr const char* kNoItemMessage = "Please select at least one item.";
inline constexpr const char* kNoFileMessage = "Invalid backup file name.";
inline constexpr const char* kNoPasswordMessage = "Please enter Password!";
inline constexpr const char* kPasswordsDifferMessage = "Incorect Password!";
inline constexpr const char* kStartTimeMessage =
    "Please enter the start time as a time of day, for example 9:00 or 21:30.";
inline constexpr const char* kRunNothingMessage =
    "Nothing is scheduled yet: add the task to the scheduler first, then run it.";
std::string UncarriedCharacterMessage(std::string_view what, char character);

std::string ScheduledMessage(std::string_view taskName);
// The create command failed: the Task Scheduler's own words when it gave any.
std::string NotScheduledMessage(std::string_view taskName, bool started, unsigned long exitCode,
                                std::string_view output);
std::string DeletedMessage(std::string_view taskName);

// What "Add Task to Scheduler" and "Disable" tell the user once the Task Scheduler has answered.
Message AddedTaskMessage(std::string_view taskName, const schedule::TaskOutcome& outcome);
Message RemovedTaskMessage(std::string_view taskName);
// What "Run Task Now" tells the user once the Task Scheduler has answered.
Message RanTaskMessage(std::string_view taskName, const schedule::TaskOutcome& outcome);

inline constexpr const char* kUnreadTaskText =
    "The Task Scheduler did not say what is scheduled; the Windows Task Scheduler shows it.";
inline constexpr const char* kNothingScheduledText =
    "Nothing is scheduled: no automatic backup runs until you add a task.";
// How the dialog tells whether and how the task runs. `newFileEachRun` is what the runs do with
// the archive name.
std::string ScheduledTaskText(const schedule::TaskQuery& query, bool newFileEachRun);

}  // namespace kestrine::ui
