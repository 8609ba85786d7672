// The unattended backup run under Wine, over a scratch profile.
#include <gtest/gtest.h>

#include <regex>

#include "../backup/backup_fixture.h"
#include "platform/file_stream.h"
#include "schedule/auto_backup.h"
#include "schedule/unattended.h"

namespace kestrine::test {
namespace {

class AutoBackup : public ::testing::Test {
  public:
    void SetUp() override { target = p.backups + "\\kestrine-Outlook.ksx"; }
    schedule::AutoBackupResult Run(const std::string& mask, const std::string& password = "",
                                   const std::string& profile = "Outlook") {
        State().CommandLine = "sf=" + profile + "xm=" + mask + "ps=" + password + "bf=" + target;
        return schedule::RunAutoBackup(State());
    }

    ScratchProfile p;
    std::string target;
};

TEST_F(AutoBackup, AllItemsReplaceTheDefaultArchive) {
    ScratchProfile::Put(target, "last week's backup");
    auto result = Run("111111111");
    EXPECT_EQ(result.exitStatus, schedule::kExitAllSucceeded);
    EXPECT_EQ(result.itemFlags, "11111111111");
    EXPECT_EQ(result.archivePath, target);
    auto view = ScratchProfile::ReadArchive(target);
    ASSERT_TRUE(view.manifest.valid);
    EXPECT_EQ(view.manifest.header.identity, "Outlook");
    EXPECT_EQ(view.manifest.header.note, "Automatic Backup");
    EXPECT_EQ(view.manifest.entries[1], "a.pst;archive.pst");
    EXPECT_EQ(view.names.back(), "kestrine.dat");
    EXPECT_TRUE(p.messages.empty());
    EXPECT_EQ(p.AppFolderFiles(), std::vector<std::string>{"brlog.dat"});

    std::string log = p.LogText();
    EXPECT_EQ(log.rfind(std::string(84, '.') + "\r\r\n", 0), 0u);
    EXPECT_NE(log.find(" Start Auto Backup Profile Outlook Data...\n\r\n"), std::string::npos);
    EXPECT_NE(log.find(" Backup File is " + target + "\n\r\n"), std::string::npos);
    // The configuration is logged under the accounts words.
    EXPECT_EQ(Occurrences(log, " Backup Accounts Settings Succeeded!\n\r\n"), 2u);
    EXPECT_EQ(Occurrences(log, " Succeeded!\n\r\n"), 10u);
    EXPECT_NE(log.find(" Backup Profile Outlook Data was Completed!\r\r\n"), std::string::npos);
}

TEST_F(AutoBackup, AccountsMaskRunsConfigurationAndAccounts) {
    auto result = Run("010000000");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.itemFlags, "10010000000");
    EXPECT_EQ(Occurrences(p.LogText(), " Backup Accounts Settings Succeeded!"), 2u);
    EXPECT_EQ(State().AccountsKey,
              p.root + "\\Profiles\\Outlook\\9375CFF0413111d3B88A00104B2A6676");
}

TEST_F(AutoBackup, AMaskOfOneCharacterChoosesTheDataFiles) {
    auto result = Run("1");
    EXPECT_EQ(result.itemFlags, "11100000000");
}

TEST_F(AutoBackup, NineZerosGiveAManifestOnly) {
    auto result = Run("000000000");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.itemFlags, "00000000000");
    auto view = ScratchProfile::ReadArchive(target);
    EXPECT_EQ(view.names, std::vector<std::string>{"kestrine.dat"});
}

TEST_F(AutoBackup, TheDatedNameDeletesTheDefaultArchiveOnlyAfterTheNewOne) {
    p.Setting("autobackup", "autobackupfile", "1");
    ScratchProfile::Put(target, "last week's backup");
    auto result = Run("001000001");
    EXPECT_EQ(result.exitStatus, 0);
    std::regex dated(R"(.*\\kestrine-Outlook-\d\d-\d\d-\d{4}-\d\d-\d\d\.ksx)");
    EXPECT_TRUE(std::regex_match(result.archivePath, dated)) << result.archivePath;
    EXPECT_TRUE(ScratchProfile::Exists(result.archivePath));
    EXPECT_FALSE(ScratchProfile::Exists(target));
    EXPECT_EQ(State().TargetFile, result.archivePath);
}

TEST_F(AutoBackup, AnArchiveThatCannotBeWrittenGivesExitStatusTwo) {
    p.Setting("autobackup", "autobackupfile", "1");
    target = p.backups + "\\gone\\kestrine-Outlook.ksx";
    auto result = Run("111111111");
    EXPECT_EQ(result.exitStatus, schedule::kExitNoArchive);
    EXPECT_FALSE(ScratchProfile::Exists(result.archivePath));
    std::string log = p.LogText();
    EXPECT_NE(log.find(" Backup Profile Outlook Data was not Completed!\r\r\n"), std::string::npos);
    EXPECT_EQ(log.find("Data was Completed!"), std::string::npos);
    EXPECT_EQ(p.AppFolderFiles(), (std::vector<std::string>{"brlog.dat", "settings.dat"}));
    EXPECT_TRUE(p.messages.empty());
}

