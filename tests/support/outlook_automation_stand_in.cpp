#include "outlook_automation_stand_in.h"

#include "platform/posix_hooks.h"
#include "stand_in_answer.h"
#include "versions_stand_in.h"

namespace kestrine::platform {

namespace {

StandInAnswer<OutlookProbeAnswer> g_probe;
StandInAnswer<OutlookQuitStandIn> g_quit;

[[maybe_unused]] const bool kInstalled = [] {
    PosixHooks& hooks = Hooks();
    hooks.probeOutlook = [](const std::string& progId) {
        const OutlookProbeAnswer answer = g_probe.Get();
        return answer ? answer(progId) : OutlookVersionProbe{};
    };
    hooks.askOutlookToQuit = [] {
        const OutlookQuitStandIn answer = g_quit.Get();
        return answer ? answer() : OutlookQuitAnswer::NoObject;
    };
    return true;
}();

}  // namespace

void SetOutlookProbeAnswer(OutlookProbeAnswer answer) {
    g_probe.Set(std::move(answer));
}

void SetOutlookQuitAnswer(OutlookQuitStandIn answer) {
    g_quit.Set(std::move(answer));
}

}  // namespace kestrine::platform
