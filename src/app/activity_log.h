#pragma once
// brlog.dat, the append-only activity log.
#include <string>
#include <vector>

namespace kestrine {

// Appends `line` and CR LF (ANSI text), opening and closing the file for this one line.
bool WriteLog(const std::string& path, const std::string& line);
// brlog.dat in the application folder.
std::string LogPath();
// Writes a line to brlog.dat in the application folder.
bool Log(const std::string& line);
// The entries of the log list read from brlog.dat (SplitLogLines); empty when the file is missing
// or unreadable.
std::vector<std::string> ReadLogEntries();

}  // namespace kestrine
