#include <windows.h>

#include <atomic>
#include <mutex>
#include <random>

#include "base/path.h"
#include "platform/file_stream.h"
#include "platform/handle_win.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/win32_path.h"

namespace kestrine::platform {

std::wstring Win32Path(const std::string& path) {
    std::wstring wide = Widen(path);
    constexpr size_t kClassicFolderLimit = MAX_PATH - 12;
    if (wide.size() < kClassicFolderLimit || wide.starts_with(L"\\\\?\\") ||
        wide.starts_with(L"\\\\.\\"))
        return wide;
    std::wstring full(wide.size() + MAX_PATH, L'\0');
    const DWORD n =
        GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size()) return wide;
    full.resize(n);
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
    return wide;
}

namespace fileio {

namespace {

class WinFileStream final : public FileStream {
  public:
    explicit WinFileStream(FileHandle handle) : file_(std::move(handle)) {}

    int64_t Read(void* buffer, size_t size) override {
        DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD got = 0;
        if (!ReadFile(handle(), buffer, chunk, &got, nullptr)) {
            Failed();
            return -1;
        }
        position_ += got;
        return got;
    }

    bool ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (!Seek(offset)) return false;
        auto* out = static_cast<char*>(buffer);
        while (size > 0) {
            int64_t n = Read(out, size);
            if (n <= 0) return false;
            out += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }

    bool Write(const void* buffer, size_t size) override {
        const auto* in = static_cast<const char*>(buffer);
        while (size > 0) {
            DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
            DWORD done = 0;
            if (!WriteFile(handle(), in, chunk, &done, nullptr) || done == 0) return Failed();
            in += done;
            size -= done;
            position_ += done;
        }
        return true;
    }

    bool Seek(uint64_t offset) override {
        LARGE_INTEGER target;
        target.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(handle(), target, nullptr, FILE_BEGIN)) return Failed();
        position_ = offset;
        return true;
    }

    uint64_t Tell() const override { return position_; }

    int64_t Size() override {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(handle(), &size)) {
            Failed();
            return -1;
        }
        return size.QuadPart;
    }

    bool Truncate(uint64_t size) override {
        return Seek(size) && (SetEndOfFile(handle()) || Failed());
    }

    bool Flush() override { return FlushFileBuffers(handle()) != 0 || Failed(); }

    base::SystemError Error() const override {
        const std::lock_guard lock(errorMutex_);
        return error_;
    }

  private:
    // Keeps what the system said; false, for the caller to return.
    bool Failed() {
        base::SystemError said = LastSystemError();
        const std::lock_guard lock(errorMutex_);
        error_ = std::move(said);
        return false;
    }

    mutable std::mutex errorMutex_;
    base::SystemError error_;
    HANDLE handle() const { return file_.get(); }
    FileHandle file_;
    uint64_t position_ = 0;
};

std::unique_ptr<FileStream> OpenExisting(const std::string& path, DWORD share,
                                         base::SystemError* why = nullptr) {
    FileHandle file(CreateFileW(Win32Path(path).c_str(), GENERIC_READ, share, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                nullptr));
    if (!file) {
        if (why) *why = LastSystemError();
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.get(), &info)) {
        if (why) *why = LastSystemError();
        return nullptr;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        if (why) *why = {base::kErrorAccessDenied, "Access is denied."};
        return nullptr;
    }
    return std::make_unique<WinFileStream>(std::move(file));
}

}  // namespace

