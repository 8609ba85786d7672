#pragma once
// What the main window's controls do: each command takes the window's model, the program's state
// and the zip component, asks and tells the user through platform/messages.h, and runs the engine.
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

#include "app/app_state.h"
#include "archive/archive_reader.h"
#include "backup/backup_run.h"
#include "restore/open_backup.h"
#include "restore/restore_run.h"
#include "ui/main_window_model.h"

namespace kestrine::ui {

// The source profile list's selection (and start-up's first profile): the profile's item locations
// go into `state.locations`, the backup list shows what can be backed up with every tick cleared,
// and a dated archive name is proposed when the settings ask for it.
void SelectSourceProfile(BackupTabModel& tab, AppState& state);
// A dated archive name in the default folder, when the settings ask for one and the user has not
// picked a file in the save dialog: after a profile is chosen, and after the settings changed.
void ProposeTargetFile(BackupTabModel& tab, const AppState& state);

// The progress panel of a run: the run's own panel, `changed` after each change of it (it does
// nothing unless set), and the run's stop token (a requested stop ends the run at its next safe
// point).
struct PanelFollower {
    ProgressModel& progress;
    std::function<void()> changed = [] {};
    std::stop_token stop{};
};

// "Backup Now" in parts, so that the window can run the run itself on a thread of its own:
// the window's thread: the choices refused (the message is shown; nothing returned) or the job;
std::optional<backup::BackupJob> BackupJobFromTab(const BackupTabModel& tab, const AppState& state);
// any thread: may close Outlook, then runs the job with its panel (reads `state`, writes nothing of
// it);
backup::BackupResult BackupWithPanel(const backup::BackupJob& job, const AppState& state,
                                     const archive::ZipOptions& zip, const PanelFollower& panel);
// the window's thread, once BackupCompletionMessage has been shown: starts Outlook and opens the
// archive's folder as the settings say, only after a backup that was written (nothing after a
// cancelled or failed run, or one kept out by another run).
void FollowUpBackup(const backup::BackupResult& result, const AppState& state,
                    const std::string& archivePath);

// The source-file button: the file dialog, the password when the archive asks for one, the archive
// shown on the Restore tab and recorded in `state.openedArchive`. The archive stays open in `zip`
// after a valid open; whenever no valid backup ends up open, the tab's `backupOpen` is false.
// Cancel in the file or the password dialog is a cancelled open: nothing is tried and nothing is
// said.
enum class OpenOutcome { Cancelled, WrongPassword, Invalid, Opened };
OpenOutcome OpenBackupFile(RestoreTabModel& tab, AppState& state, archive::ArchiveReader& zip);

// "Restore Now" in the same parts: the refusal, or else the question of ConfirmRestoreMessage
// and the job when the user says OK (the window's thread), the run (any thread), and Outlook
// started as the settings say once RestoreCompletionMessage has been shown. Every way of starting
// a restore goes through it, so each asks, and none asks before it would refuse.
std::optional<restore::RestoreJob> ConfirmedRestoreJob(const RestoreTabModel& tab,
                                                       const AppState& state,
                                                       archive::ArchiveReader& zip);
restore::RestoreResult RestoreWithPanel(const restore::RestoreJob& job, const AppState& state,
                                        archive::ArchiveReader& zip, const PanelFollower& panel);
void FollowUpRestore(const restore::RestoreResult& result, const AppState& state);

// "Undo Last Restore" (the window offers it only while no run works): asks first, puts the last
// restore back, and says how that went.
void UndoLastRestoreCommand(const AppState& state);

// What a start of the program does before anything else: a restore that was ended midway is put
// back (when no other run works), and the user is told; when something could not be put back the
// user is asked whether to keep the profile as it is now, so that backups go on.
void RecoverAtStart(const AppState& state);

}  // namespace kestrine::ui
