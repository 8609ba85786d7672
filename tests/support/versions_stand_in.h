#pragma once
// The native tests' answers about program versions: what a program file's version resource says,
// and what Outlook's automation object answers a probe. Nothing unless a test says so; the test
// also sees each probe.
#include <functional>
#include <string>

#include "platform/outlook_automation.h"

namespace kestrine::platform {

// FileVersion(path) answers `version` from now on (the path compared without regard to case).
void SetFileVersion(const std::string& path, const std::string& version);
// Forgets every version set.
void ForgetFileVersions();

// Answers ProbeOutlookVersion from now on; none (the default) finds no automation object.
using OutlookProbeAnswer = std::function<OutlookVersionProbe(const std::string& progId)>;
void SetOutlookProbeAnswer(OutlookProbeAnswer answer);

}  // namespace kestrine::platform
