#pragma once
// Reads a zip archive without trusting it: every size and offset is checked against the file before
// it is used, entries may not overlap, and entry data is checked (CRC, AES authentication code,
// declared size) as it is decoded.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/zip_types.h"
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
    bool encrypted() const { return (flags & 1) != 0; }
};

class ZipReader {
  public:
    // Called with each decoded piece; false stops the read (as a failure).
    using Sink = std::function<bool(const uint8_t* data, size_t size)>;
    struct Hooks {
        // Bytes of the entry decoded so far and its size: every MiB or so, and at the end.
        std::function<void(uint64_t done, uint64_t total)> progress;
        // Asked between pieces; true stops the read (Cancelled).
        std::function<bool()> cancel;
    };

    ZipReader();
    ~ZipReader();
    ZipReader(ZipReader&&) noexcept;
    ZipReader& operator=(ZipReader&&) noexcept;

    // Reads and checks the central directory. False with Error() for anything that is not a sound
    // zip.
    bool Open(std::unique_ptr<platform::fileio::FileStream> stream);
    // Closes the archive (the worker threads stay for the next one).
    void Close();
    const std::vector<ZipEntryRecord>& Entries() const { return entries_; }
    // Decodes the entry into `sink`, decrypting with `password` where needed, and checks it whole.
    // True only when every check passed. A large deflated entry with a sound chunk index is
    // inflated on several cores; the sink still gets the data in order, one call at a time, but
    // then from a thread of the reader's own. The hooks are called on the calling thread.
    bool ReadEntry(size_t index, const std::string& password, const Sink& sink,
                   const Hooks& hooks = {});
    const std::string& Error() const { return error_; }
    ZipError ErrorKind() const { return errorKind_; }
    bool IsOpen() const { return stream_ != nullptr; }

  private:
    struct Decoding;
    bool Fail(ZipError kind, const std::string& message);
    bool ReadCentralDirectory(uint64_t offset, uint64_t size, uint64_t count);
    static bool ChunkIndexFits(const ZipEntryRecord& rec, const Decoding& d);
    // Checks the size and takes the CRC of decoded bytes (of a piece whose CRC is known, if given).
    bool Account(Decoding& d, const uint8_t* data, size_t size, const uint32_t* pieceCrc);
    // Raises the progress hook now and then and asks the cancel hook.
    bool Progress(Decoding& d, uint64_t done);
    bool Deliver(Decoding& d, const uint8_t* data, size_t size);
    static bool FitsWhole(const Decoding& d);
    bool ReadWhole(Decoding& d);
    bool ReadSequential(Decoding& d);
    bool ReadChunks(Decoding& d);

    std::unique_ptr<platform::fileio::FileStream> stream_;
    std::vector<ZipEntryRecord> entries_;
    std::string error_;
    ZipError errorKind_ = ZipError::None;
    std::unique_ptr<WorkerPool> pool_;
    std::unique_ptr<WorkerPool> writer_;  // hands chunked output to the sink in order
    struct {
        std::vector<uint8_t> input, output;  // kept for the next small entry
    } whole_;
};

}  // namespace kestrine::archive
