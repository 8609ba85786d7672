// ZIP64: an entry over 4 GiB (from a sparse file, so it is quick), entries beyond 4 GiB and an
// archive of 70,000 entries; a file of more pieces than the chunk index holds. Each checked here
// and by the standard tools.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "archive/zip_reader.h"
#include "archive/zip_writer.h"
#include "platform/file_stream.h"
#include "test_support.h"
#include "zip_test_util.h"

namespace kestrine::test {
namespace {

using archive::ArchiveReader;
namespace fs = std::filesystem;

const std::string kManifest = "BackupItem=01000000000\r\n";

// Tests the archive with the tools that read it; 7z takes data before the first entry for a
// self-extractor's program and gives up on a gap of 4 GiB, so it is left out then.
void ToolsAccept(const std::string& archive, const std::string& password, bool with7z) {
    const std::string a = Quote(archive);
    if (with7z && HaveTool("7z")) {
        EXPECT_EQ(Shell("7z t " + (password.empty() ? "" : "-p'" + password + "' ") + a), 0);
    }
    EXPECT_EQ(password.empty() && HaveTool("unzip") ? Shell("unzip -tq " + a) : 0, 0);
    if (HaveTool("bsdtar")) {
        TempDir out;
        EXPECT_EQ(Shell("bsdtar " + (password.empty() ? "" : "--passphrase '" + password + "' ") +
                        "-xf " + a + " -C " + Quote(out.str()) + " kestrine.dat"),
                  0);
        EXPECT_EQ(Load(out / "kestrine.dat"), kManifest);
    }
}

// An entry over 4 GiB (its sizes need ZIP64), and entries and a central directory after a gap of
// 4 GiB (their offsets need ZIP64), with and without a password.
TEST(ZipLargeTest, SizesAndOffsetsBeyondFourGiB) {
    TempDir dir;
    const uint64_t size = 4ull * 1024 * 1024 * 1024 + 100 * 1024 * 1024 + 17;
    const std::string big = dir / "big.pst", archive = dir / "big.ksx";
    {
        std::ofstream out(fs::u8path(big), std::ios::binary);
        out << "start of the data file";
    }
    fs::resize_file(fs::u8path(big), size);
    {
        std::fstream out(fs::u8path(big), std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(size - 20));
        out << "end of the data file";
    }
    Save(dir / "a.pst", TextBytes(300000, 1));
    Save(dir / "kestrine.dat", kManifest);
    for (const bool gap : {false, true}) {
        for (const std::string password : {"", "big pw"}) {
            SCOPED_TRACE("gap " + std::to_string(gap) + ", password " + password);
            {
                archive::ZipWriter writer(archive::EntryProtection::ForPassword(password));
                ASSERT_TRUE(writer.Begin(archive));
                ASSERT_TRUE(!gap || writer.LeaveLeadingGap(4ull << 30 | 12345));
                auto& none = archive::ZipObserver::None();
                ASSERT_TRUE(
                    Passed(writer.AddFile(gap ? dir / "a.pst" : big, "data.pst", {}, none)));
                ASSERT_TRUE(Passed(writer.AddFile(dir / "kestrine.dat", "kestrine.dat", {}, none)));
                ASSERT_TRUE(Passed(writer.Finish(none)));
            }
            ArchiveReader zip;
            ASSERT_TRUE(Passed(zip.OpenArchive(archive)));
            auto entries = zip.Entries();
            ASSERT_EQ(entries.size(), 2u);
            EXPECT_EQ(entries[0].uncompressedSize, gap ? 300000 : size);
            EXPECT_EQ(entries[0].method, 8);
            zip.SetReadingPassword(password);
            EXPECT_TRUE(zip.CheckPassword());
            EXPECT_TRUE(Passed(zip.TestEntries()));
            TempDir out;
            ASSERT_TRUE(zip.ExtractTo(*zip.FindEntry("kestrine.dat"), out.str()));
            EXPECT_EQ(Load(out / "kestrine.dat"), kManifest);
            ToolsAccept(archive, password, !gap);
            fs::remove(fs::u8path(archive));
        }
    }
}

// A file of more pieces than the chunk index can describe (160 MiB in 4 KiB pieces) is cut into
// larger ones, whose index is sound: the archive reads back whole, every tool accepts it, and a
// backup over it takes all its full pieces over.
TEST(ZipLargeTest, PiecesGrowUntilTheirIndexFits) {
    TempDir dir;
    const uint64_t size = (160ull << 20) + 100;
    const std::string big = dir / "big.pst", archive = dir / "big.ksx", again = dir / "again.ksx";
    {
        std::ofstream out(fs::u8path(big), std::ios::binary);
        out << TextBytes(300000, 1);
    }
    fs::resize_file(fs::u8path(big), size);
    {
        std::fstream out(fs::u8path(big), std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(size / 2));
        out << TextBytes(100000, 2);
    }
    Save(dir / "kestrine.dat", kManifest);
    const archive::ZipOptions small{.chunkSize = 4096};
    for (const std::string& target : {archive, again}) {
        archive::ArchiveWriter zip(archive::EntryProtection::None(), small);
        if (target == again) zip.ReuseFrom(archive, "");
        TestObserver seen;
        ASSERT_TRUE(zip.CreateArchive(target));
        ASSERT_TRUE(Passed(zip.AddFile(big, {}, std::nullopt, seen)));
        ASSERT_TRUE(Passed(zip.AddFile(dir / "kestrine.dat")));
        ASSERT_TRUE(Passed(zip.WriteArchive()));
        EXPECT_EQ(seen.reused, target == again ? size - 100 : 0);
    }
    archive::ZipReader reader;
    ASSERT_TRUE(reader.Open(platform::fileio::OpenForRead(again)));
    const archive::ZipEntryRecord& rec = reader.Entries().at(0);
    EXPECT_EQ(rec.chunkInput, 8192u);
    EXPECT_EQ(rec.chunks.size(), size / 8192 + 1);
    reader.Close();
    ArchiveReader zip;
    ASSERT_TRUE(Passed(zip.OpenArchive(again)));
    EXPECT_TRUE(Passed(zip.TestEntries()));
    TempDir out;
    ASSERT_TRUE(Passed(zip.ExtractTo(*zip.FindEntry("big.pst"), out.str())));
    EXPECT_EQ(Shell("cmp -s " + Quote(big) + " " + Quote(out / "big.pst")), 0);
    ToolsAccept(again, "", true);
}

TEST(ZipLargeTest, SeventyThousandEntries) {
    TempDir dir;
    Save(dir / "kestrine.dat", kManifest);
    std::string archive = dir / "many.ksx";
    const size_t count = 70000;
    {
        archive::ArchiveWriter zip(archive::EntryProtection::None());
        ASSERT_TRUE(zip.CreateArchive(archive));
        for (size_t i = 0; i < count; ++i) ASSERT_TRUE(zip.AddFile(dir / "kestrine.dat")) << i;
        ASSERT_TRUE(zip.WriteArchive().ok());
    }
    // More than 65535 entries need the ZIP64 end records.
    std::string bytes = Load(archive);
    EXPECT_NE(bytes.rfind(std::string("PK\x06\x06", 4)), std::string::npos);
    EXPECT_NE(bytes.rfind(std::string("PK\x06\x07", 4)), std::string::npos);

    ArchiveReader zip;
    ASSERT_TRUE(Passed(zip.OpenArchive(archive)));
    EXPECT_EQ(zip.Entries().size(), count);
    EXPECT_TRUE(Passed(zip.TestEntries()));
    EXPECT_EQ(zip.FindEntry("kestrine.dat")->index, 0u);
    EXPECT_EQ(HaveTool("7z") ? Shell("7z t " + Quote(archive)) : 0, 0);
    EXPECT_EQ(HaveTool("unzip") ? Shell("unzip -tq " + Quote(archive)) : 0, 0);
    EXPECT_EQ(HaveTool("bsdtar") ? Shell("test $(bsdtar -tf " + Quote(archive) + " | wc -l) -eq " +
                                         std::to_string(count))
                                 : 0,
              0);
}

}  // namespace
}  // namespace kestrine::test
