// The restore run with its real handlers: which rows run in which order, the log, the summary, the
// progress, a cancellation between rows, and a run without an open archive.
#include "restore/restore_run.h"
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <cerrno>

#include "files_held.h"
#include "free_space_stand_in.h"
#include "registry_stand_in.h"
#endif
#include "scratch.h"
#include "ui/commands.h"
#include "ui/restore_presenter.h"
#include "window_runs.h"

namespace kestrine::ui {
namespace {

using namespace kestrine::test;
using backup_format::Choice;
using backup_format::Item;

class RestoreRun : public ::testing::Test {
  protected:
    void SetUp() override {
        // Its list of what it holds is garbage: the restore goes on as from a backup without one.
        auto manifest =
            Scratch::Manifest({{Item::Signatures, "Work.htm"}, {Item::Contacts, "Jane.vcf"}});
        manifest.insert(manifest.begin(),
                        "BackupContents=D9:Work.htm;" + std::string(5000, ';') + "%");
        const std::string path = s.MakeArchive(
            "run.ksx", {s.Source("Work.htm", "sig"), s.Source("Jane.vcf", RandomBytes(5000, 4))},
            manifest);
        s.state.openedArchive.sourceFile = path;
        const restore::OpenedBackup opened = restore::OpenBackup(zip, path, s.app, nullptr);
        ASSERT_EQ(opened.status, restore::OpenStatus::Opened);
        RecordOpenedBackup(s.state.openedArchive, path, opened);
        window.restore.backupOpen = true;
        window.restore.targetProfile = "My Profile";
    }
    void Tick(std::initializer_list<Choice> choices) {
        for (Choice c : choices) window.restore.items[backup_format::IndexOf(c)].ticked = true;
    }

