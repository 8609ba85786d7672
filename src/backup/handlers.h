#pragma once
// The eleven item backup handlers. Each finds its item's data for the job's profile: the files that
// hold it, in the order they go into the archive, and the value of its manifest line. Registry
// items export their key tree into a new file in the temporary folder first. A handler that finds
// nothing to back up (or cannot export its key) says so; the run then fails the step without adding
// anything.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "archive/zip_types.h"
#include "backup/backup_run.h"
#include "backup_format/items.h"

namespace kestrine::backup {

struct ItemPlan {
    bool found = false;
    std::vector<std::string> files;  // full paths
    // The files' entry names where they differ from the bare file names (else empty).
    std::vector<std::string> entryNames;
    std::string manifestValue;
    // Why nothing was found, when the plan can say better than "nothing of it was found".
    std::string cause;
    // Data files only: which profile section each file came from (the BackupDatasStores value).
    std::string dataFileStores;
    // Registry items: what the run wrote into the export file it staged (files[0]).
    std::optional<archive::StagedContent> staged;
};

struct HandlerContext {
    const BackupJob& job;
    const std::string& tempFolder;
    // Registry export files made during the run; the run deletes them however it ends.
    std::vector<std::string>& tempFiles;
};

// How one item is backed up: `plan` finds its files and its manifest value. One row per archive
// item, in the items' order (ItemBackups()[IndexOf(item)].item == item).
struct ItemBackup {
    backup_format::Item item;
    ItemPlan (*plan)(const HandlerContext& ctx);
};
const std::array<ItemBackup, backup_format::kItemCount>& ItemBackups();

// The plan of one backup item.
ItemPlan PlanItem(backup_format::Item item, const HandlerContext& ctx);

}  // namespace kestrine::backup
