#pragma once
// Writes a zip archive entry by entry into a temporary file beside the target and moves it into
// place when finished. Entries are compressed with deflate (deflate_codec.h) and stored when they
// do not shrink, optionally protected with WinZip AES-256 (AE-2), each entry with its own random
// salt.
//
// The cores work in parallel: a small file (one chunk) is read at once and handed to the workers,
// which derive its key, compress, encrypt and authenticate it, while the next files are read; the
// finished entries are written in order. A large file is split into chunks that the workers
// compress independently (so a reader can inflate them in parallel too; the central directory
// records where they begin), and the calling thread encrypts and writes them in order.
//
// Failures come in two kinds: a source that cannot be opened or read fails only its AddFile; a
// failed write of the temporary file makes the archive dead: the temporary file is removed at
// once, the target keeps what it had, and every later AddFile and Finish fails with that cause.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/zip_types.h"
#include "platform/file_stream.h"

namespace kestrine::archive {

namespace crypto {
class PasswordKey;
}
class WorkerPool;
template <class Piece>
class OrderedWork;

class ZipWriter {
  public:
    ZipWriter();
    ~ZipWriter();  // an unfinished archive is abandoned
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    bool Begin(const std::string& targetPath);
    void SetStreamFilter(StreamFilter filter) { filter_ = std::move(filter); }
    void SetProtection(bool on, const std::string& password);
    // Called with the number of source bytes consumed since the last call.
    void SetProgress(std::function<void(uint64_t)> progress) { progress_ = std::move(progress); }
    // Called with the size of each file as it is opened, before its first progress call.
    void SetSourceOpened(std::function<void(uint64_t)> opened) {
        sourceOpened_ = std::move(opened);
    }
    // Called with an entry's name, its bytes read so far and its size, after every chunk.
    void SetEntryProgress(std::function<void(const std::string&, uint64_t, uint64_t)> progress) {
        entryProgress_ = std::move(progress);
    }
    // Asked between chunks; true abandons the archive (Cancelled).
    void SetCancelCheck(std::function<bool()> cancel) { cancel_ = std::move(cancel); }
    // Asked by Finish with the path of the finished, closed temporary archive before it replaces
    // the target; false abandons it (Damaged) and the target keeps what it had.
    void SetBeforeReplace(std::function<bool(const std::string&)> check) {
        beforeReplace_ = std::move(check);
    }

    // Adds the file as an entry named `entryName`. False with ErrorKind() SourceUnreadable when the
    // file cannot be opened or read (the archive stays as it was), ArchiveWriteFailed or Cancelled
    // when the archive is dead. A small file may be written after the call returns; a write
    // failure then shows at a later AddFile or at Finish.
    // With `staged`, a file that no longer holds what was staged fails as SourceUnreadable too.
    bool AddFile(const std::string& filePath, const std::string& entryName,
                 const std::optional<StagedContent>& staged = std::nullopt);
    // Writes the central directory and moves the archive over the target. On failure the
    // temporary file is removed and the target left as it was.
    bool Finish();
    // Drops the archive being written (and a dead one's state); removes the temporary file.
    void Abandon();
    bool Active() const { return temp_ != nullptr; }
    // The archive being written failed (write error or cancel); see ErrorKind().
    bool Dead() const { return deadKind_ != ZipError::None; }
    ZipError DeadKind() const { return deadKind_; }
    const std::string& Error() const { return error_; }
    ZipError ErrorKind() const { return errorKind_; }

    // Leaves `bytes` unused (a hole, sparse where the system allows) before the first entry, as
    // self-extracting archives carry their program there. Lets tests reach ZIP64 offsets without
    // writing 4 GiB. Only before the first entry.
    bool LeaveLeadingGap(uint64_t bytes);
    // Chunk size for the parallel compressor (tests make it small to cover many chunks).
    void SetChunkSize(size_t bytes) { chunkSize_ = bytes < 4096 ? 4096 : bytes; }

    // The temporary file for `targetPath` is named this prefix and "<digits>-<digits>.tmp".
    static std::string TemporaryPrefix(const std::string& targetPath);

  private:
    struct Entry {
        std::string name;
        uint16_t flags = 0;
        uint16_t method = 0;  // real method
        uint32_t crc = 0;
        uint32_t dosTime = 0;
        uint64_t compressedSize = 0;
        uint64_t uncompressedSize = 0;
        uint64_t offset = 0;
        bool zip64Local = false;
        // Compressed size of each independently compressed chunk (deflated entries of several
        // chunks), and the uncompressed size of every chunk but the last.
        std::vector<uint32_t> chunks;
        uint64_t chunkInput = 0;
    };
    struct Sink;
    struct SmallEntry;
    bool Fail(ZipError kind, const std::string& message);
    // Waits for the workers, removes the temporary file and forgets the entries.
    void Discard();
    // Makes the archive dead: waits for the workers, removes the temporary file, keeps the cause.
    bool Kill(ZipError kind, const std::string& message);
    bool WriteFailed();
    bool CancelRequested() const { return cancel_ && cancel_(); }
    WorkerPool& Pool();
    std::string LocalHeader(const Entry& e) const;
    std::string ChunkIndexExtra(const Entry& e) const;
    // Writes the finished small entries at the front of the queue; with `all`, waits for every one.
    bool WritePending(bool all);
    bool NotAsStaged(const std::string& filePath);
    bool WriteSmall(SmallEntry& small);
    bool AddLarge(platform::fileio::FileStream& source, uint64_t expected,
                  std::vector<uint8_t> firstChunk, const std::string& filePath, Entry& e,
                  const std::optional<StagedContent>& staged);
    bool WriteChunks(platform::fileio::FileStream& source, uint64_t expected,
                     std::vector<uint8_t> firstChunk, const std::string& filePath, Entry& e,
                     uint64_t dataStart);
    bool WriteStored(platform::fileio::FileStream& source, const std::string& filePath, Entry& e,
                     Sink& sink);

    std::unique_ptr<platform::fileio::FileStream> temp_;
    std::string tempPath_;
    std::string targetPath_;
    std::vector<Entry> entries_;
    bool protect_ = false;
    std::shared_ptr<const crypto::PasswordKey> key_;
    StreamFilter filter_;
    std::unique_ptr<platform::fileio::FileStream> Filtered(
        std::unique_ptr<platform::fileio::FileStream> stream, const std::string& path) const {
        return stream && filter_ ? filter_(std::move(stream), path) : std::move(stream);
    }
    std::function<void(uint64_t)> progress_;
    std::function<void(uint64_t)> sourceOpened_;
    std::function<void(const std::string&, uint64_t, uint64_t)> entryProgress_;
    std::function<bool()> cancel_;
    std::function<bool(const std::string&)> beforeReplace_;
    std::string error_;
    ZipError errorKind_ = ZipError::None;
    ZipError deadKind_ = ZipError::None;
    std::string deadError_;
    size_t chunkSize_ = 1024 * 1024;
    uint64_t pendingBytes_ = 0;
    std::unique_ptr<WorkerPool> pool_;
    std::unique_ptr<OrderedWork<SmallEntry>> pending_;
};

}  // namespace kestrine::archive
