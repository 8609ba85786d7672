#pragma once
// The main window's link to the engine's runs. A run is split where it changes threads: the
// refusal and the job on the window's thread, the run itself on the run worker's thread (its own
// progress panel published through the worker, the worker's cancel asked between files and items),
// and its message and follow-ups on the window's thread again.
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>

#include "app/app_state.h"
#include "archive/archive_reader.h"
#include "backup/backup_run.h"
#include "restore/restore_run.h"
#include "ui/main_window_model.h"
#include "ui/message.h"
#include "ui/win/run_worker.h"

namespace kestrine::ui::win {

struct PreparedRun {
    RunWorker::Job job;
    // The window's thread, after the job: the run's message, and then what the settings ask for
    // afterwards. Neither when the user is leaving.
    std::function<Message()> message;
    std::function<void()> followUp;
};
// A prepared run with the result that its job fills in, for whoever wants the run's facts after
// `finished`.
template <class Result>
struct PreparedRunOf : PreparedRun {
    std::shared_ptr<const Result> result;
};

// Nothing when the choices are refused (a message said why). `state` and `zip` must outlive the
// run, and the window changes neither while it works.
std::optional<PreparedRunOf<backup::BackupResult>> BackupOnWorker(const BackupTabModel& tab,
                                                                  const AppState& state,
                                                                  const archive::ZipOptions& zip);
std::optional<PreparedRunOf<restore::RestoreResult>> RestoreOnWorker(const RestoreTabModel& tab,
                                                                     const AppState& state,
                                                                     archive::ArchiveReader& zip);

// What the progress panel shows of a run's panel model.
ProgressPanel PanelOf(const ProgressModel& progress);

}  // namespace kestrine::ui::win
