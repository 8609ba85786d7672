// Whole restores: a realistic profile backed up with a password by the backup run and restored
// into a profile of another name (names outside the ANSI code page, a ";" in a name, two data files
// of one name from different folders, a folder whose characters have a zero low byte); an archive
// as earlier versions wrote it; and an archive whose entry names try to leave their folder.
#include <algorithm>

#include "backup/backup_run.h"
#include "outlook/profile_data.h"
#include "run_driver.h"
#include "ui/commands.h"
#include "ui/restore_presenter.h"
#include "win_scratch.h"

namespace kestrine::ui {
namespace {

using namespace kestrine::test;
using outlook::FoldersFor;
using outlook::kAccountsSubkey;
using outlook::kStoreSection;
using outlook::UserFolders;

std::string FixtureArchive(const std::string& name) {
    std::string path = KESTRINE_RESTORE_FIXTURES "/" + name;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Opens the archive through the Restore tab and restores the chosen entries into `target`.
restore::RestoreResult OpenAndRestore(Scratch& s, archive::ZipComponent& zip,
                                      const std::string& archivePath,
                                      const std::optional<std::string>& password,
                                      const std::string& target, std::initializer_list<int> ticks) {
    s.dialogs.chosenFile = archivePath;
    s.dialogs.passwords = {password};
    s.dialogs.passwordPrompts = 0;
    MainWindowModel window;
    EXPECT_EQ(OpenBackupFile(window.restore, s.state, zip), OpenOutcome::Opened);
    window.restore.targetProfile = target;
    for (int t : ticks) {
        EXPECT_TRUE(window.restore.items[static_cast<size_t>(t)].enabled) << t;
        window.restore.items[static_cast<size_t>(t)].ticked = true;
    }
    auto run = DriveRun(win::PrepareRestoreRun(window.restore, s.state, zip));
    EXPECT_TRUE(run) << "the restore was refused";
    return run ? run->result : restore::RestoreResult{};
}

// The profile backed up, whose rules file is named after it, and names no Western ANSI code page
// holds.
const std::string kProfile = "B\xC3\xBCro-\xCE\xA9";
const std::string kLukasz = "\xC5\x81ukasz.htm";
const std::string kMailPst = "\xE9\x82\xAE\xE4\xBB\xB6.pst";

class RoundTrip : public ::testing::Test {
  protected:
    Scratch s;
    archive::ZipComponent zip;
    std::string source;     // the profile key backed up
    std::string elsewhere;  // a data folder outside the usual one, named U+4E00 U+90CE
    std::string mail, old;  // two folders holding an Outlook.pst each
    std::string archivePath;
    TreeSnapshot sourceTree, sourceOptions;
    std::map<std::string, FolderSnapshot> sourceFiles;  // folder name -> top-level files

    static FolderSnapshot TopLevel(const std::string& folder) {
        FolderSnapshot out;
        for (const auto& [name, content] : Files(folder))
            if (name.find('\\') == std::string::npos) out[name] = content;
        return out;
    }
    std::map<std::string, FolderSnapshot> UserFiles(const UserFolders& f) {
        return {{"signatures", TopLevel(f.signatures)}, {"stationery", TopLevel(f.stationery)},
                {"templates", TopLevel(f.templates)},   {"roaming", TopLevel(f.roamingOutlook)},
                {"local", TopLevel(f.localOutlook)},    {"contacts", TopLevel(f.contacts)}};
    }

    void SetUp() override {
        const UserFolders& f = s.folders;
        const std::string fav = f.applicationData + "\\Outlook";
        for (const auto& d : {f.signatures, f.stationery, f.templates, f.roamingOutlook,
                              f.localOutlook, f.contacts, fav})
            s.MakeFolder(d);
        elsewhere = s.MakeFolder(s.dir / "\xE4\xB8\x80\xE9\x83\x8E");
        mail = s.MakeFolder(s.dir / "Mail");
        old = s.MakeFolder(s.dir / "Old");
        Put(f.signatures + "\\Work.htm", "<html>Ann</html>");
        Put(f.signatures + "\\Work.txt", "Ann\r\n");
        Put(f.signatures + "\\" + kLukasz, "<html>\xC5\x81ukasz</html>");
        Put(f.signatures + "\\Short;Long.txt", "Ann;A.");
        // A signature with the manifest's name: both travel, each found as what it is.
        Put(f.signatures + "\\kestrine.dat", "a signature, not the manifest");
        Put(s.MakeFolder(f.signatures + "\\Work_files") + "\\image001.png", "picture");
        Put(f.stationery + "\\Blue.htm", "<html>blue</html>");
        Put(f.templates + "\\Report.oft", RandomBytes(3000, 11));
        Put(f.roamingOutlook + "\\" + kProfile + ".RWZ", RandomBytes(1063, 12));
        Put(f.roamingOutlook + "\\Outlook.srs", "send and receive");
        Put(f.roamingOutlook + "\\Outlook.xml", "<nav/>");
        Put(f.contacts + "\\Jane.vcf", "BEGIN:VCARD\r\nEND:VCARD\r\n");
        Put(f.localOutlook + "\\Main.pst", RandomBytes(300000, 13));
        Put(elsewhere + "\\Archive.pst", RandomBytes(120000, 14));
        Put(f.localOutlook + "\\" + kMailPst, RandomBytes(5000, 16));
        Put(mail + "\\Outlook.pst", RandomBytes(7000, 17));
        Put(old + "\\Outlook.pst", RandomBytes(9000, 18));
        Put(elsewhere + "\\Outlook.pab", RandomBytes(4141, 15));
        Put(fav + "\\Outlook.FAV", "favourites");

        source = s.Profile(kProfile);
        const std::string mainPst = f.localOutlook + "\\Main.pst";
        SetValue(source, "", kSz, SzData("profile default"));
        SetValue(source + "\\" + kStoreSection, "001e0324", kSz, SzData("Outlook"));
        SetValue(source + "\\" + kStoreSection, "1102039b", kBinary, {1, 2, 3});
        SetValue(source + "\\" + kStoreSection, "001e023d", kBinary, {4, 5});
        SetValue(source + "\\store-main", "01020fff", kBinary, StoreValueUtf16(mainPst));
        SetValue(source + "\\store-main", "001e6700", kBinary, B(mainPst + '\0'));
        SetValue(source + "\\store-main", "001f6700", kBinary,
                 B(Utf16(mainPst) + std::string(2, '\0')));
        SetValue(source + "\\store-main", "00033009", kDword, {0xFF, 0xFF, 0xFF, 0xFF});
        SetValue(source + "\\store-arch", "01020fff", kBinary,
                 StoreValueUtf16(elsewhere + "\\Archive.pst"));
        SetValue(source + "\\store-cn", "01020fff", kBinary,
                 StoreValueUtf16(f.localOutlook + "\\" + kMailPst));
        // Two sections name the one file in Mail; the one in Old has the same name.
        SetValue(source + "\\store-dup", "01020fff", kBinary,
                 StoreValueUtf16(mail + "\\Outlook.pst"));
        SetValue(source + "\\store-mail", "01020fff", kBinary,
                 StoreValueUtf16(mail + "\\Outlook.pst"));
        SetValue(source + "\\store-old", "01020fff", kBinary,
                 StoreValueUtf16(old + "\\Outlook.pst"));
        SetValue(source + "\\store-old", "001f6700", kBinary,
                 B(Utf16(old + "\\Outlook.pst") + std::string(2, '\0')));
        SetValue(source + "\\pab-section", "001e6600", kSz,
                 SzData(Doubled(elsewhere + "\\Outlook.pab")));
        SetValue(source + "\\empty-section", "00000000", kBinary, {});
        const std::string accounts = source + "\\" + kAccountsSubkey;
        SetValue(accounts, "LastChangeVer", kBinary, {7, 0});
        SetValue(accounts + "\\00000001", "Account Name", kSz, SzData("ann@example.com"));
        SetValue(accounts + "\\00000001", "Delivery Store EntryID", kBinary, {9, 9, 9});
        SetValue(accounts + "\\00000001", "Delivery Folder EntryID", kBinary, {8, 8});
        SetValue(accounts + "\\00000001", "POP3 Port", kDword, {110, 0, 0, 0});
        SetValue(accounts + "\\00000002", "Account Name", kSz, SzData("news"));
        SetValue(s.optionsKey, "Compose", kDword, {1, 0, 0, 0});
        SetValue(s.optionsKey + "\\Mail", "Editor", kSz, SzData("Word"));

        AppState& st = s.state;
        static_cast<outlook::ItemLocations&>(st) = outlook::LocationsFor(st, kProfile, "");
        st.StationeryDir = f.stationery;
        archivePath = s.MakeFolder(s.dir / "backups") + "\\ann backup.ksx";
        st.TargetFile = archivePath;

        sourceTree = Snapshot(source);
        sourceOptions = Snapshot(s.optionsKey);
        sourceFiles = UserFiles(f);

        MainWindowModel window;
        window.backup.sourceProfile = kProfile;
        for (auto& item : window.backup.items) item.ticked = true;
        window.backup.protect = true;
        window.backup.password = window.backup.retypedPassword = "s3cret pw";
        window.backup.note = "before the move";
        const auto run = DriveRun(win::PrepareBackupRun(window.backup, st, zip));
        ASSERT_TRUE(run);
        ASSERT_TRUE(run->result.written);
        ASSERT_EQ(run->result.itemFlags, "11111111111");
        // Names without an ANSI form make the manifest UTF-8; the two Outlook.pst have entries of
        // their own, so any unzip program extracts both.
        const ArchiveView view = ReadArchive(archivePath, "s3cret pw");
        ASSERT_EQ(view.manifestText.substr(0, 5), "\xEF\xBB\xBF\r\n");
        EXPECT_EQ(Count(view.names, "Outlook.pst"), 1);
        EXPECT_EQ(Count(view.names, "Outlook (2).pst"), 1);
        s.dialogs.messages.clear();
    }

    // What the restore must have changed in the source tree for a profile whose local Outlook
    // folder is `local`; everything else stays byte for byte.
    TreeSnapshot ExpectedTree(const std::string& local) const {
        TreeSnapshot t = sourceTree;
        t["\\store-main"]["01020fff"].second = StoreValueUtf16(local + "\\Main.pst");
        t["\\store-main"].erase("001e6700");
        t["\\store-main"]["001f6700"].second =
            B(Utf16(local + "\\Main.pst") + std::string(2, '\0'));
        t["\\store-arch"]["01020fff"].second = StoreValueUtf16(local + "\\Archive.pst");
        t["\\store-cn"]["01020fff"].second = StoreValueUtf16(local + "\\" + kMailPst);
        t["\\store-dup"]["01020fff"].second = StoreValueUtf16(local + "\\Outlook.pst");
        t["\\store-mail"]["01020fff"].second = StoreValueUtf16(local + "\\Outlook.pst");
        t["\\store-old"]["01020fff"].second = StoreValueUtf16(local + "\\Outlook (2).pst");
        t["\\store-old"]["001f6700"].second =
            B(Utf16(local + "\\Outlook (2).pst") + std::string(2, '\0'));
        t["\\pab-section"]["001e6600"].second = SzData(local + "\\Outlook.pab");
        t[std::string("\\") + kStoreSection].erase("1102039b");
        t[std::string("\\") + kStoreSection].erase("001e023d");
        auto& account = t[std::string("\\") + kAccountsSubkey + "\\00000001"];
        account.erase("Delivery Store EntryID");
        account.erase("Delivery Folder EntryID");
        return t;
    }
};

TEST_F(RoundTrip, IntoAnotherProfileOfAnotherUser) {
    // A second user on another machine: a profile of another name with something of its own.
    const std::string user2 = s.MakeFolder(s.dir / "user2");
    for (const char* sub :
         {"AppData\\Roaming\\Microsoft\\Outlook", "AppData\\Local\\Microsoft\\Outlook",
          "Application Data\\Microsoft\\Outlook"})
        s.MakeFolder(user2 + "\\" + sub);
    const UserFolders f2 = FoldersFor(user2, "6.1");
    const std::string fav2 = f2.applicationData + "\\Outlook";
    Put(fav2 + "\\Second.FAV", "favourites of Second");
    Put(fav2 + "\\Outlook.FAV", "someone else's");
    const std::string second = s.Profile("Second");
    SetValue(second, "Stale", kSz, SzData("replaced by the backup"));
    SetValue(second + "\\stale-section", "x", kDword, {1, 0, 0, 0});
    SetValue(s.optionsKey, "Compose", kDword, {2, 0, 0, 0});
    SetValue(s.optionsKey, "Extra", kDword, {3, 0, 0, 0});
    s.state.UserProfileDir = user2;
    const auto appBefore = s.AppFiles();

    const auto report = OpenAndRestore(s, zip, archivePath, std::string("s3cret pw"), "Second",
                                       {0, 1, 2, 3, 4, 5, 6, 7, 8});
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
    EXPECT_EQ(UserFiles(f2), expectedFiles);
    EXPECT_FALSE(Exists(fav2 + "\\Second.FAV"));
    EXPECT_TRUE(Exists(fav2 + "\\Outlook.FAV"));
    // The picture subfolder of the signatures is not part of a backup.
    EXPECT_FALSE(Exists(f2.signatures + "\\Work_files"));
    EXPECT_EQ(s.AppFiles(), appBefore);  // no export file or manifest left behind
}

// --- a restore is all or nothing, and can be undone ---

// The backup of RoundTrip restored into the profile "Second" of another user, who has a data file,
// a rules file and a favourites file of the same names already.
class SafeRestore : public RoundTrip {
  protected:
    std::string user2, second;
    UserFolders f2;
    struct State {
        TreeSnapshot profile, options;
        std::map<std::string, FolderSnapshot> files;
        FolderSnapshot favourites;
        bool operator==(const State&) const = default;
    };

    void SetUp() override {
        RoundTrip::SetUp();
        if (HasFatalFailure()) return;
        user2 = s.MakeFolder(s.dir / "user2");
        f2 = FoldersFor(user2, "6.1");
        for (const auto& d : {f2.signatures, f2.stationery, f2.templates, f2.roamingOutlook,
                              f2.localOutlook, f2.contacts, f2.applicationData + "\\Outlook"})
            s.MakeFolder(d);
        Put(f2.localOutlook + "\\Outlook.pst", RandomBytes(40000, 30));
        Put(f2.roamingOutlook + "\\Second.RWZ", "second's rules");
        Put(f2.signatures + "\\Work.htm", "<html>Second</html>");
        Put(f2.applicationData + "\\Outlook\\Second.FAV", "favourites of Second");
        second = s.Profile("Second");
        SetValue(second, "Stale", kSz, SzData("replaced by the backup"));
        SetValue(second + "\\store", "01020fff", kBinary,
                 StoreValueUtf16(f2.localOutlook + "\\Outlook.pst"));
        SetValue(s.optionsKey, "Compose", kDword, {2, 0, 0, 0});
        s.state.UserProfileDir = user2;
    }
    State Now() {
        return {Snapshot(second), Snapshot(s.optionsKey), UserFiles(f2),
                Files(f2.applicationData + "\\Outlook")};
    }
    restore::RestoreResult Restore() {
        return OpenAndRestore(s, zip, archivePath, std::string("s3cret pw"), "Second",
                              {0, 1, 2, 3, 4, 5, 6, 7, 8});
    }
};

TEST_F(SafeRestore, AnUndoGivesBackTheProfileAndEveryFileByteForByte) {
    const State before = Now();
    ASSERT_TRUE(Restore().Completed());
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
    EXPECT_FALSE(restore::CanUndoLastRestore(s.state.UndoFolder));
    s.dialogs.messages.clear();
    UndoLastRestoreCommand(s.state);
    EXPECT_EQ(s.dialogs.messages.at(0).text, "There is no restore to undo.");
}

// Outlook (here: the test) holds the target's data file open without sharing: the last row fails,
// and every row before it goes back too.
TEST_F(SafeRestore, AFailingRowPutsEveryEarlierRowBack) {
    const State before = Now();
    HANDLE held = CreateFileW(platform::Widen(f2.localOutlook + "\\Outlook.pst").c_str(),
                              GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const auto report = Restore();
    CloseHandle(held);
    ASSERT_FALSE(report.rows.empty());
    EXPECT_EQ(report.rows.back().item, archive::Item::DataFiles);
    EXPECT_FALSE(report.rows.back().ok());
    EXPECT_EQ(report.takenBack, restore::TakenBackBecause::RowFailed);
    EXPECT_FALSE(report.takeBackFailed);
    EXPECT_EQ(Now(), before);
    const std::string said = s.dialogs.messages.back().text;
    EXPECT_EQ(said.rfind("The Restore was not completed and nothing was changed.", 0), 0u) << said;
    EXPECT_NE(s.Log().find("every change it made was put back"), std::string::npos);
    EXPECT_FALSE(restore::CanUndoLastRestore(s.state.UndoFolder));
}

// The program is ended at several points of a restore, as a kill or a power loss would; the next
// start finds the profile and every file exactly as before, never a mix. Ended after the run, the
// restore stays whole.
TEST_F(SafeRestore, ARestoreEndedMidwayIsPutBackAtTheNextStart) {
    const State before = Now();
    const std::string victim = Utf8(ExeFolder() / "restore_victim.exe");
    // After the configuration, after the signatures, inside the large data file, after the run.
    int point = 0;
    for (const std::string stop : {"row:0", "row:4", "bytes:200000", "end"}) {
        SCOPED_TRACE(stop);
        const std::string marker = s.dir / ("stopped-" + std::to_string(++point) + ".txt");
        std::wstring cmd = L"\"" + platform::Widen(victim) + L"\"";
        for (const std::string& a :
             {archivePath, std::string("s3cret pw"), s.app, user2, s.state.ProfilesRoot,
              s.state.OutlookVersion, std::string("Second"), stop, marker})
            cmd += L" \"" + platform::Widen(a) + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &si, &pi));
        CloseHandle(pi.hThread);
        bool stopped = false;
        for (int i = 0; i < 1200 && !stopped; ++i) {
            stopped = Exists(marker);
            if (!stopped && WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0) break;
        }
        ASSERT_TRUE(stopped) << "the restore did not reach " << stop;
        TerminateProcess(pi.hProcess, 1);
        ASSERT_TRUE(Ended(pi.hProcess));
        CloseHandle(pi.hProcess);

        if (stop.starts_with("bytes")) {
            // The scheduled backup may come first: it puts the restore back before it reads
            // anything, so it never backs up a half-restored profile.
            backup::BackupJob job;
            job.archivePath = s.dir / "weekly.ksx";
            job.profile = "Second";
            job.unattended = true;
            job.waitForOtherRun = std::chrono::milliseconds(0);
            job.profilesRoot = s.state.ProfilesRoot;
            EXPECT_TRUE(backup::RunBackup(job, s.state, zip).written);
            EXPECT_NE(s.Log().find("ended midway was found and every change it made was put back"),
                      std::string::npos);
            EXPECT_EQ(Snapshot(second), before.profile);
            EXPECT_EQ(Snapshot(s.optionsKey), before.options);
        }
        // The next start of the window (its staged temporaries go then).
        const auto recovered = restore::RecoverAfterCrash(s.state, s.state);
        if (stop.starts_with("bytes")) {
            EXPECT_EQ(recovered.sets, 0u);
        } else if (stop == "end") {
            EXPECT_EQ(recovered.sets, 0u);
            EXPECT_EQ(Snapshot(second), ExpectedTree(f2.localOutlook));
            // And undone again, for the next point.
            ASSERT_TRUE(restore::UndoLastRestoreRun(s.state).outcome.ok);
        } else {
            EXPECT_EQ(recovered.sets, 1u);
            EXPECT_TRUE(recovered.ok);
            EXPECT_TRUE(recovered.kept.empty());
            EXPECT_NE(RecoveredAtStartMessage(recovered), std::nullopt);
        }
        EXPECT_EQ(Now(), before);
    }
}

// --- archives made by earlier versions ---

class EarlierArchives : public ::testing::Test {
  protected:
    Scratch s;
    archive::ZipComponent zip;
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
    EXPECT_EQ(s.state.ItemFlags, "11111001001");
    for (const auto& row : report.rows) EXPECT_TRUE(row.ok()) << static_cast<int>(row.item);
    EXPECT_EQ(report.rows.size(), 7u);

    const std::string newPath = f.localOutlook + "\\Old.pst";
    TreeSnapshot expected;
    expected[""] = {};
    expected[std::string("\\") + kStoreSection] = {{"001e0324", {kSz, SzData("Legacy")}}};
    expected["\\13dbb0c8aa05101a9bb000aa002fc45a"] = {
        {"01020fff", {kBinary, StoreValueUtf16(newPath)}},
        {"001f6700", {kBinary, B(Utf16(newPath) + std::string(2, '\0'))}},
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
