#pragma once
// The native tests' stand-in for a file another program holds open without sharing it (Outlook
// its data file): while held, the POSIX twin refuses to open, move, replace or delete it, as
// Windows does. Tests hold and let go.
#include <string>

namespace kestrine::platform::fileio {

// Holds `path` (compared without regard to case or separator) until LetGo(path).
void Hold(const std::string& path);
void LetGo(const std::string& path);

}  // namespace kestrine::platform::fileio
