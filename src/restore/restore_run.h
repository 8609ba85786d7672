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
#include "archive/items.h"
#include "archive/run_observer.h"
#include "archive/zip_component.h"
#include "outlook/environment.h"
#include "restore/file_replace.h"

namespace kestrine::restore {

// What one run restores, from the archive open in the zip component, into which profile.
struct RestoreJob {
    std::string targetProfile;
    archive::Choices ticked{};                             // the restore list's ticks
    std::string sourceFile;                                // the archive, for the log
    std::string itemFlags;                                 // of the open archive
    std::array<std::string, archive::kItemCount> entries;  // the manifest values of its items
    std::string dataFileStores;  // which profile section each data file came from, if recorded
    // How long the run waits while another backup or restore works before it gives up.
    std::chrono::milliseconds waitForOtherRun = std::chrono::seconds(30);
};

struct RowResult {
    archive::Item item;
    bool ok;
};

struct RestoreResult {
    bool cancelled = false;       // stopped on request before a later row
    bool busy = false;            // another backup or restore worked all the while: nothing ran
    std::vector<RowResult> rows;  // the rows that ran, in order
    // Old files that a failed row could not put back where they were, and where they are now.
    std::vector<KeptOldFile> keptOldFiles;
};

// Waits until no other backup or restore works (or gives up, logging why), recovers what restores
// ended midway left in the folders it writes to, then runs every row that is ticked and whose flag
// is "1". Its temporary files lie in a folder of its own. The observer hears of each row and each
// entry extracted; a cancellation is honoured between rows only, never inside one.
RestoreResult RunRestore(const RestoreJob& job, const outlook::Environment& env,
                         const ProgramPaths& paths, archive::ZipComponent& zip,
                         const archive::RunObserver& observer = {});

}  // namespace kestrine::restore
