#pragma once
// The main window's own decisions, apart from the runs: what the apply button says and does on each
// page, the item lists' pop-up menu, the password boxes, the load of the profile lists, the save
// dialog, the help command line, and which controls a run disables. The Win32 window only mirrors
// what these decide.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/last_backup.h"
#include "platform/messages.h"
#include "platform/system.h"
#include "ui/archive_name.h"
#include "ui/main_window_model.h"
#include "ui/message.h"

namespace kestrine::ui {

// `cmdApply` follows the page: "Backup Now", "Restore Now", "Show Log File", "Help" ("&" marks
// the mnemonic).
std::string ApplyCaption(Tab tab);
enum class ApplyAction { Backup, ConfirmAndRestore, ShowLogFile, OpenHelp };
ApplyAction ApplyActionFor(Tab tab);

// "Select all items": every enabled box ticked, every disabled one cleared.
void SelectAllItems(ItemBoxes& items);
// "Deselect all items": all nine cleared.
void DeselectAllItems(ItemBoxes& items);

// `ifprotect` ticked or cleared: both password boxes are emptied either way.
void SetProtection(BackupTabModel& tab, bool on);

// Start-up: both profile lists get every name, in order, and show the first; the restore items are
// cleared and disabled until a backup file is opened. Without profiles both lists stay empty and
// the apply button is disabled. True when there are profiles (the inventory of the first follows).
bool LoadProfileLists(MainWindowModel& window, const std::vector<std::string>& profiles,
                      bool noProfiles);
Message NoProfileMessage();

// The profiles as they are now (a profile made while the window is open, or the first one on a new
// computer): both lists get them, each keeps the profile it shows while that still exists, and
// the apply button follows whether there is one.
struct ProfileListChange {
    bool lists = false;   // the lists changed
    bool source = false;  // the backup's profile changed: its inventory must be taken again
};
ProfileListChange RefreshProfileLists(MainWindowModel& window,
                                      const std::vector<std::string>& profiles);

// The Backup page's line on the last completed backup, and whether it holds every item.
void PresentLastBackup(BackupTabModel& tab, const LastBackup& last);

// What the window says first when it opens after the last scheduled run failed (what, when and
// why), or when the log's scheduled runs wrote no complete backup that is newer than a week and a
// day at `now` (by its file's time). Nothing when all is well or no scheduled run is logged.
std::optional<Message> ScheduledBackupWarning(const std::string& logFile,
                                              const platform::LocalTime& now);

// A key pressed in a text box with Ctrl (and no Alt) is the box's own (Ctrl+A selects all, Ctrl+C
// copies, ...): the window's shortcuts do not take it.
bool ShortcutLeftToTextBox(bool focusInTextBox, bool control, bool alt);

// The save dialog of the backup file (`cmdTargetFile`), opened in the `backupfolder` setting's
// folder (the application folder when it names none). The proposed name carries the ".ksx"
// extension, so that the restore's open dialog, which lists only backup files, finds the file.
platform::FileDialogRequest BackupFileDialog(
    const std::string& profile, const Date& today, const std::string& backupFolderSetting,
    const std::string& appFolder, const std::function<bool(const std::string&)>& folderExists);

// hh.exe from the Windows folder with help.chm of the application folder, both quoted: an
// application folder such as C:\Program Files\Kestrine holds a space.
std::string HelpCommandLine(const std::string& windowsDir, const std::string& appFolder);
// explorer.exe of the Windows folder (never one found on the search path) opening the folder of
// `archivePath`, named with its closing backslash and quoted.
std::string ExplorerCommandLine(const std::string& windowsDir, const std::string& archivePath);

// What the window lets the user do. While a run works nothing may start a second run or open a
// backup file, and the backup profile stays as the run found it (choosing a profile recomputes
// the item locations that the run reads).
struct ControlStates {
    bool apply = true;          // `cmdApply`
    bool runMenus = true;       // "Backup Now", "Restore Now" (menu and shortcuts)
    bool browse = true;         // `cmdTargetFile`, `cmdSourceFile`
    bool sourceProfile = true;  // `cbSource`
    bool cancel = false;        // the progress panel's "Cancel"
};
// Without a profile nothing can be backed up or restored into: the run menus go grey with the
// apply button.
ControlStates ControlsFor(bool running, bool noProfiles);

// Closing the window (close box, Quit, the menu) while a run works asks first; OK stops the run
// at its next safe point and quits afterwards.
Message QuitDuringRunQuestion();

// The progress bar, 0 to 100: the run's steps move it, and so do the bytes moved of all the run
// will move (a large data file may take most of a run): whichever is further. The bytes stop a few
// points short of the end, which only the end of the run fills.
int ProgressBarValue(int stepValue, uint64_t bytesDone, uint64_t bytesExpected);

// The progress panel (`picCon3`), shown while a run works.
struct ProgressPanel {
    bool visible = false;
    std::string fileText;  // `SkinLabel9`: the file being added or extracted
    std::string stepText;  // `Label1`: what the run is doing
    int bar = 0;           // `pbshow`, 0 to 100
};

// The about box and the About page: what Kestrine is, and the thanks.
inline constexpr const char* kAboutDescription =
    "Backs up an Outlook profile (mail and data files, accounts, signatures, address book, "
    "settings and contacts) into one file, and restores it on this or another computer.";
inline constexpr const char* kAboutThanks = "Thank you for using our product.";

}  // namespace kestrine::ui
