#include "app/run_folder.h"

#include <atomic>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

#include "base/path.h"
#include "base/text.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/processes.h"

namespace kestrine {

namespace {

constexpr std::string_view kPrefix = "~kestrine.run-";
constexpr std::string_view kSuffix = ".tmp";

// The process that made the run folder `name`; nothing when `name` is no run folder's name.
std::optional<uint32_t> MakerOf(std::string_view name) {
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return std::nullopt;
    name = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    uint32_t maker = 0;
    if (!base::IsNumberPair(name) ||
        std::from_chars(name.data(), name.data() + name.size(), maker).ec != std::errc{})
        return std::nullopt;  // not ours, or beyond a process id's 32 bits
    return maker;
}

}  // namespace

RunFolder::RunFolder(const std::string& appFolder) {
    static std::atomic<unsigned> counter{0};
    const std::string stem =
        std::string(kPrefix) + std::to_string(platform::CurrentProcessId()) + "-";
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        const std::string candidate =
            base::JoinPath(appFolder, stem + std::to_string(counter++) + std::string(kSuffix));
        // Made anew and the user's alone: nothing another user planted under this name is used.
        if (platform::fileio::MakePrivateFolder(candidate)) path_ = candidate;
    }
}

RunFolder::~RunFolder() {
    if (!path_.empty()) platform::fileio::RemoveFolderAndFiles(path_);
}

void RemoveLeftoverRunFolders(const std::string& appFolder) {
    for (const auto& name : platform::fileio::ListFolderNames(appFolder)) {
        const std::optional<uint32_t> maker = MakerOf(name);
        if (!maker || platform::ProcessIsRunning(*maker)) continue;
        // A junction named like a run folder would lead the removal elsewhere, and a folder of
        // another user is not this user's run's.
        const std::string folder = base::JoinPath(appFolder, name);
        if (platform::fileio::IsOwnPlainFolder(folder))
            (void)platform::fileio::RemoveFolderAndFiles(folder);  // else the next run tries again
    }
}

}  // namespace kestrine
