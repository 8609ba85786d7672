// Archives written here are read by 7z, unzip and bsdtar; archives those tools (and zip) write are
// read here. A tool that is not installed is left out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "archive/zip_reader.h"
#include "platform/file_stream.h"
#include "test_support.h"
#include "zip_test_util.h"

namespace kestrine::test {
namespace {

using archive::ArchiveReader;
using archive::ArchiveWriter;

class ZipInteropTest : public ::testing::Test {
  protected:
    void SetUp() override {
        files_ = {
            {"text.pst", TextBytes(2500000, 1)},
            {"random.bin", RandomBytes(300000, 2)},
            {"mixed.dat", TextBytes(200000, 3) + RandomBytes(150000, 4) + TextBytes(90000, 5)},
            {"empty.txt", ""},
            {"Grüße – 日本.txt", "non-ASCII name\r\n"},
            {"kestrine.dat", "BackupItem=01000000000\r\n"}};
        for (auto& [name, bytes] : files_) {
            Save(src / name, bytes);
            paths_.push_back(src / name);
            list_ += " " + Quote(name);
        }
    }
    // Every file of the set is in `folder` with its content.
    void ExpectAllIn(const TempDir& folder) {
        for (auto& [name, bytes] : files_) {
            ASSERT_TRUE(std::filesystem::exists(std::filesystem::u8path(folder / name))) << name;
            EXPECT_TRUE(Load(folder / name) == bytes) << name;
        }
    }
    // Runs `command` in the source folder.
    int InSource(const std::string& command) {
        return Shell("cd " + Quote(src.str()) + " && LC_ALL=C.UTF-8 " + command);
    }

    // 7z tests `archive`, unzip too when it is not protected (unzip knows no AES), and bsdtar
    // extracts its "text.pst" as `expected`.
    void ExpectToolsReadTextPst(const std::string& archive, const std::string& password,
                                const std::string& expected) {
        const std::string a = Quote(archive);
        EXPECT_EQ(Shell("7z t" + SevenZipPassword(password) + " " + a), 0);
        EXPECT_TRUE(!password.empty() || Shell("unzip -t " + a) == 0);
        TempDir out;
        ASSERT_EQ(Shell("bsdtar" + (password.empty() ? "" : " --passphrase " + Quote(password)) +
                        " -xf " + a + " -C " + Quote(out.str())),
                  0);
        EXPECT_TRUE(Load(out / "text.pst") == expected);
    }
    static std::string SevenZipPassword(const std::string& password) {
        return password.empty() ? "" : " -p" + Quote(password);
    }

