#pragma once
// Processes: the running instances of a program in the user's session, ending them, and starting a
// program without waiting.
#include <cstdint>
#include <string>
#include <vector>

namespace kestrine::platform {

// How a started program's main window first appears.
enum class ShowMode { Hidden, Normal, MinimizedFocus, MaximizedFocus };

// Starts `commandLine` (program and arguments, as typed at a prompt) without waiting for it.
// False when the program could not be started.
bool StartProgram(const std::string& commandLine, ShowMode show);

// The executables (full paths; the bare name where the path cannot be read) of the running
// processes of the calling process's session whose file name equals `name` without regard to case.
// Other sessions' processes (other users, services) are not listed, and neither is the caller.
std::vector<std::string> RunningInSession(const std::string& name);

// Terminates (exit code 0) every process that RunningInSession would list; names that merely
// contain `name` are left alone. Processes that cannot be opened are skipped. Waits up to `waitMs`
// for the ended processes to be gone, so their files are closed. Returns how many were ended.
int KillProcessByName(const std::string& name, uint32_t waitMs = 0);

// Asks every process that RunningInSession would list to close the way a user would, by closing
// its visible top-level windows (WM_CLOSE), so it can save its work and close its files. Waits up
// to `waitMs` for them to end. Returns how many still run.
int AskProcessesToClose(const std::string& name, uint32_t waitMs);

uint32_t CurrentProcessId();
// True while a process of that id exists (also one that is not ours to open).
bool ProcessIsRunning(uint32_t pid);

}  // namespace kestrine::platform
