#pragma once
// Whole restores: a realistic profile backed up with a password by the window's backup and restored
// by the window's restore into a profile of another name (names outside the ANSI code page, a ";"
// in a name, two data files of one name from different folders, a folder whose characters have a
// zero low byte), and the profile of another user that such a restore replaces.
#include <algorithm>

#include "backup/backup_run.h"
#include "outlook/profile_data.h"
#include "scratch.h"
#include "ui/commands.h"
#include "ui/restore_presenter.h"
#include "window_runs.h"

namespace kestrine::ui {

using namespace kestrine::test;
using outlook::FoldersFor;
using outlook::kAccountsSubkey;
using outlook::kStoreSection;
using outlook::UserFolders;

// Opens the archive through the Restore tab and restores the chosen entries into `target`.
inline restore::RestoreResult OpenAndRestore(Scratch& s, archive::ArchiveReader& zip,
                                             const std::string& archivePath,
                                             const std::optional<std::string>& password,
                                             const std::string& target,
                                             std::initializer_list<int> ticks) {
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
    return RestoreLikeTheWindow(window, s.state, zip).result;
}

// The profile backed up, whose rules file is named after it, and names no Western ANSI code page
// holds.
inline const std::string kProfile = "B\xC3\xBCro-\xCE\xA9";
inline const std::string kLukasz = "\xC5\x81ukasz.htm";
inline const std::string kMailPst = "\xE9\x82\xAE\xE4\xBB\xB6.pst";

class RoundTrip : public ::testing::Test {
  protected:
    Scratch s;
    archive::ZipOptions zip;        // the backups'
    archive::ArchiveReader opened;  // the backup open for a restore
    std::string source;             // the profile key backed up
    std::string elsewhere;          // a data folder outside the usual one, named U+4E00 U+90CE
    std::string mail, old;          // two folders holding an Outlook.pst each
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
        st.locations = outlook::LocationsFor(st.environment, kProfile);
        st.locations.StationeryDir = f.stationery;
        archivePath = s.MakeFolder(s.dir / "backups") + "\\ann backup.ksx";

        sourceTree = Snapshot(source);
        sourceOptions = Snapshot(s.optionsKey);
        sourceFiles = UserFiles(f);

        MainWindowModel window;
        window.backup.sourceProfile = kProfile;
        window.backup.targetFileText = archivePath;
        for (auto& item : window.backup.items) item.ticked = true;
        window.backup.protect = true;
        window.backup.password = window.backup.retypedPassword = "s3cret pw";
        window.backup.note = "before the move";
        const auto run = BackupLikeTheWindow(window, st, zip);
        ASSERT_TRUE(run.result.Written());
        ASSERT_EQ(run.result.itemFlags, "11111111111");
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
        t["\\store-main"]["001e6700"].second = B(local + "\\Main.pst" + '\0');
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

// The backup of RoundTrip restored into the profile "Second" of another user, who has a data file,
// a rules file and a favourites file of the same names already, and keys and files of their own.
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
        Put(f2.applicationData + "\\Outlook\\Outlook.FAV", "someone else's");
        second = s.Profile("Second");
        SetValue(second, "Stale", kSz, SzData("replaced by the backup"));
        SetValue(second + "\\store", "01020fff", kBinary,
                 StoreValueUtf16(f2.localOutlook + "\\Outlook.pst"));
        SetValue(s.optionsKey, "Compose", kDword, {2, 0, 0, 0});
        SetValue(s.optionsKey, "Extra", kDword, {3, 0, 0, 0});
        s.state.environment.UserProfileDir = user2;
    }
    State Now() {
        return {Snapshot(second), Snapshot(s.optionsKey), UserFiles(f2),
                Files(f2.applicationData + "\\Outlook")};
    }
    restore::RestoreResult Restore() {
        return OpenAndRestore(s, opened, archivePath, std::string("s3cret pw"), "Second",
                              {0, 1, 2, 3, 4, 5, 6, 7, 8});
    }
    // Every item restored into "Second" by the run itself, which tells `observer` of each step.
    restore::RestoreResult RestoreObserved(const backup_format::RunObserver& observer) {
        s.dialogs.chosenFile = archivePath;
        s.dialogs.passwords = {std::string("s3cret pw")};
        MainWindowModel window;
        EXPECT_EQ(OpenBackupFile(window.restore, s.state, opened), OpenOutcome::Opened);
        window.restore.targetProfile = "Second";
        for (auto& item : window.restore.items) item.ticked = true;
        return restore::RunRestore(RestoreJobFor(window.restore, s.state.openedArchive),
                                   s.state.environment, s.state.paths, opened, observer);
    }
};

}  // namespace kestrine::ui
