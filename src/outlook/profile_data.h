#pragma once
// Where Outlook keeps its settings in the registry. A profile is a key below the profiles root;
// each of its subkeys is a MAPI service or provider section, whose values are MAPI properties named
// by eight hexadecimal digits (property type, then property identifier).
#include <array>
#include <string>
#include <string_view>

namespace kestrine::outlook {

inline constexpr const char* kOfficeKey = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office";
// The profiles root of Outlook before 2013.
inline constexpr const char* kMessagingProfilesRoot =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
    "Subsystem\\Profiles";
// The folder where Windows registered OUTLOOK.EXE (value "Path").
inline constexpr const char* kOutlookAppPathsKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE";
// Where Office records an installed Outlook without it being started: Click-to-Run's configuration
// (the folder under which "root\Office16\OUTLOOK.EXE" lies, and the version it reports), an
// installer-made Office's "<major>.0\Outlook\InstallRoot" (value "Path", the program's folder),
// and the automation object's current version ("Outlook.Application.16").
inline constexpr const char* kOfficeMachineKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office";
inline constexpr const char* kClickToRunConfigurationKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration";
inline constexpr const char* kOutlookCurrentVersionKey =
    "HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer";

// The profile's subkey of mail accounts; each account is a subkey "00000000", "00000001", ...
inline constexpr const char* kAccountsSubkey = "9375CFF0413111d3B88A00104B2A6676";
// The profile's store section.
inline constexpr const char* kStoreSection = "0a0d020000000000c000000000000046";

// Values of a section that names a data file: the path inside a binary value (8- or 16-bit
// characters), and the path as 8-bit and as 16-bit text.
inline constexpr const char* kDataFilePathValue = "01020fff";
inline constexpr const char* kDataFileAnsiPathValue = "001e6700";
inline constexpr const char* kDataFileWidePathValue = "001f6700";
// The section value (single-byte string) that holds the personal address book's path.
inline constexpr const char* kAddressBookPathValue = "001e6600";
// Identifiers of the store section and of each account that tie the profile to the data files it
// was made with; a restore to new places deletes them so that Outlook finds its stores anew.
inline constexpr std::array<const char*, 2> kStoreIdentifierValues = {"1102039b", "001e023d"};
inline constexpr std::array<const char*, 2> kDeliveryValues = {"Delivery Store EntryID",
                                                               "Delivery Folder EntryID"};
// The accounts whose delivery identifiers a restore deletes: 00000000 to 0000000f.
inline constexpr unsigned kClearedAccounts = 16;

// ProfilesRoot + "\" + profile.
std::string ProfileKey(std::string_view profilesRoot, std::string_view profile);
// The profile's accounts subkey.
std::string AccountsKey(std::string_view profilesRoot, std::string_view profile);
// The subkey of account `index` below the accounts subkey (eight lower-case hex digits).
std::string AccountKey(std::string_view profilesRoot, std::string_view profile, unsigned index);
// Outlook's option settings of the installed version.
std::string OptionsKey(std::string_view outlookVersion);

}  // namespace kestrine::outlook
