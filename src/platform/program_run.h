#pragma once
// Running a system program to its end and hearing what it said.
#include <string>

namespace kestrine::platform {

struct ProgramRun {
    bool started = false;
    unsigned long exitCode = 0;
    std::string output;  // standard output and error together, as UTF-8
};

// Starts the program at the full path `programPath` (never looked up on the search path, so a
// program of the same name in the application or current folder cannot stand in for it) with the
// command line `commandLine`, in a hidden window and with no input, waits for it to end, and
// returns its exit code and output.
ProgramRun RunHiddenAndWait(const std::string& programPath, const std::string& commandLine);

}  // namespace kestrine::platform
