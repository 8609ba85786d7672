#pragma once
// Reads archives: the zip library's reader (standard zip files, ZIP64, WinZip AES and the
// traditional zip encryption). It holds at most one archive at a time and never trusts it: sizes,
// offsets and every entry's data are checked as they are read.
//
// Failures are Status values: Damaged (or Unsupported) for what is no sound zip, WrongPassword,
// WriteFailed for a file being extracted that cannot be written, Cancelled. Progress and
// cancellation go through the ZipObserver passed to each operation that may take long.
//
// Threads: the reader is used from one thread at a time (a run's worker thread, say). It keeps
// worker threads of its own for inflating and decryption, but the observer is called on the
// thread that called it, never on its workers: a window's observer therefore posts to the window
// instead of touching it.
#include <cstdint>
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

class ArchiveReader {
  public:
    explicit ArchiveReader(ZipOptions options = {});
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Every file stream the reader opens from now on passes through `filter` (see zip_types.h);
    // for tests.
    void SetStreamFilter(StreamFilter filter);

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
    // The last entry of that name (a name may be taken by several entries; the one written last
    // is the one meant).
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
    // Drops the open archive and wipes the reading password from memory: set it again for the
    // next archive. (OpenArchive drops the archive held before but keeps the password.)
    void CloseArchive();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// True when `name` is a plain file name that may be written into a folder (no separators, "..",
// drive letters, device names, control characters, at most 255 UTF-16 units as NTFS allows).
bool IsPlainFileName(const std::string& name);

}  // namespace kestrine::archive
