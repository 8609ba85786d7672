#pragma once
// The unattended run started by the scheduled task's command line.
#include <string>

namespace kestrine::schedule {

// Exit status of the unattended program: the Task Scheduler's last-run result tells the truth.
enum UnattendedExit : int {
    kExitAllSucceeded = 0,  // archive written and every chosen item succeeded
    kExitItemFailed = 1,    // archive written, but an item failed
    kExitNoArchive = 2,     // no archive written, or the command line was refused
};

// Start-up facts of the program in `appFolder`, then the unattended backup; never shows a window or
// a message box.
int RunUnattendedProgram(const std::string& commandLine, const std::string& appFolder);

}  // namespace kestrine::schedule
