// The POSIX twin of platform/outlook_automation.h: no automation object can be had unless a test
// answers for one (versions_stand_in.h).
#include <mutex>

#include "platform/outlook_automation.h"
#include "platform/versions_stand_in.h"

namespace kestrine::platform {

namespace {

std::mutex g_lock;
OutlookProbeAnswer g_answer;

}  // namespace

void SetOutlookProbeAnswer(OutlookProbeAnswer answer) {
    const std::lock_guard<std::mutex> hold(g_lock);
    g_answer = std::move(answer);
}

OutlookVersionProbe ProbeOutlookVersion(const std::string& progId, bool mayStart, uint32_t) {
    OutlookProbeAnswer answer;
    {
        const std::lock_guard<std::mutex> hold(g_lock);
        answer = g_answer;
    }
    return answer ? answer(progId, mayStart) : OutlookVersionProbe{};
}

}  // namespace kestrine::platform
