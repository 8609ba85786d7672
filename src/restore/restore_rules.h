#pragma once
// The portable rules of the restore side: where each item's files go, how manifest values are read
// into entry names, which rows a restore run takes, and the lines it logs and summarises.
#include <array>
#include <string>
#include <vector>

namespace kestrine::restore {

// Positions of the archive items in ItemFlags / ItemEntries (0-based; the flag string is 1-based).
enum ArchiveItemIndex : int {
    kConfigItem = 0,
    kDatasItem = 1,
    kRulesItem = 2,
    kAccountsItem = 3,
    kSignaturesItem = 4,
    kStationeryItem = 5,
    kPabItem = 6,
    kConfigsettingItem = 7,
    kTemplatesItem = 8,
    kSettingItem = 9,
    kContactsItem = 10,
};
inline constexpr int kRestoreEntryCount = 9;

// The part of a path after its last backslash (the whole text when there is none).
std::string FileNamePart(const std::string& path);
bool EqualsNoCase(const std::string& a, const std::string& b);

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
enum class RestoreHandler {
    Config,
    Rules,
    Accounts,
    Signatures,
    Stationery,
    Pab,
    Configsetting,
    Templates,
    Setting,
    Contacts,
    Datas
};
struct RestoreRow {
    const char* caption;         // Label1 while the row runs
    std::array<int, 3> entries;  // restore list entries whose tick selects the row; -1 unused
    int item;                    // ArchiveItemIndex whose flag must be "1"
    RestoreHandler handler;
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
