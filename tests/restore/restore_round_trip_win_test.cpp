// A restore ended midway by a kill, under Wine: the process that restores is a program of its own,
// ended at several points, and the next start finds everything as before.
#include <thread>

#include "platform/system.h"
#include "round_trip_fixture.h"
#include "win_scratch.h"

namespace kestrine::ui {
namespace {

// The program is ended at several points of a restore, as a kill or a power loss would; the next
// start finds the profile and every file exactly as before, never a mix. Ended after the run, the
// restore stays whole.
TEST_F(SafeRestore, ARestoreEndedMidwayIsPutBackAtTheNextStart) {
    const State before = Now();
    const auto victim = ExeFolder() / "restore_victim.exe";
    // After the configuration, after the signatures, inside the large data file, after the run.
    int point = 0;
    for (const std::string stop : {"row:0", "row:4", "bytes:200000", "end"}) {
        SCOPED_TRACE(stop);
        const std::string marker = s.dir / ("stopped-" + std::to_string(++point) + ".txt");
        std::wstring args;
        for (const std::string& a :
             {archivePath, std::string("s3cret pw"), s.app, user2, s.state.environment.ProfilesRoot,
              s.state.environment.OutlookVersion, std::string("Second"), stop, marker})
            args += L" \"" + platform::Widen(a) + L"\"";
        const Started run = StartKept(victim, args);
        ASSERT_TRUE(run.process);
        bool stopped = false;
        for (int i = 0; i < 1200 && !stopped; ++i) {
            stopped = Exists(marker);
            if (!stopped && WaitForSingleObject(run.process, 50) == WAIT_OBJECT_0) break;
        }
        ASSERT_TRUE(stopped) << "the restore did not reach " << stop;
        TerminateProcess(run.process, 1);
        ASSERT_TRUE(Ended(run.process));
        CloseHandle(run.process);

        if (stop.starts_with("bytes")) {
            // The scheduled backup may come first: it puts the restore back before it reads
            // anything, so it never backs up a half-restored profile.
            backup::BackupJob job;
            job.archivePath = s.dir / "weekly.ksx";
            job.profile = "Second";
            job.unattended = true;
            job.waitForOtherRun = std::chrono::milliseconds(0);
            job.profilesRoot = s.state.environment.ProfilesRoot;
            EXPECT_TRUE(backup::RunBackup(job, s.state.environment, s.state.paths, zip).Written());
            EXPECT_NE(s.Log().find("ended midway was found and every change it made was put back"),
                      std::string::npos);
            EXPECT_EQ(Snapshot(second), before.profile);
            EXPECT_EQ(Snapshot(s.optionsKey), before.options);
        }
        // The next start of the window (its staged temporaries go then).
        const auto recovered = recovery::MakeProfileWhole(s.state.paths, s.state.environment);
        if (stop.starts_with("bytes")) {
            EXPECT_EQ(recovered.sets, 0u);
        } else if (stop == "end") {
            EXPECT_EQ(recovered.sets, 0u);
            EXPECT_EQ(Snapshot(second), ExpectedTree(f2.localOutlook));
            // And undone again, for the next point.
            ASSERT_TRUE(restore::UndoLastRestoreRun(s.state.paths, s.state.environment).back.ok);
        } else {
            EXPECT_EQ(recovered.sets, 1u);
            EXPECT_TRUE(recovered.ok);
            EXPECT_TRUE(recovered.kept.empty());
            EXPECT_NE(RecoveredAtStartMessage(recovered), std::nullopt);
        }
        EXPECT_EQ(Now(), before);
    }
}

// A data file held open by another program (a scanner) is waited for, and the log names it; a
// cancel ends the wait, and every row that ran goes back.
TEST_F(SafeRestore, AHeldDataFileIsWaitedForInTheLogAndACancelEndsTheWait) {
    const State before = Now();
    const std::string held = f2.localOutlook + "\\Outlook.pst";
    HANDLE scanner = CreateFileW(platform::Widen(held).c_str(), GENERIC_READ, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
    const std::string waits = " Restore waits: " + held + " is held by another program\n";
    // Stopped a second after the data file begins to come out: long after the move first met the
    // hold (and logged it), well inside its minute of waiting.
    std::stop_source stopping;
    std::jthread stopper;
    backup_format::RunObserver observer;
    observer.stop = stopping.get_token();
    observer.progress = [&](const backup_format::Progress& p) {
        if (p.item != backup_format::Item::DataFiles || stopper.joinable()) return;
        stopper = std::jthread([&stopping] {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            stopping.request_stop();
        });
    };
    const auto result = RestoreObserved(observer);
    stopper.join();
    CloseHandle(scanner);
    EXPECT_EQ(result.takenBack, restore::TakenBackBecause::RowFailed);
    EXPECT_NE(s.Log().find(waits), std::string::npos) << s.Log();
    // The row says what Windows said of the held file, in the system's words.
    SetLastError(ERROR_SHARING_VIOLATION);
    const std::string inUse = platform::LastSystemError().text;
    ASSERT_FALSE(inUse.empty());
    EXPECT_EQ(result.rows.back().status.message(), held + " could not be set aside: " + inUse);
    EXPECT_NE(s.Log().find(" Personal Folders failed because: " + held), std::string::npos)
        << s.Log();
    EXPECT_EQ(Now(), before);
}

}  // namespace
}  // namespace kestrine::ui
