#include "outlook/process_control.h"
#include "platform/processes.h"

namespace kestrine::outlook {

namespace {
constexpr const char* kOutlookExe = "outlook.exe";
}

OutlookClosing CloseOutlook(uint32_t quitWaitMs, uint32_t exitWaitMs) {
    OutlookClosing closing;
    closing.running = static_cast<int>(platform::RunningInSession(kOutlookExe).size());
    if (closing.running == 0) return closing;
    if (platform::AskProcessesToClose(kOutlookExe, quitWaitMs) > 0)
        closing.ended = platform::KillProcessByName(kOutlookExe, exitWaitMs);
    closing.gone = platform::RunningInSession(kOutlookExe).empty();
    return closing;
}

}  // namespace kestrine::outlook
