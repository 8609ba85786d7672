// The registry of the native build: a tree of keys in memory that answers as the Windows registry
// does (status codes, names without regard to case, subkeys listed in name order and values in the
// order they were made, no deletion of a key that still has subkeys, access by the rights a key
// was opened with, the machine's 32-bit view).
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "base/text.h"
#include "platform/posix_hooks.h"
#include "platform/registry_access.h"
#include "platform/registry_memory.h"

namespace kestrine::platform {

namespace {

constexpr long kInvalidParameter = 87;
constexpr long kBadPathname = 161;
constexpr long kKeyDeleted = 1018;

constexpr uint32_t kQueryValue = 0x0001;
constexpr uint32_t kSetValue = 0x0002;
constexpr uint32_t kEnumerateSubKeys = 0x0008;
constexpr uint32_t kAllAccess = 0xF003F;
constexpr uint32_t kWow64View32 = 0x0200;

// Names longer than this (in UTF-16 units) are refused.
constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;

using Operation = RegistryOperation;

struct Node {
    std::string name;
    Node* parent = nullptr;  // null for a root and for a deleted key
    uint32_t root = 0;
    bool deleted = false;
    std::vector<RegistryValue> values;           // in the order they were made
    std::vector<std::shared_ptr<Node>> subkeys;  // in name order
};

struct OpenKey {
    std::shared_ptr<Node> node;
    uint32_t access = 0;
};

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

size_t Utf16Length(std::string_view utf8) {
    size_t units = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) != 0x80) ++units;  // each sequence's first byte
        if (c >= 0xF0) ++units;           // beyond the basic plane: a surrogate pair
    }
    return units;
}

void MarkDeleted(Node& node) {
    node.deleted = true;
    for (auto& sub : node.subkeys) MarkDeleted(*sub);
}

// The path of a key below its root, as stored.
std::string PathOf(const Node& node) {
    std::string path;
    for (const Node* at = &node; at && at->parent; at = at->parent)
        path = path.empty() ? at->name : at->name + "\\" + path;
    return path;
}

struct Registry {
    std::mutex mutex;
    std::map<uint32_t, std::shared_ptr<Node>> roots;
    int openKeys = 0;

    Registry() { Fill(); }

    void Fill() {
        roots.clear();
        for (uint32_t root : {memory_registry::kClassesRoot, memory_registry::kCurrentUser,
                              memory_registry::kLocalMachine, memory_registry::kUsers,
                              memory_registry::kCurrentConfig}) {
            auto node = std::make_shared<Node>();
            node->root = root;
            roots[root] = node;
        }
        Child(*roots[memory_registry::kCurrentUser], "Software", true);
        Child(*Child(*roots[memory_registry::kLocalMachine], "Software", true), "WOW6432Node",
              true);
    }

    // The status platform/posix_hooks.h answers instead of `operation` on the key, or 0.
    static long Planted(Operation operation, uint32_t root, const std::string& path) {
        const auto& fault = Hooks().registryFault;
        return fault ? fault(operation, root, path) : 0;
    }
    static long Planted(Operation operation, const Node& node) {
        return Planted(operation, node.root, PathOf(node));
    }

    static std::shared_ptr<Node> Find(const Node& parent, std::string_view name) {
        for (const auto& sub : parent.subkeys)
            if (base::EqualsNoCase(sub->name, name)) return sub;
        return nullptr;
    }

