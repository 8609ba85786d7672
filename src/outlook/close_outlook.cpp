#include "outlook/process_control.h"
#include "platform/processes.h"

namespace kestrine::outlook {

bool CloseOutlook(uint32_t waitMs) {
    platform::KillProcessByName("outlook.exe", waitMs);
    return platform::RunningInSession("outlook.exe").empty();
}

}  // namespace kestrine::outlook
