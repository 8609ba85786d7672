#include "ui/scheduler_model.h"

#include <algorithm>
#include <tuple>

#include "base/path.h"
#include "schedule/command_line.h"
#include "schedule/task_commands.h"
#include "ui/archive_name.h"
#include "ui/scheduler_texts.h"

namespace kestrine::ui {

using namespace schedule;

SchedulerModel OpenScheduler(const std::vector<std::string>& profiles, const Policies& policies) {
    SchedulerModel model;
    model.profiles = profiles;
    model.policies = policies;
    if (policies.days) model.days = *policies.days;
    model.daily = policies.days && std::ranges::all_of(*policies.days, [](bool on) { return on; });
    if (policies.startTime) model.startTime = *policies.startTime;
    if (policies.requirePassword.value_or(false)) model.protect = true;
    return model;
}

void ChooseProfile(SchedulerModel& model, const std::string& profile, const ItemBoxes& offered,
                   const std::string& proposalFolder) {
    model.profile = profile;
    model.items = offered;
    for (auto& item : model.items) item.ticked = false;
    model.targetFile = base::JoinPath(model.policies.backupFolder.value_or(proposalFolder),
                                      ProposalStem(profile) + ".ksx");
}

void SetDaily(SchedulerModel& model, bool daily) {
    model.daily = daily;
    model.days.fill(daily);
}

void SetProtect(SchedulerModel& model, bool protect) {
    model.protect = protect || model.policies.requirePassword.value_or(false);
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
    if (!chosen.empty())
        model.targetFile = WithArchiveExtension(InPolicyFolder(model.policies, chosen));
}

AddTaskPlan PlanAddTask(const SchedulerModel& model, const std::string& programPath,
                        const schedule::TaskOwner& owner) {
    using platform::MessageIcon;
    AddTaskPlan plan;
    auto refuse = [&](std::string text, MessageIcon icon) {
        plan.refusal = Message{std::move(text), icon};
        return plan;
    };
    const Policies& policies = model.policies;
    const std::string mask = ItemMask(TickedIn(model.items));
    if (mask.find('1') == std::string::npos)
        return refuse(kNoItemMessage, MessageIcon::Exclamation);
    if (model.targetFile.empty()) return refuse(kNoFileMessage, MessageIcon::Exclamation);
    if (model.protect && model.password.empty() && model.password2.empty())
        return refuse(kNoPasswordMessage, MessageIcon::Critical);
    if (model.protect && model.password != model.password2)
        return refuse(kPasswordsDifferMessage, MessageIcon::Critical);
    if (policies.requirePassword.value_or(false) && !model.protect)
        return refuse(kPasswordRequiredMessage, MessageIcon::Exclamation);
    auto startTime = TaskStartTime(policies.startTime.value_or(model.startTime));
    if (!startTime) return refuse(kStartTimeMessage, MessageIcon::Exclamation);

    const std::string password = model.protect ? model.password : "";
    const std::string archive = InPolicyFolder(policies, model.targetFile);
    // The password goes protected where it can (TaskPasswordField): its percent signs then never
    // reach the Task Scheduler.
    const std::tuple<const char*, const std::string*, bool> values[] = {
        {"profile name", &model.profile, true},
        {"password", &password, false},
        {"backup file name", &archive, true},
    };
    for (const auto& [what, value, expanded] : values) {
        if (char c = UncarriedCharacter(*value, expanded))
            return refuse(UncarriedCharacterMessage(what, c), MessageIcon::Exclamation);
    }

    auto field = TaskPasswordField(password, owner.protect);
    if (!field) return refuse(UncarriedCharacterMessage("password", '%'), MessageIcon::Exclamation);
    TaskDefinition& task = plan.task;
    task.name = owner.taskName;
    task.days = policies.days.value_or(model.days);
    task.startTime = *startTime;
    task.userId = owner.userId;
    task.programPath = programPath;
    task.profile = model.profile;
    task.mask = mask;
    task.password = *field;
    task.archive = archive;
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