    Scratch s;
    archive::ArchiveReader zip;
    MainWindowModel window;
};

TEST_F(RestoreRun, TickedRowsWithTheirFlagRunInOrderIntoTheLogAndTheSummary) {
    // The address book's flag is "0": skipped silently.
    Tick({Choice::Contacts, Choice::AddressBook, Choice::Signatures});
    // A restore that was ended midway had set a data file aside and half extracted a signature.
    Put(s.folders.localOutlook + "\\~a.pst.replaced-12-34.tmp", "old a");
    Put(s.folders.signatures + "\\~Work.htm.restoring-12-35.tmp", "half");
    const auto run = RestoreLikeTheWindow(window, s.state, zip);
    EXPECT_EQ(Files(s.folders.localOutlook), (FolderSnapshot{{"a.pst", "old a"}}));
    EXPECT_EQ(Files(s.folders.signatures), (FolderSnapshot{{"Work.htm", "sig"}}));
    ASSERT_TRUE(run.ran);
    // The question lists what the ticked rows will change, and nothing else.
    EXPECT_EQ(Occurrences(s.dialogs.messages.at(0).text, "\r\n    "), 2u);
    ASSERT_EQ(run.result.rows.size(), 2u);
    EXPECT_EQ(run.result.rows[0].item, Item::Signatures);
    EXPECT_EQ(run.result.rows[1].item, Item::Contacts);
    EXPECT_EQ(s.dialogs.messages.at(1).text,
              "The Restore was Completed!\t\t\t\r\n\r\nRestore Signatures\t\tSucceeded!\t"
              "\r\nRestore Contacts Folder\tSucceeded!\t");
    // Each line after the separator is a time and then these words.
    const std::vector<std::string> ends = {
        " Start Retore Data to Profile My Profile\n",
        " Restore File is " + s.state.openedArchive.sourceFile + "\n",
        " Restore Signatures Succeeded!\n", " Restore Contacts Folder Succeeded!\n",
        " Restore Data to Profile My Profile was Completed!\r"};
    const std::string log = s.Log();
    ASSERT_EQ(log.rfind(std::string(84, '.') + "\r\r\n", 0), 0u) << log;
    size_t at = 87;
    for (const auto& end : ends) {
        const size_t line = log.find("\r\n", at);
        ASSERT_NE(line, std::string::npos) << log;
        const std::string text = log.substr(at, line - at);
        EXPECT_TRUE(text.size() > end.size() && text.ends_with(end)) << text;
        at = line + 2;
    }
    EXPECT_EQ(at, log.size()) << log;
    EXPECT_EQ(Get(s.folders.signatures + "\\Work.htm"), "sig");
    EXPECT_EQ(window.progress.stepText, "Operation complete!");
    EXPECT_FALSE(window.progress.panelVisible);
    // The tab keeps its selection, so the same run can follow at once.
    EXPECT_TRUE(window.restore.items[backup_format::IndexOf(Choice::Contacts)].ticked);
}

TEST_F(RestoreRun, TheObserverHearsOfEachFileAndACancellationStopsBetweenRows) {
    Tick({Choice::Signatures, Choice::Contacts});
    std::vector<backup_format::Progress> reports;
    backup_format::RunObserver observer;
    observer.progress = [&](const backup_format::Progress& p) { reports.push_back(p); };
    // Stopped once the first row has started: it runs whole, the second never starts.
    std::stop_source source;
    observer.stop = source.get_token();
    observer.stepStarted = [&](backup_format::Item) { source.request_stop(); };
    const auto result = restore::RunRestore(RestoreJobFor(window.restore, s.state.openedArchive),
                                            s.state.environment, s.state.paths, zip, observer);
    EXPECT_EQ(result.outcome, recovery::RunOutcome::Cancelled);
    ASSERT_EQ(result.rows.size(), 1u);
    EXPECT_TRUE(result.rows[0].ok());
    // The file as it starts, and its bytes as they come out.
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].file, "Work.htm");
    EXPECT_EQ(reports[0].bytesDone, 0u);
    EXPECT_EQ(reports[0].bytesExpected, 3u + 5000u);
    EXPECT_EQ(reports[1].file, "Work.htm");
    EXPECT_EQ(reports[1].bytesDone, 3u);
    // The cancelled restore changed nothing: the signature that went in has gone again.
    EXPECT_FALSE(Exists(s.folders.contacts + "\\Jane.vcf"));
    EXPECT_FALSE(Exists(s.folders.signatures + "\\Work.htm"));
    EXPECT_EQ(result.takenBack, restore::TakenBackBecause::Cancelled);
    EXPECT_NE(s.Log().find(" Restore was not completed (cancelled); every change it made was put "
                           "back.\n\r\n"),
              std::string::npos);
    EXPECT_NE(s.Log().find(" Restore Data to Profile My Profile was not Completed!\r"),
              std::string::npos);
    EXPECT_EQ(RestoreCompletionMessage(result).text.find("Completed"), std::string::npos);
}

#ifndef _WIN32
// No row runs when what it would replace cannot be saved first (a file where the undo sets go), or
// when an earlier restore ended midway cannot be put back first (its journal held by a scanner).
TEST_F(RestoreRun, NoRowRunsWithoutAnUndoSetOrWhileAnEarlierRestoreIsNotPutBack) {
    Tick({Choice::Signatures});
    const std::string journal = EndedRestoreJournal(s.state.paths.UndoFolder);
    ASSERT_FALSE(journal.empty());
    platform::fileio::Hold(journal);
    const std::string undo = s.state.paths.UndoFolder;
    for (const auto& [because, why, shown] :
         {std::tuple{restore::TakenBackBecause::EarlierRestore,
                     "an earlier restore could not be put back",
                     "An earlier restore that was ended midway could not be put back yet."},
          {restore::TakenBackBecause::NoUndoSet, "what it would replace could not be saved",
           "What the restore would replace could not be saved first."}}) {
        const auto run = RestoreLikeTheWindow(window, s.state, zip);
        EXPECT_TRUE(run.result.rows.empty());
        EXPECT_EQ(run.result.takenBack, because);
        EXPECT_EQ(s.dialogs.messages.back().text,
                  std::string("The Restore was not completed and nothing was changed. ") + shown);
        EXPECT_NE(s.Log().find(std::string(" Restore was not completed (") + why +
                               "); every change it made was put back.\n"),
                  std::string::npos);
        EXPECT_FALSE(Exists(s.folders.signatures + "\\Work.htm"));
        platform::fileio::LetGo(journal);
        s.state.paths.UndoFolder = s.app + "\\undo.blocked";
        Put(s.state.paths.UndoFolder, "a file where the undo sets go");
    }
    s.state.paths.UndoFolder = undo;
    EXPECT_EQ(RestoreLikeTheWindow(window, s.state, zip).result.rows.size(), 1u);
    EXPECT_EQ(Get(s.folders.signatures + "\\Work.htm"), "sig");
}
#endif

