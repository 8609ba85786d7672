#include "ui/commands.h"
#include "app/activity_log.h"
#include "app/log_lines.h"
#include "app/policy.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "base/path.h"
#include "base/secret.h"
#include "outlook/inventory.h"
#include "outlook/process_control.h"
#include "platform/file_stream.h"
#include "platform/messages.h"
#include "platform/processes.h"
#include "platform/system.h"
#include "recovery/recovery.h"
#include "schedule/outlook_wait.h"
#include "ui/archive_name.h"
#include "ui/backup_presenter.h"
#include "ui/main_window_presenter.h"
#include "ui/restore_presenter.h"

namespace kestrine::ui {

namespace {

// Keeps the progress panel up to date through a run, and hears whether to stop.
using StepShown = void (*)(ProgressModel&, backup_format::Item);
using StepDoneShown = void (*)(ProgressModel&, backup_format::Item, backup_format::StepOutcome);
using FileShown = void (*)(ProgressModel&, const backup_format::Progress&);
backup_format::RunObserver PanelObserver(const PanelFollower& panel, StepShown step,
                                         StepDoneShown done, FileShown file) {
    const auto changed = [&panel] { panel.changed(); };
    backup_format::RunObserver observer;
    observer.stepStarted = [&panel, step, changed](backup_format::Item item) {
        step(panel.progress, item);
        changed();
    };
    observer.stepFinished = [&panel, done, changed](backup_format::Item item,
                                                    backup_format::StepOutcome outcome) {
        done(panel.progress, item, outcome);
        changed();
    };
    observer.progress = [&panel, file, changed](const backup_format::Progress& facts) {
        file(panel.progress, facts);
        changed();
    };
    observer.stop = panel.stop;
    return observer;
}

}  // namespace

void SelectSourceProfile(BackupTabModel& tab, AppState& state) {
    const outlook::ProfileInventory inventory =
        outlook::TakeInventory(state.environment, tab.sourceProfile);
    state.locations = inventory.locations;
    PresentInventory(tab, inventory);
    tab.targetChosen = false;
    ProposeTargetFile(tab, state);
}

void ProposeTargetFile(BackupTabModel& tab, const AppState& state) {
    if (tab.targetChosen || !SettingIsOn(state.paths.SettingsFile, kGenerateFileName) ||
        tab.sourceProfile.empty())
        return;
    // An administrator's folder is proposed as it is, whether or not it exists yet.
    const Policies policies = ReadPolicies(state.paths.Policy);
    const std::string folder =
        policies.backupFolder
            ? *policies.backupFolder
            : ChooseProposalFolder(ReadSetting(state.paths.SettingsFile, kBackupFolder),
                                   state.paths.DefaultBackupFolder, platform::fileio::IsDirectory);
    const platform::LocalTime now = platform::Now();
    tab.targetFileText =
        base::JoinPath(folder, ProposalFileName(tab.sourceProfile, {now.year, now.month, now.day}));
}

std::optional<backup::BackupJob> BackupJobFromTab(const BackupTabModel& tab,
                                                  const AppState& state) {
    const Policies policies = ReadPolicies(state.paths.Policy);
    if (auto refusal = RefuseBackup(tab, tab.targetFileText)) {
        Show(*refusal);
        return std::nullopt;
    }
    if (policies.requirePassword.value_or(false) && !tab.protect) {
        Show(Message{kPasswordRequiredMessage, platform::MessageIcon::Exclamation});
        return std::nullopt;
    }
    // A file chosen before the administrator set the folder still goes into that folder.
    return BackupJobFor(tab, state, InPolicyFolder(policies, tab.targetFileText));
}

backup::BackupResult BackupWithPanel(const backup::BackupJob& job, const AppState& state,
                                     const archive::ZipOptions& zip, const PanelFollower& panel) {
    // An older archive at the target stays until the new one is complete: the zip component moves
    // the finished archive over it, so a failed run leaves the user's last backup in place.
    // Outlook is gone, its files closed, before the run reads them. It is asked to quit as the
    // scheduled backup asks it; only the user decides that one that does not may be ended.
    if (SettingIsOn(state.paths.SettingsFile, kAutoCloseOutlook)) {
        schedule::CloseOutlookForBackup(
            state.paths.LogFile, [](const outlook::OutlookClosing& closing) {
                return Show(EndOutlookQuestion(closing.itemsOpen)) == platform::MessageAnswer::Ok;
            });
    }
    PresentBackupStarted(panel.progress);
    panel.changed();
    backup_format::RunObserver observer =
        PanelObserver(panel, PresentBackupStep, PresentBackupStepDone, PresentBackupProgress);
    observer.checking = [&panel] {
        PresentBackupChecking(panel.progress);
        panel.changed();
    };
    const backup::BackupResult result =
        backup::RunBackup(job, state.environment, state.paths, zip, observer);
    PresentBackupFinished(panel.progress);
    panel.changed();
    return result;
}

void FollowUpBackup(const backup::BackupResult& result, const AppState& state,
                    const std::string& archivePath) {
    auto on = [&](const SettingKey& key) { return SettingIsOn(state.paths.SettingsFile, key); };
    const BackupFollowUps followUps =
        FollowUpsOf(result, on(kRunOutlookAfterBackup), on(kOpenFolderAfterBackup));
    if (followUps.startOutlook) outlook::StartOutlook();
    if (followUps.openFolder) {
        platform::StartProgram(ExplorerCommandLine(state.WindowsDir, archivePath),
                               platform::ShowMode::Normal);
    }
}

OpenOutcome OpenBackupFile(RestoreTabModel& tab, AppState& state, archive::ArchiveReader& zip) {
    // The archive open before is closed now, whatever follows.
    zip.CloseArchive();
    ClearRestoreTab(tab);
    const std::string path = platform::ShowFileDialog(OpenBackupDialog());
    if (path.empty()) return OpenOutcome::Cancelled;
    // OK in the password dialog sets the password exactly as typed; Cancel ends the open.
    bool passwordCancelled = false;
    std::string enteredPassword;
    auto passwordFor = [&enteredPassword, &passwordCancelled] {
        auto typed = platform::AskPassword();
        passwordCancelled = !typed;
        if (typed) enteredPassword = *typed;
        return typed ? *typed : std::string();
    };
    const restore::OpenedBackup opened =
        restore::OpenBackup(zip, path, state.paths.TempFolder, passwordFor);
    // The opened archive keeps the password it needs until it is closed.
    base::Wipe(enteredPassword);
    if (passwordCancelled) {
        zip.CloseArchive();
        return OpenOutcome::Cancelled;
    }
    RecordOpenedBackup(state.openedArchive, path, opened);
    if (auto message = PresentOpenedBackup(tab, path, opened)) Show(*message);
    switch (opened.status) {
        case restore::OpenStatus::Opened:
            return OpenOutcome::Opened;
        case restore::OpenStatus::WrongPassword:
            return OpenOutcome::WrongPassword;
        case restore::OpenStatus::Invalid:
        case restore::OpenStatus::Altered:
            break;
    }
    return OpenOutcome::Invalid;
}

std::optional<restore::RestoreJob> ConfirmedRestoreJob(const RestoreTabModel& tab,
                                                       const AppState& state,
                                                       archive::ArchiveReader& zip) {
    if (auto refusal = RefuseRestore(tab)) {
        Show(*refusal);
        return std::nullopt;
    }
    restore::RestoreJob job = RestoreJobFor(tab, state.openedArchive);
    const Message question = ConfirmRestoreMessage(
        restore::PreviewRestore(job, state.environment, zip), state.openedArchive.header,
        state.ComputerName, state.UserName, job.targetProfile);
    if (Show(question) != platform::MessageAnswer::Ok) return std::nullopt;
    return job;
}

void UndoLastRestoreCommand(const AppState& state) {
    if (!recovery::CanUndoLastRestore(state.paths.UndoFolder)) {
        Show(NothingToUndoMessage());
        return;
    }
    if (Show(ConfirmUndoMessage()) != platform::MessageAnswer::Ok) return;
    const restore::UndoResult undone =
        restore::UndoLastRestoreRun(state.paths, state.environment, std::chrono::seconds(0));
    Show(UndoCompletionMessage(undone));
}

void RecoverAtStart(const AppState& state) {
    // A run of another Kestrine holds the lock: its undo set is alive, not left over.
    const recovery::HeldRunLock held =
        recovery::TakeRunLock(state.paths, std::chrono::milliseconds(0));
    if (!held) return;
    const recovery::RecoveryOutcome recovered =
        recovery::MakeProfileWhole(state.paths, state.environment);
    const auto message = RecoveredAtStartMessage(recovered);
    // Something could not be put back: the user may keep the profile as it is, so backups go on.
    if (message && Show(*message) == platform::MessageAnswer::Yes)
        Show(KeptAsItIsMessage(recovery::KeepProfileAsItIs(state.paths)));
}

restore::RestoreResult RestoreWithPanel(const restore::RestoreJob& job, const AppState& state,
                                        archive::ArchiveReader& zip, const PanelFollower& panel) {
    PresentRestoreStarted(panel.progress);
    panel.changed();
    const restore::RestoreResult result = restore::RunRestore(
        job, state.environment, state.paths, zip,
        PanelObserver(panel, PresentRestoreStep, PresentRestoreStepDone, PresentRestoreProgress));
    PresentRestoreFinished(panel.progress);
    panel.changed();
    return result;
}

void FollowUpRestore(const restore::RestoreResult& result, const AppState& state) {
    if (result.outcome != recovery::RunOutcome::Busy &&
        SettingIsOn(state.paths.SettingsFile, kRunOutlookAfterRestore))
        outlook::StartOutlook();
}

}  // namespace kestrine::ui
