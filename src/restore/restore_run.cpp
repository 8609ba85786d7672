#include "restore/restore_run.h"

#include <algorithm>
#include <new>
#include <optional>

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "app/run_folder.h"
#include "backup_format/manifest.h"
#include "base/own_files.h"
#include "base/path.h"
#include "base/text.h"
#include "outlook/profile_data.h"
#include "platform/system.h"
#include "recovery/file_replace.h"
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
        case TakenBackBecause::NoRoom:
            return "a drive has too little free space";
        case TakenBackBecause::Nothing:
            break;
    }
    return "";
}

// Why the drives cannot hold every file the restore would write, when they cannot: the files of
// one drive count together, weighed at each folder they go into. Old files stay beside the new ones
// until the restore is done, so replacing needs the new sizes in full.
std::optional<std::string> NoRoomForChanges(const std::vector<PlannedChange>& changes) {
    std::vector<std::pair<std::string, uint64_t>> drives;  // root and bytes
    for (const auto& c : changes) {
        if (c.name.empty()) continue;
        const std::string root = base::PathRoot(c.name);
        auto drive = std::find_if(drives.begin(), drives.end(),
                                  [&](const auto& d) { return base::EqualsNoCase(d.first, root); });
        if (drive == drives.end()) drive = drives.insert(drives.end(), {root, 0});
        drive->second += std::min(c.size, UINT64_MAX - drive->second);
    }
    for (const auto& c : changes) {
        if (c.name.empty()) continue;
        const std::string root = base::PathRoot(c.name);
        for (const auto& [driveRoot, bytes] : drives)
            if (base::EqualsNoCase(driveRoot, root))
                if (auto noRoom = recovery::NoRoomFor(base::FolderPart(c.name), bytes))
                    return noRoom;
    }
    return std::nullopt;
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
    RestoreContext ctx{.env = env,
                       .entries = job.entries,
                       .dataFileStores = job.dataFileStores,
                       .zip = zip,
                       .tempFolder = none};
    for (const RestoreRow& row : RestoreRows()) {
        if (!RowSelected(row, job.ticked, job.itemFlags)) continue;
        auto planned = PlanItem(row.item, ctx, job.targetProfile);
        changes.insert(changes.end(), planned.begin(), planned.end());
    }
    return changes;
}

UndoResult UndoLastRestoreRun(const ProgramPaths& paths, std::chrono::milliseconds wait) {
    UndoResult result;
    const recovery::HeldRunLock held = recovery::TakeRunLock(paths, wait);
    if (!held) {
        result.busy = true;
        return result;
    }
    result.outcome = recovery::UndoLastRestore(paths.UndoFolder, recovery::RegistryKeyKeeper());
    const recovery::TakeBackOutcome& out = result.outcome;
    WriteLog(paths.LogFile, out.ok || out.refused ? RestoreUndoneLine(platform::NowText(), out.ok)
                                                  : RestoreNotTakenBackLine(platform::NowText()));
    recovery::LogTakeBackFiles(paths, out.kept, out.notPutBack);
    return result;
}

