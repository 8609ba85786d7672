#pragma once
// What the main window's controls do: each command takes the window's model, the program's state
// and the zip component, asks and tells the user through platform/messages.h, and runs the engine.
#include <string>

#include "app/app_state.h"
#include "archive/zip_component.h"
#include "backup/backup_run.h"
#include "restore/open_backup.h"
#include "restore/restore_run.h"
#include "ui/main_window_model.h"

namespace kestrine::ui {

// The source profile list's selection (and start-up's first profile): the profile's item locations
// go into `state`, the backup list shows what can be backed up with every tick cleared, and a dated
// archive name is proposed when the settings ask for it.
void SelectSourceProfile(BackupTabModel& tab, AppState& state);

struct BackupNowResult {
    bool started = false;  // false: refused (a message said why) or a run is under way
    backup::BackupResult result;
};
// "Backup Now": checks the choices, may close Outlook, runs the backup into `state.TargetFile`
// with the progress panel following it, shows the outcome in one message, then may start Outlook
// and open the archive's folder, as the settings say.
BackupNowResult BackupNow(MainWindowModel& window, AppState& state, archive::ZipComponent& zip);

// The source-file button: the file dialog, the password when the archive asks for one, the archive
// shown on the Restore tab and recorded in `state`. The archive stays open in `zip` after a valid
// open; whenever no valid backup ends up open, NoSourceFile is true.
enum class OpenOutcome { Cancelled, WrongPassword, Invalid, Opened };
OpenOutcome OpenBackupFile(RestoreTabModel& tab, AppState& state, archive::ZipComponent& zip);

struct RestoreNowResult {
    bool ran = false;  // false: refused (a message said why)
    restore::RestoreResult result;
};
// "Restore Now" (the apply button asks ConfirmRestoreMessage first): restores the ticked items of
// the open archive into the Restore tab's target profile, shows the summary, may start Outlook.
RestoreNowResult RestoreNow(MainWindowModel& window, const AppState& state,
                            archive::ZipComponent& zip);

}  // namespace kestrine::ui
