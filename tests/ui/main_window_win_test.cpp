// The main window under Wine, driven through its window as a user would: the start-up lists, the
// pages and pop-up menus, a backup that works on its own thread while the window stays live and
// that Cancel stops, a backup opened with its password and restored, and closing the window during
// a run.
#include <gtest/gtest.h>
#include <windows.h>
//
#include <commctrl.h>

#include <future>
#include <memory>

#include "outlook/detection.h"
#include "ui/main_window_presenter.h"
#include "ui/restore_presenter.h"
#include "ui/win/main_window.h"
#include "ui/win/resource.h"
#include "win_scratch.h"
#include "window_driver.h"
#include "zip_test_util.h"

namespace kestrine::test {
namespace {

// The password of these backups: longer than the first password box takes when typed.
const std::string kPassword = "correct horse battery 24";

class MainWindowTest : public ::testing::Test {
  public:
    MainWindowTest() {
        SetValue(s.Profile("Work") + "\\13dbb0c8aa05101a9bb000aa002fc45a", "01020fff", kBinary,
                 StoreValueUtf16(sample.mail2 + "\\archive.pst"));
        s.state.ProfileNames = {"Outlook", "Work"};
        Put(s.state.SettingsFile,
            "[backup]\r\nautomgeneratefile=1\r\nbackupfolder=" + sample.backups + "\r\n");
        platform::SetMessageHandler(nullptr);  // real message boxes, answered through the window
        // Reading the data file waits at the gate: a run stays at work while the test looks.
        auto faults = std::make_shared<StreamFaults>();
        faults->beforeRead = [opened = gate.get_future().share()] { opened.wait(); };
        zip.SetStreamFilter(FaultFilter("\\a.pst", faults));
    }
    ~MainWindowTest() override { OpenGate(); }

    void OpenGate() {
        if (!gateOpen) gate.set_value();
        gateOpen = true;
    }
    void Open() {
        shown = std::make_unique<ModalThread>([this] {
            return ui::win::RunMainWindow({s.state, zip, nullptr}) == 0;
        });
        main = WaitForWindow("Kestrine V3.30");
        ASSERT_TRUE(main);
    }
    // Ticks items, protects with the password and clicks "Backup Now"; returns the archive path.
    std::string StartBackup(std::initializer_list<int> items) {
        for (int item : items) Click(main, IDC_BACKUP_ITEM_FIRST + item);
        Click(main, IDC_PROTECT);
        Type(main, IDC_PASSWORD, kPassword);
        Type(main, IDC_PASSWORD2, kPassword);
        PostClick(main, IDC_APPLY);
        return Text(main, IDC_TARGET_FILE);
    }
    bool RunShown() {
        return WaitUntil([&] { return IsWindowVisible(Control(main, IDC_PROGRESS_BAR)) != FALSE; });
    }
    static void TypeKeys(HWND edit, const std::string& text) {
        for (char c : text) SendMessageW(edit, WM_CHAR, static_cast<WPARAM>(c), 0);
    }

