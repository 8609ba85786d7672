#include "schedule/task_scheduler.h"

#include "outlook/inventory.h"
#include "platform/program_run.h"
#include "schedule/task_commands.h"

namespace kestrine::schedule {

namespace {

platform::ProgramRun RunSchtasks(const std::string& commandLine) {
    return platform::RunHiddenAndWait(platform::SystemFolder() + "\\schtasks.exe", commandLine);
}

}  // namespace

TaskOutcome AddTask(const std::vector<std::string>& commands) {
    platform::ProgramRun last;
    for (const auto& command : commands) last = RunSchtasks(command);
    TaskOutcome outcome;
    outcome.done = last.started && last.exitCode == 0;
    if (outcome.done) {
        outcome.message = ScheduledMessage();
    } else {
        outcome.message = NotScheduledMessage(last.started, last.exitCode, last.output);
        outcome.icon = platform::MessageIcon::Critical;
    }
    return outcome;
}

TaskOutcome RemoveTask() {
    RunSchtasks(EndTaskCommand());
    RunSchtasks(DeleteTaskCommand());
    return {true, DeletedMessage(), platform::MessageIcon::Information};
}

std::array<ui::ItemBox, 9> OfferedItems(const AppState& facts, const std::string& profile) {
    AppState copy = facts;
    ui::BackupTabModel tab;
    tab.sourceProfile = profile;
    outlook::RunProfileInventory(copy, tab, outlook::InventoryOptions{});
    return tab.items;
}

SchedulerSetup SchedulerSetupFor(const AppState& facts, const std::string& settingsPath) {
    return {facts.ProfileNames, facts.AppFolder, settingsPath, platform::RunningProgramPath(),
            [&facts](const std::string& profile) { return OfferedItems(facts, profile); }};
}

}  // namespace kestrine::schedule
