#pragma once
// The profile inventory behind `cbSource`: recomputes the chosen profile's item locations, enables
// exactly the items that have something to back up, clears every check mark and may propose a
// dated archive name. Nothing is reported to the user.
#include <string>

#include "app/app_state.h"
#include "outlook/locations.h"
#include "ui/main_window_model.h"

namespace kestrine::outlook {

struct InventoryOptions {
    bool proposeName = false;  // `automgeneratefile` of section "backup" is 1
    std::string backupFolder;  // `backupfolder` of section "backup"
    Date today;
};

// The options as settings.dat holds them, with today's local date.
InventoryOptions InventoryOptionsFromSettings();

// The inventory of the profile shown in `tab.sourceProfile`.
void RunProfileInventory(AppState& state, ui::BackupTabModel& tab, const InventoryOptions& options);

// The `cbSource` selection event (and start-up's inventory of the first profile).
void cbSource_Click(AppState& state, ui::BackupTabModel& tab);

// A folder that exists and holds at least one (plain) file directly inside it.
bool FolderHasFiles(const std::string& folder);
// Some subkey of the profile key names, in its address book value, a file that exists.
bool ProfileHasAddressBook(const std::string& profileKey);

}  // namespace kestrine::outlook
