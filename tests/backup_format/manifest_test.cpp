#include <gtest/gtest.h>

#include <vector>

#include "backup_format/backup_contents.h"
#include "backup_format/manifest.h"
#include "base/line_file.h"
#include "platform/text.h"

namespace kestrine::backup_format {
namespace {

ManifestHeader SampleHeader() {
    return ManifestHeader{"PC-01",        "anna",
                          "My Mail",      "12/5/2026 8:35:07 AM",
                          "Outlook 2016", "first line\r\nsecond line"};
}

// Line breaks of the note travel as a token; a lone CR or LF (pasted text) is one too and comes
// back as CR LF, and never ends the manifest's line.
TEST(ManifestNote, LineBreaksTravelAsTokenAndKeepTheBackupValid) {
    EXPECT_EQ(EncodeNote("a\r\nb\r\n"), "aPS$KSTbPS$KST");
    EXPECT_EQ(DecodeNote("aPS$KSTb"), "a\r\nb");
    // A note holding the token text itself comes back with a line break in its place.
    EXPECT_EQ(DecodeNote(EncodeNote("literal PS$KST")), "literal \r\n");
    EXPECT_EQ(EncodeNote(""), "");
    EXPECT_EQ(EncodeNote("lone\nLF\rCR"), "lonePS$KSTLFPS$KSTCR");
    for (const std::string note :
         {"ends with LF\n", "ends with CR\r", "a\n\nb", "a\r\rb", "x\nBackupItem=00000000000"}) {
        ManifestHeader header = SampleHeader();
        header.note = note;
        Manifest m = ReadManifestText(ManifestText(header, {}, "00000000001"));
        EXPECT_TRUE(m.valid) << note;
        EXPECT_EQ(m.itemFlags, "00000000001") << note;
    }
}

TEST(StagingList, JoinAndSplitAndASemicolonInANameTravelsAsABar) {
    EXPECT_EQ(JoinStagingList({"a.pst", "b c.pst"}), "a.pst;b c.pst");
    EXPECT_EQ(JoinStagingList({}), "");
    EXPECT_TRUE(SplitStagingList("").empty());
    EXPECT_EQ(SplitStagingList(";a;;b;"), (std::vector<std::string>{"a", "b"}));
    // No file name holds a bar.
    const std::string list = JoinStagingList({"a;b.txt", "c.htm"});
    EXPECT_EQ(list, "a|b.txt;c.htm");
    EXPECT_EQ(SplitStagingList(list), (std::vector<std::string>{"a;b.txt", "c.htm"}));
    EXPECT_EQ(DecodeEntryName("x|y.RWZ"), "x;y.RWZ");
}

TEST(DataFileStores, SectionsAndPositionsRoundTripAndMalformedPairsAreSkipped) {
    const DataFileStores stores = {{"13dbb0c8aa05101a9bb000aa002fc45a", 0}, {"b", 18}, {"c", 0}};
    const std::string value = JoinDataFileStores(stores);
    EXPECT_EQ(value, "13dbb0c8aa05101a9bb000aa002fc45a:1;b:19;c:1");
    EXPECT_EQ(SplitDataFileStores(value), stores);
    // Names the record cannot hold are left out; those sections restore without it.
    EXPECT_EQ(JoinDataFileStores({{"a;b", 0}, {"c:d", 0}, {"", 0}, {"e", 2}}), "e:3");
    // A section name with a line end or another control character never reaches the manifest.
    EXPECT_EQ(JoinDataFileStores({{"x\r\nBackupItem=1", 0}, {"t\tab", 1}, {"f", 0}}), "f:1");
    EXPECT_EQ(SplitDataFileStores("x;:1;y:;z:0;w:-1;v:1x;u:9999999;t:2"),
              (DataFileStores{{"t", 1}}));
    EXPECT_TRUE(SplitDataFileStores("").empty());
}

TEST(ManifestFile, AnsiWhenEverythingFitsElseUtf8ThatEarlierReadersStillScan) {
    ManifestHeader header = SampleHeader();
    header.identity = "Caf\xC3\xA9";
    const std::string ansiText = ManifestText(header, {}, "00000000000");
    EXPECT_EQ(EncodeManifestFile(ansiText), platform::Utf8ToAnsi(ansiText));
    EXPECT_EQ(DecodeManifestFile(EncodeManifestFile(ansiText)), ansiText);

    header.identity = "B\xC3\xBCro-\xCE\xA9";
    const std::string text =
        ManifestText(header,
                     {{"BackupDatas", "\xE9\x82\xAE\xE4\xBB\xB6.pst"},
                      {kKeyDataFileStores, "s:1"},
                      {"BackupSignatures", JoinStagingList({"\xC5\x81ukasz.htm", "a;b.txt"})}},
                     "01001000000");
    const std::string bytes = EncodeManifestFile(text);
    EXPECT_EQ(bytes, "\xEF\xBB\xBF\r\n" + text);
    EXPECT_EQ(DecodeManifestFile(bytes), text);
    EXPECT_EQ(DecodeManifestFile("\xEF\xBB\xBF" + text), text);  // the mark before the first key
    Manifest m = ReadManifestText(DecodeManifestFile(bytes));
    ASSERT_TRUE(m.valid);
    EXPECT_EQ(m.header.identity, "B\xC3\xBCro-\xCE\xA9");
    EXPECT_EQ(m.entries[IndexOf(Item::DataFiles)], "\xE9\x82\xAE\xE4\xBB\xB6.pst");
    EXPECT_EQ(m.dataFileStores, "s:1");
    EXPECT_EQ(SplitStagingList(m.entries[IndexOf(Item::Signatures)]),
              (std::vector<std::string>{"\xC5\x81ukasz.htm", "a;b.txt"}));
    // An earlier reader takes the file as ANSI text: the mark's line has no "=" and is skipped, so
    // every key is found and ASCII values read as they are.
    const std::string seenByEarlier = platform::AnsiToUtf8(bytes);
    EXPECT_EQ(base::ScanINIText(seenByEarlier, kKeyComputer), "PC-01");
    EXPECT_EQ(base::ScanINIText(seenByEarlier, kKeyItemFlags), "01001000000");
    EXPECT_EQ(base::ScanINIText(seenByEarlier, "BackupDatasStores"), "s:1");
    // Without the data files' flag the record is not read.
    EXPECT_EQ(
        ReadManifestText("BackupDatasStores=s:1\r\nBackupItem=00000000000\r\n").dataFileStores, "");
}

// Written line by line with CR LF in a fixed order, and read back. (Keys are found by the line-file
// rule: first match, any case, "=" kept in values.)
TEST(ManifestText, LinesInOrderWithCrLfAndReadBack) {
    std::vector<std::pair<std::string, std::string>> items = {
        {"BackupConfig", "OBC1A.tmp"},
        {"BackupDatas", "Outlook.pst;archive.pst"},
        {"BackupRules", "My Mail.RWZ"},
        {"BackupSignatures", "a.htm;b.txt"},
        {"BackupContacts", std::string("x.contact\0junk", 14)}};
    const std::string text = ManifestText(SampleHeader(), items, "11100000001");
    EXPECT_EQ(text,
              "BackupComputer=PC-01\r\n"
              "BackupLogonUser=anna\r\n"
              "BackupIdentity=My Mail\r\n"
              "BackupTime=12/5/2026 8:35:07 AM\r\n"
              "Outlookversion=Outlook 2016\r\n"
              "BackupInformation=first linePS$KSTsecond line\r\n"
              "BackupConfig=OBC1A.tmp\r\n"
              "BackupDatas=Outlook.pst;archive.pst\r\n"
              "BackupRules=My Mail.RWZ\r\n"
              "BackupSignatures=a.htm;b.txt\r\n" +
                  std::string("BackupContacts=x.contact\0junk\r\n", 31) +
                  "BackupItem=11100000001\r\n");
    Manifest m = ReadManifestText(text);
    ASSERT_TRUE(m.valid);
    EXPECT_EQ(m.header.computer, "PC-01");
    // Every archive ever written names its items with these keys.
    std::string keys;
    for (const ItemInfo& info : kItems) keys.append(info.manifestKey).push_back(' ');
    EXPECT_EQ(keys,
              "BackupConfig BackupDatas BackupRules BackupAccounts BackupSignatures "
              "BackupStationery BackupPab BackupConfigsetting BackupTemplates BackupSetting "
              "BackupContacts ");
    EXPECT_EQ(m.header.logonUser, "anna");
    EXPECT_EQ(m.header.identity, "My Mail");
    EXPECT_EQ(m.header.time, "12/5/2026 8:35:07 AM");
    EXPECT_EQ(m.header.outlookVersion, "Outlook 2016");
    EXPECT_EQ(m.header.note, "first line\r\nsecond line");
    EXPECT_EQ(m.itemFlags, "11100000001");
    EXPECT_EQ(m.entries[0], "OBC1A.tmp");
    EXPECT_EQ(m.entries[1], "Outlook.pst;archive.pst");
    EXPECT_EQ(m.entries[2], "My Mail.RWZ");
    EXPECT_EQ(m.entries[10], "x.contact");  // cut at the NUL
    EXPECT_EQ(m.entries[4], "");            // flag "0": never looked up
    ManifestHeader empty = SampleHeader();
    empty.note = "";
    m = ReadManifestText(ManifestText(empty, {}, "00000000000"));
    EXPECT_TRUE(m.valid);
    EXPECT_EQ(m.header.note, "");
}

TEST(ManifestRead, InvalidManifests) {
    EXPECT_FALSE(ReadManifestText("").valid);
    EXPECT_FALSE(ReadManifestText("garbage without equals\r\n").valid);
    EXPECT_FALSE(ReadManifestText("BackupItem=1111\r\n").valid);
    EXPECT_FALSE(ReadManifestText("BackupItem=111111111111\r\n").valid);
    EXPECT_FALSE(ReadManifestText("BackupItem=\r\n").valid);
    // An empty line before BackupItem hides it.
    EXPECT_FALSE(ReadManifestText("BackupComputer=PC\r\n\r\nBackupItem=00000000000\r\n").valid);
    // Binary noise does not crash the reader.
    EXPECT_FALSE(ReadManifestText(std::string("\0\xFF=\r\r\n\n=", 8)).valid);
    // A bad manifest gives no entries, even for an item its flags would name.
    Manifest m = ReadManifestText("BackupContacts=x\r\nBackupItem=111111111111\r\n");
    EXPECT_EQ(m.entries[10], "");
}

// What a backup holds comes back from its manifest value as written, names with the record's own
// marks included; a value that anyone may have made (garbage, cut off, too long, no UTF-8) gives
// no list at all, and a hostile name is shown on its line as one name.
TEST(BackupContents, RoundTripsAndAMalformedValueGivesNoList) {
    const BackupContents held{{{"a;b%\t.pst", 5}, {"\u00e9t\u00e9.pst", 0}},
                              {"sam@contoso.com"},
                              {{"old.pst", 1}},
                              {{"C:\\Mail\\gone.pst", 0}}};
    const std::string value = EncodeContents(held);
    EXPECT_EQ(DecodeContents(value), held);
    std::string many, tooMany;
    for (size_t i = 0; i < kMaxContentsRecords; ++i) many += (i ? ";S:" : "S:") + std::to_string(i);
    tooMany = many + ";S:one more";
    EXPECT_EQ(DecodeContents(many)->serverAccounts.size(), kMaxContentsRecords);
    for (const std::string& bad : std::vector<std::string>{
             "", "garbage", "D12", "Dx:a.pst", "D1:a.pst;", ";D1:a.pst", "X1:a.pst", "D1:", "D1:%4",
             "D1:a%ZZ", "D99999999999999999999:a.pst", "D-1:a.pst", "S:\xFF\xFE", "S:%C3", tooMany})
        EXPECT_FALSE(DecodeContents(bad)) << bad.substr(0, 40);

    // A line break, a control character or a turn of direction in a name stays inside its line;
    // the characters beside those marks are shown as they are.
    const auto shown = DescribeContents(
        *DecodeContents("D3:a%0D%0AData file included: "
                        "b.pst;S:x\xE2\x80\xAEtsp.exe;S:\xE2\x81\xA9\xE2\x81\xAA\xE2\x82\xAC"));
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0],
              "Data file included: a\xEF\xBF\xBD\xEF\xBF\xBD"
              "Data file included: b.pst (3 bytes).");
    EXPECT_EQ(shown[1].find("Mail of x\xEF\xBF\xBDtsp.exe stays"), 0u);
    EXPECT_EQ(shown[2].find("Mail of \xEF\xBF\xBD\xE2\x81\xAA\xE2\x82\xAC stays"), 0u) << shown[2];
    EXPECT_EQ(shown[3], kPasswordsNote);
}

}  // namespace
}  // namespace kestrine::backup_format
