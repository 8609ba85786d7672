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
// Failures come in two kinds: a source that cannot be opened or read fails only its AddFile
// (Unreadable); a failed write of the temporary file makes the archive dead (WriteFailed): the
// temporary file is removed at once, the target keeps what it had, and every later AddFile and
// Finish fails with that cause. A cancellation makes it dead too.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/flush_behind.h"
#include "archive/piece_digests.h"
#include "archive/zip_observer.h"
#include "archive/zip_types.h"
#include "base/status.h"
#include "platform/file_stream.h"

namespace kestrine::archive {

namespace crypto {
class PasswordKey;
}
class WorkerPool;
class EarlierPieces;
template <class Piece>
class OrderedWork;

class ZipWriter {
  public:
    // Every entry of every archive it writes is protected as `protection` says.
    explicit ZipWriter(const EntryProtection& protection = EntryProtection::None());
    ~ZipWriter();  // an unfinished archive is abandoned; the derived key goes
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    Status Begin(const std::string& targetPath);
    void SetStreamFilter(StreamFilter filter) { filter_ = std::move(filter); }
    // The total size of the files that will be added, so the percentages count against the whole
    // write from the start (otherwise against the files opened so far). Kept for later archives.
    void SetExpectedBytes(uint64_t bytes) { meter_.expected = bytes; }

    // Adds the file as an entry named `entryName`. Unreadable when the file cannot be opened or
    // read (the archive stays as it was), WriteFailed or Cancelled when the archive is dead. A
    // small file may be written after the call returns; a write failure then shows at a later
    // AddFile or at Finish. With `staged`, a file that no longer holds what was staged is
    // Unreadable too.
    Status AddFile(const std::string& filePath, const std::string& entryName,
                   const std::optional<StagedContent>& staged, ZipObserver& observer);
    // Writes the central directory, lets the observer check the finished archive and moves it
    // over the target. On failure the temporary file is removed and the target left as it was.
    Status Finish(ZipObserver& observer);
    // Finish puts the archive at `path` instead of the path it began with (a path in the same
    // folder, since the temporary file lies beside the first).
    void SetTarget(const std::string& path) { targetPath_ = path; }
    // Drops the archive being written (and a dead one's state); removes the temporary file.
    void Abandon();

    // Leaves `bytes` unused (a hole, sparse where the system allows) before the first entry, as
    // self-extracting archives carry their program there. Lets tests reach ZIP64 offsets without
    // writing 4 GiB. Only before the first entry.
    Status LeaveLeadingGap(uint64_t bytes);
    // Chunk size for the parallel compressor (tests make it small to cover many chunks).
    void SetChunkSize(size_t bytes) { chunkSize_ = ChunkSizeOf(bytes); }
    // An archive written is flushed behind its writer once every so many bytes; from the next
    // archive begun.
    void SetFlushInterval(uint64_t bytes) { flushEvery_ = bytes; }
    // Whether large entries get the digests of their pieces (see ZipOptions).
    void SetPieceDigests(bool kept) { pieceDigests_ = kept; }
    // The piece size of a large file of `size` bytes: the chunk size, doubled until the chunk index
    // can describe every piece however well they compress.
    static size_t PieceSizeFor(uint64_t size, size_t chunkSize);

    // The pieces of a large file are copied from the earlier archive at `path` (opened with
    // `password`, empty for none) wherever its entry of the same name holds the same bytes there;
    // the observer hears when it cannot serve. Kept for later archives; an empty path ends it.
    void SetEarlierArchive(std::string path, std::string password);

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
        // The digest of each chunk until they are written, then where they lie.
        std::vector<PieceDigest> pieceDigests;
        uint64_t digestsOffset = 0;
        uint32_t digestsSize = 0;
        uint32_t digestsCrc = 0;
    };
    // The whole write in percent, from the bytes of the sources read so far.
    struct Meter {
        uint64_t expected = 0;  // as the caller announced
        uint64_t known = 0;     // the sizes of the files opened so far
        uint64_t done = 0;
        int lastPercent = -1;
        void Consumed(uint64_t bytes, ZipObserver& observer);
        void Restart() { known = done = 0, lastPercent = -1; }
    };
    class TemporaryArchive;
    struct Chunk;
    struct ChunkFeed;
    struct Sink;
    struct SmallEntry;
    struct LargeEntry;

