#include "ui/win/engine_link.h"

#include <memory>

#include "base/secret.h"
#include "ui/backup_presenter.h"
#include "ui/commands.h"
#include "ui/restore_presenter.h"

namespace kestrine::ui::win {

namespace {

// The run's own panel follows it and goes to the window through the worker.
template <class Result, class Run>
RunWorker::Job JobOf(std::shared_ptr<Result> result, Run run) {
    return [result, run](std::stop_token stop, RunChannel& channel) mutable {
        ProgressModel progress;
        const PanelFollower panel{progress, [&] { channel.Publish(PanelOf(progress)); },
                                  std::move(stop)};
        *result = run(panel);
    };
}

}  // namespace

ProgressPanel PanelOf(const ProgressModel& progress) {
    const int span = progress.max - progress.min;
    const int steps = span > 0 ? (progress.value - progress.min) * 100 / span : 0;
    return {progress.panelVisible, progress.fileText, progress.stepText,
            ProgressBarValue(steps, progress.bytesDone, progress.bytesExpected)};
}

std::optional<PreparedRunOf<backup::BackupResult>> BackupOnWorker(const BackupTabModel& tab,
                                                                  const AppState& state,
                                                                  const archive::ZipOptions& zip) {
    auto job = BackupJobFromTab(tab, state);
    if (!job) return std::nullopt;
    auto result = std::make_shared<backup::BackupResult>();
    const std::string archivePath = job->archivePath;
    PreparedRunOf<backup::BackupResult> prepared;
    prepared.job =
        JobOf(result, [job = std::move(*job), &state, &zip](const PanelFollower& panel) mutable {
            auto done = BackupWithPanel(job, state, zip, panel);
            base::Wipe(job.password);  // the run is done with it
            return done;
        });
    prepared.message = [result, archivePath] {
        return BackupCompletionMessage(*result, archivePath);
    };
    prepared.followUp = [result, archivePath, &state] {
        FollowUpBackup(*result, state, archivePath);
    };
    prepared.result = result;
    return prepared;
}

std::optional<PreparedRunOf<restore::RestoreResult>> RestoreOnWorker(const RestoreTabModel& tab,
                                                                     const AppState& state,
                                                                     archive::ArchiveReader& zip) {
    auto job = ConfirmedRestoreJob(tab, state, zip);
    if (!job) return std::nullopt;
    auto result = std::make_shared<restore::RestoreResult>();
    PreparedRunOf<restore::RestoreResult> prepared;
    prepared.job = JobOf(result, [job = std::move(*job), &state, &zip](const PanelFollower& panel) {
        return RestoreWithPanel(job, state, zip, panel);
    });
    prepared.message = [result] { return RestoreCompletionMessage(*result); };
    prepared.followUp = [result, &state] { FollowUpRestore(*result, state); };
    prepared.result = result;
    return prepared;
}

}  // namespace kestrine::ui::win
