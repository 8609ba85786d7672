// The POSIX twin of platform/outlook_automation.h: no automation object can be had.
#include "platform/outlook_automation.h"

namespace kestrine::platform {

OutlookVersionProbe ProbeOutlookVersion(const std::string&, bool, uint32_t) {
    return {};
}

}  // namespace kestrine::platform
