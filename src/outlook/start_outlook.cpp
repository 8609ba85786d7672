#include "base/path.h"
#include "outlook/process_control.h"
#include "platform/processes.h"
#include "registry/registry.h"

namespace kestrine::outlook {

std::string RegisteredOutlookExe(const std::string& appPathsKey) {
    const std::string folder = registry::GetMachineStringValue(appPathsKey, "Path");
    // Without a registered folder there is nothing to start; "Error\OUTLOOK.EXE" would be looked
    // up relative to the current folder.
    if (folder == registry::kError || folder.empty()) return {};
    return base::JoinPath(folder, "OUTLOOK.EXE");
}

bool StartOutlook(const std::string& appPathsKey) {
    const std::string exe = RegisteredOutlookExe(appPathsKey);
    // Quoted: the folder usually lies under "Program Files", and an unquoted path with spaces
    // would let Windows try "C:\Program.exe" first.
    return !exe.empty() &&
           platform::StartProgram("\"" + exe + "\"", platform::ShowMode::MinimizedFocus);
}

}  // namespace kestrine::outlook
