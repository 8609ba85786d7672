#pragma once
// The Outlook automation object, asked only for its version.
#include <string>

namespace kestrine::platform {

struct OutlookVersionProbe {
    bool objectObtained = false;  // an automation object of the ProgID could be had
    bool attached = false;        // it was an instance that was already running
    bool versionRead = false;
    std::string version;         // `Version`, e.g. "16.0.0.4266"
    bool quitRequested = false;  // `Quit` was called on the instance the probe started
};

// Reads `Version` of the automation object `progId`. An instance that is already running (found
// in the running object table) is only read, never asked to quit; otherwise the probe creates an
// instance, reads it and asks exactly that instance to quit.
OutlookVersionProbe ProbeOutlookVersion(const std::string& progId = "Outlook.Application");

}  // namespace kestrine::platform
