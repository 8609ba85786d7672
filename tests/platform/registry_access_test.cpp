// What callers rely on from the registry layer, checked against whichever registry the build has.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/registry_access.h"

namespace kestrine::platform {
namespace {

constexpr uint32_t kCurrentUser = 0x80000001u;
constexpr uint32_t kLocalMachine = 0x80000002u;
constexpr uint32_t kRead = 0x20019;
constexpr uint32_t kWrite = 0x20006;
constexpr uint32_t kView32 = 0x0200;
constexpr long kKeyDeleted = 1018;

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> bytes) {
    return bytes;
}

std::vector<std::string> SubKeys(const RegistryKey& key) {
    std::vector<std::string> names;
    std::string name;
    for (uint32_t i = 0; EnumRegistrySubKey(key, i, name) == kRegSuccess; ++i)
        names.push_back(name);
    return names;
}

class RegistryAccess : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        sub_ = "Software\\KestrineTest\\access-" + std::to_string(rd()) + std::to_string(rd());
    }
    void TearDown() override { DeleteTree(kCurrentUser, sub_); }

    static void DeleteTree(uint32_t root, const std::string& subkey) {
        RegistryKey key;
        if (OpenRegistryKey(root, subkey, kRead, key) != kRegSuccess) return;
        for (const auto& name : SubKeys(key)) DeleteTree(root, subkey + "\\" + name);
        key.Close();
        const auto slash = subkey.rfind('\\');
        RegistryKey parent;
        if (OpenRegistryKey(root, subkey.substr(0, slash), kWrite, parent) == kRegSuccess)
            DeleteRegistrySubKey(parent, subkey.substr(slash + 1));
    }

    std::string sub_;
};

TEST_F(RegistryAccess, NamesAreCaseBlindAndSubkeysListInNameOrder) {
    RegistryKey key;
    ASSERT_EQ(CreateRegistryKey(kCurrentUser, sub_ + "\\Mixed", key), kRegSuccess);
    ASSERT_EQ(SetRegistryValue(key, "Value", 1, Bytes({'a', 0, 0, 0})), kRegSuccess);
    ASSERT_EQ(SetRegistryValue(key, "VALUE", 4, Bytes({7, 0, 0, 0})), kRegSuccess);
    for (const char* name : {"b", "C", "a"}) {
        RegistryKey child;
        ASSERT_EQ(CreateRegistryKey(kCurrentUser, sub_ + "\\mixed\\" + name, child), kRegSuccess);
    }
    key.Close();

    ASSERT_EQ(OpenRegistryKey(kCurrentUser, sub_ + "\\MIXED", kRead, key), kRegSuccess);
    EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"a", "b", "C"}));
    uint32_t type = 0;
    std::vector<uint8_t> data;
    ASSERT_EQ(QueryRegistryValue(key, "value", type, data), kRegSuccess);
    EXPECT_EQ(type, 4u);
    EXPECT_EQ(data, Bytes({7, 0, 0, 0}));
    // One value, written over in place under the name it was made with.
    RegistryValue value;
    ASSERT_EQ(EnumRegistryValue(key, 0, value), kRegSuccess);
    EXPECT_EQ(value.name, "Value");
    EXPECT_EQ(EnumRegistryValue(key, 1, value), kRegNoMoreItems);
    std::string name;
    EXPECT_EQ(EnumRegistrySubKey(key, 3, name), kRegNoMoreItems);
}

TEST_F(RegistryAccess, ValuesComeBackBitForBitWhateverTheirTypeAndSize) {
    std::vector<uint8_t> big(70000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 13);
    const std::vector<RegistryValue> values = {
        {"", 1, Bytes({'d', 0, 0, 0})},
        {"empty", 3, {}},
        {"big", 3, big},
        {"odd type", 99, Bytes({1, 2, 3})},
        {"\xE6\x97\xA5\xE6\x9C\xAC", 1, Bytes({0xE5, 0x65, 0, 0})},
    };
    RegistryKey key;
    ASSERT_EQ(CreateRegistryKey(kCurrentUser, sub_, key), kRegSuccess);
    for (const auto& v : values) ASSERT_EQ(SetRegistryValue(key, v.name, v.type, v.data), 0);
    std::vector<RegistryValue> listed;
    RegistryValue value;
    for (uint32_t i = 0; EnumRegistryValue(key, i, value) == kRegSuccess; ++i)
        listed.push_back(value);
    ASSERT_EQ(listed.size(), values.size());
    for (const auto& v : values) {
        auto found = std::find_if(listed.begin(), listed.end(),
                                  [&](const RegistryValue& l) { return l.name == v.name; });
        ASSERT_NE(found, listed.end()) << v.name;
        EXPECT_EQ(found->type, v.type) << v.name;
        EXPECT_EQ(found->data, v.data) << v.name;
    }
    EXPECT_EQ(DeleteRegistryValue(key, "BIG"), kRegSuccess);
    EXPECT_EQ(DeleteRegistryValue(key, "big"), kRegFileNotFound);
    uint32_t type = 0;
    std::vector<uint8_t> data;
    EXPECT_EQ(QueryRegistryValue(key, "big", type, data), kRegFileNotFound);
}

