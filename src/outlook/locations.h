#pragma once
// Where each item's data lives for a profile, and where a restore puts it back: the folder and key
// rules of backup and restore alike. Pure rules; the profile inventory (outlook/inventory.h) checks
// them against the registry and the disk.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "outlook/environment.h"

namespace kestrine::outlook {

// Where each backup item of a profile lives (AppState carries those of the chosen profile as
// `locations`).
struct ItemLocations {
    std::string AccountsKey;
    std::string SignaturesDir;
    std::string StationeryDir;
    std::string RulesDir;
    std::string TemplatesDir;
    std::string PreferencesDir;
    std::string OptionsKey;
    std::string ContactsDir;
    // Outlook's usual folders for data files, searched for .pst files the profile does not use.
    std::vector<std::string> DataFileFolders;
};

// The user's Outlook folders, by the Windows version's folder layout.
struct UserFolders {
    std::string roamingOutlook;  // rules and preferences
    std::string localOutlook;    // where a restore puts data files and address books
    std::string signatures;
    std::string templates;
    std::string stationery;  // the per-user stationery of Outlook before 2007
    std::string contacts;
    // "\Application Data\Microsoft" below the profile folder on every Windows version: the
    // profile's .FAV file lies in its Outlook folder, and a backup takes the stationery of Outlook
    // before 2007 from there.
    std::string applicationData;
};
// The roaming and local application data folders are the shell's where given, otherwise those of
// the Windows version's layout below the user's profile folder.
UserFolders FoldersFor(std::string_view userProfileDir, std::string_view osVersion,
                       std::string_view roamingAppData = {}, std::string_view localAppData = {});
// The folders of the environment. The signatures, stationery and templates folders are those that
// Office records for the user under OfficeGeneralKey (values "Signatures", "Stationery",
// "Templates": a folder name below the roaming Microsoft folder, in Office's language, or a full
// path), the English names where nothing usable is recorded.
UserFolders FoldersOf(const Environment& env);
std::string OfficeGeneralKey(std::string_view outlookVersion);
inline constexpr const char* kSignaturesFolderValue = "Signatures";
inline constexpr const char* kStationeryFolderValue = "Stationery";
inline constexpr const char* kTemplatesFolderValue = "Templates";

// Outlook 2007 and later have no personal address book.
bool SupportsPersonalAddressBook(std::string_view outlookVersion);

// The item locations of `profile`. The user's own stationery of Outlook 2007 and later is in the
// roaming Microsoft\Stationery folder; the stock stationery in Office's shared files under
// Program Files belongs to the installation and is neither backed up nor written.
ItemLocations LocationsFor(const Environment& env, std::string_view profile);

// The stored address book path with every doubled backslash made single; a leading network
// prefix stays "\\". The inventory and the backup both read the path through this.
std::string NormalizePabPath(std::string_view stored);

}  // namespace kestrine::outlook
