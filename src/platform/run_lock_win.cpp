#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "base/path.h"
#include "platform/run_lock.h"
#include "platform/system.h"
#include "platform/win32_path.h"

namespace kestrine::platform {

namespace {

// The process's hold on the lock file: the thread that holds it, how often it took it, the file.
struct Holder {
    std::mutex mutex;
    std::condition_variable freed;
    std::thread::id owner;
    int depth = 0;
    HANDLE file = INVALID_HANDLE_VALUE;
};

Holder& TheHolder() {
    static Holder holder;
    return holder;
}

// "kestrine.lock" in the user's Kestrine folder (made when missing); empty when the shell names no
// local application data folder. The folder is the user's alone, so nobody else can hold the file
// to keep the user's runs out.
std::string LockFilePath() {
    const std::string local = LocalAppDataFolder();
    if (local.empty()) return {};
    const std::string folder = base::JoinPath(local, "Kestrine");
    CreateDirectoryW(Win32Path(folder).c_str(), nullptr);
    return base::JoinPath(folder, "kestrine.lock");
}

// Opened without sharing: while one run has it open, every other open fails (a sharing
// violation). The file stays between runs; only the open handle is the lock.
HANDLE OpenLockFile(const std::string& path) {
    return CreateFileW(Win32Path(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::unique_ptr<RunLock> RunLock::Take(std::chrono::milliseconds wait, std::stop_token stop) {
    Holder& holder = TheHolder();
    const auto deadline = std::chrono::steady_clock::now() + wait;
    const std::string path = LockFilePath();
    std::unique_lock guard(holder.mutex);
    for (;;) {
        if (holder.depth > 0 && holder.owner == std::this_thread::get_id()) {
            ++holder.depth;
            return std::unique_ptr<RunLock>(new RunLock());
        }
        if (holder.depth == 0 && !path.empty()) {
            const HANDLE file = OpenLockFile(path);
            if (file != INVALID_HANDLE_VALUE) {
                holder.file = file;
                holder.owner = std::this_thread::get_id();
                holder.depth = 1;
                return std::unique_ptr<RunLock>(new RunLock());
            }
        }
        // Held by another run (or not to be had at all): tried again after a short wait, or as
        // soon as a thread of this process lets go of it.
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return nullptr;
        holder.freed.wait_until(guard, std::min(deadline, now + std::chrono::milliseconds(100)));
        if (stop.stop_requested()) return nullptr;
    }
}

RunLock::~RunLock() {
    Holder& holder = TheHolder();
    {
        const std::lock_guard guard(holder.mutex);
        if (--holder.depth == 0) {
            holder.owner = {};
            CloseHandle(holder.file);
            holder.file = INVALID_HANDLE_VALUE;
        }
    }
    holder.freed.notify_all();
}

}  // namespace kestrine::platform
