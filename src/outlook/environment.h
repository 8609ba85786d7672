#pragma once
// Start-up detection of Windows, Outlook and the profiles, and the item locations of a profile.
// Every step that fails leaves its fields empty and the next one runs; nothing is shown.
#include <string>

#include "app/app_state.h"
#include "outlook/locations.h"

namespace kestrine::outlook {

// Windows' version as major.minor ("6.1", "10.0") from WMI; empty when WMI cannot answer.
std::string GetOSVersion();

// Sets OutlookName and OutlookVersion from the "Outlook.Application" automation object: a running
// Outlook is read and left running; one that detection starts is asked to quit. No object gives
// OutlookName "No Outlook"; an unknown release leaves both fields as they were.
void DetectOutlookVersion(AppState& state);

// ProfilesRoot for the detected OutlookVersion.
void ChooseProfilesRoot(AppState& state);

// ProfileNames := the usable (non-blank) subkey names of ProfilesRoot, in registry order;
// NoProfiles when there is none.
void EnumProfiles(AppState& state);

// GetOSVersion, DetectOutlookVersion, the choice of ProfilesRoot and EnumProfiles, in that order.
void DetectEnvironment(AppState& state);

// The item locations of `profile` from the start-up facts in `state`, without touching anything
// else (the shared stationery folder is read from the registry for Outlook 2007 and later).
ItemLocations LocationsOf(const AppState& state, const std::string& profile);
// Stores the item locations of `profile` in `state` (AccountsKey ... ContactsDir).
void ComputeLocations(AppState& state, const std::string& profile);

}  // namespace kestrine::outlook
