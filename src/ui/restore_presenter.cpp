#include "ui/restore_presenter.h"

#include <array>

#include "app/log_lines.h"
#include "restore/restore_rows.h"
#include "ui/archive_name.h"
#include "ui/item_texts.h"

namespace kestrine::ui {

namespace {

using archive::Choice;
using archive::Item;
using platform::MessageIcon;

struct RowLook {
    const char* caption;    // the step text while the row runs
    int barAfter = 0;       // added after the row, run or not
    int barAfterAgain = 0;  // a second step, added on its own
};

const RowLook& LookOf(Item item) {
    static constexpr std::array<RowLook, archive::kItemCount> kLooks = {{
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
    return kLooks[archive::IndexOf(item)];
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
    for (size_t i = 0; i < archive::kChoiceCount; ++i) {
        const auto choice = static_cast<Choice>(i);
        tab.items[i] = {ItemCaption(choice), RestoreItemTooltip(choice), false, false};
    }
    tab.sourceFileText.clear();
    tab.noteText.clear();
    tab.backupInfoText.clear();
}

std::string BackupInfoText(const archive::ManifestHeader& h) {
    return "Computer:" + h.computer + "\r\nUser:" + h.logonUser + "\r\nBackup Time:" + h.time +
           "\r\nProfile:" + h.identity + "\r\nOutlook Version:" + h.outlookVersion;
}

std::optional<Message> ShowOpenedBackup(RestoreTabModel& tab, const std::string& path,
                                        const restore::OpenedBackup& opened) {
    if (opened.status == restore::OpenStatus::WrongPassword)
        return Message{"Incorect Password or Invalid backup file!", MessageIcon::Information};
    tab.sourceFileText = path;
    tab.backupInfoText = BackupInfoText(opened.manifest.header);
    tab.noteText = opened.manifest.header.note;
    if (opened.status != restore::OpenStatus::Opened)
        return Message{"Invalid backup file", MessageIcon::Critical};
    for (const archive::ItemInfo& info : archive::kItems)
        if (info.restoredAs && archive::ItemPresent(opened.manifest.itemFlags, info.item))
            tab.items[archive::IndexOf(*info.restoredAs)].enabled = true;
    return std::nullopt;
}

void RecordOpenedBackup(AppState& state, const std::string& path,
                        const restore::OpenedBackup& opened) {
    state.NoSourceFile = opened.status != restore::OpenStatus::Opened;
    if (opened.status == restore::OpenStatus::WrongPassword) return;
    state.SourceFile = path;
    state.ItemFlags = opened.manifest.itemFlags;
    if (state.NoSourceFile) return;
    for (const archive::ItemInfo& info : archive::kItems)
        if (archive::ItemPresent(state.ItemFlags, info.item))
            state.ItemEntries[archive::IndexOf(info.item)] =
                opened.manifest.entries[archive::IndexOf(info.item)];
    state.DataFileStores = opened.manifest.dataFileStores;
}

std::optional<Message> RefuseRestore(bool noSourceFile, const RestoreTabModel& tab) {
    if (noSourceFile) return Message{"Invalid backup file.", MessageIcon::Critical};
    const archive::Choices ticked = TickedIn(tab.items);
    for (bool t : ticked)
        if (t) return std::nullopt;
    return Message{"Please select at least one item.", MessageIcon::Exclamation};
}

Message ConfirmRestoreMessage() {
    return {
        "Your current Email and News messages will be replaced with the messages from the "
        "selected backup file.\r\n\r\nDo you want to countinue?",
        MessageIcon::Information, platform::MessageButtons::OkCancel};
}

restore::RestoreJob RestoreJobFor(const RestoreTabModel& tab, const AppState& state) {
    restore::RestoreJob job;
    job.targetProfile = tab.targetProfile;
    job.ticked = TickedIn(tab.items);
    job.sourceFile = state.SourceFile;
    job.itemFlags = state.ItemFlags;
    job.entries = state.ItemEntries;
    job.dataFileStores = state.DataFileStores;
    return job;
}

void ShowRestoreStarted(ProgressModel& progress) {
    progress.fileText = "Restore Outlook Data....";
    progress.busyPointer = true;
    progress.panelVisible = true;
    progress.Advance(10);
}

void ShowRestoreStep(ProgressModel& progress, Item item) {
    progress.stepText = LookOf(item).caption;
}

void ShowRestoreStepDone(ProgressModel& progress, Item item, archive::StepOutcome) {
    if (LookOf(item).barAfter != 0) progress.Advance(LookOf(item).barAfter);
    if (LookOf(item).barAfterAgain != 0) progress.Advance(LookOf(item).barAfterAgain);
}

void ShowRestoreProgress(ProgressModel& progress, const archive::Progress& facts) {
    progress.fileText = "Unzip File " + facts.file;
    progress.bytesDone = facts.bytesDone;
    progress.bytesExpected = facts.bytesExpected;
}

void ShowRestoreFinished(ProgressModel& progress) {
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
        if (row.item == Item::Signatures && !row.ok) label += " ";
        const bool wide = row.item == Item::Signatures || row.item == Item::Templates;
        summary +=
            "\r\n" + label + (wide ? "\t\t" : "\t") + (row.ok ? "Succeeded!" : "Fail!") + "\t";
    }
    return summary;
}

Message RestoreCompletionMessage(const restore::RestoreResult& result) {
    if (result.busy) return OtherRunMessage();
    const char* head = result.cancelled ? "The Restore was stopped before its last item."
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
