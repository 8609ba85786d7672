#include "backup/backup_steps.h"

namespace kestrine::backup {

const std::array<BackupStep, backup_format::kItemCount>& BackupSteps() {
    // The configuration goes with every item that needs the profile's key; the rules go with the
    // data files. Neither has a choice of its own; the unattended run logs the configuration under
    // the accounts' name, the interactive run not at all.
    static const std::array<BackupStep, backup_format::kItemCount> steps = {{
        {.item = Item::Configuration,
         .chosenBy = {Choice::PersonalFolders, Choice::Accounts, Choice::AddressBook},
         .unattendedLoggedAs = Choice::Accounts},
        {.item = Item::DataFiles,
         .chosenBy = {Choice::PersonalFolders},
         .loggedAs = Choice::PersonalFolders,
         .unattendedLoggedAs = Choice::PersonalFolders},
        {.item = Item::Rules, .chosenBy = {Choice::PersonalFolders}},
        {.item = Item::Accounts,
         .chosenBy = {Choice::Accounts},
         .loggedAs = Choice::Accounts,
         .unattendedLoggedAs = Choice::Accounts},
        {.item = Item::Signatures,
         .chosenBy = {Choice::Signatures},
         .loggedAs = Choice::Signatures,
         .unattendedLoggedAs = Choice::Signatures},
        {.item = Item::Stationery,
         .chosenBy = {Choice::Stationery},
         .loggedAs = Choice::Stationery,
         .unattendedLoggedAs = Choice::Stationery},
        {.item = Item::AddressBook,
         .chosenBy = {Choice::AddressBook},
         .loggedAs = Choice::AddressBook,
         .unattendedLoggedAs = Choice::AddressBook},
        {.item = Item::Options,
         .chosenBy = {Choice::Options},
         .loggedAs = Choice::Options,
         .unattendedLoggedAs = Choice::Options},
        {.item = Item::Templates,
         .chosenBy = {Choice::Templates},
         .loggedAs = Choice::Templates,
         .unattendedLoggedAs = Choice::Templates},
        {.item = Item::Preferences,
         .chosenBy = {Choice::Preferences},
         .loggedAs = Choice::Preferences,
         .unattendedLoggedAs = Choice::Preferences},
        {.item = Item::Contacts,
         .chosenBy = {Choice::Contacts},
         .loggedAs = Choice::Contacts,
         .unattendedLoggedAs = Choice::Contacts},
    }};
    return steps;
}

bool StepRuns(const BackupStep& step, const Choices& chosen) {
    for (Choice choice : step.chosenBy)
        if (chosen[backup_format::IndexOf(choice)]) return true;
    return false;
}

bool AnyChosen(const Choices& chosen) {
    for (bool c : chosen)
        if (c) return true;
    return false;
}

std::string ItemFlagsFrom(const std::array<StepOutcome, backup_format::kItemCount>& outcomes) {
    std::string flags;
    for (auto outcome : outcomes) flags += outcome == StepOutcome::Succeeded ? '1' : '0';
    return flags;
}

}  // namespace kestrine::backup
