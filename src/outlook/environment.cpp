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

void DetectOutlookVersion(Environment& env) {
    platform::OutlookVersionProbe probe = platform::ProbeOutlookVersion();
    if (!probe.objectObtained) {
        env.OutlookName = kNoOutlook;
        return;
    }
    if (!probe.versionRead) return;
    if (auto release = LookupOutlookRelease(probe.version)) {
        env.OutlookName = release->name;
        env.OutlookVersion = release->version;
    }
}

void ChooseProfilesRoot(Environment& env) {
    env.ProfilesRoot = ProfilesRootFor(env.OutlookVersion);
}

void EnumProfiles(Environment& env) {
    env.ProfileNames = UsableProfileNames(registry::EnumSubKeys(env.ProfilesRoot).names);
    env.NoProfiles = env.ProfileNames.empty();
}

void DetectEnvironment(Environment& env) {
    env.OSVersion = GetOSVersion();
    DetectOutlookVersion(env);
    ChooseProfilesRoot(env);
    EnumProfiles(env);
}

}  // namespace kestrine::outlook
