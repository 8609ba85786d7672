// ZIP64: an entry over 4 GiB (from a sparse file, so it is quick) and an archive of 70,000
// entries, each checked here and by the standard tools.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "archive/zip_component.h"
#include "archive/zip_format.h"
#include "archive/zip_writer.h"
#include "test_support.h"
#include "zip_test_util.h"

namespace kestrine::test {
namespace {

using archive::ZipComponent;
namespace fs = std::filesystem;

TEST(ZipLargeTest, EntryOverFourGiB) {
    TempDir dir;
    const uint64_t size = 4ull * 1024 * 1024 * 1024 + 100 * 1024 * 1024 + 17;
    std::string big = dir / "big.pst";
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
    std::string small = dir / "kestrine.dat";
    WriteFile(fs::u8path(small), "BackupItem=01000000000\r\n");

    for (const std::string password : {"", "big pw"}) {
        SCOPED_TRACE("password: " + password);
        std::string archive = dir / "big.ksx";
        ASSERT_TRUE(WriteZip(archive, {big, small}, password));
        ZipComponent zip;
        ASSERT_TRUE(zip.OpenArchive(archive)) << zip.LastError();
        auto entries = zip.Entries();
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries[0].uncompressedSize, size);
        EXPECT_EQ(entries[0].method, 8);
        EXPECT_EQ(entries[1].name, "kestrine.dat");
        zip.SetReadingPassword(password);
        EXPECT_TRUE(zip.CheckPassword());
        EXPECT_TRUE(zip.TestEntries()) << zip.LastError();
        if (HaveTool("7z")) {
            EXPECT_EQ(
                Shell("7z t " + (password.empty() ? "" : "-p'" + password + "' ") + Quote(archive)),
                0);
        }
        if (password.empty() && HaveTool("unzip")) {
            EXPECT_EQ(Shell("unzip -tq " + Quote(archive)), 0);
        }
        fs::remove(fs::u8path(archive));
    }
}

TEST(ZipLargeTest, EntriesBeyondFourGiB) {
    // Entries and the central directory after a 4 GiB gap: their offsets need ZIP64.
    TempDir dir;
    std::string a = dir / "a.pst", b = dir / "kestrine.dat";
    WriteFile(fs::u8path(a), TextBytes(300000, 1));
    WriteFile(fs::u8path(b), "BackupItem=01000000000\r\n");
    std::string archive = dir / "far.ksx";
    for (const std::string password : {"", "far pw"}) {
        SCOPED_TRACE("password: " + password);
        {
            archive::ZipWriter writer;
            ASSERT_TRUE(writer.Begin(archive));
            writer.SetProtection(!password.empty(), password);
            ASSERT_TRUE(writer.LeaveLeadingGap(4ull << 30 | 12345));
            ASSERT_TRUE(writer.AddFile(a, "a.pst"));
            ASSERT_TRUE(writer.AddFile(b, "kestrine.dat"));
            ASSERT_TRUE(writer.Finish()) << writer.Error();
        }
        ZipComponent zip;
        ASSERT_TRUE(zip.OpenArchive(archive)) << zip.LastError();
        ASSERT_EQ(zip.Entries().size(), 2u);
        zip.SetReadingPassword(password);
        EXPECT_TRUE(zip.TestEntries()) << zip.LastError();
        TempDir out;
        ASSERT_TRUE(zip.ExtractTo(*zip.FindEntry("kestrine.dat"), out.str()));
        EXPECT_EQ(ReadFile(fs::u8path(out / "kestrine.dat")), "BackupItem=01000000000\r\n");
        // 7z takes data before the first entry for a self-extractor's program and gives up on one
        // this large, so unzip and bsdtar check these.
        if (password.empty() && HaveTool("unzip")) {
            EXPECT_EQ(Shell("unzip -tq " + Quote(archive)), 0);
        }
        if (HaveTool("bsdtar")) {
            TempDir out2;
            EXPECT_EQ(
                Shell("bsdtar " + (password.empty() ? "" : "--passphrase '" + password + "' ") +
                      "-xf " + Quote(archive) + " -C " + Quote(out2.str())),
                0);
            EXPECT_EQ(ReadFile(fs::u8path(out2 / "kestrine.dat")), "BackupItem=01000000000\r\n");
        }
        fs::remove(fs::u8path(archive));
    }
}

TEST(ZipLargeTest, SeventyThousandEntries) {
    TempDir dir;
    std::string file = dir / "note.txt";
    WriteFile(fs::u8path(file), "a small file, added many times\r\n");
    std::string archive = dir / "many.ksx";
    const size_t count = 70000;
    {
        ZipComponent zip;
        ASSERT_TRUE(zip.CreateArchive(archive));
        for (size_t i = 0; i < count; ++i) ASSERT_TRUE(zip.AddFile(file)) << i;
        ASSERT_TRUE(zip.WriteArchive().ok);
    }
    // More than 65535 entries need the ZIP64 end records.
    std::string bytes = ReadFile(fs::u8path(archive));
    EXPECT_NE(bytes.rfind(std::string("PK\x06\x06", 4)), std::string::npos);
    EXPECT_NE(bytes.rfind(std::string("PK\x06\x07", 4)), std::string::npos);

    ZipComponent zip;
    ASSERT_TRUE(zip.OpenArchive(archive)) << zip.LastError();
    EXPECT_EQ(zip.Entries().size(), count);
    EXPECT_TRUE(zip.TestEntries()) << zip.LastError();
    EXPECT_EQ(zip.FindEntry("note.txt")->index, 0u);
    if (HaveTool("7z")) {
        EXPECT_EQ(Shell("7z t " + Quote(archive)), 0);
    }
    if (HaveTool("unzip")) {
        EXPECT_EQ(Shell("unzip -tq " + Quote(archive)), 0);
    }
    if (HaveTool("bsdtar")) {
        std::string list = dir / "list.txt";
        ASSERT_EQ(std::system(("bsdtar -tf " + Quote(archive) + " > " + Quote(list)).c_str()), 0);
        std::string names = ReadFile(fs::u8path(list));
        EXPECT_EQ(static_cast<size_t>(std::count(names.begin(), names.end(), '\n')), count);
    }
}

}  // namespace
}  // namespace kestrine::test
