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

}  // namespace
}  // namespace kestrine::ui