    Scratch s;
    SampleProfile sample{s};
    archive::ZipComponent zip;
    std::promise<void> gate;
    bool gateOpen = false;
    std::unique_ptr<ModalThread> shown;
    HWND main = nullptr;
};

TEST_F(MainWindowTest, StartUpPagesAndPopUpMenusAsAUserSeesThem) {
    Put(s.state.LogFile, "one\n\r\nend\r\r\n");
    Open();
    HWND source = Control(main, IDC_SOURCE_PROFILE);
    EXPECT_EQ(SendMessageW(source, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(Control(main, IDC_TARGET_PROFILE), CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(Text(main, IDC_SOURCE_PROFILE), "Outlook");
    EXPECT_EQ(Text(main, IDC_TARGET_PROFILE), "Outlook");
    for (int i = 0; i < 9; ++i) EXPECT_FALSE(Enabled(main, IDC_RESTORE_ITEM_FIRST + i)) << i;
    EXPECT_TRUE(Enabled(main, IDC_BACKUP_ITEM_FIRST + 2));  // the sample's signatures
    const std::string proposal = Text(main, IDC_TARGET_FILE);
    EXPECT_EQ(proposal.rfind(sample.backups + "\\kestrine-Outlook-", 0), 0u) << proposal;

    // Another profile: its own proposal; "Select all items" leaves its missing accounts clear.
    Choose(main, IDC_SOURCE_PROFILE, 1);
    EXPECT_NE(Text(main, IDC_TARGET_FILE).find("\\kestrine-Work-"), std::string::npos);
    EXPECT_FALSE(Enabled(main, IDC_BACKUP_ITEM_FIRST + 1));
    SendMessageW(main, WM_COMMAND, IDM_SELECT_ALL_BACKUP, 0);
    EXPECT_TRUE(Checked(main, IDC_BACKUP_ITEM_FIRST));
    EXPECT_FALSE(Checked(main, IDC_BACKUP_ITEM_FIRST + 1));
    SendMessageW(main, WM_COMMAND, IDM_DESELECT_ALL_BACKUP, 0);
    for (int i = 0; i < 9; ++i) EXPECT_FALSE(Checked(main, IDC_BACKUP_ITEM_FIRST + i)) << i;

    // The password boxes: emptied both ways; typing stops at 20 characters in the first only.
    Click(main, IDC_PROTECT);
    EXPECT_TRUE(Enabled(main, IDC_PASSWORD));
    TypeKeys(Control(main, IDC_PASSWORD), std::string(25, 'x'));
    TypeKeys(Control(main, IDC_PASSWORD2), std::string(25, 'x'));
    EXPECT_EQ(Text(main, IDC_PASSWORD).size(), 20u);
    EXPECT_EQ(Text(main, IDC_PASSWORD2).size(), 25u);
    Click(main, IDC_PROTECT);
    EXPECT_FALSE(Enabled(main, IDC_PASSWORD2));
    EXPECT_EQ(Text(main, IDC_PASSWORD) + Text(main, IDC_PASSWORD2), "");

    // The apply button follows the page; the Logs page shows the log once, newest selected.
    const std::pair<int, const char*> pages[] = {
        {1, "&Restore Now"}, {2, "Show &Log File"}, {2, "Show &Log File"}, {3, "He&lp"}};
    HWND list = Control(main, IDC_LOG_LIST);
    for (auto [page, caption] : pages) {
        ShowTab(main, IDC_MAIN_TABS, page);
        EXPECT_EQ(Text(main, IDC_APPLY), caption);
    }
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 2);

    PostMessageW(main, WM_COMMAND, IDM_QUIT, 0);
    EXPECT_TRUE(shown->Result());
}

TEST_F(MainWindowTest, WithoutAProfileTheWindowSaysSoAndCannotApply) {
    s.state.ProfileNames.clear();
    s.state.NoProfiles = true;
    Open();
    SeenMessage seen = AnswerMessageBox();
    EXPECT_EQ(seen.text, outlook::kNoProfileText);
    EXPECT_EQ(seen.icon, "critical");
    EXPECT_EQ(seen.owner, main);
    EXPECT_FALSE(Enabled(main, IDC_APPLY));
    EXPECT_EQ(SendMessageW(Control(main, IDC_SOURCE_PROFILE), CB_GETCOUNT, 0, 0), 0);
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(shown->Result());
}

TEST_F(MainWindowTest, ARunWorksWhileTheWindowStaysLiveAndCancelKeepsTheLastBackup) {
    Open();
    const std::string archive = Text(main, IDC_TARGET_FILE);
    Put(archive, "last week's backup");
    StartBackup({0, 2, 8});
    ASSERT_TRUE(RunShown());
    for (int id : {IDC_APPLY, IDC_BROWSE_TARGET, IDC_BROWSE_SOURCE, IDC_SOURCE_PROFILE})
        EXPECT_FALSE(Enabled(main, id)) << id;
    EXPECT_TRUE(GetMenuState(GetMenu(main), IDM_BACKUP_NOW, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(Enabled(main, IDC_CANCEL_RUN));
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &answer));
    ShowTab(main, IDC_MAIN_TABS, 1);
    EXPECT_EQ(Text(main, IDC_APPLY), "&Restore Now");
    ShowTab(main, IDC_MAIN_TABS, 0);
    // Neither the shortcut nor the button starts a second run meanwhile.
    SendMessageW(main, WM_COMMAND, IDM_BACKUP_NOW, 0);
    SendMessageW(main, WM_COMMAND, IDC_APPLY, 0);

    Click(main, IDC_CANCEL_RUN);
    OpenGate();
    SeenMessage seen = AnswerMessageBox();
    EXPECT_EQ(seen.text.rfind("The Backup was cancelled", 0), 0u) << seen.text;
    EXPECT_EQ(seen.owner, main);
    EXPECT_TRUE(WaitUntil([&] { return Enabled(main, IDC_APPLY); }));
    EXPECT_FALSE(IsWindowVisible(Control(main, IDC_PROGRESS_BAR)));
    EXPECT_EQ(Get(archive), "last week's backup");
    EXPECT_EQ(Occurrences(s.Log(), " Start Backup Profile Outlook Data..."), 1u);
    EXPECT_EQ(s.Log().find("Data was Completed!"), std::string::npos);
    PostMessageW(main, WM_COMMAND, IDM_QUIT, 0);
    EXPECT_TRUE(shown->Result());
}

TEST_F(MainWindowTest, ABackupOpenedWithItsPasswordAndRestoredIntoAnotherProfile) {
    OpenGate();
    Open();
    const std::string archive = StartBackup({0, 2, 8});
    SeenMessage seen = AnswerMessageBox();
    EXPECT_EQ(seen.text.rfind("The Backup was Completed!", 0), 0u) << seen.text;
    EXPECT_EQ(seen.owner, main);
    const auto view = ReadArchive(archive, kPassword);
    ASSERT_TRUE(view.manifest.valid) << archive;
    EXPECT_EQ(Count(view.names, "a.pst"), 1);
    EXPECT_EQ(Count(view.names, "Work.htm"), 1);

    // Before any file is open, Apply on the Restore page refuses at once, without asking first.
    ShowTab(main, IDC_MAIN_TABS, 1);
    PostClick(main, IDC_APPLY);
    seen = AnswerMessageBox();
    EXPECT_EQ(seen.text, "Invalid backup file.");

    // Opened on the Restore page: the password, typed in full, and Enter.
    s.dialogs.chosenFile = archive;
    PostClick(main, IDC_BROWSE_SOURCE);
    HWND asked = WaitForWindow("Please enter password");
    ASSERT_TRUE(asked);
    EXPECT_EQ(GetWindow(asked, GW_OWNER), main);
    HWND entry = Control(asked, IDC_PASSWORD_ENTRY);
    TypeKeys(entry, kPassword);
    PostMessageW(entry, WM_KEYDOWN, VK_RETURN, 0);
    // The information box is the last the window fills.
    ASSERT_TRUE(WaitUntil(
        [&] { return Text(main, IDC_BACKUP_INFO).find("Profile:Outlook") != std::string::npos; }));
    EXPECT_TRUE(Enabled(main, IDC_RESTORE_ITEM_FIRST));
    EXPECT_TRUE(Enabled(main, IDC_RESTORE_ITEM_FIRST + 2));
    EXPECT_FALSE(Enabled(main, IDC_RESTORE_ITEM_FIRST + 1));

    // "Restore Now" asks first: Cancel restores nothing, OK restores into the chosen profile.
    Choose(main, IDC_TARGET_PROFILE, 1);
    Click(main, IDC_RESTORE_ITEM_FIRST + 2);
    // Every way of starting a restore asks: the menu (and Ctrl+R, its shortcut) as the button.
    PostMessageW(main, WM_COMMAND, IDM_RESTORE_NOW, 0);
    seen = AnswerMessageBox(IDCANCEL);
    EXPECT_EQ(seen.text.rfind(ui::kConfirmRestoreFirstLine, 0), 0u) << seen.text;
    EXPECT_NE(seen.text.find("Will be"), std::string::npos) << seen.text;
    for (int button : {IDCANCEL, IDOK}) {
        PostClick(main, IDC_APPLY);
        seen = AnswerMessageBox(button);
        EXPECT_EQ(seen.text.rfind(ui::kConfirmRestoreFirstLine, 0), 0u) << seen.text;
        EXPECT_EQ(seen.icon, "information");
    }
    seen = AnswerMessageBox();
    EXPECT_EQ(seen.text.rfind("The Restore was Completed!", 0), 0u) << seen.text;
    EXPECT_EQ(Occurrences(s.Log(), " Start Retore Data to Profile Work"), 1u);
    EXPECT_NE(s.Log().find(" Restore Signatures Succeeded!"), std::string::npos);
    PostMessageW(main, WM_COMMAND, IDM_QUIT, 0);
    EXPECT_TRUE(shown->Result());
}

TEST_F(MainWindowTest, ClosingDuringARunAsksAndQuitsOnceTheRunHasStopped) {
    Open();
    const std::string archive = Text(main, IDC_TARGET_FILE);
    Put(archive, "last week's backup");
    StartBackup({0, 8});
    ASSERT_TRUE(RunShown());
    for (int button : {IDCANCEL, IDOK}) {
        PostMessageW(main, WM_CLOSE, 0, 0);
        const SeenMessage seen = AnswerMessageBox(button);
        EXPECT_EQ(seen.text, ui::QuitDuringRunQuestion().text);
        EXPECT_EQ(seen.owner, main);
        EXPECT_TRUE(IsWindow(main));  // the run has not stopped yet
    }
    OpenGate();
    EXPECT_TRUE(WaitUntilGone(main));
    EXPECT_TRUE(shown->Result());
    EXPECT_EQ(Get(archive), "last week's backup");
}

}  // namespace
}  // namespace kestrine::test
