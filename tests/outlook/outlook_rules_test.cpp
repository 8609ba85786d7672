// The pure rules of the Outlook environment: version readings, the release table, profile roots,
// blank profile names, and where each item lives and goes back.
#include <gtest/gtest.h>

#include "outlook/detection.h"
#include "outlook/locations.h"
#include "outlook/profile_data.h"

namespace kestrine::outlook {
namespace {

const std::string kOffice = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\";

TEST(VersionReading, NumbersOsVersionsAndTheFolderLayout) {
    struct Case {
        const char* text;
        double number;
    } numbers[] = {{"15.0", 15.0}, {"6.1.7601", 6.1}, {" 12", 12.0},    {"", 0.0},
                   {"Error", 0.0}, {"5.1x", 5.1},     {"16.25", 16.25}, {"19.09", 19.09}};
    for (const auto& c : numbers) EXPECT_DOUBLE_EQ(ReadAsNumber(c.text), c.number) << c.text;
    EXPECT_EQ(CutOSVersion("6.1.7601"), "6.1");
    EXPECT_EQ(CutOSVersion("10.0.19045"), "10.0");
    EXPECT_EQ(CutOSVersion("10"), "10");  // no minor part: kept rather than cut
    EXPECT_TRUE(UsesAppDataLayout("6.0"));
    EXPECT_FALSE(UsesAppDataLayout("5.1"));
    EXPECT_FALSE(UsesAppDataLayout(""));  // no WMI: the older layout
}

TEST(OutlookReleases, RecognisedAndUnknownVersionsAndTheirProfileRoots) {
    struct Case {
        const char* text;
        const char* name;
        const char* version;
    } known[] = {
        {"8.0.0.1", "Outlook 97", "8.0"},           {"10.0.2627", "Outlook 2002(XP)", "10.0"},
        {"14.0.7266.5000", "Outlook 2010", "14.0"}, {"15.0.9999.1", "Outlook 2013", "15.0"},
        {"16.0.0.4266", "Outlook 2016", "16.0"},    {"16", "Outlook 2016", "16.0"}};
    for (const auto& c : known) {
        auto release = LookupOutlookRelease(c.text);
        ASSERT_TRUE(release) << c.text;
        EXPECT_EQ(release->name, c.name);
        EXPECT_EQ(release->version, c.version);
    }
    for (const char* text : {"13.0.1", "17.0.0.1", "7.0", "", ".16", "x16.0", "16a.0", "99999.0",
                             "16000000000000000000.0"})
        EXPECT_FALSE(LookupOutlookRelease(text)) << text;

    EXPECT_EQ(ProfilesRootFor("15.0"), kOffice + "15.0\\Outlook\\Profiles");
    EXPECT_EQ(ProfilesRootFor("14.0"),
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\"
              "Windows Messaging Subsystem\\Profiles");
    EXPECT_EQ(ProfilesRootFor(""), kMessagingProfilesRoot);  // no or an unknown Outlook
}

TEST(ProfileNames, BlankNamesAreDroppedAndOrderKept) {
    EXPECT_TRUE(IsBlankName(std::string("\0\0 \0", 4)));
    EXPECT_FALSE(IsBlankName(std::string("\0x", 2)));
    EXPECT_FALSE(IsBlankName("\t"));  // only spaces are trimmed
    EXPECT_EQ(UsableProfileNames({"Zeta", "  ", std::string("\0", 1), "Outlook", "My Mail"}),
              (std::vector<std::string>{"Zeta", "Outlook", "My Mail"}));
}

Environment On(const char* os, const char* outlook) {
    Environment env;
    env.UserProfileDir = "C:\\Users\\Ann";
    env.OSVersion = os;
    env.OutlookVersion = outlook;
    env.ProfilesRoot = ProfilesRootFor(outlook);
    return env;
}

TEST(Locations, Outlook2010OnWindows7AndOutlook2003OnWindowsXp) {
    auto loc = LocationsFor(On("6.1", "14.0"), "My Mail");
    EXPECT_EQ(loc.AccountsKey,
              std::string(kMessagingProfilesRoot) + "\\My Mail\\9375CFF0413111d3B88A00104B2A6676");
    EXPECT_EQ(loc.SignaturesDir, "C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Signatures");
    EXPECT_EQ(loc.StationeryDir, "C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Stationery");
    EXPECT_EQ(loc.RulesDir, "C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Outlook");
    EXPECT_EQ(loc.PreferencesDir, loc.RulesDir);
    EXPECT_EQ(loc.TemplatesDir, "C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Templates");
    EXPECT_EQ(loc.OptionsKey, kOffice + "14.0\\Outlook\\Options");
    EXPECT_EQ(loc.ContactsDir, "C:\\Users\\Ann\\Contacts");

    auto xp = LocationsFor(On("5.1", "11.0"), "Outlook");
    EXPECT_EQ(xp.SignaturesDir, "C:\\Users\\Ann\\Application Data\\Microsoft\\Signatures");
    EXPECT_EQ(xp.StationeryDir, "C:\\Users\\Ann\\Application Data\\Microsoft\\Stationery");
    // An old Outlook keeps its stationery under "Application Data" on any Windows.
    EXPECT_EQ(LocationsFor(On("10.0", "11.0"), "P").StationeryDir, xp.StationeryDir);
    EXPECT_EQ(LocationsFor(On("10.0", "16.0"), "P").AccountsKey,
              kOffice + "16.0\\Outlook\\Profiles\\P\\9375CFF0413111d3B88A00104B2A6676");
}

TEST(Locations, RestoreFoldersFollowTheWindowsLayout) {
    const UserFolders xp = FoldersFor("C:\\U", "5.1");
    EXPECT_EQ(xp.roamingOutlook, "C:\\U\\Application Data\\Microsoft\\Outlook");
    EXPECT_EQ(xp.localOutlook, "C:\\U\\Local Settings\\Application Data\\Microsoft\\Outlook");
    const UserFolders vista = FoldersFor("C:\\U", "6.0");
    EXPECT_EQ(vista.localOutlook, "C:\\U\\AppData\\Local\\Microsoft\\Outlook");
    EXPECT_EQ(vista.stationery, "C:\\U\\AppData\\Roaming\\Microsoft\\Stationery");
    // The .FAV file is looked for under the old layout on every version.
    EXPECT_EQ(vista.applicationData, "C:\\U\\Application Data\\Microsoft");
    EXPECT_EQ(AccountKey("R", "P", 0xf234abcd), "R\\P\\9375CFF0413111d3B88A00104B2A6676\\f234abcd");
}

TEST(Locations, AddressBookPathLosesDoubledBackslashes) {
    EXPECT_EQ(NormalizePabPath("C:\\\\Mail\\\\book.pab"), "C:\\Mail\\book.pab");
    EXPECT_EQ(NormalizePabPath("C:\\Mail\\book.pab"), "C:\\Mail\\book.pab");
    // A network path keeps its leading pair, stored plain or doubled: the inventory must find the
    // same file that the backup copies.
    EXPECT_EQ(NormalizePabPath("\\\\server\\share\\a.pab"), "\\\\server\\share\\a.pab");
    EXPECT_EQ(NormalizePabPath("\\\\\\\\server\\\\share\\a.pab"), "\\\\server\\share\\a.pab");
    EXPECT_EQ(NormalizePabPath("\\\\\\server\\a.pab"), "\\\\server\\a.pab");
}

}  // namespace
}  // namespace kestrine::outlook
