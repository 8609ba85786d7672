// Drives kestrine.exe through its windows for tools/screenshots:
//   window_tour PROGRAM FOLDER PASSWORD SUFFIX
// starts PROGRAM, puts each window in a state a user would see, and for each picture writes
// FOLDER\NAME<SUFFIX>.rect ("x y width height" of the window to picture); it goes on once that
// file has been removed. Everything happens through window messages, as in the end-to-end test.
#include <windows.h>
//
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/text.h"
#include "ui/win/resource.h"
#include "window_driver.h"

namespace {

using namespace kestrine::test;

std::filesystem::path g_folder;
std::wstring g_suffix;
DWORD g_process = 0;

void Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Pictures `window` once it has painted; returns when the picture is taken.
void Picture(HWND window, const std::wstring& name) {
    if (!window) {
        std::fwprintf(stderr, L"window_tour: no window for %ls\n", name.c_str());
        return;
    }
    SetForegroundWindow(window);
    // No control under the pointer, so none is drawn hot and no tooltip shows (the pointer moves
    // once a window of the program is in the foreground).
    SetCursorPos(0, 0);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pause(600);
    RECT r;
    GetWindowRect(window, &r);
    const auto file = g_folder / (name + g_suffix + L".rect");
    const auto temp = g_folder / (name + L".part");
    if (FILE* out = _wfopen(temp.c_str(), L"w")) {
        std::fprintf(out, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        std::fclose(out);
        std::filesystem::rename(temp, file);
    }
    WaitUntil([&] { return !std::filesystem::exists(file); });
}

void Command(HWND window, int id) {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

// The settings and scheduled-backup dialogs, opened through the Option menu.
void OptionDialogs(HWND main) {
    Command(main, IDM_SETTINGS);
    HWND settings = WaitForWindow("Settings", nullptr, g_process);
    const wchar_t* pages[] = {L"settings-general", L"settings-backup",
                              L"settings-scheduled-backup"};
    for (int tab = 0; tab < 3; ++tab) {
        ShowTab(settings, IDC_SETTINGS_TABS, tab);
        Picture(settings, pages[tab]);
    }
    Command(settings, IDCANCEL);
    WaitUntilGone(settings);

    Command(main, IDM_TASK_SCHEDULER);
    HWND scheduler = WaitForWindow("Task Scheduler", nullptr, g_process);
    for (int id : {IDC_TASK_ITEM_FIRST, IDC_TASK_ITEM_FIRST + 1, IDC_TASK_ITEM_FIRST + 2,
                   IDC_TASK_ITEM_FIRST + 8, IDC_TASK_MONDAY, IDC_TASK_MONDAY + 3, IDC_TASK_PROTECT})
        Click(scheduler, id);
    Type(scheduler, IDC_TASK_PASSWORD, "secret");
    Type(scheduler, IDC_TASK_PASSWORD2, "secret");
    Picture(scheduler, L"task-scheduler");
    Command(scheduler, IDCANCEL);
    WaitUntilGone(scheduler);
}

int Tour(const std::wstring& program, const std::string& password) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring command = L"\"" + program + L"\"";
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return 1;
    CloseHandle(info.hThread);
    g_process = info.dwProcessId;
    HWND main = WaitForWindow("Kestrine V3.30", nullptr, g_process);

    if (!main || !WaitUntil([&] {
            return SendMessageW(Control(main, IDC_SOURCE_PROFILE), CB_GETCOUNT, 0, 0) > 0;
        }))
        return 1;

    // The Backup page as a user fills it in.
    Command(main, IDM_SELECT_ALL_BACKUP);
    Click(main, IDC_PROTECT);
    Type(main, IDC_PASSWORD, password);
    Type(main, IDC_PASSWORD2, password);
    Type(main, IDC_NOTE, "Before moving to the new laptop");
    Picture(main, L"main-backup");

    // A backup at work: the large data file keeps it busy for a while.
    const std::string archive = Text(main, IDC_TARGET_FILE);
    PostClick(main, IDC_APPLY);
    HWND bar = Control(main, IDC_PROGRESS_BAR);
    WaitUntil([&] { return IsWindowVisible(bar) && SendMessageW(bar, PBM_GETPOS, 0, 0) >= 15; });
    Pause(300);
    Picture(main, L"backup-in-progress");
    for (int tries = 0; tries < 6 && AnswerMessageBox(IDOK, g_process).text.empty(); ++tries) {
    }

    // Opening the backup on the Restore page: the password dialog, then the items it holds.
    ShowTab(main, IDC_MAIN_TABS, 1);
    PostClick(main, IDC_BROWSE_SOURCE);
    AnswerFileDialog("Restore Date from a backup file", archive, g_process);
    HWND asked = WaitForWindow("Please enter password", nullptr, g_process);
    Type(asked, IDC_PASSWORD_ENTRY, password);
    Picture(asked, L"password");
    Command(asked, IDOK);
    WaitUntilGone(asked);
    WaitUntil([&] { return Enabled(main, IDC_RESTORE_ITEM_FIRST); });
    Command(main, IDM_SELECT_ALL_RESTORE);
    Picture(main, L"main-restore");

    ShowTab(main, IDC_MAIN_TABS, 2);
    Picture(main, L"main-logs");
    ShowTab(main, IDC_MAIN_TABS, 3);
    Picture(main, L"main-about");

    Command(main, IDM_ABOUT);
    HWND about = WaitForWindow("About Kestrine", nullptr, g_process);
    Picture(about, L"about-box");
    Command(about, IDOK);
    WaitUntilGone(about);

    OptionDialogs(main);

    Command(main, IDM_QUIT);
    const bool ended = WaitForSingleObject(info.hProcess, 20000) == WAIT_OBJECT_0;
    CloseHandle(info.hProcess);
    return ended ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) return 2;
    g_folder = argv[2];
    g_suffix = argv[4];
    return Tour(argv[1], kestrine::platform::Narrow(argv[3]));
}
