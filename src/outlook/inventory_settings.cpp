#include <ctime>

#include "app/settings.h"
#include "outlook/inventory.h"

namespace kestrine::outlook {

InventoryOptions InventoryOptionsFromSettings() {
    InventoryOptions options;
    options.proposeName = SettingIsOn("backup", "automgeneratefile");
    options.backupFolder = ReadINIValue(SettingsPath(), "backup", "backupfolder");
    std::time_t now = std::time(nullptr);
    if (const std::tm* local = std::localtime(&now)) {
        options.today = {local->tm_year + 1900, local->tm_mon + 1, local->tm_mday};
    }
    return options;
}

void cbSource_Click(AppState& state, ui::BackupTabModel& tab) {
    RunProfileInventory(state, tab, InventoryOptionsFromSettings());
}

}  // namespace kestrine::outlook
