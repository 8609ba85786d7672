#pragma once
// brlog.dat, the append-only activity log.
#include <string>
#include <vector>

namespace kestrine {

// Appends `line` and CR LF (ANSI text), opening and closing the file for this one line.
bool WriteLog(const std::string& path, const std::string& line);
// The entries of the log list read from the log file (SplitLogLines); empty when the file is
// missing or unreadable.
std::vector<std::string> ReadLogEntries(const std::string& logFile);

}  // namespace kestrine
