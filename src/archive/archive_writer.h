#pragma once
// Writes archives (standard zip files, ZIP64 where needed): the zip library's writer. Its entry
// protection (WinZip AES-256 of every entry, or none) is given when it is made and holds for every
// entry of every archive it writes, so no archive of it is ever half protected.
//
// Writing streams: each AddFile compresses the file into a temporary file beside the target
// ("~<name>.writing-<digits>-<digits>.tmp"); WriteArchive adds the central directory and only then
// moves the finished archive over any older file of that name. Paths are UTF-8; entry names are
// the bare file names unless given.
//
// Failures are Status values of two kinds. A file that cannot be opened or read (missing, locked,
// open for writing by another program, read error) fails only its AddFile (Failure::Unreadable);
// an error writing the temporary file makes the archive dead (Failure::WriteFailed): the temporary
// file is removed at once, every later AddFile fails at once with that cause, WriteArchive fails,
// and the target keeps what it had. Where the system said why, the message carries its words.
//
// Progress and cancellation go through the ZipObserver passed to each operation that may take
// long. Threads: the writer is used from one thread at a time; it keeps worker threads of its own
// for compression and encryption, but calls the observer only on the thread that called it.
#include <cstdint>
#include <optional>
#include <string>

#include "archive/zip_observer.h"
#include "archive/zip_types.h"
#include "archive/zip_writer.h"
#include "base/status.h"

namespace kestrine::archive {

class ArchiveWriter {
  public:
    explicit ArchiveWriter(const EntryProtection& protection, ZipOptions options = {});
    ~ArchiveWriter();  // an unfinished archive is abandoned; the key derived from the password goes
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // Begins a new, empty archive for `path`; WriteFailed when the temporary file beside it cannot
    // be made. Abandons an archive begun before.
    Status CreateArchive(const std::string& path);
    // Adds the file as a root entry named `entryName`, or by its bare file name. The file is opened
    // so that no other program may write it meanwhile (a file open for writing elsewhere is
    // refused). Unreadable when it could not be read whole: the archive then stays as it was.
    // WriteFailed or Cancelled when the archive is dead; NotReady when the writer protects its
    // entries but has no password. A small file is read at once and written while the next ones
    // are read, so a write error may show at a later AddFile or at WriteArchive. With `staged`, a
    // file that no longer holds what the caller wrote into it fails as Unreadable and nothing of
    // it goes in.
    Status AddFile(const std::string& filePath, const std::string& entryName = {},
                   const std::optional<StagedContent>& staged = std::nullopt,
                   ZipObserver& observer = ZipObserver::None());
    // Optional: the total size of the files that will be added, so WriteProgress counts against
    // the whole write from the start (otherwise against the files added so far).
    void SetExpectedBytes(uint64_t bytes);
    // Finishes the archive, lets the observer check it (CheckFinished) and moves it into place.
    // Tells the observer WriteDone with the result in every case.
    Status WriteArchive(ZipObserver& observer = ZipObserver::None());
    // WriteArchive puts the archive at `path` instead of the path CreateArchive was given: a file
    // in the same folder (a backup that must not replace the file of its first name).
    void PlaceArchiveAt(const std::string& path);
    // Names an earlier archive of ours (and its password, empty for none) whose compressed pieces
    // are copied wherever the same entry holds byte for byte the same data at the same place; the
    // rest is compressed as always. One that cannot serve (missing, damaged, another password, no
    // chunk index of this piece size) is told to the observer (EarlierArchiveUnused), never an
    // error. It is closed before the finished archive is put in place, so it may be the archive
    // being replaced. An empty path stops the reuse.
    void ReuseFrom(const std::string& path, const std::string& password);
    // Abandons an unfinished write and removes its temporary file.
    void CloseArchive();

  private:
    ZipWriter writer_;
};

// Removes what an interrupted earlier run left beside `path`: the temporary files of a write of
// the archive `path` and of an extraction to the file `path` ("~<name>.writing-<digits>-
// <digits>.tmp", "~<name>.extracting-<digits>-<digits>.tmp"), and nothing else. Call it before a
// new write, when no other run can be writing that archive.
void RemoveLeftoverTemporaryFiles(const std::string& path);

}  // namespace kestrine::archive
