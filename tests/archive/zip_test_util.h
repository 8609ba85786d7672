#pragma once
// Helpers for the archive tests: a raw zip builder for hand-made (also hostile) archives, streams
// that fail on demand, and short forms for writing and reading archives through the component.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/archive_reader.h"
#include "archive/archive_writer.h"

namespace kestrine::test {

// A check of a step's Status that names the failure when there is one.
inline ::testing::AssertionResult Passed(const Status& status) {
    if (status) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << status.message();
}

// An observer whose members a test binds; unbound ones report nothing and never stop.
struct TestObserver : archive::ZipObserver {
    std::function<void(const std::string&)> adding, extracting;
    std::function<void(const std::string&, uint64_t, uint64_t)> entry;
    std::function<void(int)> percent;
    std::function<void(const Status&)> done;
    std::function<bool()> cancel;
    std::function<bool(const std::string&)> check;
    std::string unused;   // why an earlier archive did not serve, one line each
    uint64_t reused = 0;  // bytes of large entries copied from an earlier archive

    void FileAdding(const std::string& name) override {
        if (adding) adding(name);
    }
    void FileExtracting(const std::string& name) override {
        if (extracting) extracting(name);
    }
    void EntryProgress(const std::string& name, uint64_t done_, uint64_t total) override {
        if (entry) entry(name, done_, total);
    }
    void WriteProgress(int value) override {
        if (percent) percent(value);
    }
    void WriteDone(const Status& result) override {
        if (done) done(result);
    }
    bool CancelRequested() override { return cancel && cancel(); }
    bool CheckFinished(const std::string& path) override { return !check || check(path); }
    void EarlierArchiveUnused(const std::string& why) override { unused += why + "\n"; }
    void PiecesReused(const std::string&, uint64_t bytes, uint64_t) override { reused += bytes; }
};

struct RawEntry {
    std::string name;
    std::string data;  // stored as is
    uint16_t method = 0;
    uint16_t flags = 0;
    // Overrides for lying headers; unset (-1) means the true value.
    int64_t crc = -1;
    int64_t compressedSize = -1;
    int64_t uncompressedSize = -1;
    int64_t offset = -1;
};

// A zip of stored entries with the given (possibly false) header fields.
std::string BuildZip(const std::vector<RawEntry>& entries);
// `plain` protected with the traditional zip encryption (12-byte header, check byte from `crc`),
// the password taken byte by byte as earlier versions did.
std::string ZipCryptoSeal(const std::string& passwordBytes, const std::string& plain, uint32_t crc);
uint32_t Crc(const std::string& bytes);

// Writes `files` (paths) into `archive`; empty password means no protection.
bool WriteZip(const std::string& archive, const std::vector<std::string>& files,
              const std::string& password = "", size_t chunkSize = 0, bool pieceDigests = true);

// Whole files by UTF-8 path.
void Save(const std::string& path, const std::string& bytes);
std::string Load(const std::string& path);
// Files in `folder` (names), sorted.
std::vector<std::string> FolderNames(const std::string& folder);

// Text that compresses well, deterministic.
std::string TextBytes(size_t size, uint32_t seed);

// What the streams of a FaultFilter do wrong; the test keeps a pointer and may change it.
struct StreamFaults {
    // Bytes that may still be written (-1: no limit), then writes fail; flushes may run beside
    // the writes.
    std::atomic<int64_t> writeBudget = -1;
    int64_t readBudget = -1;  // bytes that may still be read, then reads fail
    bool failTruncate = false;
    std::atomic<int> failFlushes = 0;  // the first this many flushes fail (write-back refused)
    std::atomic<int> flushes = 0;      // flushes asked for so far
    int64_t corruptAt = -1;            // the byte written at this offset goes wrong (once)
    int64_t refuseWriteAt = -1;  // the write that covers this offset fails (once; later ones pass)
    uint64_t bytesRead = 0;
    std::function<void()> beforeRead;  // called before each read: a test may hold the reader there
};
// A stream filter for the component: the streams of files whose path contains `match` get the
// faults, all others pass as they are.
archive::StreamFilter FaultFilter(const std::string& match, std::shared_ptr<StreamFaults> faults);
// The archive's streams with `disk`'s faults and the source file's (path contains `source`) with
// `read`'s.
archive::StreamFilter FaultFilters(std::shared_ptr<StreamFaults> disk, const std::string& source,
                                   std::shared_ptr<StreamFaults> read);

// True when `tool` is on the PATH.
bool HaveTool(const std::string& tool);
// Runs a shell command, quietly; its exit status.
int Shell(const std::string& command);
std::string Quote(const std::string& path);

}  // namespace kestrine::test
