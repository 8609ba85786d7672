// How the log list reads the activity log back, and the command that shows it. (The line shapes
// themselves are checked byte for byte in the log of every Wine run.)
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kestrine
