// Stands in for outlook.exe (copied under other names by the tests): it leaves "<its path>.started"
// beside itself to show it ran, then only waits to be ended, giving up by itself after two minutes
// so that a failed test leaves nothing behind.
#include <windows.h>

int main() {
    wchar_t path[MAX_PATH + 16];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        lstrcatW(path, L".started");
        HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    }
    Sleep(120000);
    return 7;
}
