#include "backup/backup_run.h"

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "app/settings.h"
#include "archive/zip_component.h"
#include "archive/zip_instance.h"
#include "backup/backup_engine.h"
#include "backup/backup_steps.h"
#include "base/path.h"
#include "outlook/process_control.h"
#include "platform/messages.h"
#include "platform/processes.h"
#include "platform/system.h"

namespace kestrine::backup {
namespace {

using platform::MessageIcon;

bool g_running = false;

class RunningGuard {
  public:
    RunningGuard() { g_running = true; }
    ~RunningGuard() { g_running = false; }
    RunningGuard(const RunningGuard&) = delete;
    RunningGuard& operator=(const RunningGuard&) = delete;
};

void Pump(ui::MainWindowModel& window) {
    if (window.pumpMessages) window.pumpMessages();
}

// The refusals: each leaves files, settings and the window as they were.
bool ChoicesAccepted(const ui::MainWindowModel& window, const AppState& state) {
    const auto& tab = window.backup;
    if (state.TargetFile.empty()) {
        platform::ShowMessage("Invalid backup file.", MessageIcon::Exclamation);
        return false;
    }
    if (!AnyChosen(ChosenFromBoxes(tab.items))) {
        platform::ShowMessage("Please select at least one item.", MessageIcon::Exclamation);
        return false;
    }
    if (tab.protect) {
        if (tab.password.empty() && tab.password2.empty()) {
            platform::ShowMessage("Please enter Password!", MessageIcon::Critical);
            return false;
        }
        if (tab.password != tab.password2) {
            platform::ShowMessage("Incorect Password!", MessageIcon::Critical);
            return false;
        }
    }
    return true;
}

}  // namespace

BackupRunResult RunBackup(ui::MainWindowModel& window, AppState& state) {
    BackupRunResult result;
    if (g_running) return result;  // the window lets messages run during a run
    if (!ChoicesAccepted(window, state)) return result;
    RunningGuard guard;
    result.started = true;

    auto& tab = window.backup;
    auto& progress = window.progress;
    const std::string profile = tab.sourceProfile;
    const std::string logPath = base::JoinPath(state.AppFolder, "brlog.dat");
    auto log = [&](const std::string& line) { WriteLog(logPath, line); };

    progress.busyPointer = true;
    // An older archive at the target stays until the new one is complete: the zip component moves
    // the finished archive over it, so a failed run leaves the user's last backup in place.
    if (SettingIsOn("backup", "autocloseoutlook")) {
        platform::KillProcessByName("outlook.exe");
        platform::KillProcessByName("OUTLOOK.EXE");
    }
    progress.panelVisible = true;
    Pump(window);

    StartManifest(state, {profile, tab.note});
    log(LogSeparatorLine());
    log(BackupStartLine(platform::NowText(), profile));
    log(BackupFileLine(platform::NowText(), state.TargetFile));
    progress.Advance(10);

    // The program's one zip component; the window's own event handlers come back after the run.
    archive::ZipComponent& zip = archive::Zip();
    const archive::ZipEvents windowEvents = zip.Events();
    zip.SetWorkFolder(state.AppFolder);
    zip.Events().FileAdding = [&](const std::string& name) {
        Pump(window);
        progress.skinLabel9 = "Adding File " + name;
        Pump(window);
    };
    zip.Events().WriteProgress = [&](int percent) {
        Pump(window);
        progress.label1 = "Write File " + std::to_string(percent) + "%";
        Pump(window);
    };

    std::string summary;
    ArchiveJob job;
    job.archivePath = state.TargetFile;
    job.profile = profile;
    job.chosen = ChosenFromBoxes(tab.items);
    job.protect = tab.protect;
    job.password = tab.password;
    job.beforeStep = [&](const BackupStep& step, bool runs) {
        if (runs) progress.label1 = step.statusCaption;
        AdvanceBeforeStep(progress, step, runs);
    };
    job.afterStep = [&](const BackupStep& step, StepOutcome outcome) {
        if (outcome != StepOutcome::NotRun && step.itemName != nullptr) {
            bool ok = outcome == StepOutcome::Succeeded;
            summary += SummaryEntry(step.itemName, ok);
            log(BackupItemLine(platform::NowText(), step.itemName, ok));
        }
        AdvanceAfterStep(progress, step);
    };
    job.beforeWrite = [&] { progress.value = progress.max - 4; };
    // The component writes synchronously and reports the outcome itself, so the run needs no wait
    // loop on the write-finished event.
    ArchiveOutcome outcome = BuildArchive(state, zip, job);
    zip.Events() = windowEvents;
    result.written = outcome.written;
    result.itemFlags = outcome.itemFlags;

    progress.value = progress.max;
    progress.busyPointer = false;
    progress.skinLabel9.clear();
    progress.skinLabel10.clear();
    progress.panelVisible = false;
    progress.value = progress.min;

    if (outcome.written) {
        log(BackupEndLine(platform::NowText(), profile));
        platform::ShowMessage(CompletionMessage(summary), MessageIcon::Information);
    } else {
        log(BackupNotCompletedLine(platform::NowText(), profile));
        platform::ShowMessage(WriteFailedMessage(state.TargetFile, outcome.error),
                              MessageIcon::Critical);
    }

    if (SettingIsOn("General", "runoutlookafterbackup")) outlook::StartOutlook();
    if (SettingIsOn("backup", "openfolderbackup")) {
        // Explorer opens the archive's folder, named with its closing backslash.
        platform::StartProgram(
            "explorer /n," + base::JoinPath(base::FolderPart(state.TargetFile), ""),
            platform::ShowMode::Normal);
    }
    return result;
}

BackupRunResult RunBackup() {
    return RunBackup(ui::MainWindow(), State());
}

}  // namespace kestrine::backup
