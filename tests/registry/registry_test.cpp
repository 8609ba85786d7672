// The registry toolkit against the in-memory registry, which can be made to refuse single
// operations.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/path.h"
#include "platform/file_stream.h"
#include "platform/registry_access.h"
#include "reg_test_values.h"
#include "registry/export_format.h"
#include "registry/key_path.h"
#include "registry/registry.h"
#include "registry_stand_in.h"
#include "test_support.h"

namespace kestrine::registry {
namespace {

namespace memory = platform::memory_registry;
using Op = memory::Operation;
constexpr uint32_t kUser = memory::kCurrentUser;

// The tree as stored, with values and subkeys sorted by name so that trees compare whatever the
// order they were written in.
RegKeyTree ReadRaw(const std::string& subkey) {
    RegKeyTree tree;
    platform::RegistryKey key;
    if (platform::OpenRegistryKey(kUser, subkey, kKeyRead, key) != 0) return tree;
    platform::RegistryValue v;
    for (uint32_t i = 0; platform::EnumRegistryValue(key, i, v) == 0; ++i)
        tree.values.push_back({v.name, v.type, v.data});
    std::vector<std::string> names;
    std::string sub;
    for (uint32_t i = 0; platform::EnumRegistrySubKey(key, i, sub) == 0; ++i) names.push_back(sub);
    for (const auto& name : names) {
        RegKeyTree child = ReadRaw(subkey + "\\" + name);
        child.name = name;
        tree.subkeys.push_back(child);
    }
    std::sort(tree.values.begin(), tree.values.end(),
              [](const RegValue& a, const RegValue& b) { return a.name < b.name; });
    return tree;
}

void WriteRaw(const std::string& subkey, const RegKeyTree& tree) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::CreateRegistryKey(kUser, subkey, key), 0) << subkey;
    for (const auto& v : tree.values)
        ASSERT_EQ(platform::SetRegistryValue(key, v.name, v.type, v.data), 0) << v.name;
    key.Close();
    for (const auto& sub : tree.subkeys) WriteRaw(subkey + "\\" + sub.name, sub);
}

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { memory::Reset(); }
    // Every operation closes the keys it opened.
    void TearDown() override { EXPECT_EQ(memory::OpenKeyCount(), 0); }
    void Refuse(Op op, const std::string& subkey, int succeedFirst = 0) {
        memory::PlantFailure(op, kUser, subkey, platform::kRegAccessDenied, succeedFirst);
    }
    const std::string sub_ = "Software\\KestrineTest\\Key";
    const std::string path_ = "HKEY_CURRENT_USER\\" + sub_;
    test::TempDir dir_;
};

TEST_F(RegistryTest, MalformedPathsAndUnknownRootsFailQuietlyAndARootAloneIsTheRootKey) {
    for (const std::string path :
         {"hkey_current_user\\Software", "HKEY_CURRENT_USER\\Software\\", "HKEY_FOO\\Bar"}) {
        EXPECT_FALSE(KeyExists(path));
        EXPECT_EQ(GetStringValue(path, "x"), std::nullopt);
        EXPECT_TRUE(EnumSubKeys(path).names.empty());
        EXPECT_EQ(GetBinaryPath(path, "x"), std::nullopt);
        EXPECT_FALSE(SetStringValue(path, "x", "y"));
        EXPECT_FALSE(DeleteKey(path));
    }
    EXPECT_TRUE(KeyExists("HKEY_CURRENT_USER"));
    auto top = EnumSubKeys("HKEY_CURRENT_USER");
    EXPECT_FALSE(top.failed);
    EXPECT_EQ(top.names, std::vector<std::string>{"Software"});
}

