#include "platform/file_stream.h"

namespace kestrine::platform::fileio {

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
