#pragma once
// What a backup is made of: the eleven backup items, in the order of the item flag string, and the
// nine items a user chooses on the backup and restore lists and in the scheduled item mask.
#include <array>
#include <cstddef>
#include <optional>

namespace kestrine::backup_format {

// The eleven backup items; the value is the item's position in the item flag string.
enum class Item {
    Configuration,  // the profile's registry key
    DataFiles,      // the profile's personal folder and offline folder files
    Rules,          // the profile's rules file
    Accounts,
    Signatures,
    Stationery,
    AddressBook,  // the personal address book
    Options,      // Outlook's option settings
    Templates,
    Preferences,  // the files of the user's roaming Outlook folder
    Contacts,
};
inline constexpr size_t kItemCount = 11;
constexpr size_t IndexOf(Item item) {
    return static_cast<size_t>(item);
}

// The nine items a user chooses, index 0..8 in the order of the item lists.
enum class Choice {
    PersonalFolders,
    Accounts,
    Signatures,
    Stationery,
    AddressBook,
    Options,
    Templates,
    Preferences,
    Contacts,
};
inline constexpr size_t kChoiceCount = 9;
constexpr size_t IndexOf(Choice choice) {
    return static_cast<size_t>(choice);
}
// Which of the nine items are chosen (or ticked, or available), by IndexOf(Choice).
using Choices = std::array<bool, kChoiceCount>;

struct ItemInfo {
    Item item;
    const char* manifestKey;             // key of the item's manifest line
    std::optional<Choice> restoredAs{};  // the restore list entry that the item enables
};

// The backup items in flag order. Configuration and rules travel with other items and have no
// entry of their own.
inline constexpr std::array<ItemInfo, kItemCount> kItems = {{
    {.item = Item::Configuration, .manifestKey = "BackupConfig"},
    {.item = Item::DataFiles, .manifestKey = "BackupDatas", .restoredAs = Choice::PersonalFolders},
    {.item = Item::Rules, .manifestKey = "BackupRules"},
    {.item = Item::Accounts, .manifestKey = "BackupAccounts", .restoredAs = Choice::Accounts},
    {.item = Item::Signatures, .manifestKey = "BackupSignatures", .restoredAs = Choice::Signatures},
    {.item = Item::Stationery, .manifestKey = "BackupStationery", .restoredAs = Choice::Stationery},
    {.item = Item::AddressBook, .manifestKey = "BackupPab", .restoredAs = Choice::AddressBook},
    {.item = Item::Options, .manifestKey = "BackupConfigsetting", .restoredAs = Choice::Options},
    {.item = Item::Templates, .manifestKey = "BackupTemplates", .restoredAs = Choice::Templates},
    {.item = Item::Preferences, .manifestKey = "BackupSetting", .restoredAs = Choice::Preferences},
    {.item = Item::Contacts, .manifestKey = "BackupContacts", .restoredAs = Choice::Contacts},
}};

constexpr const char* ManifestKey(Item item) {
    return kItems[IndexOf(item)].manifestKey;
}

}  // namespace kestrine::backup_format
