#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/version.h"
#include "base/line_file.h"
#include "base/text.h"

namespace kestrine {
namespace {

using namespace base;

TEST(ScanINIText, FirstMatchInFileOrderWinsWhateverTheSection) {
    const std::string text = "[one]\r\nName=first\r\n[two]\r\nName=second\r\n";
    EXPECT_EQ(ScanINIText(text, "Name"), "first");
}

TEST(ScanINIText, KeyIsComparedWithoutRegardToCase) {
    const std::string text = "BackupContacts=a.vcf;b.vcf\r\n";
    EXPECT_EQ(ScanINIText(text, "Backupcontacts"), "a.vcf;b.vcf");
    EXPECT_EQ(ScanINIText(text, "BACKUPCONTACTS"), "a.vcf;b.vcf");
    // Only the whole key matches, not a prefix of it.
    EXPECT_EQ(ScanINIText(text, "BackupContact"), "");
}

TEST(ScanINIText, AnEmptyLineHidesEverythingBelowIt) {
    const std::string text = "A=1\r\n\r\nB=2\r\n";
    EXPECT_EQ(ScanINIText(text, "A"), "1");
    EXPECT_EQ(ScanINIText(text, "B"), "");
    EXPECT_EQ(ScanINIText("\r\nA=1\r\n", "A"), "");
}

TEST(ScanINIText, ValueKeepsFurtherEqualsSigns) {
    EXPECT_EQ(ScanINIText("Path=C:\\a=b\\c.ksx\r\n", "Path"), "C:\\a=b\\c.ksx");
    EXPECT_EQ(ScanINIText("Empty=\r\nNext=x\r\n", "Empty"), "");
    EXPECT_EQ(ScanINIText("Empty=\r\nNext=x\r\n", "Next"), "x");
}

TEST(ScanINIText, LinesWithoutEqualsAreSkipped) {
    EXPECT_EQ(ScanINIText("[section]\r\nfree text\r\nKey=v\r\n", "Key"), "v");
    // "free text" is not a key even when asked for.
    EXPECT_EQ(ScanINIText("free text\r\n", "free text"), "");
}

TEST(ScanINIText, LineEndsAndEndOfText) {
    EXPECT_EQ(ScanINIText("Last=v", "Last"), "v");  // no final line end
    EXPECT_EQ(ScanINIText("A=1\nB=2\n", "B"), "2");
    EXPECT_EQ(ScanINIText("A=1\rB=2\r", "B"), "2");
    EXPECT_EQ(ScanINIText("", "A"), "");
    // The line end never becomes part of the value.
    EXPECT_EQ(ScanINIText("A=1\r\n", "A"), "1");
}

TEST(ScanINIText, EmptyKeyMatchesALineStartingWithEquals) {
    EXPECT_EQ(ScanINIText("=x\r\n", ""), "x");
}

TEST(INILine, KeyEqualsValueCrLf) {
    EXPECT_EQ(INILine("BackupInformation", ""), "BackupInformation=\r\n");
    EXPECT_EQ(INILine("K", "a=b"), "K=a=b\r\n");
    EXPECT_EQ(ScanINIText(INILine("K", "a=b") + INILine("K", "second"), "k"), "a=b");
}

TEST(TextRules, TrimAndNulCut) {
    EXPECT_EQ(TrimSpaces("  a b  "), "a b");
    EXPECT_EQ(TrimSpaces("   "), "");
    EXPECT_EQ(TrimSpaces("\ta\t"), "\ta\t");  // only spaces are trimmed
    EXPECT_EQ(CutAtNul(std::string("abc\0def", 7)), "abc");
    EXPECT_EQ(CutAtNul(std::string("\0x", 2)), "");
    EXPECT_EQ(CutAtNul("plain"), "plain");
}

TEST(AppState, OneInstanceStartingWithNoSourceFile) {
    EXPECT_EQ(&State(), &State());
    AppState fresh;
    EXPECT_TRUE(fresh.NoSourceFile);
    EXPECT_STREQ(kProductName, "Kestrine");
}

}  // namespace
}  // namespace kestrine