    static std::shared_ptr<Node> Child(Node& parent, const std::string& name, bool create) {
        if (auto found = Find(parent, name)) return found;
        if (!create) return nullptr;
        auto node = std::make_shared<Node>();
        node->name = name;
        node->parent = &parent;
        node->root = parent.root;
        const std::string key = Upper(name);
        auto at = std::find_if(parent.subkeys.begin(), parent.subkeys.end(),
                               [&](const auto& sub) { return Upper(sub->name) > key; });
        parent.subkeys.insert(at, node);
        return node;
    }
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

// The names of a subkey path; false for an empty name inside it. One trailing backslash is
// allowed, as Windows allows it.
bool SplitPath(const std::string& subkey, std::vector<std::string>& names) {
    if (subkey.empty()) return true;
    std::string path = subkey.back() == '\\' ? subkey.substr(0, subkey.size() - 1) : subkey;
    size_t start = 0;
    while (true) {
        size_t slash = path.find('\\', start);
        std::string name = path.substr(start, slash == std::string::npos ? slash : slash - start);
        if (name.empty()) return false;
        names.push_back(std::move(name));
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

// 32-bit programs on 64-bit Windows see the machine's "Software" in "Software\WOW6432Node".
void ApplyView(uint32_t root, uint32_t access, std::vector<std::string>& names) {
    if ((access & kWow64View32) == 0 || root != memory_registry::kLocalMachine || names.empty() ||
        !base::EqualsNoCase(names[0], "Software"))
        return;
    if (names.size() > 1 && base::EqualsNoCase(names[1], "WOW6432Node")) return;
    names.insert(names.begin() + 1, "WOW6432Node");
}

OpenKey* Handle(const RegistryKey& key);

}  // namespace

struct RegistryKeyAccess {
    static OpenKey* Get(const RegistryKey& key) { return static_cast<OpenKey*>(key.handle_); }
    static void Set(RegistryKey& key, OpenKey* handle) { key.handle_ = handle; }
};

namespace {

OpenKey* Handle(const RegistryKey& key) {
    return RegistryKeyAccess::Get(key);
}

void Give(RegistryKey& key, std::shared_ptr<Node> node, uint32_t access) {
    ++TheRegistry().openKeys;
    RegistryKeyAccess::Set(key, new OpenKey{std::move(node), access & ~kWow64View32});
}

// The key's node when it still exists and was opened with `right`; else the status.
long Usable(const RegistryKey& key, uint32_t right, Node*& node) {
    OpenKey* open = Handle(key);
    if (!open) return kRegInvalidHandle;
    if (open->node->deleted) return kKeyDeleted;
    if ((open->access & right) != right) return kRegAccessDenied;
    node = open->node.get();
    return kRegSuccess;
}

long Reach(uint32_t root, const std::string& subkey, uint32_t access, bool create,
           RegistryKey& key) {
    key.Close();
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto rootNode = registry.roots.find(root);
    if (rootNode == registry.roots.end()) return kRegInvalidHandle;
    std::vector<std::string> names;
    if (!SplitPath(subkey, names)) return kBadPathname;
    ApplyView(root, access, names);
    for (const auto& name : names)
        if (Utf16Length(name) > kMaxKeyName) return kInvalidParameter;
    std::shared_ptr<Node> node = rootNode->second;
    std::string path;
    for (const auto& name : names) {
        path = path.empty() ? name : path + "\\" + name;
        auto next = Registry::Find(*node, name);
        if (!next) {
            if (!create) return kRegFileNotFound;
            if (long status = registry.Planted(Operation::Create, root, path)) return status;
            next = Registry::Child(*node, name, true);
        }
        node = next;
    }
    if (long status = registry.Planted(Operation::Open, root, path)) return status;
    Give(key, node, create ? kAllAccess : access);
    return kRegSuccess;
}

}  // namespace

void RegistryKey::Close() {
    if (!handle_) return;
    Registry& registry = TheRegistry();
    {
        std::lock_guard lock(registry.mutex);
        --registry.openKeys;
    }
    delete static_cast<OpenKey*>(handle_);
    handle_ = nullptr;
}

long OpenRegistryKey(uint32_t root, const std::string& subkey, uint32_t access, RegistryKey& key) {
    return Reach(root, subkey, access, false, key);
}

long OpenRegistryRoot(uint32_t root, uint32_t access, RegistryKey& key) {
    return OpenRegistryKey(root, "", access, key);
}

long CreateRegistryKey(uint32_t root, const std::string& subkey, RegistryKey& key) {
    return Reach(root, subkey, kAllAccess, true, key);
}

long EnumRegistrySubKey(const RegistryKey& key, uint32_t index, std::string& name) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    Node* node = nullptr;
    if (long status = Usable(key, kEnumerateSubKeys, node)) return status;
    if (long status = registry.Planted(Operation::EnumSubKeys, *node)) return status;
    if (index >= node->subkeys.size()) return kRegNoMoreItems;
    name = node->subkeys[index]->name;
    return kRegSuccess;
}

long EnumRegistryValue(const RegistryKey& key, uint32_t index, RegistryValue& value) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    Node* node = nullptr;
    if (long status = Usable(key, kQueryValue, node)) return status;
    if (long status = registry.Planted(Operation::EnumValues, *node)) return status;
    if (index >= node->values.size()) return kRegNoMoreItems;
    value = node->values[index];
    return kRegSuccess;
}

