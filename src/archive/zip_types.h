#pragma once
// Types that the writer, the reader and the component share.
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

// What kind of failure an archive operation met, so a caller can tell a file that could not be
// read from an archive that could not be written.
enum class ZipError : uint8_t {
    None,
    // Called in the wrong state or with a bad argument: no archive open or being written, no path.
    NotReady,
    // A file to add could not be opened or read (missing, locked, open for writing elsewhere, read
    // error). Only that entry is left out; the archive goes on.
    SourceUnreadable,
    // The archive file could not be written (no space, device gone, access denied on the target
    // folder). The archive being written is dead: it is abandoned and every later call fails.
    ArchiveWriteFailed,
    // The cancel check answered yes; a write that is cancelled is abandoned.
    Cancelled,
    // The password does not fit (the entry's password check, before any data is decoded).
    WrongPassword,
    // Not a zip archive, or damaged structure or data (sizes, CRC, authentication code), or an
    // archive file that cannot be read.
    Damaged,
    // A compression method or encryption that is not read here.
    Unsupported,
    // An extracted file could not be written or put in place.
    TargetUnwritable,
};

// What a run wrote into a file it staged (an export, the manifest): the archive takes the file only
// when it still holds exactly that, so that a file swapped after its writing goes unnoticed
// nowhere.
struct StagedContent {
    uint64_t size = 0;
    uint32_t crc32 = 0;
};
StagedContent StagedContentOf(std::string_view bytes);

}  // namespace kestrine::archive
