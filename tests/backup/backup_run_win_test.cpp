// The interactive backup, "Backup Now", under Wine over a scratch profile: the archive, the
// manifest, the log, the message, and every way a run can fail or be refused without losing the
// user's last backup.
#include <gtest/gtest.h>
#include <windows.h>
//
#include <winioctl.h>

#include <future>
#include <thread>

#include "backup/backup_run.h"
#include "platform/file_stream.h"
#include "platform/processes.h"
#include "platform/system.h"
#include "restore/restore_run.h"
#include "run_driver.h"
#include "ui/backup_presenter.h"
#include "ui/commands.h"
#include "ui/restore_presenter.h"
#include "win_scratch.h"
#include "zip_test_util.h"

namespace kestrine::test {
namespace {

using archive::Choice;
using platform::MessageIcon;

class BackupNow : public ::testing::Test {
  public:
    void SetUp() override { window.backup.sourceProfile = "Outlook"; }
    void Tick(std::initializer_list<Choice> choices) {
        for (Choice c : choices) window.backup.items[archive::IndexOf(c)].ticked = true;
    }
    void TickAll() {
        for (auto& box : window.backup.items) box.ticked = true;
    }
    // "Backup Now" as the window runs it; a refused run fails the test.
    backup::BackupResult Run() {
        auto run = DriveRun(ui::win::PrepareBackupRun(window.backup, s.state, zip));
        if (!run) {
            ADD_FAILURE() << "the run was refused";
            return {};
        }
        lastPanel = run->lastPanel;
        return run->result;
    }
    const std::string& Target() const { return s.state.TargetFile; }
    std::string OnlyMessage() const {
        EXPECT_EQ(s.dialogs.messages.size(), 1u);
        return s.dialogs.messages.empty() ? "" : s.dialogs.messages[0].text;
    }

