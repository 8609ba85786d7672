// What detection reads from the registry, against the in-memory registry.
#include <gtest/gtest.h>

#include "outlook/detection.h"
#include "outlook/environment.h"
#include "outlook/locations.h"
#include "outlook/process_control.h"
#include "platform/registry_access.h"
#include "processes_stand_in.h"
#include "registry_stand_in.h"
#include "versions_stand_in.h"

namespace kestrine::outlook {
namespace {

namespace memory = platform::memory_registry;

void MakeKey(uint32_t root, const std::string& subkey) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::CreateRegistryKey(root, subkey, key), 0) << subkey;
}

void SetPath(uint32_t root, const std::string& subkey, const std::string& text,
             const std::string& name = "Path") {
    platform::RegistryKey key;
    ASSERT_EQ(platform::CreateRegistryKey(root, subkey, key), 0);
    std::vector<uint8_t> data;
    for (char c : text) data.insert(data.end(), {static_cast<uint8_t>(c), 0});
    data.insert(data.end(), {0, 0});
    ASSERT_EQ(platform::SetRegistryValue(key, name, 1, data), 0);
}

class OutlookRegistry : public ::testing::Test {
  protected:
    void SetUp() override { memory::Reset(); }
};

TEST_F(OutlookRegistry, ProfilesAreTheUsableSubkeysOfTheChosenRootInRegistryOrder) {
    Environment env;
    env.OutlookVersion = "16.0";
    ChooseProfilesRoot(env);
    ASSERT_EQ(env.ProfilesRoot,
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles");
    EnumProfiles(env);
    EXPECT_TRUE(env.NoProfiles);  // no key at all

    const std::string root = "Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\";
    for (const std::string& name :
         {std::string("outlook"), std::string("  "), std::string("Archive"), std::string("\0", 1),
          std::string("Error")})
        MakeKey(memory::kCurrentUser, root + name);
    EnumProfiles(env);
    EXPECT_FALSE(env.NoProfiles);
    EXPECT_EQ(env.ProfileNames, (std::vector<std::string>{"Archive", "Error", "outlook"}));

    // A listing that fails midway keeps the profiles read before it.
    memory::PlantFailure(memory::Operation::EnumSubKeys, memory::kCurrentUser,
                         root.substr(0, root.size() - 1), platform::kRegAccessDenied, 3);
    EnumProfiles(env);
    EXPECT_EQ(env.ProfileNames, std::vector<std::string>{"Archive"});
}

TEST_F(OutlookRegistry, TheRegisteredProgramIsFoundAlsoInThe32BitViewAndANameIsNotAFailure) {
    const std::string appPaths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\x.exe";
    const std::string full = "HKEY_LOCAL_MACHINE\\" + appPaths;
    EXPECT_EQ(RegisteredOutlookExe(full), "");
    MakeKey(memory::kLocalMachine, appPaths);
    EXPECT_EQ(RegisteredOutlookExe(full), "");  // no folder registered
    SetPath(memory::kLocalMachine, "Software\\WOW6432Node\\" + appPaths.substr(9),
            "C:\\Program Files (x86)\\Office\\");
    EXPECT_EQ(RegisteredOutlookExe(full), "C:\\Program Files (x86)\\Office\\OUTLOOK.EXE");
    SetPath(memory::kLocalMachine, appPaths, "");
    EXPECT_EQ(RegisteredOutlookExe(full), "");  // the native view's empty folder
    SetPath(memory::kLocalMachine, appPaths, "Error");
    EXPECT_EQ(RegisteredOutlookExe(full), "Error\\OUTLOOK.EXE");
}

// The user's running Outlook is only read (attached to, or its program file), never started or
// asked to quit. Without one, what Windows and Office record tells the version, program files
// first; nothing recorded is no Outlook. The automation object is never made to learn it.
TEST_F(OutlookRegistry, DetectionReadsTheRunningOutlookThenWhatIsRecordedAndNeverStartsOne) {
    const std::string appPaths =
        "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE";
    int probes = 0;
    platform::OutlookVersionProbe found{true, true, true, "14.0.7266.5000", false};
    platform::SetOutlookProbeAnswer([&](const std::string& progId) {
        EXPECT_EQ(progId, "Outlook.Application");
        ++probes;
        return found;
    });
    auto detect = [&] {
        Environment env;
        DetectOutlookVersion(env, "HKEY_LOCAL_MACHINE\\" + appPaths);
        return env.OutlookName + "/" + env.OutlookVersion;
    };
    const std::string office = "SOFTWARE\\Microsoft\\Office\\";
    EXPECT_EQ(detect(), std::string(kNoOutlook) + "/");
    SetPath(memory::kClassesRoot, "Outlook.Application\\CurVer", "Outlook.Application.15", "");
    EXPECT_EQ(detect(), "Outlook 2013/15.0");
    SetPath(memory::kLocalMachine,
            "SOFTWARE\\WOW6432Node\\Microsoft\\Office\\14.0\\Outlook\\InstallRoot",
            "C:\\Office14\\");
    EXPECT_EQ(detect(), "Outlook 2010/14.0");
    SetPath(memory::kLocalMachine, office + "ClickToRun\\Configuration", "16.0.17328.20184",
            "VersionToReport");
    EXPECT_EQ(detect(), "Outlook 2016/16.0");
    // A program file's version comes before what the registry reports.
    platform::SetFileVersion("C:\\Office14\\OUTLOOK.EXE", "14.0.7266.5000");
    EXPECT_EQ(detect(), "Outlook 2010/14.0");
    SetPath(memory::kLocalMachine, office + "ClickToRun\\Configuration",
            "C:\\Program Files\\Microsoft Office", "InstallationPath");
    platform::SetFileVersion("C:\\Program Files\\Microsoft Office\\root\\Office16\\OUTLOOK.EXE",
                             "16.0.1.2");
    EXPECT_EQ(detect(), "Outlook 2016/16.0");
    SetPath(memory::kLocalMachine, appPaths, "C:\\Office12\\OUTLOOK.EXE", "");
    platform::SetFileVersion("C:\\Office12\\OUTLOOK.EXE", "12.0.6690.5000");
    EXPECT_EQ(detect(), "Outlook 2007/12.0");
    EXPECT_EQ(probes, 0);

    platform::SetStandInProcesses({{"C:\\Office15\\Outlook.exe"}});
    platform::SetFileVersion("c:\\office15\\OUTLOOK.EXE", "15.0.4420.1017");
    found = {};  // it has not registered itself: its program file
    EXPECT_EQ(detect(), "Outlook 2013/15.0");
    found = {true, true, true, "16.0.6690.5000", false};
    EXPECT_EQ(detect(), "Outlook 2016/16.0");
    EXPECT_EQ(probes, 2);
    platform::SetStandInProcesses({});
    platform::ForgetFileVersions();
    platform::SetOutlookProbeAnswer(nullptr);
}

// Office names the signatures, stationery and templates folders in its language and records the
// names for the user; without a record (or with one that names no plain folder) they are English.
TEST_F(OutlookRegistry, ItemFoldersAreThoseOfficeRecordsInTheUsersLanguage) {
    Environment env;
    env.UserProfileDir = "C:\\Users\\Jan";
    env.OSVersion = "10.0";
    env.OutlookVersion = "16.0";
    const std::string roaming = "C:\\Users\\Jan\\AppData\\Roaming\\Microsoft\\";
    EXPECT_EQ(FoldersOf(env).signatures, roaming + "Signatures");
    const std::string general = "Software\\Microsoft\\Office\\16.0\\Common\\General";
    SetPath(memory::kCurrentUser, general, "Signaturen", "Signatures");
    SetPath(memory::kCurrentUser, general, "Briefpapier", "Stationery");
    SetPath(memory::kCurrentUser, general, "D:\\Vorlagen\\", "Templates");
    UserFolders german = FoldersOf(env);
    EXPECT_EQ(german.signatures, roaming + "Signaturen");
    EXPECT_EQ(german.stationery, roaming + "Briefpapier");
    EXPECT_EQ(german.templates, "D:\\Vorlagen");
    EXPECT_EQ(LocationsFor(env, "Outlook").SignaturesDir, roaming + "Signaturen");
    SetPath(memory::kCurrentUser, general, "E:\\", "Templates");  // a drive's root is a folder too
    EXPECT_EQ(FoldersOf(env).templates, "E:\\");
    for (const char* bad : {"..", "..\\Windows", "%APPDATA%\\x", " "}) {
        SetPath(memory::kCurrentUser, general, bad, "Signatures");
        EXPECT_EQ(FoldersOf(env).signatures, roaming + "Signatures") << bad;
    }
}

}  // namespace
}  // namespace kestrine::outlook
