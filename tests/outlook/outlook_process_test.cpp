// Ending Outlook by process name and starting programs, Outlook among them, with real processes
// under Wine.
#include <gtest/gtest.h>

#include "outlook/process_control.h"
#include "platform/processes.h"
#include "win_scratch.h"

namespace kestrine {
namespace {

using test::CopyTestProgram;
using test::Ended;
using test::StartKept;

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
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

    outlook::CloseOutlook();
    for (auto* s : {&first, &second, &upper}) ASSERT_TRUE(Ended(s->process)) << s->pid;
    // Whole-name comparison: these keep running.
    EXPECT_EQ(WaitForSingleObject(lookalike.process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(longer.process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    // The same request in capitals finds nothing left; an unknown or empty name touches nothing.
    EXPECT_EQ(platform::KillProcessByName("OUTLOOK.EXE"), 0);
    EXPECT_EQ(platform::KillProcessByName("no-such-program-olk.exe"), 0);
    EXPECT_EQ(platform::KillProcessByName(""), 0);
    // Never the calling process.
    EXPECT_EQ(platform::KillProcessByName("outlook_process_test.exe"), 0);

    for (auto* s : {&lookalike, &longer}) {
        TerminateProcess(s->process, 1);
        Ended(s->process);
    }
    for (auto* s : {&first, &second, &upper, &lookalike, &longer}) CloseHandle(s->process);
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

TEST(StartOutlook, StartsTheRegisteredProgramAndRefusesAMissingEntry) {
    test::Scratch s;
    auto exe = s.dir.path() / "Microsoft Office" / "OUTLOOK.EXE";
    CopyTestProgram("olk_fake_program.exe", exe);
    test::SetValue(s.root + "\\AppPaths", "Path", test::kSz,
                   test::SzData(test::Utf8(exe.parent_path()) + "\\"));
    EXPECT_TRUE(outlook::StartOutlook(s.root + "\\AppPaths"));
    std::filesystem::path started = exe.wstring() + L".started";
    for (int i = 0; i < 200 && !std::filesystem::exists(started); ++i) Sleep(50);
    EXPECT_TRUE(std::filesystem::exists(started));
    outlook::CloseOutlook();

    EXPECT_FALSE(outlook::StartOutlook(s.root + "\\Missing"));
    test::MakeKey(s.root + "\\NoPath");
    EXPECT_FALSE(outlook::StartOutlook(s.root + "\\NoPath"));
    EXPECT_EQ(outlook::OutlookCommandLine("C:\\Office\\"), "\"C:\\Office\\OUTLOOK.EXE\"");
    EXPECT_EQ(outlook::OutlookCommandLine("C:\\Office"), "\"C:\\Office\\OUTLOOK.EXE\"");
}

}  // namespace
}  // namespace kestrine
