// The line shapes of the activity log, byte for byte, and how the log list reads them back.
#include <gtest/gtest.h>

#include "app/log_lines.h"

namespace kestrine {
namespace {

using archive::Choice;
const std::string kNow = "12/5/2026 8:35:07 AM";

TEST(LogLines, ExactBytesOfEveryShape) {
    const std::pair<std::string, std::string> lines[] = {
        {LogSeparatorLine(), std::string(84, '.') + "\r"},
        {BackupStartLine(kNow, "My Mail"), kNow + " Start Backup Profile My Mail Data...\n"},
        {AutoBackupStartLine(kNow, "Outlook"),
         kNow + " Start Auto Backup Profile Outlook Data...\n"},
        {BackupFileLine(kNow, "C:\\B\\k.ksx"), kNow + " Backup File is C:\\B\\k.ksx\n"},
        {BackupItemLine(kNow, LogItemName(Choice::Signatures), true),
         kNow + " Backup Signatures Succeeded!\n"},
        {BackupItemLine(kNow, LogItemName(Choice::PersonalFolders), false),
         kNow + " Backup Personal Folders Fail!\n"},
        {BackupEndLine(kNow, "My Mail"), kNow + " Backup Profile My Mail Data was Completed!\r"},
        {BackupNotCompletedLine(kNow, "P"), kNow + " Backup Profile P Data was not Completed!\r"},
        {RestoreStartLine(kNow, "Outlook"), kNow + " Start Retore Data to Profile Outlook\n"},
        {RestoreFileLine(kNow, "D:\\a.ksx"), kNow + " Restore File is D:\\a.ksx\n"},
        {RestoreItemLine(kNow, LogItemName(Choice::AddressBook), false),
         kNow + " Restore Personal Address Book Fail!\n"},
        {RestoreEndLine(kNow, "Outlook"),
         kNow + " Restore Data to Profile Outlook was Completed!\r"},
        {NotepadCommandLine("C:\\Windows", "C:\\K\\brlog.dat"),
         "C:\\Windows\\notepad.exe C:\\K\\brlog.dat"},
    };
    for (const auto& [line, expected] : lines) EXPECT_EQ(line, expected);
}

TEST(SplitLogLines, OneRunAsTheWriterLeavesItAndEdgeCases) {
    // WriteLog adds CR LF after each line text: CR CR LF and LF CR LF.
    const std::string file = LogSeparatorLine() + "\r\n" + BackupStartLine(kNow, "P") + "\r\n" +
                             BackupEndLine(kNow, "P") + "\r\n";
    EXPECT_EQ(SplitLogLines(file),
              (std::vector<std::string>{std::string(84, '.'), "",
                                        kNow + " Start Backup Profile P Data...\n",
                                        kNow + " Backup Profile P Data was Completed!", ""}));
    EXPECT_TRUE(SplitLogLines("").empty());
    EXPECT_EQ(SplitLogLines("no end"), std::vector<std::string>{"no end"});
    EXPECT_EQ(SplitLogLines("a\rb\r"), (std::vector<std::string>{"a", "b"}));
    // A lone LF after a CR LF starts the next entry.
    EXPECT_EQ(SplitLogLines("a\r\n\nb\r\n"), (std::vector<std::string>{"a", "\nb"}));
}

}  // namespace
}  // namespace kestrine
