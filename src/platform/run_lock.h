#pragma once
// One run at a time: a lock per user, held by the backup or restore that works, so that a
// scheduled backup and a run from the window never work on the same files together, whichever
// process they are in. On Windows it is a file in the user's own Kestrine folder (the local
// application data folder's "Kestrine"), open without sharing while a run holds it: the system
// lets go of it when the holder ends, however it ends, and it depends on no object of the system
// that could go while a run still counts on it.
#include <chrono>
#include <memory>
#include <stop_token>

namespace kestrine::platform {

class RunLock {
  public:
    // Takes the lock, waiting up to `wait` while another run holds it and asking `stop` between
    // short waits. Nothing when the wait ran out or a stop was requested, and nothing when the lock
    // cannot be had at all (no run then works unlocked: it is refused as busy). A lock whose
    // holder was ended without releasing it is free. The thread that took it keeps it until the
    // object goes, and may take it again meanwhile; other threads wait as other processes do.
    static std::unique_ptr<RunLock> Take(std::chrono::milliseconds wait, std::stop_token stop = {});
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

  private:
    RunLock() = default;
};

}  // namespace kestrine::platform
