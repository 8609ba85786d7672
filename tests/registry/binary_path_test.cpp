#include "registry/binary_path.h"

#include <gtest/gtest.h>

#include "base/utf.h"
#include "reg_test_values.h"
#include "registry/key_path.h"
#include "registry/registry.h"

namespace kestrine::registry {
namespace {

TEST(KeyPath, SplitsRootAndSubkeyAndRefusesMalformedPaths) {
    auto parts = SplitKeyPath("HKEY_CURRENT_USER\\Software\\A\\B");
    EXPECT_TRUE(parts.wellFormed);
    EXPECT_EQ(parts.root, 0x80000001u);
    EXPECT_EQ(parts.subkey, "Software\\A\\B");
    EXPECT_EQ(SplitKeyPath("HKEY_LOCAL_MACHINE").subkey, "");  // the root key itself
    for (const char* path : {"hkey_current_user\\Software", "HKEY_CURRENT_USER\\Software\\", "",
                             "Software\\HKEY_CURRENT_USER"}) {
        EXPECT_FALSE(SplitKeyPath(path).wellFormed) << path;
        EXPECT_EQ(SplitKeyPath(path).root, 0u) << path;
    }
    EXPECT_TRUE(SplitKeyPath("HKEY_FOO\\Bar").wellFormed);  // well formed, but no root
    EXPECT_EQ(SplitKeyPath("HKEY_FOO\\Bar").root, 0u);
    // Each root by the handle Windows predefines for it (a restore into another user goes through
    // HKEY_USERS).
    uint32_t handle = 0x80000000u;
    for (const char* root :
         {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
          "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"})
        EXPECT_EQ(SplitKeyPath(std::string(root) + "\\S").root, handle++) << root;
}

TEST(BinaryPath, FindsDrivePathsAndNetworkPathsAfterAHeader) {
    EXPECT_EQ(ExtractDataFilePath(DecodeBinaryText(Utf16Data(u"\x1\x2\x3\x4"
                                                             u"C:\\Data\\mail.pst"))),
              "C:\\Data\\mail.pst");
    EXPECT_EQ(ExtractDataFilePath(DecodeBinaryText(Utf16Data(u"ab\\\\server\\share\\a.pst"))),
              "\\\\server\\share\\a.pst");
    EXPECT_EQ(ExtractDataFilePath(DecodeBinaryText(Utf16Data(u"C:\\Data\\mail.pst"))),
              std::nullopt);
    EXPECT_EQ(ExtractDataFilePath(u""), std::nullopt);
    // The last ":\" wins; non-ANSI characters come through.
    EXPECT_EQ(ExtractDataFilePath(u"xxC:\\old yyD:\\\x65E5.pst"), "D:\\\xE6\x97\xA5.pst");
}

TEST(BinaryPath, DecodesEveryBytePattern) {
    // Last byte non-zero, first byte non-zero with a zero second byte: single characters.
    EXPECT_EQ(DecodeBinaryText({'A', 0, 'B'}), u"AB");
    EXPECT_EQ(DecodeBinaryText({'A'}), u"A");
    EXPECT_EQ(DecodeBinaryText({}), u"");
    EXPECT_EQ(DecodeBinaryText({0, 0, 0}), u"");
    // Consecutive non-zero bytes pair up, low byte first.
    EXPECT_EQ(DecodeBinaryText({0xE5, 0x65, 0, 0}), u"\x65E5");
    EXPECT_EQ(DecodeBinaryText({'a', 'b', 'c'}), std::u16string(1, u'\x6261') + u"c");
    // Values of 32 KB and more decode too.
    std::vector<uint8_t> big(40000, 0);
    auto tail = Utf16Data(u"hdrC:\\x.pst");
    std::copy(tail.begin(), tail.end(), big.end() - static_cast<long>(tail.size()));
    EXPECT_EQ(ExtractDataFilePath(DecodeBinaryText(big)), "C:\\x.pst");
    EXPECT_EQ(NonZeroBytes({0, 'C', 0, ':', 0}), "C:");
}

TEST(HexImage, WritesBytesWithoutLeadingZerosAndReadsThemBack) {
    EXPECT_EQ(HexImage({0x43, 0x3A, 0x5C, 0x00}), "43=3A=5C=0");
    EXPECT_EQ(HexImage({0x0A, 0x0F, 0x10, 0xFF}), "A=F=10=FF");
    EXPECT_EQ(HexImage({}), "");
    EXPECT_EQ(ParseHexImage("43=3A=5C=0"), (std::vector<uint8_t>{0x43, 0x3A, 0x5C, 0}));
    EXPECT_EQ(ParseHexImage(""), std::vector<uint8_t>{});
    EXPECT_FALSE(ParseHexImage("43==0"));
    EXPECT_FALSE(ParseHexImage("100"));
    EXPECT_FALSE(ParseHexImage("G"));
    EXPECT_EQ(Utf16PathImage("C:\\"), "43=0=3A=0=5C=0=");
    EXPECT_EQ(Utf16PathImage("\xE6\x97\xA5"), "E5=65=");
    EXPECT_EQ(SingleBytePathImage("C:\\"), "43=3A=5C=");
}

TEST(HexImage, ReplacesWholeBytesOnly) {
    bool changed = false;
    // "3=0=" must not match the tail of "43=0=".
    EXPECT_EQ(ReplaceInHexImage("43=0=1", "3=0=", "7=0=", changed), "43=0=1");
    EXPECT_FALSE(changed);
    EXPECT_EQ(ReplaceInHexImage("1=2=1=2=1", "1=2=", "5=", changed), "5=5=1");
    EXPECT_TRUE(changed);
    EXPECT_EQ(ReplaceInHexImage("1=2", "1=2=", "", changed), "");
    EXPECT_EQ(ReplaceInHexImage("1=2", "", "5=", changed), "1=2");
    EXPECT_FALSE(changed);
}

TEST(ReplacePath, PrefersUtf16AndFallsBackToSingleBytes) {
    auto utf16 = Utf16Data(
        u"\x1\x2"
        u"C:\\old.pst");
    EXPECT_EQ(
        ReplacePathInData(utf16, "C:\\old.pst", "D:\\new\\b.pst", "C:\\old.pst", "D:\\new\\b.pst"),
        Utf16Data(u"\x1\x2"
                  u"D:\\new\\b.pst"));
    std::vector<uint8_t> ansi = {1, 'C', ':', '\\', 'o', '.', 'p', 0};
    EXPECT_EQ(ReplacePathInData(ansi, "C:\\o.p", "E:\\n.p", "C:\\o.p", "E:\\n.p"),
              (std::vector<uint8_t>{1, 'E', ':', '\\', 'n', '.', 'p', 0}));
    // Without an ANSI form the single-byte pass is not tried; a path that is not there is said so.
    EXPECT_FALSE(ReplacePathInData(ansi, "C:\\o.p", "E:\\n.p", std::nullopt, std::nullopt));
    EXPECT_FALSE(ReplacePathInData(ansi, "Z:\\none", "E:\\n.p", "Z:\\none", "E:\\n.p"));
    EXPECT_FALSE(ReplacePathInData({}, "C:\\a", "D:\\b", "C:\\a", "D:\\b"));
    // The same path is found, and written again unchanged.
    EXPECT_EQ(ReplacePathInData(ansi, "C:\\o.p", "C:\\o.p", "C:\\o.p", "C:\\o.p"), ansi);
}

TEST(DataFilePath, CharactersWithAZeroLowByteDecodeAndRewrite) {
    // U+4E00, U+5800 and U+0100 are stored with a zero low byte, which pairing non-zero bytes
    // loses.
    const std::u16string folder = u"C:\\Users\\\x4E00\x90CE\\\x5800\x0100\\";
    const std::string folder8 = base::Utf16ToUtf8(folder);
    for (const std::u16string header : {u"\x1\x2\x3\x4", u"\x1\x2\x3"}) {
        auto data = Utf16Data(header + folder + u"Outlook.pst");
        EXPECT_EQ(DataFilePathIn(data), folder8 + "Outlook.pst");
        // An odd header byte, and bytes after the terminator, shift the alignment.
        data.insert(data.begin(), 9);
        EXPECT_EQ(DataFilePathIn(data), folder8 + "Outlook.pst");
        data.push_back(0);
        EXPECT_EQ(DataFilePathIn(data), folder8 + "Outlook.pst");

        auto rewritten = ReplacePathInData(data, folder8 + "Outlook.pst", "D:\\\xE4\xB8\x80\\n.pst",
                                           std::nullopt, std::nullopt);
        ASSERT_TRUE(rewritten);
        EXPECT_EQ(DataFilePathIn(*rewritten), "D:\\\xE4\xB8\x80\\n.pst");
    }
    // A path in single bytes has none in UTF-16 (the caller reads it as ANSI text then).
    EXPECT_EQ(DataFilePathIn({1, 0, 0, 0, 'C', ':', '\\', 'a', '.', 'p', 's', 't', 0}),
              std::nullopt);
    EXPECT_EQ(DataFilePathIn(Utf16Data(u"ab\\\\server\\share\\a.pst")), "\\\\server\\share\\a.pst");
    EXPECT_EQ(DataFilePathIn({}), std::nullopt);
    EXPECT_EQ(DataFilePathIn({0x41}), std::nullopt);
}

}  // namespace
}  // namespace kestrine::registry
