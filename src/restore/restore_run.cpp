#include "restore/restore_run.h"

#include <algorithm>
#include <new>

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "app/run_folder.h"
#include "backup_format/manifest.h"
#include "base/text.h"
#include "outlook/profile_data.h"
#include "platform/registry_access.h"
#include "platform/run_lock.h"
#include "platform/system.h"
#include "registry/registry.h"
#include "restore/restore_handlers.h"
#include "restore/restore_rows.h"

namespace kestrine::restore {

namespace {

// The bytes that the rows of the run will extract, for the progress.
uint64_t ExpectedBytes(const RestoreJob& job, const archive::ArchiveReader& zip) {
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

const char* Why(TakenBackBecause because) {
    switch (because) {
        case TakenBackBecause::RowFailed:
            return "an item failed";
        case TakenBackBecause::Cancelled:
            return "cancelled";
        case TakenBackBecause::NoUndoSet:
            return "what it would replace could not be saved";
        case TakenBackBecause::EarlierRestore:
            return "an earlier restore could not be put back";
        case TakenBackBecause::EndNotRecorded:
            return "its end could not be written to the disk";
        case TakenBackBecause::Nothing:
            break;
    }
    return "";
}

// One row's item put back. Memory may run out inside a row (a large entry's buffers): the row
// fails, so the undo set takes the whole restore back.
Status RunRow(const RestoreRow& row, const RestoreContext& ctx, const std::string& profile) {
    try {
        return RestoreItem(row.item, ctx, profile);
    } catch (const std::bad_alloc&) {
        return Status::Fail(Failure::WriteFailed, "There was not enough memory for the item.");
    }
}

}  // namespace

std::vector<PlannedChange> PreviewRestore(const RestoreJob& job, const outlook::Environment& env,
                                          archive::ArchiveReader& zip) {
    std::vector<PlannedChange> changes;
    const std::string none;
    RestoreContext ctx{env, job.entries, job.dataFileStores, zip, none, nullptr, nullptr, nullptr};
    for (const RestoreRow& row : RestoreRows()) {
        if (!RowSelected(row, job.ticked, job.itemFlags)) continue;
        auto planned = PlanItem(row.item, ctx, job.targetProfile);
        changes.insert(changes.end(), planned.begin(), planned.end());
    }
    return changes;
}

KeyKeeper RegistryKeyKeeper() {
    // A tree saved in a form the importer refuses could not be put back: such a save fails.
    auto save = [](const std::string& key, const std::string& file) {
        return registry::ExportKey(key, file) && registry::ExportFileIsImportable(file);
    };
    // Profiles and Outlook's options are the user's: their hive is HKEY_CURRENT_USER.
    auto flush = [] {
        return platform::FlushRegistryRoot(registry::GetRootKey("HKEY_CURRENT_USER")) ==
               platform::kRegSuccess;
    };
    return {registry::KeyExists, save, registry::ImportKey, registry::DeleteKeyTree, flush};
}

void LogTakeBackFiles(const ProgramPaths& paths, const std::vector<KeptFile>& kept,
                      const std::vector<NotPutBack>& notPutBack) {
    for (const auto& k : kept)
        WriteLog(paths.LogFile, RestoreKeptFileLine(platform::NowText(), k.target, k.keptAs,
                                                    k.changedSinceRestore));
    for (const auto& n : notPutBack)
        WriteLog(paths.LogFile, RestoreNotPutBackLine(platform::NowText(), n.target, n.oldCopy));
}

bool KeepProfileAsItIs(const ProgramPaths& paths) {
    const bool ok = AbandonUnfinishedRestores(paths.UndoFolder);
    WriteLog(paths.LogFile, RestoreAbandonedLine(platform::NowText(), ok));
    return ok;
}

RecoveryOutcome RecoverAfterCrash(const ProgramPaths& paths, const outlook::Environment& env) {
    RecoveryOutcome recovered = RecoverUnfinishedRestores(paths.UndoFolder, RegistryKeyKeeper());
    for (const auto& folder : RestoreFolders(env)) RecoverInterruptedRestore(folder);
    if (recovered.sets > 0)
        WriteLog(paths.LogFile, RestoreRecoveredLine(platform::NowText(), recovered.ok));
    LogTakeBackFiles(paths, recovered.kept, recovered.notPutBack);
    return recovered;
}

UndoResult UndoLastRestoreRun(const ProgramPaths& paths, std::chrono::milliseconds wait) {
    UndoResult result;
    const auto lock = platform::RunLock::Take(wait);
    if (!lock) {
        result.busy = true;
        return result;
    }
    result.outcome = UndoLastRestore(paths.UndoFolder, RegistryKeyKeeper());
    const TakeBackOutcome& out = result.outcome;
    WriteLog(paths.LogFile, out.ok || out.refused ? RestoreUndoneLine(platform::NowText(), out.ok)
                                                  : RestoreNotTakenBackLine(platform::NowText()));
    LogTakeBackFiles(paths, out.kept, out.notPutBack);
    return result;
}

RestoreResult RunRestore(const RestoreJob& job, const outlook::Environment& env,
                         const ProgramPaths& paths, archive::ArchiveReader& zip,
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
    result.recovered = RecoverAfterCrash(paths, env);
    const RunFolder work(paths.TempFolder);
    log(LogSeparatorLine());
    log(RestoreStartLine(platform::NowText(), job.targetProfile));
    log(RestoreFileLine(platform::NowText(), job.sourceFile));
    auto endWithout = [&](TakenBackBecause because) {
        result.takenBack = because;
        log(RestoreTakenBackLine(platform::NowText(), Why(because)));
        log(RestoreNotCompletedLine(platform::NowText(), job.targetProfile));
        return result;
    };
    if (!result.recovered.ok) return endWithout(TakenBackBecause::EarlierRestore);

    // Everything the rows may change is saved before the first of them runs.
    auto journal = UndoJournal::Begin(paths.UndoFolder, RegistryKeyKeeper());
    if (!journal || !journal->SaveKey(outlook::ProfileKey(env.ProfilesRoot, job.targetProfile)) ||
        !journal->SaveKey(outlook::OptionsKey(env.OutlookVersion))) {
        if (journal) journal->TakeBack();
        return endWithout(TakenBackBecause::NoUndoSet);
    }

    archive::Progress progress;
    progress.bytesExpected = ExpectedBytes(job, zip);
    // Where the entry being extracted starts among the run's bytes, and its size.
    uint64_t entryStart = 0, entrySize = 0;
    RestoreContext ctx{env,     job.entries, job.dataFileStores, zip, work.Path(),
                       nullptr, nullptr,     journal.get()};
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
    // A large entry's bytes as the component extracts them. A restore stops between items, never
    // inside one, so the component is not asked to stop.
    struct ExtractionProgress final : archive::ZipObserver {
        std::function<void(uint64_t)> bytes;
        void EntryProgress(const std::string&, uint64_t done, uint64_t) override { bytes(done); }
    } extraction;
    extraction.bytes = [&](uint64_t done) {
        progress.bytesDone = entryStart + std::min(done, entrySize);
        if (observer.progress) observer.progress(progress);
    };
    ctx.extraction = &extraction;

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
        result.rows.push_back({row.item, RunRow(row, ctx, job.targetProfile)});
        const bool ok = result.rows.back().ok();
        if (row.loggedAs) log(RestoreItemLine(platform::NowText(), LogItemName(*row.loggedAs), ok));
        if (observer.stepFinished)
            observer.stepFinished(
                row.item, ok ? archive::StepOutcome::Succeeded : archive::StepOutcome::Failed);
        if (!ok) break;
    }
    // All or nothing: the rows that succeeded go back too.
    auto takeBack = [&](TakenBackBecause because) {
        const TakeBackOutcome back = journal->TakeBack();
        LogTakeBackFiles(paths, back.kept, back.notPutBack);
        if (!back.ok) {
            result.takeBackFailed = true;
            log(RestoreNotTakenBackLine(platform::NowText()));
        }
        return endWithout(because);
    };
    const bool failed = !result.rows.empty() && !result.rows.back().ok();
    if (failed || result.cancelled)
        return takeBack(failed ? TakenBackBecause::RowFailed : TakenBackBecause::Cancelled);
    // A restore whose end is not on the disk would be taken back at the next start, unasked: it
    // goes back now, while the user is told.
    if (!journal->Finish()) return takeBack(TakenBackBecause::EndNotRecorded);
    journal.reset();
    RemoveOldUndoSets(paths.UndoFolder);
    log(RestoreEndLine(platform::NowText(), job.targetProfile));
    return result;
}

}  // namespace kestrine::restore
