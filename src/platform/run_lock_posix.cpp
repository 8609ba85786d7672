// The POSIX twin of platform/run_lock.h. The native build runs the engine only in tests, each a
// process of its own, so the lock is the process's: runs on different threads exclude each other
// as runs in different processes do on Windows, and, as there, a thread that holds it may take it
// again. It can always be had, so no run here works unlocked either.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/run_lock.h"

namespace kestrine::platform {

namespace {

struct Lock {
    std::mutex mutex;
    std::condition_variable freed;
    std::thread::id owner;
    int depth = 0;
};

Lock& TheLock() {
    static Lock lock;
    return lock;
}

}  // namespace

std::unique_ptr<RunLock> RunLock::Take(std::chrono::milliseconds wait, std::stop_token stop) {
    Lock& lock = TheLock();
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::unique_lock guard(lock.mutex);
    for (;;) {
        if (lock.depth == 0 || lock.owner == std::this_thread::get_id()) {
            lock.owner = std::this_thread::get_id();
            ++lock.depth;
            return std::unique_ptr<RunLock>(new RunLock());
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return nullptr;
        lock.freed.wait_until(guard, std::min(deadline, now + std::chrono::milliseconds(100)));
        if (lock.depth != 0 && stop.stop_requested()) return nullptr;
    }
}

RunLock::~RunLock() {
    Lock& lock = TheLock();
    {
        const std::lock_guard guard(lock.mutex);
        if (--lock.depth == 0) lock.owner = {};
    }
    lock.freed.notify_all();
}

}  // namespace kestrine::platform
