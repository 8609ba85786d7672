#pragma once
// The worker threads behind the writer's and the reader's pipelines: pieces of work go to a fixed
// set of threads, and the calling thread takes the finished pieces back in the order it handed them
// out, so output stays in order while the cores work in parallel.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/thread_end.h"

namespace kestrine::archive {

// The number of worker threads for a machine of `cores` cores (0 where the system cannot say):
// at least one and at most eight.
inline unsigned WorkerCountFor(unsigned cores) {
    return std::clamp(cores, 1u, 8u);
}
inline unsigned WorkerCount() {
    return WorkerCountFor(std::thread::hardware_concurrency());
}

// A fixed set of threads that run the jobs handed to them, in the order given. The pool may end
// on any thread, also on one of its own (when a job lets go of what owned the pool): it then waits
// for the other threads and lets its own one finish by itself, for a thread never joins itself.
class WorkerPool {
  public:
    explicit WorkerPool(unsigned count) : shared_(std::make_shared<Shared>()) {
        for (unsigned i = 0; i < count; ++i) threads_.emplace_back(&WorkerPool::Run, shared_);
    }
    // Runs the jobs still queued, then ends the threads.
    ~WorkerPool() {
        {
            std::lock_guard lock(shared_->mutex);
            shared_->stop = true;
        }
        shared_->wake.notify_all();
        for (auto& t : threads_) base::EndThread(t);
    }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    size_t Size() const { return threads_.size(); }

    void Submit(std::function<void()> job) {
        {
            std::lock_guard lock(shared_->mutex);
            shared_->jobs.push_back(std::move(job));
        }
        shared_->wake.notify_one();
    }

  private:
    // What the threads use: theirs as much as the pool's, so a thread that outlives the pool
    // still finds it.
    struct Shared {
        std::deque<std::function<void()>> jobs;
        std::mutex mutex;
        std::condition_variable wake;
        bool stop = false;
    };
    static void Run(std::shared_ptr<Shared> shared) {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(shared->mutex);
                shared->wake.wait(lock, [&] { return shared->stop || !shared->jobs.empty(); });
                if (shared->jobs.empty()) return;
                job = std::move(shared->jobs.front());
                shared->jobs.pop_front();
            }
            job();
        }
    }
    std::shared_ptr<Shared> shared_;
    std::vector<std::thread> threads_;
};

// A piece from `spare` (its buffers keep their room, so they are not allocated again per piece)
// or a new one.
template <class Piece>
std::shared_ptr<Piece> ReuseOrMake(std::vector<std::shared_ptr<Piece>>& spare) {
    if (spare.empty()) return std::make_shared<Piece>();
    std::shared_ptr<Piece> piece = std::move(spare.back());
    spare.pop_back();
    return piece;
}

// Pieces handed to the workers, taken back in order. Only the calling thread uses the queue; the
// workers only mark their piece done.
template <class Piece>
class OrderedWork {
  public:
    explicit OrderedWork(WorkerPool& pool) : pool_(pool), shared_(std::make_shared<Shared>()) {}
    ~OrderedWork() { Clear(); }
    OrderedWork(const OrderedWork&) = delete;
    OrderedWork& operator=(const OrderedWork&) = delete;

    // Runs work(*piece) on a worker.
    void Submit(std::shared_ptr<Piece> piece, std::function<void(Piece&)> work) {
        auto slot = std::make_shared<Slot>();
        slot->piece = std::move(piece);
        queue_.push_back(slot);
        pool_.Submit([slot, shared = shared_, work = std::move(work)] {
            work(*slot->piece);
            // Notified under the lock: the waiter may return and drop the slot at once.
            std::lock_guard lock(shared->mutex);
            slot->done = true;
            shared->cv.notify_all();
        });
    }
    bool Empty() const { return queue_.empty(); }
    size_t Size() const { return queue_.size(); }
    bool FrontDone() const {
        std::lock_guard lock(shared_->mutex);
        return !queue_.empty() && queue_.front()->done;
    }
    // Waits until the oldest piece is done and hands it back.
    std::shared_ptr<Piece> TakeFront() {
        std::shared_ptr<Slot> slot = queue_.front();
        {
            std::unique_lock lock(shared_->mutex);
            shared_->cv.wait(lock, [&] { return slot->done; });
        }
        queue_.pop_front();
        return std::move(slot->piece);
    }
    // Waits for every piece and drops them.
    void Clear() {
        while (!queue_.empty()) TakeFront();
    }

  private:
    struct Slot {
        std::shared_ptr<Piece> piece;
        bool done = false;
    };
    struct Shared {
        std::mutex mutex;
        std::condition_variable cv;
    };
    WorkerPool& pool_;
    std::shared_ptr<Shared> shared_;
    std::deque<std::shared_ptr<Slot>> queue_;
};

}  // namespace kestrine::archive
