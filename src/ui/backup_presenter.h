#pragma once
// The backup tab and its run: what a profile's inventory shows, the choices that refuse a run, the
// job a run gets, and what the window shows while and after it runs.
#include <optional>
#include <string>

#include "app/app_state.h"
#include "backup/backup_run.h"
#include "backup_format/run_observer.h"
#include "outlook/inventory.h"
#include "ui/main_window_model.h"
#include "ui/message.h"

namespace kestrine::ui {

// Gives each box its caption and tooltip, enables exactly the available items and clears every
// tick; the address book's tooltip says so when the installed Outlook has none.
void PresentInventory(BackupTabModel& tab, const outlook::ProfileInventory& inventory);
// The boxes as PresentInventory sets them, for any list of the nine items (the scheduled backup's
// too).
ItemBoxes BackupItemBoxes(const outlook::ProfileInventory& inventory);

// Why "Backup Now" does not start with these choices, or nothing when it may. A refusal changes
// nothing.
std::optional<Message> RefuseBackup(const BackupTabModel& tab, const std::string& targetFile);

// The job of the tab's choices into `targetFile`, with the facts and the item locations of `state`
// (those of the profile last chosen on the tab).
backup::BackupJob BackupJobFor(const BackupTabModel& tab, const AppState& state,
                               const std::string& targetFile);

// The progress panel through a run: its start, each step, each file, the end.
void PresentBackupStarted(ProgressModel& progress);
void PresentBackupStep(ProgressModel& progress, backup_format::Item item);
void PresentBackupStepDone(ProgressModel& progress, backup_format::Item item,
                           backup_format::StepOutcome outcome);
void PresentBackupProgress(ProgressModel& progress, const backup_format::Progress& facts);
void PresentBackupChecking(ProgressModel& progress);
void PresentBackupFinished(ProgressModel& progress);

// The run's summary: a line for each step it reports ("\r\nBackup Signatures\tSucceeded!\t").
std::string BackupSummary(const backup::BackupResult& result);
// The message after a run: the summary when the archive was written (and that it was verified,
// when it was); otherwise the archive, the cause, and that an earlier backup of that name is
// unchanged; or that another backup or restore kept it from starting.
Message BackupCompletionMessage(const backup::BackupResult& result, const std::string& archivePath);

// Closing Outlook before a backup, when it did not close when asked (or could not be asked, with
// `itemsOpen` because it has item windows open): whether to end it, warning that what is not saved
// in Outlook is lost. OK ends it.
Message EndOutlookQuestion(bool itemsOpen);

// What follows a run in the window, as the settings ask: Outlook started, the archive's folder
// opened. Only a backup that was written has anything to follow; a cancelled or failed run, or
// one kept out by another, starts nothing.
struct BackupFollowUps {
    bool startOutlook = false;
    bool openFolder = false;
};
BackupFollowUps FollowUpsOf(const backup::BackupResult& result, bool runOutlookSetting,
                            bool openFolderSetting);

}  // namespace kestrine::ui
