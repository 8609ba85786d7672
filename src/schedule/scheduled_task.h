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
    // Whether the list said anything of the task at all (a Task Scheduler may answer without).
    bool Read() const { return !nextRun.empty() || !days.empty() || !archive.empty(); }
};

// The task's fields from the query's output. Fields are found by their English labels, or where
// those are translated, by their place in the list (the Task Scheduler always prints them in one
// order).
ScheduledTask ReadTaskQuery(std::string_view output);

// The task has not run since it was made or changed.
bool NeverRan(const ScheduledTask& task);

}  // namespace kestrine::schedule