std::unique_ptr<FileStream> OpenForRead(const std::string& path) {
    // Other programs may keep the file open for writing (a log, say); what is read is checked
    // by its CRC, so sharing write access costs no consistency.
    return OpenExisting(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
}

std::unique_ptr<FileStream> OpenForReadDenyWriters(const std::string& path,
                                                   base::SystemError* why) {
    return OpenExisting(path, FILE_SHARE_READ, why);
}

std::vector<std::string> ListFileNames(const std::string& folder, Listing which) {
    std::vector<std::string> names;
    const DWORD skipped =
        FILE_ATTRIBUTE_DIRECTORY |
        (which == Listing::Visible ? FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM : 0);
    WIN32_FIND_DATAW found;
    FindHandle find(FindFirstFileW(Win32Path(base::JoinPath(folder, "*")).c_str(), &found));
    if (!find) return names;
    do {
        if ((found.dwFileAttributes & skipped) == 0) names.push_back(Narrow(found.cFileName));
    } while (FindNextFileW(find.get(), &found));
    return names;
}

std::unique_ptr<FileStream> CreateNew(const std::string& path) {
    FileHandle file(CreateFileW(Win32Path(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    return std::make_unique<WinFileStream>(std::move(file));
}

std::unique_ptr<FileStream> CreateTempFile(const std::string& folder, const std::string& prefix,
                                           std::string& path, base::SystemError* why) {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string((rd() ^ counter++) % 100000000u) + ".tmp";
        std::string candidate = base::JoinPath(folder, name);
        if (auto file = CreateNew(candidate)) {
            path = candidate;
            return file;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            if (why) *why = LastSystemError();
            return nullptr;
        }
    }
    return nullptr;
}

std::unique_ptr<FileStream> OpenForWrite(const std::string& path) {
    FileHandle file(CreateFileW(Win32Path(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file) return nullptr;
    return std::make_unique<WinFileStream>(std::move(file));
}

bool MoveOver(const std::string& from, const std::string& to) {
    return MoveFileExW(Win32Path(from).c_str(), Win32Path(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool MoveToFree(const std::string& from, const std::string& to) {
    // Without MOVEFILE_REPLACE_EXISTING the system refuses a taken name (ERROR_ALREADY_EXISTS).
    return MoveFileExW(Win32Path(from).c_str(), Win32Path(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool LastMoveMetAHold() {
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

MoveWait PatientWait() {
    return {};
}

bool MoveOverPatiently(const std::string& from, const std::string& to) {
    return MoveWaiting(from, to, Replace::Yes);
}

bool MoveToFreePatiently(const std::string& from, const std::string& to) {
    return MoveWaiting(from, to, Replace::Never);
}

bool MakeFolder(const std::string& path) {
    return CreateDirectoryW(Win32Path(path).c_str(), nullptr) != 0 || IsDirectory(path);
}

std::vector<std::string> ListFolderNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    FindHandle find(FindFirstFileW(Win32Path(base::JoinPath(folder, "*")).c_str(), &found));
    if (!find) return names;
    do {
        const std::string name = Narrow(found.cFileName);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileW(find.get(), &found));
    return names;
}

bool RemoveEmptyFolder(const std::string& path) {
    if (RemoveDirectoryW(Win32Path(path).c_str())) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool RemoveFile(const std::string& path) {
    if (path.empty()) return false;
    const std::wstring wide = Win32Path(path);
    if (DeleteFileW(wide.c_str())) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
    // A read-only file (an old data file can be one) is made writable first.
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !(attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    return SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) &&
           DeleteFileW(wide.c_str());
}

static DWORD Attributes(const std::string& path) {
    return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(Win32Path(path).c_str());
}

bool Exists(const std::string& path) {
    return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsFile(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

uint64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty() ||
        !GetFileAttributesExW(Win32Path(path).c_str(), GetFileExInfoStandard, &data))
        return 0;
    return static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

uint32_t FileDosTime(const std::string& path) {
    constexpr uint32_t kEpoch = (1u << 21 | 1u << 16);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Win32Path(path).c_str(), GetFileExInfoStandard, &data)) return kEpoch;
    FILETIME local;
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
        !FileTimeToDosDateTime(&local, &date, &time)) {
        return kEpoch;
    }
    return static_cast<uint32_t>(date) << 16 | time;
}

uint64_t FileWriteTicks(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Win32Path(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
           data.ftLastWriteTime.dwLowDateTime;
}

}  // namespace fileio
}  // namespace kestrine::platform
