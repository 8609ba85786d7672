// Stands in for outlook.exe (copied under other names by the tests): it leaves "<its path>.started"
// beside itself to show it ran, then only waits to be ended, giving up by itself after two minutes
// (exit status 7) so that a failed test leaves nothing behind.
//
//   olk_fake_program.exe -hold FILE   holds FILE open for writing, as Outlook holds its data files
//                                     (others may only read it), until "<its path>.release"
//                                     exists; then lets go and ends by itself (exit status 5)
#include <windows.h>
// shellapi.h needs the types of windows.h first.
#include <shellapi.h>

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    HANDLE held = INVALID_HANDLE_VALUE;
    if (argc >= 3 && lstrcmpiW(argv[1], L"-hold") == 0) {
        held = CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (held == INVALID_HANDLE_VALUE) return 3;
    }
    wchar_t path[MAX_PATH + 16], release[MAX_PATH + 16];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        lstrcpyW(release, path);
        lstrcatW(release, L".release");
        lstrcatW(path, L".started");
        HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    }
    if (held != INVALID_HANDLE_VALUE) {
        for (int i = 0; i < 2400 && GetFileAttributesW(release) == INVALID_FILE_ATTRIBUTES; ++i)
            Sleep(50);
        CloseHandle(held);
        return 5;
    }
    Sleep(120000);
    return 7;
}
