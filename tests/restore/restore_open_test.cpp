// Opening a backup file on the Restore tab, natively: the dialogs, the password, what the tab and
// the state get, and every way an open can fail.
#include "base/path.h"
#include "scratch.h"
#include "ui/commands.h"
#include "zip_test_util.h"

namespace kestrine::ui {
namespace {

using namespace kestrine::test;
using backup_format::Item;

class OpenBackup : public ::testing::Test {
  protected:
    Scratch s;
    archive::ArchiveReader zip;
    RestoreTabModel tab;

    OpenOutcome OpenFile(const std::string& path) {
        s.dialogs.chosenFile = path;
        return OpenBackupFile(tab, s.state, zip);
    }
    std::vector<bool> Enabled() const {
        std::vector<bool> out;
        for (const auto& item : tab.items) out.push_back(item.enabled && !item.ticked);
        return out;
    }
    // The tab and the state show no backup, and none stays open to restore from.
    void ExpectNothingOpen() {
        EXPECT_EQ(tab.sourceFileText, "");
        EXPECT_EQ(Enabled(), std::vector<bool>(9, false));
        EXPECT_FALSE(tab.backupOpen);
        EXPECT_TRUE(zip.Entries().empty());
    }
    std::string AllItems(const std::string& password = "") {
        std::vector<std::string> files;
        std::map<Item, std::string> items;
        for (const auto& info : backup_format::kItems) {
            const std::string name = std::string(info.manifestKey) + ".dat";
            files.push_back(s.Source(name, "content " + name));
            items[info.item] = name;
        }
        return s.MakeArchive(password.empty() ? "all.ksx" : "locked.ksx", files,
                             Scratch::Manifest(items, "first line PS$KSTsecond=line"), password);
    }
};

TEST_F(OpenBackup, AValidBackupFillsTheTabAndTheStateAndStaysOpen) {
    const std::string path = AllItems();
    ASSERT_EQ(OpenFile(path), OpenOutcome::Opened);
    EXPECT_EQ(s.dialogs.fileDialogs.at(0).title, "Restore Date from a backup file");
    EXPECT_EQ(s.dialogs.fileDialogs.at(0).filter, "Kestrine File (*.ksx)|*.ksx");
    EXPECT_EQ(s.dialogs.passwordPrompts, 0);
    EXPECT_TRUE(s.dialogs.messages.empty());
    EXPECT_EQ(tab.sourceFileText, path);
    EXPECT_EQ(tab.noteText, "first line \r\nsecond=line");
    EXPECT_EQ(Enabled(), std::vector<bool>(9, true));
    EXPECT_EQ(s.state.openedArchive.sourceFile, path);
    EXPECT_EQ(s.state.openedArchive.itemFlags, "11111111111");
    EXPECT_TRUE(tab.backupOpen);
    EXPECT_EQ(s.state.openedArchive.entries[backup_format::IndexOf(Item::Preferences)],
              "BackupSetting.dat");
    EXPECT_TRUE(s.AppFiles().empty());  // the extracted manifest is gone
    EXPECT_TRUE(zip.FindEntry("BackupPab.dat").has_value());

    // Cancelling the next file dialog closes what was open.
    tab.items[2].ticked = true;
    EXPECT_EQ(OpenFile(""), OpenOutcome::Cancelled);
    ExpectNothingOpen();
}

TEST_F(OpenBackup, APasswordExactlyAsTypedAndCancelCancelsTheOpen) {
    const std::string path = AllItems(" secret ");
    // Cancelled: no password is tried and nothing is said; the page stays empty.
    s.dialogs.passwords = {std::nullopt, std::string(" secret "), std::nullopt, std::string("")};
    EXPECT_EQ(OpenFile(path), OpenOutcome::Cancelled);
    EXPECT_TRUE(s.dialogs.messages.empty());
    ExpectNothingOpen();
    EXPECT_EQ(OpenFile(path), OpenOutcome::Opened);
    // Cancelled again: the password confirmed before is not tried either, and what was open goes.
    EXPECT_EQ(OpenFile(path), OpenOutcome::Cancelled);
    EXPECT_TRUE(s.dialogs.messages.empty());
    ExpectNothingOpen();
    // OK with an empty box tries the empty password.
    EXPECT_EQ(OpenFile(path), OpenOutcome::WrongPassword);
    EXPECT_EQ(s.dialogs.messages.at(0).text, "Incorect Password or Invalid backup file!");
    EXPECT_EQ(s.dialogs.messages.at(0).icon, platform::MessageIcon::Information);
    EXPECT_EQ(s.dialogs.passwordPrompts, 4);
    EXPECT_TRUE(s.AppFiles().empty());
}

TEST_F(OpenBackup, WhatIsNoValidBackupIsRefused) {
    // A manifest left in the application folder must not be taken for the archive's.
    Put(s.app + "\\kestrine.dat", "BackupComputer=STALE\r\nBackupItem=11111111111\r\n");
    const std::string notZip = s.Source("notes.ksx", "this is not a zip file at all");
    const std::string noManifest = Scratch::MakeFolder(s.dir / "archives") + "\\bare.ksx";
    ASSERT_TRUE(WriteZip(noManifest, {s.Source("a.pst", "a")}));
    auto gap = Scratch::Manifest({{Item::DataFiles, "a.pst"}});
    gap.insert(gap.end() - 1, "");  // an empty line ends the reading before BackupItem
    // A manifest larger than any real one (1 MiB) is no backup, however well it reads.
    auto huge = Scratch::Manifest({{Item::DataFiles, "a.pst"}});
    huge.push_back("Padding=" + std::string(1 << 20, 'x'));
    // A manifest whose bytes fail their check value.
    const std::string damaged = s.Source(
        "damaged.ksx", BuildZip({{"kestrine.dat", "BackupItem=10000000000\r\n", 0, 0, 1}}));
    for (const std::string& path : {notZip, noManifest, damaged, s.MakeArchive("gap.ksx", {}, gap),
                                    s.MakeArchive("huge.ksx", {}, huge)}) {
        s.dialogs.messages.clear();
        EXPECT_EQ(OpenFile(path), OpenOutcome::Invalid) << path;
        EXPECT_EQ(s.dialogs.messages.at(0).text, "Invalid backup file");
        EXPECT_EQ(s.dialogs.messages.at(0).icon, platform::MessageIcon::Critical);
        EXPECT_FALSE(tab.backupOpen);
        EXPECT_EQ(Enabled(), std::vector<bool>(9, false));
        EXPECT_EQ(tab.backupInfoText.find("STALE"), std::string::npos);
    }
    EXPECT_EQ(Get(notZip), "this is not a zip file at all");
    EXPECT_EQ(s.AppFiles(), std::vector<std::string>{"kestrine.dat"});
    // One of exactly that size still is.
    auto full = Scratch::Manifest({{Item::DataFiles, "a.pst"}});
    size_t used = 0;
    for (const auto& line : full) used += line.size() + 2;
    full.push_back("Padding=" + std::string((1 << 20) - used - 10, 'x'));
    EXPECT_EQ(OpenFile(s.MakeArchive("full.ksx", {}, full)), OpenOutcome::Opened);
}

// Someone who can write to the backup's folder, but has no password, adds plain entries to a
// protected backup: a manifest of their own that would be read last, or a file. The owner's right
// password must not open it.
TEST_F(OpenBackup, AProtectedBackupWithPlainEntriesAddedIsRefusedAsAltered) {
    const std::string folder = Scratch::MakeFolder(s.dir / "archives");
    const std::string pst = s.Source("a.pst", "the owner's mail");
    const std::string manifest = s.dir / "staging\\kestrine.dat";
    Put(manifest, "BackupComputer=OWNER\r\nBackupItem=01000000000\r\nBackupDatas=a.pst\r\n");
    const std::string forged = s.dir / "forged\\kestrine.dat";
    Put(forged, "BackupComputer=EVIL\r\nBackupItem=01000000000\r\nBackupDatas=evil.pst\r\n");
    const std::string evil = s.Source("evil.pst", "forged mail");
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, bool>> entries;  // file, protected
    };
    for (const Case& c :
         {Case{"manifest.ksx", {{pst, true}, {manifest, true}, {evil, false}, {forged, false}}},
          Case{"file.ksx", {{pst, true}, {manifest, true}, {evil, false}}},
          Case{"first.ksx", {{evil, false}, {pst, true}, {manifest, true}}}}) {
        SCOPED_TRACE(c.name);
        const std::string path = folder + "\\" + c.name;
        // Our writer protects all entries or none: the owner's ones carry the traditional
        // encryption of earlier versions here, beside the plain ones added.
        std::vector<RawEntry> entries;
        for (const auto& [file, locked] : c.entries) {
            const std::string plain = Get(file);
            const uint32_t crc = Crc(plain);
            entries.push_back({.name = base::BaseName(file),
                               .data = locked ? ZipCryptoSeal("owner pw", plain, crc) : plain,
                               .flags = static_cast<uint16_t>(locked ? 1 : 0),
                               .crc = crc,
                               .uncompressedSize = static_cast<int64_t>(plain.size())});
        }
        Put(path, BuildZip(entries));
        s.dialogs.messages.clear();
        s.dialogs.passwords = {std::string("owner pw")};
        s.dialogs.passwordPrompts = 0;
        EXPECT_EQ(OpenFile(path), OpenOutcome::Invalid);
        ASSERT_EQ(s.dialogs.messages.size(), 1u);
        EXPECT_NE(s.dialogs.messages[0].text.find("has been altered"), std::string::npos);
        EXPECT_EQ(s.dialogs.messages[0].icon, platform::MessageIcon::Critical);
        ExpectNothingOpen();
        EXPECT_TRUE(s.AppFiles().empty());
    }
}

}  // namespace
}  // namespace kestrine::ui
