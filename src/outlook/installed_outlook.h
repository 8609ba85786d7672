#pragma once
// The version of the installed Outlook, learnt without starting it.
#include <string>

#include "outlook/profile_data.h"

namespace kestrine::outlook {

// The version text of the installed Outlook ("16.0.17328.20184", or only "16.0" where just the
// major version is recorded), empty when none is found. Reads the program file of every place
// where Windows or Office records it (App Paths, Click-to-Run, an installer-made Office's install
// root), then the version Click-to-Run reports, then which Office versions have an install root,
// then the automation object's registered current version. Starts nothing.
std::string InstalledOutlookVersion(const std::string& appPathsKey = kOutlookAppPathsKey);

}  // namespace kestrine::outlook
