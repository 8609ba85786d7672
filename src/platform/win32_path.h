#pragma once
// The form of a path that the wide-character file functions take. Internal to the platform layer
// (Windows): every file call of its *_win.cpp files passes its path through Win32Path.
#include <string>

namespace kestrine::platform {

// `path` (UTF-8) as UTF-16 for a Win32 file call. A path too long for the classic limit (260
// characters, 248 for a folder that is made) gets the extended-length form ("\\?\C:\..." or
// "\\?\UNC\server\share\..."), which reaches about 32,767 characters; the system takes that form
// as it stands (no "/" read as "\", no "." or ".." resolved), so the path is made full first.
// Shorter paths, and paths already in a device form, go as they are.
std::wstring Win32Path(const std::string& path);

}  // namespace kestrine::platform