TEST_F(RegistryAccess, RefusalsAnswerWithTheRegistrysStatusCodes) {
    RegistryKey key;
    EXPECT_EQ(OpenRegistryKey(kCurrentUser, sub_, kRead, key), kRegFileNotFound);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_NE(OpenRegistryKey(0, "Software", kRead, key), kRegSuccess);
    EXPECT_NE(CreateRegistryKey(0, "Software", key), kRegSuccess);
    // The user's hive is written to the disk on request (that it outlasts a power loss, neither
    // Wine nor the memory registry can show).
    EXPECT_EQ(FlushRegistryRoot(kCurrentUser), kRegSuccess);
    EXPECT_NE(FlushRegistryRoot(0), kRegSuccess);
    // A key name longer than the registry allows (255 characters) is refused.
    EXPECT_NE(CreateRegistryKey(kCurrentUser, sub_ + "\\" + std::string(300, 'k'), key),
              kRegSuccess);
    ASSERT_EQ(CreateRegistryKey(kCurrentUser, sub_ + "\\Parent\\Child", key), kRegSuccess);

    // A key opened to read cannot be written.
    RegistryKey reading;
    ASSERT_EQ(OpenRegistryKey(kCurrentUser, sub_, kRead, reading), kRegSuccess);
    EXPECT_EQ(SetRegistryValue(reading, "v", 4, Bytes({1, 0, 0, 0})), kRegAccessDenied);
    // Not while it has subkeys, nor what is not there.
    EXPECT_EQ(DeleteRegistrySubKey(reading, "Parent"), kRegAccessDenied);
    EXPECT_EQ(DeleteRegistrySubKey(reading, "Missing"), kRegFileNotFound);

    RegistryKey parent;
    ASSERT_EQ(OpenRegistryKey(kCurrentUser, sub_ + "\\Parent", kWrite, parent), kRegSuccess);
    EXPECT_EQ(DeleteRegistrySubKey(parent, "CHILD"), kRegSuccess);
    // The child's handle outlives its key.
    EXPECT_EQ(SetRegistryValue(key, "v", 4, Bytes({1, 0, 0, 0})), kKeyDeleted);
    EXPECT_EQ(DeleteRegistrySubKey(reading, "Parent"), kRegSuccess);
    EXPECT_EQ(OpenRegistryKey(kCurrentUser, sub_ + "\\Parent", kRead, key), kRegFileNotFound);
}

TEST_F(RegistryAccess, TheMachines32BitViewReadsItsOwnSoftwareKey) {
    const std::string name = sub_.substr(sub_.rfind('\\') + 1);
    const std::string stored = "Software\\WOW6432Node\\KestrineTest\\" + name;
    RegistryKey key;
    if (CreateRegistryKey(kLocalMachine, stored, key) != kRegSuccess)
        GTEST_SKIP() << "the machine's keys cannot be written here";
    ASSERT_EQ(SetRegistryValue(key, "Path", 1, Bytes({'x', 0, 0, 0})), kRegSuccess);
    key.Close();
    const std::string seen = "Software\\KestrineTest\\" + name;
    EXPECT_EQ(OpenRegistryKey(kLocalMachine, seen, kRead | kView32, key), kRegSuccess);
    uint32_t type = 0;
    std::vector<uint8_t> data;
    EXPECT_EQ(QueryRegistryValue(key, "Path", type, data), kRegSuccess);
    key.Close();
    EXPECT_EQ(OpenRegistryKey(kLocalMachine, seen, kRead, key), kRegFileNotFound);
    DeleteTree(kLocalMachine, stored);
}

}  // namespace
}  // namespace kestrine::platform
