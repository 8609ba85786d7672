#include <optional>

#include "base/utf.h"
#include "platform/registry_access.h"
#include "platform/text.h"
#include "registry/binary_path.h"
#include "registry/export_format.h"
#include "registry/key_path.h"
#include "registry/registry.h"

namespace kestrine::registry {

namespace {

// A string value is read through a 255-byte field, terminator included.
constexpr size_t kStringField = 255;

bool IsStringType(uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// The first value of exactly this name (case-sensitive) and type REG_BINARY.
std::optional<platform::RegistryValue> FindBinaryValue(const std::string& fullPath,
                                                       const std::string& valueName) {
    auto parsed = ParseKey(fullPath);
    platform::RegistryKey key;
    if (platform::OpenRegistryKey(parsed.root, parsed.subkey, kKeyRead, key) != 0)
        return std::nullopt;
    for (uint32_t index = 0;; ++index) {
        platform::RegistryValue value;
        if (platform::EnumRegistryValue(key, index, value) != 0) return std::nullopt;
        if (value.name == valueName && value.type == kRegBinary) return value;
    }
}

}  // namespace

ParsedKey ParseKey(const std::string& fullPath) {
    auto parts = SplitKeyPath(fullPath);
    if (!parts.wellFormed) return {};
    return {parts.root, parts.subkey};
}

bool KeyExists(const std::string& fullPath) {
    auto parsed = ParseKey(fullPath);
    platform::RegistryKey key;
    return platform::OpenRegistryKey(parsed.root, parsed.subkey, kKeyRead, key) == 0;
}

namespace {

// The type and bytes of a value, read through a key opened with `access`.
std::optional<std::pair<uint32_t, std::vector<uint8_t>>> QueryValue(const std::string& fullPath,
                                                                    const std::string& valueName,
                                                                    uint32_t access = kKeyRead) {
    auto parsed = ParseKey(fullPath);
    platform::RegistryKey key;
    if (platform::OpenRegistryKey(parsed.root, parsed.subkey, access, key) != 0)
        return std::nullopt;
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (platform::QueryRegistryValue(key, valueName, type, data) != 0) return std::nullopt;
    return std::pair{type, std::move(data)};
}

std::optional<std::string> ReadStringValue(const std::string& fullPath,
                                           const std::string& valueName, uint32_t access) {
    auto value = QueryValue(fullPath, valueName, access);
    if (!value) return std::nullopt;
    const auto& [type, data] = *value;
    std::string text;
    size_t ansiSize = 0;
    if (IsStringType(type)) {
        std::u16string units = base::BytesToUtf16(data);
        units = units.substr(0, units.find(u'\0'));
        text = base::Utf16ToUtf8(units);
        ansiSize = platform::Utf8ToAnsi(text).size() + 1;
    } else {
        ansiSize = data.size();
        std::string bytes(data.begin(), data.end());
        text = platform::AnsiToUtf8(bytes.substr(0, bytes.find('\0')));
    }
    if (ansiSize > kStringField) return std::nullopt;
    // Leading spaces of the stored text are dropped.
    auto first = text.find_first_not_of(' ');
    text.erase(0, first == std::string::npos ? text.size() : first);
    return text;
}

}  // namespace

std::optional<std::string> GetStringValue(const std::string& fullPath,
                                          const std::string& valueName) {
    return ReadStringValue(fullPath, valueName, kKeyRead);
}

std::optional<std::string> GetMachineStringValue(const std::string& fullPath,
                                                 const std::string& valueName) {
    if (auto text = ReadStringValue(fullPath, valueName, kKeyRead)) return text;
    return ReadStringValue(fullPath, valueName, kKeyRead | kKeyWow64View32);
}

std::optional<uint32_t> GetDwordValue(const std::string& fullPath, const std::string& valueName) {
    auto value = QueryValue(fullPath, valueName);
    if (!value || value->first != kRegDword || value->second.size() != 4) return std::nullopt;
    const auto& d = value->second;
    return static_cast<uint32_t>(d[0]) | static_cast<uint32_t>(d[1]) << 8 |
           static_cast<uint32_t>(d[2]) << 16 | static_cast<uint32_t>(d[3]) << 24;
}

std::optional<std::string> GetTextValue(const std::string& fullPath, const std::string& valueName) {
    auto value = QueryValue(fullPath, valueName);
    if (!value || (value->first != kRegSz && value->first != kRegExpandSz)) return std::nullopt;
    std::u16string units = base::BytesToUtf16(value->second);
    units = units.substr(0, units.find(u'\0'));
    if (!base::IsWellFormedUtf16(units)) return std::nullopt;
    return base::Utf16ToUtf8(units);
}

bool SetStringValue(const std::string& fullPath, const std::string& valueName,
                    const std::string& text) {
    auto parsed = ParseKey(fullPath);
    platform::RegistryKey key;
    if (platform::OpenRegistryKey(parsed.root, parsed.subkey, kKeyWrite, key) != 0) return false;
    auto data = base::Utf16ToBytes(base::Utf8ToUtf16(text));
    data.push_back(0);
    data.push_back(0);
    return platform::SetRegistryValue(key, valueName, kRegSz, data) == 0;
}

bool DeleteValue(const std::string& fullPath, const std::string& valueName) {
    auto parsed = ParseKey(fullPath);
    platform::RegistryKey key;
    long status = platform::OpenRegistryKey(parsed.root, parsed.subkey, kKeyWrite, key);
    if (status == 0) status = platform::DeleteRegistryValue(key, valueName);
    return status == 0 || status == platform::kRegFileNotFound;
}

bool DeleteKey(const std::string& fullPath) {
    auto parsed = ParseKey(fullPath);
    if (parsed.root == 0 || parsed.subkey.empty()) return false;
    auto slash = parsed.subkey.rfind('\\');
    std::string parent = slash == std::string::npos ? "" : parsed.subkey.substr(0, slash);
    std::string name = slash == std::string::npos ? parsed.subkey : parsed.subkey.substr(slash + 1);
    platform::RegistryKey key;
    return platform::OpenRegistryKey(parsed.root, parent, kKeyWrite, key) == 0 &&
           platform::DeleteRegistrySubKey(key, name) == 0;
}

SubKeyList EnumSubKeys(const std::string& fullPath) {
    SubKeyList list;
    auto parsed = ParseKey(fullPath);
    platform::RegistryKey key;
    if (platform::OpenRegistryKey(parsed.root, parsed.subkey, kKeyRead, key) != 0) return list;
    for (uint32_t index = 0;; ++index) {
        std::string name;
        long status = platform::EnumRegistrySubKey(key, index, name);
        if (status == platform::kRegNoMoreItems) break;
        if (status != 0) {
            list.failed = true;
            break;
        }
        list.names.push_back(name.substr(0, name.find('\0')));
    }
    return list;
}

bool DeleteKeyTree(const std::string& fullPath) {
    // A root key alone is never emptied: no caller means to wipe a whole hive.
    if (SplitKeyPath(fullPath).subkey.empty()) return false;
    auto list = EnumSubKeys(fullPath);
    bool ok = !list.failed;
    for (const auto& name : list.names)
        if (!DeleteKeyTree(fullPath + "\\" + name)) ok = false;
    // A key that is gone (or never was) counts as deleted.
    if (!DeleteKey(fullPath) && KeyExists(fullPath)) ok = false;
    return ok;
}

std::optional<std::string> GetBinaryPath(const std::string& fullPath,
                                         const std::string& valueName) {
    auto value = FindBinaryValue(fullPath, valueName);
    if (!value) return std::nullopt;
    return DataFilePathIn(value->data);
}

std::optional<std::string> GetBinaryText(const std::string& fullPath, const std::string& valueName,
                                         bool wide) {
    auto value = FindBinaryValue(fullPath, valueName);
    if (!value) return std::nullopt;
    const auto& data = value->data;
    std::string text;
    if (wide) {
        std::u16string units;
        for (size_t i = 0; i + 1 < data.size(); i += 2) {
            const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
            if (unit == 0) break;
            units += unit;
        }
        text = base::Utf16ToUtf8(units);
    } else {
        std::string bytes;
        for (uint8_t b : data) {
            if (b == 0) break;
            bytes += static_cast<char>(b);
        }
        text = platform::AnsiToUtf8(bytes);
    }
    if (text.empty()) return std::nullopt;
    return text;
}

std::optional<std::string> GetBinaryPathViaFile(const std::string& fullPath,
                                                const std::string& valueName) {
    auto value = FindBinaryValue(fullPath, valueName);
    if (!value) return std::nullopt;
    // The non-zero bytes read as ANSI text, decoded in memory.
    return ExtractDataFilePath(base::Utf8ToUtf16(platform::AnsiToUtf8(NonZeroBytes(value->data))));
}

PathRewrite ReplaceBinaryPath(const std::string& fullPath, const std::string& valueName,
                              const std::string& oldPath, const std::string& newPath) {
    auto value = FindBinaryValue(fullPath, valueName);
    if (!value) return PathRewrite::NoValue;
    auto ansiForm = [](const std::string& path) -> std::optional<std::string> {
        if (!platform::FitsAnsi(path)) return std::nullopt;
        return platform::Utf8ToAnsi(path);
    };
    auto data =
        ReplacePathInData(value->data, oldPath, newPath, ansiForm(oldPath), ansiForm(newPath));
    auto parsed = ParseKey(fullPath);
    platform::RegistryKey key;
    if (platform::OpenRegistryKey(parsed.root, parsed.subkey, kKeyWrite, key) != 0 ||
        platform::SetRegistryValue(key, value->name, kRegBinary, data ? *data : value->data) != 0)
        return PathRewrite::WriteFailed;
    return data ? PathRewrite::Rewritten : PathRewrite::PathNotFound;
}

}  // namespace kestrine::registry
