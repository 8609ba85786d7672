// The application core and the platform's files under Wine: settings.dat, the log,
// start-up facts, file lookups, temporary files and the machine's facts.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "app/startup.h"
#include "outlook/locations.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/registry_access.h"
#include "platform/system.h"
#include "platform/text.h"
#include "registry/key_path.h"
#include "registry/registry.h"
#include "schedule/command_line.h"
#include "win_scratch.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;
namespace fileio = platform::fileio;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

fs::path U8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

void Attrib(const std::string& flags, const std::string& path) {
    std::string command = "attrib " + flags + " \"" + path + "\" >NUL";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

TEST(Settings, FieldLimitsTrimCaseAndSwitches) {
    TempDir dir;
    const std::string ini = dir / "settings.dat";
    EXPECT_EQ(ReadINIValue(ini, "backup", "backupfolder"), "");
    EXPECT_FALSE(fs::exists(U8(ini)));  // reading never creates the file

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

    const std::string unwritable = dir / "no such folder\\settings.dat";
    EXPECT_FALSE(WriteINIValue(unwritable, "backup", "autocloseoutlook", "1"));
    EXPECT_FALSE(fs::exists(U8(unwritable)));
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
    EXPECT_EQ(platform::ListFiles(dir.str(), true).size(), 2u);  // no temporary file left
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
    fs::remove(U8(log));
    ASSERT_TRUE(WriteLog(log, "second"));
    EXPECT_EQ(ReadFile(log), "second\r\n");
    EXPECT_FALSE(WriteLog(dir / "gone\\brlog.dat", "line"));
}

TEST(Startup, GathersFactsCreatesAMissingLogAndKeepsAnExistingOne) {
    TempDir dir;
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
    EXPECT_TRUE(fs::is_directory(U8(state.UserProfileDir)));

    WriteFile(dir.path() / "brlog.dat", "old line\r\n");
    GatherStartupFacts(state, dir.str());
    EXPECT_EQ(ReadFile(dir.path() / "brlog.dat"), "old line\r\n");
}

TEST(Startup, AnInstalledProgramKeepsTheUsersFilesInTheUsersOwnFolders) {
    TempDir dir;
    const std::string app = dir / "Program Files\\Kestrine", local = dir / "Local",
                      documents = dir / "Documents";
    for (const auto& folder : {app, local, documents}) fs::create_directories(U8(folder));
    WriteFile(U8(app + "\\settings.dat"), "[backup]\r\nbackupfolder=D:\\Old\r\n");
    const std::string installKey = kInstallKey;
    const bool hadKey = registry::KeyExists(installKey);
    {
        platform::RegistryKey key;
        ASSERT_EQ(platform::CreateRegistryKey(registry::ParseKey(installKey).root,
                                              registry::ParseKey(installKey).subkey, key),
                  platform::kRegSuccess);
    }
    ASSERT_TRUE(registry::SetStringValue(installKey, kInstallFolderValue, app + "\\"));
    auto start = [&] {
        AppState state;
        test::RedirectedShellFolder localData(L"Local AppData", local);
        test::RedirectedShellFolder personal(L"Personal", documents);
        GatherStartupFacts(state, app);
        return state;
    };
    AppState state = start();
    const std::string mine = local + "\\Kestrine";
    EXPECT_EQ(state.SettingsFile, mine + "\\settings.dat");
    EXPECT_EQ(state.LogFile, mine + "\\brlog.dat");
    EXPECT_EQ(state.TempFolder, mine);
    EXPECT_EQ(fs::file_size(U8(state.LogFile)), 0u);
    // The first start takes the settings over from beside the exe; later ones keep the user's.
    EXPECT_EQ(ReadINIValue(state.SettingsFile, "backup", "backupfolder"), "D:\\Old");
    EXPECT_EQ(state.DefaultBackupFolder, documents + "\\Kestrine Backups");
    EXPECT_TRUE(fs::is_directory(U8(state.DefaultBackupFolder)));
    ASSERT_TRUE(WriteINIValue(state.SettingsFile, "backup", "backupfolder", "E:\\New"));
    state = start();
    EXPECT_EQ(ReadINIValue(state.SettingsFile, "backup", "backupfolder"), "E:\\New");
    EXPECT_EQ(ReadFile(U8(app + "\\settings.dat")), "[backup]\r\nbackupfolder=D:\\Old\r\n");
    EXPECT_EQ(platform::ListFiles(app, true), std::vector<std::string>{"settings.dat"});
    if (hadKey)
        registry::DeleteValue(installKey, kInstallFolderValue);
    else
        registry::DeleteKeyTree(installKey);
}

TEST(Startup, PerUserFoldersComeFromTheShellAlsoWhenRedirected) {
    // Folder redirection puts the roaming folder elsewhere (a network share, say); the profile
    // folder's layout no longer finds it.
    TempDir dir;
    AppState state;
    {
        test::RedirectedShellFolder roaming(L"AppData", dir / "Redirected");
        GatherStartupFacts(state, dir.str());
    }
    EXPECT_EQ(state.RoamingAppDataDir, dir / "Redirected");
    EXPECT_EQ(outlook::FoldersOf(state).signatures, dir / "Redirected\\Microsoft\\Signatures");
    EXPECT_TRUE(fs::is_directory(U8(state.LocalAppDataDir)));
    EXPECT_EQ(outlook::FoldersOf(state).localOutlook,
              state.LocalAppDataDir + "\\Microsoft\\Outlook");
}

TEST(Files, LookupsListingRemovalAndFolders) {
    TempDir dir;
    std::string file = dir / "a.txt", hidden = dir / "h.txt";
    WriteFile(file, "x");
    WriteFile(hidden, "x");
    Attrib("+h", hidden);
    fs::create_directory(dir.path() / "sub");
    WriteFile(dir.path() / "sub" / "inner.txt", "4");
    EXPECT_TRUE(fileio::IsFile(hidden));
    EXPECT_FALSE(platform::NormalFileExists(hidden));  // the plain lookup does not see it
    EXPECT_TRUE(platform::NormalFileExists(file));
    EXPECT_FALSE(fileio::IsFile(dir.str()));

    EXPECT_EQ(platform::ListFiles(dir.str()), std::vector<std::string>{"a.txt"});
    auto all = platform::ListFiles(dir.str() + "\\", true);
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<std::string>{"a.txt", "h.txt"}));
    EXPECT_TRUE(platform::ListFiles(dir / "missing").empty());

    Attrib("+r", file);
    EXPECT_TRUE(fileio::RemoveFile(file));  // a read-only file too
    EXPECT_FALSE(fs::exists(U8(file)));
    EXPECT_TRUE(fileio::RemoveFile(file));             // already gone counts as removed
    EXPECT_FALSE(fileio::RemoveFile(dir / "sub"));     // a folder is not a file
    EXPECT_TRUE(platform::MakeFolder(dir / "sub"));    // there afterwards
    EXPECT_FALSE(platform::MakeFolder(dir / "x\\y"));  // one level only

    const std::string one = platform::CreateTempFile(dir.str(), "OBAXYZ");
    const std::string two = platform::CreateTempFile(dir.str(), "OBA");
    ASSERT_FALSE(one.empty());
    EXPECT_NE(one, two);
    const std::string name = one.substr(one.rfind('\\') + 1);
    EXPECT_EQ(name.substr(0, 3), "OBA");  // three characters of the prefix, ".tmp"
    EXPECT_EQ(name.find("XYZ"), std::string::npos);
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    EXPECT_EQ(platform::CreateTempFile(dir / "missing", "OBC"), "");
}

TEST(System, LocaleTimeAndTheCommandLineAsWindowsHandsItOver) {
    const std::string text = platform::LocaleDateTimeText({2026, 12, 5, 8, 35, 7});
    EXPECT_LT(text.find("2026"), text.find("35")) << text;  // short date, then long time
    EXPECT_NE(text.find("07"), std::string::npos) << text;
    // gtest's own arguments form the tail.
    EXPECT_EQ(schedule::CommandLineTail(platform::CommandLineText()).rfind("--gtest", 0), 0u);
}

}  // namespace
}  // namespace kestrine
