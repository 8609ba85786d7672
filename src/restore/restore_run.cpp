#include "restore/restore_run.h"

#include <algorithm>

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "app/run_folder.h"
#include "archive/manifest.h"
#include "archive/zip_events_scope.h"
#include "base/text.h"
#include "platform/run_lock.h"
#include "platform/system.h"
#include "restore/restore_handlers.h"
#include "restore/restore_rows.h"

namespace kestrine::restore {

namespace {

// The bytes that the rows of the run will extract, for the progress.
uint64_t ExpectedBytes(const RestoreJob& job, const archive::ZipComponent& zip) {
    uint64_t total = 0;
    for (const RestoreRow& row : RestoreRows()) {
        if (!RowSelected(row, job.ticked, job.itemFlags)) continue;
        const std::string& value = job.entries[archive::IndexOf(row.item)];
        for (const auto& name : archive::SplitStagingList(base::CutAtNul(value)))
            if (auto entry = zip.FindEntry(base::TrimSpaces(name)))
                total += entry->uncompressedSize;
    }
    return total;
}

}  // namespace

RestoreResult RunRestore(const RestoreJob& job, const outlook::Environment& env,
                         const ProgramPaths& paths, archive::ZipComponent& zip,
                         const archive::RunObserver& observer) {
    RestoreResult result;
    auto log = [&](const std::string& line) { WriteLog(paths.LogFile, line); };
    const auto lock = platform::RunLock::Take(job.waitForOtherRun, observer.cancelRequested);
    if (!lock) {
        result.cancelled = observer.Cancelled();
        result.busy = !result.cancelled;
        if (result.busy) log(RestoreNotStartedLine(platform::NowText(), job.targetProfile));
        return result;
    }
    RemoveLeftoverRunFolders(paths.TempFolder);
    for (const auto& folder : RestoreFolders(env)) RecoverInterruptedRestore(folder);
    const RunFolder work(paths.TempFolder);
    log(LogSeparatorLine());
    log(RestoreStartLine(platform::NowText(), job.targetProfile));
    log(RestoreFileLine(platform::NowText(), job.sourceFile));

    archive::Progress progress;
    progress.bytesExpected = ExpectedBytes(job, zip);
    // Where the entry being extracted starts among the run's bytes, and its size.
    uint64_t entryStart = 0, entrySize = 0;
    RestoreContext ctx{env, job.entries, job.dataFileStores, zip, work.Path(), nullptr, nullptr};
    ctx.oldFileKept = [&](const KeptOldFile& kept) {
        result.keptOldFiles.push_back(kept);
        log(RestoreOldFileLine(platform::NowText(), kept.target, kept.oldCopy));
    };
    ctx.extracting = [&](const std::string& name, uint64_t size) {
        entryStart += entrySize;
        entrySize = size;
        progress.file = name;
        progress.bytesDone = entryStart;
        if (observer.progress) observer.progress(progress);
    };
    // A large entry's bytes as the component extracts them.
    archive::ZipEventsScope events(zip);
    zip.Events().EntryProgress = [&](const std::string&, uint64_t done, uint64_t) {
        progress.bytesDone = entryStart + std::min(done, entrySize);
        if (observer.progress) observer.progress(progress);
    };

    for (const RestoreRow& row : RestoreRows()) {
        if (!RowSelected(row, job.ticked, job.itemFlags)) {
            if (observer.stepFinished)
                observer.stepFinished(row.item, archive::StepOutcome::NotRun);
            continue;
        }
        if (observer.Cancelled()) {
            result.cancelled = true;
            break;
        }
        if (observer.stepStarted) observer.stepStarted(row.item);
        progress.item = row.item;
        const bool ok = RunRestoreHandler(row.item, ctx, job.targetProfile);
        result.rows.push_back({row.item, ok});
        if (row.loggedAs) log(RestoreItemLine(platform::NowText(), LogItemName(*row.loggedAs), ok));
        if (observer.stepFinished)
            observer.stepFinished(
                row.item, ok ? archive::StepOutcome::Succeeded : archive::StepOutcome::Failed);
    }
    log(result.cancelled ? RestoreNotCompletedLine(platform::NowText(), job.targetProfile)
                         : RestoreEndLine(platform::NowText(), job.targetProfile));
    return result;
}

}  // namespace kestrine::restore
