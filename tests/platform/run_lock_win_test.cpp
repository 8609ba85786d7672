// The user's run lock across processes, with the real platform layer: runs of several processes
// never hold it at once, also after a holder let go of it and took it again. (The lock no longer
// lives in a private namespace, whose closing by its creator made later opens fail on Windows and
// split the lock in two; Wine does not close namespaces that way, so it showed no fault there.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/run_lock.h"
#include "win_scratch.h"

namespace kestrine::test {
namespace {

TEST(RunLock, ProcessesNeverHoldItAtOnceAlsoAfterItWasReleasedAndTakenAgain) {
    TempDir dir;
    const std::wstring marker = platform::Widen(dir / "holder.marker");
    std::vector<Started> holders;
    for (int i = 0; i < 3; ++i) {
        holders.push_back(StartKept(ExeFolder() / "run_lock_holder.exe", L"\"" + marker + L"\" 6"));
        ASSERT_TRUE(holders.back().process);
    }
    // This process's thread takes it again while holding it; the holders wait meanwhile.
    for (int round = 0; round < 3; ++round) {
        const auto lock = platform::RunLock::Take(std::chrono::seconds(60));
        ASSERT_TRUE(lock);
        const auto again = platform::RunLock::Take(std::chrono::milliseconds(0));
        EXPECT_TRUE(again);
        HANDLE alone = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(alone, INVALID_HANDLE_VALUE) << "another holder was at work";
        CloseHandle(alone);
        Sleep(100);
        DeleteFileW(marker.c_str());
    }
    for (auto& holder : holders) {
        ASSERT_TRUE(Ended(holder.process));
        DWORD code = 1;
        GetExitCodeProcess(holder.process, &code);
        CloseHandle(holder.process);
        EXPECT_EQ(code, 0u) << "3: no lock to be had, 4: two holders at once";
    }
}

}  // namespace
}  // namespace kestrine::test
