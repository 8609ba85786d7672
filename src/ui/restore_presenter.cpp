#include "ui/restore_presenter.h"

#include <array>
#include <cstdio>
#include <iterator>

#include "app/log_lines.h"
#include "backup_format/backup_contents.h"
#include "base/system_error.h"
#include "base/text.h"
#include "restore/restore_rows.h"
#include "ui/archive_name.h"
#include "ui/item_texts.h"

namespace kestrine::ui {

namespace {

using backup_format::Choice;
using backup_format::Item;
using platform::MessageIcon;

struct RowLook {
    const char* caption;    // the step text while the row runs
    int barAfter = 0;       // added after the row, run or not
    int barAfterAgain = 0;  // a second step, added on its own
};

const RowLook& LookOf(Item item) {
    static constexpr std::array<RowLook, backup_format::kItemCount> kLooks = {{
        {.caption = "Copying Config...", .barAfter = 10},
        {.caption = "Copying Data Files (PST/OST Files)..."},
        {.caption = "Copying Rules...", .barAfter = 10, .barAfterAgain = 15},
        {.caption = "Copying Accounts...", .barAfter = 10},
        {.caption = "Copying Signatures...", .barAfter = 10},
        {.caption = "Copying Stationeries...", .barAfter = 5},
        {.caption = "Copying Address Book...", .barAfter = 5},
        {.caption = "Copying Options...", .barAfter = 5},
        {.caption = "Copying Templates...", .barAfter = 5},
        {.caption = "Copying Setting...", .barAfter = 5},
        {.caption = "Copying Contacts Folder..."},
    }};
    return kLooks[backup_format::IndexOf(item)];
}

}  // namespace

platform::FileDialogRequest OpenBackupDialog() {
    platform::FileDialogRequest dialog;
    dialog.save = false;
    dialog.title = "Restore Date from a backup file";
    dialog.filter = kArchiveFileFilter;
    return dialog;
}

void ClearRestoreTab(RestoreTabModel& tab) {
    for (size_t i = 0; i < backup_format::kChoiceCount; ++i) {
        const auto choice = static_cast<Choice>(i);
        tab.items[i] = {ItemCaption(choice), RestoreItemTooltip(choice), false, false};
    }
    tab.sourceFileText.clear();
    tab.noteText.clear();
    tab.backupInfoText.clear();
    tab.backupOpen = false;
}

std::string BackupInfoText(const backup_format::ManifestHeader& h) {
    return "Computer:" + h.computer + "\r\nUser:" + h.logonUser + "\r\nBackup Time:" + h.time +
           "\r\nProfile:" + h.identity + "\r\nOutlook Version:" + h.outlookVersion;
}

std::optional<Message> PresentOpenedBackup(RestoreTabModel& tab, const std::string& path,
                                           const restore::OpenedBackup& opened) {
    tab.backupOpen = opened.status == restore::OpenStatus::Opened;
    if (opened.status == restore::OpenStatus::WrongPassword)
        return Message{"Incorect Password or Invalid backup file!", MessageIcon::Information};
    if (opened.status == restore::OpenStatus::Altered)
        return Message{
            "This backup file has been altered since it was made: some of its parts are "
            "protected by its password and others are not. Nothing will be restored "
            "from it.",
            MessageIcon::Critical};
    tab.sourceFileText = path;
    tab.backupInfoText = BackupInfoText(opened.manifest.header);
    // What the backup holds and cannot hold, when it says (backups made before it said do not).
    if (const auto contents = backup_format::DecodeContents(opened.manifest.contents)) {
        tab.backupInfoText += "\r\n";
        for (const auto& line : backup_format::DescribeContents(*contents))
            tab.backupInfoText += "\r\n" + line;
    }
    tab.noteText = opened.manifest.header.note;
    if (opened.status != restore::OpenStatus::Opened)
        return Message{"Invalid backup file", MessageIcon::Critical};
    for (const backup_format::ItemInfo& info : backup_format::kItems)
        if (info.restoredAs && backup_format::ItemPresent(opened.manifest.itemFlags, info.item))
            tab.items[backup_format::IndexOf(*info.restoredAs)].enabled = true;
    return std::nullopt;
}

void RecordOpenedBackup(OpenedArchive& archive, const std::string& path,
                        const restore::OpenedBackup& opened) {
    if (opened.status == restore::OpenStatus::WrongPassword ||
        opened.status == restore::OpenStatus::Altered)
        return;
    archive.sourceFile = path;
    archive.itemFlags = opened.manifest.itemFlags;
    if (opened.status != restore::OpenStatus::Opened) return;
    for (const backup_format::ItemInfo& info : backup_format::kItems)
        if (backup_format::ItemPresent(archive.itemFlags, info.item))
            archive.entries[backup_format::IndexOf(info.item)] =
                opened.manifest.entries[backup_format::IndexOf(info.item)];
    archive.dataFileStores = opened.manifest.dataFileStores;
    archive.header = opened.manifest.header;
}

std::optional<Message> RefuseRestore(const RestoreTabModel& tab) {
    if (!tab.backupOpen) return Message{"Invalid backup file.", MessageIcon::Critical};
    const backup_format::Choices ticked = TickedIn(tab.items);
    for (bool t : ticked)
        if (t) return std::nullopt;
    return Message{"Please select at least one item.", MessageIcon::Exclamation};
}

Message NothingToUndoMessage() {
    return {"There is no restore to undo.", MessageIcon::Information};
}

Message ConfirmUndoMessage() {
    return {
        "The profile and the files that the last restore replaced will be put back as they "
        "were before it. Mail that arrived in the restored data files since then will be "
        "lost.\r\n\r\nDo you want to countinue?",
        MessageIcon::Exclamation, platform::MessageButtons::OkCancel};
}

namespace {

std::string KeptText(const std::vector<recovery::KeptFile>& kept) {
    std::string text;
    for (const auto& k : kept)
        text += "\r\n\r\n" + k.target +
                (k.changedSinceRestore ? " changed after the restore and is kept as "
                                       : " was in the way and is kept as ") +
                k.keptAs;
    return text;
}

std::string NotPutBackText(const std::vector<recovery::NotPutBack>& notPutBack) {
    std::string text;
    for (const auto& n : notPutBack)
        text += "\r\n    " + n.target +
                (n.oldCopy.empty() ? " (it could not be removed)"
                                   : " (its old content is in " + n.oldCopy + ")");
    return text;
}

}  // namespace

Message UndoCompletionMessage(const restore::UndoResult& undone) {
    if (undone.outcome == recovery::RunOutcome::Busy) return OtherRunMessage();
    if (undone.back.ok)
        return {"The last restore was undone." + KeptText(undone.back.kept),
                MessageIcon::Information};
    if (undone.back.refused)
        return {
            "The last restore could not be undone because a file it replaced is open in "
            "Outlook or another program. Nothing was changed. Close Outlook and try again.",
            MessageIcon::Exclamation};
    Message message{
        "The last restore could not be undone completely. Kestrine will finish putting it "
        "back the next time it starts.",
        MessageIcon::Critical};
    if (!undone.back.notPutBack.empty())
        message.text +=
            "\r\n\r\nWhat could not be put back yet:" + NotPutBackText(undone.back.notPutBack);
    message.text += KeptText(undone.back.kept);
    return message;
}

std::optional<Message> RecoveredAtStartMessage(const recovery::RecoveryOutcome& recovered) {
    if (recovered.sets == 0) return std::nullopt;
    if (recovered.ok)
        return Message{
            "A restore was interrupted before it finished (Kestrine was ended or the "
            "computer was switched off). Everything it had changed has been put back "
            "as it was before." +
                KeptText(recovered.kept),
            MessageIcon::Information};
    if (!recovered.notPutBack.empty())
        return Message{
            "A restore was interrupted before it finished, and Kestrine could not put back "
            "everything it had changed:" +
                NotPutBackText(recovered.notPutBack) + KeptText(recovered.kept) +
                "\r\n\r\nDo you want to keep the profile as it is now? Backups will go on, "
                "and the files named above stay where they are. Choose No to try again the "
                "next time Kestrine starts; until then no backup is made.",
            MessageIcon::Critical, platform::MessageButtons::YesNo};
    return Message{
        "A restore was interrupted before it finished, and not everything it had "
        "changed could be put back yet. Close Outlook and start Kestrine again." +
            KeptText(recovered.kept),
        MessageIcon::Critical};
}

Message KeptAsItIsMessage(bool ok) {
    if (ok) return {"The profile is kept as it is now. Backups go on.", MessageIcon::Information};
    return {
        "Kestrine could not record that the profile is to be kept as it is. It will ask again "
        "the next time it starts.",
        MessageIcon::Critical};
}

std::string SizeText(uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    const char* units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1024;
    size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, value < 10 ? "%.1f %s" : "%.0f %s", value, units[unit]);
    return text;
}

