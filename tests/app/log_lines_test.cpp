// How the log list reads the activity log back, and the command that shows it. (The line shapes
// themselves are checked byte for byte in the log of every Wine run.)
#include <gtest/gtest.h>

#include "app/last_backup.h"
#include "app/log_lines.h"

namespace kestrine {
namespace {

const std::string kNow = "12/5/2026 8:35:07 AM";

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
    EXPECT_EQ(NotepadCommandLine("C:\\Windows", "C:\\K\\brlog.dat"),
              "C:\\Windows\\notepad.exe C:\\K\\brlog.dat");
}

// The Backup page's last completed backup, read back from the log as the runs wrote it: a run that
// was not completed, a restore, a refused scheduled run or a half-written last run never count.
TEST(LastBackup, TheLastRunThatWroteItsArchive) {
    std::string log;
    auto line = [&](const std::string& text) { log += text + "\r\n"; };
    auto run = [&](bool scheduled, const std::string& when, const std::string& file, bool checked,
                   bool completed) {
        line(LogSeparatorLine());
        line(scheduled ? AutoBackupStartLine(when, "Outlook") : BackupStartLine(when, "Outlook"));
        line(BackupFileLine(when, file));
        line(BackupItemLine(when, "Signatures", true));
        if (checked) line(BackupVerifiedLine(when));
        line(completed ? BackupEndLine(when, "Outlook") : BackupNotCompletedLine(when, "Outlook"));
    };
    EXPECT_FALSE(FindLastCompletedBackup(SplitLogLines(log)).found);
    run(false, "12/1/2026 10:00:00 AM", "C:\\B\\one.ksx", false, true);
    const auto first = FindLastCompletedBackup(SplitLogLines(log));
    EXPECT_TRUE(first.found && !first.scheduled && !first.checked);
    run(true, "12/2/2026 9:00:01 AM", "C:\\B\\Data Backup Profile x.ksx", true, true);
    auto last = FindLastCompletedBackup(SplitLogLines(log));
    EXPECT_TRUE(last.found && last.scheduled && last.checked);
    EXPECT_EQ(last.when, "12/2/2026 9:00:01 AM");
    EXPECT_EQ(last.file, "C:\\B\\Data Backup Profile x.ksx");

    run(false, "12/3/2026 8:00:00 AM", "C:\\B\\failed.ksx", false, false);
    // The last scheduled run is still that one, whatever a window's run did after it.
    const ScheduledRuns scheduled = FindScheduledRuns(SplitLogLines(log));
    EXPECT_TRUE(scheduled.found && !scheduled.failed);
    EXPECT_EQ(scheduled.when, "12/2/2026 9:00:01 AM");
    line(LogSeparatorLine());
    line(BackupEndLine(kNow, "Outlook"));  // its start line lost: no run of its own, nor the last
    line(LogSeparatorLine());
    line(RestoreStartLine(kNow, "Outlook"));
    line(RestoreEndLine(kNow, "Outlook"));
    line(CommandLineRefusedLine(kNow, "no backup file after bf="));
    line(LogSeparatorLine());
    line(BackupStartLine(kNow, "Outlook"));
    line(BackupFileLine(kNow, "C:\\B\\killed midway.ksx"));
    last = FindLastCompletedBackup(SplitLogLines(log));
    EXPECT_EQ(last.file, "C:\\B\\Data Backup Profile x.ksx");
    // A scheduled run killed midway failed, and says so, though no line of it says it failed;
    // the causes it logged stand one to a line.
    line(LogSeparatorLine());
    line(AutoBackupStartLine(kNow, "Outlook"));
    line(ItemCauseLine(kNow, "Signatures", "the folder is gone"));
    line(ItemCauseLine(kNow, "Templates", "access is denied"));
    const ScheduledRuns killed = FindScheduledRuns(SplitLogLines(log));
    EXPECT_TRUE(killed.failed);
    EXPECT_EQ(killed.what, "the run ended before it was done");
    EXPECT_EQ(killed.why,
              "Signatures failed because: the folder is gone\r\n"
              "Templates failed because: access is denied");
    EXPECT_EQ(killed.lastComplete.file, "C:\\B\\Data Backup Profile x.ksx");
}

}  // namespace
}  // namespace kestrine
