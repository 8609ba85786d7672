// The main window under Wine, driven through its window as a user would: the start-up lists, the
// pages and pop-up menus, a backup that works on its own thread while the window stays live and
// that Cancel stops, a backup opened with its password and then replaced, and closing the window
// during a run.
#include <gtest/gtest.h>
#include <windows.h>
//
#include <commctrl.h>

#include <functional>
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

// The password of these backups: longer than the first password box once took.
const std::string kPassword = "correct horse battery 24";

class MainWindowTest : public ::testing::Test {
  public:
    MainWindowTest() {
        SetValue(s.Profile("Work") + "\\13dbb0c8aa05101a9bb000aa002fc45a", "01020fff", kBinary,
                 StoreValueUtf16(sample.mail2 + "\\archive.pst"));
        s.state.environment.ProfileNames = {"Outlook", "Work"};
        Put(s.state.paths.SettingsFile,
            "[backup]\r\nautomgeneratefile=1\r\nbackupfolder=" + sample.backups + "\r\n");
        platform::SetMessageHandler(nullptr);  // real message boxes, answered through the window
        // Reading the data file waits at the gate: a run stays at work while the test looks.
        auto faults = std::make_shared<StreamFaults>();
        faults->beforeRead = [opened = gate.get_future().share()] { opened.wait(); };
        zip.filter = FaultFilter("\\a.pst", faults);
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
    // A menu command of the window, as choosing it does.
    void Menu(int id) { PostMessageW(main, WM_COMMAND, static_cast<WPARAM>(id), 0); }
    bool MenuEnabled(int id) {
        return !(GetMenuState(GetMenu(main), static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED);
    }

    Scratch s;
    SampleProfile sample{s};
    archive::ZipOptions zip;
    std::promise<void> gate;
    bool gateOpen = false;
    std::unique_ptr<ModalThread> shown;
    HWND main = nullptr;
};

TEST_F(MainWindowTest, StartUpPagesAndPopUpMenusAsAUserSeesThem) {
    Put(s.state.paths.LogFile, "one\n\r\nend\r\r\n");
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

    // The password boxes: emptied both ways; both take the same long password.
    Click(main, IDC_PROTECT);
    EXPECT_TRUE(Enabled(main, IDC_PASSWORD));
    TypeKeys(Control(main, IDC_PASSWORD), std::string(60, 'x'));
    TypeKeys(Control(main, IDC_PASSWORD2), std::string(60, 'x'));
    EXPECT_EQ(Text(main, IDC_PASSWORD).size(), 60u);
    EXPECT_EQ(Text(main, IDC_PASSWORD2).size(), 60u);
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
    EXPECT_EQ(Text(main, IDC_LAST_BACKUP), "Last backup: none has been completed yet.");

    PostMessageW(main, WM_COMMAND, IDM_QUIT, 0);
    EXPECT_TRUE(shown->Result());
}

// A new computer: no profile at start-up. Nothing can back up or restore (the menus and shortcuts
// neither), until the user makes a profile while the window is open: the lists read it when they
// are opened, or when the window is activated again.
TEST_F(MainWindowTest, WithoutAProfileNothingRunsUntilOneIsMade) {
    s.state.environment.ProfilesRoot = s.root + "\\NewComputer\\Profiles";
    s.state.environment.ProfileNames.clear();
    s.state.environment.NoProfiles = true;
    Open();
    SeenMessage seen = AnswerMessageBox();
    EXPECT_EQ(seen.text, outlook::kNoProfileText);
    EXPECT_EQ(seen.icon, "critical");
    EXPECT_EQ(seen.owner, main);
    EXPECT_FALSE(Enabled(main, IDC_APPLY));
    EXPECT_FALSE(MenuEnabled(IDM_BACKUP_NOW));
    EXPECT_FALSE(MenuEnabled(IDM_RESTORE_NOW));
    EXPECT_EQ(SendMessageW(Control(main, IDC_SOURCE_PROFILE), CB_GETCOUNT, 0, 0), 0);
    // A shortcut that reaches the window anyway starts nothing and asks nothing.
    DWORD_PTR answer = 0;
    for (int command : {IDM_RESTORE_NOW, IDM_BACKUP_NOW})
        EXPECT_TRUE(SendMessageTimeoutW(main, WM_COMMAND, static_cast<WPARAM>(command), 0,
                                        SMTO_BLOCK, 5000, &answer));
    EXPECT_EQ(s.Log().find("Start"), std::string::npos);

    MakeKey(s.state.environment.ProfilesRoot + "\\Outlook");
    SendMessageW(Control(main, IDC_SOURCE_PROFILE), CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageW(Control(main, IDC_SOURCE_PROFILE), CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_EQ(Text(main, IDC_SOURCE_PROFILE), "Outlook");
    EXPECT_EQ(Text(main, IDC_TARGET_PROFILE), "Outlook");
    EXPECT_TRUE(Enabled(main, IDC_APPLY));
    EXPECT_TRUE(MenuEnabled(IDM_BACKUP_NOW));
    EXPECT_TRUE(MenuEnabled(IDM_RESTORE_NOW));
    EXPECT_TRUE(Enabled(main, IDC_BACKUP_ITEM_FIRST + 2));  // its inventory was taken

    MakeKey(s.state.environment.ProfilesRoot + "\\Archive");
    SendMessageW(main, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(SendMessageW(Control(main, IDC_TARGET_PROFILE), CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(Text(main, IDC_SOURCE_PROFILE), "Outlook");  // the profile shown stays
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

// The window's own part of opening and replacing a backup (the engine's is tested natively, the
// whole way through the program in program_round_trip_win_test): the password dialog, owned by the
// window, answered with Enter; a backup into another file leaves the opened archive open, one that
// replaces it lets the Restore page go, so a restore asks for a file again.
TEST_F(MainWindowTest, TheRestorePageLetsGoOfABackupThatIsReplaced) {
    OpenGate();
    Open();
    const std::string archive = StartBackup({0, 2, 8});
    EXPECT_EQ(AnswerMessageBox().text.rfind("The Backup was Completed!", 0), 0u);
    ShowTab(main, IDC_MAIN_TABS, 1);
    s.dialogs.chosenFile = archive;
    PostClick(main, IDC_BROWSE_SOURCE);
    HWND asked = WaitForWindow("Please enter password");
    ASSERT_TRUE(asked);
    EXPECT_EQ(GetWindow(asked, GW_OWNER), main);
    HWND entry = Control(asked, IDC_PASSWORD_ENTRY);
    TypeKeys(entry, kPassword);
    PostMessageW(entry, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(WaitUntil(
        [&] { return Text(main, IDC_BACKUP_INFO).find("Profile:Outlook") != std::string::npos; }));
    EXPECT_TRUE(Enabled(main, IDC_RESTORE_ITEM_FIRST + 2));

    for (const std::string& file : {sample.backups + "\\other.ksx", archive}) {
        ShowTab(main, IDC_MAIN_TABS, 0);
        s.dialogs.chosenFile = file;
        Click(main, IDC_BROWSE_TARGET);
        PostClick(main, IDC_APPLY);
        EXPECT_EQ(AnswerMessageBox().text.rfind("The Backup was Completed!", 0), 0u);
        ShowTab(main, IDC_MAIN_TABS, 1);
        EXPECT_EQ(Text(main, IDC_SOURCE_FILE), file == archive ? "" : archive);
        EXPECT_EQ(Enabled(main, IDC_RESTORE_ITEM_FIRST + 2), file != archive);
    }
    Menu(IDM_RESTORE_NOW);
    EXPECT_EQ(AnswerMessageBox().text, "Invalid backup file.");
    EXPECT_EQ(s.Log().find(" Start Retore Data to Profile"), std::string::npos);
    PostMessageW(main, WM_COMMAND, IDM_QUIT, 0);
    EXPECT_TRUE(shown->Result());
}

// Settings reach the Backup page: switching the generated name on proposes one at once, and a new
// default folder moves the proposal; a file the user picked stays what it is.
TEST_F(MainWindowTest, ChangedSettingsReachTheBackupPage) {
    Put(s.state.paths.SettingsFile, "[backup]\r\nbackupfolder=" + sample.backups + "\r\n");
    Open();
    EXPECT_EQ(Text(main, IDC_TARGET_FILE), "");
    auto settings = [&](const std::function<void(HWND)>& change) {
        Menu(IDM_SETTINGS);
        HWND dialog = WaitForWindow("Settings");
        ASSERT_TRUE(dialog);
        ShowTab(dialog, IDC_SETTINGS_TABS, 1);
        change(dialog);
        PostClick(dialog, IDOK);
        ASSERT_TRUE(WaitUntilGone(dialog));
    };
    settings([](HWND dialog) { Click(dialog, IDC_GENERATE_FILE_NAME); });
    EXPECT_TRUE(WaitUntil([&] {
        return Text(main, IDC_TARGET_FILE).rfind(sample.backups + "\\kestrine-Outlook-", 0) == 0;
    })) << Text(main, IDC_TARGET_FILE);

    const std::string moved = Scratch::MakeFolder(s.dir / "moved");
    settings([&](HWND dialog) { Type(dialog, IDC_BACKUP_FOLDER, moved); });
    EXPECT_TRUE(WaitUntil(
        [&] { return Text(main, IDC_TARGET_FILE).rfind(moved + "\\kestrine-Outlook-", 0) == 0; }));
    // Backup Now writes there at once, without choosing the profile again.
    PostClick(main, IDC_APPLY);
    OpenGate();
    EXPECT_EQ(AnswerMessageBox().text, "Please select at least one item.");

    s.dialogs.chosenFile = sample.backups + "\\mine.ksx";
    Click(main, IDC_BROWSE_TARGET);
    settings([&](HWND dialog) { Type(dialog, IDC_BACKUP_FOLDER, sample.backups); });
    EXPECT_EQ(Text(main, IDC_TARGET_FILE), sample.backups + "\\mine.ksx");
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
