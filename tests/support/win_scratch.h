#pragma once
// The Windows tests' surroundings beyond the portable scratch (scratch.h): the programs built
// beside the test, Wine's view of Linux paths and the prefix's shell folders.
#include <windows.h>

#include "scratch.h"

namespace kestrine::test {

// --- programs built beside the test ---
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
// A started process whose handle the test keeps (closed by the caller), with the environment
// block given (empty: this process's).
struct Started {
    HANDLE process = nullptr;
    DWORD pid = 0;
};
inline Started StartKept(const std::filesystem::path& exe, const std::wstring& args = L"",
                         std::wstring environment = L"") {
    std::wstring cmd = L"\"" + exe.wstring() + L"\"" + (args.empty() ? L"" : L" " + args);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        environment.empty() ? nullptr : environment.data(), nullptr, &si, &pi))
        return {};
    CloseHandle(pi.hThread);
    return {pi.hProcess, pi.dwProcessId};
}
// True when the process ended within the limit (a guard against hanging, not a timing check; a
// busy machine may take well over half a minute).
inline bool Ended(HANDLE process, DWORD limitMs = 120000) {
    return WaitForSingleObject(process, limitMs) == WAIT_OBJECT_0;
}

// A per-user shell folder of the prefix pointed elsewhere while the test runs (the program asks
// the shell for the roaming and local application data folders).
class RedirectedShellFolder {
  public:
    RedirectedShellFolder(const wchar_t* name, const std::string& path) : name_(name) {
        RegCreateKeyExW(
            HKEY_CURRENT_USER,
            L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", 0,
            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        DWORD size = sizeof before_;
        had_ = RegQueryValueExW(key_, name, nullptr, &type_, reinterpret_cast<BYTE*>(before_),
                                &size) == ERROR_SUCCESS;
        size_ = size;
        const std::wstring wide = platform::Widen(path);
        RegSetValueExW(key_, name, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                       static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    }
    ~RedirectedShellFolder() {
        if (had_)
            RegSetValueExW(key_, name_, 0, type_, reinterpret_cast<const BYTE*>(before_), size_);
        else
            RegDeleteValueW(key_, name_);
        RegCloseKey(key_);
    }
    RedirectedShellFolder(const RedirectedShellFolder&) = delete;
    RedirectedShellFolder& operator=(const RedirectedShellFolder&) = delete;

  private:
    const wchar_t* name_;
    HKEY key_ = nullptr;
    bool had_ = false;
    DWORD type_ = REG_EXPAND_SZ, size_ = 0;
    wchar_t before_[1024] = {};
};

}  // namespace kestrine::test
