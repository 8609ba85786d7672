// The interactive backup run under Wine, over a scratch profile.
#include <gtest/gtest.h>

#include "backup/backup_run.h"
#include "backup_fixture.h"
#include "platform/file_stream.h"
#include "ui/main_window_model.h"

namespace kestrine::test {
namespace {

using platform::MessageIcon;

class BackupRun : public ::testing::Test {
  public:
    void SetUp() override {
        window = ui::MainWindowModel{};
        window.backup.sourceProfile = "Outlook";
        target = p.backups + "\\kestrine-Outlook.ksx";
        State().TargetFile = target;
    }
    void Tick(std::initializer_list<int> boxes) {
        for (int b : boxes) window.backup.items[static_cast<size_t>(b)].ticked = true;
    }
    void TickAll() { Tick({0, 1, 2, 3, 4, 5, 6, 7, 8}); }

    ScratchProfile p;
    ui::MainWindowModel window;
    std::string target;
};

TEST_F(BackupRun, EveryItemGoesIntoTheArchiveWithItsManifestLine) {
    TickAll();
    window.backup.note = "first line\r\nsecond line";
    auto result = backup::RunBackup(window, State());
    ASSERT_TRUE(result.written);
    EXPECT_EQ(result.itemFlags, "11111111111");
    EXPECT_EQ(State().ItemFlags, "11111111111");

    auto view = ScratchProfile::ReadArchive(target);
    ASSERT_TRUE(view.opened);
    ASSERT_TRUE(view.manifest.valid);
    const auto& e = view.manifest.entries;
    EXPECT_EQ(view.manifest.header.identity, "Outlook");
    EXPECT_EQ(view.manifest.header.computer, "SCRATCHPC");
    EXPECT_EQ(view.manifest.header.logonUser, "sam");
    EXPECT_EQ(view.manifest.header.outlookVersion, "No Outlook");
    EXPECT_NE(view.manifestText.find("BackupInformation=first linePS$KSTsecond line\r\n"),
              std::string::npos);
    EXPECT_EQ(e[1], "a.pst;archive.pst");
    EXPECT_EQ(e[2], "Outlook.RWZ");
    EXPECT_EQ(e[6], "Outlook.pab");
    EXPECT_EQ(e[0].rfind("OBC", 0), 0u) << e[0];
    EXPECT_EQ(e[3].rfind("OBA", 0), 0u) << e[3];
    EXPECT_EQ(e[7].rfind("OBC", 0), 0u) << e[7];
    EXPECT_NE(e[0], e[7]);
    EXPECT_EQ(archive::SplitStagingList(e[4]).size(), 3u);  // the picture subfolder stays out
    EXPECT_EQ(Count(view.names, "image001.png"), 0);
    // The rules file lies in the preferences folder too, so it is in the archive twice.
    EXPECT_EQ(Count(view.names, "Outlook.RWZ"), 2);
    for (int i = 0; i < 11; ++i) {
        for (const auto& name : archive::SplitStagingList(e[static_cast<size_t>(i)]))
            EXPECT_GE(Count(view.names, name), 1) << name;
    }
    ASSERT_FALSE(view.names.empty());
    EXPECT_EQ(view.names.back(), "kestrine.dat");

    // Manifest staging file and export files are gone; only the log stays.
    EXPECT_EQ(p.AppFolderFiles(), std::vector<std::string>{"brlog.dat"});

    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(p.messages[0].title, "Kestrine");
    EXPECT_EQ(p.messages[0].text.rfind("The Backup was Completed!\t\t\t\r\n\r\nBackup Personal "
                                       "Folders\tSucceeded!\t",
                                       0),
              0u)
        << p.messages[0].text;
    EXPECT_EQ(Occurrences(p.messages[0].text, "Succeeded!"), 9u);

    std::string log = p.LogText();
    EXPECT_EQ(log.rfind(std::string(84, '.') + "\r\r\n", 0), 0u);
    EXPECT_NE(log.find(" Start Backup Profile Outlook Data...\n\r\n"), std::string::npos);
    EXPECT_NE(log.find(" Backup File is " + target + "\n\r\n"), std::string::npos);
    EXPECT_EQ(Occurrences(log, " Succeeded!\n\r\n"), 9u);
    EXPECT_EQ(Occurrences(log, " Backup Accounts Settings Succeeded!"), 1u);
    EXPECT_NE(log.find(" Backup Profile Outlook Data was Completed!\r\r\n"), std::string::npos);

    EXPECT_FALSE(window.progress.panelVisible);
    EXPECT_FALSE(window.progress.busyPointer);
    EXPECT_EQ(window.progress.value, 0);
}

TEST_F(BackupRun, OnlyContactsGivesTenZerosAndAOne) {
    Tick({8});
    auto result = backup::RunBackup(window, State());
    ASSERT_TRUE(result.written);
    EXPECT_EQ(result.itemFlags, "00000000001");
    auto view = ScratchProfile::ReadArchive(target);
    EXPECT_EQ(view.names, (std::vector<std::string>{"Jane.vcf", "kestrine.dat"}));
    EXPECT_EQ(view.manifest.entries[10], "Jane.vcf");
}

TEST_F(BackupRun, OnlyAccountsRunsConfigurationAndAccounts) {
    Tick({1});
    auto result = backup::RunBackup(window, State());
    ASSERT_TRUE(result.written);
    EXPECT_EQ(result.itemFlags, "10010000000");
    auto view = ScratchProfile::ReadArchive(target);
    EXPECT_EQ(view.names.size(), 3u);
    // The interactive run logs the configuration nowhere.
    EXPECT_EQ(Occurrences(p.LogText(), " Backup Accounts Settings Succeeded!"), 1u);
}

TEST_F(BackupRun, MissingItemsFailHonestlyAndMakeNoTemporaryFiles) {
    Tick({1, 6});
    registry::DeleteKeyTree(State().AccountsKey);
    std::filesystem::remove_all(ScratchProfile::Fs(p.templates));
    auto result = backup::RunBackup(window, State());
    ASSERT_TRUE(result.written);
    EXPECT_EQ(result.itemFlags, "10000000000");
    EXPECT_EQ(p.AppFolderFiles(), std::vector<std::string>{"brlog.dat"});
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_NE(p.messages[0].text.find("\r\nBackup Accounts Settings\tFail!\t"), std::string::npos);
    EXPECT_NE(p.messages[0].text.find("\r\nBackup Templates\tFail!\t"), std::string::npos);
    EXPECT_NE(p.LogText().find(" Backup Templates Fail!\n\r\n"), std::string::npos);
}

TEST_F(BackupRun, ADataFilePathStoredAsAnsiTextIsFoundToo) {
    // An older profile keeps the path as single-byte text; the first store names a file that is
    // gone.
    std::string ansi =
        std::string(4, '\0') + "KS" + p.mail2 + "\\archive.pst" + std::string(1, '\0');
    p.SetValue("Profiles\\Outlook\\2f7c3e5a1b2d4c6e8f90a1b2c3d4e5f6", "01020fff", 3,
               std::vector<uint8_t>(ansi.begin(), ansi.end()));
    std::filesystem::remove(ScratchProfile::Fs(p.mail + "\\a.pst"));
    std::filesystem::remove(ScratchProfile::Fs(p.mail + "\\Outlook.pab"));
    Tick({0, 4});
    auto result = backup::RunBackup(window, State());
    ASSERT_TRUE(result.written);
    // The address book is listed but missing: skipped, so that item has nothing and fails.
    EXPECT_EQ(result.itemFlags, "11100000000");
    auto view = ScratchProfile::ReadArchive(target);
    EXPECT_EQ(view.manifest.entries[1], "archive.pst");
    EXPECT_EQ(Count(view.names, "archive.pst"), 1);
    EXPECT_NE(p.messages.at(0).text.find("\r\nBackup Personal Address Book\tFail!\t"),
              std::string::npos);
}

TEST_F(BackupRun, RefusalsChangeNothing) {
    ScratchProfile::Put(target, "the user's previous backup");
    struct Case {
        std::function<void(BackupRun&)> arrange;
        std::string text;
        MessageIcon icon;
    };
    std::vector<Case> cases = {
        {[](BackupRun& t) {
             State().TargetFile.clear();
             t.Tick({8});
         },
         "Invalid backup file.", MessageIcon::Exclamation},
        {[](BackupRun&) {}, "Please select at least one item.", MessageIcon::Exclamation},
        {[](BackupRun& t) {
             t.Tick({8});
             t.window.backup.protect = true;
         },
         "Please enter Password!", MessageIcon::Critical},
        {[](BackupRun& t) {
             t.Tick({8});
             t.window.backup.protect = true;
             t.window.backup.password = "secret";
         },
         "Incorect Password!", MessageIcon::Critical},
        {[](BackupRun& t) {
             t.Tick({8});
             t.window.backup.protect = true;
             t.window.backup.password = "secret";
             t.window.backup.password2 = "Secret";
         },
         "Incorect Password!", MessageIcon::Critical},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.text);
        window = ui::MainWindowModel{};
        window.backup.sourceProfile = "Outlook";
        State().TargetFile = target;
        p.messages.clear();
        c.arrange(*this);
        auto result = backup::RunBackup(window, State());
        EXPECT_FALSE(result.started);
        ASSERT_EQ(p.messages.size(), 1u);
        EXPECT_EQ(p.messages[0].text, c.text);
        EXPECT_EQ(p.messages[0].icon, c.icon);
        EXPECT_EQ(p.messages[0].title, "Kestrine");
        EXPECT_EQ(ScratchProfile::Get(target), "the user's previous backup");
        EXPECT_TRUE(p.AppFolderFiles().empty());
        EXPECT_FALSE(window.progress.panelVisible);
    }
}

TEST_F(BackupRun, TheWindowFollowsTheRunAndASecondRunIsRefused) {
    Tick({8});
    std::vector<std::string> captions;
    std::vector<bool> nestedStarted;
    window.pumpMessages = [&] {
        captions.push_back(window.progress.label1 + "|" + window.progress.skinLabel9);
        // A click on "Backup Now" while the run lets messages through.
        if (nestedStarted.empty())
            nestedStarted.push_back(backup::RunBackup(window, State()).started);
    };
    auto result = backup::RunBackup(window, State());
    ASSERT_TRUE(result.written);
    ASSERT_EQ(nestedStarted, std::vector<bool>{false});
    EXPECT_EQ(p.messages.size(), 1u);
    bool sawAdding = false;
    for (const auto& c : captions)
        sawAdding |= c == "Copying Contacts Folder...|Adding File Jane.vcf";
    EXPECT_TRUE(sawAdding);
    EXPECT_TRUE(window.progress.skinLabel9.empty());
}

TEST_F(BackupRun, AnOlderArchiveIsReplacedWithoutAQuestion) {
    ScratchProfile::Put(target, "old");
    Tick({2});
    auto result = backup::RunBackup(window, State());
    ASSERT_TRUE(result.written);
    EXPECT_EQ(p.messages.size(), 1u);
    auto view = ScratchProfile::ReadArchive(target);
    EXPECT_EQ(view.manifest.itemFlags, "00001000000");
}

TEST_F(BackupRun, ALockedDataFileFailsItsItemOnly) {
    // Outlook holds its data file open without sharing it.
    std::string locked = p.mail + "\\a.pst";
    std::filesystem::remove(ScratchProfile::Fs(locked));
    auto holder = platform::fileio::CreateNew(locked);
    ASSERT_TRUE(holder);
    ASSERT_TRUE(holder->Write("held", 4));
    TickAll();
    auto result = backup::RunBackup(window, State());
    ASSERT_TRUE(result.written);
    EXPECT_EQ(result.itemFlags, "10111111111");
    auto view = ScratchProfile::ReadArchive(target);
    ASSERT_TRUE(view.manifest.valid);
    EXPECT_EQ(view.manifest.itemFlags, "10111111111");
    EXPECT_EQ(view.manifestText.find("BackupDatas="), std::string::npos);
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_NE(p.messages[0].text.find("\r\nBackup Personal Folders\tFail!\t"), std::string::npos);
    EXPECT_NE(p.LogText().find(" Backup Personal Folders Fail!\n\r\n"), std::string::npos);
    holder.reset();
}

TEST_F(BackupRun, AnArchiveThatCannotBeWrittenIsNeverReportedAsSuccess) {
    State().TargetFile = p.backups + "\\no such folder\\kestrine-Outlook.ksx";
    TickAll();
    auto result = backup::RunBackup(window, State());
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(result.written);
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].icon, MessageIcon::Critical);
    EXPECT_EQ(p.messages[0].text.find("The Backup was Completed!"), std::string::npos);
    EXPECT_EQ(p.messages[0].text.rfind(
                  "The backup file could not be written:\r\n" + State().TargetFile, 0),
              0u)
        << p.messages[0].text;
    std::string log = p.LogText();
    EXPECT_NE(log.find(" Backup Profile Outlook Data was not Completed!\r\r\n"), std::string::npos);
    EXPECT_EQ(log.find("Data was Completed!"), std::string::npos);
    EXPECT_EQ(p.AppFolderFiles(), std::vector<std::string>{"brlog.dat"});
}

