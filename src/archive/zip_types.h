#pragma once
// Types that the writers and readers share. Their failures are Status values
// (base/status.h): a file to add that cannot be read is Failure::Unreadable (only that entry
// fails), an archive that cannot be written Failure::WriteFailed (the archive is dead), a file
// being extracted that cannot be written also WriteFailed, a damaged archive Damaged, a password
// that does not fit WrongPassword, a stop asked for Cancelled.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/secret.h"

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

// How archive work opens and pieces its files; the defaults are the program's.
struct ZipOptions {
    // Every file stream opened passes through it (see StreamFilter); for tests.
    StreamFilter filter = nullptr;
    // Size of the pieces that large files are split into for parallel compression (at least
    // 4 KiB); a file too large for its chunk index to describe that many gets larger ones, and a
    // file written again over an earlier archive those of its earlier entry. 256 KiB: a scattered
    // page write then costs a re-backup a quarter of what 1 MiB pieces cost, and the archive is
    // hardly larger (bench/README.md).
    size_t chunkSize = 256 * 1024;
    // Large archives and extracted files are flushed to the disk behind their writer once every
    // so many bytes (bytes rather than pieces, so smaller pieces do not mean more flushes).
    uint64_t flushEvery = 32u << 20;
    // Large entries get the digests of their pieces, so that a later backup proves an unchanged
    // piece by hashing the file rather than inflating the piece (off only to write archives as
    // versions before the digests did, for tests).
    bool pieceDigests = true;
};

// How a writer protects the entries it adds: every one with WinZip AES-256 under `password`
// (UTF-8), or none. It is fixed when the writer is made, so no archive is ever half protected.
// The password is wiped when the protection goes.
struct EntryProtection {
    bool aes = false;
    std::string password;

    static EntryProtection None() { return {}; }
    static EntryProtection Aes(std::string password) { return {true, std::move(password)}; }
    // AES under `password`, or none when it is empty (a backup without a password).
    static EntryProtection ForPassword(const std::string& password) {
        return password.empty() ? None() : Aes(password);
    }
    ~EntryProtection() { base::Wipe(password); }
};

}  // namespace kestrine::archive
