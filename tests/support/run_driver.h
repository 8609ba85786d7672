#pragma once
// Runs a backup or restore the way the main window does: the prepared job on a RunWorker's thread
// while this thread pumps messages, each progress report taken on this thread, then the run's
// message (through the test's message handler) and follow-ups here once the worker has ended.
#include <windows.h>

#include <functional>
#include <optional>
#include <utility>

#include "ui/win/engine_link.h"
#include "ui/win/run_worker.h"

namespace kestrine::test {

// Told on the window's thread of each progress report, with the worker that runs the job (a test
// may try to start a second run there).
using RunProgress = std::function<void(ui::win::RunWorker& worker, const ui::ProgressPanel&)>;

template <class Result>
struct DrivenRun {
    Result result;
    ui::ProgressPanel lastPanel;  // the panel as the run left it
};

template <class Result>
DrivenRun<Result> DriveRun(ui::win::PreparedRunOf<Result> run, const RunProgress& progress = {}) {
    const HWND window =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    DrivenRun<Result> driven;
    {
        ui::win::RunWorker worker(window);
        bool finished = false;
        worker.Start(std::move(run.job), [&] {
            ui::Show(run.message());
            run.followUp();
            finished = true;
        });
        MSG msg;
        while (!finished && GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (msg.hwnd == window && msg.message == ui::win::kRunProgressMessage) {
                if (auto panel = worker.TakeProgress()) {
                    driven.lastPanel = *panel;
                    if (progress) progress(worker, *panel);
                }
            } else if (msg.hwnd == window && msg.message == ui::win::kRunFinishedMessage) {
                worker.Finish();
            } else {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    DestroyWindow(window);
    driven.result = *run.result;
    return driven;
}

// Nothing when the window's checks refused the run (a message said why).
template <class Result>
std::optional<DrivenRun<Result>> DriveRun(std::optional<ui::win::PreparedRunOf<Result>> run,
                                          const RunProgress& progress = {}) {
    if (!run) return std::nullopt;
    return DriveRun(std::move(*run), progress);
}

}  // namespace kestrine::test
