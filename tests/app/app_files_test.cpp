// Settings, the activity log and start-up's files, natively: the profile field's limits, the
// file's ANSI or UTF-16 form, the log's lines, the log made at start-up, and where an installed
// program keeps the user's files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "app/policy.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "app/startup.h"
#include "files_held.h"
#include "platform/file_stream.h"
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
    // A portable copy that keeps its settings beside it keeps its log there too. A folder ending
    // in a backslash (a drive root) gets no second one.
    WriteFile(dir.path() / "settings.dat", "");
    GatherStartupFacts(state, dir.str() + "\\");
    EXPECT_EQ(state.paths.LogFile, dir.str() + "\\brlog.dat");
    EXPECT_EQ(state.paths.SettingsFile, dir.str() + "\\settings.dat");
    EXPECT_EQ(fs::file_size(dir.path() / "brlog.dat"), 0u);
    EXPECT_FALSE(fs::exists(dir.path() / "kestrine.dat"));  // nothing is staged at start-up
    EXPECT_NE(state.UserName.back(), ' ');
    EXPECT_NE(state.WindowsDir.back(), '\\');
    EXPECT_TRUE(fs::is_directory(test::Fs(state.environment.UserProfileDir)));

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
    // The names the package writes (installer/kestrine.wxs), not the program's own constants.
    test::SetValue("HKEY_LOCAL_MACHINE\\Software\\Kestrine", "InstallFolder", test::kSz,
                   test::SzData(app + "\\"));
    AppState state;
    fileio::Hold(beside);
    GatherStartupFacts(state, app);
    fileio::LetGo(beside);
    EXPECT_EQ(state.paths.SettingsFile, local + "\\Kestrine\\settings.dat");
    EXPECT_EQ(state.paths.LogFile, local + "\\Kestrine\\brlog.dat");
    EXPECT_FALSE(fs::exists(test::Fs(state.paths.SettingsFile)));
    EXPECT_EQ(state.paths.DefaultBackupFolder, user + "\\Documents\\Kestrine Backups");
    EXPECT_TRUE(fs::is_directory(test::Fs(state.paths.DefaultBackupFolder)));

    GatherStartupFacts(state, app);
    EXPECT_EQ(ReadINIValue(state.paths.SettingsFile, "backup", "backupfolder"), "D:\\Old");
    ASSERT_TRUE(WriteINIValue(state.paths.SettingsFile, "backup", "backupfolder", "E:\\New"));
    GatherStartupFacts(state, app);
    EXPECT_EQ(ReadINIValue(state.paths.SettingsFile, "backup", "backupfolder"), "E:\\New");
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
    test::SetValue("HKEY_CURRENT_USER\\Software\\Kestrine", "InstallFolder", test::kSz,
                   test::SzData(app));
    AppState state;
    GatherStartupFacts(state, app);
    EXPECT_EQ(state.paths.SettingsFile, local + "\\Kestrine\\settings.dat");
    EXPECT_EQ(ReadINIValue(state.paths.SettingsFile, "backup", "backupfolder"), "D:\\Old");
    EXPECT_NE(state.paths.DefaultBackupFolder, app);
    GatherStartupFacts(state, copy);
    EXPECT_EQ(state.paths.SettingsFile, copy + "\\settings.dat");
    EXPECT_EQ(state.paths.LogFile, copy + "\\brlog.dat");
    registry::DeleteKeyTree(kUserInstallKey);
    unsetenv("LOCALAPPDATA");
}

