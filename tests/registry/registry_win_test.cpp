#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <random>

#include "base/utf.h"
#include "platform/registry_access.h"
#include "platform/text.h"
#include "reg_test_values.h"
#include "registry/export_format.h"
#include "registry/key_path.h"
#include "registry/registry.h"
#include "test_support.h"

namespace kestrine::registry {
namespace {

// The tree as stored, with values and subkeys sorted by name so that trees compare whatever the
// registry's enumeration order.
RegKeyTree ReadRaw(const std::string& subkey) {
    RegKeyTree tree;
    platform::RegistryKey key;
    if (platform::OpenRegistryKey(0x80000001u, subkey, kKeyRead, key) != 0) return tree;
    for (uint32_t i = 0;; ++i) {
        platform::RegistryValue v;
        if (platform::EnumRegistryValue(key, i, v) != 0) break;
        tree.values.push_back({v.name, v.type, v.data});
    }
    std::vector<std::string> names;
    for (uint32_t i = 0;; ++i) {
        std::string name;
        if (platform::EnumRegistrySubKey(key, i, name) != 0) break;
        names.push_back(name);
    }
    for (const auto& name : names) {
        RegKeyTree child = ReadRaw(subkey + "\\" + name);
        child.name = name;
        tree.subkeys.push_back(child);
    }
    std::sort(tree.values.begin(), tree.values.end(),
              [](const RegValue& a, const RegValue& b) { return a.name < b.name; });
    std::sort(tree.subkeys.begin(), tree.subkeys.end(),
              [](const RegKeyTree& a, const RegKeyTree& b) { return a.name < b.name; });
    return tree;
}

void WriteRaw(const std::string& subkey, const RegKeyTree& tree) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::CreateRegistryKey(0x80000001u, subkey, key), 0) << subkey;
    for (const auto& v : tree.values)
        ASSERT_EQ(platform::SetRegistryValue(key, v.name, v.type, v.data), 0) << v.name;
    key.Close();
    for (const auto& sub : tree.subkeys) WriteRaw(subkey + "\\" + sub.name, sub);
}

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        sub_ = std::string("Software\\KestrineTest\\") + info->name() + "-" + std::to_string(rd()) +
               std::to_string(rd());
        path_ = "HKEY_CURRENT_USER\\" + sub_;
    }
    void TearDown() override { DeleteKeyTree(path_); }
    std::string sub_;
    std::string path_;
    test::TempDir dir_;
};

TEST_F(RegistryTest, MalformedPathsAndUnknownRootsFailQuietlyAndARootAloneIsTheRootKey) {
    for (const std::string path :
         {"hkey_current_user\\Software", "HKEY_CURRENT_USER\\Software\\", "HKEY_FOO\\Bar"}) {
        EXPECT_FALSE(KeyExists(path));
        EXPECT_EQ(GetStringValue(path, "x"), kError);
        EXPECT_TRUE(EnumSubKeys(path).names.empty());
        EXPECT_EQ(GetBinaryPath(path, "x"), kError);
        EXPECT_FALSE(SetStringValue(path, "x", "y"));
        EXPECT_FALSE(DeleteKey(path));
    }
    EXPECT_TRUE(KeyExists("HKEY_CURRENT_USER"));
    auto top = EnumSubKeys("HKEY_CURRENT_USER");
    EXPECT_FALSE(top.failed);
    EXPECT_NE(std::find(top.names.begin(), top.names.end(), "Software"), top.names.end());
}

