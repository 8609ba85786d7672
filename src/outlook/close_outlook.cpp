#include "outlook/process_control.h"
#include "platform/outlook_automation.h"
#include "platform/processes.h"

namespace kestrine::outlook {

namespace {
constexpr const char* kOutlookExe = "outlook.exe";
}

bool OutlookRuns() {
    return !platform::RunningInSession(kOutlookExe).empty();
}

OutlookClosing AskOutlookToQuit(uint32_t quitWaitMs) {
    OutlookClosing closing;
    closing.running = static_cast<int>(platform::RunningInSession(kOutlookExe).size());
    if (closing.running == 0) return closing;
    // The user's own Outlook, reached where it registered itself; none is started to ask.
    const platform::OutlookQuitAnswer answer =
        platform::AskRunningOutlookToQuit("Outlook.Application", quitWaitMs);
    closing.itemsOpen = answer == platform::OutlookQuitAnswer::ItemsOpen;
    closing.asked = answer == platform::OutlookQuitAnswer::QuitCalled;
    // Quit returns before Outlook has written and closed its data files.
    closing.gone = (closing.asked ? platform::WaitForProcessesToEnd(kOutlookExe, quitWaitMs)
                                  : closing.running) == 0;
    return closing;
}

int EndOutlook(uint32_t exitWaitMs) {
    return platform::KillProcessByName(kOutlookExe, exitWaitMs);
}

OutlookClosing CloseOutlook(const MayEndOutlook& mayEnd, uint32_t quitWaitMs, uint32_t exitWaitMs) {
    OutlookClosing closing = AskOutlookToQuit(quitWaitMs);
    if (closing.gone || !mayEnd || !mayEnd(closing)) return closing;
    closing.ended = EndOutlook(exitWaitMs);
    closing.gone = !OutlookRuns();
    return closing;
}

}  // namespace kestrine::outlook
