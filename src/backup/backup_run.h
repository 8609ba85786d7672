#pragma once
// A backup run: the manifest, the archive and the eleven steps, with the activity log's lines. The
// interactive and the unattended run both start it; what they ask, show or start around it belongs
// to them. It reads nothing of the process: the job and the paths say everything it needs, so it
// may run on a thread of its own.
#include <array>
#include <string>

#include "app/program_paths.h"
#include "archive/items.h"
#include "archive/run_observer.h"
#include "archive/zip_component.h"
#include "outlook/locations.h"

namespace kestrine::backup {

// What one run backs up, from where, and into which archive.
struct BackupJob {
    std::string archivePath;
    std::string profile;
    archive::Choices chosen{};
    std::string password;     // empty: the archive is not protected
    std::string note;         // the manifest's note; CR LF allowed
    bool unattended = false;  // logs the scheduled run's lines
    // Facts that the manifest records.
    std::string computerName;
    std::string userName;
    std::string outlookName;
    // Where the items' data lies.
    std::string profilesRoot;
    outlook::ItemLocations locations;
};

struct BackupResult {
    bool written = false;    // the new archive is complete and in place
    bool cancelled = false;  // stopped on request: no archive was written
    std::string error;       // the cause when the archive was not written
    std::array<archive::StepOutcome, archive::kItemCount> outcomes{};  // in the order of the steps
    std::string itemFlags;
};

// Writes the manifest's header, logs the run's first lines, creates the archive, runs the chosen
// steps (each adds its files and, when all went in, its manifest line), adds the manifest as the
// last entry and writes the archive; then logs the end line. An older file at the archive path is
// replaced only by a complete new archive. The manifest staging file and the registry export files
// are deleted on every path out. The observer hears of each step and file; a cancellation abandons
// the archive.
BackupResult RunBackup(const BackupJob& job, const ProgramPaths& paths, archive::ZipComponent& zip,
                       const archive::RunObserver& observer = {});

}  // namespace kestrine::backup
