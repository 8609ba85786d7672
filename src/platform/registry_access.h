#pragma once
// Thin access to the registry: the Windows registry through the wide functions, and in the native
// build an in-memory one that behaves alike (platform/registry_memory.h). Keys are addressed by a
// predefined root handle value (0x80000001 for HKEY_CURRENT_USER ...) and a subkey path; names and
// text are UTF-8, compared without regard to case; value data is raw bytes exactly as stored
// (strings as UTF-16LE). Every function returns the registry's status code (0 = success).
#include <cstdint>
#include <string>
#include <vector>

namespace kestrine::platform {

inline constexpr long kRegSuccess = 0;
inline constexpr long kRegFileNotFound = 2;
inline constexpr long kRegAccessDenied = 5;
inline constexpr long kRegInvalidHandle = 6;
inline constexpr long kRegMoreData = 234;
inline constexpr long kRegNoMoreItems = 259;

// An open key, closed when it goes out of scope.
class RegistryKey {
  public:
    RegistryKey() = default;
    ~RegistryKey();
    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    bool IsOpen() const { return handle_ != nullptr; }
    void Close();

  private:
    friend struct RegistryKeyAccess;  // the Windows side reaches the handle
    void* handle_ = nullptr;
};

struct RegistryValue {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

// Opens with the access mask given (KEY_READ 0x20019, KEY_WRITE 0x20006). Root 0 fails.
long OpenRegistryKey(uint32_t root, const std::string& subkey, uint32_t access, RegistryKey& key);
// Creates the key (and missing keys above it) or opens it, with all access.
long CreateRegistryKey(uint32_t root, const std::string& subkey, RegistryKey& key);
// The name of subkey `index`.
long EnumRegistrySubKey(const RegistryKey& key, uint32_t index, std::string& name);
// Name, type and whole data of value `index`, however large.
long EnumRegistryValue(const RegistryKey& key, uint32_t index, RegistryValue& value);
// Type and whole data of the named value.
long QueryRegistryValue(const RegistryKey& key, const std::string& name, uint32_t& type,
                        std::vector<uint8_t>& data);
long SetRegistryValue(const RegistryKey& key, const std::string& name, uint32_t type,
                      const std::vector<uint8_t>& data);
long DeleteRegistryValue(const RegistryKey& key, const std::string& name);
// Deletes the subkey `name` of `parent`; it must have no subkeys of its own (access denied).
long DeleteRegistrySubKey(const RegistryKey& parent, const std::string& name);
// Opens the root key itself as a RegistryKey (root 0 fails).
long OpenRegistryRoot(uint32_t root, uint32_t access, RegistryKey& key);
// Writes the hive that holds the predefined root `root` to the disk and returns once it is there
// (RegFlushKey; the registry otherwise writes changes lazily, seconds later). Root 0 fails.
long FlushRegistryRoot(uint32_t root);

}  // namespace kestrine::platform