namespace {

// One line of the list in plain words.
std::string ChangeText(const restore::PlannedChange& change, const std::string& profile) {
    switch (change.item) {
        case Item::Configuration:
            return "the configuration of the profile " + profile;
        case Item::Accounts:
            return "the e-mail accounts of the profile " + profile;
        case Item::Options:
            return "Outlook's options";
        default:
            break;
    }
    std::string kind;
    switch (change.item) {
        case Item::DataFiles:
            kind = "data file ";
            break;
        case Item::Rules:
            kind = "rules file ";
            break;
        case Item::AddressBook:
            kind = "address book ";
            break;
        case Item::Signatures:
            kind = "signature ";
            break;
        case Item::Stationery:
            kind = "stationery ";
            break;
        case Item::Templates:
            kind = "template ";
            break;
        case Item::Preferences:
            kind = "preferences file ";
            break;
        case Item::Contacts:
            kind = "contacts file ";
            break;
        default:
            break;
    }
    return kind + change.name + " (" + SizeText(change.size) + ")";
}

}  // namespace

Message ConfirmRestoreMessage(const std::vector<restore::PlannedChange>& changes,
                              const backup_format::ManifestHeader& origin,
                              const std::string& thisComputer, const std::string& thisUser,
                              const std::string& targetProfile) {
    Message message{std::string(kConfirmRestoreFirstLine), MessageIcon::Information,
                    platform::MessageButtons::OkCancel};
    std::string replaced, added;
    for (const auto& change : changes)
        (change.replaces ? replaced : added) += "\r\n    " + ChangeText(change, targetProfile);
    if (!replaced.empty()) message.text += "\r\n\r\nWill be replaced:" + replaced;
    if (!added.empty()) message.text += "\r\n\r\nWill be added:" + added;
    message.text += "\r\n\r\nThe backup was made on the computer " + origin.computer +
                    " by the user " + origin.logonUser + " (" + origin.time + ").";
    const bool otherComputer = !base::EqualsNoCase(origin.computer, thisComputer);
    const bool otherUser = !base::EqualsNoCase(origin.logonUser, thisUser);
    if (otherComputer || otherUser) {
        message.icon = MessageIcon::Exclamation;
        message.text += std::string("\r\nWarning: this backup comes from ") +
                        (otherComputer && otherUser ? "another computer and another user"
                         : otherComputer            ? "another computer"
                                                    : "another user") +
                        ", not from " + thisUser + " on " + thisComputer + ".";
    }
    message.text +=
        "\r\n\r\nYou can undo the restore later with File > Undo Last Restore."
        "\r\n\r\nDo you want to countinue?";
    return message;
}