TEST_F(RegistryTest, StringValuesUpTo255BytesWithTheTerminatorReadAsStored) {
    WriteRaw(sub_, {});
    EXPECT_TRUE(SetStringValue(path_, "s", "  spaced text"));
    EXPECT_EQ(GetStringValue(path_, "S"), "spaced text");
    SetStringValue(path_, "max", std::string(254, 'x'));
    EXPECT_EQ(GetStringValue(path_, "max"), std::string(254, 'x'));
    SetStringValue(path_, "over", std::string(255, 'x'));
    EXPECT_EQ(GetStringValue(path_, "over"), std::nullopt);
    EXPECT_EQ(GetStringValue(path_, "missing"), std::nullopt);
    SetStringValue(path_, "u", "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(GetStringValue(path_, "u"), "\xE6\x97\xA5\xE6\x9C\xAC");
    SetStringValue(path_, "", "default");
    EXPECT_EQ(GetStringValue(path_, ""), "default");
    EXPECT_TRUE(DeleteValue(path_, "s"));
    EXPECT_EQ(GetStringValue(path_, "s"), std::nullopt);
    EXPECT_TRUE(DeleteValue(path_, "s"));  // already gone
    EXPECT_TRUE(DeleteValue(path_ + "\\Missing", "s"));
    EXPECT_FALSE(SetStringValue(path_ + "\\Missing", "s", "x"));  // no key is made
    EXPECT_EQ(GetStringValue(path_ + "\\Missing", "x"), std::nullopt);
    // A value whose text is "Error" reads as that text; an expandable one as stored; data that is
    // no string as ANSI text up to its first zero byte.
    WriteRaw(sub_, {"",
                    {{"Path", kRegSz, Sz("Error")},
                     {"n", kRegDword, Dword(0)},
                     {"keep", kRegDword, Dword(0x12345678)},
                     {"four", kRegBinary, {1, 2, 3, 4}},
                     {"Shell", kRegExpandSz, Sz("%USERPROFILE%\\Mail")},
                     {"torn", kRegSz, {'a', 0, 0x00, 0xD8, 0, 0}}},  // a lone surrogate
                    {}});
    EXPECT_EQ(GetStringValue(path_, "Path"), "Error");
    EXPECT_EQ(GetMachineStringValue(path_, "Path"), "Error");
    EXPECT_EQ(GetStringValue(path_, "Shell"), "%USERPROFILE%\\Mail");
    EXPECT_EQ(GetStringValue(path_, "n"), "");
    // A policy's text must be text: ill-formed UTF-16 is no value, not a guess at one.
    EXPECT_EQ(GetTextValue(path_, "Shell"), "%USERPROFILE%\\Mail");
    EXPECT_EQ(GetTextValue(path_, "torn"), std::nullopt);
    // A policy's number is a DWORD of all four bytes, and four bytes of another type are none.
    EXPECT_EQ(GetDwordValue(path_, "keep"), 0x12345678u);
    EXPECT_EQ(GetDwordValue(path_, "four"), std::nullopt);
    EXPECT_EQ(GetDwordValue(path_, "Path"), std::nullopt);
}

TEST_F(RegistryTest, RefusedReadsAndWritesAreFailuresNotText) {
    WriteRaw(sub_, {"", {{"v", kRegSz, Sz("text")}}, {}});
    Refuse(Op::QueryValue, sub_);
    EXPECT_EQ(GetStringValue(path_, "v"), std::nullopt);
    Refuse(Op::SetValue, sub_);
    EXPECT_FALSE(SetStringValue(path_, "v", "new"));
    Refuse(Op::DeleteValue, sub_);
    EXPECT_FALSE(DeleteValue(path_, "v"));  // there, and still there
    Refuse(Op::Open, sub_);
    EXPECT_FALSE(KeyExists(path_));
    EXPECT_FALSE(DeleteValue(path_, "v"));
    memory::ClearFailures();
    EXPECT_EQ(GetStringValue(path_, "v"), "text");
}

TEST_F(RegistryTest, MachineValuesAreAlsoFoundInThe32BitView) {
    const uint32_t machine = memory::kLocalMachine;
    const auto write = [&](const std::string& subkey, const char* text) {
        platform::RegistryKey key;
        ASSERT_EQ(platform::CreateRegistryKey(machine, subkey, key), 0);
        ASSERT_EQ(platform::SetRegistryValue(key, "Path", kRegSz, Sz(text)), 0);
    };
    write("Software\\WOW6432Node\\Office\\Only32", "C:\\x86\\");
    EXPECT_EQ(GetMachineStringValue("HKEY_LOCAL_MACHINE\\Software\\Office\\Only32", "Path"),
              "C:\\x86\\");
    EXPECT_EQ(GetStringValue("HKEY_LOCAL_MACHINE\\Software\\Office\\Only32", "Path"), std::nullopt);
    // The native view comes first.
    write("Software\\Office\\Both", "C:\\x64\\");
    write("Software\\WOW6432Node\\Office\\Both", "C:\\x86\\");
    EXPECT_EQ(GetMachineStringValue("HKEY_LOCAL_MACHINE\\Software\\Office\\Both", "Path"),
              "C:\\x64\\");
    EXPECT_EQ(GetMachineStringValue("HKEY_LOCAL_MACHINE\\Software\\Office\\None", "Path"),
              std::nullopt);
}

TEST_F(RegistryTest, DeleteKeyTreeRemovesNestedKeysButNeverARootKey) {
    WriteRaw(sub_, {"",
                    {{"v", kRegDword, Dword(1)}},
                    {RegKeyTree{"A", {}, {RegKeyTree{"B", {}, {RegKeyTree{"C", {}, {}}}}}},
                     RegKeyTree{"D", {}, {}}}});
    EXPECT_FALSE(DeleteKey(path_));  // not while it has subkeys
    EXPECT_TRUE(DeleteKey(path_ + "\\D"));
    EXPECT_FALSE(KeyExists(path_ + "\\D"));
    EXPECT_TRUE(DeleteKeyTree(path_));
    EXPECT_FALSE(KeyExists(path_));
    EXPECT_TRUE(DeleteKeyTree(path_));  // a missing key counts as deleted
    EXPECT_FALSE(DeleteKeyTree("HKEY_CURRENT_USER"));
    EXPECT_TRUE(KeyExists("HKEY_CURRENT_USER\\Software"));
}

TEST_F(RegistryTest, ListingsAndDeletionsThatFailMidwaySaySo) {
    WriteRaw(sub_,
             {"", {}, {RegKeyTree{"A", {}, {RegKeyTree{"B", {}, {}}}}, RegKeyTree{"D", {}, {}}}});
    Refuse(Op::EnumSubKeys, sub_, 1);
    auto list = EnumSubKeys(path_);
    EXPECT_TRUE(list.failed);
    EXPECT_EQ(list.names, std::vector<std::string>{"A"});  // what was read is kept
    EXPECT_FALSE(DeleteKeyTree(path_));
    memory::ClearFailures();

    Refuse(Op::DeleteKey, sub_ + "\\D");
    EXPECT_FALSE(DeleteKeyTree(path_));
    EXPECT_TRUE(KeyExists(path_ + "\\D"));
    EXPECT_FALSE(KeyExists(path_ + "\\A"));
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
    EXPECT_EQ(GetBinaryPath(path_, "01020FFF"), std::nullopt);
    EXPECT_EQ(GetBinaryPathViaFile(path_, "01020FFF"), std::nullopt);
    EXPECT_EQ(GetBinaryPath(path_, "text"), std::nullopt);  // not REG_BINARY
    EXPECT_EQ(GetBinaryPath(path_, "ansi"), std::nullopt);
    EXPECT_EQ(GetBinaryPathViaFile(path_, "ansi"), "C:\\Mail\\caf\xC3\xA9.pst");
    EXPECT_EQ(GetBinaryPath(path_, "big"), "D:\\Big\\x.pst");
    EXPECT_EQ(GetBinaryPath(path_ + "\\Missing", "big"), std::nullopt);
    Refuse(Op::EnumValues, sub_, 2);
    EXPECT_EQ(GetBinaryPath(path_, "big"), std::nullopt);
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
    Refuse(Op::SetValue, sub_);
    EXPECT_EQ(ReplaceBinaryPath(path_, "ansi", "D:\\n.pst", "F:\\f.pst"), PathRewrite::WriteFailed);
    auto tree = ReadRaw(sub_);
    ASSERT_EQ(tree.values.size(), 3u);
    EXPECT_EQ(tree.values[0].data, Utf16Data(u"\x1\x2"
                                             u"E:\\New\\\x65E5.pst"));
    EXPECT_EQ(tree.values[1].data,
              (std::vector<uint8_t>{7, 'D', ':', '\\', 'n', '.', 'p', 's', 't', 0}));
    EXPECT_EQ(tree.values[2].data, (std::vector<uint8_t>{1, 2, 3}));
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
    EXPECT_TRUE(ExportFileIsImportable(file));
}

class ImportTest : public RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        WriteRaw(sub_ + "\\Source", EveryKindOfValue());
        WriteRaw(sub_ + "\\Target", before);
        ASSERT_TRUE(ExportKey(path_ + "\\Source", file));
    }
    // The target as it was, whatever failed.
    void ExpectUntouched(const std::string& what) {
        memory::ClearFailures();
        EXPECT_EQ(ReadRaw(sub_ + "\\Target"), before) << what;
    }
    const RegKeyTree before{
        "", {{"keep", kRegSz, Sz("me")}}, {RegKeyTree{"Sub", {{"k", kRegDword, Dword(2)}}, {}}}};
    const std::string file = dir_ / "tree.reg";
};

