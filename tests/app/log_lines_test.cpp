#include <gtest/gtest.h>

#include "app/log_lines.h"

namespace kestrine {
namespace {

const std::string kNow = "12/5/2026 8:35:07 AM";

TEST(LogLines, SeparatorIs84FullStopsAndCr) {
    std::string line = LogSeparatorLine();
    ASSERT_EQ(line.size(), 85u);
    EXPECT_EQ(line.substr(0, 84), std::string(84, '.'));
    EXPECT_EQ(line.back(), '\r');
}

TEST(LogLines, BackupLinesExactBytes) {
    EXPECT_EQ(BackupStartLine(kNow, "My Mail"), kNow + " Start Backup Profile My Mail Data...\n");
    EXPECT_EQ(AutoBackupStartLine(kNow, "Outlook"),
              kNow + " Start Auto Backup Profile Outlook Data...\n");
    EXPECT_EQ(BackupFileLine(kNow, "C:\\Backup\\k.ksx"),
              kNow + " Backup File is C:\\Backup\\k.ksx\n");
    EXPECT_EQ(BackupItemLine(kNow, kLogItemNames[2], true),
              kNow + " Backup Signatures Succeeded!\n");
    EXPECT_EQ(BackupItemLine(kNow, kLogItemNames[0], false),
              kNow + " Backup Personal Folders Fail!\n");
    EXPECT_EQ(BackupEndLine(kNow, "My Mail"),
              kNow + " Backup Profile My Mail Data was Completed!\r");
}

TEST(LogLines, RestoreLinesExactBytes) {
    EXPECT_EQ(RestoreStartLine(kNow, "Outlook"), kNow + " Start Retore Data to Profile Outlook\n");
    EXPECT_EQ(RestoreFileLine(kNow, "D:\\a.ksx"), kNow + " Restore File is D:\\a.ksx\n");
    EXPECT_EQ(RestoreItemLine(kNow, kLogItemNames[8], true),
              kNow + " Restore Contacts Folder Succeeded!\n");
    EXPECT_EQ(RestoreItemLine(kNow, kLogItemNames[4], false),
              kNow + " Restore Personal Address Book Fail!\n");
    EXPECT_EQ(RestoreEndLine(kNow, "Outlook"),
              kNow + " Restore Data to Profile Outlook was Completed!\r");
}

TEST(LogLines, ItemNamesInItemOrder) {
    const char* expected[] = {"Personal Folders", "Accounts Settings",     "Signatures",
                              "Stationeries",     "Personal Address Book", "Options Settings",
                              "Templates",        "Preferences",           "Contacts Folder"};
    for (size_t i = 0; i < 9; ++i) EXPECT_STREQ(kLogItemNames[i], expected[i]) << i;
}

TEST(SplitLogLines, OneRunAsTheWriterLeavesItOnDisk) {
    // WriteLog adds CR LF after each line text.
    std::string file = LogSeparatorLine() + "\r\n" + BackupStartLine(kNow, "P") + "\r\n" +
                       BackupEndLine(kNow, "P") + "\r\n";
    auto entries = SplitLogLines(file);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0], std::string(84, '.'));
    EXPECT_EQ(entries[1], "");                                          // from CR CR LF
    EXPECT_EQ(entries[2], kNow + " Start Backup Profile P Data...\n");  // LF stays in the text
    EXPECT_EQ(entries[3], kNow + " Backup Profile P Data was Completed!");
    EXPECT_EQ(entries[4], "");
}

TEST(SplitLogLines, EdgeCases) {
    EXPECT_TRUE(SplitLogLines("").empty());
    EXPECT_EQ(SplitLogLines("no end"), std::vector<std::string>{"no end"});
    EXPECT_EQ(SplitLogLines("a\nb\r\n"), std::vector<std::string>{"a\nb"});
    EXPECT_EQ(SplitLogLines("a\rb\r"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitLogLines("\r\n\r\n"), (std::vector<std::string>{"", ""}));
    // A lone LF after a CR LF starts the next entry.
    EXPECT_EQ(SplitLogLines("a\r\n\nb\r\n"), (std::vector<std::string>{"a", "\nb"}));
}

TEST(NotepadCommandLine, PathSpaceLogUnquoted) {
    EXPECT_EQ(NotepadCommandLine("C:\\Windows", "C:\\Program Files\\Kestrine\\brlog.dat"),
              "C:\\Windows\\notepad.exe C:\\Program Files\\Kestrine\\brlog.dat");
}

}  // namespace
}  // namespace kestrine
