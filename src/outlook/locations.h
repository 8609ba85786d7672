#pragma once
// Where each backup item of a profile lives, the captions of the nine items, and the dated archive
// name proposed for a profile. Pure rules; the checks against the registry and the disk are made
// by the profile inventory (outlook/inventory.h).
#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "app/app_state.h"

namespace kestrine::outlook {

// Subkey of a profile that holds its mail account settings.
inline constexpr const char* kAccountsSubkey = "9375CFF0413111d3B88A00104B2A6676";
// MAPI property (single-byte string) that holds the path of the personal address book file.
inline constexpr const char* kPabPathValue = "001e6600";
inline constexpr const char* kSharedToolsKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools";
inline constexpr const char* kSharedFilesDirValue = "SharedFilesDir";

struct LocationInputs {
    std::string userProfileDir;
    std::string osVersion;
    std::string outlookVersion;
    std::string profilesRoot;
    // The SharedFilesDir value as the registry reader returned it ("Error" when unreadable); only
    // consulted for Outlook 2007 and later.
    std::string sharedFilesDir;
};

// The same record that AppState carries for the chosen profile.
using kestrine::ItemLocations;

// ProfilesRoot + "\" + profile.
std::string ProfileKey(std::string_view profilesRoot, std::string_view profile);
ItemLocations LocationsFor(const LocationInputs& in, std::string_view profile);
// Outlook 2007 and later keep stationery in the shared files folder.
bool StationeryIsShared(std::string_view outlookVersion);
std::string StationeryFromSharedFiles(std::string_view sharedFilesDir);
// Outlook 2007 and later have no personal address book.
bool SupportsPersonalAddressBook(std::string_view outlookVersion);
// The stored address book path with every doubled backslash made single; a leading network
// prefix stays "\\". The inventory and the backup both read the path through this.
std::string NormalizePabPath(std::string_view stored);

// The nine selectable items, index 0..8, in the order of `backupitem` and `restoreitem`.
inline constexpr size_t kItemCount = 9;
extern const std::array<const char*, kItemCount> kItemCaptions;
extern const std::array<const char*, kItemCount> kBackupItemTooltips;
extern const std::array<const char*, kItemCount> kRestoreItemTooltips;
inline constexpr const char* kNoPabTooltip = "Your MS Outlook don't support Personal Address Book!";
enum ItemIndex : size_t {
    kItemPersonalFolders = 0,
    kItemAccounts = 1,
    kItemSignatures = 2,
    kItemStationery = 3,
    kItemAddressBook = 4,
    kItemOptions = 5,
    kItemTemplates = 6,
    kItemPreferences = 7,
    kItemContacts = 8,
};

struct Date {
    int year = 0;
    int month = 0;
    int day = 0;
};
// "MM-DD-YYYY".
std::string FormatDate(const Date& date);
// "kestrine-<profile>-MM-DD-YYYY.ksx". Characters that Windows forbids in file names (a profile
// may be called "A:B") become "_", so the proposal is always one plain file name.
std::string ProposalFileName(std::string_view profile, const Date& date);
// The folder of the proposal: the `backupfolder` setting when it names an existing folder (one
// trailing backslash removed), otherwise the application folder. Empty or "0" means unset.
std::string ChooseProposalFolder(const std::string& backupFolderSetting,
                                 const std::string& appFolder,
                                 const std::function<bool(const std::string&)>& folderExists);

}  // namespace kestrine::outlook
