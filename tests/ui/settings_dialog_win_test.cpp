// The settings dialog under Wine, driven through its window: settings.dat and the log-on value.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "app/policy.h"
#include "app/settings.h"
#include "registry/registry.h"
#include "schedule/command_line.h"
#include "test_support.h"
#include "ui/win/resource.h"
#include "ui/win/settings_dialog.h"
#include "window_driver.h"

namespace kestrine::test {
namespace {

class SettingsDialogTest : public ::testing::Test {
  public:
    void TearDown() override { registry::DeleteValue(ui::kRunKey, ui::kRunValueName); }

    std::string Setting(const char* section, const char* key) {
        return ReadINIValue(files.settingsPath, section, key);
    }
    std::optional<std::string> RunValue() {
        return registry::GetStringValue(ui::kRunKey, ui::kRunValueName);
    }

    TempDir dir;
    ui::SettingsFiles files{
        dir.str(), dir / "settings.dat", "C:\\Program Files\\Kestrine\\kestrine.exe", {}};
};

// What an administrator set shows its value greyed, marked "Set by your administrator", and "OK"
// leaves the user's own values of it in settings.dat.
TEST_F(SettingsDialogTest, PolicySetControlsAreGreyedAndKeepTheUsersValues) {
    WriteINIValue(files.settingsPath, "backup", "backupfolder", dir.str());
    WriteINIValue(files.settingsPath, "General", "checkbackupfile", "1");
    // A share that is not there now is no reason to refuse, nor to put the application folder in.
    files.policies.backupFolder = "\\\\server\\backups\\sam";
    files.policies.keepNewest = 3;
    files.policies.checkBackup = false;  // over the user's "1"
    {
        ModalThread shown([&] { return ui::win::ShowSettingsDialog(nullptr, files); });
        HWND dialog = WaitForWindow("Settings");
        ASSERT_TRUE(dialog);
        auto noted = [&](int note) {
            return IsWindowVisible(Control(dialog, note)) &&
                   Text(dialog, note) == kSetByAdministrator;
        };
        EXPECT_FALSE(Checked(dialog, IDC_CHECK_BACKUP_FILE));
        EXPECT_FALSE(Enabled(dialog, IDC_CHECK_BACKUP_FILE));
        EXPECT_TRUE(noted(IDC_POLICY_CHECK_BACKUP));
        EXPECT_TRUE(Enabled(dialog, IDC_RUN_OUTLOOK_AFTER_BACKUP));
        ShowTab(dialog, IDC_SETTINGS_TABS, 1);
        EXPECT_EQ(Text(dialog, IDC_BACKUP_FOLDER), "\\\\server\\backups\\sam");
        EXPECT_FALSE(Enabled(dialog, IDC_BACKUP_FOLDER) || Enabled(dialog, IDC_BROWSE_FOLDER));
        EXPECT_TRUE(noted(IDC_POLICY_BACKUP_FOLDER));
        ShowTab(dialog, IDC_SETTINGS_TABS, 2);
        EXPECT_TRUE(Checked(dialog, IDC_KEEP_NEWEST));
        EXPECT_EQ(Text(dialog, IDC_KEEP_COUNT), "3");
        // Switching to one file and back does not hand the count to the user.
        Click(dialog, IDC_REPLACE_DEFAULT_FILE);
        Click(dialog, IDC_NEW_FILE_EACH_RUN);
        EXPECT_FALSE(Enabled(dialog, IDC_KEEP_NEWEST) || Enabled(dialog, IDC_KEEP_COUNT));
        EXPECT_TRUE(noted(IDC_POLICY_KEEP));
        EXPECT_TRUE(Enabled(dialog, IDC_CLOSE_OUTLOOK_FOR_SCHEDULE));
        EXPECT_FALSE(IsWindowVisible(Control(dialog, IDC_POLICY_CLOSE_OUTLOOK)));
        PostClick(dialog, IDOK);
        EXPECT_TRUE(shown.Result());
    }
    EXPECT_EQ(Setting("backup", "backupfolder"), dir.str());
    EXPECT_EQ(Setting("autobackup", "keepdatedbackups"), "");
    EXPECT_EQ(Setting("General", "checkbackupfile"), "1");
    EXPECT_EQ(Setting("autobackup", "closeoutlookforschedule"), "0");
}

TEST_F(SettingsDialogTest, OkWritesEverySettingAndTheLogOnValueAndCancelWritesNothing) {
    std::filesystem::create_directory(dir.path() / "Backups");
    {
        ModalThread shown([&] { return ui::win::ShowSettingsDialog(nullptr, files); });
        HWND dialog = WaitForWindow("Settings");
        ASSERT_TRUE(dialog);
        // Without settings.dat: the application folder, nothing checked, a new file per run.
        EXPECT_EQ(Text(dialog, IDC_BACKUP_FOLDER), files.appFolder);
        EXPECT_FALSE(Checked(dialog, IDC_START_ON_WINDOWS));
        EXPECT_TRUE(Checked(dialog, IDC_NEW_FILE_EACH_RUN));
        Click(dialog, IDC_START_ON_WINDOWS);
        ShowTab(dialog, IDC_SETTINGS_TABS, 1);
        Type(dialog, IDC_BACKUP_FOLDER, std::string(" ").append(dir / "Backups").append(" "));
        Click(dialog, IDC_GENERATE_FILE_NAME);
        ShowTab(dialog, IDC_SETTINGS_TABS, 2);
        EXPECT_FALSE(Enabled(dialog, IDC_KEEP_COUNT));  // off unless asked for
        Click(dialog, IDC_KEEP_NEWEST);
        Type(dialog, IDC_KEEP_COUNT, "3");
        // Replacing the one file leaves no dated backups to keep.
        Click(dialog, IDC_REPLACE_DEFAULT_FILE);
        EXPECT_FALSE(Enabled(dialog, IDC_KEEP_NEWEST));
        PostClick(dialog, IDOK);
        EXPECT_TRUE(shown.Result());
    }
    EXPECT_NE(ReadFile(dir.path() / "settings.dat").find("[Backup]"), std::string::npos);
    EXPECT_EQ(Setting("backup", "backupfolder"), dir / "Backups");
    EXPECT_EQ(Setting("General", "startonwindows"), "1");
    EXPECT_EQ(Setting("General", "checkbackupfile"), "0");
    EXPECT_EQ(Setting("backup", "automgeneratefile"), "1");
    EXPECT_EQ(Setting("autobackup", "autobackupfile"), "0");
    EXPECT_EQ(Setting("autobackup", "keepdatedbackups"), "0");
    EXPECT_EQ(RunValue(), "\"C:\\Program Files\\Kestrine\\kestrine.exe\"");
    // Started at log-on, the program sees no command line and opens its window.
    EXPECT_EQ(schedule::CommandLineTail(RunValue().value_or("")), "");

    // Opened again it shows what was saved; clearing the log-on start removes the value.
    ModalThread shown([&] { return ui::win::ShowSettingsDialog(nullptr, files); });
    HWND dialog = WaitForWindow("Settings");
    EXPECT_TRUE(Checked(dialog, IDC_START_ON_WINDOWS));
    EXPECT_TRUE(Checked(dialog, IDC_GENERATE_FILE_NAME));
    EXPECT_TRUE(Checked(dialog, IDC_REPLACE_DEFAULT_FILE));
    EXPECT_FALSE(Checked(dialog, IDC_NEW_FILE_EACH_RUN));
    Click(dialog, IDC_START_ON_WINDOWS);
    ShowTab(dialog, IDC_SETTINGS_TABS, 2);
    Click(dialog, IDC_NEW_FILE_EACH_RUN);
    Click(dialog, IDC_KEEP_NEWEST);
    Type(dialog, IDC_KEEP_COUNT, "4");
    PostClick(dialog, IDOK);
    EXPECT_TRUE(shown.Result());
    EXPECT_EQ(RunValue(), std::nullopt);
    EXPECT_EQ(Setting("General", "startonwindows"), "0");
    EXPECT_EQ(Setting("autobackup", "keepdatedbackups"), "4");

    // Cancel writes nothing.
    const std::string saved = ReadFile(dir.path() / "settings.dat");
    ModalThread cancelled([&] { return ui::win::ShowSettingsDialog(nullptr, files); });
    dialog = WaitForWindow("Settings");
    Click(dialog, IDC_START_ON_WINDOWS);
    Click(dialog, IDC_CHECK_BACKUP_FILE);
    PostClick(dialog, IDCANCEL);
    EXPECT_FALSE(cancelled.Result());
    EXPECT_EQ(ReadFile(dir.path() / "settings.dat"), saved);
    EXPECT_EQ(RunValue(), std::nullopt);
}

TEST_F(SettingsDialogTest, ASettingsFileThatCannotBeWrittenIsReported) {
    files.settingsPath = dir / "gone\\settings.dat";
    ModalThread shown([&] { return ui::win::ShowSettingsDialog(nullptr, files); });
    HWND dialog = WaitForWindow("Settings");
    PostClick(dialog, IDOK);
    auto seen = AnswerMessageBox();
    EXPECT_EQ(seen.text, "The settings could not be saved in " + files.settingsPath + ".");
    EXPECT_EQ(seen.icon, "exclamation");
    EXPECT_TRUE(shown.Result());
}

// A refusal (its words are the model's) is shown over the dialog; the folder browser, owned by the
// dialog, fills the folder box or, cancelled, empties it.
TEST_F(SettingsDialogTest, AnEmptyFolderIsRefusedAndTheBrowserFillsTheBox) {
    ModalThread shown([&] { return ui::win::ShowSettingsDialog(nullptr, files); });
    HWND dialog = WaitForWindow("Settings");
    ShowTab(dialog, IDC_SETTINGS_TABS, 1);
    Type(dialog, IDC_BACKUP_FOLDER, "   ");
    PostClick(dialog, IDOK);
    auto seen = AnswerMessageBox();
    EXPECT_EQ(seen.text, "Please enter backup folder.");
    EXPECT_EQ(seen.icon, "critical");
    EXPECT_EQ(seen.owner, dialog);
    PostClick(dialog, IDC_BROWSE_FOLDER);
    HWND browser = WaitForWindow("", dialog);
    ASSERT_TRUE(browser);
    SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(L"C:\\windows"));
    PostMessageW(browser, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntilGone(browser));
    EXPECT_EQ(Text(dialog, IDC_BACKUP_FOLDER), "C:\\windows");
    PostClick(dialog, IDC_BROWSE_FOLDER);
    browser = WaitForWindow("", dialog);
    PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntilGone(browser));
    EXPECT_EQ(Text(dialog, IDC_BACKUP_FOLDER), "");
    PostClick(dialog, IDCANCEL);
    EXPECT_FALSE(shown.Result());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "settings.dat"));
}

}  // namespace
}  // namespace kestrine::test
