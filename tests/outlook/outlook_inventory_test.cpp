// The profile inventory natively: a profile in the test's own registry key, and a scratch user
// folder.
#include <gtest/gtest.h>

#include "app/settings.h"
#include "outlook/inventory.h"
#include "outlook/profile_data.h"
#include "scratch.h"
#include "ui/commands.h"

namespace kestrine::outlook {
namespace {

using backup_format::Choice;
using test::Put;

class Inventory : public ::testing::Test {
  protected:
    void SetUp() override { s.state.environment.OSVersion = "10.0"; }
    std::string Roaming(const std::string& below) const {
        return s.user + "\\AppData\\Roaming\\Microsoft\\" + below;
    }
    // A profile whose every item has something to back up.
    void MakeFullProfile(const std::string& profile) {
        test::MakeKey(AccountsKey(s.state.environment.ProfilesRoot, profile));
        Put(Roaming("Signatures\\Work.htm"), "x");
        Put(s.user + "\\Application Data\\Microsoft\\Stationery\\Paper.htm", "x");
        Put(Roaming("Templates\\Reply.oft"), "x");
        Put(Roaming("Outlook\\outcmd.dat"), "x");
        Put(s.user + "\\Contacts\\Ann.contact", "x");
        Put(pab, "x");
        test::SetValue(s.Profile(profile) + "\\13dbb0c8aa05101a9bb000aa002fc45a",
                       kAddressBookPathValue, test::kSz, test::SzData(test::Doubled(pab)));
    }
    std::vector<bool> Available(const std::string& profile) const {
        const auto inventory = TakeInventory(s.state.environment, profile);
        return std::vector<bool>(inventory.available.begin(), inventory.available.end());
    }

    test::Scratch s;
    std::string pab = s.dir / "pab\\mailbox.pab";
};

TEST_F(Inventory, MissingEmptyAndSubfolderOnlyLocationsAreUnavailable) {
    test::MakeKey(s.Profile("Bare"));  // no accounts key, no address book
    Put(Roaming("Signatures\\only a subfolder\\inside.htm"), "x");
    test::Scratch::MakeFolder(Roaming("Templates"));  // empty
    Put(Roaming("Outlook\\rules.rwz"), "x");          // preferences present
    EXPECT_EQ(Available("Bare"),
              (std::vector<bool>{true, false, false, false, false, true, false, true, false}));
    // Nothing was created or removed by looking.
    EXPECT_TRUE(test::Exists(Roaming("Signatures\\only a subfolder\\inside.htm")));
    EXPECT_FALSE(test::Exists(s.user + "\\Contacts"));
    // A blank name asks nothing of the profile's keys; the folders do not depend on it.
    MakeFullProfile("Real");
    const auto blank = TakeInventory(s.state.environment, "");
    EXPECT_FALSE(blank.available[backup_format::IndexOf(Choice::Accounts)]);
    EXPECT_FALSE(blank.available[backup_format::IndexOf(Choice::AddressBook)]);
    EXPECT_TRUE(blank.available[backup_format::IndexOf(Choice::Signatures)]);
}

// (Where each item lives is the locations' rule, checked on its own.)
TEST_F(Inventory, AFullProfileHasEveryItemAndAnAddressBookOnlyBeforeOutlook2007IfItsFileExists) {
    MakeFullProfile("P");
    const size_t book = backup_format::IndexOf(Choice::AddressBook);
    EXPECT_EQ(Available("P"), std::vector<bool>(9, true));
    for (const char* version : {"12.0", "16.0"}) {
        s.state.environment.OutlookVersion = version;
        const auto inventory = TakeInventory(s.state.environment, "P");
        EXPECT_FALSE(inventory.available[book]) << version;
        EXPECT_FALSE(inventory.addressBookSupported) << version;
    }
    s.state.environment.OutlookVersion = "";  // an unknown Outlook reads as 0: still searched
    EXPECT_TRUE(Available("P")[book]);
    std::filesystem::remove(test::Fs(pab));  // a value naming a missing file does not count
    EXPECT_FALSE(Available("P")[book]);
}

// Outlook 2007 and later: the user's own roaming stationery, never the stock one of the
// installation (a machine key names it).
TEST_F(Inventory, TheStationeryOfOutlook2007AndLaterIsTheUsersOwn) {
    for (const char* version : {"12.0", "16.0"}) {
        s.state.environment.OutlookVersion = version;
        EXPECT_EQ(TakeInventory(s.state.environment, "P").locations.StationeryDir,
                  FoldersOf(s.state.environment).stationery)
            << version;
    }
}

TEST_F(Inventory, ChoosingAProfileStoresItsLocationsAndMayProposeADatedName) {
    MakeFullProfile("My Mail");
    const std::string out = test::Scratch::MakeFolder(s.dir / "out");
    WriteINIValue(s.state.paths.SettingsFile, "backup", "automgeneratefile", "1");
    WriteINIValue(s.state.paths.SettingsFile, "backup", "backupfolder", out + "\\");
    ui::BackupTabModel tab;
    tab.sourceProfile = "My Mail";
    tab.items[2].ticked = true;
    ui::SelectSourceProfile(tab, s.state);
    EXPECT_EQ(s.state.locations.AccountsKey,
              AccountsKey(s.state.environment.ProfilesRoot, "My Mail"));
    EXPECT_FALSE(tab.items[2].ticked);
    EXPECT_TRUE(tab.items[2].enabled);
    // Named after the profile and today's date, in the backup folder with one backslash.
    EXPECT_EQ(tab.targetFileText.rfind(out + "\\kestrine-My Mail-", 0), 0u) << tab.targetFileText;
    // Without the switch the user's own text stays.
    WriteINIValue(s.state.paths.SettingsFile, "backup", "automgeneratefile", "0");
    tab.targetFileText = "D:\\mine.ksx";
    ui::SelectSourceProfile(tab, s.state);
    EXPECT_EQ(tab.targetFileText, "D:\\mine.ksx");
}

}  // namespace
}  // namespace kestrine::outlook
