#pragma once
// The zip component: writes and reads backup archives (standard zip files, ZIP64 where needed,
// optional WinZip AES-256 protection of every entry). It holds at most one archive at a time.
//
// Writing streams: each AddFile compresses the file into a temporary file beside the target
// ("~<name>.writing-<digits>-<digits>.tmp"); WriteArchive adds the central directory and only then
// moves the finished archive over any older file of that name. Protection and password are
// therefore set before the first AddFile. Paths are UTF-8; entry names are the bare file names
// unless given.
//
// Failures are Status values. Two kinds while writing: a file that cannot be opened or read
// (missing, locked, open for writing by another program, read error) fails only its AddFile
// (Failure::Unreadable); an error writing the temporary file (no space, device gone, no access)
// makes the archive dead (Failure::WriteFailed): the temporary file is removed at once, every later
// AddFile fails at once with that cause, WriteArchive fails, and the target keeps what it had.
//
// Progress and cancellation go through the ZipObserver the caller passes to each operation that
// may take long.
//
// Threads: the component is used from one thread at a time (a run's worker thread, say). It keeps
// worker threads of its own for compression, encryption and reading, but the observer is called on
// the thread that called the component, never on its workers: a window's observer therefore posts
// to the window instead of touching it.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/zip_observer.h"
#include "archive/zip_types.h"
#include "base/status.h"

namespace kestrine::archive {

// Whether an archive's entries are password-protected.
enum class ArchiveProtection { Plain, Protected };

struct EntryInfo {
    std::string name;  // UTF-8
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint32_t crc32 = 0;
    uint16_t method = 0;     // 0 stored, 8 deflated (the real method, also under AES)
    bool encrypted = false;  // AES or the traditional zip encryption
    bool aes = false;
    size_t index = 0;  // position in the central directory
};

class ZipComponent {
  public:
    ZipComponent();
    ~ZipComponent();
    ZipComponent(const ZipComponent&) = delete;
    ZipComponent& operator=(const ZipComponent&) = delete;

    // Every file stream the component opens passes through `filter` (see zip_types.h); for tests.
    void SetStreamFilter(StreamFilter filter);

    // --- writing ---
    // Begins a new, empty archive for `path`; WriteFailed when the temporary file beside it cannot
    // be made. Drops any archive held before.
    Status CreateArchive(const std::string& path);
    // Protection and password apply to the entries added afterwards; set them before the first
    // AddFile.
    void ProtectEntries(bool on);
    void SetWritingPassword(const std::string& password);
    // Adds the file as a root entry named `entryName`, or by its bare file name. The file is opened
    // so that no other program may write it meanwhile (a file open for writing elsewhere is
    // refused). Unreadable when it could not be read whole: the archive then stays as it was.
    // WriteFailed or Cancelled when the archive is dead. A small file is read at once and written
    // while the next ones are read, so a write error may show at a later AddFile or at
    // WriteArchive. With `staged`, a file that no longer holds what the caller wrote into it fails
    // as Unreadable and nothing of it goes in.
    Status AddFile(const std::string& filePath, const std::string& entryName = {},
                   const std::optional<StagedContent>& staged = std::nullopt,
                   ZipObserver& observer = ZipObserver::None());
    // Optional: the total size of the files that will be added, so WriteProgress counts against
    // the whole write from the start (otherwise against the files added so far).
    void SetExpectedBytes(uint64_t bytes);
    // Size of the pieces that large files are split into for parallel compression (default 1 MiB).
    // Archives and extracted files are flushed to the disk behind the writer every 32 of them.
    void SetChunkSize(size_t bytes);
    // Finishes the archive, lets the observer check it (CheckFinished) and moves it into place.
    // Tells the observer WriteDone with the result in every case.
    Status WriteArchive(ZipObserver& observer = ZipObserver::None());
    // WriteArchive puts the archive at `path` instead of the path CreateArchive was given: a file
    // in the same folder (a backup that must not replace the file of its first name).
    void PlaceArchiveAt(const std::string& path);
    // Drops the open archive; an unfinished write is abandoned and its temporary file removed. The
    // writing and reading passwords are wiped from memory: set them again for the next archive.
    // (CreateArchive and OpenArchive drop the archive held before but keep the passwords.)
    void CloseArchive();

    // --- reading ---
    // Whether the archive's entries are password-protected; Damaged (or Unsupported) when it is no
    // readable zip.
    Result<ArchiveProtection> ArchiveNeedsPassword(const std::string& path);
    Status OpenArchive(const std::string& path);
    // AES entries take the password as UTF-8; entries with the traditional zip encryption of
    // earlier versions are tried with it as UTF-8 and then in the ANSI code page.
    void SetReadingPassword(const std::string& password);
    // A success only when the reading password really decrypts and checks an entry: the smallest
    // non-empty protected one (an empty entry lets about one wrong password in 256 through).
    Status CheckPassword();
    std::vector<EntryInfo> Entries() const;
    // The first entry of that name.
    std::optional<EntryInfo> FindEntry(const std::string& name) const;
    // The last entry of that name: the manifest, which goes in after every item's files (a file of
    // an item may have its name).
    std::optional<EntryInfo> FindLastEntry(const std::string& name) const;
    // Reads every entry back, decrypted, inflated and checked (CRC or AES authentication code,
    // sizes), without writing anything; the first fault ends it. Large entries are inflated on all
    // cores. The check after a backup is OpenArchive on the new archive, SetReadingPassword and
    // TestEntries.
    Status TestEntries(ZipObserver& observer = ZipObserver::None());
    // Extracts the entry as a file of its name into `folder`, through a temporary file that is
    // checked (CRC or AES authentication, size) before it replaces a file of that name; a file
    // that cannot be written there is WriteFailed. On any fault nothing that was there is
    // destroyed.
    Status ExtractTo(const EntryInfo& entry, const std::string& folder,
                     ZipObserver& observer = ZipObserver::None());
    // Extracts to an explicit file path, with the same safety.
    Status ExtractToFile(const EntryInfo& entry, const std::string& filePath,
                         ZipObserver& observer = ZipObserver::None());

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// True when `name` is a plain file name that may be written into a folder (no separators, "..",
// drive letters, device names, control characters, at most 255 UTF-16 units as NTFS allows).
bool IsPlainFileName(const std::string& name);

// Removes what an interrupted earlier run left beside `path`: the temporary files of a write of
// the archive `path` and of an extraction to the file `path` ("~<name>.writing-<digits>-
// <digits>.tmp", "~<name>.extracting-<digits>-<digits>.tmp"), and nothing else. Call it before a
// new write, when no other run can be writing that archive.
void RemoveLeftoverTemporaryFiles(const std::string& path);

}  // namespace kestrine::archive
