// Restores a backup through a program's windows as a user would: starts it with an empty command
// line, opens ARCHIVE on the Restore page, answers the password dialog, chooses PROFILE, ticks
// every item the backup holds, confirms, and quits the program. Prints the completion message; its
// exit code is 0 when the message says the restore completed and the program ended with 0.
//   restore_as_user PROGRAM ARCHIVE PASSWORD PROFILE
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/version.h"
#include "platform/text.h"
#include "ui/restore_presenter.h"
#include "ui/win/resource.h"
#include "window_driver.h"

int wmain(int argc, wchar_t** argv) {
    using namespace kestrine;
    using namespace kestrine::test;
    if (argc != 5) {
        std::fprintf(stderr, "usage: restore_as_user PROGRAM ARCHIVE PASSWORD PROFILE\n");
        return 100;
    }
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        std::fprintf(stderr, "cannot start the program\n");
        return 102;
    }
    CloseHandle(info.hThread);
    const DWORD pid = info.dwProcessId;
    auto fail = [&](const char* what) {
        std::fprintf(stderr, "%s\n", what);
        TerminateProcess(info.hProcess, 1);
        CloseHandle(info.hProcess);
        return 1;
    };
    HWND main =
        WaitForWindow(std::string(kProductName) + " V" + kProductVersionShort, nullptr, pid);
    if (!main) return fail("no main window");
    // The window takes commands once it has gathered the profiles.
    if (!WaitUntil(
            [&] { return SendMessageW(Control(main, IDC_SOURCE_PROFILE), CB_GETCOUNT, 0, 0) > 0; }))
        return fail("no profiles");
    ShowTab(main, IDC_MAIN_TABS, 1);
    PostClick(main, IDC_BROWSE_SOURCE);
    if (!AnswerFileDialog("Restore Date from a backup file", platform::Narrow(argv[2]), pid))
        return fail("no file dialog");
    HWND asked = WaitForWindow("Please enter password", nullptr, pid);
    if (!asked) return fail("no password dialog");
    Type(asked, IDC_PASSWORD_ENTRY, platform::Narrow(argv[3]));
    PostMessageW(asked, WM_COMMAND, IDOK, 0);
    if (!WaitUntil([&] { return !Text(main, IDC_BACKUP_INFO).empty(); }))
        return fail("the backup did not open");
    const auto target = SendMessageW(Control(main, IDC_TARGET_PROFILE), CB_FINDSTRINGEXACT,
                                     static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(argv[4]));
    if (target < 0) return fail("no such target profile");
    Choose(main, IDC_TARGET_PROFILE, static_cast<int>(target));
    SendMessageW(main, WM_COMMAND, IDM_SELECT_ALL_RESTORE, 0);
    PostClick(main, IDC_APPLY);
    const std::string confirm = AnswerMessageBox(IDOK, pid).text;
    if (confirm.rfind(ui::kConfirmRestoreFirstLine, 0) != 0) {
        std::printf("%s\n", confirm.c_str());
        return fail("the restore was not offered");
    }
    const std::string said = AnswerMessageBox(IDOK, pid).text;
    std::printf("%s\n", said.c_str());
    PostMessageW(main, WM_COMMAND, IDM_QUIT, 0);
    DWORD code = 103;
    if (WaitForSingleObject(info.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    const bool completed =
        said.rfind("The Restore was Completed!", 0) == 0 && said.find("Fail!") == std::string::npos;
    return completed && code == 0 ? 0 : 1;
}
