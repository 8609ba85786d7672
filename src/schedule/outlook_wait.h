#pragma once
// A scheduled backup and a running Outlook. Outlook holds its data files open for writing while it
// runs, so a backup that read them then would fail them. The run closes Outlook first when the
// user chose so (and only when that loses nothing), and otherwise waits for Outlook to close,
// holding nothing meanwhile: no run lock, no archive, no file, so the window can still back up.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "backup_format/items.h"
#include "outlook/process_control.h"

namespace kestrine::schedule {

// The time a wait sees: how much has passed since a fixed point, and a pause that ends early, with
// false, when the user's session ends.
struct WaitClock {
    std::function<std::chrono::milliseconds()> elapsed;
    std::function<bool(std::chrono::milliseconds)> pause;
};
// The system's: a steady clock, and platform::SleepUnlessSessionEnds.
WaitClock SystemWaitClock();

// How often a waiting run looks again whether Outlook has let go.
inline constexpr std::chrono::minutes kOutlookCheckInterval{1};

// Closes Outlook before a backup, the window's and the scheduled one alike (outlook::CloseOutlook,
// ending it only when `mayEnd` says so), and logs how that went; nothing when no Outlook ran.
outlook::OutlookClosing CloseOutlookForBackup(const std::string& logFile,
                                              const outlook::MayEndOutlook& mayEnd = {});

// The chosen files of `profile` that Outlook holds open for writing (the data files and the
// personal address book): none when Outlook does not run, since a file another program holds is no
// reason to wait for Outlook.
std::vector<std::string> FilesHeldByOutlook(const AppState& state, const std::string& profile,
                                            const backup_format::Choices& chosen);

struct OutlookReadiness {
    bool sessionEnded =
        false;  // the user's session ended while waiting: the run ends, writes nothing
    bool askedToQuit = false;  // this run asked Outlook to quit: it starts it again afterwards
};

// Before a scheduled backup takes anything: when Outlook holds chosen files open, asks it to quit
// when `closeOutlook` (never ending it), and else, or when it does not close, waits for it to
// close, looking again every kOutlookCheckInterval, at most the minutes of the setting
// `waitforoutlookminutes`. The log says that it waits and why, and how the wait ended. At the limit
// the backup goes on with what it can read.
OutlookReadiness WaitForOutlookToLetGo(const AppState& state, const std::string& profile,
                                       const backup_format::Choices& chosen, bool closeOutlook,
                                       const WaitClock& clock);

}  // namespace kestrine::schedule
