// The POSIX twin of platform/wmi.h: there is no WMI to ask.
#include "platform/wmi.h"

namespace kestrine::platform {

std::optional<std::string> QueryOperatingSystemVersion() {
    return std::nullopt;
}

}  // namespace kestrine::platform
