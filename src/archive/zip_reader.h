#pragma once
// Reads a zip archive without trusting it: every size and offset is checked against the file before
// it is used, entries may not overlap, and entry data is checked (CRC, AES authentication code,
// declared size) as it is decoded.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_stream.h"

namespace kestrine::archive {

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
    bool encrypted() const { return (flags & 1) != 0; }
};

class ZipReader {
  public:
    // Called with each decoded piece; false stops the read (as a failure).
    using Sink = std::function<bool(const uint8_t* data, size_t size)>;

    // Reads and checks the central directory. False with Error() for anything that is not a sound
    // zip.
    bool Open(std::unique_ptr<platform::fileio::FileStream> stream);
    const std::vector<ZipEntryRecord>& Entries() const { return entries_; }
    // Decodes the entry into `sink`, decrypting with `password` where needed, and checks it whole.
    // True only when every check passed.
    bool ReadEntry(size_t index, const std::string& password, const Sink& sink);
    const std::string& Error() const { return error_; }
    bool IsOpen() const { return stream_ != nullptr; }

  private:
    bool Fail(const std::string& message);
    bool ReadCentralDirectory(uint64_t offset, uint64_t size, uint64_t count);

    std::unique_ptr<platform::fileio::FileStream> stream_;
    std::vector<ZipEntryRecord> entries_;
    std::string error_;
};

}  // namespace kestrine::archive
