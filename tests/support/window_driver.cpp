#include "window_driver.h"

#include <commctrl.h>

#include <chrono>
#include <thread>

#include "app/version.h"
#include "platform/text.h"

namespace kestrine::test {

namespace {

// How long a wait goes on before it counts as hung: a guard, not a timing check. A fresh prefix of
// a machine busy with other builds may take well over half a minute to show a window.
constexpr auto kHangGuard = std::chrono::minutes(2);

template <class Found>
auto Poll(Found found) {
    auto until = std::chrono::steady_clock::now() + kHangGuard;
    for (;;) {
        auto result = found();
        if (result || std::chrono::steady_clock::now() > until) return result;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// WM_GETTEXT, not GetWindowText: only the message reads a control of another process.
std::string WindowText(HWND window) {
    wchar_t buffer[4096] = {};
    SendMessageW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));
    return platform::Narrow(buffer);
}

struct Search {
    std::wstring caption;
    HWND owner;
    DWORD process;
    HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->process || !IsWindowVisible(window)) return TRUE;
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    bool match = search->caption.empty() ? GetWindow(window, GW_OWNER) == search->owner
                                         : search->caption == caption;
    if (!match) return TRUE;
    search->found = window;
    return FALSE;
}

struct ById {
    int id;
    HWND found = nullptr;
};

BOOL CALLBACK VisitChild(HWND child, LPARAM lParam) {
    auto* search = reinterpret_cast<ById*>(lParam);
    if (GetDlgCtrlID(child) != search->id) return TRUE;
    search->found = child;
    return FALSE;
}

BOOL CALLBACK FindIcon(HWND child, LPARAM lParam) {
    wchar_t name[32] = {};
    GetClassNameW(child, name, 32);
    if (lstrcmpiW(name, L"Static") != 0 ||
        (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
        return TRUE;
    *reinterpret_cast<HICON*>(lParam) =
        reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    return FALSE;
}

BOOL CALLBACK Cancel(HWND window, LPARAM) {
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    // A main window ignores IDCANCEL (Esc) and closes by its close box.
    if (!GetWindow(window, GW_OWNER)) PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

}  // namespace

ModalThread::ModalThread(std::function<bool()> show)
    : thread_([this, show = std::move(show)] {
          threadId_ = GetCurrentThreadId();
          result_ = show();
          done_ = true;
      }) {}

ModalThread::~ModalThread() {
    while (!done_) {
        if (threadId_) EnumThreadWindows(threadId_, Cancel, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    thread_.join();
}

bool ModalThread::Result() {
    return Poll([&] { return done_.load(); }) && result_;
}

HWND WaitForWindow(const std::string& caption, HWND owner, DWORD process) {
    return Poll([&] {
        Search search{platform::Widen(caption), owner, process ? process : GetCurrentProcessId()};
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
        return search.found;
    });
}

bool WaitUntil(const std::function<bool()>& done) {
    return Poll(done);
}

bool WaitUntilGone(HWND window) {
    return Poll([&] { return !IsWindow(window); });
}

HWND Control(HWND window, int id) {
    ById search{id};
    EnumChildWindows(window, VisitChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string Text(HWND window, int id) {
    return WindowText(Control(window, id));
}

bool Checked(HWND window, int id) {
    return SendMessageW(Control(window, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool Enabled(HWND window, int id) {
    return IsWindowEnabled(Control(window, id)) != FALSE;
}

void Type(HWND window, int id, const std::string& text) {
    SendMessageW(Control(window, id), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(platform::Widen(text).c_str()));
}

void Click(HWND window, int id) {
    SendMessageW(Control(window, id), BM_CLICK, 0, 0);
}

void PostClick(HWND window, int id) {
    PostMessageW(Control(window, id), BM_CLICK, 0, 0);
}

void Choose(HWND window, int id, int index) {
    HWND box = Control(window, id);
    SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(GetParent(box), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(box));
}

void ShowTab(HWND window, int id, int index) {
    SendMessageW(Control(window, id), TCM_SETCURFOCUS, static_cast<WPARAM>(index), 0);
}

SeenMessage AnswerMessageBox(int button, DWORD process) {
    HWND box = WaitForWindow(kProductName, nullptr, process);
    if (!box) return {};
    SeenMessage seen;
    seen.text = WindowText(GetDlgItem(box, 0xFFFF));
    seen.owner = GetWindow(box, GW_OWNER);
    // Icons are compared by handle, which only this process's own boxes share with it.
    HICON icon = nullptr;
    if (!process || process == GetCurrentProcessId())
        EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&icon));
    if (icon && icon == LoadIconW(nullptr, IDI_INFORMATION)) seen.icon = "information";
    if (icon && icon == LoadIconW(nullptr, IDI_WARNING)) seen.icon = "exclamation";
    if (icon && icon == LoadIconW(nullptr, IDI_ERROR)) seen.icon = "critical";
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    WaitUntilGone(box);
    return seen;
}

bool AnswerFileDialog(const std::string& title, const std::string& path, DWORD process) {
    HWND dialog = WaitForWindow(title, nullptr, process);
    if (!dialog) return false;
    // The file name box: an edit or an editable combo box, by the dialog's own ids.
    HWND name = nullptr;
    for (int id : {0x047c /* cmb13 */, 0x0480 /* edt1 */})
        if (!name) name = GetDlgItem(dialog, id);
    if (!name) return false;
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(platform::Widen(path).c_str()));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    return WaitUntilGone(dialog);
}

}  // namespace kestrine::test
