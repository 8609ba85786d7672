#include "outlook/locations.h"

#include <cstdio>

#include "base/text.h"
#include "outlook/detection.h"
#include "registry/registry.h"

namespace kestrine::outlook {

const std::array<const char*, kItemCount> kItemCaptions = {
    "Personal Folders (Contacts, Tasks, Calendar, Notes and mail folders)",
    "Accounts Settings",
    "Signatures",
    "Stationeries",
    "Personal Address Book",
    "Options Settings",
    "Templates",
    "Preferences (Customizable settings)",
    "Contacts Folder",
};

const std::array<const char*, kItemCount> kBackupItemTooltips = {
    "Contacts, Tasks, Calendar, Notes and mail folders",
    "All Accounts Settings.",
    "User defined signatures.",
    "Outlook stationery.",
    "Outlook Personal Address Book.",
    "General settings and interface options.",
    "User templates.",
    "View and Toolbar settings, Send and Receive group settings, control infomation and other "
    "data.",
    "View and Toolbar settings, Send and Receive group settings, control infomation and other "
    "data.",
};

const std::array<const char*, kItemCount> kRestoreItemTooltips = {
    "Contacts, Tasks, Calendar, Notes and mail folders.",
    kBackupItemTooltips[1],
    kBackupItemTooltips[2],
    kBackupItemTooltips[3],
    kBackupItemTooltips[4],
    kBackupItemTooltips[5],
    kBackupItemTooltips[6],
    kBackupItemTooltips[7],
    kBackupItemTooltips[8],
};

std::string ProfileKey(std::string_view profilesRoot, std::string_view profile) {
    return std::string(profilesRoot) + "\\" + std::string(profile);
}

bool StationeryIsShared(std::string_view outlookVersion) {
    return ReadAsNumber(outlookVersion) >= 12;
}

bool SupportsPersonalAddressBook(std::string_view outlookVersion) {
    return ReadAsNumber(outlookVersion) < 12;
}

std::string StationeryFromSharedFiles(std::string_view sharedFilesDir) {
    std::string out = base::TrimSpaces(base::CutAtNul(sharedFilesDir));
    // The registered folder ends with a backslash; one written without it still names the
    // folder's own Stationery subfolder. The reader's failure text stays as it is and names no
    // folder.
    if (!out.empty() && out != registry::kError && out.back() != '\\') out += '\\';
    return out + "Stationery";
}

ItemLocations LocationsFor(const LocationInputs& in, std::string_view profile) {
    const std::string roaming = in.userProfileDir + RoamingSegment(in.osVersion);
    ItemLocations loc;
    loc.AccountsKey = ProfileKey(in.profilesRoot, profile) + "\\" + kAccountsSubkey;
    loc.SignaturesDir = roaming + "\\Microsoft\\Signatures";
    loc.StationeryDir = StationeryIsShared(in.outlookVersion)
                            ? StationeryFromSharedFiles(in.sharedFilesDir)
                            : in.userProfileDir + "\\Application Data\\Microsoft\\Stationery";
    loc.RulesDir = roaming + "\\Microsoft\\Outlook";
    loc.OptionsKey = std::string(kOfficeKey) + "\\" + in.outlookVersion + "\\Outlook\\Options";
    loc.TemplatesDir = roaming + "\\Microsoft\\Templates";
    loc.PreferencesDir = loc.RulesDir;
    loc.ContactsDir = in.userProfileDir + "\\Contacts";
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
        if (stored[i] == '\\' && i + 1 < stored.size() && stored[i + 1] == '\\') ++i;
    }
    return out;
}

std::string FormatDate(const Date& date) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", date.month, date.day, date.year);
    return buf;
}

std::string ProposalFileName(std::string_view profile, const Date& date) {
    std::string name = "kestrine-";
    for (char c : profile) {
        bool forbidden = static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == '/' ||
                         c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
                         c == '|';
        name += forbidden ? '_' : c;
    }
    return name + "-" + FormatDate(date) + ".ksx";
}

std::string ChooseProposalFolder(const std::string& backupFolderSetting,
                                 const std::string& appFolder,
                                 const std::function<bool(const std::string&)>& folderExists) {
    if (backupFolderSetting.empty() || backupFolderSetting == "0") return appFolder;
    if (!folderExists(backupFolderSetting)) return appFolder;
    std::string folder = backupFolderSetting;
    if (folder.back() == '\\') folder.pop_back();
    return folder;
}

}  // namespace kestrine::outlook
