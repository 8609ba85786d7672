#pragma once
// Registering and removing the weekly task through the system's schtasks.exe, and what the
// scheduled-backup dialog needs to know of the profiles.
#include <array>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "platform/messages.h"
#include "schedule/scheduler_model.h"
#include "ui/main_window_model.h"

namespace kestrine::schedule {

struct TaskOutcome {
    bool done = false;  // the create command succeeded (a removal is always done)
    std::string message;
    platform::MessageIcon icon = platform::MessageIcon::Information;
};

// Runs `commands` (end, delete, create) one after the other, each to its end; the outcome is the
// create command's: the task exists only when it succeeded.
TaskOutcome AddTask(const std::vector<std::string>& commands);
// Ends and deletes the task; the commands fail harmlessly when there is no task.
TaskOutcome RemoveTask();

// The items the profile inventory offers for `profile`, worked out on a copy of the start-up
// facts: the main window's item locations stay those of its own profile.
std::array<ui::ItemBox, 9> OfferedItems(const AppState& facts, const std::string& profile);

// What the dialog opens with in the running program: the profiles and item locations of `facts`
// (which must outlive the dialog), settings.dat at `settingsPath`, and the running executable as
// the program the task starts.
SchedulerSetup SchedulerSetupFor(const AppState& facts, const std::string& settingsPath);

}  // namespace kestrine::schedule
