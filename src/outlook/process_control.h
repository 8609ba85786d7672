#pragma once
// Closing and starting Outlook around a backup or a restore.
#include <string>

#include "outlook/profile_data.h"

namespace kestrine::outlook {

// Terminates every running outlook.exe, whatever the letter case of its name, outright (it cannot
// save first) so that its data files are no longer locked; does not wait for the processes to end.
void CloseOutlook();

// Starts Outlook from the folder registered in the "Path" value of `appPathsKey`, minimized and
// with the focus, without waiting. False (and nothing started) when the folder is not registered
// or the program cannot be started; callers ignore the result.
bool StartOutlook(const std::string& appPathsKey = kOutlookAppPathsKey);

// The command line that starts OUTLOOK.EXE from a registered folder (quoted, one backslash).
std::string OutlookCommandLine(const std::string& registeredFolder);

}  // namespace kestrine::outlook
