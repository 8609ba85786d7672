#pragma once
// The window's run path without the window: the refusal (or the question) and the job on the
// window's thread, the run with its panel, the message, the follow-ups.
#include <functional>

#include "recovery/undo_set.h"
#include "restore/restore_run.h"
#include "ui/backup_presenter.h"
#include "ui/commands.h"
#include "ui/restore_presenter.h"

namespace kestrine::test {

// What a restore ended at its start (a kill) leaves in `undoFolder`: an undo set without "done".
// The journal's path; empty when the set could not be made.
inline std::string EndedRestoreJournal(const std::string& undoFolder) {
    auto ended = recovery::UndoJournal::Begin(undoFolder, recovery::RegistryKeyKeeper());
    return ended ? ended->Folder() + "\\journal.dat" : "";
}

struct WindowBackup {
    bool started = false;  // false: refused, and a message said why
    backup::BackupResult result;
};
// `changed` is told of each change of the panel, as the window repaints it.
inline WindowBackup BackupLikeTheWindow(
    ui::MainWindowModel& window, const AppState& state, const archive::ZipOptions& zip,
    const std::function<void()>& changed = [] {}) {
    WindowBackup run;
    const auto job = ui::BackupJobFromTab(window.backup, state);
    if (!job) return run;
    run.started = true;
    const ui::PanelFollower panel{window.progress, changed};
    run.result = ui::BackupWithPanel(*job, state, zip, panel);
    ui::Show(ui::BackupCompletionMessage(run.result, job->archivePath));
    ui::FollowUpBackup(run.result, state, job->archivePath);
    return run;
}

struct WindowRestore {
    bool ran = false;  // false: refused or not confirmed
    restore::RestoreResult result;
};
inline WindowRestore RestoreLikeTheWindow(ui::MainWindowModel& window, const AppState& state,
                                          archive::ArchiveReader& zip) {
    WindowRestore run;
    const auto job = ui::ConfirmedRestoreJob(window.restore, state, zip);
    if (!job) return run;
    run.ran = true;
    const ui::PanelFollower panel{window.progress};
    run.result = ui::RestoreWithPanel(*job, state, zip, panel);
    ui::Show(ui::RestoreCompletionMessage(run.result));
    ui::FollowUpRestore(run.result, state);
    return run;
}

}  // namespace kestrine::test
