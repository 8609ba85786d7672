#pragma once
// The POSIX twins' one path rule: the program's paths are Windows paths, where a backslash
// separates folders as a slash does; the system needs slashes. Internal to the platform layer.
#include <string>

namespace kestrine::platform {

inline std::string SystemPath(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

}  // namespace kestrine::platform
