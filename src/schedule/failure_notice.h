#pragma once
// A scheduled run that failed says so where the user sees it: a balloon in the notification area
// with what failed and why, as the log tells it, unless the settings turn it off.
#include "app/program_paths.h"

namespace kestrine::schedule {

// After a scheduled run whose exit status was `exitStatus` (UnattendedExit): whether a balloon was
// asked for.
bool NoticeFailedRun(const ProgramPaths& paths, int exitStatus);

}  // namespace kestrine::schedule
