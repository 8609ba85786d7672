#include "outlook/environment.h"

#include "outlook/detection.h"
#include "outlook/installed_outlook.h"
#include "platform/outlook_automation.h"
#include "platform/processes.h"
#include "platform/system.h"
#include "platform/wmi.h"

namespace kestrine::outlook {

std::string GetOSVersion() {
    auto version = platform::QueryOperatingSystemVersion();
    return version ? CutOSVersion(*version) : std::string();
}

void DetectOutlookVersion(Environment& env, const std::string& appPathsKey) {
    std::string version;
    if (const auto running = platform::RunningInSession("outlook.exe"); !running.empty()) {
        // The user's Outlook is only read: attached to when it has registered itself, otherwise
        // known by its program file. Creating the automation object would reach this very
        // instance, and asking that to quit would close the user's Outlook.
        const auto probe = platform::ProbeOutlookVersion("Outlook.Application");
        version = probe.versionRead ? probe.version : platform::FileVersion(running.front());
    } else {
        // Never started to be asked: a started Outlook opens the very data files a backup is
        // about to read, and every scheduled run would start one.
        version = InstalledOutlookVersion(appPathsKey);
        if (version.empty()) {
            env.OutlookName = kNoOutlook;
            return;
        }
    }
    if (auto release = LookupOutlookRelease(version)) {
        env.OutlookName = release->name;
        env.OutlookVersion = release->version;
    }
}

void DetectEnvironment(Environment& env) {
    env.OSVersion = GetOSVersion();
    DetectOutlookVersion(env);
    ChooseProfilesRoot(env);
    EnumProfiles(env);
}

}  // namespace kestrine::outlook