TEST_F(ImportTest, AMalformedFileLeavesTheTargetUntouched) {
    const std::string good = test::ReadFile(file);
    // Cut inside the last line (a hex extension line gets an odd digit count or loses a field).
    const std::vector<std::string> bad = {good.substr(0, good.size() - 7),
                                          good + "\"b\"=bin:1,2,300\r\n", "\"v\"= dw:x\r\n" + good};
    for (size_t i = 0; i < bad.size(); ++i) {
        test::WriteFile(file, bad[i]);
        EXPECT_FALSE(ExportFileIsImportable(file)) << i;
        EXPECT_FALSE(ImportKey(path_ + "\\Target", file)) << i;
        ExpectUntouched("malformed " + std::to_string(i));
    }
    EXPECT_FALSE(ImportKey(path_ + "\\Target", dir_ / "missing.reg"));
    ExpectUntouched("missing file");
    // A root key is never replaced whole, even by a good file.
    test::WriteFile(file, good);
    EXPECT_FALSE(ImportKey("HKEY_CURRENT_USER", file));
    ExpectUntouched("a root key");
}

TEST_F(ImportTest, AFailedWriteMidwayPutsTheOldTreeBack) {
    Refuse(Op::SetValue, sub_ + "\\Target\\After");
    EXPECT_FALSE(ImportKey(path_ + "\\Target", file));
    ExpectUntouched("a value that cannot be written");
    Refuse(Op::Create, sub_ + "\\Target\\After");
    EXPECT_FALSE(ImportKey(path_ + "\\Target", file));
    ExpectUntouched("a key that cannot be made");
    // A key name longer than the registry allows.
    test::WriteFile(file,
                    "\\\r\n\"new\"= dw:1\r\n\\" + std::string(300, 'k') + "\r\n\"x\"= dw:2\r\n");
    EXPECT_FALSE(ImportKey(path_ + "\\Target", file));
    ExpectUntouched("a name too long");
}

