#pragma once
// The undo set of a restore: everything a restore is about to replace, kept so that the restore can
// be taken back whole, at once when a row fails or the user cancels, at the next start when the
// program was ended midway, or later when the user asks to undo it.
//
// A set is a folder of its own in the undo folder ("set-<8 digits>", numbered in the order the
// restores began) holding the journal and the registry trees saved as export files. Files that are
// replaced are not copied: each is renamed beside itself to "~<name>.undo-<digits>-<digits>.tmp",
// so a data file of gigabytes costs no copy and stays on its own volume. The journal names every
// step before it is taken and is pushed to the disk then; a set whose journal does not end in
// "done" belongs to a restore that never finished, and goes back first. An undo of a finished
// restore counts ("undo") only once it has freed every name it must; one refused before that is
// recorded ("refused") and leaves the set finished. A set that cannot go back can be abandoned
// ("abandoned") when the user keeps the profile as it is: it is never taken back then.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/system_error.h"
#include "platform/file_stream.h"

namespace kestrine::recovery {

// How a set saves and puts back registry trees (the registry's export and import; tests give
// their own).
struct KeyKeeper {
    std::function<bool(const std::string& key)> exists;
    std::function<bool(const std::string& key, const std::string& file)> save;
    std::function<bool(const std::string& key, const std::string& file)> putBack;
    std::function<bool(const std::string& key)> remove;
    // Writes the user's registry hive to the disk (nothing: nothing to write).
    std::function<bool()> flush;
};

// A file that was in the way when a set went back: neither the old content nor the restored one
// (for instance an empty data file Outlook made meanwhile), or restored content that changed after
// the restore (mail that arrived in a restored data file). It is kept, never deleted.
struct KeptFile {
    std::string target;
    std::string keptAs;
    bool changedSinceRestore = false;
};

// Something a take-back could not put back: a file (its old content still at `oldCopy`, where it
// was set aside) or a registry key (its saved tree in `oldCopy`; empty: the key was not there
// before and could not be removed).
struct NotPutBack {
    std::string target;
    std::string oldCopy;
};

struct TakeBackOutcome {
    bool ok = false;  // everything is as it was before the restore
    // Nothing was changed because a file could not be moved (another program holds it open).
    bool refused = false;
    std::vector<KeptFile> kept;  // also those an earlier, interrupted take-back kept
    std::vector<NotPutBack> notPutBack;
};

// The journal of the restore at work. Every method writes its record through to the disk before
// it changes anything; false means nothing was changed by that call.
class UndoJournal {
  public:
    // Begins a new set in `undoFolder` (made when missing); nullptr when it cannot be made.
    static std::unique_ptr<UndoJournal> Begin(const std::string& undoFolder, KeyKeeper keys);
    ~UndoJournal();
    UndoJournal(const UndoJournal&) = delete;
    UndoJournal& operator=(const UndoJournal&) = delete;

    // Saves the tree at `key` (or that there is none) before anything changes it.
    bool SaveKey(const std::string& key);
    // Renames the file at `target` aside for the set; the path it went to, or empty on failure
    // (the file stays). `move` renames (the system's rename by default).
    std::string SetAside(
        const std::string& target,
        const std::function<bool(const std::string&, const std::string&)>& move = {});
    // Records that the content staged at `staged` is about to take the name `target`, with a mark
    // of that content (a rename keeps it), so that taking the restore back later removes it only
    // while it is unchanged.
    bool NotePlacing(const std::string& target, const std::string& staged);
    // The restore finished: the registry is written to the disk, then "done"; the set is kept for
    // an undo. False when either failed: the restore does not count as finished, take it back.
    bool Finish();
    // What the system said when the journal's latest write failed (nothing when it was the
    // registry that could not be written, or nothing was said).
    base::SystemError WriteError() const;
    // Puts back everything the restore changed and removes the set when all went back.
    TakeBackOutcome TakeBack();
    const std::string& Folder() const { return folder_; }

  private:
    UndoJournal(std::string folder, KeyKeeper keys,
                std::unique_ptr<platform::fileio::FileStream> file);
    bool Record(const std::string& line);

    std::string folder_;
    KeyKeeper keys_;
    std::unique_ptr<platform::fileio::FileStream> file_;
    unsigned savedKeys_ = 0;
};

// The sets in `undoFolder`, oldest first.
struct UndoSetInfo {
    std::string folder;
    bool finished = false;   // the restore completed and has not been undone
    bool abandoned = false;  // it could not go back, and the user kept the profile as it is
};
std::vector<UndoSetInfo> ListUndoSets(const std::string& undoFolder);

// Puts back every set whose restore never finished (a restore ended midway, or an undo ended
// midway after it had freed every name), newest first; an undo ended before that is itself put
// back, leaving its restore finished. Abandoned sets stay as they are. Call it only while holding
// the run lock. `sets` counts the sets found.
struct RecoveryOutcome {
    size_t sets = 0;
    bool ok = true;
    std::vector<KeptFile> kept;
    std::vector<NotPutBack> notPutBack;
};
RecoveryOutcome RecoverUnfinishedRestores(const std::string& undoFolder, const KeyKeeper& keys);

// The user keeps the profile as it is: every set that is not finished is marked abandoned and is
// never taken back; its files stay where they are (named in `RecoveryOutcome`). False when a mark
// could not be written (that set is tried again at the next start). Call it with the run lock.
bool AbandonUnfinishedRestores(const std::string& undoFolder);

// True when a finished restore can be undone.
bool CanUndoLastRestore(const std::string& undoFolder);
// Undoes the newest finished restore: its profile keys and files come back byte for byte. Refused,
// with nothing changed, while a file it would move is held open by another program.
TakeBackOutcome UndoLastRestore(const std::string& undoFolder, const KeyKeeper& keys);

// How many finished restores can be undone; older sets are removed, and with them the old files
// they kept.
inline constexpr size_t kKeptUndoSets = 3;
void RemoveOldUndoSets(const std::string& undoFolder, size_t keep = kKeptUndoSets);

}  // namespace kestrine::recovery
