#pragma once
// The last backup that was completed, and how the last scheduled run went, as the activity log
// tells it: both the window's runs and the scheduled ones log there, so the log stays the one true
// record of them.
#include <string>
#include <vector>

namespace kestrine {

struct LastBackup {
    bool found = false;
    std::string when;  // the end line's time, as the log wrote it
    std::string file;  // the archive written
    bool checked = false;
    bool scheduled = false;  // written by the scheduled task's run
    bool complete = false;   // no item of it failed
};

// The last run in `logEntries` (ReadLogEntries) that ended with its archive written.
LastBackup FindLastCompletedBackup(const std::vector<std::string>& logEntries);

// The last scheduled run, and the newest one that wrote every item it was asked for.
struct ScheduledRuns {
    bool found = false;       // the log holds a scheduled run
    bool failed = false;      // the last one did not back up every item
    std::string when;         // when the last one began (or was refused)
    std::string what;         // what failed: the items, or that nothing was written
    std::string why;          // the causes the log gives, one a line
    LastBackup lastComplete;  // found = false when no scheduled run wrote a complete backup
};
ScheduledRuns FindScheduledRuns(const std::vector<std::string>& logEntries);

}  // namespace kestrine
