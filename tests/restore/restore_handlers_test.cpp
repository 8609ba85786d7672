// The item restore handlers against a scratch profile: what each puts where, and that a failing
// handler destroys nothing that was there before.
#include "restore/restore_handlers.h"
#include "backup/backup_steps.h"
#include "backup/handlers.h"
#include "files_held.h"
#include "outlook/profile_data.h"
#include "registry_stand_in.h"
#include "scratch.h"

namespace kestrine::restore {
namespace {

using namespace kestrine::test;
using backup_format::Item;
using outlook::kAccountsSubkey;
using outlook::kStoreSection;

// A row out of place would back up or restore one item under another's name.
TEST(ItemTables, EveryItemHasItsBackupAndItsRestoreInTheItemsOrder) {
    for (size_t i = 0; i < backup_format::kItemCount; ++i) {
        const auto item = static_cast<Item>(i);
        EXPECT_EQ(backup_format::kItems[i].item, item) << i;
        EXPECT_EQ(backup::BackupSteps()[i].item, item) << i;
        EXPECT_EQ(backup::ItemBackups()[i].item, item) << i;
        EXPECT_NE(backup::ItemBackups()[i].plan, nullptr) << i;
        EXPECT_EQ(ItemRestores()[i].item, item) << i;
        EXPECT_NE(ItemRestores()[i].plan, nullptr) << i;
        EXPECT_NE(ItemRestores()[i].restore, nullptr) << i;
    }
}

class RestoreHandlers : public ::testing::Test {
  protected:
    Scratch s;
    archive::ArchiveReader zip;
    std::array<std::string, backup_format::kItemCount> entries;
    const std::string noStores;
    RestoreContext ctx{.env = s.state.environment,
                       .entries = entries,
                       .dataFileStores = noStores,
                       .zip = zip,
                       .tempFolder = s.app};

