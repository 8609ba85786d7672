#pragma once
// The portable rules of the restore side: where each item's files go, how manifest values are read
// into entry names, which rows a restore run takes, and the lines it logs and summarises.
#include <array>
#include <string>
#include <vector>

#include "archive/manifest.h"

namespace kestrine::restore {

// The archive items, by their position in ItemFlags / ItemEntries; a restore run has a row for
// each, and the item names the row's handler.
using archive::Item;
using archive::kRestoreEntryCount;

// The user's Outlook folders, chosen by the Windows version (the AppData layout from 6.0 on).
struct Folders {
    std::string roamingOutlook;
    std::string localOutlook;
    std::string signatures;
    std::string templates;
    std::string stationery;  // the per-user one, used below Outlook 12
    std::string contacts;
    std::string favFolder;  // where a profile's .FAV file lies, the same on every version
};
Folders FoldersFor(const std::string& userProfileDir, const std::string& osVersion);

// The stationery folder a restore writes to: the per-user one below Outlook 12, else the shared
// files folder's Stationery, found the way the backup finds it (empty when the value is
// unreadable).
std::string StationeryFolder(const Folders& folders, const std::string& outlookVersion,
                             const std::string& sharedFilesDir);

// Rows of a restore run, in the order they run.
struct RestoreRow {
    const char* caption;         // Label1 while the row runs
    std::array<int, 3> entries;  // restore list entries whose tick selects the row; -1 unused
    Item item;                   // the item whose flag must be "1", and whose handler runs
    int logItem;   // item name index of the log and summary line (kLogItemNames); -1: not reported
    int barStep1;  // progress after the row, run or not
    int barStep2;
};
const std::array<RestoreRow, 11>& RestoreRows();
bool RowSelected(const RestoreRow& row, const std::array<bool, kRestoreEntryCount>& ticked,
                 const std::string& itemFlags);

// What a reported row adds to the completion message.
std::string RestoreSummaryLine(const RestoreRow& row, bool ok);
std::string RestoreCompletionText(const std::string& summary);

}  // namespace kestrine::restore
