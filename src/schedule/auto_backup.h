#pragma once
// The unattended backup run: every choice comes from the scheduled task's command line, nothing is
// shown, and the activity log is its only trace.
#include <chrono>
#include <string>

#include "app/app_state.h"
#include "archive/zip_types.h"
#include "schedule/outlook_wait.h"

namespace kestrine::schedule {

struct AutoBackupResult {
    int exitStatus = 2;       // UnattendedExit
    bool refused = false;     // the command line was refused: only that was logged
    std::string archivePath;  // the archive written (with the dated name when asked for)
    std::string itemFlags;
};

// How long a scheduled backup waits for a backup or restore that works when it starts.
inline constexpr std::chrono::minutes kUnattendedWaitForOtherRun{60};

// Backs up as `state.CommandLine` says, from the profile it names (whose item locations the
// profile inventory finds) with the start-up facts of `state`, and checks the archive when the
// settings ask for it. A refused command line leaves one log line saying why. When Outlook holds
// the chosen data files open, the run first waits for it on `clock` (WaitForOutlookToLetGo).
AutoBackupResult RunAutoBackup(
    const AppState& state, const archive::ZipOptions& zip,
    std::chrono::milliseconds waitForOtherRun = kUnattendedWaitForOtherRun,
    const WaitClock& clock = SystemWaitClock());

}  // namespace kestrine::schedule
