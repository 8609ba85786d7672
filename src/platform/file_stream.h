#pragma once
// Portable file access: one open file with 64-bit offsets, and the file, folder and path operations
// of the whole program (platform/files.h adds the few that need the system's own file attributes,
// owners or profile files). Paths are UTF-8 Windows paths; on Windows they go to the wide-character
// API, so names outside the ANSI code page work, and the POSIX twin reads a backslash as a
// separator, as Windows does, so the engine's paths work natively too.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/system_error.h"

namespace kestrine::platform::fileio {

class FileStream {
  public:
    virtual ~FileStream() = default;
    // Bytes read (0 at the end of the file), or -1 on a read error.
    virtual int64_t Read(void* buffer, size_t size) = 0;
    // Reads exactly `size` bytes at `offset`; false on an error or a short file.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t size) = 0;
    // Writes all of `buffer`; false on an error (disk full, ...).
    virtual bool Write(const void* buffer, size_t size) = 0;
    virtual bool Seek(uint64_t offset) = 0;
    virtual uint64_t Tell() const = 0;
    // The current size of the file, or -1 on an error.
    virtual int64_t Size() = 0;
    // Cuts the file to `size` bytes and moves the position there.
    virtual bool Truncate(uint64_t size) = 0;
    // Pushes written data to the disk.
    virtual bool Flush() = 0;
    // What the system said when the stream's latest failed operation failed (nothing when it
    // said nothing); safe to ask while another thread flushes the stream.
    virtual base::SystemError Error() const { return {}; }
};

// A read-only stream over bytes in memory (for parsing data that never was a file).
class MemoryStream final : public FileStream {
  public:
    explicit MemoryStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int64_t Read(void* buffer, size_t size) override;
    bool ReadAt(uint64_t offset, void* buffer, size_t size) override;
    bool Write(const void*, size_t) override { return false; }
    bool Seek(uint64_t offset) override;
    uint64_t Tell() const override { return position_; }
    int64_t Size() override { return static_cast<int64_t>(size_); }
    bool Truncate(uint64_t) override { return false; }
    bool Flush() override { return true; }

