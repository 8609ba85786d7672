// The shared text and path rules, and the line-file rule that the manifest is read by.
#include <gtest/gtest.h>

#include "base/line_file.h"
#include "base/path.h"
#include "base/text.h"
#include "base/utf.h"

namespace kestrine::base {
namespace {

TEST(Text, OnlySpacesTrimOnlyAsciiFoldsAndReplacingNeverRescans) {
    EXPECT_EQ(TrimSpaces("\ta b \t "), "\ta b \t");
    EXPECT_FALSE(EqualsNoCase("\xC3\xA9", "\xC3\x89"));
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
}

TEST(Paths, JoinBaseNameAndFolderPart) {
    struct Case {
        const char* folder;
        const char* joined;
    } joins[] = {{"C:\\Program Files\\Kestrine", "C:\\Program Files\\Kestrine\\x.dat"},
                 {"C:\\", "C:\\x.dat"},
                 {"D:\\backup\\", "D:\\backup\\x.dat"},
                 {"/tmp/k/", "/tmp/k/x.dat"},
                 {"", "x.dat"}};
    for (const auto& c : joins) EXPECT_EQ(JoinPath(c.folder, "x.dat"), c.joined) << c.folder;
    EXPECT_EQ(JoinPath("/tmp", "x", '/'), "/tmp/x");

    struct Split {
        const char* path;
        const char* folder;
        const char* name;
    } splits[] = {{"C:\\Mail\\a.pst", "C:\\Mail", "a.pst"},
                  {"C:\\a.pst", "C:\\", "a.pst"},
                  {"\\\\server\\share\\a.pst", "\\\\server\\share", "a.pst"},
                  {"C:\\Mail/a.pst", "C:\\Mail", "a.pst"},
                  {"/a.pst", "/", "a.pst"},
                  {"a.pst", "", "a.pst"},
                  {"C:\\Mail\\", "C:\\Mail", ""}};
    for (const auto& c : splits) {
        EXPECT_EQ(FolderPart(c.path), c.folder) << c.path;
        EXPECT_EQ(BaseName(c.path), c.name) << c.path;
    }
    // The drive a file lies on, for weighing free space.
    for (const auto& [path, root] : {std::pair{"c:\\Mail\\a.pst", "c:\\"},
                                     {"\\\\server\\share\\Mail\\a.pst", "\\\\server\\share\\"},
                                     {"\\\\server", "\\\\server"},
                                     {"/tmp/a", "/"},
                                     {"a.pst", ""}})
        EXPECT_EQ(PathRoot(path), root) << path;
    // What Windows would resolve against the current folder is no full path.
    for (const char* full : {"C:\\", "d:/Mail", "\\\\server\\share"}) EXPECT_TRUE(IsFullPath(full));
    for (const char* relative : {"C:Mail", "\\Mail", "Mail", "1:\\x", "\\\\\\x", "\\\\"})
        EXPECT_FALSE(IsFullPath(relative)) << relative;
    // A drive's root keeps its separator: "C:" alone is the drive's current folder.
    for (const auto& [folder, trimmed] : {std::pair{"C:\\Mail\\\\", "C:\\Mail"},
                                          {"C:\\\\", "C:\\"},
                                          {"\\\\server\\share\\", "\\\\server\\share"},
                                          {"\\", "\\"}})
        EXPECT_EQ(WithoutTrailingSeparators(folder), trimmed) << folder;
}

TEST(Utf, ConversionsKeepEveryCharacterAndMarkWhatIsBroken) {
    const std::string text = "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80";
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80").size(), 2u);  // a surrogate pair
    EXPECT_EQ(Utf8ToUtf16("a\x80"), u"a\xFFFD");
    EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // an unpaired surrogate
    EXPECT_FALSE(IsWellFormedUtf16(u"\xDC00"));
    EXPECT_EQ(BytesToUtf16(Utf16ToBytes(u"A\x65E5")), u"A\x65E5");
    EXPECT_EQ(Utf16ToBytes(u"A"), (std::vector<uint8_t>{'A', 0}));
}

TEST(LineFile, TheGetIniRule) {
    struct Case {
        const char* text;
        const char* key;
        const char* value;
    } cases[] = {
        // The first match in file order wins, whatever the section.
        {"[one]\r\nName=first\r\n[two]\r\nName=second\r\n", "Name", "first"},
        // Keys match without regard to case, but only whole.
        {"BackupContacts=a.vcf\r\n", "BACKUPCONTACTS", "a.vcf"},
        {"BackupContacts=a.vcf\r\n", "BackupContact", ""},
        // An empty line hides everything below it.
        {"A=1\r\n\r\nB=2\r\n", "B", ""},
        {"\r\nA=1\r\n", "A", ""},
        // The value keeps further "=" signs; lines without "=" are skipped.
        {"Path=C:\\a=b\\c.ksx\r\n", "Path", "C:\\a=b\\c.ksx"},
        {"[section]\r\nfree text\r\nKey=v\r\n", "Key", "v"},
        {"free text\r\n", "free text", ""},
        // Lines end at CR LF, CR or LF, and the last one may have no end.
        {"A=1\nB=2\n", "B", "2"},
        {"A=1\rB=2\r", "B", "2"},
        {"Last=v", "Last", "v"},
        {"Empty=\r\nNext=x\r\n", "Empty", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ScanINIText(c.text, c.key), c.value) << c.text;
    EXPECT_EQ(INILine("K", "a=b"), "K=a=b\r\n");
}

}  // namespace
}  // namespace kestrine::base
