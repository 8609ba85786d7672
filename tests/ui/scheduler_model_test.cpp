// The scheduled-backup dialog's model: what it refuses, the task it defines byte for byte, and
// what it shows of the task. (The dialog that mirrors it, and the run its task starts, are driven
// under Wine with a recording schtasks.exe.)
#include <gtest/gtest.h>

#include "base/text.h"
#include "schedule/command_line.h"
#include "schedule/scheduled_task.h"
#include "schedule/task_commands.h"
#include "schedule/task_definition.h"
#include "schedule/task_password.h"
#include "task_query_sample.h"
#include "ui/scheduler_model.h"
#include "ui/scheduler_texts.h"

namespace kestrine::ui {
namespace {

using namespace schedule;

using platform::MessageIcon;

const std::string kProgram = "C:\\Program Files\\Kestrine\\kestrine.exe";

SchedulerModel Ready(const std::string& profile = "Outlook") {
    SchedulerModel m = OpenScheduler({profile});
    ChooseProfile(m, profile, {}, "C:\\Backup");
    for (auto& item : m.items) item.ticked = true;
    return m;
}

TEST(ScheduledTask, StartTimes) {
    for (auto [typed, sent] : {std::pair{"9:00", "09:00"},
                               {"7:5", "07:05"},
                               {" 21:30 ", "21:30"},
                               {"9:00 PM", "21:00"},
                               {"12:15am", "00:15"},
                               {"1:05 pm", "13:05"},
                               {"7:30:15", "07:30"}})
        EXPECT_EQ(TaskStartTime(typed), std::optional<std::string>(sent)) << typed;
    for (const char* typed : {"", "9", "24:00", "9:60", "nine", "9:00 XM", "13:00 PM", "0:30 AM",
                              "9:0a", "-1:00", "9:005", "009:00"})
        EXPECT_FALSE(TaskStartTime(typed)) << typed;
    // Every time the list offers is one the task takes: each half hour of the day.
    const std::vector<std::string> offered = schedule::StartTimeChoices();
    EXPECT_EQ(offered.size(), 48u);
    for (const std::string& time : offered) EXPECT_TRUE(TaskStartTime(time)) << time;
}

TEST(ScheduledTask, RefusalsInTheirOrder) {
    auto refusal = [](const SchedulerModel& m) {
        auto plan = PlanAddTask(m, kProgram);
        EXPECT_TRUE(plan.task.name.empty() || !plan.refusal);
        return plan.refusal.value_or(ui::Message{});
    };
    SchedulerModel m = OpenScheduler({});
    EXPECT_EQ(refusal(m), (ui::Message{kNoItemMessage, MessageIcon::Exclamation}));
    m.items[3].ticked = true;
    EXPECT_EQ(refusal(m), (ui::Message{kNoFileMessage, MessageIcon::Exclamation}));
    m.targetFile = "C:\\b=1.ksx";
    m.protect = true;
    EXPECT_EQ(refusal(m), (ui::Message{kNoPasswordMessage, MessageIcon::Critical}));
    m.password = "\"x";
    EXPECT_EQ(refusal(m), (ui::Message{kPasswordsDifferMessage, MessageIcon::Critical}));
    m.password2 = "\"x";
    m.startTime = "25:00";
    EXPECT_EQ(refusal(m), (ui::Message{kStartTimeMessage, MessageIcon::Exclamation}));
    m.startTime = "9:30";
    m.profile = "A=B";
    EXPECT_EQ(refusal(m).text,
              "The profile name contains the character = (equals sign), which the scheduled task "
              "cannot pass on to Kestrine.");
    m.profile = "Outlook";
    EXPECT_EQ(refusal(m).text,
              "The password contains the character \" (double quote), which the scheduled task "
              "cannot pass on to Kestrine.");
    m.protect = false;  // an unprotected task carries no password at all
    EXPECT_NE(refusal(m).text.find("The backup file name contains the character ="),
              std::string::npos);
    // The Task Scheduler would put a variable's value for %NAME%; one percent sign stays as it is.
    for (const char* archive : {"C:\\%USERPROFILE%\\b.ksx", "C:\\%%.ksx"}) {
        m.targetFile = archive;
        EXPECT_NE(refusal(m).text.find("The backup file name contains the character % (percent"),
                  std::string::npos);
    }
    m.profile = "Out\tlook";
    EXPECT_EQ(refusal(m).text,
              "The profile name contains a control character, which the "
              "scheduled task cannot pass on to Kestrine.");
    m.profile = "100% Outlook";
    m.targetFile = "C:\\50%\\b.ksx";
    EXPECT_FALSE(PlanAddTask(m, kProgram).refusal);
    // The password reaches the unattended run as typed, blanks and all.
    m.protect = true;
    m.password = m.password2 = " pass word ";
    EXPECT_EQ(ParseUnattendedTail(PlanAddTask(m, kProgram).tail).password, " pass word ");
    // "%" is refused when the password cannot be protected, and protected it is carried.
    m.password = m.password2 = "50%off";
    EXPECT_EQ(refusal(m).text,
              "The password contains the character % (percent sign), which the scheduled task "
              "cannot pass on to Kestrine.");
    TaskOwner owner{
        TaskNameFor("sam"),
        [](const std::string& p) { return std::optional<std::string>("\x01\xff=%\"" + p); }, ""};
    const auto plan = PlanAddTask(m, kProgram, owner);
    const std::string field = ParseUnattendedTail(plan.tail).password;
    EXPECT_EQ(DecodeProtected(field), std::optional<std::string>("\x01\xff=%\"50%off"));
    EXPECT_EQ(field.find_first_of("%= ", 1), std::string::npos) << field;
    EXPECT_EQ(plan.task.name, "Kestrine AutoBackup (sam)");
}

// The task's definition: the dialog's days and time as a weekly trigger counted from its next
// start, the program and the tail as its action, the user's own session, and the conditions a
// laptop needs; registered from a UTF-16 file that replaces the task in one step.
TEST(ScheduledTask, TheDefinitionCarriesTheDialogsChoices) {
    SchedulerModel m = Ready("Work & <Home>");
    for (size_t i = 0; i < m.items.size(); ++i) m.items[i].ticked = i == 0 || i == 1 || i == 8;
    m.days[0] = m.days[6] = true;
    m.startTime = "7:5";
    m.protect = true;
    m.password = m.password2 = "pw";
    const TaskOwner owner{"Kestrine AutoBackup (sam)",
                          [](const std::string& p) { return std::optional<std::string>("s" + p); },
                          "S-1-5-21-7"};
    const auto plan = PlanAddTask(m, kProgram, owner);
    EXPECT_EQ(plan.tail, "sf=Work & <Home>xm=110000001ps=" + EncodeProtected("spw") +
                             "bf=C:\\Backup\\kestrine-Work & _Home_.ksx");
    // The conditions are read back from Wine's Task Scheduler (scheduler_dialog_win_test).
    const std::string xml = TaskDefinitionXml(plan.task, {2026, 12, 31, 7, 5, 0});
    for (const char* part :
         {"<StartBoundary>2027-01-01T07:05:00</StartBoundary>",
          "<DaysOfWeek>\r\n          <Monday />\r\n          <Sunday />\r\n        </Days",
          "<UserId>S-1-5-21-7</UserId>", "<LogonType>InteractiveToken</LogonType>",
          "<RunLevel>LeastPrivilege</RunLevel>",
          "<Command>\"C:\\Program Files\\Kestrine\\kestrine.exe\"</Command>",
          "<Arguments>sf=Work &amp; &lt;Home&gt;xm="})
        EXPECT_NE(xml.find(part), std::string::npos) << part;
    // The task outlives the run's longest wait for Outlook, in whole hours.
    EXPECT_EQ(TaskTimeLimitHours(kDefaultWaitForOutlookMinutes), 13);
    EXPECT_EQ(TaskTimeLimitHours(61), 3);
    EXPECT_NE(xml.find("<ExecutionTimeLimit>PT13H</ExecutionTimeLimit>"), std::string::npos);
    // No day chosen: every day, from today while the time is to come.
    TaskDefinition every = plan.task;
    every.days = {};
    const std::string text = TaskDefinitionXml(every, {2026, 12, 8, 7, 4, 0});
    EXPECT_NE(text.find("2026-12-08T07:05:00</StartBoundary>"), std::string::npos);
    EXPECT_NE(text.find("<Wednesday />\r\n          <Thursday />"), std::string::npos);
    EXPECT_EQ(FirstStartDate({2028, 2, 28, 23, 59, 0}, "09:00"), "2028-02-29");
    EXPECT_EQ(FirstStartDate({2027, 2, 28, 9, 0, 0}, "09:00"), "2027-03-01");
    EXPECT_EQ(FirstStartDate({2100, 2, 28, 9, 0, 0}, "09:00"), "2100-03-01");  // no leap year
    EXPECT_EQ(FirstStartDate({2000, 2, 28, 9, 0, 0}, "09:00"), "2000-02-29");  // a leap year
    EXPECT_EQ(CreateFromDefinitionCommand("K (sam)", "C:\\Run Folder\\task.xml"),
              "schtasks /create /tn \"K (sam)\" /xml \"C:\\Run Folder\\task.xml\" /f");
    EXPECT_EQ(RunTaskCommand("K (sam)"), "schtasks /run /tn \"K (sam)\"");
}

TEST(ScheduledTask, ProtectedPasswordsAreTextAndCannotBeMistaken) {
    // Every length of bytes comes back; cut or foreign text is no protected password.
    std::string bytes = "\x01";
    for (int n = 0; n < 40; ++n) {
        const std::string field = EncodeProtected(bytes);
        EXPECT_TRUE(IsProtectedPassword(field));
        EXPECT_EQ(DecodeProtected(field), std::optional<std::string>(bytes)) << n;
        bytes += static_cast<char>(n * 37 + 200);
    }
    EXPECT_FALSE(DecodeProtected(std::string(kProtectedMarker) + "A"));
    EXPECT_FALSE(DecodeProtected(kProtectedMarker));
    EXPECT_FALSE(DecodeProtected(std::string(kProtectedMarker) + "AB%D"));
    EXPECT_FALSE(DecodeProtected("plainQUJD"));  // without the marker, even when the rest decodes
    // A password in clear can never begin like a protected one: the dialog refuses the quote.
    SchedulerModel m = Ready();
    m.protect = true;
    m.password = m.password2 = std::string(kProtectedMarker) + "AAAA";
    EXPECT_TRUE(PlanAddTask(m, kProgram).refusal);
    EXPECT_EQ(TaskPasswordField("", {}), std::optional<std::string>(""));
    // Where the system cannot protect it (or gives nothing back), a password goes in clear if the
    // Task Scheduler can pass it on.
    for (const std::optional<std::string>& sealed :
         {std::optional<std::string>(), std::optional<std::string>("")}) {
        const PasswordProtector failing = [&](const std::string&) { return sealed; };
        EXPECT_EQ(TaskPasswordField("pw", failing), std::optional<std::string>("pw"));
        EXPECT_FALSE(TaskPasswordField("50%off", failing));
    }
    std::string secret = "wipe me";
    Wipe(secret);
    EXPECT_TRUE(secret.empty());
}

TEST(ScheduledTask, ChoicesOfTheDialog) {
    SchedulerModel m = Ready();
    ui::ItemBoxes offered{};
    offered[2].enabled = false;
    offered[4].ticked = true;
    ChooseProfile(m, "A:B", offered, "D:\\Backups");
    EXPECT_EQ(m.targetFile, "D:\\Backups\\kestrine-A_B.ksx");
    for (const auto& item : m.items) EXPECT_FALSE(item.ticked);
    EXPECT_FALSE(m.items[2].enabled);

    m.days[1] = true;
    SetDaily(m, false);
    EXPECT_EQ(m.days, (std::array<bool, 7>{}));
    m.password = m.password2 = "a";
    SetProtect(m, false);  // switched off, both boxes are emptied
    EXPECT_EQ(m.password + m.password2, "");

    // The proposal is a backup file, and carries no date: each run may date its own archive.
    auto request = TargetFileRequest(m, "0", "C:\\App");
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.title, "Save Outlook Data as");
    EXPECT_EQ(request.filter, "Kestrine File (*.ksx)|*.ksx");
    EXPECT_EQ(request.initialFolder, "C:\\App");
    EXPECT_EQ(request.fileName, "kestrine-A_B.ksx");
    EXPECT_EQ(TargetFileRequest(m, "E:\\Stored\\", "C:\\App").initialFolder, "E:\\Stored\\");
    // What the user types gets the backup extension, once.
    const std::pair<const char*, const char*> chosen[] = {{"D:\\Weekly", "D:\\Weekly.ksx"},
                                                          {"D:\\Weekly.KSX", "D:\\Weekly.KSX"},
                                                          {"D:\\my.backup", "D:\\my.backup.ksx"}};
    for (const auto& [typed, kept] : chosen) {
        ChooseTargetFile(m, typed);
        EXPECT_EQ(m.targetFile, kept);
    }
    ChooseTargetFile(m, "");  // cancelled: nothing changes
    EXPECT_EQ(m.targetFile, "D:\\my.backup.ksx");
}

TEST(ScheduledTask, AFailedCreateSaysWhy) {
    EXPECT_EQ(NotScheduledMessage("Kestrine AutoBackup (sam)", true, 5, " \r\n"),
              "Task Kestrine AutoBackup (sam) was not scheduled.\r\n\r\nThe Task Scheduler ended "
              "with code 5.");
    EXPECT_NE(NotScheduledMessage("K", false, 0, "").find("could not be started"),
              std::string::npos);
    TaskOutcome unwritten;
    unwritten.written = false;
    EXPECT_NE(AddedTaskMessage("K", unwritten).text.find("could not be written"),
              std::string::npos);
    // Whose task a query shows: by SID or by name, the domain aside, also in UTF-16 output.
    const std::string xml = "<Task><UserId>\r\n  PC\\Sam </UserId></Task>";
    EXPECT_TRUE(TaskBelongsTo(xml, "sam", "S-1-5-21-1"));
    EXPECT_FALSE(TaskBelongsTo(xml, "alice", "S-1-5-21-1"));
    EXPECT_TRUE(TaskBelongsTo("<UserId>s-1-5-21-1</UserId>", "alice", "S-1-5-21-1"));
    std::string wide;
    for (char c : std::string("<UserId>sam</UserId>")) wide += std::string(1, c) + '\0';
    EXPECT_TRUE(TaskBelongsTo(wide, "sam", ""));
    EXPECT_FALSE(TaskBelongsTo("ERROR: The system cannot find the file specified.", "sam", ""));
    EXPECT_FALSE(TaskBelongsTo("<UserId></UserId>", "", ""));
}

// What is scheduled, read back from the Task Scheduler's list: by English labels, or by place when
// Windows speaks another language; never the password of the task's action.
TEST(ScheduledTask, ReadBackFromTheTaskScheduler) {
    const ScheduledTask task = ReadTaskQuery(test::kTaskQueryList);
    EXPECT_EQ(task.days, "MON, WED");
    EXPECT_EQ(task.startTime, "9:00:00 AM");
    EXPECT_EQ(task.nextRun, "12/9/2026 9:00:00 AM");
    EXPECT_EQ(task.lastRun, "12/2/2026 9:00:01 AM");
    EXPECT_EQ(task.lastResult, "1");
    EXPECT_EQ(task.profile, "Outlook");
    EXPECT_EQ(task.archive, "D:\\Backup\\kestrine-Outlook.ksx");

    // A console that writes CR LF for each LF leaves CR CR LF.
    EXPECT_EQ(ReadTaskQuery(base::ReplaceAll(test::kTaskQueryList, "\r\n", "\r\r\n")).archive,
              task.archive);

    std::string translated = test::kTaskQueryList;
    for (const char* label : {"HostName:", "Next Run Time:", "Last Run Time:", "Last Result:",
                              "Task To Run:", "Start Time:", "Days:"})
        translated = base::ReplaceAll(translated, label, std::string(label).replace(0, 2, "Xx"));
    // Found by place also where the task's name has no leading backslash, and by English label
    // where the places differ (a line fewer).
    for (const std::string& listing :
         {translated, base::ReplaceAll(translated, "\\Kestrine AutoBackup", "Kestrine AutoBackup"),
          base::ReplaceAll(test::kTaskQueryList, "Status:                               Ready\r\n",
                           "")}) {
        const ScheduledTask placed = ReadTaskQuery(listing);
        EXPECT_EQ(placed.nextRun, task.nextRun);
        EXPECT_EQ(placed.lastRun, task.lastRun);
        EXPECT_EQ(placed.lastResult, task.lastResult);
        EXPECT_EQ(placed.archive, task.archive);
        EXPECT_EQ(placed.startTime, task.startTime);
        EXPECT_EQ(placed.days, task.days);
    }

    const std::string text = ScheduledTaskText({true, true, task}, true);
    EXPECT_EQ(text,
              "Backs up profile Outlook on MON, WED at 9:00:00 AM; next run: 12/9/2026 9:00:00 "
              "AM.\r\nIt does not run on battery power (a task of an earlier version): add the "
              "task again to replace it.\r\nLast run: 12/2/2026 9:00:01 AM: the backup was "
              "written, but an item failed "
              "(see the log).\r\nEach run writes a new file: "
              "D:\\Backup\\kestrine-Outlook-MM-DD-YYYY-HH-MM.ksx.");
    EXPECT_EQ(text.find("secret"), std::string::npos);
    // A task of its own definition: no battery conditions.
    ScheduledTask fresh =
        ReadTaskQuery(base::ReplaceAll(test::kTaskQueryList, "Stop On Battery Mode", ""));
    EXPECT_FALSE(HeldByBattery(fresh));
    fresh.lastResult = "267011";
    EXPECT_NE(ScheduledTaskText({true, true, fresh}, false)
                  .find("AM.\r\nIt runs while you are logged on, on battery power too.\r\nIt has "
                        "not run yet.\r\nEach run replaces D:\\Backup\\kestrine-Outlook.ksx."),
              std::string::npos);
    EXPECT_EQ(ScheduledTaskText({true, false, {}}, true), kNothingScheduledText);
    EXPECT_EQ(ScheduledTaskText({true, true, ReadTaskQuery("INFO: not supported.\r\n")}, true),
              kUnreadTaskText);
    EXPECT_NE(ScheduledTaskText({false, false, {}}, true).find("could not be asked"),
              std::string::npos);
    EXPECT_EQ(ListTaskCommand("Kestrine AutoBackup (sam)"),
              "schtasks /query /fo LIST /v /tn \"Kestrine AutoBackup (sam)\"");
}

}  // namespace
}  // namespace kestrine::ui