  private:
    const uint8_t* data_;
    size_t size_;
    uint64_t position_ = 0;
};

// Opens an existing file for reading (shared with other readers); nullptr when it cannot be opened.
std::unique_ptr<FileStream> OpenForRead(const std::string& path);
// Opens an existing file for reading while no other process may write it: fails when another
// process has it open for writing, and keeps others from opening it for writing until it is closed
// (on Windows; other systems have no such lock). For copying a file that must not change meanwhile.
// `why`, when given, gets what the system said when the file could not be opened.
std::unique_ptr<FileStream> OpenForReadDenyWriters(const std::string& path,
                                                   base::SystemError* why = nullptr);
// Reads until `buffer` holds `size` bytes or the stream ends: the bytes read (fewer only at the
// end), or -1 on a read error. A caller that needs every byte compares the count with `size`.
int64_t ReadFull(FileStream& stream, void* buffer, size_t size);
// The whole file's bytes; nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Which files a listing names: all of them, or only those a user sees (on Windows the hidden and
// system files are left out; the POSIX twin has no such attributes).
enum class Listing { All, Visible };
// ListFileNames, ListFolderNames and CreateTempFile read an empty `folder` (the folder of a bare
// file name, base::FolderPart) as the current folder.
// Names (not paths) of the files, not folders, directly in `folder`, in file-system order; empty
// when it cannot be read.
std::vector<std::string> ListFileNames(const std::string& folder, Listing which = Listing::All);
// Creates a new file for reading and writing; fails when a file of that name already exists, so
// two writers never share a temporary name.
std::unique_ptr<FileStream> CreateNew(const std::string& path);

// A unique, newly created empty file in `folder` whose name is `prefix`, the process id, a dash,
// a number and ".tmp", open for reading and writing; its path goes to `path`. nullptr when none
// could be made (`why`, when given, gets what the system said). The caller removes it (a caller
// that only needs the name lets the stream go).
std::unique_ptr<FileStream> CreateTempFile(const std::string& folder, const std::string& prefix,
                                           std::string& path, base::SystemError* why = nullptr);
// Opens an existing file for reading and writing, at its start, without cutting it.
std::unique_ptr<FileStream> OpenForWrite(const std::string& path);
// Moves `from` over `to`, replacing a file of that name in one step where the system allows.
bool MoveOver(const std::string& from, const std::string& to);
// Moves `from` to `to` only while nothing has that name: it never replaces. False, with nothing
// changed, when something is there (Exists(to) tells that from another failure).
bool MoveToFree(const std::string& from, const std::string& to);

// Whether a move may replace a file at its target.
enum class Replace { Yes, Never };
// How a move waits out a hold by another program: a scanner, an indexer or a sync client that
// opens a new file for a while makes the move fail with a sharing or lock violation (or denied
// access while the file is being let go). Those are tried again with a growing pause, up to
// `limit` in all; other failures give up at once.
struct MoveWait {
    std::chrono::milliseconds limit = std::chrono::minutes(1);
    // Asked before each pause: yes ends the wait at once (the move fails).
    std::function<bool()> cancelled;
    // Told once, when the move first finds the file held and begins to wait (for the log).
    std::function<void(const std::string& from, const std::string& to)> waiting;
    // Pauses; the system's sleep when empty (tests give their own clock).
    std::function<void(std::chrono::milliseconds)> sleep;
};
// The pauses grow from the first to the longest.
inline constexpr std::chrono::milliseconds kFirstMovePause{50}, kLongestMovePause{2000};
bool MoveWaiting(const std::string& from, const std::string& to, Replace replace,
                 const MoveWait& wait = {});
// MoveOver and MoveToFree that wait out a hold for up to a minute, as MoveWaiting does. The POSIX
// twin's files are held only when platform/posix_hooks.h says so, which stands for a program that
// keeps its file open (Outlook its data file): these do not wait there; MoveWaiting does.
bool MoveOverPatiently(const std::string& from, const std::string& to);
bool MoveToFreePatiently(const std::string& from, const std::string& to);
// The wait those two use, for a caller that adds its own cancel and report.
MoveWait PatientWait();
// Writes `bytes` as the whole of `path`: into a new file beside it (its name begins with
// `tempPrefix`), flushed to the disk, then moved over the old one, so a failed or interrupted
// write leaves the old file as it was. False when the file was not replaced.
bool ReplaceFileWhole(const std::string& path, const std::string& bytes,
                      const std::string& tempPrefix);
// Makes the folder (one level) unless it is there; true when a folder is there afterwards.
bool MakeFolder(const std::string& path);
// Names (not paths) of the folders directly in `folder`; empty when it cannot be read.
std::vector<std::string> ListFolderNames(const std::string& folder);
// Removes the folder with the files directly in it (it must hold no folders); true when it is gone.
bool RemoveFolderAndFiles(const std::string& path);
// Removes an empty folder; true when nothing is there afterwards.
bool RemoveEmptyFolder(const std::string& path);
// Deletes one file (a read-only one too); true when no file is there afterwards, also when there
// was none.
bool RemoveFile(const std::string& path);
// Something (a file, a folder, ...) is at `path`.
bool Exists(const std::string& path);
// A file, not a folder, is at `path`, whatever its attributes.
bool IsFile(const std::string& path);
bool IsDirectory(const std::string& path);
// The size of the file at `path` in bytes; 0 when it cannot be read.
uint64_t FileSize(const std::string& path);
// The file's last-modified time in MS-DOS form (date in the high word), local time; a fixed
// 1980-01-01 when it cannot be read.
uint32_t FileDosTime(const std::string& path);
// The file's last-modified time as precisely as the system keeps it (ticks of its own unit, only
// to compare with an earlier reading of the same file); 0 when it cannot be read.
uint64_t FileWriteTicks(const std::string& path);

}  // namespace kestrine::platform::fileio
