// The open key's ownership, the same on every system; each system's twin closes the handle.
#include "platform/registry_access.h"

namespace kestrine::platform {

RegistryKey::~RegistryKey() {
    Close();
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept : handle_(other.handle_) {
    other.handle_ = nullptr;
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

}  // namespace kestrine::platform