TEST_F(BackupRun, AFailedWriteKeepsTheOlderArchive) {
    ScratchProfile::Put(target, "the user's previous backup");
    Tick({8});
    bool written = false;
    {
        // The older archive is held open without sharing, so the new one cannot take its place.
        auto holder = platform::fileio::OpenForRead(target);
        ASSERT_TRUE(holder);
        written = backup::RunBackup(window, State()).written;
    }
    if (written) GTEST_SKIP() << "this system replaces a file that is held open";
    EXPECT_EQ(ScratchProfile::Get(target), "the user's previous backup");
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].icon, MessageIcon::Critical);
    EXPECT_NE(p.messages[0].text.find(target), std::string::npos);
    // The unfinished archive leaves nothing beside the target.
    EXPECT_EQ(platform::ListFiles(p.backups, true),
              std::vector<std::string>{"kestrine-Outlook.ksx"});
}

TEST_F(BackupRun, ProtectionEncryptsEveryEntryWithThePassword) {
    Tick({2, 8});
    window.backup.protect = true;
    window.backup.password = window.backup.password2 = "s3cret pass";
    auto result = backup::RunBackup(window, State());
    ASSERT_TRUE(result.written);
    archive::ZipComponent zip;
    EXPECT_EQ(zip.ArchiveNeedsPassword(target), 1);
    ASSERT_TRUE(zip.OpenArchive(target));
    for (const auto& e : zip.Entries()) EXPECT_TRUE(e.encrypted) << e.name;
    zip.SetReadingPassword("wrong");
    EXPECT_FALSE(zip.CheckPassword());
    zip.SetReadingPassword("s3cret pass");
    EXPECT_TRUE(zip.CheckPassword());
    zip.CloseArchive();
    auto view = ScratchProfile::ReadArchive(target, "s3cret pass");
    EXPECT_EQ(view.manifest.itemFlags, "00001000001");

    // Left for the check with 7z that runs after this test.
    if (const char* bin = std::getenv("KESTRINE_BINARY_DIR")) {
        std::string out = WinePathOf(std::string(bin) + "/bak-artifacts");
        std::filesystem::create_directories(ScratchProfile::Fs(out));
        std::filesystem::copy_file(ScratchProfile::Fs(target),
                                   ScratchProfile::Fs(out + "\\protected.ksx"),
                                   std::filesystem::copy_options::overwrite_existing);
    }
}

