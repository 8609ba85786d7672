#pragma once
// A run (backup or restore) works on a thread of its own, so the window stays responsive. The run
// talks to the window only through posted messages: its latest progress (coalesced: a run that
// reports faster than the window paints never floods the queue) and its end. Whatever it shows is
// shown on the window's thread after it has ended. Cancel is the thread's own stop token, which the
// job hands to the run.
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

#include "ui/main_window_presenter.h"

namespace kestrine::ui::win {

// Messages that the worker posts to its window.
inline constexpr UINT kRunProgressMessage = WM_APP + 1;
inline constexpr UINT kRunFinishedMessage = WM_APP + 2;

// What a job running on the worker thread sends its window; safe from any thread.
class RunChannel {
  public:
    virtual ~RunChannel() = default;
    virtual void Publish(const ProgressPanel& panel) = 0;
};

class RunWorker : private RunChannel {
  public:
    using Job = std::function<void(std::stop_token, RunChannel&)>;

    explicit RunWorker(HWND window) : window_(window) {}
    ~RunWorker() override;
    RunWorker(const RunWorker&) = delete;
    RunWorker& operator=(const RunWorker&) = delete;

    // Starts `job` on the worker thread; false when a run works already. `finished` runs on the
    // window's thread once the job has returned (from Finish).
    bool Start(Job job, std::function<void()> finished = {});
    bool Busy() const { return busy_; }
    void RequestCancel() { thread_.request_stop(); }

    // The window's thread, on kRunProgressMessage: the latest progress, once.
    std::optional<ProgressPanel> TakeProgress();
    // The window's thread, on kRunFinishedMessage: joins the thread and runs `finished`.
    void Finish();

  private:
    void Publish(const ProgressPanel& panel) override;

    HWND window_;
    std::jthread thread_;
    std::atomic<bool> busy_{false};
    std::function<void()> finished_;
    std::mutex mutex_;
    std::optional<ProgressPanel> latest_;  // guarded by mutex_
};

}  // namespace kestrine::ui::win
