#include <windows.h>

#include <algorithm>

#include "platform/run_lock.h"
#include "platform/system.h"
#include "platform/text.h"

namespace kestrine::platform {

std::unique_ptr<RunLock> RunLock::Take(std::chrono::milliseconds wait,
                                       const std::function<bool()>& stop) {
    // In the global namespace, so that a task the scheduler runs in another session meets the
    // user's window; one lock per user, whose runs share files.
    const std::wstring name = L"Kestrine.Run." + Widen(UserName());
    HANDLE mutex = CreateMutexW(nullptr, FALSE, (L"Global\\" + name).c_str());
    if (!mutex) mutex = CreateMutexW(nullptr, FALSE, (L"Local\\" + name).c_str());
    // A lock the system cannot make at all must not keep every run from working.
    if (!mutex) return std::unique_ptr<RunLock>(new RunLock(nullptr));
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(wait.count());
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD slice =
            now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 100));
        const DWORD result = WaitForSingleObject(mutex, slice);
        // Abandoned: the holder was ended midway; what it left is the next run's to remove.
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
            return std::unique_ptr<RunLock>(new RunLock(mutex));
        if (result != WAIT_TIMEOUT || GetTickCount64() >= deadline || (stop && stop())) break;
    }
    CloseHandle(mutex);
    return nullptr;
}

RunLock::~RunLock() {
    if (!handle_) return;
    ReleaseMutex(handle_);
    CloseHandle(handle_);
}

}  // namespace kestrine::platform
