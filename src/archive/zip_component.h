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
// Two kinds of failure while writing: a file that cannot be opened or read (missing, locked, open
// for writing by another program, read error) fails only its AddFile (LastErrorKind()
// SourceUnreadable); an error writing the temporary file (no space, device gone, no access) makes
// the archive dead: the temporary file is removed at once, ArchiveWriteFailed() turns true, every
// later AddFile fails at once, WriteArchive fails, and the target keeps what it had.
//
// Threads: the component is used from one thread at a time (a run's worker thread, say). It keeps
// worker threads of its own for compression, encryption and reading, but every event is raised on
// the thread that called the component, never on its workers: a window's handlers therefore post
// to the window instead of touching it.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/zip_types.h"

namespace kestrine::archive {

struct WriteResult {
    bool ok = false;
    std::string error;  // one line naming the cause when !ok
};

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

// Events, bound by the caller (or left empty). All are raised on the calling thread.
struct ZipEvents {
    std::function<void(const std::string& name)> FileAdding;
    std::function<void(const std::string& name)> FileExtracting;
    std::function<void(int percent)> WriteProgress;
    std::function<void(const WriteResult& result)> WriteDone;
    // Bytes of one entry as AddFile, an extraction or a test works through it: its name, the bytes
    // done so far and its size. Raised after every chunk of a large entry (about every MiB) and
    // when an entry is through, so a multi-gigabyte file visibly moves.
    std::function<void(const std::string& name, uint64_t done, uint64_t total)> EntryProgress;
    // Asked between chunks during AddFile, WriteArchive, extractions and tests. True stops the call
    // promptly: it returns false with LastErrorKind() Cancelled. A cancelled AddFile or
    // WriteArchive abandons the archive being written (the temporary file is removed, the target
    // keeps what it had); a cancelled extraction leaves the file it would have replaced untouched.
    std::function<bool()> CancelRequested;
    // Asked by WriteArchive with the path of the finished archive, complete and closed but not yet
    // in place (a check reads it back there). False abandons it: WriteArchive fails with
    // LastErrorKind() Damaged, and the target keeps what it had.
    std::function<bool(const std::string& finishedPath)> CheckFinished;
};

class ZipComponent {
  public:
    ZipComponent();
    ~ZipComponent();
    ZipComponent(const ZipComponent&) = delete;
    ZipComponent& operator=(const ZipComponent&) = delete;

    ZipEvents& Events();
    void SetWorkFolder(const std::string& folder);
    const std::string& WorkFolder() const;
    // Every file stream the component opens passes through `filter` (see zip_types.h); for tests.
    void SetStreamFilter(StreamFilter filter);

    // --- writing ---
    // Begins a new, empty archive for `path`; false (with LastError) when the temporary file beside
    // it cannot be made. Drops any archive held before.
    bool CreateArchive(const std::string& path);
    // Protection and password apply to the entries added afterwards; set them before the first
    // AddFile.
    void ProtectEntries(bool on);
    void SetWritingPassword(const std::string& password);
    // Adds the file as a root entry named `entryName`, or by its bare file name. The file is opened
    // so that no other program may write it meanwhile (a file open for writing elsewhere is
    // refused). False with LastErrorKind() SourceUnreadable when it could not be read whole: the
    // archive then stays as it was. False with ArchiveWriteFailed or Cancelled when the archive is
    // dead. A small file is read at once and written while the next ones are read, so a write error
    // may show at a later AddFile or at WriteArchive.
    // With `staged`, a file that no longer holds what the caller wrote into it fails the same way
    // and nothing of it goes in.
    bool AddFile(const std::string& filePath, const std::string& entryName = {},
                 const std::optional<StagedContent>& staged = std::nullopt);
    // Optional: the total size of the files that will be added, so WriteProgress counts against
    // the whole write from the start (otherwise against the files added so far).
    void SetExpectedBytes(uint64_t bytes);
    // Size of the pieces that large files are split into for parallel compression (default 1 MiB).
    void SetChunkSize(size_t bytes);
    // Finishes the archive and moves it into place. Raises WriteDone with the result in every case.
    WriteResult WriteArchive();
    // Drops the open archive; an unfinished write is abandoned and its temporary file removed. The
    // writing and reading passwords are wiped from memory: set them again for the next archive.
    // (CreateArchive and OpenArchive drop the archive held before but keep the passwords.)
    void CloseArchive();
    // True when writing the archive failed (see above); stays so until the next CreateArchive or
    // CloseArchive. LastError names the cause.
    bool ArchiveWriteFailed() const;

    // --- reading ---
    // 1 when the archive's entries are password-protected, 0 when not, -1 when it is no readable
    // zip.
    int ArchiveNeedsPassword(const std::string& path);
    bool OpenArchive(const std::string& path);
    // AES entries take the password as UTF-8; entries with the traditional zip encryption of
    // earlier versions are tried with it as UTF-8 and then in the ANSI code page.
    void SetReadingPassword(const std::string& password);
    // True only when the reading password really decrypts and checks an entry: the smallest
    // non-empty protected one (an empty entry lets about one wrong password in 256 through).
    bool CheckPassword();
    std::vector<EntryInfo> Entries() const;
    // The first entry of that name.
    std::optional<EntryInfo> FindEntry(const std::string& name) const;
    // The last entry of that name: the manifest, which goes in after every item's files (a file of
    // an item may have its name).
    std::optional<EntryInfo> FindLastEntry(const std::string& name) const;
    // Reads every entry back, decrypted, inflated and checked (CRC or AES authentication code,
    // sizes), without writing anything; false at the first fault, named in LastError. Large
    // entries are inflated on all cores. The check after a backup is OpenArchive on the new
    // archive, SetReadingPassword and TestEntries.
    bool TestEntries();
    // Extracts the entry as a file of its name into `folder`, through a temporary file that is
    // checked (CRC or AES authentication, size) before it replaces a file of that name. False on
    // any fault; nothing that was there is destroyed then.
    bool ExtractTo(const EntryInfo& entry, const std::string& folder);
    // Extracts to an explicit file path, with the same safety.
    bool ExtractToFile(const EntryInfo& entry, const std::string& filePath);

    // The last failure, one line; empty after an operation that succeeded.
    const std::string& LastError() const;
    // What kind of failure LastError describes (None after success).
    ZipError LastErrorKind() const;

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
// new write, when no other run can be writing that archive. Returns how many were removed.
size_t RemoveLeftoverTemporaryFiles(const std::string& path);

}  // namespace kestrine::archive
