#pragma once
// The restore tab and its run: opening a backup file shown on the tab, the refusals and the
// confirmation of a run, the job it gets, and what the window shows while and after it runs.
#include <optional>
#include <string>

#include "app/app_state.h"
#include "backup_format/run_observer.h"
#include "restore/open_backup.h"
#include "restore/restore_run.h"
#include "ui/main_window_model.h"
#include "ui/message.h"

namespace kestrine::ui {

// The file dialog of the source-file button.
platform::FileDialogRequest OpenBackupDialog();
// Before a file is chosen: every entry unticked and disabled, the boxes emptied.
void ClearRestoreTab(RestoreTabModel& tab);
// The five lines of where the backup came from ("Computer:PC", ...; no blank after the colon).
std::string BackupInfoText(const backup_format::ManifestHeader& header);
// What an opened file shows on the tab: its path, where it came from, its note, and the entries of
// the items it holds enabled (none ticked), and whether a valid backup is open. The message to
// show, or nothing for a valid backup.
std::optional<Message> PresentOpenedBackup(RestoreTabModel& tab, const std::string& path,
                                           const restore::OpenedBackup& opened);
// What the open leaves for the restore run: the source file, its item flags and entries. Entries
// of items whose flag is "0" keep what an earlier open put there.
void RecordOpenedBackup(OpenedArchive& archive, const std::string& path,
                        const restore::OpenedBackup& opened);

// Why "Restore Now" does not start, or nothing when it may.
std::optional<Message> RefuseRestore(const RestoreTabModel& tab);
// The question every way of starting a restore asks first (OK and Cancel): it begins with
// kConfirmRestoreFirstLine, lists what will be replaced and what added, names where the backup
// came from, warns when that is another computer or user, and ends asking whether to go on.
inline constexpr const char* kConfirmRestoreFirstLine =
    "Your current Email and News messages will be replaced with the messages from the selected "
    "backup file.";
Message ConfirmRestoreMessage(const std::vector<restore::PlannedChange>& changes,
                              const backup_format::ManifestHeader& origin,
                              const std::string& thisComputer, const std::string& thisUser,
                              const std::string& targetProfile);
// "Undo Last Restore": nothing to undo, the question, and how it went.
Message NothingToUndoMessage();
Message ConfirmUndoMessage();
Message UndoCompletionMessage(const restore::UndoResult& undone);
// What the start tells of a restore ended midway that it put back; nothing when there was none.
// When something could not be put back, it names what and asks (Yes/No) whether to keep the
// profile as it is now (recovery::KeepProfileAsItIs on Yes).
std::optional<Message> RecoveredAtStartMessage(const recovery::RecoveryOutcome& recovered);
// How keeping the profile as it is went.
Message KeptAsItIsMessage(bool ok);

// "1.5 MB", "12 KB", "300 bytes".
std::string SizeText(uint64_t bytes);
// The job of the tab's ticks into its target profile, from the archive that `state` records.
restore::RestoreJob RestoreJobFor(const RestoreTabModel& tab, const OpenedArchive& archive);

// The progress panel through a run.
void PresentRestoreStarted(ProgressModel& progress);
void PresentRestoreStep(ProgressModel& progress, backup_format::Item item);
void PresentRestoreStepDone(ProgressModel& progress, backup_format::Item item,
                            backup_format::StepOutcome outcome);
void PresentRestoreProgress(ProgressModel& progress, const backup_format::Progress& facts);
void PresentRestoreFinished(ProgressModel& progress);

// The run's summary: a line for each reported row that ran.
std::string RestoreSummary(const restore::RestoreResult& result);
Message RestoreCompletionMessage(const restore::RestoreResult& result);

}  // namespace kestrine::ui
