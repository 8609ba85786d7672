// Archives written here are read by 7z, unzip and bsdtar; archives those tools (and zip) write are
// read here. Each test skips when its tool is not installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "archive/zip_component.h"
#include "test_support.h"
#include "zip_test_util.h"

namespace kestrine::test {
namespace {

using archive::ZipComponent;
namespace fs = std::filesystem;

#define REQUIRE_TOOL(tool)                               \
    do {                                                 \
        if (!HaveTool(tool)) {                           \
            GTEST_SKIP() << tool << " is not installed"; \
        }                                                \
    } while (0)

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
            WriteFile(fs::u8path(src / name), bytes);
            paths_.push_back(src / name);
        }
    }
    // Every file of the set is in `folder` with its content.
    void ExpectAllIn(const std::string& folder) {
        for (auto& [name, bytes] : files_) {
            ASSERT_TRUE(fs::exists(fs::u8path(folder) / fs::u8path(name)))
                << name << " in " << folder;
            EXPECT_EQ(ReadFile(fs::u8path(folder) / fs::u8path(name)), bytes) << name;
        }
    }
    // Reads an archive made by another tool with the component and checks every file.
    void ExpectWeRead(const std::string& archive, const std::string& password, bool encrypted) {
        ZipComponent zip;
        ASSERT_TRUE(zip.OpenArchive(archive)) << zip.LastError();
        EXPECT_EQ(zip.ArchiveNeedsPassword(archive), encrypted ? 1 : 0);
        zip.SetReadingPassword(password);
        EXPECT_TRUE(zip.CheckPassword()) << zip.LastError();
        EXPECT_TRUE(zip.TestEntries()) << zip.LastError();
        TempDir out;
        for (const auto& e : zip.Entries()) {
            ASSERT_TRUE(zip.ExtractTo(e, out.str())) << zip.LastError();
        }
        ExpectAllIn(out.str());
        if (encrypted) {
            zip.SetReadingPassword(password + "x");
            EXPECT_FALSE(zip.CheckPassword());
            EXPECT_FALSE(zip.TestEntries());
        }
    }
    std::string Files() {
        std::string list;
        for (auto& [name, bytes] : files_) list += " " + Quote(name);
        return list;
    }
    // Runs `command` in the source folder.
    int InSource(const std::string& command) {
        return Shell("cd " + Quote(src.str()) + " && LC_ALL=C.UTF-8 " + command);
    }

    std::vector<std::pair<std::string, std::string>> files_;
    std::vector<std::string> paths_;
    TempDir src, work;
};

TEST_F(ZipInteropTest, ToolsReadOurPlainArchive) {
    // Small chunks: the text entry is many independently compressed pieces of one stream.
    std::string archive = work / "plain.ksx";
    ASSERT_TRUE(WriteZip(archive, paths_, "", 64 * 1024));
    if (HaveTool("7z")) {
        EXPECT_EQ(Shell("7z t " + Quote(archive)), 0);
        TempDir out;
        ASSERT_EQ(Shell("7z x -o" + Quote(out.str()) + " " + Quote(archive)), 0);
        ExpectAllIn(out.str());
    }
    if (HaveTool("unzip")) {
        EXPECT_EQ(Shell("unzip -t " + Quote(archive)), 0);
        TempDir out;
        ASSERT_EQ(Shell("LC_ALL=C.UTF-8 unzip -q -d " + Quote(out.str()) + " " + Quote(archive)),
                  0);
        ExpectAllIn(out.str());
    }
    if (HaveTool("bsdtar")) {
        TempDir out;
        ASSERT_EQ(Shell("LC_ALL=C.UTF-8 bsdtar -xf " + Quote(archive) + " -C " + Quote(out.str())),
                  0);
        ExpectAllIn(out.str());
    }
    if (!HaveTool("7z") && !HaveTool("unzip") && !HaveTool("bsdtar")) {
        GTEST_SKIP() << "no zip tool is installed";
    }
}

