#include "outlook/locations.h"

#include "base/path.h"
#include "base/text.h"
#include "outlook/detection.h"
#include "outlook/profile_data.h"
#include "outlook/stores.h"
#include "registry/registry.h"

namespace kestrine::outlook {

UserFolders FoldersFor(std::string_view userProfileDir, std::string_view osVersion,
                       std::string_view roamingAppData, std::string_view localAppData) {
    const std::string user(userProfileDir);
    const bool appData = UsesAppDataLayout(osVersion);
    const std::string roaming =
        !roamingAppData.empty() ? std::string(roamingAppData)
                                : user + (appData ? "\\AppData\\Roaming" : "\\Application Data");
    const std::string local =
        !localAppData.empty()
            ? std::string(localAppData)
            : user + (appData ? "\\AppData\\Local" : "\\Local Settings\\Application Data");
    UserFolders f;
    f.roamingOutlook = roaming + "\\Microsoft\\Outlook";
    f.localOutlook = local + "\\Microsoft\\Outlook";
    f.signatures = roaming + "\\Microsoft\\Signatures";
    f.templates = roaming + "\\Microsoft\\Templates";
    f.stationery = roaming + "\\Microsoft\\Stationery";
    f.contacts = user + "\\Contacts";
    f.applicationData = user + "\\Application Data\\Microsoft";
    return f;
}

namespace {

// The folder Office records under `value` for the user: a name below the roaming Microsoft folder,
// or a full path; `english` when nothing usable is recorded.
std::string RecordedFolder(const std::string& key, const char* value, const std::string& english) {
    const auto recorded = registry::GetStringValue(key, value);
    if (!recorded) return english;
    std::string name = base::TrimSpaces(base::CutAtNul(*recorded));
    name = base::WithoutTrailingSeparators(name);
    if (base::IsFullPath(name) && name.find('%') == std::string::npos) return name;
    // A plain folder name: no separator, no environment variable, not "." or "..".
    if (name.empty() || name.find_first_of("\\/:%*?\"<>|") != std::string::npos ||
        name.find_first_not_of('.') == std::string::npos)
        return english;
    return base::JoinPath(base::FolderPart(english), name);
}

}  // namespace

std::string OfficeGeneralKey(std::string_view outlookVersion) {
    return std::string(kOfficeKey) + "\\" + std::string(outlookVersion) + "\\Common\\General";
}

UserFolders FoldersOf(const Environment& env) {
    UserFolders f =
        FoldersFor(env.UserProfileDir, env.OSVersion, env.RoamingAppDataDir, env.LocalAppDataDir);
    // Office names these folders in its own language and records the names for the user.
    if (!env.OutlookVersion.empty()) {
        const std::string key = OfficeGeneralKey(env.OutlookVersion);
        f.signatures = RecordedFolder(key, kSignaturesFolderValue, f.signatures);
        f.stationery = RecordedFolder(key, kStationeryFolderValue, f.stationery);
        f.templates = RecordedFolder(key, kTemplatesFolderValue, f.templates);
    }
    return f;
}

bool SupportsPersonalAddressBook(std::string_view outlookVersion) {
    return ReadAsNumber(outlookVersion) < 12;
}

ItemLocations LocationsFor(const Environment& env, std::string_view profile) {
    const UserFolders folders = FoldersOf(env);
    ItemLocations loc;
    loc.AccountsKey = AccountsKey(env.ProfilesRoot, profile);
    loc.SignaturesDir = folders.signatures;
    loc.StationeryDir = ReadAsNumber(env.OutlookVersion) >= 12
                            ? folders.stationery
                            : folders.applicationData + "\\Stationery";
    loc.RulesDir = folders.roamingOutlook;
    loc.OptionsKey = OptionsKey(env.OutlookVersion);
    loc.TemplatesDir = folders.templates;
    loc.PreferencesDir = folders.roamingOutlook;
    loc.ContactsDir = folders.contacts;
    loc.DataFileFolders = UsualDataFileFolders(env);
    return loc;
}

std::string NormalizePabPath(std::string_view stored) {
    // A network path keeps its leading pair, whether it was stored with doubled separators
    // ("\\\\server\\share") or plain ("\\server\share").
    size_t lead = 0;
    while (lead < stored.size() && stored[lead] == '\\') ++lead;
    const size_t start = lead >= 2 ? lead : 0;
    std::string out = lead >= 2 ? "\\\\" : "";
    out.reserve(stored.size());
    for (size_t i = start; i < stored.size(); ++i) {
        out += stored[i];
        if (stored[i] == '\\' && stored.substr(i + 1).starts_with('\\')) ++i;
    }
    return out;
}

}  // namespace kestrine::outlook
