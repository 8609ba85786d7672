// The profile inventory against a real registry and real folders under Wine: a profile in the
// test's own registry key, and a scratch user folder.
#include <gtest/gtest.h>

#include <ctime>

#include "app/app_state.h"
#include "app/settings.h"
#include "outlook/environment.h"
#include "outlook/inventory.h"
#include "outlook/process_control.h"
#include "platform/messages.h"
#include "platform/processes.h"
#include "registry/registry.h"
#include "test_support.h"
#include "win_test_util.h"

namespace kestrine::outlook {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& file) {
    fs::create_directories(file.parent_path());
    test::WriteFile(file, "x");
}

class Inventory : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(app());
        state_.AppFolder = test::Utf8(app());
        state_.UserProfileDir = test::Utf8(user());
        state_.OSVersion = "10.0";
        state_.OutlookVersion = "11.0";
        state_.OutlookName = "Outlook 2003";
        state_.ProfilesRoot = key_.Path("Profiles");
        for (auto& item : tab_.items) {
            item.enabled = false;
            item.ticked = true;
        }
    }
    fs::path app() const { return dir_.path() / "app folder"; }
    fs::path user() const { return dir_.path() / "user"; }
    fs::path roaming() const { return user() / "AppData" / "Roaming" / "Microsoft"; }
    // A profile whose every item has something to back up.
    void MakeFullProfile(const std::string& profile) {
        key_.CreateKey("Profiles\\" + profile + "\\" + kAccountsSubkey);
        Touch(roaming() / "Signatures" / "Work.htm");
        Touch(user() / "Application Data" / "Microsoft" / "Stationery" / "Paper.htm");
        Touch(roaming() / "Templates" / "Reply.oft");
        Touch(roaming() / "Outlook" / "outcmd.dat");
        Touch(user() / "Contacts" / "Ann.contact");
        Touch(dir_.path() / "pab" / "mailbox.pab");
        key_.CreateKey("Profiles\\" + profile + "\\0a0d020000000000c000000000000046");
        std::string pab = test::Utf8(dir_.path() / "pab" / "mailbox.pab");
        std::string doubled;
        for (char c : pab) doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
        key_.SetAnsi("Profiles\\" + profile + "\\13dbb0c8aa05101a9bb000aa002fc45a", kPabPathValue,
                     doubled);
    }
    void Run(const std::string& profile, const InventoryOptions& options = {}) {
        tab_.sourceProfile = profile;
        RunProfileInventory(state_, tab_, options);
    }
    std::vector<bool> Enabled() const {
        std::vector<bool> out;
        for (const auto& item : tab_.items) out.push_back(item.enabled);
        return out;
    }

    test::TempDir dir_;
    test::ScratchKey key_{"olk-inventory"};
    AppState state_;
    ui::BackupTabModel tab_;
};

