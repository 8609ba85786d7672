#include "platform/file_stream.h"
#include "platform/registry_access.h"
#include "platform/text.h"
#include "registry/export_format.h"
#include "registry/key_path.h"
#include "registry/registry.h"

namespace kestrine::registry {

namespace {

std::string JoinSubkey(const std::string& subkey, const std::string& name) {
    return subkey.empty() ? name : subkey + "\\" + name;
}

// Reads the tree at the key into `tree`. False when any part of it could not be read; what could be
// read is kept (a key that cannot be opened stays empty). With `closedSubkeysAllowed`, a subkey
// that cannot be opened (no access to it) is no fault: an export file gives it its key line alone.
bool ReadTree(uint32_t root, const std::string& subkey, RegKeyTree& tree,
              bool closedSubkeysAllowed = false, bool isSubkey = false) {
    platform::RegistryKey key;
    if (platform::OpenRegistryKey(root, subkey, kKeyRead, key) != 0)
        return closedSubkeysAllowed && isSubkey;
    bool ok = true;
    for (uint32_t index = 0;; ++index) {
        platform::RegistryValue value;
        long status = platform::EnumRegistryValue(key, index, value);
        if (status == platform::kRegNoMoreItems) break;
        if (status != 0) {
            ok = false;
            break;
        }
        tree.values.push_back({std::move(value.name), value.type, std::move(value.data)});
    }
    std::vector<std::string> names;
    for (uint32_t index = 0;; ++index) {
        std::string name;
        long status = platform::EnumRegistrySubKey(key, index, name);
        if (status == platform::kRegNoMoreItems) break;
        if (status != 0) {
            ok = false;
            break;
        }
        names.push_back(std::move(name));
    }
    key.Close();
    for (auto& name : names) {
        RegKeyTree child;
        child.name = name;
        if (!ReadTree(root, JoinSubkey(subkey, name), child, closedSubkeysAllowed, true))
            ok = false;
        tree.subkeys.push_back(std::move(child));
    }
    return ok;
}

// Creates the tree at the key (which should not exist yet).
bool WriteTree(uint32_t root, const std::string& subkey, const RegKeyTree& tree) {
    platform::RegistryKey key;
    if (platform::CreateRegistryKey(root, subkey, key) != 0) return false;
    bool ok = true;
    for (const auto& value : tree.values)
        if (platform::SetRegistryValue(key, value.name, value.type, value.data) != 0) ok = false;
    key.Close();
    for (const auto& sub : tree.subkeys)
        if (!WriteTree(root, JoinSubkey(subkey, sub.name), sub)) ok = false;
    return ok;
}

// Carries out an import's steps in order below `subkey`; false at the first step that fails.
bool ApplyPlan(uint32_t root, const std::string& subkey, const std::string& fullPath,
               const std::vector<ImportStep>& steps) {
    platform::RegistryKey current;
    for (const auto& step : steps) {
        switch (step.kind) {
            case ImportStep::Kind::ReplaceTree:
                current.Close();
                if (!DeleteKeyTree(fullPath)) return false;
                if (platform::CreateRegistryKey(root, subkey, current) != 0) return false;
                break;
            case ImportStep::Kind::OpenKey:
                current.Close();
                if (platform::CreateRegistryKey(root, JoinSubkey(subkey, step.relativePath),
                                                current) != 0)
                    return false;
                break;
            case ImportStep::Kind::SetValue:
                if (!current.IsOpen() ||
                    platform::SetRegistryValue(current, step.value.name, step.value.type,
                                               step.value.data) != 0)
                    return false;
                break;
        }
    }
    return true;
}

}  // namespace

bool ExportKey(const std::string& fullPath, const std::string& fileName, std::string* written) {
    auto parsed = ParseKey(fullPath);
    RegKeyTree tree;
    bool complete = parsed.root != 0 && ReadTree(parsed.root, parsed.subkey, tree, true);
    std::string text =
        WriteExportText(tree, [](std::string_view s) { return platform::FitsAnsi(s); });
    std::string bytes = platform::Utf8ToAnsi(text);
    const bool ok = platform::fileio::ReplaceFileWhole(fileName, bytes, "KRX");
    if (written) *written = std::move(bytes);
    return complete && ok;
}

bool ExportFileIsImportable(const std::string& fileName) {
    const auto bytes = platform::fileio::ReadWholeFile(fileName);
    return bytes && ParseExportText(platform::AnsiToUtf8(*bytes)).ok;
}

bool ImportKey(const std::string& fullPath, const std::string& fileName) {
    const auto bytes = platform::fileio::ReadWholeFile(fileName);
    if (!bytes) return false;
    ImportPlan plan = ParseExportText(platform::AnsiToUtf8(*bytes));
    if (!plan.ok) return false;

    auto parsed = ParseKey(fullPath);
    // A root key is never replaced whole.
    if (parsed.root == 0 || parsed.subkey.empty()) return false;

    // Keep the old tree so that a failed write can put it back.
    bool existed = KeyExists(fullPath);
    RegKeyTree old;
    if (existed && !ReadTree(parsed.root, parsed.subkey, old)) return false;

    if (ApplyPlan(parsed.root, parsed.subkey, fullPath, plan.steps)) return true;
    DeleteKeyTree(fullPath);
    if (existed) WriteTree(parsed.root, parsed.subkey, old);
    return false;
}

}  // namespace kestrine::registry
