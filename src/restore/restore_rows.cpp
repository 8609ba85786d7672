#include "restore/restore_rows.h"

#include "app/log_lines.h"
#include "backup_format/manifest.h"

namespace kestrine::restore {

const std::array<RestoreRow, backup_format::kItemCount>& RestoreRows() {
    static const std::array<RestoreRow, backup_format::kItemCount> rows = {{
        {.item = Item::Configuration,
         .tickedBy = {Choice::PersonalFolders, Choice::Accounts, Choice::AddressBook}},
        {.item = Item::Rules, .tickedBy = {Choice::PersonalFolders}},
        {.item = Item::Accounts, .tickedBy = {Choice::Accounts}, .loggedAs = Choice::Accounts},
        {.item = Item::Signatures,
         .tickedBy = {Choice::Signatures},
         .loggedAs = Choice::Signatures},
        {.item = Item::Stationery,
         .tickedBy = {Choice::Stationery},
         .loggedAs = Choice::Stationery},
        {.item = Item::AddressBook,
         .tickedBy = {Choice::AddressBook},
         .loggedAs = Choice::AddressBook},
        {.item = Item::Options, .tickedBy = {Choice::Options}, .loggedAs = Choice::Options},
        {.item = Item::Templates, .tickedBy = {Choice::Templates}, .loggedAs = Choice::Templates},
        {.item = Item::Preferences,
         .tickedBy = {Choice::Preferences},
         .loggedAs = Choice::Preferences},
        {.item = Item::Contacts, .tickedBy = {Choice::Contacts}, .loggedAs = Choice::Contacts},
        {.item = Item::DataFiles,
         .tickedBy = {Choice::PersonalFolders},
         .loggedAs = Choice::PersonalFolders},
    }};
    return rows;
}

bool RowSelected(const RestoreRow& row, const Choices& ticked, std::string_view itemFlags) {
    if (!backup_format::ItemPresent(itemFlags, row.item)) return false;
    for (Choice choice : row.tickedBy)
        if (ticked[backup_format::IndexOf(choice)]) return true;
    return false;
}

std::string RowName(Item item) {
    for (const RestoreRow& row : RestoreRows())
        if (row.item == item && row.loggedAs) return LogItemName(*row.loggedAs);
    return item == Item::Configuration ? "Profile configuration" : "Rules";
}

}  // namespace kestrine::restore
