// Opening a backup file on the Restore tab: the dialogs, the password, the manifest shown and the
// items offered, and every way an open can fail.
#include "restore/open_backup.h"
#include "restore_fixture.h"

namespace kestrine::restore {
namespace {

using namespace kestrine::test;
using platform::MessageIcon;

class OpenBackup : public ::testing::Test {
  protected:
    RestoreScratch s;
    archive::ZipComponent zip;
    ui::RestoreTabModel& tab = ui::MainWindow().restore;
    AppState& state = State();

    OpenOutcome OpenFile(const std::string& path) {
        s.dialogs.chosenFile = path;
        return OpenBackupFile(tab, state, zip);
    }
    std::vector<bool> Enabled() const {
        std::vector<bool> out;
        for (const auto& item : tab.items) out.push_back(item.enabled);
        return out;
    }
    bool AnyTicked() const {
        for (const auto& item : tab.items)
            if (item.ticked) return true;
        return false;
    }
    std::string AllItems(const std::string& password = "") {
        std::vector<std::string> files;
        std::map<int, std::string> items;
        for (int i = 0; i < 11; ++i) {
            const std::string name = "item" + std::to_string(i) + ".dat";
            files.push_back(s.Source(name, "content " + name));
            items[i] = name;
        }
        return s.MakeArchive(password.empty() ? "all.ksx" : "locked.ksx", files,
                             RestoreScratch::Manifest(items, "first line PS$KSTsecond=line"),
                             password);
    }
};

TEST_F(OpenBackup, AValidBackupFillsTheTabAndTheState) {
    const std::string path = AllItems();
    ASSERT_EQ(OpenFile(path), OpenOutcome::Opened);

    ASSERT_EQ(s.dialogs.fileDialogs.size(), 1u);
    EXPECT_FALSE(s.dialogs.fileDialogs[0].save);
    EXPECT_EQ(s.dialogs.fileDialogs[0].title, "Restore Date from a backup file");
    EXPECT_EQ(s.dialogs.fileDialogs[0].filter, "Kestrine File (*.ksx)|*.ksx");
    EXPECT_EQ(s.dialogs.fileDialogs[0].fileName, "");
    EXPECT_EQ(s.dialogs.passwordPrompts, 0);
    EXPECT_TRUE(s.dialogs.messages.empty());

    EXPECT_EQ(tab.sourceFileText, path);
    EXPECT_EQ(state.SourceFile, path);
    EXPECT_EQ(state.ManifestPath, s.app + "\\kestrine.dat");
    EXPECT_EQ(tab.backupInfoText,
              "Computer:OLDPC\r\nUser:bob\r\nBackup Time:1/2/2026 3:04:05 PM\r\nProfile:Outlook\r\n"
              "Outlook Version:Outlook 2003");
    EXPECT_EQ(tab.noteText, "first line \r\nsecond=line");
    EXPECT_EQ(state.ItemFlags, "11111111111");
    EXPECT_EQ(Enabled(), std::vector<bool>(9, true));
    EXPECT_FALSE(AnyTicked());
    EXPECT_FALSE(state.NoSourceFile);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(state.ItemEntries[static_cast<size_t>(i)], "item" + std::to_string(i) + ".dat");
    // The extracted manifest is gone; nothing is left in the application folder.
    EXPECT_TRUE(s.AppFiles().empty());
    // The archive stays open for the restore run.
    EXPECT_TRUE(zip.FindEntry("item3.dat").has_value());
}

TEST_F(OpenBackup, FlagsEnableExactlyTheirEntries) {
    // Data files (2) and stationery (6) and contacts (11); config and rules enable nothing.
    const std::string path = s.MakeArchive(
        "some.ksx", {s.Source("a.pst", "a")},
        RestoreScratch::Manifest(
            {{0, "OBC.tmp"}, {1, "a.pst"}, {2, "Outlook.RWZ"}, {5, "Blue.htm"}, {10, "Jane.vcf"}}));
    state.ItemEntries[3] = "from an earlier open";
    ASSERT_EQ(OpenFile(path), OpenOutcome::Opened);
    EXPECT_EQ(Enabled(),
              (std::vector<bool>{true, false, false, true, false, false, false, false, true}));
    EXPECT_EQ(state.ItemEntries[1], "a.pst");
    EXPECT_EQ(state.ItemEntries[2], "Outlook.RWZ");
    EXPECT_EQ(state.ItemEntries[3], "from an earlier open");  // flag "0": never looked up

    const std::string onlyConfig =
        s.MakeArchive("config.ksx", {}, RestoreScratch::Manifest({{0, "OBC.tmp"}, {2, "O.RWZ"}}));
    ASSERT_EQ(OpenFile(onlyConfig), OpenOutcome::Opened);
    EXPECT_EQ(Enabled(), std::vector<bool>(9, false));
    EXPECT_FALSE(state.NoSourceFile);
}

TEST_F(OpenBackup, CancellingTheFileDialogClosesWhatWasOpen) {
    ASSERT_EQ(OpenFile(AllItems()), OpenOutcome::Opened);
    tab.items[2].ticked = true;
    EXPECT_EQ(OpenFile(""), OpenOutcome::Cancelled);
    EXPECT_EQ(Enabled(), std::vector<bool>(9, false));
    EXPECT_FALSE(AnyTicked());
    EXPECT_EQ(tab.sourceFileText, "");
    EXPECT_EQ(tab.backupInfoText, "");
    EXPECT_EQ(tab.noteText, "");
    // The archive was closed, so no backup is open any more.
    EXPECT_TRUE(state.NoSourceFile);
    EXPECT_FALSE(zip.FindEntry("item3.dat").has_value());
    EXPECT_TRUE(s.dialogs.messages.empty());
}

TEST_F(OpenBackup, AProtectedBackupOpensWithItsPasswordExactlyAsTyped) {
    const std::string path = AllItems(" pass word ");
    s.dialogs.passwords = {std::string(" pass word ")};
    ASSERT_EQ(OpenFile(path), OpenOutcome::Opened);
    EXPECT_EQ(s.dialogs.passwordPrompts, 1);
    EXPECT_EQ(state.EnteredPassword, " pass word ");
    EXPECT_EQ(state.ItemFlags, "11111111111");
    EXPECT_TRUE(s.AppFiles().empty());
}

TEST_F(OpenBackup, AWrongPasswordIsRefusedAndOffersNothing) {
    const std::string path = AllItems("secret");
    ASSERT_EQ(OpenFile(AllItems()), OpenOutcome::Opened);  // a valid backup open before
    s.dialogs.passwords = {std::string("Secret"), std::string("secret ")};
    for (int attempt = 0; attempt < 2; ++attempt) {
        s.dialogs.messages.clear();
        EXPECT_EQ(OpenFile(path), OpenOutcome::WrongPassword);
        ASSERT_EQ(s.dialogs.messages.size(), 1u);
        EXPECT_EQ(s.dialogs.messages[0].text, "Incorect Password or Invalid backup file!");
        EXPECT_EQ(s.dialogs.messages[0].title, "Kestrine");
        EXPECT_EQ(s.dialogs.messages[0].icon, MessageIcon::Information);
        EXPECT_EQ(Enabled(), std::vector<bool>(9, false));
        EXPECT_TRUE(state.NoSourceFile);
        EXPECT_EQ(tab.sourceFileText, "");
    }
    EXPECT_TRUE(s.AppFiles().empty());
    EXPECT_TRUE(Exists(path));
}

TEST_F(OpenBackup, CancelAtThePasswordKeepsTheEarlierEntry) {
    const std::string path = AllItems("secret");
    // First prompt cancelled: the empty password of start-up is checked.
    s.dialogs.passwords = {std::nullopt, std::string("secret"), std::nullopt, std::string("")};
    EXPECT_EQ(OpenFile(path), OpenOutcome::WrongPassword);
    EXPECT_EQ(state.EnteredPassword, "");
    EXPECT_EQ(OpenFile(path), OpenOutcome::Opened);
    // Cancelled again: the password confirmed before is used.
    EXPECT_EQ(OpenFile(path), OpenOutcome::Opened);
    EXPECT_EQ(state.EnteredPassword, "secret");
    // OK with an empty box empties it.
    EXPECT_EQ(OpenFile(path), OpenOutcome::WrongPassword);
    EXPECT_EQ(state.EnteredPassword, "");
    EXPECT_EQ(s.dialogs.passwordPrompts, 4);
}

TEST_F(OpenBackup, AFileThatIsNoArchiveIsAnInvalidBackup) {
    const std::string path = s.Source("notes.ksx", "this is not a zip file at all");
    // A manifest left in the application folder must not be taken for the archive's.
    Put(s.app + "\\kestrine.dat", "BackupComputer=STALE\r\nBackupItem=11111111111\r\n");
    EXPECT_EQ(OpenFile(path), OpenOutcome::Invalid);
    EXPECT_EQ(tab.backupInfoText,
              "Computer:\r\nUser:\r\nBackup Time:\r\nProfile:\r\nOutlook Version:");
    ASSERT_EQ(s.dialogs.messages.size(), 1u);
    EXPECT_EQ(s.dialogs.messages[0].text, "Invalid backup file");
    EXPECT_EQ(s.dialogs.messages[0].icon, MessageIcon::Critical);
    EXPECT_TRUE(state.NoSourceFile);
    EXPECT_EQ(Enabled(), std::vector<bool>(9, false));
    EXPECT_EQ(Get(path), "this is not a zip file at all");
}

TEST_F(OpenBackup, AnArchiveWithoutManifestOrWithABadItemStringIsInvalid) {
    archive::ZipComponent writer;
    const std::string bare = s.MakeFolder(s.dir / "archives") + "\\bare.ksx";
    ASSERT_TRUE(writer.CreateArchive(bare));
    ASSERT_TRUE(writer.AddFile(s.Source("a.pst", "a")));
    ASSERT_TRUE(writer.WriteArchive().ok);
    writer.CloseArchive();
    EXPECT_EQ(OpenFile(bare), OpenOutcome::Invalid);

    auto lines = RestoreScratch::Manifest({{1, "a.pst"}});
    lines.insert(lines.end() - 1, "");  // an empty line ends the reading before BackupItem
    EXPECT_EQ(OpenFile(s.MakeArchive("gap.ksx", {}, lines)), OpenOutcome::Invalid);
    EXPECT_EQ(tab.backupInfoText,
              "Computer:OLDPC\r\nUser:bob\r\nBackup Time:1/2/2026 3:04:05 PM\r\nProfile:Outlook\r\n"
              "Outlook Version:Outlook 2003");
    lines = RestoreScratch::Manifest({{1, "a.pst"}});
    lines.back() = "BackupItem=0100000000";  // ten characters
    EXPECT_EQ(OpenFile(s.MakeArchive("short.ksx", {}, lines)), OpenOutcome::Invalid);
    EXPECT_EQ(state.ItemFlags, "0100000000");
    EXPECT_TRUE(state.NoSourceFile);
    EXPECT_EQ(Enabled(), std::vector<bool>(9, false));
    EXPECT_TRUE(s.AppFiles().empty());
}

TEST_F(OpenBackup, ManifestKeysAreFoundWithoutRegardToCase) {
    auto lines = RestoreScratch::Manifest({});
    lines[0] = "BACKUPCOMPUTER=A=B";
    lines.insert(lines.end() - 1, "backupcontacts=Jane.vcf");
    lines.back() = "BackupItem=00000000001";
    ASSERT_EQ(OpenFile(s.MakeArchive("case.ksx", {}, lines)), OpenOutcome::Opened);
    EXPECT_EQ(tab.backupInfoText.substr(0, 14), "Computer:A=B\r\n");
    EXPECT_EQ(state.ItemEntries[10], "Jane.vcf");
    EXPECT_TRUE(tab.items[8].enabled);
}

}  // namespace
}  // namespace kestrine::restore
