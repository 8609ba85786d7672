#include "outlook/environment.h"

#include "outlook/detection.h"
#include "outlook/process_control.h"
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
        const auto probe = platform::ProbeOutlookVersion("Outlook.Application", false);
        version = probe.versionRead ? probe.version : platform::FileVersion(running.front());
    } else if (const std::string exe = RegisteredOutlookExe(appPathsKey);
               !exe.empty() && !(version = platform::FileVersion(exe)).empty()) {
        // The installed program tells its version without being started.
    } else {
        const auto probe = platform::ProbeOutlookVersion();
        if (!probe.objectObtained && !probe.timedOut) {
            env.OutlookName = kNoOutlook;
            return;
        }
        version = probe.version;
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