TEST_F(ZipInteropTest, ToolsReadOurProtectedArchive) {
    REQUIRE_TOOL("7z");
    std::string archive = work / "aes.ksx";
    ASSERT_TRUE(WriteZip(archive, paths_, "s3cret pw", 64 * 1024));
    EXPECT_EQ(Shell("7z t -p's3cret pw' " + Quote(archive)), 0);
    EXPECT_NE(Shell("7z t -pwrong " + Quote(archive)), 0);
    TempDir out;
    ASSERT_EQ(Shell("7z x -p's3cret pw' -o" + Quote(out.str()) + " " + Quote(archive)), 0);
    ExpectAllIn(out.str());
    if (HaveTool("bsdtar")) {
        TempDir out2;
        ASSERT_EQ(Shell("LC_ALL=C.UTF-8 bsdtar --passphrase 's3cret pw' -xf " + Quote(archive) +
                        " -C " + Quote(out2.str())),
                  0);
        ExpectAllIn(out2.str());
    }
}

TEST_F(ZipInteropTest, ToolsAcceptTheArchiveAfterAFailedAdd) {
    REQUIRE_TOOL("unzip");
    std::string archive = work / "partial.ksx";
    ZipComponent zip;
    zip.SetChunkSize(64 * 1024);
    ASSERT_TRUE(zip.CreateArchive(archive));
    ASSERT_TRUE(zip.AddFile(paths_[0]));
    EXPECT_FALSE(zip.AddFile("/proc/self/mem"));
    ASSERT_TRUE(zip.AddFile(paths_[1]));
    ASSERT_TRUE(zip.WriteArchive().ok);
    EXPECT_EQ(Shell("unzip -t " + Quote(archive)), 0);
    if (HaveTool("7z")) {
        EXPECT_EQ(Shell("7z t " + Quote(archive)), 0);
    }
}

TEST_F(ZipInteropTest, WeReadZipArchives) {
    REQUIRE_TOOL("zip");
    ASSERT_EQ(InSource("zip -q -X " + Quote(work / "deflate.zip") + Files()), 0);
    ExpectWeRead(work / "deflate.zip", "", false);
    ASSERT_EQ(InSource("zip -q -X -0 " + Quote(work / "stored.zip") + Files()), 0);
    ExpectWeRead(work / "stored.zip", "", false);
    ASSERT_EQ(InSource("zip -q -X -fz " + Quote(work / "zip64.zip") + Files()), 0);
    ExpectWeRead(work / "zip64.zip", "", false);
    // The traditional PKWARE encryption of earlier versions.
    ASSERT_EQ(InSource("zip -q -X -P 'old pw' " + Quote(work / "zipcrypto.zip") + Files()), 0);
    ExpectWeRead(work / "zipcrypto.zip", "old pw", true);
    // Streamed input: sizes and CRC in data descriptors after the data.
    ASSERT_EQ(InSource("cat text.pst | zip -q -X -P 'old pw' " + Quote(work / "stream.zip") + " -"),
              0);
    ZipComponent zip;
    ASSERT_TRUE(zip.OpenArchive(work / "stream.zip"));
    zip.SetReadingPassword("old pw");
    EXPECT_TRUE(zip.CheckPassword()) << zip.LastError();
    EXPECT_TRUE(zip.TestEntries()) << zip.LastError();
    zip.SetReadingPassword("old pX");
    EXPECT_FALSE(zip.TestEntries());
}

TEST_F(ZipInteropTest, WeRead7zArchives) {
    REQUIRE_TOOL("7z");
    ASSERT_EQ(InSource("7z a -tzip -mx=5 " + Quote(work / "d.zip") + Files()), 0);
    ExpectWeRead(work / "d.zip", "", false);
    ASSERT_EQ(InSource("7z a -tzip -mx=0 " + Quote(work / "s.zip") + Files()), 0);
    ExpectWeRead(work / "s.zip", "", false);
    ASSERT_EQ(InSource("7z a -tzip -mem=AES256 -p'pw 256' " + Quote(work / "a256.zip") + Files()),
              0);
    ExpectWeRead(work / "a256.zip", "pw 256", true);
    ASSERT_EQ(InSource("7z a -tzip -mem=AES128 -p'pw 128' " + Quote(work / "a128.zip") + Files()),
              0);
    ExpectWeRead(work / "a128.zip", "pw 128", true);
    ASSERT_EQ(InSource("7z a -tzip -mem=ZipCrypto -p'pw zc' " + Quote(work / "zc.zip") + Files()),
              0);
    ExpectWeRead(work / "zc.zip", "pw zc", true);
}

