// The POSIX twin of platform/outlook_automation.h: no automation object can be had unless a test
// answers for one (versions_stand_in.h).
#include "platform/outlook_automation.h"
#include "platform/stand_in_answer.h"
#include "platform/versions_stand_in.h"

namespace kestrine::platform {

namespace {

StandInAnswer<OutlookProbeAnswer> g_answer;

}  // namespace

void SetOutlookProbeAnswer(OutlookProbeAnswer answer) {
    g_answer.Set(std::move(answer));
}

OutlookVersionProbe ProbeOutlookVersion(const std::string& progId, bool mayStart, uint32_t) {
    const OutlookProbeAnswer answer = g_answer.Get();
    return answer ? answer(progId, mayStart) : OutlookVersionProbe{};
}

}  // namespace kestrine::platform
