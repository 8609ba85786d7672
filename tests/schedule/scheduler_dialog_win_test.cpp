// The scheduled-backup dialog under Wine, driven through its window, with a recording stand-in for
// the system's schtasks.exe; and the unattended run that the registered task starts.
#include <gtest/gtest.h>
#include <windows.h>
//
#include <shellapi.h>

#include "app/settings.h"
#include "base/text.h"
#include "platform/system.h"
#include "schedule/auto_backup.h"
#include "schedule/command_line.h"
#include "schedule/scheduled_task.h"
#include "schedule/task_commands.h"
#include "schedule/task_password.h"
#include "schedule/task_scheduler.h"
#include "schedule/unattended.h"
#include "ui/scheduler_texts.h"
#include "ui/win/resource.h"
#include "ui/win/scheduler_dialog.h"
#include "win_scratch.h"
#include "window_driver.h"

namespace kestrine::test {
namespace {

const std::string kProgram = "C:\\Program Files\\Kestrine\\kestrine.exe";
// "%" would be an environment variable to the Task Scheduler; protected, it reaches the run.
const std::string kPassword = "pass %1% word";

struct SchtasksRun {
    std::string program;
    std::string command;
};

class SchedulerDialogTest : public ::testing::Test {
  public:
    SchedulerDialogTest() {
        platform::SetMessageHandler(nullptr);  // real message boxes, answered through the window
        const std::string work = s.Profile("Work");
        SetValue(work + "\\13dbb0c8aa05101a9bb000aa002fc45a", "01020fff", kBinary,
                 StoreValueUtf16(sample.mail2 + "\\archive.pst"));
        SetValue(work + "\\9375CFF0413111d3B88A00104B2A6676\\00000001", "Account Name", kSz,
                 SzData("work@example.com"));
        Put(s.folders.roamingOutlook + "\\Work.rwz", "work rules");
        s.state.ProfileNames = {"Outlook", "Work"};
        setup = schedule::SchedulerSetupFor(s.state, s.state);
        setup.programPath = kProgram;
        CopyTestProgram("fake_schtasks.exe", platform::Widen(system32 + "\\schtasks.exe"));
        SetEnvironmentVariableW(L"KESTRINE_SCHTASKS_RECORD", platform::Widen(record).c_str());
        SetEnvironmentVariableW(L"KESTRINE_SCHTASKS_TASK", platform::Widen(listed).c_str());
    }
    ~SchedulerDialogTest() override {
        SetEnvironmentVariableW(L"KESTRINE_SCHTASKS_FAIL", nullptr);
        SetEnvironmentVariableW(L"KESTRINE_SCHTASKS_TASK", nullptr);
        platform::SetFileDialogHandler(nullptr);
    }

    // What the dialog asked the Task Scheduler to do (apart from the list it shows, or only that).
    std::vector<SchtasksRun> Recorded(bool queries = false) {
        std::vector<SchtasksRun> runs;
        std::string text = Exists(record) ? Get(record) : "";
        for (size_t pos = 0, end; (end = text.find('\n', pos)) != std::string::npos;
             pos = end + 1) {
            std::string line = text.substr(pos, end - pos);
            SchtasksRun run{line.substr(0, line.find('\t')), line.substr(line.find('\t') + 1)};
            if (queries == (run.command == schedule::ListTaskCommand(name))) runs.push_back(run);
        }
        return runs;
    }

