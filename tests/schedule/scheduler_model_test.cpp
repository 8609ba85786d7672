#include <gtest/gtest.h>

#include "schedule/command_line.h"
#include "schedule/scheduler_model.h"
#include "schedule/task_commands.h"

namespace kestrine::schedule {
namespace {

using platform::MessageIcon;

const std::string kProgram = "C:\\Program Files\\Kestrine\\kestrine.exe";

SchedulerModel Ready(const std::string& profile = "Outlook") {
    SchedulerModel m = OpenScheduler({profile});
    ChooseProfile(m, profile, {}, "C:\\Backup");
    for (auto& item : m.items) item.ticked = true;
    return m;
}

TEST(ScheduledTask, TheCommandsByteForByte) {
    SchedulerModel m = Ready();
    m.days[0] = m.days[2] = true;  // Monday, Wednesday
    auto plan = PlanAddTask(m, kProgram);
    ASSERT_FALSE(plan.refusal);
    EXPECT_EQ(
        plan.commands,
        (std::vector<std::string>{
            R"(schtasks /end  /tn "Kestrine AutoBackup")",
            R"(schtasks /delete /f  /tn "Kestrine AutoBackup")",
            R"(schtasks /create /sc WEEKLY /d Mon,Wed /st 09:00:00 /tn "Kestrine AutoBackup" /tr "\"C:\Program Files\Kestrine\kestrine.exe\" sf=Outlookxm=111111111ps=bf=C:\Backup\kestrine-Outlook.ksx")"}));
    EXPECT_EQ(plan.tail, "sf=Outlookxm=111111111ps=bf=C:\\Backup\\kestrine-Outlook.ksx");

    // What the unattended run reads back is what was scheduled.
    m = Ready("My Mail");
    m.items[0].ticked = false;
    m.protect = true;
    m.password = m.password2 = " pass word ";
    auto c = ParseUnattendedTail(PlanAddTask(m, kProgram).tail);
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.profile, "My Mail");
    EXPECT_EQ(c.mask, "011111111");
    EXPECT_EQ(c.password, " pass word ");
    EXPECT_EQ(c.archive, "C:\\Backup\\kestrine-My Mail.ksx");
}

TEST(ScheduledTask, DayLists) {
    std::array<bool, 7> days{};
    EXPECT_EQ(TaskDays(days), "*");
    days[6] = true;
    EXPECT_EQ(TaskDays(days), "Sun");
    days[0] = true;
    EXPECT_EQ(TaskDays(days), "Mon,Sun");
    days.fill(true);
    EXPECT_EQ(TaskDays(days), "Mon,Tue,Wed,Thu,Fri,Sat,Sun");
}

TEST(ScheduledTask, StartTimes) {
    auto choices = StartTimeChoices();
    ASSERT_EQ(choices.size(), 48u);
    EXPECT_EQ(choices[1], "0:30");
    EXPECT_EQ(choices[18], "9:00");
    EXPECT_EQ(choices.back(), "23:30");
    for (auto [typed, sent] : {std::pair{"9:00", "09:00"},
                               {"7:5", "07:05"},
                               {" 21:30 ", "21:30"},
                               {"9:00 PM", "21:00"},
                               {"12:15am", "00:15"},
                               {"7:30:15", "07:30"}})
        EXPECT_EQ(TaskStartTime(typed), std::optional<std::string>(sent)) << typed;
    for (const char* typed :
         {"", "9", "24:00", "9:60", "nine", "9:00 XM", "13:00 PM", "9:0a", "-1:00"})
        EXPECT_FALSE(TaskStartTime(typed)) << typed;
}

TEST(ScheduledTask, RefusalsInTheirOrder) {
    auto refusal = [](const SchedulerModel& m) {
        auto plan = PlanAddTask(m, kProgram);
        EXPECT_TRUE(plan.commands.empty() || !plan.refusal);
        return plan.refusal.value_or(ui::Message{});
    };
    SchedulerModel m = OpenScheduler({});
    m.protect = true;
    m.startTime = "soon";
    EXPECT_EQ(refusal(m), (ui::Message{kNoItemMessage, MessageIcon::Exclamation}));
    m.items[3].ticked = true;
    EXPECT_EQ(refusal(m), (ui::Message{kNoFileMessage, MessageIcon::Exclamation}));
    m.targetFile = "C:\\b=1.ksx";
    EXPECT_EQ(refusal(m), (ui::Message{kNoPasswordMessage, MessageIcon::Critical}));
    m.password2 = "x";
    EXPECT_EQ(refusal(m), (ui::Message{kPasswordsDifferMessage, MessageIcon::Critical}));
    m.password = "\"x";
    m.password2 = "\"x";
    EXPECT_EQ(refusal(m).text, kStartTimeMessage);
    m.startTime = "7:5";
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
    m.targetFile = "C:\\b.ksx";
    EXPECT_FALSE(PlanAddTask(m, kProgram).refusal);
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
    SetDaily(m, true);
    EXPECT_EQ(TaskDays(m.days), "Mon,Tue,Wed,Thu,Fri,Sat,Sun");
    SetDaily(m, false);
    EXPECT_EQ(TaskDays(m.days), "*");
    m.password = m.password2 = "secret";
    SetProtect(m, true);
    EXPECT_EQ(m.password + m.password2, "");

    auto request = TargetFileRequest(m, "0", "C:\\App", {2026, 12, 5});
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.title, "Save Outlook Data as");
    EXPECT_EQ(request.filter, "Kestrine File (*.ksx)|*.ksx");
    EXPECT_EQ(request.initialFolder, "C:\\App");
    EXPECT_EQ(request.fileName, "kestrine-A_B-12-05-2026");
    EXPECT_EQ(TargetFileRequest(m, "E:\\Stored\\", "C:\\App", {}).initialFolder, "E:\\Stored\\");
}

TEST(ScheduledTask, AFailedCreateSaysWhy) {
    EXPECT_EQ(NotScheduledMessage(true, 1, "\r\nERROR: Access is denied.\r\n"),
              "Task Kestrine AutoBackup was not scheduled.\r\n\r\nERROR: Access is denied.");
    EXPECT_EQ(NotScheduledMessage(true, 5, " \r\n"),
              "Task Kestrine AutoBackup was not scheduled.\r\n\r\nThe Task Scheduler ended with "
              "code 5.");
    EXPECT_NE(NotScheduledMessage(false, 0, "").find("could not be started"), std::string::npos);
}

}  // namespace
}  // namespace kestrine::schedule
