#pragma once
// The restore run: puts the ticked items of the open backup archive into the profile chosen as
// target on the Restore tab, logs each result, shows the summary and may start Outlook. It neither
// closes Outlook nor the archive, so it can run again at once.
#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "archive/zip_component.h"
#include "restore/restore_rules.h"
#include "ui/main_window_model.h"

namespace kestrine::restore {

struct RestoreRunHooks {
    std::function<std::string()> now;    // the locale's date-and-time text; default: now
    std::function<void()> startOutlook;  // default: start the registered OUTLOOK.EXE
    std::function<bool(Item, const std::string&)> handler;  // default: the real handler
};

struct RestoreRowResult {
    Item item;
    bool ok;
};

struct RestoreRunReport {
    bool ran = false;                    // false when a precondition refused the run
    std::vector<RestoreRowResult> rows;  // the rows that ran, in order
    std::string summary;                 // the reported rows' summary lines
};

// `window.restore.targetProfile` names the target profile.
RestoreRunReport RunRestore(ui::MainWindowModel& window, const AppState& state,
                            archive::ZipComponent& zip, const RestoreRunHooks& hooks = {});
// The same over the main window, the program's AppState and its zip component.
RestoreRunReport RunRestore();

inline constexpr const char* kNoSourceText = "Invalid backup file.";
inline constexpr const char* kNothingTickedText = "Please select at least one item.";
inline constexpr const char* kRestoreConfirmText =
    "Your current Email and News messages will be replaced with the messages from the selected "
    "backup file.\r\n\r\nDo you want to countinue?";

}  // namespace kestrine::restore
