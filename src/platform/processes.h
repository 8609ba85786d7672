#pragma once
// Processes: ending the running instances of a program, and starting a program without waiting.
#include <string>

namespace kestrine::platform {

// How a started program's main window first appears.
enum class ShowMode { Hidden, Normal, MinimizedFocus, MaximizedFocus };

// Starts `commandLine` (program and arguments, as typed at a prompt) without waiting for it.
// False when the program could not be started.
bool StartProgram(const std::string& commandLine, ShowMode show);

// Terminates (exit code 0, no wait) every process whose executable file name equals `name`
// without regard to case; names that merely contain it are left alone, and so is the calling
// process. Processes that cannot be opened are skipped. Returns how many were asked to end.
int KillProcessByName(const std::string& name);

}  // namespace kestrine::platform
