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

// Waits up to `waitMs` for the processes that RunningInSession would list to end; how many still
// run then.
int WaitForProcessesToEnd(const std::string& name, uint32_t waitMs);

// Waits `waitMs`, or less when the user's session ends meanwhile (the user logs off, Windows shuts
// down, or the program is asked to end): false then, and from then on at once. The system gives a
// program that is told a few seconds before it ends it: a caller that sees false writes what it
// must at once and then calls SessionEndRecorded, which lets the session end.
bool SleepUnlessSessionEnds(uint32_t waitMs);
void SessionEndRecorded();

uint32_t CurrentProcessId();
// True while a process of that id exists (also one that is not ours to open).
bool ProcessIsRunning(uint32_t pid);

}  // namespace kestrine::platform
