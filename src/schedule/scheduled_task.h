#pragma once
// What the Task Scheduler says of the weekly task: read from the verbose list that
// "schtasks /query /fo LIST /v" prints, and told to the user in the scheduled-backup dialog.
#include <string>
#include <string_view>

namespace kestrine::schedule {

struct ScheduledTask {
    std::string days;       // "MON, WED" as the Task Scheduler writes them
    std::string startTime;  // "9:00:00 AM"
    std::string nextRun;
    std::string lastRun;
    std::string lastResult;  // the last run's exit code as printed, "267011" before the first run
    std::string profile;     // from the task's command line (its password is never kept)
    std::string archive;
    // The conditions the list shows, by their English labels only (a translated list's values
    // cannot be read): "Interactive only", and "Stop On Battery Mode, No Start On Batteries" for a
    // task that keeps the Task Scheduler's battery defaults (one made with a command line).
    std::string logonMode;
    std::string powerManagement;
    bool conditionsRead = false;  // the list named its power management
    // Whether the list said anything of the task at all (a Task Scheduler may answer without).
    bool Read() const { return !nextRun.empty() || !days.empty() || !archive.empty(); }
};

// The task's fields from the query's output. Fields are found by their English labels, or where
// those are translated, by their place in the list (the Task Scheduler always prints them in one
// order).
ScheduledTask ReadTaskQuery(std::string_view output);

// The task has not run since it was made or changed.
bool NeverRan(const ScheduledTask& task);
// The task does not start on battery power, or is stopped when the power goes to battery.
bool HeldByBattery(const ScheduledTask& task);

}  // namespace kestrine::schedule