    Scratch s;
    SampleProfile p{s};
    archive::ZipComponent zip;
    ui::MainWindowModel window;
    ui::ProgressPanel lastPanel;
};

TEST_F(BackupNow, EveryItemGoesIntoTheArchiveWithItsManifestLine) {
    Put(Target(), "an older archive, replaced without a question");
    TickAll();
    window.backup.note = "first line\r\nsecond line";
    const auto run = Run();
    ASSERT_TRUE(run.written);
    EXPECT_EQ(run.itemFlags, "11111111111");

    const auto view = ReadArchive(Target());
    ASSERT_TRUE(view.manifest.valid);
    const auto& e = view.manifest.entries;
    EXPECT_EQ(view.manifest.header.identity, "Outlook");
    EXPECT_EQ(view.manifest.header.computer, "SCRATCHPC");
    EXPECT_EQ(view.manifest.header.logonUser, "sam");
    EXPECT_NE(view.manifestText.find("BackupInformation=first linePS$KSTsecond line\r\n"),
              std::string::npos);
    EXPECT_EQ(e[1], "a.pst;archive.pst");
    EXPECT_EQ(e[2], "Outlook.RWZ");
    EXPECT_EQ(e[6], "Outlook.pab");
    EXPECT_EQ(e[0].rfind("OBC", 0), 0u);
    EXPECT_EQ(e[3].rfind("OBA", 0), 0u);
    EXPECT_NE(e[0], e[7]);
    EXPECT_EQ(archive::SplitStagingList(e[4]).size(), 3u);  // the picture subfolder stays out
    // The rules file lies in the preferences folder too, so it is in the archive twice.
    EXPECT_EQ(Count(view.names, "Outlook.RWZ"), 2);
    for (const auto& value : e)
        for (const auto& name : archive::SplitStagingList(value))
            EXPECT_GE(Count(view.names, name), 1) << name;
    EXPECT_EQ(view.names.back(), "kestrine.dat");
    // Manifest staging file and export files are gone; only the log stays.
    EXPECT_EQ(s.AppFiles(), std::vector<std::string>{"brlog.dat"});

    EXPECT_EQ(s.dialogs.messages.at(0).icon, MessageIcon::Information);
    EXPECT_EQ(s.dialogs.messages.at(0).title, "Kestrine");
    EXPECT_EQ(
        OnlyMessage().rfind(
            "The Backup was Completed!\t\t\t\r\n\r\nBackup Personal Folders\tSucceeded!\t", 0),
        0u);
    EXPECT_EQ(Occurrences(OnlyMessage(), "Succeeded!"), 9u);

    const std::string log = s.Log();
    EXPECT_EQ(log.rfind(std::string(84, '.') + "\r\r\n", 0), 0u);
    EXPECT_NE(log.find(" Start Backup Profile Outlook Data...\n\r\n"), std::string::npos);
    EXPECT_NE(log.find(" Backup File is " + Target() + "\n\r\n"), std::string::npos);
    EXPECT_EQ(Occurrences(log, " Succeeded!\n\r\n"), 9u);
    EXPECT_NE(log.find(" Backup Profile Outlook Data was Completed!\r\r\n"), std::string::npos);
    EXPECT_FALSE(lastPanel.visible);
}

TEST_F(BackupNow, MissingItemsFailHonestlyAndAnAnsiDataFilePathIsFoundToo) {
    registry::DeleteKeyTree(s.state.AccountsKey);
    std::filesystem::remove_all(Fs(s.state.TemplatesDir));
    // An older profile keeps the path as single-byte text; the first store names a gone file, and
    // the address book is listed but missing.
    SetValue(s.Profile("Outlook") + "\\2f7c3e5a1b2d4c6e8f90a1b2c3d4e5f6", "01020fff", kBinary,
             B(std::string(4, '\0') + "KS" + p.mail2 + "\\archive.pst" + std::string(1, '\0')));
    std::filesystem::remove(Fs(p.mail + "\\a.pst"));
    std::filesystem::remove(Fs(p.mail + "\\Outlook.pab"));
    Tick({Choice::PersonalFolders, Choice::Accounts, Choice::AddressBook, Choice::Templates});
    const auto run = Run();
    ASSERT_TRUE(run.written);
    EXPECT_EQ(run.itemFlags, "11100000000");
    EXPECT_EQ(ReadArchive(Target()).manifest.entries[1], "archive.pst");
    EXPECT_EQ(s.AppFiles(), std::vector<std::string>{"brlog.dat"});  // no export file left
    for (const char* item : {"Accounts Settings", "Templates", "Personal Address Book"})
        EXPECT_NE(OnlyMessage().find(std::string("\r\nBackup ") + item + "\tFail!\t"),
                  std::string::npos);
    EXPECT_NE(s.Log().find(" Backup Templates Fail!\n\r\n"), std::string::npos);
}

TEST_F(BackupNow, TheWindowFollowsTheRunAndASecondRunIsRefused) {
    Tick({Choice::Contacts});
    std::vector<std::string> shown;
    std::vector<bool> secondStarted;
    const auto run =
        DriveRun(ui::win::PrepareBackupRun(window.backup, s.state, zip),
                 [&](ui::win::RunWorker& worker, const ui::ProgressPanel& panel) {
                     shown.push_back(panel.fileText);
                     // "Backup Now" again while the run works.
                     if (secondStarted.empty())
                         secondStarted.push_back(worker.Start([](ui::win::RunChannel&) {}));
                 });
    ASSERT_TRUE(run);
    ASSERT_TRUE(run->result.written);
    EXPECT_EQ(secondStarted, std::vector<bool>{false});
    EXPECT_NE(std::find(shown.begin(), shown.end(), "Adding File Jane.vcf"), shown.end());
    EXPECT_FALSE(run->lastPanel.visible);
    EXPECT_EQ(s.dialogs.messages.size(), 1u);
}

TEST_F(BackupNow, ALockedDataFileFailsItsItemOnly) {
    // Outlook holds its data file open without sharing it.
    const std::string locked = p.mail + "\\a.pst";
    std::filesystem::remove(Fs(locked));
    auto holder = platform::fileio::CreateNew(locked);
    ASSERT_TRUE(holder && holder->Write("held", 4));
    TickAll();
    const auto run = Run();
    ASSERT_TRUE(run.written);
    EXPECT_EQ(run.itemFlags, "10111111111");
    const auto view = ReadArchive(Target());
    EXPECT_EQ(view.manifest.itemFlags, "10111111111");
    EXPECT_EQ(view.manifestText.find("BackupDatas="), std::string::npos);
    EXPECT_NE(OnlyMessage().find("\r\nBackup Personal Folders\tFail!\t"), std::string::npos);
    EXPECT_NE(s.Log().find(" Backup Personal Folders Fail!\n\r\n"), std::string::npos);
}

TEST_F(BackupNow, AnArchiveThatCannotBeWrittenIsNeverReportedAsSuccess) {
    s.state.TargetFile = p.backups + "\\no such folder\\kestrine-Outlook.ksx";
    TickAll();
    const auto run = Run();
    EXPECT_FALSE(run.written);
    EXPECT_EQ(s.dialogs.messages.at(0).icon, MessageIcon::Critical);
    EXPECT_EQ(OnlyMessage().rfind("The backup file could not be written:\r\n" + Target(), 0), 0u);
    EXPECT_EQ(OnlyMessage().find("Completed"), std::string::npos);
    EXPECT_NE(s.Log().find(" Backup Profile Outlook Data was not Completed!\r\r\n"),
              std::string::npos);
    EXPECT_EQ(s.Log().find("Data was Completed!"), std::string::npos);
    EXPECT_EQ(s.AppFiles(), std::vector<std::string>{"brlog.dat"});
}

TEST_F(BackupNow, AFailedWriteKeepsTheOlderArchive) {
    Put(Target(), "the user's previous backup");
    Tick({Choice::Contacts});
    bool written = false;
    {
        // The older archive is held open without sharing, so the new one cannot take its place.
        auto holder = platform::fileio::OpenForRead(Target());
        ASSERT_TRUE(holder);
        written = Run().written;
    }
    if (written) GTEST_SKIP() << "this system replaces a file that is held open";
    EXPECT_EQ(Get(Target()), "the user's previous backup");
    EXPECT_NE(OnlyMessage().find(Target()), std::string::npos);
    // The unfinished archive leaves nothing beside the target.
    EXPECT_EQ(platform::ListFiles(p.backups, true),
              std::vector<std::string>{"kestrine-Outlook.ksx"});
}

TEST_F(BackupNow, AFullDiskEndsTheRunWithItsCauseAndLeavesNothingBehind) {
    Put(Target(), "the user's previous backup");
    // What a run killed midway left: on a FAT drive it may be the only complete copy, so it goes
    // only once a new archive is in place, never after a run that wrote none.
    const std::string leftover = p.backups + "\\~kestrine-Outlook.ksx.writing-12-345.tmp";
    Put(leftover, "half an archive");
    // The disk fills up inside the data files.
    auto faults = std::make_shared<StreamFaults>();
    faults->writeBudget = 30000;
    zip.SetStreamFilter(FaultFilter(".writing-", faults));
    TickAll();
    const auto run = Run();
    EXPECT_FALSE(run.written);
    EXPECT_FALSE(run.cancelled);
    EXPECT_FALSE(run.error.empty());
    // No later item was tried against an archive that could not take it.
    EXPECT_EQ(run.outcomes[archive::IndexOf(archive::Item::Contacts)],
              archive::StepOutcome::NotRun);
    EXPECT_EQ(s.dialogs.messages.at(0).icon, MessageIcon::Critical);
    EXPECT_NE(OnlyMessage().find(run.error), std::string::npos);
    EXPECT_EQ(Get(Target()), "the user's previous backup");
    EXPECT_EQ(platform::ListFiles(p.backups, true),
              (std::vector<std::string>{"kestrine-Outlook.ksx",
                                        "~kestrine-Outlook.ksx.writing-12-345.tmp"}));
    EXPECT_EQ(Get(leftover), "half an archive");
    EXPECT_EQ(s.AppFiles(), std::vector<std::string>{"brlog.dat"});
    EXPECT_NE(s.Log().find(" Backup Profile Outlook Data was not Completed!\r"), std::string::npos);
}

// A protected backup: every entry is encrypted (7z checks the copy left for it with the password).
TEST_F(BackupNow, ACheckedBackupSaysSoAndABadOneNeverReplacesTheLastGoodOne) {
    Put(s.state.SettingsFile, "[General]\r\ncheckbackupfile=1\r\n");
    // A manifest that another run stages stays that run's own.
    Put(s.app + "\\kestrine.dat", "BackupComputer=OTHERPC\r\n");
    Tick({Choice::PersonalFolders, Choice::Contacts});
    window.backup.protect = true;
    window.backup.password = window.backup.retypedPassword = "s3cret pass";
    auto run = Run();
    ASSERT_TRUE(run.written);
    EXPECT_TRUE(run.verified);
    {
        archive::ZipComponent reader;
        EXPECT_EQ(*reader.ArchiveNeedsPassword(Target()), archive::ArchiveProtection::Protected);
        ASSERT_TRUE(reader.OpenArchive(Target()));
        for (const auto& e : reader.Entries()) EXPECT_TRUE(e.encrypted) << e.name;
    }
    if (const std::string out = ArtifactFolder(); !out.empty())
        std::filesystem::copy_file(Fs(Target()), Fs(out + "\\protected.ksx"),
                                   std::filesystem::copy_options::overwrite_existing);
    EXPECT_NE(OnlyMessage().find("\r\n\r\nThe backup file was verified"), std::string::npos);
    EXPECT_NE(s.Log().find(" Backup File was Verified!\n\r\n"), std::string::npos);
    EXPECT_EQ(Get(s.app + "\\kestrine.dat"), "BackupComputer=OTHERPC\r\n");
    EXPECT_EQ(ReadArchive(Target(), "s3cret pass").manifest.header.computer, "SCRATCHPC");

    // A byte of the data file goes wrong on its way to the disk.
    const std::string good = Get(Target());
    auto faults = std::make_shared<StreamFaults>();
    faults->corruptAt = 40000;
    zip.SetStreamFilter(FaultFilter(".writing-", faults));
    s.dialogs.messages.clear();
    run = Run();
    EXPECT_FALSE(run.written);
    EXPECT_TRUE(run.checkFailed);
    EXPECT_EQ(faults->corruptAt, -1);
    EXPECT_EQ(Get(Target()), good);
    EXPECT_EQ(s.dialogs.messages.at(0).icon, MessageIcon::Critical);
    EXPECT_EQ(OnlyMessage().rfind("The new backup file failed its check and was not kept:", 0), 0u);
    EXPECT_NE(s.Log().find(" Backup File was not Verified! "), std::string::npos);
    EXPECT_NE(s.Log().find(" Data was not Completed!\r\r\n"), std::string::npos);
    EXPECT_EQ(platform::ListFiles(p.backups, true),
              std::vector<std::string>{"kestrine-Outlook.ksx"});
}

TEST_F(BackupNow, AnotherRunAtWorkKeepsRunsOutAndWhatEndedRunsLeftGoes) {
    Put(Target(), "the user's previous backup");
    backup::BackupJob job = ui::BackupJobFor(window.backup, s.state, Target());
    job.chosen[archive::IndexOf(Choice::Contacts)] = true;
    job.waitForOtherRun = std::chrono::milliseconds(300);
    restore::RestoreJob restoreJob;
    restoreJob.targetProfile = "Outlook";
    restoreJob.waitForOtherRun = job.waitForOtherRun;
    {
        OtherRunAtWork other;
        const auto busy = backup::RunBackup(job, s.state, zip);
        EXPECT_TRUE(busy.busy);
        EXPECT_EQ(ui::BackupCompletionMessage(busy, Target()), ui::OtherRunMessage());
        const auto restoreBusy = restore::RunRestore(restoreJob, s.state, s.state, zip);
        EXPECT_TRUE(restoreBusy.busy);
        EXPECT_EQ(ui::RestoreCompletionMessage(restoreBusy), ui::OtherRunMessage());
    }
    EXPECT_EQ(Get(Target()), "the user's previous backup");
    const std::string notStarted =
        " was not started: another backup or restore was still running!\n\r\n";
    EXPECT_NE(s.Log().find(" Backup Profile Outlook" + notStarted), std::string::npos);
    EXPECT_NE(s.Log().find(" Restore Data to Profile Outlook" + notStarted), std::string::npos);
    EXPECT_EQ(s.Log().find(std::string(84, '.')), std::string::npos);

    // The folder of a run whose program was ended goes; one of a program that runs stays.
    const std::string ended = s.app + "\\~kestrine.run-999999-1.tmp";
    const std::string running =
        s.app + "\\~kestrine.run-" + std::to_string(platform::CurrentProcessId()) + "-99999.tmp";
    Put(ended + "\\kestrine.dat", "half a manifest");
    Put(running + "\\OBC1.tmp", "at work");
    EXPECT_TRUE(backup::RunBackup(job, s.state, zip).written);
    EXPECT_FALSE(Exists(ended));
    EXPECT_TRUE(Exists(running + "\\OBC1.tmp"));
    std::filesystem::remove_all(Fs(running));
    EXPECT_TRUE(platform::ListFolders(s.app).empty());
}

// A junction at `link` (an empty folder) that leads to `target`; false where the system cannot.
bool MakeJunction(const std::string& link, const std::string& target) {
    std::filesystem::create_directory(Fs(link));
    HANDLE folder =
        CreateFileW(platform::Widen(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return false;
    const std::wstring substitute = L"\\?\?\\" + platform::Widen(target);
    const std::wstring print = platform::Widen(target);
    std::vector<BYTE> buffer(8 + 8 + (substitute.size() + print.size() + 2) * 2);
    auto* data = reinterpret_cast<WORD*>(buffer.data());
    *reinterpret_cast<DWORD*>(buffer.data()) = IO_REPARSE_TAG_MOUNT_POINT;
    data[2] = static_cast<WORD>(buffer.size() - 8);
    data[4] = 0;
    data[5] = static_cast<WORD>(substitute.size() * 2);
    data[6] = static_cast<WORD>((substitute.size() + 1) * 2);
    data[7] = static_cast<WORD>(print.size() * 2);
    std::copy(substitute.begin(), substitute.end(), reinterpret_cast<wchar_t*>(data + 8));
    std::copy(print.begin(), print.end(),
              reinterpret_cast<wchar_t*>(data + 8) + substitute.size() + 1);
    DWORD returned = 0;
    const bool made =
        DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, buffer.data(),
                        static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(folder);
    return made;
}

// What another user of the computer could leave where the runs work: a junction named like an
// ended run's folder, folders named like the next runs' with a manifest of their own inside, and
// the run lock's name of earlier versions held.
TEST_F(BackupNow, WhatAnotherUserPlantsDoesNoHarm) {
    TickAll();
    const std::string victim = s.dir / "victim";
    Put(victim + "\\precious.pst", "somebody's mail");
    const std::string junction = s.app + "\\~kestrine.run-999998-1.tmp";
    const bool junctions = MakeJunction(junction, victim);
    const std::string own = std::to_string(platform::CurrentProcessId());
    std::vector<std::string> planted;
    for (int n = 0; n < 300; ++n) {
        planted.push_back(s.app + "\\~kestrine.run-" + own + "-" + std::to_string(n) + ".tmp");
        Put(planted.back() + "\\kestrine.dat", "BackupProfileName=Poisoned\r\n");
    }
    std::promise<void> release;
    std::promise<bool> held;
    std::thread oldLock([&] {
        const std::wstring name = L"Global\\Kestrine.Run." + platform::Widen(platform::UserName());
        HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
        held.set_value(mutex != nullptr);
        release.get_future().wait();
        if (mutex) CloseHandle(mutex);
    });
    EXPECT_TRUE(held.get_future().get());

    const auto run = Run();
    release.set_value();
    oldLock.join();
    EXPECT_FALSE(run.busy);
    // Either the run worked in a folder of its own or it had none and said so; the planted
    // manifest never went into an archive.
    if (run.written) {
        auto view = ReadArchive(Target());
        EXPECT_EQ(view.manifest.header.identity, "Outlook");
    } else {
        EXPECT_NE(run.error.find("No folder for the run's files"), std::string::npos);
    }
    for (const auto& folder : planted)
        EXPECT_EQ(Get(folder + "\\kestrine.dat"), "BackupProfileName=Poisoned\r\n") << folder;
    EXPECT_EQ(Get(victim + "\\precious.pst"), "somebody's mail");
    if (junctions) {
        EXPECT_TRUE(Exists(junction));
    } else {
        std::cout << "[ NOTE ] this system cannot make junctions; the junction was not planted\n";
    }
    for (const auto& folder : planted) std::filesystem::remove_all(Fs(folder));
    if (junctions) RemoveDirectoryW(platform::Widen(junction).c_str());
}

TEST_F(BackupNow, ADataFileLargerThanFourGigabytes) {
    const std::string big = p.mail + "\\a.pst";
    std::filesystem::remove(Fs(big));
    {
        auto f = platform::fileio::CreateNew(big);
        ASSERT_TRUE(f);
        ASSERT_TRUE(f->Seek((uint64_t{4} << 30) + 4096));  // sparse: only the tail is written
        ASSERT_TRUE(f->Write("tail of a large data file", 25));
    }
    if (const std::string out = ArtifactFolder(); !out.empty())
        s.state.TargetFile = out + "\\large.ksx";
    Tick({Choice::PersonalFolders});
    const auto run = Run();
    ASSERT_TRUE(run.written);
    EXPECT_EQ(run.itemFlags, "11100000000");
    archive::ZipComponent reader;
    ASSERT_TRUE(reader.OpenArchive(Target()));
    EXPECT_EQ(reader.FindEntry("a.pst")->uncompressedSize, (uint64_t{4} << 30) + 4096 + 25);
}

// The engine directly, as a window's worker would run it.
TEST_F(BackupNow, TheRunReportsBytesAndACancellationAbandonsTheArchive) {
    Put(Target(), "the user's previous backup");
    TickAll();
    const backup::BackupJob job = ui::BackupJobFor(window.backup, s.state, Target());
    std::vector<archive::Progress> reports;
    std::vector<archive::Item> started;
    archive::RunObserver observer;
    observer.stepStarted = [&](archive::Item item) { started.push_back(item); };
    observer.progress = [&](const archive::Progress& report) { reports.push_back(report); };
    // Stopped before the first file of the data files.
    observer.cancelRequested = [&] { return started.size() >= 2; };
    const auto cancelled = backup::RunBackup(job, s.state, zip, observer);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_FALSE(cancelled.written);
    EXPECT_EQ(Get(Target()), "the user's previous backup");
    EXPECT_EQ(platform::ListFiles(p.backups, true),
              std::vector<std::string>{"kestrine-Outlook.ksx"});
    EXPECT_EQ(s.AppFiles(), std::vector<std::string>{"brlog.dat"});
    EXPECT_NE(s.Log().find(" Backup Profile Outlook Data was not Completed!\r"), std::string::npos);

    // In small pieces, a data file's bytes are reported as they go in, and a cancellation stops
    // the run inside the file.
    zip.SetChunkSize(8192);
    reports.clear();
    observer.cancelRequested = [&] {
        return std::count_if(reports.begin(), reports.end(),
                             [](const archive::Progress& r) { return r.file == "a.pst"; }) >= 3;
    };
    EXPECT_TRUE(backup::RunBackup(job, s.state, zip, observer).cancelled);
    EXPECT_EQ(Get(Target()), "the user's previous backup");
    EXPECT_EQ(platform::ListFiles(p.backups, true),
              std::vector<std::string>{"kestrine-Outlook.ksx"});
    const auto first = std::find_if(reports.begin(), reports.end(),
                                    [](const archive::Progress& r) { return r.file == "a.pst"; });
    ASSERT_NE(first, reports.end());
    EXPECT_EQ(reports.back().file, "a.pst");
    EXPECT_GT(reports.back().bytesDone, first->bytesDone);
    EXPECT_LT(reports.back().bytesDone, first->bytesDone + 70000);

    reports.clear();
    observer.cancelRequested = nullptr;
    ASSERT_TRUE(backup::RunBackup(job, s.state, zip, observer).written);
    ASSERT_FALSE(reports.empty());
    const uint64_t expected = reports.front().bytesExpected;
    EXPECT_GE(expected, 100000u);  // both data files and the rest
    for (size_t i = 1; i < reports.size(); ++i)
        EXPECT_GE(reports[i].bytesDone, reports[i - 1].bytesDone);
    EXPECT_EQ(reports.back().bytesDone, expected);
}

}  // namespace
}  // namespace kestrine::test
