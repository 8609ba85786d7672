// Ending Outlook by process name and starting programs, Outlook among them, with real processes
// under Wine.
#include <gtest/gtest.h>

#include "outlook/process_control.h"
#include "platform/processes.h"
#include "registry/registry.h"
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
    EXPECT_TRUE(outlook::CloseOutlook(0).gone);
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

// Outlook is asked to quit the way a user would, and only one that does not is ended.
TEST(CloseOutlook, AsksFirstAndEndsOnlyAnOutlookThatDoesNotQuit) {
    test::TempDir dir;
    const auto polite = dir.path() / "p" / "outlook.exe";
    const auto stubborn = dir.path() / "s" / "OUTLOOK.EXE";
    CopyTestProgram("olk_polite_program.exe", polite);
    CopyTestProgram("olk_fake_program.exe", stubborn);
    auto WaitFor = [](const std::filesystem::path& marker) {
        for (int i = 0; i < 400 && !std::filesystem::exists(marker); ++i) Sleep(50);
        return std::filesystem::exists(marker);
    };

    auto quits = StartKept(polite);
    ASSERT_TRUE(WaitFor(polite.wstring() + L".started"));
    const auto alone = outlook::CloseOutlook(20000, 5000);
    EXPECT_EQ(alone.running, 1);
    EXPECT_EQ(alone.ended, 0);
    EXPECT_TRUE(alone.gone);
    EXPECT_TRUE(std::filesystem::exists(polite.wstring() + L".closed"));
    EXPECT_TRUE(Ended(quits.process));
    CloseHandle(quits.process);
    for (const wchar_t* mark : {L".closed", L".started"})
        std::filesystem::remove(polite.wstring() + mark);

    // Beside one that does not quit: that one alone is ended, once the bounded wait is over.
    quits = StartKept(polite);
    auto stays = StartKept(stubborn);
    ASSERT_TRUE(WaitFor(polite.wstring() + L".started"));
    ASSERT_TRUE(WaitFor(stubborn.wstring() + L".started"));
    const auto both = outlook::CloseOutlook(1000, 5000);
    EXPECT_EQ(both.running, 2);
    EXPECT_EQ(both.ended, 1);
    EXPECT_TRUE(both.gone);
    EXPECT_TRUE(std::filesystem::exists(polite.wstring() + L".closed"));
    for (auto* s : {&quits, &stays}) {
        EXPECT_TRUE(Ended(s->process));
        CloseHandle(s->process);
    }
    // Nothing running: nothing to do.
    EXPECT_EQ(outlook::CloseOutlook(0, 0).running, 0);
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
    outlook::CloseOutlook();
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\KestrineTest", 0,
                      KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
        RegDeleteTreeW(key, platform::Widen("k-" + s.unique).c_str());
        RegCloseKey(key);
    }
}

}  // namespace
}  // namespace kestrine
