#include "backup/backup_steps.h"

namespace kestrine::backup {

const std::array<BackupStep, kItemCount>& BackupSteps() {
    // The configuration goes with every item that needs the profile's key; the rules go with the
    // data files. Neither has a box of its own, and the interactive run logs neither.
    static const std::array<BackupStep, kItemCount> steps = {{
        {Item::Config, {0, 1, 4}, true, "Copying Config...", nullptr, "Accounts Settings", 0, 0},
        {Item::Datas,
         {0},
         true,
         "Copying Data Files (Pst Files)...",
         "Personal Folders",
         "Personal Folders",
         5,
         15},
        {Item::Rules, {0}, true, "Copying Rules...", nullptr, nullptr, 0, 10},
        {Item::Accounts,
         {1},
         true,
         "Copying Accounts...",
         "Accounts Settings",
         "Accounts Settings",
         0,
         20},
        {Item::Signatures, {2}, false, "Copying Signatures...", "Signatures", "Signatures", 0, 10},
        {Item::Stationery,
         {3},
         false,
         "Copying Stationeries...",
         "Stationeries",
         "Stationeries",
         0,
         10},
        {Item::Pab,
         {4},
         true,
         "Copying Address Book...",
         "Personal Address Book",
         "Personal Address Book",
         0,
         5},
        {Item::Configsetting,
         {5},
         false,
         "Copying Options...",
         "Options Settings",
         "Options Settings",
         0,
         5},
        {Item::Templates, {6}, false, "Copying Templates...", "Templates", "Templates", 0, 5},
        {Item::Setting, {7}, false, "Copying Setting...", "Preferences", "Preferences", 0, 0},
        {Item::Contacts,
         {8},
         false,
         "Copying Contacts Folder...",
         "Contacts Folder",
         "Contacts Folder",
         0,
         10},
    }};
    return steps;
}

bool StepRuns(const BackupStep& step, const ChosenBoxes& chosen) {
    for (int box : step.boxes) {
        if (box >= 0 && box < kBoxCount && chosen[static_cast<size_t>(box)]) return true;
    }
    return false;
}

bool AnyChosen(const ChosenBoxes& chosen) {
    for (bool c : chosen) {
        if (c) return true;
    }
    return false;
}

ChosenBoxes ChosenFromBoxes(const std::array<ui::ItemBox, kBoxCount>& boxes) {
    ChosenBoxes chosen{};
    for (size_t i = 0; i < boxes.size(); ++i) chosen[i] = boxes[i].ticked;
    return chosen;
}

std::string ItemFlagsFrom(const std::vector<StepOutcome>& outcomes) {
    std::string flags;
    for (auto outcome : outcomes) flags += outcome == StepOutcome::Succeeded ? '1' : '0';
    return flags;
}

std::string SummaryEntry(const std::string& itemName, bool succeeded) {
    return "\r\nBackup " + itemName + "\t" + (succeeded ? "Succeeded!" : "Fail!") + "\t";
}

std::string CompletionMessage(const std::string& summary) {
    return "The Backup was Completed!\t\t\t\r\n" + summary;
}

std::string WriteFailedMessage(const std::string& archivePath, const std::string& cause) {
    std::string text = "The backup file could not be written:\r\n" + archivePath;
    if (!cause.empty()) text += "\r\n" + cause;
    text += "\r\nAn earlier backup file of that name, if there was one, is unchanged.";
    return text;
}

std::string BackupNotCompletedLine(const std::string& now, const std::string& profile) {
    return now + " Backup Profile " + profile + " Data was not Completed!\r";
}

void AdvanceBeforeStep(ui::ProgressModel& progress, const BackupStep& step, bool runs) {
    if (runs && step.progressWhenRun != 0) progress.Advance(step.progressWhenRun);
}

void AdvanceAfterStep(ui::ProgressModel& progress, const BackupStep& step) {
    if (step.progressAfter != 0) progress.Advance(step.progressAfter);
}

int ExitStatusFor(bool archiveWritten, const std::vector<StepOutcome>& outcomes) {
    if (!archiveWritten) return 2;
    for (auto outcome : outcomes) {
        if (outcome == StepOutcome::Failed) return 1;
    }
    return 0;
}

}  // namespace kestrine::backup