#ifndef _WIN32
// A drive that is full for one write: files may not grow beyond `size` bytes until a write tries,
// which fails as on a full disk (the file-size limit's signal), and the drive has room again.
rlimit roomy;
void MakeRoom(int) {
    setrlimit(RLIMIT_FSIZE, &roomy);
}
void FillTheDriveAt(uint64_t size) {
    getrlimit(RLIMIT_FSIZE, &roomy);
    struct sigaction action {};
    action.sa_handler = MakeRoom;
    sigaction(SIGXFSZ, &action, nullptr);
    rlimit full = roomy;
    full.rlim_cur = static_cast<rlim_t>(size);
    setrlimit(RLIMIT_FSIZE, &full);
}

// The end of a restore is written only once the user's registry hive is on the disk, and an undo
// removes its set only after the hive is written again. (The memory registry says when a flush
// happened; neither it nor Wine can show that a flushed hive survives a power loss.) An end that
// cannot be written (the drive fills up) takes the restore back at once, saying why, rather than
// leaving it to be taken back unasked at the next start.
TEST_F(RestoreRun, TheEndIsWrittenAfterTheRegistryAndARestoreWhoseEndCannotBeWrittenGoesBack) {
    Tick({Choice::Signatures});
    std::vector<std::string> setAtFlush;
    struct Unheard {
        ~Unheard() { platform::memory_registry::WhenFlushed(nullptr); }
    } unheard;
    platform::memory_registry::WhenFlushed([&](uint32_t root) {
        EXPECT_EQ(root, platform::memory_registry::kCurrentUser);
        const auto sets = recovery::ListUndoSets(s.state.paths.UndoFolder);
        setAtFlush.push_back(sets.empty() ? "none" : sets.back().finished ? "finished" : "open");
    });
    ASSERT_EQ(RestoreLikeTheWindow(window, s.state, zip).result.outcome,
              recovery::RunOutcome::Completed);
    ASSERT_TRUE(restore::UndoLastRestoreRun(s.state.paths, s.state.environment).back.ok);
    EXPECT_EQ(setAtFlush, (std::vector<std::string>{"open", "open"}));
    EXPECT_TRUE(recovery::ListUndoSets(s.state.paths.UndoFolder).empty());

    backup_format::RunObserver observer;
    observer.stepFinished = [&](Item item, backup_format::StepOutcome outcome) {
        if (item != Item::Signatures || outcome != backup_format::StepOutcome::Succeeded) return;
        const auto sets = recovery::ListUndoSets(s.state.paths.UndoFolder);
        FillTheDriveAt(platform::fileio::FileSize(sets.back().folder + "\\journal.dat"));
    };
    const auto result = restore::RunRestore(RestoreJobFor(window.restore, s.state.openedArchive),
                                            s.state.environment, s.state.paths, zip, observer);
    EXPECT_EQ(result.takenBack, restore::TakenBackBecause::EndNotRecorded);
    EXPECT_FALSE(result.takeBackFailed);
    EXPECT_FALSE(Exists(s.folders.signatures + "\\Work.htm"));
    // The message gives the system's words for the write that failed, not a guess.
    EXPECT_EQ(result.endNotWritten.code, static_cast<uint32_t>(EFBIG));
    EXPECT_EQ(RestoreCompletionMessage(result).text.rfind(
                  "The Restore was not completed and nothing was changed. Its end could not be "
                  "written to the disk, so it was taken back. Windows said: " +
                      result.endNotWritten.text,
                  0),
              0u)
        << RestoreCompletionMessage(result).text;
    EXPECT_NE(s.Log().find(" Restore was not completed (its end could not be written to the "
                           "disk); every change it made was put back.\n"),
              std::string::npos);
    EXPECT_EQ(recovery::MakeProfileWhole(s.state.paths, s.state.environment).sets, 0u);
    EXPECT_TRUE(recovery::ListUndoSets(s.state.paths.UndoFolder).empty());
}
#endif

