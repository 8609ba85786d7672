#include <windows.h>

#include <atomic>
#include <random>

#include "platform/file_stream.h"
#include "platform/text.h"

namespace kestrine::platform::fileio {

namespace {

std::wstring Wide(const std::string& utf8) {
    return Widen(utf8);
}

class WinFileStream final : public FileStream {
  public:
    explicit WinFileStream(HANDLE handle) : handle_(handle) {}
    ~WinFileStream() override { CloseHandle(handle_); }
    WinFileStream(const WinFileStream&) = delete;
    WinFileStream& operator=(const WinFileStream&) = delete;

    int64_t Read(void* buffer, size_t size) override {
        DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, chunk, &got, nullptr)) return -1;
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
            if (!WriteFile(handle_, in, chunk, &done, nullptr) || done == 0) return false;
            in += done;
            size -= done;
            position_ += done;
        }
        return true;
    }

    bool Seek(uint64_t offset) override {
        LARGE_INTEGER target;
        target.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(handle_, target, nullptr, FILE_BEGIN)) return false;
        position_ = offset;
        return true;
    }

    uint64_t Tell() const override { return position_; }

    int64_t Size() override {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(handle_, &size)) return -1;
        return size.QuadPart;
    }

    bool Truncate(uint64_t size) override {
        if (!Seek(size) || !SetEndOfFile(handle_)) return false;
        return true;
    }

    bool Flush() override { return FlushFileBuffers(handle_) != 0; }

  private:
    HANDLE handle_;
    uint64_t position_ = 0;
};

}  // namespace

static std::unique_ptr<FileStream> OpenExisting(const std::string& path, DWORD share) {
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(h);
        return nullptr;
    }
    return std::make_unique<WinFileStream>(h);
}

std::unique_ptr<FileStream> OpenForRead(const std::string& path) {
    // Other programs may keep the file open for writing (a log, say); what is read is checked
    // by its CRC, so sharing write access costs no consistency.
    return OpenExisting(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
}

std::unique_ptr<FileStream> OpenForReadDenyWriters(const std::string& path) {
    return OpenExisting(path, FILE_SHARE_READ);
}

std::vector<std::string> ListFileNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(Wide(JoinPath(folder, "*")).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.push_back(Narrow(found.cFileName));
        }
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
}

std::unique_ptr<FileStream> CreateNew(const std::string& path) {
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<WinFileStream>(h);
}

std::unique_ptr<FileStream> CreateTempFile(const std::string& folder, const std::string& prefix,
                                           std::string& path) {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string((rd() ^ counter++) % 100000000u) + ".tmp";
        std::string candidate = JoinPath(folder, name);
        if (auto file = CreateNew(candidate)) {
            path = candidate;
            return file;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return nullptr;
    }
    return nullptr;
}

bool MoveOver(const std::string& from, const std::string& to) {
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const std::string& path) {
    return DeleteFileW(Wide(path).c_str()) != 0;
}

bool IsDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

uint32_t FileDosTime(const std::string& path) {
    constexpr uint32_t kEpoch = (1u << 21 | 1u << 16);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return kEpoch;
    FILETIME local;
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
        !FileTimeToDosDateTime(&local, &date, &time)) {
        return kEpoch;
    }
    return static_cast<uint32_t>(date) << 16 | time;
}

}  // namespace kestrine::platform::fileio