TEST_F(RegistryTest, StringValuesUpTo255BytesWithTheTerminator) {
    WriteRaw(sub_, {});
    EXPECT_TRUE(SetStringValue(path_, "s", "  spaced text"));
    EXPECT_EQ(GetStringValue(path_, "s"), "spaced text");
    SetStringValue(path_, "max", std::string(254, 'x'));
    EXPECT_EQ(GetStringValue(path_, "max"), std::string(254, 'x'));
    SetStringValue(path_, "over", std::string(255, 'x'));
    EXPECT_EQ(GetStringValue(path_, "over"), kError);
    EXPECT_EQ(GetStringValue(path_, "missing"), kError);
    SetStringValue(path_, "u", "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(GetStringValue(path_, "u"), "\xE6\x97\xA5\xE6\x9C\xAC");
    SetStringValue(path_, "", "default");
    EXPECT_EQ(GetStringValue(path_, ""), "default");
    EXPECT_TRUE(DeleteValue(path_, "s"));
    EXPECT_EQ(GetStringValue(path_, "s"), kError);
    EXPECT_TRUE(DeleteValue(path_, "s"));  // already gone
    EXPECT_TRUE(DeleteValue(path_ + "\\Missing", "s"));
    EXPECT_FALSE(SetStringValue(path_ + "\\Missing", "s", "x"));  // no key is made
    EXPECT_EQ(GetStringValue(path_ + "\\Missing", "x"), kError);
}

TEST_F(RegistryTest, DeleteKeyTreeRemovesNestedKeysButNeverARootKey) {
    WriteRaw(sub_, {"",
                    {{"v", kRegDword, Dword(1)}},
                    {RegKeyTree{"A", {}, {RegKeyTree{"B", {}, {RegKeyTree{"C", {}, {}}}}}},
                     RegKeyTree{"D", {}, {}}}});
    EXPECT_FALSE(DeleteKey(path_));  // not while it has subkeys
    EXPECT_TRUE(DeleteKeyTree(path_));
    EXPECT_FALSE(KeyExists(path_));
    EXPECT_TRUE(DeleteKeyTree(path_));  // a missing key counts as deleted
    // A root addressed alone is never torn down subkey by subkey. The current hardware profile's
    // root is used so that a fault here cannot take the user's keys of the other tests with it.
    platform::RegistryKey guard;
    ASSERT_EQ(platform::CreateRegistryKey(0x80000005u, "KestrineTestGuard", guard), 0);
    EXPECT_FALSE(DeleteKeyTree("HKEY_CURRENT_CONFIG"));
    EXPECT_TRUE(DeleteKeyTree("HKEY_CURRENT_CONFIG\\KestrineTestGuard"));
}

TEST_F(RegistryTest, BinaryPathsStoredAsUtf16AndAsAnsi) {
    std::vector<uint8_t> ansi = {1, 2, 3, 4};
    for (char c : std::string("C:\\Mail\\caf\xE9.pst")) ansi.push_back(static_cast<uint8_t>(c));
    ansi.push_back(0);
    std::vector<uint8_t> big(40 * 1024, 0);
    auto tail = Utf16Data(u"hdrD:\\Big\\x.pst");
    std::copy(tail.begin(), tail.end(), big.end() - static_cast<long>(tail.size()));
    WriteRaw(sub_, {"",
                    {{"01020fff", kRegBinary,
                      Utf16Data(u"\x1\x2\x3\x4"
                                u"C:\\Data\\\x65E5.pst")},
                     {"ansi", kRegBinary, ansi},
                     {"big", kRegBinary, big},
                     {"text", kRegSz, Sz("xxC:\\a.pst")}},
                    {}});
    EXPECT_EQ(GetBinaryPath(path_, "01020fff"), "C:\\Data\\\xE6\x97\xA5.pst");
    EXPECT_EQ(GetBinaryPath(path_, "01020FFF"), kError);
    EXPECT_EQ(GetBinaryPathViaFile(path_, "01020FFF"), kError);
    EXPECT_EQ(GetBinaryPath(path_, "text"), kError);  // not REG_BINARY
    EXPECT_EQ(GetBinaryPath(path_, "ansi"), kError);
    EXPECT_EQ(GetBinaryPathViaFile(path_, "ansi"), "C:\\Mail\\caf\xC3\xA9.pst");
    EXPECT_EQ(GetBinaryPath(path_, "big"), "D:\\Big\\x.pst");
    EXPECT_EQ(GetBinaryPath(path_ + "\\Missing", "big"), kError);
}

TEST_F(RegistryTest, ReplaceBinaryPathRewritesUtf16OrAnsiPaths) {
    std::vector<uint8_t> ansi = {7, 'C', ':', '\\', 'o', '.', 'p', 's', 't', 0};
    WriteRaw(sub_, {"",
                    {{"01020fff", kRegBinary,
                      Utf16Data(u"\x1\x2"
                                u"C:\\Old\\a.pst")},
                     {"ansi", kRegBinary, ansi},
                     {"other", kRegBinary, {1, 2, 3}}},
                    {}});
    EXPECT_EQ(ReplaceBinaryPath(path_, "01020fff", "C:\\Old\\a.pst", "E:\\New\\\xE6\x97\xA5.pst"),
              PathRewrite::Rewritten);
    EXPECT_EQ(ReplaceBinaryPath(path_, "ansi", "C:\\o.pst", "D:\\n.pst"), PathRewrite::Rewritten);
    EXPECT_EQ(ReplaceBinaryPath(path_, "other", "C:\\o.pst", "D:\\n.pst"),
              PathRewrite::PathNotFound);
    // The value name differs in case.
    EXPECT_EQ(ReplaceBinaryPath(path_, "ANSI", "D:\\n.pst", "F:\\f.pst"), PathRewrite::NoValue);
    auto tree = ReadRaw(sub_);
    ASSERT_EQ(tree.values.size(), 3u);
    EXPECT_EQ(tree.values[0].data, Utf16Data(u"\x1\x2"
                                             u"E:\\New\\\x65E5.pst"));
    EXPECT_EQ(tree.values[1].data,
              (std::vector<uint8_t>{7, 'D', ':', '\\', 'n', '.', 'p', 's', 't', 0}));
    EXPECT_EQ(tree.values[2].data, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(GetBinaryPath(path_, "01020fff"), "E:\\New\\\xE6\x97\xA5.pst");
}

TEST_F(RegistryTest, ARoundTripKeepsEveryValueBitForBit) {
    RegKeyTree tree = EveryKindOfValue();
    WriteRaw(sub_ + "\\Source", tree);
    // The target holds things the file does not list: they go.
    WriteRaw(sub_ + "\\Target", {"", {{"stale", kRegSz, Sz("x")}}, {RegKeyTree{"Stale", {}, {}}}});
    std::string file = dir_ / "tree.reg";
    ASSERT_TRUE(ExportKey(path_ + "\\Source", file));
    ASSERT_TRUE(ImportKey(path_ + "\\Target", file));
    RegKeyTree source = ReadRaw(sub_ + "\\Source");
    RegKeyTree target = ReadRaw(sub_ + "\\Target");
    EXPECT_EQ(source.values.size(), tree.values.size());
    EXPECT_EQ(target, source);
    // Into a key that does not exist yet.
    ASSERT_TRUE(ImportKey(path_ + "\\Fresh\\Key", file));
    EXPECT_EQ(ReadRaw(sub_ + "\\Fresh\\Key"), source);
}

TEST_F(RegistryTest, AMalformedFileLeavesTheTargetUntouched) {
    WriteRaw(sub_ + "\\Source", EveryKindOfValue());
    RegKeyTree before{
        "", {{"keep", kRegSz, Sz("me")}}, {RegKeyTree{"Sub", {{"k", kRegDword, Dword(2)}}, {}}}};
    WriteRaw(sub_ + "\\Target", before);
    std::string file = dir_ / "tree.reg";
    ASSERT_TRUE(ExportKey(path_ + "\\Source", file));
    std::string good = test::ReadFile(file);

    // Cut inside the last line (a hex extension line gets an odd digit count or loses a field).
    const std::vector<std::string> bad = {good.substr(0, good.size() - 7),
                                          good + "\"b\"=bin:1,2,300\r\n", "\"v\"= dw:x\r\n" + good};
    for (size_t i = 0; i < bad.size(); ++i) {
        test::WriteFile(file, bad[i]);
        EXPECT_FALSE(ImportKey(path_ + "\\Target", file)) << i;
        RegKeyTree after = ReadRaw(sub_ + "\\Target");
        EXPECT_EQ(after.values, before.values) << i;
        ASSERT_EQ(after.subkeys.size(), 1u) << i;
        EXPECT_EQ(after.subkeys[0].values, before.subkeys[0].values) << i;
    }
    EXPECT_FALSE(ImportKey(path_ + "\\Target", dir_ / "missing.reg"));
    EXPECT_EQ(ReadRaw(sub_ + "\\Target").values, before.values);
}

TEST_F(RegistryTest, AFailedWriteMidwayPutsTheOldTreeBack) {
    RegKeyTree before{"", {{"keep", kRegSz, Sz("me")}}, {RegKeyTree{"Sub", {}, {}}}};
    WriteRaw(sub_ + "\\Target", before);
    // A key name longer than the registry allows makes the create fail after the tree was replaced.
    std::string file = dir_ / "long.reg";
    test::WriteFile(file,
                    "\\\r\n\"new\"= dw:1\r\n\\" + std::string(300, 'k') + "\r\n\"x\"= dw:2\r\n");
    EXPECT_FALSE(ImportKey(path_ + "\\Target", file));
    RegKeyTree after = ReadRaw(sub_ + "\\Target");
    EXPECT_EQ(after.values, before.values);
    ASSERT_EQ(after.subkeys.size(), 1u);
    EXPECT_EQ(after.subkeys[0].name, "Sub");
}

TEST_F(RegistryTest, ExportOfAMissingKeyWritesTheTopLineAndFails) {
    std::string file = dir_ / "missing.reg";
    test::WriteFile(file, "old content");
    EXPECT_FALSE(ExportKey(path_ + "\\Missing", file));
    EXPECT_EQ(test::ReadFile(file), "\\\r\n");
    EXPECT_FALSE(ExportKey(path_, dir_ / "no such folder\\x.reg"));
    EXPECT_FALSE(ImportKey("HKEY_CURRENT_USER", file));
}

// Sets an empty access list on the key (nobody may open it) or takes it away again.
bool LockKey(const std::string& subkey, bool locked) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, platform::Widen(subkey).c_str(), 0, WRITE_DAC, &key))
        return false;
    SECURITY_DESCRIPTOR sd;
    ACL acl;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&acl, sizeof acl, ACL_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, locked ? &acl : nullptr, FALSE);
    const bool ok = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

TEST_F(RegistryTest, ASubkeyThatCannotBeOpenedGivesItsKeyLineAndTheExportGoesOn) {
    WriteRaw(sub_ + "\\Source", RegKeyTree{"",
                                           {{"top", kRegDword, Dword(1)}},
                                           {RegKeyTree{"A", {{"a", kRegDword, Dword(2)}}, {}},
                                            RegKeyTree{"B", {{"b", kRegDword, Dword(3)}}, {}}}});
    const std::string locked = sub_ + "\\Source\\A";
    ASSERT_TRUE(LockKey(locked, true));
    platform::RegistryKey probe;
    if (platform::OpenRegistryKey(0x80000001u, locked, kKeyRead, probe) == 0) {
        LockKey(locked, false);
        GTEST_SKIP() << "the registry here does not enforce access lists";
    }
    const std::string file = dir_ / "locked.reg";
    const bool exported = ExportKey(path_ + "\\Source", file);
    ASSERT_TRUE(LockKey(locked, false));
    EXPECT_TRUE(exported);
    EXPECT_EQ(test::ReadFile(file), "\\\r\n\"top\"= dw:1\r\n\\A\r\n\\B\r\n\"b\"= dw:3\r\n");
}

}  // namespace
}  // namespace kestrine::registry
