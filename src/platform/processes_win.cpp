#include <windows.h>
// tlhelp32.h needs the types of windows.h first.
#include <tlhelp32.h>

#include <thread>
#include <vector>

#include "platform/handle_win.h"
#include "platform/processes.h"
#include "platform/text.h"

namespace kestrine::platform {

namespace {

WORD ShowWindowValue(ShowMode show) {
    switch (show) {
        case ShowMode::Hidden:
            return SW_HIDE;
        case ShowMode::MinimizedFocus:
            return SW_SHOWMINIMIZED;
        case ShowMode::MaximizedFocus:
            return SW_SHOWMAXIMIZED;
        case ShowMode::Normal:
            break;
    }
    return SW_SHOWNORMAL;
}

bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool StartProgram(const std::string& commandLine, ShowMode show) {
    if (commandLine.empty()) return false;
    std::wstring cmd = Widen(commandLine);
    std::vector<wchar_t> buffer(cmd.begin(), cmd.end());
    buffer.push_back(L'\0');  // CreateProcessW may write into the command line
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = ShowWindowValue(show);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        return false;
    }
    // Nothing waits for the program, so its handles are closed at once.
    KernelHandle thread(pi.hThread), process(pi.hProcess);
    return true;
}

namespace {

// Each process of the caller's session, but the caller, whose executable is named `name`.
template <class Visit>
void ForEachInSession(const std::string& name, Visit visit) {
    FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return;
    const std::wstring wanted = Widen(name);
    const DWORD self = GetCurrentProcessId();
    DWORD ownSession = 0;
    if (!ProcessIdToSessionId(self, &ownSession)) return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        std::wstring exe(entry.szExeFile);  // ends at the first NUL
        if (entry.th32ProcessID == self || !SameNameIgnoringCase(exe, wanted)) continue;
        // Another user's Outlook on the same machine (a terminal server) is none of ours.
        DWORD session = 0;
        if (!ProcessIdToSessionId(entry.th32ProcessID, &session) || session != ownSession) continue;
        visit(entry.th32ProcessID, exe);
    }
}

}  // namespace

std::vector<std::string> RunningInSession(const std::string& name) {
    std::vector<std::string> found;
    ForEachInSession(name, [&](DWORD pid, const std::wstring& exe) {
        std::wstring path = exe;
        KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        wchar_t buffer[MAX_PATH * 2];
        DWORD size = MAX_PATH * 2;
        if (process && QueryFullProcessImageNameW(process.get(), 0, buffer, &size))
            path.assign(buffer, size);
        found.push_back(Narrow(path));
    });
    return found;
}

int KillProcessByName(const std::string& name, uint32_t waitMs) {
    std::vector<KernelHandle> ended;
    ForEachInSession(name, [&](DWORD pid, const std::wstring&) {
        KernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        if (process && TerminateProcess(process.get(), 0)) ended.push_back(std::move(process));
    });
    // Termination is asynchronous: a process holds its files open until it is really gone.
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (const auto& process : ended) {
        const ULONGLONG now = GetTickCount64();
        WaitForSingleObject(process.get(), now < deadline ? static_cast<DWORD>(deadline - now) : 0);
    }
    return static_cast<int>(ended.size());
}

int WaitForProcessesToEnd(const std::string& name, uint32_t waitMs) {
    std::vector<KernelHandle> processes;
    ForEachInSession(name, [&](DWORD pid, const std::wstring&) {
        KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
        if (process) processes.push_back(std::move(process));
    });
    int running = 0;
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (const auto& process : processes) {
        const ULONGLONG now = GetTickCount64();
        if (WaitForSingleObject(process.get(), now < deadline ? static_cast<DWORD>(deadline - now)
                                                              : 0) != WAIT_OBJECT_0)
            ++running;
    }
    return running;
}

namespace {

// How long the system is kept from ending the session while the program writes why it stops:
// Windows ends a program that takes longer than about five seconds after it was told.
constexpr DWORD kSessionEndGraceMs = 4000;

// Hears that the user's session ends: a program with windows is told through its top-level
// windows (WM_QUERYENDSESSION, WM_ENDSESSION; WM_CLOSE when it is asked to end), one with a
// console through its control handler. A hidden top-level window of a thread of its own listens,
// since the program may have no window of its own while it waits.
class SessionEndWatch {
  public:
    static SessionEndWatch& Get() {
        static SessionEndWatch* watch = new SessionEndWatch;  // lives as long as the process
        return *watch;
    }
    HANDLE ended() const { return ended_; }
    void Recorded() { SetEvent(recorded_); }

  private:
    SessionEndWatch()
        : ended_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          recorded_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        SetConsoleCtrlHandler(
            [](DWORD event) -> BOOL {
                if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return FALSE;
                Get().Ending();  // close, log-off, shut-down
                return TRUE;
            },
            TRUE);
        std::thread([this] { Listen(); }).detach();
    }

    // Tells the waiting run and gives it a little time to record it.
    void Ending() {
        SetEvent(ended_);
        WaitForSingleObject(recorded_, kSessionEndGraceMs);
    }

    void Listen() {
        WNDCLASSW cls{};
        cls.lpfnWndProc = [](HWND window, UINT message, WPARAM w, LPARAM l) -> LRESULT {
            switch (message) {
                case WM_QUERYENDSESSION:
                    return TRUE;
                case WM_ENDSESSION:
                    if (w) Get().Ending();
                    return 0;
                case WM_CLOSE:
                    Get().Ending();
                    return 0;
                default:
                    return DefWindowProcW(window, message, w, l);
            }
        };
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.lpszClassName = L"KestrineSessionEndWatch";
        RegisterClassW(&cls);
        // Top-level (not message-only): only those are told that the session ends.
        if (!CreateWindowExW(0, cls.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             cls.hInstance, nullptr))
            return;
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    }

    HANDLE ended_;
    HANDLE recorded_;
};

}  // namespace

bool SleepUnlessSessionEnds(uint32_t waitMs) {
    return WaitForSingleObject(SessionEndWatch::Get().ended(), waitMs) == WAIT_TIMEOUT;
}

void SessionEndRecorded() {
    SessionEndWatch::Get().Recorded();
}

uint32_t CurrentProcessId() {
    return GetCurrentProcessId();
}

bool ProcessIsRunning(uint32_t pid) {
    KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace kestrine::platform
