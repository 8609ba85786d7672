#include "restore/restore_rules.h"

#include "app/log_lines.h"
#include "base/text.h"
#include "outlook/detection.h"
#include "outlook/locations.h"
#include "registry/registry.h"

namespace kestrine::restore {

Folders FoldersFor(const std::string& userProfileDir, const std::string& osVersion) {
    const bool newLayout = outlook::UsesAppDataLayout(osVersion);
    const std::string roaming = userProfileDir + outlook::RoamingSegment(osVersion);
    const std::string local =
        userProfileDir + (newLayout ? "\\AppData\\Local" : "\\Local Settings\\Application Data");
    Folders f;
    f.roamingOutlook = roaming + "\\Microsoft\\Outlook";
    f.localOutlook = local + "\\Microsoft\\Outlook";
    f.signatures = roaming + "\\Microsoft\\Signatures";
    f.templates = roaming + "\\Microsoft\\Templates";
    f.stationery = roaming + "\\Microsoft\\Stationery";
    f.contacts = userProfileDir + "\\Contacts";
    f.favFolder = userProfileDir + "\\Application Data\\Microsoft\\Outlook";
    return f;
}

std::string StationeryFolder(const Folders& folders, const std::string& outlookVersion,
                             const std::string& sharedFilesDir) {
    if (!outlook::StationeryIsShared(outlookVersion)) return folders.stationery;
    // An unreadable or empty value names no folder; "Stationery" alone would be a relative path.
    if (sharedFilesDir == registry::kError ||
        base::TrimSpaces(base::CutAtNul(sharedFilesDir)).empty())
        return {};
    return outlook::StationeryFromSharedFiles(sharedFilesDir);
}

const std::array<RestoreRow, 11>& RestoreRows() {
    // The configuration runs first so that every later row, the data files above all, works on the
    // imported profile key.
    static const std::array<RestoreRow, 11> rows = {{
        {"Copying Config...", {0, 1, 4}, Item::Config, -1, 10, 0},
        {"Copying Rules...", {0, -1, -1}, Item::Rules, -1, 10, 15},
        {"Copying Accounts...", {1, -1, -1}, Item::Accounts, 1, 10, 0},
        {"Copying Signatures...", {2, -1, -1}, Item::Signatures, 2, 10, 0},
        {"Copying Stationeries...", {3, -1, -1}, Item::Stationery, 3, 5, 0},
        {"Copying Address Book...", {4, -1, -1}, Item::Pab, 4, 5, 0},
        {"Copying Options...", {5, -1, -1}, Item::Configsetting, 5, 5, 0},
        {"Copying Templates...", {6, -1, -1}, Item::Templates, 6, 5, 0},
        {"Copying Setting...", {7, -1, -1}, Item::Setting, 7, 5, 0},
        {"Copying Contacts Folder...", {8, -1, -1}, Item::Contacts, 8, 0, 0},
        {"Copying Data Files (PST/OST Files)...", {0, -1, -1}, Item::Datas, 0, 0, 0},
    }};
    return rows;
}

bool RowSelected(const RestoreRow& row, const std::array<bool, kRestoreEntryCount>& ticked,
                 const std::string& itemFlags) {
    const size_t item = archive::IndexOf(row.item);
    if (item >= itemFlags.size() || itemFlags[item] != '1') return false;
    for (int entry : row.entries) {
        if (entry >= 0 && entry < kRestoreEntryCount && ticked[entry]) return true;
    }
    return false;
}

static const char* ResultText(bool ok) {
    return ok ? "Succeeded!" : "Fail!";
}

std::string RestoreSummaryLine(const RestoreRow& row, bool ok) {
    std::string label =
        row.logItem >= 0 ? std::string("Restore ") + kLogItemNames[row.logItem] : std::string();
    if (row.item == Item::Signatures && !ok) label += " ";
    const bool wide = row.item == Item::Signatures || row.item == Item::Templates;
    return "\r\n" + label + (wide ? "\t\t" : "\t") + ResultText(ok) + "\t";
}

std::string RestoreCompletionText(const std::string& summary) {
    return "The Restore was Completed!\t\t\t\r\n" + summary;
}

}  // namespace kestrine::restore
