// Archives that lie: escaping names, truncation, false sizes and offsets, overlapping entries,
// corrupted data and authentication codes. Each fails clearly and destroys nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive_reader.h"
#include "archive/zip_format.h"
#include "archive/zip_reader.h"
#include "platform/file_stream.h"
#include "test_support.h"
#include "zip_test_util.h"

namespace kestrine::test {
namespace {

using archive::ArchiveReader;
namespace fs = std::filesystem;

class ZipHostileTest : public ::testing::Test {
  protected:
    std::string Save(const std::string& name, const std::string& bytes) {
        test::Save(dir / name, bytes);
        return dir / name;
    }
    // Writes an archive of ours and returns its bytes.
    std::string Ours(const std::vector<std::pair<std::string, std::string>>& files,
                     const std::string& password, size_t chunkSize = 64 * 1024) {
        TempDir src;
        std::vector<std::string> paths;
        for (auto& [name, bytes] : files) {
            test::Save(src / name, bytes);
            paths.push_back(src / name);
        }
        std::string path = dir / "ours.ksx";
        EXPECT_TRUE(WriteZip(path, paths, password, chunkSize));
        return Load(path);
    }
    // Opening may fail; when it does not, every entry must fail its test and extraction.
    void ExpectRefused(const std::string& bytes, const std::string& password = "") {
        std::string path = Save("bad.ksx", bytes);
        ArchiveReader zip;
        if (const Status opened = zip.OpenArchive(path); !opened) {
            EXPECT_FALSE(opened.message().empty());
            EXPECT_TRUE(zip.Entries().empty());  // nothing of it stays open
            return;
        }
        zip.SetReadingPassword(password);
        const Status tested = zip.TestEntries();
        EXPECT_FALSE(tested);
        EXPECT_FALSE(tested.message().empty());
    }
    TempDir dir, dest;
};

// Names that would leave the folder, name a device, or that Windows would change, are refused and
// nothing is written anywhere. NTFS counts UTF-16 units: 255 three-byte characters fit, 128
// four-byte ones do not.
TEST_F(ZipHostileTest, NamesThatLeaveTheFolderAreRefused) {
    std::string wide255, emoji127;
    for (int i = 0; i < 255; ++i) wide255 += "日";
    for (int i = 0; i < 127; ++i) emoji127 += "\xF0\x9F\x93\xA7";
    // clang-format off
    for (const std::string& ok : std::vector<std::string>{
             "kestrine.dat", "Outlook.pst", "OBC1A2B.tmp", "Grüße.txt", "a b.c", "..hidden",
             "CONSOLE.txt", "COM10", "nul_file", wide255, emoji127, std::string(255, 'a')}) {
        EXPECT_TRUE(archive::IsPlainFileName(ok)) << ok;
    }
    const std::vector<std::string> names = {
        "", ".", "..", "../x", "..\\x", "a/b", "a\\b", "/etc/passwd", "\\\\server\\share",
        "C:evil.txt", "C:\\evil.txt", "CON", "con", "Nul.txt", "NUL .txt", "com1", "LPT9.log",
        "CONIN$", "COM\xC2\xB9", "trailing.", "trailing ", "tab\there", "nl\nx", "del\x7f",
        "ctrl\x01.txt", "quote\"", "star*", "q?", "pipe|", "a<b", "a>b", "bad\xff\xfeutf8",
        wide255 + "日", emoji127 + "\xF0\x9F\x93\xA7", std::string(256, 'a')};
    // clang-format on
    std::vector<RawEntry> entries;
    for (const auto& n : names) {
        EXPECT_FALSE(archive::IsPlainFileName(n)) << n;
        // (A name that is not UTF-8 is read as OEM text, so it never reaches a folder as it is.)
        if (n != "bad\xff\xfeutf8")
            entries.push_back({n, "payload", 0, archive::format::kFlagUtf8});
    }
    std::string path = Save("slip.zip", BuildZip(entries));
    TempDir outer;
    std::string target = outer / "target";
    fs::create_directory(fs::u8path(target));
    ArchiveReader zip;
    ASSERT_TRUE(zip.OpenArchive(path));
    ASSERT_EQ(zip.Entries().size(), entries.size());
    for (const auto& e : zip.Entries()) {
        const Status refused = zip.ExtractTo(e, target);
        EXPECT_NE(refused.message().find("not a plain file name"), std::string::npos) << e.name;
    }
    EXPECT_TRUE(FolderNames(target).empty());
    EXPECT_EQ(FolderNames(outer.str()), std::vector<std::string>{"target"});
}

TEST_F(ZipHostileTest, TruncatedArchivesNeverPass) {
    std::string whole = Ours({{"a.pst", TextBytes(200000, 1)},
                              {"b.bin", RandomBytes(30000, 2)},
                              {"kestrine.dat", "BackupItem=11111111111\r\n"}},
                             "");
    for (size_t cut = 0; cut < whole.size(); cut += std::max<size_t>(1, whole.size() / 97)) {
        SCOPED_TRACE(cut);
        ExpectRefused(whole.substr(0, cut));
    }
    ExpectRefused(whole.substr(0, whole.size() - 1));
}

// Where a chunked entry's chunks lie in the file: from its chunk index and its data's start.
std::vector<std::pair<uint64_t, uint64_t>> ChunkSpans(const std::string& path) {
    archive::ZipReader reader;
    EXPECT_TRUE(reader.Open(platform::fileio::OpenForRead(path)));
    const archive::ZipEntryRecord& rec = reader.Entries().at(0);
    uint64_t at = rec.localOffset + 30 + rec.name.size() + (rec.encrypted() ? 11 + 18 : 0);
    std::vector<std::pair<uint64_t, uint64_t>> spans;
    for (uint64_t size : rec.chunks) {
        spans.push_back({at, size});
        at += size;
    }
    return spans;
}

TEST_F(ZipHostileTest, CorruptedDataIsDetected) {
    // Stored data with a flipped byte: the CRC catches it.
    std::string stored = BuildZip({{"s.txt", "stored content here"}});
    stored[30 + 5 + 3] ^= 0x20;
    ExpectRefused(stored);
    // A flipped byte in any chunk of a chunked entry (read in parallel), plain or protected, and
    // in the authentication code.
    for (const std::string password : {"", "pw"}) {
        std::string whole = Ours({{"t.txt", TextBytes(200000, 1)}}, password, 16 * 1024);
        auto spans = ChunkSpans(dir / "ours.ksx");
        ASSERT_EQ(spans.size(), 13u);
        // (Not a chunk's first byte: setting its final-block bit in the last chunk only makes the
        // trailing end marker redundant.)
        std::vector<uint64_t> flips;
        for (auto [start, size] : spans)
            flips.insert(flips.end(), {start + 1, start + size / 2, start + size - 1});
        const uint64_t code = spans.back().first + spans.back().second;
        if (!password.empty()) flips.insert(flips.end(), {code, code + 9});
        for (uint64_t at : flips) {
            std::string bad = whole;
            bad[at] = static_cast<char>(bad[at] ^ 0x01);
            ExpectRefused(bad, password);
        }
    }
}

// A damaged chunk (compressed with libdeflate, read through the chunk index, each one inflated on
// its own) or small entry (inflated whole) fails its entry as damaged, and extracting it leaves
// the older file of that name as it was and nothing else. So does a chunk whose last block is
// marked as the end of the stream: it inflates to the right bytes, but other programs would stop
// reading there.
TEST_F(ZipHostileTest, CorruptedChunkIsCaughtAndLeavesNothingBehind) {
    // Text and random runs inside the chunks: compressed pieces and stored blocks side by side.
    const std::string large = TextBytes(300000, 7) + RandomBytes(300000, 8) + TextBytes(200000, 9);
    const std::string small = TextBytes(30000, 10);
    uint64_t lastStored = 0;  // how far before the second chunk's end its last stored block starts
    for (const std::string password : {"", "pw"}) {
        std::string whole = Ours({{"t.txt", large}, {"s.txt", small}}, password, 256 * 1024);
        auto spans = ChunkSpans(dir / "ours.ksx");
        ASSERT_EQ(spans.size(), 4u);
        // The second chunk ends in random bytes, in stored blocks: the header of the last one
        // (found in the plain archive; the protected one has the same blocks, encrypted).
        const uint64_t end = spans[1].first + spans[1].second;
        for (uint64_t k = 5; password.empty() && k < 70000 && lastStored == 0; ++k) {
            const auto* h = reinterpret_cast<const uint8_t*>(whole.data() + end - k);
            const size_t len = h[1] | h[2] << 8, nlen = h[3] | h[4] << 8;
            if (h[0] == 0 && len == k - 5 && nlen == (~len & 0xffff)) lastStored = k;
        }
        ASSERT_NE(lastStored, 0u);
        const uint64_t smallData =
            whole.rfind(std::string("PK\x03\x04", 4)) + 30 + 5 + (password.empty() ? 0 : 11 + 18);
        struct Damage {
            const char* what;
            uint64_t at;
            uint8_t bits;
            const char* entry;
            const char* plainCause;  // what the message of the unprotected archive names
        };
        for (const Damage& d :
             {Damage{"middle of a chunk", spans[1].first + spans[1].second / 3, 0x10, "t.txt",
                     "CRC mismatch"},
              Damage{"end of a chunk", spans[2].first + spans[2].second - 2, 0x01, "t.txt",
                     "bad compressed stream"},
              Damage{"stream ends in a chunk", end - lastStored, 0x01, "t.txt",
                     "bad compressed stream"},
              Damage{"small entry", smallData + 100, 0x04, "s.txt", "CRC mismatch"}}) {
            SCOPED_TRACE(std::string(d.what) + ", password " + password);
            std::string bad = whole;
            bad[d.at] = static_cast<char>(bad[d.at] ^ d.bits);
            std::string path = Save("bad.ksx", bad);
            ArchiveReader zip;
            ASSERT_TRUE(zip.OpenArchive(path));
            zip.SetReadingPassword(password);
            const Status tested = zip.TestEntries();
            EXPECT_EQ(tested.kind(), Failure::Damaged) << tested.message();
            if (password.empty()) {
                EXPECT_NE(tested.message().find(d.plainCause), std::string::npos);
            }
            fs::remove_all(fs::u8path(dest.str()));
            fs::create_directory(fs::u8path(dest.str()));
            Save(dest / d.entry, "the older file");
            const Status extracted = zip.ExtractTo(*zip.FindEntry(d.entry), dest.str());
            EXPECT_EQ(extracted.kind(), Failure::Damaged) << extracted.message();
            EXPECT_EQ(Load(dest / d.entry), "the older file");
            EXPECT_EQ(FolderNames(dest.str()), std::vector<std::string>{d.entry});
        }
    }
}

// The chunk index's numbers: every value comes back, and one cut off at the end of the field or
// longer than 64 bits is refused, whatever the bytes beyond it.
TEST(ChunkIndexNumbers, CutOrOverlongNumbersAreRefused) {
    using archive::format::GetVarint;
    std::string out;
    const std::vector<uint64_t> values = {0, 127, 128, 300000, UINT64_MAX};
    for (uint64_t v : values) archive::format::PutVarint(out, v);
    const auto* data = reinterpret_cast<const uint8_t*>(out.data());
    size_t pos = 0;
    uint64_t v = 0;
    for (uint64_t expected : values) {
        ASSERT_TRUE(GetVarint(data, out.size(), pos, v));
        EXPECT_EQ(v, expected);
    }
    EXPECT_EQ(pos, out.size());
    // Cut off, with a 65th bit, never ending.
    for (const std::string& bad :
         {std::string("\x80"), std::string(9, '\xFF') + '\x02', std::string(11, '\x80')}) {
        pos = 0;
        EXPECT_FALSE(GetVarint(reinterpret_cast<const uint8_t*>(bad.data()), bad.size(), pos, v));
    }
}

// A damaged chunk index never yields wrong data: one that does not fit the entry is ignored (the
// entry is read in order), one that fits but lies fails the entry cleanly.
TEST_F(ZipHostileTest, DamagedChunkIndexFallsBackOrFailsCleanly) {
    const std::string text = TextBytes(200000, 2);
    for (const std::string password : {"", "pw"}) {
        std::string whole = Ours({{"t.txt", text}}, password, 16 * 1024);
        // The index: id 0x4b53, its length, version 1, then chunk size, count and chunk sizes.
        size_t field = whole.find(std::string("SK", 2), whole.rfind(std::string("PK\x01\x02", 4)));
        ASSERT_NE(field, std::string::npos);
        const size_t body = field + 4, sizes = body + 1 + 3 + 1;
        ASSERT_EQ(whole[body], 1);
        struct Damage {
            const char* what;
            std::vector<std::pair<size_t, int>> changes;  // byte, amount added
            bool readable;
        };
        for (const Damage& d : {Damage{"unknown version", {{body, 8}}, true},
                                Damage{"sizes do not add up", {{sizes, 1}}, true},
                                Damage{"count does not fit", {{body + 4, 1}}, true},
                                Damage{"chunk size does not fit", {{body + 3, 1}}, true},
                                Damage{"a boundary moved", {{sizes, 1}, {sizes + 2, -1}}, false},
                                Damage{"chunk size lies", {{body + 1, 1}}, false}}) {
            SCOPED_TRACE(std::string(d.what) + ", password " + password);
            std::string bad = whole;
            for (auto [at, amount] : d.changes) bad[at] = static_cast<char>(bad[at] + amount);
            std::string path = Save("bad.ksx", bad);
            ArchiveReader zip;
            ASSERT_TRUE(zip.OpenArchive(path));
            zip.SetReadingPassword(password);
            Save(dest / "t.txt", "older");
            const Status tested = zip.TestEntries();
            EXPECT_EQ(tested.ok(), d.readable) << tested.message();
            EXPECT_EQ(zip.ExtractTo(zip.Entries()[0], dest.str()).ok(), d.readable);
            EXPECT_EQ(Load(dest / "t.txt") == text, d.readable);
            EXPECT_EQ(FolderNames(dest.str()), std::vector<std::string>{"t.txt"});
        }
    }
}

// False sizes, offsets and counts, overlapping entries, broken directory records and methods that
// are not supported: each archive fails to open or fails its test.
TEST_F(ZipHostileTest, HeadersThatLieAreRefused) {
    const std::string data = "twenty bytes of data";
    const std::string good = BuildZip({{"a.txt", "aaaa"}, {"b.txt", "bbbb"}});
    const size_t end = good.size() - 22, cd = good.find(std::string("PK\x01\x02", 4));
    std::string many = good, far = good, longName = good;
    many[end + 8] = many[end + 10] = static_cast<char>(0xff);  // more entries than fit
    far[end + 19] = 0x10;                                      // directory past the end record
    longName[cd + 29] = 0x40;                                  // a name running past the directory
    // A deflated entry whose directory record claims 1000 bytes (a bomb).
    std::string bomb = Ours({{"z.txt", std::string(3000000, 'z')}}, "");
    const size_t bombCd = bomb.rfind(std::string("PK\x01\x02", 4));
    ASSERT_EQ(bomb[bombCd + 10], 8);  // deflated
    bomb.replace(bombCd + 24, 4, std::string("\xe8\x03\0\0", 4));
    // An AES field of a key strength that does not exist, and one of another vendor.
    std::string strength = Ours({{"a.txt", "data"}}, "pw"), vendor = strength;
    const std::string aesField("\x01\x99\x07\x00", 4);
    for (size_t at = strength.find(aesField); at != std::string::npos;
         at = strength.find(aesField, at + 1)) {
        strength[at + 8] = 4;
        vendor[at + 6] = 'X';
    }
    const std::pair<std::string, std::string> cases[] = {
        {"", BuildZip({{"a.txt", data, 0, 0, -1, -1, 19}})},  // smaller than the data
        {"", BuildZip({{"a.txt", data, 0, 0, -1, -1, 21}})},  // larger than the data
        {"", BuildZip({{"a.txt", data, 0, 0, -1, 60}})},      // into the central directory
        {"", BuildZip({{"a.txt", data, 0, 0, -1, 0x7fffffff, 0x7fffffff}})},
        {"", BuildZip({{"a.txt", data, 0, 0, -1, -1, -1, 5000}})},  // local header past the data
        {"", bomb},
        // Two records of one local entry; one entry inside the other's data.
        {"", BuildZip({{"a.txt", "aaaa"}, {"b.txt", "bbbb", 0, 0, -1, -1, -1, 0}})},
        {"", BuildZip({{"a.txt", std::string(100, 'a')}, {"b.txt", "bb", 0, 0, -1, -1, -1, 40}})},
        {"", many},
        {"", far},
        {"", longName},
        {"", std::string(1000, 'P')},  // nothing like an end record
        {"", ""},
        {"", BuildZip({{"a.txt", "data", 12}})},       // bzip2
        {"pw", BuildZip({{"a.txt", "data", 99, 1}})},  // AES without its field
        {"pw", strength},
        {"pw", vendor},
        {"pw", BuildZip({{"a.txt", "data", 0, 1 | (1 << 6)}})},  // strong encryption
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        ExpectRefused(cases[i].second, cases[i].first);
    }
    // A local header without its signature is named for what it is.
    std::string unsigned_ = good;
    unsigned_[2] = 'X';
    ArchiveReader zip;
    ASSERT_TRUE(zip.OpenArchive(Save("unsigned.ksx", unsigned_)));
    EXPECT_NE(zip.TestEntries().message().find("bad local header"), std::string::npos);
    // An archive of no entries, its directory starting where its end record does, is no damage.
    ArchiveReader empty;
    ASSERT_TRUE(empty.OpenArchive(Save("empty.ksx", BuildZip({}))));
    EXPECT_TRUE(empty.Entries().empty());
    // A large compressed stream that stops before its last block, its size and check value true
    // to the bytes it does hold (stored blocks of 65,535 bytes, none marked as the last).
    std::string blocks, plain;
    for (int i = 0; i < 17; ++i) {
        blocks += std::string("\0\xff\xff\0\0", 5) + std::string(65535, 'k');
        plain += std::string(65535, 'k');
    }
    ArchiveReader cut;
    ASSERT_TRUE(cut.OpenArchive(Save("cut.ksx", BuildZip({{"cut.txt", blocks, 8, 0, Crc(plain), -1,
                                                           static_cast<int64_t>(plain.size())}}))));
    EXPECT_NE(cut.TestEntries().message().find("stream ends early"), std::string::npos);
}

}  // namespace
}  // namespace kestrine::test
