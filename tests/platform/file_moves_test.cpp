// Moves that never replace what they did not expect and that wait out another program's hold,
// and files beyond the classic path limit: natively against the POSIX twin and its held files,
// under Wine against the real platform layer.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <thread>

#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "base/path.h"
#include "files_held.h"
#include "platform/file_stream.h"
#include "platform/text.h"
#include "test_support.h"

namespace kestrine::test {
namespace {

namespace fileio = platform::fileio;
using namespace std::chrono_literals;

// A scanner that opens `path` without sharing until it lets go.
class Scanner {
  public:
    explicit Scanner(const std::string& path) : path_(path) {
#ifdef _WIN32
        handle_ = CreateFileW(platform::Widen(path).c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE);
#else
        fileio::Hold(path);
#endif
    }
    ~Scanner() {
        LetGo();
    }
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;
    void LetGo() {
#ifdef _WIN32
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
#else
        fileio::LetGo(path_);
#endif
    }

  private:
    std::string path_;
#ifdef _WIN32
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#endif
};

TEST(PatientMoves, AHoldIsWaitedOutForUpToAMinuteWithGrowingPausesAndCancelEndsItAtOnce) {
    TempDir dir;
    const std::string from = dir / "~new.tmp", to = dir / "backup.ksx";
    WriteFile(from, "new");
    WriteFile(to, "old");
    std::chrono::milliseconds slept{0}, longest{0};
    int told = 0;
    fileio::MoveWait wait;
    wait.waiting = [&](const std::string& held, const std::string&) { told += held == from; };
    {
        // Held for 50 s of the test's clock: the move waits, tells of it once, and then moves.
        Scanner scanner(from);
        wait.sleep = [&](std::chrono::milliseconds pause) {
            slept += pause;
            longest = std::max(longest, pause);
            if (slept >= 50s) scanner.LetGo();
        };
        EXPECT_TRUE(fileio::MoveWaiting(from, to, fileio::Replace::Yes, wait));
    }
    EXPECT_EQ(ReadFile(to), "new");
    EXPECT_EQ(told, 1);
    EXPECT_GE(slept, 50s);
    EXPECT_EQ(longest, fileio::kLongestMovePause);

    // A hold that outlasts the minute fails the move; cancel ends the wait before any pause.
    WriteFile(from, "newer");
    {
        Scanner scanner(from);
        slept = 0ms;
        wait.sleep = [&](std::chrono::milliseconds pause) { slept += pause; };
        EXPECT_FALSE(fileio::MoveWaiting(from, dir / "free.ksx", fileio::Replace::Never, wait));
        EXPECT_EQ(slept, 60s);
        slept = 0ms;
        wait.cancelled = [] { return true; };
        EXPECT_FALSE(fileio::MoveWaiting(from, to, fileio::Replace::Yes, wait));
        EXPECT_EQ(slept, 0ms);
    }
    EXPECT_EQ(ReadFile(from), "newer");
    EXPECT_EQ(ReadFile(to), "new");
}

TEST(PatientMoves, AMoveToAFreeNameNeverReplacesWhatIsThere) {
    TempDir dir;
    const std::string from = dir / "~a.pst.restoring-1-2.tmp", to = dir / "a.pst";
    WriteFile(from, "restored");
    WriteFile(to, "made by Outlook meanwhile");
    EXPECT_FALSE(fileio::MoveToFree(from, to));
    EXPECT_FALSE(fileio::MoveToFreePatiently(from, to));
    EXPECT_EQ(ReadFile(to), "made by Outlook meanwhile");
    EXPECT_EQ(ReadFile(from), "restored");
    ASSERT_TRUE(fileio::RemoveFile(to));
    EXPECT_TRUE(fileio::MoveToFreePatiently(from, to));
    EXPECT_EQ(ReadFile(to), "restored");
    EXPECT_FALSE(fileio::Exists(from));
}

#ifdef _WIN32
// A scanner or sync client holds the finished archive for longer than a few seconds: the move
// into place waits for it with the system's own clock.
TEST(PatientMoves, AFileHeldForFiveSecondsDelaysTheMoveInsteadOfFailingIt) {
    TempDir dir;
    const std::string from = dir / "~backup.ksx.writing-1-2.tmp", to = dir / "backup.ksx";
    WriteFile(from, "new");
    WriteFile(to, "old");
    auto scanner = std::make_unique<Scanner>(from);
    std::thread letGo([&] {
        Sleep(5000);
        scanner->LetGo();
    });
    EXPECT_TRUE(fileio::MoveOverPatiently(from, to));
    letGo.join();
    EXPECT_EQ(ReadFile(to), "new");
}
#endif

// A data file under a path of 300 characters and more is backed up and restored. (Wine reaches
// such paths with or without the extended form; Windows only with it, or with the manifest's
// long-path setting where the system has long paths enabled.)
TEST(LongPaths, ADataFileUnderA300CharacterPathIsBackedUpAndRestored) {
    TempDir dir;
    std::vector<std::string> folders{dir.str()};
    while (folders.back().size() < 290) {
        folders.push_back(base::JoinPath(folders.back(), std::string(40, 'f')));
        ASSERT_TRUE(fileio::MakeFolder(folders.back())) << folders.back().size();
    }
    const std::string pst = base::JoinPath(folders.back(), "Outlook.pst");
    const std::string archive = base::JoinPath(folders.back(), "backup.ksx");
    const std::string restored = base::JoinPath(folders.back(), "Restored.pst");
    ASSERT_GE(pst.size(), 300u);
    std::string content(300000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 251);
    {
        const auto file = fileio::CreateNew(pst);
        ASSERT_TRUE(file);
        ASSERT_TRUE(file->Write(content.data(), content.size()));
    }
    {
        archive::ArchiveWriter zip(archive::EntryProtection::None());
        ASSERT_TRUE(zip.CreateArchive(archive));
        ASSERT_TRUE(zip.AddFile(pst));
        ASSERT_TRUE(zip.WriteArchive());
    }
    archive::ArchiveReader zip;
    ASSERT_TRUE(zip.OpenArchive(archive));
    const auto entry = zip.FindEntry("Outlook.pst");
    ASSERT_TRUE(entry);
    ASSERT_TRUE(zip.ExtractToFile(*entry, restored));
    EXPECT_EQ(fileio::ReadWholeFile(restored), content);
    ASSERT_TRUE(fileio::MoveOver(restored, pst));
    EXPECT_EQ(fileio::ListFileNames(folders.back()).size(), 2u);
    zip.CloseArchive();
    for (const auto& name : fileio::ListFileNames(folders.back()))
        EXPECT_TRUE(fileio::RemoveFile(base::JoinPath(folders.back(), name)));
    for (size_t i = folders.size() - 1; i > 0; --i)
        EXPECT_TRUE(fileio::RemoveEmptyFolder(folders[i]));
    EXPECT_FALSE(fileio::Exists(folders[1]));
}

}  // namespace
}  // namespace kestrine::test
