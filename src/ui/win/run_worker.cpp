#include "ui/win/run_worker.h"

#include "base/thread_end.h"

namespace kestrine::ui::win {

RunWorker::~RunWorker() {
    // The window waits for the end of a run before it goes; this is the last resort.
    base::EndThread(thread_);
}

bool RunWorker::Start(Job job, std::function<void()> finished) {
    if (busy_) return false;
    base::EndThread(thread_);
    busy_ = true;
    finished_ = std::move(finished);
    {
        std::lock_guard lock(mutex_);
        latest_.reset();
    }
    // After its job the thread touches nothing of the worker's: the window may already let go of
    // it once the end is posted.
    thread_ = std::jthread([this, window = window_, job = std::move(job)](std::stop_token stop) {
        job(std::move(stop), *this);
        PostMessageW(window, kRunFinishedMessage, 0, 0);
    });
    return true;
}

void RunWorker::Publish(const ProgressPanel& panel) {
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        post = !latest_.has_value();
        latest_ = panel;
    }
    if (post) PostMessageW(window_, kRunProgressMessage, 0, 0);
}

std::optional<ProgressPanel> RunWorker::TakeProgress() {
    std::lock_guard lock(mutex_);
    std::optional<ProgressPanel> taken;
    taken.swap(latest_);
    return taken;
}

void RunWorker::Finish() {
    base::EndThread(thread_);
    busy_ = false;
    {
        std::lock_guard lock(mutex_);
        latest_.reset();  // a report posted just before the end is over too
    }
    if (auto finished = std::move(finished_)) finished();
}

}  // namespace kestrine::ui::win