restore::RestoreJob RestoreJobFor(const RestoreTabModel& tab, const OpenedArchive& archive) {
    restore::RestoreJob job;
    job.targetProfile = tab.targetProfile;
    job.ticked = TickedIn(tab.items);
    job.sourceFile = archive.sourceFile;
    job.itemFlags = archive.itemFlags;
    job.entries = archive.entries;
    job.dataFileStores = archive.dataFileStores;
    return job;
}

void PresentRestoreStarted(ProgressModel& progress) {
    progress.fileText = "Restore Outlook Data....";
    progress.busyPointer = true;
    progress.panelVisible = true;
    progress.Advance(10);
}

void PresentRestoreStep(ProgressModel& progress, Item item) {
    progress.stepText = LookOf(item).caption;
}

void PresentRestoreStepDone(ProgressModel& progress, Item item, backup_format::StepOutcome) {
    if (LookOf(item).barAfter != 0) progress.Advance(LookOf(item).barAfter);
    if (LookOf(item).barAfterAgain != 0) progress.Advance(LookOf(item).barAfterAgain);
}

void PresentRestoreProgress(ProgressModel& progress, const backup_format::Progress& facts) {
    progress.fileText = "Unzip File " + facts.file;
    progress.bytesDone = facts.bytesDone;
    progress.bytesExpected = facts.bytesExpected;
}

