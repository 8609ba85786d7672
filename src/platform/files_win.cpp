#include <windows.h>
//
#include <aclapi.h>
#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "base/path.h"
#include "base/text.h"
#include "base/utf.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/handle_win.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/win32_path.h"
#include "platform/win32_sid.h"

namespace kestrine::platform::fileio {

namespace {

DWORD Attributes(const std::string& path) {
    if (path.empty()) return INVALID_FILE_ATTRIBUTES;
    return GetFileAttributesW(Win32Path(path).c_str());
}

}  // namespace

bool NormalFileExists(const std::string& path) {
    DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return !(attributes &
             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

bool SetNormalAttributes(const std::string& path) {
    return !path.empty() && SetFileAttributesW(Win32Path(path).c_str(), FILE_ATTRIBUTE_NORMAL);
}

bool FolderIsWritable(const std::string& folder) {
    if (folder.empty()) return false;
    const std::wstring probe = Win32Path(base::JoinPath(
        folder, "~kestrine.probe-" + std::to_string(GetCurrentProcessId()) + ".tmp"));
    // Deleted when closed, so not even a crash leaves it behind.
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

namespace {

// Where Windows Security keeps controlled folder access: the policy's key first, then its own.
constexpr const wchar_t* kControlledFolderKeys[] = {
    L"SOFTWARE\\Policies\\Microsoft\\Windows Defender\\Windows Defender Exploit Guard\\Controlled "
    L"Folder Access",
    L"SOFTWARE\\Microsoft\\Windows Defender\\Windows Defender Exploit Guard\\Controlled Folder "
    L"Access",
};

// EnableControlledFolderAccess: 0 off, 1 on, 2 audit only, 3 and 4 disk sectors only. Nothing when
// it cannot be read (a standard user may not read Windows Security's own key).
std::optional<DWORD> ControlledFolderAccessMode() {
    for (const wchar_t* key : kControlledFolderKeys) {
        DWORD mode = 0;
        DWORD size = sizeof mode;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, key, L"EnableControlledFolderAccess", RRF_RT_REG_DWORD,
                         nullptr, &mode, &size) == ERROR_SUCCESS)
            return mode;
    }
    return std::nullopt;
}

// The folders an administrator added: the value names of ProtectedFolders.
std::vector<std::string> AddedProtectedFolders() {
    std::vector<std::string> folders;
    for (const wchar_t* key : kControlledFolderKeys) {
        HKEY added = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(key) + L"\\ProtectedFolders").c_str(),
                          0, KEY_READ, &added) != ERROR_SUCCESS)
            continue;
        for (DWORD index = 0;; ++index) {
            wchar_t name[32768];
            DWORD length = static_cast<DWORD>(std::size(name));
            if (RegEnumValueW(added, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            folders.push_back(Narrow(std::wstring_view(name, length)));
        }
        RegCloseKey(added);
    }
    return folders;
}

bool InFolder(const std::string& path, std::string folder) {
    if (folder.empty()) return false;
    if (folder.back() != '\\') folder += '\\';
    const std::string inside = path.back() == '\\' ? path : path + '\\';
    return inside.size() >= folder.size() &&
           base::EqualsNoCase(std::string_view(inside).substr(0, folder.size()), folder);
}

bool InControlledFolder(const std::string& folder) {
    static const KNOWNFOLDERID* const kProtected[] = {
        &FOLDERID_Documents,      &FOLDERID_Pictures,     &FOLDERID_Videos,
        &FOLDERID_Music,          &FOLDERID_Favorites,    &FOLDERID_PublicDocuments,
        &FOLDERID_PublicPictures, &FOLDERID_PublicVideos, &FOLDERID_PublicMusic,
    };
    for (const KNOWNFOLDERID* id : kProtected) {
        PWSTR path = nullptr;
        std::string known;
        if (SUCCEEDED(SHGetKnownFolderPath(*id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path)
            known = Narrow(path);
        CoTaskMemFree(path);
        if (InFolder(folder, known)) return true;
    }
    return std::ranges::any_of(AddedProtectedFolders(),
                               [&](const std::string& added) { return InFolder(folder, added); });
}

// The folder's own permissions let this process's user add a file to it.
bool PermissionsAllowAddingFiles(const std::string& folder) {
    const std::wstring path = Win32Path(folder);
    const SECURITY_INFORMATION what =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    GetFileSecurityW(path.c_str(), what, nullptr, 0, &needed);
    if (needed == 0) return false;
    std::vector<BYTE> descriptor(needed);
    if (!GetFileSecurityW(path.c_str(), what, descriptor.data(), needed, &needed)) return false;
    HANDLE process = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &process))
        return false;
    HANDLE token = nullptr;
    const bool duplicated = DuplicateToken(process, SecurityImpersonation, &token) != FALSE;
    CloseHandle(process);
    if (!duplicated) return false;
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                            FILE_ALL_ACCESS};
    DWORD desired = FILE_ADD_FILE;
    MapGenericMask(&desired, &mapping);
    PRIVILEGE_SET privileges{};
    DWORD privilegesSize = sizeof privileges;
    DWORD granted = 0;
    BOOL allowed = FALSE;
    const BOOL checked = AccessCheck(descriptor.data(), token, desired, &mapping, &privileges,
                                     &privilegesSize, &granted, &allowed);
    CloseHandle(token);
    return checked && allowed;
}

}  // namespace

