#pragma once
// The captions and tooltips of the nine items on the backup and restore lists (and on the
// scheduled-backup dialog's list).
#include "backup_format/items.h"

namespace kestrine::ui {

const char* ItemCaption(backup_format::Choice choice);
const char* BackupItemTooltip(backup_format::Choice choice);
const char* RestoreItemTooltip(backup_format::Choice choice);
// The address book's tooltip on the backup list from Outlook 2007 on, which has none.
inline constexpr const char* kNoAddressBookTooltip =
    "Your MS Outlook don't support Personal Address Book!";

// Personal Folders' tooltip on the backup list for a profile whose mail is kept on a server.
inline constexpr const char* kMailOnServerTooltip =
    "The mail of this profile is kept on the server: it has no personal folders file to back up.";

}  // namespace kestrine::ui
