#include "outlook/detection.h"
#include "outlook/environment.h"
#include "registry/registry.h"

namespace kestrine::outlook {

void ChooseProfilesRoot(Environment& env) {
    env.ProfilesRoot = ProfilesRootFor(env.OutlookVersion);
}

void EnumProfiles(Environment& env) {
    env.ProfileNames = UsableProfileNames(registry::EnumSubKeys(env.ProfilesRoot).names);
    env.NoProfiles = env.ProfileNames.empty();
}

}  // namespace kestrine::outlook
