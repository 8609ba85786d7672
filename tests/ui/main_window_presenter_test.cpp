// The main window's own decisions: the item lists' pop-up menu, the password boxes, the start-up
// lists, the help command line, what a run disables and the progress bar.
#include <gtest/gtest.h>

#include "ui/main_window_presenter.h"

namespace kestrine::ui {
namespace {

TEST(MainWindowPresenter, SelectAllTicksOnlyTheOfferedItemsAndProtectionEmptiesThePasswords) {
    std::array<ItemBox, 9> items;
    items[2].enabled = false;  // a profile without signatures
    items[2].ticked = true;
    SelectAllItems(items);
    for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].ticked, i != 2) << i;
    DeselectAllItems(items);
    for (const auto& item : items) EXPECT_FALSE(item.ticked);

    BackupTabModel tab;
    for (bool on : {true, false, true}) {
        tab.password = "typed";
        tab.retypedPassword = "typed too";
        SetProtection(tab, on);
        EXPECT_EQ(tab.protect, on);
        EXPECT_EQ(tab.password, "");
        EXPECT_EQ(tab.retypedPassword, "");
    }
}

TEST(MainWindowPresenter, StartUpListsEveryProfileTwiceAndLocksTheRestoreItems) {
    MainWindowModel window;
    window.restore.items[0] = {"x", "y", true, true};
    ASSERT_TRUE(LoadProfileLists(window, {"Outlook", "Work Mail"}, false));
    EXPECT_EQ(window.backup.profiles, (std::vector<std::string>{"Outlook", "Work Mail"}));
    EXPECT_EQ(window.restore.profiles, window.backup.profiles);
    EXPECT_EQ(window.backup.sourceProfile, "Outlook");
    EXPECT_EQ(window.restore.targetProfile, "Outlook");
    EXPECT_TRUE(window.applyEnabled);
    for (const auto& item : window.restore.items) {
        EXPECT_FALSE(item.enabled);
        EXPECT_FALSE(item.ticked);
    }
    EXPECT_EQ(window.restore.items[0].tooltip,
              "Contacts, Tasks, Calendar, Notes and mail folders.");

    MainWindowModel none;
    EXPECT_FALSE(LoadProfileLists(none, {}, true));
    EXPECT_FALSE(none.applyEnabled);
    EXPECT_TRUE(none.backup.profiles.empty());
    EXPECT_TRUE(none.restore.profiles.empty());
}

TEST(MainWindowPresenter, TheHelpFileIsQuotedAndARunLocksWhatCouldStartAnother) {
    EXPECT_EQ(HelpCommandLine("C:\\Windows", "C:\\Program Files\\Kestrine"),
              "\"C:\\Windows\\hh.exe\" \"C:\\Program Files\\Kestrine\\help.chm\"");
    EXPECT_EQ(HelpCommandLine("C:\\Windows", "D:\\"), "\"C:\\Windows\\hh.exe\" \"D:\\help.chm\"");

    const ControlStates idle = ControlsFor(false, false);
    EXPECT_TRUE(idle.apply && idle.runMenus && idle.browse && idle.sourceProfile);
    EXPECT_FALSE(idle.cancel);
    const ControlStates running = ControlsFor(true, false);
    EXPECT_FALSE(running.apply || running.runMenus || running.browse || running.sourceProfile);
    EXPECT_TRUE(running.cancel);
    // Without a profile the apply button stays off, before and after a run.
    EXPECT_FALSE(ControlsFor(false, true).apply);
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

}  // namespace
}  // namespace kestrine::ui