#ifndef _WIN32
// Two items that each fit the drive but not together: refused before the first row, nothing staged
// beside the user's files and no undo set left, with the sizes in the message and the log.
TEST_F(RestoreRun, ADriveTooSmallForEveryRowTogetherIsFoundBeforeTheFirstRow) {
    Tick({Choice::Signatures, Choice::Contacts});
    Put(s.folders.signatures + "\\Work.htm", "mine");
    struct FreeSpaceBack {
        std::string user;
        ~FreeSpaceBack() { platform::fileio::SetFreeSpace(user, std::nullopt); }
    } freeSpaceBack{s.user};
    // Room for the contacts' 5,000 bytes and the margin alone, not for the signature's 3 more.
    platform::fileio::SetFreeSpace(s.user, (uint64_t{64} << 20) + 5101);
    const auto run = RestoreLikeTheWindow(window, s.state, zip);
    EXPECT_TRUE(run.result.rows.empty());
    EXPECT_EQ(run.result.takenBack, restore::TakenBackBecause::NoRoom);
    EXPECT_EQ(s.dialogs.messages.back().text.rfind("The Restore was not completed and nothing was "
                                                   "changed. The files for ",
                                                   0),
              0u);
    EXPECT_NE(s.Log().find(" Restore needs more free space: The files for "), std::string::npos);
    EXPECT_NE(s.Log().find("MB free.\n"), std::string::npos);
    EXPECT_EQ(Files(s.folders.signatures), (FolderSnapshot{{"Work.htm", "mine"}}));
    EXPECT_FALSE(Exists(s.folders.contacts + "\\Jane.vcf"));
    EXPECT_TRUE(recovery::ListUndoSets(s.state.paths.UndoFolder).empty());
    platform::fileio::SetFreeSpace(s.user, (uint64_t{64} << 20) + 5103 + 100);
    EXPECT_EQ(RestoreLikeTheWindow(window, s.state, zip).result.outcome,
              recovery::RunOutcome::Completed);
}
#endif

TEST_F(RestoreRun, WithoutAnOpenArchiveTheFirstItemFailsTheRestoreAndWithoutABackupNothingRuns) {
    // A backup run since the open closed the archive: no entry can be found. The first failing row
    // ends the restore, which then changed nothing.
    zip.CloseArchive();
    Tick({Choice::Signatures, Choice::Contacts});
    EXPECT_EQ(RestoreLikeTheWindow(window, s.state, zip).result.rows.size(), 1u);
    // The question first, then the outcome.
    EXPECT_EQ(s.dialogs.messages.at(0).text.rfind(kConfirmRestoreFirstLine, 0), 0u);
    // The message and the log say what the row found, not a guess at an open file.
    const std::string cause =
        "The archive holds no file \"Work.htm\" for " + s.folders.signatures + ".";
    EXPECT_EQ(s.dialogs.messages.at(1).text,
              "The Restore was not completed and nothing was changed. Signatures could not be "
              "restored. " +
                  cause + "\r\n\r\nRestore Signatures \t\tFail!\t");
    EXPECT_NE(s.Log().find(" Restore Signatures Fail!\n\r\n"), std::string::npos);
    EXPECT_NE(s.Log().find(" Signatures failed because: " + cause), std::string::npos);
    EXPECT_NE(s.Log().find(" Restore was not completed (an item failed)"), std::string::npos);
    window.restore.backupOpen = false;
    const std::string logBefore = s.Log();
    EXPECT_FALSE(RestoreLikeTheWindow(window, s.state, zip).ran);
    EXPECT_EQ(s.dialogs.messages.at(2).text, "Invalid backup file.");
    EXPECT_EQ(s.Log(), logBefore);
}

}  // namespace
}  // namespace kestrine::ui
