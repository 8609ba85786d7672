#pragma once
// Opening a backup file on the Restore tab: the file dialog, the password, the manifest read into
// the information boxes and AppState, and the restore list entries of the items the archive holds.
#include "app/app_state.h"
#include "archive/zip_component.h"
#include "ui/main_window_model.h"

namespace kestrine::restore {

// The password dialog's effect: OK sets EnteredPassword exactly as typed (an empty box included);
// Cancel keeps the password of the previous confirmed entry.
void AskForPassword(AppState& state);

enum class OpenOutcome {
    Cancelled,      // no file chosen
    WrongPassword,  // "Incorect Password or Invalid backup file!" was shown
    Invalid,        // "Invalid backup file" was shown
    Opened,         // a valid backup is open; its items are enabled, none ticked
};

// The source-file button. The archive stays open in `zip` after a valid open. Whenever no valid
// backup ends up open, NoSourceFile is true, since the archive open before is closed first.
OpenOutcome OpenBackupFile(ui::RestoreTabModel& tab, AppState& state, archive::ZipComponent& zip);
// The same over the main window's Restore tab, the program's AppState and its zip component.
OpenOutcome OpenBackupFile();

// Texts of the opening.
inline constexpr const char* kOpenDialogTitle = "Restore Date from a backup file";
inline constexpr const char* kOpenDialogFilter = "Kestrine File (*.ksx)|*.ksx";
inline constexpr const char* kWrongPasswordText = "Incorect Password or Invalid backup file!";
inline constexpr const char* kInvalidBackupText = "Invalid backup file";

}  // namespace kestrine::restore
