// The POSIX twin of platform/outlook_automation.h: no automation object can be had unless a test
// answers for one (versions_stand_in.h).
#include "platform/outlook_automation.h"
#include "platform/outlook_automation_stand_in.h"
#include "platform/stand_in_answer.h"
#include "platform/versions_stand_in.h"

namespace kestrine::platform {

namespace {

StandInAnswer<OutlookProbeAnswer> g_answer;
StandInAnswer<OutlookQuitStandIn> g_quit;

}  // namespace

void SetOutlookProbeAnswer(OutlookProbeAnswer answer) {
    g_answer.Set(std::move(answer));
}

OutlookVersionProbe ProbeOutlookVersion(const std::string& progId, uint32_t) {
    const OutlookProbeAnswer answer = g_answer.Get();
    return answer ? answer(progId) : OutlookVersionProbe{};
}

void SetOutlookQuitAnswer(OutlookQuitStandIn answer) {
    g_quit.Set(std::move(answer));
}

OutlookQuitAnswer AskRunningOutlookToQuit(const std::string&, uint32_t) {
    const OutlookQuitStandIn answer = g_quit.Get();
    return answer ? answer() : OutlookQuitAnswer::NoObject;
}

}  // namespace kestrine::platform
