#include <windows.h>
//
#include <shellapi.h>

#include <algorithm>
#include <cwchar>

#include "platform/notification.h"
#include "platform/text.h"

namespace kestrine::platform {

namespace {

// How long the balloon stays before its icon goes again (the shell shows a balloon at least as
// long as its own minimum, and only while its icon is there).
constexpr DWORD kShownMs = 10000;

template <size_t N>
void CopyCut(wchar_t (&field)[N], const std::string& text) {
    const std::wstring wide = Widen(text);
    const size_t count = std::min(wide.size(), N - 1);
    std::wmemcpy(field, wide.data(), count);
    field[count] = L'\0';
}

}  // namespace

bool ShowErrorNotification(const NotificationRequest& request) {
    // A message-only window owns the icon: nothing of it shows but the icon and its balloon.
    HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (!owner) return false;
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = owner;
    icon.uID = 1;
    icon.uFlags = NIF_ICON | NIF_TIP | NIF_INFO;
    icon.hIcon = LoadIconW(nullptr, IDI_ERROR);
    CopyCut(icon.szTip, request.title);
    CopyCut(icon.szInfoTitle, request.title);
    CopyCut(icon.szInfo, request.text);
    icon.dwInfoFlags = NIIF_ERROR;
    const bool shown = Shell_NotifyIconW(NIM_ADD, &icon) != FALSE;
    if (shown) {
        const DWORD until = GetTickCount() + kShownMs;
        for (DWORD now = GetTickCount(); static_cast<LONG>(until - now) > 0; now = GetTickCount()) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, until - now, QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        }
        Shell_NotifyIconW(NIM_DELETE, &icon);
    }
    DestroyWindow(owner);
    return shown;
}

}  // namespace kestrine::platform
