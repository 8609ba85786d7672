#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "app/app_state.h"
#include "app/settings.h"
#include "platform/text.h"
#include "test_support.h"

namespace kestrine {
namespace {

namespace fs = std::filesystem;

// A path from UTF-8 text, and a file name back as UTF-8 text.
fs::path U8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}
std::string NameOf(const fs::path& path) {
    auto name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = State().AppFolder;
        State().AppFolder = dir_.str();
    }
    void TearDown() override { State().AppFolder = saved_; }
    std::string Path(const std::string& name) { return dir_ / name; }

    TempDir dir_;
    std::string saved_;
};

TEST_F(SettingsTest, LongValueIsStoredAs128AndReadBackAs127) {
    std::string value;
    for (int i = 0; i < 200; ++i) value += static_cast<char>('a' + i % 26);
    WriteINIValue(SettingsPath(), "backup", "backupfolder", value);
    std::string file = ReadFile(SettingsPath());
    EXPECT_NE(file.find("backupfolder=" + value.substr(0, 128) + "\r\n"), std::string::npos)
        << file;
    EXPECT_EQ(file.find(value.substr(0, 129)), std::string::npos);
    EXPECT_EQ(ReadINIValue(SettingsPath(), "backup", "backupfolder"), value.substr(0, 127));
}

TEST_F(SettingsTest, SurroundingSpacesAreTrimmedOnRead) {
    WriteFile(SettingsPath(), "[backup]\r\nbackupfolder=   C:\\My Backups   \r\n");
    EXPECT_EQ(ReadINIValue(SettingsPath(), "backup", "backupfolder"), "C:\\My Backups");
}

TEST_F(SettingsTest, SectionAndKeyMatchWithoutCaseAndFirstCaseStays) {
    WriteINIValue(SettingsPath(), "Backup", "autocloseoutlook", "1");
    WriteINIValue(SettingsPath(), "backup", "AutoCloseOutlook", "0");
    EXPECT_EQ(ReadINIValue(SettingsPath(), "BACKUP", "autocloseoutlook"), "0");
    std::string file = ReadFile(SettingsPath());
    EXPECT_NE(file.find("[Backup]"), std::string::npos) << file;
    EXPECT_EQ(file.find("[backup]"), std::string::npos) << file;
}

TEST_F(SettingsTest, MissingFileSectionOrKeyReadsEmpty) {
    EXPECT_EQ(ReadINIValue(SettingsPath(), "backup", "backupfolder"), "");
    EXPECT_FALSE(fs::exists(U8(SettingsPath())));  // reading never creates the file
    WriteINIValue(SettingsPath(), "General", "startonwindows", "1");
    EXPECT_EQ(ReadINIValue(SettingsPath(), "backup", "startonwindows"), "");
    EXPECT_EQ(ReadINIValue(SettingsPath(), "General", "checkbackupfile"), "");
}

TEST_F(SettingsTest, SwitchIsOnOnlyForOne) {
    WriteFile(
        SettingsPath(),
        "[autobackup]\r\none=1\r\ntwo=2\r\nword=yes\r\nempty=\r\nspaced= 1 \r\nzeroone=01\r\n");
    EXPECT_TRUE(SettingIsOn("autobackup", "one"));
    EXPECT_TRUE(SettingIsOn("autobackup", "spaced"));
    EXPECT_FALSE(SettingIsOn("autobackup", "two"));
    EXPECT_FALSE(SettingIsOn("autobackup", "word"));
    EXPECT_FALSE(SettingIsOn("autobackup", "empty"));
    EXPECT_FALSE(SettingIsOn("autobackup", "zeroone"));
    EXPECT_FALSE(SettingIsOn("autobackup", "missing"));
    EXPECT_FALSE(SettingIsOn("nosection", "one"));
}

TEST_F(SettingsTest, UnwritableSettingsFileIsLeftAlone) {
    std::string missingFolder = Path("no such folder") + "\\settings.dat";
    WriteINIValue(missingFolder, "backup", "autocloseoutlook", "1");
    EXPECT_FALSE(fs::exists(U8(missingFolder)));
    EXPECT_EQ(ReadINIValue(missingFolder, "backup", "autocloseoutlook"), "");
}

TEST_F(SettingsTest, SaveINIAppendsAndGetINIReadsTheFirst) {
    std::string file = Path("kestrine.dat");
    ASSERT_TRUE(SaveINI("BackupContacts", "a.vcf;b=c.vcf", file));
    ASSERT_TRUE(SaveINI("backupcontacts", "second", file));
    ASSERT_TRUE(SaveINI("BackupInformation", "", file));
    EXPECT_EQ(ReadFile(file),
              "BackupContacts=a.vcf;b=c.vcf\r\nbackupcontacts=second\r\nBackupInformation=\r\n");
    EXPECT_EQ(GetINI("Backupcontacts", file), "a.vcf;b=c.vcf");
    EXPECT_EQ(GetINI("BackupInformation", file), "");
}

TEST_F(SettingsTest, GetINIStopsAtEmptyLineAndSkipsOtherLines) {
    std::string file = Path("lines.dat");
    WriteFile(file, "[head]\r\nfree text\r\nA=1\r\n\r\nB=2\r\n");
    EXPECT_EQ(GetINI("A", file), "1");
    EXPECT_EQ(GetINI("B", file), "");
}

TEST_F(SettingsTest, GetINIOnMissingFileIsEmptyAndSaveINIFailsInMissingFolder) {
    EXPECT_EQ(GetINI("A", Path("missing.dat")), "");
    std::string bad = Path("no folder") + "\\x.dat";
    EXPECT_FALSE(SaveINI("A", "1", bad));
    EXPECT_FALSE(fs::exists(U8(bad)));
}

TEST_F(SettingsTest, LineFilesAreAnsiText) {
    const std::string name = "Jos\xC3\xA9";  // UTF-8 inside the program
    if (!platform::FitsAnsi(name)) GTEST_SKIP() << "the ANSI code page lacks the character";
    std::string file = Path("ansi.dat");
    ASSERT_TRUE(SaveINI("BackupLogonUser", name, file));
    EXPECT_EQ(ReadFile(file), "BackupLogonUser=" + platform::Utf8ToAnsi(name) + "\r\n");
    EXPECT_EQ(GetINI("BackupLogonUser", file), name);
}

TEST_F(SettingsTest, TempFilesAreNewEmptyAndUnique) {
    std::set<std::string> seen;
    for (int i = 0; i < 5; ++i) {
        std::string path = sGetTempFile("OBC");
        ASSERT_FALSE(path.empty());
        fs::path p = U8(path);
        EXPECT_TRUE(fs::exists(p));
        EXPECT_EQ(fs::file_size(p), 0u);
        EXPECT_TRUE(fs::equivalent(p.parent_path(), dir_.path()));
        std::string name = NameOf(p);
        EXPECT_EQ(name.substr(0, 3), "OBC") << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".tmp") << name;
        EXPECT_TRUE(seen.insert(path).second) << path;
    }
    // Only the first three characters of a longer prefix are used.
    std::string longer = NameOf(U8(sGetTempFile("OBAXYZ")));
    EXPECT_EQ(longer.substr(0, 3), "OBA");
    EXPECT_EQ(longer.find("XYZ"), std::string::npos) << longer;
}

TEST_F(SettingsTest, TempFileInMissingFolderIsEmptyText) {
    State().AppFolder = Path("gone");
    EXPECT_EQ(sGetTempFile("OBC"), "");
}

}  // namespace
}  // namespace kestrine
