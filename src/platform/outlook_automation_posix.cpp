// The POSIX twin of platform/outlook_automation.h: no automation object can be had unless
// platform/posix_hooks.h answers for one.
#include "platform/outlook_automation.h"
#include "platform/posix_hooks.h"

namespace kestrine::platform {

OutlookVersionProbe ProbeOutlookVersion(const std::string& progId, uint32_t) {
    const auto& probe = Hooks().probeOutlook;
    return probe ? probe(progId) : OutlookVersionProbe{};
}

OutlookQuitAnswer AskRunningOutlookToQuit(const std::string&, uint32_t) {
    const auto& ask = Hooks().askOutlookToQuit;
    return ask ? ask() : OutlookQuitAnswer::NoObject;
}

}  // namespace kestrine::platform
