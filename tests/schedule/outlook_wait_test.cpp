// The scheduled backup and a running Outlook that holds the data files open: it waits (on a clock
// the test drives), asks Outlook to quit only when that loses nothing, never ends it, and ends
// without writing when the session ends.
#include <gtest/gtest.h>

#include <future>

#include "app/settings_keys.h"
#include "files_held.h"
#include "outlook_automation_stand_in.h"
#include "platform/run_lock.h"
#include "processes_stand_in.h"
#include "schedule/auto_backup.h"
#include "schedule/unattended.h"
#include "scratch.h"

namespace kestrine::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::minutes;

class OutlookWait : public ::testing::Test {
  public:
    OutlookWait() {
        RegisterOutlookIn("C:\\Office\\");
        platform::SetStandInProcesses({{kExe}});
        platform::fileio::Hold(pst);
        Settings("");
    }
    ~OutlookWait() override {
        platform::fileio::LetGo(pst);
        platform::SetStandInProcesses({});
        platform::SetOutlookQuitAnswer(nullptr);
    }
    // Dated archives, so that last week's stays beside the new one.
    void Settings(const std::string& more) {
        Put(s.state.paths.SettingsFile, "[autobackup]\r\nautobackupfile=1\r\n" + more);
    }
    // Outlook quits (or is found gone) and lets go of its data file.
    void OutlookQuits() {
        platform::fileio::LetGo(pst);
        platform::SetStandInProcesses({});
    }
    schedule::AutoBackupResult Run() {
        s.state.CommandLine = "sf=Outlookxm=100000001ps=bf=" + p.backups + "\\kestrine-Outlook.ksx";
        schedule::WaitClock clock{[this] { return waited; },
                                  [this](milliseconds span) {
                                      waited += span;
                                      ++pauses;
                                      return onPause ? onPause() : true;
                                  }};
        return schedule::RunAutoBackup(s.state, zip, milliseconds(0), clock);
    }
    static constexpr const char* kExe = "C:\\Office\\OUTLOOK.EXE";
    Scratch s;
    SampleProfile p{s};
    const archive::ZipOptions zip;
    const std::string pst = p.mail + "\\a.pst";
    const std::string lastWeek = p.backups + "\\kestrine-Outlook-11-30-2026-09-00.ksx";
    milliseconds waited{0};
    int pauses = 0;
    std::function<bool()> onPause;
};

TEST_F(OutlookWait, WaitsHoldingNothingUntilOutlookClosesThenBacksUpTheDataFilesWhole) {
    const std::string content = Get(pst);
    bool heldNothing = true, outlookKept = true;
    onPause = [&] {
        // Another run (the window's backup) could take the run lock; no archive is open.
        heldNothing &=
            std::async([] { return platform::RunLock::Take(milliseconds(0)) != nullptr; }).get() &&
            Files(p.backups).size() == 0;
        outlookKept &= platform::StandInProcesses().size() == 1;
        if (pauses == 3) OutlookQuits();
        return true;
    };
    const auto result = Run();
    EXPECT_TRUE(heldNothing);
    EXPECT_TRUE(outlookKept);  // never ended, only waited for
    EXPECT_EQ(pauses, 3);
    EXPECT_EQ(waited, minutes(3));  // one look a minute
    EXPECT_EQ(result.exitStatus, schedule::kExitAllSucceeded);
    EXPECT_EQ(EntryText(result.archivePath, "a.pst"), content);
    EXPECT_TRUE(platform::StartedPrograms().empty());  // it closed by itself: not started again
    const std::string log = s.Log();
    const size_t waits = log.find(" Outlook is running and holds " + pst +
                                  " open; the backup waits for Outlook to close, at most 720 "
                                  "minutes.\n");
    const size_t over = log.find(" Outlook was closed; the backup goes on.\n", waits);
    EXPECT_TRUE(waits != std::string::npos && over != std::string::npos &&
                log.find(" Start Auto Backup Profile Outlook", over) != std::string::npos)
        << log;
}

