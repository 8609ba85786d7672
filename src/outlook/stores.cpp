#include "outlook/stores.h"

#include <algorithm>

#include "base/path.h"
#include "base/text.h"
#include "outlook/detection.h"
#include "outlook/locations.h"
#include "outlook/profile_data.h"
#include "platform/file_stream.h"
#include "registry/registry.h"

namespace kestrine::outlook {

namespace {

namespace fileio = platform::fileio;

bool EndsWithNoCase(std::string_view text, std::string_view end) {
    return text.size() >= end.size() &&
           base::EqualsNoCase(text.substr(text.size() - end.size()), end);
}

// A path property, as the binary value Outlook writes: UTF-16 first, then ANSI. Text that is no
// full path names no file.
std::optional<std::string> PathProperty(const std::string& key, const char* wide,
                                        const char* ansi) {
    for (const bool unicode : {true, false})
        if (auto path = registry::GetBinaryText(key, unicode ? wide : ansi, unicode);
            path && base::IsFullPath(*path))
            return path;
    return std::nullopt;
}

std::string StemOf(const std::string& path) {
    const std::string name = base::BaseName(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

std::optional<std::string> PersonalFoldersPath(const std::string& sectionKey) {
    if (auto path = PathProperty(sectionKey, kDataFileWidePathValue, kDataFileAnsiPathValue))
        return path;
    if (auto path = registry::GetBinaryPath(sectionKey, kDataFilePathValue)) return path;
    return registry::GetBinaryPathViaFile(sectionKey, kDataFilePathValue);
}

std::optional<std::string> OfflineStorePath(const std::string& sectionKey) {
    return PathProperty(sectionKey, kOfflineStoreWidePathValue, kOfflineStoreAnsiPathValue);
}

std::vector<ProfileStore> ReadProfileStores(const std::string& profileKey) {
    std::vector<ProfileStore> stores;
    for (const auto& section : registry::EnumSubKeys(profileKey).names) {
        const std::string key = profileKey + "\\" + section;
        ProfileStore store;
        store.section = section;
        if (auto offline = OfflineStorePath(key)) {
            store.kind = StoreKind::OfflineStore;
            store.path = *offline;
        } else if (auto file = PersonalFoldersPath(key)) {
            store.kind =
                IsOfflineStoreFile(*file) ? StoreKind::ImapDataFile : StoreKind::PersonalFolders;
            store.path = *file;
        } else {
            continue;
        }
        store.missing = !fileio::IsFile(store.path);
        store.account = StemOf(store.path);
        stores.push_back(std::move(store));
    }
    return stores;
}

bool HasPersonalFolders(const std::vector<ProfileStore>& stores) {
    return std::any_of(stores.begin(), stores.end(),
                       [](const ProfileStore& s) { return s.kind == StoreKind::PersonalFolders; });
}

bool MailOnServerOnly(const std::vector<ProfileStore>& stores) {
    return !stores.empty() && !HasPersonalFolders(stores);
}

std::vector<std::string> UsualDataFileFolders(const Environment& env) {
    if (env.UserProfileDir.empty()) return {};
    const std::string documents =
        env.UserProfileDir + (UsesAppDataLayout(env.OSVersion) ? "\\Documents" : "\\My Documents");
    return {FoldersOf(env).localOutlook, documents + "\\Outlook Files"};
}

bool IsOfflineStoreFile(std::string_view path) {
    return EndsWithNoCase(path, ".ost");
}

std::vector<LooseDataFile> UnattachedDataFiles(const std::vector<std::string>& folders,
                                               const std::vector<ProfileStore>& stores) {
    std::vector<LooseDataFile> loose;
    for (const auto& folder : folders) {
        if (folder.empty()) continue;
        for (const auto& name : fileio::ListFileNames(folder, fileio::Listing::Visible)) {
            if (!EndsWithNoCase(name, ".pst")) continue;
            const std::string path = base::JoinPath(folder, name);
            const bool attached = std::any_of(stores.begin(), stores.end(), [&](const auto& s) {
                return base::EqualsNoCase(s.path, path);
            });
            const bool listed = std::any_of(loose.begin(), loose.end(), [&](const auto& l) {
                return base::EqualsNoCase(l.path, path);
            });
            if (!attached && !listed) loose.push_back({path, fileio::FileSize(path)});
        }
    }
    return loose;
}

}  // namespace kestrine::outlook
