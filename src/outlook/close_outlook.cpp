#include "outlook/process_control.h"
#include "platform/processes.h"

namespace kestrine::outlook {

void CloseOutlook() {
    platform::KillProcessByName("outlook.exe");
}

}  // namespace kestrine::outlook
