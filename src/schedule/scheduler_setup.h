#pragma once
// What the scheduled-backup dialog is opened with, and who registers the task.
#include <functional>
#include <string>
#include <vector>

#include "app/policy.h"
#include "outlook/inventory.h"
#include "schedule/task_commands.h"
#include "schedule/task_definition.h"
#include "schedule/task_password.h"

namespace kestrine::schedule {

struct SchedulerSetup {
    std::vector<std::string> profiles;
    std::string appFolder;     // where archives go when no backup folder is set
    std::string settingsPath;  // settings.dat, for the backup folder
    std::string programPath;   // the kestrine.exe the task starts
    // The profile inventory of a profile: which items it offers.
    std::function<outlook::ProfileInventory(const std::string&)> inventoryOf;
    std::string taskName = kSharedTaskName;  // the user's own task
    PasswordProtector protect;               // protects the task's password for the user
    std::string tempFolder;  // where the task's definition is written for schtasks to read
    std::string userId;      // the user the task runs as: a SID, or a name
    Policies policies;       // what an administrator set, read as the dialog opens
};

// Who registers the task: its name, and the protection of its password.
struct TaskOwner {
    std::string taskName = kSharedTaskName;
    PasswordProtector protect;
    std::string userId;
};

}  // namespace kestrine::schedule
