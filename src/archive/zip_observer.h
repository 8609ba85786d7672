#pragma once
// What archive work tells its caller, and asks it, while it goes: the one way the zip component,
// its writer and its reader report progress and learn that they should stop. A caller passes it
// to each operation that may take long; every member is called on the thread that called the
// component, never on its workers. The defaults report nothing and never stop.
#include <cstdint>
#include <string>

#include "base/status.h"

namespace kestrine::archive {

class ZipObserver {
  public:
    virtual ~ZipObserver() = default;

    // A file is about to be added, an entry about to be extracted.
    virtual void FileAdding(const std::string& /*name*/) {}
    virtual void FileExtracting(const std::string& /*name*/) {}
    // Bytes of one entry as it is added, extracted or tested: its name, the bytes done so far and
    // its size. Raised after every chunk of a large entry (about every MiB) and when an entry is
    // through, so a multi-gigabyte file visibly moves.
    virtual void EntryProgress(const std::string& /*name*/, uint64_t /*done*/, uint64_t /*total*/) {
    }
    // The whole write in percent: 0 to 99 while it works, 100 once the archive is in place.
    virtual void WriteProgress(int /*percent*/) {}
    // The end of a write, whatever it was.
    virtual void WriteDone(const Status& /*result*/) {}
    // Asked between chunks and between entries. True stops the operation promptly with
    // Failure::Cancelled: a write is abandoned (the target keeps what it had), an extraction
    // leaves the file it would have replaced untouched.
    virtual bool CancelRequested() { return false; }
    // Sees the finished archive, complete and closed but not yet in place (a check reads it back
    // there). False abandons it: the write fails as Damaged and the target keeps what it had.
    virtual bool CheckFinished(const std::string& /*finishedPath*/) { return true; }
    // The finished archive cannot be put in place yet because another program holds it or the
    // older one; the move waits (up to a minute, ended by CancelRequested).
    virtual void WaitingForHold(const std::string& /*path*/) {}

    // The earlier archive named for reuse cannot offer pieces (to the archive, or to one entry):
    // why. The write goes on, compressing everything.
    virtual void EarlierArchiveUnused(const std::string& /*why*/) {}
    // A large entry is through: how many of its bytes came as pieces of the earlier archive.
    virtual void PiecesReused(const std::string& /*name*/, uint64_t /*reused*/,
                              uint64_t /*total*/) {}

    // An observer that reports nothing and never stops.
    static ZipObserver& None();
};

}  // namespace kestrine::archive
