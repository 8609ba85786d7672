// The restore run: refusals, which rows run in which order, the log, the summary, the progress and
// the Outlook start. The handlers are stood in for here; their own tests cover what they do.
#include <algorithm>

#include "restore/restore_run.h"
#include "restore_fixture.h"

namespace kestrine::restore {
namespace {

using namespace kestrine::test;
using platform::MessageIcon;
using H = Item;

class RestoreRun : public ::testing::Test {
  protected:
    RestoreScratch s;
    archive::ZipComponent zip;
    ui::MainWindowModel& window = ui::MainWindow();
    AppState& state = State();
    std::vector<std::pair<H, std::string>> calls;
    std::map<H, bool> results;  // handlers not listed succeed
    int outlookStarts = 0;
    std::vector<int> barSeen;

    void SetUp() override {
        state.NoSourceFile = false;
        state.ItemFlags = "11111111111";
        state.SourceFile = "C:\\Backups\\old backup.ksx";
        window.restore.targetProfile = "My Profile";
        window.pumpMessages = [this] { barSeen.push_back(window.progress.value); };
    }
    RestoreRunReport Run(std::initializer_list<int> ticks) {
        for (int t : ticks) window.restore.items[static_cast<size_t>(t)].ticked = true;
        RestoreRunHooks hooks;
        hooks.now = [] { return std::string("12/6/2026 10:00:00 AM"); };
        hooks.startOutlook = [this] { ++outlookStarts; };
        hooks.handler = [this](H h, const std::string& target) {
            calls.emplace_back(h, target);
            auto it = results.find(h);
            return it == results.end() || it->second;
        };
        return RunRestore(window, state, zip, hooks);
    }
    std::vector<H> Called() const {
        std::vector<H> out;
        for (const auto& c : calls) out.push_back(c.first);
        return out;
    }
    std::string Log() const {
        const std::string path = s.app + "\\brlog.dat";
        return Exists(path) ? Get(path) : std::string();
    }
};

TEST_F(RestoreRun, NoOpenBackupIsRefused) {
    state.NoSourceFile = true;
    const auto report = Run({0, 1});
    EXPECT_FALSE(report.ran);
    EXPECT_TRUE(calls.empty());
    ASSERT_EQ(s.dialogs.messages.size(), 1u);
    EXPECT_EQ(s.dialogs.messages[0].text, "Invalid backup file.");
    EXPECT_EQ(s.dialogs.messages[0].icon, MessageIcon::Critical);
    EXPECT_EQ(Log(), "");
}

TEST_F(RestoreRun, NothingTickedIsRefused) {
    const auto report = Run({});
    EXPECT_FALSE(report.ran);
    EXPECT_TRUE(calls.empty());
    ASSERT_EQ(s.dialogs.messages.size(), 1u);
    EXPECT_EQ(s.dialogs.messages[0].text, "Please select at least one item.");
    EXPECT_EQ(s.dialogs.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(Log(), "");
}

TEST_F(RestoreRun, TheAddressBookBringsTheConfigurationFirst) {
    const auto report = Run({4});
    EXPECT_EQ(Called(), (std::vector<H>{H::Config, H::Pab}));
    for (const auto& c : calls) EXPECT_EQ(c.second, "My Profile");
    EXPECT_EQ(report.summary, "\r\nRestore Personal Address Book\tSucceeded!\t");

    const std::string now = "12/6/2026 10:00:00 AM";
    EXPECT_EQ(Log(), std::string(84, '.') + "\r\r\n" + now +
                         " Start Retore Data to Profile My Profile\n\r\n" + now +
                         " Restore File is C:\\Backups\\old backup.ksx\n\r\n" + now +
                         " Restore Personal Address Book Succeeded!\n\r\n" + now +
                         " Restore Data to Profile My Profile was Completed!\r\r\n");
    ASSERT_EQ(s.dialogs.messages.size(), 1u);
    EXPECT_EQ(
        s.dialogs.messages[0].text,
        "The Restore was Completed!\t\t\t\r\n\r\nRestore Personal Address Book\tSucceeded!\t");
    EXPECT_EQ(s.dialogs.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(s.dialogs.messages[0].title, "Kestrine");
}

TEST_F(RestoreRun, PersonalFoldersRunLastAfterConfigurationAndRules) {
    const auto report = Run({0});
    EXPECT_EQ(Called(), (std::vector<H>{H::Config, H::Rules, H::Datas}));
    EXPECT_EQ(report.summary, "\r\nRestore Personal Folders\tSucceeded!\t");
}

TEST_F(RestoreRun, AnItemWithoutItsFlagIsSkippedSilently) {
    state.ItemFlags = "01111111110";
    const auto report = Run({1, 8});
    EXPECT_EQ(Called(), (std::vector<H>{H::Accounts}));
    EXPECT_EQ(report.summary, "\r\nRestore Accounts Settings\tSucceeded!\t");
}

TEST_F(RestoreRun, EveryRowInOrderWithFailuresReportedAndTheRunGoingOn) {
    results = {
        {H::Config, false}, {H::Signatures, false}, {H::Templates, false}, {H::Datas, false}};
    const auto report = Run({0, 1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(Called(), (std::vector<H>{H::Config, H::Rules, H::Accounts, H::Signatures,
                                        H::Stationery, H::Pab, H::Configsetting, H::Templates,
                                        H::Setting, H::Contacts, H::Datas}));
    EXPECT_EQ(report.summary,
              "\r\nRestore Accounts Settings\tSucceeded!\t"
              "\r\nRestore Signatures \t\tFail!\t"
              "\r\nRestore Stationeries\tSucceeded!\t"
              "\r\nRestore Personal Address Book\tSucceeded!\t"
              "\r\nRestore Options Settings\tSucceeded!\t"
              "\r\nRestore Templates\t\tFail!\t"
              "\r\nRestore Preferences\tSucceeded!\t"
              "\r\nRestore Contacts Folder\tSucceeded!\t"
              "\r\nRestore Personal Folders\tFail!\t");
    const std::string log = Log();
    EXPECT_NE(log.find(" Restore Signatures Fail!\n\r\n"), std::string::npos);
    EXPECT_NE(log.find(" Restore Personal Folders Fail!\n\r\n"), std::string::npos);
    EXPECT_EQ(log.find("Config"), std::string::npos);  // configuration and rules are not logged
    EXPECT_EQ(log.find("Rules"), std::string::npos);
}

TEST_F(RestoreRun, ProgressAndCaptions) {
    std::vector<std::string> captions;
    RestoreRunHooks hooks;
    hooks.now = [] { return std::string("now"); };
    hooks.handler = [&](H, const std::string&) {
        captions.push_back(window.progress.label1);
        EXPECT_TRUE(window.progress.panelVisible);
        EXPECT_TRUE(window.progress.busyPointer);
        return true;
    };
    for (auto& item : window.restore.items) item.ticked = true;
    RunRestore(window, state, zip, hooks);
    EXPECT_EQ(captions,
              (std::vector<std::string>{
                  "Copying Config...", "Copying Rules...", "Copying Accounts...",
                  "Copying Signatures...", "Copying Stationeries...", "Copying Address Book...",
                  "Copying Options...", "Copying Templates...", "Copying Setting...",
                  "Copying Contacts Folder...", "Copying Data Files (PST/OST Files)..."}));
    EXPECT_EQ(barSeen, (std::vector<int>{10}));  // messages pumped once, after the first step
    EXPECT_EQ(window.progress.skinLabel9, "Restore Outlook Data....");
    EXPECT_EQ(window.progress.label1, "Operation complete!");
    EXPECT_FALSE(window.progress.panelVisible);
    EXPECT_FALSE(window.progress.busyPointer);
    EXPECT_EQ(window.progress.value, 0);
}

TEST_F(RestoreRun, OutlookStartsOnlyWhenTheSettingIsOne) {
    Run({2});
    EXPECT_EQ(outlookStarts, 0);
    platform::WriteProfileString(s.app + "\\settings.dat", "General", "runoutlookafterrestore",
                                 "1");
    Run({2});
    EXPECT_EQ(outlookStarts, 1);
    platform::WriteProfileString(s.app + "\\settings.dat", "General", "runoutlookafterrestore",
                                 "2");
    Run({2});
    EXPECT_EQ(outlookStarts, 1);
}

TEST_F(RestoreRun, ASecondRunRepeatsEverything) {
    Run({1});
    Run({1});
    EXPECT_EQ(Called(), (std::vector<H>{H::Config, H::Accounts, H::Config, H::Accounts}));
    // The selection stays as it was.
    EXPECT_TRUE(window.restore.items[1].ticked);
}

TEST_F(RestoreRun, ExtractionShowsEachFileName) {
    const std::string path =
        s.MakeArchive("sig.ksx", {s.Source("Work.htm", "sig")},
                      RestoreScratch::Manifest({{static_cast<int>(Item::Signatures), "Work.htm"}}));
    ASSERT_TRUE(zip.OpenArchive(path));
    state.ItemFlags = "00001000000";
    state.ItemEntries[archive::IndexOf(Item::Signatures)] = "Work.htm";
    std::vector<std::string> shown;
    window.pumpMessages = [&] { shown.push_back(window.progress.skinLabel9); };
    window.restore.items[2].ticked = true;
    RestoreRunHooks hooks;
    hooks.startOutlook = [] {};
    const auto report = RunRestore(window, state, zip, hooks);
    EXPECT_EQ(report.summary, "\r\nRestore Signatures\t\tSucceeded!\t");
    EXPECT_NE(std::find(shown.begin(), shown.end(), "Unzip File Work.htm"), shown.end());
    EXPECT_FALSE(zip.Events().FileExtracting);  // the window's handlers are back
    EXPECT_EQ(Get(s.folders.signatures + "\\Work.htm"), "sig");
}

TEST_F(RestoreRun, WithTheArchiveClosedEveryItemFails) {
    // No archive open in the component (a backup ran since): the real handlers find no entry.
    state.ItemEntries[archive::IndexOf(Item::Signatures)] = "Work.htm";
    state.ItemEntries[archive::IndexOf(Item::Contacts)] = "Jane.vcf";
    window.restore.items[2].ticked = true;
    window.restore.items[8].ticked = true;
    RestoreRunHooks hooks;
    hooks.startOutlook = [] {};
    const auto report = RunRestore(window, state, zip, hooks);
    EXPECT_EQ(report.summary,
              "\r\nRestore Signatures \t\tFail!\t\r\nRestore Contacts Folder\tFail!\t");
}

}  // namespace
}  // namespace kestrine::restore
