#include "ui/win/scheduler_dialog.h"

#include "app/settings.h"
#include "app/settings_keys.h"
#include "platform/file_stream.h"
#include "platform/messages.h"
#include "platform/system.h"
#include "schedule/task_commands.h"
#include "schedule/task_definition.h"
#include "schedule/task_scheduler.h"
#include "ui/archive_name.h"
#include "ui/backup_presenter.h"
#include "ui/scheduler_model.h"
#include "ui/scheduler_texts.h"
#include "ui/win/dialog.h"
#include "ui/win/resource.h"

namespace kestrine::ui::win {

namespace {

class SchedulerDialog : public Dialog {
  public:
    explicit SchedulerDialog(const schedule::SchedulerSetup& setup)
        : setup_(setup), model_(OpenScheduler(setup.profiles, setup.policies)) {}

  protected:
    bool OnInit() override {
        for (const auto& profile : model_.profiles) AddComboString(IDC_TASK_PROFILE, profile);
        for (const auto& time : schedule::StartTimeChoices())
            AddComboString(IDC_TASK_START_TIME, time);
        SetItemText(IDC_TASK_START_TIME, model_.startTime);
        for (int day = 0; day < 7; ++day) SetChecked(IDC_TASK_MONDAY + day, model_.days[day]);
        SetChecked(IDC_TASK_DAILY, model_.daily);
        SetChecked(IDC_TASK_PROTECT, model_.protect);
        for (int box : {IDC_TASK_PASSWORD, IDC_TASK_PASSWORD2}) EnableItem(box, model_.protect);
        const Policies& policies = setup_.policies;
        ShowSetByPolicy(
            policies.days.has_value(), IDC_TASK_POLICY_SCHEDULE,
            {IDC_TASK_MONDAY, IDC_TASK_MONDAY + 1, IDC_TASK_MONDAY + 2, IDC_TASK_MONDAY + 3,
             IDC_TASK_MONDAY + 4, IDC_TASK_MONDAY + 5, IDC_TASK_MONDAY + 6, IDC_TASK_DAILY});
        ShowSetByPolicy(policies.startTime.has_value(), IDC_TASK_POLICY_SCHEDULE,
                        {IDC_TASK_START_TIME});
        ShowSetByPolicy(policies.backupFolder.has_value(), IDC_TASK_POLICY_FOLDER,
                        {IDC_TASK_BROWSE_TARGET});
        ShowSetByPolicy(policies.requirePassword.value_or(false), IDC_TASK_POLICY_PROTECT,
                        {IDC_TASK_PROTECT});
        SendMessageW(Item(IDC_TASK_PASSWORD), EM_SETPASSWORDCHAR, L'*', 0);
        SendMessageW(Item(IDC_TASK_PASSWORD2), EM_SETPASSWORDCHAR, L'*', 0);
        // Without a profile there is nothing a task could back up.
        EnableItem(IDC_TASK_ADD, !model_.profiles.empty());
        if (!model_.profiles.empty()) {
            SelectComboIndex(IDC_TASK_PROFILE, 0);
            Choose(0);
        }
        ShowScheduled();
        return true;
    }

    bool OnCommand(int id, int code, HWND control) override {
        if (id == IDC_TASK_PROFILE) {
            if (code == CBN_SELCHANGE) Choose(ComboIndex(IDC_TASK_PROFILE));
            return true;
        }
        if (code != BN_CLICKED) return false;
        switch (id) {
            case IDC_TASK_DAILY:
                SetDaily(model_, IsChecked(IDC_TASK_DAILY));
                for (int day = 0; day < 7; ++day)
                    SetChecked(IDC_TASK_MONDAY + day, model_.days[day]);
                return true;
            case IDC_TASK_PROTECT:
                SetProtect(model_, IsChecked(IDC_TASK_PROTECT));
                for (int box : {IDC_TASK_PASSWORD, IDC_TASK_PASSWORD2}) {
                    SetItemText(box, "");
                    EnableItem(box, model_.protect);
                }
                return true;
            case IDC_TASK_BROWSE_TARGET:
                ChooseTargetFile();
                return true;
            case IDC_TASK_ADD:
                AddTask();
                return true;
            case IDC_TASK_RUN_NOW: {
                if (auto refusal = RunNowRefusal(scheduled_)) {
                    Show(*refusal);
                    return true;
                }
                HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                const schedule::TaskOutcome outcome = schedule::RunTaskNow(setup_.taskName);
                SetCursor(previous);
                Show(RanTaskMessage(setup_.taskName, outcome));
                ShowScheduled();
                return true;
            }
            case IDC_TASK_DISABLE: {
                HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                schedule::RemoveTask(setup_.taskName);
                SetCursor(previous);
                Show(RemovedTaskMessage(setup_.taskName));
                ShowScheduled();
                return true;
            }
            case IDOK:  // only "Add Task to Scheduler" registers and closes
                return true;
            default:
                return Dialog::OnCommand(id, code, control);
        }
    }

