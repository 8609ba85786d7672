// The pure rules of the Outlook environment: version readings, release table, profile roots,
// item locations and the proposed archive name.
#include <gtest/gtest.h>

#include <set>

#include "base/path.h"
#include "outlook/detection.h"
#include "outlook/locations.h"

namespace kestrine::outlook {
namespace {

const std::string kMessaging =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
    "Subsystem\\Profiles";

TEST(VersionReading, ReadsLeadingNumberWithOneDecimalPart) {
    EXPECT_DOUBLE_EQ(ReadAsNumber("15.0"), 15.0);
    EXPECT_DOUBLE_EQ(ReadAsNumber("6.1.7601"), 6.1);
    EXPECT_DOUBLE_EQ(ReadAsNumber("10.0"), 10.0);
    EXPECT_DOUBLE_EQ(ReadAsNumber(" 12"), 12.0);
    EXPECT_DOUBLE_EQ(ReadAsNumber(""), 0.0);
    EXPECT_DOUBLE_EQ(ReadAsNumber("Error"), 0.0);
    EXPECT_DOUBLE_EQ(ReadAsNumber("5.1x"), 5.1);
}

TEST(VersionReading, OsVersionIsCutAfterTheFirstMinorDigit) {
    EXPECT_EQ(CutOSVersion("6.1.7601"), "6.1");
    EXPECT_EQ(CutOSVersion("10.0.19045"), "10.0");
    EXPECT_EQ(CutOSVersion("6.0.6002"), "6.0");
    EXPECT_EQ(CutOSVersion("5.1.2600"), "5.1");
    // Texts without a minor part are kept rather than cut to one character.
    EXPECT_EQ(CutOSVersion("10"), "10");
    EXPECT_EQ(CutOSVersion(""), "");
    EXPECT_EQ(CutOSVersion("6."), "6.");
}

TEST(VersionReading, AppDataLayoutFromVistaOn) {
    EXPECT_TRUE(UsesAppDataLayout("6.0"));
    EXPECT_TRUE(UsesAppDataLayout("10.0"));
    EXPECT_FALSE(UsesAppDataLayout("5.1"));
    EXPECT_FALSE(UsesAppDataLayout(""));  // no WMI: the older layout
    EXPECT_EQ(RoamingSegment("6.1"), "\\AppData\\Roaming");
    EXPECT_EQ(RoamingSegment("5.2"), "\\Application Data");
}

TEST(OutlookReleases, EveryRecognisedMajorVersion) {
    struct Case {
        const char* text;
        const char* name;
        const char* version;
    } cases[] = {
        {"8.0.0.1", "Outlook 97", "8.0"},          {"9.0.0.2711", "Outlook 2000", "9.0"},
        {"10.0.2627", "Outlook 2002(XP)", "10.0"}, {"11.0.8217", "Outlook 2003", "11.0"},
        {"12.0.6423", "Outlook 2007", "12.0"},     {"14.0.7266.5000", "Outlook 2010", "14.0"},
        {"15.0.0.4569", "Outlook 2013", "15.0"},   {"15.0.9999.1", "Outlook 2013", "15.0"},
        {"16.0.0.4266", "Outlook 2016", "16.0"},
    };
    for (const auto& c : cases) {
        auto release = LookupOutlookRelease(c.text);
        ASSERT_TRUE(release) << c.text;
        EXPECT_EQ(release->name, c.name);
        EXPECT_EQ(release->version, c.version);
    }
}

TEST(OutlookReleases, UnknownOrMalformedVersionsGiveNothing) {
    for (const char* text : {"13.0.1", "17.0.0.1", "7.0", "", ".16", "x16.0", "16a.0", "99999.0"}) {
        EXPECT_FALSE(LookupOutlookRelease(text)) << text;
    }
    // A bare major number is still that release.
    ASSERT_TRUE(LookupOutlookRelease("16"));
}

TEST(ProfilesRoot, Office15AndLaterUseTheirOwnKey) {
    EXPECT_EQ(ProfilesRootFor("15.0"),
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Profiles");
    EXPECT_EQ(ProfilesRootFor("16.0"),
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles");
    EXPECT_EQ(ProfilesRootFor("14.0"), kMessaging);
    EXPECT_EQ(ProfilesRootFor("8.0"), kMessaging);
    EXPECT_EQ(ProfilesRootFor(""), kMessaging);  // no Outlook, or an unknown release
}

TEST(ProfileNames, BlankNamesAreDroppedAndOrderKept) {
    EXPECT_TRUE(IsBlankName(""));
    EXPECT_TRUE(IsBlankName("   "));
    EXPECT_TRUE(IsBlankName(std::string("\0\0 \0", 4)));
    EXPECT_FALSE(IsBlankName(" a "));
    EXPECT_FALSE(IsBlankName(std::string("\0x", 2)));
    EXPECT_FALSE(IsBlankName("\t"));  // only spaces are trimmed
    std::vector<std::string> subkeys = {"Zeta", "  ", std::string("\0", 1), "Outlook", "My Mail"};
    EXPECT_EQ(UsableProfileNames(subkeys),
              (std::vector<std::string>{"Zeta", "Outlook", "My Mail"}));
    EXPECT_TRUE(UsableProfileNames({" ", ""}).empty());
}

LocationInputs Inputs(const char* os, const char* outlook) {
    LocationInputs in;
    in.userProfileDir = "C:\\Users\\Ann";
    in.osVersion = os;
    in.outlookVersion = outlook;
    in.profilesRoot = ProfilesRootFor(outlook);
    in.sharedFilesDir = "C:\\Program Files\\Common Files\\Microsoft Shared\\";
    return in;
}

TEST(Locations, Outlook2010OnWindows7) {
    auto loc = LocationsFor(Inputs("6.1", "14.0"), "My Mail");
    EXPECT_EQ(loc.AccountsKey, kMessaging + "\\My Mail\\9375CFF0413111d3B88A00104B2A6676");
    EXPECT_EQ(loc.SignaturesDir, "C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Signatures");
    EXPECT_EQ(loc.StationeryDir, "C:\\Program Files\\Common Files\\Microsoft Shared\\Stationery");
    EXPECT_EQ(loc.RulesDir, "C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Outlook");
    EXPECT_EQ(loc.PreferencesDir, loc.RulesDir);
    EXPECT_EQ(loc.TemplatesDir, "C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Templates");
    EXPECT_EQ(loc.OptionsKey,
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\14.0\\Outlook\\Options");
    EXPECT_EQ(loc.ContactsDir, "C:\\Users\\Ann\\Contacts");
}

TEST(Locations, Outlook2003OnWindowsXp) {
    auto loc = LocationsFor(Inputs("5.1", "11.0"), "Outlook");
    EXPECT_EQ(loc.SignaturesDir, "C:\\Users\\Ann\\Application Data\\Microsoft\\Signatures");
    EXPECT_EQ(loc.StationeryDir, "C:\\Users\\Ann\\Application Data\\Microsoft\\Stationery");
    EXPECT_EQ(loc.RulesDir, "C:\\Users\\Ann\\Application Data\\Microsoft\\Outlook");
    EXPECT_EQ(loc.TemplatesDir, "C:\\Users\\Ann\\Application Data\\Microsoft\\Templates");
}

TEST(Locations, OldOutlookKeepsStationeryUnderApplicationDataOnAnyWindows) {
    auto loc = LocationsFor(Inputs("10.0", "11.0"), "Outlook");
    EXPECT_EQ(loc.StationeryDir, "C:\\Users\\Ann\\Application Data\\Microsoft\\Stationery");
    EXPECT_EQ(loc.SignaturesDir, "C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Signatures");
}

TEST(Locations, Office2016KeysAndEmptyVersions) {
    auto loc = LocationsFor(Inputs("10.0", "16.0"), "Outlook");
    EXPECT_EQ(loc.AccountsKey,
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\Outlook\\"
              "9375CFF0413111d3B88A00104B2A6676");
    // No WMI and no Outlook: both read as 0.
    auto none = LocationsFor(Inputs("", ""), "P");
    EXPECT_EQ(none.SignaturesDir, "C:\\Users\\Ann\\Application Data\\Microsoft\\Signatures");
    EXPECT_EQ(none.StationeryDir, "C:\\Users\\Ann\\Application Data\\Microsoft\\Stationery");
    EXPECT_EQ(none.AccountsKey, kMessaging + "\\P\\9375CFF0413111d3B88A00104B2A6676");
}

TEST(Locations, SharedFilesFolderVariants) {
    EXPECT_EQ(StationeryFromSharedFiles(std::string("D:\\Shared\\\0junk", 15)),
              "D:\\Shared\\Stationery");
    EXPECT_EQ(StationeryFromSharedFiles("  D:\\Shared\\  "), "D:\\Shared\\Stationery");
    EXPECT_EQ(StationeryFromSharedFiles("D:\\Shared"), "D:\\Shared\\Stationery");
    // An unreadable value names no folder.
    EXPECT_EQ(StationeryFromSharedFiles("Error"), "ErrorStationery");
    EXPECT_TRUE(SupportsPersonalAddressBook("11.0"));
    EXPECT_TRUE(SupportsPersonalAddressBook(""));
    EXPECT_FALSE(SupportsPersonalAddressBook("12.0"));
    EXPECT_FALSE(SupportsPersonalAddressBook("16.0"));
}

TEST(Locations, AddressBookPathLosesDoubledBackslashes) {
    EXPECT_EQ(NormalizePabPath("C:\\\\Mail\\\\book.pab"), "C:\\Mail\\book.pab");
    EXPECT_EQ(NormalizePabPath("C:\\Mail\\book.pab"), "C:\\Mail\\book.pab");
    EXPECT_EQ(NormalizePabPath("\\\\\\\\server"), "\\\\server");
    // A network path keeps its leading pair, stored plain or doubled: the inventory must find the
    // same file that the backup copies.
    EXPECT_EQ(NormalizePabPath("\\\\server\\share\\a.pab"), "\\\\server\\share\\a.pab");
    EXPECT_EQ(NormalizePabPath("\\\\server\\\\share\\a.pab"), "\\\\server\\share\\a.pab");
    EXPECT_EQ(NormalizePabPath("\\\\\\server\\a.pab"), "\\\\server\\a.pab");
    EXPECT_EQ(NormalizePabPath(""), "");
}

TEST(ItemTable, CaptionsAndTooltips) {
    EXPECT_STREQ(kItemCaptions[0],
                 "Personal Folders (Contacts, Tasks, Calendar, Notes and mail folders)");
    EXPECT_STREQ(kItemCaptions[8], "Contacts Folder");
    EXPECT_STREQ(kBackupItemTooltips[0], "Contacts, Tasks, Calendar, Notes and mail folders");
    EXPECT_STREQ(kRestoreItemTooltips[0], "Contacts, Tasks, Calendar, Notes and mail folders.");
    EXPECT_STREQ(kBackupItemTooltips[7], kBackupItemTooltips[8]);
    for (size_t i = 1; i < kItemCount; ++i)
        EXPECT_STREQ(kRestoreItemTooltips[i], kBackupItemTooltips[i]);
    std::set<std::string> captions(kItemCaptions.begin(), kItemCaptions.end());
    EXPECT_EQ(captions.size(), kItemCount);
}

TEST(Proposal, DatedNameKeepsSpacesAndPadsDate) {
    EXPECT_EQ(ProposalFileName("Outlook", {2026, 12, 5}), "kestrine-Outlook-12-05-2026.ksx");
    EXPECT_EQ(ProposalFileName("My Mail Box", {2027, 1, 9}), "kestrine-My Mail Box-01-09-2027.ksx");
    // A name Windows cannot store as one file becomes one plain file name.
    EXPECT_EQ(ProposalFileName("A:B/C?", {2026, 3, 4}), "kestrine-A_B_C_-03-04-2026.ksx");
}

TEST(Proposal, FolderChoice) {
    auto exists = [](const std::string& p) { return p == "D:\\Backups\\" || p == "D:\\Backups"; };
    EXPECT_EQ(ChooseProposalFolder("", "C:\\App", exists), "C:\\App");
    EXPECT_EQ(ChooseProposalFolder("0", "C:\\App", exists), "C:\\App");
    EXPECT_EQ(ChooseProposalFolder("D:\\Backups\\", "C:\\App", exists), "D:\\Backups");
    EXPECT_EQ(ChooseProposalFolder("D:\\Backups", "C:\\App", exists), "D:\\Backups");
    EXPECT_EQ(ChooseProposalFolder("E:\\Gone", "C:\\App", exists), "C:\\App");
    EXPECT_EQ(base::JoinPath("D:\\Backups", "x.ksx"), "D:\\Backups\\x.ksx");
    EXPECT_EQ(base::JoinPath("C:\\", "x.ksx"), "C:\\x.ksx");
    // A drive root named in the setting loses its backslash and gets it back from the join.
    auto root = [](const std::string& p) { return p == "E:\\"; };
    EXPECT_EQ(base::JoinPath(ChooseProposalFolder("E:\\", "C:\\App", root), "x.ksx"), "E:\\x.ksx");
}

}  // namespace
}  // namespace kestrine::outlook
