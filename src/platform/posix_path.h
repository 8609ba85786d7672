#pragma once
// The POSIX twins' one path rule: the program's paths are Windows paths, where a backslash
// separates folders as a slash does, and, as under Wine, the drive Z: is the root of the file
// system ("Z:\tmp\x" is /tmp/x); the system needs slashes. Internal to the platform layer.
#include <string>

namespace kestrine::platform {

inline std::string SystemPath(std::string path) {
    if (path.size() >= 3 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':' &&
        (path[2] == '\\' || path[2] == '/'))
        path.erase(0, 2);
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

}  // namespace kestrine::platform
