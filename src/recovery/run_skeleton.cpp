#include "recovery/run_skeleton.h"

#include "app/run_folder.h"
#include "recovery/recovery.h"

namespace kestrine::recovery {

RunOutcome RunWithPlan(const RunPlace& place, RunPlan& plan, const RunHooks& hooks) {
    const HeldRunLock held =
        TakeRunLock(place.paths, place.waitForOtherRun, place.stop,
                    [&plan](const std::string& now) { return plan.BusyLine(now); });
    if (!held) return held.busy ? RunOutcome::Busy : RunOutcome::Cancelled;
    RunOutcome outcome = RunOutcome::Failed;
    {
        // A half-restored profile is never backed up nor restored over: it is put back first.
        const RecoveryOutcome recovered = MakeProfileWhole(place.paths, place.env);
        RemoveLeftoverRunFolders(place.paths.TempFolder);
        const RunFolder folder(place.paths.TempFolder);
        if (hooks.before) hooks.before();
        bool stopped = false;
        if (plan.Begin({folder.Path(), recovered})) {
            for (size_t step = 0; step < plan.StepCount(); ++step) {
                if (plan.StepRuns(step) && place.stop.stop_requested()) {
                    stopped = true;
                    break;
                }
                if (!plan.RunStep(step)) break;
            }
        }
        outcome = plan.Finish(stopped);
    }
    if (hooks.after) hooks.after(outcome);
    return outcome;
}

}  // namespace kestrine::recovery
