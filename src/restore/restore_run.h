#pragma once
// A restore run: puts the ticked items of the open backup archive into a target profile, row by row
// in the fixed order, and logs each result. It neither closes Outlook nor the archive, so it can
// run again at once; what is asked, shown or started around it belongs to the caller. It reads
// nothing of the process, so it may run on a thread of its own.
#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "app/program_paths.h"
#include "archive/archive_reader.h"
#include "backup_format/items.h"
#include "backup_format/run_observer.h"
#include "base/status.h"
#include "base/system_error.h"
#include "outlook/environment.h"
#include "recovery/file_replace.h"
#include "recovery/recovery.h"
#include "recovery/run_skeleton.h"
#include "recovery/undo_set.h"
#include "restore/restore_handlers.h"

namespace kestrine::restore {

// What one run restores, from the archive open in the zip component, into which profile.
struct RestoreJob {
    std::string targetProfile;
    backup_format::Choices ticked{};                             // the restore list's ticks
    std::string sourceFile;                                      // the archive, for the log
    std::string itemFlags;                                       // of the open archive
    std::array<std::string, backup_format::kItemCount> entries;  // the manifest values of its items
    std::string dataFileStores;  // which profile section each data file came from, if recorded
    // How long the run waits while another backup or restore works before it gives up.
    std::chrono::milliseconds waitForOtherRun = std::chrono::seconds(30);
};

struct RowResult {
    backup_format::Item item;
    Status status;  // why the row failed, where more is known than that it did
    bool ok() const { return status.ok(); }
};

// Why a restore changed nothing in the end.
enum class TakenBackBecause {
    Nothing,         // it completed (or did not start)
    RowFailed,       // a row failed: `rows` ends with it
    Cancelled,       // the user cancelled between rows
    NoUndoSet,       // what it would replace could not be saved first: no row ran
    EarlierRestore,  // a restore ended midway earlier could not be put back: no row ran
    EndNotRecorded,  // every row ran, but the end could not be written to the disk (a full disk)
    NoRoom           // a drive has too little free space for what the rows would write: no row ran
};

struct RestoreResult {
    // Completed: every row ran and the end is recorded; Cancelled: stopped on request, before the
    // lock was had or between rows (then taken back); Failed: taken back (`takenBack` says why);
    // Busy: another backup or restore worked all the while, nothing ran.
    recovery::RunOutcome outcome = recovery::RunOutcome::Failed;
    std::vector<RowResult> rows;  // the rows that ran, in order
    // Old files that a failed row could not put back where they were, and where they are now.
    std::vector<recovery::KeptOldFile> keptOldFiles;
    // A restore is all or nothing: when it does not complete, every change of its rows goes back.
    TakenBackBecause takenBack = TakenBackBecause::Nothing;
    // The changes could not all go back; the undo set stays and the next start tries again.
    bool takeBackFailed = false;
    // With EndNotRecorded: what the system said of the write that failed.
    base::SystemError endNotWritten;
    // With NoRoom: which drive, how much it needs and has, in words for the user and the log.
    std::string noRoom;
    // A restore ended midway earlier was found and put back before this one began.
    recovery::RecoveryOutcome recovered;
};

// Under the run lock (recovery::RunWithPlan, which first makes the profile whole), saves the target
// profile's key tree and the Options key as a new undo set and runs every row that is ticked and
// whose flag is "1", each file it replaces set aside into the set. When a row fails or the user
// cancels (between rows only, never inside one), every change goes back and no later row runs. Its
// temporary files lie in a folder of its own. The observer hears of each row and each entry
// extracted.
RestoreResult RunRestore(const RestoreJob& job, const outlook::Environment& env,
                         const ProgramPaths& paths, archive::ArchiveReader& zip,
                         const backup_format::RunObserver& observer = {});

// Everything the job will replace or add, row by row in the order of the run.
std::vector<PlannedChange> PreviewRestore(const RestoreJob& job, const outlook::Environment& env,
                                          archive::ArchiveReader& zip);

// "Undo Last Restore": under the run lock like a restore (a restore ended midway is put back
// first), puts the newest finished restore back and logs it. Busy when another run kept it out.
struct UndoResult {
    recovery::RunOutcome outcome = recovery::RunOutcome::Failed;
    recovery::TakeBackOutcome back;
};
UndoResult UndoLastRestoreRun(const ProgramPaths& paths, const outlook::Environment& env,
                              std::chrono::milliseconds waitForOtherRun = std::chrono::seconds(30));

}  // namespace kestrine::restore
