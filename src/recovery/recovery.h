#pragma once
// What comes before every backup, restore and undo, and before the window's first use: the user's
// one run lock, and the profile made whole again after a restore that was ended midway.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/program_paths.h"
#include "outlook/environment.h"
#include "platform/run_lock.h"
#include "recovery/undo_set.h"

namespace kestrine::recovery {

// The run lock as a run takes it: held for the run's life, or why not.
struct HeldRunLock {
    std::unique_ptr<platform::RunLock> lock;
    bool cancelled = false;  // the wait was stopped on request
    bool busy = false;       // another backup or restore worked all the while
    explicit operator bool() const { return lock != nullptr; }
};

// The log line that says a run did not start because another worked, made of the time; empty:
// none.
using BusyLine = std::function<std::string(const std::string& now)>;

// Takes the run lock, waiting up to `wait` while another run holds it and stopping when `stop` is
// requested. A run kept out by another is logged with `busyLine` (nothing when empty); a
// cancelled wait is not.
HeldRunLock TakeRunLock(const ProgramPaths& paths, std::chrono::milliseconds wait,
                        std::stop_token stop = {}, const BusyLine& busyLine = {});

// Makes the profile whole before a run, with the run lock held: every restore that was ended
// midway is put back (its undo set, and its files in every folder a restore writes to), and the
// log says what was put back, kept, or could not be put back. Not `ok` when something could not:
// no backup or restore runs then.
RecoveryOutcome MakeProfileWhole(const ProgramPaths& paths, const outlook::Environment& env);

// The user keeps the profile as it is after a restore could not be put back: the sets that are not
// finished are abandoned, so that backups go on; the log says so. With the run lock held.
bool KeepProfileAsItIs(const ProgramPaths& paths);

// The registry's export and import, for undo sets, and the flush of the user's hive.
KeyKeeper RegistryKeyKeeper();

// The folders a restore writes files to.
std::vector<std::string> RestoreFolders(const outlook::Environment& env);

// The log lines of a take-back: each file it kept, and what it could not put back with where its
// old content lies.
void LogTakeBackFiles(const ProgramPaths& paths, const std::vector<KeptFile>& kept,
                      const std::vector<NotPutBack>& notPutBack);

}  // namespace kestrine::recovery
