#include <gtest/gtest.h>

#include "schedule/command_line.h"

namespace kestrine::schedule {
namespace {

TEST(ParseUnattendedTail, TheScheduledForm) {
    auto c = ParseUnattendedTail("sf=Outlookxm=111111111ps=bf=C:\\Backup\\kestrine-Outlook.ksx");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.profile, "Outlook");
    EXPECT_EQ(c.mask, "111111111");
    EXPECT_EQ(c.password, "");
    EXPECT_EQ(c.archive, "C:\\Backup\\kestrine-Outlook.ksx");
}

TEST(ParseUnattendedTail, BlanksBelongToTheValues) {
    auto c = ParseUnattendedTail("sf=My Mailxm=010000000ps= secret bf=D:\\My Backups\\b.ksx ");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.profile, "My Mail");
    EXPECT_EQ(c.password, " secret ");
    EXPECT_EQ(c.archive, "D:\\My Backups\\b.ksx ");
}

TEST(ParseUnattendedTail, KeysAreFoundByPositionNotByName) {
    auto c = ParseUnattendedTail("zzOutlookaa1bbpwcc=x.ksx");
    EXPECT_EQ(c.status, CommandLineStatus::TooFewPieces);
    c = ParseUnattendedTail("q=Outlookaa=1bb=pwcc=x.ksx");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.profile, "Outlook");
    EXPECT_EQ(c.mask, "1");
    EXPECT_EQ(c.password, "pw");
    EXPECT_EQ(c.archive, "x.ksx");
}

TEST(ParseUnattendedTail, TooFewEqualsIsRefused) {
    EXPECT_EQ(ParseUnattendedTail("").status, CommandLineStatus::TooFewPieces);
    EXPECT_EQ(ParseUnattendedTail("hello").status, CommandLineStatus::TooFewPieces);
    EXPECT_EQ(ParseUnattendedTail("sf=Outlook").status, CommandLineStatus::TooFewPieces);
    EXPECT_EQ(ParseUnattendedTail("sf=Outlookxm=1ps=x").status, CommandLineStatus::TooFewPieces);
}

TEST(ParseUnattendedTail, AnEqualsInsideAValueIsRefusedNotShifted) {
    // Taken by position, "a=b" as password would back up to a wrong path ("b" + "bf").
    auto c = ParseUnattendedTail("sf=Outlookxm=111111111ps=a=bbf=C:\\b.ksx");
    EXPECT_EQ(c.status, CommandLineStatus::TooManyPieces);
    EXPECT_FALSE(c.ok());
    EXPECT_EQ(ParseUnattendedTail("sf=Outlookxm=1ps=bf=C:\\a=b.ksx").status,
              CommandLineStatus::TooManyPieces);
}

TEST(ParseUnattendedTail, EmptyRequiredValuesAreRefused) {
    EXPECT_EQ(ParseUnattendedTail("sf=xm=1ps=bf=C:\\b.ksx").status,
              CommandLineStatus::EmptyProfile);
    EXPECT_EQ(ParseUnattendedTail("sf=Outlookxm=ps=bf=C:\\b.ksx").status,
              CommandLineStatus::EmptyMask);
    EXPECT_EQ(ParseUnattendedTail("sf=Outlookxm=1ps=bf=").status, CommandLineStatus::EmptyArchive);
    // A piece shorter than its two key characters leaves an empty value.
    EXPECT_EQ(ParseUnattendedTail("sf=x=1ps=bf=C:\\b.ksx").status, CommandLineStatus::EmptyProfile);
    EXPECT_EQ(ParseUnattendedTail("sf=Outlookxm=1p=bf=C:\\b.ksx").password, "");
}

TEST(ParseUnattendedTail, NonAsciiProfileLosesCharactersNotBytes) {
    auto c = ParseUnattendedTail("sf=Bj\xC3\xB6rnxm=1ps=bf=C:\\b.ksx");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.profile, "Bj\xC3\xB6rn");
    c = ParseUnattendedTail("sf=P\xC3\xA9\xC3\xA9=1ps=bf=C:\\b.ksx");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.profile, "P");
}

TEST(ChosenItems, OnlyOneChoosesAndShortMasksStopEarly) {
    auto all = ChosenItems("111111111");
    for (bool chosen : all) EXPECT_TRUE(chosen);
    auto one = ChosenItems("1");
    EXPECT_TRUE(one[0]);
    for (size_t i = 1; i < 9; ++i) EXPECT_FALSE(one[i]) << i;
    auto mixed = ChosenItems("01x2Y1000111");
    EXPECT_EQ(mixed,
              (std::array<bool, 9>{false, true, false, false, false, true, false, false, false}));
    for (bool chosen : ChosenItems("000000000")) EXPECT_FALSE(chosen);
}

TEST(DatedArchivePath, ReplacesTheLastFourCharacters) {
    EXPECT_EQ(DatedArchivePath("C:\\Backup\\kestrine-Outlook.ksx", 2026, 12, 5, 8, 35),
              "C:\\Backup\\kestrine-Outlook-12-05-2026-08-35.ksx");
    EXPECT_EQ(DatedArchivePath("C:\\b\\archive", 2026, 1, 9, 23, 5),
              "C:\\b\\arc-01-09-2026-23-05.ksx");
    EXPECT_EQ(DatedArchivePath("C:\\b\\\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4", 2026, 1, 9, 0, 0),
              "C:\\b\\\xC3\xA4-01-09-2026-00-00.ksx");
    EXPECT_EQ(DatedArchivePath("abc", 2026, 1, 1, 0, 0), "abc");
    EXPECT_EQ(DatedArchivePath(".ksx", 2026, 1, 1, 0, 0), "-01-01-2026-00-00.ksx");
}

TEST(CommandLineTail, SkipsTheProgramPath) {
    EXPECT_EQ(
        CommandLineTail("\"C:\\Program Files\\Kestrine\\kestrine.exe\" sf=My Mailxm=1ps=bf=x"),
        "sf=My Mailxm=1ps=bf=x");
    EXPECT_EQ(CommandLineTail("C:\\k\\kestrine.exe   sf=a"), "sf=a");
    EXPECT_EQ(CommandLineTail("kestrine.exe\tsf=a b "), "sf=a b ");
    EXPECT_EQ(CommandLineTail("\"C:\\Program Files\\kestrine.exe\""), "");
    EXPECT_EQ(CommandLineTail("kestrine.exe   "), "");
    EXPECT_EQ(CommandLineTail(""), "");
    EXPECT_EQ(CommandLineTail("\"unclosed path sf=a"), "");
    EXPECT_EQ(CommandLineTail("\"C:\\k.exe\"sf=a"), "sf=a");
}

}  // namespace
}  // namespace kestrine::schedule
