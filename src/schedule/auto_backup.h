#pragma once
// The unattended backup run: every choice comes from the scheduled task's command line, nothing is
// shown, and the activity log is its only trace.
#include <string>

#include "app/app_state.h"

namespace kestrine::schedule {

struct AutoBackupResult {
    int exitStatus = 2;       // UnattendedExit
    bool refused = false;     // the command line was refused: nothing was done or logged
    std::string archivePath;  // the archive written (with the dated name when asked for)
    std::string itemFlags;
};

// Backs up as `state.CommandLine` says. Reads the item locations in `state` and sets `TargetFile`,
// `AccountsKey` and `ItemFlags`.
AutoBackupResult RunAutoBackup(AppState& state);

}  // namespace kestrine::schedule
