#pragma once
// The file operations that need the system's own file attributes, owners or profile files, in the
// namespace of platform/file_stream.h, which holds the rest (streams, listings, temporary files,
// whole-file reads, moves). Each one opens and closes what it touches; none throws. Failures come
// back as false or empty results. Windows and POSIX twins.
#include <cstdint>
#include <optional>
#include <string>

// <windows.h> maps WriteProfileString to a Win32 function of its own; the name here is ours.
#ifdef WriteProfileString
#undef WriteProfileString
#endif

namespace kestrine::platform::fileio {

// A file exists at `path` that is neither hidden nor system: the plain file lookup of the runs,
// which does not see hidden or system files.
bool NormalFileExists(const std::string& path);
// Clears read-only, hidden and system so the file can be added, replaced or deleted.
bool SetNormalAttributes(const std::string& path);
// The user may create files in `folder`: a probe file is made there and goes again at once.
bool FolderIsWritable(const std::string& folder);
// Whether Windows Security's controlled folder access is what keeps this program from creating
// files in `folder`: creating one there is refused with denied access although the folder's
// permissions let the user add files, the folder lies in one that controlled folder access
// protects (the user's or the public Documents, Pictures, Videos or Music, the user's Favorites,
// or one an administrator added), and controlled folder access is not known to be off or only
// auditing. A probe file is tried (and goes again at once when it is made).
bool ControlledFolderAccessBlocks(const std::string& folder);
// Creates the folder `path` anew, for the current user alone (and the system and administrators):
// false when something of that name is already there, so the folder is surely this call's own.
bool MakePrivateFolder(const std::string& path);
// A real folder (no junction, symbolic link or other reparse point, which would lead elsewhere)
// that the current user owns.
bool IsOwnPlainFolder(const std::string& path);
// The bytes the user may still write on the drive that holds `folder` (quotas counted); nothing
// when the system cannot say. The POSIX twin lets platform/posix_hooks.h have the last word.
std::optional<uint64_t> FreeSpace(const std::string& folder);
// A plain file (no folder, link or other reparse point) that the current user owns: what another
// user put in a shared folder is not the user's to count or remove.
bool IsOwnFile(const std::string& path);
// Appends raw bytes to `path`, creating the file when absent (open, write, close).
bool AppendBytes(const std::string& path, const std::string& bytes);

// Private-profile (INI) files with the 128-character value field of the Windows profile functions:
// a read returns at most 127 characters, cut at the first NUL (not trimmed); a write stores at
// most the value's first 128 characters. Characters are UTF-16 units. The file stays ANSI text
// until a write brings text without an ANSI form; it is then turned into UTF-16 whole, which the
// profile functions (earlier versions' too) read and write.
inline constexpr int kProfileFieldChars = 128;
std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key);
bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value);

}  // namespace kestrine::platform::fileio
