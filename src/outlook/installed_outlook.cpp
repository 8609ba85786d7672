#include "outlook/installed_outlook.h"

#include <array>
#include <vector>

#include "base/path.h"
#include "outlook/process_control.h"
#include "platform/system.h"
#include "registry/registry.h"

namespace kestrine::outlook {
namespace {

// Office versions that have had an Outlook, newest first.
constexpr std::array<const char*, 8> kOfficeVersions = {"16.0", "15.0", "14.0", "12.0",
                                                        "11.0", "10.0", "9.0",  "8.0"};

std::string NonEmpty(const std::optional<std::string>& text) {
    return text ? *text : std::string();
}

std::string InstallRootKey(const char* officeVersion) {
    return std::string(kOfficeMachineKey) + "\\" + officeVersion + "\\Outlook\\InstallRoot";
}

std::vector<std::string> RecordedProgramFiles(const std::string& appPathsKey) {
    std::vector<std::string> files;
    auto add = [&](const std::string& file) {
        if (!file.empty()) files.push_back(file);
    };
    add(RegisteredOutlookExe(appPathsKey));
    // App Paths' default value is the program file itself.
    add(NonEmpty(registry::GetMachineStringValue(appPathsKey, "")));
    if (const std::string root = NonEmpty(
            registry::GetMachineStringValue(kClickToRunConfigurationKey, "InstallationPath"));
        !root.empty())
        add(base::JoinPath(root, "root\\Office16\\OUTLOOK.EXE"));
    for (const char* version : kOfficeVersions)
        if (const std::string folder =
                NonEmpty(registry::GetMachineStringValue(InstallRootKey(version), "Path"));
            !folder.empty())
            add(base::JoinPath(folder, "OUTLOOK.EXE"));
    return files;
}

}  // namespace

std::string InstalledOutlookVersion(const std::string& appPathsKey) {
    for (const std::string& file : RecordedProgramFiles(appPathsKey))
        if (std::string version = platform::FileVersion(file); !version.empty()) return version;
    if (std::string reported = NonEmpty(
            registry::GetMachineStringValue(kClickToRunConfigurationKey, "VersionToReport"));
        !reported.empty())
        return reported;
    for (const char* version : kOfficeVersions)
        if (!NonEmpty(registry::GetMachineStringValue(InstallRootKey(version), "Path")).empty())
            return version;
    // "Outlook.Application.16": the major version after the last full stop.
    const std::string current =
        NonEmpty(registry::GetMachineStringValue(kOutlookCurrentVersionKey, ""));
    const std::string prefix = "Outlook.Application.";
    if (current.size() > prefix.size() && current.compare(0, prefix.size(), prefix) == 0)
        return current.substr(prefix.size()) + ".0";
    return {};
}

}  // namespace kestrine::outlook
