// Ending Outlook by process name, starting programs (Outlook among them), and a scheduled backup
// that waits for an Outlook holding its data file, with real processes under Wine.
#include <gtest/gtest.h>

#include "outlook/process_control.h"
#include "platform/file_stream.h"
#include "platform/processes.h"
#include "registry/registry.h"
#include "schedule/auto_backup.h"
#include "schedule/unattended.h"
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
    const std::filesystem::path exes[] = {
        dir.path() / "a" / "outlook.exe", dir.path() / "b" / "Outlook.EXE",
        dir.path() / "c" / "myoutlook.exe", dir.path() / "d" / "outlook.exe.bak.exe"};
    for (const auto& exe : exes) CopyTestProgram("olk_fake_program.exe", exe);
    auto first = StartKept(exes[0]), second = StartKept(exes[0]), upper = StartKept(exes[1]);
    auto lookalike = StartKept(exes[2]), longer = StartKept(exes[3]);
    for (auto* s : {&first, &second, &upper, &lookalike, &longer}) ASSERT_TRUE(s->process);

    // Gone when the call returns, so their files are closed.
    EXPECT_EQ(outlook::EndOutlook(), 3);
    for (auto* s : {&first, &second, &upper})
        EXPECT_EQ(WaitForSingleObject(s->process, 0), WAIT_OBJECT_0) << s->pid;
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

// Without its automation object Outlook cannot be asked to quit: it is left running unless the
// user agrees to end it.
TEST(CloseOutlook, EndsAnOutlookThatDoesNotQuitOnlyWhenAllowed) {
    test::TempDir dir;
    const auto exe = dir.path() / "o" / "OUTLOOK.EXE";
    CopyTestProgram("olk_fake_program.exe", exe);
    auto stays = StartKept(exe);
    ASSERT_TRUE(stays.process);
    const auto kept = outlook::CloseOutlook({}, 500, 5000);
    EXPECT_EQ(kept.running, 1);
    EXPECT_FALSE(kept.asked || kept.gone || kept.ended > 0);
    EXPECT_EQ(WaitForSingleObject(stays.process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    const auto ended = outlook::CloseOutlook([](const outlook::OutlookClosing&) { return true; });
    EXPECT_EQ(ended.ended, 1);
    EXPECT_TRUE(ended.gone);
    EXPECT_TRUE(Ended(stays.process));
    CloseHandle(stays.process);
}

// The scheduled run finds the data file held by a running Outlook, waits (here on short real
// pauses), and backs it up whole once Outlook has ended by itself.
TEST(ScheduledBackup, WaitsForAnOutlookThatHoldsTheDataFileAndNeverEndsIt) {
    test::Scratch s;
    test::SampleProfile p{s};
    test::Put(s.state.paths.SettingsFile, "[autobackup]\r\nautobackupfile=0\r\n");
    const std::string pst = p.mail + "\\a.pst";
    const std::string content = test::Get(pst);
    const auto exe = s.dir.path() / "Office" / "OUTLOOK.EXE";
    CopyTestProgram("olk_fake_program.exe", exe);
    auto outlook = StartKept(exe, L"-hold \"" + platform::Widen(pst) + L"\"");
    ASSERT_TRUE(outlook.process);
    for (int i = 0; i < 200 && !std::filesystem::exists(exe.wstring() + L".started"); ++i)
        Sleep(50);
    ASSERT_FALSE(platform::fileio::OpenForReadDenyWriters(pst));  // Windows' share modes hold it

    int pauses = 0;
    const auto start = GetTickCount64();
    schedule::WaitClock clock{
        [&] { return std::chrono::milliseconds(static_cast<int64_t>(GetTickCount64() - start)); },
        [&](std::chrono::milliseconds) {
            // Outlook quits after the second look; it takes a moment to end.
            if (++pauses == 2) test::Put(test::Utf8(exe) + ".release", "");
            return platform::SleepUnlessSessionEnds(100);
        }};
    s.state.CommandLine = "sf=Outlookxm=100000000ps=bf=" + p.backups + "\\kestrine-Outlook.ksx";
    const archive::ZipOptions zip;
    const auto result = schedule::RunAutoBackup(s.state, zip, std::chrono::seconds(30), clock);
    EXPECT_GE(pauses, 2);
    EXPECT_EQ(result.exitStatus, schedule::kExitAllSucceeded) << s.Log();
    EXPECT_EQ(test::EntryText(result.archivePath, "a.pst"), content);
    // It ended by itself (exit status 5), and was not ended.
    ASSERT_TRUE(Ended(outlook.process));
    DWORD status = 0;
    GetExitCodeProcess(outlook.process, &status);
    EXPECT_EQ(status, 5u);
    CloseHandle(outlook.process);
    EXPECT_NE(s.Log().find(" Outlook was closed; the backup goes on.\n"), std::string::npos);
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

TEST(StartOutlook, StartsTheRegisteredProgramAlsoFromThe32BitView) {
    test::Scratch s;
    auto exe = s.dir.path() / "Microsoft Office" / "OUTLOOK.EXE";
    CopyTestProgram("olk_fake_program.exe", exe);
    // 32-bit Office on 64-bit Windows registers its program in the registry's 32-bit view.
    const std::string sub = "Software\\KestrineTest\\k-" + s.unique + "\\AppPaths";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, platform::Widen(sub).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring folder = exe.parent_path().wstring() + L"\\";
    RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    const std::string appPaths = "HKEY_LOCAL_MACHINE\\" + sub;
    EXPECT_EQ(registry::GetStringValue(appPaths, "Path"), std::nullopt);
    EXPECT_EQ(outlook::RegisteredOutlookExe(appPaths), test::Utf8(exe));
    EXPECT_TRUE(outlook::StartOutlook(appPaths));
    std::filesystem::path started = exe.wstring() + L".started";
    for (int i = 0; i < 200 && !std::filesystem::exists(started); ++i) Sleep(50);
    EXPECT_TRUE(std::filesystem::exists(started));
    outlook::EndOutlook();
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\KestrineTest", 0,
                      KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
        RegDeleteTreeW(key, platform::Widen("k-" + s.unique).c_str());
        RegCloseKey(key);
    }
}

}  // namespace
}  // namespace kestrine
