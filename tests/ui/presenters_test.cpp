// What the window shows and asks, without a screen: the refusals, jobs, progress, summaries and
// messages of the backup and restore runs, the inventory on the backup list, the opened backup on
// the restore tab, and the proposed archive name. Also which steps and rows a choice runs.
#include <gtest/gtest.h>

#include "backup/backup_steps.h"
#include "restore/restore_rows.h"
#include "ui/archive_name.h"
#include "ui/backup_presenter.h"
#include "ui/item_texts.h"
#include "ui/restore_presenter.h"

namespace kestrine::ui {
namespace {

using archive::Choice;
using archive::Item;
using archive::StepOutcome;
using platform::MessageIcon;

archive::Choices Only(std::initializer_list<Choice> choices) {
    archive::Choices chosen{};
    for (Choice c : choices) chosen[archive::IndexOf(c)] = true;
    return chosen;
}

TEST(BackupSteps, EachChoiceRunsItsStepsInFlagOrder) {
    auto running = [](const archive::Choices& chosen) {
        std::string out;
        for (const auto& step : backup::BackupSteps()) out += StepRuns(step, chosen) ? 'x' : '.';
        return out;
    };
    // Data files bring the configuration and the rules; accounts and the address book bring the
    // configuration.
    EXPECT_EQ(running(Only({Choice::PersonalFolders})), "xxx........");
    EXPECT_EQ(running(Only({Choice::Accounts})), "x..x.......");
    EXPECT_EQ(running(Only({Choice::AddressBook})), "x.....x....");
    EXPECT_EQ(running(Only({Choice::Contacts})), "..........x");
    for (size_t i = 0; i < archive::kItemCount; ++i)
        EXPECT_EQ(archive::IndexOf(backup::BackupSteps()[i].item), i);
}

TEST(RestoreRows, EachTickBringsItsRowsAndAZeroFlagNeverRuns) {
    auto selected = [](const archive::Choices& ticked, const std::string& flags) {
        std::vector<Item> out;
        for (const auto& row : restore::RestoreRows())
            if (RowSelected(row, ticked, flags)) out.push_back(row.item);
        return out;
    };
    const std::string all(11, '1');
    EXPECT_EQ(selected(Only({Choice::AddressBook}), all),
              (std::vector<Item>{Item::Configuration, Item::AddressBook}));
    EXPECT_EQ(selected(Only({Choice::PersonalFolders}), all),
              (std::vector<Item>{Item::Configuration, Item::Rules, Item::DataFiles}));
    EXPECT_EQ(selected(Only({Choice::Accounts}), "01111111111"),
              (std::vector<Item>{Item::Accounts}));
    EXPECT_TRUE(selected(Only({Choice::Contacts}), "1111111111").empty());  // a short string
}

TEST(BackupPresenter, RefusalsInOrder) {
    BackupTabModel tab;
    EXPECT_EQ(RefuseBackup(tab, ""), (Message{"Invalid backup file.", MessageIcon::Exclamation}));
    EXPECT_EQ(RefuseBackup(tab, "C:\\b.ksx"),
              (Message{"Please select at least one item.", MessageIcon::Exclamation}));
    tab.items[8].ticked = true;
    tab.protect = true;
    EXPECT_EQ(RefuseBackup(tab, "C:\\b.ksx"),
              (Message{"Please enter Password!", MessageIcon::Critical}));
    for (const char* again : {"", "Secret"}) {
        tab.password = "secret";
        tab.retypedPassword = again;
        EXPECT_EQ(RefuseBackup(tab, "C:\\b.ksx"),
                  (Message{"Incorect Password!", MessageIcon::Critical}));
    }
    tab.retypedPassword = "secret";
    EXPECT_FALSE(RefuseBackup(tab, "C:\\b.ksx"));
    EXPECT_EQ(BackupJobFor(tab, AppState{}, "C:\\b.ksx").password, "secret");
    tab.protect = false;  // a password left in the boxes protects nothing
    EXPECT_EQ(BackupJobFor(tab, AppState{}, "C:\\b.ksx").password, "");
}

TEST(BackupPresenter, TheProgressBarStepsAndItsEnd) {
    archive::Choices all{};
    all.fill(true);
    ProgressModel progress;
    ShowBackupStarted(progress);
    std::vector<int> bar;
    for (const auto& step : backup::BackupSteps()) {
        ShowBackupStep(progress, step.item);
        ShowBackupStepDone(progress, step.item, StepOutcome::Succeeded);
        bar.push_back(progress.value);
    }
    // 10 + 105 would pass 100: the contacts step is left out, and the write stands at 96.
    EXPECT_EQ(bar, (std::vector<int>{10, 30, 40, 60, 70, 80, 85, 90, 95, 95, 96}));
    // Without the data files their 5 is not added.
    ProgressModel contacts;
    ShowBackupStarted(contacts);
    for (const auto& step : backup::BackupSteps()) {
        if (step.item == Item::Options) {
            EXPECT_EQ(contacts.value, 80);
        }
        ShowBackupStepDone(contacts, step.item, StepOutcome::NotRun);
    }
    ShowBackupFinished(contacts);
    EXPECT_FALSE(contacts.panelVisible);
    EXPECT_EQ(contacts.value, 0);
}

TEST(BackupPresenter, SummaryAndCompletionMessages) {
    backup::BackupResult result;
    result.outcomes[archive::IndexOf(Item::Configuration)] = StepOutcome::Succeeded;
    result.outcomes[archive::IndexOf(Item::Signatures)] = StepOutcome::Succeeded;
    result.outcomes[archive::IndexOf(Item::Templates)] = StepOutcome::Failed;
    result.written = true;
    const std::string summary = "\r\nBackup Signatures\tSucceeded!\t\r\nBackup Templates\tFail!\t";
    EXPECT_EQ(BackupSummary(result), summary);  // the configuration is not reported
    EXPECT_EQ(BackupCompletionMessage(result, "C:\\a.ksx"),
              (Message{"The Backup was Completed!\t\t\t\r\n" + summary, MessageIcon::Information}));

    result.written = false;
    result.error = "Access is denied.";
    const Message failed = BackupCompletionMessage(result, "C:\\B\\a.ksx");
    EXPECT_EQ(failed.icon, MessageIcon::Critical);
    EXPECT_EQ(
        failed.text.rfind("The backup file could not be written:\r\nC:\\B\\a.ksx\r\nAccess", 0),
        0u);
    EXPECT_EQ(failed.text.find("Completed"), std::string::npos);
    result.checkFailed = true;
    EXPECT_EQ(BackupCompletionMessage(result, "C:\\a.ksx")
                  .text.rfind("The new backup file failed its check and was not kept:\r\nC:", 0),
              0u);
    result.cancelled = true;
    EXPECT_EQ(BackupCompletionMessage(result, "C:\\a.ksx").text.find("Completed"),
              std::string::npos);
    result = {};
    result.written = result.verified = true;
    EXPECT_EQ(BackupCompletionMessage(result, "C:\\a.ksx").text,
              "The Backup was Completed!\t\t\t\r\n\r\n\r\nThe backup file was verified: "
              "everything in it reads back intact.");
}

TEST(BackupPresenter, TheInventoryOnTheBackupList) {
    BackupTabModel tab;
    for (auto& box : tab.items) box.ticked = true;
    outlook::ProfileInventory inventory;
    inventory.available = Only({Choice::PersonalFolders, Choice::Options, Choice::Contacts});
    inventory.addressBookSupported = false;
    ShowInventory(tab, inventory);
    for (size_t i = 0; i < archive::kChoiceCount; ++i)
        EXPECT_EQ(tab.items[i].enabled && !tab.items[i].ticked, inventory.available[i]) << i;
    EXPECT_EQ(tab.items[4].tooltip, "Your MS Outlook don't support Personal Address Book!");
    EXPECT_EQ(tab.items[2].tooltip, "User defined signatures.");
    EXPECT_STREQ(RestoreItemTooltip(Choice::PersonalFolders),
                 "Contacts, Tasks, Calendar, Notes and mail folders.");
}

TEST(ArchiveName, ProposalAndItsFolder) {
    EXPECT_EQ(ProposalFileName("My Mail", {2026, 12, 5}), "kestrine-My Mail-12-05-2026.ksx");
    // A name Windows cannot store as one file becomes one plain file name.
    EXPECT_EQ(ProposalFileName("A:B/C?", {2026, 3, 4}), "kestrine-A_B_C_-03-04-2026.ksx");
    auto exists = [](const std::string& p) { return p == "D:\\Backups\\" || p == "E:\\"; };
    EXPECT_EQ(ChooseProposalFolder("", "C:\\App", exists), "C:\\App");
    EXPECT_EQ(ChooseProposalFolder("0", "C:\\App", exists), "C:\\App");
    EXPECT_EQ(ChooseProposalFolder("D:\\Backups\\", "C:\\App", exists), "D:\\Backups");
    EXPECT_EQ(ChooseProposalFolder("E:\\Gone", "C:\\App", exists), "C:\\App");
    EXPECT_EQ(ChooseProposalFolder("E:\\", "C:\\App", exists), "E:");  // the join adds it back
}

TEST(RestorePresenter, RefusalsConfirmationAndTheJob) {
    RestoreTabModel tab;
    EXPECT_EQ(RefuseRestore(true, tab), (Message{"Invalid backup file.", MessageIcon::Critical}));
    EXPECT_EQ(RefuseRestore(false, tab),
              (Message{"Please select at least one item.", MessageIcon::Exclamation}));
    tab.items[1].ticked = true;
    EXPECT_FALSE(RefuseRestore(false, tab));
    EXPECT_EQ(ConfirmRestoreMessage().text,
              "Your current Email and News messages will be replaced with the messages from the "
              "selected backup file.\r\n\r\nDo you want to countinue?");
    EXPECT_EQ(ConfirmRestoreMessage().buttons, platform::MessageButtons::OkCancel);
    tab.targetProfile = "Second";
    AppState state;
    state.SourceFile = "C:\\a.ksx";
    state.ItemFlags = "10010000000";
    const auto job = RestoreJobFor(tab, state);
    EXPECT_EQ(job.targetProfile, "Second");
    EXPECT_EQ(job.ticked, Only({Choice::Accounts}));
}

TEST(RestorePresenter, SummaryWithItsTabsAndTheSignaturesOddity) {
    restore::RestoreResult result;
    result.rows = {{Item::Configuration, false}, {Item::Rules, true},
                   {Item::Accounts, true},       {Item::Signatures, false},
                   {Item::Templates, false},     {Item::Preferences, true},
                   {Item::DataFiles, false}};
    const std::string summary =
        "\r\nRestore Accounts Settings\tSucceeded!\t\r\nRestore Signatures \t\tFail!\t"
        "\r\nRestore Templates\t\tFail!\t\r\nRestore Preferences\tSucceeded!\t"
        "\r\nRestore Personal Folders\tFail!\t";
    EXPECT_EQ(RestoreSummary(result), summary);
    EXPECT_EQ(RestoreCompletionMessage(result).text,
              "The Restore was Completed!\t\t\t\r\n" + summary);
    // A failed row that could not put an old file back says where it is.
    result.keptOldFiles = {{"C:\\Mail\\a.pst", "C:\\Mail\\a.pst.old"}};
    EXPECT_EQ(RestoreCompletionMessage(result),
              (Message{"The Restore was Completed!\t\t\t\r\n" + summary +
                           "\r\n\r\nC:\\Mail\\a.pst could not be put back as it was; the old "
                           "file is now C:\\Mail\\a.pst.old",
                       MessageIcon::Exclamation}));
}

TEST(RestorePresenter, AnOpenedBackupOnTheTabAndInTheState) {
    restore::OpenedBackup opened;
    opened.status = restore::OpenStatus::Opened;
    opened.manifest.header = {"PC",           "bob",     "Outlook", "1/2/2026 3:04:05 PM",
                              "Outlook 2003", "a\r\nb=c"};
    // Configuration and rules enable no entry of their own.
    opened.manifest.itemFlags = "11100100001";
    opened.manifest.entries[1] = "a.pst";
    opened.manifest.entries[10] = "Jane.vcf";
    RestoreTabModel tab;
    ClearRestoreTab(tab);
    EXPECT_FALSE(ShowOpenedBackup(tab, "C:\\a.ksx", opened));
    EXPECT_EQ(tab.backupInfoText,
              "Computer:PC\r\nUser:bob\r\nBackup Time:1/2/2026 3:04:05 PM\r\nProfile:Outlook\r\n"
              "Outlook Version:Outlook 2003");
    EXPECT_EQ(tab.noteText, "a\r\nb=c");
    std::vector<bool> enabled;
    for (const auto& box : tab.items) enabled.push_back(box.enabled && !box.ticked);
    EXPECT_EQ(enabled,
              (std::vector<bool>{true, false, false, true, false, false, false, false, true}));

    AppState state;
    state.ItemEntries[3] = "from an earlier open";
    RecordOpenedBackup(state, "C:\\a.ksx", opened);
    EXPECT_FALSE(state.NoSourceFile);
    EXPECT_EQ(state.ItemEntries[1], "a.pst");
    EXPECT_EQ(state.ItemEntries[3], "from an earlier open");  // flag "0": never looked up

    opened.status = restore::OpenStatus::Invalid;
    EXPECT_EQ(ShowOpenedBackup(tab, "C:\\a.ksx", opened),
              (Message{"Invalid backup file", MessageIcon::Critical}));
    RecordOpenedBackup(state, "C:\\a.ksx", opened);
    EXPECT_TRUE(state.NoSourceFile);
    opened.status = restore::OpenStatus::WrongPassword;
    ClearRestoreTab(tab);
    EXPECT_EQ(ShowOpenedBackup(tab, "C:\\b.ksx", opened),
              (Message{"Incorect Password or Invalid backup file!", MessageIcon::Information}));
    EXPECT_EQ(tab.sourceFileText, "");
}

}  // namespace
}  // namespace kestrine::ui
