#pragma once
// The plain model of the main window. Runs and event handlers read and write it; the Win32 window only
// mirrors it, so every behaviour can be tested without a screen.
#include <array>
#include <functional>
#include <string>
#include <vector>

namespace kestrine::ui {

// One check box of the item lists `backupitem` / `restoreitem` (index 0..8).
struct ItemBox {
    std::string caption;
    std::string tooltip;
    bool enabled = true;
    bool ticked = false;
};

struct BackupTabModel {
    std::vector<std::string> profiles;  // entries of `cbSource`
    std::string sourceProfile;          // text shown in `cbSource`
    std::array<ItemBox, 9> items;       // `backupitem`
    bool protect = false;               // `ifprotect`
    std::string password;               // `txtPassword`
    std::string password2;              // `txtPassword2`
    std::string note;                   // `txtAttachInfo` (lines joined by CR LF)
    std::string targetFileText;         // `txtTargetFile`
};

struct RestoreTabModel {
    std::vector<std::string> profiles;  // entries of `cbTarget`
    std::string targetProfile;          // text shown in `cbTarget`
    std::array<ItemBox, 9> items;       // `restoreitem`
    std::string sourceFileText;         // `txtSourceFile`
    std::string backupInfoText;         // `txtPOBinfo`
    std::string noteText;               // `txtFileInfo`
};

struct ProgressModel {
    bool panelVisible = false;  // `picCon3`
    int min = 0;                // `pbshow`
    int max = 100;
    int value = 0;
    bool busyPointer = false;   // hourglass over the window
    std::string label1;         // `Label1`
    std::string skinLabel9;     // `SkinLabel9`
    std::string skinLabel10;    // `SkinLabel10`

    // Adds to the bar; a step that would pass the maximum leaves it where it is.
    void Advance(int step) {
        if (value + step <= max) value += step;
    }
};

struct MainWindowModel {
    int tab = 0;                   // `SSTab1`: 0 backup, 1 restore, 2 logs, ...
    std::string applyCaption;      // `cmdApply`
    bool applyEnabled = true;
    bool visible = true;
    BackupTabModel backup;
    RestoreTabModel restore;
    ProgressModel progress;
    std::vector<std::string> logList;  // `List1`
    int logSelected = -1;
    // Lets pending window messages run (the real window pumps messages; tests leave it empty).
    std::function<void()> pumpMessages;
};

// The process-wide model of the main window.
MainWindowModel& MainWindow();

}  // namespace kestrine::ui
