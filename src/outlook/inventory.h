#pragma once
// The profile inventory: where each of the nine items of a profile lives and which of them have
// something to back up. It reads the registry and the disk and changes nothing; the backup list,
// the scheduled-backup dialog and the unattended run all take a profile's locations from here.
#include <string>

#include "backup_format/items.h"
#include "outlook/environment.h"
#include "outlook/locations.h"

namespace kestrine::outlook {

struct ProfileInventory {
    ItemLocations locations;
    // Items with data: accounts when the accounts key exists, folder items when their folder holds
    // a file directly inside it, the address book when a section of the profile names an existing
    // file. Options are always available, and so are the personal folders unless the profile
    // keeps its mail on a server only: the run finds their data.
    backup_format::Choices available{};
    bool addressBookSupported = true;  // false from Outlook 2007 on
    // Stores, but no personal folders file among them (Exchange, Microsoft 365, IMAP): the server
    // holds the mail, and there is no data file to back up.
    bool mailOnServer = false;
};

// Locations and availability of the nine items for `profile`.
ProfileInventory TakeInventory(const Environment& env, const std::string& profile);

}  // namespace kestrine::outlook
