#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_stream.h"
#ifndef _WIN32
#include "free_space_stand_in.h"
#endif
#include "recovery/file_replace.h"
#include "test_support.h"

namespace kestrine::recovery {
namespace {

// Putting several files in place together.
class ReplaceTogether : public ::testing::Test {
  protected:
    test::TempDir dir;
    std::string Path(const std::string& name) { return dir / name; }
    StagedFile Stage(const std::string& target, const std::string& content) {
        StagedFile f{NewStagingFile(Path(target)), Path(target)};
        test::WriteFile(f.temporary, content);
        return f;
    }
    size_t FileCount() { return platform::fileio::ListFileNames(dir.str()).size(); }
};

TEST_F(ReplaceTogether, ReplacesExistingCreatesNewAndATargetNamedTwiceGetsTheLastContent) {
    test::WriteFile(Path("a.pst"), "old a");
    test::WriteFile(Path("keep.txt"), "other");
    auto first = Stage("a.pst", "first"), second = Stage("a.pst", "new a");
    ASSERT_NE(first.temporary, second.temporary);
    ASSERT_TRUE(ReplaceFilesTogether({first, second, Stage("b.pst", "new b")}).replaced);
    EXPECT_EQ(test::ReadFile(Path("a.pst")), "new a");
    EXPECT_EQ(test::ReadFile(Path("b.pst")), "new b");
    EXPECT_EQ(test::ReadFile(Path("keep.txt")), "other");
    EXPECT_EQ(FileCount(), 3u);  // no temporary or set-aside file is left
    // Discarding removes only the temporaries.
    DiscardStaged({Stage("a.pst", "newer")});
    EXPECT_EQ(test::ReadFile(Path("a.pst")), "new a");
    EXPECT_EQ(FileCount(), 3u);
}

// A staged file whose content never arrived, or a folder of a target's name: every target stays as
// it was, and no staged or set-aside file is left.
TEST_F(ReplaceTogether, AFailureLeavesEveryTargetAsItWas) {
    test::WriteFile(Path("a.pst"), "old a");
    test::WriteFile(Path("b.pst"), "old b");
    StagedFile missing{Path("gone.tmp"), Path("b.pst")};
    EXPECT_FALSE(
        ReplaceFilesTogether({Stage("a.pst", "new a"), missing, Stage("c.pst", "new c")}).replaced);
    EXPECT_EQ(test::ReadFile(Path("a.pst")), "old a");
    EXPECT_EQ(test::ReadFile(Path("b.pst")), "old b");
    EXPECT_FALSE(std::filesystem::exists(Path("c.pst")));
    EXPECT_EQ(FileCount(), 2u);

    std::filesystem::create_directory(dir.path() / "d.pst");
    test::WriteFile(dir.path() / "d.pst" / "inside", "kept");
    EXPECT_FALSE(ReplaceFilesTogether({Stage("a.pst", "new a"), Stage("d.pst", "new d")}).replaced);
    EXPECT_EQ(test::ReadFile(Path("a.pst")), "old a");
    EXPECT_EQ(test::ReadFile(dir.path() / "d.pst" / "inside"), "kept");
    EXPECT_EQ(FileCount(), 2u);
}

TEST_F(ReplaceTogether, AnOldFileThatCannotGoBackIsKeptAndNamed) {
    test::WriteFile(Path("a.pst"), "old a");
    test::WriteFile(Path("b.pst"), "old b");
    // b.pst's new content cannot take its place, and a.pst's old one then cannot go back.
    auto move = [&](const std::string& from, const std::string& to) {
        if (to == Path("b.pst") && from.find(".restoring-") != std::string::npos) return false;
        if (to == Path("a.pst") && from.find(".replaced-") != std::string::npos) return false;
        return platform::fileio::MoveOver(from, to);
    };
    const auto outcome =
        ReplaceFilesTogether({Stage("a.pst", "new a"), Stage("b.pst", "new b")}, move);
    EXPECT_FALSE(outcome.replaced);
    ASSERT_EQ(outcome.keptAside.size(), 1u);
    EXPECT_EQ(outcome.keptAside[0].target, Path("a.pst"));
    EXPECT_EQ(outcome.keptAside[0].oldCopy, Path("a.pst.old"));
    EXPECT_EQ(test::ReadFile(Path("a.pst.old")), "old a");
    EXPECT_EQ(test::ReadFile(Path("b.pst")), "old b");
    EXPECT_EQ(FileCount(), 2u);
    // A later run's recovery leaves the kept file alone.
    EXPECT_EQ(RecoverInterruptedRestore(dir.str()), 0u);

    // With a hundred such names taken, it stays under the name it was set aside with.
    test::WriteFile(Path("a.pst"), "old a");
    for (int n = 1; n < 100; ++n) test::WriteFile(Path("a.pst.old" + std::to_string(n)), "");
    const auto again =
        ReplaceFilesTogether({Stage("a.pst", "new a"), Stage("b.pst", "new b")}, move);
    ASSERT_EQ(again.keptAside.size(), 1u);
    EXPECT_NE(again.keptAside[0].oldCopy.find(".replaced-"), std::string::npos);
    EXPECT_EQ(test::ReadFile(again.keptAside[0].oldCopy), "old a");
    EXPECT_FALSE(platform::fileio::Exists(Path("a.pst.old100")));
}

// Outlook starts while the old files are set aside and makes an empty data file of the name: it
// is kept as a stranger, never replaced, and the restored content takes the name.
TEST_F(ReplaceTogether, AFileMadeInTheGapIsKeptNotReplaced) {
    test::WriteFile(Path("a.pst"), "old a");
    bool started = false;
    auto move = [&](const std::string& from, const std::string& to) {
        if (from != Path("a.pst") || started) return platform::fileio::MoveToFree(from, to);
        const bool moved = platform::fileio::MoveOver(from, to);  // set aside, then Outlook
        test::WriteFile(Path("a.pst"), "empty data file");
        started = true;
        return moved;
    };
    const auto outcome = ReplaceFilesTogether({Stage("a.pst", "new a")}, move);
    ASSERT_TRUE(outcome.replaced);
    EXPECT_EQ(test::ReadFile(Path("a.pst")), "new a");
    ASSERT_EQ(outcome.strangers.size(), 1u);
    EXPECT_EQ(outcome.strangers[0].target, Path("a.pst"));
    EXPECT_NE(outcome.strangers[0].oldCopy.find("~a.pst.kept-"), std::string::npos);
    EXPECT_EQ(test::ReadFile(outcome.strangers[0].oldCopy), "empty data file");
    EXPECT_EQ(FileCount(), 2u);  // the old one served and went; the stranger stays
    EXPECT_EQ(RecoverInterruptedRestore(dir.str()), 0u);
}

#ifndef _WIN32
// Declared sizes are weighed against the drive's free space, with a margin, before anything is
// staged; a drive that cannot say does not stop a restore.
TEST_F(ReplaceTogether, FilesLargerThanTheDriveHasFreeAreRefusedWithTheReason) {
    platform::fileio::SetFreeSpace(dir.str(), uint64_t{500} << 20);
    EXPECT_FALSE(NoRoomFor(dir.str(), uint64_t{300} << 20));
    const auto refused = NoRoomFor(dir.str(), uint64_t{1} << 40);  // a 1 TB data file
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->find("500 MB free"), std::string::npos) << *refused;
    EXPECT_TRUE(NoRoomFor(dir.str(), uint64_t{480} << 20));  // within the margin
    EXPECT_TRUE(NoRoomFor(dir.str(), UINT64_MAX));
    platform::fileio::SetFreeSpace(dir.str(), std::nullopt);
    EXPECT_FALSE(NoRoomFor(dir.str(), uint64_t{1} << 40));
}
#endif

TEST_F(ReplaceTogether, WhatAnEndedRestoreLeftIsRecoveredAndNothingElseTouched) {
    // Set aside, and the new file never came: it goes back.
    test::WriteFile(Path("~a.pst.replaced-12-34.tmp"), "old a");
    test::WriteFile(Path("~d.replaced-12-37.tmp"), "old d");  // a name of one letter
    // Set aside, and something took its name (the new file, or a fresh, empty one Outlook made
    // meanwhile): the old copy may be the user's only one, so it is kept beside it.
    test::WriteFile(Path("~b.pst.replaced-12-35.tmp"), "old b");
    test::WriteFile(Path("b.pst"), "new b");
    test::WriteFile(Path("~c.pst.restoring-12-36.tmp"), "half of c");
    test::WriteFile(Path("~~c.pst.restoring-12-36.tmp.extracting-12-37.tmp"), "half");
    // The user's own files, however they look.
    for (const char* name : {"~notes.txt", "~d.pst.replaced-x-1.tmp", "e.pst.replaced-1-2.tmp",
                             "~f.pst.replaced-1-2.bak", "~g.pst.replaced--2.tmp",
                             "~h.pst.replaced-1-.tmp", "~.replaced-1-2.tmp"})
        test::WriteFile(Path(name), "mine");
    EXPECT_EQ(RecoverInterruptedRestore(dir.str()), 5u);
    EXPECT_EQ(test::ReadFile(Path("a.pst")), "old a");
    EXPECT_EQ(test::ReadFile(Path("d")), "old d");
    EXPECT_EQ(test::ReadFile(Path("b.pst")), "new b");
    EXPECT_EQ(test::ReadFile(Path("b.pst.old")), "old b");
    EXPECT_EQ(FileCount(), 11u);
}

}  // namespace
}  // namespace kestrine::recovery
