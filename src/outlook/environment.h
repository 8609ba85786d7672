#pragma once
// What start-up learns of Windows and Outlook. AppState carries it as `environment`; every item
// location follows from it and a profile name. Detection fills the fields in start-up's order; a
// step that fails leaves its fields empty and the next one runs; nothing is shown.
#include <string>
#include <vector>

#include "outlook/profile_data.h"

namespace kestrine::outlook {

struct Environment {
    std::string UserProfileDir;  // the expanded %UserProfile%
    // The user's roaming and local application data folders as the shell knows them (redirected
    // ones too); empty when the shell could not say, and the layout rule finds them instead.
    std::string RoamingAppDataDir;
    std::string LocalAppDataDir;
    std::string OSVersion;       // Windows as major.minor ("6.1"); empty when WMI cannot answer
    std::string OutlookName;     // "Outlook 2016", "No Outlook"; empty for an unknown release
    std::string OutlookVersion;  // "16.0"; empty for no or an unknown Outlook
    std::string ProfilesRoot;    // the key whose subkeys are the profiles
    std::vector<std::string> ProfileNames;
    bool NoProfiles = false;
};

// Windows' version as major.minor ("6.1", "10.0") from WMI; empty when WMI cannot answer.
std::string GetOSVersion();

// Sets OutlookName and OutlookVersion. An Outlook running in the user's session is read through its
// automation object when it has registered one, else from its program file's version, and never
// asked to quit; otherwise the version comes from what Windows and Office record (the OUTLOOK.EXE
// registered under `appPathsKey`, Office's own keys). Outlook is never started to learn it. No
// Outlook gives OutlookName "No Outlook"; an unknown release leaves both fields as they were.
void DetectOutlookVersion(Environment& env, const std::string& appPathsKey = kOutlookAppPathsKey);

// ProfilesRoot for the detected OutlookVersion.
void ChooseProfilesRoot(Environment& env);

// ProfileNames := the usable (non-blank) subkey names of ProfilesRoot, in registry order;
// NoProfiles when there is none.
void EnumProfiles(Environment& env);

// GetOSVersion, DetectOutlookVersion, the choice of ProfilesRoot and EnumProfiles, in that order.
void DetectEnvironment(Environment& env);

}  // namespace kestrine::outlook