bool ControlledFolderAccessBlocks(const std::string& folder) {
    if (folder.empty()) return false;
    if (const auto mode = ControlledFolderAccessMode(); mode && *mode != 1) return false;
    if (!InControlledFolder(folder)) return false;
    const std::wstring probe = Win32Path(base::JoinPath(
        folder, "~kestrine.probe-" + std::to_string(GetCurrentProcessId()) + ".tmp"));
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    if (GetLastError() != ERROR_ACCESS_DENIED) return false;
    return PermissionsAllowAddingFiles(folder);
}

bool MakePrivateFolder(const std::string& path) {
    const std::string sid = CurrentUserSid();
    if (path.empty() || sid.empty()) return false;
    // Protected: nothing is inherited from the folder around it; files made inside inherit it.
    const std::wstring sddl = L"O:" + Widen(sid) + L"D:P(A;OICI;FA;;;" + Widen(sid) +
                              L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            sddl.c_str(), SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr))
        return false;
    const bool made = CreateDirectoryW(Win32Path(path).c_str(), &attributes) != 0;
    LocalFree(attributes.lpSecurityDescriptor);
    return made;
}

namespace {

// Whether the owner of the file or folder at `path` is the current user.
bool OwnedByCurrentUser(const std::string& path) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring wide = Win32Path(path);
    if (GetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const std::string ownerSid = SidText(owner);
    const bool own = !ownerSid.empty() && base::EqualsNoCase(ownerSid, CurrentUserSid());
    LocalFree(descriptor);
    return own;
}

}  // namespace

bool IsOwnPlainFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Win32Path(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    return OwnedByCurrentUser(path);
}

bool IsOwnFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Win32Path(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    return OwnedByCurrentUser(path);
}

std::optional<uint64_t> FreeSpace(const std::string& folder) {
    ULARGE_INTEGER available;
    if (folder.empty() ||
        !GetDiskFreeSpaceExW(Win32Path(folder).c_str(), &available, nullptr, nullptr))
        return std::nullopt;
    return available.QuadPart;
}

bool AppendBytes(const std::string& path, const std::string& bytes) {
    if (path.empty()) return false;
    FileHandle file(CreateFileW(Win32Path(path).c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        ok = WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) &&
             written == chunk;
        done += written;
    }
    return file.Close() && ok;
}

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key) {
    wchar_t buffer[kProfileFieldChars] = {};
    DWORD copied = GetPrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), L"", buffer,
                                            kProfileFieldChars, Win32Path(file).c_str());
    if (copied >= static_cast<DWORD>(kProfileFieldChars)) copied = kProfileFieldChars - 1;
    return base::CutAtNul(Narrow(std::wstring_view(buffer, copied)));
}

namespace {

// A private-profile file holds ANSI text unless it begins with the UTF-16 byte-order mark: then the
// profile functions read and write every character as it is. A file is turned into UTF-16 (its text
// kept) only when it must take text without an ANSI form, so files that never need it stay as
// earlier versions wrote and read them.
bool MakeUnicodeProfileFile(const std::string& file) {
    std::string bytes;
    if (Exists(file)) {
        auto read = ReadWholeFile(file);
        if (!read) return false;
        bytes = std::move(*read);
    }
    if (bytes.starts_with("\xFF\xFE")) return true;
    const std::string text =
        bytes.starts_with("\xEF\xBB\xBF") ? bytes.substr(3) : AnsiToUtf8(bytes);
    std::string unicode("\xFF\xFE");
    for (char16_t unit : base::Utf8ToUtf16(text)) {
        unicode += static_cast<char>(unit & 0xFF);
        unicode += static_cast<char>(unit >> 8);
    }
    return ReplaceFileWhole(file, unicode, "KSS");
}

}  // namespace

bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value) {
    if (!(FitsAnsi(section) && FitsAnsi(key) && FitsAnsi(value)) && !MakeUnicodeProfileFile(file))
        return false;
    std::wstring wide = Widen(value);
    if (wide.size() > static_cast<size_t>(kProfileFieldChars)) wide.resize(kProfileFieldChars);
    return WritePrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), wide.c_str(),
                                      Win32Path(file).c_str());
}

}  // namespace kestrine::platform::fileio