TEST_F(AutoBackup, AFailedWriteKeepsLastWeeksArchive) {
    ScratchProfile::Put(target, "last week's backup");
    schedule::AutoBackupResult result;
    {
        // Last week's archive is held open, so the new one cannot take its place.
        auto holder = platform::fileio::OpenForRead(target);
        ASSERT_TRUE(holder);
        result = Run("000000001");
    }
    if (result.exitStatus == 0) GTEST_SKIP() << "this system replaces a file that is held open";
    EXPECT_EQ(result.exitStatus, schedule::kExitNoArchive);
    EXPECT_EQ(ScratchProfile::Get(target), "last week's backup");
    EXPECT_NE(p.LogText().find(" Data was not Completed!\r\r\n"), std::string::npos);
}

TEST_F(AutoBackup, ALockedDataFileGivesExitStatusOne) {
    std::string locked = p.mail + "\\a.pst";
    std::filesystem::remove(ScratchProfile::Fs(locked));
    auto holder = platform::fileio::CreateNew(locked);
    ASSERT_TRUE(holder);
    ASSERT_TRUE(holder->Write("held", 4));
    auto result = Run("100000001");
    EXPECT_EQ(result.exitStatus, schedule::kExitItemFailed);
    EXPECT_EQ(result.itemFlags, "10100000001");
    EXPECT_NE(p.LogText().find(" Backup Personal Folders Fail!\n\r\n"), std::string::npos);
    EXPECT_NE(p.LogText().find(" Data was Completed!\r\r\n"), std::string::npos);
    holder.reset();
}

TEST_F(AutoBackup, AMissingProfileStillBacksUpThePerUserItems) {
    auto result = Run("111111111", "", "Nobody");
    EXPECT_EQ(result.exitStatus, schedule::kExitItemFailed);
    // Configuration, data files, rules, accounts and address book need the profile's keys.
    EXPECT_EQ(result.itemFlags, "00001101111");
    EXPECT_EQ(Occurrences(p.LogText(), " Backup Accounts Settings Fail!"), 2u);
}

TEST_F(AutoBackup, ThePasswordProtectsEveryEntry) {
    auto result = Run("001000001", "auto pass");
    ASSERT_EQ(result.exitStatus, 0);
    archive::ZipComponent zip;
    EXPECT_EQ(zip.ArchiveNeedsPassword(target), 1);
    ASSERT_TRUE(zip.OpenArchive(target));
    for (const auto& e : zip.Entries()) EXPECT_TRUE(e.encrypted) << e.name;
    zip.SetReadingPassword("auto pass");
    EXPECT_TRUE(zip.CheckPassword());
    zip.CloseArchive();
    if (const char* bin = std::getenv("KESTRINE_BINARY_DIR")) {
        std::string out = WinePathOf(std::string(bin) + "/bak-artifacts");
        std::filesystem::create_directories(ScratchProfile::Fs(out));
        std::filesystem::copy_file(ScratchProfile::Fs(target),
                                   ScratchProfile::Fs(out + "\\auto-protected.ksx"),
                                   std::filesystem::copy_options::overwrite_existing);
    }
}

TEST_F(AutoBackup, RefusedCommandLinesDoNothing) {
    ScratchProfile::Put(target, "last week's backup");
    for (std::string tail :
         {std::string("sf=Outlook"), std::string("no equals sign"),
          std::string("sf=Outlookxm=111111111"), "sf=xm=111111111ps=bf=" + target,
          "sf=Outlookxm=ps=bf=" + target, std::string("sf=Outlookxm=111111111ps=bf="),
          "sf=Outlookxm=111111111ps=a=bbf=" + target}) {
        SCOPED_TRACE(tail);
        State().CommandLine = tail;
        auto result = schedule::RunAutoBackup(State());
        EXPECT_TRUE(result.refused);
        EXPECT_EQ(result.exitStatus, schedule::kExitNoArchive);
        EXPECT_EQ(ScratchProfile::Get(target), "last week's backup");
        EXPECT_TRUE(p.AppFolderFiles().empty());
    }
}

TEST_F(AutoBackup, TheUnattendedProgramShowsNothingAndRefusesQuietly) {
    ScratchProfile::Put(target, "last week's backup");
    int status = schedule::RunUnattendedProgram("sf=Outlook");
    EXPECT_EQ(status, schedule::kExitNoArchive);
    EXPECT_EQ(ScratchProfile::Get(target), "last week's backup");
    // The test's recorder was replaced by the program's silent handler: nothing was recorded.
    EXPECT_TRUE(p.messages.empty());
}

TEST_F(AutoBackup, TheUnattendedProgramLogsAMissingOutlookInsteadOfShowingIt) {
    // Start-up facts of this machine: Wine has no Outlook, so only the scratch application folder
    // and archive are the test's own.
    int status = schedule::RunUnattendedProgram("sf=Outlookxm=000000000ps=bf=" + target);
    EXPECT_EQ(status, schedule::kExitAllSucceeded);
    EXPECT_TRUE(p.messages.empty());
    auto view = ScratchProfile::ReadArchive(target);
    EXPECT_EQ(view.names, std::vector<std::string>{"kestrine.dat"});
    std::string log = p.LogText();
    if (State().NoProfiles) {
        EXPECT_NE(
            log.find(" Your Windows System have not install MS Outlook or MS Outlook Error!\n"),
            std::string::npos);
    }
    EXPECT_NE(log.find(" Start Auto Backup Profile Outlook Data...\n\r\n"), std::string::npos);
}

}  // namespace
}  // namespace kestrine::test
