#pragma once
// Windows file operations by UTF-8 path that the portable core does not need. Each one opens and
// closes what it touches; none throws. Failures come back as false or empty results. Existence,
// removal and moves of files are in platform/file_stream.h, for both systems.
#include <string>
#include <vector>

// <windows.h> maps WriteProfileString to a Win32 function of its own; the name here is ours.
#ifdef WriteProfileString
#undef WriteProfileString
#endif

namespace kestrine::platform {

// A file exists at `path` that is neither hidden nor system: the plain file lookup of the runs,
// which does not see hidden or system files.
bool NormalFileExists(const std::string& path);

// Names (not paths) of the files directly in `folder`, in file-system order; no subfolders.
// Hidden and system files are left out unless `includeHidden` is set. Empty for a missing folder.
std::vector<std::string> ListFiles(const std::string& folder, bool includeHidden = false);

// Clears read-only, hidden and system so the file can be added, replaced or deleted.
bool SetNormalAttributes(const std::string& path);
// Creates one folder level; true when the folder exists afterwards.
bool MakeFolder(const std::string& path);
// The user may create files in `folder`: a probe file is made there and goes again at once.
bool FolderIsWritable(const std::string& folder);
// Creates the folder `path` anew, for the current user alone (and the system and administrators):
// false when something of that name is already there, so the folder is surely this call's own.
bool MakePrivateFolder(const std::string& path);
// A real folder (no junction or other reparse point, which would lead elsewhere) that the current
// user owns.
bool IsOwnPlainFolder(const std::string& path);
// Names of the folders directly in `folder`.
std::vector<std::string> ListFolders(const std::string& folder);
// Removes the folder with the files directly in it (it must hold no folders); true when it is gone.
bool RemoveFolderAndFiles(const std::string& path);
// Appends raw bytes to `path`, creating the file when absent (open, write, close).
bool AppendBytes(const std::string& path, const std::string& bytes);
// Reads the whole file as raw bytes; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// Private-profile (INI) files through the wide functions, with the 128-character value field:
// a read returns at most 127 characters, cut at the first NUL (not trimmed); a write stores at
// most the value's first 128 characters. Characters are UTF-16 units. The file stays ANSI text
// until a write brings text without an ANSI form; it is then turned into UTF-16 whole, which the
// profile functions (earlier versions' too) read and write.
inline constexpr int kProfileFieldChars = 128;
std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key);
bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value);

// Creates a new, empty, uniquely named file in `folder` (prefix's first three characters, a
// hexadecimal number, ".tmp") and returns its full path; empty on failure.
std::string CreateTempFile(const std::string& folder, const std::string& prefix);

}  // namespace kestrine::platform