    // Makes the archive dead: waits for the workers, removes the temporary file, keeps the cause.
    Status Kill(Status cause);
    Status WriteFailed();
    Status CancelledBy(ZipObserver& observer);
    WorkerPool& Pool();
    std::unique_ptr<platform::fileio::FileStream> Filtered(
        std::unique_ptr<platform::fileio::FileStream> stream, const std::string& path) const;
    std::string LocalRecord(const Entry& e) const;
    std::string CentralRecord(const Entry& e) const;
    std::string ChunkIndexExtra(const Entry& e) const;
    uint64_t ChunkIndexMerge(const Entry& e) const;
    std::string ChunkIndexWith(const Entry& e, uint64_t merge) const;
    const crypto::PasswordKey* Key() const;
    void CloseEarlier();
    // The earlier archive's piece size for entry `name`, or 0 when it offers no pieces for it.
    size_t EarlierFor(const std::string& name, ZipObserver& observer);

    // The steps of AddFile.
    Status AddSmall(Entry e, std::vector<uint8_t> bytes, const std::string& filePath,
                    const std::optional<StagedContent>& staged, ZipObserver& observer);
    // Writes the finished small entries at the front of the queue; with `all`, waits for every one.
    Status WritePending(bool all, ZipObserver& observer);
    Status WriteSmall(SmallEntry& small);
    Status AddLarge(platform::fileio::FileStream& source, uint64_t expected, size_t pieceSize,
                    bool offered, std::vector<uint8_t> firstChunk, const std::string& filePath,
                    Entry& e, const std::optional<StagedContent>& staged, ZipObserver& observer);
    Status StartSink(Sink& sink);
    Status WriteChunks(platform::fileio::FileStream& source, std::vector<uint8_t> firstChunk,
                       LargeEntry& large, Sink& sink, ZipObserver& observer);
    bool TakeChunk(Chunk& c, bool onlyChunk, LargeEntry& large, Sink& sink);
    Status EndChunks(LargeEntry& large, Sink& sink, ZipObserver& observer);
    Status RewriteStored(LargeEntry& large, ZipObserver& observer);
    Status WriteStored(platform::fileio::FileStream& source, const std::string& filePath, Entry& e,
                       Sink& sink, ZipObserver& observer);
    // The steps of Finish.
    Status WritePieceDigests();
    Status WriteCentralDirectory(uint64_t& start);
    Status WriteEndRecords(uint64_t cdStart);
    Status PutInPlace(ZipObserver& observer);

    std::unique_ptr<TemporaryArchive> temp_;
    std::string targetPath_;
    std::vector<Entry> entries_;
    const bool protect_;
    const std::shared_ptr<const crypto::PasswordKey> key_;
    StreamFilter filter_;
    Meter meter_;
    Status dead_;  // why the archive being written died, if it did
    size_t chunkSize_ = ZipOptions{}.chunkSize;
    uint64_t flushEvery_ = ZipOptions{}.flushEvery;
    bool pieceDigests_ = ZipOptions{}.pieceDigests;
    uint64_t pendingBytes_ = 0;
    std::unique_ptr<WorkerPool> pool_;
    std::unique_ptr<OrderedWork<SmallEntry>> pending_;
    std::vector<std::shared_ptr<Chunk>> spareChunks_;  // their buffers, kept for the next file
    std::string earlierPath_, earlierPassword_;
    std::unique_ptr<EarlierPieces> earlier_;  // open while an archive is written, once tried
    bool earlierTried_ = false;
    // The large entry's sink being written, whose thread behind must end before the file goes.
    Sink* sinkInUse_ = nullptr;
};

}  // namespace kestrine::archive
