#pragma once
// The last backup that was completed, as the activity log tells it: both the window's runs and the
// scheduled ones log there, so the log stays the one true record of it.
#include <string>
#include <vector>

namespace kestrine {

struct LastBackup {
    bool found = false;
    std::string when;  // the end line's time, as the log wrote it
    std::string file;  // the archive written
    bool checked = false;
    bool scheduled = false;  // written by the scheduled task's run
};

// The last run in `logEntries` (ReadLogEntries) that ended with its archive written.
LastBackup FindLastCompletedBackup(const std::vector<std::string>& logEntries);

}  // namespace kestrine
