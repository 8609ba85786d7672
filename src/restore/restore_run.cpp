#include "restore/restore_run.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "backup_format/manifest.h"
#include "base/own_files.h"
#include "base/path.h"
#include "base/text.h"
#include "outlook/profile_data.h"
#include "platform/system.h"
#include "recovery/file_replace.h"
#include "recovery/run_skeleton.h"
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
        const std::string& value = job.entries[backup_format::IndexOf(row.item)];
        for (const auto& name : backup_format::SplitStagingList(base::CutAtNul(value)))
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

// One restore as the run skeleton drives it: the undo set begun, one step per row, and the end
// recorded, or every change taken back.
class RestorePlan final : public recovery::RunPlan {
  public:
    RestorePlan(const RestoreJob& job, const outlook::Environment& env, const ProgramPaths& paths,
                archive::ArchiveReader& zip, const backup_format::RunObserver& observer)
        : job_(job), env_(env), paths_(paths), zip_(zip), observer_(observer) {}

    RestoreResult& Result() { return result_; }

    std::string BusyLine(const std::string& now) const override {
        return RestoreNotStartedLine(now, job_.targetProfile);
    }

    bool Begin(const recovery::RunStart& start) override {
        work_ = start.folder;
        result_.recovered = start.recovered;
        Log(LogSeparatorLine());
        Log(RestoreStartLine(platform::NowText(), job_.targetProfile));
        Log(RestoreFileLine(platform::NowText(), job_.sourceFile));
        if (!result_.recovered.ok) return EndWithout(TakenBackBecause::EarlierRestore);
        // A drive found full at a later row would take back the rows before it, after the user
        // had waited for them: the whole is weighed first.
        if (auto noRoom = NoRoomForChanges(PreviewRestore(job_, env_, zip_))) {
            result_.noRoom = std::move(*noRoom);
            Log(RestoreNoRoomLine(platform::NowText(), result_.noRoom));
            return EndWithout(TakenBackBecause::NoRoom);
        }
        // Everything the rows may change is saved before the first of them runs.
        journal_ = recovery::UndoJournal::Begin(paths_.UndoFolder, recovery::RegistryKeyKeeper());
        if (!journal_ ||
            !journal_->SaveKey(outlook::ProfileKey(env_.ProfilesRoot, job_.targetProfile)) ||
            !journal_->SaveKey(outlook::OptionsKey(env_.OutlookVersion))) {
            if (journal_) journal_->TakeBack();
            journal_.reset();
            return EndWithout(TakenBackBecause::NoUndoSet);
        }
        progress_.bytesExpected = ExpectedBytes(job_, zip_);
        FollowTheRows();
        return true;
    }

    size_t StepCount() const override { return RestoreRows().size(); }
    bool StepRuns(size_t step) const override {
        return RowSelected(RestoreRows()[step], job_.ticked, job_.itemFlags);
    }

    // A restore stops at its first failed row: all or nothing.
    bool RunStep(size_t step) override {
        const RestoreRow& row = RestoreRows()[step];
        if (!StepRuns(step)) {
            observer_.stepFinished(row.item, backup_format::StepOutcome::NotRun);
            return true;
        }
        observer_.stepStarted(row.item);
        progress_.item = row.item;
        result_.rows.push_back({row.item, RunRow(row, *ctx_, job_.targetProfile)});
        const bool ok = result_.rows.back().ok();
        if (row.loggedAs) Log(RestoreItemLine(platform::NowText(), LogItemName(*row.loggedAs), ok));
        if (const std::string& cause = result_.rows.back().status.message(); !ok && !cause.empty())
            Log(ItemCauseLine(platform::NowText(), RowName(row.item), cause));
        observer_.stepFinished(row.item, ok ? backup_format::StepOutcome::Succeeded
                                            : backup_format::StepOutcome::Failed);
        return ok;
    }

    recovery::RunOutcome Finish(bool stopped) override {
        if (!journal_) return recovery::RunOutcome::Failed;  // ended before its first row
        const bool failed = !result_.rows.empty() && !result_.rows.back().ok();
        if (failed || stopped)
            return TakeBack(failed ? TakenBackBecause::RowFailed : TakenBackBecause::Cancelled);
        // A restore whose end is not on the disk would be taken back at the next start, unasked:
        // it goes back now, while the user is told.
        if (!journal_->Finish()) {
            result_.endNotWritten = journal_->WriteError();
            return TakeBack(TakenBackBecause::EndNotRecorded);
        }
        journal_.reset();
        recovery::RemoveOldUndoSets(paths_.UndoFolder);
        Log(RestoreEndLine(platform::NowText(), job_.targetProfile));
        return recovery::RunOutcome::Completed;
    }

