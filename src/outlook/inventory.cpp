#include "outlook/inventory.h"

#include "outlook/detection.h"
#include "outlook/profile_data.h"
#include "outlook/stores.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "registry/registry.h"

namespace kestrine::outlook {

namespace {

using backup_format::Choice;

// A folder that holds at least one (plain) file directly inside it; subfolders do not count.
bool FolderHasFiles(const std::string& folder) {
    // An unknown folder is empty, not the current one.
    return !folder.empty() &&
           !platform::fileio::ListFileNames(folder, platform::fileio::Listing::Visible).empty();
}

// Some section of the profile names, in its address book value, a file that exists.
bool ProfileHasAddressBook(const std::string& profileKey) {
    for (const auto& sub : registry::EnumSubKeys(profileKey).names) {
        const auto stored =
            registry::GetStringValue(profileKey + "\\" + sub, kAddressBookPathValue);
        if (!stored) continue;
        std::string path = NormalizePabPath(*stored);
        if (!path.empty() && platform::fileio::IsFile(path)) return true;
    }
    return false;
}

}  // namespace

ProfileInventory TakeInventory(const Environment& env, const std::string& profile) {
    ProfileInventory inventory;
    const ItemLocations& loc = inventory.locations = LocationsFor(env, profile);

    // A blank name names no profile key: "<root>\" is no key path at all.
    const bool named = !IsBlankName(profile);
    inventory.addressBookSupported = SupportsPersonalAddressBook(env.OutlookVersion);
    auto& available = inventory.available;
    inventory.mailOnServer =
        named && MailOnServerOnly(ReadProfileStores(ProfileKey(env.ProfilesRoot, profile)));
    available[IndexOf(Choice::PersonalFolders)] = !inventory.mailOnServer;
    available[IndexOf(Choice::Accounts)] = named && registry::KeyExists(loc.AccountsKey);
    available[IndexOf(Choice::Signatures)] = FolderHasFiles(loc.SignaturesDir);
    available[IndexOf(Choice::Stationery)] = FolderHasFiles(loc.StationeryDir);
    available[IndexOf(Choice::AddressBook)] =
        inventory.addressBookSupported && named &&
        ProfileHasAddressBook(ProfileKey(env.ProfilesRoot, profile));
    available[IndexOf(Choice::Options)] = true;
    available[IndexOf(Choice::Templates)] = FolderHasFiles(loc.TemplatesDir);
    available[IndexOf(Choice::Preferences)] = FolderHasFiles(loc.PreferencesDir);
    available[IndexOf(Choice::Contacts)] = FolderHasFiles(loc.ContactsDir);
    return inventory;
}

}  // namespace kestrine::outlook
