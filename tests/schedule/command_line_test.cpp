// The scheduled task's command line: taken apart by position, refused when it cannot be trusted.
#include <gtest/gtest.h>

#include "backup/complete_backup.h"
#include "schedule/command_line.h"
#include "schedule/dated_backups.h"

namespace kestrine::schedule {
namespace {

TEST(ParseUnattendedTail, ValuesByPositionTakenWhole) {
    struct Case {
        const char* tail;
        const char* profile;
        const char* mask;
        const char* password;
        const char* archive;
    } cases[] = {
        {"sf=Outlookxm=111111111ps=bf=C:\\Backup\\k.ksx", "Outlook", "111111111", "",
         "C:\\Backup\\k.ksx"},
        // Blanks belong to the values.
        {"sf=My Mailxm=010000000ps= secret bf=D:\\My Backups\\b.ksx ", "My Mail", "010000000",
         " secret ", "D:\\My Backups\\b.ksx "},
        // The keys are found by position, whatever their names.
        {"q=Outlookaa=1bb=pwcc=x.ksx", "Outlook", "1", "pw", "x.ksx"},
        // A piece shorter than the next key's two characters leaves an empty value.
        {"sf=Outlookxm=11p=bf=C:\\b.ksx", "Outlook", "1", "", "C:\\b.ksx"},
        // Characters, not bytes, are cut off.
        {"sf=Bj\xC3\xB6rnxm=1ps=bf=C:\\b.ksx", "Bj\xC3\xB6rn", "1", "", "C:\\b.ksx"},
        {"sf=P\xC3\xA9\xC3\xA9=1ps=bf=C:\\b.ksx", "P", "1", "", "C:\\b.ksx"},
    };
    for (const auto& c : cases) {
        auto command = ParseUnattendedTail(c.tail);
        ASSERT_TRUE(command.ok()) << c.tail;
        EXPECT_EQ(command.profile, c.profile);
        EXPECT_EQ(command.mask, c.mask);
        EXPECT_EQ(command.password, c.password);
        EXPECT_EQ(command.archive, c.archive);
    }
}

TEST(ParseUnattendedTail, RefusedTails) {
    const std::pair<const char*, CommandLineStatus> cases[] = {
        {"", CommandLineStatus::TooFewPieces},
        {"zzOutlookaa1bbpwcc=x.ksx", CommandLineStatus::TooFewPieces},
        {"sf=Outlookxm=1ps=x", CommandLineStatus::TooFewPieces},
        // Taken by position, "a=b" as password would back up to a wrong path ("b" + "bf").
        {"sf=Outlookxm=111111111ps=a=bbf=C:\\b.ksx", CommandLineStatus::TooManyPieces},
        {"sf=Outlookxm=1ps=bf=C:\\a=b.ksx", CommandLineStatus::TooManyPieces},
        {"sf=xm=1ps=bf=C:\\b.ksx", CommandLineStatus::EmptyProfile},
        {"sf=x=1ps=bf=C:\\b.ksx", CommandLineStatus::EmptyProfile},
        {"sf=Outlookxm=ps=bf=C:\\b.ksx", CommandLineStatus::EmptyMask},
        {"sf=Outlookxm=1ps=bf=", CommandLineStatus::EmptyArchive},
    };
    for (const auto& [tail, status] : cases) {
        EXPECT_EQ(ParseUnattendedTail(tail).status, status) << tail;
        EXPECT_FALSE(ParseUnattendedTail(tail).ok()) << tail;
    }
}

TEST(ChosenItems, OnlyOneChoosesAndShortMasksStopEarly) {
    EXPECT_EQ(ChosenItems("01x2Y1000111"),
              (std::array<bool, 9>{false, true, false, false, false, true, false, false, false}));
    EXPECT_EQ(ChosenItems("1"),
              (std::array<bool, 9>{true, false, false, false, false, false, false, false, false}));
}

TEST(DatedArchivePath, PutsTheDateBeforeTheBackupExtension) {
    EXPECT_EQ(DatedArchivePath("C:\\Backup\\kestrine-Outlook.ksx", 2026, 12, 5, 8, 35),
              "C:\\Backup\\kestrine-Outlook-12-05-2026-08-35.ksx");
    EXPECT_EQ(DatedArchivePath("C:\\b\\Mail.KSX", 2026, 1, 9, 23, 5),
              "C:\\b\\Mail-01-09-2026-23-05.ksx");
    // A name without the extension loses none of its characters.
    EXPECT_EQ(DatedArchivePath("C:\\b\\kestrine-Outlook-12-06", 2026, 12, 13, 9, 0),
              "C:\\b\\kestrine-Outlook-12-06-12-13-2026-09-00.ksx");
    EXPECT_EQ(DatedArchivePath("C:\\b\\\xC3\xA4\xC3\xA4", 2026, 1, 9, 0, 0),
              "C:\\b\\\xC3\xA4\xC3\xA4-01-09-2026-00-00.ksx");
    EXPECT_EQ(DatedArchivePath(".ksx", 2026, 1, 9, 0, 0), "-01-09-2026-00-00.ksx");
}

// An incomplete archive beside the new one goes only when the new one holds every item it held,
// also one of a later version that knows more items than this one.
TEST(DatedBackups, TheNewArchiveCoversAnIncompleteOneOnlyWhereItHoldsAllItHeld) {
    EXPECT_TRUE(backup::HoldsAllOf("11111111111", "10100000000"));
    EXPECT_FALSE(backup::HoldsAllOf("10111111111", "11000000000"));
    EXPECT_FALSE(backup::HoldsAllOf("11111111111", "111111111111"));
    EXPECT_TRUE(backup::HoldsAllOf("11111111111", "111111111110"));
}

// The dated archives of a task that keeps only its newest: names of another shape, another task, or
// no real date are never touched, whatever their age.
TEST(DatedBackups, OnlyTheTasksOwnOlderArchivesGo) {
    const std::string task = "C:\\Backup\\kestrine-Outlook.ksx";
    EXPECT_EQ(DatedNameStamp(task, "kestrine-outlook-12-05-2026-08-35.KSX"), 202612050835);
    // The first and the last minute of a year are the task's too.
    EXPECT_EQ(DatedNameStamp(task, "kestrine-Outlook-01-01-2027-00-00.ksx"), 202701010000);
    EXPECT_EQ(DatedNameStamp(task, "kestrine-Outlook-12-31-2026-23-59.ksx"), 202612312359);
    for (const char* other :
         {"kestrine-Outlook.ksx", "kestrine-Outlook-12-05-2026.ksx",
          "kestrine-Work-12-05-2026-08-35.ksx", "kestrine-Outlook-13-05-2026-08-35.ksx",
          "kestrine-Outlook-12-05-2026-24-00.ksx", "kestrine-Outlook-12-05-2026-08-35.ksx.tmp",
          "xkestrine-Outlook-12-05-2026-08-35.ksx", "kestrine-Outlook-1a-05-2026-08-35.ksx",
          "kestrine-Outlook-00-05-2026-08-35.ksx", "kestrine-Outlook-12-00-2026-08-35.ksx",
          "kestrine-Outlook-12-32-2026-08-35.ksx", "kestrine-Outlook-12-05-2026-08-60.ksx",
          "kestrine-Outlook-12-05-2026-08-35.pst"})
        EXPECT_FALSE(DatedNameStamp(task, other)) << other;

    // The run's own archive is one of the `keep`; only complete backups count, and what is older
    // than the newest kept complete one goes.
    const std::vector<DatedBackup> others = {{"a-11-30", 202611300900, true},
                                             {"b-11-20", 202611200900, false},
                                             {"c-11-10", 202611100900, true},
                                             {"d-11-01", 202611010900, false}};
    EXPECT_EQ(DatedArchivesToRemove(others, 3), std::vector<std::string>{"d-11-01"});
    EXPECT_EQ(DatedArchivesToRemove(others, 2),
              (std::vector<std::string>{"b-11-20", "c-11-10", "d-11-01"}));
    EXPECT_EQ(DatedArchivesToRemove(others, 1).size(), 4u);
    EXPECT_TRUE(DatedArchivesToRemove(others, 4).empty());
    EXPECT_TRUE(DatedArchivesToRemove(others, 0).empty());

    // A day is a day across the ends of months and years, a leap day among them; "after now"
    // means more than a day after.
    constexpr int64_t kDay = 24 * 60;
    EXPECT_EQ(StampMinutes(202603010000) - StampMinutes(202602280000), kDay);
    EXPECT_EQ(StampMinutes(202803010000) - StampMinutes(202802280000), 2 * kDay);
    EXPECT_EQ(StampMinutes(202701010000) - StampMinutes(202612310000), kDay);
    EXPECT_EQ(StampMinutes(202602010000) - StampMinutes(202601310000), kDay);
    EXPECT_FALSE(DatedAfter(202602282359, 202603010900));
    EXPECT_FALSE(DatedAfter(202603020900, 202603010900));
    EXPECT_TRUE(DatedAfter(202603020901, 202603010900));
}

TEST(CommandLineTail, SkipsTheProgramPath) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"C:\\Program Files\\Kestrine\\kestrine.exe\" sf=My Mailxm=1", "sf=My Mailxm=1"},
        {"C:\\k\\kestrine.exe   sf=a", "sf=a"},
        {"kestrine.exe\tsf=a b ", "sf=a b "},
        {"\"C:\\Program Files\\kestrine.exe\"", ""},
        {"\"unclosed path sf=a", ""},
        {"\"C:\\k.exe\"sf=a", "sf=a"},
        {"", ""},
    };
    for (const auto& [line, tail] : cases) EXPECT_EQ(CommandLineTail(line), tail) << line;
}

}  // namespace
}  // namespace kestrine::schedule
