#pragma once
// Full key paths ("HKEY_CURRENT_USER\Software\...") without the registry: the root table and the
// split into root and subkey.
#include <cstdint>
#include <string>

namespace kestrine::registry {

inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyWrite = 0x20006;
// Added to an access mask: the 32-bit view of a 64-bit registry (KEY_WOW64_32KEY).
inline constexpr uint32_t kKeyWow64View32 = 0x0200;

struct KeyPathParts {
    bool wellFormed = false;  // false: not beginning with "HKEY_" or ending with "\"
    uint32_t root = 0;        // 0: unknown root name or malformed path
    std::string subkey;       // empty: the root key itself
};
KeyPathParts SplitKeyPath(const std::string& fullPath);

}  // namespace kestrine::registry
