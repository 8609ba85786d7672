#pragma once
// The native tests' answer of a running Outlook's automation object when it is asked to quit:
// none (no object) unless a test says so; the test's answer may end the stand-in Outlook
// (processes_stand_in.h) and let go of its files.
#include <functional>

#include "platform/outlook_automation.h"

namespace kestrine::platform {

using OutlookQuitStandIn = std::function<OutlookQuitAnswer()>;
void SetOutlookQuitAnswer(OutlookQuitStandIn answer);

}  // namespace kestrine::platform
