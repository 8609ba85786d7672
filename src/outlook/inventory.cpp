#include "outlook/inventory.h"

#include "base/path.h"
#include "outlook/detection.h"
#include "outlook/environment.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "registry/registry.h"

namespace kestrine::outlook {

bool FolderHasFiles(const std::string& folder) {
    return platform::fileio::IsDirectory(folder) && !platform::ListFiles(folder).empty();
}

bool ProfileHasAddressBook(const std::string& profileKey) {
    for (const auto& sub : registry::EnumSubKeys(profileKey).names) {
        std::string stored = registry::GetStringValue(profileKey + "\\" + sub, kPabPathValue);
        if (stored == registry::kError) continue;
        std::string path = NormalizePabPath(stored);
        if (!path.empty() && platform::fileio::IsFile(path)) return true;
    }
    return false;
}

void RunProfileInventory(AppState& state, ui::BackupTabModel& tab,
                         const InventoryOptions& options) {
    for (size_t i = 0; i < kItemCount; ++i) {
        tab.items[i].caption = kItemCaptions[i];
        tab.items[i].tooltip = kBackupItemTooltips[i];
        tab.items[i].enabled = true;
        tab.items[i].ticked = false;
    }
    const std::string profile = tab.sourceProfile;
    ComputeLocations(state, profile);

    // A blank name names no profile key; asking the registry about "<root>\\" would only raise
    // the toolkit's format complaint.
    const bool named = !IsBlankName(profile);
    tab.items[kItemAccounts].enabled = named && registry::KeyExists(state.AccountsKey);
    tab.items[kItemSignatures].enabled = FolderHasFiles(state.SignaturesDir);
    tab.items[kItemStationery].enabled = FolderHasFiles(state.StationeryDir);
    if (SupportsPersonalAddressBook(state.OutlookVersion)) {
        tab.items[kItemAddressBook].enabled =
            named && ProfileHasAddressBook(ProfileKey(state.ProfilesRoot, profile));
    } else {
        tab.items[kItemAddressBook].enabled = false;
        tab.items[kItemAddressBook].tooltip = kNoPabTooltip;
    }
    tab.items[kItemTemplates].enabled = FolderHasFiles(state.TemplatesDir);
    tab.items[kItemPreferences].enabled = FolderHasFiles(state.PreferencesDir);
    tab.items[kItemContacts].enabled = FolderHasFiles(state.ContactsDir);
    // Personal folders and options settings stay enabled: their data is found by the run.

    if (options.proposeName) {
        std::string folder = ChooseProposalFolder(options.backupFolder, state.AppFolder,
                                                  platform::fileio::IsDirectory);
        tab.targetFileText = base::JoinPath(folder, ProposalFileName(profile, options.today));
        state.TargetFile = tab.targetFileText;
    }
}

}  // namespace kestrine::outlook