    std::string& EntryOf(Item item) { return entries[backup_format::IndexOf(item)]; }
    // Opens an unprotected archive of these files and sets the item values.
    void Open(const std::vector<std::string>& files, const std::map<Item, std::string>& items) {
        const std::string path = s.MakeArchive("a" + std::to_string(archives++) + ".ksx", files,
                                               Scratch::Manifest(items));
        ASSERT_TRUE(zip.OpenArchive(path));
        for (const auto& [item, value] : items) EntryOf(item) = value;
    }
    std::string ExportFile(const std::string& name, const std::vector<std::string>& lines) {
        const std::string path = s.MakeFolder(s.dir / "exports") + "\\" + name;
        std::string text;
        for (const auto& l : lines) text += platform::Utf8ToAnsi(l) + "\r\n";
        Put(path, text);
        return path;
    }
    void ExpectNoTemporaries(const std::string& folder) {
        for (const auto& name : platform::fileio::ListFileNames(folder))
            EXPECT_EQ(name.find(".tmp"), std::string::npos) << folder << ": " << name;
    }
    int archives = 0;
};

// --- registry items ---

TEST_F(RestoreHandlers, RegistryItemsChangeNothingTheyCannotOrNeedNot) {
    const std::string target = s.Profile("Target");
    SetValue(target, "Keep", kSz, SzData("me"));
    SetValue(target + "\\Sub", "Also", kBinary, {9, 9});
    MakeKey(target + "\\" + kAccountsSubkey);
    const TreeSnapshot before = Snapshot(target);
    Open({ExportFile("OBC2.tmp", {"\\", "\"A\"= sz:x"}),
          ExportFile("OBC3.tmp", {"\\", "\"A\"= sz:x", "\"N\"= dw:twelve"}),
          ExportFile("OBC4.tmp", {"\\", "\"B\"=bin:1,300"})},
         {{Item::Configuration, "OBC2.tmp"}, {Item::Accounts, "OBC4.tmp"}});
    // A profile that does not exist is left alone (the confirmation lists no change), and that is
    // no failure.
    EXPECT_TRUE(PlanItem(Item::Configuration, ctx, "Nobody").empty());
    EXPECT_EQ(PlanItem(Item::Configuration, ctx, "Target").size(), 1u);
    EXPECT_TRUE(RestoreItem(Item::Configuration, ctx, "Nobody"));
    EXPECT_FALSE(registry::KeyExists(s.Profile("Nobody")));
    // A profile name that is no name is refused.
    for (const Item item : {Item::Configuration, Item::Accounts, Item::DataFiles, Item::Rules})
        for (const char* name : {"", "..\\x"})
            EXPECT_EQ(RestoreItem(item, ctx, name).kind(), Failure::NotReady) << name;
    // An entry the archive lacks, or a broken export file, fails and keeps the keys.
    EntryOf(Item::Configuration) = "OBC9.tmp";
    EXPECT_EQ(RestoreItem(Item::Configuration, ctx, "Target").kind(), Failure::Damaged);
    EntryOf(Item::Configuration) = "OBC3.tmp";
    EXPECT_EQ(RestoreItem(Item::Configuration, ctx, "Target").kind(), Failure::WriteFailed);
    EXPECT_EQ(RestoreItem(Item::Accounts, ctx, "Target").kind(), Failure::WriteFailed);
    EXPECT_EQ(Snapshot(target), before);
    EXPECT_TRUE(s.AppFiles().empty());
}

// --- folder items ---

TEST_F(RestoreHandlers, SignaturesOverwriteTheirNamesAndKeepOtherFiles) {
    const std::string sig = s.folders.signatures;  // missing: created, one level
    Open({s.Source("Work.htm", "<b>new</b>"), s.Source("Work.txt", "new")},
         {{Item::Signatures, "Work.htm;Work.txt"}});
    ASSERT_FALSE(Exists(sig));
    EXPECT_TRUE(RestoreItem(Item::Signatures, ctx, ""));
    EXPECT_EQ(Get(sig + "\\Work.htm"), "<b>new</b>");

    Put(sig + "\\Work.htm", "old");
    Put(sig + "\\Other.txt", "mine");
    EXPECT_TRUE(RestoreItem(Item::Signatures, ctx, ""));
    EXPECT_EQ(
        Files(sig),
        (FolderSnapshot{{"Work.htm", "<b>new</b>"}, {"Work.txt", "new"}, {"Other.txt", "mine"}}));
}

// Stationery of Outlook 2007 and later goes to the user's own folder, never into Office's shared
// files under Program Files, which a standard user cannot write.
TEST_F(RestoreHandlers, StationeryOfOutlook2007AndLaterGoesToTheUsersOwnFolder) {
    s.state.environment.OutlookVersion = "16.0";
    Open({s.Source("Pad.htm", "pad")}, {{Item::Stationery, "Pad.htm"}});
    EXPECT_TRUE(RestoreItem(Item::Stationery, ctx, ""));
    EXPECT_EQ(Get(s.folders.stationery + "\\Pad.htm"), "pad");
}

TEST_F(RestoreHandlers, AFolderThatCannotBeMadeFailsTheItem) {
    s.state.environment.UserProfileDir = s.user + "\\missing";  // two levels would be needed
    Open({s.Source("Work.htm", "x")}, {{Item::Signatures, "Work.htm"}});
    const Status restored = RestoreItem(Item::Signatures, ctx, "");
    EXPECT_EQ(restored.kind(), Failure::WriteFailed);
    EXPECT_NE(restored.message().find("could not be made"), std::string::npos)
        << restored.message();
    EXPECT_FALSE(Exists(s.user + "\\missing"));
}

TEST_F(RestoreHandlers, HostileEntryNamesAreRefusedAndNothingIsWritten) {
    const std::string sig = s.MakeFolder(s.folders.signatures);
    Put(sig + "\\Work.htm", "old");
    Open({s.Source("Work.htm", "new")}, {});
    for (const std::string list :
         {"Work.htm;..\\evil.txt", "Work.htm;C:\\evil.txt", "Work.htm;a/../../evil.txt",
          "Work.htm;..", "Work.htm;CON", "Work.htm;\\\\server\\share\\x"}) {
        EntryOf(Item::Signatures) = list;
        EXPECT_EQ(RestoreItem(Item::Signatures, ctx, "").kind(), Failure::Damaged) << list;
        EXPECT_EQ(Files(sig), (FolderSnapshot{{"Work.htm", "old"}})) << list;
    }
    EXPECT_FALSE(Exists(s.folders.roamingOutlook + "\\..\\evil.txt"));
    EXPECT_FALSE(Exists(s.user + "\\AppData\\Roaming\\Microsoft\\evil.txt"));
}

TEST_F(RestoreHandlers, AMissingOrCorruptedEntryReplacesNoFileOfTheItem) {
    const std::string sig = s.MakeFolder(s.folders.signatures);
    Put(sig + "\\A.htm", "old a");
    Put(sig + "\\B.htm", "old b");
    const std::string marker = "MARKER-" + RandomBytes(4000, 7);
    const std::string path =
        s.MakeArchive("corrupt.ksx", {s.Source("A.htm", "new a"), s.Source("B.htm", marker)},
                      Scratch::Manifest({{Item::Signatures, "A.htm;B.htm"}}));
    // Flip one byte inside the stored content of B.htm.
    std::string bytes = Get(path);
    const size_t at = bytes.find(marker.substr(0, 40));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 2000] = static_cast<char>(bytes[at + 2000] ^ 0x55);
    Put(path, bytes);
    ASSERT_TRUE(zip.OpenArchive(path));

