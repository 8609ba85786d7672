#pragma once
// Closing and starting Outlook around a backup or a restore.
#include <cstdint>
#include <string>

#include "outlook/profile_data.h"

namespace kestrine::outlook {

// How long closing Outlook waits for its processes to be gone.
inline constexpr uint32_t kOutlookExitWaitMs = 15000;

// Terminates every outlook.exe of the user's session, whatever the letter case of its name,
// outright (it cannot save first) so that its data files are no longer locked, and waits up to
// `waitMs` for the processes to be gone. False when one still runs afterwards.
bool CloseOutlook(uint32_t waitMs = kOutlookExitWaitMs);

// The OUTLOOK.EXE in the folder registered in the "Path" value of `appPathsKey` (also in the
// registry's 32-bit view); empty when no folder is registered.
std::string RegisteredOutlookExe(const std::string& appPathsKey = kOutlookAppPathsKey);

// Starts the registered OUTLOOK.EXE minimized and with the focus, without waiting. False (and
// nothing started) when none is registered or the program cannot be started; callers ignore the
// result.
bool StartOutlook(const std::string& appPathsKey = kOutlookAppPathsKey);

}  // namespace kestrine::outlook
