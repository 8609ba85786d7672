#include "outlook/process_control.h"
#include "platform/processes.h"

namespace kestrine::outlook {

bool StartOutlook(const std::string& appPathsKey) {
    const std::string exe = RegisteredOutlookExe(appPathsKey);
    // Quoted: the folder usually lies under "Program Files", and an unquoted path with spaces
    // would let Windows try "C:\Program.exe" first.
    return !exe.empty() &&
           platform::StartProgram("\"" + exe + "\"", platform::ShowMode::MinimizedFocus);
}

}  // namespace kestrine::outlook