TEST_F(ZipInteropTest, WeReadBsdtarArchives) {
    REQUIRE_TOOL("bsdtar");
    ASSERT_EQ(InSource("bsdtar --format zip -cf " + Quote(work / "b.zip") + Files()), 0);
    ExpectWeRead(work / "b.zip", "", false);
    ASSERT_EQ(InSource("bsdtar --format zip --options zip:compression=store -cf " +
                       Quote(work / "bs.zip") + Files()),
              0);
    ExpectWeRead(work / "bs.zip", "", false);
}

// The command-line tool: exit 0 on success, 1 for a damaged archive or a wrong password, 2 for
// usage errors, one line on standard error for each failure.
TEST_F(ZipInteropTest, CommandLineToolStatuses) {
    const std::string tool = Quote(KESTRINE_ZIP_TOOL);
    std::string archive = work / "cli.ksx";
    std::string pwFile = work / "pw.txt";
    WriteFile(fs::u8path(pwFile), "tool pw\r\n");
    std::string files;
    for (const auto& p : paths_) files += " " + Quote(p);
    EXPECT_EQ(
        Shell(tool + " create --password-file " + Quote(pwFile) + " " + Quote(archive) + files), 0);
    EXPECT_EQ(Shell(tool + " list " + Quote(archive)), 0);
    EXPECT_EQ(Shell(tool + " test --password-file " + Quote(pwFile) + " " + Quote(archive)), 0);
    EXPECT_EQ(Shell("KESTRINE_PASSWORD='tool pw' " + tool + " test " + Quote(archive)), 0);
    EXPECT_EQ(Shell("KESTRINE_PASSWORD=nope " + tool + " test " + Quote(archive)), 1);
    EXPECT_EQ(Shell(tool + " test " + Quote(archive)), 1);  // protected, no password
    TempDir out;
    EXPECT_EQ(Shell("KESTRINE_PASSWORD='tool pw' " + tool + " extract " + Quote(archive) + " " +
                    Quote(out.str()) + " kestrine.dat"),
              0);
    EXPECT_EQ(FolderNames(out.str()), std::vector<std::string>{"kestrine.dat"});
    EXPECT_EQ(Shell("KESTRINE_PASSWORD='tool pw' " + tool + " extract " + Quote(archive) + " " +
                    Quote(out.str())),
              0);
    ExpectAllIn(out.str());
    EXPECT_EQ(Shell("KESTRINE_PASSWORD='tool pw' " + tool + " extract " + Quote(archive) + " " +
                    Quote(out.str()) + " no-such-entry"),
              1);

    std::string damaged = work / "damaged.ksx";
    std::string bytes = ReadFile(fs::u8path(archive));
    WriteFile(fs::u8path(damaged), bytes.substr(0, bytes.size() / 2));
    EXPECT_EQ(Shell(tool + " list " + Quote(damaged)), 1);
    EXPECT_EQ(Shell(tool + " test " + Quote(damaged)), 1);

    EXPECT_EQ(Shell(tool), 2);
    EXPECT_EQ(Shell(tool + " frobnicate x"), 2);
    EXPECT_EQ(Shell(tool + " create"), 2);
    EXPECT_EQ(Shell(tool + " list"), 2);
    EXPECT_EQ(Shell(tool + " test --bogus " + Quote(archive)), 2);
    EXPECT_EQ(Shell(tool + " extract " + Quote(archive) + " " + Quote(work / "missing-dir")), 2);
    EXPECT_EQ(Shell(tool + " test --password-file " + Quote(work / "none.txt") + " x"), 2);

    // One clear line on standard error.
    std::string errFile = work / "err.txt";
    std::system((tool + " test --password-file " + Quote(pwFile) + " " + Quote(damaged) + " 2>" +
                 Quote(errFile))
                    .c_str());
    std::string err = ReadFile(fs::u8path(errFile));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("kestrine-zip: "), std::string::npos);

    // A failed create leaves no archive and no temporary file behind.
    EXPECT_EQ(Shell(tool + " create " + Quote(work / "new.ksx") + " " + Quote(paths_[0]) + " " +
                    Quote(work / "missing.pst")),
              1);
    EXPECT_FALSE(fs::exists(fs::u8path(work / "new.ksx")));
    for (const auto& name : FolderNames(work.str()))
        EXPECT_EQ(name.find(".tmp"), std::string::npos);
}

}  // namespace
}  // namespace kestrine::test
