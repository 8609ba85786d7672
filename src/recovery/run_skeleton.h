#pragma once
// The one outline of every backup, restore and undo: take the run lock (or report busy), make the
// profile whole, remove what ended runs left, make the run's folder, then the plan's beginning, its
// steps and its end, and what the caller does after it, still under the lock. The runs differ only
// in their plan.
#include <chrono>
#include <cstddef>
#include <functional>
#include <stop_token>
#include <string>

#include "app/program_paths.h"
#include "outlook/environment.h"
#include "recovery/undo_set.h"

namespace kestrine::recovery {

// How a run ended. Completed: everything it was asked for; Incomplete: it ended with something to
// show for it, but an item failed (a backup written without it); Failed: nothing of it stays;
// Cancelled: stopped on request; Busy: another backup or restore worked all the while.
enum class RunOutcome { Completed, Incomplete, Failed, Cancelled, Busy };

// What a plan begins with.
struct RunStart {
    const std::string& folder;         // the run's own folder; empty when none could be made
    const RecoveryOutcome& recovered;  // what making the profile whole found
};

// One run's work, which the skeleton drives.
class RunPlan {
  public:
    virtual ~RunPlan() = default;
    // The log line when another run keeps this one out; empty: none.
    virtual std::string BusyLine(const std::string& now) const = 0;
    // False when the run cannot go on: no step runs, and Finish says why.
    virtual bool Begin(const RunStart& start) = 0;
    virtual size_t StepCount() const = 0;
    // A step that does no work (an item not chosen) is never stopped before.
    virtual bool StepRuns(size_t step) const = 0;
    // False ends the run before the later steps.
    virtual bool RunStep(size_t step) = 0;
    // The run's end; `stopped` when a stop was requested before a step that would have run.
    virtual RunOutcome Finish(bool stopped) = 0;
};

// Where a run works, how long it waits for another, and its stop.
struct RunPlace {
    const ProgramPaths& paths;
    const outlook::Environment& env;
    std::chrono::milliseconds waitForOtherRun;
    std::stop_token stop;
};

// What a caller does under the same lock: `before` right before the plan begins, `after` once it
// has finished and its folder is gone.
struct RunHooks {
    std::function<void()> before;
    std::function<void(RunOutcome)> after;
};

// Runs `plan` under the run lock. Busy or Cancelled, with nothing begun, when the lock could not
// be had; otherwise what the plan's Finish says.
RunOutcome RunWithPlan(const RunPlace& place, RunPlan& plan, const RunHooks& hooks = {});

}  // namespace kestrine::recovery
