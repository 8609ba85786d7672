// A backup the way the window runs it (the refusal and the job, the run with its panel, the
// message, the follow-ups), natively over a scratch profile in the in-memory registry: the archive,
// the manifest, the log, the message, and every way a run can fail or be refused without losing the
// user's last backup.
#include <algorithm>

#include <gtest/gtest.h>

#include "backup/backup_run.h"
#include "backup_format/backup_contents.h"
#include "backup_page.h"
#include "base/path.h"
#include "controlled_folders_stand_in.h"
#include "files_held.h"
#include "outlook/inventory.h"
#include "outlook/locations.h"
#include "outlook_automation_stand_in.h"
#include "platform/file_stream.h"
#include "platform/processes.h"
#include "processes_stand_in.h"
#include "registry/registry.h"
#include "registry_stand_in.h"
#include "restore/restore_run.h"
#include "ui/backup_presenter.h"
#include "ui/commands.h"
#include "ui/restore_presenter.h"
#include "window_runs.h"
#include "zip_test_util.h"

namespace kestrine::test {
namespace {

using backup_format::Choice;
using platform::MessageIcon;
namespace fileio = platform::fileio;

class Backup : public BackupPage {
  public:
    WindowBackup Run() {
        return BackupLikeTheWindow(window, s.state, zip,
                                   [this] { panelTexts.push_back(window.progress.fileText); });
    }
    std::vector<std::string> BackupFiles() const {
        auto names = fileio::ListFileNames(p.backups);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::vector<std::string> panelTexts;
};

TEST_F(Backup, EveryItemGoesIntoTheArchiveWithItsManifestLine) {
    Put(Target(), "an older archive, replaced without a question");
    // Kestrine's own files beside the user's (an undo's set-aside and kept files, a restore's
    // staging) are no user data, and a restore would bring them back as ordinary files.
    for (const char* own : {"~Outlook.RWZ.undo-12-34.tmp", "~Outlook.srs.kept-1-2.tmp",
                            "~Outlook.srs.restoring-5-6.tmp"})
        Put(s.folders.roamingOutlook + "\\" + own, "Kestrine's own");
    Put(s.folders.roamingOutlook + "\\~Outlook.undo-notes.tmp", "the user's own");
    TickAll();
    window.backup.note = "first line\r\nsecond line";
    const auto run = Run();
    ASSERT_TRUE(run.result.Written());
    EXPECT_EQ(run.result.check, backup::BackupCheck::NotAsked);  // not checked: never said to be
    EXPECT_EQ(run.result.itemFlags, "11111111111");

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
    EXPECT_EQ(backup_format::SplitStagingList(e[4]).size(), 3u);  // the picture subfolder stays out
    auto preferences = backup_format::SplitStagingList(e[9]);
    std::sort(preferences.begin(), preferences.end());
    EXPECT_EQ(preferences,
              (std::vector<std::string>{"Outlook.RWZ", "Outlook.srs", "~Outlook.undo-notes.tmp"}));
    // The rules file lies in the preferences folder too, so it is in the archive twice.
    EXPECT_EQ(Count(view.names, "Outlook.RWZ"), 2);
    for (const auto& value : e)
        for (const auto& name : backup_format::SplitStagingList(value))
            EXPECT_GE(Count(view.names, name), 1) << name;
    EXPECT_EQ(view.names.back(), "kestrine.dat");
    // The exported keys read back as they are in the registry.
    EXPECT_NE(EntryText(Target(), e[3]).find("sam@example.com"), std::string::npos);
    EXPECT_NE(EntryText(Target(), e[7]).find("options"), std::string::npos);
    // Manifest staging file and export files are gone; only the log stays.
    EXPECT_EQ(s.AppFiles(), std::vector<std::string>{"brlog.dat"});
    EXPECT_TRUE(fileio::ListFolderNames(s.app).empty());

    EXPECT_EQ(s.dialogs.messages.at(0).icon, MessageIcon::Information);
    EXPECT_EQ(s.dialogs.messages.at(0).title, "Kestrine");
    EXPECT_EQ(
        OnlyMessage().rfind(
            "The Backup was Completed!\t\t\t\r\n\r\nBackup Personal Folders\tSucceeded!\t", 0),
        0u);
    EXPECT_EQ(Occurrences(OnlyMessage(), "Succeeded!"), 9u);
    EXPECT_EQ(OnlyMessage().find("verified"), std::string::npos);

    const std::string log = s.Log();
    EXPECT_EQ(log.rfind(std::string(84, '.') + "\r\r\n", 0), 0u);
    EXPECT_NE(log.find(" Start Backup Profile Outlook Data...\n\r\n"), std::string::npos);
    EXPECT_NE(log.find(" Backup File is " + Target() + "\n\r\n"), std::string::npos);
    EXPECT_EQ(Occurrences(log, " Succeeded!\n\r\n"), 9u);
    EXPECT_NE(log.find(" Backup Profile Outlook Data was Completed!\r\r\n"), std::string::npos);
    EXPECT_EQ(log.find("Verified"), std::string::npos);
    EXPECT_NE(std::find(panelTexts.begin(), panelTexts.end(), "Adding File Jane.vcf"),
              panelTexts.end());
    EXPECT_FALSE(window.progress.panelVisible);
    EXPECT_FALSE(window.progress.busyPointer);
}

TEST_F(Backup, MissingItemsFailHonestlyAndAnAnsiDataFilePathIsFoundToo) {
    registry::DeleteKeyTree(s.state.locations.AccountsKey);
    std::filesystem::remove_all(Fs(s.state.locations.TemplatesDir));
    // An older profile keeps the path as single-byte text; the first store names a gone file, and
    // the address book is listed but missing.
    SetValue(s.Profile("Outlook") + "\\2f7c3e5a1b2d4c6e8f90a1b2c3d4e5f6", "01020fff", kBinary,
             B(std::string(4, '\0') + "KS" + p.mail2 + "\\archive.pst" + std::string(1, '\0')));
    std::filesystem::remove(Fs(p.mail + "\\a.pst"));
    std::filesystem::remove(Fs(p.mail + "\\Outlook.pab"));
    Tick({Choice::PersonalFolders, Choice::Accounts, Choice::AddressBook, Choice::Templates});
    const auto run = Run();
    ASSERT_TRUE(run.result.Written());
    EXPECT_EQ(run.result.itemFlags, "11100000000");
    EXPECT_EQ(ReadArchive(Target()).manifest.entries[1], "archive.pst");
    EXPECT_EQ(s.AppFiles(), std::vector<std::string>{"brlog.dat"});  // no export file left
    for (const char* item : {"Accounts Settings", "Templates", "Personal Address Book"})
        EXPECT_NE(OnlyMessage().find(std::string("\r\nBackup ") + item + "\tFail!\t"),
                  std::string::npos);
    EXPECT_NE(s.Log().find(" Backup Templates Fail!\n\r\n"), std::string::npos);
}

TEST_F(Backup, AKeyThatCannotBeExportedFailsItsItemOnlyAndLeavesNoExportFile) {
    namespace memory = platform::memory_registry;
    memory::PlantFailure(memory::Operation::EnumValues, kHkcu,
                         SubkeyOf(s.state.locations.AccountsKey), 5);
    TickAll();
    const auto run = Run();
    memory::ClearFailures();
    ASSERT_TRUE(run.result.Written());
    EXPECT_EQ(run.result.itemFlags, "01101111111");  // the profile's tree holds the accounts
    EXPECT_EQ(ReadArchive(Target()).manifestText.find("BackupAccounts="), std::string::npos);
    EXPECT_NE(OnlyMessage().find("\r\nBackup Accounts Settings\tFail!\t"), std::string::npos);
    EXPECT_EQ(s.AppFiles(), std::vector<std::string>{"brlog.dat"});
    EXPECT_TRUE(fileio::ListFolderNames(s.app).empty());
}

TEST_F(Backup, ChoicesThatCannotRunAreRefusedBeforeAnythingHappens) {
    // Nothing ticked, then no archive named: refused with a message, nothing logged or written.
    EXPECT_FALSE(Run().started);
    TickAll();
    window.backup.targetFileText.clear();
    EXPECT_FALSE(Run().started);
    EXPECT_EQ(s.dialogs.messages.size(), 2u);
    EXPECT_EQ(s.Log(), "");
    EXPECT_TRUE(BackupFiles().empty());
}

TEST_F(Backup, ALockedDataFileFailsItsItemOnly) {
    // Outlook holds its data file open without sharing it.
    fileio::Hold(p.mail + "\\a.pst");
    TickAll();
    const auto run = Run();
    fileio::LetGo(p.mail + "\\a.pst");
    ASSERT_TRUE(run.result.Written());
    EXPECT_EQ(run.result.itemFlags, "10111111111");
    const auto view = ReadArchive(Target());
    EXPECT_EQ(view.manifest.itemFlags, "10111111111");
    EXPECT_EQ(view.manifestText.find("BackupDatas="), std::string::npos);
    EXPECT_NE(OnlyMessage().find("\r\nBackup Personal Folders\tFail!\t"), std::string::npos);
    EXPECT_NE(s.Log().find(" Backup Personal Folders Fail!\n\r\n"), std::string::npos);

    // Once there is a complete backup, a failed item sends the new one beside it, and the message
    // says where both are.
    ASSERT_EQ(Run().result.outcome, recovery::RunOutcome::Completed);
    fileio::Hold(p.mail + "\\a.pst");
    const auto beside = Run();
    fileio::LetGo(p.mail + "\\a.pst");
    ASSERT_NE(beside.result.archivePath, Target());
    EXPECT_NE(s.dialogs.messages.back().text.find(
                  "\r\n\r\nAn item failed, so the complete backup file " + Target() +
                  " was kept; this backup was written to " + beside.result.archivePath + "."),
              std::string::npos)
        << s.dialogs.messages.back().text;

    // So does an archive of ours whose manifest cannot be read: it may be a complete backup.
    const std::string unknown = Get(s.MakeArchive("unknown.ksx", {}, {"not a manifest"}));
    Put(Target(), unknown);
    fileio::Hold(p.mail + "\\a.pst");
    const auto besideUnknown = Run();
    fileio::LetGo(p.mail + "\\a.pst");
    EXPECT_NE(besideUnknown.result.archivePath, Target());
    EXPECT_TRUE(Get(Target()) == unknown);
}

// An archive that cannot be written is never reported as a success, and the older one stays with
// nothing beside it: here the older one is held open without sharing, so the new one cannot take
// its place; then the archive's folder is gone.
TEST_F(Backup, AFailedWriteIsNoSuccessAndKeepsTheOlderArchive) {
    Put(Target(), "the user's previous backup");
    TickAll();
    fileio::Hold(Target());
    auto run = Run();
    fileio::LetGo(Target());
    EXPECT_FALSE(run.result.Written());
    EXPECT_EQ(Get(Target()), "the user's previous backup");
    EXPECT_EQ(BackupFiles(), std::vector<std::string>{"kestrine-Outlook.ksx"});
    for (const bool folderGone : {false, true}) {
        if (folderGone) {
            s.dialogs.messages.clear();
            window.backup.targetFileText = p.backups + "\\no such folder\\kestrine-Outlook.ksx";
            run = Run();
            EXPECT_TRUE(run.started && !run.result.Written());
        }
        EXPECT_EQ(s.dialogs.messages.at(0).icon, MessageIcon::Critical);
        EXPECT_EQ(OnlyMessage().rfind("The backup file could not be written:\r\n" + Target(), 0),
                  0u);
        EXPECT_EQ(OnlyMessage().find("Completed"), std::string::npos);
        EXPECT_EQ(OnlyMessage().find("controlled folder access"), std::string::npos);
    }
    EXPECT_EQ(Occurrences(s.Log(), " Backup Profile Outlook Data was not Completed!\r\r\n"), 2u);
    EXPECT_EQ(s.Log().find("Data was Completed!"), std::string::npos);
    EXPECT_EQ(s.AppFiles(), std::vector<std::string>{"brlog.dat"});

    // Windows Security refuses the folder although its permissions allow writing: the message and
    // the log name the cause and the way out, and the last backup stays.
    s.dialogs.messages.clear();
    window.backup.targetFileText = p.backups + "\\kestrine-Outlook.ksx";
    fileio::ProtectFolder(p.backups);
    run = Run();
    fileio::UnprotectFolder(p.backups);
    EXPECT_TRUE(run.started && !run.result.Written());
    EXPECT_EQ(run.result.blockedFolder, p.backups);
    EXPECT_NE(OnlyMessage().find("Windows Security's controlled folder access does not let "
                                 "Kestrine write into " +
                                 p.backups),
              std::string::npos);
    EXPECT_NE(OnlyMessage().find("Allow an app through Controlled folder access"),
              std::string::npos);
    EXPECT_NE(OnlyMessage().find("choose another folder"), std::string::npos);
    EXPECT_NE(
        s.Log().find(" Backup File could not be written: Windows Security's controlled folder "
                     "access blocks Kestrine in " +
                     p.backups),
        std::string::npos);
    EXPECT_EQ(Get(Target()), "the user's previous backup");
    EXPECT_EQ(BackupFiles(), std::vector<std::string>{"kestrine-Outlook.ksx"});
}

TEST_F(Backup, AFullDiskEndsTheRunWithItsCauseAndLeavesNothingBehind) {
    Put(Target(), "the user's previous backup");
    // What a run killed midway left: on a FAT drive it may be the only complete copy, so it goes
    // only once a new archive is in place, never after a run that wrote none.
    const std::string leftover = p.backups + "\\~kestrine-Outlook.ksx.writing-12-345.tmp";
    Put(leftover, "half an archive");
    // The disk fills up inside the data files. In small chunks they are written as they are read,
    // so the full disk shows within their step, whatever the workers' pace (small files are
    // written when the workers have made them, which may be a step later).
    auto faults = std::make_shared<StreamFaults>();
    faults->writeBudget = 30000;
    zip.filter = FaultFilter(".writing-", faults);
    zip.chunkSize = 8192;
    TickAll();
    const auto run = Run();
    EXPECT_FALSE(run.result.Written());
    EXPECT_EQ(run.result.outcome, recovery::RunOutcome::Failed);
    EXPECT_FALSE(run.result.error.empty());
    // No later item was tried against an archive that could not take it.
    EXPECT_EQ(run.result.outcomes[backup_format::IndexOf(backup_format::Item::Contacts)],
              backup_format::StepOutcome::NotRun);
    EXPECT_EQ(s.dialogs.messages.at(0).icon, MessageIcon::Critical);
    EXPECT_NE(OnlyMessage().find(run.result.error), std::string::npos);
    EXPECT_EQ(Get(Target()), "the user's previous backup");
    EXPECT_EQ(BackupFiles(),
              (std::vector<std::string>{"kestrine-Outlook.ksx",
                                        "~kestrine-Outlook.ksx.writing-12-345.tmp"}));
    EXPECT_EQ(Get(leftover), "half an archive");
    EXPECT_EQ(s.AppFiles(), std::vector<std::string>{"brlog.dat"});
    EXPECT_NE(s.Log().find(" Backup Profile Outlook Data was not Completed!\r"), std::string::npos);

    // The next run that writes its archive removes the leftover.
    zip.filter = nullptr;
    s.dialogs.messages.clear();
    ASSERT_TRUE(Run().result.Written());
    EXPECT_EQ(BackupFiles(), std::vector<std::string>{"kestrine-Outlook.ksx"});
    // An archive without its manifest is no backup: one that cannot be read back fails the run.
    const std::string written = Get(Target());
    zip.filter = [](auto stream, const std::string& path) {
        return path.ends_with("kestrine.dat") ? nullptr : std::move(stream);
    };
    const auto noManifest = Run();
    EXPECT_FALSE(noManifest.result.Written());
    EXPECT_NE(noManifest.result.error.find("could not be added"), std::string::npos);
    EXPECT_EQ(Get(Target()), written);
}

// A run needs a folder of its own, and a profile that an ended restore left half changed is not
// backed up until that restore is put back: either way the last backup stays.
TEST_F(Backup, NoRunWithoutItsFolderOrWhileAnEndedRestoreIsNotPutBack) {
    Put(Target(), "the user's previous backup");
    TickAll();
    const std::string temp = s.state.paths.TempFolder;
    s.state.paths.TempFolder = s.app + "\\temp.blocked";
    Put(s.state.paths.TempFolder, "a file where the run folders go");
    EXPECT_NE(Run().result.error.find("No folder for the run's files could be made"),
              std::string::npos);
    s.state.paths.TempFolder = temp;
    // The journal of the ended restore is held by a scanner.
    const std::string journal = EndedRestoreJournal(s.state.paths.UndoFolder);
    ASSERT_FALSE(journal.empty());
    fileio::Hold(journal);
    const auto run = Run();
    fileio::LetGo(journal);
    EXPECT_FALSE(run.result.Written());
    EXPECT_NE(run.result.error.find("ended midway could not be put back"), std::string::npos);
    EXPECT_EQ(Get(Target()), "the user's previous backup");
}

// A restore ended midway whose saved profile no longer imports (a damaged key file) cannot go
// back: the start says what could not be put back and asks; the user keeps the profile as it is,
// and the next backup runs.
TEST_F(Backup, AnAbandonedRestoreThatCannotGoBackLetsTheNextBackupRun) {
    TickAll();
    std::string keyFile;
    {
        auto ended =
            recovery::UndoJournal::Begin(s.state.paths.UndoFolder, recovery::RegistryKeyKeeper());
        ASSERT_TRUE(ended && ended->SaveKey(s.Profile("Outlook")));
        keyFile = ended->Folder() + "\\key1.reg";
    }
    Put(keyFile, "damaged");
    EXPECT_FALSE(Run().result.Written());
    s.dialogs.messages.clear();
    platform::SetMessageHandler([this](const platform::MessageRequest& r) {
        s.dialogs.messages.push_back(r);
        return r.buttons == platform::MessageButtons::YesNo ? platform::MessageAnswer::Yes
                                                            : platform::MessageAnswer::Ok;
    });
    ui::RecoverAtStart(s.state);
    ASSERT_EQ(s.dialogs.messages.size(), 2u);
    EXPECT_NE(s.dialogs.messages[0].text.find(s.Profile("Outlook") + " (its old content is in " +
                                              keyFile + ")"),
              std::string::npos);
    EXPECT_EQ(s.dialogs.messages[1].text, "The profile is kept as it is now. Backups go on.");
    EXPECT_NE(s.Log().find(" Could not put back " + s.Profile("Outlook")), std::string::npos);
    EXPECT_TRUE(Run().result.Written());
    EXPECT_TRUE(Exists(keyFile));  // the set stays where the user was told it is
}

// A restore ended midway in a folder it writes to is put back before a backup reads the folder:
// the user's file it had set aside goes into the backup, the content it was staging does not.
TEST_F(Backup, ARestoreEndedMidwayInAnItemFolderIsPutBackFirst) {
    const std::string signatures = s.folders.signatures;
    ASSERT_TRUE(fileio::RemoveFile(signatures + "\\Work.txt"));
    Put(signatures + "\\~Work.txt.replaced-1-2.tmp", "Sam");
    Put(signatures + "\\~Work.htm.restoring-3-4.tmp", "half of a new signature");
    Tick({Choice::Signatures});
    ASSERT_TRUE(Run().result.Written());
    EXPECT_EQ(Get(signatures + "\\Work.txt"), "Sam");
    EXPECT_FALSE(Exists(signatures + "\\~Work.htm.restoring-3-4.tmp"));
    archive::ArchiveReader reader;
    ASSERT_TRUE(reader.OpenArchive(Target()));
    std::vector<std::string> names;
    for (const auto& e : reader.Entries()) names.push_back(e.name);
    EXPECT_TRUE(std::ranges::any_of(names, [](const auto& n) { return n.ends_with("Work.txt"); }));
    EXPECT_FALSE(std::ranges::any_of(names, [](const auto& n) { return n.find('~') != n.npos; }));
}

// A protected, checked backup; a bad one never replaces the last good one.
TEST_F(Backup, ACheckedBackupSaysSoAndABadOneNeverReplacesTheLastGoodOne) {
    Put(s.state.paths.SettingsFile, "[General]\r\ncheckbackupfile=1\r\n");
    // A manifest that another run stages stays that run's own.
    Put(s.app + "\\kestrine.dat", "BackupComputer=OTHERPC\r\n");
    Tick({Choice::PersonalFolders, Choice::Contacts});
    window.backup.protect = true;
    window.backup.password = window.backup.retypedPassword = "s3cret pass";
    auto run = Run();
    ASSERT_TRUE(run.result.Written());
    EXPECT_EQ(run.result.check, backup::BackupCheck::Passed);
    {
        archive::ArchiveReader reader;
        EXPECT_EQ(*reader.ArchiveNeedsPassword(Target()), archive::ArchiveProtection::Protected);
        ASSERT_TRUE(reader.OpenArchive(Target()));
        for (const auto& e : reader.Entries()) EXPECT_TRUE(e.encrypted) << e.name;
    }
    // 7z checks this copy with the password, outside the program.
    if (const std::string out = ArtifactFolder(); !out.empty())
        std::filesystem::copy_file(Fs(Target()), Fs(out + "\\protected.ksx"),
                                   std::filesystem::copy_options::overwrite_existing);
    EXPECT_NE(OnlyMessage().find("\r\n\r\nThe backup file was verified"), std::string::npos);
    EXPECT_NE(s.Log().find(" Backup File was Verified!\n\r\n"), std::string::npos);
    EXPECT_EQ(Get(s.app + "\\kestrine.dat"), "BackupComputer=OTHERPC\r\n");
    EXPECT_EQ(ReadArchive(Target(), "s3cret pass").manifest.header.computer, "SCRATCHPC");
    EXPECT_FALSE(ReadArchive(Target(), "wrong").manifest.valid);

    // A byte of the data file goes wrong on its way to the disk.
    const std::string good = Get(Target());
    auto faults = std::make_shared<StreamFaults>();
    faults->corruptAt = 40000;
    zip.filter = FaultFilter(".writing-", faults);
    s.dialogs.messages.clear();
    run = Run();
    EXPECT_FALSE(run.result.Written());
    EXPECT_EQ(run.result.check, backup::BackupCheck::Failed);
    EXPECT_FALSE(run.result.error.empty());
    EXPECT_EQ(faults->corruptAt, -1);
    EXPECT_EQ(Get(Target()), good);
    EXPECT_EQ(s.dialogs.messages.at(0).icon, MessageIcon::Critical);
    EXPECT_EQ(OnlyMessage().rfind("The new backup file failed its check and was not kept:", 0), 0u);
    EXPECT_NE(s.Log().find(" Backup File was not Verified! "), std::string::npos);
    EXPECT_NE(s.Log().find(" Data was not Completed!\r\r\n"), std::string::npos);
    EXPECT_EQ(BackupFiles(), std::vector<std::string>{"kestrine-Outlook.ksx"});
}

TEST_F(Backup, AnotherRunAtWorkKeepsRunsOutAndWhatEndedRunsLeftGoes) {
    Put(Target(), "the user's previous backup");
    backup::BackupJob job = ui::BackupJobFor(window.backup, s.state, Target());
    job.chosen[backup_format::IndexOf(Choice::Contacts)] = true;
    job.waitForOtherRun = std::chrono::milliseconds(300);
    restore::RestoreJob restoreJob;
    restoreJob.targetProfile = "Outlook";
    restoreJob.waitForOtherRun = job.waitForOtherRun;
    {
        OtherRunAtWork other;
        const auto busy = backup::RunBackup(job, s.state.environment, s.state.paths, zip);
        EXPECT_EQ(busy.outcome, recovery::RunOutcome::Busy);
        EXPECT_FALSE(busy.Written());
        EXPECT_EQ(ui::BackupCompletionMessage(busy, Target()), ui::OtherRunMessage());
        const auto restoreBusy =
            restore::RunRestore(restoreJob, s.state.environment, s.state.paths, opened);
        EXPECT_EQ(restoreBusy.outcome, recovery::RunOutcome::Busy);
        EXPECT_EQ(ui::RestoreCompletionMessage(restoreBusy), ui::OtherRunMessage());
        // Cancelled while it waits: no "busy", nothing logged.
        std::stop_source stopped;
        stopped.request_stop();
        backup_format::RunObserver stop;
        stop.stop = stopped.get_token();
        job.waitForOtherRun = std::chrono::seconds(30);
        const auto cancelled =
            backup::RunBackup(job, s.state.environment, s.state.paths, zip, stop);
        EXPECT_EQ(cancelled.outcome, recovery::RunOutcome::Cancelled);
    }
    EXPECT_EQ(Get(Target()), "the user's previous backup");
    const std::string notStarted =
        " was not started: another backup or restore was still running!\n\r\n";
    EXPECT_EQ(Occurrences(s.Log(), " Backup Profile Outlook" + notStarted), 1u);
    EXPECT_NE(s.Log().find(" Restore Data to Profile Outlook" + notStarted), std::string::npos);
    EXPECT_EQ(s.Log().find(std::string(84, '.')), std::string::npos);

    // The folder of a run whose program was ended goes; one of a program that runs stays, and so
    // does a folder that is no run's.
    const std::string ended = s.app + "\\~kestrine.run-999999-1.tmp";
    const std::string running =
        s.app + "\\~kestrine.run-" + std::to_string(platform::CurrentProcessId()) + "-99999.tmp";
    const std::string strangers[] = {s.app + "\\~kestrine.run-x-1.tmp",
                                     s.app + "\\~kestrine.run--1.tmp",
                                     s.app + "\\~kestrine.run-999997-.tmp"};
    Put(ended + "\\kestrine.dat", "half a manifest");
    Put(running + "\\OBC1.tmp", "at work");
    for (const auto& stranger : strangers) Put(stranger + "\\keep.txt", "keep");
    EXPECT_TRUE(backup::RunBackup(job, s.state.environment, s.state.paths, zip).Written());
    EXPECT_FALSE(Exists(ended));
    EXPECT_TRUE(Exists(running + "\\OBC1.tmp"));
    std::filesystem::remove_all(Fs(running));
    for (const auto& stranger : strangers) {
        EXPECT_TRUE(Exists(stranger + "\\keep.txt")) << stranger;
        std::filesystem::remove_all(Fs(stranger));
    }
    EXPECT_TRUE(fileio::ListFolderNames(s.app).empty());
}

// A symbolic link named like an ended run's folder leads elsewhere: what it leads to stays.
TEST_F(Backup, ALinkNamedLikeARunFolderIsNotFollowed) {
    TickAll();
    const std::string victim = s.dir / "victim";
    Put(victim + "\\precious.pst", "somebody's mail");
    const std::string link = s.app + "\\~kestrine.run-999998-1.tmp";
    std::filesystem::create_directory_symlink(Fs(victim), Fs(link));
    ASSERT_TRUE(Run().result.Written());
    EXPECT_EQ(Get(victim + "\\precious.pst"), "somebody's mail");
    EXPECT_TRUE(std::filesystem::is_symlink(Fs(link)));
}

TEST_F(Backup, OutlookIsClosedFirstWhenTheSettingsSaySoAndStartedAgainAfterwards) {
    Put(s.state.paths.SettingsFile,
        "[backup]\r\nautocloseoutlook=1\r\n[General]\r\nrunoutlookafterbackup=1\r\n");
    RegisterOutlookIn("C:\\Office");
    platform::SetStandInProcesses({{"C:\\Office\\OUTLOOK.EXE"}});
    // Asked through its automation object, it quits when no item window is open.
    bool itemsOpen = false;
    platform::SetOutlookQuitAnswer([&] {
        if (itemsOpen) return platform::OutlookQuitAnswer::ItemsOpen;
        platform::SetStandInProcesses({});
        return platform::OutlookQuitAnswer::QuitCalled;
    });
    Tick({Choice::Contacts});
    ASSERT_TRUE(Run().result.Written());
    EXPECT_TRUE(platform::StandInProcesses().empty());
    EXPECT_NE(s.Log().find(" Outlook was asked to close and closed."), std::string::npos);
    ASSERT_EQ(platform::StartedPrograms().size(), 1u);
    EXPECT_NE(platform::StartedPrograms()[0].find("C:\\Office\\OUTLOOK.EXE"), std::string::npos);

    // With an item window open it is not asked: the user is, warned that unsaved items are lost.
    // Cancel leaves it running; OK ends it. A failed run starts nothing.
    itemsOpen = true;
    platform::SetStandInProcesses({{"C:\\Office\\outlook.exe"}});
    auto answer = platform::MessageAnswer::Cancel;
    platform::SetMessageHandler([&](const platform::MessageRequest& r) {
        s.dialogs.messages.push_back(r);
        return r.buttons == platform::MessageButtons::OkCancel ? answer
                                                               : platform::MessageAnswer::Ok;
    });
    ASSERT_TRUE(Run().result.Written());
    EXPECT_EQ(platform::StandInProcesses().size(), 1u);
    ASSERT_GE(s.dialogs.messages.size(), 1u);
    const platform::MessageRequest question = s.dialogs.messages[s.dialogs.messages.size() - 2];
    EXPECT_EQ(question.buttons, platform::MessageButtons::OkCancel);
    EXPECT_NE(question.text.find("is lost"), std::string::npos) << question.text;
    answer = platform::MessageAnswer::Ok;
    platform::SetStandInProcesses({{"C:\\Office\\outlook.exe"}});  // forgets what was started
    window.backup.targetFileText = p.backups + "\\missing\\x.ksx";
    EXPECT_FALSE(Run().result.Written());
    EXPECT_TRUE(platform::StandInProcesses().empty());
    EXPECT_NE(s.Log().find(" Outlook did not close and was ended, as the user agreed."),
              std::string::npos);
    EXPECT_TRUE(platform::StartedPrograms().empty());

    // Without the settings Outlook is left alone.
    Put(s.state.paths.SettingsFile, "");
    window.backup.targetFileText = p.backups + "\\kestrine-Outlook.ksx";
    platform::SetStandInProcesses({{"C:\\Office\\OUTLOOK.EXE"}});
    ASSERT_TRUE(Run().result.Written());
    EXPECT_EQ(platform::StandInProcesses().size(), 1u);
    EXPECT_TRUE(platform::StartedPrograms().empty());
    platform::SetStandInProcesses({});
    platform::SetOutlookQuitAnswer(nullptr);
}

// A German Office keeps the signatures in the folder it records for the user; a restore for a
// user whose Office records nothing (English) puts them into that user's Signatures folder.
TEST_F(Backup, AGermanOfficesSignaturesGoIntoAnEnglishProfilesFolder) {
    const std::string general = outlook::OfficeGeneralKey(s.state.environment.OutlookVersion);
    SetValue(general, outlook::kSignaturesFolderValue, kSz, SzData("Signaturen"));
    const std::string german = base::FolderPart(s.folders.signatures) + "\\Signaturen";
    Put(german + "\\Gru\xC3\x9F.htm", "<html>Gr\xC3\xBC\xC3\x9F</html>");
    s.state.locations = outlook::LocationsFor(s.state.environment, "Outlook");
    Tick({Choice::Signatures});
    ASSERT_TRUE(Run().result.Written());

    ASSERT_TRUE(registry::DeleteValue(general, outlook::kSignaturesFolderValue));
    s.dialogs.chosenFile = Target();
    ui::MainWindowModel english;
    ASSERT_EQ(ui::OpenBackupFile(english.restore, s.state, opened), ui::OpenOutcome::Opened);
    english.restore.targetProfile = "Outlook";
    english.restore.items[backup_format::IndexOf(Choice::Signatures)].ticked = true;
    ASSERT_EQ(RestoreLikeTheWindow(english, s.state, opened).result.outcome,
              recovery::RunOutcome::Completed);
    EXPECT_EQ(Get(s.folders.signatures + "\\Gru\xC3\x9F.htm"), "<html>Gr\xC3\xBC\xC3\x9F</html>");
    EXPECT_EQ(Get(s.folders.signatures + "\\Work.htm"), "<html>Sam</html>");
    EXPECT_EQ(fileio::ListFileNames(german), std::vector<std::string>{"Gru\xC3\x9F.htm"});
}

// The weekly backup takes over last week's unchanged pieces, never a changed one, and an earlier
// file that is no archive is logged and compressed anew.
TEST_F(Backup, ARebackupHoldsTheDataFilesAsTheyAreNow) {
    zip.chunkSize = 8192;
    std::string mail;
    for (int i = 0; mail.size() < 120000; ++i)
        mail += "Message " + std::to_string(i * 7919) + "\r\n";
    Put(p.mail + "\\a.pst", mail);
    Tick({Choice::PersonalFolders});
    window.backup.protect = true;
    window.backup.password = window.backup.retypedPassword = "week pass";
    ASSERT_TRUE(Run().result.Written());
    mail.replace(50000, 7, "CHANGED");
    Put(p.mail + "\\a.pst", mail);
    for (const bool earlierIsGarbage : {false, true}) {
        if (earlierIsGarbage) Put(Target(), "not an archive");
        ASSERT_TRUE(Run().result.Written());
        EXPECT_TRUE(EntryText(Target(), "a.pst", "week pass") == mail);
        // Last week's a.pst serves; a file that is no archive is said to be none.
        const std::string unused = " Earlier Backup File " + Target() + " not reused: ";
        EXPECT_EQ(s.Log().find(unused + "the earlier entry a.pst"), std::string::npos);
        EXPECT_EQ(s.Log().find(unused + "not a zip") != std::string::npos, earlierIsGarbage);
    }
}

TEST_F(Backup, TheRunReportsBytesAndACancellationAbandonsTheArchive) {
    Put(Target(), "the user's previous backup");
    TickAll();
    const backup::BackupJob job = ui::BackupJobFor(window.backup, s.state, Target());
    std::vector<backup_format::Progress> reports;
    std::vector<backup_format::Item> started;
    std::stop_source source;
    backup_format::RunObserver observer;
    observer.stop = source.get_token();
    // Stopped before the first file of the data files.
    observer.stepStarted = [&](backup_format::Item item) {
        started.push_back(item);
        if (started.size() >= 2) source.request_stop();
    };
    observer.progress = [&](const backup_format::Progress& report) { reports.push_back(report); };
    const auto cancelled =
        backup::RunBackup(job, s.state.environment, s.state.paths, zip, observer);
    EXPECT_EQ(cancelled.outcome, recovery::RunOutcome::Cancelled);
    EXPECT_FALSE(cancelled.Written());
    EXPECT_NE(ui::BackupCompletionMessage(cancelled, Target()).text.find("cancelled"),
              std::string::npos);
    EXPECT_EQ(Get(Target()), "the user's previous backup");
    EXPECT_EQ(BackupFiles(), std::vector<std::string>{"kestrine-Outlook.ksx"});
    EXPECT_EQ(s.AppFiles(), std::vector<std::string>{"brlog.dat"});
    EXPECT_NE(s.Log().find(" Backup Profile Outlook Data was not Completed!\r"), std::string::npos);

    // In small pieces, a data file's bytes are reported as they go in, and a cancellation stops
    // the run inside the file.
    zip.chunkSize = 8192;
    reports.clear();
    source = std::stop_source();
    observer.stop = source.get_token();
    observer.stepStarted = [](backup_format::Item) {};
    observer.progress = [&](const backup_format::Progress& report) {
        reports.push_back(report);
        if (std::count_if(reports.begin(), reports.end(),
                          [](const backup_format::Progress& r) { return r.file == "a.pst"; }) >= 3)
            source.request_stop();
    };
    EXPECT_EQ(backup::RunBackup(job, s.state.environment, s.state.paths, zip, observer).outcome,
              recovery::RunOutcome::Cancelled);
    EXPECT_EQ(Get(Target()), "the user's previous backup");
    EXPECT_EQ(BackupFiles(), std::vector<std::string>{"kestrine-Outlook.ksx"});
    const auto first =
        std::find_if(reports.begin(), reports.end(),
                     [](const backup_format::Progress& r) { return r.file == "a.pst"; });
    ASSERT_NE(first, reports.end());
    EXPECT_EQ(reports.back().file, "a.pst");
    EXPECT_GT(reports.back().bytesDone, first->bytesDone);
    EXPECT_LT(reports.back().bytesDone, first->bytesDone + 70000);

    reports.clear();
    observer.stop = std::stop_token();
    ASSERT_TRUE(
        backup::RunBackup(job, s.state.environment, s.state.paths, zip, observer).Written());
    ASSERT_FALSE(reports.empty());
    const uint64_t expected = reports.front().bytesExpected;
    EXPECT_GE(expected, 100000u);  // both data files and the rest
    for (size_t i = 1; i < reports.size(); ++i)
        EXPECT_GE(reports[i].bytesDone, reports[i - 1].bytesDone);
    EXPECT_EQ(reports.back().bytesDone, expected);

    // Only the chosen items' files are expected: without the data files the run still ends at
    // what it expected.
    backup::BackupJob part = job;
    part.chosen[backup_format::IndexOf(Choice::PersonalFolders)] = false;
    reports.clear();
    ASSERT_TRUE(
        backup::RunBackup(part, s.state.environment, s.state.paths, zip, observer).Written());
    ASSERT_FALSE(reports.empty());
    EXPECT_LT(reports.back().bytesExpected, 100000u);
    EXPECT_EQ(reports.back().bytesDone, reports.back().bytesExpected);
}

}  // namespace
}  // namespace kestrine::test

namespace kestrine::test {
namespace {

// Profiles of today's Outlook (Office 16's profiles key): which stores the run backs up, that an
// offline store (.ost) never goes in, and what the message, log and manifest say stays out.
TEST_F(Backup, TodaysProfilesBackUpTheirPersonalFoldersAndSayWhatStaysOnTheServer) {
    const std::string profile = s.Profile("Outlook");
    const std::string local = s.MakeFolder(s.folders.localOutlook);
    auto wide = [](const std::string& path) { return B(Utf16(path) + std::string(2, '\0')); };
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, std::string>> sections;  // value name, path
        bool onServer;
        const char* flags;
        std::vector<std::string> inArchive, accounts, missing;
    };
    const std::string ost = local + "\\sam@contoso.com.ost", imap = local + "\\sam@mail.test.ost";
    const std::string pop = p.mail2 + "\\pop.pst", archive = p.mail + "\\Archive 2019.pst";
    const std::vector<Case> cases = {
        {"Microsoft 365", {{"001f6610", ost}}, true, "10010000000", {}, {"sam@contoso.com"}, {}},
        {"IMAP", {{"001f6700", imap}}, true, "10010000000", {}, {"sam@mail.test"}, {}},
        {"POP", {{"001e6700", pop}}, false, "11110000000", {"pop.pst"}, {}, {}},
        {"Exchange and an archive",
         {{"001f6610", ost}, {"001f6700", archive}},
         false,
         "11110000000",
         {"Archive 2019.pst"},
         {"sam@contoso.com"},
         {}},
        {"missing .pst",
         {{"001f6700", local + "\\gone.pst"}},
         false,
         "10110000000",
         {},
         {},
         {local + "\\gone.pst"}},
    };
    for (const auto& file : {ost, imap, pop, archive}) Put(file, "mail of " + file);
    Put(local + "\\old archive.pst", "not attached");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        registry::DeleteKeyTree(profile + "\\13dbb0c8aa05101a9bb000aa002fc45a");
        registry::DeleteKeyTree(profile + "\\2f7c3e5a1b2d4c6e8f90a1b2c3d4e5f6");
        for (int i = 0; i < 4; ++i)
            registry::DeleteKeyTree(profile + "\\store" + std::to_string(i));
        for (size_t i = 0; i < c.sections.size(); ++i) {
            const auto& [value, path] = c.sections[i];
            SetValue(profile + "\\store" + std::to_string(i), value, kBinary,
                     value[3] == 'f' ? wide(path) : B(path + '\0'));
        }
        const auto inventory = outlook::TakeInventory(s.state.environment, "Outlook");
        EXPECT_EQ(inventory.available[0], !c.onServer);
        s.dialogs.messages.clear();
        Tick({Choice::PersonalFolders, Choice::Accounts});  // as a scheduled mask asks
        const auto run = Run();
        ASSERT_TRUE(run.result.Written());
        EXPECT_EQ(run.result.mailOnServer, c.onServer);
        EXPECT_EQ(run.result.itemFlags, c.flags);
        EXPECT_EQ(run.result.outcome == recovery::RunOutcome::Completed, c.missing.empty());
        const auto view = ReadArchive(run.result.archivePath);
        for (const auto& name : view.names) EXPECT_FALSE(name.ends_with(".ost")) << name;
        for (const auto& name : c.inArchive) EXPECT_EQ(Count(view.names, name), 1) << name;
        const auto contents = backup_format::DecodeContents(view.manifest.contents);
        ASSERT_TRUE(contents);
        EXPECT_EQ(*contents, run.result.contents);
        EXPECT_EQ(contents->serverAccounts, c.accounts);
        EXPECT_EQ(contents->dataFiles.size(), c.inArchive.size());
        ASSERT_EQ(contents->missing.size(), c.missing.size());
        ASSERT_EQ(contents->unattached.size(), 1u);
        EXPECT_EQ(contents->unattached[0].name, local + "\\old archive.pst");
        const std::string message = OnlyMessage();
        for (const auto& account : c.accounts)
            EXPECT_NE(message.find("Mail of " + account + " stays on the server"),
                      std::string::npos);
        EXPECT_NE(message.find(backup_format::kPasswordsNote), std::string::npos);
        EXPECT_EQ(s.Log().find("kept on the server") != std::string::npos, c.onServer);
        EXPECT_EQ(s.Log().find("data file is missing") != std::string::npos, !c.missing.empty());
        std::filesystem::remove(Fs(s.state.paths.LogFile));
    }
}

}  // namespace
}  // namespace kestrine::test
