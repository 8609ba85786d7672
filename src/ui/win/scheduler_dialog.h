#pragma once
// The scheduled-backup dialog: registers, replaces and removes the weekly task.
#include <windows.h>

#include "schedule/scheduler_setup.h"

namespace kestrine::ui::win {

// Shows the dialog modally over `owner`. True when a task was scheduled (the dialog then closed);
// false when it was cancelled.
bool ShowSchedulerDialog(HWND owner, const schedule::SchedulerSetup& setup);

}  // namespace kestrine::ui::win
