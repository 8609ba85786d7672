#include "registry/export_format.h"

#include <gtest/gtest.h>

#include "base/utf.h"
#include "reg_test_values.h"

namespace kestrine::registry {
namespace {

// Latin-1 stands in for the ANSI code page.
bool FitsLatin1(std::string_view utf8) {
    for (char16_t c : base::Utf8ToUtf16(utf8))
        if (c > 0xFF) return false;
    return true;
}

RegKeyTree RoundTrip(const RegKeyTree& tree) {
    auto plan = ParseExportText(WriteExportText(tree, FitsLatin1));
    EXPECT_TRUE(plan.ok) << plan.error << " at line " << plan.errorLine;
    RegKeyTree back;
    ApplyImportPlan(back, plan.steps);
    return back;
}

TEST(ExportWriter, WritesEachPlainTypeAndThePreOrder) {
    RegKeyTree tree;
    tree.values = {{"", kRegSz, Sz("default")},
                   {"Path", kRegExpandSz, Sz("%USERPROFILE%\\x")},
                   {"Empty", kRegBinary, {}},
                   {"Data", kRegBinary, {1, 0, 255}},
                   {"Flags", kRegDword, Dword(0xFFFFFFFF)},
                   {"Min", kRegDword, Dword(0x80000000)},
                   {"EmptyText", kRegSz, Sz("")}};
    RegKeyTree a{"A", {{"v", kRegDword, Dword(7)}}, {RegKeyTree{"B", {}, {}}}};
    tree.subkeys = {a, RegKeyTree{"C", {}, {}}};
    EXPECT_EQ(WriteExportText(tree, FitsLatin1),
              "\\\r\n"
              "\"\"= sz:default\r\n"
              "\"Path\"=esz:%USERPROFILE%\\x\r\n"
              "\"Empty\"=bin:\r\n"
              "\"Data\"=bin:1,0,255\r\n"
              "\"Flags\"= dw:-1\r\n"
              "\"Min\"= dw:-2147483648\r\n"
              "\"EmptyText\"= sz:\r\n"
              "\\A\r\n"
              "\"v\"= dw:7\r\n"
              "\\A\\B\r\n"
              "\\C\r\n");
}

TEST(ExportWriter, UsesExtensionLinesOnlyForWhatPlainLinesCannotCarry) {
    RegKeyTree tree;
    tree.values = {{"a=b", kRegSz, Sz("x")},
                   {"q\"", kRegSz, Sz("x")},
                   {"multi", kRegMultiSz, {'a', 0, 0, 0, 0, 0}},
                   {"lines", kRegSz, Sz("one\r\ntwo")},
                   {"short", kRegDword, {1, 2}},
                   {"nul", kRegSz, {'a', 0, 0, 0, 'b', 0, 0, 0}},
                   {"plain", kRegSz, Sz("caf\xC3\xA9")},
                   {"none", kRegNone, {9}}};
    std::string text = WriteExportText(tree, FitsLatin1);
    EXPECT_NE(text.find("\"*\"=hex:1:613d62:78000000\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"*\"=hex:7:6d756c7469:610000000000\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"*\"=hex:4:73686f7274:0102\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"*\"=hex:1:6e756c:6100000062000000\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"*\"=hex:0:6e6f6e65:09\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"plain\"= sz:caf\xC3\xA9\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("one"), std::string::npos);
}

TEST(ExportRoundTrip, EveryValueAndKeyComesBackBitForBit) {
    const RegKeyTree tree = EveryKindOfValue();
    EXPECT_EQ(RoundTrip(tree), tree);
    // A key whose name holds a line break is written, but the importer refuses the file with a
    // clear error: nothing can put such a name back (a restore then refuses to start).
    RegKeyTree broken = tree;
    broken.subkeys.push_back(RegKeyTree{"line\nbreak", {}, {}});
    const auto plan = ParseExportText(WriteExportText(broken, FitsLatin1));
    EXPECT_FALSE(plan.ok);
    EXPECT_EQ(plan.error, "control character in a key name");
}

TEST(ExportRoundTrip, ValuesOfANonPlainKeyNeverReachAnOlderImportersCurrentKey) {
    RegKeyTree tree;
    tree.subkeys = {
        RegKeyTree{"A", {}, {}},
        RegKeyTree{"\xE2\x98\x83", {{"plain", kRegSz, Sz("x")}}, {RegKeyTree{"B", {}, {}}}}};
    std::string text = WriteExportText(tree, FitsLatin1);
    // Only "\" and "\A" are lines an older importer acts on; the rest look like unknown types.
    EXPECT_EQ(text,
              "\\\r\n\\A\r\n"
              "\"*\"=key:5ce29883\r\n"
              "\"*\"=hex:1:706c61696e:78000000\r\n"
              "\"*\"=key:5ce298835c42\r\n");
}

TEST(ImportParser, ReadsOldFilesAsTheyWereAlwaysRead) {
    // Unknown types are skipped, an "=" inside a name cuts the name, reading ends at an empty line;
    // a value before the first key line has no key to go to, and any line that is no key line is a
    // value line, its name between the first character and the one before "=".
    auto plan = ParseExportText(
        "\"early\"= dw:1\r\n"
        "\\\r\n"
        "plain=text\r\n"
        "\xC3\xA9q'= dw:7\r\n"
        "\"a=b\"= sz:x\r\n"
        "\"x=hex:1:zz\"= sz:y\r\n"
        "\"k=key:q\"= sz:y\r\n"
        "\"New\"=qwd:1\r\n"
        "\"n\"= dw: 12 \r\n"
        "\"b\"=bin: 1, +2 ,3\r\n"
        "\"s\"= sz:a\nb\r\n"
        "\"*\"=hex:4:4E:0A0B\r\n"  // digits in capitals
        "\\Sub\r\n"
        "\\Sub\r\n"
        "\r\n"
        "\\Ignored\r\n"
        "\"b\"= dw:bad\r\n");  // nothing after the empty line is read, not even to refuse it
    ASSERT_TRUE(plan.ok) << plan.error;
    ASSERT_EQ(plan.steps.size(), 7u);
    EXPECT_EQ(plan.steps[0].kind, ImportStep::Kind::ReplaceTree);
    EXPECT_EQ(plan.steps[1].value, (RegValue{"q", kRegDword, Dword(7)}));
    EXPECT_EQ(plan.steps[2].value, (RegValue{"n", kRegDword, Dword(12)}));
    EXPECT_EQ(plan.steps[3].value, (RegValue{"b", kRegBinary, {1, 2, 3}}));
    EXPECT_EQ(plan.steps[4].value, (RegValue{"s", kRegSz, Sz("a\nb")}));
    EXPECT_EQ(plan.steps[5].value, (RegValue{"N", kRegDword, {10, 11}}));
    EXPECT_EQ(plan.steps[6].kind, ImportStep::Kind::OpenKey);
    EXPECT_EQ(plan.steps[6].relativePath, "Sub");
    EXPECT_TRUE(ParseExportText("").ok);
    EXPECT_TRUE(ParseExportText("\r\n\"b\"= dw:bad").steps.empty());
}

TEST(ImportParser, CutsANameBeforeTheWholeCharacterThatPrecedesTheEqualsSign) {
    // A name whose closing quote is missing loses the character before "=", never half of it; what
    // was read must survive writing and reading again.
    auto plan = ParseExportText("\\\r\n\"v\"\xE2\x8C\x85= sz:merge\r\n");
    ASSERT_TRUE(plan.ok) << plan.error;
    ASSERT_EQ(plan.steps.size(), 2u);
    EXPECT_EQ(plan.steps[1].value.name, "v\"");
    RegKeyTree tree;
    ApplyImportPlan(tree, plan.steps);
    EXPECT_EQ(RoundTrip(tree), tree);
}

TEST(ImportParser, TheTopLineReplacesTheTreeAndAFileWithoutItMerges) {
    const RegKeyTree before{"", {{"keep", kRegDword, Dword(1)}}, {RegKeyTree{"Sub", {}, {}}}};
    RegKeyTree merged = before;
    ApplyImportPlan(merged, ParseExportText("\\Sub\r\n\"v\"= sz:x\r\n").steps);
    ASSERT_EQ(merged.values.size(), 1u);
    EXPECT_EQ(merged.subkeys[0].values, (std::vector<RegValue>{{"v", kRegSz, Sz("x")}}));
    // A name already there, in any case, takes the new value in its place.
    ApplyImportPlan(merged, ParseExportText("\\Sub\r\n\"V\"= sz:y\r\n").steps);
    EXPECT_EQ(merged.subkeys[0].values, (std::vector<RegValue>{{"v", kRegSz, Sz("y")}}));
    RegKeyTree replaced = before;
    ApplyImportPlan(replaced, ParseExportText("\\\r\n\"new\"= dw:2\r\n").steps);
    EXPECT_EQ(replaced, (RegKeyTree{"", {{"new", kRegDword, Dword(2)}}, {}}));
}

TEST(ImportParser, RejectsEveryKindOfMalformedLine) {
    // Each bad line is the file's second.
    const char* const cases[] = {
        "\\\r\n\"n\"= dw:12x\r\n",              // bad number
        "\\\r\n\"n\"= dw:2147483648\r\n",       // not a 32-bit integer
        "\\\r\n\"n\"= dw:-2147483649\r\n",      // not a 32-bit integer
        "\\\r\n\"n\"= dw:\r\n",                 // empty number
        "\\\r\n\"b\"=bin:1,256\r\n",            // byte outside 0..255
        "\\\r\n\"b\"=bin:1,-1\r\n",             // byte outside 0..255
        "\\\r\n\"b\"=bin:1,,2\r\n",             // empty byte
        "\\\r\n\"b\"=bin:0x10\r\n",             // bad byte
        "\\\r\n\"no equals sign\r\n",           // line without "="
        "\\\r\n\"= sz:x\r\n",                   // "=" too early
        "\\\r\nplain text\r\n",                 // line without "="
        "\\\r\n\\A\\\\B\r\n",                   // empty key name
        "\\\r\n\\A\\\r\n",                      // key line ending with a backslash
        "\\\r\n\"*\"=hex:1:zz:00\r\n",          // bad extension hex
        "\\\r\n\"*\"=hex:1:61\r\n",             // extension without data field
        "\\\r\n\"*\"=hex:123456789:61:00\r\n",  // type wider than 32 bits
        "\\\r\n\"*\"=hex:1:ff:00\r\n",          // name not UTF-8
        "\\\r\n\"*\"=key:5c\r\n",               // extension key without a name
        "\\\r\n\"*\"=key:5c415c5c42\r\n",       // extension key with an empty name
        // Control characters in names would cut the lines of later manifests and exports.
        "\\\r\n\\A\nB\r\n",                // a lone LF in a key line
        "\\\r\n\\A\tB\r\n",                // a tab in a key line
        "\\\r\n\"*\"=key:5c410d0a42\r\n",  // CR LF in an extension key line
        "\\\r\n\"a\nb\"= sz:x\r\n",        // a lone LF in a value name
        "\\\r\n\"*\"=hex:1:610d:00\r\n",   // CR in an extension value name
        "\\\r\n\"*\"=hex:1:617f:00\r\n",   // DEL in an extension value name
    };
    for (const char* text : cases) {
        auto plan = ParseExportText(text);
        EXPECT_FALSE(plan.ok) << text;
        EXPECT_EQ(plan.errorLine, 2u) << text;
        EXPECT_TRUE(plan.steps.empty()) << text;
    }
}

}  // namespace
}  // namespace kestrine::registry
