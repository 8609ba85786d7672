// The main window's own decisions that its Wine test cannot see: the help command line and the
// progress bar. (The lists, the pop-up menus, the password boxes and what a run disables are
// driven through the real window under Wine.)
#include <gtest/gtest.h>

#include "ui/main_window_presenter.h"

namespace kestrine::ui {
namespace {

TEST(MainWindowPresenter, HelpAndExplorerComeFromTheWindowsFolderWithQuotedArguments) {
    EXPECT_EQ(ExplorerCommandLine("C:\\Windows", "D:\\My Backups\\a.ksx"),
              "\"C:\\Windows\\explorer.exe\" /n,\"D:\\My Backups\\\"");
    EXPECT_EQ(HelpCommandLine("C:\\Windows", "C:\\Program Files\\Kestrine"),
              "\"C:\\Windows\\hh.exe\" \"C:\\Program Files\\Kestrine\\help.chm\"");
    EXPECT_EQ(HelpCommandLine("C:\\Windows", "D:\\"), "\"C:\\Windows\\hh.exe\" \"D:\\help.chm\"");
}

TEST(MainWindowPresenter, TheBarFollowsTheStepsOrTheBytesWhicheverIsFurther) {
    const uint64_t gb = 1ull << 30;
    EXPECT_EQ(ProgressBarValue(15, 0, 0), 15);              // nothing moved yet
    EXPECT_EQ(ProgressBarValue(15, gb, 4 * gb), 24);        // a quarter of a large file
    EXPECT_EQ(ProgressBarValue(15, 3 * gb, 4 * gb), 72);    // three quarters
    EXPECT_EQ(ProgressBarValue(15, 4 * gb, 4 * gb), 96);    // all bytes: the end fills it
    EXPECT_EQ(ProgressBarValue(15, 5 * gb, 4 * gb), 96);    // more than announced
    EXPECT_EQ(ProgressBarValue(100, 4 * gb, 4 * gb), 100);  // the end of the run
    EXPECT_EQ(ProgressBarValue(60, 1, 1000), 60);           // steps ahead of the bytes
    EXPECT_EQ(ProgressBarValue(15, 8 * gb * 1024, 16 * gb * 1024), 48);  // no overflow
}

// The profiles read again while the window is open: a new computer's first profile turns the window
// on, a profile that was shown stays chosen, one that vanished gives way to the first.
TEST(MainWindowPresenter, ProfileListsFollowTheProfilesAsTheyAreNow) {
    MainWindowModel window;
    LoadProfileLists(window, {}, true);
    EXPECT_FALSE(window.applyEnabled);
    EXPECT_FALSE(ControlsFor(false, true).runMenus);
    EXPECT_FALSE(RefreshProfileLists(window, {}).lists);

    ProfileListChange change = RefreshProfileLists(window, {"Outlook"});
    EXPECT_TRUE(change.lists && change.source);
    EXPECT_TRUE(window.applyEnabled);
    EXPECT_EQ(window.backup.sourceProfile, "Outlook");
    EXPECT_EQ(window.restore.targetProfile, "Outlook");

    window.backup.sourceProfile = window.restore.targetProfile = "Outlook";
    change = RefreshProfileLists(window, {"Archive", "Outlook"});
    EXPECT_TRUE(change.lists);
    EXPECT_FALSE(change.source);
    EXPECT_EQ(window.backup.sourceProfile, "Outlook");
    EXPECT_EQ(window.restore.profiles, (std::vector<std::string>{"Archive", "Outlook"}));

    change = RefreshProfileLists(window, {"Archive"});
    EXPECT_TRUE(change.source);
    EXPECT_EQ(window.backup.sourceProfile, "Archive");
    EXPECT_EQ(window.restore.targetProfile, "Archive");
}

TEST(MainWindowPresenter, TheLastBackupLineAndTheTextBoxKeys) {
    BackupTabModel tab;
    PresentLastBackup(tab, {});
    EXPECT_EQ(tab.lastBackupText, "Last backup: none has been completed yet.");
    PresentLastBackup(tab, {true, "12/2/2026 9:00:01 AM", "C:\\B\\x.ksx", true, true, true});
    EXPECT_EQ(tab.lastBackupText,
              "Last backup: 12/2/2026 9:00:01 AM (scheduled), complete, checked after writing");
    EXPECT_EQ(tab.lastBackupFile, "C:\\B\\x.ksx");
    PresentLastBackup(tab, {true, "12/3/2026", "C:\\B\\y.ksx", false, false, false});
    EXPECT_EQ(tab.lastBackupText,
              "Last backup: 12/3/2026, not complete: an item failed, not checked");

    EXPECT_TRUE(ShortcutLeftToTextBox(true, true, false));    // Ctrl+A in the description
    EXPECT_FALSE(ShortcutLeftToTextBox(true, false, false));  // F1 stays the help
    EXPECT_FALSE(ShortcutLeftToTextBox(true, true, true));    // Ctrl+Alt (AltGr) types
    EXPECT_FALSE(ShortcutLeftToTextBox(false, true, false));  // elsewhere Ctrl+A is About
}

}  // namespace
}  // namespace kestrine::ui