// What an administrator set: the machine's value before the user's, settings.dat beneath both, and
// a value of the wrong type, out of range or not a full folder counts as not set.
TEST(Policies, MachineBeforeUserAndOnlyUsableValues) {
    test::Scratch s;
    const PolicyKeys& keys = s.state.paths.Policy;
    WriteINIValue(s.state.paths.SettingsFile, "autobackup", "keepdatedbackups", "7");
    WriteINIValue(s.state.paths.SettingsFile, "General", "checkbackupfile", "1");
    EXPECT_FALSE(ReadPolicies(keys).keepNewest);  // no policy key at all
    EXPECT_EQ(EffectiveSetting(ReadPolicies(keys), s.state.paths.SettingsFile, kKeepDatedBackups),
              "7");

    setenv("USERNAME", "sam", 1);
    s.SetPolicy(kPolicyBackupFolder, "\\\\server\\backups\\%USERNAME%\\");
    s.SetPolicy(kPolicyBackupFolder, "D:\\Mine", false);
    s.SetPolicy(kPolicyKeepNewest, 3, false);
    s.SetPolicy(kPolicyCheckBackup, 0);
    s.SetPolicy(kPolicyScheduleDays, " mon, Fri ");
    s.SetPolicy(kPolicyScheduleTime, "18:30", false);
    Policies p = ReadPolicies(keys);
    EXPECT_EQ(p.backupFolder, "\\\\server\\backups\\sam");
    EXPECT_EQ(p.keepNewest, 3);
    EXPECT_EQ(p.days, (std::array<bool, 7>{true, false, false, false, true, false, false}));
    EXPECT_EQ(p.startTime, "18:30");
    EXPECT_FALSE(p.requirePassword || p.closeOutlookForSchedule);
    EXPECT_EQ(EffectiveSetting(p, s.state.paths.SettingsFile, kKeepDatedBackups), "3");
    EXPECT_FALSE(EffectiveSettingIsOn(p, s.state.paths.SettingsFile, kCheckBackupFile));
    EXPECT_EQ(InPolicyFolder(p, "C:\\Users\\sam\\Documents\\b.ksx"),
              "\\\\server\\backups\\sam\\b.ksx");

    // Unusable values give way to the next source: the user's, then settings.dat.
    s.SetPolicy(kPolicyBackupFolder, "backups\\%NO_SUCH_VARIABLE%");
    s.SetPolicy(kPolicyKeepNewest, "3");  // text where a number belongs
    s.SetPolicy(kPolicyKeepNewest, 1000, false);
    s.SetPolicy(kPolicyCheckBackup, 2);
    s.SetPolicy(kPolicyRequirePassword, "1");
    s.SetPolicy(kPolicyScheduleDays, "Mon,Funday");
    s.SetPolicy(kPolicyScheduleTime, "12:60");
    s.SetPolicy(kPolicyScheduleTime, "24:00", false);
    p = ReadPolicies(keys);
    EXPECT_EQ(p.backupFolder, "D:\\Mine");
    EXPECT_FALSE(p.keepNewest || p.checkBackup || p.requirePassword || p.days || p.startTime);
    EXPECT_EQ(EffectiveSetting(p, s.state.paths.SettingsFile, kKeepDatedBackups), "7");
    EXPECT_TRUE(EffectiveSettingIsOn(p, s.state.paths.SettingsFile, kCheckBackupFile));
    for (const char* badTime : {"x:30", "1:3x"}) {
        s.SetPolicy(kPolicyScheduleTime, badTime);
        EXPECT_FALSE(ReadPolicies(keys).startTime) << badTime;
    }
    for (const char* bad : {"", ",", "Mon,,Tue", "Monday", "* ,Mon"})
        EXPECT_FALSE(PolicyDays(bad)) << bad;
    EXPECT_EQ(PolicyDays("*"), (std::array<bool, 7>{true, true, true, true, true, true, true}));
    s.SetPolicy(kPolicyBackupFolder, "E:\\");  // a drive's root is a full folder too
    EXPECT_EQ(ReadPolicies(keys).backupFolder, "E:\\");
    unsetenv("USERNAME");
}

// The template administrators load describes exactly the values the program reads, each of the
// kind it reads, and every string it names is in its language file.
TEST(Policies, TheTemplateDescribesExactlyTheValuesRead) {
    const std::string admx =
        ReadFile(fs::path(KESTRINE_SOURCE_DIR) / "installer/policy/kestrine.admx");
    const std::string adml =
        ReadFile(fs::path(KESTRINE_SOURCE_DIR) / "installer/policy/en-US/kestrine.adml");
    // Each `attribute="value"` of the file, with the element it stands in.
    auto attributes = [&](const std::string& attribute) {
        std::vector<std::pair<std::string, std::string>> found;
        const std::string marker = " " + attribute + "=\"";
        for (size_t at = admx.find(marker); at != std::string::npos;
             at = admx.find(marker, at + 1)) {
            const size_t open = admx.rfind('<', at) + 1;
            const size_t start = at + marker.size();
            found.emplace_back(admx.substr(open, admx.find_first_of(" \n", open) - open),
                               admx.substr(start, admx.find('"', start) - start));
        }
        return found;
    };
    std::set<std::string> described, read;
    for (const auto& [element, name] : attributes("valueName")) {
        described.insert(name);
        for (const auto& v : kPolicyValues)
            if (v.name == name) {
                EXPECT_EQ(element, v.kind == PolicyKind::Switch  ? "policy"
                                   : v.kind == PolicyKind::Count ? "decimal"
                                                                 : "text")
                    << name;
            }
    }
    for (const auto& v : kPolicyValues) read.insert(v.name);
    EXPECT_EQ(described, read);
    for (const auto& [element, key] : attributes("key"))
        EXPECT_EQ("HKEY_LOCAL_MACHINE\\" + key, kMachinePolicyKey);
    for (const char* kind : {"string", "presentation"}) {
        const std::string marker = std::string("$(") + kind + ".";
        for (size_t at = admx.find(marker); at != std::string::npos;
             at = admx.find(marker, at + 1)) {
            const size_t start = at + marker.size();
            const std::string id = admx.substr(start, admx.find(')', start) - start);
            EXPECT_NE(adml.find("<" + std::string(kind) + " id=\"" + id + "\""), std::string::npos)
                << id;
        }
    }
}

}  // namespace
}  // namespace kestrine
