#pragma once
// Helpers of the Windows tests of the Outlook environment: the test programs built beside the test
// executable, copies of them under chosen names, and scratch registry keys of the test's own.
#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/text.h"

namespace kestrine::test {

inline std::filesystem::path ExeFolder() {
    wchar_t buf[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    return std::filesystem::path(std::wstring(buf, n)).parent_path();
}

inline std::string Utf8(const std::filesystem::path& p) {
    return platform::Narrow(p.wstring());
}

// Copies a program built beside the test to `target`, creating its folder.
inline void CopyTestProgram(const std::string& builtName, const std::filesystem::path& target) {
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(ExeFolder() / builtName, target,
                               std::filesystem::copy_options::overwrite_existing);
}

// A started process whose handle the test keeps.
struct Started {
    HANDLE process = nullptr;
    DWORD pid = 0;
};
inline Started StartKept(const std::filesystem::path& exe, const std::wstring& args = L"") {
    std::wstring cmd = L"\"" + exe.wstring() + L"\"" + (args.empty() ? L"" : L" " + args);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        return {};
    }
    CloseHandle(pi.hThread);
    return {pi.hProcess, pi.dwProcessId};
}
// True when the process ended within the limit (a guard against hanging, not a timing check).
inline bool Ended(HANDLE process, DWORD limitMs = 20000) {
    return WaitForSingleObject(process, limitMs) == WAIT_OBJECT_0;
}
inline DWORD ExitCodeOf(HANDLE process) {
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return code;
}

// A registry key of the test's own under HKEY_CURRENT_USER\Software\KestrineTest, removed with
// everything below it at the end.
class ScratchKey {
  public:
    explicit ScratchKey(const std::string& name)
        : sub_(L"Software\\KestrineTest\\" + platform::Widen(name) + L"-" +
               std::to_wstring(GetCurrentProcessId())) {
        RegDeleteTreeW(HKEY_CURRENT_USER, sub_.c_str());
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, sub_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        if (key) RegCloseKey(key);
    }
    ~ScratchKey() { RegDeleteTreeW(HKEY_CURRENT_USER, sub_.c_str()); }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;
    // Full key path as the registry toolkit takes it.
    std::string Path(const std::string& below = "") const {
        return "HKEY_CURRENT_USER\\" + platform::Narrow(sub_) + (below.empty() ? "" : "\\" + below);
    }
    void CreateKey(const std::string& below) const {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, (sub_ + L"\\" + platform::Widen(below)).c_str(), 0,
                        nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (key) RegCloseKey(key);
    }
    // A single-byte string value (REG_SZ written through the ANSI function, as MAPI stores it).
    void SetAnsi(const std::string& below, const std::string& name,
                 const std::string& value) const {
        std::string sub = platform::Narrow(sub_) + (below.empty() ? "" : "\\" + below);
        RegSetKeyValueA(HKEY_CURRENT_USER, sub.c_str(), name.c_str(), REG_SZ, value.c_str(),
                        static_cast<DWORD>(value.size() + 1));
    }

  private:
    std::wstring sub_;
};

}  // namespace kestrine::test
