// The unattended backup, natively over a scratch profile: the command line's choices, the dated
// name, the exit status, and a run that shows nothing and leaves its trace in the log only (a
// running Outlook: outlook_wait_test.cpp).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>

#include "app/activity_log.h"
#include "app/last_backup.h"
#include "app/policy.h"
#include "backup/backup_run.h"
#include "base/path.h"
#include "files_held.h"
#include "notification_stand_in.h"
#include "outlook/detection.h"
#include "outlook/inventory.h"
#include "platform/data_protection.h"
#include "platform/file_stream.h"
#include "platform/system.h"
#include "processes_stand_in.h"
#include "program_run_stand_in.h"
#include "recovery/recovery.h"
#include "registry/registry.h"
#include "schedule/auto_backup.h"
#include "schedule/command_line.h"
#include "schedule/failure_notice.h"
#include "schedule/task_commands.h"
#include "schedule/task_password.h"
#include "schedule/task_scheduler.h"
#include "schedule/unattended.h"
#include "scratch.h"
#include "task_query_sample.h"
#include "ui/commands.h"
#include "ui/main_window_presenter.h"
#include "ui/scheduler_model.h"
#include "window_runs.h"
#include "zip_test_util.h"

namespace kestrine::test {
namespace {

class AutoBackup : public ::testing::Test {
  public:
    // Most runs here replace the task's one archive, as the user can choose.
    AutoBackup() { Put(s.state.paths.SettingsFile, "[autobackup]\r\nautobackupfile=0\r\n"); }
    schedule::AutoBackupResult Run(const std::string& mask, const std::string& password = "",
                                   const std::string& profile = "Outlook") {
        s.state.CommandLine = "sf=" + profile + "xm=" + mask + "ps=" + password + "bf=" + target;
        return schedule::RunAutoBackup(s.state, zip);
    }
    void DatedNames() { Put(s.state.paths.SettingsFile, "[autobackup]\r\nautobackupfile=1\r\n"); }

