#include "ui/scheduler_model.h"

#include <tuple>

#include "base/path.h"
#include "schedule/command_line.h"
#include "schedule/task_commands.h"
#include "ui/archive_name.h"
#include "ui/scheduler_texts.h"

namespace kestrine::ui {

using namespace schedule;

SchedulerModel OpenScheduler(const std::vector<std::string>& profiles) {
    SchedulerModel model;
    model.profiles = profiles;
    return model;
}

void ChooseProfile(SchedulerModel& model, const std::string& profile, const ItemBoxes& offered,
                   const std::string& proposalFolder) {
    model.profile = profile;
    model.items = offered;
    for (auto& item : model.items) item.ticked = false;
    model.targetFile = base::JoinPath(proposalFolder, ProposalStem(profile) + ".ksx");
}

void SetDaily(SchedulerModel& model, bool daily) {
    model.daily = daily;
    model.days.fill(daily);
}

void SetProtect(SchedulerModel& model, bool protect) {
    model.protect = protect;
    model.password.clear();
    model.password2.clear();
}

platform::FileDialogRequest TargetFileRequest(const SchedulerModel& model,
                                              const std::string& backupFolderSetting,
                                              const std::string& appFolder) {
    return SaveArchiveDialog(
        BackupFolderUnset(backupFolderSetting) ? appFolder : backupFolderSetting,
        ProposalStem(model.profile) + ".ksx");
}

void ChooseTargetFile(SchedulerModel& model, const std::string& chosen) {
    if (!chosen.empty()) model.targetFile = WithArchiveExtension(chosen);
}

AddTaskPlan PlanAddTask(const SchedulerModel& model, const std::string& programPath,
                        const schedule::TaskOwner& owner) {
    using platform::MessageIcon;
    AddTaskPlan plan;
    auto refuse = [&](std::string text, MessageIcon icon) {
        plan.refusal = Message{std::move(text), icon};
        return plan;
    };
    const std::string mask = ItemMask(TickedIn(model.items));
    if (mask.find('1') == std::string::npos)
        return refuse(kNoItemMessage, MessageIcon::Exclamation);
    if (model.targetFile.empty()) return refuse(kNoFileMessage, MessageIcon::Exclamation);
    if (model.protect && model.password.empty() && model.password2.empty())
        return refuse(kNoPasswordMessage, MessageIcon::Critical);
    if (model.protect && model.password != model.password2)
        return refuse(kPasswordsDifferMessage, MessageIcon::Critical);
    auto startTime = TaskStartTime(model.startTime);
    if (!startTime) return refuse(kStartTimeMessage, MessageIcon::Exclamation);

    const std::string password = model.protect ? model.password : "";
    // The password goes protected where it can (TaskPasswordField): its percent signs then never
    // reach the Task Scheduler.
    const std::tuple<const char*, const std::string*, bool> values[] = {
        {"profile name", &model.profile, true},
        {"password", &password, false},
        {"backup file name", &model.targetFile, true},
    };
    for (const auto& [what, value, expanded] : values) {
        if (char c = UncarriedCharacter(*value, expanded))
            return refuse(UncarriedCharacterMessage(what, c), MessageIcon::Exclamation);
    }

    auto field = TaskPasswordField(password, owner.protect);
    if (!field) return refuse(UncarriedCharacterMessage("password", '%'), MessageIcon::Exclamation);
    TaskDefinition& task = plan.task;
    task.name = owner.taskName;
    task.days = model.days;
    task.startTime = *startTime;
    task.userId = owner.userId;
    task.programPath = programPath;
    task.profile = model.profile;
    task.mask = mask;
    task.password = *field;
    task.archive = model.targetFile;
    plan.tail =
        UnattendedTail(plan.task.profile, plan.task.mask, plan.task.password, plan.task.archive);
    return plan;
}

std::optional<Message> RunNowRefusal(const schedule::TaskQuery& scheduled) {
    if (scheduled.queried && !scheduled.exists)
        return Message{kRunNothingMessage, platform::MessageIcon::Exclamation};
    return std::nullopt;
}

}  // namespace kestrine::ui
