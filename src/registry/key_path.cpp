#include "registry/key_path.h"

#include <array>
#include <utility>

#include "registry/registry.h"

namespace kestrine::registry {

uint32_t GetRootKey(const std::string& rootName) {
    static constexpr std::array<std::pair<const char*, uint32_t>, 7> kRoots{{
        {"HKEY_CLASSES_ROOT", 0x80000000u},
        {"HKEY_CURRENT_USER", 0x80000001u},
        {"HKEY_LOCAL_MACHINE", 0x80000002u},
        {"HKEY_USERS", 0x80000003u},
        {"HKEY_PERFORMANCE_DATA", 0x80000004u},
        {"HKEY_CURRENT_CONFIG", 0x80000005u},
        {"HKEY_DYN_DATA", 0x80000006u},
    }};
    for (const auto& [name, handle] : kRoots)
        if (rootName == name) return handle;
    return 0;
}

KeyPathParts SplitKeyPath(const std::string& fullPath) {
    KeyPathParts parts;
    if (fullPath.rfind("HKEY_", 0) != 0 || fullPath.back() == '\\') return parts;
    parts.wellFormed = true;
    auto slash = fullPath.find('\\');
    if (slash == std::string::npos) {
        parts.root = GetRootKey(fullPath);
    } else {
        parts.root = GetRootKey(fullPath.substr(0, slash));
        parts.subkey = fullPath.substr(slash + 1);
    }
    return parts;
}

}  // namespace kestrine::registry
