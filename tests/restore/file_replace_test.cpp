#include <gtest/gtest.h>

#include <filesystem>

#include "restore/file_replace.h"
#include "test_support.h"

namespace kestrine::restore {
namespace {

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
