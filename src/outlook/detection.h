#pragma once
// Which Windows and which Outlook: the pure rules that turn what the system reports into the
// facts of the Environment (OSVersion, OutlookName, OutlookVersion, ProfilesRoot, ProfileNames).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine::outlook {

inline constexpr const char* kNoOutlook = "No Outlook";
// What start-up says when no usable profile was found (the window shows it, the unattended run logs
// it).
inline constexpr const char* kNoProfileText =
    "Your Windows System have not install MS Outlook or MS Outlook Error!";

// A version text read as a number the way every comparison of the program reads it: leading
// digits with at most one decimal part ("15.0" -> 15, "6.1.7601" -> 6.1); empty or non-numeric
// text reads as 0.
double ReadAsNumber(std::string_view text);

// The Windows version reported by WMI ("6.1.7601") cut to major.minor: everything up to and
// including the character after the first full stop ("6.1", "10.0"). A text without a full stop
// is kept whole.
std::string CutOSVersion(std::string_view wmiVersion);

// One recognised Outlook release.
struct OutlookRelease {
    std::string name;     // OutlookName, e.g. "Outlook 2013"
    std::string version;  // OutlookVersion, e.g. "15.0"
};
// Looks the major version of an automation version text ("15.0.0.4569") up in the table of
// releases; nothing for an unknown major version (13, 17, text without digits, ...).
std::optional<OutlookRelease> LookupOutlookRelease(std::string_view versionText);

// The registry key whose subkeys are the profiles, chosen by OutlookVersion read as a number.
std::string ProfilesRootFor(std::string_view outlookVersion);

// True when the name is empty once every NUL character is removed and surrounding spaces trimmed.
bool IsBlankName(std::string_view name);
// The usable profile names among the subkeys of the profiles key, order kept.
std::vector<std::string> UsableProfileNames(const std::vector<std::string>& subkeyNames);

// Windows Vista and later (OSVersion 6 or more) keep per-user data under "\AppData", earlier ones
// (and an unknown version) under "\Application Data" and "\Local Settings".
bool UsesAppDataLayout(std::string_view osVersion);

}  // namespace kestrine::outlook
