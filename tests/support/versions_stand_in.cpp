#include "versions_stand_in.h"

#include <mutex>
#include <utility>
#include <vector>

#include "base/text.h"
#include "platform/posix_hooks.h"

namespace kestrine::platform {

namespace {

std::mutex g_versionsLock;
std::vector<std::pair<std::string, std::string>> g_versions;

std::string VersionOf(const std::string& path) {
    const std::lock_guard<std::mutex> hold(g_versionsLock);
    for (auto it = g_versions.rbegin(); it != g_versions.rend(); ++it)
        if (base::EqualsNoCase(it->first, path)) return it->second;
    return {};
}

[[maybe_unused]] const bool kInstalled = [] {
    Hooks().fileVersion = VersionOf;
    return true;
}();

}  // namespace

void SetFileVersion(const std::string& path, const std::string& version) {
    const std::lock_guard<std::mutex> hold(g_versionsLock);
    g_versions.emplace_back(path, version);
}

void ForgetFileVersions() {
    const std::lock_guard<std::mutex> hold(g_versionsLock);
    g_versions.clear();
}

}  // namespace kestrine::platform