  private:
    // The rows' context: the run's folder and undo set, the progress of each entry, and the log
    // lines of what the rows meet.
    void FollowTheRows() {
        ctx_.emplace(RestoreContext{.env = env_,
                                    .entries = job_.entries,
                                    .dataFileStores = job_.dataFileStores,
                                    .zip = zip_,
                                    .tempFolder = work_,
                                    .journal = journal_.get()});
        ctx_->oldFileKept = [this](const recovery::KeptOldFile& kept) {
            result_.keptOldFiles.push_back(kept);
            Log(RestoreOldFileLine(platform::NowText(), kept.target, kept.oldCopy));
        };
        ctx_->extracting = [this](const std::string& name, uint64_t size) {
            entryStart_ += entrySize_;
            entrySize_ = size;
            progress_.file = name;
            progress_.bytesDone = entryStart_;
            observer_.progress(progress_);
        };
        // A large entry's bytes as the component extracts them. A restore stops between items,
        // never inside one, so the component gets a token that is never stopped.
        extraction_.entryBytes = [this](uint64_t done) {
            progress_.bytesDone = entryStart_ + std::min(done, entrySize_);
            observer_.progress(progress_);
        };
        ctx_->extraction = &extraction_;
        // A scanner or a sync client holding a target is waited out, and the log says so; a
        // cancel ends the wait, and the row fails.
        ctx_->placing.cancelled = [this] { return observer_.Cancelled(); };
        ctx_->placing.waiting = [this](const std::string& from, const std::string& to) {
            // One side is the user's file, the other one of ours beside it.
            const bool fromOurs = base::IsOwnFileName(base::BaseName(from));
            Log(RestoreFileHeldLine(platform::NowText(), fromOurs ? to : from));
        };
    }

    bool EndWithout(TakenBackBecause because) {
        result_.takenBack = because;
        Log(RestoreTakenBackLine(platform::NowText(), Why(because)));
        Log(RestoreNotCompletedLine(platform::NowText(), job_.targetProfile));
        return false;
    }

    // All or nothing: the rows that succeeded go back too.
    recovery::RunOutcome TakeBack(TakenBackBecause because) {
        const recovery::TakeBackOutcome back = journal_->TakeBack();
        journal_.reset();
        recovery::LogTakeBackFiles(paths_, back.kept, back.notPutBack);
        if (!back.ok) {
            result_.takeBackFailed = true;
            Log(RestoreNotTakenBackLine(platform::NowText()));
        }
        EndWithout(because);
        return because == TakenBackBecause::Cancelled ? recovery::RunOutcome::Cancelled
                                                      : recovery::RunOutcome::Failed;
    }

    void Log(const std::string& line) const { WriteLog(paths_.LogFile, line); }

    const RestoreJob& job_;
    const outlook::Environment& env_;
    const ProgramPaths& paths_;
    archive::ArchiveReader& zip_;
    const backup_format::RunObserver& observer_;
    std::string work_;
    std::unique_ptr<recovery::UndoJournal> journal_;
    std::optional<RestoreContext> ctx_;
    backup_format::RunZipObserver extraction_{std::stop_token()};
    backup_format::Progress progress_;
    // Where the entry being extracted starts among the run's bytes, and its size.
    uint64_t entryStart_ = 0, entrySize_ = 0;
    RestoreResult result_;
};

// "Undo Last Restore" as the run skeleton drives it: one step, the newest finished set put back.
class UndoPlan final : public recovery::RunPlan {
  public:
    explicit UndoPlan(const ProgramPaths& paths) : paths_(paths) {}
    const recovery::TakeBackOutcome& Back() const { return back_; }

    std::string BusyLine(const std::string&) const override { return {}; }
    bool Begin(const recovery::RunStart&) override { return true; }
    size_t StepCount() const override { return 1; }
    bool StepRuns(size_t) const override { return true; }
    bool RunStep(size_t) override {
        back_ = recovery::UndoLastRestore(paths_.UndoFolder, recovery::RegistryKeyKeeper());
        WriteLog(paths_.LogFile, back_.ok || back_.refused
                                     ? RestoreUndoneLine(platform::NowText(), back_.ok)
                                     : RestoreNotTakenBackLine(platform::NowText()));
        recovery::LogTakeBackFiles(paths_, back_.kept, back_.notPutBack);
        return back_.ok;
    }
    recovery::RunOutcome Finish(bool) override {
        return back_.ok ? recovery::RunOutcome::Completed : recovery::RunOutcome::Failed;
    }

  private:
    const ProgramPaths& paths_;
    recovery::TakeBackOutcome back_;
};

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

UndoResult UndoLastRestoreRun(const ProgramPaths& paths, const outlook::Environment& env,
                              std::chrono::milliseconds wait) {
    UndoPlan plan(paths);
    UndoResult result;
    result.outcome = recovery::RunWithPlan({paths, env, wait, {}}, plan);
    result.back = plan.Back();
    return result;
}

RestoreResult RunRestore(const RestoreJob& job, const outlook::Environment& env,
                         const ProgramPaths& paths, archive::ArchiveReader& zip,
                         const backup_format::RunObserver& observer) {
    RestorePlan plan(job, env, paths, zip, observer);
    RestoreResult& result = plan.Result();
    result.outcome = recovery::RunWithPlan({paths, env, job.waitForOtherRun, observer.stop}, plan);
    return result;
}

}  // namespace kestrine::restore
