#pragma once
// Helpers for the archive tests: a raw zip builder for hand-made (also hostile) archives, and
// short forms for writing and reading archives through the component.
#include <cstdint>
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

// Writes `files` (paths) into `archive`; empty password means no protection.
bool WriteZip(const std::string& archive, const std::vector<std::string>& files,
              const std::string& password = "", size_t chunkSize = 0);

// Files in `folder` (names), sorted.
std::vector<std::string> FolderNames(const std::string& folder);

// Text that compresses well, deterministic.
std::string TextBytes(size_t size, uint32_t seed);

// True when `tool` is on the PATH.
bool HaveTool(const std::string& tool);
// Runs a shell command, quietly; its exit status.
int Shell(const std::string& command);
std::string Quote(const std::string& path);

}  // namespace kestrine::test
