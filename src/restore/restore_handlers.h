#pragma once
// The item restore handlers: each puts one item of the open backup archive back into the user's
// Outlook environment and reports success or the failure. None shows a message.
//
// Files are extracted complete and checked into temporaries beside their targets, and the targets
// are replaced only when every file of the item is ready; registry export files are checked whole
// before a key tree is replaced. A handler that fails has not touched what it had not yet replaced.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "backup_format/items.h"
#include "base/status.h"
#include "outlook/environment.h"
#include "platform/file_stream.h"
#include "recovery/file_replace.h"

namespace kestrine::restore {

struct RestoreContext {
    const outlook::Environment& env;  // UserProfileDir, OSVersion, OutlookVersion, ProfilesRoot
    // The manifest value of each backup item (an entry name or a list), by backup_format::IndexOf.
    const std::array<std::string, backup_format::kItemCount>& entries;
    // The data files' record of profile sections (backup_format::SplitDataFileStores); may be
    // empty.
    const std::string& dataFileStores;
    archive::ArchiveReader& zip;  // holds the open backup archive
    const std::string& tempFolder;
    // Told before each entry is extracted, with its name and size (by default nobody is).
    std::function<void(const std::string& name, uint64_t size)> extracting = [](const std::string&,
                                                                                uint64_t) {};
    // Told of an old file that a failed replacement could not put back, and where it is now.
    std::function<void(const recovery::KeptOldFile& kept)> oldFileKept =
        [](const recovery::KeptOldFile&) {};
    // The restore's undo set: every file replaced or removed is set aside into it. Without one,
    // replaced files are removed once their new content is in place.
    recovery::UndoJournal* journal = nullptr;
    // Hears the bytes of each entry as it is extracted.
    archive::ZipObserver* extraction = &archive::ZipObserver::None();
    // How putting files in place waits out another program's hold on a target.
    platform::fileio::MoveWait placing = platform::fileio::PatientWait();
};

// What restoring one item into `profile` will change: each file it writes (replacing one that is
// there, or added) with its size in the archive, or the registry key it replaces (name empty).
struct PlannedChange {
    backup_format::Item item;
    std::string name;  // the file's full path; empty for a registry item
    uint64_t size = 0;
    bool replaces = false;
};

// What restoring one item does: `plan` says what it will change, `restore` puts the item back into
// the target profile `profile` and says whether it did, and why not. The registry items replace the
// recorded tree at the target key, when that key exists; the folder items replace the files of the
// same name and leave other files; the rules item restores only the rules file, named after the
// target profile, whatever else its list names; the data files are put in place and the profile is
// re-linked to them only when every one of them was, and the item fails when a re-linking write
// fails.
struct ItemRestore {
    backup_format::Item item;
    std::vector<PlannedChange> (*plan)(const RestoreContext& ctx, const std::string& profile);
    Status (*restore)(const RestoreContext& ctx, const std::string& profile);
};
// One row per backup item, in the items' order (ItemRestores()[IndexOf(item)].item == item).
const std::array<ItemRestore, backup_format::kItemCount>& ItemRestores();

std::vector<PlannedChange> PlanItem(backup_format::Item item, const RestoreContext& ctx,
                                    const std::string& profile);
Status RestoreItem(backup_format::Item item, const RestoreContext& ctx, const std::string& profile);

}  // namespace kestrine::restore