    Scratch s;
    SampleProfile sample{s};
    const std::string system32 = platform::SystemFolder();
    const std::string record = s.dir / "schtasks.txt";
    const std::string listed = s.dir / "task.txt";  // the task the Task Scheduler knows
    schedule::SchedulerSetup setup;
    const std::string name = schedule::TaskNameFor(platform::UserName());
};

TEST_F(SchedulerDialogTest, TheRegisteredTaskBacksUpTheChosenProfile) {
    // A program of the same name in the current folder must never stand in for the system's.
    TempDir current;
    CopyTestProgram("fake_schtasks.exe", current.path() / "schtasks.exe");
    std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(current.path());
    {
        ModalThread shown([&] { return ui::win::ShowSchedulerDialog(nullptr, setup); });
        HWND dialog = WaitForWindow("Task Scheduler");
        ASSERT_TRUE(dialog);
        EXPECT_EQ(Text(dialog, IDC_TASK_STATUS), ui::kNothingScheduledText);
        EXPECT_EQ(Text(dialog, IDC_TASK_TARGET_FILE), s.app + "\\kestrine-Outlook.ksx");
        EXPECT_EQ(Text(dialog, IDC_TASK_START_TIME), "9:00");
        Choose(dialog, IDC_TASK_PROFILE, 1);
        EXPECT_EQ(Text(dialog, IDC_TASK_TARGET_FILE), s.app + "\\kestrine-Work.ksx");
        for (int item : {0, 1, 8}) Click(dialog, IDC_TASK_ITEM_FIRST + item);
        Click(dialog, IDC_TASK_MONDAY);
        Click(dialog, IDC_TASK_MONDAY + 6);
        Type(dialog, IDC_TASK_START_TIME, "7:5");
        Click(dialog, IDC_TASK_PROTECT);
        Type(dialog, IDC_TASK_PASSWORD, kPassword);
        Type(dialog, IDC_TASK_PASSWORD2, kPassword);
        PostClick(dialog, IDC_TASK_ADD);
        auto seen = AnswerMessageBox();
        EXPECT_EQ(seen.text, "Task " + name + " has been scheduled.");
        EXPECT_EQ(seen.icon, "information");
        EXPECT_EQ(seen.owner, dialog);
        EXPECT_TRUE(shown.Result());
    }
    std::filesystem::current_path(before);

    // The task of the shared name of earlier versions is asked after (it is nobody's here), then
    // the user's own task is replaced.
    auto runs = Recorded();
    ASSERT_EQ(runs.size(), 4u);
    for (const auto& run : runs)
        EXPECT_TRUE(base::EqualsNoCase(run.program, system32 + "\\schtasks.exe")) << run.program;
    EXPECT_EQ(runs[0].command, "schtasks /query /xml /tn \"Kestrine AutoBackup\"");
    EXPECT_EQ(runs[1].command, "schtasks /end  /tn \"" + name + "\"");
    EXPECT_EQ(runs[2].command, "schtasks /delete /f  /tn \"" + name + "\"");
    const std::string create = runs[3].command;
    EXPECT_EQ(create.rfind("schtasks /create /sc WEEKLY /d Mon,Sun /st 07:05:00 /tn \"" + name +
                               "\" /tr \"\\\"C:\\Program Files\\Kestrine\\kestrine.exe\\\" "
                               "sf=Workxm=110000001ps=\\\"KP1-",
                           0),
              0u)
        << create;
    EXPECT_EQ(create.find(kPassword), std::string::npos) << create;
    EXPECT_EQ(create.find('%'), std::string::npos) << create;

    // Added with no stored choice, the task writes a new file each run, as the settings show.
    EXPECT_EQ(ReadINIValue(s.state.SettingsFile, "autobackup", "autobackupfile"), "1");

    // The task starts its action's command line; the tail after the program backs up "Work" with
    // the password, which the log never shows.
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(platform::Widen(create).c_str(), &count);
    ASSERT_EQ(platform::Narrow(args[count - 2]), "/tr");
    s.state.CommandLine = schedule::CommandLineTail(platform::Narrow(args[count - 1]));
    LocalFree(args);
    archive::ZipComponent zip;
    auto result = schedule::RunAutoBackup(s.state, zip);
    EXPECT_EQ(result.exitStatus, schedule::kExitAllSucceeded);
    EXPECT_EQ(s.Log().find(kPassword), std::string::npos);
    EXPECT_EQ(result.archivePath.rfind(s.app + "\\kestrine-Work-", 0), 0u) << result.archivePath;
    auto view = ReadArchive(result.archivePath, kPassword);
    EXPECT_EQ(view.manifest.header.identity, "Work");
    EXPECT_EQ(Count(view.names, "archive.pst"), 1);
    EXPECT_EQ(Count(view.names, "a.pst"), 0);
}

TEST_F(SchedulerDialogTest, AFailedCreateSaysWhyAndKeepsTheDialogOpen) {
    SetEnvironmentVariableW(L"KESTRINE_SCHTASKS_FAIL", L"ERROR: Access is denied.");
    ModalThread shown([&] { return ui::win::ShowSchedulerDialog(nullptr, setup); });
    HWND dialog = WaitForWindow("Task Scheduler");
    Click(dialog, IDC_TASK_ITEM_FIRST + 5);
    PostClick(dialog, IDC_TASK_ADD);
    auto seen = AnswerMessageBox();
    EXPECT_EQ(seen.text, "Task " + name + " was not scheduled.\r\n\r\nERROR: Access is denied.");
    EXPECT_EQ(seen.icon, "critical");
    EXPECT_TRUE(shown.Running());
    PostClick(dialog, IDC_TASK_DISABLE);
    EXPECT_EQ(AnswerMessageBox().text, "Task " + name + " has been Delete.");
    PostClick(dialog, IDCANCEL);
    EXPECT_FALSE(shown.Result());
    auto runs = Recorded();
    ASSERT_EQ(runs.size(), 7u);
    EXPECT_EQ(runs[3].command.rfind("schtasks /create /sc WEEKLY /d * /st 09:00:00 ", 0), 0u);
    EXPECT_EQ(runs[4].command, schedule::QueryTaskCommand(schedule::kSharedTaskName));
    EXPECT_EQ(runs[5].command, schedule::EndTaskCommand(name));
    EXPECT_EQ(runs[6].command, schedule::DeleteTaskCommand(name));
}

// A password that the system's data protection cannot turn back (another user's or computer's)
// never becomes a backup; the task's one archive stays.
TEST_F(SchedulerDialogTest, APasswordTheSystemCannotUnprotectMakesNoBackup) {
    const std::string target = s.app + "\\weekly.ksx";
    Put(target, "last week's backup");
    Put(s.state.SettingsFile, "[autobackup]\r\nautobackupfile=0\r\n");
    s.state.CommandLine = "sf=Workxm=100000000ps=" + std::string(schedule::kProtectedMarker) +
                          "AAAAAAAAAAAAAAAAAAAAAAAAbf=" + target;
    archive::ZipComponent zip;
    EXPECT_TRUE(schedule::RunAutoBackup(s.state, zip).refused);
    EXPECT_EQ(Get(target), "last week's backup");
}

}  // namespace
}  // namespace kestrine::test
