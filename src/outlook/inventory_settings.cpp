#include "app/settings.h"
#include "outlook/inventory.h"
#include "platform/system.h"

namespace kestrine::outlook {

InventoryOptions InventoryOptionsFromSettings() {
    InventoryOptions options;
    options.proposeName = SettingIsOn("backup", "automgeneratefile");
    options.backupFolder = ReadINIValue(SettingsPath(), "backup", "backupfolder");
    const platform::LocalTime now = platform::Now();
    options.today = {now.year, now.month, now.day};
    return options;
}

void cbSource_Click(AppState& state, ui::BackupTabModel& tab) {
    RunProfileInventory(state, tab, InventoryOptionsFromSettings());
}

}  // namespace kestrine::outlook
