#include "ui/win/engine_link.h"

#include "archive/zip_instance.h"
#include "backup/backup_run.h"
#include "outlook/inventory.h"
#include "restore/open_backup.h"
#include "restore/restore_run.h"

namespace kestrine::ui::win::engine {

namespace {

ProgressPanel PanelOf(const ProgressModel& progress) {
    const int span = progress.max - progress.min;
    return {progress.panelVisible, progress.skinLabel9, progress.label1,
            span > 0 ? (progress.value - progress.min) * 100 / span : 0};
}

// The run reports by changing its model and letting messages run; each of those moments sends the
// panel to the window.
template <class Run>
RunWorker::Job JobOf(const MainWindowModel& window, Run run) {
    return [window, run](RunChannel& channel) {
        MainWindowModel model = window;
        model.pumpMessages = [&] { channel.Publish(PanelOf(model.progress)); };
        run(model);
    };
}

}  // namespace

void InventoryOf(AppState& state, BackupTabModel& tab) {
    outlook::cbSource_Click(state, tab);
}

void OpenBackupFile(AppState& state, RestoreTabModel& tab) {
    restore::OpenBackupFile(tab, state, archive::Zip());
}

RunWorker::Job BackupJob(const MainWindowModel& window, AppState& state) {
    return JobOf(window, [&state](MainWindowModel& model) { backup::RunBackup(model, state); });
}

RunWorker::Job RestoreJob(const MainWindowModel& window, AppState& state) {
    return JobOf(window, [&state](MainWindowModel& model) {
        restore::RunRestore(model, state, archive::Zip());
    });
}

}  // namespace kestrine::ui::win::engine
