#pragma once
// The Outlook automation object: asked for its version, and a running Outlook asked to quit when
// that loses nothing.
#include <cstdint>
#include <string>

namespace kestrine::platform {

struct OutlookVersionProbe {
    bool objectObtained = false;  // a running instance of the ProgID was found
    bool attached = false;        // it was found running (always so when obtained)
    bool versionRead = false;
    std::string version;    // `Version`, e.g. "16.0.0.4266"
    bool timedOut = false;  // no answer within the wait
};

// How long a probe waits for the automation server: a hung or busy Outlook must not hold up the
// program's start, least of all a scheduled run that nobody watches.
inline constexpr uint32_t kOutlookProbeWaitMs = 30000;

// Reads `Version` of the running instance of the automation object `progId`, found in the running
// object table, and never asks it to quit. No instance is ever created: that would start Outlook,
// which opens the very data files a backup is about to read. Gives up after `waitMs` (timedOut;
// the call goes on unattended).
OutlookVersionProbe ProbeOutlookVersion(const std::string& progId = "Outlook.Application",
                                        uint32_t waitMs = kOutlookProbeWaitMs);

enum class OutlookQuitAnswer {
    NoObject,    // no running instance registered itself (or none answered as Outlook does)
    ItemsOpen,   // it has item windows open (or did not say how many): not asked
    QuitCalled,  // it had none, and `Quit` was called
    TimedOut,    // no answer within the wait
};

// Asks the running Outlook to quit through its automation object, found in the running object
// table (an instance is never created for this), but only when its `Inspectors` collection is
// empty: `Quit` closes every open item window and discards what is not saved there, without
// asking. Does not wait for Outlook to end.
OutlookQuitAnswer AskRunningOutlookToQuit(const std::string& progId = "Outlook.Application",
                                          uint32_t waitMs = kOutlookProbeWaitMs);

}  // namespace kestrine::platform
