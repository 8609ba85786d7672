#pragma once
// The fixed order of a backup: eleven steps, one per backup item, shared by the interactive and
// the unattended run, with the choices that make each step run and the item lines it logs.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "backup_format/items.h"
#include "backup_format/run_observer.h"

namespace kestrine::backup {

using backup_format::Choice;
using backup_format::Choices;
using backup_format::Item;
using backup_format::StepOutcome;

struct BackupStep {
    Item item;
    std::vector<Choice> chosenBy;  // the step runs when any of these items is chosen
    // The item line that the interactive run logs for the step, and the unattended run's.
    std::optional<Choice> loggedAs{};
    std::optional<Choice> unattendedLoggedAs{};
};

// The steps in the order they run, which is the order of the item flag string.
const std::array<BackupStep, backup_format::kItemCount>& BackupSteps();

bool StepRuns(const BackupStep& step, const Choices& chosen);
bool AnyChosen(const Choices& chosen);

// "1" for a step that ran and succeeded, "0" otherwise; one character per step.
std::string ItemFlagsFrom(const std::array<StepOutcome, backup_format::kItemCount>& outcomes);

}  // namespace kestrine::backup
