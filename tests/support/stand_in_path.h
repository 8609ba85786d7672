#pragma once
// How the native build's stand-ins compare the program's paths: without regard to case or
// separator, with the drive Z: as the root (as the POSIX twins read them).
#include <string>

namespace kestrine::platform {

// `path` lower-cased, with backslashes, without a leading "Z:" and a trailing backslash.
inline std::string FoldedPath(std::string path) {
    if (path.size() >= 3 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':' &&
        (path[2] == '\\' || path[2] == '/'))
        path.erase(0, 2);
    for (char& c : path) {
        if (c == '/') c = '\\';
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    while (path.size() > 1 && path.back() == '\\') path.pop_back();
    return path;
}

// Whether the folded `path` is the folded `folder` or lies below it.
inline bool WithinFolder(const std::string& path, const std::string& folder) {
    return path.starts_with(folder) &&
           (path.size() == folder.size() || path[folder.size()] == '\\' || folder == "\\");
}

}  // namespace kestrine::platform
