#include "app/settings.h"
#include "base/path.h"
#include "outlook/inventory.h"
#include "outlook/process_control.h"
#include "platform/file_stream.h"
#include "platform/messages.h"
#include "platform/processes.h"
#include "platform/system.h"
#include "ui/archive_name.h"
#include "ui/backup_presenter.h"
#include "ui/commands.h"
#include "ui/restore_presenter.h"

namespace kestrine::ui {

namespace {

void Pump(const MainWindowModel& window) {
    if (window.pumpMessages) window.pumpMessages();
}

// Keeps the progress panel up to date through a run, letting the window's messages run around
// each file.
using StepShown = void (*)(ProgressModel&, archive::Item);
using StepDoneShown = void (*)(ProgressModel&, archive::Item, archive::StepOutcome);
using FileShown = void (*)(ProgressModel&, const archive::Progress&);
archive::RunObserver PanelObserver(MainWindowModel& window, StepShown step, StepDoneShown done,
                                   FileShown file) {
    archive::RunObserver observer;
    observer.stepStarted = [&window, step](archive::Item item) { step(window.progress, item); };
    observer.stepFinished = [&window, done](archive::Item item, archive::StepOutcome outcome) {
        done(window.progress, item, outcome);
    };
    observer.progress = [&window, file](const archive::Progress& facts) {
        Pump(window);
        file(window.progress, facts);
        Pump(window);
    };
    return observer;
}

// The window lets messages run during a run; a second run must not start meanwhile.
bool g_running = false;

class RunningGuard {
  public:
    RunningGuard() { g_running = true; }
    ~RunningGuard() { g_running = false; }
    RunningGuard(const RunningGuard&) = delete;
    RunningGuard& operator=(const RunningGuard&) = delete;
};

}  // namespace

void SelectSourceProfile(BackupTabModel& tab, AppState& state) {
    const outlook::ProfileInventory inventory = outlook::TakeInventory(state, tab.sourceProfile);
    static_cast<outlook::ItemLocations&>(state) = inventory.locations;
    ShowInventory(tab, inventory);
    if (!SettingIsOn(state.SettingsFile, "backup", "automgeneratefile")) return;
    const std::string folder =
        ChooseProposalFolder(ReadINIValue(state.SettingsFile, "backup", "backupfolder"),
                             state.AppFolder, platform::fileio::IsDirectory);
    const platform::LocalTime now = platform::Now();
    tab.targetFileText =
        base::JoinPath(folder, ProposalFileName(tab.sourceProfile, {now.year, now.month, now.day}));
    state.TargetFile = tab.targetFileText;
}

BackupNowResult BackupNow(MainWindowModel& window, AppState& state, archive::ZipComponent& zip) {
    BackupNowResult outcome;
    if (g_running) return outcome;
    if (auto refusal = RefuseBackup(window.backup, state.TargetFile)) {
        Show(*refusal);
        return outcome;
    }
    RunningGuard guard;
    outcome.started = true;

    auto& progress = window.progress;
    // An older archive at the target stays until the new one is complete: the zip component moves
    // the finished archive over it, so a failed run leaves the user's last backup in place.
    // Outlook is gone, its files closed, before the run reads them.
    if (SettingIsOn(state.SettingsFile, "backup", "autocloseoutlook")) outlook::CloseOutlook();
    ShowBackupStarted(progress);
    Pump(window);

    archive::RunObserver observer =
        PanelObserver(window, ShowBackupStep, ShowBackupStepDone, ShowBackupProgress);
    observer.checking = [&window] {
        ShowBackupChecking(window.progress);
        Pump(window);
    };
    backup::BackupJob job = BackupJobFor(window.backup, state, state.TargetFile);
    job.verify = SettingIsOn(state.SettingsFile, "General", "checkbackupfile");
    outcome.result = backup::RunBackup(job, state, zip, observer);
    ShowBackupFinished(progress);
    Show(BackupCompletionMessage(outcome.result, state.TargetFile));

    // A run kept out by another one did nothing to follow up.
    if (outcome.result.busy) return outcome;
    if (SettingIsOn(state.SettingsFile, "General", "runoutlookafterbackup"))
        outlook::StartOutlook();
    if (SettingIsOn(state.SettingsFile, "backup", "openfolderbackup")) {
        // Explorer opens the archive's folder, named with its closing backslash.
        platform::StartProgram(
            "explorer /n," + base::JoinPath(base::FolderPart(state.TargetFile), ""),
            platform::ShowMode::Normal);
    }
    return outcome;
}

OpenOutcome OpenBackupFile(RestoreTabModel& tab, AppState& state, archive::ZipComponent& zip) {
    // The archive open before is closed now, whatever follows.
    zip.CloseArchive();
    ClearRestoreTab(tab);
    const std::string path = platform::ShowFileDialog(OpenBackupDialog());
    if (path.empty()) {
        state.NoSourceFile = true;
        return OpenOutcome::Cancelled;
    }
    // OK in the password dialog sets the password exactly as typed; Cancel keeps the one confirmed
    // before.
    auto passwordFor = [&state] {
        if (auto typed = platform::AskPassword()) state.EnteredPassword = *typed;
        return state.EnteredPassword;
    };
    const restore::OpenedBackup opened =
        restore::OpenBackup(zip, path, state.TempFolder, passwordFor);
    RecordOpenedBackup(state, path, opened);
    if (auto message = ShowOpenedBackup(tab, path, opened)) Show(*message);
    switch (opened.status) {
        case restore::OpenStatus::Opened:
            return OpenOutcome::Opened;
        case restore::OpenStatus::WrongPassword:
            return OpenOutcome::WrongPassword;
        case restore::OpenStatus::Invalid:
            break;
    }
    return OpenOutcome::Invalid;
}

RestoreNowResult RestoreNow(MainWindowModel& window, const AppState& state,
                            archive::ZipComponent& zip) {
    RestoreNowResult outcome;
    if (g_running) return outcome;
    if (auto refusal = RefuseRestore(state.NoSourceFile, window.restore)) {
        Show(*refusal);
        return outcome;
    }
    RunningGuard guard;
    outcome.ran = true;

    auto& progress = window.progress;
    ShowRestoreStarted(progress);
    Pump(window);
    const archive::RunObserver observer =
        PanelObserver(window, ShowRestoreStep, ShowRestoreStepDone, ShowRestoreProgress);
    outcome.result =
        restore::RunRestore(RestoreJobFor(window.restore, state), state, state, zip, observer);
    ShowRestoreFinished(progress);
    Show(RestoreCompletionMessage(outcome.result));
    if (!outcome.result.busy &&
        SettingIsOn(state.SettingsFile, "General", "runoutlookafterrestore"))
        outlook::StartOutlook();
    return outcome;
}

}  // namespace kestrine::ui
