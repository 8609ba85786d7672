// Ending Outlook by process name and starting programs, with real processes under Wine.
#include <gtest/gtest.h>

#include "platform/processes.h"
#include "test_support.h"
#include "win_test_util.h"

namespace kestrine {
namespace {

using test::CopyTestProgram;
using test::Ended;
using test::StartKept;

std::string Quoted(const std::string& path) {
    std::string out(1, '"');
    out += path;
    out += '"';
    return out;
}

TEST(KillProcessByName, EndsEveryInstanceWhateverTheCaseAndSparesLookalikes) {
    test::TempDir dir;
    CopyTestProgram("olk_fake_program.exe", dir.path() / "a" / "outlook.exe");
    CopyTestProgram("olk_fake_program.exe", dir.path() / "b" / "Outlook.EXE");
    CopyTestProgram("olk_fake_program.exe", dir.path() / "c" / "myoutlook.exe");
    CopyTestProgram("olk_fake_program.exe", dir.path() / "d" / "outlook.exe.bak.exe");

    auto first = StartKept(dir.path() / "a" / "outlook.exe");
    auto second = StartKept(dir.path() / "a" / "outlook.exe");
    auto upper = StartKept(dir.path() / "b" / "Outlook.EXE");
    auto lookalike = StartKept(dir.path() / "c" / "myoutlook.exe");
    auto longer = StartKept(dir.path() / "d" / "outlook.exe.bak.exe");
    for (auto* s : {&first, &second, &upper, &lookalike, &longer}) ASSERT_TRUE(s->process);

    EXPECT_GE(platform::KillProcessByName("outlook.exe"), 3);

    for (auto* s : {&first, &second, &upper}) {
        ASSERT_TRUE(Ended(s->process)) << s->pid;
        EXPECT_EQ(test::ExitCodeOf(s->process), 0u);
    }
    // Whole-name comparison: these keep running.
    EXPECT_EQ(WaitForSingleObject(lookalike.process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(longer.process, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    // The same request in capitals finds nothing left.
    EXPECT_EQ(platform::KillProcessByName("OUTLOOK.EXE"), 0);

    for (auto* s : {&lookalike, &longer}) {
        TerminateProcess(s->process, 1);
        Ended(s->process);
    }
    for (auto* s : {&first, &second, &upper, &lookalike, &longer}) CloseHandle(s->process);
}

TEST(KillProcessByName, UnknownOrEmptyNameTouchesNothing) {
    EXPECT_EQ(platform::KillProcessByName("no-such-program-olk.exe"), 0);
    EXPECT_EQ(platform::KillProcessByName(""), 0);
}

TEST(KillProcessByName, NeverEndsTheCallingProcess) {
    wchar_t buf[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::string self = test::Utf8(std::filesystem::path(std::wstring(buf, n)).filename());
    EXPECT_EQ(platform::KillProcessByName(self), 0);
}

TEST(StartProgram, StartsWithoutWaitingAndReportsFailure) {
    test::TempDir dir;
    auto exe = dir.path() / "with space" / "olk-started.exe";
    CopyTestProgram("olk_fake_program.exe", exe);
    EXPECT_TRUE(
        platform::StartProgram(Quoted(test::Utf8(exe)), platform::ShowMode::MinimizedFocus));
    EXPECT_EQ(platform::KillProcessByName("olk-started.exe"), 1);

    EXPECT_FALSE(platform::StartProgram(Quoted(dir / "missing.exe"), platform::ShowMode::Normal));
    EXPECT_FALSE(platform::StartProgram("", platform::ShowMode::Hidden));
}

}  // namespace
}  // namespace kestrine