TEST_F(Inventory, FullProfileEnablesEveryItemAndClearsTicks) {
    MakeFullProfile("My Mail");
    Run("My Mail");
    EXPECT_EQ(Enabled(), std::vector<bool>(9, true));
    for (size_t i = 0; i < kItemCount; ++i) {
        EXPECT_FALSE(tab_.items[i].ticked) << i;
        EXPECT_EQ(tab_.items[i].caption, kItemCaptions[i]);
        EXPECT_EQ(tab_.items[i].tooltip, kBackupItemTooltips[i]);
    }
    EXPECT_EQ(state_.AccountsKey, key_.Path("Profiles\\My Mail\\" + std::string(kAccountsSubkey)));
    EXPECT_EQ(state_.SignaturesDir, test::Utf8(roaming() / "Signatures"));
    EXPECT_EQ(state_.StationeryDir,
              test::Utf8(user()) + "\\Application Data\\Microsoft\\Stationery");
    EXPECT_EQ(state_.RulesDir, test::Utf8(roaming() / "Outlook"));
    EXPECT_EQ(state_.PreferencesDir, state_.RulesDir);
    EXPECT_EQ(state_.TemplatesDir, test::Utf8(roaming() / "Templates"));
    EXPECT_EQ(state_.OptionsKey,
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\11.0\\Outlook\\Options");
    EXPECT_EQ(state_.ContactsDir, test::Utf8(user() / "Contacts"));

    // Choosing the same profile again discards the user's ticks.
    tab_.items[2].ticked = true;
    Run("My Mail");
    EXPECT_FALSE(tab_.items[2].ticked);
}

TEST_F(Inventory, MissingEmptyAndSubfolderOnlyLocationsDisableTheirItems) {
    key_.CreateKey("Profiles\\Bare");  // no accounts key, no address book
    fs::create_directories(roaming() / "Signatures" / "only a subfolder");
    Touch(roaming() / "Signatures" / "only a subfolder" / "inside.htm");
    fs::create_directories(roaming() / "Templates");  // empty
    Touch(roaming() / "Outlook" / "rules.rwz");       // preferences present
    // No stationery folder, no contacts folder.
    Run("Bare");
    std::vector<bool> expected = {true, false, false, false, false, true, false, true, false};
    EXPECT_EQ(Enabled(), expected);
    for (const auto& item : tab_.items) EXPECT_FALSE(item.ticked);
    // Nothing was created or removed by looking.
    EXPECT_TRUE(fs::exists(roaming() / "Signatures" / "only a subfolder" / "inside.htm"));
    EXPECT_FALSE(fs::exists(user() / "Contacts"));
    EXPECT_TRUE(registry::KeyExists(key_.Path("Profiles\\Bare")));
}

TEST_F(Inventory, BlankProfileNameAsksNothingOfTheRegistryAndShowsNothing) {
    MakeFullProfile("Real");
    std::vector<std::string> shown;
    platform::SetMessageHandler([&](const platform::MessageRequest& r) {
        shown.push_back(r.text);
        return platform::MessageAnswer::Ok;
    });
    Run("");
    platform::SetMessageHandler({});
    EXPECT_TRUE(shown.empty()) << shown.front();
    EXPECT_FALSE(tab_.items[kItemAccounts].enabled);
    EXPECT_FALSE(tab_.items[kItemAddressBook].enabled);
    EXPECT_TRUE(tab_.items[kItemSignatures].enabled);  // folders do not depend on the name
}

TEST_F(Inventory, OldLayoutOnWindowsXp) {
    state_.OSVersion = "5.1";
    Touch(user() / "Application Data" / "Microsoft" / "Signatures" / "a.txt");
    Touch(roaming() / "Templates" / "wrong-layout.oft");
    key_.CreateKey("Profiles\\Outlook");
    Run("Outlook");
    EXPECT_TRUE(tab_.items[kItemSignatures].enabled);
    EXPECT_FALSE(tab_.items[kItemTemplates].enabled);  // AppData is not where XP looks
    EXPECT_EQ(state_.TemplatesDir, test::Utf8(user()) + "\\Application Data\\Microsoft\\Templates");
}

TEST_F(Inventory, AddressBookOnlyBeforeOutlook2007AndOnlyWhenItsFileExists) {
    MakeFullProfile("P");
    Run("P");
    EXPECT_TRUE(tab_.items[kItemAddressBook].enabled);

    for (const char* version : {"12.0", "14.0", "16.0"}) {
        state_.OutlookVersion = version;
        Run("P");
        EXPECT_FALSE(tab_.items[kItemAddressBook].enabled) << version;
        EXPECT_EQ(tab_.items[kItemAddressBook].tooltip,
                  "Your MS Outlook don't support Personal Address Book!");
    }

    // Back on 2003 the tooltip is the item's own again; a value naming a missing file does not
    // count.
    state_.OutlookVersion = "11.0";
    fs::remove(dir_.path() / "pab" / "mailbox.pab");
    Run("P");
    EXPECT_FALSE(tab_.items[kItemAddressBook].enabled);
    EXPECT_EQ(tab_.items[kItemAddressBook].tooltip, kBackupItemTooltips[kItemAddressBook]);

    // Unknown Outlook (empty version) reads as 0: still searched.
    Touch(dir_.path() / "pab" / "mailbox.pab");
    state_.OutlookVersion = "";
    Run("P");
    EXPECT_TRUE(tab_.items[kItemAddressBook].enabled);
}

TEST_F(Inventory, StationeryOfOutlook2007AndLaterComesFromTheSharedFilesFolder) {
    state_.OutlookVersion = "14.0";
    key_.CreateKey("Profiles\\P");
    Run("P");
    std::string shared = registry::GetStringValue(kSharedToolsKey, kSharedFilesDirValue);
    EXPECT_EQ(state_.StationeryDir, StationeryFromSharedFiles(shared));
    EXPECT_NE(state_.StationeryDir.find("Stationery"), std::string::npos);
}

TEST_F(Inventory, ProposalFolderRules) {
    key_.CreateKey("Profiles\\My Mail");
    InventoryOptions options;
    options.proposeName = true;
    options.today = {2026, 12, 5};

    Run("My Mail", options);
    std::string inApp = test::Utf8(app()) + "\\kestrine-My Mail-12-05-2026.ksx";
    EXPECT_EQ(tab_.targetFileText, inApp);
    EXPECT_EQ(state_.TargetFile, inApp);

    fs::create_directories(dir_.path() / "backups");
    options.backupFolder = test::Utf8(dir_.path() / "backups") + "\\";
    Run("My Mail", options);
    EXPECT_EQ(state_.TargetFile,
              test::Utf8(dir_.path() / "backups") + "\\kestrine-My Mail-12-05-2026.ksx");

    options.backupFolder = test::Utf8(dir_.path() / "not there");
    options.today = {2027, 1, 2};
    Run("My Mail", options);
    EXPECT_EQ(state_.TargetFile, test::Utf8(app()) + "\\kestrine-My Mail-01-02-2027.ksx");

    options.backupFolder = "0";
    Run("My Mail", options);
    EXPECT_EQ(state_.TargetFile, test::Utf8(app()) + "\\kestrine-My Mail-01-02-2027.ksx");

    // Without the switch the user's own text stays.
    tab_.targetFileText = "D:\\mine.ksx";
    state_.TargetFile = "D:\\mine.ksx";
    options.proposeName = false;
    Run("My Mail", options);
    EXPECT_EQ(tab_.targetFileText, "D:\\mine.ksx");
    EXPECT_EQ(state_.TargetFile, "D:\\mine.ksx");
}

std::string TodayText() {
    std::time_t now = std::time(nullptr);
    const std::tm* t = std::localtime(&now);
    return FormatDate({t->tm_year + 1900, t->tm_mon + 1, t->tm_mday});
}

TEST_F(Inventory, SelectionEventReadsTheSettingsFile) {
    // The settings file lives in the application folder of the process-wide state.
    AppState& global = State();
    AppState saved = global;
    global = state_;
    key_.CreateKey("Profiles\\Outlook");
    fs::create_directories(dir_.path() / "out");
    WriteINIValue(SettingsPath(), "backup", "automgeneratefile", "1");
    WriteINIValue(SettingsPath(), "backup", "backupfolder", test::Utf8(dir_.path() / "out"));

    tab_.sourceProfile = "Outlook";
    std::string before = TodayText();
    cbSource_Click(global, tab_);
    std::string after = TodayText();
    std::string folder = test::Utf8(dir_.path() / "out") + "\\kestrine-Outlook-";
    EXPECT_TRUE(global.TargetFile == folder + before + ".ksx" ||
                global.TargetFile == folder + after + ".ksx")
        << global.TargetFile;
    EXPECT_EQ(tab_.targetFileText, global.TargetFile);

    WriteINIValue(SettingsPath(), "backup", "automgeneratefile", "0");
    tab_.targetFileText = global.TargetFile = "typed.ksx";
    cbSource_Click(global, tab_);
    EXPECT_EQ(global.TargetFile, "typed.ksx");
    global = saved;
}

TEST(StartOutlook, StartsTheRegisteredProgramAndRefusesAMissingEntry) {
    test::TempDir dir;
    test::ScratchKey key("olk-apppaths");
    auto exe = dir.path() / "Microsoft Office" / "OUTLOOK.EXE";
    test::CopyTestProgram("olk_fake_program.exe", exe);

    key.SetAnsi("", "Path", test::Utf8(exe.parent_path()) + "\\");
    EXPECT_TRUE(StartOutlook(key.Path()));
    fs::path started = exe.wstring() + L".started";
    for (int i = 0; i < 200 && !fs::exists(started); ++i) Sleep(50);
    EXPECT_TRUE(fs::exists(started));
    platform::KillProcessByName("outlook.exe");

    EXPECT_FALSE(StartOutlook(key.Path("Missing")));
    key.CreateKey("NoPath");
    EXPECT_FALSE(StartOutlook(key.Path("NoPath")));
    EXPECT_EQ(OutlookCommandLine("C:\\Office\\"), "\"C:\\Office\\OUTLOOK.EXE\"");
    EXPECT_EQ(OutlookCommandLine("C:\\Office"), "\"C:\\Office\\OUTLOOK.EXE\"");
}

}  // namespace
}  // namespace kestrine::outlook
