#pragma once
// A backup run: the manifest, the archive and the eleven steps, with the activity log's lines. The
// interactive and the unattended run both start it; what they ask, show or start around it belongs
// to them. It reads nothing of the process: the job and the paths say everything it needs, so it
// may run on a thread of its own.
#include <array>
#include <chrono>
#include <functional>
#include <string>

#include "app/app_state.h"
#include "app/program_paths.h"
#include "archive/zip_types.h"
#include "backup_format/backup_contents.h"
#include "backup_format/items.h"
#include "backup_format/run_observer.h"
#include "outlook/environment.h"
#include "outlook/locations.h"
#include "recovery/run_skeleton.h"

namespace kestrine::backup {

// What one run backs up, from where, and into which archive.
struct BackupJob {
    std::string archivePath;
    std::string profile;
    backup_format::Choices chosen{};
    std::string password;  // empty: the archive is not protected
    // An earlier backup whose unchanged pieces the new archive may take over instead of
    // compressing them again (only where they prove byte for byte equal); empty: the archive at
    // `archivePath` that the new one replaces, when there is one.
    std::string earlierArchive;
    std::string note;         // the manifest's note; CR LF allowed
    bool unattended = false;  // logs the scheduled run's lines
    // Read the finished archive back whole before it replaces an older one at its path.
    bool verify = false;
    // How long the run waits while another backup or restore works before it gives up.
    std::chrono::milliseconds waitForOtherRun = std::chrono::seconds(30);
    // Facts that the manifest records.
    std::string computerName;
    std::string userName;
    std::string outlookName;
    // Where the items' data lies.
    std::string profilesRoot;
    outlook::ItemLocations locations;
};

// The job of backing up `profile`'s `chosen` items into `archivePath`, from the profile's item
// `locations` with the facts start-up learnt (`state`): the window's and the unattended run's
// alike. It is read back whole when the setting `checkbackupfile`, or a policy over it, says so.
BackupJob BackupJobFor(const AppState& state, const outlook::ItemLocations& locations,
                       const std::string& profile, const backup_format::Choices& chosen,
                       const std::string& archivePath);

// Whether the finished archive was read back whole and checked before it replaced anything.
enum class BackupCheck { NotAsked, Passed, Failed };  // NotAsked also when it never finished

struct BackupResult {
    // Completed: the new archive is in place and holds every chosen item (read as the manifest
    // says: HoldsAllChosen); Incomplete: in place, but an item failed; Failed: no archive was
    // written; Cancelled: stopped on request, no archive was written; Busy: another backup or
    // restore worked all the while, nothing was done.
    recovery::RunOutcome outcome = recovery::RunOutcome::Failed;
    BackupCheck check = BackupCheck::NotAsked;  // Failed: it replaced nothing
    std::string error;                          // the cause when the archive was not written
    // Windows Security's controlled folder access kept the archive out of this folder.
    std::string blockedFolder;
    std::array<backup_format::StepOutcome, backup_format::kItemCount>
        outcomes{};  // in the order of the steps
    std::string itemFlags;
    // Where the archive went: the job's path, or beside it under a dated name when an item failed
    // and the file at the job's path was a complete backup, which then stays (`keptArchive`).
    std::string archivePath;
    std::string keptArchive;
    // What the backup holds and what it cannot hold (its manifest's BackupContents).
    backup_format::BackupContents contents;
    // Personal Folders was chosen, but the profile keeps its mail on a server only: no data file
    // to back up, which is no failure.
    bool mailOnServer = false;

    // The new archive is complete and in place, with every item or not.
    bool Written() const {
        return outcome == recovery::RunOutcome::Completed ||
               outcome == recovery::RunOutcome::Incomplete;
    }
};

// What a caller does under the run's lock: `before` may still change the job (its archive's name,
// the earlier archive) once no other run can pick the same; `after` sees the result.
struct BackupHooks {
    std::function<void(BackupJob&)> before;
    std::function<void(const BackupResult&)> after;
};

// Under the run lock (recovery::RunWithPlan: a half-restored profile is put back before anything
// of it is read), writes the manifest's header, logs the run's first lines, creates the archive,
// runs the chosen steps (each adds its files and, when all went in, its manifest line), adds the
// manifest as the last entry and writes the archive, checked first when the job asks; then logs
// the end line. An older file at the archive path is replaced only by a complete (and checked) new
// archive, and a complete backup there never by one that failed an item. The run's temporary
// files, in a folder of its own, are deleted on every path out. The observer hears of each step
// and file; a cancellation abandons the archive.
BackupResult BackupUnderLock(BackupJob job, const BackupHooks& hooks,
                             const outlook::Environment& env, const ProgramPaths& paths,
                             const archive::ZipOptions& zip,
                             const backup_format::RunObserver& observer = {});
// The same run with nothing more under its lock.
BackupResult RunBackup(const BackupJob& job, const outlook::Environment& env,
                       const ProgramPaths& paths, const archive::ZipOptions& zip,
                       const backup_format::RunObserver& observer = {});

}  // namespace kestrine::backup