    std::vector<std::pair<std::string, std::string>> files_;
    std::vector<std::string> paths_;
    std::string list_;  // the file names, quoted, for a command line
    TempDir src, work;
};

// Every chunk is compressed on its own (libdeflate pieces and stored blocks for random runs) and
// the pieces make one standard deflate stream.
TEST_F(ZipInteropTest, ToolsReadOurArchives) {
    for (const auto& [password, chunk] : {std::pair<std::string, size_t>{"", 64 * 1024},
                                          {"s3cret pw", 64 * 1024},
                                          {"", 1024 * 1024}}) {
        SCOPED_TRACE("password: " + password + ", chunk " + std::to_string(chunk));
        // Small chunks: the large entries are many independently compressed pieces of one
        // stream, with their chunk index; an add that failed half-way was taken back out. Large
        // chunks: text and random runs share a chunk.
        std::string archive = work / "ours.ksx";
        ArchiveWriter zip(archive::EntryProtection::ForPassword(password), {.chunkSize = chunk});
        ASSERT_TRUE(zip.CreateArchive(archive));
        for (size_t i = 0; i < paths_.size(); ++i) {
            ASSERT_TRUE(zip.AddFile(paths_[i]));
            EXPECT_FALSE(i == 0 && zip.AddFile("/proc/self/mem"));
        }
        ASSERT_TRUE(zip.WriteArchive().ok());
        archive::ZipReader reader;  // the large text file went in as chunks with their index
        ASSERT_TRUE(reader.Open(platform::fileio::OpenForRead(archive)));
        EXPECT_GE(reader.Entries().at(0).chunks.size(), 3u);
        const std::string a = Quote(archive);
        const std::string pw = password.empty() ? "" : " -p" + Quote(password);
        const std::string passphrase = password.empty() ? "" : " --passphrase " + Quote(password);
        struct Tool {
            const char* name;
            std::string test, extract;  // the folder to extract into follows `extract`
            bool readsAes;
        };
        for (const Tool& tool :
             {Tool{"7z", "7z t" + pw + " " + a, "7z x" + pw + " " + a + " -o", true},
              Tool{"unzip", "unzip -t " + a, "unzip -q " + a + " -d ", false},
              Tool{"bsdtar", "", "bsdtar" + passphrase + " -xf " + a + " -C ", true}}) {
            if (!HaveTool(tool.name) || (!password.empty() && !tool.readsAes)) continue;
            SCOPED_TRACE(tool.name);
            EXPECT_EQ(tool.test.empty() ? 0 : Shell(tool.test), 0);
            TempDir out;
            ASSERT_EQ(Shell("LC_ALL=C.UTF-8 " + tool.extract + Quote(out.str())), 0);
            ExpectAllIn(out);
        }
        EXPECT_FALSE(!password.empty() && HaveTool("7z") && Shell("7z t -pwrong " + a) == 0);
    }
}

// A re-backup copies only the pieces of the earlier archive proven to hold the very bytes of the
// file now, be they compressed or, incompressible, stored: by the digests the earlier archive kept,
// or by inflating the pieces of one written before the digests. It stands on its own and every
// tool reads it.
TEST_F(ZipInteropTest, ReBackupReusesOnlyProvenPieces) {
    constexpr size_t kPiece = 64 * 1024;
    const std::string earlier = work / "week1.ksx", again = work / "week2.ksx";
    const std::string file = src / "text.pst";
    std::string week2;  // pieces of text and of random bytes, one after the other
    for (uint32_t i = 0; i < 10; ++i)
        week2 += i % 2 ? RandomBytes(kPiece, i) : TextBytes(kPiece, i);
    week2 += TextBytes(5000, 7);
    for (const bool digests : {true, false})
        for (const std::string password : {"", "s3cret pw"}) {
            SCOPED_TRACE("password: " + password + (digests ? ", digests" : ", no digests"));
            Save(file, week2);
            ASSERT_TRUE(WriteZip(earlier, {file}, password, kPiece, digests));
            // Pieces 2 (text) and 7 (random) change but keep their CRC-32 (the generator polynomial
            // added in); in the earlier archive, stored piece 5 is damaged in its bytes and stored
            // piece 9 in the length check of its first block; text is appended.
            std::string now = week2;
            const uint8_t samecrc[] = {0x41, 0x06, 0x71, 0xdb, 0x01};
            for (size_t piece : {2, 7}) {
                for (size_t i = 0; i < sizeof samecrc; ++i)
                    now[piece * kPiece + 100 + i] ^= samecrc[i];
                ASSERT_EQ(Crc(now.substr(piece * kPiece, kPiece)),
                          Crc(week2.substr(piece * kPiece, kPiece)));
            }
            std::string old = Load(earlier);
            archive::ZipReader reader;
            ASSERT_TRUE(reader.Open(platform::fileio::OpenForRead(earlier)));
            const archive::ZipEntryRecord record = reader.Entries().at(0);
            reader.Close();
            ASSERT_EQ(record.digestsSize > 0, digests);
            auto pieceAt = [&](size_t piece) {
                size_t at = 30 + 8 + (password.empty() ? 0 : 11 + 18);
                for (size_t i = 0; i < piece; ++i) at += record.chunks.at(i);
                return at;
            };
            // (Under AES a flipped byte flips the same byte of the plain stream.)
            ASSERT_TRUE(!password.empty() || old[pieceAt(5)] == 0) << "a stored block";
            old[pieceAt(5) + 10] ^= 0x20;
            old[pieceAt(9) + 3] ^= 0x01;
            Save(earlier, old);
            now += TextBytes(kPiece / 2, 8);
            Save(file, now);
            auto rebackup = [&](const std::string& from, const std::string& pw) {
                TestObserver seen;
                ArchiveWriter zip(archive::EntryProtection::ForPassword(password),
                                  {.chunkSize = kPiece});
                zip.ReuseFrom(from, pw);
                EXPECT_TRUE(zip.CreateArchive(again) && zip.AddFile(file, {}, std::nullopt, seen) &&
                            zip.WriteArchive());
                return seen;
            };
            // Another password, a missing archive, the other protection: not used, all compressed.
            for (const auto& [from, pw] : std::vector<std::pair<std::string, std::string>>{
                     {earlier, password.empty() ? "pw" : "other"}, {work / "none.ksx", password}}) {
                TestObserver seen = rebackup(from, pw);
                EXPECT_EQ(seen.reused, 0u);
                EXPECT_FALSE(seen.unused.empty());
            }
            // Ten full pieces, less the two changed and the two damaged.
            EXPECT_EQ(rebackup(earlier, password).reused, 6 * kPiece);
            // Replaced by a backup of the same file in turn, it gives every full piece.
            EXPECT_EQ(rebackup(again, password).reused, 10 * kPiece);
            if (digests) {
                // The digests decide: with the one of intact piece 0 changed (and the CRC-32 over
                // the digests made to fit), that piece is compressed anew. Under a password, the
                // change fails their authentication, and the pieces are inflated to prove them.
                const size_t row = 1 + (password.empty() ? 0 : 18) + 16 + 1;  // its first byte
                std::string edited = old;
                edited[record.digestsOffset + row] ^= 0x01;
                const uint32_t crc = Crc(edited.substr(record.digestsOffset, record.digestsSize));
                std::string field = {0x44, 0x4b, 0x11, 0x00, 0x01};
                for (int i = 0; i < 8; ++i)
                    field += static_cast<char>(record.digestsOffset >> (8 * i));
                const size_t at = edited.rfind(field);
                ASSERT_NE(at, std::string::npos);
                for (int i = 0; i < 4; ++i)
                    edited[at + 5 + 8 + 4 + i] = static_cast<char>(crc >> (8 * i));
                Save(earlier, edited);
                EXPECT_EQ(rebackup(earlier, password).reused, (password.empty() ? 5 : 6) * kPiece);
            }
            std::filesystem::remove(earlier);
            ExpectToolsReadTextPst(again, password, now);
            // A byte flipped in a reused piece: the tools refuse the archive.
            std::string bytes = Load(again);
            bytes[200] ^= 0x01;
            Save(again, bytes);
            EXPECT_NE(Shell("7z t" + SevenZipPassword(password) + " " + Quote(again)), 0);
            // An entry of only two pieces serves as well.
            Save(file, week2.substr(0, kPiece + 5000));
            ASSERT_TRUE(WriteZip(earlier, {file}, password, kPiece, digests));
            EXPECT_EQ(rebackup(earlier, password).reused, kPiece);
        }
}

// Archives written before the pieces became smaller (1 MiB) serve a backup made with today's
// options: it follows their piece size, so the unchanged pieces are taken over, and every tool
// reads the result. A fresh archive gets today's pieces.
TEST_F(ZipInteropTest, EarlierArchiveOfLargerPiecesServes) {
    constexpr size_t kOldPiece = 1024 * 1024;
    const std::string earlier = work / "old.ksx", again = work / "new.ksx";
    const std::string file = src / "text.pst";
    const std::string week1 = TextBytes(4 * kOldPiece + 5000, 9);
    for (const std::string password : {"", "s3cret pw"}) {
        SCOPED_TRACE("password: " + password);
        Save(file, week1);
        ASSERT_TRUE(WriteZip(earlier, {file}, password, kOldPiece));
        std::string now = week1;
        now[kOldPiece + 777] ^= 0x01;  // piece 1 changes
        now += TextBytes(kOldPiece / 3, 10);
        Save(file, now);
        TestObserver seen;
        ArchiveWriter zip(archive::EntryProtection::ForPassword(password));
        zip.ReuseFrom(earlier, password);
        ASSERT_TRUE(zip.CreateArchive(again) && zip.AddFile(file, {}, std::nullopt, seen) &&
                    zip.WriteArchive());
        EXPECT_EQ(seen.reused, 3 * kOldPiece);  // the four full pieces less the changed one
        archive::ZipReader reader;
        ASSERT_TRUE(reader.Open(platform::fileio::OpenForRead(again)));
        EXPECT_EQ(reader.Entries().at(0).chunkInput, kOldPiece);
        reader.Close();
        std::filesystem::remove(earlier);
        ExpectToolsReadTextPst(again, password, now);
    }
    ASSERT_TRUE(WriteZip(again, {file}));
    archive::ZipReader fresh;
    ASSERT_TRUE(fresh.Open(platform::fileio::OpenForRead(again)));
    EXPECT_EQ(fresh.Entries().at(0).chunkInput, archive::ZipOptions{}.chunkSize);
}

TEST_F(ZipInteropTest, WeReadArchivesOfTheTools) {
    struct Case {
        const char* tool;
        std::string command;  // the archive's name follows, then the files
        std::string password;
    };
    for (const Case& c :
         {Case{"zip", "zip -q -X", ""}, Case{"zip", "zip -q -X -0", ""},
          Case{"zip", "zip -q -X -fz", ""},
          // The traditional PKWARE encryption of earlier versions.
          Case{"zip", "zip -q -X -P 'old pw'", "old pw"}, Case{"7z", "7z a -tzip -mx=5", ""},
          Case{"7z", "7z a -tzip -mx=0", ""},
          Case{"7z", "7z a -tzip -mem=AES256 -p'pw 256'", "pw 256"},
          Case{"7z", "7z a -tzip -mem=AES128 -p'pw 128'", "pw 128"},
          Case{"7z", "7z a -tzip -mem=ZipCrypto -p'pw zc'", "pw zc"},
          Case{"bsdtar", "bsdtar --format zip -cf", ""},
          Case{"bsdtar", "bsdtar --format zip --options zip:compression=store -cf", ""}}) {
        if (!HaveTool(c.tool)) continue;
        SCOPED_TRACE(c.command);
        std::string archive = work / "theirs.zip";
        std::filesystem::remove(std::filesystem::u8path(archive));
        ASSERT_EQ(InSource(c.command + " " + Quote(archive) + list_), 0);
        ArchiveReader zip;
        ASSERT_TRUE(Passed(zip.OpenArchive(archive)));
        EXPECT_EQ(*zip.ArchiveNeedsPassword(archive), c.password.empty()
                                                          ? archive::ArchiveProtection::Plain
                                                          : archive::ArchiveProtection::Protected);
        zip.SetReadingPassword(c.password);
        EXPECT_TRUE(Passed(zip.CheckPassword()));
        EXPECT_TRUE(Passed(zip.TestEntries()));
        TempDir out;
        for (const auto& e : zip.Entries()) {
            ASSERT_TRUE(Passed(zip.ExtractTo(e, out.str())));
        }
        ExpectAllIn(out);
        if (!c.password.empty()) {
            zip.SetReadingPassword(c.password + "x");
            EXPECT_FALSE(zip.CheckPassword());
            EXPECT_FALSE(zip.TestEntries());
        }
    }
    // Streamed input: sizes and CRC in data descriptors after the data.
    if (!HaveTool("zip")) return;
    ASSERT_EQ(InSource("cat text.pst | zip -q -X -P 'old pw' " + Quote(work / "stream.zip") + " -"),
              0);
    ArchiveReader zip;
    ASSERT_TRUE(zip.OpenArchive(work / "stream.zip"));
    zip.SetReadingPassword("old pw");
    EXPECT_TRUE(Passed(zip.CheckPassword()));
    EXPECT_TRUE(Passed(zip.TestEntries()));
    zip.SetReadingPassword("old pX");
    EXPECT_FALSE(zip.TestEntries());
    // Our command-line tool names each entry's method and protection in its listing.
    auto listing = [&](const std::string& archive) {
        const std::string out = work / "list.txt";
        std::system(
            (Quote(KESTRINE_ZIP_TOOL) + " list " + Quote(archive) + " >" + Quote(out)).c_str());
        return Load(out);
    };
    EXPECT_NE(listing(work / "stream.zip").find(" deflated ZipCrypto "), std::string::npos)
        << listing(work / "stream.zip");
    ASSERT_EQ(InSource("zip -q -X -0 " + Quote(work / "stored.zip") + " text.pst"), 0);
    EXPECT_NE(listing(work / "stored.zip").find(" stored "), std::string::npos)
        << listing(work / "stored.zip");
}

// The command-line tool: exit 0 on success, 1 for a damaged archive or a wrong password, 2 for
// usage errors, one line on standard error for each failure.
TEST_F(ZipInteropTest, CommandLineToolStatuses) {
    const std::string tool = Quote(KESTRINE_ZIP_TOOL);
    const std::string archive = Quote(work / "cli.ksx"), pwFile = Quote(work / "pw.txt");
    const std::string withPw = "KESTRINE_PASSWORD='tool pw' " + tool;
    Save(work / "pw.txt", "tool pw\r\n" + std::string(65536 - 9, '#'));  // as long as one may be
    std::string files;
    for (const auto& p : paths_) files += " " + Quote(p);
    EXPECT_EQ(
        Shell(tool + " create --piece-size 64K --password-file " + pwFile + " " + archive + files),
        0);
    TempDir out;
    std::string damaged = Quote(work / "damaged.ksx");
    Save(work / "damaged.ksx", Load(work / "cli.ksx").substr(0, 5000));
    for (const auto& [command, status] : std::vector<std::pair<std::string, int>>{
             {tool + " list " + archive, 0},
             {tool + " test --password-file " + pwFile + " " + archive, 0},
             {withPw + " test " + archive, 0},
             {"KESTRINE_PASSWORD=nope " + tool + " test " + archive, 1},
             {tool + " test " + archive, 1},  // protected, no password
             {withPw + " extract " + archive + " " + Quote(out.str()) + " no-such-entry", 1},
             {tool + " list " + damaged, 1},
             {tool + " test " + damaged, 1},
             {tool, 2},
             {tool + " frobnicate x", 2},
             {tool + " create", 2},
             {tool + " list", 2},
             {tool + " test --bogus " + archive, 2},
             {tool + " list --bogus", 2},
             {tool + " create --piece-size 3x " + Quote(work / "piece.ksx") + files, 2},
             {tool + " extract " + archive + " " + Quote(work / "missing-dir"), 2},
             {tool + " test --password-file " + Quote(work / "none.txt") + " x", 2},
             // A file that opens but whose reading fails (as on a failing disk).
             {tool + " test --password-file /proc/self/mem " + archive, 2},
             {tool + " test " + archive + " --password-file", 2}}) {
        EXPECT_EQ(Shell(command), status) << command;
    }
    EXPECT_EQ(Shell(withPw + " extract " + archive + " " + Quote(out.str()) + " kestrine.dat"), 0);
    EXPECT_EQ(FolderNames(out.str()), std::vector<std::string>{"kestrine.dat"});
    EXPECT_EQ(Shell(withPw + " extract " + archive + " " + Quote(out.str())), 0);
    ExpectAllIn(out);

    // One clear line on standard error.
    std::string errFile = work / "err.txt";
    std::system((tool + " test --password-file " + pwFile + " " + damaged + " 2>" + Quote(errFile))
                    .c_str());
    std::string err = Load(errFile);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("kestrine-zip: "), std::string::npos);
    std::system((withPw + " extract " + archive + " " + Quote(out.str()) + " no-such-entry 2>" +
                 Quote(errFile))
                    .c_str());
    EXPECT_NE(Load(errFile).find("cli.ksx: no entry named no-such-entry"), std::string::npos);

    // One file makes an archive; a failed create leaves no archive and no temporary file behind.
    EXPECT_EQ(Shell(tool + " create " + Quote(work / "one.ksx") + " " + Quote(paths_[0])), 0);
    std::filesystem::remove(work / "one.ksx");
    EXPECT_EQ(Shell(tool + " create " + Quote(work / "new.ksx") + " " + Quote(paths_[0]) + " " +
                    Quote(work / "missing.pst")),
              1);
    for (const auto& name : FolderNames(work.str())) {
        EXPECT_TRUE(name.find(".tmp") == std::string::npos && name != "new.ksx") << name;
    }
}

}  // namespace
}  // namespace kestrine::test