TEST_F(ImportTest, ATargetThatCannotBeReadWholeIsNotReplaced) {
    // Without the old tree in hand a failed import could not put it back.
    Refuse(Op::EnumValues, sub_ + "\\Target\\Sub");
    EXPECT_FALSE(ImportKey(path_ + "\\Target", file));
    ExpectUntouched("unreadable values");
    Refuse(Op::Open, sub_ + "\\Target\\Sub");
    EXPECT_FALSE(ImportKey(path_ + "\\Target", file));
    ExpectUntouched("a subkey that cannot be opened");
    EXPECT_FALSE(ImportKey("HKEY_CURRENT_USER", file));
}

TEST_F(RegistryTest, AnExportWritesWhatItCanReadAndSaysWhetherItWasAll) {
    std::string file = dir_ / "missing.reg";
    test::WriteFile(file, "old content");
    EXPECT_FALSE(ExportKey(path_ + "\\Missing", file));
    EXPECT_EQ(test::ReadFile(file), "\\\r\n");
    EXPECT_FALSE(ExportKey(path_, base::JoinPath(dir_ / "no such folder", "x.reg")));

    WriteRaw(sub_ + "\\Source", RegKeyTree{"",
                                           {{"top", kRegDword, Dword(1)}},
                                           {RegKeyTree{"A", {{"a", kRegDword, Dword(2)}}, {}},
                                            RegKeyTree{"B", {{"b", kRegDword, Dword(3)}}, {}}}});
    // A subkey that cannot be opened (no access to it) gives its key line alone, and is no fault.
    file = dir_ / "locked.reg";
    Refuse(Op::Open, sub_ + "\\Source\\A");
    std::string written;
    EXPECT_TRUE(ExportKey(path_ + "\\Source", file, &written));
    EXPECT_EQ(test::ReadFile(file), "\\\r\n\"top\"= dw:1\r\n\\A\r\n\\B\r\n\"b\"= dw:3\r\n");
    EXPECT_EQ(written, test::ReadFile(file));
    // A listing that fails is.
    Refuse(Op::EnumValues, sub_ + "\\Source\\B");
    EXPECT_FALSE(ExportKey(path_ + "\\Source", file));
    EXPECT_EQ(test::ReadFile(file), "\\\r\n\"top\"= dw:1\r\n\\A\r\n\\B\r\n");
}

}  // namespace
}  // namespace kestrine::registry
