#pragma once
// Types that the writer, the reader and the component share. Their failures are Status values
// (base/status.h): a file to add that cannot be read is Failure::Unreadable (only that entry
// fails), an archive that cannot be written Failure::WriteFailed (the archive is dead), a file
// being extracted that cannot be written also WriteFailed, a damaged archive Damaged, a password
// that does not fit WrongPassword, a stop asked for Cancelled.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kestrine::platform::fileio {
class FileStream;
}

namespace kestrine::archive {

// Sees or changes every file stream that archive work opens (the archive, the files added, the
// files extracted) as it is opened, with the file's path; empty means the files themselves. Tests
// make streams fail on demand with it (a full disk, a device that goes away, a read error).
using StreamFilter = std::function<std::unique_ptr<platform::fileio::FileStream>(
    std::unique_ptr<platform::fileio::FileStream> stream, const std::string& path)>;

// What a run wrote into a file it staged (an export, the manifest): the archive takes the file only
// when it still holds exactly that, so that a file swapped after its writing goes unnoticed
// nowhere.
struct StagedContent {
    uint64_t size = 0;
    uint32_t crc32 = 0;
};
StagedContent StagedContentOf(std::string_view bytes);

}  // namespace kestrine::archive
