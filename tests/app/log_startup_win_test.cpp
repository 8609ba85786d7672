#include <gtest/gtest.h>

#include <filesystem>

#include "app/activity_log.h"
#include "app/app_state.h"
#include "app/log_lines.h"
#include "app/startup.h"
#include "test_support.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;

// A path from UTF-8 text.
fs::path U8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class AppFolderTest : public ::testing::Test {
  protected:
    void SetUp() override { saved_ = State().AppFolder; }
    void TearDown() override {
        State().AppFolder = saved_;
        SetAppFolderOverride("");
    }
    TempDir dir_;
    std::string saved_;
};

using WriteLogTest = AppFolderTest;

TEST_F(WriteLogTest, AppendsLineAndCrLf) {
    std::string log = dir_ / "brlog.dat";
    ASSERT_TRUE(WriteLog(log, LogSeparatorLine()));
    ASSERT_TRUE(WriteLog(log, BackupStartLine("now", "My Mail")));
    EXPECT_EQ(ReadFile(log),
              std::string(84, '.') + "\r\r\n" + "now Start Backup Profile My Mail Data...\n\r\n");
}

TEST_F(WriteLogTest, CreatesTheFileAgainAfterItWasDeleted) {
    State().AppFolder = dir_.str();
    ASSERT_TRUE(Log("first"));
    fs::remove(U8(LogPath()));
    ASSERT_TRUE(Log("second"));
    EXPECT_EQ(ReadFile(LogPath()), "second\r\n");
}

TEST_F(WriteLogTest, FailsQuietlyWhenTheFolderIsMissing) {
    EXPECT_FALSE(WriteLog(dir_ / "gone\\brlog.dat", "line"));
}

TEST_F(WriteLogTest, ReadLogEntriesShowsTheSeparatorAndAnEmptyEntry) {
    State().AppFolder = dir_.str();
    EXPECT_TRUE(ReadLogEntries().empty());  // missing log: empty list
    Log(LogSeparatorLine());
    Log(BackupEndLine("now", "P"));
    auto entries = ReadLogEntries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0], std::string(84, '.'));
    EXPECT_EQ(entries[1], "");
    EXPECT_EQ(entries[2], "now Backup Profile P Data was Completed!");
    EXPECT_EQ(entries[3], "");
}

using StartupTest = AppFolderTest;

TEST_F(StartupTest, GathersFactsAndCreatesAMissingLogEmpty) {
    SetAppFolderOverride(dir_.str());
    AppState state;
    state.NoSourceFile = false;
    GatherStartupFacts(state);
    EXPECT_EQ(state.AppFolder, dir_.str());
    EXPECT_EQ(state.ManifestPath, dir_.str() + "\\kestrine.dat");
    fs::path log = dir_.path() / "brlog.dat";
    ASSERT_TRUE(fs::exists(log));
    EXPECT_EQ(fs::file_size(log), 0u);
    EXPECT_FALSE(fs::exists(dir_.path() / "kestrine.dat"));  // only the path is set
    EXPECT_TRUE(state.NoSourceFile);
    EXPECT_FALSE(state.ComputerName.empty());
    EXPECT_NE(state.ComputerName.back(), ' ');
    EXPECT_FALSE(state.UserName.empty());
    EXPECT_NE(state.UserName.back(), ' ');
    ASSERT_FALSE(state.WindowsDir.empty());
    EXPECT_NE(state.WindowsDir.back(), '\\');
    EXPECT_TRUE(fs::is_directory(U8(state.WindowsDir)));
    ASSERT_FALSE(state.UserProfileDir.empty());
    EXPECT_EQ(state.UserProfileDir.find('%'), std::string::npos);
    EXPECT_EQ(state.UserProfileDir.find('\0'), std::string::npos);
    EXPECT_TRUE(fs::is_directory(U8(state.UserProfileDir)));
}

TEST_F(StartupTest, AnExistingLogIsLeftUnchanged) {
    WriteFile(dir_.path() / "brlog.dat", "old line\r\n");
    SetAppFolderOverride(dir_.str());
    AppState state;
    GatherStartupFacts(state);
    EXPECT_EQ(ReadFile(dir_.path() / "brlog.dat"), "old line\r\n");
}

TEST_F(StartupTest, FolderEndingInBackslashGetsNoSecondOne) {
    // A drive root such as "C:\" ends in a backslash; the join must not double it.
    SetAppFolderOverride(dir_.str() + "\\");
    AppState state;
    GatherStartupFacts(state);
    EXPECT_EQ(state.ManifestPath, dir_.str() + "\\kestrine.dat");
    EXPECT_TRUE(fs::exists(dir_.path() / "brlog.dat"));
}

}  // namespace
}  // namespace kestrine
