#include "platform/file_stream.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "base/path.h"

namespace kestrine::platform::fileio {

// The twins' answer: the move that failed last on this thread met a file another program holds.
bool LastMoveMetAHold();

int64_t MemoryStream::Read(void* buffer, size_t size) {
    if (position_ >= size_) return 0;
    size_t n = std::min<uint64_t>(size, size_ - position_);
    std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return static_cast<int64_t>(n);
}

bool MemoryStream::ReadAt(uint64_t offset, void* buffer, size_t size) {
    if (offset > size_ || size > size_ - offset) return false;
    if (size > 0) std::memcpy(buffer, data_ + offset, size);
    return true;
}

bool MemoryStream::Seek(uint64_t offset) {
    if (offset > size_) return false;
    position_ = offset;
    return true;
}

int64_t ReadFull(FileStream& stream, void* buffer, size_t size) {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t total = 0;
    while (total < size) {
        const int64_t n = stream.Read(out + total, size - total);
        if (n < 0) return -1;
        if (n == 0) break;
        total += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(total);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    const auto file = OpenForRead(path);
    if (!file) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const int64_t n = file->Read(buffer, sizeof buffer);
        if (n < 0) return std::nullopt;
        if (n == 0) return bytes;
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

bool ReplaceFileWhole(const std::string& path, const std::string& bytes,
                      const std::string& tempPrefix) {
    std::string temp;
    auto stream = CreateTempFile(base::FolderPart(path), tempPrefix, temp);
    if (!stream) return false;
    const bool written = stream->Write(bytes.data(), bytes.size()) && stream->Flush();
    stream.reset();  // closed before it is moved or removed
    if (written && MoveOver(temp, path)) return true;
    RemoveFile(temp);
    return false;
}

bool MoveWaiting(const std::string& from, const std::string& to, Replace replace,
                 const MoveWait& wait) {
    std::chrono::milliseconds waited{0}, pause = kFirstMovePause;
    for (bool told = false;; pause = std::min(pause * 2, kLongestMovePause)) {
        if (replace == Replace::Yes ? MoveOver(from, to) : MoveToFree(from, to)) return true;
        if (!LastMoveMetAHold() || waited >= wait.limit || (wait.cancelled && wait.cancelled()))
            return false;
        if (!told && wait.waiting) wait.waiting(from, to);
        told = true;
        const auto step = std::min(pause, wait.limit - waited);
        if (wait.sleep)
            wait.sleep(step);
        else
            std::this_thread::sleep_for(step);
        waited += step;
    }
}

bool RemoveFolderAndFiles(const std::string& path) {
    if (!IsDirectory(path)) return !Exists(path);
    for (const auto& name : ListFileNames(path)) RemoveFile(base::JoinPath(path, name));
    return RemoveEmptyFolder(path) && !Exists(path);
}

}  // namespace kestrine::platform::fileio
