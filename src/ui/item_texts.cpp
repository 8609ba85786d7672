#include "ui/item_texts.h"

#include <array>

namespace kestrine::ui {

namespace {

using backup_format::Choice;

constexpr std::array<const char*, backup_format::kChoiceCount> kCaptions = {
    "Personal Folders (Contacts, Tasks, Calendar, Notes and mail folders)",
    "Accounts Settings",
    "Signatures",
    "Stationeries",
    "Personal Address Book",
    "Options Settings",
    "Templates",
    "Preferences (Customizable settings)",
    "Contacts Folder",
};

// The preferences and the contacts folder carry the same tooltip.
constexpr std::array<const char*, backup_format::kChoiceCount> kTooltips = {
    "Contacts, Tasks, Calendar, Notes and mail folders",
    "All Accounts Settings.",
    "User defined signatures.",
    "Outlook stationery.",
    "Outlook Personal Address Book.",
    "General settings and interface options.",
    "User templates.",
    "View and Toolbar settings, Send and Receive group settings, control infomation and other "
    "data.",
    "View and Toolbar settings, Send and Receive group settings, control infomation and other "
    "data.",
};

}  // namespace

const char* ItemCaption(Choice choice) {
    return kCaptions[backup_format::IndexOf(choice)];
}

const char* BackupItemTooltip(Choice choice) {
    return kTooltips[backup_format::IndexOf(choice)];
}

const char* RestoreItemTooltip(Choice choice) {
    // The restore list's first tooltip ends with a full stop.
    if (choice == Choice::PersonalFolders)
        return "Contacts, Tasks, Calendar, Notes and mail folders.";
    return BackupItemTooltip(choice);
}

}  // namespace kestrine::ui
