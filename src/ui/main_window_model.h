#pragma once
// The plain models of the main window. Commands and presenters read and write them; the Win32
// window only mirrors them, so every behaviour can be tested without a screen.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "backup_format/items.h"

namespace kestrine::ui {

enum class Tab { Backup, Restore, Logs, About };

// One check box of the backup or restore item list.
struct ItemBox {
    std::string caption;
    std::string tooltip;
    bool enabled = true;
    bool ticked = false;
};
// The nine boxes, by backup_format::IndexOf(Choice).
using ItemBoxes = std::array<ItemBox, backup_format::kChoiceCount>;

// Which boxes are ticked.
inline backup_format::Choices TickedIn(const ItemBoxes& boxes) {
    backup_format::Choices ticked{};
    for (size_t i = 0; i < boxes.size(); ++i) ticked[i] = boxes[i].ticked;
    return ticked;
}

struct BackupTabModel {
    std::vector<std::string> profiles;  // the source profile list
    std::string sourceProfile;          // the profile shown in it
    ItemBoxes items;
    bool protect = false;  // "Protect backup file with password"
    std::string password;
    std::string retypedPassword;
    std::string note;            // the description, lines joined by CR LF
    std::string targetFileText;  // the archive's path as the box shows it
    bool targetChosen = false;   // picked in the save dialog: a new proposal does not replace it
    std::string lastBackupText;  // the last completed backup: when, and whether it was checked
    std::string lastBackupFile;  // ... and which file
};

struct RestoreTabModel {
    std::vector<std::string> profiles;  // the target profile list
    std::string targetProfile;          // the profile shown in it
    ItemBoxes items;
    std::string sourceFileText;  // the opened archive's path
    std::string backupInfoText;  // where the backup came from
    std::string noteText;        // the backup's description
    bool backupOpen = false;     // a valid backup is open, and AppState's openedArchive is it
};

struct ProgressModel {
    bool panelVisible = false;
    int min = 0;  // the progress bar
    int max = 100;
    int value = 0;
    bool busyPointer = false;  // hourglass over the window
    std::string stepText;      // what the run does ("Copying Signatures...")
    std::string fileText;      // the file it adds or extracts
    uint64_t bytesDone = 0;
    uint64_t bytesExpected = 0;

    // Adds to the bar; a step that would pass the maximum leaves it where it is.
    void Advance(int step) {
        if (value + step <= max) value += step;
    }
};

struct MainWindowModel {
    Tab tab = Tab::Backup;
    std::string applyCaption;
    bool applyEnabled = true;
    bool visible = true;
    BackupTabModel backup;
    RestoreTabModel restore;
    ProgressModel progress;
    std::vector<std::string> logList;
    int logSelected = -1;
};

}  // namespace kestrine::ui