long QueryRegistryValue(const RegistryKey& key, const std::string& name, uint32_t& type,
                        std::vector<uint8_t>& data) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    Node* node = nullptr;
    if (long status = Usable(key, kQueryValue, node)) return status;
    if (long status = registry.Planted(Operation::QueryValue, *node)) return status;
    for (const auto& value : node->values) {
        if (!base::EqualsNoCase(value.name, name)) continue;
        type = value.type;
        data = value.data;
        return kRegSuccess;
    }
    return kRegFileNotFound;
}

long SetRegistryValue(const RegistryKey& key, const std::string& name, uint32_t type,
                      const std::vector<uint8_t>& data) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    Node* node = nullptr;
    if (long status = Usable(key, kSetValue, node)) return status;
    if (Utf16Length(name) > kMaxValueName) return kInvalidParameter;
    if (long status = registry.Planted(Operation::SetValue, *node)) return status;
    for (auto& value : node->values) {
        if (!base::EqualsNoCase(value.name, name)) continue;
        // Written over in its place; the name keeps the letter case it was made with.
        value.type = type;
        value.data = data;
        return kRegSuccess;
    }
    node->values.push_back({name, type, data});
    return kRegSuccess;
}

long DeleteRegistryValue(const RegistryKey& key, const std::string& name) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    Node* node = nullptr;
    if (long status = Usable(key, kSetValue, node)) return status;
    if (long status = registry.Planted(Operation::DeleteValue, *node)) return status;
    auto& values = node->values;
    auto found = std::find_if(values.begin(), values.end(), [&](const RegistryValue& value) {
        return base::EqualsNoCase(value.name, name);
    });
    if (found == values.end()) return kRegFileNotFound;
    values.erase(found);
    return kRegSuccess;
}

long DeleteRegistrySubKey(const RegistryKey& parent, const std::string& name) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    Node* node = nullptr;
    if (long status = Usable(parent, 0, node)) return status;
    std::vector<std::string> names;
    if (name.empty() || !SplitPath(name, names)) return kBadPathname;
    std::shared_ptr<Node> target;
    for (const auto& part : names) {
        target = Registry::Find(*node, part);
        if (!target) return kRegFileNotFound;
        node = target.get();
    }
    if (!target->subkeys.empty()) return kRegAccessDenied;
    if (long status = registry.Planted(Operation::DeleteKey, *target)) return status;
    Node& above = *target->parent;
    above.subkeys.erase(std::find(above.subkeys.begin(), above.subkeys.end(), target));
    target->deleted = true;
    target->parent = nullptr;
    return kRegSuccess;
}

long FlushRegistryRoot(uint32_t root) {
    Registry& registry = TheRegistry();
    {
        std::lock_guard lock(registry.mutex);
        if (registry.roots.find(root) == registry.roots.end()) return kRegInvalidHandle;
        if (long status = registry.Planted(Operation::Flush, root, "")) return status;
    }
    if (const auto& heard = Hooks().registryFlushed) heard(root);
    return kRegSuccess;
}

namespace memory_registry {

void Empty() {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    for (auto& [root, node] : registry.roots) MarkDeleted(*node);
    registry.Fill();
}

int OpenKeyCount() {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    return registry.openKeys;
}

}  // namespace memory_registry

}  // namespace kestrine::platform