  private:
    std::string Setting(const SettingKey& key) const {
        return ReadSetting(setup_.settingsPath, key);
    }
    std::string BackupFolderSetting() const {
        return EffectiveSetting(setup_.policies, setup_.settingsPath, kBackupFolder);
    }

    // Read back from the Task Scheduler, so the user sees whether a task exists and how it went.
    void ShowScheduled() {
        scheduled_ = schedule::QueryScheduledTask(setup_.taskName);
        SetItemText(IDC_TASK_STATUS,
                    ScheduledTaskText(scheduled_, NewFileEachRun(Setting(kNewFileEachRun))));
    }

    void Choose(int index) {
        if (index < 0 || index >= static_cast<int>(model_.profiles.size())) return;
        const std::string& profile = model_.profiles[static_cast<size_t>(index)];
        std::string folder = ChooseProposalFolder(BackupFolderSetting(), setup_.appFolder,
                                                  platform::fileio::IsDirectory);
        ChooseProfile(model_, profile, BackupItemBoxes(setup_.inventoryOf(profile)), folder);
        for (int i = 0; i < static_cast<int>(backup_format::kChoiceCount); ++i) {
            const auto& item = model_.items[static_cast<size_t>(i)];
            SetChecked(IDC_TASK_ITEM_FIRST + i, item.ticked);
            EnableItem(IDC_TASK_ITEM_FIRST + i, item.enabled);
            tips_.Set(Window(), Item(IDC_TASK_ITEM_FIRST + i), item.tooltip);
        }
        SetItemText(IDC_TASK_TARGET_FILE, model_.targetFile);
    }

    void ChooseTargetFile() {
        auto request = TargetFileRequest(model_, BackupFolderSetting(), setup_.appFolder);
        ui::ChooseTargetFile(model_, platform::ShowFileDialog(request));
        SetItemText(IDC_TASK_TARGET_FILE, model_.targetFile);
    }

    void AddTask() {
        for (int i = 0; i < static_cast<int>(backup_format::kChoiceCount); ++i)
            model_.items[static_cast<size_t>(i)].ticked = IsChecked(IDC_TASK_ITEM_FIRST + i);
        for (int day = 0; day < 7; ++day) model_.days[day] = IsChecked(IDC_TASK_MONDAY + day);
        model_.startTime = ItemText(IDC_TASK_START_TIME);
        model_.password = ItemText(IDC_TASK_PASSWORD);
        model_.password2 = ItemText(IDC_TASK_PASSWORD2);
        auto plan = PlanAddTask(model_, setup_.programPath,
                                {setup_.taskName, setup_.protect, setup_.userId});
        if (plan.refusal) {
            Show(*plan.refusal);
            return;
        }
        plan.task.timeLimitHours =
            schedule::TaskTimeLimitHours(WaitForOutlookMinutes(Setting(kWaitForOutlookMinutes)));
        // The runs read an unset choice as a new file each time; stored, it stays what the
        // settings dialog shows whatever reads it.
        WriteINIValue(setup_.settingsPath, kNewFileEachRun.section, kNewFileEachRun.name,
                      NewFileEachRun(Setting(kNewFileEachRun)) ? "1" : "0");
        HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        const schedule::TaskOutcome outcome = schedule::RegisterTask(
            plan.task.name, schedule::TaskDefinitionFile(plan.task, platform::Now()),
            setup_.tempFolder);
        SetCursor(previous);
        Show(AddedTaskMessage(setup_.taskName, outcome));
        if (outcome.done)
            End(IDOK);
        else
            ShowScheduled();
    }

    const schedule::SchedulerSetup& setup_;
    SchedulerModel model_;
    schedule::TaskQuery scheduled_;  // what the Task Scheduler said last
    Tooltips tips_;
};

}  // namespace

bool ShowSchedulerDialog(HWND owner, const schedule::SchedulerSetup& setup) {
    SchedulerDialog dialog(setup);
    return dialog.RunModal(IDD_SCHEDULER, owner) == IDOK;
}

}  // namespace kestrine::ui::win
