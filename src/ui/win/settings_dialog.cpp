#include "ui/win/settings_dialog.h"

#include "app/settings_keys.h"
#include "app/version.h"
#include "platform/file_stream.h"
#include "platform/folder_browser.h"
#include "ui/message.h"
#include "ui/win/dialog.h"
#include "ui/win/resource.h"

namespace kestrine::ui::win {

namespace {

struct Switch {
    int id;
    bool SettingsModel::*field;
};
constexpr Switch kSwitches[] = {
    {IDC_START_ON_WINDOWS, &SettingsModel::startOnWindows},
    {IDC_CHECK_BACKUP_FILE, &SettingsModel::checkBackupFile},
    {IDC_RUN_OUTLOOK_AFTER_BACKUP, &SettingsModel::runOutlookAfterBackup},
    {IDC_RUN_OUTLOOK_AFTER_RESTORE, &SettingsModel::runOutlookAfterRestore},
    {IDC_AUTO_CLOSE_OUTLOOK, &SettingsModel::autoCloseOutlook},
    {IDC_OPEN_FOLDER_AFTER_BACKUP, &SettingsModel::openFolderAfterBackup},
    {IDC_GENERATE_FILE_NAME, &SettingsModel::generateFileName},
    {IDC_NEW_FILE_EACH_RUN, &SettingsModel::newFileEachRun},
    {IDC_CLOSE_OUTLOOK_FOR_SCHEDULE, &SettingsModel::closeOutlookForSchedule},
    {IDC_KEEP_NEWEST, &SettingsModel::keepNewestOnly},
    {IDC_NOTIFY_FAILURE, &SettingsModel::notifyFailure},
};

class SettingsDialog : public Dialog {
  public:
    explicit SettingsDialog(const SettingsFiles& files)
        : files_(files), model_(LoadSettingsFile(files)) {}

  protected:
    bool OnInit() override {
        tabs_.Add(*this, IDC_SETTINGS_TABS, "General", IDD_SETTINGS_GENERAL);
        tabs_.Add(*this, IDC_SETTINGS_TABS, "Backup", IDD_SETTINGS_BACKUP);
        tabs_.Add(*this, IDC_SETTINGS_TABS, " Scheduled Backup", IDD_SETTINGS_SCHEDULED);
        for (const auto& s : kSwitches) SetChecked(s.id, model_.*s.field);
        SetChecked(IDC_REPLACE_DEFAULT_FILE, !model_.newFileEachRun);
        SetItemText(IDC_BACKUP_FOLDER, model_.backupFolder);
        SendMessageW(Item(IDC_KEEP_COUNT), EM_LIMITTEXT, 3, 0);
        SetItemText(IDC_KEEP_COUNT, std::to_string(model_.keepNewest));
        ShowKeepChoice();
        ShowSetByPolicy(model_.SetByPolicy(kCheckBackupFile), IDC_POLICY_CHECK_BACKUP,
                        {IDC_CHECK_BACKUP_FILE});
        ShowSetByPolicy(model_.SetByPolicy(kBackupFolder), IDC_POLICY_BACKUP_FOLDER,
                        {IDC_BACKUP_FOLDER, IDC_BROWSE_FOLDER});
        ShowSetByPolicy(model_.SetByPolicy(kCloseOutlookForSchedule), IDC_POLICY_CLOSE_OUTLOOK,
                        {IDC_CLOSE_OUTLOOK_FOR_SCHEDULE});
        return true;
    }

    bool OnNotify(int, NMHDR* header) override { return tabs_.OnNotify(header); }

    bool OnCommand(int id, int code, HWND control) override {
        if (id == IDC_BROWSE_FOLDER && code == BN_CLICKED) {
            // A cancelled browser leaves the box empty; "OK" then asks for a folder.
            SetItemText(IDC_BACKUP_FOLDER,
                        platform::BrowseForFolder(kProductName, Window(),
                                                  platform::kBrowseDontGoBelowDomain,
                                                  ItemText(IDC_BACKUP_FOLDER)));
            return true;
        }
        if (id == IDOK) {
            Confirm();
            return true;
        }
        if ((id == IDC_KEEP_NEWEST || id == IDC_NEW_FILE_EACH_RUN ||
             id == IDC_REPLACE_DEFAULT_FILE) &&
            code == BN_CLICKED) {
            ShowKeepChoice();
            return true;
        }
        return Dialog::OnCommand(id, code, control);
    }

  private:
    // Only dated archives are ever deleted, so the count is asked only for a new file each run.
    void ShowKeepChoice() {
        const bool dated = IsChecked(IDC_NEW_FILE_EACH_RUN);
        EnableItem(IDC_KEEP_NEWEST, dated);
        EnableItem(IDC_KEEP_COUNT, dated && IsChecked(IDC_KEEP_NEWEST));
        EnableItem(IDC_KEEP_COUNT_LABEL, dated);
        ShowSetByPolicy(model_.SetByPolicy(kKeepDatedBackups), IDC_POLICY_KEEP,
                        {IDC_KEEP_NEWEST, IDC_KEEP_COUNT});
    }

    void Confirm() {
        for (const auto& s : kSwitches) model_.*s.field = IsChecked(s.id);
        model_.keepNewestOnly = model_.keepNewestOnly && model_.newFileEachRun;
        model_.keepNewest = KeepDatedBackups(ItemText(IDC_KEEP_COUNT));
        model_.backupFolder = ItemText(IDC_BACKUP_FOLDER);
        auto confirmation =
            ConfirmSettings(model_, files_.appFolder, platform::fileio::IsDirectory);
        if (confirmation.refusal) {
            Show(*confirmation.refusal);
            return;
        }
        SetItemText(IDC_BACKUP_FOLDER, model_.backupFolder);
        const SettingsSaved saved = SaveSettings(files_, model_, confirmation.writes);
        // The dialog closes either way: nothing in it could make a second try succeed.
        for (const auto& message : SaveFailureMessages(saved, files_.settingsPath)) Show(message);
        End(IDOK);
    }

    const SettingsFiles& files_;
    SettingsModel model_;
    TabPages tabs_;
};

}  // namespace

bool ShowSettingsDialog(HWND owner, const SettingsFiles& files) {
    SettingsDialog dialog(files);
    return dialog.RunModal(IDD_SETTINGS, owner) == IDOK;
}

}  // namespace kestrine::ui::win
