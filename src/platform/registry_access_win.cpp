#include <windows.h>

#include <algorithm>

#include "platform/registry_access.h"
#include "platform/text.h"

namespace kestrine::platform {

namespace {

// Predefined handles are sign-extended 32-bit values.
HKEY RootHandle(uint32_t root) {
    return reinterpret_cast<HKEY>(
        static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(root))));
}

}  // namespace

struct RegistryKeyAccess {
    static HKEY Get(const RegistryKey& key) { return static_cast<HKEY>(key.handle_); }
    static void Set(RegistryKey& key, HKEY handle) { key.handle_ = handle; }
};

namespace {

HKEY Handle(const RegistryKey& key) {
    return RegistryKeyAccess::Get(key);
}

}  // namespace

void RegistryKey::Close() {
    if (handle_) RegCloseKey(static_cast<HKEY>(handle_));
    handle_ = nullptr;
}

long OpenRegistryKey(uint32_t root, const std::string& subkey, uint32_t access, RegistryKey& key) {
    key.Close();
    if (root == 0) return ERROR_INVALID_HANDLE;
    HKEY out = nullptr;
    std::wstring wide = Widen(subkey);
    LONG status = RegOpenKeyExW(RootHandle(root), wide.c_str(), 0, access, &out);
    if (status == ERROR_SUCCESS) RegistryKeyAccess::Set(key, out);
    return status;
}

long OpenRegistryRoot(uint32_t root, uint32_t access, RegistryKey& key) {
    return OpenRegistryKey(root, "", access, key);
}

long FlushRegistryRoot(uint32_t root) {
    if (root == 0) return ERROR_INVALID_HANDLE;
    return RegFlushKey(RootHandle(root));
}

long CreateRegistryKey(uint32_t root, const std::string& subkey, RegistryKey& key) {
    key.Close();
    if (root == 0) return ERROR_INVALID_HANDLE;
    HKEY out = nullptr;
    std::wstring wide = Widen(subkey);
    LONG status = RegCreateKeyExW(RootHandle(root), wide.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &out, nullptr);
    if (status == ERROR_SUCCESS) RegistryKeyAccess::Set(key, out);
    return status;
}

long EnumRegistrySubKey(const RegistryKey& key, uint32_t index, std::string& name) {
    // Key names are at most 255 characters.
    wchar_t buffer[512];
    DWORD length = 512;
    LONG status =
        RegEnumKeyExW(Handle(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) name = Narrow(std::wstring_view(buffer, length));
    return status;
}

long EnumRegistryValue(const RegistryKey& key, uint32_t index, RegistryValue& value) {
    DWORD maxName = 0, maxData = 0;
    LONG status = RegQueryInfoKeyW(Handle(key), nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, &maxName, &maxData, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;
    std::wstring name(static_cast<size_t>(maxName) + 1, L'\0');
    std::vector<uint8_t> data(static_cast<size_t>(maxData) + 1);
    // The value may grow between the size query and the read; retry with a larger buffer.
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        status = RegEnumValueW(Handle(key), index, name.data(), &nameLength, nullptr, &type,
                               data.data(), &dataLength);
        if (status == ERROR_MORE_DATA) {
            name.resize(std::max<size_t>(name.size() * 2, 16384 + 1));
            data.resize(std::max<size_t>(data.size() * 2, dataLength));
            continue;
        }
        if (status == ERROR_SUCCESS) {
            value.name = Narrow(std::wstring_view(name.data(), nameLength));
            value.type = type;
            value.data.assign(data.begin(), data.begin() + dataLength);
        }
        return status;
    }
    return status;
}

long QueryRegistryValue(const RegistryKey& key, const std::string& name, uint32_t& type,
                        std::vector<uint8_t>& data) {
    std::wstring wide = Widen(name);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD length = 0;
        DWORD valueType = 0;
        LONG status =
            RegQueryValueExW(Handle(key), wide.c_str(), nullptr, &valueType, nullptr, &length);
        if (status != ERROR_SUCCESS) return status;
        data.resize(length);
        status = RegQueryValueExW(Handle(key), wide.c_str(), nullptr, &valueType,
                                  data.empty() ? nullptr : data.data(), &length);
        if (status == ERROR_MORE_DATA) continue;
        if (status == ERROR_SUCCESS) {
            data.resize(length);
            type = valueType;
        }
        return status;
    }
    return ERROR_MORE_DATA;
}

long SetRegistryValue(const RegistryKey& key, const std::string& name, uint32_t type,
                      const std::vector<uint8_t>& data) {
    std::wstring wide = Widen(name);
    static const BYTE kEmpty = 0;
    return RegSetValueExW(Handle(key), wide.c_str(), 0, type, data.empty() ? &kEmpty : data.data(),
                          static_cast<DWORD>(data.size()));
}

long DeleteRegistryValue(const RegistryKey& key, const std::string& name) {
    std::wstring wide = Widen(name);
    return RegDeleteValueW(Handle(key), wide.c_str());
}

long DeleteRegistrySubKey(const RegistryKey& parent, const std::string& name) {
    std::wstring wide = Widen(name);
    return RegDeleteKeyW(Handle(parent), wide.c_str());
}

}  // namespace kestrine::platform
