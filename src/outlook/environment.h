#pragma once
// What start-up learns of Windows and Outlook. AppState carries it; every item location follows
// from it and a profile name. Detection fills the fields in start-up's order; a step that fails
// leaves its fields empty and the next one runs; nothing is shown.
#include <string>
#include <vector>

namespace kestrine::outlook {

struct Environment {
    std::string UserProfileDir;  // the expanded %UserProfile%
    std::string OSVersion;       // Windows as major.minor ("6.1"); empty when WMI cannot answer
    std::string OutlookName;     // "Outlook 2016", "No Outlook"; empty for an unknown release
    std::string OutlookVersion;  // "16.0"; empty for no or an unknown Outlook
    std::string ProfilesRoot;    // the key whose subkeys are the profiles
    std::vector<std::string> ProfileNames;
    bool NoProfiles = false;
};

// Windows' version as major.minor ("6.1", "10.0") from WMI; empty when WMI cannot answer.
std::string GetOSVersion();

// Sets OutlookName and OutlookVersion from the "Outlook.Application" automation object: a running
// Outlook is read and left running; one that detection starts is asked to quit. No object gives
// OutlookName "No Outlook"; an unknown release leaves both fields as they were.
void DetectOutlookVersion(Environment& env);

// ProfilesRoot for the detected OutlookVersion.
void ChooseProfilesRoot(Environment& env);

// ProfileNames := the usable (non-blank) subkey names of ProfilesRoot, in registry order;
// NoProfiles when there is none.
void EnumProfiles(Environment& env);

// GetOSVersion, DetectOutlookVersion, the choice of ProfilesRoot and EnumProfiles, in that order.
void DetectEnvironment(Environment& env);

}  // namespace kestrine::outlook
