#pragma once
// Closing and starting Outlook around a backup or a restore.
#include <cstdint>
#include <string>

#include "outlook/profile_data.h"

namespace kestrine::outlook {

// How long closing Outlook waits for it to quit when asked, and then for ended processes to go.
inline constexpr uint32_t kOutlookQuitWaitMs = 30000;
inline constexpr uint32_t kOutlookExitWaitMs = 15000;

struct OutlookClosing {
    int running = 0;   // Outlook processes found
    int ended = 0;     // of them, ended because they did not quit when asked
    bool gone = true;  // no Outlook runs afterwards
};

// Closes every outlook.exe of the user's session (whatever the letter case of its name) so that its
// data files are no longer locked: first asks it to quit the way a user would, so it saves its work
// and closes its data files cleanly, and waits up to `quitWaitMs`; only one that is still running
// then is ended outright, waiting up to `exitWaitMs` for it to be gone.
OutlookClosing CloseOutlook(uint32_t quitWaitMs = kOutlookQuitWaitMs,
                            uint32_t exitWaitMs = kOutlookExitWaitMs);

// The OUTLOOK.EXE in the folder registered in the "Path" value of `appPathsKey` (also in the
// registry's 32-bit view); empty when no folder is registered.
std::string RegisteredOutlookExe(const std::string& appPathsKey = kOutlookAppPathsKey);

// Starts the registered OUTLOOK.EXE minimized and with the focus, without waiting. False (and
// nothing started) when none is registered or the program cannot be started; callers ignore the
// result.
bool StartOutlook(const std::string& appPathsKey = kOutlookAppPathsKey);

}  // namespace kestrine::outlook
