// The scheduled-backup dialog under Wine, driven through its window, with a recording stand-in for
// the system's schtasks.exe; and the unattended run that the registered task starts.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/policy.h"
#include "app/settings.h"
#include "base/text.h"
#include "platform/program_run.h"
#include "platform/system.h"
#include "schedule/auto_backup.h"
#include "schedule/command_line.h"
#include "schedule/scheduled_task.h"
#include "schedule/task_commands.h"
#include "schedule/task_definition.h"
#include "schedule/task_password.h"
#include "schedule/task_scheduler.h"
#include "schedule/unattended.h"
#include "task_query_sample.h"
#include "ui/scheduler_model.h"
#include "ui/scheduler_texts.h"
#include "ui/win/resource.h"
#include "ui/win/scheduler_dialog.h"
#include "win_scratch.h"
#include "window_driver.h"

namespace kestrine::test {
namespace {

const std::string kProgram = "C:\\Program Files\\Kestrine\\kestrine.exe";
// "%" would be an environment variable to the Task Scheduler; protected, it reaches the run. Its
// 64 characters, protected, make a tail that no "/tr" could carry.
const std::string kPassword = "pass %1% word " + std::string(50, 'x');

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
        s.state.environment.ProfileNames = {"Outlook", "Work"};
        setup = schedule::SchedulerSetupFor(s.state.environment, s.state.paths);
        setup.programPath = kProgram;
        CopyTestProgram("fake_schtasks.exe", platform::Widen(system32 + "\\schtasks.exe"));
        SetEnvironmentVariableW(L"KESTRINE_SCHTASKS_RECORD", platform::Widen(record).c_str());
        SetEnvironmentVariableW(L"KESTRINE_SCHTASKS_TASK", platform::Widen(listed).c_str());
        SetEnvironmentVariableW(L"KESTRINE_SCHTASKS_DEFINITION",
                                platform::Widen(definition).c_str());
    }
    ~SchedulerDialogTest() override {
        SetEnvironmentVariableW(L"KESTRINE_SCHTASKS_FAIL", nullptr);
        SetEnvironmentVariableW(L"KESTRINE_SCHTASKS_DEFINITION", nullptr);
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
    const std::string listed = s.dir / "task.txt";            // the task the Task Scheduler knows
    const std::string definition = s.dir / "definition.xml";  // the last one registered
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

    // The user's own task is registered from its definition in one step, which a file of the
    // run folder carries and which goes afterwards; then the task of the shared name of earlier
    // versions is asked after (it is nobody's here).
    auto runs = Recorded();
    ASSERT_EQ(runs.size(), 2u);
    for (const auto& run : runs)
        EXPECT_TRUE(base::EqualsNoCase(run.program, system32 + "\\schtasks.exe")) << run.program;
    const std::string create = runs[0].command, at = "/xml \"";
    const std::string file =
        create.substr(create.find(at) + 6, create.size() - create.find(at) - 10);
    EXPECT_EQ(create, schedule::CreateFromDefinitionCommand(name, file));
    EXPECT_EQ(file.rfind(s.state.paths.TempFolder + "\\~kestrine.run-", 0), 0u) << file;
    EXPECT_FALSE(Exists(file.substr(0, file.rfind('\\'))));
    EXPECT_EQ(runs[1].command, "schtasks /query /xml /tn \"Kestrine AutoBackup\"");
    const std::string xml = Get(definition);
    for (const char* part : {"<Command>\"C:\\Program Files\\Kestrine\\kestrine.exe\"</Command>",
                             "T07:05:00</StartBoundary>", "<Monday />\r\n          <Sunday />"})
        EXPECT_NE(xml.find(part), std::string::npos) << part;
    const size_t start = xml.find("<Arguments>") + 11;  // nothing in it to unescape
    const std::string tail = xml.substr(start, xml.find("</Arguments>") - start);
    EXPECT_GT(tail.size(), 261u);  // more than a "/tr" could carry
    EXPECT_EQ(tail.rfind("sf=Workxm=110000001ps=\"KP1-", 0), 0u) << tail;
    EXPECT_EQ(tail.find('%'), std::string::npos) << tail;

    // Added with no stored choice, the task writes a new file each run, as the settings show.
    EXPECT_EQ(ReadINIValue(s.state.paths.SettingsFile, "autobackup", "autobackupfile"), "1");

    // The task starts the program with its arguments; they back up "Work" with the password,
    // which the log never shows.
    s.state.CommandLine = tail;
    const archive::ZipOptions zip;
    auto result = schedule::RunAutoBackup(s.state, zip);
    EXPECT_EQ(result.exitStatus, schedule::kExitAllSucceeded);
    EXPECT_EQ(s.Log().find(kPassword), std::string::npos);
    EXPECT_EQ(result.archivePath.rfind(s.app + "\\kestrine-Work-", 0), 0u) << result.archivePath;
    auto view = ReadArchive(result.archivePath, kPassword);
    EXPECT_EQ(view.manifest.header.identity, "Work");
    EXPECT_EQ(Count(view.names, "archive.pst"), 1);
    EXPECT_EQ(Count(view.names, "a.pst"), 0);
}

// What an administrator set (read from the registry): the folder, days, start time and password
// protection show greyed, marked "Set by your administrator", and the task registered has them.
TEST_F(SchedulerDialogTest, PolicySetControlsAreGreyedAndReachTheTask) {
    const std::string share = Scratch::MakeFolder(s.dir / "share");
    s.SetPolicy(kPolicyBackupFolder, share);
    s.SetPolicy(kPolicyScheduleDays, "Tue");
    s.SetPolicy(kPolicyScheduleTime, "18:30", false);
    s.SetPolicy(kPolicyRequirePassword, 1);
    setup = schedule::SchedulerSetupFor(s.state.environment, s.state.paths);
    setup.programPath = kProgram;
    {
        ModalThread shown([&] { return ui::win::ShowSchedulerDialog(nullptr, setup); });
        HWND dialog = WaitForWindow("Task Scheduler");
        ASSERT_TRUE(dialog);
        auto noted = [&](int note) {
            return IsWindowVisible(Control(dialog, note)) &&
                   Text(dialog, note) == kSetByAdministrator;
        };
        EXPECT_EQ(Text(dialog, IDC_TASK_TARGET_FILE), share + "\\kestrine-Outlook.ksx");
        EXPECT_FALSE(Enabled(dialog, IDC_TASK_BROWSE_TARGET));
        EXPECT_TRUE(noted(IDC_TASK_POLICY_FOLDER));
        for (int day = 0; day < 7; ++day) {
            EXPECT_EQ(Checked(dialog, IDC_TASK_MONDAY + day), day == 1) << day;
            EXPECT_FALSE(Enabled(dialog, IDC_TASK_MONDAY + day)) << day;
        }
        EXPECT_FALSE(Enabled(dialog, IDC_TASK_DAILY) || Enabled(dialog, IDC_TASK_START_TIME));
        EXPECT_EQ(Text(dialog, IDC_TASK_START_TIME), "18:30");
        EXPECT_TRUE(noted(IDC_TASK_POLICY_SCHEDULE));
        EXPECT_TRUE(Checked(dialog, IDC_TASK_PROTECT));
        EXPECT_FALSE(Enabled(dialog, IDC_TASK_PROTECT));
        EXPECT_TRUE(noted(IDC_TASK_POLICY_PROTECT));
        Click(dialog, IDC_TASK_ITEM_FIRST + 2);
        Type(dialog, IDC_TASK_PASSWORD, kPassword);
        Type(dialog, IDC_TASK_PASSWORD2, kPassword);
        PostClick(dialog, IDC_TASK_ADD);
        EXPECT_EQ(AnswerMessageBox().text, "Task " + name + " has been scheduled.");
        EXPECT_TRUE(shown.Result());
    }
    const std::string xml = Get(definition);
    for (const std::string& part :
         {std::string("T18:30:00</StartBoundary>"), std::string("<Tuesday />"),
          "bf=" + share + "\\kestrine-Outlook.ksx</Arguments>"})
        EXPECT_NE(xml.find(part), std::string::npos) << part;
    EXPECT_EQ(xml.find("<Monday />"), std::string::npos);
}

TEST_F(SchedulerDialogTest, AFailedCreateSaysWhyKeepsTheTaskAndRunsItNow) {
    SetEnvironmentVariableW(L"KESTRINE_SCHTASKS_FAIL", L"ERROR: Access is denied.");
    ModalThread shown([&] { return ui::win::ShowSchedulerDialog(nullptr, setup); });
    HWND dialog = WaitForWindow("Task Scheduler");
    PostClick(dialog, IDC_TASK_RUN_NOW);  // nothing is scheduled yet
    EXPECT_EQ(AnswerMessageBox().text, ui::kRunNothingMessage);
    Put(listed, test::kTaskQueryList);  // the task of before, which a failed create keeps
    Click(dialog, IDC_TASK_ITEM_FIRST + 5);
    PostClick(dialog, IDC_TASK_ADD);
    auto seen = AnswerMessageBox();
    EXPECT_EQ(seen.text, "Task " + name + " was not scheduled.\r\n\r\nERROR: Access is denied.");
    EXPECT_EQ(seen.icon, "critical");
    EXPECT_TRUE(shown.Running());
    EXPECT_NE(Text(dialog, IDC_TASK_STATUS).find("does not run on battery power"),
              std::string::npos);
    PostClick(dialog, IDC_TASK_RUN_NOW);
    EXPECT_EQ(AnswerMessageBox().text,
              "Task " + name + " could not be started.\r\n\r\nERROR: Access is denied.");
    SetEnvironmentVariableW(L"KESTRINE_SCHTASKS_FAIL", nullptr);
    PostClick(dialog, IDC_TASK_RUN_NOW);
    seen = AnswerMessageBox();
    EXPECT_EQ(seen.text, "Task " + name +
                             " has been started: it backs up now, and the log tells how it went.");
    EXPECT_EQ(seen.icon, "information");
    PostClick(dialog, IDC_TASK_DISABLE);
    EXPECT_EQ(AnswerMessageBox().text, "Task " + name + " has been Delete.");
    PostClick(dialog, IDCANCEL);
    EXPECT_FALSE(shown.Result());
    // Nothing was ended or deleted before the failed create, nor after it: only "Disable" did.
    auto runs = Recorded();
    ASSERT_EQ(runs.size(), 6u);
    EXPECT_EQ(runs[0].command.rfind("schtasks /create /tn \"" + name + "\" /xml ", 0), 0u);
    EXPECT_EQ(runs[1].command, schedule::RunTaskCommand(name));
    EXPECT_EQ(runs[2].command, schedule::RunTaskCommand(name));
    EXPECT_EQ(runs[3].command, schedule::QueryTaskCommand(schedule::kSharedTaskName));
    EXPECT_EQ(runs[4].command, schedule::EndTaskCommand(name));
    EXPECT_EQ(runs[5].command, schedule::DeleteTaskCommand(name));
}

// The stand-in holds to Windows' rules: a "/tr" of more than 261 characters is invalid syntax, and
// a definition must be UTF-16 and hold the task's trigger and action.
TEST_F(SchedulerDialogTest, TheStandInRefusesWhatWindowsRefuses) {
    const std::string file = s.dir / "task.xml", full = schedule::TaskDefinitionFile({}, {});
    const std::pair<std::string, const char*> answers[] = {
        {std::string(261, 'a'), "SUCCESS"},
        {std::string(262, 'a'),
         "ERROR: Invalid syntax. Value for '/tr' option cannot be more "
         "than 261 character(s).\r\n"},
        {"<Task ><Triggers/><Actions><Exec><Command>c</Command>",
         "ERROR: The task XML is malformed."},
        {full.substr(0, 400), "ERROR: The task XML is missing a required element or attribute."},
        {full, "SUCCESS"}};
    for (const auto& [value, answer] : answers) {
        const bool tr = value.starts_with("aaa");
        if (!tr) Put(file, value);
        const auto run = platform::RunHiddenAndWait(
            system32 + "\\schtasks.exe",
            tr ? "schtasks /create /sc WEEKLY /tn x /tr \"" + value + "\""
               : schedule::CreateFromDefinitionCommand("x", file));
        EXPECT_EQ(run.output.rfind(answer, 0), 0u) << run.output;
        EXPECT_EQ(run.exitCode, std::string(answer) == "SUCCESS" ? 0u : 1u);
    }
}

// Wine's own Task Scheduler registers the dialog's definition. It keeps the task's conditions (its
// stored form drops the trigger, the action and the logon type, which the definition shows above).
TEST_F(SchedulerDialogTest, WinesTaskSchedulerRegistersTheDefinition) {
    wchar_t overrides[256] = {};  // a run of its own (scheduler_wine_task_test) has no stand-in
    if (GetEnvironmentVariableW(L"KESTRINE_DLLOVERRIDES", overrides, 256)) GTEST_SKIP();
    ui::SchedulerModel m = ui::OpenScheduler({"Work"});
    ui::ChooseProfile(m, "Work", {}, s.app);
    m.items[5].ticked = m.days[1] = m.protect = true;
    m.password = m.password2 = kPassword;
    const auto plan = ui::PlanAddTask(m, kProgram, {name, setup.protect, setup.userId});
    ASSERT_FALSE(plan.refusal);
    const auto added = schedule::RegisterTask(
        name, schedule::TaskDefinitionFile(plan.task, platform::Now()), setup.tempFolder);
    EXPECT_TRUE(added.done) << added.exitCode << " " << added.output;
    const std::string stored = platform::WindowsFolder() + "\\system32\\tasks\\" + name;
    const std::string text = Exists(stored) ? Get(stored) : "";
    for (const char* part : {"<StartWhenAvailable>true</StartWhenAvailable>",
                             "<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>",
                             "<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>",
                             "<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>",
                             "<ExecutionTimeLimit>PT13H</ExecutionTimeLimit>"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    EXPECT_EQ(
        platform::RunHiddenAndWait(system32 + "\\schtasks.exe", schedule::DeleteTaskCommand(name))
            .exitCode,
        0u);
    EXPECT_FALSE(Exists(stored));
}

// A password that the system's data protection cannot turn back (another user's or computer's)
// never becomes a backup; the task's one archive stays.
TEST_F(SchedulerDialogTest, APasswordTheSystemCannotUnprotectMakesNoBackup) {
    const std::string target = s.app + "\\weekly.ksx";
    Put(target, "last week's backup");
    Put(s.state.paths.SettingsFile, "[autobackup]\r\nautobackupfile=0\r\n");
    s.state.CommandLine = "sf=Workxm=100000000ps=" + std::string(schedule::kProtectedMarker) +
                          "AAAAAAAAAAAAAAAAAAAAAAAAbf=" + target;
    const archive::ZipOptions zip;
    EXPECT_TRUE(schedule::RunAutoBackup(s.state, zip).refused);
    EXPECT_EQ(Get(target), "last week's backup");
}

}  // namespace
}  // namespace kestrine::test
