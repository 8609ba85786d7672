#include "ui/backup_presenter.h"

#include <array>

#include "app/log_lines.h"
#include "backup/backup_steps.h"
#include "backup_format/backup_contents.h"
#include "ui/item_texts.h"

namespace kestrine::ui {

namespace {

using backup_format::Choice;
using backup_format::Item;
using backup_format::StepOutcome;
using platform::MessageIcon;

struct StepLook {
    const char* caption;  // the step text while the step runs
    int barWhenRun = 0;   // added before the step, only when it runs
    int barAfter = 0;     // added after the step, run or not
};

const StepLook& LookOf(Item item) {
    static constexpr std::array<StepLook, backup_format::kItemCount> kLooks = {{
        {.caption = "Copying Config..."},
        {.caption = "Copying Data Files (Pst Files)...", .barWhenRun = 5, .barAfter = 15},
        {.caption = "Copying Rules...", .barAfter = 10},
        {.caption = "Copying Accounts...", .barAfter = 20},
        {.caption = "Copying Signatures...", .barAfter = 10},
        {.caption = "Copying Stationeries...", .barAfter = 10},
        {.caption = "Copying Address Book...", .barAfter = 5},
        {.caption = "Copying Options...", .barAfter = 5},
        {.caption = "Copying Templates...", .barAfter = 5},
        {.caption = "Copying Setting..."},
        {.caption = "Copying Contacts Folder...", .barAfter = 10},
    }};
    return kLooks[backup_format::IndexOf(item)];
}

const char* ResultText(bool ok) {
    return ok ? "Succeeded!" : "Fail!";
}

}  // namespace

ItemBoxes BackupItemBoxes(const outlook::ProfileInventory& inventory) {
    ItemBoxes items;
    for (size_t i = 0; i < backup_format::kChoiceCount; ++i) {
        const auto choice = static_cast<Choice>(i);
        ItemBox& box = items[i];
        box.caption = ItemCaption(choice);
        box.tooltip = BackupItemTooltip(choice);
        box.enabled = inventory.available[i];
        box.ticked = false;
    }
    if (!inventory.addressBookSupported)
        items[backup_format::IndexOf(Choice::AddressBook)].tooltip = kNoAddressBookTooltip;
    if (inventory.mailOnServer)
        items[backup_format::IndexOf(Choice::PersonalFolders)].tooltip = kMailOnServerTooltip;
    return items;
}

void PresentInventory(BackupTabModel& tab, const outlook::ProfileInventory& inventory) {
    tab.items = BackupItemBoxes(inventory);
}

std::optional<Message> RefuseBackup(const BackupTabModel& tab, const std::string& targetFile) {
    if (targetFile.empty()) return Message{"Invalid backup file.", MessageIcon::Exclamation};
    if (!backup::AnyChosen(TickedIn(tab.items)))
        return Message{"Please select at least one item.", MessageIcon::Exclamation};
    if (tab.protect) {
        if (tab.password.empty() && tab.retypedPassword.empty())
            return Message{"Please enter Password!", MessageIcon::Critical};
        if (tab.password != tab.retypedPassword)
            return Message{"Incorect Password!", MessageIcon::Critical};
    }
    return std::nullopt;
}

backup::BackupJob BackupJobFor(const BackupTabModel& tab, const AppState& state,
                               const std::string& targetFile) {
    backup::BackupJob job = backup::BackupJobFor(state, state.locations, tab.sourceProfile,
                                                 TickedIn(tab.items), targetFile);
    if (tab.protect) job.password = tab.password;
    job.note = tab.note;
    return job;
}

void PresentBackupStarted(ProgressModel& progress) {
    progress.busyPointer = true;
    progress.panelVisible = true;
    progress.Advance(10);
}

void PresentBackupStep(ProgressModel& progress, Item item) {
    progress.stepText = LookOf(item).caption;
    if (LookOf(item).barWhenRun != 0) progress.Advance(LookOf(item).barWhenRun);
}

void PresentBackupStepDone(ProgressModel& progress, Item item, StepOutcome) {
    if (LookOf(item).barAfter != 0) progress.Advance(LookOf(item).barAfter);
    // After the last step the archive is written: the bar stands just short of its end.
    if (item == Item::Contacts) progress.value = progress.max - 4;
}

void PresentBackupProgress(ProgressModel& progress, const backup_format::Progress& facts) {
    progress.fileText = "Adding File " + facts.file;
    progress.bytesDone = facts.bytesDone;
    progress.bytesExpected = facts.bytesExpected;
    if (facts.bytesExpected != 0)
        progress.stepText =
            "Write File " + std::to_string(facts.bytesDone * 100 / facts.bytesExpected) + "%";
}

void PresentBackupChecking(ProgressModel& progress) {
    progress.stepText = "Verifying Backup File...";
    progress.fileText.clear();
}

void PresentBackupFinished(ProgressModel& progress) {
    progress.value = progress.max;
    progress.busyPointer = false;
    progress.fileText.clear();
    progress.panelVisible = false;
    progress.value = progress.min;
}

std::string BackupSummary(const backup::BackupResult& result) {
    std::string summary;
    for (const auto& step : backup::BackupSteps()) {
        const StepOutcome outcome = result.outcomes[backup_format::IndexOf(step.item)];
        if (outcome == StepOutcome::NotRun || !step.loggedAs) continue;
        summary += std::string("\r\nBackup ") + LogItemName(*step.loggedAs) + "\t" +
                   ResultText(outcome == StepOutcome::Succeeded) + "\t";
    }
    return summary;
}

Message EndOutlookQuestion(bool itemsOpen) {
    return {
        std::string(itemsOpen ? "Outlook has item windows open, so it was not asked to close."
                              : "Outlook did not close when asked.") +
            "\r\n\r\nWhile Outlook runs, its data files cannot be backed up. Do you want to end "
            "Outlook now?\r\n\r\nWarning: whatever is not saved in Outlook, such as a message "
            "you are writing, is lost. Choose Cancel to keep Outlook running; the backup then "
            "goes on without the data files Outlook holds open.",
        platform::MessageIcon::Exclamation, platform::MessageButtons::OkCancel};
}

Message BackupCompletionMessage(const backup::BackupResult& result,
                                const std::string& archivePath) {
    if (result.outcome == recovery::RunOutcome::Busy) return OtherRunMessage();
    if (result.Written()) {
        std::string text = "The Backup was Completed!\t\t\t\r\n" + BackupSummary(result);
        if (!result.keptArchive.empty())
            text += "\r\n\r\nAn item failed, so the complete backup file " + result.keptArchive +
                    " was kept; this backup was written to " + result.archivePath + ".";
        if (result.check == backup::BackupCheck::Passed)
            text += "\r\n\r\nThe backup file was verified: everything in it reads back intact.";
        text += "\r\n";
        for (const auto& line : backup_format::DescribeContents(result.contents))
            text += "\r\n" + line;
        return {text, MessageIcon::Information};
    }
    const std::string unchanged =
        "\r\nAn earlier backup file of that name, if there was one, is unchanged.";
    if (result.outcome == recovery::RunOutcome::Cancelled)
        return {"The Backup was cancelled: no backup file was written." + unchanged,
                MessageIcon::Information};
    std::string text = (result.check == backup::BackupCheck::Failed
                            ? "The new backup file failed its check and was not "
                              "kept:\r\n"
                            : "The backup file could not be written:\r\n") +
                       archivePath;
    if (!result.blockedFolder.empty())
        text +=
            "\r\nWindows Security's controlled folder access does not let Kestrine write "
            "into " +
            result.blockedFolder +
            ".\r\nTo allow it, open Windows Security, Virus & threat protection, Manage "
            "ransomware protection, and choose \"Allow an app through Controlled folder "
            "access\" for Kestrine; or choose another folder for your backups.";
    else if (!result.error.empty())
        text += "\r\n" + result.error;
    return {text + unchanged, MessageIcon::Critical};
}

BackupFollowUps FollowUpsOf(const backup::BackupResult& result, bool runOutlookSetting,
                            bool openFolderSetting) {
    if (!result.Written()) return {};
    return {runOutlookSetting, openFolderSetting};
}

}  // namespace kestrine::ui
