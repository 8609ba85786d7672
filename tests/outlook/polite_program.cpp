// Stands in for an Outlook that quits when asked: it shows a main window, leaves "<its
// path>.started" beside itself once the window is there, and when the window is closed (WM_CLOSE,
// as a user or Kestrine would) leaves "<its path>.closed" and ends. It gives up by itself after two
// minutes.
#include <windows.h>

#include <string>

namespace {

std::wstring g_path;

void Mark(const wchar_t* suffix) {
    HANDLE f = CreateFileW((g_path + suffix).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_CLOSE) {
        Mark(L".closed");
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

}  // namespace

int main() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    g_path.assign(path, n);
    WNDCLASSW cls{};
    cls.lpfnWndProc = Procedure;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"PoliteOutlookStandIn";
    RegisterClassW(&cls);
    HWND window =
        CreateWindowW(cls.lpszClassName, L"Inbox - Outlook", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                      CW_USEDEFAULT, 400, 300, nullptr, nullptr, cls.hInstance, nullptr);
    if (!window) return 3;
    ShowWindow(window, SW_SHOWNORMAL);
    Mark(L".started");
    SetTimer(window, 1, 120000, [](HWND w, UINT, UINT_PTR, DWORD) { DestroyWindow(w); });
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
