#include <gtest/gtest.h>

#include <filesystem>

#include "restore/file_replace.h"
#include "restore/restore_rules.h"
#include "test_support.h"

namespace kestrine::restore {
namespace {

std::array<bool, kRestoreEntryCount> Ticks(std::initializer_list<int> entries) {
    std::array<bool, kRestoreEntryCount> t{};
    for (int e : entries) t[static_cast<size_t>(e)] = true;
    return t;
}

std::vector<Item> Selected(std::initializer_list<int> entries, const std::string& flags) {
    std::vector<Item> out;
    for (const auto& row : RestoreRows()) {
        if (RowSelected(row, Ticks(entries), flags)) out.push_back(row.item);
    }
    return out;
}

using H = Item;

TEST(RestoreRowSelection, EachTickBringsItsRowsInRunOrder) {
    const std::string all(11, '1');
    // The configuration comes along with the data files, the accounts and the address book.
    EXPECT_EQ(Selected({4}, all), (std::vector<H>{H::Config, H::Pab}));
    EXPECT_EQ(Selected({0}, all), (std::vector<H>{H::Config, H::Rules, H::Datas}));
    EXPECT_EQ(Selected({1}, all), (std::vector<H>{H::Config, H::Accounts}));
    EXPECT_EQ(Selected({2, 3, 5, 6, 7, 8}, all),
              (std::vector<H>{H::Signatures, H::Stationery, H::Configsetting, H::Templates,
                              H::Setting, H::Contacts}));
    EXPECT_EQ(Selected({0, 1, 2, 3, 4, 5, 6, 7, 8}, all).size(), 11u);
}

TEST(RestoreRowSelection, AnItemWhoseFlagIsZeroNeverRuns) {
    EXPECT_EQ(Selected({1}, "01111111111"), (std::vector<H>{H::Accounts}));
    EXPECT_EQ(Selected({0}, "10011111111"), (std::vector<H>{H::Config}));
    EXPECT_TRUE(Selected({0, 1, 2, 3, 4, 5, 6, 7, 8}, "00000000000").empty());
    // A short or empty flag string is treated as holding nothing.
    EXPECT_TRUE(Selected({8}, "1111111111").empty());
    EXPECT_TRUE(Selected({0}, "").empty());
}

const RestoreRow& RowOf(H handler) {
    for (const auto& row : RestoreRows())
        if (row.item == handler) return row;
    throw std::logic_error("no row");
}

TEST(RestoreSummary, LabelsTabsAndTheSignaturesOddity) {
    EXPECT_EQ(RestoreSummaryLine(RowOf(H::Accounts), true),
              "\r\nRestore Accounts Settings\tSucceeded!\t");
    EXPECT_EQ(RestoreSummaryLine(RowOf(H::Datas), false), "\r\nRestore Personal Folders\tFail!\t");
    EXPECT_EQ(RestoreSummaryLine(RowOf(H::Signatures), true),
              "\r\nRestore Signatures\t\tSucceeded!\t");
    EXPECT_EQ(RestoreSummaryLine(RowOf(H::Signatures), false),
              "\r\nRestore Signatures \t\tFail!\t");
    EXPECT_EQ(RestoreSummaryLine(RowOf(H::Templates), false), "\r\nRestore Templates\t\tFail!\t");
    EXPECT_EQ(RestoreSummaryLine(RowOf(H::Setting), true), "\r\nRestore Preferences\tSucceeded!\t");
    EXPECT_EQ(RestoreCompletionText("\r\nX"), "The Restore was Completed!\t\t\t\r\n\r\nX");
    EXPECT_EQ(RowOf(H::Config).logItem, -1);
    EXPECT_EQ(RowOf(H::Rules).logItem, -1);
}

TEST(RestoreFolders, LayoutFollowsTheWindowsVersion) {
    const Folders xp = FoldersFor("C:\\Users\\ann", "5.1");
    EXPECT_EQ(xp.roamingOutlook, "C:\\Users\\ann\\Application Data\\Microsoft\\Outlook");
    EXPECT_EQ(xp.localOutlook,
              "C:\\Users\\ann\\Local Settings\\Application Data\\Microsoft\\Outlook");
    const Folders vista = FoldersFor("C:\\Users\\ann", "6.0");
    EXPECT_EQ(vista.localOutlook, "C:\\Users\\ann\\AppData\\Local\\Microsoft\\Outlook");
    EXPECT_EQ(vista.signatures, "C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Signatures");
    // The .FAV file is looked for under the old layout on every version.
    EXPECT_EQ(FoldersFor("C:\\Users\\ann", "10.0").favFolder,
              "C:\\Users\\ann\\Application Data\\Microsoft\\Outlook");
}

TEST(RestoreFolders, StationeryGoesBackWhereTheBackupTookItFrom) {
    const Folders f = FoldersFor("C:\\Users\\ann", "6.1");
    EXPECT_EQ(StationeryFolder(f, "11.0", "C:\\Shared\\"), f.stationery);
    const std::string shared = "C:\\Program Files\\Common Files\\Microsoft Shared";
    EXPECT_EQ(StationeryFolder(f, "14.0", shared + "\\"), shared + "\\Stationery");
    // Registered without its closing backslash, the value still names its Stationery subfolder,
    // as it does for the backup; it is not a sibling folder "...SharedStationery".
    EXPECT_EQ(StationeryFolder(f, "14.0", shared), shared + "\\Stationery");
    EXPECT_EQ(StationeryFolder(f, "16.0", " " + shared + "\\ " + std::string(1, '\0') + "x"),
              shared + "\\Stationery");
    // An unreadable or empty value names no folder, never the relative "Stationery".
    EXPECT_EQ(StationeryFolder(f, "14.0", "Error"), "");
    EXPECT_EQ(StationeryFolder(f, "14.0", ""), "");
    EXPECT_EQ(StationeryFolder(f, "14.0", std::string(" \0junk", 6)), "");
}

// Putting several files in place together.
class ReplaceTogether : public ::testing::Test {
  protected:
    test::TempDir dir;
    std::string Path(const std::string& name) { return dir / name; }
    StagedFile Stage(const std::string& target, const std::string& content) {
        StagedFile f{UnusedSibling(Path(target), "new"), Path(target)};
        test::WriteFile(f.temporary, content);
        return f;
    }
    size_t FileCount() {
        size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            n += e.is_regular_file();
        return n;
    }
};

TEST_F(ReplaceTogether, ReplacesExistingAndCreatesNewFiles) {
    test::WriteFile(Path("a.pst"), "old a");
    test::WriteFile(Path("keep.txt"), "other");
    ASSERT_TRUE(ReplaceFilesTogether({Stage("a.pst", "new a"), Stage("b.pst", "new b")}));
    EXPECT_EQ(test::ReadFile(Path("a.pst")), "new a");
    EXPECT_EQ(test::ReadFile(Path("b.pst")), "new b");
    EXPECT_EQ(test::ReadFile(Path("keep.txt")), "other");
    EXPECT_EQ(FileCount(), 3u);  // no temporary or set-aside file is left
}

TEST_F(ReplaceTogether, AFailureLeavesEveryTargetAsItWas) {
    test::WriteFile(Path("a.pst"), "old a");
    test::WriteFile(Path("b.pst"), "old b");
    auto a = Stage("a.pst", "new a");
    StagedFile missing{Path("gone.tmp"), Path("b.pst")};  // its content never arrived
    auto c = Stage("c.pst", "new c");
    EXPECT_FALSE(ReplaceFilesTogether({a, missing, c}));
    EXPECT_EQ(test::ReadFile(Path("a.pst")), "old a");
    EXPECT_EQ(test::ReadFile(Path("b.pst")), "old b");
    EXPECT_FALSE(std::filesystem::exists(Path("c.pst")));
    EXPECT_EQ(FileCount(), 2u);
}

TEST_F(ReplaceTogether, ATargetNamedTwiceGetsTheLastContent) {
    auto first = Stage("a.pst", "first");
    auto second = Stage("a.pst", "second");
    ASSERT_NE(first.temporary, second.temporary);
    ASSERT_TRUE(ReplaceFilesTogether({first, second}));
    EXPECT_EQ(test::ReadFile(Path("a.pst")), "second");
    EXPECT_EQ(FileCount(), 1u);
}

TEST_F(ReplaceTogether, AFolderOfTheTargetsNameIsNeverReplaced) {
    test::WriteFile(Path("a.pst"), "old a");
    std::filesystem::create_directory(dir.path() / "b.pst");
    test::WriteFile(dir.path() / "b.pst" / "inside", "kept");
    EXPECT_FALSE(ReplaceFilesTogether({Stage("a.pst", "new a"), Stage("b.pst", "new b")}));
    EXPECT_EQ(test::ReadFile(Path("a.pst")), "old a");
    EXPECT_EQ(test::ReadFile(dir.path() / "b.pst" / "inside"), "kept");
    EXPECT_EQ(FileCount(), 1u);
}

TEST_F(ReplaceTogether, DiscardRemovesOnlyTemporaries) {
    test::WriteFile(Path("a.pst"), "old a");
    auto a = Stage("a.pst", "new a");
    DiscardStaged({a});
    EXPECT_EQ(test::ReadFile(Path("a.pst")), "old a");
    EXPECT_EQ(FileCount(), 1u);
}

}  // namespace
}  // namespace kestrine::restore
