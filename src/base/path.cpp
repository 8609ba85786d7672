#include "base/path.h"

namespace kestrine::base {

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

size_t LastSeparator(std::string_view path) {
    return path.find_last_of("\\/");
}

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name, char separator) {
    std::string out(folder);
    if (!out.empty() && !IsSeparator(out.back())) out += separator;
    return out.append(name);
}

std::string BaseName(std::string_view path) {
    const size_t pos = LastSeparator(path);
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string FolderPart(std::string_view path) {
    const size_t pos = LastSeparator(path);
    if (pos == std::string_view::npos) return {};
    const bool root = pos == 0 || (pos == 2 && path[1] == ':');
    return std::string(path.substr(0, root ? pos + 1 : pos));
}

bool IsFullPath(std::string_view path) {
    if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) {
        const char drive = static_cast<char>(path[0] | 0x20);
        return drive >= 'a' && drive <= 'z';
    }
    return path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
}

std::string WithoutTrailingSeparators(std::string_view folder) {
    const size_t keep = folder.size() >= 3 && folder[1] == ':' ? 3 : 1;
    while (folder.size() > keep && IsSeparator(folder.back())) folder.remove_suffix(1);
    return std::string(folder);
}

std::string PathRoot(std::string_view path) {
    if (path.size() >= 2 && path[1] == ':') return std::string(path.substr(0, 2)) + '\\';
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        size_t at = 2;
        for (int part = 0; part < 2 && at < path.size(); ++part) {
            const size_t end = path.find_first_of("\\/", at);
            at = end == std::string_view::npos ? path.size() : end + 1;
        }
        return std::string(path.substr(0, at));
    }
    return !path.empty() && IsSeparator(path[0]) ? std::string(1, path[0]) : std::string();
}

}  // namespace kestrine::base
