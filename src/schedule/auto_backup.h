#pragma once
// The unattended backup run: every choice comes from the scheduled task's command line, nothing is
// shown, and the activity log is its only trace.
#include <string>

#include "app/app_state.h"
#include "archive/zip_component.h"

namespace kestrine::schedule {

struct AutoBackupResult {
    int exitStatus = 2;       // UnattendedExit
    bool refused = false;     // the command line was refused: nothing was done or logged
    std::string archivePath;  // the archive written (with the dated name when asked for)
    std::string itemFlags;
};

// Backs up as `state.CommandLine` says, from the profile it names (whose item locations the
// profile inventory finds) with the start-up facts of `state`.
AutoBackupResult RunAutoBackup(const AppState& state, archive::ZipComponent& zip);

}  // namespace kestrine::schedule