    // The altered entry is named as damaged, with the archive's own words, not as a write that
    // failed.
    EntryOf(Item::Signatures) = "A.htm;B.htm";
    const Status altered = RestoreItem(Item::Signatures, ctx, "");
    EXPECT_EQ(altered.kind(), Failure::Damaged);
    EXPECT_EQ(
        altered.message().rfind("\"B.htm\" could not be extracted beside " + sig + "\\B.htm: ", 0),
        0u)
        << altered.message();
    EntryOf(Item::Signatures) = "A.htm;Missing.htm";
    EXPECT_EQ(RestoreItem(Item::Signatures, ctx, "").kind(), Failure::Damaged);
    EXPECT_EQ(Files(sig), (FolderSnapshot{{"A.htm", "old a"}, {"B.htm", "old b"}}));
}

// --- rules ---

TEST_F(RestoreHandlers, RulesTakeTheTargetProfilesName) {
    const std::string dir = s.MakeFolder(s.folders.roamingOutlook);
    Put(dir + "\\Second.RWZ", "older rules of Second");
    Put(dir + "\\Outlook.RWZ", "rules of the local Outlook profile");
    Open({s.Source("Outlook.RWZ", "restored rules")}, {{Item::Rules, "Outlook.RWZ"}});

    EXPECT_TRUE(RestoreItem(Item::Rules, ctx, "Second"));
    EXPECT_EQ(Get(dir + "\\Second.RWZ"), "restored rules");
    // A rules file of another profile that lies here is not touched.
    EXPECT_EQ(Get(dir + "\\Outlook.RWZ"), "rules of the local Outlook profile");
    EXPECT_EQ(Files(dir).size(), 2u);

    EXPECT_TRUE(RestoreItem(Item::Rules, ctx, "OUTLOOK"));  // the same profile in another case
    EXPECT_EQ(Get(dir + "\\Outlook.RWZ"), "restored rules");
    EXPECT_EQ(Files(dir).size(), 2u);
    // The roaming folder is not created.
    std::filesystem::remove_all(Fs(dir));
    EXPECT_FALSE(RestoreItem(Item::Rules, ctx, "Second"));
    EXPECT_FALSE(Exists(dir));
}

// --- the address book ---

TEST_F(RestoreHandlers, AddressBookIsRepointedIntoTheLocalFolder) {
    const std::string local = s.MakeFolder(s.folders.localOutlook);
    const std::string p = s.Profile("Second");
    SetValue(p + "\\pab", "001e6600", kSz, SzData("D:\\\\old\\\\Outlook.pab"));
    SetValue(p + "\\other", "001e3001", kSz, SzData("x"));
    Open({s.Source("Outlook.pab", "pab")}, {{Item::AddressBook, "Outlook.pab"}});

    EXPECT_TRUE(RestoreItem(Item::AddressBook, ctx, "Second"));
    EXPECT_EQ(Get(local + "\\Outlook.pab"), "pab");
    EXPECT_EQ(*GetData(p + "\\pab", "001e6600"), SzData(local + "\\Outlook.pab"));
    EXPECT_FALSE(GetData(p + "\\other", "001e6600").has_value());
    // Into a profile without subkeys: the file was extracted before the profile was looked at.
    MakeKey(s.Profile("Empty"));
    std::filesystem::remove(Fs(local + "\\Outlook.pab"));
    EXPECT_FALSE(RestoreItem(Item::AddressBook, ctx, "Empty"));
    EXPECT_EQ(Get(local + "\\Outlook.pab"), "pab");
}

// --- data files and the re-linking ---

class RestoreDataFiles : public RestoreHandlers {
  protected:
    void SetUp() override {
        local = s.MakeFolder(s.folders.localOutlook);
        p = s.Profile("Second");
        SetValue(p + "\\store1", "01020fff", kBinary, StoreValueUtf16("D:\\Mail\\Main.pst"));
        SetValue(p + "\\store1", "001e6700", kBinary, B("D:\\Mail\\Main.pst"));
        SetValue(p + "\\store1", "001f6700", kBinary,
                 B(Utf16("D:\\Mail\\Main.pst") + std::string(2, '\0')));
        SetValue(p + "\\store1", "Other", kSz, SzData("kept"));
        SetValue(p + "\\store2", "01020fff", kBinary, StoreValueAnsi("E:\\Old\\Archive.pst"));
        SetValue(p + "\\store3", "01020fff", kBinary, StoreValueUtf16("F:\\Lost\\Gone.ost"));
        SetValue(p + "\\nopath", "01020fff", kBinary, {1, 2, 3, 0});
        SetValue(p + "\\nopath", "001e6700", kBinary, B("keep"));
        const std::string section = p + "\\" + kStoreSection;
        SetValue(section, "1102039b", kBinary, {1});
        SetValue(section, "001e023d", kBinary, {2});
        SetValue(section, "001e0324", kSz, SzData("kept"));
        const std::string accounts = p + "\\" + kAccountsSubkey;
        for (const char* sub : {"\\00000000", "\\00000001", "\\0000000f", "\\00000010"}) {
            SetValue(accounts + sub, "Delivery Store EntryID", kBinary, {1});
            SetValue(accounts + sub, "Delivery Folder EntryID", kBinary, {2});
            SetValue(accounts + sub, "Account Name", kSz, SzData("kept"));
        }
        fav = s.MakeFolder(s.user + "\\Application Data\\Microsoft\\Outlook") + "\\Second.FAV";
        Put(fav, "favourites");
        Put(local + "\\Main.pst", "old main");
        Open({s.Source("Main.pst", RandomBytes(50000, 3)), s.Source("Archive.pst", "archive")},
             {{Item::DataFiles, "Main.pst;Archive.pst"}});
    }
    std::string local, p, fav;
};

TEST_F(RestoreDataFiles, FilesArePutInPlaceAndEveryStoreIsRelinked) {
    TreeSnapshot expected = Snapshot(p);
    EXPECT_TRUE(RestoreItem(Item::DataFiles, ctx, "Second"));

    EXPECT_EQ(Get(local + "\\Main.pst"), RandomBytes(50000, 3));
    EXPECT_EQ(Get(local + "\\Archive.pst"), "archive");
    EXPECT_FALSE(Exists(fav));
    ExpectNoTemporaries(local);

    // Exactly these changes, nothing else.
    expected["\\store1"]["01020fff"].second = StoreValueUtf16(local + "\\Main.pst");
    // Every path property of the section names the new place, the ANSI one too.
    expected["\\store1"]["001e6700"].second = B(local + "\\Main.pst");
    expected["\\store1"]["001f6700"].second = B(Utf16(local + "\\Main.pst") + std::string(2, '\0'));
    expected["\\store2"]["01020fff"].second = StoreValueAnsi(local + "\\Archive.pst");
    // Re-pointed although its file was not in the backup.
    expected["\\store3"]["01020fff"].second = StoreValueUtf16(local + "\\Gone.ost");
    expected[std::string("\\") + kStoreSection].erase("1102039b");
    expected[std::string("\\") + kStoreSection].erase("001e023d");
    for (const char* sub : {"\\00000000", "\\00000001", "\\0000000f"}) {
        auto& values = expected[std::string("\\") + kAccountsSubkey + sub];
        values.erase("Delivery Store EntryID");
        values.erase("Delivery Folder EntryID");
    }
    EXPECT_EQ(Snapshot(p), expected);
}

// A profile's name may hold a slash, which Windows reads as a folder's end: such a name names no
// favourites file, so none outside Outlook's folder is removed.
TEST_F(RestoreDataFiles, AProfileNamedLikeAPathRemovesNoFileOutsideOutlooksFolder) {
    const std::string name = "a/../../Victim";
    SetValue(s.Profile(name) + "\\" + kStoreSection, "1102039b", kBinary, {1});
    const std::string microsoft = s.user + "\\Application Data\\Microsoft";
    s.MakeFolder(microsoft + "\\Outlook\\a");
    Put(microsoft + "\\Victim.FAV", "another program's");
    EXPECT_TRUE(RestoreItem(Item::DataFiles, ctx, name));
    EXPECT_EQ(Get(microsoft + "\\Victim.FAV"), "another program's");
}

// A tampered manifest ties a section to a file past the end of the item's list: that tie is not
// followed (the section keeps its own file's name), while a sound tie still renames.
TEST_F(RestoreDataFiles, AStoreTiedToAFilePastTheListKeepsItsOwnName) {
    const std::string stores = backup_format::JoinDataFileStores({{"store1", 1}, {"store3", 2}});
    RestoreContext tampered{.env = ctx.env,
                            .entries = entries,
                            .dataFileStores = stores,
                            .zip = zip,
                            .tempFolder = ctx.tempFolder};
    EXPECT_TRUE(RestoreItem(Item::DataFiles, tampered, "Second"));
    auto linked = Snapshot(p);
    EXPECT_EQ(linked["\\store1"]["01020fff"].second, StoreValueUtf16(local + "\\Archive.pst"));
    EXPECT_EQ(linked["\\store3"]["01020fff"].second, StoreValueUtf16(local + "\\Gone.ost"));
}

TEST_F(RestoreDataFiles, ProfileLinksThatCannotBeRewrittenFailTheItem) {
    // A user folder without an ANSI form cannot go into a path stored in single bytes.
    const std::string user = s.dir / "\xE4\xB8\x80";
    const std::string local2 = s.MakeFolder(user + "\\AppData\\Local\\Microsoft\\Outlook");
    s.state.environment.UserProfileDir = user;
    EXPECT_FALSE(RestoreItem(Item::DataFiles, ctx, "Second"));
    EXPECT_EQ(GetData(p + "\\store1", "01020fff"), StoreValueUtf16(local2 + "\\Main.pst"));
    EXPECT_EQ(GetData(p + "\\store2", "01020fff"), StoreValueAnsi("E:\\Old\\Archive.pst"));
    // An account whose tie to the old data file cannot be cut fails the item too.
    s.state.environment.UserProfileDir = s.user;
    namespace memory = platform::memory_registry;
    const std::string account = p + "\\" + kAccountsSubkey + "\\00000001";
    memory::PlantFailure(memory::Operation::DeleteValue, kHkcu, SubkeyOf(account), 5);
    const Status failed = RestoreItem(Item::DataFiles, ctx, "Second");
    memory::ClearFailures();
    EXPECT_EQ(failed.kind(), Failure::WriteFailed);
    EXPECT_NE(failed.message().find(account), std::string::npos) << failed.message();
}

TEST_F(RestoreDataFiles, ALockedDataFileFailsTheItemAndKeepsTheProfileLinks) {
    const TreeSnapshot before = Snapshot(p);
    {
        // Outlook holds its data file open while it runs.
        platform::fileio::Hold(local + "\\Main.pst");
        EXPECT_EQ(RestoreItem(Item::DataFiles, ctx, "Second").kind(), Failure::Busy);
        platform::fileio::LetGo(local + "\\Main.pst");
    }
    EXPECT_EQ(Get(local + "\\Main.pst"), "old main");
    EXPECT_FALSE(Exists(local + "\\Archive.pst"));  // none of the item's files was put in place
    EXPECT_EQ(Snapshot(p), before);
    EXPECT_TRUE(Exists(fav));
    ExpectNoTemporaries(local);
}

TEST_F(RestoreDataFiles, AMissingEntryOrLocalFolderChangesNothingAndABareProfileFails) {
    const TreeSnapshot before = Snapshot(p);
    EntryOf(Item::DataFiles) = "Main.pst;NotThere.pst";
    EXPECT_EQ(RestoreItem(Item::DataFiles, ctx, "Second").kind(), Failure::Damaged);
    EXPECT_EQ(Get(local + "\\Main.pst"), "old main");
    EntryOf(Item::DataFiles) = "Main.pst;Archive.pst";
    // A profile without subkeys fails after the files are placed.
    MakeKey(s.Profile("Bare"));
    EXPECT_EQ(RestoreItem(Item::DataFiles, ctx, "Bare").kind(), Failure::NotFound);
    EXPECT_EQ(Get(local + "\\Archive.pst"), "archive");
    // The local folder is not created.
    std::filesystem::remove_all(Fs(local));
    EXPECT_EQ(RestoreItem(Item::DataFiles, ctx, "Second").kind(), Failure::NotFound);
    EXPECT_FALSE(Exists(local));
    EXPECT_EQ(Snapshot(p), before);
}

}  // namespace
}  // namespace kestrine::restore
