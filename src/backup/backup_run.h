#pragma once
// The interactive backup: what "Backup Now" runs on the backup tab.
#include <string>

#include "app/app_state.h"
#include "ui/main_window_model.h"

namespace kestrine::backup {

struct BackupRunResult {
    bool started = false;  // false: refused by a check (a message said why) or already running
    bool written = false;  // the archive is complete and in place
    std::string itemFlags;
};

// Checks the choices of the backup tab, writes the archive of the chosen items to `TargetFile`,
// logs the run and reports it in one message; then may start Outlook and open the archive's folder.
BackupRunResult RunBackup(ui::MainWindowModel& window, AppState& state);
// The same on the program's main window and state.
BackupRunResult RunBackup();

}  // namespace kestrine::backup
