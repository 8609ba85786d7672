#pragma once
// Writes a zip archive entry by entry into a temporary file beside the target and moves it into
// place when finished. Each entry is compressed as it is added (deflate level 1, split into chunks
// that the worker threads compress in parallel), stored when it does not shrink, and optionally
// protected with WinZip AES-256 (AE-2).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_stream.h"

namespace kestrine::archive {

class WorkerPool;

class ZipWriter {
  public:
    ZipWriter();
    ~ZipWriter();  // an unfinished archive is abandoned
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    bool Begin(const std::string& targetPath);
    void SetProtection(bool on, const std::string& password);
    // Called with the number of source bytes consumed since the last call.
    void SetProgress(std::function<void(uint64_t)> progress) { progress_ = std::move(progress); }
    // Called with the size of each file as it is opened, before its first progress call.
    void SetSourceOpened(std::function<void(uint64_t)> opened) {
        sourceOpened_ = std::move(opened);
    }
    // Adds the file as an entry named `entryName`. On failure the archive stays as it was.
    bool AddFile(const std::string& filePath, const std::string& entryName);
    // Writes the central directory and moves the archive over the target. On failure the
    // temporary file is removed and the target left as it was.
    bool Finish();
    void Abandon();
    bool Active() const { return temp_ != nullptr; }
    const std::string& Error() const { return error_; }
    size_t EntryCount() const { return entries_.size(); }

    // Leaves `bytes` unused (a hole, sparse where the system allows) before the first entry, as
    // self-extracting archives carry their program there. Lets tests reach ZIP64 offsets without
    // writing 4 GiB. Only before the first entry.
    bool LeaveLeadingGap(uint64_t bytes);
    // Chunk size for the parallel compressor (tests make it small to cover many chunks).
    void SetChunkSize(size_t bytes) { chunkSize_ = bytes; }

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
    };
    struct Sink;
    bool Fail(const std::string& message);
    std::string LocalHeader(const Entry& e) const;
    // `expected` is the source's size when it was opened (only sizes the read buffers).
    bool WriteData(platform::fileio::FileStream& source, uint64_t expected,
                   const std::string& filePath, Entry& e, uint64_t dataStart);
    bool WriteStored(platform::fileio::FileStream& source, Entry& e, Sink& sink);

    std::unique_ptr<platform::fileio::FileStream> temp_;
    std::string tempPath_;
    std::string targetPath_;
    std::vector<Entry> entries_;
    bool protect_ = false;
    std::string password_;
    std::function<void(uint64_t)> progress_;
    std::function<void(uint64_t)> sourceOpened_;
    std::string error_;
    size_t chunkSize_ = 1024 * 1024;
    std::unique_ptr<WorkerPool> pool_;
};

}  // namespace kestrine::archive
