#include "platform/file_stream.h"

#include <algorithm>
#include <cstring>

namespace kestrine::platform::fileio {

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

static size_t LastSeparator(const std::string& path) {
    return path.find_last_of("/\\");
}

std::string ParentFolder(const std::string& path) {
    size_t pos = LastSeparator(path);
    if (pos == std::string::npos) return ".";
    if (pos == 0) return path.substr(0, 1);
    // "C:\file" keeps its root.
    if (pos == 2 && path[1] == ':') return path.substr(0, 3);
    return path.substr(0, pos);
}

std::string BareFileName(const std::string& path) {
    size_t pos = LastSeparator(path);
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
#ifdef _WIN32
    const char separator = '\\';
#else
    const char separator = '/';
#endif
    if (folder.empty()) return name;
    char last = folder.back();
    if (last == '/' || last == '\\') return folder + name;
    return folder + separator + name;
}

}  // namespace kestrine::platform::fileio