RestoreResult RunRestore(const RestoreJob& job, const outlook::Environment& env,
                         const ProgramPaths& paths, archive::ArchiveReader& zip,
                         const archive::RunObserver& observer) {
    RestoreResult result;
    auto log = [&](const std::string& line) { WriteLog(paths.LogFile, line); };
    const recovery::HeldRunLock held = recovery::TakeRunLock(
        paths, job.waitForOtherRun, observer.stop,
        [&](const std::string& now) { return RestoreNotStartedLine(now, job.targetProfile); });
    if (!held) {
        result.cancelled = held.cancelled;
        result.busy = held.busy;
        return result;
    }
    RemoveLeftoverRunFolders(paths.TempFolder);
    result.recovered = recovery::MakeProfileWhole(paths, env);
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
    // A drive found full at a later row would take back the rows before it, after the user had
    // waited for them: the whole is weighed first.
    if (auto noRoom = NoRoomForChanges(PreviewRestore(job, env, zip))) {
        result.noRoom = std::move(*noRoom);
        log(RestoreNoRoomLine(platform::NowText(), result.noRoom));
        return endWithout(TakenBackBecause::NoRoom);
    }

    // Everything the rows may change is saved before the first of them runs.
    auto journal = recovery::UndoJournal::Begin(paths.UndoFolder, recovery::RegistryKeyKeeper());
    if (!journal || !journal->SaveKey(outlook::ProfileKey(env.ProfilesRoot, job.targetProfile)) ||
        !journal->SaveKey(outlook::OptionsKey(env.OutlookVersion))) {
        if (journal) journal->TakeBack();
        return endWithout(TakenBackBecause::NoUndoSet);
    }

    archive::Progress progress;
    progress.bytesExpected = ExpectedBytes(job, zip);
    // Where the entry being extracted starts among the run's bytes, and its size.
    uint64_t entryStart = 0, entrySize = 0;
    RestoreContext ctx{.env = env,
                       .entries = job.entries,
                       .dataFileStores = job.dataFileStores,
                       .zip = zip,
                       .tempFolder = work.Path(),
                       .journal = journal.get()};
    ctx.oldFileKept = [&](const recovery::KeptOldFile& kept) {
        result.keptOldFiles.push_back(kept);
        log(RestoreOldFileLine(platform::NowText(), kept.target, kept.oldCopy));
    };
    ctx.extracting = [&](const std::string& name, uint64_t size) {
        entryStart += entrySize;
        entrySize = size;
        progress.file = name;
        progress.bytesDone = entryStart;
        observer.progress(progress);
    };
    // A large entry's bytes as the component extracts them. A restore stops between items, never
    // inside one, so the component gets a token that is never stopped.
    archive::RunZipObserver extraction{std::stop_token()};
    extraction.entryBytes = [&](uint64_t done) {
        progress.bytesDone = entryStart + std::min(done, entrySize);
        observer.progress(progress);
    };
    ctx.extraction = &extraction;
    // A scanner or a sync client holding a target is waited out, and the log says so; a cancel
    // ends the wait, and the row fails.
    ctx.placing.cancelled = [&observer] { return observer.Cancelled(); };
    ctx.placing.waiting = [&](const std::string& from, const std::string& to) {
        // One side is the user's file, the other one of ours beside it.
        const bool fromOurs = base::IsOwnFileName(base::BaseName(from));
        log(RestoreFileHeldLine(platform::NowText(), fromOurs ? to : from));
    };

    for (const RestoreRow& row : RestoreRows()) {
        if (!RowSelected(row, job.ticked, job.itemFlags)) {
            observer.stepFinished(row.item, archive::StepOutcome::NotRun);
            continue;
        }
        if (observer.Cancelled()) {
            result.cancelled = true;
            break;
        }
        observer.stepStarted(row.item);
        progress.item = row.item;
        result.rows.push_back({row.item, RunRow(row, ctx, job.targetProfile)});
        const bool ok = result.rows.back().ok();
        if (row.loggedAs) log(RestoreItemLine(platform::NowText(), LogItemName(*row.loggedAs), ok));
        if (const std::string& cause = result.rows.back().status.message(); !ok && !cause.empty())
            log(ItemCauseLine(platform::NowText(), RowName(row.item), cause));
        observer.stepFinished(row.item,
                              ok ? archive::StepOutcome::Succeeded : archive::StepOutcome::Failed);
        if (!ok) break;
    }
    // All or nothing: the rows that succeeded go back too.
    auto takeBack = [&](TakenBackBecause because) {
        const recovery::TakeBackOutcome back = journal->TakeBack();
        recovery::LogTakeBackFiles(paths, back.kept, back.notPutBack);
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
    recovery::RemoveOldUndoSets(paths.UndoFolder);
    log(RestoreEndLine(platform::NowText(), job.targetProfile));
    return result;
}

}  // namespace kestrine::restore
