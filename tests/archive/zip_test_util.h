#pragma once
// Helpers for the archive tests: a raw zip builder for hand-made (also hostile) archives, streams
// that fail on demand, and short forms for writing and reading archives through the component.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/zip_component.h"

namespace kestrine::test {

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
              const std::string& password = "", size_t chunkSize = 0);

// Whole files by UTF-8 path.
void Save(const std::string& path, const std::string& bytes);
std::string Load(const std::string& path);
// Files in `folder` (names), sorted.
std::vector<std::string> FolderNames(const std::string& folder);

// Text that compresses well, deterministic.
std::string TextBytes(size_t size, uint32_t seed);

// What the streams of a FaultFilter do wrong; the test keeps a pointer and may change it.
struct StreamFaults {
    int64_t writeBudget = -1;  // bytes that may still be written (-1: no limit), then writes fail
    int64_t readBudget = -1;   // bytes that may still be read, then reads fail
    bool failTruncate = false;
    int64_t corruptAt = -1;  // the byte written at this offset goes wrong (once)
    uint64_t bytesRead = 0;
};
// A stream filter for the component: the streams of files whose path contains `match` get the
// faults, all others pass as they are.
archive::StreamFilter FaultFilter(const std::string& match, std::shared_ptr<StreamFaults> faults);

// True when `tool` is on the PATH.
bool HaveTool(const std::string& tool);
// Runs a shell command, quietly; its exit status.
int Shell(const std::string& command);
std::string Quote(const std::string& path);

}  // namespace kestrine::test