    Scratch s;
    SampleProfile p{s};
    archive::ZipOptions zip;
    std::string target = p.backups + "\\kestrine-Outlook.ksx";
};

TEST_F(AutoBackup, AllItemsReplaceTheDefaultArchive) {
    Put(target, "last week's backup");
    const auto result = Run("111111111");
    EXPECT_EQ(result.exitStatus, 0);  // the number the Task Scheduler shows as the last result
    EXPECT_FALSE(result.refused);
    EXPECT_EQ(result.itemFlags, "11111111111");
    EXPECT_EQ(result.archivePath, target);
    const auto view = ReadArchive(target);
    EXPECT_EQ(view.manifest.header.identity, "Outlook");
    EXPECT_EQ(view.manifest.header.note, "Automatic Backup");
    EXPECT_EQ(view.manifest.entries[1], "a.pst;archive.pst");
    EXPECT_TRUE(s.dialogs.messages.empty());
    EXPECT_EQ(s.AppFiles(), (std::vector<std::string>{"brlog.dat", "settings.dat"}));

    const std::string log = s.Log();
    EXPECT_NE(log.find(" Start Auto Backup Profile Outlook Data...\n\r\n"), std::string::npos);
    // The configuration is logged under the accounts' name.
    EXPECT_EQ(Occurrences(log, " Backup Accounts Settings Succeeded!\n\r\n"), 2u);
    EXPECT_EQ(Occurrences(log, " Succeeded!\n\r\n"), 10u);
    EXPECT_NE(log.find(" Backup Profile Outlook Data was Completed!\r\r\n"), std::string::npos);
    EXPECT_EQ(log.find("Verified"), std::string::npos);  // checked only when asked to or pruning
}

TEST_F(AutoBackup, TheDatedNameDeletesTheDefaultArchiveOnlyAfterTheNewOne) {
    DatedNames();
    Put(target, "last week's backup");
    // What last week's run left when it was ended midway, under last week's name.
    const std::string leftover =
        p.backups + "\\~kestrine-Outlook-01-02-2026-03-04.ksx.writing-1-2.tmp";
    Put(leftover, "half an archive");
    const auto result = Run("001000001");
    EXPECT_FALSE(Exists(leftover));
    EXPECT_EQ(result.exitStatus, 0);
    // kestrine-Outlook-MM-DD-YYYY-HH-MM.ksx
    const std::string name = base::BaseName(result.archivePath);
    const std::string shape = "kestrine-Outlook-00-00-0000-00-00.ksx";
    ASSERT_EQ(name.size(), shape.size()) << name;
    for (size_t i = 0; i < shape.size(); ++i)
        EXPECT_TRUE(shape[i] == '0' ? std::isdigit(static_cast<unsigned char>(name[i])) != 0
                                    : name[i] == shape[i])
            << name;
    EXPECT_TRUE(Exists(result.archivePath));
    EXPECT_FALSE(Exists(target));
}

// Without a stored choice the run does what the settings dialog shows for it: a new, dated file, so
// last week's dated backup stays.
TEST_F(AutoBackup, WithoutAStoredChoiceEachRunWritesANewFile) {
    std::filesystem::remove(Fs(s.state.paths.SettingsFile));
    const std::string lastWeek = p.backups + "\\kestrine-Outlook-11-30-2026-09-00.ksx";
    Put(lastWeek, "last week's backup");
    const auto result = Run("001000001");
    EXPECT_EQ(result.exitStatus, schedule::kExitAllSucceeded);
    EXPECT_NE(result.archivePath, target);
    EXPECT_TRUE(ReadArchive(result.archivePath).manifest.valid);
    EXPECT_EQ(Get(lastWeek), "last week's backup");
}

// What an administrator set wins over settings.dat: the folder (its variables expanded here) and
// the number of dated backups to keep reach the window's backup, the task the scheduler registers
// and a scheduled run of a task registered before; a required password, the schedule's days and
// time too. A task without the password a policy requires writes nothing and keeps what is there.
TEST_F(AutoBackup, PoliciesWinOverTheUsersSettingsEverywhere) {
    Put(s.state.paths.SettingsFile,
        "[Backup]\r\nbackupfolder=" + p.backups +
            "\r\nautomgeneratefile=1\r\n[autobackup]\r\nautobackupfile=1\r\n"
            "keepdatedbackups=5\r\n");
    setenv("USERNAME", "sam", 1);
    const std::string mine = Scratch::MakeFolder(s.dir / "share\\sam");
    s.SetPolicy(kPolicyBackupFolder, s.dir / "share\\%USERNAME%");
    s.SetPolicy(kPolicyKeepNewest, 1, false);
    s.SetPolicy(kPolicyScheduleDays, "Mon,Fri");
    s.SetPolicy(kPolicyScheduleTime, "7:05");

    ui::MainWindowModel window;
    window.backup.sourceProfile = "Outlook";
    window.backup.items[backup_format::IndexOf(backup_format::Choice::Signatures)].ticked = true;
    ui::ProposeTargetFile(window.backup, s.state);
    EXPECT_EQ(base::FolderPart(window.backup.targetFileText), mine);
    window.backup.targetFileText =
        p.backups + "\\picked before.ksx";  // chosen before the policy came
    const WindowBackup byHand = BackupLikeTheWindow(window, s.state, zip);
    EXPECT_TRUE(byHand.result.Written());
    EXPECT_TRUE(ReadArchive(mine + "\\picked before.ksx").manifest.valid);

    ui::SchedulerModel model = ui::OpenScheduler({"Outlook"}, ReadPolicies(s.state.paths.Policy));
    ui::ChooseProfile(model, "Outlook", {}, p.backups);
    ui::ChooseTargetFile(model, p.backups + "\\elsewhere.ksx");
    model.items[backup_format::IndexOf(backup_format::Choice::Signatures)].ticked = true;
    model.days = {true, true, true, true, true, true, true};
    model.startTime = "23:00";
    const ui::AddTaskPlan plan = ui::PlanAddTask(model, "C:\\Kestrine\\kestrine.exe");
    ASSERT_FALSE(plan.refusal);
    EXPECT_EQ(plan.task.archive, mine + "\\elsewhere.ksx");
    EXPECT_EQ(plan.task.days, (std::array<bool, 7>{true, false, false, false, true, false, false}));
    EXPECT_EQ(plan.task.startTime, "07:05");

    // A task registered before: its run writes into the policy's folder and keeps one dated backup
    // (settings.dat says five), the older complete one there going once the new one is checked.
    const std::string older = mine + "\\kestrine-Outlook-01-04-2026-09-00.ksx";
    Put(older, Get(s.MakeArchive("complete.ksx", {},
                                 Scratch::Manifest({{backup_format::Item::Signatures, "s"},
                                                    {backup_format::Item::Contacts, "c"}}))));
    Put(target, "last week's backup");
    const auto result = Run("001000001");
    ASSERT_EQ(result.exitStatus, schedule::kExitAllSucceeded);
    EXPECT_EQ(base::FolderPart(result.archivePath), mine);
    EXPECT_FALSE(Exists(older));
    EXPECT_EQ(Get(target), "last week's backup");

    s.SetPolicy(kPolicyRequirePassword, 1, false);
    model = ui::OpenScheduler({"Outlook"}, ReadPolicies(s.state.paths.Policy));
    EXPECT_TRUE(model.protect);
    ui::SetProtect(model, false);
    EXPECT_TRUE(model.protect);  // the box stays ticked
    const auto refused = Run("001000001");
    EXPECT_TRUE(refused.refused);
    EXPECT_NE(s.Log().find("your administrator requires a password"), std::string::npos);
    EXPECT_TRUE(ReadArchive(result.archivePath).manifest.valid);
    EXPECT_EQ(platform::fileio::ListFileNames(mine).size(), 2u);
    window.backup.protect = false;
    EXPECT_FALSE(BackupLikeTheWindow(window, s.state, zip).started);
    EXPECT_EQ(s.dialogs.messages.back().text, kPasswordRequiredMessage);
    unsetenv("USERNAME");
}

// Keeping the newest dated backups: a checked new archive lets the older ones of its own task go,
// each named in the log; files of any other name stay, and a run that wrote nothing removes
// nothing.
TEST_F(AutoBackup, KeepingTheNewestRemovesOnlyTheTasksOlderDatedArchives) {
    Put(s.state.paths.SettingsFile, "[autobackup]\r\nautobackupfile=1\r\nkeepdatedbackups=2\r\n");
    const std::string dated = p.backups + "\\kestrine-Outlook-";
    const std::vector<std::string> older = {dated + "01-04-2026-09-00.ksx",
                                            dated + "06-01-2026-09-00.KSX"};
    const std::string newest = dated + "11-30-2026-09-00.ksx";
    const std::vector<std::string> others = {p.backups + "\\kestrine-Work-01-01-2020-09-00.ksx",
                                             p.backups + "\\kestrine-Private-01-01-2020-09-00.ksx",
                                             p.backups + "\\notes.ksx",
                                             dated + "01-01-2020-09-00.ksx.bak",
                                             dated + "13-01-2020-09-00.ksx",
                                             p.backups + "\\kestrine-Outlook.txt"};
    // Complete backups of what the task asks for (signatures and contacts).
    const std::string complete =
        Get(s.MakeArchive("complete.ksx", {},
                          Scratch::Manifest({{backup_format::Item::Signatures, "s"},
                                             {backup_format::Item::Contacts, "c"}})));
    for (const auto& file : older) Put(file, complete);
    for (const auto& file : others) Put(file, "not a backup of this task");
    Put(newest, complete);

    // The disk fills up inside the data files: no new archive, every old one stays, no temporary
    // file is left and no item is blamed for the disk.
    auto faults = std::make_shared<StreamFaults>();
    faults->writeBudget = 30000;
    zip.filter = FaultFilter(".writing-", faults);
    EXPECT_EQ(Run("111111111").exitStatus, 2);  // no archive
    EXPECT_EQ(platform::fileio::ListFileNames(p.backups).size(), older.size() + others.size() + 1);
    for (const auto& file : older) EXPECT_TRUE(Exists(file)) << file;
    EXPECT_EQ(s.AppFiles(), (std::vector<std::string>{"brlog.dat", "settings.dat"}));
    EXPECT_NE(s.Log().find(" Data was not Completed!\r\r\n"), std::string::npos);
    EXPECT_EQ(s.Log().find("Fail!"), std::string::npos);
    zip.filter = nullptr;

    const auto result = Run("001000001");
    ASSERT_EQ(result.exitStatus, schedule::kExitAllSucceeded);
    EXPECT_TRUE(ReadArchive(result.archivePath).manifest.valid);
    EXPECT_TRUE(Get(newest) == complete);
    for (const auto& file : others) EXPECT_EQ(Get(file), "not a backup of this task") << file;
    const std::string log = s.Log();
    EXPECT_NE(log.find(" Backup File was Verified!\n\r\n"), std::string::npos);  // checked first
    for (const auto& file : older) {
        EXPECT_FALSE(Exists(file)) << file;
        EXPECT_NE(log.find(" Old Backup File was Removed: " + file + "\n\r\n"), std::string::npos);
    }
    EXPECT_LT(log.rfind(" Backup File was Verified!"), log.find(" Old Backup File was Removed"));
}

// A run that fails an item never costs a complete backup: with one archive it goes beside the
// complete one and says so, until a complete one holds all it held; with dated names the task's
// undated archive stays; keeping the newest counts complete backups only, and a name dated after
// now or another user's file is never pruned.
TEST_F(AutoBackup, ARunThatFailsAnItemKeepsEveryCompleteBackup) {
    const std::string mask = "100000001";
    ASSERT_EQ(Run(mask).exitStatus, schedule::kExitAllSucceeded);
    std::string complete = Get(target);
    platform::fileio::Hold(p.mail + "\\a.pst");
    auto failed = Run(mask);
    EXPECT_EQ(failed.exitStatus, schedule::kExitItemFailed);
    EXPECT_TRUE(Get(target) == complete);
    ASSERT_NE(failed.archivePath, target);
    EXPECT_EQ(ReadArchive(failed.archivePath).manifest.itemFlags, "10100000001");
    EXPECT_NE(s.Log().find(" An item failed, so the complete Backup File " + target +
                           " was kept; this backup was written to " + failed.archivePath + "\n"),
              std::string::npos);
    EXPECT_NE(s.Log().find(" Personal Folders failed because: "), std::string::npos);
    // A later complete, checked run lets it go, as the new one holds all it held; one beside it
    // that holds an item the task does not ask for stays.
    platform::fileio::LetGo(p.mail + "\\a.pst");
    const std::string more = p.backups + "\\kestrine-Outlook-02-03-2026-09-00.ksx";
    Put(more, Get(s.MakeArchive("more.ksx", {},
                                Scratch::Manifest({{backup_format::Item::Stationery, "s"}}))));
    Put(s.state.paths.SettingsFile,
        "[General]\r\ncheckbackupfile=1\r\n[autobackup]\r\nautobackupfile=0\r\n");
    ASSERT_EQ(Run(mask).exitStatus, schedule::kExitAllSucceeded);
    EXPECT_FALSE(Exists(failed.archivePath));
    EXPECT_NE(s.Log().find(" Old Backup File was Removed: " + failed.archivePath),
              std::string::npos);
    EXPECT_TRUE(Exists(more));
    std::filesystem::remove(Fs(more));
    complete = Get(target);
    const size_t logBefore = s.Log().size();
    platform::fileio::Hold(p.mail + "\\a.pst");

    Put(s.state.paths.SettingsFile, "[autobackup]\r\nautobackupfile=1\r\nkeepdatedbackups=2\r\n");
    const std::string dated = p.backups + "\\kestrine-Outlook-";
    const std::string oldest = dated + "01-04-2026-09-00.ksx",
                      older = dated + "06-01-2026-09-00.ksx",
                      future = dated + "01-01-2099-09-00.ksx",
                      others = dated + "02-02-2026-09-00.ksx";
    for (const auto& file : {oldest, older, future, others}) Put(file, complete);
    const std::string unfinished = dated + "11-30-2026-09-00.ksx";
    Put(unfinished, "an unfinished backup");
    failed = Run(mask);
    EXPECT_EQ(failed.exitStatus, schedule::kExitItemFailed);
    for (const auto& file : {target, oldest, older, future, others})
        EXPECT_TRUE(Get(file) == complete) << file;
    EXPECT_EQ(s.Log().find("Old Backup File was Removed", logBefore), std::string::npos);
    platform::fileio::LetGo(p.mail + "\\a.pst");

    // Two complete ones stay: the new one and the newest complete other; the unfinished one is
    // newer, counts for nothing and stays.
    const bool otherUser = ::chown(Fs(others).c_str(), ::geteuid() + 1, -1) == 0;
    ASSERT_EQ(Run(mask).exitStatus, schedule::kExitAllSucceeded);
    EXPECT_FALSE(Exists(oldest));
    EXPECT_FALSE(Exists(target));
    for (const auto& file : {older, future}) EXPECT_TRUE(Get(file) == complete) << file;
    EXPECT_EQ(Get(unfinished), "an unfinished backup");
    if (!otherUser) GTEST_SKIP() << "another user's file needs root to make";
    EXPECT_TRUE(Get(others) == complete);
}

// A failed scheduled run is noticed: the window's first message says what failed, when and why,
// the Backup page's line says the backup is not complete, and a balloon is asked for unless the
// settings turn it off. A good run afterwards quiets both; a week and a day later the window warns
// again.
TEST_F(AutoBackup, AFailedScheduledRunIsNoticed) {
    const platform::LocalTime now = platform::Now();
    EXPECT_FALSE(ui::ScheduledBackupWarning(s.state.paths.LogFile, now));  // no scheduled run yet
    platform::ClearNotifications();
    platform::fileio::Hold(p.mail + "\\a.pst");
    const auto failed = Run("100000001");
    platform::fileio::LetGo(p.mail + "\\a.pst");
    EXPECT_TRUE(schedule::NoticeFailedRun(s.state.paths, failed.exitStatus));
    const auto warning = ui::ScheduledBackupWarning(s.state.paths.LogFile, now);
    ASSERT_TRUE(warning);
    const std::string log = s.Log();
    const size_t at = log.find(" Start Auto Backup Profile"), begin = log.rfind('\n', at) + 1;
    const std::string when = log.substr(begin, at - begin);
    for (const std::string& part :
         {std::string("Personal Folders could not be backed up"), std::string("a.pst"),
          std::string("No scheduled backup has been complete yet.")})
        EXPECT_NE(warning->text.find(part), std::string::npos) << warning->text;
    EXPECT_NE(warning->text.find("The scheduled backup of " + when + " failed"), std::string::npos)
        << warning->text;
    const auto balloons = platform::RequestedNotifications();
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_NE(balloons[0].text.find("Personal Folders could not be backed up"), std::string::npos);
    ui::BackupTabModel tab;
    ui::PresentLastBackup(tab, FindLastCompletedBackup(ReadLogEntries(s.state.paths.LogFile)));
    EXPECT_NE(tab.lastBackupText.find("not complete"), std::string::npos);
    EXPECT_EQ(tab.lastBackupFile, failed.archivePath);

    Put(s.state.paths.SettingsFile, "[autobackup]\r\nautobackupfile=0\r\nnotifyfailure=0\r\n");
    EXPECT_FALSE(schedule::NoticeFailedRun(s.state.paths, failed.exitStatus));
    EXPECT_EQ(platform::RequestedNotifications().size(), 1u);

    ASSERT_EQ(Run("100000001").exitStatus, schedule::kExitAllSucceeded);
    EXPECT_FALSE(schedule::NoticeFailedRun(s.state.paths, schedule::kExitAllSucceeded));
    EXPECT_FALSE(ui::ScheduledBackupWarning(s.state.paths.LogFile, now));
    platform::LocalTime later = now;
    later.day = 1;
    later.year += 1;
    const auto overdue = ui::ScheduledBackupWarning(s.state.paths.LogFile, later);
    ASSERT_TRUE(overdue);
    EXPECT_NE(overdue->text.find("newer than a week and a day"), std::string::npos);
    EXPECT_NE(overdue->text.find(target), std::string::npos);
}

TEST_F(AutoBackup, TheExitStatusTellsTheTaskSchedulerTheTruth) {
    // No rules file (rules live in the mailbox nowadays): the rules step has no line, no failure.
    std::filesystem::remove(Fs(s.folders.roamingOutlook + "\\Outlook.RWZ"));
    EXPECT_EQ(Run("1").exitStatus, schedule::kExitAllSucceeded);
    // A locked data file fails its item: exit status 1.
    platform::fileio::Hold(p.mail + "\\a.pst");
    auto result = Run("100000001");
    platform::fileio::LetGo(p.mail + "\\a.pst");
    EXPECT_EQ(result.exitStatus, 1);             // an item failed
    EXPECT_EQ(result.itemFlags, "10000000001");  // no data files, no rules
    // A profile that does not exist: only the per-user items are backed up.
    result = Run("111111111", "", "Nobody");
    EXPECT_EQ(result.exitStatus, schedule::kExitItemFailed);
    EXPECT_EQ(result.itemFlags, "00001101111");
    // No archive: exit status 2, and the end line says so.
    DatedNames();
    target = p.backups + "\\gone\\kestrine-Outlook.ksx";
    EXPECT_EQ(Run("111111111").exitStatus, schedule::kExitNoArchive);
    EXPECT_NE(s.Log().find(" Backup Profile Outlook Data was not Completed!\r\r\n"),
              std::string::npos);
    EXPECT_EQ(s.AppFiles(), (std::vector<std::string>{"brlog.dat", "settings.dat"}));
}

TEST_F(AutoBackup, AnotherRunAtWorkLeavesLastWeeksBackup) {
    Put(target, "last week's backup");
    {
        OtherRunAtWork other;
        s.state.CommandLine = "sf=Outlookxm=000000001ps=bf=" + target;
        EXPECT_EQ(schedule::RunAutoBackup(s.state, zip, std::chrono::milliseconds(300)).exitStatus,
                  schedule::kExitNoArchive);
    }
    EXPECT_EQ(Get(target), "last week's backup");
    EXPECT_NE(s.Log().find(" Auto Backup Profile Outlook was not started: another backup or "
                           "restore was still running!\n\r\n"),
              std::string::npos);
    // The window tells of it as the last scheduled run, begun when its line says.
    const ScheduledRuns runs = FindScheduledRuns(ReadLogEntries(s.state.paths.LogFile));
    EXPECT_TRUE(runs.found && runs.failed);
    EXPECT_TRUE(s.Log().starts_with(runs.when + " Auto Backup Profile Outlook was not started"))
        << runs.when;
}

// The unattended run names its archive before the backup and tidies after it, in hooks under the
// backup's one lock: there the lock is the run's own (taken again at once, never busy) and no other
// thread has it; a stop asked for there ends the run with last week's backup as it was.
TEST_F(AutoBackup, ItsHooksRunUnderTheBackupsOneLock) {
    Put(target, "last week's backup");
    const std::string dated = p.backups + "\\named under the lock.ksx";
    backup::BackupJob job = backup::BackupJobFor(
        s.state, outlook::TakeInventory(s.state.environment, "Outlook").locations, "Outlook",
        schedule::ChosenItems("000000001"), target);
    job.waitForOtherRun = std::chrono::milliseconds(0);
    auto lockIsThisRunsOnly = [&] {
        EXPECT_TRUE(recovery::TakeRunLock(s.state.paths, std::chrono::milliseconds(0)));
        bool otherGotIt = true;
        std::thread([&] {
            otherGotIt = platform::RunLock::Take(std::chrono::milliseconds(0)) != nullptr;
        }).join();
        EXPECT_FALSE(otherGotIt);
    };
    std::vector<recovery::RunOutcome> after;
    const backup::BackupHooks hooks{.before =
                                        [&](backup::BackupJob& locked) {
                                            lockIsThisRunsOnly();
                                            locked.archivePath = dated;
                                        },
                                    .after =
                                        [&](const backup::BackupResult& done) {
                                            lockIsThisRunsOnly();
                                            after.push_back(done.outcome);
                                        }};
    const auto done = backup::BackupUnderLock(job, hooks, s.state.environment, s.state.paths, zip);
    EXPECT_EQ(done.outcome, recovery::RunOutcome::Completed);
    EXPECT_EQ(done.archivePath, dated);
    EXPECT_TRUE(Exists(dated));
    ASSERT_TRUE(platform::fileio::RemoveFile(dated));
    // The stop now comes before the run's first step.
    std::stop_source source;
    backup_format::RunObserver observer;
    observer.stop = source.get_token();
    const backup::BackupHooks stopFirst{
        .before = [&](backup::BackupJob&) { source.request_stop(); }, .after = hooks.after};
    EXPECT_EQ(
        backup::BackupUnderLock(job, stopFirst, s.state.environment, s.state.paths, zip, observer)
            .outcome,
        recovery::RunOutcome::Cancelled);
    EXPECT_EQ(after,
              (std::vector{recovery::RunOutcome::Completed, recovery::RunOutcome::Cancelled}));
    EXPECT_EQ(Get(target), "last week's backup");
    EXPECT_EQ(platform::fileio::ListFileNames(p.backups),
              std::vector<std::string>{"kestrine-Outlook.ksx"});
}

TEST_F(AutoBackup, RefusedCommandLinesDoNothingButSayWhyInTheLog) {
    Put(target, "last week's backup");
    const std::pair<std::string, const char*> cases[] = {
        {"sf=Outlook", "sf=, xm=, ps= and bf= are not all there"},
        {"sf=xm=111111111ps=bf=" + target, "no profile after sf="},
        {"sf=Outlookxm=ps=bf=" + target, "no items after xm="},
        {"sf=Outlookxm=111111111ps=bf=", "no backup file after bf="},
        {"sf=Outlookxm=111111111ps=a=bbf=" + target, "too many \"=\""},
        {"sf=Out\xfflookxm=111111111ps=bf=" + target, "it is not valid text"}};
    for (const auto& [tail, reason] : cases) {
        s.state.CommandLine = tail;
        const auto result = schedule::RunAutoBackup(s.state, zip);
        EXPECT_TRUE(result.refused) << tail;
        EXPECT_EQ(result.exitStatus, schedule::kExitNoArchive);
        EXPECT_NE(s.Log().find("the scheduled command line was refused (" + std::string(reason)),
                  std::string::npos)
            << tail;
    }
    EXPECT_EQ(Occurrences(s.Log(), "\n\r\n"), 6u);  // one line each
    EXPECT_EQ(s.Log().find("a=b"), std::string::npos);
    EXPECT_EQ(Get(target), "last week's backup");
    EXPECT_EQ(s.AppFiles(), (std::vector<std::string>{"brlog.dat", "settings.dat"}));
}

// A task's password protected by another user or computer, or cut short, never becomes a backup;
// a task of an earlier version with its password in clear still backs up with it. A checked
// backup is logged as verified.
TEST_F(AutoBackup, OnlyAPasswordProtectedForTheUserServes) {
    Put(s.state.paths.SettingsFile,
        "[General]\r\ncheckbackupfile=1\r\n[autobackup]\r\nautobackupfile=0\r\n");
    Put(target, "last week's backup");
    const std::string marker(schedule::kProtectedMarker);
    // Sealed for another user, and for the current user but another purpose.
    const std::string otherUser = "sealed-for-user-" + std::to_string(::geteuid() + 1) +
                                  ":Kestrine scheduled backup password:pw";
    for (const std::string& field :
         {schedule::EncodeProtected(otherUser),
          schedule::EncodeProtected(*platform::ProtectForCurrentUser("pw", "another program")),
          marker + "AAAAAAAAAAAAAAAAAAAAAAAA", marker + "A", marker}) {
        const auto result = Run("100000000", field);
        EXPECT_TRUE(result.refused) << field;
        EXPECT_EQ(result.exitStatus, schedule::kExitNoArchive);
    }
    EXPECT_TRUE(Get(target) == "last week's backup");
    EXPECT_EQ(Occurrences(s.Log(), "its password was protected for another user or computer"), 5u);
    const auto protectedField =
        schedule::TaskPasswordField("new pass", schedule::ProtectForCurrentUser);
    ASSERT_TRUE(protectedField);
    // Sealed for the purpose that tasks registered by earlier versions were sealed for.
    EXPECT_EQ(protectedField, schedule::EncodeProtected(*platform::ProtectForCurrentUser(
                                  "new pass", "Kestrine scheduled backup password")));
    for (const std::string& password : {*protectedField, std::string("old pass")}) {
        EXPECT_EQ(Run("100000000", password).exitStatus, schedule::kExitAllSucceeded);
        EXPECT_EQ(ReadArchive(target, password == "old pass" ? "old pass" : "new pass")
                      .manifest.header.identity,
                  "Outlook");
        EXPECT_EQ(*archive::ArchiveReader().ArchiveNeedsPassword(target),
                  archive::ArchiveProtection::Protected);
    }
    EXPECT_EQ(Occurrences(s.Log(), " Backup File was Verified!\n\r\n"), 2u);
    // 7z checks this one with its password, outside the program.
    if (const std::string out = ArtifactFolder(); !out.empty())
        std::filesystem::copy_file(Fs(target), Fs(out + "\\auto-protected.ksx"),
                                   std::filesystem::copy_options::overwrite_existing);
    for (const char* password : {"new pass", "old pass", ":pw"})
        EXPECT_EQ(s.Log().find(password), std::string::npos) << password;
}

// The weekly task through a stand-in Task Scheduler: the commands in order, the create command's
// answer as the outcome, and the task of the shared name of earlier versions ended and deleted
// only when it is the user's own (a computer several people share).
TEST(TaskScheduler, CommandsInOrderAndOnlyTheUsersOwnSharedTaskGoes) {
    const std::string name = schedule::TaskNameFor(platform::UserName());
    const std::string shared = schedule::kSharedTaskName;
    std::vector<std::string> ran;
    std::string sharedOwner;  // whom the shared task's query names; empty: there is no such task
    platform::ProgramRun create{true, 0, "SUCCESS"}, list{true, 1, "ERROR: not found"},
        run = create;
    std::string definitionPath, definition;
    platform::SetProgramRunAnswer([&](const std::string& program, const std::string& command) {
        EXPECT_EQ(program, platform::SystemFolder() + "\\schtasks.exe");
        ran.push_back(command);
        if (command == schedule::QueryTaskCommand(shared))
            return sharedOwner.empty()
                       ? platform::ProgramRun{true, 1, "ERROR: not found"}
                       : platform::ProgramRun{
                             true, 0,
                             "<Task><Principals><Principal id=\"Author\"><UserId>" + sharedOwner +
                                 "</UserId></Principal></Principals></Task>"};
        if (command.starts_with("schtasks /create")) {  // the definition is there meanwhile
            definitionPath = command.substr(command.find("/xml \"") + 6);
            definitionPath.resize(definitionPath.size() - 4);
            definition = platform::fileio::ReadWholeFile(definitionPath).value_or("");
            return create;
        }
        if (command == schedule::ListTaskCommand(name)) return list;
        if (command == schedule::RunTaskCommand(name)) return run;
        return platform::ProgramRun{true, 0, ""};
    });
    const std::vector<std::string> removeOwn = {schedule::QueryTaskCommand(shared),
                                                schedule::EndTaskCommand(name),
                                                schedule::DeleteTaskCommand(name)};
    for (const std::string& owner :
         {std::string(), std::string("OTHERPC\\alice"), platform::CurrentUserSid(),
          "SCRATCHPC\\" + platform::UserName()}) {
        sharedOwner = owner;
        ran.clear();
        EXPECT_TRUE(schedule::RemoveTask(name).done);
        std::vector<std::string> expected = removeOwn;
        if (owner.ends_with(platform::CurrentUserSid()) ||
            owner.ends_with("\\" + platform::UserName()))
            expected.insert(expected.begin() + 1, {schedule::EndTaskCommand(shared),
                                                   schedule::DeleteTaskCommand(shared)});
        EXPECT_EQ(ran, expected) << owner;
    }
    // Registered from its definition in one step; the user's task of the shared name goes only
    // once its replacement is registered, and the definition's file never stays.
    sharedOwner = platform::CurrentUserSid();
    TempDir temp;
    const std::string bytes("\xff\xfe<\0", 4);
    for (const unsigned long exitCode : {5ul, 0ul}) {
        ran.clear();
        create = {true, exitCode, exitCode ? "ERROR: Access is denied." : "SUCCESS"};
        const auto added = schedule::RegisterTask(name, bytes, temp.str());
        EXPECT_EQ(added.done, exitCode == 0);
        EXPECT_EQ(added.exitCode, exitCode);
        EXPECT_EQ(added.output, create.output);
        EXPECT_EQ(definition, bytes);
        EXPECT_FALSE(platform::fileio::Exists(definitionPath)) << definitionPath;
        std::vector<std::string> expected = {
            schedule::CreateFromDefinitionCommand(name, definitionPath)};
        if (exitCode == 0)
            expected.insert(expected.end(),
                            {schedule::QueryTaskCommand(shared), schedule::EndTaskCommand(shared),
                             schedule::DeleteTaskCommand(shared)});
        EXPECT_EQ(ran, expected);
    }
    ran.clear();  // no folder to write the definition in: nothing runs
    EXPECT_FALSE(schedule::RegisterTask(name, "x", temp / "missing").written);
    EXPECT_TRUE(ran.empty());
    sharedOwner.clear();
    EXPECT_FALSE(schedule::QueryScheduledTask(name).exists);
    list = {true, 0, test::kTaskQueryList};
    const auto query = schedule::QueryScheduledTask(name);
    EXPECT_TRUE(query.queried && query.exists);
    EXPECT_EQ(query.task.days, "MON, WED");
    EXPECT_TRUE(schedule::RunTaskNow(name).done);
    run = {true, 1, "ERROR: The system cannot find the file specified."};
    EXPECT_FALSE(schedule::RunTaskNow(name).done);  // refused by schtasks: no success
    platform::SetProgramRunAnswer(nullptr);         // schtasks.exe cannot be started
    EXPECT_FALSE(schedule::QueryScheduledTask(name).queried);
    EXPECT_FALSE(schedule::RegisterTask(name, "x", temp.str()).done);
    EXPECT_FALSE(schedule::RunTaskNow(name).started);
}

TEST_F(AutoBackup, TheUnattendedProgramShowsNothingAndLogsAMissingOutlook) {
    // A portable copy (its log is beside it) that replaces the task's one archive.
    Put(s.app + "\\settings.dat", "[autobackup]\r\nautobackupfile=0\r\n");
    platform::ClearNotifications();
    EXPECT_EQ(schedule::RunUnattendedProgram("sf=Outlook", s.app), schedule::kExitNoArchive);
    ASSERT_EQ(platform::RequestedNotifications().size(), 1u);  // refused: the user is told
    EXPECT_NE(platform::RequestedNotifications()[0].text.find("command line was refused"),
              std::string::npos);
    // No Outlook here: the program's start-up detection finds none and backs up what it can.
    EXPECT_EQ(schedule::RunUnattendedProgram("sf=Outlookxm=000000000ps=bf=" + target, s.app),
              schedule::kExitAllSucceeded);
    EXPECT_TRUE(s.dialogs.messages.empty());  // the program's silent handler answered
    EXPECT_EQ(ReadArchive(target).names, std::vector<std::string>{"kestrine.dat"});
    EXPECT_NE(s.Log().find(" Start Auto Backup Profile Outlook Data...\n\r\n"), std::string::npos);
    EXPECT_NE(s.Log().find(outlook::kNoProfileText), std::string::npos);  // logged, not shown
}

}  // namespace
}  // namespace kestrine::test
