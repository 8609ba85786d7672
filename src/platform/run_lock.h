#pragma once
// One run at a time: a system-wide lock per user, held by the backup or restore that works, so that
// a scheduled backup and a run from the window never work on the same files together, whichever
// process they are in. It lives where no other user can make it first.
#include <chrono>
#include <functional>
#include <memory>

namespace kestrine::platform {

class RunLock {
  public:
    // Takes the lock, waiting up to `wait` while another run holds it and asking `stop` between
    // short waits. Nothing when the wait ran out or `stop` said yes. A lock whose holder was ended
    // without releasing it is free, and so is one the system cannot make. The thread that took it
    // keeps it until the object goes.
    static std::unique_ptr<RunLock> Take(std::chrono::milliseconds wait,
                                         const std::function<bool()>& stop = {});
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

  private:
    RunLock(void* handle, void* space) : handle_(handle), space_(space) {}
    void* handle_;
    void* space_;  // the user's private namespace the lock lives in, when it does
};

}  // namespace kestrine::platform
