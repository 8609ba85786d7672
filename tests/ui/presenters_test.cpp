// What the window shows and asks, without a screen: the refusals, jobs, progress and messages of
// the backup and restore runs, the inventory on the backup list, the opened backup on
// the restore tab, and the proposed archive name. Also which steps and rows a choice runs.
#include <gtest/gtest.h>

#include "backup/backup_steps.h"
#include "backup_format/backup_contents.h"
#include "restore/restore_rows.h"
#include "ui/archive_name.h"
#include "ui/backup_presenter.h"
#include "ui/restore_presenter.h"

namespace kestrine::ui {
namespace {

using backup_format::Choice;
using backup_format::Item;
using backup_format::StepOutcome;
using platform::MessageIcon;

backup_format::Choices Only(std::initializer_list<Choice> choices) {
    backup_format::Choices chosen{};
    for (Choice c : choices) chosen[backup_format::IndexOf(c)] = true;
    return chosen;
}

TEST(BackupSteps, EachChoiceRunsItsStepsInFlagOrder) {
    auto running = [](const backup_format::Choices& chosen) {
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
}

TEST(RestoreRows, EachTickBringsItsRowsAndAZeroFlagNeverRuns) {
    auto selected = [](const backup_format::Choices& ticked, const std::string& flags) {
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
    backup_format::Choices all{};
    all.fill(true);
    ProgressModel progress;
    PresentBackupStarted(progress);
    std::vector<int> bar;
    for (const auto& step : backup::BackupSteps()) {
        PresentBackupStep(progress, step.item);
        PresentBackupStepDone(progress, step.item, StepOutcome::Succeeded);
        bar.push_back(progress.value);
    }
    // 10 + 105 would pass 100: the contacts step is left out, and the write stands at 96.
    EXPECT_EQ(bar, (std::vector<int>{10, 30, 40, 60, 70, 80, 85, 90, 95, 95, 96}));
    // Without the data files their 5 is not added.
    ProgressModel contacts;
    PresentBackupStarted(contacts);
    for (const auto& step : backup::BackupSteps()) {
        if (step.item == Item::Options) {
            EXPECT_EQ(contacts.value, 80);
        }
        PresentBackupStepDone(contacts, step.item, StepOutcome::NotRun);
    }
    PresentBackupFinished(contacts);
    EXPECT_FALSE(contacts.panelVisible);
    EXPECT_EQ(contacts.value, 0);
}

// Outlook and Explorer follow only a backup that was written, however the settings ask for them.
TEST(BackupPresenter, FollowUpsOnlyAfterAWrittenBackup) {
    backup::BackupResult cancelled, failed, busy, written;
    cancelled.outcome = recovery::RunOutcome::Cancelled;
    failed.error = "The disk is full.";
    busy.outcome = recovery::RunOutcome::Busy;
    written.outcome = recovery::RunOutcome::Incomplete;
    for (const auto* result : {&cancelled, &failed, &busy}) {
        const BackupFollowUps none = FollowUpsOf(*result, true, true);
        EXPECT_FALSE(none.startOutlook || none.openFolder);
    }
    const BackupFollowUps both = FollowUpsOf(written, true, true);
    EXPECT_TRUE(both.startOutlook && both.openFolder);
    EXPECT_FALSE(FollowUpsOf(written, false, false).openFolder);
}

TEST(BackupPresenter, TheInventoryOnTheBackupList) {
    BackupTabModel tab;
    for (auto& box : tab.items) box.ticked = true;
    outlook::ProfileInventory inventory;
    inventory.available = Only({Choice::PersonalFolders, Choice::Options, Choice::Contacts});
    inventory.addressBookSupported = false;
    PresentInventory(tab, inventory);
    for (size_t i = 0; i < backup_format::kChoiceCount; ++i)
        EXPECT_EQ(tab.items[i].enabled && !tab.items[i].ticked, inventory.available[i]) << i;
    EXPECT_EQ(tab.items[4].tooltip, "Your MS Outlook don't support Personal Address Book!");
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

TEST(RestorePresenter, RefusalsAndConfirmation) {
    RestoreTabModel tab;
    EXPECT_EQ(RefuseRestore(tab), (Message{"Invalid backup file.", MessageIcon::Critical}));
    tab.backupOpen = true;
    EXPECT_EQ(RefuseRestore(tab),
              (Message{"Please select at least one item.", MessageIcon::Exclamation}));
    tab.items[1].ticked = true;
    EXPECT_FALSE(RefuseRestore(tab));
}

// The question names what will change and where the backup came from, and warns of a foreign one.
TEST(RestorePresenter, TheConfirmationListsEveryChangeAndWarnsOfAForeignBackup) {
    backup_format::ManifestHeader origin;
    origin.computer = "DESK";
    origin.logonUser = "ann";
    origin.time = "1/2/2026 10:00:00";
    const std::vector<restore::PlannedChange> changes = {
        {Item::Configuration, "", 0, true},
        {Item::DataFiles, "C:\\Mail\\Outlook.pst", 3u << 20, true},
        {Item::DataFiles, "C:\\Mail\\Archive.pst", 1536, false},
        {Item::Signatures, "C:\\Sig\\a.htm", 10, false},
    };
    const Message same = ConfirmRestoreMessage(changes, origin, "desk", "Ann", "Work");
    EXPECT_EQ(same.buttons, platform::MessageButtons::OkCancel);
    EXPECT_EQ(same.icon, MessageIcon::Information);
    EXPECT_EQ(same.text.rfind(kConfirmRestoreFirstLine, 0), 0u);
    EXPECT_TRUE(same.text.ends_with("Do you want to countinue?"));
    const size_t replaced = same.text.find("Will be replaced:");
    const size_t added = same.text.find("Will be added:");
    ASSERT_NE(replaced, std::string::npos);
    ASSERT_NE(added, std::string::npos);
    const size_t config = same.text.find("the configuration of the profile Work");
    const size_t pst = same.text.find("data file C:\\Mail\\Outlook.pst (3.0 MB)");
    const size_t archive = same.text.find("data file C:\\Mail\\Archive.pst (1.5 KB)");
    EXPECT_TRUE(replaced < config && config < pst && pst < added && added < archive) << same.text;
    EXPECT_NE(same.text.find("signature C:\\Sig\\a.htm (10 bytes)"), std::string::npos);
    EXPECT_NE(same.text.find("computer DESK by the user ann (1/2/2026 10:00:00)"),
              std::string::npos);
    EXPECT_EQ(same.text.find("Warning"), std::string::npos);

    const Message foreign = ConfirmRestoreMessage(changes, origin, "LAPTOP", "ann", "Work");
    EXPECT_EQ(foreign.icon, MessageIcon::Exclamation);
    EXPECT_NE(foreign.text.find("Warning: this backup comes from another computer,"),
              std::string::npos);
    EXPECT_NE(
        ConfirmRestoreMessage(changes, origin, "DESK", "bob", "Work").text.find("another user,"),
        std::string::npos);
}

// (The summaries' rows and tabs, and the completion messages, are checked in the runs under Wine.)
TEST(RestorePresenter, AFailedRowThatCouldNotPutAnOldFileBackSaysWhereItIs) {
    restore::RestoreResult result;
    result.rows = {{Item::DataFiles, Status::Fail(Failure::WriteFailed)}};
    result.keptOldFiles = {{"C:\\Mail\\a.pst", "C:\\Mail\\a.pst.old"}};
    EXPECT_EQ(RestoreCompletionMessage(result),
              (Message{"The Restore was Completed!\t\t\t\r\n\r\nRestore Personal Folders\tFail!\t"
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
    EXPECT_FALSE(PresentOpenedBackup(tab, "C:\\a.ksx", opened));
    EXPECT_EQ(tab.backupInfoText,
              "Computer:PC\r\nUser:bob\r\nBackup Time:1/2/2026 3:04:05 PM\r\nProfile:Outlook\r\n"
              "Outlook Version:Outlook 2003");
    EXPECT_EQ(tab.noteText, "a\r\nb=c");
    // What the backup holds follows, when its value says; one that does not read shows nothing.
    const std::string info = tab.backupInfoText;
    opened.manifest.contents = "D2048:a.pst;S:sam@contoso.com;U10:old.pst;M:C:\\gone.pst";
    EXPECT_FALSE(PresentOpenedBackup(tab, "C:\\a.ksx", opened));
    EXPECT_EQ(tab.backupInfoText,
              info +
                  "\r\n\r\nData file included: a.pst (2 KB).\r\nMail of sam@contoso.com stays "
                  "on the server and is not in this backup; its offline store (.ost) works "
                  "only in the profile and on the computer that made it.\r\nData file "
                  "missing, not included: C:\\gone.pst.\r\nNot included, not used by this "
                  "profile: old.pst (10 bytes).\r\n" +
                  backup_format::kPasswordsNote);
    opened.manifest.contents = "D2048:a.pst;S";
    EXPECT_FALSE(PresentOpenedBackup(tab, "C:\\a.ksx", opened));
    EXPECT_EQ(tab.backupInfoText, info);
    std::vector<bool> enabled;
    for (const auto& box : tab.items) enabled.push_back(box.enabled && !box.ticked);
    EXPECT_EQ(enabled,
              (std::vector<bool>{true, false, false, true, false, false, false, false, true}));

    EXPECT_TRUE(tab.backupOpen);

    OpenedArchive archive;
    archive.entries[3] = "from an earlier open";
    RecordOpenedBackup(archive, "C:\\a.ksx", opened);
    EXPECT_EQ(archive.entries[1], "a.pst");
    EXPECT_EQ(archive.entries[3], "from an earlier open");  // flag "0": never looked up
    // (A backup that does not open is told and clears the tab in the open's test under Wine.)
}

}  // namespace
}  // namespace kestrine::ui
