#pragma once
// The fixed order of a backup: eleven steps, one per archive item, shared by the interactive and
// the unattended run, and the pure pieces of a run (which steps run, the item flags, the run
// summary, the progress bar, the exit status). Nothing here touches the operating system.
#include <array>
#include <string>
#include <vector>

#include "archive/manifest.h"
#include "ui/main_window_model.h"

namespace kestrine::backup {

// The eleven archive items, in the order of the item flag string.
using archive::Item;
inline constexpr int kItemCount = archive::kArchiveItemCount;
inline constexpr int kBoxCount = 9;

// The nine boxes of the backup tab (or the nine positions of the unattended item mask).
using ChosenBoxes = std::array<bool, kBoxCount>;

struct BackupStep {
    Item item;
    std::vector<int> boxes;     // the step runs when any of these boxes is chosen
    bool takesProfile;          // the handler gets the profile name
    const char* statusCaption;  // `Label1` while the step runs
    const char* itemName;       // name in the interactive summary and log, or nullptr
    const char* autoItemName;   // name in the unattended log, or nullptr
    int progressWhenRun;        // added before the handler, only when the step runs
    int progressAfter;          // added after the step, run or not
};

// The steps in the order they run.
const std::array<BackupStep, kItemCount>& BackupSteps();

bool StepRuns(const BackupStep& step, const ChosenBoxes& chosen);
bool AnyChosen(const ChosenBoxes& chosen);
ChosenBoxes ChosenFromBoxes(const std::array<ui::ItemBox, kBoxCount>& boxes);

// The result of one step: not run, or run with the handler's result.
enum class StepOutcome { NotRun, Succeeded, Failed };

// "1" for a step that ran and succeeded, "0" otherwise; one character per step.
std::string ItemFlagsFrom(const std::vector<StepOutcome>& outcomes);

// One summary entry: CR LF, "Backup " item name, TAB, "Succeeded!" or "Fail!", TAB.
std::string SummaryEntry(const std::string& itemName, bool succeeded);
// The completion message: "The Backup was Completed!", three TABs, CR LF, the summary.
std::string CompletionMessage(const std::string& summary);
// The message of a run whose archive could not be written; names the archive and the cause.
std::string WriteFailedMessage(const std::string& archivePath, const std::string& cause);
// The log's end line of a run that wrote no archive: *now* " Backup Profile " p " Data was not
// Completed!" and CR, the same shape as the end line of a completed run.
std::string BackupNotCompletedLine(const std::string& now, const std::string& profile);

// Progress bar arithmetic of the interactive run.
void AdvanceBeforeStep(ui::ProgressModel& progress, const BackupStep& step, bool runs);
void AdvanceAfterStep(ui::ProgressModel& progress, const BackupStep& step);

// Exit status of an unattended run: 0 archive written and every step that ran succeeded, 1 archive
// written but a step failed, 2 no archive.
int ExitStatusFor(bool archiveWritten, const std::vector<StepOutcome>& outcomes);

}  // namespace kestrine::backup
