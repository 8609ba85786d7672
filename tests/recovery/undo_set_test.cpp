#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/file_stream.h"
#ifndef _WIN32
#include "files_held.h"
#endif
#include "recovery/file_replace.h"
#include "recovery/undo_set.h"
#include "test_support.h"

namespace kestrine::recovery {
namespace {

namespace fs = std::filesystem;

// Names that the journal must carry through its escapes: a percent sign, a literal escape, a tab.
const std::string kMail = "mail 100% %25";
const std::string kProfile = "Profiles\\Work\t%09 50%";

// The program ended at this point (a kill, a power loss): nothing after it runs.
struct Ended {};

// Undo sets over a scratch folder and a registry made of plain strings.
class UndoSets : public ::testing::Test {
  protected:
    test::TempDir dir;
    std::map<std::string, std::string> registry;
    std::string undo = dir / "Undo";

    void SetUp() override { fs::create_directory(dir.path() / kMail); }

    KeyKeeper Keys() {
        return {[this](const std::string& k) { return registry.count(k) > 0; },
                [this](const std::string& k, const std::string& file) {
                    test::WriteFile(file, registry.at(k));
                    return true;
                },
                [this](const std::string& k, const std::string& file) {
                    registry[k] = test::ReadFile(file);
                    return true;
                },
                [this](const std::string& k) { return registry.erase(k) > 0; },
                [] { return true; }};
    }
    std::string Mail(const std::string& name) { return dir / (kMail + "/" + name); }
    StagedFile Stage(const std::string& name, const std::string& content) {
        StagedFile f{NewStagingFile(Mail(name)), Mail(name)};
        test::WriteFile(f.temporary, content);
        return f;
    }
    // Every file of the mail folder and its content, and the registry.
    std::map<std::string, std::string> State() {
        std::map<std::string, std::string> state;
        for (const auto& e : fs::directory_iterator(dir.path() / kMail))
            state["file " + e.path().filename().string()] = test::ReadFile(e.path());
        for (const auto& [k, v] : registry) state["key " + k] = v;
        return state;
    }
    void Before() {
        test::WriteFile(Mail("Outlook.pst"), test::RandomBytes(3000, 1));
        test::WriteFile(Mail("archive.pst"), "old archive");
        registry[kProfile] = "old profile";
    }
    // A restore of two rows: the profile key is replaced, then two data files are replaced and a
    // third one added together. `move` does the moves of the second row.
    void Restore(UndoJournal& journal, const MoveFile& move = {}) {
        ASSERT_TRUE(journal.SaveKey(kProfile));
        ASSERT_TRUE(journal.SaveKey("Options"));  // not there before
        registry[kProfile] = "restored profile";
        registry["Options"] = "restored options";
        const auto outcome =
            ReplaceFilesTogether({Stage("Outlook.pst", "new pst"),
                                  Stage("archive.pst", "new archive"), Stage("added.pst", "added")},
                                 move, &journal);
        ASSERT_TRUE(outcome.replaced);
    }
    static std::string Escaped(std::string path) {
        for (size_t at = 0; (at = path.find('%', at)) != std::string::npos; at += 3)
            path.replace(at, 1, "%25");
        return path;
    }
    // Appends to the journal of the only set, as the program would have before it was ended.
    void AppendToJournal(const std::string& bytes) {
        auto file =
            platform::fileio::OpenForWrite(ListUndoSets(undo).at(0).folder + "/journal.dat");
        ASSERT_TRUE(file);
        ASSERT_TRUE(file->Seek(static_cast<uint64_t>(file->Size())));
        ASSERT_TRUE(file->Write(bytes.data(), bytes.size()));
    }
    void FinishedRestore() {
        auto journal = UndoJournal::Begin(undo, Keys());
        ASSERT_TRUE(journal);
        Restore(*journal);
        ASSERT_TRUE(journal->Finish());
    }
};

TEST_F(UndoSets, AFinishedRestoreUndoesByteForByteAndOnlyTheNewestFewAreKept) {
    Before();
    const auto before = State();
    EXPECT_FALSE(CanUndoLastRestore(undo));
    FinishedRestore();
    EXPECT_EQ(test::ReadFile(Mail("Outlook.pst")), "new pst");
    EXPECT_EQ(registry["Options"], "restored options");
    // A later start finds nothing to recover: the restore finished.
    EXPECT_EQ(RecoverUnfinishedRestores(undo, Keys()).sets, 0u);
    ASSERT_TRUE(CanUndoLastRestore(undo));

    const auto undone = UndoLastRestore(undo, Keys());
    EXPECT_TRUE(undone.ok);
    EXPECT_EQ(State(), before);  // the added file and the made key are gone, the old ones back
    EXPECT_TRUE(ListUndoSets(undo).empty());
    EXPECT_FALSE(CanUndoLastRestore(undo));

    // A key that cannot be put back leaves the undo unfinished, which is no refusal (files moved
    // already); the next start finishes it.
    FinishedRestore();
    KeyKeeper failing = Keys();
    failing.putBack = [](const std::string&, const std::string&) { return false; };
    const auto half = UndoLastRestore(undo, failing);
    EXPECT_FALSE(half.ok || half.refused);
    EXPECT_TRUE(RecoverUnfinishedRestores(undo, Keys()).ok);
    EXPECT_EQ(State(), before);

    // Five finished restores keep the newest three; their set-aside files go with the others.
    for (int i = 0; i < 5; ++i) FinishedRestore();
    RemoveOldUndoSets(undo);
    EXPECT_EQ(ListUndoSets(undo).size(), 3u);
    size_t asides = 0;
    for (const auto& e : fs::directory_iterator(dir.path() / kMail))
        asides += e.path().filename().string().find(".undo-") != std::string::npos;
    EXPECT_EQ(asides, 9u);  // each later restore set aside all three
}

// The program is ended before or after each move of the second row; the next start puts the
// profile and every file back as they were before, never a mix.
TEST_F(UndoSets, ARestoreEndedAtAnyMoveIsPutBackWholeAtTheNextStart) {
    for (int at = 0; at < 10; ++at) {
        for (bool afterMove : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "move " << at << (afterMove ? " done" : " not done"));
            fs::remove_all(dir.path() / kMail);
            fs::create_directory(dir.path() / kMail);
            fs::remove_all(undo);
            registry.clear();
            Before();
            const auto before = State();
            int moves = 0;
            const MoveFile dying = [&](const std::string& from, const std::string& to) {
                if (moves == at && !afterMove) throw Ended{};
                const bool ok = platform::fileio::MoveOver(from, to);
                if (moves++ == at) throw Ended{};
                return ok;
            };
            auto journal = UndoJournal::Begin(undo, Keys());
            ASSERT_TRUE(journal);
            bool ended = false;
            try {
                Restore(*journal, dying);
            } catch (const Ended&) {
                ended = true;
            }
            journal.reset();  // the process is gone; its journal stays on the disk
            // Staged temporaries are the run's own; a crash leaves them for the folder recovery.
            RecoverInterruptedRestore(dir / kMail);
            const auto recovered = RecoverUnfinishedRestores(undo, Keys());
            EXPECT_EQ(recovered.sets, 1u);
            EXPECT_TRUE(recovered.ok || !ended);
            EXPECT_EQ(State(), before);
            EXPECT_TRUE(ListUndoSets(undo).empty());
        }
    }
}

// Two rows write one name (the rules file, then the preferences that hold it too): taking the
// restore back gives the user's own file, not the first row's.
TEST_F(UndoSets, ANameWrittenByTwoRowsComesBackAsTheUsersOwnFile) {
    Before();
    const auto before = State();
    for (bool finish : {false, true}) {
        auto journal = UndoJournal::Begin(undo, Keys());
        ASSERT_TRUE(journal);
        for (const char* content : {"first row", "second row"})
            ASSERT_TRUE(
                ReplaceFilesTogether({Stage("Outlook.pst", content), Stage("added.pst", content)},
                                     {}, journal.get())
                    .replaced);
        EXPECT_EQ(test::ReadFile(Mail("Outlook.pst")), "second row");
        if (finish) {
            ASSERT_TRUE(journal->Finish());
            journal.reset();
            EXPECT_TRUE(UndoLastRestore(undo, Keys()).ok);
        } else {
            EXPECT_TRUE(journal->TakeBack().ok);
        }
        EXPECT_EQ(State(), before);
    }
}

// Mail arrived in the restored data file after the restore: undoing it gives the old file back and
// keeps the changed one, never deletes it; the restored files nobody touched go.
TEST_F(UndoSets, UndoKeepsARestoredFileThatChangedSinceTheRestore) {
    Before();
    FinishedRestore();
    test::WriteFile(Mail("Outlook.pst"), "new pst");  // same size and bytes: only the time differs
    test::WriteFile(Mail("archive.pst"), "new archive with mail");

    const auto undone = UndoLastRestore(undo, Keys());
    EXPECT_TRUE(undone.ok);
    EXPECT_EQ(test::ReadFile(Mail("Outlook.pst")), test::RandomBytes(3000, 1));
    EXPECT_EQ(test::ReadFile(Mail("archive.pst")), "old archive");
    EXPECT_FALSE(fs::exists(Mail("added.pst")));
    std::map<std::string, std::string> kept;
    for (const auto& k : undone.kept) {
        EXPECT_TRUE(k.changedSinceRestore);
        kept[fs::path(k.target).filename().string()] = test::ReadFile(k.keptAs);
    }
    const std::map<std::string, std::string> expected = {{"Outlook.pst", "new pst"},
                                                         {"archive.pst", "new archive with mail"}};
    EXPECT_EQ(kept, expected);
}

// The program is ended during an undo, once it had moved the restored files out of the way (one
// that received mail since kept beside its name): the next start finishes the undo, the moved file
// goes, and the kept one is named again.
TEST_F(UndoSets, AnUndoEndedMidwayIsFinishedAtTheNextStartAndNamesTheFileItKept) {
    Before();
    auto before = State();
    FinishedRestore();
    test::WriteFile(Mail("archive.pst"), "mail since the restore");
    const std::string moved = Mail("~Outlook.pst.undoing-1-2.tmp");
    const std::string kept = Mail("~archive.pst.kept-1-3.tmp");
    fs::rename(Mail("Outlook.pst"), moved);
    fs::rename(Mail("archive.pst"), kept);
    AppendToJournal("keep\t" + Escaped(Mail("archive.pst")) + "\t" + Escaped(kept) +
                    "\tchanged\r\nremove\t" + Escaped(Mail("Outlook.pst")) + "\t" + Escaped(moved) +
                    "\r\nundo\r\n");
    EXPECT_FALSE(CanUndoLastRestore(undo));
    const auto recovered = RecoverUnfinishedRestores(undo, Keys());
    EXPECT_TRUE(recovered.ok);
    ASSERT_EQ(recovered.kept.size(), 1u);
    EXPECT_EQ(recovered.kept[0].keptAs, kept);
    EXPECT_TRUE(recovered.kept[0].changedSinceRestore);
    before["file ~archive.pst.kept-1-3.tmp"] = "mail since the restore";
    EXPECT_EQ(State(), before);
    EXPECT_TRUE(ListUndoSets(undo).empty());
}

#ifndef _WIN32
// "Undo Last Restore" refused because Outlook holds a data file open changes nothing and leaves
// the restore finished: the next start puts nothing back unasked, and the undo can be asked again.
// An undo ended before it had freed every name counts for nothing either.
TEST_F(UndoSets, ARefusedUndoLeavesTheRestoreFinishedAndTheNextStartChangesNothing) {
    Before();
    const auto before = State();
    FinishedRestore();
    const auto restored = State();
    platform::fileio::Hold(Mail("Outlook.pst"));  // freed last: the names freed before go back
    const auto refused = UndoLastRestore(undo, Keys());
    platform::fileio::LetGo(Mail("Outlook.pst"));
    EXPECT_TRUE(refused.refused);
    EXPECT_EQ(State(), restored);
    EXPECT_TRUE(CanUndoLastRestore(undo));
    EXPECT_EQ(RecoverUnfinishedRestores(undo, Keys()).sets, 0u);
    EXPECT_EQ(State(), restored);

    const std::string moved = Mail("~added.pst.undoing-1-2.tmp");
    fs::rename(Mail("added.pst"), moved);
    AppendToJournal("remove\t" + Escaped(Mail("added.pst")) + "\t" + Escaped(moved) + "\r\nund");
    EXPECT_FALSE(CanUndoLastRestore(undo));
    EXPECT_EQ(RecoverUnfinishedRestores(undo, Keys()).sets, 0u);
    EXPECT_EQ(State(), restored);
    ASSERT_TRUE(CanUndoLastRestore(undo));
    EXPECT_TRUE(UndoLastRestore(undo, Keys()).ok);
    EXPECT_EQ(State(), before);
}
#endif

#ifndef _WIN32
// The journal of a restore ended midway is held by another program (a scanner) at the next start:
// the set is neither taken back blind nor removed, and goes back whole once the journal reads.
TEST_F(UndoSets, AJournalThatCannotBeReadKeepsItsSetUntilItCan) {
    Before();
    const auto before = State();
    auto journal = UndoJournal::Begin(undo, Keys());
    ASSERT_TRUE(journal);
    Restore(*journal);
    const std::string journalFile = journal->Folder() + "/journal.dat";
    journal.reset();  // ended midway: no "done"
    platform::fileio::Hold(journalFile);
    const auto held = RecoverUnfinishedRestores(undo, Keys());
    platform::fileio::LetGo(journalFile);
    EXPECT_FALSE(held.ok);
    ASSERT_EQ(ListUndoSets(undo).size(), 1u);
    EXPECT_EQ(registry[kProfile], "restored profile");

    const auto recovered = RecoverUnfinishedRestores(undo, Keys());
    EXPECT_TRUE(recovered.ok);
    EXPECT_EQ(State(), before);
    EXPECT_TRUE(ListUndoSets(undo).empty());
}
#endif

// After a crash Outlook made a fresh, empty data file under the old name: the user's old file
// comes back, and the fresh one is kept beside it rather than deleted.
TEST_F(UndoSets, AFileThatTookTheNameAfterACrashIsKeptAndTheOldOneComesBack) {
    Before();
    auto journal = UndoJournal::Begin(undo, Keys());
    ASSERT_TRUE(journal);
    ASSERT_FALSE(journal->SetAside(Mail("Outlook.pst")).empty());
    journal.reset();
    test::WriteFile(Mail("Outlook.pst"), "fresh");
    // A line cut short by a power loss is no step.
    AppendToJournal("place\tnothing");
    const auto recovered = RecoverUnfinishedRestores(undo, Keys());
    EXPECT_TRUE(recovered.ok);
    EXPECT_EQ(test::ReadFile(Mail("Outlook.pst")), test::RandomBytes(3000, 1));
    ASSERT_EQ(recovered.kept.size(), 1u);
    EXPECT_EQ(test::ReadFile(recovered.kept[0].keptAs), "fresh");
    EXPECT_EQ(registry[kProfile], "old profile");

    // A journal cut after its very first byte still takes the record that gives its set up.
    auto cut = UndoJournal::Begin(undo, Keys());
    ASSERT_TRUE(cut);
    const std::string cutJournal = cut->Folder() + "/journal.dat";
    cut.reset();
    test::WriteFile(cutJournal, "k");
    EXPECT_TRUE(AbandonUnfinishedRestores(undo));
    EXPECT_TRUE(ListUndoSets(undo).back().abandoned);
}

}  // namespace
}  // namespace kestrine::recovery