void PresentRestoreFinished(ProgressModel& progress) {
    progress.busyPointer = false;
    progress.value = progress.max;
    progress.stepText = "Operation complete!";
    progress.panelVisible = false;
    progress.value = 0;
}

std::string RestoreSummary(const restore::RestoreResult& result) {
    std::string summary;
    for (const auto& row : result.rows) {
        std::optional<Choice> loggedAs;
        for (const auto& r : restore::RestoreRows())
            if (r.item == row.item) loggedAs = r.loggedAs;
        if (!loggedAs) continue;
        std::string label = std::string("Restore ") + LogItemName(*loggedAs);
        // The signatures and templates lines have two tabs; a failed signatures line carries a
        // blank after its name.
        if (row.item == Item::Signatures && !row.ok()) label += " ";
        const bool wide = row.item == Item::Signatures || row.item == Item::Templates;
        summary +=
            "\r\n" + label + (wide ? "\t\t" : "\t") + (row.ok() ? "Succeeded!" : "Fail!") + "\t";
    }
    return summary;
}

namespace {

// Why a restore that did not complete changed nothing, in plain words.
std::string TakenBackText(const restore::RestoreResult& result) {
    using restore::TakenBackBecause;
    std::string why;
    switch (result.takenBack) {
        case TakenBackBecause::RowFailed: {
            // The row's own cause when it knows one; the likely one only when it does not.
            const std::string& cause = result.rows.back().status.message();
            why = restore::RowName(result.rows.back().item) + " could not be restored" +
                  (cause.empty() ? " (a file may be open in Outlook or another program)."
                                 : ". " + cause);
            break;
        }
        case TakenBackBecause::Cancelled:
            why = "The restore was cancelled.";
            break;
        case TakenBackBecause::NoUndoSet:
            why = "What the restore would replace could not be saved first.";
            break;
        case TakenBackBecause::EarlierRestore:
            why = "An earlier restore that was ended midway could not be put back yet.";
            break;
        case TakenBackBecause::EndNotRecorded:
            why = result.endNotWritten.Said()
                      ? "Its end could not be written to the disk, so it was taken back. " +
                            base::Explained("Windows said", result.endNotWritten)
                      : "Its end could not be written to the disk (the disk may be full), so it "
                        "was taken back.";
            break;
        case TakenBackBecause::NoRoom:
            why = result.noRoom;
            break;
        case TakenBackBecause::Nothing:
            break;
    }
    if (result.takeBackFailed)
        return "The Restore was not completed. " + why +
               "\r\n\r\nNot every change could be put back yet; Kestrine will put the rest back "
               "the next time it starts. Close Outlook before that.";
    return "The Restore was not completed and nothing was changed. " + why;
}

}  // namespace

Message RestoreCompletionMessage(const restore::RestoreResult& result) {
    if (result.outcome == recovery::RunOutcome::Busy) return OtherRunMessage();
    if (result.takenBack != restore::TakenBackBecause::Nothing) {
        Message message{TakenBackText(result), MessageIcon::Exclamation};
        if (!result.rows.empty()) message.text += "\r\n" + RestoreSummary(result);
        return message;
    }
    const char* head = result.outcome == recovery::RunOutcome::Cancelled
                           ? "The Restore was stopped before its last item."
                           : "The Restore was Completed!";
    Message message{std::string(head) + "\t\t\t\r\n" + RestoreSummary(result),
                    MessageIcon::Information};
    // A failed item could not put every old file back: the user must know where it is.
    for (const auto& kept : result.keptOldFiles) {
        message.text += "\r\n\r\n" + kept.target +
                        " could not be put back as it was; the old file is now " + kept.oldCopy;
        message.icon = MessageIcon::Exclamation;
    }
    return message;
}

}  // namespace kestrine::ui
