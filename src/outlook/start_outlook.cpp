#include "base/path.h"
#include "outlook/process_control.h"
#include "platform/processes.h"
#include "registry/registry.h"

namespace kestrine::outlook {

std::string OutlookCommandLine(const std::string& registeredFolder) {
    // Quoted: the folder usually lies under "Program Files", and an unquoted path with spaces
    // would let Windows try "C:\Program.exe" first.
    std::string line = "\"";
    line.append(base::JoinPath(registeredFolder, "OUTLOOK.EXE")).append("\"");
    return line;
}

bool StartOutlook(const std::string& appPathsKey) {
    std::string folder = registry::GetStringValue(appPathsKey, "Path");
    // Without a registered folder there is nothing to start; "Error\OUTLOOK.EXE" would be looked
    // up relative to the current folder.
    if (folder == registry::kError || folder.empty()) return false;
    return platform::StartProgram(OutlookCommandLine(folder), platform::ShowMode::MinimizedFocus);
}

}  // namespace kestrine::outlook
