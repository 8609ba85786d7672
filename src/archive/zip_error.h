#pragma once
// What kind of failure an archive operation met. The writer, the reader and the component share it,
// so a caller can tell a file that could not be read from an archive that could not be written.
#include <cstdint>

namespace kestrine::archive {

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

}  // namespace kestrine::archive
