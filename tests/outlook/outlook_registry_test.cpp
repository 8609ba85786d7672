// What detection reads from the registry, against the in-memory registry.
#include <gtest/gtest.h>

#include "outlook/environment.h"
#include "outlook/process_control.h"
#include "platform/registry_access.h"
#include "platform/registry_memory.h"

namespace kestrine::outlook {
namespace {

namespace memory = platform::memory_registry;

void MakeKey(uint32_t root, const std::string& subkey) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::CreateRegistryKey(root, subkey, key), 0) << subkey;
}

void SetPath(uint32_t root, const std::string& subkey, const std::string& text) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::CreateRegistryKey(root, subkey, key), 0);
    std::vector<uint8_t> data;
    for (char c : text) data.insert(data.end(), {static_cast<uint8_t>(c), 0});
    data.insert(data.end(), {0, 0});
    ASSERT_EQ(platform::SetRegistryValue(key, "Path", 1, data), 0);
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

}  // namespace
}  // namespace kestrine::outlook
