#pragma once
// The main window's one link to the engine: the profile inventory, opening a backup file, and the
// backup and restore runs as jobs for the run worker. Each job works on its own copy of the
// window's model and reports the progress panel through the worker.
#include "app/app_state.h"
#include "ui/main_window_model.h"
#include "ui/win/run_worker.h"

namespace kestrine::ui::win::engine {

// The inventory of `tab.sourceProfile`: item locations, offered items, a proposed archive name.
void InventoryOf(AppState& state, BackupTabModel& tab);

// The source-file button: file dialog, password, manifest; the window's thread.
void OpenBackupFile(AppState& state, RestoreTabModel& tab);

// Whether the runs stop when the worker's cancel is requested.
inline constexpr bool kRunsCanCancel = false;

RunWorker::Job BackupJob(const MainWindowModel& window, AppState& state);
RunWorker::Job RestoreJob(const MainWindowModel& window, AppState& state);

}  // namespace kestrine::ui::win::engine
