#include <windows.h>
// tlhelp32.h needs the types of windows.h first.
#include <tlhelp32.h>

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

int KillProcessByName(const std::string& name) {
    FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    const std::wstring wanted = Widen(name);
    const DWORD self = GetCurrentProcessId();
    int killed = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        std::wstring exe(entry.szExeFile);  // ends at the first NUL
        if (entry.th32ProcessID == self || !SameNameIgnoringCase(exe, wanted)) continue;
        KernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
        if (process && TerminateProcess(process.get(), 0)) ++killed;
    }
    return killed;
}

}  // namespace kestrine::platform
