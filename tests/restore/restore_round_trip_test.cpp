// Whole restores, natively: a realistic profile backed up and restored into a profile of another
// name and another user; a restore is all or nothing and can be undone; archives as earlier
// versions wrote them, and archives whose entry names try to leave their folder.
#include "files_held.h"
#include "registry_stand_in.h"
#include "round_trip_fixture.h"

namespace kestrine::ui {
namespace {

std::string FixtureArchive(const std::string& name) {
    std::string path = KESTRINE_RESTORE_FIXTURES "/" + name;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

TEST_F(SafeRestore, IntoAnotherProfileOfAnotherUser) {
    const std::string fav2 = f2.applicationData + "\\Outlook";
    const auto appBefore = s.AppFiles();
    const auto report = Restore();
    EXPECT_EQ(
        RestoreSummary(report),
        "\r\nRestore Accounts Settings\tSucceeded!\t\r\nRestore Signatures\t\tSucceeded!\t"
        "\r\nRestore Stationeries\tSucceeded!\t\r\nRestore Personal Address Book\tSucceeded!\t"
        "\r\nRestore Options Settings\tSucceeded!\t\r\nRestore Templates\t\tSucceeded!\t"
        "\r\nRestore Preferences\tSucceeded!\t\r\nRestore Contacts Folder\tSucceeded!\t"
        "\r\nRestore Personal Folders\tSucceeded!\t");

    EXPECT_EQ(Snapshot(second), ExpectedTree(f2.localOutlook));
    EXPECT_EQ(Snapshot(source), sourceTree);  // the source profile is not touched
    EXPECT_EQ(Snapshot(s.optionsKey), sourceOptions);

    auto expectedFiles = sourceFiles;
    expectedFiles["local"]["Archive.pst"] = Get(elsewhere + "\\Archive.pst");
    expectedFiles["local"]["Outlook.pab"] = Get(elsewhere + "\\Outlook.pab");
    expectedFiles["local"]["Outlook.pst"] = Get(mail + "\\Outlook.pst");
    expectedFiles["local"]["Outlook (2).pst"] = Get(old + "\\Outlook.pst");
    // The rules file is named after the target profile; the preferences bring the source's too.
    expectedFiles["roaming"]["Second.RWZ"] = expectedFiles["roaming"][kProfile + ".RWZ"];
    // The three files it replaced are set aside for an undo; nothing else is left.
    auto files = UserFiles(f2);
    size_t asides = 0;
    for (auto& [folder, names] : files)
        asides += std::erase_if(
            names, [](const auto& n) { return n.first.find(".undo-") != std::string::npos; });
    EXPECT_EQ(asides, 3u);
    EXPECT_EQ(files, expectedFiles);
    EXPECT_FALSE(Exists(fav2 + "\\Second.FAV"));
    EXPECT_TRUE(Exists(fav2 + "\\Outlook.FAV"));
    // The picture subfolder of the signatures is not part of a backup.
    EXPECT_FALSE(Exists(f2.signatures + "\\Work_files"));
    EXPECT_EQ(s.AppFiles(), appBefore);  // no export file or manifest left behind
}

// --- a restore is all or nothing, and can be undone ---

TEST_F(SafeRestore, AnUndoGivesBackTheProfileAndEveryFileByteForByte) {
    const State before = Now();
    ASSERT_EQ(Restore().outcome, recovery::RunOutcome::Completed);
    EXPECT_EQ(Snapshot(second), ExpectedTree(f2.localOutlook));
    const State restored = Now();
    ASSERT_NE(restored, before);

    s.dialogs.messages.clear();
    UndoLastRestoreCommand(s.state);
    ASSERT_EQ(s.dialogs.messages.size(), 2u);  // the question, then the outcome
    EXPECT_EQ(s.dialogs.messages[1].text, "The last restore was undone.");
    EXPECT_EQ(Now(), before);
    EXPECT_NE(s.Log().find(" The last restore was undone."), std::string::npos);
    // Nothing is left to undo, and no set-aside file stays in the user's folders.
    EXPECT_FALSE(recovery::CanUndoLastRestore(s.state.paths.UndoFolder));
    s.dialogs.messages.clear();
    UndoLastRestoreCommand(s.state);
    EXPECT_EQ(s.dialogs.messages.at(0).text, "There is no restore to undo.");
}

// A row fails midway: the registry refuses a write of the options, or Outlook (here: the test)
// holds the target's data file open without sharing. Every row before it goes back, and so does
// what the failed row had done.
TEST_F(SafeRestore, AFailingRowPutsEveryEarlierRowBack) {
    namespace memory = platform::memory_registry;
    const State before = Now();
    const std::string pst = f2.localOutlook + "\\Outlook.pst";
    for (const backup_format::Item failing :
         {backup_format::Item::Options, backup_format::Item::DataFiles}) {
        SCOPED_TRACE(static_cast<int>(failing));
        s.dialogs.messages.clear();
        backup_format::RunObserver observer;  // the take-back may write again
        observer.stepFinished = [](backup_format::Item, backup_format::StepOutcome outcome) {
            if (outcome == backup_format::StepOutcome::Failed) memory::ClearFailures();
        };
        if (failing == backup_format::Item::Options)
            memory::PlantFailure(memory::Operation::SetValue, kHkcu, SubkeyOf(s.optionsKey), 5);
        else
            platform::fileio::Hold(pst);
        // The window's run, which shows its message, where nothing is to be cleared midway.
        const auto report =
            failing == backup_format::Item::Options ? RestoreObserved(observer) : Restore();
        memory::ClearFailures();
        platform::fileio::LetGo(pst);
        ASSERT_GT(report.rows.size(), 1u);
        EXPECT_EQ(report.rows.back().item, failing);
        EXPECT_FALSE(report.rows.back().ok());
        EXPECT_EQ(report.takenBack, restore::TakenBackBecause::RowFailed);
        EXPECT_FALSE(report.takeBackFailed);
        EXPECT_EQ(Now(), before);
        EXPECT_FALSE(recovery::CanUndoLastRestore(s.state.paths.UndoFolder));
    }
    const std::string said = s.dialogs.messages.back().text;
    EXPECT_EQ(said.rfind("The Restore was not completed and nothing was changed.", 0), 0u) << said;
    // It names the held file and what the system said of it.
    EXPECT_NE(
        said.find("Personal Folders could not be restored. " + pst + " could not be set aside: "),
        std::string::npos)
        << said;
    EXPECT_NE(s.Log().find("every change it made was put back"), std::string::npos);
}

// By the time the restore has to go back (its last row failed), a file it wrote is held open: the
// log says the changes are still there, nothing is lost, and the next start puts all of it back.
TEST_F(SafeRestore, ATakeBackThatCannotFinishIsDoneAtTheNextStart) {
    const State before = Now();
    const std::string signature = f2.signatures + "\\Work.htm";
    const std::string pst = f2.localOutlook + "\\Outlook.pst";
    backup_format::RunObserver observer;
    observer.stepFinished = [&](backup_format::Item item, backup_format::StepOutcome) {
        if (item == backup_format::Item::Signatures) platform::fileio::Hold(signature);
    };
    platform::fileio::Hold(pst);
    const auto report = RestoreObserved(observer);
    platform::fileio::LetGo(pst);
    platform::fileio::LetGo(signature);
    EXPECT_EQ(report.takenBack, restore::TakenBackBecause::RowFailed);
    EXPECT_TRUE(report.takeBackFailed);
    EXPECT_NE(s.Log().find(" Restore could not put back every change it made; it will be tried "
                           "again at the next start.\n"),
              std::string::npos);
    EXPECT_TRUE(recovery::MakeProfileWhole(s.state.paths, s.state.environment).ok);
    EXPECT_EQ(Now(), before);
    EXPECT_FALSE(recovery::CanUndoLastRestore(s.state.paths.UndoFolder));
}

// --- archives made by earlier versions ---

class EarlierArchives : public ::testing::Test {
  protected:
    Scratch s;
    archive::ArchiveReader zip;
};

TEST_F(EarlierArchives, TraditionalEncryptionAnsiTextAndTheOldExportFormat) {
    const UserFolders& f = s.folders;
    for (const auto& d : {f.signatures, f.roamingOutlook, f.localOutlook, f.contacts})
        s.MakeFolder(d);
    const std::string target = s.Profile("Target");
    SetValue(target, "Stale", kSz, SzData("x"));
    SetValue(s.optionsKey, "Stale", kSz, SzData("x"));

    const auto report = OpenAndRestore(s, zip, FixtureArchive("legacy.ksx"), std::string("pw"),
                                       "Target", {0, 1, 2, 5, 8});
    EXPECT_EQ(s.state.openedArchive.itemFlags, "11111001001");
    for (const auto& row : report.rows) EXPECT_TRUE(row.ok()) << static_cast<int>(row.item);
    EXPECT_EQ(report.rows.size(), 7u);

    const std::string newPath = f.localOutlook + "\\Old.pst";
    TreeSnapshot expected;
    expected[""] = {};
    expected[std::string("\\") + kStoreSection] = {{"001e0324", {kSz, SzData("Legacy")}}};
    expected["\\13dbb0c8aa05101a9bb000aa002fc45a"] = {
        {"01020fff", {kBinary, StoreValueUtf16(newPath)}},
        {"001f6700", {kBinary, B(Utf16(newPath) + std::string(2, '\0'))}},
        {"001e6700", {kBinary, B(newPath + '\0')}},
        {"Flags", {kDword, {0xFF, 0xFF, 0xFF, 0xFF}}}};
    expected[std::string("\\") + kAccountsSubkey] = {};
    expected[std::string("\\") + kAccountsSubkey + "\\00000001"] = {
        {"Account Name", {kSz, SzData("bob@example.com")}},
        {"Display Name", {kSz, SzData(platform::AnsiToUtf8("Bob M\xfcller"))}},
        {"Port", {kDword, {110, 0, 0, 0}}}};
    EXPECT_EQ(Snapshot(target), expected);

    const auto options = Snapshot(s.optionsKey);
    EXPECT_EQ(options.at("").size(), 2u);
    EXPECT_EQ(options.at("").at("Legacy Option").second, (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(options.at("").at("Path"), std::make_pair(2u, SzData("%USERPROFILE%\\x")));
    EXPECT_EQ(options.at("\\Sub").at("Empty"), std::make_pair(kBinary, Bytes{}));

    EXPECT_EQ(Get(newPath), std::string(20000, 'P'));
    EXPECT_EQ(Get(f.roamingOutlook + "\\Target.RWZ"), "legacy rules");
    EXPECT_FALSE(Exists(f.roamingOutlook + "\\Legacy.RWZ"));
    EXPECT_EQ(Files(f.signatures),
              (FolderSnapshot{{"Sig.txt", "Bob\r\n"}, {"Sig.htm", "<p>Bob</p>"}}));
    EXPECT_EQ(Get(f.contacts + "\\Bob.vcf"), "BEGIN:VCARD\r\nFN:Bob\r\nEND:VCARD\r\n");
    EXPECT_TRUE(s.AppFiles().size() <= 1u);  // brlog.dat only
}

TEST_F(EarlierArchives, EntryNamesThatLeaveTheirFolderAreRefused) {
    const UserFolders& f = s.folders;
    for (const auto& d : {f.signatures, f.stationery, f.contacts, f.localOutlook}) s.MakeFolder(d);
    Put(f.signatures + "\\Work.htm", "mine");
    const std::string target = s.Profile("Target");
    SetValue(target, "Keep", kSz, SzData("x"));
    const TreeSnapshot before = Snapshot(target);

    const auto report =
        OpenAndRestore(s, zip, FixtureArchive("hostile.ksx"), std::nullopt, "Target", {2, 3, 4, 8});
    // The first row fails, and with it the whole restore.
    ASSERT_EQ(report.rows.size(), 1u);
    EXPECT_FALSE(report.rows[0].ok());
    EXPECT_EQ(report.takenBack, restore::TakenBackBecause::RowFailed);
    EXPECT_EQ(Snapshot(target), before);
    EXPECT_EQ(Files(f.signatures), (FolderSnapshot{{"Work.htm", "mine"}}));
    EXPECT_TRUE(Files(f.stationery).empty());
    EXPECT_TRUE(Files(f.contacts).empty());
    EXPECT_TRUE(Files(f.localOutlook).empty());
    // Nothing landed beside or above the item folders or in the application folder.
    for (const auto& dir : {s.user, s.user + "\\AppData\\Roaming",
                            s.user + "\\AppData\\Roaming\\Microsoft", s.app, s.dir.str()})
        for (const char* name : {"evil.txt", "evil2.txt", "evil3.txt", "OBCevil.tmp"})
            EXPECT_FALSE(Exists(dir + "\\" + name)) << dir << "\\" << name;
    EXPECT_FALSE(Exists("C:\\evil2.txt"));
    EXPECT_FALSE(Exists(f.contacts + "\\sub"));
}

}  // namespace
}  // namespace kestrine::ui
