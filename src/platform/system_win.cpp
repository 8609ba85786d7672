#include <windows.h>
// The shell's known folders and version resources need the types of windows.h first.
#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>
#include <winver.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/path.h"
#include "base/text.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/win32_sid.h"

namespace kestrine::platform {

base::SystemError LastSystemError() {
    const DWORD code = GetLastError();
    if (code == ERROR_SUCCESS) return {};
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring text = n != 0 && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return {code, Narrow(text)};
}

namespace {

std::string CutAndTrim(const wchar_t* text, size_t length) {
    return base::TrimSpaces(base::CutAtNul(Narrow(std::wstring_view(text, length))));
}

std::string KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string out;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path)
        out = Narrow(path);
    CoTaskMemFree(path);
    return out;
}

SYSTEMTIME ToSystemTime(const LocalTime& time) {
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(time.year);
    st.wMonth = static_cast<WORD>(time.month);
    st.wDay = static_cast<WORD>(time.day);
    st.wHour = static_cast<WORD>(time.hour);
    st.wMinute = static_cast<WORD>(time.minute);
    st.wSecond = static_cast<WORD>(time.second);
    return st;
}

}  // namespace

std::string RunningProgramPath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return Narrow(buffer);
        }
        if (buffer.size() > 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string ExeFolder() {
    return base::FolderPart(RunningProgramPath());
}

std::string ComputerName() {
    wchar_t buffer[256] = {};
    DWORD size = 255;
    if (!GetComputerNameW(buffer, &size)) return {};
    return CutAndTrim(buffer, size);
}

std::string UserName() {
    wchar_t buffer[256] = {};
    DWORD size = 255;
    if (!GetUserNameW(buffer, &size) || size < 1) return {};
    return CutAndTrim(buffer, std::min<DWORD>(size, 255));
}

std::string WindowsFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT n = GetWindowsDirectoryW(buffer, MAX_PATH);
    if (n == 0 || n > MAX_PATH) return {};
    std::wstring folder(buffer, n);
    if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    return Narrow(folder);
}

std::string SystemFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
    if (n == 0 || n > MAX_PATH) return {};
    return Narrow(std::wstring_view(buffer, n));
}

std::string CommandLineText() {
    return Narrow(GetCommandLineW());
}

void LoadDllsFromSystemFolderOnly() {
    // Looked up: Windows 7 has it only with its update KB2533623.
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto set = kernel ? reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
                            GetProcAddress(kernel, "SetDefaultDllDirectories")))
                      : nullptr;
    if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Without it, at least the current folder leaves the search.
    SetDllDirectoryW(L"");
}

std::string SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!sid || !ConvertSidToStringSidW(sid, &text)) return {};
    std::string out = Narrow(text);
    LocalFree(text);
    return out;
}

std::string CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    std::string sid;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
        sid = SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
    CloseHandle(token);
    return sid;
}

std::string ExpandEnvironment(const std::string& text) {
    std::wstring wide = Widen(text);
    DWORD needed = ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0);
    if (needed == 0) return {};
    std::wstring out(needed, L'\0');
    DWORD n = ExpandEnvironmentStringsW(wide.c_str(), out.data(), needed);
    if (n == 0 || n > needed) return {};
    out.resize(n - 1);  // the count includes the terminating NUL
    return Narrow(out);
}

std::string RoamingAppDataFolder() {
    return KnownFolder(FOLDERID_RoamingAppData);
}

std::string LocalAppDataFolder() {
    return KnownFolder(FOLDERID_LocalAppData);
}

std::string DocumentsFolder() {
    return KnownFolder(FOLDERID_Documents);
}

std::string FileVersion(const std::string& path) {
    const std::wstring wide = Widen(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(wide.c_str(), 0, size, block.data())) return {};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof *info || info->dwSignature != VS_FFI_SIGNATURE)
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu",
                  static_cast<unsigned long>(HIWORD(info->dwFileVersionMS)),
                  static_cast<unsigned long>(LOWORD(info->dwFileVersionMS)),
                  static_cast<unsigned long>(HIWORD(info->dwFileVersionLS)),
                  static_cast<unsigned long>(LOWORD(info->dwFileVersionLS)));
    return text;
}

LocalTime Now() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return LocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::string LocaleDateTimeText(const LocalTime& time) {
    SYSTEMTIME st = ToSystemTime(time);
    wchar_t date[128] = {};
    wchar_t clock[128] = {};
    if (!GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128,
                         nullptr))
        date[0] = L'\0';
    if (!GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, clock, 128)) clock[0] = L'\0';
    return Narrow(std::wstring(date) + L" " + clock);
}

std::string NowText() {
    return LocaleDateTimeText(Now());
}

}  // namespace kestrine::platform
