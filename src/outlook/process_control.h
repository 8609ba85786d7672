#pragma once
// Closing and starting Outlook around a backup or a restore.
#include <cstdint>
#include <functional>
#include <string>

#include "outlook/profile_data.h"

namespace kestrine::outlook {

// How long closing Outlook waits for it to quit when asked, and then for ended processes to go.
inline constexpr uint32_t kOutlookQuitWaitMs = 30000;
inline constexpr uint32_t kOutlookExitWaitMs = 15000;

struct OutlookClosing {
    int running = 0;         // Outlook processes found
    bool itemsOpen = false;  // it has item windows open, so it was not asked
    bool asked = false;      // it was asked to quit
    int ended = 0;           // ended outright, as the user agreed, because it did not quit
    bool gone = true;        // no Outlook runs afterwards
};

// Whether an outlook.exe runs in the user's session.
bool OutlookRuns();

// Asks the user's running Outlook to quit through its automation object, so that it writes and
// closes its data files itself, and waits up to `quitWaitMs` for every outlook.exe of the session
// to end. It is asked only when it reports no open item windows: quitting that way discards what
// is not saved in them, without asking. Nothing is ended: an Outlook that is not asked, or does not
// quit, keeps running (`gone` false).
OutlookClosing AskOutlookToQuit(uint32_t quitWaitMs = kOutlookQuitWaitMs);

// Ends every outlook.exe of the session outright (whatever the letter case of its name), waiting up
// to `exitWaitMs` for each to be gone; how many were ended. What Outlook had not saved is lost:
// only for a user who agreed to it, never for a run nobody watches.
int EndOutlook(uint32_t exitWaitMs = kOutlookExitWaitMs);

// Closing Outlook before a backup, for the window and the scheduled run alike: AskOutlookToQuit,
// and when Outlook still runs and `mayEnd` (which sees how the asking went; the window asks the
// user) says so, EndOutlook. Without `mayEnd` nothing is ended.
using MayEndOutlook = std::function<bool(const OutlookClosing&)>;
OutlookClosing CloseOutlook(const MayEndOutlook& mayEnd = {},
                            uint32_t quitWaitMs = kOutlookQuitWaitMs,
                            uint32_t exitWaitMs = kOutlookExitWaitMs);

// The OUTLOOK.EXE in the folder registered in the "Path" value of `appPathsKey` (also in the
// registry's 32-bit view); empty when no folder is registered.
std::string RegisteredOutlookExe(const std::string& appPathsKey = kOutlookAppPathsKey);

// Starts the registered OUTLOOK.EXE minimized and with the focus, without waiting. False (and
// nothing started) when none is registered or the program cannot be started; callers ignore the
// result.
bool StartOutlook(const std::string& appPathsKey = kOutlookAppPathsKey);

}  // namespace kestrine::outlook