// At the limit the run backs up what it can; when the session ends it writes nothing.
TEST_F(OutlookWait, AtTheLimitTheDataFilesFailAndLastWeeksBackupStaysAsWhenTheSessionEnds) {
    Put(lastWeek, "last week's complete backup");
    onPause = [&] { return pauses < 2; };
    EXPECT_EQ(Run().exitStatus, schedule::kExitNoArchive);
    EXPECT_EQ(Files(p.backups).size(), 1u);
    EXPECT_EQ(s.AppFiles(), (std::vector<std::string>{"brlog.dat", "settings.dat"}));
    EXPECT_NE(s.Log().find(" The session ended while the backup waited for Outlook; nothing was "
                           "written.\n"),
              std::string::npos);
    EXPECT_EQ(s.Log().find("Start Auto Backup"), std::string::npos);

    onPause = nullptr;
    waited = milliseconds(0);
    Settings("waitforoutlookminutes=3\r\n");
    const auto result = Run();
    EXPECT_EQ(waited, minutes(3));
    EXPECT_EQ(result.exitStatus, schedule::kExitItemFailed);
    EXPECT_EQ(result.itemFlags[backup_format::IndexOf(backup_format::Item::DataFiles)], '0');
    EXPECT_EQ(result.itemFlags[backup_format::IndexOf(backup_format::Item::Contacts)], '1');
    EXPECT_EQ(Get(lastWeek), "last week's complete backup");
    EXPECT_EQ(platform::StandInProcesses().size(), 1u);
    const std::string log = s.Log();
    EXPECT_LT(log.find(" Outlook stayed open for 3 minutes: the data files it holds open are not "
                       "backed up.\n"),
              log.find(" Backup Personal Folders Fail!"))
        << log;
    // What the setting may hold: a plain number of minutes up to a week; else 12 hours.
    for (const auto& [stored, expected] : std::initializer_list<std::pair<const char*, int>>{
             {"", 720}, {"0", 0}, {"90", 90}, {"10080", 10080}, {"10081", 720}, {"-5", 720}})
        EXPECT_EQ(WaitForOutlookMinutes(stored), expected) << stored;
}

// "Close Outlook for scheduled backups": Quit discards what is unsaved in open item windows, so
// Outlook is asked only when it has none; otherwise the run waits as without the setting.
TEST_F(OutlookWait, OutlookIsAskedToQuitOnlyWithNoItemWindowsOpen) {
    Settings("closeoutlookforschedule=1\r\nwaitforoutlookminutes=2\r\n");
    int quits = 0;
    bool itemsOpen = true;
    platform::SetOutlookQuitAnswer([&] {
        if (itemsOpen) return platform::OutlookQuitAnswer::ItemsOpen;
        ++quits;
        OutlookQuits();
        return platform::OutlookQuitAnswer::QuitCalled;
    });
    auto result = Run();
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(result.exitStatus, schedule::kExitItemFailed);
    EXPECT_EQ(platform::StandInProcesses().size(), 1u);  // waited for, never ended
    EXPECT_NE(s.Log().find(" Outlook has item windows open and was not asked to close, so that "
                           "nothing unsaved is lost.\n"),
              std::string::npos);
    EXPECT_NE(s.Log().find(" Outlook stayed open for 2 minutes"), std::string::npos);
    EXPECT_EQ(s.Log().find(" Outlook could not be closed."), std::string::npos);  // not asked to

    itemsOpen = false;
    waited = milliseconds(0);
    result = Run();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(waited, milliseconds(0));
    EXPECT_EQ(result.exitStatus, schedule::kExitAllSucceeded);
    EXPECT_EQ(platform::StartedPrograms(),
              std::vector<std::string>{"\"" + std::string(kExe) + "\""});
    const std::string log = s.Log();
    const size_t asked = log.rfind(" Outlook was asked to close and closed.\n");
    EXPECT_LT(asked, log.find(" Outlook was started again.\n", asked)) << log;

    // Outlook holds nothing the run backs up: it is left alone.
    platform::SetStandInProcesses({{kExe}});
    s.state.CommandLine = "sf=Outlookxm=000000001ps=bf=" + p.backups + "\\c.ksx";
    EXPECT_EQ(schedule::RunAutoBackup(s.state, zip).exitStatus, schedule::kExitAllSucceeded);
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(platform::StandInProcesses().size(), 1u);
}

}  // namespace
}  // namespace kestrine::test