TEST_F(BackupRun, ADataFileLargerThanFourGigabytes) {
    std::string big = p.mail + "\\a.pst";
    std::filesystem::remove(ScratchProfile::Fs(big));
    {
        auto f = platform::fileio::CreateNew(big);
        ASSERT_TRUE(f);
        ASSERT_TRUE(f->Seek((uint64_t{4} << 30) + 4096));  // sparse: only the tail is written
        ASSERT_TRUE(f->Write("tail of a large data file", 25));
    }
    std::string archivePath = target;
    const char* bin = std::getenv("KESTRINE_BINARY_DIR");
    if (bin) {
        std::string out = WinePathOf(std::string(bin) + "/bak-artifacts");
        std::filesystem::create_directories(ScratchProfile::Fs(out));
        archivePath = out + "\\large.ksx";
        State().TargetFile = archivePath;
    }
    Tick({0});
    auto result = backup::RunBackup(window, State());
    ASSERT_TRUE(result.written);
    EXPECT_EQ(result.itemFlags, "11100000000");
    archive::ZipComponent zip;
    ASSERT_TRUE(zip.OpenArchive(archivePath));
    auto entry = zip.FindEntry("a.pst");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->uncompressedSize, (uint64_t{4} << 30) + 4096 + 25);
    zip.CloseArchive();
}

}  // namespace
}  // namespace kestrine::test
