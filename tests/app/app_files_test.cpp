// Settings, the activity log and start-up's files, natively: the profile field's limits, the
// file's ANSI or UTF-16 form, the log's lines, the log made at start-up, and where an installed
// program keeps the user's files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "app/startup.h"
#include "platform/file_stream.h"
#include "platform/files_held.h"
#include "registry/registry.h"
#include "scratch.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;
namespace fileio = platform::fileio;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(Settings, FieldLimitsTrimCaseAndSwitches) {
    TempDir dir;
    const std::string ini = dir / "settings.dat";
    EXPECT_EQ(ReadINIValue(ini, "backup", "backupfolder"), "");
    EXPECT_FALSE(fs::exists(test::Fs(ini)));  // reading never creates the file

    // A long value is stored as its first 128 characters and read back as its first 127.
    std::string value;
    for (int i = 0; i < 200; ++i) value += static_cast<char>('a' + i % 26);
    WriteINIValue(ini, "Backup", "backupfolder", value);
    EXPECT_NE(ReadFile(ini).find("backupfolder=" + value.substr(0, 128) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(ReadINIValue(ini, "BACKUP", "backupfolder"), value.substr(0, 127));
    EXPECT_EQ(ReadFile(ini).find("[backup]"), std::string::npos);  // the first case stays

    WriteFile(ini,
              "[b]\r\nfolder=   C:\\My Backups   \r\none=1\r\nspaced= 1 \r\ntwo=2\r\n"
              "word=yes\r\nempty=\r\nzeroone=01\r\n");
    EXPECT_EQ(ReadINIValue(ini, "b", "folder"), "C:\\My Backups");
    EXPECT_TRUE(SettingIsOn(ini, "b", "one"));
    EXPECT_TRUE(SettingIsOn(ini, "b", "spaced"));
    for (const char* off : {"two", "word", "empty", "zeroone", "missing"})
        EXPECT_FALSE(SettingIsOn(ini, "b", off)) << off;
    // A file another program holds keeps what it had.
    fileio::Hold(ini);
    EXPECT_FALSE(WriteINIValue(ini, "b", "one", "0"));
    fileio::LetGo(ini);
    EXPECT_TRUE(SettingIsOn(ini, "b", "one"));

    const std::string unwritable = dir / "no such folder\\settings.dat";
    EXPECT_FALSE(WriteINIValue(unwritable, "backup", "autocloseoutlook", "1"));
    EXPECT_FALSE(fs::exists(test::Fs(unwritable)));
}

TEST(Settings, AFileOfAnEarlierVersionReadsThroughTheNamedKeys) {
    TempDir dir;
    const std::string ini = dir / "settings.dat";
    WriteFile(ini,
              "[Backup]\r\nbackupfolder=D:\\Old\r\nautocloseoutlook=1\r\n[GENERAL]\r\n"
              "checkbackupfile=1\r\n[AutoBackup]\r\nautobackupfile=0\r\n");
    EXPECT_EQ(ReadSetting(ini, kBackupFolder), "D:\\Old");
    EXPECT_TRUE(SettingIsOn(ini, kAutoCloseOutlook));
    EXPECT_TRUE(SettingIsOn(ini, kCheckBackupFile));
    EXPECT_FALSE(SettingIsOn(ini, kRunOutlookAfterRestore));
    EXPECT_FALSE(NewFileEachRun(ReadSetting(ini, kNewFileEachRun)));
}

TEST(Settings, AFolderWithoutAnAnsiFormIsStoredExactlyAndAnsiFilesStayAnsi) {
    TempDir dir;
    const std::string ini = dir / "settings.dat";
    const std::string cafe = "C:\\Caf\xC3\xA9";
    ASSERT_TRUE(WriteINIValue(ini, "backup", "backupfolder", cafe));
    EXPECT_EQ(ReadFile(ini), "[backup]\r\nbackupfolder=C:\\Caf\xE9\r\n");  // as earlier versions
    ASSERT_TRUE(WriteINIValue(ini, "General", "checkbackupfile", "1"));

    // A folder outside the ANSI code page turns the file into UTF-16; every value stays as it was.
    const std::string folder = "D:\\B\xC3\xBCro-\xCE\xA9\\\xE4\xB8\x80\xE9\x83\x8E";
    ASSERT_TRUE(WriteINIValue(ini, "backup", "backupfolder", folder));
    EXPECT_EQ(ReadFile(ini).substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(ReadINIValue(ini, "backup", "backupfolder"), folder);
    EXPECT_TRUE(SettingIsOn(ini, "General", "checkbackupfile"));
    ASSERT_TRUE(WriteINIValue(ini, "backup", "note", cafe));
    EXPECT_EQ(ReadINIValue(ini, "backup", "note"), cafe);
    EXPECT_EQ(ReadINIValue(ini, "backup", "backupfolder"), folder);

    // A new file takes such a folder too; one that cannot be written is refused as before.
    const std::string fresh = dir / "fresh.dat";
    ASSERT_TRUE(WriteINIValue(fresh, "backup", "backupfolder", folder));
    EXPECT_EQ(ReadINIValue(fresh, "BACKUP", "backupfolder"), folder);
    EXPECT_FALSE(
        WriteINIValue(dir / "no such folder\\settings.dat", "backup", "backupfolder", folder));
    EXPECT_EQ(fileio::ListFileNames(dir.str()).size(), 2u);  // no temporary file left
}

TEST(ActivityLog, AppendsLinesAndReadsTheListBack) {
    TempDir dir;
    const std::string log = dir / "brlog.dat";
    EXPECT_TRUE(ReadLogEntries(log).empty());  // missing log: empty list
    ASSERT_TRUE(WriteLog(log, LogSeparatorLine()));
    ASSERT_TRUE(WriteLog(log, BackupStartLine("now", "My Mail")));
    EXPECT_EQ(ReadFile(log),
              std::string(84, '.') + "\r\r\n" + "now Start Backup Profile My Mail Data...\n\r\n");
    EXPECT_EQ(ReadLogEntries(log).size(), 3u);
    // Deleted while the program runs: the next line makes it again.
    fs::remove(test::Fs(log));
    ASSERT_TRUE(WriteLog(log, "second"));
    EXPECT_EQ(ReadFile(log), "second\r\n");
    EXPECT_FALSE(WriteLog(dir / "gone\\brlog.dat", "line"));
}

TEST(Startup, GathersFactsCreatesAMissingLogAndKeepsAnExistingOne) {
    TempDir dir;
    setenv("USERPROFILE", dir.str().c_str(), 1);
    AppState state;
    state.NoSourceFile = false;
    // A portable copy that keeps its settings beside it keeps its log there too. A folder ending
    // in a backslash (a drive root) gets no second one.
    WriteFile(dir.path() / "settings.dat", "");
    GatherStartupFacts(state, dir.str() + "\\");
    EXPECT_EQ(state.LogFile, dir.str() + "\\brlog.dat");
    EXPECT_EQ(state.SettingsFile, dir.str() + "\\settings.dat");
    EXPECT_EQ(fs::file_size(dir.path() / "brlog.dat"), 0u);
    EXPECT_FALSE(fs::exists(dir.path() / "kestrine.dat"));  // nothing is staged at start-up
    EXPECT_TRUE(state.NoSourceFile);
    EXPECT_NE(state.UserName.back(), ' ');
    EXPECT_NE(state.WindowsDir.back(), '\\');
    EXPECT_TRUE(fs::is_directory(test::Fs(state.UserProfileDir)));

    WriteFile(dir.path() / "brlog.dat", "old line\r\n");
    GatherStartupFacts(state, dir.str());
    EXPECT_EQ(ReadFile(dir.path() / "brlog.dat"), "old line\r\n");
}

// An installed program keeps the user's files in the user's own folders. The first start that can
// read the settings beside the program takes them over (one that cannot takes nothing); later
// starts keep the user's own.
TEST(Startup, AnInstalledProgramTakesOverTheSettingsBesideItOnce) {
    TempDir dir;
    const std::string app = dir.str() + "\\Program Files\\Kestrine", local = dir.str() + "\\Local",
                      user = dir.str() + "\\user", beside = app + "\\settings.dat";
    for (const auto& folder : {app, local, user + "\\Documents"})
        fs::create_directories(test::Fs(folder));
    setenv("LOCALAPPDATA", local.c_str(), 1);
    setenv("USERPROFILE", user.c_str(), 1);
    WriteFile(test::Fs(beside), "[backup]\r\nbackupfolder=D:\\Old\r\n");
    test::SetValue(kInstallKey, kInstallFolderValue, test::kSz, test::SzData(app + "\\"));
    AppState state;
    fileio::Hold(beside);
    GatherStartupFacts(state, app);
    fileio::LetGo(beside);
    EXPECT_EQ(state.SettingsFile, local + "\\Kestrine\\settings.dat");
    EXPECT_EQ(state.LogFile, local + "\\Kestrine\\brlog.dat");
    EXPECT_FALSE(fs::exists(test::Fs(state.SettingsFile)));
    EXPECT_EQ(state.DefaultBackupFolder, user + "\\Documents\\Kestrine Backups");
    EXPECT_TRUE(fs::is_directory(test::Fs(state.DefaultBackupFolder)));

    GatherStartupFacts(state, app);
    EXPECT_EQ(ReadINIValue(state.SettingsFile, "backup", "backupfolder"), "D:\\Old");
    ASSERT_TRUE(WriteINIValue(state.SettingsFile, "backup", "backupfolder", "E:\\New"));
    GatherStartupFacts(state, app);
    EXPECT_EQ(ReadINIValue(state.SettingsFile, "backup", "backupfolder"), "E:\\New");
    EXPECT_EQ(ReadFile(test::Fs(beside)), "[backup]\r\nbackupfolder=D:\\Old\r\n");
    EXPECT_EQ(fileio::ListFileNames(app), std::vector<std::string>{"settings.dat"});
    registry::DeleteKeyTree(kInstallKey);
    unsetenv("LOCALAPPDATA");
}

// The package for one user installs into that user's own programs folder, which the user can
// write, and records it for the user alone: settings still live in the user's folder. A copy
// elsewhere that keeps its settings beside it is not taken for the installed one.
TEST(Startup, APerUserInstallKeepsSettingsPerUserAndACopyElsewhereBesideItself) {
    TempDir dir;
    const std::string local = dir.str() + "\\Local", app = local + "\\Programs\\Kestrine",
                      copy = dir.str() + "\\Portable";
    for (const auto& folder : {app, copy}) {
        fs::create_directories(test::Fs(folder));
        WriteFile(test::Fs(folder + "\\settings.dat"), "[backup]\r\nbackupfolder=D:\\Old\r\n");
    }
    setenv("LOCALAPPDATA", local.c_str(), 1);
    test::SetValue(kUserInstallKey, kInstallFolderValue, test::kSz, test::SzData(app));
    AppState state;
    GatherStartupFacts(state, app);
    EXPECT_EQ(state.SettingsFile, local + "\\Kestrine\\settings.dat");
    EXPECT_EQ(ReadINIValue(state.SettingsFile, "backup", "backupfolder"), "D:\\Old");
    EXPECT_NE(state.DefaultBackupFolder, app);
    GatherStartupFacts(state, copy);
    EXPECT_EQ(state.SettingsFile, copy + "\\settings.dat");
    EXPECT_EQ(state.LogFile, copy + "\\brlog.dat");
    registry::DeleteKeyTree(kUserInstallKey);
    unsetenv("LOCALAPPDATA");
}

}  // namespace
}  // namespace kestrine
