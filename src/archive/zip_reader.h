#pragma once
// Reads a zip archive without trusting it: every size and offset is checked against the file before
// it is used, entries may not overlap, and entry data is checked (CRC, AES authentication code,
// declared size) as it is decoded.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/zip_observer.h"
#include "archive/zip_types.h"
#include "base/status.h"
#include "platform/file_stream.h"

namespace kestrine::archive {

class WorkerPool;

struct ZipEntryRecord {
    std::string name;  // UTF-8
    uint16_t flags = 0;
    uint16_t method = 0;      // as stored (99 for AES)
    uint16_t realMethod = 0;  // the compression method, also under AES
    uint32_t crc32 = 0;
    uint32_t dosTime = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint64_t localOffset = 0;
    uint64_t dataLimit = 0;  // where the next entry (or the central directory) starts
    int aesStrength = 0;     // 0 when not AES
    int aesVersion = 0;
    // Our chunk index, when the central directory carries one (checked against the entry only
    // when it is read): uncompressed size of every chunk but the last, compressed size of each.
    uint64_t chunkInput = 0;
    std::vector<uint64_t> chunks;
    // Where the sealed digests of its pieces lie, when the central directory says so (unchecked).
    uint64_t digestsOffset = 0;
    uint32_t digestsSize = 0;
    uint32_t digestsCrc = 0;
    bool encrypted() const { return (flags & 1) != 0; }
};

class ZipReader {
  public:
    // Called with each decoded piece; false stops the read (as a failure).
    using Sink = std::function<bool(const uint8_t* data, size_t size)>;

    ZipReader();
    ~ZipReader();
    ZipReader(ZipReader&&) noexcept;
    ZipReader& operator=(ZipReader&&) noexcept;

    // Reads and checks the central directory: Damaged (or Unsupported) for anything that is not a
    // sound zip.
    Status Open(std::unique_ptr<platform::fileio::FileStream> stream);
    // Closes the archive (the worker threads stay for the next one).
    void Close();
    const std::vector<ZipEntryRecord>& Entries() const { return entries_; }
    // Decodes the entry into `sink`, decrypting with `password` where needed, and checks it whole:
    // a success only when every check passed. A large deflated entry with a sound chunk index is
    // inflated on several cores; the sink still gets the data in order, one call at a time, but
    // then from a thread of the reader's own. The observer hears the entry's bytes (every MiB or
    // so, and at the end) and is asked between pieces whether to stop, on the calling thread.
    Status ReadEntry(size_t index, const std::string& password, const Sink& sink,
                     ZipObserver& observer = ZipObserver::None());
    bool IsOpen() const { return stream_ != nullptr; }

  private:
    struct Decoding;
    struct EndRecord;
    class ChunkPipeline;
    Status FindEndRecord(platform::fileio::FileStream& stream, EndRecord& end);
    Status ReadCentralDirectory(uint64_t offset, uint64_t size, uint64_t count);
    static Status ParseCentralRecord(const uint8_t* h, size_t room, ZipEntryRecord& rec,
                                     size_t& recordSize);
    static Status ReadExtraFields(const uint8_t* extra, size_t extraLen, const std::string& rawName,
                                  ZipEntryRecord& rec, uint32_t& diskStart,
                                  std::string& unicodeName);
    Status CheckEntrySpaces(uint64_t cdOffset);
    Status LocateData(Decoding& d);
    Status StartDecryption(Decoding& d, const std::string& password);
    Status CheckEnd(Decoding& d);
    static bool ChunkIndexFits(const ZipEntryRecord& rec, const Decoding& d);
    // Checks the size and takes the CRC of decoded bytes (of a piece whose CRC is known, if given).
    static Status Account(Decoding& d, const uint8_t* data, size_t size, const uint32_t* pieceCrc);
    // Reports the progress now and then and asks whether to stop.
    static Status Progress(Decoding& d, uint64_t done);
    static Status Deliver(Decoding& d, const uint8_t* data, size_t size);
    static bool FitsWhole(const Decoding& d);
    Status ReadWhole(Decoding& d);
    Status ReadSequential(Decoding& d);
    Status ReadChunks(Decoding& d);

    std::unique_ptr<platform::fileio::FileStream> stream_;
    std::vector<ZipEntryRecord> entries_;
    std::unique_ptr<WorkerPool> pool_;
    std::unique_ptr<WorkerPool> writer_;  // hands chunked output to the sink in order
    struct SparePieces;
    std::unique_ptr<SparePieces> spare_;  // the chunks' buffers, kept for the next entry
    struct {
        std::vector<uint8_t> input, output;  // kept for the next small entry
    } whole_;
};

}  // namespace kestrine::archive
