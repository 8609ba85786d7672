#pragma once
// Facts about the machine and the running program, as UTF-8 text. Failures give empty text.
#include <string>

#include "base/system_error.h"

namespace kestrine::platform {

// What the system said about the calling thread's latest failed call, in its own words.
base::SystemError LastSystemError();

// DLLs that the program loads by name come from the system folder only, never from the program's
// folder or the current folder, where another user may have planted one. Called first at entry.
void LoadDllsFromSystemFolderOnly();
// The full path of the running program's executable.
std::string RunningProgramPath();
// Folder of the running executable, without a trailing backslash except for a drive root ("C:\").
std::string ExeFolder();
// The computer's name, cut at the first NUL and trimmed.
std::string ComputerName();
// The logged-on user's name, cut at the first NUL and trimmed.
std::string UserName();
// The current user's security identifier as text ("S-1-5-21-..."); empty when it cannot be read.
std::string CurrentUserSid();
// The Windows folder, without a trailing backslash.
std::string WindowsFolder();
// The Windows system folder (C:\Windows\System32), without a trailing backslash.
std::string SystemFolder();
// The process's whole command line as the platform hands it over (program path included).
std::string CommandLineText();
// %Name% references replaced by the environment's values.
std::string ExpandEnvironment(const std::string& text);
// The user's roaming and local application data folders as the shell knows them, redirected
// folders included; empty when the shell cannot say.
std::string RoamingAppDataFolder();
std::string LocalAppDataFolder();
// The user's Documents folder as the shell knows it; empty when the shell cannot say.
std::string DocumentsFolder();
// The file version in an executable's version resource ("16.0.4266.1001"); empty when it has
// none.
std::string FileVersion(const std::string& path);

struct LocalTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;
    int hour = 0;  // 0..23
    int minute = 0;
    int second = 0;
};
LocalTime Now();
// The user locale's default date-and-time text: short date, a space, long time.
std::string LocaleDateTimeText(const LocalTime& time);
// LocaleDateTimeText(Now()).
std::string NowText();

}  // namespace kestrine::platform
