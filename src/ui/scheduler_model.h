#pragma once
// The scheduled-backup dialog as a plain model: the profile, items, days, start time, archive and
// password of the weekly task, and the checks of "Add Task to Scheduler". It keeps no state between
// openings: every opening starts from OpenScheduler. The Win32 dialog only mirrors it.
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/messages.h"
#include "schedule/scheduler_setup.h"
#include "schedule/task_scheduler.h"
#include "ui/main_window_model.h"
#include "ui/message.h"

namespace kestrine::ui {

struct SchedulerModel {
    std::vector<std::string> profiles;  // `cbSource`
    std::string profile;                // the chosen one
    ItemBoxes items;                    // `backupitem`
    std::string startTime = "9:00";     // `cmbStartTime`, as typed
    std::array<bool, 7> days{};         // Monday .. Sunday
    bool daily = false;                 // "Run daily"
    std::string targetFile;             // TaskTargetFile, shown in `txtTargetFile`
    bool protect = false;               // `ifprotect`
    std::string password;
    std::string password2;
    // What an administrator set: shown greyed, and what the task gets whatever the boxes say.
    Policies policies;
};

// The dialog as it opens, before its first profile is chosen (ChooseProfile with profiles[0]):
// the days, start time and protection a policy sets already in place.
SchedulerModel OpenScheduler(const std::vector<std::string>& profiles,
                             const Policies& policies = {});

// Choosing a profile: the items as the profile inventory offers them, all cleared; the proposed
// archive "<folder>\kestrine-<profile>.ksx" (no date: each run may add one).
void ChooseProfile(SchedulerModel& model, const std::string& profile, const ItemBoxes& offered,
                   const std::string& proposalFolder);
// "Run daily" checks or clears all seven days.
void SetDaily(SchedulerModel& model, bool daily);
// Protection switched either way empties both password boxes.
void SetProtect(SchedulerModel& model, bool protect);

// The save dialog of the archive path: the initial folder is the `backupfolder` setting as stored
// (the application folder when it is unset), the proposal "kestrine-<profile>.ksx" with no date
// (each run may add its own).
platform::FileDialogRequest TargetFileRequest(const SchedulerModel& model,
                                              const std::string& backupFolderSetting,
                                              const std::string& appFolder);
// The path chosen in that dialog becomes the task's archive, with ".ksx" when it lacked it (and in
// the administrator's folder when a policy sets one).
void ChooseTargetFile(SchedulerModel& model, const std::string& chosen);

struct AddTaskPlan {
    std::optional<Message> refusal;  // shown; nothing runs
    schedule::TaskDefinition task;   // what is registered
    std::string tail;                // the command-line tail the task will pass
};

// "Add Task to Scheduler": the refusals in order (no item, no archive, no password, passwords that
// differ, a start time that is not a time of day, a character the task cannot carry unchanged in
// the profile, the password or the archive path, no password where a policy requires one),
// otherwise the task's definition, with what the policies set. The password
// goes into the task protected by `owner.protect`.
AddTaskPlan PlanAddTask(const SchedulerModel& model, const std::string& programPath,
                        const schedule::TaskOwner& owner = {});

// "Run Task Now" while the Task Scheduler said no task exists: nothing to start.
std::optional<Message> RunNowRefusal(const schedule::TaskQuery& scheduled);

}  // namespace kestrine::ui
