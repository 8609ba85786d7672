#pragma once
// The native tests' stand-in for the free space of a drive: fileio::FreeSpace answers what a test
// set for a folder (and everything below it) instead of what the file system has.
#include <cstdint>
#include <optional>
#include <string>

namespace kestrine::platform::fileio {

// From now on the drive of `folder` has `bytes` free; nothing puts the file system's answer back.
void SetFreeSpace(const std::string& folder, std::optional<uint64_t> bytes);

}  // namespace kestrine::platform::fileio
