#include "outlook/environment.h"

#include "outlook/detection.h"
#include "platform/outlook_automation.h"
#include "platform/wmi.h"
#include "registry/registry.h"

namespace kestrine::outlook {

std::string GetOSVersion() {
    auto version = platform::QueryOperatingSystemVersion();
    return version ? CutOSVersion(*version) : std::string();
}

void DetectOutlookVersion(AppState& state) {
    platform::OutlookVersionProbe probe = platform::ProbeOutlookVersion();
    if (!probe.objectObtained) {
        state.OutlookName = kNoOutlook;
        return;
    }
    if (!probe.versionRead) return;
    if (auto release = LookupOutlookRelease(probe.version)) {
        state.OutlookName = release->name;
        state.OutlookVersion = release->version;
    }
}

void ChooseProfilesRoot(AppState& state) {
    state.ProfilesRoot = ProfilesRootFor(state.OutlookVersion);
}

void EnumProfiles(AppState& state) {
    state.ProfileNames = UsableProfileNames(registry::EnumSubKeys(state.ProfilesRoot).names);
    state.NoProfiles = state.ProfileNames.empty();
}

void DetectEnvironment(AppState& state) {
    state.OSVersion = GetOSVersion();
    DetectOutlookVersion(state);
    ChooseProfilesRoot(state);
    EnumProfiles(state);
}

ItemLocations LocationsOf(const AppState& state, const std::string& profile) {
    LocationInputs in;
    in.userProfileDir = state.UserProfileDir;
    in.osVersion = state.OSVersion;
    in.outlookVersion = state.OutlookVersion;
    in.profilesRoot = state.ProfilesRoot;
    if (StationeryIsShared(state.OutlookVersion)) {
        in.sharedFilesDir = registry::GetStringValue(kSharedToolsKey, kSharedFilesDirValue);
    }
    return LocationsFor(in, profile);
}

void ComputeLocations(AppState& state, const std::string& profile) {
    // AppState carries the locations as its ItemLocations part; only that part is replaced.
    static_cast<ItemLocations&>(state) = LocationsOf(state, profile);
}

}  // namespace kestrine::outlook
