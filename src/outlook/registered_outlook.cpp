#include "base/path.h"
#include "outlook/process_control.h"
#include "registry/registry.h"

namespace kestrine::outlook {

std::string RegisteredOutlookExe(const std::string& appPathsKey) {
    const auto folder = registry::GetMachineStringValue(appPathsKey, "Path");
    // Without a registered folder there is nothing to start: a bare "OUTLOOK.EXE" would be looked
    // up relative to the current folder.
    if (!folder || folder->empty()) return {};
    return base::JoinPath(*folder, "OUTLOOK.EXE");
}

}  // namespace kestrine::outlook
